// The project model.
//
// A project is a tree: one project node at the root and directory nodes below
// it. Every node names a directory and the rules that choose files in and
// under it (CheckFile gives the verdict on one name, CollectFiles walks the
// disk and reports what the rules take). The project node adds the file it
// lives in, its dependencies, its storage places and the events through which
// it reports; THL_HalvoraProject adds the archive settings.
//
// All text is 1251; paths are Windows paths, compared without regard to case.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"
#include "util/Object.h"
#include "util/StringList.h"

namespace hv {

class TIniFile;
class TPackFileObject;
class THL_Directory;
class THL_Project;
class THL_HalvoraProject;

// Verdicts of CheckFile.
enum : uint8_t { kVerdictNone = 0, kVerdictTake = 1, kVerdictLeaveOut = 2 };
// Modes of FindMatch: which list is being searched.
enum : int { kMatchInclude = 0, kMatchExclude = 1, kMatchExtension = 2 };

// Every selected file: its name, its directory entry, the owner's stop flag.
// The entry looks its size, time and attributes up when first asked for them.
using THL_FileEvent =
    std::function<void(const std::string& fileName, FindData& searchRec, bool& stop)>;
// Warnings of a scan, prefixed with "[Warning]\t"; the handler may ask to stop.
using THL_MessageEvent = std::function<void(const std::string& text, bool& stop)>;
using THL_NotifyEvent = std::function<void(THL_HalvoraProject& sender)>;
using THL_ProgressEvent =
    std::function<void(THL_HalvoraProject& sender, int64_t done, int64_t total)>;
// Asked before and after each copy or verification of an archive file.
using THL_CopyEvent =
    std::function<void(THL_HalvoraProject& sender, const std::string& source,
                       const std::string& target, int count, int index, uint8_t& code)>;
using THL_CopyErrorEvent = std::function<void(
    THL_HalvoraProject& sender, const std::exception& error, const std::string& source,
    const std::string& target, int count, int index, uint8_t& code)>;

// A node of the project tree: a directory and the rules that choose its files.
class THL_BaseObject : public TObject {
  public:
    ~THL_BaseObject() override;
    THL_BaseObject(const THL_BaseObject&) = delete;
    THL_BaseObject& operator=(const THL_BaseObject&) = delete;

    // ---- virtual operations, in their fixed order -------------------------------
    // Dir := Path trimmed, without one trailing backslash.
    virtual void SetRootDir(const std::string& path);
    virtual void SetName(const std::string& value);
    // Walks Dir (and the directory nodes) and reports every file the rules take.
    virtual void CollectFiles();
    virtual void AddExtension(const std::string& ext);
    virtual void DeleteExtension(const std::string& ext);
    virtual void SetExtensions(const TStringList& source);
    // A new directory node owned by Dirs; returns it.
    virtual THL_Directory* AddDirectory(const std::string& path);
    // Frees the node filed under Path; its former index, or -1 when absent.
    virtual int DeleteDirectory(const std::string& path);
    virtual void Reserved();
    virtual void AddFileName(const std::string& name, bool include);
    virtual int DeleteFileName(const std::string& name, bool include);
    virtual void SetFileNames(const TStringList& source, bool include);
    virtual bool IsIncluded(const std::string& fileName) const;
    // kVerdictNone: no rule applies; kVerdictTake; kVerdictLeaveOut.
    virtual uint8_t CheckFile(const std::string& fileName) const;

    // ---- selection --------------------------------------------------------------
    // Index of the first entry of List that matches FileName, or -1.
    int FindMatch(const std::string& fileName, const TStringList& list, int mode) const;
    // One directory level and its subdirectories; Path = Dir is the top level,
    // which also looks up the mandatory files the walk did not meet.
    void ScanDirectory(const std::string& path);
    // Marks the IncludeFiles entries that name FileName; an empty name clears every mark.
    void MarkFound(const std::string& fileName);
    bool IsFound(int includeIndex) const;
    // "[Warning]\t" + Text to the owner's OnMessage; without a handler the
    // text goes to the message box and the scan waits for the user.
    void Warning(const std::string& text);

    // ---- state ------------------------------------------------------------------
    THL_Project* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    const std::string& Dir() const { return dir_; }
    bool ProjectProperties() const { return projectProperties_; }
    // Only a directory node can take its rules from the project.
    void SetProjectProperties(bool value);
    bool IsStopped() const;
    // True sets the owner's Stop (and stops an internal archive being
    // written); false is ignored: only a new scan clears the flag.
    void SetStop(bool value);

