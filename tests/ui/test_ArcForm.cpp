// The archive browser on real archives: the directory list, the members of
// own and ARJ archives, adding, dropping, deleting and extracting, the stop
// button during long work, and sorting.
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <filesystem>
#include <sstream>

#include "UiFixture.h"
#include "dialogs/ScriptedResponder.h"
#include "pack/ArcForm.h"
#include "pack/PackFile.h"
#include "platform/CodePage.h"
#include "support/FullDisk.h"
#include "support/Process.h"
#include "ui/Command.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kStamp = (44 << 25) | (2 << 21) | (1 << 16) | (12 << 11);  // 01.02.2024 12:00

// An archive written byte by byte: any names and sizes, nothing checked.
struct HandMember {
    std::string name;
    uint32_t unpacked;
    uint32_t packed;
    std::string comment;
};
std::string HandMade(const std::string& comment, const std::vector<HandMember>& members) {
    TArchive0Header h;
    h.HeaderId = 0x56A9;
    h.Version = h.MinVersion = 256;
    h.NamePos = 4;
    h.Created = h.Modified = kStamp;
    h.Name = "hand.pkk";
    h.Comment = comment;
    std::string bytes = h.Bytes();
    for (const HandMember& m : members) {
        TArchive0FileHeader f;
        f.HeaderId = 0x56A9;
        f.Version = f.MinVersion = 256;
        f.Method = m.packed == m.unpacked ? 1 : 0;
        f.NamePos = 4;
        f.Created = f.Modified = kStamp;
        f.UnpackedSize = m.unpacked;
        f.PackedSize = m.packed;
        f.Name = m.name;
        f.Comment = m.comment;
        bytes += f.Bytes() + std::string(m.packed, 'p');
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
        responder_.reset();
        UiTest::TearDown();
    }

    // Packs D:\<dir>\<name> (name -> content) into the archive, stored relative to D:\<dir>.
    void Pack(const std::string& archive, const std::string& dir,
              const std::vector<std::pair<std::string, std::string>>& files,
              const std::string& comment = {}) {
        TPackFileObject a;
        a.SetArchiveName(archive);
        a.BaseDir = "D:\\" + dir;
        a.Operation = kArcOpAdd;
        for (const auto& [name, content] : files) {
            CreateFile("d/" + dir + "/" + name, content);
            a.SetFileName("D:\\" + dir + "\\" + name);
            a.FileComment = A("о файле ") + name;
            ASSERT_EQ(a.Execute(), 0) << name;
        }
        if (!comment.empty()) a.SetComment(comment);
    }
    QListView* Lva() const { return Find<QListView>(form_.get(), "lva"); }
    QTreeView* Lv() const { return Find<QTreeView>(form_.get(), "lv"); }
    QString Text(const char* name) const {
        QWidget* w = Find<QWidget>(form_.get(), name);
        if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
        if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
        return w->property("text").toString();
    }
    QStringList Entries() const {
        QStringList out;
        for (int i = 0; i < Lva()->model()->rowCount(); ++i)
            out << Lva()->model()->index(i, 0).data().toString();
        return out;
    }
    // The texts of one column of lv, top to bottom.
    QStringList Column(int column) const {
        QStringList out;
        for (int i = 0; i < Lv()->model()->rowCount(); ++i)
            out << Lv()->model()->index(i, column).data().toString();
        return out;
    }
    void ClickEntry(const QString& caption, bool twice = false) {
        const int row = static_cast<int>(Entries().indexOf(caption));
        ASSERT_GE(row, 0) << caption.toStdString();
        const QPoint at = Lva()->visualRect(Lva()->model()->index(row, 0)).center();
        QTest::mouseClick(Lva()->viewport(), Qt::LeftButton, {}, at);
        if (twice) {
            QTest::mouseDClick(Lva()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(Lva()->viewport(), Qt::LeftButton, {}, at);
        }
    }
    void SelectMembers(const QStringList& fullNames) {
        Lv()->clearSelection();
        for (int i = 0; i < Lv()->model()->rowCount(); ++i)
            if (fullNames.contains(
                    Lv()->model()->index(i, TFormArc::kColFullName).data().toString()))
                Lv()->selectionModel()->select(
                    Lv()->model()->index(i, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void Drop(const std::vector<std::string>& posixFiles, bool expectAccepted) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const auto& f : posixFiles) urls << QUrl::fromLocalFile(QString::fromStdString(f));
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), expectAccepted);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &drop);
        EXPECT_EQ(drop.isAccepted(), expectAccepted);
    }
    // Stored names as `pkk l` lists them.
    std::vector<std::string> PkkList(const std::string& posixArchive) {
        const ProcessResult r =
            RunProcess({HALVORA_BINARY_DIR "/tools/pkk", "l", posixArchive}, {});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> names;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);)
            names.push_back(line.substr(line.rfind(' ') + 1));
        return names;
    }
    std::string Messages(const char* function) const {
        std::string all;
        for (const auto& r : responder_->RequestsOf(function))
            all += r.heading + "|" + r.text + "\n";
        return all;
    }
    std::string ArchiveComment(const std::string& archive) {
        TPackFileObject a;
        a.SetArchiveName(archive);
        a.SetActive(true);
        const std::string c = a.ArchiveHeader().Comment;
        a.SetActive(false);
        return c;
    }

    std::unique_ptr<ScriptedResponder> responder_;
    std::unique_ptr<TFormArc> form_;
};

