#include "image/RasterTIF.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/ByteStream.h"
#include "platform/core/CheckedSize.h"

namespace {

// No single libtiff allocation for a page may exceed this.
constexpr tmsize_t kMaxSingleAlloc = tmsize_t{2} << 30;
constexpr std::uint32_t kMaxBitsPerPixel = 4 * 64;

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t size) {
    if (size < 0) return -1;
    return static_cast<tmsize_t>(static_cast<CByteStream*>(h)->Read(buf, 1, static_cast<std::size_t>(size)));
}

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t size) {
    if (size < 0) return -1;
    return static_cast<tmsize_t>(static_cast<CByteStream*>(h)->Write(buf, 1, static_cast<std::size_t>(size)));
}

toff_t SeekProc(thandle_t h, toff_t off, int whence) {
    CByteStream* s = static_cast<CByteStream*>(h);
    if (off == static_cast<toff_t>(-1)) return static_cast<toff_t>(-1);
    const std::int64_t o = static_cast<std::int64_t>(off);
    // The stream counts in 32 bits: an offset beyond is a failed seek.
    if (o > INT32_MAX || o < INT32_MIN) return static_cast<toff_t>(-1);
    const int origin = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? 1 : 2;
    if (!s->Seek(static_cast<std::int32_t>(o), origin)) return static_cast<toff_t>(-1);
    if (origin == 0) return off;
    const std::int32_t pos = s->Tell();
    return pos < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(pos);
}

int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t h) {
    const std::int32_t size = static_cast<CByteStream*>(h)->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

void Format(char* out, std::size_t size, const char* module, const char* fmt, va_list ap) {
    int n = module ? std::snprintf(out, size, "%s: ", module) : 0;
    if (n < 0 || static_cast<std::size_t>(n) >= size) n = 0;
    std::vsnprintf(out + n, size - static_cast<std::size_t>(n), fmt, ap);
}

int ErrorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    if (TiffMessages* m = static_cast<TiffMessages*>(user)) Format(m->error, sizeof m->error, module, fmt, ap);
    return 1;  // handled: nothing reaches the global handler (stderr)
}

int WarningHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    if (TiffMessages* m = static_cast<TiffMessages*>(user)) Format(m->warning, sizeof m->warning, module, fmt, ap);
    return 1;
}

std::int32_t ClampDpi(double v) {
    if (!(v > 0)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}

std::uint8_t Clamp255(double v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return static_cast<std::uint8_t>(v);
}

// Sample `i` of a packed row of `bits`-bit samples. Samples of 16, 24 and
// 32 bits are whole bytes in host order (libtiff swaps those of a file in
// the other byte order); other sizes are packed most significant bit first.
std::uint32_t Sample(const std::uint8_t* row, std::size_t i, unsigned bits) {
    switch (bits) {
        case 8: return row[i];
        case 16: {
            std::uint16_t v;
            std::memcpy(&v, row + 2 * i, 2);
            return v;
        }
        case 24: {
            const std::uint8_t* p = row + 3 * i;
            if constexpr (std::endian::native == std::endian::little)
                return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
            else
                return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]};
        }
        case 32: {
            std::uint32_t v;
            std::memcpy(&v, row + 4 * i, 4);
            return v;
        }
        default: {
            std::uint64_t bit = static_cast<std::uint64_t>(i) * bits;
            std::uint32_t v = 0;
            for (unsigned b = 0; b < bits && b < 32; ++b, ++bit)
                v = (v << 1) | ((row[bit >> 3] >> (7 - (bit & 7))) & 1);
            return v;
        }
    }
}

// The top 8 bits of a sample (32 bits and more: its fourth byte in memory).
std::uint8_t Top8(const std::uint8_t* row, std::size_t i, unsigned bits) {
    if (bits <= 8) return static_cast<std::uint8_t>(Sample(row, i, bits));
    if (bits >= 32) return row[static_cast<std::size_t>(i) * (bits / 8) + 3];
    return static_cast<std::uint8_t>(Sample(row, i, bits) >> (bits - 8));
}

}  // namespace

TIFF* TiffClientOpen(CByteStream* stream, const char* mode, TiffMessages* messages) {
    if (!stream) return nullptr;
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, kMaxSingleAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(opts, ErrorHandler, messages);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, WarningHandler, messages);
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", mode, static_cast<thandle_t>(stream), ReadProc, WriteProc, SeekProc,
                                  CloseProc, SizeProc, MapProc, UnmapProc, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

