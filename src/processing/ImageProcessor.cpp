#include "processing/ImageProcessor.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "image/ByteStream.h"
#include "platform/core/CheckedSize.h"
#include "platform/core/Files.h"
#include "platform/core/LittleEndian.h"
#include "platform/core/Strings.h"
#include "platform/core/UserDialogs.h"
#include "processing/PixelMath.h"

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
    // The result pointed into one of the buffers above.
    result = nullptr;
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
    try {
        bool decoded;
        if (fileType == FILE_TYPE_TIFF) {
            codecImage.SelectFrame(first ? 0 : currentPage);
            decoded = codecImage.DecodeFromMemory(fileBytes.get(), static_cast<DWORD>(fileSize), RASTER_FORMAT_TIF);
            if (first && decoded) {
                sourceCompression = static_cast<std::int32_t>(codecImage.GetFormatOption(RASTER_FORMAT_TIF));
                multiPageSource = 1;
                pageCount = codecImage.GetFrameCount() > 0 ? codecImage.GetFrameCount() : 1;
            }
        } else {
            const DWORD type = fileType == FILE_TYPE_PNG ? RASTER_FORMAT_PNG : RASTER_FORMAT_JPG;
            decoded = codecImage.DecodeFromMemory(fileBytes.get(), static_cast<DWORD>(fileSize), type);
            multiPageSource = 0;
        }
        if (!decoded) return false;

        // Every source goes through an in-memory BMP, so the rest of the
        // program sees only the raw layouts.
        CMemStream bmp;
        const bool encoded = bmp.Open() && codecImage.Encode(&bmp, RASTER_FORMAT_BMP);
        dpiX = codecImage.GetDpiX();
        dpiY = codecImage.GetDpiY();
        codecImage.Destroy();  // the codec image keeps no pixels between steps
        if (!encoded || bmp.Size() <= 0) return false;
        return TakePixelsFromBmp(bmp.GetBuffer(false), static_cast<std::size_t>(bmp.Size()));
    } catch (...) {
        codecImage.Destroy();
        return false;
    }
}

namespace {

// Grey level of palette entry `index` of a BMP palette (B, G, R, reserved).
BYTE PaletteGrey(const BYTE* palette, std::size_t index) {
    const BYTE* e = palette + index * 4;
    return px::Grey(e[0], e[1], e[2]);
}

// Fills `grey` (8-bit rows) from 24-bit rows.
void GreyFromColour(const BYTE* colour, BYTE* grey, std::size_t w, std::size_t h) {
    const std::size_t s24 = px::Stride24(w);
    const std::size_t s8 = px::Stride8(w);
    for (std::size_t y = 0; y < h; ++y) {
        const BYTE* c = colour + y * s24;
        BYTE* g = grey + y * s8;
        for (std::size_t x = 0; x < w; ++x, c += 3) g[x] = px::Grey(c[0], c[1], c[2]);
    }
}

}  // namespace

