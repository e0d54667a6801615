#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/DetectSetting.h"
#include "settings/ScanSetting.h"

namespace {

class ScanSettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ScanSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
        DetectSetting::ResetToStart();
    }
    void TearDown() override { SetUp(); }
};

std::vector<int> FlagsOn() {
    std::vector<int> on;
    const auto& table = ScanStepFlags::Switches();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].flag->load()) on.push_back(static_cast<int>(i));
    return on;
}

}  // namespace

TEST(ScanSettingStart, BuiltInDefaults) {
    EXPECT_EQ(ScanSetting::dpi.load(), 300);
    EXPECT_EQ(ScanSetting::duplex.load(), 0);
    EXPECT_EQ(ScanSetting::bitDepth.load(), 24);
    EXPECT_EQ(ScanSetting::pixelType.load(), 2);
    EXPECT_EQ(ScanSetting::fileFormat.load(), 0);
    EXPECT_EQ(ScanSetting::compression.load(), 0);
    EXPECT_EQ(ScanSetting::jpegQuality.load(), 85);
    EXPECT_EQ(g_useDriverUI.load(), 0);
    EXPECT_TRUE(ScanSetting::scanFolder.empty());
    EXPECT_TRUE(ScanSetting::processedFolder.empty());
    EXPECT_TRUE(ScanSetting::subFolder.empty());
    EXPECT_TRUE(ScanSetting::prefix.empty());
    EXPECT_TRUE(ScanSetting::suffix.empty());
    EXPECT_EQ(ScanSetting::codeLength.load(), 6);
    EXPECT_EQ(ScanSetting::startCode.load(), 1);
    EXPECT_EQ(ScanSetting::disconnectOnClose.load(), 1);
    EXPECT_EQ(ScanSetting::stopProcessingOnClose.load(), 1);
    // Every switch is off at program start, so a scan processes nothing.
    EXPECT_FALSE(ScanStepFlags::AnyOn());
}

TEST(DetectSettingStart, StartValues) {
    EXPECT_EQ(DetectSetting::kind.load(), 0);
    EXPECT_EQ(DetectSetting::correct.load(), 0);
    for (auto* c : {&DetectSetting::red, &DetectSetting::yellow, &DetectSetting::green,
                    &DetectSetting::cyan, &DetectSetting::blue, &DetectSetting::purple,
                    &DetectSetting::black, &DetectSetting::white})
        EXPECT_EQ(c->load(), 0);
    EXPECT_EQ(DetectSetting::edgePixels.load(), 10);
    EXPECT_EQ(DetectSetting::maxAngle.load(), 5.0f);
    EXPECT_EQ(DetectSetting::minAngle.load(), 0.2f);
    EXPECT_EQ(DetectSetting::marginPercent.load(), 5.0f);
}

TEST_F(ScanSettingTest, ResetsRestoreEveryValue) {
    ScanSetting::dpi = 600;
    ScanSetting::scanFolder = std::wstring(L"/x/Scan");
    ScanSetting::stopProcessingOnClose = 0;
    g_useDriverUI = 1;
    DetectSetting::kind = 2;
    DetectSetting::minAngle = 1.5f;
    ScanStepFlags::output = 1;
    ScanSetting::ResetToStart();
    DetectSetting::ResetToStart();
    ScanStepFlags::ResetToStart();
    EXPECT_EQ(ScanSetting::dpi.load(), 300);
    EXPECT_TRUE(ScanSetting::scanFolder.empty());
    EXPECT_EQ(ScanSetting::stopProcessingOnClose.load(), 1);
    EXPECT_EQ(g_useDriverUI.load(), 0);
    EXPECT_EQ(DetectSetting::kind.load(), 0);
    EXPECT_EQ(DetectSetting::minAngle.load(), 0.2f);
    EXPECT_FALSE(ScanStepFlags::AnyOn());
}

TEST_F(ScanSettingTest, TextsLongerThanTheBufferAreCut) {
    const std::wstring longName(400, L'名');
    ScanSetting::prefix = longName;
    EXPECT_EQ(ScanSetting::prefix.get(), longName.substr(0, 259));
    ScanSetting::suffix = std::wstring(L"_b");
    EXPECT_EQ(ScanSetting::suffix.get(), L"_b");
}

TEST_F(ScanSettingTest, SwitchTableInListOrderWithChainTextsAndGroups) {
    struct Row { ScanStepFlags::Flag* flag; const wchar_t* text; char group; };
    const Row expected[] = {
        {&ScanStepFlags::rmbkcolor, L"去底色", 0},
        {&ScanStepFlags::rmblackboard, L"去黑底", 'A'},
        {&ScanStepFlags::rmblackborder, L"去黑边", 'A'},
        {&ScanStepFlags::bindhole, L"去装订孔", 'A'},
        {&ScanStepFlags::rmstains, L"去污点", 'A'},
        {&ScanStepFlags::correct, L"校正", 0},
        {&ScanStepFlags::center, L"居中", 'B'},
        {&ScanStepFlags::cutbybkcolor, L"按彩色背景切边", 'B'},
        {&ScanStepFlags::cutwhite, L"切白边", 'B'},
        {&ScanStepFlags::autocontrast, L"自动对比度", 0},
        {&ScanStepFlags::rmredseal, L"去红章", 'C'},
        {&ScanStepFlags::strenredseal, L"加强红章", 'C'},
        {&ScanStepFlags::rmblankpage, L"去白页", 0},
        {&ScanStepFlags::modifycolor, L"修改背景色", 0},
        {&ScanStepFlags::rotatetextdirect, L"按文字方向旋正", 0},
        {&ScanStepFlags::output, L"固定输出尺寸", 0},
    };
    const auto& table = ScanStepFlags::Switches();
    ASSERT_EQ(table.size(), std::size(expected));
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].flag, expected[i].flag) << i;
        EXPECT_STREQ(table[i].chainText, expected[i].text) << i;
        EXPECT_EQ(table[i].group, expected[i].group) << i;
    }
}

TEST_F(ScanSettingTest, TickingClearsOnlyTheOthersOfItsGroup) {
    struct Case {
        std::vector<std::pair<int, bool>> steps;  // (switch index, tick)
        std::vector<int> on;                       // switches on afterwards
    };
    const Case cases[] = {
        // Group A: board, borders, holes, stains.
        {{{1, true}, {2, true}}, {2}},
        {{{1, true}, {4, true}, {3, true}}, {3}},
        // Group B: centre, cut by colour, cut white.
        {{{6, true}, {8, true}}, {8}},
        // Group C: remove or strengthen red seals.
        {{{10, true}, {11, true}}, {11}},
        // Switches outside the groups never affect each other or the groups.
        {{{0, true}, {5, true}, {9, true}, {2, true}, {15, true}}, {0, 2, 5, 9, 15}},
        {{{1, true}, {6, true}, {10, true}}, {1, 6, 10}},
        // Unticking clears only the switch itself.
        {{{2, true}, {7, true}, {2, false}}, {7}},
        {{{0, true}, {12, true}, {0, false}}, {12}},
        // Out of range does nothing.
        {{{16, true}, {99, true}}, {}},
    };
    for (const auto& c : cases) {
        ScanStepFlags::ResetToStart();
        for (auto [index, tick] : c.steps) ScanStepFlags::Set(static_cast<std::size_t>(index), tick);
        EXPECT_EQ(FlagsOn(), c.on);
        EXPECT_EQ(ScanStepFlags::AnyOn(), !c.on.empty());
    }
}
