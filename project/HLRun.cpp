// The archive run of a project: command template, run files, the external
// archiver's batch and the internal packer.
#include <algorithm>
#include <chrono>
#include <thread>

#include "pack/PackFile.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Launcher.h"
#include "project/HLObject.h"
#include "project/HLRunUtil.h"
#include "settings/WorkDirs.h"
#include "util/Exception.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"
#include "util/TypeList.h"

namespace hv {

namespace {

constexpr size_t kMaxPath = 260;
constexpr int kOutputWidth = 70;
const std::string kRule(68, '-');

// A path on the command line; halvora-cmd keeps a double-quoted word together.
std::string QuotePath(const std::string& path) {
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

// Position of What in Text ignoring case, or npos.
size_t FindUpper(const std::string& text, const char* what) {
    return AnsiUpper(text).find(what);
}

// Removes the blank-delimited word around [p, p + len), keeping both blanks.
void RemoveWord(std::string& s, size_t p, size_t len) {
    const size_t l = s.rfind(' ', p);
    const size_t r = s.find(' ', p + len);
    s = (l == std::string::npos ? std::string() : s.substr(0, l + 1)) +
        (r == std::string::npos ? std::string() : s.substr(r));
}

[[noreturn]] void Missing(const char* what) {
    throw Exception(std::string(what) + "\r\nв строке настройки архиватора"_a);
}

bool HasDriveOrRoot(const std::string& path) {
    const std::string p = Trim(path);
    return !ExtractFileDrive(p).empty() || (!p.empty() && (p[0] == '\\' || p[0] == '/'));
}


}  // namespace

// ---- run files ------------------------------------------------------------------

std::string THL_HalvoraProject::RunTempBase() {
    return AddBackslash(TempDir()) + "HALVORA";
}

std::string THL_HalvoraProject::BatchFileName() {
    return RunTempBase() + ".BAT";
}

std::string THL_HalvoraProject::OutputFileName() {
    return RunTempBase() + ".OUT";
}

std::string THL_HalvoraProject::ListFileName() {
    return RunTempBase() + ".INC";
}

// ---- the command line -----------------------------------------------------------

std::string THL_HalvoraProject::ExpandTemplate() {
    std::string s = Template;

    size_t p = FindUpper(s, "<ARCNAME>");
    if (p == std::string::npos) Missing("Нет шаблона имени файла архива \r\n<ARCNAME>"_a);
    s = s.substr(0, p) + QuotePath(commandArc_.empty() ? GetArcFileName() : commandArc_) +
        s.substr(p + 9);

    p = FindUpper(s, "<LISTNAME>");
    if (p == std::string::npos) Missing("Нет шаблона файла-списка \r\n<LISTNAME>"_a);
    s = s.substr(0, p) + QuotePath(ListFileName()) + s.substr(p + 10);

    p = FindUpper(s, "<VOLSIZE>");
    const int32_t v = GetVolumeBytes();
    if (p != std::string::npos) {
        if (v != kNoVolumeLimit) {
            Rebuild = true;
            s = s.substr(0, p) + std::to_string(v) + s.substr(p + 9);
        } else {
            RemoveWord(s, p, 9);
        }
    } else if (v != kNoVolumeLimit) {
        Missing("Нет шаблона размера блока \r\n<VOLSIZE>"_a);
    }

    p = FindUpper(s, "<NOCOMPR>");
    if (p != std::string::npos)
        s = s.substr(0, p) + (CompressType == 1 ? NoComprOption : std::string()) + s.substr(p + 9);

    const bool password = !Trim(ArcPS).empty();
    p = FindUpper(s, "<PASSWORD>");
    if (p != std::string::npos) {
        if (password)
            s = s.substr(0, p) + ArcPS + s.substr(p + 10);
        else
            RemoveWord(s, p, 10);
    } else if (password) {
        Missing("Нет шаблона пароля\r\n<PASSWORD>"_a);
    }

    p = s.find('<');
    if (p != std::string::npos) {
        const size_t q = s.find('>');
        const std::string fragment = q == std::string::npos ? s.substr(p)
                                     : q < p                ? std::string()
                                                            : s.substr(p, q - p + 1);
        throw Exception("Обнаружен необработанный шаблон\r\n"_a + fragment +
                        "\r\nв строке настройки архиватора"_a);
    }
    return s + " >>" + QuotePath(OutputFileName());
}

// ---- the output file ------------------------------------------------------------

void THL_HalvoraProject::WriteOutputHeader(const std::string& outFile, const std::string& arcPath) {
    const bool exists = FileExists(outFile);
    File f;
    const bool opened = exists ? f.Open(outFile, OpenMode::Write, ShareMode::Exclusive)
                               : f.Open(outFile, OpenMode::CreateNew, ShareMode::Exclusive);
    if (!opened) throw EFCreateError("Cannot create file \"" + outFile + "\". " + LastErrorText());
    std::string block = exists ? "\r\n" + kRule + "\r\n" : kRule + "\r\n";
    block += TrimRight(PadCenter("Halvora DOS output file", kOutputWidth)) + "\r\n";
    block += (arcPath.size() < static_cast<size_t>(kOutputWidth)
                  ? TrimRight(PadCenter(arcPath, kOutputWidth))
                  : arcPath) +
             "\r\n";
    block += kRule + "\r\n";
    // The archiver's messages follow in OEM; the viewer reads the file as OEM.
    block = AnsiToOem(block);
    if (f.Seek(0, SEEK_END) < 0 || f.Write(block.data(), static_cast<int64_t>(block.size())) !=
                                       static_cast<int64_t>(block.size()))
        throw EInOutError("Cannot write file \"" + outFile + "\". " + LastErrorText());
}

// ---- files left out ------------------------------------------------------------

void THL_HalvoraProject::SkipFile(const std::string& name, const FindData& entry,
                                  const std::string& reason) {
    std::string utf8 = entry.PosixPath();
    if (utf8.empty()) {
        auto posix = ToPosixPath(ExpandFileName(name));
        utf8 = posix ? *posix : AnsiToUtf8(name);
    }
    for (const SkippedFile& s : skipped_)
        if (s.utf8 == utf8) return;
    skipped_.push_back({name, utf8, reason});
    const std::string text = "Пропущен файл "_a + name + ": " + reason;
    // The output file keeps the note after the run; the viewer shows it with the archiver's text.
    try {
        const std::string out = OutputFileName();
        if (!outputHeaderWritten_) {
            WriteOutputHeader(out, GetArcFileName());
            outputHeaderWritten_ = true;
        }
        File f;
        const bool opened = FileExists(out) ? f.Open(out, OpenMode::Write, ShareMode::DenyNone)
                                            : f.Open(out, OpenMode::CreateNew);
        const std::string line = AnsiToOem("[Warning] " + text + "\r\n");
        if (opened && f.Seek(0, SEEK_END) >= 0) f.Write(line.data(), static_cast<int64_t>(line.size()));
    } catch (const std::exception&) {
        // The warning and the list still name the file.
    }
    Warning(text);
}

// ---- up-to-date test ------------------------------------------------------------

bool THL_HalvoraProject::IsArchiveOutdated() {
    if (Rebuild) return true;
    const std::string arc = GetArcFileName();
    if (!FileExists(arc)) return true;
    ArcAge = FileAge(arc);
    THL_Project& o = *Owner();
    Restore<bool> stop(o.Stop);
    Restore<bool> running(Running);
    Restore<THL_FileEvent> onFile(OnFile);
    o.Stop = false;
    Running = false;
    const int32_t age = ArcAge;
    OnFile = [age](const std::string&, FindData& entry, bool& stopFlag) {
        if (entry.Time() >= age) stopFlag = true;
    };
    CollectFiles();
    return o.Stop;
}

// ---- list file ------------------------------------------------------------------

void THL_HalvoraProject::AddDosName(const std::string& rel, const FindData& entry) {
    const std::string& shortLeaf = entry.ShortName();
    const std::string name = shortLeaf.empty() ? rel : ExtractFilePath(rel) + shortLeaf;
    std::string shortName;
    if (dosDirs_ && !entry.name.empty() && ExtractFileName(rel) == entry.name) {
        // The entry knows its own short name: only its directory needs mapping.
        if (entry.Gone())
            throw Exception("Ошибка DOS пути файла "_a + name + "\r\n" + LastErrorText());
        const std::string dir = ShortDir(ExtractFilePath(rel));
        if (!dir.empty())
            shortName = AddBackslash(dir) + (shortLeaf.empty() ? entry.name : shortLeaf);
    } else {
        shortName = GetShortPathName(name);
    }
    if (shortName.empty() || shortName.size() > kMaxPath)
        throw Exception("Ошибка DOS пути файла "_a + name + "\r\n" + LastErrorText());
    // The short form comes back whole; below Dir the archiver is given it relative.
    if (!HasDriveOrRoot(name)) {
        const std::string shortDir = AddBackslash(ShortDir(Dir()));
        if (shortDir.size() > 1 && shortName.size() > shortDir.size() &&
            SameText(std::string_view(shortName).substr(0, shortDir.size()), shortDir))
            shortName.erase(0, shortDir.size());
    }
    Lines().Add(AnsiToOem(shortName));
}

std::string THL_HalvoraProject::ShortDir(const std::string& dir) {
    if (!dosDirs_) return GetShortPathName(dir);
    auto it = dosDirs_->find(dir);
    if (it != dosDirs_->end()) return it->second;
    std::string s = GetShortPathName(dir);
    if (!s.empty()) dosDirs_->emplace(dir, s);
    return s;
}

// ---- archive files --------------------------------------------------------------

namespace {

// The archive's directory, stem (up to the first dot) and extension.
struct ArcParts {
    std::string dir, stem, ext;
    explicit ArcParts(const std::string& arcPath)
        : dir(ExtractFileDir(arcPath)), stem(BaseName(arcPath)), ext(ExtractFileExt(arcPath)) {}
};

// Volume files by decades of the extension's first letter (.A0*, .A1*, ...),
// up to the first decade without a file.
void AddVolumes(T_zqFileList& list, const ArcParts& a) {
    if (a.ext.size() < 2) {
        if (a.ext.empty()) list.AddFiles(a.dir, a.stem + ".*");
        return;
    }
    const std::string vol = "." + a.ext.substr(1, 1);
    for (int i = 0; i <= 9; ++i)
        if (list.AddFiles(a.dir, a.stem + vol + std::to_string(i) + "*") == 0) break;
}

}  // namespace

void THL_HalvoraProject::CollectArchiveFiles() {
    const std::string arc = GetArcFileName();
    const ArcParts a(arc);
    T_zqFileList list;
    list.AddFiles(a.dir, ExtractFileName(arc));
    AddVolumes(list, a);
    ArcFiles().Assign(list);
    // The project file keeps the storage place as the user wrote it.
    if (place0Completed_) {
        const std::string completed = SavePlaces()[0];
        SavePlaces().Put(0, storedPlace0_);
        try {
            SaveToFile();
        } catch (...) {
            SavePlaces().Put(0, completed);
            throw;
        }
        SavePlaces().Put(0, completed);
    } else {
        SaveToFile();
    }
}

std::vector<std::string> THL_HalvoraProject::OldArchiveFiles() {
    const std::string arc = GetArcFileName();
    const ArcParts a(arc);
    const std::string prefix = a.stem + ".";
    std::vector<std::string> out;
    // ArcFiles may come from another project's file: only what carries this
    // archive's stem in this archive's directory is ours to delete.
    for (int i = 0; i < ArcFiles().Count(); ++i) {
        const std::string f = ExpandFileName(ArcFiles()[i]);
        const std::string name = ExtractFileName(f);
        if (!SameText(ExtractFileDir(f), ExpandFileName(a.dir))) continue;
        if (name.size() <= prefix.size() ||
            !SameText(std::string_view(name).substr(0, prefix.size()), prefix))
            continue;
        if (FileExists(f)) out.push_back(f);
    }
    T_zqFileList list;
    list.AddFiles(a.dir, ExtractFileName(arc));
    if (!a.ext.empty()) AddVolumes(list, a);
    for (int i = 0; i < list.Count(); ++i) {
        const std::string f = ExpandFileName(list[i]);
        if (std::none_of(out.begin(), out.end(), [&](const std::string& o) { return SameText(o, f); }))
            out.push_back(f);
    }
    return out;
}

void THL_HalvoraProject::DeleteOldArchiveFiles() {
    for (const std::string& f : OldArchiveFiles()) DeleteFile(f);
}

// ---- the run --------------------------------------------------------------------

int THL_HalvoraProject::RunBatchFile(const std::string& batch, bool minimized) {
    TRzLauncher launcher;
    launcher.ProgramName = batch;
    launcher.Parameters.clear();
    launcher.ShowMode = minimized ? TShowMode::smMinimized : TShowMode::smNormal;
    launcher.StartDir = Dir();
    launcher.Launch();
    THL_Project& o = *Owner();
    try {
        while (!o.Stop && !workdirs::Terminating() && launcher.IsRunning()) {
            if (RunMessagePump) RunMessagePump();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } catch (...) {
        launcher.Terminate();
        throw;
    }
    // Left running after a stop, the archiver would go on writing the archive unseen.
    if (launcher.IsRunning()) {
        launcher.Terminate();
        return -1;
    }
    return launcher.ExitCode();
}

namespace {

constexpr const char* kStagingDir = "HVNEW.TMP";

// What the archive looked like before the archiver ran.
std::optional<FileStamp> StampOf(const std::string& path) {
    return FileExists(path) ? GetFileStamp(path) : std::nullopt;
}

// An exit status the archiver gives for a failure (warnings are no failure).
bool ArchiverFailed(uint8_t arcType, int code) {
    switch (arcType) {
        case 2: return code >= 2;                // arj: 1 is a warning
        case 3: return code != 0 && code != 12;  // zip: 12 is "nothing to do"
        case 4: return code > 1;                 // rar: 1 is a warning
        default: return code != 0;
    }
}

// Temporary files the archivers leave in the archive's directory when they are killed.
bool IsArchiverTemp(const std::string& name) {
    const std::string u = AnsiUpper(name);
    return u.rfind("ARJTEMP.$", 0) == 0 || (u.size() == 8 && u.rfind("ZI", 0) == 0 &&
                                            u.find('.') == std::string::npos);
}

std::vector<std::string> ArchiverTemps(const std::string& dir) {
    std::vector<std::string> out;
    FindFile ff;
    for (bool ok = ff.First(AddBackslash(dir) + "*", kAttrReadOnly | kAttrHidden | kAttrArchive); ok;
         ok = ff.Next())
        if (!ff.Data().IsDirectory() && IsArchiverTemp(ff.Data().name)) out.push_back(ff.Data().name);
    return out;
}

}  // namespace

void THL_HalvoraProject::CheckRunPlaces() {
    if (Trim(Dir()).empty()) throw Exception("Не указан корневой каталог проекта"_a);
    if (!DirectoryExists(Dir())) throw Exception("Директорий отсутствует: "_a + Dir());
    const std::string place = ExtractFileDir(GetArcFileName());
    if (DirectoryExists(place)) return;
    if (MakeSaveDirectories) ForceDir(place);
    if (!DirectoryExists(place)) throw Exception("Директорий отсутствует: "_a + place);
}

void THL_HalvoraProject::MakeArchive() {
    skipped_.clear();
    outputHeaderWritten_ = false;
    built_ = false;
    LoadFromFile();
    CheckSavePlaces();

    // A first storage place without a drive lies below Dir, not below
    // whatever directory the program happens to be in.
    const std::string place0 = SavePlaces()[0];
    const bool complete = !HasDriveOrRoot(place0) && !Dir().empty();
    struct PlaceGuard {
        THL_HalvoraProject& p;
        ~PlaceGuard() {
            if (p.place0Completed_ && !p.SavePlaces().Empty())
                p.SavePlaces().Put(0, p.storedPlace0_);
            p.place0Completed_ = false;
            p.storedPlace0_.clear();
        }
    } placeGuard{*this};
    if (complete) {
        storedPlace0_ = place0;
        place0Completed_ = true;
        SavePlaces().Put(0, AddBackslash(Dir()) + Trim(place0));
    }

    const std::string savedDir = GetCurrentDir();
    if (!AllBlank(PreBatch())) {
        TStringList batch;
        batch.Assign(PreBatch());
        ListToOem(batch);
        batch.SaveToFile(BatchFileName());
        RunBatchFile(BatchFileName(), false);
        if (!workdirs::DebugMode()) DeleteFile(BatchFileName());
        // Stopped during the pre-run batch: the user wants no archive now.
        if (Owner()->Stop) return;
    }
    // After the pre-run batch, which may be what mounts the source or the storage place.
    CheckRunPlaces();
    selected_ = 0;
    if (!IsArchiveOutdated()) {
        // Nothing newer, because nothing at all: an unmounted disk or emptied
        // directory must not pass for an unchanged one.
        if (selected_ == 0 && !Owner()->Stop) NothingSelected();
        return;
    }

    struct RunGuard {
        THL_HalvoraProject& p;
        std::string dir;
        ~RunGuard() {
            p.Running = false;
            SetCurrentDir(dir);
        }
    } runGuard{*this, savedDir};
    if (!SetCurrentDir(Dir()))
        throw Exception("Cannot enter directory \"" + Dir() + "\". " + LastErrorText());
    Running = true;
    built_ = true;
    selected_ = 0;
    switch (ArcType) {
        case 0:
            throw Exception("THL_Project: Пока не реализовано"_a);
        case 1:
            RunInternal();
            break;
        case 2:
        case 3:
        case 4:
            RunExternal();
            break;
        default:
            throw Exception("Неизвестный формат "_a);
    }
}

void THL_HalvoraProject::NothingSelected() const {
    throw Exception("Проект не выбрал ни одного файла для архивации в "_a + Dir());
}

bool THL_HalvoraProject::UsesVolumes() const {
    return FindUpper(Template, "<VOLSIZE>") != std::string::npos &&
           GetVolumeBytes() != kNoVolumeLimit;
}

void THL_HalvoraProject::RunExternal() {
    const bool keep = workdirs::DebugMode();
    struct Cleanup {
        THL_HalvoraProject& p;
        bool keep;
        ~Cleanup() {
            p.Lines().Clear();
            p.commandArc_.clear();
            if (keep) return;
            DeleteFile(BatchFileName());
            DeleteFile(ListFileName());
        }
    } cleanup{*this, keep};

    const std::string arc = GetArcFileName();
    const std::string place = ExtractFileDir(arc);
    WriteOutputHeader(OutputFileName(), arc);
    outputHeaderWritten_ = true;

    // Left by an archiver killed in an earlier run (this run holds the run lock).
    for (const std::string& t : ArchiverTemps(place)) DeleteFile(AddBackslash(place) + t);
    // A rebuild (every volume archive is one) is made apart and put in place
    // only when it is complete: a failed or stopped rebuild costs nothing.
    const bool rebuild = Rebuild || UsesVolumes();
    const std::string staging = AddBackslash(place) + kStagingDir;
    struct Staging {
        std::string dir;
        bool used = false;
        ~Staging() {
            if (!used) return;
            DeleteTree(dir);
            RemoveDir(dir);
        }
    } stage{staging, rebuild};
    if (rebuild) {
        if (DirectoryExists(staging)) {
            DeleteTree(staging);
            RemoveDir(staging);
        }
        if (!CreateDir(staging))
            throw Exception("Директорий отсутствует: "_a + staging + "\r\n" + LastErrorText());
        commandArc_ = AddBackslash(staging) + ExtractFileName(arc);
    }
    const std::string built = rebuild ? commandArc_ : arc;

    Lines().Clear();
    Lines().Add("@ECHO OFF");
    Lines().Add("@ECHO " + arc);
    const std::string command = ExpandTemplate();
    Lines().Add(command);
    Lines().Add(std::string());
    // halvora-cmd reads batch files as OEM, like the DOS interpreter.
    ListToOem(Lines());
    Lines().SaveToFile(BatchFileName());
    Lines().Clear();

    // Each listed file as the scan saw it, to tell afterwards which ones changed under the archiver.
    struct Listed {
        std::string name, reach;
        FileStamp stamp;
    };
    std::vector<Listed> listed;
    {
        Restore<THL_FileEvent> onFile(OnFile);
        Restore<std::optional<DosDirMap>> dosDirs(dosDirs_);
        dosDirs_.emplace();
        THL_FileEvent report = OnFile;
        OnFile = [this, report, &listed](const std::string& name, FindData& entry, bool& stop) {
            if (report) report(name, entry, stop);
            if (!Running) return;
            // A name 1251 cannot hold is reached by its short form, as the archiver reaches it.
            const std::string reach = entry.Lossy() && !entry.ShortName().empty()
                                          ? ExtractFilePath(name) + entry.ShortName()
                                          : name;
            // The archiver would only warn (or stop) on a file it cannot read.
            File probe;
            if (!probe.Open(reach, OpenMode::Read, ShareMode::DenyNone)) {
                SkipFile(name, entry, "нет доступа ("_a + LastErrorText() + ")");
                return;
            }
            auto stamp = GetFileStamp(reach);
            probe.Close();
            AddDosName(name, entry);
            listed.push_back({name, reach, stamp ? *stamp : FileStamp{}});
        };
        CollectFiles();
    }
    if (Owner()->Stop) return;
    if (listed.empty()) NothingSelected();
    Lines().SaveToFile(ListFileName());
    DoArchiverStart();
    if (Owner()->Stop) return;

    const std::optional<FileStamp> before = StampOf(built);
    const std::vector<std::string> tempsBefore = ArchiverTemps(place);
    const int code = RunBatchFile(BatchFileName(), true);
    if (Owner()->Stop || code == -1) {
        // Killed halfway: what the archiver left half written goes.
        for (const std::string& t : ArchiverTemps(place))
            if (std::find(tempsBefore.begin(), tempsBefore.end(), t) == tempsBefore.end())
                DeleteFile(AddBackslash(place) + t);
        return;
    }
    const std::optional<FileStamp> after = StampOf(built);
    const std::string where = "Сообщения архиватора - в выводе архиватора."_a;
    if (ArchiverFailed(ArcType, code))
        throw Exception("Архиватор завершился с ошибкой (код "_a + std::to_string(code) +
                        "): архив " + arc + (before && !rebuild ? " не обновлён. "_a : " не создан. "_a) +
                        where);
    if (!after) throw Exception("Архиватор не создал архив "_a + arc + ". " + where);
    if (before && after == before && code != 0)
        throw Exception("Архиватор не обновил архив "_a + arc + " (код " + std::to_string(code) +
                        "). " + where);

    if (rebuild) {
        // The new files take the old ones' places one rename each; old
        // volumes the new archive no longer has go after.
        const std::vector<std::string> old = OldArchiveFiles();
        std::vector<std::string> placed;
        FindFile ff;
        std::vector<std::string> names;
        for (bool ok = ff.First(AddBackslash(staging) + "*", kAttrReadOnly | kAttrHidden | kAttrArchive);
             ok; ok = ff.Next())
            if (!ff.Data().IsDirectory()) names.push_back(ff.Data().name);
        ff.Close();
        for (const std::string& n : names) {
            const std::string target = AddBackslash(place) + n;
            if (!ReplaceFile(AddBackslash(staging) + n, target))
                throw Exception("Не удалось переименовать "_a + AddBackslash(staging) + n + " в " +
                                target + "\r\n" + LastErrorText());
            placed.push_back(ExpandFileName(target));
        }
        for (const std::string& o : old)
            if (std::none_of(placed.begin(), placed.end(),
                             [&](const std::string& p) { return SameText(p, o); }))
                DeleteFile(o);
    }

    // Files that changed while the archiver read them may be in the archive half old, half new.
    for (const auto& [name, reach, stamp] : listed) {
        auto now = GetFileStamp(reach);
        if (!now) {
            FindData none;
            SkipFile(name, none, "файл исчез до архивации"_a);
        } else if (now->size != stamp.size || now->mtimeNs != stamp.mtimeNs) {
            FindData none;
            SkipFile(name, none, "файл изменялся во время архивации"_a);
        }
    }
    CollectArchiveFiles();
    DoArchiveDone();
}

}  // namespace hv
