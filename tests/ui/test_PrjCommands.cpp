// The project commands of the main window, with the program started as a
// person starts it: new, add, edit, delete, erase, save as, check marks and
// the order of the list, each read back from the files it leaves.

#include "MainFixture.h"
#include "editor/SetPrj.h"

namespace hv::test {
namespace {

class PrjCommands : public MainTest {
  protected:
    QString Captions() const { return Column(Projects()->Table()).join('|'); }
    QString Images() const {
        return Column(Projects()->Table(), 0, TPrjListModel::ImageRole).join("");
    }
    // A double click whose first click pressed at Pos.
    void DoubleClickAt(QPoint pos) const {
        QWidget* vp = Projects()->Current()->viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(vp, Qt::LeftButton, {}, pos);
    }
    // A popup item by name, or "Delete" for the key.
    void Do(const char* command) const {
        if (std::string(command) == "Delete") return Press(Projects()->Current(), Qt::Key_Delete);
        session_->Main()->findChild<QAction*>(command)->trigger();
    }
};

TEST_F(PrjCommands, NewProjectStaysOnlyWhenTheEditorSavedIt) {
    for (int i = 1; i <= 3; ++i)
        CreateFile("d/Prog/Projects/Project" + std::to_string(i) + ".hlj", "x");
    WriteSettings("");
    TFormMain& m = Start();
    // What is done in the editor ("root": D:\\Work typed as the root, else a
    // button), the project file made, whether it is kept, ProjectN.hlj files
    // made before from Project6.
    const struct {
        const char *acts, *file;
        bool kept;
        int taken;
    } rows[] = {{"sbCancel", "Project4.hlj", false, 0},
                {"root sbSave sbCancel", "Project4.hlj", true, 0},
                {"root sbSaveExit", "Project5.hlj", true, 0},
                {"root sbSaveExit", "Prj1.hlj", true, 4}};
    int entries = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.acts);
        for (int i = 6; i < 6 + r.taken; ++i)
            CreateFile("d/Prog/Projects/Project" + std::to_string(i) + ".hlj", "x");
        OnNextModal([](QWidget* w) {
            Type(Find<QLineEdit>(w, "ed"), "Почта");
            Click(w, "btOk");
        });
        OnNextModal([&](QWidget* w) {
            EXPECT_TRUE(Has(std::string("d/Prog/Projects/") + r.file));
            for (const QString& act : QString(r.acts).split(' '))
                act == "root" ? Type(Find<QWidget>(w, "edRootDir"), "D:\\Work")
                              : Click(w, act.toLatin1().constData());
        });
        Click(&m, "btAdd");
        EXPECT_TRUE(ModalActsDone());
        entries += r.kept;
        ASSERT_EQ(m.ProjectList().GetCount(), entries);
        EXPECT_EQ(Has(std::string("d/Prog/Projects/") + r.file), r.kept);
        if (!r.kept) continue;
        EXPECT_EQ(m.ProjectList().Items(entries - 1)->FileName,
                  std::string("D:\\Prog\\Projects\\") + r.file);
        EXPECT_EQ(Projects()->Caption(entries - 1), "Почта");
        THL_HalvoraProject p;
        p.FileName = m.ProjectList().Items(entries - 1)->FileName;
        p.LoadFromFile();
        EXPECT_EQ(p.ArcType, 2);
        EXPECT_EQ(p.SavePlaces()[0], "D:\\Prog\\Save\\");
    }
}

TEST_F(PrjCommands, AddingAProjectFileChecksItAndRefusesOneAlreadyListed) {
    MakeProject("Docs");
    WriteSettings("");
    TFormMain& m = Start();
    AnswerFileDialog(Root() + "/d/Prog/Projects/Docs.hlj");
    Click(&m, "btOpen");
    EXPECT_EQ(Captions(), "Docs");
    for (auto [file, error] :
         {std::pair{"D:\\Prog\\Projects\\Docs.hlj",
                    "Совпадают имена проектов\r\nСовпадают имена файлов проектов\r\nСовпадают "
                    "имена файлов архивов проектов\r\n|Docs\r\nDocs"},
          std::pair{"D:\\Prog\\Projects\\None.hlj",
                    "Файл \"D:\\Prog\\Projects\\None.hlj\" не найден"},
          std::pair{"D:\\Work\\Docs\\data.txt",
                    "Файл \"D:\\Work\\Docs\\data.txt\" не авляется проектом Halvora"}}) {
        responder_->Clear();
        m.AddProjectFile(file);
        EXPECT_EQ(Said("ShowError"), Lines{error});
        EXPECT_EQ(Captions(), "Docs");
    }
}

