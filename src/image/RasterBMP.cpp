#include "image/RasterBMP.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/ByteStream.h"
#include "platform/core/CheckedSize.h"
#include "platform/core/LittleEndian.h"

namespace {

constexpr const char* kTruncated = "BMP file is truncated";

int BitCount16(DWORD mask) { return __builtin_popcount(mask & 0xFFFF); }

// Shift left for positive counts, right for negative ones.
DWORD ShiftBy(DWORD v, int left) { return left >= 0 ? (left >= 32 ? 0 : v << left) : (-left >= 32 ? 0 : v >> -left); }

// Byte position (0..3) of the highest non-zero byte of a mask, -1 for none.
int MaskByte(DWORD mask) {
    for (int i = 3; i >= 0; --i)
        if ((mask >> (8 * i)) & 0xFF) return i;
    return -1;
}

// Byte reader for run-length data, buffered over the stream.
class ByteReader {
public:
    explicit ByteReader(CByteStream* s) : m_s(s) {}
    // -1 at the end of the stream.
    int Next() {
        if (m_pos == m_len) {
            m_len = m_s->Read(m_buf, 1, sizeof(m_buf));
            m_pos = 0;
            if (m_len == 0) return -1;
        }
        return m_buf[m_pos++];
    }

private:
    CByteStream* m_s;
    BYTE m_buf[4096];
    std::size_t m_pos = 0, m_len = 0;
};

}  // namespace

bool CRasterBMP::ReadInfoHeader(CByteStream* stream, BITMAPINFOHEADER& header, Masks* masks) {
    if (!stream) return false;
    // The size comes first; an OS/2 core header is only 12 bytes long.
    BYTE raw[40] = {};
    if (stream->Read(raw, 1, 4) != 4) return false;
    const std::size_t rest = le::Get32(raw) == kBitmapCoreHeaderSize ? 8 : 36;
    if (stream->Read(raw + 4, 1, rest) != rest) return false;
    header = le::ReadInfoHeader(raw);
    Masks m;
    const DWORD size = header.biSize;
    const std::int64_t afterHeader = static_cast<std::int64_t>(stream->Tell());
    if (size == kBitmapCoreHeaderSize) {
        BITMAPINFOHEADER h{};
        h.biSize = kBitmapCoreHeaderSize;
        h.biWidth = le::Get16(raw + 4);
        h.biHeight = le::Get16(raw + 6);
        h.biPlanes = le::Get16(raw + 8);
        h.biBitCount = le::Get16(raw + 10);
        header = h;
        m.os2 = true;
    } else if (size < kBitmapInfoHeaderSize) {
        return false;
    } else if (size != 40 && size != 64 && size != 124) {
        // Another extended header: accepted only when it looks consistent.
        const auto row = checked::DibRowBytes(header.biWidth < 0 ? 0 : static_cast<std::uint64_t>(header.biWidth),
                                              header.biBitCount);
        const std::uint64_t rows = static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(header.biHeight)));
        if (!row || header.biPlanes != 1 || header.biClrUsed != 0 ||
            static_cast<std::uint64_t>(header.biSizeImage) < static_cast<std::uint64_t>(*row) * rows)
            return false;
    }
    // Extended headers (52 bytes and more) carry the bit-field masks
    // themselves, right after the first 40 bytes; a 40-byte header with
    // bit fields is followed by them.
    if ((size >= 52 && size != 64) || (size == 40 && header.biCompression == BI_BITFIELDS)) {
        BYTE mk[12];
        if (stream->Read(mk, 1, 12) != 12) return false;
        m.red = le::Get32(mk);
        m.green = le::Get32(mk + 4);
        m.blue = le::Get32(mk + 8);
        m.present = true;
    }
    if (size > 40) {
        // Step over the rest of the extended header.
        const std::int32_t streamSize = stream->Size();
        const std::int64_t end = afterHeader + (static_cast<std::int64_t>(size) - 40);
        if (streamSize >= 0 && end > streamSize) return false;
        if (!stream->Seek(static_cast<std::int32_t>(end), 0)) return false;
    }
    if (header.biSizeImage == 0 && header.biWidth > 0) {
        const auto row = checked::DibRowBytes(static_cast<std::uint64_t>(header.biWidth), header.biBitCount);
        const std::uint64_t rows = static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(header.biHeight)));
        if (row && *row * rows <= UINT32_MAX) header.biSizeImage = static_cast<DWORD>(*row * rows);
    }
    if (header.biClrUsed == 0 && header.biBitCount <= 8) header.biClrUsed = 1u << header.biBitCount;
    // What the decoder cannot size safely is refused here.
    switch (header.biBitCount) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default: return false;
    }
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) return false;
    if (masks) *masks = m;
    return true;
}

