#include "app/PrjView.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTreeView>
#include <algorithm>
#include <array>

#include "platform/AnsiLiteral.h"
#include "run/ProjectList.h"
#include "ui/Glyphs.h"
#include "ui/QtText.h"

namespace hv {

namespace {

enum class Mark { None, Check, Cross };

void DrawMark(QPainter& p, Mark mark) {
    if (mark == Mark::Check) DrawCheckMark(p);
    if (mark == Mark::Cross) DrawCrossMark(p);
}

// A sheet with a folded corner: a project file.
QPixmap Sheet(Mark mark) {
    QPixmap pm = GlyphCanvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const bool dim = mark == Mark::Cross;
    DrawSheet(p, dim ? QColor(150, 150, 150) : QColor(60, 60, 110),
              dim ? QColor(225, 225, 225) : QColor(255, 255, 240),
              dim ? QColor(180, 180, 180) : QColor(120, 140, 200));
    DrawMark(p, mark);
    return pm;
}

// A corded box: an archive.
QPixmap Box(Mark mark) {
    QPixmap pm = GlyphCanvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const bool dim = mark == Mark::Cross;
    p.setPen(QPen(dim ? QColor(150, 150, 150) : QColor(110, 70, 20), 1));
    p.setBrush(dim ? QColor(215, 215, 215) : QColor(225, 175, 90));
    p.drawRect(QRectF(1.5, 3.5, 13, 11));
    p.setBrush(dim ? QColor(195, 195, 195) : QColor(200, 145, 60));
    p.drawRect(QRectF(0.5, 1.5, 15, 3));
    p.setPen(QPen(dim ? QColor(170, 170, 170) : QColor(90, 60, 160), 2));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
    DrawMark(p, mark);
    return pm;
}

}  // namespace

const QIcon& PrjImage(int index) {
    static const std::array<QIcon, kPrjImageCount> images = {
        QIcon(Sheet(Mark::None)), QIcon(Sheet(Mark::Check)), QIcon(Sheet(Mark::Cross)),
        QIcon(Box(Mark::None)),   QIcon(Box(Mark::Check)),   QIcon(Box(Mark::Cross)),
    };
    return images[static_cast<size_t>(std::clamp(index, 0, kPrjImageCount - 1))];
}

TPrjListModel::TPrjListModel(const T_PrjList& list, int imageBase, QObject* parent)
    : QAbstractListModel(parent), list_(list), base_(imageBase) {}

int TPrjListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.GetCount();
}

int TPrjListModel::ImageIndex(int row) const {
    const T_Prj* p = list_.Items(row);
    if (!p->Valid) return base_ + 2;
    return base_ + (p->IsChecked() ? 1 : 0);
}

QVariant TPrjListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.GetCount()) return {};
    switch (role) {
        case Qt::DisplayRole:
            return ToQ(list_.Items(index.row())->Name);
        case Qt::DecorationRole:
            return PrjImage(ImageIndex(index.row()));
        case ImageRole:
            return ImageIndex(index.row());
        default:
            return {};
    }
}

QVariant TPrjListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section == 0)
        return ToQ("Наименование"_a);
    return {};
}

void TPrjListModel::Reset() {
    beginResetModel();
    endResetModel();
}

void TPrjListModel::RowChanged(int row) {
    if (row >= 0 && row < rowCount()) emit dataChanged(index(row), index(row));
}

TPrjView::TPrjView(QWidget* parent) : TTwoStyleView(parent, false, true) {
    list_->setUniformItemSizes(true);
    table_->viewport()->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
}

void TPrjView::SetModel(QAbstractItemModel* model) {
    // Named after the view, so that each keeps its own column layout.
    table_->setObjectName(objectName() + "Table");
    list_->setObjectName(objectName() + "List");
    BindModel(model);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit RowSelected(Selected()); });
}

