// Plain references for loading a page into the working images and for
// building the image a save encodes, both by way of a real BMP file in
// memory, the road the program's description takes:
//   loading: the decoded page is encoded as a BMP by the BMP codec and the
//     working images are read from that file's bytes;
//   saving: the result is written as the bytes of a BMP file and decoded
//     again by the BMP codec.
// The processor builds the same things without the BMP in between; the tests
// demand identical results. Written from the description of the two steps,
// with the BMP read and written as bytes at their documented offsets (no
// header structures shared with the program).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/ByteStream.h"
#include "image/Raster.h"
#include "platform/core/CheckedSize.h"  // the program's pixel limit
#include "processing/processor/ImageProcessor.h"

namespace ref {

// ---- the BMP file layout ----
// File header (14 bytes): "BM", file size (u32 at 2), two reserved u16,
// pixel-data offset (u32 at 10). Info header (40 bytes, from 14): its size
// (u32 at 14), width (i32 at 18), height (i32 at 22), planes (u16 at 26),
// bit count (u16 at 28), compression (u32 at 30), image size (u32 at 34),
// x and y pixels per metre (at 38 and 42), colours used (u32 at 46),
// colours important (u32 at 50). The palette follows at 54, four bytes
// (B, G, R, reserved) per entry; the rows start at the pixel-data offset,
// the lowest row of the picture first, each padded to a multiple of four.
namespace bmp {
constexpr std::size_t kFileSize = 2, kPixelOffset = 10, kReserved = 6;
constexpr std::size_t kInfoSize = 14, kWidth = 18, kHeight = 22, kPlanes = 26, kBitCount = 28, kCompression = 30,
                      kImageSize = 34, kColoursUsed = 46, kColoursImportant = 50;
constexpr std::size_t kHeaders = 54;

inline std::uint32_t U32(const std::uint8_t* b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}
inline std::uint16_t U16(const std::uint8_t* b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
inline void Put32(std::uint8_t* b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put16(std::uint8_t* b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
// Bytes of one row of `width` pixels of `bits` each, padded to four.
inline std::uint64_t RowBytes(std::uint64_t width, std::uint64_t bits) { return (width * bits + 31) / 32 * 4; }
}  // namespace bmp

// Grey of a colour: 0.587 G + 0.299 R + 0.114 B in double, in that order,
// truncated.
inline std::uint8_t GreyOf(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return static_cast<std::uint8_t>(0.587 * g + 0.299 * r + 0.114 * b);
}

// What loading a page leaves in the processor.
struct LoadedPage {
    bool ok = false;
    std::vector<std::uint8_t> grey, colour;  // empty when there is none
    int width = 0, height = 0, workingDepth = 0, sourceDepth = 0;
    std::uint8_t fileHeader[14] = {};
    std::uint8_t infoHeader[44] = {};
    std::vector<std::uint8_t> headerCopy;  // the BMP's bytes before its pixels
};

// The working images from the bytes of a BMP file: the two headers (and the
// first palette entry) are kept; bit counts 1, 8, 24 and 32 are taken. 8
// bits: an index with a palette entry becomes that entry's grey, the
// program's reading for palettes of any length (an index beyond the palette,
// or a page without one, is its own grey level); 1 bit: a set bit is the
// grey of entry 1, a clear one that of entry 0, most significant bit first;
// 24 and 32 bits: the colour image takes B, G, R and the grey is computed.
inline void TakeFromBmp(const std::uint8_t* file, std::size_t size, LoadedPage& out) {
    if (!file || size < bmp::kHeaders + 4) return;
    std::memcpy(out.fileHeader, file, sizeof out.fileHeader);
    std::memcpy(out.infoHeader, file + 14, sizeof out.infoHeader);
    const int bits = bmp::U16(file, bmp::kBitCount);
    const auto width = static_cast<std::int32_t>(bmp::U32(file, bmp::kWidth));
    const auto height = static_cast<std::int32_t>(bmp::U32(file, bmp::kHeight));
    const std::uint64_t offset = bmp::U32(file, bmp::kPixelOffset);
    if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return;
    if (width <= 0 || height <= 0) return;
    const std::uint64_t pitch = bmp::RowBytes(std::uint64_t(width), std::uint64_t(bits));
    if (offset < bmp::kHeaders || offset + pitch * std::uint64_t(height) > size) return;

    const std::size_t greyPitch = bmp::RowBytes(std::uint64_t(width), 8);
    const std::size_t colourPitch = bmp::RowBytes(std::uint64_t(width), 24);
    out.width = width;
    out.height = height;
    out.workingDepth = 8;
    out.sourceDepth = bits == 32 ? 24 : bits;
    out.grey.assign(greyPitch * std::size_t(height), 0);
    if (bits >= 24) out.colour.assign(colourPitch * std::size_t(height), 0);

    const std::size_t paletteEntries = std::size_t(offset - bmp::kHeaders) / 4;
    auto entryGrey = [&](std::size_t index, std::uint8_t otherwise) {
        if (index >= paletteEntries) return otherwise;
        const std::uint8_t* e = file + bmp::kHeaders + 4 * index;
        return GreyOf(e[0], e[1], e[2]);
    };
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = file + offset + pitch * std::uint64_t(y);
        for (int x = 0; x < width; ++x) {
            std::uint8_t& g = out.grey[greyPitch * std::size_t(y) + std::size_t(x)];
            switch (bits) {
            case 8:
                g = entryGrey(row[x], row[x]);
                break;
            case 1: {
                const int bit = (row[x / 8] >> (7 - x % 8)) & 1;
                g = entryGrey(std::size_t(bit), 0);
                break;
            }
            default: {
                const std::uint8_t* px = row + std::size_t(x) * std::size_t(bits / 8);
                std::uint8_t* c = &out.colour[colourPitch * std::size_t(y) + 3 * std::size_t(x)];
                for (int k = 0; k < 3; ++k) c[k] = px[k];
                g = GreyOf(px[0], px[1], px[2]);
            }
            }
        }
    }
    out.headerCopy.assign(file, file + offset);
    out.ok = true;
}

// A decoded page encoded as a BMP into memory, then read from its bytes.
inline LoadedPage TakeFromImageViaBmp(CRaster& image) {
    LoadedPage out;
    CMemStream stream;
    if (!stream.Open() || !image.Encode(&stream, RASTER_FORMAT_BMP) || stream.Size() <= 0) return out;
    TakeFromBmp(stream.GetBuffer(false), static_cast<std::size_t>(stream.Size()), out);
    return out;
}

// A page of a file's bytes decoded as loading decodes it (TIFF for type 2,
// selecting the page unless it is the first call; PNG for type 3; JPEG for
// everything else) with the processor's own codec image, taken by way of
// the BMP. `dpiX`, `dpiY` receive the decoded resolution.
inline LoadedPage LoadViaBmp(CRaster& codec, const std::vector<std::uint8_t>& file, ImageFileType type, int page,
                             bool first, int* dpiX, int* dpiY) {
    DWORD format = RASTER_FORMAT_JPG;
    if (type == FILE_TYPE_TIFF) {
        format = RASTER_FORMAT_TIF;
        codec.SelectFrame(first ? 0 : page);
    } else if (type == FILE_TYPE_PNG) {
        format = RASTER_FORMAT_PNG;
    }
    if (!codec.DecodeFromMemory(file.data(), static_cast<DWORD>(file.size()), format)) return LoadedPage{};
    LoadedPage out = TakeFromImageViaBmp(codec);
    if (dpiX) *dpiX = codec.GetDpiX();
    if (dpiY) *dpiY = codec.GetDpiY();
    codec.Destroy();
    return out;
}

// The bytes of the BMP file of a save. The headers start from the
// processor's stored source file and info headers, which the save updates
// in place: "BM", file size, reserved 0, pixel-data offset; info size 40,
// width, height, planes 1, the bit count, compression 0, image size (and for
// 8 and 1 bits 256 or 2 colours used, 0 important). The header is 1078 bytes
// with the grey palette (entry i = i, i, i, 255) for 8 bits, 62 bytes with
// white and black (reserved 255) for 1 bit, and the source header copy for
// 24 bits, whose first 54 bytes take the updated headers. 1-bit rows: a
// pixel of 128 or less sets its bit. False when the pixels exceed the
// program's limit.
inline bool BuildResultBmp(CImageProcessor& p, CImageProcessor::SaveKind kind, const std::uint8_t* bits, int w, int h,
                           std::vector<std::uint8_t>& file) {
    using Kind = CImageProcessor::SaveKind;
    const int depth = kind == Kind::kGray8 ? 8 : kind == Kind::kBinary1 ? 1 : 24;
    const std::uint64_t pitch = bmp::RowBytes(std::uint64_t(w), std::uint64_t(depth));
    const std::uint64_t imageBytes = pitch * std::uint64_t(h);
    if (w <= 0 || h <= 0 || imageBytes > image_limits::kMaxPixelBytes) return false;
    const bool haveCopy = p.sourceHeaderCopy && p.sourceHeaderSize >= bmp::kHeaders;
    std::size_t header = bmp::kHeaders;
    if (kind == Kind::kGray8) header = 1078;
    if (kind == Kind::kBinary1) header = 62;
    if (kind == Kind::kColor24 && haveCopy) header = p.sourceHeaderSize;

    // The stored headers, updated in place.
    std::uint8_t headers[58];
    std::memcpy(headers, p.sourceFileHeader, 14);
    std::memcpy(headers + 14, p.sourceInfoHeader, 44);
    headers[0] = 'B';
    headers[1] = 'M';
    bmp::Put32(headers, bmp::kFileSize, static_cast<std::uint32_t>(header + imageBytes));
    bmp::Put32(headers, bmp::kReserved, 0);
    bmp::Put32(headers, bmp::kPixelOffset, static_cast<std::uint32_t>(header));
    bmp::Put32(headers, bmp::kInfoSize, 40);
    bmp::Put32(headers, bmp::kWidth, static_cast<std::uint32_t>(w));
    bmp::Put32(headers, bmp::kHeight, static_cast<std::uint32_t>(h));
    bmp::Put16(headers, bmp::kPlanes, 1);
    bmp::Put16(headers, bmp::kBitCount, static_cast<std::uint16_t>(depth));
    bmp::Put32(headers, bmp::kCompression, 0);
    bmp::Put32(headers, bmp::kImageSize, static_cast<std::uint32_t>(imageBytes));
    if (kind != Kind::kColor24) {
        bmp::Put32(headers, bmp::kColoursUsed, kind == Kind::kGray8 ? 256 : 2);
        bmp::Put32(headers, bmp::kColoursImportant, 0);
    }
    std::memcpy(p.sourceFileHeader, headers, 14);
    std::memcpy(p.sourceInfoHeader, headers + 14, 40);  // the palette entry after them stays

    file.assign(header + imageBytes, 0);
    if (kind == Kind::kColor24 && haveCopy) {
        std::memcpy(p.sourceHeaderCopy.get(), headers, bmp::kHeaders);
        std::memcpy(file.data(), p.sourceHeaderCopy.get(), header);
    } else {
        std::memcpy(file.data(), headers, bmp::kHeaders);
    }
    std::uint8_t* palette = file.data() + bmp::kHeaders;
    if (kind == Kind::kGray8) {
        for (int i = 0; i < 256; ++i) {
            const std::uint8_t entry[4] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 255};
            std::memcpy(palette + 4 * i, entry, 4);
        }
    } else if (kind == Kind::kBinary1) {
        const std::uint8_t entries[8] = {255, 255, 255, 255, 0, 0, 0, 255};
        std::memcpy(palette, entries, sizeof entries);
    }

    const std::size_t sourcePitch = bmp::RowBytes(std::uint64_t(w), depth == 24 ? 24 : 8);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = bits + sourcePitch * std::size_t(y);
        std::uint8_t* row = file.data() + header + pitch * std::uint64_t(y);
        for (int x = 0; x < w; ++x) {
            if (depth == 24)
                for (int k = 0; k < 3; ++k) row[3 * x + k] = src[3 * x + k];
            else if (depth == 8)
                row[x] = src[x];
            else if (src[x] <= 128)
                row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
        }
    }
    return true;
}

// The image a save encodes, decoded from the result's BMP file; `image`
// must be a fresh image of the BMP type. False when there is none.
inline bool MakeSaveImageViaBmp(CImageProcessor& p, CImageProcessor::SaveKind kind, const std::uint8_t* bits, int w,
                                int h, CRaster& image) {
    std::vector<std::uint8_t> file;
    if (!BuildResultBmp(p, kind, bits, w, h, file)) return false;
    return image.DecodeFromMemory(file.data(), static_cast<DWORD>(file.size()), RASTER_FORMAT_BMP) && image.IsValid();
}

}  // namespace ref
