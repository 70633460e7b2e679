// TPackObject: the system's own compression codec (LZ77 over a 512-byte
// window, order-1 context model with escape to order 0, adaptive arithmetic
// coding with 16-bit registers). Input, output and progress go through the
// events; the codec never touches files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/Exception.h"

namespace hv {

HV_DECLARE_EXCEPTION(EPackObjectError, Exception);

// Result codes of Pack/Unpack (0 or more: a byte count).
enum : int {
    kPackOk = 0,
    kPackStopped = -1,
    kPackNoMemory = -2,
    kPackIoError = -3,
    kPackBadData = -4,
    kPackBadLength = -5,
    kPackBadTrailer = -6,
    kPackNoIo = -100,
    kPackRunError = -101,
};

class TPackObject {
public:
    // Fill Buffer with up to Count bytes; the number read (> 0) or negative when nothing can be read.
    using ReadEvent = std::function<int(void* buffer, int count)>;
    // Write Count bytes; the number written or -1.
    using WriteEvent = std::function<int(const void* buffer, int count)>;
    using ProgressEvent = std::function<void(int32_t done, int32_t total)>;

    TPackObject();
    virtual ~TPackObject();
    TPackObject(const TPackObject&) = delete;
    TPackObject& operator=(const TPackObject&) = delete;

    // Packs exactly Size bytes read through OnRead; the packed byte count or a negative code.
    int Pack(int32_t size);
    // Unpacks a stream of PackedSize bytes; the unpacked length or a negative code.
    // UnpackedSize is checked against the stream when it is 6 or more.
    int Unpack(int32_t packedSize, int32_t unpackedSize);
    void Stop(bool flag);
    // Text of a result code in Russian or English (1251); empty for an unknown code.
    static std::string ErrorText(int code, bool russian);

    bool Busy() const { return busy_; }
    bool StopRequested() const { return stopRequested_; }
    // Blocks handed to the codec and not yet returned (0 outside a run).
    size_t BlockCount() const;

    ReadEvent OnRead;
    WriteEvent OnWrite;
    ProgressEvent OnProgress;

private:
    template <class Run>
    int RunEngine(Run&& run);
    void ReleaseBlocks();

    // The entries of the interface record handed to the engine; User is the object.
    static void* AllocBlock(uint32_t size, void* user);
    static void FreeBlock(void* block, void* user);
    static int32_t ReadBlock(int32_t count, void* buffer, void* user);
    static int32_t WriteBlock(int32_t count, const void* buffer, void* user);
    static void ReportProgress(bool* stop, int32_t total, int32_t done, void* user);

    bool busy_ = false;
    bool stopRequested_ = false;
    std::vector<void*> blocks_;
};

}  // namespace hv
