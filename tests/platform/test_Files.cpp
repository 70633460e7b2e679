#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>

#include "platform/AnsiLiteral.h"
#include "platform/Platform.h"
#include "support/TempTree.h"

namespace hv {
namespace {

using test::TempTree;

class FileTree : public TempTree {
protected:
    std::vector<std::string> List(const std::string& pattern, uint32_t attr) {
        std::vector<std::string> out;
        FindFile ff;
        for (bool ok = ff.First(pattern, attr); ok; ok = ff.Next()) out.push_back(ff.Data().name);
        std::sort(out.begin(), out.end());
        return out;
    }
};

using Names = std::vector<std::string>;

TEST_F(FileTree, AttributeSetDecidesWhatIsListed) {
    CreateFile("d/W/plain.txt", "abc");
    CreateFile("d/W/.hidden");
    CreateDir("d/W/sub");
    std::string ro = CreateFile("d/W/ro.txt");
    chmod(ro.c_str(), 0444);
    EXPECT_EQ(List("D:\\W\\*.*", 0), (Names{"plain.txt", "ro.txt"}));
    EXPECT_EQ(List("D:\\W\\*.*", kAttrHidden), (Names{".hidden", "plain.txt", "ro.txt"}));
    EXPECT_EQ(List("D:\\W\\*.*", kAttrDirectory), (Names{"plain.txt", "ro.txt", "sub"}));
    EXPECT_EQ(List("D:\\W\\*.txt", kAttrAnyFile), (Names{"plain.txt", "ro.txt"}));
    EXPECT_TRUE(List("D:\\Missing\\*.*", kAttrAnyFile).empty());
    EXPECT_EQ(LastError(), static_cast<uint32_t>(kErrPathNotFound));

    FindData fd;
    ASSERT_TRUE(GetFileInfo("D:\\W\\ro.txt", fd));
    EXPECT_EQ(fd.Attr(), static_cast<uint32_t>(kAttrArchive | kAttrReadOnly));
    ASSERT_TRUE(GetFileInfo("D:\\W\\plain.txt", fd));
    EXPECT_EQ(fd.Size(), 3);
    EXPECT_EQ(GetFileAttributes("D:\\W\\sub"), static_cast<uint32_t>(kAttrDirectory));
    EXPECT_EQ(GetFileAttributes("D:\\W\\nothing"), kInvalidAttributes);
    EXPECT_TRUE(SetFileAttributes("D:\\W\\ro.txt", 0));
    EXPECT_EQ(GetFileAttributes("D:\\W\\ro.txt"), static_cast<uint32_t>(kAttrArchive));
}

TEST_F(FileTree, LinksToDirectoriesAreNeverWalkedAndSpecialFilesSkipped) {
    std::string target = CreateDir("d/Target");
    CreateFile("d/Target/keep.txt", "keep");
    CreateDir("d/W");
    ASSERT_EQ(symlink(target.c_str(), (Root() + "/d/W/loop").c_str()), 0);
    ASSERT_EQ(symlink((Root() + "/d/W").c_str(), (Root() + "/d/W/self").c_str()), 0);
    ASSERT_EQ(mkfifo((Root() + "/d/W/fifo").c_str(), 0600), 0);
    CreateFile("d/W/f.txt", "f");
    ASSERT_EQ(symlink((Root() + "/d/W/f.txt").c_str(), (Root() + "/d/W/flink.txt").c_str()), 0);
    // A directory scan sees neither the links to directories nor the FIFO.
    EXPECT_EQ(List("D:\\W\\*.*", kAttrDirectory | kAttrHidden), (Names{"f.txt", "flink.txt"}));
    // Deletion (which asks for system files) sees a link as a file and removes only the link.
    EXPECT_EQ(List("D:\\W\\*.*", kAttrSystem), (Names{"f.txt", "flink.txt", "loop", "self"}));
    EXPECT_TRUE(DeleteFile("D:\\W\\loop"));
    EXPECT_TRUE(Exists(Root() + "/d/Target/keep.txt"));
}

// Kinds come from the listing, the rest from a look-up on first use: both
// must give what a stat of the entry gives.
TEST_F(FileTree, ListedEntriesGiveTheFactsOfAStat) {
    const std::string w = Root() + "/d/W/";
    CreateFile("d/W/plain.txt", "abc");
    chmod(CreateFile("d/W/ro.txt", "ro").c_str(), 0444);
    CreateFile("d/W/.hid", "h");
    CreateDir("d/W/sub");
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
        EXPECT_EQ(d.Time(), single.Time()) << d.name;
        if (r->stamped) {
            EXPECT_EQ(d.Time(), stamp) << d.name;
        }
    }
    EXPECT_EQ(listed, std::size(rows)) << "the FIFO is skipped";
}

// An entry that changed between the listing and the first question about it:
// the facts are those of the question; one gone, or now of another kind, says
// so. Asked while the search is open and after it was closed.
TEST_F(FileTree, EntriesChangedAfterTheListing) {
    const std::string other = CreateFile("d/other.bin", "1234567");
    const std::string dir = CreateDir("d/Dir");
    struct Row {
        std::string name;
        std::function<void(const std::string&)> change;
        bool gone;
        int64_t size;
    } rows[] = {
        {"removed", [](const std::string& p) { unlink(p.c_str()); }, true, 0},
        {"grown", [](const std::string& p) { test::WritePosixFile(p, "12345"); }, false, 5},
        {"now a directory",
         [](const std::string& p) {
             unlink(p.c_str());
             mkdir(p.c_str(), 0700);
         },
         true, 0},
        {"now a fifo",
         [](const std::string& p) {
             unlink(p.c_str());
             mkfifo(p.c_str(), 0600);
         },
         true, 0},
        {"now a link to a directory",
         [&](const std::string& p) {
             unlink(p.c_str());
             EXPECT_EQ(symlink(dir.c_str(), p.c_str()), 0);
         },
         true, 0},
        {"now a link to a file",
         [&](const std::string& p) {
             unlink(p.c_str());
             EXPECT_EQ(symlink(other.c_str(), p.c_str()), 0);
         },
         false, 7},
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
            r.change(path);
            SetLastError(0);
            EXPECT_EQ(entry.Gone(), r.gone);
            EXPECT_EQ(LastError(), r.gone ? kErrFileNotFound : kErrSuccess);
            EXPECT_EQ(entry.Size(), r.size);
            EXPECT_EQ(entry.Attr() & kAttrArchive, kAttrArchive);
            if (r.gone) {
                EXPECT_EQ(entry.Time(), 0);
            }
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
    // Garbage stamps decode without failing.
    for (int32_t bad : {0, -1, 0x7FFFFFFF, static_cast<int32_t>(0x00FF00FF)}) {
        DosDateTime t = DecodeDosDateTime(bad);
        EXPECT_GE(t.month, 1);
        EXPECT_LE(t.month, 12);
        EXPECT_GE(t.day, 1);
        EXPECT_LE(t.hour, 23);
        (void)UnixFromDosDateTime(bad);
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
    (void)VolumeLabel("D:");  // may be empty; must not fail
}

// Changes the environment: restores it before returning.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        const char* v = std::getenv(name);
        had_ = v != nullptr;
        if (had_) old_ = v;
    }
    ~EnvGuard() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

TEST_F(FileTree, PrivateTemporaryDirectory) {
    EnvGuard g("TMPDIR");
    std::string base = CreateDir("tmp");
    setenv("TMPDIR", base.c_str(), 1);
    std::string dir = TempDir();
    std::string posix = base + "/halvora-" + std::to_string(getuid());
    EXPECT_EQ(dir, ToWindowsPath(posix).value() + "\\");
    struct stat st;
    ASSERT_EQ(stat(posix.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    chmod(posix.c_str(), 0777);
    EXPECT_THROW(TempDir(), std::runtime_error);
    rmdir(posix.c_str());
    ASSERT_EQ(symlink(base.c_str(), posix.c_str()), 0);
    EXPECT_THROW(TempDir(), std::runtime_error);
}

TEST_F(FileTree, ProgramDirFollowsHalvoraHome) {
    EnvGuard g("HALVORA_HOME");
    std::string home = Root() + "/d/Home Dir";
    setenv("HALVORA_HOME", home.c_str(), 1);
    EXPECT_EQ(ProgramDir(), "D:\\Home Dir\\");
    EXPECT_TRUE(Exists(home));
}

}  // namespace
}  // namespace hv