bool CImageProcessor::TakePixelsFromBmp(const BYTE* bmp, std::size_t size) {
    constexpr std::size_t kHeaders = 14 + 40;
    if (!bmp || size < kHeaders + 4) return false;
    std::memcpy(sourceFileHeader, bmp, sizeof sourceFileHeader);
    std::memcpy(sourceInfoHeader, bmp + 14, sizeof sourceInfoHeader);
    const BITMAPFILEHEADER fh = le::ReadFileHeader(bmp);
    const BITMAPINFOHEADER ih = le::ReadInfoHeader(bmp + 14);
    const int bits = ih.biBitCount;
    if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return false;
    if (ih.biWidth <= 0 || ih.biHeight <= 0) return false;

    const std::size_t w = static_cast<std::size_t>(ih.biWidth);
    const std::size_t h = static_cast<std::size_t>(ih.biHeight);
    const std::size_t offset = fh.bfOffBits;
    const auto rowBytes = checked::DibRowBytes(w, static_cast<std::uint64_t>(bits));
    const auto pixelBytes = rowBytes ? checked::Mul(*rowBytes, h) : std::nullopt;
    const auto end = pixelBytes ? checked::Add(offset, *pixelBytes) : std::nullopt;
    if (offset < kHeaders || !end || *end > size) return false;

    // Working images at the page's size.
    greyImage.reset();
    colourImage.reset();
    oneBitCopy.reset();
    PixelBuffer grey = AllocPixels(ih.biWidth, ih.biHeight, 8);
    PixelBuffer colour = (bits >= 24) ? AllocPixels(ih.biWidth, ih.biHeight, 24) : nullptr;
    if (!grey || (bits >= 24 && !colour)) return false;

    width = ih.biWidth;
    height = ih.biHeight;
    workingDepth = bits;
    sourceDepth = bits == 32 ? 24 : bits;

    const BYTE* rows = bmp + offset;
    const BYTE* palette = bmp + kHeaders;
    const std::size_t paletteEntries = (offset - kHeaders) / 4;
    const std::size_t s8 = px::Stride8(w);
    const std::size_t s24 = px::Stride24(w);
    switch (bits) {
    case 8: {
        // Indices are turned into grey through the palette (whatever its
        // length); without a palette the bytes are grey levels already.
        BYTE lut[256];
        for (std::size_t i = 0; i < 256; ++i)
            lut[i] = i < paletteEntries ? PaletteGrey(palette, i) : static_cast<BYTE>(i);
        for (std::size_t y = 0; y < h; ++y) {
            const BYTE* src = rows + y * *rowBytes;
            BYTE* dst = grey.get() + y * s8;
            if (paletteEntries == 0) {
                std::memcpy(dst, src, w);
            } else {
                for (std::size_t x = 0; x < w; ++x) dst[x] = lut[src[x]];
            }
        }
        break;
    }
    case 1: {
        oneBitCopy.reset(new (std::nothrow) BYTE[*pixelBytes]);
        if (!oneBitCopy) return false;
        std::memcpy(oneBitCopy.get(), rows, *pixelBytes);
        const BYTE g0 = paletteEntries > 0 ? PaletteGrey(palette, 0) : 0;
        const BYTE g1 = paletteEntries > 1 ? PaletteGrey(palette, 1) : 0;
        for (std::size_t y = 0; y < h; ++y) {
            const BYTE* src = oneBitCopy.get() + y * *rowBytes;
            BYTE* dst = grey.get() + y * s8;
            for (std::size_t x = 0; x < w; ++x)
                dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? g1 : g0;
        }
        oneBitCopy.reset();
        workingDepth = 8;
        break;
    }
    case 24:
        for (std::size_t y = 0; y < h; ++y) std::memcpy(colour.get() + y * s24, rows + y * *rowBytes, w * 3);
        GreyFromColour(colour.get(), grey.get(), w, h);
        workingDepth = 8;
        break;
    case 32:
        for (std::size_t y = 0; y < h; ++y) {
            const BYTE* src = rows + y * *rowBytes;
            BYTE* dst = colour.get() + y * s24;
            for (std::size_t x = 0; x < w; ++x) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
            }
        }
        GreyFromColour(colour.get(), grey.get(), w, h);
        workingDepth = 8;
        break;
    }
    greyImage = std::move(grey);
    colourImage = std::move(colour);

    sourceHeaderCopy.reset(new (std::nothrow) BYTE[offset]);
    if (!sourceHeaderCopy) return false;
    std::memcpy(sourceHeaderCopy.get(), bmp, offset);
    sourceHeaderSize = offset;
    return true;
}

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
    }
    // One page after another on this thread; a loop, so the page count does
    // not deepen the stack.
    for (;;) {
        if (!LoadImageFile(path.c_str(), first)) {
            RemoveTempPageFolder();
            return false;
        }
        RunPage(path, quickStepBits, folder, name, itemIndex);
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
