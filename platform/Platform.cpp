// Errors, date stamps, file facts and open files.
#include "platform/Platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Internal.h"

namespace hv {

// ---- errors ----------------------------------------------------------------

namespace {
thread_local uint32_t t_lastError = 0;
thread_local int t_lastErrno = 0;
}  // namespace

uint32_t LastError() { return t_lastError; }

void SetLastError(uint32_t code) {
    t_lastError = code;
    t_lastErrno = 0;
}

void SetLastErrorFromErrno(int err) {
    uint32_t code;
    switch (err) {
        case 0: code = kErrSuccess; break;
        case ENOENT: code = kErrFileNotFound; break;
        case ENOTDIR: code = kErrPathNotFound; break;
        case EACCES: case EPERM: case EROFS: case EISDIR: code = kErrAccessDenied; break;
        case EEXIST: code = kErrFileExists; break;
        case ENOSPC: case EDQUOT: case EFBIG: code = kErrDiskFull; break;
        case ENOTEMPTY: code = kErrDirNotEmpty; break;
        case EINVAL: code = kErrInvalidParameter; break;
        case EWOULDBLOCK: case EBUSY: case ETXTBSY: code = kErrSharingViolation; break;
        case ENOMEM: code = kErrNotEnoughMemory; break;
        case EBADF: code = kErrInvalidHandle; break;
        case ENAMETOOLONG: code = 206; break;
        case ENXIO: case ENODEV: code = kErrNotReady; break;
        case EHOSTUNREACH: case ENETUNREACH: case ETIMEDOUT: code = kErrBadNetPath; break;
        default: code = 31; break;  // a device attached to the system is not functioning
    }
    t_lastError = code;
    t_lastErrno = err;
}

std::string ErrorText(uint32_t code) {
    switch (code) {
        case kErrSuccess: return "Операция успешно завершена."_a;
        case kErrFileNotFound: return "Не удается найти указанный файл."_a;
        case kErrPathNotFound: return "Системе не удается найти указанный путь."_a;
        case kErrAccessDenied: return "Отказано в доступе."_a;
        case kErrInvalidHandle: return "Неверный дескриптор."_a;
        case kErrNotEnoughMemory: return "Недостаточно памяти для обработки команды."_a;
        case kErrNotReady: return "Устройство не готово."_a;
        case kErrSharingViolation:
            return "Процесс не может получить доступ к файлу, так как этот файл занят другим процессом."_a;
        case kErrLockViolation:
            return "Процесс не может получить доступ к файлу, так как часть этого файла заблокирована другим процессом."_a;
        case kErrFileExists: return "Файл существует."_a;
        case kErrInvalidParameter: return "Параметр задан неверно."_a;
        case kErrDiskFull: return "Недостаточно места на диске."_a;
        case kErrInvalidName:
            return "Синтаксическая ошибка в имени файла, имени папки или метке тома."_a;
        case kErrDirNotEmpty: return "Папка не пуста."_a;
        case kErrAlreadyExists: return "Невозможно создать файл, так как он уже существует."_a;
        case kErrBadNetPath: return "Не найден сетевой путь."_a;
        case 18: return "Больше файлов нет."_a;
        case 206: return "Имя файла или его расширение имеет неверную длину."_a;
    }
    return "Системная ошибка "_a + std::to_string(code) + ".";
}

std::string LastErrorText() {
    std::string text = ErrorText(t_lastError);
    if (t_lastErrno != 0 && t_lastError == 31) text += " (" + Utf8ToAnsi(std::strerror(t_lastErrno)) + ")";
    return text;
}

// ---- date stamps -------------------------------------------------------------

int32_t EncodeDosDateTime(const DosDateTime& t) {
    uint32_t v = (static_cast<uint32_t>(t.year - 1980) << 25) | (static_cast<uint32_t>(t.month) << 21) |
                 (static_cast<uint32_t>(t.day) << 16) | (static_cast<uint32_t>(t.hour) << 11) |
                 (static_cast<uint32_t>(t.minute) << 5) | static_cast<uint32_t>(t.second / 2);
    return static_cast<int32_t>(v);
}

DosDateTime DecodeDosDateTime(int32_t dosTime) {
    uint32_t v = static_cast<uint32_t>(dosTime);
    DosDateTime t;
    t.year = 1980 + static_cast<int>((v >> 25) & 0x7F);
    t.month = static_cast<int>((v >> 21) & 0x0F);
    t.day = static_cast<int>((v >> 16) & 0x1F);
    t.hour = static_cast<int>((v >> 11) & 0x1F);
    t.minute = static_cast<int>((v >> 5) & 0x3F);
    t.second = static_cast<int>(v & 0x1F) * 2;
    // Stamps from archives or files may be garbage: clamp, never fail.
    auto clamp = [](int x, int lo, int hi) { return x < lo ? lo : (x > hi ? hi : x); };
    t.month = clamp(t.month, 1, 12);
    t.day = clamp(t.day, 1, 31);
    t.hour = clamp(t.hour, 0, 23);
    t.minute = clamp(t.minute, 0, 59);
    t.second = clamp(t.second, 0, 58);
    return t;
}

int32_t DosDateTimeFromUnix(int64_t unixTime) {
    time_t tt = static_cast<time_t>(unixTime);
    struct tm tm {};
    if (!localtime_r(&tt, &tm)) return EncodeDosDateTime({1980, 1, 1, 0, 0, 0});
    int year = tm.tm_year + 1900;
    if (year < 1980) return EncodeDosDateTime({1980, 1, 1, 0, 0, 0});
    if (year > 2107) return EncodeDosDateTime({2107, 12, 31, 23, 59, 58});
    return EncodeDosDateTime({year, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

int64_t UnixFromDosDateTime(int32_t dosTime) {
    DosDateTime t = DecodeDosDateTime(dosTime);
    struct tm tm {};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&tm));
}

// ---- file facts ------------------------------------------------------------------

bool GetFileInfo(const std::string& path, FindData& out) {
    auto p = ToPosixPath(path);
    if (!p) return false;
    std::string name = ExtractFileName(RemoveTrailing(path));
    detail::EntryFacts f;
    if (!detail::StatEntry(*p, name, f)) return false;
    out = FindData();
    out.name = name;
    out.attr_ = f.attr;
    out.size_ = f.size;
    out.time_ = f.time;
    out.posixPath_ = *p;
    if (IsShortName(name)) return true;
    // The short name of an entry needs its directory's listing.
    const size_t slash = p->find_last_of('/');
    std::string parent = slash == 0 ? std::string("/") : p->substr(0, slash);
    const std::string leaf = p->substr(slash + 1);
    int dirFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return true;
    auto listing = std::make_shared<detail::Listing>(parent, dirFd);
    listing->CloseDir();
    const auto& entries = listing->Entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].posixName == leaf) {
            out.name = entries[i].name;
            out.listing_ = std::move(listing);
            out.index_ = static_cast<uint32_t>(i);
            break;
        }
    return true;
}

