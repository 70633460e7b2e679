// Windows paths over POSIX: name parts, the drive map, short names, mounts;
// the code pages names and texts pass through.
#include <gtest/gtest.h>

#include <map>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "support/TempTree.h"

namespace hv {
namespace {

using test::TempTree;

TEST(Paths, NamePartsAndExpansion) {
    struct Row {
        std::string path, drive, dir, fileDir, name, ext;
    } rows[] = {
        {"C:\\Data\\x.txt", "C:", "C:\\Data\\", "C:\\Data", "x.txt", ".txt"},
        {"C:\\x.tar.gz", "C:", "C:\\", "C:\\", "x.tar.gz", ".gz"},
        {"\\\\srv\\share\\a\\b", "\\\\srv\\share", "\\\\srv\\share\\a\\", "\\\\srv\\share\\a", "b",
         ""},
        {"name", "", "", "", "name", ""},
        {"D:name.ext", "D:", "D:", "D:", "name.ext", ".ext"},
        {"C:\\dir.v2\\file", "C:", "C:\\dir.v2\\", "C:\\dir.v2", "file", ""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ExtractFileDrive(r.path), r.drive) << r.path;
        EXPECT_EQ(ExtractFilePath(r.path), r.dir) << r.path;
        EXPECT_EQ(ExtractFileDir(r.path), r.fileDir) << r.path;
        EXPECT_EQ(ExtractFileName(r.path), r.name) << r.path;
        EXPECT_EQ(ExtractFileExt(r.path), r.ext) << r.path;
    }
    EXPECT_EQ(ChangeFileExt("C:\\a\\b.old", ".new"), "C:\\a\\b.new");
    EXPECT_EQ(ChangeFileExt("C:\\a.d\\b", ".new"), "C:\\a.d\\b.new");
    EXPECT_EQ(ExpandFileName("C:\\a\\.\\b\\..\\c"), "C:\\a\\c");
    EXPECT_EQ(ExpandFileName("C:/a//b/"), "C:\\a\\b\\");
    EXPECT_EQ(ExpandFileName("C:\\..\\.."), "C:\\");
    EXPECT_EQ(ExpandFileName("\\\\srv\\share\\x\\..\\y"), "\\\\srv\\share\\y");
    // The doubled separator that path joining may leave counts as one.
    EXPECT_EQ(ExpandFileName("C:\\\\X"), "C:\\X");
}

class PathTree : public TempTree {};

TEST_F(PathTree, DriveMapBothWaysAndTheMountTable) {
    CreateFile("d/Work/a.txt", "x");
    EXPECT_EQ(Posix("D:\\Work\\a.txt"), Root() + "/d/Work/a.txt");
    EXPECT_EQ(ToWindowsPath(Root() + "/d/Work/a.txt").value(), "D:\\Work\\a.txt");
    EXPECT_EQ(ToWindowsPath(Root() + "/d").value(), "D:\\");
    // Longest prefix wins over C: -> /.
    EXPECT_EQ(ToWindowsPath(Root() + "/other").value().substr(0, 2), "C:");
    EXPECT_FALSE(ToPosixPath("Q:\\x").has_value());
    // Network paths go through the mount table.
    std::string share = CreateDir("share");
    CreateFile("share/Dir/f.txt", "n");
    std::string table = CreateFile("mounts", "//Server/Docs " + share +
                                                 " cifs rw 0 0\n"
                                                 "nfshost:/export/data /nonexistent nfs rw 0 0\n");
    SetMountTablePath(table);
    EXPECT_EQ(Posix("\\\\server\\docs\\dir\\F.TXT"), share + "/Dir/f.txt");
    EXPECT_EQ(Posix("//SERVER/Docs/Dir/f.txt"), share + "/Dir/f.txt");
    EXPECT_FALSE(ToPosixPath("\\\\other\\docs\\x").has_value());
    EXPECT_EQ(GetDriveType("\\\\server\\docs\\"), DriveType::Remote);
    EXPECT_EQ(GetDriveType("\\\\nowhere\\x\\"), DriveType::NoRootDir);
    SetMountTablePath("");
}

// Short names that reach the archivers through the list file are the archiver
// runs' test; how the alternates are made is this one.
TEST_F(PathTree, ShortNameGeneration) {
    // Alternates are numbered in byte order of the names; names that fit 8.3 stand for themselves.
    for (const char* n : {"Long Folder Other", "Long Folder Name", "LONGFO~1", "readme.txt",
                          "archive.tar.gz", ".hidden", "Отчёт за год.doc"})
        CreateFile(std::string("d/S/") + n);
    struct Row {
        std::string name, shortName;
    } rows[] = {
        {"Long Folder Name", "LONGFO~2"},  // LONGFO~1 is taken by a real file
        {"Long Folder Other", "LONGFO~3"},
        {"LONGFO~1", ""},
        {"readme.txt", ""},
        {"archive.tar.gz", "ARCHIV~1.GZ"},
        {".hidden", "HIDDEN~1"},
        {"Отчёт за год.doc"_a, "ОТЧЁТЗ~1.DOC"_a},
    };
    FindFile all;
    std::map<std::string, std::string> listed;
    for (bool ok = all.First("D:\\S\\*", kAttrAnyFile); ok; ok = all.Next())
        listed[all.Data().name] = all.Data().ShortName();
    for (const auto& r : rows) {
        FindData fd;
        ASSERT_TRUE(GetFileInfo("D:\\S\\" + r.name, fd)) << r.name;
        EXPECT_EQ(fd.ShortName(), r.shortName) << r.name;
        EXPECT_EQ(listed[r.name], r.shortName) << r.name;
        EXPECT_EQ(IsShortName(r.name), r.shortName.empty()) << r.name;
        // A search for the alternate, or for a name that fits 8.3, finds that entry alone.
        FindFile one;
        ASSERT_TRUE(
            one.First("D:\\S\\" + (r.shortName.empty() ? r.name : r.shortName), kAttrAnyFile))
            << r.name;
        EXPECT_EQ(one.Data().name, r.name);
        EXPECT_FALSE(one.Next()) << r.name;
    }
}

TEST_F(PathTree, CyrillicAndUnrepresentableNames) {
    CreateFile("d/Отчёт.txt", "1251");
    CreateFile("d/snow\xE2\x98\x83.txt", "x");
    FindFile ff;
    std::vector<std::string> names;
    for (bool ok = ff.First("D:\\*.*", kAttrAnyFile); ok; ok = ff.Next())
        names.push_back(ff.Data().name);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_NE(std::find(names.begin(), names.end(), std::string("Отчёт.txt"_a)), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), std::string("snow?.txt")), names.end());
    File f;
    ASSERT_TRUE(f.Open("D:\\"_a + std::string("ОТЧЁТ.TXT"_a), OpenMode::Read));
    // The '?' stands for a character 1251 cannot hold: the name opens nothing.
    EXPECT_FALSE(FileExists("D:\\snow?.txt"));
    File g;
    EXPECT_FALSE(g.Open("D:\\snow?.txt", OpenMode::Read));
}

