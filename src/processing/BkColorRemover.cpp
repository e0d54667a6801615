// Background colour removal. The colour mask (kept for the next run, so that
// the settings preview can reuse it) marks the pixels whose colour is kept;
// greying, the brightness/contrast table and the darkening curve are then
// applied in two passes: one that only reads to find the mean grey of the
// greyed page, and one that writes each pixel once through a composed table.
// The keep-source-colours variant works on a grey copy and moves each colour
// byte by the change of its grey value.
#include "processing/BkColorRemover.h"

#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif


#include "processing/ColourMask.h"
#include "processing/PixelMath.h"
#include "processing/PixelRows.h"
#include "processing/ToneTables.h"

bool CBkColorRemover::Run(const BkColorParams& p) {
    if (!p.page.grey || p.page.width <= 0 || p.page.height <= 0) return false;
    curve_.SetChannel(0);
    curve_.SetProtected(p.protect);
    curve_.SetPoints({0, 0}, {105, DarkeningCurveY(p.darkening)}, {255, 255});
    curve_.BuildLut();

    if (p.keepSourceColours) {
        GreyShift(p, curve_.Lut());
        return true;
    }

    UpdateMask(p);
    if (!p.page.colour) return true;

    // Greying (keep modes 1 to 3: pixels with mask 0, or every pixel in mode
    // 3, outside protected rectangles), then the table and the darkening
    // curve on the unprotected mask-0 pixels, pivoted on the mean grey of the
    // greyed page. Two passes: the first only reads, to find that mean; the
    // second writes each pixel once.
    const bool grey = p.keepMode == KeepMode::kKeepRed || p.keepMode == KeepMode::kKeepColour ||
                      p.keepMode == KeepMode::kAllGrey;
    const bool greyAll = p.keepMode == KeepMode::kAllGrey;
    const int mean = GreyedMean(p, grey, greyAll);
    // The table and then the darkening curve, on the same pixels: one
    // composed table.
    const tone::Lut table = tone::BrightnessContrastTable(p.brightness, p.contrast, mean);
    ApplyGreyedTable(p, tone::Compose(table, curve_.Lut()), grey, greyAll);
    return true;
}

void CBkColorRemover::UpdateMask(const BkColorParams& p) {
    const int w = p.page.width, h = p.page.height;
    // A mask of another size cannot be reused: it would not cover the image.
    const bool sizeChanged = maskWidth_ != w || maskHeight_ != h;
    if (p.rebuildMask || mask_.empty() || sizeChanged) {
        mask_.assign(px::Stride8(w) * static_cast<std::size_t>(h), kBackground);
        maskWidth_ = w;
        maskHeight_ = h;
        if ((p.keepMode == KeepMode::kKeepRed || p.keepMode == KeepMode::kKeepColour) && p.page.bitsPerPixel == 24 &&
            p.page.colour) {
            const colourmask::ColourTest test{p.colorDelta, p.saturation, p.keepMode == KeepMode::kKeepRed};
            if (colourmask::MarkColourPixels(p.page.colour, w, h, test, mask_.data()) > 0)
                colourmask::GrowColourMask(mask_.data(), w, h, px::MmToPixels(p.keepRadius, static_cast<float>(p.page.dpi)));
        }
    }
}

namespace {

// Calls f(x) for every x in x0..x1 - 1 whose mask byte is not 0, looking at
// sixteen bytes at a time (colour pixels are few on most pages).
template <class F>
void ForEachMarked(const std::uint8_t* m, int x0, int x1, F f) {
    int x = x0;
#ifdef __SSE2__
    for (; x + 16 <= x1; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xffff) continue;
        for (int k = x; k < x + 16; ++k)
            if (m[k] != 0) f(k);
    }
#endif
    for (; x < x1; ++x)
        if (m[x] != 0) f(x);
}

}  // namespace

