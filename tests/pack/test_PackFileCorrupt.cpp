// Damaged archives: every one ends in a clear negative code, nothing crashes,
// and the damaged file is left exactly as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "pack/test_PackFileUtil.h"
#include "support/TempTree.h"

namespace hv {
namespace {

namespace fs = std::filesystem;
using test::ReadPosixFile;
using test::WritePosixFile;

void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A hand-made ARJ archive: main header, one stored member, end.
std::string ArjArchive(const std::string& name, const std::string& data) {
    auto header = [](uint8_t fileType, const std::string& text, uint32_t size) {
        std::string basic(30, '\0');
        basic[0] = 30;
        basic[1] = 11;
        basic[2] = 1;
        basic[6] = static_cast<char>(fileType);
        if (fileType != 2) {
            Put32(basic, 12, size);
            Put32(basic, 16, size);
        }
        basic += text + std::string(1, '\0') + std::string(1, '\0');
        std::string h("\x60\xEA", 2);
        h += std::string(2, '\0');
        Put16(h, 2, static_cast<uint16_t>(basic.size()));
        return h + basic + std::string(4, '\0') + std::string(2, '\0');
    };
    return header(2, "x.arj", 0) + header(0, name, static_cast<uint32_t>(data.size())) + data +
           std::string("\x60\xEA\x00\x00", 4);
}

class CorruptArchive : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/w");
        std::string text;
        for (int i = 0; text.size() < 60000; ++i) text += "line " + std::to_string(i) + "\n";
        CreateFile("d/w/a.txt", "alpha");
        CreateFile("d/w/text.txt", text);
        CreateFile("d/w/c.txt", "gamma");
        CreateFile("d/w/new.txt", "new");
        TPackFileObject a;
        a.SetArchiveName("D:\\w\\t.pkk");
        a.Operation = kArcOpAdd;
        for (const char* n : {"a.txt", "text.txt", "c.txt"}) {
            a.SetFileName(std::string("D:\\w\\") + n);
            a.Execute();
        }
        members_ = test::ListMembers(a);
        ASSERT_EQ(members_.size(), 3u);
        ASSERT_EQ(members_[1].method, kMethodPacked);
        valid_ = ReadPosixFile(Posix("D:\\w\\t.pkk"));
    }
    size_t At(int member, size_t offset = 0) const {
        return static_cast<size_t>(members_[member].headerPos) + offset;
    }
    bool TempLeft() {
        for (auto& e : fs::directory_iterator(Root() + "/d/w"))
            if (e.path().filename().string().rfind("$pk", 0) == 0) return true;
        return false;
    }

    std::vector<test::Member> members_;
    std::string valid_;
};

