// Whole archive runs with the real archivers behind halvora-cmd: what lands
// in the archive, the output file, the up-to-date test across runs, the run
// files, and a stop that must not leave the batch's processes behind.
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

#include "pack/test_PackFileUtil.h"
#include "support/Process.h"
#include "support/ProjectTrees.h"

namespace hv {
namespace {

using test::RunTree;

const std::string kArj = "Arj u -i -a -v<VOLSIZE> -g<PASSWORD> <NOCOMPR> <ARCNAME>  !<LISTNAME> -y";
const std::string kZip = "PkZIP -a <ARCNAME> @<LISTNAME>";

// The first group of each line of a listing that matches Line.
std::set<std::string> Listed(const std::string& command, const char* line) {
    std::set<std::string> names;
    std::istringstream in(test::ShellOutput(command));
    const std::regex re(line);
    std::smatch m;
    for (std::string l; std::getline(in, l);)
        if (std::regex_match(l, m, re)) names.insert(m[1]);
    return names;
}
// `arj v` lists "001) name"; `unzip -Z1` a name a line, directories ending in '/'.
std::set<std::string> ArjMembers(const std::string& posixArchive) {
    return Listed("arj v '" + posixArchive + "' 2>&1", R"(^\d{3}\) (.*)$)");
}
std::set<std::string> ZipMembers(const std::string& posixArchive) {
    return Listed("unzip -Z1 '" + posixArchive + "' 2>/dev/null", "^(.*[^/])$");
}

class ArchiverRun : public RunTree {
  protected:
    void SetUp() override {
        RunTree::SetUp();
        // The tree every run archives from D:\Work.
        for (const char* f :
             {"d/Work/notes.txt", "d/Work/keep.tmp", "d/Work/skip.tmp",
              "d/Work/Long Folder Name/file one.txt", "d/Work/Документы/отчёт.txt",
              "d/Work/sub/deep/x.dat", "d/Work/sub/deep/y.tmp", "d/Work/unlisted/z.txt"})
            OldFile(f, std::string("content of ") + f);
    }

    // Top level of Dir without subdirectories, ".tmp" left out except keep.tmp,
    // three directory nodes; "unlisted" is in none of them.
    static void Selection(THL_HalvoraProject& p) {
        p.IncludeSubDirs = false;
        p.AddExtension("tmp");
        p.AddFileName("keep.tmp", true);
        p.AddDirectory("D:\\Work\\Long Folder Name");
        p.AddDirectory("D:\\Work\\Документы"_a);
        THL_Directory* sub = p.AddDirectory("D:\\Work\\sub");
        sub->SetProjectProperties(false);
        sub->IncludeAllFiles = true;
        sub->IncludeSubDirs = true;
        sub->AddExtension("tmp");
    }

