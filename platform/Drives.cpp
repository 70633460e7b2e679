// Drives: the drive map's letters, their types, free space, labels, network shares.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/CodePage.h"
#include "platform/Internal.h"
#include "platform/Platform.h"

namespace hv {

namespace {

std::mutex g_mountMutex;
std::string& MountTablePath() {
    static std::string path = "/proc/self/mounts";
    return path;
}

// Mount table fields escape blanks and the like as \040.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() + 0 && i + 3 <= s.size() - 1 + 1 &&
            std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
            int v = (s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0');
            out += static_cast<char>(v);
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool IsNetworkFs(const std::string& t) {
    return t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" ||
           t == "fuse.sshfs" || t == "sshfs";
}

std::string LowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string RealPath(const std::string& p) {
    char buf[PATH_MAX];
    if (realpath(p.c_str(), buf)) return buf;
    return p;
}

}  // namespace

void SetMountTablePath(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_mountMutex);
    MountTablePath() = path.empty() ? "/proc/self/mounts" : path;
}

namespace detail {

std::vector<MountInfo> ReadMountTable() {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_mountMutex);
        path = MountTablePath();
    }
    std::vector<MountInfo> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        MountInfo m;
        if (!(ls >> m.device >> m.mountPoint >> m.fsType)) continue;
        m.device = Unescape(m.device);
        m.mountPoint = Unescape(m.mountPoint);
        out.push_back(std::move(m));
    }
    return out;
}

bool FindMount(const std::string& posixPath, MountInfo& out) {
    std::string p = RealPath(posixPath);
    size_t bestLen = 0;
    bool found = false;
    for (const auto& m : ReadMountTable()) {
        const std::string& mp = m.mountPoint;
        bool inside = mp == "/" || p == mp ||
                      (p.size() > mp.size() && p.compare(0, mp.size(), mp) == 0 && p[mp.size()] == '/');
        size_t len = mp == "/" ? 1 : mp.size();
        if (inside && (!found || len >= bestLen)) {
            out = m;
            bestLen = len;
            found = true;
        }
    }
    return found;
}

std::string NetworkMountPoint(const std::string& server, const std::string& share) {
    std::string srv = LowerAscii(server), shr = LowerAscii(share);
    for (const auto& m : ReadMountTable()) {
        if (!IsNetworkFs(m.fsType)) continue;
        std::string dev = m.device;
        std::string s, sh;
        if (dev.size() > 2 && (dev.compare(0, 2, "//") == 0 || dev.compare(0, 2, "\\\\") == 0)) {
            size_t slash = dev.find_first_of("/\\", 2);
            if (slash == std::string::npos) continue;
            s = dev.substr(2, slash - 2);
            sh = dev.substr(slash + 1);
            while (!sh.empty() && (sh.back() == '/' || sh.back() == '\\')) sh.pop_back();
        } else {
            size_t colon = dev.find(':');
            if (colon == std::string::npos) continue;
            s = dev.substr(0, colon);
            sh = dev.substr(colon + 1);
            while (!sh.empty() && sh.back() == '/') sh.pop_back();
            size_t last = sh.find_last_of('/');
            if (last != std::string::npos) sh = sh.substr(last + 1);
        }
        if (LowerAscii(s) == srv && LowerAscii(sh) == shr) return m.mountPoint;
    }
    return std::string();
}

}  // namespace detail

std::string LogicalDrives() {
    std::string out;
    for (const auto& [letter, dir] : GetDriveMap()) out += letter;
    return out;
}

namespace {
// POSIX root directory of "C:", "C:\", "C" or "\\srv\share\"; empty when unknown.
std::string DriveDir(const std::string& drive) {
    std::string d = drive;
    if (d.size() == 1) d += ':';
    std::string part, rest;
    detail::SplitDrive(d, part, rest);
    if (part.empty()) return std::string();
    auto p = ToPosixPath(part + "\\");
    return p ? *p : std::string();
}
}  // namespace

DriveType GetDriveType(const std::string& drive) {
    std::string d = drive;
    if (d.size() == 1) d += ':';
    std::string part, rest;
    detail::SplitDrive(d, part, rest);
    if (part.empty()) return DriveType::NoRootDir;
    if (part.size() > 2) return DriveDir(part).empty() ? DriveType::NoRootDir : DriveType::Remote;
    char l = static_cast<char>(std::toupper(static_cast<unsigned char>(part[0])));
    std::string dir = DriveDir(part);
    if (dir.empty()) return DriveType::NoRootDir;
    if (l == 'A' || l == 'B') return DriveType::Removable;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) return DriveType::NoRootDir;
    detail::MountInfo m;
    if (!detail::FindMount(dir, m)) return DriveType::Fixed;
    if (IsNetworkFs(m.fsType)) return DriveType::Remote;
    if (m.fsType == "iso9660" || m.fsType == "udf") return DriveType::CdRom;
    if (m.fsType == "tmpfs" || m.fsType == "ramfs") return DriveType::RamDisk;
    if (m.mountPoint.rfind("/media/", 0) == 0 || m.mountPoint.rfind("/run/media/", 0) == 0)
        return DriveType::Removable;
    // A block device the kernel calls removable.
    if (m.device.rfind("/dev/", 0) == 0) {
        std::string dev = RealPath(m.device).substr(5);
        std::string base = dev;
        while (!base.empty() && std::isdigit(static_cast<unsigned char>(base.back()))) base.pop_back();
        std::ifstream rem("/sys/block/" + base + "/removable");
        int v = 0;
        if (rem >> v && v == 1) return DriveType::Removable;
    }
    return DriveType::Fixed;
}

