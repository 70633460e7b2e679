#include <gtest/gtest.h>

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

TEST(Words, SplitTokensAndWordPos) {
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
}

// Line breaks, padding, OEM lists and blank batches are the message and run
// tests' business; the date texts those of the settings file.
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

}  // namespace
}  // namespace hv
