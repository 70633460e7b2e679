// The coding engine. Every model, increment, threshold and node rule below is part
// of the packed stream's format: changing any of them makes archives unreadable.
//
// Choices where the format leaves room, none of which changes a bit of a stream:
// - A refill asks for a whole block (the encoder: at most the source bytes left) and
//   asks again while the source hands over less, until it answers 0 or less.
// - Reading past what the source gave yields zero bytes (counted; the 4097th such
//   read is a read error).
// - The decoder refuses (bad data) what no encoder writes: a match marker among the
//   length bytes, and an escape to a symbol its context already has. The second keeps
//   every context list to 258 entries.
// - The bit loops of the coder run in batches and the context lists are kept as
//   arrays; both give the numbers of the one-bit-at-a-time loop and the linked lists.
// - The decoder keeps up to 8 input bytes ahead in its bit buffer, never past the
//   packed size.
// - Narrowing divides by a model's total through a table of exact reciprocals (the
//   same quotients, cheaper on the serial path of a symbol); the division by the
//   range stays a division, which a table of its 64 K divisors did not make faster.
#include "pack/Codec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pack/PackUnit.h"

namespace hv::codec {
namespace {

constexpr uint16_t kNone = 0xFFFF;

// Buffered input and output.
constexpr int kIoBlock = 4096;
constexpr uint32_t kMaxEndsOfData = 4096;  // the next one is a read error

// Processed-byte counter and the increments it selects.
constexpr uint16_t kCounterCap = 40000;
constexpr uint16_t kDistHighSwitch = 20000;
constexpr uint16_t kDistLowSwitch = 30000;

// Adaptive frequency models.
constexpr unsigned kMaxTotal = 16383;

// Context model.
constexpr int kNodes = 6000;
constexpr uint16_t kLastNode = kNodes - 1;
constexpr int kContexts = 257;  // context symbols 0..255 and the match marker
constexpr int kMatchMarker = 256;
// The pair lookup is a search aid only: the coded bits never depend on it, so it uses
// more buckets and a spreading hash rather than (context << 4) XOR symbol, whose
// buckets each gather sixteen pairs.
constexpr int kPairHashBits = 12;
constexpr int kPairHashes = 1 << kPairHashBits;
inline unsigned PairHash(unsigned ctx, unsigned sym) {
    return (((ctx << 9) | sym) * 0x9E3779B1u) >> (32 - kPairHashBits);
}
constexpr uint16_t kNodeStep = 10;
constexpr unsigned kNodeLimit = kMaxTotal - kNodeStep;

// String matcher.
constexpr int kWindow = 512;
constexpr int kWindowMask = kWindow - 1;
constexpr int kLook = 64;
constexpr int kLookMask = kLook - 1;
constexpr int kMatchHashes = 8192;
constexpr int kMinMatch = 6;
constexpr int kMaxMatch = 64;
constexpr int kLengthBias = 5;

// Adds k to a[0..n-1], eight at a time.
inline void AddToAll(uint16_t* a, unsigned n, uint16_t k) {
    using Lanes = uint16_t __attribute__((vector_size(16)));
    const Lanes step = {k, k, k, k, k, k, k, k};
    unsigned i = 0;
    for (; i + 8 <= n; i += 8) {
        Lanes v;
        std::memcpy(&v, a + i, sizeof v);
        v += step;
        std::memcpy(a + i, &v, sizeof v);
    }
    for (; i < n; ++i) a[i] = static_cast<uint16_t>(a[i] + k);
}

// The adaptive model of Witten, Neal and Cleary over N symbols (indices 1..N).
template <int N>
struct Model {
    uint16_t symToIdx[N];
    uint16_t idxToSym[N + 1];
    uint16_t freq[N + 1];
    uint16_t cum[N + 1];

    void Start() {
        freq[0] = 0;
        cum[0] = N;
        for (int s = 0; s < N; ++s) {
            symToIdx[s] = static_cast<uint16_t>(s + 1);
            idxToSym[s + 1] = static_cast<uint16_t>(s);
            freq[s + 1] = 1;
            cum[s + 1] = static_cast<uint16_t>(N - s - 1);
        }
    }

    // The index whose interval [cum[i], cum[i-1]) holds count: the first i from 1 with
    // count >= cum[i]. Cums fall strictly with the index (every freq is at least 1), so
    // a search finds the same index as the linear walk: the eight most frequent first,
    // then a binary search without branches, as the rest is hit about evenly.
    int Find(unsigned count) const {
        static_assert(N >= 9);
#if defined(__SSE2__)
        const __m128i key = _mm_set1_epi16(static_cast<int16_t>(count));
        const __m128i top = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cum + 1));
        // Cums and counts stay below 32768, so signed compares are exact.
        const unsigned above =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi16(top, key))) & 0xFFFF;
        if (above != 0xFFFF) return 1 + std::countr_one(above) / 2;
#else
        for (int i = 1; i <= 8; ++i)
            if (count >= cum[i]) return i;
#endif
        const uint16_t* base = cum + 9;
        unsigned len = N - 8;  // cum[N] == 0 <= count ends the range
        while (len > 1) {
            const unsigned half = len / 2;
            base += half & (0u - static_cast<unsigned>(base[half - 1] > count));
            len -= half;
        }
        return static_cast<int>(base - cum) + (*base > count);
    }

    void Update(int i, unsigned k) {
        if (cum[0] > kMaxTotal - k) {
            unsigned sum = 0;
            for (int j = N; j >= 0; --j) {
                freq[j] = static_cast<uint16_t>((freq[j] + 1) / 2);
                cum[j] = static_cast<uint16_t>(sum);
                sum += freq[j];
            }
        }
        // The lowest index of the run of equal freqs that ends at i (freq[0] = 0 ends
        // it). Increments above 1 leave the freqs unsorted, so only a walk will do.
        const uint16_t f = freq[i];
        int j = i;
        while (freq[j - 1] == f) --j;
        if (j < i) {
            const uint16_t symI = idxToSym[i];
            const uint16_t symJ = idxToSym[j];
            idxToSym[j] = symI;
            idxToSym[i] = symJ;
            symToIdx[symI] = static_cast<uint16_t>(j);
            symToIdx[symJ] = static_cast<uint16_t>(i);
        }
        freq[j] = static_cast<uint16_t>(freq[j] + k);
        AddToAll(cum, static_cast<unsigned>(j), static_cast<uint16_t>(k));
    }
};

