// pkk: the command-line face of the pack archive container.
//
// Paths on the command line are Linux paths (UTF-8); the container works on
// Windows paths in 1251, so every path goes through the platform layer.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;
using namespace hv;

namespace {

const char kUsage[] =
    "usage: pkk COMMAND [OPTIONS] ARCHIVE [ARGS]\n"
    "  pkk a [-s] [-r] [-b BASEDIR] [-t N] ARCHIVE FILE...   add or replace files\n"
    "                                            -s stores without packing\n"
    "                                            -r walks the subdirectories of a named directory\n"
    "  pkk u [-r] [-b BASEDIR] [-t N] ARCHIVE FILE...  add files that changed since they were stored\n"
    "  pkk d ARCHIVE NAME...                     delete members by stored name\n"
    "  pkk x [-o DIR] [-j] [-t N] ARCHIVE [NAME...]  extract (all members when no names)\n"
    "                                            -j drops the directories of the names\n"
    "  pkk l ARCHIVE                             list: METHOD UNPACKED PACKED DOSTIME NAME\n"
    "  pkk c ARCHIVE TEXT                        set the archive comment\n"
    "A named directory adds the files in it (with -r, those below it too).\n"
    "Every command changes the archive once, however many names it is given.\n"
    "Stored names are relative to BASEDIR (default: the current directory).\n"
    "-t N packs or unpacks on N threads (default: one per core); the archive is the same.\n"
    "An ARCHIVE without extension gets \".PKK\".\n"
    "Exit status: 0 done, 1 archive error, 2 usage, 3 done but files left out (named on stderr).\n";

struct UsageError {
    std::string text;
};

// A failure already reported; only the exit status is left to give.
struct Failed {};

std::optional<std::string> WindowsPath(const std::string& linuxPath) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(linuxPath), ec);
    if (ec) return std::nullopt;
    std::string s = p.lexically_normal().string();
    if (s.size() > 1 && s.back() == '/') s.pop_back();
    return ToWindowsPath(s);
}

std::string RequirePath(const std::string& linuxPath) {
    auto w = WindowsPath(linuxPath);
    if (!w) {
        std::fprintf(stderr, "pkk: %s: not reachable through a drive\n", linuxPath.c_str());
        throw Failed{};
    }
    return *w;
}

// A stored name as typed: UTF-8, either separator.
std::string MemberName(const std::string& arg) {
    std::string n = Utf8ToAnsi(arg);
    for (char& c : n)
        if (c == '/') c = '\\';
    return n;
}

// Percent done of a long call on a terminal; quiet otherwise.
class Progress {
  public:
    explicit Progress(TPackFileObject& arc, const char* label) : arc_(arc), label_(label) {
        if (!isatty(2)) return;
        arc.OnProgress = [this](TPackFileObject&, int32_t done, int32_t total) {
            if (total <= 100) return;  // the start and end marks of an operation
            int pct = static_cast<int>(static_cast<int64_t>(done) * 100 / total);
            if (pct == last_) return;
            last_ = pct;
            std::fprintf(stderr, "\r%s %3d%%", label_, pct);
            std::fflush(stderr);
            shown_ = true;
        };
    }
    ~Progress() {
        arc_.OnProgress = nullptr;
        if (shown_) std::fprintf(stderr, "\r%*s\r", static_cast<int>(std::strlen(label_)) + 6, "");
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

  private:
    TPackFileObject& arc_;
    const char* label_;
    bool shown_ = false;
    int last_ = -1;
};

struct Options {
    bool storeOnly = false;
    bool nameOnly = false;
    bool recurse = false;
    int workers = 0;
    std::string baseDir;
    std::string outDir;
    std::vector<std::string> rest;
};

Options ParseOptions(char cmd, int argc, char** argv, int first) {
    Options o;
    bool optionsDone = false;
    const bool adds = cmd == 'a' || cmd == 'u';
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && o.rest.empty() && a.size() > 1 && a[0] == '-') {
            if (a == "-s" && cmd == 'a') {
                o.storeOnly = true;
            } else if (a == "-r" && adds) {
                o.recurse = true;
            } else if (a == "-j" && cmd == 'x') {
                o.nameOnly = true;
            } else if (a == "-b" && adds && i + 1 < argc) {
                o.baseDir = argv[++i];
            } else if (a == "-o" && cmd == 'x' && i + 1 < argc) {
                o.outDir = argv[++i];
            } else if (a == "-t" && (adds || cmd == 'x') && i + 1 < argc) {
                char* end = nullptr;
                const long n = std::strtol(argv[++i], &end, 10);
                if (!end || *end || n < 1 || n > 256) throw UsageError{"-t needs a number of threads"};
                o.workers = static_cast<int>(n);
            } else {
                throw UsageError{"unknown option " + a};
            }
        } else {
            o.rest.push_back(a);
        }
    }
    return o;
}

