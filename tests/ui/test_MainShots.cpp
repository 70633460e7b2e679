// The main window, each page, and the progress window of a run, rendered to
// <build>/shots/FormMain-<page>.png and FormBar-run.png for review.
#include <QImage>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>

#include "MainFixture.h"

namespace hv::test {
namespace {

class MainShots : public MainTest {
  protected:
    void Take(QWidget* w, const std::string& name) {
        QCoreApplication::processEvents();
        QImage img(QString::fromStdString(Shot(w, name)));
        ASSERT_FALSE(img.isNull()) << name;
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); y += 3)
            for (int x = 0; x < img.width(); x += 3) colours.insert(img.pixel(x, y));
        EXPECT_GT(colours.size(), 3) << name << ": nothing drawn";
    }
};

TEST_F(MainShots, EveryPageOfTheMainWindowAndARunningProgressWindow) {
    MakeProject("Docs", {.title = "Документы"});
    MakeProject("Mail", {.title = "Почта"});
    WriteSettings(ListText({{"Docs", true}, {"Mail", false}, {"Old", true}}, 0));
    CreateFile("d/Prog/halvora.111");
    TFormMain& m = Start();
    m.resize(720, 480);
    auto* pc = Find<QTabWidget>(&m, "pc");
    struct Page {
        const char* page;
        const char* shot;
        int arcTab;
    } pages[] = {{"tabProject", "FormMain-projects", -1}, {"tabArchives", "FormMain-archives", -1},
                 {"tabConfig", "FormMain-config-arj", 0}, {"tabConfig", "FormMain-config-templates", 3},
                 {"tabOtl", "FormMain-debug", -1},        {"tabDelp", "FormMain-delphi", -1}};
    for (const Page& p : pages) {
        pc->setCurrentWidget(Find<QWidget>(&m, p.page));
        if (p.arcTab >= 0) Find<QTabBar>(&m, "tcArc")->setCurrentIndex(p.arcTab);
        Take(&m, p.shot);
    }
    pc->setCurrentWidget(Find<QWidget>(&m, "tabProject"));
    m.SetListStyle(true);
    Take(&m, "FormMain-projects-list");

    TFormBar bar;
    bar.InitBars(0, 0, 100, 0, 0, &m);
    bar.Mess(0, A("Формирование архива D:\\Arc\\Docs\\Docs.ARJ"));
    bar.Mess(1, A("Запущен архиватор"));
    bar.PosBar(1, 40);
    Take(&bar, "FormBar-run");
    bar.Close();
}

}  // namespace
}  // namespace hv::test
