// The archive browser on real archives: the directory list, own and ARJ
// archives, adding, dropping, deleting, extracting, "Остановить", sorting.
#include <filesystem>
#include <sstream>

#include "UiFixture.h"
#include "pack/ArcForm.h"
#include "pack/PackFile.h"
#include "support/FullDisk.h"
#include "support/Process.h"
#include "ui/Command.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

// An archive written byte by byte: any names and sizes (Name, unpacked, packed), nothing checked.
std::string HandMade(const std::string& comment,
                     const std::vector<std::tuple<std::string, uint32_t, uint32_t>>& members) {
    TArchive0Header h;
    h.HeaderId = 0x56A9;
    h.Version = h.MinVersion = 256;
    h.NamePos = 4;
    h.Comment = comment;
    std::string bytes = h.Bytes();
    for (const auto& [name, unpacked, packed] : members) {
        TArchive0FileHeader f;
        f.HeaderId = 0x56A9;
        f.Version = f.MinVersion = 256;
        f.Method = packed == unpacked ? 1 : 0;
        f.UnpackedSize = unpacked;
        f.PackedSize = packed;
        f.Name = name;
        bytes += f.Bytes() + std::string(packed, 'p');
    }
    return bytes + std::string("\xA9\x56\0\0", 4);
}

class ArcTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        responder_ = std::make_unique<ScriptedResponder>();
        form_ = std::make_unique<TFormArc>();
        form_->resize(780, 540);
        CreateDir("d/W");
    }
    void TearDown() override {
        form_.reset();
        UiTest::TearDown();
    }
    // D:\src\<name> (name -> content) into the archive; each member with a comment of its own.
    void Pack(const std::string& archive,
              const std::vector<std::pair<std::string, std::string>>& files,
              const std::string& comment = {}) {
        TPackFileObject a;
        a.SetArchiveName(archive);
        a.BaseDir = "D:\\src";
        a.Operation = kArcOpAdd;
        for (const auto& [name, content] : files) {
            CreateFile("d/src/" + name, content);
            a.SetFileName("D:\\src\\" + name);
            a.FileComment = A("о файле");
            ASSERT_EQ(a.Execute(), 0) << name;
        }
        if (!comment.empty()) a.SetComment(comment);
    }
    template <class View = QAbstractItemView>
    View* V(const char* name) const {
        return Find<View>(form_.get(), name);
    }
    QString Text(const char* name) const { return Shown(form_.get(), name); }
    // The texts of a column of lva or lv, top to bottom.
    QString Rows(const char* view, int column = 0) const {
        return Column(V(view), column).join('|');
    }
    void ClickRow(const char* view, const QString& text, bool twice = false) {
        const int column = std::string(view) == "lv" ? TFormArc::kColName : 0;
        const int row = static_cast<int>(Column(V(view), column).indexOf(text));
        ASSERT_GE(row, 0) << text.toStdString();
        ClickIndex(V(view), V(view)->model()->index(row, column), twice);
    }
    void Select(const QStringList& fullNames) {
        QAbstractItemView* lv = V("lv");
        lv->clearSelection();
        const QStringList names = Column(lv, TFormArc::kColFullName);
        for (int i = 0; i < names.size(); ++i)
            if (fullNames.contains(names[i]))
                lv->selectionModel()->select(
                    lv->model()->index(i, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // A file dropped from the file manager; whether the window took it.
    bool Drop(const std::string& posixFile) {
        return UiTest::Drop(form_.get(), Urls({posixFile}), {10, 10});
    }
    // Stored names as `pkk l` lists them.
    std::vector<std::string> PkkList(const std::string& rel) {
        const ProcessResult r =
            RunProcess({HALVORA_BINARY_DIR "/tools/pkk", "l", Root() + "/" + rel}, {});
        std::vector<std::string> names;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);)
            names.push_back(line.substr(line.rfind(' ') + 1));
        return names;
    }
    std::string ArchiveComment(const std::string& archive) {
        TPackFileObject a;
        a.SetArchiveName(archive);
        a.SetActive(true);
        return a.ArchiveHeader().Comment;
    }
    std::unique_ptr<TFormArc> form_;
};

