#include "image/Raster.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/core/CheckedSize.h"
#include "platform/core/LargeBuffers.h"
#include "platform/core/LittleEndian.h"

namespace {

constexpr int kTile = 64;

std::size_t PlaneBytes(DWORD w, DWORD h) { return static_cast<std::size_t>(w) * h; }

// floor(dpi x 10000 / 254 + 0.5), saturating at the header field's range.
LONG PelsPerMetre(std::int32_t dpi) {
    const double v = std::floor(dpi * 10000.0 / 254.0 + 0.5);
    return v >= 2147483647.0 ? INT32_MAX : static_cast<LONG>(v);
}

}  // namespace

// ---- life cycle ------------------------------------------------------------

CRaster::CRaster(DWORD type) { Init(type); }

CRaster::CRaster(const BYTE* buffer, DWORD size, DWORD type) {
    Init(type);
    DecodeFromMemory(buffer, size, type);
}

CRaster::CRaster(const CRaster& source, bool copyPixels, bool copySelection, bool copyAlpha) {
    Init(0);
    CopyFrom(source, copyPixels, copySelection, copyAlpha);
}

CRaster::~CRaster() {
    FreeFrameList();
    Destroy();
}

void CRaster::Init(DWORD type) {
    m_dib = nullptr;
    m_bits = nullptr;
    m_shareSource = nullptr;
    m_selection = nullptr;
    m_alpha = nullptr;
    m_rowsOutside = false;
    m_head = BITMAPINFOHEADER{};
    m_info = RasterInfo{};
    m_info.type = type;
    m_info.jpegQuality = 90.0f;
    m_info.maxOpacity = 255;
    m_info.transparentIndex = -1;
    m_info.enabled = 1;
    m_info.scaleDenominator = 1;
    SetDpiX(96);
    SetDpiY(96);
    m_info.littleEndianHost = 1;
}

void* CRaster::Create(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD type) {
    return CreateBlock(width, height, bitsPerPixel, type, nullptr);
}

void* CRaster::CreateOverRows(DWORD width, DWORD height, DWORD bitsPerPixel, BYTE* rows, DWORD type) {
    if (!rows) {
        Destroy();
        SetLastError("CRaster::Create : no rows");
        return nullptr;
    }
    return CreateBlock(width, height, bitsPerPixel, type, rows);
}

namespace {

DWORD StoredDepth(DWORD bitsPerPixel) {
    return bitsPerPixel <= 1 ? 1 : bitsPerPixel <= 4 ? 4 : bitsPerPixel <= 8 ? 8 : 24;
}

}  // namespace

void* CRaster::CreateForDecode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD type) {
    BYTE* rows = nullptr;
    if (m_rowTarget && width != 0 && height != 0 && FitsLimits(width, height, bitsPerPixel)) {
        const DWORD bpp = StoredDepth(bitsPerPixel);
        rows = m_rowTarget->ProvideRows(width, height, bpp, *checked::DibRowBytes(width, bpp));
    }
    return CreateBlock(width, height, bitsPerPixel, type, rows);
}

void* CRaster::CreateBlock(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD type, BYTE* outsideRows) {
    if (!Destroy()) return nullptr;
    if (width == 0 || height == 0) {
        SetLastError("CRaster::Create : width and height must be greater than zero");
        return nullptr;
    }
    const DWORD bpp = StoredDepth(bitsPerPixel);
    const DWORD colours = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;

    if (!FitsLimits(width, height, bpp)) return nullptr;
    const auto rowBytes = checked::DibRowBytes(width, bpp);
    const auto imageSize = checked::Mul(*rowBytes, height);
    m_head = BITMAPINFOHEADER{};
    m_head.biSize = kBitmapInfoHeaderSize;
    m_head.biWidth = static_cast<LONG>(width);
    m_head.biHeight = static_cast<LONG>(height);
    m_head.biPlanes = 1;
    m_head.biBitCount = static_cast<WORD>(bpp);
    m_head.biCompression = BI_RGB;
    m_head.biSizeImage = static_cast<DWORD>(*imageSize);
    m_head.biClrUsed = colours;
    m_head.biClrImportant = 0;
    m_head.biXPelsPerMeter = PelsPerMetre(m_info.dpiX);
    m_head.biYPelsPerMeter = PelsPerMetre(m_info.dpiY);
    m_info.rowBytes = static_cast<DWORD>(*rowBytes);
    m_info.type = type;

    const std::size_t headBytes = kBitmapInfoHeaderSize + GetPaletteSize();
    const std::size_t total = headBytes + (outsideRows ? 0 : *imageSize);
    m_dib = static_cast<BYTE*>(std::calloc(1, total));
    if (!m_dib) {
        SetLastError("CRaster::Create can't allocate memory");
        return nullptr;
    }
    // Fresh memory of that size is still untouched here.
    if (!outsideRows) largebuf::Advise(m_dib, total);
    FreeSelectionPlane();
    FreeAlphaPlane();
    WriteHeaderIntoDib();
    m_rowsOutside = outsideRows != nullptr;
    m_bits = outsideRows ? outsideRows : m_dib + headBytes;
    return m_dib;
}

