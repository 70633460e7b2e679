// Reading untrusted archives: every input is written to a file, listed, and
// each member extracted into a private directory that is removed afterwards;
// then all members at once on two threads, and a batch that adds a file and
// deletes a member, whose result must read back cleanly. Built as a libFuzzer
// target; the corpus replay test links it as it is.
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

// The list and batch paths over the same input: extraction of every member in
// one pass on two threads, then one rewrite that adds and deletes.
void Batched(const std::string& winArchive, const std::string& winDir) {
    hv::TPackFileObject arc;
    arc.SetArchiveName(winArchive);
    arc.KeepDrive = true;
    arc.RaiseErrors = false;
    arc.Workers = 2;
    std::vector<std::string> names;
    try {
        if (arc.GetArchiveType() != hv::kArcTypeOwn) return;
        names = arc.MemberNames();
    } catch (const hv::Exception&) {
    }
    std::vector<std::string> small;
    uint64_t total = 0;
    try {
        arc.SetActive(true);
        for (; !arc.EndOfArchive() && small.size() < 256; arc.ReadNext()) {
            total += arc.MemberSize();
            if (arc.MemberSize() <= (1 << 20)) small.push_back(arc.MemberName());
        }
        arc.SetActive(false);
    } catch (const hv::Exception&) {
    }
    arc.SetActive(false);
    arc.ExtractDir = winDir + "\\all";
    if (total <= (16u << 20)) {
        try {
            arc.ExtractMembers(small);
        } catch (const hv::Exception&) {
        }
    }
    size_t before = 0;
    try {
        before = arc.MemberNames().size();
        arc.BeginUpdate();
        arc.Operation = hv::kArcOpAdd;
        arc.SetFileName(winDir + "\\new.txt");
        arc.Execute();
        if (!names.empty()) {
            arc.Operation = hv::kArcOpDelete;
            arc.SetFileName(names.front());
            arc.Execute();
        }
        if (arc.Commit() != 0) return;
    } catch (const hv::Exception&) {
        arc.CancelUpdate();
        return;
    }
    // What a batch wrote must read back, every header of it, and hold at most one
    // member more than before (one added, one deleted, or the added one deleted).
    size_t after = 0;
    try {
        after = arc.MemberNames().size();
    } catch (const hv::Exception&) {
        __builtin_trap();
    }
    if (after > before + 1 || after + 1 < before) __builtin_trap();
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
        std::ofstream(dir + "/new.txt") << "a file the batch adds to the archive\n";
        Batched(*winDir + "\\in.pkk", *winDir);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
