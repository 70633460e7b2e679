#include "dialogs/Progress.h"

#include <algorithm>

namespace hv {

int64_t ProgressSink::ScaleFor(int64_t min, int64_t max) {
    constexpr int64_t kIntMax = 0x7FFFFFFF;
    auto mag = [](int64_t v) { return v < 0 ? -(v + 1) : v; };  // no overflow at INT64_MIN
    const int64_t span = std::max(mag(min), mag(max));
    return span <= kIntMax ? 1 : span / kIntMax + 1;
}

void ProgressSink::InitBarsLarge(int mode, int64_t min1, int64_t max1, int64_t min2,
                                 int64_t max2) {
    max1 = std::max(max1, min1);
    max2 = std::max(max2, min2);
    if (mode == 0 || mode == 1) {
        largeScale_[0] = ScaleFor(min1, max1);
        largeMax1_ = max1;
        largeMax1Set_ = true;
    }
    if (mode == 0 || mode == 2) largeScale_[1] = ScaleFor(min2, max2);
    InitBars(mode, static_cast<int>(min1 / largeScale_[0]), static_cast<int>(max1 / largeScale_[0]),
             static_cast<int>(min2 / largeScale_[1]), static_cast<int>(max2 / largeScale_[1]));
}

void ProgressSink::PosBarLarge(int bar, int64_t position) {
    const int64_t scale = bar == 2 ? largeScale_[1] : largeScale_[0];
    const int64_t v = position / scale;
    PosBar(bar, static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)));
}

int64_t ProgressSink::GetMax1Large() const {
    return largeMax1Set_ && largeMax1_ / largeScale_[0] == GetMax1() ? largeMax1_ : GetMax1();
}

void NullProgress::InitBars(int mode, int min1, int max1, int min2, int max2) {
    max1 = std::max(max1, min1);
    max2 = std::max(max2, min2);
    switch (mode) {
        case 0:
            open_ = true;
            message1_.clear();
            message2_.clear();
            min1_ = min1, max1_ = max1, pos1_ = min1;
            twoBars_ = max2 != min2 || max2 != 0;
            min2_ = min2, max2_ = max2, pos2_ = min2;
            break;
        case 1:
            min1_ = min1, max1_ = max1, pos1_ = min1;
            break;
        case 2:
            if (twoBars_) min2_ = min2, max2_ = max2, pos2_ = min2;
            break;
        default:
            break;
    }
}

void NullProgress::PosBar(int bar, int position) {
    if (bar == 1) {
        pos1_ = position;
        if (twoBars_) pos2_ = min2_;
    } else if (bar == 2 && twoBars_) {
        pos2_ = position;
    }
}

void NullProgress::Mess(int kind, const std::string& text) {
    if (kind == 0)
        title_ = text;
    else if (kind == 1)
        message1_ = text;
    else if (kind == 2 && twoBars_)
        message2_ = text;
}

void NullProgress::Close() {
    open_ = false;
    interrupted_ = false;
    title_.clear();
}

}  // namespace hv
