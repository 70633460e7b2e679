// The program from start to exit: working directories, the date box, the
// project list in both views, the settings file after the end, start-ups over
// damaged settings files; runs from the window with the real arj, the stop
// button, runs that fail, and a run of halvora-run holding the program directory.
#include <unistd.h>

#include <QRadioButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <filesystem>

#include "MainFixture.h"
#include "platform/AnsiLiteral.h"
#include "settings/IniFile.h"
#include "util/Variant.h"

namespace hv::test {
namespace {

bool HasTab(TFormMain& m, const char* page) {
    return m.findChild<QTabWidget*>("pc")->indexOf(m.findChild<QWidget*>(page)) >= 0;
}

TEST_F(MainTest, FirstStartSecondStartAndTheNextDay) {
    for (const char* dir : {"TMP", "Projects", "Save"})
        std::filesystem::remove_all(Root() + "/d/Prog/" + dir);
    ASSERT_EQ(chdir("/"), 0);
    TFormMain& first = Start();
    for (const char* dir : {"TMP", "Projects", "Save"})
        EXPECT_TRUE(Has(std::string("d/Prog/") + dir));
    EXPECT_EQ(std::filesystem::current_path(), Root() + "/d/Prog");
    EXPECT_EQ(Said("ShowInfo"), Lines{"Сегодня :    " + DateText(Today())});
    EXPECT_EQ(first.ProjectView()->RowCount() + first.ArchiveView()->RowCount(), 0);
    EXPECT_FALSE(HasTab(first, "tabOtl"));
    Stop();
    const std::string today = "LastDate=" + IniDateText(Today());
    ExpectSettingsHold({today});

    responder_->Clear();
    Start();
    EXPECT_TRUE(Said("ShowInfo").empty());
    Stop();

    // The next day, with the debug marker: the date once, the debug page there.
    std::string ini = ReadPosixFile(SettingsFile());
    ini.replace(ini.find(today), today.size(), "LastDate=20200101");
    WritePosixFile(SettingsFile(), ini);
    CreateFile("d/Prog/halvora.111");
    responder_->Clear();
    EXPECT_TRUE(HasTab(Start(), "tabOtl"));
    EXPECT_EQ(Said("ShowInfo").size(), 1u);
    Stop();
    ExpectSettingsHold({today});
}

TEST_F(MainTest, ListViewsSelectionAndStyleSurviveARestartAfterEsc) {
    MakeProject("Checked");
    MakeProject("Plain");
    WriteSettings(ListText({{"Checked", true}, {"Plain", false}, {"Gone", true}}, 1));
    TFormMain& m = Start();
    EXPECT_EQ(Column(Projects()->Table()), Column(Archives()->Table()));
    EXPECT_EQ(Column(Projects()->Table()).join('|'),
              "Checked|Plain|Файл не найден: D:\\Prog\\Projects\\Gone.hlj");
    EXPECT_EQ(Column(Projects()->Table(), 0, TPrjListModel::ImageRole).join(""), "102");
    EXPECT_EQ(Column(Archives()->Table(), 0, TPrjListModel::ImageRole).join(""), "435");
    EXPECT_EQ(std::pair(Projects()->Selected(), Archives()->Selected()), std::pair(1, 1));

    // A row chosen in either view is chosen in the other.
    ClickRow(Projects(), 2);
    EXPECT_EQ(Archives()->Selected(), 2);
    Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabArchives"));
    EXPECT_EQ(Shown(&m, "lbTitle"), "Архивы");
    ClickRow(Archives(), 0);
    EXPECT_EQ(Projects()->Selected(), 0);

    // The view style: the chosen item decides, for both views.
    for (auto [item, list] : {std::pair{"mnList", true}, std::pair{"mnList", true},
                              std::pair{"mnTable", false}, std::pair{"mnList", true}}) {
        m.findChild<QAction*>(item)->trigger();
        EXPECT_EQ(Projects()->ListStyle() + Archives()->ListStyle(), 2 * list) << item;
        EXPECT_TRUE(m.findChild<QAction*>(item)->isChecked());
    }
    EXPECT_EQ(Projects()->Selected(), 0) << "the selection survives the style";
    ClickRow(Projects(), 2);
    Find<QCheckBox>(&m, "cbToNet")->click();
    // Esc ends the program; the list, the configuration, the fonts and the
    // placements are in the settings file.
    Press(Projects()->Current(), Qt::Key_Escape);
    EXPECT_TRUE(workdirs::Terminating());
    Stop();
    ExpectSettingsHold({"[ARJSect]", "[ZIPSect]", "[RARSect]", "[MainFont]", "[FormMainPosition]",
                        "[FormViewPosition]", "[FormArcPosition]", "[FormSetProjectPosition]",
                        "[Drives]", "MainPrjCount=3", "MainPrjIndex=2", "MainArcIndex=2",
                        "MainLvViewList=1", "MainCopyToNet=1", "File=\"Checked.hlj\"",
                        "[PrjInfo2]\r\nChecked=1\r\nFile=\"Gone.hlj\""});

    TFormMain& again = Start();
    EXPECT_TRUE(Projects()->ListStyle() && Archives()->ListStyle());
    EXPECT_TRUE(again.findChild<QAction*>("mnList")->isChecked());
    EXPECT_EQ(Projects()->Selected(), 2);
    EXPECT_EQ(Shown(&again, "cbToNet"), "1");
}

TEST_F(MainTest, ArchiverTemplatesEditedReachTheSettingsFile) {
    TFormMain& m = Start();
    Find<QTabWidget>(&m, "pc")->setCurrentWidget(Find<QWidget>(&m, "tabConfig"));
    auto* tabs = Find<QTabBar>(&m, "tcArc");
    auto* arc = Find<QLineEdit>(&m, "edArcArc");
    for (auto [tab, page, text] :
         {std::tuple{0, "pgArcParams", "Arj u -i -a -v<VOLSIZE> -g<PASSWORD> <NOCOMPR> <ARCNAME>"},
          std::tuple{3, "pgArcHelp", ""}, std::tuple{1, "pgArcParams", "PkZIP -a"}}) {
        tabs->setCurrentIndex(tab);
        EXPECT_EQ(Find<QStackedWidget>(&m, "nbArc")->currentWidget()->objectName(), page);
        EXPECT_TRUE(arc->text().startsWith(text)) << arc->text().toStdString();
    }

    // "Windows приложение" is refused and "DOS программа" chosen again.
    tabs->setCurrentIndex(0);
    Find<QRadioButton>(&m, "rbArcTipWin")->click();
    EXPECT_TRUE(Find<QRadioButton>(&m, "rbArcTipDos")->isChecked());
    EXPECT_EQ(Said("ShowError"), Lines{"Windows приложения пока не обрабатываются"});

    arc->clear();
    Type(arc, "arj a -y <ARCNAME> !<LISTNAME> <NOCOMPR>");
    Find<QLineEdit>(&m, "edNoCompr")->setText("-m0 -e");
    Click(&m, "btArcParamSave");
    // Another tab and back: the record holds the edit.
    tabs->setCurrentIndex(2);
    tabs->setCurrentIndex(0);
    EXPECT_EQ(arc->text(), "arj a -y <ARCNAME> !<LISTNAME> <NOCOMPR>");
    Stop();
    ExpectSettingsHold({"[ARJSect]\r\nTipDos=1", "Arc=\"arj a -y <ARCNAME> !<LISTNAME> <NOCOMPR>\"",
                        "ArcNC=\"-m0 -e\""});
}

TEST_F(MainTest, DelphiPageListsTheUnitsItFound) {
    CreateFile("d/Src/Prog.dpr",
               "program Prog;\r\nuses Main in 'Main.pas' {FormMain}, Utils;\r\nbegin\r\nend.\r\n");
    CreateFile("d/Src/Main.pas",
               "unit Main;\r\ninterface\r\nuses Lost;\r\nimplementation\r\nend.\r\n");
    CreateFile("d/Lib/Utils.pas", "unit Utils;\r\ninterface\r\nimplementation\r\nend.\r\n");
    TFormMain& m = Start();
    new QTreeWidgetItem(Find<QTreeWidget>(&m, "lvDDir"), QStringList{"D:\\Lib"});
    Find<QLineEdit>(&m, "edDPrj")->setText("D:\\Src\\Prog.dpr");
    Click(&m, "btDelphi");
    auto* files = Find<QListWidget>(&m, "lvDFiles");
    std::map<QString, QString> icons;  // "": a header line
    for (int i = 0; i < files->count(); ++i)
        icons[files->item(i)->text()] = files->item(i)->data(Qt::UserRole).toString();
    EXPECT_EQ(icons["Main.pas"] + icons["Utils.pas"] + icons["Lost.pas"], "001");
    EXPECT_EQ(icons.count("---  Проект:  D:\\Src\\Prog.dpr"), 1u);
    EXPECT_EQ(icons["---  Проект:  D:\\Src\\Prog.dpr"], "");
}

TEST_F(MainTest, DamagedSettingsFilesStartWithWhatTheyHold) {
    MakeProject("Docs");
    const std::pair<std::string, QString> rows[] = {
        // the file, the caption of row 0
        {"[Configuration\r\n=\r\nMainPrjCount\r\n\x01\x02 zz\r\n" + ListText({{"Docs", true}}) +
             "[PrjInfo0\r\nFile=\"\r\n",
         "Docs"},
        {"[Configuration]\r\nMainPrjCount=abc\r\nMainPrjIndex=99999\r\nMainArcIndex=-7\r\n"
         "LastDate=2024x\r\nMainLvViewList=yes\r\n",
         {}},
        {"[Configuration]\r\nMainPrjCount=2000000000\r\nMainPrjIndex=5\r\n"
         "[PrjInfo0]\r\nFile=\"Docs.hlj\"\r\nExec=1\r\nSave=99999999\r\n",
         "Docs"},
        {std::string("\x7f"
                     "ELF\0\0\xff\xfe[\0]\r\n\x90\x90",
                     16) +
             std::string(3000, '\0'),
         {}},
    };
    for (const auto& [text, first] : rows) {
        CreateFile("d/Prog/halvora.ini", text);
        Start();
        EXPECT_EQ(Projects()->Caption(0), first);
        // A count beyond what the file holds makes no more rows than it has sections.
        EXPECT_LT(Projects()->RowCount(), 5);
        Stop();
        CloseSettingsIni();
    }
}

// The archive of Name was built by arj and is whole.
void ExpectArchive(const std::string& root, const std::string& name) {
    const auto t = ShellOutput("cd " + root + "/d/Arc/" + name + " && arj t " + name + ".ARJ");
    EXPECT_NE(t.find("OK"), std::string::npos) << t;
}

TEST_F(MainTest, RunButtonsBuildWithArjAndShowItsOutput) {
    for (auto [button, built, notBuilt] :
         {std::tuple{"btSave", "C", "AB"}, std::tuple{"btSaveAll", "AB", "C"}}) {
        SCOPED_TRACE(button);
        ClearTree();
        MakeProject("A", {.deps = {"B"}});
        MakeProject("B");
        MakeProject("C");
        WriteSettings(ListText({{"A", true}, {"B", false}, {"C", false}}, 2));
        TFormMain& m = Start();
        Find<QCheckBox>(&m, "cbReCreate")->setChecked(true);
        QString output;
        OnNextModal([&](QWidget* w) {
            auto* v = qobject_cast<TFormView*>(w);
            ASSERT_TRUE(v);
            output = v->MemoText();
            v->accept();
        });
        // What the window looked like while the run worked.
        QString title;
        bool mainDisabled = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            TFormBar* bar = m.RunProgressWindow();
            if (!bar || !bar->isVisible()) return;
            if (!bar->windowTitle().isEmpty()) title = bar->windowTitle();
            mainDisabled = mainDisabled || !m.isEnabled();
        });
        watch.start(5);
        Click(&m, button);
        EXPECT_TRUE(ModalActsDone());
        EXPECT_TRUE(mainDisabled);
        const std::string last(1, std::string(built).back());
        EXPECT_EQ(title.toStdString(),
                  "Формирование архива D:\\Arc\\" + last + "\\" + last + ".ARJ");
        for (char c : std::string(built)) {
            const std::string n(1, c);
            EXPECT_TRUE(Has("d/Copy/" + n + "/" + n + ".ARJ")) << n;
            EXPECT_TRUE(output.contains(QString::fromStdString(n + ".ARJ"))) << n;
            ExpectArchive(Root(), n);
        }
        for (char n : std::string(notBuilt))
            EXPECT_FALSE(Has(std::string("d/Arc/") + n + "/" + n + ".ARJ")) << n;
        EXPECT_TRUE(m.isEnabled() && !m.RunProgressWindow());
        EXPECT_FALSE(Find<QCheckBox>(&m, "cbReCreate")->isChecked());
        // The last project loaded is the current one.
        EXPECT_EQ(m.CurrentProject().Name(), last);
        EXPECT_TRUE(Said("ShowError").empty());
        Stop();
    }
}

