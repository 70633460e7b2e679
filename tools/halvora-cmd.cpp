// halvora-cmd FILE.BAT: runs a DOS batch file written by Halvora on Linux.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/CmdInterpreter.h"
#include "platform/Platform.h"
#include "platform/Process.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(stderr,
                     "usage: halvora-cmd FILE.BAT\n"
                     "Runs a batch file written for DOS archivers: ECHO, REM, CD, redirections and\n"
                     "program calls; Windows paths are translated through the drive map in $%s.\n",
                     hv::kDriveMapEnv);
        return argc == 2 ? 0 : 2;
    }
    if (const char* drives = std::getenv(hv::kDriveMapEnv)) {
        hv::DriveMap map = hv::DriveMapFromEnv(drives);
        if (!map.empty()) hv::SetDriveMap(map);
    }
    std::string file = argv[1];
    if (file.empty() || file[0] != '/') {
        // A Windows path, or one relative to the current directory.
        auto p = hv::ToPosixPath(file);
        if (p) file = *p;
    }
    return hv::RunBatchFile(file);
}
