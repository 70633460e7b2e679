// TFormMessage: the modal message window behind the message functions. A
// coloured banner names the kind, a bold heading and the text follow, then
// the standard buttons (Ok/Cancel or Yes/No) or the caller's own buttons, in a
// row or, when the row would be too wide, stacked.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "dialogs/Messages.h"

class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;
class QVBoxLayout;
class QWidget;

namespace hv {

class TLabel3D;

class TFormMessage : public QDialog {
    Q_OBJECT
  public:
    explicit TFormMessage(QWidget* parent = nullptr);

    // Everything a request asks for: kind, buttons, heading, text, caption, banner.
    void Setup(const MessageRequest& request);
    // Normalises Kind; closes the window first when it is shown; the same
    // non-zero kind again changes nothing.
    void SetKind(uint16_t kind);
    uint16_t Kind() const { return kind_; }
    void SetCallerButtons(const std::vector<std::string>& captions);
    void SetHeading(const std::string& heading);
    void SetText(const std::string& text);
    void SetBanner(const std::string& banner);
    void SetEscapeResult(int result) { escapeResult_ = result; }
    void SetKeyPreview(bool on) { keyPreview_ = on; }

    // Lays the window out, runs it modally and gives the answer: 1 Ok/Yes,
    // 2 Cancel/No, k for the k-th caller button, the escape answer on Esc, -1
    // when it was closed without one.
    int Run();
    int Result() const { return result_; }
    // Whether the caller buttons are stacked (valid after Run or LayOut).
    bool Stacked() const { return stacked_; }
    // Sizes and places the controls for the current contents.
    void LayOut();

    // The 3-second check: a visible window that lost the focus is activated
    // again; one that became invisible closes without an answer.
    void TimerTick();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void ApplyColours();
    void Answer(int result);
    int EscapeAnswer() const;
    QPushButton* AddCallerButton(int number, const QString& caption);

    TLabel3D* lbHeader_;
    QFrame* pnHeader_;
    QScrollArea* sb_;
    QLabel* lbWarnInform_;
    QLabel* lbWarn_;
    QFrame* bevel_;
    QPushButton* btCancelApp_;
    QFrame* pnButton_;
    QPushButton* btOk_;
    QPushButton* btCancel_;
    QWidget* callerPanel_ = nullptr;
    QScrollArea* callerScroll_ = nullptr;
    QTimer* timer_;

    uint16_t kind_ = 0;
    int result_ = -1;
    int escapeResult_ = 1;
    bool keyPreview_ = true;
    bool stacked_ = false;
    std::vector<std::string> captions_;
};

}  // namespace hv
