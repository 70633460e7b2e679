#include "dialogs/FormGet.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/Messages.h"
#include "dialogs/ValueInput.h"
#include "platform/AnsiLiteral.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/QtText.h"
#include "ui_FormGet.h"

namespace hv {

namespace {

const QColor kTeal(0, 128, 128);
const QColor kAqua(0, 255, 255);

}  // namespace

TFormGet::TFormGet(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::FormGet>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    ui_->lbHeader->setText(ToQ("Введите значение"_a));
    QPalette p = ui_->pnHeader->palette();
    p.setColor(QPalette::Window, kTeal);
    ui_->pnHeader->setPalette(p);
    ApplyFonts(this);
    ui_->lbHeader->SetTextColor(kAqua);
    ui_->lbHeader->SetShadowColor(Qt::black);
    ui_->ed->installEventFilter(this);
    // The password stars are the same in every style.
    ui_->ed->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");
    connect(ui_->btOk, &QPushButton::clicked, this, Command([this] {
                if (Check()) accept();
            }));
    connect(ui_->ed, &QLineEdit::textEdited, this, Command([this] { Edited(); }));
    setFixedSize(size());
}

TFormGet::~TFormGet() = default;

void TFormGet::SetKind(int kind) {
    kind_ = NormalizeValueKind(kind);
    ui_->ed->setEchoMode(kind_ == kValuePassword ? QLineEdit::Password : QLineEdit::Normal);
}

void TFormGet::SetPrompt(const std::string& prompt) {
    layout()->activate();
    const QString text = ToQ(prompt);
    const int room = ui_->pnHeader->contentsRect().width() -
                     ui_->pnHeader->layout()->contentsMargins().left() -
                     ui_->pnHeader->layout()->contentsMargins().right();
    if (ui_->lbHeader->fontMetrics().horizontalAdvance(text) < room - 5) {
        ui_->lbHeader->setText(text);
        ui_->lb->clear();
        ui_->lb->hide();
    } else {
        ui_->lbHeader->setText(ToQ("Введите значение"_a));
        ui_->lb->setText(text);
        ui_->lb->show();
    }
}

void TFormGet::SetValue(const TVarValue& value) {
    value_ = value;
    ui_->ed->setText(ToQ(ValueText(kind_, value)));
    ui_->ed->selectAll();
    changed_ = false;
}

bool TFormGet::Check() {
    TVarValue v;
    if (!ConvertValue(kind_, FromQ(ui_->ed->text()), v)) {
        ShowError("Неверное значение !!!"_a);
        ui_->ed->setFocus();
        return false;
    }
    value_ = v;
    return true;
}

void TFormGet::Edited() {
    changed_ = true;
    const int limit = ValueLengthLimit(kind_);
    if (limit > 0 && ui_->ed->text().size() >= limit) Check();
}

void TFormGet::done(int result) {
    ui_->ed->setEchoMode(QLineEdit::Normal);
    QDialog::done(result);
    kind_ = kValueText;
}

bool TFormGet::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ui_->ed || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    if (kind_ == kValueText || kind_ == kValuePassword) return false;
    if (key->key() == Qt::Key_Backspace) return false;
    const QString typed = key->text();
    if (typed.size() != 1 || !typed[0].isPrint()) return false;
    const std::string ansi = FromQ(typed);
    const char put = FilterValueChar(kind_, FromQ(ui_->ed->text()), ansi.empty() ? '?' : ansi[0]);
    if (put == 0) {
        Beep();
        return true;
    }
    if (put == ansi[0]) return false;
    ui_->ed->insert(ToQ(std::string(1, put)));
    changed_ = true;
    Edited();
    return true;
}

bool InputValue(const std::string& prompt, int kind, TVarValue& value) {
    TFormGet form(QApplication::activeWindow());
    form.SetKind(kind);
    form.SetPrompt(prompt);
    form.SetValue(value);
    const bool ok = form.exec() == QDialog::Accepted;
    QCoreApplication::processEvents();
    if (ok) value = form.Value();
    return ok;
}

bool InputString(const std::string& prompt, std::string& text) {
    TVarValue v = TVarValue::Text(text);
    if (!InputValue(prompt, kValueText, v)) return false;
    text = v.AsText();
    return true;
}

}  // namespace hv
