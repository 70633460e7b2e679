#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <cstdlib>

#include "UiFixture.h"
#include "dialogs/FormBar.h"
#include "dialogs/ScriptedResponder.h"
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

    QProgressBar* Bar(TFormBar& f, const char* name) { return Find<QProgressBar>(&f, name); }

    QMainWindow owner_;
    std::string savedTmp_;
};

TEST_F(FormBarTest, OneOrTwoBarsAndTheOwnerDisabledWhileShown) {
    struct Row {
        const char* name;
        int min2, max2;
        bool two;
    } rows[] = {{"bar 2 without a range", 0, 0, false}, {"bar 2 of 0..10", 0, 10, true}};
    for (const Row& r : rows) {
        TFormBar f;
        f.InitBars(0, 0, 100, r.min2, r.max2, &owner_);
        EXPECT_TRUE(f.isVisible()) << r.name;
        EXPECT_EQ(f.TwoBars(), r.two) << r.name;
        EXPECT_EQ(Find<QWidget>(&f, "Bar2")->isVisible(), r.two) << r.name;
        EXPECT_EQ(Find<QWidget>(&f, "M2")->isVisible(), r.two) << r.name;
        EXPECT_FALSE(owner_.isEnabled()) << r.name;
        // The stop button sits below the last bar shown.
        QWidget* last = Find<QWidget>(&f, r.two ? "Bar2" : "Bar1");
        EXPECT_GT(Find<QWidget>(&f, "bt1")->y(), last->y() + last->height()) << r.name;
        f.Mess(0, A("Копирование"));
        f.Mess(1, A("Первая"));
        f.Mess(2, A("Вторая"));
        EXPECT_EQ(f.windowTitle(), QString::fromUtf8("Копирование"));
        EXPECT_EQ(Find<QLabel>(&f, "M2")->text(), r.two ? QString::fromUtf8("Вторая") : QString());
        EXPECT_THROW(f.InitBars(0, 0, 10), Exception) << r.name;
        f.SetInterrupted(true);
        f.Close();
        EXPECT_FALSE(f.Interrupted()) << r.name;
        EXPECT_FALSE(f.isVisible()) << r.name;
        EXPECT_TRUE(owner_.isEnabled()) << r.name;
        EXPECT_EQ(f.windowTitle(), QString()) << r.name;
    }
}

TEST_F(FormBarTest, BarsMoveInAbout29StepsAndWrongNumbersChangeNothing) {
    TFormBar f;
    f.InitBars(0, 0, 1000, 0, 50, &owner_);
    struct Step {
        int bar, value, shown1, shown2;
    } steps[] = {
        {1, 0, 0, 0},    {2, 20, 0, 20},  {1, 1, 0, 0},  // moving bar 1 resets bar 2
        {1, 34, 0, 0},   {1, 35, 35, 0},  {1, 69, 35, 0}, {1, 70, 70, 0},
        {1, 2000, 1000, 0},  // beyond the maximum: drawn full
    };
    for (const Step& s : steps) {
        f.PosBar(s.bar, s.value);
        EXPECT_EQ(Bar(f, "Bar1")->value(), s.shown1) << s.bar << ":" << s.value;
        EXPECT_EQ(Bar(f, "Bar2")->value(), s.shown2) << s.bar << ":" << s.value;
    }
    f.InitBars(1, 10, 5, 0, 0, nullptr);  // max raised to min
    EXPECT_EQ(f.GetMax1(), 10);
    f.InitBars(1, 0, 100, 0, 0, nullptr);
    f.Complete();
    EXPECT_EQ(Bar(f, "Bar1")->value(), 100);

    // Wrong bar or message numbers are shown and change nothing.
    ScriptedResponder responder;
    f.PosBar(1, 50);
    f.PosBar(3, 10);
    f.Mess(7, "x");
    f.InitBars(9, 0, 1);
    EXPECT_EQ(Bar(f, "Bar1")->value(), 50);
    std::vector<std::string> shown;
    for (const auto& r : responder.RequestsOf("ShowError")) shown.push_back(r.message);
    EXPECT_EQ(shown, (std::vector<std::string>{"Bars: (PosBar)???", "Bars: (Mess) ???",
                                               "Bars: (Init) ???"}));
    f.Close();
}