TEST_F(ArcTest, ListsTheArchivesOfADirectoryAndOpensEach) {
    Pack("D:\\W\\a.pkk", "src", {{"a1.txt", "first"}, {"a2.txt", "second"}});
    Pack("D:\\W\\b.PKK", "src", {{"b.txt", "bee"}});
    CreateFile("d/src/x.txt", "x");
    CreateFile("d/src/y.txt", "why");
    const std::string w = CreateDir("d/W");
    ASSERT_EQ(ShellOutput("cd " + Root() + "/d/src && arj a " + w +
                          "/x.arj x.txt y.txt >/dev/null && echo ok"),
              "ok\n");
    CreateFile("d/W/note.txt", "not an archive");
    CreateDir("d/W/sub");
    form_->InitialArchive = "D:\\W\\b.PKK";
    form_->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Entries(), (QStringList{"..\\W", "sub", "a.pkk", "b.PKK", "x.arj"}));
    EXPECT_EQ(Text("lbFound"), "3");
    EXPECT_EQ(Text("edArcName"), "D:\\W\\b.PKK");
    EXPECT_EQ(Text("sbDiskName"), "D:");

    struct Row {
        const char* entry;
        QStringList members;
        const char* version;
    } rows[] = {
        {"a.pkk", {"a1.txt", "a2.txt"}, "1.0"},
        {"b.PKK", {"b.txt"}, "1.0"},
        {"x.arj", {"x.txt", "y.txt"}, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.entry);
        ClickEntry(r.entry);
        EXPECT_EQ(Text("edArcName"), QString("D:\\W\\") + r.entry);
        EXPECT_EQ(Column(TFormArc::kColFullName), r.members);
        EXPECT_EQ(Text("lbNumFiles"), QString::number(r.members.size()));
        if (r.version) {
            EXPECT_EQ(Text("edVers"), r.version);
        }
    }
    // ARJ archives are listed, never extracted.
    SelectMembers({"x.txt"});
    Click(form_.get(), "btUnpack");
    EXPECT_NE(
        Messages("ShowError").find(A("Возможна распаковка архива только внутреннего формата")),
        std::string::npos);

    // A directory without archives: nothing to add to, and no "<directory>.PKK" made.
    ClickEntry("sub", true);
    EXPECT_EQ(Entries(), (QStringList{"..\\sub"}));
    EXPECT_EQ(Text("lbFound"), "0");
    EXPECT_EQ(Text("edArcName"), "");
    responder_->Clear();
    Click(form_.get(), "btFileToArc");
    Drop({CreateFile("d/src/drop.txt", "drop")}, true);
    EXPECT_EQ(responder_->RequestsOf("ShowError").size(), 2u);
    EXPECT_EQ(Messages("ShowError"), A("|Не выбрано\n|Не выбрано\n"));
    EXPECT_FALSE(Exists(Root() + "/d/W/sub.PKK") || Exists(Root() + "/d/W.PKK"));

    // Back up: another directory than the last, so its first archive is chosen.
    ClickEntry("..\\sub", true);
    EXPECT_EQ(Text("edArcName"), "D:\\W\\a.pkk");
    // The drives of the map, the current one marked; the network leads nowhere.
    Click(form_.get(), "sbDiskName");
    EXPECT_EQ(Entries(), (QStringList{"A:", "C:", "D:", QString::fromUtf8("Сеть")}));
    EXPECT_EQ(Lva()->model()->index(2, 0).data(Qt::UserRole).toInt(), TFormArc::kImgFixed + 1);
    responder_->Clear();
    ClickEntry(QString::fromUtf8("Сеть"), true);
    EXPECT_EQ(Messages("ShowError"), A("Не найден директорий|\\\\\n"));
    ClickEntry("D:", true);
    EXPECT_TRUE(Entries().contains("W") && !Entries().front().startsWith(".."));
}

