// One wrapper for every slot: an exception that left a slot would end the
// process and save nothing. RunCommand shows an error with ShowError,
// swallows the silent abort (EAbort) and puts back the cursors the command
// set; THalvoraApplication::notify catches what still gets through.
#pragma once

#include <QApplication>
#include <functional>
#include <type_traits>
#include <utility>

namespace hv {

void RunCommand(const std::function<void()>& body) noexcept;

// A slot body wrapped in RunCommand; the signal's arguments are passed on
// when the body takes them.
//   connect(btOk, &QPushButton::clicked, this, Command([this] { Accept(); }));
template <class F>
auto Command(F f) {
    return [f = std::move(f)](auto&&... args) mutable {
        RunCommand([&] {
            if constexpr (std::is_invocable_v<F&, decltype(args)...>)
                f(std::forward<decltype(args)>(args)...);
            else
                f();
        });
    };
}

// The application-wide override cursor, counted so that RunCommand can put
// back what a failed command left.
void PushCursor(Qt::CursorShape shape);
void PopCursor();
int CursorDepth();

class TCursorGuard {
  public:
    explicit TCursorGuard(Qt::CursorShape shape = Qt::WaitCursor) { PushCursor(shape); }
    ~TCursorGuard() { PopCursor(); }
    TCursorGuard(const TCursorGuard&) = delete;
    TCursorGuard& operator=(const TCursorGuard&) = delete;
};

class THalvoraApplication : public QApplication {
  public:
    THalvoraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The refusal sound of dropped keystrokes; counted for tests.
void Beep();
int BeepCount();

// Ends the application's main loop: Terminating is set and the loop quits.
void TerminateApplication();
// Ends the process at once, without the shut-down step (the end-program
// buttons). Tests replace it.
extern std::function<void()> EndProcessNow;

}  // namespace hv
