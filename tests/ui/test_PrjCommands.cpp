// The project commands of the main window, with the program started as a
// person starts it: new, add, edit, delete, erase, save as, check marks and
// the order of the list, each read back from the files it leaves.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>

#include "MainFixture.h"
#include "editor/SetPrj.h"
#include "platform/CodePage.h"

namespace hv::test {
namespace {

class PrjCommands : public MainTest {
  protected:
    QStringList Captions() const {
        QStringList out;
        for (int i = 0; i < Projects()->RowCount(); ++i) out << Projects()->Caption(i);
        return out;
    }
    int Image(int row) const {
        return Projects()->Table()->model()->index(row, 0).data(TPrjListModel::ImageRole).toInt();
    }
    // Drops Mime on the project view at Pos; whether it was taken.
    static bool DropOn(TPrjView* view, QMimeData* mime, QPoint pos) {
        std::unique_ptr<QMimeData> owned(mime);
        QWidget* vp = view->Current()->viewport();
        QDragEnterEvent enter(pos, Qt::MoveAction, mime, Qt::LeftButton, {});
        QApplication::sendEvent(vp, &enter);
        QDropEvent drop(QPointF(pos), Qt::MoveAction, mime, Qt::LeftButton, {});
        QApplication::sendEvent(vp, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }
    QPoint RowCenter(int row) const {
        return Projects()
            ->Current()
            ->visualRect(Projects()->Current()->model()->index(row, 0))
            .center();
    }
    // A double click whose first click pressed at Pos.
    void DoubleClickAt(QPoint pos) const {
        QWidget* vp = Projects()->Current()->viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(vp, Qt::LeftButton, {}, pos);
    }
    // The file dialog's answer: Posix, relative to the tree.
    static void Choose(const std::string& posix, std::string* proposed = nullptr,
                       QString* title = nullptr) {
        OnNextModal([=](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_TRUE(d);
            if (proposed) *proposed = d->selectedFiles().value(0).toStdString();
            if (title) *title = d->windowTitle();
            // Typed into its name field, as a person does.
            auto* name = d->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_TRUE(name);
            name->setText(QString::fromStdString(posix));
            static_cast<QDialog*>(d)->accept();  // as its "Open" or "Save" button
        });
    }
    static void Rename(QWidget* editor, const char* utf8) {
        auto* name = Find<QLineEdit>(editor, "edName");
        name->selectAll();
        Press(name, Qt::Key_Delete);
        Type(name, utf8);
    }
    std::string Heading(const char* function) const {
        const auto r = responder_->RequestsOf(function);
        return r.empty() ? std::string() : AnsiToUtf8(r.back().heading + "|" + r.back().text);
    }
};

TEST_F(PrjCommands, NewProjectStaysOnlyWhenTheEditorSavedIt) {
    for (int i = 1; i <= 3; ++i)
        CreateFile("d/Prog/Projects/Project" + std::to_string(i) + ".hlj", "x");
    WriteSettings("");
    TFormMain& m = Start();
    const struct {
        const char* name;
        std::function<void(QWidget*)> close;
        const char* file;  // the project file made
        bool kept;
        int taken = 0;  // ProjectN.hlj files made before, from Project6
    } rows[] = {
        {"closed at once", [](QWidget* ed) { Click(ed, "sbCancel"); }, "Project4.hlj", false},
        {"saved, then closed",
         [](QWidget* ed) {
             Type(Find<QLineEdit>(ed, "edRootDir"), "D:\\Work");
             Click(ed, "sbSave");
             Click(ed, "sbCancel");
         },
         "Project4.hlj", true},
        {"finished",
         [](QWidget* ed) {
             Type(Find<QLineEdit>(ed, "edRootDir"), "D:\\Work");
             Click(ed, "sbSaveExit");
         },
         "Project5.hlj", true},
        {"finished, Project1 to 9 taken",
         [](QWidget* ed) {
             Type(Find<QLineEdit>(ed, "edRootDir"), "D:\\Work");
             Click(ed, "sbSaveExit");
         },
         "Prj1.hlj", true, 4},
    };
    int entries = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        for (int i = 6; i < 6 + r.taken; ++i)
            CreateFile("d/Prog/Projects/Project" + std::to_string(i) + ".hlj", "x");
        OnNextModal([](QWidget* w) {
            Type(Find<QLineEdit>(w, "ed"), "Почта");
            Click(w, "btOk");
        });
        OnNextModal([&](QWidget* w) {
            EXPECT_TRUE(Has(std::string("d/Prog/Projects/") + r.file));
            r.close(w);
        });
        Click(&m, "btAdd");
        EXPECT_TRUE(ModalActsDone());
        entries += r.kept;
        ASSERT_EQ(m.ProjectList().GetCount(), entries);
        EXPECT_EQ(Has(std::string("d/Prog/Projects/") + r.file), r.kept);
        if (!r.kept) continue;
        const T_Prj* e = m.ProjectList().Items(entries - 1);
        EXPECT_EQ(e->FileName, std::string("D:\\Prog\\Projects\\") + r.file);
        EXPECT_EQ(Projects()->Caption(entries - 1), "Почта");
        THL_HalvoraProject p;
        p.FileName = e->FileName;
        p.LoadFromFile();
        EXPECT_EQ(p.ArcType, 2);
        EXPECT_EQ(p.SavePlaces()[0], "D:\\Prog\\Save\\");
    }
}

TEST_F(PrjCommands, AddingAProjectFileChecksItAndRefusesOneAlreadyListed) {
    MakeProject("Docs");
    WriteSettings("");
    TFormMain& m = Start();
    QString title;
    Choose(Root() + "/d/Prog/Projects/Docs.hlj", nullptr, &title);
    Click(&m, "btOpen");
    EXPECT_EQ(title, "Открыть файл проекта Halvora");
    EXPECT_EQ(Captions(), QStringList{"Docs"});
    const struct {
        const char* file;
        const char* error;
    } rows[] = {
        {"D:\\Prog\\Projects\\Docs.hlj",
         "Совпадают имена проектов\r\nСовпадают имена файлов проектов\r\nСовпадают имена файлов "
         "архивов проектов\r\n|"
         "Docs\r\nDocs"},
        {"D:\\Prog\\Projects\\None.hlj", "|Файл \"D:\\Prog\\Projects\\None.hlj\" не найден"},
        {"D:\\Work\\Docs\\data.txt",
         "|Файл \"D:\\Work\\Docs\\data.txt\" не авляется проектом Halvora"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.file);
        responder_->Clear();
        m.AddProjectFile(r.file);
        EXPECT_EQ(Heading("ShowError"), r.error);
        EXPECT_EQ(Captions(), QStringList{"Docs"});
    }
}

TEST_F(PrjCommands, EnterAndDoubleClicksEditSpaceAndTheImageToggle) {
    MakeProject("Docs");
    MakeProject("Mail");
    WriteSettings(ListText({{"Docs", false}, {"Mail", true}, {"Gone", true}}, 0));
    TFormMain& m = Start();
    QAbstractItemView* v = Projects()->Current();
    // Enter: the editor on the selected project; its saved name reaches the list.
    OnNextModal([&](QWidget* w) {
        EXPECT_EQ(qobject_cast<TFormSetProject*>(w)->CallerProject()->Name(), "Docs");
        Rename(w, "Документы");
        Click(w, "sbSaveExit");
    });
    Press(v, Qt::Key_Return);
    EXPECT_TRUE(ModalActsDone());
    EXPECT_EQ(Captions()[0], "Документы");
    EXPECT_EQ(AnsiToUtf8(m.ProjectList().Items(0)->Name), "Документы");

    // A double click on the caption edits, one on the image toggles the mark.
    OnNextModal([](QWidget* w) { Click(w, "sbCancel"); });
    DoubleClickAt(Projects()->CaptionRect(0).center());
    EXPECT_TRUE(ModalActsDone());
    EXPECT_EQ(Image(0), 0);
    DoubleClickAt(Projects()->ImageRect(0).center());
    EXPECT_EQ(Image(0), 1);
    EXPECT_EQ(Archives()->Table()->model()->index(0, 0).data(TPrjListModel::ImageRole).toInt(), 4);

    // Space: a valid entry toggles, one whose file is gone does not.
    for (auto [row, before, after] :
         {std::tuple{0, 1, 0}, std::tuple{1, 1, 0}, std::tuple{2, 2, 2}}) {
        Projects()->Select(row);
        EXPECT_EQ(Image(row), before) << row;
        Press(v, Qt::Key_Space);
        EXPECT_EQ(Image(row), after) << row;
    }
    EXPECT_TRUE(m.ProjectList().Items(2)->Checked);
}

TEST_F(PrjCommands, DeleteRemovesFromTheListOrErasesOnlyTheProjectFile) {
    for (const char* n : {"A", "B", "C"}) MakeProject(n);
    CreateFile("d/Arc/B/B.ARJ", "archive");
    WriteSettings(ListText({{"A", false}, {"B", false}, {"C", false}}, -1));
    TFormMain& m = Start();
    QAbstractItemView* v = Projects()->Current();
    responder_->Clear();
    Press(v, Qt::Key_Delete);
    for (const char* item : {"mnDestroy", "mnDelFromList"}) m.findChild<QAction*>(item)->trigger();
    EXPECT_TRUE(responder_->Records().empty()) << "no row selected: nothing asked";

    const auto select = [&](const char* caption) {
        Projects()->Select(Captions().indexOf(caption));
    };
    const struct {
        const char* name;
        std::function<void()> act;
        QStringList rows;
        std::vector<const char*> gone;  // files deleted
    } rows[] = {
        {"choice: cancel",
         [&] { select("A"), responder_->Answer(3), Press(v, Qt::Key_Delete); },
         {"A", "B", "C"}},
        {"choice: from the list",
         [&] { select("A"), responder_->Answer(1), Press(v, Qt::Key_Delete); },
         {"B", "C"}},
        {"Уничтожить",
         [&] {
             select("B"), responder_->AnswerYes(), m.findChild<QAction*>("mnDestroy")->trigger();
         },
         {"C"},
         {"d/Prog/Projects/B.hlj"}},
        {"from the list: no",
         [&] {
             select("C"), responder_->AnswerNo(), m.findChild<QAction*>("mnDelFromList")->trigger();
         },
         {"C"}},
        {"from the list: yes",
         [&] {
             select("C"), responder_->AnswerYes(),
                 m.findChild<QAction*>("mnDelFromList")->trigger();
         },
         {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        responder_->Clear();
        r.act();
        EXPECT_EQ(responder_->Pending(), 0u);
        EXPECT_EQ(Captions(), r.rows);
        // The row of the entry removed is selected again (the last one past the end).
        if (!r.rows.isEmpty()) EXPECT_EQ(Projects()->Selected(), 0);
        for (const char* f : r.gone) EXPECT_FALSE(Has(f)) << f;
    }
    // Only the project file went: the other files, the archive and the tree stay.
    for (const char* f :
         {"d/Prog/Projects/A.hlj", "d/Prog/Projects/C.hlj", "d/Arc/B/B.ARJ", "d/Work/B/data.txt"})
        EXPECT_TRUE(Has(f)) << f;
}

TEST_F(PrjCommands, ErasingShowsTheChoiceAndTheFailureOfTheSystem) {
    CreateDir("d/Prog/Projects/Dir.hlj");
    WriteSettings(ListText({{"Dir", false}}, 0));
    Start();
    responder_->Answer(2);
    responder_->AnswerYes();
    Press(Projects()->Current(), Qt::Key_Delete);
    const auto choice = responder_->RequestsOf("ChooseButton");
    ASSERT_EQ(choice.size(), 1u);
    EXPECT_EQ(AnsiToUtf8(choice[0].text), "Удалить выделенный проект");
    EXPECT_EQ(choice[0].buttons, (std::vector<std::string>{A("Удалить из списка"),
                                                           A("Удалить с диска"), A("Отменить")}));
    const auto asked = responder_->RequestsOf("AskYesNo");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(AnsiToUtf8(asked[0].heading),
              "\tВНИМАНИЕ !!!\r\nУдаление данных с диска полностью уничтожит данные проекта");
    EXPECT_EQ(AnsiToUtf8(asked[0].text),
              "Удалить выделенный проект с диска\r\nФайл не найден: D:\\Prog\\Projects\\Dir.hlj");
    EXPECT_EQ(Heading("ShowError").rfind("D:\\Prog\\Projects\\Dir.hlj|", 0), 0u)
        << Heading("ShowError");
    EXPECT_EQ(Projects()->RowCount(), 1);
}

TEST_F(PrjCommands, SaveAsCopiesUnderTheNextFreeNameAndNeverOverAListedFile) {
    MakeProject("Docs7");
    MakeProject("Docs");
    WriteSettings(ListText({{"Docs7", true}, {"Docs", false}}, 0));
    TFormMain& m = Start();
    std::string proposed;
    QString title;
    Choose(Root() + "/d/Prog/Projects/Docs8.hlj", &proposed, &title);
    m.findChild<QAction*>("mnSaveAs")->trigger();
    EXPECT_EQ(title, "Сохранить как...");
    EXPECT_EQ(proposed, Root() + "/d/Prog/Projects/Docs8.hlj");
    EXPECT_EQ(Captions(), (QStringList{"Docs7", "Docs", "Копия: Docs7"}));
    EXPECT_EQ(m.ProjectList().Items(2)->FileName, "D:\\Prog\\Projects\\Docs8.hlj");
    EXPECT_EQ(m.ProjectList().Items(2)->ArchiveName, "D:\\Arc\\Docs7\\Docs8.ARJ");

    // Onto the file of a listed project: refused before anything is written.
    const std::string docs = ReadFile(Root() + "/d/Prog/Projects/Docs.hlj");
    responder_->Clear();
    Projects()->Select(0);
    Choose(Root() + "/d/Prog/Projects/Docs.hlj");
    m.findChild<QAction*>("mnSaveAs")->trigger();
    EXPECT_EQ(Heading("ShowError"), "Совпадают имена файлов проектов\r\n|Docs\r\nКопия: Docs7");
    EXPECT_EQ(ReadFile(Root() + "/d/Prog/Projects/Docs.hlj"), docs);
    EXPECT_EQ(Projects()->RowCount(), 3);
}

TEST_F(PrjCommands, RowsDraggedOntoRowsReorderTheListForGood) {
    for (const char* n : {"A", "B", "C"}) MakeProject(n);
    WriteSettings(ListText({{"A", false}, {"B", false}, {"C", false}}, 0));
    Start();
    EXPECT_TRUE(DropOn(Projects(), Projects()->RowMime(0), RowCenter(2)));
    EXPECT_EQ(Captions(), (QStringList{"B", "C", "A"}));
    // Empty space, and drags from elsewhere, change nothing.
    EXPECT_FALSE(DropOn(Projects(), Projects()->RowMime(0),
                        QPoint(5, Projects()->Current()->viewport()->height() - 3)));
    EXPECT_FALSE(DropOn(Projects(), Archives()->RowMime(0), RowCenter(1)));
    EXPECT_EQ(Captions(), (QStringList{"B", "C", "A"}));
    // The editor's sort settings go with the list.
    for (const char* a : {"mnSortSize", "mnSortAscend", "mnSortInclude"})
        session_->Editor()->findChild<QAction*>(a)->trigger();
    Stop();
    const std::string ini = ReadFile(SettingsFile());
    for (const char* key : {"SP_aSortBy=2", "SP_aSortAscend=1", "SP_aSortInclude=1"})
        EXPECT_NE(ini.find(key), std::string::npos) << key;
    Start();
    EXPECT_EQ(Captions(), (QStringList{"B", "C", "A"}));
    EXPECT_TRUE(session_->Editor()->findChild<QAction*>("mnSortSize")->isChecked());
}

}  // namespace
}  // namespace hv::test
