// Fonts and window placement as they are stored, and the rules that keep a
// restored window on a screen.
#include <gtest/gtest.h>

#include "settings/Fonts.h"
#include "settings/IniFile.h"
#include "settings/Placement.h"

namespace hv {
namespace {

TEST(Fonts, ReadFromTheirSectionsWithDefaults) {
    auto ini = TIniFile::FromText(
        "[LabelFont]\r\nName=\"Arial\"\r\nSize=12\r\nColor=255\r\nCharset=0\r\nStyle=12\r\n"
        "[EditFont]\r\nName=\"\"\r\nSize=abc\r\nStyle=99\r\nCharset=300\r\nColor=0x10\r\n"
        "[TextFont]\r\nSize=0\r\nStyle=-1\r\n");
    TFontSpec label = ReadFont(*ini, TFontId::LabelFont);
    EXPECT_EQ(label, (TFontSpec{"Arial", 12, 255, 0, 12}));
    EXPECT_TRUE(label.Bold() && label.Italic());
    // Malformed values each keep their default.
    TFontSpec edit = ReadFont(*ini, TFontId::EditFont);
    EXPECT_EQ(edit, (TFontSpec{"MS Sans Serif", 8, 16, 204, 0}));
    EXPECT_EQ(ReadFont(*ini, TFontId::TextFont), DefaultFont(TFontId::TextFont));
    EXPECT_EQ(DefaultFont(TFontId::HeaderFont), (TFontSpec{"Times New Roman", 18, 16776960, 204, 8}));
    EXPECT_EQ(ReadFont(*ini, TFontId::CourierFont).Name, "Courier New");
    EXPECT_STREQ(FontSuffix(TFontId::CourierFont), "");
    EXPECT_STREQ(FontSuffix(TFontId::ColumnFont), "_CF");

    auto out = TIniFile::FromText("");
    WriteFont(*out, TFontId::MainFont, label);
    EXPECT_EQ(out->Text(),
              "[MainFont]\r\nName=\"Arial\"\r\nSize=12\r\nColor=255\r\nCharset=0\r\nStyle=12\r\n\r\n");
}

TEST(Placement, SectionNames) {
    struct Row {
        const char* in;
        const char* out;
    } rows[] = {
        {"FormMain", "FormMainPosition"},     {"FormArc_1", "FormArcPosition"},
        {"FormArc_2", "FormArcPosition"},     {"Form2", "Form2Position"},
        {"Form_", "Form_Position"},           {"_12", "_12Position"},
        {"", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(PlacementSection(r.in), r.out) << r.in;
}

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
        {"larger than the second screen", {1700, 0, 3000, 3000}, {primary, right},
         {1700, 0, 1280, 1024}},
    };
    for (const Row& r : rows) EXPECT_EQ(PlaceOnScreens(r.stored, current, r.screens), r.out) << r.name;
}

TEST(Placement, SectionKeys) {
    auto ini = TIniFile::FromText("[FormXPosition]\r\nLeft=abc\r\nTop=7\r\nWindowState=9\r\n");
    TPlacement p = ReadPlacement(*ini, "FormXPosition");
    EXPECT_TRUE(p.HasData);
    EXPECT_EQ(p.Bounds.Left, 50);
    EXPECT_EQ(p.Bounds.Top, 7);
    EXPECT_EQ(p.WindowState, 0);
    EXPECT_FALSE(p.HasSize);
    EXPECT_FALSE(ReadPlacement(*ini, "Other").HasData);
    p.Bounds = {1, 2, 3, 4};
    p.BorderStyle = 3;
    WritePlacement(*ini, "FormXPosition", p, true);
    EXPECT_EQ(ini->Text(),
              "[FormXPosition]\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\nWindowState=0\r\n"
              "BorderStyle=3\r\n\r\n");
    WritePlacement(*ini, "FormXPosition", p, false);
    EXPECT_TRUE(ini->ValueExists("FormXPosition", "Visible"));
}

}  // namespace
}  // namespace hv
