// Reading untrusted archives: every input is written to a file, listed, and
// each member extracted into a private directory that is removed afterwards.
// Built as a libFuzzer target; the corpus replay test links it as it is.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pack/PackFile.h"
#include "platform/Platform.h"

namespace {

void ListAndExtract(const std::string& winArchive, const std::string& winOut) {
    hv::TPackFileObject arc;
    arc.SetArchiveName(winArchive);
    std::vector<std::string> names;
    try {
        arc.GetArchiveType();
        arc.SetActive(true);
        for (; !arc.EndOfArchive() && names.size() < 256; arc.ReadNext()) {
            // Legitimate but huge members only cost the fuzzer time.
            if (arc.MemberSize() > (16 << 20)) continue;
            names.push_back(arc.MemberName());
            (void)arc.TargetName();
        }
    } catch (const hv::Exception&) {
    }
    arc.ExtractDir = winOut;
    arc.KeepDrive = true;  // find members by exactly the names they carry
    arc.RaiseErrors = false;
    arc.Operation = hv::kArcOpExtract;
    for (const auto& n : names) {
        arc.SetFileName(n);
        try {
            arc.Execute();
        } catch (const hv::Exception&) {
        }
    }
    arc.SetActive(false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "hvfuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 0;
    const std::string dir = tmpl;
    auto winDir = hv::ToWindowsPath(dir);
    if (winDir) {
        // Once as a plain archive, once as a self-extracting one.
        for (const char* name : {"in.pkk", "in.exe"}) {
            std::ofstream(dir + "/" + name, std::ios::binary)
                .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
            ListAndExtract(*winDir + "\\" + name, *winDir + "\\out");
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
