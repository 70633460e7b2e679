// Batch lines, the archiver adapters of halvora-cmd, and the launcher on real
// batch files: exit codes, start directory, output, termination after the end.
// A stop that ends the whole group, list files with short names and dot names
// for arj are the archiver runs' tests.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/CmdInterpreter.h"
#include "platform/CodePage.h"
#include "platform/Launcher.h"
#include "platform/Process.h"
#include "support/ErrorOf.h"
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

// Arj and PkZIP as the templates call them are the archiver runs' test.
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
        {"ARJ.EXE", {"l", "x.arj"}, "arj", {"l", "x.arj"}},
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

// A batch's exit code and start directory, driven by the timer, under a name
// in another case.
TEST_F(LauncherTree, ExitCodesAndStartDirectory) {
    CreateDir("d/Work Dir");
    WriteBatch("d/fail.bat", {"@ECHO OFF", "pwd > D:\\where.txt", "false"});
    int finished = 0;
    TRzLauncher f;
    f.ProgramName = "D:\\FAIL.BAT";
    f.StartDir = "D:\\Work Dir";
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
    EXPECT_EQ(ReadFile(Root() + "/d/where.txt"), Root() + "/d/Work Dir\n");
}

TEST_F(LauncherTree, MissingFileRaisesLaunchError2) {
    TRzLauncher l;
    l.ProgramName = "D:\\nothing.bat";
    EXPECT_EQ(test::ErrorOf<ELaunchError>([&] { l.Launch(); }), "LaunchError: 2");
    EXPECT_FALSE(l.TimerEnabled());
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

}  // namespace
}  // namespace hv
