#include "pack/PackFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <set>
#include <thread>
#include <unordered_map>

#include "pack/PackIo.h"
#include "pack/PackUnit.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"

namespace hv {

namespace {

constexpr uint16_t kHeaderId = 0x56A9;
constexpr uint16_t kArjId = 0xEA60;
constexpr uint16_t kVersion = 256;
constexpr uint8_t kArjMainType = 2;
constexpr int kArjMinHeader = 30;
constexpr int kArjMaxHeader = 2300;
const std::string kEndMarker("\xA9\x56\x00\x00", 4);

// Self-extracting stubs are looked for within these limits only.
constexpr int64_t kMinStub = 5000;
constexpr int64_t kMaxStub = 70000;
constexpr int64_t kStubSearch = 4096;

constexpr int64_t kCopyBlock = 64 * 1024;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void Put16(std::string& s, size_t off, uint16_t v) {
    s[off] = static_cast<char>(v & 0xFF);
    s[off + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string CutAtNul(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

// Zero-terminated text at Pos, never beyond End. False when no terminator
// lies within the bound (Out then holds what was there).
bool TakeText(const uint8_t* buf, size_t& pos, size_t end, std::string& out) {
    out.clear();
    if (pos >= end) return false;
    const uint8_t* start = buf + pos;
    const void* zero = std::memchr(start, 0, end - pos);
    if (!zero) {
        out.assign(reinterpret_cast<const char*>(start), end - pos);
        pos = end;
        return false;
    }
    size_t len = static_cast<const uint8_t*>(zero) - start;
    out.assign(reinterpret_cast<const char*>(start), len);
    pos += len + 1;
    return true;
}

int32_t NowDos() {
    return DosDateTimeFromUnix(static_cast<int64_t>(std::time(nullptr)));
}

std::string FormatText(const char* text, const std::string& arg) {
    std::string s = text;
    size_t p = s.find("%s");
    if (p == std::string::npos) p = s.find("%d");
    if (p != std::string::npos) s.replace(p, 2, arg);
    return s;
}

struct ErrorRow {
    int code;
    const char* ru;
    const char* en;
};

const ErrorRow kErrors[] = {
    {kArcInternalError, "Внутренняя ошибка"_a, "Internal error"},
    {kArcRunError, "Неопределенная ошибка выполнения"_a, "Due execute error"},
    {kArcBusy, "Процесс уже выполняется"_a, "Process already run"},
    {kArcIoError, "Ошибка ввода/вывода %s"_a, "IO error %s"},
    {kArcChecksum, "Ошибка контрольной суммы архива"_a, "Archive checksum error"},
    {kArcFileChecksum, "Ошибка контрольной суммы файла"_a, "File checksum error"},
    {kArcBadHeader, "Неверный заголовок архива"_a, "Invalid archive header"},
    {kArcCorrupted, "Разрушена структура архива"_a, "Archive corrupted"},
    {kArcBadFileHeader, "Неверный заголовок файла"_a, "Invalid file header"},
    {kArcOtherType, "Не соответствует тип архива"_a, "Other archive type"},
    {kArcUnknownOp, "Неизвестная операция [%d]"_a, "Unknown operation [%d]"},
    {kArcTempFile, "Ошибка создания временного файла [%s]"_a, "Create tmpfile error [%s]"},
    {kArcRename, "Ошибка переименования временного файла в архив. Ошибка DOS %d"_a,
     "Rename tmpfile to archive error. DOS error %d"},
    {kArcExists, "Файл %s уже существует"_a, "File %s already exist"},
    {kArcNotFound, "Файл %s не найден в архиве"_a, "File %s not found in archive"},
    {kArcUnknown, "Неизвестная ошибка"_a, "Unknown error"},
    {kArcUnsafeName, "Недопустимое имя файла в архиве: %s"_a, "Unsafe file name in archive: %s"},
};

bool IsSep(char c) {
    return c == '\\' || c == '/';
}

std::string WithTrailingSep(std::string dir) {
    if (!dir.empty() && !IsSep(dir.back())) dir += '\\';
    return dir;
}

// Creates Dir and every missing parent.
}  // namespace

// ---- texts and the name gate -------------------------------------------------

std::string ArchiveErrorText(int code, const std::string& arg, bool russian) {
    for (const auto& row : kErrors)
        if (row.code == code) return FormatText(russian ? row.ru : row.en, arg);
    if ((code >= kPackBadLength && code <= kPackStopped) || code == kPackNoIo ||
        code == kPackRunError)
        return TPackObject::ErrorText(code, russian);
    return std::string();
}

std::string ArchiveVersionText(uint16_t version, uint8_t archiveType) {
    if (archiveType == kArcTypeArj) return std::to_string(version);
    return std::to_string(version >> 8) + "." + std::to_string(version & 0xFF);
}

bool IsSafeRelativeName(std::string_view name) {
    if (name.empty() || IsSep(name.front()) || IsSep(name.back())) return false;
    if (name.find(':') != std::string_view::npos) return false;
    size_t i = 0;
    while (i <= name.size()) {
        size_t j = i;
        while (j < name.size() && !IsSep(name[j])) ++j;
        std::string_view comp = name.substr(i, j - i);
        // Windows drops trailing dots and blanks, so "..." and ". ." mean "..".
        bool onlyDots = !comp.empty() && comp.find_first_not_of(". ") == std::string_view::npos;
        if (onlyDots && comp != ".") return false;
        i = j + 1;
    }
    return true;
}

std::string StripAbsolutePrefix(std::string_view name) {
    size_t i = 0;
    if (name.size() >= 2 && name[1] == ':') i = 2;
    while (i < name.size() && IsSep(name[i])) ++i;
    return std::string(name.substr(i));
}

// ---- header records ---------------------------------------------------------------

namespace {

// The bytes both header records share: the first 22 of the fixed part (byte 11 is
// the record's own: security version or method) and the two texts behind it. The
// caller fills the rest of the fixed part.
template <class Header>
std::string HeaderBytes(const Header& h, uint8_t byte11) {
    const std::string name = CutAtNul(h.Name), comment = CutAtNul(h.Comment);
    constexpr int fixed = Header::kFixedSize;
    std::string b(fixed, '\0');
    const size_t total = fixed + name.size() + 1 + comment.size() + 1;
    Put16(b, 0, h.HeaderId);
    Put16(b, 2, static_cast<uint16_t>(std::min<size_t>(total, 0xFFFF)));
    b[4] = static_cast<char>(fixed);
    Put16(b, 5, h.Version);
    Put16(b, 7, h.MinVersion);
    b[9] = static_cast<char>(h.HostOS);
    b[10] = static_cast<char>(h.Flags);
    b[11] = static_cast<char>(byte11);
    b[12] = static_cast<char>(h.FileType);
    b[13] = static_cast<char>(h.Reserved);
    Put32(b, 14, static_cast<uint32_t>(h.Created));
    Put32(b, 18, static_cast<uint32_t>(h.Modified));
    b += name;
    b += '\0';
    b += comment;
    b += '\0';
    return b;
}

}  // namespace

std::string TArchive0Header::Bytes() const {
    std::string b = HeaderBytes(*this, SecurityVersion);
    Put32(b, 22, ArchiveSize);
    Put16(b, 26, SecurityPos);
    Put16(b, 28, NamePos);
    Put16(b, 30, SecurityLength);
    Put16(b, 32, Reserved2);
    Put32(b, 34, HeaderCRC);
    return b;
}

std::string TArchive0FileHeader::Bytes() const {
    std::string b = HeaderBytes(*this, Method);
    Put32(b, 22, UnpackedSize);
    Put32(b, 26, PackedSize);
    Put32(b, 30, Reserved2);
    Put32(b, 34, ExtFilePos);
    Put32(b, 38, FileCRC);
    Put16(b, 42, NamePos);
    Put16(b, 44, Attr);
    Put16(b, 46, Reserved3);
    Put32(b, 48, HeaderCRC);
    return b;
}

namespace {

// Parses an own-format header of HeaderSize bytes; the fixed part is read
// into a zeroed record of Fixed bytes so that a shorter FirstHeaderSize
// leaves the missing fields 0. False when the texts do not fill the header
// exactly.
bool SplitOwnHeader(const uint8_t* buf, size_t size, size_t fixed, uint8_t* rec, std::string& name,
                    std::string& comment) {
    size_t fhs = buf[4];
    std::memset(rec, 0, fixed);
    std::memcpy(rec, buf, std::min(fhs, fixed));
    size_t pos = fhs;
    if (!TakeText(buf, pos, size, name)) return false;
    if (!TakeText(buf, pos, size, comment)) return false;
    return fhs + name.size() + comment.size() + 2 == size;
}

}  // namespace

// ---- what the object keeps while open or in a batch ------------------------------------

// Every member of the open archive, read once.
struct TPackFileObject::Index {
    std::vector<TArchive0FileHeader> headers;
    std::vector<int64_t> pos, dataPos;
    int64_t endMarker = 0;
    packio::NameTable names;
    // The walk met damage after the members above: only they can be read, and
    // nothing may be written from this archive.
    int damage = 0;
    std::string damageText;
    void Check(TPackFileObject& o) const {
        if (damage != 0) o.Raise(damage, damageText);
    }
    int64_t End(int i) const { return dataPos[i] + static_cast<int64_t>(headers[i].PackedSize); }
};

// A source as Execute met it.
struct TPackFileObject::Source {
    std::string given;  // FileName as set
    std::string disk;   // full name with the case found on disk
    std::string posix;
    int32_t time = 0;
    int64_t size = 0;
    uint32_t attr = 0;
    bool lossy = false;
};

// A batch: the members the new archive will hold, in order, and the sources to pack.
struct TPackFileObject::Batch {
    struct Slot {
        int old = -1;  // member of the old archive whose place this is
        int job = -1;  // new content, or -1 for the old member's bytes
        bool renamed = false;
        bool removed = false;
        std::string name;
    };
    struct Job {
        Source src;
        TArchive0FileHeader header;
        int fallback = -1;  // old member kept when the source is left out
        packio::PackResult result;
        std::string data;
        std::unique_ptr<packio::TempFile> spool;
        int64_t spoolSize = 0;
    };
    bool explicitBatch = false;
    bool rebuild = false;
    bool existed = false;    // the archive was there when the batch began
    bool oldUsable = false;  // and its members are indexed
    bool wasActive = false;
    bool commentSet = false;
    bool changed = false;  // members removed or renamed, or rebuilt
    std::vector<Slot> slots;
    packio::NameTable names;
    std::vector<Job> jobs;
};

// ---- life cycle ------------------------------------------------------------------------

namespace {

// Sources up to this size are packed into memory by the workers, larger ones into
// a temporary file beside the archive.
constexpr int64_t kSpoolInMemory = 1 << 20;
// Reports of long work come at most this often.
constexpr auto kReportEvery = std::chrono::milliseconds(50);

int ResolveWorkers(int workers) {
    return workers > 0 ? workers : TPackFileObject::DefaultWorkers();
}

std::string PosixJoin(std::string root, const std::string& rest) {
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = i;
        while (j < rest.size() && !IsSep(rest[j])) ++j;
        if (j > i) {
            if (root.empty() || root.back() != '/') root += '/';
            root += AnsiToUtf8(std::string_view(rest).substr(i, j - i));
        }
        i = j + 1;
    }
    return root;
}

}  // namespace

int TPackFileObject::DefaultWorkers() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

TPackFileObject::TPackFileObject() : packer_(std::make_unique<TPackObject>()) {
    ResetState();
}

TPackFileObject::~TPackFileObject() {
    batch_.reset();
    Close();
}

void TPackFileObject::ResetState() {
    archiveType_ = kArcTypeOwn;
    stopRequested_ = false;
    busy_ = false;
    resultCode_ = 0;
    comment_.clear();
    BaseDir.clear();
    ExtractDir.clear();
    ExtractTo.clear();
    DeleteTempOnError = true;
    MakeBackup = false;
    KeepDrive = false;
    StoreOnly = false;
    RaiseErrors = true;
    ExtractNameOnly = false;
    StripAbsolute = true;
    isExe_ = false;
    archiveHeader_ = {};
    fileHeader_ = {};
    endOfArchive_ = false;
    mayRemoveEmpty_ = false;
    archiveStart_ = archiveHeaderLen_ = memberPos_ = memberDataPos_ = 0;
}

void TPackFileObject::RefuseWhileBusy() const {
    if (busy_ || batch_) const_cast<TPackFileObject*>(this)->Fail(kArcBusy);
}

void TPackFileObject::SetArchiveName(const std::string& name) {
    if (name == nameAsGiven_) return;
    RefuseWhileBusy();
    bool was = Active();
    Close();
    nameAsGiven_ = name;
    std::string n = name;
    std::string ext = AnsiUpper(ExtractFileExt(n));
    if (ext.empty()) n += ".PKK";
    archiveName_ = ExpandFileName(n);
    ResetState();
    isExe_ = ext == ".EXE";
    if (was) Open();
}

void TPackFileObject::SetFileName(const std::string& name) {
    fileName_ = name;
    FileComment.clear();
    entry_ = FindData();
    entryGiven_ = false;
}

void TPackFileObject::SetFileName(const std::string& name, const FindData& entry) {
    SetFileName(name);
    entry_ = entry;
    entryGiven_ = true;
}

void TPackFileObject::SetActive(bool flag) {
    if (flag == Active()) return;
    RefuseWhileBusy();
    if (flag)
        Open();
    else
        Close();
}

void TPackFileObject::Stop(bool flag) {
    if (flag) stopRequested_ = true;
}

void TPackFileObject::Fail(int code, const std::string& arg, const std::string& cause) {
    std::string text = ArchiveErrorText(code, arg, false);
    if (!cause.empty()) text += ": " + cause;
    Raise(code, text);
}

void TPackFileObject::Raise(int code, const std::string& message) {
    resultCode_ = code;
    throw EArchiveObjectError(code, message);
}

void TPackFileObject::Progress(int32_t done, int32_t total) {
    if (OnProgress) OnProgress(*this, done, total);
}

// ---- opening and reading ------------------------------------------------------------------

void TPackFileObject::Open() {
    if (archive_.IsOpen()) return;
    if (!FileExists(archiveName_)) {
        CreateArchive();
        mayRemoveEmpty_ = true;
    }
    if (!archive_.Open(archiveName_, OpenMode::Read, ShareMode::Exclusive))
        Fail(kArcIoError, archiveName_, LastErrorText());
    try {
        ReadFirst();
    } catch (...) {
        archive_.Close();
        throw;
    }
}

void TPackFileObject::Close() {
    if (!archive_.IsOpen()) return;
    DropIndex();
    const bool mayRemove = mayRemoveEmpty_;
    mayRemoveEmpty_ = false;
    if (!mayRemove) {
        archive_.Close();
        return;
    }
    // Probing must not disturb what the caller sees of the current member.
    TArchive0FileHeader header = fileHeader_;
    int64_t pos = memberPos_, dataPos = memberDataPos_;
    bool end = endOfArchive_;
    int code = resultCode_;
    bool empty = false;
    try {
        ReadFirst();
        empty = archiveType_ == kArcTypeOwn && archiveStart_ == 0 && !isExe_ && endOfArchive_;
    } catch (const EArchiveObjectError&) {
    }
    archive_.Close();
    if (empty) DeleteFile(archiveName_);
    fileHeader_ = header;
    memberPos_ = pos;
    memberDataPos_ = dataPos;
    endOfArchive_ = end;
    resultCode_ = code;
}

void TPackFileObject::CreateArchive() {
    TArchive0Header h;
    h.HeaderId = kHeaderId;
    h.FirstHeaderSize = TArchive0Header::kFixedSize;
    h.Version = h.MinVersion = kVersion;
    h.Created = h.Modified = NowDos();
    h.NamePos = 4;
    h.Name = ExtractFileName(archiveName_);
    h.Comment = comment_;
    std::string bytes = h.Bytes();
    if (bytes.size() > static_cast<size_t>(kMaxHeaderSize)) Fail(kArcBadHeader);
    bytes += kEndMarker;
    File f;
    if (!f.Open(archiveName_, OpenMode::CreateNew, ShareMode::Exclusive))
        Fail(kArcIoError, archiveName_, LastErrorText());
    if (f.Write(bytes.data(), static_cast<int64_t>(bytes.size())) !=
        static_cast<int64_t>(bytes.size())) {
        const std::string cause = LastErrorText();
        f.Close();
        DeleteFile(archiveName_);
        Fail(kArcIoError, archiveName_, cause);
    }
}

namespace {

bool ReadExact(File& f, int64_t pos, void* buf, int64_t count) {
    if (pos < 0 || count < 0) return false;
    if (f.Seek(pos, SEEK_SET) != pos) return false;
    return f.Read(buf, count) == count;
}

// Offset of an archive behind a self-extracting stub, 0 when there is none.
int64_t FindArchiveStart(File& f, int64_t size, bool isExe) {
    if (!isExe || size <= kMinStub) return 0;
    uint8_t mz[6];
    if (!ReadExact(f, 0, mz, 6) || mz[0] != 'M' || mz[1] != 'Z') return 0;
    int64_t stub = Get16(mz + 2) + (static_cast<int64_t>(Get16(mz + 4)) - 1) * 512;
    if (stub < kMinStub || stub > kMaxStub || stub + 2 > size) return 0;
    std::vector<uint8_t> area(static_cast<size_t>(std::min(kStubSearch, size - stub)));
    if (!ReadExact(f, stub, area.data(), static_cast<int64_t>(area.size()))) return 0;
    for (uint8_t first : {uint8_t{0x60}, uint8_t{0xA9}}) {
        uint8_t second = first == 0x60 ? 0xEA : 0x56;
        for (size_t i = 0; i + 1 < area.size(); ++i)
            if (area[i] == first && area[i + 1] == second) return stub + static_cast<int64_t>(i);
    }
    return 0;
}

}  // namespace

namespace {
// arj built on a Unix host keeps its stamps as Unix seconds, elsewhere as DOS stamps.
int32_t ArjStamp(uint32_t raw, uint8_t hostOS) {
    constexpr uint8_t kArjUnix = 2, kArjNext = 8;
    if (hostOS == kArjUnix || hostOS == kArjNext) return DosDateTimeFromUnix(raw);
    return static_cast<int32_t>(raw);
}
}  // namespace

bool TPackFileObject::ReadArchiveHeader(File& f, int64_t start, int64_t size) {
    if (size - start < TArchive0Header::kFixedSize) return false;
    uint8_t head[7];
    if (!ReadExact(f, start, head, 7)) return false;
    uint16_t id = Get16(head);
    if (id == kArjId) return ReadArjMainHeader(f, start, size);
    if (id != kHeaderId) return false;
    int hsize = Get16(head + 2), fhs = head[4];
    if (hsize < TArchive0Header::kFixedSize || hsize > kMaxHeaderSize || fhs < 36 ||
        fhs > hsize - 2 || Get16(head + 5) != kVersion || start + hsize > size)
        return false;
    headerBuffer_.resize(static_cast<size_t>(hsize));
    if (!ReadExact(f, start, headerBuffer_.data(), hsize)) return false;
    uint8_t r[TArchive0Header::kFixedSize];
    TArchive0Header h;
    if (!SplitOwnHeader(headerBuffer_.data(), headerBuffer_.size(), sizeof r, r, h.Name, h.Comment))
        return false;
    h.HeaderId = Get16(r);
    h.HeaderSize = Get16(r + 2);
    h.FirstHeaderSize = r[4];
    h.Version = Get16(r + 5);
    h.MinVersion = Get16(r + 7);
    h.HostOS = r[9];
    h.Flags = r[10];
    h.SecurityVersion = r[11];
    h.FileType = r[12];
    h.Reserved = r[13];
    h.Created = static_cast<int32_t>(Get32(r + 14));
    h.Modified = static_cast<int32_t>(Get32(r + 18));
    h.ArchiveSize = Get32(r + 22);
    h.SecurityPos = Get16(r + 26);
    h.NamePos = Get16(r + 28);
    h.SecurityLength = Get16(r + 30);
    h.Reserved2 = Get16(r + 32);
    h.HeaderCRC = Get32(r + 34);
    if (h.Version != kVersion || h.MinVersion != kVersion) return false;
    archiveHeader_ = std::move(h);
    archiveType_ = kArcTypeOwn;
    archiveStart_ = start;
    archiveHeaderLen_ = hsize;
    return true;
}

bool TPackFileObject::ReadArjMainHeader(File& f, int64_t start, int64_t size) {
    uint8_t head[4];
    if (!ReadExact(f, start, head, 4)) return false;
    int basic = Get16(head + 2);
    int total = basic + 10;
    if (total < kArjMinHeader || total > kArjMaxHeader || start + total > size) return false;
    headerBuffer_.resize(static_cast<size_t>(total));
    uint8_t* b = headerBuffer_.data();
    if (!ReadExact(f, start, b, total)) return false;
    int fhs = b[4];
    if (fhs < 28 || fhs > basic + 8 || b[10] != kArjMainType) return false;
    TArchive0Header h;
    h.HeaderId = kArjId;
    h.HeaderSize = static_cast<uint16_t>(basic);
    h.FirstHeaderSize = static_cast<uint8_t>(fhs);
    h.Version = b[5];
    h.MinVersion = b[6];
    h.HostOS = b[7];
    h.Flags = b[8];
    h.SecurityVersion = b[9];
    h.FileType = b[10];
    h.Reserved = b[11];
    h.Created = ArjStamp(Get32(b + 12), h.HostOS);
    h.Modified = ArjStamp(Get32(b + 16), h.HostOS);
    h.ArchiveSize = Get32(b + 20);
    h.SecurityPos = static_cast<uint16_t>(Get32(b + 24) & 0xFFFF);
    h.NamePos = Get16(b + 28);
    h.SecurityLength = Get16(b + 30);
    // The texts follow the first header, whose size grew between versions.
    size_t pos = 4 + static_cast<size_t>(fhs);
    size_t end = 4 + static_cast<size_t>(basic);
    TakeText(b, pos, end, h.Name);
    TakeText(b, pos, end, h.Comment);
    h.HeaderCRC = Get32(b + 4 + basic);
    int64_t next = start + total;
    for (int ext = Get16(b + 8 + basic); ext != 0;) {
        uint8_t sz[2];
        if (ext > kArjMaxHeader) return false;
        next += ext + 4;
        if (next + 2 > size || !ReadExact(f, next, sz, 2)) return false;
        next += 2;
        ext = Get16(sz);
    }
    archiveHeader_ = std::move(h);
    archiveType_ = kArcTypeArj;
    archiveStart_ = start;
    archiveHeaderLen_ = next - start;
    return true;
}

void TPackFileObject::MarkEnd(int64_t pos) {
    fileHeader_ = {};
    endOfArchive_ = true;
    memberPos_ = memberDataPos_ = pos;
}

void TPackFileObject::ReadMemberHeader(int64_t pos) {
    if (archiveType_ == kArcTypeArj)
        ReadArjMemberHeader(pos);
    else
        ReadOwnMemberHeader(pos);
}

void TPackFileObject::ReadOwnMemberHeader(int64_t pos) {
    if (pos < 0 || pos > archiveSize_ - 4) Fail(kArcCorrupted);
    if (archiveSize_ - pos < 7) {
        char tail[4];
        if (!ReadExact(archive_, pos, tail, 4) || std::string(tail, 4) != kEndMarker ||
            pos + 4 != archiveSize_)
            Fail(kArcCorrupted);
        MarkEnd(pos);
        return;
    }
    uint8_t head[7];
    if (!ReadExact(archive_, pos, head, 7)) Fail(kArcCorrupted);
    if (Get16(head) != kHeaderId) Fail(kArcBadFileHeader);
    int hsize = Get16(head + 2), fhs = head[4];
    if (hsize == 0) {
        // Nothing follows the end marker: one with bytes behind it is a damaged
        // header, and taking it for the end would make a full archive look empty.
        if (pos + 4 != archiveSize_) Fail(kArcCorrupted);
        MarkEnd(pos);
        return;
    }
    if (hsize < TArchive0Header::kFixedSize || hsize > kMaxHeaderSize || fhs < 36 ||
        fhs > hsize - 2 || Get16(head + 5) != kVersion)
        Fail(kArcBadFileHeader);
    if (pos + hsize > archiveSize_ - 4) Fail(kArcCorrupted);
    headerBuffer_.resize(static_cast<size_t>(hsize));
    if (!ReadExact(archive_, pos, headerBuffer_.data(), hsize)) Fail(kArcCorrupted);
    uint8_t r[TArchive0FileHeader::kFixedSize];
    TArchive0FileHeader h;
    if (!SplitOwnHeader(headerBuffer_.data(), headerBuffer_.size(), sizeof r, r, h.Name, h.Comment))
        Fail(kArcBadFileHeader);
    h.HeaderId = Get16(r);
    h.HeaderSize = Get16(r + 2);
    h.FirstHeaderSize = r[4];
    h.Version = Get16(r + 5);
    h.MinVersion = Get16(r + 7);
    h.HostOS = r[9];
    h.Flags = r[10];
    h.Method = r[11];
    h.FileType = r[12];
    h.Reserved = r[13];
    h.Created = static_cast<int32_t>(Get32(r + 14));
    h.Modified = static_cast<int32_t>(Get32(r + 18));
    h.UnpackedSize = Get32(r + 22);
    h.PackedSize = Get32(r + 26);
    h.Reserved2 = Get32(r + 30);
    h.ExtFilePos = Get32(r + 34);
    h.FileCRC = Get32(r + 38);
    h.NamePos = Get16(r + 42);
    h.Attr = Get16(r + 44);
    h.Reserved3 = Get16(r + 46);
    h.HeaderCRC = Get32(r + 48);
    int64_t dataPos = pos + hsize;
    // The data must leave room for at least the end marker.
    if (dataPos + static_cast<int64_t>(h.PackedSize) > archiveSize_ - 4) Fail(kArcCorrupted);
    fileHeader_ = std::move(h);
    endOfArchive_ = false;
    memberPos_ = pos;
    memberDataPos_ = dataPos;
}

void TPackFileObject::ReadArjMemberHeader(int64_t pos) {
    if (pos < 0 || pos > archiveSize_ - 4) Fail(kArcCorrupted);
    uint8_t head[4];
    if (!ReadExact(archive_, pos, head, 4)) Fail(kArcCorrupted);
    if (Get16(head) != kArjId) Fail(kArcBadFileHeader);
    int basic = Get16(head + 2);
    if (basic == 0) {
        MarkEnd(pos);
        return;
    }
    int total = basic + 10;
    if (total < kArjMinHeader || total > kArjMaxHeader) Fail(kArcBadFileHeader);
    if (pos + total > archiveSize_) Fail(kArcCorrupted);
    headerBuffer_.resize(static_cast<size_t>(total));
    uint8_t* b = headerBuffer_.data();
    if (!ReadExact(archive_, pos, b, total)) Fail(kArcCorrupted);
    int fhs = b[4];
    if (fhs < 28 || fhs > basic + 8) Fail(kArcBadFileHeader);
    TArchive0FileHeader h;
    h.HeaderId = kArjId;
    h.HeaderSize = static_cast<uint16_t>(basic);
    h.FirstHeaderSize = static_cast<uint8_t>(fhs);
    h.Version = b[5];
    h.MinVersion = b[6];
    h.HostOS = b[7];
    h.Flags = b[8];
    h.Method = b[9];
    h.FileType = b[10];
    h.Reserved = b[11];
    h.Modified = ArjStamp(Get32(b + 12), h.HostOS);
    h.PackedSize = Get32(b + 16);
    h.UnpackedSize = Get32(b + 20);
    h.FileCRC = Get32(b + 24);
    h.NamePos = Get16(b + 28);
    if ((h.Flags & 0x08) && fhs >= 34) h.ExtFilePos = Get32(b + 34);
    size_t tpos = 4 + static_cast<size_t>(fhs);
    size_t end = 4 + static_cast<size_t>(basic);
    TakeText(b, tpos, end, h.Name);
    TakeText(b, tpos, end, h.Comment);
    if (h.Flags & 0x10) std::replace(h.Name.begin(), h.Name.end(), '/', '\\');
    h.HeaderCRC = Get32(b + 4 + basic);
    int64_t next = pos + total;
    for (int ext = Get16(b + 8 + basic); ext != 0;) {
        uint8_t sz[2];
        if (ext > kArjMaxHeader) Fail(kArcBadFileHeader);
        next += ext + 4;
        if (next + 2 > archiveSize_ || !ReadExact(archive_, next, sz, 2)) Fail(kArcCorrupted);
        next += 2;
        ext = Get16(sz);
    }
    if (next + static_cast<int64_t>(h.PackedSize) > archiveSize_ - 4) Fail(kArcCorrupted);
    fileHeader_ = std::move(h);
    endOfArchive_ = false;
    memberPos_ = pos;
    memberDataPos_ = next;
}

void TPackFileObject::ReadFirst() {
    if (!archive_.IsOpen()) {
        Open();  // reads the first member itself
        return;
    }
    headerBuffer_.clear();
    archiveSize_ = archive_.Size();
    int64_t start = FindArchiveStart(archive_, archiveSize_, isExe_);
    if (!ReadArchiveHeader(archive_, start, archiveSize_)) Fail(kArcBadHeader);
    ReadMemberHeader(archiveStart_ + archiveHeaderLen_);
}

void TPackFileObject::ReadNext() {
    if (endOfArchive_ || !archive_.IsOpen()) return;
    // Each step moves on by at least a header, so a walk always ends.
    ReadMemberHeader(memberDataPos_ + static_cast<int64_t>(fileHeader_.PackedSize));
}


const TPackFileObject::Index& TPackFileObject::MemberIndex() {
    if (index_) return *index_;
    Open();
    // Building the index must not disturb what the caller sees of the current member.
    TArchive0FileHeader header = fileHeader_;
    const int64_t pos = memberPos_, dataPos = memberDataPos_;
    const bool end = endOfArchive_;
    const int code = resultCode_;
    auto ix = std::make_unique<Index>();
    try {
        ReadFirst();
        while (!endOfArchive_) {
            const int id = static_cast<int>(ix->headers.size());
            ix->names.Add(fileHeader_.Name, id);
            ix->headers.push_back(fileHeader_);
            ix->pos.push_back(memberPos_);
            ix->dataPos.push_back(memberDataPos_);
            ReadNext();
        }
        ix->endMarker = memberPos_;
    } catch (const EArchiveObjectError& e) {
        // The archive header itself is unreadable: nothing of it can be used.
        if (e.Code() == kArcBadHeader) throw;
        ix->damage = e.Code();
        ix->damageText = e.what();
        resultCode_ = code;
    }
    fileHeader_ = std::move(header);
    memberPos_ = pos;
    memberDataPos_ = dataPos;
    endOfArchive_ = end;
    index_ = std::move(ix);
    return *index_;
}

void TPackFileObject::DropIndex() {
    index_.reset();
}

int TPackFileObject::FindByName(const std::string& storedName) {
    const Index& ix = MemberIndex();
    int id = ix.names.Exact(storedName);
    if (id < 0)
        if (const std::vector<int>* folded = ix.names.Folded(storedName)) id = folded->front();
    // Not among the members before the damage: it may lie behind it.
    if (id < 0) ix.Check(*this);
    return id;
}

bool TPackFileObject::FindMember(const std::string& name) {
    bool was = Active();
    Open();
    bool found = false;
    try {
        const int id = FindByName(StoredName(name));
        if (id >= 0) {
            ReadMemberHeader(index_->pos[static_cast<size_t>(id)]);
            found = true;
        }
    } catch (...) {
        if (!was) Close();
        throw;
    }
    if (!was) Close();
    return found;
}

std::vector<std::string> TPackFileObject::MemberNames() {
    bool was = Active();
    Open();
    std::vector<std::string> names;
    try {
        const Index& ix = MemberIndex();
        ix.Check(*this);
        for (const auto& h : ix.headers) names.push_back(h.Name);
    } catch (...) {
        if (!was) Close();
        throw;
    }
    if (!was) Close();
    return names;
}

bool TPackFileObject::IsArchive() {
    if (Active()) return true;
    if (!FileExists(archiveName_)) return false;
    File f;
    if (!f.Open(archiveName_, OpenMode::Read, ShareMode::DenyNone)) return false;
    int64_t size = f.Size();
    return ReadArchiveHeader(f, FindArchiveStart(f, size, isExe_), size);
}

uint8_t TPackFileObject::GetArchiveType() {
    if (Active()) return archiveType_;
    if (!IsArchive()) return kArcTypeNone;
    return archiveType_;
}

// ---- names -----------------------------------------------------------------------------

std::string TPackFileObject::StoredName(const std::string& path) const {
    std::string base = !BaseDir.empty()        ? BaseDir
                       : !archiveName_.empty() ? ExtractFilePath(archiveName_)
                                               : GetCurrentDir();
    base = WithTrailingSep(base);
    std::string name = path;
    if (name.size() >= base.size() && SameText(std::string_view(name).substr(0, base.size()), base))
        name.erase(0, base.size());
    if (!KeepDrive && name.size() >= 2 && name[1] == ':') name.erase(0, 2);
    return name;
}


// The name a file had in archives that runs made before stored names were
// relative to BaseDir: relative to the archive's directory, drive kept.
std::string TPackFileObject::OldStoredName(const std::string& path) const {
    const std::string base = WithTrailingSep(ExtractFilePath(archiveName_));
    std::string name = path;
    if (name.size() >= base.size() && SameText(std::string_view(name).substr(0, base.size()), base))
        name.erase(0, base.size());
    return name;
}

std::string TPackFileObject::TargetName() const {
    bool safe = true;
    return BuildTarget(fileHeader_.Name, safe, nullptr, nullptr);
}

// Base is the part of the target that the settings give (a directory that may
// exist under another letter case), Rest the part the member's name gives,
// which is created exactly as it is spelt.
std::string TPackFileObject::BuildTarget(const std::string& storedName, bool& safe,
                                         std::string* base, std::string* rest) const {
    std::string stored = storedName;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    std::string archiveDrive = ExtractFileDrive(archiveName_);
    std::string b, r;
    safe = true;

    if (!ExtractFilePath(ExtractTo).empty()) {
        std::string target = ExtractTo;
        if (IsSep(target.back())) {
            b = target;
            r = ExtractFileName(stored);
            safe = IsSafeRelativeName(StripAbsolute ? StripAbsolutePrefix(stored) : stored);
        } else {
            b = ExtractFilePath(target);
            r = ExtractFileName(target);
        }
        if (ExtractFileDrive(b).empty())
            b = (IsSep(b[0]) ? archiveDrive : ExtractFilePath(archiveName_)) + b;
        if (base) *base = b;
        if (rest) *rest = r;
        return b + r;
    }

    std::string name = ExtractTo.empty() ? stored : ExtractTo;
    bool absolute = name.size() >= 2 && (name[1] == ':' || IsSep(name[0]));
    if (absolute) {
        if (!StripAbsolute) {
            safe = false;
            return name;
        }
        name = StripAbsolutePrefix(name);
    }
    safe = IsSafeRelativeName(name);

    std::string dir = ExtractDir.empty() ? ExtractFilePath(archiveName_) : ExtractDir;
    if (ExtractFileDrive(dir).empty())
        dir = archiveDrive + (dir.empty() || !IsSep(dir[0]) ? "\\" : "") + dir;
    b = WithTrailingSep(dir);
    r = ExtractNameOnly ? ExtractFileName(name) : name;
    if (base) *base = b;
    if (rest) *rest = r;
    return b + r;
}

// ---- operations --------------------------------------------------------------------------

template <class Op>
int TPackFileObject::Guarded(Op&& op, bool keepActive) {
    const bool was = Active();
    busy_ = true;
    auto restore = [&] {
        busy_ = false;
        if (keepActive) return;
        try {
            was ? Open() : Close();
        } catch (const std::exception&) {
        }
    };
    try {
        // Cleared first: a stop asked for while the start is reported must hold.
        stopRequested_ = false;
        Progress(0, 100);
        resultCode_ = kArcRunError;
        op();
        resultCode_ = 0;
    } catch (const EArchiveObjectError&) {
        if (resultCode_ == kPackStopped) {
            restore();
            return resultCode_;
        }
        if (RaiseErrors) {
            restore();
            throw;
        }
    } catch (const std::exception& e) {
        restore();
        throw Exception(std::string(e.what()) + "\r\n" + ArchiveErrorText(kArcRunError, {}, false));
    }
    try {
        Progress(100, 100);
    } catch (...) {
        restore();
        throw;
    }
    busy_ = false;
    if (!keepActive) was ? Open() : Close();
    return resultCode_;
}

int TPackFileObject::Execute() {
    if (busy_) Fail(kArcBusy);
    if (archiveType_ != kArcTypeOwn) Fail(kArcOtherType);
    if (batch_) {
        // A batch reads the archive as it will be, not as it lies: no extraction meanwhile.
        if (Operation == kArcOpExtract) Fail(kArcBusy);
        return Guarded([&] { Record(); }, true);
    }
    return Guarded(
        [&] {
            switch (Operation) {
                case kArcOpNone:
                case 3:
                case 6:
                case 7:
                    break;
                case kArcOpUpdate:
                    // A missing file is no error, and opens nothing.
                    if (!FileExists(fileName_)) break;
                    [[fallthrough]];
                case kArcOpAdd:
                case kArcOpDelete: {
                    // One operation is a batch of one, written on this thread.
                    StartBatch(false, false);
                    struct Drop {
                        std::unique_ptr<Batch>& b;
                        ~Drop() { b.reset(); }
                    } drop{batch_};
                    Record();
                    WriteBatch();
                    break;
                }
                case kArcOpExtract: {
                    Open();
                    if (archiveType_ != kArcTypeOwn) Fail(kArcOtherType);
                    const int id = FindByName(StoredName(fileName_));
                    if (id < 0) Fail(kArcNotFound, fileName_);
                    ReadMemberHeader(index_->pos[static_cast<size_t>(id)]);
                    ExtractList({id});
                    break;
                }
                default:
                    Fail(kArcUnknownOp, std::to_string(Operation & 0x7F));
            }
        },
        false);
}

void TPackFileObject::CheckChangeable() {
    if (Active()) {
        if (archiveType_ != kArcTypeOwn || archiveStart_ != 0) Fail(kArcOtherType);
        return;
    }
    if (!FileExists(archiveName_)) return;
    if (!IsArchive() || archiveType_ != kArcTypeOwn || archiveStart_ != 0) Fail(kArcOtherType);
}

void TPackFileObject::WriteBytes(File& dst, const std::string& bytes, const std::string& name) {
    if (dst.Write(bytes.data(), static_cast<int64_t>(bytes.size())) !=
        static_cast<int64_t>(bytes.size())) {
        if (LastError() == kErrSuccess) SetLastError(kErrDiskFull);
        Fail(kArcIoError, "CopyStreams", name + ": " + LastErrorText());
    }
}

void TPackFileObject::CopyStreams(File& dst, File& src, int64_t from, int64_t count,
                                  const std::function<void(int64_t)>& onBlock,
                                  const std::string& dstName) {
    if (count <= 0) return;
    if (src.Seek(from, SEEK_SET) != from) Fail(kArcIoError, "CopyStreams", LastErrorText());
    std::vector<char> buf(static_cast<size_t>(std::min(count, kCopyBlock)));
    int64_t done = 0;
    while (done < count) {
        int64_t n = std::min<int64_t>(count - done, static_cast<int64_t>(buf.size()));
        if (src.Read(buf.data(), n) != n) Fail(kArcIoError, "CopyStreams", LastErrorText());
        if (dst.Write(buf.data(), n) != n) {
            if (LastError() == kErrSuccess) SetLastError(kErrDiskFull);
            Fail(kArcIoError, "CopyStreams", dstName + ": " + LastErrorText());
        }
        done += n;
        if (onBlock) onBlock(n);
    }
}

void TPackFileObject::ReportCopy(int64_t done, int64_t total) {
    // Progress counts are 32-bit; very large work reports in kilobytes.
    int shift = total > std::numeric_limits<int32_t>::max() ? 10 : 0;
    Progress(static_cast<int32_t>(done >> shift), static_cast<int32_t>(total >> shift));
    if (stopRequested_) Fail(kPackStopped);
}

void TPackFileObject::ReplaceArchive(packio::TempFile& temp) {
    File& t = temp.Handle();
    if (!t.Flush()) Fail(kArcIoError, temp.Name(), LastErrorText());
    archive_.Close();
    DropIndex();
    std::string backup;
    if (MakeBackup) {
        backup = ChangeFileExt(archiveName_, ".bak");
        DeleteFile(backup);
        if (!RenameFile(archiveName_, backup)) backup.clear();
    }
    // Renamed while still locked, so no cleaner can take it for a stale one.
    if (!ReplaceFile(temp.Name(), archiveName_)) {
        uint32_t err = LastError();
        if (!backup.empty()) RenameFile(backup, archiveName_);
        // The finished archive stays in the temporary file for the user to rescue.
        temp.Keep();
        t.Close();
        Fail(kArcRename, std::to_string(err));
    }
    temp.Keep();
    t.Close();
}

std::string TPackFileObject::NewArchiveHeader(bool touch, bool setComment) const {
    TArchive0Header h = archiveHeader_;
    if (touch) h.Modified = NowDos();
    if (setComment || !comment_.empty()) h.Comment = comment_;
    return h.Bytes();
}

// ---- batches: recording ---------------------------------------------------------------------

void TPackFileObject::BeginUpdate(bool rebuild) {
    RefuseWhileBusy();
    skipped_.clear();
    // What a killed run left beside the archive goes first.
    packio::RemoveStaleTemps(ExtractFilePath(archiveName_));
    StartBatch(true, rebuild);
}

void TPackFileObject::CancelUpdate() {
    if (!batch_ || busy_) return;
    const bool was = batch_->wasActive;
    batch_.reset();
    if (!was) Close();
}

void TPackFileObject::StartBatch(bool explicitBatch, bool rebuild) {
    auto b = std::make_unique<Batch>();
    b->explicitBatch = explicitBatch;
    b->rebuild = rebuild;
    b->wasActive = Active();
    b->existed = Active() || FileExists(archiveName_);
    if (b->existed) {
        CheckChangeable();
        try {
            Open();
            if (archiveType_ != kArcTypeOwn || archiveStart_ != 0) Fail(kArcOtherType);
            const Index& ix = MemberIndex();
            ix.Check(*this);
            b->oldUsable = true;
            if (!rebuild) {
                for (size_t i = 0; i < ix.headers.size(); ++i) {
                    b->names.Add(ix.headers[i].Name, static_cast<int>(i));
                    b->slots.push_back({static_cast<int>(i), -1, false, false, ix.headers[i].Name});
                }
            }
        } catch (const EArchiveObjectError& e) {
            // A rebuild replaces damaged members; only another kind of file is refused.
            if (!rebuild || e.Code() == kArcOtherType) {
                if (!b->wasActive) Close();
                throw;
            }
            archive_.Close();
            DropIndex();
        }
        b->changed = rebuild;
    }
    batch_ = std::move(b);
}

void TPackFileObject::Record() {
    switch (Operation) {
        case kArcOpNone:
        case 3:
        case 6:
        case 7:
            break;
        case kArcOpAdd:
            RecordAdd(false);
            break;
        case kArcOpUpdate:
            RecordAdd(true);
            break;
        case kArcOpDelete:
            RecordDelete();
            break;
        default:
            Fail(kArcUnknownOp, std::to_string(Operation & 0x7F));
    }
}

void TPackFileObject::SkipSource(const Source& src, TSkipReason reason, int code,
                                 const std::string& cause) {
    const std::string message =
        ArchiveErrorText(code, src.disk.empty() ? src.given : src.disk, false) + ": " + cause;
    if (!batch_->explicitBatch) Raise(code, message);
    skipped_.push_back({src.given, src.posix, reason, message, cause});
}

bool TPackFileObject::LookUpSource(Source& src, bool mustExist) {
    src.given = fileName_;
    const std::string path = ExpandFileName(fileName_);
    FindData found;
    bool missing = false;
    if (entryGiven_) {
        found = entry_;
        missing = found.Gone();
    } else {
        FindFile ff;
        if (!ff.First(path, kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive)) {
            missing = true;
        } else {
            // The entry of exactly this name; otherwise the only one the name matches.
            const std::string leaf = ExtractFileName(path);
            int matches = 0;
            bool exact = false;
            do {
                ++matches;
                if (ff.Data().name == leaf) {
                    found = ff.Data();
                    exact = true;
                    break;
                }
                if (matches == 1) found = ff.Data();
            } while (ff.Next());
            if (!exact && matches > 1)
                Fail(kArcIoError, "GetFileInfo", path + ": имени соответствует несколько файлов"_a);
            missing = found.Gone();
        }
    }
    if (missing) {
        if (LastError() == kErrSuccess) SetLastError(kErrFileNotFound);
        const std::string cause = LastErrorText();
        if (mustExist || batch_->explicitBatch) SkipSource(src, TSkipReason::Gone, kArcIoError, cause);
        return false;
    }
    src.disk = ExtractFilePath(path) + found.name;
    src.posix = found.PosixPath();
    if (src.posix.empty()) {
        auto p = ToPosixPath(src.disk);
        src.posix = p ? *p : std::string();
    }
    src.time = found.Time();
    src.size = found.Size();
    src.attr = found.Attr();
    src.lossy = found.Lossy();
    return true;
}

bool TPackFileObject::HasOwnFile(const std::string& memberName, const Source& src,
                                 const std::string& stored) const {
    if (memberName.size() != stored.size() || src.disk.size() < stored.size()) return false;
    std::string root = src.disk.substr(0, src.disk.size() - stored.size());
    std::string rest = memberName;
    if (root.empty()) {
        root = ExtractFileDrive(memberName);
        rest = memberName.substr(root.size());
    }
    if (root.empty()) return false;
    if (root.back() == ':') root += '\\';
    auto posixRoot = ToPosixPath(root);
    if (!posixRoot) return false;
    const std::string own = PosixJoin(*posixRoot, rest);
    struct stat a {}, b {};
    if (lstat(own.c_str(), &a) != 0) return false;
    if (stat(src.posix.c_str(), &b) != 0) return true;
    return a.st_ino != b.st_ino || a.st_dev != b.st_dev;
}

// The entry of Table that stands for the source: the member of exactly its
// stored name; else one whose name differs only in letter case and has no
// file of its own (an archive made where case did not count); else, when
// asked for, the same under the name older runs stored.
template <class NameOf>
int TPackFileObject::Lookup(const packio::NameTable& table, NameOf nameOf,
                            const Source& src) const {
    auto find = [&](const std::string& stored) {
        const int id = table.Exact(stored);
        if (id >= 0) return id;
        if (const std::vector<int>* folded = table.Folded(stored))
            for (int f : *folded)
                if (!HasOwnFile(nameOf(f), src, stored)) return f;
        return -1;
    };
    const std::string stored = StoredName(src.disk);
    int id = find(stored);
    if (id < 0 && MatchOldFullNames) {
        const std::string old = OldStoredName(src.disk);
        if (old != stored) id = find(old);
    }
    return id;
}

void TPackFileObject::RecordAdd(bool onlyChanged) {
    Batch& b = *batch_;
    Source src;
    if (!LookUpSource(src, !onlyChanged)) return;
    if (src.lossy) {
        SkipSource(src, TSkipReason::BadName, kArcIoError, "имя не представимо в кодировке 1251"_a);
        return;
    }
    if (src.size >= kMaxMemberSize) {
        SkipSource(src, TSkipReason::TooLarge, kArcIoError, "файл больше 2 ГБ"_a);
        return;
    }
    TArchive0FileHeader mh;
    mh.HeaderId = kHeaderId;
    mh.FirstHeaderSize = TArchive0FileHeader::kFixedSize;
    mh.Version = mh.MinVersion = kVersion;
    mh.FileType = (src.attr & kAttrVolume) ? 4 : (src.attr & kAttrDirectory) ? 3 : 0;
    mh.Created = mh.Modified = src.time;
    mh.UnpackedSize = static_cast<uint32_t>(src.size);
    mh.NamePos = 4;
    mh.Attr = static_cast<uint16_t>(src.attr);
    mh.Name = StoredName(src.disk);
    mh.Comment = FileComment;
    if (mh.Bytes().size() > static_cast<size_t>(kMaxHeaderSize)) Fail(kArcBadFileHeader);

    int slot = Lookup(
        b.names, [&](int i) -> const std::string& { return b.slots[static_cast<size_t>(i)].name; },
        src);
    if (onlyChanged && slot >= 0 && !b.rebuild) {
        Batch::Slot& s = b.slots[static_cast<size_t>(slot)];
        const bool held = s.job >= 0;
        const int32_t time = held ? b.jobs[static_cast<size_t>(s.job)].src.time
                                  : index_->headers[static_cast<size_t>(s.old)].Modified;
        const int64_t size = held ? b.jobs[static_cast<size_t>(s.job)].src.size
                                  : index_->headers[static_cast<size_t>(s.old)].UnpackedSize;
        if (time == src.time && size == src.size) {
            // Kept as it is; a member under an older run's full name takes the stored name.
            if (!held && !SameText(s.name, mh.Name)) {
                b.names.Remove(s.name, slot);
                s.name = mh.Name;
                b.names.Add(s.name, slot);
                s.renamed = true;
                b.changed = true;
            }
            return;
        }
    }
    Batch::Job job;
    job.src = src;
    job.header = mh;
    const int jobId = static_cast<int>(b.jobs.size());
    if (slot >= 0) {
        Batch::Slot& s = b.slots[static_cast<size_t>(slot)];
        job.fallback = s.job >= 0 ? b.jobs[static_cast<size_t>(s.job)].fallback : s.old;
        s.job = jobId;
        s.renamed = false;
        if (s.name != mh.Name) {
            b.names.Remove(s.name, slot);
            s.name = mh.Name;
            b.names.Add(s.name, slot);
        }
    } else {
        if (b.rebuild && b.oldUsable && index_)
            job.fallback = Lookup(
                index_->names,
                [&](int i) -> const std::string& { return index_->headers[static_cast<size_t>(i)].Name; },
                src);
        slot = static_cast<int>(b.slots.size());
        b.slots.push_back({-1, jobId, false, false, mh.Name});
        b.names.Add(mh.Name, slot);
    }
    b.jobs.push_back(std::move(job));
}

void TPackFileObject::RecordDelete() {
    Batch& b = *batch_;
    const std::string stored = StoredName(fileName_);
    int slot = b.names.Exact(stored);
    if (slot < 0)
        if (const std::vector<int>* folded = b.names.Folded(stored)) slot = folded->front();
    if (slot < 0) Fail(kArcNotFound, fileName_);
    Batch::Slot& s = b.slots[static_cast<size_t>(slot)];
    b.names.Remove(s.name, slot);
    s.removed = true;
    b.changed = true;
}

// ---- batches: writing -------------------------------------------------------------------------

int TPackFileObject::Commit() {
    if (busy_) Fail(kArcBusy);
    if (!batch_) return 0;
    const bool was = batch_->wasActive;
    struct Drop {
        TPackFileObject& o;
        bool was;
        ~Drop() {
            o.batch_.reset();
            try {
                was ? o.Open() : o.Close();
            } catch (const std::exception&) {
            }
        }
    } drop{*this, was};
    return Guarded([&] { WriteBatch(); }, true);
}

void TPackFileObject::WriteBatch() {
    Batch& b = *batch_;
    std::vector<int> order;  // the jobs, in the order of their places
    for (const Batch::Slot& s : b.slots)
        if (!s.removed && s.job >= 0) order.push_back(s.job);
    const bool anyLive =
        std::any_of(b.slots.begin(), b.slots.end(), [](const Batch::Slot& s) { return !s.removed; });

    TArchive0Header head;
    const bool keepHead = b.existed && b.oldUsable && !b.rebuild;
    if (keepHead) {
        head = archiveHeader_;
        head.Modified = NowDos();
        if (b.commentSet || !comment_.empty()) head.Comment = comment_;
    } else {
        head.HeaderId = kHeaderId;
        head.FirstHeaderSize = TArchive0Header::kFixedSize;
        head.Version = head.MinVersion = kVersion;
        head.Created = head.Modified = NowDos();
        head.NamePos = 4;
        head.Name = ExtractFileName(archiveName_);
        head.Comment = comment_;
    }
    const bool commentChanged = keepHead && head.Comment != archiveHeader_.Comment;
    if (order.empty() && !b.changed && !commentChanged) return;
    if (!b.existed && !anyLive) return;
    const std::string headerBytes = head.Bytes();
    if (headerBytes.size() > static_cast<size_t>(kMaxHeaderSize)) Fail(kArcBadHeader);

    const std::string dir = ExtractFilePath(archiveName_);
    packio::TempFile temp;
    temp.deleteOnDestruction = DeleteTempOnError;
    if (!temp.Create(dir)) Fail(kArcTempFile, dir + "$pk");
    File& t = temp.Handle();
    WriteBytes(t, headerBytes, temp.Name());

    // Progress: bytes of sources packed and of old members copied.
    const Index* ix = b.oldUsable ? index_.get() : nullptr;
    int64_t total = 0, done = 0;
    for (const Batch::Slot& s : b.slots) {
        if (s.removed) continue;
        total += s.job >= 0 ? b.jobs[static_cast<size_t>(s.job)].src.size
                            : ix->End(s.old) - ix->pos[static_cast<size_t>(s.old)];
    }
    std::atomic<int64_t> working{0};
    auto last = std::chrono::steady_clock::now();
    auto report = [&](bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last < kReportEvery) {
            if (stopRequested_) Fail(kPackStopped);
            return;
        }
        last = now;
        ReportCopy(std::min(total, done + working.load(std::memory_order_relaxed)), total);
    };
    const auto tick = [&](int64_t n) {
        done += n;
        report(false);
    };

    // The old members' bytes go over in runs as long as they lie together.
    int64_t copyFrom = -1, copyEnd = -1;
    auto flush = [&] {
        if (copyFrom < 0) return;
        CopyStreams(t, archive_, copyFrom, copyEnd - copyFrom, tick, temp.Name());
        copyFrom = -1;
    };
    auto keepOld = [&](int m) {
        const int64_t from = ix->pos[static_cast<size_t>(m)], end = ix->End(m);
        if (copyFrom >= 0 && copyEnd == from) {
            copyEnd = end;
            return;
        }
        flush();
        copyFrom = from;
        copyEnd = end;
    };

    const int workers = ResolveWorkers(Workers);
    const bool parallel = b.explicitBatch && workers > 1 && order.size() > 1;
    std::vector<std::unique_ptr<TPackObject>> codecs;
    std::unique_ptr<packio::OrderedRunner> runner;
    if (parallel) {
        for (int w = 0; w < workers; ++w) codecs.push_back(std::make_unique<TPackObject>());
        const bool store = StoreOnly;
        runner = std::make_unique<packio::OrderedRunner>(
            workers, order.size(), static_cast<size_t>(4 * workers), [&, store](size_t i, int w) {
                Batch::Job& j = b.jobs[static_cast<size_t>(order[i])];
                int64_t seen = 0;
                const packio::ProgressFn progress = [&](int64_t d, int64_t) {
                    working.fetch_add(d - seen, std::memory_order_relaxed);
                    seen = d;
                    return !runner->Cancelled();
                };
                const packio::PackSpec task{j.src.posix, j.src.disk, j.header, store};
                try {
                    if (j.src.size <= kSpoolInMemory) {
                        packio::MemorySink sink;
                        j.result = packio::PackSource(task, sink, *codecs[static_cast<size_t>(w)], progress);
                        j.data = std::move(sink.Data());
                    } else {
                        j.spool = std::make_unique<packio::TempFile>();
                        if (!j.spool->Create(dir)) {
                            j.result.kind = packio::PackResult::Error;
                            j.result.code = kArcTempFile;
                            j.result.message = ArchiveErrorText(kArcTempFile, dir + "$pk", false);
                        } else {
                            packio::FileSink sink(j.spool->Handle(), 0, j.spool->Name());
                            j.result = packio::PackSource(task, sink, *codecs[static_cast<size_t>(w)], progress);
                            j.spoolSize = sink.Size();
                        }
                    }
                } catch (const std::exception& e) {
                    j.result.kind = packio::PackResult::Error;
                    j.result.code = kArcRunError;
                    j.result.message = e.what();
                }
                working.fetch_sub(seen, std::memory_order_relaxed);
            });
        runner->Start();
    }

    // One source on this thread, straight into the temporary archive.
    auto packHere = [&](Batch::Job& j, int64_t headerPos, int64_t headerLen) {
        packio::FileSink sink(t, headerPos + headerLen, temp.Name());
        if (t.Seek(headerPos + headerLen, SEEK_SET) < 0) Fail(kArcIoError, temp.Name(), LastErrorText());
        const packio::PackSpec task{j.src.posix, j.src.disk, j.header, StoreOnly};
        packio::ProgressFn progress;
        if (b.explicitBatch) {
            progress = [&](int64_t d, int64_t) {
                working.store(d, std::memory_order_relaxed);
                const auto now = std::chrono::steady_clock::now();
                if (now - last >= kReportEvery) {
                    last = now;
                    Progress(static_cast<int32_t>(std::min(total, done + d) >> (total > INT32_MAX ? 10 : 0)),
                             static_cast<int32_t>(total >> (total > INT32_MAX ? 10 : 0)));
                }
                return !stopRequested_;
            };
        } else {
            // A single member reports as the codec counts.
            progress = [&](int64_t d, int64_t n) {
                Progress(static_cast<int32_t>(d), static_cast<int32_t>(n));
                return !stopRequested_;
            };
        }
        packio::PackResult r = packio::PackSource(task, sink, *packer_, progress);
        working.store(0, std::memory_order_relaxed);
        return std::make_pair(std::move(r), sink.Size());
    };

    int members = 0;
    bool wroteNew = false;
    size_t k = 0;
    for (const Batch::Slot& s : b.slots) {
        if (s.removed) continue;
        if (s.job < 0) {
            ++members;
            if (!s.renamed) {
                keepOld(s.old);
                continue;
            }
            flush();
            TArchive0FileHeader h = ix->headers[static_cast<size_t>(s.old)];
            h.Name = s.name;
            WriteBytes(t, h.Bytes(), temp.Name());
            CopyStreams(t, archive_, ix->dataPos[static_cast<size_t>(s.old)], h.PackedSize, tick,
                        temp.Name());
            continue;
        }
        flush();
        Batch::Job& j = b.jobs[static_cast<size_t>(s.job)];
        const int64_t headerPos = t.Seek(0, SEEK_CUR);
        if (headerPos < 0) Fail(kArcIoError, temp.Name(), LastErrorText());
        const int64_t headerLen = static_cast<int64_t>(j.header.Bytes().size());
        packio::PackResult r;
        if (parallel) {
            runner->WaitFor(k, [&] { report(true); });
            r = std::move(j.result);
            if (r.kind == packio::PackResult::Ok) {
                WriteBytes(t, r.header.Bytes(), temp.Name());
                if (j.spool) {
                    CopyStreams(t, j.spool->Handle(), 0, j.spoolSize, {}, temp.Name());
                } else {
                    WriteBytes(t, j.data, temp.Name());
                }
            }
            j.spool.reset();
            std::string().swap(j.data);
            runner->Consumed(k);
        } else {
            auto [res, written] = packHere(j, headerPos, headerLen);
            r = std::move(res);
            if (r.kind == packio::PackResult::Ok) {
                if (t.Seek(headerPos, SEEK_SET) != headerPos) Fail(kArcIoError, temp.Name(), LastErrorText());
                WriteBytes(t, r.header.Bytes(), temp.Name());
                const int64_t end = headerPos + headerLen + written;
                if (t.Seek(end, SEEK_SET) != end) Fail(kArcIoError, temp.Name(), LastErrorText());
            } else if (!t.Truncate(headerPos) || t.Seek(headerPos, SEEK_SET) != headerPos) {
                Fail(kArcIoError, temp.Name(), LastErrorText());
            }
        }
        ++k;
        done += j.src.size;
        report(false);
        switch (r.kind) {
            case packio::PackResult::Ok:
                ++members;
                wroteNew = true;
                break;
            case packio::PackResult::Skip:
                SkipSource(j.src, r.reason, r.code, r.cause);
                if (j.fallback >= 0) {
                    ++members;
                    keepOld(j.fallback);
                }
                break;
            case packio::PackResult::Error:
                if (r.code == kPackStopped) Fail(kPackStopped);
                Raise(r.code, r.message);
        }
    }
    flush();
    WriteBytes(t, kEndMarker, temp.Name());
    if (runner) runner->Join();
    // Every source left out and nothing else changed: the archive stays as it is.
    if (!wroteNew && !b.changed && !commentChanged) return;
    if (!b.existed && members == 0) return;
    report(true);
    ReplaceArchive(temp);
    mayRemoveEmpty_ = members == 0;
}

// ---- several members in one pass --------------------------------------------------------------

int TPackFileObject::AddFiles(const std::vector<std::string>& files) {
    if (busy_) Fail(kArcBusy);
    const uint8_t saved = Operation;
    const bool own = !batch_;
    struct Guard {
        TPackFileObject& o;
        uint8_t op;
        bool own;
        ~Guard() {
            o.Operation = op;
            if (own) o.CancelUpdate();
        }
    } guard{*this, saved, own};
    if (own) BeginUpdate(false);
    Operation = saved == kArcOpUpdate ? kArcOpUpdate : kArcOpAdd;
    for (const std::string& f : files) {
        SetFileName(f);
        const int rc = Execute();
        if (rc != 0) return rc;
    }
    Operation = saved;
    return own ? Commit() : 0;
}

int TPackFileObject::DeleteMembers(const std::vector<std::string>& names) {
    if (busy_) Fail(kArcBusy);
    const uint8_t saved = Operation;
    const bool own = !batch_;
    struct Guard {
        TPackFileObject& o;
        uint8_t op;
        bool own;
        ~Guard() {
            o.Operation = op;
            if (own) o.CancelUpdate();
        }
    } guard{*this, saved, own};
    if (own) BeginUpdate(false);
    Operation = kArcOpDelete;
    for (const std::string& n : names) {
        SetFileName(n);
        const int rc = Execute();
        if (rc != 0) return rc;
    }
    Operation = saved;
    return own ? Commit() : 0;
}

int TPackFileObject::ExtractMembers(const std::vector<std::string>& names) {
    if (busy_ || batch_) Fail(kArcBusy);
    if (archiveType_ != kArcTypeOwn) Fail(kArcOtherType);
    return Guarded(
        [&] {
            Open();
            if (archiveType_ != kArcTypeOwn) Fail(kArcOtherType);
            std::vector<int> ids;
            ids.reserve(names.size());
            for (const std::string& n : names) {
                const int id = FindByName(StoredName(n));
                if (id < 0) Fail(kArcNotFound, n);
                ids.push_back(id);
            }
            ExtractList(std::move(ids));
        },
        false);
}

void TPackFileObject::ExtractList(std::vector<int> members) {
    const Index& ix = MemberIndex();
    std::sort(members.begin(), members.end());  // the index is in archive order
    members.erase(std::unique(members.begin(), members.end()), members.end());

    struct Item {
        int member = 0;
        std::string target, posix;
        packio::Outcome outcome;
        bool created = false;
    };
    std::vector<Item> items(members.size());
    std::unordered_map<std::string, std::optional<std::string>> bases;
    std::set<std::string> targets;
    int64_t total = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        Item& it = items[i];
        it.member = members[i];
        const TArchive0FileHeader& h = ix.headers[static_cast<size_t>(it.member)];
        total += h.UnpackedSize;
        bool safe = true;
        std::string base, rest;
        it.target = BuildTarget(h.Name, safe, &base, &rest);
        if (!safe) {
            it.outcome = {kArcUnsafeName, ArchiveErrorText(kArcUnsafeName, h.Name, false)};
            continue;
        }
        auto found = bases.find(base);
        if (found == bases.end()) found = bases.emplace(base, ToPosixPath(base)).first;
        if (!found->second) {
            it.outcome = {kArcIoError, ArchiveErrorText(kArcIoError, it.target, false) + ": " +
                                           LastErrorText()};
            continue;
        }
        it.posix = PosixJoin(*found->second, rest);
        // Two members for one target: the later one finds it taken, as one by one.
        if (!targets.insert(it.posix).second)
            it.outcome = {kArcExists, ArchiveErrorText(kArcExists, it.target, false)};
    }

