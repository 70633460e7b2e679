#include "app/FormMain.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>

#include "app/LaterForms.h"
#include "app/PrjView.h"
#include "delphi/DelpFls.h"
#include "dialogs/FormBar.h"
#include "dialogs/FormView.h"
#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "platform/Platform.h"
#include "project/HLObject.h"
#include "run/RunDriver.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"
#include "ui/ApplyFonts.h"
#include "ui/Command.h"
#include "ui/QtText.h"
#include "ui_FormMain.h"

namespace hv {

namespace {

// The run's progress window as the run driver sees it: opening it disables
// the main window, whatever window happens to be active.
class TRunProgress : public ProgressSink {
  public:
    TRunProgress(TFormBar& bar, QWidget* owner) : bar_(bar), owner_(owner) {}

    void InitBars(int mode, int min1, int max1, int min2, int max2) override {
        InitBarsLarge(mode, min1, max1, min2, max2);
    }
    void InitBarsLarge(int mode, int64_t min1, int64_t max1, int64_t min2,
                       int64_t max2) override {
        bar_.InitBars(mode, min1, max1, min2, max2, mode == 0 ? owner_ : nullptr);
    }
    void PosBar(int bar, int position) override { bar_.PosBar(bar, position); }
    void PosBarLarge(int bar, int64_t position) override { bar_.PosBarLarge(bar, position); }
    void Mess(int kind, const std::string& text) override { bar_.Mess(kind, text); }
    void Complete() override { bar_.Complete(); }
    int GetMax1() const override { return bar_.GetMax1(); }
    int64_t GetMax1Large() const override { return bar_.GetMax1Large(); }
    bool Interrupted() const override { return bar_.Interrupted(); }
    void SetInterrupted(bool value) override { bar_.SetInterrupted(value); }
    void Close() override { bar_.Close(); }

  private:
    TFormBar& bar_;
    QWidget* owner_;
};

std::string WithName(std::string text, const std::string& name) {
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name);
    return text;
}

}  // namespace

