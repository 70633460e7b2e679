// The codec: the packed stream's exact bits, round trips, the result codes,
// the object's run discipline (busy, stop), and damaged streams: the decoder
// must end, stay inside its buffers, and either fail or produce output of
// bounded size, never a crash or a hang; the unpack fuzz corpus replayed.
#include <gtest/gtest.h>

#include "support/Corpus.h"
#include "test_PackUnitUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace hv::test {
namespace {

// ---------------------------------------------------------------- the packed stream

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Packed size and FNV-1a hash of the packed bytes, computed by a separate, literal
// implementation of the stream written in another language. Any change to a model,
// increment, threshold, node rule or the coder's finishing bits shows up here.
TEST(PackedStream, MatchesTheReferenceBitForBit) {
    const struct {
        const char* name;
        Bytes input;
        size_t packedSize;
        uint64_t hash;
    } golden[] = {
        {"Hello", Text("hello hello hello hello world"), 22, 0x853b0665c638eaf9ull},
        {"Five", Text("abcde"), 10, 0xa737ced23dba057eull},
        {"Random63", RandomBytes(63, 1), 75, 0x88d8e594ca6ad3a6ull},
        {"Random64", RandomBytes(64, 2), 75, 0xef58eeb56d971a16ull},
        {"RunOf1000", Bytes(1000, 0x41), 40, 0xdf4f4eb049712959ull},
        {"Zeros5000", Bytes(5000, 0), 71, 0x014e333c5de22d67ull},
        {"Random4096", RandomBytes(4096, 3), 4627, 0xe35670004a6eca49ull},
        // context rescaling, distance switches
        {"Words60k", Words(60000, 4), 12758, 0x492d46d5e1fe9602ull},
        {"Random40k", RandomBytes(40000, 5), 42235, 0x3916c02cb82e0dc9ull},  // node pool recycling
        // contexts emptied, their nodes reused
        {"Slide80k", Slide(80000, 6), 65646, 0xf6843308f9c275a7ull},
        {"Skew", Skew(12000, 7), 57536, 0x979cb9faab5c47f2ull},  // rescale while adding a pair
    };
    for (const auto& g : golden) {
        SCOPED_TRACE(g.name);
        const RunResult packed = PackBytes(g.input);
        ASSERT_EQ(packed.code, static_cast<int>(g.packedSize));
        ASSERT_EQ(packed.out.size(), g.packedSize);
        EXPECT_EQ(Fnv1a(packed.out), g.hash);
        const RunResult back = UnpackBytes(packed.out, static_cast<int32_t>(g.input.size()));
        EXPECT_EQ(back.code, static_cast<int>(g.input.size()));
        EXPECT_TRUE(back.out == g.input);
    }
}

// ---------------------------------------------------------------- round trips

// Round trips at the block edges; a source handing over 7 bytes a call packs to the
// same stream.
TEST(CodecRoundTrip, EdgeSizes) {
    for (size_t n : {5, 6, 7, 63, 64, 65, 4095, 4096, 4097, 65536, 1 << 20}) {
        SCOPED_TRACE(n);
        const Bytes data = Mixed(n);
        const RunResult packed = PackBytes(data);
        ASSERT_GT(packed.code, 0);
        ASSERT_EQ(static_cast<size_t>(packed.code), packed.out.size());
        EXPECT_TRUE(PackBytes(data, 7).out == packed.out);
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
            // A decoded length below 5 is refused; the container stores such files.
            const RunResult back = UnpackBytes(packed.out);
            EXPECT_EQ(back.code, n < 5 ? kPackBadData : static_cast<int>(n));
            EXPECT_TRUE(back.out == (n < 5 ? Bytes{} : data));
        }
    }
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

TEST(CodecResults, BadLengths) {
    // Hand-made streams: all zero bits decode a match marker among the length bytes,
    // all one bits a length of 0; an empty source is a read error.
    EXPECT_EQ(UnpackBytes(Bytes(3, 0x00)).code, kPackBadData);
    EXPECT_EQ(UnpackBytes(Bytes(3, 0xFF)).code, kPackBadData);
    EXPECT_EQ(UnpackBytes(Bytes{}).code, kPackIoError);
    // A length other than the expected one is a checksum error; below 6 the expected
    // size is not compared.
    const RunResult packed = PackBytes(Words(1000, 3));
    const std::pair<int32_t, int> rows[] = {
        {999, kPackBadLength}, {6, kPackBadLength}, {5, 1000}, {0, 1000}};
    for (auto [expected, code] : rows) EXPECT_EQ(UnpackBytes(packed.out, expected).code, code);
}

TEST(CodecResults, NonZeroTrailerIsReportedAfterTheData) {
    const RunResult packed = PackBytes(Words(3000, 5));
    const Bytes bad = FindVariant(packed.out, 3000, kPackBadTrailer, 3000);
    ASSERT_FALSE(bad.empty());
    const RunResult r = UnpackBytes(bad, 3000);
    EXPECT_EQ(r.code, kPackBadTrailer);
    EXPECT_EQ(r.out.size(), 3000u);  // all data was written before the verdict
    // A last match that runs past the trailer is written out whole.
    EXPECT_FALSE(FindVariant(packed.out, 3000, kPackBadTrailer, 3007).empty());
}

// The decoder consumes exactly PackedSize bytes even when handed more.
TEST(CodecResults, BytesBehindThePackedSizeAreIgnored) {
    const Bytes data = Mixed(50000);
    const RunResult packed = PackBytes(data);
    Bytes source = packed.out;
    const Bytes junk = RandomBytes(10000, 9);
    source.insert(source.end(), junk.begin(), junk.end());
    const RunResult r = UnpackBytes(source, packed.code, 50000);
    EXPECT_EQ(r.code, 50000);
    EXPECT_TRUE(r.out == data);
}

TEST(CodecResults, ReadAndWriteFailuresAreIoErrors) {
    TPackObject po;
    po.OnRead = [](void*, int) { return -1; };
    po.OnWrite = Discard();
    EXPECT_EQ(po.Pack(100), kPackIoError);
    EXPECT_EQ(po.Unpack(100, 0), kPackIoError);

    // A short write (a full disk) is an error, never success.
    const Bytes data = Words(100000, 1);
    po.OnRead = Reader(data);
    po.OnWrite = [](const void*, int n) { return n / 2; };
    EXPECT_EQ(po.Pack(static_cast<int32_t>(data.size())), kPackIoError);
    po.OnRead = Reader(data);
    po.OnWrite = [](const void*, int) { return -1; };
    EXPECT_EQ(po.Pack(static_cast<int32_t>(data.size())), kPackIoError);

    // A source shorter than announced: up to 4096 missing bytes read as zeros, more
    // are a read error.
    po.OnWrite = Discard();
    for (size_t have : {size_t{5000}, size_t{50000}}) {
        const Bytes part = Words(have, 3);
        po.OnRead = Reader(part);
        EXPECT_GT(po.Pack(static_cast<int32_t>(have + 4096)), 0);
        po.OnRead = Reader(part);
        EXPECT_EQ(po.Pack(static_cast<int32_t>(have + 4097)), kPackIoError);
    }
}

TEST(CodecResults, MissingOrThrowingEvents) {
    TPackObject po;
    EXPECT_EQ(po.Pack(10), kPackNoIo);
    po.OnRead = [](void*, int) -> int { throw std::runtime_error("disk gone"); };
    EXPECT_EQ(po.Unpack(10, 0), kPackNoIo);
    EXPECT_FALSE(po.Busy());
    // An exception in an event ends the run and frees everything.
    po.OnWrite = Discard();
    EXPECT_EQ(po.Pack(100), kPackRunError);
    EXPECT_EQ(po.BlockCount(), 0u);
    EXPECT_FALSE(po.Busy());
}

// A refusal of any block a run takes ends the run, and every block it was
// given is freed.
TEST(CodecResults, EveryAllocationFailureGivesOutOfMemoryAndFreesTheRest) {
    MemoryIo whole;
    whole.in = Mixed(100000);
    const int packed = codec::Encode(whole.Record(), 100000);
    ASSERT_GT(packed, 0);
    EXPECT_EQ(whole.frees, whole.allocs);
    MemoryIo back;
    back.in = whole.out;
    EXPECT_EQ(codec::Decode(back.Record(), packed, 100000), 100000);
    EXPECT_EQ(back.frees, back.allocs);
    EXPECT_TRUE(back.out == whole.in);
    for (int fail = 1; fail <= whole.allocs; ++fail) {
        SCOPED_TRACE(fail);
        MemoryIo enc, dec;
        enc.in = whole.in;
        dec.in = whole.out;
        enc.failAlloc = dec.failAlloc = fail;
        EXPECT_EQ(codec::Encode(enc.Record(), 100000), kPackNoMemory);
        EXPECT_EQ(enc.frees, enc.allocs - 1);
        if (fail > back.allocs) continue;
        EXPECT_EQ(codec::Decode(dec.Record(), packed, 100000), kPackNoMemory);
        EXPECT_EQ(dec.frees, dec.allocs - 1);
    }
}

// ---------------------------------------------------------------- the object

// Runs a pack of `data` with the given progress handler installed.
int PackWithProgress(TPackObject& po, const Bytes& data, TPackObject::ProgressEvent onProgress) {
    po.OnRead = Reader(data);
    po.OnWrite = Discard();
    po.OnProgress = std::move(onProgress);
    return po.Pack(static_cast<int32_t>(data.size()));
}

TEST(PackObject, ProgressRunsFromZeroToTheSizeInSteps) {
    std::vector<std::pair<int32_t, int32_t>> seen;
    TPackObject po;
    ASSERT_GT(PackWithProgress(po, Bytes(204800, 0),
                               [&](int32_t d, int32_t t) { seen.emplace_back(d, t); }),
              0);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), std::make_pair(0, 204800));
    EXPECT_EQ(seen.back(), std::make_pair(204800, 204800));
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1].first, seen[i].first);
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
    const RunResult packed = PackBytes(data);
    EXPECT_EQ(PackWithProgress(po, data, nullptr), packed.code);
    EXPECT_FALSE(po.StopRequested());

    // The same during an unpack.
    po.OnRead = Reader(packed.out);
    po.OnProgress = [&](int32_t done, int32_t) {
        if (done > 0) po.Stop(true);
    };
    EXPECT_EQ(po.Unpack(packed.code, 200000), kPackStopped);
}