TEST_F(ArcTest, ListsTheArchivesOfADirectoryAndOpensEach) {
    Pack("D:\\W\\a.pkk", {{"a1.txt", "first"}, {"a2.txt", "second"}});
    Pack("D:\\W\\b.PKK", {{"b.txt", "bee"}});
    CreateFile("d/src/x.txt", "x");
    ASSERT_EQ(ShellOutput("cd " + Root() + "/d/src && arj a " + Root() +
                          "/d/W/x.arj x.txt b.txt >/dev/null && echo ok"),
              "ok\n");
    CreateFile("d/W/note.txt", "not an archive");
    CreateDir("d/W/sub");
    form_->InitialArchive = "D:\\W\\b.PKK";
    form_->show();
    EXPECT_EQ(Rows("lva"), "..\\W|sub|a.pkk|b.PKK|x.arj");
    EXPECT_EQ(Text("lbFound") + " " + Text("edArcName"), "3 D:\\W\\b.PKK");
    for (auto [entry, members, version] :
         {std::tuple{"a.pkk", "a1.txt|a2.txt", "1.0"}, std::tuple{"x.arj", "b.txt|x.txt", ""}}) {
        ClickRow("lva", entry);
        EXPECT_EQ(Text("edArcName"), QString("D:\\W\\") + entry);
        EXPECT_EQ(Rows("lv", TFormArc::kColFullName), members) << entry;
        EXPECT_TRUE(*version == 0 || Text("edVers") == version);
    }
    Select({"x.txt"});
    Click(form_.get(), "btUnpack");
    EXPECT_EQ(Said("ShowError"), Lines{"Возможна распаковка архива только внутреннего формата"});

    // No archive chosen: "Архивировать" and drops make no "<directory>.PKK".
    ClickRow("lva", "sub", true);
    EXPECT_EQ(Rows("lva"), "..\\sub");
    EXPECT_EQ(Text("lbFound") + Text("edArcName"), "0");
    responder_->Clear();
    Click(form_.get(), "btFileToArc");
    EXPECT_TRUE(Drop(CreateFile("d/src/drop.txt", "drop")));
    EXPECT_EQ(Said("ShowError"), (Lines{"Не выбрано", "Не выбрано"}));
    EXPECT_FALSE(Exists(Root() + "/d/W/sub.PKK") || Exists(Root() + "/d/W.PKK"));
    ClickRow("lva", "..\\sub", true);
    EXPECT_EQ(Text("edArcName"), "D:\\W\\a.pkk");

    // The drives, the current one marked; the network leads nowhere.
    Click(form_.get(), "sbDiskName");
    EXPECT_EQ(Rows("lva"), "A:|C:|D:|Сеть");
    EXPECT_EQ(V("lva")->model()->index(2, 0).data(Qt::UserRole), TFormArc::kImgFixed + 1);
    responder_->Clear();
    ClickRow("lva", QString::fromUtf8("Сеть"), true);
    EXPECT_EQ(Said("ShowError"), Lines{"Не найден директорий|\\\\"});
    ClickRow("lva", "D:", true);
    EXPECT_EQ(form_->Dir(), "D:\\");
}

