// TPackFileObject: the system's own archive container (".PKK", ".hla").
//
// An archive is a header, members (header + data) and a 4-byte end marker.
// Members are packed by TPackObject or stored. The archive file is never
// written in place: every change builds a temporary file beside it and renames
// it over the old one. ARJ archives (also behind a self-extracting stub) can be
// listed but not changed or extracted.
//
// Changes to many members go into one rewrite: between BeginUpdate and Commit
// each Execute only records its decision, and Commit writes the archive once.
// Members are independent codec streams, so a commit packs them on several
// threads (and a list extraction unpacks them so) while the bytes written stay
// those of the one-by-one order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "util/Exception.h"

namespace hv {

class TPackObject;
namespace packio {
class NameTable;
class TempFile;
}  // namespace packio

// Result codes of the container; the codec's own codes (-1..-6, -100, -101) pass through.
enum : int {
    kArcInternalError = -200,
    kArcRunError = -201,
    kArcBusy = -202,
    kArcIoError = -203,
    kArcChecksum = -204,
    kArcFileChecksum = -205,
    kArcBadHeader = -206,
    kArcBadFileHeader = -207,
    kArcOtherType = -208,
    kArcCorrupted = -209,
    kArcTempFile = -210,
    kArcRename = -211,
    kArcUnknownOp = -212,
    kArcExists = -213,
    kArcNotFound = -214,
    kArcUnknown = -215,
    kArcUnsafeName = -216,
};

// ArchiveType / GetArchiveType.
enum : uint8_t { kArcTypeOwn = 0, kArcTypeNone = 1, kArcTypeArj = 2 };

// Operation.
enum : uint8_t {
    kArcOpNone = 0,
    kArcOpAdd = 1,
    kArcOpExtract = 2,
    kArcOpDelete = 4,
    kArcOpUpdate = 5,
};

// Member methods.
enum : uint8_t { kMethodPacked = 0, kMethodStored = 1 };

class EArchiveObjectError : public Exception {
  public:
    EArchiveObjectError(int code, const std::string& message) : Exception(message), code_(code) {}
    int Code() const { return code_; }

  private:
    int code_;
};

// Text of a container or codec code with its argument put in place of %s/%d
// (1251); empty for a code in neither table.
std::string ArchiveErrorText(int code, const std::string& arg, bool russian);

// Version number as shown to the user: "1.0" for the own format's 256, the
// plain number for ARJ's one-byte versions.
std::string ArchiveVersionText(uint16_t version, uint8_t archiveType);

// The gate for names that come from outside (archive members, list files,
// dropped paths): true when Name is a non-empty relative path that stays
// below the directory it is put under - no drive, no leading separator, no
// ".." component (either separator).
bool IsSafeRelativeName(std::string_view name);
// Name without a drive ("C:") and without leading separators.
std::string StripAbsolutePrefix(std::string_view name);

// The archive header as held in memory; Bytes() gives its on-disk form.
struct TArchive0Header {
    static constexpr int kFixedSize = 38;

    uint16_t HeaderId = 0;
    uint16_t HeaderSize = 0;
    uint8_t FirstHeaderSize = 0;
    uint16_t Version = 0;
    uint16_t MinVersion = 0;
    uint8_t HostOS = 0;
    uint8_t Flags = 0;
    uint8_t SecurityVersion = 0;
    uint8_t FileType = 0;
    uint8_t Reserved = 0;
    int32_t Created = 0;
    int32_t Modified = 0;
    uint32_t ArchiveSize = 0;
    uint16_t SecurityPos = 0;
    uint16_t NamePos = 0;
    uint16_t SecurityLength = 0;
    uint16_t Reserved2 = 0;
    uint32_t HeaderCRC = 0;
    std::string Name;
    std::string Comment;

    // On-disk bytes with FirstHeaderSize 38 and HeaderSize computed.
    std::string Bytes() const;
};

// A source that a batch left out; its old member, if any, stays in the archive.
enum class TSkipReason : uint8_t {
    Unreadable,  // cannot be opened or read
    Gone,        // no longer there
    Changed,     // changed while it was read, twice
    TooLarge,    // 2 GiB or more: the sizes of a member cannot hold it
    BadName,     // its name cannot be written in 1251
};

struct TSkippedSource {
    std::string FileName;  // as given to SetFileName
    std::string PosixPath;
    TSkipReason Reason = TSkipReason::Unreadable;
    std::string Message;  // the container's text, naming the cause (1251)
    std::string Cause;    // the cause alone, in the system's words
};

// A member header as held in memory.
struct TArchive0FileHeader {
    static constexpr int kFixedSize = 52;

