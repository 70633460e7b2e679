#include "util/StrUtils.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "util/Exception.h"

namespace hv {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool IsDelim(char c, std::string_view delims) {
    return delims.find(c) != std::string_view::npos;
}

// Seg against Name from Pos on, '?' standing for any character.
bool SegmentAt(std::string_view name, size_t pos, std::string_view seg) {
    if (pos + seg.size() > name.size()) return false;
    for (size_t k = 0; k < seg.size(); ++k)
        if (seg[k] != '?' && seg[k] != name[pos + k]) return false;
    return true;
}

size_t FindSegment(std::string_view name, size_t from, std::string_view seg) {
    if (seg.find('?') == std::string_view::npos) return name.find(seg, from);
    for (size_t p = from; p + seg.size() <= name.size(); ++p)
        if (SegmentAt(name, p, seg)) return p;
    return std::string_view::npos;
}

std::string Utf8OfCodePoint(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += '?';
    }
    return out;
}

std::string HexAddress(const char* prefix, const void* p) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s%08llX", prefix,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

char LocaleDecimalSeparator() {
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
    if (!loc) return '.';
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    char c = radix && radix[0] && !radix[1] ? radix[0] : '.';
    freelocale(loc);
    return c;
}

char gDecimalSeparator = 0;

// Order of two values of the same type; 0 for empty and null.
int CompareSameType(const TVarValue& a, const TVarValue& b) {
    auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (a.Type()) {
        case TVarType::Empty:
        case TVarType::Null:
            return 0;
        case TVarType::Boolean:
            return cmp(a.AsBoolean(), b.AsBoolean());
        case TVarType::Int8:
        case TVarType::Int16:
        case TVarType::Int32:
            return cmp(a.AsInteger(), b.AsInteger());
        case TVarType::Currency:
            return cmp(a.AsCurrency().scaled, b.AsCurrency().scaled);
        case TVarType::Single:
        case TVarType::Double:
        case TVarType::Date:
            return cmp(a.AsDouble(), b.AsDouble());
        case TVarType::Text: {
            int c = AnsiCollateText(a.AsText(), b.AsText());
            return c != 0 ? c : a.AsText().compare(b.AsText());
        }
    }
    return 0;
}

}  // namespace

std::string Trim(std::string_view s) {
    return TrimLeft(TrimRight(s));
}

std::string TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return std::string(s.substr(0, n));
}

