// Many changes in one rewrite: the batch scope, the list operations and the
// worker threads, against the one-by-one operations on the same files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

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
        a_.SetArchiveName("D:\\arc\\t.pkk");
        a_.BaseDir = "D:\\w";
    }
    // A tree of N files in a few directories: text, binary, empty, tiny, and one
    // large enough to be packed through a temporary file.
    std::vector<std::string> MakeTree(int n, unsigned seed) {
        std::vector<std::string> names;
        for (int i = 0; i < n; ++i) {
            const std::string dir = i % 3 == 0 ? "" : "sub" + std::to_string(i % 5) + "/";
            const std::string name = dir + "f" + std::to_string(i) + (i % 4 ? ".txt" : ".bin");
            const int kind = i % 6;
            std::string content = kind == 0   ? test::Noise(200 + i * 7 % 3000, seed + i)
                                  : kind == 1 ? test::Rows(1000 + i * 37 % 9000, i + 1)
                                  : kind == 2 ? std::string(i % 50, 'x')
                                  : kind == 3
                                      ? test::Rows(20000 + i % 1000, 7)
                                      : test::Rows(100 + i % 500, 3) + test::Noise(i % 300, seed);
            if (i == n / 2) content = test::Rows((1 << 20) + 4096, 11);  // over the in-memory spool
            CreateFile("d/w/" + name, content);
            std::string win = name;
            std::replace(win.begin(), win.end(), '/', '\\');
            names.push_back(win);
        }
        return names;
    }
    // The archive made of the files one operation at a time (workers 0) or in
    // one batch with that many workers.
    std::string Build(const std::string& arc, const std::vector<std::string>& files, uint8_t op,
                      int workers, const std::function<void(TPackFileObject&)>& more = nullptr) {
        TPackFileObject a;
        a.SetArchiveName(arc);
        a.BaseDir = "D:\\w";
        if (workers) a.Workers = workers, a.BeginUpdate();
        for (const auto& f : files) EXPECT_EQ(test::Run(a, op, "D:\\w\\" + f), 0) << f;
        if (more) more(a);
        if (workers) {
            EXPECT_EQ(a.Commit(), 0);
            EXPECT_TRUE(a.Skipped().empty());
        }
        return ReadPosixFile(Posix(arc));
    }
    std::string Bytes() const { return ReadPosixFile(Posix("D:\\arc\\t.pkk")); }
    bool TempLeft(const std::string& dir) { return !test::Temps(Root() + "/" + dir).empty(); }

    TPackFileObject a_;
};

