#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include <random>

#include "platform/gdi/Gdi.h"
#include "platform/ui/UiApp.h"

namespace {

class GdiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureUiApplication(); }
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

gdi::Dib24 WhiteDib(int w, int h) {
    gdi::Dib24 dib(w, h);
    dib.Fill(kWhite);
    return dib;
}

// The pixels of `dib` equal to `color`, as "x,y" strings in row order.
std::vector<std::pair<int, int>> PixelsOf(const gdi::Dib24& dib, COLORREF color) {
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x)
            if (dib.GetPixel(x, y) == color) out.emplace_back(x, y);
    return out;
}

int CountDark(const QImage& image, QRect area, int threshold = 128) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < threshold) ++n;
    return n;
}

}  // namespace

TEST_F(GdiTest, BottomUpBuffersRoundTripWithPaddedRows) {
    std::mt19937 random(7);
    for (int width : {1, 2, 3, 5, 7, 13}) {
        const int height = 4;
        const std::size_t stride = gdi::Dib24::Stride(width);
        EXPECT_EQ(stride % 4, 0u);
        EXPECT_GE(stride, static_cast<std::size_t>(3 * width));
        EXPECT_LT(stride, static_cast<std::size_t>(3 * width + 4));
        std::vector<std::uint8_t> bits(stride * height);
        for (auto& b : bits) b = static_cast<std::uint8_t>(random());
        const gdi::Dib24 dib = gdi::Dib24::FromBottomUp(bits.data(), width, height);
        // The first row in memory is the bottom row of the picture.
        const std::uint8_t* bottom = bits.data();
        EXPECT_EQ(dib.GetPixel(0, height - 1), RGB(bottom[2], bottom[1], bottom[0])) << width;
        const std::uint8_t* top = bits.data() + stride * (height - 1) + 3 * (width - 1);
        EXPECT_EQ(dib.GetPixel(width - 1, 0), RGB(top[2], top[1], top[0])) << width;
        // Back again, pixel bytes unchanged (padding is not pixel data).
        const auto back = dib.ToBottomUp();
        ASSERT_EQ(back.size(), bits.size());
        for (int y = 0; y < height; ++y)
            for (std::size_t i = 0; i < static_cast<std::size_t>(3 * width); ++i)
                ASSERT_EQ(back[y * stride + i], bits[y * stride + i]) << width << " row " << y;
    }
}

TEST_F(GdiTest, OnePixelRectanglesAndLinesFollowTheEdgeRules) {
    gdi::Dib24 dib = WhiteDib(12, 10);
    {
        CDC dc(dib);
        CPen red(PS_SOLID, 1, kRed);
        CBrush blue(kBlue);
        dc.SelectObject(&red);
        dc.SelectObject(&blue);
        dc.Rectangle(2, 1, 6, 5);  // left/top in, right/bottom out
    }
    std::vector<std::pair<int, int>> outline;
    for (int y = 1; y < 5; ++y)
        for (int x = 2; x < 6; ++x)
            if (x == 2 || x == 5 || y == 1 || y == 4) outline.emplace_back(x, y);
    EXPECT_EQ(PixelsOf(dib, kRed), outline);
    EXPECT_EQ(PixelsOf(dib, kBlue), (std::vector<std::pair<int, int>>{{3, 2}, {4, 2}, {3, 3}, {4, 3}}));

    // A hollow brush keeps the inside; a line leaves out its end point.
    dib = WhiteDib(12, 10);
    {
        CDC dc(dib);
        CPen red(PS_SOLID, 0, kRed);  // width 0 draws one pixel
        dc.SelectObject(&red);
        dc.SelectObject(CBrush::Hollow());
        dc.Rectangle(0, 0, 3, 3);
        dc.MoveTo(5, 8);
        dc.LineTo(9, 8);  // horizontal: 5..8
        dc.MoveTo(11, 9);
        dc.LineTo(11, 6);  // upwards: 9..7
        dc.MoveTo(5, 2);
        dc.LineTo(8, 5);  // diagonal: (5,2) (6,3) (7,4)
    }
    const auto red = PixelsOf(dib, kRed);
    const std::vector<std::pair<int, int>> expected = {
        {0, 0}, {1, 0}, {2, 0}, {0, 1}, {2, 1}, {5, 2}, {0, 2}, {1, 2}, {2, 2}, {6, 3}, {7, 4},
        {11, 7}, {5, 8}, {6, 8}, {7, 8}, {8, 8}, {11, 8}, {11, 9}};
    std::vector<std::pair<int, int>> sortedExpected = expected;
    std::sort(sortedExpected.begin(), sortedExpected.end(),
              [](auto a, auto b) { return std::tie(a.second, a.first) < std::tie(b.second, b.first); });
    EXPECT_EQ(red, sortedExpected);
    EXPECT_EQ(dib.GetPixel(1, 1), kWhite);

    // Without a pen the filled area is one pixel smaller.
    dib = WhiteDib(6, 6);
    {
        CDC dc(dib);
        CPen none(PS_NULL, 1, 0);
        CBrush blue(kBlue);
        dc.SelectObject(&none);
        dc.SelectObject(&blue);
        dc.Rectangle(1, 1, 4, 4);
    }
    EXPECT_EQ(PixelsOf(dib, kBlue), (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}, {1, 2}, {2, 2}}));
}

