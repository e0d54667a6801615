// Blank-page detection. By dark pixels it counts bytes at or below the
// threshold; by text it labels the page, classifies with the text-filter
// scheme and adds the box areas of the characters, stopping as soon as the sum
// passes the limit, so a page full of text is judged after its first few
// lines.
#include "processing/BlankPageDetector.h"

#include "processing/ComponentClasses.h"

#include <cmath>

#include "processing/PixelMath.h"

namespace {

// int(v) for a limit that may exceed int (huge pages, absurd percentages).
std::int64_t LimitOf(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2e18f) return INT64_MAX;
    if (v <= -9.2e18f) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

}  // namespace

bool CBlankPageDetector::Detect(const BlankPageParams& p) {
    result_ = 0;
    textArea_ = 0;
    if (!p.page.grey || p.page.width <= 0 || p.page.height <= 0) return false;
    const int w = p.page.width, h = p.page.height;
    const std::size_t stride = px::Stride8(w);
    const float page = static_cast<float>(h) * static_cast<float>(w);

    if (p.type != BlankTest::kByText) {
        // Bytes below the threshold are the bytes at most threshold - 1.
        bits_.FromThreshold(p.page.grey, w, h, stride, p.threshold <= -1 ? -1 : p.threshold - 1, false);
        std::int64_t count = 0;
        for (std::uint64_t word : bits_.bits) count += __builtin_popcountll(word);
        result_ = count < LimitOf(page * 0.01f * p.contentPercent) ? 1 : 0;
        return true;
    }

    if (p.page.dpi < kMinTextDpi) return false;
    const std::int64_t limit = LimitOf(page * p.textPercent * 0.01f);
    const std::uint8_t* image = p.page.grey;
    const int threshold = p.threshold;
    auto dark = [image, stride, threshold](int x, int y) { return image[stride * y + x] <= threshold; };
    comp::ComponentAnalysis& ca = analysis_;
    ca.Begin(w, h, p.page.dpi);
    bits_.FromThreshold(image, w, h, stride, threshold, false);
    ca.LabelBits(bits_);
    ca.SetSizeLimits(px::kInch1_26mm);
    // Characters add their box area; the page is not blank as soon as the
    // sum passes the limit. Components above maxSide are class 6 whatever
    // their gaps, so their gap ratios are not needed.
    for (comp::PageComponent& c : ca.components) {
        if (c.Side() > ca.maxSide) {
            c.cls = comp::ComponentClass::kLarge;
            continue;
        }
        ca.ComputeGapRatio(c, dark);
        c.cls = comp::ClassifyTextFilter(c, ca);
        if (c.cls != comp::ComponentClass::kText) continue;
        textArea_ += static_cast<std::int64_t>(c.W()) * c.H();
        if (textArea_ > limit) break;
    }
    result_ = limit >= textArea_ ? 1 : 0;
    return true;
}
