// The processing object's entry points for the manual window: the picture
// comes in as 24-bit rows (SetImage), one operation runs on it, and the
// result goes back as 24-bit rows (GetResultBits). Operations that are also
// batch steps run the batch steps' own code.
//
// Rectangles of the manual window count rows from the top of the picture;
// the working images are stored bottom-up, so row r from the top is memory
// row height - 1 - r.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "processing/Binarize.h"
#include "processing/processor/EngineSettings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "processing/PixelRows.h"
#include "processing/ToneOperations.h"
#include "settings/ProcessSetting.h"

namespace {

// The depth a result of this processor is saved at: 24 for a colour
// buffer, otherwise 1 for one-bit sources and 8 for the rest.
std::int32_t DepthOf(const CImageProcessor& p, bool colour) {
    if (colour) return 24;
    return p.sourceDepth == 1 ? 1 : 8;
}

PixelBuffer CopyPixels(const BYTE* bits, std::int32_t w, std::int32_t h, int bpp) {
    PixelBuffer copy = AllocPixels(w, h, bpp);
    if (copy) std::memcpy(copy.get(), bits, PixelBytes(w, h, bpp));
    return copy;
}

}  // namespace

// ---- Working image in and result out ----

void CImageProcessor::SetOutputPath(const std::wstring& path) { explicitOutputPath = path; }

bool CImageProcessor::SetImage(const BYTE* bits, std::int32_t w, std::int32_t h) {
    if (!bits || w <= 0 || h <= 0) return false;
    PixelBuffer grey = AllocPixels(w, h, 8);
    if (!grey) return false;
    PixelBuffer colour;
    if (sourceDepth == 24) {
        colour = CopyPixels(bits, w, h, 24);
        if (!colour) return false;
    }
    // A neutral pixel (B = G = R) is its own grey level. The truncated
    // double sum of the grey formula falls one below it for 65 of the 256
    // levels, and the window hands a grey picture in as such triples before
    // every operation: those levels would sink by one, again and again, in
    // pixels no operation touched.
    const std::size_t s24 = px::Stride24(static_cast<std::size_t>(w));
    const std::size_t s8 = px::Stride8(static_cast<std::size_t>(w));
    for (std::int32_t y = 0; y < h; ++y) {
        const BYTE* c = bits + s24 * static_cast<std::size_t>(y);
        BYTE* g = grey.get() + s8 * static_cast<std::size_t>(y);
        px::GreyRow(c, g, static_cast<std::size_t>(w));
        for (std::int32_t x = 0; x < w; ++x, c += 3)
            if (c[0] == c[1] && c[1] == c[2]) g[x] = c[0];
    }

    // Everything made from the previous picture goes with it.
    LetGoOfResult(result);
    greyImage = std::move(grey);
    colourImage = std::move(colour);
    oneBitCopy.reset();
    binaryImage.reset();
    contrastCopy.reset();
    canvas.reset();
    canvasWidth = canvasHeight = canvasDepth = 0;
    cutScratch.reset();
    colourCut.reset();
    whiteCut.reset();
    sizeCanvas.reset();
    turnCanvas.reset();

    width = w;
    height = h;
    workingDepth = 8;
    const bool isColour = colourImage != nullptr;
    SetResult(isColour ? colourImage.get() : greyImage.get(), w, h);
    resultDepth = DepthOf(*this, isColour);
    outputPathMode = OUTPUT_TO_EXPLICIT_PATH;
    return true;
}

int CImageProcessor::ResultBufferBitsPerPixel() const {
    if (!result) return 0;
    if (result == greyImage.get()) return 8;
    if (result == colourImage.get() || result == colourCut.get()) return 24;
    if (result == canvas.get()) return canvasDepth == 24 ? 24 : 8;
    return resultDepth == 24 ? 24 : 8;
}

