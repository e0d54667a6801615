// JPEG codec over libjpeg, with the Exif reader run before decoding so the
// picture can be turned upright and its resolution taken from Exif.
#pragma once

#include "image/Raster.h"

class CExifReader;

// Codec option bits (the JPEG slot of the codec options).
constexpr DWORD JPEG_OPTION_BASELINE = 0x1;
constexpr DWORD JPEG_OPTION_ARITHMETIC = 0x2;
constexpr DWORD JPEG_OPTION_GREYSCALE = 0x4;
constexpr DWORD JPEG_OPTION_OPTIMISE = 0x8;
constexpr DWORD JPEG_OPTION_PROGRESSIVE = 0x10;
constexpr DWORD JPEG_OPTION_SMOOTHING = 0x40;
constexpr DWORD JPEG_OPTION_GREY_OUTPUT = 0x80;
constexpr DWORD JPEG_OPTION_QUANTISE = 0x100;
constexpr DWORD JPEG_OPTION_DITHER = 0x200;
constexpr DWORD JPEG_OPTION_ONE_PASS = 0x400;
constexpr DWORD JPEG_OPTION_NO_FANCY_UPSAMPLING = 0x800;
constexpr DWORD JPEG_OPTION_LUMA_2X1 = 0x1000;
constexpr DWORD JPEG_OPTION_LUMA_1X1 = 0x2000;

class CRasterJPG : public CRaster {
public:
    CRasterJPG();
    ~CRasterJPG() override;

    bool Decode(CByteStream* stream, bool headerOnly = false);
    // The size and depth (8 or 24) of the picture a decode of the stream
    // gives, upright by its Exif orientation, read from the headers alone:
    // no image is made. False where the decode would fail on the headers.
    bool ReadShape(CByteStream* stream, DWORD& width, DWORD& height, DWORD& bitsPerPixel);
    bool Encode(CByteStream* stream);
    // Reads the Exif block from the stream position and seeks back; true
    // when the file carries Exif.
    bool ReadExif(CByteStream* stream);

    // Tuning values read by the option bits 0x200 (dither mode, libjpeg's
    // J_DITHER_MODE) and 0x40 (smoothing factor 0..100).
    std::int32_t m_ditherMode = 0;
    std::int32_t m_smoothing = 0;

private:
    struct DecodeState;
    struct EncodeState;
    bool RunDecode(DecodeState* st, CByteStream* stream, bool headerOnly);
    bool RunEncode(EncodeState* st, CByteStream* stream);

    CExifReader* m_exif = nullptr;
    // ReadShape's decode stops once the output size is known.
    bool m_shapeOnly = false;
    DWORD m_shapeWidth = 0, m_shapeHeight = 0, m_shapeBits = 0;
};
