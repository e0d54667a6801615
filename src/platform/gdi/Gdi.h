// Drawing with the vocabulary the dialogs and the seal are written in (device
// context, pens, brushes, fonts), on QPainter. A CDC draws on a Dib24, on a
// widget while it paints, or on nothing at all (then it only holds the text and
// background colours a control asks its dialog for).
//
// Pixel rules follow the Windows ones where results are looked at closely:
// rectangles include their left and top edge and exclude the right and bottom
// one; a one-pixel line excludes its end point; wide pens are centred on the
// figure's edge; a dashed one-pixel pen draws 18 pixels on and 6 off.
#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>

#include <memory>
#include <string>

#include "platform/core/WinTypes.h"
#include "platform/gdi/Dib.h"

class QPainter;
class QPaintDevice;

struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};

namespace gdi {

inline QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline COLORREF FromQColor(const QColor& c) {
    return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}

// Font families to ask for in place of a face name: the name itself, then the
// installed fonts that stand in for it ("宋体", "微软雅黑" and the other
// Chinese faces map to the installed CJK font; Arial to a metric-compatible
// sans font), ending with the CJK font so Chinese text always has glyphs.
QStringList FontFamiliesFor(const std::wstring& faceName);
// The installed font that draws Chinese text.
QString CjkFontFamily();

// Shortens a path to fit `width` pixels the way path ellipsis does: the
// start of the text, "...", then everything from the last separator ('/' or
// '\\') on; without a separator the end is cut. Text that fits is kept.
QString ElidePath(const QString& text, const class QFontMetrics& metrics, int width);

}  // namespace gdi

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_NULL = 5;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Font weights and qualities.
constexpr int FW_DONTCARE = 0;
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;

// DrawText formats.
constexpr UINT DT_TOP = 0x0;
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_BOTTOM = 0x8;
constexpr UINT DT_WORDBREAK = 0x10;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_NOCLIP = 0x100;
constexpr UINT DT_CALCRECT = 0x400;
constexpr UINT DT_PATH_ELLIPSIS = 0x4000;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

constexpr DWORD SRCCOPY = 0x00CC0020;

class CPen {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    bool CreatePen(int style, int width, COLORREF color);
    void DeleteObject() { created_ = false; }
    bool IsCreated() const { return created_; }
    int Style() const { return style_; }
    int Width() const { return width_; }
    COLORREF Color() const { return color_; }

private:
    bool created_ = false;
    int style_ = PS_SOLID;
    int width_ = 1;
    COLORREF color_ = 0;
};

class CBrush {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    bool CreateSolidBrush(COLORREF color);
    void DeleteObject() { created_ = false; }
    bool IsCreated() const { return created_; }
    bool IsHollow() const { return hollow_; }
    COLORREF Color() const { return color_; }
    // The stock brush that paints nothing.
    static CBrush* Hollow();

private:
    bool created_ = false;
    bool hollow_ = false;
    COLORREF color_ = 0;
};

// A brush handed back by a control-colour handler; null means "the default".
using HBRUSH = const CBrush*;

struct LOGFONTW {
    LONG lfHeight = 0;  // > 0: cell height in pixels; < 0: character height; 0: default
    LONG lfWidth = 0;
    LONG lfEscapement = 0;
    LONG lfOrientation = 0;
    LONG lfWeight = FW_DONTCARE;
    BYTE lfItalic = 0;
    BYTE lfUnderline = 0;
    BYTE lfStrikeOut = 0;
    BYTE lfCharSet = DEFAULT_CHARSET;
    BYTE lfOutPrecision = 0;
    BYTE lfClipPrecision = 0;
    BYTE lfQuality = DEFAULT_QUALITY;
    BYTE lfPitchAndFamily = 0;
    std::wstring lfFaceName;
};

class CFont {
public:
    CFont() = default;
    bool CreateFontIndirect(const LOGFONTW& lf);
    bool CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                    BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision,
                    BYTE quality, BYTE pitchAndFamily, const wchar_t* faceName);
    // Size in tenths of a point (96 pixels per inch), as for dialog fonts.
    bool CreatePointFont(int pointSizeTenths, const wchar_t* faceName);
    void DeleteObject() { created_ = false; }
    bool IsCreated() const { return created_; }
    const LOGFONTW& LogFont() const { return lf_; }
    // The Qt font that draws it: families from FontFamiliesFor, pixel size from
    // the height (a positive height is the whole cell, ascent plus descent).
    QFont ToQFont() const;

private:
    bool created_ = false;
    LOGFONTW lf_;
    int pointSizeTenths_ = 0;
};

class CDC {
public:
    // Without a device: only holds colours and selected objects.
    CDC();
    explicit CDC(QPaintDevice* device);
    explicit CDC(gdi::Dib24& dib);
    ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // Device state, Windows defaults: black text on white, opaque background,
    // a black one-pixel pen, a white brush, the default font.
    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return textColor_; }
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetBkColor() const { return bkColor_; }
    int SetBkMode(int mode);
    int GetBkMode() const { return bkMode_; }
    // Select objects (not owned); return the previous ones (never null).
    const CPen* SelectObject(const CPen* pen);
    const CBrush* SelectObject(const CBrush* brush);
    const CFont* SelectObject(const CFont* font);

    // Outline with the pen, inside with the brush.
    bool Rectangle(int left, int top, int right, int bottom);
    bool Rectangle(const RECT& r) { return Rectangle(r.left, r.top, r.right, r.bottom); }
    POINT MoveTo(int x, int y);
    bool LineTo(int x, int y);
    void FillSolidRect(const RECT& r, COLORREF color);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    int FillRect(const RECT& r, const CBrush* brush);
    // Text in the selected font and text colour (background by the mode).
    // Returns the height of the text; with DT_CALCRECT only measures and
    // sets `r`'s right and bottom.
    int DrawText(const std::wstring& text, RECT& r, UINT format);
    bool TextOut(int x, int y, const std::wstring& text);
    SIZE GetTextExtent(const std::wstring& text);
    // Copies a block from another device context that draws on a Dib24.
    bool BitBlt(int x, int y, int width, int height, CDC* source, int sx, int sy, DWORD rop = SRCCOPY);
    // Draws a whole image at (x, y).
    void DrawImage(int x, int y, const QImage& image);
    // Pixels, only on a Dib24 target (CLR_INVALID elsewhere).
    COLORREF GetPixel(int x, int y) const;
    COLORREF SetPixel(int x, int y, COLORREF color);

    bool HasDevice() const { return device_ != nullptr; }
    gdi::Dib24* Dib() const { return dib_; }
    // The painter, begun on first use.
    QPainter* Painter();

private:
    QFont CurrentFont() const;
    void DrawOutline(const class QPainterPath& path);
    void FillInside(int left, int top, int right, int bottom);
    void PixelRun(int x0, int y0, int x1, int y1);  // one-pixel solid line, end excluded

    QPaintDevice* device_ = nullptr;
    gdi::Dib24* dib_ = nullptr;
    std::unique_ptr<QPainter> painter_;
    COLORREF textColor_ = RGB(0, 0, 0);
    COLORREF bkColor_ = RGB(255, 255, 255);
    int bkMode_ = OPAQUE;
    const CPen* pen_;
    const CBrush* brush_;
    const CFont* font_;
    POINT position_;
};
