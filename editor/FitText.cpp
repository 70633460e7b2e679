#include "editor/FitText.h"

namespace hv {

QString FitText(const QString& text, int width, int head, const QFontMetrics& fm, bool* shortened) {
    if (shortened) *shortened = false;
    if (text.size() < 3 || fm.horizontalAdvance(text) <= width) return text;
    if (shortened) *shortened = true;
    const QString dots = QStringLiteral("...");
    head = std::min<int>(std::max(head, 0), text.size());
    const auto fits = [&](const QString& s) { return fm.horizontalAdvance(s) <= width; };
    if (head == 0) {
        // The longest head that fits before the dots.
        int lo = 0, hi = text.size();
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            if (fits(text.left(mid) + dots))
                lo = mid;
            else
                hi = mid - 1;
        }
        return text.left(lo) + dots;
    }
    const QString front = text.left(head) + dots;
    const QString rest = text.mid(head);
    int lo = 0, hi = rest.size();
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (fits(front + rest.right(mid)))
            lo = mid;
        else
            hi = mid - 1;
    }
    return front + rest.right(lo);
}

}  // namespace hv