TEST_F(MainTest, StopEndsALongRunAndKeepsTheOldArchive) {
    MakeProject("A");
    WriteSettings(ListText({{"A", true}}));
    TFormMain& m = Start();
    OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    Click(&m, "btSave");
    const std::string before = ReadFile(Root() + "/d/Arc/A/A.ARJ");
    ASSERT_FALSE(before.empty());

    CreateFile("d/Work/A/new.txt", "newer than the archive");
    SlowArchiver(47);
    bool stopAsked = false;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        TFormBar* bar = m.RunProgressWindow();
        if (stopAsked || !bar || !ProcessRuns("sleep 47")) return;
        stopAsked = true;
        responder_->AnswerYes();
        Click(bar, "bt1");
    });
    stopper.start(20);
    Click(&m, "btSave");
    stopper.stop();
    EXPECT_TRUE(stopAsked);
    EXPECT_TRUE(WaitFor([] { return !ProcessRuns("sleep 47"); }, 10))
        << "the archiver outlived the stop";
    EXPECT_EQ(ReadFile(Root() + "/d/Arc/A/A.ARJ"), before);
    EXPECT_TRUE(m.isEnabled() && !m.RunProgressWindow());
    // "Стоп" asked once, with "Да" as the default answer.
    ASSERT_EQ(responder_->RequestsOf("AskYesNoWarn").size(), 1u);
    EXPECT_EQ(responder_->RequestsOf("AskYesNoWarn")[0].flags & kMbDefButton2, 0u);
    EXPECT_TRUE(Said("ShowError").empty());
}

