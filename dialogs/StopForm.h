// TStopForm: the debug checkpoint strip, a red always-on-top strip at the
// top-left corner that holds the program at a checkpoint until "Cn"
// (continue) or "Ex" (end the program). Shown only in debug mode.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace hv {

class TStopForm : public QDialog {
    Q_OBJECT
  public:
    explicit TStopForm(QWidget* parent = nullptr);

    void SetTexts(const QString& title, const QString& text);
    // Runs modally; true when "Ex" ended it.
    bool Run();
    bool EndRequested() const { return end_; }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void End();

    QLabel* title_;
    QLabel* text_;
    bool end_ = false;
};

// The checkpoint: in debug mode and while the application is not
// terminating, shows the strip with Text and waits. "Ex" terminates the
// application and abandons the current command (EAbort).
void DebugStop(const std::string& text);

}  // namespace hv
