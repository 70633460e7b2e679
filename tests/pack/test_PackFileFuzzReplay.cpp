// Replays the archive fuzz corpus (seeds and every input that once failed)
// through the fuzz target itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/TempTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace hv {
namespace {

TEST(ArchiveFuzzCorpus, EveryInputEndsCleanly) {
    namespace fs = std::filesystem;
    const fs::path dir = HALVORA_SOURCE_DIR "/fuzz/corpus/archive";
    std::vector<fs::path> inputs;
    for (auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) inputs.push_back(e.path());
    std::sort(inputs.begin(), inputs.end());
    ASSERT_GE(inputs.size(), 5u);
    for (const auto& p : inputs) {
        SCOPED_TRACE(p.filename().string());
        std::string bytes = test::ReadPosixFile(p.string());
        EXPECT_EQ(
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
            0);
    }
}

}  // namespace
}  // namespace hv
