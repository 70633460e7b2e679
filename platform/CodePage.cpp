#include "platform/CodePage.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace hv {

namespace {

// Code points of one single-byte code page, taken from iconv once.
struct CodePageTable {
    std::array<uint32_t, 256> toUnicode{};  // 0 = byte has no character
    std::array<uint8_t, 0x10000> fromUnicode{};
    std::array<bool, 0x10000> has{};

    explicit CodePageTable(const char* name) {
        iconv_t cd = iconv_open("UTF-32LE", name);
        for (int b = 0; b < 256; ++b) {
            uint32_t cp = 0;
            if (b < 0x80) {
                cp = static_cast<uint32_t>(b);
            } else if (cd != reinterpret_cast<iconv_t>(-1)) {
                char in = static_cast<char>(b);
                char* inp = &in;
                size_t inLeft = 1;
                uint32_t out = 0;
                char* outp = reinterpret_cast<char*>(&out);
                size_t outLeft = sizeof out;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) &&
                    outLeft == 0)
                    cp = out;
            }
            toUnicode[b] = cp;
            if ((cp != 0 || b == 0) && cp < 0x10000 && !has[cp]) {
                has[cp] = true;
                fromUnicode[cp] = static_cast<uint8_t>(b);
            }
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }

    bool Encode(uint32_t cp, char& out) const {
        if (cp >= 0x10000 || !has[cp]) return false;
        out = static_cast<char>(fromUnicode[cp]);
        return true;
    }
};

const CodePageTable& Ansi() {
    static const CodePageTable t("CP1251");
    return t;
}
const CodePageTable& Oem() {
    static const CodePageTable t("CP866");
    return t;
}

// Decodes one UTF-8 sequence at s[i]; returns false (and length 1) on a malformed byte.
bool DecodeUtf8(std::string_view s, size_t i, uint32_t& cp, size_t& len) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    len = 1;
    if (c < 0x80) {
        cp = c;
        return true;
    }
    size_t need;
    if ((c & 0xE0) == 0xC0) {
        need = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        need = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        need = 4;
        cp = c & 0x07;
    } else {
        return false;
    }
    if (i + need > s.size()) return false;
    for (size_t k = 1; k < need; ++k) {
        unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (d & 0x3F);
    }
    len = need;
    return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string FromUtf8(std::string_view s, const CodePageTable& t) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint32_t cp;
        size_t len;
        char c;
        if (DecodeUtf8(s, i, cp, len) && t.Encode(cp, c))
            out += c;
        else
            out += '?';
        i += len;
    }
    return out;
}

std::string ToUtf8(std::string_view s, const CodePageTable& t) {
    std::string out;
    out.reserve(s.size() + s.size() / 2);
    for (char ch : s) {
        uint32_t cp = t.toUnicode[static_cast<unsigned char>(ch)];
        if (cp == 0 && ch != 0)
            out += '?';
        else
            AppendUtf8(out, cp);
    }
    return out;
}

std::string Recode(std::string_view s, const CodePageTable& from, const CodePageTable& to) {
    std::string out(s.size(), '?');
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = from.toUnicode[static_cast<unsigned char>(s[i])];
        char c;
        if ((cp != 0 || s[i] == 0) && to.Encode(cp, c)) out[i] = c;
    }
    return out;
}

uint32_t UpperCodePoint(uint32_t cp) {
    if (cp >= 'a' && cp <= 'z') return cp - 32;
    if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;
    if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;
    if (cp == 0x0491) return 0x0490;
    return cp;
}

uint32_t LowerCodePoint(uint32_t cp) {
    if (cp >= 'A' && cp <= 'Z') return cp + 32;
    if (cp >= 0x0410 && cp <= 0x042F) return cp + 0x20;
    if (cp >= 0x0400 && cp <= 0x040F) return cp + 0x50;
    if (cp == 0x0490) return 0x0491;
    return cp;
}

struct CaseTables {
    std::array<char, 256> upper{};
    std::array<char, 256> lower{};
    std::array<uint16_t, 256> collate{};
    CaseTables() {
        const CodePageTable& t = Ansi();
        for (int b = 0; b < 256; ++b) {
            uint32_t cp = t.toUnicode[b];
            char c = static_cast<char>(b);
            upper[b] = (cp != 0 && t.Encode(UpperCodePoint(cp), c)) ? c : static_cast<char>(b);
            c = static_cast<char>(b);
            lower[b] = (cp != 0 && t.Encode(LowerCodePoint(cp), c)) ? c : static_cast<char>(b);
        }
        // Alphabetical weights of upper-cased bytes: code point order, Ё right after Е.
        for (int b = 0; b < 256; ++b) {
            uint32_t cp = t.toUnicode[static_cast<unsigned char>(upper[b])];
            if (cp == 0 && b != 0) cp = 0xFFFF;
            uint32_t w = (cp == 0x0401) ? 0x0415 * 2 + 1 : cp * 2;
            collate[b] = static_cast<uint16_t>(w > 0xFFFF ? 0xFFFF : w);
        }
    }
};

const CaseTables& Cases() {
    static const CaseTables t;
    return t;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view s) { return FromUtf8(s, Ansi()); }
std::string AnsiToUtf8(std::string_view s) { return ToUtf8(s, Ansi()); }
std::string AnsiToOem(std::string_view s) { return Recode(s, Ansi(), Oem()); }
std::string OemToAnsi(std::string_view s) { return Recode(s, Oem(), Ansi()); }
std::string OemToUtf8(std::string_view s) { return ToUtf8(s, Oem()); }
std::string Utf8ToOem(std::string_view s) { return FromUtf8(s, Oem()); }

char AnsiUpperChar(char c) { return Cases().upper[static_cast<unsigned char>(c)]; }
char AnsiLowerChar(char c) { return Cases().lower[static_cast<unsigned char>(c)]; }

std::string AnsiUpper(std::string_view s) {
    const auto& up = Cases().upper;
    std::string out(s);
    for (char& c : out) c = up[static_cast<unsigned char>(c)];
    return out;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const auto& up = Cases().upper;
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(up[static_cast<unsigned char>(a[i])]);
        unsigned char y = static_cast<unsigned char>(up[static_cast<unsigned char>(b[i])]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

int AnsiCollateText(std::string_view a, std::string_view b) {
    const auto& w = Cases().collate;
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        uint16_t x = w[static_cast<unsigned char>(a[i])];
        uint16_t y = w[static_cast<unsigned char>(b[i])];
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace hv
