#include "pack/PackIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>
#include <random>

#include "pack/PackUnit.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"

namespace hv::packio {

namespace {

constexpr int64_t kBlock = 64 * 1024;
constexpr int64_t kReportStep = 1 << 20;

// Reads up to Count bytes at Offset (or at the file position when Offset is
// negative); the count read, or -1 with LastError set.
int64_t ReadSome(int fd, void* buf, int64_t count, int64_t offset) {
    char* p = static_cast<char*>(buf);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = offset < 0 ? ::read(fd, p + done, static_cast<size_t>(count - done))
                                     : ::pread(fd, p + done, static_cast<size_t>(count - done),
                                               static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno);
            return -1;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

bool WriteAll(int fd, const void* buf, int64_t count) {
    const char* p = static_cast<const char*>(buf);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, p + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno(errno);
            return false;
        }
        if (n == 0) {
            SetLastError(kErrDiskFull);
            return false;
        }
        done += n;
    }
    return true;
}

std::string WithCause(int code, const std::string& arg, const std::string& cause) {
    std::string text = ArchiveErrorText(code, arg, false);
    return cause.empty() ? text : text + ": " + cause;
}

bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

void Fd::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

// ---- sinks ---------------------------------------------------------------------------

bool MemorySink::Write(const void* data, int64_t count) {
    data_.append(static_cast<const char*>(data), static_cast<size_t>(count));
    return true;
}

bool MemorySink::Clear() {
    data_.clear();
    return true;
}

bool FileSink::Write(const void* data, int64_t count) {
    if (file_.Write(data, count) != count) {
        if (LastError() == kErrSuccess) SetLastError(kErrDiskFull);
        return false;
    }
    size_ += count;
    return true;
}

bool FileSink::Clear() {
    size_ = 0;
    return file_.Truncate(base_) && file_.Seek(base_, SEEK_SET) == base_;
}

// ---- one source -----------------------------------------------------------------------

PackResult PackSource(const PackSpec& task, Sink& sink, TPackObject& codec,
                      const ProgressFn& progress) {
    PackResult res;
    auto skip = [&](TSkipReason reason, const std::string& cause) {
        res.kind = PackResult::Skip;
        res.reason = reason;
        res.code = kArcIoError;
        res.message = WithCause(kArcIoError, task.name, cause);
        res.cause = cause;
        return res;
    };
    auto error = [&](int code, const std::string& arg, const std::string& cause) {
        res.kind = PackResult::Error;
        res.code = code;
        res.message = WithCause(code, arg, cause);
        return res;
    };
    auto sinkFailed = [&](int code) {
        return error(code, code == kArcIoError ? "CopyStreams" : std::string(),
                     sink.Name() + ": " + LastErrorText());
    };

    Fd fd(::open(task.posixPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Ok()) {
        const int err = errno;
        SetLastErrorFromErrno(err);
        return skip(err == ENOENT || err == ENOTDIR ? TSkipReason::Gone : TSkipReason::Unreadable,
                    LastErrorText());
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        struct stat before {};
        if (fstat(fd.Get(), &before) != 0 || !S_ISREG(before.st_mode)) {
            SetLastError(kErrAccessDenied);
            return skip(TSkipReason::Unreadable, LastErrorText());
        }
        const int64_t size = before.st_size;
        if (size >= TPackFileObject::kMaxMemberSize)
            return skip(TSkipReason::TooLarge, "файл больше 2 ГБ"_a);
        if (!sink.Clear()) return sinkFailed(kPackIoError);
        bool changed = false, readFailed = false, writeFailed = false, stopped = false;

        int64_t packed = -1;
        // Below 64 bytes packing can never save the 64 bytes it must.
        if (!task.storeOnly && size >= 64) {
            if (::lseek(fd.Get(), 0, SEEK_SET) != 0) return skip(TSkipReason::Unreadable, LastErrorText());
            int64_t left = size, written = 0;
            codec.OnRead = [&](void* buf, int count) -> int {
                const int64_t want = std::min<int64_t>(count, left);
                if (want <= 0) return 0;
                const int64_t got = ReadSome(fd.Get(), buf, want, -1);
                if (got < 0) {
                    readFailed = true;
                    return -1;
                }
                if (got < want) changed = true;  // shorter than it was a moment ago
                left -= got;
                return got > 0 ? static_cast<int>(got) : -1;
            };
            codec.OnWrite = [&](const void* buf, int count) -> int {
                if (!sink.Write(buf, count)) {
                    writeFailed = true;
                    return -1;
                }
                written += count;
                return count;
            };
            codec.OnProgress = [&](int32_t done, int32_t total) {
                if (!progress(done, total)) {
                    stopped = true;
                    codec.Stop(true);
                }
            };
            const int r = codec.Pack(static_cast<int32_t>(size));
            codec.OnRead = nullptr;
            codec.OnWrite = nullptr;
            codec.OnProgress = nullptr;
            if (stopped && r < 0) return error(kPackStopped, {}, {});
            if (writeFailed) return sinkFailed(kPackIoError);
            if (readFailed) return skip(TSkipReason::Unreadable, LastErrorText());
            if (!changed) {
                if (r < 0) return error(r, {}, {});
                if (r != written) return error(kPackIoError, {}, sink.Name());
                packed = r;
            }
        }
        const bool usePacked = packed >= 0 && size - packed >= 64 && size - packed >= size / 128;
        if (!changed && !usePacked) {
            if (!sink.Clear()) return sinkFailed(kArcIoError);
            std::vector<char> buf(static_cast<size_t>(std::clamp<int64_t>(size, 1, kBlock)));
            int64_t done = 0, nextReport = kReportStep;
            while (done < size && !changed) {
                const int64_t n = std::min<int64_t>(size - done, static_cast<int64_t>(buf.size()));
                const int64_t got = ReadSome(fd.Get(), buf.data(), n, done);
                if (got < 0) return skip(TSkipReason::Unreadable, LastErrorText());
                if (got < n) {
                    changed = true;
                    break;
                }
                if (!sink.Write(buf.data(), n)) return sinkFailed(kArcIoError);
                done += n;
                if (done >= nextReport) {
                    if (!progress(done, size)) return error(kPackStopped, {}, {});
                    nextReport = done + kReportStep;
                }
            }
        }
        if (!changed) {
            char extra;
            struct stat after {};
            if (::pread(fd.Get(), &extra, 1, static_cast<off_t>(size)) > 0 ||
                fstat(fd.Get(), &after) != 0 || !SameStamp(before, after))
                changed = true;
        }
        if (changed) continue;

        TArchive0FileHeader& h = res.header;
        h = task.header;
        h.Created = h.Modified = DosDateTimeFromUnix(static_cast<int64_t>(before.st_mtime));
        h.UnpackedSize = static_cast<uint32_t>(size);
        h.Method = usePacked ? kMethodPacked : kMethodStored;
        h.PackedSize = static_cast<uint32_t>(usePacked ? packed : size);
        res.kind = PackResult::Ok;
        return res;
    }
    return skip(TSkipReason::Changed, "файл изменялся при чтении"_a);
}

// ---- one member -------------------------------------------------------------------------

Outcome UnpackTo(const UnpackSpec& task, int targetFd, TPackObject& codec,
                 const ProgressFn& progress) {
    Outcome out;
    auto fail = [&](int code, const std::string& arg, const std::string& cause) {
        out.code = code;
        out.message = WithCause(code, arg, cause);
        return out;
    };
    const int64_t packed = task.packedSize, unpacked = task.unpackedSize;
    if (task.method != kMethodPacked) {
        // Stored bytes carry no length of their own to check them by.
        if (packed != unpacked) return fail(kArcCorrupted, {}, task.member);
        std::vector<char> buf(static_cast<size_t>(std::clamp<int64_t>(packed, 1, kBlock)));
        int64_t done = 0, nextReport = kReportStep;
        while (done < packed) {
            const int64_t n = std::min<int64_t>(packed - done, static_cast<int64_t>(buf.size()));
            if (ReadSome(task.archiveFd, buf.data(), n, task.dataPos + done) != n)
                return fail(kArcIoError, "CopyStreams", LastErrorText());
            if (!WriteAll(targetFd, buf.data(), n))
                return fail(kArcIoError, "CopyStreams", task.target + ": " + LastErrorText());
            done += n;
            if (done >= nextReport) {
                if (!progress(done, packed)) return fail(kPackStopped, {}, {});
                nextReport = done + kReportStep;
            }
        }
        return out;
    }
    // No bound on the ratio: very compressible files pack far beyond any fixed
    // figure, and refusing them would make their backups unrestorable.
    const int64_t int32Max = std::numeric_limits<int32_t>::max();
    if (packed > int32Max || unpacked > int32Max) return fail(kArcCorrupted, {}, task.member);
    int64_t left = packed, at = task.dataPos, written = 0;
    bool writeFailed = false, stopped = false;
    codec.OnRead = [&](void* buf, int count) -> int {
        const int64_t want = std::min<int64_t>(count, left);
        if (want <= 0) return 0;
        const int64_t got = ReadSome(task.archiveFd, buf, want, at);
        if (got <= 0) return -1;
        left -= got;
        at += got;
        return static_cast<int>(got);
    };
    codec.OnWrite = [&](const void* buf, int count) -> int {
        if (count < 0 || written + count > unpacked) return -1;
        if (!WriteAll(targetFd, buf, count)) {
            writeFailed = true;
            return -1;
        }
        written += count;
        return count;
    };
    codec.OnProgress = [&](int32_t done, int32_t total) {
        if (!progress(done, total)) {
            stopped = true;
            codec.Stop(true);
        }
    };
    const int r = codec.Unpack(static_cast<int32_t>(packed), static_cast<int32_t>(unpacked));
    codec.OnRead = nullptr;
    codec.OnWrite = nullptr;
    codec.OnProgress = nullptr;
    if (stopped && r < 0) return fail(kPackStopped, {}, {});
    if (writeFailed) return fail(kPackIoError, {}, task.target + ": " + LastErrorText());
    const std::string mismatch = task.member + ": размер в заголовке ("_a +
                                 std::to_string(unpacked) + ") не совпадает с данными"_a;
    if (r == kPackBadLength) return fail(r, {}, mismatch);
    if (r < 0) return fail(r, {}, task.member);
    if (r != unpacked || written != unpacked) return fail(kPackBadLength, {}, mismatch);
    return out;
}

bool MakePosixDirs(const std::string& dir) {
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    struct stat st {};
    if (d.empty() || ::stat(d.c_str(), &st) == 0) {
        if (d.empty() || S_ISDIR(st.st_mode)) return true;
        SetLastError(kErrPathNotFound);
        return false;
    }
    const size_t slash = d.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakePosixDirs(d.substr(0, slash))) return false;
    if (::mkdir(d.c_str(), 0777) == 0 || errno == EEXIST) return true;
    SetLastErrorFromErrno(errno);
    return false;
}

// ---- temporary files ----------------------------------------------------------------------

TempFile::~TempFile() {
    file_.Close();
    if (!keep_ && !name_.empty() && deleteOnDestruction) DeleteFile(name_);
}

bool TempFile::Create(const std::string& dir) {
    thread_local std::mt19937 rng(std::random_device{}() ^
                                  static_cast<unsigned>(getpid()) ^
                                  static_cast<unsigned>(std::hash<std::thread::id>{}(
                                      std::this_thread::get_id())));
    for (int attempt = 0; attempt < 64; ++attempt) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "$pk%04X.tmp", static_cast<unsigned>(rng() & 0xFFFF));
        const std::string candidate = dir + buf;
        // Created and locked in one step: a cleaner never takes a live one for stale.
        if (file_.Open(candidate, OpenMode::CreateNew, ShareMode::Exclusive)) {
            name_ = candidate;
            return true;
        }
        const uint32_t err = LastError();
        if (err != kErrFileExists && err != kErrAlreadyExists && err != kErrSharingViolation)
            return false;
    }
    return false;
}

