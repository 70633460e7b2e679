#include "support/Corpus.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "support/TempTree.h"

namespace hv::test {

CorpusReplay ReplayCorpus(const std::string& name, FuzzTarget target) {
    namespace fs = std::filesystem;
    CorpusReplay replay;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(HALVORA_SOURCE_DIR) / "fuzz/corpus" / name))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string bytes = ReadPosixFile(file);
        ++replay.inputs;
        const pid_t pid = fork();
        if (pid == 0) {
            const int rc = target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            _exit(rc == 0 ? 0 : 100);
        }
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid) {
            replay.failures.push_back(file.filename().string() + ": could not run");
            continue;
        }
        if (WIFSIGNALED(status))
            replay.failures.push_back(file.filename().string() + ": " + strsignal(WTERMSIG(status)));
        else if (WEXITSTATUS(status) == 100)
            replay.failures.push_back(file.filename().string() + ": the target refused it");
        else if (WEXITSTATUS(status) != 0)
            replay.failures.push_back(file.filename().string() + ": exit " +
                                      std::to_string(WEXITSTATUS(status)));
    }
    return replay;
}

}  // namespace hv::test