// Extracting three members where the second is there already, with each answer.
TEST_F(ArcTest, ExtractingAsksBeforeAFileIsReplaced) {
    std::string bigText;
    for (int i = 0; bigText.size() < 300000; ++i)
        bigText += "line " + std::to_string(i * 7 % 1000) + "\n";
    Pack("D:\\W\\t.pkk", "src", {{"1st.txt", "first"}, {"2nd.txt", bigText}, {"3rd.txt", "third"}});
    const std::string source = ReadFile(Root() + "/d/src/2nd.txt");
    const std::string pristine = ReadFile(Root() + "/d/W/t.pkk");
    std::string damaged = pristine;
    {
        TPackFileObject a;
        a.SetArchiveName("D:\\W\\t.pkk");
        ASSERT_TRUE(a.FindMember("2nd.txt"));
        ASSERT_EQ(a.FileHeader().Method, kMethodPacked);
        const size_t at = static_cast<size_t>(a.MemberHeaderPos()) + 22;
        damaged[at + 2] = 0x7F;  // UnpackedSize past what the stream holds
    }
    enum class Then { None, Damage, FullDisk, Stop };
    struct Row {
        const char* name;
        int answer;  // to "Файл уже существует"
        Then then;
        std::vector<std::string> extracted;
        bool replaced;
    } rows[] = {
        {"Пропустить", 2, Then::None, {"1st.txt", "3rd.txt"}, false},
        {"Закончить", 3, Then::None, {"1st.txt"}, false},
        {"Удалить", 1, Then::None, {"1st.txt", "3rd.txt"}, true},
        {"Удалить, the member damaged", 1, Then::Damage, {"1st.txt"}, false},
        {"Удалить, the disk full", 1, Then::FullDisk, {"1st.txt"}, false},
        {"Удалить, stopped", 1, Then::Stop, {"1st.txt"}, false},
    };
    form_->InitialArchive = "D:\\W\\t.pkk";
    form_->show();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove_all(Root() + "/d/out");
        CreateFile("d/out/2nd.txt", "mine");
        WritePosixFile(Root() + "/d/W/t.pkk", r.then == Then::Damage ? damaged : pristine);
        responder_->Clear();
        responder_->Answer(r.answer);
        SelectMembers({"1st.txt", "2nd.txt", "3rd.txt"});
        OnNextModal([&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_TRUE(d);
            d->setDirectory(QString::fromStdString(Root() + "/d/out"));
            static_cast<QDialog*>(d)->accept();
        });
        bool stopped = false;
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (r.then != Then::Stop || stopped || !form_->Busy() || responder_->Records().empty())
                return;
            stopped = true;
            Click(form_.get(), "Button6");
        });
        stopper.start(0);
        {
            std::unique_ptr<FullDisk> full;
            if (r.then == Then::FullDisk) full = std::make_unique<FullDisk>(64 * 1024);
            Click(form_.get(), "btUnpack");
        }
        stopper.stop();
        EXPECT_TRUE(ModalActsDone());
        const auto asked = responder_->RequestsOf("ChooseButton");
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].heading, A("Файл уже существует"));
        EXPECT_EQ(asked[0].text, "D:\\out\\2nd.txt");
        for (const char* f : {"1st.txt", "3rd.txt"}) {
            const bool want = std::count(r.extracted.begin(), r.extracted.end(), f) > 0;
            EXPECT_EQ(Exists(Root() + "/d/out/" + f), want) << f;
            if (want) {
                EXPECT_EQ(ReadFile(Root() + "/d/out/" + f), ReadFile(Root() + "/d/src/" + f)) << f;
            }
        }
        EXPECT_TRUE(ReadFile(Root() + "/d/out/2nd.txt") == (r.replaced ? source : "mine"));
        EXPECT_EQ(
            std::distance(fs::directory_iterator(Root() + "/d/out"), fs::directory_iterator()),
            static_cast<long>(r.extracted.size()) + 1)
            << "a temporary left beside the files";
        const bool failed = r.then == Then::Damage || r.then == Then::FullDisk;
        EXPECT_EQ(responder_->RequestsOf("ShowError").size(), failed ? 1u : 0u)
            << Messages("ShowError");
        EXPECT_FALSE(form_->Busy());
    }

    // No member name leads out of the chosen directory.
    WritePosixFile(Root() + "/d/W/evil.pkk", HandMade("", {{"..\\..\\evil.txt", 4, 4, ""}}));
    fs::remove_all(Root() + "/d/out");
    CreateDir("d/out");
    form_->OpenArchive("D:\\W\\evil.pkk");
    responder_->Clear();
    SelectMembers({"..\\..\\evil.txt"});
    RunCommand([&] { form_->UnpackSelected("D:\\out"); });
    EXPECT_NE(Messages("ShowError").find("Unsafe file name in archive: ..\\..\\evil.txt"),
              std::string::npos);
    EXPECT_FALSE(Exists(Root() + "/d/out/evil.txt") || Exists(Root() + "/evil.txt") ||
                 Exists(Root() + "/d/evil.txt"));
}

