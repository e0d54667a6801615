#include "processing/processor/ImageProcessor.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/core/CheckedSize.h"
#include "platform/core/Files.h"
#include "platform/core/LittleEndian.h"
#include "platform/core/Strings.h"
#include "platform/core/UserDialogs.h"
#include "processing/ImageBuffer.h"
#include "processing/PixelMath.h"
#include "processing/PixelRows.h"

namespace {

// The working images as a decoder's row target: colour rows land in the
// colour image, and each row's grey is made while the row is still in
// cache; grey rows land in the grey image (whose palette, when it is not
// the plain ramp, is applied afterwards). Every row is written whole by the
// decoder, so only the rows' padding is zeroed beforehand.
class WorkingRows final : public CRasterRowTarget {
public:
    PixelBuffer colour, grey;

    BYTE* ProvideRows(DWORD w, DWORD h, DWORD bitsPerPixel, std::size_t rowBytes) override {
        colour.reset();
        grey.reset();
        if ((bitsPerPixel != 8 && bitsPerPixel != 24) || rowBytes != px::StrideFor(w, static_cast<int>(bitsPerPixel)))
            return nullptr;
        width_ = w;
        grey = AllocPixelsUnfilled(w, h, 8);
        if (grey && bitsPerPixel == 24) colour = AllocPixelsUnfilled(w, h, 24);
        if (!grey || (bitsPerPixel == 24 && !colour)) {
            grey.reset();
            return nullptr;
        }
        return colour ? colour.get() : grey.get();
    }

    void RowsWritten(DWORD first, DWORD count) override {
        if (!colour) return;
        const std::size_t s24 = px::Stride24(width_), s8 = px::Stride8(width_);
        for (std::size_t y = first; y < std::size_t{first} + count; ++y)
            px::GreyRow(colour.get() + y * s24, grey.get() + y * s8, width_);
    }

    // True when `image` holds its rows in these buffers.
    bool Holds(const CRaster& image) const {
        return image.HasRowsOutside() && grey && image.GetBits(0) == (colour ? colour.get() : grey.get());
    }

private:
    std::size_t width_ = 0;
};

bool TakeImage(CImageProcessor& p, const CRaster& image, WorkingRows* delivered);

}  // namespace

CImageProcessor::CImageProcessor() = default;

CImageProcessor::~CImageProcessor() {
    ReleaseBuffers(false);
    // Page files of a file that was never assembled (a failed or abandoned
    // file) do not outlive the processor.
    RemoveTempPageFolder();
}

