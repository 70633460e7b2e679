// The debug window: created at start-up with the others so that their order,
// fonts and placement keys hold; it has no content of its own.
#pragma once

#include <QDialog>

namespace hv {

class TFormOtl : public QDialog {
    Q_OBJECT
  public:
    explicit TFormOtl(QWidget* parent = nullptr);
};

}  // namespace hv
