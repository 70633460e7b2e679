// Window placement kept in the settings file: one section per window (its
// component name without a trailing "_<digits>", then "Position") with the
// bounds, state, border style, visibility and one layout text per kept child
// control. The Qt side reads and applies these values; the rules that keep a
// restored window on a screen that exists are here, free of Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

class TIniFile;

struct TRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Right() const { return Left + Width; }
    int Bottom() const { return Top + Height; }
    bool operator==(const TRect&) const = default;
};

// "FormMain" -> "FormMainPosition"; "FormArc_2" -> "FormArcPosition".
// An empty name gives an empty section.
std::string PlacementSection(std::string_view componentName);

// Every number written with exactly 4 digits, zero-padded (clamped to 0..9999).
std::string LayoutText(const std::vector<int>& numbers);
// The complete 4-digit numbers of a layout text (a short tail is dropped). A
// text with anything but digits in it is refused as a whole (nullopt), as is
// one with a number above MaxValue: shifting the digits would give every
// later control a wrong size.
std::optional<std::vector<int>> ParseLayoutText(std::string_view text, int maxValue = 9999);

// What a placement section holds.
struct TPlacement {
    bool HasData = false;  // a WindowState key exists
    TRect Bounds{50, 100, 0, 0};
    int WindowState = 0;  // 0 normal, 1 minimised, 2 maximised
    int BorderStyle = 2;  // 0 none, 1 single, 2 sizeable, 3 dialog, 4/5 tool windows
    bool Visible = true;
    bool HasVisible = false;
    bool HasSize = false;  // Width and Height keys were present
};

// Reads Section; missing keys keep the defaults (Left 50, Top 100; sizes 0).
TPlacement ReadPlacement(const TIniFile& ini, const std::string& section);
// Erases Section and writes the bounds, WindowState, BorderStyle and, unless
// MainWindow, Visible. Layout keys are written after it by the caller.
void WritePlacement(TIniFile& ini, const std::string& section, const TPlacement& p,
                    bool mainWindow);

// Where a restored window goes. Screens are the available areas, the primary
// one first. The stored size is used unless it is 0 or negative (then
// Current's size) and is cut to the screen; a position is kept when it lies on
// some screen (Left from 20 pixels before its left edge to 100 before its
// right one, Top from 3 above to 100 before the bottom), otherwise that
// coordinate becomes 10 pixels inside the primary screen.
TRect PlaceOnScreens(const TRect& stored, const TRect& current, const std::vector<TRect>& screens);

}  // namespace hv
