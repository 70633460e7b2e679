// Window placement in the settings file: bounds, state, border style,
// visibility and the layout of column headers, list views, splitters and
// grids, one section per window. Restoring never puts a window where no
// screen is, nor makes it larger than the screen.
#pragma once

#include <vector>

#include "settings/Placement.h"

class QWidget;

namespace hv {

// The application's main window: it starts maximised on a first run and has
// no Visible key.
void SetMainWindow(QWidget* window);
QWidget* MainWindow();

// 0 none, 1 single, 2 sizeable, 3 dialog, 4 tool window, 5 sizeable tool window.
int BorderStyleOf(const QWidget* window);
// Available areas of the screens, the primary one first.
std::vector<TRect> AvailableScreens();

void SavePlacement(QWidget* window);
void RestorePlacement(QWidget* window);

}  // namespace hv
