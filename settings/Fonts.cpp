#include "settings/Fonts.h"

#include <optional>

#include "settings/IniFile.h"
#include "settings/IniSections.h"

namespace hv {

namespace {

struct FontRow {
    const char* key;
    const char* suffix;
    TFontSpec def;
};

constexpr int32_t kAqua = 0xFFFF00;  // RGB 00FFFF with red in the low byte

const std::array<FontRow, kFontCount>& Rows() {
    static const std::array<FontRow, kFontCount> rows{{
        {"MainFont", "_MF", {"MS Sans Serif", 8, 0, kCyrillicCharset, 0}},
        {"LabelFont", "_LF", {"Times New Roman", 18, kAqua, kCyrillicCharset, kFontBold}},
        {"EditFont", "_EF", {"MS Sans Serif", 8, 0, kCyrillicCharset, 0}},
        {"CourierFont", "", {"Courier New", 8, 0, kCyrillicCharset, 0}},
        {"HeaderFont", "_HF", {"Times New Roman", 18, kAqua, kCyrillicCharset, kFontBold}},
        {"ColumnFont", "_CF", {"Arial", 10, 0, kCyrillicCharset, 0}},
        {"TextFont", "_TF", {"Arial", 10, 0, kCyrillicCharset, 0}},
    }};
    return rows;
}

const FontRow& Row(TFontId id) { return Rows()[static_cast<size_t>(id)]; }

int32_t ReadInRange(const TIniFile& ini, const char* section, const char* key, int32_t def,
                    int32_t lo, int32_t hi) {
    int32_t v = 0;
    if (!ParseIniInteger(ini.ReadString(section, key, ""), v)) return def;
    return v < lo || v > hi ? def : v;
}

std::optional<std::array<TFontSpec, kFontCount>>& Loaded() {
    static std::optional<std::array<TFontSpec, kFontCount>> fonts;
    return fonts;
}

}  // namespace

const char* FontKey(TFontId id) { return Row(id).key; }
const char* FontSuffix(TFontId id) { return Row(id).suffix; }
TFontSpec DefaultFont(TFontId id) { return Row(id).def; }

TFontSpec ReadFont(const TIniFile& ini, TFontId id) {
    const FontRow& row = Row(id);
    TFontSpec f = row.def;
    std::string name = ini.ReadUnquoted(row.key, "Name", row.def.Name);
    if (!name.empty()) f.Name = name;
    f.Size = ReadInRange(ini, row.key, "Size", row.def.Size, 1, 200);
    f.Color = ReadInRange(ini, row.key, "Color", row.def.Color, INT32_MIN, INT32_MAX);
    f.Charset = ReadInRange(ini, row.key, "Charset", row.def.Charset, 0, 255);
    f.Style = ReadInRange(ini, row.key, "Style", row.def.Style, 0, 15);
    return f;
}

void WriteFont(TIniFile& ini, TFontId id, const TFontSpec& font) {
    const char* key = Row(id).key;
    ini.BeginUpdate();
    ini.WriteQuoted(key, "Name", font.Name);
    ini.WriteInteger(key, "Size", font.Size);
    ini.WriteInteger(key, "Color", font.Color);
    ini.WriteInteger(key, "Charset", font.Charset);
    ini.WriteInteger(key, "Style", font.Style & 15);
    ini.EndUpdate();
}

void LoadFonts() {
    std::array<TFontSpec, kFontCount> fonts;
    TIniFile& ini = SettingsIni();
    for (int i = 0; i < kFontCount; ++i) fonts[i] = ReadFont(ini, static_cast<TFontId>(i));
    Loaded() = fonts;
}

TFontSpec& Font(TFontId id) {
    if (!Loaded()) LoadFonts();
    return (*Loaded())[static_cast<size_t>(id)];
}

bool FontsLoaded() { return Loaded().has_value(); }

void SaveFonts() {
    if (!Loaded()) return;
    TIniFile& ini = SettingsIni();
    ini.BeginUpdate();
    for (int i = 0; i < kFontCount; ++i)
        WriteFont(ini, static_cast<TFontId>(i), (*Loaded())[i]);
    Loaded().reset();
    ini.EndUpdate();
}

}  // namespace hv
