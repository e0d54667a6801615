// The image view in a small dialog, driven with the mouse and the wheel as a
// user does: the zoom and scroll figures of fitting, centring and wheel
// steps; the box turned into image rectangles; the colour pick's click
// distance; the sampled display bitmap; and the pixels of the grabbed view
// (checkerboard, picture placement at two zooms, the dashed box).
#include <QImage>
#include <QWidget>

#include <cmath>
#include <memory>
#include <vector>

#include "platform/ui/UiFixture.h"
#include "settings/ManualSetting.h"
#include "support/SyntheticPages.h"
#include "view/ImagePannel.h"

namespace {

constexpr UINT IDD_VIEW_HOST = 901;
constexpr int IDC_VIEW = 1117;

const DialogTemplate kHostTemplate = {
    IDD_VIEW_HOST, L"视图", 500, 360, {{IDC_VIEW, Ctl::Static, L"", 0, 0, 480, 340}},
};

// A window that uses the view as its tool surface and records what the view
// asks of it.
class ToolHost : public CDialog, public IImagePannelTools {
public:
    ToolHost() : CDialog(kHostTemplate) {}
    CImagePannel view;
    int page = 0;
    synth::Page current;
    std::vector<std::unique_ptr<ManualOperation>> added;
    int picks = 0;

    int ShownPageIndex() const override { return page; }
    const BYTE* CurrentImageBits(std::int32_t* w, std::int32_t* h) const override {
        *w = current.width;
        *h = current.height;
        return current.bits.empty() ? nullptr : current.Data();
    }
    void AddOperation(std::unique_ptr<ManualOperation> op) override { added.push_back(std::move(op)); }
    CWnd* ErasePage() override { return nullptr; }
    CWnd* CropPage() override { return nullptr; }
    void OnEraseColourPicked() override { ++picks; }

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_VIEW, view); }
};

// The same view in a window that is no tool surface (the settings preview,
// the scan window).
class PlainHost : public CDialog {
public:
    PlainHost() : CDialog(kHostTemplate) {}
    CImagePannel view;

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_VIEW, view); }
};

class ImagePannelTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ManualSetting::ResetToStart();
    }
    void TearDown() override {
        ManualSetting::ResetToStart();
        UiTest::TearDown();
    }

    // Opens `host`, gives the view a client area of w x h pixels and runs
    // `body` inside the modal loop.
    template <typename Host>
    void Run(Host& host, int w, int h, const std::function<void(DialogDriver&)>& body) {
        bool ran = false;
        OnNextModal(IDD_VIEW_HOST, [&](CDialog& d) {
            host.view.MoveWindow(0, 0, w, h);
            DialogDriver driver(d);
            ran = true;
            body(driver);
            d.EndDialog(IDOK);
        });
        host.DoModal();
        ASSERT_TRUE(ran);
    }
};

synth::Page Solid(int w, int h, synth::Colour c) {
    synth::Page p(w, h, 24);
    p.Fill(c);
    return p;
}

