// pkk: the command-line face of the pack archive container.
//
// Paths on the command line are Linux paths (UTF-8); the container works on
// Windows paths in 1251, so every path goes through the platform layer.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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
    "  pkk a [-s] [-b BASEDIR] ARCHIVE FILE...   add or replace files (directories are walked)\n"
    "                                            -s stores without packing\n"
    "  pkk u [-b BASEDIR] ARCHIVE FILE...        add files that changed since they were stored\n"
    "  pkk d ARCHIVE NAME...                     delete members by stored name\n"
    "  pkk x [-o DIR] [-j] ARCHIVE [NAME...]     extract (all members when no names)\n"
    "                                            -j drops the directories of the names\n"
    "  pkk l ARCHIVE                             list: METHOD UNPACKED PACKED DOSTIME NAME\n"
    "  pkk c ARCHIVE TEXT                        set the archive comment\n"
    "Stored names are relative to BASEDIR (default: the current directory).\n"
    "An ARCHIVE without extension gets \".PKK\".\n"
    "Exit status: 0 done, 1 archive error, 2 usage.\n";

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

class Progress {
  public:
    explicit Progress(TPackFileObject& arc) : tty_(isatty(2) != 0) {
        if (!tty_) return;
        arc.OnProgress = [this](TPackFileObject&, int32_t done, int32_t total) {
            if (!active_ || total <= 0) return;
            int pct = static_cast<int>(static_cast<int64_t>(done) * 100 / total);
            if (pct == last_) return;
            last_ = pct;
            std::fprintf(stderr, "\r%s %3d%%", label_.c_str(), pct);
            std::fflush(stderr);
            shown_ = true;
        };
    }
    // Only members large enough to take a while get a progress line.
    void Begin(const std::string& label, int64_t size) {
        active_ = tty_ && size >= (4 << 20);
        label_ = label;
        last_ = -1;
    }
    void End() {
        if (shown_) std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size()) + 6, "");
        shown_ = active_ = false;
    }

  private:
    bool tty_;
    bool active_ = false;
    bool shown_ = false;
    int last_ = -1;
    std::string label_;
};

struct Options {
    bool storeOnly = false;
    bool nameOnly = false;
    std::string baseDir;
    std::string outDir;
    std::vector<std::string> rest;
};

Options ParseOptions(char cmd, int argc, char** argv, int first) {
    Options o;
    bool optionsDone = false;
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && o.rest.empty() && a.size() > 1 && a[0] == '-') {
            if (a == "-s" && cmd == 'a') {
                o.storeOnly = true;
            } else if (a == "-j" && cmd == 'x') {
                o.nameOnly = true;
            } else if (a == "-b" && (cmd == 'a' || cmd == 'u') && i + 1 < argc) {
                o.baseDir = argv[++i];
            } else if (a == "-o" && cmd == 'x' && i + 1 < argc) {
                o.outDir = argv[++i];
            } else {
                throw UsageError{"unknown option " + a};
            }
        } else {
            o.rest.push_back(a);
        }
    }
    return o;
}

// Files named on the command line, directories walked; the archive itself is left out.
std::vector<std::string> CollectFiles(const std::vector<std::string>& args,
                                      const std::string& archivePosix) {
    std::vector<std::string> files;
    for (const auto& a : args) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(a, ec))) {
            std::vector<std::string> found;
            for (auto it = fs::recursive_directory_iterator(a, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
                if (it->is_regular_file(ec) && !it->is_symlink(ec))
                    found.push_back(it->path().string());
            }
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back(a);
        }
    }
    std::vector<std::string> out;
    for (const auto& f : files) {
        std::error_code ec;
        if (!archivePosix.empty() && fs::equivalent(f, archivePosix, ec)) continue;
        out.push_back(f);
    }
    return out;
}

void Report(const EArchiveObjectError& e) {
    std::fprintf(stderr, "pkk: error %d: %s\n", e.Code(), AnsiToUtf8(e.what()).c_str());
}

int AddFiles(TPackFileObject& arc, char cmd, const Options& o) {
    if (o.rest.size() < 2) throw UsageError{"an archive and at least one file are needed"};
    arc.BaseDir = o.baseDir.empty() ? GetCurrentDir() : RequirePath(o.baseDir);
    arc.StoreOnly = o.storeOnly;
    arc.Operation = cmd == 'a' ? kArcOpAdd : kArcOpUpdate;
    auto archivePosix = ToPosixPath(arc.ArchiveName());
    Progress progress(arc);
    std::vector<std::string> files(o.rest.begin() + 1, o.rest.end());
    for (const auto& f : CollectFiles(files, archivePosix ? *archivePosix : std::string())) {
        std::string win = RequirePath(f);
        std::error_code ec;
        auto size = fs::file_size(f, ec);
        progress.Begin(f, ec ? 0 : static_cast<int64_t>(size));
        arc.SetFileName(win);
        int rc = arc.Execute();
        progress.End();
        if (rc == kPackStopped) return 1;
    }
    return 0;
}

int DeleteMembers(TPackFileObject& arc, const Options& o) {
    if (o.rest.size() < 2) throw UsageError{"an archive and at least one name are needed"};
    arc.Operation = kArcOpDelete;
    arc.KeepDrive = true;  // names are taken exactly as stored
    for (size_t i = 1; i < o.rest.size(); ++i) {
        arc.SetFileName(MemberName(o.rest[i]));
        arc.Execute();
    }
    // An archive left without members goes away when it is closed.
    arc.SetActive(true);
    arc.SetActive(false);
    return 0;
}

std::vector<std::string> AllMembers(TPackFileObject& arc) {
    std::vector<std::string> names;
    arc.SetActive(true);
    for (arc.ReadFirst(); !arc.EndOfArchive(); arc.ReadNext()) names.push_back(arc.MemberName());
    arc.SetActive(false);
    return names;
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
    arc.Operation = kArcOpExtract;
    std::vector<std::string> names;
    if (o.rest.size() > 1) {
        for (size_t i = 1; i < o.rest.size(); ++i) names.push_back(MemberName(o.rest[i]));
    } else {
        names = AllMembers(arc);
    }
    Progress progress(arc);
    arc.SetActive(true);
    for (const auto& n : names) {
        int64_t size = arc.FindMember(n) ? arc.MemberSize() : 0;
        progress.Begin(AnsiToUtf8(n), size);
        arc.SetFileName(n);
        int rc = arc.Execute();
        progress.End();
        if (rc == kPackStopped) return 1;
    }
    arc.SetActive(false);
    return 0;
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
