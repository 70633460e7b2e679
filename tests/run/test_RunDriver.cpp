#include <gtest/gtest.h>

#include "dialogs/Progress.h"
#include "dialogs/ScriptedResponder.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "run/RunDriver.h"
#include "settings/WorkDirs.h"
#include "support/TempTree.h"
#include "util/StringList.h"

namespace hv {
namespace {

class RunDriverTest : public test::TempTree {
protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/Prog/Projects");
        CreateDir("d/Other");
        workdirs::SetProgramDir("D:\\Prog\\");
        cwd_ = GetCurrentDir();
    }
    void TearDown() override {
        SetCurrentDir(cwd_);
        TempTree::TearDown();
    }
    void Make(const std::string& file, std::vector<std::string> deps, bool places = true) {
        THL_HalvoraProject p;
        p.FileName = file;
        p.SetName(ExtractFileName(file));
        p.SetRootDir("D:\\Work");
        if (places) p.SavePlaces().Add("D:\\Arc");
        for (const auto& d : deps) p.Projects().Add(d);
        p.SaveToFile();
    }
    std::vector<std::string> Gathered(const std::string& start) {
        TStringList list;
        TRunDriver::CollectProjectFiles(list, start);
        std::vector<std::string> out;
        for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
        return out;
    }
    std::string cwd_;
};

using Names = std::vector<std::string>;

TEST_F(RunDriverTest, ProjectsAreGatheredOnceInTheirFullForm) {
    // A depends on B by bare name and again by full path, and on itself; B depends on A (a cycle)
    // and on a project that does not exist.
    Make("D:\\Prog\\Projects\\A.hlj", {"B.hlj", "D:\\Prog\\Projects\\B.hlj", "A.hlj"});
    Make("D:\\Prog\\Projects\\B.hlj", {"D:\\Prog\\Projects\\a.hlj", "Gone.hlj"});
    // The current directory decides nothing.
    SetCurrentDir("D:\\Other");
    EXPECT_EQ(Gathered("A.hlj"), (Names{"D:\\Prog\\Projects\\A.hlj", "D:\\Prog\\Projects\\B.hlj"}));
    EXPECT_EQ(Gathered("D:\\Prog\\Projects\\B.hlj"),
              (Names{"D:\\Prog\\Projects\\B.hlj", "D:\\Prog\\Projects\\a.hlj"}));
    EXPECT_TRUE(Gathered("Gone.hlj").empty());
}

TEST_F(RunDriverTest, AProjectWithoutPlacesIsReportedAndTheRunGoesOn) {
    ScriptedResponder responder;
    Make("D:\\Prog\\Projects\\C.hlj", {}, false);
    T_PrjList list;
    T_Prj* c = list.NewItem();
    c->LoadFromFile("D:\\Prog\\Projects\\C.hlj");
    c->Checked = true;
    THL_ArcList arcs;
    NullProgress progress;
    TRunDriver driver(list, arcs, progress);
    EXPECT_TRUE(driver.RunProjects("", false, false));
    auto shown = responder.RequestsOf("ShowError");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message,
              "Не определены пути сохранения файла архива\r\n"_a + std::string("D:\\Prog\\Projects\\C.hlj"));
}

TEST_F(RunDriverTest, AMissingGivenProjectEndsTheRun) {
    ScriptedResponder responder;
    T_PrjList list;
    THL_ArcList arcs;
    NullProgress progress;
    TRunDriver driver(list, arcs, progress);
    EXPECT_FALSE(driver.RunProjects("D:\\Prog\\Projects\\None.hlj", false, true));
    auto shown = responder.RequestsOf("ShowError");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message, "Не найден файл проекта \"D:\\Prog\\Projects\\None.hlj\""_a);
}

}  // namespace
}  // namespace hv
