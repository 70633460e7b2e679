// Replays the archive fuzz corpus through the fuzz target itself.
#include <gtest/gtest.h>

#include "pack/test_PackUnitUtil.h"

namespace hv::test {
namespace {

TEST(ArchiveFuzzCorpus, EveryInputEndsCleanly) {
    EXPECT_GE(ReplayFuzzCorpus("archive"), 5u);
}

}  // namespace
}  // namespace hv::test