    const int archiveFd = archive_.fd();
    auto extract = [&](Item& it, TPackObject& codec, const packio::ProgressFn& progress) {
        if (it.outcome.code != 0) return;
        auto fail = [&](int code, const std::string& cause) {
            it.outcome.code = code;
            it.outcome.message = ArchiveErrorText(code, it.target, false);
            if (!cause.empty()) it.outcome.message += ": " + cause;
        };
        struct stat st {};
        if (lstat(it.posix.c_str(), &st) == 0) return fail(kArcExists, {});
        const size_t slash = it.posix.find_last_of('/');
        if (slash != std::string::npos && slash > 0 && !packio::MakePosixDirs(it.posix.substr(0, slash)))
            return fail(kArcIoError, LastErrorText());
        packio::Fd fd(::open(it.posix.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.Ok()) {
            const int err = errno;
            SetLastErrorFromErrno(err);
            return fail(err == EEXIST ? kArcExists : kArcIoError, err == EEXIST ? "" : LastErrorText());
        }
        it.created = true;
        const TArchive0FileHeader& h = ix.headers[static_cast<size_t>(it.member)];
        const packio::UnpackSpec task{archiveFd, ix.dataPos[static_cast<size_t>(it.member)],
                                      h.PackedSize, h.UnpackedSize, h.Method, h.Name, it.target};
        it.outcome = packio::UnpackTo(task, fd.Get(), codec, progress);
        if (it.outcome.code == 0 && ::close(fd.Release()) != 0) {
            SetLastErrorFromErrno(errno);
            fail(kArcIoError, LastErrorText());
        }
        if (it.outcome.code != 0) {
            // A half-written target would pass for the whole file.
            fd.Close();
            ::unlink(it.posix.c_str());
            it.created = false;
        }
    };

    int64_t done = 0;
    std::atomic<int64_t> working{0};
    auto last = std::chrono::steady_clock::now();
    auto report = [&](bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last < kReportEvery) {
            if (stopRequested_) Fail(kPackStopped);
            return;
        }
        last = now;
        ReportCopy(std::min(total, done + working.load(std::memory_order_relaxed)), total);
    };

