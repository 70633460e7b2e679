// The internal packer's run: names relative to Dir, one rewrite per run, files
// that fight back; in the process, and end to end through halvora-run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "support/Process.h"
#include "test_RunFixture.h"

namespace hv {
namespace {

namespace fs = std::filesystem;
using test::ReadPosixFile;
using test::RunTree;

struct MemberBytes {
    std::string name;
    std::string raw;  // header and data as they stand in the archive
};

std::vector<MemberBytes> ReadMembers(const std::string& archive) {
    std::vector<MemberBytes> out;
    auto posix = ToPosixPath(archive);
    const std::string bytes = posix ? ReadPosixFile(*posix) : std::string();
    TPackFileObject pack;
    pack.SetArchiveName(archive);
    pack.SetActive(true);
    for (pack.ReadFirst(); !pack.EndOfArchive(); pack.ReadNext()) {
        const int64_t end = pack.MemberDataPos() + pack.MemberPackedSize();
        out.push_back({pack.MemberName(), bytes.substr(static_cast<size_t>(pack.MemberHeaderPos()),
                                                       static_cast<size_t>(end - pack.MemberHeaderPos()))});
    }
    pack.SetActive(false);
    return out;
}

// Bytes that pack poorly (and slowly): a run over them takes a while.
std::string Noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string Rows(size_t n) {
    std::string text;
    for (int i = 0; text.size() < n; ++i) text += "row " + std::to_string(i) + "\n";
    return text;
}

std::vector<std::string> Names(const std::vector<MemberBytes>& members) {
    std::vector<std::string> names;
    for (const auto& m : members) names.push_back(m.name);
    return names;
}

using InternalRun = RunTree;

// Members once carried the drive and Dir ("D:\Work\Sub\b.txt"), so a moved Dir
// duplicated every one. They are named relative to Dir now, files outside it
// by their full names; an archive made the old way is taken over: its members
// are renamed, none doubled, none lost, the unchanged ones not packed again.
TEST_F(InternalRun, StoredNamesAreRelativeToDir) {
    OldFile("d/Work/a.txt", "alpha");
    OldFile("d/Work/Sub/b.txt", "beta");
    OldFile("d/Other/c.txt", "gamma");
    CreateDir("d/Arc");
    auto p = NewProject("Docs", 1, [](THL_HalvoraProject& p) { p.AddDirectory("D:\\Other"); });
    p->MakeArchive();
    const std::string arc = "D:\\Arc\\Docs.hla";
    EXPECT_EQ(Names(ReadMembers(arc)), (std::vector<std::string>{"a.txt", "Sub\\b.txt", "D:\\Other\\c.txt"}));

    // The same files as a run before relative names stored them.
    fs::remove(Posix(arc));
    {
        CurrentDirGuard cwd;
        SetCurrentDir("D:\\Work");
        TPackFileObject old;
        old.SetArchiveName(arc);
        old.KeepDrive = true;
        old.Operation = kArcOpUpdate;
        for (const char* f : {"a.txt", "Sub\\b.txt", "D:\\Other\\c.txt"}) {
            old.SetFileName(f);
            ASSERT_EQ(old.Execute(), 0);
        }
    }
    const auto before = ReadMembers(arc);
    ASSERT_EQ(Names(before), (std::vector<std::string>{"D:\\Work\\a.txt", "D:\\Work\\Sub\\b.txt", "D:\\Other\\c.txt"}));
    test::WritePosixFile(Posix("D:\\Work\\Sub\\b.txt"), "beta, changed");
    p->MakeArchive();
    const auto after = ReadMembers(arc);
    ASSERT_EQ(Names(after), (std::vector<std::string>{"a.txt", "Sub\\b.txt", "D:\\Other\\c.txt"}));
    // a.txt: the same data under its new name.
    EXPECT_EQ(after[0].raw.substr(after[0].raw.size() - 5), "alpha");
    EXPECT_EQ(after[0].raw.size(), before[0].raw.size() - std::string("D:\\Work\\").size());
    EXPECT_EQ(after[2].raw, before[2].raw);
    // The next run has nothing to change.
    const std::string bytes = ReadFile(Posix(arc));
    p->MakeArchive();
    EXPECT_TRUE(ReadFile(Posix(arc)) == bytes);
}

// Two files whose names differ only in letter case both go in (the second once
// stopped the run with "IO error GetFileInfo") and both come out again.
TEST_F(InternalRun, CaseTwinsBothReachTheArchive) {
    const std::map<std::string, std::string> files = {
        {"twin.txt", "lower"}, {"TWIN.txt", "upper"}, {"sub/Index.html", "I"}, {"sub/index.html", "i"}};
    for (const auto& [rel, content] : files) OldFile("d/Work/" + rel, content);
    CreateDir("d/Arc");
    auto p = NewProject("Twins", 1);
    p->MakeArchive();
    EXPECT_TRUE(p->Skipped().empty());
    const auto members = ReadMembers("D:\\Arc\\Twins.hla");
    EXPECT_EQ(members.size(), files.size());
    TPackFileObject pack;
    pack.SetArchiveName("D:\\Arc\\Twins.hla");
    pack.ExtractDir = "D:\\Out";
    pack.KeepDrive = true;
    pack.Operation = kArcOpExtract;
    for (const auto& m : members) {
        pack.SetFileName(m.name);
        ASSERT_EQ(pack.Execute(), 0) << m.name;
    }
    for (const auto& [rel, content] : files) EXPECT_EQ(ReadFile(Root() + "/d/Out/" + rel), content) << rel;
}

// A file that vanishes after the scan and one whose name 1251 cannot hold no
// longer end the run: each is named (warning, output file, Skipped), the
// member the vanished one had stays, the rest is archived.
TEST_F(InternalRun, FilesThatCannotBeTakenAreNamedAndTheRunGoesOn) {
    OldFile("d/Work/a_gone.txt", "first version");
    OldFile("d/Work/b.txt", "beta");
    CreateDir("d/Arc");
    auto p = NewProject("Gone", 1);
    p->MakeArchive();
    const std::string arc = "D:\\Arc\\Gone.hla";
    const auto before = ReadMembers(arc);
    ASSERT_EQ(before.size(), 2u);

    test::WritePosixFile(Posix("D:\\Work\\a_gone.txt"), "second version");
    CreateFile("d/Work/c.txt", "new");
    CreateFile("d/Work/日本.txt", "kanji");
    // Reported by the scan, gone before the archive is written.
    p->OnFile = [&](const std::string& name, FindData&, bool&) {
        if (name == "b.txt") fs::remove(Posix("D:\\Work\\a_gone.txt"));
    };
    warnings_.clear();
    p->MakeArchive();
    std::map<std::string, std::string> skipped;
    for (const auto& s : p->Skipped()) skipped[s.name] = s.reason;
    EXPECT_EQ(skipped, (std::map<std::string, std::string>{
                           {"a_gone.txt", "файл исчез"_a},
                           {"??.txt", "имя не представимо в кодировке 1251"_a}}));
    const auto after = ReadMembers(arc);
    ASSERT_EQ(Names(after), (std::vector<std::string>{"a_gone.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(after[0].raw, before[0].raw);
    EXPECT_EQ(warnings_.size(), 2u);
    const std::string out = OemToAnsi(ReadFile(RunFile(".OUT")));
    EXPECT_NE(out.find("Пропущен файл a_gone.txt: файл исчез"_a), std::string::npos) << out;
}

// ---- end to end ------------------------------------------------------------------------

class OwnRun : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/Prog/Projects");
        CreateDir("tmp");
        CreateFile("d/Prog/halvora.ini", "[Drives]\r\nD=\"" + Root() + "/d\"\r\n\r\n"
                                         "[Configuration]\r\nMainPrjCount=0\r\n\r\n");
    }
    // A project over D:\Work\<name>, its archive in D:\Arc\<name>.
    void MakeProject(const std::string& name) {
        CreateDir("d/Work/" + name);
        CreateDir("d/Arc/" + name);
        THL_HalvoraProject p;
        p.FileName = "D:\\Prog\\Projects\\" + name + ".hlj";
        p.SetName(name);
        p.SetRootDir("D:\\Work\\" + name);
        p.IncludeAllFiles = true;
        p.IncludeSubDirs = true;
        p.SavePlaces().Add("D:\\Arc\\" + name);
        p.ArcType = 1;
        p.CompressType = 2;
        p.SaveToFile();
    }
    void SetOld(const std::string& posix) {
        auto w = ToWindowsPath(posix);
        ASSERT_TRUE(w && SetFileDate(*w, EncodeDosDateTime({2020, 5, 17, 10, 30, 0})));
    }
    test::ProcessOptions Options(bool likeAUser = false) const {
        test::ProcessOptions o;
        o.env = {{"HALVORA_HOME", Root() + "/d/Prog"}, {"TMPDIR", Root() + "/tmp"}};
        o.outputDir = Root();
        o.likeAUser = likeAUser;
        return o;
    }
    std::vector<std::string> Argv(const std::string& project) const {
        return {HALVORA_BINARY_DIR "/tools/halvora-run", project};
    }
    test::ProcessResult Run(const std::string& project, bool likeAUser = false) {
        auto r = test::RunProcess(Argv(project), Options(likeAUser));
        r.out = OemToAnsi(Utf8ToOem(r.out));
        return r;
    }
    // pkk x of the archive into a fresh directory; its POSIX path.
    std::string Restore(const std::string& archive, const std::string& dir) {
        const std::string target = CreateDir(dir);
        auto r = test::RunProcess({HALVORA_BINARY_DIR "/tools/pkk", "x", "-o", target, archive},
                                  Options());
        EXPECT_EQ(r.status, 0) << r.err;
        return target;
    }
    std::vector<std::string> Temps(const std::string& rel) {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(Root() + "/" + rel))
            if (e.path().filename().string().rfind("$pk", 0) == 0) out.push_back(e.path());
        return out;
    }
};

size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

// Names Windows never had and files that fight back, in the own format: every
// file that can be kept is restored by pkk x byte for byte, each one that
// cannot is named once, and halvora-run exits 3.
TEST_F(OwnRun, EveryFileReachesTheArchiveOrIsNamed) {
    MakeProject("E");
    const std::map<std::string, std::string> kept = {
        {"twin.txt", "lower"},        {"TWIN.txt", "upper"},       {"sub/Index.html", "I"},
        {"sub/index.html", "i"},      {"trail /in.txt", "blank"},  {"trail/in.txt", "none"},
        {".gitignore", "dot"},        {"sub/.hidden", "nested dot"},
    };
    const std::string dir = Root() + "/d/Work/E/";
    for (const auto& [rel, content] : kept) CreateFile("d/Work/E/" + rel, content);
    CreateFile("d/Work/E/café.txt", "accent");
    CreateFile("d/Work/E/日本.txt", "kanji");
    CreateFile("d/Work/E/.git/config", "not walked");
    const std::string locked = CreateFile("d/Work/E/locked.txt", "secret");
    chmod(locked.c_str(), 0);
    // A log written all through the run, long enough that every read of it sees it grow.
    CreateFile("d/Work/E/grow.log", Rows(2 << 20));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::ofstream log(dir + "grow.log", std::ios::app);
        while (!done) {
            log << "line\n" << std::flush;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    auto r = Run("E", true);
    done = true;
    writer.join();
    EXPECT_EQ(r.status, 3) << r.err << r.out;
    for (const char* name : {"locked.txt", "grow.log", "caf?.txt", "??.txt"})
        EXPECT_EQ(Count(r.out, std::string("Пропущен файл "_a) + name), 1u) << name << "\n" << r.out;
    EXPECT_NE(r.err.find(locked), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(dir + "café.txt"), std::string::npos) << r.err;

    const std::string target = Restore(Root() + "/d/Arc/E/E.hla", "restore");
    for (const auto& [rel, content] : kept) EXPECT_EQ(ReadFile(target + "/" + rel), content) << rel;
    for (const char* absent : {".git/config", "locked.txt", "grow.log"})
        EXPECT_FALSE(Exists(target + "/" + absent)) << absent;
}

// A run killed in the middle of its batch (SIGTERM, SIGKILL) leaves the old
// archive byte for byte; the next run removes what the killed one left and
// packs exactly what changed, so that every member is current afterwards.
TEST_F(OwnRun, KilledRunLeavesTheOldArchiveAndTheNextCatchesUp) {
    MakeProject("K");
    std::map<std::string, std::string> files;
    for (int i = 0; i < 400; ++i) {
        const std::string rel = "d" + std::to_string(i % 8) + "/f" + std::to_string(i) + ".dat";
        files[rel] = Noise(40000 + i, static_cast<unsigned>(i));
        SetOld(CreateFile("d/Work/K/" + rel, files[rel]));
    }
    ASSERT_EQ(Run("K").status, 0);
    const std::string arc = "D:\\Arc\\K\\K.hla";
    const auto first = ReadMembers(arc);
    ASSERT_EQ(first.size(), files.size());
    std::set<std::string> changed;
    int n = 0;
    for (auto& [rel, content] : files)
        if (n++ % 2 == 0) {
            content = Noise(41000 + n, static_cast<unsigned>(n + 1000));
            test::WritePosixFile(Root() + "/d/Work/K/" + rel, content);
            std::string name = rel;
            std::replace(name.begin(), name.end(), '/', '\\');
            changed.insert(name);
        }
    const std::string before = ReadFile(Posix(arc));
    for (int sig : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        test::ChildProcess run(Argv("K"), Options());
        // Caught while the new archive is being written.
        const bool caught = test::WaitFor(
            [&] {
                for (const auto& t : Temps("d/Arc/K")) {
                    std::error_code ec;
                    if (fs::file_size(t, ec) > (64u << 10)) return true;
                }
                return false;
            },
            60);
        ASSERT_TRUE(caught);
        run.Signal(sig);
        const auto r = run.Finish();
        if (sig == SIGKILL)
            EXPECT_EQ(r.signal, SIGKILL);
        else
            EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(ReadFile(Posix(arc)) == before);
        if (sig == SIGTERM) EXPECT_TRUE(Temps("d/Arc/K").empty());
    }
    const auto r = Run("K");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Temps("d/Arc/K").empty());
    const auto after = ReadMembers(arc);
    ASSERT_EQ(Names(after), Names(first));
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].raw == first[i].raw, changed.count(after[i].name) == 0) << after[i].name;
    const std::string target = Restore(Root() + "/d/Arc/K/K.hla", "restore");
    for (const auto& [rel, content] : files) EXPECT_TRUE(ReadFile(target + "/" + rel) == content) << rel;
}

}  // namespace
}  // namespace hv
