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

TFormArc::TFormArc(QWidget* parent) : QDialog(parent), label_(new QLabel(this)) {
    setObjectName("FormArc");
    setWindowTitle("Archive Viewer");
    label_->setObjectName("lbArchive");
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(label_);
    resize(560, 380);
}

void TFormArc::SetArchive(const std::string& fileName) {
    archive_ = fileName;
    label_->setText(ToQ(fileName));
}

}  // namespace hv
