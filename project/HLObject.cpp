#include "project/HLObject.h"

#include <algorithm>
#include <chrono>

#include "dialogs/Messages.h"
#include "pack/PackFile.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "settings/IniFile.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"
#include "util/Exception.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"

namespace hv {

namespace {

// Not the system bit: on this platform it marks links to directories and
// dangling links, which a backup must neither walk nor hand to an archiver.
constexpr uint32_t kFileAttrs = kAttrReadOnly | kAttrHidden | kAttrArchive;
constexpr uint32_t kWalkAttrs = kFileAttrs | kAttrDirectory;
constexpr int32_t kFileVersion = 10000;

// What an IncludeFiles entry carries in its object slot once the walk met it.
TObject* FoundMark() {
    static TObject mark;
    return &mark;
}

bool IsSep(char c) {
    return c == '\\' || c == '/';
}

// A drive letter or a network root ("\\server"): what ExtractFileDrive finds.
bool HasDrive(std::string_view path) {
    if (path.size() < 2) return false;
    const unsigned char c = static_cast<unsigned char>(path[0]);
    return (path[1] == ':' && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) ||
           (IsSep(path[0]) && IsSep(path[1]));
}

// Dir is Path itself or one of its parents; "D:\Work" is no parent of "D:\Work2".
bool IsUnder(std::string_view path, std::string_view dir) {
    if (dir.empty() || path.size() < dir.size()) return false;
    if (!SameText(path.substr(0, dir.size()), dir)) return false;
    return path.size() == dir.size() || path[dir.size()] == '\\';
}

// Position after the last separator or drive colon (0 when none).
size_t NameStart(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsSep(path[i - 1]) || path[i - 1] == ':') return i;
    return 0;
}

// Directory part of a file name without its trailing backslash ("D:\a" -> "D:").
std::string_view DirOf(std::string_view fileName) {
    size_t n = NameStart(fileName);
    if (n > 0 && IsSep(fileName[n - 1])) --n;
    return fileName.substr(0, n);
}

[[noreturn]] void Forbidden() {
    throw Exception("THL_Directory: Операция запрещена"_a);
}

// Sets a pointer for the length of a scope.
class IniScope {
  public:
    IniScope(TIniFile*& slot, TIniFile* value) : slot_(slot) { slot_ = value; }
    ~IniScope() { slot_ = nullptr; }
    IniScope(const IniScope&) = delete;
    IniScope& operator=(const IniScope&) = delete;

  private:
    TIniFile*& slot_;
};

std::string ReadText(const TIniFile& ini, const std::string& section, const std::string& key,
                     const std::string& def) {
    return ini.ReadUnquoted(section, key, def);
}

// Prefix + ".Count", then Prefix + "0", ... A count beyond the keys the
// section holds is corrupt: it never reads (or allocates) past them.
void ReadList(const TIniFile& ini, const std::string& section, const std::string& prefix,
              TStringList& list) {
    list.BeginUpdate();
    try {
        list.Clear();
        int n = ini.ReadInteger(section, prefix + ".Count", 0);
        n = std::clamp(n, 0, ini.KeyCount(section));
        for (int i = 0; i < n; ++i)
            list.Add(ReadText(ini, section, prefix + std::to_string(i), std::string()));
    } catch (...) {
        list.EndUpdate();
        throw;
    }
    list.EndUpdate();
}

// An empty list writes no keys.
void WriteList(TIniFile& ini, const std::string& section, const std::string& prefix,
               const TStringList& list) {
    if (list.Empty()) return;
    ini.WriteInteger(section, prefix + ".Count", list.Count());
    for (int i = 0; i < list.Count(); ++i)
        ini.WriteQuoted(section, prefix + std::to_string(i), list[i]);
}

}  // namespace

// ==== THL_BaseObject ===========================================================

THL_BaseObject::THL_BaseObject(THL_Project* owner) : owner_(owner) {}

THL_BaseObject::~THL_BaseObject() = default;

void THL_BaseObject::SetRootDir(const std::string& path) {
    dir_ = RemoveBackslash(path);
}

void THL_BaseObject::SetName(const std::string& value) {
    name_ = value;
}

void THL_BaseObject::CollectFiles() {
    ScanTree();
}

void THL_BaseObject::AddExtension(const std::string& ext) {
    extensions_.Add(ext);
}

