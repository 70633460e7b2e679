// The pack archive container on real files in a temporary tree (D: is the tree).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <random>

#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "pack/test_PackFileUtil.h"
#include "platform/AnsiLiteral.h"
#include "support/TempTree.h"

namespace hv {
namespace {

namespace fs = std::filesystem;
using test::ReadPosixFile;
using test::WritePosixFile;

class PackFileTest : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/w");
        arc_.SetArchiveName("D:\\w\\t.pkk");
    }
    std::string ArcPosix() { return Posix("D:\\w\\t.pkk"); }
    // Adds D:\w\<name> with the given content through operation 1.
    int Add(const std::string& name, const std::string& content, bool write = true) {
        if (write) CreateFile("d/w/" + name, content);
        arc_.Operation = kArcOpAdd;
        arc_.SetFileName("D:\\w\\" + name);
        return arc_.Execute();
    }
    int Op(uint8_t op, const std::string& fileName) {
        arc_.Operation = op;
        arc_.SetFileName(fileName);
        return arc_.Execute();
    }
    int ExpectFailure(uint8_t op, const std::string& fileName) {
        try {
            Op(op, fileName);
        } catch (const EArchiveObjectError& e) {
            EXPECT_EQ(e.Code(), arc_.ResultCode());
            return e.Code();
        }
        return 0;
    }
    std::vector<test::Member> Members() { return test::ListMembers(arc_); }
    bool TempLeft() {
        for (auto& e : fs::directory_iterator(Root() + "/d/w"))
            if (e.path().filename().string().rfind("$pk", 0) == 0) return true;
        return false;
    }

    TPackFileObject arc_;
};

TEST_F(PackFileTest, NewArchiveWithoutExtensionIsPkkWithTheDocumentedHeader) {
    arc_.SetArchiveName("D:\\A");
    EXPECT_EQ(arc_.ArchiveName(), "D:\\A.PKK");
    arc_.SetActive(true);
    std::string bytes = ReadPosixFile(Posix("D:\\A.PKK"));
    ASSERT_EQ(bytes.size(), 45u + 4u);
    EXPECT_EQ(bytes.substr(0, 9), std::string("\xA9\x56\x2D\x00\x26\x00\x01\x00\x01", 9));
    EXPECT_EQ(bytes.substr(38, 7), std::string("A.PKK\0\0", 7));
    EXPECT_EQ(bytes.substr(45), std::string("\xA9\x56\x00\x00", 4));
    // Closing an archive without members removes it.
    arc_.SetActive(false);
    EXPECT_FALSE(Exists(Posix("D:\\A.PKK")));
}

TEST_F(PackFileTest, MethodFollowsTheSavingRule) {
    std::string text;
    for (int i = 0; text.size() < 100000; ++i)
        text += "line " + std::to_string(i % 500) + " of the text\n";
    // Random bytes followed by zeros, the zero run grown until packing saves at
    // least 64 bytes but less than 1/128 of the size.
    std::mt19937 rng(7);
    std::string noise(40000, '\0');
    for (auto& c : noise) c = static_cast<char>(rng());
    std::string almost;
    for (size_t zeros = 0; zeros < 4000 && almost.empty(); zeros += 8) {
        std::string candidate = noise + std::string(zeros, '\0');
        int64_t saving = static_cast<int64_t>(candidate.size()) - test::PackedSize(candidate);
        if (saving >= 64 && saving < static_cast<int64_t>(candidate.size() / 128))
            almost = candidate;
    }
    ASSERT_FALSE(almost.empty());
    struct Row {
        const char* name;
        std::string content;
        uint8_t method;
    } rows[] = {
        {"ten.txt", "0123456789", kMethodStored},
        {"text.txt", text, kMethodPacked},
        {"empty.bin", "", kMethodStored},
        {"one.bin", "x", kMethodStored},
        {"noise.bin", noise, kMethodStored},
        {"saves-under-a-128th.bin", almost, kMethodStored},
        {"saves-a-128th.bin", almost + std::string(almost.size() / 64, '\0'), kMethodPacked},
    };
    for (auto& r : rows) ASSERT_EQ(Add(r.name, r.content), 0) << r.name;
    auto members = Members();
    ASSERT_EQ(members.size(), std::size(rows));
    for (size_t i = 0; i < members.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(members[i].name, rows[i].name);
        EXPECT_EQ(members[i].method, rows[i].method);
        EXPECT_EQ(members[i].unpacked, rows[i].content.size());
        if (rows[i].method == kMethodStored) {
            EXPECT_EQ(members[i].packed, rows[i].content.size());
        }
    }
    // Everything comes back as it went in, the empty file included.
    arc_.ExtractDir = "D:\\out";
    for (auto& r : rows) {
        ASSERT_EQ(Op(kArcOpExtract, r.name), 0) << r.name;
        EXPECT_EQ(ReadPosixFile(Posix("D:\\out\\" + std::string(r.name))), r.content) << r.name;
    }
}

