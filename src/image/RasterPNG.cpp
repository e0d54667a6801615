#include "image/RasterPNG.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image/ByteStream.h"

// libpng reaches the codec's failure exit through longjmp. RunDecode and
// RunEncode, which hold the setjmp frames, keep all their state in a plain
// struct owned by the caller and create no C++ object with a destructor.

namespace {

struct IoTarget {
    CByteStream* stream;
    char* errorText;  // the image's last-error field, or null
};

// Text, profiles, suggested palettes, Exif and calibration: five bytes
// each, the name and a terminating zero.
constexpr png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL";
constexpr int kSkippedChunkCount = 8;

void ReadData(png_structp png, png_bytep data, png_size_t length) {
    IoTarget* io = static_cast<IoTarget*>(png_get_io_ptr(png));
    if (io->stream->Read(data, 1, length) != length) png_error(png, "Read Error");
}

void WriteData(png_structp png, png_bytep data, png_size_t length) {
    IoTarget* io = static_cast<IoTarget*>(png_get_io_ptr(png));
    if (io->stream->Write(data, 1, length) != length) png_error(png, "Write Error");
}

void FlushData(png_structp png) {
    IoTarget* io = static_cast<IoTarget*>(png_get_io_ptr(png));
    if (!io->stream->Flush()) png_error(png, "Flush Error");
}

void ErrorFn(png_structp png, png_const_charp message) {
    char* target = static_cast<char*>(png_get_error_ptr(png));
    if (target && message && *message) {
        std::strncpy(target, message, 255);
        target[255] = 0;
    }
    png_longjmp(png, 1);
}

void WarningFn(png_structp, png_const_charp) {}

std::int32_t ClampDpi(double v) {
    if (!(v > 0)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}

}  // namespace

struct CRasterPNG::DecodeState {
    png_structp png;
    png_infop info;
    IoTarget io;
    png_bytep row;
};

struct CRasterPNG::EncodeState {
    png_structp png;
    png_infop info;
    IoTarget io;
    png_bytep row;
    RGBQUAD* paletteCopy;
    png_color* plte;
    int exchangedIndex;  // palette index moved to 0 for the write, or -1
};

bool CRasterPNG::Decode(CByteStream* stream) {
    if (!stream) return false;
    DecodeState* st = static_cast<DecodeState*>(std::calloc(1, sizeof(DecodeState)));
    if (!st) return false;
    st->io.stream = stream;
    st->io.errorText = m_info.lastError;
    const bool ok = RunDecode(st);
    if (st->png) png_destroy_read_struct(&st->png, st->info ? &st->info : nullptr, nullptr);
    std::free(st->row);
    std::free(st);
    return ok;
}

bool CRasterPNG::RunDecode(DecodeState* st) {
    st->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, st->io.errorText, ErrorFn, WarningFn);
    if (!st->png) {
        SetLastError("Failed to create PNG structure");
        return false;
    }
    st->info = png_create_info_struct(st->png);
    if (!st->info) {
        SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    if (setjmp(png_jmpbuf(st->png))) return false;  // the error function left the text
    png_structp png = st->png;
    png_infop info = st->info;
    png_set_read_fn(png, &st->io, ReadData);
    png_set_user_limits(png, 65535, 65535);
    // Side chunks of any length that nothing here reads are skipped unread:
    // libpng would allocate the whole length a damaged header claims.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
    png_read_info(png, info);

    png_uint_32 width, height;
    int bitDepth, colourType, interlace;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    int channels;
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY: case PNG_COLOR_TYPE_PALETTE: channels = 1; break;
        case PNG_COLOR_TYPE_RGB: channels = 3; break;
        case PNG_COLOR_TYPE_GRAY_ALPHA: channels = 2; break;
        case PNG_COLOR_TYPE_RGB_ALPHA: channels = 4; break;
        default:
            SetLastError("unknown PNG color type");
            return false;
    }
    const int pixelDepth = bitDepth * channels;
    DWORD depth;
    if (channels >= 3) depth = 24;
    else if (channels == 2 || pixelDepth > 8) depth = 8;
    else depth = static_cast<DWORD>(pixelDepth);  // 1, 2 (made 4), 4 or 8
    if (!Create(width, height, depth, RASTER_FORMAT_PNG)) return false;

