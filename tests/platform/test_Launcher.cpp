#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/AnsiLiteral.h"
#include "platform/CmdInterpreter.h"
#include "platform/CodePage.h"
#include "platform/Launcher.h"
#include "platform/Process.h"
#include "support/TempTree.h"

namespace hv {
namespace {

using test::TempTree;

TEST(BatchLines, Parse) {
    using K = BatchLine::Kind;
    struct Row {
        const char* line;
        K kind;
        bool quiet;
        std::string text;
        std::vector<std::string> words;
        std::string out;
        bool append;
        std::string in;
    } rows[] = {
        {"@ECHO OFF", K::EchoOff, true, "", {}, "", false, ""},
        {"echo on", K::EchoOn, false, "", {}, "", false, ""},
        {"@ECHO D:\\Arc\\A.ARJ", K::Echo, true, "D:\\Arc\\A.ARJ", {}, "", false, ""},
        {"ECHO hello > D:\\o.txt", K::Echo, false, "hello", {}, "D:\\o.txt", false, ""},
        {"REM > not a redirection", K::Rem, false, "", {}, "", false, ""},
        {"  ", K::Empty, false, "", {}, "", false, ""},
        {"CD \"D:\\Long Dir\"", K::Cd, false, "D:\\Long Dir", {}, "", false, ""},
        {"Arj u -i -a  D:\\A.ARJ !D:\\TMP\\L.INC -y >>D:\\TMP\\O.OUT", K::Call, false, "",
         {"Arj", "u", "-i", "-a", "D:\\A.ARJ", "!D:\\TMP\\L.INC", "-y"}, "D:\\TMP\\O.OUT", true, ""},
        {"sort < \"D:\\in put.txt\" > D:\\out.txt", K::Call, false, "", {"sort"}, "D:\\out.txt", false,
         "D:\\in put.txt"},
        {"\"D:\\My Tools\\x.exe\" \"a b\"", K::Call, false, "", {"D:\\My Tools\\x.exe", "a b"}, "", false, ""},
    };
    for (const auto& r : rows) {
        BatchLine b = ParseBatchLine(r.line);
        EXPECT_EQ(b.kind, r.kind) << r.line;
        EXPECT_EQ(b.quiet, r.quiet) << r.line;
        EXPECT_EQ(b.text, r.text) << r.line;
        EXPECT_EQ(b.words, r.words) << r.line;
        EXPECT_EQ(b.outFile, r.out) << r.line;
        EXPECT_EQ(b.append, r.append) << r.line;
        EXPECT_EQ(b.inFile, r.in) << r.line;
    }
}

TEST(BatchLines, ArchiverAdapters) {
    using V = std::vector<std::string>;
    struct Row {
        const char* name;
        ProgramCall in;
        std::string program;
        V args;
        std::string stdinFile;
        size_t notes;
    } rows[] = {
        {"arj unchanged", {"Arj", {"u", "-v1456400", "/a/b.arj", "!/tmp/l"}, "", {}}, "arj",
         {"u", "-v1456400", "/a/b.arj", "!/tmp/l"}, "", 0},
        {"arj.exe", {"ARJ.EXE", {"l", "x.arj"}, "", {}}, "arj", {"l", "x.arj"}, "", 0},
        {"pkzip list", {"PkZIP", {"-a", "/a/b.zip", "@/tmp/l"}, "", {}}, "zip", {"/a/b.zip", "-@"},
         "/tmp/l", 0},
        {"pkzip options", {"pkzip.exe", {"-a", "-ex", "-sSecret", "-zz", "/a/b.zip", "x.txt"}, "", {}},
         "zip", {"-9", "-P", "Secret", "/a/b.zip", "x.txt"}, "", 1},
        {"other program", {"Sort", {"a"}, "", {}}, "Sort", {"a"}, "", 0},
        {"rar", {"RAR", {"u", "-y"}, "", {}}, "rar", {"u", "-y"}, "", 0},
    };
    for (const auto& r : rows) {
        ProgramCall out = AdaptCall(r.in);
        EXPECT_EQ(out.program, r.program) << r.name;
        EXPECT_EQ(out.args, r.args) << r.name;
        EXPECT_EQ(out.stdinFile, r.stdinFile) << r.name;
        EXPECT_EQ(out.notes.size(), r.notes) << r.name;
    }
}

// Processes of a group that are still alive (zombies waiting for a reaper do not count).
int LiveMembers(int pgid) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        std::string stat = test::ReadPosixFile(e.path().string() + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream in(stat.substr(close + 2));
        char state;
        int ppid, group;
        in >> state >> ppid >> group;
        if (group == pgid && state != 'Z') ++n;
    }
    return n;
}

class LauncherTree : public TempTree {
protected:
    void SetUp() override {
        TempTree::SetUp();
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        oldCwd_ = buf;
    }
    void TearDown() override {
        ASSERT_EQ(chdir(oldCwd_.c_str()), 0);
        TempTree::TearDown();
    }
    // Writes a batch file in OEM with CR LF line ends.
    void WriteBatch(const std::string& rel, const std::vector<std::string>& utf8Lines) {
        std::string text;
        for (const auto& l : utf8Lines) text += Utf8ToOem(l) + "\r\n";
        CreateFile(rel, text);
    }
    // Waits (polling, as the run does) until the launcher reports the end.
    bool WaitFor(TRzLauncher& l, int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (l.IsRunning()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    std::string oldCwd_;
};

TEST_F(LauncherTree, ExitCodesAndStartDirectory) {
    CreateDir("d/Work Dir");
    WriteBatch("d/ok.bat", {"@ECHO OFF", "pwd > D:\\where.txt", "true"});
    WriteBatch("d/fail.bat", {"@ECHO OFF", "false"});
    TRzLauncher l;
    l.ProgramName = "D:\\ok.bat";
    l.StartDir = "D:\\Work Dir";
    l.ShowMode = TShowMode::smMinimized;
    l.Launch();
    ASSERT_TRUE(WaitFor(l, 10000));
    EXPECT_EQ(l.ExitCode(), 0);
    EXPECT_EQ(ReadFile(Root() + "/d/where.txt"), Root() + "/d/Work Dir\n");

    int finished = 0;
    TRzLauncher f;
    f.ProgramName = "D:\\FAIL.BAT";
    f.OnFinished = [&](TRzLauncher&) { ++finished; };
    f.Launch();
    EXPECT_TRUE(f.TimerEnabled());
    for (int i = 0; i < 2000 && f.TimerEnabled(); ++i) {
        f.Tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(f.IsRunning());
    EXPECT_EQ(f.ExitCode(), 1);
    EXPECT_EQ(ShowCommand(TShowMode::smMinimized), 2);
    EXPECT_EQ(ShowCommand(TShowMode::smMaximized), 3);
    EXPECT_EQ(ShowCommand(TShowMode::smNormal), 1);
}

TEST_F(LauncherTree, MissingFileRaisesLaunchError2) {
    TRzLauncher l;
    l.ProgramName = "D:\\nothing.bat";
    try {
        l.Launch();
        FAIL() << "no error";
    } catch (const ELaunchError& e) {
        EXPECT_STREQ(e.what(), "LaunchError: 2");
        EXPECT_EQ(e.ErrorCode, 2);
    }
    EXPECT_FALSE(l.TimerEnabled());
}

TEST_F(LauncherTree, TerminateEndsTheWholeGroupPromptly) {
    WriteBatch("d/long.bat", {"@ECHO OFF", "sleep 30", "sleep 30"});
    TRzLauncher l;
    l.ProgramName = "D:\\long.bat";
    l.Launch();
    int pid = l.ProcessId();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(l.IsRunning());
    auto t0 = std::chrono::steady_clock::now();
    l.Terminate();
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_FALSE(l.IsRunning());
    // Nothing of the group is left: neither the interpreter nor its sleep.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(LiveMembers(pid), 0);
}

TEST_F(LauncherTree, OutputGoesToTheRedirectedFileInOem) {
    WriteBatch("d/echo.bat", {"@ECHO OFF", "ECHO Архив готов > D:\\out.txt",
                              "printf Файл\\n >> D:\\out.txt", "nosuchprogram >> D:\\out.txt"});
    TRzLauncher l;
    l.ProgramName = "D:\\echo.bat";
    l.Launch();
    ASSERT_TRUE(WaitFor(l, 10000));
    std::string out = ReadFile(Root() + "/d/out.txt");
    EXPECT_EQ(out.substr(0, 18), Utf8ToOem("Архив готов\r\nФайл\n"));
    EXPECT_NE(out.find("Bad command or file name: nosuchprogram"), std::string::npos);
    EXPECT_EQ(l.ExitCode(), 9009 & 0xFF);
}

TEST_F(LauncherTree, ListFileCopyExpandsShortNames) {
    CreateFile("d/Work/Long Folder Name/file one.txt", "1");
    CreateFile("d/Work/Отчёт.txt", "2");
    CreateFile("d/Work/plain.txt", "3");
    ASSERT_TRUE(SetCurrentDir("D:\\Work"));
    std::string list = AnsiToOem("LONGFO~1\\FILEON~1.TXT\r\n"_a + std::string("Отчёт.txt\r\n"_a) +
                                 "PLAIN.TXT\r\n\r\nD:\\Work\\plain.txt\r\n");
    EXPECT_EQ(TranslateListText(list),
              "Long Folder Name/file one.txt\nОтчёт.txt\nplain.txt\n" + Root() + "/d/Work/plain.txt\n");
}

}  // namespace
}  // namespace hv
