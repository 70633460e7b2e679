// Pieces shared by the platform sources; not for the rest of the system.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace hv::detail {

// One directory entry as the platform sees it.
struct RawEntry {
    std::string posixName;  // bytes as Linux has them
    std::string name;       // 1251
    std::string shortName;  // generated alternate, empty when the name fits 8.3
    bool lossy = false;     // the 1251 name lost characters ('?')
};

// Entries of a POSIX directory (without "." and ".."), in byte order of their
// 1251 names, with short names assigned. Empty when it cannot be read.
std::vector<RawEntry> ListDirectory(const std::string& posixDir);

// Facts of a POSIX path as FindData (name left empty). False for a missing
// path or one that is neither file, directory nor link (FIFO, socket, device).
bool StatEntry(const std::string& posixPath, const std::string& name, FindData& out);
// The same for an entry of an open directory (no path walk per entry).
bool StatEntryAt(int dirFd, const std::string& posixName, const std::string& name, FindData& out);
// ListDirectory over an open directory descriptor (it stays open).
std::vector<RawEntry> ListDirectoryFd(int dirFd);

// The POSIX mount point of \\server\share, empty when not mounted.
std::string NetworkMountPoint(const std::string& server, const std::string& share);

// Splits "C:\a\b" into the drive part ("C:" or "\\srv\share") and the rest.
void SplitDrive(const std::string& path, std::string& drive, std::string& rest);

// Mount-table line facts for the file system holding a POSIX path.
struct MountInfo {
    std::string device, mountPoint, fsType;
};
bool FindMount(const std::string& posixPath, MountInfo& out);
std::vector<MountInfo> ReadMountTable();

}  // namespace hv::detail
