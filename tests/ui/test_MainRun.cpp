// Runs from the main window with the real arj: the progress window while it
// works, the archivers' output at the end, the stop button, runs that fail,
// and a run of halvora-run holding the program directory.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "MainFixture.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"

namespace hv::test {
namespace {

// What the window looked like while the run worked.
struct Watch {
    QTimer timer;
    QString title;
    bool barShown = false;
    bool mainDisabled = false;
    explicit Watch(TFormMain& m) {
        QObject::connect(&timer, &QTimer::timeout, [this, &m] {
            if (TFormBar* bar = m.RunProgressWindow(); bar && bar->isVisible()) {
                barShown = true;
                if (!bar->windowTitle().isEmpty()) title = bar->windowTitle();
                mainDisabled = mainDisabled || !m.isEnabled();
            }
        });
        timer.start(5);
    }
};

TEST_F(MainTest, RunButtonsBuildWithArjAndShowItsOutput) {
    struct Row {
        const char* button;
        int selected;
        std::vector<std::string> built, notBuilt;
    } rows[] = {
        {"btSave", 2, {"C"}, {"A", "B"}},
        {"btSaveAll", 2, {"A", "B"}, {"C"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.button);
        ClearTree();
        MakeProject("A", {.deps = {"B"}});
        MakeProject("B");
        MakeProject("C");
        WriteSettings(ListText({{"A", true}, {"B", false}, {"C", false}}, r.selected));
        TFormMain& m = Start();
        Find<QCheckBox>(&m, "cbReCreate")->setChecked(true);
        QString output;
        int viewers = 0;
        OnNextModal([&](QWidget* w) {
            auto* v = qobject_cast<TFormView*>(w);
            ASSERT_TRUE(v);
            output = v->MemoText();
            ++viewers;
            v->accept();
        });
        Watch watch(m);
        Click(&m, r.button);
        EXPECT_TRUE(ModalActsDone());
        EXPECT_EQ(viewers, 1);
        EXPECT_TRUE(watch.barShown);
        EXPECT_TRUE(watch.mainDisabled);
        const std::string last = r.built.back();
        EXPECT_EQ(watch.title.toStdString(), "Формирование архива D:\\Arc\\" + last + "\\" + last + ".ARJ");
        EXPECT_TRUE(output.contains("ARJ")) << output.toStdString();
        for (const auto& n : r.built) {
            EXPECT_TRUE(Has("d/Arc/" + n + "/" + n + ".ARJ")) << n;
            EXPECT_TRUE(Has("d/Copy/" + n + "/" + n + ".ARJ")) << n;
            EXPECT_TRUE(output.contains(QString::fromStdString(n + ".ARJ"))) << n;
            auto t = ShellOutput("cd " + Root() + "/d/Arc/" + n + " && arj t " + n + ".ARJ");
            EXPECT_NE(t.find("OK"), std::string::npos) << t;
        }
        for (const auto& n : r.notBuilt) EXPECT_FALSE(Has("d/Arc/" + n + "/" + n + ".ARJ")) << n;
        EXPECT_TRUE(m.isEnabled());
        EXPECT_EQ(m.RunProgressWindow(), nullptr);
        EXPECT_FALSE(Find<QCheckBox>(&m, "cbReCreate")->isChecked());
        // The last project loaded is the current one.
        EXPECT_EQ(m.CurrentProject().Name(), r.built.back());
        EXPECT_TRUE(responder_->RequestsOf("ShowError").empty());
        Stop();
    }
}

TEST_F(MainTest, StopEndsALongRunAndKeepsTheOldArchive) {
    MakeProject("A");
    WriteSettings(ListText({{"A", true}}));
    TFormMain& m = Start();
    OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    Click(&m, "btSave");
    ASSERT_TRUE(Has("d/Arc/A/A.ARJ"));
    const std::string before = ReadFile(Root() + "/d/Arc/A/A.ARJ");

    CreateFile("d/Work/A/new.txt", "newer than the archive");
    SlowArchiver(47);
    bool stopAsked = false;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        TFormBar* bar = m.RunProgressWindow();
        if (stopAsked || !bar || !ProcessRuns("sleep 47")) return;
        stopAsked = true;
        responder_->AnswerYes();
        Click(bar, "bt1");
    });
    stopper.start(20);
    Click(&m, "btSave");
    stopper.stop();
    EXPECT_TRUE(stopAsked);
    EXPECT_TRUE(WaitFor([] { return !ProcessRuns("sleep 47"); }, 10)) << "the archiver outlived the stop";
    EXPECT_EQ(ReadFile(Root() + "/d/Arc/A/A.ARJ"), before);
    EXPECT_TRUE(m.isEnabled());
    EXPECT_EQ(m.RunProgressWindow(), nullptr);
    EXPECT_EQ(responder_->RequestsOf("AskYesNoWarn").size(), 1u);
    EXPECT_TRUE(responder_->RequestsOf("ShowError").empty());
}

TEST_F(MainTest, FailingRunsLeaveTheWindowEnabled) {
    struct Row {
        const char* name;
        std::function<void(const std::string& root)> spoil;
        const char* error;
        bool viewer;  // the other projects still ran
    } rows[] = {
        {"a dependency that is no project", [](const std::string& root) { WritePosixFile(root + "/d/Prog/Projects/B.hlj", "garbage"); },
         "B.hlj", true},
        {"an archiver type beyond the known",
         [](const std::string& root) {
             std::string s = ReadPosixFile(root + "/d/Prog/Projects/A.hlj");
             const size_t at = s.find("ArcType=2");
             ASSERT_NE(at, std::string::npos);
             s.replace(at, 9, "ArcType=99");
             WritePosixFile(root + "/d/Prog/Projects/A.hlj", s);
         },
         "Unknown format", false},
        {"a project file gone since the start", [](const std::string& root) { std::remove((root + "/d/Prog/Projects/A.hlj").c_str()); },
         "Не найден файл проекта", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ClearTree();
        MakeProject("A", {.deps = {"B"}});
        MakeProject("B");
        WriteSettings(ListText({{"A", true}}));
        TFormMain& m = Start();
        r.spoil(Root());
        responder_->Clear();
        if (r.viewer) OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
        Click(&m, "btSave");
        EXPECT_TRUE(ModalActsDone());
        const auto errors = responder_->RequestsOf("ShowError");
        ASSERT_FALSE(errors.empty());
        std::string all;
        for (const auto& e : errors) all += e.message + "\n";
        EXPECT_NE(all.find(A(r.error)), std::string::npos) << AnsiToUtf8(all);
        EXPECT_TRUE(m.isEnabled());
        EXPECT_EQ(m.RunProgressWindow(), nullptr);
        EXPECT_EQ(CursorDepth(), 0);
        Stop();
    }
}

TEST_F(MainTest, ARunOfHalvoraRunKeepsTheWindowFromRunning) {
    MakeProject("A");
    MakeProject("B");
    WriteSettings(ListText({{"A", true}, {"B", true}}, 1));
    SlowArchiver(5);
    ProcessOptions o;
    o.env = {{"HALVORA_HOME", Root() + "/d/Prog"}, {"TMPDIR", Root() + "/tmp"},
             {"PATH", std::string(getenv("PATH"))}};
    o.outputDir = Root();
    ChildProcess other({HALVORA_BINARY_DIR "/tools/halvora-run", "A"}, o);
    ASSERT_TRUE(WaitFor([&] { return ProcessRuns("sleep 5"); }, 20));

    TFormMain& m = Start();
    Click(&m, "btSave");
    const auto errors = responder_->RequestsOf("ShowError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].message.find(A("Проекты уже выполняются")), std::string::npos);
    EXPECT_FALSE(Has("d/Arc/B/B.ARJ"));
    EXPECT_TRUE(m.isEnabled());

    const ProcessResult r = other.Finish();
    EXPECT_EQ(r.status, 0) << r.err;
    const auto t = ShellOutput("cd " + Root() + "/d/Arc/A && arj t A.ARJ");
    EXPECT_NE(t.find("OK"), std::string::npos) << t;
}

}  // namespace
}  // namespace hv::test
