// The seven fonts every window takes its fonts from, kept in the settings
// file, one section each (Name, Size, Color, Charset, Style). The windows turn
// a TFontSpec into a Qt font; this part only keeps and stores them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace hv {

class TIniFile;

enum class TFontId { MainFont, LabelFont, EditFont, CourierFont, HeaderFont, ColumnFont, TextFont };
constexpr int kFontCount = 7;

// Bits of Style.
enum : int32_t {
    kFontStrikeOut = 1,
    kFontUnderline = 2,
    kFontItalic = 4,
    kFontBold = 8,
};
constexpr int32_t kCyrillicCharset = 204;

struct TFontSpec {
    std::string Name;  // the stored face, kept even when Linux lacks it
    int32_t Size = 8;  // points
    int32_t Color = 0;  // red in the low byte; negative values are system colours
    int32_t Charset = kCyrillicCharset;
    int32_t Style = 0;

    bool Bold() const { return Style & kFontBold; }
    bool Italic() const { return Style & kFontItalic; }
    bool operator==(const TFontSpec&) const = default;
};

// The section (and key) of a font: "MainFont", ...
const char* FontKey(TFontId id);
// The name suffix that picks a font ("_MF", ...); empty for CourierFont.
const char* FontSuffix(TFontId id);
TFontSpec DefaultFont(TFontId id);

// A font read from its section; a missing or malformed value (a size outside
// 1..200, a style outside 0..15, a character set outside 0..255, an empty
// name, a number that is no number) keeps the default of that value.
TFontSpec ReadFont(const TIniFile& ini, TFontId id);
// Writes the section's five keys, Name quoted.
void WriteFont(TIniFile& ini, TFontId id, const TFontSpec& font);

// The process-wide fonts: read from the settings file on first use.
TFontSpec& Font(TFontId id);
// (Re)reads the seven fonts from the settings file.
void LoadFonts();
// Writes the seven fonts to the settings file and forgets them, so that the
// next use reads them again.
void SaveFonts();
bool FontsLoaded();

}  // namespace hv
