// TRzLauncher: starts a program or batch file without waiting and finds out,
// by polling, when it has ended and with which exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "util/Exception.h"

namespace hv {

class ELaunchError : public Exception {
public:
    explicit ELaunchError(int code)
        : Exception("LaunchError: " + std::to_string(code)), ErrorCode(code) {}
    int ErrorCode;
};

enum class TShowMode { smNormal, smMaximized, smMinimized };
// The show command the shell is given for a mode (1, 3, 2).
int ShowCommand(TShowMode mode);

class TRzLauncher {
public:
    TRzLauncher() = default;
    ~TRzLauncher();
    TRzLauncher(const TRzLauncher&) = delete;
    TRzLauncher& operator=(const TRzLauncher&) = delete;

    std::string ProgramName;
    std::string Parameters;
    TShowMode ShowMode = TShowMode::smNormal;
    std::string StartDir;
    std::function<void(TRzLauncher& sender)> OnFinished;

    // Starts ProgramName; raises ELaunchError ("LaunchError: 2" for a missing file).
    void Launch();
    bool IsRunning();
    int32_t ExitCode() const { return exitCode_; }
    // The timer's tick: whoever drives the timer (a window, a wait loop) calls
    // this about once a second while TimerEnabled() holds.
    void Tick();
    bool TimerEnabled() const { return timerEnabled_; }
    // Ends the launched program and everything it started.
    void Terminate();
    int ProcessId() const { return pid_; }

private:
    bool Ended();

    int pid_ = 0;
    // The ended process is still a zombie of ours: its group number is safe to signal.
    bool unreaped_ = false;
    bool timerEnabled_ = false;
    int32_t exitCode_ = -1;
};

}  // namespace hv
