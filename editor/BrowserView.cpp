#include "editor/BrowserView.h"

#include <QHeaderView>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QTreeView>
#include <algorithm>
#include <array>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "ui/Glyphs.h"
#include "ui/QtText.h"

namespace hv {

namespace {

// A sheet: a file, tinted by its verdict.
QPixmap Sheet(int verdict) {
    QPixmap pm = GlyphCanvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill[] = {QColor(250, 250, 250), QColor(220, 250, 220), QColor(250, 225, 225)};
    DrawSheet(p, QColor(90, 90, 90), fill[verdict], QColor(160, 160, 160));
    if (verdict == 1) DrawCheckMark(p);
    if (verdict == 2) DrawCrossMark(p);
    return pm;
}

// A folder; Up adds the arrow of the parent entry, Missing the cross of a
// directory that does not exist.
QPixmap Folder(bool up, bool missing) {
    QPixmap pm = GlyphCanvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 110, 20), 1));
    p.setBrush(missing ? QColor(215, 215, 215) : QColor(250, 210, 90));
    QPainterPath path;
    path.moveTo(0.5, 3.5);
    path.lineTo(5.5, 3.5);
    path.lineTo(7.0, 5.0);
    path.lineTo(15.5, 5.0);
    path.lineTo(15.5, 14.5);
    path.lineTo(0.5, 14.5);
    path.closeSubpath();
    p.drawPath(path);
    if (up) {
        p.setPen(QPen(QColor(20, 60, 160), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(8, 13), QPointF(8, 7));
        p.drawPolyline(QPolygonF({{5, 10}, {8, 7}, {11, 10}}));
    }
    if (missing) DrawCrossMark(p);
    return pm;
}

// A drive: a box with a mark of its kind; the drive of the directory shown is lit.
QPixmap Drive(int kind, bool current) {
    QPixmap pm = GlyphCanvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(current ? QColor(190, 230, 255) : QColor(210, 210, 210));
    switch (kind) {
        case 0:  // removable: a diskette
            p.drawRect(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(QColor(250, 250, 250));
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            break;
        case 2:  // CD-ROM: a disc
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(QColor(250, 250, 250));
            p.drawEllipse(QRectF(6, 6, 4, 4));
            break;
        case 3:  // network: a box on a wire
            p.drawRect(QRectF(1.5, 2.5, 13, 7));
            p.drawLine(QPointF(8, 9.5), QPointF(8, 14.5));
            p.drawLine(QPointF(2, 14.5), QPointF(14, 14.5));
            break;
        default:  // fixed
            p.drawRect(QRectF(1.5, 4.5, 13, 8));
            p.setBrush(QColor(0, 170, 0));
            p.drawEllipse(QRectF(11, 9, 2, 2));
            break;
    }
    return pm;
}

int Rank(int image) {
    if (IsDriveImage(image)) return 0;
    if (image == kImgParent) return 1;
    if (image == kImgDir) return 2;
    if (image == kImgDirMissing) return 3;
    return 4;
}

QString SizeText(int64_t size) {
    return QString::number(size);
}

}  // namespace

const QIcon& EditorImage(int index) {
    static const std::array<QIcon, kEditorImageCount> images = [] {
        std::array<QIcon, kEditorImageCount> a;
        const int kinds[] = {0, 1, 2, 3, 1};  // removable, fixed, CD-ROM, network, other
        for (int i = 0; i <= kImgDriveOther; ++i) a[i] = QIcon(Drive(kinds[i / 2], i % 2 == 1));
        a[kImgParent] = QIcon(Folder(true, false));
        a[kImgDir] = QIcon(Folder(false, false));
        a[kImgDirMissing] = QIcon(Folder(false, true));
        a[kImgFileUndecided] = QIcon(Sheet(0));
        a[kImgFileTaken] = QIcon(Sheet(1));
        a[kImgFileLeftOut] = QIcon(Sheet(2));
        return a;
    }();
    return images[static_cast<size_t>(std::clamp(index, 0, kEditorImageCount - 1))];
}

// ---- the disk listing ------------------------------------------------------------------

int TBrowserModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int TBrowserModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TBrowserModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const TBrowserItem& it = Item(index.row());
    if (role == ImageRole) return it.image;
    if (index.column() == 0) {
        if (role == Qt::DisplayRole) return ToQ(it.name);
        if (role == Qt::DecorationRole) return EditorImage(it.image);
    } else if (role == Qt::DisplayRole && IsFileImage(it.image)) {
        return SizeText(it.size);
    } else if (role == Qt::TextAlignmentRole) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant TBrowserModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? ToQ("Имя"_a) : ToQ("Размер"_a);
}

Qt::ItemFlags TBrowserModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
                           : Qt::NoItemFlags;
}

void TBrowserModel::SetItems(std::vector<TBrowserItem> items, const TBrowserSort& sort) {
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
    Sort(sort);
}

