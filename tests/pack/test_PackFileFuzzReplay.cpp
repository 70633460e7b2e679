// Replays the archive fuzz corpus through the fuzz target itself, each input
// in a child process that names the input it fails on.
#include <gtest/gtest.h>

#include "support/Corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(ArchiveFuzzCorpus, EveryInputEndsCleanly) {
    const auto replay = hv::test::ReplayCorpus("archive", LLVMFuzzerTestOneInput);
    EXPECT_GE(replay.inputs, 5u);
    EXPECT_EQ(replay.failures, std::vector<std::string>{});
}
