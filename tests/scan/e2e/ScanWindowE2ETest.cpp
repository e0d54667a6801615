// The scan window as a user drives it, opened from the main window's menu,
// against the virtual scanner in a temporary source folder: the device list,
// scans with chosen values, pages processed while scanning, insert and
// replace through the preview tree and the keys, a paper jam, closing the
// window, the preview tree and both image panes.
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QWidget>
#include <QMetaObject>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "DsmTestSupport.h"
#include "app/MainWindowFixture.h"
#include "platform/ui/Keys.h"
#include "scan/ScanDlg.h"
#include "scan/ScanResource.h"
#include "scan/core/ScanTexts.h"
#include "settings/RegistryStore.h"
#include "support/ImageFiles.h"
#include "twain/Logger.h"
#include "vds/VdsPage.h"

namespace {

namespace fs = std::filesystem;
using dsmtest::Hex4;
using dsmtest::Matching;

class ScanWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        env = std::make_unique<dsmtest::DsmEnvironment>();
        ScanSetting::scanFolder = scanDir.wpath();
        ScanSetting::processedFolder = processedDir.wpath();
        SetRegistryFileForTesting(registryDir.wfile(L"registry.ini"));
        SetScanReadyTimeout(std::chrono::seconds(10));
        quiet = std::tmpfile();
        CLogger::Instance().SetConsoleForTesting(quiet);
        std::lock_guard guard(g_scannedFilesLock);
        scannedBefore = g_scannedFiles.size();
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        SetRegistryFileForTesting(L"");
        CLogger::Instance().SetConsoleForTesting(nullptr);
        if (quiet) std::fclose(quiet);
        env.reset();
        EXPECT_EQ(g_scanDlg, HWND()) << "the scan window is still registered";
    }

    // Opens the scan window from the main window's menu and runs `body` in
    // it once its device list is filled; closes it after.
    void ShowScan(DialogDriver& main, const std::function<void(DialogDriver&, CScanDlg&)>& body, int devices = 1) {
        bool ran = false;
        OnNextModal(IDD_SCAN_DIALOG, [&](CDialog& d) {
            auto& scan = static_cast<CScanDlg&>(d);
            DialogDriver driver(d);
            DialogDriver settings(scan.settingPage);
            ran = true;
            EXPECT_TRUE(PumpUntil([&] { return static_cast<int>(settings.Items(IDC_SS_DEVICE).size()) >= devices; }));
            body(driver, scan);
            if (d.IsModalRunning()) driver.Close();
        });
        EXPECT_TRUE(main.ChooseMenu(ID_MENU_SCAN));
        EXPECT_TRUE(ran) << "the scan window did not open";
    }

    // Opens the main window, then the scan window from its menu, and runs
    // `body` in the scan window once its device list is filled.
    void OpenScan(const std::function<void(DialogDriver&, CScanDlg&)>& body, int devices = 1) {
        Open([&](DialogDriver& main) {
            ShowScan(main, body, devices);
            // Stop a processing run still going, then wait for the workers.
            dlg->StopScanProcessing();
            EXPECT_TRUE(PumpUntil([&] { return dlg->RunState() == 0 && dlg->Engine().Pool().LiveThreads() == 0; },
                                  std::chrono::seconds(60)));
        });
    }

    std::vector<std::string> Listing(const std::string& folder) {
        std::vector<std::string> names;
        if (!fs::is_directory(folder)) return names;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            // Images only: the engine keeps a hidden note of its results.
            if (e.is_regular_file() && e.path().filename().string()[0] != '.')
                names.push_back(fs::relative(e.path(), folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Recorded(const std::string& source, TW_UINT16 cap, const std::string& value) {
        return !Matching(env->SourceLog(source),
                         {"msg=" + Hex4(MSG_SET), "cap=" + Hex4(cap), "value=" + value, "rc=0"})
                    .empty();
    }
    std::string Text(const std::string& path) {
        std::ifstream in(path);
        std::string text;
        std::getline(in, text);
        return text;
    }
    // The colour page (0-based over the session) a JPEG holds, by its blue level.
    static int PageOf(const std::string& path) {
        const testimg::JpegInfo jpeg = testimg::ReadJpeg(path);
        if (!jpeg.ok || jpeg.components != 3) return -1;
        return vds::PageOfBlue(jpeg.pixels.at(jpeg.width / 2, jpeg.height / 2, 2));
    }

    std::unique_ptr<dsmtest::DsmEnvironment> env;
    testdata::TempDir scanDir;
    testdata::TempDir processedDir;
    testdata::TempDir registryDir;
    std::FILE* quiet = nullptr;
    std::size_t scannedBefore = 0;
};

TEST_F(ScanWindowTest, DeviceListShowsTheSourcesWithTheDefaultChosen) {
    env->AddVirtualSource("a", "alpha", {"product=Alpha Scanner"});
    env->AddVirtualSource("b", "beta", {"product=Beta Scanner"});
    OpenScan(
        [&](DialogDriver& d, CScanDlg& scan) {
            DialogDriver settings(scan.settingPage);
            EXPECT_EQ(settings.Items(IDC_SS_DEVICE), (std::vector<std::wstring>{L"Alpha Scanner", L"Beta Scanner"}));
            EXPECT_EQ(settings.CurSel(IDC_SS_DEVICE), 0);
            EXPECT_TRUE(settings.IsEnabled(IDC_SS_DEVICE));
            ASSERT_NE(scan.m_pTwainAppForScan, nullptr);
            EXPECT_EQ(scan.m_pTwainAppForScan->m_DSMState, 4);
            EXPECT_STREQ(scan.m_pTwainAppForScan->m_currentSource->ProductName, "Alpha Scanner");
            // Choosing the other device replaces the scanning object.
            EXPECT_TRUE(settings.Choose(IDC_SS_DEVICE, 1));
            EXPECT_STREQ(scan.m_pTwainAppForScan->m_currentSource->ProductName, "Beta Scanner");
            EXPECT_EQ(d.Text(IDC_SCAN_STATE_LABEL), L"扫描未开始");
            EXPECT_EQ(settings.Text(IDC_SS_CHAIN), L"处理:  无");
            EXPECT_EQ(settings.Text(IDC_SS_STATUS), L"未开始处理");
            EXPECT_EQ(settings.Text(IDC_SS_SCAN_FOLDER), scanDir.wpath());
        },
        2);
}

TEST_F(ScanWindowTest, WithoutAnyDeviceAScanEndsAtOnceAndShowsNothing) {
    OpenScan(
        [&](DialogDriver& d, CScanDlg& scan) {
            DialogDriver settings(scan.settingPage);
            EXPECT_TRUE(PumpUntil([&] { return scan.m_pTwainAppForSources != nullptr; }));
            EXPECT_TRUE(settings.Items(IDC_SS_DEVICE).empty());
            EXPECT_FALSE(settings.IsEnabled(IDC_SS_DEVICE));
            EXPECT_EQ(scan.m_pTwainAppForScan, nullptr);
            EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
            EXPECT_TRUE(PumpUntil([&] { return d.Text(IDC_SCAN_STATE_LABEL) == L"扫描未开始"; }));
            EXPECT_TRUE(settings.IsEnabled(IDC_SS_SCAN));
            EXPECT_EQ(g_scanMode, SCAN_IDLE);
            EXPECT_TRUE(Listing(scanDir.path()).empty());
            EXPECT_TRUE(dialogs->Shown().empty()) << "no message box anywhere in this window";
        },
        0);
}

struct FormatCase {
    const char* label;
    const wchar_t* format;       // "Jpg" or "Tif"
    const wchar_t* compression;  // list entry
    std::string compressionValue;
    const char* extension;
};

class ScanWindowFormats : public ScanWindowTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ScanWindowFormats, FivePagesWithChosenValuesProcessedWhileScanning) {
    const FormatCase& c = GetParam();
    env->AddVirtualSource("", "vs", {"pages=5", "strict=1", "notify_delay_ms=10"});
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        DialogDriver switches(scan.procPage);
        // Values as a user picks them.
        EXPECT_TRUE(settings.Choose(IDC_SS_DPI, L"200"));
        EXPECT_TRUE(settings.Choose(IDC_SS_COLOUR, L"灰度"));
        EXPECT_TRUE(settings.Choose(IDC_SS_BIT_DEPTH, L"8"));
        EXPECT_TRUE(settings.Slide(IDC_SS_QUALITY, 60));
        EXPECT_EQ(settings.Text(IDC_SS_QUALITY_VALUE), L"60");
        EXPECT_TRUE(settings.Choose(IDC_SS_FORMAT, c.format));
        EXPECT_TRUE(settings.Choose(IDC_SS_COMPRESSION, c.compression));
        EXPECT_TRUE(settings.Type(IDC_SS_PREFIX, L"p"));
        EXPECT_TRUE(settings.Type(IDC_SS_CODE_LENGTH, L"3"));
        // One processing step on: deskewing.
        EXPECT_TRUE(d.Click(IDC_SCAN_PAGE_PROC));
        EXPECT_TRUE(switches.Click(1165));
        EXPECT_TRUE(d.Click(IDC_SCAN_PAGE_BASIC));
        EXPECT_EQ(settings.Text(IDC_SS_CHAIN), L"处理:  校正");

        EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
        // Five files, named by the naming rules.
        std::vector<std::string> want;
        for (int n = 1; n <= 5; ++n) want.push_back("p00" + std::to_string(n) + c.extension);
        EXPECT_EQ(Listing(scanDir.path()), want);
        EXPECT_TRUE(Recorded("vs", ICAP_XRESOLUTION, "200/0"));
        EXPECT_TRUE(Recorded("vs", ICAP_PIXELTYPE, "1"));
        EXPECT_TRUE(Recorded("vs", ICAP_BITDEPTH, "8"));
        EXPECT_TRUE(Recorded("vs", ICAP_JPEGQUALITY, "60"));
        EXPECT_TRUE(Recorded("vs", ICAP_COMPRESSION, c.compressionValue));
        EXPECT_TRUE(Matching(env->SourceLog("vs"), {"rc=1"}).empty()) << "a call was refused";

        // Processed while scanning goes on: the engine's scan run writes each
        // page below the processed folder.
        const std::string scanName = fs::path(scanDir.path()).filename().string();
        const bool allProcessed =
            PumpUntil([&] { return Listing(processedDir.path()).size() == 5u; }, std::chrono::seconds(60));
        std::string all;
        for (const auto& n : Listing(processedDir.path())) all += n + " ";
        EXPECT_TRUE(allProcessed) << all;
        for (const std::string& name : want) {
            const std::string processed = processedDir.path() + "/" + scanName + "/" + name;
            EXPECT_TRUE(fs::exists(processed)) << processed;
            EXPECT_EQ(ScanPathToProcessedPath(FromUtf8(scanDir.path() + "/" + name)), FromUtf8(processed));
        }
        EXPECT_TRUE(PumpUntil([&] {
            return settings.Text(IDC_SS_STATUS) == L"已扫描 5 张，已处理 5 张,失败 0. 正在处理中.";
        })) << ToUtf8(settings.Text(IDC_SS_STATUS));
        EXPECT_TRUE(settings.IsVisible(IDC_SS_PROCESS_STATE));
        EXPECT_EQ(settings.Text(IDC_SS_PROCESS_STATE), L"停止处理");

        // The newest page is shown on the left, the tree lists the scan folder.
        EXPECT_EQ(d.Text(IDC_SCAN_STATE_LABEL), L"扫描未开始");
        EXPECT_TRUE(settings.IsEnabled(IDC_SS_SCAN));
        EXPECT_EQ(scan.previewPage.ListedFiles().size(), 5u);
        EXPECT_TRUE(scan.leftPane.HasImage());
        EXPECT_EQ(scan.leftPane.ImageWidth(), vds::PageSide(50, 200));
    });
}

