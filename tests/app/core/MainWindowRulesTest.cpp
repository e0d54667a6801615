#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/core/MainWindowRules.h"
#include "settings/ProcessSetting.h"

TEST(MainWindowRules, ThreadCountPreselectionByProcessorCount) {
    struct Case {
        int processors;
        const wchar_t* expected;
    };
    const Case cases[] = {{1, L"2"}, {2, L"2"}, {3, L"2"}, {4, L"2"}, {5, L"2"}, {6, L"4"},
                          {7, L"4"}, {8, L"6"}, {9, L"8"}, {12, L"8"}, {64, L"8"}};
    for (const auto& c : cases) {
        const int index = PreselectedThreadItem(c.processors);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, static_cast<int>(kThreadCountItems.size()));
        EXPECT_STREQ(kThreadCountItems[static_cast<std::size_t>(index)].text, c.expected) << c.processors;
    }
}

class SummaryTest : public ::testing::Test {
protected:
    SummaryTest() { ProcessSetting::ResetToStart(); }
    ~SummaryTest() override { ProcessSetting::ResetToStart(); }
};

TEST_F(SummaryTest, NamesTheStepsThatAreOnInPipelineOrder) {
    using S = ProcessSetting;
    struct Case {
        std::function<void()> set;
        std::wstring expected;
    };
    const Case cases[] = {
        {[] {}, L"无"},
        // The quick steps are not part of the summary.
        {[] { S::correct.on = 1; S::rmbkcolor.on = 1; }, L"无"},
        {[] { S::center.on = 1; S::cutwhite.on = 1; }, L"自动居中"},
        {[] { S::cutbybkcolor.on = 1; S::cutwhite.on = 1; }, L"根据背景色切4个边"},
        {[] { S::cutwhite.on = 1; }, L"白纸黑字切白边"},
        {[] { S::rmredseal.on = 1; S::strenredseal.on = 1; }, L"去红印章"},
        {[] { S::strenredseal.on = 1; }, L"加强红印章"},
        {[] { S::dpi.on = 1; S::rmblackboard.on = 1; }, L"去除黑色背景板  -->  修改DPI"},
        {[] {
             S::rmblackboard.on = 1; S::rmblackborder.on = 1; S::bindhole.on = 1; S::rmstains.on = 1;
             S::center.on = 1; S::autocontrast.on = 1; S::rmredseal.on = 1; S::rmblankpage.on = 1;
             S::modifycolor.on = 1; S::rotatetextdirect.on = 1; S::output.on = 1; S::dpi.on = 1;
         },
         L"去除黑色背景板  -->  去黑边  -->  去装订孔  -->  去污点  -->  自动居中  -->  自动对比度  -->  "
         L"去红印章  -->  去除空白页  -->  修改背景色  -->  文字(90,180,270)度旋正  -->  固定输出尺寸  -->  修改DPI"},
    };
    for (const auto& c : cases) {
        ProcessSetting::ResetToStart();
        S::correct.on = 0;
        S::rmbkcolor.on = 0;
        c.set();
        EXPECT_EQ(OperationSummaryText(), c.expected);
    }
}