TFormMain::TFormMain(QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::FormMain>()),
      current_(std::make_unique<THL_HalvoraProject>()) {
    ui_->setupUi(this);
    prjModel_ = new TPrjListModel(list_, 0, this);
    arcModel_ = new TPrjListModel(list_, 3, this);
    ui_->lvProjects->SetModel(prjModel_);
    ui_->lvArchives->SetModel(arcModel_);
    ui_->imHeader->setPixmap(PrjImage(3).pixmap(32, 32));
    ui_->btSaveAll->setToolTip(ToQ("Выпронить все \r\nотмеченные проекты"_a));
    ui_->cbToNet->setToolTip(ToQ("Копировать файлы на сетевые \r\nустройства при выполнении проекта"_a));
    ui_->cbReCreate->setToolTip(ToQ("Создать архив заново.\r\nСтарый архив переписывается."_a));

    // The popup menu of the project view.
    auto* menu = new QMenu(this);
    menu->setObjectName("PrjPopupMenu");
    QMenu* view = menu->addMenu(ToQ("Вид"_a));
    view->setObjectName("mnView");
    auto* styles = new QActionGroup(this);
    styles->setExclusive(true);
    styles->addAction(ui_->mnTable);
    styles->addAction(ui_->mnList);
    view->addAction(ui_->mnTable);
    view->addAction(ui_->mnList);
    menu->addAction(ui_->mnNew);
    menu->addAction(ui_->mnAdd);
    menu->addAction(ui_->mnChange);
    menu->addAction(ui_->mnSaveAs);
    QMenu* del = menu->addMenu(ToQ("Удалить"_a));
    del->setObjectName("mnDelete");
    del->addAction(ui_->mnDelFromList);
    del->addAction(ui_->mnDestroy);
    connect(ui_->lvProjects, &TPrjView::MenuRequested, this, [menu](const QPoint& at) { menu->popup(at); });
    connect(ui_->mnTable, &QAction::triggered, this, Command([this] { SetListStyle(false); }));
    connect(ui_->mnList, &QAction::triggered, this, Command([this] { SetListStyle(true); }));

    // Rows selected in one view are selected in the other.
    connect(ui_->lvProjects, &TPrjView::RowSelected, this,
            Command([this](int row) { ViewRowSelected(ui_->lvProjects, ui_->lvArchives, row); }));
    connect(ui_->lvArchives, &TPrjView::RowSelected, this,
            Command([this](int row) { ViewRowSelected(ui_->lvArchives, ui_->lvProjects, row); }));
    connect(ui_->lvArchives, &TPrjView::RowDoubleClicked, this, Command([this] { Look(); }));
    connect(ui_->btLook, &QPushButton::clicked, this, Command([this] { Look(); }));

    ConnectDisketteCommands();
    connect(ui_->btSave, &QPushButton::clicked, this, Command([this] { RunButton(false); }));
    connect(ui_->btSaveAll, &QPushButton::clicked, this, Command([this] { RunButton(true); }));
    connect(ui_->cbToNet, &QCheckBox::clicked, this,
            Command([this] { Configuration().MainCopyToNet = ui_->cbToNet->isChecked(); }));

    connect(ui_->pc, &QTabWidget::currentChanged, this, Command([this] { PageChanged(); }));
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, this, Command([this] {
                if (!running_) TerminateApplication();
            }));

    // The archiver settings page.
    for (const char* tab : {"Arj", "ZIP", "RAR"}) ui_->tcArc->addTab(QString::fromLatin1(tab));
    ui_->tcArc->addTab(ToQ("Шаблоны"_a));
    connect(ui_->tcArc, &QTabBar::currentChanged, this, Command([this] { ShowArcPage(); }));
    connect(ui_->btArcParamSave, &QPushButton::clicked, this, Command([this] { SaveArcPage(); }));
    connect(ui_->rbArcTipWin, &QRadioButton::clicked, this, Command([this] { ArcTipWindows(); }));

    // The page "Delphi".
    connect(ui_->btDPrj, &QToolButton::clicked, this, Command([this] { ChooseDelphiFile(); }));
    connect(ui_->btDelphi, &QPushButton::clicked, this, Command([this] { CollectDelphi(); }));
    auto* addDir = new QShortcut(QKeySequence(Qt::Key_Insert), ui_->lvDDir);
    addDir->setContext(Qt::WidgetShortcut);
    connect(addDir, &QShortcut::activated, this, Command([this] {
                auto* item = new QTreeWidgetItem(ui_->lvDDir);
                item->setFlags(item->flags() | Qt::ItemIsEditable);
                ui_->lvDDir->editItem(item, 0);
            }));
    auto* delDir = new QShortcut(QKeySequence(Qt::Key_Delete), ui_->lvDDir);
    delDir->setContext(Qt::WidgetShortcut);
    connect(delDir, &QShortcut::activated, this,
            Command([this] { delete ui_->lvDDir->currentItem(); }));

    ConnectProjectCommands();

    // The creation step of the window.
    if (!workdirs::DebugMode()) ui_->pc->removeTab(ui_->pc->indexOf(ui_->tabOtl));
    ui_->pc->setTabVisible(ui_->pc->indexOf(ui_->tabGroup), false);
    ui_->pc->setTabVisible(ui_->pc->indexOf(ui_->tabDelp), false);
    ui_->pc->setCurrentWidget(ui_->tabProject);
    PageChanged();
    LoadProjectList();
    SetListStyle(Configuration().MainLvViewList);
    ui_->cbToNet->setChecked(Configuration().MainCopyToNet);
    ui_->nbArc->setCurrentIndex(0);
    ApplyFonts(this);
}

TFormMain::~TFormMain() = default;

TPrjView* TFormMain::ProjectView() const { return ui_->lvProjects; }
TPrjView* TFormMain::ArchiveView() const { return ui_->lvArchives; }

void TFormMain::LoadProjectList() {
    arcs_.Clear();
    hv::LoadProjectList(SettingsIni(), list_, nullptr);
    FillViews();
    const int count = list_.GetCount();
    const TConfiguration& cfg = Configuration();
    if (cfg.MainArcIndex >= 0 && cfg.MainArcIndex < count) ui_->lvArchives->Select(cfg.MainArcIndex);
    if (cfg.MainPrjIndex >= 0 && cfg.MainPrjIndex < count) ui_->lvProjects->Select(cfg.MainPrjIndex);
    arcs_.ReadAll(SettingsIni(), "");
}

void TFormMain::SaveProjectList() {
    hv::SaveProjectList(SettingsIni(), list_, &arcs_, ui_->lvProjects->Selected(),
                        ui_->lvArchives->Selected());
}