INSTANTIATE_TEST_SUITE_P(Formats, ScanWindowFormats,
                         ::testing::Values(FormatCase{"jpeg", L"Jpg", L"JPEG", "6", ".jpg"},
                                           FormatCase{"tiff_zip", L"Tif", L"ZIP", "13", ".tif"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ScanWindowTest, InsertAndReplaceThroughTheTreeAndTheKeys) {
    env->AddVirtualSource("", "vs", {"pages=2"});
    for (int n = 1; n <= 3; ++n) std::ofstream(scanDir.file("00000" + std::to_string(n) + ".jpg")) << "old" << n;
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        DialogDriver preview(scan.previewPage);
        // The tree lists the three files (unreadable ones too).
        ASSERT_EQ(scan.previewPage.ListedFiles().size(), 3u);
        // Select 000002 and insert-scan with F11 released on the window.
        HTREEITEM second = nullptr;
        for (HTREEITEM i = scan.previewPage.Tree().GetRootItem(); i; i = scan.previewPage.Tree().GetNextSiblingItem(i))
            if (scan.previewPage.Tree().GetItemText(i) == L"000002.jpg") second = i;
        ASSERT_NE(second, nullptr);
        EXPECT_TRUE(preview.ClickTreeItem(IDC_SP_TREE, second));
        EXPECT_TRUE(d.KeyUp(VK_F11, false, IDC_SCAN_PAGE_BASIC));
        EXPECT_EQ(Listing(scanDir.path()),
                  (std::vector<std::string>{"000001.jpg", "000002.jpg", "000003.jpg", "000004.jpg", "000005.jpg"}));
        EXPECT_EQ(Text(scanDir.file("000001.jpg")), "old1");
        // The two pages in the order they were scanned.
        EXPECT_EQ(PageOf(scanDir.file("000002.jpg")), 0);
        EXPECT_EQ(PageOf(scanDir.file("000003.jpg")), 1);
        EXPECT_EQ(Text(scanDir.file("000004.jpg")), "old2");
        EXPECT_EQ(Text(scanDir.file("000005.jpg")), "old3");

        EXPECT_TRUE(PumpUntil([&] { return scan.previewPage.ListedFiles().size() == 5u; }));
        // After the run the tree shows the newest page; select 000004 and
        // replace-scan with the button: 4 and 5 are overwritten in place.
        HTREEITEM fourth = nullptr;
        for (HTREEITEM i = scan.previewPage.Tree().GetRootItem(); i; i = scan.previewPage.Tree().GetNextSiblingItem(i))
            if (scan.previewPage.Tree().GetItemText(i) == L"000004.jpg") fourth = i;
        ASSERT_NE(fourth, nullptr);
        EXPECT_TRUE(preview.ClickTreeItem(IDC_SP_TREE, fourth));
        EXPECT_TRUE(settings.Click(IDC_SS_REPLACE_SCAN));
        EXPECT_EQ(Listing(scanDir.path()).size(), 5u);
        EXPECT_EQ(PageOf(scanDir.file("000004.jpg")), 2);
        EXPECT_EQ(PageOf(scanDir.file("000005.jpg")), 3);
        EXPECT_EQ(PageOf(scanDir.file("000002.jpg")), 0);
        EXPECT_EQ(PageOf(scanDir.file("000003.jpg")), 1);

        // F10 released in an edit box of the settings page starts nothing;
        // released on the switches page it starts a scan.
        EXPECT_TRUE(settings.KeyUp(VK_F10, false, IDC_SS_PREFIX));
        EXPECT_EQ(Listing(scanDir.path()).size(), 5u);
        EXPECT_TRUE(d.Click(IDC_SCAN_PAGE_PROC));
        DialogDriver switches(scan.procPage);
        EXPECT_TRUE(switches.KeyUp(VK_F10, false, 5187));
        EXPECT_EQ(Listing(scanDir.path()).size(), 7u);
    });
}

