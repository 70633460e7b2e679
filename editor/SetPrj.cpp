// The editor's window: opening, the controls and the working copy, Apply,
// Save, closing, the pages and the directory nodes.
#include "editor/SetPrj.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <climits>

#include "dialogs/Messages.h"
#include "editor/BrowserView.h"
#include "editor/FitText.h"
#include "editor/SetPrjState.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/Label3D.h"
#include "ui/QtText.h"
#include "ui_SetPrj.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"

namespace hv {

namespace {

// A waste bin: the drop place that deletes list entries.
QPixmap RecycleBin() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.4));
    p.setBrush(QColor(170, 185, 200));
    QPainterPath body;
    body.moveTo(7, 9);
    body.lineTo(25, 9);
    body.lineTo(23, 30);
    body.lineTo(9, 30);
    body.closeSubpath();
    p.drawPath(body);
    for (double x : {12.0, 16.0, 20.0})
        p.drawLine(QPointF(x, 12), QPointF(x - (x - 16) * 0.15, 27));
    p.setBrush(QColor(140, 155, 170));
    p.drawRoundedRect(QRectF(4.5, 5.5, 23, 3.5), 1, 1);
    p.drawRoundedRect(QRectF(12.5, 2.5, 7, 3), 1, 1);
    return pm;
}

void SetItems(QListWidget* list, const TStringList& items) {
    list->clear();
    for (int i = 0; i < items.Count(); ++i) list->addItem(ToQ(items[i]));
}

TStringList Items(const QListWidget* list) {
    TStringList out;
    for (int i = 0; i < list->count(); ++i) out.Add(FromQ(list->item(i)->text()));
    return out;
}

// Decimal digits with an optional sign; false for anything else or more digits
// than any 32-bit size needs.
bool ParseDecimal(const std::string& s, int64_t& out) {
    size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    if (i == s.size() || s.size() - i > 15) return false;
    int64_t v = 0;
    for (size_t k = i; k < s.size(); ++k) {
        if (!IsDigit(s[k])) return false;
        v = v * 10 + (s[k] - '0');
    }
    out = s[0] == '-' ? -v : v;
    return true;
}

}  // namespace