    uint16_t HeaderId = 0;
    uint16_t HeaderSize = 0;
    uint8_t FirstHeaderSize = 0;
    uint16_t Version = 0;
    uint16_t MinVersion = 0;
    uint8_t HostOS = 0;
    uint8_t Flags = 0;
    uint8_t Method = 0;
    uint8_t FileType = 0;
    uint8_t Reserved = 0;
    int32_t Created = 0;
    int32_t Modified = 0;
    uint32_t UnpackedSize = 0;
    uint32_t PackedSize = 0;
    uint32_t Reserved2 = 0;
    uint32_t ExtFilePos = 0;
    uint32_t FileCRC = 0;
    uint16_t NamePos = 0;
    uint16_t Attr = 0;
    uint16_t Reserved3 = 0;
    uint32_t HeaderCRC = 0;
    std::string Name;
    std::string Comment;

    // On-disk bytes with FirstHeaderSize 52 and HeaderSize computed.
    std::string Bytes() const;
};

class TPackFileObject {
  public:
    // Sender, bytes done, bytes in all.
    using ProgressEvent = std::function<void(TPackFileObject& sender, int32_t done, int32_t total)>;

    // Largest header the reader accepts; longer names or comments are refused on writing.
    static constexpr int kMaxHeaderSize = 4096;
    // Sources this large or larger would wrap the 32-bit sizes of the codec and the header.
    static constexpr int64_t kMaxMemberSize = 0x7FFFFFFFLL - 4;

    TPackFileObject();
    virtual ~TPackFileObject();
    TPackFileObject(const TPackFileObject&) = delete;
    TPackFileObject& operator=(const TPackFileObject&) = delete;

    // Full path of the archive; ".PKK" is added to a name without extension.
    void SetArchiveName(const std::string& name);
    const std::string& ArchiveName() const { return archiveName_; }
    const std::string& NameAsGiven() const { return nameAsGiven_; }
    // The file to add, extract or delete; clears FileComment.
    void SetFileName(const std::string& name);
    // The same with the directory entry the caller already holds (a scan's): no
    // second look-up, and the very file even where names differ only in case.
    void SetFileName(const std::string& name, const FindData& entry);
    const std::string& FileName() const { return fileName_; }
    // Rewrites the archive with the new comment at once.
    void SetComment(const std::string& text);
    const std::string& Comment() const { return comment_; }
    void SetActive(bool flag);
    bool Active() const { return archive_.IsOpen(); }

    // Performs Operation on FileName; returns ResultCode.
    int Execute();
    void Stop(bool flag);

    // ---- one rewrite for many changes ---------------------------------------------
    // Opens a batch: Execute with Operation 1, 4 or 5 records its change, reading
    // nothing but the source's directory entry. Rebuild starts from no members
    // (the old ones serve only sources left out). The archive need not exist; it is
    // neither created nor locked open before Commit.
    void BeginUpdate(bool rebuild = false);
    // Packs what the batch recorded (on Workers threads) and writes the archive
    // once, in the order the one-by-one operations would give; writes nothing
    // when nothing changed. A failure or a stop leaves the archive as it was.
    // Sources that cannot be read, vanish, or change again when read a second
    // time are left out and listed in Skipped. Returns ResultCode as Execute.
    int Commit();
    // Drops the batch; the archive stays as it was.
    void CancelUpdate();
    bool Updating() const { return batch_ != nullptr; }
    // Sources the last batch left out, in the order they were recorded.
    const std::vector<TSkippedSource>& Skipped() const { return skipped_; }

    // ---- several members in one pass (each stoppable, with progress) --------------
    // Adds the files (Operation 5 when it is set, else 1) in one rewrite.
    int AddFiles(const std::vector<std::string>& files);
    // Deletes the members named (as stored) in one rewrite.
    int DeleteMembers(const std::vector<std::string>& names);
    // Extracts the members named in one pass over the archive, in archive order,
    // on Workers threads. All names must be found before anything is extracted;
    // the first member that fails ends the run as the one-by-one loop would
    // (extracted before it: kept; after it: removed again).
    int ExtractMembers(const std::vector<std::string>& names);
    // Stored names of every member, in order.
    std::vector<std::string> MemberNames();
    // Threads used by the calls above; 0: one per core.
    static int DefaultWorkers();

    // Enumeration of the members; the current member's fields follow.
    void ReadFirst();
    void ReadNext();
    bool EndOfArchive() const { return endOfArchive_; }
    bool FindMember(const std::string& name);

    bool IsArchive();
    uint8_t GetArchiveType();
    // Where the current member would be extracted to.
    std::string TargetName() const;
    // The name a file is kept under in the archive.
    std::string StoredName(const std::string& path) const;

    int32_t MemberTime() const { return fileHeader_.Modified; }
    int64_t MemberSize() const { return fileHeader_.UnpackedSize; }
    uint16_t MemberAttr() const { return fileHeader_.Attr; }
    const std::string& MemberName() const { return fileHeader_.Name; }
    int64_t MemberHeaderPos() const { return memberPos_; }
    int64_t MemberPackedSize() const { return fileHeader_.PackedSize; }
    int64_t MemberDataPos() const { return memberDataPos_; }

