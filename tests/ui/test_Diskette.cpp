// The page "Архивы": the browser shown on a project's archive, copies onto the
// removable medium in A: with the questions a change of media asks, and the
// refresh of the archives on A:.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>

#include "MainFixture.h"
#include "pack/ArcForm.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

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
            return 64 * 1024 - used;
        });
    }
    ~SmallMedium() {
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
        SetFreeSpaceHook(nullptr);
    }
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

// A question a table row expects, its answer and what the user does meanwhile
// (changing the medium). Heading and text are looked for in the request (UTF-8).
struct Step {
    const char* function;
    const char* heading;
    std::string text;
    int answer;
    std::function<void()> act = {};
};

// Answers the questions of one command in the order the row gives.
class Steps : public MessageHandler {
  public:
    explicit Steps(std::vector<Step> steps)
        : steps_(steps.begin(), steps.end()), previous_(InstallMessageHandler(this)) {}
    ~Steps() override {
        InstallMessageHandler(previous_);
        EXPECT_TRUE(steps_.empty()) << steps_.size() << " questions never came";
    }
    int Ask(const MessageRequest& r) override {
        std::string seen = r.function + ": " + AnsiToUtf8(r.heading + "|" + r.text + "|");
        for (const auto& b : r.buttons) seen += AnsiToUtf8(b) + "/";
        if (steps_.empty()) {
            ADD_FAILURE() << "unexpected " << seen;
            return r.NoAnswerResult();
        }
        const Step s = steps_.front();
        steps_.pop_front();
        EXPECT_EQ(r.function, s.function) << seen;
        EXPECT_NE(AnsiToUtf8(r.heading).find(s.heading ? s.heading : ""), std::string::npos)
            << seen;
        EXPECT_NE(seen.find(s.text), std::string::npos) << seen;
        if (s.act) s.act();
        return s.answer;
    }

  private:
    std::deque<Step> steps_;
    MessageHandler* previous_;
};

// The titles the diskette progress window took, in order.
class Titles : public QObject {
  public:
    Titles() { App().installEventFilter(this); }
    ~Titles() override { App().removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* bar = qobject_cast<TFormBar*>(o);
        if (e->type() == QEvent::WindowTitleChange && bar && !bar->windowTitle().isEmpty())
            list += bar->windowTitle().toUtf8().toStdString() + "\n";
        return false;
    }
    std::string list;
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
    TFormMain& StartOnArchives() {
        TFormMain& m = Start();
        Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabArchives"));
        return m;
    }
    std::string Medium(const std::string& name) const { return ReadFile(Root() + "/a/" + name); }
};

// "Просмотр" and a double click in lvArchives show the browser on the project's archive.
TEST_F(DisketteTest, ArchivesPageShowsTheBrowserOnTheProjectsArchive) {
    MakeProject("A");
    MakeProject("B");
    ASSERT_EQ(ShellOutput("cd " + Root() + "/d/Work/A && arj a " + Root() +
                          "/d/Arc/A/A.ARJ data.txt >/dev/null && echo ok"),
              "ok\n");
    WriteSettings(ListText({{"A", true}, {"B", false}}, 1));
    TFormMain& m = StartOnArchives();
    TFormArc* browser = session_->Browser();
    ClickRow(Archives(), 0);
    Click(&m, "btLook");
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(Find<QLineEdit>(browser, "edArcName")->text(), "D:\\Arc\\A\\A.ARJ");
    EXPECT_EQ(Find<QTreeView>(browser, "lv")->model()->rowCount(), 1);
    browser->close();
    ClickRow(Archives(), 1, true);
    // B has no archive yet: its directory is shown and nothing is chosen.
    EXPECT_TRUE(browser->isVisible() && browser->Dir() == "D:\\Arc\\B" &&
                m.CurrentProject().Name() == "B");
    EXPECT_EQ(Find<QLineEdit>(browser, "edArcName")->text(), "");
}

