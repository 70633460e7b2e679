// The program from start to exit: working directories, the date box, the
// project list in both views, the settings file after the end, and start-ups
// over damaged settings files.
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <map>
#include <filesystem>

#include "MainFixture.h"
#include "platform/AnsiLiteral.h"
#include "settings/IniFile.h"
#include "util/Variant.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

std::string Ini(const std::string& posix) { return ReadPosixFile(posix); }

bool HasTab(TFormMain& m, const char* page) {
    auto* pc = m.findChild<QTabWidget*>("pc");
    return pc->indexOf(m.findChild<QWidget*>(page)) >= 0;
}

TEST_F(MainTest, FirstStartSecondStartAndTheNextDay) {
    for (const char* dir : {"TMP", "Projects", "Save"}) fs::remove_all(Root() + "/d/Prog/" + dir);
    ASSERT_EQ(chdir("/"), 0);
    {
        TFormMain& m = Start();
        for (const char* dir : {"TMP", "Projects", "Save"}) EXPECT_TRUE(Has(std::string("d/Prog/") + dir)) << dir;
        char cwd[4096];
        EXPECT_EQ(std::string(getcwd(cwd, sizeof cwd)), Root() + "/d/Prog");
        const auto infos = responder_->RequestsOf("ShowInfo");
        ASSERT_EQ(infos.size(), 1u);
        EXPECT_EQ(infos[0].message, A("Сегодня :    ") + DateText(Today()));
        EXPECT_EQ(m.ProjectView()->RowCount(), 0);
        EXPECT_EQ(m.ArchiveView()->RowCount(), 0);
        EXPECT_FALSE(HasTab(m, "tabOtl"));
        EXPECT_EQ(Find<QWidget>(&m, "lbTitle")->property("text").toString(), QString("Составление проектов"));
        Stop();
    }
    const std::string today = IniDateText(Today());
    EXPECT_NE(Ini(SettingsFile()).find("LastDate=" + today), std::string::npos);

    responder_->Clear();
    Start();
    EXPECT_TRUE(responder_->RequestsOf("ShowInfo").empty());
    Stop();

    // The next day, with the debug marker: the date once, the debug page there.
    std::string ini = ReadPosixFile(SettingsFile());
    ini.replace(ini.find("LastDate=" + today), 9 + today.size(), "LastDate=20200101");
    WritePosixFile(SettingsFile(), ini);
    CreateFile("d/Prog/halvora.111");
    responder_->Clear();
    TFormMain& m = Start();
    EXPECT_EQ(responder_->RequestsOf("ShowInfo").size(), 1u);
    EXPECT_TRUE(HasTab(m, "tabOtl"));
    Stop();
    EXPECT_NE(Ini(SettingsFile()).find("LastDate=" + today), std::string::npos);
}

