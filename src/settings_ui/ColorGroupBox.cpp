#include "settings_ui/ColorGroupBox.h"

#include <QPalette>
#include <QWidget>

CColorGroupBox::CColorGroupBox() { font_.CreatePointFont(100, L"微软雅黑"); }

void CColorGroupBox::OnPaint(CDC& dc) {
    RECT client;
    GetClientRect(&client);
    CPen pen(PS_SOLID, 1, highlighted_ ? kOnFrame : kOffFrame);
    const CPen* oldPen = dc.SelectObject(&pen);
    const CBrush* oldBrush = dc.SelectObject(CBrush::Hollow());
    const CFont* oldFont = dc.SelectObject(&font_);
    dc.Rectangle(client.left, 7, client.right, client.bottom);

    // The caption sits on the frame line in the colour of the page behind it.
    COLORREF behind = RGB(240, 240, 240);
    if (QWidget* w = Widget(); w && w->parentWidget())
        behind = gdi::FromQColor(w->parentWidget()->palette().color(QPalette::Window));
    dc.SetBkColor(behind);
    dc.SetBkMode(OPAQUE);
    dc.SetTextColor(highlighted_ ? kOnText : kOffText);
    dc.TextOut(10, 0, GetWindowText());

    dc.SelectObject(oldFont);
    dc.SelectObject(oldBrush);
    dc.SelectObject(oldPen);
}
