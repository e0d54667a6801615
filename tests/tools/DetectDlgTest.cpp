#include <cmath>
#include <filesystem>

#include "ToolWindowFixture.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "support/FakeRunProcessor.h"
#include "tools/DetectDlg.h"

namespace {

TEST(DetectValues, ClampsAndRefusals) {
    struct Case {
        const wchar_t *minText, *maxText, *margin, *edge;
        DetectCheck check;
        float minAngle, maxAngle, marginPercent;
        int edgePixels;
    };
    const Case cases[] = {
        {L"1.0", L"1.05", L"5", L"10", DetectCheck::kAngles, 0, 0, 0, 0},
        {L"1.0", L"1.1", L"5", L"10", DetectCheck::kOk, 1.0f, 1.1f, 5.0f, 10},
        {L"0", L"45", L"50", L"0", DetectCheck::kOk, 0.05f, 30.0f, 30.0f, 1},
        // No numbers: both angles read 0 and become 0.05, not 0.1 apart.
        {L"abc", L"", L"0", L"5000", DetectCheck::kAngles, 0, 0, 0, 0},
        {L"abc", L"2", L"0", L"5000", DetectCheck::kOk, 0.05f, 2.0f, 0.1f, 1000},
        {L"nan", L"5", L"5", L"10", DetectCheck::kAngles, 0, 0, 0, 0},
        {L"0.2", L"nan", L"5", L"10", DetectCheck::kAngles, 0, 0, 0, 0},
        {L"0.2", L"5", L"nan", L"10", DetectCheck::kOk, 0.2f, 5.0f, 0.1f, 10},
        {L"30", L"30", L"5", L"10", DetectCheck::kAngles, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        DetectValues v;
        const DetectCheck got = ReadDetectValues(true, 0, c.minText, c.maxText, c.margin, c.edge, v);
        ASSERT_EQ(got, c.check) << ToUtf8(c.minText) << " " << ToUtf8(c.maxText);
        if (got != DetectCheck::kOk) continue;
        EXPECT_FLOAT_EQ(v.minAngle, c.minAngle);
        EXPECT_FLOAT_EQ(v.maxAngle, c.maxAngle);
        EXPECT_FLOAT_EQ(v.marginPercent, c.marginPercent);
        EXPECT_EQ(v.edgePixels, c.edgePixels);
    }
    DetectValues v;
    EXPECT_EQ(ReadDetectValues(false, 0, L"1", L"5", L"5", L"10", v), DetectCheck::kNothingChosen);
    EXPECT_EQ(ReadDetectValues(false, 1, L"1", L"5", L"5", L"10", v), DetectCheck::kOk);
    EXPECT_EQ(DetectCheckMessage(DetectCheck::kNothingChosen), L"必须至少选一个检测项.");
    EXPECT_EQ(DetectCheckMessage(DetectCheck::kAngles), L"最大角度必须大于最小角度.");
}

using DetectDlgTest = ToolWindowTest;

TEST_F(DetectDlgTest, TheBoxesKeepOneKindAndExecuteChecksTheChoices) {
    OpenMain([&](DialogDriver& m) {
        OpenTool(m, ID_MENU_DETECT, IDD_DETECT_DIALOG, [&](CDialog&, DialogDriver& d) {
            EXPECT_EQ(d.Text(IDC_DETECT_MIN_ANGLE), L"0.20");
            EXPECT_EQ(d.Text(IDC_DETECT_MAX_ANGLE), L"5.00");
            EXPECT_EQ(d.Text(IDC_DETECT_MARGIN), L"5.00");
            EXPECT_EQ(d.Text(IDC_DETECT_CONTENT), L"2.00");
            EXPECT_EQ(d.Text(IDC_DETECT_EDGE), L"10");
            // "红", then "白边检测": the colour goes, the kind is 1.
            ASSERT_TRUE(d.Click(IDC_DETECT_RED));
            EXPECT_EQ(DetectSetting::kind, 2);
            EXPECT_EQ(DetectSetting::red, 1);
            ASSERT_TRUE(d.Click(IDC_DETECT_WHITE_MARGIN));
            EXPECT_FALSE(d.IsChecked(IDC_DETECT_RED));
            EXPECT_EQ(DetectSetting::red, 0);
            EXPECT_EQ(DetectSetting::kind, 1);
            // Back to a colour, then unchecking the only colour: kind 0.
            ASSERT_TRUE(d.Click(IDC_DETECT_BLUE));
            EXPECT_FALSE(d.IsChecked(IDC_DETECT_WHITE_MARGIN));
            EXPECT_EQ(DetectSetting::kind, 2);
            ASSERT_TRUE(d.Click(IDC_DETECT_BLUE));
            EXPECT_EQ(DetectSetting::kind, 0);
            EXPECT_EQ(DetectSetting::blue, 0);
            ASSERT_TRUE(d.Click(IDC_DETECT_EXECUTE));
            EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"必须至少选一个检测项."});

            dialogs->Clear();
            ASSERT_TRUE(d.Click(IDC_DETECT_CORRECT));
            ASSERT_TRUE(d.Type(IDC_DETECT_MIN_ANGLE, L"1.0"));
            ASSERT_TRUE(d.Type(IDC_DETECT_MAX_ANGLE, L"1.05"));
            ASSERT_TRUE(d.Click(IDC_DETECT_EXECUTE));
            EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"最大角度必须大于最小角度."});
            EXPECT_FLOAT_EQ(DetectSetting::minAngle, 0.2f) << "nothing stored";

            // Accepted values are clamped and stored; the main window has no
            // source folder, so its own message ends the start.
            dialogs->Clear();
            ASSERT_TRUE(d.Type(IDC_DETECT_MIN_ANGLE, L"0"));
            ASSERT_TRUE(d.Type(IDC_DETECT_MAX_ANGLE, L"45"));
            ASSERT_TRUE(d.Type(IDC_DETECT_MARGIN, L"50"));
            ASSERT_TRUE(d.Type(IDC_DETECT_EDGE, L"5000"));
            ASSERT_TRUE(d.Click(IDC_DETECT_EXECUTE));
            EXPECT_FLOAT_EQ(DetectSetting::minAngle, 0.05f);
            EXPECT_FLOAT_EQ(DetectSetting::maxAngle, 30.0f);
            EXPECT_FLOAT_EQ(DetectSetting::marginPercent, 30.0f);
            EXPECT_EQ(DetectSetting::edgePixels, 1000);
            EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"请选择要处理的图片所在文件夹."});
            EXPECT_TRUE(d.IsEnabled(IDC_DETECT_EXECUTE));
        });
        // The choices are kept for the next opening.
        OpenTool(m, ID_MENU_DETECT, IDD_DETECT_DIALOG, [&](CDialog&, DialogDriver& d) {
            EXPECT_TRUE(d.IsChecked(IDC_DETECT_CORRECT));
            EXPECT_EQ(d.Text(IDC_DETECT_MAX_ANGLE), L"30.00");
            EXPECT_EQ(d.Text(IDC_DETECT_EDGE), L"1000");
        });
    });
}

