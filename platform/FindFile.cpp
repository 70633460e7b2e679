// Directory enumeration with Windows attribute and wildcard rules.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/CodePage.h"
#include "platform/Internal.h"
#include "platform/Platform.h"

namespace hv {

namespace detail {

namespace {

// Entries in byte order of their 1251 names, without short names.
std::vector<RawEntry> ReadEntries(DIR* d) {
    std::vector<RawEntry> out;
    while (dirent* de = readdir(d)) {
        const char* n = de->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        RawEntry e;
        e.posixName = n;
        e.name = Utf8ToAnsi(e.posixName);
        e.lossy =
            e.name.find('?') != std::string::npos && e.posixName.find('?') == std::string::npos;
        e.type = de->d_type;
        out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end(),
              [](const RawEntry& a, const RawEntry& b) { return a.name < b.name; });
    return out;
}

// Reads an open directory through a second descriptor, so that Fd stays usable.
std::vector<RawEntry> ReadEntriesFd(int dirFd) {
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

// On this system a leading dot is what hides a name.
uint32_t HiddenBit(const std::string& name) {
    return !name.empty() && name[0] == '.' ? uint32_t{kAttrHidden} : 0;
}

std::string AbsolutePosix(const std::string& dir) {
    if (!dir.empty() && dir[0] == '/') return dir;
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return dir;
    return std::string(buf) + "/" + dir;
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
    AssignShortNames(out);
    return out;
}

bool StatEntryAt(int dirFd, const std::string& posixName, const std::string& name,
                 EntryFacts& out) {
    struct stat st;
    if (fstatat(dirFd, posixName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    out = EntryFacts{};
    const uint32_t hidden = HiddenBit(name);
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        if (fstatat(dirFd, posixName.c_str(), &target, 0) != 0 || S_ISDIR(target.st_mode)) {
            // A link to a directory (or a broken link) is never walked: it shows
            // as a system file, so only deletion ever sees it, and removes the link.
            out.time = DosDateTimeFromUnix(st.st_mtime);
            out.attr = kAttrSystem | hidden;
            return true;
        }
        st = target;
    }
    if (S_ISDIR(st.st_mode)) {
        out.attr = kAttrDirectory;
    } else if (S_ISREG(st.st_mode)) {
        out.attr = kAttrArchive;
        out.size = st.st_size;
    } else {
        SetLastError(kErrFileNotFound);
        return false;  // FIFO, socket, device
    }
    if (!(st.st_mode & S_IWUSR)) out.attr |= kAttrReadOnly;
    out.attr |= hidden;
    out.time = DosDateTimeFromUnix(st.st_mtime);
    return true;
}

bool StatEntry(const std::string& posixPath, const std::string& name, EntryFacts& out) {
    return StatEntryAt(AT_FDCWD, posixPath, name, out);
}

// ---- Listing -----------------------------------------------------------------

Listing::Listing(std::string posixDir, int dirFd)
    : posixDir_(AbsolutePosix(posixDir)), dirFd_(dirFd), entries_(ReadEntriesFd(dirFd)) {}

Listing::~Listing() {
    CloseDir();
}

void Listing::CloseDir() {
    if (dirFd_ >= 0) close(dirFd_);
    dirFd_ = -1;
}

const std::string& Listing::ShortName(size_t index) {
    if (!shortNamesMade_) {
        AssignShortNames(entries_);
        shortNamesMade_ = true;
    }
    return entries_[index].shortName;
}

bool Listing::Stat(size_t index, EntryFacts& out) const {
    const RawEntry& e = entries_[index];
    if (dirFd_ >= 0) return StatEntryAt(dirFd_, e.posixName, e.name, out);
    std::string path = posixDir_;
    if (path.back() != '/') path += '/';
    return StatEntry(path + e.posixName, e.name, out);
}

}  // namespace detail

// ---- FindData ------------------------------------------------------------------

void FindData::LookUp() const {
    if (state_ != State::Pending) return;
    detail::EntryFacts f;
    const uint32_t kind = kAttrDirectory | kAttrSystem;
    // Replaced by something of another kind, the listed entry is gone as well.
    if (listing_->Stat(index_, f) && (f.attr & kind) == (attr_ & kind)) {
        attr_ = f.attr;
        size_ = f.size;
        time_ = f.time;
        state_ = State::Known;
    } else {
        state_ = State::Gone;
        SetLastError(kErrFileNotFound);
    }
}

const std::string& FindData::ShortName() const {
    static const std::string none;
    return listing_ ? listing_->ShortName(index_) : none;
}

int64_t FindData::Size() const {
    LookUp();
    return size_;
}

int32_t FindData::Time() const {
    LookUp();
    return time_;
}

uint32_t FindData::Attr() const {
    LookUp();
    return attr_;
}

bool FindData::Gone() const {
    LookUp();
    return state_ == State::Gone;
}

bool FindData::Lossy() const {
    return listing_ && listing_->Entries()[index_].lossy;
}

std::string FindData::PosixPath() const {
    if (!listing_) return posixPath_;
    std::string path = listing_->PosixDir();
    if (path.empty() || path.back() != '/') path += '/';
    return path + listing_->Entries()[index_].posixName;
}

// ---- FindFile ------------------------------------------------------------------

bool FindFile::First(const std::string& pattern, uint32_t attr) {
    Close();
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
    listing_ = std::make_shared<detail::Listing>(*posixDir, dirFd);
    const auto& raw = listing_->Entries();
    const uint32_t special = kAttrHidden | kAttrSystem | kAttrDirectory;
    const bool all = mask == "*" || mask == "*.*";
    // Generated short names all carry a '~': other masks need none made.
    const bool shortMask =
        mask.find_first_of("*?") == std::string::npos && mask.find('~') != std::string::npos;
    for (size_t i = 0; i < raw.size(); ++i) {
        const detail::RawEntry& e = raw[i];
        if (!all && !FindMaskMatches(e.name, mask) &&
            !(shortMask && SameText(listing_->ShortName(i), mask)))
            continue;
        FindData fd;
        const uint32_t hidden = detail::HiddenBit(e.name);
        switch (e.type) {
            case DT_REG:
                fd.attr_ = kAttrArchive | hidden;
                fd.state_ = FindData::State::Pending;
                break;
            case DT_DIR:
                fd.attr_ = kAttrDirectory | hidden;
                fd.state_ = FindData::State::Pending;
                break;
            case DT_FIFO:
            case DT_SOCK:
            case DT_CHR:
            case DT_BLK:
                continue;
            default: {
                // A link, or a file system that does not tell: only a stat can say.
                detail::EntryFacts f;
                if (!listing_->Stat(i, f)) continue;
                fd.attr_ = f.attr;
                fd.size_ = f.size;
                fd.time_ = f.time;
            }
        }
        if (fd.attr_ & special & ~attr) continue;
        fd.name = e.name;
        fd.listing_ = listing_;
        fd.index_ = static_cast<uint32_t>(i);
        entries_.push_back(std::move(fd));
    }
    if (entries_.empty()) {
        Close();
        SetLastError(kErrFileNotFound);
        return false;
    }
    return true;
}

bool FindFile::Next() {
    if (pos_ + 1 >= entries_.size()) {
        Close();
        SetLastError(18);  // no more files
        return false;
    }
    ++pos_;
    return true;
}

void FindFile::Close() {
    if (listing_) listing_->CloseDir();
    listing_.reset();
    entries_.clear();
    pos_ = 0;
}

}  // namespace hv