    // Directory nodes, each filed under its path; the list owns the nodes.
    TStringList& Dirs() { return dirs_; }
    const TStringList& Dirs() const { return dirs_; }
    THL_Directory* DirNode(int index) const;
    TStringList& Extensions() { return extensions_; }
    const TStringList& Extensions() const { return extensions_; }
    TStringList& IncludeFiles() { return includeFiles_; }
    const TStringList& IncludeFiles() const { return includeFiles_; }
    TStringList& ExcludeFiles() { return excludeFiles_; }
    const TStringList& ExcludeFiles() const { return excludeFiles_; }

    // true: every file except the Extensions; false: only the Extensions.
    bool IncludeAllFiles = false;
    bool IncludeSubDirs = false;
    // Projects only: scanned for another owner, that owner's exclusions apply too.
    bool GlobalProjectExclude = false;
    // Section of the project file that holds the node.
    std::string Section;

  protected:
    // Owner null: the node is a project and its own owner.
    explicit THL_BaseObject(THL_Project* owner);

    // The node whose lists and flags decide for this one.
    const THL_BaseObject& Rules() const;
    // A plain scan: this node's directory, then its directory nodes.
    void ScanTree();

    THL_Project* owner_;
    std::string name_;
    std::string dir_;
    bool projectProperties_ = false;

  private:
    struct Walk;
    struct MaskList;
    struct MaskCache;
    // The list's entries as upper-cased masks, built again only when the list or Dir changed.
    const MaskList& Masks(int slot, const TStringList& list, int mode) const;
    // FindMatch on an upper-cased full name and its upper-cased file-name part.
    int FindMatchUpper(const std::string& fullU, std::string_view bareU,
                       const MaskList& masks) const;
    void ScanLevel(const std::string& path, bool top, Walk& walk);
    void FindMandatory(const std::string& base, Walk& walk);
    // Reports one file to the owner unless this scan has reported it already.
    bool Report(const std::string& fileName, FindData& entry);

    TStringList dirs_{true};
    TStringList extensions_;
    TStringList includeFiles_;
    TStringList excludeFiles_;
    mutable std::unique_ptr<MaskCache> masks_;
};

class THL_FileObject : public THL_BaseObject {
  protected:
    using THL_BaseObject::THL_BaseObject;
};

// A directory node of a project. Created with ProjectProperties set, so it
// follows the project's rules until it is given its own.
class THL_Directory : public THL_FileObject {
  public:
    THL_Directory(THL_Project* owner, const std::string& path);

    void SetRootDir(const std::string& path) override;
    // Name as given; Dir trimmed and without one trailing backslash.
    void SetName(const std::string& value) override;
    THL_Directory* AddDirectory(const std::string& path) override;
    int DeleteDirectory(const std::string& path) override;
};

// A project bound to a project file.
class THL_Project : public THL_FileObject {
  public:
    // Its own owner.
    THL_Project();
    // Scanned as part of Owner: reports to Owner's DoFile and obeys its Stop.
    explicit THL_Project(THL_Project* owner);
    ~THL_Project() override;

    // Sets Scanning and clears Stop around the scan; raises "THL_Project:
    // Owner error" for a project of another owner that is not scanning.
    void CollectFiles() override;

    // ---- virtual operations appended by the project -----------------------------
    virtual void Init();
    virtual void DoFile(const std::string& fileName, FindData& searchRec, bool& stop);
    virtual void ReadExtra(TIniFile& ini);
    virtual void WriteExtra(TIniFile& ini);
    virtual std::string GetSignature() const;

    // ---- project file -----------------------------------------------------------
    // FileName; a name without a drive is put into the projects directory (and kept so).
    std::string GetFileName();
    // The file's first 256 bytes hold "[" + GetSignature() + "]", not at the very start.
    bool IsProjectFile();
    // Raises "<file> не является проектом" for anything else.
    void LoadFromFile();
    // Writes a sibling temporary file and renames it over the project file.
    void SaveToFile();
    void ClearDirs();

    // The open project file while LoadFromFile or SaveToFile runs, else null.
    TIniFile* Ini() const { return ini_; }
    TStringList& Projects() { return projects_; }
    const TStringList& Projects() const { return projects_; }
    TStringList& SavePlaces() { return savePlaces_; }
    const TStringList& SavePlaces() const { return savePlaces_; }

    std::string FileName;
    THL_FileEvent OnFile;
    bool Scanning = false;
    THL_MessageEvent OnMessage;
    bool Stop = false;
    // Every file a walk meets and the rules leave out, with its full name; a
    // file met twice (nodes that overlap) may come twice, and may also be
    // taken by another node's walk.
    THL_FileEvent OnLeftOut;

