#include "dialogs/FormMessage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/AnsiLiteral.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/Label3D.h"
#include "ui/QtText.h"

namespace hv {

namespace {

constexpr int kMinWidth = 384;
constexpr int kMinHeight = 204;
constexpr int kLeft = 8;

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);
const QColor kTeal(0, 128, 128);
const QColor kAqua(0, 255, 255);

QRect ScreenOf(const QWidget* w) {
    QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

int WidestLine(const QFontMetrics& fm, const QString& text) {
    int w = 0;
    for (const QString& line : text.split('\n')) w = std::max(w, fm.horizontalAdvance(line));
    return w;
}

QLabel* TextLabel(const char* name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);  // data in a message is never markup
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

}  // namespace

TFormMessage::TFormMessage(QWidget* parent) : QDialog(parent) {
    setObjectName("FormMessage");
    setWindowTitle("Halvora");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);

    pnHeader_ = new QFrame(this);
    pnHeader_->setObjectName("pnHeader");
    pnHeader_->setAutoFillBackground(true);
    auto* head = new QHBoxLayout(pnHeader_);
    head->setContentsMargins(kLeft, 4, kLeft, 4);
    lbHeader_ = new TLabel3D(pnHeader_);
    lbHeader_->setObjectName("lbHeader");
    lbHeader_->setAlignment(Qt::AlignCenter);
    lbHeader_->setTextFormat(Qt::PlainText);
    head->addWidget(lbHeader_);
    main->addWidget(pnHeader_);

    sb_ = new QScrollArea(this);
    sb_->setObjectName("sb");
    sb_->setFrameShape(QFrame::NoFrame);
    sb_->setWidgetResizable(true);
    sb_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    content->setObjectName("sbContent");
    auto* body = new QVBoxLayout(content);
    body->setContentsMargins(kLeft, 8, kLeft, 8);
    body->setSpacing(6);
    lbWarnInform_ = TextLabel("lbWarnInform", content);
    lbWarn_ = TextLabel("lbWarn", content);
    bevel_ = new QFrame(content);
    bevel_->setObjectName("Bevel1");
    bevel_->setFrameShape(QFrame::HLine);
    bevel_->setFrameShadow(QFrame::Sunken);
    btCancelApp_ = new QPushButton(ToQ("Завершить работу"_a), content);
    btCancelApp_->setObjectName("btCancelApp");
    btCancelApp_->setToolTip(ToQ("Прекратить работу программы"_a));
    btCancelApp_->setAutoDefault(false);
    body->addWidget(lbWarnInform_);
    body->addWidget(lbWarn_);
    body->addWidget(bevel_);
    body->addWidget(btCancelApp_, 0, Qt::AlignLeft);
    body->addStretch(1);
    sb_->setWidget(content);
    main->addWidget(sb_, 1);

    pnButton_ = new QFrame(this);
    pnButton_->setObjectName("pnButton");
    pnButton_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);  // the text scrolls, not the buttons
    auto* buttons = new QVBoxLayout(pnButton_);
    buttons->setContentsMargins(kLeft, 8, kLeft, 8);
    auto* row = new QHBoxLayout;
    row->setObjectName("rowButtons");
    row->setSpacing(16);
    btOk_ = new QPushButton("Ok", pnButton_);
    btOk_->setObjectName("btOk");
    btCancel_ = new QPushButton(ToQ("Отменить"_a), pnButton_);
    btCancel_->setObjectName("btCancel");
    row->addStretch(1);
    row->addWidget(btOk_);
    row->addWidget(btCancel_);
    row->addStretch(1);
    buttons->addLayout(row);
    main->addWidget(pnButton_);

    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(3000);

    connect(btOk_, &QPushButton::clicked, this, Command([this] { Answer(1); }));
    connect(btCancel_, &QPushButton::clicked, this, Command([this] { Answer(2); }));
    connect(timer_, &QTimer::timeout, this, Command([this] { TimerTick(); }));
    connect(btCancelApp_, &QPushButton::clicked, this, Command([this] {
                if (AskYesNoWarn("Вы действительно хотите прекратить работу программы ?"_a, false)) {
                    TerminateApplication();
                    EndProcessNow();
                    done(QDialog::Rejected);  // only reached when ending is intercepted
                }
            }));

    ApplyFonts(this, {lbWarn_});
    SetKind(kMsgOk);
}

