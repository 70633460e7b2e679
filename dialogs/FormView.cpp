#include "dialogs/FormView.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>

#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/QtText.h"
#include "ui_FormView.h"
#include "util/StringList.h"

namespace hv {

TFormView::TFormView(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::FormView>()) {
    ui_->setupUi(this);
    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, Command([this] { TimerTick(); }));
    ApplyFonts(this);
}

TFormView::~TFormView() = default;

void TFormView::LoadText(const std::string& text) {
    text_ = text;
    converted_ = false;
    Refresh(isVisible());
}

void TFormView::LoadFromFile(const std::string& fileName) {
    TStringList lines;
    lines.LoadFromFile(fileName);
    LoadText(lines.Text());
}

void TFormView::SetFollowFile(const std::string& fileName) { follow_ = fileName; }

int TFormView::ShowModal() { return exec(); }

QString TFormView::MemoText() const { return ui_->Memo->toPlainText(); }

void TFormView::Refresh(bool convert) {
    // The flag may be set after loading: the text is converted on show.
    if (convert && fromOem_ && !converted_) {
        text_ = OemToAnsi(text_);
        converted_ = true;
    }
    ui_->Memo->setPlainText(ToQ(text_));
}

void TFormView::TimerTick() {
    if (follow_.empty() || !FileExists(follow_)) return;
    LoadFromFile(follow_);
    ui_->Memo->moveCursor(QTextCursor::End);
}

void TFormView::showEvent(QShowEvent* e) {
    Refresh(true);
    if (!follow_.empty()) timer_->start();
    QDialog::showEvent(e);
}

void TFormView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        reject();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TFormView::done(int result) {
    fromOem_ = false;
    follow_.clear();
    timer_->stop();
    QDialog::done(result);
}

}  // namespace hv
