// Many changes in one rewrite: the batch scope, the list operations and the
// worker threads, against the one-by-one operations on the same files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "pack/test_PackFileUtil.h"
#include "platform/AnsiLiteral.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace hv {
namespace {

namespace fs = std::filesystem;
using test::ReadPosixFile;
using test::WritePosixFile;

// The archive without the archive header's two dates (bytes 14..21).
std::string WithoutDates(std::string bytes) {
    if (bytes.size() >= 22) std::fill(bytes.begin() + 14, bytes.begin() + 22, '\0');
    return bytes;
}

class PackBatch : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/w");
        CreateDir("d/arc");
    }
    // A tree of N files in a few directories: text, binary, empty, tiny, and one
    // large enough to be packed through a temporary file.
    std::vector<std::string> MakeTree(int n, unsigned seed) {
        std::vector<std::string> names;
        for (int i = 0; i < n; ++i) {
            const std::string dir = i % 3 == 0 ? "" : "sub" + std::to_string(i % 5) + "/";
            const std::string name = dir + "f" + std::to_string(i) + (i % 4 ? ".txt" : ".bin");
            std::string content;
            switch (i % 6) {
                case 0: content = test::Noise(200 + i * 7 % 3000, seed + i); break;
                case 1: content = test::Rows(1000 + i * 37 % 9000, i + 1); break;
                case 2: content = std::string(i % 50, 'x'); break;
                case 3: content = test::Rows(20000 + i % 1000, 7); break;
                default: content = test::Rows(100 + i % 500, 3) + test::Noise(i % 300, seed); break;
            }
            if (i == n / 2) content = test::Rows(1 << 21, 11);  // over the in-memory spool
            CreateFile("d/w/" + name, content);
            std::string win = name;
            std::replace(win.begin(), win.end(), '/', '\\');
            names.push_back(win);
        }
        return names;
    }
    // An archive of the given files made one operation at a time.
    std::string OneByOne(const std::string& arc, const std::vector<std::string>& files, uint8_t op,
                         const std::function<void(TPackFileObject&)>& more = nullptr) {
        TPackFileObject a;
        a.SetArchiveName(arc);
        a.BaseDir = "D:\\w";
        for (const auto& f : files) EXPECT_EQ(test::Run(a, op, "D:\\w\\" + f), 0) << f;
        if (more) more(a);
        return ReadPosixFile(Posix(arc));
    }
    std::string Batched(const std::string& arc, const std::vector<std::string>& files, uint8_t op,
                        int workers, const std::function<void(TPackFileObject&)>& more = nullptr) {
        TPackFileObject a;
        a.SetArchiveName(arc);
        a.BaseDir = "D:\\w";
        a.Workers = workers;
        a.BeginUpdate();
        a.Operation = op;
        for (const auto& f : files) {
            a.SetFileName("D:\\w\\" + f);
            EXPECT_EQ(a.Execute(), 0) << f;
        }
        if (more) more(a);
        EXPECT_EQ(a.Commit(), 0);
        EXPECT_TRUE(a.Skipped().empty());
        return ReadPosixFile(Posix(arc));
    }
    bool TempLeft(const std::string& dir) { return !test::Temps(Root() + "/" + dir).empty(); }
};

// The acceptance of the batch: the same bytes as the one-by-one sequence,
// whatever the number of threads, for a new archive and for an update that
// replaces, adds and deletes.
TEST_F(PackBatch, OneRewriteGivesTheBytesOfTheOneByOneSequence) {
    const std::vector<std::string> files = MakeTree(240, 5);
    // Beside each other: the archive header holds the archive's own name.
    for (const char* d : {"seq", "b1", "b2", "b4"}) CreateDir(std::string("d/arc/") + d);
    const std::string first = OneByOne("D:\\arc\\seq\\t.pkk", files, kArcOpAdd);
    ASSERT_GT(first.size(), 100000u);
    for (int workers : {1, 2, 4}) {
        SCOPED_TRACE(workers);
        const std::string arc = "D:\\arc\\b" + std::to_string(workers) + "\\t.pkk";
        EXPECT_TRUE(WithoutDates(Batched(arc, files, kArcOpAdd, workers)) == WithoutDates(first));
    }
    // Change a third of the files, add some, and delete one member, each way.
    for (size_t i = 0; i < files.size(); i += 3)
        WritePosixFile(Posix("D:\\w\\" + files[i]), test::Rows(500 + i, 13));
    std::vector<std::string> next = files;
    for (int i = 0; i < 12; ++i) {
        CreateFile("d/w/new/n" + std::to_string(i) + ".txt", test::Rows(3000 + i, 17));
        next.push_back("new\\n" + std::to_string(i) + ".txt");
    }
    const auto del = [&](TPackFileObject& a) {
        a.Operation = kArcOpDelete;
        a.SetFileName(files[7]);
        EXPECT_EQ(a.Execute(), 0);
    };
    const std::string updated = OneByOne("D:\\arc\\seq\\t.pkk", next, kArcOpUpdate, del);
    for (int workers : {1, 2, 4}) {
        SCOPED_TRACE(workers);
        const std::string arc = "D:\\arc\\b" + std::to_string(workers) + "\\t.pkk";
        EXPECT_TRUE(WithoutDates(Batched(arc, next, kArcOpUpdate, workers, del)) ==
                    WithoutDates(updated));
    }
    for (const char* d : {"d/arc/seq", "d/arc/b1", "d/arc/b2", "d/arc/b4"}) EXPECT_FALSE(TempLeft(d));
}

}  // namespace
}  // namespace hv