TEST(PackObject, SecondRunWhileBusyRaisesAndLeavesTheFirstAlone) {
    const Bytes data = Mixed(100000);
    TPackObject po;
    int raised = 0;
    const int r = PackWithProgress(po, data, [&](int32_t, int32_t) {
        EXPECT_TRUE(po.Busy());
        try {
            po.Unpack(10, 0);
        } catch (const EPackObjectError& e) {
            EXPECT_STREQ(e.what(), "Process already run");
            ++raised;
        }
    });
    EXPECT_EQ(r, PackBytes(data).code);
    EXPECT_GT(raised, 0);
    EXPECT_FALSE(po.Busy());
    EXPECT_EQ(po.BlockCount(), 0u);
}

// ---------------------------------------------------------------- damaged streams

constexpr size_t kCap = 1 << 16;

// Unpacks `source` as a stream of packedSize bytes expected to give `expected` bytes.
void ExpectSane(const Bytes& source, size_t packedSize, size_t expected) {
    const RunResult r =
        UnpackBytes(source, static_cast<int32_t>(packedSize), static_cast<int32_t>(expected), kCap);
    if (r.code >= 0) {
        EXPECT_EQ(static_cast<size_t>(r.code), expected);
        EXPECT_EQ(r.out.size(), expected);
    }
    EXPECT_LE(r.out.size(), expected + 64);
}

