// The message windows, and errors that reach them from the slots of any window.
#include <QEvent>
#include <functional>
#include <stdexcept>

#include "UiFixture.h"
#include "dialogs/FormMessage.h"
#include "settings/WorkDirs.h"
#include "ui/Command.h"
#include "ui/Label3D.h"
#include "util/Exception.h"

namespace hv::test {
namespace {

class FormMessageTest : public UiTest {
  protected:
    // What a message window shows: caption / banner / heading / text / the
    // visible buttons in reading order as name=caption, "end" for the
    // end-program button and "stacked" when the buttons are.
    static QString Look(TFormMessage* f) {
        auto* heading = Find<QLabel>(f, "lbWarnInform");
        QStringList seen{f->windowTitle(), Find<TLabel3D>(f, "lbHeader")->text(),
                         heading->isVisibleTo(f) ? heading->text() : "",
                         Find<QLabel>(f, "lbWarn")->text()};
        QList<QPushButton*> all = f->findChild<QWidget*>("pnButton")->findChildren<QPushButton*>();
        const auto at = [](QPushButton* b) {
            const QPoint p = b->mapTo(b->window(), QPoint());
            return p.y() * 10000 + p.x();
        };
        std::sort(all.begin(), all.end(),
                  [&](QPushButton* a, QPushButton* b) { return at(a) < at(b); });
        // A button squeezed out of sight by the text is marked.
        for (QPushButton* b : all)
            if (b->isVisibleTo(f))
                seen << b->objectName() + "=" + b->text() +
                            (b->visibleRegion().boundingRect().size() == b->size() ? "" : " (cut)");
        if (f->Stacked()) seen << "stacked";
        if (f->findChild<QPushButton*>("btCancelApp")->isVisibleTo(f)) seen << "end";
        return seen.join(" / ");
    }
};

// Every message function: what its window shows and what each way of
// answering returns. F4 and Alt+F4 are swallowed before every answer.
TEST_F(FormMessageTest, FunctionsShowTheirWindowAndReturnTheirAnswer) {
    // Five long captions are stacked.
    const std::string caption = A("Записать архив на другую дискету и продолжить копирование");
    MsgButtons five;
    std::string stacked;
    for (char i = '1'; i <= '5'; ++i)
        five.push_back(caption + i),
            stacked += std::string(" / bt") + i + "=" + AnsiToUtf8(caption) + i;
    struct Row {
        std::function<int()> call;
        std::string answer;  // a button clicked, "Esc", "close" (the window manager), "Esc, close"
        int expected;
        std::string shown;  // as Look gives it
    } rows[] = {
        {[&] { return ChooseButton("H", "T", five); }, "bt5", 5,
         "Halvora / Выбор пункта / H / T" + stacked + " / stacked"},
        {[] { return int(ShowError(A("Сбой|Нет файла"))); }, "btOk", 1,
         "Halvora / Ошибка !!! / Сбой / Нет файла / btOk=Ok / end"},
        {[] { return int(ShowInfo(A("Готово"))); }, "Esc", 1,
         "Halvora / Внимание !!! /  / Готово / btOk=Ok"},
        {[] { return int(AskYesNo(A("Вопрос"), A("Текст"), 0)); }, "Esc", 0,
         "  / Выберите \"ДА\" или \"НЕТ\" / Вопрос / Текст / btOk=Да / btCancel=Нет"},
        {[] { return int(AskYesNo(A("Вопрос"), "", 1)); }, "Esc", 1,
         "  / Выберите \"ДА\" или \"НЕТ\" / Вопрос /  / btOk=Да / btCancel=Нет"},
        {[] { return int(AskYesNo("Q", "", 1)); }, "btCancel", 0,
         "  / Выберите \"ДА\" или \"НЕТ\" / Q /  / btOk=Да / btCancel=Нет"},
        {[] { return int(AskYesNo("Q", "", 0)); }, "btOk", 1,
         "  / Выберите \"ДА\" или \"НЕТ\" / Q /  / btOk=Да / btCancel=Нет"},
        {[] { return int(ConfirmDelete(A("Удалить проект"), RawText("D:\\notes|x"))); }, "Esc", 0,
         "ВНИМАНИЕ !!! / Удаление данных / Удалить проект / D:\\notes|x\n\nВы уверены в "
         "необходимости удаления ?\n\nВНИМАНИЕ:  Удаленные данные восстановлению не подлежат !!! "
         "/ btOk=Да / btCancel=Нет"},
        {[] { return MessageDialog("", "", A("Заголовок"), 0, {}, A("Текст")); }, "btCancel", 2,
         "Halvora / Выбор пункта / Заголовок / Текст / btOk=Да / btCancel=Нет"},
        {[] { return MessageDialog(A("Окно"), A("Баннер"), "", 16 | 128, {}, "T\\nU"); }, "Esc", 1,
         "Окно / Баннер /  / T\nU / btOk=Ok / btCancel=Отменить"},
        {[] {
             return ChooseButton("H", "T", {A("Один"), A("Два"), A("Три")});
         },
         "bt2", 2, "Halvora / Выбор пункта / H / T / bt1=Один / bt2=Два / bt3=Три"},
        {[] {
             return ChooseButton("H", "T", {1, A("Повторить"), A("Отменить")});
         },
         "Esc, close", -1, "Halvora / Выбор пункта / H / T / bt1=Повторить / bt2=Отменить"},
        {[] {
             return ChooseButtonWarn("H", "", {A("Да"), A("Нет")});
         },
         "bt1", 1, "Halvora / Ошибка !!! / H /  / bt1=Да / bt2=Нет / end"},
        {[] { return ChooseButton("H", "T", {A("Проверить другую")}); }, "close", -1,
         "Halvora / Выбор пункта / H / T / bt1=Проверить другую"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.shown);
        QString seen;
        OnNextModal([&](QWidget* w) {
            auto* f = qobject_cast<TFormMessage*>(w);
            ASSERT_NE(f, nullptr);
            seen = Look(f);
            Press(QApplication::focusWidget(), Qt::Key_F4);
            Press(QApplication::focusWidget(), Qt::Key_F4, Qt::AltModifier);
            EXPECT_TRUE(f->isVisible()) << "F4 closed it";
            if (r.answer.rfind("Esc", 0) == 0) Press(QApplication::focusWidget(), Qt::Key_Escape);
            EXPECT_TRUE(r.answer != "Esc, close" || f->isVisible()) << "Esc closed it";
            if (r.answer.find("close") != std::string::npos) f->close();
            if (r.answer.rfind("bt", 0) == 0) Click(f, r.answer.c_str());
        });
        EXPECT_EQ(r.call(), r.expected);
        EXPECT_TRUE(ModalActsDone());
        EXPECT_EQ(seen.toStdString(), r.shown);
    }
    EXPECT_THROW(ChooseButton("H", "T", {"A", 2}), Exception);  // and no window shown
}

// A box whose owner was hidden closes itself with no answer at the next
// check, and a box that lost the focus gets it back.
TEST_F(FormMessageTest, HiddenBoxClosesWithoutAnAnswer) {
    OnNextModal([](QWidget* w) {
        auto* f = qobject_cast<TFormMessage*>(w);
        f->TimerTick();  // visible: stays
        EXPECT_TRUE(f->isVisible());
        f->hide();
        f->TimerTick();
    });
    EXPECT_EQ(ChooseButton("H", "T", {A("Повторить"), A("Отменить")}), -1);
    OnNextModal([](QWidget* w) {
        w->hide();
        qobject_cast<TFormMessage*>(w)->TimerTick();
    });
    EXPECT_FALSE(AskYesNo("Q", "", 1));
}

TEST_F(FormMessageTest, EndProgramButtonAsksAndEndsOnlyOnYes) {
    int ended = 0;
    auto saved = EndProcessNow;
    EndProcessNow = [&] { ++ended; };
    for (bool yes : {false, true}) {
        OnNextModal([&](QWidget* w) {
            Click(w, "btCancelApp");  // the question runs inside the click
            EXPECT_EQ(w->isVisible(), !yes);
            if (w->isVisible()) Click(w, "btOk");
        });
        OnNextModal([&](QWidget* box) {
            // The platform's box: "Нет" is the default.
            EXPECT_TRUE(box->findChild<QPushButton*>("btNo")->isDefault());
            Click(box, yes ? "btYes" : "btNo");
        });
        ShowError("boom");
    }
    EndProcessNow = saved;
    EXPECT_EQ(ended, 1);
    workdirs::SetTerminating(false);
}

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
