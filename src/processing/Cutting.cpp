// Cutting to content. White margins: the content box is found on a binarised
// copy by the share of dark pixels per line, widened by the margins and copied
// out. Background colour: the page is reduced to eight pure colours at its
// mean, lines are accepted by runs of the chosen content colours, and the box
// found that way is cut with its margin.
#include "processing/Cutting.h"

#include <algorithm>
#include <cstring>

#include "processing/Binarize.h"
#include "processing/PixelMath.h"
#include "processing/ToneTables.h"

namespace cutting {

namespace {

bool ValidImage(const std::uint8_t* bits, int width, int height) { return bits != nullptr && width > 0 && height > 0; }

int Clamp64(long long v, int lo, int hi) { return static_cast<int>(std::min<long long>(hi, std::max<long long>(lo, v))); }

}  // namespace

Cut CopyBlock(const std::uint8_t* bits, int width, int height, int bpp, const Box& box) {
    Cut cut;
    if (!ValidImage(bits, width, height) || !box.Found() || box.left > box.right || box.top > box.bottom ||
        box.left < 0 || box.top < 0 || box.right >= width || box.bottom >= height)
        return cut;
    const int n = bpp / 8;
    const int w = box.right - box.left + 1, h = box.bottom - box.top + 1;
    const std::size_t inStride = px::StrideFor(static_cast<std::size_t>(width), bpp);
    const std::size_t outStride = px::StrideFor(static_cast<std::size_t>(w), bpp);
    cut.size = outStride * static_cast<std::size_t>(h);
    cut.bits = px::NewBuffer(cut.size, 0);
    if (!cut.bits) return Cut{};
    cut.width = w;
    cut.height = h;
    for (int y = 0; y < cut.height; ++y)
        std::memcpy(cut.bits.get() + outStride * static_cast<std::size_t>(y),
                    bits + inStride * static_cast<std::size_t>(box.top + y) + static_cast<std::size_t>(box.left) * n,
                    static_cast<std::size_t>(cut.width) * n);
    return cut;
}

Box FindContentBox(const std::uint8_t* binary, int width, int height, float ratio) {
    Box box;
    if (!ValidImage(binary, width, height)) return box;
    const std::size_t stride = px::Stride8(static_cast<std::size_t>(width));
    std::vector<int> rows(static_cast<std::size_t>(height), 0), columns(static_cast<std::size_t>(width), 0);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = binary + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) {
            if (row[x] == 0) {
                ++rows[static_cast<std::size_t>(y)];
                ++columns[static_cast<std::size_t>(x)];
            }
        }
    }
    const float rowNeed = ratio / 100.0f * static_cast<float>(width);
    const float columnNeed = ratio / 100.0f * static_cast<float>(height);
    auto content = [](int count, float need) { return static_cast<float>(count) > need; };
    for (int y = 0; y < height && box.top == -1; ++y)
        if (content(rows[static_cast<std::size_t>(y)], rowNeed)) box.top = y;
    for (int y = height - 1; y >= 0 && box.bottom == -1; --y)
        if (content(rows[static_cast<std::size_t>(y)], rowNeed)) box.bottom = y;
    for (int x = 0; x < width && box.left == -1; ++x)
        if (content(columns[static_cast<std::size_t>(x)], columnNeed)) box.left = x;
    for (int x = width - 1; x >= 0 && box.right == -1; --x)
        if (content(columns[static_cast<std::size_t>(x)], columnNeed)) box.right = x;
    return box;
}

Box ApplyMargins(const Box& box, const Margins& margins, int width, int height) {
    Box b = box;
    if (margins.left > 0) b.left = margins.left >= b.left ? 0 : b.left - margins.left;
    if (margins.right > 0) b.right = Clamp64(static_cast<long long>(b.right) + margins.right, 0, width - 1);
    if (margins.top > 0) b.top = Clamp64(static_cast<long long>(b.top) - margins.top, 0, height - 1);
    if (margins.bottom > 0) b.bottom = Clamp64(static_cast<long long>(b.bottom) + margins.bottom, 0, height - 1);
    return b;
}

Cut CutWhiteMargins(const std::uint8_t* bits, int width, int height, int bpp, bool fixedThreshold, int threshold,
                    const Margins& margins, float ratio, Box* boxOut) {
    Box box;
    Cut cut;
    if (ValidImage(bits, width, height) && (bpp == 8 || bpp == 24)) {
        std::vector<std::uint8_t> binary;
        if (fixedThreshold)
            binary = bpp == 24 ? binarize::ThresholdColor(bits, width, height, threshold)
                               : binarize::Threshold8(bits, width, height, threshold);
        else
            binary = bpp == 24 ? binarize::OtsuColor(bits, width, height) : binarize::Otsu8(bits, width, height);
        box = FindContentBox(binary.data(), width, height, ratio);
        if (box.Found()) cut = CopyBlock(bits, width, height, bpp, ApplyMargins(box, margins, width, height));
    }
    if (boxOut) *boxOut = box;
    return cut;
}

std::vector<Colour> ContentColours(const CutByBkColorParams& p) {
    const struct {
        int on;
        Colour colour;
    } table[] = {
        {p.red, {255, 0, 0}},   {p.yellow, {255, 255, 0}}, {p.green, {0, 255, 0}}, {p.cyan, {0, 255, 255}},
        {p.blue, {0, 0, 255}},  {p.purple, {255, 0, 255}}, {p.black, {0, 0, 0}},   {p.white, {255, 255, 255}},
    };
    std::vector<Colour> list;
    for (const auto& entry : table)
        if (entry.on != 0) list.push_back(entry.colour);
    return list;
}

