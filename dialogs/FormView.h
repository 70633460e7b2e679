// TFormView: shows a text read-only in a fixed-pitch font; after a run, the
// archivers' output, which is in the OEM code page. It can follow a growing
// file, reloading it every second while it exists.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

class QTimer;

namespace Ui {
class FormView;
}

namespace hv {

class TFormView : public QDialog {
    Q_OBJECT
  public:
    explicit TFormView(QWidget* parent = nullptr);
    ~TFormView() override;

    // The text to show (1251, or OEM with SetConvertFromOem).
    void LoadText(const std::string& text);
    // Loads a file (Windows path); raises when it cannot be read.
    void LoadFromFile(const std::string& fileName);
    // The loaded text comes from DOS programs: it is converted from OEM when
    // the window is shown, once; showing it again does not convert it twice.
    void SetConvertFromOem(bool on) { fromOem_ = on; }
    bool ConvertFromOem() const { return fromOem_; }
    // A file to follow while shown (empty: none).
    void SetFollowFile(const std::string& fileName);

    // Shows the window modally.
    int ShowModal();
    // What the memo shows.
    QString MemoText() const;
    // One tick of the follow timer: reloads the followed file when it exists.
    void TimerTick();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

  private:
    void Refresh(bool convert);

    std::unique_ptr<Ui::FormView> ui_;
    QTimer* timer_;
    std::string text_;
    bool fromOem_ = false;
    bool converted_ = false;  // text_ is already 1251
    std::string follow_;
};

}  // namespace hv
