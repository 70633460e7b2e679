// Windows path arithmetic and resolution of Windows paths to POSIX ones.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/CodePage.h"
#include "platform/Internal.h"
#include "platform/Platform.h"

namespace hv {

namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

std::mutex g_mapMutex;
DriveMap& MapRef() {
    static DriveMap map{{'C', "/"}};
    return map;
}

std::string TrimTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

// Characters that may stand in a short name.
bool ShortChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20) return false;
    switch (c) {
        case '"': case '*': case '+': case ',': case '.': case '/': case ':': case ';':
        case '<': case '=': case '>': case '?': case '[': case '\\': case ']': case '|':
            return false;
    }
    return true;
}

}  // namespace

void SetDriveMap(const DriveMap& map) {
    std::lock_guard<std::mutex> lock(g_mapMutex);
    DriveMap clean;
    for (const auto& [letter, dir] : map) {
        char l = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
        if (l < 'A' || l > 'Z' || dir.empty()) continue;
        clean[l] = TrimTrailingSlashes(dir);
    }
    MapRef() = clean;
}

DriveMap GetDriveMap() {
    std::lock_guard<std::mutex> lock(g_mapMutex);
    return MapRef();
}

namespace detail {

void SplitDrive(const std::string& path, std::string& drive, std::string& rest) {
    drive.clear();
    rest = path;
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        drive = path.substr(0, 2);
        rest = path.substr(2);
        return;
    }
    if (path.size() >= 2 && IsSep(path[0]) && IsSep(path[1])) {
        // \\server\share
        size_t i = 2;
        while (i < path.size() && !IsSep(path[i])) ++i;
        if (i < path.size()) ++i;
        while (i < path.size() && !IsSep(path[i])) ++i;
        drive = path.substr(0, i);
        std::replace(drive.begin(), drive.end(), '/', '\\');
        rest = path.substr(i);
    }
}

}  // namespace detail

std::string ExtractFileDrive(const std::string& path) {
    std::string drive, rest;
    detail::SplitDrive(path, drive, rest);
    return drive;
}

namespace {
size_t LastDelimiter(const std::string& path) {
    for (size_t i = path.size(); i-- > 0;)
        if (IsSep(path[i]) || path[i] == ':') return i;
    return std::string::npos;
}
}  // namespace

std::string ExtractFilePath(const std::string& path) {
    size_t i = LastDelimiter(path);
    return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

std::string ExtractFileDir(const std::string& path) {
    size_t i = LastDelimiter(path);
    if (i == std::string::npos) return std::string();
    if (i > 0 && IsSep(path[i]) && path[i - 1] != ':' && !(i == 1 && IsSep(path[0])))
        return path.substr(0, i);
    return path.substr(0, i + 1);
}

std::string ExtractFileName(const std::string& path) {
    size_t i = LastDelimiter(path);
    return i == std::string::npos ? path : path.substr(i + 1);
}

std::string ExtractFileExt(const std::string& path) {
    for (size_t i = path.size(); i-- > 0;) {
        if (path[i] == '.') return path.substr(i);
        if (IsSep(path[i]) || path[i] == ':') break;
    }
    return std::string();
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    for (size_t i = path.size(); i-- > 0;) {
        if (path[i] == '.') return path.substr(0, i) + ext;
        if (IsSep(path[i]) || path[i] == ':') break;
    }
    return path + ext;
}

std::string GetCurrentDir() {
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return "C:\\";
    auto w = ToWindowsPath(buf);
    return w ? *w : std::string("C:\\");
}

bool SetCurrentDir(const std::string& winPath) {
    auto p = ToPosixPath(winPath);
    if (!p) return false;
    if (chdir(p->c_str()) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

std::string ExpandFileName(const std::string& input) {
    if (input.empty()) return GetCurrentDir();
    std::string path = input;
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string drive, rest;
    detail::SplitDrive(path, drive, rest);
    if (drive.empty()) {
        std::string cur = GetCurrentDir();
        std::string curDrive, curRest;
        detail::SplitDrive(cur, curDrive, curRest);
        drive = curDrive;
        rest = (!rest.empty() && rest[0] == '\\') ? rest : curRest + "\\" + rest;
    } else if (drive.size() == 2 && (rest.empty() || rest[0] != '\\')) {
        // "D:name": relative to the current directory when it is on that drive.
        std::string cur = GetCurrentDir();
        std::string curDrive, curRest;
        detail::SplitDrive(cur, curDrive, curRest);
        if (SameText(curDrive, drive))
            rest = curRest + "\\" + rest;
        else
            rest = "\\" + rest;
    }
    bool trailing = !rest.empty() && rest.back() == '\\' && rest.size() > 1;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = rest.find('\\', i);
        if (j == std::string::npos) j = rest.size();
        std::string comp = rest.substr(i, j - i);
        if (comp.empty() || comp == ".") {
        } else if (comp == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(comp);
        }
        i = j + 1;
    }
    std::string out = drive + "\\";
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) out += '\\';
        out += parts[k];
    }
    if (trailing && !parts.empty()) out += '\\';
    return out;
}

