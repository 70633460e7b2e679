// Backup runs of whole trees: the internal packer beside ARJ, both through the
// same run driver (halvora-run, one process per run, as a scheduled backup
// runs), and the restores with pkk x beside arj x, in the same run, warm cache.
//
//   bench_run [files...]     trees of these sizes (default 2000 20000)
//
// Each tree is generated under /tmp (text of several kinds and binary records,
// 1.5 kB a file on average, a hundred files a directory) and removed at the end.
// Printed: the times, the ratio to ARJ, the growth from the smallest tree to the
// largest, and the goals: own run <= 1.0x the ARJ run, restore <= 1.5x arj x,
// growth <= 1.1x the growth of the file count.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "project/HLObject.h"

namespace fs = std::filesystem;

namespace {

const std::string kTools = HALVORA_BINARY_DIR "/tools";

const char* const kWords[] = {
    "backup", "archive", "project", "directory", "file", "the", "of", "and", "to", "a",
    "in", "is", "it", "that", "for", "on", "with", "as", "was", "this", "report", "table",
    "int", "return", "void", "struct", "const", "static", "if", "else", "while", "size",
    "Отчёт", "за", "квартал", "итого", "сумма", "раздел", "документ", "приложение"};

std::string Text(std::mt19937& rng, size_t n) {
    std::string s;
    while (s.size() < n) {
        s += kWords[rng() % (sizeof kWords / sizeof *kWords)];
        s += rng() % 9 == 0 ? ".\n" : " ";
        if (rng() % 40 == 0) s += std::to_string(rng() % 100000) + "\t";
    }
    s.resize(n);
    return s;
}

// Records of a few fields, some varying: compressible as real binary files are.
std::string Binary(std::mt19937& rng, size_t n) {
    std::string s;
    uint32_t id = rng() % 1000;
    while (s.size() < n) {
        uint32_t rec[4] = {++id, static_cast<uint32_t>(rng() % 256), 0x00010000u,
                           static_cast<uint32_t>(rng())};
        s.append(reinterpret_cast<const char*>(rec), sizeof rec);
    }
    s.resize(n);
    return s;
}

struct Tree {
    std::string root;  // POSIX; D: maps here
    long files = 0;
    int64_t bytes = 0;
};

Tree Generate(long count) {
    Tree t;
    char tmpl[] = "/tmp/hvbench-run-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        exit(1);
    }
    t.root = tmpl;
    std::mt19937 rng(static_cast<unsigned>(count));
    const fs::path work = fs::path(t.root) / "Work";
    for (long i = 0; i < count; ++i) {
        const fs::path dir = work / ("part " + std::to_string(i / 1000)) / ("dir" + std::to_string(i / 100 % 10));
        if (i % 100 == 0) fs::create_directories(dir);
        const unsigned kind = rng() % 100;
        std::string content, ext;
        if (kind < 72) {
            content = Text(rng, 100 + rng() % 2400);
            ext = ".txt";
        } else if (kind < 97) {
            content = Binary(rng, 256 + rng() % 2800);
            ext = ".dat";
        } else {
            content = Text(rng, 4000 + rng() % 4000);
            ext = ".log";
        }
        std::ofstream(dir / ("file " + std::to_string(i) + ext), std::ios::binary) << content;
        ++t.files;
        t.bytes += static_cast<int64_t>(content.size());
    }
    fs::create_directories(fs::path(t.root) / "Prog" / "Projects");
    fs::create_directories(fs::path(t.root) / "tmp");
    std::ofstream(fs::path(t.root) / "Prog" / "halvora.ini", std::ios::binary)
        << "[Drives]\r\nD=\"" << t.root << "\"\r\n\r\n[Configuration]\r\nMainPrjCount=0\r\n\r\n";
    return t;
}

