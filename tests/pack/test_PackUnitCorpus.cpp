// Replays every saved input of the unpack fuzzer through the same entry point.
#include <gtest/gtest.h>

#include "pack/test_PackUnitUtil.h"

namespace hv::test {
namespace {

TEST(FuzzCorpus, EveryUnpackInputRunsClean) {
    EXPECT_GE(ReplayFuzzCorpus("unpack"), 5u);
}

}  // namespace
}  // namespace hv::test
