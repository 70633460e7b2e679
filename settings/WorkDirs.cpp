#include "settings/WorkDirs.h"

#include "platform/Platform.h"
#include "settings/IniSections.h"
#include "util/FileUtils.h"

namespace hv::workdirs {

namespace {

struct State {
    std::string programDir;
    std::string programStem = "halvora";
    std::string tmpDir, projectsDir, saveDir;
    bool debugMode = false;
    bool appRunning = false;
    bool terminating = false;
};

State& S() {
    static State s;
    return s;
}

std::string WithBackslash(std::string dir) {
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    return dir;
}

}  // namespace

const std::string& ProgramDir() {
    return S().programDir;
}
const std::string& ProgramStem() {
    return S().programStem;
}
const std::string& TmpDir() {
    return S().tmpDir;
}
const std::string& ProjectsDir() {
    return S().projectsDir;
}
const std::string& SaveDir() {
    return S().saveDir;
}
bool DebugMode() {
    return S().debugMode;
}
bool AppRunning() {
    return S().appRunning;
}
bool Terminating() {
    return S().terminating;
}

void SetProgramDir(const std::string& dir) {
    State& s = S();
    s.programDir = WithBackslash(dir);
    s.tmpDir = s.programDir + "TMP\\";
    s.projectsDir = s.programDir + "Projects\\";
    s.saveDir = s.programDir + "Save\\";
}
void SetProgramStem(const std::string& stem) {
    S().programStem = stem;
}
void SetTmpDir(const std::string& dir) {
    S().tmpDir = WithBackslash(dir);
}
void SetProjectsDir(const std::string& dir) {
    S().projectsDir = WithBackslash(dir);
}
void SetSaveDir(const std::string& dir) {
    S().saveDir = WithBackslash(dir);
}
void SetDebugMode(bool value) {
    S().debugMode = value;
}
void SetAppRunning(bool value) {
    S().appRunning = value;
}
void SetTerminating(bool value) {
    S().terminating = value;
}

void InitWorkDirs(const std::string& programDir) {
    SetProgramDir(ExpandFileName(programDir));
    State& s = S();
    SetCurrentDir(s.programDir);
    // Failures show later, in the file operations that need these directories.
    ForceDir(s.tmpDir);
    ForceDir(s.projectsDir);
    ForceDir(s.saveDir);
    s.debugMode = FileExists(s.programDir + s.programStem + ".111");
}

void InitWorkDirs() {
    InitWorkDirs(hv::ProgramDir());
    LoadDriveMap();
}

}  // namespace hv::workdirs
