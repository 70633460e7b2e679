// The archive browser on an archive and on one of its members, and the
// question a full diskette asks, rendered to <build>/shots/ for review.
#include <QImage>
#include <QSet>
#include <QTreeView>

#include "UiFixture.h"
#include "dialogs/FormMessage.h"
#include "dialogs/ScriptedResponder.h"
#include "pack/ArcForm.h"
#include "pack/PackFile.h"

namespace hv::test {
namespace {

class ArcShots : public UiTest {
  protected:
    // Saves the shot and checks that something was drawn.
    void Take(QWidget* w, const std::string& name) {
        QImage img(QString::fromStdString(Shot(w, name)));
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); y += 3)
            for (int x = 0; x < img.width(); x += 3) colours.insert(img.pixel(x, y));
        EXPECT_GT(colours.size(), 3) << name << ": nothing drawn";
    }
};

TEST_F(ArcShots, BrowserAndDisketteQuestion) {
    CreateDir("d/Архив");
    TPackFileObject a;
    a.SetArchiveName(A("D:\\Архив\\Документы.pkk"));
    a.BaseDir = A("D:\\Документы");
    a.Operation = kArcOpAdd;
    std::string report;
    for (int i = 0; report.size() < 40000; ++i)
        report += "Строка отчёта " + std::to_string(i) + "\n";
    const std::pair<const char*, std::string> files[] = {
        {"Отчёт за январь.txt", report},
        {"Смета/Смета 2024.csv", std::string(3000, ';')},
        {"Письмо.txt", "Добрый день!"},
        {"пусто.dat", ""},
    };
    for (const auto& [name, content] : files) {
        const std::string posix = CreateFile(std::string("d/Документы/") + name, content);
        a.SetFileName(*ToWindowsPath(posix));
        ASSERT_EQ(a.Execute(), 0) << name;
    }
    a.SetComment(A("Документы отдела за первый квартал"));

    TFormArc form;
    form.resize(780, 540);
    form.InitialArchive = A("D:\\Архив\\Документы.pkk");
    form.show();
    Take(&form, "FormArc-archive");
    auto* lv = form.findChild<QTreeView*>("lv");
    ASSERT_EQ(lv->model()->rowCount(), 4);
    form.ShowMemberInfo(1);
    lv->setCurrentIndex(lv->model()->index(1, TFormArc::kColName));
    Take(&form, "FormArc-member");
    form.hide();

    MessageRequest question;
    {
        ScriptedResponder capture;
        std::string names;
        for (const char* n :
             {"A:\\СТАРОЕ\\", "A:\\Документы.pkk", "A:\\Письмо.txt", "A:\\Смета.csv"})
            names += RawText(A(n)) + "\r\n";
        ChooseButton(A("Дискета содержит данные"), names + "...\r\n",
                     {A("Проверить другую дискету"), A("Копировать на текущую"),
                      A("Удалить все файлы с дискеты"), A("Прервать копирование")});
        question = capture.Records().front().request;
    }
    TFormMessage box;
    box.Setup(question);
    box.LayOut();
    box.show();
    Take(&box, "FormMessage-diskette");
    box.hide();
}

}  // namespace
}  // namespace hv::test
