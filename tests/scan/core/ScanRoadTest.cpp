// The scan road against the virtual scanner: negotiated values as the
// scanner recorded them, the pages it delivered checked against its ground
// truth, the naming of plain, insert and replace runs, the three transfer
// mechanisms, and the ways a run ends (paper jam, cancel, no ready message,
// no scanning object).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ScanFixture.h"
#include "scan/core/TiffWriter.h"
#include "app/core/OutputRule.h"
#include "platform/core/ScriptedUserDialogs.h"
#include "support/ImageFiles.h"
#include "twain/TwainNames.h"
#include "vds/VdsPage.h"

namespace {

using namespace scantest;
using dsmtest::Hex4;
using dsmtest::Matching;
namespace fs = std::filesystem;

// Largest sample difference between a decoded page and the scanner's page
// `page` (0-based over the session).
int Difference(const testimg::Picture& pixels, int channels, int page, TW_UINT16 pixelType, int width, int height) {
    int worst = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (pixelType == TWPT_GRAY) {
                worst = std::max(worst, std::abs(pixels.at(x, y, 0) - vds::PageGrey(page, x, y, width, height)));
            } else if (pixelType == TWPT_RGB && channels == 3) {
                worst = std::max({worst, std::abs(pixels.at(x, y, 0) - vds::PageRed(page, x, y, width, height)),
                                  std::abs(pixels.at(x, y, 1) - vds::PageGreen(page, x, y, width, height)),
                                  std::abs(pixels.at(x, y, 2) - vds::PageBlue(page, x, y, width, height))});
            } else {
                worst = std::max(worst, std::abs(pixels.at(x, y, 0) - (vds::PageBit(page, x, y) ? 255 : 0)));
            }
        }
    return worst;
}

class ScanRoad : public ScanFixture {
protected:
    void Touch(const std::string& name, const std::string& content) { std::ofstream(ScanPath(name)) << content; }
    std::string Text(const std::string& name) {
        std::ifstream in(ScanPath(name));
        std::string text;
        std::getline(in, text);
        return text;
    }
    // What the road wrote to its log (the standard output) so far.
    std::string LogText() {
        std::fflush(quiet);
        std::rewind(quiet);
        std::string text;
        char chunk[4096];
        while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, quiet)) text.append(chunk, n);
        std::fseek(quiet, 0, SEEK_END);
        return text;
    }
    // True when the scanner's log shows a successful set of `cap` to `value`.
    bool Recorded(TW_UINT16 cap, const std::string& value) {
        return !Matching(Calls(), {"msg=" + Hex4(MSG_SET), "cap=" + Hex4(cap), "value=" + value, "rc=0"}).empty();
    }
};

class ScanRoadModes : public ScanRoad, public ::testing::WithParamInterface<bool> {};

TEST_P(ScanRoadModes, FiveGreyJpegPagesWithTheChosenValues) {
    const bool strict = GetParam();
    OpenScanner({"pages=5", strict ? "strict=1" : "strict=0", "notify_delay_ms=20"});
    ScanSetting::dpi = 200;
    ScanSetting::pixelType = 1;
    ScanSetting::bitDepth = 8;
    ScanSetting::jpegQuality = 60;
    ScanSetting::fileFormat = 0;
    ScanSetting::compression = 0;
    Scan();

    // Exactly the chosen values, as the scanner received them.
    EXPECT_TRUE(Recorded(ICAP_XRESOLUTION, "200/0"));
    EXPECT_TRUE(Recorded(ICAP_YRESOLUTION, "200/0"));
    EXPECT_TRUE(Recorded(ICAP_PIXELTYPE, "1"));
    EXPECT_TRUE(Recorded(ICAP_BITDEPTH, "8"));
    EXPECT_TRUE(Recorded(ICAP_XFERMECH, "1"));
    EXPECT_TRUE(Recorded(CAP_DUPLEXENABLED, "0"));
    EXPECT_TRUE(Recorded(ICAP_IMAGEFILEFORMAT, "4"));
    EXPECT_TRUE(Recorded(ICAP_COMPRESSION, "6"));
    EXPECT_TRUE(Recorded(ICAP_JPEGQUALITY, "60"));
    // The pixel type goes out before the bit depth it allows.
    const auto calls = Calls();
    const auto firstSet = [&calls](TW_UINT16 cap) {
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (calls[i].find("msg=" + Hex4(MSG_SET)) != std::string::npos &&
                calls[i].find("cap=" + Hex4(cap)) != std::string::npos)
                return i;
        return calls.size();
    };
    EXPECT_LT(firstSet(ICAP_PIXELTYPE), firstSet(ICAP_BITDEPTH));
    // No transfer before the scanner said it was ready: nothing refused.
    for (const std::string& refused : Matching(Calls(), {"rc=1"})) ADD_FAILURE() << refused;

    const std::vector<std::string> want = {"000001.jpg", "000002.jpg", "000003.jpg", "000004.jpg", "000005.jpg"};
    EXPECT_EQ(Listing(), want);
    const auto announced = Announced();
    ASSERT_EQ(announced.size(), 5u);
    const int width = vds::PageSide(50, 200), height = vds::PageSide(40, 200);
    for (int page = 0; page < 5; ++page) {
        EXPECT_EQ(announced[static_cast<std::size_t>(page)], FromUtf8(ScanPath(want[static_cast<std::size_t>(page)])));
        const testimg::JpegInfo jpeg = testimg::ReadJpeg(ScanPath(want[static_cast<std::size_t>(page)]));
        ASSERT_TRUE(jpeg.ok);
        EXPECT_EQ(jpeg.width, width);
        EXPECT_EQ(jpeg.height, height);
        EXPECT_EQ(jpeg.components, 1);
        EXPECT_EQ(jpeg.luminanceTable, testimg::LuminanceTableForQuality(60));
        EXPECT_LE(Difference(jpeg.pixels, 1, page, TWPT_GRAY, width, height), 3) << "page " << page;
    }
    EXPECT_EQ(Received(WM_SCANNED_FILE), 5);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
    EXPECT_EQ(g_scanMode, SCAN_IDLE);
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(processing.started, std::vector<int>{4});

    // A second run counts on after the pages on disk; the engine is running
    // now, so nothing more is started.
    Scan();
    EXPECT_EQ(Listing().size(), 10u);
    EXPECT_EQ(Listing().back(), "000010.jpg");
    EXPECT_EQ(processing.started, std::vector<int>{4});
}

