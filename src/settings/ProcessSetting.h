// The batch processing settings: one value for every switch and parameter of
// the clean-up steps 【１】 to 【１７】, grouped as the configuration file groups
// them (`rmbkcolor/bright` is `ProcessSetting::rmbkcolor.bright`), plus the
// values the configuration file does not carry.
//
// The store is process-wide and starts from the built-in values below. The
// user-interface thread writes it (settings dialog, the main window's quick
// checks, the configuration loader); worker threads read it live while they
// process, so a change made during a run reaches every step that reads the
// value afterwards. Each value is a relaxed atomic (RelaxedAtomic.h).
//
// Widths: flag = unsigned byte (0 or 1), int = signed 32-bit, float = 32-bit
// IEEE, colour = COLORREF (0x00BBGGRR).
#pragma once

#include <cstdint>

#include "platform/core/WinTypes.h"
#include "settings/RelaxedAtomic.h"

using SettingFlag = RelaxedAtomic<std::uint8_t>;
using SettingInt = RelaxedAtomic<std::int32_t>;
using SettingFloat = RelaxedAtomic<float>;
using SettingColor = RelaxedAtomic<COLORREF>;

namespace process_setting {

// 【１】 remove background colour.
struct RmBkColor {
    SettingFlag on{1};                 // also the main window's background check
    SettingInt bright{40};             // brightness shift of the grey levels
    SettingInt contrast{50};           // contrast around the mean grey
    SettingInt curve{50};              // darkening strength (tone curve)
    SettingFlag allpic{1};             // 1 all images, 0 only 8- and 1-bit ones
    SettingInt colordelta{25};         // colour difference of useful colour
    SettingFloat colorsatuation{0.15f};  // saturation of useful colour
    SettingInt rmcolortype{0};         // colour strategy 0..3
    SettingInt illstration{0};         // pictures: 0 all, 1 photos kept, 2 both kept
    SettingInt illstrationcontrast{0};  // contrast inside found pictures
    SettingInt illstrationbright{0};   // brightness inside found pictures
};
// 【２】 auto contrast.
struct AutoContrast {
    SettingInt on{0};
    SettingFloat high{0.1f};  // highlight clip, percent
    SettingFloat low{0.1f};   // shadow clip, percent
};
// 【３】 black scanning board.
struct RmBlackBoard {
    SettingInt on{0};
    SettingInt ratioarea{5};        // radiation radius
    SettingInt whiteframewid{10};   // detection width, pixels
    SettingFlag includecolorpixel{0};
};
// 【４】 black borders.
struct RmBlackBorder {
    SettingFlag on{0};
    SettingFloat ratioarea{4.0f};  // carried by the configuration file only
    SettingInt threhold{160};      // darker pixels are border
    SettingInt type{0};            // 0 everything but text, 1 only larger borders
    SettingInt region{0};          // 0 automatic, 1 outside the four bands
    SettingInt left{10};           // bands, percent of width / height
    SettingInt top{10};
    SettingInt right{10};
    SettingInt bottom{10};
    SettingInt ratio{5};           // radiation, pixels
};
// 【５】 deskew.
struct Correct {
    SettingFlag on{1};          // also the main window's deskew check
    SettingInt method{0};       // 0..2; a batch run's run type
    SettingInt angle{5};        // largest skew searched: 5, 15 or 30 degrees
    SettingInt fillcolor{1};    // uncovered corners: 1 white, 0 black
    SettingFlag textdirecthor{1};  // text runs 1 horizontally, 0 vertically
    SettingFlag keepsize{0};    // keep the source size after the rotation
};
// 【６】 centre the content.
struct Center {
    SettingInt on{0};
    SettingInt type{0};               // bit 0 horizontally, bit 1 vertically
    SettingFloat checkscalehor{2.0f};  // percent of the height
    SettingFloat checkscalever{2.0f};  // percent of the width
    SettingFlag allobj{1};            // 1 all objects, 0 text only
};
// 【７】 cut white margins on white background.
struct CutWhite {
    SettingInt on{0};
    SettingFloat checkscale{2.0f};  // percent of the width or height
    SettingInt threholdtype{0};     // 0 automatic, 1 fixed
    SettingInt threhold{128};       // fixed threshold
    SettingInt margin{0};           // unit of the kept margins: 0 pixels, 1 mm
};
// 【８】 cut the four edges by background colour.
struct CutByBkColor {
    SettingInt on{0};
    SettingInt red{0};
    SettingInt yellow{0};
    SettingInt green{0};
    SettingInt cyan{0};
    SettingInt blue{0};
    SettingInt purple{0};
    SettingInt black{0};
    SettingInt white{0};
    SettingFloat margin{0.0f};         // in the unit of magrinunit
    SettingFloat contentratio{50.0f};  // percent of the width or height
    SettingFlag skipwhite{0};          // skip images with a white background
    SettingInt magrinunit{0};          // 0 pixels, 1 millimetres
};
// 【９】 binding holes.
struct BindHole {
    SettingInt on{0};
    SettingInt left{10};     // search bands, percent of width / height
    SettingInt right{10};
    SettingInt top{0};       // restore value 10
    SettingInt bottom{0};    // restore value 10
    SettingInt areamin{2};   // square millimetres
    SettingInt areamax{100};
    SettingInt radius{1};    // millimetres
    SettingInt ignore{10};   // corner areas ignored, percent
    SettingInt backtype{0};  // background type for the hole remover
    SettingInt colordelta{25};
};
// 【１０】 stains over the whole image.
struct RmStains {
    SettingFlag on{0};
    SettingFloat areamax{4.0f};  // square millimetres
    SettingInt threhold{160};
};
// 【１１】 remove red seals.
struct RmRedSeal {
    SettingInt on{0};
    SettingInt type{0};        // 0 seals, 1 all red
    SettingInt area{100};      // square millimetres
    SettingInt erase{20};
    SettingInt textstren{10};
};
// Strengthen red seals.
struct StrenRedSeal {
    SettingInt on{0};
    SettingInt type{0};
    SettingInt area{100};
    SettingInt strenvalue{30};
};
// 【１２】 delete blank pages.
struct RmBlankPage {
    SettingInt on{0};
    SettingInt type{2};                // 1 by threshold, 2 by text
    SettingInt threhold{128};
    SettingFloat contentpercent{1.0f};
    SettingFloat textpercent{0.1f};
};
// 【１３】 change the background colour.
struct ModifyColor {
    SettingInt on{0};
    SettingColor bkcolor{RGB(254, 249, 197)};  // COLORREF 12974590
    SettingInt ignorepic{1};  // 0 all change, 1 photos kept, 2 both kept
};
// 【１４】 turn upright by text direction.
struct RotateTextDirect {
    SettingInt on{0};
    SettingInt percent{0};  // edited and persisted, not read by the processing
};
// 【１５】 fixed output size.
struct Output {
    SettingInt on{0};
    SettingInt sizetype{0};  // carried by the configuration file only
    SettingInt widpixel{2480};
    SettingInt heipixel{3508};
    SettingInt fillcolor{1};   // 1 white, 0 black
    SettingInt maintainhw{1};  // keep the page's orientation
};
// 【１６】 change DPI.
struct Dpi {
    SettingInt on{0};
    SettingInt dst{300};
};
// 【１７】 file saving.
struct FileSave {
    SettingInt jpgquality{85};
    SettingFlag retaincolor{1};  // 24/32-bit results: 1 keep the depth, 0 grey
    SettingInt tiffcompress{0};  // 0 the source's, 1 JPEG, 2 LZW
};

// Values the configuration file does not carry, reached by their own
// names (ProcessSetting::colorradius).
struct Loose {
    SettingFlag keeporigcolor{1};  // keep source colours as far as possible
    SettingFloat colorradius{0.1f};  // keep radius of useful colour, mm; restore 2.0
    SettingInt strokewidth{5};     // 0, 5, 8 or 12
    SettingFlag tryothers{1};      // deskew tries the other methods
    SettingFlag twocolumns{0};     // two equal text columns
    SettingInt marginleftpx{25};
    SettingInt margintoppx{25};
    SettingInt marginrightpx{25};
    SettingInt marginbottompx{25};
    SettingFloat marginleftmm{3.0f};
    SettingFloat margintopmm{3.0f};
    SettingFloat marginrightmm{3.0f};
    SettingFloat marginbottommm{3.0f};
    SettingInt holethresholdmin{0};
    SettingInt holethresholdmax{128};
    SettingInt holefillcolor{0};   // 0 automatic, 1 white
    SettingInt compareimage{0};    // bit 0 borders, bit 1 stains, bit 2 holes
    SettingInt PlacementMode{0};   // 0 none, 1 centre, 2 cut white, 3 cut by colour
};

}  // namespace process_setting