TEST_F(PackFileTest, StoreOnlyNeverRunsTheCodec) {
    arc_.StoreOnly = true;
    ASSERT_EQ(Add("text.txt", std::string(200000, 'a')), 0);
    auto m = Members();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].method, kMethodStored);
    EXPECT_EQ(m[0].packed, 200000u);
}

TEST_F(PackFileTest, ReplacingKeepsOrderAndOtherMembersBytes) {
    ASSERT_EQ(Add("a.txt", std::string(3000, 'a')), 0);
    ASSERT_EQ(Add("b.txt", "short b"), 0);
    ASSERT_EQ(Add("c.txt", std::string(3000, 'c') + "tail"), 0);
    auto before = Members();
    // Named in other letter case: the member is found and the name as on disk is kept.
    WritePosixFile(Posix("D:\\w\\b.txt"), "a longer text for b that replaces it");
    ASSERT_EQ(Add("B.TXT", "", false), 0);
    auto after = Members();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].name, "a.txt");
    EXPECT_EQ(after[1].name, "b.txt");
    EXPECT_EQ(after[2].name, "c.txt");
    EXPECT_EQ(after[0].raw, before[0].raw);
    EXPECT_EQ(after[2].raw, before[2].raw);
    EXPECT_EQ(after[1].unpacked, 36u);
}

TEST_F(PackFileTest, UpdateLeavesAnUnchangedArchiveUntouched) {
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    struct stat st1;
    ASSERT_EQ(stat(ArcPosix().c_str(), &st1), 0);
    std::string bytes = ReadPosixFile(ArcPosix());
    ASSERT_EQ(Op(kArcOpUpdate, "D:\\w\\a.txt"), 0);
    struct stat st2;
    ASSERT_EQ(stat(ArcPosix().c_str(), &st2), 0);
    EXPECT_EQ(ReadPosixFile(ArcPosix()), bytes);
    EXPECT_EQ(st1.st_ino, st2.st_ino);
    EXPECT_EQ(st1.st_mtim.tv_sec, st2.st_mtim.tv_sec);
    EXPECT_EQ(st1.st_mtim.tv_nsec, st2.st_mtim.tv_nsec);

    // A changed size is added again; a missing file is no error.
    WritePosixFile(Posix("D:\\w\\a.txt"), "alpha and more");
    ASSERT_EQ(Op(kArcOpUpdate, "D:\\w\\a.txt"), 0);
    EXPECT_EQ(Members().at(0).unpacked, 14u);
    EXPECT_EQ(Op(kArcOpUpdate, "D:\\w\\missing.txt"), 0);
    EXPECT_EQ(Members().size(), 1u);
}

TEST_F(PackFileTest, DeletingTheOnlyMemberLeavesAnArchiveRemovedOnClose) {
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    ASSERT_EQ(Op(kArcOpDelete, "a.txt"), 0);
    EXPECT_EQ(ReadPosixFile(ArcPosix()).size(), 45u + 4u);
    arc_.SetActive(true);
    EXPECT_TRUE(arc_.EndOfArchive());
    arc_.SetActive(false);
    EXPECT_FALSE(Exists(ArcPosix()));
}

