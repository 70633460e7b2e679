// Code pages: the system's text is Windows-1251 ("ANSI"); DOS programs get
// CP866 ("OEM"); Linux names, arguments and the environment are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace hv {

// UTF-8 -> 1251. Characters that 1251 cannot hold become '?'.
std::string Utf8ToAnsi(std::string_view s);
// 1251 -> UTF-8.
std::string AnsiToUtf8(std::string_view s);
std::string AnsiToOem(std::string_view s);
std::string OemToAnsi(std::string_view s);
std::string OemToUtf8(std::string_view s);
std::string Utf8ToOem(std::string_view s);

// ANSI (1251) letter case.
char AnsiUpperChar(char c);
char AnsiLowerChar(char c);
std::string AnsiUpper(std::string_view s);
// Case-insensitive comparison in 1251 (<0, 0, >0), byte order after upper-casing.
int AnsiCompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// Locale-like ordering used by sorted string lists: case-insensitive, letters
// of the Cyrillic alphabet in alphabetical order (Ё after Е).
int AnsiCollateText(std::string_view a, std::string_view b);

}  // namespace hv