void TFormMessage::Setup(const MessageRequest& r) {
    // The request's kind is normalised already; its buttons list may have
    // set Yes+No on top, which normalising again would cut to Yes.
    SetKind(r.kind);
    if (kind_ != r.kind) {
        kind_ = r.kind;
        ApplyColours();
    }
    SetCallerButtons(r.buttons);
    SetHeading(r.heading);
    SetText(r.text);
    SetEscapeResult(r.escapeResult);
    SetKeyPreview(r.keyPreview);
    if (!r.caption.empty()) setWindowTitle(ToQ(r.caption));
    SetBanner(r.banner.empty() ? KindBanner(kind_) : r.banner);
}

void TFormMessage::SetKind(uint16_t kind) {
    const uint16_t k = NormalizeKind(kind);
    if (kind != 0 && k == kind_) return;
    if (isVisible()) hide();
    kind_ = k;
    SetBanner(KindBanner(kind_));
    ApplyColours();
}

void TFormMessage::SetCallerButtons(const std::vector<std::string>& captions) { captions_ = captions; }

void TFormMessage::SetHeading(const std::string& heading) {
    lbWarnInform_->setText(ToQ(heading));
    lbWarnInform_->setVisible(!heading.empty());
}

void TFormMessage::SetText(const std::string& text) { lbWarn_->setText(ToQ(text)); }

void TFormMessage::SetBanner(const std::string& banner) { lbHeader_->setText(ToQ(banner)); }

void TFormMessage::ApplyColours() {
    const QPalette sys = QApplication::palette();
    QColor bannerBg = sys.color(QPalette::Button), bannerText = sys.color(QPalette::HighlightedText);
    QColor shadow = sys.color(QPalette::Disabled, QPalette::WindowText);
    QColor heading = sys.color(QPalette::WindowText), text = heading;
    if (kind_ & kMsgError) {
        bannerBg = Qt::red, bannerText = Qt::yellow, shadow = Qt::black;
        heading = kNavy, text = kMaroon;
    } else if (kind_ & (kMsgWarning | kMsgChoice)) {
        bannerBg = kTeal, bannerText = kAqua, shadow = Qt::black;
        heading = kNavy;
    }
    QPalette p = pnHeader_->palette();
    p.setColor(QPalette::Window, bannerBg);
    pnHeader_->setPalette(p);
    lbHeader_->SetTextColor(bannerText);
    lbHeader_->SetShadowColor(shadow);
    for (auto [label, colour] : {std::pair{lbWarnInform_, heading}, std::pair{lbWarn_, text}}) {
        QPalette lp = label->palette();
        lp.setColor(QPalette::WindowText, colour);
        label->setPalette(lp);
    }
    btCancelApp_->setVisible(kind_ & kMsgError);
    bevel_->setVisible(kind_ & kMsgError);
}

QPushButton* TFormMessage::AddCallerButton(int number, const QString& caption) {
    auto* b = new QPushButton(caption);
    b->setObjectName(QString("bt%1").arg(number));
    b->setProperty("tag", number);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(caption) + 16);
    connect(b, &QPushButton::clicked, this, Command([this, number] { Answer(number); }));
    return b;
}

