// Saving the processor's result in the format of its source: the in-memory
// BMP of the result at 1, 8 or 24 bits, handed to an image object (for a
// JPEG file one over the result's own rows) and saved with the output
// format, compression, quality and DPI choices; multi-page
// TIFF files assembled from their page files; comparison images; the copies
// of a detection run.
#include <algorithm>
#include <climits>
#include <cstring>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <tiffio.h>

#include "image/ByteStream.h"
#include "image/RasterBMP.h"
#include "image/RasterTIF.h"
#include "platform/core/CheckedSize.h"
#include "platform/core/Files.h"
#include "platform/core/LittleEndian.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "settings/PathHelpers.h"
#include "settings/ProcessSetting.h"

namespace {

constexpr std::size_t kBmpHeaders = 14 + 40;
// A 1-bit save writes a pixel of this level or darker as black: the middle
// grey belongs to the ink.
constexpr BYTE kOneBitBlackLevel = 128;

// TIFF compression codes.
constexpr std::int32_t kTiffOldJpeg = 6;
constexpr std::int32_t kTiffJpeg = 7;
constexpr std::int32_t kTiffLzw = 5;
constexpr std::int32_t kTiffGroup4 = 4;

BYTE JpegQuality() { return static_cast<BYTE>(std::clamp<std::int32_t>(ProcessSetting::filesave.jpgquality, 0, 100)); }

// A compression the TIFF writer can apply to a page of this depth: the
// fax codings hold only 1-bit pages and JPEG no 1-bit pages, so a page
// whose depth differs from the one the compression was chosen for (a mixed
// multi-page file) gets a lossless coding of its own instead.
std::int32_t CompressionForDepth(std::int32_t c, int depth) {
    if (c == 0) return 0;
    const bool faxOnly = c == COMPRESSION_CCITTRLE || c == COMPRESSION_CCITTFAX3 || c == COMPRESSION_CCITTFAX4 ||
                         c == COMPRESSION_CCITTRLEW;
    const bool configured = TIFFIsCODECConfigured(static_cast<uint16_t>(c)) != 0;
    if (depth == 1) return (c == kTiffJpeg || c == kTiffOldJpeg || !configured) ? kTiffGroup4 : c;
    return (faxOnly || !configured) ? kTiffLzw : c;
}

// Name and extension parts of an output name: base is the name up to its
// last dot, ext what follows it.
std::wstring BaseOf(const std::wstring& name) {
    const auto dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}
std::wstring ExtOf(const std::wstring& name) {
    const auto dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
}

// `base` + `suffix` when the name fits the file-name limit. A longer base is
// cut short (room kept for `reserve` more bytes after the suffix) and marked
// with a digest of the whole base, so distinct long names keep distinct
// names.
std::wstring FitName(const std::wstring& base, const std::wstring& suffix, std::size_t reserve = 0) {
    const std::size_t suffixBytes = ToUtf8(suffix).size() + reserve;
    const std::string baseBytes = ToUtf8(base);
    if (baseBytes.size() + suffixBytes <= files::kNameMaxBytes) return base + suffix;
    std::uint32_t digest = 2166136261u;  // FNV-1a
    for (unsigned char c : baseBytes) digest = (digest ^ c) * 16777619u;
    char mark[16];
    std::snprintf(mark, sizeof mark, "~%08x", static_cast<unsigned>(digest));
    const std::size_t room = files::kNameMaxBytes - suffixBytes - std::strlen(mark);
    return files::CutToUtf8Bytes(base, room) + FromUtf8(mark) + suffix;
}

// The page folders of this process are made and looked over one at a time:
// a folder that another processor of this process is making is never taken
// for a stale one.
std::mutex& PageFolderMutex() {
    static std::mutex m;
    return m;
}

// Page folders named `stem` or `stem` + "_" + digits in `folder` that nobody
// holds (left by a run that ended while saving, or kept after a failed
// assembly) are removed.
void RemoveStalePageFolders(const std::wstring& folder, const std::wstring& stem) {
    std::vector<files::DirEntry> entries;
    if (!files::ListDirectory(folder, entries)) return;
    for (const auto& e : entries) {
        if (!e.isDirectory || e.name.compare(0, stem.size(), stem) != 0) continue;
        const std::wstring rest = e.name.substr(stem.size());
        const bool numbered = rest.size() > 1 && rest[0] == L'_' &&
                              rest.find_first_not_of(L"0123456789", 1) == std::wstring::npos;
        if (!rest.empty() && !numbered) continue;
        const std::wstring path = PathJoin(folder, e.name);
        files::FolderLock lock;
        if (lock.TryLock(path)) files::RemoveTree(path);
    }
}

// A stream over a file being written that keeps the system's reason
// (errno) of its first failed write: the C library reports a full disk to
// the codec only as a short count or a failed seek, and the codec reports
// it as its own failure.
class WriteStream final : public CFileStream {
public:
    explicit WriteStream(std::FILE* file) : CFileStream(file), file_(file) {}
    std::size_t Write(const void* buffer, std::size_t size, std::size_t count) override {
        errno = 0;
        const std::size_t written = CFileStream::Write(buffer, size, count);
        if (written < count) Note();
        return written;
    }
    bool PutC(std::uint8_t byte) override {
        errno = 0;
        const bool ok = CFileStream::PutC(byte);
        if (!ok) Note();
        return ok;
    }
    bool Flush() override {
        errno = 0;
        const bool ok = CFileStream::Flush();
        if (!ok) Note();
        return ok;
    }
    // A seek writes out what the C library holds first.
    bool Seek(std::int32_t offset, int origin) override {
        errno = 0;
        const bool ok = CFileStream::Seek(offset, origin);
        if (!ok && errno != 0) Note();
        return ok;
    }
    // Flushes and closes the file (a write the C library still held may fail
    // only now); false when it or an earlier write failed.
    bool Finish() {
        bool ok = Flush() && !std::ferror(file_);
        errno = 0;
        if (std::fclose(file_) != 0) {
            Note();
            ok = false;
        }
        return ok;
    }
    // The reason of the first failure; 0 when none is known.
    int SystemError() const { return error_; }

private:
    void Note() {
        if (error_ == 0) error_ = errno != 0 ? errno : EIO;
    }
    std::FILE* file_;
    int error_ = 0;
};

// Finishes a file written through `stream` under the temporary name `tmp`
// (`written`: every write went well) and renames it to `path`. On failure
// the temporary file goes and `error` receives the system's reason (0 when
// none is known).
bool PutInPlace(WriteStream& stream, bool written, const std::wstring& tmp, const std::wstring& path, int& error) {
    bool ok = stream.Finish() && written;
    error = stream.SystemError();
    if (ok) {
        errno = 0;
        ok = files::Rename(tmp, path);
        if (!ok) error = errno;
    }
    if (!ok) files::Remove(tmp);
    return ok;
}

}  // namespace

