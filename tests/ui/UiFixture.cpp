#include "UiFixture.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QImage>
#include <QSet>
#include <QUrl>
#include <deque>
#include <filesystem>
#include <vector>

#include "platform/CodePage.h"
#include "settings/Fonts.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"
#include "ui/Command.h"

namespace hv::test {

namespace {

// Runs the queued acts on modal windows as they are shown (a window shown
// again is a new one); a modal window nobody expects, or one its act left
// open, is a test failure and is closed after a while, so a test never hangs.
class ModalWatch : public QObject {
  public:
    std::deque<std::function<void(QWidget*)>> acts;
    bool active = false;

    bool eventFilter(QObject* o, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(o);
        if (!active || e->type() != QEvent::Show || !w || !w->isWindow() || !w->isModal())
            return false;
        const int serial = ++shows_;
        w->setProperty("testShow", serial);
        QPointer<QWidget> target = w;
        if (acts.empty()) return CloseLater(target, serial, "unexpected modal window "), false;
        // Run from a timer, inside the window's own event loop, once it has the focus.
        QTimer::singleShot(0, w, [this, target, serial, act = std::move(acts.front())] {
            if (!QTest::qWaitForWindowActive(target)) ADD_FAILURE() << "never active";
            if (target) act(target);
            CloseLater(target, serial, "modal window left open: ");
        });
        acts.pop_front();
        return false;
    }

  private:
    static void CloseLater(QPointer<QWidget> w, int serial, const char* what) {
        QTimer::singleShot(5000, [w, serial, what] {
            if (!w || !w->isVisible() || w->property("testShow").toInt() != serial) return;
            ADD_FAILURE() << what << w->objectName().toStdString();
            if (auto* d = qobject_cast<QDialog*>(w.data()))
                d->reject();
            else
                w->close();
        });
    }
    int shows_ = 0;
};

ModalWatch& Modals() {
    static ModalWatch* watch = [] {
        auto* m = new ModalWatch;
        App().installEventFilter(m);
        return m;
    }();
    return *watch;
}

}  // namespace

QApplication& App() {
    static THalvoraApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "halvora-test";
        static char* argv[] = {name, nullptr};
        return new THalvoraApplication(argc, argv);
    }();
    return *app;
}

void UiTest::SetUp() {
    App();
    TempTree::SetUp();
    char cwd[4096];
    savedCwd_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
    savedProgramDir_ = workdirs::ProgramDir();
    CreateDir("d/Prog");
    CloseSettingsIni();
    workdirs::InitWorkDirs("D:\\Prog\\");
    LoadFonts();
    messages_ = std::make_unique<TQtMessageHandler>();
    Modals().acts.clear();
    Modals().active = true;
}