std::int32_t CRasterBMP::DpiFromPelsPerMetre(LONG pelsPerMetre) {
    return static_cast<std::int32_t>(std::floor(pelsPerMetre * 254.0 / 10000.0 + 0.5));
}

bool CRasterBMP::Decode(CByteStream* stream) {
    if (!stream) return false;
    auto fail = [this](const char* text) {
        SetLastError(text);
        return false;
    };
    const std::int32_t start = stream->Tell();
    BYTE rawFile[14];
    if (stream->Read(rawFile, 1, 14) != 14) return fail("Not a BMP");
    const BITMAPFILEHEADER bf = le::ReadFileHeader(rawFile);
    DWORD offset = bf.bfOffBits;
    if (bf.bfType != 0x4D42) {
        // A bare DIB: the information header comes first.
        offset = 0;
        if (!stream->Seek(start, 0)) return fail("Not a BMP");
    }
    BITMAPINFOHEADER bih;
    Masks masks;
    if (!ReadInfoHeader(stream, bih, &masks)) return fail("Error reading BMP info");

    const bool topDown = bih.biHeight < 0;
    const DWORD width = static_cast<DWORD>(bih.biWidth);
    const DWORD height = static_cast<DWORD>(topDown ? -bih.biHeight : bih.biHeight);
    const WORD bits = bih.biBitCount;

    // Compression checks come before any allocation.
    if (bits <= 8) {
        const bool rle = (bits == 8 && bih.biCompression == BI_RLE8) || (bits == 4 && bih.biCompression == BI_RLE4);
        if (bih.biCompression != BI_RGB && !rle) return fail("compression type not supported");
    } else if (bits == 24 && bih.biCompression != BI_RGB) {
        return fail("unknown compression");
    } else if ((bits == 16 || bits == 32) && bih.biCompression != BI_RGB && bih.biCompression != BI_BITFIELDS) {
        return fail("unknown compression");
    }

    if (!Create(width, height, bits, RASTER_FORMAT_BMP)) return false;
    SetDpiX(DpiFromPelsPerMetre(bih.biXPelsPerMeter));
    SetDpiY(DpiFromPelsPerMetre(bih.biYPelsPerMeter));

    // Palette: the file's entries, never more than the depth can index.
    if (bits <= 8) {
        const DWORD fileEntries = bih.biClrUsed;
        DWORD entries = std::min<DWORD>(fileEntries, 1u << bits);
        const int entrySize = masks.os2 ? 3 : 4;
        if (offset != 0) {
            // A palette shorter than the depth allows ends where the pixels start.
            const std::int64_t room = static_cast<std::int64_t>(start) + offset - stream->Tell();
            if (room >= 0 && room / entrySize < entries) entries = static_cast<DWORD>(room / entrySize);
        }
        RGBQUAD* pal = GetPalette();
        std::vector<BYTE> raw(static_cast<std::size_t>(entries) * entrySize);
        if (stream->Read(raw.data(), 1, raw.size()) != raw.size()) return fail(kTruncated);
        for (DWORD i = 0; i < entries; ++i)
            pal[i] = RGBQUAD{raw[i * entrySize], raw[i * entrySize + 1], raw[i * entrySize + 2], 0};
        if (fileEntries > entries && offset == 0) {
            // Surplus entries of a bare DIB sit before the pixels: step over.
            const std::int64_t skip = static_cast<std::int64_t>(fileEntries - entries) * entrySize;
            const std::int64_t to = static_cast<std::int64_t>(stream->Tell()) + skip;
            if (to > stream->Size() || !stream->Seek(static_cast<std::int32_t>(to), 0)) return fail(kTruncated);
        }
    }
    if (offset != 0) {
        const std::int64_t to = static_cast<std::int64_t>(start) + offset;
        if (to > INT32_MAX || !stream->Seek(static_cast<std::int32_t>(to), 0)) return fail(kTruncated);
    }

    const std::size_t rowBytes = GetRowBytes();
    const std::size_t area = static_cast<std::size_t>(m_head.biSizeImage);
    if (bits <= 8 && bih.biCompression == BI_RGB) {
        // The header's image size, never more than the pixel area holds.
        const std::size_t n = std::min<std::size_t>(bih.biSizeImage, area);
        if (stream->Read(m_bits, 1, n) != n) return fail(kTruncated);
    } else if (bits == 24) {
        const std::size_t n = std::min<std::size_t>(bih.biSizeImage, area);
        if (stream->Read(m_bits, 1, n) != n) return fail(kTruncated);
    } else if (bits <= 8) {
        // RLE8 / RLE4, rows from the bottom. Pixels the data skips stay 0.
        ByteReader in(stream);
        DWORD x = 0, y = 0;
        auto put = [&](BYTE v) {
            if (x < width && y < height) SetIndexFast(x, y, v);
            ++x;
        };
        const bool rle4 = bits == 4;
        bool done = false;
        while (!done) {
            const int count = in.Next();
            const int value = count < 0 ? -1 : in.Next();
            if (value < 0) {
                if (y >= height) break;  // every row was reached: the end marker is just missing
                return fail(kTruncated);
            }
            if (count > 0) {
                for (int i = 0; i < count; ++i)
                    put(rle4 ? static_cast<BYTE>((i & 1) ? (value & 0x0F) : (value >> 4)) : static_cast<BYTE>(value));
                continue;
            }
            switch (value) {
                case 0: x = 0; ++y; break;
                case 1: done = true; break;
                case 2: {
                    const int dx = in.Next(), dy = in.Next();
                    if (dx < 0 || dy < 0) return fail(kTruncated);
                    x += static_cast<DWORD>(dx);
                    y += static_cast<DWORD>(dy);
                    break;
                }
                default: {
                    const int n = value;
                    const int bytes = rle4 ? (n + 1) / 2 : n;
                    int b = 0;
                    for (int i = 0; i < n; ++i) {
                        if (!rle4 || (i & 1) == 0) {
                            b = in.Next();
                            if (b < 0) return fail(kTruncated);
                        }
                        put(rle4 ? static_cast<BYTE>((i & 1) ? (b & 0x0F) : (b >> 4)) : static_cast<BYTE>(b));
                    }
                    if (bytes & 1 && in.Next() < 0) return fail(kTruncated);
                    break;
                }
            }
        }
    } else if (bits == 16) {
        DWORD rm = 0x7C00, gm = 0x3E0, bm = 0x1F;
        if (bih.biCompression == BI_BITFIELDS && masks.present) {
            rm = masks.red;
            gm = masks.green;
            bm = masks.blue;
        }
        const int r = BitCount16(rm), g = BitCount16(gm), b = BitCount16(bm);
        const std::size_t fileRow = static_cast<std::size_t>((width + 1) / 2) * 4;
        std::vector<BYTE> row(fileRow);
        for (DWORD yy = 0; yy < height; ++yy) {
            if (stream->Read(row.data(), 1, fileRow) != fileRow) return fail(kTruncated);
            BYTE* dst = m_bits + yy * rowBytes;
            for (DWORD xx = 0; xx < width; ++xx) {
                const DWORD w = le::Get16(&row[xx * 2]);
                dst[xx * 3 + 0] = static_cast<BYTE>(ShiftBy(w & bm, 8 - r));
                dst[xx * 3 + 1] = static_cast<BYTE>(ShiftBy(w & gm, -(r + g - 8)));
                dst[xx * 3 + 2] = static_cast<BYTE>(ShiftBy(w & rm, -(r + g + b - 8)));
            }
        }
    } else if (bits == 32) {
        DWORD rm = 0x00FF0000, gm = 0x0000FF00, bm = 0x000000FF;
        if (bih.biCompression == BI_BITFIELDS && masks.present) {
            rm = masks.red;
            gm = masks.green;
            bm = masks.blue;
        }
        const int rb = MaskByte(rm), gb = MaskByte(gm), bb = MaskByte(bm);
        const bool withAlpha = bih.biCompression == BI_RGB;
        if (withAlpha && !CreateAlphaPlane()) return fail("can't allocate memory");
        const std::size_t fileRow = static_cast<std::size_t>(width) * 4;
        BYTE* scratch = static_cast<BYTE*>(std::malloc(fileRow));
        if (!scratch) return fail("can't allocate memory");
        bool anyAlpha = false;
        for (DWORD yy = 0; yy < height; ++yy) {
            if (stream->Read(scratch, 1, fileRow) != fileRow) {
                std::free(scratch);
                return fail(kTruncated);
            }
            BYTE* dst = m_bits + yy * rowBytes;
            for (DWORD xx = 0; xx < width; ++xx) {
                const BYTE* p = scratch + xx * 4;
                dst[xx * 3 + 0] = bb >= 0 ? p[bb] : 0;
                dst[xx * 3 + 1] = gb >= 0 ? p[gb] : 0;
                dst[xx * 3 + 2] = rb >= 0 ? p[rb] : 0;
                if (withAlpha) {
                    m_alpha[static_cast<std::size_t>(yy) * width + xx] = p[3];
                    anyAlpha |= p[3] != 0;
                }
            }
        }
        std::free(scratch);
        // Files that leave the fourth byte at 0 mean "no alpha": opaque.
        if (withAlpha && !anyAlpha) InvertAlphaPlane();
    }

    if (topDown) Flip(true, true);
    return true;
}

