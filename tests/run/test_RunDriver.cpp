// The run driver: the projects a run takes (what ends a run is shown by the
// main window's failing runs and by halvora-run).
#include <gtest/gtest.h>

#include "run/RunDriver.h"
#include "support/ProjectTrees.h"
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

}  // namespace
}  // namespace hv