void CImageProcessor::NoteSaveError(int error) {
    if (saveError_ == 0) saveError_ = error;
}

std::wstring CImageProcessor::SaveFailReason() const {
    return saveError_ != 0 ? files::SystemErrorText(saveError_) : std::wstring();
}

// ---- Engine results read by saving ----

// The engines' copies are of the working image at the working size they ran
// on, which stays the processor's width and height for the page.
CImageProcessor::ComparisonImage CImageProcessor::StainComparison() const {
    const auto& e = stainBorderRemover;
    return {e.ComparisonCopy(), width, height, e.ComparisonIsColour() ? 24 : 8, e.MarkFlag()};
}

CImageProcessor::ComparisonImage CImageProcessor::HoleComparison() const {
    const auto& e = holeRemover;
    return {e.ComparisonCopy(), width, height, e.ComparisonIsColour() ? 24 : 8, e.MarkFlag()};
}

bool CImageProcessor::PageFoundBlank() const { return blankDetector.Result() != 0; }

// ---- The image a save encodes ----

namespace {

using SaveKind = CImageProcessor::SaveKind;

// The BMP header of a save's form: the source's copy (its palette and
// fields) for 24 bits, the stored source headers with a grey or
// black-and-white palette otherwise.
std::size_t SaveHeaderSize(const CImageProcessor& p, SaveKind kind) {
    if (kind == SaveKind::kGray8) return kBmpHeaders + 256 * 4;
    if (kind == SaveKind::kBinary1) return kBmpHeaders + 2 * 4;
    return (p.sourceHeaderCopy && p.sourceHeaderSize >= kBmpHeaders) ? p.sourceHeaderSize : kBmpHeaders;
}

// Every save updates the stored headers in place, and a 24-bit save the
// start of the source header copy too; returns the info header.
BITMAPINFOHEADER UpdateSaveHeaders(CImageProcessor& p, SaveKind kind, int bitCount, std::int32_t w, std::int32_t h,
                                   std::size_t headerSize, std::size_t imageSize) {
    BITMAPFILEHEADER fh = le::ReadFileHeader(p.sourceFileHeader);
    BITMAPINFOHEADER ih = le::ReadInfoHeader(p.sourceInfoHeader);
    fh.bfType = 0x4D42;
    fh.bfSize = static_cast<DWORD>(headerSize + imageSize);
    fh.bfReserved1 = fh.bfReserved2 = 0;
    fh.bfOffBits = static_cast<DWORD>(headerSize);
    ih.biSize = 40;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = static_cast<WORD>(bitCount);
    ih.biCompression = BI_RGB;
    ih.biSizeImage = static_cast<DWORD>(imageSize);
    // The palette written is the palette announced, so a reader never takes
    // pixel bytes for palette entries.
    if (kind != SaveKind::kColor24) {
        ih.biClrUsed = kind == SaveKind::kGray8 ? 256 : 2;
        ih.biClrImportant = 0;
    }
    le::WriteFileHeader(p.sourceFileHeader, fh);
    le::WriteInfoHeader(p.sourceInfoHeader, ih);
    if (kind == SaveKind::kColor24 && p.sourceHeaderCopy && p.sourceHeaderSize >= kBmpHeaders) {
        le::WriteFileHeader(p.sourceHeaderCopy.get(), fh);
        le::WriteInfoHeader(p.sourceHeaderCopy.get() + 14, ih);
    }
    return ih;
}

// The palette (whose fourth bytes a reader leaves 0) and the rows of the
// image, padding 0. 1 bit: a pixel of 128 or less is black (bit set), most
// significant bit first.
void SetGreyPalette(CRaster& image) {
    for (int i = 0; i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        image.SetPaletteEntry(v, RGBQUAD{v, v, v, 0});
    }
}

void FillSaveImage(SaveKind kind, const BYTE* bits, std::size_t w, std::size_t h, CRaster& image) {
    switch (kind) {
    case SaveKind::kGray8:
        SetGreyPalette(image);
        for (std::size_t y = 0; y < h; ++y)
            std::memcpy(image.GetBits(static_cast<DWORD>(y)), bits + y * px::Stride8(w), w);
        break;
    case SaveKind::kBinary1:
        image.SetPaletteEntry(0, RGBQUAD{255, 255, 255, 0});
        image.SetPaletteEntry(1, RGBQUAD{0, 0, 0, 0});
        for (std::size_t y = 0; y < h; ++y) {
            const BYTE* src = bits + y * px::Stride8(w);
            BYTE* dst = image.GetBits(static_cast<DWORD>(y));
            for (std::size_t x = 0; x < w; ++x)
                if (src[x] <= kOneBitBlackLevel) dst[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
        }
        break;
    case SaveKind::kColor24:
        for (std::size_t y = 0; y < h; ++y)
            std::memcpy(image.GetBits(static_cast<DWORD>(y)), bits + y * px::Stride24(w), w * 3);
        break;
    }
}

// The image a save encodes (see MakeSaveImage). With `overRows`, a grey or
// colour image is made over the result's own rows instead of a copy of them:
// the result's rows are laid out as the image's (bottom-up, padded to four
// bytes), and the JPEG writer reads the pixels of each row and nothing of
// its padding, so the file is the same. A 1-bit save always builds its rows.
bool MakeImage(CImageProcessor& p, SaveKind kind, const BYTE* bits, std::int32_t w, std::int32_t h, CRaster& image,
               bool overRows) {
    const int bitCount = kind == SaveKind::kGray8 ? 8 : (kind == SaveKind::kBinary1 ? 1 : 24);
    const auto rowBytes = checked::DibRowBytes(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(bitCount));
    const auto imageSize = rowBytes ? checked::Mul(*rowBytes, static_cast<std::size_t>(h)) : std::nullopt;
    if (!imageSize || *imageSize > image_limits::kMaxPixelBytes) return false;

    const std::size_t headerSize = SaveHeaderSize(p, kind);
    const BITMAPINFOHEADER ih = UpdateSaveHeaders(p, kind, bitCount, w, h, headerSize, *imageSize);
    // The codecs' streams count in signed 32-bit positions: the BMP form of
    // the result (headers, palette and rows) must stay below 2 GiB.
    if (headerSize + *imageSize > static_cast<std::size_t>(INT32_MAX)) return false;

    // The image as a BMP reader makes it of those headers: the size and
    // depth, the resolution of the pixels per metre, the palette and rows.
    const DWORD uw = static_cast<DWORD>(w), uh = static_cast<DWORD>(h), depth = static_cast<DWORD>(bitCount);
    overRows = overRows && kind != SaveKind::kBinary1;
    if (!(overRows ? image.CreateOverRows(uw, uh, depth, const_cast<BYTE*>(bits), RASTER_FORMAT_BMP)
                   : image.Create(uw, uh, depth, RASTER_FORMAT_BMP)))
        return false;
    image.SetDpiX(CRasterBMP::DpiFromPelsPerMetre(ih.biXPelsPerMeter));
    image.SetDpiY(CRasterBMP::DpiFromPelsPerMetre(ih.biYPelsPerMeter));
    if (overRows) {
        if (kind == SaveKind::kGray8) SetGreyPalette(image);
    } else {
        FillSaveImage(kind, bits, static_cast<std::size_t>(w), static_cast<std::size_t>(h), image);
    }
    return true;
}

}  // namespace

bool CImageProcessor::MakeSaveImage(SaveKind kind, const BYTE* bits, std::int32_t w, std::int32_t h,
                                    CRaster& image) {
    return MakeImage(*this, kind, bits, w, h, image, false);
}

// ---- Saving one image ----

bool CImageProcessor::SaveImage(SaveKind kind, const BYTE* bits, std::int32_t w, std::int32_t h,
                                const std::wstring& path) {
    if (!bits || w <= 0 || h <= 0 || path.empty()) return false;
    CRaster image(RASTER_FORMAT_BMP);
    // A JPEG file is encoded from the result's rows themselves.
    const bool jpeg = fileType != FILE_TYPE_TIFF && fileType != FILE_TYPE_PNG;
    if (!MakeImage(*this, kind, bits, w, h, image, jpeg)) return false;
    return WriteSaveImage(kind, image, path);
}

bool CImageProcessor::WriteSaveImage(SaveKind kind, CRaster& image, const std::wstring& path) {
    if (!image.IsValid()) return false;

    if (ProcessSetting::dpi.on) {
        image.SetDpiX(ProcessSetting::dpi.dst);
        image.SetDpiY(ProcessSetting::dpi.dst);
    }
    DWORD type;
    if (fileType == FILE_TYPE_TIFF) {
        std::int32_t c = sourceCompression == kTiffOldJpeg ? kTiffJpeg : sourceCompression;
        bool setOption = true;
        const std::int32_t choice = ProcessSetting::filesave.tiffcompress;
        if (choice == 2) {
            c = kTiffLzw;
        } else if (choice == 1) {
            c = kTiffJpeg;
            // A 1-bit page keeps the writer's own choice for 1-bit pages.
            if (kind == SaveKind::kBinary1) setOption = false;
        }
        sourceCompression = c;
        const int depth = kind == SaveKind::kBinary1 ? 1 : (kind == SaveKind::kGray8 ? 8 : 24);
        const std::int32_t applied = setOption ? CompressionForDepth(c, depth) : 0;
        // JPEG inside TIFF is written at the chosen quality too.
        if (applied == kTiffJpeg || (applied == 0 && depth != 1)) image.SetQuality(JpegQuality());
        if (setOption) image.SetFormatOption(static_cast<DWORD>(applied), RASTER_FORMAT_TIF);
        type = RASTER_FORMAT_TIF;
    } else if (fileType == FILE_TYPE_PNG) {
        type = RASTER_FORMAT_PNG;
    } else {
        image.SetQuality(JpegQuality());
        type = RASTER_FORMAT_JPG;
    }

    // Written beside the destination and renamed into place: a reader never
    // sees a half-written file and a failed write leaves none.
    // A file the run protects (one of its inputs) is never replaced.
    if (!MayReplace(path)) return false;
    const std::wstring tmp = files::TemporarySibling(path);
    errno = 0;
    std::FILE* file = _wfopen(tmp.c_str(), L"wb");
    if (!file) {
        NoteSaveError(errno);
        return false;
    }
    WriteStream stream(file);
    const bool encoded = image.Encode(&stream, type);
    int error = 0;
    if (PutInPlace(stream, encoded, tmp, path, error)) return true;
    NoteSaveError(error);
    return false;
}

bool CImageProcessor::MakeOutputFolder(const std::wstring& folder) const {
    if (outputGuard) return outputGuard->MakeOutputFolder(folder);
    return CreateFolderPath(folder) != 0;
}

bool CImageProcessor::MayReplace(const std::wstring& path) const {
    return !outputGuard || outputGuard->MayReplace(path);
}

bool CImageProcessor::MakeFolderForSave(const std::wstring& folder) {
    errno = 0;
    if (MakeOutputFolder(folder)) return true;
    // A folder that could not be made gives the save its reason; one the
    // run refuses to write into exists and has none.
    const int error = errno;
    if (error != 0 && !files::IsDirectory(folder)) NoteSaveError(error);
    return false;
}

std::wstring CImageProcessor::OutputPathFor(const std::wstring& folder, const std::wstring& name) {
    if (outputPathMode == OUTPUT_TO_EXPLICIT_PATH) return explicitOutputPath;
    MakeFolderForSave(folder);  // every level; a failure shows in the save
    return PathJoin(folder, name);
}

std::wstring CImageProcessor::TempPageFolderStem(const std::wstring& name) {
    // Room is kept for the variant number ("_" and up to three digits).
    return FitName(BaseOf(name), L"_tmpformultiframe", 4);
}

std::wstring CImageProcessor::ComparisonName(const std::wstring& name) {
    const std::wstring ext = ExtOf(name);
    return FitName(BaseOf(name), L"_对比." + ext);
}

bool CImageProcessor::SaveGray8(std::wstring folder, std::wstring name) {
    return SaveImage(SaveKind::kGray8, result, resultWidth, resultHeight, OutputPathFor(folder, name));
}

bool CImageProcessor::SaveBinary1(std::wstring folder, std::wstring name) {
    return SaveImage(SaveKind::kBinary1, result, resultWidth, resultHeight, OutputPathFor(folder, name));
}

bool CImageProcessor::SaveColor24(std::wstring folder, std::wstring name) {
    return SaveImage(SaveKind::kColor24, result, resultWidth, resultHeight, OutputPathFor(folder, name));
}

// ---- Pages of a multi-page file ----

std::wstring CImageProcessor::TempPageFolder() const {
    if (!tempPageFolderMade_.empty()) return tempPageFolderMade_;
    if (outputName.empty()) return std::wstring();
    return PathJoin(outputFolder, TempPageFolderStem(outputName));
}

bool CImageProcessor::MakeTempPageFolder() {
    if (!tempPageFolderMade_.empty()) return true;
    if (outputName.empty() || !MakeFolderForSave(outputFolder)) return false;
    const std::wstring stem = TempPageFolderStem(outputName);
    std::lock_guard guard(PageFolderMutex());
    // Page folders of this output left by a run that ended while saving go
    // first; those another processor is using are locked and stay.
    RemoveStalePageFolders(outputFolder, stem);
    // The folder is this file's alone: two multi-page files of one folder
    // whose names differ only after the dot (a.tif, a.tiff) are processed at
    // the same time without sharing page files. It is made under a
    // temporary name, locked, and only then given its name, so nobody ever
    // sees it unlocked; a name already taken gives a numbered variant.
    for (int n = 0; n < 1000; ++n) {
        const std::wstring candidate = PathJoin(outputFolder, n == 0 ? stem : stem + L"_" + std::to_wstring(n));
        const std::wstring making = files::TemporarySibling(candidate);
        errno = 0;
        if (!files::CreateDirectory(making)) {
            NoteSaveError(errno);
            return false;
        }
        files::FolderLock lock;
        if (!lock.TryLock(making)) {
            files::Remove(making);
            return false;
        }
        if (files::RenameNoReplace(making, candidate)) {
            tempPageFolderMade_ = candidate;
            tempPageLock_ = std::move(lock);
            return true;
        }
        const int error = errno;
        files::Remove(making);
        if (error != EEXIST && error != ENOTEMPTY) return false;
    }
    return false;
}

void CImageProcessor::RemoveTempPageFolder() {
    if (tempPageFolderMade_.empty()) return;
    files::RemoveTree(tempPageFolderMade_);
    tempPageFolderMade_.clear();
    tempPageLock_.Release();
}

void CImageProcessor::KeepTempPageFolder() {
    // The finished pages stay on disk; the next run of this file takes the
    // folder for a stale one.
    tempPageFolderMade_.clear();
    tempPageLock_.Release();
}

bool CImageProcessor::SaveTiffPage() {
    saveError_ = 0;
    if (runType == RUN_DETECTION && outputPathMode == OUTPUT_TO_FOLDER) return true;
    if (currentPage < 0) return false;
    if (droppedPages.size() < static_cast<std::size_t>(std::max(pageCount, currentPage + 1)))
        droppedPages.resize(static_cast<std::size_t>(std::max(pageCount, currentPage + 1)), 0);
    // A blank page is dropped on its own; the other pages stay.
    if (ProcessSetting::rmblankpage.on && PageFoundBlank()) {
        droppedPages[static_cast<std::size_t>(currentPage)] = 1;
        return true;
    }
    if (!MakeTempPageFolder()) return false;
    const std::wstring folder = tempPageFolderMade_;
    const std::wstring page = PathJoin(folder, std::to_wstring(currentPage) + L"." + ExtOf(outputName));
    const SaveKind kind =
        resultDepth == 1 ? SaveKind::kBinary1 : (resultDepth == 8 ? SaveKind::kGray8 : SaveKind::kColor24);
    if (!SaveImage(kind, result, resultWidth, resultHeight, page)) return false;
    ++keptPageCount;
    return true;
}

bool CImageProcessor::IsBlankResult() const {
    if (pageCount > 1) {
        const auto dropped = std::count(droppedPages.begin(), droppedPages.end(), BYTE{1});
        return dropped >= pageCount;
    }
    return PageFoundBlank();
}

bool CImageProcessor::AssembleMultiPage() {
    const std::wstring destination = PathJoin(outputFolder, outputName);
    MakeFolderForSave(outputFolder);
    const std::wstring folder = TempPageFolder();
    const std::wstring ext = ExtOf(outputName);

    bool ok = true;
    if (!MayReplace(destination)) {
        // The destination is a file the run protects: nothing is written.
        RemoveTempPageFolder();
        return false;
    }
    if (keptPageCount == 0) {
        // Every page was dropped as blank: no output, and none of an earlier
        // run either.
        if (files::IsRegularFile(destination)) ok = files::Remove(destination);
        RemoveTempPageFolder();
        return ok;
    }

    const std::wstring tmp = files::TemporarySibling(destination);
    errno = 0;
    std::FILE* out = _wfopen(tmp.c_str(), L"w+b");
    if (!out) {
        // The output cannot be opened: nothing is assembled and the finished
        // pages stay in their folder.
        NoteSaveError(errno);
        KeepTempPageFolder();
        return false;
    }
    WriteStream stream(out);
    {
        CRasterTIF writer;
        for (std::int32_t i = 0; i < pageCount && ok; ++i) {
            if (static_cast<std::size_t>(i) < droppedPages.size() && droppedPages[static_cast<std::size_t>(i)])
                continue;
            const std::wstring page = PathJoin(folder, std::to_wstring(i) + L"." + ext);
            // A page file that cannot be read fails the file: the output would
            // miss a page.
            ok = writer.Load(page, RASTER_FORMAT_TIF, false);
            if (!ok) break;
            writer.SetQuality(JpegQuality());
            ok = writer.Encode(&stream, true);
        }
    }  // the writer's TIFF output is finished here, before the file closes
    const bool assembled = ok;
    int error = 0;
    ok = PutInPlace(stream, assembled, tmp, destination, error);
    if (!ok) NoteSaveError(error);
    if (assembled && !ok)
        KeepTempPageFolder();  // every page was there; the output could not be written
    else
        RemoveTempPageFolder();
    return ok;
}

// ---- The file's result ----

bool CImageProcessor::CopyDetectedSource() {
    if (!needsProcessing) return true;
    if (!MakeFolderForSave(outputFolder)) return false;
    const std::wstring copy = PathJoin(outputFolder, outputName);
    // A copy never replaces a file: not an input, not the result of an
    // earlier run, not one that appeared since the run began.
    if (files::CopyNoReplace(sourcePath, copy)) return true;
    NoteSaveError(errno);
    return false;
}

bool CImageProcessor::SaveSinglePage() {
    bool ok;
    const std::wstring mainPath = OutputPathFor(outputFolder, outputName);
    const std::wstring& named = outputPathMode == OUTPUT_TO_EXPLICIT_PATH ? explicitOutputPath : outputName;
    const std::wstring comparisonName = ComparisonName(PathFileName(named));
    const std::wstring comparisonPath =
        PathJoin(outputPathMode == OUTPUT_TO_EXPLICIT_PATH ? PathFolder(explicitOutputPath) : outputFolder,
                 comparisonName);
    const bool stainsOrBorders = ProcessSetting::rmstains.on || ProcessSetting::rmblackborder.on;

    // A comparison copy is saved at its own depth: a colour copy (with its
    // magenta marks) as colour, a grey copy like the result.
    auto saveComparison = [&](const ComparisonImage& copy, SaveKind greyKind) {
        if (!copy.bits) return true;  // no copy, nothing to write
        const SaveKind kind = copy.bitsPerPixel == 24 ? SaveKind::kColor24 : greyKind;
        return SaveImage(kind, copy.bits, copy.width, copy.height, comparisonPath);
    };

    if (resultDepth == 1 || resultDepth == 8) {
        const SaveKind kind = resultDepth == 1 ? SaveKind::kBinary1 : SaveKind::kGray8;
        ok = SaveImage(kind, result, resultWidth, resultHeight, mainPath);
        if (runType == RUN_DESKEW_METHOD_0 && (ProcessSetting::compareimage & 2) && stainsOrBorders)
            ok = saveComparison(StainComparison(), kind) && ok;
        return ok;
    }
    ok = SaveImage(SaveKind::kColor24, result, resultWidth, resultHeight, mainPath);
    const ComparisonImage stains = StainComparison();
    if (stains.marked && stainsOrBorders) {
        ok = saveComparison(stains, SaveKind::kGray8) && ok;
    } else if (ProcessSetting::bindhole.on) {
        const ComparisonImage holes = HoleComparison();
        if (holes.marked) ok = saveComparison(holes, SaveKind::kGray8) && ok;
    }
    return ok;
}

bool CImageProcessor::SaveResult() {
    saveError_ = 0;
    if (runType == RUN_DETECTION && outputPathMode == OUTPUT_TO_FOLDER) return CopyDetectedSource();
    if (pageCount > 1) {
        // Only a run's own output (a folder and a name) is assembled from
        // pages. Saving one edited page to an explicit path would replace a
        // multi-page file by its first page, so that is refused.
        if (outputPathMode != OUTPUT_TO_FOLDER) return false;
        return AssembleMultiPage();
    }
    return SaveSinglePage();
}
