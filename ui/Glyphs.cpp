#include "ui/Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace hv {

QPixmap GlyphCanvas() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

void DrawSheet(QPainter& p, QColor edge, QColor fill, QColor lines) {
    QPainterPath path;
    path.moveTo(2.5, 0.5);
    path.lineTo(9.5, 0.5);
    path.lineTo(13.5, 4.5);
    path.lineTo(13.5, 15.5);
    path.lineTo(2.5, 15.5);
    path.closeSubpath();
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawPath(path);
    p.drawLine(QPointF(9.5, 0.5), QPointF(9.5, 4.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(13.5, 4.5));
    p.setPen(QPen(lines, 1));
    for (double y = 6.5; y < 14; y += 2) p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
}

void DrawCheckMark(QPainter& p) {
    p.setPen(QPen(QColor(0, 140, 0), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({{7.5, 11.0}, {10.0, 14.0}, {15.0, 7.0}}));
}

void DrawCrossMark(QPainter& p) {
    p.setPen(QPen(QColor(210, 0, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8.5, 8.5), QPointF(14.5, 14.5));
    p.drawLine(QPointF(14.5, 8.5), QPointF(8.5, 14.5));
}

}  // namespace hv
