// Every window of the program on a laptop screen: these tests run on an
// offscreen screen of 1366 x 768 pixels (see tests/CMakeLists.txt). Each
// window is opened as a user opens it, from the main window, and looked at on
// each of its pages: it lies inside the screen's available area and every
// control it shows can be reached (inside the window, or inside an area that
// scrolls to it). Every text of every dialog fits its box in the program's
// font.
#include <QGuiApplication>
#include <QScreen>

#include <filesystem>
#include <set>
#include <string>

#include "DsmTestSupport.h"
#include "app/MainWindowFixture.h"
#include "manual/ManualResource.h"
#include "scan/ScanDlg.h"
#include "scan/ScanResource.h"
#include "settings/RegistryStore.h"
#include "settings_ui/SettingsResource.h"
#include "support/ImageFiles.h"
#include "tools/ToolsResource.h"

namespace {

// The page of `window` made from template `templateId`, or null.
CDialog* PageOf(CWnd& window, UINT templateId) {
    for (CWnd* child : window.GetChildren())
        if (auto* page = dynamic_cast<CDialog*>(child); page && page->GetTemplateId() == templateId) return page;
    return nullptr;
}

class LaptopScreenTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // The scan window finds no scanner and keeps its values here.
        ScanSetting::scanFolder = scanDir.wpath();
        ScanSetting::processedFolder = processedDir.wpath();
        SetRegistryFileForTesting(registryDir.wfile(L"registry.ini"));
        const std::string folder = pagesDir.file("第一卷-扫描页面");
        std::filesystem::create_directory(folder);
        ASSERT_TRUE(testimg::WriteJpeg(folder + "/第001页.jpg", testimg::Pattern(120, 160, 3, 1), 90));
    }
    void TearDown() override {
        SetRegistryFileForTesting(L"");
        MainWindowTest::TearDown();
    }

    // Opens every window from the main window and calls `look` in each state
    // a user can bring it to: the main window with each folder choice, the
    // batch settings on each page and the preview, the manual window on each
    // tool page, in comparison mode and with its status line, the scan window on each page with both
    // views, the scan form of the settings, the manual window from the scan
    // window, and every dialog of the menus and links.
    void VisitEveryWindow(const std::function<void(CWnd&, const std::string&)>& look) {
        Open([&](DialogDriver& main) {
            CDialog& mainWindow = *dlg;
            look(mainWindow, "main window");
            ASSERT_TRUE(main.Click(IDC_SAVE_TO_NEW_FOLDER));
            look(mainWindow, "main window, saving to a new folder");

            InDialog(IDD_SETTING_DIALOG, [&] { return main.ClickLink(IDC_SETTINGS_LINK); },
                     [&](CDialog& d) { VisitSettings(d, "batch settings", look); });
            InDialog(IDD_MANUAL_DIALOG, [&] { return main.ClickLink(IDC_MANUAL_LINK); },
                     [&](CDialog& d) { VisitManual(d, "manual window", look); });

            InDialog(IDD_SCAN_DIALOG, [&] { return main.ChooseMenu(ID_MENU_SCAN); }, [&](CDialog& d) {
                auto& scan = static_cast<CScanDlg&>(d);
                DialogDriver drive(d);
                const std::pair<int, const char*> pages[] = {
                    {IDC_SCAN_PAGE_BASIC, "scan window, basic page"},
                    {IDC_SCAN_PAGE_PROC, "scan window, processing page"},
                    {IDC_SCAN_PAGE_MORE, "scan window, more page"}};
                for (const auto& [button, where] : pages) {
                    ASSERT_TRUE(drive.Click(button)) << where;
                    look(d, where);
                }
                ASSERT_TRUE(drive.Click(IDC_SCAN_DOUBLE_VIEW));
                look(d, "scan window, two views");
                ASSERT_TRUE(drive.Click(IDC_SCAN_SINGLE_VIEW));
                // A switch's "设置" opens the settings in their scan form.
                ASSERT_TRUE(drive.Click(IDC_SCAN_PAGE_PROC));
                DialogDriver switches(scan.procPage);
                InDialog(IDD_SETTING_DIALOG, [&] { return switches.Click(5200); },
                         [&](CDialog& s) { VisitSettings(s, "scan settings", look); });
                InDialog(IDD_MANUAL_DIALOG, [&] { return drive.Click(IDC_SCAN_MANUAL); },
                         [&](CDialog& m) { VisitManual(m, "manual window from the scan window", look); });
            });
            dlg->StopScanProcessing();

            const std::tuple<UINT, UINT, const char*> menus[] = {
                {ID_MENU_DETECT, IDD_DETECT_DIALOG, "detection"},
                {ID_MENU_FOLDER_DIFF, IDD_MORE_FEATURES_DIALOG, "folder difference"},
                {ID_MENU_SEAL, IDD_GENERATE_SEAL_DIALOG, "archive seal"},
                {ID_MENU_PAGE_STATISTICS, IDD_STATISTIC_BY_SIZE_DIALOG, "page-size statistics"},
                {ID_MENU_CONFIG, IDD_CONFIG_DIALOG, "configuration"},
                {ID_MENU_VERSION, IDD_VERSION_DIALOG, "version"},
                {ID_MENU_CUSTOM, IDD_CUSTOM_DIALOG, "customisation"}};
            for (const auto& [menu, templateId, where] : menus)
                InDialog(templateId, [&, menu = menu] { return main.ChooseMenu(menu); },
                         [&, where = where](CDialog& d) { look(d, where); });
            InDialog(IDD_CONTACT_DIALOG, [&] { return main.ClickLink(IDC_CONTACT_LINK); },
                     [&](CDialog& d) { look(d, "contact"); });
        });
    }

    // Runs `body` in dialog `templateId`, which `open` opens, and closes it.
    static void InDialog(UINT templateId, const std::function<bool()>& open, const std::function<void(CDialog&)>& body) {
        bool ran = false;
        OnNextModal(templateId, [&](CDialog& d) {
            ran = true;
            body(d);
            if (d.IsModalRunning()) DialogDriver(d).Close();
        });
        EXPECT_TRUE(open()) << "dialog " << templateId << " could not be asked for";
        EXPECT_TRUE(ran) << "dialog " << templateId << " did not open";
    }

    static void VisitSettings(CDialog& d, const std::string& name,
                              const std::function<void(CWnd&, const std::string&)>& look) {
        DialogDriver drive(d);
        for (int page = 1; page <= 3; ++page) {
            look(d, name + ", page " + std::to_string(page));
            ASSERT_TRUE(drive.Click(IDC_NEXT_PAGE));
        }
        ASSERT_TRUE(drive.Click(IDC_PREVIEW_VIEW));
        look(d, name + ", preview");
        ASSERT_TRUE(drive.Click(IDC_SETTINGS_VIEW));
    }

    void VisitManual(CDialog& d, const std::string& name,
                            const std::function<void(CWnd&, const std::string&)>& look) {
        using namespace manual_ids;
        DialogDriver drive(d);
        const std::pair<int, const char*> tools[] = {
            {IDC_TOOL_CENTER, "居中"},          {IDC_TOOL_CORRECT, "校正"},    {IDC_TOOL_CUTEDGE, "切边"},
            {IDC_TOOL_RMBKCOLOR, "底色"},       {IDC_TOOL_RMBLACKBOARD, "黑底"}, {IDC_TOOL_RMSTAINS, "黑边污点"},
            {IDC_TOOL_BINDHOLE, "装订孔"},      {IDC_TOOL_AUTOCONTRAST, "对比度"}, {IDC_TOOL_ERASE, "框选去污"},
            {IDC_TOOL_OUTPUTSIZE, "固定输出"},  {IDC_TOOL_TAIL, "裁剪"}};
        for (const auto& [button, tool] : tools) {
            ASSERT_TRUE(drive.Click(button)) << tool;
            look(d, name + ", page " + tool);
        }
        CDialog* folders = PageOf(d, IDD_MANUAL_DIR);
        ASSERT_NE(folders, nullptr);
        ASSERT_TRUE(DialogDriver(*folders).Click(dir::IDC_COMPARE));
        look(d, name + ", comparison");
        ASSERT_TRUE(DialogDriver(*folders).Click(dir::IDC_DIRECT));
        // A page open, then the status line at the top right: "保存" with
        // nothing done says "没有操作不需保存" for a while.
        dialogs->AnswerFolder(pagesDir.wpath());
        ASSERT_TRUE(DialogDriver(*folders).Click(dir::IDC_BROWSE_PROCESSED));
        ASSERT_TRUE(drive.Click(manual_ids::IDC_SAVE));
        ASSERT_EQ(drive.Text(manual_ids::IDC_STATUS), L"没有操作不需保存");
        ASSERT_TRUE(drive.IsVisible(manual_ids::IDC_STATUS));
        look(d, name + ", status line");
    }

    testdata::TempDir scanDir;
    testdata::TempDir processedDir;
    testdata::TempDir registryDir;
    testdata::TempDir pagesDir;
    dsmtest::DsmEnvironment scanners;  // none
};