// The acceptance of the batch: the same bytes as the one-by-one sequence,
// whatever the number of threads, for a new archive and for an update that
// replaces, adds and deletes.
TEST_F(PackBatch, OneRewriteGivesTheBytesOfTheOneByOneSequence) {
    const std::vector<std::string> files = MakeTree(240, 5);
    // Beside each other: the archive header holds the archive's own name.
    for (const char* d : {"seq", "b1", "b2", "b4"}) CreateDir(std::string("d/arc/") + d);
    const std::string first = Build("D:\\arc\\seq\\t.pkk", files, kArcOpAdd, 0);
    ASSERT_GT(first.size(), 100000u);
    for (int workers : {1, 2, 4}) {
        SCOPED_TRACE(workers);
        const std::string arc = "D:\\arc\\b" + std::to_string(workers) + "\\t.pkk";
        EXPECT_TRUE(WithoutDates(Build(arc, files, kArcOpAdd, workers)) == WithoutDates(first));
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
    const std::string updated = Build("D:\\arc\\seq\\t.pkk", next, kArcOpUpdate, 0, del);
    for (int workers : {1, 2, 4}) {
        SCOPED_TRACE(workers);
        const std::string arc = "D:\\arc\\b" + std::to_string(workers) + "\\t.pkk";
        EXPECT_TRUE(WithoutDates(Build(arc, next, kArcOpUpdate, workers, del)) ==
                    WithoutDates(updated));
    }
    for (const char* d : {"d/arc/seq", "d/arc/b1", "d/arc/b2", "d/arc/b4"})
        EXPECT_FALSE(TempLeft(d));
}

// Every entry of a directory of the tree, by name.
std::map<std::string, FindData> Listing(const std::string& winDir) {
    std::map<std::string, FindData> out;
    FindFile ff;
    for (bool ok = ff.First(winDir + "\\*", kAttrReadOnly | kAttrHidden | kAttrArchive); ok;
         ok = ff.Next())
        out.emplace(ff.Data().name, ff.Data());
    return out;
}

// A source that cannot be taken no longer ends the whole batch: it is named
// in Skipped with its reason, its old member stays in its place, the rest goes in.
TEST_F(PackBatch, SourcesLeftOutKeepTheirOldMembers) {
    CreateFile("d/w/keep.txt", "kept as it is");
    CreateFile("d/w/gone.txt", "the old gone");
    CreateFile("d/w/busy.log", "the old log");
    ASSERT_EQ(a_.AddFiles({"D:\\w\\gone.txt", "D:\\w\\busy.log", "D:\\w\\keep.txt"}), 0);
    const auto before = test::ListMembers(a_);

    WritePosixFile(Posix("D:\\w\\gone.txt"), "changed, then gone");
    const std::string log = CreateFile("d/w/busy.log", test::Rows(4 << 20, 3));
    CreateFile("d/w/new.txt", test::Rows(5000));
    CreateFile("d/w/café.txt", "a name 1251 cannot hold");
    fs::resize_file(CreateFile("d/w/huge.bin"), TPackFileObject::kMaxMemberSize);  // sparse
    a_.Workers = 1;  // so that the progress below comes while the log is read
    a_.BeginUpdate();
    a_.Operation = kArcOpUpdate;
    for (const auto& [name, entry] : Listing("D:\\w")) {
        a_.SetFileName("D:\\w\\" + name, entry);
        ASSERT_EQ(a_.Execute(), 0) << name;
    }
    // Gone after the scan, and a log that grows whenever it is read.
    fs::remove(Posix("D:\\w\\gone.txt"));
    a_.OnProgress = [&](TPackFileObject&, int32_t done, int32_t total) {
        if (total > 100 && done > 0) std::ofstream(log, std::ios::app) << "one more line\n";
    };
    ASSERT_EQ(a_.Commit(), 0);
    a_.OnProgress = nullptr;

    std::map<std::string, TSkipReason> skipped;
    for (const auto& s : a_.Skipped()) {
        skipped[ExtractFileName(s.FileName)] = s.Reason;
        EXPECT_NE(s.Message.find(ExtractFileName(s.FileName).substr(0, 3)), std::string::npos)
            << s.Message;
    }
    const std::map<std::string, TSkipReason> expected = {
        {"gone.txt", TSkipReason::Gone},
        {"busy.log", TSkipReason::Changed},
        {"caf?.txt", TSkipReason::BadName},
        {"huge.bin", TSkipReason::TooLarge},
    };
    EXPECT_EQ(skipped, expected);
    const auto after = test::ListMembers(a_);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[0].raw, before[0].raw);  // gone.txt as it was
    EXPECT_EQ(after[1].raw, before[1].raw);  // busy.log as it was
    EXPECT_EQ(after[2].raw, before[2].raw);  // keep.txt untouched
    EXPECT_EQ(after[3].name, "new.txt");
    EXPECT_FALSE(TempLeft("d/arc"));
}

// A batch that changes nothing - unchanged files, the comment the archive has,
// or only sources that are left out - leaves the archive file alone.
TEST_F(PackBatch, NothingChangedWritesNothing) {
    std::vector<std::string> files;
    for (const auto& f : MakeTree(20, 9)) files.push_back("D:\\w\\" + f);
    a_.SetComment("Комментарий"_a);
    ASSERT_EQ(a_.AddFiles({files[0], files[1]}), 0);
    a_.Operation = kArcOpUpdate;
    ASSERT_EQ(a_.AddFiles(files), 0);
    struct stat st1, st2;
    const std::string arc = Posix("D:\\arc\\t.pkk");
    ASSERT_EQ(stat(arc.c_str(), &st1), 0);
    const std::string bytes = Bytes();

    a_.BeginUpdate();
    a_.SetComment("Комментарий"_a);
    for (const auto& f : files) ASSERT_EQ(test::Run(a_, kArcOpUpdate, f), 0);
    // Changed, but gone before it could be read.
    WritePosixFile(Posix(files[3]), "changed");
    ASSERT_EQ(test::Run(a_, kArcOpUpdate, files[3]), 0);
    fs::remove(Posix(files[3]));
    ASSERT_EQ(a_.Commit(), 0);
    ASSERT_EQ(a_.Skipped().size(), 1u);
    ASSERT_EQ(stat(arc.c_str(), &st2), 0);
    EXPECT_EQ(st1.st_ino, st2.st_ino);
    EXPECT_EQ(st1.st_mtim.tv_nsec, st2.st_mtim.tv_nsec);
    EXPECT_TRUE(Bytes() == bytes);
    EXPECT_FALSE(TempLeft("d/arc"));
}

