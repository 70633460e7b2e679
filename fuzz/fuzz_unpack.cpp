// libFuzzer target: unpacks arbitrary bytes as a packed stream (and, in one mode,
// packs them and checks the round trip). The first four bytes choose the sizes:
//   byte 0, bits 0-3: bytes cut from the PackedSize (the source keeps them);
//           bits 4-5: OnRead hands over everything, 1 byte, or 7 bytes a call,
//                     or (3) everything, on two threads at once that must agree
//                     (as the workers of an archive unpack members side by side);
//           bit 6: pass bytes 1-2 (16 bits) as UnpackedSize; otherwise 0;
//           bit 7: round trip the rest instead of unpacking it.
// The decoder must end (output is capped), stay in bounds, and never claim success
// with the wrong byte count.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "pack/PackUnit.h"

namespace {

constexpr size_t kOutputCap = (1u << 16) + 4096;

int RunUnpack(hv::TPackObject& po, const uint8_t* src, size_t size, int chunk, int32_t packedSize,
              int32_t unpackedSize, std::vector<uint8_t>& out) {
    size_t at = 0;
    po.OnRead = [&](void* buf, int count) {
        const size_t n =
            std::min({static_cast<size_t>(count), size - at, static_cast<size_t>(chunk)});
        if (n == 0) return -1;
        std::memcpy(buf, src + at, n);
        at += n;
        return static_cast<int>(n);
    };
    po.OnWrite = [&](const void* buf, int count) {
        if (out.size() + static_cast<size_t>(count) > kOutputCap) return -1;
        auto p = static_cast<const uint8_t*>(buf);
        out.insert(out.end(), p, p + count);
        return count;
    };
    return po.Unpack(packedSize, unpackedSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t mode = data[0];
    const int chunk = (mode >> 4 & 3) == 1 ? 1 : (mode >> 4 & 3) == 2 ? 7 : 1 << 30;
    const int32_t hinted = static_cast<int32_t>((data[1] | data[2] << 8 | data[3] << 16) & 0xFFFF);
    const uint8_t* body = data + 4;
    const size_t bodySize = size - 4;
    hv::TPackObject po;
    std::vector<uint8_t> out;

    if (mode & 0x80) {  // round trip
        size_t at = 0;
        std::vector<uint8_t> packed;
        po.OnRead = [&](void* buf, int count) {
            const size_t n =
                std::min({static_cast<size_t>(count), bodySize - at, static_cast<size_t>(chunk)});
            if (n == 0) return -1;
            std::memcpy(buf, body + at, n);
            at += n;
            return static_cast<int>(n);
        };
        po.OnWrite = [&](const void* buf, int count) {
            auto p = static_cast<const uint8_t*>(buf);
            packed.insert(packed.end(), p, p + count);
            return count;
        };
        const int r = po.Pack(static_cast<int32_t>(bodySize));
        if (r < 0 || static_cast<size_t>(r) != packed.size()) __builtin_trap();
        const int back = RunUnpack(po, packed.data(), packed.size(), chunk, r,
                                   static_cast<int32_t>(bodySize), out);
        if (bodySize < 5) {
            if (back != hv::kPackBadData) __builtin_trap();
        } else if (back != static_cast<int>(bodySize) || out.size() != bodySize ||
                   !std::equal(out.begin(), out.end(), body)) {
            __builtin_trap();
        }
        return 0;
    }

    const int32_t packedSize = static_cast<int32_t>(bodySize) - (mode & 0x0F);
    const int32_t unpackedSize = (mode & 0x40) ? hinted : 0;
    if ((mode >> 4 & 3) == 3) {
        hv::TPackObject other;
        std::vector<uint8_t> otherOut;
        int otherResult = 0;
        std::thread second([&] {
            otherResult = RunUnpack(other, body, bodySize, chunk, packedSize, unpackedSize, otherOut);
        });
        const int r = RunUnpack(po, body, bodySize, chunk, packedSize, unpackedSize, out);
        second.join();
        if (r != otherResult || out != otherOut) __builtin_trap();
    }
    out.clear();
    const int r = RunUnpack(po, body, bodySize, chunk, packedSize, unpackedSize, out);
    if (r >= 0) {
        // Success means the announced length was produced, and matches when checked.
        if (static_cast<size_t>(r) != out.size()) __builtin_trap();
        if (unpackedSize >= 6 && r != unpackedSize) __builtin_trap();
    }
    if (po.Busy() || po.BlockCount() != 0) __builtin_trap();
    return 0;
}