void THL_BaseObject::DeleteExtension(const std::string& ext) {
    int i = extensions_.IndexOf(ext);
    if (i >= 0) extensions_.Delete(i);
}

void THL_BaseObject::SetExtensions(const TStringList& source) {
    extensions_.Assign(source);
}

THL_Directory* THL_BaseObject::AddDirectory(const std::string& path) {
    auto node = std::make_unique<THL_Directory>(owner_, path);
    int i = dirs_.AddObject(path, node.release());
    return DirNode(i);
}

int THL_BaseObject::DeleteDirectory(const std::string& path) {
    int i = dirs_.IndexOf(path);
    if (i >= 0) dirs_.Delete(i);
    return i;
}

void THL_BaseObject::Reserved() {}

void THL_BaseObject::AddFileName(const std::string& name, bool include) {
    (include ? includeFiles_ : excludeFiles_).Add(name);
}

int THL_BaseObject::DeleteFileName(const std::string& name, bool include) {
    TStringList& list = include ? includeFiles_ : excludeFiles_;
    int i = list.IndexOf(name);
    if (i >= 0) list.Delete(i);
    return i;
}

void THL_BaseObject::SetFileNames(const TStringList& source, bool include) {
    TStringList& list = include ? includeFiles_ : excludeFiles_;
    list.BeginUpdate();
    list.Clear();
    for (int i = 0; i < source.Count(); ++i) list.Add(source[i]);
    list.EndUpdate();
}

bool THL_BaseObject::IsIncluded(const std::string& fileName) const {
    return CheckFile(fileName) == kVerdictTake;
}

const THL_BaseObject& THL_BaseObject::Rules() const {
    return projectProperties_ && owner_ && owner_ != this ? *owner_ : *this;
}

// One list entry as a mask on upper-cased text. Most masks are a literal
// prefix, one '*' and a literal suffix; those are decided without MatchMask.
struct CompiledMask {
    std::string mask;
    size_t prefix = 0;    // literal characters before the first wildcard
    size_t suffix = 0;    // literal characters after the last wildcard
    bool simple = false;  // one '*' and no '?'
    bool bare = false;    // matched against the file-name part only
};

struct THL_BaseObject::MaskList {
    const TStringList* list = nullptr;
    int mode = -1;
    std::string dir;                  // Dir the masks were completed with
    std::vector<std::string> source;  // the entries they were made from
    std::vector<CompiledMask> masks;
    std::string dirU;  // upper-cased Dir + '\\'

    bool Fits(const TStringList& l, int m, const std::string& d) const {
        if (list != &l || mode != m || dir != d || source.size() != static_cast<size_t>(l.Count()))
            return false;
        for (size_t i = 0; i < source.size(); ++i)
            if (source[i] != l[static_cast<int>(i)]) return false;
        return true;
    }
};

// Slots: include, exclude, extensions, the owner's exclusions.
struct THL_BaseObject::MaskCache {
    MaskList lists[4];
};

namespace {

CompiledMask Compile(std::string mask, bool bare) {
    CompiledMask c;
    c.bare = bare;
    const size_t first = mask.find_first_of("*?");
    if (first == std::string::npos) {
        c.prefix = mask.size();
    } else {
        c.prefix = first;
        c.suffix = mask.size() - mask.find_last_of("*?") - 1;
        c.simple = mask[first] == '*' && mask.find_first_of("*?", first + 1) == std::string::npos;
    }
    c.mask = std::move(mask);
    return c;
}

bool Matches(const std::string& nameU, const CompiledMask& c) {
    const std::string& m = c.mask;
    if (c.prefix == m.size()) return nameU == m;  // no wildcard
    // The literal ends are needed by any match; with a single '*' they are all it takes.
    if (nameU.size() < c.prefix + c.suffix) return false;
    if (nameU.compare(0, c.prefix, m, 0, c.prefix) != 0) return false;
    if (nameU.compare(nameU.size() - c.suffix, c.suffix, m, m.size() - c.suffix, c.suffix) != 0)
        return false;
    return c.simple || MatchMask(nameU, m, false);
}

}  // namespace

