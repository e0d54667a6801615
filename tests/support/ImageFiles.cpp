#include "support/ImageFiles.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace testimg {

Picture Pattern(int width, int height, int channels, unsigned seed) {
    Picture p(width, height, channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                unsigned v = (x * 37u + y * 101u + c * 59u + seed * 13u) ^ ((x * y + seed) * 7u);
                p.at(x, y, c) = static_cast<std::uint8_t>(v * 2654435761u >> 24);
            }
    return p;
}

// ---- TIFF ----

namespace {
void QuietTiff(const char*, const char*, va_list) {}
struct TiffSilence {
    TIFFErrorHandler e = TIFFSetErrorHandler(QuietTiff);
    TIFFErrorHandler w = TIFFSetWarningHandler(QuietTiff);
    ~TiffSilence() {
        TIFFSetErrorHandler(e);
        TIFFSetWarningHandler(w);
    }
};
}  // namespace

bool TruncateFile(const std::string& path, double share) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || share < 0 || share > 1) return false;
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(static_cast<double>(size) * share), ec);
    return !ec;
}

bool WriteTiff(const std::string& path, const std::vector<TiffPage>& pages) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    bool ok = true;
    for (std::size_t i = 0; i < pages.size() && ok; ++i) {
        const TiffPage& page = pages[i];
        const Picture& pic = page.picture;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, pic.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, pic.height);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, pic.channels);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
        if (page.compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGQUALITY, page.jpegQuality);
        if (pic.channels == 4) {
            uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        if (page.dpi > 0) {
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, page.dpi);
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, page.dpi);
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
        }
        std::vector<uint16_t> r, g, b;
        if (page.photometric == PHOTOMETRIC_PALETTE) {
            const std::size_t n = std::size_t(1) << page.bitsPerSample;
            r.assign(n, 0);
            g.assign(n, 0);
            b.assign(n, 0);
            for (std::size_t k = 0; k < n && k < page.palette.size(); ++k) {
                r[k] = page.palette[k].r * 257;
                g[k] = page.palette[k].g * 257;
                b[k] = page.palette[k].b * 257;
            }
            TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
        }
        const int rowsPerStrip = page.compression == COMPRESSION_JPEG ? 16 : 8;
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        if (pages.size() > 1) {
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(i), static_cast<uint16_t>(pages.size()));
        }
        const std::size_t rowBytes = page.bitsPerSample == 1   ? (pic.width + 7) / 8
                                     : page.bitsPerSample == 4 ? (pic.width + 1) / 2
                                                               : std::size_t(pic.width) * pic.channels;
        std::vector<uint8_t> row(rowBytes);
        for (int y = 0; y < pic.height && ok; ++y) {
            if (page.bitsPerSample == 1) {
                std::fill(row.begin(), row.end(), 0);
                for (int x = 0; x < pic.width; ++x)
                    if (pic.at(x, y)) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            } else if (page.bitsPerSample == 4) {
                std::fill(row.begin(), row.end(), 0);
                for (int x = 0; x < pic.width; ++x)
                    row[x >> 1] |= static_cast<uint8_t>((pic.at(x, y) & 15) << ((x & 1) ? 0 : 4));
            } else {
                std::memcpy(row.data(), &pic.pixels[std::size_t(y) * rowBytes], rowBytes);
            }
            ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
        }
        if (ok) ok = TIFFWriteDirectory(tif) != 0;
    }
    TIFFClose(tif);
    return ok;
}

namespace {
bool LuminanceTableOf(const uint8_t* tables, uint32_t size, std::array<std::uint16_t, 64>& out);
}

