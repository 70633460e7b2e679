// TFormSetProject: the window in which one backup project is edited.
//
// It never edits the caller's project: it loads a private copy from the same
// project file, applies the controls to the copy, writes the copy to its file
// and makes the caller's project reload that file. A disk browser marks every
// file with the verdict of the copy's rules, and the page "Файлы" lists what
// the rules select, with counts and sizes of what they take and leave out.
// Most editing is done by dragging entries from the browser (or from
// "Значение", or files from the desktop) onto the lists and fields.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QListWidget;
class QMimeData;
class QMenu;
class QActionGroup;

namespace Ui {
class FormSetProject;
}

namespace hv {

class THL_Directory;
class THL_HalvoraProject;
class TBrowserModel;
class TFoundModel;
class TBrowserView;
struct TFoundRow;

class TFormSetProject : public QDialog {
    Q_OBJECT
  public:
    // The sort settings come from the settings record.
    explicit TFormSetProject(QWidget* parent = nullptr);
    ~TFormSetProject() override;

    void SetCallerProject(THL_HalvoraProject* project) { callerProject_ = project; }
    THL_HalvoraProject* CallerProject() const { return callerProject_; }
    // Opens the caller's project and shows the window modally: Accepted when
    // it was closed through "Закончить", Rejected through "Закрыть" or Esc,
    // or when there was nothing to open.
    int Execute();
    // The project file was written while the window was open (the caller's
    // project has been reloaded from it).
    bool SavedAny() const { return savedAny_; }
    // The sort settings into the settings record (program end).
    void SaveSortSettings() const;

    // ---- state ----------------------------------------------------------------
    THL_HalvoraProject* Project() const { return project_.get(); }
    const std::string& OpenedFileName() const { return openedFileName_; }
    // 0 while editing; 2 after "Закрыть" or Esc; 3 after "Закончить".
    int CloseMode() const { return closeMode_; }
    bool Modified() const { return modified_; }
    bool Saved() const { return saved_; }
    const std::string& CurrentDir() const { return currentDir_; }
    THL_Directory* CurrentNode() const { return currentNode_; }
    // The found-files scan is running.
    bool Scanning() const { return scanning_; }

    // ---- operations -----------------------------------------------------------
    void MarkChanged();
    // Applies when something changed; a successful apply refreshes the
    // browser page that is showing (the other one when it is shown next).
    void ApplyIfChanged();
    // The controls into the working copy; false (with a message) at the first failure.
    bool Apply();
    enum class SaveResult { Saved, Declined, Failed };
    // Applies and writes the copy; asks before writing over another existing
    // file (Declined on "no"). Write errors are raised.
    SaveResult Save();
    // The project file again into the copy and the controls; changes are lost.
    void Reload();
    // "DISKS": the drive list; empty: the current directory.
    void ShowDir(const std::string& path);
    void ShowDrives();
    // The found files scanned again (a running scan is stopped and started anew).
    void RefreshFound();
    void StopScan();
    // Stores the node shown so far, then shows Node (null: none).
    void OpenNode(THL_Directory* node);
    // The data a drag started at Source carries.
    QMimeData* DragMime(QWidget* source) const;

  protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // One entry a drop brings from the disk browser, "Значение" or the desktop.
    struct DragItem {
        std::string dir;    // SelDir
        std::string file;   // SelFile (empty for directories and drives)
        std::string value;  // SelValue
    };

    void Open();
    void Finish(int mode);
    void FillControls();
    void FillNodeControls(const THL_Directory& node);
    void StoreNode(THL_Directory& node);
    void ShowNodeRules(bool own);
    void FillDependencies();
    void FillDirNodes();
    void NameEdited();
    void ArcTypeChanged();
    void AllFilesClicked(bool project);
    void PrjPropertyClicked();
    void DataPageChanged(int index);
    void BrowserPageChanged();
    void SaveClicked();
    void SaveExitClicked();
    void ReloadClicked();
    // The volume size of cbVolumeSize; a bad one is warned and becomes 0.
    bool ApplyVolumeSize();
    void SetSaved(bool saved);
    void ShowTitleFound();
    void ShowDirName();

