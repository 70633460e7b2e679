// Replaying a fuzz corpus through its fuzz target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hv::test {

using FuzzTarget = int (*)(const uint8_t* data, size_t size);

struct CorpusReplay {
    size_t inputs = 0;
    std::vector<std::string> failures;  // "file: what happened"
};

// Runs every file of fuzz/corpus/<name> through Target, each in a child
// process of its own: a target's failed check aborts, and an abort must name
// its input instead of taking the whole test binary down with it.
CorpusReplay ReplayCorpus(const std::string& name, FuzzTarget target);

}  // namespace hv::test
