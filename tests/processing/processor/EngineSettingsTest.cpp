// The translation from the settings to the engines' records: every setting
// reaches its own field (one setting changed at a time, with a value no other
// field holds), values the dialogs limit reach the engine clamped, and the
// fixed values the pipeline gives the engines.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ProcessorTestUtil.h"
#include "processing/processor/EngineSettings.h"
#include "settings/ProcessSetting.h"
#include "settings/SettingsTable.h"

namespace es = engine_settings;

namespace {

class EngineSettingsTest : public proctest::SettingsReset {};

void Set(const std::string& name, double value) {
    const std::size_t slash = name.find('/');
    const std::string group = slash == std::string::npos ? "" : name.substr(0, slash);
    const std::string key = slash == std::string::npos ? name : name.substr(slash + 1);
    const settings::Setting* row = settings::Find(settings::ProcessSettingTable(), group, key);
    ASSERT_NE(row, nullptr) << name;
    row->Set(value);
}

struct Case {
    const char* setting;
    double value;
    std::function<double()> field;  // the engine field the translation fills
    double expected;
};

TEST_F(EngineSettingsTest, EverySettingReachesItsOwnField) {
    const Case cases[] = {
        // Background removal of a kept colour page.
        {"rmbkcolor/bright", 33, [] { return es::BackgroundRemoval().brightness; }, 33},
        {"rmbkcolor/contrast", -41, [] { return es::BackgroundRemoval().contrast; }, -41},
        {"rmbkcolor/curve", 77, [] { return es::BackgroundRemoval().darkening; }, 77},
        {"rmbkcolor/colordelta", 12, [] { return es::BackgroundRemoval().colourDelta; }, 12},
        {"rmbkcolor/colorsatuation", 0.375, [] { return es::BackgroundRemoval().saturation; }, 0.375},
        {"rmbkcolor/rmcolortype", 3, [] { return es::BackgroundRemoval().keepMode; }, 3},
        {"keeporigcolor", 0, [] { return double(es::KeepSourceColours()); }, 0},
        {"colorradius", 2.5, [] { return es::BackgroundRemoval().keepRadius; }, 2.5},
        {"colorradius", 40, [] { return es::BackgroundRemoval().keepRadius; }, 6},  // clamped to 0..6
        // Red seals: removal and strengthening.
        {"rmredseal/area", 250, [] { return es::RedSealRemoval().sealArea; }, 250},
        {"rmredseal/type", 1, [] { return double(static_cast<int>(es::RedSealRemoval().type)); }, 1},
        {"rmredseal/erase", 45, [] { return es::RedSealRemoval().erase; }, 45},
        {"rmredseal/erase", 90, [] { return es::RedSealRemoval().erase; }, 60},  // slider 0..60
        {"rmredseal/textstren", 17, [] { return es::RedSealRemoval().textStrength; }, 17},
        {"rmredseal/textstren", -5, [] { return es::RedSealRemoval().textStrength; }, 0},  // slider 0..30
        {"strenredseal/area", 320, [] { return es::RedSealStrengthening().sealArea; }, 320},
        {"strenredseal/type", 1, [] { return double(static_cast<int>(es::RedSealStrengthening().type)); }, 1},
        {"strenredseal/strenvalue", 64, [] { return es::RedSealStrengthening().clip; }, 64},
        {"strenredseal/strenvalue", 0, [] { return es::RedSealStrengthening().clip; }, 1},  // slider 1..99
        // Blank pages.
        {"rmblankpage/threhold", 99, [] { return es::BlankPage().threshold; }, 99},
        {"rmblankpage/contentpercent", 2.5, [] { return es::BlankPage().contentPercent; }, 2.5},
        {"rmblankpage/textpercent", 0.75, [] { return es::BlankPage().textPercent; }, 0.75},
        {"rmblankpage/type", 1, [] { return double(static_cast<int>(es::BlankPage().type)); }, 1},
        // Background colour change.
        {"modifycolor/bkcolor", 0x123456, [] { return es::BackgroundChange().target; }, 0x123456},
        {"modifycolor/ignorepic", 2, [] { return es::BackgroundChange().keepPictures; }, 2},
        {"strokewidth", 8, [] { return es::BackgroundChange().passes; }, 8},
        {"strokewidth", 1000, [] { return es::BackgroundChange().passes; }, 12},  // choices 0, 5, 8, 12
        // Cutting by background colour: the eight colour flags, margin, ratio.
        {"cutbybkcolor/red", 1, [] { return es::CutByBkColor().red; }, 1},
        {"cutbybkcolor/yellow", 1, [] { return es::CutByBkColor().yellow; }, 1},
        {"cutbybkcolor/green", 1, [] { return es::CutByBkColor().green; }, 1},
        {"cutbybkcolor/cyan", 1, [] { return es::CutByBkColor().cyan; }, 1},
        {"cutbybkcolor/blue", 1, [] { return es::CutByBkColor().blue; }, 1},
        {"cutbybkcolor/purple", 1, [] { return es::CutByBkColor().purple; }, 1},
        {"cutbybkcolor/black", 1, [] { return es::CutByBkColor().black; }, 1},
        {"cutbybkcolor/white", 1, [] { return es::CutByBkColor().white; }, 1},
        {"cutbybkcolor/magrinunit", 1, [] { return es::CutByBkColor().marginUnit; }, 1},
        {"cutbybkcolor/margin", 2.5, [] { return es::CutByBkColor().margin; }, 2.5},
        {"cutbybkcolor/contentratio", 150, [] { return es::CutByBkColor().contentRatio; }, 150},
        {"cutbybkcolor/skipwhite", 1, [] { return es::CutByBkColor().skipNearWhite; }, 1},
        // White margins in pixels (cutwhite/margin 0).
        {"marginleftpx", 7, [] { return es::WhiteMargins(300).left; }, 7},
        {"marginrightpx", 8, [] { return es::WhiteMargins(300).right; }, 8},
        {"margintoppx", 9, [] { return es::WhiteMargins(300).top; }, 9},
        {"marginbottompx", 11, [] { return es::WhiteMargins(300).bottom; }, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setting) + " = " + std::to_string(c.value));
        Reset();
        const double before = c.field();
        Set(c.setting, c.value);
        EXPECT_EQ(c.field(), c.expected);
        // The start value is not the one the case sets, so a field that
        // follows another setting (or none) cannot pass.
        EXPECT_NE(before, c.expected);
    }
}

