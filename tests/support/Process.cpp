#include "support/Process.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "support/TempTree.h"

namespace hv::test {

static int counter = 0;  // names the output files of each child

void DropFileCapabilities() {
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) return;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
        data[cap / 32].permitted &= ~(1u << (cap % 32));
        data[cap / 32].inheritable &= ~(1u << (cap % 32));
    }
    syscall(SYS_capset, &header, data);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    const std::string dir = options.outputDir.empty() ? "/tmp" : options.outputDir;
    const std::string tag = std::to_string(getpid()) + "-" + std::to_string(++counter);
    outFile_ = dir + "/child-" + tag + ".out";
    errFile_ = dir + "/child-" + tag + ".err";
    pid_ = fork();
    if (pid_ != 0) return;
    for (const auto& [k, v] : options.env) setenv(k.c_str(), v.c_str(), 1);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    int out = open(outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    if (options.fileSizeLimit) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit l{options.fileSizeLimit, options.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &l);
    }
    if (options.likeAUser) DropFileCapabilities();
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    unlink(outFile_.c_str());
    unlink(errFile_.c_str());
}

void ChildProcess::Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

ProcessResult ChildProcess::Finish() {
    ProcessResult r;
    int ws = 0;
    if (pid_ > 0) waitpid(pid_, &ws, 0);
    pid_ = -1;
    if (WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
    if (WIFSIGNALED(ws)) r.signal = WTERMSIG(ws);
    r.out = ReadPosixFile(outFile_);
    r.err = ReadPosixFile(errFile_);
    return r;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    ChildProcess child(argv, options);
    return child.Finish();
}

std::string ShellOutput(const std::string& command) {
    std::string out;
    if (FILE* f = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        pclose(f);
    }
    return out;
}

bool ProcessRuns(const std::string& pattern) {
    const std::regex re(pattern);
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.empty() || name[0] < '0' || name[0] > '9' || std::stoi(name) == getpid()) continue;
        // A process may end while it is read: what is gone is skipped; 'Z' has ended.
        const std::string stat = ReadPosixFile(e.path().string() + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z')
            continue;
        std::string cmdline = ReadPosixFile(e.path().string() + "/cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (!cmdline.empty() && cmdline.back() == ' ') cmdline.pop_back();
        if (std::regex_search(cmdline, re)) return true;
    }
    return false;
}

bool WaitFor(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace hv::test