TEST_F(PackFileTest, DeletingFirstAndLastMembers) {
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) ASSERT_EQ(Add(n, n), 0);
    ASSERT_EQ(Op(kArcOpDelete, "A.txt"), 0);
    ASSERT_EQ(Op(kArcOpDelete, "c.txt"), 0);
    auto m = Members();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].name, "b.txt");
    EXPECT_EQ(ExpectFailure(kArcOpDelete, "zzz.txt"), kArcNotFound);
}

TEST_F(PackFileTest, StoredNamesAndTargets) {
    arc_.BaseDir = "D:\\w";
    EXPECT_EQ(arc_.StoredName("D:\\w\\sub\\a.txt"), "sub\\a.txt");
    EXPECT_EQ(arc_.StoredName("d:\\W\\A.txt"), "A.txt");
    EXPECT_EQ(arc_.StoredName("C:\\Data\\a.txt"), "\\Data\\a.txt");
    arc_.KeepDrive = true;
    EXPECT_EQ(arc_.StoredName("C:\\Data\\a.txt"), "C:\\Data\\a.txt");

    test::WriteArchive(ArcPosix(), {{"\\Data\\a.txt", "data"}});
    ASSERT_TRUE(arc_.FindMember("\\Data\\a.txt"));
    struct Row {
        const char* name;
        std::string extractDir, extractTo;
        bool strip, nameOnly;
        std::string target;
    } rows[] = {
        {"stripped", "D:\\Out", "", true, false, "D:\\Out\\Data\\a.txt"},
        {"name only", "D:\\Out", "", true, true, "D:\\Out\\a.txt"},
        {"kept absolute", "D:\\Out", "", false, false, "\\Data\\a.txt"},
        {"archive dir", "", "", true, false, "D:\\w\\Data\\a.txt"},
        {"driveless dir", "Out", "", true, false, "D:\\Out\\Data\\a.txt"},
        {"explicit file", "D:\\Out", "D:\\x\\y.txt", true, false, "D:\\x\\y.txt"},
        {"explicit dir", "D:\\Out", "D:\\x\\", true, false, "D:\\x\\a.txt"},
        {"relative explicit", "", "sub\\y.txt", true, false, "D:\\w\\sub\\y.txt"},
        {"renamed", "D:\\Out", "y.txt", true, false, "D:\\Out\\y.txt"},
    };
    for (auto& r : rows) {
        arc_.ExtractDir = r.extractDir;
        arc_.ExtractTo = r.extractTo;
        arc_.StripAbsolute = r.strip;
        arc_.ExtractNameOnly = r.nameOnly;
        EXPECT_EQ(arc_.TargetName(), r.target) << r.name;
    }
    arc_.ExtractTo.clear();
    arc_.ExtractDir = "D:\\Out";
    arc_.StripAbsolute = true;
    arc_.ExtractNameOnly = false;
    ASSERT_EQ(Op(kArcOpExtract, "\\Data\\a.txt"), 0);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\Out\\Data\\a.txt")), "data");
}

TEST_F(PackFileTest, ShortFirstHeaderReadsMissingFieldsAsZero) {
    test::WriteArchive(ArcPosix(), {{"a.txt", "alpha"}});
    std::string b = ReadPosixFile(ArcPosix());
    const size_t m = 38 + 8 + 2;  // the member header after "made.pkk" and its empty comment
    b.erase(m + 36, 16);          // drop FileCRC .. HeaderCRC
    b[m + 4] = 36;
    b[m + 2] = static_cast<char>(b[m + 2] - 16);
    WritePosixFile(ArcPosix(), b);
    arc_.SetActive(true);
    ASSERT_FALSE(arc_.EndOfArchive());
    EXPECT_EQ(arc_.MemberName(), "a.txt");
    EXPECT_EQ(arc_.FileHeader().FirstHeaderSize, 36);
    EXPECT_EQ(arc_.FileHeader().NamePos, 0);
    EXPECT_EQ(arc_.MemberPackedSize(), 5);
    arc_.SetActive(false);
    arc_.ExtractDir = "D:\\out";
    ASSERT_EQ(Op(kArcOpExtract, "a.txt"), 0);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\out\\a.txt")), "alpha");
}

