#include "platform/CmdInterpreter.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "platform/Process.h"

extern char** environ;

namespace hv {

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string LowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "Arj", "ARJ.EXE", "C:\DOS\PKZIP.COM" -> "arj", "arj", "pkzip".
std::string ProgramStem(const std::string& word) {
    std::string name = LowerAscii(ExtractFileName(word));
    for (const char* ext : {".exe", ".com"}) {
        size_t n = std::strlen(ext);
        if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) name.resize(name.size() - n);
    }
    return name;
}

bool IsDrivePath(const std::string& s) {
    if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) return true;
    return s.size() >= 2 && (s[0] == '\\' || s[0] == '/') && s[0] == s[1];
}

std::string PosixOf(const std::string& winPath) {
    auto p = ToPosixPath(winPath);
    return p ? *p : AnsiToUtf8(winPath);
}

}  // namespace

BatchLine ParseBatchLine(const std::string& raw) {
    BatchLine out;
    std::string line = Trim(raw);
    if (!line.empty() && line[0] == '@') {
        out.quiet = true;
        line = Trim(line.substr(1));
    }
    if (line.empty()) return out;
    std::string upper = AnsiUpper(line);
    auto firstWord = upper.substr(0, upper.find_first_of(" \t.>"));
    if (firstWord == "REM") {
        out.kind = BatchLine::Kind::Rem;
        return out;
    }
    // Redirections are taken off the line before anything else looks at it.
    std::string rest;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == '>' || c == '<')) {
            bool append = c == '>' && i + 1 < line.size() && line[i + 1] == '>';
            size_t j = i + (append ? 2 : 1);
            while (j < line.size() && (line[j] == ' ' || line[j] == '\t')) ++j;
            std::string target;
            bool q = false;
            while (j < line.size() && (q || (line[j] != ' ' && line[j] != '\t' && line[j] != '>' && line[j] != '<'))) {
                if (line[j] == '"')
                    q = !q;
                else
                    target += line[j];
                ++j;
            }
            if (c == '<') {
                out.inFile = target;
            } else {
                out.outFile = target;
                out.append = append;
            }
            i = j - 1;
            continue;
        }
        rest += c;
    }
    rest = Trim(rest);
    upper = AnsiUpper(rest);
    if (upper == "ECHO OFF") {
        out.kind = BatchLine::Kind::EchoOff;
    } else if (upper == "ECHO ON") {
        out.kind = BatchLine::Kind::EchoOn;
    } else if (upper == "ECHO" || upper.rfind("ECHO ", 0) == 0 || upper.rfind("ECHO.", 0) == 0) {
        out.kind = BatchLine::Kind::Echo;
        out.text = rest.size() > 5 ? rest.substr(5) : std::string();
    } else if (upper == "CD" || upper.rfind("CD ", 0) == 0 || upper.rfind("CD\\", 0) == 0 ||
               upper.rfind("CHDIR ", 0) == 0) {
        out.kind = BatchLine::Kind::Cd;
        out.text = Trim(rest.substr(upper.rfind("CHDIR", 0) == 0 ? 5 : 2));
        if (out.text.size() >= 2 && out.text.front() == '"' && out.text.back() == '"')
            out.text = out.text.substr(1, out.text.size() - 2);
    } else if (rest.empty()) {
        out.kind = BatchLine::Kind::Empty;
    } else {
        out.kind = BatchLine::Kind::Call;
        out.words = SplitCommandLine(rest);
    }
    return out;
}

