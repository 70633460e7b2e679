// Replays the fuzzing corpus of project-file loading through the fuzz target
// itself: an input that breaks one of its checks aborts this test.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "support/TempTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace hv {
namespace {

TEST(FuzzCorpus, ProjectFilesLoadOrAreRefused) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(HALVORA_SOURCE_DIR) / "fuzz/corpus/project";
    ASSERT_TRUE(fs::is_directory(dir));
    int inputs = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        ++inputs;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string bytes = test::ReadPosixFile(entry.path().string());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace hv
