// Directory enumeration with Windows attribute and wildcard rules.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/CodePage.h"
#include "platform/Internal.h"
#include "platform/Platform.h"

namespace hv {

namespace detail {

void AssignShortNames(std::vector<RawEntry>& entries);  // Paths.cpp

std::vector<RawEntry> ListDirectory(const std::string& posixDir) {
    std::vector<RawEntry> out;
    DIR* d = opendir(posixDir.c_str());
    if (!d) {
        SetLastErrorFromErrno(errno);
        return out;
    }
    while (dirent* de = readdir(d)) {
        std::string n = de->d_name;
        if (n == "." || n == "..") continue;
        RawEntry e;
        e.posixName = n;
        e.name = Utf8ToAnsi(n);
        e.lossy = e.name.find('?') != std::string::npos && n.find('?') == std::string::npos;
        out.push_back(std::move(e));
    }
    closedir(d);
    std::sort(out.begin(), out.end(),
              [](const RawEntry& a, const RawEntry& b) { return a.name < b.name; });
    AssignShortNames(out);
    return out;
}

bool StatEntry(const std::string& posixPath, const std::string& name, FindData& out) {
    struct stat st;
    if (lstat(posixPath.c_str(), &st) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    out.name = name;
    out.attr = 0;
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        if (stat(posixPath.c_str(), &target) != 0 || S_ISDIR(target.st_mode)) {
            // A link to a directory (or a broken link) is never walked: it shows
            // as a system file, so only deletion ever sees it, and removes the link.
            out.size = 0;
            out.time = DosDateTimeFromUnix(st.st_mtime);
            out.attr = kAttrSystem;
            if (!name.empty() && name[0] == '.') out.attr |= kAttrHidden;
            return true;
        }
        st = target;
    }
    if (S_ISDIR(st.st_mode)) {
        out.attr = kAttrDirectory;
        out.size = 0;
    } else if (S_ISREG(st.st_mode)) {
        out.attr = kAttrArchive;
        out.size = st.st_size;
    } else {
        SetLastError(kErrFileNotFound);
        return false;  // FIFO, socket, device
    }
    if (!(st.st_mode & S_IWUSR)) out.attr |= kAttrReadOnly;
    if (!name.empty() && name[0] == '.') out.attr |= kAttrHidden;
    out.time = DosDateTimeFromUnix(st.st_mtime);
    return true;
}

}  // namespace detail

bool FindFile::First(const std::string& pattern, uint32_t attr) {
    entries_.clear();
    pos_ = 0;
    std::string dir = ExtractFilePath(pattern);
    std::string mask = ExtractFileName(pattern);
    if (dir.empty()) dir = GetCurrentDir();
    auto posixDir = ToPosixPath(dir);
    if (!posixDir || mask.empty()) {
        SetLastError(kErrPathNotFound);
        return false;
    }
    struct stat st;
    if (stat(posixDir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(kErrPathNotFound);
        return false;
    }
    const uint32_t special = kAttrHidden | kAttrSystem | kAttrDirectory;
    auto raw = detail::ListDirectory(*posixDir);
    std::string base = *posixDir;
    if (base.back() != '/') base += '/';
    for (auto& e : raw) {
        if (!FindMaskMatches(e.name, mask) &&
            !(e.shortName.size() && FindMaskMatches(e.shortName, mask) && mask.find_first_of("*?") == std::string::npos))
            continue;
        FindData fd;
        if (!detail::StatEntry(base + e.posixName, e.name, fd)) continue;
        if (fd.attr & special & ~attr) continue;
        fd.shortName = e.shortName;
        entries_.push_back(std::move(fd));
    }
    if (entries_.empty()) {
        SetLastError(kErrFileNotFound);
        return false;
    }
    return true;
}

bool FindFile::Next() {
    if (pos_ + 1 >= entries_.size()) {
        pos_ = entries_.size();
        entries_.clear();
        pos_ = 0;
        SetLastError(18);  // no more files
        return false;
    }
    ++pos_;
    return true;
}

void FindFile::Close() {
    entries_.clear();
    pos_ = 0;
}

}  // namespace hv