TEST_F(MainTest, ListViewsSelectionAndStyleSurviveARestart) {
    MakeProject("Checked");
    MakeProject("Plain");
    WriteSettings(ListText({{"Checked", true}, {"Plain", false}, {"Gone", true}}, 1));
    {
        TFormMain& m = Start();
        struct Row {
            QString caption;
            int project, archive;
        } rows[] = {{"Checked", 1, 4}, {"Plain", 0, 3}, {"Файл не найден: D:\\Prog\\Projects\\Gone.hlj", 2, 5}};
        ASSERT_EQ(m.ProjectView()->RowCount(), 3);
        for (int i = 0; i < 3; ++i) {
            for (auto [view, image] : {std::pair{m.ProjectView(), rows[i].project},
                                       std::pair{m.ArchiveView(), rows[i].archive}}) {
                const QModelIndex index = view->Table()->model()->index(i, 0);
                EXPECT_EQ(index.data().toString(), rows[i].caption) << i;
                EXPECT_EQ(index.data(TPrjListModel::ImageRole).toInt(), image) << i;
            }
        }
        EXPECT_EQ(m.ProjectView()->Selected(), 1);
        EXPECT_EQ(m.ArchiveView()->Selected(), 1);

        // A row chosen in either view is chosen in the other.
        ClickRow(m.ProjectView(), 2);
        EXPECT_EQ(m.ArchiveView()->Selected(), 2);
        Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabArchives"));
        EXPECT_EQ(Find<QWidget>(&m, "lbTitle")->property("text").toString(), QString("Архивы"));
        ClickRow(m.ArchiveView(), 0);
        EXPECT_EQ(m.ProjectView()->Selected(), 0);

        // The view style: the chosen item decides, for both views.
        auto* mnList = m.findChild<QAction*>("mnList");
        auto* mnTable = m.findChild<QAction*>("mnTable");
        ASSERT_TRUE(mnList && mnTable);
        for (auto [item, list] : {std::pair{mnList, true}, std::pair{mnList, true},
                                  std::pair{mnTable, false}, std::pair{mnList, true}}) {
            item->trigger();
            EXPECT_EQ(m.ProjectView()->ListStyle(), list) << item->objectName().toStdString();
            EXPECT_EQ(m.ArchiveView()->ListStyle(), list);
            EXPECT_TRUE(item->isChecked());
        }
        EXPECT_EQ(m.ProjectView()->Selected(), 0) << "the selection survives the style";
        ClickRow(m.ProjectView(), 2);
        Find<QCheckBox>(&m, "cbToNet")->click();
        Stop();
    }
    const std::string ini = Ini(SettingsFile());
    for (const char* line : {"MainPrjCount=3", "MainPrjIndex=2", "MainArcIndex=2", "MainLvViewList=1",
                             "MainCopyToNet=1", "File=\"Checked.hlj\"", "File=\"Gone.hlj\""})
        EXPECT_NE(ini.find(line), std::string::npos) << line << "\n" << ini;
    // The missing entry keeps its mark.
    EXPECT_NE(ini.find("[PrjInfo2]\r\nChecked=1"), std::string::npos) << ini;

    TFormMain& m = Start();
    EXPECT_TRUE(m.ProjectView()->ListStyle());
    EXPECT_TRUE(m.ArchiveView()->ListStyle());
    EXPECT_TRUE(m.findChild<QAction*>("mnList")->isChecked());
    EXPECT_EQ(m.ProjectView()->Selected(), 2);
    EXPECT_TRUE(Find<QCheckBox>(&m, "cbToNet")->isChecked());
}

TEST_F(MainTest, EscEndsTheProgramAndEverythingIsInTheSettingsFile) {
    MakeProject("Docs");
    WriteSettings(ListText({{"Docs", true}}));
    TFormMain& m = Start();
    Press(m.ProjectView()->Current(), Qt::Key_Escape);
    EXPECT_TRUE(workdirs::Terminating());
    Stop();
    const std::string ini = Ini(SettingsFile());
    for (const char* key : {"[Configuration]", "MainPrjCount=1", "[PrjInfo0]", "[ARJSect]", "[ZIPSect]",
                            "[RARSect]", "[MainFont]", "[FormMainPosition]", "[FormViewPosition]", "[FormArcPosition]",
                            "[FormSetProjectPosition]", "[Drives]"})
        EXPECT_NE(ini.find(key), std::string::npos) << key << "\n" << ini;
}