TEST_F(PackFileTest, ExtractingOntoAnExistingFileFails) {
    ASSERT_EQ(Add("a.txt", "from the archive"), 0);
    CreateFile("d/out/a.txt", "precious");
    arc_.ExtractDir = "D:\\out";
    EXPECT_EQ(ExpectFailure(kArcOpExtract, "a.txt"), kArcExists);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\out\\a.txt")), "precious");
    EXPECT_EQ(ExpectFailure(kArcOpExtract, "b.txt"), kArcNotFound);
}

TEST_F(PackFileTest, UnsafeMemberNamesNeverLeaveTheTarget) {
    CreateDir("d/out");
    struct Row {
        const char* name;
        bool strip, nameOnly;
    } rows[] = {
        {"..\\evil.txt", true, false},    {"a\\..\\..\\evil.txt", true, false},
        {"a/../../evil.txt", true, true}, {"...\\evil.txt", true, false},
        {"\\evil.txt", false, false},     {"D:\\evil.txt", false, false},
        {"D:..\\evil.txt", true, false},  {"", true, false},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        test::WriteArchive(ArcPosix(), {{r.name, "payload"}});
        arc_.SetActive(false);
        arc_.ExtractDir = "D:\\out\\in";
        arc_.StripAbsolute = r.strip;
        arc_.ExtractNameOnly = r.nameOnly;
        arc_.KeepDrive = true;  // so that names with a drive are found as they are
        arc_.Operation = kArcOpExtract;
        arc_.SetFileName(r.name);
        arc_.RaiseErrors = false;
        EXPECT_EQ(arc_.Execute(), kArcUnsafeName);
        EXPECT_FALSE(Exists(Posix("D:\\out\\evil.txt")));
        EXPECT_FALSE(Exists(Posix("D:\\evil.txt")));
    }
    try {
        arc_.RaiseErrors = true;
        test::WriteArchive(ArcPosix(), {{"..\\evil.txt", "payload"}});
        Op(kArcOpExtract, "..\\evil.txt");
        FAIL();
    } catch (const EArchiveObjectError& e) {
        EXPECT_EQ(std::string(e.what()), "Unsafe file name in archive: ..\\evil.txt");
    }
}

TEST(SafeNames, Gate) {
    for (const char* ok : {"a.txt", "a\\b\\c.txt", "a/b", ".\\a", "a..b", "..a"})
        EXPECT_TRUE(IsSafeRelativeName(ok)) << ok;
    for (const char* bad :
         {"", "..", "\\a", "/a", "a\\", "C:a", "C:\\a", "a\\..", "a\\.. \\b", "a:b"})
        EXPECT_FALSE(IsSafeRelativeName(bad)) << bad;
    EXPECT_EQ(StripAbsolutePrefix("C:\\\\x\\y"), "x\\y");
    EXPECT_EQ(StripAbsolutePrefix("\\\\srv\\share\\x"), "srv\\share\\x");
}

TEST_F(PackFileTest, UnknownOperationAndNoOps) {
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    std::string bytes = ReadPosixFile(ArcPosix());
    for (uint8_t op : {0, 3, 6, 7}) EXPECT_EQ(Op(op, "D:\\w\\a.txt"), 0) << int(op);
    arc_.Operation = 9;
    try {
        arc_.Execute();
        FAIL();
    } catch (const EArchiveObjectError& e) {
        EXPECT_EQ(e.Code(), kArcUnknownOp);
        EXPECT_EQ(std::string(e.what()), "Unknown operation [9]");
    }
    arc_.RaiseErrors = false;
    arc_.Operation = 0x89;
    EXPECT_EQ(arc_.Execute(), kArcUnknownOp);
    EXPECT_EQ(ReadPosixFile(ArcPosix()), bytes);
}

TEST(ArchiveErrors, TextsInBothLanguages) {
    EXPECT_EQ(ArchiveErrorText(kArcIoError, "x.txt", false), "IO error x.txt");
    EXPECT_EQ(ArchiveErrorText(kArcRename, "5", true),
              std::string("Ошибка переименования временного файла в архив. Ошибка DOS 5"_a));
    EXPECT_EQ(ArchiveErrorText(kArcUnsafeName, "..\\x", true),
              std::string("Недопустимое имя файла в архиве: ..\\x"_a));
    EXPECT_EQ(ArchiveErrorText(kPackBadData, "", false), "Bad packed data");
    EXPECT_EQ(ArchiveErrorText(kPackBadTrailer, "", false), "");
    EXPECT_EQ(ArchiveErrorText(-300, "", true), "");
}