TEST_F(DisketteTest, CopyAsksForMediaAsTheyAreNeeded) {
    const std::string a = Root() + "/a";
    SmallMedium medium(a);
    auto fill = [&](const std::string& name, size_t size) {
        CreateFile("a/" + name, std::string(size, 'f'));
    };
    auto room = [](int k) {
        return std::string("места\r\nВставьте ") + (k == 1 ? "другую " : "следующую ") + "дискету";
    };
    const char* missing = "Файл на дискете отсутствует";
    // P.A01 and P.ARJ of Size in D:\Arc\P (0: no P.A01, P.ARJ of 40000) copied
    // to the medium Prepare leaves, with the questions of Steps; the titles of
    // the progress window (C: "Копирование архива [k из n] ", V: "Проверка
    // архива [k из n] "), and P.ARJ on the medium after ("=": the archive's).
    const auto copy = [&](const char* name, size_t size, std::vector<Step> steps,
                          const std::string& titles, const std::string& after,
                          const std::function<void()>& prepare, bool mediumPlace = true) {
        SCOPED_TRACE(name);
        ClearTree();
        medium.Clear();
        MakeProject("P");
        if (mediumPlace) OnMedium("P");
        if (size) CreateFile("d/Arc/P/P.A01", std::string(size, 'a'));
        CreateFile("d/Arc/P/P.ARJ", std::string(size ? size : 40000, 'j'));
        prepare();
        WriteSettings(ListText({{"P", true}}));
        TFormMain& m = StartOnArchives();
        ClickRow(Archives(), 0);
        Titles shown;
        {
            Steps answers(std::move(steps));
            Click(&m, "btToDiskette");
        }
        std::string want = "Копирование архива D:\\Arc\\P\\P.ARJ\n";
        for (size_t i = 0; i < titles.size(); i += 3)
            want += std::string(titles[i] == 'C' ? "Копирование" : "Проверка") + " архива [" +
                    titles[i + 1] + " из " + titles[i + 2] + "] \n";
        EXPECT_EQ(shown.list, want);
        EXPECT_EQ(Medium("P.ARJ"), after == "=" ? ReadFile(Root() + "/d/Arc/P/P.ARJ") : after);
        EXPECT_TRUE(m.isEnabled() && !m.DisketteProgressWindow() && !m.LastCopyStopped());
        EXPECT_EQ(ReadFile(Root() + "/d/Work/P/data.txt"), "data of P\n")
            << "the clearing went out of the medium";
        Stop();
    };
    copy("current copies are skipped without a question", 1000, {}, "C12C22",
         std::string(1000, 'f'), [&] {
             for (const char* n : {"P.A01", "P.ARJ"}) {
                 fill(n, 1000);
                 ASSERT_TRUE(SetFileDate(std::string("A:\\") + n,
                                         FileAge(std::string("D:\\Arc\\P\\") + n)));
             }
         });
    copy("short of room: another medium, then the next one", 40000,
         {{"ShowInfo", nullptr, room(1), 1, [&] { fs::remove(a + "/filler.dat"); }},
          {"ChooseButton", missing, "A:\\P.A01", 2},
          {"ShowInfo", nullptr, room(2), 1, [&] { fs::remove(a + "/P.A01"); }},
          {"ChooseButton", missing, "A:\\P.ARJ", 2}},
         "C12V12C22V22", "=", [&] { fill("filler.dat", 30000); });
    copy("seven entries: four shown, then the medium cleared", 0,
         {{"ShowInfo", nullptr, room(1), 1},
          {"ShowInfo", nullptr, room(1), 1},
          {"ChooseButton", missing, "A:\\P.ARJ", 2},
          {"ShowInfo", nullptr, room(1), 1},
          {"ChooseButton", "Дискета содержит данные",
           "|A:\\D1\\\r\nA:\\D2\\\r\nA:\\f1.dat\r\nA:\\f2.dat\r\n...\r\n|Проверить другую "
           "дискету/Копировать на текущую/Удалить все файлы с дискеты/Прервать копирование/",
           3},
          {"ConfirmDelete", nullptr, "", 1}},
         "C11V11", "=", [&] {
             CreateDir("a/D2");
             fill("D1/f.txt", 100);
             fs::create_directory_symlink(Root() + "/d/Work", a + "/D1/link");
             for (const char* n : {"f1.dat", "f2.dat", "f3.dat", "f4.dat", "f5.dat"}) fill(n, 6000);
         });
    copy("a copy error tried again", 0,
         {{"ShowInfo", nullptr, "Ошибка копирования \"D:\\ARC\\P\\P.ARJ\" --> \"A:\\P.ARJ\"", 1},
          {"ChooseButton", "Ошибка копирования\r\n", "A:\\P.ARJ|Повторить/Прервать копирование/", 1,
           [&] { chmod((a + "/P.ARJ").c_str(), 0644); }}},
         "C11V11", "=", [&] { chmod(CreateFile("a/P.ARJ", "old").c_str(), 0444); });
    copy(
        "no diskette place: the copy is offered again", 0,
        {{"ChooseButtonWarn", "Ошибка при копировании файлов на дискеты",
          "Проектом не определены пути копирования на дискеты|Повторить копирование/Завершить/", 1},
         {"ChooseButtonWarn", nullptr, "", 2}},
        "", "", [] {}, false);
}

