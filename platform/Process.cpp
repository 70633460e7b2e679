#include "platform/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/CodePage.h"

extern char** environ;

namespace hv {

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string cur;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(cur);
            cur.clear();
            inWord = false;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(cur);
    return words;
}

std::string DriveMapToEnv(const DriveMap& map) {
    std::string out;
    for (const auto& [letter, dir] : map) {
        if (!out.empty()) out += '\n';
        out += letter;
        out += '=';
        out += dir;
    }
    return out;
}

DriveMap DriveMapFromEnv(const std::string& value) {
    DriveMap map;
    size_t i = 0;
    while (i <= value.size()) {
        size_t j = value.find('\n', i);
        if (j == std::string::npos) j = value.size();
        std::string line = value.substr(i, j - i);
        if (line.size() > 2 && line[1] == '=') map[line[0]] = line.substr(2);
        i = j + 1;
    }
    return map;
}

namespace {

bool IsExecutable(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(p.c_str(), X_OK) == 0;
}

bool HasBatchExt(const std::string& name) {
    std::string ext = AnsiUpper(ExtractFileExt(name));
    return ext == ".BAT" || ext == ".CMD";
}

}  // namespace

std::string CommandInterpreterPath() {
    const char* env = std::getenv("HALVORA_CMD");
    if (env && *env) return env;
    std::string dir = ExecutableDir();
    for (const std::string& cand :
         {dir + "/halvora-cmd", dir + "/tools/halvora-cmd", dir + "/../tools/halvora-cmd",
          dir + "/../../tools/halvora-cmd"})
        if (IsExecutable(cand)) return cand;
    const char* path = std::getenv("PATH");
    std::string p = path ? path : "/usr/bin:/bin";
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find(':', i);
        if (j == std::string::npos) j = p.size();
        std::string cand = p.substr(i, j - i) + "/halvora-cmd";
        if (IsExecutable(cand)) return cand;
        i = j + 1;
    }
    return "halvora-cmd";
}

int SpawnProgram(const std::string& program, const std::string& params,
                 const std::string& startDir) {
    auto prog = ToPosixPath(program);
    struct stat st;
    if (program.empty() || !prog || stat(prog->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        SetLastError(kErrFileNotFound);
        return 0;
    }
    std::vector<std::string> argv;
    if (HasBatchExt(program)) {
        argv.push_back(CommandInterpreterPath());
        argv.push_back(*prog);
    } else {
        if (access(prog->c_str(), X_OK) != 0) {
            SetLastError(kErrAccessDenied);
            return 0;
        }
        argv.push_back(*prog);
    }
    for (const auto& w : SplitCommandLine(params)) argv.push_back(AnsiToUtf8(w));

    std::string dir;
    if (!startDir.empty()) {
        auto d = ToPosixPath(startDir);
        if (!d || stat(d->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            SetLastError(kErrPathNotFound);
            return 0;
        }
        dir = *d;
    }

    // The child sees the same drives as we do.
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind(std::string(kDriveMapEnv) + "=", 0) != 0) envStore.push_back(*e);
    envStore.push_back(std::string(kDriveMapEnv) + "=" + DriveMapToEnv(GetDriveMap()));
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    posix_spawnattr_init(&attr);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t def;
    sigemptyset(&def);
    sigaddset(&def, SIGINT);
    sigaddset(&def, SIGTERM);
    sigaddset(&def, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &def);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, args[0], &fa, &attr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        SetLastErrorFromErrno(rc);
        return 0;
    }
    return pid;
}

uint32_t PeekProcess(int pid) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return 1;  // not ours
    if (info.si_pid == 0) return kStillActive;
    if (info.si_code == CLD_EXITED) return static_cast<uint32_t>(info.si_status);
    return 128u + static_cast<uint32_t>(info.si_status);
}

void ReapProcess(int pid) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

bool ExclusiveLock::TryLock(const std::string& winPath) {
    Unlock();
    auto p = ToPosixPath(winPath);
    if (!p) {
        SetLastError(kErrPathNotFound);
        return false;
    }
    // No O_CLOEXEC: the lock goes with the programs the run starts.
    int fd = open(p->c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        SetLastError(kErrLockViolation);
        return false;
    }
    fd_ = fd;
    return true;
}

void ExclusiveLock::Unlock() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

void TerminateProcessGroup(int pid) {
    if (pid <= 0) return;
    kill(-pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        int status;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r != 0) {
            // The leader is gone; members it left behind still get the KILL.
            kill(-pid, SIGKILL);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
}

}  // namespace hv