ProgramCall AdaptCall(const ProgramCall& call) {
    std::string stem = ProgramStem(call.program);
    ProgramCall out = call;
    if (stem == "arj" || stem == "rar") {
        out.program = stem;
        return out;
    }
    if (stem != "pkzip") return out;
    // PKZIP [options] ARCHIVE [@LIST | names…] -> zip [options] ARCHIVE names… / -@ < LIST
    out.program = "zip";
    out.args.clear();
    std::vector<std::string> opts, names;
    std::string archive;
    for (const auto& a : call.args) {
        if (a.size() > 1 && a[0] == '-' && archive.empty()) {
            std::string o = LowerAscii(a.substr(1));
            if (o == "a") {
            } else if (o == "u" || o == "f" || o == "m") {
                opts.push_back("-" + o);
            } else if (o == "ex") {
                opts.push_back("-9");
            } else if (o == "en") {
                opts.push_back("-6");
            } else if (o == "ef") {
                opts.push_back("-3");
            } else if (o == "es" || o == "e1") {
                opts.push_back("-1");
            } else if (o == "e0") {
                opts.push_back("-0");
            } else if (o == "r" || o == "rp") {
                opts.push_back("-r");
            } else if (o.size() > 1 && o[0] == 's') {
                opts.push_back("-P");
                opts.push_back(a.substr(2));
            } else {
                out.notes.push_back("PKZIP option " + a + " has no zip counterpart and was left out");
            }
        } else if (archive.empty()) {
            archive = a;
        } else if (a.size() > 1 && a[0] == '@') {
            out.stdinFile = a.substr(1);
            names.push_back("-@");
        } else {
            names.push_back(a);
        }
    }
    out.args = opts;
    if (!archive.empty()) out.args.push_back(archive);
    for (const auto& n : names) out.args.push_back(n);
    return out;
}

std::string TranslateListText(const std::string& oemText) {
    char cwdBuf[4096];
    std::string cwd = getcwd(cwdBuf, sizeof cwdBuf) ? cwdBuf : "";
    std::string out;
    std::istringstream in(oemText);
    std::string line;
    while (std::getline(in, line)) {
        std::string name = Trim(OemToAnsi(line));
        if (name.empty()) continue;
        std::string posix = PosixOf(ExpandFileName(name));
        if (!cwd.empty() && posix.size() > cwd.size() + 1 && posix.compare(0, cwd.size(), cwd) == 0 &&
            posix[cwd.size()] == '/' && !IsDrivePath(name))
            posix = posix.substr(cwd == "/" ? 1 : cwd.size() + 1);
        out += posix;
        out += '\n';
    }
    return out;
}

std::string TranslateArgument(const std::string& arg, const std::string& copyDir,
                              std::vector<std::string>& copies) {
    if (arg.size() > 1 && (arg[0] == '!' || arg[0] == '@')) {
        std::string listPath = PosixOf(ExpandFileName(arg.substr(1)));
        std::ifstream in(listPath, std::ios::binary);
        if (!in) return arg.substr(0, 1) + listPath;
        std::ostringstream text;
        text << in.rdbuf();
        std::string copy = copyDir + "/list-" + std::to_string(getpid()) + "-" +
                           std::to_string(copies.size()) + ".lst";
        std::ofstream outFile(copy, std::ios::binary | std::ios::trunc);
        outFile << TranslateListText(text.str());
        copies.push_back(copy);
        return arg.substr(0, 1) + copy;
    }
    if (IsDrivePath(arg)) return PosixOf(arg);
    return AnsiToUtf8(arg);
}

namespace {

bool IsTopLevelDotName(const std::string& name) {
    return !name.empty() && name[0] == '.' && name.find('/') == std::string::npos;
}

template <class F>
void ForEachLine(const std::string& text, F&& f) {
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string::npos) j = text.size();
        f(text.substr(i, j - i));
        i = j + 1;
    }
}

// A subdirectory of the current directory for RouteArjDotNames: the first
// real one, else one made for the call (Made is set; remove it afterwards).
std::string DotNameRoute(bool& made) {
    made = false;
    std::string best;
    if (DIR* d = opendir(".")) {
        while (dirent* de = readdir(d)) {
            std::string n = de->d_name;
            if (n.empty() || n[0] == '.') continue;
            struct stat st;
            if (lstat(n.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (best.empty() || n < best)) best = n;
        }
        closedir(d);
    }
    if (!best.empty()) return best;
    made = mkdir("HVDOT.TMP", 0700) == 0;
    return made ? "HVDOT.TMP" : std::string();
}

}  // namespace

bool HasTopLevelDotName(const std::string& listText) {
    bool any = false;
    ForEachLine(listText, [&](const std::string& line) { any = any || IsTopLevelDotName(line); });
    return any;
}