// A picture whose pixel (x, y) (y in memory rows) has B = x, G = y, R = 7.
synth::Page Ramp(int w, int h) {
    synth::Page p(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.Set(x, y, synth::Rgb(7, y & 255, x & 255));
    return p;
}

QImage Grab(CImagePannel& view) { return view.Widget()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

}  // namespace

// Fitting and wheel steps, figures worked out by hand from the view's rules.
TEST_F(ImagePannelTest, FitCentreAndWheelSteps) {
    struct Case {
        int imageW, imageH, clientW, clientH;
        float zoom;
        int scrollX, scrollY;
    };
    const Case cases[] = {
        // Smaller than the view: shown at 1.0, centred (negative scroll).
        {400, 300, 800, 600, 1.0f, 200 - 400, 150 - 300},
        // Exactly the view's size.
        {800, 600, 800, 600, 1.0f, 0, 0},
        // 5000 wide in 800: 1 / 6.25 = 0.16, zoomed 800 x 480.
        {5000, 3000, 800, 600, 0.16f, 400 - 400, 240 - 300},
        // Taller than wide: height decides, 1 / (1200 / 600) = 0.5.
        {600, 1200, 800, 600, 0.5f, 150 - 400, 300 - 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.imageW << "x" << c.imageH);
        PlainHost host;
        Run(host, c.clientW, c.clientH, [&](DialogDriver&) {
            const synth::Page page = Solid(c.imageW, c.imageH, synth::kWhite);
            host.view.SetImage(page.Data(), page.width, page.height);
            host.view.FitToWindow();
            EXPECT_FLOAT_EQ(host.view.Zoom(), c.zoom);
            EXPECT_EQ(host.view.Scroll().x, c.scrollX);
            EXPECT_EQ(host.view.Scroll().y, c.scrollY);
        });
    }
}

TEST_F(ImagePannelTest, WheelStepsKeepThePointUnderTheCursor) {
    PlainHost host;
    Run(host, 800, 600, [&](DialogDriver& drive) {
        const synth::Page page = Solid(5000, 3000, synth::kWhite);
        host.view.SetImage(page.Data(), page.width, page.height);
        host.view.FitToWindow();
        ASSERT_FLOAT_EQ(host.view.Zoom(), 0.16f);

        const POINT cursor{300, 200};
        // The image point under the cursor, in image pixels.
        auto under = [&] {
            const float z = host.view.Zoom();
            return std::pair<double, double>((host.view.Scroll().x + cursor.x) / z,
                                             (host.view.Scroll().y + cursor.y) / z);
        };
        const auto before = under();
        ASSERT_TRUE(drive.Wheel(IDC_VIEW, cursor, 120));
        EXPECT_FLOAT_EQ(host.view.Zoom(), 0.36f);
        const auto afterUp = under();
        // Scrolls are whole pixels of the zoomed picture: the point moves by
        // less than one of them.
        EXPECT_NEAR(afterUp.first, before.first, 1 / 0.36);
        EXPECT_NEAR(afterUp.second, before.second, 1 / 0.36);

        ASSERT_TRUE(drive.Wheel(IDC_VIEW, cursor, -120));
        ASSERT_TRUE(drive.Wheel(IDC_VIEW, cursor, -120));
        EXPECT_FLOAT_EQ(host.view.Zoom(), 0.2f) << "the wheel never goes below 0.2";
        for (int i = 0; i < 6; ++i) drive.Wheel(IDC_VIEW, cursor, 120);
        EXPECT_FLOAT_EQ(host.view.Zoom(), 1.0f) << "nor above 1.0";

        // From a fitted zoom below 0.2, one step down gives 0.2.
        host.view.FitToWindow();
        drive.Wheel(IDC_VIEW, cursor, -120);
        EXPECT_FLOAT_EQ(host.view.Zoom(), 0.2f);
    });
}

TEST_F(ImagePannelTest, DraggingPansAndAPlainWindowGetsNoToolOperations) {
    PlainHost host;
    Run(host, 400, 300, [&](DialogDriver& drive) {
        const synth::Page page = Solid(1000, 800, synth::kWhite);
        host.view.SetImage(page.Data(), page.width, page.height);
        host.view.CenterImage();  // zoom stays 1.0
        const POINT start = host.view.Scroll();
        ASSERT_TRUE(drive.Drag(IDC_VIEW, POINT{200, 150}, POINT{150, 170}));
        EXPECT_EQ(host.view.Scroll().x, start.x + 50);
        EXPECT_EQ(host.view.Scroll().y, start.y - 20);
        EXPECT_FALSE(host.view.BandActive());
    });
}

// The box on the erase and crop pages, as image rectangles.
TEST_F(ImagePannelTest, BoxesBecomeImageRectangles) {
    struct Case {
        const char* what;
        int page;
        std::int32_t eraseMode;
        POINT from, to;
        std::int32_t type;
        RECT rect;
    };
    // A 400 x 300 picture centred at zoom 1.0 in 800 x 600: it lies at client
    // (200, 150)..(600, 450).
    const Case cases[] = {
        {"erase inside, partly outside the picture", kViewErasePage, 1, {150, 100}, {300, 250}, OpEraseInside,
         {0, 0, 100, 100}},
        {"erase outside, drawn from bottom right to top left", kViewErasePage, 2, {590, 440}, {210, 160},
         OpEraseOutside, {10, 10, 390, 290}},
        {"crop past the right and bottom edges", kViewCropPage, 1, {500, 400}, {700, 599}, OpCrop, {300, 250, 400, 300}},
        // A box that misses the picture: zero size at the scroll position
        // (-200 / 1.0, -150 / 1.0), and still an operation.
        {"crop beside the picture", kViewCropPage, 1, {10, 10}, {100, 100}, OpCrop, {-200, -150, -200, -150}},
        {"erase inside beside the picture", kViewErasePage, 1, {700, 500}, {790, 590}, OpEraseInside,
         {-200, -150, -200, -150}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ToolHost host;
        host.page = c.page;
        ManualSetting::values.erase.mode = c.eraseMode;
        ManualSetting::values.erase.colour = RGB(10, 20, 30);
        Run(host, 800, 600, [&](DialogDriver& drive) {
            const synth::Page page = Solid(400, 300, synth::kWhite);
            host.view.SetImage(page.Data(), page.width, page.height);
            host.view.FitToWindow();
            ASSERT_TRUE(drive.MouseDown(IDC_VIEW, c.from));
            EXPECT_TRUE(host.view.BandActive());
            ASSERT_TRUE(drive.MouseMove(IDC_VIEW, c.to));
            ASSERT_TRUE(drive.MouseUp(IDC_VIEW, c.to));
            EXPECT_FALSE(host.view.BandActive());
        });
        ASSERT_EQ(host.added.size(), 1u);
        const ManualOperation& op = *host.added[0];
        EXPECT_EQ(op.type, c.type);
        const RECT* rect = nullptr;
        if (const auto* erase = op.Params<EraseOpParams>()) {
            rect = &erase->rect;
            EXPECT_EQ(erase->fill, RGB(10, 20, 30));
            EXPECT_EQ(op.name, c.type == OpEraseInside ? L"擦除框内" : L"擦除框外");
        } else if (const auto* crop = op.Params<CropOpParams>()) {
            rect = &crop->rect;
            EXPECT_EQ(op.name, L"裁剪");
        }
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->left, c.rect.left);
        EXPECT_EQ(rect->top, c.rect.top);
        EXPECT_EQ(rect->right, c.rect.right);
        EXPECT_EQ(rect->bottom, c.rect.bottom);
    }
}

TEST_F(ImagePannelTest, BoxesAtAFittedZoomScaleToImagePixels) {
    ToolHost host;
    host.page = kViewCropPage;
    Run(host, 800, 600, [&](DialogDriver& drive) {
        // 1600 x 1200 fits at 0.5 and fills the view (scroll 0, 0).
        const synth::Page page = Solid(1600, 1200, synth::kWhite);
        host.view.SetImage(page.Data(), page.width, page.height);
        host.view.FitToWindow();
        ASSERT_FLOAT_EQ(host.view.Zoom(), 0.5f);
        ASSERT_TRUE(drive.Drag(IDC_VIEW, POINT{101, 50}, POINT{300, 251}));
    });
    ASSERT_EQ(host.added.size(), 1u);
    const RECT r = host.added[0]->Params<CropOpParams>()->rect;
    EXPECT_EQ(r.left, 202);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 600);
    EXPECT_EQ(r.bottom, 502);
}

