#include "image/RasterJPG.h"

#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "image/ByteStream.h"
#include "image/ExifReader.h"

// libjpeg reaches the codec's single failure exit through longjmp. The
// functions that call setjmp (RunDecode, RunEncode) keep every piece of
// state in a plain struct owned by their caller and hold no C++ object with
// a destructor, so the jump skips nothing that needs unwinding.

namespace {

constexpr std::size_t kBufferSize = 4096;
// The encoder's output goes to the stream in pieces of this size: a page of
// a megabyte or two in a few dozen writes instead of hundreds.
constexpr std::size_t kOutputBufferSize = 65536;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
    bool hitMarker;  // entropy data ran into a marker before it was complete
};

void ErrorExit(j_common_ptr cinfo) {
    ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->text);
    std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0) {
        ++err->pub.num_warnings;
        if (err->pub.msg_code == JWRN_HIT_MARKER) err->hitMarker = true;
    }
    // Nothing goes to the standard error stream.
}

void OutputMessage(j_common_ptr) {}

void InitErrorManager(ErrorManager* err) {
    jpeg_std_error(&err->pub);
    err->pub.error_exit = ErrorExit;
    err->pub.emit_message = EmitMessage;
    err->pub.output_message = OutputMessage;
    err->text[0] = 0;
    err->hitMarker = false;
}

// Source and destination manager over one CByteStream.
struct JpegStream {
    union {
        jpeg_source_mgr src;
        jpeg_destination_mgr dest;
    };
    CByteStream* stream;
    JOCTET* buffer;
    bool startOfFile;
};

