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

#include "BenchTree.h"
#include "platform/Platform.h"
#include "project/HLObject.h"

namespace fs = std::filesystem;
using namespace bench;

namespace {

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

}  // namespace

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
    const Tree tree = GenerateOrReuse(total, reuse);
    keep = keep || !reuse.empty();  // never delete a tree the caller gave
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
