// Helpers of the container tests: member dumps, hand-made archives, stubs, contents.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "pack/PackFile.h"

namespace hv::test {

struct Member {
    std::string name;
    uint8_t method = 0;
    uint32_t unpacked = 0;
    uint32_t packed = 0;
    int64_t headerPos = 0;
    std::string raw;  // header and data as they stand in the file
};

// Every member of the archive, read through the container.
std::vector<Member> ListMembers(TPackFileObject& arc);
inline std::vector<Member> ListMembers(const std::string& archive) {
    TPackFileObject arc;
    arc.SetArchiveName(archive);
    return ListMembers(arc);
}
inline std::vector<std::string> Names(const std::vector<Member>& members) {
    std::vector<std::string> out;
    for (const Member& m : members) out.push_back(m.name);
    return out;
}

// Writes an archive whose members are stored under the given names, without
// going through the container (so any name can be made).
void WriteArchive(const std::string& posixPath,
                  const std::vector<std::pair<std::string, std::string>>& members);

// A DOS executable stub of exactly Size bytes (its header says so).
std::string MakeStub(int size);

// Runs the operation on the named file or member.
inline int Run(TPackFileObject& a, uint8_t op, const std::string& name) {
    a.Operation = op;
    a.SetFileName(name);
    return a.Execute();
}

// The temporary archives ("$pk...") in the POSIX directory.
std::vector<std::string> Temps(const std::string& posixDir);

inline std::string Noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// Text lines "row <i * step mod 100003>" up to at least n bytes: packs well, slowly.
inline std::string Rows(size_t n, int step = 1) {
    std::string text;
    for (int i = 0; text.size() < n; ++i) text += "row " + std::to_string(i * step % 100003) + "\n";
    return text;
}

}  // namespace hv::test
