// TIFF codec over libtiff: reads one page (directory) of a file through the
// RGBA reader or strip by strip / tile by tile, and writes single pages or
// appends pages to a multi-page file through one kept handle.
#pragma once

#include "image/Raster.h"

class CByteStream;
typedef struct tiff TIFF;

// Where libtiff's messages for one handle go.
struct TiffMessages {
    char error[256];
    char warning[256];
};

// libtiff client open over a byte stream ("r", "w" or "a"). The stream is
// only borrowed: closing the handle leaves it open. Messages of the handle
// land in `messages` (which must outlive the handle), never on stderr.
TIFF* TiffClientOpen(CByteStream* stream, const char* mode, TiffMessages* messages);

class CRasterTIF : public CRaster {
public:
    CRasterTIF();
    ~CRasterTIF() override;

    // Reads the page given by the frame field (SelectFrame).
    bool Decode(CByteStream* stream, bool headerOnly = false);
    // Writes the image as one page; with `append` the handle stays open for
    // further pages of the same file.
    bool Encode(CByteStream* stream, bool append = false);
    // Writes the tags and pixels of one page into an open handle.
    bool WritePage(TIFF* handle, bool multiPage, std::int32_t page, std::int32_t pageCount);

    std::int32_t PagesWritten() const { return m_pagesWritten; }

private:
    bool DecodeStrips(TIFF* tif, std::uint32_t rowsPerStrip, bool tiled, std::uint32_t tileWidth,
                      std::uint32_t tileLength, std::uint16_t samples, std::uint16_t bits,
                      std::uint16_t photometric, const RGBQUAD* bigPalette, std::uint32_t bigPaletteSize);
    void CloseHandle();

    TIFF* m_handle = nullptr;
    bool m_multiPage = false;
    std::int32_t m_pagesWritten = 0;
    TiffMessages m_messages{};
};