std::string RouteArjDotNames(const std::string& listText, const std::string& via) {
    std::string out;
    ForEachLine(listText, [&](const std::string& line) {
        if (line.empty()) return;
        out += IsTopLevelDotName(line) && !via.empty() ? via + "/../" + line : line;
        out += '\n';
    });
    return out;
}

std::string FindProgram(const std::string& word) {
    if (word.find_first_of("\\/") != std::string::npos || (word.size() > 1 && word[1] == ':')) {
        std::string p = PosixOf(ExpandFileName(word));
        return access(p.c_str(), X_OK) == 0 ? p : std::string();
    }
    std::string stem = ProgramStem(word);
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::vector<std::string> list;
    for (size_t i = 0; i <= dirs.size();) {
        size_t j = dirs.find(':', i);
        if (j == std::string::npos) j = dirs.size();
        if (j > i) list.push_back(dirs.substr(i, j - i));
        i = j + 1;
    }
    for (const auto& d : list) {
        std::string cand = d + "/" + stem;
        struct stat st;
        if (stat(cand.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(cand.c_str(), X_OK) == 0) return cand;
    }
    for (const auto& d : list) {
        DIR* dir = opendir(d.c_str());
        if (!dir) continue;
        std::string found;
        while (dirent* de = readdir(dir)) {
            if (LowerAscii(de->d_name) == stem) {
                std::string cand = d + "/" + de->d_name;
                if (access(cand.c_str(), X_OK) == 0) {
                    found = cand;
                    break;
                }
            }
        }
        closedir(dir);
        if (!found.empty()) return found;
    }
    return std::string();
}

namespace {

// Where the text of one command goes: the terminal (converted to UTF-8) or a
// redirected file (kept in OEM).
class Sink {
public:
    explicit Sink(const BatchLine& line) {
        if (!line.outFile.empty()) {
            std::string p = PosixOf(ExpandFileName(OemToAnsi(line.outFile)));
            fd_ = open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (line.append ? O_APPEND : O_TRUNC), 0666);
            redirected_ = true;
        }
    }
    ~Sink() {
        if (redirected_ && fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    bool redirected() const { return redirected_; }
    int fd() const { return fd_; }
    // Text given in OEM.
    void WriteOem(const std::string& oem) { WriteRaw(redirected_ ? oem : OemToUtf8(oem)); }
    void WriteUtf8(const std::string& utf8) { WriteRaw(redirected_ ? Utf8ToOem(utf8) : utf8); }
    void WriteRaw(const std::string& s) {
        size_t done = 0;
        while (done < s.size()) {
            ssize_t n = write(fd_, s.data() + done, s.size() - done);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                return;
            }
            done += static_cast<size_t>(n);
        }
    }

private:
    int fd_ = STDOUT_FILENO;
    bool redirected_ = false;
};

// Length of the longest prefix of S that ends on a whole UTF-8 character.
size_t CompleteUtf8(const std::string& s) {
    size_t n = s.size();
    for (size_t back = 1; back <= 3 && back <= n; ++back) {
        unsigned char c = static_cast<unsigned char>(s[n - back]);
        if ((c & 0xC0) == 0x80) continue;
        size_t need = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        return need > back ? n - back : n;
    }
    return n;
}

int RunCall(const BatchLine& line, const std::string& copyDir) {
    Sink sink(line);
    if (!sink.ok()) {
        std::fprintf(stderr, "halvora-cmd: cannot open %s\n", line.outFile.c_str());
        return 1;
    }
    std::vector<std::string> copies;
    ProgramCall call;
    call.program = line.words[0];
    for (size_t i = 1; i < line.words.size(); ++i)
        call.args.push_back(TranslateArgument(line.words[i], copyDir, copies));
    if (!line.inFile.empty()) call.stdinFile = PosixOf(ExpandFileName(line.inFile));
    call = AdaptCall(call);
    // Names arj would hang on are handed over by way of a subdirectory.
    bool madeRoute = false;
    if (call.program == "arj") {
        for (const auto& c : copies) {
            std::ifstream in(c, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            if (!HasTopLevelDotName(text.str())) continue;
            const std::string via = madeRoute ? std::string("HVDOT.TMP") : DotNameRoute(madeRoute);
            std::ofstream(c, std::ios::binary | std::ios::trunc) << RouteArjDotNames(text.str(), via);
        }
    }
    // A list handed over on standard input was a list-file argument: use the translated copy.
    if (!call.stdinFile.empty() && call.stdinFile[0] != '/')
        call.stdinFile = PosixOf(ExpandFileName(call.stdinFile));
    for (const auto& n : call.notes) sink.WriteUtf8("halvora-cmd: " + n + "\r\n");

    std::string exe = FindProgram(call.program);
    int status = 9009;
    if (exe.empty()) {
        sink.WriteUtf8("Bad command or file name: " + AnsiToUtf8(line.words[0]) + " (" + call.program +
                       " is not installed)\r\n");
    } else {
        std::vector<std::string> argv{exe};
        for (const auto& a : call.args) argv.push_back(a);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        int pipeFd[2] = {-1, -1};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (sink.redirected()) {
            if (pipe2(pipeFd, O_CLOEXEC) != 0) return 1;
            posix_spawn_file_actions_adddup2(&fa, pipeFd[1], STDOUT_FILENO);
            posix_spawn_file_actions_adddup2(&fa, pipeFd[1], STDERR_FILENO);
        }
        if (!call.stdinFile.empty())
            posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, call.stdinFile.c_str(), O_RDONLY, 0);
        else
            posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        pid_t pid;
        int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (pipeFd[1] >= 0) close(pipeFd[1]);
        if (rc != 0) {
            sink.WriteUtf8("Bad command or file name: " + exe + "\r\n");
            if (pipeFd[0] >= 0) close(pipeFd[0]);
        } else {
            if (pipeFd[0] >= 0) {
                // What the program prints goes to the file in OEM, as a DOS program would write it.
                std::string pending;
                char buf[4096];
                for (;;) {
                    ssize_t n = read(pipeFd[0], buf, sizeof buf);
                    if (n < 0 && errno == EINTR) continue;
                    if (n <= 0) break;
                    pending.append(buf, static_cast<size_t>(n));
                    size_t whole = CompleteUtf8(pending);
                    sink.WriteUtf8(pending.substr(0, whole));
                    pending.erase(0, whole);
                }
                if (!pending.empty()) sink.WriteUtf8(pending);
                close(pipeFd[0]);
            }
            int ws = 0;
            while (waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
            }
            status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + (WIFSIGNALED(ws) ? WTERMSIG(ws) : 0);
        }
    }
    for (const auto& c : copies) unlink(c.c_str());
    if (madeRoute) rmdir("HVDOT.TMP");
    return status;
}

}  // namespace

int RunBatchFile(const std::string& posixPath) {
    std::ifstream in(posixPath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "halvora-cmd: cannot read %s\n", posixPath.c_str());
        return 1;
    }
    std::string copyDir;
    try {
        copyDir = PosixOf(TempDir());
    } catch (const std::exception&) {
        copyDir = "/tmp";
    }
    if (copyDir.size() > 1 && copyDir.back() == '/') copyDir.pop_back();
    bool echo = true;
    int status = 0;
    std::string raw;
    while (std::getline(in, raw)) {
        BatchLine line = ParseBatchLine(OemToAnsi(raw));
        if (echo && !line.quiet && line.kind != BatchLine::Kind::Empty) {
            std::string shown = OemToUtf8(Trim(raw));
            std::printf("%s\n", shown.c_str());
            std::fflush(stdout);
        }
        switch (line.kind) {
            case BatchLine::Kind::Empty:
            case BatchLine::Kind::Rem: break;
            case BatchLine::Kind::EchoOff: echo = false; break;
            case BatchLine::Kind::EchoOn: echo = true; break;
            case BatchLine::Kind::Echo: {
                Sink sink(line);
                if (sink.ok()) sink.WriteOem(AnsiToOem(line.text) + "\r\n");
                break;
            }
            case BatchLine::Kind::Cd:
                if (!line.text.empty() && !SetCurrentDir(line.text)) {
                    Sink sink(line);
                    sink.WriteUtf8("Invalid directory\r\n");
                }
                break;
            case BatchLine::Kind::Call: status = RunCall(line, copyDir); break;
        }
    }
    return status;
}

}  // namespace hv
