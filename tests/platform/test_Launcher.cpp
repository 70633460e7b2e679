// Batch lines, the archiver adapters of halvora-cmd, and the launcher on real
// batch files: exit codes, start directory, output, termination.
#include <gtest/gtest.h>
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
#include "support/Process.h"
#include "support/TempTree.h"

namespace hv {
namespace {

using test::TempTree;
using V = std::vector<std::string>;

TEST(BatchLines, Parse) {
    using K = BatchLine::Kind;
    struct Row {
        const char* line;
        K kind;
        bool quiet = false;
        std::string text{};
        V words{};
        std::string out{};
        bool append = false;
        std::string in{};
    };
    // clang-format off
    const Row rows[] = {
        {"@ECHO OFF", K::EchoOff, true},
        {"echo on", K::EchoOn},
        {"@ECHO D:\\Arc\\A.ARJ", K::Echo, true, "D:\\Arc\\A.ARJ"},
        {"ECHO hello > D:\\o.txt", K::Echo, false, "hello", {}, "D:\\o.txt"},
        {"REM > not a redirection", K::Rem},
        {"  ", K::Empty},
        {"CD \"D:\\Long Dir\"", K::Cd, false, "D:\\Long Dir"},
        {"Arj u -i -a  D:\\A.ARJ !D:\\TMP\\L.INC -y >>D:\\TMP\\O.OUT", K::Call, false, "",
         {"Arj", "u", "-i", "-a", "D:\\A.ARJ", "!D:\\TMP\\L.INC", "-y"}, "D:\\TMP\\O.OUT", true},
        {"sort < \"D:\\in put.txt\" > D:\\out.txt", K::Call, false, "", {"sort"}, "D:\\out.txt",
         false, "D:\\in put.txt"},
        {"\"D:\\My Tools\\x.exe\" \"a b\"", K::Call, false, "", {"D:\\My Tools\\x.exe", "a b"}},
    };
    // clang-format on
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
    struct Row {
        std::string word;
        V words;
        std::string program;
        V args;
        std::string stdinFile{};
        size_t notes = 0;
    };
    // clang-format off
    const Row rows[] = {
        {"Arj", {"u", "-v1456400", "/a/b.arj", "!/tmp/l"}, "arj",
         {"u", "-v1456400", "/a/b.arj", "!/tmp/l"}},
        {"ARJ.EXE", {"l", "x.arj"}, "arj", {"l", "x.arj"}},
        {"PkZIP", {"-a", "/a/b.zip", "@/tmp/l"}, "zip", {"/a/b.zip", "-@"}, "/tmp/l"},
        {"pkzip.exe", {"-a", "-ex", "-sSecret", "-zz", "/a/b.zip", "x.txt"}, "zip",
         {"-9", "-P", "Secret", "/a/b.zip", "x.txt"}, "", 1},
        {"Sort", {"a"}, "Sort", {"a"}},
        {"RAR", {"u", "-y"}, "rar", {"u", "-y"}},
    };
    // clang-format on
    for (const auto& r : rows) {
        ProgramCall out = AdaptCall({r.word, r.words, "", {}});
        EXPECT_EQ(out.program, r.program) << r.word;
        EXPECT_EQ(out.args, r.args) << r.word;
        EXPECT_EQ(out.stdinFile, r.stdinFile) << r.word;
        EXPECT_EQ(out.notes.size(), r.notes) << r.word;
    }
}

// Processes of a group that are still alive (zombies waiting for a reaper do not count).
int LiveMembers(int pgid) {
    int n = 0;
    for (const test::ProcessFacts& p : test::Processes()) n += p.pgid == pgid && p.state != 'Z';
    return n;
}

// arj hangs on a top-level name beginning with a dot: such names go by way of a subdirectory.
TEST(BatchLines, ArjDotNamesGoByWayOfASubdirectory) {
    const std::string list = ".gitignore\nsub/.hidden\na.txt\n/abs/.x\n";
    EXPECT_TRUE(HasTopLevelDotName(list));
    EXPECT_FALSE(HasTopLevelDotName("sub/.hidden\na.txt\n"));
    EXPECT_EQ(RouteArjDotNames(list, "Src"), "Src/../.gitignore\nsub/.hidden\na.txt\n/abs/.x\n");
}

class LauncherTree : public TempTree {
  protected:
    // Writes a batch file in OEM with CR LF line ends.
    void WriteBatch(const std::string& rel, const std::vector<std::string>& utf8Lines) {
        std::string text;
        for (const auto& l : utf8Lines) text += Utf8ToOem(l) + "\r\n";
        CreateFile(rel, text);
    }
    // Starts a batch and polls, as the run does, until the launcher reports the end.
    void Run(TRzLauncher& l, const std::string& program) {
        l.ProgramName = program;
        l.Launch();
        for (int i = 0; i < 2000 && l.IsRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_FALSE(l.IsRunning());
    }
};

TEST_F(LauncherTree, ExitCodesAndStartDirectory) {
    CreateDir("d/Work Dir");
    WriteBatch("d/ok.bat", {"@ECHO OFF", "pwd > D:\\where.txt", "true"});
    WriteBatch("d/fail.bat", {"@ECHO OFF", "false"});
    TRzLauncher l;
    l.StartDir = "D:\\Work Dir";
    l.ShowMode = TShowMode::smMinimized;
    Run(l, "D:\\ok.bat");
    EXPECT_EQ(l.ExitCode(), 0);
    EXPECT_EQ(ReadFile(Root() + "/d/where.txt"), Root() + "/d/Work Dir\n");

    // Driven by the timer instead, under a name in another case.
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

TEST_F(LauncherTree, TerminateEndsTheWholeGroup) {
    WriteBatch("d/long.bat", {"@ECHO OFF", "sleep 30", "ECHO after > D:\\after.txt", "sleep 30"});
    TRzLauncher l;
    l.ProgramName = "D:\\long.bat";
    l.Launch();
    int pid = l.ProcessId();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(l.IsRunning());
    l.Terminate();
    EXPECT_FALSE(l.IsRunning());
    // Nothing of the group is left: neither the interpreter nor its sleep, and
    // the batch never went on past the first sleep.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(LiveMembers(pid), 0);
    EXPECT_FALSE(Exists(Root() + "/d/after.txt"));
}

// An ended program stays ours until reaped; Terminate after its end once
// signalled a group number that could belong to another process by then.
TEST_F(LauncherTree, TerminateAfterTheEndKeepsTheExitCodeAndSignalsNoStranger) {
    WriteBatch("d/three.bat", {"@ECHO OFF", "sh -c \"exit 3\""});
    int pid = 0;
    {
        TRzLauncher l;
        Run(l, "D:\\three.bat");
        pid = l.ProcessId();
        EXPECT_EQ(l.ExitCode(), 3);
        l.Terminate();
        EXPECT_EQ(l.ExitCode(), 3);
        // Reaped now: a second Terminate has no group of ours to signal and sends nothing.
        EXPECT_FALSE(Exists("/proc/" + std::to_string(pid) + "/stat"));
        l.Terminate();
        EXPECT_EQ(l.ExitCode(), 3);
    }
}

TEST_F(LauncherTree, OutputGoesToTheRedirectedFileInOem) {
    WriteBatch("d/echo.bat", {"@ECHO OFF", "ECHO Архив готов > D:\\out.txt",
                              "printf Файл\\n >> D:\\out.txt", "nosuchprogram >> D:\\out.txt"});
    TRzLauncher l;
    Run(l, "D:\\echo.bat");
    std::string out = ReadFile(Root() + "/d/out.txt");
    EXPECT_EQ(out.substr(0, 18), Utf8ToOem("Архив готов\r\nФайл\n"));
    EXPECT_NE(out.find("Bad command or file name: nosuchprogram"), std::string::npos);
    EXPECT_EQ(l.ExitCode(), 9009 & 0xFF);
}

TEST_F(LauncherTree, ListFileCopyExpandsShortNames) {
    CreateFile("d/Work/Long Folder Name/file one.txt", "1");
    CreateFile("d/Work/Отчёт.txt", "2");
    CreateFile("d/Work/plain.txt", "3");
    CurrentDirGuard cwd;
    ASSERT_TRUE(SetCurrentDir("D:\\Work"));
    std::string list = AnsiToOem("LONGFO~1\\FILEON~1.TXT\r\n"_a + std::string("Отчёт.txt\r\n"_a) +
                                 "PLAIN.TXT\r\n\r\nD:\\Work\\plain.txt\r\n");
    EXPECT_EQ(TranslateListText(list), "Long Folder Name/file one.txt\nОтчёт.txt\nplain.txt\n" +
                                           Root() + "/d/Work/plain.txt\n");
}

}  // namespace
}  // namespace hv
