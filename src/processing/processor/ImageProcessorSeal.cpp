// Stamping the archive seal on a page: the seal is drawn into a white 24-bit
// surface, its non-white pixels are laid onto the page's colour working image
// and the page is written in colour in its own format.
#include <algorithm>
#include <cstring>

#include "image/Raster.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"

bool CImageProcessor::DrawArchiveSeal(const SealSettings& settings, ISealDrawer& drawer) {
    if (!sealCanvas.created || !sealCanvas.bits) return false;
    const SealLayout layout = ComputeSealLayout(settings, width, height, dpiX);
    if (layout.width != sealCanvas.width || layout.height != sealCanvas.height) return false;
    const SealTexts texts = MakeSealTexts(sealCanvas.prefix, sealCanvas.volume, sealCanvas.serial);
    return drawer.Draw(sealCanvas.bits.get(), layout, settings, texts);
}

bool CImageProcessor::MakeColourWorkingImage(const std::wstring& path) {
    PixelBuffer colour = AllocPixels(width, height, 24);
    if (!colour || !greyImage) return false;
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t s8 = px::Stride8(w);
    const std::size_t s24 = px::Stride24(w);
    // A palette page keeps its colours: the file is decoded once more and
    // its palette looked up, when that decode gives the page at the same size.
    CRaster page;
    const DWORD type = fileType == FILE_TYPE_TIFF ? RASTER_FORMAT_TIF
                       : fileType == FILE_TYPE_PNG ? RASTER_FORMAT_PNG
                                                   : RASTER_FORMAT_JPG;
    const bool palette = page.Load(path, type) && page.HasPalette() && !page.HasGreyRamp() &&
                         page.GetWidth() == static_cast<DWORD>(width) && page.GetHeight() == static_cast<DWORD>(height);
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        BYTE* dst = colour.get() + y * s24;
        const BYTE* grey = greyImage.get() + y * s8;
        for (std::size_t x = 0; x < w; ++x) {
            if (palette) {
                const RGBQUAD c = page.GetColourFast(static_cast<DWORD>(x), static_cast<DWORD>(y));
                dst[3 * x] = c.rgbBlue;
                dst[3 * x + 1] = c.rgbGreen;
                dst[3 * x + 2] = c.rgbRed;
            } else {
                dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = grey[x];
            }
        }
    }
    colourImage = std::move(colour);
    return true;
}

void CImageProcessor::CompositeSeal(const SealLayout& layout) {
    const std::size_t sealStride = px::Stride24(static_cast<std::size_t>(layout.width));
    const std::size_t pageStride = px::Stride24(static_cast<std::size_t>(width));
    // Only the part of the seal that lies on the page is laid on.
    const std::int32_t c0 = std::max(0, -layout.x);
    const std::int32_t c1 = std::min(layout.width, width - layout.x);
    const std::int32_t r0 = std::max(0, -layout.y);
    const std::int32_t r1 = std::min(layout.height, height - layout.y);
    for (std::int32_t r = r0; r < r1; ++r) {
        // Both images are bottom-up: row r from the top is row (H - 1 - r).
        const BYTE* seal = sealCanvas.bits.get() + static_cast<std::size_t>(layout.height - 1 - r) * sealStride;
        BYTE* page = colourImage.get() + static_cast<std::size_t>(height - 1 - (layout.y + r)) * pageStride;
        for (std::int32_t c = c0; c < c1; ++c) {
            const BYTE* s = seal + 3 * static_cast<std::size_t>(c);
            if (s[0] == 255 && s[1] == 255 && s[2] == 255) continue;
            std::memcpy(page + 3 * static_cast<std::size_t>(layout.x + c), s, 3);
        }
    }
}

bool CImageProcessor::StampArchiveSeal(const std::wstring& pagePath, const std::wstring& destinationFolder,
                                       const std::wstring& fileName, const std::wstring& prefix, std::int32_t volume,
                                       std::int32_t serial, const SealSettings& settings, ISealDrawer& drawer) {
    if (!ReadFileBytes(pagePath.c_str())) return false;
    if (!LoadImageFile(pagePath.c_str(), 1)) return false;
    sealCanvas.prefix = prefix;
    sealCanvas.serial = serial;
    sealCanvas.volume = volume;

    const SealLayout layout = ComputeSealLayout(settings, width, height, dpiX);
    if (!sealCanvas.created) {
        sealCanvas.width = layout.width;
        sealCanvas.height = layout.height;
        sealCanvas.bits = AllocPixels(layout.width, layout.height, 24);
        if (!sealCanvas.bits) return false;
        std::memset(sealCanvas.bits.get(), 0xFF, px::Stride24(static_cast<std::size_t>(layout.width)) *
                                                     static_cast<std::size_t>(layout.height));
        sealCanvas.created = 1;
    }
    if (!DrawArchiveSeal(settings, drawer)) return false;
    // A grey or one-bit page is stamped on its colour form.
    if (sourceDepth != 24 && !MakeColourWorkingImage(pagePath)) return false;
    CompositeSeal(layout);

    SetResult(colourImage.get(), width, height);
    resultDepth = 24;
    if (pageCount <= 1) return SaveColor24(destinationFolder, fileName);

    // A multi-page TIFF: the stamped first page and every other page as it
    // is, assembled into one file as a run assembles its pages.
    outputFolder = destinationFolder;
    outputName = fileName;
    outputPathMode = OUTPUT_TO_FOLDER;
    for (;;) {
        if (!SaveTiffPage()) break;
        if (currentPage >= pageCount - 1) {
            const bool saved = SaveResult();
            RemoveTempPageFolder();
            return saved;
        }
        ReleaseBuffers(true);
        ++currentPage;
        if (!LoadImageFile(pagePath.c_str(), 0)) break;
        SetResult(sourceDepth == 24 ? colourImage.get() : greyImage.get(), width, height);
        resultDepth = sourceDepth;
    }
    RemoveTempPageFolder();
    return false;
}
