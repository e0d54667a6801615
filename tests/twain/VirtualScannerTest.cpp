// What the virtual scanner offers the scan road's tests beyond a plain scan:
// a strict mode that refuses triplets out of their TWAIN state, injected
// faults (paper jam, cancel, refusals), the page count, capability rules and
// the notifications of its own interface. Driven through the manager.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "DsmTestSupport.h"
#include "twain/TwainMemory.h"
#include "twain/dsm/Dsm.h"
#include "vds/VdsPage.h"

namespace {

using namespace dsmtest;

class VirtualScanner : public DsmTest {
protected:
    // Opens the manager and the scanner `name` configured with `ini`.
    TW_IDENTITY Open(const std::string& name, const std::vector<std::string>& ini) {
        std::vector<std::string> lines = ini;
        lines.push_back("product=" + name);
        env.AddVirtualSource("", name, lines);
        EXPECT_EQ(app.Open(), TWRC_SUCCESS);
        TW_IDENTITY source = *app.SourceNamed(name);
        EXPECT_EQ(app.OpenSource(source), TWRC_SUCCESS);
        EXPECT_EQ(app.RegisterCallback(source, NotificationLog::Callback), TWRC_SUCCESS);
        return source;
    }
    void Close(TW_IDENTITY& source) {
        EXPECT_EQ(app.CloseSource(source), TWRC_SUCCESS);
        EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    }
    TW_UINT16 Info(TW_IDENTITY& source) {
        TW_IMAGEINFO info{};
        return app.Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    }
    TW_UINT16 Pending(TW_IDENTITY& source, TW_UINT16 msg, int& count) {
        TW_PENDINGXFERS pending{};
        const TW_UINT16 rc = app.Call(&source, DG_CONTROL, DAT_PENDINGXFERS, msg, &pending);
        count = pending.Count;
        return rc;
    }
    TW_UINT16 Native(TW_IDENTITY& source) {
        TW_HANDLE dib = nullptr;
        const TW_UINT16 rc = app.Call(&source, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        if (dib) DSM_MemFree(dib);
        return rc;
    }

    TestApp app{"Scanner Tester"};
    NotificationLog notifications;
};

TEST_F(VirtualScanner, StrictModeRefusesTripletsOutOfTheirState) {
    TW_IDENTITY s = Open("Strict", {"strict=1", "notify=thread", "notify_delay_ms=700"});
    EXPECT_EQ(Info(s), TWRC_FAILURE) << "no image information before enabling";
    EXPECT_EQ(app.Status(&s), TWCC_SEQERROR);
    ASSERT_EQ(app.SetCap(s, ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE), TWRC_SUCCESS);
    // Item types must match exactly in strict mode.
    EXPECT_EQ(app.SetCap(s, ICAP_XFERMECH, TWTY_UINT32, TWSX_FILE), TWRC_FAILURE);
    EXPECT_EQ(app.Status(&s), TWCC_BADVALUE);

    ASSERT_EQ(app.Enable(s), TWRC_SUCCESS);
    // Not ready yet: a transfer pass that does not wait for MSG_XFERREADY is
    // refused, and capabilities can no longer be set.
    EXPECT_EQ(Info(s), TWRC_FAILURE);
    EXPECT_EQ(app.Status(&s), TWCC_SEQERROR);
    EXPECT_EQ(app.SetCap(s, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_FAILURE);
    EXPECT_EQ(app.Status(&s), TWCC_SEQERROR);

    ASSERT_TRUE(notifications.WaitFor(MSG_XFERREADY));
    EXPECT_EQ(Info(s), TWRC_SUCCESS);
    EXPECT_EQ(Native(s), TWRC_FAILURE) << "the negotiated mechanism is the file transfer";
    EXPECT_EQ(app.Status(&s), TWCC_SEQERROR);
    EXPECT_EQ(app.Disable(s), TWRC_FAILURE) << "disabling with transfers pending";
    int count = -1;
    EXPECT_EQ(Pending(s, MSG_RESET, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(app.Disable(s), TWRC_SUCCESS);
    Close(s);
}

TEST_F(VirtualScanner, LenientModeTransfersWithoutWaiting) {
    TW_IDENTITY s = Open("Lenient", {"notify=thread", "notify_delay_ms=5000"});
    ASSERT_EQ(app.Enable(s), TWRC_SUCCESS);
    EXPECT_EQ(Info(s), TWRC_SUCCESS);
    EXPECT_EQ(Native(s), TWRC_XFERDONE);
    int count = -1;
    EXPECT_EQ(Pending(s, MSG_ENDXFER, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Pending(s, MSG_RESET, count), TWRC_SUCCESS);
    EXPECT_EQ(app.Disable(s), TWRC_SUCCESS);
    // The scanner never announced the pages that were already being taken.
    EXPECT_TRUE(notifications.Messages().empty());
    Close(s);
}

TEST_F(VirtualScanner, PaperJamOnThePageConfigured) {
    TW_IDENTITY s = Open("Jam", {"jam_page=2", "notify=sync"});
    ASSERT_EQ(app.Enable(s), TWRC_SUCCESS);
    ASSERT_TRUE(notifications.WaitFor(MSG_XFERREADY));
    EXPECT_EQ(Native(s), TWRC_XFERDONE);
    int count = -1;
    ASSERT_EQ(Pending(s, MSG_ENDXFER, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Native(s), TWRC_FAILURE);
    EXPECT_EQ(app.Status(&s), TWCC_PAPERJAM);
    // The stop sequence: end this transfer, reset the rest.
    ASSERT_EQ(Pending(s, MSG_ENDXFER, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(Pending(s, MSG_RESET, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(app.Disable(s), TWRC_SUCCESS);
    Close(s);
}

TEST_F(VirtualScanner, CancelInTheMiddleOfAMemoryTransfer) {
    TW_IDENTITY s = Open("Cancel", {"cancel_page=2", "notify=sync", "mem_rows=4"});
    ASSERT_EQ(app.SetCap(s, ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(app.SetCap(s, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(s), TWRC_SUCCESS);
    TW_SETUPMEMXFER setup{};
    ASSERT_EQ(app.Call(&s, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    std::vector<std::uint8_t> buffer(setup.Preferred);
    auto strip = [&](TW_IMAGEMEMXFER& xfer) {
        xfer = TW_IMAGEMEMXFER{};
        xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        xfer.Memory.Length = setup.Preferred;
        xfer.Memory.TheMem = buffer.data();
        return app.Call(&s, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
    };
    TW_IMAGEMEMXFER xfer{};
    // Page 1 whole.
    TW_UINT16 rc;
    int strips = 0;
    while ((rc = strip(xfer)) == TWRC_SUCCESS) ++strips;
    EXPECT_EQ(rc, TWRC_XFERDONE);
    EXPECT_GT(strips, 2);
    int count = -1;
    ASSERT_EQ(Pending(s, MSG_ENDXFER, count), TWRC_SUCCESS);
    // Page 2: one strip, then the cancel.
    EXPECT_EQ(strip(xfer), TWRC_SUCCESS);
    EXPECT_EQ(strip(xfer), TWRC_CANCEL);
    EXPECT_EQ(strip(xfer), TWRC_FAILURE) << "nothing more of a cancelled page";
    ASSERT_EQ(Pending(s, MSG_ENDXFER, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 1);
    // Page 3 comes whole and is the third page of the session.
    while ((rc = strip(xfer)) == TWRC_SUCCESS) {
    }
    ASSERT_EQ(rc, TWRC_XFERDONE);
    const int width = static_cast<int>(xfer.Columns);
    const int height = static_cast<int>(xfer.YOffset + xfer.Rows);
    EXPECT_EQ(buffer[(+xfer.Rows - 1) * +xfer.BytesPerRow + width - 1], vds::PageGrey(2, width - 1, height - 1, width, height));
    ASSERT_EQ(Pending(s, MSG_ENDXFER, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(app.Disable(s), TWRC_SUCCESS);
    Close(s);
}

TEST_F(VirtualScanner, CancelledFileTransferWritesNothing) {
    TW_IDENTITY s = Open("CancelFile", {"cancel_page=1", "notify=sync"});
    ASSERT_EQ(app.SetCap(s, ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(s), TWRC_SUCCESS);
    TW_SETUPFILEXFER setup{};
    const std::string name = env.root() + "/cancelled.tif";
    std::strncpy(setup.FileName, name.c_str(), sizeof setup.FileName - 1);
    setup.Format = TWFF_TIFF;
    ASSERT_EQ(app.Call(&s, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(app.Call(&s, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_CANCEL);
    EXPECT_FALSE(std::filesystem::exists(name));
    int count = -1;
    ASSERT_EQ(Pending(s, MSG_ENDXFER, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 2);
    // A file that cannot be written is a failure with its own code.
    std::strncpy(setup.FileName, (env.root() + "/no such folder/x.tif").c_str(), sizeof setup.FileName - 1);
    ASSERT_EQ(app.Call(&s, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(app.Call(&s, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(&s), TWCC_FILEWRITEERROR);
    ASSERT_EQ(Pending(s, MSG_RESET, count), TWRC_SUCCESS);
    EXPECT_EQ(app.Disable(s), TWRC_SUCCESS);
    Close(s);
}

TEST_F(VirtualScanner, PageCountFollowsTransferCountAndDuplex) {
    struct Case {
        int xferCount;
        int duplex;
        int pages;
    };
    const Case cases[] = {{-1, 0, 3}, {2, 0, 2}, {-1, 1, 6}, {5, 1, 5}};
    TW_IDENTITY s = Open("Counter", {"notify=none"});
    for (const Case& c : cases) {
        ASSERT_EQ(app.SetCap(s, CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(c.xferCount)), TWRC_SUCCESS);
        ASSERT_EQ(app.SetCap(s, CAP_DUPLEXENABLED, TWTY_BOOL, static_cast<TW_UINT32>(c.duplex)), TWRC_SUCCESS);
        ASSERT_EQ(app.Enable(s), TWRC_SUCCESS);
        int count = -1;
        EXPECT_EQ(Pending(s, MSG_GET, count), TWRC_SUCCESS);
        EXPECT_EQ(count, c.pages) << c.xferCount << "/" << c.duplex;
        EXPECT_EQ(app.Disable(s), TWRC_SUCCESS);
    }
    EXPECT_EQ(app.SetCap(s, CAP_XFERCOUNT, TWTY_INT16, 0), TWRC_FAILURE);
    EXPECT_EQ(app.Status(&s), TWCC_BADVALUE);
    Close(s);
}

TEST_F(VirtualScanner, CapabilityRules) {
    TW_IDENTITY s = Open("Rules", {"refuse_caps=1013"});
    struct Case {
        TW_UINT16 cap, type;
        TW_UINT32 value;
        TW_UINT16 code;  // 0: accepted
    };
    const Case cases[] = {
        {CAP_DUPLEXENABLED, TWTY_BOOL, 1, TWCC_CAPUNSUPPORTED},     // refused by configuration
        {0x1101, TWTY_UINT16, 1, TWCC_CAPUNSUPPORTED},              // not a capability it has
        {CAP_SUPPORTEDCAPS, TWTY_UINT16, 1, TWCC_CAPBADOPERATION},  // read only
        {ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY, 0},
        {ICAP_BITDEPTH, TWTY_UINT16, 24, TWCC_BADVALUE},            // grey pages have 8 bits
        {ICAP_BITDEPTH, TWTY_UINT16, 8, 0},
        {ICAP_XRESOLUTION, TWTY_FIX32, TwainFix32Bits(TW_FIX32{123, 0}), TWCC_BADVALUE},
        {ICAP_XRESOLUTION, TWTY_FIX32, TwainFix32Bits(TW_FIX32{300, 0x8000}), TWCC_BADVALUE},
        {ICAP_JPEGQUALITY, TWTY_INT16, 101, TWCC_BADVALUE},
        {ICAP_COMPRESSION, TWTY_UINT16, TWCP_JPEG2000, TWCC_BADVALUE},
        {ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app.SetCap(s, c.cap, c.type, c.value), c.code ? TWRC_FAILURE : TWRC_SUCCESS) << c.cap;
        EXPECT_EQ(app.Status(&s), c.code) << c.cap;
    }
    // Setting the pixel type brought the depth along.
    TW_UINT32 value = 0;
    TW_UINT16 conType = 0;
    ASSERT_EQ(app.GetCap(s, ICAP_BITDEPTH, MSG_GETCURRENT, value, conType), TWRC_SUCCESS);
    EXPECT_EQ(value & 0xFFFF, 24u);
    EXPECT_EQ(conType, TWON_ONEVALUE);
    ASSERT_EQ(app.GetCap(s, ICAP_JPEGQUALITY, MSG_GET, value, conType), TWRC_SUCCESS);
    EXPECT_EQ(conType, TWON_RANGE);
    // A reset gives the default back.
    ASSERT_EQ(app.GetCap(s, ICAP_XRESOLUTION, MSG_RESET, value, conType), TWRC_SUCCESS);
    EXPECT_EQ(TwainFix32FromBits(value).Whole, 150);
    // The list of capabilities and of extended information ids.
    for (TW_UINT16 cap : {CAP_SUPPORTEDCAPS, ICAP_SUPPORTEDEXTIMAGEINFO}) {
        TW_CAPABILITY capability{cap, TWON_DONTCARE16, nullptr};
        ASSERT_EQ(app.Call(&s, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability), TWRC_SUCCESS);
        EXPECT_EQ(capability.ConType, TWON_ARRAY);
        const auto* array = static_cast<const TW_ARRAY*>(DSM_MemLock(capability.hContainer));
        EXPECT_EQ(array->ItemType, TWTY_UINT16);
        std::vector<TW_UINT16> items(array->NumItems);
        std::memcpy(items.data(), array->ItemList, items.size() * 2);
        DSM_MemUnlock(capability.hContainer);
        DSM_MemFree(capability.hContainer);
        const TW_UINT16 expected = cap == CAP_SUPPORTEDCAPS ? ICAP_XRESOLUTION : TWEI_PAGENUMBER;
        EXPECT_NE(std::find(items.begin(), items.end(), expected), items.end());
    }
    Close(s);
}

TEST_F(VirtualScanner, OwnInterfaceAsksToBeClosed) {
    TW_IDENTITY s = Open("Dialog", {"pages=1", "notify=sync"});
    ASSERT_EQ(app.Enable(s, true), TWRC_SUCCESS);
    ASSERT_TRUE(notifications.WaitFor(MSG_XFERREADY));
    EXPECT_EQ(Native(s), TWRC_XFERDONE);
    int count = -1;
    ASSERT_EQ(Pending(s, MSG_ENDXFER, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    // The user "closes" the scanner's interface once the batch is done.
    ASSERT_TRUE(notifications.WaitFor(MSG_CLOSEDSREQ));
    EXPECT_EQ(app.Disable(s), TWRC_SUCCESS);
    // The interface alone, for settings: it answers with MSG_CLOSEDSOK.
    TW_USERINTERFACE ui{1, 1, nullptr};
    ASSERT_EQ(app.Call(&s, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui), TWRC_SUCCESS);
    ASSERT_TRUE(notifications.WaitFor(MSG_CLOSEDSOK));
    EXPECT_EQ(app.Disable(s), TWRC_SUCCESS);
    Close(s);
}

}  // namespace
