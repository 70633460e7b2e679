// The editor's browsers: the disk listing with the verdict of every file, and
// the files the project selects, scanned so that the window stays alive.
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <utility>

#include "dialogs/FormGet.h"
#include "dialogs/Messages.h"
#include "editor/FitText.h"
#include "editor/SetPrjState.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "ui/QtText.h"
#include "ui_SetPrj.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"

namespace hv {

namespace {

// Files met between two turns of the event loop during a scan.
constexpr int kScanPumpEvery = 256;

// Path of a directory entry: Dir + "\" + Name (a drive root gives "D:\Name").
std::string Join(const std::string& dir, const std::string& name) {
    return AddBackslash(dir) + name;
}

}  // namespace

// ---- the disk listing ------------------------------------------------------------------------

std::string TFormSetProject::DriveOf(const std::string& dir) const {
    return AnsiUpper(ExtractFileDrive(dir));
}

int TFormSetProject::DriveImage(const std::string& drive) const {
    switch (GetDriveType(drive)) {
        case DriveType::Removable:
            return kImgDriveRemovable;
        case DriveType::CdRom:
            return kImgDriveCdRom;
        case DriveType::Remote:
            return kImgDriveNetwork;
        default:
            return kImgDriveFixed;
    }
}

void TFormSetProject::ShowDir(const std::string& path) {
    std::string p = Trim(path);
    if (SameText(p, "DISKS")) {
        ShowDrives();
        return;
    }
    if (p.empty()) p = GetCurrentDir();
    p = RemoveBackslash(p);
    if (!DirectoryExists(DirPath(p))) {
        ShowError("Не найден директорий|"_a + RawText(p));
        return;
    }
    ListDir(p, std::string());
}

void TFormSetProject::ShowDrives() {
    showingDrives_ = true;
    diskDirty_ = false;
    const std::string letters = LogicalDrives();
    std::vector<TBrowserItem> items;
    for (char l : letters) {
        const std::string drive = std::string(1, l) + ":";
        items.push_back({drive, DriveImage(drive) + (SameText(drive, currentDrive_) ? 1 : 0), 0});
    }
    diskModel_->SetItems(std::move(items), {sortBy_, sortAscend_, sortInclude_});
    ui_->lva->SelectRow(std::max(0, diskModel_->Find(currentDrive_)));
    ShowTitleFound();
}

void TFormSetProject::ListDir(const std::string& dir, const std::string& select) {
    const int cur = ui_->lva->CurrentRow();
    const std::string previous =
        !showingDrives_ && SameText(dir, currentDir_) && cur >= 0 && cur < diskModel_->Count()
            ? diskModel_->Item(cur).name
            : std::string();
    currentDir_ = dir;
    currentDrive_ = DriveOf(dir);
    showingDrives_ = false;
    diskDirty_ = false;
    std::vector<TBrowserItem> items;
    const size_t cut = dir.rfind('\\');
    if (cut != std::string::npos) {
        // "..\" and the parent's own name ("..\D:" above a directory at the root).
        const std::string parent = dir.substr(0, cut);
        const size_t up = parent.rfind('\\');
        items.push_back(
            {"..\\" + parent.substr(up == std::string::npos ? 0 : up + 1), kImgParent, 0});
    }
    FindFile ff;
    const uint32_t attrs =
        kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive | kAttrDirectory;
    for (bool ok = ff.First(Join(dir, "*.*"), attrs); ok; ok = ff.Next()) {
        const FindData& d = ff.Data();
        if (d.name == "." || d.name == "..") continue;
        if (d.IsDirectory()) {
            items.push_back({d.name, kImgDir, 0});
            continue;
        }
        const uint8_t verdict =
            project_ ? project_->CheckFile(Join(dir, d.name)) : uint8_t{kVerdictNone};
        items.push_back({d.name, kImgFileUndecided + verdict, d.Size()});
    }
    diskModel_->SetItems(std::move(items), {sortBy_, sortAscend_, sortInclude_});
    int row = select.empty() ? -1 : diskModel_->Find(select);
    if (row < 0 && !previous.empty()) row = diskModel_->Find(previous);
    ui_->lva->SelectRow(std::max(0, row));
    CurrentItemChanged(ui_->lva->CurrentRow());
    ShowTitleFound();
    ui_->sbDiskName->setIcon(EditorImage(DriveImage(currentDrive_) + 1));
}

void TFormSetProject::ShowTitleFound() {
    const QString full = showingDrives_ ? QString() : ToQ(currentDir_);
    bool cut = false;
    ui_->lbTitleFound->setText(
        FitText(full, ui_->lbTitleFound->width(), 4, ui_->lbTitleFound->fontMetrics(), &cut));
    ui_->lbTitleFound->setToolTip(cut ? full : QString());
}

TFormSetProject::DragItem TFormSetProject::ItemValues(int row) const {
    if (row < 0 || row >= diskModel_->Count()) return {};
    const TBrowserItem& it = diskModel_->Item(row);
    if (IsDriveImage(it.image)) {
        const bool network = it.image == kImgDriveNetwork || it.image == kImgDriveNetwork + 1;
        return {network ? std::string() : it.name, std::string(), it.name};
    }
    if (it.image == kImgParent) return {currentDir_, std::string(), AddBackslash(currentDir_)};
    const std::string full = Join(currentDir_, it.name);
    if (it.image == kImgDir || it.image == kImgDirMissing)
        return {full, std::string(), full + "\\"};
    return {currentDir_, full, full};
}

void TFormSetProject::CurrentItemChanged(int row) {
    const DragItem v = ItemValues(row);
    selDir_ = v.dir;
    selFile_ = v.file;
    selValue_ = v.value;
}

void TFormSetProject::ItemActivated(int row) {
    if (row < 0 || row >= diskModel_->Count()) return;
    const TBrowserItem it = diskModel_->Item(row);
    if (IsDriveImage(it.image)) {
        ShowDir(it.name);
    } else if (it.image == kImgDir || it.image == kImgDirMissing) {
        ShowDir(Join(currentDir_, it.name));
    } else if (it.image == kImgParent) {
        if (ui_->pcData->currentWidget() == ui_->tabDir && currentNode_ &&
            SameText(RemoveBackslash(currentDir_), currentNode_->Dir())) {
            ShowError("Уровень является верхним для данного директория"_a);
            return;
        }
        const size_t cut = currentDir_.rfind('\\');
        if (cut == std::string::npos) return;
        const std::string left = currentDir_.substr(cut + 1);
        const std::string parent = currentDir_.substr(0, cut);
        if (!DirectoryExists(DirPath(parent))) {
            ShowError("Не найден директорий|"_a + RawText(parent));
            return;
        }
        ListDir(parent, left);
    }
}

void TFormSetProject::RefreshShownPage() {
    if (ui_->pcBrowser->currentWidget() == ui_->tabFiles) {
        diskDirty_ = true;
        RefreshFound();
    } else {
        foundDirty_ = true;
        if (showingDrives_)
            ShowDrives();
        else if (!currentDir_.empty())
            ListDir(currentDir_, std::string());
    }
}

void TFormSetProject::BrowserPageChanged() {
    if (!project_) return;
    if (ui_->pcBrowser->currentWidget() == ui_->tabFiles) {
        if (foundDirty_) RefreshFound();
    } else if (diskDirty_) {
        diskDirty_ = false;
        if (showingDrives_)
            ShowDrives();
        else if (!currentDir_.empty())
            ListDir(currentDir_, std::string());
    }
}

void TFormSetProject::BrowserMenu(const QPoint& at) {
    const int row = ui_->lva->CurrentRow();
    findChild<QAction*>("mnMakeDir")->setEnabled(!showingDrives_);
    findChild<QAction*>("mnDelDir")
        ->setEnabled(row >= 0 && row < diskModel_->Count() &&
                     diskModel_->Item(row).image == kImgDir);
    menuLva_->popup(at);
}

void TFormSetProject::MakeDir() {
    if (showingDrives_ || currentDir_.empty()) return;
    std::string name;
    if (!InputString("Наименование нового директория"_a, name)) return;
    name = Trim(name);
    if (name.empty()) return;
    if (!ExtractFileDrive(name).empty()) {
        ShowError("Неверное имя: "_a + RawText(name));
        return;
    }
    const std::string full = ResolvePath(currentDir_, name);
    ForceDir(full);
    ListDir(currentDir_, std::string());
    if (!DirectoryExists(full)) ShowError("Неверное имя: "_a + RawText(full));
}

void TFormSetProject::RemoveDirItem() {
    const int row = ui_->lva->CurrentRow();
    if (showingDrives_ || row < 0 || row >= diskModel_->Count() ||
        diskModel_->Item(row).image != kImgDir)
        return;
    const std::string path = Join(currentDir_, diskModel_->Item(row).name);
    if (!DirectoryExists(path))
        ShowError("Директорий не существует:\r\n"_a + RawText(path));
    else if (!IsDirEmpty(path))
        ShowError("Могу удалить только пустой директорий"_a);
    else if (!RemoveDir(path))
        ShowError("Ошибка удаления директория:\r\n"_a + RawText(LastErrorText()) + "\r\n\r\n" +
                  RawText(path));
    ListDir(currentDir_, std::string());
}

void TFormSetProject::SortChanged() {
    sortInclude_ = findChild<QAction*>("mnSortInclude")->isChecked();
    sortAscend_ = findChild<QAction*>("mnSortAscend")->isChecked();
    sortBy_ = findChild<QAction*>("mnSortExt")->isChecked()    ? kSortByExt
              : findChild<QAction*>("mnSortSize")->isChecked() ? kSortBySize
                                                               : kSortByName;
    const int cur = ui_->lva->CurrentRow();
    const std::string name =
        cur >= 0 && cur < diskModel_->Count() ? diskModel_->Item(cur).name : std::string();
    diskModel_->Sort({sortBy_, sortAscend_, sortInclude_});
    ui_->lva->SelectRow(std::max(0, diskModel_->Find(name)));
}

// ---- the found files ------------------------------------------------------------------------

void TFormSetProject::RefreshFound() {
    foundDirty_ = false;
    if (!project_) return;
    if (scanning_) {
        // The running scan ends first and starts again.
        rescan_ = true;
        StopScan();
        return;
    }
    std::string selPath, selName;
    if (const QModelIndex cur = ui_->lvf->currentIndex();
        cur.isValid() && cur.row() < foundModel_->Count()) {
        selPath = foundModel_->Row(cur.row()).path;
        selName = FoundFileName(foundModel_->Row(cur.row()));
    }
    foundModel_->Clear();
    scan_ = std::make_unique<ScanState>();
    scanning_ = true;
    scanStopped_ = false;
    rescan_ = false;
    ui_->sbStopScan->setEnabled(true);
    ui_->lbScanState->setText(ToQ("Поиск файлов..."_a));
    ShowFoundCounts();

    THL_HalvoraProject& p = *project_;
    p.OnFile = [this](const std::string& rel, FindData& entry, bool&) {
        TFoundRow r;
        const std::string name = ExtractFileName(rel);
        const std::string ext = ExtractFileExt(name);
        r.name = name.substr(0, name.size() - ext.size());
        r.ext = ext.empty() ? ext : ext.substr(1);
        r.size = entry.Size();
        r.path = RemoveBackslash(ExtractFilePath(rel));
        ScanState& s = *scan_;
        ++s.takenCount;
        s.takenSize += r.size;
        s.taken.insert(entry.PosixPath().empty() ? rel : entry.PosixPath());
        s.pending.push_back(std::move(r));
        ScanTick();
    };
    p.OnLeftOut = [this](const std::string& name, FindData& entry, bool&) {
        const int64_t size = entry.Size();
        if (scan_->left.emplace(entry.PosixPath().empty() ? name : entry.PosixPath(), size).second)
            scan_->leftMetSize += size;
        ScanTick();
    };
    std::string error;
    // The scan turns the event loop itself, and only with the data area
    // locked: the run's own pump would let a click change the rules mid-walk.
    auto pump = std::exchange(THL_HalvoraProject::RunMessagePump, nullptr);
    try {
        p.CollectFiles();
    } catch (const std::exception& e) {
        error = PlainText(e.what());
    }
    THL_HalvoraProject::RunMessagePump = std::move(pump);
    p.OnFile = nullptr;
    p.OnLeftOut = nullptr;

    ScanState& s = *scan_;
    foundModel_->Append(s.pending);
    for (const auto& [key, size] : s.left)
        if (!s.taken.count(key)) {
            ++s.leftCount;
            s.leftSize += size;
        }
    foundModel_->SortRows(fileSortColumn_, fileSortAscend_);
    ui_->lvf->header()->setSortIndicator(
        fileSortColumn_, fileSortAscend_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    scanning_ = false;
    ShowFoundCounts();
    ui_->lbScanState->setText(!error.empty() ? ToQ(error)
                              : scanStopped_ ? ToQ("Поиск прерван: показана часть файлов"_a)
                                             : QString());
    ui_->sbStopScan->setEnabled(false);
    if (s.windowLocked) {
        ui_->pnData->setEnabled(true);
        ui_->pnButtons->setEnabled(true);
    }
    if (const int row = foundModel_->Find(selPath, selName); row >= 0 && !selName.empty()) {
        const QModelIndex index = foundModel_->index(row, 0);
        ui_->lvf->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ui_->lvf->scrollTo(index);
    }
    if (pendingClose_) {
        const int mode = pendingClose_;
        pendingClose_ = 0;
        Finish(mode);
        return;
    }
    if (rescan_) RefreshFound();
}

void TFormSetProject::ScanTick() {
    ScanState& s = *scan_;
    if (++s.met % kScanPumpEvery != 0) return;
    if (!s.windowLocked) {
        // Nothing may change the rules while they are walked; the stop button stays.
        s.windowLocked = true;
        ui_->pnData->setEnabled(false);
        ui_->pnButtons->setEnabled(false);
    }
    foundModel_->Append(s.pending);
    ShowFoundCounts();
    QCoreApplication::processEvents();
}

void TFormSetProject::StopScan() {
    if (!scanning_ || !project_) return;
    scanStopped_ = true;
    project_->SetStop(true);
}

void TFormSetProject::ShowFoundCounts() {
    const ScanState& s = *scan_;
    const auto kb = [](int64_t size) { return QString::number(size / 1000) + " KB"; };
    ui_->lbFilesFound->setText(QString::number(s.takenCount));
    ui_->lbFilesFoundSize->setText(kb(s.takenSize));
    // While the scan runs a file left out by one walk may still be taken by another.
    const int64_t leftCount = scanning_ ? static_cast<int64_t>(s.left.size()) : s.leftCount;
    const int64_t leftSize = scanning_ ? s.leftMetSize : s.leftSize;
    ui_->lbFilesLeft->setText(QString::number(leftCount));
    ui_->lbFilesLeftSize->setText(kb(leftSize));
}

void TFormSetProject::FoundHeaderClicked(int column) {
    if (column == fileSortColumn_) {
        fileSortAscend_ = !fileSortAscend_;
    } else {
        fileSortColumn_ = column;
        fileSortAscend_ = true;
    }
    std::string selPath, selName;
    if (const QModelIndex cur = ui_->lvf->currentIndex(); cur.isValid()) {
        selPath = foundModel_->Row(cur.row()).path;
        selName = FoundFileName(foundModel_->Row(cur.row()));
    }
    foundModel_->SortRows(fileSortColumn_, fileSortAscend_);
    ui_->lvf->header()->setSortIndicator(
        fileSortColumn_, fileSortAscend_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (const int row = foundModel_->Find(selPath, selName); row >= 0 && !selName.empty())
        ui_->lvf->selectionModel()->setCurrentIndex(
            foundModel_->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace hv
