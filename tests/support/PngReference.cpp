#include "support/PngReference.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace testdata {

namespace {
struct Ctx {
    char message[256];
};
void Error(png_structp png, png_const_charp msg) {
    Ctx* c = static_cast<Ctx*>(png_get_error_ptr(png));
    std::snprintf(c->message, sizeof c->message, "%s", msg);
    png_longjmp(png, 1);
}
void Warning(png_structp, png_const_charp) {}

bool Read(std::FILE* fp, Rgba8* out, Ctx* ctx, std::uint8_t** rows, std::size_t* rowCount) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, ctx, Error, Warning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, fp);
    png_read_info(png, info);
    png_set_expand(png);          // palette, low grey depths and tRNS to 8-bit RGBA
    png_set_strip_16(png);        // keep the high byte
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out->width = png_get_image_width(png, info);
    out->height = png_get_image_height(png, info);
    out->pixels.assign(std::size_t(out->width) * out->height * 4, 0);
    *rowCount = out->height;
    for (std::uint32_t y = 0; y < out->height; ++y) rows[y] = &out->pixels[std::size_t(y) * out->width * 4];
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
}  // namespace

bool ReadPngReference(const std::string& path, Rgba8& out, std::string* error) {
    std::FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    Ctx ctx{};
    // Row pointers sized for the largest picture the tests use.
    static thread_local std::vector<std::uint8_t*> rows(70000);
    std::size_t count = 0;
    const bool ok = Read(fp, &out, &ctx, rows.data(), &count);
    std::fclose(fp);
    if (!ok && error) *error = ctx.message;
    return ok;
}

}  // namespace testdata
