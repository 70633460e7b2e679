// halvora-run end to end: a settings file, project files, the real arj.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "run/ArcSettings.h"
#include "support/TempTree.h"

namespace hv {
namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

class HalvoraRun : public test::TempTree {
protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/Prog/Projects");
        CreateDir("tmp");
        settings_ = "[Drives]\r\nC=\"/\"\r\nD=\"" + Root() + "/d\"\r\n\r\n";
    }
    // A project over D:\Work\<name> with one file, archive in D:\Arc\<name>, copy in D:\Copy\<name>.
    void MakeProject(const std::string& name, std::vector<std::string> deps, bool places = true) {
        CreateFile("d/Work/" + name + "/data.txt", "data of " + name + "\n");
        CreateDir("d/Arc/" + name);
        CreateDir("d/Copy/" + name);
        THL_HalvoraProject p;
        p.FileName = "D:\\Prog\\Projects\\" + name + ".hlj";
        p.SetName(name);
        p.SetRootDir("D:\\Work\\" + name);
        p.IncludeAllFiles = true;
        if (places) {
            p.SavePlaces().Add("D:\\Arc\\" + name);
            p.SavePlaces().Add("D:\\Copy\\" + name);
        }
        for (const auto& d : deps) p.Projects().Add(d + ".hlj");
        p.ArcType = kArcArj;
        p.CompressType = 2;
        p.SetArcName(name + ".ARJ");
        p.SaveToFile();
    }
    void SetList(const std::vector<std::pair<std::string, bool>>& entries) {
        std::string s = settings_ + "[Configuration]\r\nMainPrjCount=" + std::to_string(entries.size()) +
                        "\r\n\r\n";
        for (size_t i = 0; i < entries.size(); ++i)
            s += "[PrjInfo" + std::to_string(i) + "]\r\nChecked=" + (entries[i].second ? "1" : "0") +
                 "\r\nFile=\"" + entries[i].first + ".hlj\"\r\n\r\n";
        CreateFile("d/Prog/halvora.ini", s);
    }
    pid_t Start(const std::vector<std::string>& args) {
        pid_t pid = fork();
        if (pid == 0) {
            setenv("HALVORA_HOME", (Root() + "/d/Prog").c_str(), 1);
            setenv("TMPDIR", (Root() + "/tmp").c_str(), 1);
            freopen((Root() + "/out.txt").c_str(), "w", stdout);
            freopen((Root() + "/err.txt").c_str(), "w", stderr);
            std::vector<char*> argv;
            std::string exe = HALVORA_BINARY_DIR "/tools/halvora-run";
            argv.push_back(exe.data());
            for (auto& a : const_cast<std::vector<std::string>&>(args)) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        return pid;
    }
    Result Finish(pid_t pid) {
        Result r;
        int ws = 0;
        waitpid(pid, &ws, 0);
        r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
        r.out = OemToAnsi(Utf8ToOem(ReadFile(Root() + "/out.txt")));
        r.err = ReadFile(Root() + "/err.txt");
        return r;
    }
    Result Run(const std::vector<std::string>& args) { return Finish(Start(args)); }
    bool Has(const std::string& rel) { return Exists(Root() + "/" + rel); }
    std::string settings_;
};

size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

TEST_F(HalvoraRun, CheckedRunsDependenciesOnceAndGoesOnPastAProjectWithoutPlaces) {
    MakeProject("A", {"B"});
    MakeProject("B", {"A"});
    MakeProject("C", {}, false);
    MakeProject("D", {});
    SetList({{"A", true}, {"B", false}, {"C", true}, {"D", false}});
    Result r = Run({"--checked"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has("d/Arc/A/A.ARJ"));
    EXPECT_TRUE(Has("d/Arc/B/B.ARJ"));
    EXPECT_TRUE(Has("d/Copy/A/A.ARJ"));
    EXPECT_TRUE(Has("d/Copy/B/B.ARJ"));
    EXPECT_FALSE(Has("d/Arc/D/D.ARJ"));
    EXPECT_NE(r.err.find("Не определены пути сохранения файла архива"), std::string::npos) << r.err;
    // Both header blocks, A's first.
    EXPECT_EQ(Count(r.out, "Halvora DOS output file"), 2u) << r.out;
    EXPECT_LT(r.out.find("A.ARJ"), r.out.find("B.ARJ"));
}

TEST_F(HalvoraRun, RebuildAppliesToTheNamedProjectOnly) {
    MakeProject("A", {"B"});
    MakeProject("B", {});
    SetList({});
    ASSERT_EQ(Run({"A"}).status, 0);
    struct stat a0, b0;
    ASSERT_EQ(stat((Root() + "/d/Arc/A/A.ARJ").c_str(), &a0), 0);
    ASSERT_EQ(stat((Root() + "/d/Arc/B/B.ARJ").c_str(), &b0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    // Unchanged: nothing is built.
    ASSERT_EQ(Run({"A"}).status, 0);
    struct stat a1, b1;
    stat((Root() + "/d/Arc/A/A.ARJ").c_str(), &a1);
    stat((Root() + "/d/Arc/B/B.ARJ").c_str(), &b1);
    EXPECT_EQ(a1.st_mtime, a0.st_mtime);
    EXPECT_EQ(b1.st_mtime, b0.st_mtime);
    Result r = Run({"--rebuild", "A"});
    ASSERT_EQ(r.status, 0) << r.err;
    stat((Root() + "/d/Arc/A/A.ARJ").c_str(), &a1);
    stat((Root() + "/d/Arc/B/B.ARJ").c_str(), &b1);
    EXPECT_NE(a1.st_mtime, a0.st_mtime);
    EXPECT_EQ(b1.st_mtime, b0.st_mtime);
}

TEST_F(HalvoraRun, MissingProjectFileEndsTheRun) {
    SetList({});
    Result r = Run({"Nothing"});
    EXPECT_EQ(r.status, 1);
    Result u = Run({"--checked", "A"});
    EXPECT_EQ(u.status, 2);
}

TEST_F(HalvoraRun, InterruptStopsTheArchiverAndKeepsThePreviousArchive) {
    MakeProject("A", {});
    SetList({});
    ASSERT_EQ(Run({"A"}).status, 0);
    const std::string before = ReadFile(Root() + "/d/Arc/A/A.ARJ");
    const std::string copyBefore = ReadFile(Root() + "/d/Copy/A/A.ARJ");
    // Words in a pseudo-random order: arj needs seconds to pack them.
    {
        static const char* words[] = {"archive ", "backup ", "volume ", "storage ", "project ",
                                      "diskette ", "network ", "copy\r\n", "file ", "place "};
        std::string big;
        big.reserve(64 << 20);
        uint32_t x = 12345;
        while (big.size() < (64u << 20)) {
            x = x * 1103515245u + 12345u;
            big += words[(x >> 16) % 10];
            big += static_cast<char>('a' + (x >> 8) % 26);
        }
        CreateFile("d/Work/A/big.txt", big);
    }
    pid_t pid = Start({"A"});
    // Wait until arj is at work.
    // Only arj processes working in this tree count: other tests may run arj too.
    const std::string ours = "pgrep -f '[a]rj .*" + Root() + "' >/dev/null";
    for (int i = 0; i < 200 && system(ours.c_str()) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto t0 = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    Result r = Finish(pid);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1500));
    EXPECT_EQ(r.status, 1) << r.err;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NE(system(ours.c_str()), 0) << "an arj process is left";
    // Compared as whole files, never printed: they may be large.
    EXPECT_TRUE(ReadFile(Root() + "/d/Arc/A/A.ARJ") == before);
    EXPECT_TRUE(ReadFile(Root() + "/d/Copy/A/A.ARJ") == copyBefore);
}

}  // namespace
}  // namespace hv
