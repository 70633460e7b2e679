// The pack archive container on real files in a temporary tree (D: is the tree);
// damaged archives: every one ends in a clear negative code, nothing crashes,
// and the damaged file is left exactly as it was; the archive fuzz corpus
// replayed through the fuzz target, each input in a child process that names
// the input it fails on.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "pack/test_PackFileUtil.h"
#include "platform/AnsiLiteral.h"
#include "support/Corpus.h"
#include "support/FullDisk.h"
#include "support/TempTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace hv {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
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
    std::string ArcBytes() { return ReadPosixFile(ArcPosix()); }
    // Writes D:\w\<name> and adds it.
    int Add(const std::string& name, const std::string& content) {
        CreateFile("d/w/" + name, content);
        return Op(kArcOpAdd, "D:\\w\\" + name);
    }
    int Op(uint8_t op, const std::string& fileName) { return test::Run(arc_, op, fileName); }
    // The code of a run that must raise; `message` receives the text.
    int ExpectFailure(uint8_t op, const std::string& fileName, std::string* message = nullptr) {
        try {
            Op(op, fileName);
            ADD_FAILURE() << "nothing raised";
        } catch (const EArchiveObjectError& e) {
            EXPECT_EQ(e.Code(), arc_.ResultCode());
            if (message) *message = e.what();
            return e.Code();
        }
        return 0;
    }
    std::vector<test::Member> Members() { return test::ListMembers(arc_); }
    bool TempLeft() { return !test::Temps(Root() + "/d/w").empty(); }

    TPackFileObject arc_;
};

TEST_F(PackFileTest, HeaderTypesAndRemovalWhenEmpty) {
    EXPECT_EQ(arc_.GetArchiveType(), kArcTypeNone);  // missing
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    EXPECT_TRUE(arc_.IsArchive());
    EXPECT_EQ(arc_.GetArchiveType(), kArcTypeOwn);
    arc_.SetActive(true);
    EXPECT_EQ(ArchiveVersionText(arc_.ArchiveHeader().Version, arc_.ArchiveType()), "1.0");
    EXPECT_EQ(arc_.MemberAttr() & kAttrArchive, kAttrArchive);
    EXPECT_EQ(arc_.MemberTime(), FileAge("D:\\w\\a.txt"));
    arc_.SetActive(false);
    // Deleting the only member leaves the bare header, and closing removes that.
    ASSERT_EQ(Op(kArcOpDelete, "a.txt"), 0);
    EXPECT_EQ(ArcBytes().size(), 45u + 4u);
    EXPECT_TRUE(Members().empty());
    EXPECT_FALSE(Exists(ArcPosix()));

    // A new archive named without extension is a .PKK with this header.
    arc_.SetArchiveName("D:\\A");
    EXPECT_EQ(arc_.ArchiveName(), "D:\\A.PKK");
    arc_.SetActive(true);
    std::string bytes = ReadPosixFile(Posix("D:\\A.PKK"));
    ASSERT_EQ(bytes.size(), 45u + 4u);
    EXPECT_EQ(bytes.substr(0, 9), std::string("\xA9\x56\x2D\x00\x26\x00\x01\x00\x01", 9));
    EXPECT_EQ(bytes.substr(38, 7), std::string("A.PKK\0\0", 7));
    EXPECT_EQ(bytes.substr(45), std::string("\xA9\x56\x00\x00", 4));
    arc_.SetActive(false);
    EXPECT_FALSE(Exists(Posix("D:\\A.PKK")));
}

// Packed where packing pays, stored where it does not; everything comes back
// as it went in, the empty file included.
TEST_F(PackFileTest, MethodFollowsTheSavingRule) {
    const struct {
        const char* name;
        std::string content;
        uint8_t method;
    } rows[] = {
        {"ten.txt", "0123456789", kMethodStored},
        {"text.txt", test::Rows(100000), kMethodPacked},
        {"empty.bin", "", kMethodStored},
        {"one.bin", "x", kMethodStored},
        {"noise.bin", test::Noise(40000, 7), kMethodStored},
    };
    for (auto& r : rows) ASSERT_EQ(Add(r.name, r.content), 0) << r.name;
    auto members = Members();
    ASSERT_EQ(members.size(), std::size(rows));
    arc_.ExtractDir = "D:\\out";
    for (size_t i = 0; i < members.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(members[i].name, rows[i].name);
        EXPECT_EQ(members[i].method, rows[i].method);
        EXPECT_EQ(members[i].unpacked, rows[i].content.size());
        EXPECT_TRUE(rows[i].method != kMethodStored || members[i].packed == rows[i].content.size());
        ASSERT_EQ(Op(kArcOpExtract, rows[i].name), 0);
        EXPECT_EQ(ReadPosixFile(Posix("D:\\out\\" + std::string(rows[i].name))), rows[i].content);
    }
    // StoreOnly never runs the codec.
    arc_.StoreOnly = true;
    ASSERT_EQ(Op(kArcOpAdd, "D:\\w\\text.txt"), 0);
    members = Members();
    EXPECT_EQ(members[1].method, kMethodStored);
    EXPECT_EQ(members[1].packed, rows[1].content.size());
}

