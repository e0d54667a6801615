#include "settings/SettingsTable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

#include "settings/DetectSetting.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "settings/SettingKinds.h"

namespace settings {

namespace {

// ---- Building blocks of a table line ----

struct Field {
    ValueType type;
    FieldPtr ptr;
};
constexpr Field Flag(RelaxedAtomic<std::uint8_t>& f) { return {ValueType::kFlag, &f}; }
constexpr Field Int(RelaxedAtomic<std::int32_t>& f) { return {ValueType::kInt, &f}; }
constexpr Field Int(RelaxedAtomic<std::uint16_t>& f) { return {ValueType::kInt, &f}; }
constexpr Field Float(RelaxedAtomic<float>& f) { return {ValueType::kFloat, &f}; }
constexpr Field Colour(RelaxedAtomic<std::uint32_t>& f) { return {ValueType::kColour, &f}; }

struct Limits {
    Limit limit = Limit::kNone;
    double min = -kUnbounded, max = kUnbounded;
    std::span<const std::int32_t> choices{};
    const wchar_t* refusal = nullptr;
    double (*listValue)(double) = nullptr;
};
// No limit anywhere (check boxes, and values the dialogs store as typed).
constexpr Limits None() { return {}; }
// A slider's range.
constexpr Limits Slider(double lo, double hi) { return {.limit = Limit::kControl, .min = lo, .max = hi}; }
// A list or radio buttons giving the values lo..hi.
template <typename E>
constexpr Limits List(E lo, E hi) {
    return {.limit = Limit::kControl, .min = static_cast<double>(lo), .max = static_cast<double>(hi)};
}
// A list offering exactly these values (ascending).
constexpr Limits Choices(std::span<const std::int32_t> c) {
    return {.limit = Limit::kControl,
            .min = static_cast<double>(c.front()),
            .max = static_cast<double>(c.back()),
            .choices = c};
}
// A list offering exactly these values that shows any stored value as the
// item `itemOf` gives, and so stores that item's value on saving.
template <const auto& kValues, int (*itemOf)(std::int32_t)>
double ShownItemValue(double value) {
    const double inRange = std::isnan(value) ? 0 : std::clamp(value, -2147483648.0, 2147483647.0);
    return kValues[static_cast<std::size_t>(itemOf(static_cast<std::int32_t>(inRange)))];
}
template <const auto& kValues, int (*itemOf)(std::int32_t)>
constexpr Limits ShownChoices() {
    Limits l = Choices(kValues);
    l.listValue = &ShownItemValue<kValues, itemOf>;
    return l;
}
constexpr Limits Clamp(double lo, double hi) { return {.limit = Limit::kClamped, .min = lo, .max = hi}; }
constexpr Limits AtLeast(double lo) { return {.limit = Limit::kClamped, .min = lo}; }
constexpr Limits Refused(double lo, double hi, const wchar_t* text) {
    return {.limit = Limit::kRefused, .min = lo, .max = hi, .refusal = text};
}
constexpr Limits Bits(std::int32_t mask) { return {.limit = Limit::kBits, .min = 0, .max = static_cast<double>(mask)}; }
// Bounds of ours for a value no dialog limits but processing must.
constexpr Limits Work(double lo, double hi) { return {.limit = Limit::kWork, .min = lo, .max = hi}; }

constexpr Setting Row(std::string_view group, std::string_view key, Field f, double start, Limits l,
                      Format format = Format::kNotInFile) {
    Setting s;
    s.group = group;
    s.key = key;
    s.type = f.type;
    s.field = f.ptr;
    s.start = start;
    s.restore = start;
    s.limit = l.limit;
    s.min = l.min;
    s.max = l.max;
    s.choices = l.choices;
    s.listValue = l.listValue;
    s.format = format;
    s.refusal = l.refusal;
    return s;
}
constexpr Setting RestoredTo(Setting s, double restore) {
    s.restore = restore;
    return s;
}
constexpr Setting KeptOnRestore(Setting s) {
    s.keptOnRestore = true;
    return s;
}

using PS = ProcessSetting;
using F = Format;
constexpr std::int32_t kOff = 0, kOn = 1;

// ---- ProcessSetting: the configuration file's groups in file order ----

constexpr Setting kProcess[] = {
    // 【１】 remove background colour
    Row("rmbkcolor", "on", Flag(PS::rmbkcolor.on), 1, None(), F::kFlag),
    Row("rmbkcolor", "bright", Int(PS::rmbkcolor.bright), 40, Slider(-50, 255), F::kDecimal),
    Row("rmbkcolor", "contrast", Int(PS::rmbkcolor.contrast), 50, Slider(-50, 255), F::kDecimal),
    Row("rmbkcolor", "curve", Int(PS::rmbkcolor.curve), 50, Slider(0, 80), F::kDecimal),
    Row("rmbkcolor", "allpic", Flag(PS::rmbkcolor.allpic), 1, None(), F::kFlag),
    Row("rmbkcolor", "colordelta", Int(PS::rmbkcolor.colordelta), 25, Refused(1, 100, L"色差范围为0到100."),
        F::kDecimal),
    Row("rmbkcolor", "colorsatuation", Float(PS::rmbkcolor.colorsatuation), 0.15f,
        Refused(0, 1, L"饱和度范围[0,1]."), F::kTwoDecimals),
    Row("rmbkcolor", "rmcolortype", Int(PS::rmbkcolor.rmcolortype), 0,
        List(ColourKeepMode::kProcessDirectly, ColourKeepMode::kAllGrey), F::kDecimal),
    Row("rmbkcolor", "illstration", Int(PS::rmbkcolor.illstration), 0,
        List(PictureKeep::kNone, PictureKeep::kPhotosAndIllustrations), F::kDecimal),
    Row("rmbkcolor", "illstrationcontrast", Int(PS::rmbkcolor.illstrationcontrast), 0, Slider(-50, 0), F::kDecimal),
    Row("rmbkcolor", "illstrationbright", Int(PS::rmbkcolor.illstrationbright), 0, Slider(0, 100), F::kDecimal),
    // 【２】 auto contrast
    Row("autocontrast", "on", Int(PS::autocontrast.on), 0, None(), F::kDecimal),
    Row("autocontrast", "high", Float(PS::autocontrast.high), 0.1f, None(), F::kOneDecimal),
    Row("autocontrast", "low", Float(PS::autocontrast.low), 0.1f, None(), F::kOneDecimal),
    // 【３】 black scanning board
    Row("rmblackboard", "on", Int(PS::rmblackboard.on), 0, None(), F::kDecimal),
    Row("rmblackboard", "ratioarea", Int(PS::rmblackboard.ratioarea), 5, Clamp(1, 20), F::kDecimal),
    Row("rmblackboard", "whiteframewid", Int(PS::rmblackboard.whiteframewid), 10, Clamp(1, 100), F::kDecimal),
    Row("rmblackboard", "includecolorpixel", Flag(PS::rmblackboard.includecolorpixel), 0, None(), F::kFlag),
    // 【４】 black borders
    Row("rmblackborder", "on", Flag(PS::rmblackborder.on), 0, None(), F::kDecimal),
    Row("rmblackborder", "ratioarea", Float(PS::rmblackborder.ratioarea), 4.0f, None(), F::kOneDecimal),
    // Stored as typed; its label says 0 to 254.
    Row("rmblackborder", "threhold", Int(PS::rmblackborder.threhold), 160, None(), F::kDecimal),
    Row("rmblackborder", "type", Int(PS::rmblackborder.type), 0,
        List(BorderType::kAllButText, BorderType::kLargerBorders), F::kDecimal),
    Row("rmblackborder", "region", Int(PS::rmblackborder.region), 0,
        List(TextRegion::kAutomatic, TextRegion::kInsideBands), F::kDecimal),
    Row("rmblackborder", "left", Int(PS::rmblackborder.left), 10, None(), F::kDecimal),
    Row("rmblackborder", "top", Int(PS::rmblackborder.top), 10, None(), F::kDecimal),
    Row("rmblackborder", "right", Int(PS::rmblackborder.right), 10, None(), F::kDecimal),
    Row("rmblackborder", "bottom", Int(PS::rmblackborder.bottom), 10, None(), F::kDecimal),
    // The erase square around every border pixel: its area grows with the
    // square of the radius, and a page of noise specks with a huge radius
    // repaints the whole page once per speck. A third of an inch at 300 dpi.
    Row("rmblackborder", "ratio", Int(PS::rmblackborder.ratio), 5, Work(0, 100), F::kDecimal),
    // 【５】 deskew
    Row("correct", "on", Flag(PS::correct.on), 1, None(), F::kFlag),
    Row("correct", "method", Int(PS::correct.method), 0, List(SkewMethod::kMethod1, SkewMethod::kMethod3),
        F::kDecimal),
    Row("correct", "angle", Int(PS::correct.angle), 5, ShownChoices<kSkewAngles, SkewAngleItem>(), F::kDecimal),
    Row("correct", "fillcolor", Int(PS::correct.fillcolor), 1, None(), F::kDecimal),
    Row("correct", "textdirecthor", Flag(PS::correct.textdirecthor), 1, None(), F::kFlag),
    Row("correct", "keepsize", Flag(PS::correct.keepsize), 0, None(), F::kFlag),
    // 【６】 centre the content
    Row("center", "on", Int(PS::center.on), 0, None(), F::kDecimal),
    Row("center", "type", Int(PS::center.type), 0, Bits(kCentreHorizontally | kCentreVertically), F::kDecimal),
    Row("center", "checkscalehor", Float(PS::center.checkscalehor), 2.0f, Clamp(0.1, 50), F::kOneDecimal),
    Row("center", "checkscalever", Float(PS::center.checkscalever), 2.0f, Clamp(0.1, 50), F::kOneDecimal),
    Row("center", "allobj", Flag(PS::center.allobj), 1, None(), F::kFlag),
    // 【７】 cut white margins
    Row("cutwhite", "on", Int(PS::cutwhite.on), 0, List(kOff, kOn), F::kFlag),
    Row("cutwhite", "checkscale", Float(PS::cutwhite.checkscale), 2.0f, Clamp(0.1, 80), F::kOneDecimal),
    Row("cutwhite", "threholdtype", Int(PS::cutwhite.threholdtype), 0,
        List(ThresholdType::kAutomatic, ThresholdType::kFixed), F::kDecimal),
    Row("cutwhite", "threhold", Int(PS::cutwhite.threhold), 128, None(), F::kDecimal),
    Row("cutwhite", "margin", Int(PS::cutwhite.margin), 0, List(MarginUnit::kPixels, MarginUnit::kMillimetres),
        F::kDecimal),
    // 【８】 cut the four edges by background colour
    Row("cutbybkcolor", "on", Int(PS::cutbybkcolor.on), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "red", Int(PS::cutbybkcolor.red), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "yellow", Int(PS::cutbybkcolor.yellow), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "green", Int(PS::cutbybkcolor.green), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "cyan", Int(PS::cutbybkcolor.cyan), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "blue", Int(PS::cutbybkcolor.blue), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "purple", Int(PS::cutbybkcolor.purple), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "black", Int(PS::cutbybkcolor.black), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "white", Int(PS::cutbybkcolor.white), 0, List(kOff, kOn), F::kFlag),
    Row("cutbybkcolor", "margin", Float(PS::cutbybkcolor.margin), 0.0f, AtLeast(0), F::kOneDecimal),
    Row("cutbybkcolor", "contentratio", Float(PS::cutbybkcolor.contentratio), 50.0f, Clamp(0.1, 100),
        F::kOneDecimal),
    Row("cutbybkcolor", "skipwhite", Flag(PS::cutbybkcolor.skipwhite), 0, None(), F::kFlag),
    Row("cutbybkcolor", "magrinunit", Int(PS::cutbybkcolor.magrinunit), 0,
        List(MarginUnit::kPixels, MarginUnit::kMillimetres), F::kDecimal),
    // 【９】 binding holes
    Row("bindhole", "on", Int(PS::bindhole.on), 0, None(), F::kDecimal),
    Row("bindhole", "left", Int(PS::bindhole.left), 10, None(), F::kDecimal),
    Row("bindhole", "right", Int(PS::bindhole.right), 10, None(), F::kDecimal),
    RestoredTo(Row("bindhole", "top", Int(PS::bindhole.top), 0, None(), F::kDecimal), 10),
    RestoredTo(Row("bindhole", "bottom", Int(PS::bindhole.bottom), 0, None(), F::kDecimal), 10),
    // Hole areas bound how large a dark blob may be taken for a hole; every
    // accepted blob is searched for a clean patch along the whole band, so a
    // page-sized "hole" costs minutes. 1000 mm² is a disc of 35 mm, ten
    // times the default.
    Row("bindhole", "areamin", Int(PS::bindhole.areamin), 2, Work(0, 1000), F::kDecimal),
    Row("bindhole", "areamax", Int(PS::bindhole.areamax), 100, Work(0, 1000), F::kDecimal),
    // The fill grows by this radius around every hole pixel; 10 mm covers a
    // strip wider than any punched hole.
    Row("bindhole", "radius", Int(PS::bindhole.radius), 1, Work(0, 10), F::kDecimal),
    Row("bindhole", "ignore", Int(PS::bindhole.ignore), 10, None(), F::kDecimal),
    Row("bindhole", "backtype", Int(PS::bindhole.backtype), 0, None(), F::kDecimal),
    Row("bindhole", "colordelta", Int(PS::bindhole.colordelta), 25, None(), F::kDecimal),
    // 【１０】 stains
    Row("rmstains", "on", Flag(PS::rmstains.on), 0, None(), F::kDecimal),
    Row("rmstains", "areamax", Float(PS::rmstains.areamax), 4.0f, AtLeast(0), F::kOneDecimal),
    Row("rmstains", "threhold", Int(PS::rmstains.threhold), 160, Clamp(0, 254), F::kDecimal),
    // 【１１】 remove red seals
    Row("rmredseal", "on", Int(PS::rmredseal.on), 0, None(), F::kDecimal),
    Row("rmredseal", "type", Int(PS::rmredseal.type), 0, List(SealType::kSeals, SealType::kAllRed), F::kDecimal),
    Row("rmredseal", "area", Int(PS::rmredseal.area), 100, None(), F::kDecimal),
    Row("rmredseal", "erase", Int(PS::rmredseal.erase), 20, Slider(0, 60), F::kDecimal),
    Row("rmredseal", "textstren", Int(PS::rmredseal.textstren), 10, Slider(0, 30), F::kDecimal),
    // strengthen red seals
    Row("strenredseal", "on", Int(PS::strenredseal.on), 0, None(), F::kDecimal),
    Row("strenredseal", "type", Int(PS::strenredseal.type), 0, List(SealType::kSeals, SealType::kAllRed),
        F::kDecimal),
    Row("strenredseal", "area", Int(PS::strenredseal.area), 100, None(), F::kDecimal),
    Row("strenredseal", "strenvalue", Int(PS::strenredseal.strenvalue), 30, Slider(1, 99), F::kDecimal),
    // 【１２】 delete blank pages
    Row("rmblankpage", "on", Int(PS::rmblankpage.on), 0, None(), F::kDecimal),
    Row("rmblankpage", "type", Int(PS::rmblankpage.type), 2,
        List(BlankPageType::kByThreshold, BlankPageType::kByText), F::kDecimal),
    Row("rmblankpage", "threhold", Int(PS::rmblankpage.threhold), 128, None(), F::kDecimal),
    Row("rmblankpage", "contentpercent", Float(PS::rmblankpage.contentpercent), 1.0f, None(), F::kOneDecimal),
    Row("rmblankpage", "textpercent", Float(PS::rmblankpage.textpercent), 0.1f, None(), F::kOneDecimal),
    // 【１３】 change the background colour
    Row("modifycolor", "on", Int(PS::modifycolor.on), 0, None(), F::kDecimal),
    Row("modifycolor", "bkcolor", Colour(PS::modifycolor.bkcolor), 12974590, None(), F::kDecimal),
    Row("modifycolor", "ignorepic", Int(PS::modifycolor.ignorepic), 1,
        List(PictureKeep::kNone, PictureKeep::kPhotosAndIllustrations), F::kDecimal),
    // 【１４】 turn upright by text direction
    Row("rotatetextdirect", "on", Int(PS::rotatetextdirect.on), 0, None(), F::kDecimal),
    Row("rotatetextdirect", "percent", Int(PS::rotatetextdirect.percent), 0, None(), F::kDecimal),
    // 【１５】 fixed output size
    Row("output", "on", Int(PS::output.on), 0, List(kOff, kOn), F::kDecimal),
    Row("output", "sizetype", Int(PS::output.sizetype), 0, None(), F::kDecimal),
    Row("output", "widpixel", Int(PS::output.widpixel), 2480, Clamp(1, 32768), F::kDecimal),
    Row("output", "heipixel", Int(PS::output.heipixel), 3508, Clamp(1, 32768), F::kDecimal),
    Row("output", "fillcolor", Int(PS::output.fillcolor), 1, List(FillColour::kBlack, FillColour::kWhite),
        F::kDecimal),
    Row("output", "maintainhw", Int(PS::output.maintainhw), 1,
        List(OutputOrientation::kAsSet, OutputOrientation::kKeepPageShape), F::kDecimal),
    // 【１６】 change DPI
    Row("dpi", "on", Int(PS::dpi.on), 0, List(kOff, kOn), F::kDecimal),
    Row("dpi", "dst", Int(PS::dpi.dst), 300, ShownChoices<kOutputDpis, OutputDpiItem>(), F::kDecimal),
    // 【１７】 file saving
    Row("filesave", "jpgquality", Int(PS::filesave.jpgquality), 85, Slider(0, 100), F::kDecimal),
    Row("filesave", "retaincolor", Flag(PS::filesave.retaincolor), 1, None(), F::kFlag),
    Row("filesave", "tiffcompress", Int(PS::filesave.tiffcompress), 0,
        List(TiffCompression::kKeepSource, TiffCompression::kLzw), F::kDecimal),

    // ---- Values the configuration file does not carry ----
    Row("", "keeporigcolor", Flag(PS::loose.keeporigcolor), 1, None()),
    RestoredTo(Row("", "colorradius", Float(PS::loose.colorradius), 0.1f, Clamp(0, 6)), 2.0),
    Row("", "strokewidth", Int(PS::loose.strokewidth), 5, Choices(kStrokeWidths)),
    Row("", "tryothers", Flag(PS::loose.tryothers), 1, None()),
    Row("", "twocolumns", Flag(PS::loose.twocolumns), 0, None()),
    Row("", "marginleftpx", Int(PS::loose.marginleftpx), 25, None()),
    Row("", "margintoppx", Int(PS::loose.margintoppx), 25, None()),
    Row("", "marginrightpx", Int(PS::loose.marginrightpx), 25, None()),
    Row("", "marginbottompx", Int(PS::loose.marginbottompx), 25, None()),
    Row("", "marginleftmm", Float(PS::loose.marginleftmm), 3.0f, None()),
    Row("", "margintopmm", Float(PS::loose.margintopmm), 3.0f, None()),
    Row("", "marginrightmm", Float(PS::loose.marginrightmm), 3.0f, None()),
    Row("", "marginbottommm", Float(PS::loose.marginbottommm), 3.0f, None()),
    // Stored as typed; the label gives 0 to 255.
    Row("", "holethresholdmin", Int(PS::loose.holethresholdmin), 0, None()),
    Row("", "holethresholdmax", Int(PS::loose.holethresholdmax), 128, None()),
    Row("", "holefillcolor", Int(PS::loose.holefillcolor), 0, List(HoleFill::kAutomatic, HoleFill::kWhite)),
    Row("", "compareimage", Int(PS::loose.compareimage), 0, Bits(kCompareBorders | kCompareStains | kCompareHoles)),
    KeptOnRestore(Row("", "PlacementMode", Int(PS::loose.PlacementMode), 0,
                      List(PlacementMode::kNone, PlacementMode::kCutByBkColor))),
};

// ---- The scan window's values (never saved) ----

using SS = ScanSetting;

constexpr Setting kScan[] = {
    Row("", "dpi", Int(SS::values.dpi), 300, Choices(kScanDpis)),
    Row("", "duplex", Int(SS::values.duplex), 0, List(ScanSides::kSimplex, ScanSides::kDuplex)),
    Row("", "bitDepth", Int(SS::values.bitDepth), 24, Choices(kScanBitDepths)),
    Row("", "pixelType", Int(SS::values.pixelType), 2, List(ScanPixelType::kBlackWhite, ScanPixelType::kRgb)),
    Row("", "fileFormat", Int(SS::values.fileFormat), 0, List(ScanFileFormat::kJpg, ScanFileFormat::kTif)),
    // The index of the chosen compression list item: two items for Jpg, four
    // for Tif.
    Row("", "compression", Int(SS::values.compression), 0, List(0, 3)),
    Row("", "jpegQuality", Int(SS::values.jpegQuality), 85, Slider(0, 100)),
    Row("", "g_useDriverUI", Int(g_useDriverUI), 0, List(kOff, kOn)),
    // Its edit takes one character.
    Row("", "codeLength", Int(SS::values.codeLength), 6, List(0, 9)),
    Row("", "startCode", Int(SS::values.startCode), 1, None()),
    Row("", "disconnectOnClose", Flag(SS::values.disconnectOnClose), 1, None()),
    Row("", "stopProcessingOnClose", Flag(SS::values.stopProcessingOnClose), 1, None()),
};

using SF = ScanStepFlags;

constexpr Setting kScanSteps[] = {
    Row("", "rmbkcolor", Flag(SF::rmbkcolor), 0, None()),
    Row("", "rmblackboard", Flag(SF::rmblackboard), 0, None()),
    Row("", "rmblackborder", Flag(SF::rmblackborder), 0, None()),
    Row("", "bindhole", Flag(SF::bindhole), 0, None()),
    Row("", "rmstains", Flag(SF::rmstains), 0, None()),
    Row("", "correct", Flag(SF::correct), 0, None()),
    Row("", "center", Flag(SF::center), 0, None()),
    Row("", "cutbybkcolor", Flag(SF::cutbybkcolor), 0, None()),
    Row("", "cutwhite", Flag(SF::cutwhite), 0, None()),
    Row("", "autocontrast", Flag(SF::autocontrast), 0, None()),
    Row("", "rmredseal", Flag(SF::rmredseal), 0, None()),
    Row("", "strenredseal", Flag(SF::strenredseal), 0, None()),
    Row("", "rmblankpage", Flag(SF::rmblankpage), 0, None()),
    Row("", "modifycolor", Flag(SF::modifycolor), 0, None()),
    Row("", "rotatetextdirect", Flag(SF::rotatetextdirect), 0, None()),
    Row("", "output", Flag(SF::output), 0, None()),
};

// ---- The detection run's values (never saved) ----

using DS = DetectSetting;

constexpr Setting kDetect[] = {
    Row("", "kind", Int(DS::values.kind), 0, List(DetectKind::kNone, DetectKind::kColouredEdges)),
    Row("", "correct", Flag(DS::values.correct), 0, None()),
    Row("", "red", Int(DS::values.red), 0, List(kOff, kOn)),
    Row("", "yellow", Int(DS::values.yellow), 0, List(kOff, kOn)),
    Row("", "green", Int(DS::values.green), 0, List(kOff, kOn)),
    Row("", "cyan", Int(DS::values.cyan), 0, List(kOff, kOn)),
    Row("", "blue", Int(DS::values.blue), 0, List(kOff, kOn)),
    Row("", "purple", Int(DS::values.purple), 0, List(kOff, kOn)),
    Row("", "black", Int(DS::values.black), 0, List(kOff, kOn)),
    Row("", "white", Int(DS::values.white), 0, List(kOff, kOn)),
    Row("", "edgePixels", Int(DS::values.edgePixels), 10, Clamp(1, 1000)),
    Row("", "maxAngle", Float(DS::values.maxAngle), 5.0f, Clamp(0.05, 30)),
    // After clamping, the dialog also refuses a minimum above the maximum
    // less 0.1 degree, with this text; nothing is stored then.
    Row("", "minAngle", Float(DS::values.minAngle), 0.2f,
        {.limit = Limit::kClamped, .min = 0.05, .max = 30, .refusal = L"最大角度必须大于最小角度."}),
    Row("", "marginPercent", Float(DS::values.marginPercent), 5.0f, Clamp(0.1, 30)),
};

// ---- Conversions ----

template <typename T>
T Narrow(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        constexpr double top = std::numeric_limits<T>::max();
        if (v > top) return std::numeric_limits<T>::max();
        if (v < -top) return std::numeric_limits<T>::lowest();
        return static_cast<T>(v);
    } else {
        if (std::isnan(v)) return T{0};
        constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
        constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
        if (v <= lo) return std::numeric_limits<T>::min();
        if (v >= hi) return std::numeric_limits<T>::max();
        return static_cast<T>(v);  // truncates towards zero
    }
}

template <typename Fn>
void ForEachRow(Fn fn) {
    for (std::span<const Setting> table : AllTables())
        for (const Setting& s : table) fn(s);
}

}  // namespace

