#include "dialogs/QtMessages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "dialogs/FormMessage.h"
#include "platform/AnsiLiteral.h"
#include "ui/QtText.h"

namespace hv {

namespace {

struct BoxButton {
    int code;
    const char* caption;  // 1251
    QMessageBox::ButtonRole role;
    const char* name;
};

std::vector<BoxButton> ButtonsOf(uint32_t flags) {
    static const BoxButton ok{kIdOk, "OK", QMessageBox::AcceptRole, "btOk"};
    static const BoxButton cancel{kIdCancel, "Отмена"_a, QMessageBox::RejectRole, "btCancel"};
    static const BoxButton abort{kIdAbort, "Прервать"_a, QMessageBox::RejectRole, "btAbort"};
    static const BoxButton retry{kIdRetry, "Повторить"_a, QMessageBox::AcceptRole, "btRetry"};
    static const BoxButton ignore{kIdIgnore, "Пропустить"_a, QMessageBox::AcceptRole, "btIgnore"};
    static const BoxButton yes{kIdYes, "Да"_a, QMessageBox::YesRole, "btYes"};
    static const BoxButton no{kIdNo, "Нет"_a, QMessageBox::NoRole, "btNo"};
    switch (flags & 0xF) {
        case kMbOkCancel:
            return {ok, cancel};
        case kMbAbortRetryIgnore:
            return {abort, retry, ignore};
        case kMbYesNoCancel:
            return {yes, no, cancel};
        case kMbYesNo:
            return {yes, no};
        case kMbRetryCancel:
            return {retry, cancel};
        default:
            return {ok};
    }
}

QMessageBox::Icon IconOf(uint32_t flags) {
    switch (flags & 0xF0) {
        case kMbIconError:
            return QMessageBox::Critical;
        case kMbIconQuestion:
            return QMessageBox::Question;
        case kMbIconWarning:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

int RunMessageWindow(const MessageRequest& request) {
    TFormMessage form(QApplication::activeWindow());
    form.Setup(request);
    return form.Run();
}

}  // namespace

void SetupPlatformBox(QMessageBox& box, const MessageRequest& r) {
    box.setWindowTitle(ToQ(r.caption));
    box.setText(ToQ(r.text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(IconOf(r.flags));
    const std::vector<BoxButton> buttons = ButtonsOf(r.flags);
    const size_t defaultIndex = (r.flags >> 8) & 0xF;
    for (size_t i = 0; i < buttons.size(); ++i) {
        QPushButton* b = box.addButton(ToQ(buttons[i].caption), buttons[i].role);
        b->setObjectName(buttons[i].name);
        b->setProperty("resultCode", buttons[i].code);
        if (i == defaultIndex || (i == 0 && defaultIndex >= buttons.size())) box.setDefaultButton(b);
        if (buttons[i].code == r.escapeResult) box.setEscapeButton(b);
    }
}

int RunPlatformBox(const MessageRequest& r) {
    QMessageBox box(QApplication::activeWindow());
    SetupPlatformBox(box, r);
    box.exec();
    QCoreApplication::processEvents();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? clicked->property("resultCode").toInt() : r.escapeResult;
}

TQtMessageHandler::TQtMessageHandler() : previous_(InstallMessageHandler(this)) {}

TQtMessageHandler::~TQtMessageHandler() { InstallMessageHandler(previous_); }

int TQtMessageHandler::Ask(const MessageRequest& request) {
    return request.platformBox ? RunPlatformBox(request) : RunMessageWindow(request);
}

}  // namespace hv