struct ProcessSetting {
    using RmBkColor = process_setting::RmBkColor;
    using AutoContrast = process_setting::AutoContrast;
    using RmBlackBoard = process_setting::RmBlackBoard;
    using RmBlackBorder = process_setting::RmBlackBorder;
    using Correct = process_setting::Correct;
    using Center = process_setting::Center;
    using CutWhite = process_setting::CutWhite;
    using CutByBkColor = process_setting::CutByBkColor;
    using BindHole = process_setting::BindHole;
    using RmStains = process_setting::RmStains;
    using RmRedSeal = process_setting::RmRedSeal;
    using StrenRedSeal = process_setting::StrenRedSeal;
    using RmBlankPage = process_setting::RmBlankPage;
    using ModifyColor = process_setting::ModifyColor;
    using RotateTextDirect = process_setting::RotateTextDirect;
    using Output = process_setting::Output;
    using Dpi = process_setting::Dpi;
    using FileSave = process_setting::FileSave;

    static inline RmBkColor rmbkcolor;
    static inline AutoContrast autocontrast;
    static inline RmBlackBoard rmblackboard;
    static inline RmBlackBorder rmblackborder;
    static inline Correct correct;
    static inline Center center;
    static inline CutWhite cutwhite;
    static inline CutByBkColor cutbybkcolor;
    static inline BindHole bindhole;
    static inline RmStains rmstains;
    static inline RmRedSeal rmredseal;
    static inline StrenRedSeal strenredseal;
    static inline RmBlankPage rmblankpage;
    static inline ModifyColor modifycolor;
    static inline RotateTextDirect rotatetextdirect;
    static inline Output output;
    static inline Dpi dpi;
    static inline FileSave filesave;