TEST_F(PackFileTest, ReplacingAndDeletingKeepOrderAndOtherMembersBytes) {
    ASSERT_EQ(Add("a.txt", std::string(3000, 'a')), 0);
    ASSERT_EQ(Add("b.txt", "short b"), 0);
    ASSERT_EQ(Add("c.txt", std::string(3000, 'c') + "tail"), 0);
    auto before = Members();
    // Named in other letter case: the member is found and the name as on disk is kept.
    WritePosixFile(Posix("D:\\w\\b.txt"), "a longer text for b that replaces it");
    ASSERT_EQ(Op(kArcOpAdd, "D:\\w\\B.TXT"), 0);
    auto after = Members();
    ASSERT_EQ(test::Names(after), (Strings{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(after[0].raw, before[0].raw);
    EXPECT_EQ(after[2].raw, before[2].raw);
    EXPECT_EQ(after[1].unpacked, 36u);
    // The first and the last member deleted.
    ASSERT_EQ(Op(kArcOpDelete, "A.txt"), 0);
    ASSERT_EQ(Op(kArcOpDelete, "c.txt"), 0);
    EXPECT_EQ(test::Names(Members()), Strings{"b.txt"});
    EXPECT_EQ(ExpectFailure(kArcOpDelete, "zzz.txt"), kArcNotFound);
}

// An unchanged file leaves the archive alone: the batch's test, on the same path.
TEST_F(PackFileTest, UpdateTakesChangedFilesAndKeepsABackup) {
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    // A changed size is added again; a missing file is no error.
    WritePosixFile(Posix("D:\\w\\a.txt"), "alpha and more");
    ASSERT_EQ(Op(kArcOpUpdate, "D:\\w\\a.txt"), 0);
    EXPECT_EQ(Members().at(0).unpacked, 14u);
    EXPECT_EQ(Op(kArcOpUpdate, "D:\\w\\missing.txt"), 0);
    EXPECT_EQ(Members().size(), 1u);

    // MakeBackup keeps the previous archive.
    const std::string bytes = ArcBytes();
    arc_.MakeBackup = true;
    ASSERT_EQ(Add("b.txt", "beta"), 0);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\w\\t.bak")), bytes);
    EXPECT_EQ(Members().size(), 2u);
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
        {"name only", "D:\\Out", "", true, true, "D:\\Out\\a.txt"},
        {"kept absolute", "D:\\Out", "", false, false, "\\Data\\a.txt"},
        {"archive dir", "", "", true, false, "D:\\w\\Data\\a.txt"},
        {"driveless dir", "Out", "", true, false, "D:\\Out\\Data\\a.txt"},
        {"explicit file", "D:\\Out", "D:\\x\\y.txt", true, false, "D:\\x\\y.txt"},
        {"explicit dir", "D:\\Out", "D:\\x\\", true, false, "D:\\x\\a.txt"},
        {"relative explicit", "", "sub\\y.txt", true, false, "D:\\w\\sub\\y.txt"},
        {"renamed", "D:\\Out", "y.txt", true, false, "D:\\Out\\y.txt"},
        {"stripped (extracted below)", "D:\\Out", "", true, false, "D:\\Out\\Data\\a.txt"},
    };
    for (auto& r : rows) {
        arc_.ExtractDir = r.extractDir;
        arc_.ExtractTo = r.extractTo;
        arc_.StripAbsolute = r.strip;
        arc_.ExtractNameOnly = r.nameOnly;
        EXPECT_EQ(arc_.TargetName(), r.target) << r.name;
    }
    ASSERT_EQ(Op(kArcOpExtract, "\\Data\\a.txt"), 0);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\Out\\Data\\a.txt")), "data");
}

TEST_F(PackFileTest, ShortFirstHeaderReadsMissingFieldsAsZero) {
    test::WriteArchive(ArcPosix(), {{"a.txt", "alpha"}});
    std::string b = ArcBytes();
    const size_t m = 38 + 8 + 2;  // the member header after "made.pkk" and its empty comment
    b.erase(m + 36, 16);          // drop FileCRC .. HeaderCRC
    b[m + 4] = 36;
    b[m + 2] = static_cast<char>(b[m + 2] - 16);
    WritePosixFile(ArcPosix(), b);
    arc_.SetActive(true);
    ASSERT_FALSE(arc_.EndOfArchive());
    EXPECT_EQ(arc_.MemberName(), "a.txt");
    EXPECT_EQ(arc_.MemberPackedSize(), 5);
    arc_.SetActive(false);
    arc_.ExtractDir = "D:\\out";
    ASSERT_EQ(Op(kArcOpExtract, "a.txt"), 0);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\out\\a.txt")), "alpha");
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
    arc_.ExtractDir = "D:\\out\\in";
    arc_.KeepDrive = true;  // so that names with a drive are found as they are
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        test::WriteArchive(ArcPosix(), {{r.name, "payload"}});
        arc_.StripAbsolute = r.strip;
        arc_.ExtractNameOnly = r.nameOnly;
        arc_.RaiseErrors = false;
        EXPECT_EQ(Op(kArcOpExtract, r.name), kArcUnsafeName);
        EXPECT_FALSE(Exists(Posix("D:\\out\\evil.txt")));
        EXPECT_FALSE(Exists(Posix("D:\\evil.txt")));
        // Raised, the error names the member.
        arc_.RaiseErrors = true;
        std::string message;
        EXPECT_EQ(ExpectFailure(kArcOpExtract, r.name, &message), kArcUnsafeName);
        EXPECT_EQ(message, "Unsafe file name in archive: " + std::string(r.name));
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

TEST_F(PackFileTest, CommentChangeKeepsMembersAndModified) {
    ASSERT_EQ(Add("a.txt", std::string(500, 'a')), 0);
    arc_.SetActive(true);
    int32_t modified = arc_.ArchiveHeader().Modified;
    arc_.SetActive(false);
    std::string before = ArcBytes();
    const std::string comment = "Архив проекта"_a;
    arc_.SetComment(comment);
    arc_.SetActive(true);
    EXPECT_EQ(arc_.ArchiveHeader().Comment, comment);
    EXPECT_EQ(arc_.ArchiveHeader().Modified, modified);
    arc_.SetActive(false);
    std::string after = ArcBytes();
    ASSERT_EQ(after.size(), before.size() + comment.size());
    EXPECT_EQ(after.substr(45 + comment.size()), before.substr(45));
    EXPECT_FALSE(TempLeft());
}

// Files other than an own archive at offset 0 are never changed; an archive behind a
// stub of 5000 to 70000 bytes is read and extracted from, and closing never removes
// an executable, even one without members.
TEST_F(PackFileTest, ForeignFilesAndSelfExtractingStubs) {
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    ASSERT_EQ(Op(kArcOpDelete, "a.txt"), 0);
    const std::string empty = ArcBytes();
    ASSERT_EQ(Add("a.txt", "alpha"), 0);
    const std::string own = ArcBytes();
    CreateFile("d/w/new.txt", "new");
    const struct {
        const char* name;
        std::string content;
        int64_t start;  // -1: not an archive
        bool hasMember;
    } rows[] = {
        {"notes.txt", "just some text, no archive here", -1, false},
        {"empty.pkk", "", -1, false},
        {"stub5000.exe", test::MakeStub(5000) + own, 5000, true},
        {"stub70000.exe", test::MakeStub(70000) + own, 70000, true},
        {"stub4999.exe", test::MakeStub(4999) + own, -1, true},
        {"stub70001.exe", test::MakeStub(70001) + own, -1, true},
        {"short.exe", own, 0, true},  // read from 0, changeable
        {"no-members.exe", test::MakeStub(6000) + empty, 6000, false},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string path = "D:\\w\\" + std::string(r.name);
        WritePosixFile(Posix(path), r.content);
        TPackFileObject a;
        a.SetArchiveName(path);
        EXPECT_EQ(a.IsExe(), fs::path(r.name).extension() == ".exe");
        EXPECT_EQ(a.GetArchiveType(), r.start < 0 ? kArcTypeNone : kArcTypeOwn);
        if (r.start != 0) {
            for (auto [op, name] :
                 {std::pair{kArcOpAdd, "D:\\w\\new.txt"}, {kArcOpDelete, "a.txt"}}) {
                EXPECT_THROW(test::Run(a, op, name), EArchiveObjectError);
                EXPECT_EQ(a.ResultCode(), kArcOtherType);
            }
            EXPECT_THROW(a.SetComment("c"), EArchiveObjectError);
        }
        if (r.start >= 0) {
            a.SetActive(true);
            EXPECT_EQ(a.ArchiveStart(), r.start);
            EXPECT_EQ(a.EndOfArchive(), !r.hasMember);
        }
        if (r.start >= 0 && r.hasMember) {
            EXPECT_EQ(a.MemberName(), "a.txt");
            a.ExtractDir = "D:\\x\\" + std::string(r.name);
            EXPECT_EQ(test::Run(a, kArcOpExtract, "a.txt"), 0);
            EXPECT_EQ(ReadPosixFile(Posix(a.ExtractDir + "\\a.txt")), "alpha");
        }
        a.SetActive(false);
        EXPECT_EQ(ReadPosixFile(Posix(path)), r.content);
        EXPECT_FALSE(TempLeft());
    }
}

// A source that changes while it is added is read once more: changed once, it goes in
// as it is after the change, with a header that agrees with its bytes; changing on
// every read it is refused. Refused or stopped, the archive stays as it was. No
// temporary is left either way.
TEST_F(PackFileTest, SourceChangingWhileAddedIsReadAgainOrRefused) {
    ASSERT_EQ(Add("keep.txt", "kept"), 0);
    const std::string text = test::Rows(100000), big(2 << 20, 'z');
    auto grow = [](const std::string& p) { WritePosixFile(p, ReadPosixFile(p) + "more"); };
    auto shrink = [](const std::string& p) { fs::resize_file(p, 1000); };
    auto stop = [&](const std::string&) { arc_.Stop(true); };
    const struct {
        const char* name;
        const std::string& content;
        bool storeOnly;
        std::function<void(const std::string& posix)> act;
        bool everyRead;
        int code;
        std::string stored;  // what the member holds afterwards (code 0)
    } rows[] = {
        {"grows once while packed", text, false, grow, false, 0, text + "more"},
        {"shrinks once while packed", text, false, shrink, false, 0, text.substr(0, 1000)},
        {"shrinks once while stored", big, true, shrink, false, 0, big.substr(0, 1000)},
        {"grows on every read, packed", text, false, grow, true, kArcIoError, ""},
        {"grows on every read, stored", big, true, grow, true, kArcIoError, ""},
        {"stopped", text, false, stop, false, kPackStopped, ""},
    };
    const std::string bytes = ArcBytes();
    arc_.ExtractDir = "D:\\out";
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        WritePosixFile(ArcPosix(), bytes);
        const std::string posix = CreateFile("d/w/src.txt", r.content);
        int acted = 0;
        arc_.StoreOnly = r.storeOnly;
        arc_.OnProgress = [&](TPackFileObject&, int32_t done, int32_t total) {
            if ((r.everyRead || acted == 0) && done > 0 && done < total) {
                ++acted;
                r.act(posix);
            }
        };
        if (r.code == kPackStopped) {
            EXPECT_EQ(Op(kArcOpAdd, "D:\\w\\src.txt"), kPackStopped);  // not raised
            EXPECT_FALSE(arc_.Busy());
        } else if (r.code != 0) {
            std::string message;
            EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\src.txt", &message), r.code);
            EXPECT_EQ(message,
                      std::string("IO error D:\\w\\src.txt: ") + "файл изменялся при чтении"_a);
        } else {
            ASSERT_EQ(Op(kArcOpAdd, "D:\\w\\src.txt"), 0);
        }
        EXPECT_GE(acted, 1);
        arc_.OnProgress = nullptr;
        if (r.code != 0) {
            EXPECT_EQ(ArcBytes(), bytes);
        } else {
            auto m = Members();
            ASSERT_EQ(m.size(), 2u);
            EXPECT_EQ(m[1].unpacked, r.stored.size());
            arc_.SetActive(true);
            ASSERT_TRUE(arc_.FindMember("src.txt"));
            EXPECT_EQ(arc_.MemberTime(), FileAge("D:\\w\\src.txt"));
            arc_.SetActive(false);
            fs::remove_all(Root() + "/d/out");
            ASSERT_EQ(Op(kArcOpExtract, "src.txt"), 0);
            EXPECT_TRUE(ReadPosixFile(Posix("D:\\out\\src.txt")) == r.stored);
        }
        EXPECT_FALSE(TempLeft());
    }
}

TEST_F(PackFileTest, SourcesOf2GiBAreRefused) {
    std::string posix = CreateFile("d/w/huge.bin");
    fs::resize_file(posix, TPackFileObject::kMaxMemberSize);  // sparse
    EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\huge.bin"), kArcIoError);
    EXPECT_FALSE(Exists(ArcPosix()));
}

// A full disk is an error that names its cause, and nothing is lost.
TEST_F(PackFileTest, FullDiskIsAnErrorAndNothingIsLost) {
    ASSERT_EQ(Add("keep.txt", "kept"), 0);
    std::string bytes = ArcBytes();
    CreateFile("d/w/noise.bin", test::Noise(200000, 3));
    CreateFile("d/w/text.txt", test::Rows(600000, 7919));
    std::string message;
    {
        test::FullDisk full(64 * 1024);
        arc_.StoreOnly = true;
        EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\noise.bin"), kArcIoError);
        arc_.StoreOnly = false;
        EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\text.txt", &message), kPackIoError);
    }
    EXPECT_EQ(message.rfind("Read/write error: D:\\w\\$pk", 0), 0u) << message;
    EXPECT_NE(message.find("Недостаточно места на диске"_a), std::string::npos) << message;
    EXPECT_EQ(ArcBytes(), bytes);
    EXPECT_FALSE(TempLeft());

    ASSERT_EQ(Op(kArcOpAdd, "D:\\w\\noise.bin"), 0);
    ASSERT_EQ(Op(kArcOpAdd, "D:\\w\\text.txt"), 0);
    arc_.ExtractDir = "D:\\out";
    {
        test::FullDisk full(64 * 1024);
        EXPECT_EQ(ExpectFailure(kArcOpExtract, "noise.bin"), kArcIoError);
        EXPECT_EQ(ExpectFailure(kArcOpExtract, "text.txt"), kPackIoError);
    }
    // No half-written file pretends to be the member.
    EXPECT_FALSE(Exists(Posix("D:\\out\\noise.bin")));
    EXPECT_FALSE(Exists(Posix("D:\\out\\text.txt")));
}

TEST_F(PackFileTest, FailedRenameKeepsBothFiles) {
    ASSERT_EQ(Add("keep.txt", "kept"), 0);
    std::string bytes = ArcBytes();
    CreateFile("d/w/src.txt", test::Rows(100000));
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
    const auto temps = test::Temps(Root() + "/d/moved");
    ASSERT_EQ(temps.size(), 1u);
    EXPECT_GT(fs::file_size(temps[0]), bytes.size());
}

// Two files whose names differ only in letter case are two members (the
// second once stopped the add with "IO error GetFileInfo"); a member whose
// name differs only in case stands for a file only when no file has its own name.
TEST_F(PackFileTest, CaseTwinsAreTwoMembers) {
    CreateFile("d/w/twin.txt", "lower");
    CreateFile("d/w/TWIN.txt", "upper");
    for (uint8_t op : {kArcOpAdd, kArcOpUpdate}) {
        for (const char* n : {"D:\\w\\twin.txt", "D:\\w\\TWIN.txt"}) ASSERT_EQ(Op(op, n), 0) << n;
        EXPECT_EQ(test::Names(Members()), (Strings{"twin.txt", "TWIN.txt"}));
    }
    arc_.ExtractDir = "D:\\out";
    ASSERT_EQ(Op(kArcOpExtract, "twin.txt"), 0);
    ASSERT_EQ(Op(kArcOpExtract, "TWIN.txt"), 0);
    EXPECT_EQ(ReadPosixFile(Posix("D:\\out\\twin.txt")), "lower");
    EXPECT_EQ(ReadPosixFile(Posix("D:\\out\\TWIN.txt")), "upper");

    // Made where case does not count: README.TXT is the file readme.txt.
    test::WriteArchive(ArcPosix(), {{"README.TXT", "old"}, {"b.txt", "b"}});
    CreateFile("d/w/readme.txt", "new text");
    ASSERT_EQ(Op(kArcOpAdd, "D:\\w\\readme.txt"), 0);
    auto m = Members();
    ASSERT_EQ(test::Names(m), (Strings{"readme.txt", "b.txt"}));
    EXPECT_EQ(m[0].unpacked, 8u);
}

// Errors of the own format name their cause in the system's words, after
// the code's own text: the member whose size does not match, the name a
// directory look-up could not settle (a full disk is the test above).
TEST_F(PackFileTest, ErrorsNameTheirCause) {
    ASSERT_EQ(Add("keep.txt", "kept"), 0);
    std::string message;
    ASSERT_EQ(Add("text.txt", test::Rows(60000, 7919)), 0);
    const auto m = Members();
    std::string bytes = ArcBytes();
    const size_t size = static_cast<size_t>(m[1].headerPos) + 22;
    bytes[size] = static_cast<char>(bytes[size] ^ 1);  // the unpacked size is off by one
    WritePosixFile(ArcPosix(), bytes);
    arc_.ExtractDir = "D:\\out";
    EXPECT_EQ(ExpectFailure(kArcOpExtract, "text.txt", &message), kPackBadLength);
    EXPECT_EQ(message.rfind("Checksum error: text.txt", 0), 0u) << message;

    CreateFile("d/w/x1.txt", "1");
    CreateFile("d/w/x2.txt", "2");
    EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\x?.txt", &message), kArcIoError);
    EXPECT_EQ(message.rfind("IO error GetFileInfo: D:\\w\\x?.txt", 0), 0u) << message;
    EXPECT_EQ(ExpectFailure(kArcOpAdd, "D:\\w\\none.txt", &message), kArcIoError);
    EXPECT_EQ(message, "IO error D:\\w\\none.txt: "_a + ErrorText(kErrFileNotFound));
}

// Looking at an archive never deletes it: one whose first member header says
// size 0 with more bytes behind it is damaged (it once read as empty and was
// removed when closed), and one that holds only a comment stays as it is.
// Only this object's own delete of the last member, or its own creation of an
// empty archive, removes the file on closing.
TEST_F(PackFileTest, LookingAtAnArchiveNeverDeletesIt) {
    test::WriteArchive(ArcPosix(), {{"a.txt", "alpha"}, {"b.txt", "beta"}});
    std::string damaged = ArcBytes();
    damaged[38 + 8 + 2 + 2] = damaged[38 + 8 + 2 + 3] = 0;  // the first member's HeaderSize
    WritePosixFile(ArcPosix(), damaged);
    TPackFileObject a;
    a.SetArchiveName("D:\\w\\t.pkk");
    EXPECT_THROW(a.SetActive(true), EArchiveObjectError);
    EXPECT_EQ(a.ResultCode(), kArcCorrupted);
    a.SetActive(false);
    EXPECT_TRUE(ArcBytes() == damaged);

    test::WriteArchive(ArcPosix(), {});
    std::string commented = ArcBytes();
    {
        TPackFileObject c;
        c.SetArchiveName("D:\\w\\t.pkk");
        c.SetComment("только комментарий"_a);
        commented = ArcBytes();
        TPackFileObject look;
        look.SetArchiveName("D:\\w\\t.pkk");
        look.SetActive(true);
        EXPECT_TRUE(look.EndOfArchive());
        look.SetActive(false);
        EXPECT_FALSE(look.FindMember("a.txt"));
    }
    EXPECT_TRUE(ArcBytes() == commented);
}

using Damage = std::function<void(std::string&)>;

void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Runs the operation with errors returned, not raised.
int RunOp(TPackFileObject& a, uint8_t op, const std::string& name) {
    a.RaiseErrors = false;
    try {
        return test::Run(a, op, name);
    } catch (const EArchiveObjectError& e) {
        return e.Code();  // raised whatever RaiseErrors says (-202, -208 before the start)
    }
}

int ListCode(TPackFileObject& a) {
    try {
        a.SetActive(true);
        for (int guard = 0; !a.EndOfArchive(); ++guard) {
            if (guard > 1000) return 1;  // a walk that does not end
            a.ReadNext();
        }
        a.SetActive(false);
        return 0;
    } catch (const EArchiveObjectError& e) {
        return e.Code();
    }
}

class CorruptArchive : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateFile("d/w/a.txt", "alpha");
        CreateFile("d/w/text.txt", test::Rows(60000));
        CreateFile("d/w/c.txt", "gamma");
        CreateFile("d/w/new.txt", "new");
        TPackFileObject a;
        a.SetArchiveName("D:\\w\\t.pkk");
        for (const char* n : {"a.txt", "text.txt", "c.txt"})
            ASSERT_EQ(test::Run(a, kArcOpAdd, std::string("D:\\w\\") + n), 0);
        members_ = test::ListMembers(a);
        ASSERT_EQ(members_.size(), 3u);
        ASSERT_EQ(members_[1].method, kMethodPacked);
        valid_ = ReadPosixFile(Posix("D:\\w\\t.pkk"));
    }
    size_t At(int member, size_t offset = 0) const {
        return static_cast<size_t>(members_[member].headerPos) + offset;
    }

    std::vector<test::Member> members_;
    std::string valid_;
};

