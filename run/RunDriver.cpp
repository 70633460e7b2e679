#include "run/RunDriver.h"

#include <memory>

#include "dialogs/Messages.h"
#include "dialogs/Progress.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "project/HLObject.h"
#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "settings/WorkDirs.h"
#include "util/StringList.h"

namespace hv {

namespace {

// The full form of a project file name, as the project itself computes it.
std::string FullProjectName(const std::string& fileName) {
    THL_HalvoraProject probe;
    probe.FileName = fileName;
    return ExpandFileName(probe.GetFileName());
}

std::string WithName(std::string text, const std::string& name) {
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name);
    return text;
}

// Run hooks of the project class are process-wide; put them back however the run ends.
class PumpGuard {
public:
    explicit PumpGuard(std::function<void()> pump) : old_(THL_HalvoraProject::RunMessagePump) {
        THL_HalvoraProject::RunMessagePump = std::move(pump);
    }
    ~PumpGuard() { THL_HalvoraProject::RunMessagePump = old_; }
    PumpGuard(const PumpGuard&) = delete;
    PumpGuard& operator=(const PumpGuard&) = delete;

private:
    std::function<void()> old_;
};

}  // namespace

void TRunDriver::Pump() {
    if (MessagePump) MessagePump();
}

void TRunDriver::CollectProjectFiles(TStringList& list, const std::string& fileName) {
    // Names are compared and stored in their full form, so one project named
    // two ways runs once and the current directory never decides anything.
    const std::string full = FullProjectName(fileName);
    if (!FileExists(full)) return;
    auto project = std::make_unique<THL_HalvoraProject>();
    project->FileName = full;
    project->LoadFromFile();
    if (list.IndexOf(full) < 0) list.Add(full);
    const TStringList& deps = project->Projects();
    for (int i = 0; i < deps.Count(); ++i) {
        const std::string dep = FullProjectName(deps[i]);
        if (list.IndexOf(dep) < 0) CollectProjectFiles(list, dep);
    }
}

bool TRunDriver::RunProjects(const std::string& fileName, bool refreshRun, bool rebuild) {
    CurrentDirGuard cwd;
    TStringList files;
    progress_.InitBars(0, 0, 100);
    bool completed = false;
    try {
        if (!fileName.empty()) {
            const std::string full = FullProjectName(fileName);
            if (!FileExists(full)) ShowErrorAbort(WithName("Не найден файл проекта \"%s\""_a, full));
            CollectProjectFiles(files, fileName);
        } else {
            for (int i = 0; i < list_.GetCount(); ++i) {
                const T_Prj* p = list_.Items(i);
                if (refreshRun ? p->MarkedForRefresh : p->IsChecked())
                    CollectProjectFiles(files, p->FileName);
            }
        }
        DeleteFile(THL_HalvoraProject::OutputFileName());
        completed = files.Count() == 0 || RunGathered(files, fileName, rebuild);
    } catch (const EAbort&) {
        completed = false;
    }
    progress_.Close();
    return completed;
}

bool TRunDriver::RunGathered(const TStringList& files, const std::string& fileName, bool rebuild) {
    const std::string given = fileName.empty() ? std::string() : FullProjectName(fileName);
    std::unique_ptr<THL_HalvoraProject> project;
    PumpGuard pump([this, &project] {
        Pump();
        if (project && progress_.Interrupted()) project->SetStop(true);
    });
    for (int i = 0; i < files.Count(); ++i) {
        const std::string file = files[i];
        SetCurrentDir(workdirs::ProjectsDir());
        if (!FileExists(file)) ShowErrorAbort(WithName("Не найден файл проекта \"%s\""_a, file));
        project = std::make_unique<THL_HalvoraProject>();
        project->FileName = file;
        project->LoadFromFile();
        progress_.InitBars(1, 0, 100);
        if (project->SavePlaces().Count() == 0) {
            ShowError("Не определены пути сохранения файла архива"_a + std::string("\r\n") + file);
            continue;
        }
        // The title needs the archive name, which needs a storage place: set it only now.
        progress_.SetTitle("Формирование архива "_a + project->GetArcFileName());
        project->Rebuild = rebuild && !given.empty() && SameText(file, given);
        THL_HalvoraProject& p = *project;
        try {
            p.OnMessage = [this](const std::string& text, bool& stop) {
                progress_.SetMessage1(text);
                Pump();
                stop = progress_.Interrupted();
            };
            switch (p.ArcType) {
                case kArcNone:
                    // The box, then the project's own error box as for any failure.
                    ShowError("Не определен тип архиватора"_a);
                    throw Exception(EAbort().what());
                case kArcInternal:
                    p.OnCopyProgress = [this](THL_HalvoraProject& sender, int64_t done, int64_t total) {
                        if (total == -1) return;
                        if (total != progress_.GetMax1()) progress_.InitBars(1, 0, static_cast<int>(total));
                        progress_.Pos1(static_cast<int>(done));
                        Pump();
                        sender.SetStop(progress_.Interrupted());
                    };
                    p.MakeArchive();
                    break;
                case kArcArj:
                case kArcZip:
                case kArcRar: {
                    const THL_ArcBase* rec = arcs_.FindByType(p.ArcType);
                    if (rec) {
                        p.Template = p.CompressType == 3 ? rec->ArcSE : rec->Arc;
                        p.NoComprOption = rec->ArcNC;
                    }
                    p.OnArchiverStart = [this](THL_HalvoraProject& sender) {
                        progress_.SetMessage1("Запущен архиватор"_a);
                        Pump();
                        sender.SetStop(progress_.Interrupted());
                    };
                    p.OnArchiveDone = [this](THL_HalvoraProject& sender) {
                        progress_.SetMessage1("Закончена упаковка"_a);
                        Pump();
                        sender.SetStop(progress_.Interrupted());
                    };
                    p.MakeArchive();
                    break;
                }
                default: throw Exception("Unknown format");
            }
            if (progress_.Interrupted() || p.IsStopped()) return false;
            p.CopyToSavePlaces(ToNetwork);
        } catch (const EAbort&) {
            throw;
        } catch (const std::exception& e) {
            ShowErrorAbort("Ошибка при выполнении проекта "_a + p.Name() + "|\r\n" + e.what());
        }
        progress_.Complete();
        Pump();
    }
    const std::string out = THL_HalvoraProject::OutputFileName();
    if (FileExists(out)) {
        if (OnShowOutput) OnShowOutput(out);
        if (!workdirs::DebugMode()) DeleteFile(out);
    }
    return true;
}

}  // namespace hv
