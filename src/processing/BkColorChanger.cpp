// Background colour change. Each output channel depends only on the pixel's
// grey value and the channel's own value, so each run builds three 256 x 256
// tables (one per channel) and then changes every byte with one look-up. Photo
// regions, when they are to be kept, come from the changer's own photo finder
// and are skipped as protected rectangles.
#include "processing/BkColorChanger.h"

#include <vector>

#include "processing/PixelMath.h"

bool CBkColorChanger::Run(const BkColorChangeParams& p) {
    if (!p.page.colour || p.page.bitsPerPixel != 24 || p.page.width <= 0 || p.page.height <= 0) return false;
    const int w = p.page.width, h = p.page.height;

    ProtectedRects skip;
    if (p.keepPictures != 0) {
        PhotoRegionParams f;
        f.page = p.page;  // a colour page, as checked above
        f.passes = p.passes;
        f.mode = p.keepPictures;
        finder_.Find(f);
        skip = finder_.AsProtected(true);
    }

    // Each new channel value depends only on the pixel's grey a and the
    // channel's own value c: one table per target channel, indexed [a][c].
    const int target[3] = {GetBValue(p.target), GetGValue(p.target), GetRValue(p.target)};
    std::vector<std::uint8_t> table(3 * 256 * 256);
    for (int a = 0; a < 256; ++a) {
        const int f = 255 - a;
        for (int c = 0; c < 256; ++c) {
            int excess = 255;
            if (a != 255) {
                excess = (c - a) * 255 / f;
                excess = excess < 0 ? 0 : (excess > 255 ? 255 : excess);
            }
            for (int ch = 0; ch < 3; ++ch)
                table[(static_cast<std::size_t>(ch) << 16) | (static_cast<std::size_t>(a) << 8) | c] =
                    static_cast<std::uint8_t>((target[ch] * a + f * excess) / 255);
        }
    }
    const std::uint8_t* tb = table.data();
    const std::uint8_t* tg = tb + 65536;
    const std::uint8_t* tr = tg + 65536;
    const std::size_t s24 = px::Stride24(w);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = p.page.colour + s24 * y;
        skip.ForEachFreeSpan(y, w, [&](int x0, int x1) {
            for (int x = x0; x < x1; ++x) {
                std::uint8_t* q = row + 3 * x;
                const std::size_t a = static_cast<std::size_t>(px::GreyFast(q[0], q[1], q[2])) << 8;
                q[0] = tb[a | q[0]];
                q[1] = tg[a | q[1]];
                q[2] = tr[a | q[2]];
            }
        });
    }
    return true;
}