namespace {

std::function<std::optional<int64_t>(const std::string&)>& FreeSpaceHook() {
    static std::function<std::optional<int64_t>(const std::string&)> hook;
    return hook;
}

}  // namespace

void SetFreeSpaceHook(std::function<std::optional<int64_t>(const std::string& posixPath)> hook) {
    FreeSpaceHook() = std::move(hook);
}

// ---- removable media ------------------------------------------------------------------

namespace {

std::mutex g_mediaMutex;
std::vector<std::string>& StandInMedia() {
    static std::vector<std::string> dirs;
    return dirs;
}

// 'A' or 'B' for a path (or a bare letter) on a medium drive, else 0.
char MediumLetter(const std::string& path) {
    if (path.empty() || (path.size() > 1 && path[1] != ':')) return 0;
    const char l = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    return l == 'A' || l == 'B' ? l : 0;
}

// Empties the open directory Fd: links are removed as links, and a directory
// of another file system (a mount below the medium) is left alone.
bool ClearDirAt(int fd, dev_t dev) {
    std::vector<std::string> names;
    const int listFd = dup(fd);
    DIR* d = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!d) {
        if (listFd >= 0) close(listFd);
        SetLastErrorFromErrno(errno);
        return false;
    }
    while (dirent* de = readdir(d)) {
        const std::string n = de->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    bool ok = true;
    const auto failed = [&ok] {
        SetLastErrorFromErrno(errno);
        ok = false;
    };
    for (const std::string& n : names) {
        struct stat st;
        if (fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            failed();
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (unlinkat(fd, n.c_str(), 0) != 0) failed();
            continue;
        }
        if (st.st_dev != dev) {
            SetLastError(kErrAccessDenied);
            ok = false;
            continue;
        }
        const int sub = openat(fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) {
            failed();
            continue;
        }
        ok = ClearDirAt(sub, dev) && ok;
        close(sub);
        if (unlinkat(fd, n.c_str(), AT_REMOVEDIR) != 0) failed();
    }
    return ok;
}

}  // namespace

void SetStandInMedia(std::vector<std::string> posixDirs) {
    for (std::string& d : posixDirs) d = RealPath(d);
    std::lock_guard<std::mutex> lock(g_mediaMutex);
    StandInMedia() = std::move(posixDirs);
}

bool IsMediumDrive(const std::string& path) {
    return MediumLetter(path) != 0;
}

bool MediumReady(const std::string& drive) {
    const char letter = MediumLetter(drive);
    const std::string dir = letter ? DriveDir(std::string(1, letter)) : std::string();
    struct stat st;
    if (dir.empty() || stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(kErrNotReady);
        return false;
    }
    const std::string real = RealPath(dir);
    {
        std::lock_guard<std::mutex> lock(g_mediaMutex);
        const auto& s = StandInMedia();
        if (std::find(s.begin(), s.end(), real) != s.end()) return true;
    }
    // The root file system is never a medium, whatever the map says.
    detail::MountInfo m;
    if (real != "/" && detail::FindMount(real, m) && m.mountPoint == real) return true;
    SetLastError(kErrNotReady);
    return false;
}

bool ClearMedium(const std::string& drive) {
    if (!MediumReady(drive)) return false;
    const std::string dir = DriveDir(std::string(1, MediumLetter(drive)));
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        SetLastErrorFromErrno(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    const bool ok = ClearDirAt(fd, st.st_dev);
    close(fd);
    return ok;
}

std::optional<int64_t> DiskFreeBytes(const std::string& path) {
    if (IsMediumDrive(path) && !MediumReady(path)) return std::nullopt;
    auto p = ToPosixPath(path);
    if (p && FreeSpaceHook()) {
        if (auto v = FreeSpaceHook()(*p)) return v;
    }
    if (!p) return std::nullopt;
    std::string cur = *p;
    // The path may not exist yet: ask the nearest existing ancestor.
    struct stat st;
    while (stat(cur.c_str(), &st) != 0) {
        size_t slash = cur.find_last_of('/');
        if (slash == std::string::npos || cur == "/") {
            SetLastError(kErrPathNotFound);
            return std::nullopt;
        }
        cur = slash == 0 ? "/" : cur.substr(0, slash);
    }
    struct statvfs vfs;
    if (statvfs(cur.c_str(), &vfs) != 0) {
        SetLastErrorFromErrno(errno);
        return std::nullopt;
    }
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

}  // namespace hv