void RemoveStaleTemps(const std::string& dir) {
    std::vector<std::string> names;
    FindFile ff;
    for (bool ok = ff.First(dir + "$pk*.tmp", kAttrReadOnly | kAttrHidden | kAttrArchive); ok;
         ok = ff.Next())
        if (!ff.Data().IsDirectory()) names.push_back(ff.Data().name);
    ff.Close();
    for (const std::string& n : names) {
        File f;
        // Held by a live object, the lock is not to be had.
        if (!f.Open(dir + n, OpenMode::Read, ShareMode::Exclusive)) continue;
        DeleteFile(dir + n);
    }
}

// ---- names ------------------------------------------------------------------------------------

namespace {
void Insert(std::vector<int>& ids, int id) {
    ids.insert(std::lower_bound(ids.begin(), ids.end(), id), id);
}
void Erase(std::unordered_map<std::string, std::vector<int>>& map, const std::string& key, int id) {
    auto it = map.find(key);
    if (it == map.end()) return;
    auto& ids = it->second;
    auto pos = std::lower_bound(ids.begin(), ids.end(), id);
    if (pos != ids.end() && *pos == id) ids.erase(pos);
    if (ids.empty()) map.erase(it);
}
}  // namespace

void NameTable::Add(const std::string& name, int id) {
    Insert(exact_[name], id);
    Insert(folded_[AnsiUpper(name)], id);
}