TEST_F(DetectDlgTest, ClosingIsRefusedWhileItsRunHasUnfinishedFiles) {
    // Fake processors: a.jpg waits at the gate, c.jpg cannot be read.
    std::filesystem::create_directories(dir.file("src"));
    for (const auto& [name, content] : {std::pair<const char*, std::string>{"a.jpg", "gate"}, {"b.jpg", "x"}, {"c.jpg", "bad"}})
        ASSERT_TRUE(files::WriteAllAtomic(FromUtf8(dir.file(std::string("src/") + name)), content.data(), content.size()));
    testdata::ProcessorLog log;
    testdata::Gate gate;
    main->Engine().SetProcessorFactory([&] { return std::make_unique<testdata::FakeProcessor>(log, gate); });
    OpenMain([&](DialogDriver& m) {
        dialogs->AnswerFolder(dir.wfile(L"src"));
        ASSERT_TRUE(m.Click(IDC_BROWSE_SOURCE));
        OpenTool(m, ID_MENU_DETECT, IDD_DETECT_DIALOG, [&](CDialog& w, DialogDriver& d) {
            ASSERT_TRUE(d.Click(IDC_DETECT_CORRECT));
            ASSERT_TRUE(d.Click(IDC_DETECT_EXECUTE));
            EXPECT_FALSE(d.IsEnabled(IDC_DETECT_EXECUTE));
            EXPECT_EQ(main->RunState(), RUN_STATE_IDLE) << "a detection run leaves the run state at 0";
            EXPECT_EQ(main->Engine().Pool().runType, RUN_DETECTION);
            ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() > 0; }));
            EXPECT_EQ(d.Text(IDC_DETECT_PROGRESS).rfind(L"**********处理中请等待,已处理了", 0), 0u);
            d.Close();
            EXPECT_TRUE(w.IsModalRunning());
            EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"正在处理图片不能关闭."});
            gate.Open();
            ASSERT_TRUE(PumpUntil([&] { return main->Engine().Pool().AllDone(); }));
            ASSERT_TRUE(PumpUntil([&] { return d.Text(IDC_DETECT_PROGRESS).find(L"处理完成") != std::wstring::npos; }));
            // c.jpg could not be read: the end says so and lists it.
            EXPECT_EQ(d.Text(IDC_DETECT_PROGRESS).rfind(L"**********处理完成,总共处理了 3 张, 其中失败1张", 0), 0u)
                << ToUtf8(d.Text(IDC_DETECT_PROGRESS));
            EXPECT_FALSE(main->Engine().LastFailedListPath().empty());
            EXPECT_FALSE(d.IsEnabled(IDC_DETECT_EXECUTE)) << "until the dialog opens again";
            d.Close();
            EXPECT_FALSE(w.IsModalRunning());
        });
        ASSERT_TRUE(PumpUntil([&] { return main->Engine().Pool().LiveThreads() == 0; }));
    });
}

}  // namespace
