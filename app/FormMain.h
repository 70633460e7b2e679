// TFormMain: the main window. It owns the project list, the archiver
// settings and the current project, shows the list twice (projects and
// archives), runs the selected or every checked project with a progress
// window, and edits the archiver templates.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>

#include "app/LaterForms.h"
#include "dialogs/FormView.h"
#include "pack/ArcForm.h"
#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "util/StringList.h"

namespace Ui {
class FormMain;
}

namespace hv {

class TFormBar;
class TFormSetProject;
class THL_HalvoraProject;
class TPrjListModel;
class TPrjView;

class TFormMain : public QMainWindow {
    Q_OBJECT
  public:
    // Creates the members, loads the project list and the archiver settings
    // from the settings file and sets the views up from the Configuration record.
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // The windows it hands work to; without a viewer it makes its own.
    void SetViewer(TFormView* viewer) { viewer_ = viewer; }
    void SetArchiveBrowser(TFormArc* browser) { browser_ = browser; }

    T_PrjList& ProjectList() { return list_; }
    THL_ArcList& ArcSettingsList() { return arcs_; }
    THL_HalvoraProject& CurrentProject() { return *current_; }
    // The progress window of the run in progress; null outside a run.
    TFormBar* RunProgressWindow() const { return runBar_; }
    bool Running() const { return running_; }

    TPrjView* ProjectView() const;
    TPrjView* ArchiveView() const;

    // The list from the settings file (views filled, selection restored) and
    // the archiver settings after it.
    void LoadProjectList();
    // The list, the selection and the archiver settings into the settings file.
    void SaveProjectList();
    // Rebuilds both views; the selected rows are found again by their caption.
    void FillViews();
    void SetListStyle(bool list);

    // FileName empty: every checked entry (or, with RefreshRun, the entries
    // marked for refresh). The window is disabled while it runs and enabled
    // again however the run ends. False when a project failed or the run was stopped.
    bool RunProjects(const std::string& fileName, bool refreshRun, bool rebuild);
    // "Выделенный" (All false) and "Все отмеченные" (All true).
    void RunButton(bool all);

    // The selected row of the active page's view made the current project;
    // the row, or -1 when none is selected.
    int SelectCurrentProject();
    // Raises the silent abort after "Не найден файл проекта" when FileName is missing.
    void LoadCurrentProject(const std::string& fileName);

    // The archiver settings page for the tab chosen in tcArc.
    void ShowArcPage();
    // "OK": the edits into the record of the chosen tab.
    void SaveArcPage();

    // The page "Delphi": collects the files of the project in edDPrj.
    void CollectDelphi();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void PageChanged();
    void ViewRowSelected(TPrjView* from, TPrjView* to, int row);
    void ArcTipWindows();
    void Look();
    void ShowOutput(const std::string& outputFile);
    void ChooseDelphiFile();
    THL_ArcBase* ChosenArcRecord() const;

    std::unique_ptr<Ui::FormMain> ui_;
    THL_ArcList arcs_;
    TStringList delphiFiles_;
    T_PrjList list_;
    std::unique_ptr<THL_HalvoraProject> current_;
    TPrjListModel* prjModel_;
    TPrjListModel* arcModel_;
    QPointer<TFormBar> runBar_;
    bool running_ = false;
    // The progress window of a long command (a run, a diskette copy): owned by
    // the application, since it must stay enabled while this window is not,
    // and released however the command ends, this window enabled again.
    class TBusyBar {
      public:
        TBusyBar(TFormMain& window, QPointer<TFormBar>& slot);
        ~TBusyBar();
        TBusyBar(const TBusyBar&) = delete;
        TBusyBar& operator=(const TBusyBar&) = delete;
        TFormBar& Bar() const { return *bar_; }

      private:
        TFormMain& window_;
        QPointer<TFormBar>& slot_;
        TFormBar* bar_;
    };
    QPointer<TFormView> viewer_;
    QPointer<TFormArc> browser_;
    std::unique_ptr<TFormView> ownViewer_;

    // ---- diskettes: "Копировать на..." and "Обновить" (Diskette.cpp) ----
  public:
    // The current project's archive files onto its diskette places (A:, B:),
    // asking for media as they are needed; with FileName that project is
    // loaded first.
    void CopyToDiskettes(const std::string& fileName = {});
    // Runs again the projects whose archives are on the medium in A: and
    // copies their new archives onto it.
    void FreshDiskettes();
    // The project's stop state after the last diskette copy.
    bool LastCopyStopped() const { return lastCopyStopped_; }
    // The progress window of the diskette copy in progress; null outside one.
    TFormBar* DisketteProgressWindow() const { return disketteBar_; }

  private:
    void ConnectDisketteCommands();
    bool lastCopyStopped_ = false;
    QPointer<TFormBar> disketteBar_;
    // ---- project commands (PrjCommands.cpp) -------------------------------------------
  public:
    // The editor the commands open; without one the window makes its own child.
    void SetProjectEditor(TFormSetProject* editor);
    TFormSetProject* ProjectEditor();
    // "Новый": a new project file ProjectN.hlj (PrjN.hlj) edited at once.
    void NewProject();
    // "Открыть": a project file chosen in the file dialog.
    void AddExistingProject();
    // The checks of "Открыть" for Path, then a new entry for it.
    void AddProjectFile(const std::string& path);
    // "Изменить": the selected entry's project in the editor.
    void EditSelected();
    // The current project in the editor for entry Index; true when the editor was confirmed.
    bool EditProject(int index);
    // "Удалить": remove from the list, erase from disk, or nothing.
    void DeleteChoice();
    void RemoveFromList();
    // Deletes the selected entry's project file (nothing else) and the entry.
    void EraseFromDisk();
    void RemoveEntry(int index);
    // "Сохранить как...": a copy of the selected project under a new file.
    void SaveProjectAs();
    // Space, or a double click on the image: only a valid entry changes.
    void ToggleCheck(int row);
    void MoveEntry(int from, int to);

  private:
    void ConnectProjectCommands();
    QPointer<TFormSetProject> editor_;
};

}  // namespace hv
