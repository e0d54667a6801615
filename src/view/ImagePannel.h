// CImagePannel: the image view of the windows. It shows a copy of one
// picture (24-bit rows, bottom-up, as the processing core hands them over)
// over a checkerboard, never enlarged: the zoom is at most 1.0, the wheel
// moves it in steps of 0.2 between 0.2 and 1.0 about the point under the
// cursor, fitting may go lower. Dragging pans the picture.
//
// In a window that uses the view as its drawing surface (the manual window,
// through IImagePannelTools) the view is also the erase and crop tool: a drag
// on the erase page draws a dashed box and erases inside or outside it, a
// short click picks the erase colour from the image, a drag on the crop page
// crops to the box. Elsewhere (the settings preview, the scan window) it only
// shows, pans and zooms.
//
// The zoomed picture is sampled once per change of picture or zoom into a
// display bitmap; painting, panning and the box only copy bitmaps.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/gdi/Dib.h"
#include "platform/gdi/Gdi.h"
#include "platform/ui/Controls.h"
#include "processing/ManualOperation.h"

// The pages of the manual window on which the view is a tool.
constexpr int kViewErasePage = 8;
constexpr int kViewCropPage = 10;

// What the view needs of a window that uses it as a tool surface. The view
// finds it by a type check of the window it lies in.
class IImagePannelTools {
public:
    virtual ~IImagePannelTools() = default;
    // The tool page shown (kViewErasePage, kViewCropPage or another).
    virtual int ShownPageIndex() const = 0;
    // The window's current picture (bottom-up 24-bit rows); null without one.
    virtual const BYTE* CurrentImageBits(std::int32_t* width, std::int32_t* height) const = 0;
    // Runs and records an operation built by the view.
    virtual void AddOperation(std::unique_ptr<ManualOperation> operation) = 0;
    // The erase and crop pages, which set their cursors when the view posts
    // them WM_SETCURSOR.
    virtual CWnd* ErasePage() = 0;
    virtual CWnd* CropPage() = 0;
    // The erase colour was picked from the picture: show it.
    virtual void OnEraseColourPicked() = 0;
};

class CImagePannel : public CStatic {
public:
    CImagePannel();
    ~CImagePannel() override;

    // Shows a copy of the picture (24-bit rows bottom-up); zoom and scroll
    // stay. Null bits or a size that is not positive leave the view empty
    // (the previous picture is released all the same).
    void SetImage(const BYTE* bits, std::int32_t width, std::int32_t height);
    void ReleaseImage();
    // Zoom 1.0, or the largest zoom at which the whole picture fits the
    // client area; then centred.
    void FitToWindow();
    void CenterImage();
    // Rebuilds the display bitmap when the picture or the zoom changed (or
    // always with `force`).
    void Render(bool force);

    // The operations of the tools, from the box's start and end points
    // (client coordinates).
    void AddEraseInsideOperation(POINT start, POINT end);
    void AddEraseOutsideOperation(POINT start, POINT end);
    void AddCropOperation(POINT start, POINT end);
    // The box in image pixels (rows counted from the top): the box clipped to
    // the picture, (0, 0, 0, 0) before conversion when it misses it.
    RECT BandToImageRect(POINT start, POINT end) const;

    bool HasImage() const { return held_; }
    std::int32_t ImageWidth() const { return width_; }
    std::int32_t ImageHeight() const { return height_; }
    float Zoom() const { return zoom_; }
    POINT Scroll() const { return POINT{scrollX_, scrollY_}; }
    bool BandActive() const { return band_; }
    // The display bitmap (the zoomed picture in its top-left corner).
    const gdi::Dib24& DisplayBitmap() const { return display_; }

    // The checkerboard's grey at a client point (rows counted from the top
    // of a client area `clientHeight` high).
    static BYTE CheckerGrey(int x, int y, int clientHeight);

protected:
    void PreSubclassWindow() override;
    void OnPaint(CDC& dc) override;
    void OnLButtonDown(UINT flags, POINT point) override;
    void OnMouseMove(UINT flags, POINT point) override;
    void OnLButtonUp(UINT flags, POINT point) override;
    bool OnMouseWheel(UINT flags, short delta, POINT screenPoint) override;

private:
    IImagePannelTools* Tools() const;
    // Width and height of the zoomed picture.
    std::int32_t ZoomedWidth() const;
    std::int32_t ZoomedHeight() const;
    void AddBoxOperation(std::int32_t type, POINT start, POINT end);
    void PickColour();
    bool InClient(POINT p) const;

    std::unique_ptr<BYTE[]> bits_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t scrollX_ = 0;  // the zoomed picture's corner is drawn at (-x, -y)
    std::int32_t scrollY_ = 0;
    float zoom_ = 1.0f;
    float anchorX_ = 0.5f;  // the cursor as a fraction of the zoomed picture
    float anchorY_ = 0.5f;
    bool dragging_ = false;
    POINT last_{};
    bool band_ = false;
    POINT bandStart_{};
    POINT bandEnd_{};
    gdi::Dib24 display_;
    gdi::Dib24 backBuffer_;
    CPen bandPen_;
    bool dirty_ = true;
    bool held_ = false;
};
