// Pieces shared by the platform sources; not for the rest of the system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace hv::detail {

// One directory entry as the platform sees it.
struct RawEntry {
    std::string posixName;   // bytes as Linux has them
    std::string name;        // 1251
    std::string shortName;   // generated alternate, empty when the name fits 8.3
    unsigned char type = 0;  // d_type of the listing (DT_UNKNOWN when the file system gives none)
    bool lossy = false;      // the 1251 name lost characters ('?')
};

// Gives each entry its short name; Entries are sorted by their 1251 names.
void AssignShortNames(std::vector<RawEntry>& entries);

// Entries of a POSIX directory (without "." and ".."), in byte order of their
// 1251 names, with short names assigned. Empty when it cannot be read.
std::vector<RawEntry> ListDirectory(const std::string& posixDir);

// What a stat tells of an entry, in Windows terms.
struct EntryFacts {
    int64_t size = 0;
    int32_t time = 0;  // DOS date stamp
    uint32_t attr = 0;
};
// Facts of a POSIX path; Name (1251) decides the hidden bit. False (LastError
// set) for a missing path or one that is neither file, directory nor link
// (FIFO, socket, device).
bool StatEntry(const std::string& posixPath, const std::string& name, EntryFacts& out);
// The same for an entry of an open directory (no path walk per entry).
bool StatEntryAt(int dirFd, const std::string& posixName, const std::string& name, EntryFacts& out);

// One read of a directory, shared by the FindData made from it: their facts
// and short names are looked up here when first asked for.
class Listing {
  public:
    // Reads the open directory DirFd of the POSIX directory PosixDir and takes
    // the descriptor over. Entries come without short names.
    Listing(std::string posixDir, int dirFd);
    ~Listing();
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    const std::vector<RawEntry>& Entries() const { return entries_; }
    const std::string& PosixDir() const { return posixDir_; }
    // Entries looked up later go by path: no descriptor stays open behind a kept entry.
    void CloseDir();
    // Short names are made for the whole listing at once, on the first call.
    const std::string& ShortName(size_t index);
    bool Stat(size_t index, EntryFacts& out) const;

  private:
    std::string posixDir_;  // absolute
    int dirFd_ = -1;
    std::vector<RawEntry> entries_;
    bool shortNamesMade_ = false;
};

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
