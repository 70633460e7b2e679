// Runs from the main window with the real arj: the progress window while it
// works, the archivers' output at the end, the stop button, runs that fail,
// and a run of halvora-run holding the program directory.
#include <QCheckBox>

#include "MainFixture.h"
#include "platform/CodePage.h"

namespace hv::test {
namespace {

// What the window looked like while the run worked.
struct Watch {
    QTimer timer;
    QString title;
    bool mainDisabled = false;
    explicit Watch(TFormMain& m) {
        QObject::connect(&timer, &QTimer::timeout, [this, &m] {
            if (TFormBar* bar = m.RunProgressWindow(); bar && bar->isVisible()) {
                if (!bar->windowTitle().isEmpty()) title = bar->windowTitle();
                mainDisabled = mainDisabled || !m.isEnabled();
            }
        });
        timer.start(5);
    }
};

// The archive of Name was built by arj and is whole.
void ExpectArchive(const std::string& root, const std::string& name) {
    const auto t = ShellOutput("cd " + root + "/d/Arc/" + name + " && arj t " + name + ".ARJ");
    EXPECT_NE(t.find("OK"), std::string::npos) << t;
}

TEST_F(MainTest, RunButtonsBuildWithArjAndShowItsOutput) {
    for (auto [button, built, notBuilt] :
         {std::tuple{"btSave", "C", "AB"}, std::tuple{"btSaveAll", "AB", "C"}}) {
        SCOPED_TRACE(button);
        ClearTree();
        MakeProject("A", {.deps = {"B"}});
        MakeProject("B");
        MakeProject("C");
        WriteSettings(ListText({{"A", true}, {"B", false}, {"C", false}}, 2));
        TFormMain& m = Start();
        Find<QCheckBox>(&m, "cbReCreate")->setChecked(true);
        QString output;
        OnNextModal([&](QWidget* w) {
            auto* v = qobject_cast<TFormView*>(w);
            ASSERT_TRUE(v);
            output = v->MemoText();
            v->accept();
        });
        Watch watch(m);
        Click(&m, button);
        EXPECT_TRUE(ModalActsDone());
        EXPECT_TRUE(watch.mainDisabled);
        const std::string last(1, std::string(built).back());
        EXPECT_EQ(watch.title.toStdString(),
                  "Формирование архива D:\\Arc\\" + last + "\\" + last + ".ARJ");
        for (char c : std::string(built)) {
            const std::string n(1, c);
            EXPECT_TRUE(Has("d/Copy/" + n + "/" + n + ".ARJ")) << n;
            EXPECT_TRUE(output.contains(QString::fromStdString(n + ".ARJ"))) << n;
            ExpectArchive(Root(), n);
        }
        for (char n : std::string(notBuilt))
            EXPECT_FALSE(Has(std::string("d/Arc/") + n + "/" + n + ".ARJ")) << n;
        EXPECT_TRUE(m.isEnabled());
        EXPECT_EQ(m.RunProgressWindow(), nullptr);
        EXPECT_FALSE(Find<QCheckBox>(&m, "cbReCreate")->isChecked());
        // The last project loaded is the current one.
        EXPECT_EQ(m.CurrentProject().Name(), last);
        EXPECT_TRUE(Said("ShowError").empty());
        Stop();
    }
}

TEST_F(MainTest, StopEndsALongRunAndKeepsTheOldArchive) {
    MakeProject("A");
    WriteSettings(ListText({{"A", true}}));
    TFormMain& m = Start();
    OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    Click(&m, "btSave");
    const std::string before = ReadFile(Root() + "/d/Arc/A/A.ARJ");
    ASSERT_FALSE(before.empty());

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
    EXPECT_TRUE(WaitFor([] { return !ProcessRuns("sleep 47"); }, 10))
        << "the archiver outlived the stop";
    EXPECT_EQ(ReadFile(Root() + "/d/Arc/A/A.ARJ"), before);
    EXPECT_TRUE(m.isEnabled());
    EXPECT_EQ(m.RunProgressWindow(), nullptr);
    EXPECT_EQ(responder_->RequestsOf("AskYesNoWarn").size(), 1u);
    EXPECT_TRUE(Said("ShowError").empty());
}

TEST_F(MainTest, FailingRunsLeaveTheWindowEnabled) {
    const std::string a = Root() + "/d/Prog/Projects/A.hlj";
    // A checked, depending on B, spoilt after the start; the error shown, and
    // whether the output viewer still comes (the other projects ran).
    const auto fail = [&](const char* error, bool viewer, const std::function<void()>& spoil) {
        SCOPED_TRACE(error);
        ClearTree();
        MakeProject("A", {.deps = {"B"}});
        MakeProject("B");
        WriteSettings(ListText({{"A", true}}));
        TFormMain& m = Start();
        spoil();
        responder_->Clear();
        if (viewer) OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
        Click(&m, "btSave");
        EXPECT_TRUE(ModalActsDone());
        std::string all;
        for (const auto& e : Said("ShowError")) all += e + "\n";
        EXPECT_NE(all.find(error), std::string::npos) << all;
        EXPECT_TRUE(m.isEnabled());
        EXPECT_EQ(m.RunProgressWindow(), nullptr);
        EXPECT_EQ(CursorDepth(), 0);
        Stop();
    };
    fail("B.hlj", true, [&] { WritePosixFile(Root() + "/d/Prog/Projects/B.hlj", "no project"); });
    fail("Unknown format", false, [&] {
        std::string s = ReadPosixFile(a);
        WritePosixFile(a, s.replace(s.find("ArcType=2"), 9, "ArcType=99"));
    });
    fail("Не найден файл проекта", false, [&] { std::remove(a.c_str()); });
}

TEST_F(MainTest, ARunOfHalvoraRunKeepsTheWindowFromRunning) {
    MakeProject("A");
    MakeProject("B");
    WriteSettings(ListText({{"A", true}, {"B", true}}, 1));
    SlowArchiver(5);
    ProcessOptions o;
    o.env = {{"HALVORA_HOME", Root() + "/d/Prog"},
             {"TMPDIR", Root() + "/tmp"},
             {"PATH", std::string(getenv("PATH"))}};
    o.outputDir = Root();
    ChildProcess other({HALVORA_BINARY_DIR "/tools/halvora-run", "A"}, o);
    ASSERT_TRUE(WaitFor([&] { return ProcessRuns("sleep 5"); }, 20));

    TFormMain& m = Start();
    Click(&m, "btSave");
    const auto errors = Said("ShowError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Проекты уже выполняются"), std::string::npos);
    EXPECT_FALSE(Has("d/Arc/B/B.ARJ"));
    EXPECT_TRUE(m.isEnabled());
    const ProcessResult r = other.Finish();
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectArchive(Root(), "A");
}

}  // namespace
}  // namespace hv::test
