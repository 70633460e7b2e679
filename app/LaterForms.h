// Windows the program creates at start-up whose content comes later: the
// debug window, the archive browser and the project editor. They exist now
// so that the creation order, fonts and placement keys already hold; each is
// replaced by its real form.
#pragma once

#include <QDialog>
#include <string>

class QLabel;

namespace hv {

class TFormOtl : public QDialog {
    Q_OBJECT
  public:
    explicit TFormOtl(QWidget* parent = nullptr);
};

class TFormArc : public QDialog {
    Q_OBJECT
  public:
    explicit TFormArc(QWidget* parent = nullptr);
    // The archive to browse.
    void SetArchive(const std::string& fileName);
    const std::string& Archive() const { return archive_; }

  private:
    QLabel* label_;
    std::string archive_;
};

}  // namespace hv