std::vector<TiffPageInfo> ReadTiff(const std::string& path) {
    TiffSilence silence;
    std::vector<TiffPageInfo> pages;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return pages;
    do {
        TiffPageInfo info;
        uint32_t w = 0, h = 0;
        uint16_t bps = 1, spp = 1, photo = 0, comp = 1, unit = 2;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photo);
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &comp);
        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &info.xResolution);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &info.yResolution);
        uint32_t subfile = 0;
        if (TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &subfile)) info.subfileType = static_cast<int>(subfile);
        uint16_t pn = 0, pt = 0;
        if (TIFFGetField(tif, TIFFTAG_PAGENUMBER, &pn, &pt)) {
            info.hasPageNumber = true;
            info.pageNumber = pn;
            info.pageTotal = pt;
        }
        char* name = nullptr;
        if (TIFFGetField(tif, TIFFTAG_PAGENAME, &name) && name) info.pageName = name;
        info.width = static_cast<int>(w);
        info.height = static_cast<int>(h);
        info.bitsPerSample = bps;
        info.samplesPerPixel = spp;
        info.photometric = photo;
        info.compression = comp;
        info.resolutionUnit = unit;
        if (comp == COMPRESSION_JPEG) {
            uint32_t count = 0;
            void* tables = nullptr;
            if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &count, &tables) && tables && count > 0)
                info.hasJpegTable = LuminanceTableOf(static_cast<const uint8_t*>(tables), count,
                                                     info.jpegLuminanceTable);
        }
        if (w > 0 && h > 0 && std::size_t(w) * h < (std::size_t(1) << 28)) {
            std::vector<uint32_t> raster(std::size_t(w) * h);
            if (TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
                info.rgb = Picture(static_cast<int>(w), static_cast<int>(h), 3);
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x) {
                        const uint32_t p = raster[std::size_t(y) * w + x];
                        info.rgb.at(x, y, 0) = static_cast<uint8_t>(TIFFGetR(p));
                        info.rgb.at(x, y, 1) = static_cast<uint8_t>(TIFFGetG(p));
                        info.rgb.at(x, y, 2) = static_cast<uint8_t>(TIFFGetB(p));
                    }
            }
        }
        pages.push_back(std::move(info));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

// ---- PNG ----