// A large archive copy counts bytes beyond the range of int.
TEST_F(FormBarTest, ProgressTotalsOf2GiBUseTheScale) {
    const int64_t gib = int64_t(1) << 30;
    TFormBar f;
    f.InitBars(0, 0, 100, 0, 0, &owner_);
    f.InitBarsLarge(1, 0, 5 * gib);
    EXPECT_EQ(f.GetMax1Large(), 5 * gib);
    EXPECT_GT(Bar(f, "Bar1")->maximum(), 0);
    f.PosBarLarge(1, 4 * gib);
    const double shown = double(Bar(f, "Bar1")->value()) / Bar(f, "Bar1")->maximum();
    EXPECT_NEAR(shown, 0.8, 0.05);
    // Through the plain sink interface as the run driver uses it.
    ProgressSink& sink = f;
    sink.InitBarsLarge(1, 0, 3 * gib);
    sink.PosBarLarge(1, 3 * gib);
    EXPECT_EQ(Bar(f, "Bar1")->value(), Bar(f, "Bar1")->maximum());
    f.Close();
}

// A real archive run of the core driven through the window: "Стоп",
// confirmed in the platform's box, reaches the run while it works, and the
// owner comes back whether the run stops or fails.
TEST_F(FormBarTest, StopReachesARunningOperationAndTheOwnerComesBack) {
    workdirs::SetProjectsDir("D:\\Prog\\Projects\\");
    CreateDir("d/Prog/Projects");
    CreateDir("d/Arc");
    for (int i = 0; i < 6; ++i) CreateFile("d/Work/file" + std::to_string(i) + ".txt", std::string(40000, 'a' + i));
    THL_HalvoraProject p;
    p.FileName = "D:\\Prog\\Projects\\Stop.hlj";
    p.SetName("Stop");
    p.SetRootDir("D:\\Work");
    p.IncludeAllFiles = true;
    p.ArcType = kArcInternal;
    p.CompressType = 2;
    p.SavePlaces().Add("D:\\Arc");
    p.SaveToFile();

    struct Row {
        const char* name;
        std::string file;
        bool stop;
    } rows[] = {
        {"stopped while running", "D:\\Prog\\Projects\\Stop.hlj", true},
        {"failing: the project file is missing", "D:\\Prog\\Projects\\None.hlj", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TFormBar bar;
        T_PrjList list;
        THL_ArcList arcs;
        arcs.ReadAll(*TIniFile::FromText(""), "");
        TRunDriver driver(list, arcs, bar);
        bool ownerDisabled = false, clicked = false;
        int pumps = 0;
        driver.MessagePump = [&] {
            ++pumps;
            ownerDisabled = !owner_.isEnabled();
            if (r.stop && !clicked && bar.isVisible()) {
                clicked = true;
                // The press waits in the event queue like a user's click.
                QMetaObject::invokeMethod(bar.findChild<QPushButton*>("bt1"), "click",
                                          Qt::QueuedConnection);
            }
            QCoreApplication::processEvents();
        };
        if (r.stop) {
            OnNextModal([](QWidget* box) {
                EXPECT_TRUE(box->findChild<QPushButton*>("btYes")->isDefault());
                Click(box, "btYes");
            });
        } else {
            OnNextModal([&](QWidget* box) {
                ownerDisabled = !owner_.isEnabled();
                Click(box, "btOk");
            });
        }
        EXPECT_FALSE(driver.RunProjects(r.file, false, true));
        EXPECT_TRUE(ownerDisabled);
        EXPECT_EQ(driver.Stopped(), r.stop);
        if (r.stop) {
            EXPECT_TRUE(clicked);
            ASSERT_EQ(driver.Results().size(), 1u);
            EXPECT_EQ(driver.Results()[0].status, TRunDriver::ProjectResult::Status::Stopped);
        }
        EXPECT_FALSE(bar.isVisible());
        EXPECT_FALSE(bar.Interrupted());
        EXPECT_TRUE(owner_.isEnabled());
        EXPECT_EQ(bar.Owner(), nullptr);
    }
}

}  // namespace
}  // namespace hv::test
