// Replays every saved input of the unpack fuzzer through the same entry point,
// each in a child process that names the input it fails on.
#include <gtest/gtest.h>

#include "support/Corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(FuzzCorpus, EveryUnpackInputRunsClean) {
    const auto replay = hv::test::ReplayCorpus("unpack", LLVMFuzzerTestOneInput);
    EXPECT_GE(replay.inputs, 5u);
    EXPECT_EQ(replay.failures, std::vector<std::string>{});
}
