// CRaster: the in-memory image. A device-independent bitmap in one heap block
// (40-byte BITMAPINFOHEADER, palette, pixel rows bottom-up padded to four
// bytes), a copy of its header and an information block with everything the
// codecs read or write besides the pixels. Codec classes (CRasterBMP,
// CRasterJPG, CRasterPNG, CRasterTIF) derive from it; the dispatch (Decode,
// Encode, Load, Save) creates one for each call and moves the result into
// the caller's image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/core/WinTypes.h"

class CByteStream;

// Image type codes.
constexpr DWORD RASTER_FORMAT_UNKNOWN = 0;  // none / try every format
constexpr DWORD RASTER_FORMAT_BMP = 1;
constexpr DWORD RASTER_FORMAT_JPG = 3;
constexpr DWORD RASTER_FORMAT_PNG = 4;
constexpr DWORD RASTER_FORMAT_TIF = 6;

// Values read from a JPEG file's Exif segment and frame header.
struct ExifInfo {
    char version[5];
    char cameraMake[32];
    char cameraModel[40];
    char dateTime[20];
    std::int32_t height;
    std::int32_t width;
    std::int32_t orientation;  // 1..8, 0 when absent or invalid
    std::int32_t isColour;
    std::int32_t process;
    std::int32_t flashUsed;
    float focalLength;
    float exposureTime;
    float apertureNumber;
    float distance;
    float sensorWidth;
    float exposureBias;
    std::int32_t whiteBalance;
    std::int32_t meteringMode;
    std::int32_t exposureProgram;
    std::int32_t isoEquivalent;
    std::int32_t compressionLevel;
    float focalPlaneXRes;
    float focalPlaneYRes;
    float focalPlaneUnit;
    float xResolution;
    float yResolution;
    float resolutionUnit;
    float brightness;
    char comments[256];
    // The thumbnail's place inside the Exif segment (offset from the start of
    // the segment's data); 0 and 0 when there is none.
    std::uint32_t thumbnailOffset;
    std::uint32_t thumbnailSize;
    std::uint8_t isExif;
};

// Everything about an image besides its pixels. Copied between an image and
// its codec object; holds no pointers, so a copy never shares ownership.
struct RasterInfo {
    DWORD rowBytes;
    DWORD type;
    char lastError[256];
    std::int32_t progress;
    std::int32_t cancel;
    std::int32_t transparentIndex;
    RGBQUAD transparentColour;
    float jpegQuality;
    std::uint8_t scaleDenominator;
    std::int32_t frame;
    std::int32_t frameCount;
    std::uint8_t frameChainCut;  // the TIFF's directory chain ends in a link that cannot be followed
    DWORD frameDelay;
    std::int32_t dpiX;
    std::int32_t dpiY;
    RECT selectionBox;
    std::uint8_t maxOpacity;
    std::uint8_t alphaPalette;
    std::uint8_t enabled;
    std::int32_t offsetX;
    std::int32_t offsetY;
    DWORD codecOptions[5];
    RGBQUAD lastNearestColour;
    std::uint8_t lastNearestIndex;
    std::uint8_t nearestValid;
    std::int32_t layerCount;
    DWORD flags;
    std::uint8_t disposeMethod;
    std::uint8_t allFrames;
    std::uint8_t littleEndianHost;
    ExifInfo exif;
};

// Memory that a decoder may write an image's pixel rows into instead of the
// image's own block, so that a caller which keeps the pixels in buffers of
// its own gets them there without a copy. The JPEG decoder offers its rows
// when the picture needs no turn afterwards; every other decode keeps them
// in the image's block.
class CRasterRowTarget {
public:
    virtual ~CRasterRowTarget() = default;
    // Memory for the rows of an image of this size and depth, laid out as
    // the image's own (row 0 at the bottom, `rowBytes` from row to row), or
    // null to leave them in the image's block. The decoder writes the
    // pixels of every row and never its padding.
    virtual BYTE* ProvideRows(DWORD width, DWORD height, DWORD bitsPerPixel, std::size_t rowBytes) = 0;
    // Rows [first, first + count) (row numbers as in GetBits) are complete.
    virtual void RowsWritten(DWORD first, DWORD count) = 0;
};