// Context model storage. Each context's list (escape first, then its symbol nodes in
// the order they were added) is kept as an array of entries, 16 to a chunk: entry j
// holds the node and its cum. The array form lets the decoder's search and the
// increments run over contiguous cums instead of walking links; the numbers, and so
// the coded bits, are those of the linked list it stands for.
constexpr int kLanes = 16;
constexpr int kMaxEntries = kContexts + 1;  // escape + each symbol once
constexpr int kChunksPerList = (kMaxEntries + kLanes - 1) / kLanes;
struct Chunk {
    uint16_t cum[kLanes];
    uint16_t node[kLanes];
};
// The statistics block (6000 records of 8 bytes) holds the chunk pool. The lists
// never hold more than 6000 - contexts entries, which fit in 616 chunks.
constexpr int kChunkPool = kNodes * 8 / static_cast<int>(sizeof(Chunk));
static_assert(kChunkPool * sizeof(Chunk) == kNodes * 8);
static_assert((kNodes + (kLanes - 1) * kContexts) / kLanes < kChunkPool);

struct Key {
    uint16_t sym, ctx, hnext, hprev;
};
struct LruLink {
    uint16_t prev, next;
};

// The coding state of one run, zero-filled at the start.
struct State {
    // Arithmetic coder.
    uint16_t low, high;
    uint32_t pending;
    // Bit buffer: the encoder's pending output bits (low `bits` bits of bitBuf) and
    // the decoder's unread input bits (top `bits` bits of bitBuf).
    uint64_t bitBuf;
    int32_t bits;
    uint32_t lastBit;  // decoder: last input bit fetched
    int32_t outCount;
    uint16_t code;
    int32_t packedLeft;
    // Buffered input and output.
    int32_t inPos, inHeld;
    uint32_t inEnds;
    int32_t outPos;
    int64_t toRead;  // encoder: source bytes not yet asked for
    int error;
    uint16_t counter;
    // Frequency models.
    Model<257> order0;
    Model<60> lengths;
    Model<256> distHigh;
    Model<128> distLow;
    // Context model scalars and per-context tables.
    uint16_t ctxHead[kContexts];   // head node H, or none
    uint16_t ctxTotal[kContexts];  // cum of H: the list's total
    uint16_t ctxCount[kContexts];  // entries in the list
    // Set when a rescale inside AddNode left cums above the freq sums; such a list is
    // recounted from its freqs, a true one just loses the freed node's freq.
    uint8_t ctxSkew[kContexts];
    uint16_t ctxChunks[kContexts][kChunksPerList];
    uint16_t freeChunks[kChunkPool];
    uint16_t freeChunkCount;
    uint16_t freq[kNodes];
    uint16_t prevSym, curSym, nextFree;
    bool poolFull, firstUse;
    uint16_t lruHead, lruTail;
    uint16_t pendingCount;
    uint16_t pendingNodes[2];
    // Encoder: the next older position of each position's chain (a search aid: the
    // chains themselves run from old to new).
    uint16_t chainBack[kWindow];
};

class Engine {
  public:
    explicit Engine(const Io& io) : io_(io) {}

    int Encode(int32_t size);
    int Decode(int32_t packedSize, int32_t unpackedSize);

  private:
    // Memory.
    template <class T>
    T* Take(uint32_t bytes) {
        if (failed_) return nullptr;
        void* p = io_.alloc(bytes, io_.user);
        if (!p) {
            failed_ = true;
            return nullptr;
        }
        blocks_[blockCount_++] = p;
        return static_cast<T*>(p);
    }
    bool TakeCommon();
    void ReleaseAll() {
        while (blockCount_ > 0) io_.free(blocks_[--blockCount_], io_.user);
    }

    void SetError(int code) {
        if (s_->error == 0) s_->error = code;
    }
    void Report(int64_t done, int64_t total) {
        bool stop = false;
        io_.progress(&stop, static_cast<int32_t>(total), Clamp32(done), io_.user);
        if (stop) SetError(kPackStopped);
    }
    static int32_t Clamp32(int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    }

    // Buffered input and output.
    // The next source byte, or -1 at the end of the data.
    int ReadByte() {
        State& s = *s_;
        if (s.inPos < s.inHeld) return inBuf_[s.inPos++];
        return ReadByteSlow();
    }
    int ReadByteSlow();
    void WriteByte(uint8_t b) {
        if (s_->outPos == kIoBlock) FlushOutput();
        outBuf_[s_->outPos++] = b;
    }
    void FlushOutput();
    void WriteBytes(const uint8_t* p, int n) {
        while (n > 0) {
            if (s_->outPos == kIoBlock) FlushOutput();
            const int part = std::min(n, kIoBlock - s_->outPos);
            std::memcpy(outBuf_ + s_->outPos, p, static_cast<size_t>(part));
            s_->outPos += part;
            p += part;
            n -= part;
        }
    }

    // Arithmetic coder.
    void StartModels();
    [[gnu::always_inline]] void EncodeRange(unsigned scale, unsigned highCount, unsigned lowCount);
    // Appends count (0..16) bits, most significant first; whole bytes go out four at
    // a time.
    void PutBits(unsigned value, int count) {
        State& s = *s_;
        s.bitBuf = (s.bitBuf << count) | value;
        s.bits += count;
        if (s.bits >= 32) [[unlikely]]
            PutBytes(4);
    }
    void PutBytes(int n) {
        State& s = *s_;
        for (int i = 0; i < n; ++i) {
            s.bits -= 8;
            WriteByte(static_cast<uint8_t>(s.bitBuf >> s.bits));
        }
        s.outCount += n;
    }
    void PutRepeated(unsigned bit, uint32_t count);
    void FinishEncoder();
    void StartDecoder(int32_t packedSize);
    [[gnu::always_inline]] unsigned DecodeCount(unsigned scale) const;
    [[gnu::always_inline]] void DecodeRange(unsigned scale, unsigned highCount, unsigned lowCount);
    // Takes count (0..32) bits.
    unsigned TakeBits(int count) {
        State& s = *s_;
        if (s.bits < count) [[unlikely]]
            Refill();
        const unsigned v = static_cast<unsigned>((s.bitBuf >> 1) >> (63 - count));
        s.bitBuf <<= count;
        s.bits -= count;
        return v;
    }
    void Refill();
    template <int N>
    void EncodeWith(Model<N>& m, int sym, unsigned k) {
        const int i = m.symToIdx[sym];
        EncodeRange(m.cum[0], m.cum[i - 1], m.cum[i]);
        m.Update(i, k);
    }
    template <int N>
    int DecodeWith(Model<N>& m, unsigned k) {
        const int i = m.Find(DecodeCount(m.cum[0]));
        DecodeRange(m.cum[0], m.cum[i - 1], m.cum[i]);
        const int sym = m.idxToSym[i];
        m.Update(i, k);
        return sym;
    }