INSTANTIATE_TEST_SUITE_P(Source, ScanRoadModes, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("strict") : std::string("lenient"); });

TEST_F(ScanRoad, EveryCompressionEntrySendsWhatItNames) {
    OpenScanner({"pages=1", "strict=1"});
    ScanSetting::pixelType = 2;
    ScanSetting::bitDepth = 24;
    ScanSetting::dpi = 100;
    struct Case {
        int format, index;
        TW_UINT16 twain;
        int tiffCompression;  // the file's tag; 0 for JPEG files
        const char* label;
    };
    const Case cases[] = {
        {1, 0, TWCP_LZW, 5, "LZW(无损)"}, {1, 1, TWCP_ZIP, 8, "ZIP"}, {1, 2, TWCP_PACKBITS, 32773, "RLE"},
        {1, 3, TWCP_JPEG, 7, "JPEG"},     {0, 0, TWCP_JPEG, 0, "JPEG"},
    };
    int page = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ScanCompressionList(c.format)[static_cast<std::size_t>(c.index)], FromUtf8(c.label));
        ScanSetting::fileFormat = c.format;
        ScanSetting::compression = c.index;
        Scan();
        EXPECT_TRUE(Recorded(ICAP_COMPRESSION, std::to_string(c.twain)));
        const auto announced = Announced();
        ASSERT_EQ(announced.size(), static_cast<std::size_t>(page + 1));
        const std::string file = ToUtf8(announced.back());
        const int width = vds::PageSide(50, 100), height = vds::PageSide(40, 100);
        if (c.format == 1) {
            EXPECT_EQ(file.substr(file.size() - 4), ".tif");
            const auto pages = testimg::ReadTiff(file);
            ASSERT_EQ(pages.size(), 1u);
            EXPECT_EQ(pages[0].compression, c.tiffCompression);
            const int tolerance = c.twain == TWCP_JPEG ? 8 : 0;
            EXPECT_LE(Difference(pages[0].rgb, 3, page, TWPT_RGB, width, height), tolerance);
        } else {
            EXPECT_EQ(file.substr(file.size() - 4), ".jpg");
            const testimg::JpegInfo jpeg = testimg::ReadJpeg(file);
            ASSERT_TRUE(jpeg.ok);
            EXPECT_LE(Difference(jpeg.pixels, 3, page, TWPT_RGB, width, height), 8);
        }
        ++page;
    }
    // The second JPEG entry asks for JPEG 2000, which this scanner refuses:
    // logged, and the run goes on with what the scanner keeps.
    EXPECT_EQ(ScanCompressionValue(0, 1), TWCP_JPEG2000);
}

TEST_F(ScanRoad, PaperJamEndsTheRunAndKeepsThePagesScanned) {
    OpenScanner({"pages=5", "jam_page=3", "strict=1"});
    Scan();
    EXPECT_EQ(Listing(), (std::vector<std::string>{"000001.jpg", "000002.jpg"}));
    EXPECT_EQ(Announced().size(), 2u);
    EXPECT_TRUE(testimg::ReadJpeg(ScanPath("000002.jpg")).ok);
    EXPECT_FALSE(Matching(Calls(), {"msg=" + Hex4(MSG_RESET), "rc=0"}).empty());
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(g_scanMode, SCAN_IDLE);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
    // The scanner is usable again: the next run goes on after page 2 (the
    // jam stays on page 3 of every batch, so two more pages arrive).
    Scan();
    EXPECT_EQ(Listing().size(), 4u);
    EXPECT_EQ(Listing().back(), "000004.jpg");
}

