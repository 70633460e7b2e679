// The two browsers of the project editor: the disk listing (`lva`), one model
// shown as a list or as a table, and the files the project selects (`lvf`).
// Both hold 1251 text and sort by the editor's rules in the model itself.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/TwoStyleView.h"

class QAbstractItemView;
class QListView;
class QTreeView;

namespace hv {

// Images of the browser items, by the index the editor's handlers test.
enum : int {
    kImgDriveRemovable = 0,  // +1: the drive of the directory shown
    kImgDriveFixed = 2,
    kImgDriveCdRom = 4,
    kImgDriveNetwork = 6,
    kImgDriveOther = 8,
    kImgParent = 9,
    kImgDir = 10,
    kImgDirMissing = 11,
    kImgFileUndecided = 12,
    kImgFileTaken = 13,
    kImgFileLeftOut = 14,
    kEditorImageCount = 15,
};
const QIcon& EditorImage(int index);
inline bool IsDriveImage(int image) {
    return image >= 0 && image <= kImgDriveOther;
}
inline bool IsFileImage(int image) {
    return image >= kImgFileUndecided && image <= kImgFileLeftOut;
}

// Sort keys of the disk browser's files.
enum : int { kSortByName = 0, kSortByExt = 1, kSortBySize = 2 };

struct TBrowserItem {
    std::string name;  // the caption, 1251
    int image = kImgFileUndecided;
    int64_t size = 0;  // files only
};

// Sort settings of the disk browser.
struct TBrowserSort {
    int by = kSortByName;
    bool ascend = false;
    bool byVerdict = false;  // "по включению": files grouped undecided, taken, left out
};

// The disk listing: columns "Имя" and "Размер".
class TBrowserModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum { ImageRole = Qt::UserRole + 1 };
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Replaces the items, sorted by Sort.
    void SetItems(std::vector<TBrowserItem> items, const TBrowserSort& sort);
    void Sort(const TBrowserSort& sort);
    const TBrowserItem& Item(int row) const { return items_[static_cast<size_t>(row)]; }
    int Count() const { return static_cast<int>(items_.size()); }
    // The first row whose caption equals Name (ignoring case), or -1.
    int Find(const std::string& name) const;

  private:
    std::vector<TBrowserItem> items_;
};

// The disk browser as a list or a table over one model and one selection.
class TBrowserView : public TTwoStyleView {
    Q_OBJECT
  public:
    explicit TBrowserView(QWidget* parent = nullptr);

    void SetModel(TBrowserModel* model);
    TBrowserModel* Model() const { return model_; }

    // The current row (the one the keyboard and the last click stand on), -1 when none.
    int CurrentRow() const;
    // Every selected row, in order.
    std::vector<int> SelectedRows() const;
    // Makes Row current and the only one selected, and scrolls to it.
    void SelectRow(int row);

  signals:
    void CurrentRowChanged(int row);

  private:
    TBrowserModel* model_ = nullptr;
};

// One file the project selects.
struct TFoundRow {
    std::string name;  // without the extension
    std::string ext;   // without the dot
    int64_t size = 0;
    std::string path;  // the directory, relative to the root directory when below it
};

// The found files: columns "Имя", "Рсш", "Размер", "Путь".
class TFoundModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void Clear();
    void Append(std::vector<TFoundRow>& rows);
    // Column 0 name, 1 extension, 2 size, 3 path.
    void SortRows(int column, bool ascend);
    const TFoundRow& Row(int row) const { return rows_[static_cast<size_t>(row)]; }
    int Count() const { return static_cast<int>(rows_.size()); }
    // The row of a file (path and name.ext, ignoring case), or -1.
    int Find(const std::string& path, const std::string& fileName) const;

  private:
    std::vector<TFoundRow> rows_;
};

// Name + "." + Ext, or Name alone without an extension.
std::string FoundFileName(const TFoundRow& row);

}  // namespace hv
