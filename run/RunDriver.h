// The run driver: runs the selected project or every checked one, each after
// the projects it depends on have been gathered, builds and distributes their
// archives and hands the archivers' output to a viewer.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "project/HLObject.h"

namespace hv {

class ProgressSink;
class TStringList;
class T_PrjList;
class THL_ArcList;

class TRunDriver {
public:
    TRunDriver(T_PrjList& list, THL_ArcList& arcSettings, ProgressSink& progress);
    ~TRunDriver();

    // Include the network places when distributing ("В сеть").
    bool ToNetwork = false;
    // Wait for another run of the same program directory to end instead of
    // refusing to start (the progress window's stop ends the wait).
    bool WaitForLock = false;
    // Shown the run output file (OEM text) after the run, and after a project
    // whose archiver failed.
    std::function<void(const std::string& outputFile)> OnShowOutput;
    // Called on every turn of a wait and after every progress update.
    std::function<void()> MessagePump;

    // How one gathered project ended.
    struct ProjectResult {
        enum class Status { Built, UpToDate, Failed, Stopped };
        std::string file;  // full project file name
        std::string name;  // the project's name, or the file when it could not be read
        Status status = Status::Failed;
        // Files its run had to leave out.
        std::vector<THL_HalvoraProject::SkippedFile> skipped;
    };

    // FileName empty: every entry that IsChecked (or, with RefreshRun, is
    // MarkedForRefresh). Rebuild applies to FileName alone. True when every
    // gathered project ended with an up-to-date archive; false when one could
    // not (no storage place, not a project, a failing run) or the run ended
    // early (stop, another run holding the lock) — the reason has been shown.
    bool RunProjects(const std::string& fileName, bool refreshRun, bool rebuild);

    // The projects of the last run in the order they were met.
    const std::vector<ProjectResult>& Results() const { return results_; }
    // Files the last run left out, over all its projects.
    size_t SkippedCount() const;
    bool Stopped() const { return stopped_; }
    // The last project the run loaded (the window's current project after a run); null before.
    std::unique_ptr<THL_HalvoraProject> TakeLastProject() { return std::move(project_); }

    // Appends FileName (in its full form) and, recursively, the projects it
    // depends on that are not in List yet. A missing file adds nothing. A
    // file that cannot be read as a project goes to OnError (which may go on)
    // and adds nothing; without OnError the error is raised.
    using GatherError = std::function<void(const std::string& file, const std::exception& error)>;
    static void CollectProjectFiles(TStringList& list, const std::string& fileName,
                                    const GatherError& onError = nullptr);

private:
    bool RunGathered(const TStringList& files, const std::string& fileName, bool rebuild);
    void RunOne(THL_HalvoraProject& p);
    void ShowOutput();
    void Pump();

    T_PrjList& list_;
    THL_ArcList& arcs_;
    ProgressSink& progress_;
    std::vector<ProjectResult> results_;
    std::unique_ptr<THL_HalvoraProject> project_;
    bool stopped_ = false;
};

}  // namespace hv
