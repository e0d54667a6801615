#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "settings/ProcessSetting.h"

namespace {

using PS = ProcessSetting;

// Widths of the stored values: flag one byte, int and float 32-bit words,
// colour a 32-bit COLORREF.
static_assert(sizeof(PS::rmbkcolor.on) == 1);
static_assert(sizeof(PS::rmbkcolor.bright) == 4);
static_assert(sizeof(PS::rmbkcolor.colorsatuation) == 4);
static_assert(std::is_same_v<decltype(PS::rmbkcolor.colorsatuation.load()), float>);
static_assert(std::is_same_v<decltype(PS::modifycolor.bkcolor.load()), std::uint32_t>);
static_assert(std::is_same_v<decltype(PS::correct.on.load()), std::uint8_t>);
static_assert(std::is_same_v<decltype(PS::autocontrast.on.load()), std::int32_t>);

// Start values written out by hand from the settings table, one row per
// value; the code's own initialisers are not consulted to build it.
struct IntRow { const char* name; SettingInt& value; std::int32_t start; };
struct FlagRow { const char* name; SettingFlag& value; std::uint8_t start; };
struct FloatRow { const char* name; SettingFloat& value; float start; };

std::vector<IntRow> IntRows() {
    return {
        {"rmbkcolor/bright", PS::rmbkcolor.bright, 40},
        {"rmbkcolor/contrast", PS::rmbkcolor.contrast, 50},
        {"rmbkcolor/curve", PS::rmbkcolor.curve, 50},
        {"rmbkcolor/colordelta", PS::rmbkcolor.colordelta, 25},
        {"rmbkcolor/rmcolortype", PS::rmbkcolor.rmcolortype, 0},
        {"rmbkcolor/illstration", PS::rmbkcolor.illstration, 0},
        {"rmbkcolor/illstrationcontrast", PS::rmbkcolor.illstrationcontrast, 0},
        {"rmbkcolor/illstrationbright", PS::rmbkcolor.illstrationbright, 0},
        {"autocontrast/on", PS::autocontrast.on, 0},
        {"rmblackboard/on", PS::rmblackboard.on, 0},
        {"rmblackboard/ratioarea", PS::rmblackboard.ratioarea, 5},
        {"rmblackboard/whiteframewid", PS::rmblackboard.whiteframewid, 10},
        {"rmblackborder/threhold", PS::rmblackborder.threhold, 160},
        {"rmblackborder/type", PS::rmblackborder.type, 0},
        {"rmblackborder/region", PS::rmblackborder.region, 0},
        {"rmblackborder/left", PS::rmblackborder.left, 10},
        {"rmblackborder/top", PS::rmblackborder.top, 10},
        {"rmblackborder/right", PS::rmblackborder.right, 10},
        {"rmblackborder/bottom", PS::rmblackborder.bottom, 10},
        {"rmblackborder/ratio", PS::rmblackborder.ratio, 5},
        {"correct/method", PS::correct.method, 0},
        {"correct/angle", PS::correct.angle, 5},
        {"correct/fillcolor", PS::correct.fillcolor, 1},
        {"center/on", PS::center.on, 0},
        {"center/type", PS::center.type, 0},
        {"cutwhite/on", PS::cutwhite.on, 0},
        {"cutwhite/threholdtype", PS::cutwhite.threholdtype, 0},
        {"cutwhite/threhold", PS::cutwhite.threhold, 128},
        {"cutwhite/margin", PS::cutwhite.margin, 0},
        {"cutbybkcolor/on", PS::cutbybkcolor.on, 0},
        {"cutbybkcolor/red", PS::cutbybkcolor.red, 0},
        {"cutbybkcolor/yellow", PS::cutbybkcolor.yellow, 0},
        {"cutbybkcolor/green", PS::cutbybkcolor.green, 0},
        {"cutbybkcolor/cyan", PS::cutbybkcolor.cyan, 0},
        {"cutbybkcolor/blue", PS::cutbybkcolor.blue, 0},
        {"cutbybkcolor/purple", PS::cutbybkcolor.purple, 0},
        {"cutbybkcolor/black", PS::cutbybkcolor.black, 0},
        {"cutbybkcolor/white", PS::cutbybkcolor.white, 0},
        {"cutbybkcolor/magrinunit", PS::cutbybkcolor.magrinunit, 0},
        {"bindhole/on", PS::bindhole.on, 0},
        {"bindhole/left", PS::bindhole.left, 10},
        {"bindhole/right", PS::bindhole.right, 10},
        {"bindhole/top", PS::bindhole.top, 0},
        {"bindhole/bottom", PS::bindhole.bottom, 0},
        {"bindhole/areamin", PS::bindhole.areamin, 2},
        {"bindhole/areamax", PS::bindhole.areamax, 100},
        {"bindhole/radius", PS::bindhole.radius, 1},
        {"bindhole/ignore", PS::bindhole.ignore, 10},
        {"bindhole/backtype", PS::bindhole.backtype, 0},
        {"bindhole/colordelta", PS::bindhole.colordelta, 25},
        {"rmstains/threhold", PS::rmstains.threhold, 160},
        {"rmredseal/on", PS::rmredseal.on, 0},
        {"rmredseal/type", PS::rmredseal.type, 0},
        {"rmredseal/area", PS::rmredseal.area, 100},
        {"rmredseal/erase", PS::rmredseal.erase, 20},
        {"rmredseal/textstren", PS::rmredseal.textstren, 10},
        {"strenredseal/on", PS::strenredseal.on, 0},
        {"strenredseal/type", PS::strenredseal.type, 0},
        {"strenredseal/area", PS::strenredseal.area, 100},
        {"strenredseal/strenvalue", PS::strenredseal.strenvalue, 30},
        {"rmblankpage/on", PS::rmblankpage.on, 0},
        {"rmblankpage/type", PS::rmblankpage.type, 2},
        {"rmblankpage/threhold", PS::rmblankpage.threhold, 128},
        {"modifycolor/on", PS::modifycolor.on, 0},
        {"modifycolor/ignorepic", PS::modifycolor.ignorepic, 1},
        {"rotatetextdirect/on", PS::rotatetextdirect.on, 0},
        {"rotatetextdirect/percent", PS::rotatetextdirect.percent, 0},
        {"output/on", PS::output.on, 0},
        {"output/sizetype", PS::output.sizetype, 0},
        {"output/widpixel", PS::output.widpixel, 2480},
        {"output/heipixel", PS::output.heipixel, 3508},
        {"output/fillcolor", PS::output.fillcolor, 1},
        {"output/maintainhw", PS::output.maintainhw, 1},
        {"dpi/on", PS::dpi.on, 0},
        {"dpi/dst", PS::dpi.dst, 300},
        {"filesave/jpgquality", PS::filesave.jpgquality, 85},
        {"filesave/tiffcompress", PS::filesave.tiffcompress, 0},
        {"strokewidth", PS::strokewidth, 5},
        {"marginleftpx", PS::marginleftpx, 25},
        {"margintoppx", PS::margintoppx, 25},
        {"marginrightpx", PS::marginrightpx, 25},
        {"marginbottompx", PS::marginbottompx, 25},
        {"holethresholdmin", PS::holethresholdmin, 0},
        {"holethresholdmax", PS::holethresholdmax, 128},
        {"holefillcolor", PS::holefillcolor, 0},
        {"compareimage", PS::compareimage, 0},
        {"PlacementMode", PS::PlacementMode, 0},
    };
}

std::vector<FlagRow> FlagRows() {
    return {
        {"rmbkcolor/on", PS::rmbkcolor.on, 1},
        {"rmbkcolor/allpic", PS::rmbkcolor.allpic, 1},
        {"rmblackboard/includecolorpixel", PS::rmblackboard.includecolorpixel, 0},
        {"rmblackborder/on", PS::rmblackborder.on, 0},
        {"correct/on", PS::correct.on, 1},
        {"correct/textdirecthor", PS::correct.textdirecthor, 1},
        {"correct/keepsize", PS::correct.keepsize, 0},
        {"center/allobj", PS::center.allobj, 1},
        {"cutbybkcolor/skipwhite", PS::cutbybkcolor.skipwhite, 0},
        {"rmstains/on", PS::rmstains.on, 0},
        {"filesave/retaincolor", PS::filesave.retaincolor, 1},
        {"keeporigcolor", PS::keeporigcolor, 1},
        {"tryothers", PS::tryothers, 1},
        {"twocolumns", PS::twocolumns, 0},
    };
}

std::vector<FloatRow> FloatRows() {
    return {
        {"rmbkcolor/colorsatuation", PS::rmbkcolor.colorsatuation, 0.15f},
        {"autocontrast/high", PS::autocontrast.high, 0.1f},
        {"autocontrast/low", PS::autocontrast.low, 0.1f},
        {"rmblackborder/ratioarea", PS::rmblackborder.ratioarea, 4.0f},
        {"center/checkscalehor", PS::center.checkscalehor, 2.0f},
        {"center/checkscalever", PS::center.checkscalever, 2.0f},
        {"cutwhite/checkscale", PS::cutwhite.checkscale, 2.0f},
        {"cutbybkcolor/margin", PS::cutbybkcolor.margin, 0.0f},
        {"cutbybkcolor/contentratio", PS::cutbybkcolor.contentratio, 50.0f},
        {"rmstains/areamax", PS::rmstains.areamax, 4.0f},
        {"rmblankpage/contentpercent", PS::rmblankpage.contentpercent, 1.0f},
        {"rmblankpage/textpercent", PS::rmblankpage.textpercent, 0.1f},
        {"colorradius", PS::colorradius, 0.1f},
        {"marginleftmm", PS::marginleftmm, 3.0f},
        {"margintopmm", PS::margintopmm, 3.0f},
        {"marginrightmm", PS::marginrightmm, 3.0f},
        {"marginbottommm", PS::marginbottommm, 3.0f},
    };
}

// Writes a value different from every start value into every setting, so a
// reset that forgets a value is caught.
void ScrambleEverything() {
    for (auto& r : IntRows()) r.value = r.start + 7;
    for (auto& r : FlagRows()) r.value = static_cast<std::uint8_t>(r.start ^ 1);
    for (auto& r : FloatRows()) r.value = r.start + 0.5f;
    PS::modifycolor.bkcolor = 0x123456;
}

// Every value equals its start value, except the names listed in `except`.
void ExpectStartValues(const std::vector<std::string>& except = {}) {
    auto skip = [&](const char* name) {
        for (const auto& e : except)
            if (e == name) return true;
        return false;
    };
    for (const auto& r : IntRows()) {
        if (!skip(r.name)) {
            EXPECT_EQ(r.value.load(), r.start) << r.name;
        }
    }
    for (const auto& r : FlagRows()) {
        if (!skip(r.name)) {
            EXPECT_EQ(r.value.load(), r.start) << r.name;
        }
    }
    for (const auto& r : FloatRows()) {
        if (!skip(r.name)) {
            EXPECT_EQ(r.value.load(), r.start) << r.name;
        }
    }
    if (!skip("modifycolor/bkcolor")) {
        // red 254, green 249, blue 197 as a COLORREF.
        EXPECT_EQ(PS::modifycolor.bkcolor.load(), 12974590u);
    }
}

class ProcessSettingTest : public ::testing::Test {
protected:
    void SetUp() override { PS::ResetToStart(); }
    void TearDown() override { PS::ResetToStart(); }
};

}  // namespace

