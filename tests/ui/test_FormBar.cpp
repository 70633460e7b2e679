#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <cstdlib>

#include "UiFixture.h"
#include "dialogs/FormBar.h"
#include "project/HLObject.h"
#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "run/RunDriver.h"
#include "settings/IniFile.h"
#include "settings/WorkDirs.h"

namespace hv::test {
namespace {

class FormBarTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        if (const char* tmp = std::getenv("TMPDIR")) savedTmp_ = tmp;
        setenv("TMPDIR", CreateDir("d/tmp").c_str(), 1);
        owner_.setObjectName("FormOwner");
        owner_.resize(300, 200);
        owner_.show();
        owner_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&owner_));
    }
    void TearDown() override {
        savedTmp_.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", savedTmp_.c_str(), 1);
        UiTest::TearDown();
    }
    static QProgressBar* Bar(TFormBar& f, const char* name) { return Find<QProgressBar>(&f, name); }

    QMainWindow owner_;
    std::string savedTmp_;
};

// Two bars, the owner disabled while shown; the bars move in about 29 steps.
TEST_F(FormBarTest, BarsMoveInAbout29StepsAndWrongNumbersChangeNothing) {
    TFormBar f;
    f.InitBars(0, 0, 1000, 0, 50, &owner_);
    EXPECT_TRUE(f.TwoBars() && Find<QWidget>(&f, "Bar2")->isVisible() && !owner_.isEnabled());
    f.Mess(0, A("Копирование"));
    f.Mess(2, A("Вторая"));
    EXPECT_EQ(f.windowTitle() + "/" + Shown(&f, "M2"), "Копирование/Вторая");
    EXPECT_THROW(f.InitBars(0, 0, 10), Exception) << "shown twice";
    // Bar, value, and what the two bars show; moving bar 1 resets bar 2; beyond
    // the maximum is drawn full.
    const int steps[][4] = {{1, 0, 0, 0},   {2, 20, 0, 20}, {1, 1, 0, 0},   {1, 34, 0, 0},
                            {1, 35, 35, 0}, {1, 69, 35, 0}, {1, 70, 70, 0}, {1, 2000, 1000, 0}};
    for (auto [bar, value, shown1, shown2] : steps) {
        f.PosBar(bar, value);
        EXPECT_EQ(std::pair(Bar(f, "Bar1")->value(), Bar(f, "Bar2")->value()),
                  std::pair(shown1, shown2))
            << bar << ":" << value;
    }
    f.InitBars(1, 10, 5, 0, 0, nullptr);  // max raised to min
    EXPECT_EQ(f.GetMax1(), 10);
    f.InitBars(1, 0, 100, 0, 0, nullptr);
    f.Complete();
    EXPECT_EQ(Bar(f, "Bar1")->value(), 100);

    // Wrong bar or message numbers are shown and change nothing.
    responder_ = std::make_unique<ScriptedResponder>();
    f.PosBar(1, 50);
    f.PosBar(3, 10);
    f.Mess(7, "x");
    f.InitBars(9, 0, 1);
    EXPECT_EQ(Bar(f, "Bar1")->value(), 50);
    EXPECT_EQ(Said("ShowError"),
              (Lines{"Bars: (PosBar)???", "Bars: (Mess) ???", "Bars: (Init) ???"}));
    f.SetInterrupted(true);
    f.Close();
    EXPECT_FALSE(f.Interrupted() || f.isVisible());
    EXPECT_TRUE(owner_.isEnabled());
}

// One bar; a large archive copy counts bytes beyond the range of int, through
// the plain sink interface as the run driver uses it.
TEST_F(FormBarTest, ProgressTotalsOf2GiBUseTheScale) {
    const int64_t gib = int64_t(1) << 30;
    TFormBar f;
    f.InitBars(0, 0, 100, 0, 0, &owner_);
    EXPECT_FALSE(f.TwoBars() || Find<QWidget>(&f, "Bar2")->isVisible());
    ProgressSink& sink = f;
    sink.InitBarsLarge(1, 0, 5 * gib);
    EXPECT_EQ(f.GetMax1Large(), 5 * gib);
    EXPECT_GT(Bar(f, "Bar1")->maximum(), 0);
    sink.PosBarLarge(1, 4 * gib);
    EXPECT_NEAR(double(Bar(f, "Bar1")->value()) / Bar(f, "Bar1")->maximum(), 0.8, 0.05);
    sink.PosBarLarge(1, 5 * gib);
    EXPECT_EQ(Bar(f, "Bar1")->value(), Bar(f, "Bar1")->maximum());
    f.Close();
}

// A real archive run of the core driven through the window: "Стоп",
// confirmed in the platform's box, reaches the run while it works, and the
// owner comes back whether the run stops or fails.
TEST_F(FormBarTest, StopReachesARunningOperationAndTheOwnerComesBack) {
    workdirs::SetProjectsDir("D:\\Prog\\Projects\\");
    CreateDir("d/Arc");
    for (int i = 0; i < 6; ++i)
        CreateFile("d/Work/file" + std::to_string(i) + ".txt", std::string(40000, 'a' + i));
    THL_HalvoraProject p;
    p.FileName = "D:\\Prog\\Projects\\Stop.hlj";
    p.SetName("Stop");
    p.SetRootDir("D:\\Work");
    p.IncludeAllFiles = true;
    p.ArcType = kArcInternal;
    p.CompressType = 2;
    p.SavePlaces().Add("D:\\Arc");
    CreateDir("d/Prog/Projects");
    p.SaveToFile();
    // Stopped while running; failing, as the project file is missing.
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop);
        TFormBar bar;
        T_PrjList list;
        THL_ArcList arcs;
        arcs.ReadAll(*TIniFile::FromText(""), "");
        TRunDriver driver(list, arcs, bar);
        bool ownerDisabled = false, clicked = false;
        driver.MessagePump = [&] {
            ownerDisabled = !owner_.isEnabled();
            if (stop && !clicked && bar.isVisible()) {
                clicked = true;
                // The press waits in the event queue like a user's click.
                QMetaObject::invokeMethod(bar.findChild<QPushButton*>("bt1"), "click",
                                          Qt::QueuedConnection);
            }
            QCoreApplication::processEvents();
        };
        OnNextModal([&](QWidget* box) {
            ownerDisabled = ownerDisabled || !owner_.isEnabled();
            EXPECT_TRUE(!stop || box->findChild<QPushButton*>("btYes")->isDefault());
            Click(box, stop ? "btYes" : "btOk");
        });
        EXPECT_FALSE(
            driver.RunProjects(stop ? p.FileName : "D:\\Prog\\Projects\\None.hlj", false, true));
        EXPECT_TRUE(ownerDisabled);
        EXPECT_EQ(driver.Stopped(), stop);
        if (stop) {
            ASSERT_EQ(driver.Results().size(), 1u);
            EXPECT_EQ(driver.Results()[0].status, TRunDriver::ProjectResult::Status::Stopped);
        }
        EXPECT_FALSE(bar.isVisible() || bar.Interrupted());
        EXPECT_TRUE(owner_.isEnabled());
        EXPECT_EQ(bar.Owner(), nullptr);
    }
}

}  // namespace
}  // namespace hv::test
