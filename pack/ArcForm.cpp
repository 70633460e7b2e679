#include "pack/ArcForm.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "dialogs/Messages.h"
#include "pack/PackFile.h"
#include "pack/PackUnit.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/QtText.h"
#include "ui_ArcForm.h"
#include "util/FileUtils.h"

namespace hv {

namespace {

std::string DosTimeText(int32_t stamp) {
    if (stamp == 0) return " - ";
    const DosDateTime t = DecodeDosDateTime(stamp);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    return buf;
}

std::string VersionText(uint16_t version, uint8_t type) {
    if (type == kArcTypeOwn || type == kArcTypeArj) return ArchiveVersionText(version, type);
    return " - ";
}

QIcon ImageIcon(int image) {
    QStyle* s = QApplication::style();
    switch (image) {
        case TFormArc::kImgRemovable:
        case TFormArc::kImgRemovable + 1:
            return s->standardIcon(QStyle::SP_DriveFDIcon);
        case TFormArc::kImgCdRom:
        case TFormArc::kImgCdRom + 1:
            return s->standardIcon(QStyle::SP_DriveCDIcon);
        case TFormArc::kImgNetDrive:
        case TFormArc::kImgNetDrive + 1:
        case TFormArc::kImgNetwork:
            return s->standardIcon(QStyle::SP_DriveNetIcon);
        case TFormArc::kImgParent:
            return s->standardIcon(QStyle::SP_FileDialogToParent);
        case TFormArc::kImgDir:
            return s->standardIcon(QStyle::SP_DirIcon);
        case TFormArc::kImgArchive:
            return s->standardIcon(QStyle::SP_FileIcon);
        default:
            return s->standardIcon(QStyle::SP_DriveHDIcon);
    }
}

int DriveImage(const std::string& drive, bool current) {
    int image = TFormArc::kImgFixed;
    switch (GetDriveType(drive)) {
        case DriveType::Removable:
            image = TFormArc::kImgRemovable;
            break;
        case DriveType::CdRom:
            image = TFormArc::kImgCdRom;
            break;
        case DriveType::Remote:
            image = TFormArc::kImgNetDrive;
            break;
        default:
            break;
    }
    return image + (current ? 1 : 0);
}

// Closes the archive however the block is left; a failure to close is not news then.
struct TClosing {
    TPackFileObject& arc;
    ~TClosing() {
        try {
            arc.SetActive(false);
        } catch (const std::exception&) {
        }
    }
};

// LF from the memo back to the CR LF the system keeps.
std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

// ---- the models ------------------------------------------------------------------------

struct TArcEntry {
    int image = 0;
    std::string caption;
    std::string path;
};

class TArcDirModel : public QAbstractListModel {
  public:
    using QAbstractListModel::QAbstractListModel;

    // Sorted by image, then by caption without regard to case.
    void Set(std::vector<TArcEntry> entries) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const TArcEntry& a, const TArcEntry& b) {
                             if (a.image != b.image) return a.image < b.image;
                             return AnsiCompareText(a.caption, b.caption) < 0;
                         });
        beginResetModel();
        entries_ = std::move(entries);
        endResetModel();
    }
    const TArcEntry& At(int row) const { return entries_[static_cast<size_t>(row)]; }
    int Count() const { return static_cast<int>(entries_.size()); }
    int Find(const std::string& path) const {
        for (int i = 0; i < Count(); ++i)
            if (At(i).image == TFormArc::kImgArchive && SameText(At(i).path, path)) return i;
        return -1;
    }
    int FirstArchive() const {
        for (int i = 0; i < Count(); ++i)
            if (At(i).image == TFormArc::kImgArchive) return i;
        return -1;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : Count();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= Count()) return {};
        const TArcEntry& e = At(index.row());
        if (role == Qt::DisplayRole) return ToQ(e.caption);
        if (role == Qt::DecorationRole) return ImageIcon(e.image);
        if (role == Qt::UserRole) return e.image;
        return {};
    }

  private:
    std::vector<TArcEntry> entries_;
};

struct TArcMember {
    TArchive0FileHeader header;
    std::string name, ext, path;
    double ratio = 0;
    std::string ratioText;
};

class TArcMemberModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void Set(std::vector<TArcMember> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    const TArcMember& At(int row) const { return rows_[static_cast<size_t>(row)]; }
    int Count() const { return static_cast<int>(rows_.size()); }

    // Ties go by Name, Ext, Path, Size, Packed and Ratio; numbers compare as numbers.
    void Sort(int column, bool descending) {
        if (column == TFormArc::kColFullName) column = TFormArc::kColName;
        static const int ties[] = {TFormArc::kColName, TFormArc::kColExt,    TFormArc::kColPath,
                                   TFormArc::kColSize, TFormArc::kColPacked, TFormArc::kColRatio};
        beginResetModel();
        std::stable_sort(rows_.begin(), rows_.end(), [&](const TArcMember& a, const TArcMember& b) {
            int c = Compare(a, b, column);
            for (int t : ties)
                if (c == 0) c = Compare(a, b, t);
            return descending ? c > 0 : c < 0;
        });
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : Count();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 7;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        static const char* names[] = {"FullName", "Name", "Ext", "Size", "Packed", "Ratio", "Path"};
        if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 6) return {};
        return QString::fromLatin1(names[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= Count()) return {};
        const TArcMember& m = At(index.row());
        if (role == Qt::TextAlignmentRole) {
            const int c = index.column();
            if (c == TFormArc::kColSize || c == TFormArc::kColPacked || c == TFormArc::kColRatio)
                return int(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        }
        if (role != Qt::DisplayRole) return {};
        switch (index.column()) {
            case TFormArc::kColFullName:
                return ToQ(m.header.Name);
            case TFormArc::kColName:
                return ToQ(m.name);
            case TFormArc::kColExt:
                return ToQ(m.ext);
            case TFormArc::kColSize:
                return QString::number(m.header.UnpackedSize);
            case TFormArc::kColPacked:
                return QString::number(m.header.PackedSize);
            case TFormArc::kColRatio:
                return ToQ(m.ratioText);
            case TFormArc::kColPath:
                return ToQ(m.path);
        }
        return {};
    }

  private:
    static int Compare(const TArcMember& a, const TArcMember& b, int column) {
        auto num = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
        switch (column) {
            case TFormArc::kColName:
                return AnsiCompareText(a.name, b.name);
            case TFormArc::kColExt:
                return AnsiCompareText(a.ext, b.ext);
            case TFormArc::kColPath:
                return AnsiCompareText(a.path, b.path);
            case TFormArc::kColSize:
                return num(a.header.UnpackedSize, b.header.UnpackedSize);
            case TFormArc::kColPacked:
                return num(a.header.PackedSize, b.header.PackedSize);
            case TFormArc::kColRatio:
                return num(a.ratio, b.ratio);
        }
        return 0;
    }

    std::vector<TArcMember> rows_;
};

// ---- busy state ------------------------------------------------------------------------

class TFormArc::BusyScope {
  public:
    explicit BusyScope(TFormArc& form) : form_(form) { form_.SetBusy(true); }
    ~BusyScope() {
        form_.SetBusy(false);
        form_.ui_->pb->hide();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    TFormArc& form_;
};

void TFormArc::SetBusy(bool busy) {
    busy_ = busy;
    stopAsked_ = false;
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->sbDiskName, ui_->lva, ui_->SpeedButton1, ui_->edArcName, ui_->btFileToArc,
             ui_->btUnpack, ui_->btDeleteFile, ui_->Button7, ui_->lv, ui_->mComment})
        w->setEnabled(!busy);
    ui_->Button6->setEnabled(busy);
}

void TFormArc::Progress(int32_t done, int32_t total) {
    ui_->pb->show();
    if (ui_->pb->maximum() != total) ui_->pb->setMaximum(total);
    ui_->pb->setValue(std::clamp(done, ui_->pb->minimum(), ui_->pb->maximum()));
    QCoreApplication::processEvents();
    // The object clears a stop when each of its steps begins: asked for once, it holds
    // until the command ends.
    if (stopAsked_) arc_->Stop(true);
}

void TFormArc::StopWork() {
    if (!busy_) return;
    stopAsked_ = true;
    arc_->Stop(true);
}