    // Context model.
    void StartContexts();
    void EncodeSymbol(int sym);
    int DecodeSymbol();
    bool PairKnown(unsigned hash, unsigned sym, unsigned ctx) const;
    [[gnu::always_inline]] void Increment(unsigned ctx, unsigned j);
    void Rescale(unsigned ctx);
    [[gnu::always_inline]] void Touch(uint16_t x);
    // Entry j of a context's list.
    Chunk& ChunkOf(unsigned ctx, unsigned j) { return pool_[s_->ctxChunks[ctx][j / kLanes]]; }
    uint16_t& CumAt(unsigned ctx, unsigned j) { return ChunkOf(ctx, j).cum[j % kLanes]; }
    uint16_t& NodeAt(unsigned ctx, unsigned j) { return ChunkOf(ctx, j).node[j % kLanes]; }
    // cum of the entry before j (of H for the escape).
    unsigned CumBefore(unsigned ctx, unsigned j) {
        return j == 0 ? s_->ctxTotal[ctx] : CumAt(ctx, j - 1);
    }
    void Append(unsigned ctx, uint16_t node);
    void RemoveEntry(unsigned ctx, unsigned j);
    unsigned FindNode(unsigned ctx, uint16_t x);
    [[gnu::always_inline]] void AddBefore(unsigned ctx, unsigned j, uint16_t k);
    [[gnu::always_inline]] unsigned FindEntry(unsigned ctx, unsigned count);
    void Recount(unsigned ctx, unsigned from, unsigned sum);
    void LruAppend(uint16_t x);
    void AddNode(unsigned hash);
    uint16_t Allocate(bool symbolNode);
    uint16_t Recycle(bool symbolNode);

    // String matcher.
    int FindMatch(int& distance) const;
    void Advance(int count);

    const Io& io_;
    void* blocks_[16] = {};
    int blockCount_ = 0;
    bool failed_ = false;

    State* s_ = nullptr;
    uint8_t* inBuf_ = nullptr;
    uint8_t* outBuf_ = nullptr;
    LruLink* lru_ = nullptr;
    uint16_t* pairHead_ = nullptr;
    Key* key_ = nullptr;
    Chunk* pool_ = nullptr;          // the statistics block
    uint16_t* slot_ = nullptr;       // the link block: each node's entry index in its list
    bool keepSlots_ = false;         // the encoder looks entries up by node; the decoder searches
    uint8_t* window_ = nullptr;      // encoder: 512 + 64 mirror; decoder: 512
    uint8_t* look_ = nullptr;        // 64 + 64 mirror
    uint16_t* chainLink_ = nullptr;  // next newer position of the same chain
    uint16_t* chainHead_ = nullptr;
    uint16_t* chainTail_ = nullptr;

    int pos_ = 0;             // window position
    int64_t filled_ = 0;      // positions written so far
    int64_t sourceLeft_ = 0;  // encoder: source bytes not yet taken
};

// ---------------------------------------------------------------- memory, I/O

bool Engine::TakeCommon() {
    s_ = Take<State>(sizeof(State));
    inBuf_ = Take<uint8_t>(kIoBlock);
    outBuf_ = Take<uint8_t>(kIoBlock);
    lru_ = Take<LruLink>(kNodes * sizeof(LruLink));
    pairHead_ = Take<uint16_t>(kPairHashes * sizeof(uint16_t));
    key_ = Take<Key>(kNodes * sizeof(Key));
    pool_ = Take<Chunk>(kNodes * 8);
    slot_ = Take<uint16_t>(kNodes * sizeof(uint16_t));
    if (failed_) return false;
    std::memset(s_, 0, sizeof(State));
    s_->inPos = kIoBlock;  // empty: the first byte read fills the buffer
    return true;
}

int Engine::ReadByteSlow() {
    State& s = *s_;
    if (s.inPos == kIoBlock) {
        s.inPos = 0;
        int32_t want = kIoBlock;
        if (s.toRead >= 0) {  // the encoder never asks past its source
            want = static_cast<int32_t>(std::min<int64_t>(kIoBlock, s.toRead));
            s.toRead -= want;
        }
        int32_t held = 0;
        while (held < want) {
            const int32_t got = io_.read(want - held, inBuf_ + held, io_.user);
            if (got < 0 && held == 0) {
                SetError(kPackIoError);
                break;
            }
            if (got <= 0) break;
            held += std::min(got, want - held);
        }
        s.inHeld = held;
    }
    if (s.inPos < s.inHeld) return inBuf_[s.inPos++];
    if (++s.inEnds > kMaxEndsOfData) {
        SetError(kPackIoError);
        s.inEnds = kMaxEndsOfData + 1;
    }
    return -1;
}

void Engine::FlushOutput() {
    const int32_t n = s_->outPos;
    s_->outPos = 0;
    if (n == 0) return;
    if (io_.write(n, outBuf_, io_.user) != n) SetError(kPackIoError);
}

// ---------------------------------------------------------------- arithmetic coder

void Engine::StartModels() {
    s_->order0.Start();
    s_->lengths.Start();
    s_->distHigh.Start();
    s_->distLow.Start();
    s_->low = 0;
    s_->high = 0xFFFF;
}

// Leading zero bits of a 16-bit value (16 for 0).
inline int Clz16(unsigned v) {
    // The low marker bit keeps the operand non-zero: no test for 0 in the hot path.
    return __builtin_clz((v << 16) | 0x8000u);
}
inline unsigned Ones(int n) {
    return (1u << n) - 1;
}

void Engine::PutRepeated(unsigned bit, uint32_t count) {
    for (; count >= 16; count -= 16) PutBits(bit ? 0xFFFF : 0, 16);
    PutBits(bit ? Ones(static_cast<int>(count)) : 0, static_cast<int>(count));
}

// The interval [lowCount, highCount) of scale within [low, high], and how far it then
// shifts. The coder's bit loop (shared top bits out one by one, underflow steps one by
// one) runs in two batches: k shared top bits, then m underflow steps; an underflow
// step always leaves the top bits different, so no shared bit can follow one.
struct Narrowed {
    unsigned low, high;
    int k, m;
};

