// The generated tree of the scan benchmarks and find(1) over it, the peer
// they are measured beside.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

const char* const kExts[] = {".txt", ".doc", ".bak", ".c", ".tmp", ".pas", ""};

struct Tree {
    std::string root;
    long files = 0;
    long expected = 0;  // files the filter takes
};

inline void MakeFile(const fs::path& p) {
    std::ofstream(p, std::ios::binary) << "x";
}

// Ten directories a level, three levels deep: 1110 directories that take the files in turn.
inline Tree Generate(long total) {
    Tree t;
    char tmpl[] = "/tmp/hvbench-scan-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        exit(1);
    }
    t.root = tmpl;
    std::vector<fs::path> dirs;
    const fs::path top = fs::path(t.root) / "Work";
    dirs.push_back(top);
    for (int a = 0; a < 10; ++a) {
        fs::path da = top / ("Dir " + std::to_string(a));
        dirs.push_back(da);
        for (int b = 0; b < 10; ++b) {
            fs::path db = da / ("sub" + std::to_string(b));
            dirs.push_back(db);
            for (int c = 0; c < 10; ++c) dirs.push_back(db / ("Leaf Folder " + std::to_string(c)));
        }
    }
    for (const auto& d : dirs) {
        fs::create_directories(d / ".cache");
        MakeFile(d / ".cache" / "skipped.txt");
        ++t.files;
    }
    for (long i = 0; t.files < total; ++i, ++t.files) {
        const char* ext = kExts[i % 7];
        const fs::path& d = dirs[i % dirs.size()];
        MakeFile(d / ("file " + std::to_string(i) + ext));
        if (std::string(ext) != ".bak" && std::string(ext) != ".tmp") ++t.expected;
    }
    return t;
}

inline double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// With Stat, find also reads each file's size and time, as the scan reports them.
inline long RunFind(const std::string& root, bool stat, double& secs) {
    const std::string cmd = "find '" + root +
                            "/Work' -type d -name '.*' -prune -o -type f ! -iname '*.bak' "
                            "! -iname '*.tmp' " +
                            (stat ? "-printf '%s %T@ %p\\n'" : "-print");
    auto t0 = std::chrono::steady_clock::now();
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return -1;
    long count = 0;
    char line[4096];
    while (fgets(line, sizeof line, f)) ++count;
    pclose(f);
    secs = Seconds(std::chrono::steady_clock::now() - t0);
    return count;
}

// Counts what a kept tree holds and what the filter takes.
inline Tree Existing(const std::string& root) {
    Tree t;
    t.root = root;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (!it->is_regular_file()) continue;
        ++t.files;
        const std::string ext = it->path().extension().string();
        const bool hidden = it->path().parent_path().filename().string().rfind(".", 0) == 0;
        if (!hidden && ext != ".bak" && ext != ".tmp") ++t.expected;
    }
    return t;
}

// The tree named by --tree, or a new one of Total files.
inline Tree GenerateOrReuse(long total, const std::string& reuse) {
    if (!reuse.empty()) return Existing(reuse);
    printf("generating %ld files...\n", total);
    return Generate(total);
}

}  // namespace bench