  protected:
    void ReadNode(TIniFile& ini, THL_BaseObject& node, bool project);
    void WriteNode(TIniFile& ini, THL_BaseObject& node, bool project);
    TIniFile* ini_ = nullptr;

  private:
    friend class THL_BaseObject;
    void InitProject();

    TStringList projects_;
    TStringList savePlaces_;
    // The files (their Linux paths) reported by the running scan; one report per file.
    struct ReportedSet;
    std::unique_ptr<ReportedSet> reported_;
    int scanDepth_ = 0;
};

// The backup project: archive settings, the archive run and the copies of
// the finished archive.
class THL_HalvoraProject : public THL_Project {
  public:
    THL_HalvoraProject();
    explicit THL_HalvoraProject(THL_Project* owner);
    ~THL_HalvoraProject() override;

    void Init() override;
    // Skips the archive itself and reports the file relative to Dir.
    void DoFile(const std::string& fileName, FindData& searchRec, bool& stop) override;
    void ReadExtra(TIniFile& ini) override;
    void WriteExtra(TIniFile& ini) override;
    std::string GetSignature() const override;
    virtual void MakeArchive();
    virtual void Reserved2();

    // Full path of the archive: first storage place, stem of ArcName (or of
    // the project file), extension of ArcName or of the archiver.
    std::string GetArcFileName();
    // Keeps the file name only; a stem equal to the project file's becomes "*".
    void SetArcName(const std::string& value);
    void SetVolumeSize(int value) { volumeSize_ = value; }
    // Volume size in bytes; kNoVolumeLimit when there is none.
    int32_t GetVolumeBytes() const;
    // Raises "Не определены пути сохранения" when there is no storage place.
    void CheckSavePlaces() const;

    void DoArchiveDone();
    void DoArchiverStart();
    void DoBeforeCopy(const std::string& source, const std::string& target, int count, int index,
                      uint8_t& code);
    void DoAfterCopy(const std::string& source, const std::string& target, int count, int index,
                     uint8_t& code);

    // ---- distribution ---------------------------------------------------------
    // Copies every file of the first storage place named after the archive's
    // stem to the other places. SkipUnchanged passes over targets that carry
    // the source's date stamp; MakeDirs creates missing place directories;
    // Diskettes serves the diskette places (A:, B:) only, otherwise the
    // directory places and, with Network, the network places. Copy errors are
    // warned at once; without OnCopyError they are raised together at the end.
    void CopyArchive(bool skipUnchanged, bool makeDirs, bool diskettes, bool network);
    // After a run: changed files only, directories made when MakeSaveDirectories is set.
    void CopyToSavePlaces(bool toNetwork);
    // Every file to every diskette place, always; raises "Проектом не определены
    // пути копирования на дискеты" before anything is copied when there is none.
    void CopyToDiskettes();
    // Progress handed to the file copier: the first call (Flag set) stores the
    // size in CopyTotal; each call fires OnCopyProgress and answers with Stop.
    // Without OnCopyProgress it does nothing.
    void CopyProgress(int64_t value, bool& flag);
    // A storage place as it is copied to: a place without a drive lies below
    // Dir; trimmed, with a trailing backslash.
    std::string CompleteSavePlace(const std::string& place) const;
    // ---- end of distribution ----------------------------------------------------

    // ---- the archive run --------------------------------------------------------
    // The run files live in the private temporary directory: RunTempBase() +
    // ".BAT" (the batch file), ".OUT" (the archiver's output), ".INC" (the list file).
    static std::string RunTempBase();
    static std::string BatchFileName();
    static std::string OutputFileName();
    static std::string ListFileName();
    // Called on every turn of the run's wait loops so that the windows stay
    // alive; the windows set it.
    static inline std::function<void()> RunMessagePump;
    // The archiver's command line from Template, ending in " >>" + the output
    // file; raises on a missing or unprocessed placeholder. Sets Rebuild when
    // a volume size goes in.
    std::string ExpandTemplate();
    // Appends one run's header block, in OEM, to the output file.
    static void WriteOutputHeader(const std::string& outFile, const std::string& arcPath);
    // Rebuild, no archive yet, or a selected file as new as the archive or newer.
    bool IsArchiveOutdated();
    // Adds the 8.3 form of Rel (relative to Dir when it lies below it) in OEM to Lines.
    void AddDosName(const std::string& rel, const FindData& entry);
    // ArcFiles := the archive and its volumes as they lie now; saves the project file.
    void CollectArchiveFiles();
    // Deletes the previous run's archive and volumes: only files in the
    // archive's directory whose names carry its stem.
    void DeleteOldArchiveFiles();
    // The files DeleteOldArchiveFiles deletes, as full names.
    std::vector<std::string> OldArchiveFiles();