// A rebuild starts from no members but never loses one: a source left out
// keeps what the old archive had of it; a damaged old archive is replaced.
TEST_F(PackBatch, RebuildKeepsTheMemberOfASourceLeftOut) {
    CreateFile("d/w/a.txt", "alpha");
    CreateFile("d/w/b.txt", "beta");
    CreateFile("d/w/old.txt", "no longer selected");
    ASSERT_EQ(a_.AddFiles({"D:\\w\\old.txt", "D:\\w\\a.txt", "D:\\w\\b.txt"}), 0);
    const auto before = test::ListMembers(a_);
    a_.BeginUpdate(true);
    for (const char* f : {"D:\\w\\b.txt", "D:\\w\\a.txt"})
        ASSERT_EQ(test::Run(a_, kArcOpUpdate, f), 0);
    fs::remove(Posix("D:\\w\\a.txt"));
    ASSERT_EQ(a_.Commit(), 0);
    auto after = test::ListMembers(a_);
    ASSERT_EQ(test::Names(after), (std::vector<std::string>{"b.txt", "a.txt"}));
    EXPECT_EQ(after[1].raw, before[1].raw);  // kept from the old archive
    ASSERT_EQ(a_.Skipped().size(), 1u);

    // A damaged member no longer blocks a rebuild; an update it blocks.
    std::string bytes = Bytes();
    bytes[static_cast<size_t>(after[1].headerPos)] = 0;
    WritePosixFile(Posix("D:\\arc\\t.pkk"), bytes);
    EXPECT_THROW(a_.BeginUpdate(), EArchiveObjectError);
    EXPECT_EQ(a_.ResultCode(), kArcBadFileHeader);
    a_.BeginUpdate(true);
    ASSERT_EQ(test::Run(a_, kArcOpUpdate, "D:\\w\\b.txt"), 0);
    ASSERT_EQ(a_.Commit(), 0);
    EXPECT_EQ(test::Names(test::ListMembers(a_)), std::vector<std::string>{"b.txt"});
}

// What a killed run left ("$pk....tmp" that nobody holds) goes when the next
// batch begins; one that a live object holds stays.
TEST_F(PackBatch, StaleTemporaryFilesGoLiveOnesStay) {
    CreateFile("d/arc/$pk0001.tmp", "left by a killed run");
    const std::string live = CreateFile("d/arc/$pk0002.tmp", "in use");
    File held;
    ASSERT_TRUE(held.Open("D:\\arc\\$pk0002.tmp", OpenMode::Read, ShareMode::Exclusive));
    CreateFile("d/w/a.txt", "alpha");
    a_.BeginUpdate();
    EXPECT_FALSE(Exists(Root() + "/d/arc/$pk0001.tmp"));
    EXPECT_TRUE(Exists(live));
    a_.CancelUpdate();
    EXPECT_FALSE(Exists(Posix("D:\\arc\\t.pkk")));  // a batch creates nothing before Commit
}

// While an operation runs, the archive may not be renamed, opened or closed
// under it (the browser's windows rely on the refusal), nor during a batch.
TEST_F(PackBatch, BusyArchiveRefusesNameOpenAndClose) {
    CreateFile("d/w/a.txt", test::Rows(200000));
    std::vector<int> codes;
    auto code = [&](const std::function<void()>& f) {
        try {
            f();
            codes.push_back(0);
        } catch (const EArchiveObjectError& e) {
            codes.push_back(e.Code());
        }
    };
    a_.OnProgress = [&](TPackFileObject& sender, int32_t done, int32_t total) {
        if (!codes.empty() || done == 0 || done >= total) return;
        code([&] { sender.SetArchiveName("D:\\arc\\other.pkk"); });
        code([&] { sender.SetActive(!sender.Active()); });
        code([&] { sender.Execute(); });
    };
    ASSERT_EQ(test::Run(a_, kArcOpAdd, "D:\\w\\a.txt"), 0);
    EXPECT_EQ(codes, (std::vector<int>{kArcBusy, kArcBusy, kArcBusy}));
    EXPECT_EQ(a_.ArchiveName(), "D:\\arc\\t.pkk");
    a_.OnProgress = nullptr;
    codes.clear();
    a_.BeginUpdate();
    code([&] { a_.SetArchiveName("D:\\arc\\other.pkk"); });
    code([&] { a_.SetActive(false); });
    code([&] { a_.ExtractMembers({"a.txt"}); });
    EXPECT_EQ(codes, (std::vector<int>{kArcBusy, kArcBusy, kArcBusy}));
    a_.CancelUpdate();
    a_.SetArchiveName("D:\\arc\\other.pkk");
}

