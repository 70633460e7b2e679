// Running the project's programs (and real archivers) from tests.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace hv::test {

struct ProcessOptions {
    std::vector<std::pair<std::string, std::string>> env;  // set in the child
    std::string cwd;                                       // empty: the test's own
    // Writes past this many bytes of a file fail (a full disk); 0: no limit.
    rlim_t fileSizeLimit = 0;
    // Without the capabilities that let root read and write any file, so that
    // mode bits bite as they do for a user.
    bool likeAUser = false;
    // Where stdout and stderr are collected (a directory of the test's tree).
    std::string outputDir;
};

struct ProcessResult {
    int status = -1;  // exit status, -1 when killed by a signal
    int signal = 0;
    std::string out, err;
};

// A started program; Finish waits for it and collects what it printed.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();
    void Signal(int sig);
    ProcessResult Finish();

  private:
    pid_t pid_ = -1;
    std::string outFile_, errFile_;
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options);
// What a shell command prints on stdout.
std::string ShellOutput(const std::string& command);
// Whether a live process whose command line matches Pattern (a regex) runs.
bool ProcessRuns(const std::string& pattern);
// Waits until Done holds or about Seconds have passed; the result of the last try.
bool WaitFor(const std::function<bool()>& done, double seconds);
// Drops the capabilities that let root ignore file modes from this process (and its children).
void DropFileCapabilities();

}  // namespace hv::test
