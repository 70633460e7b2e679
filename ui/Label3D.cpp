#include "ui/Label3D.h"

#include <QPainter>
#include <QStyle>

namespace hv {

TLabel3D::TLabel3D(QWidget* parent) : QLabel(parent) {}

void TLabel3D::SetTextColor(const QColor& c) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, c);
    setPalette(p);
}

QColor TLabel3D::TextColor() const { return palette().color(QPalette::WindowText); }

void TLabel3D::SetShadowColor(const QColor& c) {
    shadow_ = c;
    update();
}

QSize TLabel3D::sizeHint() const { return QLabel::sizeHint() + QSize(depth_, depth_); }
QSize TLabel3D::minimumSizeHint() const { return QLabel::minimumSizeHint() + QSize(depth_, depth_); }

void TLabel3D::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = contentsRect().adjusted(margin(), margin(), -margin() - depth_, -margin() - depth_);
    int flags = static_cast<int>(alignment());
    if (wordWrap()) flags |= Qt::TextWordWrap;
    p.setFont(font());
    p.setPen(shadow_);
    p.drawText(r.translated(depth_, depth_), flags, text());
    p.setPen(TextColor());
    p.drawText(r, flags, text());
}

}  // namespace hv
