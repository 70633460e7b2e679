// The batch files of a run, executed by the real arj and zip through halvora-cmd.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Launcher.h"
#include "support/TempTree.h"

namespace hv {
namespace {

std::string Capture(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

class ArchiverRun : public test::TempTree {
protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateFile("d/Work/Long Folder Name/file one.txt", "first file\n");
        CreateFile("d/Work/Отчёт.txt", "report\n");
        CreateFile("d/Work/a.txt", std::string(5000, 'a'));
        CreateDir("d/Arc");
        CreateDir("d/TMP");
        // The list file as the run writes it: 8.3 names relative to the project directory, OEM.
        CreateFile("d/TMP/L.INC", AnsiToOem("LONGFO~1\\FILEON~1.TXT\r\n"_a + std::string("Отчёт.txt\r\n"_a) +
                                            "A.TXT\r\n"));
    }
    void RunBatch(const std::string& command) {
        CreateFile("d/TMP/RUN.BAT", AnsiToOem("@ECHO OFF\r\n@ECHO D:\\Arc\\x\r\n" + command +
                                              " >>D:\\TMP\\O.OUT\r\n\r\n"));
        TRzLauncher l;
        l.ProgramName = "D:\\TMP\\RUN.BAT";
        l.StartDir = "D:\\Work";
        l.ShowMode = TShowMode::smMinimized;
        l.Launch();
        for (int i = 0; i < 6000 && l.IsRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_FALSE(l.IsRunning());
    }
};

TEST_F(ArchiverRun, ArjArchivesTheListedFilesByTheirLongNames) {
    RunBatch("Arj u -i -a -v1456400 D:\\Arc\\TEST.ARJ  !D:\\TMP\\L.INC -y");
    std::string listing = Capture("arj v '" + Root() + "/d/Arc/TEST.ARJ'");
    EXPECT_NE(listing.find("Long Folder Name/file one.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Отчёт.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("a.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("3 files"), std::string::npos) << listing;
    // arj's messages are in the output file, in OEM.
    std::string out = OemToUtf8(ReadFile(Root() + "/d/TMP/O.OUT"));
    EXPECT_NE(out.find("Отчёт.txt"), std::string::npos) << out;
}

TEST_F(ArchiverRun, PkzipTemplateRunsInfoZip) {
    RunBatch("PkZIP -a D:\\Arc\\TEST.ZIP @D:\\TMP\\L.INC");
    std::string listing = Capture("unzip -l '" + Root() + "/d/Arc/TEST.ZIP' 2>&1 || zipinfo '" + Root() +
                                  "/d/Arc/TEST.ZIP'");
    EXPECT_NE(listing.find("Long Folder Name/file one.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("a.txt"), std::string::npos) << listing;
}

}  // namespace
}  // namespace hv