int PosFrom(std::string_view sub, std::string_view s, int start) {
    if (sub.empty()) return 0;
    if (start < 1) start = 1;
    if (static_cast<size_t>(start) > s.size()) return 0;
    size_t p = s.find(sub, static_cast<size_t>(start - 1));
    return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

int PosText(std::string_view sub, std::string_view s) {
    if (sub.empty()) return 0;
    size_t p = AnsiUpper(s).find(AnsiUpper(sub));
    return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

bool HasWildcards(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

bool MatchMask(const std::string& nameIn, const std::string& maskIn, bool ignoreCase) {
    if (maskIn == nameIn) return true;
    std::string mask;
    mask.reserve(maskIn.size());
    for (char c : maskIn)
        if (!(c == '*' && !mask.empty() && mask.back() == '*')) mask += c;
    if (mask == "*") return true;
    std::string name = ignoreCase ? AnsiUpper(nameIn) : nameIn;
    if (ignoreCase) mask = AnsiUpper(mask);
    if (name.empty() || mask.empty()) return false;

    const size_t n = name.size(), m = mask.size();
    size_t i = 0, j = 0;
    while (i < n && j < m) {
        if (mask[j] == '*') {
            size_t next = mask.find('*', j + 1);
            if (next == std::string::npos) {
                std::string_view seg = std::string_view(mask).substr(j + 1);
                if (seg.empty()) return true;
                // The tail must lie at or after what is already matched.
                if (seg.size() > n - i) return false;
                return SegmentAt(name, n - seg.size(), seg);
            }
            std::string_view seg = std::string_view(mask).substr(j + 1, next - j - 1);
            size_t at = FindSegment(name, i, seg);
            if (at == std::string::npos) return false;
            i = at + seg.size();
            j = next;
        } else if (mask[j] == '?' || mask[j] == name[i]) {
            ++i;
            ++j;
        } else {
            return false;
        }
    }
    if (i < n) return false;
    // What is left of the mask can match nothing but an empty rest.
    return j == m || (j + 1 == m && mask[j] == '*');
}

std::unique_ptr<TStringList> SplitTokens(std::string_view s, std::string_view delims,
                                         bool keepDelims) {
    auto list = std::make_unique<TStringList>();
    size_t i = 0;
    while (i < s.size()) {
        bool delim = IsDelim(s[i], delims);
        if (delim && !keepDelims) {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < s.size() && IsDelim(s[i], delims) == delim) ++i;
        list->Add(std::string(s.substr(start, i - start)));
    }
    return list;
}

std::string GetWord(int n, std::string_view s, std::string_view delims, int& pos) {
    if (n < 1 || s.empty()) return {};
    if (pos < 1 || static_cast<size_t>(pos) > s.size()) pos = 1;
    size_t i = static_cast<size_t>(pos - 1);
    for (int k = 1;; ++k) {
        while (i < s.size() && IsDelim(s[i], delims)) ++i;
        if (i >= s.size()) return {};
        size_t start = i;
        while (i < s.size() && !IsDelim(s[i], delims)) ++i;
        if (k == n) {
            pos = static_cast<int>(start) + 1;
            return std::string(s.substr(start, i - start));
        }
    }
}

int WordPos(std::string_view s, std::string_view word, std::string_view delims) {
    size_t i = 0;
    for (;;) {
        while (i < s.size() && IsDelim(s[i], delims)) ++i;
        if (i >= s.size()) return -1;
        size_t start = i;
        while (i < s.size() && !IsDelim(s[i], delims)) ++i;
        if (SameText(s.substr(start, i - start), word)) return static_cast<int>(start) + 1;
    }
}

std::string ExpandLineBreaks(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n' && !(i > 0 && s[i - 1] == '\\')) {
            out += "\r\n";
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool AllBlank(const TStringList& list) {
    for (int i = 0; i < list.Count(); ++i)
        if (!Trim(list[i]).empty()) return false;
    return true;
}

std::string PadLeft(std::string_view s, int width) {
    if (width <= 0) return {};
    size_t w = static_cast<size_t>(width);
    if (s.size() >= w) return std::string(s.substr(0, w));
    return std::string(w - s.size(), ' ') + std::string(s);
}

std::string PadRight(std::string_view s, int width) {
    if (width <= 0) return {};
    size_t w = static_cast<size_t>(width);
    if (s.size() >= w) return std::string(s.substr(0, w));
    return std::string(s) + std::string(w - s.size(), ' ');
}

std::string PadCenter(std::string_view s, int width) {
    if (width <= 0) return {};
    size_t w = static_cast<size_t>(width);
    if (s.size() >= w) return std::string(s.substr(0, w));
    size_t total = w - s.size();
    size_t left = total - total / 2;
    return std::string(left, ' ') + std::string(s) + std::string(total / 2, ' ');
}

std::string Pad0(const TVarValue& value, int width) {
    std::string text;
    if (value.IsInteger())
        text = std::to_string(value.AsInteger());
    else if (value.Type() == TVarType::Text)
        text = value.AsText();
    else
        throw EConvertError("Pad0: Неверный тип данных"_a);
    if (width <= 0) return {};
    size_t w = static_cast<size_t>(width);
    if (text.size() >= w) return text.substr(0, w);
    return std::string(w - text.size(), '0') + text;
}

TDateTime DateFromText(std::string_view s) {
    const char* kError = "S to D: Conversion Error";
    if (s.size() != 8 || !std::all_of(s.begin(), s.end(), IsDigit)) throw EConvertError(kError);
    auto num = [&](size_t from, size_t len) {
        int v = 0;
        for (size_t k = from; k < from + len; ++k) v = v * 10 + (s[k] - '0');
        return v;
    };
    TDateTime out;
    if (!TryEncodeDate(num(0, 4), num(4, 2), num(6, 2), out)) throw EConvertError(kError);
    return out;
}

char DecimalSeparator() {
    if (!gDecimalSeparator) gDecimalSeparator = LocaleDecimalSeparator();
    return gDecimalSeparator;
}

void SetDecimalSeparator(char c) {
    gDecimalSeparator = c;
}

std::string FloatText(double value, int precision) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", precision, value);
    std::string s = buf;
    size_t e = s.find('E');
    if (e != std::string::npos) {
        // "1E+20" -> "1E20", "1E-05" -> "1E-5"
        std::string mant = s.substr(0, e);
        bool neg = s[e + 1] == '-';
        size_t d = e + 2;
        while (d + 1 < s.size() && s[d] == '0') ++d;
        s = mant + "E" + (neg ? "-" : "") + s.substr(d);
    }
    char sep = DecimalSeparator();
    if (sep != '.') std::replace(s.begin(), s.end(), '.', sep);
    return s;
}

std::string CurrencyText(TCurrency value) {
    uint64_t mag = value.scaled < 0 ? 0 - static_cast<uint64_t>(value.scaled)
                                    : static_cast<uint64_t>(value.scaled);
    std::string s = (value.scaled < 0 ? "-" : "") + std::to_string(mag / 10000);
    unsigned frac = static_cast<unsigned>(mag % 10000);
    if (frac) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04u", frac);
        std::string f = buf;
        while (f.back() == '0') f.pop_back();
        s += DecimalSeparator();
        s += f;
    }
    return s;
}

std::string ValueText(const TVarValue& v) {
    switch (v.Type()) {
        case TVarType::Boolean:
            return v.AsBoolean() ? ".T." : ".F.";
        case TVarType::Int8:
        case TVarType::Int16:
        case TVarType::Int32:
            return std::to_string(v.AsInteger());
        case TVarType::Single:
            return FloatText(v.AsDouble(), 7);
        case TVarType::Double:
            return FloatText(v.AsDouble(), 15);
        case TVarType::Currency:
            return CurrencyText(v.AsCurrency());
        case TVarType::Date:
            return DateText(v.AsDate());
        case TVarType::Text:
            return v.AsText();
        case TVarType::Null:
            return "???";
        case TVarType::Empty:
            break;
    }
    throw EConvertError("xStr: Ошибка преобразования в строку"_a);
}

TVarValue MaxValue(const TVarValue& a, const TVarValue& b) {
    if (a.Type() != b.Type()) throw EConvertError("Max(): Разные типы переменных"_a);
    return CompareSameType(a, b) > 0 ? a : b;
}

TVarValue MinValue(const TVarValue& a, const TVarValue& b) {
    if (a.Type() != b.Type()) throw EConvertError("Min(): Разные типы переменных"_a);
    return CompareSameType(a, b) < 0 ? a : b;
}

bool EQ(const TVarValue& a, const TVarValue& b) {
    if (a.Type() != b.Type()) throw EConvertError("EQ(): Разные типы переменных"_a);
    if (a.Type() == TVarType::Text) return SameText(a.AsText(), b.AsText());
    return CompareSameType(a, b) == 0;
}

std::string ArgText(const TArg& arg, const std::string& nullText) {
    struct Visitor {
        const std::string& nullText;
        std::string operator()(std::monostate) const { return "(Unknown)"; }
        std::string operator()(int64_t v) const { return std::to_string(v); }
        std::string operator()(bool v) const { return v ? ".T." : ".F."; }
        std::string operator()(char v) const { return std::string(1, v); }
        std::string operator()(TArg::WideChar v) const { return Utf8ToAnsi(Utf8OfCodePoint(v.c)); }
        std::string operator()(const std::wstring& v) const {
            std::string utf8;
            for (wchar_t c : v) utf8 += Utf8OfCodePoint(static_cast<char32_t>(c));
            return Utf8ToAnsi(utf8);
        }
        std::string operator()(TArg::Extended v) const {
            return FloatText(static_cast<double>(v.v), 15);
        }
        std::string operator()(TCurrency v) const { return CurrencyText(v); }
        std::string operator()(const std::string& v) const { return v; }
        std::string operator()(TArg::Pointer v) const {
            return v.p ? HexAddress("Ptr=", v.p) : "Ptr=nil";
        }
        std::string operator()(const TObject* v) const {
            return v ? HexAddress("Obj=", v) : "Obj=null";
        }
        std::string operator()(const TClass& v) const { return HexAddress("Class=", v.type); }
        std::string operator()(const TVarValue& v) const {
            if (v.IsEmpty()) return "EmptyVariant";
            if (v.IsNull()) return nullText;
            return ValueText(v);
        }
    };
    return std::visit(Visitor{nullText}, arg.Get());
}

void ListToOem(TStringList& list) {
    list.Transform([](const std::string& s) { return AnsiToOem(s); });
}

void ListToAnsi(TStringList& list) {
    list.Transform([](const std::string& s) { return OemToAnsi(s); });
}

int IndexOfClass(const TObject* obj, std::span<const TClass> classes) {
    if (!obj) return -1;
    for (size_t i = 0; i < classes.size(); ++i)
        if (!classes[i].Empty() && classes[i].InheritsFrom(obj)) return static_cast<int>(i);
    return -1;
}

int IndexOfInt(int value, std::span<const int> values) {
    for (size_t i = 0; i < values.size(); ++i)
        if (values[i] == value) return static_cast<int>(i);
    return -1;
}

}  // namespace hv
