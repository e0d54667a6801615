// One operation of the manual window, as its pages and its image view build
// it and the processing object's manual entry points read it; it is also an
// entry of the window's history, holding the picture after the operation (a
// snapshot it owns, 24-bit rows bottom-up padded to four bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <variant>

#include "platform/core/WinTypes.h"
#include "processing/BindHoleOptions.h"
#include "processing/Cutting.h"

enum ManualOpType : std::int32_t {
    OpNone = -1,  // a record still being built
    OpOriginal = 0,
    OpCenter = 1,
    OpCorrect = 2,
    OpRotate90 = 3,
    OpCutByBkColor = 4,
    OpCutWhite = 5,
    OpRmBkColor = 6,
    OpRmBlackBoard = 7,
    OpRmStains = 8,
    OpBindHole = 9,
    OpAutoContrast = 10,
    OpEraseInside = 12,
    OpEraseOutside = 13,
    OpCrop = 16,
    // 11, 14 and 15 have no producer; a record of such a type runs nothing.
};

// The parameters of each type, with the values a record starts from before
// its page writes its controls' values.
struct CenterOpParams {
    std::int32_t directionFlags = 0;  // bit 0 horizontal, bit 1 vertical
    float horizontalRatio = 2.0f;     // % of the height
    float verticalRatio = 2.0f;       // % of the width
    std::uint8_t allObjects = 1;      // 1 all objects, 0 text only
};
struct CorrectOpParams {
    std::int32_t maxAngle = 5;   // degrees
    std::int32_t method = 0;     // 0, 1, 2; -1 when no method is chosen
    std::int32_t fillWhite = 1;  // 1 white, 0 black
    std::uint8_t keepSize = 0;
    std::uint8_t twoColumns = 0;
};
struct Rotate90OpParams {
    std::int32_t angle = 90;     // 90 or -90
    std::int32_t direction = 0;  // 0 clockwise, 1 counter-clockwise
};
// Type 4 carries the cut-by-background-colour block itself
// (cutting::CutByBkColorParams; the manual window's ratio starts at 50.0).
struct CutWhiteOpParams {
    float ratio = 0.0f;    // detect ratio, %
    std::int32_t unit = 0;  // 0 pixels, 1 millimetres
    float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
};
struct RmBkColorOpParams {
    std::int32_t brightness = 40;
    std::int32_t contrast = 50;
    std::int32_t darkening = 50;
    std::int32_t colourDelta = 25;
    float saturation = 0.15f;
    float keepRadius = 2.0f;  // mm
    std::int32_t keepMode = 0;
    std::uint8_t rebuildMask = 1;
};
struct RmBlackBoardOpParams {
    std::int32_t radiation = 5;  // radiation range
    std::int32_t width = 10;     // detection width, pixels
    std::uint8_t colourPixelsAreBlack = 0;
};
struct RmStainsOpParams {
    float area = 4.0f;             // largest stain area, mm^2
    std::int32_t threshold = 160;  // content threshold
    std::uint8_t stains = 0;
    std::uint8_t borders = 0;
};
struct AutoContrastOpParams {
    float shadowClip = 0.1f;     // %
    float highlightClip = 0.1f;  // %
};
// Types 12 and 13. The rectangle is in image pixels, rows counted from the
// top; left and top inclusive, right and bottom exclusive.
struct EraseOpParams {
    COLORREF fill = RGB(255, 255, 255);
    std::int32_t eraserSize = 5;  // carried, not read
    RECT rect{};
};
struct CropOpParams {
    RECT rect{};  // image pixels, rows counted from the top
};

// A picture with its own memory: 24-bit rows of B, G, R, bottom-up, each
// padded to four bytes (what RawImage24 hands over, with an owner).
struct OwnedImage24 {
    std::unique_ptr<BYTE[]> bits;
    std::int32_t width = 0;
    std::int32_t height = 0;

    static std::size_t Stride(std::int32_t w) { return (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3}; }
    std::size_t Bytes() const { return bits ? Stride(width) * static_cast<std::size_t>(height) : 0; }
    bool Empty() const { return !bits || width <= 0 || height <= 0; }
    void Reset() {
        bits.reset();
        width = height = 0;
    }
    // A copy of rows in this layout; empty for null bits, a size that is not
    // positive, or when the memory cannot be had.
    static OwnedImage24 CopyOf(const BYTE* source, std::int32_t w, std::int32_t h) {
        OwnedImage24 image;
        if (!source || w <= 0 || h <= 0) return image;
        const std::size_t bytes = Stride(w) * static_cast<std::size_t>(h);
        image.bits.reset(new (std::nothrow) BYTE[bytes]);
        if (!image.bits) return image;
        std::memcpy(image.bits.get(), source, bytes);
        image.width = w;
        image.height = h;
        return image;
    }
    OwnedImage24 Copy() const { return CopyOf(bits.get(), width, height); }
};

using ManualOpParams =
    std::variant<std::monostate, CenterOpParams, CorrectOpParams, Rotate90OpParams, cutting::CutByBkColorParams,
                 CutWhiteOpParams, RmBkColorOpParams, RmBlackBoardOpParams, RmStainsOpParams, BindHoleOptions,
                 AutoContrastOpParams, EraseOpParams, CropOpParams>;

struct ManualOperation {
    // Display names hold at most this many characters.
    static constexpr std::size_t kMaxName = 63;

    std::int32_t type = OpNone;
    // The picture after the operation; empty until it has run.
    OwnedImage24 snapshot;
    std::wstring name;
    ManualOpParams params;

    ManualOperation() = default;
    ManualOperation(std::int32_t opType, std::wstring displayName, ManualOpParams opParams)
        : type(opType), name(std::move(displayName)), params(std::move(opParams)) {
        if (name.size() > kMaxName) name.resize(kMaxName);
    }

    // The parameters when they are of `P`, else null (the record then runs
    // nothing).
    template <typename P>
    const P* Params() const {
        return std::get_if<P>(&params);
    }
};
