// TFormArc: the archive browser. The left list holds the drives, or a
// directory's parent, subdirectories and archives; the right side the headers
// and members of the archive chosen there. Files are added, members deleted
// and extracted through the one TPackFileObject the window owns. While that
// object works, only "Остановить" answers: every other control is disabled,
// drops are refused and Esc does not close the window.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QFileDialog;
class QModelIndex;

namespace Ui {
class FormArc;
}

namespace hv {

class TArcDirModel;
class TArcMemberModel;
class TPackFileObject;
struct TArchive0Header;

class TFormArc : public QDialog {
    Q_OBJECT
  public:
    // Image indexes of the entries of lva, also their first sort key.
    enum : int {
        kImgRemovable = 0,  // +1: the current drive
        kImgFixed = 2,
        kImgCdRom = 4,
        kImgNetDrive = 6,
        kImgNetwork = 8,
        kImgParent = 9,
        kImgDir = 10,
        kImgArchive = 11,
    };
    // Columns of lv.
    enum : int { kColFullName, kColName, kColExt, kColSize, kColPacked, kColRatio, kColPath };

    explicit TFormArc(QWidget* parent = nullptr);
    ~TFormArc() override;

    // The archive opened when the window is shown; closing the window clears it.
    std::string InitialArchive;
    // Shows the window without blocking, on Archive. While the archive object
    // works the window only comes to the front.
    void Browse(const std::string& archive);

    // lva: the parent, subdirectories and archives of Dir; the archive shown
    // before is chosen again when it is there, else the first archive.
    void ListDir(const std::string& dir);
    // lva: every drive of the drive map, then "Сеть".
    void ListDrives();
    // Puts Name into edArcName, lists its members, selects its entry.
    void OpenArchive(const std::string& name);
    // lv from the archive shown; the information group for the archive.
    void ListMembers();
    // The information group for the member of lv's Row.
    void ShowMemberInfo(int row);
    // A click on a column of lv: sorted by it, reversed by a second click.
    void SortMembers(int column);

    // "Архивировать": the files into the archive named in edArcName. The
    // comment edited in mComment goes with them when it is the archive's.
    void AddFiles(const std::vector<std::string>& files, bool withComment = true);
    // "Удалить": the selected members.
    void DeleteSelected();
    // "Распаковать" into Dir (Windows path), asking before a file is replaced.
    void UnpackSelected(const std::string& dir);
    // "Остановить".
    void StopWork();

    bool Busy() const { return busy_; }
    const std::string& Dir() const { return dir_; }
    // The archive whose members lv shows; empty when none.
    const std::string& Shown() const { return shown_; }
    TPackFileObject& ArchiveObject() { return *arc_; }
    // Stored names of the selected members, in the order shown.
    std::vector<std::string> SelectedMembers() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    class BusyScope;

    void OpenInitial();
    void Progress(int32_t done, int32_t total);
    void SetBusy(bool busy);
    void EntryClicked(const QModelIndex& index);
    void EntryDoubleClicked(const QModelIndex& index);
    void ShowDrive();
    void ChooseArchive();
    void ChooseFilesToAdd();
    void ChooseUnpackDir();
    // Extracts the member over Target: into a directory beside it first, and
    // over it only when whole. The container's result code.
    int ExtractReplacing(const std::string& target);
    // The archive named in edArcName; "Не выбрано" abandons the command.
    std::string ChosenArchive();
    void ShowArchiveInfo();
    std::string CurrentDrive() const;

    std::unique_ptr<Ui::FormArc> ui_;
    std::unique_ptr<TPackFileObject> arc_;
    TArcDirModel* dirModel_;
    TArcMemberModel* members_;
    QFileDialog* OpenDialog1;
    std::string dir_;
    std::string shown_;
    // What the information group shows: the archive's header or a member's.
    std::unique_ptr<TArchive0Header> header_;
    uint8_t type_ = 1;  // GetArchiveType's "no archive"
    bool infoOfMember_ = false;
    int64_t count_ = 0, unpacked_ = 0, packed_ = 0;
    int sortColumn_ = kColName;
    bool descending_ = false;
    bool busy_ = false;
    bool stopAsked_ = false;
};

}  // namespace hv