BYTE* CImageProcessor::GetResultBits(std::int32_t* w, std::int32_t* h) {
    if (w) *w = 0;
    if (h) *h = 0;
    const BYTE* source = nullptr;
    std::int32_t sw = 0, sh = 0;
    int bpp = 8;
    if (result && resultWidth > 0 && resultHeight > 0) {
        source = result;
        sw = resultWidth;
        sh = resultHeight;
        bpp = ResultBufferBitsPerPixel();
    } else {
        const bool colour = sourceDepth == 24 && colourImage;
        source = colour ? colourImage.get() : greyImage.get();
        sw = width;
        sh = height;
        bpp = colour ? 24 : 8;
    }
    if (!source || sw <= 0 || sh <= 0) return nullptr;
    const std::size_t bytes = PixelBytes(sw, sh, 24);
    if (bytes == 0) return nullptr;
    BYTE* out = new (std::nothrow) BYTE[bytes]();
    if (!out) return nullptr;
    const std::size_t s24 = px::Stride24(static_cast<std::size_t>(sw));
    if (bpp == 24) {
        std::memcpy(out, source, bytes);
    } else {
        const std::size_t s8 = px::Stride8(static_cast<std::size_t>(sw));
        for (std::int32_t y = 0; y < sh; ++y) {
            const BYTE* g = source + s8 * static_cast<std::size_t>(y);
            BYTE* c = out + s24 * static_cast<std::size_t>(y);
            for (std::int32_t x = 0; x < sw; ++x, c += 3) c[0] = c[1] = c[2] = g[x];
        }
    }
    if (w) *w = sw;
    if (h) *h = sh;
    return out;
}

// ---- Steps shared with the batch pipeline ----

void CImageProcessor::RemoveBackgroundColour(const RmBkColorOpParams& values, bool keepSourceColours,
                                             ProtectedRects protect) {
    BkColorParams params;
    params.page.grey = greyImage.get();
    params.page.colour = colourImage.get();
    params.brightness = values.brightness;
    params.contrast = values.contrast;
    params.darkening = values.darkening;
    params.colorDelta = values.colourDelta;
    params.saturation = values.saturation;
    params.keepRadius = values.keepRadius;
    params.keepMode = static_cast<KeepMode>(static_cast<int>(values.keepMode));
    params.rebuildMask = values.rebuildMask;
    params.keepSourceColours = keepSourceColours ? 1 : 0;
    params.page.width = width;
    params.page.height = height;
    params.page.bitsPerPixel = 24;
    params.page.dpi = dpiX;
    params.protect = std::move(protect);
    bkColorRemover.Run(params);
}

void CImageProcessor::RemoveBackgroundGrey(std::int32_t brightness, std::int32_t contrast, std::int32_t darkening) {
    if (workingDepth != 8 || !greyImage) return;
    tone::AdjustAndDarken(greyImage.get(), width, height, brightness, contrast, darkening, darkeningCurve,
                          ProtectedRectangles());
}

void CImageProcessor::CentreResult(std::int32_t directionBits, float horizontalRatio, float verticalRatio,
                                   bool allObjects, int bitsPerPixel) {
    if (!result) return;
    const bool colour = bitsPerPixel == 24;
    auto centreBy = [&](const BYTE* measure) {
        if (colour) {
            CenterHorizontalColor(horizontalRatio, measure, directionBits);
            CenterVerticalColor(verticalRatio, measure, directionBits);
        } else {
            CenterHorizontalGray(horizontalRatio, measure, directionBits);
            CenterVerticalGray(verticalRatio, measure, directionBits);
        }
    };
    if (allObjects) {
        centreBy(result);
        return;
    }
    // Measured on a copy from which everything but text is erased: a grey
    // copy itself, or a colour copy where its binarised form finds no text.
    PixelBuffer textOnly = CopyPixels(result, resultWidth, resultHeight, colour ? 24 : 8);
    if (!textOnly) return;
    TextFilterParams params = engine_settings::CentringTextFilter();
    std::vector<std::uint8_t> binary;
    if (colour) {
        binary = binarize::ThresholdColor(result, resultWidth, resultHeight, binarize::kMidThreshold);
        params.page.grey = binary.data();
        params.page.colour = textOnly.get();
    } else {
        params.page.grey = textOnly.get();
    }
    params.page.width = resultWidth;
    params.page.height = resultHeight;
    params.page.bitsPerPixel = colour ? 24 : 8;
    params.page.dpi = dpiX;
    textFilter.Run(params);
    binary = {};
    centreBy(textOnly.get());
}