// The division by a model's total on the coder's serial path, as a multiply:
// the high half of n * ceil(2^64 / d) is n / d exactly for every n below 2^32
// (Lemire, Kaser and Kurz, 2019), and range * count never reaches 2^31.
struct Reciprocals {
    uint64_t of[kMaxTotal + 1];
    Reciprocals() {
        of[0] = of[1] = 0;
        for (unsigned d = 2; d <= kMaxTotal; ++d) of[d] = UINT64_MAX / d + 1;
    }
};
const Reciprocals kReciprocals;

inline uint32_t DivideByTotal(uint32_t n, unsigned d) {
    if (d < 2 || d > kMaxTotal) [[unlikely]]
        return n / d;
    return static_cast<uint32_t>((static_cast<unsigned __int128>(n) * kReciprocals.of[d]) >> 64);
}

inline Narrowed Narrow(unsigned low, unsigned high, unsigned scale, unsigned highCount,
                       unsigned lowCount) {
    const uint32_t range = high - low + 1;
    Narrowed n;
    n.high = (low + DivideByTotal(range * highCount, scale) - 1) & 0xFFFF;
    n.low = (low + DivideByTotal(range * lowCount, scale)) & 0xFFFF;
    n.k = Clz16(n.low ^ n.high);
    const unsigned low1 = (n.low << n.k) & 0xFFFF;
    const unsigned high1 = (n.high << n.k) | Ones(n.k);
    n.m = Clz16(~((low1 & ~high1) << 1));
    return n;
}

// Low and high after all k + m shifts.
inline void Shift(State& s, const Narrowed& n) {
    const int t = n.k + n.m;
    s.low = static_cast<uint16_t>((n.low << t) & 0x7FFF);
    s.high = static_cast<uint16_t>(0x8000 | (((n.high << t) | Ones(t)) & 0x7FFF));
}

// Narrows and shifts out what is settled: the shared top bits go out, the underflow
// steps wait as pending bits.
inline void Engine::EncodeRange(unsigned scale, unsigned highCount, unsigned lowCount) {
    State& s = *s_;
    const Narrowed n = Narrow(s.low, s.high, scale, highCount, lowCount);
    const int k = n.k;
    const unsigned settled = n.high >> (16 - k);
    if (s.pending > 0 && k > 0) [[unlikely]] {
        const unsigned first = settled >> (k - 1);
        PutBits(first, 1);
        PutRepeated(first ^ 1, s.pending);
        s.pending = 0;
        PutBits(settled & Ones(k - 1), k - 1);
    } else {
        PutBits(settled, k);
    }
    s.pending += static_cast<uint32_t>(n.m);
    Shift(s, n);
}

void Engine::FinishEncoder() {
    State& s = *s_;
    const unsigned b = (s.low & 0x4000) ? 0 : 1;
    PutBits(b, 1);
    PutRepeated(b ^ 1, s.pending + 1);
    s.pending = 0;
    PutBytes(s.bits / 8);
    if (s.bits > 0) {  // pad the last byte with copies of the last bit
        const int free = 8 - s.bits;
        unsigned byte = static_cast<unsigned>(s.bitBuf << free) & 0xFF;
        if (s.bitBuf & 1) byte |= Ones(free);
        WriteByte(static_cast<uint8_t>(byte));
        ++s.outCount;
        s.bits = 0;
    }
}

void Engine::StartDecoder(int32_t packedSize) {
    State& s = *s_;
    const unsigned b0 = static_cast<unsigned>(std::max(ReadByte(), 0));
    const unsigned b1 = static_cast<unsigned>(std::max(ReadByte(), 0));
    const unsigned b2 = static_cast<unsigned>(std::max(ReadByte(), 0));
    s.code = static_cast<uint16_t>(b0 * 256 + b1);
    s.bitBuf = static_cast<uint64_t>(b2) << 56;
    s.bits = 8;
    s.lastBit = b2 & 1;
    s.packedLeft = packedSize - 3;
    s.low = 0;
    s.high = 0xFFFF;
}

// Tops up the input bit buffer. Once the packed bytes are used up, the input goes
// on with copies of the last bit taken in.
void Engine::Refill() {
    State& s = *s_;
    while (s.bits <= 56) {
        unsigned byte;
        if (s.packedLeft > 0) {
            byte = static_cast<unsigned>(std::max(ReadByte(), 0));
            --s.packedLeft;
        } else {
            byte = s.lastBit ? 0xFF : 0x00;
        }
        s.lastBit = byte & 1;
        s.bitBuf |= static_cast<uint64_t>(byte) << (56 - s.bits);
        s.bits += 8;
    }
}

inline unsigned Engine::DecodeCount(unsigned scale) const {
    const int32_t range = static_cast<int32_t>(s_->high - s_->low) + 1;
    const int32_t count =
        ((static_cast<int32_t>(s_->code) - s_->low + 1) * static_cast<int32_t>(scale) - 1) / range;
    return static_cast<unsigned>(std::max(count, 0));
}

// As EncodeRange; in an underflow step the code also has bit 14 flipped before the
// shift, which over m steps leaves bit 15 = NOT (bit 15 - m). Both batches shift in
// one go: k + m input bits, then the flip when there were underflow steps. Whether a
// symbol settles bits is as good as random, so this runs without branches.
inline void Engine::DecodeRange(unsigned scale, unsigned highCount, unsigned lowCount) {
    State& s = *s_;
    const Narrowed n = Narrow(s.low, s.high, scale, highCount, lowCount);
    const int t = n.k + n.m;
    const unsigned flip = static_cast<unsigned>(n.m != 0) << 15;
    s.code = static_cast<uint16_t>((((s.code << t) | TakeBits(t)) & 0xFFFF) ^ flip);
    Shift(s, n);
}

// ---------------------------------------------------------------- context model

void Engine::StartContexts() {
    State& s = *s_;
    std::fill_n(s.ctxHead, kContexts, kNone);
    std::fill_n(pairHead_, kPairHashes, kNone);
    for (int i = 0; i < kChunkPool; ++i)
        s.freeChunks[i] = static_cast<uint16_t>(kChunkPool - 1 - i);
    s.freeChunkCount = kChunkPool;
    s.prevSym = 0;
    s.curSym = 0;
    s.nextFree = 0;
    s.poolFull = false;
    s.firstUse = true;
    s.lruHead = s.lruTail = kNone;
    s.pendingCount = 0;
}