// F10, F11 and F12 act on their release however Ctrl is held and let go:
// one run each, on the window and on the switches page (which takes every
// key release), and none with the focus in an edit box.
TEST_F(ScanWindowTest, ScanKeysStartOneRunInEveryKeyOrder) {
    using Order = DialogDriver::CtrlOrder;
    env->AddVirtualSource("", "vs", {"pages=1"});
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        DialogDriver switches(scan.procPage);
        auto scanned = [&] {
            std::lock_guard guard(g_scannedFilesLock);
            return g_scannedFiles.size() - scannedBefore;
        };
        auto idle = [&] { return PumpUntil([&] { return d.Text(IDC_SCAN_STATE_LABEL) == L"扫描未开始"; }); };
        const Order orders[] = {Order::kNone, Order::kKeyLetGoFirst, Order::kCtrlLetGoFirst, Order::kCtrlAfterKey};
        std::size_t runs = 0;
        for (UINT key : {VK_F10, VK_F11, VK_F12}) {
            for (Order order : orders) {
                SCOPED_TRACE(::testing::Message() << "key " << key << ", order " << static_cast<int>(order));
                ASSERT_TRUE(d.TypeKey(key, order, IDC_SCAN_PAGE_BASIC));
                EXPECT_EQ(scanned(), ++runs);
                ASSERT_TRUE(idle());
            }
        }
        ASSERT_TRUE(settings.TypeKey(VK_F10, Order::kCtrlLetGoFirst, IDC_SS_PREFIX));
        EXPECT_EQ(scanned(), runs) << "in an edit box the key only edits";
        ASSERT_TRUE(d.Click(IDC_SCAN_PAGE_PROC));
        for (Order order : orders) {
            ASSERT_TRUE(switches.TypeKey(VK_F10, order, 5187));
            EXPECT_EQ(scanned(), ++runs);
            ASSERT_TRUE(idle());
        }
    });
}

