// Damaged packed streams: the decoder must end, stay inside its buffers, and either
// fail or produce output of bounded size. Never a crash or a hang.
#include <gtest/gtest.h>

#include "test_PackUnitUtil.h"

namespace hv::test {
namespace {

constexpr size_t kCap = 1 << 16;

RunResult UnpackCapped(const Bytes& source, int32_t packedSize, int32_t unpackedSize) {
    return UnpackBytes(source, packedSize, unpackedSize, kCap);
}

void ExpectSane(const RunResult& r, size_t expected) {
    if (r.code >= 0) {
        EXPECT_EQ(static_cast<size_t>(r.code), expected);
        EXPECT_EQ(r.out.size(), expected);
    }
    EXPECT_LE(r.out.size(), expected + 64);
}

class Corruption : public ::testing::TestWithParam<int> {
protected:
    Bytes Input() const {
        switch (GetParam()) {
            case 0:
                return Words(20000, 1);
            case 1:
                return RandomBytes(8000, 2);
            case 2:
                return Slide(20000, 3);
            default:
                return Bytes(10000, 7);
        }
    }
};

TEST_P(Corruption, BitFlips) {
    const Bytes data = Input();
    const RunResult packed = PackBytes(data);
    ASSERT_GT(packed.code, 0);
    Lcg g(static_cast<uint64_t>(GetParam()) + 100);
    for (int trial = 0; trial < 40; ++trial) {
        Bytes v = packed.out;
        const int flips = 1 + static_cast<int>(g.Next() % 3);
        for (int f = 0; f < flips; ++f)
            v[g.Next() % v.size()] ^= static_cast<uint8_t>(1 << (g.Next() % 8));
        ExpectSane(
            UnpackCapped(v, static_cast<int32_t>(v.size()), static_cast<int32_t>(data.size())),
            data.size());
    }
}

TEST_P(Corruption, Truncations) {
    const Bytes data = Input();
    const RunResult packed = PackBytes(data);
    const size_t n = packed.out.size();
    for (size_t keep : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{4}, n / 4, n / 2, n - 9,
                        n - 2, n - 1}) {
        SCOPED_TRACE(keep);
        const Bytes cut(packed.out.begin(), packed.out.begin() + static_cast<std::ptrdiff_t>(keep));
        // The PackedSize told the truth about the cut stream ...
        ExpectSane(UnpackCapped(cut, static_cast<int32_t>(keep), static_cast<int32_t>(data.size())),
                   data.size());
        // ... or still claims the whole one while the source ends early.
        ExpectSane(UnpackCapped(cut, static_cast<int32_t>(n), static_cast<int32_t>(data.size())),
                   data.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Codec, Corruption, ::testing::Values(0, 1, 2, 3));

// Random bytes as a stream, with no expected length to check against: whatever
// length they decode to, the run ends.
TEST(CorruptionGarbage, RandomStreamsEnd) {
    Lcg g(77);
    for (int trial = 0; trial < 80; ++trial) {
        const Bytes junk = RandomBytes(1 + g.Next() % 300, g.Next());
        const int32_t packedSize = static_cast<int32_t>(g.Next() % 400) - 20;
        const RunResult r = UnpackCapped(junk, packedSize, 0);
        if (r.code >= 0) {
            EXPECT_EQ(static_cast<size_t>(r.code), r.out.size());
        }
        EXPECT_LE(r.out.size(), kCap);
    }
}

// A damaged stream may decode an escape followed by a symbol its context already has,
// which no encoder writes; the decoder refuses it instead of listing the pair twice.
TEST(CorruptionGarbage, EscapeToAKnownPairIsBadData) {
    const Bytes data = Words(5000, 8);
    const RunResult packed = PackBytes(data);
    int badData = 0;
    for (size_t i = 8; i < packed.out.size() && badData == 0; ++i) {
        Bytes v = packed.out;
        v[i] ^= 0x10;
        badData += UnpackCapped(v, static_cast<int32_t>(v.size()), 5000).code == kPackBadData;
    }
    EXPECT_GT(badData, 0);
}

}  // namespace
}  // namespace hv::test