// ---- The entry points ----

void CImageProcessor::RunBkColorRemoval(const ManualOperation& op) {
    const RmBkColorOpParams* v = op.Params<RmBkColorOpParams>();
    if (!v || !greyImage) return;
    const bool colour = sourceDepth == 24 && colourImage;
    if (colour)
        RemoveBackgroundColour(*v, false, ProtectedRects());
    else
        RemoveBackgroundGrey(v->brightness, v->contrast, v->darkening);
    SetResult(colour ? colourImage.get() : greyImage.get(), width, height);
    resultDepth = DepthOf(*this, colour);
}

void CImageProcessor::DeskewManual(const ManualOperation& op) {
    const CorrectOpParams* v = op.Params<CorrectOpParams>();
    if (!v || !greyImage) return;
    if (v->method == 2) PrepareContrastCopy(1.0f, 1.0f);
    PrepareSkewBinary(v->method, true);
    contrastCopy.reset();
    SearchSkew(v->maxAngle, v->method, v->twoColumns);
    binaryImage.reset();

    RotateByAngle(-static_cast<double>(skewSearcher.skewAngle), v->fillWhite);
    if (!canvas) return;  // nothing turned: the result stays the working image
    // The canvas is colour only when colour is kept for a colour source;
    // otherwise it holds the grey image and the result is grey.
    const bool colour = canvasDepth == 24;
    if (v->keepSize != 0) {
        if (colour)
            KeepSizeCropColor(1);
        else
            KeepSizeCropGray(1);
        if (result != canvas.get()) {
            canvas.reset();
            canvasWidth = canvasHeight = canvasDepth = 0;
        }
    } else {
        SetResult(canvas.get(), canvasWidth, canvasHeight);
    }
    resultDepth = DepthOf(*this, colour);
}

void CImageProcessor::CenterManual(const ManualOperation& op) {
    const CenterOpParams* v = op.Params<CenterOpParams>();
    if (!v) return;
    const bool colour = colourImage != nullptr;
    BYTE* picture = colour ? colourImage.get() : greyImage.get();
    if (!picture) {
        LetGoOfResult(result);
        return;
    }
    SetResult(picture, width, height);
    CentreResult(v->directionFlags, v->horizontalRatio, v->verticalRatio, v->allObjects != 0, colour ? 24 : 8);
    resultDepth = DepthOf(*this, colour);
}

