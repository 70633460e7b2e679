#include "dialogs/StopForm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

#include "dialogs/Messages.h"
#include "settings/WorkDirs.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/QtText.h"

namespace hv {

namespace {

QLabel* Panel(const char* name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Raised);
    l->setMargin(2);
    return l;
}

}  // namespace

TStopForm::TStopForm(QWidget* parent) : QDialog(parent) {
    setObjectName("StopForm");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::red);
    setPalette(p);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    title_ = Panel("PanelStopTitle", "Stop:", this);
    text_ = Panel("PanelStrTitle", QString(), this);
    row->addWidget(title_);
    row->addWidget(text_, 1);
    auto* pn = new QWidget(this);
    pn->setObjectName("pnStopp");
    auto* buttons = new QHBoxLayout(pn);
    buttons->setContentsMargins(0, 0, 0, 0);
    auto* cn = new QPushButton("Cn", pn);
    cn->setObjectName("StopBt1");
    auto* ex = new QPushButton("Ex", pn);
    ex->setObjectName("StopBt2");
    for (QPushButton* b : {cn, ex}) b->setFixedWidth(28);
    buttons->addWidget(cn);
    buttons->addWidget(ex);
    row->addWidget(pn);
    connect(cn, &QPushButton::clicked, this, Command([this] { accept(); }));
    connect(ex, &QPushButton::clicked, this, Command([this] { End(); }));
    ApplyFonts(this);
}

void TStopForm::SetTexts(const QString& title, const QString& text) {
    title_->setText(title);
    text_->setText(text);
}

bool TStopForm::Run() {
    end_ = false;
    adjustSize();
    move(1, 1);
    exec();
    return end_;
}

void TStopForm::End() {
    end_ = true;
    TerminateApplication();
    accept();
}

void TStopForm::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (at.x() >= 34 && at.x() <= 57 && at.y() >= 5 && at.y() <= 25)
        End();
    else
        accept();
}

void DebugStop(const std::string& text) {
    if (!workdirs::DebugMode() || workdirs::Terminating()) return;
    static QPointer<TStopForm> strip;
    while (strip && strip->isVisible()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!strip) strip = new TStopForm;
    QPointer<QWidget> focused = QApplication::focusWidget();
    const QString name = focused && !focused->objectName().isEmpty()
                             ? focused->objectName() + ": "
                             : QString(" Stop: ");
    strip->SetTexts(name, ">" + ToQ(text) + " <");
    const bool end = strip->Run();
    if (focused && focused->isEnabled() && focused->isVisible() &&
        focused->parentWidget() && focused->parentWidget()->objectName() != "pnStopp")
        focused->setFocus();
    if (end) throw EAbort();
}

}  // namespace hv