class CRaster {
public:
    explicit CRaster(DWORD type = RASTER_FORMAT_UNKNOWN);
    // Decodes the memory block at once; test IsValid() for the result.
    CRaster(const BYTE* buffer, DWORD size, DWORD type);
    CRaster(const CRaster& source, bool copyPixels, bool copySelection = true, bool copyAlpha = true);
    CRaster(const CRaster&) = delete;
    CRaster& operator=(const CRaster&) = delete;
    virtual ~CRaster();

    // ---- life cycle ----
    // Creates a zero-filled image; depth 1, 4, 8 or 24 (requests are rounded
    // up to one of them). Returns the DIB block, or null with the reason in
    // the last-error text.
    void* Create(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD type = RASTER_FORMAT_UNKNOWN);
    bool Destroy();
    bool FreeFrameList();
    // True when Create would accept the size (sides up to 65535, at most
    // 2 GiB of pixels); otherwise sets the last-error text. Decoders ask
    // before they let a library allocate for a size from a file.
    bool FitsLimits(std::uint64_t width, std::uint64_t height, DWORD bitsPerPixel);
    void CopyFrom(const CRaster& source, bool copyPixels = true, bool copySelection = true,
                  bool copyAlpha = true);
    void ShareFrom(const CRaster* source);
    bool TakeFrom(CRaster& source, bool takeFrames = true);
    void CopyInfoFrom(const CRaster& source);

    // ---- codec dispatch ----
    bool Decode(CByteStream* stream, DWORD type, bool headerOnly = false);
    bool Decode(std::FILE* stream, DWORD type, bool headerOnly = false);
    bool DecodeFromMemory(const BYTE* buffer, DWORD size, DWORD type);
    bool Load(const wchar_t* path, DWORD type = RASTER_FORMAT_UNKNOWN, bool headerOnly = false);
    bool Load(const std::wstring& path, DWORD type = RASTER_FORMAT_UNKNOWN, bool headerOnly = false) {
        return Load(path.c_str(), type, headerOnly);
    }
    bool Encode(CByteStream* stream, DWORD type);
    bool Encode(std::FILE* stream, DWORD type);
    // `buffer` must be null on entry; on success it receives a block the
    // caller frees with std::free, and `size` its length.
    bool EncodeToMemory(BYTE*& buffer, std::int32_t& size, DWORD type);
    bool Save(const wchar_t* path, DWORD type);
    bool Save(const std::wstring& path, DWORD type) { return Save(path.c_str(), type); }
    // True when encoding must not start (null stream or no image); sets the
    // last-error text.
    bool CheckEncodable(CByteStream* stream);

