#include <gtest/gtest.h>
#include <unistd.h>

#include "settings/WorkDirs.h"
#include "support/TempTree.h"

namespace hv {
namespace {

class WorkDirsTest : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        char buf[4096];
        cwd_ = getcwd(buf, sizeof buf) ? buf : "/";
    }
    void TearDown() override {
        if (chdir(cwd_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << cwd_;
        workdirs::SetDebugMode(false);
        TempTree::TearDown();
    }
    std::string cwd_;
};

TEST_F(WorkDirsTest, FirstStartCreatesTheDirectories) {
    CreateDir("d/Prog");
    workdirs::InitWorkDirs("D:\\Prog");
    EXPECT_EQ(workdirs::ProgramDir(), "D:\\Prog\\");
    EXPECT_EQ(workdirs::ProgramStem(), "halvora");
    EXPECT_EQ(workdirs::TmpDir(), "D:\\Prog\\TMP\\");
    EXPECT_EQ(workdirs::ProjectsDir(), "D:\\Prog\\Projects\\");
    EXPECT_EQ(workdirs::SaveDir(), "D:\\Prog\\Save\\");
    for (const char* d : {"TMP", "Projects", "Save"})
        EXPECT_TRUE(DirectoryExists(std::string("D:\\Prog\\") + d)) << d;
    EXPECT_FALSE(workdirs::DebugMode());
    EXPECT_EQ(GetCurrentDir(), "D:\\Prog");
}

TEST_F(WorkDirsTest, MarkerFileSwitchesDebugModeOn) {
    CreateFile("d/Prog/halvora.111");
    workdirs::InitWorkDirs("D:\\Prog\\");
    EXPECT_TRUE(workdirs::DebugMode());
}

TEST_F(WorkDirsTest, UncreatableDirectoriesAreNotAnErrorHere) {
    CreateFile("d/Prog/TMP", "a file in the way");
    workdirs::InitWorkDirs("D:\\Prog");
    EXPECT_FALSE(DirectoryExists("D:\\Prog\\TMP"));
    EXPECT_TRUE(DirectoryExists("D:\\Prog\\Save"));
}

}  // namespace
}  // namespace hv
