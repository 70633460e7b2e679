// Replays the INI fuzz corpus, including the inputs that once failed; the
// target aborts on any text that does not read back to itself.
#include <gtest/gtest.h>

#include "support/Corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(IniCorpus, EveryInputReadsBackToItself) {
    const auto replay = hv::test::ReplayCorpus("ini", LLVMFuzzerTestOneInput);
    EXPECT_GT(replay.inputs, 5u);
    EXPECT_EQ(replay.failures, std::vector<std::string>{});
}
