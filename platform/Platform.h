// Windows file-system semantics over POSIX.
//
// Every path handed in or out is a Windows path in 1251: "D:\Work\a.txt",
// "\\server\share\x" (or with '/'). Drive letters map to POSIX directories
// (SetDriveMap); components are matched exactly, then without regard to case,
// then as generated 8.3 short names. Failing calls leave a Windows error code
// for LastError()/LastErrorText().
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hv {

// ---- errors -------------------------------------------------------------
// Windows-style error codes kept per thread by every call below.
enum : uint32_t {
    kErrSuccess = 0,
    kErrFileNotFound = 2,
    kErrPathNotFound = 3,
    kErrAccessDenied = 5,
    kErrInvalidHandle = 6,
    kErrNotEnoughMemory = 8,
    kErrNotReady = 21,
    kErrSharingViolation = 32,
    kErrLockViolation = 33,
    kErrFileExists = 80,
    kErrInvalidParameter = 87,
    kErrDiskFull = 112,
    kErrInvalidName = 123,
    kErrDirNotEmpty = 145,
    kErrAlreadyExists = 183,
    kErrBadNetPath = 53,
};
uint32_t LastError();
void SetLastError(uint32_t code);
// Records errno as the last error (mapping it to the nearest Windows code).
void SetLastErrorFromErrno(int err);
// Text of the last error, 1251.
std::string LastErrorText();
std::string ErrorText(uint32_t code);

// ---- drives ---------------------------------------------------------------
// Letter (upper case) -> POSIX directory. Default: C -> "/".
using DriveMap = std::map<char, std::string>;
void SetDriveMap(const DriveMap& map);
DriveMap GetDriveMap();

enum class DriveType { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };
// Letters of the mapped drives, in order ("ACD").
std::string LogicalDrives();
// Drive is "C:", "C:\", "C" or a network root "\\srv\share\".
DriveType GetDriveType(const std::string& drive);
// Free bytes on the drive or share holding Path; nullopt (LastError set) when it does not answer.
std::optional<int64_t> DiskFreeBytes(const std::string& path);
// Tests stand in for small media: a hook that answers for a POSIX path (or
// nullopt to ask the file system). Empty: none.
void SetFreeSpaceHook(std::function<std::optional<int64_t>(const std::string& posixPath)> hook);
// ---- removable media ---------------------------------------------------------
// A: and B: stand for removable media (a stick or a card mounted under /media):
// the drive holds a medium only when its directory is a mount point of its
// own. A folder of another disk, or no mapping at all, is not ready
// (LastError kErrNotReady), and DiskFreeBytes does not answer for it.
bool IsMediumDrive(const std::string& path);  // Path lies on A: or B:
bool MediumReady(const std::string& drive);
// Deletes every file and directory on the medium's root. Links are removed,
// never followed; nothing of another file system mounted below it is touched.
// False when the medium is not ready or anything stayed.
bool ClearMedium(const std::string& drive);
// Tests that cannot mount a small file system let plain directories stand for
// mounted media; their free space can be faked through SetFreeSpaceHook.
void SetStandInMedia(std::vector<std::string> posixDirs);
// Mount table consulted for network paths (default /proc/self/mounts); tests point it elsewhere.
void SetMountTablePath(const std::string& path);

// ---- paths ----------------------------------------------------------------
// The POSIX path (UTF-8) that a Windows path names. Components that do not
// exist are appended as given (so new files can be created). nullopt when the
// drive is not mapped, the share not mounted, or the path has no drive at all
// after expansion.
std::optional<std::string> ToPosixPath(const std::string& winPath);
// The Windows path of a POSIX path through the longest mapped prefix, or
// nullopt when no drive holds it.
std::optional<std::string> ToWindowsPath(const std::string& posixPath);
// Current directory as a Windows path (C:\ when it lies under no drive).
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& winPath);
// Puts the current directory back however the block is left.
class CurrentDirGuard {
public:
    CurrentDirGuard() : dir_(GetCurrentDir()) {}
    ~CurrentDirGuard() { SetCurrentDir(dir_); }
    CurrentDirGuard(const CurrentDirGuard&) = delete;
    CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

private:
    std::string dir_;
};
// Absolute form of Path against the current directory: "." and ".." folded,
// '/' turned into '\', a doubled separator after the drive kept as one.
std::string ExpandFileName(const std::string& path);
// Drive part: "C:" or "\\server\share"; empty when none.
std::string ExtractFileDrive(const std::string& path);
std::string ExtractFilePath(const std::string& path);  // with trailing '\'
std::string ExtractFileDir(const std::string& path);   // without trailing '\' (except "C:\")
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);  // with the dot, or empty
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Short (8.3) form of an existing path; empty (LastError set) when it does not exist.
std::string GetShortPathName(const std::string& path);
// Long form of a path given in any mix of short and long names; empty when it does not exist.
std::string GetLongPathName(const std::string& path);

// Windows wildcard match of one file name against a find mask ("*.*" also
// matches names without a dot, "x.*" matches "x"); case-insensitive.
bool FindMaskMatches(const std::string& name, const std::string& mask);
// Whether Name is already a valid 8.3 name (it then has no alternate).
bool IsShortName(const std::string& name);

// ---- file attributes and date stamps -------------------------------------
enum : uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrVolume = 0x08,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrAnyFile = 0x3F,
};
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Packed DOS date-time (local time, 2-second steps), clamped to 1980-01-01 .. 2107-12-31.
int32_t DosDateTimeFromUnix(int64_t unixTime);
// Any stamp decodes: fields out of range are clamped, never an error.
int64_t UnixFromDosDateTime(int32_t dosTime);
struct DosDateTime {
    int year, month, day, hour, minute, second;
};
DosDateTime DecodeDosDateTime(int32_t dosTime);
int32_t EncodeDosDateTime(const DosDateTime& t);

