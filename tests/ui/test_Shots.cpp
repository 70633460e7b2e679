// Renders every dialog window, in each kind that looks different, and the
// archive browser to <build>/shots/<Form>-<state>.png for review; the shots
// check that their texts are drawn with fonts that hold their letters.
#include <QMessageBox>

#include "UiFixture.h"
#include "dialogs/FormBar.h"
#include "dialogs/FormGet.h"
#include "dialogs/FormMessage.h"
#include "dialogs/FormView.h"
#include "dialogs/StopForm.h"
#include "dialogs/ValueInput.h"
#include "pack/ArcForm.h"
#include "pack/PackFile.h"

namespace hv::test {
namespace {

class Shots : public UiTest {};

TEST_F(Shots, EveryDialogWindow) {
    const std::string full = A("Записать архив на другую дискету и продолжить копирование");
    std::string names;
    for (const char* n : {"A:\\СТАРОЕ\\", "A:\\Документы.pkk", "A:\\Письмо.txt", "A:\\Смета.csv"})
        names += RawText(A(n)) + "\r\n";
    responder_ = std::make_unique<ScriptedResponder>();
    MessageDialog("", "", "", 1, {}, A("Архив проекта «Документы» записан."));
    ShowError(A("Ошибка копирования|Не удалось записать файл ") + RawText(A("D:\\Arc\\ДОКИ.PKK")) +
              A("\\nНа диске нет свободного места."));
    ShowInfo(A("Сегодня :    ") + "01.02.2024");
    AskYesNo(A("Сохранить изменения проекта?"), A("Проект «Почта» был изменён."), 0);
    ConfirmDelete(A("Удалить проект"), RawText(A("D:\\Prog\\Projects\\Почта.hlj")));
    ChooseButton(A("Дискета заполнена"), A("Что делать дальше?"),
                 {A("Повторить"), A("Другая дискета"), A("Отменить")});
    ChooseButton(A("Дискета заполнена"), A("Выберите действие."),
                 {full, full + " 2", full + " 3", full + " 4", A("Отменить копирование")});
    ChooseButtonWarn(A("Ошибка чтения дискеты"), A("Продолжить?"), {A("Да"), A("Нет")});
    ChooseButton(A("Дискета содержит данные"), names + "...\r\n",
                 {A("Проверить другую дискету"), A("Копировать на текущую"),
                  A("Удалить все файлы с дискеты"), A("Прервать копирование")});
    AskYesNoWarn(A("Вы действительно хотите прекратить работу программы ?"));
    const auto& said = responder_->Records();
    ASSERT_EQ(said.size(), 10u);
    const char* shown[] = {"message",     "error",           "info",         "choice",  "delete",
                           "buttons-row", "buttons-stacked", "error-choice", "diskette"};
    for (size_t i = 0; i < std::size(shown); ++i) {
        TFormMessage f;
        f.Setup(said[i].request);
        f.LayOut();
        Shot(&f, std::string("FormMessage-") + shown[i]);
    }
    QMessageBox box;
    SetupPlatformBox(box, said.back().request);
    Shot(&box, "PlatformBox-warn");
    box.hide();

    QWidget owner;
    owner.setObjectName("FormOwner");
    const auto bar = [&](const char* shot, const char* title, const char* message,
                         const char* second = nullptr) {
        TFormBar f;
        f.InitBars(0, 0, 1000, 0, second ? 100 : 0, &owner);
        f.Mess(0, A(title));
        f.Mess(1, A(message));
        f.PosBar(1, 600);
        if (second) f.Mess(2, A(second)), f.PosBar(2, 45);
        Shot(&f, shot);
        f.SetInterrupted(true);  // no delay on close
        f.Close();
    };
    bar("FormBar-one-bar", "Формирование архива D:\\Arc\\ДОКИ.PKK", "Упаковка: Отчёт.doc");
    bar("FormBar-two-bars", "Формирование архива D:\\Arc\\ДОКИ.PKK", "Упаковка: Отчёт.doc",
        "Копирование на дискету A:");
    bar("FormBar-run", "Формирование архива D:\\Arc\\Docs\\Docs.ARJ", "Запущен архиватор");

    const auto get = [&](const char* shot, int kind, const char* prompt, const TVarValue& value,
                         const char* typed = nullptr) {
        TFormGet f;
        f.SetKind(kind);
        f.SetPrompt(A(prompt));
        f.SetValue(value);
        f.show();
        if (typed) Type(f.findChild<QLineEdit*>("ed"), typed);
        Shot(&f, std::string("FormGet-") + shot);
        f.done(QDialog::Rejected);
    };
    get("text", kValueText, "Имя архива", TVarValue::Text(A("Почта 2024")));
    get("long-prompt", kValueText,
        "Введите имя каталога, в котором будут храниться копии архивов этого проекта",
        TVarValue::Text("D:\\Backup"));
    get("integer", kValueInteger, "Размер тома, Кб", TVarValue::Int32(1440));
    get("real", kValueReal, "Коэффициент", TVarValue::Double(0.75));
    get("date", kValueDate, "Дата последнего архива", TVarValue::Date(EncodeDate(2024, 2, 1)));
    get("password", kValuePassword, "Пароль архива", TVarValue(), "секрет");

    TFormView view;
    std::string out =
        "ARJ32 v 3.10, Copyright (c) 1998-2004, ARJ Software Russia.\r\n\r\n"
        "Создание архива  : D:\\ARC\\ДОКИ.ARJ\r\n";
    for (const char* f : {"Отчёт за январь.doc", "Смета.xls", "Письмо директору.txt"})
        out += std::string("Добавление    ") + f + "    OK\r\n";
    view.LoadText(Utf8ToOem(out + "     3 файла(ов)\r\n"));
    view.SetConvertFromOem(true);
    view.resize(560, 300);
    Shot(&view, "FormView");
    TStopForm strip;
    strip.SetTexts("btRun: ", QString::fromUtf8(">Перед запуском архиватора <"));
    strip.adjustSize();
    Shot(&strip, "StopForm");
}

// An archive with members of every kind, and one member's information.
TEST_F(Shots, ArchiveBrowser) {
    TPackFileObject a;
    a.SetArchiveName(A("D:\\Архив\\Документы.pkk"));
    a.BaseDir = A("D:\\Документы");
    a.Operation = kArcOpAdd;
    CreateDir("d/Архив");
    std::string report;
    for (int i = 0; report.size() < 40000; ++i)
        report += "Строка отчёта " + std::to_string(i) + "\n";
    for (const auto& [name, content] :
         {std::pair<const char*, std::string>{"Отчёт за январь.txt", report},
          {"Смета/Смета 2024.csv", std::string(3000, ';')},
          {"Письмо.txt", "Добрый день!"},
          {"пусто.dat", ""}}) {
        a.SetFileName(*ToWindowsPath(CreateFile(std::string("d/Документы/") + name, content)));
        ASSERT_EQ(a.Execute(), 0) << name;
    }
    a.SetComment(A("Документы отдела за первый квартал"));
    TFormArc form;
    form.resize(780, 540);
    form.InitialArchive = A("D:\\Архив\\Документы.pkk");
    form.show();
    Shot(&form, "FormArc-archive");
    auto* lv = Find<QTreeView>(&form, "lv");
    ASSERT_EQ(lv->model()->rowCount(), 4);
    form.ShowMemberInfo(1);
    lv->setCurrentIndex(lv->model()->index(1, TFormArc::kColName));
    Shot(&form, "FormArc-member");
}

}  // namespace
}  // namespace hv::test
