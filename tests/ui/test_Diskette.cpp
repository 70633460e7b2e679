// The page "Архивы" of the main window: the archive browser shown on a
// project's archive, copies onto the removable medium in A: with every
// question a change of media asks, and the refresh of the archives on A:.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QTabWidget>
#include <QTreeView>
#include <deque>
#include <filesystem>

#include "MainFixture.h"
#include "pack/ArcForm.h"
#include "platform/CodePage.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMediumSize = 64 * 1024;

// A 64 KiB medium on A:. Root mounts a tmpfs there, in a mount namespace of
// this test program's own so that nothing outlives it. Where mounting is not
// allowed, the directory stands in for a medium and its free space is faked
// from what it holds, in the 4 KiB pages a tmpfs would take.
class SmallMedium {
  public:
    explicit SmallMedium(std::string dir) : dir_(std::move(dir)) {
        static const bool ownNamespace =
            unshare(CLONE_NEWNS) == 0 &&
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        mounted_ = ownNamespace && mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (mounted_) return;
        SetStandInMedia({dir_});
        SetFreeSpaceHook([d = dir_](const std::string& p) -> std::optional<int64_t> {
            if (p.rfind(d, 0) != 0) return std::nullopt;
            int64_t used = 0;
            for (const auto& e : fs::recursive_directory_iterator(d))
                if (!e.is_symlink() && e.is_regular_file())
                    used += static_cast<int64_t>((e.file_size() + 4095) / 4096 * 4096);
            return kMediumSize - used;
        });
    }
    ~SmallMedium() {
        if (mounted_) {
            umount2(dir_.c_str(), MNT_DETACH);
        } else {
            SetFreeSpaceHook(nullptr);
            SetStandInMedia({});
        }
    }
    SmallMedium(const SmallMedium&) = delete;
    SmallMedium& operator=(const SmallMedium&) = delete;

    // Empties the medium, read-only files included.
    void Clear() const {
        for (const auto& e : fs::directory_iterator(dir_)) {
            chmod(e.path().c_str(), 0755);
            fs::remove_all(e.path());
        }
    }

  private:
    std::string dir_;
    bool mounted_ = false;
};

// One question expected, with its answer and what the user does meanwhile
// (changing the medium). Heading and text are looked for in the request (UTF-8).
struct Step {
    const char* function;
    const char* heading;
    std::string text;
    int answer;
    std::function<void()> act = {};
};

// Answers the questions of a command in the order a table row expects them.
class Steps : public MessageHandler {
  public:
    explicit Steps(std::vector<Step> steps) : steps_(steps.begin(), steps.end()) {
        previous_ = InstallMessageHandler(this);
    }
    ~Steps() override {
        InstallMessageHandler(previous_);
        EXPECT_TRUE(steps_.empty())
            << steps_.size() << " questions never came, first " << steps_.front().function;
    }
    int Ask(const MessageRequest& r) override {
        const std::string seen = AnsiToUtf8(r.heading + "|" + r.text);
        if (steps_.empty()) {
            ADD_FAILURE() << "unexpected " << r.function << ": " << seen;
            return r.NoAnswerResult();
        }
        const Step s = steps_.front();
        steps_.pop_front();
        EXPECT_EQ(r.function, s.function) << seen;
        if (s.heading) {
            EXPECT_NE(AnsiToUtf8(r.heading).find(s.heading), std::string::npos) << seen;
        }
        if (!s.text.empty()) {
            EXPECT_NE(AnsiToUtf8(r.text).find(s.text), std::string::npos) << seen;
        }
        if (s.act) s.act();
        return s.answer;
    }

  private:
    std::deque<Step> steps_;
    MessageHandler* previous_ = nullptr;
};

// The titles the progress windows took, in order.
class Titles : public QObject {
  public:
    Titles() { App().installEventFilter(this); }
    ~Titles() override { App().removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* bar = qobject_cast<TFormBar*>(o);
        if (e->type() == QEvent::WindowTitleChange && bar && !bar->windowTitle().isEmpty())
            list.push_back(bar->windowTitle().toUtf8().toStdString());
        return false;
    }
    std::vector<std::string> list;
};

class DisketteTest : public MainTest {
  protected:
    // MakeProject's project with A:\ among its places, and its own archive name.
    void OnMedium(const std::string& name, const std::string& arcName = {}) {
        THL_HalvoraProject p;
        p.FileName = "D:\\Prog\\Projects\\" + name + ".hlj";
        p.LoadFromFile();
        p.SavePlaces().Add("A:\\");
        if (!arcName.empty()) p.SetArcName(arcName);
        p.SaveToFile();
    }
    std::string Medium(const std::string& name) const { return ReadFile(Root() + "/a/" + name); }
};

