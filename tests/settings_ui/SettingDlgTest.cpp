// The batch settings dialog driven by control id as a user drives it: typed
// values through the save's limits, the refusals and what a refused save has
// already stored, cancel, restore defaults against the settings table, the
// placement and exclusion rules, the scan variant, page navigation and the
// values some controls show for stored values outside their lists.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "SettingDlgFixture.h"
#include "platform/core/Numbers.h"
#include "platform/core/Strings.h"
#include "settings/ConfigFile.h"
#include "settings/SettingKinds.h"
#include "settings/SettingsTable.h"

namespace {

using PS = ProcessSetting;
constexpr const wchar_t* kSaved = L"保存完毕,可以用这设置进行批量处理了";

// Every stored value of the processing settings, in table order.
std::vector<double> Snapshot() {
    std::vector<double> out;
    for (const settings::Setting& s : settings::ProcessSettingTable()) out.push_back(s.Get());
    return out;
}

// Lists rows whose stored value differs from `expected` (for messages).
std::string Differences(const std::vector<double>& expected) {
    std::string out;
    const auto table = settings::ProcessSettingTable();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].Get() != expected[i])
            out += table[i].Name() + "=" + std::to_string(table[i].Get()) + " (expected " +
                   std::to_string(expected[i]) + ") ";
    return out;
}

struct TypedCase {
    int page;
    int id;
    const wchar_t* typed;
    std::function<double()> stored;
    double expected;
};

}  // namespace

// One table: control -> setting, with the limit the save applies (clamp,
// at least, or stored as typed) and the value it stores.
TEST_F(SettingDlgTest, TypedValuesAreStoredWithinTheirLimits) {
    const std::vector<TypedCase> cases = {
        // Page 1.
        {0, IDC_BLACKBOARD_RADIUS, L"0", [] { return double(PS::rmblackboard.ratioarea); }, 1},
        {0, IDC_BLACKBOARD_RADIUS, L"25", [] { return double(PS::rmblackboard.ratioarea); }, 20},
        {0, IDC_BLACKBOARD_RADIUS, L"7", [] { return double(PS::rmblackboard.ratioarea); }, 7},
        {0, IDC_BLACKBOARD_WIDTH, L"0", [] { return double(PS::rmblackboard.whiteframewid); }, 1},
        {0, IDC_BLACKBOARD_WIDTH, L"150", [] { return double(PS::rmblackboard.whiteframewid); }, 100},
        {0, IDC_CUTWHITE_SCALE, L"100", [] { return double(PS::cutwhite.checkscale); }, 80},
        {0, IDC_CUTWHITE_SCALE, L"0", [] { return double(PS::cutwhite.checkscale); }, 0.1f},
        {0, IDC_CENTER_SCALE_HOR, L"0", [] { return double(PS::center.checkscalehor); }, 0.1f},
        {0, IDC_CENTER_SCALE_VER, L"60", [] { return double(PS::center.checkscalever); }, 50},
        {0, IDC_COLOUR_RADIUS, L"7", [] { return double(PS::colorradius); }, 6},
        {0, IDC_COLOUR_RADIUS, L"-1", [] { return double(PS::colorradius); }, 0},
        {0, IDC_COLOUR_RADIUS, L"1.5", [] { return double(PS::colorradius); }, 1.5},
        {0, IDC_COLOUR_DELTA, L"100", [] { return double(PS::rmbkcolor.colordelta); }, 100},
        {0, IDC_SATURATION, L"0", [] { return double(PS::rmbkcolor.colorsatuation); }, 0},
        // Stored as typed: the label's range is not enforced.
        {0, IDC_BLACKBORDER_THRESHOLD, L"300", [] { return double(PS::rmblackborder.threhold); }, 300},
        {0, IDC_AUTOCONTRAST_LOW, L"3.5", [] { return double(PS::autocontrast.low); }, 3.5},
        {0, IDC_CUTWHITE_THRESHOLD, L"abc", [] { return double(PS::cutwhite.threhold); }, 0},
        {0, IDC_BLACKBORDER_RATIO, L"12", [] { return double(PS::rmblackborder.ratio); }, 12},
        // Page 2.
        {1, IDC_P2_STAIN_THRESHOLD, L"300", [] { return double(PS::rmstains.threhold); }, 254},
        {1, IDC_P2_STAIN_THRESHOLD, L"-5", [] { return double(PS::rmstains.threhold); }, 0},
        {1, IDC_P2_STAIN_AREA, L"-1", [] { return double(PS::rmstains.areamax); }, 0},
        {1, IDC_P2_STAIN_AREA, L"2.25", [] { return double(PS::rmstains.areamax); }, 2.25},
        {1, IDC_P2_CUT_RATIO, L"0", [] { return double(PS::cutbybkcolor.contentratio); }, 0.1f},
        {1, IDC_P2_CUT_RATIO, L"150", [] { return double(PS::cutbybkcolor.contentratio); }, 100},
        {1, IDC_P2_CUT_MARGIN, L"-2", [] { return double(PS::cutbybkcolor.margin); }, 0},
        {1, IDC_P2_HOLE_AREA_MAX, L"5000", [] { return double(PS::bindhole.areamax); }, 5000},
        {1, IDC_P2_HOLE_THRESHOLD_MAX, L"200", [] { return double(PS::holethresholdmax); }, 200},
        {1, IDC_P2_RMSEAL_AREA, L"250", [] { return double(PS::rmredseal.area); }, 250},
        {1, IDC_P2_ROTATE_PERCENT, L"30", [] { return double(PS::rotatetextdirect.percent); }, 30},
        // Page 3.
        {2, IDC_P3_WIDTH, L"0", [] { return double(PS::output.widpixel); }, 1},
        {2, IDC_P3_WIDTH, L"40000", [] { return double(PS::output.widpixel); }, 32768},
        {2, IDC_P3_HEIGHT, L"-3", [] { return double(PS::output.heipixel); }, 1},
        {2, IDC_P3_HEIGHT, L"1754", [] { return double(PS::output.heipixel); }, 1754},
    };
    for (const TypedCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "control " << c.id << " on page " << c.page + 1 << " typed "
                                        << ToUtf8(c.typed));
        ProcessSetting::ResetToStart();
        dialogs->Clear();
        Open([&](SettingDrivers& d) {
            // The colour-strategy edits and the fixed threshold are enabled
            // by these choices.
            ASSERT_TRUE(d.page1.Click(IDC_COLOUR_STRATEGY));
            ASSERT_TRUE(d.page1.Choose(IDC_CUTWHITE_THRESHOLD_TYPE, 1));
            d.GoTo(c.page);
            ASSERT_TRUE(d.Page(c.page).Type(c.id, c.typed));
            ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
        });
        EXPECT_EQ(c.stored(), c.expected);
        EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{kSaved});
    }
}

