#include "MainWindowFixture.h"

#include <QApplication>

#include "manual/ManualResource.h"
#include "support/FakeRunProcessor.h"
#include "tools/ToolsResource.h"

namespace {

const int kDestinationIds[] = {IDC_DESTINATION_LABEL, IDC_DESTINATION_FOLDER, IDC_BROWSE_DESTINATION};

}  // namespace

TEST_F(MainWindowTest, ThreadCountPreselectionFollowsTheProcessorCount) {
    struct Case {
        int processors;
        const wchar_t* expected;
    };
    const Case cases[] = {{2, L"2"}, {4, L"2"}, {5, L"2"}, {6, L"4"}, {7, L"4"}, {8, L"6"}, {12, L"8"}};
    for (const auto& c : cases) {
        SetProcessorCountOverride(c.processors);
        Open([&](DialogDriver& d) {
            EXPECT_EQ(d.Items(IDC_THREAD_COUNT), (std::vector<std::wstring>{L"1", L"2", L"4", L"6", L"8"}));
            const int sel = d.CurSel(IDC_THREAD_COUNT);
            ASSERT_GE(sel, 0) << "an item is always selected";
            EXPECT_EQ(d.Items(IDC_THREAD_COUNT)[static_cast<std::size_t>(sel)], c.expected) << c.processors;
            EXPECT_EQ(dlg->ReadRunChoices().requestedThreads, _wtoi(c.expected));
        });
    }
}

TEST_F(MainWindowTest, StartsWithTheSpecifiedControlsAndTexts) {
    Open([&](DialogDriver& d) {
        EXPECT_EQ(dlg->GetWindowText(), L"Tessavan 扫描图像批量处理 1.0.0");
        for (int id : {IDC_DESKEW, IDC_BACKGROUND, IDC_INCLUDE_SUBFOLDERS, IDC_REPROCESS_ALL,
                       IDC_SAVE_TO_SOURCE_FOLDER})
            EXPECT_TRUE(d.IsChecked(id)) << id;
        for (int id : {IDC_SAVE_TO_NEW_FOLDER, IDC_AUTO_DETECT}) EXPECT_FALSE(d.IsChecked(id)) << id;
        for (int id : kDestinationIds) EXPECT_FALSE(d.IsVisible(id)) << id;
        EXPECT_TRUE(d.IsChecked(IDC_LANGUAGE_CHINESE));
        for (int id : {IDC_LANGUAGE_CHINESE, IDC_LANGUAGE_ENGLISH, IDC_CLASSIFY_LINK, IDC_BROWSE_RESULTS_LINK,
                       IDC_CONSULT_LINK, IDC_CONTACT_PICTURE_1, IDC_CONTACT_PICTURE_2, IDC_CONTACT_LABEL_1,
                       IDC_CONTACT_LABEL_2})
            EXPECT_FALSE(d.IsVisible(id)) << id;
        EXPECT_TRUE(d.IsVisible(IDC_CONTACT_LINK));
        EXPECT_EQ(d.Text(IDC_CONTACT_LINK), L"<a>联系我们</a>");
        EXPECT_EQ(d.Text(IDC_START), L" 开始处理");
        EXPECT_TRUE(d.IsEnabled(IDC_START));
        EXPECT_EQ(d.Text(IDC_SUMMARY), L"当前无选中");
        EXPECT_EQ(d.Text(IDC_SOURCE_FOLDER), L"");
        EXPECT_EQ(d.ToolTip(IDC_REPROCESS_ALL), L"勾选：重新处理所有文件，不勾选：在现有的结果基础上继续处理");
        EXPECT_EQ(d.ToolTip(IDC_AUTO_DETECT), L"勾选：适合边扫描边处理，自动查找新产生的文件");
        EXPECT_EQ(d.ToolTip(IDC_THREAD_COUNT), L"建议不要大于实际CPU核数");
        EXPECT_EQ(dlg->RunState(), RUN_STATE_IDLE);
        EXPECT_EQ(dlg->AutoMode(), AUTO_MODE_OFF);
    });
}

