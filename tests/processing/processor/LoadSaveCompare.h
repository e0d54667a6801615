// Loading and saving on the processor's road and on the plain road by way
// of a BMP file in memory (reference/RefLoadSave.h), compared field by
// field: working images, stored source headers, images to encode and the
// files written.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "image/Raster.h"
#include "platform/core/LittleEndian.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "reference/RefLoadSave.h"

struct LoadComparison {
    bool same = true;
    bool loaded = false;  // the processor's road took the (last) page
    int pages = 0;
    std::string difference;
};

namespace loadsave {

inline std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a load left in the processor, in the reference's terms.
inline ref::LoadedPage StateOf(const CImageProcessor& p, bool ok) {
    ref::LoadedPage s;
    s.ok = ok;
    std::memcpy(s.fileHeader, p.sourceFileHeader, sizeof s.fileHeader);
    std::memcpy(s.infoHeader, p.sourceInfoHeader, sizeof s.infoHeader);
    if (!ok) return s;
    s.width = p.width;
    s.height = p.height;
    s.workingDepth = p.workingDepth;
    s.sourceDepth = p.sourceDepth;
    if (p.greyImage) s.grey.assign(p.greyImage.get(), p.greyImage.get() + px::Stride8(p.width) * p.height);
    if (p.colourImage) s.colour.assign(p.colourImage.get(), p.colourImage.get() + px::Stride24(p.width) * p.height);
    if (p.sourceHeaderCopy) s.headerCopy.assign(p.sourceHeaderCopy.get(), p.sourceHeaderCopy.get() + p.sourceHeaderSize);
    return s;
}

// The first difference of two loads, empty when they agree. Images are
// compared only when both roads took the page.
inline std::string Difference(const ref::LoadedPage& ours, const ref::LoadedPage& plain) {
    std::ostringstream d;
    if (ours.ok != plain.ok) d << "taken " << ours.ok << " vs " << plain.ok << "; ";
    if (std::memcmp(ours.fileHeader, plain.fileHeader, 14) != 0) d << "stored file header; ";
    if (std::memcmp(ours.infoHeader, plain.infoHeader, 44) != 0) d << "stored info header; ";
    if (ours.ok && plain.ok) {
        if (ours.width != plain.width || ours.height != plain.height) d << "size; ";
        if (ours.workingDepth != plain.workingDepth) d << "working depth; ";
        if (ours.sourceDepth != plain.sourceDepth) d << "source depth; ";
        if (ours.grey != plain.grey) d << "grey image; ";
        if (ours.colour != plain.colour) d << "colour image; ";
        if (ours.headerCopy != plain.headerCopy) d << "source header copy; ";
    }
    return d.str();
}

}  // namespace loadsave

// Every page of a file loaded by the processor (as a run loads it) and by
// the plain road with the same decoding.
inline LoadComparison CompareFileLoads(const std::string& path) {
    LoadComparison c;
    const std::wstring w = FromUtf8(path);
    const std::vector<std::uint8_t> bytes = loadsave::FileBytes(path);
    CImageProcessor p;
    if (!p.ReadFileBytes(w.c_str())) {
        c.same = false;
        c.difference = "file not read";
        return c;
    }
    CRaster codec;
    const ImageFileType type = CImageProcessor::FileTypeOf(w);
    for (BYTE first = 1;; first = 0) {
        const bool ok = p.LoadImageFile(w.c_str(), first);
        int dpiX = -1, dpiY = -1;
        const ref::LoadedPage plain = ref::LoadViaBmp(codec, bytes, type, p.currentPage, first != 0, &dpiX, &dpiY);
        std::string d = loadsave::Difference(loadsave::StateOf(p, ok), plain);
        if (ok && (p.dpiX != dpiX || p.dpiY != dpiY)) d += "resolution; ";
        if (!d.empty()) {
            c.same = false;
            c.difference += "page " + std::to_string(p.currentPage) + ": " + d;
        }
        c.loaded = ok;
        ++c.pages;
        if (!ok || p.currentPage >= p.pageCount - 1) break;
        p.ReleaseBuffers(true);
        ++p.currentPage;
    }
    return c;
}

// A decoded image taken by the processor and by way of a BMP.
inline LoadComparison CompareImageTakes(CRaster& image) {
    LoadComparison c;
    CImageProcessor p;
    const bool ok = p.TakePixelsFromImage(image);
    const std::string d = loadsave::Difference(loadsave::StateOf(p, ok), ref::TakeFromImageViaBmp(image));
    c.same = d.empty();
    c.difference = d;
    c.loaded = ok;
    c.pages = 1;
    return c;
}

// ---- Saving ----

struct SaveComparison {
    bool same = true;
    bool written = false;
    std::string difference;
};