void Engine::Append(unsigned ctx, uint16_t node) {
    State& s = *s_;
    const unsigned j = s.ctxCount[ctx]++;
    if (j % kLanes == 0) s.ctxChunks[ctx][j / kLanes] = s.freeChunks[--s.freeChunkCount];
    Chunk& ch = ChunkOf(ctx, j);
    ch.cum[j % kLanes] = 0;
    ch.node[j % kLanes] = node;
    slot_[node] = static_cast<uint16_t>(j);
}

// Lanes from `lane` on take the value of the lane above; lane 15 is left to the caller.
inline void ShiftDown(uint16_t* a, unsigned lane) {
#if defined(__SSE2__)
    const __m128i idx0 = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    const __m128i idx1 = _mm_setr_epi16(8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i from = _mm_set1_epi16(static_cast<int16_t>(lane - 1));
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8));
    const __m128i loUp = _mm_or_si128(_mm_srli_si128(lo, 2), _mm_slli_si128(hi, 14));
    const __m128i hiUp = _mm_srli_si128(hi, 2);
    const __m128i m0 = _mm_cmpgt_epi16(idx0, from);
    const __m128i m1 = _mm_cmpgt_epi16(idx1, from);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a),
                     _mm_or_si128(_mm_and_si128(m0, loUp), _mm_andnot_si128(m0, lo)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a + 8),
                     _mm_or_si128(_mm_and_si128(m1, hiUp), _mm_andnot_si128(m1, hi)));
#else
    std::memmove(a + lane, a + lane + 1, (kLanes - 1 - lane) * sizeof(uint16_t));
#endif
}

// Closes the gap at entry j: later entries move down one place, chunk by chunk.
void Engine::RemoveEntry(unsigned ctx, unsigned j) {
    State& s = *s_;
    const unsigned last = s.ctxCount[ctx] - 1u;
    const uint16_t* chunks = s.ctxChunks[ctx];
    const unsigned lastChunk = last / kLanes;
    for (unsigned c = j / kLanes, lane = j % kLanes; c <= lastChunk; ++c, lane = 0) {
        Chunk& ch = pool_[chunks[c]];
        // Slots are set from the lanes before they move: reading single lanes back
        // from the vector stores would stall on store forwarding.
        if (keepSlots_) {
            const unsigned end = c < lastChunk ? kLanes : last % kLanes + 1;
            for (unsigned l = lane + 1; l < end; ++l)
                slot_[ch.node[l]] = static_cast<uint16_t>(c * kLanes + l - 1);
        }
        ShiftDown(ch.cum, lane);
        ShiftDown(ch.node, lane);
        if (c < lastChunk) {
            const Chunk& next = pool_[chunks[c + 1]];
            ch.cum[kLanes - 1] = next.cum[0];
            ch.node[kLanes - 1] = next.node[0];
            if (keepSlots_) slot_[next.node[0]] = static_cast<uint16_t>(c * kLanes + kLanes - 1);
        }
    }
    s.ctxCount[ctx] = static_cast<uint16_t>(last);
    if (last % kLanes == 0) s.freeChunks[s.freeChunkCount++] = s.ctxChunks[ctx][last / kLanes];
}

// The entry index of node x in a context's list (which holds it).
unsigned Engine::FindNode(unsigned ctx, uint16_t x) {
    const uint16_t* chunks = s_->ctxChunks[ctx];
    for (unsigned base = 0;; base += kLanes) {
        const Chunk& ch = pool_[chunks[base / kLanes]];
#if defined(__SSE2__)
        const __m128i key = _mm_set1_epi16(static_cast<int16_t>(x));
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ch.node));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ch.node + 8));
        const unsigned hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(lo, key), _mm_cmpeq_epi16(hi, key))));
        // Lanes past the list's end hold stale nodes; the first hit is the live one.
        if (hits) return base + static_cast<unsigned>(std::countr_zero(hits));
#else
        for (unsigned l = 0; l < kLanes; ++l)
            if (ch.node[l] == x) return base + l;
#endif
    }
}

// Adds k to lanes 0..n-1 of a chunk's cums (n <= 16) without a lane-by-lane loop.
inline void AddToLanes(uint16_t* cum, unsigned n, uint16_t k) {
    using Lanes = int16_t __attribute__((vector_size(16)));
    const Lanes first = {0, 1, 2, 3, 4, 5, 6, 7};
    const Lanes second = {8, 9, 10, 11, 12, 13, 14, 15};
    const int16_t count = static_cast<int16_t>(n);
    const int16_t add = static_cast<int16_t>(k);
    const Lanes limit = {count, count, count, count, count, count, count, count};
    const Lanes step = {add, add, add, add, add, add, add, add};
    Lanes lo, hi;
    std::memcpy(&lo, cum, sizeof lo);
    std::memcpy(&hi, cum + 8, sizeof hi);
    lo += step & (first < limit);
    hi += step & (second < limit);
    std::memcpy(cum, &lo, sizeof lo);
    std::memcpy(cum + 8, &hi, sizeof hi);
}

// Adds k to the cums of entries 0..j-1.
inline void Engine::AddBefore(unsigned ctx, unsigned j, uint16_t k) {
    const uint16_t* chunks = s_->ctxChunks[ctx];
    unsigned c = 0;
    for (; c < j / kLanes; ++c) AddToLanes(pool_[chunks[c]].cum, kLanes, k);
    if (j % kLanes != 0) AddToLanes(pool_[chunks[c]].cum, j % kLanes, k);
}

// The first entry whose cum is at most count. Cums fall strictly along the list and
// the last is 0, so there always is one.
inline unsigned Engine::FindEntry(unsigned ctx, unsigned count) {
    const unsigned n = s_->ctxCount[ctx];
    const uint16_t* chunks = s_->ctxChunks[ctx];
    for (unsigned base = 0;; base += kLanes) {
        const Chunk& ch = pool_[chunks[base / kLanes]];
        const unsigned lanes = std::min<unsigned>(kLanes, n - base);
        if (lanes == kLanes && count < ch.cum[kLanes - 1]) continue;
#if defined(__SSE2__)
        const __m128i key = _mm_set1_epi16(static_cast<int16_t>(count));
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ch.cum));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ch.cum + 8));
        // Cums and counts stay below 16384, so signed compares are exact.
        const unsigned above = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpgt_epi16(lo, key), _mm_cmpgt_epi16(hi, key))));
        const unsigned hits = ~above & ((1u << lanes) - 1);
        return base + (hits ? static_cast<unsigned>(std::countr_zero(hits)) : lanes - 1);
