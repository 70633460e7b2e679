// The seven fonts applied to a window and its controls, by control kind and
// name. Faces that Linux lacks are drawn with the nearest installed family;
// the QFont keeps the stored face name, so saving writes it back unchanged.
#pragma once

#include <QColor>
#include <QFont>
#include <vector>

#include "settings/Fonts.h"

class QWidget;

namespace hv {

// The font as Qt draws it (family = the stored face).
QFont ToQFont(const TFontSpec& font);
// The font's colour; invalid for a system colour (negative value).
QColor FontColor(const TFontSpec& font);
// The installed family that draws Face.
QString DrawnFamily(const QString& face);

// Walks Window and all its children except those in Except and sets their
// fonts from Font(): the window MainFont; 3-D labels LabelFont or the font of
// their name suffix; labels by "TITLE"/"WARN" in their name or else their
// parent's font; header controls MainFont's face and size; memos EditFont or
// CourierFont's face; edits, grids, combo and list boxes EditFont.
void ApplyFonts(QWidget* window, const std::vector<const QWidget*>& except = {});

}  // namespace hv