    // ---- the disk browser ---------------------------------------------------------
    void ListDir(const std::string& dir, const std::string& select);
    void ItemActivated(int row);
    void CurrentItemChanged(int row);
    DragItem ItemValues(int row) const;
    void MakeDir();
    void RemoveDirItem();
    void BrowserMenu(const QPoint& at);
    void SortChanged();
    void RefreshShownPage();
    std::string DriveOf(const std::string& dir) const;
    int DriveImage(const std::string& drive) const;

    // ---- the found files --------------------------------------------------------------
    void FoundHeaderClicked(int column);
    void ScanTick();
    void ShowFoundCounts();

    // ---- drag and drop -------------------------------------------------------------
    void WatchDrops(QWidget* target);
    void WatchDrags(QWidget* source);
    void StartDrag(QWidget* source);
    // The source control of a drag of this window, or null (from outside or another window).
    QWidget* DragSource(const QMimeData* mime) const;
    bool CanDrop(QWidget* target, const QMimeData* mime) const;
    // Plain text from another program onto an edit: the edit's own drop.
    bool PlainTextDrop(const QWidget* target, const QMimeData* mime) const;
    void Drop(QWidget* target, const QMimeData* mime, const QPoint& pos);
    // The entries a drop brings as browser items; paths from the desktop that
    // lie outside every drive are refused with a message.
    std::vector<DragItem> DroppedItems(QWidget* source, const QMimeData* mime) const;
    bool DropItem(QWidget* target, const DragItem& item);
    bool DropFoundRow(QWidget* target, const TFoundRow& row);
    // Adds Value to List unless it holds it ("Уже имеется"); true when added.
    bool AddUnique(QListWidget* list, const std::string& value);
    bool AddFileEntry(QListWidget* list, const std::string& file);
    bool AddDependency(const std::string& file);
    bool AddDirNode(const std::string& dir);
    void MoveSavePlace(const QPoint& pos);
    void Recycle(QWidget* source);
    bool IsNodeList(const QWidget* w) const;
    QListWidget* Partner(QListWidget* list) const;
    bool AllFilesFor(const QWidget* extList) const;

    std::unique_ptr<Ui::FormSetProject> ui_;
    THL_HalvoraProject* callerProject_ = nullptr;
    std::unique_ptr<THL_HalvoraProject> project_;
    std::string openedFileName_;
    int closeMode_ = 0;
    bool modified_ = false;
    bool saved_ = false;
    int loading_ = 0;
    bool savedAny_ = false;
    std::string currentDir_;
    std::string currentDrive_;
    bool showingDrives_ = false;
    std::string selDir_, selFile_, selValue_;
    THL_Directory* currentNode_ = nullptr;
    int previousDataPage_ = 0;

    // Sort settings.
    int sortBy_ = 0;
    bool sortAscend_ = false;
    bool sortInclude_ = false;
    int fileSortColumn_ = 0;
    bool fileSortAscend_ = false;

    TBrowserModel* diskModel_;
    TFoundModel* foundModel_;
    QMenu* menuLva_;
    bool diskDirty_ = false;
    bool foundDirty_ = true;

    // The found-files scan.
    bool scanning_ = false;
    bool rescan_ = false;
    bool scanStopped_ = false;
    int pendingClose_ = 0;
    struct ScanState;
    std::unique_ptr<ScanState> scan_;

    // Drags: the controls watched (item views through their viewports).
    std::map<QObject*, QWidget*> dropTargets_;
    std::map<QObject*, QWidget*> dragSources_;
    QPoint pressPos_;
    QPointer<QWidget> pressSource_;
};

}  // namespace hv