#else
        unsigned i = 0;
        while (i + 1 < lanes && count < ch.cum[i]) ++i;
        return base + i;
#endif
    }
}

// Entries from..0 get cum = running sum (starting at sum), the sum growing by each
// one's freq; the list total becomes the final sum.
void Engine::Recount(unsigned ctx, unsigned from, unsigned sum) {
    for (unsigned i = from + 1; i-- > 0;) {
        Chunk& ch = ChunkOf(ctx, i);
        ch.cum[i % kLanes] = static_cast<uint16_t>(sum);
        sum += s_->freq[ch.node[i % kLanes]];
    }
    s_->ctxTotal[ctx] = static_cast<uint16_t>(sum);
}

void Engine::Rescale(unsigned ctx) {
    State& s = *s_;
    unsigned sum = 0;
    for (unsigned i = s.ctxCount[ctx]; i-- > 0;) {
        Chunk& ch = ChunkOf(ctx, i);
        uint16_t& f = s.freq[ch.node[i % kLanes]];
        f = static_cast<uint16_t>((f + 1) / 2);
        ch.cum[i % kLanes] = static_cast<uint16_t>(sum);
        sum += f;
    }
    s.ctxTotal[ctx] = static_cast<uint16_t>(sum);
    s.ctxSkew[ctx] = 0;
}

inline void Engine::Increment(unsigned ctx, unsigned j) {
    State& s = *s_;
    if (s.ctxTotal[ctx] > kNodeLimit) Rescale(ctx);
    uint16_t& f = s.freq[NodeAt(ctx, j)];
    f = static_cast<uint16_t>(f + kNodeStep);
    AddBefore(ctx, j, kNodeStep);
    s.ctxTotal[ctx] = static_cast<uint16_t>(s.ctxTotal[ctx] + kNodeStep);
}

void Engine::LruAppend(uint16_t x) {
    State& s = *s_;
    lru_[x].prev = s.lruTail;
    lru_[x].next = kNone;
    lru_[s.lruTail].next = x;
    s.lruTail = x;
}

inline void Engine::Touch(uint16_t x) {
    State& s = *s_;
    if (x == s.lruTail) return;
    const uint16_t prev = lru_[x].prev;
    const uint16_t next = lru_[x].next;
    if (x == s.lruHead) {
        s.lruHead = next;
    } else {
        lru_[prev].next = next;
    }
    lru_[next].prev = prev;
    LruAppend(x);
}

uint16_t Engine::Allocate(bool symbolNode) {
    State& s = *s_;
    if (!s.poolFull) {
        const uint16_t n = s.nextFree;
        if (!symbolNode) {  // symbol nodes are counted by AddNode
            if (s.nextFree == kLastNode)
                s.poolFull = true;
            else
                ++s.nextFree;
        }
        return n;
    }
    if (s.pendingCount > 0) {
        const uint16_t n = s.pendingNodes[--s.pendingCount];
        if (symbolNode) LruAppend(n);
        return n;
    }
    return Recycle(symbolNode);
}

// Takes the least recently used pair out of its hash chain and its context's list.
uint16_t Engine::Recycle(bool symbolNode) {
    State& s = *s_;
    const uint16_t x = s.lruHead;
    s.lruHead = lru_[x].next;
    lru_[s.lruHead].prev = kNone;
    if (symbolNode) LruAppend(x);

    const Key k = key_[x];
    if (k.hprev == kNone)
        pairHead_[PairHash(k.ctx, k.sym)] = k.hnext;
    else
        key_[k.hprev].hnext = k.hnext;
    if (k.hnext != kNone) key_[k.hnext].hprev = k.hprev;

    const unsigned ctx = k.ctx;
    const unsigned j = keepSlots_ ? slot_[x] : FindNode(ctx, x);
    const unsigned cumX = CumAt(ctx, j);
    if (j == 1 && s.ctxCount[ctx] == 2) {  // only the escape is left: the context goes
        s.pendingNodes[0] = NodeAt(ctx, 0);
        s.pendingNodes[1] = s.ctxHead[ctx];
        s.pendingCount = 2;
        s.ctxHead[ctx] = kNone;
        s.ctxCount[ctx] = 0;
        s.freeChunks[s.freeChunkCount++] = s.ctxChunks[ctx][0];
        return x;
    }
    RemoveEntry(ctx, j);
    if (s.ctxSkew[ctx]) {
        Recount(ctx, j - 1, cumX);
    } else {
        const uint16_t f = s.freq[x];
        AddBefore(ctx, j, static_cast<uint16_t>(-f));
        s.ctxTotal[ctx] = static_cast<uint16_t>(s.ctxTotal[ctx] - f);
    }
    return x;
}

void Engine::AddNode(unsigned hash) {
    State& s = *s_;
    const uint16_t n = Allocate(true);
    if (!s.poolFull) {
        if (s.firstUse) {
            s.firstUse = false;
            s.lruHead = s.lruTail = n;
            lru_[n].prev = lru_[n].next = kNone;
        } else {
            LruAppend(n);
        }
        if (s.nextFree == kLastNode)
            s.poolFull = true;
        else
            ++s.nextFree;
    }

    const unsigned ctx = s.prevSym;
    if (s.ctxHead[ctx] == kNone) {
        const uint16_t head = Allocate(false);
        const uint16_t esc = Allocate(false);
        s.ctxHead[ctx] = head;
        s.ctxTotal[ctx] = kNodeStep;
        s.ctxCount[ctx] = 0;
        s.ctxSkew[ctx] = 0;
        s.freq[esc] = kNodeStep;
        Append(ctx, esc);
    }

    const uint16_t first = pairHead_[hash];
    key_[n] = Key{s.curSym, s.prevSym, first, kNone};
    if (first != kNone) key_[first].hprev = n;
    pairHead_[hash] = n;
    s.freq[n] = kNodeStep;
    Append(ctx, n);

    if (s.ctxTotal[ctx] > kNodeLimit) {
        Rescale(ctx);
        s.ctxSkew[ctx] = 1;  // the new node's freq was halved before the add below
    }
    AddBefore(ctx, slot_[n], kNodeStep);
    s.ctxTotal[ctx] = static_cast<uint16_t>(s.ctxTotal[ctx] + kNodeStep);

    s.order0.Update(s.order0.symToIdx[s.curSym], kNodeStep);
}