// A sub-folder, prefix or suffix typed so that pages would leave the scan
// folder: whichever scan is asked for (button or key), a message says why,
// no scan starts and nothing is written anywhere.
TEST_F(ScanWindowTest, TypedNamesThatLeaveTheScanFolderAreRefusedWithAMessage) {
    env->AddVirtualSource("", "vs", {"pages=1"});
    std::ofstream(scanDir.file("000001.jpg")) << "old1";
    const std::string outsideName = fs::path(scanDir.path()).filename().string() + "-out";
    const fs::path outside = fs::path(scanDir.path()).parent_path() / outsideName;
    enum Trigger { kScanButton, kInsertKey, kReplaceKey };
    struct Case {
        int edit;
        std::wstring text;
        Trigger trigger;
        std::wstring message;
    };
    const Case cases[] = {
        {IDC_SS_SUB_FOLDER, L"../" + FromUtf8(outsideName), kScanButton,
         L"文件夹名不能包含 \"..\", 请输入扫描目录下的子目录名."},
        {IDC_SS_SUB_FOLDER, outside.wstring(), kInsertKey, L"文件夹名不能是绝对路径, 请输入扫描目录下的子目录名."},
        {IDC_SS_PREFIX, L"a/", kReplaceKey, L"前缀不能包含 \"/\" 或 \"\\\"."},
        {IDC_SS_SUFFIX, L"\\..\\" + FromUtf8(outsideName), kScanButton, L"后缀不能包含 \"/\" 或 \"\\\"."},
    };
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        for (const Case& c : cases) {
            SCOPED_TRACE(ToUtf8(c.text));
            dialogs->Clear();
            EXPECT_TRUE(settings.Type(c.edit, c.text));
            switch (c.trigger) {
            case kScanButton: EXPECT_TRUE(settings.Click(IDC_SS_SCAN)); break;
            case kInsertKey: EXPECT_TRUE(d.KeyUp(VK_F11, false, IDC_SCAN_PAGE_BASIC)); break;
            case kReplaceKey: EXPECT_TRUE(d.KeyUp(VK_F12, false, IDC_SCAN_PAGE_BASIC)); break;
            }
            const auto shown = dialogs->Shown();
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].kind, ShownDialog::MessageBox);
            EXPECT_EQ(shown[0].caption, L"提示");
            EXPECT_EQ(shown[0].text, c.message);
            EXPECT_EQ(g_scanMode, SCAN_IDLE);
            EXPECT_EQ(d.Text(IDC_SCAN_STATE_LABEL), L"扫描未开始");
            EXPECT_TRUE(settings.IsEnabled(IDC_SS_SCAN));
            EXPECT_EQ(Listing(scanDir.path()), std::vector<std::string>{"000001.jpg"});
            EXPECT_FALSE(fs::exists(outside));
            EXPECT_TRUE(settings.Type(c.edit, L""));
        }
        // The scanner was never enabled; with sound names it scans.
        EXPECT_TRUE(Matching(env->SourceLog("vs"), {"msg=" + Hex4(MSG_ENABLEDS)}).empty());
        dialogs->Clear();
        EXPECT_TRUE(settings.Type(IDC_SS_SUB_FOLDER, L"box/a"));
        EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
        EXPECT_TRUE(dialogs->Shown().empty());
        EXPECT_EQ(Listing(scanDir.path()), (std::vector<std::string>{"000001.jpg", "box/a/000001.jpg"}));
        EXPECT_EQ(Text(scanDir.file("000001.jpg")), "old1");
    });
}

TEST_F(ScanWindowTest, PaperJamEndsTheScanAndKeepsThePagesScanned) {
    env->AddVirtualSource("", "vs", {"pages=5", "jam_page=4", "strict=1"});
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
        EXPECT_EQ(Listing(scanDir.path()), (std::vector<std::string>{"000001.jpg", "000002.jpg", "000003.jpg"}));
        for (const std::string& n : Listing(scanDir.path())) EXPECT_TRUE(testimg::ReadJpeg(scanDir.file(n)).ok);
        EXPECT_TRUE(PumpUntil([&] { return d.Text(IDC_SCAN_STATE_LABEL) == L"扫描未开始"; }));
        EXPECT_TRUE(settings.IsEnabled(IDC_SS_SCAN));
        EXPECT_EQ(scan.m_pTwainAppForScan->m_DSMState, 4);
    });
}

TEST_F(ScanWindowTest, ClosingDuringAScanLetsTheRunFinishThenDisconnectsAndStops) {
    // A scanner taking 0.6 s a page: pages are processed during the scan.
    env->AddVirtualSource("", "vs", {"pages=6", "notify_delay_ms=50", "page_delay_ms=600"});
    ScanStepFlags::correct = 1;
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        // The close request arrives while the scan runs; the run is not cut
        // short, the window closes once it is over.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&d] { d.Close(); }, Qt::QueuedConnection);
        EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
        EXPECT_EQ(Listing(scanDir.path()).size(), 6u);
        EXPECT_TRUE(scan.IsModalRunning()) << "the window closed in the middle of the scan";
        // (That pages are processed while the scan goes on is shown, with
        // margins that hold on a loaded machine, by the scan road's own tests.)
        EXPECT_TRUE(PumpUntil([&] { return !scan.IsModalRunning(); }));
        // Both TWAIN objects left the manager; processing was stopped.
        EXPECT_EQ(scan.m_pTwainAppForScan, nullptr);
        EXPECT_EQ(scan.m_pTwainAppForSources, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return dlg->RunState() == 0; }, std::chrono::seconds(60)));
        EXPECT_FALSE(Listing(processedDir.path()).empty()) << "the run was cut short: nothing was processed";
    });
    EXPECT_TRUE(dsmtest::ManagerGone());
    // The window opens again and finds the device again.
    OpenScan([&](DialogDriver&, CScanDlg& scan) { EXPECT_NE(scan.m_pTwainAppForScan, nullptr); });
}

TEST_F(ScanWindowTest, SwitchesPageIsClosedWhileAScanRunProcesses) {
    env->AddVirtualSource("", "vs", {"pages=1"});
    // A switch on: a scan starts the engine's scan-and-process run, and
    // closing the window lets it go on.
    ScanStepFlags::correct = 1;
    ScanSetting::stopProcessingOnClose = 0;
    Open([&](DialogDriver& main) {
        auto openScan = [&](const std::function<void(DialogDriver&, CScanDlg&)>& body) { ShowScan(main, body); };
        openScan([&](DialogDriver& d, CScanDlg& scan) {
            EXPECT_TRUE(d.IsEnabled(IDC_SCAN_PAGE_PROC)) << "no run: the switches can be changed";
            DialogDriver settings(scan.settingPage);
            EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
            EXPECT_EQ(Listing(scanDir.path()).size(), 1u);
            EXPECT_NE(dlg->RunState(), 0);
        });
        ASSERT_NE(dlg->RunState(), 0) << "the run should outlive the window";
        openScan([&](DialogDriver& d, CScanDlg& scan) {
            EXPECT_FALSE(d.IsEnabled(IDC_SCAN_PAGE_PROC)) << "the switches page opens during the run";
            EXPECT_TRUE(d.IsEnabled(IDC_SCAN_PAGE_BASIC));
            EXPECT_TRUE(d.IsEnabled(IDC_SCAN_PAGE_MORE));
            // A click cannot open it.
            EXPECT_FALSE(d.Click(IDC_SCAN_PAGE_PROC));
            EXPECT_EQ(scan.currentPage, 0);
            DialogDriver settings(scan.settingPage);
            EXPECT_TRUE(settings.IsVisible(IDC_SS_PROCESS_STATE));
            // Stopped from the window: the next opening has the page again.
            EXPECT_TRUE(settings.Click(IDC_SS_PROCESS_STATE));
        });
        EXPECT_TRUE(PumpUntil([&] { return dlg->RunState() == 0 && dlg->Engine().Pool().LiveThreads() == 0; },
                              std::chrono::seconds(60)));
        openScan([&](DialogDriver& d, CScanDlg&) { EXPECT_TRUE(d.IsEnabled(IDC_SCAN_PAGE_PROC)); });
    });
}