const THL_BaseObject::MaskList& THL_BaseObject::Masks(int slot, const TStringList& list,
                                                      int mode) const {
    if (!masks_) masks_ = std::make_unique<MaskCache>();
    MaskList& c = masks_->lists[slot];
    if (c.Fits(list, mode, dir_)) return c;
    c.list = &list;
    c.mode = mode;
    c.dir = dir_;
    c.dirU = AnsiUpper(dir_) + '\\';
    c.source = list.Strings();
    c.masks.clear();
    for (const std::string& e : c.source) {
        if (mode == kMatchExtension) {
            c.masks.push_back(Compile(c.dirU + "*." + AnsiUpper(e), false));
        } else if (mode == kMatchExclude && e.find_first_of("\\:") == std::string::npos) {
            // A bare name or mask leaves the file out in any directory.
            c.masks.push_back(Compile(AnsiUpper(e), true));
        } else {
            c.masks.push_back(Compile(HasDrive(e) ? AnsiUpper(e) : c.dirU + AnsiUpper(e), false));
        }
    }
    return c;
}

int THL_BaseObject::FindMatchUpper(const std::string& fullU, std::string_view bareU,
                                   const MaskList& masks) const {
    std::string bare;
    for (size_t i = 0; i < masks.masks.size(); ++i) {
        const CompiledMask& m = masks.masks[i];
        if (m.bare) {
            if (bare.empty()) bare = bareU;
            if (Matches(bare, m)) return static_cast<int>(i);
        } else if (Matches(fullU, m)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int THL_BaseObject::FindMatch(const std::string& fileName, const TStringList& list,
                              int mode) const {
    if (list.Empty()) return -1;
    const int slot = mode == kMatchExtension ? 2 : mode == kMatchInclude ? 0 : 1;
    const MaskList& masks = Masks(slot, list, mode);
    const std::string fullU =
        HasDrive(fileName) ? AnsiUpper(fileName) : masks.dirU + AnsiUpper(fileName);
    return FindMatchUpper(fullU, std::string_view(fullU).substr(NameStart(fullU)), masks);
}

uint8_t THL_BaseObject::CheckFile(const std::string& fileName) const {
    const THL_BaseObject& r = Rules();
    std::string fullU;
    std::string_view bareU;
    // Rules are looked up on the upper-cased full name, made once per verdict.
    auto match = [&](int slot, const TStringList& list, int mode) {
        if (list.Empty()) return false;
        const MaskList& masks = Masks(slot, list, mode);
        if (fullU.empty()) {
            fullU = HasDrive(fileName) ? AnsiUpper(fileName) : masks.dirU + AnsiUpper(fileName);
            bareU = std::string_view(fullU).substr(NameStart(fullU));
        }
        return FindMatchUpper(fullU, bareU, masks) >= 0;
    };
    if (match(0, r.includeFiles_, kMatchInclude)) return kVerdictTake;
    if (match(1, r.excludeFiles_, kMatchExclude)) return kVerdictLeaveOut;
    if (&r == this && GlobalProjectExclude && owner_ && owner_ != this &&
        match(3, owner_->excludeFiles_, kMatchExclude))
        return kVerdictLeaveOut;

    const std::string_view fileDir = DirOf(fileName);
    bool inside = false, restEmpty = false;
    if (IsUnder(fileDir, dir_)) {
        inside = true;
        restEmpty = fileDir.size() == dir_.size();
    } else if (!HasDrive(fileDir)) {
        inside = true;
        restEmpty = fileDir.empty();
    }
    uint8_t result = kVerdictNone;
    if (fileDir.empty() || (inside && (r.IncludeSubDirs || restEmpty))) {
        const bool listed = match(2, r.extensions_, kMatchExtension);
        if (listed != r.IncludeAllFiles) return kVerdictTake;
        result = kVerdictLeaveOut;
    }
    for (int i = 0; i < dirs_.Count(); ++i) {
        uint8_t v = DirNode(i)->CheckFile(fileName);
        if (v == kVerdictNone) continue;
        if (v == kVerdictTake) return kVerdictTake;
        result = v;
    }
    return result;
}

// ---- the scan -------------------------------------------------------------------

// The names one scan has reported: open addressing over one text arena, since
// a scan of a large tree inserts every file it reports.
struct THL_Project::ReportedSet {
    struct Slot {
        uint64_t hash = 0;
        uint32_t offset = kEmpty;
        uint32_t length = 0;
    };
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

    std::vector<Slot> slots;
    std::string arena;
    size_t count = 0;
    size_t lastCount = 0;  // what the previous scan held: the room to start with

    static uint64_t Hash(std::string_view s) { return std::hash<std::string_view>()(s); }

    void Start() {
        size_t n = 64;
        while (n * 3 < lastCount * 4 + 4) n *= 2;
        slots.assign(n, Slot{});
        arena.clear();
        count = 0;
    }

    void Finish() {
        lastCount = count;
        slots = {};
        arena = {};
        count = 0;
    }

    // False when Key is there already.
    bool Insert(std::string_view key) {
        if (slots.empty() || (count + 1) * 4 > slots.size() * 3) Grow();
        const uint64_t h = Hash(key);
        const size_t mask = slots.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            Slot& s = slots[i];
            if (s.offset == kEmpty) {
                s = Slot{h, static_cast<uint32_t>(arena.size()), static_cast<uint32_t>(key.size())};
                arena.append(key);
                ++count;
                return true;
            }
            if (s.hash == h && std::string_view(arena).substr(s.offset, s.length) == key)
                return false;
        }
    }

    void Grow() {
        std::vector<Slot> old = std::move(slots);
        slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        const size_t mask = slots.size() - 1;
        for (const Slot& s : old) {
            if (s.offset == kEmpty) continue;
            size_t i = s.hash & mask;
            while (slots[i].offset != kEmpty) i = (i + 1) & mask;
            slots[i] = s;
        }
    }
};

// One scan of an owner: the files it has reported, so that a file met again
// (by a mask entry, by an overlapping directory node) is reported once.
struct THL_BaseObject::Walk {
    explicit Walk(THL_Project& o) : owner(o) {
        if (owner.scanDepth_++ == 0) owner.reported_->Start();
    }
    ~Walk() {
        if (--owner.scanDepth_ == 0) owner.reported_->Finish();
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;
    THL_Project& owner;
};

void THL_BaseObject::ScanTree() {
    if (owner_->Stop) return;
    Walk walk(*owner_);
    ScanDirectory(dir_);
    for (int i = 0; i < dirs_.Count() && !owner_->Stop; ++i) DirNode(i)->CollectFiles();
}

void THL_BaseObject::ScanDirectory(const std::string& path) {
    Walk walk(*owner_);
    ScanLevel(path, path == dir_, walk);
}

bool THL_BaseObject::Report(const std::string& fileName, FindData& entry) {
    THL_Project& o = *owner_;
    // Keyed on the file itself: one file reached under two spellings (nodes
    // that overlap) is reported once, two files whose names differ only in
    // letter case are two.
    std::string key = entry.PosixPath();
    if (key.empty()) key = fileName;
    if (!o.reported_->Insert(key)) return false;
    o.DoFile(fileName, entry, o.Stop);
    return true;
}

void THL_BaseObject::ScanLevel(const std::string& path, bool top, Walk& walk) {
    // Below the top, Path is built from entry names as they are: a directory
    // whose name ends in a blank keeps its blank.
    const std::string base =
        top ? AddBackslash(path) : (path.empty() || path.back() == '\\' ? path : path + '\\');
    if (top) MarkFound(std::string());
    // A node without a directory walks nothing (not the current drive's root).
    if (!base.empty()) {
        const bool subDirs = Rules().IncludeSubDirs;
        std::vector<std::string> subs;
        FindFile ff;
        for (bool ok = ff.First(base + "*.*", subDirs ? kWalkAttrs : kFileAttrs); ok;
             ok = ff.Next()) {
            const FindData& d = ff.Data();
            if (d.IsDirectory()) {
                if (!d.name.empty() && d.name[0] != '.') subs.push_back(d.name);
                continue;
            }
            std::string f = base + d.name;
            if (!IsIncluded(f)) {
                if (owner_->OnLeftOut) {
                    FindData entry = d;
                    owner_->OnLeftOut(f, entry, owner_->Stop);
                    if (owner_->Stop) return;
                }
                continue;
            }
            FindData entry = d;
            Report(f, entry);
            if (owner_->Stop) return;
            MarkFound(f);
        }
        ff.Close();
        for (const std::string& s : subs) {
            ScanLevel(base + s + '\\', false, walk);
            if (owner_->Stop) return;
        }
    }
    if (top) FindMandatory(base, walk);
}

void THL_BaseObject::FindMandatory(const std::string& base, Walk& walk) {
    for (int i = 0; i < includeFiles_.Count() && !owner_->Stop; ++i) {
        if (IsFound(i)) continue;
        const std::string e = includeFiles_[i];
        std::string p = HasDrive(e) ? e : (base.empty() ? std::string() : base + e);
        bool found = false;
        if (!p.empty()) {
            const std::string d = ExtractFilePath(p);
            FindFile ff;
            for (bool ok = ff.First(p, kFileAttrs); ok; ok = ff.Next()) {
                found = true;
                FindData entry = ff.Data();
                Report(d + entry.name, entry);
                if (owner_->Stop) return;
            }
        }
        if (!found && !HasWildcards(e)) Warning("Не найден обязательно включаемый файл :"_a + e);
    }
}

void THL_BaseObject::MarkFound(const std::string& fileName) {
    if (includeFiles_.Empty()) return;
    if (fileName.empty()) {
        for (int i = 0; i < includeFiles_.Count(); ++i)
            if (includeFiles_.Objects(i)) includeFiles_.PutObject(i, nullptr);
        return;
    }
    const bool fileHasDrive = HasDrive(fileName);
    for (int i = 0; i < includeFiles_.Count(); ++i) {
        const std::string& e = includeFiles_[i];
        bool met;
        if (HasDrive(e) || !fileHasDrive) {
            met = SameText(e, fileName);
        } else {
            met = !dir_.empty() && fileName.size() > dir_.size() + 1 &&
                  fileName.compare(0, dir_.size(), dir_) == 0 && fileName[dir_.size()] == '\\' &&
                  SameText(e, std::string_view(fileName).substr(dir_.size() + 1));
        }
        if (met) includeFiles_.PutObject(i, FoundMark());
    }
}

bool THL_BaseObject::IsFound(int includeIndex) const {
    return includeFiles_.Objects(includeIndex) == FoundMark();
}

void THL_BaseObject::Warning(const std::string& text) {
    if (owner_ && owner_->OnMessage) {
        owner_->OnMessage("[Warning]\t" + text, owner_->Stop);
        return;
    }
    ShowInfo(text);
}

void THL_BaseObject::SetProjectProperties(bool value) {
    if (dynamic_cast<THL_Directory*>(this)) projectProperties_ = value;
}

bool THL_BaseObject::IsStopped() const {
    return owner_->Stop;
}

void THL_BaseObject::SetStop(bool value) {
    if (!value) return;
    owner_->Stop = true;
    if (auto* h = dynamic_cast<THL_HalvoraProject*>(owner_); h && h->PackFile)
        h->PackFile->Stop(true);
}

THL_Directory* THL_BaseObject::DirNode(int index) const {
    return static_cast<THL_Directory*>(dirs_.Objects(index));
}

// ==== THL_Directory ============================================================

THL_Directory::THL_Directory(THL_Project* owner, const std::string& path) : THL_FileObject(owner) {
    projectProperties_ = true;
    THL_Directory::SetName(path);
}

void THL_Directory::SetRootDir(const std::string&) {
    Forbidden();
}

void THL_Directory::SetName(const std::string& value) {
    name_ = value;
    dir_ = RemoveBackslash(value);
}

THL_Directory* THL_Directory::AddDirectory(const std::string&) {
    Forbidden();
}

int THL_Directory::DeleteDirectory(const std::string&) {
    Forbidden();
}

// ==== THL_Project ==============================================================

THL_Project::THL_Project() : THL_FileObject(nullptr), reported_(std::make_unique<ReportedSet>()) {
    owner_ = this;
    InitProject();
    Scanning = false;
}

THL_Project::THL_Project(THL_Project* owner)
    : THL_FileObject(owner), reported_(std::make_unique<ReportedSet>()) {
    if (!owner_) owner_ = this;
    InitProject();
}

THL_Project::~THL_Project() {
    ClearDirs();
}

void THL_Project::InitProject() {
    projects_.Clear();
    savePlaces_.Clear();
    GlobalProjectExclude = true;
    Section = "ProjectData";
}

void THL_Project::Init() {
    InitProject();
}

void THL_Project::CollectFiles() {
    if (owner_->Scanning) {
        ScanTree();
        return;
    }
    if (owner_ != this) throw Exception("THL_Project: Owner error");
    struct ScanFlag {
        bool& flag;
        explicit ScanFlag(bool& f) : flag(f) { flag = true; }
        ~ScanFlag() { flag = false; }
    } scanning(Scanning);
    Stop = false;
    ScanTree();
}

void THL_Project::DoFile(const std::string& fileName, FindData& searchRec, bool& stop) {
    if (OnFile) OnFile(fileName, searchRec, stop);
}

void THL_Project::ReadExtra(TIniFile&) {}

void THL_Project::WriteExtra(TIniFile&) {}

std::string THL_Project::GetSignature() const {
    return "***  This is Project File  ***";
}

std::string THL_Project::GetFileName() {
    if (!HasDrive(FileName)) FileName = workdirs::ProjectsDir() + ExtractFileName(FileName);
    return FileName;
}

bool THL_Project::IsProjectFile() {
    const std::string file = GetFileName();
    File f;
    if (!f.Open(file, OpenMode::Read, ShareMode::Exclusive))
        throw EFOpenError("Cannot open file \"" + file + "\". " + LastErrorText());
    const std::string sig = GetSignature();
    const int64_t size = f.Size();
    if (size <= static_cast<int64_t>(sig.size()) + 10) return false;
    char buf[256];
    const int64_t want = std::min<int64_t>(size, sizeof buf);
    int64_t got = 0;
    while (got < want) {
        int64_t n = f.Read(buf + got, want - got);
        if (n <= 0) break;
        got += n;
    }
    std::string head(buf, static_cast<size_t>(got));
    head = head.substr(0, head.find('\0'));
    const size_t p = head.find(sig);
    if (p == std::string::npos || p == 0) return false;
    const size_t after = p + sig.size();
    return head[p - 1] == '[' && after < head.size() && head[after] == ']';
}

void THL_Project::ReadNode(TIniFile& ini, THL_BaseObject& node, bool project) {
    const std::string& s = node.Section;
    if (!project) {
        node.SetProjectProperties(ini.ReadBool(s, "ProjectProperties", true));
        if (node.ProjectProperties()) return;
    }
    node.IncludeAllFiles = ini.ReadBool(s, "IncludeAllFiles", true);
    node.IncludeSubDirs = ini.ReadBool(s, "IncludeSubDirs", false);
    if (project) node.GlobalProjectExclude = ini.ReadBool(s, "GlobalProjectExclude", true);
    ReadList(ini, s, "E", node.Extensions());
    ReadList(ini, s, "I", node.IncludeFiles());
    ReadList(ini, s, "X", node.ExcludeFiles());
}

void THL_Project::WriteNode(TIniFile& ini, THL_BaseObject& node, bool project) {
    const std::string& s = node.Section;
    if (!project) {
        ini.WriteBool(s, "ProjectProperties", node.ProjectProperties());
        if (node.ProjectProperties()) return;
    }
    ini.WriteBool(s, "IncludeAllFiles", node.IncludeAllFiles);
    ini.WriteBool(s, "IncludeSubDirs", node.IncludeSubDirs);
    if (project) ini.WriteBool(s, "GlobalProjectExclude", node.GlobalProjectExclude);
    WriteList(ini, s, "E", node.Extensions());
    WriteList(ini, s, "I", node.IncludeFiles());
    WriteList(ini, s, "X", node.ExcludeFiles());
}

void THL_Project::LoadFromFile() {
    const std::string file = GetFileName();
    if (!IsProjectFile()) throw Exception(file + " не является проектом"_a);
    TIniFile ini(file, TIniWriteBack::Never);
    IniScope scope(ini_, &ini);
    const std::string& s = Section;
    SetName(ReadText(ini, s, "Name", "Без имени"_a));
    SetRootDir(ReadText(ini, s, "RootDir", std::string()));
    ReadNode(ini, *this, true);

    ClearDirs();
    int n = std::clamp(ini.ReadInteger(s, "D.Count", 0), 0, ini.KeyCount(s));
    for (int i = 0; i < n; ++i) {
        const std::string key = "D" + std::to_string(i);
        const std::string section = "Dir_" + std::to_string(i);
        if (!ini.ValueExists(s, key) && !ini.SectionExists(section)) continue;
        const std::string path = ReadText(ini, s, key, std::string());
        THL_Directory* node = AddDirectory(path);
        node->Section = section;
        // Without its section the node keeps the path it is filed under.
        node->SetName(ReadText(ini, section, "Name", path));
        ReadNode(ini, *node, false);
    }
    ReadList(ini, s, "P", projects_);
    ReadList(ini, s, "S", savePlaces_);
    // A count larger than the places listed reads as empty places, which would
    // complete to Dir itself and copy the archive into the source tree.
    bool blank = false;
    for (int i = savePlaces_.Count() - 1; i >= 0; --i)
        if (Trim(savePlaces_[i]).empty()) {
            savePlaces_.Delete(i);
            blank = true;
        }
    ReadExtra(ini);
    if (blank) Warning("Пропущено пустое место хранения архива в проекте "_a + file);
}

void THL_Project::SaveToFile() {
    const std::string file = GetFileName();
    // Built from scratch in memory and written beside the file, then renamed
    // over it: a failure leaves the old project as it was.
    std::unique_ptr<TIniFile> ini = TIniFile::FromText(std::string_view());
    IniScope scope(ini_, ini.get());
    const std::string& s = Section;
    ini->WriteInteger(GetSignature(), "Version", kFileVersion);
    ini->WriteQuoted(s, "Name", name_);
    ini->WriteQuoted(s, "RootDir", dir_);
    WriteNode(*ini, *this, true);
    if (!Dirs().Empty()) {
        ini->WriteInteger(s, "D.Count", Dirs().Count());
        for (int i = 0; i < Dirs().Count(); ++i) {
            ini->WriteQuoted(s, "D" + std::to_string(i), Dirs()[i]);
            THL_Directory& node = *DirNode(i);
            node.Section = "Dir_" + std::to_string(i);
            ini->EraseSection(node.Section);
            ini->WriteQuoted(node.Section, "Name", node.Name());
            WriteNode(*ini, node, false);
        }
    }
    WriteList(*ini, s, "P", projects_);
    WriteList(*ini, s, "S", savePlaces_);
    WriteExtra(*ini);
    ini->SaveToFile(file);
}

void THL_Project::ClearDirs() {
    Dirs().Clear();
}

// ==== THL_HalvoraProject =======================================================

THL_HalvoraProject::THL_HalvoraProject() {
    InitHalvora();
}

THL_HalvoraProject::THL_HalvoraProject(THL_Project* owner) : THL_Project(owner) {
    InitHalvora();
}

THL_HalvoraProject::~THL_HalvoraProject() = default;

void THL_HalvoraProject::InitHalvora() {
    arcFiles_.Clear();
    preBatch_.Clear();
    lines_.Clear();
}

void THL_HalvoraProject::Init() {
    THL_Project::Init();
    InitHalvora();
}

void THL_HalvoraProject::DoFile(const std::string& fileName, FindData& searchRec, bool& stop) {
    // A walk of a large tree takes long before any archiver starts: let the
    // window repaint and hear its stop button meanwhile.
    if (RunMessagePump) {
        static thread_local auto last = std::chrono::steady_clock::now();
        const auto now = std::chrono::steady_clock::now();
        if (now - last >= std::chrono::milliseconds(50)) {
            last = now;
            RunMessagePump();
        }
    }
    const std::string& arc = ArcPathNow();
    // The archive never archives itself.
    const std::string_view name = std::string_view(fileName).substr(NameStart(fileName));
    if (SameText(name, std::string_view(arc).substr(NameStart(arc))) &&
        SameText(ExpandFileName(fileName), ExpandFileName(arc)))
        return;
    ++selected_;
    if (fileName.size() > dir_.size() + 1 && IsUnder(fileName, dir_)) {
        THL_Project::DoFile(fileName.substr(dir_.size() + 1), searchRec, stop);
    } else {
        THL_Project::DoFile(fileName, searchRec, stop);
    }
}

void THL_HalvoraProject::ReadExtra(TIniFile& ini) {
    const std::string& s = Section;
    SetArcName(ReadText(ini, s, "ArcName", std::string()));
    ArcType = static_cast<uint8_t>(ini.ReadInteger(s, "ArcType", 2));
    CompressType = static_cast<uint8_t>(ini.ReadInteger(s, "CompressType", 2));
    ArcPS = ReadText(ini, s, "ArcPS", std::string());
    SetVolumeSize(ini.ReadInteger(s, "VolumeSize", 0));
    MakeSaveDirectories = ini.ReadBool(s, "MakeSaveDirectories", false);
    int index = 0;
    RestIniStrings(ini, s + "AF", &arcFiles_, index);
    RestIniStrings(ini, s + "PB", &preBatch_, index);
}

void THL_HalvoraProject::WriteExtra(TIniFile& ini) {
    const std::string& s = Section;
    ini.WriteQuoted(s, "ArcName", arcName_);
    ini.WriteInteger(s, "ArcType", ArcType);
    ini.WriteInteger(s, "CompressType", CompressType);
    ini.WriteQuoted(s, "ArcPS", ArcPS);
    ini.WriteInteger(s, "VolumeSize", volumeSize_);
    ini.WriteBool(s, "MakeSaveDirectories", MakeSaveDirectories);
    SaveIniStrings(ini, s + "AF", arcFiles_, 0);
    SaveIniStrings(ini, s + "PB", preBatch_, 0);
}

std::string THL_HalvoraProject::GetSignature() const {
    return "***  This is Halvora Project File  ***";
}

// MakeArchive and the rest of the archive run: HLRun.cpp.

void THL_HalvoraProject::Reserved2() {}

std::string THL_HalvoraProject::ArchiveExtension() const {
    if (CompressType == 3) return ".EXE";
    switch (ArcType) {
        case 1:
            return ".hla";
        case 2:
            return ".ARJ";
        case 3:
            return ".ZIP";
        case 4:
            return ".RAR";
    }
    throw Exception("Неизвесный тип архиватора"_a);
}

std::string THL_HalvoraProject::GetArcFileName() {
    return ArcPathNow();
}

const std::string& THL_HalvoraProject::ArcPathNow() {
    CheckSavePlaces();
    const std::string& place = SavePlaces()[0];
    ArcPathInputs& from = arcPathFrom_;
    if (!arcPath_.empty() && from.savePlace == place && from.arcName == arcName_ &&
        from.fileName == FileName && from.arcType == ArcType && from.compressType == CompressType)
        return arcPath_;

    std::string stem = BaseName(arcName_);
    if (stem.empty() || stem.find('*') != std::string::npos) stem = BaseName(FileName);
    std::string ext = ExtractFileExt(arcName_);
    if (ext.empty() || SameText(ext, ".hla")) ext = ArchiveExtension();
    arcPath_ = AddBackslash(place) + stem + ext;
    from = ArcPathInputs{place, arcName_, FileName, ArcType, CompressType};
    return arcPath_;
}

void THL_HalvoraProject::SetArcName(const std::string& value) {
    arcName_ = ExtractFileName(value);
    arcPath_.clear();
    const std::string stem = BaseName(arcName_);
    if (!stem.empty() && SameText(BaseName(FileName), stem))
        arcName_ = "*" + ExtractFileExt(arcName_);
}

int32_t THL_HalvoraProject::GetVolumeBytes() const {
    const int v = volumeSize_;
    if (v <= 0 || v == 50000) return kNoVolumeLimit;
    switch (v) {
        case 1:
            return 1456400;
        case 2:
            return 1212400;
        case 3:
            return 728200;
        case 4:
            return 361400;
    }
    if (v < 50000) throw Exception("Ошибка в размере тома архива: "_a + std::to_string(v));
    return v;
}

void THL_HalvoraProject::CheckSavePlaces() const {
    if (SavePlaces().Empty()) throw Exception("Не определены пути сохранения"_a);
}

void THL_HalvoraProject::DoArchiveDone() {
    if (OnArchiveDone) OnArchiveDone(*this);
}

void THL_HalvoraProject::DoArchiverStart() {
    if (OnArchiverStart) OnArchiverStart(*this);
}

void THL_HalvoraProject::DoBeforeCopy(const std::string& source, const std::string& target,
                                      int count, int index, uint8_t& code) {
    if (OnBeforeCopy) OnBeforeCopy(*this, source, target, count, index, code);
}

void THL_HalvoraProject::DoAfterCopy(const std::string& source, const std::string& target,
                                     int count, int index, uint8_t& code) {
    if (OnAfterCopy) OnAfterCopy(*this, source, target, count, index, code);
}

}  // namespace hv