TEST_F(MainTest, ArchiverTemplatesEditedReachTheSettingsFile) {
    TFormMain& m = Start();
    Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabConfig"));
    EXPECT_EQ(Find<QWidget>(&m, "lbTitle")->property("text").toString(), QString("Настройка параметров"));
    auto* tabs = Find<QTabBar>(&m, "tcArc");
    auto* pages = Find<QStackedWidget>(&m, "nbArc");
    auto* arc = Find<QLineEdit>(&m, "edArcArc");
    struct Row {
        int tab;
        const char* page;
        const char* arc;  // empty: the explanation page
    } rows[] = {
        {0, "pgArcParams", "Arj u -i -a -v<VOLSIZE> -g<PASSWORD> <NOCOMPR> <ARCNAME>  !<LISTNAME> -y"},
        {3, "pgArcHelp", ""},
        {1, "pgArcParams", "PkZIP -a"},
    };
    for (const Row& r : rows) {
        tabs->setCurrentIndex(r.tab);
        EXPECT_EQ(pages->currentWidget()->objectName().toStdString(), r.page) << r.tab;
        if (*r.arc) EXPECT_TRUE(arc->text().startsWith(QString::fromUtf8(r.arc))) << arc->text().toStdString();
    }
    EXPECT_EQ(Find<QLineEdit>(&m, "edHelpNoComp")->text(), QString("<NOCOMP>"));

    // "Windows приложение" is refused and "DOS программа" chosen again.
    tabs->setCurrentIndex(0);
    Find<QRadioButton>(&m, "rbArcTipWin")->click();
    EXPECT_TRUE(Find<QRadioButton>(&m, "rbArcTipDos")->isChecked());
    const auto errors = responder_->RequestsOf("ShowError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, A("Windows приложения пока не обрабатываются"));

    arc->clear();
    Type(arc, "arj a -y <ARCNAME> !<LISTNAME> <NOCOMPR>");
    Find<QLineEdit>(&m, "edNoCompr")->setText("-m0 -e");
    Click(&m, "btArcParamSave");
    // Another tab and back: the record holds the edit.
    tabs->setCurrentIndex(2);
    tabs->setCurrentIndex(0);
    EXPECT_EQ(arc->text(), QString("arj a -y <ARCNAME> !<LISTNAME> <NOCOMPR>"));
    Stop();
    const std::string ini = Ini(SettingsFile());
    const size_t at = ini.find("[ARJSect]");
    ASSERT_NE(at, std::string::npos) << ini;
    const std::string section = ini.substr(at, ini.find("\r\n\r\n", at) - at);
    for (const char* line : {"TipDos=1", "Arc=\"arj a -y <ARCNAME> !<LISTNAME> <NOCOMPR>\"", "ArcNC=\"-m0 -e\""})
        EXPECT_NE(section.find(line), std::string::npos) << line << "\n" << section;
}

TEST_F(MainTest, DelphiPageListsTheUnitsItFound) {
    CreateFile("d/Src/Prog.dpr", "program Prog;\r\nuses Main in 'Main.pas' {FormMain}, Utils;\r\nbegin\r\nend.\r\n");
    CreateFile("d/Src/Main.pas", "unit Main;\r\ninterface\r\nuses Lost;\r\nimplementation\r\nend.\r\n");
    CreateFile("d/Lib/Utils.pas", "unit Utils;\r\ninterface\r\nimplementation\r\nend.\r\n");
    TFormMain& m = Start();
    auto* dirs = Find<QTreeWidget>(&m, "lvDDir");
    new QTreeWidgetItem(dirs, QStringList{"D:\\Lib"});
    Find<QLineEdit>(&m, "edDPrj")->setText("D:\\Src\\Prog.dpr");
    Click(&m, "btDelphi");
    auto* files = Find<QListWidget>(&m, "lvDFiles");
    std::map<QString, int> icons;  // -1: a header line
    for (int i = 0; i < files->count(); ++i) {
        const QVariant icon = files->item(i)->data(Qt::UserRole);
        icons[files->item(i)->text()] = icon.isValid() ? icon.toInt() : -1;
    }
    EXPECT_EQ(icons["Main.pas"], 0);
    EXPECT_EQ(icons["Utils.pas"], 0);
    EXPECT_EQ(icons["Lost.pas"], 1);
    EXPECT_EQ(icons["---  Проект:  D:\\Src\\Prog.dpr"], -1);
}

TEST_F(MainTest, DamagedSettingsFilesStartWithWhatTheyHold) {
    MakeProject("Docs");
    struct Row {
        const char* name;
        std::string text;
        QString first;  // the caption of the first row; null: no rows
    } rows[] = {
        {"garbage lines", "[Configuration\r\n=\r\nMainPrjCount\r\n\x01\x02 zz\r\n" + ListText({{"Docs", true}}) +
                              "[PrjInfo0\r\nFile=\"\r\n", "Docs"},
        {"bad numbers", "[Configuration]\r\nMainPrjCount=abc\r\nMainPrjIndex=99999\r\nMainArcIndex=-7\r\n"
                        "LastDate=2024x\r\nMainLvViewList=yes\r\n", {}},
        {"huge count", "[Configuration]\r\nMainPrjCount=2000000000\r\nMainPrjIndex=5\r\n"
                       "[PrjInfo0]\r\nFile=\"Docs.hlj\"\r\nExec=1\r\nSave=99999999\r\n", "Docs"},
        {"a binary file", std::string("\x7f" "ELF\0\0\xff\xfe[\0]\r\n\x90\x90", 16) + std::string(3000, '\0'), {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CreateFile("d/Prog/halvora.ini", r.text);
        TFormMain& m = Start();
        EXPECT_EQ(m.ProjectView()->Caption(0), r.first);
        // A count beyond what the file holds makes no more rows than it has sections.
        EXPECT_LT(m.ProjectView()->RowCount(), 5);
        EXPECT_TRUE(m.isEnabled());
        Stop();
        CloseSettingsIni();
    }
}

}  // namespace
}  // namespace hv::test