TEST_F(MainWindowTest, TheRadioPairShowsAndHidesTheDestinationRow) {
    Open([&](DialogDriver& d) {
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_NEW_FOLDER));
        EXPECT_TRUE(d.IsChecked(IDC_SAVE_TO_NEW_FOLDER));
        EXPECT_FALSE(d.IsChecked(IDC_SAVE_TO_SOURCE_FOLDER));
        for (int id : kDestinationIds) EXPECT_TRUE(d.IsVisible(id)) << id;
        EXPECT_TRUE(dlg->SaveToNewFolderChoice());

        ASSERT_TRUE(d.Click(IDC_SAVE_TO_SOURCE_FOLDER));
        EXPECT_FALSE(d.IsChecked(IDC_SAVE_TO_NEW_FOLDER));
        for (int id : kDestinationIds) EXPECT_FALSE(d.IsVisible(id)) << id;
        EXPECT_FALSE(dlg->SaveToNewFolderChoice());

        // The configuration loader's way: mode 1 is the new folder, any other
        // mode the source folders.
        dlg->SetSaveToNewFolder(1);
        EXPECT_TRUE(d.IsChecked(IDC_SAVE_TO_NEW_FOLDER));
        EXPECT_TRUE(d.IsVisible(IDC_DESTINATION_FOLDER));
        dlg->SetSaveToNewFolder(7);
        EXPECT_TRUE(d.IsChecked(IDC_SAVE_TO_SOURCE_FOLDER));
        EXPECT_FALSE(d.IsVisible(IDC_DESTINATION_FOLDER));
    });
}

TEST_F(MainWindowTest, FolderBrowsersFillTheEditsAndACancelChangesNothing) {
    Open([&](DialogDriver& d) {
        dialogs->AnswerFolder(std::wstring(L"/data/扫描"));
        ASSERT_TRUE(d.Click(IDC_BROWSE_SOURCE));
        EXPECT_EQ(d.Text(IDC_SOURCE_FOLDER), L"/data/扫描");
        dialogs->AnswerFolder(std::nullopt);
        ASSERT_TRUE(d.Click(IDC_BROWSE_SOURCE));
        EXPECT_EQ(d.Text(IDC_SOURCE_FOLDER), L"/data/扫描");
        EXPECT_EQ(dlg->SourceFolder(), L"/data/扫描");
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_NEW_FOLDER));
        dialogs->AnswerFolder(std::wstring(L"/data/out"));
        ASSERT_TRUE(d.Click(IDC_BROWSE_DESTINATION));
        EXPECT_EQ(d.Text(IDC_DESTINATION_FOLDER), L"/data/out");
        const auto shown = dialogs->Shown();
        ASSERT_EQ(shown.size(), 3u);
        EXPECT_EQ(shown[0].text, L"请选择目录");
        EXPECT_EQ(shown[2].text, L"请选择要保存的目录");
    });
}

TEST_F(MainWindowTest, QuickChecksWriteTheirSettings) {
    Open([&](DialogDriver& d) {
        ASSERT_TRUE(d.Click(IDC_DESKEW));
        EXPECT_EQ(ProcessSetting::correct.on, 0);
        EXPECT_EQ(ProcessSetting::rmbkcolor.on, 1);
        ASSERT_TRUE(d.Click(IDC_BACKGROUND));
        EXPECT_EQ(ProcessSetting::rmbkcolor.on, 0);
        ASSERT_TRUE(d.Click(IDC_DESKEW));
        EXPECT_EQ(ProcessSetting::correct.on, 1);
        const RunChoices c = dlg->ReadRunChoices();
        EXPECT_TRUE(c.deskew);
        EXPECT_FALSE(c.background);
    });
}