// A refused value stops the save: what comes before it is stored, the rest
// (pages 2 and 3 included) keeps its old value, and no success message.
TEST_F(SettingDlgTest, ARefusedValueStopsTheSaveWithTheEarlierValuesStored) {
    struct Case {
        int id;
        const wchar_t* typed;
        const wchar_t* message;
    };
    const Case cases[] = {
        {IDC_COLOUR_DELTA, L"0", L"色差范围为0到100."},
        {IDC_COLOUR_DELTA, L"101", L"色差范围为0到100."},
        {IDC_SATURATION, L"1.5", L"饱和度范围[0,1]."},
        {IDC_SATURATION, L"-0.1", L"饱和度范围[0,1]."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.typed));
        ProcessSetting::ResetToStart();
        dialogs->Clear();
        Open([&](SettingDrivers& d) {
            ASSERT_TRUE(d.page1.Click(IDC_COLOUR_STRATEGY));
            // Before the refused value.
            ASSERT_TRUE(d.page1.Click(IDC_CORRECT_ON));  // off
            ASSERT_TRUE(d.page1.Choose(IDC_CORRECT_ANGLE, 2));
            ASSERT_TRUE(d.page1.Choose(IDC_CORRECT_METHOD, 1));
            ASSERT_TRUE(d.page1.Click(IDC_TEXT_VERTICAL));
            ASSERT_TRUE(d.page1.Click(IDC_RMBK_ON));  // off
            ASSERT_TRUE(d.page1.Slide(IDC_BRIGHT_SLIDER, 100));
            ASSERT_TRUE(d.page1.Click(IDC_FILL_BLACK));
            ASSERT_TRUE(d.page1.Click(IDC_TWO_COLUMNS));
            ASSERT_TRUE(d.page1.Type(IDC_COLOUR_DELTA, L"40"));
            // After it.
            ASSERT_TRUE(d.page1.Type(IDC_COLOUR_RADIUS, L"3"));
            ASSERT_TRUE(d.page1.Click(IDC_CUTWHITE_ON));
            d.GoTo(1);
            ASSERT_TRUE(d.page2.Click(IDC_P2_RMSEAL_ON));
            d.GoTo(2);
            ASSERT_TRUE(d.page3.Type(IDC_P3_WIDTH, L"1000"));
            // The refused value last.
            d.GoTo(0);
            ASSERT_TRUE(d.page1.Type(c.id, c.typed));
            ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
        });
        EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{c.message});
        EXPECT_EQ(dialogs->Shown().back().caption, L"提示");
        EXPECT_EQ(PS::correct.on, 0);
        EXPECT_EQ(PS::correct.angle, 30);
        EXPECT_EQ(PS::correct.method, 1);
        EXPECT_EQ(PS::correct.textdirecthor, 0);
        EXPECT_EQ(PS::rmbkcolor.on, 0);
        EXPECT_EQ(PS::rmbkcolor.bright, 100);
        EXPECT_EQ(PS::correct.fillcolor, 0);
        EXPECT_EQ(PS::twocolumns, 1);
        // The colour delta is stored when the saturation is the refused one.
        EXPECT_EQ(PS::rmbkcolor.colordelta, c.id == IDC_SATURATION ? 40 : 25);
        EXPECT_FLOAT_EQ(PS::colorradius, 0.1f);
        EXPECT_EQ(PS::cutwhite.on, 0);
        EXPECT_EQ(PS::rmredseal.on, 0);
        EXPECT_EQ(PS::output.widpixel, 2480);
    }
}