bool WritePng(const std::string& path, const Picture& pic, int colorType, int bitDepth,
              const std::vector<Rgb>& palette, int dpi) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, pic.width, pic.height, bitDepth, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> plte;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        for (const Rgb& c : palette) plte.push_back(png_color{c.r, c.g, c.b});
        png_set_PLTE(png, info, plte.data(), static_cast<int>(plte.size()));
    }
    if (dpi > 0) {
        const auto ppm = static_cast<png_uint_32>(dpi * 10000.0 / 254.0 + 0.5);
        png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    const int perByte = 8 / bitDepth;
    std::vector<uint8_t> row;
    for (int y = 0; y < pic.height; ++y) {
        if (bitDepth < 8) {
            row.assign((pic.width + perByte - 1) / perByte, 0);
            for (int x = 0; x < pic.width; ++x) {
                const int shift = 8 - bitDepth * (x % perByte + 1);
                row[x / perByte] |= static_cast<uint8_t>(pic.at(x, y) << shift);
            }
        } else {
            row.assign(pic.pixels.begin() + std::size_t(y) * pic.width * pic.channels,
                       pic.pixels.begin() + std::size_t(y + 1) * pic.width * pic.channels);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

PngInfo ReadPng(const std::string& path) {
    PngInfo out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        out.ok = false;
        return out;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    out.width = static_cast<int>(png_get_image_width(png, info));
    out.height = static_cast<int>(png_get_image_height(png, info));
    out.bitDepth = png_get_bit_depth(png, info);
    out.colorType = png_get_color_type(png, info);
    png_uint_32 px = 0, py = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &px, &py, &unit)) {
        out.hasPhys = true;
        out.physX = px;
        out.physY = py;
        out.physUnit = unit;
    }
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    out.rgb = Picture(out.width, out.height, 3);
    for (int y = 0; y < out.height; ++y) png_read_row(png, &out.rgb.pixels[std::size_t(y) * out.width * 3], nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    out.ok = true;
    return out;
}

// ---- JPEG ----

namespace {
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};
void JpegFail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void JpegQuiet(j_common_ptr, int) {}
}  // namespace

std::vector<std::uint8_t> EncodeJpeg(int width, int height, JpegRows layout, const JpegSettings& settings,
                                     const std::function<const std::uint8_t*(int y)>& row) {
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    switch (layout) {
        case JpegRows::kGrey: cinfo.input_components = 1, cinfo.in_color_space = JCS_GRAYSCALE; break;
        case JpegRows::kRgb: cinfo.input_components = 3, cinfo.in_color_space = JCS_RGB; break;
        case JpegRows::kBgr: cinfo.input_components = 3, cinfo.in_color_space = JCS_EXT_BGR; break;
        case JpegRows::kCmyk: cinfo.input_components = 4, cinfo.in_color_space = JCS_CMYK; break;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, settings.quality, settings.baseline ? TRUE : FALSE);
    if (settings.dpiX > 0 || settings.dpiY > 0) {
        cinfo.density_unit = 1;
        cinfo.X_density = static_cast<UINT16>(settings.dpiX);
        cinfo.Y_density = static_cast<UINT16>(settings.dpiY);
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = const_cast<JSAMPROW>(row(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

bool WriteJpeg(const std::string& path, const Picture& pic, int quality, int dpi) {
    const std::size_t rowBytes = std::size_t(pic.width) * pic.channels;
    const std::vector<std::uint8_t> bytes =
        EncodeJpeg(pic.width, pic.height, pic.channels == 1 ? JpegRows::kGrey : JpegRows::kRgb,
                   JpegSettings{quality, true, dpi, dpi}, [&](int y) { return &pic.pixels[std::size_t(y) * rowBytes]; });
    if (bytes.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

JpegInfo ReadJpeg(const std::string& path) {
    JpegInfo out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    err.mgr.emit_message = JpegQuiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        out.ok = false;
        return out;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    out.width = static_cast<int>(cinfo.image_width);
    out.height = static_cast<int>(cinfo.image_height);
    out.components = cinfo.num_components;
    if (cinfo.saw_JFIF_marker) {
        out.densityUnit = cinfo.density_unit;
        out.xDensity = cinfo.X_density;
        out.yDensity = cinfo.Y_density;
    }
    out.arithmetic = cinfo.arith_code != 0;
    if (cinfo.quant_tbl_ptrs[0])
        for (int i = 0; i < 64; ++i) out.luminanceTable[i] = cinfo.quant_tbl_ptrs[0]->quantval[i];
    jpeg_start_decompress(&cinfo);
    out.pixels = Picture(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                         cinfo.output_components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &out.pixels.pixels[std::size_t(cinfo.output_scanline) * cinfo.output_width *
                                          cinfo.output_components];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    out.ok = true;
    return out;
}

namespace {
// The luminance table of an abbreviated JPEG stream holding only tables.
bool LuminanceTableOf(const uint8_t* tables, uint32_t size, std::array<std::uint16_t, 64>& out) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    err.mgr.emit_message = JpegQuiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, tables, size);
    jpeg_read_header(&cinfo, FALSE);
    const bool ok = cinfo.quant_tbl_ptrs[0] != nullptr;
    if (ok)
        for (int i = 0; i < 64; ++i) out[i] = cinfo.quant_tbl_ptrs[0]->quantval[i];
    jpeg_destroy_decompress(&cinfo);
    return ok;
}
}  // namespace

std::array<std::uint16_t, 64> LuminanceTableForQuality(int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    std::array<std::uint16_t, 64> table{};
    for (int i = 0; i < 64; ++i) table[i] = cinfo.quant_tbl_ptrs[0]->quantval[i];
    jpeg_destroy_compress(&cinfo);
    return table;
}

CommandResult RunCommand(const std::string& command) {
    CommandResult r;
    std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    r.ok = ::pclose(p) == 0;
    return r;
}

}  // namespace testimg