TEST_F(PackFileTest, CommentChangeKeepsMembersAndModified) {
    ASSERT_EQ(Add("a.txt", std::string(500, 'a')), 0);
    arc_.SetActive(true);
    int32_t modified = arc_.ArchiveHeader().Modified;
    arc_.SetActive(false);
    std::string before = ReadPosixFile(ArcPosix());
    arc_.SetComment("Архив проекта"_a);
    arc_.SetActive(true);
    EXPECT_EQ(arc_.ArchiveHeader().Comment, std::string("Архив проекта"_a));
    EXPECT_EQ(arc_.ArchiveHeader().Modified, modified);
    arc_.SetActive(false);
    std::string after = ReadPosixFile(ArcPosix());
    size_t grow = std::string("Архив проекта"_a).size();
    ASSERT_EQ(after.size(), before.size() + grow);
    EXPECT_EQ(after.substr(45 + grow), before.substr(45));
    EXPECT_FALSE(TempLeft());
}

TEST_F(PackFileTest, MakeBackupKeepsThePreviousArchive) {
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    std::string old = ReadPosixFile(ArcPosix());
    arc_.MakeBackup = true;
    ASSERT_EQ(Add("b.txt", "beta"), 0);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\w\\t.bak")), old);
    EXPECT_EQ(Members().size(), 2u);
}

TEST_F(PackFileTest, ForeignFilesAreNeverChanged) {
    std::string stub = test::MakeStub(6000);
    std::string own;
    {
        ASSERT_EQ(Add("a.txt", "alpha"), 0);
        own = ReadPosixFile(ArcPosix());
    }
    struct Row {
        const char* name;
        const char* arcName;
        std::string content;
    } rows[] = {
        {"text file", "D:\\w\\notes.txt", "just some text, no archive here"},
        {"empty file", "D:\\w\\empty.pkk", ""},
        {"archive behind a stub", "D:\\w\\sfx.exe", stub + own},
    };
    CreateFile("d/w/new.txt", "new");
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        WritePosixFile(Posix(r.arcName), r.content);
        TPackFileObject a;
        a.SetArchiveName(r.arcName);
        a.Operation = kArcOpAdd;
        a.SetFileName("D:\\w\\new.txt");
        EXPECT_THROW(a.Execute(), EArchiveObjectError);
        EXPECT_EQ(a.ResultCode(), kArcOtherType);
        a.Operation = kArcOpDelete;
        a.SetFileName("a.txt");
        EXPECT_THROW(a.Execute(), EArchiveObjectError);
        EXPECT_EQ(a.ResultCode(), kArcOtherType);
        EXPECT_THROW(a.SetComment("c"), EArchiveObjectError);
        a.SetActive(false);
        EXPECT_EQ(ReadPosixFile(Posix(r.arcName)), r.content);
        EXPECT_FALSE(TempLeft());
    }
}