TEST_F(ScanWindowTest, PreviewTreeAndBothPanes) {
    env->AddVirtualSource("", "vs", {"pages=3"});
    ScanSetting::subFolder = L"box/a";
    // A sub-folder without images does not appear.
    fs::create_directories(scanDir.path() + "/empty/deeper");
    ScanStepFlags::correct = 1;
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        DialogDriver preview(scan.previewPage);
        EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
        const std::string scanName = fs::path(scanDir.path()).filename().string();
        EXPECT_TRUE(PumpUntil([&] { return Listing(processedDir.path()).size() == 3u; }, std::chrono::seconds(60)));
        auto& tree = scan.previewPage.Tree();
        EXPECT_TRUE(preview.Click(IDC_SP_SHOW_SCAN));
        ASSERT_EQ(scan.previewPage.ListedFiles().size(), 3u);
        // Folders: box and a below it; "empty" is gone.
        EXPECT_EQ(tree.GetItemText(tree.GetRootItem()), L"box");
        EXPECT_EQ(tree.GetNextSiblingItem(tree.GetRootItem()), nullptr);
        EXPECT_TRUE(preview.Click(IDC_SP_EXPAND));
        EXPECT_TRUE(tree.IsExpanded(tree.GetRootItem()));
        EXPECT_TRUE(tree.IsExpanded(tree.GetChildItem(tree.GetRootItem())));
        EXPECT_TRUE(preview.Click(IDC_SP_COLLAPSE));
        EXPECT_FALSE(tree.IsExpanded(tree.GetChildItem(tree.GetRootItem())));

        // Double view: the first file and its processed counterpart.
        EXPECT_TRUE(d.Click(IDC_SCAN_DOUBLE_VIEW));
        EXPECT_TRUE(d.IsVisible(IDC_SCAN_LEFT_PANE));
        EXPECT_TRUE(d.IsVisible(IDC_SCAN_RIGHT_PANE));
        const auto files = scan.previewPage.ListedFiles();
        EXPECT_EQ(scan.previewPage.CurrentFile(), files[0]);
        EXPECT_TRUE(scan.leftPane.HasImage());
        EXPECT_TRUE(scan.rightPane.HasImage());
        EXPECT_EQ(scan.leftPane.ImageWidth(), vds::PageSide(50, 300));
        // Previous from the first wraps to the last; next from the last to the first.
        EXPECT_TRUE(d.Click(IDC_SCAN_PREV));
        EXPECT_EQ(scan.previewPage.CurrentFile(), files[2]);
        EXPECT_TRUE(d.Click(IDC_SCAN_NEXT));
        EXPECT_EQ(scan.previewPage.CurrentFile(), files[0]);

        // The processed folder: its files map back to the scanned ones.
        EXPECT_TRUE(preview.Click(IDC_SP_SHOW_PROCESSED));
        EXPECT_EQ(d.Text(IDC_SCAN_DISPLAY_LABEL), L"图片显示:  处理");
        EXPECT_EQ(preview.Text(IDC_SP_FOLDER), processedDir.wpath());
        const auto processed = scan.previewPage.ListedFiles();
        ASSERT_EQ(processed.size(), 3u);
        EXPECT_EQ(ProcessedPathToScanPath(processed[0]), files[0]);
        EXPECT_TRUE(scan.rightPane.HasImage());
        // Single view shows the pane of the folder shown.
        EXPECT_TRUE(d.Click(IDC_SCAN_SINGLE_VIEW));
        EXPECT_FALSE(d.IsVisible(IDC_SCAN_LEFT_PANE));
        EXPECT_TRUE(d.IsVisible(IDC_SCAN_RIGHT_PANE));

        // A processed file whose scanned page is gone changes neither pane.
        fs::remove(ToUtf8(files[1]));
        const int widthBefore = scan.rightPane.ImageWidth();
        EXPECT_TRUE(d.Click(IDC_SCAN_NEXT));
        EXPECT_EQ(scan.rightPane.ImageWidth(), widthBefore);

        // "打开所在文件夹" goes to the desktop's file manager (recorded).
        dialogs->Clear();
        EXPECT_TRUE(preview.Click(IDC_SP_OPEN_FOLDER));
        const auto shown = dialogs->Shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, L"explorer");
        EXPECT_EQ(shown[0].parameters, FromUtf8(processedDir.path() + "/" + scanName + "/box/a"));
        // A desktop without a file manager: the user is told where the folder is.
        dialogs->Clear();
        dialogs->AnswerShell(false);
        EXPECT_TRUE(preview.Click(IDC_SP_OPEN_FOLDER));
        EXPECT_EQ(dialogs->MessageTexts(),
                  std::vector<std::wstring>{L"无法打开文件夹: " + FromUtf8(processedDir.path() + "/" + scanName + "/box/a")});
        ASSERT_EQ(dialogs->Shown().size(), 2u);
        EXPECT_EQ(dialogs->Shown()[1].caption, L"提示");
    });
}

