// The scan window's texts and the mapping between scanned and processed
// files.
#include <gtest/gtest.h>

#include "scan/core/ScanTexts.h"
#include "settings/ScanSetting.h"

namespace {

class ScanTexts : public ::testing::Test {
protected:
    void SetUp() override {
        ScanSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
    }
    void TearDown() override {
        ScanSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
    }
};

TEST_F(ScanTexts, ChainFollowsTheSwitchesInListOrder) {
    EXPECT_EQ(ScanStepChainText(), L"处理:  无");
    ScanStepFlags::Set(5, true);  // 校正
    ScanStepFlags::Set(0, true);  // 去底色
    EXPECT_EQ(ScanStepChainText(), L"处理:  去底色 -> 校正");
    ScanStepFlags::Set(1, true);  // 去黑底 (group A)
    ScanStepFlags::Set(2, true);  // 去黑边 clears 去黑底
    ScanStepFlags::Set(15, true);
    EXPECT_EQ(ScanStepChainText(), L"处理:  去底色 -> 去黑边 -> 校正 -> 固定输出尺寸");
}

TEST_F(ScanTexts, StatusAndStateTexts) {
    EXPECT_EQ(ScanProcessStatusText(0, 0, 0, false), L"未开始处理");
    EXPECT_EQ(ScanProcessStatusText(0, 0, 0, true), L"没有需要处理的图片");
    EXPECT_EQ(ScanProcessStatusText(5, 3, 1, true), L"已扫描 5 张，已处理 3 张,失败 1. 正在处理中.");
    EXPECT_EQ(ScanProcessStatusText(5, 5, 0, false), L"已扫描 5 张，已处理 5 张,失败 0. 已停止处理.");
    const wchar_t* states[] = {L"扫描未开始", L"扫描进行中...", L"插描进行中...", L"替描进行中..."};
    for (int mode = 0; mode < 4; ++mode) EXPECT_EQ(ScanStateText(mode), states[mode]);
}

TEST_F(ScanTexts, ScannedAndProcessedPathsMapBothWays) {
    ScanSetting::scanFolder = L"/C/S";
    ScanSetting::processedFolder = L"/C/P";
    struct Case {
        const wchar_t* scanned;
        const wchar_t* processed;
    };
    const Case cases[] = {
        {L"/C/S/a/0001.jpg", L"/C/P/S/a/0001.jpg"},
        {L"/C/S/0002.tif", L"/C/P/S/0002.tif"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScanPathToProcessedPath(c.scanned), c.processed);
        EXPECT_EQ(ProcessedPathToScanPath(c.processed), c.scanned);
    }
    // Outside the folders, or a folder that only begins like them.
    EXPECT_EQ(ScanPathToProcessedPath(L"/C/Scanner/0001.jpg"), L"");
    EXPECT_EQ(ScanPathToProcessedPath(L"/D/0001.jpg"), L"");
    EXPECT_EQ(ProcessedPathToScanPath(L"/C/P/0001.jpg"), L"");  // no folder component to drop
    EXPECT_EQ(ProcessedPathToScanPath(L"/C/Px/S/0001.jpg"), L"");
}

}  // namespace
