// Renders every dialog window, in each kind that looks different, to
// <build>/shots/<Form>-<state>.png for review, and checks that the texts in
// them are drawn with fonts that hold their letters.
#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSet>

#include "UiFixture.h"
#include "dialogs/FormBar.h"
#include "dialogs/FormGet.h"
#include "dialogs/FormMessage.h"
#include "dialogs/FormView.h"
#include "dialogs/ScriptedResponder.h"
#include "dialogs/StopForm.h"
#include "dialogs/ValueInput.h"
#include "platform/CodePage.h"
#include "ui/Label3D.h"

namespace hv::test {
namespace {

class Shots : public UiTest {
  protected:
    // Saves the shot and checks it: something drawn, every letter in its font.
    void Take(QWidget* w, const std::string& name) {
        w->show();
        QCoreApplication::processEvents();
        const std::string path = Shot(w, name);
        QImage img(QString::fromStdString(path));
        ASSERT_FALSE(img.isNull()) << path;
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
            for (QChar ch : text) {
                if (ch.isSpace()) continue;
                EXPECT_TRUE(fm.inFontUcs4(ch.unicode()))
                    << name << ": " << c->objectName().toStdString() << " cannot draw U+"
                    << std::hex << int(ch.unicode());
            }
        }
        ++taken_;
        w->hide();
    }

    int taken_ = 0;
};

TEST_F(Shots, EveryDialogWindow) {
    std::vector<MessageRequest> requests;
    const std::string longCaption = A("Записать архив на другую дискету и продолжить копирование");
    {
        ScriptedResponder capture;
        MessageDialog("", "", "", 1, {}, A("Архив проекта «Документы» записан."));
        ShowError(A("Ошибка копирования|Не удалось записать файл ") + RawText("D:\\Arc\\ДОКИ.PKK") +
                  A("\\nНа диске нет свободного места."));
        ShowInfo(A("Сегодня :    ") + "01.02.2024");
        AskYesNo(A("Сохранить изменения проекта?"), A("Проект «Почта» был изменён."), 0);
        ConfirmDelete(A("Удалить проект"), RawText("D:\\Prog\\Projects\\Почта.hlj"));
        ChooseButton(A("Дискета заполнена"), A("Что делать дальше?"),
                     {A("Повторить"), A("Другая дискета"), A("Отменить")});
        ChooseButton(A("Дискета заполнена"), A("Выберите действие."),
                     {longCaption, longCaption + " 2", longCaption + " 3", longCaption + " 4",
                      A("Отменить копирование")});
        ChooseButtonWarn(A("Ошибка чтения дискеты"), A("Продолжить?"), {A("Да"), A("Нет")});
        AskYesNoWarn(A("Вы действительно хотите прекратить работу программы ?"));
        for (const auto& r : capture.Records()) requests.push_back(r.request);
    }
    const char* names[] = {"FormMessage-message", "FormMessage-error", "FormMessage-info",
                           "FormMessage-choice",  "FormMessage-delete", "FormMessage-buttons-row",
                           "FormMessage-buttons-stacked", "FormMessage-error-choice"};
    for (size_t i = 0; i < std::size(names); ++i) {
        TFormMessage f;
        f.Setup(requests[i]);
        f.LayOut();
        Take(&f, names[i]);
    }
    {
        QMessageBox box;
        SetupPlatformBox(box, requests.back());
        Take(&box, "PlatformBox-warn");
    }

    QWidget owner;
    owner.setObjectName("FormOwner");
    for (bool two : {false, true}) {
        TFormBar bar;
        bar.InitBars(0, 0, 1000, 0, two ? 100 : 0, &owner);
        bar.SetTitle(A("Формирование архива D:\\Arc\\ДОКИ.PKK"));
        bar.SetMessage1(A("Упаковка: Отчёт за январь.doc"));
        bar.Pos1(600);
        if (two) {
            bar.Mess(2, A("Копирование на дискету A:"));
            bar.PosBar(2, 45);
        }
        Take(&bar, two ? "FormBar-two-bars" : "FormBar-one-bar");
        bar.SetInterrupted(true);  // no delay on close
        bar.Close();
    }

    struct GetRow {
        const char* name;
        int kind;
        const char* prompt;
        TVarValue value;
        const char* typed;
    } gets[] = {
        {"FormGet-text", kValueText, "Имя архива", TVarValue::Text(A("Почта 2024")), nullptr},
        {"FormGet-long-prompt", kValueText,
         "Введите имя каталога, в котором будут храниться копии архивов этого проекта",
         TVarValue::Text("D:\\Backup"), nullptr},
        {"FormGet-integer", kValueInteger, "Размер тома, Кб", TVarValue::Int32(1440), nullptr},
        {"FormGet-real", kValueReal, "Коэффициент", TVarValue::Double(0.75), nullptr},
        {"FormGet-date", kValueDate, "Дата последнего архива", TVarValue::Date(EncodeDate(2024, 2, 1)),
         nullptr},
        {"FormGet-password", kValuePassword, "Пароль архива", TVarValue(), "секрет"},
    };
    for (const GetRow& g : gets) {
        TFormGet f;
        f.SetKind(g.kind);
        f.SetPrompt(A(g.prompt));
        f.SetValue(g.value);
        f.show();
        if (g.typed) Type(f.findChild<QLineEdit*>("ed"), g.typed);
        Take(&f, g.name);
        f.done(QDialog::Rejected);
    }

    {
        TFormView view;
        std::string out = "ARJ32 v 3.10, Copyright (c) 1998-2004, ARJ Software Russia.\r\n\r\n";
        out += "Создание архива  : D:\\ARC\\ДОКИ.ARJ\r\n";
        for (const char* f : {"Отчёт за январь.doc", "Смета.xls", "Письмо директору.txt"})
            out += std::string("Добавление    ") + f + "    OK\r\n";
        out += "     3 файла(ов)\r\n";
        view.LoadText(Utf8ToOem(out));
        view.SetConvertFromOem(true);
        view.resize(560, 300);
        Take(&view, "FormView");
    }
    {
        TStopForm strip;
        strip.SetTexts("btRun: ", QString::fromUtf8(">Перед запуском архиватора <"));
        strip.adjustSize();
        Take(&strip, "StopForm");
    }
    EXPECT_EQ(taken_, 19);
}

}  // namespace
}  // namespace hv::test