std::string Utf8(const std::wstring& text) { return ToUtf8(text); }

}  // namespace

// The screen these tests mean: a 1366 x 768 laptop screen without panels.
TEST_F(LaptopScreenTest, TheScreenIsALaptopScreen) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->availableGeometry(), QRect(0, 0, 1366, 768));
}

TEST_F(LaptopScreenTest, EveryWindowFitsTheScreenWithEveryControlReachable) {
    int looked = 0;
    VisitEveryWindow([&](CWnd& window, const std::string& where) {
        ++looked;
        for (const std::wstring& problem : UnreachableControls(window)) ADD_FAILURE() << where << ": " << Utf8(problem);
    });
    // 2 main, 2 x 4 settings, 2 x 13 manual, 4 scan, 7 menus, 1 contact.
    EXPECT_EQ(looked, 48);
}

TEST_F(LaptopScreenTest, EveryTextFitsItsBox) {
    // Each window once, as it opens: its pages exist from then on, shown or
    // not, and the check covers the controls of all of them.
    std::set<UINT> seen;
    VisitEveryWindow([&](CWnd& window, const std::string& where) {
        auto* dialog = dynamic_cast<CDialog*>(&window);
        if (!dialog || !seen.insert(dialog->GetTemplateId()).second) return;
        const std::string name = where.substr(0, where.find(','));  // the window, not the page it opened on
        for (const std::wstring& problem : ClippedTexts(window)) ADD_FAILURE() << name << ": " << Utf8(problem);
    });
    EXPECT_EQ(seen.size(), 12u) << "main, settings, manual, scan and eight dialogs of the menus and links";
}
