// The run driver: runs the selected project or every checked one, each after
// the projects it depends on have been gathered, builds and distributes their
// archives and hands the archivers' output to a viewer.
#pragma once

#include <functional>
#include <string>

namespace hv {

class ProgressSink;
class TStringList;
class T_PrjList;
class THL_ArcList;

class TRunDriver {
public:
    TRunDriver(T_PrjList& list, THL_ArcList& arcSettings, ProgressSink& progress)
        : list_(list), arcs_(arcSettings), progress_(progress) {}

    // Include the network places when distributing ("В сеть").
    bool ToNetwork = false;
    // Shown the run output file (OEM text) when every project ran.
    std::function<void(const std::string& outputFile)> OnShowOutput;
    // Called on every turn of a wait and after every progress update.
    std::function<void()> MessagePump;

    // FileName empty: every entry that IsChecked (or, with RefreshRun, is
    // MarkedForRefresh). Rebuild applies to FileName alone. True when every
    // gathered project ran; false when the run ended early (stop, missing
    // file, failing project) — the reason has been shown.
    bool RunProjects(const std::string& fileName, bool refreshRun, bool rebuild);

    // Appends FileName (in its full form) and, recursively, the projects it
    // depends on that are not in List yet. A missing file adds nothing.
    static void CollectProjectFiles(TStringList& list, const std::string& fileName);

private:
    bool RunGathered(const TStringList& files, const std::string& fileName, bool rebuild);
    void Pump();

    T_PrjList& list_;
    THL_ArcList& arcs_;
    ProgressSink& progress_;
};

}  // namespace hv