bool Engine::PairKnown(unsigned hash, unsigned sym, unsigned ctx) const {
    uint16_t x = pairHead_[hash];
    while (x != kNone && !(key_[x].sym == sym && key_[x].ctx == ctx)) x = key_[x].hnext;
    return x != kNone;
}

void Engine::EncodeSymbol(int sym) {
    State& s = *s_;
    s.prevSym = s.curSym;
    s.curSym = static_cast<uint16_t>(sym);
    const unsigned ctx = s.prevSym;
    const unsigned hash = PairHash(ctx, static_cast<unsigned>(sym));
    uint16_t x = pairHead_[hash];
    while (x != kNone && !(key_[x].sym == sym && key_[x].ctx == ctx)) x = key_[x].hnext;
    if (x != kNone) {
        const unsigned j = slot_[x];
        EncodeRange(s.ctxTotal[ctx], CumAt(ctx, j - 1), CumAt(ctx, j));
        Increment(ctx, j);
        Touch(x);
        return;
    }
    if (s.ctxHead[ctx] != kNone) {
        EncodeRange(s.ctxTotal[ctx], s.ctxTotal[ctx], CumAt(ctx, 0));
        Increment(ctx, 0);
    }
    const int i = s.order0.symToIdx[sym];
    EncodeRange(s.order0.cum[0], s.order0.cum[i - 1], s.order0.cum[i]);
    AddNode(hash);
}

int Engine::DecodeSymbol() {
    State& s = *s_;
    s.prevSym = s.curSym;
    const unsigned ctx = s.prevSym;
    if (s.ctxHead[ctx] != kNone) {
        const unsigned scale = s.ctxTotal[ctx];
        const unsigned j = FindEntry(ctx, DecodeCount(scale));
        DecodeRange(scale, CumBefore(ctx, j), CumAt(ctx, j));
        Increment(ctx, j);
        if (j != 0) {  // a symbol node, not the escape
            const uint16_t x = NodeAt(ctx, j);
            Touch(x);
            s.curSym = key_[x].sym;
            return s.curSym;
        }
    }
    Model<257>& m = s.order0;
    const int i = m.Find(DecodeCount(m.cum[0]));
    DecodeRange(m.cum[0], m.cum[i - 1], m.cum[i]);
    s.curSym = m.idxToSym[i];
    const unsigned hash = PairHash(ctx, s.curSym);
    if (PairKnown(hash, s.curSym, ctx)) {
        // An escape to a symbol the context already has: no encoder writes that.
        SetError(kPackBadData);
        return s.curSym;
    }
    AddNode(hash);
    return s.curSym;
}

// ---------------------------------------------------------------- string matcher

// Number of equal bytes at a and b, at most limit.
inline int EqualRun(const uint8_t* a, const uint8_t* b, int limit) {
    int e = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (e + 8 <= limit) {
            uint64_t wa, wb;
            std::memcpy(&wa, a + e, 8);
            std::memcpy(&wb, b + e, 8);
            if (const uint64_t diff = wa ^ wb) return e + std::countr_zero(diff) / 8;
            e += 8;
        }
    }
    while (e < limit && a[e] == b[e]) ++e;
    return e;
}

inline unsigned MatchHash(unsigned b0, unsigned b1, unsigned b2) {
    return (b0 << 5) | ((b1 ^ b2) & 0x1F);
}

// The longest candidate, the newest of equally long ones; its length (1 when none).
// Walks newest to oldest and takes only strictly longer candidates, which picks the
// same candidate as walking oldest to newest and taking every one at least as long.
int Engine::FindMatch(int& distance) const {
    const uint8_t* ahead = look_ + (pos_ & kLookMask);
    const unsigned hash = MatchHash(ahead[0], ahead[1], ahead[2]);
    int best = 1;
    distance = 0;
    const uint16_t oldest = chainHead_[hash];
    if (oldest == kNone) return best;
    for (uint16_t p = chainTail_[hash];; p = s_->chainBack[p]) {
        const int d = (pos_ - p) & kWindowMask;
        const int limit = std::min(kMaxMatch - 1, d - 1);
        if (limit >= best && window_[p + best] == ahead[best]) {
            const int len = 1 + EqualRun(window_ + p + 1, ahead + 1, limit);
            if (len > best) {
                best = len;
                distance = d;
                if (best == kMaxMatch) break;
            }
        }
        if (p == oldest) break;
    }
    return best;
}

// Moves the window on by count bytes: each byte leaves the lookahead for the window
// and its position joins the chain of its three bytes. Works on local copies of the
// pointers, which the byte stores would otherwise make the compiler reload.
void Engine::Advance(int count) {
    State& s = *s_;
    uint8_t* const window = window_;
    uint8_t* const look = look_;
    uint16_t* const head = chainHead_;
    uint16_t* const tail = chainTail_;
    uint16_t* const link = chainLink_;
    uint16_t* const back = s.chainBack;
    int pos = pos_;
    for (int i = 0; i < count; ++i) {
        if (filled_ >= kWindow) {  // drop the position about to be overwritten: its chain's oldest
            const unsigned old = MatchHash(window[pos], window[pos + 1], window[pos + 2]);
            if (tail[old] == pos)
                head[old] = tail[old] = kNone;
            else
                head[old] = link[pos];
        }
        const int slot = pos & kLookMask;
        const uint8_t c = look[slot];
        window[pos] = c;
        if (pos < kLook) window[kWindow + pos] = c;
        uint8_t next = 0;
        if (sourceLeft_ > 0) {
            --sourceLeft_;
            next = static_cast<uint8_t>(std::max(ReadByte(), 0));
        }
        look[slot] = look[slot + kLook] = next;
        const unsigned hash =
            MatchHash(c, look[(pos + 1) & kLookMask], look[(pos + 2) & kLookMask]);
        link[pos] = kNone;
        if (tail[hash] == kNone) {
            head[hash] = static_cast<uint16_t>(pos);
        } else {
            link[tail[hash]] = static_cast<uint16_t>(pos);
            back[pos] = tail[hash];
        }
        tail[hash] = static_cast<uint16_t>(pos);
        pos = (pos + 1) & kWindowMask;
        ++filled_;
    }
    pos_ = pos;
    // The processed-byte counter stops at 40000.
    s.counter = static_cast<uint16_t>(std::min<int>(kCounterCap, s.counter + count));
}

// ---------------------------------------------------------------- main loops