TEST_F(GdiTest, WidePensAreCentredAndDashedPensDash) {
    gdi::Dib24 dib = WhiteDib(60, 40);
    {
        CDC dc(dib);
        CPen wide(PS_SOLID, 8, kRed);
        dc.SelectObject(&wide);
        dc.SelectObject(CBrush::Hollow());
        dc.Rectangle(10, 10, 50, 30);
    }
    // Along the middle row the left edge covers 8 adjacent columns around
    // the outline's column x = 10 (an even width has one more on one side).
    std::vector<int> covered;
    for (int x = 0; x < 30; ++x)
        if (dib.GetPixel(x, 20) == kRed) covered.push_back(x);
    ASSERT_EQ(covered.size(), 8u);
    EXPECT_EQ(covered.back() - covered.front(), 7);
    EXPECT_LE(std::abs((covered.front() + covered.back()) - 2 * 10), 1);
    EXPECT_EQ(dib.GetPixel(20, 20), kWhite) << "hollow inside";

    // A one-pixel dashed outline: runs of 18 drawn, 6 left, along the top.
    dib = WhiteDib(100, 10);
    {
        CDC dc(dib);
        CPen dash(PS_DASH, 1, 0);
        dc.SelectObject(&dash);
        dc.SelectObject(CBrush::Hollow());
        dc.Rectangle(0, 0, 100, 10);
    }
    std::vector<std::pair<bool, int>> runs;
    for (int x = 0; x < 100; ++x) {
        const bool ink = dib.GetPixel(x, 0) == 0;
        if (runs.empty() || runs.back().first != ink) runs.emplace_back(ink, 0);
        ++runs.back().second;
    }
    ASSERT_GE(runs.size(), 6u);
    EXPECT_EQ(runs[0], std::make_pair(true, 18));
    EXPECT_EQ(runs[1], std::make_pair(false, 6));
    EXPECT_EQ(runs[2], std::make_pair(true, 18));
    EXPECT_EQ(runs[3], std::make_pair(false, 6));
    EXPECT_EQ(dib.GetPixel(50, 5), kWhite);
}