std::string RemoveTrailing(const std::string& path) {
    std::string p = path;
    while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    return p;
}

namespace {
// stat() of the POSIX path a Windows path names; false (LastError set) when it fails.
bool StatPath(const std::string& path, struct stat& st) {
    auto p = ToPosixPath(path);
    if (!p) return false;
    if (stat(p->c_str(), &st) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}
}  // namespace

bool FileExists(const std::string& path) {
    struct stat st;
    return StatPath(path, st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return StatPath(path, st) && S_ISDIR(st.st_mode);
}

int32_t FileAge(const std::string& path) {
    struct stat st;
    if (!StatPath(path, st)) return -1;
    if (!S_ISREG(st.st_mode)) {
        SetLastError(kErrFileNotFound);
        return -1;
    }
    return DosDateTimeFromUnix(st.st_mtime);
}

bool SetFileDate(const std::string& path, int32_t dosTime) {
    auto p = ToPosixPath(path);
    if (!p) return false;
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(UnixFromDosDateTime(dosTime));
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, p->c_str(), ts, 0) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

std::optional<FileStamp> GetFileStamp(const std::string& path) {
    auto p = ToPosixPath(ExpandFileName(path));
    struct stat st;
    if (!p || stat(p->c_str(), &st) != 0) {
        SetLastErrorFromErrno(errno);
        return std::nullopt;
    }
    return FileStamp{static_cast<int64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     static_cast<uint64_t>(st.st_ino)};
}

bool CopyFileTime(const std::string& from, const std::string& to) {
    auto f = ToPosixPath(from), t = ToPosixPath(to);
    struct stat st;
    if (!f || !t || stat(f->c_str(), &st) != 0) return false;
    struct timespec ts[2] = {st.st_atim, st.st_mtim};
    if (utimensat(AT_FDCWD, t->c_str(), ts, 0) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

uint32_t GetFileAttributes(const std::string& path) {
    detail::EntryFacts fd;
    auto p = ToPosixPath(path);
    if (!p || !detail::StatEntry(*p, ExtractFileName(RemoveTrailing(path)), fd)) return kInvalidAttributes;
    return fd.attr;
}

bool SetFileAttributes(const std::string& path, uint32_t attr) {
    auto p = ToPosixPath(path);
    if (!p) return false;
    struct stat st;
    if (stat(p->c_str(), &st) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    mode_t mode = st.st_mode & 07777;
    if (attr & kAttrReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && chmod(p->c_str(), mode) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool CreateDir(const std::string& path) {
    auto p = ToPosixPath(path);
    if (!p) return false;
    if (mkdir(p->c_str(), 0777) != 0) {
        SetLastErrorFromErrno(errno == EEXIST ? EEXIST : errno);
        if (errno == EEXIST) SetLastError(kErrAlreadyExists);
        return false;
    }
    return true;
}

bool RemoveDir(const std::string& path) {
    auto p = ToPosixPath(path);
    if (!p) return false;
    struct stat st;
    if (lstat(p->c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        SetLastError(kErrPathNotFound);
        return false;
    }
    if (rmdir(p->c_str()) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool DeleteFile(const std::string& path) {
    auto p = ToPosixPath(path);
    if (!p) return false;
    struct stat st;
    if (lstat(p->c_str(), &st) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        SetLastError(kErrAccessDenied);
        return false;
    }
    if (unlink(p->c_str()) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool RenameFile(const std::string& oldName, const std::string& newName) {
    auto a = ToPosixPath(oldName);
    auto b = ToPosixPath(newName);
    if (!a || !b) return false;
    if (renameat2(AT_FDCWD, a->c_str(), AT_FDCWD, b->c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) {
            SetLastErrorFromErrno(errno);
            return false;
        }
        // File systems without RENAME_NOREPLACE: check, then rename.
        struct stat st;
        if (lstat(b->c_str(), &st) == 0) {
            SetLastError(kErrAlreadyExists);
            return false;
        }
        if (rename(a->c_str(), b->c_str()) != 0) {
            SetLastErrorFromErrno(errno);
            return false;
        }
    }
    return true;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    auto a = ToPosixPath(from);
    auto b = ToPosixPath(to);
    if (!a || !b) return false;
    if (rename(a->c_str(), b->c_str()) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

// ---- open files -----------------------------------------------------------------

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool File::Open(const std::string& path, OpenMode mode, ShareMode share, bool sync) {
    Close();
    auto p = ToPosixPath(path);
    if (!p) return false;
    int flags = O_CLOEXEC;
    switch (mode) {
        case OpenMode::Read: flags |= O_RDONLY; break;
        case OpenMode::Write: flags |= O_WRONLY; break;
        case OpenMode::ReadWrite: flags |= O_RDWR; break;
        case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    if (sync) flags |= O_SYNC;
    // Truncation waits until the lock is ours, so a locked file is never cut.
    bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    int fd = open(p->c_str(), flags, 0666);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastError(kErrAccessDenied);
        return false;
    }
    if (share != ShareMode::DenyNone) {
        int op = (share == ShareMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
        if (flock(fd, op) != 0) {
            ::close(fd);
            SetLastError(kErrSharingViolation);
            return false;
        }
    }
    if (truncate && ftruncate(fd, 0) != 0) {
        SetLastErrorFromErrno(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void File::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int64_t File::Read(void* buf, int64_t count) {
    char* p = static_cast<char*>(buf);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno);
            return done > 0 ? done : -1;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t File::Write(const void* buf, int64_t count) {
    const char* p = static_cast<const char*>(buf);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno);
            return done > 0 ? done : -1;
        }
        if (n == 0) {
            SetLastError(kErrDiskFull);
            break;
        }
        done += n;
    }
    return done;
}

int64_t File::Seek(int64_t offset, int whence) {
    off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (r < 0) {
        SetLastErrorFromErrno(errno);
        return -1;
    }
    return r;
}

int64_t File::Size() const {
    struct stat st;
    if (fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool File::Truncate(int64_t size) {
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool File::SetDate(int32_t dosTime) {
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(UnixFromDosDateTime(dosTime));
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    if (futimens(fd_, ts) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool File::Flush() {
    if (fsync(fd_) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

}  // namespace hv
