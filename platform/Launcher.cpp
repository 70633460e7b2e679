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
    if (unreaped_) ReapProcess(pid_);
}

void TRzLauncher::Launch() {
    if (unreaped_) ReapProcess(pid_);
    unreaped_ = false;
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
    uint32_t code = PeekProcess(pid_);
    if (code == kStillActive) return false;
    exitCode_ = static_cast<int32_t>(code);
    unreaped_ = true;
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
    if (pid_ <= 0) return;
    if (exitCode_ == -1) {
        TerminateProcessGroup(pid_);
        exitCode_ = 1;
        timerEnabled_ = false;
    } else if (unreaped_) {
        // The leader has ended but is not reaped, so the group number is still
        // ours: members it left behind must not outlive the run.
        kill(-pid_, SIGKILL);
        ReapProcess(pid_);
        unreaped_ = false;
    }
    // A reaped leader's number may belong to another process by now: no signal.
}

}  // namespace hv
