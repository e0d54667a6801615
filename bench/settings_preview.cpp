// One refresh of the settings dialog's background-removal preview, as the
// dialog's timer runs it: the working buffers copied from the sample, then
// the batch run's background colour remover with the dialog's values (the
// start values, keep-red strategy). Two samples: a preview-size page (A4 at
// 150 dpi, 1240 x 1754, tinted paper with text) and the A4 300-dpi mixed page
// (2480 x 3508, text, photograph, red seal). "rebuild" 1 recomputes the
// colour mask (a new sample, "刷新", a typed colour delta), 0 reuses it (a
// slider move). Beside it, in the same run and interleaved with it, a bare
// libjpeg decode of the A4 300-dpi page as a JPEG file at quality 90.
// Counters: "ratio" = refresh / bare decode; "refresh_ms" and "decode_ms".
#include <benchmark/benchmark.h>

#include <vector>

#include "processing/PixelMath.h"
#include "settings_ui/SettingPreview.h"
#include "support/Pages.h"
#include "support/VsBareDecode.h"

namespace {

const std::vector<std::uint8_t>& PageJpeg() {
    static const std::vector<std::uint8_t> jpeg = benchpages::AsJpeg(benchpages::A4MixedColour(), 90);
    return jpeg;
}

const synth::Page& PreviewSizePage() {
    static const synth::Page page = synth::TextPage(1240, 1754, 24, 150, 11, synth::kYellowedPaper);
    return page;
}

// The sample as the dialog holds it after loading.
PreviewImage Sample(const synth::Page& page) {
    PreviewImage image;
    image.width = page.width;
    image.height = page.height;
    image.dpiX = image.dpiY = page.dpi;
    image.depth = 24;
    image.colourSource = page.bits;
    const std::size_t w = static_cast<std::size_t>(page.width), g8 = px::Stride8(w), c24 = px::Stride24(w);
    image.greySource.assign(g8 * static_cast<std::size_t>(page.height), 0);
    for (int y = 0; y < page.height; ++y)
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t* s = &image.colourSource[static_cast<std::size_t>(y) * c24 + 3 * x];
            image.greySource[static_cast<std::size_t>(y) * g8 + x] = px::GreyRgbOrder(s[0], s[1], s[2]);
        }
    image.brightness = 40;
    image.contrast = 50;
    image.darkening = 50;
    return image;
}

void Refresh(benchmark::State& state) {
    const bool a4 = state.range(0) == 1;
    PreviewImage image = Sample(a4 ? benchpages::A4MixedColour() : PreviewSizePage());
    CBkColorRemover remover;
    PreviewColourValues values;  // start values; keep red
    image.rebuildMask = 1;
    RunColourPreview(image, remover, values);
    image.rebuildMask = static_cast<std::uint8_t>(state.range(1));
    benchpages::TimeAgainstBareDecode(state, PageJpeg(), "refresh", [&] {
        RunColourPreview(image, remover, values);
        benchmark::DoNotOptimize(image.colourWorking.data());
    });
    state.SetLabel(a4 ? "A4 300 dpi" : "A4 150 dpi");
}

}  // namespace

BENCHMARK(Refresh)
    ->Name("SettingsPreviewRefresh_VsBareJpegDecode")
    ->ArgNames({"a4_300dpi", "rebuild"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond);
