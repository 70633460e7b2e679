// The codec: the packed stream's exact bits, round trips, the token rules, the result
// codes, and the object's run discipline (busy, stop, blocks).
#include <gtest/gtest.h>

#include <functional>

#include "test_PackUnitUtil.h"
#include "platform/AnsiLiteral.h"

namespace hv::test {
namespace {

// ---------------------------------------------------------------- the packed stream

// Packed size and FNV-1a hash of the packed bytes, computed by a separate, literal
// implementation of the stream written in another language. Any change to a model,
// increment, threshold, node rule or the coder's finishing bits shows up here.
struct Golden {
    const char* name;
    size_t packedSize;
    uint64_t hash;
};

Bytes GoldenInput(const std::string& name) {
    if (name == "Hello") {
        const std::string s = "hello hello hello hello world";
        return Bytes(s.begin(), s.end());
    }
    if (name == "Five") return Bytes{'a', 'b', 'c', 'd', 'e'};
    if (name == "Random63") return RandomBytes(63, 1);
    if (name == "Random64") return RandomBytes(64, 2);
    if (name == "RunOf1000") return Bytes(1000, 0x41);
    if (name == "Zeros5000") return Bytes(5000, 0);
    if (name == "Random4096") return RandomBytes(4096, 3);
    if (name == "Words60k") return Words(60000, 4);         // context rescaling, distance switches
    if (name == "Random40k") return RandomBytes(40000, 5);  // node pool recycling
    if (name == "Slide80k") return Slide(80000, 6);         // contexts emptied, their nodes reused
    if (name == "Skew") return Skew(12000, 7);              // rescale while adding a pair
    return {};
}

class PackedStream : public ::testing::TestWithParam<Golden> {};

TEST_P(PackedStream, MatchesTheReferenceBitForBit) {
    const Golden& g = GetParam();
    const Bytes data = GoldenInput(g.name);
    const RunResult packed = PackBytes(data);
    ASSERT_EQ(packed.code, static_cast<int>(g.packedSize));
    ASSERT_EQ(packed.out.size(), g.packedSize);
    EXPECT_EQ(Fnv1a(packed.out), g.hash);

    const RunResult back = UnpackBytes(packed.out, static_cast<int32_t>(data.size()));
    EXPECT_EQ(back.code, static_cast<int>(data.size()));
    EXPECT_TRUE(back.out == data);
}

INSTANTIATE_TEST_SUITE_P(Codec, PackedStream,
                         ::testing::Values(
                             // clang-format off
        Golden{"Hello", 22, 0x853b0665c638eaf9ull},
        Golden{"Five", 10, 0xa737ced23dba057eull},
        Golden{"Random63", 75, 0x88d8e594ca6ad3a6ull},
        Golden{"Random64", 75, 0xef58eeb56d971a16ull},
        Golden{"RunOf1000", 40, 0xdf4f4eb049712959ull},
        Golden{"Zeros5000", 71, 0x014e333c5de22d67ull},
        Golden{"Random4096", 4627, 0xe35670004a6eca49ull},
        Golden{"Words60k", 12758, 0x492d46d5e1fe9602ull},
        Golden{"Random40k", 42235, 0x3916c02cb82e0dc9ull},
        Golden{"Slide80k", 65646, 0xf6843308f9c275a7ull},
        Golden{"Skew", 57536, 0x979cb9faab5c47f2ull}  // clang-format on
                             ),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- round trips

Bytes Mixed(size_t n) {
    Bytes out;
    uint64_t seed = 11;
    while (out.size() < n) {
        Bytes part;
        switch (seed % 4) {
            case 0:
                part = Words(100000, seed);
                break;
            case 1:
                part = RandomBytes(10000, seed);
                break;
            case 2:
                part = Bytes(20000, static_cast<uint8_t>(seed));
                break;
            default:
                part = Slide(20000, seed);
                break;
        }
        out.insert(out.end(), part.begin(), part.end());
        ++seed;
    }
    out.resize(n);
    return out;
}

TEST(CodecRoundTrip, EdgeSizes) {
    for (size_t n : {5, 6, 7, 63, 64, 65, 4095, 4096, 4097, 65536, 1 << 20}) {
        SCOPED_TRACE(n);
        const Bytes data = Mixed(n);
        const RunResult packed = PackBytes(data);
        ASSERT_GT(packed.code, 0);
        ASSERT_EQ(static_cast<size_t>(packed.code), packed.out.size());
        const RunResult back = UnpackBytes(packed.out, static_cast<int32_t>(n));
        EXPECT_EQ(back.code, static_cast<int>(n));
        EXPECT_TRUE(back.out == data);
    }
}

// Inputs shorter than the 64-byte lookahead are padded with zeros behind the trailer.
TEST(CodecRoundTrip, EveryShortInput) {
    for (size_t n = 0; n < 64; ++n) {
        SCOPED_TRACE(n);
        for (const Bytes& data : {RandomBytes(n, n), Bytes(n, 0), Bytes(n, 'z'), Words(n, n)}) {
            const RunResult packed = PackBytes(data);
            ASSERT_GT(packed.code, 0);
            const RunResult back = UnpackBytes(packed.out);
            if (n < 5) {
                // A decoded length below 5 is refused; the container stores such files.
                EXPECT_EQ(back.code, kPackBadData);
            } else {
                EXPECT_EQ(back.code, static_cast<int>(n));
                EXPECT_TRUE(back.out == data);
            }
        }
    }
}

// The empty source packs to a stream of the length and the trailer; it never reads.
TEST(CodecRoundTrip, EmptySourcePacksWithoutReading) {
    TPackObject po;
    int reads = 0;
    Bytes out;
    po.OnRead = [&](void*, int) { return ++reads, -1; };
    po.OnWrite = [&](const void* b, int n) {
        out.insert(out.end(), static_cast<const uint8_t*>(b), static_cast<const uint8_t*>(b) + n);
        return n;
    };
    const int r = po.Pack(0);
    EXPECT_EQ(r, static_cast<int>(out.size()));
    EXPECT_EQ(reads, 0);
    EXPECT_FALSE(out.empty());
}

// A source that is exactly a multiple of the read block ends without a read error.
TEST(CodecRoundTrip, SourceOfWholeBlocksNeverAsksPastItsEnd) {
    const Bytes data = Words(3 * 4096, 2);
    TPackObject po;
    size_t at = 0;
    std::vector<int> asked;
    po.OnRead = [&](void* b, int n) {
        asked.push_back(n);
        const size_t k = std::min(static_cast<size_t>(n), data.size() - at);
        if (k == 0) return -1;
        std::memcpy(b, data.data() + at, k);
        at += k;
        return static_cast<int>(k);
    };
    po.OnWrite = [](const void*, int n) { return n; };
    EXPECT_GT(po.Pack(static_cast<int32_t>(data.size())), 0);
    EXPECT_EQ(asked, (std::vector<int>{4096, 4096, 4096}));
}

// A source that hands over a few bytes at a time packs to the same stream.
TEST(CodecRoundTrip, ShortReadsGiveTheSameStream) {
    const Bytes data = Mixed(20000);
    const RunResult whole = PackBytes(data);
    const RunResult trickle = PackBytes(data, 7);
    EXPECT_EQ(whole.code, trickle.code);
    EXPECT_TRUE(whole.out == trickle.out);
}

// ---------------------------------------------------------------- tokens

std::vector<TokenLog::Token> PackTokens(const Bytes& data) {
    MemoryIo io;
    io.in = data;
    TokenLog log;
    const int r = codec::Encode(io.Record(), static_cast<int32_t>(data.size()), &log);
    EXPECT_GT(r, 0);
    // The decoder sees the same tokens.
    MemoryIo back;
    back.in = io.out;
    TokenLog seen;
    EXPECT_EQ(codec::Decode(back.Record(), r, 0, &seen), static_cast<int>(data.size()));
    EXPECT_EQ(seen.tokens.size(), log.tokens.size());
    return log.tokens;
}

// No match is longer than its distance: a run's first six bytes are literals and
// its first match starts at the seventh byte.
TEST(CodecTokens, RunOfOneByteMatchesFromTheSeventhByte) {
    const auto tokens = PackTokens(Bytes(300, 'q'));
    ASSERT_GE(tokens.size(), 8u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(tokens[i].byte, 'q') << i;
    // Each match reaches back to the run's start: 6, 12, 24, 48, then 64 at most.
    EXPECT_EQ(tokens[6].length, 6);
    EXPECT_EQ(tokens[6].distance, 6);
    EXPECT_EQ(tokens[7].length, 12);
    EXPECT_EQ(tokens[7].distance, 12);
    EXPECT_EQ(tokens[8].length, 24);
    EXPECT_EQ(tokens[9].length, 48);
    EXPECT_EQ(tokens[10].length, 64);
    size_t covered = 0;
    for (const auto& t : tokens) covered += static_cast<size_t>(t.length);
    EXPECT_EQ(covered, 300u + 4);  // the data and the four trailer bytes
}

// Of equally long candidates the newest (closest) wins; lengths stay within 6..64 and
// distances within 1..511.
TEST(CodecTokens, MatchesStayInTheirRanges) {
    const Bytes data = Mixed(100000);
    for (const auto& t : PackTokens(data)) {
        if (t.byte >= 0) continue;
        ASSERT_GE(t.length, 6);
        ASSERT_LE(t.length, 64);
        ASSERT_GE(t.distance, t.length);
        ASSERT_LE(t.distance, 511);
    }
    // "abcdefgh" twice, 20 apart, then again: the second repeat copies the closer one.
    Bytes rep;
    const std::string a = "abcdefgh", gap1 = "0123456789ABCDEFGHIJ", gap2 = "KLMNOPQRST";
    for (const std::string& s : {a, gap1, a, gap2, a}) rep.insert(rep.end(), s.begin(), s.end());
    const auto tokens = PackTokens(rep);
    std::vector<TokenLog::Token> matches;
    for (const auto& t : tokens)
        if (t.byte < 0) matches.push_back(t);
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[1].distance, 18);
}

// The last token may not reach past the trailer: the match is cut to what is left.
TEST(CodecTokens, LastMatchIsCutToTheBytesLeft) {
    const auto tokens = PackTokens(Bytes(70, 0));
    size_t covered = 0;
    for (const auto& t : tokens) covered += static_cast<size_t>(t.length);
    EXPECT_EQ(covered, 74u);
}

// ---------------------------------------------------------------- result codes

// Flips single bits of a valid stream and returns the first variant whose unpacking
// gives `code` and `outSize` bytes.
Bytes FindVariant(const Bytes& packed, int32_t unpackedSize, int code, size_t outSize) {
    for (size_t i = packed.size() - 8; i < packed.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes v = packed;
            v[i] ^= static_cast<uint8_t>(1 << bit);
            const RunResult r = UnpackBytes(v, unpackedSize);
            if (r.code == code && r.out.size() == outSize) return v;
        }
    }
    return {};
}

TEST(CodecResults, ShortLengthIsBadData) {
    // Hand-made streams: all zero bits decode a match marker among the length bytes,
    // all one bits a length of 0; an empty source is a read error.
    EXPECT_EQ(UnpackBytes(Bytes(3, 0x00)).code, kPackBadData);
    EXPECT_EQ(UnpackBytes(Bytes(3, 0xFF)).code, kPackBadData);
    EXPECT_EQ(UnpackBytes(Bytes{}).code, kPackIoError);
    // Four bytes pack, but a length below 5 does not unpack.
    const RunResult four = PackBytes(Bytes{1, 2, 3, 4});
    const RunResult r = UnpackBytes(four.out);
    EXPECT_EQ(r.code, kPackBadData);
    EXPECT_TRUE(r.out.empty());
}

TEST(CodecResults, LengthDifferentFromTheExpectedOneIsChecksumError) {
    const Bytes data = Words(1000, 3);
    const RunResult packed = PackBytes(data);
    EXPECT_EQ(UnpackBytes(packed.out, 999).code, kPackBadLength);
    EXPECT_EQ(UnpackBytes(packed.out, 6).code, kPackBadLength);
    // Below 6 the expected size is not compared.
    EXPECT_EQ(UnpackBytes(packed.out, 5).code, 1000);
    EXPECT_EQ(UnpackBytes(packed.out, 0).code, 1000);
}

TEST(CodecResults, NonZeroTrailerIsReportedAfterTheData) {
    const Bytes data = Words(3000, 5);
    const RunResult packed = PackBytes(data);
    const Bytes bad = FindVariant(packed.out, 3000, kPackBadTrailer, 3000);
    ASSERT_FALSE(bad.empty());
    const RunResult r = UnpackBytes(bad, 3000);
    EXPECT_EQ(r.code, kPackBadTrailer);
    EXPECT_EQ(r.out.size(), 3000u);  // all data was written before the verdict
    // A last match that runs past the trailer is written out whole.
    const Bytes over = FindVariant(packed.out, 3000, kPackBadTrailer, 3007);
    ASSERT_FALSE(over.empty());
}

// The decoder consumes exactly PackedSize bytes even when handed more.
TEST(CodecResults, BytesBehindThePackedSizeAreIgnored) {
    const Bytes data = Mixed(50000);
    RunResult packed = PackBytes(data);
    Bytes source = packed.out;
    const Bytes junk = RandomBytes(10000, 9);
    source.insert(source.end(), junk.begin(), junk.end());
    const RunResult r = UnpackBytes(source, packed.code, 50000);
    EXPECT_EQ(r.code, 50000);
    EXPECT_TRUE(r.out == data);
}

// A PackedSize below the true one feeds copies of the last bit: the run still ends,
// with an error or a wrong output of bounded size.
TEST(CodecResults, ShortPackedSizeEndsBounded) {
    const Bytes data = Mixed(30000);
    const RunResult packed = PackBytes(data);
    for (int32_t cut : {1, 2, 3, 5, 17, 100, 1000, packed.code - 3, packed.code}) {
        SCOPED_TRACE(cut);
        const RunResult r = UnpackBytes(packed.out, packed.code - cut, 30000);
        if (r.code >= 0) {
            EXPECT_EQ(r.code, 30000);
        }
        EXPECT_LE(r.out.size(), 30000u + 64);
    }
}

TEST(CodecResults, ReadAndWriteFailuresAreIoErrors) {
    TPackObject po;
    po.OnRead = [](void*, int) { return -1; };
    po.OnWrite = [](const void*, int n) { return n; };
    EXPECT_EQ(po.Pack(100), kPackIoError);
    EXPECT_EQ(po.Unpack(100, 0), kPackIoError);

    // A short write (a full disk) is an error, never success.
    const Bytes data = Words(100000, 1);
    size_t at = 0;
    po.OnRead = [&](void* b, int n) {
        const size_t k = std::min(static_cast<size_t>(n), data.size() - at);
        std::memcpy(b, data.data() + at, k);
        at += k;
        return static_cast<int>(k);
    };
    po.OnWrite = [](const void*, int n) { return n / 2; };
    EXPECT_EQ(po.Pack(static_cast<int32_t>(data.size())), kPackIoError);
    at = 0;
    po.OnWrite = [](const void*, int) { return -1; };
    EXPECT_EQ(po.Pack(static_cast<int32_t>(data.size())), kPackIoError);
}

// A source shorter than announced: up to 4096 missing bytes read as zeros, more are
// a read error.
TEST(CodecResults, SourceEndingEarly) {
    for (size_t have : {size_t{5000}, size_t{50000}}) {
        const Bytes data = Words(have, 3);
        TPackObject po;
        size_t at = 0;
        po.OnRead = [&](void* b, int n) {
            const size_t k = std::min(static_cast<size_t>(n), data.size() - at);
            if (k == 0) return -1;
            std::memcpy(b, data.data() + at, k);
            at += k;
            return static_cast<int>(k);
        };
        po.OnWrite = [](const void*, int n) { return n; };
        EXPECT_GT(po.Pack(static_cast<int32_t>(have + 4096)), 0);
        at = 0;
        EXPECT_EQ(po.Pack(static_cast<int32_t>(have + 4097)), kPackIoError);
    }
}

TEST(CodecResults, MissingEventsGiveMinus100) {
    TPackObject po;
    EXPECT_EQ(po.Pack(10), kPackNoIo);
    po.OnRead = [](void*, int) { return -1; };
    EXPECT_EQ(po.Unpack(10, 0), kPackNoIo);
    EXPECT_FALSE(po.Busy());
}

TEST(CodecResults, ExceptionInAnEventGivesMinus101AndFreesEverything) {
    TPackObject po;
    po.OnRead = [](void*, int) -> int { throw std::runtime_error("disk gone"); };
    po.OnWrite = [](const void*, int n) { return n; };
    EXPECT_EQ(po.Pack(100), kPackRunError);
    EXPECT_EQ(po.BlockCount(), 0u);
    EXPECT_FALSE(po.Busy());
}

TEST(CodecResults, EveryAllocationFailureGivesOutOfMemoryAndFreesTheRest) {
    for (int fail = 1; fail <= 13; ++fail) {
        SCOPED_TRACE(fail);
        MemoryIo io;
        io.in = Words(1000, 1);
        io.failAlloc = fail;
        EXPECT_EQ(codec::Encode(io.Record(), 1000), kPackNoMemory);
        EXPECT_EQ(io.frees, fail - 1);
        EXPECT_EQ(io.reads + io.writes + io.reports, 0);  // ends without coding
    }
    for (int fail = 1; fail <= 9; ++fail) {
        MemoryIo io;
        io.failAlloc = fail;
        EXPECT_EQ(codec::Decode(io.Record(), 100, 0), kPackNoMemory);
        EXPECT_EQ(io.frees, fail - 1);
    }
}

TEST(CodecResults, EngineGivesBackEveryBlock) {
    MemoryIo io;
    io.in = Mixed(100000);
    const int packed = codec::Encode(io.Record(), 100000);
    ASSERT_GT(packed, 0);
    EXPECT_EQ(io.allocs, 13);
    EXPECT_EQ(io.frees, 13);
    MemoryIo back;
    back.in = io.out;
    EXPECT_EQ(codec::Decode(back.Record(), packed, 100000), 100000);
    EXPECT_EQ(back.allocs, 9);
    EXPECT_EQ(back.frees, 9);
    EXPECT_TRUE(back.out == io.in);
}

// ---------------------------------------------------------------- the object

// Runs a pack of `data` with the given progress handler installed.
int PackWithProgress(TPackObject& po, const Bytes& data,
                     std::function<void(int32_t, int32_t)> onProgress, size_t* written = nullptr) {
    size_t at = 0;
    po.OnRead = [&](void* b, int n) {
        const size_t k = std::min(static_cast<size_t>(n), data.size() - at);
        if (k == 0) return -1;
        std::memcpy(b, data.data() + at, k);
        at += k;
        return static_cast<int>(k);
    };
    po.OnWrite = [written](const void*, int n) {
        if (written) *written += static_cast<size_t>(n);
        return n;
    };
    po.OnProgress = std::move(onProgress);
    return po.Pack(static_cast<int32_t>(data.size()));
}

TEST(PackObject, ProgressRunsFromZeroToTheSizeInSteps) {
    const Bytes data(3000000, 0);
    std::vector<std::pair<int32_t, int32_t>> seen;
    TPackObject po;
    ASSERT_GT(PackWithProgress(po, data, [&](int32_t d, int32_t t) { seen.emplace_back(d, t); }),
              0);
    ASSERT_GE(seen.size(), 900u);  // about every 1/1000 of the data
    EXPECT_LE(seen.size(), 1002u);
    EXPECT_EQ(seen.front(), std::make_pair(0, 3000000));
    EXPECT_EQ(seen.back(), std::make_pair(3000000, 3000000));
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1].first, seen[i].first);

