#include "support/ComponentReference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ref {

namespace {
const int kNeighbour8[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
const float kCharSizeTable[18] = {1.76f, 1.94f, 2.29f, 2.56f, 3.18f, 3.70f, 4.23f, 4.94f, 5.29f,
                                  5.64f, 6.35f, 7.76f, 8.47f, 9.17f, 12.70f, 14.82f, 18.97f, 22.14f};
}  // namespace

void Label(int width, int height, std::vector<std::uint8_t>& visited, const PixelPredicate& seed,
           const PixelPredicate& pixel, std::vector<Component>& out) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (seed && !seed(x, y)) continue;
            if (visited[static_cast<size_t>(y) * width + x]) continue;
            if (!pixel(x, y)) continue;
            Component c;
            visited[static_cast<size_t>(y) * width + x] = 1;
            c.points.push_back({x, y});
            for (size_t i = 0; i < c.points.size(); ++i) {
                const auto p = c.points[i];
                for (const auto& d : kNeighbour8) {
                    const int nx = p.first + d[0], ny = p.second + d[1];
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                    if (visited[static_cast<size_t>(ny) * width + nx]) continue;
                    if (!pixel(nx, ny)) continue;
                    visited[static_cast<size_t>(ny) * width + nx] = 1;
                    c.points.push_back({nx, ny});
                }
            }
            out.push_back(std::move(c));
        }
    }
}

void Boxes(std::vector<Component>& comps) {
    for (auto& c : comps) {
        if (c.points.empty()) continue;
        c.left = c.right = c.points[0].first;
        c.top = c.bottom = c.points[0].second;
        for (const auto& p : c.points) {
            c.left = std::min(c.left, p.first);
            c.right = std::max(c.right, p.first);
            c.top = std::min(c.top, p.second);
            c.bottom = std::max(c.bottom, p.second);
        }
    }
}

void GapRatios(std::vector<Component>& comps, const PixelPredicate& dark) {
    for (auto& c : comps) {
        if (c.right < c.left || c.bottom < c.top) {
            c.gapMax = c.gapMin = 0;
            continue;
        }
        long long rowSum = 0, colSum = 0;
        for (int y = c.top; y <= c.bottom; ++y) {
            bool seen = false, inDark = false;
            long long gap = 0;
            for (int x = c.left; x <= c.right; ++x) {
                if (dark(x, y)) {
                    if (!inDark) {
                        if (seen) rowSum += gap;
                        gap = 0;
                    }
                    seen = inDark = true;
                } else {
                    ++gap;
                    inDark = false;
                }
            }
        }
        for (int x = c.left; x <= c.right; ++x) {
            bool seen = false, inDark = false;
            long long gap = 0;
            for (int y = c.top; y <= c.bottom; ++y) {
                if (dark(x, y)) {
                    if (!inDark) {
                        if (seen) colSum += gap;
                        gap = 0;
                    }
                    seen = inDark = true;
                } else {
                    ++gap;
                    inDark = false;
                }
            }
        }
        const float area = static_cast<float>(c.bottom - c.top + 1) * static_cast<float>(c.right - c.left + 1);
        c.gapMax = static_cast<float>(std::max(rowSum, colSum)) / area;
        c.gapMin = static_cast<float>(std::min(rowSum, colSum)) / area;
    }
}

Limits SizeLimits(int dpi) {
    Limits l;
    l.minSide = static_cast<int>(static_cast<float>(dpi) * 0.0496063f);
    l.maxSide = static_cast<int>(static_cast<float>(dpi) * 0.8913386f);
    return l;
}

