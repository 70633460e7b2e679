#include <QEvent>
#include <QPushButton>
#include <stdexcept>

#include "UiFixture.h"
#include "dialogs/Messages.h"
#include "ui/Command.h"

namespace hv::test {
namespace {

class Thrower : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("from an event handler");
        return QObject::event(e);
    }
};

class CommandTest : public UiTest {};

// An exception that left a slot would end the process and save nothing.
TEST_F(CommandTest, ExceptionNeverLeavesASlot) {
    responder_ = std::make_unique<ScriptedResponder>();
    const std::pair<std::function<void()>, Lines> rows[] = {
        // the slot, the errors shown
        {[] { throw Exception(A("Нет диска|A:")); }, {"Нет диска|A:"}},
        {[] { throw EAbort(); }, {}},  // the silent abort is swallowed
        {[] { throw 42; }, {"Непредвиденная ошибка"}},
        {[] { ShowErrorAbort("once"); }, {"once"}},
    };
    for (const auto& [body, shown] : rows) {
        responder_->Clear();
        QPushButton button;
        QObject::connect(&button, &QPushButton::clicked, &button, Command([&] {
            PushCursor(Qt::WaitCursor);
            PushCursor(Qt::BusyCursor);
            body();
        }));
        button.click();
        EXPECT_EQ(Said("ShowError"), shown);
        EXPECT_EQ(CursorDepth(), 0);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    // The application's backstop for handlers outside the wrapper.
    responder_->Clear();
    Thrower t;
    QEvent e(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&t, &e));
    EXPECT_EQ(Said("ShowError"), Lines{"from an event handler"});
}

}  // namespace
}  // namespace hv::test
