#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/core/Numbers.h"
#include "support/CommaLocale.h"

TEST(Numbers, IntegerConversionFollowsTheCLibraryRule) {
    struct Case { const wchar_t* text; int expected; };
    const Case cases[] = {
        {L"42", 42},          {L"  \t-17xyz", -17}, {L"+8", 8},
        {L"", 0},             {L"abc", 0},          {L"3.9", 3},
        {L"- 5", 0},          {L"0012", 12},        {L"2147483647", INT_MAX},
        {L"2147483648", INT_MAX}, {L"-2147483648", INT_MIN}, {L"-99999999999999", INT_MIN},
        {L"\x0661", 0},       // an Arabic-Indic digit is not a decimal digit here
        {L"1e2", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(_wtoi(c.text), c.expected) << std::wstring(c.text).size();
    EXPECT_EQ(_wtoi(static_cast<const wchar_t*>(nullptr)), 0);
    EXPECT_EQ(_wtoi(std::wstring(L" 77")), 77);
}

TEST(Numbers, FloatingConversionFollowsTheCLibraryRule) {
    struct Case { const wchar_t* text; double expected; };
    const Case cases[] = {
        {L"0.1", 0.1},   {L" -2.5kg", -2.5}, {L".5", 0.5},  {L"1e2", 100.0},
        {L"0x10", 16.0}, {L"", 0.0},         {L"x1", 0.0},  {L"0,5", 0.0},
        {L"3.", 3.0},    {L"1.5e-3", 0.0015}, {L"7\x4e2d", 7.0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(_wtof(c.text), c.expected);
    EXPECT_TRUE(std::isinf(_wtof(L"inf")));
    EXPECT_TRUE(std::isnan(_wtof(L"nan")));
}

TEST(Numbers, FormattingTakesWideStringsAsWindowsDoes) {
    EXPECT_EQ(FormatW(L"%d. %s", 3, L"原图"), L"3. 原图");
    EXPECT_EQ(FormatW(L"%d. %s(当前项)", 1, L"居中"), L"1. 居中(当前项)");
    EXPECT_EQ(FormatW(L"%c|%S|%C", L'中', "narrow", 'n'), L"中|narrow|n");
    EXPECT_EQ(FormatW(L"%-4s|%4ls|", L"ab", L"cd"), L"ab  |  cd|");
    EXPECT_EQ(FormatW(L"100%% %d/%d", 5, 9), L"100% 5/9");
    EXPECT_EQ(FormatW(L"%04d-%02d-%02d_%02d%02d", 2024, 3, 7, 9, 5), L"2024-03-07_0905");
    EXPECT_EQ(FormatW(L"%d, %d, %d", 0, 128, 255), L"0, 128, 255");
    // Longer than any first guess of the buffer size.
    const std::wstring longText(5000, L'字');
    EXPECT_EQ(FormatW(L"<%s>", longText.c_str()), L"<" + longText + L">");
}

TEST(Numbers, ConversionsIgnoreADecimalCommaLocale) {
    testdata::CommaLocale comma;
    ASSERT_TRUE(comma.active());
    // The process locale really writes a comma now ...
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"%.1f", 0.5);
    EXPECT_EQ(std::wstring(buffer), L"0,5");
    // ... but our conversions stay with the point.
    EXPECT_EQ(FormatW(L"%.1f", 0.5), L"0.5");
    EXPECT_EQ(FormatW(L"%.2f|%g", 2.25, 0.125), L"2.25|0.125");
    EXPECT_DOUBLE_EQ(_wtof(L"0.1"), 0.1);
    EXPECT_DOUBLE_EQ(_wtof(L"0,1"), 0.0);
    EXPECT_EQ(_wtoi(L"1.234"), 1);
}