CRasterTIF::CRasterTIF() : CRaster(RASTER_FORMAT_TIF) {}

CRasterTIF::~CRasterTIF() { CloseHandle(); }

void CRasterTIF::CloseHandle() {
    if (m_handle) TIFFClose(m_handle);
    m_handle = nullptr;
    m_multiPage = false;
    m_pagesWritten = 0;
}

bool CRasterTIF::Decode(CByteStream* stream, bool headerOnly) {
    if (!stream) return false;
    TiffMessages messages{};
    TIFF* tif = TiffClientOpen(stream, "r", &messages);
    if (!tif) {
        SetLastError("Error encountered while opening TIFF file");
        return false;
    }
    std::vector<RGBQUAD> bigPalette;
    bool ok = false;
    do {
        m_info.frameCount = static_cast<std::int32_t>(TIFFNumberOfDirectories(tif));
        // A whole chain ends with a zero link after the last page counted; a
        // link into nowhere (a truncated file) or back into the chain ends
        // the count early.
        m_info.frameChainCut =
            !(m_info.frameCount > 0 && TIFFSetDirectory(tif, static_cast<tdir_t>(m_info.frameCount - 1)) &&
              TIFFLastDirectory(tif));
        if (m_info.frame < 0 || !TIFFSetDirectory(tif, static_cast<tdir_t>(m_info.frame))) {
            SetLastError("Error: page not present in TIFF file");
            break;
        }
        // libtiff counts no directories when the chain after this one is
        // broken; the page just read is there all the same (and the chain is
        // reported cut).
        if (m_info.frameCount <= m_info.frame) m_info.frameCount = m_info.frame + 1;
        std::uint32_t width = 0, height = 0, rowsPerStrip = UINT32_MAX, tileWidth = 0, tileLength = 0;
        std::uint16_t samples = 1, bits = 1, photometric = 0, orientation = 1, resUnit = RESUNIT_INCH,
                      compression = COMPRESSION_NONE;
        float resX = 0, resY = 0, posX = 0, posY = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &resUnit);
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resX);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &resY);
        TIFFGetField(tif, TIFFTAG_XPOSITION, &posX);
        TIFFGetField(tif, TIFFTAG_YPOSITION, &posY);
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        const bool tiled = TIFFIsTiled(tif);
        if (tiled) {
            TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
            TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
        }
        if (resUnit == RESUNIT_CENTIMETER) {
            resX = resX * 2.54f + 0.5f;
            resY = resY * 2.54f + 0.5f;
        }
        SetDpiX(ClampDpi(resX));
        SetDpiY(ClampDpi(resY));
        m_info.offsetX = ClampDpi(posX);
        m_info.offsetY = ClampDpi(posY);
        m_info.transparentIndex = -1;
        if (rowsPerStrip > height) rowsPerStrip = height;

        if (headerOnly) {
            m_head.biWidth = static_cast<LONG>(std::min<std::uint32_t>(width, INT32_MAX));
            m_head.biHeight = static_cast<LONG>(std::min<std::uint32_t>(height, INT32_MAX));
            ok = true;
            break;
        }

        const bool rgba = photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_SEPARATED ||
                          photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_LOGL ||
                          photometric == PHOTOMETRIC_LOGLUV;
        DWORD depth;
        if (rgba) depth = 24;
        // Grey with alpha is stored one byte per pixel whatever its sample
        // size: a 1- or 4-bit depth would leave no room for those bytes.
        else if (samples == 2 && !(bits > 8 && photometric == PHOTOMETRIC_PALETTE)) depth = 8;
        else if (bits == 1 && (photometric <= 1 || photometric == PHOTOMETRIC_PALETTE)) depth = 1;
        else if (bits == 4) depth = 4;
        else if (bits > 8 && photometric == PHOTOMETRIC_PALETTE) depth = 24;
        else depth = 8;
        if (width == 0 || height == 0 || bits == 0 || samples == 0) {
            SetLastError("CRasterTIF can't create image");
            break;
        }
        // Pages read strip by strip take at most four samples of 64 bits per
        // pixel: a header that claims hundreds of samples would have a strip
        // buffer of gigabytes allocated for a file of a few hundred bytes.
        if (!rgba && static_cast<std::uint32_t>(samples) * bits > kMaxBitsPerPixel) {
            SetLastError("CRasterTIF can't allocate memory");
            break;
        }
        if (!FitsLimits(width, height, samples >= 3 && !rgba ? 24 : depth)) break;
        if (!Create(width, height, depth, RASTER_FORMAT_TIF)) {
            SetLastError("CRasterTIF can't create image");
            break;
        }
        if ((samples == 4 || (samples == 2 && bits == 8)) && !CreateAlphaPlane()) {
            SetLastError("CRasterTIF can't allocate memory");
            break;
        }
        SetFormatOption(compression, 0);

        if (rgba) {
            const auto bytes = checked::Mul3(width, height, 4);
            std::uint32_t* raster = bytes ? static_cast<std::uint32_t*>(std::malloc(*bytes)) : nullptr;
            if (!raster) {
                SetLastError("No space for raster buffer");
                break;
            }
            if (!TIFFReadRGBAImage(tif, width, height, raster, 1)) {
                std::free(raster);
                SetLastError("Corrupted TIFF file!");
                break;
            }
            // Delivered bottom-up: the DIB's row order.
            for (std::uint32_t y = 0; y < height; ++y) {
                BYTE* row = GetBits(y);
                const std::uint32_t* src = raster + static_cast<std::size_t>(y) * width;
                for (std::uint32_t x = 0; x < width; ++x) {
                    row[3 * x] = static_cast<BYTE>(TIFFGetB(src[x]));
                    row[3 * x + 1] = static_cast<BYTE>(TIFFGetG(src[x]));
                    row[3 * x + 2] = static_cast<BYTE>(TIFFGetR(src[x]));
                }
                if (m_alpha && samples == 4)
                    for (std::uint32_t x = 0; x < width; ++x)
                        m_alpha[static_cast<std::size_t>(y) * width + x] = static_cast<BYTE>(TIFFGetA(src[x]));
            }
            std::free(raster);
            ok = true;
            break;
        }

        // Palette or grey ramp.
        const unsigned tableBits = std::min<unsigned>(bits, 8);
        const std::uint32_t n = 1u << tableBits;
        if (photometric == PHOTOMETRIC_PALETTE) {
            std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
            if (bits > 24) {
                SetLastError("Too big palette to handle");
                break;
            }
            const std::uint32_t entries = bits > 8 ? (1u << bits) : n;
            if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) {
                SetLastError("Unable to allocate TIFF palette");
                break;
            }
            bool scale = bits > 8;
            for (std::uint32_t i = 0; i < n && !scale; ++i) scale = r[i] > 255 || g[i] > 255 || b[i] > 255;
            std::vector<RGBQUAD> table;
            table.resize(entries);
            for (std::uint32_t i = 0; i < entries; ++i) {
                if (scale)
                    table[i] = RGBQUAD{BYTE(b[i] * 255u / 65535u), BYTE(g[i] * 255u / 65535u), BYTE(r[i] * 255u / 65535u), 0};
                else
                    table[i] = RGBQUAD{BYTE(b[i]), BYTE(g[i]), BYTE(r[i]), 0};
            }
            if (bits > 8) bigPalette.swap(table);
            else SetPalette(table.data(), n);
        } else if (bits == 1 && photometric <= 1) {
            const RGBQUAD black{0, 0, 0, 0}, white{255, 255, 255, 0};
            const RGBQUAD pal[2] = {photometric == 1 ? black : white, photometric == 1 ? white : black};
            SetPalette(pal, 2);
        } else if (photometric <= 1 && HasPalette()) {
            const std::uint32_t step = 255 / (n - 1);
            std::vector<RGBQUAD> table(n);
            for (std::uint32_t i = 0; i < n; ++i) {
                const BYTE v = photometric == 1 ? BYTE(i * step) : BYTE(255 - i * step);
                table[i] = RGBQUAD{v, v, v, 0};
            }
            SetPalette(table.data(), n);
        }

        if (!DecodeStrips(tif, rowsPerStrip, tiled, tileWidth, tileLength, samples, bits, photometric,
                          bigPalette.empty() ? nullptr : bigPalette.data(),
                          static_cast<std::uint32_t>(bigPalette.size())))
            break;
        // Pages read strip by strip are turned by their orientation tag here.
        if (orientation >= 2 && orientation <= 8 && !RotateByOrientation(orientation)) {
            SetLastError("CRasterTIF can't allocate memory");
            break;
        }
        ok = true;
    } while (false);
    TIFFClose(tif);
    return ok;
}

