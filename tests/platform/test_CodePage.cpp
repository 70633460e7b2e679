#include <gtest/gtest.h>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"

namespace hv {
namespace {

TEST(CodePage, LiteralAgreesWithIconvForTheWholeAlphabet) {
    // Every Cyrillic letter the sources may quote must become the byte iconv gives.
    std::string utf8 = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя№«»—…";
    EXPECT_EQ(
        std::string("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя№«»—…"_a),
        Utf8ToAnsi(utf8));
    EXPECT_EQ(std::string("Отчёт"_a), "\xCE\xF2\xF7\xB8\xF2");
}

TEST(CodePage, RoundTripsAndLossyCharacters) {
    struct Row {
        const char* name;
        std::string utf8;
        std::string ansi;
    } rows[] = {
        {"ascii", "plain.txt", "plain.txt"},
        {"cyrillic", "Отчёт.txt", "\xCE\xF2\xF7\xB8\xF2.txt"},
        {"snowman", "a\xE2\x98\x83.txt", "a?.txt"},
        {"broken utf8", "a\xFF!", "a?!"},
        {"emoji", "x\xF0\x9F\x98\x80y", "x?y"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Utf8ToAnsi(r.utf8), r.ansi) << r.name;
        if (r.ansi.find('?') == std::string::npos) {
            EXPECT_EQ(AnsiToUtf8(r.ansi), r.utf8) << r.name;
        }
    }
}

TEST(CodePage, OemIsCp866) {
    std::string ansi = "Привет Ёж"_a;
    std::string oem = AnsiToOem(ansi);
    EXPECT_EQ(oem, "\x8F\xE0\xA8\xA2\xA5\xE2 \xF0\xA6");
    EXPECT_EQ(OemToAnsi(oem), ansi);
    EXPECT_EQ(OemToUtf8(oem), "Привет Ёж");
    EXPECT_EQ(Utf8ToOem("Привет Ёж"), oem);
}

TEST(CodePage, UpperLowerAndComparison) {
    EXPECT_EQ(AnsiUpper("abc ёжик xyz"_a), std::string("ABC ЁЖИК XYZ"_a));
    EXPECT_EQ(AnsiLower("ABC ЁЖИК"_a), std::string("abc ёжик"_a));
    EXPECT_TRUE(SameText("Файл.TXT"_a, "фАЙЛ.txt"_a));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
    // Collation is the sorted string list's test.
}

}  // namespace
}  // namespace hv
