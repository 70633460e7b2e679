// halvora-run end to end: a settings file, project files, the real arj and
// zip, and the own format restored by pkk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "pack/test_PackFileUtil.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace hv {
namespace {

// A project's archiver (the settings' names clash with the container's codes).
enum : uint8_t { kNoArchiver = 0, kOwnFormat = 1, kArj = 2, kZip = 3 };

struct Shape {
    std::vector<std::string> deps = {};
    bool places = true;
    uint8_t arcType = kArj;
    bool makeDirs = false;
    bool subDirs = false;
};

class HalvoraRun : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/Prog/Projects");
        CreateDir("tmp");
        // As the README shows it: only D: is mapped, C: stays the whole file system.
        settings_ = "[Drives]\r\nD=\"" + Root() + "/d\"\r\n\r\n";
    }
    // A project over D:\Work\<name> with one old file, archive in D:\Arc\<name>,
    // copy in D:\Copy\<name>; the places are made unless MakeDirs asks the run to.
    void MakeProject(const std::string& name, const Shape& shape = {}) {
        const std::string file =
            CreateFile("d/Work/" + name + "/data.txt", "data of " + name + "\n");
        SetOld(file);
        if (!shape.makeDirs) {
            CreateDir("d/Arc/" + name);
            CreateDir("d/Copy/" + name);
        }
        THL_HalvoraProject p;
        p.FileName = "D:\\Prog\\Projects\\" + name + ".hlj";
        p.SetName(name);
        p.SetRootDir("D:\\Work\\" + name);
        p.IncludeAllFiles = true;
        p.IncludeSubDirs = shape.subDirs;
        if (shape.places) {
            p.SavePlaces().Add("D:\\Arc\\" + name);
            p.SavePlaces().Add("D:\\Copy\\" + name);
        }
        for (const auto& d : shape.deps) p.Projects().Add(d + ".hlj");
        p.ArcType = shape.arcType;
        p.CompressType = 2;
        p.MakeSaveDirectories = shape.makeDirs;
        p.SaveToFile();
    }
    void SetList(const std::vector<std::pair<std::string, bool>>& entries) {
        std::string s = settings_ +
                        "[Configuration]\r\nMainPrjCount=" + std::to_string(entries.size()) +
                        "\r\n\r\n";
        for (size_t i = 0; i < entries.size(); ++i)
            s += "[PrjInfo" + std::to_string(i) +
                 "]\r\nChecked=" + (entries[i].second ? "1" : "0") + "\r\nFile=\"" +
                 entries[i].first + ".hlj\"\r\n\r\n";
        CreateFile("d/Prog/halvora.ini", s);
    }
    // An arj that takes its time before it starts, so that a run can be caught at work.
    void SlowArchiver() {
        CreateFile("bin/arj", "#!/bin/sh\nsleep 1\nexec /usr/bin/arj \"$@\"\n");
        chmod((Root() + "/bin/arj").c_str(), 0755);
    }
    test::ProcessOptions Options(rlim_t fileSizeLimit = 0, bool likeAUser = false) const {
        test::ProcessOptions o;
        o.env = {{"HALVORA_HOME", Root() + "/d/Prog"},
                 {"TMPDIR", Root() + "/tmp"},
                 {"PATH", Root() + "/bin:" + std::string(getenv("PATH"))}};
        o.outputDir = Root();
        o.fileSizeLimit = fileSizeLimit;
        o.likeAUser = likeAUser;
        return o;
    }
    std::vector<std::string> Argv(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{HALVORA_BINARY_DIR "/tools/halvora-run"};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    test::ProcessResult Run(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0,
                            bool likeAUser = false) {
        auto r = test::RunProcess(Argv(args), Options(fileSizeLimit, likeAUser));
        r.out = OemToAnsi(Utf8ToOem(r.out));
        return r;
    }
    bool Has(const std::string& rel) { return Exists(Root() + "/" + rel); }
    // Inode and time to the nanosecond: a rewritten file is another file.
    std::pair<ino_t, int64_t> Stamp(const std::string& rel) {
        struct stat st {};
        EXPECT_EQ(stat((Root() + "/" + rel).c_str(), &st), 0) << rel;
        return {st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }
    bool ArjOfThisTreeRuns() { return test::ProcessRuns("[a]rj .*" + Root()); }

    std::string settings_;
};

size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

TEST_F(HalvoraRun, CheckedRunsDependenciesOnceAndFailsForAProjectWithoutPlaces) {
    MakeProject("A", {{"B"}});
    MakeProject("B", {{"A"}});
    MakeProject("C", {.places = false});
    MakeProject("D");
    SetList({{"A", true}, {"B", false}, {"C", true}, {"D", false}});
    auto r = Run({"--checked"});
    // C built nothing: the run must not pass for a good one.
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has("d/Arc/A/A.ARJ") && Has("d/Arc/B/B.ARJ"));
    EXPECT_TRUE(Has("d/Copy/A/A.ARJ") && Has("d/Copy/B/B.ARJ"));
    EXPECT_FALSE(Has("d/Arc/D/D.ARJ"));
    EXPECT_NE(r.err.find("Не определены пути сохранения файла архива"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("C: FAILED"), std::string::npos) << r.err;
    // Both header blocks, A's first.
    EXPECT_EQ(Count(r.out, "Halvora DOS output file"), 2u) << r.out;
    EXPECT_LT(r.out.find("A.ARJ"), r.out.find("B.ARJ"));

    // Unchanged (the files are older than the archives): nothing is built, nothing said.
    const auto a0 = Stamp("d/Arc/A/A.ARJ"), b0 = Stamp("d/Arc/B/B.ARJ");
    auto same = Run({"A"});
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.err.find("Формирование архива"), std::string::npos) << same.err;
    EXPECT_EQ(same.out.find("Halvora DOS output file"), std::string::npos) << same.out;
    EXPECT_EQ(Stamp("d/Arc/A/A.ARJ"), a0);
    EXPECT_EQ(Stamp("d/Arc/B/B.ARJ"), b0);
    // A rebuild applies to the named project only.
    auto rebuilt = Run({"--rebuild", "A"});
    ASSERT_EQ(rebuilt.status, 0) << rebuilt.err;
    EXPECT_NE(Stamp("d/Arc/A/A.ARJ"), a0);
    EXPECT_EQ(Stamp("d/Arc/B/B.ARJ"), b0);
    EXPECT_FALSE(Has("d/Arc/A/HVNEW.TMP"));
}