// The processed pane shows its picture fitted, as the scanned pane does, as
// soon as it is shown: after "双视图" and after a file is chosen in either
// view, "适配" changes nothing.
TEST_F(ScanWindowTest, BothPanesShowTheirPicturesFittedAtOnce) {
    env->AddVirtualSource("", "vs", {});
    const std::string scanName = fs::path(scanDir.path()).filename().string();
    fs::create_directories(processedDir.path() + "/" + scanName);
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        ASSERT_TRUE(testimg::WriteJpeg(scanDir.file(name), testimg::Pattern(900 + 10 * i, 1200, 3, i), 90));
        ASSERT_TRUE(testimg::WriteJpeg(processedDir.path() + "/" + scanName + "/" + name,
                                       testimg::Pattern(880 + 10 * i, 1180, 3, 10 + i), 90));
    }
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        // Each pane holds its picture at the zoom and place "适配" gives it.
        auto expectFitted = [&](const char* step) {
            SCOPED_TRACE(step);
            ASSERT_TRUE(scan.leftPane.HasImage());
            ASSERT_TRUE(scan.rightPane.HasImage());
            const float leftZoom = scan.leftPane.Zoom(), rightZoom = scan.rightPane.Zoom();
            const POINT leftScroll = scan.leftPane.Scroll(), rightScroll = scan.rightPane.Scroll();
            RECT client{};
            scan.rightPane.GetClientRect(&client);
            EXPECT_GT(client.right, 0);
            // The whole processed picture lies inside its pane.
            EXPECT_LE(static_cast<int>(static_cast<float>(scan.rightPane.ImageWidth()) * rightZoom), client.right);
            EXPECT_LE(static_cast<int>(static_cast<float>(scan.rightPane.ImageHeight()) * rightZoom), client.bottom);
            EXPECT_TRUE(d.Click(IDC_SCAN_FIT));
            EXPECT_EQ(scan.rightPane.Zoom(), rightZoom);
            EXPECT_EQ(scan.rightPane.Scroll().x, rightScroll.x);
            EXPECT_EQ(scan.rightPane.Scroll().y, rightScroll.y);
            EXPECT_EQ(scan.leftPane.Zoom(), leftZoom);
            EXPECT_EQ(scan.leftPane.Scroll().x, leftScroll.x);
            EXPECT_EQ(scan.leftPane.Scroll().y, leftScroll.y);
        };
        ASSERT_EQ(scan.previewPage.ListedFiles().size(), 3u);
        EXPECT_FALSE(d.IsVisible(IDC_SCAN_RIGHT_PANE));
        EXPECT_TRUE(d.Click(IDC_SCAN_DOUBLE_VIEW));
        EXPECT_TRUE(d.IsVisible(IDC_SCAN_RIGHT_PANE));
        expectFitted("double view after opening");
        EXPECT_TRUE(d.Click(IDC_SCAN_NEXT));
        expectFitted("next file in double view");
        EXPECT_TRUE(d.Click(IDC_SCAN_SINGLE_VIEW));
        EXPECT_TRUE(d.Click(IDC_SCAN_NEXT));
        EXPECT_TRUE(d.Click(IDC_SCAN_DOUBLE_VIEW));
        expectFitted("file chosen in single view, then double view");
        EXPECT_EQ(scan.rightPane.ImageWidth(), 910);
    });
}

// A scan-and-process run writes a page's processed counterpart after the
// page was shown: it appears in the processed pane, fitted, as soon as the
// run reports it, or when the double view is chosen; a page without one
// leaves the pane empty on the screen too.
TEST_F(ScanWindowTest, AProcessedPageWrittenAfterItsScanIsShownAtOnce) {
    env->AddVirtualSource("", "vs", {});
    const std::string scanName = fs::path(scanDir.path()).filename().string();
    const std::string processed = processedDir.path() + "/" + scanName;
    fs::create_directories(processed);
    for (const char* name : {"p1.jpg", "p2.jpg"})
        ASSERT_TRUE(testimg::WriteJpeg(scanDir.file(name), testimg::Pattern(900, 1200, 3, 1), 90));
    struct PaintLog final : QObject {
        std::vector<bool> withPicture;  // whether the pane held a picture at each paint
        CImagePannel* pane = nullptr;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) withPicture.push_back(pane->HasImage());
            return false;
        }
    } paints;
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        ASSERT_EQ(scan.previewPage.CurrentFile(), scanDir.wfile(L"p1.jpg"));
        EXPECT_FALSE(scan.rightPane.HasImage());  // not processed yet
        // Written by the run now: the double view shows it.
        ASSERT_TRUE(testimg::WriteJpeg(processed + "/p1.jpg", testimg::Pattern(880, 1180, 3, 2), 90));
        EXPECT_TRUE(d.Click(IDC_SCAN_DOUBLE_VIEW));
        ASSERT_TRUE(scan.rightPane.HasImage());
        EXPECT_EQ(scan.rightPane.ImageWidth(), 880);
        const float zoom = scan.rightPane.Zoom();
        EXPECT_LT(zoom, 1.0f);
        EXPECT_TRUE(d.Click(IDC_SCAN_FIT));
        EXPECT_EQ(scan.rightPane.Zoom(), zoom);

        // The next page, in the double view: shown once the run has written it.
        EXPECT_TRUE(d.Click(IDC_SCAN_NEXT));
        EXPECT_FALSE(scan.rightPane.HasImage());
        {
            std::ofstream broken(processed + "/p2.jpg", std::ios::binary);
            broken << "not a picture";
        }
        scan.settingPage.UpdateProcessStatus();
        EXPECT_FALSE(scan.rightPane.HasImage());  // unreadable: nothing to show
        ASSERT_TRUE(testimg::WriteJpeg(processed + "/p2.jpg", testimg::Pattern(870, 1170, 3, 3), 90));
        scan.settingPage.UpdateProcessStatus();  // as the run does after each page
        ASSERT_TRUE(scan.rightPane.HasImage());
        EXPECT_EQ(scan.rightPane.ImageWidth(), 870);
        const float zoom2 = scan.rightPane.Zoom();
        EXPECT_TRUE(d.Click(IDC_SCAN_FIT));
        EXPECT_EQ(scan.rightPane.Zoom(), zoom2);

        // Back to the first page, then to a page whose counterpart is gone:
        // the pane is painted empty, not left showing the other picture.
        fs::remove(processed + "/p2.jpg");
        EXPECT_TRUE(d.Click(IDC_SCAN_PREV));
        ASSERT_TRUE(scan.rightPane.HasImage());
        PumpUntil([] { return false; }, std::chrono::milliseconds(50));  // its paints done
        paints.pane = &scan.rightPane;
        scan.rightPane.Widget()->installEventFilter(&paints);
        EXPECT_TRUE(d.Click(IDC_SCAN_NEXT));
        EXPECT_FALSE(scan.rightPane.HasImage());
        EXPECT_TRUE(PumpUntil([&] { return !paints.withPicture.empty() && !paints.withPicture.back(); },
                              std::chrono::seconds(2)))
            << "the pane was not painted after its picture went";
        scan.rightPane.Widget()->removeEventFilter(&paints);
    });
    // The files shown are as they were.
    EXPECT_EQ(testimg::ReadJpeg(scanDir.file("p2.jpg")).width, 900);
    EXPECT_EQ(testimg::ReadJpeg(processed + "/p1.jpg").width, 880);
}

