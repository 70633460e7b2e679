// A label whose text is drawn over a shadow: the banners of the dialogs.
// Fonts are given to it by the 3-D label rules of ApplyFonts.
#pragma once

#include <QColor>
#include <QLabel>

namespace hv {

class TLabel3D : public QLabel {
    Q_OBJECT
  public:
    explicit TLabel3D(QWidget* parent = nullptr);

    void SetTextColor(const QColor& c);
    QColor TextColor() const;
    void SetShadowColor(const QColor& c);
    QColor ShadowColor() const { return shadow_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor shadow_{Qt::gray};
    int depth_ = 2;
};

}  // namespace hv
