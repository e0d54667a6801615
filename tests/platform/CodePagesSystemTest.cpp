#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <clocale>
#include <ctime>
#include <thread>
#include <vector>

#include "platform/core/CodePages.h"
#include "platform/core/System.h"

TEST(CodePages, WideToCodePageTable) {
    struct Case {
        UINT codePage;
        std::wstring text;
        std::string bytes;
        bool lossless;
    };
    const Case cases[] = {
        {936, L"中文a.jpg", "\xd6\xd0\xce\xc4" "a.jpg", true},
        {936, L"/p/\u0e01.jpg", "/p/?.jpg", false},          // Thai is not in GBK
        {936, L"\u0e01\u0e02", "??", false},                  // one '?' per character
        {950, L"中", "\xa4\xa4", true},
        {1252, L"caf\u00e9", "caf\xe9", true},
        {1252, L"\u4e2d", "?", false},
        {CP_UTF8, L"中\U0001F600", "\xe4\xb8\xad\xf0\x9f\x98\x80", true},
        {CP_UTF8, std::wstring(1, static_cast<wchar_t>(0xD800)), "\xef\xbf\xbd", false},
        // A shifting encoding returns to ASCII before the '?' and shifts again.
        {50220, L"\u65e5\u0e01\u65e5", "\x1b$BF|\x1b(B?\x1b$BF|\x1b(B", false},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(WideToCodePage(c.codePage, c.text, out), c.lossless) << c.codePage;
        EXPECT_EQ(out, c.bytes) << c.codePage;
    }
}

TEST(CodePages, CodePageToWideRoundTripsAndMarksBadBytes) {
    std::wstring wide;
    EXPECT_TRUE(CodePageToWide(936, "\xd6\xd0\xce\xc4", wide));
    EXPECT_EQ(wide, L"中文");
    // 0x81 starts a two-byte GBK character; cut short it is not valid.
    EXPECT_FALSE(CodePageToWide(936, "a\x81", wide));
    EXPECT_EQ(wide, L"a\uFFFD");
    EXPECT_FALSE(CodePageToWide(CP_UTF8, "a\xff", wide));
    EXPECT_EQ(wide, L"a\uFFFD");
}

TEST(CodePages, UnknownCodePageGivesNothing) {
    std::string out = "x";
    EXPECT_FALSE(WideToCodePage(12345, L"abc", out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(CodePageName(12345).empty());
    EXPECT_EQ(CodePageName(936), "GBK");
}

TEST(CodePages, TheCLocaleCountsAsUtf8) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(GetACP(), CP_UTF8);
    if (std::setlocale(LC_ALL, "C.UTF-8")) {
        EXPECT_EQ(GetACP(), CP_UTF8);
    }
    std::setlocale(LC_ALL, before.c_str());
}

namespace {

// The processors the calling thread may run on, in order.
std::vector<int> AllowedProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cpus;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
    for (int i = 0; i < CPU_SETSIZE; ++i)
        if (CPU_ISSET(i, &set)) cpus.push_back(i);
    return cpus;
}

}  // namespace

TEST(System, ProcessorCountOverrideAndFloor) {
    SetProcessorCountOverride(6);
    EXPECT_EQ(GetProcessorCount(), 6);
    SetProcessorCountOverride(0);
    const std::vector<int> allowed = AllowedProcessors();
    ASSERT_FALSE(allowed.empty());
    EXPECT_EQ(GetProcessorCount(), static_cast<int>(allowed.size()));
    SetProcessorCountOverride(-3);
    EXPECT_GE(GetProcessorCount(), 1);
    SetProcessorCountOverride(0);
}

TEST(System, ProcessorCountFollowsTheAffinityOfAProgramLimitedToSomeProcessors) {
    // As `taskset -c 0,1 tessavan` would: a thread allowed on n of the
    // processors counts n, whatever the machine has.
    const std::vector<int> allowed = AllowedProcessors();
    ASSERT_FALSE(allowed.empty());
    for (const std::size_t limit : {std::size_t{1}, std::size_t{2}, std::size_t{3}, allowed.size() - 1}) {
        if (limit == 0 || limit > allowed.size()) continue;
        int seen = 0;
        std::thread limited([&] {
            cpu_set_t set;
            CPU_ZERO(&set);
            for (std::size_t i = 0; i < limit; ++i) CPU_SET(allowed[i], &set);
            if (pthread_setaffinity_np(pthread_self(), sizeof set, &set) != 0) {
                seen = -1;
                return;
            }
            seen = GetProcessorCount();
        });
        limited.join();
        ASSERT_NE(seen, -1) << "the affinity could not be limited";
        EXPECT_EQ(seen, static_cast<int>(limit)) << "limited to " << limit << " of " << allowed.size();
    }
}

TEST(System, TickCountAdvancesInMilliseconds) {
    const DWORD a = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const DWORD b = GetTickCount();
    EXPECT_GE(b - a, 25u);
    EXPECT_LT(b - a, 5000u);
}

TEST(System, LocalTimeMatchesTheCLibrary) {
    SYSTEMTIME st;
    const std::time_t t = std::time(nullptr);
    GetLocalTime(&st);
    std::tm local{};
    localtime_r(&t, &local);
    EXPECT_EQ(st.wYear, local.tm_year + 1900);
    EXPECT_EQ(st.wMonth, local.tm_mon + 1);
    EXPECT_EQ(st.wDay, local.tm_mday);
    EXPECT_LE(st.wMonth, 12);
    EXPECT_LT(st.wMilliseconds, 1000);
}