TEST_F(SettingDlgTest, ClosingWithoutSavingKeepsEveryStoredValue) {
    const std::vector<double> before = Snapshot();
    Open([&](SettingDrivers& d) {
        ASSERT_TRUE(d.page1.Click(IDC_CORRECT_ON));
        ASSERT_TRUE(d.page1.Click(IDC_COLOUR_STRATEGY));
        ASSERT_TRUE(d.page1.Type(IDC_COLOUR_DELTA, L"60"));
        ASSERT_TRUE(d.page1.Slide(IDC_CURVE_SLIDER, 10));
        ASSERT_TRUE(d.page1.Click(IDC_CENTER_ON));
        d.GoTo(1);
        ASSERT_TRUE(d.page2.Click(IDC_P2_BLANK_ON));
        ASSERT_TRUE(d.page2.Type(IDC_P2_STAIN_AREA, L"9"));
        d.GoTo(2);
        ASSERT_TRUE(d.page3.Click(IDC_P3_DPI_ON));
        ASSERT_TRUE(d.page3.Slide(IDC_P3_JPEG_QUALITY, 40));
    });
    // Ticking a placement step sets the placement mode at once; nothing else
    // reaches the store.
    EXPECT_EQ(PS::PlacementMode, 1);
    PS::PlacementMode = 0;
    EXPECT_EQ(Differences(before), "");
    EXPECT_TRUE(dialogs->MessageTexts().empty());
    // Reopening shows the stored values, not the abandoned ones.
    Open([&](SettingDrivers& d) {
        EXPECT_TRUE(d.page1.IsChecked(IDC_CORRECT_ON));
        EXPECT_EQ(d.page1.Text(IDC_COLOUR_DELTA), L"25");
        EXPECT_EQ(d.page1.Text(IDC_CURVE_VALUE), L"50");
        EXPECT_EQ(d.page3.Text(IDC_P3_JPEG_QUALITY_VALUE), L"85");
    });
}

// Opening and saving changes nothing: every control shows its value in a
// form the save reads back, for the start values and for a second set.
TEST_F(SettingDlgTest, SavingUnchangedControlsStoresTheSameValues) {
    const std::function<void()> setups[] = {
        [] {},
        [] {
            PS::correct.method = 2;
            PS::correct.angle = 30;
            PS::rmbkcolor.colordelta = 77;
            PS::rmbkcolor.colorsatuation = 0.42f;
            PS::rmbkcolor.rmcolortype = 2;
            PS::rmbkcolor.illstration = 1;
            PS::rmbkcolor.illstrationbright = 30;
            PS::rmbkcolor.illstrationcontrast = -20;
            PS::rmbkcolor.allpic = 0;
            PS::keeporigcolor = 0;
            PS::colorradius = 4.5f;
            PS::strokewidth = 12;
            PS::cutwhite.on = 1;
            PS::cutwhite.margin = 1;
            PS::marginleftmm = 2.5f;
            PS::cutwhite.threholdtype = 1;
            PS::cutwhite.threhold = 99;
            PS::center.type = 3;
            PS::center.allobj = 0;
            PS::autocontrast.on = 1;
            PS::autocontrast.low = 1.5f;
            PS::rmblackborder.on = 1;
            PS::rmblackborder.region = 1;
            PS::compareimage = 7;
            PS::rmredseal.on = 1;
            PS::rmredseal.type = 1;
            PS::rmredseal.erase = 45;
            PS::rmblankpage.on = 1;
            PS::rmblankpage.type = 1;
            PS::rmblankpage.contentpercent = 2.5f;
            PS::rmblankpage.threhold = 90;
            PS::modifycolor.bkcolor = RGB(10, 20, 30);
            PS::modifycolor.ignorepic = 2;
            PS::bindhole.top = 7;
            PS::holefillcolor = 1;
            PS::output.on = 1;
            PS::output.fillcolor = 0;
            PS::output.maintainhw = 0;
            PS::dpi.dst = 600;
            PS::filesave.jpgquality = 60;
            PS::filesave.retaincolor = 0;
            PS::filesave.tiffcompress = 2;
            PS::PlacementMode = 2;
        },
    };
    for (const auto& setup : setups) {
        ProcessSetting::ResetToStart();
        setup();
        const std::vector<double> before = Snapshot();
        dialogs->Clear();
        Open([&](SettingDrivers& d) { ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON)); });
        EXPECT_EQ(Differences(before), "");
        EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{kSaved});
    }
}

// "恢复默认" puts every value at the settings table's restore value (the
// placement mode keeps its own), and the controls then save exactly those.
TEST_F(SettingDlgTest, RestoreDefaultsGivesTheTablesRestoreValues) {
    PS::colorradius = 5.0f;
    PS::rmbkcolor.bright = -10;
    PS::bindhole.top = 3;
    PS::dpi.dst = 96;
    PS::output.widpixel = 100;
    PS::modifycolor.bkcolor = RGB(1, 2, 3);
    PS::PlacementMode = 2;
    Open([&](SettingDrivers& d) {
        d.GoTo(2);
        ASSERT_TRUE(d.page1.Click(IDC_RESTORE_DEFAULTS));
        // The page and the view stay.
        EXPECT_EQ(d.dlg.CurrentPage(), 2);
        EXPECT_EQ(d.dlg.View(), 0);
        EXPECT_EQ(d.page1.Text(IDC_COLOUR_RADIUS), L"2.0");
        EXPECT_EQ(d.page3.Text(IDC_P3_WIDTH), L"2480");
        ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
    });
    for (const settings::Setting& s : settings::ProcessSettingTable()) {
        if (s.keptOnRestore) continue;
        EXPECT_EQ(s.Get(), s.restore) << s.Name();
    }
    EXPECT_EQ(PS::PlacementMode, 0) << "no placement step is on after restoring";
    EXPECT_EQ(PS::bindhole.top, 10);
    EXPECT_FLOAT_EQ(PS::colorradius, 2.0f);
}

