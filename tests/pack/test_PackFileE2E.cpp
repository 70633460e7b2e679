// What only the pkk command line adds to the container (options, exit codes,
// messages, the listing), and the real arj program against the container.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "pack/PackFile.h"
#include "pack/test_PackFileUtil.h"
#include "platform/CodePage.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace hv {
namespace {

using test::ReadPosixFile;

const std::string kPkk = HALVORA_BINARY_DIR "/tools/pkk";

class PkkTest : public test::TempTree {
  protected:
    // Runs pkk in `cwd` (a directory under the root; the root itself by default).
    test::ProcessResult Pkk(const std::vector<std::string>& args, const std::string& cwd = {},
                            bool likeAUser = false) {
        std::vector<std::string> argv{kPkk};
        argv.insert(argv.end(), args.begin(), args.end());
        test::ProcessOptions o;
        o.cwd = Root() + "/" + cwd;
        o.outputDir = Root();
        o.likeAUser = likeAUser;
        return test::RunProcess(argv, o);
    }
    // Runs pkk expecting success; its output.
    std::string PkkOk(const std::vector<std::string>& args, const std::string& cwd = {}) {
        const auto r = Pkk(args, cwd);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }
};

// What only the command line adds to the container: a tree named by "." with
// -r in one rewrite, case twins as two members, names printed in the
// terminal's encoding, -o and -j; the files it cannot take are named on stderr
// with exit status 3.
TEST_F(PkkTest, TreeListingAndExtractionOptions) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty", ""},
        {"sub/deeper/zeros.bin", std::string(100000, '\0')},
        {"twin.txt", "lower"},
        {"TWIN.txt", "upper"},
        {"Отчёт за май.txt", "report\n"},
    };
    for (const auto& [name, content] : files) CreateFile("src/" + name, content);
    CreateFile("src/café.txt", "accent");
    const std::string locked = CreateFile("src/locked.txt", "secret");
    chmod(locked.c_str(), 0);
    const auto r = Pkk({"a", "-r", "arc.pkk", "."}, "src", true);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("pkk: skipped " + locked + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("pkk: skipped " + Root() + "/src/café.txt: "), std::string::npos) << r.err;
    const std::string list = PkkOk({"l", "src/arc.pkk"});
    EXPECT_NE(list.find(" Отчёт за май.txt\n"), std::string::npos) << list;
    EXPECT_NE(list.find("1 0 0 "), std::string::npos) << list;  // the empty file, stored
    EXPECT_NE(list.find(" sub\\deeper\\zeros.bin\n"), std::string::npos) << list;
    EXPECT_EQ(list.find("locked"), std::string::npos);

    PkkOk({"x", "-o", "out", "src/arc.pkk"});
    for (const auto& [name, content] : files)
        EXPECT_EQ(ReadPosixFile(Root() + "/out/" + name), content) << name;
    PkkOk({"x", "-o", "flat", "-j", "src/arc.pkk", "sub/deeper/zeros.bin"});
    EXPECT_EQ(ReadPosixFile(Root() + "/flat/zeros.bin"), std::string(100000, '\0'));
}

