// Windows paths over POSIX: name parts, the drive map, short names, mounts; the
// code pages names and texts pass through; enumeration and the facts of its
// entries, date stamps, file operations, drives and the directories the
// environment places. Batch lines, the archiver adapters of halvora-cmd, and
// the launcher on real batch files: exit codes, start directory, output,
// termination after the end. A stop that ends the whole group, list files with
// short names and dot names for arj are the archiver runs' tests.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <thread>

#include "platform/AnsiLiteral.h"
#include "platform/CmdInterpreter.h"
#include "platform/CodePage.h"
#include "platform/Launcher.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "support/ErrorOf.h"
#include "support/TempTree.h"

namespace hv {
namespace {

using Names = std::vector<std::string>;

class FileTree : public test::TempTree {
  protected:
    Names List(const std::string& pattern, uint32_t attr) {
        Names out;
        FindFile ff;
        for (bool ok = ff.First(pattern, attr); ok; ok = ff.Next()) out.push_back(ff.Data().name);
        std::sort(out.begin(), out.end());
        return out;
    }
};

// D:\W holds an entry of each kind. Kinds come from the listing, the rest from
// a look-up on first use: both must give what a stat of the entry gives.
TEST_F(FileTree, ListedEntriesGiveTheFactsOfAStat) {
    const std::string w = Root() + "/d/W/";
    CreateFile("d/W/plain.txt", "abc");
    chmod(CreateFile("d/W/ro.txt", "ro").c_str(), 0444);
    CreateFile("d/W/.hid", "h");
    CreateFile("d/W/sub/keep.txt", "keep");
    chmod(CreateDir("d/W/rosub").c_str(), 0555);
    ASSERT_EQ(symlink((w + "plain.txt").c_str(), (w + "flink.txt").c_str()), 0);
    ASSERT_EQ(symlink((w + "sub").c_str(), (w + "dlink").c_str()), 0);
    ASSERT_EQ(symlink((w + "nowhere").c_str(), (w + "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((w + "fifo").c_str(), 0600), 0);
    const int32_t stamp = EncodeDosDateTime({2021, 3, 4, 5, 6, 8});
    ASSERT_TRUE(SetFileDate("D:\\W\\plain.txt", stamp));
    struct Row {
        std::string name;
        uint32_t attr;
        int64_t size;
        bool stamped;
    } rows[] = {
        {"plain.txt", kAttrArchive, 3, true},
        {"ro.txt", kAttrArchive | kAttrReadOnly, 2, false},
        {".hid", kAttrArchive | kAttrHidden, 1, false},
        {"sub", kAttrDirectory, 0, false},
        {"rosub", kAttrDirectory | kAttrReadOnly, 0, false},
        {"flink.txt", kAttrArchive, 3, true},  // a link to a file is that file
        {"dlink", kAttrSystem, 0, false},      // never walked
        {"dangling", kAttrSystem, 0, false},
    };
    size_t listed = 0;
    FindFile ff;
    for (bool ok = ff.First("D:\\W\\*.*", kAttrAnyFile); ok; ok = ff.Next(), ++listed) {
        const FindData& d = ff.Data();
        auto r = std::find_if(std::begin(rows), std::end(rows),
                              [&](const Row& row) { return row.name == d.name; });
        ASSERT_NE(r, std::end(rows)) << d.name;
        EXPECT_EQ(d.IsDirectory(), (r->attr & kAttrDirectory) != 0) << d.name;
        EXPECT_EQ(d.Attr(), r->attr) << d.name;
        EXPECT_EQ(d.Size(), r->size) << d.name;
        EXPECT_FALSE(d.Gone()) << d.name;
        FindData single;
        ASSERT_TRUE(GetFileInfo("D:\\W\\" + d.name, single)) << d.name;
        EXPECT_EQ(single.Attr(), r->attr) << d.name;
        EXPECT_EQ(single.Size(), r->size) << d.name;
        EXPECT_EQ(d.Time(), single.Time()) << d.name;
        EXPECT_TRUE(!r->stamped || d.Time() == stamp) << d.name;
    }
    EXPECT_EQ(listed, std::size(rows)) << "the FIFO is skipped";

    // The attribute set decides what is listed: a directory scan sees neither the
    // links to directories nor the FIFO; deletion, which asks for system files,
    // sees a link as a file and removes only the link.
    EXPECT_EQ(List("D:\\W\\*.*", 0), (Names{"flink.txt", "plain.txt", "ro.txt"}));
    EXPECT_EQ(List("D:\\W\\*.*", kAttrHidden), (Names{".hid", "flink.txt", "plain.txt", "ro.txt"}));
    EXPECT_EQ(List("D:\\W\\*.*", kAttrDirectory),
              (Names{"flink.txt", "plain.txt", "ro.txt", "rosub", "sub"}));
    EXPECT_EQ(List("D:\\W\\*.*", kAttrSystem),
              (Names{"dangling", "dlink", "flink.txt", "plain.txt", "ro.txt"}));
    EXPECT_EQ(List("D:\\W\\*.txt", kAttrAnyFile), (Names{"flink.txt", "plain.txt", "ro.txt"}));
    EXPECT_TRUE(DeleteFile("D:\\W\\dlink"));
    EXPECT_TRUE(Exists(w + "sub/keep.txt"));
    EXPECT_TRUE(List("D:\\Missing\\*.*", kAttrAnyFile).empty());
    EXPECT_EQ(LastError(), kErrPathNotFound);
    EXPECT_EQ(GetFileAttributes("D:\\W\\nothing"), kInvalidAttributes);
    EXPECT_TRUE(SetFileAttributes("D:\\W\\ro.txt", 0));
    EXPECT_EQ(GetFileAttributes("D:\\W\\ro.txt"), kAttrArchive);
}

// An entry that changed between the listing and the first question about it:
// the facts are those of the question; one gone, or now of another kind, says
// so. Asked while the search is open and after it was closed.
TEST_F(FileTree, EntriesChangedAfterTheListing) {
    const std::string other = CreateFile("d/other.bin", "1234567");
    const std::string dir = CreateDir("d/Dir");
    struct Row {
        std::string name;
        bool inPlace;  // else the entry is removed first
        std::function<void(const char*)> change;
        bool gone;
        int64_t size;
    } rows[] = {
        {"removed", false, nullptr, true, 0},
        {"grown", true, [](const char* p) { test::WritePosixFile(p, "12345"); }, false, 5},
        {"now a directory", false, [](const char* p) { mkdir(p, 0700); }, true, 0},
        {"now a fifo", false, [](const char* p) { mkfifo(p, 0600); }, true, 0},
        {"now a link to a directory", false,
         [&](const char* p) { EXPECT_EQ(symlink(dir.c_str(), p), 0); }, true, 0},
        {"now a link to a file", false,
         [&](const char* p) { EXPECT_EQ(symlink(other.c_str(), p), 0); }, false, 7},
    };
    for (bool closed : {false, true}) {
        const std::string sub = closed ? "Closed" : "Open";
        for (const Row& r : rows) {
            SCOPED_TRACE(sub + ": " + r.name);
            const std::string path = CreateFile("d/" + sub + "/" + r.name, "abc");
            FindFile ff;
            ASSERT_TRUE(ff.First("D:\\" + sub + "\\" + r.name, kAttrAnyFile));
            FindData entry = ff.Data();
            if (closed) ff.Close();
            if (!r.inPlace) unlink(path.c_str());
            if (r.change) r.change(path.c_str());
            SetLastError(0);
            EXPECT_EQ(entry.Gone(), r.gone);
            EXPECT_EQ(LastError(), r.gone ? kErrFileNotFound : kErrSuccess);
            EXPECT_EQ(entry.Size(), r.size);
            EXPECT_EQ(entry.Attr() & kAttrArchive, kAttrArchive);
            EXPECT_TRUE(!r.gone || entry.Time() == 0);
        }
    }
}

TEST_F(FileTree, DosDateStamps) {
    CreateFile("d/t.txt", "x");
    int32_t stamp = EncodeDosDateTime({2024, 2, 29, 13, 45, 58});
    ASSERT_TRUE(SetFileDate("D:\\t.txt", stamp));
    EXPECT_EQ(FileAge("D:\\t.txt"), stamp);
    EXPECT_EQ(FileAge("D:\\none.txt"), -1);
    // Odd seconds fall to the 2-second step.
    EXPECT_EQ(DosDateTimeFromUnix(UnixFromDosDateTime(stamp) + 1), stamp);
    // Out-of-range times clamp to the DOS range.
    EXPECT_EQ(DosDateTimeFromUnix(0), EncodeDosDateTime({1980, 1, 1, 0, 0, 0}));
    EXPECT_EQ(DosDateTimeFromUnix(int64_t{1} << 40), EncodeDosDateTime({2107, 12, 31, 23, 59, 58}));
    // Garbage stamps decode without failing, and land in the DOS range (mktime
    // moves a 31st of February on).
    const int64_t first = UnixFromDosDateTime(EncodeDosDateTime({1980, 1, 1, 0, 0, 0}));
    const int64_t last = UnixFromDosDateTime(EncodeDosDateTime({2107, 12, 31, 23, 59, 58}));
    for (int32_t bad : {0, -1, 0x7FFFFFFF, static_cast<int32_t>(0x00FF00FF)}) {
        DosDateTime t = DecodeDosDateTime(bad);
        EXPECT_TRUE(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.hour <= 23) << bad;
        const int64_t secs = UnixFromDosDateTime(bad);
        EXPECT_TRUE(secs >= first && secs <= last) << bad;
    }
    // Stamps after 2043 have bit 31 set: they compare as negative numbers.
    EXPECT_LT(EncodeDosDateTime({2050, 1, 1, 0, 0, 0}), 0);
}

TEST_F(FileTree, CreateDeleteRename) {
    EXPECT_TRUE(hv::CreateDir("D:\\New"));
    EXPECT_FALSE(hv::CreateDir("D:\\New"));
    EXPECT_TRUE(DirectoryExists("D:\\new"));
    File f;
    ASSERT_TRUE(f.Open("D:\\New\\a.txt", OpenMode::CreateNew));
    EXPECT_EQ(f.Write("hello", 5), 5);
    f.Close();
    EXPECT_FALSE(f.Open("D:\\New\\a.txt", OpenMode::CreateNew));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(kErrFileExists));
    CreateFile("d/New/b.txt", "b");
    EXPECT_FALSE(RenameFile("D:\\New\\a.txt", "D:\\New\\b.txt"));  // never overwrites
    EXPECT_EQ(ReadFile(Root() + "/d/New/b.txt"), "b");
    EXPECT_TRUE(ReplaceFile("D:\\New\\a.txt", "D:\\New\\b.txt"));
    EXPECT_EQ(ReadFile(Root() + "/d/New/b.txt"), "hello");
    EXPECT_FALSE(RemoveDir("D:\\New"));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(kErrDirNotEmpty));
    EXPECT_FALSE(DeleteFile("D:\\New"));
    EXPECT_TRUE(DeleteFile("D:\\New\\b.txt"));
    EXPECT_TRUE(RemoveDir("D:\\New"));
    EXPECT_FALSE(DeleteFile("D:\\New\\b.txt"));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(kErrFileNotFound));
    EXPECT_FALSE(LastErrorText().empty());
}

TEST_F(FileTree, ExclusiveOpening) {
    CreateFile("d/lock.dat", "data");
    File a, b, c;
    ASSERT_TRUE(a.Open("D:\\lock.dat", OpenMode::ReadWrite, ShareMode::Exclusive));
    EXPECT_FALSE(b.Open("D:\\lock.dat", OpenMode::Read, ShareMode::DenyWrite));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(kErrSharingViolation));
    // A refused Create must not have cut the locked file.
    EXPECT_FALSE(c.Open("D:\\lock.dat", OpenMode::Create, ShareMode::Exclusive));
    EXPECT_EQ(ReadFile(Root() + "/d/lock.dat"), "data");
    a.Close();
    EXPECT_TRUE(b.Open("D:\\lock.dat", OpenMode::Read, ShareMode::DenyWrite));
    EXPECT_TRUE(c.Open("D:\\lock.dat", OpenMode::Read, ShareMode::DenyWrite));
}

TEST_F(FileTree, DrivesFacts) {
    EXPECT_NE(LogicalDrives().find('D'), std::string::npos);
    EXPECT_EQ(GetDriveType("A:"), DriveType::Removable);
    EXPECT_EQ(GetDriveType("Q:"), DriveType::NoRootDir);
    DriveType d = GetDriveType("D:\\");
    EXPECT_TRUE(d == DriveType::Fixed || d == DriveType::RamDisk) << static_cast<int>(d);
    auto free = DiskFreeBytes("D:\\not\\yet\\there.txt");
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0);
    EXPECT_FALSE(DiskFreeBytes("Q:\\").has_value());
}

