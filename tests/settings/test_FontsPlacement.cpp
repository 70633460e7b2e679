// The rules that keep a restored window on a screen, and the layout texts of
// columns and splitters at their edges (fonts and placements written and read
// back are the window tests' business).
#include <gtest/gtest.h>

#include "settings/Placement.h"

namespace hv {
namespace {

TEST(Placement, LayoutTexts) {
    EXPECT_EQ(LayoutText({50, 0, 1234, 12345, -3}), "00500000123499990000");
    struct Row {
        const char* name;
        const char* text;
        int max;
        std::optional<std::vector<int>> out;
    } rows[] = {
        {"complete numbers", "005001200300", 9999, std::vector<int>{50, 120, 300}},
        {"a short tail is dropped", "00500060003", 9999, std::vector<int>{50, 60}},
        {"empty", "", 9999, std::vector<int>{}},
        {"a letter refuses the whole text", "00a00100", 9999, std::nullopt},
        {"a minus refuses the whole text", "0050-0300", 9999, std::nullopt},
        {"blanks refuse the whole text", "0050 0300", 9999, std::nullopt},
        {"a number out of range refuses the whole text", "00509999", 4000, std::nullopt},
    };
    for (const Row& r : rows) EXPECT_EQ(ParseLayoutText(r.text, r.max), r.out) << r.name;
}

TEST(Placement, RestoredWindowsLandOnAScreen) {
    const TRect primary{0, 0, 1600, 900};
    const TRect right{1600, 0, 1280, 1024};
    const TRect current{0, 0, 400, 300};
    struct Row {
        const char* name;
        TRect stored;
        std::vector<TRect> screens;
        TRect out;
    } rows[] = {
        {"on the primary screen", {100, 50, 800, 600}, {primary}, {100, 50, 800, 600}},
        {"slightly off the left edge is kept", {-20, -3, 800, 600}, {primary}, {-20, -3, 800, 600}},
        {"left of every screen", {-5000, 50, 800, 600}, {primary}, {10, 50, 800, 600}},
        {"on a monitor that was removed", {2000, 100, 800, 600}, {primary}, {10, 100, 800, 600}},
        {"on the second monitor", {2000, 100, 800, 600}, {primary, right}, {2000, 100, 800, 600}},
        {"below the bottom", {100, 880, 800, 600}, {primary}, {100, 10, 800, 600}},
        {"size 0 takes the current size", {100, 50, 0, 600}, {primary}, {100, 50, 400, 300}},
        {"negative size", {100, 50, -5, -5}, {primary}, {100, 50, 400, 300}},
        {"larger than the screen", {0, 0, 4000, 3000}, {primary}, {0, 0, 1600, 900}},
        {"larger than the second screen",
         {1700, 0, 3000, 3000},
         {primary, right},
         {1700, 0, 1280, 1024}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PlaceOnScreens(r.stored, current, r.screens), r.out) << r.name;
}

}  // namespace
}  // namespace hv
