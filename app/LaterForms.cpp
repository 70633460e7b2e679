#include "app/LaterForms.h"

#include "platform/AnsiLiteral.h"
#include "ui/QtText.h"

namespace hv {

TFormOtl::TFormOtl(QWidget* parent) : QDialog(parent) {
    setObjectName("FormOtl");
    setWindowTitle(ToQ("Отладка"_a));
    resize(320, 200);
}

}  // namespace hv
