// Fuzz target: the processing object's loading road on arbitrary file
// bytes: decode by the name's type, the conversion of every depth into the
// working images (by way of the page's BMP headers), page after page of a
// TIFF. The file is named by its first bytes (PNG or TIFF signature, else
// JPEG), so the conformance images seed it as they are.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "FuzzCommon.h"
#include "image/ByteStream.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"

namespace {

// The processor checks that the file still exists; these stand for it.
const std::wstring& NameFor(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::wstring, 3> names = [] {
        char dir[] = "/tmp/fuzz-load-XXXXXX";
        if (!::mkdtemp(dir)) std::abort();
        std::wstring out[3];
        const char* exts[3] = {"page.jpg", "page.png", "page.tif"};
        for (int i = 0; i < 3; ++i) {
            const std::string path = std::string(dir) + "/" + exts[i];
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) std::abort();
            std::fclose(f);
            out[i] = FromUtf8(path);
        }
        return std::array<std::wstring, 3>{out[0], out[1], out[2]};
    }();
    if (size >= 4 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') return names[1];
    if (size >= 2 && ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) return names[2];
    return names[0];
}

void CheckPage(const CImageProcessor& p) {
    if (p.width <= 0 || p.height <= 0 || !p.greyImage || p.workingDepth != 8) std::abort();
    if (p.sourceDepth != 1 && p.sourceDepth != 8 && p.sourceDepth != 24) std::abort();
    if ((p.sourceDepth == 24) != (p.colourImage != nullptr)) std::abort();
    // Touch the last byte of each working image: its size must cover the page.
    volatile BYTE sink = p.greyImage[px::Stride8(p.width) * p.height - 1];
    if (p.colourImage) sink = p.colourImage[px::Stride24(p.width) * p.height - 1];
    (void)sink;
}

// Pages above this many pixels are skipped: a large page is legal, but its
// working images would take the run past the fuzzer's memory limit.
constexpr std::uint64_t kMaxPixels = 8u << 20;

bool SmallEnough(const std::uint8_t* data, std::size_t size, const std::wstring& name) {
    const bool png = name.size() >= 3 && name.compare(name.size() - 3, 3, L"png") == 0;
    const bool tif = name.size() >= 3 && name.compare(name.size() - 3, 3, L"tif") == 0;
    if (png && size >= 24) {
        // The PNG decoder has no header-only road: the size from IHDR.
        const std::uint64_t w = (std::uint64_t(data[16]) << 24) | (data[17] << 16) | (data[18] << 8) | data[19];
        const std::uint64_t h = (std::uint64_t(data[20]) << 24) | (data[21] << 16) | (data[22] << 8) | data[23];
        return w * h <= kMaxPixels;
    }
    if (!tif) {
        // The JPEG frame header's size as libjpeg reads it: a header-only
        // decode would create the whole page just to learn its size.
        const auto [w, h] = JpegSize(data, size);
        return png || w * h <= kMaxPixels;
    }
    // Every page's size from its tags alone (no pixels are decoded).
    CRaster probe;
    CMemStream s(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
    if (!probe.Decode(&s, RASTER_FORMAT_TIF, true)) return true;
    for (std::int32_t page = 0; page < probe.GetFrameCount() && page < 4; ++page)
        if (!PageFits(data, size, RASTER_FORMAT_TIF, page, kMaxPixels)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring& name = NameFor(data, size);
    if (!SmallEnough(data, size, name)) return 0;
    CImageProcessor p;
    p.fileBytes.reset(new BYTE[size + 1]);
    if (size) std::memcpy(p.fileBytes.get(), data, size);
    p.fileSize = size;
    if (!p.LoadImageFile(name.c_str(), 1)) return 0;
    CheckPage(p);
    for (int page = 1; page < p.pageCount && page < 4; ++page) {
        p.ReleaseBuffers(true);
        p.currentPage = page;
        if (p.LoadImageFile(name.c_str(), 0)) CheckPage(p);
    }
    return 0;
}