TFormSetProject::TFormSetProject(QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::FormSetProject>()),
      scan_(std::make_unique<ScanState>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint |
                   Qt::CustomizeWindowHint);
    QPalette pal = ui_->pnHeader->palette();
    pal.setColor(QPalette::Window, QColor(0, 128, 128));
    ui_->pnHeader->setPalette(pal);
    ui_->spMain->setStretchFactor(0, 1);
    ui_->spMain->setStretchFactor(1, 1);
    ui_->spMain->setSizes({400, 480});

    diskModel_ = new TBrowserModel(this);
    ui_->lva->SetModel(diskModel_);
    foundModel_ = new TFoundModel(this);
    ui_->lvf->setModel(foundModel_);
    ui_->lvf->setDragEnabled(true);
    ui_->lvf->header()->setSectionsClickable(true);
    ui_->lvf->header()->setSortIndicatorShown(true);
    ui_->lvf->header()->resizeSection(0, 140);
    ui_->lvf->header()->resizeSection(1, 45);
    ui_->lvf->header()->resizeSection(2, 80);
    ui_->imRecicle->setPixmap(RecycleBin());
    ui_->imRecicle->setToolTip(
        ToQ("Мусорное ведро.\r\nСюда можно выкинуть любые данные\r\nиз списков"_a));
    ui_->sbDiskName->setIcon(EditorImage(kImgDriveFixed + 1));

    // The sort settings of the settings record.
    const TConfiguration& cfg = Configuration();
    sortBy_ = std::clamp(cfg.SP_aSortBy, 0, 2);
    sortAscend_ = cfg.SP_aSortAscend;
    sortInclude_ = cfg.SP_aSortInclude;
    fileSortColumn_ = std::clamp(cfg.SP_fSortBy, 0, 3);
    fileSortAscend_ = cfg.SP_fSortAscend;

    // The browser menu.
    menuLva_ = new QMenu(this);
    menuLva_->setObjectName("MenuLva");
    const auto action = [this](const char* name, const char* text, bool checkable = false) {
        auto* a = new QAction(QString::fromUtf8(text), this);
        a->setObjectName(name);
        a->setCheckable(checkable);
        menuLva_->addAction(a);
        return a;
    };
    QAction* mkDir = action("mnMakeDir", "Создать директорий");
    QAction* rmDir = action("mnDelDir", "Удалить директорий");
    menuLva_->addSeparator();
    QAction* asList = action("mnAList", "Список", true);
    QAction* asTable = action("mnATable", "Таблица", true);
    menuLva_->addSeparator();
    QAction* byVerdict = action("mnSortInclude", "по включению", true);
    QAction* ascend = action("mnSortAscend", "по возрастанию", true);
    menuLva_->addSeparator();
    QAction* byName = action("mnSortName", "по имени", true);
    QAction* byExt = action("mnSortExt", "по расширению", true);
    QAction* bySize = action("mnSortSize", "по размеру", true);
    auto* styles = new QActionGroup(this);
    styles->addAction(asList);
    styles->addAction(asTable);
    auto* keys = new QActionGroup(this);
    for (QAction* a : {byName, byExt, bySize}) keys->addAction(a);
    asTable->setChecked(true);
    byVerdict->setChecked(sortInclude_);
    ascend->setChecked(sortAscend_);
    (sortBy_ == kSortByExt ? byExt : sortBy_ == kSortBySize ? bySize : byName)->setChecked(true);
    connect(mkDir, &QAction::triggered, this, Command([this] { MakeDir(); }));
    connect(rmDir, &QAction::triggered, this, Command([this] { RemoveDirItem(); }));
    connect(asList, &QAction::triggered, this, Command([this] { ui_->lva->SetListStyle(true); }));
    connect(asTable, &QAction::triggered, this, Command([this] { ui_->lva->SetListStyle(false); }));
    for (QAction* a : {byVerdict, ascend, byName, byExt, bySize})
        connect(a, &QAction::triggered, this, Command([this] { SortChanged(); }));

    // Change tracking.
    connect(ui_->edName, &QLineEdit::textEdited, this, Command([this] { NameEdited(); }));
    for (QLineEdit* e : {ui_->edFileName, ui_->edArcName, ui_->edPassword, ui_->edRootDir})
        connect(e, &QLineEdit::textEdited, this, Command([this] { MarkChanged(); }));
    connect(ui_->edRootDir, &QLineEdit::editingFinished, this,
            Command([this] { ApplyIfChanged(); }));
    connect(ui_->cbArcType, &QComboBox::currentIndexChanged, this, Command([this] {
                ArcTypeChanged();
                MarkChanged();
            }));
    connect(ui_->cbArcCompressType, &QComboBox::currentIndexChanged, this,
            Command([this] { MarkChanged(); }));
    connect(ui_->cbVolumeSize, &QComboBox::editTextChanged, this,
            Command([this] { MarkChanged(); }));
    connect(ui_->cbMakeSaveDirs, &QCheckBox::clicked, this, Command([this] { MarkChanged(); }));
    connect(ui_->mmPreBatFile, &QPlainTextEdit::textChanged, this,
            Command([this] { MarkChanged(); }));
    connect(ui_->cbPAllFiles, &QCheckBox::clicked, this,
            Command([this] { AllFilesClicked(true); }));
    connect(ui_->cbDAllFiles, &QCheckBox::clicked, this,
            Command([this] { AllFilesClicked(false); }));
    for (QCheckBox* c : {ui_->cbPSubDirs, ui_->cbDSubDirs, ui_->cbPGlobalExcl})
        connect(c, &QCheckBox::clicked, this, Command([this] {
                    MarkChanged();
                    ApplyIfChanged();
                }));
    connect(ui_->cbPrjProperty, &QCheckBox::clicked, this,
            Command([this] { PrjPropertyClicked(); }));

    // Pages, nodes, buttons.
    connect(ui_->pcData, &QTabWidget::currentChanged, this,
            Command([this](int index) { DataPageChanged(index); }));
    connect(ui_->pcBrowser, &QTabWidget::currentChanged, this,
            Command([this] { BrowserPageChanged(); }));
    connect(ui_->lvDirs, &QListWidget::itemDoubleClicked, this, Command([this] {
                if (ui_->pcData->currentWidget() == ui_->tabDir)
                    DataPageChanged(ui_->pcData->currentIndex());
                else
                    ui_->pcData->setCurrentWidget(ui_->tabDir);
            }));
    connect(ui_->cbDirs, &QComboBox::activated, this, Command([this](int index) {
                if (!project_ || index < 0 || index >= project_->Dirs().Count()) return;
                OpenNode(project_->DirNode(index));
                ShowDir(currentNode_->Dir());
            }));
    connect(ui_->sbSave, &QToolButton::clicked, this, Command([this] { SaveClicked(); }));
    connect(ui_->sbSaveExit, &QToolButton::clicked, this, Command([this] { SaveExitClicked(); }));
    connect(ui_->sbReload, &QToolButton::clicked, this, Command([this] { ReloadClicked(); }));
    connect(ui_->sbCancel, &QToolButton::clicked, this, Command([this] { Finish(2); }));

    // The browsers.
    connect(ui_->sbDiskName, &QToolButton::clicked, this, Command([this] { ShowDrives(); }));
    connect(ui_->lva, &TBrowserView::RowDoubleClicked, this,
            Command([this](int row) { ItemActivated(row); }));
    connect(ui_->lva, &TBrowserView::CurrentRowChanged, this,
            Command([this](int row) { CurrentItemChanged(row); }));
    connect(ui_->lva, &TBrowserView::MenuRequested, this,
            Command([this](const QPoint& at) { BrowserMenu(at); }));
    connect(ui_->lvf->header(), &QHeaderView::sectionClicked, this,
            Command([this](int column) { FoundHeaderClicked(column); }));
    connect(ui_->sbStopScan, &QToolButton::clicked, this, Command([this] { StopScan(); }));
    ui_->edRootDir->installEventFilter(this);

    // Drag and drop.
    for (QWidget* t : std::initializer_list<QWidget*>{
             ui_->edFileName, ui_->edArcName, ui_->edRootDir, ui_->edValue, ui_->lbPExt,
             ui_->lbDExt, ui_->lbSaveDir, ui_->lbProjects, ui_->lvDirs, ui_->lvPFilesIncl,
             ui_->lvPFilesExcl, ui_->lvDFilesIncl, ui_->lvDFilesExcl, ui_->imRecicle})
        WatchDrops(t);
    for (QWidget* s : std::initializer_list<QWidget*>{
             ui_->lva->Table(), ui_->lva->List(), ui_->lvf, ui_->edValue, ui_->lvDirs,
             ui_->lvPFilesIncl, ui_->lvPFilesExcl, ui_->lbPExt, ui_->lvDFilesIncl,
             ui_->lvDFilesExcl, ui_->lbDExt, ui_->lbSaveDir, ui_->lbProjects})
        WatchDrags(s);
    for (QListWidget* l :
         {ui_->lvDirs, ui_->lvPFilesIncl, ui_->lvPFilesExcl, ui_->lbPExt, ui_->lvDFilesIncl,
          ui_->lvDFilesExcl, ui_->lbDExt, ui_->lbSaveDir, ui_->lbProjects}) {
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
        l->setDragEnabled(true);
    }
    ui_->lvDirs->setIconSize(QSize(16, 16));

    SetSaved(true);
    ShowNodeRules(false);
    ApplyFonts(this);
    ui_->lbHeader->SetTextColor(QColor(0, 255, 255));
    ui_->lbHeader->SetShadowColor(Qt::black);
}

