// Replays the INI fuzz corpus, including the inputs that once failed.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "support/TempTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace hv {
namespace {

TEST(IniCorpus, EveryInputReadsWithoutFault) {
    const std::filesystem::path dir = std::filesystem::path(HALVORA_SOURCE_DIR) / "fuzz/corpus/ini";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::string data = test::ReadPosixFile(entry.path());
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 0);
        ++count;
    }
    EXPECT_GT(count, 5);
}

}  // namespace
}  // namespace hv