void TFormMessage::LayOut() {
    const QRect screen = ScreenOf(this);
    const int frameW = std::max(0, frameGeometry().width() - width());
    const int frameH = std::max(0, frameGeometry().height() - height());
    const int maxW = std::max(kMinWidth, screen.width() * 9 / 10 - frameW - 16);
    const int maxH = std::max(kMinHeight, screen.height() * 9 / 10 - frameH - 16);

    auto* row = pnButton_->findChild<QHBoxLayout*>("rowButtons");
    delete callerScroll_;
    callerScroll_ = nullptr;
    for (QPushButton* b : pnButton_->findChildren<QPushButton*>())
        if (b->property("tag").isValid()) delete b;
    callerPanel_ = nullptr;
    stacked_ = false;

    int buttonsWidth = 0;
    if (captions_.empty()) {
        btOk_->setVisible(kind_ & (kMsgOk | kMsgYes));
        btOk_->setText(kind_ & (kMsgYes | kMsgNo) ? ToQ("Да"_a) : QString("Ok"));
        btCancel_->setVisible(kind_ & (kMsgCancel | kMsgNo));
        btCancel_->setText(kind_ & kMsgNo ? ToQ("Нет"_a) : ToQ("Отменить"_a));
        btOk_->setDefault(btOk_->isVisibleTo(this));
        buttonsWidth = btOk_->sizeHint().width() + btCancel_->sizeHint().width() + 16;
    } else {
        btOk_->hide();
        btCancel_->hide();
        std::vector<QPushButton*> made;
        int rowWidth = 0, widest = 0;
        for (size_t i = 0; i < captions_.size(); ++i) {
            QPushButton* b = AddCallerButton(static_cast<int>(i + 1), ToQ(captions_[i]));
            made.push_back(b);
            rowWidth += b->width() + (i ? 16 : 0);
            widest = std::max(widest, b->width());
        }
        stacked_ = rowWidth + 16 > (kMinWidth + maxW) / 2;
        if (!stacked_) {
            int at = row->count() - 1;  // before the closing stretch
            for (QPushButton* b : made) row->insertWidget(at++, b);
            buttonsWidth = rowWidth;
        } else {
            callerScroll_ = new QScrollArea(pnButton_);
            callerScroll_->setObjectName("sbButtons");
            callerScroll_->setFrameShape(QFrame::NoFrame);
            callerScroll_->setWidgetResizable(true);
            callerPanel_ = new QWidget;
            callerPanel_->setObjectName("pnChoice");
            auto* col = new QVBoxLayout(callerPanel_);
            col->setContentsMargins(0, 0, 0, 0);
            col->setSpacing(4);
            for (QPushButton* b : made) {
                b->setFixedWidth(widest);
                col->addWidget(b, 0, Qt::AlignHCenter);
            }
            callerScroll_->setWidget(callerPanel_);
            const int panelH = std::min(callerPanel_->sizeHint().height(), screen.height() * 2 / 3);
            callerScroll_->setFixedHeight(panelH);
            static_cast<QVBoxLayout*>(pnButton_->layout())->addWidget(callerScroll_);
            buttonsWidth = widest + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        }
        made.front()->setDefault(true);
    }

    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    int want = std::max({WidestLine(lbWarn_->fontMetrics(), lbWarn_->text()),
                         lbWarnInform_->isVisibleTo(this)
                             ? WidestLine(lbWarnInform_->fontMetrics(), lbWarnInform_->text())
                             : 0,
                         lbHeader_->sizeHint().width(), buttonsWidth});
    const int w = std::clamp(want + 2 * kLeft + scrollBar + 8, kMinWidth, maxW);
    const int bodyW = w - scrollBar;
    QWidget* content = sb_->widget();
    const int bodyH = std::max(content->layout()->hasHeightForWidth()
                                   ? content->layout()->heightForWidth(bodyW)
                                   : content->sizeHint().height(),
                               sb_->minimumSizeHint().height());
    pnButton_->layout()->activate();
    const int h = std::clamp(pnHeader_->sizeHint().height() + bodyH +
                                 pnButton_->sizeHint().height(),
                             kMinHeight, maxH);
    setMinimumSize(kMinWidth, kMinHeight);
    setMaximumSize(maxW, maxH);
    resize(w, h);
    move(screen.center() - QPoint(w / 2, h / 2));

    if (QPushButton* first = captions_.empty() ? btOk_ : pnButton_->findChild<QPushButton*>("bt1"))
        if (first->isVisibleTo(this)) first->setFocus();
}

int TFormMessage::Run() {
    result_ = -1;
    LayOut();
    timer_->start();
    exec();
    timer_->stop();
    QCoreApplication::processEvents();
    return result_;
}

void TFormMessage::Answer(int result) {
    result_ = result;
    done(result == 2 && captions_.empty() ? QDialog::Rejected : QDialog::Accepted);
}

int TFormMessage::EscapeAnswer() const {
    MessageRequest r;
    r.buttons = captions_;
    r.escapeResult = escapeResult_;
    return r.NoAnswerResult();
}

void TFormMessage::TimerTick() {
    if (!isVisible()) {
        timer_->stop();
        done(QDialog::Rejected);
        return;
    }
    if (!isActiveWindow()) activateWindow();
}

void TFormMessage::keyPressEvent(QKeyEvent* e) {
    if (keyPreview_ && e->key() == Qt::Key_F4) {
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        if (keyPreview_) {
            result_ = EscapeAnswer();
            done(QDialog::Rejected);
        }
        return;
    }
    QDialog::keyPressEvent(e);
}

void TFormMessage::closeEvent(QCloseEvent* e) {
    // Closed by the window manager: no answer.
    e->accept();
    QDialog::closeEvent(e);
}

}  // namespace hv
