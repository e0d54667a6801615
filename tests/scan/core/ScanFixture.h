// What the scanning tests share: a source folder with the virtual scanner, a
// scan folder in a temporary place, the scan values back at their defaults,
// a message loop with a window that stands for the scan window, and a
// processing host that records what the road asks of it.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "DsmTestSupport.h"
#include "platform/core/MessagePump.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "scan/core/ScanNaming.h"
#include "scan/core/ScanRoad.h"
#include "scan/core/TwainApp.h"
#include "settings/RegistryStore.h"
#include "settings/ScanSetting.h"
#include "support/ImageFiles.h"
#include "support/RecordingWindow.h"
#include "support/TempDir.h"
#include "twain/Logger.h"
#include "vds/VdsPage.h"

namespace scantest {

// The page (0-based over the session, modulo vds::kPageMarks) a JPEG colour
// file holds, told by its flat blue level; -1 when none fits.
inline int PageOfJpeg(const std::string& path) {
    const testimg::JpegInfo jpeg = testimg::ReadJpeg(path);
    if (!jpeg.ok || jpeg.components != 3) return -1;
    return vds::PageOfBlue(jpeg.pixels.at(jpeg.width / 2, jpeg.height / 2, 2));
}

class RecordingProcessing : public IScanProcessing {
public:
    int RunState() const override { return runState; }
    void StartProcessing(int runType) override {
        started.push_back(runType);
        runState = 2;
    }
    int runState = 0;
    std::vector<int> started;
};

class ScanFixture : public dsmtest::DsmTest {
protected:
    void SetUp() override {
        dsmtest::DsmTest::SetUp();
        ScanSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
        ScanSetting::scanFolder = FromUtf8(scanDir.path());
        ScanSetting::processedFolder = FromUtf8(processedDir.path());
        SetRegistryFileForTesting(FromUtf8(registryDir.file("registry.ini")));
        // A bare name stands for a file of the target folder, as the tree
        // would give its path.
        SetScanSelectionProvider([this] {
            return selected.empty() || selected.find(L'/') != std::wstring::npos ? selected
                                                                                   : PathJoin(ScanTargetFolder(), selected);
        });
        SetScanReadyTimeout(std::chrono::seconds(10));
        g_scanMode = SCAN_IDLE;
        g_replaceNumber = -1;
        g_scanDlg = window.hwnd();
        {
            std::lock_guard guard(g_scannedFilesLock);
            scannedBefore = g_scannedFiles.size();
        }
        quiet = std::tmpfile();
        CLogger::Instance().SetConsoleForTesting(quiet);
    }
    void TearDown() override {
        if (app) {
            app->closeDSM();
            app.reset();
        }
        g_scanDlg = HWND();
        SetScanSelectionProvider(nullptr);
        SetRegistryFileForTesting(L"");
        CLogger::Instance().SetConsoleForTesting(nullptr);
        if (quiet) std::fclose(quiet);
        ScanSetting::ResetToStart();
        dsmtest::DsmTest::TearDown();
    }

    // Adds a virtual scanner called `name` and opens a scanning object on it.
    ScanTwainApp& OpenScanner(const std::vector<std::string>& ini = {}, const std::string& name = "vscan") {
        env.AddVirtualSource("", name, ini);
        app = std::make_unique<ScanTwainApp>(nullptr);
        app->openDSM();
        EXPECT_EQ(app->m_DSMState, 3);
        EXPECT_FALSE(app->m_sourceList.empty());
        if (!app->m_sourceList.empty()) app->openSource(static_cast<int>(app->m_sourceList[0].Id));
        EXPECT_EQ(app->m_DSMState, 4);
        return *app;
    }

    // Runs a scan in `mode` the way the scan buttons do.
    void Scan(int mode = SCAN_APPEND) {
        g_scanMode = mode;
        if (mode == SCAN_REPLACE) g_replaceNumber = GetReplaceNumber();
        RunScan(app.get(), &processing, nullptr);
    }

    // The files this test's runs announced.
    std::vector<std::wstring> Announced() {
        std::lock_guard guard(g_scannedFilesLock);
        return {g_scannedFiles.begin() + static_cast<std::ptrdiff_t>(scannedBefore), g_scannedFiles.end()};
    }
    // How many of `message` the scan window received.
    int Received(UINT message) {
        pump.Pump();
        int n = 0;
        for (const auto& r : window.received())
            if (r.message == message) ++n;
        return n;
    }
    std::vector<std::string> Calls(const std::string& name = "vscan") { return env.SourceLog(name); }
    std::string ScanPath(const std::string& name) const { return scanDir.path() + "/" + name; }
    // The files of a folder below the scan folder (the scan folder itself by
    // default), sorted.
    std::vector<std::string> Listing(const std::string& folder = "") {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(ScanPath(folder)))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Types the sub-folder, prefix and suffix; the three for a trace.
    static std::string TypeNames(const std::wstring& subFolder, const std::wstring& prefix, const std::wstring& suffix) {
        ScanSetting::subFolder = subFolder;
        ScanSetting::prefix = prefix;
        ScanSetting::suffix = suffix;
        return ToUtf8(subFolder + L" | " + prefix + L" | " + suffix);
    }

    MessagePump pump;
    testdata::RecordingWindow window;
    testdata::TempDir scanDir;
    testdata::TempDir processedDir;
    testdata::TempDir registryDir;
    RecordingProcessing processing;
    std::unique_ptr<ScanTwainApp> app;
    // The file selected in the tree: a full path, or a bare name of the
    // target folder.
    std::wstring selected;
    std::size_t scannedBefore = 0;
    std::FILE* quiet = nullptr;
};

}  // namespace scantest
