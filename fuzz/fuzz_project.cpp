// libFuzzer target: loading a project file from arbitrary bytes.
//
// Every input either loads or is refused with the system's error; nothing
// crashes, leaks or reads out of bounds. What loads must save to a file that
// loads again to the same lists and names, and its rules must give verdicts
// on a few names (the masks come from the input).
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/Platform.h"
#include "project/HLObject.h"
#include "util/Exception.h"

namespace {

// A private directory mapped to drive F: for the inputs and their saved
// copies; in memory where the machine offers it, since every input is written.
const std::string& WorkDir() {
    static const std::string* dir = [] {
        std::string tmpl = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        tmpl += "/hvfuzz-project-XXXXXX";
        if (!mkdtemp(tmpl.data())) abort();
        std::filesystem::create_directory(tmpl + "/rt");
        atexit([] { std::filesystem::remove_all(WorkDir()); });
        return new std::string(tmpl);
    }();
    return *dir;
}

void Check(bool ok, const char* what) {
    if (ok) return;
    fprintf(stderr, "fuzz_project: %s\n", what);
    abort();
}

bool SameLists(const hv::THL_BaseObject& a, const hv::THL_BaseObject& b) {
    return a.Extensions().Strings() == b.Extensions().Strings() &&
           a.IncludeFiles().Strings() == b.IncludeFiles().Strings() &&
           a.ExcludeFiles().Strings() == b.ExcludeFiles().Strings() &&
           a.ProjectProperties() == b.ProjectProperties() &&
           a.IncludeAllFiles == b.IncludeAllFiles && a.IncludeSubDirs == b.IncludeSubDirs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = WorkDir();
    hv::DriveMap map = hv::GetDriveMap();
    map['F'] = dir;
    hv::SetDriveMap(map);
    {
        FILE* f = fopen((dir + "/in.hlj").c_str(), "wb");
        if (!f) abort();
        if (size) fwrite(data, 1, size, f);
        fclose(f);
    }

    hv::THL_HalvoraProject p;
    p.FileName = "F:\\in.hlj";
    try {
        p.LoadFromFile();
    } catch (const hv::Exception&) {
        Check(p.Ini() == nullptr, "document kept after a failed load");
        return 0;
    }
    Check(p.Ini() == nullptr, "document kept after loading");

    for (const char* name : {"F:\\Work\\a.txt", "a.bak", "Sub\\x.tmp", "F:\\Work\\Sub\\~y.~"}) {
        p.CheckFile(name);
        p.CheckFile(p.Dir() + "\\" + name);
    }

    p.FileName = "F:\\rt\\in.hlj";
    p.SaveToFile();
    hv::THL_HalvoraProject q;
    q.FileName = p.FileName;
    q.LoadFromFile();  // what was saved must load
    Check(q.Name() == p.Name(), "name changed");
    Check(q.ArcName() == p.ArcName() && q.ArcPS == p.ArcPS, "archive settings changed");
    Check(q.ArcType == p.ArcType && q.CompressType == p.CompressType &&
              q.VolumeSize() == p.VolumeSize(),
          "archive numbers changed");
    Check(SameLists(p, q), "project lists changed");
    Check(q.Projects().Strings() == p.Projects().Strings() &&
              q.SavePlaces().Strings() == p.SavePlaces().Strings() &&
              q.ArcFiles().Strings() == p.ArcFiles().Strings() &&
              q.PreBatch().Strings() == p.PreBatch().Strings(),
          "project file lists changed");
    Check(q.Dirs().Count() == p.Dirs().Count(), "directory nodes lost");
    for (int i = 0; i < p.Dirs().Count(); ++i) {
        Check(q.Dirs()[i] == p.Dirs()[i], "node path changed");
        Check(q.DirNode(i)->Name() == p.DirNode(i)->Name(), "node name changed");
        Check(SameLists(*p.DirNode(i), *q.DirNode(i)), "node lists changed");
    }
    return 0;
}
