// Helpers shared by the codec tests: in-memory runs of TPackObject and the engine,
// and deterministic test inputs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pack/Codec.h"
#include "pack/PackUnit.h"

namespace hv {

// Reaches the object's Alloc and Free entries of the interface record.
struct TPackObjectTestAccess {
    static void* Alloc(TPackObject& o, uint32_t size) { return TPackObject::AllocBlock(size, &o); }
    static void Free(TPackObject& o, void* p) { TPackObject::FreeBlock(p, &o); }
};

}  // namespace hv

namespace hv::test {

using Bytes = std::vector<uint8_t>;

// Deterministic generator (64-bit LCG, top 31 bits).
class Lcg {
public:
    explicit Lcg(uint64_t seed) : s_(seed) {}
    uint32_t Next() {
        s_ = s_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(s_ >> 33);
    }

private:
    uint64_t s_;
};

inline Bytes RandomBytes(size_t n, uint64_t seed) {
    Lcg g(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(g.Next() & 0xFF);
    return out;
}

// Bytes from a window of 40 values that slides up by one every 300 bytes: contexts
// come and go, so the node pool recycles and whole contexts empty.
inline Bytes Slide(size_t n, uint64_t seed) {
    Lcg g(seed);
    Bytes out(n);
    for (size_t t = 0; t < n; ++t) out[t] = static_cast<uint8_t>((t / 300 + g.Next() % 40) & 0xFF);
    return out;
}

// Units "x", then 'a' (nine times in ten) or a random byte, then four random bytes:
// the context 'x' grows heavy while its rare pairs are recycled and come back.
inline Bytes Skew(size_t units, uint64_t seed) {
    Lcg g(seed);
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
    Lcg g(seed);
    std::string s;
    while (s.size() < n) {
        s += kWords[g.Next() % 16];
        s += g.Next() % 8 == 0 ? ".\n" : " ";
    }
    return Bytes(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

inline uint64_t Fnv1a(const Bytes& d) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : d) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

// Result code and the bytes written by one run.
struct RunResult {
    int code = 0;
    Bytes out;
};

// Packs data through a TPackObject; OnRead hands over at most `chunk` bytes a call.
inline RunResult PackBytes(const Bytes& data, int chunk = 1 << 30) {
    TPackObject po;
    size_t at = 0;
    RunResult r;
    po.OnRead = [&](void* buf, int count) {
        const size_t n =
            std::min({static_cast<size_t>(count), data.size() - at, static_cast<size_t>(chunk)});
        if (n == 0) return -1;
        std::memcpy(buf, data.data() + at, n);
        at += n;
        return static_cast<int>(n);
    };
    po.OnWrite = [&](const void* buf, int count) {
        auto p = static_cast<const uint8_t*>(buf);
        r.out.insert(r.out.end(), p, p + count);
        return count;
    };
    r.code = po.Pack(static_cast<int32_t>(data.size()));
    return r;
}

// Unpacks `source` (all of it readable) as a stream of packedSize bytes. A writer
// that would pass `cap` bytes of output refuses (a write error), so a huge decoded
// length ends quickly.
inline RunResult UnpackBytes(const Bytes& source, int32_t packedSize, int32_t unpackedSize,
                             size_t cap = SIZE_MAX) {
    TPackObject po;
    size_t at = 0;
    RunResult r;
    po.OnRead = [&](void* buf, int count) {
        const size_t n = std::min(static_cast<size_t>(count), source.size() - at);
        if (n == 0) return -1;
        std::memcpy(buf, source.data() + at, n);
        at += n;
        return static_cast<int>(n);
    };
    po.OnWrite = [&](const void* buf, int count) {
        if (r.out.size() + static_cast<size_t>(count) > cap) return -1;
        auto p = static_cast<const uint8_t*>(buf);
        r.out.insert(r.out.end(), p, p + count);
        return count;
    };
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
    Bytes in;
    size_t at = 0;
    Bytes out;
    int allocs = 0;
    int frees = 0;
    int failAlloc = 0;  // 1-based allocation to refuse; 0: none
    int reads = 0, writes = 0, reports = 0;

    codec::Io Record() {
        return codec::Io{
            this,
            [](uint32_t size, void* u) -> void* {
                auto* self = static_cast<MemoryIo*>(u);
                if (++self->allocs == self->failAlloc) return nullptr;
                return std::malloc(size);
            },
            [](void* p, void* u) {
                ++static_cast<MemoryIo*>(u)->frees;
                std::free(p);
            },
            [](int32_t count, void* buf, void* u) -> int32_t {
                auto* self = static_cast<MemoryIo*>(u);
                ++self->reads;
                const size_t n = std::min(static_cast<size_t>(count), self->in.size() - self->at);
                if (n == 0) return -1;
                std::memcpy(buf, self->in.data() + self->at, n);
                self->at += n;
                return static_cast<int32_t>(n);
            },
            [](int32_t count, const void* buf, void* u) -> int32_t {
                auto* self = static_cast<MemoryIo*>(u);
                ++self->writes;
                auto p = static_cast<const uint8_t*>(buf);
                self->out.insert(self->out.end(), p, p + count);
                return count;
            },
            [](bool* stop, int32_t, int32_t, void* u) {
                ++static_cast<MemoryIo*>(u)->reports;
                *stop = false;
            },
        };
    }
};

// Records the tokens of a run.
struct TokenLog : codec::TokenTrace {
    struct Token {
        int length;    // 1 for a literal
        int distance;  // 0 for a literal
        int byte;      // the literal, -1 for a match
    };
    std::vector<Token> tokens;
    void Literal(int byte) override { tokens.push_back({1, 0, byte}); }
    void Match(int length, int distance) override { tokens.push_back({length, distance, -1}); }
};

}  // namespace hv::test
