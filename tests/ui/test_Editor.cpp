// The project editor over real projects and trees: what it shows, what it
// saves, its checks, its browsers and their verdicts, its drag and drop.

#include "EditorFixture.h"

namespace hv::test {
namespace {

TEST_F(EditorTest, ShowsEveryValueDiscardsEditsAndSavesWhatTheCoreReadsBack) {
    const std::string docs = ReadFile(Posix(kDocs));
    const int result = Edit([&](TFormSetProject& ed) {
        EXPECT_EQ(S({"edName",       "edFileName",   "edRootDir",
                     "edArcName",    "cbArcType",    "cbArcCompressType",
                     "cbVolumeSize", "edPassword",   "cbMakeSaveDirs",
                     "cbPAllFiles",  "cbPSubDirs",   "cbPGlobalExcl",
                     "lblPExt",      "lbPExt",       "lvPFilesIncl",
                     "lvPFilesExcl", "lbSaveDir",    "lvDirs",
                     "lbProjects",   "mmPreBatFile", "lbHeader"}),
                  "Документы / D:\\Prog\\Projects\\Docs.hlj / D:\\Work / backup.arj / ZIP / Без "
                  "сжатия / 1.2 / pw / 1 / 1 / 0 / 0 / Исключая / BAK / Sub\\keep.txt / "
                  "Sub\\*.tmp / D:\\Arc / D:\\Work\\Deep|D:\\Nowhere / Зависимый|Не проект: "
                  "D:\\Prog\\Projects\\NotPrj.hlj|Не найден: D:\\Prog\\Projects\\Gone.hlj / "
                  "echo one\necho two\n / Документы");
        EXPECT_EQ(Column(C<QListWidget>("lvDirs"), 0, Qt::UserRole),
                  (QStringList{QString::number(kImgDir), QString::number(kImgDirMissing)}));
        EXPECT_EQ(ed.CurrentDir(), "D:\\Work");

        // Edits, then "Отменить": the file's values again.
        SetEdit("edName", "Новое");
        EXPECT_EQ(S("lbHeader"), "Новое");
        C<QComboBox>("cbArcType")->setCurrentIndex(0);
        Click(&ed, "sbReload");
        EXPECT_EQ(S({"edName", "cbArcType"}), "Документы / ZIP");
        EXPECT_TRUE(ed.Saved());

        // Edits that are saved, under a file name without extension.
        SetEdit("edName", "Архив документов");
        SetEdit("edFileName", "Renamed");
        C<QComboBox>("cbArcType")->setCurrentIndex(2);
        SetEdit("edPassword", "тайна");
        Click(&ed, "cbPSubDirs");
        C<QPlainTextEdit>("mmPreBatFile")->setPlainText("echo three");
        Click(&ed, "sbSaveExit");
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(responder_->Records().empty()) << Said("ShowError").size();
    const auto p = Load("D:\\Prog\\Projects\\Renamed.hlj");
    EXPECT_EQ(AnsiToUtf8(p->Name() + "|" + p->ArcPS + "|" + p->Dir() + "|" + p->ArcName()),
              "Архив документов|тайна|D:\\Work|backup.arj");
    EXPECT_EQ(std::tuple(p->ArcType, p->CompressType, p->VolumeSize()), std::tuple(2, 1, 2));
    EXPECT_TRUE(p->IncludeSubDirs && p->IncludeAllFiles && p->MakeSaveDirectories &&
                !p->GlobalProjectExclude);
    EXPECT_EQ(QStringList({Joined(p->PreBatch()), Joined(p->Extensions()), Joined(p->SavePlaces()),
                           Joined(p->Dirs())}),
              QStringList({"echo three", "BAK", "D:\\Arc", "D:\\Work\\Deep|D:\\Nowhere"}));
    EXPECT_EQ(p->Projects().Count(), 3);
    // The caller holds the saved file; the file it came from is untouched.
    EXPECT_EQ(caller_->FileName, "D:\\Prog\\Projects\\Renamed.hlj");
    EXPECT_EQ(AnsiToUtf8(caller_->Name()), "Архив документов");
    EXPECT_EQ(ReadFile(Posix(kDocs)), docs);
    EXPECT_TRUE(editor_->SavedAny());
}

// Each check in its turn, as the field before it is put right; nothing is
// written while one fails, and "Закончить" then keeps the window open.
TEST_F(EditorTest, ApplyChecksComeInTheirOrderAndAFailedFinishKeepsTheWindow) {
    const std::string docs = ReadFile(Posix(kDocs));
    const int result = Edit([&](TFormSetProject& ed) {
        EXPECT_TRUE(Bin("lbSaveDir", "D:\\Arc"));
        for (const char* edit : {"edRootDir", "edFileName", "edName"}) Erase(C<QLineEdit>(edit));
        const auto refused = [&](const char* error) {
            responder_->Clear();
            Click(&ed, "sbSave");
            EXPECT_EQ(Said("ShowError"), Lines{error});
            EXPECT_EQ(ReadFile(Posix(kDocs)), docs) << error;
        };
        refused("Определите наименование проекта");
        Type(C("edName"), "Документы");
        refused("Необходимо определить имя файла проекта");
        Type(C("edFileName"), "Docs");
        refused("Определите имя базового директория");
        Type(C("edRootDir"), "D:\\Work");
        refused("Необходимо задать хотя бы одино место хранения архивов");
        // "Закончить" fails the same way, and so does a write that fails: the
        // window stays with the edits.
        const auto finishFails = [&] {
            responder_->Clear();
            Click(&ed, "sbSaveExit");
            EXPECT_EQ(Said("ShowError").size(), 1u);
            EXPECT_TRUE(ed.isVisible() && ed.CloseMode() == 0);
        };
        finishFails();
        EXPECT_TRUE(DropValue("lbSaveDir", "D:\\Arc"));
        CreateDir("d/Prog/Projects/Folder.hlj");
        SetEdit("edFileName", "Folder");
        finishFails();
        EXPECT_EQ(S("edFileName"), "Folder");
        SetEdit("edFileName", "Docs");
        responder_->Clear();
        Click(&ed, "sbSaveExit");
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(Said("ShowError").empty());
    EXPECT_EQ(Joined(Load(kDocs)->SavePlaces()), "D:\\Arc");
}

TEST_F(EditorTest, VolumeSizesTypedOrChosen) {
    const struct {
        const char* text;
        int saved;
        bool warned;
    } rows[] = {{"1400K", 1433600, false}, {"1400 к", 1433600, false},    {"60000", 60000, false},
                {"720", 3, false},         {"Без ограничений", 0, false}, {"49999", 0, true},
                {"abc", 0, true},          {"3000000K", 0, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        responder_->Clear();
        Edit([&](TFormSetProject& ed) {
            C<QComboBox>("cbVolumeSize")->setEditText(QString::fromUtf8(r.text));
            Click(&ed, "sbSaveExit");
        });
        EXPECT_EQ(Load(kDocs)->VolumeSize(), r.saved);
        std::string shown = r.text;
        if (shown.back() == 'K') shown.pop_back();
        EXPECT_EQ(Said("ShowInfo"), r.warned ? Lines{"Размер блока [" + shown +
                                                     "] не является числом\r\n\r\nили менее "
                                                     "50 000 байт\r\n"}
                                             : Lines{});
    }
}

TEST_F(EditorTest, SavingNeverWritesSilentlyOverAnotherProjectAndEscKeepsNothing) {
    const std::string other = ReadPosixFile(Posix("D:\\Prog\\Projects\\Other.hlj"));
    // "Сохранить" asks, "no" writes nothing; "Закончить" asks again and "no" closes.
    EXPECT_EQ(Edit([&](TFormSetProject& ed) {
                  SetEdit("edFileName", "Other.hlj");
                  responder_->AnswerNo();
                  Click(&ed, "sbSave");
                  EXPECT_EQ(Said("AskYesNo"), Lines{"\tФайл существует:\r\nD:\\Prog\\Projects\\"
                                                    "Other.hlj\r\nПереписать?"});
                  EXPECT_FALSE(ed.Saved());
                  responder_->AnswerNo();
                  Click(&ed, "sbSaveExit");
              }),
              QDialog::Accepted);
    EXPECT_EQ(Said("AskYesNo").size(), 2u);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\Prog\\Projects\\Other.hlj")), other);
    EXPECT_FALSE(editor_->SavedAny());

    // "yes" writes it, and the caller follows the file.
    Edit([&](TFormSetProject& ed) {
        SetEdit("edFileName", "Other.hlj");
        responder_->AnswerYes();
        Click(&ed, "sbSave");
        EXPECT_TRUE(ed.Saved());
        Click(&ed, "sbCancel");
    });
    EXPECT_EQ(AnsiToUtf8(Load("D:\\Prog\\Projects\\Other.hlj")->Name()), "Документы");
    EXPECT_EQ(caller_->FileName, "D:\\Prog\\Projects\\Other.hlj");

    // The title-bar close does nothing; Esc closes without saving.
    const std::string saved = ReadPosixFile(Posix("D:\\Prog\\Projects\\Other.hlj"));
    EXPECT_EQ(Edit([&](TFormSetProject& ed) {
                  SetEdit("edName", "Забыто");
                  ed.close();
                  EXPECT_TRUE(ed.isVisible());
                  Press(C("edName"), Qt::Key_Escape);
              }),
              QDialog::Rejected);
    EXPECT_EQ(editor_->CloseMode(), 2);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\Prog\\Projects\\Other.hlj")), saved);
    EXPECT_EQ(editor_->Project(), nullptr);
}

// The verdict images follow every rule change, on the disk page at once and
// on the found-files page when it is shown; in the end they are the core's
// own verdicts on the saved project.
TEST_F(EditorTest, BrowserMarksFilesWithTheRulesVerdictAndFollowsEveryChange) {
    std::map<std::string, int> shown;  // Windows path -> image, as the browser last showed it
    Edit([&](TFormSetProject& ed) {
        EXPECT_EQ(Images(), (std::map<QString, int>{{"..\\D:", kImgParent},
                                                    {"Deep", kImgDir},
                                                    {"Sub", kImgDir},
                                                    {"a.txt", kImgFileTaken},
                                                    {"b.bak", kImgFileLeftOut}}));
        DoubleClick("Sub");
        EXPECT_EQ(ed.CurrentDir(), "D:\\Work\\Sub");
        // The change: "Подкаталоги", Sub\other.txt dropped onto a list, extension TXT;
        // then the image of Sub\other.txt, the counts taken/left and the exclusions.
        const struct {
            const char* change;
            int other;
            const char *counts, *excluded;
        } steps[] = {{"", kImgFileUndecided, "2/1", "Sub\\*.tmp"},
                     {"cbPSubDirs", kImgFileTaken, "3/2", "Sub\\*.tmp"},
                     {"lvPFilesExcl", kImgFileLeftOut, "2/3", "Sub\\*.tmp|Sub\\other.txt"},
                     {"lvPFilesIncl", kImgFileTaken, "3/2", "Sub\\*.tmp"},
                     {"lbPExt", kImgFileTaken, "2/3", "Sub\\*.tmp"}};
        for (const auto& r : steps) {
            SCOPED_TRACE(r.change);
            const std::string change = r.change;
            if (change == "cbPSubDirs") Click(&ed, r.change);
            EXPECT_TRUE(change != "lbPExt" || DropValue("lbPExt", "x.TXT"));
            if (change.rfind("lvPFiles", 0) == 0) {
                Select({"other.txt"});
                EXPECT_TRUE(Drop(r.change, From("lva")));
            }
            const auto images = Images();
            EXPECT_EQ(std::tuple(images.at("keep.txt"), images.at("x.tmp"), images.at("other.txt")),
                      std::tuple(kImgFileTaken, kImgFileLeftOut, r.other));
            for (const char* f : {"keep.txt", "x.tmp", "other.txt"})
                EXPECT_EQ(images.at(f),
                          kImgFileUndecided +
                              ed.Project()->CheckFile(std::string("D:\\Work\\Sub\\") + f));
            EXPECT_EQ(S("lvPFilesExcl"), r.excluded);
            C<QTabWidget>("pcBrowser")->setCurrentWidget(C("tabFiles"));
            EXPECT_EQ(S("lbFilesFound") + "/" + S("lbFilesLeft"), r.counts);
            C<QTabWidget>("pcBrowser")->setCurrentWidget(C("tabDisk"));
        }
        for (const auto& [name, image] : Images())
            shown["D:\\Work\\Sub\\" + name.toStdString()] = image;
        // Up again: the directory just left is the one selected.
        DoubleClick("..\\Work");
        EXPECT_EQ(ed.CurrentDir(), "D:\\Work");
        EXPECT_EQ(Lva()->CurrentRow(), Row("Sub"));
        for (const auto& [name, image] : Images()) shown["D:\\Work\\" + name.toStdString()] = image;
        EXPECT_EQ(shown.at("D:\\Work\\a.txt"), kImgFileLeftOut);
        Click(&ed, "sbSaveExit");
    });
    const auto p = Load(kDocs);
    for (const auto& [file, image] : shown)
        if (IsFileImage(image)) {
            EXPECT_EQ(image, kImgFileUndecided + p->CheckFile(file)) << file;
        }
}

// A tree large enough for several turns of the event loop: the window keeps
// handling events while the scan runs, its stop button ends the scan, and the
// page counts what the rules take and leave out.
TEST_F(EditorTest, FoundFilesFillWhileTheWindowStaysAliveAndCanBeStopped) {
    int64_t takenSize = 0;
    for (int d = 0; d < 12; ++d)
        for (int f = 0; f < 50; ++f) {
            const std::string base = "d/Big/D" + std::to_string(d) + "/f" + std::to_string(f);
            CreateFile(base + ".txt", std::string(1 + (f % 7), 't'));
            CreateFile(base + ".bak", std::string(10, 'b'));
            takenSize += 1 + (f % 7);
        }
    SaveProject("Big", "Big", "D:\\Big", "D:\\Arc", [](THL_HalvoraProject& p) {
        p.IncludeAllFiles = p.IncludeSubDirs = true;
        p.AddExtension("BAK");
        p.ArcType = 2;
    });
    Caller("D:\\Prog\\Projects\\Big.hlj");
    Edit([&](TFormSetProject& ed) {
        int ticks = 0;
        bool locked = true, stop = false;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!ed.Scanning()) return;
            ++ticks;
            locked = locked && !C("pnData")->isEnabled();
            if (stop) stop = false, Click(&ed, "sbStopScan");
        });
        timer.start(0);
        C<QTabWidget>("pcBrowser")->setCurrentWidget(C("tabFiles"));
        EXPECT_GT(ticks, 0) << "no event handled during the scan";
        EXPECT_TRUE(locked && C("pnData")->isEnabled());
        EXPECT_EQ(S({"lbFilesFound", "lbFilesFoundSize", "lbFilesLeft", "lbFilesLeftSize"}),
                  QString("600 / %1 KB / 600 / 6 KB").arg(takenSize / 1000));
        auto* lvf = C<QTreeView>("lvf");
        ASSERT_EQ(lvf->model()->rowCount(), 600);
        // The columns sort, a second click turns the order round.
        const auto firstAfter = [&](int column) {
            lvf->header()->sectionClicked(column);
            return lvf->model()->index(0, column).data().toString();
        };
        EXPECT_EQ(QStringList({firstAfter(2), firstAfter(2), firstAfter(3)}),
                  QStringList({"1", "7", "D0"}));

        // A change starts the scan again; the stop button ends it early.
        stop = true;
        EXPECT_TRUE(DropValue("lbPExt", "x.TMP"));
        EXPECT_LT(S("lbFilesFound").toInt(), 600);
        EXPECT_TRUE(S("lbScanState").contains("прерван"));
        EXPECT_TRUE(DropValue("lbPExt", "x.LOG"));
        EXPECT_EQ(S({"lbFilesFound", "lbScanState"}), "600 / ");
        timer.stop();
        Click(&ed, "sbCancel");
    });
}

// Every kind of drop, each checked where it lands and, at the end, in the saved file.
TEST_F(EditorTest, DropsFromTheBrowserTheValueTheDesktopAndTheFoundFiles) {
    Edit([&](TFormSetProject& ed) {
        // Fields take the browser's current item; "Отменить" takes them back.
        Select({"a.txt"});
        for (const char* field : {"edFileName", "edArcName", "edValue"})
            EXPECT_TRUE(Drop(field, From("lva")));
        Select({"Deep"});
        EXPECT_TRUE(Drop("edRootDir", From("lva")));
        EXPECT_EQ(S({"edFileName", "edArcName", "edValue", "edRootDir"}),
                  "a / a / D:\\Work\\a.txt / D:\\Work\\Deep");
        Click(&ed, "sbReload");
        EXPECT_EQ(S("edRootDir"), "D:\\Work");
        EXPECT_EQ(ed.CurrentDir(), "D:\\Work");

        const auto lva = [&](const QStringList& items) { return Select(items), From("lva"); };
        const auto value = [&](const char* text) {
            C<QLineEdit>("edValue")->setText(QString::fromUtf8(text));
            return From("edValue");
        };
        // Mime dropped onto Target: the rows of List afterwards and the message shown.
        const auto drop = [&](const char* target, QMimeData* mime, const char* list,
                              const std::string& rows, const char* said = nullptr) {
            SCOPED_TRACE(target + (" <- " + rows));
            responder_->Clear();
            EXPECT_TRUE(Drop(target, mime));
            EXPECT_EQ(S(list), QString::fromStdString(rows));
            auto shown = Said("ShowInfo");
            for (const auto& e : Said("ShowError")) shown.push_back(e);
            EXPECT_EQ(shown, said ? Lines{said} : Lines{});
        };
        const std::string projects =
            "Зависимый|Не проект: D:\\Prog\\Projects\\NotPrj.hlj|"
            "Не найден: D:\\Prog\\Projects\\Gone.hlj|Другой";
        drop("lbSaveDir", lva({"Deep", "Sub"}), "lbSaveDir",
             "D:\\Arc|D:\\Work\\Deep|D:\\Work\\Sub");
        drop("lbSaveDir", lva({"Deep"}), "lbSaveDir", "D:\\Arc|D:\\Work\\Deep|D:\\Work\\Sub",
             "\"D:\\Work\\Deep\"\r\n\r\nУже имеется");
        drop("lvDirs", lva({"Sub"}), "lvDirs", "D:\\Work\\Deep|D:\\Nowhere|D:\\Work\\Sub");
        // In the order shown (by name, descending).
        drop("lvPFilesExcl", lva({"a.txt", "b.bak"}), "lvPFilesExcl", "Sub\\*.tmp|b.bak|a.txt");
        drop("lvPFilesIncl", lva({"a.txt"}), "lvPFilesExcl", "Sub\\*.tmp|b.bak");
        drop("lbPExt", lva({"a.txt"}), "lbPExt", "BAK|txt");
        drop("lbProjects", value("D:\\Prog\\Projects\\Other.hlj"), "lbProjects", projects);
        drop("lbProjects", value("D:\\Prog\\Projects\\NotPrj.hlj"), "lbProjects", projects,
             "Файл \"D:\\Prog\\Projects\\NotPrj.hlj\" не является проектом");
        drop("lbProjects", value("D:\\Prog\\Projects\\Missing.hlj"), "lbProjects", projects,
             "Файл \"D:\\Prog\\Projects\\Missing.hlj\" не найден");
        // From the desktop: the same entries as from the browser.
        drop("lvPFilesExcl", Urls({Root() + "/d/Work/Sub/other.txt"}), "lvPFilesExcl",
             "Sub\\*.tmp|b.bak|Sub\\other.txt");
        drop("lvDirs", Urls({Root() + "/d/Arc"}), "lvDirs",
             "D:\\Work\\Deep|D:\\Nowhere|D:\\Work\\Sub|D:\\Arc");
        EXPECT_EQ(C<QComboBox>("cbDirs")->count(), 4);

        // A path that no drive holds is refused.
        responder_->Clear();
        const DriveMap map = GetDriveMap();
        SetDriveMap({{'D', Root() + "/d"}});
        EXPECT_TRUE(Drop("lbSaveDir", Urls({"/usr"})));
        SetDriveMap(map);
        EXPECT_EQ(Said("ShowError"), Lines{"Файл лежит вне дисков программы|/usr"});
        EXPECT_EQ(C<QListWidget>("lbSaveDir")->count(), 3);

        // Onto the waste bin: nodes, dependencies, extensions, places.
        for (auto [list, item] :
             {std::pair{"lvDirs", "D:\\Nowhere"}, std::pair{"lbProjects", "Зависимый"},
              std::pair{"lbPExt", "BAK"}, std::pair{"lbSaveDir", "D:\\Work\\Sub"}}) {
            EXPECT_TRUE(Bin(list, item));
            EXPECT_FALSE(S(list).split('|').contains(QString::fromUtf8(item))) << list;
        }
        // The browser is no list to throw away from.
        EXPECT_FALSE(Drop("imRecicle", lva({"a.txt"})));
        // A place moves within its list: the last one onto the first.
        auto* places = C<QListWidget>("lbSaveDir");
        places->setCurrentRow(1);
        EXPECT_TRUE(
            Drop("lbSaveDir", From("lbSaveDir"), places->visualItemRect(places->item(0)).center()));
        EXPECT_EQ(S("lbSaveDir"), "D:\\Work\\Deep|D:\\Arc");

        // Found files: onto the extensions only while "Все файлы" holds, onto the exclusions.
        C<QTabWidget>("pcBrowser")->setCurrentWidget(C("tabFiles"));
        auto* lvf = C<QTreeView>("lvf");
        const auto pick = [&](const QString& name) {
            const int row = static_cast<int>(Column(lvf).indexOf(name));
            lvf->selectionModel()->setCurrentIndex(
                lvf->model()->index(row, 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return row >= 0;
        };
        ASSERT_TRUE(pick("x"));  // Sub\x.tmp, taken through the node D:\Work\Sub
        C<QCheckBox>("cbPAllFiles")->click();
        EXPECT_FALSE(Drop("lbPExt", From("lvf")));
        C<QCheckBox>("cbPAllFiles")->click();
        ASSERT_TRUE(pick("x"));  // the rows were found again, without it in between
        EXPECT_TRUE(Drop("lbPExt", From("lvf")));
        EXPECT_EQ(S("lbPExt"), "txt|tmp");
        ASSERT_TRUE(pick("a"));
        EXPECT_FALSE(Drop("lvPFilesIncl", From("lvf")));
        EXPECT_TRUE(Drop("lvPFilesExcl", From("lvf")));
        Click(&ed, "sbSaveExit");
    });
    const auto p = Load(kDocs);
    EXPECT_EQ(QStringList({Joined(p->SavePlaces()), Joined(p->Dirs()), Joined(p->Projects()),
                           Joined(p->IncludeFiles()), Joined(p->ExcludeFiles()),
                           Joined(p->Extensions())}),
              QStringList({"D:\\Work\\Deep|D:\\Arc", "D:\\Work\\Deep|D:\\Work\\Sub|D:\\Arc",
                           "D:\\Prog\\Projects\\NotPrj.hlj|D:\\Prog\\Projects\\Gone.hlj|"
                           "D:\\Prog\\Projects\\Other.hlj",
                           "Sub\\keep.txt", "Sub\\*.tmp|b.bak|Sub\\other.txt|a.txt", "txt|tmp"}));
}

// The page "Директорий": no page without nodes; a node opened with its own
// rules, its top level kept, and removed while open without harm.
TEST_F(EditorTest, DirectoryNodePage) {
    Edit([&](TFormSetProject& ed) {
        auto* pages = C<QTabWidget>("pcData");
        // Without nodes the page is refused.
        EXPECT_TRUE(Bin("lvDirs", "D:\\Work\\Deep") && Bin("lvDirs", "D:\\Nowhere"));
        responder_->Clear();
        pages->setCurrentWidget(C("tabDir"));
        EXPECT_EQ(pages->currentWidget(), C("tabGeneral"));
        EXPECT_EQ(Said("ShowError"), Lines{"Не определен список директориев"});
        Click(&ed, "sbReload");

        // Double click on a node opens it on its page, in the browser too.
        pages->setCurrentWidget(C("tabDirList"));
        auto* dirs = C<QListWidget>("lvDirs");
        ClickIndex(dirs, dirs->model()->index(0, 0), true);
        EXPECT_EQ(pages->currentWidget(), C("tabDir"));
        ASSERT_NE(ed.CurrentNode(), nullptr);
        EXPECT_EQ(ed.CurrentNode()->Dir(), "D:\\Work\\Deep");
        EXPECT_EQ(S({"cbDirs", "lbDirName", "cbPrjProperty"}),
                  "D:\\Work\\Deep /  D:\\Work\\Deep / 1");
        EXPECT_EQ(ed.CurrentDir(), "D:\\Work\\Deep");
        responder_->Clear();
        DoubleClick("..\\Work");
        EXPECT_EQ(ed.CurrentDir(), "D:\\Work\\Deep");
        EXPECT_EQ(Said("ShowError"), Lines{"Уровень является верхним для данного директория"});

        // Rules of its own: a file outside the node is refused, one inside kept relative.
        C<QCheckBox>("cbPrjProperty")->click();
        responder_->Clear();
        EXPECT_TRUE(DropValue("lvDFilesExcl", "D:\\Work\\a.txt"));
        EXPECT_TRUE(DropValue("lvDFilesExcl", "D:\\Work\\Deep\\z.txt"));
        EXPECT_TRUE(DropValue("lbDExt", "log.LOG"));
        EXPECT_EQ(Said("ShowError"),
                  Lines{"\"D:\\Work\\a.txt\"\r\n\r\nне содержится в выбранном директории"});
        EXPECT_EQ(S("lvDFilesExcl"), "z.txt");
        C<QCheckBox>("cbDSubDirs")->click();
        Click(&ed, "sbSave");
        const auto saved = Load(kDocs);
        const THL_Directory* node = saved->DirNode(0);
        EXPECT_TRUE(!node->ProjectProperties() && node->IncludeSubDirs);
        EXPECT_EQ(Joined(node->ExcludeFiles()) + "/" + Joined(node->Extensions()), "z.txt/LOG");

        // The open node thrown away: nothing is stored into it any more.
        pages->setCurrentWidget(C("tabDirList"));
        EXPECT_TRUE(Bin("lvDirs", "D:\\Work\\Deep"));
        EXPECT_EQ(ed.CurrentNode(), nullptr);
        EXPECT_EQ(C<QComboBox>("cbDirs")->currentIndex(), -1);
        EXPECT_EQ(S("lbDirName"), " ???");
        Click(&ed, "sbSaveExit");
    });
    EXPECT_EQ(Joined(Load(kDocs)->Dirs()), "D:\\Nowhere");
}

// The browser's menu and the drive list.
TEST_F(EditorTest, BrowserMenuDrivesAndSorting) {
    const auto act = [&](const char* name) { editor_->findChild<QAction*>(name)->trigger(); };
    Edit([&](TFormSetProject& ed) {
        // Directories made (the name typed) and removed (the item current).
        for (const char* name : {"New\\Deeper", "D:\\X"}) {
            OnNextModal([name](QWidget* w) {
                Type(Find<QLineEdit>(w, "ed"), name);
                Click(w, "btOk");
            });
            act("mnMakeDir");
        }
        for (const char* dir : {"Sub", "Deep"}) Lva()->SelectRow(Row(dir)), act("mnDelDir");
        EXPECT_EQ(Said("ShowError"),
                  (Lines{"Неверное имя: D:\\X", "Могу удалить только пустой директорий"}));
        EXPECT_TRUE(Exists(Root() + "/d/Work/New/Deeper") && Exists(Root() + "/d/Work/Sub"));
        EXPECT_FALSE(Exists(Root() + "/d/Work/Deep"));
        EXPECT_TRUE(Images().count("New"));

        // Sorting: files by size, by verdict; directories first whatever the key.
        const auto order = [&] { return Column(Lva()->Table()).join('|'); };
        act("mnSortSize");
        EXPECT_EQ(order(), "..\\D:|New|Sub|b.bak|a.txt");
        act("mnSortAscend");
        EXPECT_EQ(order(), "..\\D:|New|Sub|a.txt|b.bak");
        for (const char* a : {"mnSortInclude", "mnSortName", "mnSortAscend"}) act(a);
        EXPECT_EQ(order(), "..\\D:|New|Sub|a.txt|b.bak");

        // The drive list: the drive shown marked; a drive opens its root.
        Click(&ed, "sbDiskName");
        const auto drives = Images();
        EXPECT_EQ(
            std::tuple(drives.size(), drives.at("A:"), drives.at("D:") % 2, drives.at("C:") % 2),
            std::tuple(3u, kImgDriveRemovable, 1, 0));
        DoubleClick("D:");
        EXPECT_EQ(ed.CurrentDir(), "D:");
        EXPECT_TRUE(Images().count("Work") && !Images().count("..\\D:"));
        // A double click on the root directory shows it.
        QTest::mouseDClick(C("edRootDir"), Qt::LeftButton);
        EXPECT_EQ(ed.CurrentDir(), "D:\\Work");
        responder_->Clear();
        ed.ShowDir("D:\\Nope");
        EXPECT_EQ(Said("ShowError"), Lines{"Не найден директорий|D:\\Nope"});
        EXPECT_EQ(ed.CurrentDir(), "D:\\Work");
        Click(&ed, "sbCancel");
    });
}

}  // namespace
}  // namespace hv::test
