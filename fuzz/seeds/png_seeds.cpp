// Writes seed files for the PNG decoder's fuzz target: every PNG file given
// on the command line (the PngSuite files and the other conformance PNGs)
// is read with libpng and written again in the forms a decoder meets in
// the wild but the conformance set has few of:
//   - interlaced (Adam7) and not interlaced;
//   - with side chunks, before and after the palette and the image data:
//     transparency, background, histogram, suggested palette, text in its
//     three forms, time, gamma, chromaticities, significant bits, physical
//     size, offsets and a private chunk;
//   - the image data split into many small chunks;
//   - each row filter on its own, and the lowest and highest compression.
//
//   png_seeds OUTPUT_FOLDER FILE.png...
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    std::vector<std::vector<png_byte>> rows;
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;  // tRNS of a palette image
    png_color_16 transparent{};    // tRNS of a grey or colour image
    bool hasTransparent = false;
};

bool Read(const std::string& path, Image& img) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(f);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    img.width = png_get_image_width(png, info);
    img.height = png_get_image_height(png, info);
    img.bitDepth = png_get_bit_depth(png, info);
    img.colourType = png_get_color_type(png, info);
    img.interlace = png_get_interlace_type(png, info);
    const png_size_t rowBytes = png_get_rowbytes(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (png_uint_32 y = 0; y < img.height; ++y) img.rows.emplace_back(rows[y], rows[y] + rowBytes);
    png_colorp pal = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &pal, &count)) img.palette.assign(pal, pal + count);
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p transparent = nullptr;
    if (png_get_tRNS(png, info, &alphas, &alphaCount, &transparent)) {
        if (img.colourType == PNG_COLOR_TYPE_PALETTE && alphas) img.alphas.assign(alphas, alphas + alphaCount);
        else if (transparent) {
            img.transparent = *transparent;
            img.hasTransparent = true;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

struct Form {
    const char* suffix;
    bool flipInterlace = false;
    bool sideChunks = false;
    bool smallChunks = false;
    int filter = -1;       // one PNG_FILTER_* or -1 for libpng's choice
    int compression = -1;  // zlib level or -1
};

bool Write(const std::string& path, const Image& img, const Form& form) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(f);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::remove(path.c_str());
        return false;
    }
    png_init_io(png, f);
    const int interlace = form.flipInterlace ? (img.interlace == PNG_INTERLACE_NONE ? PNG_INTERLACE_ADAM7
                                                                                    : PNG_INTERLACE_NONE)
                                             : img.interlace;
    png_set_IHDR(png, info, img.width, img.height, img.bitDepth, img.colourType, interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!img.palette.empty())
        png_set_PLTE(png, info, const_cast<png_colorp>(img.palette.data()), static_cast<int>(img.palette.size()));
    if (!img.alphas.empty())
        png_set_tRNS(png, info, const_cast<png_bytep>(img.alphas.data()), static_cast<int>(img.alphas.size()), nullptr);
    else if (img.hasTransparent)
        png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16p>(&img.transparent));
    if (form.filter >= 0) png_set_filter(png, 0, form.filter);
    if (form.compression >= 0) png_set_compression_level(png, form.compression);
    if (form.smallChunks) png_set_compression_buffer_size(png, 64);

    // Kept alive until the info is written.
    png_text texts[3]{};
    png_sPLT_entry splEntries[4]{};
    png_sPLT_t spl{};
    std::vector<png_uint_16> hist;
    png_unknown_chunk priv{};
    if (form.sideChunks) {
        const bool grey = (img.colourType & PNG_COLOR_MASK_COLOR) == 0;
        const bool paletted = img.colourType == PNG_COLOR_TYPE_PALETTE;
        const int depth = paletted ? 8 : img.bitDepth;
        png_set_gAMA(png, info, 0.45455);
        png_set_cHRM(png, info, 0.3127, 0.329, 0.64, 0.33, 0.3, 0.6, 0.15, 0.06);
        png_color_8 sig{};
        sig.red = sig.green = sig.blue = static_cast<png_byte>(depth > 4 ? depth - 1 : depth);
        sig.gray = static_cast<png_byte>(img.bitDepth > 1 ? img.bitDepth - 1 : 1);
        sig.alpha = static_cast<png_byte>(depth > 1 ? depth - 1 : 1);
        png_set_sBIT(png, info, &sig);
        png_color_16 bkgd{};
        if (paletted) bkgd.index = static_cast<png_byte>(img.palette.size() - 1);
        else if (grey) bkgd.gray = static_cast<png_uint_16>((1u << img.bitDepth) - 1);
        else bkgd.red = bkgd.green = bkgd.blue = static_cast<png_uint_16>((1u << img.bitDepth) - 1);
        png_set_bKGD(png, info, &bkgd);
        if (paletted) {
            hist.assign(img.palette.size(), 0);
            for (std::size_t i = 0; i < hist.size(); ++i) hist[i] = static_cast<png_uint_16>(i * 37 + 1);
            png_set_hIST(png, info, hist.data());
        }
        for (int i = 0; i < 4; ++i)
            splEntries[i] = png_sPLT_entry{png_uint_16(i * 60), png_uint_16(255 - i * 60), png_uint_16(i * 20),
                                           255, png_uint_16(i + 1)};
        spl.name = const_cast<png_charp>("seed palette");
        spl.depth = 8;
        spl.entries = splEntries;
        spl.nentries = 4;
        png_set_sPLT(png, info, &spl, 1);
        const char* keys[3] = {"Title", "Comment", "Description"};
        const char* values[3] = {"a seed", "zTXt of a seed", "iTXt \xe6\x96\x87 of a seed"};
        const int kinds[3] = {PNG_TEXT_COMPRESSION_NONE, PNG_TEXT_COMPRESSION_zTXt, PNG_ITXT_COMPRESSION_NONE};
        for (int i = 0; i < 3; ++i) {
            texts[i].compression = kinds[i];
            texts[i].key = const_cast<png_charp>(keys[i]);
            texts[i].text = const_cast<png_charp>(values[i]);
            texts[i].lang = const_cast<png_charp>(i == 2 ? "zh" : nullptr);
        }
        png_set_text(png, info, texts, 3);
        png_time t{2024, 5, 17, 8, 30, 0};
        png_set_tIME(png, info, &t);
        png_set_pHYs(png, info, 11811, 11811, PNG_RESOLUTION_METER);
        png_set_oFFs(png, info, 10, 20, PNG_OFFSET_PIXEL);
        std::memcpy(priv.name, "prVt", 5);
        priv.data = reinterpret_cast<png_bytep>(const_cast<char*>("private"));
        priv.size = 7;
        priv.location = PNG_AFTER_IDAT;
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, reinterpret_cast<png_const_bytep>("prVt"), 1);
        png_set_unknown_chunks(png, info, &priv, 1);
    }
    png_write_info(png, info);
    // png_write_image writes the seven passes of an interlaced image itself.
    std::vector<png_bytep> rows;
    for (const auto& r : img.rows) rows.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER FILE.png...\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const Form forms[] = {
        {"interlace", true},
        {"chunks", false, true},
        {"chunks-interlace", true, true},
        {"small-idat", false, false, true},
        {"filter-none", false, false, false, PNG_FILTER_NONE, 9},
        {"filter-sub", false, false, false, PNG_FILTER_SUB},
        {"filter-up", false, false, false, PNG_FILTER_UP},
        {"filter-avg", false, false, false, PNG_FILTER_AVG},
        {"filter-paeth", false, false, false, PNG_FILTER_PAETH, 0},
    };
    int written = 0, unread = 0;
    for (int i = 2; i < argc; ++i) {
        Image img;
        if (!Read(argv[i], img)) {
            ++unread;  // the broken files of the set seed the target as they are
            continue;
        }
        std::string base = argv[i];
        base = base.substr(base.find_last_of('/') + 1);
        base = base.substr(0, base.rfind('.'));
        for (const Form& form : forms)
            written += Write(out + "/" + base + "-" + form.suffix + ".png", img, form) ? 1 : 0;
    }
    std::printf("png seeds: %d files written, %d inputs not readable as PNG\n", written, unread);
    return written > 0 ? 0 : 1;
}
