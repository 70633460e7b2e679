#include "dialogs/ValueInput.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace hv {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit);
}

std::vector<std::string_view> SplitDots(std::string_view s) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == '.') {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// A date part typed so far, as a number; a part that is no number is too large.
int PartValue(std::string_view part) {
    if (!AllDigits(part) || part.size() > 4) return std::numeric_limits<int>::max();
    int v = 0;
    for (char c : part) v = v * 10 + (c - '0');
    return v;
}

char FilterDate(std::string_view text, char c) {
    const size_t dots = static_cast<size_t>(std::count(text.begin(), text.end(), '.'));
    const std::vector<std::string_view> parts = SplitDots(text);
    if (c == ',' || c == '.' || c == '/') {
        if (text.size() >= 10 || text.empty() || dots >= 2 || text.back() == '.') return 0;
        if (dots == 0 && PartValue(parts[0]) > 31) return 0;
        if (dots == 1 && PartValue(parts[1]) > 12) return 0;
        return '.';
    }
    if (!IsDigit(c)) return 0;
    const size_t limit = dots < 2 ? 2 : 4;
    return parts.back().size() < limit ? c : 0;
}

// An optional sign followed by the rest; a '+' is dropped for from_chars.
std::string_view DropPlus(std::string_view s) {
    if (s.size() > 1 && s[0] == '+' && s[1] != '-' && s[1] != '+') s.remove_prefix(1);
    return s;
}

bool ParseInt32(std::string_view s, int32_t& out) {
    s = DropPlus(s);
    if (s.empty()) return false;
    int64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool ParseReal(std::string s, double& out) {
    if (s.find('.') == std::string::npos) std::replace(s.begin(), s.end(), ',', '.');
    std::string_view v = DropPlus(s);
    if (v.empty() || v == "." || v == "-.") return false;
    for (char c : v)
        if (!IsDigit(c) && c != '.' && c != '-') return false;
    double d = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (ec != std::errc() || end != v.data() + v.size() || !std::isfinite(d)) return false;
    out = d;
    return true;
}

bool ParseDate(std::string s, TDateTime& out) {
    std::replace(s.begin(), s.end(), ',', '.');
    std::replace(s.begin(), s.end(), '/', '.');
    const std::vector<std::string_view> parts = SplitDots(s);
    if (parts.size() != 3) return false;
    if (!AllDigits(parts[0]) || !AllDigits(parts[1]) || !AllDigits(parts[2])) return false;
    if (parts[0].size() > 2 || parts[1].size() > 2 || parts[2].size() > 4) return false;
    int day = PartValue(parts[0]), month = PartValue(parts[1]), year = PartValue(parts[2]);
    if (parts[2].size() <= 2) year += year < 50 ? 2000 : 1900;
    return TryEncodeDate(year, month, day, out);
}

std::string RealText(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

}  // namespace

int NormalizeValueKind(int kind) {
    switch (kind) {
        case kValueInteger:
        case kValueReal:
        case kValueDate:
        case kValuePassword:
            return kind;
        default:
            return kValueText;
    }
}

int ValueLengthLimit(int kind) {
    switch (NormalizeValueKind(kind)) {
        case kValueInteger:
            return 9;
        case kValueReal:
            return 14;
        case kValueDate:
            return 10;
        default:
            return 0;
    }
}

char FilterValueChar(int kind, std::string_view text, char c) {
    if (c == kBackspace) return c;
    switch (NormalizeValueKind(kind)) {
        case kValueInteger:
            return IsDigit(c) || c == '+' || c == '-' ? c : 0;
        case kValueReal:
            if (c == ',' || c == '.') return text.find('.') == std::string_view::npos ? '.' : 0;
            return IsDigit(c) || c == '+' || c == '-' ? c : 0;
        case kValueDate:
            return FilterDate(text, c);
        default:
            return c;
    }
}

bool ConvertValue(int kind, const std::string& text, TVarValue& out) {
    switch (NormalizeValueKind(kind)) {
        case kValueInteger: {
            int32_t v = 0;
            if (!ParseInt32(text, v)) return false;
            out = TVarValue::Int32(v);
            return true;
        }
        case kValueReal: {
            double v = 0;
            if (!ParseReal(text, v)) return false;
            out = TVarValue::Double(v);
            return true;
        }
        case kValueDate: {
            TDateTime v = 0;
            if (!ParseDate(text, v)) return false;
            out = TVarValue::Date(v);
            return true;
        }
        default:
            out = TVarValue::Text(text);
            return true;
    }
}

std::string ValueText(int kind, const TVarValue& value) {
    kind = NormalizeValueKind(kind);
    if (kind == kValuePassword || value.IsEmpty() || value.IsNull()) return {};
    try {
        if (value.Type() == TVarType::Text) return value.AsText();
        switch (kind) {
            case kValueInteger:
                if (value.IsInteger()) return std::to_string(value.AsInteger());
                return RealText(value.AsDouble());
            case kValueDate:
                return DateText(value.AsDouble());
            case kValueReal:
                return RealText(value.AsDouble());
            default:
                if (value.Type() == TVarType::Date) return DateText(value.AsDate());
                if (value.IsInteger()) return std::to_string(value.AsInteger());
                if (value.Type() == TVarType::Boolean) return value.AsBoolean() ? "1" : "0";
                return RealText(value.AsDouble());
        }
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace hv
