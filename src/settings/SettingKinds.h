// The kinds that settings carry, with the numbers the store, the
// configuration file and the dialogs use for them. The store keeps plain
// integers (a value loaded from a file may be any number); these names say
// what each number means where a value is compared, chosen or limited.
#pragma once

#include <cstdint>

namespace settings {

// rmbkcolor/rmcolortype, the colour strategy of background removal (the
// manual window calls it the keep mode).
enum class ColourKeepMode : std::int32_t {
    kProcessDirectly = 0,  // "直接处理"
    kKeepRed = 1,          // red parts kept, the rest turned grey
    kKeepColour = 2,       // coloured parts kept, the rest turned grey
    kAllGrey = 3,          // everything turned grey
};

// rmbkcolor/illstration and modifycolor/ignorepic: which pictures found on
// the page keep their background.
enum class PictureKeep : std::int32_t {
    kNone = 0,                    // every picture is processed
    kPhotos = 1,                  // photos keep theirs, illustrations are processed
    kPhotosAndIllustrations = 2,  // both keep theirs
};

// correct/method: the deskew method (shown as methods 1 to 3); a batch run's
// run type equals it.
enum class SkewMethod : std::int32_t { kMethod1 = 0, kMethod2 = 1, kMethod3 = 2 };

// correct/angle: the largest skew searched, degrees either way.
inline constexpr std::int32_t kSkewAngles[] = {5, 15, 30};
// The item of kSkewAngles the deskew range list shows for a stored angle:
// the smallest range that holds it; the first for an angle above them all.
constexpr int SkewAngleItem(std::int32_t angle) { return angle <= 5 ? 0 : angle <= 15 ? 1 : angle <= 30 ? 2 : 0; }

// correct/fillcolor and output/fillcolor.
enum class FillColour : std::int32_t { kBlack = 0, kWhite = 1 };

// rmblackborder/type.
enum class BorderType : std::int32_t {
    kAllButText = 0,     // every component except text
    kLargerBorders = 1,  // only components larger than a character
};

// rmblackborder/region: where the text is.
enum class TextRegion : std::int32_t {
    kAutomatic = 0,    // the union of the text found
    kInsideBands = 1,  // the area inside the four border bands
};

// center/type: bit set of the centring directions.
enum CentreDirection : std::int32_t {
    kCentreHorizontally = 1,
    kCentreVertically = 2,
};

// cutwhite/threholdtype.
enum class ThresholdType : std::int32_t { kAutomatic = 0, kFixed = 1 };

// cutwhite/margin and cutbybkcolor/magrinunit.
enum class MarginUnit : std::int32_t { kPixels = 0, kMillimetres = 1 };

// rmredseal/type and strenredseal/type.
enum class SealType : std::int32_t { kSeals = 0, kAllRed = 1 };

// rmblankpage/type.
enum class BlankPageType : std::int32_t { kByThreshold = 1, kByText = 2 };

// output/maintainhw.
enum class OutputOrientation : std::int32_t {
    kAsSet = 0,          // the set width and height as they are
    kKeepPageShape = 1,  // width and height swapped to match the page
};

// dpi/dst: the choices of the DPI list.
inline constexpr std::int32_t kOutputDpis[] = {96, 200, 300, 600};
// The item of kOutputDpis the DPI list shows for a stored value: its own;
// the last (600 DPI) for a value not in the list.
constexpr int OutputDpiItem(std::int32_t dpi) {
    for (int i = 0; i < 3; ++i)
        if (dpi == kOutputDpis[i]) return i;
    return 3;
}

// filesave/tiffcompress.
enum class TiffCompression : std::int32_t { kKeepSource = 0, kJpeg = 1, kLzw = 2 };

// strokewidth: the choices of the stroke-width list.
inline constexpr std::int32_t kStrokeWidths[] = {0, 5, 8, 12};

// holefillcolor.
enum class HoleFill : std::int32_t { kAutomatic = 0, kWhite = 1 };

// compareimage: bit set of the steps that write a comparison image.
enum CompareImageBit : std::int32_t {
    kCompareBorders = 1,  // black borders 【４】
    kCompareStains = 2,   // stains 【１０】
    kCompareHoles = 4,    // binding holes 【９】
};

// PlacementMode: the one placement step chosen in the settings dialog.
enum class PlacementMode : std::int32_t {
    kNone = 0,
    kCentre = 1,        // 【６】
    kCutWhite = 2,      // 【７】
    kCutByBkColor = 3,  // 【８】
};

// ScanSetting::pixelType.
enum class ScanPixelType : std::int32_t { kBlackWhite = 0, kGrey = 1, kRgb = 2 };

// ScanSetting::fileFormat.
enum class ScanFileFormat : std::int32_t { kJpg = 0, kTif = 1 };

// ScanSetting::duplex.
enum class ScanSides : std::int32_t { kSimplex = 0, kDuplex = 1 };

// ScanSetting::dpi and ScanSetting::bitDepth: the choices of their lists.
inline constexpr std::int32_t kScanDpis[] = {72, 96, 100, 200, 300, 600, 1200, 2400};
inline constexpr std::int32_t kScanBitDepths[] = {1, 8, 24};

// DetectSetting::kind.
enum class DetectKind : std::int32_t {
    kNone = 0,            // no margin or edge check
    kWhiteMargins = 1,    // wide white margins
    kColouredEdges = 2,   // stray edges of coloured paper
};

}  // namespace settings
