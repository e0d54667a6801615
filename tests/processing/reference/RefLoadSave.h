// Plain references for loading a page into the working images and for
// building the image a save encodes, both by way of a BMP file in memory:
// the decoded page is written as a BMP and the working images are taken
// from that file's bytes; a result is written into a BMP file's bytes and
// read back with the BMP codec. The processor builds the same things
// without the BMP in between; the tests demand identical results.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "image/ByteStream.h"
#include "image/Raster.h"
#include "platform/core/CheckedSize.h"
#include "platform/core/LittleEndian.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"

namespace ref {

// What loading a page leaves in the processor.
struct LoadedPage {
    bool ok = false;
    std::vector<std::uint8_t> grey, colour;  // empty when there is none
    int width = 0, height = 0, workingDepth = 0, sourceDepth = 0;
    std::uint8_t fileHeader[14] = {};
    std::uint8_t infoHeader[44] = {};
    std::vector<std::uint8_t> headerCopy;  // the BMP's bytes before its pixels
};

// The working images from the bytes of a BMP file.
inline void TakeFromBmp(const std::uint8_t* bmp, std::size_t size, LoadedPage& out) {
    const std::size_t headers = 54;
    if (!bmp || size < headers + 4) return;
    std::memcpy(out.fileHeader, bmp, 14);
    std::memcpy(out.infoHeader, bmp + 14, 44);
    const BITMAPFILEHEADER fh = le::ReadFileHeader(bmp);
    const BITMAPINFOHEADER ih = le::ReadInfoHeader(bmp + 14);
    const int bits = ih.biBitCount;
    if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return;
    if (ih.biWidth <= 0 || ih.biHeight <= 0) return;
    const std::size_t w = static_cast<std::size_t>(ih.biWidth), h = static_cast<std::size_t>(ih.biHeight);
    const std::size_t offset = fh.bfOffBits;
    const auto rowBytes = checked::DibRowBytes(w, static_cast<std::uint64_t>(bits));
    if (!rowBytes || offset < headers || offset + *rowBytes * h > size) return;

    const std::size_t s8 = px::Stride8(w), s24 = px::Stride24(w);
    out.width = ih.biWidth;
    out.height = ih.biHeight;
    out.sourceDepth = bits == 32 ? 24 : bits;
    out.workingDepth = 8;
    out.grey.assign(s8 * h, 0);
    if (bits >= 24) out.colour.assign(s24 * h, 0);
    const std::uint8_t* rows = bmp + offset;
    const std::uint8_t* palette = bmp + headers;
    const std::size_t entries = (offset - headers) / 4;
    auto paletteGrey = [&](std::size_t i) {
        return px::Grey(palette[4 * i], palette[4 * i + 1], palette[4 * i + 2]);
    };
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* src = rows + y * *rowBytes;
        std::uint8_t* g = &out.grey[y * s8];
        for (std::size_t x = 0; x < w; ++x) {
            if (bits == 8) {
                g[x] = src[x] < entries ? paletteGrey(src[x]) : src[x];
            } else if (bits == 1) {
                const bool set = (src[x / 8] >> (7 - x % 8)) & 1;
                const std::size_t i = set ? 1 : 0;
                g[x] = i < entries ? paletteGrey(i) : 0;
            } else {
                const std::uint8_t* p = src + x * (bits / 8);
                std::uint8_t* c = &out.colour[y * s24 + 3 * x];
                c[0] = p[0];
                c[1] = p[1];
                c[2] = p[2];
                g[x] = px::Grey(c[0], c[1], c[2]);
            }
        }
    }
    out.headerCopy.assign(bmp, bmp + offset);
    out.ok = true;
}

// A decoded page written as a BMP into memory, then taken from its bytes.
inline LoadedPage TakeFromImageViaBmp(CRaster& image) {
    LoadedPage out;
    CMemStream bmp;
    if (!bmp.Open() || !image.Encode(&bmp, RASTER_FORMAT_BMP) || bmp.Size() <= 0) return out;
    TakeFromBmp(bmp.GetBuffer(false), static_cast<std::size_t>(bmp.Size()), out);
    return out;
}

// A page of a file's bytes decoded as the processor decodes it (TIFF for
// type 2, selecting the page unless it is the first call; PNG for type 3;
// JPEG otherwise) with the processor's own codec image, taken by way of the
// BMP. `dpiX`, `dpiY` receive the decoded resolution.
inline LoadedPage LoadViaBmp(CRaster& codec, const std::vector<std::uint8_t>& file, ImageFileType type, int page,
                             bool first, int* dpiX, int* dpiY) {
    bool decoded;
    if (type == FILE_TYPE_TIFF) {
        codec.SelectFrame(first ? 0 : page);
        decoded = codec.DecodeFromMemory(file.data(), static_cast<DWORD>(file.size()), RASTER_FORMAT_TIF);
    } else {
        decoded = codec.DecodeFromMemory(file.data(), static_cast<DWORD>(file.size()),
                                         type == FILE_TYPE_PNG ? RASTER_FORMAT_PNG : RASTER_FORMAT_JPG);
    }
    if (!decoded) return LoadedPage{};
    LoadedPage out = TakeFromImageViaBmp(codec);
    if (dpiX) *dpiX = codec.GetDpiX();
    if (dpiY) *dpiY = codec.GetDpiY();
    codec.Destroy();
    return out;
}

