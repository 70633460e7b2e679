#include "util/FileUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <unordered_set>
#include <vector>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "util/StrUtils.h"

namespace hv {

namespace {

bool IsSep(char c) {
    return c == '\\' || c == '/';
}

std::function<void()>& MessagePump() {
    static std::function<void()> pump;
    return pump;
}

// The same file under two names (links and letter-case aliases included).
bool SameFile(const std::string& a, const std::string& b) {
    auto pa = ToPosixPath(a), pb = ToPosixPath(b);
    if (!pa || !pb) return false;
    struct stat sa, sb;
    if (stat(pa->c_str(), &sa) != 0 || stat(pb->c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

[[noreturn]] void RaiseOpenError() {
    throw EFOpenError(LastErrorText());
}

// Removes an unfinished target when the copy does not complete.
class PartialFile {
  public:
    PartialFile(File& file, std::string name) : file_(file), name_(std::move(name)) {}
    ~PartialFile() {
        if (name_.empty()) return;
        uint32_t err = LastError();
        file_.Close();
        DeleteFile(name_);
        SetLastError(err);
    }
    void Keep() { name_.clear(); }

  private:
    File& file_;
    std::string name_;
};

constexpr int64_t kBlock = 16384;
constexpr int64_t kSector = 512;

bool CopyOrVerify(const std::string& source, const std::string& destIn,
                  const TCopyProgress& progress, bool verify) {
    std::string dest = ExpandFileName(RemoveBackslash(destIn));
    if (DirectoryExists(dest)) dest = AddBackslash(dest) + ExtractFileName(source);
    const bool hasLetter = dest.size() >= 2 && dest[1] == ':';
    const char letter = hasLetter ? AnsiUpperChar(dest[0]) : 0;
    const bool diskette = letter == 'A' || letter == 'B';

    // The source is opened before the target is touched: a missing source
    // must not cost the copy that is there.
    const uint32_t attr = GetFileAttributes(source);
    if (attr == kInvalidAttributes) RaiseOpenError();
    if (attr & kAttrDirectory) {
        SetLastError(kErrAccessDenied);
        RaiseOpenError();
    }
    File src;
    if (!src.Open(source, OpenMode::Read, ShareMode::DenyNone)) RaiseOpenError();
    // From the open file: a listed name holding '*' or '?' stays literal.
    const int64_t size = src.Size();
    if (size < 0) RaiseOpenError();

    File dst;
    std::string writeName;  // what is being written: Dest itself or its temporary
    int32_t srcTime = 0;
    if (verify) {
        if (!dst.Open(dest, OpenMode::Read, ShareMode::DenyNone)) RaiseOpenError();
        if (dst.Size() != size) return false;
    } else {
        if (SameFile(source, dest)) return true;
        uint32_t destAttr = GetFileAttributes(dest);
        if (destAttr != kInvalidAttributes && (destAttr & (kAttrReadOnly | kAttrDirectory))) {
            SetLastError(kErrAccessDenied);
            RaiseOpenError();
        }
        if (hasLetter) {
            // A diskette gets its room back first; elsewhere the old copy
            // stays until the new one is complete.
            if (diskette) DeleteFile(dest);
            std::optional<int64_t> free = DiskFreeBytes(ExtractFilePath(dest));
            if (!free) free = DiskFreeBytes(dest.substr(0, 2) + "\\");
            if (!free) throw EDriveNotExist(LastErrorText());
            if (*free < size) {
                // Both copies cannot be on the disk at once; the old one only
                // makes room when the two together would fit.
                const int64_t old = diskette ? -1 : FileSizeOf(dest);
                if (old < 0 || *free + old < size)
                    throw EDiskFull("Недостаточно места на диске для "_a + dest + ": нужно "_a +
                                    std::to_string(size) + ", свободно "_a + std::to_string(*free));
                if (!DeleteFile(dest)) RaiseOpenError();
            }
        }
        srcTime = FileAge(source);
        if (diskette) {
            if (!dst.Open(dest, OpenMode::Create, ShareMode::DenyWrite, true)) RaiseOpenError();
            writeName = dest;
        } else {
            writeName = CreateSiblingTemp(dest, dst);
            if (writeName.empty()) RaiseOpenError();
        }
    }
    PartialFile partial(dst, verify ? std::string() : writeName);

    std::vector<char> buf(kBlock), other(verify ? kBlock : 0);
    int64_t block = kBlock;
    if (progress) {
        if (size < 65536)
            block = 2048;
        else if (size < 131072)
            block = 4096;
        bool flag = true;
        progress(size, flag);  // announces the total; its answer is not a stop request
    }
    int64_t done = 0;
    for (;;) {
        int64_t n = src.Read(buf.data(), block);
        if (n < 0) throw EFREadError("Read File Error  " + source + "\r\n" + LastErrorText());
        if (n > 0) {
            if (!verify) {
                int64_t len = n;
                if (diskette) {
                    len = (n + kSector - 1) / kSector * kSector;
                    std::memset(buf.data() + n, 0, static_cast<size_t>(len - n));
                }
                int64_t written = dst.Write(buf.data(), len);
                if (written != len) {
                    if (written >= 0) SetLastError(kErrDiskFull);
                    throw EDiskFull(LastErrorText());
                }
            } else {
                int64_t m = dst.Read(other.data(), block);
                if (m != n) throw EFREadError(LastErrorText());
                if (std::memcmp(buf.data(), other.data(), static_cast<size_t>(n)) != 0)
                    return false;
            }
            if (progress) {
                done += n;
                bool flag = false;
                progress(done, flag);
                if (MessagePump()) MessagePump()();
                if (flag) return false;  // the partial target goes with `partial`
            }
        }
        if (n < block) break;
    }
    if (verify) return true;

    if (diskette) {
        dst.Close();
        // Cut the sector padding off again.
        if (!dst.Open(dest, OpenMode::Write, ShareMode::DenyWrite, true) || !dst.Truncate(size))
            throw EDiskFull(LastErrorText());
        dst.Close();
        // The source's own time, finer than a date stamp, tells a later run the copy is current.
        if (!CopyFileTime(source, dest) && srcTime != -1) SetFileDate(dest, srcTime);
    } else {
        if (!dst.Flush()) throw EDiskFull(LastErrorText());
        dst.Close();
        if (!CopyFileTime(source, writeName) && srcTime != -1) SetFileDate(writeName, srcTime);
        if (!ReplaceFile(writeName, dest)) RaiseOpenError();
    }
    partial.Keep();
    SetFileAttributes(dest, attr);
    return true;
}

}  // namespace

std::string AddBackslash(const std::string& path) {
    std::string s = Trim(path);
    if (!s.empty() && s.back() != '\\') s += '\\';
    return s;
}

std::string RemoveBackslash(const std::string& path) {
    std::string s = Trim(path);
    if (!s.empty() && s.back() == '\\') s.pop_back();
    return s;
}

std::string BaseName(const std::string& path) {
    std::string name = ExtractFileName(path);
    return name.substr(0, name.find('.'));
}

std::string ResolvePath(const std::string& root, const std::string& path) {
    if (path.empty()) return {};
    if (!ExtractFileDrive(path).empty()) return AddBackslash(root) + ExtractFileName(path);
    // From the root of Root's drive; the separator is not doubled.
    if (IsSep(path[0])) return ExtractFileDrive(root) + path;
    return AddBackslash(root) + path;
}

std::string RelativePath(const std::string& root, const std::string& path) {
    std::string r = AddBackslash(root);
    if (r.empty()) return path;
    if (path.size() >= r.size() && SameText(std::string_view(path).substr(0, r.size()), r))
        return path.substr(r.size());
    if (SameText(path, RemoveBackslash(root))) return {};
    return path;
}

bool IsNetworkPath(const std::string& path) {
    return path.size() >= 2 &&
           ((path[0] == '\\' && path[1] == '\\') || (path[0] == '/' && path[1] == '/'));
}

bool ForceDir(const std::string& dir) {
    std::string d = RemoveBackslash(dir);
    if (d.empty()) return false;
    d = ExpandFileName(d);
    if (DirectoryExists(d)) return true;
    std::string parent = ExtractFileDir(d);
    if (!parent.empty() && parent != d && !DirectoryExists(parent) && !ForceDir(parent))
        return false;
    return CreateDir(d) || DirectoryExists(d);
}

bool IsDirEmpty(const std::string& dir) {
    FindFile f;
    if (!f.First(AddBackslash(dir) + "*.*", kAttrAnyFile)) return true;
    do {
        if (!f.Data().name.empty() && f.Data().name[0] != '.') return false;
    } while (f.Next());
    return true;
}

int64_t FileSizeOf(const std::string& name) {
    FindFile f;
    if (f.First(name, kAttrAnyFile) && !f.Data().Gone()) return f.Data().Size();
    uint32_t err = LastError();
    return -static_cast<int64_t>(err ? err : kErrFileNotFound);
}

bool DeleteMatching(const std::string& name) {
    std::vector<std::string> names;
    {
        FindFile f;
        if (!f.First(name, kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive)) return true;
        do {
            if (!f.Data().IsDirectory()) names.push_back(f.Data().name);
        } while (f.Next());
    }
    const std::string dir = ExtractFilePath(name);
    bool ok = true;
    for (const std::string& n : names) ok = DeleteFile(dir + n) && ok;
    return ok;
}

bool DeleteTree(const std::string& dir) {
    const std::string d = AddBackslash(dir);
    bool ok = DeleteMatching(d + "*.*");
    std::vector<std::string> subdirs;
    {
        FindFile f;
        // Hidden directories too: on this system a leading '.' only hides a name.
        if (f.First(d + "*.*", kAttrDirectory | kAttrHidden | kAttrSystem)) {
            do {
                if (f.Data().IsDirectory()) subdirs.push_back(f.Data().name);
            } while (f.Next());
        }
    }
    for (const std::string& s : subdirs) {
        ok = DeleteTree(d + s) && ok;
        ok = RemoveDir(d + s) && ok;
    }
    return ok;
}

std::string TempFileName(const std::string& dir, const std::string& templ, bool create) {
    const std::string d = Trim(dir).empty() ? ExtractFilePath(templ) : AddBackslash(dir);
    const std::string b = BaseName(templ);
    std::string e = ExtractFileExt(ExtractFileName(templ));
    if (e.empty()) e = ".tmp";
    int64_t limit = 999;
    if (b.size() < 8) {
        limit = 0;
        for (size_t k = b.size(); k < 8; ++k) limit = limit * 10 + 9;
    }
    // One listing instead of a look-up per candidate: the names taken, long
    // and short, in upper case as the file system compares them.
    std::unordered_set<std::string> taken;
    {
        FindFile f;
        if (f.First(d + "*", kAttrAnyFile)) {
            do {
                taken.insert(AnsiUpper(f.Data().name));
                if (!f.Data().ShortName().empty()) taken.insert(AnsiUpper(f.Data().ShortName()));
            } while (f.Next());
        }
    }
    for (int64_t n = 1; n <= limit; ++n) {
        std::string name = b + std::to_string(n) + e;
        if (taken.count(AnsiUpper(name))) continue;
        if (!create) return name;
        File f;
        if (f.Open(d + name, OpenMode::CreateNew, ShareMode::DenyWrite)) return name;
        uint32_t err = LastError();
        // Taken since the listing: try the next; any other failure hits every candidate.
        if (err != kErrFileExists && err != kErrAlreadyExists) return {};
    }
    return {};
}

std::string CreateSiblingTemp(const std::string& target, File& file) {
    static std::atomic<unsigned> counter{0};
    const std::string dir = ExtractFilePath(target);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = dir + "~hv" + std::to_string(getpid()) + "-" +
                           std::to_string(counter.fetch_add(1)) + ".tmp";
        if (file.Open(name, OpenMode::CreateNew, ShareMode::DenyWrite)) return name;
        uint32_t err = LastError();
        if (err != kErrFileExists && err != kErrAlreadyExists) return {};
    }
    return {};
}

void SetMessagePump(std::function<void()> pump) {
    MessagePump() = std::move(pump);
}

bool CopyFileEx(const std::string& source, const std::string& dest, const TCopyProgress& progress) {
    return CopyOrVerify(source, dest, progress, false);
}

bool VerifyCopy(const std::string& source, const std::string& dest, const TCopyProgress& progress) {
    return CopyOrVerify(source, dest, progress, true);
}

}  // namespace hv
