#include "app/LaterForms.h"

#include <QLabel>
#include <QVBoxLayout>

#include "platform/AnsiLiteral.h"
#include "ui/QtText.h"

namespace hv {

TFormOtl::TFormOtl(QWidget* parent) : QDialog(parent) {
    setObjectName("FormOtl");
    setWindowTitle(ToQ("Отладка"_a));
    resize(320, 200);
}

TFormSetProject::TFormSetProject(QWidget* parent) : QDialog(parent) {
    setObjectName("FormSetProject");
    setWindowTitle(ToQ("Настройка проекта"_a));
    resize(640, 480);
}

}  // namespace hv
