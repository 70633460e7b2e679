// Scan speed: CollectFiles of a project over a generated tree, beside find(1)
// with the equivalent filter on the same tree, warm cache, in the same run:
// names only (beside find -print), then reading each file's size and time as a
// run does (beside find -printf).
//
//   bench_scan [files]          generates a tree of that many files (default 100000)
//   bench_scan --tree DIR       reuses a tree kept by --keep (left in place)
//   bench_scan [files] --keep   keeps the generated tree and prints where
//
// The tree lies under /tmp and is deleted at the end. Each level holds files
// with blanks in their names and several extensions, subdirectories, and a
// dot-directory that neither side walks. The project takes every file but
// .BAK and .TMP.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "project/HLObject.h"

namespace fs = std::filesystem;

namespace {

const char* const kExts[] = {".txt", ".doc", ".bak", ".c", ".tmp", ".pas", ""};

struct Tree {
    std::string root;
    long files = 0;
    long expected = 0;  // files the filter takes
};

void MakeFile(const fs::path& p) {
    std::ofstream(p, std::ios::binary) << "x";
}

// Ten directories a level, three levels deep: 1110 directories that take the files in turn.
Tree Generate(long total) {
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

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// With Facts, each report also reads the entry's size and time, as a run does.
long RunHalvora(hv::THL_HalvoraProject& p, bool facts, double& secs) {
    long count = 0;
    int64_t sum = 0;
    p.OnFile = [&](const std::string&, hv::FindData& entry, bool&) {
        ++count;
        if (facts) sum += entry.Size() + entry.Time();
    };
    auto t0 = std::chrono::steady_clock::now();
    p.CollectFiles();
    secs = Seconds(std::chrono::steady_clock::now() - t0);
    return count;
}

// With Stat, find also reads each file's size and time, as the scan reports them.
long RunFind(const std::string& root, bool stat, double& secs) {
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

}  // namespace

// Counts what a kept tree holds and what the filter takes.
Tree Existing(const std::string& root) {
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

int main(int argc, char** argv) {
    long total = 100000;
    bool keep = false;
    std::string reuse;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--keep") {
            keep = true;
        } else if (a == "--tree" && i + 1 < argc) {
            reuse = argv[++i];
        } else {
            total = atol(argv[i]);
        }
    }
    Tree tree;
    if (reuse.empty()) {
        printf("generating %ld files...\n", total);
        tree = Generate(total);
    } else {
        tree = Existing(reuse);
        keep = true;
    }
    hv::SetDriveMap({{'C', "/"}, {'D', tree.root}});

    hv::THL_HalvoraProject p;
    p.SetRootDir("D:\\Work");
    p.IncludeAllFiles = true;
    p.IncludeSubDirs = true;
    p.AddExtension("BAK");
    p.AddExtension("TMP");
    p.SavePlaces().Add("D:\\Save");
    p.ArcType = 2;

    double h = 0, hs = 0, f = 0, fs = 0;
    // The first round warms the cache; the best of five counts.
    long hc = RunHalvora(p, false, h), fc = RunFind(tree.root, false, f), hsc = 0, sc = 0;
    double bestH = 1e9, bestHS = 1e9, bestF = 1e9, bestS = 1e9;
    for (int round = 0; round < 5; ++round) {
        hc = RunHalvora(p, false, h);
        fc = RunFind(tree.root, false, f);
        hsc = RunHalvora(p, true, hs);
        sc = RunFind(tree.root, true, fs);
        bestH = std::min(bestH, h);
        bestHS = std::min(bestHS, hs);
        bestF = std::min(bestF, f);
        bestS = std::min(bestS, fs);
    }
    printf("tree: %ld files, %ld taken by the filter\n", tree.files, tree.expected);
    printf("halvora CollectFiles      : %8.3f s  (%ld files)\n", bestH, hc);
    printf("find -print               : %8.3f s  (%ld files)\n", bestF, fc);
    printf("halvora + size,time       : %8.3f s  (%ld files)\n", bestHS, hsc);
    printf("find -printf size,time    : %8.3f s  (%ld files)\n", bestS, sc);
    printf("ratio halvora/find        : %8.2f  (target <= 1.50)\n", bestH / bestF);
    printf("ratio with size,time      : %8.2f\n", bestHS / bestS);
    if (keep) {
        printf("tree kept: %s\n", tree.root.c_str());
    } else {
        std::error_code ec;
        fs::remove_all(tree.root, ec);
    }
    const bool same = hc == fc && hc == hsc && hc == sc && hc == tree.expected;
    if (!same) printf("MISMATCH: the two sides took different files\n");
    return same ? 0 : 1;
}
