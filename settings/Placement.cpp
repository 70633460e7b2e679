#include "settings/Placement.h"

#include <algorithm>
#include <cctype>

#include "settings/IniFile.h"

namespace hv {

namespace {

constexpr int32_t kNoState = -333;  // marker default: the section has no WindowState

bool LeftOn(const TRect& s, int left) { return left >= s.Left - 20 && left <= s.Right() - 100; }
bool TopOn(const TRect& s, int top) { return top >= s.Top - 3 && top <= s.Bottom() - 100; }

}  // namespace

std::string PlacementSection(std::string_view name) {
    if (name.empty()) return {};
    size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1]))) --end;
    if (end < name.size() && end > 1 && name[end - 1] == '_') name = name.substr(0, end - 1);
    return std::string(name) + "Position";
}

std::string LayoutText(const std::vector<int>& numbers) {
    std::string out;
    out.reserve(numbers.size() * 4);
    for (int n : numbers) {
        n = std::clamp(n, 0, 9999);
        char buf[5];
        for (int i = 3; i >= 0; --i, n /= 10) buf[i] = static_cast<char>('0' + n % 10);
        out.append(buf, 4);
    }
    return out;
}

std::optional<std::vector<int>> ParseLayoutText(std::string_view text, int maxValue) {
    std::vector<int> out;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    for (size_t i = 0; i + 4 <= text.size(); i += 4) {
        int n = 0;
        for (size_t k = i; k < i + 4; ++k) n = n * 10 + (text[k] - '0');
        if (n > maxValue) return std::nullopt;
        out.push_back(n);
    }
    return out;
}

TPlacement ReadPlacement(const TIniFile& ini, const std::string& section) {
    TPlacement p;
    int32_t state = ini.ReadInteger(section, "WindowState", kNoState);
    p.HasData = state != kNoState;
    p.WindowState = p.HasData && state >= 0 && state <= 2 ? state : 0;
    int32_t border = ini.ReadInteger(section, "BorderStyle", 2);
    p.BorderStyle = border >= 0 && border <= 5 ? border : 2;
    p.Bounds.Left = ini.ReadInteger(section, "Left", p.Bounds.Left);
    p.Bounds.Top = ini.ReadInteger(section, "Top", p.Bounds.Top);
    p.HasSize = ini.ValueExists(section, "Width") && ini.ValueExists(section, "Height");
    p.Bounds.Width = ini.ReadInteger(section, "Width", 0);
    p.Bounds.Height = ini.ReadInteger(section, "Height", 0);
    p.HasVisible = ini.ValueExists(section, "Visible");
    p.Visible = ini.ReadBool(section, "Visible", true);
    return p;
}

void WritePlacement(TIniFile& ini, const std::string& section, const TPlacement& p,
                    bool mainWindow) {
    ini.EraseSection(section);
    ini.WriteInteger(section, "Left", p.Bounds.Left);
    ini.WriteInteger(section, "Top", p.Bounds.Top);
    ini.WriteInteger(section, "Width", p.Bounds.Width);
    ini.WriteInteger(section, "Height", p.Bounds.Height);
    ini.WriteInteger(section, "WindowState", p.WindowState);
    ini.WriteInteger(section, "BorderStyle", p.BorderStyle);
    if (!mainWindow) ini.WriteBool(section, "Visible", p.Visible);
}

TRect PlaceOnScreens(const TRect& stored, const TRect& current, const std::vector<TRect>& screens) {
    TRect out = stored;
    if (out.Width <= 0 || out.Height <= 0) {
        out.Width = current.Width;
        out.Height = current.Height;
    }
    if (screens.empty()) return out;
    const TRect* screen = &screens.front();
    auto on = std::find_if(screens.begin(), screens.end(), [&](const TRect& s) {
        return LeftOn(s, out.Left) && TopOn(s, out.Top);
    });
    if (on != screens.end()) {
        screen = &*on;
    } else {
        if (!LeftOn(*screen, out.Left)) out.Left = screen->Left + 10;
        if (!TopOn(*screen, out.Top)) out.Top = screen->Top + 10;
    }
    out.Width = std::clamp(out.Width, 1, std::max(1, screen->Width));
    out.Height = std::clamp(out.Height, 1, std::max(1, screen->Height));
    return out;
}

}  // namespace hv