TEST_F(ScanRoad, CancelledPageEndsTheRunCleanly) {
    OpenScanner({"pages=4", "cancel_page=2"});
    Scan();
    EXPECT_EQ(Listing(), std::vector<std::string>{"000001.jpg"});
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
}

TEST_F(ScanRoad, DuplexDoublesThePages) {
    OpenScanner({"pages=2"});
    ScanSetting::duplex = 1;
    Scan();
    EXPECT_TRUE(Recorded(CAP_DUPLEXENABLED, "1"));
    EXPECT_EQ(Listing().size(), 4u);
}

TEST_F(ScanRoad, RefusedCapabilitiesAreSkipped) {
    OpenScanner({"pages=2", "refuse_caps=1013,1153"});  // duplex and JPEG quality
    ScanSetting::duplex = 1;
    Scan();
    EXPECT_EQ(Listing().size(), 2u);
    EXPECT_FALSE(Matching(Calls(), {"cap=" + Hex4(CAP_DUPLEXENABLED), "rc=1"}).empty());
}

TEST_F(ScanRoad, UnreadableTransferMechanismMeansNoTransfer) {
    OpenScanner({"pages=2", "refuse_caps=0103", "strict=1"});
    Scan();
    EXPECT_TRUE(Listing().empty());
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
}

// A source that keeps its memory transfer (it refuses the file transfer)
// would compress its strips as the format's compression list says (JPEG for
// Jpg): the road asks it for raw rows instead, and the pages are written as
// TIFF files that decode.
TEST_F(ScanRoad, SourceKeepingTheMemoryTransferIsAskedForRawRows) {
    OpenScanner({"pages=2", "xfermech=" + std::to_string(TWSX_MEMORY)});
    ScanSetting::fileFormat = 0;
    ScanSetting::compression = 0;
    Scan();
    EXPECT_TRUE(Recorded(ICAP_COMPRESSION, std::to_string(TWCP_NONE)));
    EXPECT_TRUE(Matching(Calls(), {"msg=" + Hex4(MSG_SET), "cap=" + Hex4(ICAP_COMPRESSION),
                                   "value=" + std::to_string(TWCP_JPEG)})
                    .empty());
    ASSERT_EQ(Listing(), (std::vector<std::string>{"FROM_SCANNER_000001M.tif", "FROM_SCANNER_000002M.tif"}));
    for (const std::string& name : Listing()) EXPECT_EQ(testimg::ReadTiff(ScanPath(name)).size(), 1u) << name;
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
}

TEST_F(ScanRoad, SourceThatNeverGetsReadyEndsWithoutTransfer) {
    OpenScanner({"pages=2", "notify=none", "strict=1"});
    SetScanReadyTimeout(std::chrono::milliseconds(100));
    Scan();
    EXPECT_TRUE(Listing().empty());
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(g_scanMode, SCAN_IDLE);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
}

TEST_F(ScanRoad, WithoutScanningObjectOrMainWindow) {
    g_scanMode = SCAN_APPEND;
    RunScan(nullptr, &processing);
    EXPECT_EQ(g_scanMode, SCAN_IDLE);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
    g_scanMode = SCAN_APPEND;
    RunScan(nullptr, nullptr);
    EXPECT_EQ(g_scanMode, SCAN_IDLE);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);  // no further message
    EXPECT_TRUE(processing.started.empty());
}

TEST_F(ScanRoad, DriverInterfaceRunEndsWhenTheSourceAsksToClose) {
    OpenScanner({"pages=3"});
    g_useDriverUI = 1;
    Scan();
    g_useDriverUI = 0;
    EXPECT_EQ(Listing().size(), 3u);
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_FALSE(Matching(Calls(), {"msg=" + Hex4(MSG_ENABLEDS)}).empty());
}