void TBrowserModel::Sort(const TBrowserSort& sort) {
    const auto fileKey = [&](const TBrowserItem& a, const TBrowserItem& b) {
        int c = 0;
        if (sort.by == kSortByExt)
            c = AnsiCompareText(ExtractFileExt(a.name), ExtractFileExt(b.name));
        else if (sort.by == kSortBySize)
            c = a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
        if (c == 0) c = AnsiCompareText(a.name, b.name);
        if (c == 0) c = a.name.compare(b.name);
        return sort.ascend ? c : -c;
    };
    beginResetModel();
    std::stable_sort(items_.begin(), items_.end(),
                     [&](const TBrowserItem& a, const TBrowserItem& b) {
                         const int ra = Rank(a.image), rb = Rank(b.image);
                         if (ra != rb) return ra < rb;
                         if (ra != 4) return AnsiCompareText(a.name, b.name) < 0;
                         if (sort.byVerdict && a.image != b.image) return a.image < b.image;
                         return fileKey(a, b) < 0;
                     });
    endResetModel();
}

int TBrowserModel::Find(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[static_cast<size_t>(i)].name, name)) return i;
    return -1;
}

TBrowserView::TBrowserView(QWidget* parent) : TTwoStyleView(parent, true, false) {
    // Drags start in the editor; this only keeps a multiple selection under the press.
    table_->setDragEnabled(true);
    list_->setDragEnabled(true);
}

void TBrowserView::SetModel(TBrowserModel* model) {
    model_ = model;
    table_->setObjectName(objectName() + "Table");
    list_->setObjectName(objectName() + "List");
    BindModel(model);
    // The name takes the room; the size keeps its own width.
    table_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->header()->setSectionResizeMode(1, QHeaderView::Interactive);
    table_->header()->resizeSection(1, 90);
    connect(table_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                emit CurrentRowChanged(current.isValid() ? current.row() : -1);
            });
}

int TBrowserView::CurrentRow() const {
    const QItemSelectionModel* sel = table_->selectionModel();
    return sel && sel->currentIndex().isValid() ? sel->currentIndex().row() : -1;
}

std::vector<int> TBrowserView::SelectedRows() const {
    std::vector<int> rows;
    if (const QItemSelectionModel* sel = table_->selectionModel())
        for (const QModelIndex& i : sel->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TBrowserView::SelectRow(int row) {
    QItemSelectionModel* sel = table_->selectionModel();
    if (!sel || !model_) return;
    if (row < 0 || row >= model_->Count()) {
        sel->clear();
        return;
    }
    const QModelIndex index = model_->index(row, 0);
    sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ScrollBothTo(row);
}

// ---- the found files ----------------------------------------------------------------------

std::string FoundFileName(const TFoundRow& row) {
    return row.ext.empty() ? row.name : row.name + "." + row.ext;
}

int TFoundModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int TFoundModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant TFoundModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const TFoundRow& r = Row(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case 0:
                return ToQ(r.name);
            case 1:
                return ToQ(r.ext);
            case 2:
                return SizeText(r.size);
            default:
                return ToQ(r.path);
        }
    }
    if (role == Qt::DecorationRole && index.column() == 0) return EditorImage(kImgFileTaken);
    if (role == Qt::TextAlignmentRole && index.column() == 2)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TFoundModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const names[] = {"Имя", "Рсш", "Размер", "Путь"};
    return QString::fromUtf8(names[std::clamp(section, 0, 3)]);
}

Qt::ItemFlags TFoundModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
                           : Qt::NoItemFlags;
}

void TFoundModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void TFoundModel::Append(std::vector<TFoundRow>& rows) {
    if (rows.empty()) return;
    beginInsertRows({}, Count(), Count() + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
    rows.clear();
}

void TFoundModel::SortRows(int column, bool ascend) {
    const auto cmp = [column](const TFoundRow& a, const TFoundRow& b) {
        int c = 0;
        switch (column) {
            case 1:
                c = AnsiCompareText(a.ext, b.ext);
                break;
            case 2:
                c = a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
                break;
            case 3:
                c = AnsiCompareText(a.path, b.path);
                break;
            default:
                break;
        }
        if (c == 0) c = AnsiCompareText(a.name, b.name);
        if (c == 0) c = AnsiCompareText(a.path, b.path);
        return c;
    };
    beginResetModel();
    std::stable_sort(rows_.begin(), rows_.end(), [&](const TFoundRow& a, const TFoundRow& b) {
        const int c = cmp(a, b);
        return ascend ? c < 0 : c > 0;
    });
    endResetModel();
}

int TFoundModel::Find(const std::string& path, const std::string& fileName) const {
    for (int i = 0; i < Count(); ++i) {
        const TFoundRow& r = rows_[static_cast<size_t>(i)];
        if (SameText(r.path, path) && SameText(FoundFileName(r), fileName)) return i;
    }
    return -1;
}

}  // namespace hv