    test::EnvGuard cmd_{"HALVORA_CMD", HALVORA_BINARY_DIR "/tools/halvora-cmd"};
    const std::set<std::string> selected_{"notes.txt", "keep.tmp", "Long Folder Name/file one.txt",
                                          "Документы/отчёт.txt", "sub/deep/x.dat"};
};

// What the project selects reaches arj; the output file holds arj's messages.
// Runs with nothing new are halvora-run's test, the archive files a run records
// the volume test's.
TEST_F(ArchiverRun, ArjArchivesTheSelection) {
    CreateDir("d/Arc Store");
    auto p = NewProject("Docs", 2, [](THL_HalvoraProject& p) {
        Selection(p);
        p.SavePlaces().Put(0, "D:\\Arc Store");
    });
    p->Template = kArj;
    p->MakeArchive();

    const std::string arc = Root() + "/d/Arc Store/Docs.ARJ";
    ASSERT_TRUE(Exists(arc));
    EXPECT_EQ(ArjMembers(arc), selected_);
    EXPECT_TRUE(warnings_.empty());

    // arj's own messages, Cyrillic names in OEM (the header is the run files' test).
    const std::string out = ReadFile(RunFile(".OUT"));
    EXPECT_NE(out.find("Creating archive"), std::string::npos);
    EXPECT_NE(out.find(Utf8ToOem("Документы/отчёт.txt")), std::string::npos);
    EXPECT_FALSE(Exists(RunFile(".BAT")));
    EXPECT_FALSE(Exists(RunFile(".INC")));
}

TEST_F(ArchiverRun, VolumesAreCollectedAndStaleOnesDeletedOnRebuild) {
    // 200 kB that arj cannot shrink: four volumes of 60000 bytes.
    OldFile("d/Work/noise.bin", test::Noise(200000, 7));
    CreateDir("d/Arc");
    auto p = NewProject("Vol", 2, [](THL_HalvoraProject& p) { p.SetVolumeSize(60000); });
    p->Template = kArj;
    p->MakeArchive();
    EXPECT_TRUE(p->Rebuild);
    THL_HalvoraProject reloaded;
    reloaded.FileName = p->FileName;
    reloaded.LoadFromFile();
    ASSERT_GE(reloaded.ArcFiles().Count(), 4) << ReadFile(RunFile(".OUT"));
    EXPECT_TRUE(SameText(ExtractFileName(reloaded.ArcFiles()[0]), "Vol.ARJ"));
    for (int i = 1; i < reloaded.ArcFiles().Count(); ++i)
        EXPECT_TRUE(SameText(ExtractFileExt(reloaded.ArcFiles()[i]).substr(0, 3), ".A0"))
            << reloaded.ArcFiles()[i];
    // A volume left from a larger archive goes before the next build (another
    // project's stays: the run files' test).
    CreateFile("d/Arc/Vol.a07", "stale");
    p->MakeArchive();
    EXPECT_FALSE(Exists(Root() + "/d/Arc/Vol.a07"));
    EXPECT_TRUE(Exists(Root() + "/d/Arc/Vol.ARJ"));
}

TEST_F(ArchiverRun, ZipTemplateBuildsZipAndDebugModeKeepsRunFiles) {
    workdirs::SetDebugMode(true);
    CreateDir("d/Архив");
    auto p = NewProject("Docs", 3, [](THL_HalvoraProject& p) {
        Selection(p);
        p.SavePlaces().Put(0, "D:\\Архив"_a);
    });
    p->Template = kZip;
    p->MakeArchive();

    EXPECT_EQ(ZipMembers(Root() + "/d/Архив/Docs.ZIP"), selected_);
    const std::string bat = ReadFile(RunFile(".BAT"));
    const std::string arc = "D:\\Архив\\Docs.ZIP"_a;
    const std::string cmd = "PkZIP -a " + arc + " @" + THL_HalvoraProject::ListFileName() + " >>" +
                            THL_HalvoraProject::OutputFileName();
    EXPECT_EQ(bat, AnsiToOem("@ECHO OFF\r\n@ECHO " + arc + "\r\n" + cmd + "\r\n\r\n"));
    const std::string list = ReadFile(RunFile(".INC"));
    EXPECT_NE(list.find("LONGFO~1\\FILEON~1.TXT\r\n"), std::string::npos);
    EXPECT_NE(list.find("sub\\deep\\x.dat\r\n"), std::string::npos);
    EXPECT_EQ(list.find("skip.tmp"), std::string::npos);
    // The run maps each directory once; every line is still what the file's
    // name maps to on its own.
    std::set<std::string> lines;
    std::istringstream in(list);
    for (std::string l; std::getline(in, l);)
        if (!l.empty() && l != "\r") lines.insert(l.substr(0, l.find('\r')));
    {
        CurrentDirGuard cwd;
        ASSERT_TRUE(SetCurrentDir("D:\\Work"));
        for (std::string f : selected_) {
            std::replace(f.begin(), f.end(), '/', '\\');
            p->AddDosName(Utf8ToAnsi(f), FindData());
        }
    }
    const std::vector<std::string> alone = p->Lines().Strings();
    EXPECT_EQ(lines, std::set<std::string>(alone.begin(), alone.end()));
}

TEST_F(ArchiverRun, StopEndsTheBatchAndEverythingItStarted) {
    CreateDir("d/Arc");
    const std::string pause = std::to_string(200 + getpid() % 1000) + ".25";
    auto p = NewProject("Docs", 1, [&](THL_HalvoraProject& p) {
        p.PreBatch().Add("@ECHO ready>pre.txt");
        p.PreBatch().Add("sleep " + pause);
    });
    int turns = 0;
    bool seen = false;
    THL_HalvoraProject* project = p.get();
    THL_HalvoraProject::RunMessagePump = [&] {
        // The stop button, pressed once the batch's program runs.
        seen = seen || test::ProcessRuns("sleep " + pause);
        if (seen || ++turns > 4000) project->SetStop(true);
    };
    p->MakeArchive();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(Exists(Root() + "/d/Work/pre.txt")) << "the pre-run batch runs in Dir";
    EXPECT_FALSE(Exists(Root() + "/d/Arc/Docs.hla")) << "a stopped run builds nothing";
    // Ended processes vanish from /proc asynchronously; wait for it, bounded.
    EXPECT_TRUE(test::WaitFor([&] { return !test::ProcessRuns("sleep " + pause); }, 5));
}

}  // namespace
}  // namespace hv