// Three members extracted where the second is there already, with each answer.
// "Удалить" replaces the file only with a member extracted whole.
TEST_F(ArcTest, ExtractingAsksBeforeAFileIsReplaced) {
    std::string text;
    for (int i = 0; text.size() < 300000; ++i)
        text += "line " + std::to_string(i * 7 % 1000) + "\n";
    Pack("D:\\W\\t.pkk", {{"1st.txt", "first"}, {"2nd.txt", text}, {"3rd.txt", "third"}});
    const std::string pristine = ReadFile(Root() + "/d/W/t.pkk");
    std::string damaged = pristine;
    TPackFileObject probe;
    probe.SetArchiveName("D:\\W\\t.pkk");
    ASSERT_TRUE(probe.FindMember("2nd.txt") && probe.FileHeader().Method == kMethodPacked);
    damaged[static_cast<size_t>(probe.MemberHeaderPos()) + 24] =
        0x7F;  // UnpackedSize past the stream
    form_->InitialArchive = "D:\\W\\t.pkk";
    form_->show();
    // The answer to "Файл уже существует", what happens then, whether the
    // third member and the replaced second one are there afterwards.
    enum Then { kNone, kDamage, kFullDisk, kStop };
    const auto extract = [&](int answer, Then then, bool third, bool replaced) {
        SCOPED_TRACE(testing::Message() << answer << " " << then);
        fs::remove_all(Root() + "/d/out");
        CreateFile("d/out/2nd.txt", "mine");
        WritePosixFile(Root() + "/d/W/t.pkk", then == kDamage ? damaged : pristine);
        responder_->Clear();
        responder_->Answer(answer);
        Select({"1st.txt", "2nd.txt", "3rd.txt"});
        AnswerFileDialog({}, Root() + "/d/out");
        QTimer stopper;  // "Остановить" once the question is answered
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (then == kStop && form_->Busy() && !responder_->Records().empty())
                Click(form_.get(), "Button6");
        });
        stopper.start(0);
        {
            std::unique_ptr<FullDisk> full(then == kFullDisk ? new FullDisk(64 * 1024) : nullptr);
            Click(form_.get(), "btUnpack");
        }
        EXPECT_EQ(Said("ChooseButton"), Lines{"Файл уже существует|D:\\out\\2nd.txt"});
        EXPECT_EQ(ReadFile(Root() + "/d/out/1st.txt"), "first");
        EXPECT_EQ(ReadFile(Root() + "/d/out/3rd.txt"), third ? "third" : "");
        EXPECT_TRUE(ReadFile(Root() + "/d/out/2nd.txt") == (replaced ? text : "mine"));
        EXPECT_EQ(std::distance(fs::directory_iterator(Root() + "/d/out"), {}), third ? 3 : 2)
            << "a temporary left";
        EXPECT_EQ(Said("ShowError").empty(), then != kDamage && then != kFullDisk);
    };
    extract(2, kNone, true, false);   // "Пропустить"
    extract(3, kNone, false, false);  // "Закончить"
    extract(1, kNone, true, true);    // "Удалить"
    extract(1, kDamage, false, false);
    extract(1, kFullDisk, false, false);
    extract(1, kStop, false, false);
    // No member name leads out of the chosen directory.
    WritePosixFile(Root() + "/d/W/evil.pkk", HandMade("", {{"..\\..\\evil.txt", 4, 4}}));
    form_->OpenArchive("D:\\W\\evil.pkk");
    responder_->Clear();
    Select({"..\\..\\evil.txt"});
    RunCommand([&] { form_->UnpackSelected("D:\\out\\deep"); });
    EXPECT_EQ(Said("ShowError"), Lines{"Unsafe file name in archive: ..\\..\\evil.txt"});
    EXPECT_FALSE(Exists(Root() + "/d/out/evil.txt") || Exists(Root() + "/d/out/deep/evil.txt"));
}

