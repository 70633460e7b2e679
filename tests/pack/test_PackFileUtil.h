// Helpers of the container tests: member dumps, hand-made archives, stubs.
#pragma once

#include <cstdint>
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

// Writes an archive whose members are stored under the given names, without
// going through the container (so any name can be made).
void WriteArchive(const std::string& posixPath,
                  const std::vector<std::pair<std::string, std::string>>& members);

// A DOS executable stub of exactly Size bytes (its header says so).
std::string MakeStub(int size);

// What the codec makes of Content.
int64_t PackedSize(const std::string& content);

}  // namespace hv::test