TEST_F(SettingDlgTest, PlacementStepsLoadWithAtMostOneTickedInPriority) {
    struct Case {
        int centre, cutByColour, cutWhite;
        bool centreTicked, cutByColourTicked, cutWhiteTicked;
        int mode;
    };
    const Case cases[] = {
        {0, 0, 0, false, false, false, 0}, {1, 0, 0, true, false, false, 1}, {1, 1, 1, true, false, false, 1},
        {1, 0, 1, true, false, false, 1},  {0, 1, 1, false, true, false, 3}, {0, 0, 1, false, false, true, 2},
        {0, 1, 0, false, true, false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.centre << c.cutByColour << c.cutWhite);
        ProcessSetting::ResetToStart();
        PS::center.on = c.centre;
        PS::cutbybkcolor.on = c.cutByColour;
        PS::cutwhite.on = c.cutWhite;
        Open([&](SettingDrivers& d) {
            EXPECT_EQ(d.page1.IsChecked(IDC_CENTER_ON), c.centreTicked);
            EXPECT_EQ(d.page2.IsChecked(IDC_P2_CUTBYCOLOUR_ON), c.cutByColourTicked);
            EXPECT_EQ(d.page1.IsChecked(IDC_CUTWHITE_ON), c.cutWhiteTicked);
            EXPECT_EQ(PS::PlacementMode, c.mode);
            ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
        });
        EXPECT_EQ(PS::center.on, c.centreTicked ? 1 : 0);
        EXPECT_EQ(PS::cutbybkcolor.on, c.cutByColourTicked ? 1 : 0);
        EXPECT_EQ(PS::cutwhite.on, c.cutWhiteTicked ? 1 : 0);
    }
}

