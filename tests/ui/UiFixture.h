// The shared fixture of the window tests: one offscreen application for the
// test program, a temporary program directory D:\Prog\ (settings file there)
// over the drive map of TempTree, the message functions shown in real
// windows, and helpers to find controls by object name, to click, type, press
// keys and drop, to answer modal windows and to save screenshots.
#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "dialogs/QtMessages.h"
#include "dialogs/ScriptedResponder.h"
#include "platform/CodePage.h"
#include "support/TempTree.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace hv::test {

// Messages as Said gives them, in order.
using Lines = std::vector<std::string>;

// The application of the test program, created on first use (offscreen).
QApplication& App();

class UiTest : public TempTree {
  protected:
    void SetUp() override;
    void TearDown() override;

    // POSIX path of the settings file.
    std::string SettingsFile() const { return Root() + "/d/Prog/halvora.ini"; }
    // The settings file holds each of Texts.
    void ExpectSettingsHold(const Lines& texts) const;
    // Simulates a new start: the settings document dropped and the fonts read again.
    void Restart();

    // The control named Name below Root; a test failure when there is none.
    template <class T = QWidget>
    static T* Find(const QWidget* root, const char* name) {
        T* w = root ? root->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        if (!w) ADD_FAILURE() << "no control " << name;
        return w;
    }
    // What the control shows: the text of an edit, label, memo or button, a
    // combo box's current text, "1"/"0" for a check box, list rows joined by "|".
    static QString Shown(const QWidget* root, const char* name);
    // The Shown texts of several controls, joined by " / ".
    static QString Shown(const QWidget* root, std::initializer_list<const char*> names);
    // The texts (or Role data) of one column of a view, top to bottom.
    static QStringList Column(const QAbstractItemView* v, int column = 0,
                              int role = Qt::DisplayRole);
    static void Click(const QWidget* root, const char* name);
    // A click on the row of Index; Twice: a double click follows it.
    static void ClickIndex(QAbstractItemView* v, const QModelIndex& index, bool twice = false);
    // UTF-8 text typed key by key into W.
    static void Type(QWidget* w, const char* utf8);
    static void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(w, key, mods);
    }
    // Mime (owned) dragged over W, a view's viewport for a view, and dropped at
    // Pos; whether the drop was taken.
    static bool Drop(QWidget* w, QMimeData* mime, QPoint pos = {4, 4},
                     Qt::DropAction action = Qt::CopyAction);
    // Files as the desktop's file manager drags them.
    static QMimeData* Urls(const std::vector<std::string>& posixPaths);

    // Act runs on the next modal window that comes up (nested ones included),
    // in the order queued. A modal window nobody queued an act for is a test
    // failure and is closed, so a test never hangs.
    static void OnNextModal(std::function<void(QWidget*)> act);
    // Every queued act has run.
    static bool ModalActsDone();
    // The next modal window is a file dialog: Typed in its name field (in Dir
    // when given), then accepted.
    static void AnswerFileDialog(const std::string& typed, const std::string& dir = {});

    // Shows W, renders it to <build>/shots/<Name>.png and checks that something
    // is drawn and that every visible text has its letters in its font.
    static void Shot(QWidget* w, const std::string& name);

    // The recorded messages of one function ("ShowError", ...), UTF-8
    // "heading|text" (the text alone without a heading).
    std::vector<std::string> Said(const char* function) const;

    // Set by a fixture that answers messages from a script instead of windows.
    std::unique_ptr<ScriptedResponder> responder_;

  private:
    std::unique_ptr<TQtMessageHandler> messages_;
    std::string savedCwd_;
    std::string savedProgramDir_;
};

// UTF-8 -> 1251 for test texts.
inline std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

}  // namespace hv::test
