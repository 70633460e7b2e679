// halvora-run: runs backup projects without windows, for schedulers such as cron.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dialogs/Progress.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "run/RunDriver.h"
#include "settings/IniFile.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"

namespace {

std::atomic<bool> g_interrupted{false};

void OnSignal(int) { g_interrupted = true; }

// Progress on stderr: the title and message lines as they change, a percent
// line while stderr is a terminal.
class TerminalProgress : public hv::ProgressSink {
public:
    TerminalProgress() : tty_(isatty(STDERR_FILENO) != 0) {}
    void InitBars(int mode, int min1, int max1, int, int) override {
        if (mode <= 1) {
            min_ = min1;
            max_ = max1 < min1 ? min1 : max1;
            pos_ = min_;
        }
    }
    void PosBar(int bar, int position) override {
        if (bar != 1) return;
        pos_ = position;
        if (!tty_ || max_ <= min_) return;
        PrintTitle();
        int pct = static_cast<int>(100LL * (pos_ - min_) / (max_ - min_));
        if (pct != shown_) {
            shown_ = pct;
            std::fprintf(stderr, "\r%3d%%", pct);
            partial_ = true;
        }
    }
    void Mess(int kind, const std::string& text) override {
        if (text.empty()) return;
        // A title is printed only once something happens under it: a project
        // whose archive is current says nothing.
        if (kind == 0) {
            title_ = text;
            return;
        }
        PrintTitle();
        std::fprintf(stderr, "   %s\n", hv::AnsiToUtf8(text).c_str());
    }
    void Complete() override { pos_ = max_; }
    int GetMax1() const override { return max_; }
    bool Interrupted() const override { return g_interrupted; }
    void SetInterrupted(bool value) override { g_interrupted = value; }
    void Close() override {
        EndPartial();
        title_.clear();
    }

private:
    void PrintTitle() {
        EndPartial();
        if (title_.empty()) return;
        std::fprintf(stderr, "== %s\n", hv::AnsiToUtf8(title_).c_str());
        title_.clear();
    }
    void EndPartial() {
        if (partial_) std::fputc('\n', stderr);
        partial_ = false;
        shown_ = -1;
    }
    bool tty_;
    bool partial_ = false;
    std::string title_;
    int min_ = 0, max_ = 100, pos_ = 0, shown_ = -1;
};

int Usage(FILE* to) {
    std::fprintf(to,
                 "usage: halvora-run [--rebuild] [--net] [--wait] --checked\n"
                 "       halvora-run [--rebuild] [--net] [--wait] PROJECT...\n"
                 "Runs every checked project of the list (--checked) or the named project files\n"
                 "with the projects they depend on, builds their archives and copies them to\n"
                 "their storage places. A bare PROJECT name is looked up in the projects\n"
                 "directory. --rebuild builds the named projects anew; --net also copies to\n"
                 "network places; --wait waits for another run of the same program directory\n"
                 "to end instead of refusing to start. Exit status: 0 every project ended\n"
                 "with a current archive holding every selected file, 3 the archives were\n"
                 "made but files had to be left out (named on stderr), 1 a project failed,\n"
                 "was stopped or nothing was run, 2 wrong usage.\n");
    return to == stdout ? 0 : 2;
}

// A project named on the command line as a Windows path.
std::string ProjectPath(const std::string& arg) {
    struct stat st;
    if (arg.find('/') != std::string::npos || stat(arg.c_str(), &st) == 0) {
        char buf[4096];
        std::string abs = arg[0] == '/' ? arg : std::string(getcwd(buf, sizeof buf) ? buf : "/") + "/" + arg;
        auto w = hv::ToWindowsPath(abs);
        return w ? *w : hv::Utf8ToAnsi(arg);
    }
    std::string name = hv::Utf8ToAnsi(arg);
    if (name.size() > 1 && name[1] == ':') return name;
    if (hv::ExtractFileExt(name).empty()) name += ".hlj";
    return hv::workdirs::ProjectsDir() + name;
}

// One line per project on stderr, then every file left out by its Linux name.
void PrintSummary(const std::vector<hv::TRunDriver::ProjectResult>& results) {
    using Status = hv::TRunDriver::ProjectResult::Status;
    size_t skipped = 0;
    for (const auto& r : results) {
        const char* what = r.status == Status::Built      ? "archive built"
                           : r.status == Status::UpToDate ? "archive up to date"
                           : r.status == Status::Stopped  ? "stopped"
                                                          : "FAILED";
        std::fprintf(stderr, "halvora-run: %s: %s%s\n", hv::AnsiToUtf8(r.name).c_str(), what,
                     r.skipped.empty() ? "" : ", files left out");
        skipped += r.skipped.size();
    }
    if (skipped == 0) return;
    std::fprintf(stderr, "halvora-run: %zu file(s) left out:\n", skipped);
    for (const auto& r : results)
        for (const auto& f : r.skipped)
            std::fprintf(stderr, "  %s: %s\n", f.utf8.c_str(), hv::AnsiToUtf8(f.reason).c_str());
}

int Run(int argc, char** argv) {
    bool rebuild = false, net = false, checked = false, wait = false;
    std::vector<std::string> projects;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") return Usage(stdout);
        if (a == "--rebuild") rebuild = true;
        else if (a == "--net") net = true;
        else if (a == "--checked") checked = true;
        else if (a == "--wait") wait = true;
        else if (!a.empty() && a[0] == '-') return Usage(stderr);
        else projects.push_back(a);
    }
    if (checked == !projects.empty()) return Usage(stderr);

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    hv::workdirs::InitWorkDirs();
    hv::T_PrjList list;
    hv::THL_ArcList arcs;
    hv::LoadProjectList(hv::SettingsIni(), list, &arcs);

    TerminalProgress progress;
    hv::TRunDriver driver(list, arcs, progress);
    driver.ToNetwork = net;
    driver.WaitForLock = wait;
    driver.OnShowOutput = [](const std::string& file) {
        auto posix = hv::ToPosixPath(file);
        if (!posix) return;
        std::ifstream in(*posix, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        std::string out = hv::OemToUtf8(text.str());
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    };

    bool ok = true;
    std::vector<hv::TRunDriver::ProjectResult> results;
    if (checked) {
        ok = driver.RunProjects(std::string(), false, false);
        results = driver.Results();
        if (ok && results.empty()) {
            std::fprintf(stderr, "halvora-run: no checked project in the list\n");
            return 1;
        }
    } else {
        for (const auto& p : projects) {
            if (!driver.RunProjects(ProjectPath(p), false, rebuild)) ok = false;
            results.insert(results.end(), driver.Results().begin(), driver.Results().end());
            if (g_interrupted || driver.Stopped()) break;
        }
    }
    PrintSummary(results);
    if (g_interrupted) {
        std::fprintf(stderr, "halvora-run: stopped\n");
        return 1;
    }
    if (!ok) return 1;
    for (const auto& r : results)
        if (!r.skipped.empty()) return 3;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        // Whatever the run did not catch still ends as a message the terminal can show.
        std::fprintf(stderr, "halvora-run: %s\n", hv::AnsiToUtf8(e.what()).c_str());
        return 1;
    }
}