// "Stop" pressed while an operation reports its start, or while the workers
// pack, ends that operation: the add, the list add and the extraction leave
// everything as it was and no temporary file (spools included) behind.
TEST_F(PackBatch, StopAtTheFirstReportHolds) {
    CreateFile("d/w/a.txt", test::Rows(300000));
    CreateFile("d/w/b.txt", test::Rows(200000, 3));
    std::vector<std::string> noise;
    for (int i = 0; i < 6; ++i) {
        CreateFile("d/w/n" + std::to_string(i) + ".bin", test::Noise(2 << 20, 40 + i));
        noise.push_back("D:\\w\\n" + std::to_string(i) + ".bin");
    }
    ASSERT_EQ(test::Run(a_, kArcOpAdd, "D:\\w\\b.txt"), 0);
    const std::string before = Bytes();
    a_.ExtractDir = "D:\\out";
    struct Row {
        const char* name;
        int workers;  // 0: stopped at each start, as the window asks again; else once, packing
        std::function<int()> op;
    } rows[] = {
        {"add", 0, [&] { return test::Run(a_, kArcOpAdd, "D:\\w\\a.txt"); }},
        {"list add", 0, [&] { return a_.AddFiles({"D:\\w\\a.txt"}); }},
        {"extract", 0, [&] { return test::Run(a_, kArcOpExtract, "b.txt"); }},
        {"one worker packing", 1, [&] { return a_.AddFiles(noise); }},
        {"two workers packing", 2, [&] { return a_.AddFiles(noise); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        int stops = 0;
        a_.Workers = std::max(r.workers, 1);
        a_.OnProgress = [&](TPackFileObject& sender, int32_t done, int32_t total) {
            if (r.workers ? total > 100 && stops++ == 0 : done == 0) sender.Stop(true);
        };
        a_.Operation = kArcOpAdd;
        EXPECT_EQ(r.op(), kPackStopped);
        EXPECT_FALSE(a_.Updating());
        EXPECT_TRUE(Bytes() == before);
        EXPECT_FALSE(TempLeft("d/arc"));
        EXPECT_FALSE(Exists(Root() + "/d/out/b.txt"));
    }
}

// Extraction of a list: one pass, any number of threads, the same files; all
// names must be there first; the first member that fails ends it as the
// one-by-one loop would; a stop leaves no partial file.
TEST_F(PackBatch, ExtractingAListEndsAsTheOneByOneLoop) {
    const std::vector<std::string> files = MakeTree(60, 21);
    std::vector<std::string> full;
    for (const auto& f : files) full.push_back("D:\\w\\" + f);
    ASSERT_EQ(a_.AddFiles(full), 0);
    const std::vector<std::string> names = a_.MemberNames();
    ASSERT_EQ(names.size(), files.size());
    for (int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        const std::string out = "D:\\out" + std::to_string(workers);
        a_.Workers = workers;
        a_.ExtractDir = out;
        int32_t lastDone = -1, lastTotal = 0;
        a_.OnProgress = [&](TPackFileObject&, int32_t done, int32_t total) {
            if (total > 100) lastDone = done, lastTotal = total;
        };
        ASSERT_EQ(a_.ExtractMembers(names), 0);
        EXPECT_GT(lastTotal, 0);
        EXPECT_EQ(lastDone, lastTotal);
        for (const auto& f : files)
            ASSERT_TRUE(ReadPosixFile(Posix(out + "\\" + f)) == ReadPosixFile(Posix("D:\\w\\" + f)))
                << f;
        a_.OnProgress = nullptr;

        // A name that is not there: nothing is extracted at all.
        const std::string out2 = out + "x";
        a_.ExtractDir = out2;
        a_.RaiseErrors = false;
        EXPECT_EQ(a_.ExtractMembers({names[0], "nothing.txt", names[1]}), kArcNotFound);
        EXPECT_FALSE(Exists(Posix(out2)));

        // The 30th member's target is taken: the ones before it come out, none after.
        const std::string taken = Posix(out2 + "\\" + names[29]);
        fs::create_directories(fs::path(taken).parent_path());
        WritePosixFile(taken, "taken");
        EXPECT_EQ(a_.ExtractMembers(names), kArcExists);
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string p = Posix(out2 + "\\" + names[i]);
            EXPECT_TRUE(i == 29 ? ReadPosixFile(p) == "taken" : Exists(p) == (i < 29)) << p;
        }
        a_.RaiseErrors = true;
    }
    // Stopped: complete files may stay, a partial one never.
    CreateFile("d/w/big.bin", test::Noise(1 << 20, 77));
    ASSERT_EQ(test::Run(a_, kArcOpAdd, "D:\\w\\big.bin"), 0);
    a_.ExtractDir = "D:\\stopped";
    a_.OnProgress = [&](TPackFileObject& sender, int32_t done, int32_t total) {
        if (total > 100 && done > 0) sender.Stop(true);
    };
    a_.Workers = 1;
    EXPECT_EQ(a_.ExtractMembers({"big.bin"}), kPackStopped);
    EXPECT_FALSE(Exists(Posix("D:\\stopped\\big.bin")));
}

}  // namespace
}  // namespace hv