ImageFileType CImageProcessor::FileTypeOf(const std::wstring& path) {
    if (path.size() <= 4) return FILE_TYPE_SHORT_NAME;
    const std::wstring lower = AsciiLower(path);
    auto endsWith = [&](std::wstring_view tail) {
        return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (endsWith(L"tif") || endsWith(L"tiff")) return FILE_TYPE_TIFF;
    if (endsWith(L"png")) return FILE_TYPE_PNG;
    if (endsWith(L"pdf")) return FILE_TYPE_PDF;
    return FILE_TYPE_JPEG;
}

void CImageProcessor::ShowDepthError() { MessageBoxW(L"出错了哦(Error accour)", kDefaultCaption, MB_OK); }

void CImageProcessor::SetResult(BYTE* bits, std::int32_t w, std::int32_t h) {
    result = bits;
    resultWidth = w;
    resultHeight = h;
}

bool CImageProcessor::LetGoOfResult(const BYTE* buffer) {
    if (!result || result != buffer) return false;
    result = nullptr;
    return true;
}

void CImageProcessor::ReleaseBuffers(bool keepFileBytes) {
    sourceHeaderCopy.reset();
    sourceHeaderSize = 0;
    greyImage.reset();
    canvas.reset();
    binaryImage.reset();
    colourImage.reset();
    oneBitCopy.reset();
    colourCut.reset();
    whiteCut.reset();
    cutScratch.reset();
    contrastCopy.reset();
    sizeCanvas.reset();
    turnCanvas.reset();
    sealCanvas.Release();
    // The result pointed into one of the buffers above.
    LetGoOfResult(result);
    if (!keepFileBytes) {
        fileBytes.reset();
        fileSize = 0;
    }
}

// ---- Loading ----

bool CImageProcessor::ReadFileBytes(const wchar_t* path) {
    if (!path || !files::IsRegularFile(path)) return false;
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = false;
    struct stat st;
    // Sizes are 32-bit further on (the decoders take the block's size as
    // such), so files of 2 GiB or more are refused.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 && st.st_size < INT32_MAX) {
        const auto size = static_cast<std::size_t>(st.st_size);
        fileBytes.reset(new (std::nothrow) BYTE[size == 0 ? 1 : size]);
        fileSize = size;
        if (fileBytes) {
            std::size_t done = 0;
            while (done < size) {
                const ssize_t n = ::read(fd, fileBytes.get() + done, size - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            ok = done == size;
        } else {
            fileSize = 0;
        }
    }
    ::close(fd);
    return ok;
}

bool CImageProcessor::LoadImageFile(const wchar_t* path, BYTE first) {
    if (!path || !files::Exists(path) || !fileBytes) return false;
    if (first) {
        fileType = FileTypeOf(path);
        pageCount = 1;
        currentPage = 0;
    }
    const bool ok = DecodeCurrentPage(first);
    // The file bytes go once the last page has been decoded.
    if (currentPage >= pageCount - 1) {
        fileBytes.reset();
        fileSize = 0;
    }
    return ok;
}

bool CImageProcessor::DecodeCurrentPage(BYTE first) {
    WorkingRows rows;
    try {
        bool decoded;
        if (fileType == FILE_TYPE_TIFF) {
            codecImage.SelectFrame(first ? 0 : currentPage);
            decoded = codecImage.DecodeFromMemory(fileBytes.get(), static_cast<DWORD>(fileSize), RASTER_FORMAT_TIF);
            // A file whose page chain is cut has lost pages: it is a damaged
            // file, never saved with the pages that are left.
            if (first && decoded && codecImage.IsFrameChainCut()) {
                codecImage.Destroy();
                return false;
            }
            if (first && decoded) {
                sourceCompression = static_cast<std::int32_t>(codecImage.GetFormatOption(RASTER_FORMAT_TIF));
                multiPageSource = 1;
                pageCount = codecImage.GetFrameCount() > 0 ? codecImage.GetFrameCount() : 1;
            }
        } else {
            const DWORD type = fileType == FILE_TYPE_PNG ? RASTER_FORMAT_PNG : RASTER_FORMAT_JPG;
            // A JPEG page is decoded straight into the working images.
            if (type == RASTER_FORMAT_JPG) codecImage.SetRowTarget(&rows);
            decoded = codecImage.DecodeFromMemory(fileBytes.get(), static_cast<DWORD>(fileSize), type);
            codecImage.SetRowTarget(nullptr);
            multiPageSource = 0;
        }
        if (!decoded) {
            codecImage.Destroy();
            return false;
        }

        dpiX = codecImage.GetDpiX();
        dpiY = codecImage.GetDpiY();
        const bool taken = TakeImage(*this, codecImage, &rows);
        codecImage.Destroy();  // the codec image keeps no pixels between steps
        return taken;
    } catch (...) {
        codecImage.SetRowTarget(nullptr);
        codecImage.Destroy();
        return false;
    }
}

namespace {

constexpr std::size_t kBmpHeaders = 14 + 40;
// The codecs' streams count in signed 32-bit positions: a page whose BMP
// form would reach 2 GiB is not taken.
constexpr std::uint64_t kMaxBmpBytes = static_cast<std::uint64_t>(INT32_MAX);

// Grey level of palette entry `index` of a BMP palette (B, G, R, reserved).
BYTE PaletteGrey(const BYTE* palette, std::size_t index) {
    const BYTE* e = palette + index * 4;
    return px::Grey(e[0], e[1], e[2]);
}

// The decoded page in the form of a BMP file, which is what the working
// images and the saved headers are taken from: the file header, info
// header and palette that the BMP writer puts before the pixels, followed
// by the first four pixel bytes (the stored info header reaches into them
// when there is no palette), and where the pixel rows are. The rows are the
// image's own: the writer copies the DIB block after its info header as it
// is. A page with an alpha plane and no palette has the writer's 32-bit
// form, whose B, G, R bytes are the image's 24-bit rows.
struct BmpForm {
    std::vector<BYTE> head;
    std::uint64_t total = 0;     // bytes of the whole file
    const BYTE* rows = nullptr;  // row 0 of the pixels
    std::size_t rowPitch = 0;    // bytes between rows of the 32-bit form (0: the form's own row length)
    std::size_t pixelStep = 0;   // bytes between pixels of the 32-bit form (0: 4)
};

bool DescribeBmpForm(const CRaster& image, BmpForm& form) {
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih = image.GetHeader();
    fh.bfType = 0x4D42;
    std::size_t paletteBytes = 0;
    BYTE first[4] = {};
    if (image.HasPalette() || !image.HasAlphaPlane()) {
        paletteBytes = image.GetPaletteSize();
        fh.bfSize = image.GetSize() + kBitmapFileHeaderSize;
        fh.bfOffBits = kBitmapFileHeaderSize + kBitmapInfoHeaderSize + image.GetPaletteSize();
        form.total = kBitmapFileHeaderSize + static_cast<std::uint64_t>(image.GetSize());
        form.rows = image.GetBits(0);
        const std::uint64_t pixelBytes = form.total - std::min<std::uint64_t>(form.total, kBmpHeaders + paletteBytes);
        std::memcpy(first, form.rows, static_cast<std::size_t>(std::min<std::uint64_t>(4, pixelBytes)));
    } else {
        const std::uint64_t imageSize = static_cast<std::uint64_t>(image.GetWidth()) * 4 * image.GetHeight();
        if (imageSize + kBmpHeaders > UINT32_MAX) return false;
        ih.biSize = kBitmapInfoHeaderSize;
        ih.biBitCount = 32;
        ih.biCompression = BI_RGB;
        ih.biSizeImage = static_cast<DWORD>(imageSize);
        ih.biClrUsed = 0;
        fh.bfSize = ih.biSizeImage + kBitmapInfoHeaderSize + kBitmapFileHeaderSize;
        fh.bfOffBits = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
        form.total = kBmpHeaders + imageSize;
        form.rows = image.GetBits(0);
        form.rowPitch = image.GetRowBytes();
        form.pixelStep = 3;
        std::memcpy(first, form.rows, 3);
        first[3] = image.GetAlphaPlane()[0];
    }
    if (form.total > kMaxBmpBytes) return false;
    form.head.resize(kBmpHeaders + paletteBytes + 4);
    le::WriteFileHeader(form.head.data(), fh);
    le::WriteInfoHeader(form.head.data() + 14, ih);
    if (paletteBytes > 0) std::memcpy(form.head.data() + kBmpHeaders, image.GetDib() + kBitmapInfoHeaderSize, paletteBytes);
    std::memcpy(form.head.data() + kBmpHeaders + paletteBytes, first, 4);
    return true;
}

// The pixel rows of a page's BMP form with the palette before them.
struct BmpRows {
    const BmpForm& form;
    std::size_t pitch;  // bytes from row to row
    std::size_t width, height;
    const BYTE* palette;
    std::size_t paletteEntries;
    const BYTE* Row(std::size_t y) const { return form.rows + y * pitch; }
};

// 8 bits: indices are turned into grey through the palette (whatever its
// length); without a palette the bytes are grey levels already.
void GreyLut(const BmpRows& rows, BYTE* lut) {
    for (std::size_t i = 0; i < 256; ++i)
        lut[i] = i < rows.paletteEntries ? PaletteGrey(rows.palette, i) : static_cast<BYTE>(i);
}

void GreyFromIndices(const BmpRows& rows, BYTE* grey) {
    BYTE lut[256];
    GreyLut(rows, lut);
    const std::size_t s8 = px::Stride8(rows.width);
    for (std::size_t y = 0; y < rows.height; ++y) {
        const BYTE* src = rows.Row(y);
        BYTE* dst = grey + y * s8;
        if (rows.paletteEntries == 0) {
            std::memcpy(dst, src, rows.width);
        } else {
            px::LookupRow(src, dst, rows.width, lut);
        }
    }
}

// 1 bit: set bits take the grey of palette entry 1, clear bits that of
// entry 0, most significant bit first.
void GreyFromBits(const BmpRows& rows, BYTE* grey) {
    const BYTE g0 = rows.paletteEntries > 0 ? PaletteGrey(rows.palette, 0) : 0;
    const BYTE g1 = rows.paletteEntries > 1 ? PaletteGrey(rows.palette, 1) : 0;
    const std::size_t s8 = px::Stride8(rows.width);
    for (std::size_t y = 0; y < rows.height; ++y) {
        const BYTE* src = rows.Row(y);
        BYTE* dst = grey + y * s8;
        for (std::size_t x = 0; x < rows.width; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? g1 : g0;
    }
}

// 24 and 32 bits: the colour image keeps B, G, R (a 32-bit form drops its
// fourth byte); grey is computed from it.
void ColourAndGreyFromPixels(const BmpRows& rows, int bits, BYTE* colour, BYTE* grey) {
    const std::size_t step = bits == 24 ? 3 : (rows.form.pixelStep != 0 ? rows.form.pixelStep : 4);
    const std::size_t w = rows.width;
    const std::size_t s8 = px::Stride8(w);
    const std::size_t s24 = px::Stride24(w);
    for (std::size_t y = 0; y < rows.height; ++y) {
        const BYTE* src = rows.Row(y);
        BYTE* dst = colour + y * s24;
        if (step == 3) {
            std::memcpy(dst, src, w * 3);
        } else {
            for (std::size_t x = 0; x < w; ++x) {
                dst[3 * x] = src[step * x];
                dst[3 * x + 1] = src[step * x + 1];
                dst[3 * x + 2] = src[step * x + 2];
            }
        }
        px::GreyRow(dst, grey + y * s8, w);
    }
}

// Indices decoded in place into the grey image turned into grey levels,
// as GreyFromIndices would turn them; nothing to do for the plain ramp.
void GreyInPlace(const BmpRows& rows, BYTE* grey) {
    BYTE lut[256];
    GreyLut(rows, lut);
    bool identity = true;
    for (std::size_t i = 0; i < 256; ++i) identity = identity && lut[i] == i;
    if (identity) return;
    const std::size_t s8 = px::Stride8(rows.width);
    for (std::size_t y = 0; y < rows.height; ++y) px::LookupRow(grey + y * s8, grey + y * s8, rows.width, lut);
}

// The decoded page taken as the working images and stored source headers.
// `delivered`, when the image's rows are in its buffers, gives the working
// images without another copy.
bool TakeImage(CImageProcessor& p, const CRaster& image, WorkingRows* delivered) {
    BmpForm form;
    if (!image.IsValid() || !DescribeBmpForm(image, form) || form.total < kBmpHeaders + 4) return false;
    const BYTE* head = form.head.data();
    std::memcpy(p.sourceFileHeader, head, sizeof p.sourceFileHeader);
    std::memcpy(p.sourceInfoHeader, head + 14, sizeof p.sourceInfoHeader);
    const BITMAPFILEHEADER fh = le::ReadFileHeader(head);
    const BITMAPINFOHEADER ih = le::ReadInfoHeader(head + 14);
    const int bits = ih.biBitCount;
    if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return false;
    if (ih.biWidth <= 0 || ih.biHeight <= 0) return false;

    const std::size_t w = static_cast<std::size_t>(ih.biWidth);
    const std::size_t h = static_cast<std::size_t>(ih.biHeight);
    const std::size_t offset = fh.bfOffBits;
    const auto rowBytes = checked::DibRowBytes(w, static_cast<std::uint64_t>(bits));
    const auto pixelBytes = rowBytes ? checked::Mul(*rowBytes, h) : std::nullopt;
    const auto end = pixelBytes ? checked::Add(offset, *pixelBytes) : std::nullopt;
    if (offset < kBmpHeaders || !end || *end > form.total) return false;

    // Working images at the page's size.
    p.greyImage.reset();
    p.colourImage.reset();
    p.oneBitCopy.reset();
    const bool inPlace = delivered && delivered->Holds(image) && (bits == 8 || bits == 24);
    PixelBuffer grey, colour;
    if (inPlace) {
        grey = std::move(delivered->grey);
        colour = std::move(delivered->colour);
    } else {
        grey = AllocPixels(ih.biWidth, ih.biHeight, 8);
        colour = (bits >= 24) ? AllocPixels(ih.biWidth, ih.biHeight, 24) : nullptr;
    }
    if (!grey || (bits >= 24 && !colour)) return false;

    p.width = ih.biWidth;
    p.height = ih.biHeight;
    p.sourceDepth = bits == 32 ? 24 : bits;

    const BmpRows rows{form, form.rowPitch != 0 ? form.rowPitch : *rowBytes, w, h, head + kBmpHeaders,
                       (offset - kBmpHeaders) / 4};
    if (inPlace) {
        // Colour rows and their grey are there already.
        if (bits == 8) GreyInPlace(rows, grey.get());
    } else if (bits == 8) {
        GreyFromIndices(rows, grey.get());
    } else if (bits == 1) {
        GreyFromBits(rows, grey.get());
    } else {
        ColourAndGreyFromPixels(rows, bits, colour.get(), grey.get());
    }
    // Every page is worked on as 8-bit grey (with its colour image beside).
    p.workingDepth = 8;
    p.greyImage = std::move(grey);
    p.colourImage = std::move(colour);

    p.sourceHeaderCopy.reset(new (std::nothrow) BYTE[offset]);
    if (!p.sourceHeaderCopy) return false;
    std::memcpy(p.sourceHeaderCopy.get(), head, offset);
    p.sourceHeaderSize = offset;
    return true;
}

}  // namespace

bool CImageProcessor::TakePixelsFromImage(const CRaster& image) { return TakeImage(*this, image, nullptr); }

// ---- The file's road ----

bool CImageProcessor::ProcessFile(const std::wstring& path, std::int32_t quickStepBits,
                                  const std::wstring* folder, const std::wstring* name, std::int32_t itemIndex,
                                  BYTE first) {
    sourcePath = path;
    quickSteps = quickStepBits;
    if (folder) outputFolder = *folder;
    if (name) outputName = *name;
    if (first) {
        droppedPages.clear();
        keptPageCount = 0;
        failReason.clear();
    }
    // One page after another on this thread; a loop, so the page count does
    // not deepen the stack.
    for (;;) {
        if (!LoadImageFile(path.c_str(), first)) {
            RemoveTempPageFolder();
            return false;
        }
        RunPage(path, quickStepBits, folder, name, itemIndex);
        // A page that could not be made as asked is never saved in another
        // form: the file fails, with none of its pages kept.
        if (!failReason.empty()) {
            RemoveTempPageFolder();
            return false;
        }
        switch (FinishPage(itemIndex)) {
        case PageEnd::kNextPage:
            first = 0;
            continue;
        case PageEnd::kFinished:
            return true;
        case PageEnd::kFailed:
            return false;
        }
    }
}

CImageProcessor::PageEnd CImageProcessor::FinishPage(std::int32_t itemIndex) {
    if (currentPage < pageCount - 1) {
        if (fileType == FILE_TYPE_TIFF && !SaveTiffPage()) {
            RemoveTempPageFolder();
            return PageEnd::kFailed;
        }
        ReleaseBuffers(true);
        ++currentPage;
        return PageEnd::kNextPage;
    }
    if (pageCount > 1 && !SaveTiffPage()) {
        RemoveTempPageFolder();
        return PageEnd::kFailed;
    }
    const HWND mainWindow = GetMainWindowHandle();
    if (mainWindow)
        PostMessage(mainWindow, WM_IMAGE_PROCESSED, reinterpret_cast<WPARAM>(this),
                    static_cast<LPARAM>(itemIndex));
    return PageEnd::kFinished;
}
