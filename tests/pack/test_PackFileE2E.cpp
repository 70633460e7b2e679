// The built pkk tool and the real arj program against the container.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "pack/PackFile.h"
#include "platform/CodePage.h"
#include "support/TempTree.h"

extern char** environ;

namespace hv {
namespace {

namespace fs = std::filesystem;
using test::ReadPosixFile;
using test::WritePosixFile;

const std::string kPkk = HALVORA_BINARY_DIR "/tools/pkk";

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Result {
    int status = -1;
    std::string out, err;
};

class PkkTest : public test::TempTree {
  protected:
    Result Pkk(const std::vector<std::string>& args, const std::string& cwd = {}) {
        std::string cmd = "cd " + Quote(cwd.empty() ? Root() : cwd) + " && " + Quote(kPkk);
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " >" + Quote(Root() + "/pkk.out") + " 2>" + Quote(Root() + "/pkk.err");
        Result r;
        int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadPosixFile(Root() + "/pkk.out");
        r.err = ReadPosixFile(Root() + "/pkk.err");
        return r;
    }
};

std::string Random(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

TEST_F(PkkTest, RoundTripOfACorpus) {
    std::string text;
    for (int i = 0; text.size() < 50000; ++i)
        text += "Строка " + std::to_string(i) + " of the text\n";
    std::string binary;
    for (unsigned i = 0; i < 70000; ++i) binary += static_cast<char>((i * i) >> 3);
    const std::vector<std::pair<std::string, std::string>> corpus = {
        {"text.txt", text},
        {"binary.bin", binary},
        {"random.bin", Random(30000, 1)},
        {"empty", ""},
        {"one", "1"},
        {"block.bin", Random(4096, 2)},
        {"sub/deeper/zeros.bin", std::string(100000, '\0')},
        {"Отчёт за май.txt", "report\n"},
    };
    for (const auto& [name, content] : corpus) CreateFile("src/" + name, content);
    Result add = Pkk({"a", "arc.pkk", "."}, Root() + "/src");
    ASSERT_EQ(add.status, 0) << add.err;
    ASSERT_TRUE(Exists(Root() + "/src/arc.pkk"));

    Result list = Pkk({"l", "src/arc.pkk"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find(" Отчёт за май.txt\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("1 0 0 "), std::string::npos) << list.out;  // the empty file, stored
    EXPECT_NE(list.out.find(" sub\\deeper\\zeros.bin\n"), std::string::npos) << list.out;

    Result x = Pkk({"x", "-o", "out", "src/arc.pkk"});
    ASSERT_EQ(x.status, 0) << x.err;
    for (const auto& [name, content] : corpus) {
        ASSERT_TRUE(Exists(Root() + "/out/" + name)) << name;
        EXPECT_EQ(ReadPosixFile(Root() + "/out/" + name), content) << name;
    }
    // -j drops the directories.
    Result j = Pkk({"x", "-o", "flat", "-j", "src/arc.pkk", "sub/deeper/zeros.bin"});
    ASSERT_EQ(j.status, 0) << j.err;
    EXPECT_EQ(ReadPosixFile(Root() + "/flat/zeros.bin"), std::string(100000, '\0'));
}

TEST_F(PkkTest, ListDeleteCommentAndExitCodes) {
    CreateFile("w/a.txt", "alpha");
    CreateFile("w/b.txt", std::string(10000, 'b'));
    ASSERT_EQ(Pkk({"a", "-s", "-b", "w", "arc", "w/a.txt", "w/b.txt"}).status, 0);
    ASSERT_TRUE(Exists(Root() + "/arc.PKK"));
    Result l = Pkk({"l", "arc.PKK"});
    ASSERT_EQ(l.status, 0);
    char line[64];
    std::snprintf(line, sizeof line, "1 5 5 %08X a.txt\n",
                  static_cast<uint32_t>(FileAge(*ToWindowsPath(Root() + "/w/a.txt"))));
    EXPECT_EQ(l.out.substr(0, l.out.find('\n') + 1), line);
    EXPECT_NE(l.out.find("1 10000 10000 "), std::string::npos);  // -s stored it

    ASSERT_EQ(Pkk({"c", "arc.PKK", "Комментарий"}).status, 0);
    TPackFileObject a;
    a.SetArchiveName(*ToWindowsPath(Root() + "/arc.PKK"));
    a.SetActive(true);
    EXPECT_EQ(AnsiToUtf8(a.ArchiveHeader().Comment), "Комментарий");
    a.SetActive(false);

    Result missing = Pkk({"d", "arc.PKK", "nothing.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "pkk: error -214: File nothing.txt not found in archive\n");
    ASSERT_EQ(Pkk({"d", "arc.PKK", "A.TXT"}).status, 0);
    ASSERT_EQ(Pkk({"d", "arc.PKK", "b.txt"}).status, 0);
    EXPECT_FALSE(Exists(Root() + "/arc.PKK"));  // no members left: removed

    EXPECT_EQ(Pkk({}).status, 2);
    EXPECT_EQ(Pkk({"q", "arc"}).status, 2);
    EXPECT_EQ(Pkk({"a", "arc"}).status, 2);
    EXPECT_EQ(Pkk({"x", "-z", "arc"}).status, 2);
    Result help = Pkk({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("pkk x [-o DIR] [-j] ARCHIVE [NAME...]"), std::string::npos);
    Result notArc = Pkk({"l", "w/a.txt"});
    EXPECT_EQ(notArc.status, 1);
    EXPECT_EQ(notArc.err, "pkk: error -206: Invalid archive header\n");
    EXPECT_EQ(ReadPosixFile(Root() + "/w/a.txt"), "alpha");
}

TEST_F(PkkTest, UpdateAddsOnlyChangedFiles) {
    CreateFile("w/a.txt", "alpha");
    ASSERT_EQ(Pkk({"a", "arc.pkk", "a.txt"}, Root() + "/w").status, 0);
    auto before = fs::last_write_time(Root() + "/w/arc.pkk");
    std::string bytes = ReadPosixFile(Root() + "/w/arc.pkk");
    ASSERT_EQ(Pkk({"u", "arc.pkk", "a.txt"}, Root() + "/w").status, 0);
    EXPECT_EQ(fs::last_write_time(Root() + "/w/arc.pkk"), before);
    EXPECT_EQ(ReadPosixFile(Root() + "/w/arc.pkk"), bytes);
    WritePosixFile(Root() + "/w/a.txt", "alpha, changed");
    ASSERT_EQ(Pkk({"u", "arc.pkk", "a.txt"}, Root() + "/w").status, 0);
    EXPECT_NE(Pkk({"l", "arc.pkk"}, Root() + "/w").out.find("1 14 14 "), std::string::npos);
}

TEST_F(PkkTest, KilledWhileAddingLeavesThePreviousArchive) {
    CreateFile("w/small.txt", "small");
    ASSERT_EQ(Pkk({"a", "arc.pkk", "small.txt"}, Root() + "/w").status, 0);
    const std::string arc = Root() + "/w/arc.pkk";
    const std::string bytes = ReadPosixFile(arc);
    // Random-ish data: packing it takes seconds, long enough to be caught midway.
    std::string big = Random(30 << 20, 5);
    for (size_t i = 0; i < big.size(); i += 3) big[i] = 'a';
    CreateFile("w/big.bin", big);

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir((Root() + "/w").c_str()) != 0) _exit(99);
        execl(kPkk.c_str(), "pkk", "a", "arc.pkk", "big.bin", static_cast<char*>(nullptr));
        _exit(98);
    }
    // Wait until the new archive is being written, then kill.
    bool caught = false;
    for (int i = 0; i < 200000 && !caught; ++i) {
        for (auto& e : fs::directory_iterator(Root() + "/w")) {
            std::error_code ec;
            if (e.path().filename().string().rfind("$pk", 0) == 0 &&
                fs::file_size(e.path(), ec) > (1u << 20))
                caught = true;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(caught) << "pkk ended before it could be killed";
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadPosixFile(arc), bytes);
    Result l = Pkk({"l", "arc.pkk"}, Root() + "/w");
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.out.find("big.bin"), std::string::npos);
}

TEST_F(PkkTest, RealArjArchiveIsListedButNeverChanged) {
    CreateFile("w/a.txt", "hello arj\n");
    std::string text;
    for (int i = 0; text.size() < 20000; ++i) text += std::to_string(i) + "\n";
    CreateFile("w/sub/b.txt", text);
    std::string cmd =
        "cd " + Quote(Root() + "/w") + " && arj a -r ../x.arj a.txt sub/b.txt >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string bytes = ReadPosixFile(Root() + "/x.arj");

    TPackFileObject a;
    a.SetArchiveName(*ToWindowsPath(Root() + "/x.arj"));
    EXPECT_EQ(a.GetArchiveType(), kArcTypeArj);
    a.SetActive(true);
    EXPECT_EQ(a.ArchiveHeader().Name, "x.arj");
    EXPECT_EQ(ArchiveVersionText(a.ArchiveHeader().Version, a.ArchiveType()), "11");
    std::vector<std::string> names;
    std::vector<uint32_t> sizes;
    for (; !a.EndOfArchive(); a.ReadNext()) {
        names.push_back(a.MemberName());
        sizes.push_back(a.FileHeader().UnpackedSize);
    }
    a.SetActive(false);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "a.txt");
    EXPECT_EQ(ExtractFileName(names[1]), "b.txt");
    EXPECT_EQ(sizes[0], 10u);
    EXPECT_EQ(sizes[1], text.size());

    a.Operation = kArcOpExtract;
    a.SetFileName("a.txt");
    EXPECT_THROW(a.Execute(), EArchiveObjectError);
    EXPECT_EQ(a.ResultCode(), kArcOtherType);
    Result add = Pkk({"a", "x.arj", "w/a.txt"});
    EXPECT_EQ(add.status, 1);
    EXPECT_EQ(add.err, "pkk: error -208: Other archive type\n");
    EXPECT_EQ(Pkk({"l", "x.arj"}).status, 0);
    EXPECT_EQ(ReadPosixFile(Root() + "/x.arj"), bytes);
}

}  // namespace
}  // namespace hv