TEST_F(SettingDlgTest, TickingOneStepUnticksTheStepsItExcludes) {
    struct Case {
        const char* name;
        int page, id;                           // the click
        std::vector<std::pair<int, int>> before;  // (page, id) ticked first
        std::vector<std::pair<int, int>> unticked;
        std::vector<std::pair<int, int>> kept;
        int mode;  // PlacementMode afterwards
    };
    const Case cases[] = {
        {"cut white", 0, IDC_CUTWHITE_ON, {{0, IDC_CENTER_ON}}, {{0, IDC_CENTER_ON}, {1, IDC_P2_CUTBYCOLOUR_ON}}, {}, 2},
        {"centre", 0, IDC_CENTER_ON, {{0, IDC_CUTWHITE_ON}, {1, IDC_P2_CUTBYCOLOUR_ON}},
         {{0, IDC_CUTWHITE_ON}, {1, IDC_P2_CUTBYCOLOUR_ON}}, {}, 1},
        {"centre direction", 0, IDC_CENTER_VERTICAL, {{0, IDC_CUTWHITE_ON}}, {{0, IDC_CUTWHITE_ON}}, {}, 1},
        {"cut by colour", 1, IDC_P2_CUTBYCOLOUR_ON, {{0, IDC_CENTER_ON}}, {{0, IDC_CENTER_ON}, {0, IDC_CUTWHITE_ON}}, {},
         3},
        {"black board", 0, IDC_BLACKBOARD_ON, {{0, IDC_BLACKBORDER_ON}, {1, IDC_P2_STAINS_ON}},
         {{0, IDC_BLACKBORDER_ON}, {1, IDC_P2_STAINS_ON}}, {}, 0},
        {"black border", 0, IDC_BLACKBORDER_ON, {{0, IDC_BLACKBOARD_ON}, {1, IDC_P2_STAINS_ON}},
         {{0, IDC_BLACKBOARD_ON}, {1, IDC_P2_STAINS_ON}}, {}, 0},
        {"stains", 1, IDC_P2_STAINS_ON, {{0, IDC_BLACKBORDER_ON}, {0, IDC_BLACKBOARD_ON}},
         {{0, IDC_BLACKBORDER_ON}, {0, IDC_BLACKBOARD_ON}}, {}, 0},
        {"strengthen seals", 1, IDC_P2_STRENSEAL_ON, {{1, IDC_P2_RMSEAL_ON}}, {{1, IDC_P2_RMSEAL_ON}}, {}, 0},
        {"remove seals", 1, IDC_P2_RMSEAL_ON, {{1, IDC_P2_STRENSEAL_ON}}, {{1, IDC_P2_STRENSEAL_ON}}, {}, 0},
        {"holes", 1, IDC_P2_HOLES_ON, {{0, IDC_BLACKBORDER_ON}}, {}, {{0, IDC_BLACKBORDER_ON}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessSetting::ResetToStart();
        Open([&](SettingDrivers& d) {
            for (auto [page, id] : c.before) {
                // Ticked from code, as a loaded value would be.
                CWnd& w = page == 0 ? static_cast<CWnd&>(d.dlg) : static_cast<CWnd&>(d.dlg.Page2());
                w.CheckDlgButton(id, BST_CHECKED);
            }
            d.GoTo(c.page);
            ASSERT_TRUE(d.Page(c.page).Click(c.id));
            EXPECT_TRUE(d.Page(c.page).IsChecked(c.id));
            for (auto [page, id] : c.unticked) EXPECT_FALSE(d.Page(page).IsChecked(id)) << id;
            for (auto [page, id] : c.kept) EXPECT_TRUE(d.Page(page).IsChecked(id)) << id;
            EXPECT_EQ(PS::PlacementMode, c.mode);
        });
    }
}

TEST_F(SettingDlgTest, CutWhiteOverCentreSavesOnlyCutWhite) {
    PS::center.on = 1;
    Open([&](SettingDrivers& d) {
        ASSERT_TRUE(d.page1.Click(IDC_CUTWHITE_ON));
        EXPECT_FALSE(d.page1.IsChecked(IDC_CENTER_ON));
        // Unticking a placement step leaves the mode as it was.
        ASSERT_TRUE(d.page1.Click(IDC_CUTWHITE_ON));
        EXPECT_EQ(PS::PlacementMode, 2);
        ASSERT_TRUE(d.page1.Click(IDC_CUTWHITE_ON));
        ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
    });
    EXPECT_EQ(PS::center.on, 0);
    EXPECT_EQ(PS::cutwhite.on, 1);
    EXPECT_EQ(PS::PlacementMode, 2);
}

TEST_F(SettingDlgTest, ScanVariantHidesTheStepSwitchesOnEveryPage) {
    for (int variant : {0, 1}) {
        SCOPED_TRACE(variant);
        Open(
            [&](SettingDrivers& d) {
                const bool batch = variant == 0;
                EXPECT_EQ(d.dlg.GetWindowText(), batch ? L"批量操作设置" : L"扫描处理设置");
                EXPECT_EQ(d.dlg.CurrentPage(), 1);
                EXPECT_EQ(d.page1.Text(IDC_PAGE_LABEL), L"2/3");
                EXPECT_TRUE(d.dlg.Page2().IsWindowVisible());
                for (int id : {IDC_P2_CUTBYCOLOUR_ON, IDC_P2_HOLES_ON, IDC_P2_STAINS_ON, IDC_P2_RMSEAL_ON,
                               IDC_P2_STRENSEAL_ON, IDC_P2_BLANK_ON, IDC_P2_MODIFYCOLOUR_ON, IDC_P2_ROTATE_ON})
                    EXPECT_EQ(d.page2.IsVisible(id), batch) << id;
                EXPECT_TRUE(d.page2.IsVisible(IDC_P2_RMSEAL_TYPE));
                d.GoTo(2);
                EXPECT_EQ(d.page3.IsVisible(IDC_P3_OUTPUT_ON), batch);
                EXPECT_TRUE(d.page3.IsVisible(IDC_P3_DPI_ON));
                d.GoTo(0);
                for (int id : {IDC_AUTOCONTRAST_ON, IDC_BLACKBOARD_ON, IDC_BLACKBORDER_ON, IDC_CENTER_ON,
                               IDC_CUTWHITE_ON})
                    EXPECT_EQ(d.page1.IsVisible(id), batch) << id;
                EXPECT_TRUE(d.page1.IsVisible(IDC_RMBK_ON));
                EXPECT_TRUE(d.page1.IsVisible(IDC_CORRECT_ON));
            },
            variant, 1);
    }
}

TEST_F(SettingDlgTest, PagesWrapAroundAndTheViewsShowTheirControls) {
    Open([&](SettingDrivers& d) {
        EXPECT_EQ(d.page1.Text(IDC_PAGE_LABEL), L"1/3");
        EXPECT_FALSE(d.dlg.Page2().IsWindowVisible());
        EXPECT_FALSE(d.page1.IsVisible(IDC_PREVIEW_PANNEL));
        EXPECT_TRUE(d.page1.IsVisible(IDC_GROUP_CORRECT));
        ASSERT_TRUE(d.page1.Click(IDC_PREV_PAGE));
        EXPECT_EQ(d.dlg.CurrentPage(), 2);
        EXPECT_EQ(d.page1.Text(IDC_PAGE_LABEL), L"3/3");
        EXPECT_TRUE(d.dlg.Page3().IsWindowVisible());
        EXPECT_FALSE(d.page1.IsVisible(IDC_GROUP_CORRECT));
        EXPECT_TRUE(d.page1.IsVisible(IDC_NEXT_PAGE));
        ASSERT_TRUE(d.page1.Click(IDC_NEXT_PAGE));
        EXPECT_EQ(d.dlg.CurrentPage(), 0);
        EXPECT_FALSE(d.dlg.Page3().IsWindowVisible());
        ASSERT_TRUE(d.page1.Click(IDC_NEXT_PAGE));
        EXPECT_EQ(d.dlg.CurrentPage(), 1);
        // The page sits below the frame line.
        RECT frame{}, page{};
        d.dlg.GetDlgItem(IDC_PAGE_FRAME)->GetWindowRect(&frame);
        d.dlg.Page2().GetWindowRect(&page);
        EXPECT_EQ(page.top, frame.bottom + 1);

        ASSERT_TRUE(d.page1.Click(IDC_PREVIEW_VIEW));
        EXPECT_EQ(d.dlg.View(), 1);
        EXPECT_FALSE(d.dlg.Page2().IsWindowVisible());
        for (int id : {IDC_PREVIEW_PANNEL, IDC_OPEN_PREVIEW, IDC_REFRESH_PREVIEW, IDC_GREY_PREVIEW, IDC_BRIGHT_SLIDER,
                       IDC_COLOUR_DELTA, IDC_BRIGHT_UP, IDC_ORIGINAL_TONES, IDC_SAVE_SETTINGS_BUTTON})
            EXPECT_TRUE(d.page1.IsVisible(id)) << id;
        for (int id : {IDC_CORRECT_ON, IDC_GROUP_CORRECT, IDC_CUTWHITE_ON, IDC_NEXT_PAGE, IDC_RMBK_ON})
            EXPECT_FALSE(d.page1.IsVisible(id)) << id;
        RECT view{};
        d.dlg.PreviewPannel().GetWindowRect(&view);
        d.dlg.ScreenToClient(&view);
        EXPECT_EQ(view.left, CWnd::DluToPixelsX(270));
        EXPECT_EQ(view.top, CWnd::DluToPixelsY(40));
        EXPECT_EQ(view.right, CWnd::DluToPixelsX(825));
        EXPECT_EQ(view.bottom, CWnd::DluToPixelsY(410));

        ASSERT_TRUE(d.page1.Click(IDC_SETTINGS_VIEW));
        EXPECT_EQ(d.dlg.View(), 0);
        EXPECT_TRUE(d.dlg.Page2().IsWindowVisible());
    });
}

TEST_F(SettingDlgTest, ListsShowStoredValuesOutsideTheirItems) {
    struct Case {
        const char* name;
        std::function<void()> store;
        int page, id, selection;
        std::function<double()> saved;
        double expected;
    };
    const Case cases[] = {
        {"angle 10", [] { PS::correct.angle = 10; }, 0, IDC_CORRECT_ANGLE, 1, [] { return double(PS::correct.angle); },
         15},
        {"angle 3", [] { PS::correct.angle = 3; }, 0, IDC_CORRECT_ANGLE, 0, [] { return double(PS::correct.angle); },
         5},
        {"angle 45", [] { PS::correct.angle = 45; }, 0, IDC_CORRECT_ANGLE, 0, [] { return double(PS::correct.angle); },
         5},
        {"angle 20", [] { PS::correct.angle = 20; }, 0, IDC_CORRECT_ANGLE, 2, [] { return double(PS::correct.angle); },
         30},
        {"dpi 150", [] { PS::dpi.dst = 150; }, 2, IDC_P3_DPI_LIST, 3, [] { return double(PS::dpi.dst); }, 600},
        {"dpi 200", [] { PS::dpi.dst = 200; }, 2, IDC_P3_DPI_LIST, 1, [] { return double(PS::dpi.dst); }, 200},
        {"stroke 7", [] { PS::strokewidth = 7; }, 0, IDC_STROKE_WIDTH, -1, [] { return double(PS::strokewidth); }, 7},
        {"stroke 8", [] { PS::strokewidth = 8; }, 0, IDC_STROKE_WIDTH, 2, [] { return double(PS::strokewidth); }, 8},
        // A method outside the list selects nothing and the save keeps it.
        {"method 5", [] { PS::correct.method = 5; }, 0, IDC_CORRECT_METHOD, -1,
         [] { return double(PS::correct.method); }, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessSetting::ResetToStart();
        c.store();
        Open([&](SettingDrivers& d) {
            d.GoTo(c.page);
            EXPECT_EQ(d.Page(c.page).CurSel(c.id), c.selection);
            ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
        });
        EXPECT_EQ(c.saved(), c.expected);
    }
}

// A value loaded from the configuration file is what this dialog would
// store for it: opening the dialog and saving changes nothing.
TEST_F(SettingDlgTest, ListValuesLoadedFromTheConfigurationAreWhatTheDialogStores) {
    const int angles[] = {-1, 0, 4, 5, 6, 10, 15, 16, 20, 30, 31, 40};
    const int dpis[] = {0, 95, 96, 150, 200, 250, 300, 599, 600, 601, 1200, -300};
    for (std::size_t i = 0; i < std::size(angles); ++i) {
        SCOPED_TRACE(::testing::Message() << "angle " << angles[i] << ", dpi " << dpis[i]);
        ProcessSetting::ResetToStart();
        LoadedConfig loaded;
        ASSERT_TRUE(ApplyConfigText(FormatW(L"<?xml version=\"1.0\"?><config><setting><correct angle=\"%d\"/>"
                                            L"<dpi dst=\"%d\"/></setting></config>",
                                            angles[i], dpis[i]),
                                    loaded));
        const int angle = PS::correct.angle, dpi = PS::dpi.dst;
        Open([&](SettingDrivers& d) { ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON)); });
        EXPECT_EQ(PS::correct.angle.load(), angle);
        EXPECT_EQ(PS::dpi.dst.load(), dpi);
    }
}

TEST_F(SettingDlgTest, MarginUnitIsStoredAtOnceAndShowsTheUnitsValues) {
    Open([&](SettingDrivers& d) {
        EXPECT_EQ(d.page1.Text(IDC_MARGIN_LEFT), L"25");
        ASSERT_TRUE(d.page1.Choose(IDC_MARGIN_UNIT, 1));
        for (int id : {IDC_MARGIN_LEFT, IDC_MARGIN_TOP, IDC_MARGIN_RIGHT, IDC_MARGIN_BOTTOM})
            EXPECT_EQ(d.page1.Text(id), L"3.0");
    });
    EXPECT_EQ(PS::cutwhite.margin, 1);
    // Typed millimetres go to the millimetre values only.
    Open([&](SettingDrivers& d) {
        EXPECT_EQ(d.page1.CurSel(IDC_MARGIN_UNIT), 1);
        ASSERT_TRUE(d.page1.Type(IDC_MARGIN_LEFT, L"4.5"));
        ASSERT_TRUE(d.page1.Type(IDC_MARGIN_BOTTOM, L"1.2"));
        ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
    });
    EXPECT_FLOAT_EQ(PS::marginleftmm, 4.5f);
    EXPECT_FLOAT_EQ(PS::marginbottommm, 1.2f);
    EXPECT_EQ(PS::marginleftpx, 25);
    EXPECT_EQ(PS::marginbottompx, 25);
}

TEST_F(SettingDlgTest, ChoicesEnableTheirDependentControls) {
    Open([&](SettingDrivers& d) {
        // Start: all images, keep colours: the strategy controls are off.
        EXPECT_TRUE(d.page1.IsChecked(IDC_ALL_IMAGES));
        EXPECT_TRUE(d.page1.IsChecked(IDC_KEEP_ORIG_COLOUR));
        EXPECT_FALSE(d.page1.IsEnabled(IDC_COLOUR_DELTA));
        ASSERT_TRUE(d.page1.Click(IDC_COLOUR_STRATEGY));
        for (int id : {IDC_COLOUR_DELTA, IDC_SATURATION, IDC_KEEP_RED, IDC_KEEP_COLOUR, IDC_ALL_GREY, IDC_KEEP_DIRECT,
                       IDC_COLOUR_RADIUS})
            EXPECT_TRUE(d.page1.IsEnabled(id)) << id;
        // Only grey images: the colour choices are off.
        ASSERT_TRUE(d.page1.Click(IDC_ONLY_GREY_IMAGES));
        EXPECT_FALSE(d.page1.IsChecked(IDC_ALL_IMAGES));
        EXPECT_FALSE(d.page1.IsEnabled(IDC_KEEP_ORIG_COLOUR));
        EXPECT_FALSE(d.page1.IsEnabled(IDC_COLOUR_DELTA));
        ASSERT_TRUE(d.page1.Click(IDC_ALL_IMAGES));
        EXPECT_TRUE(d.page1.IsEnabled(IDC_COLOUR_DELTA));

        // Pictures: sliders and stroke width follow the list.
        EXPECT_FALSE(d.page1.IsEnabled(IDC_PICTURE_BRIGHT_SLIDER));
        ASSERT_TRUE(d.page1.Choose(IDC_PICTURE_LIST, 1));
        EXPECT_TRUE(d.page1.IsEnabled(IDC_PICTURE_BRIGHT_SLIDER));
        EXPECT_TRUE(d.page1.IsEnabled(IDC_STROKE_WIDTH));
        EXPECT_EQ(d.page1.CurSel(IDC_STROKE_WIDTH), 2);
        ASSERT_TRUE(d.page1.Choose(IDC_PICTURE_LIST, 2));
        EXPECT_EQ(d.page1.CurSel(IDC_STROKE_WIDTH), 1);
        ASSERT_TRUE(d.page1.Choose(IDC_PICTURE_LIST, 0));
        EXPECT_FALSE(d.page1.IsEnabled(IDC_PICTURE_CONTRAST_SLIDER));

        // Fixed threshold.
        EXPECT_FALSE(d.page1.IsEnabled(IDC_CUTWHITE_THRESHOLD));
        ASSERT_TRUE(d.page1.Choose(IDC_CUTWHITE_THRESHOLD_TYPE, 1));
        EXPECT_TRUE(d.page1.IsEnabled(IDC_CUTWHITE_THRESHOLD));
        ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
    });
    EXPECT_EQ(PS::keeporigcolor, 0);
    EXPECT_EQ(PS::rmbkcolor.allpic, 1);
    EXPECT_EQ(PS::rmbkcolor.illstration, 0);
    EXPECT_EQ(PS::cutwhite.threholdtype, 1);
}

TEST_F(SettingDlgTest, BlankPageTypesShowTheStoredValues) {
    PS::rmblankpage.contentpercent = 2.5f;
    PS::rmblankpage.textpercent = 0.3f;
    PS::rmblankpage.threhold = 77;
    Open([&](SettingDrivers& d) {
        d.GoTo(1);
        EXPECT_TRUE(d.page2.IsChecked(IDC_P2_BLANK_BY_TEXT));
        EXPECT_EQ(d.page2.Text(IDC_P2_BLANK_PERCENT), L"0.3");
        EXPECT_FALSE(d.page2.IsEnabled(IDC_P2_BLANK_THRESHOLD));
        ASSERT_TRUE(d.page2.Click(IDC_P2_BLANK_BY_THRESHOLD));
        EXPECT_EQ(d.page2.Text(IDC_P2_BLANK_PERCENT), L"2.5");
        EXPECT_EQ(d.page2.Text(IDC_P2_BLANK_THRESHOLD), L"77");
        EXPECT_TRUE(d.page2.IsEnabled(IDC_P2_BLANK_THRESHOLD));
        ASSERT_TRUE(d.page2.Type(IDC_P2_BLANK_PERCENT, L"9.9"));
        ASSERT_TRUE(d.page2.Click(IDC_P2_BLANK_BY_TEXT));
        ASSERT_TRUE(d.page2.Click(IDC_P2_BLANK_BY_THRESHOLD));
        EXPECT_EQ(d.page2.Text(IDC_P2_BLANK_PERCENT), L"2.5") << "unsaved typing is dropped";
        ASSERT_TRUE(d.page2.Type(IDC_P2_BLANK_PERCENT, L"4"));
        ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
    });
    EXPECT_EQ(PS::rmblankpage.type, 1);
    EXPECT_FLOAT_EQ(PS::rmblankpage.contentpercent, 4.0f);
    EXPECT_FLOAT_EQ(PS::rmblankpage.textpercent, 0.3f);
}

TEST_F(SettingDlgTest, ChosenBackgroundColourIsStoredAtOnceAndShownGreenRedBlue) {
    PS::modifycolor.bkcolor = RGB(255, 0, 0);
    Open([&](SettingDrivers& d) {
        d.GoTo(1);
        EXPECT_EQ(d.page2.Text(IDC_P2_COLOUR_TEXT), L"0, 255, 0");
        dialogs->AnswerColor(RGB(10, 200, 30));
        ASSERT_TRUE(d.page2.Click(IDC_P2_COLOUR_SWATCH));
        EXPECT_EQ(d.page2.Text(IDC_P2_COLOUR_TEXT), L"200, 10, 30");
        // Cancel in the colour dialog changes nothing.
        dialogs->AnswerColor(std::nullopt);
        ASSERT_TRUE(d.page2.Click(IDC_P2_COLOUR_SWATCH));
        EXPECT_EQ(d.page2.Text(IDC_P2_COLOUR_TEXT), L"200, 10, 30");
    });
    // Closed without saving: the colour is stored all the same.
    EXPECT_EQ(PS::modifycolor.bkcolor, RGB(10, 200, 30));
}

TEST_F(SettingDlgTest, PageTwoAndThreeChoicesAreSaved) {
    Open([&](SettingDrivers& d) {
        d.GoTo(1);
        ASSERT_TRUE(d.page2.Click(IDC_P2_RMSEAL_ON));
        ASSERT_TRUE(d.page2.Click(IDC_P2_STRENSEAL_ON));
        ASSERT_TRUE(d.page2.Slide(IDC_P2_STRENSEAL_VALUE, 64));
        EXPECT_EQ(d.page2.Text(IDC_P2_STRENSEAL_VALUE_LABEL), L"64");
        ASSERT_TRUE(d.page2.Click(IDC_P2_YELLOW));
        ASSERT_TRUE(d.page2.Click(IDC_P2_HOLE_COMPARE));
        ASSERT_TRUE(d.page2.Choose(IDC_P2_COLOUR_PICTURES, 0));
        d.GoTo(2);
        ASSERT_TRUE(d.page3.Click(IDC_P3_FILL_BLACK));
        ASSERT_TRUE(d.page3.Click(IDC_P3_AS_SET));
        ASSERT_TRUE(d.page3.Click(IDC_P3_TO_GREY));
        ASSERT_TRUE(d.page3.Click(IDC_P3_TIFF_JPEG));
        ASSERT_TRUE(d.page3.Choose(IDC_P3_DPI_LIST, 0));
        ASSERT_TRUE(d.page3.Slide(IDC_P3_JPEG_QUALITY, 33));
        EXPECT_EQ(d.page3.Text(IDC_P3_JPEG_QUALITY_VALUE), L"33");
        ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
    });
    EXPECT_EQ(PS::rmredseal.on, 0);
    EXPECT_EQ(PS::strenredseal.on, 1);
    EXPECT_EQ(PS::strenredseal.strenvalue, 64);
    EXPECT_EQ(PS::cutbybkcolor.yellow, 1);
    EXPECT_EQ(PS::compareimage, settings::kCompareHoles);
    EXPECT_EQ(PS::modifycolor.ignorepic, 0);
    EXPECT_EQ(PS::output.fillcolor, 0);
    EXPECT_EQ(PS::output.maintainhw, 0);
    EXPECT_EQ(PS::filesave.retaincolor, 0);
    EXPECT_EQ(PS::filesave.tiffcompress, 1);
    EXPECT_EQ(PS::dpi.dst, 96);
    EXPECT_EQ(PS::filesave.jpgquality, 33);
}