// Runs the operation with errors returned, not raised.
int RunOp(TPackFileObject& a, uint8_t op, const std::string& name) {
    a.RaiseErrors = false;
    a.Operation = op;
    a.SetFileName(name);
    try {
        return a.Execute();
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

TEST_F(CorruptArchive, EveryDamageIsReportedAndNothingChanges) {
    const size_t nameEnd = 38 + 5;  // terminator of the archive's own name "t.pkk"
    struct Row {
        const char* name;
        std::function<void(std::string&)> damage;
        int listCode;     // 0: lists fine
        int changeCode;   // add, delete and comment change
        int extractCode;  // of the member "text.txt" (intact before the damage: 0); 1: any negative
                          // code
    } rows[] = {
        {"archive header id", [](std::string& b) { b[0] = 0; }, kArcBadHeader, kArcOtherType,
         kArcBadHeader},
        {"archive version", [](std::string& b) { b[5] = 1; }, kArcBadHeader, kArcOtherType,
         kArcBadHeader},
        {"archive header size", [](std::string& b) { Put16(b, 2, 4000); }, kArcBadHeader,
         kArcOtherType, kArcBadHeader},
        {"archive header size huge", [](std::string& b) { Put16(b, 2, 0xFFFF); }, kArcBadHeader,
         kArcOtherType, kArcBadHeader},
        {"archive texts unterminated",
         [&](std::string& b) {
             b[nameEnd] = 'x';
             b[nameEnd + 1] = 'y';
         },
         kArcBadHeader, kArcOtherType, kArcBadHeader},
        {"empty file", [](std::string& b) { b.clear(); }, kArcBadHeader, kArcOtherType,
         kArcBadHeader},
        {"header only", [](std::string& b) { b.resize(45); }, kArcCorrupted, kArcCorrupted,
         kArcCorrupted},
        {"member id", [&](std::string& b) { b[At(1)] = 0; }, kArcBadFileHeader, kArcBadFileHeader,
         kArcBadFileHeader},
        {"member version", [&](std::string& b) { b[At(1, 6)] = 2; }, kArcBadFileHeader,
         kArcBadFileHeader, kArcBadFileHeader},
        {"member header size huge", [&](std::string& b) { Put16(b, At(1, 2), 0xFFFF); },
         kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"member header size tiny", [&](std::string& b) { Put16(b, At(1, 2), 20); },
         kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"first header size past the header",
         [&](std::string& b) { b[At(1, 4)] = static_cast<char>(250); }, kArcBadFileHeader,
         kArcBadFileHeader, kArcBadFileHeader},
        {"member name runs into the data",
         [&](std::string& b) {
             b[At(1, 52 + 8)] = 'x';
             b[At(1, 52 + 9)] = 'x';
         },
         kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"packed size past the end", [&](std::string& b) { Put32(b, At(0, 26), 0xFFFFFFF0u); },
         kArcCorrupted, kArcCorrupted, kArcCorrupted},
        {"packed size into the next header", [&](std::string& b) { Put32(b, At(0, 26), 5 + 3); },
         kArcBadFileHeader, kArcBadFileHeader, kArcBadFileHeader},
        {"cut inside a header", [&](std::string& b) { b.resize(At(2, 10)); }, kArcCorrupted,
         kArcCorrupted, 0},
        {"cut inside packed data", [&](std::string& b) { b.resize(At(1, 200)); }, kArcCorrupted,
         kArcCorrupted, kArcCorrupted},
        {"end marker missing", [](std::string& b) { b.resize(b.size() - 4); }, kArcCorrupted,
         kArcCorrupted, 0},
        {"end marker damaged", [](std::string& b) { b[b.size() - 2] = 1; }, kArcCorrupted,
         kArcCorrupted, 0},
        {"packed data damaged",
         [&](std::string& b) {
             for (int i = 0; i < 16; ++i) b[At(1, 200 + i)] ^= 0x5A;
         },
         0, 0, 1},
        // The stream itself says how long it is; a header claiming more is caught there.
        {"unpacked size larger than the stream",
         [&](std::string& b) { Put32(b, At(1, 22), 0x7FFFFFF0u); }, 0, 0, kPackBadLength},
        {"unpacked size smaller than the stream",
         [&](std::string& b) { Put32(b, At(1, 22), members_[1].unpacked - 1); }, 0, 0,
         kPackBadLength},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string bytes = valid_;
        r.damage(bytes);
        const std::string arcPosix = Posix("D:\\w\\t.pkk");
        WritePosixFile(arcPosix, bytes);
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
        int code = RunOp(a, kArcOpExtract, "text.txt");
        const std::string out = Posix("D:\\out\\text.txt");
        if (r.extractCode == 1) {
            EXPECT_LT(code, 0);
        } else {
            EXPECT_EQ(code, r.extractCode);
        }
        if (code == 0) {
            EXPECT_EQ(ReadPosixFile(out), ReadPosixFile(Posix("D:\\w\\text.txt")));
            fs::remove(out);
        }
        EXPECT_FALSE(Exists(out));  // no partial file after a failure
        a.SetActive(false);
        EXPECT_EQ(ReadPosixFile(arcPosix), bytes);
        EXPECT_FALSE(TempLeft());
    }
}

TEST_F(CorruptArchive, DamagedArjHeaders) {
    std::string good = ArjArchive("a.txt", "alpha");
    const size_t local = 4 + 37 + 6;  // after the main header
    struct Row {
        const char* name;
        std::function<void(std::string&)> damage;
        int listCode;
    } rows[] = {
        {"intact", [](std::string&) {}, 0},
        {"main header too large", [](std::string& b) { Put16(b, 2, 2295); }, kArcBadHeader},
        {"main header not type 2", [](std::string& b) { b[10] = 0; }, kArcBadHeader},
        {"local header too small", [&](std::string& b) { Put16(b, local + 2, 10); },
         kArcBadFileHeader},
        {"local header past the end", [&](std::string& b) { Put16(b, local + 2, 2000); },
         kArcCorrupted},
        {"packed size past the end", [&](std::string& b) { Put32(b, local + 16, 0xFFFFFFFFu); },
         kArcCorrupted},
        {"extension header past the end",
         [&](std::string& b) { Put16(b, local + 4 + 37 + 4, 2000); }, kArcCorrupted},
        {"extension header too large", [&](std::string& b) { Put16(b, local + 4 + 37 + 4, 2301); },
         kArcBadFileHeader},
        {"first header size past the header", [&](std::string& b) { b[local + 4] = 27; },
         kArcBadFileHeader},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string bytes = good;
        r.damage(bytes);
        WritePosixFile(Posix("D:\\w\\x.arj"), bytes);
        TPackFileObject a;
        a.SetArchiveName("D:\\w\\x.arj");
        EXPECT_EQ(ListCode(a), r.listCode);
        EXPECT_EQ(RunOp(a, kArcOpAdd, "D:\\w\\new.txt"), kArcOtherType);
        int code = RunOp(a, kArcOpExtract, "a.txt");
        EXPECT_TRUE(code == kArcOtherType || code == r.listCode) << code;
        a.SetActive(false);
        EXPECT_EQ(ReadPosixFile(Posix("D:\\w\\x.arj")), bytes);
    }
}

}  // namespace
}  // namespace hv