    png_uint_32 resX, resY;
    int unit;
    if (png_get_pHYs(png, info, &resX, &resY, &unit)) {
        if (unit == PNG_RESOLUTION_METER) {
            SetDpiX(ClampDpi(std::floor(resX * 254.0 / 10000.0 + 0.5)));
            SetDpiY(ClampDpi(std::floor(resY * 254.0 / 10000.0 + 0.5)));
        } else {
            SetDpiX(ClampDpi(resX));
            SetDpiY(ClampDpi(resY));
        }
    }

    png_colorp plte;
    int numPalette = 0;
    if (HasPalette()) {
        if (png_get_PLTE(png, info, &plte, &numPalette)) {
            const int n = std::min<int>(numPalette, static_cast<int>(GetColourCount()));
            for (int i = 0; i < n; ++i) GetPalette()[i] = RGBQUAD{plte[i].blue, plte[i].green, plte[i].red, 0};
            SetImportantCount(static_cast<DWORD>(numPalette));
        } else if (bitDepth == 2 && colourType == PNG_COLOR_TYPE_GRAY) {
            for (BYTE i = 0; i < 4; ++i) {
                const BYTE v = static_cast<BYTE>(i * 85);
                GetPalette()[i] = RGBQUAD{v, v, v, 0};
            }
        } else {
            MakeGreyRamp();
        }
    }

    png_bytep transAlpha = nullptr;
    int numTrans = 0;
    png_color_16p transColour = nullptr;
    if (png_get_tRNS(png, info, &transAlpha, &numTrans, &transColour)) {
        const int shift = bitDepth == 16 ? 8 : 0;
        if (numTrans == 1) {
            if (colourType == PNG_COLOR_TYPE_PALETTE) m_info.transparentIndex = transColour ? transColour->index : 0;
            else if (transColour) m_info.transparentIndex = transColour->gray >> shift;
        }
        if (numTrans > 1 && HasPalette() && transAlpha) {
            RGBQUAD* pal = GetPalette();
            for (DWORD i = 0; i < GetColourCount(); ++i)
                pal[i].rgbReserved = i < static_cast<DWORD>(numTrans) ? transAlpha[i] : 255;
            m_info.alphaPalette = 1;
        }
        if (colourType == PNG_COLOR_TYPE_RGB && transColour) {
            m_info.transparentColour = RGBQUAD{static_cast<BYTE>(transColour->blue >> shift),
                                               static_cast<BYTE>(transColour->green >> shift),
                                               static_cast<BYTE>(transColour->red >> shift), 0};
            m_info.transparentIndex = 0;
        }
    }

    const bool alpha = channels == 2 || channels == 4;
    if (alpha && !CreateAlphaPlane()) {
        SetLastError("CRaster::Create can't allocate memory");
        return false;
    }
    if (channels >= 3) png_set_bgr(png);
    if (bitDepth == 16) png_set_strip_16(png);
    const int passes = png_set_interlace_handling(png);
    m_info.codecOptions[GetOptionSlot(RASTER_FORMAT_PNG)] =
        (GetFormatOption(RASTER_FORMAT_PNG) & ~PNG_OPTION_INTERLACED) | (passes > 1 ? PNG_OPTION_INTERLACED : 0);
    png_read_update_info(png, info);

