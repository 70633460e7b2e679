#include "platform/Launcher.h"

#include <signal.h>

#include "platform/Platform.h"
#include "platform/Process.h"

namespace hv {

int ShowCommand(TShowMode mode) {
    switch (mode) {
        case TShowMode::smMaximized: return 3;
        case TShowMode::smMinimized: return 2;
        default: return 1;
    }
}

TRzLauncher::~TRzLauncher() {
    timerEnabled_ = false;
    // Reap a finished child so it does not linger as a zombie; a running one is left running.
    if (pid_ > 0 && exitCode_ == -1) (void)Ended();
}

void TRzLauncher::Launch() {
    pid_ = 0;
    exitCode_ = 0;
    int pid = SpawnProgram(ProgramName, Parameters, StartDir);
    if (pid == 0) throw ELaunchError(static_cast<int>(LastError()));
    pid_ = pid;
    timerEnabled_ = true;
    exitCode_ = -1;
}

bool TRzLauncher::Ended() {
    if (exitCode_ != -1) return true;
    if (pid_ <= 0) return false;
    uint32_t code = PollProcess(pid_);
    if (code == kStillActive) return false;
    exitCode_ = static_cast<int32_t>(code);
    return true;
}

bool TRzLauncher::IsRunning() { return !Ended(); }

void TRzLauncher::Tick() {
    if (!timerEnabled_) return;
    if (Ended()) {
        timerEnabled_ = false;
        if (OnFinished) OnFinished(*this);
    }
}

void TRzLauncher::Terminate() {
    if (pid_ > 0 && exitCode_ == -1) {
        TerminateProcessGroup(pid_);
        exitCode_ = 1;
        timerEnabled_ = false;
    } else if (pid_ > 0) {
        // The leader has ended; members it left in its group must not outlive the run.
        kill(-pid_, SIGKILL);
    }
}

}  // namespace hv