TFormSetProject::~TFormSetProject() {
    // A scan cannot be running here: closing waits for it.
    if (project_) {
        project_->OnFile = nullptr;
        project_->OnLeftOut = nullptr;
    }
}

void TFormSetProject::SaveSortSettings() const {
    TConfiguration& cfg = Configuration();
    cfg.SP_aSortBy = sortBy_;
    cfg.SP_fSortBy = fileSortColumn_;
    cfg.SP_aSortInclude = sortInclude_;
    cfg.SP_aSortAscend = sortAscend_;
    cfg.SP_fSortAscend = fileSortAscend_;
}

// ---- opening and closing ----------------------------------------------------------------

int TFormSetProject::Execute() {
    if (!callerProject_) {
        ShowError("Не определен проект для изменения"_a);
        return Rejected;
    }
    try {
        Open();
    } catch (...) {
        project_.reset();
        throw;
    }
    return exec();
}

void TFormSetProject::Open() {
    closeMode_ = 0;
    pendingClose_ = 0;
    savedAny_ = false;
    currentNode_ = nullptr;
    project_ = std::make_unique<THL_HalvoraProject>();
    project_->FileName = callerProject_->GetFileName();
    openedFileName_ = project_->FileName;
    foundModel_->Clear();
    foundDirty_ = true;
    diskDirty_ = false;
    ui_->lbScanState->clear();
    SetSaved(false);
    {
        // No page change may open a node before the controls are filled.
        TLoading l(loading_);
        ui_->pcData->setCurrentWidget(ui_->tabGeneral);
        ui_->pcBrowser->setCurrentWidget(ui_->tabDisk);
        previousDataPage_ = ui_->pcData->currentIndex();
    }
    Reload();
    if (DirectoryExists(DirPath(project_->Dir()))) currentDir_ = project_->Dir();
    ShowDir(currentDir_);
}