    // ---- files a run could not take ---------------------------------------------
    struct SkippedFile {
        std::string name;    // as the run saw it (1251; '?' where 1251 lacks a character)
        std::string utf8;    // the Linux path, for the terminal
        std::string reason;  // 1251
    };
    // Notes a selected file that this run leaves out (unreadable, gone,
    // changing while read, a name 1251 cannot hold): a warning through
    // OnMessage, a line in the run's output file, an entry of Skipped().
    // Each file is noted once per run; MakeArchive starts the list afresh.
    void SkipFile(const std::string& name, const FindData& entry, const std::string& reason);
    const std::vector<SkippedFile>& Skipped() const { return skipped_; }
    // The last MakeArchive found the archive out of date and built it.
    bool Built() const { return built_; }

  private:
    void RunExternal();
    void RunInternal();
    // Starts a batch file in Dir and waits for it; a stop ends its process
    // group. Its exit status, or -1 when it was ended.
    int RunBatchFile(const std::string& batch, bool minimized);
    // Dir exists; the archive's directory exists or is made (MakeSaveDirectories).
    void CheckRunPlaces();
    [[noreturn]] void NothingSelected() const;
    // The template's volume size will apply, which makes the run a rebuild.
    bool UsesVolumes() const;
    // The archive path the command line gets when it is not GetArcFileName (a rebuild made apart).
    std::string commandArc_;
    // GetShortPathName of a directory, remembered while a run writes its list file:
    // each file of a directory would otherwise list every directory on its path again.
    std::string ShortDir(const std::string& dir);
    using DosDirMap = std::unordered_map<std::string, std::string>;
    std::optional<DosDirMap> dosDirs_;
    std::vector<SkippedFile> skipped_;
    // Files the scans of this object have taken (the archive itself aside).
    int64_t selected_ = 0;
    bool built_ = false;
    // This run has put its header block into the output file.
    bool outputHeaderWritten_ = false;
    // The first storage place as the user wrote it while a run completes it against Dir.
    std::string storedPlace0_;
    bool place0Completed_ = false;

  public:
    // ---- end of the archive run -------------------------------------------------

    static constexpr int32_t kNoVolumeLimit = 2147483647;

    int VolumeSize() const { return volumeSize_; }
    const std::string& ArcName() const { return arcName_; }
    const std::string& ArcPath() const { return arcPath_; }
    TStringList& Lines() { return lines_; }
    TStringList& ArcFiles() { return arcFiles_; }
    const TStringList& ArcFiles() const { return arcFiles_; }
    TStringList& PreBatch() { return preBatch_; }
    const TStringList& PreBatch() const { return preBatch_; }

    // Exists only while an internal-format archive is written; not owned here.
    TPackFileObject* PackFile = nullptr;
    THL_ProgressEvent OnCopyProgress;
    bool Running = false;
    THL_NotifyEvent OnArchiveDone;
    THL_NotifyEvent OnArchiverStart;
    int64_t CopyTotal = 0;
    bool MakeSaveDirectories = false;
    THL_CopyEvent OnAfterCopy;
    THL_CopyEvent OnBeforeCopy;
    bool Rebuild = false;
    THL_CopyErrorEvent OnCopyError;
    int32_t ArcAge = 0;
    // 0 undefined, 1 internal packer, 2 ARJ, 3 ZIP, 4 RAR.
    uint8_t ArcType = 0;
    // 0 undefined, 1 no compression, 2 normal, 3 self-extracting.
    uint8_t CompressType = 0;
    std::string Template;
    std::string NoComprOption;
    std::string ArcPS;

  private:
    void InitHalvora();
    std::string ArchiveExtension() const;

    // The archive path, computed again when anything it depends on changed.
    const std::string& ArcPathNow();

    int volumeSize_ = 0;
    std::string arcName_;
    std::string arcPath_;
    // What arcPath_ was computed from.
    struct ArcPathInputs {
        std::string savePlace, arcName, fileName;
        uint8_t arcType = 0, compressType = 0;
        bool operator==(const ArcPathInputs&) const = default;
    } arcPathFrom_;
    TStringList lines_;
    TStringList arcFiles_;
    TStringList preBatch_;
};

}  // namespace hv
