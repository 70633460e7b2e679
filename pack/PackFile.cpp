#include "pack/PackFile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <random>

#include "pack/PackUnit.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"

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
constexpr int64_t kReportStep = 1 << 20;

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
    {kArcInternal, "Внутренняя ошибка"_a, "Internal error"},
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
bool ForceDirectories(const std::string& dir) {
    std::string d = dir;
    while (!d.empty() && IsSep(d.back())) d.pop_back();
    if (d.empty() || DirectoryExists(d)) return true;
    std::string parent = ExtractFilePath(d);
    if (!parent.empty() && parent.size() < d.size() && !ForceDirectories(parent)) return false;
    return CreateDir(d) || DirectoryExists(d);
}

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

// ---- temporary file ------------------------------------------------------------------

// The temporary archive beside the real one; deleted on destruction unless kept.
class TPackFileObject::TempFile {
  public:
    explicit TempFile(TPackFileObject& owner) : owner_(owner) {}
    ~TempFile() {
        file_.Close();
        if (!keep_ && !name_.empty() && owner_.DeleteTempOnError) DeleteFile(name_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void Create(const std::string& dir) {
        static std::mt19937 rng(std::random_device{}() ^ static_cast<unsigned>(getpid()));
        for (int attempt = 0; attempt < 64; ++attempt) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "$pk%04X.tmp", static_cast<unsigned>(rng() & 0xFFFF));
            std::string candidate = dir + buf;
            File f;
            if (f.Open(candidate, OpenMode::CreateNew)) {
                f.Close();
                name_ = candidate;
                if (!file_.Open(name_, OpenMode::ReadWrite, ShareMode::Exclusive)) break;
                return;
            }
            uint32_t err = LastError();
            if (err != kErrFileExists && err != kErrAlreadyExists) break;
        }
        owner_.Fail(kArcTempFile, dir + "$pk");
    }
    File& file() { return file_; }
    const std::string& Name() const { return name_; }
    void Keep() { keep_ = true; }

  private:
    TPackFileObject& owner_;
    File file_;
    std::string name_;
    bool keep_ = false;
};

struct TPackFileObject::Scan {
    bool found = false;
    int64_t headerPos = 0;
    int64_t dataEnd = 0;
    int64_t endMarker = 0;
};

// ---- life cycle ------------------------------------------------------------------------

TPackFileObject::TPackFileObject() : packer_(std::make_unique<TPackObject>()) {
    packer_->OnRead = [this](void* buffer, int count) -> int {
        if (stopRequested_ || !ioIn_) return -1;
        int64_t want = std::min<int64_t>(count, ioLeft_);
        if (want <= 0) return 0;
        int64_t got = ioIn_->Read(buffer, want);
        if (got < 0) return -1;
        if (got < want) ioShort_ = true;
        ioLeft_ -= got;
        return got > 0 ? static_cast<int>(got) : -1;
    };
    packer_->OnWrite = [this](const void* buffer, int count) -> int {
        if (stopRequested_ || !ioOut_ || count < 0) return -1;
        if (ioWritten_ + count > ioLimit_) return -1;
        if (ioOut_->Write(buffer, count) != count) return -1;
        ioWritten_ += count;
        return count;
    };
    packer_->OnProgress = [this](int32_t done, int32_t total) { Progress(done, total); };
    ResetState();
}

TPackFileObject::~TPackFileObject() {
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
    archiveStart_ = archiveHeaderLen_ = memberPos_ = memberDataPos_ = 0;
}

void TPackFileObject::SetArchiveName(const std::string& name) {
    if (name == nameAsGiven_) return;
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
}

void TPackFileObject::SetActive(bool flag) {
    if (flag)
        Open();
    else
        Close();
}

void TPackFileObject::Stop(bool flag) {
    if (flag) stopRequested_ = true;
}

void TPackFileObject::Fail(int code, const std::string& arg) {
    resultCode_ = code;
    throw EArchiveObjectError(code, ArchiveErrorText(code, arg, false));
}

void TPackFileObject::Progress(int32_t done, int32_t total) {
    if (OnProgress) OnProgress(*this, done, total);
    if (stopRequested_) packer_->Stop(true);
}

// ---- opening and reading ------------------------------------------------------------------

void TPackFileObject::Open() {
    if (archive_.IsOpen()) return;
    if (!FileExists(archiveName_)) CreateArchive();
    if (!archive_.Open(archiveName_, OpenMode::Read, ShareMode::Exclusive))
        Fail(kArcIoError, archiveName_);
    try {
        ReadFirst();
    } catch (...) {
        archive_.Close();
        throw;
    }
}