    // Below 2048000 bytes the reports come every 2048 bytes.
    seen.clear();
    ASSERT_GT(PackWithProgress(po, Bytes(204800, 0),
                               [&](int32_t d, int32_t t) { seen.emplace_back(d, t); }),
              0);
    EXPECT_EQ(seen.size(), 102u);
}

TEST(PackObject, StopEndsTheRunAtTheNextReport) {
    const Bytes data = Mixed(200000);
    TPackObject po;
    int reports = 0;
    EXPECT_EQ(PackWithProgress(po, data, [&](int32_t, int32_t) { ++reports, po.Stop(true); }),
              kPackStopped);
    EXPECT_EQ(reports, 2);  // the one that stopped it, and the closing one
    EXPECT_TRUE(po.StopRequested());
    EXPECT_EQ(po.BlockCount(), 0u);

    // Stop(false) does not clear a request; the next run clears it.
    po.Stop(false);
    EXPECT_TRUE(po.StopRequested());
    EXPECT_GT(PackWithProgress(po, data, nullptr), 0);
    EXPECT_FALSE(po.StopRequested());
}

// With 8192000 bytes a report comes every 8192 bytes and a read every 4096: a stop
// requested during the second read meets the third read (at byte 8128) before the
// first report (past byte 8192).
TEST(PackObject, StopMetByAReadGivesIoError) {
    TPackObject po;
    int reads = 0;
    po.OnRead = [&](void* b, int n) {
        if (++reads == 2) po.Stop(true);
        std::memset(b, 0, static_cast<size_t>(n));
        return n;
    };
    po.OnWrite = [](const void*, int n) { return n; };
    int reports = 0;
    po.OnProgress = [&](int32_t, int32_t) { ++reports; };
    EXPECT_EQ(po.Pack(8192000), kPackIoError);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(reports, 2);  // the opening and the closing one
}