TEST(ProcessSettingStart, ValuesAtProgramStartEqualTheTable) {
    // No reset first: this is what the program starts with.
    ExpectStartValues();
    EXPECT_EQ(PS::modifycolor.bkcolor.load(), 0xC5F9FEu);
}

TEST_F(ProcessSettingTest, ResetToStartUndoesEveryChange) {
    ScrambleEverything();
    PS::ResetToStart();
    ExpectStartValues();
}

TEST_F(ProcessSettingTest, RestoreDefaultsDiffersFromStartInThreePlacesAndKeepsPlacement) {
    ScrambleEverything();
    PS::PlacementMode = 3;
    PS::RestoreDefaults();
    EXPECT_EQ(PS::colorradius.load(), 2.0f);
    EXPECT_EQ(PS::bindhole.top.load(), 10);
    EXPECT_EQ(PS::bindhole.bottom.load(), 10);
    EXPECT_EQ(PS::PlacementMode.load(), 3);
    ExpectStartValues({"colorradius", "bindhole/top", "bindhole/bottom", "PlacementMode"});
}

TEST_F(ProcessSettingTest, AWorkerSeesAValueChangedWhileItRuns) {
    // A worker polls a setting the way a pipeline step reads it; the UI
    // thread changes it once. Under ThreadSanitizer this is race-free.
    std::atomic<bool> seen{false};
    std::thread worker([&] {
        for (int i = 0; i < 200000000 && !seen; ++i)
            if (PS::rmbkcolor.bright == 77) seen = true;
    });
    PS::rmbkcolor.bright = 77;
    worker.join();
    EXPECT_TRUE(seen.load());
}
