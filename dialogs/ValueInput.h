// The rules of the value input window (TFormGet), free of Qt: which
// keystrokes each value kind takes, its length limit, and how its text
// converts. Texts are 1251.
#pragma once

#include <string>
#include <string_view>

#include "util/Variant.h"

namespace hv {

enum : int {
    kValueText = 1,
    kValueInteger = 3,
    kValueReal = 6,
    kValueDate = 8,
    kValuePassword = 13,
};

// Kinds other than the five behave as text.
int NormalizeValueKind(int kind);
// 9, 14 or 10 characters for integer, real and date; 0 (none) otherwise.
int ValueLengthLimit(int kind);

constexpr char kBackspace = '\b';
// The character a keystroke C puts into Text, or 0 when it is dropped (with a
// beep). A real number's "," or "." becomes the one "."; a date separator
// becomes "." where the date rules allow it. Backspace always passes.
char FilterValueChar(int kind, std::string_view text, char c);

// Converts the answer: integer (32 bits; an overflow fails), real number
// with "." whatever the locale, date as day.month.year (a one- or two-digit
// year is taken in 1950..2049) that must exist, text as it stands. False when
// it does not convert.
bool ConvertValue(int kind, const std::string& text, TVarValue& out);
// The edit text of a current value (empty for a password).
std::string ValueText(int kind, const TVarValue& value);

}  // namespace hv