// "Просмотр" and a double click in lvArchives show the browser on the project's archive.
TEST_F(MainTest, ArchivesPageShowsTheBrowserOnTheProjectsArchive) {
    MakeProject("A");
    MakeProject("B");
    ASSERT_EQ(ShellOutput("cd " + Root() + "/d/Work/A && arj a " + Root() +
                          "/d/Arc/A/A.ARJ data.txt >/dev/null && echo ok"),
              "ok\n");
    WriteSettings(ListText({{"A", true}, {"B", false}}, 1));
    TFormMain& m = Start();
    Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabArchives"));
    TFormArc* browser = session_->Browser();
    ClickRow(Archives(), 0);
    Click(&m, "btLook");
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(Find<QLineEdit>(browser, "edArcName")->text(), "D:\\Arc\\A\\A.ARJ");
    EXPECT_EQ(Find<QTreeView>(browser, "lv")->model()->rowCount(), 1);
    browser->close();
    EXPECT_TRUE(browser->InitialArchive.empty());

    QAbstractItemView* v = Archives()->Current();
    const QPoint at = v->visualRect(v->model()->index(1, 0)).center();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(v->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(Find<QLineEdit>(browser, "edArcName")->text(), "");  // B has no archive yet
    EXPECT_EQ(browser->Dir(), "D:\\Arc\\B");
    EXPECT_EQ(m.CurrentProject().Name(), "B");
}

std::string Bytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
    return s;
}

std::string RoomFor(int k) {
    return std::string("Недостаточно свободного места\r\nВставьте ") +
           (k == 1 ? "другую " : "следующую ") + "дискету";
}