int MarginPixels(const CutByBkColorParams& p, int xDpi) {
    if (p.marginUnit == 1)
        return px::SaturatingInt(static_cast<float>(px::PixelsPerMm(static_cast<float>(xDpi))) * p.margin);
    return px::SaturatingInt(p.margin + 0.49f);
}

void BinarizeAtMeanColor(std::uint8_t* bits, int width, int height) {
    if (!ValidImage(bits, width, height)) return;
    const std::size_t stride = px::Stride24(static_cast<std::size_t>(width));
    const int mean = tone::MeanGrey24(bits, width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits + stride * static_cast<std::size_t>(y);
        for (int i = 0; i < 3 * width; ++i) row[i] = row[i] >= mean ? 255 : 0;
    }
}

bool IsMostlyWhite(const std::uint8_t* bits, int width, int height) {
    if (!ValidImage(bits, width, height)) return false;
    const std::size_t stride = px::Stride24(static_cast<std::size_t>(width));
    std::uint64_t white = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bits + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x)
            if (row[3 * x] >= 250 && row[3 * x + 1] >= 250 && row[3 * x + 2] >= 250) ++white;
    }
    return white > static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) / 2;
}

namespace {

// The walk along one line of `length` pixels; `inList(i)` says whether
// pixel i has one of the content colours.
template <class InList>
bool AcceptLine(int length, float need, InList inList) {
    int start = -1, candidate = -1, last = length - 1, run = 0, total = 0, gap = 0, gaps = 0;
    bool inContent = true;
    for (int i = 0; i < length; ++i) {
        if (inList(i)) {
            gap = 0;
            inContent = true;
            last = i;
            if (start == -1 && candidate == -1) candidate = i;
            ++run;
            ++total;
            if (run > 5 && start == -1) start = candidate;
        } else {
            ++gap;
            candidate = -1;
            if (gap > 5 && inContent) ++gaps;
            run = 0;
            if (gap > 5) inContent = false;
        }
    }
    return start >= 0 && start < last && static_cast<float>(last - start) >= need && gaps < 20 &&
           static_cast<float>(total) >= need;
}

}  // namespace

Box FindColourContentBox(const Colour* colours, int count, const std::uint8_t* bits, int width, int height,
                         float ratio) {
    Box box;
    if (!ValidImage(bits, width, height) || colours == nullptr || count <= 0) return box;
    float x = ratio / 100.0f;
    if (x > 1.0f) x = 1.0f;
    const float rowNeed = static_cast<float>(width) * x;
    const float columnNeed = static_cast<float>(height) * x;
    const std::size_t stride = px::Stride24(static_cast<std::size_t>(width));
    auto listed = [&](const std::uint8_t* p) {
        for (int i = 0; i < count; ++i)
            if (p[0] == colours[i].b && p[1] == colours[i].g && p[2] == colours[i].r) return true;
        return false;
    };
    auto rowAccepted = [&](int y) {
        const std::uint8_t* row = bits + stride * static_cast<std::size_t>(y);
        return AcceptLine(width, rowNeed, [&](int i) { return listed(row + 3 * static_cast<std::size_t>(i)); });
    };
    auto columnAccepted = [&](int x0) {
        const std::uint8_t* column = bits + 3 * static_cast<std::size_t>(x0);
        return AcceptLine(height, columnNeed, [&](int i) { return listed(column + stride * static_cast<std::size_t>(i)); });
    };
    for (int y = 0; y < height && box.top == -1; ++y)
        if (rowAccepted(y)) box.top = y;
    for (int y = height - 1; y >= 0 && box.bottom == -1; --y)
        if (rowAccepted(y)) box.bottom = y;
    for (int c = 0; c < width && box.left == -1; ++c)
        if (columnAccepted(c)) box.left = c;
    for (int c = width - 1; c >= 0 && box.right == -1; --c)
        if (columnAccepted(c)) box.right = c;
    return box;
}

Box ApplyColourMargin(const Box& box, int margin, int width, int height) {
    if (!box.Found()) return box;
    Box b;
    b.left = Clamp64(static_cast<long long>(box.left) - margin, 0, width - 1);
    b.right = Clamp64(static_cast<long long>(box.right) + margin, 0, width - 1);
    b.top = Clamp64(static_cast<long long>(box.top) - margin, 0, height - 1);
    b.bottom = Clamp64(static_cast<long long>(box.bottom) + margin, 0, height - 1);
    if (b.left > b.right || b.top > b.bottom) return Box{};
    return b;
}

ColourCut CutEdgesByBkColor(const std::uint8_t* bits, int width, int height, const CutByBkColorParams& params,
                            int xDpi) {
    ColourCut out;
    const std::vector<Colour> colours = ContentColours(params);
    if (colours.empty() || !ValidImage(bits, width, height)) return out;
    const std::size_t bytes = px::Stride24(static_cast<std::size_t>(width)) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> binarised(bits, bits + bytes);
    BinarizeAtMeanColor(binarised.data(), width, height);
    if (params.skipNearWhite != 0) {
        out.nearWhiteChecked = true;
        out.mostlyWhite = IsMostlyWhite(binarised.data(), width, height);
        if (out.mostlyWhite) return out;
    }
    const int margin = MarginPixels(params, xDpi);
    out.searched = true;
    out.box = FindColourContentBox(colours.data(), static_cast<int>(colours.size()), binarised.data(), width, height,
                                   params.contentRatio);
    if (!out.box.Found()) return out;
    const Box block = ApplyColourMargin(out.box, margin, width, height);
    if (block.Found()) out.cut = CopyBlock(bits, width, height, 24, block);
    return out;
}

}  // namespace cutting
