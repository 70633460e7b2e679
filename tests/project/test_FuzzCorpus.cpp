// Replays the fuzzing corpus of project-file loading through the fuzz target
// itself: an input that loads but does not save and load back aborts it.
#include <gtest/gtest.h>

#include "support/Corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(FuzzCorpus, ProjectFilesLoadAndSaveBackOrAreRefused) {
    const auto replay = hv::test::ReplayCorpus("project", LLVMFuzzerTestOneInput);
    EXPECT_GT(replay.inputs, 5u);
    EXPECT_EQ(replay.failures, std::vector<std::string>{});
}
