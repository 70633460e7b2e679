#include "run/RunDriver.h"

#include <memory>

#include "dialogs/Messages.h"
#include "dialogs/Progress.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "run/RunLock.h"
#include "settings/WorkDirs.h"
#include "util/StringList.h"

namespace hv {

namespace {

using Status = TRunDriver::ProjectResult::Status;

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

// The progress window goes however the run ends.
class CloseGuard {
public:
    explicit CloseGuard(ProgressSink& p) : p_(p) {}
    ~CloseGuard() { p_.Close(); }
    CloseGuard(const CloseGuard&) = delete;
    CloseGuard& operator=(const CloseGuard&) = delete;

private:
    ProgressSink& p_;
};

}  // namespace

TRunDriver::TRunDriver(T_PrjList& list, THL_ArcList& arcSettings, ProgressSink& progress)
    : list_(list), arcs_(arcSettings), progress_(progress) {}

TRunDriver::~TRunDriver() = default;

void TRunDriver::Pump() {
    if (MessagePump) MessagePump();
}

size_t TRunDriver::SkippedCount() const {
    size_t n = 0;
    for (const ProjectResult& r : results_) n += r.skipped.size();
    return n;
}

void TRunDriver::CollectProjectFiles(TStringList& list, const std::string& fileName,
                                     const GatherError& onError) {
    // Names are compared and stored in their full form, so one project named
    // two ways runs once and the current directory never decides anything.
    const std::string full = FullProjectName(fileName);
    if (!FileExists(full)) return;
    auto project = std::make_unique<THL_HalvoraProject>();
    project->FileName = full;
    try {
        project->LoadFromFile();
    } catch (const std::exception& e) {
        if (!onError) throw;
        onError(full, e);
        return;
    }
    if (list.IndexOf(full) < 0) list.Add(full);
    const TStringList& deps = project->Projects();
    for (int i = 0; i < deps.Count(); ++i) {
        const std::string dep = FullProjectName(deps[i]);
        if (list.IndexOf(dep) < 0) CollectProjectFiles(list, dep, onError);
    }
}

bool TRunDriver::RunProjects(const std::string& fileName, bool refreshRun, bool rebuild) {
    results_.clear();
    stopped_ = false;
    CurrentDirGuard cwd;
    CloseGuard close(progress_);
    progress_.InitBars(0, 0, 100);
    TRunLock lock;
    try {
        const bool locked = WaitForLock ? lock.Acquire([this] {
            Pump();
            return !progress_.Interrupted();
        })
                                        : lock.TryAcquire();
        if (!locked) {
            if (progress_.Interrupted())
                stopped_ = true;
            else
                ShowError(TRunLock::BusyText());
            return false;
        }

        TStringList files;
        bool ok = true;
        // A file that is no project is named, and the others still run.
        const GatherError unreadable = [this, &ok](const std::string& file, const std::exception& e) {
            ShowError(e.what());
            results_.push_back({file, file, Status::Failed, {}});
            ok = false;
        };
        if (!fileName.empty()) {
            const std::string full = FullProjectName(fileName);
            if (!FileExists(full)) {
                results_.push_back({full, full, Status::Failed, {}});
                ShowErrorAbort(WithName("Не найден файл проекта \"%s\""_a, full));
            }
            CollectProjectFiles(files, fileName, unreadable);
        } else {
            for (int i = 0; i < list_.GetCount(); ++i) {
                const T_Prj* p = list_.Items(i);
                if (refreshRun ? p->MarkedForRefresh : p->IsChecked())
                    CollectProjectFiles(files, p->FileName, unreadable);
            }
        }
        DeleteFile(THL_HalvoraProject::OutputFileName());
        if (files.Count() == 0) return ok;
        return RunGathered(files, fileName, rebuild) && ok;
    } catch (const EAbort&) {
        return false;
    } catch (const std::exception& e) {
        ShowError("Ошибка запуска проектов|"_a + std::string(e.what()));
        return false;
    }
}

void TRunDriver::RunOne(THL_HalvoraProject& p) {
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
            // The title needs the archive name, which needs a storage place and an archiver.
            progress_.SetTitle("Формирование архива "_a + p.GetArcFileName());
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
            progress_.SetTitle("Формирование архива "_a + p.GetArcFileName());
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
        default:
            throw Exception("Unknown format");
    }
}

bool TRunDriver::RunGathered(const TStringList& files, const std::string& fileName, bool rebuild) {
    const std::string given = fileName.empty() ? std::string() : FullProjectName(fileName);
    bool ok = true;
    PumpGuard pump([this] {
        Pump();
        if (project_ && progress_.Interrupted()) project_->SetStop(true);
    });
    for (int i = 0; i < files.Count(); ++i) {
        const std::string file = files[i];
        SetCurrentDir(workdirs::ProjectsDir());
        ProjectResult result{file, file, Status::Failed, {}};
        if (!FileExists(file)) {
            results_.push_back(result);
            ShowErrorAbort(WithName("Не найден файл проекта \"%s\""_a, file));
        }
        project_ = std::make_unique<THL_HalvoraProject>();
        THL_HalvoraProject& p = *project_;
        p.FileName = file;
        try {
            p.LoadFromFile();
            result.name = p.Name();
            progress_.InitBars(1, 0, 100);
            if (p.SavePlaces().Count() == 0) {
                ShowError("Не определены пути сохранения файла архива"_a + std::string("\r\n") + file);
                results_.push_back(result);
                ok = false;
                continue;
            }
            p.Rebuild = rebuild && !given.empty() && SameText(file, given);
            RunOne(p);
            result.skipped = p.Skipped();
            if (progress_.Interrupted() || p.IsStopped()) {
                result.status = Status::Stopped;
                results_.push_back(result);
                stopped_ = true;
                return false;
            }
            p.CopyToSavePlaces(ToNetwork);
            result.status = p.Built() ? Status::Built : Status::UpToDate;
        } catch (const EAbort&) {
            result.skipped = p.Skipped();
            results_.push_back(result);
            throw;
        } catch (const std::exception& e) {
            result.skipped = p.Skipped();
            results_.push_back(result);
            ShowError("Ошибка при выполнении проекта "_a + result.name + "|\r\n" + e.what());
            // The archiver's own messages say what went wrong.
            ShowOutput();
            throw EAbort();
        }
        results_.push_back(result);
        progress_.Complete();
        Pump();
    }
    ShowOutput();
    return ok;
}

void TRunDriver::ShowOutput() {
    const std::string out = THL_HalvoraProject::OutputFileName();
    if (!FileExists(out)) return;
    if (OnShowOutput) OnShowOutput(out);
    if (!workdirs::DebugMode()) DeleteFile(out);
}

}  // namespace hv