// ---- Setting ----

std::string Setting::Name() const {
    std::string name;
    if (!group.empty()) {
        name.append(group);
        name += '/';
    }
    name.append(key);
    return name;
}

double Setting::Get() const {
    return std::visit([](auto* f) { return static_cast<double>(f->load()); }, field);
}

void Setting::Set(double value) const {
    if (type == ValueType::kFlag) value = value != 0 ? 1 : 0;
    std::visit(
        [value](auto* f) {
            using T = decltype(f->load());
            f->store(Narrow<T>(value));
        },
        field);
}

double Setting::Clamp(double value) const {
    switch (limit) {
    case Limit::kNone:
        return value;
    case Limit::kBits: {
        const std::int64_t bits = Narrow<std::int32_t>(value);
        return static_cast<double>(bits & static_cast<std::int64_t>(max));
    }
    default:
        if (std::isnan(value)) return min;
        return std::clamp(value, min, max);
    }
}

bool Setting::WithinLimits(double value) const { return limit == Limit::kNone || Clamp(value) == value; }

double Setting::AsDialogStores(double value) const { return listValue ? listValue(value) : Clamp(value); }

// ---- Tables ----

std::span<const Setting> ProcessSettingTable() { return kProcess; }
std::span<const Setting> ScanSettingTable() { return kScan; }
std::span<const Setting> ScanStepTable() { return kScanSteps; }
std::span<const Setting> DetectSettingTable() { return kDetect; }