// Files on A: mark the projects whose archives they are; those run and are copied.
TEST_F(DisketteTest, RefreshRunsAndCopiesTheProjectsWhoseArchivesAreOnA) {
    enum Spoil { kNone, kCopyFails, kRunFails };
    for (Spoil spoil : {kNone, kCopyFails, kRunFails}) {
        SCOPED_TRACE(spoil);
        ClearTree();
        for (const char* n : {"SAME.ARJ", "Y.ARJ", "OTHER.TXT"}) fs::remove(Root() + "/a/" + n);
        for (const char* n : {"X", "S1", "S2", "Y"}) MakeProject(n);
        OnMedium("X");
        OnMedium("S1", "SAME");
        OnMedium("S2", "SAME");
        OnMedium("Y");
        chmod(CreateFile("a/SAME.ARJ", "old").c_str(), spoil == kCopyFails ? 0444 : 0644);
        CreateFile("a/Y.ARJ", "oldy");
        CreateFile("a/OTHER.TXT", "other");
        if (spoil == kRunFails) fs::remove_all(Root() + "/d/Work/S1");
        WriteSettings(ListText({{"X", true}, {"S1", false}, {"S2", false}, {"Y", false}}));
        TFormMain& m = StartOnArchives();
        responder_->Clear();
        if (spoil == kCopyFails) responder_->Answer(2);  // "Прервать копирование"
        if (spoil != kRunFails) OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
        Click(&m, "btFreshDiskette");
        EXPECT_TRUE(ModalActsDone());
        std::string marked;
        for (int i = 0; i < m.ProjectList().GetCount(); ++i)
            marked += m.ProjectList().Items(i)->MarkedForRefresh ? "+" : "-";
        EXPECT_EQ(marked, "-+-+");
        EXPECT_FALSE(Has("d/Arc/X/X.ARJ") || Has("d/Arc/S2/SAME.ARJ"));
        EXPECT_EQ(Has("d/Arc/S1/SAME.ARJ") && Has("d/Arc/Y/Y.ARJ"), spoil != kRunFails);
        // A copy stopped by "Прервать копирование" ends the refresh too.
        EXPECT_EQ(Medium("SAME.ARJ"),
                  spoil == kNone ? ReadFile(Root() + "/d/Arc/S1/SAME.ARJ") : "old");
        EXPECT_EQ(Medium("Y.ARJ"), spoil == kNone ? ReadFile(Root() + "/d/Arc/Y/Y.ARJ") : "oldy");
        EXPECT_EQ(Medium("OTHER.TXT"), "other");
        EXPECT_EQ(responder_->RequestsOf("ChooseButton").size(), spoil == kCopyFails ? 1u : 0u);
        EXPECT_EQ(responder_->RequestsOf("ShowError").empty(), spoil != kRunFails);
        Stop();
        chmod((Root() + "/a/SAME.ARJ").c_str(), 0644);
    }
    // A: on a folder of the system disk holds no medium: nothing is read, run or copied.
    ClearTree();
    MakeProject("X");
    OnMedium("X");
    WriteSettings(ListText({{"X", false}}));
    DriveMap map = GetDriveMap();
    map['A'] = CreateDir("folder");
    SetDriveMap(map);
    TFormMain& m = StartOnArchives();
    CreateFile("folder/X.ARJ", "old");
    responder_->Clear();
    Click(&m, "btFreshDiskette");
    EXPECT_EQ(Said("ShowError"), Lines{"A:\\|Устройство не готово."});
    EXPECT_FALSE(Has("d/Arc/X/X.ARJ"));
}

}  // namespace
}  // namespace hv::test
