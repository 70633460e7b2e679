// Helpers shared by the codec tests: in-memory runs of TPackObject and the engine,
// and deterministic test inputs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pack/Codec.h"
#include "pack/PackUnit.h"

namespace hv::test {

using Bytes = std::vector<uint8_t>;

// Deterministic generator (64-bit LCG, top 31 bits).
struct Lcg {
    uint64_t s;
    uint32_t Next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(s >> 33);
    }
};

inline Bytes RandomBytes(size_t n, uint64_t seed) {
    Lcg g{seed};
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(g.Next() & 0xFF);
    return out;
}

// Bytes from a window of 40 values that slides up by one every 300 bytes: contexts
// come and go, so the node pool recycles and whole contexts empty.
inline Bytes Slide(size_t n, uint64_t seed) {
    Lcg g{seed};
    Bytes out(n);
    for (size_t t = 0; t < n; ++t) out[t] = static_cast<uint8_t>((t / 300 + g.Next() % 40) & 0xFF);
    return out;
}

// Units "x", then 'a' (nine times in ten) or a random byte, then four random bytes:
// the context 'x' grows heavy while its rare pairs are recycled and come back.
inline Bytes Skew(size_t units, uint64_t seed) {
    Lcg g{seed};
    Bytes out;
    for (size_t u = 0; u < units; ++u) {
        out.push_back('x');
        const uint32_t pick = g.Next();
        out.push_back(pick % 10 == 0 ? static_cast<uint8_t>(g.Next() & 0xFF) : 'a');
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(g.Next() & 0xFF));
    }
    return out;
}

inline Bytes Words(size_t n, uint64_t seed) {
    static const char* const kWords[] = {"the",    "codec", "packs",   "a",     "stream", "of",
                                         "bytes",  "into",  "bits",    "and",   "back",   "again",
                                         "window", "model", "context", "escape"};
    Lcg g{seed};
    std::string s;
    while (s.size() < n) {
        s += kWords[g.Next() % 16];
        s += g.Next() % 8 == 0 ? ".\n" : " ";
    }
    return Bytes(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

// Words, random bytes, runs and sliding windows in turn.
inline Bytes Mixed(size_t n) {
    Bytes out;
    for (uint64_t seed = 11; out.size() < n; ++seed) {
        const Bytes part = seed % 4 == 0   ? Words(100000, seed)
                           : seed % 4 == 1 ? RandomBytes(10000, seed)
                           : seed % 4 == 2 ? Bytes(20000, static_cast<uint8_t>(seed))
                                           : Slide(20000, seed);
        out.insert(out.end(), part.begin(), part.end());
    }
    out.resize(n);
    return out;
}

inline uint64_t Fnv1a(const Bytes& d) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : d) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

// Copies up to `count` bytes of `src` from `at` on; -1 at its end.
inline int Take(const Bytes& src, size_t& at, void* buf, size_t count) {
    const size_t n = std::min(count, src.size() - at);
    if (n == 0) return -1;
    std::memcpy(buf, src.data() + at, n);
    at += n;
    return static_cast<int>(n);
}

// OnRead over `data`, at most `chunk` bytes a call.
inline TPackObject::ReadEvent Reader(const Bytes& data, size_t chunk = SIZE_MAX) {
    auto at = std::make_shared<size_t>(0);
    return [&data, at, chunk](void* buf, int count) {
        return Take(data, *at, buf, std::min(static_cast<size_t>(count), chunk));
    };
}

// OnWrite appending to `out`; a write that would pass `cap` bytes fails.
inline TPackObject::WriteEvent Writer(Bytes& out, size_t cap = SIZE_MAX) {
    return [&out, cap](const void* buf, int count) {
        if (out.size() + static_cast<size_t>(count) > cap) return -1;
        auto p = static_cast<const uint8_t*>(buf);
        out.insert(out.end(), p, p + count);
        return count;
    };
}

inline TPackObject::WriteEvent Discard() {
    return [](const void*, int n) { return n; };
}

// Result code and the bytes written by one run.
struct RunResult {
    int code = 0;
    Bytes out;
};

inline RunResult PackBytes(const Bytes& data, size_t chunk = SIZE_MAX) {
    TPackObject po;
    RunResult r;
    po.OnRead = Reader(data, chunk);
    po.OnWrite = Writer(r.out);
    r.code = po.Pack(static_cast<int32_t>(data.size()));
    return r;
}

// Unpacks `source` (all of it readable) as a stream of packedSize bytes. Output past
// `cap` bytes is a write error, so a huge decoded length ends quickly.
inline RunResult UnpackBytes(const Bytes& source, int32_t packedSize, int32_t unpackedSize,
                             size_t cap = SIZE_MAX) {
    TPackObject po;
    RunResult r;
    po.OnRead = Reader(source);
    po.OnWrite = Writer(r.out, cap);
    r.code = po.Unpack(packedSize, unpackedSize);
    EXPECT_EQ(po.BlockCount(), 0u);
    return r;
}

inline RunResult UnpackBytes(const Bytes& packed, int32_t unpackedSize = 0) {
    return UnpackBytes(packed, static_cast<int32_t>(packed.size()), unpackedSize);
}

// An interface record over memory for running the engine directly; counts blocks and
// can refuse the n-th allocation.
struct MemoryIo {
    Bytes in, out;
    size_t at = 0;
    int allocs = 0, frees = 0, failAlloc = 0;  // failAlloc: 1-based allocation to refuse

    codec::Io Record() {
        return codec::Io{
            this,
            [](uint32_t size, void* u) -> void* {
                auto* self = static_cast<MemoryIo*>(u);
                return ++self->allocs == self->failAlloc ? nullptr : std::malloc(size);
            },
            [](void* p, void* u) {
                ++static_cast<MemoryIo*>(u)->frees;
                std::free(p);
            },
            [](int32_t count, void* buf, void* u) -> int32_t {
                auto* self = static_cast<MemoryIo*>(u);
                return Take(self->in, self->at, buf, static_cast<size_t>(count));
            },
            [](int32_t count, const void* buf, void* u) -> int32_t {
                auto* self = static_cast<MemoryIo*>(u);
                auto p = static_cast<const uint8_t*>(buf);
                self->out.insert(self->out.end(), p, p + count);
                return count;
            },
            [](bool* stop, int32_t, int32_t, void*) { *stop = false; },
        };
    }
};

}  // namespace hv::test
