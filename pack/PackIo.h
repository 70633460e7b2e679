// The container's working parts that know nothing of the object: packing one
// source, unpacking one member, temporary files, the name tables and the
// worker threads. Everything here may run on any thread; each call keeps to
// its own arguments (the codec object included), so workers share nothing.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pack/PackFile.h"
#include "platform/Platform.h"

namespace hv {

class TPackObject;

namespace packio {

// Done and total bytes of the work at hand; false asks it to stop.
using ProgressFn = std::function<bool(int64_t done, int64_t total)>;

// An open POSIX descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            Close();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    bool Ok() const { return fd_ >= 0; }
    void Close();
    // Hands the descriptor over to the caller.
    int Release() { return std::exchange(fd_, -1); }

  private:
    int fd_ = -1;
};

// Where packed bytes go: memory or a file from a given offset on.
class Sink {
  public:
    virtual ~Sink() = default;
    // False (LastError set) when not all could be written.
    virtual bool Write(const void* data, int64_t count) = 0;
    // Empties the sink for another attempt, or to store instead of pack.
    virtual bool Clear() = 0;
    virtual int64_t Size() const = 0;
    // Named in messages.
    virtual std::string Name() const = 0;
};

class MemorySink : public Sink {
  public:
    bool Write(const void* data, int64_t count) override;
    bool Clear() override;
    int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
    std::string Name() const override { return "memory"; }
    std::string& Data() { return data_; }

  private:
    std::string data_;
};

class FileSink : public Sink {
  public:
    FileSink(File& file, int64_t base, std::string name)
        : file_(file), base_(base), name_(std::move(name)) {}
    bool Write(const void* data, int64_t count) override;
    bool Clear() override;
    int64_t Size() const override { return size_; }
    std::string Name() const override { return name_; }

  private:
    File& file_;
    int64_t base_;
    int64_t size_ = 0;
    std::string name_;
};

// One source to pack. The header carries the name, comment, attributes and
// file type; times, sizes and method are filled from the bytes read.
struct PackSpec {
    std::string posixPath;
    std::string name;  // the source as messages name it (1251)
    TArchive0FileHeader header;
    bool storeOnly = false;
};

struct PackResult {
    enum Kind { Ok, Skip, Error } kind = Ok;
    TSkipReason reason = TSkipReason::Unreadable;  // of a Skip
    int code = 0;                                  // of a Skip or an Error
    std::string message;
    std::string cause;  // of a Skip: in the system's words
    TArchive0FileHeader header;  // complete when Ok
};

// Packs the source into Sink (or stores it when packing gains too little). A
// source that changed while it was read (its size or time moved, or it read
// short or long) is read once more; when it changes again it is a Skip, never
// a header that disagrees with the bytes.
PackResult PackSource(const PackSpec& task, Sink& sink, TPackObject& codec,
                      const ProgressFn& progress);

// One member to unpack into an open target.
struct UnpackSpec {
    int archiveFd = -1;  // read with pread only
    int64_t dataPos = 0;
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;
    uint8_t method = kMethodStored;
    std::string member;  // stored name, for messages
    std::string target;  // target name, for messages
};

struct Outcome {
    int code = 0;  // 0, or a code of the tables
    std::string message;
};

Outcome UnpackTo(const UnpackSpec& task, int targetFd, TPackObject& codec,
                 const ProgressFn& progress);

// Creates the missing directories of a POSIX path.
bool MakePosixDirs(const std::string& dir);

// A temporary file "$pk....tmp" in a directory, created exclusively and held
// locked while it lives (so that a later run can tell a stale one), deleted
// on destruction unless kept.
class TempFile {
  public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    // False (LastError set) when no name could be made.
    bool Create(const std::string& dir);
    File& Handle() { return file_; }
    const std::string& Name() const { return name_; }
    void Keep() { keep_ = true; }
    // On destruction the file stays when this is false (after a failure that
    // must not delete it).
    bool deleteOnDestruction = true;

  private:
    File file_;
    std::string name_;
    bool keep_ = false;
};

// Deletes the "$pk....tmp" files of a directory that no live object holds:
// what a killed run left behind.
void RemoveStaleTemps(const std::string& dir);

// Member names by exact spelling and by letter case folded; ids ascending.
class NameTable {
  public:
    void Add(const std::string& name, int id);
    void Remove(const std::string& name, int id);
    // The first id of exactly this name, or -1.
    int Exact(const std::string& name) const;
    // Ids whose names equal Name ignoring case, ascending; null when none.
    const std::vector<int>* Folded(const std::string& name) const;

  private:
    std::unordered_map<std::string, std::vector<int>> exact_, folded_;
};

// Runs Task(i, worker) for i = 0..count-1 on a number of threads, never more
// than Window tasks ahead of the one the caller has taken last. The caller
// takes the results in order: WaitFor, then Consumed.
class OrderedRunner {
  public:
    using Task = std::function<void(size_t index, int worker)>;
    OrderedRunner(int workers, size_t count, size_t window, Task task);
    ~OrderedRunner();
    // Starts the threads (not in the constructor: tasks may ask the runner itself).
    void Start();
    OrderedRunner(const OrderedRunner&) = delete;
    OrderedRunner& operator=(const OrderedRunner&) = delete;

    // Waits until task I is done; Idle runs about every 50 ms meanwhile (it may throw).
    void WaitFor(size_t index, const std::function<void()>& idle);
    void Consumed(size_t index);
    // No task starts any more; running ones see Cancelled and should end soon.
    void Cancel();
    bool Cancelled() const { return cancel_.load(std::memory_order_relaxed); }
    // Waits for the running tasks to end (after Cancel, or when all are done).
    void Join();
    // Whether task I ran to its end.
    bool Finished(size_t index);

  private:
    void Work(int worker);

    Task task_;
    int workers_;
    size_t count_, window_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<char> finished_;
    size_t next_ = 0, consumed_ = 0;
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> threads_;
};

}  // namespace packio
}  // namespace hv