TEST_F(CorruptArchive, EveryDamageIsReportedAndNothingChanges) {
    const size_t nameEnd = 38 + 5;  // terminator of the archive's own name "t.pkk"
    const int kAny = 1;             // any negative code
    const struct {
        const char* name;
        Damage damage;
        int listCode;     // 0: lists fine
        int changeCode;   // add, delete, update and comment change
        int extractCode;  // of the member "text.txt", intact before the damage
    } rows[] = {
        // clang-format off
        {"archive header id", [](std::string& b) { b[0] = 0; }, kArcBadHeader, kArcOtherType, kArcBadHeader},
        {"archive version", [](std::string& b) { b[5] = 1; }, kArcBadHeader, kArcOtherType, kArcBadHeader},
        {"archive header size", [](std::string& b) { Put16(b, 2, 4000); }, kArcBadHeader, kArcOtherType, kArcBadHeader},
        {"archive header size huge", [](std::string& b) { Put16(b, 2, 0xFFFF); }, kArcBadHeader, kArcOtherType, kArcBadHeader},
        {"archive texts unterminated", [&](std::string& b) { b[nameEnd] = 'x', b[nameEnd + 1] = 'y'; }, kArcBadHeader, kArcOtherType, kArcBadHeader},
        {"empty file", [](std::string& b) { b.clear(); }, kArcBadHeader, kArcOtherType, kArcBadHeader},
        {"header only", [](std::string& b) { b.resize(45); }, kArcCorrupted, kArcCorrupted, kArcCorrupted},
        {"member id", [&](std::string& b) { b[At(1)] = 0; }, kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"member version", [&](std::string& b) { b[At(1, 6)] = 2; }, kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"member header size huge", [&](std::string& b) { Put16(b, At(1, 2), 0xFFFF); }, kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"member header size tiny", [&](std::string& b) { Put16(b, At(1, 2), 20); }, kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"first header size past the header", [&](std::string& b) { b[At(1, 4)] = char(250); }, kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"member name runs into the data", [&](std::string& b) { b[At(1, 60)] = b[At(1, 61)] = 'x'; }, kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"packed size past the end", [&](std::string& b) { Put32(b, At(0, 26), 0xFFFFFFF0u); }, kArcCorrupted, kArcCorrupted, kArcCorrupted},
        {"packed size into the next header", [&](std::string& b) { Put32(b, At(0, 26), 5 + 3); }, kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"cut inside a header", [&](std::string& b) { b.resize(At(2, 10)); }, kArcCorrupted, kArcCorrupted, 0},
        {"cut inside packed data", [&](std::string& b) { b.resize(At(1, 200)); }, kArcCorrupted, kArcCorrupted, kArcCorrupted},
        {"end marker missing", [](std::string& b) { b.resize(b.size() - 4); }, kArcCorrupted, kArcCorrupted, 0},
        {"end marker damaged", [](std::string& b) { b[b.size() - 2] = 1; }, kArcCorrupted, kArcCorrupted, 0},
        {"packed data damaged", [&](std::string& b) { for (int i = 0; i < 16; ++i) b[At(1, 200 + i)] ^= 0x5A; }, 0, 0, kAny},
        // The stream itself says how long it is; a header claiming more is caught there.
        {"unpacked size larger than the stream", [&](std::string& b) { Put32(b, At(1, 22), 0x7FFFFFF0u); }, 0, 0, kPackBadLength},
        {"unpacked size smaller than the stream", [&](std::string& b) { Put32(b, At(1, 22), members_[1].unpacked - 1); }, 0, 0, kPackBadLength},
        // Stored bytes are copied as they are: sizes that disagree once gave a short file and success.
        {"stored member whose sizes disagree", [&](std::string& b) { b[At(1, 11)] = kMethodStored; }, 0, 0, kArcCorrupted},
        // clang-format on
    };
    const std::string arcPosix = Posix("D:\\w\\t.pkk"), out = Posix("D:\\out\\text.txt");
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string bytes = valid_;
        r.damage(bytes);
        test::WritePosixFile(arcPosix, bytes);
        TPackFileObject a;
        a.SetArchiveName("D:\\w\\t.pkk");
        a.ExtractDir = "D:\\out";
        EXPECT_EQ(ListCode(a), r.listCode);
        if (r.listCode != 0) {
            EXPECT_EQ(RunOp(a, kArcOpAdd, "D:\\w\\new.txt"), r.changeCode);
            EXPECT_EQ(RunOp(a, kArcOpDelete, "a.txt"), r.changeCode);
            EXPECT_EQ(RunOp(a, kArcOpUpdate, "D:\\w\\new.txt"), r.changeCode);
            EXPECT_THROW(a.SetComment("note"), EArchiveObjectError);
        }
        const int code = RunOp(a, kArcOpExtract, "text.txt");
        if (r.extractCode == kAny) {
            EXPECT_LT(code, 0);
        } else {
            EXPECT_EQ(code, r.extractCode);
        }
        if (code == 0) {
            EXPECT_EQ(ReadPosixFile(out), ReadPosixFile(Posix("D:\\w\\text.txt")));
            std::filesystem::remove(out);
        }
        EXPECT_FALSE(Exists(out));  // no partial file after a failure
        a.SetActive(false);
        EXPECT_EQ(ReadPosixFile(arcPosix), bytes);
        EXPECT_TRUE(test::Temps(Root() + "/d/w").empty());
    }
}