    const TArchive0Header& ArchiveHeader() const { return archiveHeader_; }
    const TArchive0FileHeader& FileHeader() const { return fileHeader_; }
    uint8_t ArchiveType() const { return archiveType_; }
    int ResultCode() const { return resultCode_; }
    bool Busy() const { return busy_; }
    bool IsExe() const { return isExe_; }
    bool StopRequested() const { return stopRequested_; }
    // Offset of the archive header in the file (behind a self-extracting stub).
    int64_t ArchiveStart() const { return archiveStart_; }

    ProgressEvent OnProgress;
    // Settings; SetArchiveName puts them back to these values.
    std::string FileComment;  // comment of the next member added
    std::string BaseDir;      // stored names are relative to it
    std::string ExtractDir;   // target directory of extraction
    std::string ExtractTo;    // explicit target of extraction
    // Kept for callers; the temporary file always lives beside the archive so
    // that the final rename stays on one file system.
    std::string TempDir;
    bool DeleteTempOnError = true;
    bool MakeBackup = false;
    bool KeepDrive = false;
    bool StoreOnly = false;
    bool RaiseErrors = true;
    bool ExtractNameOnly = false;
    bool StripAbsolute = true;
    uint8_t Operation = kArcOpNone;
    // Members stored under a file's full name (drive and directories, as runs
    // made them before names were kept relative to BaseDir) stand for that file
    // when no member has its stored name; the next write renames them.
    bool MatchOldFullNames = false;
    // Threads that pack and unpack members in batches and list extractions:
    // 0 one per core, 1 everything on the caller's thread. Any number gives the
    // same archive bytes.
    int Workers = 0;

  private:
    struct Index;
    struct Batch;
    struct Source;

    void ResetState();
    // Raises Code with its table text, Arg in place of %s/%d and, when given, ": " + Cause.
    [[noreturn]] void Fail(int code, const std::string& arg = {}, const std::string& cause = {});
    [[noreturn]] void Raise(int code, const std::string& message);
    void Progress(int32_t done, int32_t total);

    void Open();
    void Close();
    void CreateArchive();
    bool ReadArchiveHeader(File& f, int64_t start, int64_t size);
    bool ReadArjMainHeader(File& f, int64_t start, int64_t size);
    void ReadMemberHeader(int64_t pos);
    void ReadOwnMemberHeader(int64_t pos);
    void ReadArjMemberHeader(int64_t pos);
    void MarkEnd(int64_t pos);

    // Runs Op as Execute runs an operation: ResultCode, RaiseErrors, stops.
    template <class Op>
    int Guarded(Op&& op, bool keepActive);
    void RefuseWhileBusy() const;

    void CheckChangeable();
    const Index& MemberIndex();
    void DropIndex();
    int FindByName(const std::string& storedName);
    std::string NewArchiveHeader(bool touch, bool setComment) const;
    std::string BuildTarget(const std::string& storedName, bool& safe, std::string* base,
                            std::string* rest) const;
    // Copies Count bytes from From on; OnBlock hears of each block copied.
    void CopyStreams(File& dst, File& src, int64_t from, int64_t count,
                     const std::function<void(int64_t)>& onBlock, const std::string& dstName);
    void ReportCopy(int64_t done, int64_t total);
    void WriteBytes(File& dst, const std::string& bytes, const std::string& name);
    void ReplaceArchive(packio::TempFile& temp);

    void StartBatch(bool explicitBatch, bool rebuild);
    void Record();
    void RecordAdd(bool onlyChanged);
    void RecordDelete();
    bool LookUpSource(Source& src, bool mustExist);
    void SkipSource(const Source& src, TSkipReason reason, int code, const std::string& cause);
    template <class NameOf>
    int Lookup(const packio::NameTable& table, NameOf nameOf, const Source& src) const;
    bool HasOwnFile(const std::string& memberName, const Source& src,
                    const std::string& stored) const;
    std::string OldStoredName(const std::string& path) const;
    void WriteBatch();
    void ExtractList(std::vector<int> members);

    std::unique_ptr<TPackObject> packer_;
    std::unique_ptr<Index> index_;
    std::unique_ptr<Batch> batch_;
    std::vector<TSkippedSource> skipped_;
    FindData entry_;
    bool entryGiven_ = false;
    // This object created the archive or emptied it: closing removes it while it
    // holds no members. Nothing else ever deletes an archive.
    bool mayRemoveEmpty_ = false;

    TArchive0FileHeader fileHeader_;
    TArchive0Header archiveHeader_;
    std::vector<uint8_t> headerBuffer_;

    File archive_;
    int64_t archiveSize_ = 0;
    int64_t archiveStart_ = 0;
    int64_t archiveHeaderLen_ = 0;
    int64_t memberPos_ = 0;
    int64_t memberDataPos_ = 0;

    std::string archiveName_;
    std::string nameAsGiven_;
    std::string fileName_;
    std::string comment_;
    uint8_t archiveType_ = kArcTypeOwn;
    bool endOfArchive_ = false;
    bool stopRequested_ = false;
    bool busy_ = false;
    bool isExe_ = false;
    int resultCode_ = 0;
};

}  // namespace hv