TEST_F(PackFileTest, SelfExtractingStubs) {
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    ASSERT_EQ(Op(kArcOpDelete, "a.txt"), 0);  // an archive without members behind the stub
    std::string empty = ReadPosixFile(ArcPosix());
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    std::string own = ReadPosixFile(ArcPosix());
    struct Row {
        const char* name;
        std::string content;
        int64_t start;  // -1: not an archive
        bool hasMember;
    } rows[] = {
        {"stub of 5000", test::MakeStub(5000) + own, 5000, true},
        {"stub of 70000", test::MakeStub(70000) + own, 70000, true},
        {"stub of 4999", test::MakeStub(4999) + own, -1, true},
        {"stub of 70001", test::MakeStub(70001) + own, -1, true},
        {"short exe read from 0", own, 0, true},
        {"no members behind a stub", test::MakeStub(6000) + empty, 6000, false},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        WritePosixFile(Posix("D:\\w\\x.exe"), r.content);
        TPackFileObject a;
        a.SetArchiveName("D:\\w\\x.exe");
        EXPECT_TRUE(a.IsExe());
        if (r.start < 0) {
            EXPECT_EQ(a.GetArchiveType(), kArcTypeNone);
            continue;
        }
        ASSERT_EQ(a.GetArchiveType(), kArcTypeOwn);
        a.SetActive(true);
        EXPECT_EQ(a.ArchiveStart(), r.start);
        EXPECT_EQ(a.EndOfArchive(), !r.hasMember);
        if (r.hasMember) {
            EXPECT_EQ(a.MemberName(), "a.txt");
            a.ExtractDir = "D:\\sfx";
            a.Operation = kArcOpExtract;
            a.SetFileName("a.txt");
            EXPECT_EQ(a.Execute(), 0);
            EXPECT_EQ(ReadPosixFile(Posix("D:\\sfx\\a.txt")), "alpha");
            fs::remove(Posix("D:\\sfx\\a.txt"));
        }
        // Closing never removes an executable, even one without members.
        a.SetActive(false);
        EXPECT_EQ(ReadPosixFile(Posix("D:\\w\\x.exe")), r.content);
    }
}

TEST_F(PackFileTest, SourceChangingWhileAddedIsRefused) {
    ASSERT_EQ(Add("keep.txt", "kept"), 0);
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) text += "row " + std::to_string(i) + "\n";
    std::string big(3 << 20, 'z');
    struct Row {
        const char* name;
        std::string content;
        bool storeOnly;
        std::function<void(const std::string& posix)> change;
    } rows[] = {
        {"grows while packed", text, false,
         [](const std::string& p) { WritePosixFile(p, ReadPosixFile(p) + "more"); }},
        {"shrinks while packed", text, false,
         [](const std::string& p) { fs::resize_file(p, 1000); }},
        {"shrinks while stored", big, true, [](const std::string& p) { fs::resize_file(p, 1000); }},
        {"grows while stored", big, true,
         [](const std::string& p) { WritePosixFile(p, ReadPosixFile(p) + "more"); }},
    };
    std::string bytes = ReadPosixFile(ArcPosix());
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string posix = CreateFile("d/w/src.txt", r.content);
        bool changed = false;
        arc_.StoreOnly = r.storeOnly;
        arc_.OnProgress = [&](TPackFileObject&, int32_t done, int32_t total) {
            if (!changed && done > 0 && done < total) {
                changed = true;
                r.change(posix);
            }
        };
        try {
            Add("src.txt", "", false);
            ADD_FAILURE() << "no error";
        } catch (const EArchiveObjectError& e) {
            EXPECT_EQ(e.Code(), kArcIoError);
            EXPECT_EQ(std::string(e.what()), "IO error D:\\w\\src.txt");
        }
        EXPECT_TRUE(changed);
        EXPECT_EQ(ReadPosixFile(ArcPosix()), bytes);
        EXPECT_FALSE(TempLeft());
    }
}

TEST_F(PackFileTest, SourcesOf2GiBAreRefused) {
    std::string posix = CreateFile("d/w/huge.bin");
    fs::resize_file(posix, TPackFileObject::kMaxMemberSize);  // sparse
    EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\huge.bin"), kArcIoError);
    EXPECT_FALSE(Exists(ArcPosix()));
}

// Writes beyond a file-size limit fail as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        old_ = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit l = saved_;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, old_);
    }

  private:
    rlimit saved_{};
    sighandler_t old_;
};

