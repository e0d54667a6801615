#include "processing/processor/PageMemory.h"

#include <algorithm>
#include <cstdio>
#include <tiffio.h>

#include "image/ByteStream.h"
#include "image/Raster.h"
#include "image/RasterJPG.h"
#include "image/RasterTIF.h"
#include "platform/core/Files.h"
#include "processing/ImageBuffer.h"
#include "processing/processor/ImageProcessor.h"

namespace {

std::uint32_t BigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool ProbePng(const std::wstring& path, FileShape& shape) {
    // Signature, then the IHDR chunk: length, type, width, height, bit
    // depth, colour type.
    std::FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return false;
    unsigned char head[26];
    const bool read = std::fread(head, 1, sizeof head, f) == sizeof head;
    std::fclose(f);
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!read || !std::equal(kSignature, kSignature + 8, head) || !std::equal(head + 12, head + 16, "IHDR"))
        return false;
    PageShape page;
    page.width = BigEndian32(head + 16);
    page.height = BigEndian32(head + 20);
    page.colour = head[25] != 0;  // anything but plain grey may decode to colour
    shape.pages.push_back(page);
    return true;
}

bool ProbeJpeg(const std::wstring& path, FileShape& shape) {
    std::FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return false;
    // The headers alone: nothing is allocated for the pixels.
    CRasterJPG codec;
    DWORD width = 0, height = 0, bits = 0;
    bool ok;
    {
        CFileStream stream(f);
        ok = codec.ReadShape(&stream, width, height, bits);
    }
    std::fclose(f);
    if (!ok) return false;
    shape.pages.push_back(PageShape{width, height, bits > 8});
    return true;
}

bool ProbeTiff(const std::wstring& path, FileShape& shape) {
    CFileStream stream;
    if (!stream.Open(path.c_str(), L"rb")) return false;
    TiffMessages messages{};
    TIFF* tif = TiffClientOpen(&stream, "r", &messages);
    if (!tif) return false;
    // Every directory, in file order (a cut chain ends the walk).
    do {
        std::uint32_t width = 0, height = 0;
        std::uint16_t samples = 1, bits = 1, photometric = PHOTOMETRIC_MINISBLACK;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        const bool colour = samples >= 3 || photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_YCBCR ||
                            photometric == PHOTOMETRIC_SEPARATED || photometric == PHOTOMETRIC_LOGL ||
                            photometric == PHOTOMETRIC_LOGLUV || (photometric == PHOTOMETRIC_PALETTE && bits > 1);
        shape.pages.push_back(PageShape{width, height, colour});
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return !shape.pages.empty();
}

}  // namespace

bool ProbeFileShape(const std::wstring& path, FileShape& shape) {
    shape = FileShape{};
    const std::int64_t size = files::Size(path);
    if (size < 0) return false;
    shape.fileBytes = static_cast<std::uint64_t>(size);
    switch (CImageProcessor::FileTypeOf(path)) {
    case FILE_TYPE_TIFF: return ProbeTiff(path, shape);
    case FILE_TYPE_PNG: return ProbePng(path, shape);
    default: return ProbeJpeg(path, shape);
    }
}

std::uint64_t EstimatePeakBytes(const FileShape& shape) {
    // Pages are processed one after another: the largest one sets the peak,
    // while the whole file stays in memory until its last page is decoded.
    std::uint64_t page = 0;
    for (const PageShape& p : shape.pages) {
        const std::uint64_t perPixel = p.colour ? kPeakBytesPerColourPixel : kPeakBytesPerGreyPixel;
        const std::uint64_t pixels = std::min<std::uint64_t>(p.width, UINT32_MAX) * std::min<std::uint64_t>(p.height, UINT32_MAX);
        page = std::max(page, pixels > UINT64_MAX / 64 ? UINT64_MAX / 2 : pixels * perPixel);
    }
    return std::min<std::uint64_t>(shape.fileBytes, UINT64_MAX / 4) + page + kPeakFixedBytes;
}

std::uint64_t EstimateOutputCanvasBytes(const FileShape& shape, std::uint64_t width, std::uint64_t height) {
    const bool colour = std::any_of(shape.pages.begin(), shape.pages.end(), [](const PageShape& p) { return p.colour; });
    // A size beyond the image limits is never made (the file fails with
    // that reason, PixelBytes gives 0); any other canvas is made as large
    // as PixelBytes says.
    const auto side = [](std::uint64_t v) { return static_cast<std::int64_t>(std::min<std::uint64_t>(v, INT32_MAX)); };
    return 2 * static_cast<std::uint64_t>(PixelBytes(side(width), side(height), colour ? 24 : 8));
}