TEST_F(MainTest, FailingRunsLeaveTheWindowEnabled) {
    const std::string a = Root() + "/d/Prog/Projects/A.hlj";
    // A checked, depending on B, spoilt after the start; the error shown, and
    // whether the output viewer still comes (the other projects ran).
    const auto fail = [&](const char* error, bool viewer, const std::function<void()>& spoil) {
        SCOPED_TRACE(error);
        ClearTree();
        MakeProject("A", {.deps = {"B"}});
        MakeProject("B");
        WriteSettings(ListText({{"A", true}}));
        TFormMain& m = Start();
        spoil();
        responder_->Clear();
        if (viewer) OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
        Click(&m, "btSave");
        EXPECT_TRUE(ModalActsDone());
        std::string all;
        for (const auto& e : Said("ShowError")) all += e + "\n";
        EXPECT_NE(all.find(error), std::string::npos) << all;
        EXPECT_TRUE(m.isEnabled() && !m.RunProgressWindow());
        EXPECT_EQ(CursorDepth(), 0);
        Stop();
    };
    fail("B.hlj", true, [&] { WritePosixFile(Root() + "/d/Prog/Projects/B.hlj", "no project"); });
    fail("Unknown format", false, [&] {
        std::string s = ReadPosixFile(a);
        WritePosixFile(a, s.replace(s.find("ArcType=2"), 9, "ArcType=99"));
    });
    fail("Не найден файл проекта", false, [&] { std::remove(a.c_str()); });
}

TEST_F(MainTest, ARunOfHalvoraRunKeepsTheWindowFromRunning) {
    MakeProject("A");
    MakeProject("B");
    WriteSettings(ListText({{"A", true}, {"B", true}}, 1));
    SlowArchiver(5);
    ProcessOptions o;
    o.env = {{"HALVORA_HOME", Root() + "/d/Prog"},
             {"TMPDIR", Root() + "/tmp"},
             {"PATH", std::string(getenv("PATH"))}};
    o.outputDir = Root();
    ChildProcess other({HALVORA_BINARY_DIR "/tools/halvora-run", "A"}, o);
    ASSERT_TRUE(WaitFor([&] { return ProcessRuns("sleep 5"); }, 20));

    TFormMain& m = Start();
    Click(&m, "btSave");
    const auto errors = Said("ShowError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Проекты уже выполняются"), std::string::npos);
    EXPECT_FALSE(Has("d/Arc/B/B.ARJ"));
    EXPECT_TRUE(m.isEnabled());
    const ProcessResult r = other.Finish();
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectArchive(Root(), "A");
}

}  // namespace
}  // namespace hv::test