TEST_F(ScanRoad, OlderSourcesAreAskedForTheirMessages) {
    // A TWAIN 1.x source: no callback can be registered with it, and it
    // keeps its messages until the application asks with DAT_EVENT.
    OpenScanner({"legacy=1", "strict=1", "pages=2", "notify_delay_ms=30"});
    ASSERT_NE(app->m_currentSource, nullptr);
    EXPECT_EQ(app->m_currentSource->ProtocolMajor, 1);
    EXPECT_EQ(app->m_currentSource->SupportedGroups & DF_DS2, 0u);
    EXPECT_FALSE(app->m_callbackRegistered);
    Scan();
    EXPECT_EQ(Listing(), (std::vector<std::string>{"000001.jpg", "000002.jpg"}));
    for (const std::string& name : Listing()) EXPECT_EQ(PageOfJpeg(ScanPath(name)), name == "000001.jpg" ? 0 : 1);
    EXPECT_EQ(Announced().size(), 2u);
    EXPECT_EQ(Matching(Calls(), {"dat=" + Hex4(DAT_EVENT), "event=" + Hex4(MSG_XFERREADY)}).size(), 1u);
    EXPECT_TRUE(Matching(Calls(), {"dat=" + Hex4(DAT_ENTRYPOINT)}).empty());
    for (const std::string& refused : Matching(Calls(), {"rc=1"})) ADD_FAILURE() << refused;
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);

    // With its own interface shown, the run ends when it asks to be closed.
    g_useDriverUI = 1;
    Scan();
    g_useDriverUI = 0;
    EXPECT_EQ(Listing().size(), 4u);
    EXPECT_EQ(Matching(Calls(), {"dat=" + Hex4(DAT_EVENT), "event=" + Hex4(MSG_CLOSEDSREQ)}).size(), 1u);
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 2);
}

TEST_F(ScanRoad, InsertScanShiftsFollowingFilesWithoutOverwriting) {
    OpenScanner({"pages=4"});
    for (int n = 1; n <= 3; ++n) Touch("00000" + std::to_string(n) + ".jpg", "old" + std::to_string(n));
    selected = L"000002.jpg";
    Scan(SCAN_INSERT);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"000001.jpg", "000002.jpg", "000003.jpg", "000004.jpg",
                                                   "000005.jpg", "000006.jpg", "000007.jpg"}));
    EXPECT_EQ(Text("000001.jpg"), "old1");
    // The pages keep the order they were scanned in: the first at the
    // selected number, each next one after it; the files from the selected
    // one upwards follow them.
    for (int page = 0; page < 4; ++page)
        EXPECT_EQ(PageOfJpeg(ScanPath("00000" + std::to_string(page + 2) + ".jpg")), page) << "page " << page;
    EXPECT_EQ(Text("000006.jpg"), "old2");
    EXPECT_EQ(Text("000007.jpg"), "old3");
    const std::vector<std::wstring> announced = Announced();
    ASSERT_EQ(announced.size(), 4u);
    for (int page = 0; page < 4; ++page)
        EXPECT_EQ(announced[static_cast<std::size_t>(page)], FromUtf8(ScanPath("00000" + std::to_string(page + 2) + ".jpg")));
}

TEST_F(ScanRoad, InsertWithoutUsableSelectionAppends) {
    OpenScanner({"pages=1"});
    Touch("000001.jpg", "old1");
    selected = L"notes.jpg";  // no number between prefix and suffix: 0, not listed
    Scan(SCAN_INSERT);
    EXPECT_EQ(Text("000001.jpg"), "old1");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"000001.jpg", "000002.jpg"}));
}

TEST_F(ScanRoad, ReplaceScanOverwritesFromTheSelection) {
    OpenScanner({"pages=3"});
    for (int n = 1; n <= 7; ++n) Touch("00000" + std::to_string(n) + ".jpg", "old" + std::to_string(n));
    selected = L"000005.jpg";
    Scan(SCAN_REPLACE);
    EXPECT_EQ(g_replaceNumber, 8);
    EXPECT_EQ(Listing().size(), 7u);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(Text("00000" + std::to_string(n) + ".jpg"), "old" + std::to_string(n));
    for (int n = 5; n <= 7; ++n) EXPECT_EQ(PageOfJpeg(ScanPath("00000" + std::to_string(n) + ".jpg")), n - 5);
}

TEST_F(ScanRoad, ReplaceWithoutSelectionAppends) {
    OpenScanner({"pages=1"});
    Touch("000001.jpg", "old1");
    Scan(SCAN_REPLACE);
    EXPECT_EQ(g_replaceNumber, -1);
    EXPECT_EQ(Text("000001.jpg"), "old1");
    EXPECT_EQ(Listing().size(), 2u);
}

TEST_F(ScanRoad, SourceThatNeverEndsAnImageLeavesTheRunUsable) {
    // Every file transfer answers TWRC_SUCCESS: the image never ends.
    OpenScanner({"pages=3", "endless=0"});
    Scan();
    const auto transfers = [this] { return Matching(Calls(), {"dat=" + Hex4(DAT_IMAGEFILEXFER)}).size(); };
    EXPECT_EQ(transfers(), 1u) << "the road asked again for an image the source never ends";
    EXPECT_NE(LogText().find("app: Unexpected answer 0 to the file transfer, transfer failed t="), std::string::npos);
    EXPECT_TRUE(Listing().empty());
    EXPECT_TRUE(Announced().empty());
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(g_scanMode, SCAN_IDLE);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
    // The next press runs again, the same way.
    Scan();
    EXPECT_EQ(transfers(), 2u);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 2);
    EXPECT_EQ(app->m_DSMState, 4);
}

