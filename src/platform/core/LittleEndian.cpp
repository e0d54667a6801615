#include "platform/core/LittleEndian.h"

namespace le {

void WriteFileHeader(std::uint8_t* out, const BITMAPFILEHEADER& h) {
    Put16(out + 0, h.bfType);
    Put32(out + 2, h.bfSize);
    Put16(out + 6, h.bfReserved1);
    Put16(out + 8, h.bfReserved2);
    Put32(out + 10, h.bfOffBits);
}

BITMAPFILEHEADER ReadFileHeader(const std::uint8_t* in) {
    BITMAPFILEHEADER h;
    h.bfType = Get16(in + 0);
    h.bfSize = Get32(in + 2);
    h.bfReserved1 = Get16(in + 6);
    h.bfReserved2 = Get16(in + 8);
    h.bfOffBits = Get32(in + 10);
    return h;
}

void WriteInfoHeader(std::uint8_t* out, const BITMAPINFOHEADER& h) {
    Put32(out + 0, h.biSize);
    Put32(out + 4, static_cast<std::uint32_t>(h.biWidth));
    Put32(out + 8, static_cast<std::uint32_t>(h.biHeight));
    Put16(out + 12, h.biPlanes);
    Put16(out + 14, h.biBitCount);
    Put32(out + 16, h.biCompression);
    Put32(out + 20, h.biSizeImage);
    Put32(out + 24, static_cast<std::uint32_t>(h.biXPelsPerMeter));
    Put32(out + 28, static_cast<std::uint32_t>(h.biYPelsPerMeter));
    Put32(out + 32, h.biClrUsed);
    Put32(out + 36, h.biClrImportant);
}

BITMAPINFOHEADER ReadInfoHeader(const std::uint8_t* in) {
    BITMAPINFOHEADER h;
    h.biSize = Get32(in + 0);
    h.biWidth = static_cast<LONG>(Get32(in + 4));
    h.biHeight = static_cast<LONG>(Get32(in + 8));
    h.biPlanes = Get16(in + 12);
    h.biBitCount = Get16(in + 14);
    h.biCompression = Get32(in + 16);
    h.biSizeImage = Get32(in + 20);
    h.biXPelsPerMeter = static_cast<LONG>(Get32(in + 24));
    h.biYPelsPerMeter = static_cast<LONG>(Get32(in + 28));
    h.biClrUsed = Get32(in + 32);
    h.biClrImportant = Get32(in + 36);
    return h;
}

}  // namespace le