TEST_F(MainWindowTest, RefusalTextsOfTheStartButton) {
    testdata::TempDir tmp;
    struct Case {
        std::function<void(DialogDriver&)> set;
        std::wstring message;
        std::wstring caption;
    };
    const Case cases[] = {
        {[](DialogDriver&) {}, L"请选择要处理的图片所在文件夹.", L"提示"},
        {[&](DialogDriver& d) {
             dialogs->AnswerFolder(tmp.wpath());
             d.Click(IDC_BROWSE_SOURCE);
             d.Click(IDC_SAVE_TO_NEW_FOLDER);
         },
         L"请选择要保存到的文件夹.", L"提示"},
        {[&](DialogDriver& d) {
             dialogs->AnswerFolder(tmp.wpath());
             d.Click(IDC_BROWSE_SOURCE);
             d.Click(IDC_DESKEW);
             d.Click(IDC_BACKGROUND);
         },
         L"至少要选择一种操作.", L"提示"},
        {[&](DialogDriver& d) {  // an empty folder
             dialogs->AnswerFolder(tmp.wpath());
             d.Click(IDC_BROWSE_SOURCE);
         },
         L"选中的目录 在当前的设置下 没有文件需要处理.", L"Tessavan"},
    };
    for (const auto& c : cases) {
        Open([&](DialogDriver& d) {
            c.set(d);
            dialogs->Clear();
            ASSERT_TRUE(d.Click(IDC_START));
            ASSERT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{c.message});
            EXPECT_EQ(dialogs->Shown()[0].caption, c.caption);
            EXPECT_EQ(dlg->RunState(), RUN_STATE_IDLE);
            EXPECT_EQ(d.Text(IDC_START), L" 开始处理");
            EXPECT_TRUE(d.IsEnabled(IDC_START));
            EXPECT_EQ(dlg->Pool().LiveThreads(), 0);
        });
        dlg = std::make_unique<CTessavanDlg>();
        SetMainWnd(dlg.get());
    }
}

TEST_F(MainWindowTest, ADestinationThatWouldOverwriteTheSourcesIsRefused) {
    // The source d/scans saved "to a new folder" d: each result would be its
    // own source. The run is refused, naming both folders; no page changes.
    testdata::TempDir tmp;
    const std::wstring d = tmp.wfile(L"d");
    const std::wstring scans = PathJoin(d, L"scans");
    ASSERT_EQ(CreateFolderPath(PathJoin(scans, L"sub")), 1);
    const std::vector<std::wstring> pages = {PathJoin(scans, L"p1.jpg"), PathJoin(scans, L"sub/p2.png")};
    for (const auto& p : pages) ASSERT_TRUE(files::WriteAllAtomic(p, "page bytes", 10));
    Open([&](DialogDriver& d2) {
        ChooseFolders(d2, scans, d);
        dialogs->Clear();
        ASSERT_TRUE(d2.Click(IDC_START));
        const auto texts = dialogs->MessageTexts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(dialogs->Shown()[0].caption, L"提示");
        EXPECT_NE(texts[0].find(scans), std::wstring::npos) << ToUtf8(texts[0]);
        EXPECT_NE(texts[0].find(d), std::wstring::npos) << ToUtf8(texts[0]);
        EXPECT_EQ(dlg->RunState(), RUN_STATE_IDLE);
        EXPECT_EQ(d2.Text(IDC_START), L" 开始处理");
        EXPECT_TRUE(d2.IsEnabled(IDC_START));
        EXPECT_EQ(dlg->Pool().LiveThreads(), 0);
    });
    for (const auto& p : pages) EXPECT_EQ(Read(p), "page bytes") << ToUtf8(p);
}

TEST_F(MainWindowTest, OperationSummaryFromTheSettings) {
    using S = ProcessSetting;
    struct Case {
        std::function<void()> set;
        std::wstring expected;
    };
    const Case cases[] = {
        {[] {}, L"无"},
        {[] { S::center.on = 1; S::cutwhite.on = 1; }, L"自动居中"},
        {[] { S::rmstains.on = 1; S::rmredseal.on = 1; S::strenredseal.on = 1; }, L"去污点  -->  去红印章"},
    };
    Open([&](DialogDriver& d) {
        for (const auto& c : cases) {
            ProcessSetting::ResetToStart();
            c.set();
            dlg->BuildOperationSummary();
            EXPECT_EQ(d.Text(IDC_SUMMARY), c.expected);
        }
    });
}