TEST_F(ScanRoad, ShortContainersAreNotReadPastTheirEnd) {
    // Every capability container is two bytes shorter than it claims: none
    // can be trusted, so the transfer mechanism is unknown and nothing is
    // transferred (under the address sanitizer: no read past a block).
    OpenScanner({"pages=2", "short_containers=2"});
    TW_UINT32 value = 0;
    for (const TW_CAPABILITY& c : app->m_caps) EXPECT_FALSE(getCapabilityCurrent(c, value)) << c.Cap;
    Scan();
    EXPECT_TRUE(Matching(Calls(), {"dat=" + Hex4(DAT_IMAGEFILEXFER)}).empty());
    EXPECT_TRUE(Listing().empty());
    EXPECT_EQ(app->m_DSMState, 4);
    EXPECT_EQ(g_scanMode, SCAN_IDLE);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
}

// A plain scan never writes over a page whose number outgrew the code
// length: the counter goes on after it with as many digits as it needs.
TEST_F(ScanRoad, NumbersPastTheCodeLengthAreNeverOverwritten) {
    struct Case {
        int codeLength;
        std::vector<std::string> existing;
        std::vector<std::string> scanned;
    };
    const Case cases[] = {
        {1, {"9.jpg", "10.jpg"}, {"11.jpg", "12.jpg"}},
        {0, {"1.jpg", "2.jpg"}, {"3.jpg", "4.jpg"}},
    };
    OpenScanner({"pages=2"});
    int page = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codeLength);
        fs::remove_all(scanDir.path());
        fs::create_directories(scanDir.path());
        for (const std::string& e : c.existing) Touch(e, "old " + e);
        ScanSetting::codeLength = c.codeLength;
        Scan();
        std::vector<std::string> all = c.existing;
        all.insert(all.end(), c.scanned.begin(), c.scanned.end());
        std::sort(all.begin(), all.end());
        EXPECT_EQ(Listing(), all);
        for (const std::string& e : c.existing) EXPECT_EQ(Text(e), "old " + e);
        for (const std::string& n : c.scanned) EXPECT_EQ(PageOfJpeg(ScanPath(n)), page++ % vds::kPageMarks) << n;
    }
}

// Typed names that would lead out of the scan folder: no run writes a page,
// in any mode, and nothing is made inside or outside the scan folder.
TEST_F(ScanRoad, TypedNamesThatLeaveTheScanFolderWriteNothing) {
    OpenScanner({"pages=2"});
    // Scan and processed folders side by side in a folder of this test's own.
    testdata::TempDir box;
    const fs::path scan = fs::path(box.path()) / "Scan";
    const fs::path processed = fs::path(box.path()) / "Process";
    fs::create_directories(scan);
    fs::create_directories(processed);
    ScanSetting::scanFolder = scan.wstring();
    ScanSetting::processedFolder = processed.wstring();
    std::ofstream(scan / "000001.jpg") << "old1";
    const auto everything = [&box] {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(box.path()))
            names.push_back(fs::relative(e.path(), box.path()).string());
        std::sort(names.begin(), names.end());
        return names;
    };
    struct Case {
        std::wstring subFolder, prefix, suffix;
        int mode;
    };
    const Case cases[] = {
        {L"../x", L"", L"", SCAN_APPEND},
        {(processed / "x").wstring(), L"", L"", SCAN_APPEND},
        {L"", L"../", L"", SCAN_APPEND},
        {L"", L"", L"/x", SCAN_APPEND},
        {L"..", L"", L"", SCAN_INSERT},
        {L"", L"", L"\\..\\x", SCAN_REPLACE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TypeNames(c.subFolder, c.prefix, c.suffix));
        selected = (scan / "000001.jpg").wstring();
        Scan(c.mode);
        EXPECT_EQ(g_scanMode, SCAN_IDLE);
        EXPECT_EQ(app->m_DSMState, 4);
        EXPECT_EQ(everything(), (std::vector<std::string>{"Process", "Scan", "Scan/000001.jpg"}));
    }
    EXPECT_TRUE(Announced().empty());
    std::ifstream in(scan / "000001.jpg");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "old1");
}

// A selection in another folder of the tree than the one pages go to stands
// for no file there: insert and replace append, and move or replace nothing.
TEST_F(ScanRoad, SelectionInAnotherFolderMovesAndReplacesNothing) {
    OpenScanner({"pages=2"});
    fs::create_directories(ScanPath("a"));
    fs::create_directories(ScanPath("b"));
    for (const char* n : {"a/000001.jpg", "a/000002.jpg", "b/000001.jpg", "b/000002.jpg"}) Touch(n, std::string("old ") + n);
    ScanSetting::subFolder = L"b";
    selected = FromUtf8(ScanPath("a/000001.jpg"));
    Scan(SCAN_INSERT);
    Scan(SCAN_REPLACE);
    for (const char* n : {"a/000001.jpg", "a/000002.jpg", "b/000001.jpg", "b/000002.jpg"})
        EXPECT_EQ(Text(n), std::string("old ") + n);
    for (int page = 0; page < 4; ++page)
        EXPECT_EQ(PageOfJpeg(ScanPath("b/00000" + std::to_string(page + 3) + ".jpg")), page);
    EXPECT_FALSE(fs::exists(ScanPath("b/000007.jpg")));
    EXPECT_EQ(Announced().size(), 4u);
}

