// Protected-rectangle test of the references: the point-in-rectangle rule
// against every rectangle, when protection is on.
#pragma once

#include <vector>

#include "platform/core/WinTypes.h"

namespace ref {

struct RProtect {
    std::vector<RECT> rects;
    bool enabled = false;
    bool Has(int x, int y) const {
        if (!enabled) return false;
        for (const RECT& r : rects)
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
        return false;
    }
};

}  // namespace ref