bool CRasterBMP::Encode(CByteStream* stream) {
    if (CheckEncodable(stream)) return false;
    auto fail = [this]() {
        SetLastError("Error saving BMP file");
        return false;
    };
    BITMAPFILEHEADER bf;
    bf.bfType = 0x4D42;
    bf.bfSize = GetSize() + kBitmapFileHeaderSize;
    bf.bfOffBits = kBitmapFileHeaderSize + kBitmapInfoHeaderSize + GetPaletteSize();
    BYTE raw[14];
    if (HasPalette() || !m_alpha) {
        le::WriteFileHeader(raw, bf);
        WriteHeaderIntoDib();
        if (stream->Write(raw, 1, 14) != 14) return fail();
        if (!m_rowsOutside) {
            if (stream->Write(m_dib, 1, GetSize()) != GetSize()) return fail();
            return true;
        }
        const std::size_t headBytes = kBitmapInfoHeaderSize + GetPaletteSize();
        if (stream->Write(m_dib, 1, headBytes) != headBytes) return fail();
        if (stream->Write(m_bits, 1, m_head.biSizeImage) != m_head.biSizeImage) return fail();
        return true;
    }
    // A 24-bit image with an alpha plane is written as a 32-bit BMP.
    BITMAPINFOHEADER h = m_head;
    h.biSize = kBitmapInfoHeaderSize;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    const std::uint64_t imageSize = static_cast<std::uint64_t>(GetWidth()) * 4 * GetHeight();
    if (imageSize + 54 > UINT32_MAX) return fail();
    h.biSizeImage = static_cast<DWORD>(imageSize);
    h.biClrUsed = 0;
    bf.bfSize = h.biSizeImage + kBitmapInfoHeaderSize + kBitmapFileHeaderSize;
    bf.bfOffBits = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
    le::WriteFileHeader(raw, bf);
    BYTE info[40];
    le::WriteInfoHeader(info, h);
    if (stream->Write(raw, 1, 14) != 14 || stream->Write(info, 1, 40) != 40) return fail();
    const DWORD w = GetWidth();
    std::vector<BYTE> row(static_cast<std::size_t>(w) * 4);
    for (DWORD y = 0; y < GetHeight(); ++y) {
        const BYTE* src = GetBits(y);
        const BYTE* a = m_alpha + static_cast<std::size_t>(y) * w;
        for (DWORD x = 0; x < w; ++x) {
            row[x * 4 + 0] = src[x * 3 + 0];
            row[x * 4 + 1] = src[x * 3 + 1];
            row[x * 4 + 2] = src[x * 3 + 2];
            row[x * 4 + 3] = a[x];
        }
        if (stream->Write(row.data(), 1, row.size()) != row.size()) return fail();
    }
    return true;
}
