// String and text functions. Text is 1251; positions are 1-based, 0 (or -1
// where stated) meaning "not found"; upper case is the 1251 upper case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "util/Object.h"
#include "util/StringList.h"
#include "util/Variant.h"

namespace hv {

// Surrounding characters up to the blank (controls included) removed.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

bool HasWildcards(std::string_view s);

// Wildcard match of a file name: '*' any run, '?' any one character.
bool MatchMask(const std::string& name, const std::string& mask, bool ignoreCase = true);

// Tokens of S split at the characters of Delims. With KeepDelims the runs of
// delimiters are tokens too, so that the tokens joined give S back.
std::unique_ptr<TStringList> SplitTokens(std::string_view s, std::string_view delims,
                                         bool keepDelims);
// Position of the first word of S equal to Word ignoring case, or -1.
int WordPos(std::string_view s, std::string_view word, std::string_view delims);
// "\n" (two characters) becomes CR LF, unless the '\' follows another '\'.
std::string ExpandLineBreaks(std::string_view s);
// Every string blank after trimming (also for an empty list).
bool AllBlank(const TStringList& list);

// Centred in W blanks, the odd blank on the left; a longer S is cut to its
// first W characters.
std::string PadCenter(std::string_view s, int width);

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
// Decimal separator used for floating-point text: that of the user's locale
// unless set.
char DecimalSeparator();
void SetDecimalSeparator(char c);
// Shortest decimal text with up to Precision significant digits ("1.5",
// "0.333333333333333", "1E20").
std::string FloatText(double value, int precision = 15);

// One element of a heterogeneous argument list. The constructors are
// implicit on purpose: {1, "x", obj} builds a list of arguments.
class TArg {
  public:
    struct Pointer {
        const void* p;
    };
    struct WideChar {
        char32_t c;
    };
    struct Extended {
        long double v;
    };
    using Value = std::variant<std::monostate, int64_t, bool, char, WideChar, std::wstring,
                               Extended, TCurrency, std::string, Pointer, TVarValue>;

    TArg() = default;  // "(Unknown)"
    TArg(int v) : v_(int64_t{v}) {}
    TArg(long v) : v_(int64_t{v}) {}
    TArg(long long v) : v_(int64_t{v}) {}
    TArg(bool v) : v_(v) {}
    TArg(char v) : v_(v) {}
    TArg(char32_t v) : v_(WideChar{v}) {}
    TArg(wchar_t v) : v_(WideChar{static_cast<char32_t>(v)}) {}
    TArg(std::wstring v) : v_(std::move(v)) {}
    TArg(const wchar_t* v) : v_(std::wstring(v ? v : L"")) {}
    TArg(double v) : v_(Extended{v}) {}
    TArg(long double v) : v_(Extended{v}) {}
    TArg(TCurrency v) : v_(v) {}
    TArg(const char* v) : v_(std::string(v ? v : "")) {}
    TArg(std::string v) : v_(std::move(v)) {}
    TArg(const void* v) : v_(Pointer{v}) {}
    TArg(std::nullptr_t) : v_(Pointer{nullptr}) {}
    TArg(TVarValue v) : v_(std::move(v)) {}

    const Value& Get() const { return v_; }

  private:
    Value v_;
};

// Converts every string of List in place between 1251 and the DOS code page.
void ListToOem(TStringList& list);

}  // namespace hv