    // ---- accessors ----
    DWORD GetWidth() const { return static_cast<DWORD>(m_head.biWidth); }
    DWORD GetHeight() const { return static_cast<DWORD>(m_head.biHeight); }
    WORD GetBitsPerPixel() const { return m_head.biBitCount; }
    DWORD GetType() const { return m_info.type; }
    DWORD GetColourCount() const { return m_head.biClrUsed; }
    bool HasPalette() const { return m_head.biClrUsed != 0; }
    bool IsValid() const { return m_dib != nullptr; }
    std::int32_t GetDpiX() const { return m_info.dpiX; }
    std::int32_t GetDpiY() const { return m_info.dpiY; }
    std::int32_t GetFrame() const { return m_info.frame; }
    std::int32_t GetFrameCount() const { return m_info.frameCount; }
    // The last TIFF decode found a page whose next-page link points where
    // no page can be read (a cut or damaged file): pages may be missing.
    bool IsFrameChainCut() const { return m_info.frameChainCut != 0; }
    const char* GetLastError() const { return m_info.lastError; }
    BYTE GetQuality() const { return static_cast<BYTE>(m_info.jpegQuality + 0.5f); }
    BYTE GetScaleDenominator() const { return m_info.scaleDenominator; }
    DWORD GetRowBytes() const { return m_info.rowBytes; }
    // Start of a row (row 0 is the bottom row); null without a block or
    // for a row at or beyond the height.
    BYTE* GetBits(DWORD row = 0) const;
    // Total size of the DIB block: header, palette and pixels.
    DWORD GetSize() const;
    RGBQUAD* GetPalette() const;
    DWORD GetPaletteSize() const { return m_head.biClrUsed * 4; }
    RGBQUAD GetTransparentColour() const;
    std::int32_t GetTransparentIndex() const { return m_info.transparentIndex; }
    bool IsInside(std::int64_t x, std::int64_t y) const {
        return x >= 0 && y >= 0 && x < m_head.biWidth && y < m_head.biHeight;
    }
    // The DIB block (header, palette, pixels) or null.
    BYTE* GetDib() const { return m_dib; }
    const BITMAPINFOHEADER& GetHeader() const { return m_head; }
    const RasterInfo& GetInfo() const { return m_info; }
    const ExifInfo& GetExifInfo() const { return m_info.exif; }
    ExifInfo& ExifBlock() { return m_info.exif; }
    const RECT& GetSelectionBox() const { return m_info.selectionBox; }
    bool IsSharing() const { return m_shareSource != nullptr; }
    // The pixel rows are in memory the image does not own (a row target's
    // or a caller's, see CreateOverRows); the block holds header and palette.
    bool HasRowsOutside() const { return m_rowsOutside; }

    // The row target the next decode offers its rows to (null: none). Not
    // owned; it must outlive the decode.
    void SetRowTarget(CRasterRowTarget* target) { m_rowTarget = target; }
    CRasterRowTarget* GetRowTarget() const { return m_rowTarget; }
    // An image over rows the caller keeps (laid out as Create would lay
    // them out, padding included) for encoding them without a copy: the
    // block holds the header and a zeroed palette only. The rows must
    // outlive the image, or its next Create or Destroy.
    void* CreateOverRows(DWORD width, DWORD height, DWORD bitsPerPixel, BYTE* rows, DWORD type = RASTER_FORMAT_UNKNOWN);

    // ---- setters ----
    void SelectFrame(std::int32_t index) { m_info.frame = index; }
    void SetQuality(BYTE quality) { m_info.jpegQuality = static_cast<float>(quality); }
    void SetDpiX(std::int32_t dpi);
    void SetDpiY(std::int32_t dpi);
    bool SetFormatOption(DWORD option, DWORD type = RASTER_FORMAT_UNKNOWN);
    DWORD GetFormatOption(DWORD type = RASTER_FORMAT_UNKNOWN) const;
    static int GetOptionSlot(DWORD type);
    void SetLastError(const char* text);
    void SetTransparentIndex(std::int32_t index) { m_info.transparentIndex = index; }
    void SetTransparentColour(RGBQUAD colour) { m_info.transparentColour = colour; }

    std::size_t EstimateBytesHeld() const;

    // ---- turns ----
    // Turns the picture upright by an Exif orientation (1..8); 0 or less uses
    // the stored one. The stored orientation becomes 1.
    bool RotateByOrientation(std::int32_t orientation = 0);
    bool Flip(bool flipSelection = true, bool flipAlpha = true);
    bool Mirror(bool mirrorSelection = true, bool mirrorAlpha = true);
    bool Rotate180();
    bool RotateCW();
    bool RotateCCW();
    // Mirror across the main diagonal (Exif orientation 5) and across the
    // other diagonal (orientation 7).
    bool Transpose();
    bool Transverse();

