// Damaged packed streams: the decoder must end, stay inside its buffers, and either
// fail or produce output of bounded size. Never a crash or a hang.
#include <gtest/gtest.h>

#include "test_PackUnitUtil.h"

namespace hv::test {
namespace {

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

}  // namespace
}  // namespace hv::test
