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
// Joins words into a command line, quoting those with blanks.
std::string JoinCommandLine(const std::vector<std::string>& words);

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
// The exit code of a started process, kStillActive while it runs. A process
// killed by a signal reports 128 + the signal number.
uint32_t PollProcess(int pid);
// Ends the process group of a started process (TERM, then KILL) and reaps it.
void TerminateProcessGroup(int pid);

}  // namespace hv
