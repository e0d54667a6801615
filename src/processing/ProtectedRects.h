// Rectangles of a page that tone operations must leave alone (the photographs
// found by the photo-region finder). Passed to the engines by value: the
// processing object takes a snapshot of its found list and of the
// `rmbkcolor/illstration` switch when a step starts, so no engine reads
// settings or another engine while it works.
//
// Coordinates are buffer coordinates (column, memory row; row 0 is the first
// row in memory) with the point-in-rectangle rule: left and top inclusive,
// right and bottom exclusive.
#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/core/WinTypes.h"

class ProtectedRects {
public:
    // Nothing protected.
    ProtectedRects() = default;
    // `enabled` is the snapshot of the switch that turns protection on; with
    // it off the rectangles are ignored.
    ProtectedRects(std::vector<RECT> rects, bool enabled) : rects_(std::move(rects)), enabled_(enabled) {}

    bool Active() const { return enabled_ && !rects_.empty(); }
    const std::vector<RECT>& Rects() const { return rects_; }
    bool Enabled() const { return enabled_; }

    bool Contains(int x, int y) const {
        if (!enabled_) return false;
        const POINT p{x, y};
        for (const RECT& r : rects_)
            if (PtInRect(r, p)) return true;
        return false;
    }

    // Calls f(x0, x1) for every maximal run [x0, x1) of protected columns of
    // memory row y in an image `width` pixels wide, left to right.
    template <class F>
    void ForEachCoveredSpan(int y, int width, F&& f) const {
        if (width <= 0 || !Active()) return;
        std::vector<std::pair<int, int>> spans;
        for (const RECT& r : rects_) {
            if (y < r.top || y >= r.bottom) continue;
            const int l = std::max<int>(0, r.left), rt = std::min<int>(width, r.right);
            if (l < rt) spans.emplace_back(l, rt);
        }
        if (spans.empty()) return;
        std::sort(spans.begin(), spans.end());
        int from = spans[0].first, to = spans[0].second;
        for (const auto& [l, rt] : spans) {
            if (l > to) {
                f(from, to);
                from = l;
            }
            to = std::max(to, rt);
        }
        f(from, to);
    }

    // Calls f(x0, x1) for every maximal run [x0, x1) of unprotected columns of
    // memory row y in an image `width` pixels wide, left to right.
    template <class F>
    void ForEachFreeSpan(int y, int width, F&& f) const {
        if (width <= 0) return;
        int x = 0;
        ForEachCoveredSpan(y, width, [&](int from, int to) {
            if (from > x) f(x, from);
            x = to;
        });
        if (x < width) f(x, width);
    }

private:
    std::vector<RECT> rects_;
    bool enabled_ = false;
};
