#include "platform/gdi/Gdi.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const CPen& DefaultPen() {
    static const CPen pen(PS_SOLID, 1, RGB(0, 0, 0));
    return pen;
}
const CBrush& DefaultBrush() {
    static const CBrush brush(RGB(255, 255, 255));
    return brush;
}
const CFont& DefaultFont() {
    static const CFont font = [] {
        CFont f;
        f.CreatePointFont(90, L"");
        return f;
    }();
    return font;
}

QString FromWide(const std::wstring& s) { return QString::fromStdWString(s); }

bool IsOneOf(const std::wstring& face, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* n : names)
        if (face == n) return true;
    return false;
}

}  // namespace

namespace gdi {

QString CjkFontFamily() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* candidate :
             {"WenQuanYi Micro Hei", "WenQuanYi Zen Hei", "Noto Sans CJK SC", "Droid Sans Fallback"}) {
            if (installed.contains(QString::fromLatin1(candidate))) return QString::fromLatin1(candidate);
        }
        return QStringLiteral("WenQuanYi Micro Hei");
    }();
    return family;
}

QStringList FontFamiliesFor(const std::wstring& face) {
    const QString cjk = CjkFontFamily();
    if (face.empty() || IsOneOf(face, {L"宋体", L"新宋体", L"黑体", L"微软雅黑", L"楷体", L"仿宋", L"SimSun", L"NSimSun",
                                        L"SimHei", L"Microsoft YaHei", L"KaiTi", L"FangSong", L"MS Shell Dlg",
                                        L"MS Shell Dlg 2", L"System"}))
        return {cjk, QStringLiteral("DejaVu Sans")};
    if (IsOneOf(face, {L"Arial", L"Helvetica", L"Tahoma", L"Verdana", L"Segoe UI", L"Microsoft Sans Serif"}))
        return {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans"), cjk};
    if (IsOneOf(face, {L"Times New Roman"}))
        return {QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif"), cjk};
    if (IsOneOf(face, {L"Courier New", L"Consolas"}))
        return {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono"), cjk};
    return {FromWide(face), QStringLiteral("DejaVu Sans"), cjk};
}

QString ElidePath(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const qsizetype sep = std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
    if (sep < 0) return metrics.elidedText(text, Qt::ElideRight, width);
    const QString tail = text.mid(sep);
    const QString dots = QStringLiteral("...");
    for (qsizetype keep = sep - 1; keep >= 0; --keep) {
        const QString candidate = text.left(keep) + dots + tail;
        if (metrics.horizontalAdvance(candidate) <= width) return candidate;
    }
    return dots + tail;
}

}  // namespace gdi

bool CPen::CreatePen(int style, int width, COLORREF color) {
    style_ = style;
    width_ = width;
    color_ = color;
    created_ = true;
    return true;
}

bool CBrush::CreateSolidBrush(COLORREF color) {
    color_ = color;
    hollow_ = false;
    created_ = true;
    return true;
}

CBrush* CBrush::Hollow() {
    static CBrush hollow = [] {
        CBrush b;
        b.created_ = true;
        b.hollow_ = true;
        return b;
    }();
    return &hollow;
}

bool CFont::CreateFontIndirect(const LOGFONTW& lf) {
    lf_ = lf;
    pointSizeTenths_ = 0;
    created_ = true;
    return true;
}

bool CFont::CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                       BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision,
                       BYTE quality, BYTE pitchAndFamily, const wchar_t* faceName) {
    LOGFONTW lf;
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfUnderline = underline;
    lf.lfStrikeOut = strikeOut;
    lf.lfCharSet = charSet;
    lf.lfOutPrecision = outPrecision;
    lf.lfClipPrecision = clipPrecision;
    lf.lfQuality = quality;
    lf.lfPitchAndFamily = pitchAndFamily;
    lf.lfFaceName = faceName ? faceName : L"";
    return CreateFontIndirect(lf);
}

bool CFont::CreatePointFont(int pointSizeTenths, const wchar_t* faceName) {
    lf_ = LOGFONTW();
    lf_.lfFaceName = faceName ? faceName : L"";
    pointSizeTenths_ = pointSizeTenths;
    created_ = true;
    return true;
}

QFont CFont::ToQFont() const {
    QFont font;
    font.setFamilies(gdi::FontFamiliesFor(lf_.lfFaceName));
    int pixels = 12;
    if (pointSizeTenths_ > 0) {
        pixels = static_cast<int>(std::lround(pointSizeTenths_ / 10.0 * 96.0 / 72.0));
    } else if (lf_.lfHeight < 0) {
        pixels = -lf_.lfHeight;
    } else if (lf_.lfHeight > 0) {
        // A positive height is the cell (ascent + descent); the pixel size of a
        // Qt font is the character height, so scale by the font's own ratio.
        QFont probe = font;
        probe.setPixelSize(100);
        const double cell = QFontMetricsF(probe).height();
        pixels = cell > 0 ? static_cast<int>(std::lround(lf_.lfHeight * 100.0 / cell)) : lf_.lfHeight;
    }
    font.setPixelSize(std::max(1, pixels));
    if (lf_.lfWeight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(lf_.lfWeight, 1, 1000)));
    font.setItalic(lf_.lfItalic != 0);
    font.setUnderline(lf_.lfUnderline != 0);
    font.setStrikeOut(lf_.lfStrikeOut != 0);
    if (lf_.lfQuality == NONANTIALIASED_QUALITY) font.setStyleStrategy(QFont::NoAntialias);
    if (lf_.lfQuality == ANTIALIASED_QUALITY) font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

CDC::CDC() : pen_(&DefaultPen()), brush_(&DefaultBrush()), font_(&DefaultFont()) {}

CDC::CDC(QPaintDevice* device) : CDC() { device_ = device; }

CDC::CDC(gdi::Dib24& dib) : CDC() {
    if (!dib.IsNull()) {
        device_ = &dib.Image();
        dib_ = &dib;
    }
}

CDC::~CDC() {
    if (painter_) painter_->end();
}

QPainter* CDC::Painter() {
    if (!painter_ && device_) {
        painter_ = std::make_unique<QPainter>(device_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
    }
    return painter_.get();
}

COLORREF CDC::SetTextColor(COLORREF color) { return std::exchange(textColor_, color); }
COLORREF CDC::SetBkColor(COLORREF color) { return std::exchange(bkColor_, color); }
int CDC::SetBkMode(int mode) { return std::exchange(bkMode_, mode); }

const CPen* CDC::SelectObject(const CPen* pen) { return std::exchange(pen_, pen ? pen : &DefaultPen()); }
const CBrush* CDC::SelectObject(const CBrush* brush) {
    return std::exchange(brush_, brush ? brush : &DefaultBrush());
}
const CFont* CDC::SelectObject(const CFont* font) { return std::exchange(font_, font ? font : &DefaultFont()); }

QFont CDC::CurrentFont() const { return (font_->IsCreated() ? *font_ : DefaultFont()).ToQFont(); }

void CDC::FillInside(int left, int top, int right, int bottom) {
    if (brush_->IsHollow() || right <= left || bottom <= top) return;
    Painter()->fillRect(QRect(left, top, right - left, bottom - top), gdi::ToQColor(brush_->Color()));
}

// Solid one-pixel line from (x0, y0) towards (x1, y1), the end point excluded.
void CDC::PixelRun(int x0, int y0, int x1, int y1) {
    QPainter* p = Painter();
    const QColor color = gdi::ToQColor(pen_->Color());
    if (y0 == y1) {
        if (x1 > x0) p->fillRect(QRect(x0, y0, x1 - x0, 1), color);
        else if (x1 < x0) p->fillRect(QRect(x1 + 1, y0, x0 - x1, 1), color);
        return;
    }
    if (x0 == x1) {
        if (y1 > y0) p->fillRect(QRect(x0, y0, 1, y1 - y0), color);
        else if (y1 < y0) p->fillRect(QRect(x0, y1 + 1, 1, y0 - y1), color);
        return;
    }
    // Bresenham, stopping before the end point.
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    int x = x0, y = y0;
    while (x != x1 || y != y1) {
        p->fillRect(QRect(x, y, 1, 1), color);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void CDC::DrawOutline(const QPainterPath& path) {
    QPainter* p = Painter();
    const int width = std::max(1, pen_->Width());
    QPen pen(gdi::ToQColor(pen_->Color()));
    pen.setWidth(width);
    if (pen_->Style() == PS_DASH || pen_->Style() == PS_DOT) {
        pen.setCosmetic(true);
        pen.setWidth(1);
        pen.setCapStyle(Qt::FlatCap);
        pen.setDashPattern(pen_->Style() == PS_DASH ? QList<qreal>{18, 6} : QList<qreal>{3, 3});
    } else {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    p->strokePath(path, pen);
}

bool CDC::Rectangle(int left, int top, int right, int bottom) {
    if (!Painter()) return false;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (pen_->Style() == PS_NULL) {
        FillInside(left, top, right - 1, bottom - 1);
        return true;
    }
    FillInside(left, top, right, bottom);
    if (right - left < 1 || bottom - top < 1) return true;
    if (pen_->Style() == PS_SOLID && pen_->Width() <= 1) {
        const QColor color = gdi::ToQColor(pen_->Color());
        QPainter* p = Painter();
        p->fillRect(QRect(left, top, right - left, 1), color);
        p->fillRect(QRect(left, bottom - 1, right - left, 1), color);
        p->fillRect(QRect(left, top, 1, bottom - top), color);
        p->fillRect(QRect(right - 1, top, 1, bottom - top), color);
        return true;
    }
    // The pen is centred on the pixel centres of the outline.
    QPainterPath path;
    path.moveTo(left + 0.5, top + 0.5);
    path.lineTo(right - 0.5, top + 0.5);
    path.lineTo(right - 0.5, bottom - 0.5);
    path.lineTo(left + 0.5, bottom - 0.5);
    path.closeSubpath();
    DrawOutline(path);
    return true;
}

POINT CDC::MoveTo(int x, int y) { return std::exchange(position_, POINT{x, y}); }

bool CDC::LineTo(int x, int y) {
    const POINT from = MoveTo(x, y);
    if (!Painter()) return false;
    if (pen_->Style() == PS_NULL) return true;
    if (pen_->Style() == PS_SOLID && pen_->Width() <= 1) {
        PixelRun(from.x, from.y, x, y);
        return true;
    }
    QPainterPath path;
    path.moveTo(from.x + 0.5, from.y + 0.5);
    path.lineTo(x + 0.5, y + 0.5);
    DrawOutline(path);
    return true;
}

void CDC::FillSolidRect(const RECT& r, COLORREF color) {
    // As on Windows, this leaves the colour as the background colour.
    bkColor_ = color;
    if (!Painter() || r.right <= r.left || r.bottom <= r.top) return;
    Painter()->fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), gdi::ToQColor(color));
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
    FillSolidRect(RECT{x, y, x + cx, y + cy}, color);
}

int CDC::FillRect(const RECT& r, const CBrush* brush) {
    if (!Painter() || !brush || brush->IsHollow() || r.right <= r.left || r.bottom <= r.top) return 0;
    Painter()->fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), gdi::ToQColor(brush->Color()));
    return 1;
}

int CDC::DrawText(const std::wstring& text, RECT& r, UINT format) {
    const QFont font = CurrentFont();
    const QFontMetrics metrics(font);
    QString shown = FromWide(text);
    const QRect box(r.left, r.top, r.right - r.left, r.bottom - r.top);
    if (format & DT_PATH_ELLIPSIS) shown = gdi::ElidePath(shown, metrics, box.width());
    else if (format & DT_END_ELLIPSIS) shown = metrics.elidedText(shown, Qt::ElideRight, box.width());

    int flags = 0;
    if (format & DT_CENTER) flags |= Qt::AlignHCenter;
    else if (format & DT_RIGHT) flags |= Qt::AlignRight;
    else flags |= Qt::AlignLeft;
    if (format & DT_SINGLELINE) {
        flags |= Qt::TextSingleLine;
        if (format & DT_VCENTER) flags |= Qt::AlignVCenter;
        else if (format & DT_BOTTOM) flags |= Qt::AlignBottom;
        else flags |= Qt::AlignTop;
    } else {
        flags |= Qt::AlignTop;
    }
    if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
    if (format & DT_NOCLIP) flags |= Qt::TextDontClip;

    if (format & DT_CALCRECT) {
        const QRect bounds = metrics.boundingRect(box.width() > 0 ? box : QRect(box.topLeft(), QSize(1 << 20, 1 << 20)),
                                                  flags, shown);
        r.right = r.left + bounds.width();
        r.bottom = r.top + bounds.height();
        return bounds.height();
    }
    QPainter* p = Painter();
    if (!p) return 0;
    p->save();
    p->setFont(font);
    p->setPen(gdi::ToQColor(textColor_));
    if (bkMode_ == OPAQUE) {
        p->setBackgroundMode(Qt::OpaqueMode);
        p->setBackground(gdi::ToQColor(bkColor_));
    }
    QRect drawn;
    p->drawText(box, flags, shown, &drawn);
    p->restore();
    return drawn.height();
}

bool CDC::TextOut(int x, int y, const std::wstring& text) {
    QPainter* p = Painter();
    if (!p) return false;
    const QFont font = CurrentFont();
    const QFontMetrics metrics(font);
    const QString shown = FromWide(text);
    if (bkMode_ == OPAQUE)
        p->fillRect(QRect(x, y, metrics.horizontalAdvance(shown), metrics.height()), gdi::ToQColor(bkColor_));
    p->save();
    p->setFont(font);
    p->setPen(gdi::ToQColor(textColor_));
    p->drawText(QPoint(x, y + metrics.ascent()), shown);
    p->restore();
    return true;
}

SIZE CDC::GetTextExtent(const std::wstring& text) {
    const QFontMetrics metrics(CurrentFont());
    return SIZE{metrics.horizontalAdvance(FromWide(text)), metrics.height()};
}

bool CDC::BitBlt(int x, int y, int width, int height, CDC* source, int sx, int sy, DWORD rop) {
    if (rop != SRCCOPY || !source || !source->dib_ || !Painter()) return false;
    if (source->painter_) {
        source->painter_->end();
        source->painter_.reset();
    }
    QPainter* p = Painter();
    p->save();
    p->setCompositionMode(QPainter::CompositionMode_Source);
    p->drawImage(QPoint(x, y), source->dib_->Image(), QRect(sx, sy, width, height));
    p->restore();
    return true;
}

void CDC::DrawImage(int x, int y, const QImage& image) {
    QPainter* p = Painter();
    if (!p) return;
    p->save();
    p->setCompositionMode(QPainter::CompositionMode_Source);
    p->drawImage(QPoint(x, y), image);
    p->restore();
}

COLORREF CDC::GetPixel(int x, int y) const { return dib_ ? dib_->GetPixel(x, y) : 0xFFFFFFFF; }

COLORREF CDC::SetPixel(int x, int y, COLORREF color) {
    if (!dib_) return 0xFFFFFFFF;
    if (painter_) painter_->fillRect(QRect(x, y, 1, 1), gdi::ToQColor(color));
    else dib_->SetPixel(x, y, color);
    return color;
}
