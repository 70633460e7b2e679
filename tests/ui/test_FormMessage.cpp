#include <QLabel>
#include <QPushButton>
#include <functional>

#include "UiFixture.h"
#include "dialogs/FormMessage.h"
#include "dialogs/Messages.h"
#include "settings/WorkDirs.h"
#include "ui/Command.h"
#include "ui/Label3D.h"
#include "util/Exception.h"

namespace hv::test {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// What a message window showed.
struct Seen {
    QString caption, banner, heading, text;
    QStringList buttons;  // "name=caption" of the visible buttons, in order
    bool endButton = false;
    bool stillOpenAfterF4 = false;
};

Seen Look(TFormMessage* f) {
    Seen s;
    s.caption = f->windowTitle();
    s.banner = f->findChild<TLabel3D*>("lbHeader")->text();
    auto* heading = f->findChild<QLabel*>("lbWarnInform");
    s.heading = heading->isVisibleTo(f) ? heading->text() : QString();
    s.text = f->findChild<QLabel*>("lbWarn")->text();
    QList<QPushButton*> all = f->findChild<QWidget*>("pnButton")->findChildren<QPushButton*>();
    std::sort(all.begin(), all.end(), [](QPushButton* a, QPushButton* b) {
        return a->mapTo(a->window(), QPoint()).x() + a->mapTo(a->window(), QPoint()).y() * 10000 <
               b->mapTo(b->window(), QPoint()).x() + b->mapTo(b->window(), QPoint()).y() * 10000;
    });
    for (QPushButton* b : all)
        if (b->isVisibleTo(f)) s.buttons << b->objectName() + "=" + b->text();
    s.endButton = f->findChild<QPushButton*>("btCancelApp")->isVisibleTo(f);
    return s;
}

enum class Do { Click, Esc, F4ThenClick, WindowClose, EscThenClose };

class FormMessageTest : public UiTest {};

// Every message function: what its window shows and what each way of
// answering returns.
TEST_F(FormMessageTest, FunctionsShowTheirWindowAndReturnTheirAnswer) {
    struct Row {
        const char* name;
        std::function<int()> call;
        Do action;
        const char* button;  // clicked, for Click and F4ThenClick
        int expected;
        QString caption, banner, heading, text;
        QStringList buttons;
        bool endButton;
    };
    const QString yesNo[] = {"btOk=" + U("Да"), "btCancel=" + U("Нет")};
    const Row rows[] = {
        {"ShowError, Ok", [] { return int(ShowError(A("Сбой|Нет файла"))); }, Do::Click, "btOk", 1,
         "Halvora", U("Ошибка !!!"), U("Сбой"), U("Нет файла"), {"btOk=Ok"}, true},
        {"ShowInfo, Esc gives Ok", [] { return int(ShowInfo(A("Готово"))); }, Do::Esc, nullptr, 1,
         "Halvora", U("Внимание !!!"), "", U("Готово"), {"btOk=Ok"}, false},
        {"ShowInfo, F4 swallowed", [] { return int(ShowInfo(A("Готово"))); }, Do::F4ThenClick,
         "btOk", 1, "Halvora", U("Внимание !!!"), "", U("Готово"), {"btOk=Ok"}, false},
        {"AskYesNo escape 0, Esc is no", [] { return int(AskYesNo(A("Вопрос"), A("Текст"), 0)); },
         Do::Esc, nullptr, 0, " ", U("Выберите \"ДА\" или \"НЕТ\""), U("Вопрос"), U("Текст"),
         {yesNo[0], yesNo[1]}, false},
        {"AskYesNo escape 1, Esc is yes", [] { return int(AskYesNo(A("Вопрос"), "", 1)); }, Do::Esc,
         nullptr, 1, " ", U("Выберите \"ДА\" или \"НЕТ\""), U("Вопрос"), "", {yesNo[0], yesNo[1]},
         false},
        {"AskYesNo, Нет", [] { return int(AskYesNo("Q", "", 1)); }, Do::Click, "btCancel", 0, " ",
         U("Выберите \"ДА\" или \"НЕТ\""), "Q", "", {yesNo[0], yesNo[1]}, false},
        {"AskYesNo, F4 swallowed then Да", [] { return int(AskYesNo("Q", "", 0)); },
         Do::F4ThenClick, "btOk", 1, " ", U("Выберите \"ДА\" или \"НЕТ\""), "Q", "",
         {yesNo[0], yesNo[1]}, false},
        {"ConfirmDelete, Esc is no",
         [] { return int(ConfirmDelete(A("Удалить проект"), RawText("D:\\notes|x"))); }, Do::Esc,
         nullptr, 0, U("ВНИМАНИЕ !!!"), U("Удаление данных"), U("Удалить проект"),
         U("D:\\notes|x\n\nВы уверены в необходимости удаления ?\n\nВНИМАНИЕ:  Удаленные данные "
           "восстановлению не подлежат !!!"),
         {yesNo[0], yesNo[1]}, false},
        {"MessageDialog kind 0 is 288",
         [] { return MessageDialog("", "", A("Заголовок"), 0, {}, A("Текст")); }, Do::Click,
         "btCancel", 2, "Halvora", U("Выбор пункта"), U("Заголовок"), U("Текст"),
         {yesNo[0], yesNo[1]}, false},
        {"MessageDialog caption, banner, Ok+Cancel",
         [] { return MessageDialog(A("Окно"), A("Баннер"), "", 16 | 128, {}, "T\\nU"); }, Do::Esc,
         nullptr, 1, U("Окно"), U("Баннер"), "", "T\nU", {"btOk=Ok", "btCancel=" + U("Отменить")},
         false},
        {"ChooseButton, second button",
         [] { return ChooseButton("H", "T", {A("Один"), A("Два"), A("Три")}); }, Do::Click, "bt2",
         2, "Halvora", U("Выбор пункта"), "H", "T",
         {"bt1=" + U("Один"), "bt2=" + U("Два"), "bt3=" + U("Три")}, false},
        {"ChooseButton, Esc does nothing, closed is no button",
         [] { return ChooseButton("H", "T", {1, A("Повторить"), A("Отменить")}); },
         Do::EscThenClose, nullptr, -1, "Halvora", U("Выбор пункта"), "H", "T",
         {"bt1=" + U("Повторить"), "bt2=" + U("Отменить")}, false},
        {"ChooseButtonWarn, error colours and end button",
         [] { return ChooseButtonWarn("H", "", {A("Да"), A("Нет")}); }, Do::Click, "bt1", 1,
         "Halvora", U("Ошибка !!!"), "H", "", {"bt1=" + U("Да"), "bt2=" + U("Нет")}, true},
        {"one caller button closed by the window manager",
         [] { return ChooseButton("H", "T", {A("Проверить другую")}); }, Do::WindowClose, nullptr,
         -1, "Halvora", U("Выбор пункта"), "H", "T", {"bt1=" + U("Проверить другую")}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Seen seen;
        OnNextModal([&](QWidget* w) {
            auto* f = qobject_cast<TFormMessage*>(w);
            ASSERT_NE(f, nullptr);
            seen = Look(f);
            switch (r.action) {
                case Do::Click:
                    Click(f, r.button);
                    break;
                case Do::Esc:
                    Press(f, Qt::Key_Escape);
                    break;
                case Do::F4ThenClick:
                    Press(QApplication::focusWidget(), Qt::Key_F4);
                    Press(QApplication::focusWidget(), Qt::Key_F4, Qt::AltModifier);
                    seen.stillOpenAfterF4 = f->isVisible();
                    Click(f, r.button);
                    break;
                case Do::EscThenClose:
                    Press(QApplication::focusWidget(), Qt::Key_Escape);
                    seen.stillOpenAfterF4 = f->isVisible();
                    f->close();
                    break;
                case Do::WindowClose:
                    f->close();
                    break;
            }
        });
        EXPECT_EQ(r.call(), r.expected);
        EXPECT_TRUE(ModalActsDone());
        EXPECT_EQ(seen.caption, r.caption);
        EXPECT_EQ(seen.banner, r.banner);
        EXPECT_EQ(seen.heading, r.heading);
        EXPECT_EQ(seen.text, r.text);
        EXPECT_EQ(seen.buttons, r.buttons);
        EXPECT_EQ(seen.endButton, r.endButton);
        if (r.action == Do::F4ThenClick || r.action == Do::EscThenClose) {
            EXPECT_TRUE(seen.stillOpenAfterF4);
        }
    }
}

TEST_F(FormMessageTest, LongCaptionsAreStackedShortOnesInARow) {
    const std::string long1 = A("Записать архив на другую дискету и продолжить копирование");
    struct Row {
        const char* name;
        std::vector<std::string> captions;
        bool stacked;
    } rows[] = {
        {"three short captions", {"A", "B", "C"}, false},
        {"five long captions", {long1, long1 + "2", long1 + "3", long1 + "4", long1 + "5"}, true},
    };
    for (const Row& r : rows) {
        TFormMessage f;
        MessageRequest req;
        req.kind = NormalizeKind(288);
        req.buttons = r.captions;
        f.Setup(req);
        f.LayOut();
        f.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.Stacked(), r.stacked) << r.name;
        auto* b1 = Find<QPushButton>(&f, "bt1");
        auto* b2 = Find<QPushButton>(&f, "bt2");
        const QPoint p1 = b1->mapTo(&f, QPoint()), p2 = b2->mapTo(&f, QPoint());
        if (r.stacked) {
            EXPECT_GT(p2.y(), p1.y()) << r.name;
            EXPECT_EQ(b1->width(), b2->width()) << r.name;
            EXPECT_LE(f.width(), f.maximumWidth()) << r.name;
            // The last one is not squeezed out of sight by the text.
            auto* b5 = Find<QPushButton>(&f, "bt5");
            EXPECT_EQ(b5->visibleRegion().boundingRect().size(), b5->size()) << r.name;
        } else {
            EXPECT_EQ(p2.y(), p1.y()) << r.name;
            EXPECT_GE(p2.x() - (p1.x() + b1->width()), 16) << r.name;
        }
        EXPECT_GE(f.width(), 384);
        EXPECT_GE(f.height(), 204);
    }
}

TEST_F(FormMessageTest, InvalidButtonsRaiseAndShowNothing) {
    try {
        ChooseButton("H", "T", {"A", 2});
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), A("FMsg.setButtons: Ошибка в параметрах"));
    }
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
            EXPECT_EQ(box->findChild<QPushButton*>("btNo")->isDefault(), true);
            Click(box, yes ? "btYes" : "btNo");
        });
        ShowError("boom");
    }
    EndProcessNow = saved;
    EXPECT_EQ(ended, 1);
    workdirs::SetTerminating(false);
}

}  // namespace
}  // namespace hv::test