// A file to add: its Windows name and, from a directory walk, its entry.
struct Source {
    std::string name;
    std::optional<FindData> entry;
};

// The files of a directory (with Recurse, of the tree below it) as the
// directory listing gives them: files first, then each subdirectory. Links to
// directories are not followed.
void Walk(const std::string& dir, bool recurse, const std::string& archivePosix,
          std::vector<Source>& out) {
    std::vector<std::string> subs;
    FindFile ff;
    for (bool ok = ff.First(dir + "\\*", kAttrReadOnly | kAttrHidden | kAttrArchive | kAttrDirectory);
         ok; ok = ff.Next()) {
        const FindData& d = ff.Data();
        if (d.IsDirectory()) {
            if (recurse) subs.push_back(d.name);
            continue;
        }
        if (!archivePosix.empty() && d.PosixPath() == archivePosix) continue;
        out.push_back({dir + "\\" + d.name, d});
    }
    ff.Close();
    for (const std::string& s : subs) Walk(dir + "\\" + s, recurse, archivePosix, out);
}

// Files named on the command line, directories walked; the archive itself is left out.
std::vector<Source> CollectFiles(const std::vector<std::string>& args, bool recurse,
                                 const std::string& archivePosix) {
    std::vector<Source> out;
    for (const auto& a : args) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(a, ec))) {
            Walk(RequirePath(a), recurse, archivePosix, out);
            continue;
        }
        if (!archivePosix.empty() && fs::equivalent(a, archivePosix, ec)) continue;
        out.push_back({RequirePath(a), std::nullopt});
    }
    return out;
}

void Report(const EArchiveObjectError& e) {
    std::fprintf(stderr, "pkk: error %d: %s\n", e.Code(), AnsiToUtf8(e.what()).c_str());
}

// Names the files a batch left out; exit status 3 when there were any.
int ReportSkipped(const TPackFileObject& arc) {
    for (const TSkippedSource& s : arc.Skipped())
        std::fprintf(stderr, "pkk: skipped %s: %s\n",
                     s.PosixPath.empty() ? AnsiToUtf8(s.FileName).c_str() : s.PosixPath.c_str(),
                     AnsiToUtf8(s.Cause).c_str());
    return arc.Skipped().empty() ? 0 : 3;
}

int AddFiles(TPackFileObject& arc, char cmd, const Options& o) {
    if (o.rest.size() < 2) throw UsageError{"an archive and at least one file are needed"};
    arc.BaseDir = o.baseDir.empty() ? GetCurrentDir() : RequirePath(o.baseDir);
    arc.StoreOnly = o.storeOnly;
    arc.Workers = o.workers;
    auto archivePosix = ToPosixPath(arc.ArchiveName());
    std::vector<std::string> args(o.rest.begin() + 1, o.rest.end());
    const std::vector<Source> files =
        CollectFiles(args, o.recurse, archivePosix ? *archivePosix : std::string());
    arc.BeginUpdate();
    arc.Operation = cmd == 'a' ? kArcOpAdd : kArcOpUpdate;
    for (const Source& f : files) {
        if (f.entry)
            arc.SetFileName(f.name, *f.entry);
        else
            arc.SetFileName(f.name);
        arc.Execute();
    }
    Progress progress(arc, "pkk");
    if (arc.Commit() == kPackStopped) return 1;
    return ReportSkipped(arc);
}