void MakeProject(const Tree& t, const std::string& name, uint8_t arcType) {
    fs::create_directories(fs::path(t.root) / "Arc" / name);
    hv::THL_HalvoraProject p;
    p.FileName = "D:\\Prog\\Projects\\" + name + ".hlj";
    p.SetName(name);
    p.SetRootDir("D:\\Work");
    p.IncludeAllFiles = true;
    p.IncludeSubDirs = true;
    p.SavePlaces().Add("D:\\Arc\\" + name);
    p.ArcType = arcType;
    p.CompressType = 2;
    p.SaveToFile();
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Wall time of a shell command; negative when it failed.
double Time(const std::string& cmd) {
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    const double s = Seconds(std::chrono::steady_clock::now() - t0);
    return WIFEXITED(rc) && WEXITSTATUS(rc) == 0 ? s : -s;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

std::string Archive(const Tree& t, const std::string& name) {
    for (const auto& e : fs::directory_iterator(fs::path(t.root) / "Arc" / name))
        if (e.is_regular_file()) return e.path().string();
    return {};
}

// Whether two trees hold the same files with the same bytes.
bool SameTree(const std::string& a, const std::string& b) {
    const std::string cmd = "diff -r -q " + Quote(a) + " " + Quote(b) + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

struct Row {
    long files = 0;
    int64_t bytes = 0;
    double ownRun = 0, arjRun = 0, ownRestore = 0, arjRestore = 0;
    int64_t ownSize = 0, arjSize = 0;
    bool ok = true;
};

Row Measure(long count) {
    Row r;
    printf("generating %ld files...\n", count);
    fflush(stdout);
    const Tree t = Generate(count);
    r.files = t.files;
    r.bytes = t.bytes;
    hv::SetDriveMap({{'C', "/"}, {'D', t.root}});
    MakeProject(t, "Own", 1);
    MakeProject(t, "Arj", 2);
    const std::string env = "HALVORA_HOME=" + Quote(t.root + "/Prog") + " TMPDIR=" +
                            Quote(t.root + "/tmp") + " HALVORA_CMD=" + Quote(kTools + "/halvora-cmd") +
                            " ";
    // Warm the cache for both sides alike.
    if (std::system(("tar cf - -C " + Quote(t.root) + " Work >/dev/null").c_str()) != 0) r.ok = false;
    r.ownRun = Time(env + Quote(kTools + "/halvora-run") + " Own");
    r.arjRun = Time(env + Quote(kTools + "/halvora-run") + " Arj");
    const std::string own = Archive(t, "Own"), arj = Archive(t, "Arj");
    r.ownSize = own.empty() ? 0 : static_cast<int64_t>(fs::file_size(own));
    r.arjSize = arj.empty() ? 0 : static_cast<int64_t>(fs::file_size(arj));
    const std::string outOwn = t.root + "/out-own", outArj = t.root + "/out-arj";
    fs::create_directories(outOwn);
    fs::create_directories(outArj);
    r.ownRestore = Time(Quote(kTools + "/pkk") + " x -o " + Quote(outOwn) + " " + Quote(own));
    r.arjRestore = Time("cd " + Quote(outArj) + " && arj x -y " + Quote(arj));
    r.ok = r.ownRun > 0 && r.arjRun > 0 && r.ownRestore > 0 && r.arjRestore > 0 &&
           SameTree(t.root + "/Work", outOwn) && SameTree(t.root + "/Work", outArj);
    std::error_code ec;
    fs::remove_all(t.root, ec);
    return r;
}

const char* Verdict(bool met) {
    return met ? "met" : "missed";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(atol(argv[i]));
    if (sizes.empty()) sizes = {2000, 20000};
    if (std::system("command -v arj >/dev/null 2>&1") != 0) {
        printf("arj not found (apt-get install arj): nothing to compare with\n");
        return 1;
    }
    std::vector<Row> rows;
    for (long n : sizes) rows.push_back(Measure(n));

    printf("\n%7s %6s %9s %9s %6s %10s %9s %6s %9s %9s\n", "files", "MB", "own run", "arj run",
           "ratio", "pkk x", "arj x", "ratio", "own MB", "arj MB");
    bool ok = true;
    for (const Row& r : rows) {
        printf("%7ld %6.1f %8.2fs %8.2fs %6.2f %9.2fs %8.2fs %6.2f %9.1f %9.1f%s\n", r.files,
               r.bytes / 1e6, r.ownRun, r.arjRun, r.ownRun / r.arjRun, r.ownRestore, r.arjRestore,
               r.ownRestore / r.arjRestore, r.ownSize / 1e6, r.arjSize / 1e6,
               r.ok ? "" : "  FAILED (a run failed or a restore differs)");
        ok &= r.ok;
    }
    printf("\n");
    for (const Row& r : rows) {
        printf("%ld files: own run %.2fx arj (goal <= 1.0x) -> %s; restore %.2fx arj x (goal <= 1.5x) -> %s\n",
               r.files, r.ownRun / r.arjRun, Verdict(r.ownRun <= r.arjRun),
               r.ownRestore / r.arjRestore, Verdict(r.ownRestore <= 1.5 * r.arjRestore));
    }
    if (rows.size() >= 2) {
        const Row& a = rows.front();
        const Row& b = rows.back();
        const double files = static_cast<double>(b.files) / a.files;
        const double own = b.ownRun / a.ownRun, arj = b.arjRun / a.arjRun;
        const double restore = b.ownRestore / a.ownRestore, arjx = b.arjRestore / a.arjRestore;
        printf("growth %ld -> %ld files (%.0fx): own run %.1fx (goal <= %.0fx) -> %s, arj run %.1fx; "
               "pkk x %.1fx, arj x %.1fx\n",
               a.files, b.files, files, own, 1.1 * files, Verdict(own <= 1.1 * files), arj, restore, arjx);
    }
    return ok ? 0 : 1;
}