void NameTable::Remove(const std::string& name, int id) {
    Erase(exact_, name, id);
    Erase(folded_, AnsiUpper(name), id);
}

int NameTable::Exact(const std::string& name) const {
    auto it = exact_.find(name);
    return it == exact_.end() ? -1 : it->second.front();
}

const std::vector<int>* NameTable::Folded(const std::string& name) const {
    auto it = folded_.find(AnsiUpper(name));
    return it == folded_.end() ? nullptr : &it->second;
}

// ---- workers ------------------------------------------------------------------------------------

OrderedRunner::OrderedRunner(int workers, size_t count, size_t window, Task task)
    : task_(std::move(task)), workers_(workers), count_(count),
      window_(std::max<size_t>(window, 1)), finished_(count, 0) {}

void OrderedRunner::Start() {
    const int n =
        static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(workers_, 1)), count_));
    threads_.reserve(static_cast<size_t>(n));
    for (int w = 0; w < n; ++w) threads_.emplace_back([this, w] { Work(w); });
}

OrderedRunner::~OrderedRunner() {
    Cancel();
    Join();
}

void OrderedRunner::Work(int worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] {
            return Cancelled() || next_ >= count_ || next_ < consumed_ + window_;
        });
        if (Cancelled() || next_ >= count_) return;
        const size_t i = next_++;
        lock.unlock();
        task_(i, worker);
        lock.lock();
        finished_[i] = 1;
        done_.notify_all();
    }
}

void OrderedRunner::WaitFor(size_t index, const std::function<void()>& idle) {
    std::unique_lock lock(mutex_);
    while (!finished_[index]) {
        done_.wait_for(lock, std::chrono::milliseconds(50));
        if (finished_[index]) break;
        lock.unlock();
        idle();
        lock.lock();
    }
}

void OrderedRunner::Consumed(size_t index) {
    {
        std::lock_guard lock(mutex_);
        consumed_ = std::max(consumed_, index + 1);
    }
    wake_.notify_all();
}

void OrderedRunner::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancel_ = true;
    }
    wake_.notify_all();
}

void OrderedRunner::Join() {
    for (auto& t : threads_)
        if (t.joinable()) t.join();
}

bool OrderedRunner::Finished(size_t index) {
    std::lock_guard lock(mutex_);
    return finished_[index] != 0;
}

}  // namespace hv::packio
