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
        int pct = static_cast<int>(100LL * (pos_ - min_) / (max_ - min_));
        if (pct != shown_) {
            shown_ = pct;
            std::fprintf(stderr, "\r%3d%%", pct);
            partial_ = true;
        }
    }
    void Mess(int kind, const std::string& text) override {
        if (text.empty()) return;
        EndPartial();
        std::fprintf(stderr, "%s%s\n", kind == 0 ? "== " : "   ", hv::AnsiToUtf8(text).c_str());
    }
    void Complete() override { pos_ = max_; }
    int GetMax1() const override { return max_; }
    bool Interrupted() const override { return g_interrupted; }
    void SetInterrupted(bool value) override { g_interrupted = value; }
    void Close() override { EndPartial(); }

private:
    void EndPartial() {
        if (partial_) std::fputc('\n', stderr);
        partial_ = false;
        shown_ = -1;
    }
    bool tty_;
    bool partial_ = false;
    int min_ = 0, max_ = 100, pos_ = 0, shown_ = -1;
};

int Usage(FILE* to) {
    std::fprintf(to,
                 "usage: halvora-run [--rebuild] [--net] --checked\n"
                 "       halvora-run [--rebuild] [--net] PROJECT...\n"
                 "Runs every checked project of the list (--checked) or the named project files\n"
                 "with the projects they depend on, builds their archives and copies them to\n"
                 "their storage places. A bare PROJECT name is looked up in the projects\n"
                 "directory. --rebuild builds the named projects anew; --net also copies to\n"
                 "network places. Exit status: 0 every project ran, 1 one failed or was\n"
                 "stopped, 2 wrong usage.\n");
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

}  // namespace

int main(int argc, char** argv) {
    bool rebuild = false, net = false, checked = false;
    std::vector<std::string> projects;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") return Usage(stdout);
        if (a == "--rebuild") rebuild = true;
        else if (a == "--net") net = true;
        else if (a == "--checked") checked = true;
        else if (!a.empty() && a[0] == '-') return Usage(stderr);
        else projects.push_back(a);
    }
    if (checked == !projects.empty()) return Usage(stderr);

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    try {
        hv::workdirs::InitWorkDirs();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "halvora-run: %s\n", hv::AnsiToUtf8(e.what()).c_str());
        return 1;
    }
    hv::T_PrjList list;
    hv::THL_ArcList arcs;
    try {
        hv::LoadProjectList(hv::SettingsIni(), list, &arcs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "halvora-run: %s\n", hv::AnsiToUtf8(e.what()).c_str());
        return 1;
    }

    TerminalProgress progress;
    hv::TRunDriver driver(list, arcs, progress);
    driver.ToNetwork = net;
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
    if (checked) {
        ok = driver.RunProjects(std::string(), false, false);
    } else {
        for (const auto& p : projects) {
            if (!driver.RunProjects(ProjectPath(p), false, rebuild)) {
                ok = false;
                break;
            }
        }
    }
    if (g_interrupted) {
        std::fprintf(stderr, "halvora-run: stopped\n");
        return 1;
    }
    return ok ? 0 : 1;
}