// Two scans while processing goes on: the status line counts every page
// scanned and processed, also those processed before the second scan.
TEST_F(ScanWindowTest, TheStatusLineCountsEveryPageOfTheRun) {
    env->AddVirtualSource("", "vs", {"pages=2"});
    ScanStepFlags::correct = 1;
    OpenScan([&](DialogDriver&, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
        ASSERT_TRUE(PumpUntil([&] { return Listing(processedDir.path()).size() == 2u; }, std::chrono::seconds(60)));
        ASSERT_TRUE(PumpUntil([&] { return dlg->Engine().Pool().CountDone() == 2; }));
        EXPECT_EQ(settings.Text(IDC_SS_STATUS), L"已扫描 2 张，已处理 2 张,失败 0. 正在处理中.");
        EXPECT_TRUE(settings.Click(IDC_SS_SCAN));
        ASSERT_TRUE(PumpUntil([&] { return Listing(processedDir.path()).size() == 4u; }, std::chrono::seconds(60)));
        ASSERT_TRUE(PumpUntil([&] { return dlg->Engine().Pool().CountDone() == 4; }));
        EXPECT_EQ(settings.Text(IDC_SS_STATUS), L"已扫描 4 张，已处理 4 张,失败 0. 正在处理中.");
        EXPECT_EQ(Listing(scanDir.path()).size(), 4u);
    });
}

// The window's own controls carry their ids (the numbers, as other code
// and the resources know them), each once; the page buttons show their page.
TEST_F(ScanWindowTest, TheWindowsButtonsCarryTheirIds) {
    env->AddVirtualSource("", "vs", {});
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        const std::pair<int, const wchar_t*> buttons[] = {
            {5204, L"基本"}, {1119, L"处理"}, {1124, L"更多"},   {1103, L"单视图"}, {1104, L"双视图"},
            {5208, L"手动处理"}, {1121, L"上页"}, {1122, L"下页"}, {9129, L"适配"},   {1123, L"居中"},
        };
        for (const auto& [id, text] : buttons) EXPECT_EQ(d.Text(id), text) << id;
        std::vector<int> ids;
        for (CWnd* child : scan.GetChildren())
            if (child->GetDlgCtrlID() != 0) ids.push_back(child->GetDlgCtrlID());
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "an id is used twice";
        const std::pair<int, CDialog*> pages[] = {{1119, &scan.procPage}, {1124, &scan.morePage}, {5204, &scan.settingPage}};
        for (const auto& [id, page] : pages) {
            EXPECT_TRUE(d.Click(id));
            EXPECT_TRUE(page->IsWindowVisible()) << id;
        }
        EXPECT_TRUE(d.Click(1104));
        EXPECT_EQ(scan.viewMode, 1);
        EXPECT_TRUE(d.Click(1103));
        EXPECT_EQ(scan.viewMode, 0);
    });
}

// A scan holds the thread from its start to its end: the state label and
// the scan buttons are painted when they change, so the label reads
// "扫描进行中..." (and the buttons are disabled) on the screen while the
// pages come in.
TEST_F(ScanWindowTest, TheStateLabelIsShownAtOnceWhileTheScanHoldsTheThread) {
    env->AddVirtualSource("", "vs", {"pages=2", "page_delay_ms=50"});
    struct PaintLog final : QObject {
        std::vector<std::pair<int, std::wstring>> label;  // scan mode at the paint, text painted
        std::vector<std::pair<int, bool>> button;         // scan mode at the paint, enabled
        QObject* labelWidget = nullptr;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                auto* widget = static_cast<QWidget*>(watched);
                if (watched == labelWidget)
                    label.emplace_back(g_scanMode, static_cast<QLabel*>(widget)->text().toStdWString());
                else
                    button.emplace_back(g_scanMode, widget->isEnabled());
            }
            return false;
        }
    } paints;
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        QWidget* label = scan.GetDlgItem(IDC_SCAN_STATE_LABEL)->Widget();
        QWidget* button = scan.settingPage.GetDlgItem(IDC_SS_SCAN)->Widget();
        paints.labelWidget = label;
        label->installEventFilter(&paints);
        button->installEventFilter(&paints);
        EXPECT_TRUE(settings.Click(IDC_SS_SCAN));  // returns when the scan is over
        label->removeEventFilter(&paints);
        button->removeEventFilter(&paints);
        EXPECT_TRUE(PumpUntil([&] { return d.Text(IDC_SCAN_STATE_LABEL) == L"扫描未开始"; }));
    });
    const auto during = std::find_if(paints.label.begin(), paints.label.end(),
                                     [](const auto& p) { return p.first == SCAN_APPEND; });
    ASSERT_NE(during, paints.label.end()) << "the label was not painted during the scan";
    EXPECT_EQ(during->second, L"扫描进行中...");
    for (const auto& [mode, text] : paints.label) {
        if (mode == SCAN_APPEND) {
            EXPECT_EQ(text, L"扫描进行中...");
        }
    }
    const bool disabledShown = std::any_of(paints.button.begin(), paints.button.end(),
                                           [](const auto& p) { return p.first == SCAN_APPEND && !p.second; });
    EXPECT_TRUE(disabledShown) << "the scan button was not shown disabled during the scan";
}

