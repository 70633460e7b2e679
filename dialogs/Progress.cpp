#include "dialogs/Progress.h"

#include <algorithm>

namespace hv {

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
