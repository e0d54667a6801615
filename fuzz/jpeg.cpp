// Fuzz target: the JPEG decoder through the codec dispatch.
#include "FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzDecode(data, size, RASTER_FORMAT_JPG);
    FuzzDecode(data, size, RASTER_FORMAT_JPG, true);
    return 0;
}