TEST(PackObject, StopDuringUnpack) {
    const Bytes data = Mixed(300000);
    const RunResult packed = PackBytes(data);
    TPackObject po;
    size_t at = 0;
    po.OnRead = [&](void* b, int n) {
        const size_t k = std::min(static_cast<size_t>(n), packed.out.size() - at);
        std::memcpy(b, packed.out.data() + at, k);
        at += k;
        return static_cast<int>(k);
    };
    po.OnWrite = [](const void*, int n) { return n; };
    po.OnProgress = [&](int32_t done, int32_t) {
        if (done > 0) po.Stop(true);
    };
    EXPECT_EQ(po.Unpack(packed.code, 300000), kPackStopped);
}

TEST(PackObject, SecondRunWhileBusyRaisesAndLeavesTheFirstAlone) {
    const Bytes data = Mixed(100000);
    TPackObject po;
    int raised = 0;
    size_t blocksDuringRun = 0;
    const int r = PackWithProgress(po, data, [&](int32_t, int32_t) {
        EXPECT_TRUE(po.Busy());
        blocksDuringRun = po.BlockCount();
        try {
            po.Unpack(10, 0);
        } catch (const EPackObjectError& e) {
            EXPECT_STREQ(e.what(), "Process already run");
            ++raised;
        }
    });
    EXPECT_EQ(r, PackBytes(data).code);
    EXPECT_GT(raised, 0);
    EXPECT_EQ(blocksDuringRun, 13u);
    EXPECT_FALSE(po.Busy());
    EXPECT_EQ(po.BlockCount(), 0u);
}

