// Reading untrusted archives: every input is written to a file, listed, and
// each member extracted into a private directory that is removed afterwards;
// then all members at once on two threads, and a batch that adds a file and
// deletes a member, whose result must read back cleanly. Built as a libFuzzer
// target; the corpus replay test links it as it is.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pack/PackFile.h"
#include "platform/Platform.h"

namespace {

// Every member is extracted by its name into a directory of its own; an
// extraction that reports success must have produced one file there, of the
// member's announced size.
void ListAndExtract(const std::string& winArchive, const std::string& winOut) {
    hv::TPackFileObject arc;
    arc.SetArchiveName(winArchive);
    std::vector<std::pair<std::string, int64_t>> members;
    std::map<std::string, int> seen;
    try {
        arc.GetArchiveType();
        arc.SetActive(true);
        for (; !arc.EndOfArchive() && members.size() < 256; arc.ReadNext()) {
            // Legitimate but huge members only cost the fuzzer time.
            if (arc.MemberSize() > (16 << 20)) continue;
            if (arc.MemberSize() < 0) __builtin_trap();
            members.emplace_back(arc.MemberName(), arc.MemberSize());
            ++seen[arc.MemberName()];
            (void)arc.TargetName();
        }
    } catch (const hv::Exception&) {
    }
    arc.KeepDrive = true;  // find members by exactly the names they carry
    arc.RaiseErrors = false;
    arc.Operation = hv::kArcOpExtract;
    int n = 0;
    for (const auto& [name, size] : members) {
        const std::string dir = winOut + "\\" + std::to_string(n++);
        arc.ExtractDir = dir;
        arc.SetFileName(name);
        int rc = -1;
        try {
            rc = arc.Execute();
        } catch (const hv::Exception&) {
        }
        // Twins (one name twice) are found as the first; judge only unique names.
        if (rc != 0 || seen[name] != 1) continue;
        const auto posix = hv::ToPosixPath(dir);
        if (!posix) __builtin_trap();
        std::vector<uint64_t> sizes;
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(*posix, ec))
            if (e.is_regular_file()) sizes.push_back(e.file_size());
        if (ec || sizes != std::vector<uint64_t>{static_cast<uint64_t>(size)}) __builtin_trap();
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

// Whatever the members are called, nothing may be written outside the
// directories extraction was given, and no temporary file may stay: the work
// happens two levels down, so an escape by ".." shows one or two levels up.
bool OnlyEntries(const std::filesystem::path& dir, std::initializer_list<std::string_view> names) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        if (std::find(names.begin(), names.end(), e.path().filename().string()) == names.end())
            return false;
    return !ec;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "hvfuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 0;
    const std::string top = tmpl;
    const std::string dir = top + "/a/b";
    std::error_code ec;
    fs::create_directories(dir, ec);
    auto winDir = hv::ToWindowsPath(dir);
    if (winDir && !ec) {
        // Once as a plain archive, once as a self-extracting one.
        for (const char* name : {"in.pkk", "in.exe"}) {
            std::ofstream(dir + "/" + name, std::ios::binary)
                .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
            ListAndExtract(*winDir + "\\" + name, *winDir + "\\out");
        }
        std::ofstream(dir + "/new.txt") << "a file the batch adds to the archive\n";
        Batched(*winDir + "\\in.pkk", *winDir);
        if (!OnlyEntries(top, {"a"}) || !OnlyEntries(top + "/a", {"b"}) ||
            !OnlyEntries(dir, {"in.pkk", "in.exe", "new.txt", "out", "all"}))
            __builtin_trap();
    }
    fs::remove_all(top, ec);
    return 0;
}
