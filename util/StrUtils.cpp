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

char LocaleDecimalSeparator() {
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
    if (!loc) return '.';
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    char c = radix && radix[0] && !radix[1] ? radix[0] : '.';
    freelocale(loc);
    return c;
}

char gDecimalSeparator = 0;

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

std::string PadCenter(std::string_view s, int width) {
    if (width <= 0) return {};
    size_t w = static_cast<size_t>(width);
    if (s.size() >= w) return std::string(s.substr(0, w));
    size_t total = w - s.size();
    size_t left = total - total / 2;
    return std::string(left, ' ') + std::string(s) + std::string(total / 2, ' ');
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

void ListToOem(TStringList& list) {
    list.Transform([](const std::string& s) { return AnsiToOem(s); });
}

}  // namespace hv