// The status line counts a scan-and-process run's pages: after a plain batch
// run (whose files are no scanned pages) it says that no processing started.
TEST_F(ScanWindowTest, AfterABatchRunTheStatusLineCountsNoScannedPages) {
    env->AddVirtualSource("", "vs", {});
    testdata::TempDir batch;
    ASSERT_TRUE(testimg::WriteJpeg(batch.file("a.jpg"), testimg::Pattern(64, 48, 3, 1), 90));
    ASSERT_TRUE(testimg::WriteJpeg(batch.file("b.jpg"), testimg::Pattern(64, 48, 3, 2), 90));
    {
        std::ofstream bad(batch.file("bad.jpg"));
        bad << "not a picture";
    }
    Open([&](DialogDriver& main) {
        ChooseFolders(main, batch.wpath());
        ASSERT_TRUE(main.Click(IDC_START));
        ASSERT_TRUE(WaitForIdle(main));
        ASSERT_EQ(dlg->Engine().Pool().CountDone(), 3);
        ASSERT_EQ(dlg->FailedCount(), 1);
        bool ran = false;
        OnNextModal(IDD_SCAN_DIALOG, [&](CDialog& d) {
            auto& scan = static_cast<CScanDlg&>(d);
            DialogDriver settings(scan.settingPage);
            ran = true;
            EXPECT_EQ(settings.Text(IDC_SS_STATUS), L"未开始处理");
            EXPECT_FALSE(settings.IsVisible(IDC_SS_PROCESS_STATE));
            DialogDriver(d).Close();
        });
        EXPECT_TRUE(main.ChooseMenu(ID_MENU_SCAN));
        EXPECT_TRUE(ran);
    });
    // The batch run's sources are as they were.
    EXPECT_TRUE(fs::exists(batch.file("bad.jpg")));
    EXPECT_EQ(testimg::ReadJpeg(batch.file("a.jpg")).width, 64);
}

TEST_F(ScanWindowTest, SwitchGroupsAndFormatRebuildTheirControls) {
    env->AddVirtualSource("", "vs", {});
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        DialogDriver switches(scan.procPage);
        EXPECT_TRUE(d.Click(IDC_SCAN_PAGE_PROC));
        EXPECT_TRUE(switches.Click(5188));  // 去黑底
        EXPECT_TRUE(switches.Click(5189));  // 去黑边 clears 去黑底
        EXPECT_FALSE(switches.IsChecked(5188));
        EXPECT_TRUE(switches.IsChecked(5189));
        EXPECT_TRUE(switches.Click(1098));  // 白色背景切白边
        EXPECT_TRUE(switches.Click(1058));  // 居中 clears it
        EXPECT_FALSE(switches.IsChecked(1098));
        EXPECT_EQ(ScanStepFlags::center.load(), 1);
        EXPECT_EQ(ScanStepFlags::rmblackboard.load(), 0);
        EXPECT_TRUE(d.Click(IDC_SCAN_PAGE_BASIC));
        EXPECT_EQ(settings.Text(IDC_SS_CHAIN), L"处理:  去黑边 -> 居中");

        EXPECT_EQ(settings.Items(IDC_SS_COMPRESSION), (std::vector<std::wstring>{L"JPEG", L"JPEG-2000"}));
        EXPECT_TRUE(settings.Choose(IDC_SS_FORMAT, L"Tif"));
        EXPECT_EQ(settings.Items(IDC_SS_COMPRESSION),
                  (std::vector<std::wstring>{L"LZW(无损)", L"ZIP", L"RLE", L"JPEG"}));
        EXPECT_EQ(settings.CurSel(IDC_SS_COMPRESSION), 0);
        EXPECT_TRUE(settings.Choose(IDC_SS_COMPRESSION, L"RLE"));
        EXPECT_EQ(ScanSetting::compression.load(), 2);
        EXPECT_TRUE(settings.Type(IDC_SS_SUB_FOLDER, L"x"));
        EXPECT_EQ(settings.Text(IDC_SS_EXAMPLE), processedDir.wpath() + L"/x/000001.tif");

        // Cancelling the folder choice keeps the folder.
        dialogs->AnswerFolder(std::nullopt);
        EXPECT_TRUE(settings.Click(IDC_SS_BROWSE_SCAN));
        EXPECT_EQ(settings.Text(IDC_SS_SCAN_FOLDER), scanDir.wpath());
        EXPECT_EQ(ScanSetting::scanFolder.get(), scanDir.wpath());
    });
    // The values are kept for the next opening, and shown again.
    EXPECT_EQ(ScanSetting::compression.load(), 2);
    EXPECT_EQ(ScanSetting::fileFormat.load(), 1);
    OpenScan([&](DialogDriver& d, CScanDlg& scan) {
        DialogDriver settings(scan.settingPage);
        DialogDriver switches(scan.procPage);
        EXPECT_EQ(settings.CurSel(IDC_SS_FORMAT), 1);
        EXPECT_EQ(settings.CurSel(IDC_SS_COMPRESSION), 2);
        EXPECT_EQ(ScanSetting::compression.load(), 2);
        EXPECT_TRUE(d.Click(IDC_SCAN_PAGE_PROC));
        EXPECT_TRUE(switches.IsChecked(5189));
        EXPECT_TRUE(switches.IsChecked(1058));
        // The "设置" buttons ask for the settings dialog's scan variant on the
        // page that holds the step; "手动处理" for the manual window.
        std::vector<int> pages;
        int manual = 0;
        scan.host.openScanSettings = [&pages](int page) { pages.push_back(page); };
        scan.host.openManualWindow = [&manual] { ++manual; };
        EXPECT_TRUE(switches.Click(5205));  // 去黑边: first page
        EXPECT_TRUE(switches.Click(1049));  // 根据彩色背景切四个边: second page
        EXPECT_TRUE(switches.Click(1089));  // 固定输出尺寸: second page
        EXPECT_EQ(pages, (std::vector<int>{0, 1, 1}));
        EXPECT_TRUE(d.Click(IDC_SCAN_MANUAL));
        EXPECT_EQ(manual, 1);
        scan.host.openScanSettings = nullptr;
        scan.host.openManualWindow = nullptr;
    });
}

}  // namespace
