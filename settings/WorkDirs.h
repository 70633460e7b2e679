// The process-wide working directories and flags, set once at start-up and
// read everywhere. Directories are Windows paths ending in '\'.
//
// They live in their own namespace because the platform layer already has
// hv::ProgramDir(), the place the program directory is computed from.
#pragma once

#include <string>

namespace hv::workdirs {

// The program directory; the settings file, TMP\, Projects\ and Save\ lie in it.
const std::string& ProgramDir();
// The program's base name: "halvora".
const std::string& ProgramStem();
const std::string& TmpDir();       // ProgramDir + "TMP\"
const std::string& ProjectsDir();  // ProgramDir + "Projects\"
const std::string& SaveDir();      // ProgramDir + "Save\"
// A file ProgramStem + ".111" lay in ProgramDir at start-up.
bool DebugMode();
// True exactly while the main message loop runs.
bool AppRunning();
// True once the application has begun to terminate.
bool Terminating();

// Setters, for start-up and for tests. SetProgramDir also sets TmpDir,
// ProjectsDir and SaveDir below it (a missing trailing '\' is added).
void SetProgramDir(const std::string& dir);
void SetProgramStem(const std::string& stem);
void SetTmpDir(const std::string& dir);
void SetProjectsDir(const std::string& dir);
void SetSaveDir(const std::string& dir);
void SetDebugMode(bool value);
void SetAppRunning(bool value);
void SetTerminating(bool value);

// Start-up: the program directory from the platform (hv::ProgramDir()), made
// the current directory; TMP, Projects and Save created below it (failures are
// not reported here: later file operations report them); DebugMode from the
// marker; then the drive map of the settings file (LoadDriveMap).
void InitWorkDirs();
// The same for a given program directory (Windows path), without the drive map.
void InitWorkDirs(const std::string& programDir);

}  // namespace hv::workdirs
