// The manual window's page values: the parameters of each tool page, the
// erase tool's mode and colour and the output size of manual saves. They are
// set at program start, kept while the program runs (closing and reopening
// the manual window, from the main window or from the scan window, keeps
// them), never saved, and separate from the processing settings of the
// batch. Only the user-interface thread reads and writes them.
#pragma once

#include <array>
#include <cstdint>

#include "platform/core/WinTypes.h"

namespace manual_setting {

// "居中" page.
struct Center {
    std::int32_t directionFlags = 1;  // bit 0 horizontal, bit 1 vertical
    float horizontalRatio = 2.0f;     // % of the height, 0.1..50
    float verticalRatio = 2.0f;       // % of the width, 0.1..50
    std::uint8_t allObjects = 1;      // 1 all objects, 0 text only
};

// "校正" page.
struct Correct {
    std::int32_t maxAngle = 5;   // 5, 15 or 30 degrees
    std::int32_t method = 0;     // 0..2, -1 when none is chosen
    std::int32_t fillWhite = 1;  // rotation fill: 1 white, 0 black (also the view's edge fill)
    std::uint8_t keepSize = 0;
    std::uint8_t twoColumns = 0;
};

// "切边" page: cut by background colour, and cut white margins.
struct CutByBkColor {
    std::array<std::int32_t, 8> colours{};  // red, yellow, green, cyan, blue, purple, black, white
    float margin = 0.0f;                    // at least 0
    std::int32_t unit = 0;                  // 0 pixels, 1 millimetres
    float contentRatio = 50.0f;             // %, 0.1..100
};
struct CutWhite {
    float ratio = 2.0f;  // %, 0.1..80
    std::int32_t unit = 0;  // 0 pixels, anything else millimetres
    // Margins of each unit, left, right, top, bottom.
    std::array<std::int32_t, 4> pixels{25, 25, 25, 25};
    std::array<float, 4> millimetres{3.0f, 3.0f, 3.0f, 3.0f};
};

// "去底色" page.
struct RmBkColor {
    std::int32_t brightness = 40;  // -50..150
    std::int32_t contrast = 50;    // -50..150
    std::int32_t darkening = 50;   // 0..80
    std::int32_t colourDelta = 25; // 1..100
    float saturation = 0.15f;      // 0..1
    float keepRadius = 2.0f;       // mm; 3.0 after the page's defaults; no control shows it
    std::int32_t keepMode = 1;     // 0..3; the defaults leave it
};

// "去黑底" page.
struct RmBlackBoard {
    std::int32_t radiation = 5;  // 1..20
    std::int32_t width = 10;     // 1..100 pixels
    std::uint8_t colourPixelsAreBlack = 0;
};

// "去黑边、污点" page.
struct RmStains {
    float area = 4.0f;            // mm^2, at least 0
    std::int32_t threshold = 160; // 0..254
    std::uint8_t stains = 0;
    std::uint8_t borders = 0;
};

// "装订孔" page: the ten values of its edits.
struct BindHole {
    std::int32_t left = 10, right = 10, top = 10, bottom = 10;  // % of width or height
    std::int32_t smallestArea = 4, largestArea = 100;           // mm^2
    std::int32_t greyLow = 0, greyHigh = 64;
    std::int32_t radius = 3;         // mm
    std::int32_t ignoreCorners = 0;  // % of width or height
};

// "自动对比度" page.
struct AutoContrast {
    float shadowClip = 0.1f;     // %
    float highlightClip = 0.1f;  // %
};

// "框选去污" page: what a drag or click on the image view does.
constexpr std::int32_t kErasePick = 0;     // pick a colour from the image
constexpr std::int32_t kEraseInside = 1;   // erase inside the box
constexpr std::int32_t kEraseOutside = 2;  // erase outside the box
struct Erase {
    std::int32_t mode = kEraseInside;
    COLORREF colour = RGB(255, 255, 255);
};

// "固定输出" page: the output size of manual saves.
constexpr std::int32_t kOutputAsResult = 0;
constexpr std::int32_t kOutputFixedPixels = 2;
struct Output {
    std::int32_t mode = kOutputAsResult;
    std::int32_t width = 2480;   // pixels, with mode 2
    std::int32_t height = 3508;
    std::int32_t jpegQuality = 85;  // 30..100
};

struct Values {
    Center center;
    Correct correct;
    CutByBkColor cutByBkColor;
    CutWhite cutWhite;
    RmBkColor rmbkcolor;
    RmBlackBoard rmblackboard;
    RmStains rmstains;
    BindHole bindhole;
    AutoContrast autocontrast;
    Erase erase;
    Output output;
};

}  // namespace manual_setting

struct ManualSetting {
    using Values = manual_setting::Values;
    static inline Values values;

    // Every value back to its start value (for tests).
    static void ResetToStart() { values = Values{}; }

    ManualSetting() = delete;
};