int TPrjView::Selected() const {
    const QItemSelectionModel* sel = table_->selectionModel();
    if (!sel) return -1;
    const QModelIndexList rows = sel->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TPrjView::Select(int row) {
    QItemSelectionModel* sel = table_->selectionModel();
    if (!sel) return;
    if (row < 0 || row >= RowCount()) {
        sel->clearSelection();
        return;
    }
    const QModelIndex index = table_->model()->index(row, 0);
    sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TPrjView::ScrollToSelected() {
    const int row = Selected();
    if (row >= 0) ScrollBothTo(row);
}

int TPrjView::RowCount() const { return table_->model() ? table_->model()->rowCount() : 0; }

QString TPrjView::Caption(int row) const {
    if (row < 0 || row >= RowCount()) return {};
    return table_->model()->index(row, 0).data(Qt::DisplayRole).toString();
}

namespace {
const QString kRowFormat = QStringLiteral("application/x-halvora-project-row");
}

void TPrjView::SetReorderable(bool on) {
    reorderable_ = on;
    table_->viewport()->setAcceptDrops(on);
    list_->viewport()->setAcceptDrops(on);
}

QMimeData* TPrjView::RowMime(int row) const {
    auto* mime = new QMimeData;
    mime->setData(kRowFormat, QByteArray::number(reinterpret_cast<quintptr>(this)) + '|' +
                                  QByteArray::number(row));
    return mime;
}

int TPrjView::DraggedRow(const QMimeData* mime) const {
    if (!reorderable_ || !mime || !mime->hasFormat(kRowFormat)) return -1;
    const QList<QByteArray> parts = mime->data(kRowFormat).split('|');
    if (parts.size() != 2 || parts[0] != QByteArray::number(reinterpret_cast<quintptr>(this)))
        return -1;
    bool ok = false;
    const int row = parts[1].toInt(&ok);
    return ok && row >= 0 && row < RowCount() ? row : -1;
}

QRect TPrjView::PartRect(int row, bool image) const {
    QAbstractItemView* v = Current();
    if (!v->model() || row < 0 || row >= RowCount()) return {};
    const QModelIndex index = v->model()->index(row, 0);
    QStyleOptionViewItem opt;
    opt.initFrom(v->viewport());
    opt.rect = v->visualRect(index);
    opt.features = QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasDisplay;
    opt.decorationSize = v->iconSize();
    opt.decorationPosition = QStyleOptionViewItem::Left;
    opt.decorationAlignment = Qt::AlignCenter;
    opt.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    opt.icon = index.data(Qt::DecorationRole).value<QIcon>();
    opt.text = index.data(Qt::DisplayRole).toString();
    opt.font = v->font();
    opt.fontMetrics = v->fontMetrics();
    opt.index = index;
    QStyle* st = v->style();
    return st->subElementRect(
        image ? QStyle::SE_ItemViewItemDecoration : QStyle::SE_ItemViewItemText, &opt, v);
}

QRect TPrjView::ImageRect(int row) const {
    return PartRect(row, true);
}
QRect TPrjView::CaptionRect(int row) const {
    return PartRect(row, false);
}

bool TPrjView::eventFilter(QObject* watched, QEvent* event) {
    QAbstractItemView* v = watched == table_->viewport()  ? static_cast<QAbstractItemView*>(table_)
                           : watched == list_->viewport() ? static_cast<QAbstractItemView*>(list_)
                                                          : nullptr;
    if (!v) return QStackedWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            pressPos_ = e->position().toPoint();
            pressRow_ = e->button() == Qt::LeftButton ? v->indexAt(pressPos_).row() : -1;
            break;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (!reorderable_ || pressRow_ < 0 || !(e->buttons() & Qt::LeftButton) ||
                (e->position().toPoint() - pressPos_).manhattanLength() <
                    QApplication::startDragDistance())
                break;
            const int row = pressRow_;
            pressRow_ = -1;
            auto* drag = new QDrag(v);
            drag->setMimeData(RowMime(row));
            drag->exec(Qt::MoveAction);
            return true;
        }
        case QEvent::MouseButtonRelease:
            pressRow_ = -1;
            break;
        case QEvent::MouseButtonDblClick: {
            const int row = v->indexAt(pressPos_).row();
            if (row < 0) break;
            if (ImageRect(row).contains(pressPos_))
                emit RowItemDoubleClicked(row, true);
            else if (CaptionRect(row).contains(pressPos_))
                emit RowItemDoubleClicked(row, false);
            break;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (DraggedRow(e->mimeData()) >= 0)
                e->acceptProposedAction();
            else
                e->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            const int from = DraggedRow(e->mimeData());
            // A drop on empty space does nothing.
            const int to = v->indexAt(e->position().toPoint()).row();
            if (from < 0 || to < 0) {
                e->ignore();
                return true;
            }
            e->acceptProposedAction();
            emit RowDropped(from, to);
            return true;
        }
        default:
            break;
    }
    return QStackedWidget::eventFilter(watched, event);
}

}  // namespace hv
