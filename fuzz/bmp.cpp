// Fuzz target: the BMP decoder through the codec dispatch.
#include "FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzDecode(data, size, RASTER_FORMAT_BMP);
    FuzzDecode(data, size, RASTER_FORMAT_UNKNOWN);  // also the bare-DIB and format trials
    return 0;
}