TEST_F(MainWindowTest, DetectionAndFolderDifferenceAreRefusedDuringARun) {
    testdata::TempDir tmp;
    const std::wstring src = tmp.wfile(L"src");
    for (int i = 0; i < 3; ++i) {
        const std::wstring f = PathJoin(src, L"p" + std::to_wstring(i) + L".jpg");
        CreateFolderPath(src);
        files::WriteAllAtomic(f, "gate ok", 7);
    }
    testdata::ProcessorLog log;
    testdata::Gate gate;
    dlg->Engine().SetProcessorFactory([&] { return std::make_unique<testdata::FakeProcessor>(log, gate); });
    Open([&](DialogDriver& d) {
        ChooseFolders(d, src);
        ASSERT_TRUE(d.Click(IDC_START));
        ASSERT_EQ(dlg->RunState(), RUN_STATE_PLAIN);
        EXPECT_EQ(d.Text(IDC_START), L"处理中...");
        EXPECT_FALSE(d.IsEnabled(IDC_START));
        ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() > 0; }));
        for (UINT id : {ID_MENU_DETECT, ID_MENU_FOLDER_DIFF}) {
            dialogs->Clear();
            ASSERT_TRUE(d.ChooseMenu(id));
            ASSERT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"处理完成后才能使用此功能。"});
            EXPECT_EQ(dialogs->Shown()[0].caption, L"提示");
        }
        // The other windows stay available during a run.
        dialogs->Clear();
        OnNextModal(IDD_VERSION_DIALOG, [](CDialog& v) { v.EndDialog(IDOK); });
        ASSERT_TRUE(d.ChooseMenu(ID_MENU_VERSION));
        EXPECT_TRUE(dialogs->MessageTexts().empty());
        gate.Open();
        ASSERT_TRUE(WaitForIdle(d));
        // After the run: no refusal, the dialogs open.
        OnNextModal(IDD_DETECT_DIALOG, [](CDialog& w) { w.EndDialog(IDCANCEL); });
        ASSERT_TRUE(d.ChooseMenu(ID_MENU_DETECT));
        OnNextModal(IDD_MORE_FEATURES_DIALOG, [](CDialog& w) { w.EndDialog(IDCANCEL); });
        ASSERT_TRUE(d.ChooseMenu(ID_MENU_FOLDER_DIFF));
        EXPECT_TRUE(dialogs->MessageTexts().empty());
    });
}

TEST_F(MainWindowTest, VersionCustomisationAndContactDialogs) {
    Open([&](DialogDriver& d) {
        OnNextModal(IDD_VERSION_DIALOG, [&](CDialog& v) {
            DialogDriver vd(v);
            EXPECT_EQ(v.GetWindowText(), L"版本信息");
            for (int id : {IDC_PHONE_LABEL, IDC_PHONE_NUMBER, IDC_CONTACT_IMAGE, IDC_COMPANY})
                EXPECT_FALSE(vd.IsVisible(id)) << id;
            EXPECT_EQ(vd.Text(IDC_VERSION_TEXT), L"1.0.0");
            EXPECT_EQ(vd.Text(IDC_DOWNLOAD_LABEL), L"网盘下载:");
            EXPECT_EQ(vd.Text(IDC_CONTACT_NUMBER), L"tessavan@example.org");
            EXPECT_EQ(vd.Text(IDC_FORMATS), L"支持图片:      1位, 8位黑白，24位,32位黑白或彩色JPG，TIF, PNG");
            ASSERT_TRUE(vd.ClickLink(IDC_DOWNLOAD_LINK));
            v.EndDialog(IDOK);
        });
        ASSERT_TRUE(d.ChooseMenu(ID_MENU_VERSION));
        ASSERT_EQ(dialogs->Count(ShownDialog::Shell), 1u);
        EXPECT_EQ(dialogs->Shown().back().caption, L"open");
        EXPECT_EQ(dialogs->Shown().back().text, L"https://example.org/tessavan/download");

        OnNextModal(IDD_CUSTOM_DIALOG, [&](CDialog& c) {
            DialogDriver cd(c);
            EXPECT_EQ(c.GetWindowText(), L"用户定制");
            EXPECT_FALSE(cd.Text(IDC_OFFER_TEXT).empty());
            EXPECT_FALSE(cd.IsVisible(IDC_CONTACT_NUMBER));
            EXPECT_FALSE(cd.IsVisible(IDC_CUSTOM_CONTACT_LABEL));
            EXPECT_EQ(cd.Text(IDC_CONTACT_NUMBER), L"tessavan@example.org");
            c.EndDialog(IDOK);
        });
        ASSERT_TRUE(d.ChooseMenu(ID_MENU_CUSTOM));

        OnNextModal(IDD_CONTACT_DIALOG, [&](CDialog& q) {
            EXPECT_EQ(DialogDriver(q).Text(IDC_CONTACT_NUMBER), L"tessavan@example.org");
            q.EndDialog(IDOK);
        });
        ASSERT_TRUE(d.ClickLink(IDC_CONTACT_LINK));
    });
}