void CImageProcessor::EraseBox(const ManualOperation& op) {
    const EraseOpParams* v = op.Params<EraseOpParams>();
    if (!v) return;
    const bool colour = sourceDepth == 24 && colourImage;
    BYTE* image = colour ? colourImage.get() : greyImage.get();
    if (!image) return;
    SetResult(image, width, height);
    resultDepth = DepthOf(*this, colour);
    const bool inside = op.type == OpEraseInside;
    if (!inside && op.type != OpEraseOutside) return;

    const BYTE r = GetRValue(v->fill), g = GetGValue(v->fill), b = GetBValue(v->fill);
    const BYTE level = px::Grey(b, g, r);
    // The rectangle within the image (rows from the top).
    const std::int32_t left = std::max<std::int32_t>(0, v->rect.left);
    const std::int32_t top = std::max<std::int32_t>(0, v->rect.top);
    const std::int32_t right = std::min<std::int32_t>(width, v->rect.right);
    const std::int32_t bottom = std::min<std::int32_t>(height, v->rect.bottom);
    const std::size_t stride = colour ? px::Stride24(static_cast<std::size_t>(width))
                                      : px::Stride8(static_cast<std::size_t>(width));
    auto fill = [&](BYTE* row, std::int32_t x0, std::int32_t x1) {
        if (x1 <= x0) return;
        if (!colour) {
            std::memset(row + x0, level, static_cast<std::size_t>(x1 - x0));
            return;
        }
        for (BYTE* p = row + 3 * static_cast<std::size_t>(x0); p < row + 3 * static_cast<std::size_t>(x1); p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    };
    for (std::int32_t rowFromTop = 0; rowFromTop < height; ++rowFromTop) {
        BYTE* row = image + stride * static_cast<std::size_t>(height - 1 - rowFromTop);
        const bool rowInside = rowFromTop >= top && rowFromTop < bottom;
        if (inside) {
            if (rowInside) fill(row, left, right);
        } else if (!rowInside || right <= left) {
            fill(row, 0, width);
        } else {
            fill(row, 0, left);
            fill(row, right, width);
        }
    }
}

void CImageProcessor::CropToRect(const ManualOperation& op) {
    const CropOpParams* v = op.Params<CropOpParams>();
    if (!v) return;
    const bool colour = sourceDepth == 24 && colourImage;
    const BYTE* image = colour ? colourImage.get() : greyImage.get();
    if (!image) return;
    SetResult(const_cast<BYTE*>(image), width, height);
    resultDepth = DepthOf(*this, colour);
    if (v->rect.left == v->rect.right || v->rect.top == v->rect.bottom) return;
    // Only the part of the rectangle that lies on the image is taken; a
    // rectangle that misses the image keeps it whole.
    const std::int32_t left = std::max<std::int32_t>(0, v->rect.left);
    const std::int32_t top = std::max<std::int32_t>(0, v->rect.top);
    const std::int32_t right = std::min<std::int32_t>(width, v->rect.right);
    const std::int32_t bottom = std::min<std::int32_t>(height, v->rect.bottom);
    if (right <= left || bottom <= top) return;
    const std::int32_t cw = right - left, ch = bottom - top;
    const int bpp = colour ? 24 : 8;
    PixelBuffer cut = AllocPixels(cw, ch, bpp);
    if (!cut) return;
    const std::size_t bytesPerPixel = colour ? 3 : 1;
    const std::size_t sourceStride = px::StrideFor(static_cast<std::size_t>(width), bpp);
    const std::size_t cutStride = px::StrideFor(static_cast<std::size_t>(cw), bpp);
    // Memory row i of the cut is row top + ch - 1 - i from the top.
    const std::int32_t firstSourceRow = height - top - ch;
    for (std::int32_t i = 0; i < ch; ++i)
        std::memcpy(cut.get() + cutStride * static_cast<std::size_t>(i),
                    image + sourceStride * static_cast<std::size_t>(firstSourceRow + i) +
                        bytesPerPixel * static_cast<std::size_t>(left),
                    bytesPerPixel * static_cast<std::size_t>(cw));
    cutScratch = std::move(cut);
    SetResult(cutScratch.get(), cw, ch);
}

// ---- The manual window's operation table ----

namespace {

// The working image as the result, for the operations that change the
// working images in place or work on the result.
void WorkingResult(CImageProcessor& p, bool colour) {
    p.SetResult(colour ? p.colourImage.get() : p.greyImage.get(), p.width, p.height);
    p.resultDepth = DepthOf(p, colour);
}

// The manual window's runs of the batch steps' own operations.
void ManualRotate90(CImageProcessor& p, const ManualOperation& op, bool colourSource) {
    const Rotate90OpParams* v = op.Params<Rotate90OpParams>();
    if (!v || !p.greyImage) return;
    p.RotateWorkingImage(v->direction == 0 ? 90.0 : -90.0);
    if (!p.canvas) return;
    p.SetResult(p.canvas.get(), p.canvasWidth, p.canvasHeight);
    p.resultDepth = DepthOf(p, p.canvasDepth == 24);
}

void ManualCutByBkColor(CImageProcessor& p, const ManualOperation& op, bool colourSource) {
    const cutting::CutByBkColorParams* v = op.Params<cutting::CutByBkColorParams>();
    if (!v || !p.greyImage) return;
    WorkingResult(p, p.colourImage != nullptr);
    if (!colourSource) return;  // a cut by colour needs a colour page
    p.CutEdgesByBkColor(*v);
    p.resultDepth = 24;
}

void ManualCutWhite(CImageProcessor& p, const ManualOperation& op, bool colourSource) {
    const CutWhiteOpParams* v = op.Params<CutWhiteOpParams>();
    if (!v || !p.greyImage) return;
    WorkingResult(p, colourSource);
    auto margin = [&](float m) {
        if (v->unit != 1) return px::SaturatingInt(m);
        const float perMm = static_cast<float>(px::PixelsPerMm(static_cast<float>(p.dpiX)));
        return px::SaturatingInt(m * perMm);
    };
    if (colourSource)
        p.CutWhiteMarginsColor(1, margin(v->left), margin(v->right), margin(v->top), margin(v->bottom), v->ratio);
    else
        p.CutWhiteMarginsGray(1, margin(v->left), margin(v->right), margin(v->top), margin(v->bottom), v->ratio);
    p.resultDepth = DepthOf(p, colourSource);
}

void ManualRmBlackBoard(CImageProcessor& p, const ManualOperation& op, bool colourSource) {
    const RmBlackBoardOpParams* v = op.Params<RmBlackBoardOpParams>();
    if (!v || !p.greyImage) return;
    cleanup::BlackBoardRecord record;
    record.board = 1;
    record.eraseRadius = v->radiation;
    record.band = v->width;
    record.colourPixelsAreBlack = v->colourPixelsAreBlack;
    if (ProcessSetting::filesave.retaincolor != 0 && p.colourImage)
        p.RemoveBlackBoardColor(record);
    else
        p.RemoveBlackBoardGray(record);
    WorkingResult(p, colourSource);
}

void ManualRmStains(CImageProcessor& p, const ManualOperation& op, bool colourSource) {
    const RmStainsOpParams* v = op.Params<RmStainsOpParams>();
    if (!v || !p.greyImage) return;
    if (v->stains != 0 || v->borders != 0) {
        StainBorderParams params = cleanup::StainBorderRecord(p.WorkingImages(), colourSource, std::wstring());
        params.threshold = v->threshold;
        params.stains = v->stains;
        params.borders = v->borders;
        params.board = 0;
        params.eraseRadius = 0;
        params.band = 0;
        params.stainArea = v->area;
        params.mark = 0;
        p.stainBorderRemover.Run(params);
    }
    WorkingResult(p, colourSource);
}

void ManualBindHole(CImageProcessor& p, const ManualOperation& op, bool colourSource) {
    const BindHoleOptions* v = op.Params<BindHoleOptions>();
    if (!v || !p.greyImage) return;
    if (colourSource)
        p.RemoveBindHolesColor(*v, std::wstring());
    else
        p.RemoveBindHolesGray(*v, std::wstring());
    WorkingResult(p, colourSource);
}

void ManualAutoContrast(CImageProcessor& p, const ManualOperation& op, bool colourSource) {
    const AutoContrastOpParams* v = op.Params<AutoContrastOpParams>();
    if (!v || !p.greyImage) return;
    p.lowClip = v->shadowClip;
    p.highClip = v->highlightClip;
    if (colourSource)
        p.AutoContrastColor(p.colourImage.get(), p.width, p.height);
    else
        p.AutoContrastGray(p.greyImage.get(), p.width, p.height);
    WorkingResult(p, colourSource);
}

}  // namespace

void CImageProcessor::RunManualOperation(const ManualOperation& op) {
    const bool colourSource = sourceDepth == 24 && colourImage;
    switch (op.type) {
    case OpCenter:
        CenterManual(op);
        return;
    case OpCorrect:
        DeskewManual(op);
        return;
    case OpRmBkColor:
        RunBkColorRemoval(op);
        return;
    case OpEraseInside:
    case OpEraseOutside:
        EraseBox(op);
        return;
    case OpCrop:
        CropToRect(op);
        return;
    case OpRotate90:
        ManualRotate90(*this, op, colourSource);
        return;
    case OpCutByBkColor:
        ManualCutByBkColor(*this, op, colourSource);
        return;
    case OpCutWhite:
        ManualCutWhite(*this, op, colourSource);
        return;
    case OpRmBlackBoard:
        ManualRmBlackBoard(*this, op, colourSource);
        return;
    case OpRmStains:
        ManualRmStains(*this, op, colourSource);
        return;
    case OpBindHole:
        ManualBindHole(*this, op, colourSource);
        return;
    case OpAutoContrast:
        ManualAutoContrast(*this, op, colourSource);
        return;
    default:
        return;
    }
}
