// The program directory and the private temporary directory.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/CodePage.h"
#include "platform/Platform.h"

namespace hv {

namespace {

std::string WithBackslash(std::string p) {
    if (p.empty() || p.back() != '\\') p += '\\';
    return p;
}

bool MakeDirs(const std::string& posix, mode_t mode) {
    std::string cur;
    for (size_t i = 0; i <= posix.size(); ++i) {
        if (i == posix.size() || (posix[i] == '/' && i > 0)) {
            cur = posix.substr(0, i);
            if (mkdir(cur.c_str(), mode) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

std::string WindowsOf(const std::string& posix) {
    auto w = ToWindowsPath(posix);
    if (!w) throw std::runtime_error("no drive holds " + posix);
    return WithBackslash(*w);
}

}  // namespace

std::string ExecutableDir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string p(buf, static_cast<size_t>(n));
    size_t slash = p.find_last_of('/');
    return slash == 0 ? "/" : p.substr(0, slash);
}

std::string TempDir() {
    const char* env = std::getenv("TMPDIR");
    std::string base = (env && *env) ? env : "/tmp";
    std::string dir = base + "/halvora-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create the temporary directory " + dir);
    struct stat st;
    // A planted link or a directory others can reach would let them swap the run files.
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 077) != 0)
        throw std::runtime_error("the temporary directory " + dir +
                                 " belongs to someone else or is open to others");
    return WindowsOf(dir);
}

std::string DefaultProgramDir(const std::string& exeDir) {
    std::string dir = exeDir;
    const auto name = [](const std::string& d) { return d.substr(d.find_last_of('/') + 1); };
    const std::string parent = dir.substr(0, dir.find_last_of('/'));
    // The tools of a build tree sit in tools/ below the program's own directory,
    // and must see the same settings and projects as the program.
    if (name(dir) == "tools" && access((parent + "/halvora").c_str(), X_OK) == 0) dir = parent;
    // An installed program (.../bin) keeps its data with the user's data, never
    // among the programs, even when the user may write there (~/.local/bin).
    if (name(dir) != "bin" && access(dir.c_str(), W_OK) == 0) return WindowsOf(dir);
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string data;
    if (xdg && *xdg) {
        data = xdg;
    } else {
        const char* h = std::getenv("HOME");
        data = std::string(h && *h ? h : "/tmp") + "/.local/share";
    }
    data += "/halvora";
    MakeDirs(data, 0755);
    return WindowsOf(data);
}

std::string ProgramDir() {
    const char* home = std::getenv("HALVORA_HOME");
    if (home && *home) {
        MakeDirs(home, 0755);
        return WindowsOf(home);
    }
    return DefaultProgramDir(ExecutableDir());
}

}  // namespace hv