int Engine::Encode(int32_t size) {
    if (size < 0) return kPackRunError;
    keepSlots_ = true;
    if (!TakeCommon()) {
        ReleaseAll();
        return kPackNoMemory;
    }
    window_ = Take<uint8_t>(kWindow + kLook);
    look_ = Take<uint8_t>(2 * kLook);
    chainLink_ = Take<uint16_t>(kWindow * sizeof(uint16_t));
    chainHead_ = Take<uint16_t>(kMatchHashes * sizeof(uint16_t));
    chainTail_ = Take<uint16_t>(kMatchHashes * sizeof(uint16_t));
    if (failed_) {
        ReleaseAll();
        return kPackNoMemory;
    }
    State& s = *s_;
    s.toRead = size;
    sourceLeft_ = size;
    StartModels();
    StartContexts();
    std::fill_n(chainHead_, kMatchHashes, kNone);
    std::fill_n(chainTail_, kMatchHashes, kNone);
    std::memset(window_, 0, kWindow + kLook);

    const int64_t total = static_cast<int64_t>(size) + 4;
    const int64_t step = std::max<int64_t>(total / 1000, 2048);
    int64_t mark = total - step;

    for (int i = 0; i < kLook; ++i) {
        uint8_t b = 0;
        if (sourceLeft_ > 0) {
            --sourceLeft_;
            b = static_cast<uint8_t>(std::max(ReadByte(), 0));
        }
        look_[i] = look_[i + kLook] = b;
    }

    Report(0, size);
    const uint32_t length = static_cast<uint32_t>(size);
    for (int i = 0; i < 4; ++i) EncodeSymbol((length >> (8 * i)) & 0xFF);

    int64_t remaining = total;
    while (remaining > 0 && s.error == 0) {
        int distance = 0;
        int len = FindMatch(distance);
        if (len > remaining) len = static_cast<int>(remaining);
        if (len < kMinMatch) {
            const uint8_t c = look_[pos_ & kLookMask];
            EncodeSymbol(c);
            len = 1;
        } else {
            EncodeSymbol(kMatchMarker);
            EncodeWith(s.lengths, len - kLengthBias, kNodeStep);
            EncodeWith(s.distHigh, distance >> 7, s.counter < kDistHighSwitch ? 2 : 5);
            EncodeWith(s.distLow, distance & 0x7F, s.counter < kDistLowSwitch ? 1 : 10);
        }
        Advance(len);
        remaining -= len;
        if (remaining < mark) {
            Report(size - remaining, size);
            mark -= step;
        }
    }

    FinishEncoder();
    FlushOutput();
    Report(size - remaining, size);
    const int result = s.error != 0 ? s.error : s.outCount;
    ReleaseAll();
    return result;
}

int Engine::Decode(int32_t packedSize, int32_t unpackedSize) {
    if (!TakeCommon()) {
        ReleaseAll();
        return kPackNoMemory;
    }
    window_ = Take<uint8_t>(kWindow);
    if (failed_) {
        ReleaseAll();
        return kPackNoMemory;
    }
    State& s = *s_;
    s.toRead = -1;  // the decoder asks for whole blocks
    std::memset(window_, 0, kWindow);
    uint8_t trailer[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    int trailerCount = 0;
    StartModels();
    StartContexts();
    StartDecoder(packedSize);

    uint32_t length = 0;
    bool badLength = false;
    for (int i = 0; i < 4; ++i) {
        const int sym = DecodeSymbol();
        if (sym == kMatchMarker) badLength = true;
        length |= static_cast<uint32_t>(sym & 0xFF) << (8 * i);
    }
    const int32_t l = static_cast<int32_t>(length);
    if (badLength || l < 5)
        SetError(kPackBadData);
    else if (unpackedSize >= 6 && l != unpackedSize)
        SetError(kPackBadLength);

    const int64_t step = std::max<int64_t>(l / 1000, 2048);
    int64_t remaining = static_cast<int64_t>(l) + 4;
    int64_t sinceReport = 0;
    Report(0, l);

    bool broken = false;
    while (remaining > 0 && s.error == 0 && !broken) {
        const int sym = DecodeSymbol();
        int len;
        if (sym == kMatchMarker) {
            len = DecodeWith(s.lengths, kNodeStep) + kLengthBias;
            const int high = DecodeWith(s.distHigh, s.counter < kDistHighSwitch ? 2 : 5);
            const int low = DecodeWith(s.distLow, s.counter < kDistLowSwitch ? 1 : 10);
            const int distance = high * 128 + low;
            int src = (pos_ - distance) & kWindowMask;
            remaining -= len;
            const int data = (remaining >= 0 && remaining <= 4)
                                 ? len - std::min<int>(4 - static_cast<int>(remaining), len)
                                 : len;
            uint8_t copied[kMaxMatch + 1];
            for (int j = 0; j < len; ++j) {
                const uint8_t b = window_[src];
                src = (src + 1) & kWindowMask;
                window_[pos_] = b;
                pos_ = (pos_ + 1) & kWindowMask;
                copied[j] = b;
            }
            WriteBytes(copied, data);
            for (int j = data; j < len; ++j) {
                if (trailerCount == 4) {
                    SetError(kPackBadData);
                    broken = true;
                    break;
                }
                trailer[trailerCount++] = copied[j];
            }
        } else {
            const uint8_t b = static_cast<uint8_t>(sym);
            if (remaining <= 4) {
                if (trailerCount == 4) {
                    SetError(kPackBadData);
                    break;
                }
                trailer[trailerCount++] = b;
            } else {
                WriteByte(b);
            }
            window_[pos_] = b;
            pos_ = (pos_ + 1) & kWindowMask;
            --remaining;
            len = 1;
        }
        if (s.counter < kCounterCap) s.counter = static_cast<uint16_t>(s.counter + len);
        sinceReport += len;
        if (sinceReport >= step) {
            Report(l - remaining, l);
            sinceReport -= step;
        }
    }

    Report(l - remaining, l);
    FlushOutput();
    int result = l;
    if (s.error != 0)
        result = s.error;
    else if (trailer[0] | trailer[1] | trailer[2] | trailer[3])
        result = kPackBadTrailer;
    ReleaseAll();
    return result;
}

}  // namespace

int Encode(const Io& io, int32_t size) {
    Engine engine(io);
    return engine.Encode(size);
}

int Decode(const Io& io, int32_t packedSize, int32_t unpackedSize) {
    Engine engine(io);
    return engine.Decode(packedSize, unpackedSize);
}

}  // namespace hv::codec