TEST_F(ArcTest, AddingDroppingDeletingAndStopping) {
    Pack("D:\\W\\a.pkk", "src", {{"old.txt", "old"}}, A("Архивный комментарий"));
    Pack("D:\\W\\b.pkk", "src", {{"b.txt", "bee"}});
    const std::string arc = Root() + "/d/W/a.pkk";
    form_->InitialArchive = "D:\\W\\a.pkk";
    form_->show();
    EXPECT_EQ(Text("mComment"), QString::fromStdString(AnsiToUtf8(A("Архивный комментарий"))));

    // A member's information in view: its comment is not the archive's.
    Lv()->setCurrentIndex(Lv()->model()->index(0, TFormArc::kColName));
    const QPoint member = Lv()->visualRect(Lv()->currentIndex()).center();
    QTest::mouseClick(Lv()->viewport(), Qt::LeftButton, {}, member);
    QTest::mouseDClick(Lv()->viewport(), Qt::LeftButton, {}, member);
    QTest::mouseRelease(Lv()->viewport(), Qt::LeftButton, {}, member);
    EXPECT_EQ(Text("mComment"), QString::fromUtf8("о файле old.txt"));
    EXPECT_EQ(Text("edOldName"), " - ");
    const std::string one = CreateFile("d/new/one.txt", "one"),
                      two = CreateFile("d/new/two.txt", "two");
    OnNextModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_TRUE(d);
        d->setDirectory(QString::fromStdString(Root() + "/d/new"));
        d->findChild<QLineEdit*>("fileNameEdit")->setText("\"one.txt\" \"two.txt\"");
        static_cast<QDialog*>(d)->accept();
    });
    Click(form_.get(), "btFileToArc");
    EXPECT_TRUE(ModalActsDone());
    EXPECT_EQ(PkkList(arc),
              (std::vector<std::string>{"old.txt", "\\new\\one.txt", "\\new\\two.txt"}));
    EXPECT_EQ(ArchiveComment("D:\\W\\a.pkk"), A("Архивный комментарий"));
    EXPECT_EQ(Column(TFormArc::kColName), (QStringList{"old", "one", "two"}));

    // The archive's own comment, edited, goes with the next files; so do dropped files.
    Find<QPlainTextEdit>(form_.get(), "mComment")
        ->setPlainText(QString::fromUtf8("Новый\nкомментарий"));
    Drop({CreateFile("d/new/dropped.txt", "dropped")}, true);
    EXPECT_EQ(PkkList(arc).back(), "\\new\\dropped.txt");
    EXPECT_EQ(ArchiveComment("D:\\W\\a.pkk"), A("Архивный комментарий"));  // drops leave it
    CreateFile("d/new/three.txt", "three");
    OnNextModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_TRUE(d);
        d->setDirectory(QString::fromStdString(Root() + "/d/new"));
        d->findChild<QLineEdit*>("fileNameEdit")->setText("three.txt");
        static_cast<QDialog*>(d)->accept();
    });
    Find<QPlainTextEdit>(form_.get(), "mComment")
        ->setPlainText(QString::fromUtf8("Новый\nкомментарий"));
    Click(form_.get(), "btFileToArc");
    EXPECT_EQ(ArchiveComment("D:\\W\\a.pkk"), A("Новый\r\nкомментарий"));
    EXPECT_EQ(PkkList(arc).size(), 5u);

    // A large add stopped: only "Остановить" answers meanwhile, and the old archive stays.
    std::string large;
    for (int i = 0; large.size() < 4000000; ++i)
        large += "row " + std::to_string(i * 13 % 100003) + "\n";
    const std::string largeFile = CreateFile("d/new/large.txt", large);
    const std::string before = ReadFile(arc);
    bool stopped = false;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (stopped || !form_->Busy()) return;
        stopped = true;
        for (const char* name :
             {"btFileToArc", "btUnpack", "btDeleteFile", "Button7", "lva", "lv", "edArcName"})
            EXPECT_FALSE(Find<QWidget>(form_.get(), name)->isEnabled()) << name;
        Press(form_.get(), Qt::Key_Escape);
        EXPECT_TRUE(form_->isVisible());
        Drop({largeFile}, false);
        form_->Browse("D:\\W\\b.pkk");
        EXPECT_EQ(form_->Shown(), "D:\\W\\a.pkk");
        Click(form_.get(), "Button6");
    });
    stopper.start(0);
    form_->AddFiles({"D:\\new\\large.txt"});
    stopper.stop();
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(ReadFile(arc) == before);
    EXPECT_EQ(PkkList(arc).size(), 5u);
    EXPECT_EQ(Lv()->model()->rowCount(), 5);
    EXPECT_TRUE(Find<QWidget>(form_.get(), "btFileToArc")->isEnabled());
    EXPECT_FALSE(Find<QWidget>(form_.get(), "Button6")->isEnabled());
    EXPECT_EQ(Messages("ShowInfo"), "");  // no temporary file left behind

    // Every member deleted: the list is empty and the archive gone.
    Lv()->selectAll();
    Click(form_.get(), "btDeleteFile");
    EXPECT_FALSE(Exists(arc));
    EXPECT_EQ(Entries(), (QStringList{"..\\W", "b.pkk"}));
    EXPECT_EQ(Text("edArcName"), "D:\\W\\b.pkk");
    Lv()->clearSelection();
    responder_->Clear();
    Click(form_.get(), "btDeleteFile");
    EXPECT_EQ(Messages("ShowError"), A("|Не выбрано\n"));

    // Looking at an archive that holds only a comment never removes it.
    WritePosixFile(Root() + "/d/W/c.pkk", HandMade(A("только комментарий"), {}));
    form_->ListDir("D:\\W");
    ClickEntry("c.pkk");
    EXPECT_EQ(Lv()->model()->rowCount(), 0);
    Click(form_.get(), "Button7");
    form_->close();
    EXPECT_TRUE(Exists(Root() + "/d/W/c.pkk"));
    EXPECT_TRUE(form_->InitialArchive.empty());
}