// Row by row through the row routines: greys of a span in one order or the
// other, the greyed level through the grey-of-grey table, and the few
// marked pixels (kept colour) by the per-pixel formula; the same values the
// per-pixel expression gives, summed in the same 64-bit total.
int CBkColorRemover::GreyedMean(const BkColorParams& p, bool grey, bool greyAll) const {
    const int w = p.page.width, h = p.page.height;
    std::uint8_t greyOfGrey[256];
    for (int v = 0; v < 256; ++v) greyOfGrey[v] = px::Grey(v, v, v);
    const std::size_t s24 = px::Stride24(w), s8 = px::Stride8(w);
    std::vector<std::uint8_t> levels(static_cast<std::size_t>(w));
    std::uint64_t sum = 0;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = p.page.colour + s24 * y;
        const std::uint8_t* m = mask_.data() + s8 * y;
        auto plain = [&](int x0, int x1) {
            const std::size_t n = static_cast<std::size_t>(x1 - x0);
            px::GreyRow(row + 3 * static_cast<std::size_t>(x0), levels.data(), n);
            sum += px::SumRow(levels.data(), n);
        };
        if (!grey) {
            plain(0, w);
        } else {
            p.protect.ForEachCoveredSpan(y, w, plain);
            p.protect.ForEachFreeSpan(y, w, [&](int x0, int x1) {
                const std::size_t n = static_cast<std::size_t>(x1 - x0);
                px::GreyRgbOrderRow(row + 3 * static_cast<std::size_t>(x0), levels.data(), n);
                px::LookupRow(levels.data(), levels.data(), n, greyOfGrey);
                if (!greyAll)
                    ForEachMarked(m, x0, x1, [&](int x) {
                        const std::uint8_t* q = row + 3 * x;
                        levels[static_cast<std::size_t>(x - x0)] = px::GreyFast(q[0], q[1], q[2]);
                    });
                sum += px::SumRow(levels.data(), n);
            });
        }
    }
    return static_cast<int>(sum / (static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h)));
}

// Row by row: the greyed levels of a span and their table entries are
// computed for the whole span and written back to the pixels that take
// them; the marked pixels keep their colour (or, greying all, take their
// untoned grey). Without greying, the table goes over the bytes of the
// unmarked pixels.
void CBkColorRemover::ApplyGreyedTable(const BkColorParams& p, const tone::Lut& lut, bool grey, bool greyAll) {
    const int w = p.page.width, h = p.page.height;
    const std::size_t s24 = px::Stride24(w), s8 = px::Stride8(w);
    std::vector<std::uint8_t> levels(static_cast<std::size_t>(w)), toned(levels.size());
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = p.page.colour + s24 * y;
        const std::uint8_t* m = mask_.data() + s8 * y;
        p.protect.ForEachFreeSpan(y, w, [&](int x0, int x1) {
            const std::size_t n = static_cast<std::size_t>(x1 - x0);
            std::uint8_t* q = row + 3 * static_cast<std::size_t>(x0);
            if (grey) {
                px::GreyRgbOrderRow(q, levels.data(), n);
                px::LookupRow(levels.data(), toned.data(), n, lut.data());
                if (greyAll) {
                    ForEachMarked(m, x0, x1, [&](int x) { toned[x - x0] = levels[x - x0]; });
                    px::SpreadGreyRow(toned.data(), nullptr, q, n);
                } else {
                    px::SpreadGreyRow(toned.data(), m + x0, q, n);
                }
                return;
            }
            bool anyMarked = false;
            ForEachMarked(m, x0, x1, [&](int) { anyMarked = true; });
            if (!anyMarked) {
                px::LookupRow(q, q, 3 * n, lut.data());
                return;
            }
            for (int x = x0; x < x1; ++x) {
                if (m[x] != kBackground) continue;
                std::uint8_t* c = row + 3 * x;
                c[0] = lut[c[0]];
                c[1] = lut[c[1]];
                c[2] = lut[c[2]];
            }
        });
    }
}

void CBkColorRemover::GreyShift(const BkColorParams& p, const tone::Lut& darken) {
    if (!p.page.colour) return;  // the shifted grey copy would be dropped unused
    const int w = p.page.width, h = p.page.height;
    const int mean = tone::MeanByte8(p.page.grey, w, h);
    // New grey = darken[table[old]] for every unprotected byte; each colour
    // byte moves by d = new - old, limited to 0..255, split into its rising
    // and falling parts (one of which is 0).
    const tone::Lut lut = tone::Compose(tone::BrightnessContrastTable(p.brightness, p.contrast, mean), darken);
    const px::GreyShiftTables tables = px::MakeGreyShiftTables(lut.data());
    const std::size_t s24 = px::Stride24(w), s8 = px::Stride8(w);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = p.page.colour + s24 * y;
        const std::uint8_t* g = p.page.grey + s8 * y;
        p.protect.ForEachFreeSpan(y, w, [&](int x0, int x1) {
            px::ShiftRowByGrey(row + 3 * static_cast<std::size_t>(x0), g + x0, static_cast<std::size_t>(x1 - x0),
                               tables);
        });
    }
}

void CBkColorRemover::Free() {
    mask_.clear();
    mask_.shrink_to_fit();
    maskWidth_ = maskHeight_ = 0;
    curve_.Free();
}
