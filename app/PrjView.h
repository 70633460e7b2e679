// The project list as the main window shows it twice: the project view and
// the archive view, one row per entry, each in the report ("Таблица ") or the
// plain list ("Список") style. Both styles are views over one model with one
// selection, so switching keeps the selected row.
#pragma once

#include <QAbstractListModel>
#include <QIcon>

#include "ui/TwoStyleView.h"

class QAbstractItemView;
class QMimeData;
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
    // One entry changed (its check mark): its row is drawn again.
    void RowChanged(int row);

  private:
    const T_PrjList& list_;
    int base_;
};

class TPrjView : public TTwoStyleView {
    Q_OBJECT
  public:
    explicit TPrjView(QWidget* parent = nullptr);

    void SetModel(QAbstractItemModel* model);

    // The selected row, -1 when none.
    int Selected() const;
    // Selects Row alone (-1 clears the selection).
    void Select(int row);
    void ScrollToSelected();
    int RowCount() const;
    QString Caption(int row) const;

    // Rows may be dragged onto other rows of this view (RowDropped); drags
    // from anywhere else are refused.
    void SetReorderable(bool on);
    // What a drag of Row carries.
    QMimeData* RowMime(int row) const;
    // Where the image and the caption of Row lie in the current style's viewport.
    QRect ImageRect(int row) const;
    QRect CaptionRect(int row) const;

  signals:
    void RowSelected(int row);
    // A double click, judged at the point of the last mouse press: on the
    // row's image (OnImage) or on its caption.
    void RowItemDoubleClicked(int row, bool onImage);
    // Row From was dropped on row To.
    void RowDropped(int from, int to);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The row a drag of this view carries, or -1.
    int DraggedRow(const QMimeData* mime) const;
    QRect PartRect(int row, bool image) const;

    bool reorderable_ = false;
    QPoint pressPos_;
    int pressRow_ = -1;
};

}  // namespace hv