    const std::size_t rowBytes = png_get_rowbytes(png, info);
    st->row = static_cast<png_bytep>(std::malloc(std::max<std::size_t>(rowBytes, GetRowBytes())));
    if (!st->row) {
        SetLastError("CRaster::Create can't allocate memory");
        return false;
    }
    const int outChannels = png_get_channels(png, info);
    for (int pass = 0; pass < passes; ++pass) {
        for (DWORD y = 0; y < height; ++y) {
            BYTE* dib = GetBits(height - 1 - y);
            BYTE* a = alpha ? m_alpha + static_cast<std::size_t>(height - 1 - y) * width : nullptr;
            if (pass > 0) {
                // Give libpng the row as far as it has been read, so it can
                // merge this pass into it.
                if (alpha) {
                    const int colour = outChannels - 1;
                    for (DWORD x = 0; x < width; ++x) {
                        std::memcpy(st->row + x * outChannels, dib + x * colour, static_cast<std::size_t>(colour));
                        st->row[x * outChannels + colour] = a[x];
                    }
                } else {
                    std::memcpy(st->row, dib, std::min<std::size_t>(rowBytes, GetRowBytes()));
                }
            }
            png_read_row(png, st->row, nullptr);
            if (alpha) {
                const int colour = outChannels - 1;
                for (DWORD x = 0; x < width; ++x) {
                    std::memcpy(dib + x * colour, st->row + x * outChannels, static_cast<std::size_t>(colour));
                    a[x] = st->row[x * outChannels + colour];
                }
            } else {
                std::memcpy(dib, st->row, std::min<std::size_t>(rowBytes, GetRowBytes()));
            }
        }
    }
    if (pixelDepth == 2) {
        // Two-bit rows become four-bit nibbles, from the right so the
        // widening can happen in place.
        for (DWORD y = 0; y < height; ++y) {
            BYTE* row = GetBits(y);
            for (DWORD x = width; x-- > 0;) {
                const BYTE v = static_cast<BYTE>((row[x >> 2] >> (6 - 2 * (x & 3))) & 3);
                BYTE& out = row[x >> 1];
                out = (x & 1) ? static_cast<BYTE>((out & 0xF0) | v) : static_cast<BYTE>((out & 0x0F) | (v << 4));
            }
        }
    }
    png_read_end(png, nullptr);
    return true;
}

bool CRasterPNG::Encode(CByteStream* stream) {
    if (CheckEncodable(stream)) return false;
    EncodeState* st = static_cast<EncodeState*>(std::calloc(1, sizeof(EncodeState)));
    if (!st) return false;
    st->io.stream = stream;
    st->exchangedIndex = -1;
    const bool ok = RunEncode(st);
    if (st->exchangedIndex >= 0) ExchangeIndices(static_cast<BYTE>(st->exchangedIndex), 0);
    if (st->png) png_destroy_write_struct(&st->png, st->info ? &st->info : nullptr);
    std::free(st->row);
    std::free(st->paletteCopy);
    std::free(st->plte);
    std::free(st);
    return ok;
}

