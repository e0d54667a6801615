#include "support/Pages.h"

#include <algorithm>
#include <cstdlib>

#include "support/BareJpeg.h"

namespace benchpages {

namespace {

synth::Page MakeText() {
    return synth::TextPage(kA4Width, kA4Height, 24, kA4Dpi, 2024, synth::Rgb(242, 238, 226), 10);
}

synth::Page MakeMixed() {
    synth::Page page = MakeText();
    const int mm = kA4Dpi * 10 / 254;  // about 11.8 px per mm
    // A 10 x 15 cm photograph in the lower half of the picture.
    const synth::Rect photo{kA4Width / 2 - 50 * mm, 30 * mm, kA4Width / 2 + 50 * mm, 180 * mm};
    synth::DrawPhoto(page, photo, 7);
    // A 40 mm red seal over the text near the picture's top right.
    synth::DrawStamp(page, kA4Width - 60 * mm, kA4Height - 80 * mm, 20 * mm, 2 * mm, synth::kSealRed);
    return page;
}

}  // namespace

const synth::Page& A4TextColour() {
    static const synth::Page page = MakeText();
    return page;
}
const synth::Page& A4TextGrey() {
    static const synth::Page page = synth::ToGrey(A4TextColour());
    return page;
}
const synth::Page& A4MixedColour() {
    static const synth::Page page = MakeMixed();
    return page;
}
const synth::Page& A4MixedGrey() {
    static const synth::Page page = synth::ToGrey(A4MixedColour());
    return page;
}

std::vector<std::uint8_t> TopDownRows(const synth::Page& page) {
    const std::size_t row = static_cast<std::size_t>(page.width) * (page.bpp / 8);
    std::vector<std::uint8_t> out(row * static_cast<std::size_t>(page.height));
    for (int y = 0; y < page.height; ++y) std::copy_n(page.Row(page.height - 1 - y), row, &out[row * static_cast<std::size_t>(y)]);
    return out;
}

std::vector<std::uint8_t> AsJpeg(const synth::Page& page, int quality) {
    const int components = page.bpp / 8;
    std::vector<std::uint8_t> jpeg;
    if (!barejpeg::Encode(TopDownRows(page).data(), page.width, page.height, components,
                          static_cast<std::size_t>(page.width) * components, quality, page.dpi, jpeg))
        std::abort();
    return jpeg;
}

}  // namespace benchpages