TEST_F(MainWindowTest, EveryToolMenuItemOpensItsDialog) {
    struct Case {
        UINT menu;
        UINT dialog;
        const wchar_t* caption;
    };
    const Case cases[] = {{ID_MENU_DETECT, IDD_DETECT_DIALOG, L"检测出要处理的图片"},
                          {ID_MENU_FOLDER_DIFF, IDD_MORE_FEATURES_DIALOG, L"求两个文件夹的差"},
                          {ID_MENU_SEAL, IDD_GENERATE_SEAL_DIALOG, L"生成归档印章"},
                          {ID_MENU_PAGE_STATISTICS, IDD_STATISTIC_BY_SIZE_DIALOG, L"幅面统计"}};
    Open([&](DialogDriver& d) {
        for (const auto& c : cases) {
            std::wstring caption;
            OnNextModal(c.dialog, [&](CDialog& w) {
                caption = w.GetWindowText();
                DialogDriver(w).Close();
            });
            ASSERT_TRUE(d.ChooseMenu(c.menu)) << c.menu;
            EXPECT_EQ(caption, c.caption) << c.menu;
        }
        EXPECT_TRUE(dialogs->Shown().empty());
    });
}

// The link "进入手动处理" opens the manual window, not from a scan.
TEST_F(MainWindowTest, ManualLinkOpensTheManualWindow) {
    Open([&](DialogDriver& d) {
        std::wstring caption;
        OnNextModal(IDD_MANUAL_DIALOG, [&](CDialog& manual) {
            caption = manual.GetWindowText();
            manual.EndDialog(IDCANCEL);
        });
        EXPECT_TRUE(d.ClickLink(IDC_MANUAL_LINK));
        EXPECT_EQ(caption, L"手动处理");
    });
}

// The scan window's "手动处理" opens its own manual window with the from-scan
// caption; the main window's link keeps the plain one.
TEST_F(MainWindowTest, TheScanWindowOpensItsManualWindowFromTheScan) {
    Open([&](DialogDriver& d) {
        std::vector<std::wstring> captions;
        for (int i = 0; i < 2; ++i) {
            OnNextModal(IDD_MANUAL_DIALOG, [&](CDialog& manual) {
                captions.push_back(manual.GetWindowText());
                manual.EndDialog(IDCANCEL);
            });
            if (i == 0) {
                ASSERT_TRUE(dlg->scanDlg.host.openManualWindow);
                dlg->scanDlg.host.openManualWindow();
            } else {
                EXPECT_TRUE(d.ClickLink(IDC_MANUAL_LINK));
            }
        }
        EXPECT_EQ(captions, (std::vector<std::wstring>{L"手动处理 (从扫描进入的)", L"手动处理"}));
    });
}
