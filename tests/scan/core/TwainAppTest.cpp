// The TWAIN application layer against the virtual scanner: the manager's
// connection, the source list, opening and closing sources, the capability
// calls, the callback and closing with transfers still pending.
#include <gtest/gtest.h>

#include <cstring>

#include "ScanFixture.h"
#include "twain/TwainMemory.h"
#include "twain/TwainNames.h"

namespace {

using namespace scantest;
using dsmtest::Hex4;
using dsmtest::Matching;

class TwainAppTest : public ScanFixture {};

TEST_F(TwainAppTest, IdentitiesOfTheTwoObjects) {
    TwainApp plain(nullptr);
    ScanTwainApp scanning(nullptr);
    for (const TW_IDENTITY* id : {&plain.m_appIdentity, &scanning.m_appIdentity}) {
        // The base identity: the override is not in effect while the base
        // constructor fills it.
        EXPECT_EQ(id->Version.MajorNum, 2);
        EXPECT_EQ(id->Version.MinorNum, 0);
        EXPECT_EQ(id->Version.Language, TWLG_ENGLISH_CANADIAN);
        EXPECT_EQ(id->Version.Country, TWCY_CANADA);
        EXPECT_STREQ(id->Version.Info, "2.0.9");
        EXPECT_EQ(id->ProtocolMajor, 2);
        EXPECT_EQ(id->ProtocolMinor, 4);
        EXPECT_EQ(+id->SupportedGroups, 0x20000003u);
        EXPECT_STREQ(id->ProductName, "Specific App Product Name");
    }
    TW_IDENTITY own{};
    scanning.setDefaultIdentity(own);
    EXPECT_STREQ(own.Manufacturer, "Archive Imaging Group");
    EXPECT_STREQ(own.ProductFamily, "Sample Scan App");
    EXPECT_STREQ(own.ProductName, "Command line scan app");
    EXPECT_EQ(plain.m_DSMState, 1);
    EXPECT_EQ(plain.m_DSMessage.load(), 0xFFFF);
}

TEST_F(TwainAppTest, ListsSourcesAndOpensByIdOrDefault) {
    env.AddVirtualSource("a", "first", {"product=First Scanner"});
    env.AddVirtualSource("b", "second", {"product=Second Scanner"});
    TwainApp lister(nullptr);
    lister.openDSM();
    ASSERT_EQ(lister.m_DSMState, 3);
    ASSERT_EQ(lister.m_sourceList.size(), 2u);
    std::vector<std::string> names;
    for (unsigned i = 0; lister.sourceAt(i); ++i) names.push_back(lister.sourceAt(i)->ProductName);
    EXPECT_EQ(names, (std::vector<std::string>{"First Scanner", "Second Scanner"}));
    EXPECT_EQ(lister.sourceAt(0x8000), nullptr);  // no source open yet

    // An Id that is not listed leaves the state at 3 and no current source.
    lister.openSource(9999);
    EXPECT_EQ(lister.m_DSMState, 3);
    EXPECT_EQ(lister.m_currentSource, nullptr);

    // Id 0: the manager's default source (the first one found).
    lister.openSource(0);
    ASSERT_EQ(lister.m_DSMState, 4);
    ASSERT_NE(lister.m_currentSource, nullptr);
    EXPECT_STREQ(lister.m_currentSource->ProductName, "First Scanner");
    EXPECT_EQ(lister.sourceAt(0x8000), lister.m_currentSource);
    // A second open is refused while one is open.
    lister.openSource(static_cast<int>(lister.m_sourceList[1].Id));
    EXPECT_STREQ(lister.m_currentSource->ProductName, "First Scanner");
    lister.closeSource();
    EXPECT_EQ(lister.m_DSMState, 3);
    EXPECT_EQ(lister.m_currentSource, nullptr);

    lister.openSource(static_cast<int>(lister.m_sourceList[1].Id));
    ASSERT_EQ(lister.m_DSMState, 4);
    EXPECT_STREQ(lister.m_currentSource->ProductName, "Second Scanner");
    lister.closeDSM();
    EXPECT_EQ(lister.m_DSMState, 2);
}

TEST_F(TwainAppTest, StatePreconditionsRefuseWithoutCalling) {
    TwainApp app(nullptr);
    TW_CAPABILITY record{ICAP_PIXELTYPE, 0x1234, nullptr};
    EXPECT_EQ(app.getCapability(record, MSG_GET), TWCC_SEQERROR);
    EXPECT_EQ(record.ConType, 0x1234);  // untouched
    EXPECT_EQ(app.getCapability(record, MSG_SET), 1);
    app.openSource(1);
    EXPECT_EQ(app.m_DSMState, 1);
    EXPECT_FALSE(app.enableDS(nullptr, false));
    app.disableSource();
    app.closeSource();
    app.closeDSM();
    EXPECT_EQ(app.m_DSMState, 1);
}

TEST_F(TwainAppTest, ScanningObjectReadsItsThirteenRecordsAndFreesThemOnClose) {
    const std::size_t before = TwainMemLiveCount();
    ScanTwainApp& scanner = OpenScanner();
    int filled = 0;
    for (const TW_CAPABILITY& c : scanner.m_caps)
        if (c.hContainer) ++filled;
    EXPECT_EQ(filled, ScanTwainApp::kRecordCount);
    TW_UINT32 value = 0;
    ASSERT_TRUE(getCapabilityCurrent(*scanner.record(ICAP_PIXELTYPE), value));
    EXPECT_EQ(value, TWPT_RGB);
    ASSERT_TRUE(getCapabilityCurrent(*scanner.record(ICAP_JPEGQUALITY), value));  // a range
    EXPECT_EQ(value, 75u);
    EXPECT_FALSE(getCapabilityCurrent(*scanner.record(ICAP_FRAMES), value));     // frames: not integral
    EXPECT_GT(TwainMemLiveCount(), before);

    scanner.closeSource();
    for (const TW_CAPABILITY& c : scanner.m_caps) EXPECT_TRUE(c.hContainer == nullptr);
    EXPECT_EQ(TwainMemLiveCount(), before);
    // Freeing again finds nothing to free.
    scanner.freeCapabilities();
    EXPECT_EQ(TwainMemLiveCount(), before);
}

TEST_F(TwainAppTest, ArrayRecordHasNoCurrentValue) {
    ScanTwainApp& scanner = OpenScanner();
    TW_CAPABILITY supported{CAP_SUPPORTEDCAPS, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(scanner.getCapability(supported, MSG_GET), TWCC_SUCCESS);
    EXPECT_EQ(supported.ConType, TWON_ARRAY);
    TW_UINT32 value = 0;
    EXPECT_FALSE(getCapabilityCurrent(supported, value));
    TwainAppFree(supported.hContainer);
    TW_CAPABILITY empty{ICAP_UNITS, TWON_ONEVALUE, nullptr};
    EXPECT_FALSE(getCapabilityCurrent(empty, value));
}

// A container as a source might hand it over: the bytes it holds (which may
// be fewer than its fields claim) in a block of exactly that size.
TW_HANDLE Container(const std::vector<std::uint8_t>& bytes) {
    TW_HANDLE h = TwainMemAllocate(static_cast<TW_UINT32>(bytes.size()));
    if (h) {
        std::memcpy(TwainMemLock(h), bytes.data(), bytes.size());
        TwainMemUnlock(h);
    }
    return h;
}

void Put(std::vector<std::uint8_t>& bytes, std::size_t at, TW_UINT32 value, std::size_t size) {
    if (bytes.size() < at + size) bytes.resize(at + size, 0);
    for (std::size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> Enumeration(TW_UINT16 type, TW_UINT32 claimed, TW_UINT32 current,
                                      const std::vector<TW_UINT32>& items) {
    std::vector<std::uint8_t> b;
    Put(b, 0, type, 2);
    Put(b, 2, claimed, 4);
    Put(b, 6, current, 4);
    Put(b, 10, 0, 4);
    for (std::size_t i = 0; i < items.size(); ++i) Put(b, 14 + i * twainItemSize(type), items[i], twainItemSize(type));
    return b;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> b, std::size_t bytes) {
    b.resize(b.size() - bytes);
    return b;
}

TEST_F(TwainAppTest, ContainersAreReadOnlyAsFarAsTheirBlocksGo) {
    std::vector<std::uint8_t> one;
    Put(one, 0, TWTY_UINT16, 2);
    Put(one, 2, 7, 4);
    std::vector<std::uint8_t> range;
    Put(range, 0, TWTY_INT16, 2);
    for (int i = 0; i < 5; ++i) Put(range, 2 + 4 * static_cast<std::size_t>(i), static_cast<TW_UINT32>(10 * i), 4);
    std::vector<std::uint8_t> bad = one;
    Put(bad, 0, TWTY_FIX32, 2);
    struct Case {
        const char* what;
        TW_UINT16 conType;
        std::vector<std::uint8_t> bytes;
        bool ok;
        TW_UINT32 value;
    };
    const Case cases[] = {
        {"enumeration", TWON_ENUMERATION, Enumeration(TWTY_UINT16, 3, 2, {0, 1, 2}), true, 2},
        {"enumeration, last item cut", TWON_ENUMERATION, Cut(Enumeration(TWTY_UINT16, 3, 2, {0, 1, 2}), 1), false, 0},
        {"enumeration claiming more items than it holds", TWON_ENUMERATION,
         Enumeration(TWTY_UINT16, 1000, 0, {5}), false, 0},
        {"enumeration with a current index far past its block", TWON_ENUMERATION,
         Enumeration(TWTY_UINT32, 0xFFFFFFFFu, 0xFFFFFFF0u, {5}), false, 0},
        {"enumeration header cut", TWON_ENUMERATION, Cut(Enumeration(TWTY_UINT16, 0, 0, {}), 4), false, 0},
        {"current index past the list", TWON_ENUMERATION, Enumeration(TWTY_UINT16, 2, 2, {0, 1}), false, 0},
        {"one-value", TWON_ONEVALUE, one, true, 7},
        {"one-value of four bytes", TWON_ONEVALUE, Cut(one, 2), false, 0},
        {"one-value of a type without a number", TWON_ONEVALUE, bad, false, 0},
        {"range", TWON_RANGE, range, true, 40},
        {"range without its last byte", TWON_RANGE, Cut(range, 1), false, 0},
        {"type cut", TWON_ONEVALUE, std::vector<std::uint8_t>{4}, false, 0},
        {"array", TWON_ARRAY, Enumeration(TWTY_UINT16, 1, 0, {1}), false, 0},
    };
    const std::size_t before = TwainMemLiveCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // (The handle is kept apart: in the packed record it is not aligned.)
        const TW_HANDLE handle = Container(c.bytes);
        ASSERT_NE(handle, nullptr);
        TW_CAPABILITY record{ICAP_XFERMECH, c.conType, handle};
        TW_UINT32 value = 0xDEAD;
        EXPECT_EQ(getCapabilityCurrent(record, value), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
        TwainMemFree(handle);
        // A handle that was freed names no block any more.
        EXPECT_FALSE(getCapabilityCurrent(record, value));
    }
    EXPECT_EQ(TwainMemLiveCount(), before);
}

// Each set goes out as a one-value of the given type; the source records the
// value it received and answers the read-back with it.
struct CapCase {
    TW_UINT16 cap;
    TW_UINT16 type;
    TW_UINT32 value;
    const char* recorded;  // the value as the source's call log shows it
};

TEST_F(TwainAppTest, CapabilitySetsReachTheSourceAndReadBack) {
    ScanTwainApp& scanner = OpenScanner({"strict=1"});
    const CapCase cases[] = {
        {ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY, "1"},
        {ICAP_BITDEPTH, TWTY_UINT16, 8, "8"},
        {ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY, "2"},
        {CAP_DUPLEXENABLED, TWTY_BOOL, 1, "1"},
        {ICAP_IMAGEFILEFORMAT, TWTY_UINT16, TWFF_TIFF, "0"},
        {ICAP_COMPRESSION, TWTY_UINT16, TWCP_ZIP, "13"},
        {ICAP_JPEGQUALITY, TWTY_INT16, 42, "42"},
        {CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT32>(-1), "-1"},
    };
    for (const CapCase& c : cases) {
        SCOPED_TRACE(capabilityName(c.cap));
        EXPECT_EQ(scanner.setCapValue(c.cap, c.value, c.type), TWRC_SUCCESS);
        TW_CAPABILITY* record = scanner.record(c.cap);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(scanner.getCapability(*record, MSG_GET), TWCC_SUCCESS);
        TW_UINT32 now = 0;
        ASSERT_TRUE(getCapabilityCurrent(*record, now));
        EXPECT_EQ(now, c.value);
        EXPECT_FALSE(Matching(Calls(), {"cap=" + Hex4(c.cap), std::string("value=") + c.recorded, "rc=0"}).empty());
    }
    // A resolution as TW_FIX32.
    EXPECT_EQ(scanner.setXResolution(TW_FIX32{300, 0}), TWRC_SUCCESS);
    EXPECT_EQ(scanner.setResolutionValue(ICAP_YRESOLUTION, TW_FIX32{200, 0}), TWRC_SUCCESS);
    EXPECT_FALSE(Matching(Calls(), {"cap=" + Hex4(ICAP_XRESOLUTION), "value=300/0", "rc=0"}).empty());
    EXPECT_FALSE(Matching(Calls(), {"cap=" + Hex4(ICAP_YRESOLUTION), "value=200/0", "rc=0"}).empty());

    // A value the source refuses: the condition code is read and kept.
    EXPECT_EQ(scanner.setCapValue(ICAP_BITDEPTH, 24, TWTY_UINT16), TWRC_FAILURE);
    EXPECT_EQ(scanner.m_lastConditionCode, TWCC_BADVALUE);
}

TEST_F(TwainAppTest, PixelTypeMustComeBeforeBitDepthOnTheVirtualScanner) {
    // The depth a source accepts follows its pixel type: grey at 8 bits is
    // only reachable by setting the pixel type first.
    ScanTwainApp& scanner = OpenScanner();
    EXPECT_EQ(scanner.setCapValue(ICAP_BITDEPTH, 8, TWTY_UINT16), TWRC_FAILURE);
    EXPECT_EQ(scanner.setCapValue(ICAP_PIXELTYPE, TWPT_GRAY, TWTY_UINT16), TWRC_SUCCESS);
    EXPECT_EQ(scanner.setCapValue(ICAP_BITDEPTH, 8, TWTY_UINT16), TWRC_SUCCESS);
}

TEST_F(TwainAppTest, ReadyMessageArrivesThroughTheCallbackFromTheSourceThread) {
    ScanTwainApp& scanner = OpenScanner({"notify=thread", "notify_delay_ms=30", "pages=1"});
    ASSERT_TRUE(scanner.enableDS(nullptr, false));
    EXPECT_EQ(scanner.m_DSMState, 5);
    EXPECT_EQ(scanner.waitForMessage({MSG_XFERREADY}, std::chrono::seconds(10)), MSG_XFERREADY);
    EXPECT_EQ(scanner.m_DSMessage.load(), MSG_XFERREADY);
    scanner.m_DSMState = 6;
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(scanner.callDSMEntry(scanner.m_currentSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending),
              TWRC_SUCCESS);
    scanner.m_DSMState = 5;
    scanner.disableSource();
    EXPECT_EQ(scanner.m_DSMState, 4);
}

TEST_F(TwainAppTest, NoReadyMessageTimesOut) {
    ScanTwainApp& scanner = OpenScanner({"notify=none", "pages=1"});
    ASSERT_TRUE(scanner.enableDS(nullptr, false));
    EXPECT_EQ(scanner.waitForMessage({MSG_XFERREADY}, std::chrono::milliseconds(50)), 0xFFFF);
    scanner.disableSource();
    EXPECT_EQ(scanner.m_DSMState, 4);
}

TEST_F(TwainAppTest, ClosingWithPendingTransfersEndsThemAndClosesEverything) {
    // A strict source refuses to be disabled while images are pending, so
    // the transfers are ended and reset first.
    ScanTwainApp& scanner = OpenScanner({"notify=sync", "pages=3", "strict=1"});
    ASSERT_TRUE(scanner.enableDS(nullptr, false));
    scanner.m_DSMState = 6;  // as the road sets it before a pass
    ASSERT_TRUE(scanner.updateIMAGEINFO());
    scanner.closeDSM();
    EXPECT_EQ(scanner.m_DSMState, 2);
    const auto calls = Calls();
    const auto endxfer = Matching(calls, {Hex4(DAT_PENDINGXFERS), "msg=" + Hex4(MSG_ENDXFER), "rc=0"});
    const auto reset = Matching(calls, {Hex4(DAT_PENDINGXFERS), "msg=" + Hex4(MSG_RESET), "rc=0"});
    const auto disable = Matching(calls, {Hex4(DAT_USERINTERFACE), "msg=" + Hex4(MSG_DISABLEDS), "rc=0"});
    const auto close = Matching(calls, {Hex4(DAT_IDENTITY), "msg=" + Hex4(MSG_CLOSEDS), "rc=0"});
    EXPECT_EQ(endxfer.size(), 1u);
    EXPECT_EQ(reset.size(), 1u);
    EXPECT_EQ(disable.size(), 1u);
    EXPECT_EQ(Matching(calls, {Hex4(DAT_USERINTERFACE), "msg=" + Hex4(MSG_DISABLEDS)}).size(), 2u);
    EXPECT_EQ(close.size(), 1u);
    app.reset();
}

TEST_F(TwainAppTest, ExtendedImageInformationText) {
    ScanTwainApp& scanner = OpenScanner({"notify=sync", "pages=1", "book=Ledger 7"});
    scanner.setCapValue(ICAP_XFERMECH, TWSX_NATIVE, TWTY_UINT16);
    ASSERT_TRUE(scanner.enableDS(nullptr, false));
    scanner.m_DSMState = 6;
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(scanner.callDSMEntry(scanner.m_currentSource, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib),
              TWRC_XFERDONE);
    TwainAppFree(dib);
    scanner.readExtImageInfo();
    EXPECT_NE(scanner.m_extImageInfoText.find("TWEI_BOOKNAME:\tLedger 7\r\n"), std::string::npos)
        << scanner.m_extImageInfoText;
    EXPECT_NE(scanner.m_extImageInfoText.find("TWEI_PAGENUMBER:\t"), std::string::npos);
    TW_PENDINGXFERS pending{};
    scanner.callDSMEntry(scanner.m_currentSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    EXPECT_EQ(pending.Count, 0);
    scanner.m_DSMState = 5;
    scanner.disableSource();
}

}  // namespace