// Results follow their pages also when no processing run goes: a result
// renamed with its page, the results of the pages an insert or a replace
// put in are gone (they belonged to other pages), nothing else is touched.
TEST_F(ScanRoad, ResultsFollowTheirPagesWithoutAProcessingRun) {
    OpenScanner({"pages=2"});
    const fs::path results = fs::path(processedDir.path()) / fs::path(scanDir.path()).filename();
    ASSERT_TRUE(MarkResultsFolder(results.wstring(), FromUtf8(scanDir.path())));
    const auto result = [&results](const std::string& name) { return (results / name).string(); };
    const auto resultText = [](const std::string& path) {
        std::ifstream in(path);
        std::string text;
        std::getline(in, text);
        return text;
    };
    for (int n = 1; n <= 4; ++n) {
        Touch("00000" + std::to_string(n) + ".jpg", "page" + std::to_string(n));
        std::ofstream(result("00000" + std::to_string(n) + ".jpg")) << "result of page" << n;
    }
    std::ofstream(result("000003_对比.jpg")) << "comparison of page3";
    std::ofstream(result("000009.jpg")) << "result of a page long gone";

    selected = L"000002.jpg";
    Scan(SCAN_INSERT);
    // Pages: 1, new, new, 2, 3, 4.
    EXPECT_EQ(Text("000001.jpg"), "page1");
    EXPECT_EQ(PageOfJpeg(ScanPath("000002.jpg")), 0);
    EXPECT_EQ(PageOfJpeg(ScanPath("000003.jpg")), 1);
    for (int n = 2; n <= 4; ++n) EXPECT_EQ(Text("00000" + std::to_string(n + 2) + ".jpg"), "page" + std::to_string(n));
    EXPECT_EQ(resultText(result("000001.jpg")), "result of page1");
    EXPECT_FALSE(fs::exists(result("000002.jpg")));
    EXPECT_FALSE(fs::exists(result("000003.jpg")));
    for (int n = 2; n <= 4; ++n)
        EXPECT_EQ(resultText(result("00000" + std::to_string(n + 2) + ".jpg")), "result of page" + std::to_string(n));
    EXPECT_EQ(resultText(result("000005_对比.jpg")), "comparison of page3");
    EXPECT_FALSE(fs::exists(result("000003_对比.jpg")));
    EXPECT_EQ(resultText(result("000009.jpg")), "result of a page long gone");  // no page moved onto it

    // Replacing pages 4 and 5 (the old 2 and 3) takes their results away.
    selected = L"000004.jpg";
    Scan(SCAN_REPLACE);
    EXPECT_EQ(PageOfJpeg(ScanPath("000004.jpg")), 2);
    EXPECT_EQ(PageOfJpeg(ScanPath("000005.jpg")), 3);
    EXPECT_EQ(Text("000006.jpg"), "page4");
    EXPECT_FALSE(fs::exists(result("000004.jpg")));
    EXPECT_FALSE(fs::exists(result("000005.jpg")));
    EXPECT_FALSE(fs::exists(result("000005_对比.jpg")));
    EXPECT_EQ(resultText(result("000006.jpg")), "result of page4");
    EXPECT_EQ(resultText(result("000001.jpg")), "result of page1");
}

// The transfer loops driven directly, for the mechanisms the road reaches
// only when a source keeps them.
class TransferLoops : public ScanRoad {
protected:
    void Enable(TW_UINT16 mechanism, TW_UINT16 format = TWFF_TIFF) {
        ASSERT_EQ(app->setCapValue(ICAP_XFERMECH, mechanism, TWTY_UINT16), TWRC_SUCCESS);
        if (mechanism == TWSX_FILE) {
            ASSERT_EQ(app->setCapValue(ICAP_IMAGEFILEFORMAT, format, TWTY_UINT16), TWRC_SUCCESS);
        }
        ASSERT_TRUE(app->enableDS(nullptr, false));
        ASSERT_EQ(app->waitForMessage({MSG_XFERREADY}, std::chrono::seconds(10)), MSG_XFERREADY);
        app->m_DSMState = 6;
        InitScanFileNumber();
    }
    // A scanner of its own for one case of a table: the earlier one closed
    // and taken out of the source folder.
    void ReopenScanner(const std::vector<std::string>& ini, const std::string& name) {
        if (app) {
            app->closeDSM();
            app.reset();
        }
        for (const auto& e : fs::directory_iterator(env.sources())) fs::remove(e.path());
        OpenScanner(ini, name);
    }
    ScriptedUserDialogs shell;
};