TEST_F(ArcTest, AddingDroppingDeletingAndStopping) {
    Pack("D:\\W\\a.pkk", {{"old.txt", "old"}}, A("Архивный"));
    Pack("D:\\W\\b.pkk", {{"b.txt", "bee"}});
    CreateFile("d/new/one.txt", "one");
    CreateFile("d/new/two.txt", "two");
    form_->InitialArchive = "D:\\W\\a.pkk";
    form_->show();
    // A member's information in view: its comment never becomes the archive's.
    ClickRow("lv", "old", true);
    EXPECT_EQ(Text("mComment") + Text("edOldName"), QString::fromUtf8("о файле - "));
    AnswerFileDialog("\"one.txt\" \"two.txt\"", Root() + "/d/new");
    Click(form_.get(), "btFileToArc");
    EXPECT_EQ(PkkList("d/W/a.pkk"), (Lines{"old.txt", "\\new\\one.txt", "\\new\\two.txt"}));
    EXPECT_EQ(ArchiveComment("D:\\W\\a.pkk"), A("Архивный"));
    // The archive's own comment, edited, goes with the next files chosen, not with drops.
    V<QPlainTextEdit>("mComment")->setPlainText(QString::fromUtf8("Новый\nкомментарий"));
    EXPECT_TRUE(Drop(CreateFile("d/new/dropped.txt", "dropped")));
    EXPECT_EQ(ArchiveComment("D:\\W\\a.pkk"), A("Архивный"));
    V<QPlainTextEdit>("mComment")->setPlainText(QString::fromUtf8("Новый\nкомментарий"));
    CreateFile("d/new/three.txt", "three");
    AnswerFileDialog("three.txt", Root() + "/d/new");
    Click(form_.get(), "btFileToArc");
    EXPECT_EQ(ArchiveComment("D:\\W\\a.pkk"), A("Новый\r\nкомментарий"));
    EXPECT_EQ(Rows("lv", TFormArc::kColName), "dropped|old|one|three|two");

    // A large add stopped: meanwhile only "Остановить" answers, and the archive stays as it was.
    std::string large;
    for (int i = 0; large.size() < 4000000; ++i)
        large += "row " + std::to_string(i * 13 % 100003) + "\n";
    CreateFile("d/new/large.txt", large);
    const std::string before = ReadFile(Root() + "/d/W/a.pkk");
    bool stopped = false;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (stopped || !form_->Busy()) return;
        stopped = true;
        for (const char* name : {"btFileToArc", "btUnpack", "btDeleteFile", "Button7", "lva", "lv"})
            EXPECT_FALSE(V<QWidget>(name)->isEnabled()) << name;
        Press(form_.get(), Qt::Key_Escape);
        EXPECT_FALSE(Drop(Root() + "/d/new/one.txt"));
        form_->Browse("D:\\W\\b.pkk");
        EXPECT_TRUE(form_->isVisible() && form_->Shown() == "D:\\W\\a.pkk");
        Click(form_.get(), "Button6");
    });
    stopper.start(0);
    form_->AddFiles({"D:\\new\\large.txt"});
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(ReadFile(Root() + "/d/W/a.pkk") == before);
    EXPECT_EQ(Column(V("lv")).size(), 5);
    EXPECT_TRUE(V<QWidget>("btFileToArc")->isEnabled() && !V<QWidget>("Button6")->isEnabled());
    EXPECT_TRUE(responder_->RequestsOf("ShowInfo").empty());  // no temporary file left

    // Every member deleted: the archive is gone.
    V("lv")->selectAll();
    Click(form_.get(), "btDeleteFile");
    EXPECT_FALSE(Exists(Root() + "/d/W/a.pkk"));
    EXPECT_EQ(Rows("lva"), "..\\W|b.pkk");
    // Looking at an archive that holds only a comment never removes it.
    WritePosixFile(Root() + "/d/W/c.pkk", HandMade(A("только комментарий"), {}));
    form_->ListDir("D:\\W");
    ClickRow("lva", "c.pkk");
    EXPECT_TRUE(Rows("lv").isEmpty());
    Click(form_.get(), "Button7");
    form_->close();
    EXPECT_TRUE(Exists(Root() + "/d/W/c.pkk") && form_->InitialArchive.empty());
}

TEST_F(ArcTest, MembersSortByEachColumnNumbersAsNumbers) {
    WritePosixFile(Root() + "/d/W/s.pkk", HandMade("", {{"b.txt", 100, 100},
                                                        {"y\\a.dat", 20000, 2000},
                                                        {"c.log", 5, 5},
                                                        {"sub\\d.txt", 0, 0},
                                                        {"x\\e.bin", 3000, 1500}}));
    form_->InitialArchive = "D:\\W\\s.pkk";
    form_->show();
    EXPECT_EQ(Column(V("lv"), TFormArc::kColRatio)[3], "0%");
    QHeaderView* header = V<QTreeView>("lv")->header();
    // Each column clicked twice: the names in order, then reversed.
    const std::pair<int, const char*> sorts[] = {
        {TFormArc::kColExt, "eacbd"},    {TFormArc::kColSize, "dcbea"},
        {TFormArc::kColPacked, "dcbea"}, {TFormArc::kColRatio, "daebc"},
        {TFormArc::kColPath, "bcdea"},   {TFormArc::kColName, "abcde"}};
    for (auto [column, names] : sorts) {
        const QPoint at(header->sectionViewportPosition(column) + 4, header->height() / 2);
        for (bool reversed : {false, true}) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
            QString want = names;
            if (reversed) std::reverse(want.begin(), want.end());
            EXPECT_EQ(Rows("lv", TFormArc::kColName).remove('|'), want) << column;
        }
    }
}

}  // namespace
}  // namespace hv::test
