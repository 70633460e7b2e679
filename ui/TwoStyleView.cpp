#include "ui/TwoStyleView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QTreeView>

namespace hv {

TTwoStyleView::TTwoStyleView(QWidget* parent, bool multiSelect, bool stretchLastColumn)
    : QStackedWidget(parent), table_(new QTreeView(this)), list_(new QListView(this)) {
    table_->setRootIsDecorated(false);
    table_->setUniformRowHeights(true);
    table_->setAllColumnsShowFocus(true);
    table_->header()->setStretchLastSection(stretchLastColumn);
    list_->setViewMode(QListView::ListMode);
    list_->setFlow(QListView::TopToBottom);
    list_->setWrapping(true);
    list_->setResizeMode(QListView::Adjust);
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(table_), static_cast<QAbstractItemView*>(list_)}) {
        v->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                        : QAbstractItemView::SingleSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setIconSize(QSize(16, 16));
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](const QPoint& pos) {
            emit MenuRequested(v->viewport()->mapToGlobal(pos));
        });
        connect(v, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& index) { emit RowDoubleClicked(index.row()); });
    }
    addWidget(table_);
    addWidget(list_);
    setFocusProxy(table_);
}

void TTwoStyleView::BindModel(QAbstractItemModel* model) {
    table_->setModel(model);
    list_->setModel(model);
    QItemSelectionModel* old = list_->selectionModel();
    list_->setSelectionModel(table_->selectionModel());
    if (old) old->deleteLater();
}

void TTwoStyleView::SetListStyle(bool list) {
    setCurrentIndex(list ? 1 : 0);
    setFocusProxy(Current());
}

QAbstractItemView* TTwoStyleView::Current() const {
    return ListStyle() ? static_cast<QAbstractItemView*>(list_) : table_;
}

void TTwoStyleView::ScrollBothTo(int row) {
    if (!table_->model()) return;
    const QModelIndex index = table_->model()->index(row, 0);
    table_->scrollTo(index, QAbstractItemView::EnsureVisible);
    list_->scrollTo(index, QAbstractItemView::EnsureVisible);
}

}  // namespace hv
