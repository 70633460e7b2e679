#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "util/Exception.h"
#include "util/StrUtils.h"

namespace hv {
namespace {

TEST(MatchMask, Table) {
    const struct {
        const char *name, *mask;
        bool ignoreCase, expected;
    } rows[] = {
        {"readme.txt", "*.TXT", true, true},
        {"README.TXT", "R*ME.*", true, true},
        {"ABC", "A*C", true, true},
        {"ABC", "AB", true, false},  // mask shorter than the name
        {"AB", "AB*", true, true},   // a trailing star matches nothing
        {"AXBYC", "A*B*C", true, true},
        {"ABDCXE", "AB*C*D*E", true, false},  // segments out of order
        {"anything.at.all", "**", true, true},
        {"A1C", "A?C", true, true},
        {"data.A01", "*.A?1", true, true},
        {"XAB1YZ", "X*B?*Z", true, true},
        {"readme.txt", "*.TXT", false, false},
        {"a*b", "a*b", false, true},
        {"\xEF\xF0\xE8\xEC\xE5\xF0.txt", "\xCF\xD0*.TXT", true, true},  // Cyrillic
        {"", "A*", true, false},
        {"A", "", true, false},
        // A mask that is not used up matches only with a lone '*' left.
        {"A", "ABC*", true, false},
        {"AB", "AB*C*", true, false},
        // The final segment must lie after what is already matched.
        {"ABC", "AB*BC", true, false},
        {"ABXBC", "AB*BC", true, true},
        // A literal '*' in a name is no wildcard in the name.
        {"a*bc", "a*c", true, true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(MatchMask(r.name, r.mask, r.ignoreCase), r.expected)
            << r.name << " against " << r.mask << (r.ignoreCase ? "" : ", case counting");
}

TEST(Words, SplitTokensWordPosAndGetWord) {
    auto dropped = SplitTokens("uses A, B;", " ,;", false);
    EXPECT_EQ(dropped->Strings(), (std::vector<std::string>{"uses", "A", "B"}));
    auto kept = SplitTokens("uses A, B;", " ,;", true);
    EXPECT_EQ(kept->Strings(), (std::vector<std::string>{"uses", " ", "A", ", ", "B", ";"}));
    EXPECT_EQ(SplitTokens("", " ", true)->Count(), 0);
    EXPECT_EQ(SplitTokens(" ,; ", " ,;", false)->Count(), 0);

    const std::string line = "uses SysUtils, Classes,Forms ;  Dialogs";
    const std::pair<const char*, int> words[] = {{"USES", 1},   {"sysutils", 6}, {"Classes", 16},
                                                 {"forms", 24}, {"Dialogs", 33}, {"Dialog", -1},
                                                 {"", -1}};
    for (auto [word, pos] : words) EXPECT_EQ(WordPos(line, word, " ,;"), pos) << word;
    EXPECT_EQ(WordPos("", "x", " ,;"), -1);

    const std::string s = "  one two  three";
    int pos = 1;
    EXPECT_EQ(GetWord(3, s, " ", pos), "three");
    EXPECT_EQ(pos, 12);
    pos = 7;
    EXPECT_EQ(GetWord(1, s, " ", pos), "two");
    EXPECT_EQ(pos, 7);
    pos = -5;  // outside: from the start
    EXPECT_EQ(GetWord(2, s, " ", pos), "two");
    pos = 100;
    EXPECT_EQ(GetWord(1, s, " ", pos), "one");
    EXPECT_EQ(pos, 3);
    pos = 1;
    EXPECT_EQ(GetWord(4, s, " ", pos), "");
    EXPECT_EQ(GetWord(0, s, " ", pos), "");
    EXPECT_EQ(GetWord(1, "", " ", pos), "");
}

TEST(Text, PositionsLineBreaksAndPadding) {
    EXPECT_EQ(PosFrom("ab", "xabyab", 1), 2);
    EXPECT_EQ(PosFrom("ab", "xabyab", 3), 5);
    EXPECT_EQ(PosFrom("ab", "xabyab", 6), 0);
    EXPECT_EQ(PosFrom("", "xab", 1), 0);
    EXPECT_EQ(PosText("РИВ"_a, "Привет"_a), 2);
    EXPECT_EQ(PosText("x", "abc"), 0);
    EXPECT_TRUE(HasWildcards("a?"));
    EXPECT_FALSE(HasWildcards("abc"));

    EXPECT_EQ(ExpandLineBreaks("a\\nb"), "a\r\nb");
    EXPECT_EQ(ExpandLineBreaks("a\\\\nb"), "a\\\\nb");
    EXPECT_EQ(ExpandLineBreaks("\\n\\n"), "\r\n\r\n");
    EXPECT_EQ(ExpandLineBreaks("end\\"), "end\\");

    EXPECT_EQ(PadLeft("ab", 4), "  ab");
    EXPECT_EQ(PadRight("ab", 4), "ab  ");
    EXPECT_EQ(PadCenter("ab", 5), "  ab ");
    EXPECT_EQ(PadCenter("ab", 6), "  ab  ");
    EXPECT_EQ(PadLeft("abcdef", 3), "abc");
    EXPECT_EQ(PadCenter("abcdef", 3), "abc");
    EXPECT_EQ(PadRight("ab", 0), "");
}

TEST(Text, DateArithmetic) {
    int y, m, d;
    DecodeDate(EncodeDate(2024, 2, 29) + 0.75, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
    DecodeDate(-1.0, y, m, d);  // the day before day 0
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    EXPECT_EQ(DateText(EncodeDate(2024, 3, 7)), "07.03.2024");
    DecodeDate(EncodeDate(2000, 1, 1) + EncodeTime(23, 59, 59, 999), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
}

TEST(Text, FloatTextIsShortestWithTheDecimalSeparator) {
    const char saved = DecimalSeparator();
    SetDecimalSeparator('.');
    const std::pair<double, std::string> rows[] = {
        {1.5, "1.5"},   {0.1, "0.1"},         {1.0 / 3, "0.333333333333333"},
        {1e20, "1E20"}, {-2.5e-7, "-2.5E-7"}, {100.0, "100"},
    };
    for (const auto& [value, text] : rows) EXPECT_EQ(FloatText(value), text) << text;
    SetDecimalSeparator(',');
    EXPECT_EQ(FloatText(1.25), "1,25");
    SetDecimalSeparator(saved);
}

TEST(Lists, OemConversionAndBlankness) {
    TStringList list;
    list.Add("АБВ абв"_a);
    list.Add("plain");
    ListToOem(list);
    EXPECT_EQ(list[0], "\x80\x81\x82 \xA0\xA1\xA2");
    EXPECT_EQ(list[1], "plain");

    TStringList blank;
    EXPECT_TRUE(AllBlank(blank));
    blank.Add("  ");
    blank.Add("\t");
    EXPECT_TRUE(AllBlank(blank));
    blank.Add(" x ");
    EXPECT_FALSE(AllBlank(blank));
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
}

}  // namespace
}  // namespace hv