void InitSource(j_decompress_ptr cinfo) {
    reinterpret_cast<JpegStream*>(cinfo->src)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    JpegStream* s = reinterpret_cast<JpegStream*>(cinfo->src);
    std::size_t n = s->stream->Read(s->buffer, 1, kBufferSize);
    if (n == 0) {
        if (s->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        s->buffer[0] = 0xFF;
        s->buffer[1] = JPEG_EOI;
        n = 2;
    }
    s->src.next_input_byte = s->buffer;
    s->src.bytes_in_buffer = n;
    s->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    JpegStream* s = reinterpret_cast<JpegStream*>(cinfo->src);
    if (count <= 0) return;
    while (count > static_cast<long>(s->src.bytes_in_buffer)) {
        count -= static_cast<long>(s->src.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    s->src.next_input_byte += count;
    s->src.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

void InitDestination(j_compress_ptr cinfo) {
    JpegStream* s = reinterpret_cast<JpegStream*>(cinfo->dest);
    s->dest.next_output_byte = s->buffer;
    s->dest.free_in_buffer = kOutputBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    JpegStream* s = reinterpret_cast<JpegStream*>(cinfo->dest);
    if (s->stream->Write(s->buffer, 1, kOutputBufferSize) != kOutputBufferSize) ERREXIT(cinfo, JERR_FILE_WRITE);
    s->dest.next_output_byte = s->buffer;
    s->dest.free_in_buffer = kOutputBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    JpegStream* s = reinterpret_cast<JpegStream*>(cinfo->dest);
    const std::size_t n = kOutputBufferSize - s->dest.free_in_buffer;
    if (n > 0 && s->stream->Write(s->buffer, 1, n) != n) ERREXIT(cinfo, JERR_FILE_WRITE);
    s->stream->Flush();
    if (s->stream->Error()) ERREXIT(cinfo, JERR_FILE_WRITE);
}

std::int32_t ClampDpi(double v) {
    if (!(v > 0)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}

}  // namespace

struct CRasterJPG::DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    JpegStream src;
    bool created;
    JSAMPLE* scratch;
};

struct CRasterJPG::EncodeState {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    JpegStream dest;
    bool created;
};

CRasterJPG::CRasterJPG() : CRaster(RASTER_FORMAT_JPG) { m_info.exif = ExifInfo{}; }

CRasterJPG::~CRasterJPG() { delete m_exif; }

bool CRasterJPG::ReadExif(CByteStream* stream) {
    delete m_exif;
    m_exif = new (std::nothrow) CExifReader(&m_info.exif);
    if (!m_exif) return false;
    const std::int32_t pos = stream->Tell();
    m_exif->Decode(stream, CExifReader::kReadExif);
    stream->Seek(pos, 0);
    return m_info.exif.isExif != 0;
}

bool CRasterJPG::Decode(CByteStream* stream, bool headerOnly) {
    if (!stream) return false;
    ReadExif(stream);
    DecodeState* st = static_cast<DecodeState*>(std::calloc(1, sizeof(DecodeState)));
    if (!st) return false;
    st->src.buffer = static_cast<JOCTET*>(std::malloc(kBufferSize));
    bool ok = st->src.buffer && RunDecode(st, stream, headerOnly);
    if (st->created) jpeg_destroy_decompress(&st->cinfo);
    std::free(st->scratch);
    std::free(st->src.buffer);
    std::free(st);
    return ok;
}

bool CRasterJPG::ReadShape(CByteStream* stream, DWORD& width, DWORD& height, DWORD& bitsPerPixel) {
    m_shapeOnly = true;
    const bool ok = Decode(stream, true);
    m_shapeOnly = false;
    if (!ok) return false;
    const std::int32_t orientation = m_info.exif.orientation;
    const bool quarter = orientation >= 5 && orientation <= 8;
    width = quarter ? m_shapeHeight : m_shapeWidth;
    height = quarter ? m_shapeWidth : m_shapeHeight;
    bitsPerPixel = m_shapeBits;
    return true;
}

bool CRasterJPG::RunDecode(DecodeState* st, CByteStream* stream, bool headerOnly) {
    jpeg_decompress_struct* cinfo = &st->cinfo;
    InitErrorManager(&st->err);
    cinfo->err = &st->err.pub;
    if (setjmp(st->err.jump)) {
        SetLastError(st->err.text);
        return false;
    }
    jpeg_create_decompress(cinfo);
    st->created = true;
    st->src.stream = stream;
    st->src.src.init_source = InitSource;
    st->src.src.fill_input_buffer = FillInputBuffer;
    st->src.src.skip_input_data = SkipInputData;
    st->src.src.resync_to_restart = jpeg_resync_to_restart;
    st->src.src.term_source = TermSource;
    st->src.src.bytes_in_buffer = 0;
    st->src.src.next_input_byte = nullptr;
    cinfo->src = &st->src.src;
    jpeg_read_header(cinfo, TRUE);

    const DWORD options = GetFormatOption(RASTER_FORMAT_JPG);
    if (options & JPEG_OPTION_GREY_OUTPUT) cinfo->out_color_space = JCS_GRAYSCALE;
    if (options & JPEG_OPTION_QUANTISE) {
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = GetQuality();
    }
    if (options & JPEG_OPTION_DITHER) cinfo->dither_mode = static_cast<J_DITHER_MODE>(m_ditherMode);
    if (options & JPEG_OPTION_ONE_PASS) cinfo->two_pass_quantize = FALSE;
    if (options & JPEG_OPTION_NO_FANCY_UPSAMPLING) cinfo->do_fancy_upsampling = FALSE;
    cinfo->scale_num = 1;
    cinfo->scale_denom = m_info.scaleDenominator ? m_info.scaleDenominator : 1;
    // Colour goes straight into the DIB rows in blue, green, red order.
    const bool bgr = cinfo->out_color_space == JCS_RGB && !cinfo->quantize_colors;
    if (bgr) cinfo->out_color_space = JCS_EXT_BGR;

    // The output size without reading the image data; a size beyond the
    // limits is refused before the library allocates for it.
    jpeg_calc_output_dimensions(cinfo);
    if (!FitsLimits(cinfo->output_width, cinfo->output_height, 8u * static_cast<DWORD>(cinfo->out_color_components)))
        return false;
    if (m_shapeOnly) {
        // The depth as the image would be made: 8 bits for one component
        // (or palette indices), 24 for more.
        m_shapeWidth = cinfo->output_width;
        m_shapeHeight = cinfo->output_height;
        m_shapeBits = cinfo->output_components > 1 ? 24 : 8;
        return true;
    }
    if (!headerOnly) jpeg_start_decompress(cinfo);
    // Quantised colours come as one palette index per pixel.
    const int components = cinfo->output_components;
    // A row target takes the rows only when they stay as decoded: a picture
    // that its Exif orientation turns afterwards is turned in the image, and
    // quantised colours keep the image's own block.
    const std::int32_t orientation = m_info.exif.orientation;
    const bool turnsAfter = orientation >= 2 && orientation <= 8;
    const DWORD depth = 8u * static_cast<DWORD>(components);
    const bool ownRows = headerOnly || turnsAfter || cinfo->quantize_colors;
    if (!(ownRows ? Create(cinfo->output_width, cinfo->output_height, depth, RASTER_FORMAT_JPG)
                  : CreateForDecode(cinfo->output_width, cinfo->output_height, depth, RASTER_FORMAT_JPG))) {
        return false;
    }
    CRasterRowTarget* const target = m_rowsOutside ? m_rowTarget : nullptr;

    // Resolution: Exif when there is no JFIF header, else JFIF.
    const ExifInfo& exif = m_info.exif;
    if (exif.isExif && !cinfo->saw_JFIF_marker) {
        if (exif.xResolution != 0 && exif.resolutionUnit != 0)
            SetDpiX(ClampDpi(exif.xResolution / exif.resolutionUnit));
        if (exif.yResolution != 0 && exif.resolutionUnit != 0)
            SetDpiY(ClampDpi(exif.yResolution / exif.resolutionUnit));
    } else if (cinfo->density_unit == 0) {
        if (cinfo->X_density > 0 && cinfo->Y_density > 0)
            SetDpiY(ClampDpi(static_cast<float>(GetDpiX()) *
                             (static_cast<float>(cinfo->Y_density) / static_cast<float>(cinfo->X_density))));
    } else if (cinfo->density_unit == 2) {
        SetDpiX(static_cast<std::int32_t>(std::floor(cinfo->X_density * 2.54 + 0.5)));
        SetDpiY(static_cast<std::int32_t>(std::floor(cinfo->Y_density * 2.54 + 0.5)));
    } else {
        SetDpiX(cinfo->X_density);
        SetDpiY(cinfo->Y_density);
    }
    if (headerOnly) return true;

    if (cinfo->out_color_space == JCS_GRAYSCALE && !cinfo->quantize_colors) {
        MakeGreyRamp();
    } else if (cinfo->quantize_colors) {
        m_head.biClrUsed = static_cast<DWORD>(cinfo->actual_number_of_colors);
        for (int i = 0; i < cinfo->actual_number_of_colors && i < 256; ++i) {
            const bool single = cinfo->out_color_components == 1;
            const BYTE r = cinfo->colormap[0][i];
            const BYTE g = single ? r : cinfo->colormap[1][i];
            const BYTE b = single ? r : cinfo->colormap[2][i];
            GetPalette()[i] = RGBQUAD{b, g, r, 0};
        }
    }

    const DWORD height = GetHeight(), width = GetWidth();
    const bool cmyk = components == 4 && !cinfo->quantize_colors;
    if (cmyk) {
        st->scratch = static_cast<JSAMPLE*>(std::malloc(static_cast<std::size_t>(width) * 4));
        if (!st->scratch) {
            SetLastError("CRaster::Create can't allocate memory");
            return false;
        }
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        const DWORD top = cinfo->output_scanline;
        BYTE* row = GetBits(height - 1 - top);
        if (cmyk) {
            JSAMPROW r = st->scratch;
            jpeg_read_scanlines(cinfo, &r, 1);
            // Inverted CMYK as written by Adobe: K x Y / 255 and so on.
            for (DWORD x = 0; x < width; ++x) {
                const unsigned c = st->scratch[4 * x], m = st->scratch[4 * x + 1], y = st->scratch[4 * x + 2],
                               k = st->scratch[4 * x + 3];
                row[3 * x + 0] = static_cast<BYTE>(k * y / 255);
                row[3 * x + 1] = static_cast<BYTE>(k * m / 255);
                row[3 * x + 2] = static_cast<BYTE>(k * c / 255);
            }
            if (target) target->RowsWritten(height - 1 - top, 1);
        } else {
            // Several rows at once where the library offers them.
            JSAMPROW rows[4];
            const DWORD n = std::min<DWORD>(std::min<DWORD>(4, static_cast<DWORD>(cinfo->rec_outbuf_height)),
                                            height - top);
            for (DWORD i = 0; i < n; ++i) rows[i] = GetBits(height - 1 - top - i);
            const DWORD got = jpeg_read_scanlines(cinfo, rows, n);
            if (target && got > 0) target->RowsWritten(height - top - got, got);
        }
        if (st->err.hitMarker) {
            // The scan data stopped (at the end of the file or at a marker)
            // before the picture was complete: the remaining rows are
            // missing, so there is no point decoding them.
            SetLastError("Corrupt JPEG data: premature end of data segment");
            return false;
        }
    }
    jpeg_finish_decompress(cinfo);
    if (st->err.hitMarker) {
        SetLastError("Corrupt JPEG data: premature end of data segment");
        return false;
    }
    return true;
}

bool CRasterJPG::Encode(CByteStream* stream) {
    if (CheckEncodable(stream)) return false;
    if (HasPalette() && !HasGreyRamp()) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    if (!HasPalette() && GetBitsPerPixel() != 24) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    EncodeState* st = static_cast<EncodeState*>(std::calloc(1, sizeof(EncodeState)));
    if (!st) return false;
    st->dest.buffer = static_cast<JOCTET*>(std::malloc(kOutputBufferSize));
    const bool ok = st->dest.buffer && RunEncode(st, stream);
    if (st->created) jpeg_destroy_compress(&st->cinfo);
    std::free(st->dest.buffer);
    std::free(st);
    return ok;
}

bool CRasterJPG::RunEncode(EncodeState* st, CByteStream* stream) {
    jpeg_compress_struct* cinfo = &st->cinfo;
    InitErrorManager(&st->err);
    cinfo->err = &st->err.pub;
    if (setjmp(st->err.jump)) {
        SetLastError(st->err.text);
        return false;
    }
    jpeg_create_compress(cinfo);
    st->created = true;
    st->dest.stream = stream;
    st->dest.dest.init_destination = InitDestination;
    st->dest.dest.empty_output_buffer = EmptyOutputBuffer;
    st->dest.dest.term_destination = TermDestination;
    cinfo->dest = &st->dest.dest;

    cinfo->image_width = GetWidth();
    cinfo->image_height = GetHeight();
    if (HasPalette()) {
        cinfo->input_components = 1;
        cinfo->in_color_space = JCS_GRAYSCALE;
    } else {
        cinfo->input_components = 3;
        cinfo->in_color_space = JCS_EXT_BGR;  // the DIB's byte order, no exchange needed
    }
    jpeg_set_defaults(cinfo);
    const DWORD options = GetFormatOption(RASTER_FORMAT_JPG);
    if (options & JPEG_OPTION_ARITHMETIC) cinfo->arith_code = TRUE;
    if (options & JPEG_OPTION_OPTIMISE) cinfo->optimize_coding = TRUE;
    if (options & JPEG_OPTION_GREYSCALE) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
    if (options & JPEG_OPTION_SMOOTHING) cinfo->smoothing_factor = m_smoothing;
    jpeg_set_quality(cinfo, GetQuality(), (options & JPEG_OPTION_BASELINE) ? TRUE : FALSE);
    if (options & JPEG_OPTION_PROGRESSIVE) jpeg_simple_progression(cinfo);

    cinfo->comp_info[0].h_samp_factor = 2;
    cinfo->comp_info[0].v_samp_factor = 2;
    if (options & JPEG_OPTION_LUMA_2X1) cinfo->comp_info[0].v_samp_factor = 1;
    if (options & JPEG_OPTION_LUMA_1X1) {
        cinfo->comp_info[0].h_samp_factor = 1;
        cinfo->comp_info[0].v_samp_factor = 1;
    }
    for (int c = 1; c < cinfo->num_components && c < 3; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
    cinfo->density_unit = 1;
    cinfo->X_density = static_cast<UINT16>(GetDpiX());
    cinfo->Y_density = static_cast<UINT16>(GetDpiY());

    jpeg_start_compress(cinfo, TRUE);
    const DWORD height = GetHeight();
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW rows[8];
        const DWORD top = cinfo->next_scanline;
        const DWORD n = std::min<DWORD>(8, height - top);
        for (DWORD i = 0; i < n; ++i) rows[i] = GetBits(height - 1 - top - i);
        jpeg_write_scanlines(cinfo, rows, n);
    }
    jpeg_finish_compress(cinfo);
    return true;
}