TEST_F(PkkTest, ListUpdateDeleteCommentAndExitCodes) {
    CreateFile("w/a.txt", "alpha");
    CreateFile("w/b.txt", std::string(10000, 'b'));
    PkkOk({"a", "-s", "-b", "w", "arc", "w/a.txt", "w/b.txt"});
    ASSERT_TRUE(Exists(Root() + "/arc.PKK"));
    const std::string l = PkkOk({"l", "arc.PKK"});
    char line[64];
    std::snprintf(line, sizeof line, "1 5 5 %08X a.txt\n",
                  static_cast<uint32_t>(FileAge(*ToWindowsPath(Root() + "/w/a.txt"))));
    EXPECT_EQ(l.substr(0, l.find('\n') + 1), line);
    EXPECT_NE(l.find("1 10000 10000 "), std::string::npos);  // -s stored it

    // A changed file is added again (an unchanged one is the container's test).
    test::WritePosixFile(Root() + "/w/a.txt", "alpha, changed");
    PkkOk({"u", "-b", "w", "arc.PKK", "w/a.txt"});
    EXPECT_NE(PkkOk({"l", "arc.PKK"}).find("1 14 14 "), std::string::npos);

    PkkOk({"c", "arc.PKK", "Комментарий"});
    TPackFileObject a;
    a.SetArchiveName(*ToWindowsPath(Root() + "/arc.PKK"));
    a.SetActive(true);
    EXPECT_EQ(AnsiToUtf8(a.ArchiveHeader().Comment), "Комментарий");
    a.SetActive(false);

    const auto missing = Pkk({"d", "arc.PKK", "nothing.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "pkk: error -214: File nothing.txt not found in archive\n");

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{}, {"q", "arc"}, {"a", "arc"}, {"x", "-z", "arc"}})
        EXPECT_EQ(Pkk(bad).status, 2);
    const auto help = Pkk({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("pkk x [-o DIR] [-j] [-t N] ARCHIVE [NAME...]"), std::string::npos);
    const auto notArc = Pkk({"l", "w/a.txt"});
    EXPECT_EQ(notArc.status, 1);
    EXPECT_EQ(notArc.err, "pkk: error -206: Invalid archive header\n");
    EXPECT_EQ(ReadPosixFile(Root() + "/w/a.txt"), "alpha, changed");
}

TEST_F(PkkTest, RealArjArchiveIsListedButNeverChanged) {
    CreateFile("w/a.txt", "hello arj\n");
    // arj on Linux keeps Unix seconds; shown raw they read as dates years away.
    const int32_t stamp = EncodeDosDateTime({2020, 5, 17, 10, 30, 0});
    ASSERT_TRUE(SetFileDate(*ToWindowsPath(Root() + "/w/a.txt"), stamp));
    const std::string text = test::Rows(20000);
    CreateFile("w/sub/b.txt", text);
    test::ProcessOptions o;
    o.cwd = Root() + "/w";
    o.outputDir = Root();
    ASSERT_EQ(test::RunProcess({"arj", "a", "-r", "../x.arj", "a.txt", "sub/b.txt"}, o).status, 0);
    const std::string bytes = ReadPosixFile(Root() + "/x.arj");

    TPackFileObject a;
    a.SetArchiveName(*ToWindowsPath(Root() + "/x.arj"));
    EXPECT_EQ(a.GetArchiveType(), kArcTypeArj);
    a.SetActive(true);
    EXPECT_EQ(a.ArchiveHeader().Name, "x.arj");
    EXPECT_EQ(ArchiveVersionText(a.ArchiveHeader().Version, a.ArchiveType()), "11");
    EXPECT_LT(std::abs(UnixFromDosDateTime(a.ArchiveHeader().Created) - time(nullptr)), 3600);
    EXPECT_EQ(a.FileHeader().Modified, stamp);
    std::vector<std::pair<std::string, uint32_t>> members;
    for (; !a.EndOfArchive(); a.ReadNext())
        members.emplace_back(a.MemberName(), a.FileHeader().UnpackedSize);
    a.SetActive(false);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0], std::make_pair(std::string("a.txt"), 10u));
    EXPECT_EQ(ExtractFileName(members[1].first), "b.txt");
    EXPECT_EQ(members[1].second, text.size());

    EXPECT_THROW(test::Run(a, kArcOpExtract, "a.txt"), EArchiveObjectError);
    EXPECT_EQ(a.ResultCode(), kArcOtherType);
    const auto add = Pkk({"a", "x.arj", "w/a.txt"});
    EXPECT_EQ(add.status, 1);
    EXPECT_EQ(add.err, "pkk: error -208: Other archive type\n");
    PkkOk({"l", "x.arj"});
    EXPECT_EQ(ReadPosixFile(Root() + "/x.arj"), bytes);
}

// pkk l and pkk x on an archive whose first member header says size 0 with
// bytes behind it once read it as empty, deleted it and exited 0. A damaged
// archive is reported and kept (one holding only a comment is the container's
// test); pkk d of an archive that is not there makes none.
TEST_F(PkkTest, ListingADamagedArchiveReportsItAndKeepsIt) {
    CreateFile("w/a.txt", "alpha");
    CreateFile("w/b.txt", "beta");
    PkkOk({"a", "arc.pkk", "a.txt", "b.txt"}, "w");
    const std::string arc = Root() + "/w/arc.pkk";
    std::string bytes = ReadPosixFile(arc);
    bytes[38 + 7 + 2 + 2] = bytes[38 + 7 + 2 + 3] = 0;  // behind "arc.pkk" and its empty comment
    test::WritePosixFile(arc, bytes);
    for (const std::vector<std::string>& cmd :
         {std::vector<std::string>{"l", "arc.pkk"}, {"x", "-o", "out", "arc.pkk"}}) {
        SCOPED_TRACE(cmd[0]);
        const auto r = Pkk(cmd, "w");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "pkk: error -209: Archive corrupted\n");
        EXPECT_TRUE(ReadPosixFile(arc) == bytes);
    }
    EXPECT_EQ(Pkk({"d", "arc2.pkk", "a.txt"}, "w").status, 1);
    EXPECT_FALSE(Exists(Root() + "/w/arc2.pkk"));
}

}  // namespace
}  // namespace hv