TEST_F(CorruptArchive, DamagedArjHeaders) {
    // The seed of the archive fuzz corpus: an ARJ archive made by hand, its main
    // header for "x.arj", then "a.txt" stored with "alpha", then the end.
    const std::string good = ReadPosixFile(HALVORA_SOURCE_DIR "/fuzz/corpus/archive/small.arj");
    ASSERT_EQ(good.size(), 103u);
    const size_t local = 4 + 37 + 6;  // after the main header
    const struct {
        const char* name;
        Damage damage;
        int listCode;
    } rows[] = {
        // clang-format off
        {"intact", [](std::string&) {}, 0},
        {"main header too large", [](std::string& b) { Put16(b, 2, 2295); }, kArcBadHeader},
        {"main header not type 2", [](std::string& b) { b[10] = 0; }, kArcBadHeader},
        {"local header too small", [&](std::string& b) { Put16(b, local + 2, 10); }, kArcBadFileHeader},
        {"local header past the end", [&](std::string& b) { Put16(b, local + 2, 2000); }, kArcCorrupted},
        {"packed size past the end", [&](std::string& b) { Put32(b, local + 16, 0xFFFFFFFFu); }, kArcCorrupted},
        {"extension header past the end", [&](std::string& b) { Put16(b, local + 45, 2000); }, kArcCorrupted},
        {"extension header too large", [&](std::string& b) { Put16(b, local + 45, 2301); }, kArcBadFileHeader},
        {"first header size past the header", [&](std::string& b) { b[local + 4] = 27; }, kArcBadFileHeader},
        // clang-format on
    };
    const std::string arj = Posix("D:\\w\\x.arj");
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string bytes = good;
        r.damage(bytes);
        test::WritePosixFile(arj, bytes);
        TPackFileObject a;
        a.SetArchiveName("D:\\w\\x.arj");
        EXPECT_EQ(ListCode(a), r.listCode);
        EXPECT_EQ(RunOp(a, kArcOpAdd, "D:\\w\\new.txt"), kArcOtherType);
        const int code = RunOp(a, kArcOpExtract, "a.txt");
        EXPECT_TRUE(code == kArcOtherType || code == r.listCode) << code;
        a.SetActive(false);
        EXPECT_EQ(ReadPosixFile(arj), bytes);
    }
}

TEST(ArchiveFuzzCorpus, EveryInputEndsCleanly) {
    const auto replay = test::ReplayCorpus("archive", LLVMFuzzerTestOneInput);
    EXPECT_GE(replay.inputs, 5u);
    EXPECT_EQ(replay.failures, std::vector<std::string>{});
}

}  // namespace
}  // namespace hv
