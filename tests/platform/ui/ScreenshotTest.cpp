// One small dialog rendered offscreen to a PNG file and checked by pixels:
// Chinese text drawn in the installed CJK font, a text colour chosen by the
// dialog, and a control that paints itself through a device context.
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>

#include "UiFixture.h"
#include "support/TempDir.h"

namespace {

enum { IDC_PLAIN = 10, IDC_ORANGE = 11, IDC_PAINTED = 12, IDC_GROUP = 13 };

const DialogTemplate kShotTemplate = {
    900,
    L"截图",
    200,
    80,
    {
        {IDC_PLAIN, Ctl::Static, L"中文测试", 5, 5, 80, 12},
        {IDC_ORANGE, Ctl::Static, L"处理完成", 5, 25, 80, 12},
        {IDC_PAINTED, Ctl::Static, L"", 100, 5, 60, 40},
        {IDC_GROUP, Ctl::GroupBox, L"分组", 5, 45, 90, 30},
    },
};

constexpr COLORREF kOrange = RGB(200, 127, 0);

class PaintedStatic : public CStatic {
protected:
    void OnPaint(CDC& dc) override {
        RECT r;
        GetClientRect(&r);
        CBrush yellow(RGB(255, 255, 0));
        dc.FillRect(r, &yellow);
        CPen red(PS_SOLID, 1, RGB(255, 0, 0));
        dc.SelectObject(&red);
        dc.SelectObject(CBrush::Hollow());
        dc.Rectangle(r);
    }
};

class ShotDialog : public CDialog {
public:
    ShotDialog() : CDialog(kShotTemplate) {}
    PaintedStatic painted;

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_PAINTED, painted); }
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override {
        if (ctlColor == CTLCOLOR_STATIC && window->GetDlgCtrlID() == IDC_ORANGE) dc->SetTextColor(kOrange);
        return nullptr;
    }
};

// Pixels that differ from the background.
QImage InkMask(const QImage& image, QRgb background) {
    QImage mask(image.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int d = std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) +
                          std::abs(qBlue(p) - qBlue(background));
            mask.setPixel(x, y, d > 60 ? 255 : 0);
        }
    return mask;
}

}  // namespace

TEST_F(UiTest, ScreenshotOfADialogWithChineseTextInTheCjkFont) {
    testdata::TempDir dir;
    const QString file = QString::fromStdString(dir.file("dialog.png"));
    ShotDialog dlg;
    QRect plainRect, orangeRect, paintedRect;
    QFont plainFont;
    QColor plainText, background;
    OnNextModal([&](CDialog& d) {
        QWidget* window = d.Widget();
        auto* plain = dynamic_cast<QLabel*>(d.GetDlgItem(IDC_PLAIN)->Widget());
        ASSERT_NE(plain, nullptr);
        const QPoint origin = d.ClientWidget()->mapTo(window, QPoint(0, 0));
        plainRect = plain->geometry().translated(origin);
        orangeRect = d.GetDlgItem(IDC_ORANGE)->Widget()->geometry().translated(origin);
        paintedRect = d.GetDlgItem(IDC_PAINTED)->Widget()->geometry().translated(origin);
        plainFont = plain->font();
        plainText = plain->palette().color(QPalette::WindowText);
        background = window->palette().color(QPalette::Window);
        ASSERT_TRUE(window->grab().save(file, "PNG"));
        d.EndDialog(IDOK);
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);

    const QImage shot(file);
    ASSERT_FALSE(shot.isNull()) << "the PNG file reads back";
    EXPECT_EQ(shot.width(), CWnd::DluToPixelsX(200));
    EXPECT_EQ(shot.height(), CWnd::DluToPixelsY(80));

    // The plain label is drawn in the CJK font: its ink is what that font
    // draws for the text, pixel for pixel.
    EXPECT_EQ(QFontInfo(plainFont).family(), gdi::CjkFontFamily());
    const QImage label = shot.copy(plainRect);
    QImage reference(plainRect.size(), QImage::Format_RGB32);
    reference.fill(background);
    {
        QPainter p(&reference);
        p.setFont(plainFont);
        p.setPen(plainText);
        p.drawText(reference.rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QStringLiteral("中文测试"));
    }
    const QImage labelInk = InkMask(label, background.rgb());
    const QImage referenceInk = InkMask(reference, background.rgb());
    int ink = 0, mismatched = 0;
    for (int y = 0; y < labelInk.height(); ++y)
        for (int x = 0; x < labelInk.width(); ++x) {
            const bool a = qGray(labelInk.pixel(x, y)) > 0, b = qGray(referenceInk.pixel(x, y)) > 0;
            ink += a;
            mismatched += a != b;
        }
    EXPECT_GT(ink, 60) << "four Chinese characters leave ink";
    EXPECT_EQ(mismatched, 0);


    // The coloured label's ink is orange: the strongest pixels are near
    // (200, 127, 0), and every clearly inked pixel has orange's order of
    // channels (red above green above blue), none is grey or black.
    const QImage orange = shot.copy(orangeRect);
    const QImage orangeMask = InkMask(orange, background.rgb());
    int orangeInk = 0, nearOrange = 0, notOrange = 0;
    for (int y = 0; y < orange.height(); ++y)
        for (int x = 0; x < orange.width(); ++x) {
            if (qGray(orangeMask.pixel(x, y)) == 0) continue;
            const QRgb p = orange.pixel(x, y);
            ++orangeInk;
            if (std::abs(qRed(p) - 200) + std::abs(qGreen(p) - 127) + qBlue(p) < 40) ++nearOrange;
            if (!(qRed(p) > qGreen(p) && qGreen(p) > qBlue(p) && qRed(p) - qBlue(p) > 25)) ++notOrange;
        }
    EXPECT_GT(orangeInk, 60);
    EXPECT_GT(nearOrange, 10);
    EXPECT_EQ(notOrange, 0);

    // The self-painted control: a red frame around yellow, exactly.
    for (int x = paintedRect.left(); x <= paintedRect.right(); ++x) {
        EXPECT_EQ(shot.pixel(x, paintedRect.top()), qRgb(255, 0, 0)) << x;
        EXPECT_EQ(shot.pixel(x, paintedRect.bottom()), qRgb(255, 0, 0)) << x;
    }
    for (int y = paintedRect.top(); y <= paintedRect.bottom(); ++y) {
        EXPECT_EQ(shot.pixel(paintedRect.left(), y), qRgb(255, 0, 0)) << y;
        EXPECT_EQ(shot.pixel(paintedRect.right(), y), qRgb(255, 0, 0)) << y;
    }
    EXPECT_EQ(shot.pixel(paintedRect.center()), qRgb(255, 255, 0));
    EXPECT_EQ(shot.pixel(paintedRect.left() - 1, paintedRect.center().y()), background.rgb());
}
