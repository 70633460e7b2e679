// The project list as the settings file keeps it (what the main window's
// restart does not show: full paths, dates, entries that are no projects), the
// projects a run takes, and the archiver settings' sections (the built-in
// table is what every end-to-end run of arj and zip uses).
#include <gtest/gtest.h>

#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "run/RunDriver.h"
#include "settings/IniFile.h"
#include "support/ProjectTrees.h"
#include "util/StringList.h"

namespace hv {
namespace {

using ProjectListTest = test::ProgramTree;

TEST_F(ProjectListTest, EntriesRoundTripThroughTheSettingsFile) {
    CreateDir("d/Else");
    std::string inside = SaveProject("D:\\Prog\\Projects\\Docs.hlj", "Docs");
    std::string outside = SaveProject("D:\\Else\\Mail.hlj", "Mail");
    CreateFile("d/Prog/Projects/junk.hlj", "not a project\r\n");
    auto ini = TIniFile::FromText("[PrjInfo3]\r\nFile=\"stale.hlj\"\r\n\r\n");
    T_PrjList list;
    for (const std::string& f : {inside, outside, std::string("D:\\Prog\\Projects\\junk.hlj"),
                                 std::string("D:\\Prog\\Projects\\gone.hlj")}) {
        T_Prj* p = list.NewItem();
        p->LoadFromFile(f);
        p->Checked = true;
    }
    list.Items(1)->SaveDate = EncodeDate(2024, 5, 17);
    THL_ArcList arcs;
    arcs.ReadAll(*ini, "");
    SaveProjectList(*ini, list, &arcs, 1, -1);
    // Inside the projects directory the bare name is stored, elsewhere the full path.
    EXPECT_EQ(ini->ReadString("PrjInfo0", "File", ""), "\"Docs.hlj\"");
    EXPECT_EQ(ini->ReadString("PrjInfo1", "File", ""), "\"D:\\Else\\Mail.hlj\"");
    EXPECT_EQ(ini->ReadString("PrjInfo1", "Save", ""), "20240517");

    T_PrjList back;
    LoadProjectList(*ini, back, nullptr);
    ASSERT_EQ(back.GetCount(), 4);  // the stale PrjInfo3 section does not add a fifth
    EXPECT_TRUE(SameText(back.Items(0)->FileName, inside));
    EXPECT_TRUE(SameText(back.Items(0)->ArchiveName, "D:\\Arc\\Docs.ARJ"));
    EXPECT_EQ(back.Items(1)->SaveDate, EncodeDate(2024, 5, 17));
    EXPECT_EQ(back.Items(2)->Name,
              "Формат неизвестен: "_a + std::string("D:\\Prog\\Projects\\junk.hlj"));
    EXPECT_EQ(back.Items(3)->Name,
              "Файл не найден: "_a + std::string("D:\\Prog\\Projects\\gone.hlj"));
    // Unreadable entries keep their mark in the file but never take part.
    EXPECT_TRUE(back.Items(3)->Checked);
    EXPECT_FALSE(back.Items(3)->IsChecked());
}

TEST_F(ProjectListTest, DuplicatesAreShownAndSharedFilesRefused) {
    T_PrjList list;
    T_Prj* a = list.NewItem();
    a->Name = "Same";
    a->FileName = "D:\\a.hlj";
    a->ArchiveName = "D:\\Arc\\a.arj";
    T_Prj* b = list.NewItem();
    b->Name = "same";
    b->FileName = "D:\\b.hlj";
    b->ArchiveName = "D:\\Arc\\b.arj";
    EXPECT_TRUE(CheckDuplicates(list, *b));  // equal names only warn
    b->ArchiveName = "d:\\arc\\A.ARJ";
    EXPECT_FALSE(CheckDuplicates(list, *b));
    const auto shown = responder_.RequestsOf("ShowError");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(
        shown[1].message,
        "Совпадают имена проектов\r\nСовпадают имена файлов архивов проектов\r\n|Same\r\nsame"_a);
    // Two entries without an archive name (no storage place yet) do not clash.
    a->Name = "A";
    a->ArchiveName.clear();
    b->ArchiveName.clear();
    EXPECT_TRUE(CheckDuplicates(list, *b));
    EXPECT_EQ(responder_.RequestsOf("ShowError").size(), 2u);
}

// A project that loads but whose archive name cannot be made (no archiver)
// is a project all the same: it stays valid, so the run can say why it cannot run it.
TEST_F(ProjectListTest, RecognisedProjectWithoutArchiveNameStaysValid) {
    THL_HalvoraProject p;
    p.FileName = "D:\\Prog\\Projects\\U.hlj";
    p.SetName("U");
    p.SetRootDir("D:\\Work");
    p.SavePlaces().Add("D:\\Arc");
    p.ArcType = 0;
    p.SaveToFile();
    T_Prj e;
    EXPECT_TRUE(e.LoadFromFile("D:\\Prog\\Projects\\U.hlj"));
    EXPECT_TRUE(e.Valid);
    EXPECT_EQ(e.Name, "U");
    EXPECT_TRUE(e.ArchiveName.empty());
}

using Names = std::vector<std::string>;

class RunDriverTest : public test::ProgramTree {
  protected:
    Names Gathered(const std::string& start) {
        TStringList list;
        TRunDriver::CollectProjectFiles(list, start);
        return list.Strings();
    }
};

TEST_F(RunDriverTest, ProjectsAreGatheredOnceInTheirFullForm) {
    // A depends on B by bare name and again by full path, and on itself; B depends on A (a cycle)
    // and on a project that does not exist.
    SaveProject("D:\\Prog\\Projects\\A.hlj", "A", {"B.hlj", "D:\\Prog\\Projects\\B.hlj", "A.hlj"});
    SaveProject("D:\\Prog\\Projects\\B.hlj", "B", {"D:\\Prog\\Projects\\a.hlj", "Gone.hlj"});
    // The current directory decides nothing.
    CreateDir("d/Other");
    ASSERT_TRUE(SetCurrentDir("D:\\Other"));
    EXPECT_EQ(Gathered("A.hlj"), (Names{"D:\\Prog\\Projects\\A.hlj", "D:\\Prog\\Projects\\B.hlj"}));
    EXPECT_EQ(Gathered("D:\\Prog\\Projects\\B.hlj"),
              (Names{"D:\\Prog\\Projects\\B.hlj", "D:\\Prog\\Projects\\a.hlj"}));
    EXPECT_TRUE(Gathered("Gone.hlj").empty());
}

TEST(ArcSettings, AnEmptyStoredArcSECountsAsPresent) {
    auto ini = TIniFile::FromText(
        "[ZIPSect]\r\nArcSE=\"\"\r\nArc=\"zip -r <ARCNAME> @<LISTNAME>\"\r\n\r\n"
        "[ARJSect]\r\nArcSE=\"x\"\r\n\r\n");
    THL_ArcList list;
    list.ReadAll(*ini, "");
    EXPECT_EQ(list.FindByType(kArcZip)->Arc, "zip -r <ARCNAME> @<LISTNAME>");
    EXPECT_EQ(list.FindByType(kArcZip)->DeArc, "");
    // Only ArcSE present: the other keys are empty, no defaults apply.
    EXPECT_EQ(list.FindByType(kArcArj)->Arc, "");
    EXPECT_EQ(list.FindByType(kArcArj)->ArcNC, "");
    EXPECT_EQ(list.FindByType(kArcArj)->TipDos, 1);
}

TEST(ArcSettings, WriteAllThenReadAllReproducesTheRecords) {
    auto ini = TIniFile::FromText("[ARJSect]\r\nstale=1\r\n\r\n");
    THL_ArcList list;
    list.ReadAll(*ini, "");
    list.FindByType(kArcRar)->TipDos = 2;
    list.FindByType(kArcZip)->ArcNC = "-e0";
    list.WriteAll(*ini, "");
    EXPECT_EQ(ini->SectionNames(), (Names{"ARJSect", "ZIPSect", "RARSect"}));
    EXPECT_EQ(ini->KeyNames("ARJSect"), (Names{"TipDos", "ArcSE", "Arc", "DeArc", "ArcNC"}));
    THL_ArcList again;
    again.ReadAll(*ini, "");
    auto copy = TIniFile::FromText("");
    again.WriteAll(*copy, "");
    EXPECT_EQ(copy->Text(), ini->Text());
    // A list without a record for a type skips that section.
    THL_ArcList partial;
    auto rec = std::make_unique<THL_ArcBase>();
    rec->ArcType = kArcZip;
    partial.AddObject(rec.release());
    auto empty = TIniFile::FromText("");
    partial.WriteAll(*empty, "X");
    EXPECT_EQ(empty->SectionNames(), Names{"XZIPSect"});
}

TEST(ArcSettings, SectionNameOfAnUnknownTypeIsAnError) {
    for (int bad : {0, 1, 5, 255})
        EXPECT_EQ(test::ErrorOf([&] { SectionName(bad); }), "Неизвестный тип архива"_a) << bad;
}

}  // namespace
}  // namespace hv
