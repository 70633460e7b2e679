#include "ui/Command.h"

#include <QCursor>
#include <cstdlib>
#include <exception>

#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "settings/WorkDirs.h"

namespace hv {

namespace {

int gCursorDepth = 0;
int gBeeps = 0;

void ShowFailure(const char* what) noexcept {
    try {
        ShowError(what && *what ? std::string(what) : std::string("Непредвиденная ошибка"_a));
    } catch (...) {
        // Nothing is left to tell it with.
    }
}

// Runs Body; true when it ended normally.
bool Guarded(const std::function<void()>& body) noexcept {
    try {
        body();
        return true;
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        ShowFailure(e.what());
    } catch (...) {
        ShowFailure(nullptr);
    }
    return false;
}

}  // namespace

std::function<void()> EndProcessNow = [] { std::_Exit(0); };

void PushCursor(Qt::CursorShape shape) {
    QApplication::setOverrideCursor(QCursor(shape));
    ++gCursorDepth;
}

void PopCursor() {
    if (gCursorDepth == 0) return;
    --gCursorDepth;
    QApplication::restoreOverrideCursor();
}

int CursorDepth() { return gCursorDepth; }

void RunCommand(const std::function<void()>& body) noexcept {
    const int depth = gCursorDepth;
    Guarded(body);
    while (gCursorDepth > depth) PopCursor();
}

THalvoraApplication::THalvoraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool THalvoraApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    const int depth = gCursorDepth;
    if (!Guarded([&] { handled = QApplication::notify(receiver, event); }))
        while (gCursorDepth > depth) PopCursor();
    return handled;
}

void Beep() {
    ++gBeeps;
    QApplication::beep();
}

int BeepCount() { return gBeeps; }

void TerminateApplication() {
    workdirs::SetTerminating(true);
    QCoreApplication::quit();
}

}  // namespace hv
