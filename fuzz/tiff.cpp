// Fuzz target: the TIFF decoder through the libtiff client I/O, every page
// up to the fourth, header-only reads, and a re-encode of decoded pages.
#include "FuzzCommon.h"
#include "image/RasterTIF.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CRaster first;
    CMemStream s(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
    if (!first.Decode(&s, RASTER_FORMAT_TIF, true)) return 0;
    const std::int32_t pages = first.GetFrameCount() < 4 ? first.GetFrameCount() : 4;
    for (std::int32_t page = 0; page < pages; ++page) {
        if (!PageFits(data, size, RASTER_FORMAT_TIF, page, kFuzzMaxPixels)) continue;
        CRaster img;
        img.SelectFrame(page);
        CMemStream m(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
        if (!img.Decode(&m, RASTER_FORMAT_TIF)) continue;
        CheckThroughBmp(img);
        // Writing it again must work for the depth's own compression.
        img.SetFormatOption(0, RASTER_FORMAT_TIF);
        CMemStream out;
        out.Open();
        if (!img.Encode(&out, RASTER_FORMAT_TIF)) std::abort();
    }
    return 0;
}