TEST(Corruption, BitFlipsAndTruncations) {
    const Bytes inputs[] = {Words(20000, 1), RandomBytes(8000, 2), Slide(20000, 3),
                            Bytes(10000, 7)};
    for (uint64_t k = 0; k < std::size(inputs); ++k) {
        SCOPED_TRACE(k);
        const Bytes& data = inputs[k];
        const Bytes packed = PackBytes(data).out;
        const size_t n = packed.size();
        ASSERT_GT(n, 0u);
        Lcg g{k + 100};
        for (int trial = 0; trial < 40; ++trial) {
            Bytes v = packed;
            const int flips = 1 + static_cast<int>(g.Next() % 3);
            for (int f = 0; f < flips; ++f)
                v[g.Next() % v.size()] ^= static_cast<uint8_t>(1 << (g.Next() % 8));
            ExpectSane(v, n, data.size());
        }
        for (size_t keep : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{4}, n / 4, n / 2,
                            n - 9, n - 2, n - 1}) {
            SCOPED_TRACE(keep);
            const Bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(keep));
            // The PackedSize tells the truth about the cut stream, or claims the whole one
            // while the source ends early, or is short while the whole stream is there
            // (the decoder feeds copies of the last bit).
            ExpectSane(cut, keep, data.size());
            ExpectSane(cut, n, data.size());
            ExpectSane(packed, keep, data.size());
        }
    }
}

// Random bytes as a stream, with no expected length to check against: whatever
// length they decode to, the run ends.
TEST(CorruptionGarbage, RandomStreamsEnd) {
    Lcg g{77};
    for (int trial = 0; trial < 80; ++trial) {
        const Bytes junk = RandomBytes(1 + g.Next() % 300, g.Next());
        const int32_t packedSize = static_cast<int32_t>(g.Next() % 400) - 20;
        const RunResult r = UnpackBytes(junk, packedSize, 0, kCap);
        if (r.code >= 0) {
            EXPECT_EQ(static_cast<size_t>(r.code), r.out.size());
        }
        EXPECT_LE(r.out.size(), kCap);
    }
}

// A damaged stream may decode an escape followed by a symbol its context already has,
// which no encoder writes; the decoder refuses it instead of listing the pair twice.
TEST(CorruptionGarbage, EscapeToAKnownPairIsBadData) {
    const RunResult packed = PackBytes(Words(5000, 8));
    int badData = 0;
    for (size_t i = 8; i < packed.out.size() && badData == 0; ++i) {
        Bytes v = packed.out;
        v[i] ^= 0x10;
        badData += UnpackBytes(v, static_cast<int32_t>(v.size()), 5000, kCap).code == kPackBadData;
    }
    EXPECT_GT(badData, 0);
}

// Every saved input of the unpack fuzzer through the same entry point, each in
// a child process that names the input it fails on.
TEST(FuzzCorpus, EveryUnpackInputRunsClean) {
    const auto replay = ReplayCorpus("unpack", LLVMFuzzerTestOneInput);
    EXPECT_GE(replay.inputs, 5u);
    EXPECT_EQ(replay.failures, std::vector<std::string>{});
}

}  // namespace
}  // namespace hv::test