TEST_F(PrjCommands, EnterAndDoubleClicksEditSpaceAndTheImageToggle) {
    MakeProject("Docs");
    MakeProject("Mail");
    WriteSettings(ListText({{"Docs", false}, {"Mail", true}, {"Gone", true}}, 0));
    TFormMain& m = Start();
    // Enter: the editor on the selected project; its saved name reaches the list.
    OnNextModal([&](QWidget* w) {
        EXPECT_EQ(qobject_cast<TFormSetProject*>(w)->CallerProject()->Name(), "Docs");
        auto* name = Find<QLineEdit>(w, "edName");
        name->selectAll();
        Press(name, Qt::Key_Delete);
        Type(name, "Документы");
        Click(w, "sbSaveExit");
    });
    Press(Projects()->Current(), Qt::Key_Return);
    EXPECT_TRUE(ModalActsDone());
    EXPECT_EQ(Projects()->Caption(0), "Документы");
    EXPECT_EQ(AnsiToUtf8(m.ProjectList().Items(0)->Name), "Документы");

    // A double click on the caption edits, one on the image toggles the mark.
    OnNextModal([](QWidget* w) { Click(w, "sbCancel"); });
    DoubleClickAt(Projects()->CaptionRect(0).center());
    EXPECT_TRUE(ModalActsDone());
    EXPECT_EQ(Images(), "012");
    DoubleClickAt(Projects()->ImageRect(0).center());
    EXPECT_EQ(Images(), "112");
    EXPECT_EQ(Column(Archives()->Table(), 0, TPrjListModel::ImageRole)[0], "4");

    // Space: a valid entry toggles, one whose file is gone does not.
    for (auto [row, after] : {std::pair{0, "012"}, std::pair{1, "002"}, std::pair{2, "002"}}) {
        Projects()->Select(row);
        Press(Projects()->Current(), Qt::Key_Space);
        EXPECT_EQ(Images(), after) << row;
    }
    EXPECT_TRUE(m.ProjectList().Items(2)->Checked);
}

// Delete asks which way; erasing deletes only the project file, and a failed
// delete shows the system's error and keeps the entry; with no row selected
// nothing is asked.
TEST_F(PrjCommands, DeleteRemovesFromTheListOrErasesOnlyTheProjectFile) {
    for (const char* n : {"A", "B", "C"}) MakeProject(n);
    CreateFile("d/Arc/B/B.ARJ", "archive");
    CreateDir("d/Prog/Projects/Dir.hlj");
    WriteSettings(ListText({{"A", false}, {"B", false}, {"C", false}, {"Dir", false}}, -1));
    Start();
    responder_->Clear();
    for (const char* command : {"Delete", "mnDestroy", "mnDelFromList"}) Do(command);
    EXPECT_TRUE(responder_->Records().empty()) << "no row selected: nothing asked";
    // The row selected, the answers (a button, y or n), the command, the rows left.
    const struct {
        const char *row, *answers, *command, *left;
    } rows[] = {{"A", "3", "Delete", "A|B|C|Dir"},  {"A", "1", "Delete", "B|C|Dir"},
                {"B", "y", "mnDestroy", "C|Dir"},   {"C", "n", "mnDelFromList", "C|Dir"},
                {"C", "y", "mnDelFromList", "Dir"}, {"Dir", "2y", "Delete", "Dir"}};
    const auto left = [&] {
        return Captions().replace(QString::fromUtf8("Файл не найден: D:\\Prog\\Projects\\Dir.hlj"),
                                  "Dir");
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.row) + " " + r.command + " " + r.answers);
        responder_->Clear();
        Projects()->Select(left().split('|').indexOf(r.row));
        for (const char* a = r.answers; *a; ++a)
            *a == 'y'   ? responder_->AnswerYes()
            : *a == 'n' ? responder_->AnswerNo()
                        : responder_->Answer(*a - '0');
        Do(r.command);
        EXPECT_EQ(responder_->Pending(), 0u);
        EXPECT_EQ(left(), r.left);
        // The row of the entry removed is selected again (the last one past the end).
        EXPECT_EQ(Projects()->Selected(), 0);
    }
    // The last row: the choice, the question and the system's refusal.
    const auto choice = responder_->RequestsOf("ChooseButton");
    ASSERT_EQ(choice.size(), 1u);
    EXPECT_EQ(AnsiToUtf8(choice[0].text), "Удалить выделенный проект");
    EXPECT_EQ(choice[0].buttons,
              (Lines{A("Удалить из списка"), A("Удалить с диска"), A("Отменить")}));
    EXPECT_EQ(Said("AskYesNo"), Lines{"\tВНИМАНИЕ !!!\r\nУдаление данных с диска полностью "
                                      "уничтожит данные проекта|Удалить выделенный проект с "
                                      "диска\r\nФайл не найден: D:\\Prog\\Projects\\Dir.hlj"});
    ASSERT_EQ(Said("ShowError").size(), 1u);
    EXPECT_EQ(Said("ShowError")[0].rfind("D:\\Prog\\Projects\\Dir.hlj|", 0), 0u);
    // Only the project file of B went: the other files, its archive and its tree stay.
    EXPECT_FALSE(Has("d/Prog/Projects/B.hlj"));
    for (const char* f : {"d/Prog/Projects/A.hlj", "d/Prog/Projects/C.hlj",
                          "d/Prog/Projects/Dir.hlj", "d/Arc/B/B.ARJ", "d/Work/B/data.txt"})
        EXPECT_TRUE(Has(f)) << f;
}

