#include "tools/SealDrawer.h"

#include "platform/gdi/Dib.h"
#include "platform/gdi/Gdi.h"

namespace {

constexpr BYTE kSwissFamily = 0x20;

void CreateSealFont(CFont& font, int height, const std::wstring& face) {
    font.CreateFont(height, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, kSwissFamily,
                    face.c_str());
}

}  // namespace

bool CSealDrawer::Draw(BYTE* bits, const SealLayout& l, const SealSettings& s, const SealTexts& texts) {
    if (!bits || l.width <= 0 || l.height <= 0) return false;
    gdi::Dib24 dib = gdi::Dib24::FromBottomUp(bits, l.width, l.height);
    if (dib.IsNull()) return false;
    {
        CDC dc(dib);
        CPen pen(PS_SOLID, l.penWidth, s.lineColor);
        const CPen* oldPen = dc.SelectObject(&pen);
        dc.Rectangle(l.frame);
        dc.MoveTo(l.dividerX, l.half);
        dc.LineTo(l.dividerX, l.height - l.penWidth);
        dc.MoveTo(l.half, l.height / 2);
        dc.LineTo(l.width - l.penWidth, l.height / 2);
        dc.SelectObject(oldPen);

        dc.SetBkMode(TRANSPARENT);
        const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        CFont labelFont;
        CreateSealFont(labelFont, l.labelHeight, s.titleFontName);
        const CFont* oldFont = dc.SelectObject(&labelFont);
        dc.SetTextColor(s.lineColor);
        for (int i = 0; i < 2; ++i) {
            RECT cell = l.labelCells[i];
            dc.DrawText(texts.labels[i], cell, format);
        }
        CFont valueFont;
        CreateSealFont(valueFont, l.valueHeight, s.numberFontName);
        dc.SelectObject(&valueFont);
        dc.SetTextColor(s.textColor);
        for (int i = 0; i < 2; ++i) {
            RECT cell = l.valueCells[i];
            dc.DrawText(texts.values[i], cell, format);
        }
        dc.SelectObject(oldFont);
    }
    dib.CopyToBottomUp(bits);
    return true;
}