inline bool SameStoredHeaders(const CImageProcessor& a, const CImageProcessor& b) {
    return std::memcmp(a.sourceFileHeader, b.sourceFileHeader, 14) == 0 &&
           std::memcmp(a.sourceInfoHeader, b.sourceInfoHeader, 44) == 0 &&
           a.sourceHeaderSize == b.sourceHeaderSize && a.sourceCompression == b.sourceCompression &&
           (a.sourceHeaderSize == 0 ||
            std::memcmp(a.sourceHeaderCopy.get(), b.sourceHeaderCopy.get(), a.sourceHeaderSize) == 0);
}

// Everything about two images that an encoder can read.
inline std::string RasterDifference(const CRaster& a, const CRaster& b) {
    std::ostringstream d;
    std::uint8_t ha[40], hb[40];
    le::WriteInfoHeader(ha, a.GetHeader());
    le::WriteInfoHeader(hb, b.GetHeader());
    if (std::memcmp(ha, hb, 40) != 0) d << "header; ";
    const RasterInfo& x = a.GetInfo();
    const RasterInfo& y = b.GetInfo();
    if (x.rowBytes != y.rowBytes || x.type != y.type || x.jpegQuality != y.jpegQuality || x.dpiX != y.dpiX ||
        x.dpiY != y.dpiY || x.frame != y.frame || x.frameCount != y.frameCount ||
        x.transparentIndex != y.transparentIndex || x.scaleDenominator != y.scaleDenominator ||
        x.maxOpacity != y.maxOpacity || x.enabled != y.enabled || x.flags != y.flags ||
        std::memcmp(x.codecOptions, y.codecOptions, sizeof x.codecOptions) != 0 ||
        std::strcmp(x.lastError, y.lastError) != 0)
        d << "information block; ";
    if (a.IsValid() != b.IsValid() || a.GetSize() != b.GetSize() ||
        (a.IsValid() && std::memcmp(a.GetDib(), b.GetDib(), a.GetSize()) != 0))
        d << "DIB block; ";
    if (a.HasAlphaPlane() || b.HasAlphaPlane() || a.HasSelectionPlane() || b.HasSelectionPlane()) d << "planes; ";
    return d.str();
}

// A result saved by the processor's road and by the plain road: the image
// to encode, the stored headers after it, and the file written (both in the
// format `format`). `folder` receives the two files.
inline SaveComparison CompareSaves(const std::string& source, ImageFileType format, CImageProcessor::SaveKind kind,
                                   const std::uint8_t* bits, int w, int h, const std::string& folder) {
    SaveComparison c;
    auto differ = [&c](const std::string& what) {
        c.same = false;
        c.difference += what;
    };
    const std::wstring path = FromUtf8(source);
    CImageProcessor ours, plain;
    for (CImageProcessor* p : {&ours, &plain}) {
        if (!p->ReadFileBytes(path.c_str()) || !p->LoadImageFile(path.c_str(), 1)) {
            differ("source not loaded; ");
            return c;
        }
        p->fileType = format;
    }

    CRaster a(RASTER_FORMAT_BMP), b(RASTER_FORMAT_BMP);
    const bool madeA = ours.MakeSaveImage(kind, bits, w, h, a);
    const bool madeB = ref::MakeSaveImageViaBmp(plain, kind, bits, w, h, b);
    if (madeA != madeB) differ("made " + std::to_string(madeA) + " vs " + std::to_string(madeB) + "; ");
    if (madeA && madeB) {
        const std::string d = RasterDifference(a, b);
        if (!d.empty()) differ("image to encode: " + d);
    }
    if (!SameStoredHeaders(ours, plain)) differ("stored headers after making; ");

    // The processor's own save entry point against the plain image written
    // by the same format rules.
    const std::string ext = format == FILE_TYPE_PNG ? "png" : (format == FILE_TYPE_TIFF ? "tif" : "jpg");
    const std::wstring nameA = L"ours." + FromUtf8(ext), fileB = FromUtf8(folder + "/plain." + ext);
    const std::wstring fileA = FromUtf8(folder) + L"/" + nameA;
    files::Remove(fileA);
    files::Remove(fileB);
    ours.result = const_cast<BYTE*>(bits);
    ours.resultWidth = w;
    ours.resultHeight = h;
    using Kind = CImageProcessor::SaveKind;
    const bool savedA = kind == Kind::kGray8     ? ours.SaveGray8(FromUtf8(folder), nameA)
                        : kind == Kind::kBinary1 ? ours.SaveBinary1(FromUtf8(folder), nameA)
                                                 : ours.SaveColor24(FromUtf8(folder), nameA);
    CRaster b2(RASTER_FORMAT_BMP);
    const bool savedB =
        ref::MakeSaveImageViaBmp(plain, kind, bits, w, h, b2) && plain.WriteSaveImage(kind, b2, fileB);
    if (savedA != savedB) differ("written " + std::to_string(savedA) + " vs " + std::to_string(savedB) + "; ");
    if (savedA && savedB &&
        loadsave::FileBytes(ToUtf8(fileA)) != loadsave::FileBytes(ToUtf8(fileB)))
        differ("file bytes; ");
    if (!SameStoredHeaders(ours, plain)) differ("stored headers after saving; ");
    c.written = savedA && savedB;
    return c;
}
