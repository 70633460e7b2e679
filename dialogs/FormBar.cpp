#include "dialogs/FormBar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProgressBar>
#include <QThread>
#include <QWindow>
#include <algorithm>

#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/QtText.h"
#include "ui_FormBar.h"
#include "util/Exception.h"

namespace hv {

namespace {

constexpr int kSteps = 29;
constexpr int kWidth = 360;  // as designed; a long message wraps

int ToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

TFormBar::TFormBar(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::FormBar>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    ui_->M2->hide();
    ui_->Bar2->hide();
    connect(ui_->bt1, &QPushButton::clicked, this, Command([this] { StopPressed(); }));
    ApplyFonts(this);
    setWindowTitle(QString());
    for (int b = 1; b <= 2; ++b) SetMinMax(b, 0, 100);
}

TFormBar::~TFormBar() { GiveOwnerBack(); }

QProgressBar* TFormBar::BarWidget(int bar) const { return bar == 1 ? ui_->Bar1 : ui_->Bar2; }

void TFormBar::SetMinMax(int bar, int64_t min, int64_t max) {
    if (bar != 1 && bar != 2) {
        ShowError("bars: (setMinMax)???");
        return;
    }
    Bar& b = bar_[bar - 1];
    b.min = min;
    b.max = max;
    b.scale = ScaleFor(min, max);
    b.step = (max / b.scale - min / b.scale) / kSteps + 1;
    b.bandLow = min;
    b.bandHigh = b.step * b.scale;
    QProgressBar* w = BarWidget(bar);
    w->setRange(ToInt(min / b.scale), ToInt(max / b.scale));
    w->setValue(ToInt(min / b.scale));
}

void TFormBar::InitBars(int mode, int min1, int max1, int min2, int max2) {
    InitBars(mode, min1, max1, min2, max2, nullptr);
}

void TFormBar::InitBarsLarge(int mode, int64_t min1, int64_t max1, int64_t min2, int64_t max2) {
    InitBars(mode, min1, max1, min2, max2, nullptr);
}

void TFormBar::InitBars(int mode, int64_t min1, int64_t max1, int64_t min2, int64_t max2,
                        QWidget* owner) {
    max1 = std::max(max1, min1);
    max2 = std::max(max2, min2);
    switch (mode) {
        case 0: {
            if (shown_ || owner_) throw Exception("Bars is allready active");
            hide();
            ui_->M1->clear();
            ui_->M2->clear();
            SetMinMax(1, min1, max1);
            twoBars_ = max2 != min2 || max2 != 0;
            ui_->M2->setVisible(twoBars_);
            ui_->Bar2->setVisible(twoBars_);
            if (twoBars_) SetMinMax(2, min2, max2);
            ui_->Bar1->setEnabled(true);
            ui_->Bar2->setEnabled(twoBars_);
            bar_[0].last = min1 - 1;
            bar_[1].last = min2 - 1;
            if (!owner) {
                QCoreApplication::processEvents();
                owner = QApplication::activeWindow();
            }
            if (owner == this) owner = nullptr;
            owner_ = owner;
            if (owner) {
                ownerWasActive_ = owner->isActiveWindow();
                winId();
                if (QWindow* mine = windowHandle()) mine->setTransientParent(owner->window()->windowHandle());
                owner->setEnabled(false);
            }
            FitHeight();
            interrupted_ = false;
            show();
            break;
        }
        case 1:
            SetMinMax(1, min1, max1);
            bar_[0].last = min1 - 1;
            break;
        case 2:
            if (twoBars_) {
                SetMinMax(2, min2, max2);
                bar_[1].last = min2 - 1;
            }
            break;
        default:
            ShowError("Bars: (Init) ???");
            break;
    }
    ActivateIfNeeded();
    Settle();
}

void TFormBar::MoveBar(int bar, int64_t value) {
    Bar& b = bar_[bar - 1];
    b.last = value;
    if (value > b.bandLow && value < b.bandHigh) return;  // no visible change
    const int64_t position = value / b.scale;
    b.bandLow = (position / b.step) * b.step * b.scale;
    b.bandHigh = (position / b.step + 1) * b.step * b.scale;
    QProgressBar* w = BarWidget(bar);
    w->setValue(std::clamp(ToInt(position), w->minimum(), w->maximum()));
}

void TFormBar::PosBar(int bar, int position) { PosBarLarge(bar, position); }

void TFormBar::PosBarLarge(int bar, int64_t position) {
    QCoreApplication::processEvents();
    if (bar == 1) {
        MoveBar(1, position);
        if (twoBars_) {
            Bar& b2 = bar_[1];
            ui_->Bar2->setValue(ui_->Bar2->minimum());
            b2.bandLow = b2.min;
            b2.bandHigh = b2.step * b2.scale;
            b2.last = b2.min;
        }
    } else if (bar == 2) {
        if (twoBars_) MoveBar(2, position);
    } else {
        ShowError("Bars: (PosBar)???");
        return;
    }
    ActivateIfNeeded();
}

void TFormBar::Mess(int kind, const std::string& text) {
    switch (kind) {
        case 0:
            setWindowTitle(ToQ(text));
            break;
        case 1:
            ui_->M1->setText(ToQ(text));
            break;
        case 2:
            if (twoBars_) ui_->M2->setText(ToQ(text));
            break;
        default:
            ShowError("Bars: (Mess) ???");
            return;
    }
    FitHeight();
    update();
    ActivateIfNeeded();
    QCoreApplication::processEvents();
}

void TFormBar::FitHeight() {
    layout()->activate();
    const int h = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(kWidth)
                                                : layout()->totalSizeHint().height();
    if (size() != QSize(kWidth, h)) setFixedSize(kWidth, h);
}

void TFormBar::Complete() {
    bar_[0].last = bar_[0].max;
    ui_->Bar1->setValue(ui_->Bar1->maximum());
}

int TFormBar::GetMax1() const { return ToInt(bar_[0].max); }

void TFormBar::StopPressed() {
    ActivateIfNeeded();
    if (AskYesNoWarn("Прервать операцию ?"_a, true)) interrupted_ = true;
}

void TFormBar::Delay(int ms) {
    if (ms > 5000 || ms < 0) ms = 5000;
    QElapsedTimer clock;
    clock.start();
    while (!interrupted_ && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!interrupted_ && clock.elapsed() < ms) QThread::msleep(5);
    }
}

void TFormBar::Close() {
    Delay(200);
    shown_ = false;
    setWindowTitle(QString());
    ui_->Panel1->unsetCursor();
    interrupted_ = false;
    GiveOwnerBack();
    closing_ = true;
    hide();
    closing_ = false;
}

void TFormBar::GiveOwnerBack() {
    if (!owner_) return;
    QPointer<QWidget> owner = owner_;
    owner_ = nullptr;
    if (QWindow* mine = windowHandle()) mine->setTransientParent(nullptr);
    if (!owner) return;
    owner->setEnabled(true);
    owner->setVisible(true);
    if (ownerWasActive_ && owner->isEnabled()) owner->activateWindow();
}

void TFormBar::ActivateIfNeeded() {
    if (isVisible() && !isActiveWindow()) activateWindow();
}

void TFormBar::Settle() {
    repaint();
    QCoreApplication::processEvents();
}

void TFormBar::showEvent(QShowEvent* e) {
    ui_->Panel1->setCursor(Qt::WaitCursor);
    shown_ = true;
    QDialog::showEvent(e);
}

void TFormBar::keyPressEvent(QKeyEvent* e) {
    // Only "Стоп" ends an operation: Esc and F4 do nothing.
    if (e->key() == Qt::Key_F4 || e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TFormBar::closeEvent(QCloseEvent* e) {
    if (closing_)
        e->accept();
    else
        e->ignore();
}

}  // namespace hv
