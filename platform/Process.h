// Starting and watching programs: the launcher's view of processes.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace hv {

constexpr uint32_t kStillActive = 259;

// Splits a command line into words: blanks separate, double quotes group
// (and are removed).
std::vector<std::string> SplitCommandLine(const std::string& line);

// The command interpreter that runs .BAT/.CMD files: $HALVORA_CMD, else
// halvora-cmd beside the running executable, else in the tools directory of a
// build tree, else on PATH.
std::string CommandInterpreterPath();

// Drive map as an environment value ("C=/\nD=/x"), so child processes
// (the command interpreter) see the same drives.
std::string DriveMapToEnv(const DriveMap& map);
DriveMap DriveMapFromEnv(const std::string& value);
constexpr const char* kDriveMapEnv = "HALVORA_DRIVES";

// Starts Program (a Windows path; a .BAT/.CMD goes through the command
// interpreter) with Params in StartDir (empty: the current directory), in a
// process group of its own. Returns the pid, or 0 with LastError set
// (2: the program does not exist, 5: it cannot be run).
int SpawnProgram(const std::string& program, const std::string& params,
                 const std::string& startDir);
// The exit code of a started process, kStillActive while it runs (128 + the
// signal number for a process killed by a signal), without reaping it: while it is not reaped its number (and so its process group's)
// cannot pass to another process.
uint32_t PeekProcess(int pid);
// Collects an ended process (after PeekProcess saw it end).
void ReapProcess(int pid);
// Ends the process group of a started process (TERM, then KILL) and reaps it.
// Only for a process that has not been reaped yet.
void TerminateProcessGroup(int pid);

// An exclusive advisory lock on a file (created when missing), held while the
// object lives. Programs this process starts inherit it, so an archiver left
// running after its run was killed still holds it.
class ExclusiveLock {
  public:
    ExclusiveLock() = default;
    ~ExclusiveLock() { Unlock(); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    // False (LastError 33) when someone else holds it, or when the file cannot be opened.
    bool TryLock(const std::string& winPath);
    void Unlock();
    bool Locked() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace hv
