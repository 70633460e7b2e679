// Compile-time conversion of UTF-8 source literals to Windows-1251 bytes.
//
//   std::string msg = "Не найден файл"_a;
//
// Only ASCII, Cyrillic (А..я, Ё, ё) and a few marks of the 1251 upper half
// are accepted; anything else stops the build, so a typo never reaches a user
// as a wrong byte.
#pragma once

#include <cstddef>

namespace hv {

namespace detail {

template <std::size_t N>
struct Utf8Literal {
    char text[N]{};
    consteval Utf8Literal(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
    }
};

consteval unsigned AnsiOfCodePoint(unsigned cp) {
    if (cp < 0x80) return cp;
    if (cp >= 0x0410 && cp <= 0x044F) return cp - 0x0410 + 0xC0;
    switch (cp) {
        case 0x0401: return 0xA8;  // Ё
        case 0x0451: return 0xB8;  // ё
        case 0x2116: return 0xB9;  // №
        case 0x00AB: return 0xAB;  // «
        case 0x00BB: return 0xBB;  // »
        case 0x2014: return 0x97;  // —
        case 0x2013: return 0x96;  // –
        case 0x2026: return 0x85;  // …
        case 0x00A0: return 0xA0;
        case 0x00A9: return 0xA9;  // ©
        case 0x00B0: return 0xB0;  // °
    }
    throw "character has no Windows-1251 form";
}

template <std::size_t N>
struct AnsiText {
    char text[N]{};
    std::size_t size = 0;
};

template <Utf8Literal L>
consteval auto ToAnsiLiteral() {
    constexpr std::size_t N = sizeof(L.text);
    AnsiText<N> out;
    std::size_t i = 0;
    while (i + 1 < N) {
        unsigned char c = static_cast<unsigned char>(L.text[i]);
        unsigned cp = 0;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else {
            throw "unsupported UTF-8 sequence";
        }
        for (std::size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(L.text[i + k]) & 0x3F);
        out.text[out.size++] = static_cast<char>(AnsiOfCodePoint(cp));
        i += len;
    }
    out.text[out.size] = 0;
    return out;
}

template <Utf8Literal L>
struct AnsiStorage {
    static constexpr auto value = ToAnsiLiteral<L>();
};

}  // namespace detail

// "текст"_a: the literal as a NUL-terminated 1251 string with static storage.
template <detail::Utf8Literal L>
constexpr const char* operator""_a() {
    return detail::AnsiStorage<L>::value.text;
}

}  // namespace hv
