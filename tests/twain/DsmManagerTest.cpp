// The manager's own life and its table of applications: creation on the first
// MSG_OPENDSM, admission and dismissal, slots, condition codes, the entry
// point and the memory functions.
#include <gtest/gtest.h>

#include "DsmTestSupport.h"
#include "twain/TwainMemory.h"
#include "twain/dsm/Dsm.h"

namespace {

using namespace dsmtest;

using DsmManager = DsmTest;

TEST_F(DsmManager, WithoutAManagerOnlyStatusAnswers) {
    TestApp app("Early App");
    EXPECT_EQ(DSM_Entry(nullptr, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_FAILURE);
    for (TW_UINT16 msg : {MSG_GET, MSG_CHECKSTATUS}) {
        TW_STATUS status{};
        EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_STATUS, msg, &status), TWRC_SUCCESS);
        EXPECT_EQ(status.ConditionCode, TWCC_BUMMER);
    }
    TW_STATUS status{};
    EXPECT_EQ(app.Call(nullptr, DG_IMAGE, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE);
    TW_IDENTITY source{};
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source), TWRC_FAILURE);
    TW_ENTRYPOINT entry{};
    entry.Size = sizeof entry;
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry), TWRC_FAILURE);
    EXPECT_EQ(app.Close(), TWRC_FAILURE);

    // After the last application closes the manager, it is gone again.
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    EXPECT_FALSE(ManagerGone());
    ASSERT_EQ(app.Close(), TWRC_SUCCESS);
    EXPECT_TRUE(ManagerGone());
}

TEST_F(DsmManager, AdmissionBySameNameAndWindow) {
    int windowA = 0, windowB = 0;
    TestApp first("Same Product");
    ASSERT_EQ(first.Open(&windowA), TWRC_SUCCESS);
    EXPECT_EQ(+first.identity.Id, 1u);
    EXPECT_TRUE(+first.identity.SupportedGroups & DF_DSM2) << "the manager marks itself in the caller's identity";
    EXPECT_EQ(first.Status(), TWCC_SUCCESS);

    // The same product with the same window: refused, and the code goes to
    // the manager, not to the application already admitted.
    TestApp twice("Same Product");
    EXPECT_EQ(twice.Open(&windowA), TWRC_FAILURE);
    EXPECT_EQ(+twice.identity.Id, 0u);
    EXPECT_EQ(first.Status(), TWCC_SUCCESS);
    EXPECT_EQ(twice.Status(), TWCC_SEQERROR);

    // The same product with another window is a second application.
    TestApp other("Same Product");
    ASSERT_EQ(other.Open(&windowB), TWRC_SUCCESS);
    EXPECT_EQ(+other.identity.Id, 2u);

    TestApp unnamed("");
    EXPECT_EQ(unnamed.Open(), TWRC_FAILURE);
    EXPECT_EQ(unnamed.Status(), TWCC_BADVALUE);

    EXPECT_EQ(first.Close(), TWRC_SUCCESS);
    EXPECT_EQ(first.Close(), TWRC_FAILURE) << "closing twice";
    EXPECT_FALSE(ManagerGone()) << "the second application still has it open";
    EXPECT_EQ(other.Close(), TWRC_SUCCESS);
}

TEST_F(DsmManager, SlotsAreReusedAndTrailingFreeSlotsDropped) {
    env.EnableDsmLog();
    TestApp a("App A"), b("App B"), c("App C");
    ASSERT_EQ(a.Open(), TWRC_SUCCESS);
    ASSERT_EQ(b.Open(), TWRC_SUCCESS);
    ASSERT_EQ(c.Open(), TWRC_SUCCESS);
    ASSERT_EQ(+c.identity.Id, 3u);

    // Closing application 2 of three keeps 3 at its id; the freed slot is
    // the next one handed out.
    ASSERT_EQ(b.Close(), TWRC_SUCCESS);
    EXPECT_EQ(c.Status(), TWCC_SUCCESS);
    TestApp d("App D");
    ASSERT_EQ(d.Open(), TWRC_SUCCESS);
    EXPECT_EQ(+d.identity.Id, 2u);

    // Closing the last slot drops it and the free slots before it: after
    // D (2) and then C (3) close, the table has slots 0 and 1 only.
    ASSERT_EQ(d.Close(), TWRC_SUCCESS);
    ASSERT_EQ(c.Close(), TWRC_SUCCESS);
    TW_IDENTITY stale = d.identity;  // Id 2
    TW_IDENTITY source{};
    source.Id = 1;
    TW_CALLBACK callback{};
    EXPECT_EQ(DSM_Entry(&stale, &source, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback), TWRC_FAILURE);
    EXPECT_FALSE(Matching(env.DsmLogLines(), {"invalid App ID...2"}).empty());
    TestApp e("App E");
    ASSERT_EQ(e.Open(), TWRC_SUCCESS);
    EXPECT_EQ(+e.identity.Id, 2u);
    // A free slot inside the table has no source list.
    ASSERT_EQ(a.Close(), TWRC_SUCCESS);
    TW_IDENTITY staleA = a.identity;
    EXPECT_EQ(DSM_Entry(&staleA, &source, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback), TWRC_FAILURE);
    EXPECT_FALSE(Matching(env.DsmLogLines(), {"List of DS for app is invalid"}).empty());
    ASSERT_EQ(e.Close(), TWRC_SUCCESS);
}