void TFormMain::FillViews() {
    const QString prjCaption = ui_->lvProjects->Caption(ui_->lvProjects->Selected());
    const QString arcCaption = ui_->lvArchives->Caption(ui_->lvArchives->Selected());
    setUpdatesEnabled(false);
    prjModel_->Reset();
    arcModel_->Reset();
    for (auto [view, caption] : {std::pair{ui_->lvProjects, prjCaption}, std::pair{ui_->lvArchives, arcCaption}}) {
        if (caption.isNull()) continue;
        for (int i = 0; i < view->RowCount(); ++i)
            if (view->Caption(i) == caption) {
                view->Select(i);
                break;
            }
    }
    setUpdatesEnabled(true);
    ui_->lvProjects->ScrollToSelected();
    ui_->lvArchives->ScrollToSelected();
}

void TFormMain::SetListStyle(bool list) {
    // The item chosen decides the style: choosing the style already shown changes nothing.
    ui_->lvProjects->SetListStyle(list);
    ui_->lvArchives->SetListStyle(list);
    (list ? ui_->mnList : ui_->mnTable)->setChecked(true);
    Configuration().MainLvViewList = list;
}

void TFormMain::ViewRowSelected(TPrjView* from, TPrjView* to, int row) {
    if (row < 0 || to->Selected() == row) return;
    to->Select(row);
    to->ScrollToSelected();
}

void TFormMain::PageChanged() {
    QWidget* page = ui_->pc->currentWidget();
    std::string title = "???";
    if (page == ui_->tabProject)
        title = "Составление проектов"_a;
    else if (page == ui_->tabGroup)
        title = "Группы проектов"_a;
    else if (page == ui_->tabConfig) {
        title = "Настройка параметров"_a;
        ShowArcPage();
    } else if (page == ui_->tabArchives)
        title = "Архивы"_a;
    ui_->lbTitle->setText(ToQ(title));
}

// ---- runs ----------------------------------------------------------------------------

void TFormMain::RunButton(bool all) {
    const int row = ui_->lvProjects->Selected();
    if (row < 0) return;
    TCursorGuard busy(Qt::WaitCursor);
    struct Uncheck {
        QCheckBox* box;
        ~Uncheck() { box->setChecked(false); }
    } uncheck{ui_->cbReCreate};
    RunProjects(all ? std::string() : list_.Items(row)->FileName, false, ui_->cbReCreate->isChecked());
}

TFormMain::TBusyBar::TBusyBar(TFormMain& window, QPointer<TFormBar>& slot)
    : window_(window), slot_(slot), bar_(new TFormBar()) {
    bar_->setAttribute(Qt::WA_DeleteOnClose, false);
    slot_ = bar_;
    window_.running_ = true;
}

TFormMain::TBusyBar::~TBusyBar() {
    if (bar_->Owner()) bar_->Close();
    window_.setEnabled(true);
    slot_ = nullptr;
    window_.running_ = false;
    bar_->deleteLater();
}

bool TFormMain::RunProjects(const std::string& fileName, bool refreshRun, bool rebuild) {
    if (running_) return false;
    TBusyBar busy(*this, runBar_);
    TFormBar* bar = &busy.Bar();
    TRunProgress progress(*bar, this);
    TRunDriver driver(list_, arcs_, progress);
    driver.ToNetwork = ui_->cbToNet->isChecked();
    driver.MessagePump = [] { QCoreApplication::processEvents(); };
    driver.OnShowOutput = [this](const std::string& out) { ShowOutput(out); };
    struct KeepLast {
        TRunDriver& driver;
        std::unique_ptr<THL_HalvoraProject>& current;
        ~KeepLast() {
            if (auto p = driver.TakeLastProject()) {
                // Its handlers point into this run.
                p->OnMessage = nullptr;
                p->OnCopyProgress = nullptr;
                p->OnArchiverStart = nullptr;
                p->OnArchiveDone = nullptr;
                current = std::move(p);
            }
        }
    } keep{driver, current_};
    return driver.RunProjects(fileName, refreshRun, rebuild);
}

void TFormMain::ShowOutput(const std::string& outputFile) {
    TFormView* view = viewer_;
    if (!view) {
        if (!ownViewer_) ownViewer_ = std::make_unique<TFormView>();
        view = ownViewer_.get();
    }
    view->LoadFromFile(outputFile);
    view->SetConvertFromOem(true);
    view->ShowModal();
}

// ---- the current project ---------------------------------------------------------------

int TFormMain::SelectCurrentProject() {
    TPrjView* view = ui_->pc->currentWidget() == ui_->tabArchives ? ui_->lvArchives : ui_->lvProjects;
    const int row = view->Selected();
    if (row < 0 || view->RowCount() == 0) return -1;
    CurrentDirGuard cwd;
    SetCurrentDir(workdirs::ProjectsDir());
    LoadCurrentProject(list_.Items(row)->FileName);
    return row;
}