int DeleteMembers(TPackFileObject& arc, const Options& o) {
    if (o.rest.size() < 2) throw UsageError{"an archive and at least one name are needed"};
    arc.KeepDrive = true;  // names are taken exactly as stored
    std::vector<std::string> names;
    for (size_t i = 1; i < o.rest.size(); ++i) names.push_back(MemberName(o.rest[i]));
    arc.DeleteMembers(names);
    // An archive left without members goes away when it is closed.
    arc.SetActive(true);
    arc.SetActive(false);
    return 0;
}

void RequireArchive(TPackFileObject& arc) {
    if (!FileExists(arc.ArchiveName()))
        throw EArchiveObjectError(kArcIoError,
                                  ArchiveErrorText(kArcIoError, arc.ArchiveName(), false));
    if (!arc.IsArchive())
        throw EArchiveObjectError(kArcBadHeader, ArchiveErrorText(kArcBadHeader, {}, false));
}

int Extract(TPackFileObject& arc, const Options& o) {
    if (o.rest.empty()) throw UsageError{"an archive is needed"};
    RequireArchive(arc);
    arc.ExtractDir = o.outDir.empty() ? GetCurrentDir() : RequirePath(o.outDir);
    arc.ExtractNameOnly = o.nameOnly;
    arc.KeepDrive = true;  // names are taken exactly as stored
    arc.Workers = o.workers;
    std::vector<std::string> names;
    if (o.rest.size() > 1) {
        for (size_t i = 1; i < o.rest.size(); ++i) names.push_back(MemberName(o.rest[i]));
    } else {
        names = arc.MemberNames();
    }
    Progress progress(arc, "pkk");
    return arc.ExtractMembers(names) == kPackStopped ? 1 : 0;
}

int List(TPackFileObject& arc, const Options& o) {
    if (o.rest.size() != 1) throw UsageError{"exactly one archive is needed"};
    RequireArchive(arc);
    arc.SetActive(true);
    for (arc.ReadFirst(); !arc.EndOfArchive(); arc.ReadNext()) {
        const auto& h = arc.FileHeader();
        std::printf("%u %u %u %08X %s\n", static_cast<unsigned>(h.Method), h.UnpackedSize,
                    h.PackedSize, static_cast<uint32_t>(h.Modified), AnsiToUtf8(h.Name).c_str());
    }
    arc.SetActive(false);
    return 0;
}

int SetComment(TPackFileObject& arc, const Options& o) {
    if (o.rest.size() != 2) throw UsageError{"an archive and the comment text are needed"};
    RequireArchive(arc);
    arc.SetComment(Utf8ToAnsi(o.rest[1]));
    return 0;
}

int Run(int argc, char** argv) {
    if (argc < 2) throw UsageError{"no command"};
    std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (cmd.size() != 1 || std::string("audxlc").find(cmd[0]) == std::string::npos)
        throw UsageError{"unknown command " + cmd};
    Options o = ParseOptions(cmd[0], argc, argv, 2);
    if (o.rest.empty()) throw UsageError{"no archive"};
    TPackFileObject arc;
    arc.SetArchiveName(RequirePath(o.rest[0]));
    switch (cmd[0]) {
        case 'a':
        case 'u':
            return AddFiles(arc, cmd[0], o);
        case 'd':
            return DeleteMembers(arc, o);
        case 'x':
            return Extract(arc, o);
        case 'l':
            return List(arc, o);
        default:
            return SetComment(arc, o);
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "pkk: %s\n%s", e.text.c_str(), kUsage);
        return 2;
    } catch (const Failed&) {
        return 1;
    } catch (const EArchiveObjectError& e) {
        Report(e);
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pkk: %s\n", AnsiToUtf8(e.what()).c_str());
        return 1;
    }
}