void TFormSetProject::Finish(int mode) {
    closeMode_ = mode;
    if (scanning_) {
        // The scan ends first; it closes the window when it has.
        pendingClose_ = mode;
        StopScan();
        return;
    }
    currentNode_ = nullptr;
    project_.reset();
    QDialog::done(mode == 3 ? Accepted : Rejected);
}

void TFormSetProject::reject() {
    RunCommand([this] { Finish(2); });
}

void TFormSetProject::closeEvent(QCloseEvent* event) {
    // The title-bar close does nothing: the window closes through its buttons and Esc.
    if (closeMode_ == 0)
        event->ignore();
    else
        event->accept();
}

void TFormSetProject::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ShowTitleFound();
    ShowDirName();
}

void TFormSetProject::SetSaved(bool saved) {
    saved_ = saved;
    ui_->sbSave->setEnabled(!saved);
    ui_->sbReload->setEnabled(!saved);
}

void TFormSetProject::SaveClicked() {
    const bool applied = modified_;
    if (Save() == SaveResult::Saved && applied) RefreshShownPage();
}

void TFormSetProject::SaveExitClicked() {
    if (!saved_) {
        closeMode_ = 3;
        SaveResult r = SaveResult::Failed;
        try {
            r = Save();
        } catch (...) {
            // A failed write keeps the window open with the edits.
            closeMode_ = 0;
            throw;
        }
        if (r == SaveResult::Failed) {
            closeMode_ = 0;
            return;
        }
    }
    Finish(3);
}

void TFormSetProject::ReloadClicked() {
    Reload();
    RefreshShownPage();
}

// ---- controls and the working copy -----------------------------------------------------------

void TFormSetProject::Reload() {
    if (!project_) return;
    currentNode_ = nullptr;
    // The file opened or last saved, not a name typed since.
    project_->FileName = openedFileName_;
    project_->LoadFromFile();
    FillControls();
    modified_ = false;
    SetSaved(true);
}