TEST_F(GdiTest, FillsAndCopiesAreExact) {
    gdi::Dib24 source = WhiteDib(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) source.SetPixel(x, y, RGB(x * 30, y * 40, 7));
    gdi::Dib24 target = WhiteDib(9, 9);
    {
        CDC from(source);
        CDC to(target);
        to.FillSolidRect(RECT{0, 0, 9, 2}, kBlue);
        EXPECT_EQ(to.GetBkColor(), kBlue) << "a solid fill leaves its colour as the background colour";
        ASSERT_TRUE(to.BitBlt(2, 3, 5, 4, &from, 1, 1));
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(target.GetPixel(2 + x, 3 + y), source.GetPixel(1 + x, 1 + y));
    EXPECT_EQ(target.GetPixel(8, 1), kBlue);
    EXPECT_EQ(target.GetPixel(8, 2), kWhite);
    EXPECT_EQ(target.GetPixel(1, 3), kWhite);
}

TEST_F(GdiTest, ChineseFacesMapToTheInstalledCjkFont) {
    const QString cjk = gdi::CjkFontFamily();
    ASSERT_TRUE(QFontDatabase::families().contains(cjk)) << "install fonts-wqy-microhei (scripts/setup)";
    for (const wchar_t* face : {L"宋体", L"微软雅黑", L"黑体"}) {
        CFont font;
        font.CreateFont(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0, face);
        EXPECT_EQ(QFontInfo(font.ToQFont()).family(), cjk) << QString::fromWCharArray(face).toStdString();
    }
    // A Latin face keeps Chinese text drawable through the fallbacks.
    CFont arial;
    arial.CreateFont(-20, 0, 0, 0, 800, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    EXPECT_TRUE(gdi::FontFamiliesFor(L"Arial").contains(cjk));
    EXPECT_EQ(arial.ToQFont().weight(), 800);

    // Heights: negative is the character size, positive the whole cell.
    CFont em;
    em.CreateFont(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"宋体");
    EXPECT_EQ(em.ToQFont().pixelSize(), 20);
    CFont cell;
    cell.CreateFont(57, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0x20, L"宋体");
    EXPECT_NEAR(QFontMetrics(cell.ToQFont()).height(), 57, 2);
}

TEST_F(GdiTest, TextIsDrawnInTheFontWithGlyphsCentredInItsBox) {
    auto draw = [](const std::wstring& text, const wchar_t* face) {
        gdi::Dib24 dib = WhiteDib(120, 60);
        CDC dc(dib);
        CFont font;
        font.CreateFont(40, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0x20, face);
        dc.SelectObject(&font);
        dc.SetTextColor(RGB(0, 0, 0));
        dc.SetBkMode(TRANSPARENT);
        RECT r{0, 0, 120, 60};
        dc.DrawText(text, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        return dib;
    };
    const gdi::Dib24 zhong = draw(L"中", L"宋体");
    const QImage& img = zhong.Image();
    // Ink exists, and its box is centred (within a few pixels) in the 120 x 60 box.
    int left = 120, right = -1, top = 60, bottom = -1;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 120; ++x)
            if (qGray(img.pixel(x, y)) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0) << "nothing was drawn";
    EXPECT_NEAR((left + right) / 2.0, 59.5, 3);
    EXPECT_NEAR((top + bottom) / 2.0, 29.5, 6);
    EXPECT_GT(right - left, 20) << "a 40-pixel glyph";
    // Real glyphs, not missing-glyph boxes: two characters draw differently,
    // and the same character through Arial's fallback draws the same.
    EXPECT_NE(draw(L"国", L"宋体").Image(), img);
    EXPECT_GT(CountDark(img, img.rect()), 50);
    EXPECT_EQ(draw(L"中", L"微软雅黑").Image(), img);

    // An opaque background fills behind the text; a transparent one does not.
    gdi::Dib24 dib = WhiteDib(80, 30);
    {
        CDC dc(dib);
        dc.SetBkColor(kBlue);
        dc.SetBkMode(OPAQUE);
        dc.SetTextColor(kWhite);
        dc.TextOut(2, 2, L"档  号");
    }
    EXPECT_EQ(dib.GetPixel(2, 2), kBlue);
    EXPECT_EQ(dib.GetPixel(79, 29), kWhite);
}

TEST_F(GdiTest, PathEllipsisKeepsTheStartAndTheFileName) {
    QFont font;
    font.setFamilies(gdi::FontFamiliesFor(L"宋体"));
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QString path = QStringLiteral("/home/user/扫描/一个很长的文件夹名称/第二层/页面_0001.jpg");
    const int full = metrics.horizontalAdvance(path);
    EXPECT_EQ(gdi::ElidePath(path, metrics, full), path);
    const QString shorter = gdi::ElidePath(path, metrics, full / 2);
    EXPECT_LE(metrics.horizontalAdvance(shorter), full / 2);
    EXPECT_TRUE(shorter.startsWith(QStringLiteral("/home")));
    EXPECT_TRUE(shorter.endsWith(QStringLiteral(".../页面_0001.jpg")));
    // Too narrow even for the name: the dots and the name remain (clipped when drawn).
    EXPECT_EQ(gdi::ElidePath(path, metrics, 5), QStringLiteral(".../页面_0001.jpg"));
    // No separator: cut at the end.
    EXPECT_TRUE(gdi::ElidePath(QStringLiteral("abcdefghijklmnopqrstuvwxyz"), metrics, 40).endsWith(QChar(0x2026)));
}
