// The editor's drag and drop: entries of the disk browser, of the found files,
// of "Значение" and files from the desktop onto the lists and fields; list
// entries onto the waste bin; storage places reordered.
#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include "dialogs/Messages.h"
#include "editor/SetPrjState.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "ui/Command.h"
#include "ui/QtText.h"
#include "ui_SetPrj.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"

namespace hv {

namespace {

// A drag of this window: the window and the object name of the source control.
const QString kDragFormat = QStringLiteral("application/x-halvora-editor-drag");

std::string Quoted(const std::string& s) {
    return "\"" + RawText(s) + "\"";
}

}  // namespace

QMimeData* TFormSetProject::DragMime(QWidget* source) const {
    auto* mime = new QMimeData;
    const QByteArray tag = QByteArray::number(reinterpret_cast<quintptr>(this)) + '|' +
                           (source ? source->objectName().toUtf8() : QByteArray());
    mime->setData(kDragFormat, tag);
    return mime;
}

QWidget* TFormSetProject::DragSource(const QMimeData* mime) const {
    if (!mime || !mime->hasFormat(kDragFormat)) return nullptr;
    const QByteArray tag = mime->data(kDragFormat);
    const int bar = tag.indexOf('|');
    if (bar < 0 || tag.left(bar) != QByteArray::number(reinterpret_cast<quintptr>(this)))
        return nullptr;
    const QString name = QString::fromUtf8(tag.mid(bar + 1));
    // The browser's two styles are one source.
    if (name == ui_->lva->Table()->objectName() || name == ui_->lva->List()->objectName())
        return ui_->lva;
    return findChild<QWidget*>(name);
}

void TFormSetProject::WatchDrops(QWidget* target) {
    target->setAcceptDrops(true);
    QObject* watched = target;
    if (auto* view = qobject_cast<QAbstractItemView*>(target)) {
        view->viewport()->setAcceptDrops(true);
        watched = view->viewport();
    }
    watched->installEventFilter(this);
    dropTargets_[watched] = target;
}

void TFormSetProject::WatchDrags(QWidget* source) {
    QObject* watched = source;
    if (auto* view = qobject_cast<QAbstractItemView*>(source)) watched = view->viewport();
    watched->installEventFilter(this);
    dragSources_[watched] = source;
}

void TFormSetProject::StartDrag(QWidget* source) {
    auto* drag = new QDrag(source);
    drag->setMimeData(DragMime(source));
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

bool TFormSetProject::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            const auto t = dropTargets_.find(watched);
            if (t == dropTargets_.end()) break;
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (PlainTextDrop(t->second, e->mimeData())) break;
            if (CanDrop(t->second, e->mimeData()))
                e->acceptProposedAction();
            else
                e->ignore();
            return true;
        }
        case QEvent::Drop: {
            const auto t = dropTargets_.find(watched);
            if (t == dropTargets_.end()) break;
            auto* e = static_cast<QDropEvent*>(event);
            if (PlainTextDrop(t->second, e->mimeData())) break;
            if (!CanDrop(t->second, e->mimeData())) {
                e->ignore();
                return true;
            }
            e->acceptProposedAction();
            QWidget* target = t->second;
            const QMimeData* mime = e->mimeData();
            const QPoint pos = e->position().toPoint();
            RunCommand([&] { Drop(target, mime, pos); });
            return true;
        }
        case QEvent::MouseButtonPress: {
            const auto s = dragSources_.find(watched);
            auto* e = static_cast<QMouseEvent*>(event);
            if (s != dragSources_.end() && e->button() == Qt::LeftButton) {
                pressSource_ = s->second;
                pressPos_ = e->position().toPoint();
            }
            break;
        }
        case QEvent::MouseMove: {
            const auto s = dragSources_.find(watched);
            auto* e = static_cast<QMouseEvent*>(event);
            if (s == dragSources_.end() || s->second != pressSource_ ||
                !(e->buttons() & Qt::LeftButton))
                break;
            if ((e->position().toPoint() - pressPos_).manhattanLength() <
                QApplication::startDragDistance())
                break;
            QWidget* source = pressSource_;
            pressSource_ = nullptr;
            RunCommand([&] { StartDrag(source); });
            return true;
        }
        case QEvent::MouseButtonRelease:
            pressSource_ = nullptr;
            break;
        case QEvent::MouseButtonDblClick:
            if (watched == ui_->edRootDir) {
                RunCommand([this] { ShowDir(FromQ(ui_->edRootDir->text())); });
                return true;
            }
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

bool TFormSetProject::PlainTextDrop(const QWidget* target, const QMimeData* mime) const {
    // Text from another program goes into an edit as the edit itself takes it.
    return qobject_cast<const QLineEdit*>(target) && mime && !mime->hasFormat(kDragFormat) &&
           !mime->hasUrls() && mime->hasText();
}

bool TFormSetProject::IsNodeList(const QWidget* w) const {
    return w == ui_->lbDExt || w == ui_->lvDFilesIncl || w == ui_->lvDFilesExcl;
}

QListWidget* TFormSetProject::Partner(QListWidget* list) const {
    if (list == ui_->lvPFilesIncl) return ui_->lvPFilesExcl;
    if (list == ui_->lvPFilesExcl) return ui_->lvPFilesIncl;
    if (list == ui_->lvDFilesIncl) return ui_->lvDFilesExcl;
    if (list == ui_->lvDFilesExcl) return ui_->lvDFilesIncl;
    return nullptr;
}

bool TFormSetProject::AllFilesFor(const QWidget* extList) const {
    return extList == ui_->lbPExt ? ui_->cbPAllFiles->isChecked() : ui_->cbDAllFiles->isChecked();
}

bool TFormSetProject::CanDrop(QWidget* target, const QMimeData* mime) const {
    if (!project_ || !mime) return false;
    QWidget* src = DragSource(mime);
    const bool browser =
        src == ui_->lva || (!src && !mime->hasFormat(kDragFormat) && mime->hasUrls());
    const bool value = src == ui_->edValue;
    const bool found = src == ui_->lvf;
    if (target == ui_->edFileName || target == ui_->edArcName || target == ui_->edRootDir ||
        target == ui_->edValue)
        return browser;
    if (target == ui_->imRecicle)
        return src && src != ui_->lva && src != ui_->lvf && src != ui_->edValue;
    if (target == ui_->lbSaveDir) return browser || value || src == ui_->lbSaveDir;
    if (target == ui_->lbProjects || target == ui_->lvDirs) return browser || value;
    if (target == ui_->lbPExt || target == ui_->lbDExt)
        return browser || value || (found && AllFilesFor(target));
    if (target == ui_->lvPFilesIncl || target == ui_->lvDFilesIncl) return browser || value;
    if (target == ui_->lvPFilesExcl || target == ui_->lvDFilesExcl)
        return browser || value || found;
    return false;
}

std::vector<TFormSetProject::DragItem> TFormSetProject::DroppedItems(QWidget* source,
                                                                     const QMimeData* mime) const {
    std::vector<DragItem> items;
    if (source == ui_->lva) {
        for (int row : ui_->lva->SelectedRows()) items.push_back(ItemValues(row));
    } else if (source == ui_->edValue) {
        const std::string text = FromQ(ui_->edValue->text());
        if (!text.empty()) items.push_back({text, text, text});
    } else if (!source) {
        // From the desktop: Linux paths through the drive map.
        for (const QUrl& url : mime->urls()) {
            if (!url.isLocalFile()) continue;
            const QString local = url.toLocalFile();
            const std::optional<std::string> win = ToWindowsPath(local.toStdString());
            if (!win) {
                ShowError("Файл лежит вне дисков программы|"_a + RawText(FromQ(local)));
                continue;
            }
            const std::string path = RemoveBackslash(*win);
            if (DirectoryExists(DirPath(path)))
                items.push_back({path, std::string(), AddBackslash(path)});
            else
                items.push_back({RemoveBackslash(ExtractFilePath(path)), path, path});
        }
    }
    return items;
}

void TFormSetProject::Drop(QWidget* target, const QMimeData* mime, const QPoint& pos) {
    if (!project_) return;
    QWidget* src = DragSource(mime);
    if (target == ui_->imRecicle) {
        Recycle(src);
        return;
    }
    bool changed = false;
    if (src == ui_->lbSaveDir && target == ui_->lbSaveDir) {
        MoveSavePlace(pos);
        changed = true;
    } else if (src == ui_->lvf) {
        std::vector<int> rows;
        for (const QModelIndex& i : ui_->lvf->selectionModel()->selectedRows())
            rows.push_back(i.row());
        std::sort(rows.begin(), rows.end());
        for (int row : rows) changed = DropFoundRow(target, foundModel_->Row(row)) || changed;
    } else {
        const std::vector<DragItem> items = DroppedItems(src, mime);
        if (items.empty()) return;
        // Fields take one value: the browser's current item, or the first path dropped.
        const DragItem one =
            src == ui_->lva ? DragItem{selDir_, selFile_, selValue_} : items.front();
        if (target == ui_->edValue) {
            ui_->edValue->setText(ToQ(one.value));
            return;
        }
        if (target == ui_->edFileName || target == ui_->edArcName) {
            if (one.file.empty()) return;
            static_cast<QLineEdit*>(target)->setText(ToQ(BaseName(one.file)));
            changed = true;
        } else if (target == ui_->edRootDir) {
            if (one.dir.empty()) return;
            ui_->edRootDir->setText(ToQ(one.dir));
            changed = true;
        } else {
            for (const DragItem& item : items) changed = DropItem(target, item) || changed;
        }
    }
    if (changed) {
        MarkChanged();
        ApplyIfChanged();
    }
}

bool TFormSetProject::DropItem(QWidget* target, const DragItem& item) {
    if (target == ui_->lbPExt || target == ui_->lbDExt) {
        if (item.file.empty()) return false;
        const std::string name = ExtractFileName(item.file);
        const size_t dot = name.find('.');
        return AddUnique(static_cast<QListWidget*>(target),
                         dot == std::string::npos ? name : name.substr(dot + 1));
    }
    if (target == ui_->lbSaveDir) return !item.dir.empty() && AddUnique(ui_->lbSaveDir, item.dir);
    if (target == ui_->lbProjects) return AddDependency(item.file);
    if (target == ui_->lvDirs) return AddDirNode(item.dir);
    if (auto* list = qobject_cast<QListWidget*>(target); list && Partner(list))
        return AddFileEntry(list, item.file);
    return false;
}

bool TFormSetProject::DropFoundRow(QWidget* target, const TFoundRow& row) {
    if (target == ui_->lbPExt || target == ui_->lbDExt)
        return !row.ext.empty() && AddUnique(static_cast<QListWidget*>(target), row.ext);
    auto* list = qobject_cast<QListWidget*>(target);
    if (!list || !Partner(list)) return false;
    // The rows' paths are relative to the root directory the scan walked.
    std::string dir = row.path;
    if (ExtractFileDrive(dir).empty())
        dir = dir.empty() ? project_->Dir() : AddBackslash(project_->Dir()) + dir;
    return AddFileEntry(list, AddBackslash(dir) + FoundFileName(row));
}

bool TFormSetProject::AddUnique(QListWidget* list, const std::string& value) {
    for (int i = 0; i < list->count(); ++i)
        if (SameText(FromQ(list->item(i)->text()), value)) {
            ShowInfo(Quoted(value) + "\r\n\r\n" + "Уже имеется"_a);
            return false;
        }
    list->addItem(ToQ(value));
    return true;
}

bool TFormSetProject::AddFileEntry(QListWidget* list, const std::string& file) {
    if (file.empty()) return false;
    const bool node = IsNodeList(list);
    if (node && !currentNode_) return false;
    const std::string dir =
        node ? currentNode_->Dir() : RemoveBackslash(FromQ(ui_->edRootDir->text()));
    if (node && !ExtractFileDrive(file).empty() && RelativePath(dir, file) == file) {
        ShowError(Quoted(file) + "\r\n\r\n" + "не содержится в выбранном директории"_a);
        return false;
    }
    const std::string value = RelativePath(dir, file);
    if (value.empty() || !AddUnique(list, value)) return false;
    QListWidget* other = Partner(list);
    for (int i = other->count() - 1; i >= 0; --i)
        if (SameText(FromQ(other->item(i)->text()), value)) delete other->takeItem(i);
    return true;
}

bool TFormSetProject::AddDependency(const std::string& file) {
    if (file.empty()) return false;
    const std::string full = ExpandFileName(file);
    if (SameText(full, project_->GetFileName())) return false;
    if (!FileExists(full)) {
        ShowError("Файл "_a + Quoted(full) + " не найден"_a);
        return false;
    }
    THL_HalvoraProject other;
    other.FileName = full;
    if (!other.IsProjectFile()) {
        ShowError("Файл "_a + Quoted(full) + " не является проектом"_a);
        return false;
    }
    if (project_->Projects().IndexOf(full) >= 0) {
        ShowInfo(Quoted(full) + "\r\n\r\n" + "Уже имеется"_a);
        return false;
    }
    other.LoadFromFile();
    project_->Projects().Add(full);
    ui_->lbProjects->addItem(ToQ(other.Name()));
    return true;
}

bool TFormSetProject::AddDirNode(const std::string& dir) {
    const std::string path = RemoveBackslash(dir);
    if (path.empty()) return false;
    if (project_->Dirs().IndexOf(path) >= 0) {
        ShowInfo(Quoted(path) + "\r\n\r\n" + "Уже имеется"_a);
        return false;
    }
    project_->AddDirectory(path);
    FillDirNodes();
    return true;
}

void TFormSetProject::MoveSavePlace(const QPoint& pos) {
    QListWidget* list = ui_->lbSaveDir;
    const int from = list->currentRow();
    if (from < 0) return;
    int to = list->indexAt(pos).row();
    if (to < 0) to = list->count() - 1;
    QListWidgetItem* item = list->takeItem(from);
    list->insertItem(to, item);
    list->setCurrentRow(to);
}

void TFormSetProject::Recycle(QWidget* source) {
    auto* list = qobject_cast<QListWidget*>(source);
    if (!list) return;
    std::vector<int> rows;
    for (const QModelIndex& i : list->selectionModel()->selectedRows()) rows.push_back(i.row());
    if (rows.empty()) return;
    std::sort(rows.rbegin(), rows.rend());
    for (int row : rows) {
        if (list == ui_->lvDirs) {
            const std::string path = FromQ(list->item(row)->text());
            const int at = project_->Dirs().IndexOf(path);
            // The node open on the page "Директорий" is let go before it is freed.
            if (at >= 0 && project_->DirNode(at) == currentNode_) {
                currentNode_ = nullptr;
                ui_->cbDirs->setCurrentIndex(-1);
                OpenNode(nullptr);
            }
            project_->DeleteDirectory(path);
        } else if (list == ui_->lbProjects) {
            if (row < project_->Projects().Count()) project_->Projects().Delete(row);
        }
        delete list->takeItem(row);
    }
    if (list == ui_->lvDirs) FillDirNodes();
    MarkChanged();
    ApplyIfChanged();
}

}  // namespace hv