void TFormSetProject::FillControls() {
    TLoading l(loading_);
    THL_HalvoraProject& p = *project_;
    ui_->edName->setText(ToQ(p.Name()));
    NameEdited();
    ui_->edFileName->setText(ToQ(p.FileName));
    ui_->edRootDir->setText(ToQ(p.Dir()));
    ui_->edArcName->setText(ToQ(p.ArcName()));
    ui_->cbArcType->setCurrentIndex(p.ArcType <= 4 ? p.ArcType : 0);
    ui_->cbArcCompressType->setCurrentIndex(p.CompressType <= 3 ? p.CompressType : 0);
    if (p.VolumeSize() >= 0 && p.VolumeSize() <= 4) {
        ui_->cbVolumeSize->setCurrentIndex(p.VolumeSize());
        ui_->cbVolumeSize->setEditText(ui_->cbVolumeSize->itemText(p.VolumeSize()));
    } else {
        ui_->cbVolumeSize->setCurrentIndex(-1);
        ui_->cbVolumeSize->setEditText(QString::number(p.VolumeSize()));
    }
    ui_->edPassword->setText(ToQ(p.ArcPS));
    ArcTypeChanged();
    ui_->cbMakeSaveDirs->setChecked(p.MakeSaveDirectories);
    ui_->cbPAllFiles->setChecked(p.IncludeAllFiles);
    ui_->cbPSubDirs->setChecked(p.IncludeSubDirs);
    ui_->cbPGlobalExcl->setChecked(p.GlobalProjectExclude);
    ui_->lblPExt->setText(ToQ(p.IncludeAllFiles ? "Исключая"_a : "Включая"_a));
    SetItems(ui_->lbPExt, p.Extensions());
    SetItems(ui_->lvPFilesIncl, p.IncludeFiles());
    SetItems(ui_->lvPFilesExcl, p.ExcludeFiles());
    SetItems(ui_->lbSaveDir, p.SavePlaces());
    FillDependencies();
    FillDirNodes();
    ui_->mmPreBatFile->setPlainText(ToQ(p.PreBatch().Text()));
    OpenNode(nullptr);
    if (ui_->pcData->currentWidget() == ui_->tabDir) {
        if (p.Dirs().Empty())
            ui_->pcData->setCurrentWidget(ui_->tabGeneral);
        else
            OpenNode(p.DirNode(0));
    }
}

void TFormSetProject::FillDependencies() {
    ui_->lbProjects->clear();
    const TStringList& deps = project_->Projects();
    for (int i = 0; i < deps.Count(); ++i) {
        const std::string& f = deps[i];
        std::string shown;
        if (!FileExists(f)) {
            shown = "Не найден: "_a + f;
        } else {
            THL_HalvoraProject other;
            other.FileName = f;
            if (other.IsProjectFile()) {
                other.LoadFromFile();
                shown = other.Name();
            } else {
                shown = "Не проект: "_a + f;
            }
        }
        ui_->lbProjects->addItem(ToQ(shown));
    }
}

void TFormSetProject::FillDirNodes() {
    TLoading l(loading_);
    ui_->lvDirs->clear();
    ui_->cbDirs->clear();
    const TStringList& dirs = project_->Dirs();
    for (int i = 0; i < dirs.Count(); ++i) {
        const bool exists = DirectoryExists(DirPath(project_->DirNode(i)->Dir()));
        auto* item = new QListWidgetItem(EditorImage(exists ? kImgDir : kImgDirMissing),
                                         ToQ(dirs[i]), ui_->lvDirs);
        item->setData(Qt::UserRole, exists ? kImgDir : kImgDirMissing);
        ui_->cbDirs->addItem(ToQ(dirs[i]));
    }
    const int at = currentNode_ ? dirs.IndexOfObject(currentNode_) : -1;
    ui_->cbDirs->setCurrentIndex(at);
}

void TFormSetProject::NameEdited() {
    const QString name = ui_->edName->text();
    ui_->lbPrjDataTitle->setText(name);
    ui_->lbPrjDirsTitle->setText(" " + name);
    ui_->lbHeader->setText(name);
    MarkChanged();
}

void TFormSetProject::ArcTypeChanged() {
    const bool defined = ui_->cbArcType->currentIndex() > 0;
    ui_->edPassword->setEnabled(defined);
    ui_->lbPassword->setEnabled(defined);
}

void TFormSetProject::AllFilesClicked(bool project) {
    QCheckBox* box = project ? ui_->cbPAllFiles : ui_->cbDAllFiles;
    QLabel* label = project ? ui_->lblPExt : ui_->lblDExt;
    label->setText(ToQ(box->isChecked() ? "Исключая"_a : "Включая"_a));
    MarkChanged();
    ApplyIfChanged();
}