bool CRasterPNG::RunEncode(EncodeState* st) {
    st->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorFn, WarningFn);
    if (!st->png) {
        SetLastError("Failed to create PNG structure");
        return false;
    }
    st->info = png_create_info_struct(st->png);
    if (!st->info) {
        SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    if (setjmp(png_jmpbuf(st->png))) {
        SetLastError("Error saving PNG file");
        return false;
    }
    png_structp png = st->png;
    png_infop info = st->info;
    png_set_write_fn(png, &st->io, WriteData, FlushData);

    const DWORD width = GetWidth(), height = GetHeight();
    const DWORD options = GetFormatOption(RASTER_FORMAT_PNG);
    int pixelDepth = GetBitsPerPixel();
    int channels = pixelDepth < 9 ? 1 : 3;
    int bitDepth = pixelDepth / channels;
    const int interlace = (options & PNG_OPTION_INTERLACED) ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;
    switch (options & PNG_OPTION_LEVEL_MASK) {
        case 2: png_set_compression_level(png, 0); break;
        case 4: png_set_compression_level(png, 1); break;
        case 6: png_set_compression_level(png, 9); break;
        default: break;
    }
    const bool grey = HasPalette() && HasGreyRamp();
    int colourType = HasPalette() ? (grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE) : PNG_COLOR_TYPE_RGB;
    // A colour palette with an alpha plane has no PNG colour type of its
    // own: it is written as RGBA.
    const bool expandPalette = m_alpha && colourType == PNG_COLOR_TYPE_PALETTE;
    if (expandPalette) colourType = PNG_COLOR_TYPE_RGB;
    if (m_alpha) {
        colourType |= PNG_COLOR_MASK_ALPHA;
        channels = (colourType == PNG_COLOR_TYPE_RGB_ALPHA) ? 4 : 2;
        bitDepth = 8;
        pixelDepth = 8 * channels;
    }

    png_color_16 background{};
    background.index = 0;
    background.red = background.green = background.blue = 255;
    background.gray = 0;
    if (m_info.transparentIndex >= 0) {
        const RGBQUAD t = GetTransparentColour();
        background.red = t.rgbRed;
        background.green = t.rgbGreen;
        background.blue = t.rgbBlue;
    }
    png_set_bKGD(png, info, &background);
    png_set_pHYs(png, info, static_cast<png_uint_32>(std::max<LONG>(m_head.biXPelsPerMeter, 0)),
                 static_cast<png_uint_32>(std::max<LONG>(m_head.biYPelsPerMeter, 0)), PNG_RESOLUTION_METER);
    png_set_IHDR(png, info, width, height, bitDepth, colourType, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);

    if (m_info.transparentIndex >= 0 && !m_alpha) {
        png_color_16 trans{};
        const RGBQUAD t = GetTransparentColour();
        trans.red = t.rgbRed;
        trans.green = t.rgbGreen;
        trans.blue = t.rgbBlue;
        trans.index = static_cast<png_byte>(m_info.transparentIndex);
        trans.gray = static_cast<png_uint_16>(m_info.transparentIndex & ((1 << bitDepth) - 1));
        if (colourType == PNG_COLOR_TYPE_PALETTE) {
            // The transparent entry goes to index 0 for the write.
            if (m_info.transparentIndex != 0 && static_cast<DWORD>(m_info.transparentIndex) < GetColourCount()) {
                st->exchangedIndex = m_info.transparentIndex;
                ExchangeIndices(static_cast<BYTE>(m_info.transparentIndex), 0);
            }
            static png_byte zero = 0;
            png_set_tRNS(png, info, &zero, 1, nullptr);
        } else {
            png_set_tRNS(png, info, nullptr, 1, &trans);
        }
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        DWORD n = m_head.biClrImportant ? m_head.biClrImportant : GetColourCount();
        n = std::min<DWORD>(n, GetColourCount());
        st->plte = static_cast<png_color*>(std::malloc(sizeof(png_color) * n));
        if (!st->plte) png_error(png, "out of memory");
        const RGBQUAD* pal = GetPalette();
        png_byte alphas[256];
        for (DWORD i = 0; i < n; ++i) {
            st->plte[i] = png_color{pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue};
            alphas[i] = pal[i].rgbReserved;
        }
        png_set_PLTE(png, info, st->plte, static_cast<int>(n));
        if (m_info.alphaPalette) png_set_tRNS(png, info, alphas, static_cast<int>(n), nullptr);
    }

    png_write_info(png, info);
    if (!m_alpha && colourType == PNG_COLOR_TYPE_RGB) png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    const std::size_t bufferBytes =
        std::max<std::size_t>(static_cast<std::size_t>(bitDepth) / 8 * channels * width, GetRowBytes());
    st->row = static_cast<png_bytep>(std::malloc(bufferBytes));
    if (!st->row) png_error(png, "out of memory");
    const bool clearTransparent = m_alpha && GetBitsPerPixel() == 24 && m_info.transparentIndex >= 0;
    const RGBQUAD tc = GetTransparentColour();
    for (int pass = 0; pass < passes; ++pass) {
        for (DWORD y = 0; y < height; ++y) {
            const DWORD r = height - 1 - y;
            if (m_alpha) {
                const BYTE* a = m_alpha + static_cast<std::size_t>(r) * width;
                png_bytep out = st->row;
                for (DWORD x = 0; x < width; ++x) {
                    const RGBQUAD c = GetColourFast(x, r);
                    BYTE alpha = a[x];
                    if (clearTransparent && c.rgbBlue == tc.rgbBlue && c.rgbGreen == tc.rgbGreen && c.rgbRed == tc.rgbRed)
                        alpha = 0;
                    if (channels == 2) {
                        *out++ = c.rgbBlue;
                    } else {
                        *out++ = c.rgbRed;
                        *out++ = c.rgbGreen;
                        *out++ = c.rgbBlue;
                    }
                    *out++ = alpha;
                }
                png_write_row(png, st->row);
            } else {
                std::memcpy(st->row, GetBits(r), GetRowBytes());
                png_write_row(png, st->row);
            }
        }
    }
    png_write_end(png, info);
    return true;
}