TEST_F(EngineSettingsTest, FixedValuesOfThePipeline) {
    const RedSealParams removal = es::RedSealRemoval();
    const RedSealParams strengthening = es::RedSealStrengthening();
    EXPECT_EQ(static_cast<int>(removal.mode), 0);
    EXPECT_EQ(static_cast<int>(strengthening.mode), 1);
    for (const RedSealParams* p : {&removal, &strengthening}) {
        EXPECT_EQ(p->redLead, 25);
        EXPECT_FLOAT_EQ(p->saturation, 0.15f);
    }
    // Each form leaves the other form's values at the record's own.
    EXPECT_EQ(removal.clip, RedSealParams{}.clip);
    EXPECT_EQ(strengthening.erase, RedSealParams{}.erase);
    EXPECT_EQ(strengthening.textStrength, RedSealParams{}.textStrength);
    EXPECT_EQ(es::CentringTextFilter().threshold, 160);
    EXPECT_EQ(es::BackgroundChange().flag, 0);
    // The start values of the settings, as the records see them.
    EXPECT_EQ(es::BackgroundRemoval().keepMode, 0);
    EXPECT_EQ(es::BackgroundChange().target, 0xC5F9FEu);
    EXPECT_EQ(es::BackgroundChange().passes, 5);
    EXPECT_EQ(static_cast<int>(es::BlankPage().type), 2);
}

TEST_F(EngineSettingsTest, MillimetreMarginsUseWholePixelsPerMillimetre) {
    ProcessSetting::cutwhite.margin = 1;
    ProcessSetting::marginleftmm = 3.0f;
    ProcessSetting::marginrightmm = 1.5f;
    ProcessSetting::margintopmm = 0.0f;
    ProcessSetting::marginbottommm = 10.0f;
    struct {
        int dpi;
        cutting::Margins expected;
    } const cases[] = {
        // 300 dpi: int(300 x 0.03937008) = 11 pixels per mm.
        {300, {33, 16, 0, 110}},
        // 200 dpi: 7 pixels per mm.
        {200, {21, 10, 0, 70}},
        // 600 dpi: 23 pixels per mm.
        {600, {69, 34, 0, 230}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        const cutting::Margins m = es::WhiteMargins(c.dpi);
        EXPECT_EQ(m.left, c.expected.left);
        EXPECT_EQ(m.right, c.expected.right);
        EXPECT_EQ(m.top, c.expected.top);
        EXPECT_EQ(m.bottom, c.expected.bottom);
    }
}

}  // namespace
