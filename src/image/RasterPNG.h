// PNG codec over libpng: every colour type and depth, interlace, tRNS, bKGD
// and pHYs, read and written in blue, green, red order through CByteStream.
#pragma once

#include "image/Raster.h"

// Codec option bits (the PNG slot of the codec options).
constexpr DWORD PNG_OPTION_INTERLACED = 0x1;
constexpr DWORD PNG_OPTION_LEVEL_MASK = 0xE;  // 2: level 0, 4: level 1, 6: level 9

class CRasterPNG : public CRaster {
public:
    CRasterPNG() : CRaster(RASTER_FORMAT_PNG) {}

    bool Decode(CByteStream* stream);
    bool Encode(CByteStream* stream);

private:
    struct DecodeState;
    struct EncodeState;
    bool RunDecode(DecodeState* st);
    bool RunEncode(EncodeState* st);
};