bool CRasterTIF::DecodeStrips(TIFF* tif, std::uint32_t rowsPerStrip, bool tiled, std::uint32_t tileWidth,
                              std::uint32_t tileLength, std::uint16_t samples, std::uint16_t bits,
                              std::uint16_t photometric, const RGBQUAD* bigPalette, std::uint32_t bigPaletteSize) {
    const std::uint32_t width = GetWidth(), height = GetHeight();
    if (tiled) {
        if (tileWidth == 0 || tileLength == 0) {
            SetLastError("Corrupted tiled TIFF file!");
            return false;
        }
        rowsPerStrip = tileLength;
    }
    if (rowsPerStrip == 0) rowsPerStrip = 1;
    // One file row, and the rows of one strip (or one row of tiles).
    const std::uint32_t rowPixels = tiled ? ((width + tileWidth - 1) / tileWidth) * tileWidth : width;
    const auto rowBits = checked::Mul3(samples, bits, rowPixels);
    if (!rowBits) {
        SetLastError("CRasterTIF can't allocate memory");
        return false;
    }
    const std::size_t fileRow = (*rowBits + 7) / 8;
    const std::size_t imageRow = (static_cast<std::size_t>(samples) * bits * width + 7) / 8;
    const auto stripBytes = checked::Mul(fileRow, rowsPerStrip);
    const std::size_t tileBytes = tiled ? static_cast<std::size_t>(std::max<tmsize_t>(TIFFTileSize(tif), 0)) : 0;
    if (!stripBytes || *stripBytes > static_cast<std::size_t>(kMaxSingleAlloc) ||
        tileBytes > static_cast<std::size_t>(kMaxSingleAlloc)) {
        SetLastError("CRasterTIF can't allocate memory");
        return false;
    }
    // libtiff's own strip size may round differently: take the larger.
    const std::size_t libStrip = tiled ? 0 : static_cast<std::size_t>(std::max<tmsize_t>(TIFFStripSize(tif), 0));
    std::vector<std::uint8_t> strip, tile;
    try {
        strip.resize(std::max(*stripBytes, libStrip));
        tile.resize(tileBytes);
    } catch (...) {
        SetLastError("CRasterTIF can't allocate memory");
        return false;
    }

    // 16-bit single samples of striped files follow the page's range.
    const bool reduce16 = !tiled && samples == 1 && bits == 16 && photometric != PHOTOMETRIC_PALETTE;
    std::vector<std::uint8_t> rowShift;
    if (reduce16) rowShift.resize(height);
    bool lab = false;
    if (samples >= 3) {
        // A photometric that is not RGB with three samples: L*a*b*.
        const bool alpha = samples == 4;
        if (!Create(width, height, 24, RASTER_FORMAT_TIF)) {
            SetLastError("CRasterTIF can't create image");
            return false;
        }
        if (alpha && !CreateAlphaPlane()) {
            SetLastError("CRasterTIF can't allocate memory");
            return false;
        }
        lab = true;
    }

    for (std::uint32_t top = 0, stripIndex = 0; top < height; top += rowsPerStrip, ++stripIndex) {
        const std::uint32_t rows = std::min(rowsPerStrip, height - top);
        if (tiled) {
            for (std::uint32_t tx = 0; tx < width; tx += tileWidth) {
                if (TIFFReadTile(tif, tile.data(), tx, top, 0, 0) < 0) {
                    SetLastError("Corrupted tiled TIFF file!");
                    return false;
                }
                // Copy the tile's rows into the strip, clipped to the strip.
                const std::size_t tileRow = (static_cast<std::size_t>(samples) * bits * tileWidth + 7) / 8;
                const std::size_t at = (static_cast<std::size_t>(samples) * bits * tx) / 8;
                for (std::uint32_t r = 0; r < rows && (r + 1) * tileRow <= tile.size(); ++r)
                    std::memcpy(&strip[r * fileRow + at], &tile[r * tileRow], std::min(tileRow, fileRow - at));
            }
        } else {
            const tmsize_t got = TIFFReadEncodedStrip(tif, stripIndex, strip.data(), static_cast<tmsize_t>(strip.size()));
            if (got < 0 || static_cast<std::size_t>(got) < fileRow * rows) {
                // An unreadable or short strip is a failed page, never a
                // half-filled one.
                SetLastError("Corrupted TIFF file!");
                return false;
            }
        }
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t y = top + r;
            const std::uint8_t* src = &strip[r * fileRow];
            BYTE* dst = GetBits(height - 1 - y);
            BYTE* alpha = m_alpha ? m_alpha + static_cast<std::size_t>(height - 1 - y) * width : nullptr;
            if (lab) {
                for (std::uint32_t x = 0; x < width; ++x) {
                    // The top 8 bits of each sample, whatever the sample size.
                    const std::size_t first = static_cast<std::size_t>(x) * samples;
                    const double L = Top8(src, first, bits) / 2.55;
                    const double a = static_cast<std::int8_t>(Top8(src, first + 1, bits));
                    const double b = static_cast<std::int8_t>(Top8(src, first + 2, bits));
                    const double fy = (L + 16) / 116;
                    const double Y = fy * fy * fy;
                    const double fx = fy + 0.002 * a, fz = fy - 0.005 * b;
                    const double X = 0.95047 * fx * fx * fx;
                    const double Z = 1.0883 * fz * fz * fz;
                    double rgb[3] = {3.240479 * X - 1.53715 * Y - 0.498535 * Z,
                                     -0.969256 * X + 1.875992 * Y + 0.041556 * Z,
                                     0.055648 * X - 0.204043 * Y + 1.057311 * Z};
                    for (double& c : rgb) c = c > 0.00304 ? 1.055 * std::pow(c, 0.41667) - 0.055 : 12.92 * c;
                    dst[3 * x] = Clamp255(rgb[2] * 255);
                    dst[3 * x + 1] = Clamp255(rgb[1] * 255);
                    dst[3 * x + 2] = Clamp255(rgb[0] * 255);
                    if (alpha) alpha[x] = Top8(src, first + 3, bits);
                }
            } else if (samples == 2) {
                for (std::uint32_t x = 0; x < width; ++x) {
                    dst[x] = Top8(src, 2 * static_cast<std::size_t>(x), bits);
                    if (alpha) alpha[x] = Top8(src, 2 * static_cast<std::size_t>(x) + 1, bits);
                }
            } else if (bigPalette) {
                for (std::uint32_t x = 0; x < width; ++x) {
                    const std::uint32_t i = Sample(src, x, bits);
                    const RGBQUAD c = i < bigPaletteSize ? bigPalette[i] : RGBQUAD{};
                    dst[3 * x] = c.rgbBlue;
                    dst[3 * x + 1] = c.rgbGreen;
                    dst[3 * x + 2] = c.rgbRed;
                }
            } else if (reduce16) {
                BYTE highest = 0;
                for (std::uint32_t x = 0; x < width; ++x)
                    highest = std::max<BYTE>(highest, static_cast<BYTE>(Sample(src, x, 16) >> 8));
                const int lead = highest ? __builtin_clz(highest) - 24 : 8;
                rowShift[y] = static_cast<std::uint8_t>(lead);
                for (std::uint32_t x = 0; x < width; ++x) dst[x] = static_cast<BYTE>(Sample(src, x, 16) >> (8 - lead));
            } else if (bits == GetBitsPerPixel()) {
                std::memcpy(dst, src, std::min<std::size_t>(imageRow, GetRowBytes()));
            } else {
                // One byte per sample: the value for small depths, the top
                // 8 bits for larger ones.
                for (std::uint32_t x = 0; x < width; ++x) dst[x] = Top8(src, x, bits);
            }
        }
    }
    if (reduce16 && height > 0) {
        const std::uint8_t least = *std::min_element(rowShift.begin(), rowShift.end());
        for (std::uint32_t y = 0; y < height; ++y) {
            const int extra = rowShift[y] - least;
            if (extra <= 0) continue;
            BYTE* dst = GetBits(height - 1 - y);
            for (std::uint32_t x = 0; x < width; ++x) dst[x] = static_cast<BYTE>(dst[x] >> extra);
        }
    }
    return true;
}