namespace detail {
class Listing;
}

// One directory entry. Name, kind (file or directory) and the hidden bit come
// with the listing; size, time, the read-only bit and the 8.3 alternate are
// looked up when first asked for, then kept. An entry that is gone by then (or
// is no longer the kind listed) reads as size 0, time 0 and the listed kind,
// and Gone() says so. One object is not for several threads at once.
class FindData {
public:
    std::string name;  // long name, 1251

    // 8.3 alternate; empty when the name already fits 8.3.
    const std::string& ShortName() const;
    int64_t Size() const;
    int32_t Time() const;  // DOS date stamp
    uint32_t Attr() const;
    // Known from the listing: no look-up.
    bool IsDirectory() const { return (attr_ & kAttrDirectory) != 0; }
    // Looks the facts up unless done; true (LastError 2) when the entry was not there.
    bool Gone() const;
    // The Linux name holds characters 1251 lacks: Name shows them as '?' and
    // cannot be opened by that name.
    bool Lossy() const;
    // Absolute POSIX path (UTF-8) of the entry; empty when it came from no listing.
    std::string PosixPath() const;

private:
    friend class FindFile;
    friend bool GetFileInfo(const std::string& path, FindData& out);
    enum class State : uint8_t { Pending, Known, Gone };
    void LookUp() const;

    std::shared_ptr<detail::Listing> listing_;  // the listing it came from, if any
    std::string posixPath_;                     // set when it came from no listing
    uint32_t index_ = 0;
    mutable State state_ = State::Known;
    mutable uint32_t attr_ = 0;
    mutable int32_t time_ = 0;
    mutable int64_t size_ = 0;
};

// Find-first/next over one directory. Pattern = directory + mask
// ("D:\Work\*.txt"). Normal, read-only and archive entries always match;
// hidden, system and directory entries only when asked for in Attr. "." and
// ".." are never returned; symbolic links to directories are reported as
// files of size 0 never to be walked; FIFOs, sockets and devices are skipped.
// The kinds come from the listing itself: only links and entries of file
// systems that give no kind are looked up while listing.
class FindFile {
public:
    FindFile() = default;
    ~FindFile() { Close(); }
    FindFile(const FindFile&) = delete;
    FindFile& operator=(const FindFile&) = delete;
    // False (LastError 2 or 3) when nothing matches.
    bool First(const std::string& pattern, uint32_t attr);
    bool Next();
    const FindData& Data() const { return entries_[pos_]; }
    void Close();

private:
    std::shared_ptr<detail::Listing> listing_;
    std::vector<FindData> entries_;
    size_t pos_ = 0;
};

// Facts of one existing file or directory; false when it does not exist.
bool GetFileInfo(const std::string& path, FindData& out);
// Path without trailing separators (a drive root keeps its own).
std::string RemoveTrailing(const std::string& path);
bool FileExists(const std::string& path);       // a file (not a directory)
bool DirectoryExists(const std::string& path);  // a directory
// DOS date stamp of a file, -1 when it does not exist.
int32_t FileAge(const std::string& path);
bool SetFileDate(const std::string& path, int32_t dosTime);
// Size and modification time (nanoseconds since the epoch, finer than a date
// stamp) of a file; nullopt when it does not exist.
struct FileStamp {
    int64_t size = 0;
    int64_t mtimeNs = 0;
    uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> GetFileStamp(const std::string& path);
// Gives To the modification time of From, to the nanosecond.
bool CopyFileTime(const std::string& from, const std::string& to);
uint32_t GetFileAttributes(const std::string& path);  // kInvalidAttributes when missing
bool SetFileAttributes(const std::string& path, uint32_t attr);

bool CreateDir(const std::string& path);
bool RemoveDir(const std::string& path);
bool DeleteFile(const std::string& path);
// Fails when NewName exists, as on Windows.
bool RenameFile(const std::string& oldName, const std::string& newName);
// Replaces NewName in one step (POSIX rename).
bool ReplaceFile(const std::string& from, const std::string& to);

// ---- open files --------------------------------------------------------------
enum class OpenMode { Read, Write, ReadWrite, Create, CreateNew };
enum class ShareMode { DenyNone, DenyWrite, Exclusive };

// An open file: RAII over a POSIX descriptor. Share modes become advisory
// flock locks; Sync makes every write reach the medium before it returns.
class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Open(const std::string& path, OpenMode mode, ShareMode share = ShareMode::DenyNone,
              bool sync = false);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();
    // Bytes read (0 at the end) or -1.
    int64_t Read(void* buf, int64_t count);
    // Bytes written (short on a full disk) or -1.
    int64_t Write(const void* buf, int64_t count);
    int64_t Seek(int64_t offset, int whence);  // SEEK_SET/CUR/END; -1 on failure
    int64_t Size() const;
    bool Truncate(int64_t size);
    bool SetDate(int32_t dosTime);
    bool Flush();
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// ---- directories of the program -----------------------------------------------
// Private per-user temporary directory as a Windows path with a trailing '\'.
// Throws std::runtime_error when it is owned by someone else or open to others.
std::string TempDir();
// The program directory (Windows path, trailing '\'): $HALVORA_HOME, else
// DefaultProgramDir of the executable's directory.
std::string ProgramDir();
// The directory of a program run from ExeDir: a build tree (its tools/ too)
// or a portable copy that may write there uses it; an installed one (bin/)
// and a read-only one use $XDG_DATA_HOME/halvora (~/.local/share/halvora).
std::string DefaultProgramDir(const std::string& exeDir);
// The POSIX directory of the running executable.
std::string ExecutableDir();

}  // namespace hv
