#include "support/BareJpeg.h"

#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include <jpeglib.h>

namespace barejpeg {

namespace {

struct Error {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void Exit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<Error*>(cinfo->err)->jump, 1); }
void Silent(j_common_ptr, int) {}

bool RunDecode(jpeg_decompress_struct* cinfo, Error* err, const std::uint8_t* data, std::size_t size, Image* out) {
    if (setjmp(err->jump)) return false;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->out_color_space == JCS_RGB) cinfo->out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(cinfo);
    out->width = static_cast<int>(cinfo->output_width);
    out->height = static_cast<int>(cinfo->output_height);
    out->components = cinfo->output_components;
    out->stride = static_cast<std::size_t>(out->width) * out->components;
    out->pixels.reset(new std::uint8_t[out->stride * out->height]);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW rows[4];
        const unsigned n = std::min(4u, cinfo->output_height - cinfo->output_scanline);
        for (unsigned i = 0; i < n; ++i) rows[i] = out->pixels.get() + (cinfo->output_scanline + i) * out->stride;
        jpeg_read_scanlines(cinfo, rows, n);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

bool RunEncode(jpeg_compress_struct* cinfo, Error* err, const std::uint8_t* pixels, int width, int height,
               int components, std::size_t stride, int quality, int dpi, unsigned char** buffer,
               unsigned long* size) {
    if (setjmp(err->jump)) return false;
    jpeg_mem_dest(cinfo, buffer, size);
    cinfo->image_width = static_cast<JDIMENSION>(width);
    cinfo->image_height = static_cast<JDIMENSION>(height);
    cinfo->input_components = components;
    cinfo->in_color_space = components == 3 ? JCS_EXT_BGR : JCS_GRAYSCALE;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, FALSE);
    cinfo->density_unit = 1;
    cinfo->X_density = static_cast<UINT16>(dpi);
    cinfo->Y_density = static_cast<UINT16>(dpi);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW rows[8];
        const unsigned n = std::min(8u, cinfo->image_height - cinfo->next_scanline);
        for (unsigned i = 0; i < n; ++i)
            rows[i] = const_cast<std::uint8_t*>(pixels) + (cinfo->next_scanline + i) * stride;
        jpeg_write_scanlines(cinfo, rows, n);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

bool Decode(const std::uint8_t* data, std::size_t size, Image& out) {
    jpeg_decompress_struct cinfo;
    Error err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = Exit;
    err.pub.emit_message = Silent;
    jpeg_create_decompress(&cinfo);
    const bool ok = RunDecode(&cinfo, &err, data, size, &out);
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

bool Encode(const std::uint8_t* pixels, int width, int height, int components, std::size_t stride, int quality,
            int dpi, std::vector<std::uint8_t>& out) {
    jpeg_compress_struct cinfo;
    Error err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = Exit;
    err.pub.emit_message = Silent;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = RunEncode(&cinfo, &err, pixels, width, height, components, stride, quality, dpi, &buffer, &size);
    jpeg_destroy_compress(&cinfo);
    if (ok) out.assign(buffer, buffer + size);
    std::free(buffer);
    return ok;
}

}  // namespace barejpeg
