#include "support/StainReference.h"

#include <algorithm>
#include <deque>

#include "processing/PixelMath.h"
#include "support/ComponentReference.h"

namespace ref {

namespace {
const int kN8[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};

struct Rect {
    long long l, t, r, b;
};
bool Overlap(const Component& c, const Rect& a) {
    return std::min<long long>(c.right, a.r) >= std::max<long long>(c.left, a.l) &&
           std::min<long long>(c.bottom, a.b) >= std::max<long long>(c.top, a.t);
}
long long CountIn(const Component& c, const Rect& a) {
    long long n = 0;
    for (const auto& p : c.points)
        if (a.l <= p.first && p.first < a.r && a.t <= p.second && p.second < a.b) ++n;
    return n;
}
int Pct(int pct, int size) { return px::SaturatingInt(pct * 0.01 * size); }
}  // namespace

StainOutcome RemoveStains(const StainRun& p) {
    StainOutcome out;
    if (!p.test || p.width < 1 || p.height < 1 || p.width > 32767 || p.height > 32767) return out;
    const int W = p.width, H = p.height;
    const size_t gs = px::Stride8(W), cs = px::Stride24(W);
    auto t = [&](int x, int y) -> std::uint8_t& { return p.test[static_cast<size_t>(y) * gs + x]; };
    const int largest = px::SaturatingInt(p.stainArea / 25.4f * static_cast<float>(p.dpi)) *
                        px::SaturatingInt(static_cast<float>(p.dpi) * 0.03937008f);
    if (p.mark) {
        if (p.colour) out.copy.assign(p.colour, p.colour + cs * H);
        else out.copy.assign(p.test, p.test + gs * H);
    }
    const bool copy24 = p.mark && p.colour;

    std::vector<std::uint8_t> visited(static_cast<size_t>(W) * H, 0);
    const bool needBlack = p.board && p.black && !p.colourAsBlack;
    auto pixel = [&](int x, int y) {
        if (t(x, y) > p.threshold) return false;
        if (needBlack) {
            const std::uint8_t* q = p.black + static_cast<size_t>(y) * cs + 3 * static_cast<size_t>(x);
            if (q[0] || q[1] || q[2]) return false;
        }
        return true;
    };
    std::vector<Component> comps;
    if (p.board) {
        Label(W, H, visited,
              [&](int x, int y) { return x < p.band || x >= W - p.band || y < p.band || y >= H - p.band; }, pixel,
              comps);
        for (auto& c : comps) {
            c.cls = 9;
            out.boardFound = true;
        }
    }
    Label(W, H, visited, nullptr, pixel, comps);
    Boxes(comps);
    const Limits lim = SizeLimits(p.dpi);
    GapRatios(comps, [&](int x, int y) { return t(x, y) <= p.threshold; });
    ClassifyStainScheme(comps, lim);
    const float dominant = DominantCharSize(comps, p.dpi, lim, 0.0f);
    const int orient = TextOrientation(comps, W, H, p.dpi, dominant);
    AttachToText(comps, p.dpi, dominant, orient, 30000);
    for (auto& c : comps) {
        if (c.cls != 1) continue;
        if (!(AspectOk(c) && FillOk(c) && PeelTest(c))) {
            const int side = std::max(c.right - c.left, c.bottom - c.top) + 1;
            c.cls = side < lim.minSide ? 3 : 4;
        }
    }

    const int r = p.eraseRadius;
    const bool squares = p.borders || p.board;
    auto erase = [&](int x, int y) {
        if (p.bitsPerPixel != 24) {
            t(x, y) = 255;
            if (squares)
                for (long long j = -static_cast<long long>(r); j <= static_cast<long long>(r) - 1; ++j)
                    for (long long i = -static_cast<long long>(r); i <= static_cast<long long>(r) - 1; ++i) {
                        const long long X = x + i, Y = y + j;
                        if (X >= 0 && Y >= 0 && X < W && Y < H) t(static_cast<int>(X), static_cast<int>(Y)) = 255;
                    }
            return;
        }
        if (!p.colour) return;
        auto white = [&](int X, int Y) { std::fill_n(p.colour + static_cast<size_t>(Y) * cs + 3 * static_cast<size_t>(X), 3, 255); };
        auto magenta = [&](int X, int Y) {
            std::uint8_t* q = out.copy.data() + static_cast<size_t>(Y) * cs + 3 * static_cast<size_t>(X);
            q[0] = 255; q[1] = 0; q[2] = 255;
        };
        white(x, y);
        if (copy24) magenta(x, y);
        if (squares)
            for (long long j = -static_cast<long long>(r); j <= static_cast<long long>(r) - 1; ++j)
                for (long long i = -static_cast<long long>(r); i <= static_cast<long long>(r) - 1; ++i) {
                    const long long X = x + i, Y = y + j;
                    if (X < 0 || Y < 0 || X >= W || Y >= H) continue;
                    white(static_cast<int>(X), static_cast<int>(Y));
                    t(static_cast<int>(X), static_cast<int>(Y)) = 255;
                    if (copy24 && p.board) magenta(static_cast<int>(X), static_cast<int>(Y));
                }
    };

    std::vector<char> erasedSeed(comps.size(), 0);
    if (p.stains)
        for (size_t i = 0; i < comps.size(); ++i)
            if (comps[i].cls == 2 && static_cast<long long>(comps[i].points.size()) <= largest) {
                erasedSeed[i] = 1;
                for (const auto& q : comps[i].points) erase(q.first, q.second);
            }
    if (p.borders) {
        Rect area{};
        bool haveArea = true;
        if (p.region == 1) {
            area = {Pct(p.left, W), Pct(p.top, H), W - Pct(p.right, W), H - Pct(p.bottom, H)};
        } else {
            haveArea = false;
            for (const auto& c : comps) {
                if (c.cls != 1) continue;
                if (!haveArea) area = {c.left, c.top, c.right, c.bottom};
                area.l = std::min<long long>(area.l, c.left);
                area.t = std::min<long long>(area.t, c.top);
                area.r = std::max<long long>(area.r, c.right);
                area.b = std::max<long long>(area.b, c.bottom);
                haveArea = true;
            }
        }
        if (haveArea) {
            const Rect bands[4] = {{0, 0, Pct(p.left, W), H},
                                   {W - Pct(p.right, W), 0, W, H},
                                   {0, 0, W, Pct(p.top, H)},
                                   {0, H - Pct(p.bottom, H), W, H}};
            for (auto& c : comps) {
                if (c.cls == 1) continue;
                if (p.borderType == 1 && c.cls != 6) continue;
                const double n = static_cast<double>(c.points.size());
                bool erase_it = false;
                if (!Overlap(c, area)) erase_it = true;
                else if (CountIn(c, area) < 0.3 * n) erase_it = true;
                else
                    for (const Rect& b : bands)
                        if (Overlap(c, b) && CountIn(c, b) > 0.8 * n) {
                            erase_it = true;
                            break;
                        }
                if (erase_it) {
                    out.bordersFound = true;
                    for (const auto& q : c.points) erase(q.first, q.second);
                }
            }
        }
    }
    if (p.board)
        for (size_t i = 0; i < comps.size(); ++i)
            if (comps[i].cls == 9) {
                erasedSeed[i] = 1;
                for (const auto& q : comps[i].points) erase(q.first, q.second);
            }

    // Fringe: light-grey pixels reached from kept components are halo 1,
    // those reached only from erased ones halo 2 and erased.
    std::vector<std::uint8_t> halo(static_cast<size_t>(W) * H, 0);
    auto grow = [&](bool fromErased, std::uint8_t value) {
        std::deque<std::pair<int, int>> queue;
        for (size_t i = 0; i < comps.size(); ++i)
            if (static_cast<bool>(erasedSeed[i]) == fromErased)
                for (const auto& q : comps[i].points) queue.push_back(q);
        while (!queue.empty()) {
            const auto q = queue.front();
            queue.pop_front();
            for (const auto& d : kN8) {
                const int x = q.first + d[0], y = q.second + d[1];
                if (x < 0 || y < 0 || x >= W || y >= H) continue;
                const size_t i = static_cast<size_t>(y) * W + x;
                if (visited[i] || halo[i]) continue;
                if (!(t(x, y) > p.threshold && t(x, y) < 255)) continue;
                halo[i] = value;
                queue.push_back({x, y});
            }
        }
    };
    grow(false, 1);
    grow(true, 2);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (halo[static_cast<size_t>(y) * W + x] == 2) erase(x, y);

    for (const auto& c : comps) out.classes.push_back(c.cls);
    return out;
}

}  // namespace ref