TEST_F(DisketteTest, CopyAsksForMediaAsTheyAreNeeded) {
    const std::string a = Root() + "/a";
    SmallMedium medium(a);
    auto fill = [&](const std::string& name, size_t size) {
        CreateFile("a/" + name, std::string(size, 'f'));
    };
    const char* missing = "Файл на дискете отсутствует";
    const char* full = "Дискета содержит данные";
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, size_t>> archive;  // files in D:\Arc\P
        std::function<void()> medium;
        std::vector<Step> steps;
        std::vector<std::string>
            titles;  // "C1/2": the copy of file 1 of 2, "V1/2": its verification
        std::map<std::string, std::string> after;  // on the medium; "=" for the archive's bytes
        bool stopped = false;
        bool noMediumPlace = false;
    } rows[] = {
        {"current copies are skipped without a question",
         {{"P.A01", 1000}, {"P.ARJ", 1000}},
         [&] {
             for (const char* n : {"P.A01", "P.ARJ"}) {
                 fill(n, 1000);
                 ASSERT_TRUE(SetFileDate(std::string("A:\\") + n,
                                         FileAge(std::string("D:\\Arc\\P\\") + n)));
             }
         },
         {},
         {"C1/2", "C2/2"},
         {{"P.A01", std::string(1000, 'f')}, {"P.ARJ", std::string(1000, 'f')}}},
        {"short of room: another medium, then the next",
         {{"P.A01", 40000}, {"P.ARJ", 40000}},
         [&] { fill("filler.dat", 30000); },
         {{"ShowInfo", nullptr, RoomFor(1), 1, [&] { fs::remove(a + "/filler.dat"); }},
          {"ChooseButton", missing, "A:\\P.A01", 2},
          {"ShowInfo", nullptr, RoomFor(2), 1, [&] { fs::remove(a + "/P.A01"); }},
          {"ChooseButton", missing, "A:\\P.ARJ", 2}},
         {"C1/2", "V1/2", "C2/2", "V2/2"},
         {{"P.ARJ", "="}}},
        {"seven entries: four shown, then the medium cleared",
         {{"P.ARJ", 40000}},
         [&] {
             CreateDir("a/D2");
             fill("D1/f.txt", 100);
             fs::create_directory_symlink(Root() + "/d/Work", a + "/D1/link");
             for (const char* n : {"f1.dat", "f2.dat", "f3.dat", "f4.dat", "f5.dat"}) fill(n, 6000);
         },
         {{"ShowInfo", nullptr, RoomFor(1), 1},
          {"ShowInfo", nullptr, RoomFor(1), 1},
          {"ChooseButton", missing, "A:\\P.ARJ", 2},
          {"ShowInfo", nullptr, RoomFor(1), 1},
          {"ChooseButton", full, "A:\\D1\\\r\nA:\\D2\\\r\nA:\\f1.dat\r\nA:\\f2.dat\r\n...\r\n", 3},
          {"ConfirmDelete", nullptr, "", 1}},
         {"C1/1", "V1/1"},
         {{"P.ARJ", "="}}},
        {"five entries: all shown, then stopped",
         {{"P.ARJ", 40000}},
         [&] {
             for (const char* n : {"f1.dat", "f2.dat", "f3.dat", "f4.dat", "f5.dat"}) fill(n, 9000);
         },
         {{"ShowInfo", nullptr, RoomFor(1), 1},
          {"ShowInfo", nullptr, RoomFor(1), 1},
          {"ChooseButton", missing, "A:\\P.ARJ", 2},
          {"ShowInfo", nullptr, RoomFor(1), 1},
          {"ChooseButton", full,
           "A:\\f1.dat\r\nA:\\f2.dat\r\nA:\\f3.dat\r\nA:\\f4.dat\r\nA:\\f5.dat\r\n", 4}},
         {"C1/1"},
         {{"f1.dat", std::string(9000, 'f')},
          {"f2.dat", std::string(9000, 'f')},
          {"f3.dat", std::string(9000, 'f')},
          {"f4.dat", std::string(9000, 'f')},
          {"f5.dat", std::string(9000, 'f')}},
         true},
        {"a copy error tried again",
         {{"P.ARJ", 1000}},
         [&] { chmod(CreateFile("a/P.ARJ", "old").c_str(), 0444); },
         {{"ShowInfo", nullptr, "Ошибка копирования \"D:\\ARC\\P\\P.ARJ\" --> \"A:\\P.ARJ\"", 1},
          {"ChooseButton", "Ошибка копирования\r\n", "A:\\P.ARJ", 1,
           [&] { chmod((a + "/P.ARJ").c_str(), 0644); }}},
         {"C1/1", "V1/1"},
         {{"P.ARJ", "="}}},
        {"a copy error ends the copy",
         {{"P.ARJ", 1000}},
         [&] { chmod(CreateFile("a/P.ARJ", "old").c_str(), 0444); },
         {{"ShowInfo", nullptr, "Ошибка копирования", 1},
          {"ChooseButton", "Ошибка копирования\r\n", "A:\\P.ARJ", 2}},
         {"C1/1"},
         {{"P.ARJ", "old"}},
         true},
        {"no diskette place: the copy is offered again",
         {{"P.ARJ", 1000}},
         [] {},
         {{"ChooseButtonWarn", "Ошибка при копировании файлов на дискеты",
           "Проектом не определены пути копирования на дискеты", 1},
          {"ChooseButtonWarn", nullptr, "", 2}},
         {},
         {},
         false,
         true},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        ClearTree();
        medium.Clear();
        MakeProject("P");
        if (!r.noMediumPlace) OnMedium("P");
        unsigned seed = 1;
        for (const auto& [name, size] : r.archive)
            CreateFile("d/Arc/P/" + name, Bytes(size, seed++));
        r.medium();
        WriteSettings(ListText({{"P", true}}));
        TFormMain& m = Start();
        Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabArchives"));
        ClickRow(Archives(), 0);
        Titles titles;
        {
            Steps steps(std::move(r.steps));
            Click(&m, "btToDiskette");
        }
        std::vector<std::string> want = {"Копирование архива D:\\Arc\\P\\P.ARJ"};
        for (const std::string& t : r.titles)
            want.push_back((t[0] == 'C' ? "Копирование архива [" : "Проверка архива [") +
                           t.substr(1, 1) + " из " + t.substr(3, 1) + "] ");
        EXPECT_EQ(titles.list, want);
        std::map<std::string, std::string> after;
        for (const auto& e : fs::directory_iterator(a))
            if (e.is_regular_file())
                after[e.path().filename().string()] = ReadFile(e.path().string());
        for (auto& [name, content] : r.after)
            if (content == "=") content = ReadFile(Root() + "/d/Arc/P/" + name);
        EXPECT_TRUE(after == r.after) << after.size() << " files on the medium";
        EXPECT_EQ(m.LastCopyStopped(), r.stopped);
        EXPECT_EQ(m.CurrentProject().IsStopped(), r.stopped);
        EXPECT_TRUE(m.isEnabled());
        EXPECT_EQ(m.DisketteProgressWindow(), nullptr);
        EXPECT_TRUE(ReadFile(Root() + "/d/Work/P/data.txt").size() > 0)
            << "the medium's clearing went out of it";
        Stop();
    }
}