// Pick mode: a click (both distances summing to 10 or less) takes the colour
// at the release point from the window's current picture; a longer drag
// takes nothing; outside the picture nothing either.
TEST_F(ImagePannelTest, ColourPickNeedsAShortClickOnThePicture) {
    struct Case {
        const char* what;
        POINT from, to;
        COLORREF expected;
        int picks;
    };
    const COLORREF start = RGB(1, 2, 3);
    // The 400 x 300 picture at client (200, 150): its top half (rows from
    // the top 0..149) red, its bottom half blue.
    const Case cases[] = {
        {"click on the top half", {300, 200}, {300, 200}, RGB(200, 0, 0), 1},
        {"drag of 10 ending on the bottom half", {300, 390}, {306, 394}, RGB(0, 0, 220), 1},
        {"drag of 11", {300, 390}, {306, 395}, start, 0},
        {"click beside the picture", {100, 100}, {100, 100}, start, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ToolHost host;
        host.page = kViewErasePage;
        host.current = Solid(400, 300, synth::Rgb(0, 0, 220));
        host.current.FillRect(synth::Rect{0, 150, 400, 300}, synth::Rgb(200, 0, 0));  // memory rows: the top
        ManualSetting::values.erase.mode = manual_setting::kErasePick;
        ManualSetting::values.erase.colour = start;
        Run(host, 800, 600, [&](DialogDriver& drive) {
            host.view.SetImage(host.current.Data(), host.current.width, host.current.height);
            host.view.FitToWindow();
            ASSERT_TRUE(drive.MouseDown(IDC_VIEW, c.from));
            EXPECT_FALSE(host.view.BandActive()) << "no box in pick mode";
            ASSERT_TRUE(drive.MouseUp(IDC_VIEW, c.to));
        });
        EXPECT_EQ(ManualSetting::values.erase.colour, c.expected);
        EXPECT_EQ(host.picks, c.picks);
        EXPECT_TRUE(host.added.empty());
    }
}

TEST_F(ImagePannelTest, ToolsActOnlyOnTheirPagesAndWithAPicture) {
    ToolHost host;
    host.page = 3;  // the background-colour page
    Run(host, 800, 600, [&](DialogDriver& drive) {
        ASSERT_TRUE(drive.Drag(IDC_VIEW, POINT{10, 10}, POINT{100, 100}));  // no picture yet
        const synth::Page page = Solid(400, 300, synth::kWhite);
        host.view.SetImage(page.Data(), page.width, page.height);
        host.view.FitToWindow();
        ASSERT_TRUE(drive.Drag(IDC_VIEW, POINT{250, 200}, POINT{300, 250}));
        EXPECT_EQ(host.view.Scroll().x, -200 - 50) << "on another page a drag pans";
    });
    EXPECT_TRUE(host.added.empty());
}

// The sampled display bitmap: at 1.0 the picture itself, at 0.5 every
// second pixel (the samples fall on whole pixels), the last column and the
// top row (the last row in memory) in the deskew page's fill colour.
TEST_F(ImagePannelTest, DisplayBitmapSamplesThePictureWithTheFillOnTheLastColumnAndRow) {
    for (const int fillWhite : {1, 0}) {
        SCOPED_TRACE(fillWhite ? "white fill" : "black fill");
        ManualSetting::values.correct.fillWhite = fillWhite;
        const BYTE fill = fillWhite ? 255 : 0;
        PlainHost host;
        Run(host, 200, 200, [&](DialogDriver&) {
            const synth::Page page = Ramp(60, 40);
            host.view.SetImage(page.Data(), page.width, page.height);
            host.view.FitToWindow();
            host.view.Render(true);
            const gdi::Dib24& d = host.view.DisplayBitmap();
            ASSERT_EQ(d.Width(), 60);
            ASSERT_EQ(d.Height(), 40);
            // Display row t from the top shows memory row 39 - t.
            for (int t = 0; t < 40; ++t)
                for (int x = 0; x < 60; ++x) {
                    const int memoryRow = 39 - t;
                    const COLORREF want = (x == 59 || memoryRow == 39) ? RGB(fill, fill, fill)
                                                                       : RGB(7, memoryRow, x);
                    ASSERT_EQ(d.GetPixel(x, t), want) << x << "," << t;
                }

            // Half size: zoom 0.5 in a 30 x 20 view.
            host.view.MoveWindow(0, 0, 30, 20);
            host.view.FitToWindow();
            ASSERT_FLOAT_EQ(host.view.Zoom(), 0.5f);
            host.view.Render(false);
            for (int t = 0; t < 40; ++t)
                for (int x = 0; x < 60; ++x) {
                    COLORREF want = RGB(128, 128, 128);  // outside the zoomed picture
                    if (x < 30 && t < 20) {
                        const int sourceX = 2 * x, sourceRow = 2 * (19 - t);
                        want = RGB(7, sourceRow, sourceX);  // never the last column or row here
                    }
                    ASSERT_EQ(d.GetPixel(x, t), want) << x << "," << t;
                }
        });
    }
}

TEST_F(ImagePannelTest, SetImageWithNoPictureLeavesTheViewEmpty) {
    PlainHost host;
    Run(host, 100, 100, [&](DialogDriver& drive) {
        const synth::Page page = Solid(10, 10, synth::kBlack);
        host.view.SetImage(page.Data(), 10, 10);
        ASSERT_TRUE(host.view.HasImage());
        host.view.SetImage(nullptr, 10, 10);
        EXPECT_FALSE(host.view.HasImage()) << "the previous picture is released all the same";
        host.view.SetImage(page.Data(), 0, 10);
        EXPECT_FALSE(host.view.HasImage());
        host.view.SetImage(page.Data(), 10, -1);
        EXPECT_FALSE(host.view.HasImage());
        // Wheel and buttons do nothing without a picture.
        EXPECT_TRUE(drive.Wheel(IDC_VIEW, POINT{50, 50}, 120));
        EXPECT_FLOAT_EQ(host.view.Zoom(), 1.0f);
        // Only the checkerboard is shown.
        const QImage shot = Grab(host.view);
        for (int y = 0; y < shot.height(); y += 7)
            for (int x = 0; x < shot.width(); x += 7) {
                const int g = CImagePannel::CheckerGrey(x, y, shot.height());
                ASSERT_EQ(shot.pixel(x, y), qRgb(g, g, g)) << x << "," << y;
            }
    });
}

// The grabbed view: checkerboard outside the picture, the picture at its
// place at two zooms, the dashed box while a crop box is drawn.
TEST_F(ImagePannelTest, GrabbedViewShowsCheckerboardPictureAndBox) {
    ToolHost host;
    host.page = kViewCropPage;
    Run(host, 300, 200, [&](DialogDriver& drive) {
        // 120 x 80, its left half green and right half blue, at zoom 1.0
        // centred: client (90, 60)..(210, 140).
        synth::Page page = Solid(120, 80, synth::Rgb(0, 160, 0));
        page.FillRect(synth::Rect{60, 0, 120, 80}, synth::Rgb(0, 0, 200));
        host.view.SetImage(page.Data(), page.width, page.height);
        host.view.FitToWindow();
        QImage shot = Grab(host.view);
        ASSERT_EQ(shot.width(), 300);
        ASSERT_EQ(shot.height(), 200);
        auto checker = [&](int x, int y) {
            const int g = CImagePannel::CheckerGrey(x, y, 200);
            return qRgb(g, g, g);
        };
        int checked = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                const bool inPicture = x >= 90 && x < 210 && y >= 60 && y < 140;
                const bool edge = x == 209 || y == 60;  // last column, top row: the fill
                QRgb want = checker(x, y);
                if (inPicture) want = edge ? qRgb(255, 255, 255) : (x < 150 ? qRgb(0, 160, 0) : qRgb(0, 0, 200));
                ASSERT_EQ(shot.pixel(x, y), want) << x << "," << y;
                ++checked;
            }
        EXPECT_EQ(checked, 300 * 200);
        // Both greys of the checkerboard appear, in 15-pixel squares.
        EXPECT_NE(checker(0, 199), checker(15, 199));
        EXPECT_EQ(checker(0, 199), checker(14, 199));

        // A 600 x 400 picture fits at 0.5 and fills the view exactly.
        synth::Page big = Solid(600, 400, synth::Rgb(0, 160, 0));
        big.FillRect(synth::Rect{300, 0, 600, 400}, synth::Rgb(0, 0, 200));
        host.view.SetImage(big.Data(), big.width, big.height);
        host.view.FitToWindow();
        ASSERT_FLOAT_EQ(host.view.Zoom(), 0.5f);
        shot = Grab(host.view);
        EXPECT_EQ(shot.pixel(10, 100), qRgb(0, 160, 0));
        EXPECT_EQ(shot.pixel(148, 100), qRgb(0, 160, 0));
        EXPECT_EQ(shot.pixel(151, 100), qRgb(0, 0, 200));
        EXPECT_EQ(shot.pixel(290, 190), qRgb(0, 0, 200));

        // The box while it is drawn: a dashed black outline, the picture
        // inside and outside it untouched.
        ASSERT_TRUE(drive.MouseDown(IDC_VIEW, POINT{40, 30}));
        ASSERT_TRUE(drive.MouseMove(IDC_VIEW, POINT{240, 170}));
        shot = Grab(host.view);
        int black = 0, other = 0;
        for (int x = 40; x < 240; ++x) {
            for (int y : {30, 169}) (shot.pixel(x, y) == qRgb(0, 0, 0) ? black : other)++;
        }
        EXPECT_GT(black, 200) << "mostly drawn";
        EXPECT_GT(other, 20) << "with gaps: dashed";
        EXPECT_EQ(shot.pixel(100, 100), qRgb(0, 160, 0));
        EXPECT_EQ(shot.pixel(100, 29), qRgb(0, 160, 0));
        ASSERT_TRUE(drive.MouseUp(IDC_VIEW, POINT{240, 170}));
        shot = Grab(host.view);
        EXPECT_EQ(shot.pixel(100, 30), qRgb(0, 160, 0)) << "the box goes with the button";
    });
    ASSERT_EQ(host.added.size(), 1u);
    const RECT r = host.added[0]->Params<CropOpParams>()->rect;
    EXPECT_EQ(r.left, 80);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right, 480);
    EXPECT_EQ(r.bottom, 340);
}