bool CRaster::FitsLimits(std::uint64_t width, std::uint64_t height, DWORD bitsPerPixel) {
    const DWORD bpp = StoredDepth(bitsPerPixel);
    const auto rowBytes = checked::DibRowBytes(width, bpp);
    const auto imageSize = rowBytes ? checked::Mul(*rowBytes, static_cast<std::size_t>(height)) : std::nullopt;
    if (width > image_limits::kMaxSide || height > image_limits::kMaxSide || !imageSize ||
        *imageSize > image_limits::kMaxPixelBytes) {
        SetLastError("CRaster::Create : image too large (more than 65535 pixels on a side or 2 GiB of pixels)");
        return false;
    }
    return true;
}

bool CRaster::Destroy() {
    if (m_shareSource) return false;
    std::free(m_selection);
    m_selection = nullptr;
    std::free(m_alpha);
    m_alpha = nullptr;
    std::free(m_dib);  // rows outside the block belong to somebody else
    m_dib = nullptr;
    m_bits = nullptr;
    m_rowsOutside = false;
    return true;
}

bool CRaster::FreeFrameList() {
    // This system never keeps decoded frames beside the image: nothing to free.
    return m_shareSource == nullptr;
}

void CRaster::CopyFrom(const CRaster& source, bool copyPixels, bool copySelection, bool copyAlpha) {
    if (source.m_shareSource) {
        ShareFrom(&source);
        return;
    }
    if (!Destroy()) return;
    m_info = source.m_info;
    m_head = source.m_head;
    if (!source.m_dib) return;
    if (!Create(source.GetWidth(), source.GetHeight(), source.GetBitsPerPixel(), source.GetType())) return;
    m_info = source.m_info;  // Create rewrote the type and row width: keep the source's
    if (copyPixels) {
        if (source.m_rowsOutside) {
            std::memcpy(m_dib, source.m_dib, kBitmapInfoHeaderSize + source.GetPaletteSize());
            std::memcpy(m_bits, source.m_bits, source.m_head.biSizeImage);
        } else {
            std::memcpy(m_dib, source.m_dib, source.GetSize());
        }
        m_head = source.m_head;
    } else {
        SetPalette(source.GetPalette(), std::min<DWORD>(source.GetColourCount(), 256));
    }
    const std::size_t plane = PlaneBytes(GetWidth(), GetHeight());
    if (copySelection && source.m_selection) {
        m_selection = static_cast<BYTE*>(std::malloc(plane));
        if (m_selection) std::memcpy(m_selection, source.m_selection, plane);
    }
    if (copyAlpha && source.m_alpha) {
        m_alpha = static_cast<BYTE*>(std::malloc(plane));
        if (m_alpha) std::memcpy(m_alpha, source.m_alpha, plane);
    }
}

void CRaster::ShareFrom(const CRaster* source) {
    if (!source) return;
    if (!m_shareSource) Destroy();
    m_head = source->m_head;
    m_info = source->m_info;
    m_dib = source->m_dib;
    m_bits = source->m_bits;
    m_selection = source->m_selection;
    m_alpha = source->m_alpha;
    m_rowsOutside = source->m_rowsOutside;
    m_shareSource = source;
}

bool CRaster::TakeFrom(CRaster& source, bool takeFrames) {
    if (!Destroy()) return false;
    m_head = source.m_head;
    m_info = source.m_info;
    m_dib = source.m_dib;
    m_bits = source.m_bits;
    m_selection = source.m_selection;
    m_alpha = source.m_alpha;
    m_rowsOutside = source.m_rowsOutside;
    source.m_rowsOutside = false;
    source.m_head = BITMAPINFOHEADER{};
    source.m_info = RasterInfo{};
    source.m_dib = nullptr;
    source.m_bits = nullptr;
    source.m_selection = nullptr;
    source.m_alpha = nullptr;
    if (takeFrames) FreeFrameList();
    return true;
}

void CRaster::CopyInfoFrom(const CRaster& source) {
    if (m_dib) return;
    m_info = source.m_info;
}

void CRaster::WriteHeaderIntoDib() {
    if (m_dib) le::WriteInfoHeader(m_dib, m_head);
}