TEST_F(PackFileTest, FullDiskIsAnErrorAndNothingIsLost) {
    ASSERT_EQ(Add("keep.txt", "kept"), 0);
    std::string bytes = ReadPosixFile(ArcPosix());
    std::mt19937 rng(3);
    std::string noise(200000, '\0');
    for (auto& c : noise) c = static_cast<char>(rng());
    std::string text;
    for (int i = 0; text.size() < 600000; ++i)
        text += "entry " + std::to_string(i * 7919 % 100003) + "\n";
    CreateFile("d/w/noise.bin", noise);
    CreateFile("d/w/text.txt", text);
    {
        FileSizeLimit limit(64 * 1024);
        arc_.StoreOnly = true;
        EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\noise.bin"), kArcIoError);
        arc_.StoreOnly = false;
        EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\text.txt"), kPackIoError);
    }
    EXPECT_EQ(ReadPosixFile(ArcPosix()), bytes);
    EXPECT_FALSE(TempLeft());

    ASSERT_EQ(Add("noise.bin", "", false), 0);
    ASSERT_EQ(Add("text.txt", "", false), 0);
    arc_.ExtractDir = "D:\\out";
    {
        FileSizeLimit limit(64 * 1024);
        EXPECT_EQ(ExpectFailure(kArcOpExtract, "noise.bin"), kArcIoError);
        EXPECT_EQ(ExpectFailure(kArcOpExtract, "text.txt"), kPackIoError);
    }
    // No half-written file pretends to be the member.
    EXPECT_FALSE(Exists(Posix("D:\\out\\noise.bin")));
    EXPECT_FALSE(Exists(Posix("D:\\out\\text.txt")));
}

TEST_F(PackFileTest, FailedRenameKeepsBothFiles) {
    ASSERT_EQ(Add("keep.txt", "kept"), 0);
    std::string bytes = ReadPosixFile(ArcPosix());
    std::string text;
    for (int i = 0; text.size() < 100000; ++i) text += "row " + std::to_string(i) + "\n";
    CreateFile("d/w/src.txt", text);
    bool moved = false;
    arc_.OnProgress = [&](TPackFileObject&, int32_t done, int32_t total) {
        if (!moved && done > 0 && done < total) {
            moved = true;
            fs::rename(Root() + "/d/w", Root() + "/d/moved");
        }
    };
    EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\src.txt"), kArcRename);
    ASSERT_TRUE(moved);
    EXPECT_EQ(ReadPosixFile(Root() + "/d/moved/t.pkk"), bytes);
    int temps = 0;
    for (auto& e : fs::directory_iterator(Root() + "/d/moved"))
        if (e.path().filename().string().rfind("$pk", 0) == 0) {
            ++temps;
            EXPECT_GT(fs::file_size(e.path()), bytes.size());
        }
    EXPECT_EQ(temps, 1);
}

TEST_F(PackFileTest, StopEndsWithMinusOneAndKeepsTheArchive) {
    ASSERT_EQ(Add("keep.txt", "kept"), 0);
    std::string bytes = ReadPosixFile(ArcPosix());
    std::string text;
    for (int i = 0; text.size() < 200000; ++i) text += "row " + std::to_string(i) + "\n";
    CreateFile("d/w/src.txt", text);
    int busyCode = 0;
    arc_.OnProgress = [&](TPackFileObject& sender, int32_t done, int32_t total) {
        if (done > 0 && done < total) {
            try {
                sender.Execute();
            } catch (const EArchiveObjectError& e) {
                busyCode = e.Code();
            }
            sender.Stop(true);
        }
    };
    EXPECT_EQ(Op(kArcOpAdd, "D:\\w\\src.txt"), kPackStopped);
    EXPECT_EQ(busyCode, kArcBusy);
    EXPECT_FALSE(arc_.Busy());
    EXPECT_EQ(ReadPosixFile(ArcPosix()), bytes);
    EXPECT_FALSE(TempLeft());
}

TEST_F(PackFileTest, ArchiveTypes) {
    EXPECT_EQ(arc_.GetArchiveType(), kArcTypeNone);  // missing
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    EXPECT_TRUE(arc_.IsArchive());
    EXPECT_EQ(arc_.GetArchiveType(), kArcTypeOwn);
    arc_.SetActive(true);
    EXPECT_EQ(ArchiveVersionText(arc_.ArchiveHeader().Version, arc_.ArchiveType()), "1.0");
    EXPECT_EQ(arc_.MemberAttr() & kAttrArchive, kAttrArchive);
    EXPECT_EQ(arc_.MemberTime(), FileAge("D:\\w\\a.txt"));
    arc_.SetActive(false);
}

}  // namespace
}  // namespace hv
