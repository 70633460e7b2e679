// A text fitted to a width in pixels: the labels that show long paths.
#pragma once

#include <QFontMetrics>
#include <QString>

namespace hv {

// Text unchanged when it fits in Width; otherwise its first Head characters,
// "..." and the longest tail of the rest that still fits (Head 0: the longest
// head followed by "..."). Texts shorter than 3 characters are never
// shortened. Shortened tells whether the text was cut.
QString FitText(const QString& text, int width, int head, const QFontMetrics& fm,
                bool* shortened = nullptr);

}  // namespace hv