    using Loose = process_setting::Loose;
    static inline Loose loose;
    static inline SettingFlag& keeporigcolor = loose.keeporigcolor;
    static inline SettingFloat& colorradius = loose.colorradius;
    static inline SettingInt& strokewidth = loose.strokewidth;
    static inline SettingFlag& tryothers = loose.tryothers;
    static inline SettingFlag& twocolumns = loose.twocolumns;
    static inline SettingInt& marginleftpx = loose.marginleftpx;
    static inline SettingInt& margintoppx = loose.margintoppx;
    static inline SettingInt& marginrightpx = loose.marginrightpx;
    static inline SettingInt& marginbottompx = loose.marginbottompx;
    static inline SettingFloat& marginleftmm = loose.marginleftmm;
    static inline SettingFloat& margintopmm = loose.margintopmm;
    static inline SettingFloat& marginrightmm = loose.marginrightmm;
    static inline SettingFloat& marginbottommm = loose.marginbottommm;
    static inline SettingInt& holethresholdmin = loose.holethresholdmin;
    static inline SettingInt& holethresholdmax = loose.holethresholdmax;
    static inline SettingInt& holefillcolor = loose.holefillcolor;
    static inline SettingInt& compareimage = loose.compareimage;
    static inline SettingInt& PlacementMode = loose.PlacementMode;

    // "恢复默认": every value takes its restore value (the start value, except
    // colorradius 2.0 and bindhole/top, bindhole/bottom 10); PlacementMode
    // keeps its value.
    static void RestoreDefaults();
    // Every value back to its value at program start (PlacementMode
    // included). For tests and for a fresh start.
    static void ResetToStart();

    ProcessSetting() = delete;
};
