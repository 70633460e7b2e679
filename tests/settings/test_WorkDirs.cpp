// The working directories a start sets up, and the marker file of debug mode.
#include <gtest/gtest.h>

#include "settings/WorkDirs.h"
#include "support/TempTree.h"

namespace hv {
namespace {

using WorkDirsTest = test::TempTree;

TEST_F(WorkDirsTest, StartCreatesWhatItCanAndAMarkerFileSwitchesDebugModeOn) {
    CurrentDirGuard cwd;
    CreateDir("d/Prog");
    workdirs::InitWorkDirs("D:\\Prog");
    EXPECT_EQ(workdirs::ProgramDir(), "D:\\Prog\\");
    for (const char* d : {"TMP", "Projects", "Save"})
        EXPECT_TRUE(DirectoryExists(std::string("D:\\Prog\\") + d)) << d;
    EXPECT_FALSE(workdirs::DebugMode());
    EXPECT_EQ(GetCurrentDir(), "D:\\Prog");

    // A directory that cannot be made is no error here.
    CreateFile("d/Blocked/TMP", "a file in the way");
    workdirs::InitWorkDirs("D:\\Blocked");
    EXPECT_FALSE(DirectoryExists("D:\\Blocked\\TMP"));
    EXPECT_TRUE(DirectoryExists("D:\\Blocked\\Save"));

    CreateFile("d/Debug/halvora.111");
    workdirs::InitWorkDirs("D:\\Debug\\");
    EXPECT_TRUE(workdirs::DebugMode());
    workdirs::SetDebugMode(false);
}

}  // namespace
}  // namespace hv
