// The project commands of the main window: new, add, edit, remove, erase,
// save as, check marks and the order of the list.
#include <QFileDialog>
#include <QKeyEvent>
#include <optional>

#include "app/FormMain.h"
#include "app/PrjView.h"
#include "dialogs/FormBar.h"
#include "dialogs/FormGet.h"
#include "dialogs/Messages.h"
#include "editor/SetPrj.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "settings/WorkDirs.h"
#include "ui/Command.h"
#include "ui/QtText.h"
#include "ui_FormMain.h"
#include "util/FileUtils.h"

namespace hv {

namespace {

const char* const kProjectFilter =
    "Файлы проектов (*.hlj);;Файлы Halvora (*.hlj *.hla *.hlg *.pkk *.arj);;Все файлы (*)";

std::string WithPath(std::string text, const std::string& path) {
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, RawText(path));
    return text;
}

// The file dialog of "Открыть" and "Сохранить как...": a drive path, or
// nothing when cancelled. A file outside every drive is refused.
std::optional<std::string> ChooseProjectFile(QWidget* parent, const std::string& title, bool save,
                                             const std::string& dir, const std::string& proposed) {
    QFileDialog dlg(parent, ToQ(title));
    dlg.setObjectName(save ? "dlgSaveProjectAs" : "dlgOpenProject");
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    // The command asks itself before it writes over a file.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setNameFilters(QString::fromUtf8(kProjectFilter).split(";;"));
    if (const auto posix = ToPosixPath(dir)) dlg.setDirectory(QString::fromStdString(*posix));
    if (!proposed.empty()) dlg.selectFile(ToQ(proposed));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    const QString chosen = dlg.selectedFiles().first();
    const auto path = ToWindowsPath(chosen.toStdString());
    if (!path) ShowErrorAbort("Файл лежит вне дисков программы|"_a + RawText(FromQ(chosen)));
    return path;
}

// Path with the number at the end of its stem raised until no file has the
// name: Project7.hlj -> Project8.hlj, Prj.hlj -> Prj1.hlj.
std::string NextFreeName(const std::string& path) {
    const std::string dir = ExtractFilePath(path);
    const std::string name = ExtractFileName(path);
    const size_t dot = name.find('.');
    std::string stem = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    size_t digits = stem.size();
    while (digits > 0 && IsDigit(stem[digits - 1])) --digits;
    long long n = digits < stem.size() ? std::stoll(stem.substr(digits, 18)) : 0;
    stem.resize(digits);
    std::string candidate;
    do {
        candidate = dir + stem + std::to_string(++n) + ext;
    } while (FileExists(candidate) || DirectoryExists(candidate));
    return candidate;
}

// Keys of the project view: Space, Enter, Delete.
class TKeyFilter : public QObject {
  public:
    TKeyFilter(QObject* parent, std::function<bool(int key)> act)
        : QObject(parent), act_(std::move(act)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && act_(static_cast<QKeyEvent*>(event)->key()))
            return true;
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<bool(int key)> act_;
};

}  // namespace

void TFormMain::ConnectProjectCommands() {
    for (auto [button, action] :
         {std::pair{ui_->btAdd, ui_->mnNew}, std::pair{ui_->btOpen, ui_->mnAdd},
          std::pair{ui_->btChange, ui_->mnChange}}) {
        auto run = [this, action] {
            if (action == ui_->mnNew)
                NewProject();
            else if (action == ui_->mnAdd)
                AddExistingProject();
            else
                EditSelected();
        };
        connect(button, &QToolButton::clicked, this, Command(run));
        connect(action, &QAction::triggered, this, Command(run));
    }
    connect(ui_->btGrNew, &QPushButton::clicked, this, Command([this] { NewProject(); }));
    connect(ui_->btGrAdd, &QPushButton::clicked, this, Command([this] { AddExistingProject(); }));
    connect(ui_->btGrChange, &QPushButton::clicked, this, Command([this] { EditSelected(); }));
    connect(ui_->btDel, &QToolButton::clicked, this, Command([this] { DeleteChoice(); }));
    connect(ui_->btGrDel, &QPushButton::clicked, this, Command([this] { DeleteChoice(); }));
    connect(ui_->mnDelFromList, &QAction::triggered, this, Command([this] { RemoveFromList(); }));
    connect(ui_->mnDestroy, &QAction::triggered, this, Command([this] { EraseFromDisk(); }));
    connect(ui_->mnSaveAs, &QAction::triggered, this, Command([this] { SaveProjectAs(); }));

    TPrjView* view = ui_->lvProjects;
    view->SetReorderable(true);
    connect(view, &TPrjView::RowDropped, this,
            Command([this](int from, int to) { MoveEntry(from, to); }));
    connect(view, &TPrjView::RowItemDoubleClicked, this, Command([this](int row, bool onImage) {
                if (onImage)
                    ToggleCheck(row);
                else
                    EditSelected();
            }));
    auto* keys = new TKeyFilter(this, [this](int key) {
        switch (key) {
            case Qt::Key_Space:
                RunCommand([this] { ToggleCheck(ui_->lvProjects->Selected()); });
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                RunCommand([this] { EditSelected(); });
                return true;
            case Qt::Key_Delete:
                RunCommand([this] { DeleteChoice(); });
                return true;
            default:
                return false;
        }
    });
    view->Table()->installEventFilter(keys);
    view->List()->installEventFilter(keys);
}

