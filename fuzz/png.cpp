// Fuzz target: the PNG decoder through the codec dispatch.
#include "FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzDecode(data, size, RASTER_FORMAT_PNG);
    return 0;
}