// ---- the window --------------------------------------------------------------------------

TFormArc::TFormArc(QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::FormArc>()),
      arc_(std::make_unique<TPackFileObject>()),
      dirModel_(new TArcDirModel(this)),
      members_(new TArcMemberModel(this)),
      OpenDialog1(new QFileDialog(this)),
      header_(std::make_unique<TArchive0Header>()) {
    ui_->setupUi(this);
    setAcceptDrops(true);
    ui_->lva->setModel(dirModel_);
    ui_->lv->setModel(members_);
    ui_->lv->setColumnHidden(kColFullName, true);
    const std::pair<int, int> widths[] = {
        {kColName, 170}, {kColExt, 45}, {kColSize, 75}, {kColPacked, 75}, {kColRatio, 50}};
    for (const auto& [column, width] : widths) ui_->lv->header()->resizeSection(column, width);
    ui_->Splitter1->setSizes({230, 550});
    ui_->lv->header()->setSectionsClickable(true);
    ui_->lv->header()->setSortIndicatorShown(true);
    ui_->lv->header()->setSortIndicator(kColName, Qt::AscendingOrder);
    ui_->pb->hide();
    OpenDialog1->setObjectName("OpenDialog1");
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);

    arc_->OnProgress = [this](TPackFileObject&, int32_t done, int32_t total) {
        Progress(done, total);
    };

    connect(ui_->sbDiskName, &QToolButton::clicked, this, Command([this] { ListDrives(); }));
    connect(ui_->lva, &QListView::clicked, this,
            Command([this](const QModelIndex& i) { EntryClicked(i); }));
    connect(ui_->lva, &QListView::doubleClicked, this,
            Command([this](const QModelIndex& i) { EntryDoubleClicked(i); }));
    connect(ui_->SpeedButton1, &QToolButton::clicked, this, Command([this] { ChooseArchive(); }));
    connect(ui_->lv, &QTreeView::doubleClicked, this,
            Command([this](const QModelIndex& i) { ShowMemberInfo(i.row()); }));
    connect(ui_->lv->header(), &QHeaderView::sectionClicked, this,
            Command([this](int column) { SortMembers(column); }));
    connect(ui_->btFileToArc, &QPushButton::clicked, this, Command([this] { ChooseFilesToAdd(); }));
    connect(ui_->btDeleteFile, &QPushButton::clicked, this, Command([this] { DeleteSelected(); }));
    connect(ui_->btUnpack, &QPushButton::clicked, this, Command([this] { ChooseUnpackDir(); }));
    connect(ui_->Button6, &QPushButton::clicked, this, Command([this] { StopWork(); }));
    connect(ui_->Button7, &QPushButton::clicked, this, Command([this] { arc_->SetActive(false); }));

    dir_ = RemoveBackslash(GetCurrentDir());
    if (dir_.size() == 2) dir_ += '\\';
    ShowDrive();
    ShowArchiveInfo();
    // Once the window has its size, the selected member is scrolled into view.
    QTimer::singleShot(0, this, [this] {
        const QModelIndex current = ui_->lv->currentIndex();
        if (current.isValid()) ui_->lv->scrollTo(current);
    });
    ApplyFonts(this);
}

TFormArc::~TFormArc() {
    arc_->OnProgress = nullptr;
}

void TFormArc::Browse(const std::string& archive) {
    if (!busy_) {
        InitialArchive = archive;
        // Shown already: no show event comes, so it is opened here.
        if (isVisible()) OpenInitial();
    }
    show();
    raise();
    activateWindow();
}

void TFormArc::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    RunCommand([this] { OpenInitial(); });
}

void TFormArc::OpenInitial() {
    const std::string dir =
        InitialArchive.empty() ? dir_ : ExtractFileDir(ExpandFileName(InitialArchive));
    ListDir(DirectoryExists(dir) ? dir : dir_);
    // An archive not made yet is not made here either.
    if (!InitialArchive.empty() && FileExists(InitialArchive)) OpenArchive(InitialArchive);
}

void TFormArc::done(int result) {
    // The work in progress ends through "Остановить" first.
    if (busy_) return;
    InitialArchive.clear();
    RunCommand([this] { arc_->SetActive(false); });
    QDialog::done(result);
}