// ---- accessors and setters -------------------------------------------------

BYTE* CRaster::GetBits(DWORD row) const {
    if (!m_dib || row >= GetHeight()) return nullptr;
    return m_bits + static_cast<std::size_t>(row) * m_info.rowBytes;
}

DWORD CRaster::GetSize() const {
    return m_head.biSize + m_head.biSizeImage + GetPaletteSize();
}

RGBQUAD* CRaster::GetPalette() const {
    if (!m_dib || m_head.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RGBQUAD*>(m_dib + kBitmapInfoHeaderSize);
}

RGBQUAD CRaster::GetTransparentColour() const {
    if (m_head.biBitCount < 24 && m_info.transparentIndex >= 0)
        return GetPaletteEntry(static_cast<BYTE>(m_info.transparentIndex));
    return m_info.transparentColour;
}

void CRaster::SetDpiX(std::int32_t dpi) {
    if (dpi <= 0) dpi = 96;
    m_info.dpiX = dpi;
    m_head.biXPelsPerMeter = PelsPerMetre(dpi);
    WriteHeaderIntoDib();
}

void CRaster::SetDpiY(std::int32_t dpi) {
    if (dpi <= 0) dpi = 96;
    m_info.dpiY = dpi;
    m_head.biYPelsPerMeter = PelsPerMetre(dpi);
    WriteHeaderIntoDib();
}

int CRaster::GetOptionSlot(DWORD type) {
    switch (type) {
        case RASTER_FORMAT_BMP: return 1;
        case RASTER_FORMAT_JPG: return 2;
        case RASTER_FORMAT_PNG: return 3;
        case RASTER_FORMAT_TIF: return 4;
        default: return 0;
    }
}

bool CRaster::SetFormatOption(DWORD option, DWORD type) {
    int slot = GetOptionSlot(type);
    if (slot == 0) slot = GetOptionSlot(m_info.type);
    m_info.codecOptions[slot] = option;
    return true;
}

DWORD CRaster::GetFormatOption(DWORD type) const {
    int slot = GetOptionSlot(type);
    if (slot == 0) slot = GetOptionSlot(m_info.type);
    return m_info.codecOptions[slot];
}

void CRaster::SetLastError(const char* text) {
    if (!text || !*text) return;
    std::strncpy(m_info.lastError, text, 255);
    m_info.lastError[255] = 0;
}

std::size_t CRaster::EstimateBytesHeld() const {
    std::size_t n = sizeof(*this);
    if (m_dib) n += m_rowsOutside ? GetSize() - m_head.biSizeImage : GetSize();
    const std::size_t plane = PlaneBytes(GetWidth(), GetHeight());
    if (m_selection) n += plane;
    if (m_alpha) n += plane;
    return n;
}

// ---- palette and pixels ----------------------------------------------------

RGBQUAD CRaster::GetPaletteEntry(BYTE index) const {
    const RGBQUAD* pal = GetPalette();
    if (!pal || index >= m_head.biClrUsed) return RGBQUAD{};
    return pal[index];
}

bool CRaster::GetPaletteComponents(BYTE index, BYTE* red, BYTE* green, BYTE* blue) const {
    if (!GetPalette()) return false;
    const RGBQUAD c = GetPaletteEntry(index);
    if (red) *red = c.rgbRed;
    if (green) *green = c.rgbGreen;
    if (blue) *blue = c.rgbBlue;
    return true;
}

void CRaster::SetPalette(const RGBQUAD* entries, DWORD count) {
    RGBQUAD* pal = GetPalette();
    if (!pal || !entries) return;
    const std::size_t bytes = std::min<std::size_t>(static_cast<std::size_t>(count) * 4, GetPaletteSize());
    std::memcpy(pal, entries, bytes);
    m_info.nearestValid = 0;
}

void CRaster::SetPaletteFromComponents(DWORD count, const BYTE* reds, const BYTE* greens, const BYTE* blues) {
    RGBQUAD* pal = GetPalette();
    if (!pal || !reds) return;
    if (!greens) greens = reds;
    if (!blues) blues = greens;
    const DWORD n = std::min(count, m_head.biClrUsed);
    for (DWORD i = 0; i < n; ++i) {
        pal[i].rgbRed = reds[i];
        pal[i].rgbGreen = greens[i];
        pal[i].rgbBlue = blues[i];
    }
    m_info.nearestValid = 0;
}

void CRaster::SetPaletteTriples(const BYTE* triples, DWORD count) {
    RGBQUAD* pal = GetPalette();
    if (!pal || !triples) return;
    const DWORD n = std::min(count, m_head.biClrUsed);
    for (DWORD i = 0; i < n; ++i) {
        pal[i].rgbRed = triples[3 * i];
        pal[i].rgbGreen = triples[3 * i + 1];
        pal[i].rgbBlue = triples[3 * i + 2];
    }
    m_info.nearestValid = 0;
}

void CRaster::SetPaletteEntry(BYTE index, BYTE red, BYTE green, BYTE blue, BYTE alpha) {
    SetPaletteEntry(index, RGBQUAD{blue, green, red, alpha});
}

void CRaster::SetPaletteEntry(BYTE index, RGBQUAD colour) {
    RGBQUAD* pal = GetPalette();
    if (!pal || index >= m_head.biClrUsed) return;
    pal[index] = colour;
    m_info.nearestValid = 0;
}

void CRaster::MakeGreyRamp() {
    RGBQUAD* pal = GetPalette();
    const DWORD n = m_head.biClrUsed;
    if (!pal || n < 2) return;
    const DWORD step = 255 / (n - 1);
    for (DWORD i = 0; i < n; ++i) {
        const BYTE v = static_cast<BYTE>(i * step);
        pal[i] = RGBQUAD{v, v, v, 0};
    }
    m_info.nearestValid = 0;
}

bool CRaster::HasGreyRamp() const {
    const RGBQUAD* pal = GetPalette();
    if (!pal) return false;
    for (DWORD i = 0; i < m_head.biClrUsed; ++i)
        if (pal[i].rgbBlue != i || pal[i].rgbGreen != i || pal[i].rgbRed != i) return false;
    return true;
}

void CRaster::SetImportantCount(DWORD count) {
    if (count == 0 || count > 256) {
        m_head.biClrImportant = 0;
    } else if (m_head.biBitCount == 1) {
        m_head.biClrImportant = std::min<DWORD>(count, 2);
    } else if (m_head.biBitCount == 4) {
        m_head.biClrImportant = std::min<DWORD>(count, 16);
    } else {
        m_head.biClrImportant = count;
    }
    WriteHeaderIntoDib();
}

void CRaster::ExchangeIndices(BYTE a, BYTE b) {
    RGBQUAD* pal = GetPalette();
    if (!pal || a >= m_head.biClrUsed || b >= m_head.biClrUsed || a == b) return;
    std::swap(pal[a], pal[b]);
    for (DWORD y = 0; y < GetHeight(); ++y)
        for (DWORD x = 0; x < GetWidth(); ++x) {
            const BYTE i = GetIndexFast(x, y);
            if (i == a) SetIndexFast(x, y, b);
            else if (i == b) SetIndexFast(x, y, a);
        }
    m_info.nearestValid = 0;
}

void CRaster::ExchangeRedBlue(BYTE* buffer, std::size_t length) const {
    if (!buffer || HasPalette()) return;
    const std::size_t n = std::min({length, static_cast<std::size_t>(m_info.rowBytes),
                                    static_cast<std::size_t>(GetWidth()) * 3});
    for (std::size_t i = 0; i + 3 <= n; i += 3) std::swap(buffer[i], buffer[i + 2]);
}

BYTE CRaster::FindNearestIndex(RGBQUAD colour) {
    const RGBQUAD* pal = GetPalette();
    if (!pal) return 0;
    if (m_info.nearestValid && m_info.lastNearestColour.rgbBlue == colour.rgbBlue &&
        m_info.lastNearestColour.rgbGreen == colour.rgbGreen &&
        m_info.lastNearestColour.rgbRed == colour.rgbRed)
        return m_info.lastNearestIndex;
    DWORD n = m_head.biClrImportant ? m_head.biClrImportant : m_head.biClrUsed;
    n = std::min(n, m_head.biClrUsed);
    long best = 200000;
    BYTE bestIndex = 0;
    for (DWORD i = 0; i < n; ++i) {
        const long db = long(pal[i].rgbBlue) - colour.rgbBlue;
        const long dg = long(pal[i].rgbGreen) - colour.rgbGreen;
        const long dr = long(pal[i].rgbRed) - colour.rgbRed;
        const long d = db * db + dg * dg + dr * dr;
        if (d == 0) {
            bestIndex = static_cast<BYTE>(i);
            break;
        }
        if (d < best) {
            best = d;
            bestIndex = static_cast<BYTE>(i);
        }
    }
    m_info.lastNearestColour = colour;
    m_info.lastNearestIndex = bestIndex;
    m_info.nearestValid = 1;
    return bestIndex;
}

BYTE CRaster::GetIndexFast(DWORD x, DWORD y) const {
    const BYTE* row = m_bits + static_cast<std::size_t>(y) * m_info.rowBytes;
    switch (m_head.biBitCount) {
        case 8: return row[x];
        case 4: {
            const BYTE b = row[x >> 1];
            return (x & 1) ? (b & 0x0F) : (b >> 4);
        }
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        default: return 0;
    }
}

void CRaster::SetIndexFast(DWORD x, DWORD y, BYTE index) {
    BYTE* row = m_bits + static_cast<std::size_t>(y) * m_info.rowBytes;
    switch (m_head.biBitCount) {
        case 8: row[x] = index; break;
        case 4: {
            BYTE& b = row[x >> 1];
            if (x & 1) b = static_cast<BYTE>((b & 0xF0) | (index & 0x0F));
            else b = static_cast<BYTE>((b & 0x0F) | ((index & 0x0F) << 4));
            break;
        }
        case 1: {
            BYTE& b = row[x >> 3];
            const BYTE mask = static_cast<BYTE>(0x80 >> (x & 7));
            if (index & 1) b |= mask;
            else b &= static_cast<BYTE>(~mask);
            break;
        }
        default: break;
    }
}

BYTE CRaster::GetIndexAt(std::int64_t x, std::int64_t y) const {
    if (!m_dib || !HasPalette() || !IsInside(x, y)) return 0;
    return GetIndexFast(static_cast<DWORD>(x), static_cast<DWORD>(y));
}

void CRaster::SetIndexAt(std::int64_t x, std::int64_t y, BYTE index) {
    if (!m_dib || !HasPalette() || !IsInside(x, y)) return;
    SetIndexFast(static_cast<DWORD>(x), static_cast<DWORD>(y), index);
}

RGBQUAD CRaster::GetColourFast(DWORD x, DWORD y) const {
    if (HasPalette()) return GetPaletteEntry(GetIndexFast(x, y));
    const BYTE* p = m_bits + static_cast<std::size_t>(y) * m_info.rowBytes + static_cast<std::size_t>(x) * 3;
    return RGBQUAD{p[0], p[1], p[2], 0};
}

BYTE* CRaster::GetPixelAddress(DWORD x, DWORD y) const {
    if (HasPalette() || !m_bits) return nullptr;
    return m_bits + static_cast<std::size_t>(y) * m_info.rowBytes + static_cast<std::size_t>(x) * 3;
}

RGBQUAD CRaster::GetColourAt(std::int64_t x, std::int64_t y, bool withAlpha) const {
    if (!m_dib) return RGBQUAD{};
    if (!IsInside(x, y)) {
        if (m_info.transparentIndex >= 0) return GetTransparentColour();
        x = 0;
        y = 0;
    }
    RGBQUAD c = GetColourFast(static_cast<DWORD>(x), static_cast<DWORD>(y));
    if (m_alpha && withAlpha) c.rgbReserved = GetAlphaFast(static_cast<DWORD>(x), static_cast<DWORD>(y));
    return c;
}

void CRaster::SetColourAt(std::int64_t x, std::int64_t y, RGBQUAD colour, bool setAlpha) {
    if (!m_dib || !IsInside(x, y)) return;
    const DWORD ux = static_cast<DWORD>(x), uy = static_cast<DWORD>(y);
    if (HasPalette()) {
        SetIndexFast(ux, uy, FindNearestIndex(colour));
    } else if (m_head.biBitCount == 24) {
        BYTE* p = GetPixelAddress(ux, uy);
        p[0] = colour.rgbBlue;
        p[1] = colour.rgbGreen;
        p[2] = colour.rgbRed;
    }
    if (setAlpha && m_alpha) m_alpha[static_cast<std::size_t>(uy) * GetWidth() + ux] = colour.rgbReserved;
}

void CRaster::Clear(BYTE value) {
    if (!m_dib) return;
    if (m_head.biBitCount == 1) value = value ? 255 : 0;
    else if (m_head.biBitCount == 4) value = static_cast<BYTE>((value & 0x0F) | (value << 4));
    std::memset(m_bits, value, m_head.biSizeImage);
}

// ---- selection and alpha planes --------------------------------------------

bool CRaster::CreateSelectionPlane() {
    if (!m_dib) return false;
    std::free(m_selection);
    m_selection = static_cast<BYTE*>(std::calloc(1, PlaneBytes(GetWidth(), GetHeight())));
    m_info.selectionBox = RECT{static_cast<LONG>(GetWidth()), 0, 0, static_cast<LONG>(GetHeight())};
    return m_selection != nullptr;
}

void CRaster::FreeSelectionPlane() {
    if (m_selection && !m_shareSource) std::free(m_selection);
    m_selection = nullptr;
    m_info.selectionBox.left = static_cast<LONG>(GetWidth());
    m_info.selectionBox.bottom = static_cast<LONG>(GetHeight());
    m_info.selectionBox.right = 0;
    m_info.selectionBox.top = 0;
}

void CRaster::SetSelectionByte(std::int64_t x, std::int64_t y, BYTE value) {
    if (!m_selection || !IsInside(x, y)) return;
    m_selection[static_cast<std::size_t>(y) * GetWidth() + static_cast<std::size_t>(x)] = value;
    if (value) {
        // The box spans the selected pixels: left/bottom inclusive,
        // right/top exclusive, in DIB coordinates.
        RECT& b = m_info.selectionBox;
        const LONG lx = static_cast<LONG>(x), ly = static_cast<LONG>(y);
        if (b.left > b.right || b.bottom > b.top) b = RECT{lx, ly + 1, lx + 1, ly};
        b.left = std::min(b.left, lx);
        b.right = std::max(b.right, lx + 1);
        b.bottom = std::min(b.bottom, ly);
        b.top = std::max(b.top, ly + 1);
    }
}

BYTE CRaster::GetSelectionByte(std::int64_t x, std::int64_t y) const {
    if (!m_selection || !IsInside(x, y)) return 0;
    return m_selection[static_cast<std::size_t>(y) * GetWidth() + static_cast<std::size_t>(x)];
}

bool CRaster::FlipPlane(BYTE* plane, DWORD width, DWORD height) {
    if (!plane) return false;
    for (DWORD y = 0; y < height / 2; ++y)
        std::swap_ranges(plane + static_cast<std::size_t>(y) * width,
                         plane + static_cast<std::size_t>(y + 1) * width,
                         plane + static_cast<std::size_t>(height - 1 - y) * width);
    return true;
}

bool CRaster::MirrorPlane(BYTE* plane, DWORD width, DWORD height) {
    if (!plane) return false;
    for (DWORD y = 0; y < height; ++y) {
        BYTE* row = plane + static_cast<std::size_t>(y) * width;
        std::reverse(row, row + width);
    }
    return true;
}

bool CRaster::FlipSelectionPlane() {
    if (!FlipPlane(m_selection, GetWidth(), GetHeight())) return false;
    RECT& b = m_info.selectionBox;
    if (b.left < b.right && b.bottom < b.top) {
        const LONG h = static_cast<LONG>(GetHeight());
        const LONG bottom = h - b.top, top = h - b.bottom;
        b.bottom = bottom;
        b.top = top;
    }
    return true;
}

bool CRaster::MirrorSelectionPlane() {
    if (!MirrorPlane(m_selection, GetWidth(), GetHeight())) return false;
    RECT& b = m_info.selectionBox;
    if (b.left < b.right && b.bottom < b.top) {
        const LONG w = static_cast<LONG>(GetWidth());
        const LONG left = w - b.right, right = w - b.left;
        b.left = left;
        b.right = right;
    }
    return true;
}

bool CRaster::CreateAlphaPlane() {
    if (!m_dib) return false;
    if (!m_alpha) {
        const std::size_t n = PlaneBytes(GetWidth(), GetHeight());
        m_alpha = static_cast<BYTE*>(std::malloc(n));
        if (m_alpha) std::memset(m_alpha, 255, n);
    }
    return m_alpha != nullptr;
}

void CRaster::FreeAlphaPlane() {
    if (m_alpha && !m_shareSource) std::free(m_alpha);
    m_alpha = nullptr;
}

BYTE CRaster::GetAlphaAt(std::int64_t x, std::int64_t y) const {
    if (!m_alpha || !IsInside(x, y)) return 0;
    return m_alpha[static_cast<std::size_t>(y) * GetWidth() + static_cast<std::size_t>(x)];
}

void CRaster::SetAlphaAt(std::int64_t x, std::int64_t y, BYTE value) {
    if (!m_alpha || !IsInside(x, y)) return;
    m_alpha[static_cast<std::size_t>(y) * GetWidth() + static_cast<std::size_t>(x)] = value;
}

BYTE* CRaster::GetAlphaAddress(std::int64_t x, std::int64_t y) const {
    if (!m_alpha || !IsInside(x, y)) return nullptr;
    return m_alpha + static_cast<std::size_t>(y) * GetWidth() + static_cast<std::size_t>(x);
}

void CRaster::InvertAlphaPlane() {
    if (!m_alpha) return;
    const std::size_t n = PlaneBytes(GetWidth(), GetHeight());
    for (std::size_t i = 0; i < n; ++i) m_alpha[i] = static_cast<BYTE>(255 - m_alpha[i]);
}

bool CRaster::FlipAlphaPlane() { return FlipPlane(m_alpha, GetWidth(), GetHeight()); }
bool CRaster::MirrorAlphaPlane() { return MirrorPlane(m_alpha, GetWidth(), GetHeight()); }

// ---- flips and turns -------------------------------------------------------

bool CRaster::Flip(bool flipSelection, bool flipAlpha) {
    if (!m_dib) return false;
    const std::size_t rb = m_info.rowBytes;
    BYTE* scratch = static_cast<BYTE*>(std::malloc(rb));
    if (!scratch) return false;
    const DWORD h = GetHeight();
    for (DWORD y = 0; y < h / 2; ++y) {
        BYTE* a = m_bits + y * rb;
        BYTE* b = m_bits + static_cast<std::size_t>(h - 1 - y) * rb;
        std::memcpy(scratch, a, rb);
        std::memcpy(a, b, rb);
        std::memcpy(b, scratch, rb);
    }
    std::free(scratch);
    if (flipSelection) FlipSelectionPlane();
    if (flipAlpha) FlipAlphaPlane();
    return true;
}

bool CRaster::Mirror(bool mirrorSelection, bool mirrorAlpha) {
    if (!m_dib) return false;
    const DWORD w = GetWidth(), h = GetHeight();
    const std::size_t rb = m_info.rowBytes;
    // Zeroed: the row is copied back whole, padding included.
    BYTE* row = static_cast<BYTE*>(std::calloc(rb, 1));
    if (!row) return false;
    for (DWORD y = 0; y < h; ++y) {
        BYTE* src = m_bits + y * rb;
        switch (m_head.biBitCount) {
            case 24:
                for (DWORD x = 0; x < w; ++x) {
                    const BYTE* s = src + static_cast<std::size_t>(w - 1 - x) * 3;
                    row[x * 3 + 0] = s[0];
                    row[x * 3 + 1] = s[1];
                    row[x * 3 + 2] = s[2];
                }
                break;
            case 8:
                for (DWORD x = 0; x < w; ++x) row[x] = src[w - 1 - x];
                break;
            default: {
                std::memset(row, 0, rb);
                // Pixel by pixel through the index accessors of a scratch row.
                for (DWORD x = 0; x < w; ++x) {
                    const BYTE i = GetIndexFast(w - 1 - x, y);
                    if (m_head.biBitCount == 4) {
                        BYTE& b = row[x >> 1];
                        b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | i) : static_cast<BYTE>((b & 0x0F) | (i << 4));
                    } else if (i) {
                        row[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                    }
                }
                break;
            }
        }
        std::memcpy(src, row, rb);
    }
    std::free(row);
    if (mirrorSelection) MirrorSelectionPlane();
    if (mirrorAlpha) MirrorAlphaPlane();
    return true;
}

namespace {

// Where a source pixel (column x, DIB row r) of a w x h image lands, as
// (column, DIB row) of the turned image. Derived from the visual mappings:
// clockwise (x, y) -> (h-1-y, x); counter-clockwise (x, y) -> (y, w-1-x);
// half (x, y) -> (w-1-x, h-1-y); transpose (x, y) -> (y, x); transverse
// (x, y) -> (h-1-y, w-1-x), with y = h-1-r counted from the top.
struct Mapping {
    // column = ax*x + ar*r + ac; row = bx*x + br*r + bc
    long ax, ar, ac, bx, br, bc;
};

}  // namespace

bool CRaster::TurnInto(Turn turn) {
    if (!m_dib) return false;
    const long w = static_cast<long>(GetWidth()), h = static_cast<long>(GetHeight());
    const bool quarter = turn != Turn::Half;
    Mapping m{};
    switch (turn) {
        case Turn::CW: m = {0, 1, 0, -1, 0, w - 1}; break;
        case Turn::CCW: m = {0, -1, h - 1, 1, 0, 0}; break;
        case Turn::Half: m = {-1, 0, w - 1, 0, -1, h - 1}; break;
        case Turn::Transpose: m = {0, -1, h - 1, -1, 0, w - 1}; break;
        case Turn::Transverse: m = {0, 1, 0, 1, 0, 0}; break;
    }
    const DWORD nw = quarter ? GetHeight() : GetWidth();
    const DWORD nh = quarter ? GetWidth() : GetHeight();

    CRaster turned(m_info.type);
    if (!turned.Create(nw, nh, GetBitsPerPixel(), m_info.type)) return false;
    const RasterInfo keepInfo = m_info;
    turned.m_head.biXPelsPerMeter = m_head.biXPelsPerMeter;
    turned.m_head.biYPelsPerMeter = m_head.biYPelsPerMeter;
    turned.m_head.biClrImportant = m_head.biClrImportant;
    turned.SetPalette(GetPalette(), std::min<DWORD>(GetColourCount(), 256));

    const int bpp = GetBitsPerPixel();
    const std::size_t srb = m_info.rowBytes, drb = turned.m_info.rowBytes;
    if (bpp == 8 || bpp == 24) {
        const int px = bpp / 8;
        // 64 x 64 tiles keep both the reads and the scattered writes in cache.
        for (long r0 = 0; r0 < h; r0 += kTile) {
            const long r1 = std::min(h, r0 + kTile);
            for (long x0 = 0; x0 < w; x0 += kTile) {
                const long x1 = std::min(w, x0 + kTile);
                for (long r = r0; r < r1; ++r) {
                    const BYTE* src = m_bits + static_cast<std::size_t>(r) * srb;
                    for (long x = x0; x < x1; ++x) {
                        const long c = m.ax * x + m.ar * r + m.ac;
                        const long dr = m.bx * x + m.br * r + m.bc;
                        BYTE* d = turned.m_bits + static_cast<std::size_t>(dr) * drb + static_cast<std::size_t>(c) * px;
                        const BYTE* s = src + static_cast<std::size_t>(x) * px;
                        d[0] = s[0];
                        if (px == 3) {
                            d[1] = s[1];
                            d[2] = s[2];
                        }
                    }
                }
            }
        }
    } else {
        for (long r = 0; r < h; ++r)
            for (long x = 0; x < w; ++x)
                turned.SetIndexFast(static_cast<DWORD>(m.ax * x + m.ar * r + m.ac),
                                    static_cast<DWORD>(m.bx * x + m.br * r + m.bc),
                                    GetIndexFast(static_cast<DWORD>(x), static_cast<DWORD>(r)));
    }

    auto turnPlane = [&](const BYTE* plane, BYTE*& out) -> bool {
        if (!plane) return true;
        out = static_cast<BYTE*>(std::malloc(PlaneBytes(nw, nh)));
        if (!out) return false;
        for (long r = 0; r < h; ++r)
            for (long x = 0; x < w; ++x)
                out[static_cast<std::size_t>(m.bx * x + m.br * r + m.bc) * nw +
                    static_cast<std::size_t>(m.ax * x + m.ar * r + m.ac)] =
                    plane[static_cast<std::size_t>(r) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)];
        return true;
    };
    if (!turnPlane(m_alpha, turned.m_alpha) || !turnPlane(m_selection, turned.m_selection)) return false;

    // The selection box follows: its corners map like pixels.
    RECT box = keepInfo.selectionBox;
    if (box.left < box.right && box.bottom < box.top) {
        const long c1 = m.ax * box.left + m.ar * box.bottom + m.ac;
        const long r1 = m.bx * box.left + m.br * box.bottom + m.bc;
        const long c2 = m.ax * (box.right - 1) + m.ar * (box.top - 1) + m.ac;
        const long r2 = m.bx * (box.right - 1) + m.br * (box.top - 1) + m.bc;
        box = RECT{static_cast<LONG>(std::min(c1, c2)), static_cast<LONG>(std::max(r1, r2) + 1),
                   static_cast<LONG>(std::max(c1, c2) + 1), static_cast<LONG>(std::min(r1, r2))};
    } else {
        box = RECT{static_cast<LONG>(nw), 0, 0, static_cast<LONG>(nh)};
    }

    turned.m_info = keepInfo;
    turned.m_info.rowBytes = static_cast<DWORD>(drb);
    turned.m_info.selectionBox = box;
    turned.WriteHeaderIntoDib();
    return TakeFrom(turned, true);
}

bool CRaster::RotateCW() { return TurnInto(Turn::CW); }
bool CRaster::RotateCCW() { return TurnInto(Turn::CCW); }
bool CRaster::Rotate180() { return TurnInto(Turn::Half); }
bool CRaster::Transpose() { return TurnInto(Turn::Transpose); }
bool CRaster::Transverse() { return TurnInto(Turn::Transverse); }

bool CRaster::RotateByOrientation(std::int32_t orientation) {
    if (orientation <= 0) orientation = m_info.exif.orientation;
    bool result = true;
    switch (orientation) {
        case 2: result = Mirror(true, true); break;
        case 3: result = Rotate180(); break;
        case 4: result = Flip(true, true); break;
        case 5: result = Transpose(); break;
        case 6: result = RotateCW(); break;
        case 7: result = Transverse(); break;
        case 8: result = RotateCCW(); break;
        default: break;
    }
    m_info.exif.orientation = 1;
    return result;
}