void TFormMain::LoadCurrentProject(const std::string& fileName) {
    if (!FileExists(fileName)) ShowErrorAbort(WithName("Не найден файл проекта \"%s\""_a, fileName));
    auto p = std::make_unique<THL_HalvoraProject>();
    p->FileName = fileName;
    p->LoadFromFile();
    current_ = std::move(p);
}

void TFormMain::Look() {
    if (SelectCurrentProject() < 0) return;
    const std::string archive = current_->GetArcFileName();
    if (browser_) browser_->Browse(archive);
}

// ---- the archiver settings page --------------------------------------------------------

THL_ArcBase* TFormMain::ChosenArcRecord() const {
    return arcs_.FindByType(ui_->tcArc->currentIndex() + 2);
}

void TFormMain::ShowArcPage() {
    const THL_ArcBase* rec = ChosenArcRecord();
    if (!rec) {
        ui_->nbArc->setCurrentWidget(ui_->pgArcHelp);
        return;
    }
    ui_->nbArc->setCurrentWidget(ui_->pgArcParams);
    (rec->TipDos == 1 ? ui_->rbArcTipDos : ui_->rbArcTipWin)->setChecked(true);
    ui_->edArcArc->setText(ToQ(rec->Arc));
    ui_->edArcSE->setText(ToQ(rec->ArcSE));
    ui_->edArcDeArc->setText(ToQ(rec->DeArc));
    ui_->edNoCompr->setText(ToQ(rec->ArcNC));
}

void TFormMain::SaveArcPage() {
    THL_ArcBase* rec = ChosenArcRecord();
    if (!rec) return;
    rec->Arc = FromQ(ui_->edArcArc->text());
    rec->ArcSE = FromQ(ui_->edArcSE->text());
    rec->DeArc = FromQ(ui_->edArcDeArc->text());
    rec->ArcNC = FromQ(ui_->edNoCompr->text());
    rec->TipDos = ui_->rbArcTipDos->isChecked() ? 1 : 2;
}

void TFormMain::ArcTipWindows() {
    ui_->rbArcTipDos->setChecked(true);
    ShowError("Windows приложения пока не обрабатываются"_a);
}

// ---- the page "Delphi" ------------------------------------------------------------------

void TFormMain::ChooseDelphiFile() {
    const QString file = QFileDialog::getOpenFileName(
        this, ToQ("Открыть файл/проект Delphi"_a), QString(),
        ToQ("Файлы Delphi (*.dpr *.pas);;Файлы проектов (*.dpr);;Файлы модулей (*.pas);;Все файлы (*)"_a));
    if (file.isEmpty()) return;
    const auto path = ToWindowsPath(file.toStdString());
    if (!path) ShowErrorAbort("Файл лежит вне дисков программы|"_a + FromQ(file));
    ui_->edDPrj->setText(ToQ(*path));
}

void TFormMain::CollectDelphi() {
    TCursorGuard busy(Qt::WaitCursor);
    TDelphiProject collector;
    TStringList dirs;
    for (int i = 0; i < ui_->lvDDir->topLevelItemCount(); ++i) {
        const std::string dir = FromQ(ui_->lvDDir->topLevelItem(i)->text(0).trimmed());
        if (!dir.empty()) dirs.Add(dir);
    }
    collector.SetSearchDirs(dirs);
    collector.Collect(FromQ(ui_->edDPrj->text().trimmed()), delphiFiles_);
    ui_->lvDFiles->clear();
    const QIcon read = style()->standardIcon(QStyle::SP_FileIcon);
    const QIcon missing = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int i = 0; i < delphiFiles_.Count(); ++i) {
        auto* item = new QListWidgetItem(ToQ(delphiFiles_[i]), ui_->lvDFiles);
        if (delphiFiles_[i].find("---") != std::string::npos) continue;
        item->setIcon(collector.IsMarked(delphiFiles_, i) ? read : missing);
        item->setData(Qt::UserRole, collector.IsMarked(delphiFiles_, i) ? 0 : 1);
    }
}

// ---- closing ------------------------------------------------------------------------------

void TFormMain::closeEvent(QCloseEvent* event) {
    // A run ends through its own "Стоп".
    if (running_) {
        event->ignore();
        return;
    }
    event->accept();
    TerminateApplication();
}

}  // namespace hv