void TPackFileObject::Close() {
    if (!archive_.IsOpen()) return;
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
        Fail(kArcIoError, archiveName_);
    if (f.Write(bytes.data(), static_cast<int64_t>(bytes.size())) !=
        static_cast<int64_t>(bytes.size())) {
        f.Close();
        DeleteFile(archiveName_);
        Fail(kArcIoError, archiveName_);
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
    h.Created = static_cast<int32_t>(Get32(b + 12));
    h.Modified = static_cast<int32_t>(Get32(b + 16));
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
        if (!ReadExact(archive_, pos, tail, 4) || std::string(tail, 4) != kEndMarker)
            Fail(kArcCorrupted);
        MarkEnd(pos);
        return;
    }
    uint8_t head[7];
    if (!ReadExact(archive_, pos, head, 7)) Fail(kArcCorrupted);
    if (Get16(head) != kHeaderId) Fail(kArcBadFileHeader);
    int hsize = Get16(head + 2), fhs = head[4];
    if (hsize == 0) {
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
    h.Modified = static_cast<int32_t>(Get32(b + 12));
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

bool TPackFileObject::FindMember(const std::string& name) {
    bool was = Active();
    Open();
    std::string stored = StoredName(name);
    bool found = false;
    try {
        ReadFirst();
        while (!endOfArchive_) {
            if (SameText(fileHeader_.Name, stored)) {
                found = true;
                break;
            }
            ReadNext();
        }
    } catch (...) {
        if (!was) Close();
        throw;
    }
    if (!was) Close();
    return found;
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

std::string TPackFileObject::TargetName() const {
    bool safe = true;
    return BuildTarget(safe);
}

std::string TPackFileObject::BuildTarget(bool& safe) const {
    std::string stored = fileHeader_.Name;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    std::string archiveDrive = ExtractFileDrive(archiveName_);
    safe = true;

    if (!ExtractFilePath(ExtractTo).empty()) {
        std::string target = ExtractTo;
        if (IsSep(target.back())) {
            target += ExtractFileName(stored);
            safe = IsSafeRelativeName(StripAbsolute ? StripAbsolutePrefix(stored) : stored);
        }
        if (ExtractFileDrive(target).empty())
            target = (IsSep(target[0]) ? archiveDrive : ExtractFilePath(archiveName_)) + target;
        return target;
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
    dir = WithTrailingSep(dir);
    return dir + (ExtractNameOnly ? ExtractFileName(name) : name);
}

// ---- operations --------------------------------------------------------------------------

int TPackFileObject::Execute() {
    if (busy_) Fail(kArcBusy);
    bool was = Active();
    src_.Close();
    dst_.Close();
    if (archiveType_ != kArcTypeOwn) Fail(kArcOtherType);
    busy_ = true;
    auto finish = [&] {
        busy_ = false;
        src_.Close();
        dst_.Close();
        ioIn_ = ioOut_ = nullptr;
    };
    auto restore = [&] {
        try {
            SetActive(was);
        } catch (const std::exception&) {
        }
    };
    try {
        Progress(0, 100);
        resultCode_ = kArcRunError;
        stopRequested_ = false;
        switch (Operation) {
            case kArcOpNone:
            case 3:
            case 6:
            case 7:
                break;
            case kArcOpAdd:
                DoAdd();
                break;
            case kArcOpExtract:
                DoExtract();
                break;
            case kArcOpDelete:
                DoDelete();
                break;
            case kArcOpUpdate:
                DoUpdate();
                break;
            default:
                Fail(kArcUnknownOp, std::to_string(Operation & 0x7F));
        }
        resultCode_ = 0;
    } catch (const EArchiveObjectError&) {
        if (resultCode_ == kPackStopped) {
            finish();
            restore();
            return resultCode_;
        }
        if (RaiseErrors) {
            finish();
            restore();
            throw;
        }
    } catch (const std::exception& e) {
        finish();
        restore();
        throw Exception(std::string(e.what()) + "\r\n" + ArchiveErrorText(kArcRunError, {}, false));
    }
    try {
        Progress(100, 100);
    } catch (...) {
        finish();
        restore();
        throw;
    }
    finish();
    SetActive(was);
    return resultCode_;
}

void TPackFileObject::CheckChangeable() {
    if (Active()) {
        if (archiveType_ != kArcTypeOwn || archiveStart_ != 0) Fail(kArcOtherType);
        return;
    }
    if (!FileExists(archiveName_)) return;
    if (!IsArchive() || archiveType_ != kArcTypeOwn || archiveStart_ != 0) Fail(kArcOtherType);
}

TPackFileObject::Scan TPackFileObject::ScanFor(const std::string* storedName) {
    Scan s;
    ReadFirst();
    while (!endOfArchive_) {
        if (storedName && !s.found && SameText(fileHeader_.Name, *storedName)) {
            s.found = true;
            s.headerPos = memberPos_;
            s.dataEnd = memberDataPos_ + static_cast<int64_t>(fileHeader_.PackedSize);
        }
        ReadNext();
    }
    s.endMarker = memberPos_;
    return s;
}

void TPackFileObject::WriteBytes(File& dst, const std::string& bytes) {
    if (dst.Write(bytes.data(), static_cast<int64_t>(bytes.size())) !=
        static_cast<int64_t>(bytes.size()))
        Fail(kArcIoError, "CopyStreams");
}

void TPackFileObject::CopyStreams(File& dst, File& src, int64_t from, int64_t count, bool report) {
    if (count <= 0) return;
    if (src.Seek(from, SEEK_SET) != from) Fail(kArcIoError, "CopyStreams");
    std::vector<char> buf(static_cast<size_t>(std::min(count, kCopyBlock)));
    int64_t done = 0, nextReport = kReportStep;
    while (done < count) {
        int64_t n = std::min<int64_t>(count - done, static_cast<int64_t>(buf.size()));
        if (src.Read(buf.data(), n) != n || dst.Write(buf.data(), n) != n)
            Fail(kArcIoError, "CopyStreams");
        done += n;
        if (report && done >= nextReport) {
            ReportCopy(done, count);
            nextReport = done + kReportStep;
        }
    }
}

void TPackFileObject::ReportCopy(int64_t done, int64_t total) {
    // Progress counts are 32-bit; very large members report in kilobytes.
    int shift = total > std::numeric_limits<int32_t>::max() ? 10 : 0;
    Progress(static_cast<int32_t>(done >> shift), static_cast<int32_t>(total >> shift));
    if (stopRequested_) Fail(kPackStopped);
}

void TPackFileObject::ReplaceArchive(TempFile& temp) {
    File& t = temp.file();
    if (!t.Flush()) Fail(kArcIoError, temp.Name());
    t.Close();
    archive_.Close();
    std::string backup;
    if (MakeBackup) {
        backup = ChangeFileExt(archiveName_, ".bak");
        DeleteFile(backup);
        if (!RenameFile(archiveName_, backup)) backup.clear();
    }
    if (!ReplaceFile(temp.Name(), archiveName_)) {
        uint32_t err = LastError();
        if (!backup.empty()) RenameFile(backup, archiveName_);
        // The finished archive stays in the temporary file for the user to rescue.
        temp.Keep();
        Fail(kArcRename, std::to_string(err));
    }
    temp.Keep();
}

std::string TPackFileObject::NewArchiveHeader(bool touch, bool setComment) const {
    TArchive0Header h = archiveHeader_;
    if (touch) h.Modified = NowDos();
    if (setComment || !comment_.empty()) h.Comment = comment_;
    return h.Bytes();
}

FindData TPackFileObject::SourceEntry(std::string& diskName) {
    if (!FileExists(fileName_)) Fail(kArcIoError, fileName_);
    std::string path = ExpandFileName(fileName_);
    FindFile ff;
    if (!ff.First(path, kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive))
        Fail(kArcIoError, "GetFileInfo");
    FindData fd = ff.Data();
    if (fd.Gone() || ff.Next()) Fail(kArcIoError, "GetFileInfo");
    ff.Close();
    diskName = ExtractFilePath(path) + fd.name;
    return fd;
}

void TPackFileObject::DoAdd() {
    CheckChangeable();
    std::string diskName;
    FindData fd = SourceEntry(diskName);
    if (fd.Size() >= kMaxMemberSize) Fail(kArcIoError, diskName);
    if (!src_.Open(diskName, OpenMode::Read, ShareMode::DenyWrite)) Fail(kArcIoError, diskName);
    const int64_t size = fd.Size();

    Open();
    if (archiveType_ != kArcTypeOwn || archiveStart_ != 0) Fail(kArcOtherType);
    TArchive0FileHeader mh;
    mh.HeaderId = kHeaderId;
    mh.FirstHeaderSize = TArchive0FileHeader::kFixedSize;
    mh.Version = mh.MinVersion = kVersion;
    mh.FileType = (fd.Attr() & kAttrVolume) ? 4 : (fd.Attr() & kAttrDirectory) ? 3 : 0;
    mh.Created = mh.Modified = fd.Time();
    mh.UnpackedSize = static_cast<uint32_t>(size);
    mh.NamePos = 4;
    mh.Attr = static_cast<uint16_t>(fd.Attr());
    mh.Name = StoredName(diskName);
    mh.Comment = FileComment;
    if (mh.Bytes().size() > static_cast<size_t>(kMaxHeaderSize)) Fail(kArcBadFileHeader);
    std::string archiveHeader = NewArchiveHeader(true, false);
    if (archiveHeader.size() > static_cast<size_t>(kMaxHeaderSize)) Fail(kArcBadHeader);

    Scan s = ScanFor(&mh.Name);
    const int64_t oldMembers = archiveStart_ + archiveHeaderLen_;

    TempFile temp(*this);
    temp.Create(ExtractFilePath(archiveName_));
    File& t = temp.file();
    WriteBytes(t, archiveHeader);
    CopyStreams(t, archive_, oldMembers, (s.found ? s.headerPos : s.endMarker) - oldMembers);
    const int64_t headerPos = t.Seek(0, SEEK_CUR);
    std::string bytes = mh.Bytes();
    const int64_t dataPos = headerPos + static_cast<int64_t>(bytes.size());
    WriteBytes(t, bytes);

    int64_t packed = -1;
    // Below 64 bytes packing can never save the 64 bytes it must.
    if (!StoreOnly && size >= 64) packed = PackMember(t, size, diskName);
    const bool usePacked = packed >= 0 && size - packed >= 64 && size - packed >= size / 128;
    mh.Method = usePacked ? kMethodPacked : kMethodStored;
    mh.PackedSize = static_cast<uint32_t>(usePacked ? packed : size);
    if (t.Seek(headerPos, SEEK_SET) != headerPos) Fail(kArcIoError, temp.Name());
    WriteBytes(t, mh.Bytes());
    if (usePacked) {
        if (t.Seek(dataPos + packed, SEEK_SET) != dataPos + packed) Fail(kArcIoError, temp.Name());
    } else {
        StoreMember(t, size, diskName);
        if (!t.Truncate(dataPos + size)) Fail(kArcIoError, temp.Name());
    }
    src_.Close();
    if (s.found) CopyStreams(t, archive_, s.dataEnd, s.endMarker - s.dataEnd);
    WriteBytes(t, kEndMarker);
    ReplaceArchive(temp);
}

int64_t TPackFileObject::PackMember(File& temp, int64_t size, const std::string& srcName) {
    if (src_.Seek(0, SEEK_SET) != 0) Fail(kArcIoError, srcName);
    ioIn_ = &src_;
    ioOut_ = &temp;
    ioLeft_ = size;
    ioShort_ = false;
    ioWritten_ = 0;
    ioLimit_ = std::numeric_limits<int64_t>::max();
    int r = packer_->Pack(static_cast<int32_t>(size));
    ioIn_ = ioOut_ = nullptr;
    if (stopRequested_ && r < 0) Fail(kPackStopped);
    // A file that changed under us must not go in with a header that disagrees.
    if (ioShort_ || src_.Size() != size) Fail(kArcIoError, srcName);
    if (r < 0) Fail(r);
    if (r != ioWritten_) Fail(kPackIoError);
    return r;
}

void TPackFileObject::StoreMember(File& temp, int64_t size, const std::string& srcName) {
    if (src_.Seek(0, SEEK_SET) != 0) Fail(kArcIoError, srcName);
    std::vector<char> buf(static_cast<size_t>(std::clamp<int64_t>(size, 1, kCopyBlock)));
    int64_t done = 0, nextReport = kReportStep;
    while (done < size) {
        int64_t n = std::min<int64_t>(size - done, static_cast<int64_t>(buf.size()));
        if (src_.Read(buf.data(), n) != n) Fail(kArcIoError, srcName);
        if (temp.Write(buf.data(), n) != n) Fail(kArcIoError, "CopyStreams");
        done += n;
        if (done >= nextReport) {
            ReportCopy(done, size);
            nextReport = done + kReportStep;
        }
    }
    if (src_.Size() != size) Fail(kArcIoError, srcName);
}

void TPackFileObject::DoUpdate() {
    if (!FileExists(fileName_)) return;
    CheckChangeable();
    std::string diskName;
    FindData fd = SourceEntry(diskName);
    Open();
    if (archiveType_ != kArcTypeOwn) Fail(kArcOtherType);
    if (FindMember(diskName) && fd.Time() == fileHeader_.Modified &&
        fd.Size() == static_cast<int64_t>(fileHeader_.UnpackedSize))
        return;
    DoAdd();
}

void TPackFileObject::DoDelete() {
    CheckChangeable();
    Open();
    if (archiveType_ != kArcTypeOwn || archiveStart_ != 0) Fail(kArcOtherType);
    std::string stored = StoredName(fileName_);
    std::string archiveHeader = NewArchiveHeader(true, false);
    if (archiveHeader.size() > static_cast<size_t>(kMaxHeaderSize)) Fail(kArcBadHeader);
    Scan s = ScanFor(&stored);
    if (!s.found) Fail(kArcNotFound, fileName_);
    const int64_t oldMembers = archiveStart_ + archiveHeaderLen_;

    TempFile temp(*this);
    temp.Create(ExtractFilePath(archiveName_));
    File& t = temp.file();
    WriteBytes(t, archiveHeader);
    CopyStreams(t, archive_, oldMembers, s.headerPos - oldMembers);
    CopyStreams(t, archive_, s.dataEnd, s.endMarker - s.dataEnd);
    WriteBytes(t, kEndMarker);
    ReplaceArchive(temp);
}

void TPackFileObject::DoExtract() {
    Open();
    if (archiveType_ != kArcTypeOwn) Fail(kArcOtherType);
    if (!FindMember(fileName_)) Fail(kArcNotFound, fileName_);
    bool safe = true;
    std::string target = BuildTarget(safe);
    if (!safe) Fail(kArcUnsafeName, fileHeader_.Name);
    if (FileExists(target) || DirectoryExists(target)) Fail(kArcExists, target);
    if (!ForceDirectories(ExtractFilePath(target))) Fail(kArcIoError, target);
    if (!dst_.Open(target, OpenMode::CreateNew, ShareMode::Exclusive)) {
        uint32_t err = LastError();
        Fail(err == kErrFileExists || err == kErrAlreadyExists ? kArcExists : kArcIoError, target);
    }
    try {
        if (fileHeader_.Method != kMethodPacked) {
            CopyStreams(dst_, archive_, memberDataPos_, fileHeader_.PackedSize, true);
        } else {
            UnpackMember(dst_);
        }
        dst_.Close();
    } catch (...) {
        // A half-written target would pass for the whole file.
        dst_.Close();
        DeleteFile(target);
        throw;
    }
}

void TPackFileObject::UnpackMember(File& dst) {
    const int64_t packed = fileHeader_.PackedSize, unpacked = fileHeader_.UnpackedSize;
    const int64_t int32Max = std::numeric_limits<int32_t>::max();
    // No bound on the ratio: very compressible files pack far beyond any fixed
    // figure, and refusing them would make their backups unrestorable.
    if (packed > int32Max || unpacked > int32Max) Fail(kArcCorrupted);
    if (archive_.Seek(memberDataPos_, SEEK_SET) != memberDataPos_) Fail(kArcCorrupted);
    ioIn_ = &archive_;
    ioOut_ = &dst;
    ioLeft_ = packed;
    ioShort_ = false;
    ioWritten_ = 0;
    ioLimit_ = unpacked;
    int r = packer_->Unpack(static_cast<int32_t>(packed), static_cast<int32_t>(unpacked));
    ioIn_ = ioOut_ = nullptr;
    if (stopRequested_ && r < 0) Fail(kPackStopped);
    if (r < 0) Fail(r);
    if (r != unpacked || ioWritten_ != unpacked) Fail(kPackBadLength);
}

void TPackFileObject::SetComment(const std::string& text) {
    if (text == comment_) return;
    if (busy_) Fail(kArcBusy);
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
        Scan s = ScanFor(nullptr);
        const int64_t oldMembers = archiveStart_ + archiveHeaderLen_;
        TempFile temp(*this);
        temp.Create(ExtractFilePath(archiveName_));
        File& t = temp.file();
        WriteBytes(t, archiveHeader);
        CopyStreams(t, archive_, oldMembers, s.endMarker - oldMembers);
        WriteBytes(t, kEndMarker);
        ReplaceArchive(temp);
    } catch (...) {
        comment_ = old;
        try {
            SetActive(was);
        } catch (const std::exception&) {
        }
        throw;
    }
    SetActive(was);
}

}  // namespace hv
