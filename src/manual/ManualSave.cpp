#include "manual/ManualSave.h"

#include <cstdio>

#include "image/ByteStream.h"
#include "image/RasterTIF.h"
#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"
#include "settings/ManualSetting.h"

namespace {

CImageProcessor::SaveKind KindOf(std::int32_t depth) {
    if (depth == 1) return CImageProcessor::SaveKind::kBinary1;
    if (depth == 8) return CImageProcessor::SaveKind::kGray8;
    return CImageProcessor::SaveKind::kColor24;
}

// The edited page first, then pages 2.. of `source`, written to a temporary
// file beside `destination` and renamed over it.
bool SaveAsFirstPage(CImageProcessor& p, const std::wstring& source, const std::wstring& destination) {
    const std::int32_t pages = p.pageCount;
    // Page 1 by the processor's own format rules, into a file of its own.
    const std::wstring pagePath = files::TemporarySibling(destination);
    {
        CRaster page;
        const auto kind = KindOf(p.resultDepth);
        if (!p.MakeSaveImage(kind, p.result, p.resultWidth, p.resultHeight, page) ||
            !p.WriteSaveImage(kind, page, pagePath)) {
            files::Remove(pagePath);
            return false;
        }
    }
    const std::wstring tmp = files::TemporarySibling(destination);
    std::FILE* out = _wfopen(tmp.c_str(), L"w+b");
    if (!out) {
        files::Remove(pagePath);
        return false;
    }
    bool ok = true;
    {
        CRasterTIF writer;
        CFileStream stream(out);
        for (std::int32_t i = 0; i < pages && ok; ++i) {
            writer.SelectFrame(i == 0 ? 0 : i);
            ok = i == 0 ? writer.Load(pagePath, RASTER_FORMAT_TIF, false) : writer.Load(source, RASTER_FORMAT_TIF, false);
            // A page that cannot be read fails the save: the file would lose it.
            if (ok && i > 0) ok = writer.GetFrame() == i;
            if (ok) ok = writer.Encode(&stream, true);
        }
    }
    ok = (std::fflush(out) == 0) && ok;
    ok = (std::fclose(out) == 0) && ok;
    files::Remove(pagePath);
    if (ok) ok = files::Rename(tmp, destination);
    if (!ok) files::Remove(tmp);
    return ok;
}

}  // namespace

bool SaveManualPicture(CImageProcessor& p, const OwnedImage24& picture, const std::wstring& source,
                       const std::wstring& destination, std::wstring* reason) {
    if (reason) reason->clear();
    if (picture.Empty() || destination.empty()) return false;
    files::RemoveStaleTemporaries(PathFolder(destination));  // what a killed save left there
    p.SetOutputPath(destination);
    if (!p.SetImage(picture.bits.get(), picture.width, picture.height)) return false;
    const auto& output = ManualSetting::values.output;
    if (output.mode == manual_setting::kOutputFixedPixels) {
        const std::int32_t w = output.width, h = output.height;
        if (p.sourceDepth == 24)
            p.FitOutputSizeColor(w, h, 1);
        else
            p.FitOutputSizeGray(w, h, 1);
        // The fit leaves the result as it was when it cannot make the size;
        // it may only turn the size to the picture's orientation.
        const bool made = (p.resultWidth == w && p.resultHeight == h) || (p.resultWidth == h && p.resultHeight == w);
        if (!made) {
            if (reason) *reason = FormatW(L"无法按 %d x %d 像素输出", w, h);
            return false;
        }
    }
    if (p.pageCount > 1) return SaveAsFirstPage(p, source, destination);
    return p.SaveResult();
}
