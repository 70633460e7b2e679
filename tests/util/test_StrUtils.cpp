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
    EXPECT_EQ(Pad0(TVarValue::Int32(42), 5), "00042");
    EXPECT_EQ(Pad0(TVarValue::Int8(7), 2), "07");
    EXPECT_EQ(Pad0(TVarValue::Text("123456"), 3), "123");
    EXPECT_EQ(Pad0(TVarValue::Text("9"), 3), "009");
}

TEST(Text, ConversionsOfTheWrongKindAreRefused) {
    for (const char* bad : {"2024021", "202402291", "", "2024-2-1", "20241301", "20230229"})
        EXPECT_THROW(DateFromText(bad), EConvertError) << bad;
    EXPECT_THROW(Pad0(TVarValue::Double(1.5), 4), EConvertError);
    EXPECT_THROW(ValueText(TVarValue()), EConvertError);
    EXPECT_THROW(MaxValue(TVarValue(1), TVarValue("1")), EConvertError);
    EXPECT_THROW(EQ(TVarValue(1), TVarValue::Int16(1)), EConvertError);
    EXPECT_THROW(MinValue(TVarValue(true), TVarValue(1)), EConvertError);
}

TEST(Text, DateFromTextAndDateArithmetic) {
    EXPECT_EQ(DateFromText("18991230"), 0.0);
    EXPECT_EQ(DateFromText("19000101"), 2.0);
    EXPECT_EQ(DateFromText("20240229"), EncodeDate(2024, 2, 29));
    int y, m, d;
    DecodeDate(DateFromText("20240229") + 0.75, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
    DecodeDate(-1.0, y, m, d);  // the day before day 0
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    EXPECT_EQ(DateText(EncodeDate(2024, 3, 7)), "07.03.2024");
    int h, mi, s, ms;
    DecodeTime(EncodeDate(2000, 1, 1) + EncodeTime(13, 45, 30, 500), h, mi, s, ms);
    EXPECT_EQ((std::array<int, 4>{h, mi, s, ms}), (std::array<int, 4>{13, 45, 30, 500}));
    EXPECT_EQ(UnixFromDateTime(DateTimeFromUnix(1700000000)), 1700000000);
}

class ValueTextTest : public ::testing::Test {
  protected:
    void SetUp() override { SetDecimalSeparator('.'); }
    void TearDown() override { SetDecimalSeparator(saved_); }
    char saved_ = DecimalSeparator();
};

TEST_F(ValueTextTest, EveryType) {
    const std::pair<TVarValue, std::string> rows[] = {
        {TVarValue(true), ".T."},
        {TVarValue(false), ".F."},
        {TVarValue::Int8(-128), "-128"},
        {TVarValue::Int16(32767), "32767"},
        {TVarValue(-2147483647 - 1), "-2147483648"},
        {TVarValue(1.5), "1.5"},
        {TVarValue(0.1), "0.1"},
        {TVarValue(1.0 / 3), "0.333333333333333"},
        {TVarValue(1e20), "1E20"},
        {TVarValue(-2.5e-7), "-2.5E-7"},
        {TVarValue(100.0), "100"},
        {TVarValue::Single(0.1f), "0.1"},
        {TVarValue::Currency(TCurrency{12345678}), "1234.5678"},
        {TVarValue::Currency(TCurrency{-15000}), "-1.5"},
        {TVarValue::Currency(TCurrency{20000}), "2"},
        {TVarValue::Date(EncodeDate(1999, 12, 31)), "31.12.1999"},
        {TVarValue("Текст"_a), "Текст"_a},
        {TVarValue::Null(), "???"},
    };
    for (const auto& [value, text] : rows) EXPECT_EQ(ValueText(value), text);
    SetDecimalSeparator(',');
    EXPECT_EQ(ValueText(TVarValue(1.25)), "1,25");
    EXPECT_EQ(ValueText(TVarValue::Currency(TCurrency{5})), "0,0005");
}

TEST_F(ValueTextTest, MaxMinAndEquality) {
    EXPECT_EQ(MaxValue(TVarValue(3), TVarValue(7)).AsInteger(), 7);
    EXPECT_EQ(MinValue(TVarValue(3), TVarValue(7)).AsInteger(), 3);
    EXPECT_EQ(MaxValue(TVarValue(2.5), TVarValue(-1.0)).AsDouble(), 2.5);
    EXPECT_EQ(MaxValue(TVarValue("abc"), TVarValue("ABD")).AsText(), "ABD");
    // Ё sorts after Е in the alphabet, not by its code.
    EXPECT_EQ(MaxValue(TVarValue("Ёж"_a), TVarValue("Ель"_a)).AsText(), std::string("Ёж"_a));
    EXPECT_TRUE(EQ(TVarValue("привет"_a), TVarValue("ПРИВЕТ"_a)));
    EXPECT_FALSE(EQ(TVarValue("a"), TVarValue("b")));
    EXPECT_TRUE(EQ(TVarValue(0.5), TVarValue(0.5)));
    EXPECT_TRUE(EQ(TVarValue::Currency(TCurrency{1}), TVarValue::Currency(TCurrency{1})));
    EXPECT_FALSE(EQ(TVarValue::Date(1.0), TVarValue::Date(2.0)));
    EXPECT_TRUE(EQ(TVarValue(), TVarValue()));
}

class Base : public TObject {};
class Derived : public Base {};
class Other : public TObject {};

TEST_F(ValueTextTest, ArgTextOfEachKind) {
    const std::pair<TArg, std::string> rows[] = {
        {42, "42"},
        {true, ".T."},
        {'x', "x"},
        {L'Ж', "Ж"_a},
        {std::wstring(L"Дом"), "Дом"_a},
        {2.5, "2.5"},
        {TCurrency{25000}, "2.5"},
        {"text", "text"},
        {nullptr, "Ptr=nil"},
        {static_cast<const TObject*>(nullptr), "Obj=null"},
        {TVarValue(), "EmptyVariant"},
        {TVarValue::Null(), "NullVariant"},
        {TVarValue(7), "7"},
        {TArg(), "(Unknown)"},
    };
    for (const auto& [arg, text] : rows) EXPECT_EQ(ArgText(arg), text);
    EXPECT_EQ(ArgText(TVarValue::Null(), "<null>"), "<null>");
    int x = 0;
    EXPECT_EQ(ArgText(static_cast<const void*>(&x)).substr(0, 4), "Ptr=");
    Derived obj;
    const std::string objText = ArgText(&obj);
    EXPECT_EQ(objText.substr(0, 4), "Obj=");
    EXPECT_GE(objText.size(), 12u);
    EXPECT_EQ(ArgText(ClassOf<Derived>()).substr(0, 6), "Class=");
}

TEST(Classes, IndexOfClassAndInt) {
    Derived d;
    Other o;
    Base b;
    const TClass classes[] = {TClass{}, ClassOf<Other>(), ClassOf<Base>(), ClassOf<Derived>()};
    EXPECT_EQ(IndexOfClass(&d, classes), 2);  // a descendant of Base, found first
    EXPECT_EQ(IndexOfClass(&o, classes), 1);
    EXPECT_EQ(IndexOfClass(nullptr, classes), -1);
    EXPECT_EQ(IndexOfClass(&b, std::array{ClassOf<Derived>()}), -1);
    EXPECT_EQ(IndexOfInt(7, std::array{5, 7, 7}), 1);
    EXPECT_EQ(IndexOfInt(8, std::array{5, 7, 7}), -1);
}

TEST(Lists, OemConversionAndBlankness) {
    TStringList list;
    list.Add("АБВ абв"_a);
    list.Add("plain");
    ListToOem(list);
    EXPECT_EQ(list[0], "\x80\x81\x82 \xA0\xA1\xA2");
    EXPECT_EQ(list[1], "plain");
    ListToAnsi(list);
    EXPECT_EQ(list[0], std::string("АБВ абв"_a));

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