std::span<const std::span<const Setting>> AllTables() {
    static const std::array<std::span<const Setting>, 4> tables = {kProcess, kScan, kScanSteps, kDetect};
    return tables;
}

std::span<const Setting> Group(std::span<const Setting> table, std::string_view group) {
    auto first = std::find_if(table.begin(), table.end(), [&](const Setting& s) { return s.group == group; });
    auto last = std::find_if(first, table.end(), [&](const Setting& s) { return s.group != group; });
    return {first, last};
}

std::vector<std::string_view> GroupNames(std::span<const Setting> table) {
    std::vector<std::string_view> names;
    for (const Setting& s : table)
        if (names.empty() || names.back() != s.group) names.push_back(s.group);
    return names;
}

const Setting* Find(std::span<const Setting> table, std::string_view group, std::string_view key) {
    for (const Setting& s : table)
        if (s.group == group && s.key == key) return &s;
    return nullptr;
}

const Setting* FindField(const void* field) {
    const Setting* found = nullptr;
    ForEachRow([&](const Setting& s) {
        if (!found && std::visit([](auto* f) { return static_cast<const void*>(f); }, s.field) == field) found = &s;
    });
    return found;
}

void RestoreDefaults(std::span<const Setting> table) {
    for (const Setting& s : table)
        if (!s.keptOnRestore) s.Set(s.restore);
}

void ResetToStart(std::span<const Setting> table) {
    for (const Setting& s : table) s.Set(s.start);
}

void ClampAll(std::span<const Setting> table) {
    for (const Setting& s : table) s.Set(s.Clamp(s.Get()));
}

template <typename T>
T Clamped(const RelaxedAtomic<T>& field) {
    const T value = field.load();
    const Setting* row = FindField(&field);
    return row ? Narrow<T>(row->Clamp(static_cast<double>(value))) : value;
}

template std::uint8_t Clamped(const RelaxedAtomic<std::uint8_t>&);
template std::uint16_t Clamped(const RelaxedAtomic<std::uint16_t>&);
template std::int32_t Clamped(const RelaxedAtomic<std::int32_t>&);
template float Clamped(const RelaxedAtomic<float>&);
template std::uint32_t Clamped(const RelaxedAtomic<std::uint32_t>&);

}  // namespace settings