TEST_F(TransferLoops, MultiPageTiffTakesOneNameForAllPages) {
    OpenScanner({"pages=3", "strict=1"});
    g_scanMode = SCAN_APPEND;
    Enable(TWSX_FILE, TWFF_TIFFMULTI);
    transferFile(app.get(), TWFF_TIFFMULTI);
    EXPECT_EQ(app->m_DSMState, 5);
    app->disableSource();
    EXPECT_EQ(Listing(), std::vector<std::string>{"000001.tif"});
    EXPECT_EQ(testimg::ReadTiff(ScanPath("000001.tif")).size(), 3u);
    EXPECT_EQ(Announced().size(), 3u);
    g_scanMode = SCAN_IDLE;
}

TEST_F(TransferLoops, MemoryTransferWritesPixelIdenticalTiffs) {
    struct Case {
        const char* name;
        std::vector<std::string> ini;
        TW_UINT16 pixelType;
        int channels;  // of the rows written
    };
    const Case cases[] = {
        {"colour", {"pages=2", "strict=1", "mem_rows=5"}, TWPT_RGB, 3},
        // The length is given only by the last strip: the file says what it
        // turned out to be.
        {"grey_of_unknown_length", {"pages=2", "undefined_length=1", "mem_rows=7"}, TWPT_GRAY, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& e : fs::directory_iterator(scanDir.path())) fs::remove(e.path());
        const std::size_t shownBefore = shell.Shown().size();
        const std::size_t announcedBefore = Announced().size();
        ReopenScanner(c.ini, c.name);
        ASSERT_EQ(app->setCapValue(ICAP_PIXELTYPE, c.pixelType, TWTY_UINT16), TWRC_SUCCESS);
        Enable(TWSX_MEMORY);
        transferMemory(app.get());
        EXPECT_EQ(app->m_DSMState, 5);
        app->disableSource();
        EXPECT_EQ(Listing(), (std::vector<std::string>{"FROM_SCANNER_000001M.tif", "FROM_SCANNER_000002M.tif"}));
        const int width = vds::PageSide(50, 150), height = vds::PageSide(40, 150);
        for (int page = 0; page < 2; ++page) {
            const std::string file = ScanPath("FROM_SCANNER_00000" + std::to_string(page + 1) + "M.tif");
            const auto pages = testimg::ReadTiff(file);
            ASSERT_EQ(pages.size(), 1u);
            EXPECT_EQ(pages[0].width, width);
            EXPECT_EQ(pages[0].height, height);
            EXPECT_EQ(pages[0].bitsPerSample, 8);
            EXPECT_FLOAT_EQ(pages[0].xResolution, 150.0f);
            EXPECT_EQ(fs::file_size(file),
                      static_cast<std::uintmax_t>(CTiffWriter::kHeaderSize + c.channels * width * height));
            EXPECT_EQ(Difference(pages[0].rgb, 3, page, c.pixelType, width, height), 0);
        }
        EXPECT_EQ(Announced().size() - announcedBefore, 2u);
        // Each file was handed to the desktop's viewer (recorded, not launched).
        const auto shown = shell.Shown();
        ASSERT_EQ(shown.size() - shownBefore, 2u);
        EXPECT_EQ(shown[shownBefore].kind, ShownDialog::Shell);
        EXPECT_EQ(shown[shownBefore].caption, L"open");
        EXPECT_EQ(shown[shownBefore + 1].text, FromUtf8(ScanPath("FROM_SCANNER_000002M.tif")));
    }
}

TEST_F(TransferLoops, MemoryTransferCutShortLeavesNoFileAndNeverReplacesOne) {
    OpenScanner({"pages=3", "cancel_page=2", "mem_rows=4"});
    Touch("FROM_SCANNER_000001M.tif", "an earlier scan");
    Enable(TWSX_MEMORY);
    transferMemory(app.get());
    app->disableSource();
    EXPECT_EQ(Text("FROM_SCANNER_000001M.tif"), "an earlier scan");
    // Page 1 took the next free name; page 2 was cancelled after its first
    // strip and left nothing.
    EXPECT_EQ(Listing(), (std::vector<std::string>{"FROM_SCANNER_000001M.tif", "FROM_SCANNER_000002M.tif"}));
    EXPECT_EQ(testimg::ReadTiff(ScanPath("FROM_SCANNER_000002M.tif")).size(), 1u);
    EXPECT_EQ(app->m_DSMState, 4);
}