bool IsShortName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    size_t dot = name.find('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (stem.empty() || stem.size() > 8) return false;
    if (dot != std::string::npos && (ext.empty() || ext.size() > 3)) return false;
    for (char c : stem)
        if (!ShortChar(c)) return false;
    for (char c : ext)
        if (!ShortChar(c)) return false;
    return true;
}

namespace detail {

void AssignShortNames(std::vector<RawEntry>& entries) {
    std::unordered_set<std::string> taken;
    for (const auto& e : entries)
        if (IsShortName(e.name)) taken.insert(AnsiUpper(e.name));
    std::unordered_map<std::string, int> nextNumber;
    auto isTaken = [&](const std::string& n) {
        return taken.count(n) != 0;
    };
    for (auto& e : entries) {
        if (IsShortName(e.name)) {
            e.shortName.clear();
            continue;
        }
        const std::string& n = e.name;
        size_t lastDot = n.rfind('.');
        size_t firstReal = n.find_first_not_of('.');
        std::string stemSrc = n, extSrc;
        if (lastDot != std::string::npos && firstReal != std::string::npos && lastDot > firstReal) {
            stemSrc = n.substr(0, lastDot);
            extSrc = n.substr(lastDot + 1);
        }
        std::string stem, ext;
        for (char c : stemSrc)
            if (ShortChar(c)) stem += AnsiUpperChar(c);
        for (char c : extSrc)
            if (ShortChar(c) && ext.size() < 3) ext += AnsiUpperChar(c);
        if (stem.empty()) stem = "_";
        // Numbers below the last one given for this stem were all taken: start after it.
        int& next = nextNumber[stem.substr(0, 6) + "." + ext];
        if (next == 0) next = 1;
        for (int num = next; num < 1000000; ++num) {
            std::string tail = "~" + std::to_string(num);
            size_t keep = std::min<size_t>(std::min<size_t>(stem.size(), 6), 8 - tail.size());
            std::string cand = stem.substr(0, keep) + tail + (ext.empty() ? "" : "." + ext);
            if (!isTaken(cand)) {
                e.shortName = cand;
                taken.insert(cand);
                next = num + 1;
                break;
            }
        }
    }
}

}  // namespace detail

namespace {

bool PosixExists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

// Root POSIX directory of a drive part ("D:" or "\\srv\share"); empty when not reachable.
std::string DriveRoot(const std::string& drive) {
    if (drive.size() == 2 && drive[1] == ':') {
        char l = static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
        std::lock_guard<std::mutex> lock(g_mapMutex);
        auto it = MapRef().find(l);
        return it == MapRef().end() ? std::string() : it->second;
    }
    if (drive.size() > 2) {
        std::string body = drive.substr(2);
        size_t s = body.find('\\');
        if (s == std::string::npos) return std::string();
        return detail::NetworkMountPoint(AnsiToUtf8(body.substr(0, s)), AnsiToUtf8(body.substr(s + 1)));
    }
    return std::string();
}

std::string JoinPosix(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() != '/') return dir + "/" + name;
    return dir + name;
}

}  // namespace

std::optional<std::string> ToPosixPath(const std::string& winPath) {
    std::string full = ExpandFileName(winPath);
    std::string drive, rest;
    detail::SplitDrive(full, drive, rest);
    std::string root = DriveRoot(drive);
    if (root.empty()) {
        SetLastError(drive.size() > 2 ? kErrBadNetPath : kErrPathNotFound);
        return std::nullopt;
    }
    std::vector<std::string> comps;
    for (size_t i = 0; i <= rest.size();) {
        size_t j = rest.find('\\', i);
        if (j == std::string::npos) j = rest.size();
        if (j > i) comps.push_back(rest.substr(i, j - i));
        i = j + 1;
    }
    // Fast path: every component exists under its exact name.
    std::string direct = root;
    for (const auto& c : comps) direct = JoinPosix(direct, AnsiToUtf8(c));
    if (comps.empty() || PosixExists(direct)) return direct;

    std::string cur = root;
    for (size_t k = 0; k < comps.size(); ++k) {
        std::string exact = JoinPosix(cur, AnsiToUtf8(comps[k]));
        if (PosixExists(exact)) {
            cur = exact;
            continue;
        }
        const detail::RawEntry* found = nullptr;
        auto entries = detail::ListDirectory(cur);
        for (const auto& e : entries)
            if (!e.lossy && SameText(e.name, comps[k])) {
                found = &e;
                break;
            }
        if (!found)
            for (const auto& e : entries)
                if (!e.shortName.empty() && SameText(e.shortName, comps[k])) {
                    found = &e;
                    break;
                }
        if (!found) {
            // The rest does not exist (yet): keep it as given.
            for (size_t m = k; m < comps.size(); ++m) cur = JoinPosix(cur, AnsiToUtf8(comps[m]));
            return cur;
        }
        cur = JoinPosix(cur, found->posixName);
    }
    return cur;
}

