// Fuzz target: the Exif reader on the segments of a JPEG file, and on the
// raw bytes as an APP1 block.
#include <cstdint>

#include "image/ByteStream.h"
#include "image/ExifReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        ExifInfo info{};
        CExifReader reader(&info);
        CMemStream s(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
        reader.Decode(&s, CExifReader::kReadExif | CExifReader::kReadImageData);
        if (info.orientation < 0 || info.orientation > 8) __builtin_trap();
    }
    ExifInfo info{};
    CExifReader reader(&info);
    reader.ParseExif(data, static_cast<std::uint32_t>(size));
    return 0;
}
