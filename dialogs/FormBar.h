// TFormBar: the progress window of long operations. One or two bars with a
// message line above each, and "Стоп", which sets the interrupt flag the
// operation polls once the user confirms. While it is shown the window that
// started the operation is disabled, so the operation's own message pumping
// keeps the screen alive without letting the user start anything else.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

#include "dialogs/Progress.h"

class QProgressBar;

namespace Ui {
class FormBar;
}

namespace hv {

class TFormBar : public QDialog, public ProgressSink {
    Q_OBJECT
  public:
    explicit TFormBar(QWidget* parent = nullptr);
    ~TFormBar() override;

    // Mode 0 opens ("Bars is allready active" when it is open or has an
    // owner): two bars when bar 2 has a range; Owner (none: the active window)
    // is disabled until the window closes. Modes 1 and 2 reset bar 1's or
    // bar 2's range.
    void InitBars(int mode, int min1, int max1, int min2 = 0, int max2 = 0) override;
    void InitBars(int mode, int64_t min1, int64_t max1, int64_t min2, int64_t max2, QWidget* owner);
    void InitBarsLarge(int mode, int64_t min1, int64_t max1, int64_t min2 = 0,
                       int64_t max2 = 0) override;
    void PosBar(int bar, int position) override;
    void PosBarLarge(int bar, int64_t position) override;
    void Mess(int kind, const std::string& text) override;
    void Complete() override;
    int GetMax1() const override;
    int64_t GetMax1Large() const override { return bar_[0].max; }
    bool Interrupted() const override { return interrupted_; }
    void SetInterrupted(bool value) override { interrupted_ = value; }
    // Closes the window: a short delay, the interrupt flag cleared, the owner
    // given back.
    void Close() override;

    // Waits Ms (above 5000 or negative: 5000) while pumping messages; ends
    // early once the interrupt flag is set.
    void Delay(int ms);

    bool TwoBars() const { return twoBars_; }
    bool Shown() const { return shown_; }
    QWidget* Owner() const { return owner_; }
    // The confirmation of "Стоп".
    void StopPressed();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // The design width; the height follows the wrapped message lines.
    void FitHeight();

    struct Bar {
        int64_t min = 0, max = 100;
        int64_t scale = 1;  // caller's values per bar unit
        int64_t step = 4;   // in bar units
        int64_t bandLow = 0, bandHigh = 0;
        int64_t last = -1;
    };

    QProgressBar* BarWidget(int bar) const;
    void SetMinMax(int bar, int64_t min, int64_t max);
    void MoveBar(int bar, int64_t value);
    void ActivateIfNeeded();
    void Settle();
    void GiveOwnerBack();

    std::unique_ptr<Ui::FormBar> ui_;
    Bar bar_[2];
    bool twoBars_ = false;
    bool interrupted_ = false;
    bool shown_ = false;
    bool closing_ = false;
    QPointer<QWidget> owner_;
    bool ownerWasActive_ = false;
};

}  // namespace hv