TEST_F(ArcTest, MembersSortByEachColumnNumbersAsNumbers) {
    WritePosixFile(Root() + "/d/W/s.pkk", HandMade("", {{"b.txt", 100, 100, ""},
                                                        {"y\\a.dat", 20000, 2000, ""},
                                                        {"c.log", 5, 5, ""},
                                                        {"sub\\d.txt", 0, 0, ""},
                                                        {"x\\e.bin", 3000, 1500, ""}}));
    form_->InitialArchive = "D:\\W\\s.pkk";
    form_->show();
    EXPECT_EQ(Column(TFormArc::kColName), (QStringList{"a", "b", "c", "d", "e"}));
    const int zero = static_cast<int>(Column(TFormArc::kColName).indexOf("d"));
    EXPECT_EQ(Column(TFormArc::kColRatio)[zero], "0%");
    struct Row {
        int column;
        QStringList names;  // ascending
    } rows[] = {
        {TFormArc::kColExt, {"e", "a", "c", "b", "d"}},
        {TFormArc::kColSize, {"d", "c", "b", "e", "a"}},
        {TFormArc::kColPacked, {"d", "c", "b", "e", "a"}},
        {TFormArc::kColRatio, {"d", "a", "e", "b", "c"}},
        {TFormArc::kColPath, {"b", "c", "d", "e", "a"}},
        {TFormArc::kColName, {"a", "b", "c", "d", "e"}},
    };
    QHeaderView* header = Lv()->header();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.column);
        const QPoint at(header->sectionViewportPosition(r.column) + 4, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(Column(TFormArc::kColName), r.names);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        QStringList reversed(r.names.rbegin(), r.names.rend());
        EXPECT_EQ(Column(TFormArc::kColName), reversed);
    }
}

}  // namespace
}  // namespace hv::test
