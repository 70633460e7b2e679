// Directory enumeration with Windows attribute and wildcard rules.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/CodePage.h"
#include "platform/Internal.h"
#include "platform/Platform.h"

namespace hv {

namespace detail {

void AssignShortNames(std::vector<RawEntry>& entries);  // Paths.cpp

namespace {
std::vector<RawEntry> ReadEntries(DIR* d) {
    std::vector<RawEntry> out;
    while (dirent* de = readdir(d)) {
        std::string n = de->d_name;
        if (n == "." || n == "..") continue;
        RawEntry e;
        e.posixName = n;
        e.name = Utf8ToAnsi(n);
        e.lossy = e.name.find('?') != std::string::npos && n.find('?') == std::string::npos;
        out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end(),
              [](const RawEntry& a, const RawEntry& b) { return a.name < b.name; });
    AssignShortNames(out);
    return out;
}
}  // namespace

std::vector<RawEntry> ListDirectory(const std::string& posixDir) {
    DIR* d = opendir(posixDir.c_str());
    if (!d) {
        SetLastErrorFromErrno(errno);
        return {};
    }
    auto out = ReadEntries(d);
    closedir(d);
    return out;
}

std::vector<RawEntry> ListDirectoryFd(int dirFd) {
    int dup = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return {};
    DIR* d = fdopendir(dup);
    if (!d) {
        close(dup);
        return {};
    }
    auto out = ReadEntries(d);
    closedir(d);
    return out;
}

bool StatEntryAt(int dirFd, const std::string& posixName, const std::string& name, FindData& out) {
    struct stat st;
    if (fstatat(dirFd, posixName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    out.name = name;
    out.attr = 0;
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        if (fstatat(dirFd, posixName.c_str(), &target, 0) != 0 || S_ISDIR(target.st_mode)) {
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

bool StatEntry(const std::string& posixPath, const std::string& name, FindData& out) {
    return StatEntryAt(AT_FDCWD, posixPath, name, out);
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
    int dirFd = open(posixDir->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        SetLastError(kErrPathNotFound);
        return false;
    }
    const uint32_t special = kAttrHidden | kAttrSystem | kAttrDirectory;
    auto raw = detail::ListDirectoryFd(dirFd);
    const bool all = mask == "*" || mask == "*.*";
    const bool exact = mask.find_first_of("*?") == std::string::npos;
    for (auto& e : raw) {
        if (!all && !FindMaskMatches(e.name, mask) &&
            !(exact && !e.shortName.empty() && SameText(e.shortName, mask)))
            continue;
        FindData fd;
        if (!detail::StatEntryAt(dirFd, e.posixName, e.name, fd)) continue;
        if (fd.attr & special & ~attr) continue;
        fd.shortName = std::move(e.shortName);
        entries_.push_back(std::move(fd));
    }
    close(dirFd);
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