// ---- drives and directories --------------------------------------------------------------

std::string TFormArc::CurrentDrive() const {
    return ExtractFileDrive(dir_);
}

void TFormArc::ShowDrive() {
    const std::string drive = CurrentDrive();
    ui_->sbDiskName->setText(ToQ(drive));
    ui_->sbDiskName->setIcon(ImageIcon(drive.size() == 2 ? DriveImage(drive, true) : kImgNetwork));
}

void TFormArc::ListDrives() {
    std::vector<TArcEntry> entries;
    const std::string current = AnsiUpper(CurrentDrive());
    for (char letter : LogicalDrives()) {
        const std::string drive = std::string(1, letter) + ":";
        entries.push_back({DriveImage(drive, drive == current), drive, drive + "\\"});
    }
    // Browsing the network is not offered: opening it reports it as not found.
    entries.push_back({kImgNetwork, "Сеть"_a, "\\\\"});
    dirModel_->Set(std::move(entries));
}

void TFormArc::ListDir(const std::string& dirIn) {
    TCursorGuard wait(Qt::WaitCursor);
    std::string dir = RemoveBackslash(ExpandFileName(dirIn));
    if (dir.size() == 2 && dir[1] == ':') dir += '\\';
    dir_ = dir;
    std::vector<TArcEntry> entries;
    const std::string base = AddBackslash(dir);
    // A root has no parent entry.
    if (ExtractFileDir(dir) != dir) {
        const std::string parent = ExtractFilePath(dir);
        entries.push_back({kImgParent, "..\\" + ExtractFileName(dir), parent});
    }
    int found = 0;
    FindFile ff;
    for (bool ok = ff.First(base + "*.*", kAttrDirectory | kAttrHidden | kAttrSystem); ok;
         ok = ff.Next()) {
        const FindData& d = ff.Data();
        if (d.IsDirectory()) {
            entries.push_back({kImgDir, d.name, base + d.name});
            continue;
        }
        TPackFileObject probe;
        probe.SetArchiveName(base + d.name);
        if (!probe.IsArchive()) continue;
        entries.push_back({kImgArchive, d.name, base + d.name});
        ++found;
    }
    dirModel_->Set(std::move(entries));
    ui_->lbFound->setText(QString::number(found));
    ShowDrive();

    int row = shown_.empty() ? -1 : dirModel_->Find(shown_);
    if (row < 0) row = dirModel_->FirstArchive();
    if (row < 0) {
        // Only an archive goes into edArcName: with none, nothing is chosen.
        shown_.clear();
        ui_->edArcName->clear();
        arc_->SetActive(false);
        ListMembers();
        if (dirModel_->Count() > 0) ui_->lva->setCurrentIndex(dirModel_->index(0));
        return;
    }
    OpenArchive(dirModel_->At(row).path);
}

void TFormArc::EntryClicked(const QModelIndex& index) {
    if (!index.isValid()) return;
    const TArcEntry& e = dirModel_->At(index.row());
    if (e.image == kImgArchive) OpenArchive(e.path);
}

void TFormArc::EntryDoubleClicked(const QModelIndex& index) {
    if (!index.isValid()) return;
    const TArcEntry e = dirModel_->At(index.row());
    if (e.image == kImgArchive) return;
    // A medium drive without a medium is as good as missing.
    const bool there = DirectoryExists(e.path) && (!IsMediumDrive(e.path) || MediumReady(e.path));
    if (!there) {
        ShowError("Не найден директорий|"_a + RawText(e.path));
        return;
    }
    ListDir(e.path);
    ShowDrive();
}

void TFormArc::ChooseArchive() {
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setNameFilters({ToQ("Архивы (*.pkk *.arj)"_a), ToQ("Все файлы (*)"_a)});
    if (auto dir = ToPosixPath(dir_)) OpenDialog1->setDirectory(QString::fromStdString(*dir));
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return;
    const QString file = OpenDialog1->selectedFiles().front();
    const auto path = ToWindowsPath(file.toStdString());
    if (!path) ShowErrorAbort("Файл лежит вне дисков программы|"_a + RawText(FromQ(file)));
    shown_ = ExpandFileName(*path);
    ListDir(ExtractFileDir(*path));
}

