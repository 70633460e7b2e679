// The rules of the value input window: keystroke filters and conversions
// beyond what typing into the window shows.
#include <gtest/gtest.h>

#include <clocale>

#include "dialogs/ValueInput.h"

namespace hv {
namespace {

// Typed key by key through the filter: the text and the number of dropped keys.
std::pair<std::string, int> TypeThrough(int kind, const std::string& keys) {
    std::string text;
    int beeps = 0;
    for (char c : keys) {
        char put = FilterValueChar(kind, text, c);
        if (put == 0)
            ++beeps;
        else if (put == kBackspace)
            text.empty() ? void() : text.pop_back();
        else
            text += put;
    }
    return {text, beeps};
}

TEST(ValueInput, KeystrokeFilters) {
    struct Row {
        const char* name;
        int kind;
        std::string keys, text;
        int beeps;
    } rows[] = {
        {"integer takes signs", kValueInteger, "-+5", "-+5", 0},
        {"real: a second separator is dropped", kValueReal, "3,1,4.", "3.14", 2},
        {"date: month 13 refused at the separator", kValueDate, "12.13.", "12.13", 1},
        {"date: a full date", kValueDate, "1.2.2024", "1.2.2024", 0},
        {"date: a fifth year digit", kValueDate, "1.2.20245", "1.2.2024", 1},
        {"date: slash and comma become points", kValueDate, "1/2,2024", "1.2.2024", 0},
        {"date: a third digit of the day", kValueDate, "123", "12", 1},
        {"date: no separator first or doubled", kValueDate, ".1..", "1.", 2},
        {"date: backspace then retype", kValueDate, "3\b1.", "1.", 0},
        {"unknown kind is text", 42, "x/y", "x/y", 0},
    };
    for (const Row& r : rows) {
        auto [text, beeps] = TypeThrough(r.kind, r.keys);
        EXPECT_EQ(text, r.text) << r.name;
        EXPECT_EQ(beeps, r.beeps) << r.name;
    }
}

TEST(ValueInput, Conversions) {
    // A locale with a decimal comma must change nothing.
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    const std::string savedLocale = saved ? saved : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    struct Row {
        const char* name;
        int kind;
        std::string text;
        bool ok;
        double number;  // integer, real, or the date as days
    } rows[] = {
        {"integer with plus", kValueInteger, "+7", true, 7},
        {"negative integer", kValueInteger, "-2147483648", true, -2147483648.0},
        {"32-bit overflow is no number", kValueInteger, "2147483648", false, 0},
        {"far overflow", kValueInteger, "99999999999999999999", false, 0},
        {"sign inside", kValueInteger, "1-2", false, 0},
        {"real with a point", kValueReal, "3.14", true, 3.14},
        {"real, pasted comma", kValueReal, "2,5", true, 2.5},
        {"real, two points", kValueReal, "1.2.3", false, 0},
        {"real, point alone", kValueReal, ".", false, 0},
        {"date day.month.year", kValueDate, "1.2.2024", true, EncodeDate(2024, 2, 1)},
        {"date, two-digit year", kValueDate, "31.12.99", true, EncodeDate(1999, 12, 31)},
        {"date that does not exist", kValueDate, "31.2.2024", false, 0},
        {"date without a year", kValueDate, "1.2.", false, 0},
    };
    for (const Row& r : rows) {
        TVarValue v;
        ASSERT_EQ(ConvertValue(r.kind, r.text, v), r.ok) << r.name;
        if (r.ok) {
            EXPECT_DOUBLE_EQ(v.AsDouble(), r.number) << r.name;
        }
    }
    std::setlocale(LC_NUMERIC, savedLocale.c_str());
    TVarValue text;
    ASSERT_TRUE(ConvertValue(kValuePassword, "s3cret", text));
    EXPECT_EQ(text.AsText(), "s3cret");
}

TEST(ValueInput, EditTextOfTheCurrentValue) {
    EXPECT_EQ(ValueText(kValueInteger, TVarValue::Int32(-5)), "-5");
    EXPECT_EQ(ValueText(kValueReal, TVarValue::Double(0.5)), "0.5");
    EXPECT_EQ(ValueText(kValueDate, TVarValue::Date(EncodeDate(2024, 2, 1))), "01.02.2024");
    EXPECT_EQ(ValueText(kValuePassword, TVarValue::Text("secret")), "");
    EXPECT_EQ(ValueText(kValueText, TVarValue()), "");
}

}  // namespace
}  // namespace hv