std::optional<std::string> ToWindowsPath(const std::string& posixInput) {
    std::string p = posixInput;
    if (p.empty() || p[0] != '/') {
        char buf[4096];
        if (!getcwd(buf, sizeof buf)) return std::nullopt;
        p = std::string(buf) + "/" + p;
    }
    // Fold "." and ".." lexically.
    std::vector<std::string> parts;
    for (size_t i = 0; i <= p.size();) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string c = p.substr(i, j - i);
        if (c.empty() || c == ".") {
        } else if (c == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(c);
        }
        i = j + 1;
    }
    std::string norm = "/";
    for (size_t k = 0; k < parts.size(); ++k) norm += (k ? "/" : "") + parts[k];

    char best = 0;
    size_t bestLen = 0;
    DriveMap map = GetDriveMap();
    for (const auto& [letter, dir] : map) {
        bool inside = dir == "/" || norm == dir ||
                      (norm.size() > dir.size() && norm.compare(0, dir.size(), dir) == 0 &&
                       norm[dir.size()] == '/');
        size_t len = dir == "/" ? 0 : dir.size();
        if (inside && (best == 0 || len > bestLen)) {
            best = letter;
            bestLen = len;
        }
    }
    if (!best) return std::nullopt;
    std::string tail = norm.substr(std::min(bestLen, norm.size()));
    std::replace(tail.begin(), tail.end(), '/', '\\');
    if (tail.empty() || tail[0] != '\\') tail = "\\" + tail;
    return std::string(1, best) + ":" + Utf8ToAnsi(tail);
}

namespace {

// Maps each component of an existing path to its short or long form.
std::string MapComponents(const std::string& path, bool toShort) {
    std::string full = ExpandFileName(path);
    std::string drive, rest;
    detail::SplitDrive(full, drive, rest);
    std::string root = DriveRoot(drive);
    if (root.empty()) {
        SetLastError(kErrPathNotFound);
        return std::string();
    }
    std::string out = drive;
    std::string cur = root;
    bool trailing = !rest.empty() && rest.back() == '\\' && rest.size() > 1;
    size_t count = 0;
    for (size_t i = 0; i <= rest.size();) {
        size_t j = rest.find('\\', i);
        if (j == std::string::npos) j = rest.size();
        if (j > i) {
            std::string comp = rest.substr(i, j - i);
            auto entries = detail::ListDirectory(cur);
            const detail::RawEntry* found = nullptr;
            std::string exactUtf8 = AnsiToUtf8(comp);
            for (const auto& e : entries)
                if (e.posixName == exactUtf8) found = &e;
            if (!found)
                for (const auto& e : entries)
                    if (!e.lossy && SameText(e.name, comp)) {
                        found = &e;
                        break;
                    }
            if (!found)
                for (const auto& e : entries)
                    if (!e.shortName.empty() && SameText(e.shortName, comp)) {
                        found = &e;
                        break;
                    }
            if (!found) {
                SetLastError(j == rest.size() ? kErrFileNotFound : kErrPathNotFound);
                return std::string();
            }
            out += "\\";
            out += toShort ? (found->shortName.empty() ? found->name : found->shortName) : found->name;
            cur = JoinPosix(cur, found->posixName);
            ++count;
        }
        i = j + 1;
    }
    if (count == 0) out += "\\";
    if (trailing) out += "\\";
    return out;
}

}  // namespace

std::string GetShortPathName(const std::string& path) { return MapComponents(path, true); }
std::string GetLongPathName(const std::string& path) { return MapComponents(path, false); }

namespace {

bool Glob(const char* n, const char* ne, const char* m, const char* me) {
    // Iterative wildcard match with single-star backtracking.
    const char* starM = nullptr;
    const char* starN = nullptr;
    while (n < ne) {
        if (m < me && (*m == '?' || AnsiUpperChar(*m) == AnsiUpperChar(*n))) {
            ++n;
            ++m;
        } else if (m < me && *m == '*') {
            starM = m++;
            starN = n;
        } else if (starM) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < me && *m == '*') ++m;
    return m == me;
}

bool GlobStr(const std::string& name, const std::string& mask) {
    return Glob(name.data(), name.data() + name.size(), mask.data(), mask.data() + mask.size());
}

}  // namespace

bool FindMaskMatches(const std::string& name, const std::string& mask) {
    if (mask.empty()) return false;
    if (mask == "*" || mask == "*.*") return true;
    if (GlobStr(name, mask)) return true;
    bool noDot = name.find('.') == std::string::npos;
    if (noDot && mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0)
        return GlobStr(name, mask.substr(0, mask.size() - 2));
    if (noDot && mask.back() == '.') return GlobStr(name, mask.substr(0, mask.size() - 1));
    return false;
}

}  // namespace hv
