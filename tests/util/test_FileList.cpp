#include <gtest/gtest.h>

#include "support/TempTree.h"
#include "util/TypeList.h"

namespace hv {
namespace {

using Strings = std::vector<std::string>;

using FileList = test::TempTree;

// AddFiles appends and counts only what its own call added; a sorted scan sorts what
// was there too.
TEST_F(FileList, AddFilesAndSortedScans) {
    for (const char* f : {"d/Arc/ARC.A01", "d/Arc/ARC.A02", "d/Arc/OLD.A01", "d/Arc/ARC.A03"})
        CreateFile(f);
    T_zqFileList list;
    EXPECT_EQ(list.AddFiles("D:\\Arc", "*.A01"), 2);
    Strings first = list.Strings();
    EXPECT_EQ(list.AddFiles("d:\\arc\\", "*.A02"), 1);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0], first[0]);
    EXPECT_EQ(list[1], first[1]);
    EXPECT_EQ(list[2], "D:\\ARC\\ARC.A02");
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (Strings{"D:\\ARC\\ARC.A01", "D:\\ARC\\OLD.A01"}));
    EXPECT_EQ(list.AddFiles("D:\\Missing", "*.*"), 0);
    EXPECT_EQ(list.Count(), 3);

    CreateFile("d/S/b.txt");
    CreateFile("d/S/a.txt");
    T_zqFileList sorted;
    sorted.Add("D:\\S\\c.txt");
    EXPECT_EQ(sorted.FillFromDir("D:\\S", "*.txt", true, false, true), 2);
    EXPECT_EQ(sorted.Strings(), (Strings{"D:\\S\\a.txt", "D:\\S\\b.txt", "D:\\S\\c.txt"}));
}

TEST_F(FileList, ReadDirsAndFilesPutsSortedDirectoriesFirst) {
    for (const char* f : {"d/Data/zeta/x", "d/Data/ALPHA/x", "d/Data/beta/x", "d/Data/.git/x",
                          "d/Data/b.txt", "d/Data/A.txt", "d/Data/c.doc", "d/Data/sub.txt/x"})
        CreateFile(f);
    T_zqFileList list;
    list.Add("stale");
    int changes = 0;
    list.OnChange = [&](TStringList&) { ++changes; };
    EXPECT_EQ(list.ReadDirsAndFiles("d:\\data", "*.txt", true), 6);
    EXPECT_EQ(changes, 1);  // the scan is one change
    EXPECT_EQ(list.Strings(),
              (Strings{"D:\\DATA\\ALPHA\\", "D:\\DATA\\beta\\", "D:\\DATA\\sub.txt\\",
                       "D:\\DATA\\zeta\\", "D:\\DATA\\A.txt", "D:\\DATA\\b.txt"}));

    list.UpperNames = true;
    list.ReadDirsAndFiles("D:\\Data", "*.TXT", true);
    EXPECT_EQ(list[1], "D:\\DATA\\BETA\\");
    EXPECT_EQ(list[5], "D:\\DATA\\B.TXT");

    // A missing directory still empties the list.
    EXPECT_EQ(list.ReadDirsAndFiles("D:\\Nothing", "*.*", true), 0);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(FileList, FilterSeesEachEntryAndCanRejectOne) {
    CreateFile("d/F/keep1.txt", "1");
    CreateFile("d/F/drop.txt", "22");
    CreateFile("d/F/keep2.txt", "333");
    T_zqFileList list;
    Strings asked;
    list.OnFilter = [&](const std::string& dir, const FindData& e, bool& accept) {
        EXPECT_EQ(dir, "D:\\F\\");
        asked.push_back(e.name);
        if (e.name == "drop.txt") {
            EXPECT_EQ(e.Size(), 2);
            accept = false;
        }
    };
    EXPECT_EQ(list.AddFiles("D:\\F", "*.txt"), 2);
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(list.IndexOf("D:\\F\\drop.txt"), -1);
    EXPECT_GE(list.IndexOf("D:\\F\\keep2.txt"), 0);
}

TEST_F(FileList, DeleteFilesByNameOrByFullMask) {
    for (const char* f : {"d/TMP/a.bak", "d/TMP/b.BAK", "d/TMP/c.txt", "d/Other/x.bak"})
        CreateFile(f);
    T_zqFileList list;
    list.AddFiles("D:\\TMP", "*.*");
    list.AddFiles("D:\\Other", "*.*");
    ASSERT_EQ(list.Count(), 4);

    // A mask with a directory matches whole items.
    EXPECT_TRUE(list.DeleteFiles("D:\\TMP\\*.BAK"));
    EXPECT_EQ(Entries("d/TMP"), (Strings{"c.txt"}));
    EXPECT_EQ(Entries("d/Other"), (Strings{"x.bak"}));
    EXPECT_EQ(list.Count(), 2);

    // A bare mask matches file names only, wherever they are.
    EXPECT_TRUE(list.DeleteFiles("*.bak"));
    EXPECT_TRUE(Entries("d/Other").empty());
    EXPECT_EQ(list.Strings(), (Strings{"D:\\TMP\\c.txt"}));

    // Gone files and directory entries just leave the list.
    CreateFile("d/TMP/sub/x");
    list.ReadDirsAndFiles("D:\\TMP", "*.*", true);
    list.Add("D:\\TMP\\vanished.txt");
    EXPECT_TRUE(list.DeleteFiles());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(Entries("d/TMP"), (Strings{"sub"}));
    EXPECT_EQ(Entries("d/TMP/sub"), (Strings{"x"}));
}

// Wildcard characters in a listed name never widen the deletion.
TEST_F(FileList, ListedWildcardNamesDeleteOnlyThemselves) {
    for (const char* f : {"d/W/*.txt", "d/W/a?.txt", "d/W/ab.txt", "d/W/ac.txt", "d/W/real.txt"})
        CreateFile(f);
    T_zqFileList list;
    list.Add("D:\\W\\*.txt");
    list.Add("D:\\W\\a?.txt");
    EXPECT_TRUE(list.DeleteFiles());
    EXPECT_EQ(Entries("d/W"), (Strings{"ab.txt", "ac.txt", "real.txt"}));
    EXPECT_EQ(list.Count(), 0);

    CreateFile("d/W/*.txt");
    list.AddFiles("D:\\W", "*.txt");
    ASSERT_EQ(list.Count(), 4);
    for (const char* keep : {"D:\\W\\ab.txt", "D:\\W\\ac.txt", "D:\\W\\real.txt"})
        list.Delete(list.IndexOf(keep));
    EXPECT_TRUE(list.DeleteFiles("*.txt"));
    EXPECT_EQ(Entries("d/W"), (Strings{"ab.txt", "ac.txt", "real.txt"}));
}

}  // namespace
}  // namespace hv