// A: and B: hold a medium only where their directory is a mount point of its
// own: a folder of another disk is no diskette, and nothing reads or clears it.
TEST_F(FileTree, MediaAreReadyOnlyOnTheirOwnMountPoint) {
    const std::string mounted = CreateDir("m"), plain = CreateDir("plain");
    CreateFile("plain/keep.txt", "keep");
    SetMountTablePath(CreateFile("mounts", "/dev/sdb1 " + mounted + " vfat rw 0 0\n"));
    struct Row {
        const char* name;
        std::string dir;  // empty: not mapped
        bool ready;
    } rows[] = {
        {"mount point", mounted, true}, {"stand-in", Root() + "/a", true},
        {"plain folder", plain, false}, {"the root file system", "/", false},
        {"not mapped", "", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DriveMap map = GetDriveMap();
        map.erase('B');
        if (!r.dir.empty()) map['B'] = r.dir;
        SetDriveMap(map);
        EXPECT_EQ(MediumReady("b:"), r.ready);
        EXPECT_EQ(DiskFreeBytes("B:\\x.arj").has_value(), r.ready);
        if (!r.ready) {
            EXPECT_EQ(LastError(), static_cast<uint32_t>(kErrNotReady));
            EXPECT_FALSE(ClearMedium("B:"));
        }
        EXPECT_EQ(GetDriveType("B:"), r.dir.empty() ? DriveType::NoRootDir : DriveType::Removable);
    }
    EXPECT_EQ(ReadFile(plain + "/keep.txt"), "keep");
    EXPECT_FALSE(IsMediumDrive("D:\\a") || IsMediumDrive("\\\\srv\\a"));

    // Clearing takes every file and directory of the medium, links as links.
    const std::string outside = CreateFile("d/outside/keep.txt", "keep");
    CreateFile("m/A.ARJ", "arj");
    CreateFile("m/.hidden", "h");
    chmod(CreateFile("m/sub/deep/ro.txt", "ro").c_str(), 0444);
    ASSERT_EQ(symlink((Root() + "/d/outside").c_str(), (mounted + "/link").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (mounted + "/sub/flink").c_str()), 0);
    SetDriveMap([&] {
        DriveMap map = GetDriveMap();
        map['B'] = mounted;
        return map;
    }());
    EXPECT_TRUE(ClearMedium("B:\\"));
    EXPECT_TRUE(std::filesystem::is_empty(mounted));
    EXPECT_EQ(ReadFile(outside), "keep");
    SetMountTablePath("");
}

TEST_F(FileTree, EnvironmentPlacesThePrivateTemporaryAndTheProgramDirectories) {
    std::string base = CreateDir("tmp");
    test::EnvGuard tmp("TMPDIR", base);
    std::string posix = base + "/halvora-" + std::to_string(getuid());
    EXPECT_EQ(TempDir(), ToWindowsPath(posix).value() + "\\");
    struct stat st;
    ASSERT_EQ(stat(posix.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // One that others may write to, or a link, is refused.
    chmod(posix.c_str(), 0777);
    EXPECT_THROW(TempDir(), std::runtime_error);
    rmdir(posix.c_str());
    ASSERT_EQ(symlink(base.c_str(), posix.c_str()), 0);
    EXPECT_THROW(TempDir(), std::runtime_error);

    test::EnvGuard home("HALVORA_HOME", Root() + "/d/Home Dir");
    EXPECT_EQ(ProgramDir(), "D:\\Home Dir\\");
    EXPECT_TRUE(Exists(Root() + "/d/Home Dir"));

    // Without it: a build tree and its tools share one directory; an installed
    // program keeps its data in the user's data directory, not beside itself.
    test::EnvGuard xdg("XDG_DATA_HOME", Root() + "/d/data");
    CreateFile("d/build/halvora");
    chmod((Root() + "/d/build/halvora").c_str(), 0755);
    CreateDir("d/build/tools");
    CreateDir("d/local/bin");
    CreateDir("d/ro");
    chmod((Root() + "/d/ro").c_str(), 0555);
    const std::pair<std::string, std::string> rows[] = {
        {"/d/build", "D:\\build\\"},
        {"/d/build/tools", "D:\\build\\"},
        {"/d/local/bin", "D:\\data\\halvora\\"},
        {"/d/ro", geteuid() == 0 ? "D:\\ro\\" : "D:\\data\\halvora\\"},
    };
    for (const auto& [exeDir, expected] : rows)
        EXPECT_EQ(DefaultProgramDir(Root() + exeDir), expected) << exeDir;
    chmod((Root() + "/d/ro").c_str(), 0755);
}

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

TEST_F(FileTree, DriveMapBothWaysAndTheMountTable) {
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
TEST_F(FileTree, ShortNameGeneration) {
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

TEST_F(FileTree, CyrillicAndUnrepresentableNames) {
    CreateFile("d/Отчёт.txt", "1251");
    CreateFile("d/snow\xE2\x98\x83.txt", "x");
    EXPECT_EQ(List("D:\\*.*", kAttrAnyFile), (Names{"snow?.txt", "Отчёт.txt"_a}));
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
    EXPECT_TRUE(SameText("Файл.TXT"_a, "фАЙЛ.txt"_a));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
    // Collation is the sorted string list's test.
}

// ---- batch files and the launcher -----------------------------------------------------

TEST(BatchLines, Parse) {
    using K = BatchLine::Kind;
    struct Row {
        const char* line;
        K kind;
        bool quiet = false;
        std::string text{};
        Names words{};
        std::string out{};
        bool append = false;
        std::string in{};
    };
    // clang-format off
    const Row rows[] = {
        {"@ECHO OFF", K::EchoOff, true},
        {"echo on", K::EchoOn},
        {"@ECHO D:\\Arc\\A.ARJ", K::Echo, true, "D:\\Arc\\A.ARJ"},
        {"ECHO hello > D:\\o.txt", K::Echo, false, "hello", {}, "D:\\o.txt"},
        {"REM > not a redirection", K::Rem},
        {"  ", K::Empty},
        {"CD \"D:\\Long Dir\"", K::Cd, false, "D:\\Long Dir"},
        {"Arj u -i -a  D:\\A.ARJ !D:\\TMP\\L.INC -y >>D:\\TMP\\O.OUT", K::Call, false, "",
         {"Arj", "u", "-i", "-a", "D:\\A.ARJ", "!D:\\TMP\\L.INC", "-y"}, "D:\\TMP\\O.OUT", true},
        {"sort < \"D:\\in put.txt\" > D:\\out.txt", K::Call, false, "", {"sort"}, "D:\\out.txt",
         false, "D:\\in put.txt"},
        {"\"D:\\My Tools\\x.exe\" \"a b\"", K::Call, false, "", {"D:\\My Tools\\x.exe", "a b"}},
    };
    // clang-format on
    for (const auto& r : rows) {
        BatchLine b = ParseBatchLine(r.line);
        EXPECT_EQ(b.kind, r.kind) << r.line;
        EXPECT_EQ(b.quiet, r.quiet) << r.line;
        EXPECT_EQ(b.text, r.text) << r.line;
        EXPECT_EQ(b.words, r.words) << r.line;
        EXPECT_EQ(b.outFile, r.out) << r.line;
        EXPECT_EQ(b.append, r.append) << r.line;
        EXPECT_EQ(b.inFile, r.in) << r.line;
    }
}

// Arj and PkZIP as the templates call them are the archiver runs' test.
TEST(BatchLines, ArchiverAdapters) {
    struct Row {
        std::string word;
        Names words;
        std::string program;
        Names args;
        std::string stdinFile{};
        size_t notes = 0;
    };
    // clang-format off
    const Row rows[] = {
        {"ARJ.EXE", {"l", "x.arj"}, "arj", {"l", "x.arj"}},
        {"pkzip.exe", {"-a", "-ex", "-sSecret", "-zz", "/a/b.zip", "x.txt"}, "zip",
         {"-9", "-P", "Secret", "/a/b.zip", "x.txt"}, "", 1},
        {"Sort", {"a"}, "Sort", {"a"}},
        {"RAR", {"u", "-y"}, "rar", {"u", "-y"}},
    };
    // clang-format on
    for (const auto& r : rows) {
        ProgramCall out = AdaptCall({r.word, r.words, "", {}});
        EXPECT_EQ(out.program, r.program) << r.word;
        EXPECT_EQ(out.args, r.args) << r.word;
        EXPECT_EQ(out.stdinFile, r.stdinFile) << r.word;
        EXPECT_EQ(out.notes.size(), r.notes) << r.word;
    }
}

class LauncherTree : public FileTree {
  protected:
    // Writes a batch file in OEM with CR LF line ends.
    void WriteBatch(const std::string& rel, const std::vector<std::string>& utf8Lines) {
        std::string text;
        for (const auto& l : utf8Lines) text += Utf8ToOem(l) + "\r\n";
        CreateFile(rel, text);
    }
    // Starts a batch and polls, as the run does, until the launcher reports the end.
    void Run(TRzLauncher& l, const std::string& program) {
        l.ProgramName = program;
        l.Launch();
        for (int i = 0; i < 2000 && l.IsRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_FALSE(l.IsRunning());
    }
};

// A batch's exit code and start directory, driven by the timer, under a name
// in another case.
TEST_F(LauncherTree, ExitCodesAndStartDirectory) {
    CreateDir("d/Work Dir");
    WriteBatch("d/fail.bat", {"@ECHO OFF", "pwd > D:\\where.txt", "false"});
    int finished = 0;
    TRzLauncher f;
    f.ProgramName = "D:\\FAIL.BAT";
    f.StartDir = "D:\\Work Dir";
    f.OnFinished = [&](TRzLauncher&) { ++finished; };
    f.Launch();
    EXPECT_TRUE(f.TimerEnabled());
    for (int i = 0; i < 2000 && f.TimerEnabled(); ++i) {
        f.Tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(f.IsRunning());
    EXPECT_EQ(f.ExitCode(), 1);
    EXPECT_EQ(ReadFile(Root() + "/d/where.txt"), Root() + "/d/Work Dir\n");
}

TEST_F(LauncherTree, MissingFileRaisesLaunchError2) {
    TRzLauncher l;
    l.ProgramName = "D:\\nothing.bat";
    EXPECT_EQ(test::ErrorOf<ELaunchError>([&] { l.Launch(); }), "LaunchError: 2");
    EXPECT_FALSE(l.TimerEnabled());
}

// An ended program stays ours until reaped; Terminate after its end once
// signalled a group number that could belong to another process by then.
TEST_F(LauncherTree, TerminateAfterTheEndKeepsTheExitCodeAndSignalsNoStranger) {
    WriteBatch("d/three.bat", {"@ECHO OFF", "sh -c \"exit 3\""});
    int pid = 0;
    {
        TRzLauncher l;
        Run(l, "D:\\three.bat");
        pid = l.ProcessId();
        EXPECT_EQ(l.ExitCode(), 3);
        l.Terminate();
        EXPECT_EQ(l.ExitCode(), 3);
        // Reaped now: a second Terminate has no group of ours to signal and sends nothing.
        EXPECT_FALSE(Exists("/proc/" + std::to_string(pid) + "/stat"));
        l.Terminate();
        EXPECT_EQ(l.ExitCode(), 3);
    }
}

TEST_F(LauncherTree, OutputGoesToTheRedirectedFileInOem) {
    WriteBatch("d/echo.bat", {"@ECHO OFF", "ECHO Архив готов > D:\\out.txt",
                              "printf Файл\\n >> D:\\out.txt", "nosuchprogram >> D:\\out.txt"});
    TRzLauncher l;
    Run(l, "D:\\echo.bat");
    std::string out = ReadFile(Root() + "/d/out.txt");
    EXPECT_EQ(out.substr(0, 18), Utf8ToOem("Архив готов\r\nФайл\n"));
    EXPECT_NE(out.find("Bad command or file name: nosuchprogram"), std::string::npos);
    EXPECT_EQ(l.ExitCode(), 9009 & 0xFF);
}

}  // namespace
}  // namespace hv
