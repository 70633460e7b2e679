#include "pack/test_PackFileUtil.h"

#include <filesystem>

#include "support/TempTree.h"

namespace hv::test {

std::vector<Member> ListMembers(TPackFileObject& arc) {
    std::vector<Member> out;
    auto posix = ToPosixPath(arc.ArchiveName());
    std::string bytes = posix ? ReadPosixFile(*posix) : std::string();
    arc.SetActive(true);
    for (arc.ReadFirst(); !arc.EndOfArchive(); arc.ReadNext()) {
        Member m;
        m.name = arc.MemberName();
        m.method = arc.FileHeader().Method;
        m.unpacked = arc.FileHeader().UnpackedSize;
        m.packed = arc.FileHeader().PackedSize;
        m.headerPos = arc.MemberHeaderPos();
        int64_t end = arc.MemberDataPos() + arc.MemberPackedSize();
        m.raw =
            bytes.substr(static_cast<size_t>(m.headerPos), static_cast<size_t>(end - m.headerPos));
        out.push_back(std::move(m));
    }
    arc.SetActive(false);
    return out;
}

void WriteArchive(const std::string& posixPath,
                  const std::vector<std::pair<std::string, std::string>>& members) {
    TArchive0Header h;
    h.HeaderId = 0x56A9;
    h.Version = h.MinVersion = 256;
    h.NamePos = 4;
    h.Name = "made.pkk";
    std::string bytes = h.Bytes();
    for (const auto& [name, data] : members) {
        TArchive0FileHeader m;
        m.HeaderId = 0x56A9;
        m.Version = m.MinVersion = 256;
        m.Method = kMethodStored;
        m.UnpackedSize = m.PackedSize = static_cast<uint32_t>(data.size());
        m.NamePos = 4;
        m.Name = name;
        bytes += m.Bytes() + data;
    }
    bytes += std::string("\xA9\x56\x00\x00", 4);
    WritePosixFile(posixPath, bytes);
}

std::string MakeStub(int size) {
    std::string s(static_cast<size_t>(size), '\0');
    s[0] = 'M';
    s[1] = 'Z';
    int pages = size / 512 + 1, last = size % 512;
    s[2] = static_cast<char>(last & 0xFF);
    s[3] = static_cast<char>(last >> 8);
    s[4] = static_cast<char>(pages & 0xFF);
    s[5] = static_cast<char>(pages >> 8);
    return s;
}

std::vector<std::string> Temps(const std::string& posixDir) {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(posixDir))
        if (e.path().filename().string().rfind("$pk", 0) == 0) out.push_back(e.path());
    return out;
}

}  // namespace hv::test
