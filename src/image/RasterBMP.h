// BMP codec: the system's in-memory interchange format as well as a file
// format. Reads every header kind (OS/2 core, Windows 40-byte, OS/2 2.x,
// V4/V5 and other extended headers, bare DIBs without a file header),
// RLE4/RLE8, 16- and 32-bit pixels with masks and top-down rows.
#pragma once

#include "image/Raster.h"

class CRasterBMP : public CRaster {
public:
    CRasterBMP() : CRaster(RASTER_FORMAT_BMP) {}

    bool Decode(CByteStream* stream);
    bool Encode(CByteStream* stream);

    // Channel masks of 16- and 32-bit pixels, when the header carries them.
    struct Masks {
        DWORD red = 0, green = 0, blue = 0;
        bool present = false;
        bool os2 = false;  // OS/2 core header: 3-byte palette entries
    };
    // Reads and normalises the information header at the stream position and
    // leaves the stream just after it (and after bit-field masks that follow
    // a 40-byte header).
    static bool ReadInfoHeader(CByteStream* stream, BITMAPINFOHEADER& header, Masks* masks = nullptr);
    // The resolution a header's pixels per metre stand for:
    // floor(ppm x 254 / 10000 + 0.5).
    static std::int32_t DpiFromPelsPerMetre(LONG pelsPerMetre);
};
