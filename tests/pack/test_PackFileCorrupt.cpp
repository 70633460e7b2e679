// Damaged archives: every one ends in a clear negative code, nothing crashes,
// and the damaged file is left exactly as it was; the archive fuzz corpus
// replayed through the fuzz target, each input in a child process that names
// the input it fails on.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "pack/test_PackFileUtil.h"
#include "support/Corpus.h"
#include "support/TempTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace hv {
namespace {

using test::ReadPosixFile;
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
