// The working directories a start sets up (the program's start-up test shows
// them made and the debug marker read) when one cannot be made.
#include <gtest/gtest.h>

#include "settings/WorkDirs.h"
#include "support/TempTree.h"

namespace hv {
namespace {

using WorkDirsTest = test::TempTree;

TEST_F(WorkDirsTest, ADirectoryThatCannotBeMadeIsNoError) {
    CurrentDirGuard cwd;
    CreateFile("d/Blocked/TMP", "a file in the way");
    workdirs::InitWorkDirs("D:\\Blocked");
    EXPECT_EQ(workdirs::ProgramDir(), "D:\\Blocked\\");
    EXPECT_FALSE(DirectoryExists("D:\\Blocked\\TMP"));
    EXPECT_TRUE(DirectoryExists("D:\\Blocked\\Save"));
    EXPECT_TRUE(DirectoryExists("D:\\Blocked\\Projects"));
}

}  // namespace
}  // namespace hv
