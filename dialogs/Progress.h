// What a long operation needs from its progress window (TFormBar): a title,
// message lines, one or two bars, and the interrupt flag it polls. The window
// plugs in here; NullProgress keeps the state without showing anything.
#pragma once

#include <cstdint>
#include <string>

namespace hv {

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;

    // Mode 0 opens (two bars when bar 2 has a range), 1 resets bar 1's range,
    // 2 resets bar 2's range. A maximum below its minimum is raised to it.
    virtual void InitBars(int mode, int min1, int max1, int min2 = 0, int max2 = 0) = 0;
    // Bar 1 or 2; moving bar 1 sets bar 2 back to its minimum.
    virtual void PosBar(int bar, int position) = 0;
    // Kind 0: title; 1: first message line; 2: second line.
    virtual void Mess(int kind, const std::string& text) = 0;
    // Bar 1 jumps to its maximum.
    virtual void Complete() = 0;
    virtual int GetMax1() const = 0;
    virtual bool Interrupted() const = 0;
    virtual void SetInterrupted(bool value) = 0;
    // Closes the window; clears the interrupt flag.
    virtual void Close() = 0;

    void Pos1(int position) { PosBar(1, position); }
    void SetTitle(const std::string& text) { Mess(0, text); }
    void SetMessage1(const std::string& text) { Mess(1, text); }

    // Ranges and positions that need not fit in int (byte counts of a large
    // copy). This default divides them by a scale that brings the range into
    // int and hands them to InitBars and PosBar; a window with a scale of its
    // own overrides them.
    virtual void InitBarsLarge(int mode, int64_t min1, int64_t max1, int64_t min2 = 0,
                               int64_t max2 = 0);
    virtual void PosBarLarge(int bar, int64_t position);
    // Bar 1's maximum as given to InitBarsLarge (or GetMax1 after InitBars).
    virtual int64_t GetMax1Large() const;

    // The divisor that brings Min..Max into int (1 for ranges that fit).
    static int64_t ScaleFor(int64_t min, int64_t max);

  private:
    int64_t largeScale_[2] = {1, 1};
    int64_t largeMax1_ = 0;
    bool largeMax1Set_ = false;
};

// Shows nothing; remembers what it was told so that callers and tests can read it.
class NullProgress : public ProgressSink {
  public:
    void InitBars(int mode, int min1, int max1, int min2 = 0, int max2 = 0) override;
    void PosBar(int bar, int position) override;
    void Mess(int kind, const std::string& text) override;
    void Complete() override { pos1_ = max1_; }
    int GetMax1() const override { return max1_; }
    bool Interrupted() const override { return interrupted_; }
    void SetInterrupted(bool value) override { interrupted_ = value; }
    void Close() override;

    bool Open() const { return open_; }
    int Position1() const { return pos1_; }
    int Position2() const { return pos2_; }
    const std::string& Title() const { return title_; }
    const std::string& Message1() const { return message1_; }
    const std::string& Message2() const { return message2_; }

  private:
    bool open_ = false;
    bool twoBars_ = false;
    bool interrupted_ = false;
    int min1_ = 0, max1_ = 100, min2_ = 0, max2_ = 100;
    int pos1_ = 0, pos2_ = 0;
    std::string title_, message1_, message2_;
};

}  // namespace hv
