// A list shown in the report style (a table with columns) or the plain list
// style, switchable at any time. Both styles are views over one model with one
// selection, so switching keeps the selected rows.
#pragma once

#include <QStackedWidget>

class QAbstractItemModel;
class QAbstractItemView;
class QListView;
class QTreeView;

namespace hv {

class TTwoStyleView : public QStackedWidget {
    Q_OBJECT
  public:
    TTwoStyleView(QWidget* parent, bool multiSelect, bool stretchLastColumn);

    void SetListStyle(bool list);
    bool ListStyle() const { return currentIndex() == 1; }
    QTreeView* Table() const { return table_; }
    QListView* List() const { return list_; }
    QAbstractItemView* Current() const;

  signals:
    void RowDoubleClicked(int row);
    void MenuRequested(const QPoint& globalPos);

  protected:
    // Puts Model under both styles and gives them the table's selection.
    void BindModel(QAbstractItemModel* model);
    // Shows Row in both styles.
    void ScrollBothTo(int row);

    QTreeView* table_;
    QListView* list_;
};

}  // namespace hv