// ---- the archive and its members --------------------------------------------------------

void TFormArc::OpenArchive(const std::string& name) {
    const std::string full = ExpandFileName(name);
    ui_->edArcName->setText(ToQ(full));
    arc_->SetActive(false);
    arc_->SetArchiveName(full);
    shown_ = arc_->ArchiveName();
    const int row = dirModel_->Find(shown_);
    if (row >= 0) ui_->lva->setCurrentIndex(dirModel_->index(row));
    ListMembers();
}

void TFormArc::ListMembers() {
    TCursorGuard wait(Qt::WaitCursor);
    std::vector<TArcMember> rows;
    count_ = unpacked_ = packed_ = 0;
    *header_ = {};
    type_ = kArcTypeNone;
    // Reading never creates an archive that is not there.
    const bool readable = !shown_.empty() && FileExists(shown_);
    auto show = [&] {
        members_->Set(std::move(rows));
        members_->Sort(sortColumn_, descending_);
        ShowArchiveInfo();
    };
    if (!readable) {
        show();
        return;
    }
    TClosing closing{*arc_};
    try {
        arc_->SetActive(true);
        *header_ = arc_->ArchiveHeader();
        type_ = arc_->ArchiveType();
        for (arc_->ReadFirst(); !arc_->EndOfArchive(); arc_->ReadNext()) {
            TArcMember m;
            m.header = arc_->FileHeader();
            const std::string file = ExtractFileName(m.header.Name);
            m.ext = ExtractFileExt(file);
            m.name = file.substr(0, file.size() - m.ext.size());
            if (!m.ext.empty()) m.ext.erase(0, 1);
            m.path = ExtractFilePath(m.header.Name);
            if (m.header.UnpackedSize == 0) {
                m.ratioText = "0%";
            } else {
                m.ratio = 100.0 * m.header.PackedSize / m.header.UnpackedSize;
                char buf[32];
                std::snprintf(buf, sizeof buf, "%3.0f%%", m.ratio);
                m.ratioText = buf;
            }
            ++count_;
            unpacked_ += m.header.UnpackedSize;
            packed_ += m.header.PackedSize;
            rows.push_back(std::move(m));
        }
    } catch (...) {
        // What could be read is shown with the error.
        show();
        throw;
    }
    show();
}

void TFormArc::ShowArchiveInfo() {
    infoOfMember_ = false;
    ui_->gbInfo->setTitle(ToQ(" Архив: "_a + ExtractFileName(shown_) + " "));
    ui_->edVers->setText(ToQ(VersionText(header_->Version, type_)));
    ui_->edOldName->setText(ToQ(header_->Name));
    ui_->edCreated->setText(ToQ(DosTimeText(header_->Created)));
    ui_->edModified->setText(ToQ(DosTimeText(header_->Modified)));
    ui_->mComment->setPlainText(ToQ(header_->Comment));
    ui_->lbNumFiles->setText(QString::number(count_));
    ui_->lbTotalSize->setText(QString::number(unpacked_));
    ui_->lbPackedSize->setText(QString::number(packed_));
    if (unpacked_ == 0) {
        ui_->lbRatio->setText("0%");
    } else {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%3.2f%%", 100.0 * static_cast<double>(packed_) / unpacked_);
        ui_->lbRatio->setText(QString::fromLatin1(buf));
    }
}

void TFormArc::ShowMemberInfo(int row) {
    if (row < 0 || row >= members_->Count()) return;
    const TArchive0FileHeader& h = members_->At(row).header;
    infoOfMember_ = true;
    ui_->gbInfo->setTitle(ToQ(" Файл: "_a + h.Name + " "));
    ui_->edVers->setText(ToQ(VersionText(h.Version, type_)));
    ui_->edOldName->setText(" - ");
    ui_->edCreated->setText(" - ");
    ui_->edModified->setText(ToQ(DosTimeText(h.Modified)));
    ui_->mComment->setPlainText(ToQ(h.Comment));
}