TEST_F(DsmManager, ClosingWithIdsOutsideTheTableIsRefused) {
    TestApp app("Only App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);  // slots 0 and 1
    for (TW_UINT32 id : {0u, 2u, 3u, 49u, 0xFFFFFFFFu}) {
        TW_IDENTITY forged = app.identity;
        forged.Id = id;
        EXPECT_EQ(DSM_Entry(&forged, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_FAILURE) << id;
        EXPECT_EQ(app.Status(), TWCC_SUCCESS) << "the refusal is not the application's";
        TW_IDENTITY nobody = AppIdentity("Nobody");
        TW_STATUS status{};
        DSM_Entry(&nobody, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        EXPECT_EQ(status.ConditionCode, TWCC_BADVALUE) << id;
    }
    TW_IDENTITY other = app.identity;
    EXPECT_EQ(DSM_Entry(&other, nullptr, DG_CONTROL, DAT_PARENT, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmManager, OpeningAndClosingAreControlTripletsOnly) {
    TestApp app("Group App");
    TestApp second("Second App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_HANDLE window = nullptr;
    EXPECT_EQ(second.Call(nullptr, DG_IMAGE, DAT_PARENT, MSG_OPENDSM, &window), TWRC_FAILURE);
    EXPECT_EQ(second.identity.Id, 0u);
    // A close in the image group is refused: the application stays admitted
    // and the manager is not left behind without applications.
    EXPECT_EQ(app.Call(nullptr, DG_IMAGE, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(app.Sources().size(), 0u);
    EXPECT_EQ(app.Status(), TWCC_SUCCESS) << "still open: listing works";
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    EXPECT_TRUE(ManagerGone());
}

TEST_F(DsmManager, ConditionCodeIsReadOnce) {
    TestApp app("Status App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source{};
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_SEQERROR);
    EXPECT_EQ(app.Status(), TWCC_SUCCESS);
    // MSG_CHECKSTATUS reads it the same way; other messages are refused.
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source), TWRC_FAILURE);
    TW_STATUS status{};
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_CHECKSTATUS, &status), TWRC_SUCCESS);
    EXPECT_EQ(status.ConditionCode, TWCC_SEQERROR);
    EXPECT_EQ(status.Data, 0);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_SET, &status), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADVALUE) << "every refusal leaves its code";
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmManager, EntryPointNeedsItsExactSize) {
    TestApp app("Entry App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    struct Case {
        TW_UINT32 size;
        TW_UINT16 rc;
        TW_UINT16 code;
    };
    const TW_UINT32 exact = sizeof(TW_ENTRYPOINT);
    const Case cases[] = {{0, TWRC_FAILURE, TWCC_BADVALUE},
                          {exact - 1, TWRC_FAILURE, TWCC_BADVALUE},
                          {exact + 1, TWRC_FAILURE, TWCC_BADVALUE},
                          {24, TWRC_FAILURE, TWCC_BADVALUE},
                          {exact, TWRC_SUCCESS, TWCC_SUCCESS}};
    for (const Case& c : cases) {
        TW_ENTRYPOINT entry{};
        entry.Size = c.size;
        EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry), c.rc) << c.size;
        EXPECT_EQ(app.Status(), c.code) << c.size;
        if (c.rc == TWRC_SUCCESS) {
            EXPECT_EQ(+entry.DSM_Entry, &DSM_Entry);
            EXPECT_EQ(+entry.DSM_MemAllocate, &DSM_MemAllocate);
            EXPECT_EQ(+entry.DSM_MemFree, &DSM_MemFree);
            EXPECT_EQ(+entry.DSM_MemLock, &DSM_MemLock);
            EXPECT_EQ(+entry.DSM_MemUnlock, &DSM_MemUnlock);
        } else {
            EXPECT_EQ(+entry.DSM_Entry, nullptr);
        }
    }
    TW_ENTRYPOINT entry{};
    entry.Size = exact;
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADVALUE);
    // Only applications that speak TWAIN 2 may ask.
    TW_IDENTITY old = app.identity;
    old.SupportedGroups &= ~DF_APP2;
    EXPECT_EQ(DSM_Entry(&old, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmManager, MemoryFunctionsLogZeroSizesAndNullHandles) {
    env.EnableDsmLog();
    TestApp app("Memory App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    EXPECT_EQ(DSM_MemAllocate(0), nullptr);
    DSM_MemFree(nullptr);
    EXPECT_EQ(DSM_MemLock(nullptr), nullptr);
    DSM_MemUnlock(nullptr);
    TW_HANDLE h = DSM_MemAllocate(32);
    ASSERT_NE(h, nullptr);
    const auto* p = static_cast<const std::uint8_t*>(DSM_MemLock(h));
    EXPECT_EQ(p[0] | p[31], 0);
    DSM_MemUnlock(h);
    DSM_MemFree(h);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    const auto lines = env.DsmLogLines();
    for (const char* text : {"_bytes is zero...", "ignoring attempt to free null handle...",
                             "attempting to lock null handle...", "attempting to unlock null handle..."})
        EXPECT_EQ(Matching(lines, {text}).size(), 1u) << text;
}

}  // namespace