void TFormMain::SetProjectEditor(TFormSetProject* editor) {
    editor_ = editor;
}

TFormSetProject* TFormMain::ProjectEditor() {
    if (!editor_) editor_ = new TFormSetProject(this);
    return editor_;
}

void TFormMain::NewProject() {
    std::string name;
    if (!InputString("Наименование нового проекта"_a, name)) return;
    auto p = std::make_unique<THL_HalvoraProject>();
    p->SetName(name);
    std::string file = TempFileName(workdirs::ProjectsDir(), "Project.hlj", false);
    if (file.empty()) file = TempFileName(workdirs::ProjectsDir(), "Prj.hlj", false);
    if (file.empty()) throw Exception("Не могу создать новый файл"_a);
    p->FileName = file;
    p->SavePlaces().Add(workdirs::SaveDir());
    p->ArcType = 2;
    p->SaveToFile();
    current_ = std::move(p);
    T_Prj* entry = list_.NewItem();
    entry->SetFromProject(*current_);
    const std::string placeholder = entry->FileName;
    const int index = list_.GetCount() - 1;
    FillViews();
    ui_->lvProjects->Select(index);

    // The new file goes when the editor never saved it: closed without
    // confirming, or failing to open.
    const auto drop = [&] {
        DeleteFile(placeholder);
        list_.Delete(index);
        current_ = std::make_unique<THL_HalvoraProject>();
    };
    bool confirmed = false;
    try {
        confirmed = EditProject(index);
    } catch (...) {
        drop();
        FillViews();
        throw;
    }
    if (!confirmed && !ProjectEditor()->SavedAny()) {
        drop();
    } else if (!SameText(entry->FileName, placeholder)) {
        // Saved under another name: the empty file made for it is nobody's.
        bool used = false;
        for (int i = 0; i < list_.GetCount(); ++i)
            used = used || SameText(list_.Items(i)->FileName, placeholder);
        if (!used) DeleteFile(placeholder);
    }
    FillViews();
}

void TFormMain::AddExistingProject() {
    const auto path = ChooseProjectFile(this, "Открыть файл проекта Halvora"_a, false,
                                        workdirs::ProjectsDir(), {});
    if (path) AddProjectFile(*path);
}

void TFormMain::AddProjectFile(const std::string& path) {
    if (!FileExists(path)) {
        ShowError(WithPath("Файл \"%s\" не найден"_a, path));
        return;
    }
    current_ = std::make_unique<THL_HalvoraProject>();
    current_->FileName = path;
    if (!current_->IsProjectFile()) {
        ShowError(WithPath("Файл \"%s\" не авляется проектом Halvora"_a, path));
        return;
    }
    current_->LoadFromFile();
    T_Prj probe;
    probe.SetFromProject(*current_);
    if (!CheckDuplicates(list_, probe)) {
        current_ = std::make_unique<THL_HalvoraProject>();
        return;
    }
    T_Prj* entry = list_.NewItem();
    entry->SetFromProject(*current_);
    FillViews();
    ui_->lvProjects->Select(list_.GetCount() - 1);
    ui_->lvProjects->ScrollToSelected();
}

void TFormMain::EditSelected() {
    EditProject(SelectCurrentProject());
}

bool TFormMain::EditProject(int index) {
    if (index < 0 || index >= list_.GetCount()) return false;
    TFormSetProject* editor = ProjectEditor();
    editor->SetCallerProject(current_.get());
    struct Release {
        TFormSetProject* editor;
        ~Release() { editor->SetCallerProject(nullptr); }
    } release{editor};
    const bool confirmed = editor->Execute() == QDialog::Accepted;
    T_Prj* entry = list_.Items(index);
    if (editor->SavedAny()) {
        entry->SetFromProject(*current_);
        FillViews();
    }
    if (confirmed) CheckDuplicates(list_, *entry);
    return confirmed;
}