void TFormArc::SortMembers(int column) {
    if (column == kColFullName) column = kColName;
    descending_ = column == sortColumn_ ? !descending_ : false;
    sortColumn_ = column;
    const std::vector<std::string> selected = SelectedMembers();
    members_->Sort(sortColumn_, descending_);
    ui_->lv->header()->setSortIndicator(sortColumn_,
                                        descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    QItemSelectionModel* sel = ui_->lv->selectionModel();
    for (int i = 0; i < members_->Count(); ++i)
        if (std::find(selected.begin(), selected.end(), members_->At(i).header.Name) !=
            selected.end())
            sel->select(members_->index(i, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

std::vector<std::string> TFormArc::SelectedMembers() const {
    std::vector<int> rows;
    for (const QModelIndex& i : ui_->lv->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> names;
    for (int r : rows) names.push_back(members_->At(r).header.Name);
    return names;
}

// ---- adding, deleting, extracting ----------------------------------------------------------

std::string TFormArc::ChosenArchive() {
    const std::string name = FromQ(ui_->edArcName->text().trimmed());
    if (name.empty() || DirectoryExists(name)) ShowErrorAbort("Не выбрано"_a);
    return ExpandFileName(name);
}

void TFormArc::ChooseFilesToAdd() {
    const std::string archive = ChosenArchive();
    OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog1->setNameFilters({});
    OpenDialog1->selectFile(QString());
    if (auto dir = ToPosixPath(dir_)) OpenDialog1->setDirectory(QString::fromStdString(*dir));
    if (OpenDialog1->exec() != QDialog::Accepted) return;
    std::vector<std::string> files;
    for (const QString& f : OpenDialog1->selectedFiles()) {
        const auto path = ToWindowsPath(f.toStdString());
        if (!path) ShowErrorAbort("Файл лежит вне дисков программы|"_a + RawText(FromQ(f)));
        files.push_back(*path);
    }
    if (files.empty()) return;
    AddFiles(files, true);
}

void TFormArc::AddFiles(const std::vector<std::string>& files, bool withComment) {
    const std::string archive = ChosenArchive();
    // Only the archive's own comment goes back, never a member's shown in its place.
    const bool sameArchive = SameText(archive, shown_);
    const std::string comment = WithCrLf(FromQ(ui_->mComment->toPlainText()));
    const bool newComment =
        withComment && sameArchive && !infoOfMember_ && comment != header_->Comment;
    std::vector<TSkippedSource> skipped;
    {
        BusyScope busy(*this);
        if (!sameArchive) arc_->SetActive(false);
        arc_->SetArchiveName(archive);
        arc_->BeginUpdate();
        struct Cancel {
            TPackFileObject& arc;
            ~Cancel() { arc.CancelUpdate(); }
        } cancel{*arc_};
        if (newComment) arc_->SetComment(comment);
        arc_->AddFiles(files);
        arc_->Commit();
        skipped = arc_->Skipped();
    }
    shown_ = arc_->ArchiveName();
    if (!skipped.empty()) {
        std::string text;
        for (const TSkippedSource& s : skipped) text += s.Message + "\r\n";
        ShowError(RawText(text));
    }
    FindFile tmp;
    if (tmp.First(ExtractFilePath(shown_) + "*.tmp", kAttrHidden | kAttrSystem | kAttrReadOnly))
        ShowInfo("Не удалены все .TMP файлы"_a);
    ListDir(ExtractFileDir(shown_));
}

void TFormArc::DeleteSelected() {
    const std::vector<std::string> names = SelectedMembers();
    if (names.empty()) ShowErrorAbort("Не выбрано"_a);
    {
        BusyScope busy(*this);
        // An archive left without members is removed as it is closed.
        TClosing closing{*arc_};
        arc_->SetActive(true);
        arc_->DeleteMembers(names);
    }
    ListDir(ExtractFileDir(shown_));
}

void TFormArc::ChooseUnpackDir() {
    if (SelectedMembers().empty()) ShowErrorAbort("Не выбрано"_a);
    if (arc_->GetArchiveType() != kArcTypeOwn)
        ShowErrorAbort("Возможна распаковка архива только внутреннего формата"_a);
    QFileDialog dialog(this);
    dialog.setObjectName("dlgUnpackDir");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (auto dir = ToPosixPath(dir_)) dialog.setDirectory(QString::fromStdString(*dir));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString chosen = dialog.selectedFiles().front();
    const auto path = ToWindowsPath(chosen.toStdString());
    if (!path) ShowErrorAbort("Файл лежит вне дисков программы|"_a + RawText(FromQ(chosen)));
    UnpackSelected(*path);
}

void TFormArc::UnpackSelected(const std::string& dir) {
    const std::vector<std::string> names = SelectedMembers();
    if (names.empty()) ShowErrorAbort("Не выбрано"_a);
    if (arc_->GetArchiveType() != kArcTypeOwn)
        ShowErrorAbort("Возможна распаковка архива только внутреннего формата"_a);
    BusyScope busy(*this);
    struct Reset {
        TPackFileObject& arc;
        ~Reset() {
            arc.ExtractDir.clear();
            arc.ExtractNameOnly = false;
            try {
                arc.SetActive(false);
            } catch (const std::exception&) {
            }
        }
    } reset{*arc_};
    arc_->Operation = kArcOpExtract;
    arc_->SetActive(true);
    arc_->ExtractDir = dir;
    arc_->ExtractNameOnly = true;
    for (const std::string& name : names) {
        if (stopAsked_) break;
        arc_->SetFileName(name);
        // Unknown names fail in Execute with the container's own message.
        const std::string target = arc_->FindMember(name) ? arc_->TargetName() : std::string();
        bool replace = false;
        if (!target.empty() && FileExists(target)) {
            const int answer = ChooseButton("Файл уже существует"_a, RawText(target),
                                            {"Удалить"_a, "Пропустить"_a, "Закончить"_a});
            if (answer == 2) continue;
            if (answer != 1) break;
            replace = true;
        }
        const int rc = replace ? ExtractReplacing(target) : arc_->Execute();
        ui_->pb->setValue(ui_->pb->minimum());
        if (rc == kPackStopped) break;
    }
}

int TFormArc::ExtractReplacing(const std::string& target) {
    // Beside the file, so that the final rename stays on its file system.
    const std::string base = ExtractFilePath(target) + "$hvx";
    std::string temp;
    for (int i = 0; temp.empty(); ++i) {
        const std::string candidate = base + std::to_string(i);
        if (CreateDir(candidate)) {
            temp = candidate;
        } else if (LastError() != kErrAlreadyExists || i >= 999) {
            throw Exception(ArchiveErrorText(kArcTempFile, candidate, true) + "\r\n" +
                            LastErrorText());
        }
    }
    struct Cleanup {
        std::string dir;
        ~Cleanup() {
            DeleteTree(dir);
            RemoveDir(dir);
        }
    } cleanup{temp};
    const std::string saved = arc_->ExtractDir;
    arc_->ExtractDir = temp;
    int rc = 0;
    try {
        rc = arc_->Execute();
    } catch (...) {
        arc_->ExtractDir = saved;
        throw;
    }
    arc_->ExtractDir = saved;
    if (rc != 0) return rc;
    const std::string fresh = AddBackslash(temp) + ExtractFileName(target);
    if (!ReplaceFile(fresh, target))
        throw Exception(ArchiveErrorText(kArcIoError, target, true) + "\r\n" + LastErrorText());
    return 0;
}

// ---- files dropped from the desktop ------------------------------------------------------

void TFormArc::dragEnterEvent(QDragEnterEvent* event) {
    if (!busy_ && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFormArc::dragMoveEvent(QDragMoveEvent* event) {
    if (!busy_ && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFormArc::dropEvent(QDropEvent* event) {
    if (busy_ || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QList<QUrl> urls = event->mimeData()->urls();
    RunCommand([&] {
        std::vector<std::string> files;
        for (const QUrl& url : urls) {
            if (!url.isLocalFile()) continue;
            const QString local = url.toLocalFile();
            const auto path = ToWindowsPath(local.toStdString());
            if (!path) ShowErrorAbort("Файл лежит вне дисков программы|"_a + RawText(FromQ(local)));
            // A folder dropped with the files is not taken apart.
            if (FileExists(*path)) files.push_back(*path);
        }
        if (!files.empty()) AddFiles(files, false);
    });
}

}  // namespace hv