// A new machine: the drive map names D: only, the storage places do not exist yet.
TEST_F(HalvoraRun, FirstRunMakesTheStoragePlacesItMayMake) {
    MakeProject("A", {.makeDirs = true});
    MakeProject("N");
    rmdir((Root() + "/d/Arc/N").c_str());
    SetList({});
    auto r = Run({"--rebuild", "A"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has("d/Arc/A/A.ARJ") && Has("d/Copy/A/A.ARJ"));
    // Without leave to make it, a missing build place stops the run before the archiver starts.
    auto n = Run({"N"});
    EXPECT_EQ(n.status, 1);
    EXPECT_NE(n.err.find("Директорий отсутствует: D:\\Arc\\N"), std::string::npos) << n.err;
    EXPECT_EQ(n.out.find("N.ARJ"), std::string::npos) << n.out;
}

// Every failure ends with exit 1 and names its cause; wrong usage ends with 2.
TEST_F(HalvoraRun, FailuresEndWithExitOneAndTheirCause) {
    struct Row {
        const char* name;
        std::function<void()> setUp;
        std::vector<std::string> args;
        std::string cause;
        rlim_t fileSizeLimit = 0;
    };
    const std::vector<Row> rows = {
        {"ArchiverCannotWrite",
         [this] {
             MakeProject("W");
             // Random bytes do not pack: the archive outgrows the writes allowed.
             SetOld(CreateFile("d/Work/W/noise.bin", test::Noise(200000, 7)));
         },
         {"W"},
         "Архиватор завершился с ошибкой",
         100000},
        {"NotAProject",
         [this] { CreateFile("d/Prog/Projects/Junk.hlj", "[***  This is Halvora Project File"); },
         {"Junk"},
         "Junk.hlj не является проектом"},
        {"GarbageDependency",
         [this] {
             MakeProject("G", {{"Junk"}});
             CreateFile("d/Prog/Projects/Junk.hlj",
                        std::string("\x7f"
                                    "ELF\x02\x01\x01 random bytes, no project",
                                    40));
         },
         {"G"},
         "Junk.hlj не является проектом"},
        {"UndefinedArchiver",
         [this] { MakeProject("U", {.arcType = kNoArchiver}); },
         {"U"},
         "Не определен тип архиватора"},
        {"DeletedSource",
         [this] {
             MakeProject("X");
             std::remove((Root() + "/d/Work/X/data.txt").c_str());
             rmdir((Root() + "/d/Work/X").c_str());
         },
         {"X"},
         "Директорий отсутствует: D:\\Work\\X"},
        {"NothingChecked", [this] { MakeProject("Q"); }, {"--checked"}, "no checked project"},
        {"MissingProject", [] {}, {"Nothing"}, "Не найден файл проекта"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetList({});
        row.setUp();
        auto r = Run(row.args, row.fileSizeLimit);
        EXPECT_EQ(r.status, 1) << r.err;
        // The causes are UTF-8 here: raw 1251 bytes on the terminal would not match.
        EXPECT_NE(r.err.find(row.cause), std::string::npos) << r.err;
    }
    // The garbage dependency is named, and the project that depends on it was still built.
    EXPECT_TRUE(Has("d/Arc/G/G.ARJ"));
    EXPECT_FALSE(Has("d/Arc/W/W.ARJ"));
    EXPECT_EQ(Run({"--checked", "A"}).status, 2);  // wrong usage
}

TEST_F(HalvoraRun, StoppedOrKilledRebuildKeepsThePreviousArchiveAndCopies) {
    MakeProject("A");
    SetList({});
    ASSERT_EQ(Run({"A"}).status, 0);
    const std::string before = ReadFile(Root() + "/d/Arc/A/A.ARJ");
    const std::string copyBefore = ReadFile(Root() + "/d/Copy/A/A.ARJ");
    SlowArchiver();
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        test::ChildProcess run(Argv({"--rebuild", "A"}), Options());
        ASSERT_TRUE(test::WaitFor([&] { return ArjOfThisTreeRuns(); }, 20));
        run.Signal(sig);
        auto r = run.Finish();
        EXPECT_TRUE(sig == SIGKILL ? r.signal == SIGKILL : r.status == 1) << r.err;
        // What a killed run left running finishes into its own directory.
        ASSERT_TRUE(sig != SIGKILL || test::WaitFor([&] { return !ArjOfThisTreeRuns(); }, 20));
        EXPECT_FALSE(ArjOfThisTreeRuns()) << "an arj process is left";
        EXPECT_TRUE(ReadFile(Root() + "/d/Arc/A/A.ARJ") == before);
        EXPECT_TRUE(ReadFile(Root() + "/d/Copy/A/A.ARJ") == copyBefore);
    }
    // The next run clears what the killed one left.
    std::remove((Root() + "/bin/arj").c_str());
    ASSERT_EQ(Run({"--rebuild", "A"}).status, 0);
    EXPECT_FALSE(Has("d/Arc/A/HVNEW.TMP"));
    EXPECT_FALSE(Has("d/Arc/A/ARJTEMP.$00"));
}

TEST_F(HalvoraRun, TwoRunsAtOnceNeverBothRun) {
    MakeProject("A");
    MakeProject("B");
    SetList({});
    SlowArchiver();
    test::ChildProcess first(Argv({"--rebuild", "A"}), Options());
    ASSERT_TRUE(test::WaitFor([&] { return ArjOfThisTreeRuns(); }, 20));
    auto refused = Run({"B"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Проекты уже выполняются"), std::string::npos) << refused.err;
    EXPECT_FALSE(Has("d/Arc/B/B.ARJ"));
    // Waiting instead, the second run starts when the first has ended.
    auto waited = Run({"--wait", "B"});
    EXPECT_EQ(waited.status, 0) << waited.err;
    auto r = first.Finish();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has("d/Arc/A/A.ARJ") && Has("d/Arc/B/B.ARJ"));
    EXPECT_EQ(Count(waited.out, "Halvora DOS output file"), 1u) << waited.out;
}

// Names Windows never had, and files that fight back: every file that can be
// kept reaches the archive and comes back out of it; each of the rest is named
// once, and the run exits 3.
TEST_F(HalvoraRun, EveryFileReachesTheBackupOrIsNamed) {
    const std::map<std::string, std::string> kept = {
        {"twin.txt", "lower"},   {"TWIN.txt", "upper"},         {"sub/Index.html", "I"},
        {"sub/index.html", "i"}, {"trail /in.txt", "blank"},    {"trail/in.txt", "none"},
        {".gitignore", "dot"},   {"sub/.hidden", "nested dot"},
    };
    // Names 1251 cannot hold: the external archivers take them, the own format names them.
    const std::map<std::string, std::string> unicode = {{"café.txt", "accent"},
                                                        {"日本.txt", "kanji"}};
    struct Row {
        const char* name;
        uint8_t arcType;
        const char* ext;
        std::string restore;  // run in the target directory with the archive behind it
    };
    const std::vector<Row> rows = {
        {"ARJ", kArj, "ARJ", "timeout 60 arj x -y "},
        {"ZIP", kZip, "ZIP", "timeout 60 unzip -q -o "},
        {"Own", kOwnFormat, "hla", "timeout 60 " HALVORA_BINARY_DIR "/tools/pkk x -o . "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = std::string("E") + row.name;
        MakeProject(name, {.arcType = row.arcType, .subDirs = true});
        const std::string dir = Root() + "/d/Work/" + name + "/";
        std::remove((dir + "data.txt").c_str());
        for (const auto* files : {&kept, &unicode})
            for (const auto& [rel, content] : *files)
                CreateFile("d/Work/" + name + "/" + rel, content);
        CreateFile("d/Work/" + name + "/.git/config", "not walked");
        const std::string locked = CreateFile("d/Work/" + name + "/locked.txt", "secret");
        chmod(locked.c_str(), 0);
        SetList({});
        // A log written all through the run, long enough that every read of it sees it grow.
        CreateFile("d/Work/" + name + "/grow.log", test::Rows(2 << 20));
        std::atomic<bool> done{false};
        std::thread writer([&] {
            std::ofstream log(dir + "grow.log", std::ios::app);
            while (!done) {
                log << "line\n" << std::flush;
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        });
        auto r = Run({name}, 0, true);
        done = true;
        writer.join();
        EXPECT_EQ(r.status, 3) << r.err << r.out;
        std::vector<std::string> skipped{"locked.txt", "grow.log"};
        if (row.arcType == kOwnFormat) skipped.insert(skipped.end(), {"caf?.txt", "??.txt"});
        for (const std::string& s : skipped)
            EXPECT_EQ(Count(r.out, "Пропущен файл "_a + s), 1u) << s << "\n" << r.out;
        EXPECT_NE(r.err.find(locked), std::string::npos) << r.err;

        const std::string target = CreateDir("restore-" + std::string(row.name));
        test::ShellOutput("cd '" + target + "' && " + row.restore + Root() + "/d/Arc/" + name +
                          "/" + name + "." + row.ext + " >/dev/null 2>&1");
        for (const auto& [rel, content] : kept)
            EXPECT_EQ(ReadFile(target + "/" + rel), content) << rel;
        for (const auto& [rel, content] : unicode)
            EXPECT_EQ(ReadFile(target + "/" + rel), row.arcType == kOwnFormat ? "" : content)
                << rel;
        EXPECT_FALSE(Exists(target + "/.git/config"));
        EXPECT_FALSE(Exists(target + "/locked.txt"));
    }
}

// A run of the own format killed in the middle of its batch (SIGTERM, SIGKILL)
// leaves the old archive byte for byte; the next run removes what the killed
// one left and packs exactly what changed, so that every member is current.
TEST_F(HalvoraRun, KilledOwnFormatRunLeavesTheOldArchiveAndTheNextCatchesUp) {
    MakeProject("K", {.arcType = kOwnFormat, .subDirs = true});
    SetList({});
    std::map<std::string, std::string> files{{"data.txt", ReadFile(Root() + "/d/Work/K/data.txt")}};
    // Bytes that pack poorly, and slowly: the run can be caught at work.
    for (int i = 0; i < 120; ++i) {
        const std::string rel = "d" + std::to_string(i % 8) + "/f" + std::to_string(i) + ".dat";
        files[rel] = test::Noise(40000 + i, static_cast<unsigned>(i));
        SetOld(CreateFile("d/Work/K/" + rel, files[rel]));
    }
    ASSERT_EQ(Run({"K"}).status, 0);
    const std::string arc = "D:\\Arc\\K\\K.hla";
    const auto first = test::ListMembers(arc);
    ASSERT_EQ(first.size(), files.size());
    std::set<std::string> changed;
    int n = 0;
    for (auto& [rel, content] : files)
        if (n++ % 2 == 0) {
            content = test::Noise(41000 + n, static_cast<unsigned>(n + 1000));
            test::WritePosixFile(Root() + "/d/Work/K/" + rel, content);
            std::string name = rel;
            std::replace(name.begin(), name.end(), '/', '\\');
            changed.insert(name);
        }
    const std::string before = ReadFile(Root() + "/d/Arc/K/K.hla");
    for (int sig : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        test::ChildProcess run(Argv({"K"}), Options());
        // Caught while the new archive is being written.
        const auto writing = [&] {
            for (const auto& t : test::Temps(Root() + "/d/Arc/K"))
                if (std::error_code ec; std::filesystem::file_size(t, ec) > (64u << 10))
                    return true;
            return false;
        };
        ASSERT_TRUE(test::WaitFor(writing, 60));
        run.Signal(sig);
        const auto r = run.Finish();
        EXPECT_TRUE(sig == SIGKILL ? r.signal == SIGKILL : r.status == 1) << r.err;
        EXPECT_TRUE(ReadFile(Root() + "/d/Arc/K/K.hla") == before);
        EXPECT_TRUE(sig == SIGKILL || test::Temps(Root() + "/d/Arc/K").empty());
    }
    const auto r = Run({"K"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(test::Temps(Root() + "/d/Arc/K").empty());
    const auto after = test::ListMembers(arc);
    ASSERT_EQ(test::Names(after), test::Names(first));
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].raw == first[i].raw, changed.count(after[i].name) == 0) << after[i].name;
    const std::string target = CreateDir("restore");
    test::ShellOutput("cd '" + target + "' && " HALVORA_BINARY_DIR "/tools/pkk x -o . " + Root() +
                      "/d/Arc/K/K.hla >/dev/null 2>&1");
    for (const auto& [rel, content] : files)
        EXPECT_TRUE(ReadFile(target + "/" + rel) == content) << rel;
}

}  // namespace
}  // namespace hv
