// The main window, each page, and the project editor, each data page, the
// disk browser with all three verdict images, the drive list and the found
// files, rendered to <build>/shots/FormMain-*.png and FormSetProject-*.png.

#include "EditorFixture.h"
#include "MainFixture.h"

namespace hv::test {
namespace {

TEST_F(MainTest, ShotsOfEveryPage) {
    MakeProject("Docs", {.title = "Документы"});
    MakeProject("Mail", {.title = "Почта"});
    WriteSettings(ListText({{"Docs", true}, {"Mail", false}, {"Old", true}}, 0));
    CreateFile("d/Prog/halvora.111");
    TFormMain& m = Start();
    m.resize(720, 480);
    const struct {
        const char *page, *shot;
        int arcTab;
    } pages[] = {{"tabProject", "projects", -1},
                 {"tabArchives", "archives", -1},
                 {"tabConfig", "config-arj", 0},
                 {"tabConfig", "config-templates", 3},
                 {"tabOtl", "debug", -1},
                 {"tabDelp", "delphi", -1},
                 {"tabProject", "projects-list", -1}};
    for (const auto& p : pages) {
        Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, p.page));
        if (p.arcTab >= 0) Find<QTabBar>(&m, "tcArc")->setCurrentIndex(p.arcTab);
        if (std::string(p.shot) == "projects-list") m.SetListStyle(true);
        Shot(&m, std::string("FormMain-") + p.shot);
    }
}

TEST_F(EditorTest, ShotsOfEveryPage) {
    Edit([&](TFormSetProject& ed) {
        ed.resize(960, 620);
        DoubleClick("Sub");
        EXPECT_EQ(Images().size(), 4u);
        const auto take = [&](const char* page, const char* shot) {
            C<QTabWidget>("pcData")->setCurrentWidget(C(page));
            Shot(&ed, std::string("FormSetProject-") + shot);
        };
        take("tabGeneral", "general");
        take("tabPrjFiles", "files-verdicts");
        take("tabDirList", "dirlist");
        C<QTabWidget>("pcData")->setCurrentWidget(C("tabDir"));
        C<QCheckBox>("cbPrjProperty")->click();
        DropValue("lvDFilesExcl", "D:\\Work\\Deep\\old.log");
        take("tabDir", "dir");
        C<QTabWidget>("pcData")->setCurrentWidget(C("tabExtra"));
        Click(&ed, "sbDiskName");
        take("tabExtra", "extra-drives");
        ed.ShowDir("D:\\Work");
        ed.findChild<QAction*>("mnAList")->trigger();
        take("tabGeneral", "list");
        C<QTabWidget>("pcBrowser")->setCurrentWidget(C("tabFiles"));
        take("tabGeneral", "found");
        Click(&ed, "sbCancel");
    });
}

}  // namespace
}  // namespace hv::test