void UiTest::TearDown() {
    responder_.reset();
    EXPECT_TRUE(Modals().acts.empty()) << Modals().acts.size() << " modal acts never ran";
    Modals().acts.clear();
    Modals().active = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) w->hide();
    QCoreApplication::processEvents();
    messages_.reset();
    CloseSettingsIni();
    if (chdir(savedCwd_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << savedCwd_;
    workdirs::SetProgramDir(savedProgramDir_);
    TempTree::TearDown();
}

void UiTest::ExpectSettingsHold(const Lines& texts) const {
    const std::string ini = ReadPosixFile(SettingsFile());
    for (const auto& t : texts) EXPECT_NE(ini.find(t), std::string::npos) << t << "\n" << ini;
}

void UiTest::Restart() {
    CloseSettingsIni();
    LoadFonts();
}

void UiTest::Click(const QWidget* root, const char* name) {
    if (QWidget* w = Find<QWidget>(root, name)) QTest::mouseClick(w, Qt::LeftButton);
}

void UiTest::Type(QWidget* w, const char* utf8) {
    for (QChar c : QString::fromUtf8(utf8)) {
        if (c.unicode() < 0x80)
            QTest::keyClick(w, static_cast<char>(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void UiTest::OnNextModal(std::function<void(QWidget*)> act) {
    Modals().acts.push_back(std::move(act));
}

bool UiTest::ModalActsDone() {
    return Modals().acts.empty();
}

QString UiTest::Shown(const QWidget* root, const char* name) {
    QWidget* w = Find<QWidget>(root, name);
    if (auto* c = qobject_cast<QCheckBox*>(w)) return c->isChecked() ? "1" : "0";
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
    if (auto* l = qobject_cast<QListWidget*>(w)) {
        QStringList rows;
        for (int i = 0; i < l->count(); ++i) rows << l->item(i)->text();
        return rows.join('|');
    }
    return w ? w->property("text").toString() : QString();
}

QString UiTest::Shown(const QWidget* root, std::initializer_list<const char*> names) {
    QStringList out;
    for (const char* name : names) out << Shown(root, name);
    return out.join(" / ");
}

QStringList UiTest::Column(const QAbstractItemView* v, int column, int role) {
    QStringList out;
    for (int i = 0; v && i < v->model()->rowCount(); ++i)
        out << v->model()->index(i, column).data(role).toString();
    return out;
}

void UiTest::ClickIndex(QAbstractItemView* v, const QModelIndex& index, bool twice) {
    v->scrollTo(index);
    const QPoint at = v->visualRect(index).center();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at);
    if (!twice) return;
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(v->viewport(), Qt::LeftButton, {}, at);
}

bool UiTest::Drop(QWidget* w, QMimeData* mime, QPoint pos, Qt::DropAction action) {
    std::unique_ptr<QMimeData> owned(mime);
    if (auto* v = qobject_cast<QAbstractItemView*>(w)) w = v->viewport();
    QDragEnterEvent enter(pos, action, mime, Qt::LeftButton, {});
    QApplication::sendEvent(w, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(pos), action, mime, Qt::LeftButton, {});
    QApplication::sendEvent(w, &drop);
    return drop.isAccepted();
}

QMimeData* UiTest::Urls(const std::vector<std::string>& posixPaths) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const auto& p : posixPaths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    mime->setUrls(urls);
    return mime;
}

void UiTest::AnswerFileDialog(const std::string& typed, const std::string& dir) {
    OnNextModal([=](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_TRUE(d);
        if (!dir.empty()) d->setDirectory(QString::fromStdString(dir));
        // Typed into its name field, as a person does.
        if (!typed.empty())
            Find<QLineEdit>(d, "fileNameEdit")->setText(QString::fromStdString(typed));
        static_cast<QDialog*>(d)->accept();  // as its "Open" or "Save" button
    });
}

void UiTest::Shot(QWidget* w, const std::string& name) {
    const std::string dir = std::string(HALVORA_BINARY_DIR) + "/shots";
    std::filesystem::create_directories(dir);
    w->show();
    QCoreApplication::processEvents();
    const QImage img = w->grab().toImage();
    ASSERT_TRUE(img.save(QString::fromStdString(dir + "/" + name + ".png"))) << name;
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3) colours.insert(img.pixel(x, y));
    EXPECT_GT(colours.size(), 3) << name << ": nothing drawn";
    for (QWidget* c : w->findChildren<QWidget*>()) {
        if (!c->isVisible()) continue;
        QString text;
        if (auto* l = qobject_cast<QLabel*>(c)) text = l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(c)) text = b->text();
        if (auto* e = qobject_cast<QLineEdit*>(c)) text = e->displayText();
        if (auto* m = qobject_cast<QPlainTextEdit*>(c)) text = m->toPlainText();
        const QFontMetrics fm(c->font());
        for (QChar ch : text)
            if (!ch.isSpace() && !fm.inFontUcs4(ch.unicode()))
                ADD_FAILURE() << name << ": " << c->objectName().toStdString() << " cannot draw U+"
                              << std::hex << int(ch.unicode());
    }
}

std::vector<std::string> UiTest::Said(const char* function) const {
    std::vector<std::string> out;
    if (responder_)
        for (const MessageRequest& r : responder_->RequestsOf(function))
            out.push_back(AnsiToUtf8(r.heading.empty() ? r.text : r.heading + "|" + r.text));
    return out;
}

}  // namespace hv::test