void TFormMain::DeleteChoice() {
    const int row = ui_->lvProjects->Selected();
    if (row < 0) return;
    const int answer = ChooseButton({}, "Удалить выделенный проект"_a,
                                    {"Удалить из списка"_a, "Удалить с диска"_a, "Отменить"_a});
    if (answer == 1)
        RemoveEntry(row);
    else if (answer == 2)
        EraseFromDisk();
}

void TFormMain::RemoveFromList() {
    const int row = ui_->lvProjects->Selected();
    if (row < 0) return;
    if (AskYesNo("Удалить выделенный проект из списка"_a, RawText(list_.Items(row)->Name), 0))
        RemoveEntry(row);
}

void TFormMain::EraseFromDisk() {
    const int row = ui_->lvProjects->Selected();
    if (row < 0) return;
    const T_Prj* entry = list_.Items(row);
    if (!AskYesNo("\tВНИМАНИЕ !!!\r\nУдаление данных с диска полностью уничтожит данные проекта"_a,
                  "Удалить выделенный проект с диска\r\n"_a + RawText(entry->Name), 0))
        return;
    TCursorGuard busy(Qt::WaitCursor);
    // Only the project file; its archives and storage places stay. A file
    // that is already gone leaves nothing to delete.
    if (GetFileAttributes(entry->FileName) != kInvalidAttributes && !DeleteFile(entry->FileName)) {
        ShowError(RawText(entry->FileName) + "|" + RawText(LastErrorText()));
        return;
    }
    RemoveEntry(row);
}

void TFormMain::RemoveEntry(int index) {
    if (index < 0 || index >= list_.GetCount()) return;
    TCursorGuard busy(Qt::WaitCursor);
    list_.Delete(index);
    FillViews();
    TPrjView* view = ui_->lvProjects;
    const int rows = view->RowCount();
    if (rows == 0) return;
    view->Select(std::clamp(index, 0, rows - 1));
    view->Current()->setCurrentIndex(view->Current()->model()->index(view->Selected(), 0));
    view->ScrollToSelected();
}

void TFormMain::SaveProjectAs() {
    const int row = SelectCurrentProject();
    if (row < 0) return;
    const std::string proposed = NextFreeName(current_->GetFileName());
    const auto chosen = ChooseProjectFile(this, "Сохранить как..."_a, true,
                                          ExtractFilePath(proposed), ExtractFileName(proposed));
    if (!chosen) return;
    const std::string target = ExpandFileName(*chosen);
    const std::string copyName = "Копия: "_a + current_->Name();
    // Never over the file of an entry of the list, the source included.
    for (int i = 0; i < list_.GetCount(); ++i)
        if (SameText(list_.Items(i)->FileName, target)) {
            ShowError(std::string("Совпадают имена файлов проектов"_a) + "\r\n|" +
                      RawText(list_.Items(i)->Name) + "\r\n" + RawText(copyName));
            return;
        }
    if (FileExists(target) &&
        !AskYesNo("", "\tФайл существует:\r\n"_a + RawText(target) + "\r\n" + "Переписать?"_a, 0))
        return;
    std::string sourceArc;
    if (!current_->SavePlaces().Empty()) sourceArc = current_->GetArcFileName();
    current_->FileName = target;
    current_->SetName(copyName);
    // A copy that would share the source's archive gets the next free name of it.
    if (!sourceArc.empty() && SameText(current_->GetArcFileName(), sourceArc))
        current_->SetArcName(ExtractFileName(NextFreeName(sourceArc)));
    current_->SaveToFile();
    AddProjectFile(target);
}

void TFormMain::ToggleCheck(int row) {
    if (row < 0 || row >= list_.GetCount()) return;
    T_Prj* entry = list_.Items(row);
    if (!entry->Valid) return;
    entry->Checked = prjModel_->ImageIndex(row) != 1;
    prjModel_->RowChanged(row);
    arcModel_->RowChanged(row);
}

void TFormMain::MoveEntry(int from, int to) {
    if (from < 0 || to < 0 || from >= list_.GetCount() || to >= list_.GetCount() || from == to)
        return;
    list_.Move(from, to);
    FillViews();
}

}  // namespace hv
