// Fixed-width stand-ins for the Windows types and bitmap header structures the
// image code works with. Field widths match the on-disk BMP/DIB layout; the
// structures are never written with memcpy (see LittleEndian.h for the
// field-by-field serialisers), so padding or host byte order never leaks into
// a file.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using BOOL = int;

// 0x00BBGGRR, as on Windows.
using COLORREF = std::uint32_t;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

struct RGBQUAD {
    BYTE rgbBlue = 0;
    BYTE rgbGreen = 0;
    BYTE rgbRed = 0;
    BYTE rgbReserved = 0;
};
static_assert(sizeof(RGBQUAD) == 4);

// The 14-byte file header of a .bmp file.
struct BITMAPFILEHEADER {
    WORD bfType = 0;
    DWORD bfSize = 0;
    WORD bfReserved1 = 0;
    WORD bfReserved2 = 0;
    DWORD bfOffBits = 0;
};
constexpr DWORD kBitmapFileHeaderSize = 14;

// The 40-byte info header of a DIB.
struct BITMAPINFOHEADER {
    DWORD biSize = 0;
    LONG biWidth = 0;
    LONG biHeight = 0;
    WORD biPlanes = 0;
    WORD biBitCount = 0;
    DWORD biCompression = 0;
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);
constexpr DWORD kBitmapInfoHeaderSize = 40;

// The 12-byte OS/2 core header.
struct BITMAPCOREHEADER {
    DWORD bcSize = 0;
    WORD bcWidth = 0;
    WORD bcHeight = 0;
    WORD bcPlanes = 0;
    WORD bcBitCount = 0;
};
constexpr DWORD kBitmapCoreHeaderSize = 12;

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;

// Rectangle and point with the Windows containment rule: left and top
// inclusive, right and bottom exclusive.
struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};
struct POINT {
    LONG x = 0;
    LONG y = 0;
};
inline bool PtInRect(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