TEST(PackObject, FreeingABlockItDidNotHandOutRaises) {
    TPackObject po;
    void* p = TPackObjectTestAccess::Alloc(po, 100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(po.BlockCount(), 1u);
    int local = 0;
    try {
        TPackObjectTestAccess::Free(po, &local);
        ADD_FAILURE() << "no exception";
    } catch (const EPackObjectError& e) {
        EXPECT_STREQ(e.what(), "Cannot free unallocated block");
    }
    TPackObjectTestAccess::Free(po, p);
    EXPECT_EQ(po.BlockCount(), 0u);
    EXPECT_THROW(TPackObjectTestAccess::Free(po, p), EPackObjectError);  // not twice
    // A block left over is released with the object (checked by the leak sanitizer).
    TPackObjectTestAccess::Alloc(po, 50);
}

TEST(PackObject, ErrorTexts) {
    EXPECT_EQ(TPackObject::ErrorText(0, false), "No errors oc\xF1ured");
    EXPECT_EQ(TPackObject::ErrorText(0, true), "Завершено без ошибок"_a);
    EXPECT_EQ(TPackObject::ErrorText(-1, false), "Process stop by user");
    EXPECT_EQ(TPackObject::ErrorText(-2, true), "Недостаточно памяти"_a);
    EXPECT_EQ(TPackObject::ErrorText(-3, false), "Read/write error");
    EXPECT_EQ(TPackObject::ErrorText(-4, true), "Ошибка в упакованных данных"_a);
    EXPECT_EQ(TPackObject::ErrorText(-5, false), "Checksum error");
    EXPECT_EQ(TPackObject::ErrorText(-100, true), "Функции ввода/вывода не определены"_a);
    EXPECT_EQ(TPackObject::ErrorText(-101, false), "Due execute error");
    EXPECT_EQ(TPackObject::ErrorText(-6, true), "");
    EXPECT_EQ(TPackObject::ErrorText(-7, false), "");
    EXPECT_EQ(TPackObject::ErrorText(1, true), "");
}

}  // namespace
}  // namespace hv::test
