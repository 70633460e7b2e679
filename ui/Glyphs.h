// Small list images drawn in code, so that they look alike in every window
// and need no image files.
#pragma once

#include <QColor>
#include <QPixmap>

class QPainter;

namespace hv {

// A transparent 16 x 16 canvas.
QPixmap GlyphCanvas();
// A sheet with a folded corner and lines of text.
void DrawSheet(QPainter& p, QColor edge, QColor fill, QColor lines);
// A green tick and a red cross over the lower right of an image.
void DrawCheckMark(QPainter& p);
void DrawCrossMark(QPainter& p);

}  // namespace hv