void TFormSetProject::MarkChanged() {
    if (loading_ > 0 || !project_) return;
    modified_ = true;
    SetSaved(false);
}

void TFormSetProject::ApplyIfChanged() {
    if (loading_ > 0 || !modified_ || !project_ || scanning_) return;
    if (Apply()) RefreshShownPage();
}

bool TFormSetProject::Apply() {
    if (!project_) return false;
    THL_HalvoraProject& p = *project_;
    p.SetName(FromQ(ui_->edName->text()));
    if (Trim(p.Name()).empty()) {
        ShowError("Определите наименование проекта"_a);
        return false;
    }
    const std::string fileText = Trim(FromQ(ui_->edFileName->text()));
    if (fileText.empty()) {
        ShowError("Необходимо определить имя файла проекта"_a);
        return false;
    }
    std::string file = ResolvePath(workdirs::ProjectsDir(), fileText);
    if (ExtractFileExt(file).empty()) file += ".hlj";
    p.FileName = file;
    p.SetRootDir(FromQ(ui_->edRootDir->text()));
    if (p.Dir().empty()) {
        ShowError("Определите имя базового директория"_a);
        return false;
    }
    p.SetArcName(FromQ(ui_->edArcName->text()));
    p.IncludeAllFiles = ui_->cbPAllFiles->isChecked();
    p.IncludeSubDirs = ui_->cbPSubDirs->isChecked();
    p.GlobalProjectExclude = ui_->cbPGlobalExcl->isChecked();
    p.MakeSaveDirectories = ui_->cbMakeSaveDirs->isChecked();
    ApplyVolumeSize();
    p.ArcType = static_cast<uint8_t>(std::max(0, ui_->cbArcType->currentIndex()));
    p.CompressType = static_cast<uint8_t>(std::max(0, ui_->cbArcCompressType->currentIndex()));
    p.ArcPS = FromQ(ui_->edPassword->text());
    p.SetExtensions(Items(ui_->lbPExt));
    if (ui_->lbSaveDir->count() == 0) {
        ShowError("Необходимо задать хотя бы одино место хранения архивов"_a);
        return false;
    }
    p.SavePlaces().Assign(Items(ui_->lbSaveDir));
    p.SetFileNames(Items(ui_->lvPFilesIncl), true);
    p.SetFileNames(Items(ui_->lvPFilesExcl), false);
    if (currentNode_) StoreNode(*currentNode_);
    p.PreBatch().SetText(FromQ(ui_->mmPreBatFile->toPlainText()));
    modified_ = false;
    return true;
}

bool TFormSetProject::ApplyVolumeSize() {
    QComboBox* cb = ui_->cbVolumeSize;
    const int item = cb->findText(cb->currentText(), Qt::MatchExactly);
    if (item >= 0) {
        project_->SetVolumeSize(item);
        return true;
    }
    std::string text = Trim(FromQ(cb->currentText()));
    int64_t unit = 1;
    if (!text.empty()) {
        const char last = text.back();
        // K in Latin or Cyrillic, either case.
        if (last == 'K' || last == 'k' || last == '\xCA' || last == '\xEA') {
            unit = 1024;
            text.pop_back();
        }
    }
    int64_t size = 0;
    // Beyond 32 bits is as wrong as too small: never a wrapped number.
    const bool ok =
        ParseDecimal(Trim(text), size) && size * unit >= 50000 && size * unit <= INT32_MAX;
    if (!ok) {
        ShowInfo("Размер блока ["_a + RawText(text) +
                 "] не является числом\r\n\r\nили менее 50 000 байт"_a + "\r\n");
        project_->SetVolumeSize(0);
        TLoading l(loading_);
        cb->setCurrentIndex(0);
        cb->setEditText(cb->itemText(0));
        return false;
    }
    project_->SetVolumeSize(static_cast<int>(size * unit));
    return true;
}