// The BMP file of a result, written the way a save writes it: headers from
// the processor's stored source headers, which are updated in place.
inline bool BuildResultBmp(CImageProcessor& p, CImageProcessor::SaveKind kind, const std::uint8_t* bits, int w, int h,
                           std::vector<std::uint8_t>& bmp) {
    using Kind = CImageProcessor::SaveKind;
    const int bitCount = kind == Kind::kGray8 ? 8 : (kind == Kind::kBinary1 ? 1 : 24);
    const auto rowBytes = checked::DibRowBytes(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(bitCount));
    if (!rowBytes || *rowBytes * static_cast<std::size_t>(h) > image_limits::kMaxPixelBytes) return false;
    const std::size_t imageSize = *rowBytes * static_cast<std::size_t>(h);
    const bool copyOk = p.sourceHeaderCopy && p.sourceHeaderSize >= 54;
    const std::size_t headerSize =
        kind == Kind::kGray8 ? 54 + 1024 : (kind == Kind::kBinary1 ? 54 + 8 : (copyOk ? p.sourceHeaderSize : 54));
    BITMAPFILEHEADER fh = le::ReadFileHeader(p.sourceFileHeader);
    BITMAPINFOHEADER ih = le::ReadInfoHeader(p.sourceInfoHeader);
    fh.bfType = 0x4D42;
    fh.bfSize = static_cast<DWORD>(headerSize + imageSize);
    fh.bfReserved1 = fh.bfReserved2 = 0;
    fh.bfOffBits = static_cast<DWORD>(headerSize);
    ih.biSize = 40;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = static_cast<WORD>(bitCount);
    ih.biCompression = BI_RGB;
    ih.biSizeImage = static_cast<DWORD>(imageSize);
    if (kind == Kind::kGray8) {
        ih.biClrUsed = 256;
        ih.biClrImportant = 0;
    } else if (kind == Kind::kBinary1) {
        ih.biClrUsed = 2;
        ih.biClrImportant = 0;
    }
    le::WriteFileHeader(p.sourceFileHeader, fh);
    le::WriteInfoHeader(p.sourceInfoHeader, ih);

    bmp.assign(headerSize + imageSize, 0);
    if (kind == Kind::kColor24 && headerSize > 54) std::memcpy(bmp.data(), p.sourceHeaderCopy.get(), headerSize);
    le::WriteFileHeader(bmp.data(), fh);
    le::WriteInfoHeader(bmp.data() + 14, ih);
    if (kind == Kind::kColor24 && copyOk) std::memcpy(p.sourceHeaderCopy.get(), bmp.data(), 54);

    std::uint8_t* palette = bmp.data() + 54;
    std::uint8_t* rows = bmp.data() + headerSize;
    const std::size_t wz = static_cast<std::size_t>(w);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* dst = rows + *rowBytes * static_cast<std::size_t>(y);
        if (kind == Kind::kColor24) {
            std::memcpy(dst, bits + px::Stride24(wz) * static_cast<std::size_t>(y), 3 * wz);
            continue;
        }
        const std::uint8_t* src = bits + px::Stride8(wz) * static_cast<std::size_t>(y);
        for (std::size_t x = 0; x < wz; ++x) {
            if (kind == Kind::kGray8) dst[x] = src[x];
            else if (src[x] <= 128) dst[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    if (kind == Kind::kGray8) {
        for (int i = 0; i < 256; ++i) {
            palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = static_cast<std::uint8_t>(i);
            palette[4 * i + 3] = 255;
        }
    } else if (kind == Kind::kBinary1) {
        const std::uint8_t entries[8] = {255, 255, 255, 255, 0, 0, 0, 255};
        std::memcpy(palette, entries, 8);
    }
    return true;
}

// The image a save encodes, read back from the result's BMP file; `image`
// must be a fresh image of the BMP type. False when there is none.
inline bool MakeSaveImageViaBmp(CImageProcessor& p, CImageProcessor::SaveKind kind, const std::uint8_t* bits, int w,
                                int h, CRaster& image) {
    std::vector<std::uint8_t> bmp;
    if (!BuildResultBmp(p, kind, bits, w, h, bmp)) return false;
    return image.DecodeFromMemory(bmp.data(), static_cast<DWORD>(bmp.size()), RASTER_FORMAT_BMP) && image.IsValid();
}

}  // namespace ref
