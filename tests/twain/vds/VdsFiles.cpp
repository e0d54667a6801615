#include "VdsFiles.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <tiffio.h>

#include "twain/Twain.h"

namespace vds {

namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

}  // namespace

bool WriteTiff(const std::string& path, const Raster& page, int twainCompression, int quality, bool append,
               std::string& error) {
    int compression = COMPRESSION_NONE;
    switch (twainCompression) {
    case TWCP_NONE: compression = COMPRESSION_NONE; break;
    case TWCP_PACKBITS: compression = COMPRESSION_PACKBITS; break;
    case TWCP_LZW: compression = COMPRESSION_LZW; break;
    case TWCP_ZIP: compression = COMPRESSION_ADOBE_DEFLATE; break;
    case TWCP_JPEG:
        if (page.bitsPerPixel == 1) {
            error = "JPEG compression needs grey or colour pages";
            return false;
        }
        compression = COMPRESSION_JPEG;
        break;
    case TWCP_GROUP4:
        if (page.bitsPerPixel != 1) {
            error = "Group 4 compression needs black and white pages";
            return false;
        }
        compression = COMPRESSION_CCITTFAX4;
        break;
    default: error = "unsupported compression"; return false;
    }
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(path.c_str(), append ? "a" : "w");
    if (!tiff) {
        error = "cannot open " + path;
        return false;
    }
    const int samples = page.bitsPerPixel == 24 ? 3 : 1;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(page.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(page.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(page.bitsPerPixel == 1 ? 1 : 8));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(samples));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_JPEG) TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, quality);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(page.height));
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(page.dpiX));
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(page.dpiY));
    bool ok = true;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(page.rowBytes));
    for (int y = 0; y < page.height && ok; ++y) {
        std::copy_n(page.pixels.begin() + static_cast<std::ptrdiff_t>(y) * page.rowBytes, page.rowBytes,
                    row.begin());
        ok = TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) >= 0;
    }
    ok = ok && TIFFWriteDirectory(tiff) != 0;
    TIFFClose(tiff);
    if (!ok) error = "cannot write " + path;
    return ok;
}

bool WriteJpeg(const std::string& path, const Raster& page, int quality, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    jpeg_compress_struct info{};
    JpegError jerr{};
    info.err = jpeg_std_error(&jerr.manager);
    jerr.manager.error_exit = OnJpegError;
    // Black and white pages are written as grey.
    std::vector<std::uint8_t> row(static_cast<std::size_t>(page.width) * (page.bitsPerPixel == 24 ? 3 : 1));
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&info);
        std::fclose(file);
        error = jerr.message;
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(page.width);
    info.image_height = static_cast<JDIMENSION>(page.height);
    info.input_components = page.bitsPerPixel == 24 ? 3 : 1;
    info.in_color_space = page.bitsPerPixel == 24 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.density_unit = 1;
    info.X_density = static_cast<UINT16>(page.dpiX);
    info.Y_density = static_cast<UINT16>(page.dpiY);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const std::uint8_t* src = page.pixels.data() + static_cast<std::size_t>(info.next_scanline) * page.rowBytes;
        if (page.bitsPerPixel == 1) {
            for (int x = 0; x < page.width; ++x) row[x] = (src[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
        } else {
            std::copy_n(src, row.size(), row.begin());
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const bool ok = std::fclose(file) == 0;
    if (!ok) error.assign("cannot close ").append(path);  // no string moved in a function with setjmp
    return ok;
}

bool WriteBmp(const std::string& path, const std::vector<std::uint8_t>& dib, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    // The file header: "BM", size, reserved, offset of the bits.
    std::uint32_t clrUsed = 0;
    std::copy_n(dib.begin() + 32, 4, reinterpret_cast<std::uint8_t*>(&clrUsed));
    const std::uint32_t size = static_cast<std::uint32_t>(14 + dib.size());
    const std::uint32_t offset = 14 + 40 + clrUsed * 4;
    const std::uint8_t header[14] = {'B', 'M',
                                     static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                     static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24),
                                     0, 0, 0, 0,
                                     static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8),
                                     static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 24)};
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    ok = ok && std::fwrite(dib.data(), 1, dib.size(), file) == dib.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) error = "cannot write " + path;
    return ok;
}

}  // namespace vds