TEST(FindMask, WindowsWildcards) {
    struct Row {
        const char* name;
        const char* mask;
        bool match;
    } rows[] = {
        {"readme", "*.*", true},       {"x", "x.*", true},
        {"x.txt", "x.*", true},        {"README.TXT", "*.txt", true},
        {"a.txt.bak", "*.txt", false}, {"abc", "a?c", true},
        {"ac", "a?c", false},          {"noext", "*.", true},
        {"a.b", "*.", false},          {"Файл.ТХТ", "ф*.тхт", true},
        {"a.tar.gz", "*.gz", true},    {"abc", "", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FindMaskMatches(Utf8ToAnsi(r.name), Utf8ToAnsi(r.mask)), r.match)
            << r.name << " ~ " << r.mask;
}

// ---- code pages ----------------------------------------------------------------------

TEST(CodePage, LiteralAgreesWithIconvForTheWholeAlphabet) {
    // Every Cyrillic letter the sources may quote must become the byte iconv gives.
    std::string utf8 = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя№«»—…";
    EXPECT_EQ(
        std::string("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя№«»—…"_a),
        Utf8ToAnsi(utf8));
    EXPECT_EQ(std::string("Отчёт"_a), "\xCE\xF2\xF7\xB8\xF2");
}

TEST(CodePage, RoundTripsAndLossyCharacters) {
    struct Row {
        const char* name;
        std::string utf8;
        std::string ansi;
    } rows[] = {
        {"ascii", "plain.txt", "plain.txt"},
        {"cyrillic", "Отчёт.txt", "\xCE\xF2\xF7\xB8\xF2.txt"},
        {"snowman", "a\xE2\x98\x83.txt", "a?.txt"},
        {"broken utf8", "a\xFF!", "a?!"},
        {"emoji", "x\xF0\x9F\x98\x80y", "x?y"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Utf8ToAnsi(r.utf8), r.ansi) << r.name;
        EXPECT_TRUE(r.ansi.find('?') != std::string::npos || AnsiToUtf8(r.ansi) == r.utf8)
            << r.name;
    }
}

TEST(CodePage, OemIsCp866) {
    std::string ansi = "Привет Ёж"_a;
    std::string oem = AnsiToOem(ansi);
    EXPECT_EQ(oem, "\x8F\xE0\xA8\xA2\xA5\xE2 \xF0\xA6");
    EXPECT_EQ(OemToAnsi(oem), ansi);
    EXPECT_EQ(OemToUtf8(oem), "Привет Ёж");
    EXPECT_EQ(Utf8ToOem("Привет Ёж"), oem);
}

TEST(CodePage, UpperLowerAndComparison) {
    EXPECT_EQ(AnsiUpper("abc ёжик xyz"_a), std::string("ABC ЁЖИК XYZ"_a));
    EXPECT_EQ(AnsiLower("ABC ЁЖИК"_a), std::string("abc ёжик"_a));
    EXPECT_TRUE(SameText("Файл.TXT"_a, "фАЙЛ.txt"_a));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
    // Collation is the sorted string list's test.
}

}  // namespace
}  // namespace hv
