// The run driver: the projects a run takes, and what ends a run.
#include <gtest/gtest.h>

#include "dialogs/Progress.h"
#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "run/RunDriver.h"
#include "settings/IniFile.h"
#include "test_RunFixture.h"
#include "util/StringList.h"

namespace hv {
namespace {

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

// Errors of any kind end as a message and a failed run, never as an escaping
// exception, and the progress window is closed whatever happened.
TEST_F(RunDriverTest, EveryErrorOfARunIsShownAndTheWindowReleased) {
    CreateDir("d/Work");
    CreateDir("d/Arc");
    CreateFile("d/Work/a.txt", "a");
    const std::string junk = "D:\\Prog\\Projects\\Junk.hlj";
    CreateFile("d/Prog/Projects/Junk.hlj", "[***  This is Halvora Project File");
    const std::string dep = SaveProject("D:\\Prog\\Projects\\Dep.hlj", "Dep", {"Junk.hlj"});
    // Unknown archiver and an archive name without extension: no name can be made for it.
    THL_HalvoraProject odd;
    odd.FileName = "D:\\Prog\\Projects\\Odd.hlj";
    odd.SetName("Odd");
    odd.SetRootDir("D:\\Work");
    odd.SavePlaces().Add("D:\\Arc");
    odd.ArcType = 99;
    odd.SetArcName("Backup");
    odd.SaveToFile();
    struct Row {
        const char* name;
        std::string file;
        std::string shown;  // a text of a ShowError box
    };
    const std::vector<Row> rows = {
        {"NotAProject", junk, junk + " не является проектом"_a},
        {"GarbageDependency", dep, junk + " не является проектом"_a},
        {"NoArchiveName", "D:\\Prog\\Projects\\Odd.hlj", "Unknown format"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        responder_.Clear();
        T_PrjList list;
        THL_ArcList arcs;
        arcs.ReadAll(*TIniFile::FromText(""), "");
        NullProgress progress;
        TRunDriver driver(list, arcs, progress);
        EXPECT_FALSE(driver.RunProjects(r.file, false, false));
        EXPECT_FALSE(progress.Open());
        bool named = false;
        for (const auto& req : responder_.RequestsOf("ShowError"))
            named = named || (req.heading + req.text).find(r.shown) != std::string::npos;
        EXPECT_TRUE(named) << r.shown;
        ASSERT_FALSE(driver.Results().empty());
        EXPECT_EQ(driver.Results().front().status, TRunDriver::ProjectResult::Status::Failed);
    }
}

}  // namespace
}  // namespace hv