TEST_F(TransferLoops, NativeTransferWritesBitmaps) {
    OpenScanner({"pages=2"});
    ASSERT_EQ(app->setCapValue(ICAP_PIXELTYPE, TWPT_GRAY, TWTY_UINT16), TWRC_SUCCESS);
    Enable(TWSX_NATIVE);
    transferNative(app.get());
    app->disableSource();
    EXPECT_EQ(Listing(), (std::vector<std::string>{"FROM_SCANNER_000001N.bmp", "FROM_SCANNER_000002N.bmp"}));
    std::ifstream in(ScanPath("FROM_SCANNER_000001N.bmp"), std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(b.size(), 54u + 1024u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    const auto le32 = [&b](std::size_t at) { return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24); };
    EXPECT_EQ(static_cast<std::size_t>(le32(2)), b.size());
    EXPECT_EQ(le32(10), 54 + 1024);  // 256 grey palette entries
    const int width = vds::PageSide(50, 150);
    EXPECT_EQ(le32(18), width);
    // The first bottom-up row is the page's last row.
    EXPECT_EQ(b[54 + 1024 + 5], vds::PageGrey(0, 5, 0, width, 1));
    EXPECT_EQ(shell.Shown().size(), 2u);
}

// Sources that answer an image transfer without ever ending the image:
// each loop gives up (at once, or once more rows came than the image can
// have) instead of asking for ever, leaves nothing behind, and the source
// can be disabled afterwards.
TEST_F(TransferLoops, AnswersThatNeverEndTheImageFailTheTransfer) {
    struct Case {
        const char* name;
        TW_UINT16 mechanism;
        int rc;
        const char* extra;
        std::size_t maxCalls;  // transfer calls the loop may make
    };
    const Case cases[] = {
        {"file_success", TWSX_FILE, TWRC_SUCCESS, "", 1},
        {"file_unknown", TWSX_FILE, 77, "", 1},
        {"native_success", TWSX_NATIVE, TWRC_SUCCESS, "", 1},
        {"native_unknown", TWSX_NATIVE, 77, "", 1},
        {"memory_unknown", TWSX_MEMORY, 77, "", 1},
        // Strips of rows for ever: a page of 60 rows in strips of 14 to 16.
        {"memory_rows", TWSX_MEMORY, TWRC_SUCCESS, "", 4},
        // Without a known length: at most the largest image (65535 rows),
        // well before the source would give up by itself.
        {"memory_rows_unknown_length", TWSX_MEMORY, TWRC_SUCCESS, "undefined_length=1", 65535 / 14 + 64},
    };
    // The transfer call of each mechanism (TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY).
    const std::uint16_t dats[] = {DAT_IMAGENATIVEXFER, DAT_IMAGEFILEXFER, DAT_IMAGEMEMXFER};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReopenScanner({"pages=2", "endless=" + std::to_string(c.rc), "endless_limit=6000", c.extra}, c.name);
        g_scanMode = SCAN_APPEND;
        Enable(c.mechanism);
        if (c.mechanism == TWSX_FILE) transferFile(app.get(), TWFF_TIFF);
        if (c.mechanism == TWSX_NATIVE) transferNative(app.get());
        if (c.mechanism == TWSX_MEMORY) transferMemory(app.get());
        g_scanMode = SCAN_IDLE;
        const std::size_t calls = Matching(Calls(c.name), {"dat=" + Hex4(dats[c.mechanism])}).size();
        EXPECT_GE(calls, 1u);
        EXPECT_LE(calls, c.maxCalls) << "the loop went on asking";
        EXPECT_TRUE(Matching(Calls(c.name), {"rc=1 cc=" + std::to_string(TWCC_BUMMER)}).empty())
            << "the source had to give up by itself";
        EXPECT_EQ(app->m_DSMState, 5);
        EXPECT_TRUE(Listing().empty()) << "a file (or a temporary one) was left";
        app->disableSource();
        EXPECT_EQ(app->m_DSMState, 4);
    }
    EXPECT_TRUE(Announced().empty());
    EXPECT_TRUE(shell.Shown().empty());
}

TEST_F(TransferLoops, CompressedMemoryStripsFailThePage) {
    // The image and its strips say Group 4: raw rows would be written as a
    // TIFF that lies about them, so the page fails and nothing is written.
    OpenScanner({"pages=2", "mem_compression=" + std::to_string(TWCP_GROUP4)});
    Touch("FROM_SCANNER_000001M.tif", "an earlier scan");
    Enable(TWSX_MEMORY);
    transferMemory(app.get());
    EXPECT_EQ(app->m_DSMState, 5);
    app->disableSource();
    EXPECT_EQ(Listing(), std::vector<std::string>{"FROM_SCANNER_000001M.tif"});
    EXPECT_EQ(Text("FROM_SCANNER_000001M.tif"), "an earlier scan");
    EXPECT_TRUE(Announced().empty());
    EXPECT_TRUE(Matching(Calls(), {"dat=" + Hex4(DAT_IMAGEMEMXFER)}).empty()) << "no strip was asked for";
    EXPECT_NE(LogText().find("app: Memory transfer failed: the memory transfer of a compressed image is not supported "
                             "(compression 5)"),
              std::string::npos);
    EXPECT_FALSE(Matching(Calls(), {"msg=" + Hex4(MSG_RESET), "rc=0"}).empty());
}

}  // namespace
