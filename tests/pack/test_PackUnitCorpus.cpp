// Replays every saved input of the unpack fuzzer (seeds and the inputs it found)
// through the same entry point.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

TEST(FuzzCorpus, EveryUnpackInputRunsClean) {
    const std::filesystem::path dir =
        std::filesystem::path(HALVORA_SOURCE_DIR) / "fuzz/corpus/unpack";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(LLVMFuzzerTestOneInput(data.data(), data.size()), 0);
        ++files;
    }
    EXPECT_GE(files, 5);
}

}  // namespace