int PeelPasses(const Component& c) {
    const int w = c.right - c.left, h = c.bottom - c.top;
    if (w < 0 || h < 0) return 0;
    const int gw = w + 1, gh = h + 1;
    std::vector<std::uint8_t> g(static_cast<size_t>(gw) * gh, 0);
    for (const auto& p : c.points) g[static_cast<size_t>(p.second - c.top) * gw + (p.first - c.left)] = 1;
    int passes = 0;
    for (;;) {
        bool marked = false;
        for (int y = 0; y < gh; ++y) {
            for (int x = 0; x < gw; ++x) {
                if (g[static_cast<size_t>(y) * gw + x] != 1) continue;
                bool edge = x == 0 || y == 0 || x == gw - 1 || y == gh - 1;
                const int d4[4][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
                for (const auto& d : d4) {
                    const int nx = x + d[0], ny = y + d[1];
                    if (nx < 0 || ny < 0 || nx >= gw || ny >= gh || g[static_cast<size_t>(ny) * gw + nx] == 0) edge = true;
                }
                if (edge) {
                    g[static_cast<size_t>(y) * gw + x] = 2;
                    marked = true;
                }
            }
        }
        if (!marked) break;
        for (auto& v : g)
            if (v == 2) v = 0;
        ++passes;
    }
    return passes;
}

bool PeelTest(const Component& c) {
    const int w = c.right - c.left, h = c.bottom - c.top;
    const int limit = static_cast<int>(static_cast<float>(std::max(w, h) + 1) * 0.15f + 1.0f);
    return PeelPasses(c) <= limit;
}

float DominantCharSize(const std::vector<Component>& comps, int dpi, const Limits& lim, float previous) {
    int counts[18] = {};
    for (const auto& c : comps) {
        if (c.cls != 1) continue;
        const int height = c.bottom - c.top + 1;
        if (height < lim.minSide || height > lim.maxSide) continue;
        for (int j = 0; j < 18; ++j) {
            if (height < static_cast<int>(kCharSizeTable[j] / 25.4f * static_cast<float>(dpi))) {
                ++counts[j];
                break;
            }
        }
    }
    int best = -1, bestCount = 0;
    for (int j = 0; j < 18; ++j) {
        if (counts[j] > 0 && counts[j] >= bestCount) {
            best = j;
            bestCount = counts[j];
        }
    }
    return best < 0 ? previous : kCharSizeTable[best];
}

namespace {
// Line count and rounded line-row count of one profile.
void CountLines(const std::vector<long long>& profile, int e, int dpi, int& lines, int& rounded) {
    const long long f = 3LL * e;
    int above = 0;
    for (long long v : profile)
        if (v > f) ++above;
    rounded = static_cast<int>(static_cast<float>(above) / static_cast<float>(e) + 0.4999f);
    const int mm = static_cast<int>(static_cast<float>(dpi) * 0.03937008f);
    lines = 0;
    bool inLine = false;
    int gapRows = 0, lineRows = 0;
    for (long long v : profile) {
        if (!inLine) {
            if (v > f)
                inLine = true;
            else
                ++gapRows;
        } else if (v > f) {
            ++lineRows;
        } else {
            if (lineRows > e / 2 && gapRows > mm) ++lines;
            gapRows = lineRows = 0;
            inLine = false;
        }
    }
}
}  // namespace

int TextOrientation(const std::vector<Component>& comps, int width, int height, int dpi, float dominant) {
    bool any = false;
    for (const auto& c : comps)
        if (c.cls == 1) any = true;
    if (!any || dominant == 0.0f) return 1;
    const int e = static_cast<int>(dominant / 25.4f * static_cast<float>(dpi));
    if (e <= 0) return 1;
    std::vector<long long> rows(height, 0), cols(width, 0);
    for (const auto& c : comps) {
        if (c.cls != 1) continue;
        for (int y = c.top; y <= c.bottom; ++y) rows[y] += c.right - c.left + 1;
        for (int x = c.left; x <= c.right; ++x) cols[x] += c.bottom - c.top + 1;
    }
    int n, g, m, h;
    CountLines(rows, e, dpi, n, g);
    if (n + 0.1 >= g * 0.5) return 1;
    CountLines(cols, e, dpi, m, h);
    if (m + 0.1 >= h * 0.5) return 0;
    return n >= m ? 1 : 0;
}

void AttachToText(std::vector<Component>& comps, int dpi, float dominant, int orientation, int limit) {
    const int a = static_cast<int>(static_cast<float>(dpi) * (dominant / 25.4f));
    auto cx = [](const Component& c) { return c.left + (c.right - c.left) / 2; };
    auto cy = [](const Component& c) { return c.top + (c.bottom - c.top) / 2; };
    for (size_t i = 0; i < comps.size(); ++i) {
        if (comps[i].cls != 4) continue;
        bool found = false;
        for (size_t j = 0; j < comps.size() && !found; ++j) {
            if (j == i || comps[j].cls != 1) continue;
            const double dx = cx(comps[j]) - cx(comps[i]), dy = cy(comps[j]) - cy(comps[i]);
            const long long k =
                ((comps[i].right - comps[i].left) + (comps[j].right - comps[j].left)) / 2 + static_cast<long long>(a);
            if (std::sqrt(dx * dx + dy * dy) < static_cast<double>(k)) found = true;
        }
        comps[i].cls = found ? 1 : 2;
    }
    int small = 0;
    for (const auto& c : comps)
        if (c.cls == 3) ++small;
    if (small > limit) return;
    for (size_t i = 0; i < comps.size(); ++i) {
        if (comps[i].cls != 3) continue;
        const Component& ci = comps[i];
        const long long wi = ci.right - ci.left, hi = ci.bottom - ci.top;
        bool found = false;
        for (size_t j = 0; j < comps.size() && !found; ++j) {
            if (j == i || comps[j].cls != 1) continue;
            const Component& cj = comps[j];
            const long long wj = cj.right - cj.left, hj = cj.bottom - cj.top;
            const long long dx = std::llabs(static_cast<long long>(cx(ci)) - cx(cj));
            const long long dy = std::llabs(static_cast<long long>(cy(ci)) - cy(cj));
            if (dx < (wi + wj) / 2 && dy < (hi + hj) / 2) found = true;
            else if (orientation == 1 && dx <= 3 * (wi + wj) / 2 && dy <= (hi + hj) / 2) found = true;
            else if (orientation != 1 && dy <= 3 * (hi + hj) / 2 && dx <= (wi + wj) / 2) found = true;
        }
        comps[i].cls = found ? 1 : 2;
    }
}

bool AspectOk(const Component& c) {
    const float r = static_cast<float>(c.right - c.left + 1) / static_cast<float>(c.bottom - c.top + 1);
    return r >= 0.1f && r <= 10.0f;
}

bool FillOk(const Component& c) {
    return 10LL * static_cast<long long>(c.points.size()) >=
           static_cast<long long>(c.right - c.left + 1) * (c.bottom - c.top + 1);
}

void ClassifyStainScheme(std::vector<Component>& comps, const Limits& lim) {
    for (auto& c : comps) {
        if (c.cls != 0) continue;
        const int side = std::max(c.right - c.left, c.bottom - c.top) + 1;
        if (side > lim.maxSide) c.cls = 6;
        else if (c.gapMax > 0.2f) c.cls = (AspectOk(c) && FillOk(c) && PeelTest(c)) ? 1 : 3;
        else c.cls = side < lim.minSide ? 3 : 4;
    }
}

}  // namespace ref
