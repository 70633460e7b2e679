#include <QMainWindow>
#include <QProgressBar>

#include "UiFixture.h"
#include "dialogs/FormBar.h"

namespace hv::test {
namespace {

class FormBarTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        owner_.setObjectName("FormOwner");
        owner_.show();
    }
    static QProgressBar* Bar(TFormBar& f, const char* name) { return Find<QProgressBar>(&f, name); }

    QMainWindow owner_;
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
    EXPECT_GT(Bar(f, "Bar1")->maximum(), 0);
    sink.PosBarLarge(1, 4 * gib);
    EXPECT_NEAR(double(Bar(f, "Bar1")->value()) / Bar(f, "Bar1")->maximum(), 0.8, 0.05);
    sink.PosBarLarge(1, 5 * gib);
    EXPECT_EQ(Bar(f, "Bar1")->value(), Bar(f, "Bar1")->maximum());
    f.Close();
}

}  // namespace
}  // namespace hv::test