TFormSetProject::SaveResult TFormSetProject::Save() {
    if (!Apply()) return SaveResult::Failed;
    const std::string file = project_->GetFileName();
    // Never silently over another project's file.
    if (!SameText(file, openedFileName_) && FileExists(file) &&
        !AskYesNo("", "\tФайл существует:\r\n"_a + RawText(file) + "\r\n" + "Переписать?"_a, 0))
        return SaveResult::Declined;
    project_->SaveToFile();
    callerProject_->FileName = file;
    callerProject_->LoadFromFile();
    openedFileName_ = file;
    savedAny_ = true;
    SetSaved(true);
    return SaveResult::Saved;
}

// ---- directory nodes --------------------------------------------------------------------

void TFormSetProject::OpenNode(THL_Directory* node) {
    if (currentNode_) StoreNode(*currentNode_);
    currentNode_ = node;
    TLoading l(loading_);
    if (!node) {
        ui_->cbDirs->setCurrentIndex(-1);
        ui_->cbPrjProperty->setChecked(true);
        ShowDirName();
        ShowNodeRules(false);
        return;
    }
    ui_->cbDirs->setCurrentIndex(project_->Dirs().IndexOfObject(node));
    ShowDirName();
    ui_->cbPrjProperty->setChecked(node->ProjectProperties());
    if (!node->ProjectProperties()) FillNodeControls(*node);
    ShowNodeRules(!node->ProjectProperties());
}

void TFormSetProject::FillNodeControls(const THL_Directory& node) {
    TLoading l(loading_);
    ui_->cbDAllFiles->setChecked(node.IncludeAllFiles);
    ui_->cbDSubDirs->setChecked(node.IncludeSubDirs);
    ui_->lblDExt->setText(ToQ(node.IncludeAllFiles ? "Исключая"_a : "Включая"_a));
    SetItems(ui_->lbDExt, node.Extensions());
    SetItems(ui_->lvDFilesIncl, node.IncludeFiles());
    SetItems(ui_->lvDFilesExcl, node.ExcludeFiles());
}

void TFormSetProject::StoreNode(THL_Directory& node) {
    const bool own = !ui_->cbPrjProperty->isChecked();
    node.SetProjectProperties(!own);
    if (!own) return;
    node.IncludeAllFiles = ui_->cbDAllFiles->isChecked();
    node.IncludeSubDirs = ui_->cbDSubDirs->isChecked();
    node.SetExtensions(Items(ui_->lbDExt));
    node.SetFileNames(Items(ui_->lvDFilesIncl), true);
    node.SetFileNames(Items(ui_->lvDFilesExcl), false);
}

void TFormSetProject::ShowNodeRules(bool own) {
    ui_->pnDirRules->setVisible(own);
}

void TFormSetProject::PrjPropertyClicked() {
    const bool own = !ui_->cbPrjProperty->isChecked();
    // Rules of its own start from what the node holds.
    if (own && currentNode_) FillNodeControls(*currentNode_);
    ShowNodeRules(own && currentNode_);
    MarkChanged();
    ApplyIfChanged();
}

void TFormSetProject::ShowDirName() {
    if (!currentNode_) {
        ui_->lbDirName->setText(" ???");
        ui_->lbDirName->setToolTip({});
        return;
    }
    const QString full = " " + ToQ(currentNode_->Dir());
    bool cut = false;
    ui_->lbDirName->setText(
        FitText(full, ui_->lbDirName->width(), 4, ui_->lbDirName->fontMetrics(), &cut));
    ui_->lbDirName->setToolTip(cut ? full.trimmed() : QString());
}

void TFormSetProject::DataPageChanged(int index) {
    if (loading_ > 0 || !project_) {
        previousDataPage_ = index;
        return;
    }
    if (ui_->pcData->widget(index) == ui_->tabDir) {
        if (project_->Dirs().Empty()) {
            {
                TLoading l(loading_);
                ui_->pcData->setCurrentIndex(previousDataPage_);
            }
            ShowError("Не определен список директориев"_a);
            return;
        }
        const int row = std::clamp(ui_->lvDirs->currentRow(), 0, project_->Dirs().Count() - 1);
        OpenNode(project_->DirNode(row));
        ShowDir(currentNode_->Dir());
    }
    previousDataPage_ = index;
}

}  // namespace hv
