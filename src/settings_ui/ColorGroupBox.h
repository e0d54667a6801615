// The group box of a numbered step: a thin frame with the step's caption,
// orange with a green caption while the step is switched on, light grey with
// a black caption otherwise.
#pragma once

#include "platform/gdi/Gdi.h"
#include "platform/ui/Controls.h"

class CColorGroupBox : public CStatic {
public:
    static constexpr COLORREF kOnFrame = RGB(200, 127, 0);
    static constexpr COLORREF kOffFrame = RGB(220, 220, 220);
    static constexpr COLORREF kOnText = RGB(0, 180, 0);
    static constexpr COLORREF kOffText = RGB(0, 0, 0);

    CColorGroupBox();

    // Set by the owning page; the box is repainted by the caller.
    void SetHighlighted(bool on) { highlighted_ = on ? 1 : 0; }
    bool IsHighlighted() const { return highlighted_ != 0; }

protected:
    void OnPaint(CDC& dc) override;

private:
    BYTE highlighted_ = 0;
    CFont font_;
};
