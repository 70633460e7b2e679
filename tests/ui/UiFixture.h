// The shared fixture of the window tests: one offscreen application for the
// test program, a temporary program directory D:\Prog\ (settings file there)
// over the drive map of TempTree, the message functions shown in real
// windows, and helpers to find controls by object name, to click, type and
// press keys, to answer modal windows and to save screenshots.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "dialogs/QtMessages.h"
#include "support/TempTree.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace hv::test {

// The application of the test program, created on first use (offscreen).
QApplication& App();

class UiTest : public TempTree {
  protected:
    void SetUp() override;
    void TearDown() override;

    // POSIX path of the settings file.
    std::string SettingsFile() const;
    // Simulates a new start: the settings document dropped and the fonts read again.
    void Restart();

    // The control named Name below Root; a test failure when there is none.
    template <class T = QWidget>
    static T* Find(const QWidget* root, const char* name) {
        T* w = root ? root->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        if (!w) ADD_FAILURE() << "no control " << name;
        return w;
    }
    static void Click(const QWidget* root, const char* name);
    // UTF-8 text typed key by key into W.
    static void Type(QWidget* w, const char* utf8);
    static void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier);

    // Act runs on the next modal window that comes up (nested ones included),
    // in the order queued. A modal window nobody queued an act for is a test
    // failure and is closed, so a test never hangs.
    static void OnNextModal(std::function<void(QWidget*)> act);
    // Every queued act has run.
    static bool ModalActsDone();

    // Renders W to <build>/shots/<Name>.png; the path.
    static std::string Shot(QWidget* w, const std::string& name);

  private:
    std::unique_ptr<TQtMessageHandler> messages_;
    std::string savedCwd_;
    std::string savedProgramDir_;
};

// UTF-8 -> 1251 for test texts.
std::string A(const char* utf8);

}  // namespace hv::test