// Files on A: mark the projects whose archives they are; those run and are copied.
TEST_F(DisketteTest, RefreshRunsAndCopiesTheProjectsWhoseArchivesAreOnA) {
    enum class Spoil { None, CopyFails, RunFails };
    struct Row {
        const char* name;
        Spoil spoil;
        bool viewer;
    } rows[] = {
        {"refreshed", Spoil::None, true},
        {"a copy stopped ends the refresh", Spoil::CopyFails, true},
        {"a failing run ends the refresh", Spoil::RunFails, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ClearTree();
        for (const char* n : {"SAME.ARJ", "Y.ARJ", "OTHER.TXT"}) {
            chmod((Root() + "/a/" + n).c_str(), 0644);
            fs::remove(Root() + "/a/" + n);
        }
        for (const char* n : {"X", "S1", "S2", "Y"}) MakeProject(n);
        OnMedium("X");
        OnMedium("S1", "SAME");
        OnMedium("S2", "SAME");
        OnMedium("Y");
        CreateFile("a/SAME.ARJ", "old");
        CreateFile("a/Y.ARJ", "oldy");
        CreateFile("a/OTHER.TXT", "other");
        if (r.spoil == Spoil::CopyFails) chmod((Root() + "/a/SAME.ARJ").c_str(), 0444);
        if (r.spoil == Spoil::RunFails) fs::remove_all(Root() + "/d/Work/S1");
        WriteSettings(ListText({{"X", true}, {"S1", false}, {"S2", false}, {"Y", false}}));
        TFormMain& m = Start();
        responder_->Clear();
        if (r.spoil == Spoil::CopyFails) responder_->Answer(2);  // "Прервать копирование"
        if (r.viewer) OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
        Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabArchives"));
        Click(&m, "btFreshDiskette");
        EXPECT_TRUE(ModalActsDone());

        const auto& list = m.ProjectList();
        std::vector<bool> marked;
        for (int i = 0; i < list.GetCount(); ++i) marked.push_back(list.Items(i)->MarkedForRefresh);
        EXPECT_EQ(marked, (std::vector<bool>{false, true, false, true}));
        EXPECT_FALSE(Has("d/Arc/X/X.ARJ"));
        EXPECT_FALSE(Has("d/Arc/S2/SAME.ARJ"));
        EXPECT_EQ(Has("d/Arc/S1/SAME.ARJ"), r.spoil != Spoil::RunFails);
        EXPECT_EQ(Has("d/Arc/Y/Y.ARJ"), r.spoil != Spoil::RunFails);
        const bool copied = r.spoil == Spoil::None;
        EXPECT_EQ(Medium("SAME.ARJ"), copied ? ReadFile(Root() + "/d/Arc/S1/SAME.ARJ") : "old");
        EXPECT_EQ(Medium("Y.ARJ"), copied ? ReadFile(Root() + "/d/Arc/Y/Y.ARJ") : "oldy");
        EXPECT_EQ(Medium("OTHER.TXT"), "other");
        EXPECT_EQ(responder_->RequestsOf("ChooseButton").size(),
                  r.spoil == Spoil::CopyFails ? 1u : 0u);
        EXPECT_EQ(responder_->RequestsOf("ShowError").empty(), r.spoil != Spoil::RunFails);
        EXPECT_TRUE(m.isEnabled());
        Stop();
    }

    // A: on a folder of the system disk holds no medium: nothing is read, run or copied.
    ClearTree();
    MakeProject("X");
    OnMedium("X");
    CreateFile("folder/X.ARJ", "old");
    WriteSettings(ListText({{"X", false}}));
    DriveMap map = GetDriveMap();
    map['A'] = Root() + "/folder";
    SetDriveMap(map);
    TFormMain& m = Start();
    responder_->Clear();
    Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabArchives"));
    Click(&m, "btFreshDiskette");
    const auto errors = responder_->RequestsOf("ShowError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].heading + "|" + errors[0].text, "A:\\|" + A("Устройство не готово."));
    EXPECT_FALSE(Has("d/Arc/X/X.ARJ"));
    EXPECT_EQ(ReadFile(Root() + "/folder/X.ARJ"), "old");
    Stop();
}

}  // namespace
}  // namespace hv::test
