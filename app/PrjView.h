// The project list as the main window shows it twice: the project view and
// the archive view, one row per entry, each in the report ("Таблица ") or the
// plain list ("Список") style. Both styles are views over one model with one
// selection, so switching keeps the selected row.
#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QStackedWidget>

class QAbstractItemView;
class QListView;
class QTreeView;

namespace hv {

class T_PrjList;

// The shared image list: 0..2 projects (valid, checked, not valid), 3..5 archives.
const QIcon& PrjImage(int index);
constexpr int kPrjImageCount = 6;

// Rows of a T_PrjList; the image index of a row is given in ImageRole.
class TPrjListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    enum { ImageRole = Qt::UserRole + 1 };
    // ImageBase 0: the project view's images; 3: the archive view's.
    TPrjListModel(const T_PrjList& list, int imageBase, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    int ImageIndex(int row) const;
    // The list changed: every view over the model is rebuilt.
    void Reset();

  private:
    const T_PrjList& list_;
    int base_;
};

class TPrjView : public QStackedWidget {
    Q_OBJECT
  public:
    explicit TPrjView(QWidget* parent = nullptr);

    void SetModel(QAbstractItemModel* model);
    void SetListStyle(bool list);
    bool ListStyle() const { return currentIndex() == 1; }
    QTreeView* Table() const { return table_; }
    QListView* List() const { return list_; }
    QAbstractItemView* Current() const;

    // The selected row, -1 when none.
    int Selected() const;
    // Selects Row alone (-1 clears the selection).
    void Select(int row);
    void ScrollToSelected();
    int RowCount() const;
    QString Caption(int row) const;

  signals:
    void RowSelected(int row);
    void RowDoubleClicked(int row);
    void MenuRequested(const QPoint& globalPos);

  private:
    QTreeView* table_;
    QListView* list_;
};

}  // namespace hv
