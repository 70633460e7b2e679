#include <QEvent>
#include <QPushButton>
#include <stdexcept>

#include "UiFixture.h"
#include "dialogs/Messages.h"
#include "dialogs/ScriptedResponder.h"
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
    ScriptedResponder responder;
    QPushButton button;
    struct Row {
        const char* name;
        std::function<void()> body;
        std::vector<std::string> shown;
    } rows[] = {
        {"an error is shown", [] { throw Exception(A("Нет диска|A:")); }, {A("Нет диска|A:")}},
        {"the silent abort is swallowed", [] { throw EAbort(); }, {}},
        {"any other exception", [] { throw 42; }, {A("Непредвиденная ошибка")}},
        {"ShowErrorAbort shows once", [] { ShowErrorAbort("once"); }, {"once"}},
    };
    for (const Row& r : rows) {
        responder.Clear();
        QObject::disconnect(&button, nullptr, nullptr, nullptr);
        QObject::connect(&button, &QPushButton::clicked, &button, Command([&] {
                             PushCursor(Qt::WaitCursor);
                             PushCursor(Qt::BusyCursor);
                             r.body();
                         }));
        button.click();
        std::vector<std::string> shown;
        for (const auto& req : responder.RequestsOf("ShowError")) shown.push_back(req.message);
        EXPECT_EQ(shown, r.shown) << r.name;
        EXPECT_EQ(CursorDepth(), 0) << r.name;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << r.name;
    }

    // The application's backstop for handlers outside the wrapper.
    responder.Clear();
    Thrower t;
    QEvent e(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&t, &e));
    ASSERT_EQ(responder.Records().size(), 1u);
    EXPECT_EQ(responder.Records()[0].request.message, "from an event handler");
}

}  // namespace
}  // namespace hv::test