TEST_F(PrjCommands, SaveAsCopiesUnderTheNextFreeNameAndNeverOverAListedFile) {
    MakeProject("Docs7");
    MakeProject("Docs");
    WriteSettings(ListText({{"Docs7", true}, {"Docs", false}}, 0));
    TFormMain& m = Start();
    AnswerFileDialog({});  // the name proposed
    Do("mnSaveAs");
    EXPECT_EQ(Captions(), "Docs7|Docs|Копия: Docs7");
    EXPECT_EQ(m.ProjectList().Items(2)->FileName, "D:\\Prog\\Projects\\Docs8.hlj");
    EXPECT_EQ(m.ProjectList().Items(2)->ArchiveName, "D:\\Arc\\Docs7\\Docs8.ARJ");

    // Onto the file of a listed project: refused before anything is written.
    const std::string docs = ReadFile(Root() + "/d/Prog/Projects/Docs.hlj");
    responder_->Clear();
    Projects()->Select(0);
    AnswerFileDialog(Root() + "/d/Prog/Projects/Docs.hlj");
    Do("mnSaveAs");
    EXPECT_EQ(Said("ShowError"), Lines{"Совпадают имена файлов "
                                       "проектов\r\n|Docs\r\nКопия: Docs7"});
    EXPECT_EQ(ReadFile(Root() + "/d/Prog/Projects/Docs.hlj"), docs);
    EXPECT_EQ(Projects()->RowCount(), 3);
}

TEST_F(PrjCommands, RowsDraggedOntoRowsReorderTheListForGood) {
    for (const char* n : {"A", "B", "C"}) MakeProject(n);
    WriteSettings(ListText({{"A", false}, {"B", false}, {"C", false}}, 0));
    Start();
    QWidget* view = Projects()->Current();
    EXPECT_TRUE(
        Drop(view, Projects()->RowMime(0), Projects()->CaptionRect(2).center(), Qt::MoveAction));
    EXPECT_EQ(Captions(), "B|C|A");
    // Empty space, and drags from elsewhere, change nothing.
    const QPoint below(5, Projects()->Current()->viewport()->height() - 3);
    EXPECT_FALSE(Drop(view, Projects()->RowMime(0), below, Qt::MoveAction));
    EXPECT_FALSE(
        Drop(view, Archives()->RowMime(0), Projects()->CaptionRect(1).center(), Qt::MoveAction));
    EXPECT_EQ(Captions(), "B|C|A");
    // The editor's sort settings go with the list.
    for (const char* a : {"mnSortSize", "mnSortAscend", "mnSortInclude"})
        session_->Editor()->findChild<QAction*>(a)->trigger();
    Stop();
    ExpectSettingsHold({"SP_aSortBy=2", "SP_aSortAscend=1", "SP_aSortInclude=1"});
    Start();
    EXPECT_EQ(Captions(), "B|C|A");
    EXPECT_TRUE(session_->Editor()->findChild<QAction*>("mnSortSize")->isChecked());
}

}  // namespace
}  // namespace hv::test