    const int workers = ResolveWorkers(Workers);
    if (workers <= 1 || items.size() <= 1) {
        for (Item& it : items) {
            packio::ProgressFn progress;
            if (items.size() == 1) {
                progress = [&](int64_t d, int64_t n) {
                    Progress(static_cast<int32_t>(d), static_cast<int32_t>(n));
                    return !stopRequested_;
                };
            } else {
                progress = [&](int64_t d, int64_t) {
                    working.store(d, std::memory_order_relaxed);
                    const auto now = std::chrono::steady_clock::now();
                    if (now - last >= kReportEvery) {
                        last = now;
                        Progress(static_cast<int32_t>(std::min(total, done + d) >> (total > INT32_MAX ? 10 : 0)),
                                 static_cast<int32_t>(total >> (total > INT32_MAX ? 10 : 0)));
                    }
                    return !stopRequested_;
                };
            }
            extract(it, *packer_, progress);
            working.store(0);
            if (it.outcome.code == kPackStopped) Fail(kPackStopped);
            if (it.outcome.code != 0) Raise(it.outcome.code, it.outcome.message);
            done += ix.headers[static_cast<size_t>(it.member)].UnpackedSize;
            report(false);
        }
        if (items.size() > 1) report(true);
        return;
    }

    std::vector<std::unique_ptr<TPackObject>> codecs;
    for (int w = 0; w < workers; ++w) codecs.push_back(std::make_unique<TPackObject>());
    const packio::OrderedRunner* self = nullptr;
    packio::OrderedRunner runner(workers, items.size(), static_cast<size_t>(16 * workers),
                                 [&](size_t i, int w) {
                                     int64_t seen = 0;
                                     const packio::ProgressFn progress = [&](int64_t d, int64_t) {
                                         working.fetch_add(d - seen, std::memory_order_relaxed);
                                         seen = d;
                                         return !self->Cancelled();
                                     };
                                     try {
                                         extract(items[i], *codecs[static_cast<size_t>(w)], progress);
                                     } catch (const std::exception& e) {
                                         items[i].outcome = {kArcRunError, e.what()};
                                     }
                                     working.fetch_sub(seen, std::memory_order_relaxed);
                                 });
    self = &runner;
    runner.Start();
    for (size_t i = 0; i < items.size(); ++i) {
        runner.WaitFor(i, [&] { report(true); });
        const Item& it = items[i];
        if (it.outcome.code != 0) {
            // Ends as the one-by-one loop would: nothing after the failing member stays.
            runner.Cancel();
            runner.Join();
            for (size_t j = i + 1; j < items.size(); ++j)
                if (runner.Finished(j) && items[j].created && items[j].outcome.code == 0)
                    ::unlink(items[j].posix.c_str());
            if (it.outcome.code == kPackStopped) Fail(kPackStopped);
            Raise(it.outcome.code, it.outcome.message);
        }
        runner.Consumed(i);
        done += ix.headers[static_cast<size_t>(it.member)].UnpackedSize;
        report(false);
    }
    report(true);
}

void TPackFileObject::SetComment(const std::string& text) {
    if (busy_) Fail(kArcBusy);
    if (batch_) {
        // Written with the batch, and only when it differs from the archive's.
        comment_ = text;
        batch_->commentSet = true;
        return;
    }
    if (text == comment_) return;
    std::string old = comment_;
    comment_ = text;
    // Without an archive the comment waits for the one the next add creates.
    if (!Active() && !FileExists(archiveName_)) return;
    bool was = Active();
    try {
        CheckChangeable();
        Open();
        if (archiveType_ != kArcTypeOwn || archiveStart_ != 0) Fail(kArcOtherType);
        std::string archiveHeader = NewArchiveHeader(false, true);
        if (archiveHeader.size() > static_cast<size_t>(kMaxHeaderSize)) Fail(kArcBadHeader);
        const Index& ix = MemberIndex();
        ix.Check(*this);
        const int64_t endMarker = ix.endMarker;
        const int64_t oldMembers = archiveStart_ + archiveHeaderLen_;
        const std::string dir = ExtractFilePath(archiveName_);
        packio::TempFile temp;
        temp.deleteOnDestruction = DeleteTempOnError;
        if (!temp.Create(dir)) Fail(kArcTempFile, dir + "$pk");
        File& t = temp.Handle();
        WriteBytes(t, archiveHeader, temp.Name());
        CopyStreams(t, archive_, oldMembers, endMarker - oldMembers, {}, temp.Name());
        WriteBytes(t, kEndMarker, temp.Name());
        ReplaceArchive(temp);
    } catch (...) {
        comment_ = old;
        try {
            was ? Open() : Close();
        } catch (const std::exception&) {
        }
        throw;
    }
    was ? Open() : Close();
}

}  // namespace hv