bool CRasterTIF::Encode(CByteStream* stream, bool append) {
    if (CheckEncodable(stream)) return false;
    auto fail = [this](const char* text) {
        SetLastError(text);
        CloseHandle();
        return false;
    };
    if (!m_handle) {
        // A new file starts empty; an existing one gets pages appended.
        std::memset(&m_messages, 0, sizeof m_messages);
        m_handle = TiffClientOpen(stream, stream->Size() > 0 ? "a" : "w", &m_messages);
        if (!m_handle) return fail("initialization fail");
    }
    if (append || m_pagesWritten > 0) m_multiPage = true;
    ++m_pagesWritten;
    if (!WritePage(m_handle, m_multiPage, m_pagesWritten, m_pagesWritten)) return fail("Error saving TIFF file");
    if (append) {
        if (!TIFFWriteDirectory(m_handle)) return fail("Error saving TIFF directory");
        return true;
    }
    // A write the library only completes on flush must not pass as success.
    if (!TIFFFlush(m_handle)) return fail("Error saving TIFF file");
    CloseHandle();
    return true;
}

bool CRasterTIF::WritePage(TIFF* tif, bool multiPage, std::int32_t page, std::int32_t pageCount) {
    if (!tif || !m_dib) return false;
    const int bpp = GetBitsPerPixel();
    const std::uint32_t width = GetWidth(), height = GetHeight();
    int samples = 1;
    int pixelBits = bpp;
    if (bpp == 24 || bpp == 32) samples = 3;
    if (bpp == 24 && m_alpha) {
        samples = 4;
        pixelBits = 32;
    }
    const int bitsPerSample = pixelBits / samples;
    if (bpp == 8 && m_alpha) samples = 2;

    // 1-bit pages are written white-is-zero: a palette that is black first
    // is inverted in the rows written (the image itself is left alone).
    bool invert = false;
    int photometric;
    if (bpp == 1) {
        photometric = PHOTOMETRIC_MINISWHITE;
        const RGBQUAD p0 = GetPaletteEntry(0), p1 = GetPaletteEntry(1);
        const int l0 = (306 * p0.rgbRed + 601 * p0.rgbGreen + 117 * p0.rgbBlue) >> 10;
        const int l1 = (306 * p1.rgbRed + 601 * p1.rgbGreen + 117 * p1.rgbBlue) >> 10;
        invert = l0 < l1;
    } else if (bpp == 4 || bpp == 8) {
        photometric = HasGreyRamp() ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;
    } else {
        photometric = PHOTOMETRIC_RGB;
    }

    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(GetDpiX()));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(GetDpiY()));
    if (multiPage) {
        char name[32];
        std::snprintf(name, sizeof name, "Page %d", page);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(page), static_cast<std::uint16_t>(pageCount));
        TIFFSetField(tif, TIFFTAG_PAGENAME, name);
    } else {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    }
    std::vector<std::uint16_t> map;
    if (photometric == PHOTOMETRIC_PALETTE) {
        map.assign(3 * 256, 0);
        for (DWORD i = 0; i < GetColourCount() && i < 256; ++i) {
            const RGBQUAD c = GetPaletteEntry(static_cast<BYTE>(i));
            map[i] = static_cast<std::uint16_t>(c.rgbRed * 257);
            map[256 + i] = static_cast<std::uint16_t>(c.rgbGreen * 257);
            map[512 + i] = static_cast<std::uint16_t>(c.rgbBlue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, &map[0], &map[256], &map[512]);
    }
    std::uint32_t compression = GetFormatOption(RASTER_FORMAT_TIF);
    if (compression == 0) {
        if (bpp == 1) compression = COMPRESSION_CCITTFAX4;
        else if (bpp == 4 || bpp == 8) compression = COMPRESSION_LZW;
        else if (bpp == 24 || bpp == 32) compression = COMPRESSION_JPEG;
        else compression = COMPRESSION_NONE;
    }
    if (!TIFFSetField(tif, TIFFTAG_COMPRESSION, compression)) return false;
    std::uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, 0);
    if (compression == COMPRESSION_LZW && bpp >= 8) TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, static_cast<int>(GetQuality()));
        rowsPerStrip = (rowsPerStrip + 7) / 8 * 8;
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);

    const std::size_t rowBytes = (static_cast<std::size_t>(samples) * bitsPerSample * width + 7) / 8;
    std::vector<std::uint8_t> row(std::max<std::size_t>(rowBytes, GetRowBytes()));
    for (std::uint32_t y = 0; y < height; ++y) {
        const BYTE* src = GetBits(height - 1 - y);
        const BYTE* a = m_alpha ? m_alpha + static_cast<std::size_t>(height - 1 - y) * width : nullptr;
        if (bpp == 24) {
            for (std::uint32_t x = 0; x < width; ++x) {
                std::uint8_t* d = &row[static_cast<std::size_t>(x) * samples];
                d[0] = src[3 * x + 2];
                d[1] = src[3 * x + 1];
                d[2] = src[3 * x];
                if (samples == 4) d[3] = a[x];
            }
        } else if (samples == 2) {
            for (std::uint32_t x = 0; x < width; ++x) {
                row[2 * x] = src[x];
                row[2 * x + 1] = a[x];
            }
        } else {
            std::memcpy(row.data(), src, rowBytes);
            if (invert)
                for (std::size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<std::uint8_t>(~row[i]);
        }
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return false;
    }
    return true;
}