    // ---- palette and pixels (x, y in DIB coordinates, row 0 at the bottom) ----
    RGBQUAD GetPaletteEntry(BYTE index) const;
    bool GetPaletteComponents(BYTE index, BYTE* red, BYTE* green, BYTE* blue) const;
    void SetPalette(const RGBQUAD* entries, DWORD count);
    void SetPaletteFromComponents(DWORD count, const BYTE* reds, const BYTE* greens, const BYTE* blues);
    void SetPaletteTriples(const BYTE* triples, DWORD count);
    void SetPaletteEntry(BYTE index, BYTE red, BYTE green, BYTE blue, BYTE alpha = 0);
    void SetPaletteEntry(BYTE index, RGBQUAD colour);
    void MakeGreyRamp();
    bool HasGreyRamp() const;
    void SetImportantCount(DWORD count);
    void ExchangeIndices(BYTE a, BYTE b);
    void ExchangeRedBlue(BYTE* buffer, std::size_t length) const;
    BYTE FindNearestIndex(RGBQUAD colour);
    BYTE GetIndexAt(std::int64_t x, std::int64_t y) const;
    void SetIndexAt(std::int64_t x, std::int64_t y, BYTE index);
    RGBQUAD GetColourAt(std::int64_t x, std::int64_t y, bool withAlpha = true) const;
    void SetColourAt(std::int64_t x, std::int64_t y, RGBQUAD colour, bool setAlpha = false);
    BYTE GetIndexFast(DWORD x, DWORD y) const;
    void SetIndexFast(DWORD x, DWORD y, BYTE index);
    RGBQUAD GetColourFast(DWORD x, DWORD y) const;
    BYTE* GetPixelAddress(DWORD x, DWORD y) const;
    void Clear(BYTE value = 0);

    // ---- selection and alpha planes ----
    bool CreateSelectionPlane();
    void FreeSelectionPlane();
    void SetSelectionByte(std::int64_t x, std::int64_t y, BYTE value);
    BYTE GetSelectionByte(std::int64_t x, std::int64_t y) const;
    bool HasSelectionPlane() const { return m_selection != nullptr; }
    bool FlipSelectionPlane();
    bool MirrorSelectionPlane();
    bool CreateAlphaPlane();
    void FreeAlphaPlane();
    bool HasAlphaPlane() const { return m_alpha != nullptr; }
    BYTE GetAlphaAt(std::int64_t x, std::int64_t y) const;
    void SetAlphaAt(std::int64_t x, std::int64_t y, BYTE value);
    BYTE GetAlphaFast(DWORD x, DWORD y) const { return m_alpha[static_cast<std::size_t>(y) * GetWidth() + x]; }
    BYTE* GetAlphaAddress(std::int64_t x, std::int64_t y) const;
    void InvertAlphaPlane();
    bool FlipAlphaPlane();
    bool MirrorAlphaPlane();
    BYTE* GetAlphaPlane() const { return m_alpha; }
    BYTE* GetSelectionPlane() const { return m_selection; }

protected:
    void Init(DWORD type);
    // Create, with the rows in `outsideRows` when it is not null.
    void* CreateBlock(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD type, BYTE* outsideRows);
    // Create for a decoder: the rows go to the row target when it takes them.
    void* CreateForDecode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD type);
    // Writes the header copy into the first 40 bytes of the DIB block.
    void WriteHeaderIntoDib();
    // Shared by the quarter turns: `map` gives the destination of every
    // source pixel. Keeps the planes and the selection box in step.
    enum class Turn { CW, CCW, Half, Transpose, Transverse };
    bool TurnInto(Turn turn);
    static bool MirrorPlane(BYTE* plane, DWORD width, DWORD height);
    static bool FlipPlane(BYTE* plane, DWORD width, DWORD height);

    BYTE* m_dib = nullptr;           // owned heap block (std::malloc family)
    BITMAPINFOHEADER m_head{};
    RasterInfo m_info{};
    BYTE* m_bits = nullptr;          // row 0 inside m_dib
    const CRaster* m_shareSource = nullptr;
    BYTE* m_selection = nullptr;     // width x height bytes, owned
    BYTE* m_alpha = nullptr;         // width x height bytes, owned, row 0 at the bottom
    bool m_rowsOutside = false;      // m_bits is not inside m_dib and not owned
    CRasterRowTarget* m_rowTarget = nullptr;
};
