// The image view. The numbers follow the view's rules exactly: zooms and
// anchors in single precision, scrolls truncated, bilinear samples in double
// precision truncated, so that fits, wheel steps and box rectangles are the
// same figures on every machine.
#include "view/ImagePannel.h"

#include <QWidget>

#include <algorithm>
#include <cstring>

#include "platform/gdi/Dib.h"
#include "settings/ManualSetting.h"

namespace {

constexpr float kZoomStep = 0.2f;
constexpr float kMinWheelZoom = 0.2f;
constexpr float kMaxZoom = 1.0f;
// A release this close to the press (sum of both distances) is a click.
constexpr int kPickDistance = 10;
constexpr int kCheckerSquare = 15;
constexpr BYTE kCheckerLight = 255;
constexpr BYTE kCheckerDark = 200;
constexpr BYTE kDisplayGrey = 128;
constexpr UINT HTCLIENT = 1;

std::size_t Stride24(std::int32_t width) { return gdi::Dib24::Stride(width); }

}  // namespace

CImagePannel::CImagePannel() = default;

CImagePannel::~CImagePannel() { ReleaseImage(); }

void CImagePannel::PreSubclassWindow() {
    // Moves without a button pressed tell the tool pages where the cursor is.
    if (QWidget* w = Widget()) w->setMouseTracking(true);
}

IImagePannelTools* CImagePannel::Tools() const { return dynamic_cast<IImagePannelTools*>(GetParent()); }

std::int32_t CImagePannel::ZoomedWidth() const { return static_cast<std::int32_t>(static_cast<float>(width_) * zoom_); }
std::int32_t CImagePannel::ZoomedHeight() const {
    return static_cast<std::int32_t>(static_cast<float>(height_) * zoom_);
}

// ---- Picture ----------------------------------------------------------------

void CImagePannel::ReleaseImage() {
    if (!held_) return;
    bits_.reset();
    display_ = gdi::Dib24();
    backBuffer_ = gdi::Dib24();
    bandPen_.DeleteObject();
    width_ = height_ = 0;
    held_ = false;
}

void CImagePannel::SetImage(const BYTE* bits, std::int32_t width, std::int32_t height) {
    ReleaseImage();
    if (!bits || width <= 0 || height <= 0) {
        Invalidate(false);
        return;
    }
    bandPen_.CreatePen(PS_DASH, 1, RGB(0, 0, 0));
    display_ = gdi::Dib24(width, height);
    if (display_.IsNull()) return;  // no memory for the display bitmap: stay empty
    const std::size_t bytes = Stride24(width) * static_cast<std::size_t>(height);
    bits_.reset(new (std::nothrow) BYTE[bytes]);
    if (!bits_) {
        display_ = gdi::Dib24();
        return;
    }
    std::memcpy(bits_.get(), bits, bytes);
    width_ = width;
    height_ = height;
    dirty_ = true;
    held_ = true;
    Invalidate(false);
    UpdateWindow();
}

void CImagePannel::Render(bool force) {
    if (!held_ || (!dirty_ && !force)) return;
    dirty_ = false;
    QImage& out = display_.Image();
    out.fill(QColor(kDisplayGrey, kDisplayGrey, kDisplayGrey));
    const std::int32_t zw = std::min(ZoomedWidth(), width_);
    const std::int32_t zh = std::min(ZoomedHeight(), height_);
    if (zw <= 0 || zh <= 0) return;

    const bool whiteEdge = ManualSetting::values.correct.fillWhite != 0;
    const BYTE edge = whiteEdge ? 255 : 0;
    const std::size_t stride = Stride24(width_);
    const BYTE* src = bits_.get();

    // Each column's source position, the same for every row.
    std::vector<std::int32_t> x0s(static_cast<std::size_t>(zw));
    std::vector<double> dxs(static_cast<std::size_t>(zw));
    for (std::int32_t j = 0; j < zw; ++j) {
        const float x = static_cast<float>(j) / zoom_;
        const std::int32_t x0 = std::min(static_cast<std::int32_t>(x), width_ - 1);
        x0s[static_cast<std::size_t>(j)] = x0;
        dxs[static_cast<std::size_t>(j)] = static_cast<double>(x - static_cast<float>(x0));
    }
    for (std::int32_t i = 0; i < zh; ++i) {
        // Memory row i from the bottom of the display bitmap is its row
        // zh - 1 - i from the top (the zoomed picture sits in the top-left
        // corner).
        BYTE* row = out.scanLine(zh - 1 - i);
        const float y = static_cast<float>(i) / zoom_;
        const std::int32_t y0 = std::min(static_cast<std::int32_t>(y), height_ - 1);
        const double dy = static_cast<double>(y - static_cast<float>(y0));
        const BYTE* r0 = src + static_cast<std::size_t>(y0) * stride;
        const BYTE* r1 = y0 + 1 < height_ ? r0 + stride : r0;
        for (std::int32_t j = 0; j < zw; ++j) {
            BYTE* d = row + 3 * static_cast<std::size_t>(j);
            const std::int32_t x0 = x0s[static_cast<std::size_t>(j)];
            if (x0 == width_ - 1 || y0 == height_ - 1) {
                d[0] = d[1] = d[2] = edge;
                continue;
            }
            const double dx = dxs[static_cast<std::size_t>(j)];
            const BYTE* p00 = r0 + 3 * static_cast<std::size_t>(x0);
            const BYTE* p01 = r1 + 3 * static_cast<std::size_t>(x0);
            for (int c = 0; c < 3; ++c) {
                const double v = (1 - dx) * (1 - dy) * p00[c] + (1 - dx) * dy * p01[c] + (1 - dy) * dx * p00[c + 3] +
                                 dx * dy * p01[c + 3];
                d[c] = static_cast<BYTE>(static_cast<int>(v));
            }
        }
    }
}

BYTE CImagePannel::CheckerGrey(int x, int y, int clientHeight) {
    // The back buffer is bottom-up: its memory row r is client row
    // clientHeight - 1 - r.
    const int r = clientHeight - 1 - y;
    return (((r / kCheckerSquare) ^ (x / kCheckerSquare)) & 1) ? kCheckerLight : kCheckerDark;
}

void CImagePannel::OnPaint(CDC& dc) {
    Render(false);
    RECT client;
    GetClientRect(&client);
    const int cw = client.right, ch = client.bottom;
    if (cw <= 0 || ch <= 0) return;
    if (backBuffer_.Width() != cw || backBuffer_.Height() != ch) backBuffer_ = gdi::Dib24(cw, ch);

    QImage& back = backBuffer_.Image();
    for (int y = 0; y < ch; ++y) {
        BYTE* row = back.scanLine(y);
        for (int x = 0; x < cw; ++x) std::memset(row + 3 * x, CheckerGrey(x, y, ch), 3);
    }

    if (held_) {
        // The zoomed picture lies at client (-scroll x, -scroll y); copy the
        // part of it inside the client area.
        const int zw = std::min(ZoomedWidth(), width_), zh = std::min(ZoomedHeight(), height_);
        const int left = std::max(0, -scrollX_), top = std::max(0, -scrollY_);
        const int right = std::min(cw, zw - scrollX_), bottom = std::min(ch, zh - scrollY_);
        const QImage& picture = display_.Image();
        for (int y = top; y < bottom; ++y)
            std::memcpy(back.scanLine(y) + 3 * left, picture.constScanLine(y + scrollY_) + 3 * (left + scrollX_),
                        3 * static_cast<std::size_t>(right - left));
    }

    if (band_) {
        CDC backDc(backBuffer_);
        backDc.SelectObject(&bandPen_);
        backDc.SelectObject(CBrush::Hollow());
        backDc.Rectangle(bandStart_.x, bandStart_.y, bandEnd_.x, bandEnd_.y);
    }
    dc.DrawImage(0, 0, back);
}

void CImagePannel::CenterImage() {
    RECT client;
    GetClientRect(&client);
    scrollX_ = ZoomedWidth() / 2 - client.right / 2;
    scrollY_ = ZoomedHeight() / 2 - client.bottom / 2;
    Invalidate(false);
}

void CImagePannel::FitToWindow() {
    RECT client;
    GetClientRect(&client);
    zoom_ = kMaxZoom;
    if (client.right > 0 && client.bottom > 0 && (client.right < width_ || client.bottom < height_)) {
        const float byWidth = static_cast<float>(width_) / static_cast<float>(client.right);
        const float byHeight = static_cast<float>(height_) / static_cast<float>(client.bottom);
        zoom_ = 1.0f / std::max(byWidth, byHeight);
    }
    dirty_ = true;
    CenterImage();
}

// ---- Mouse ------------------------------------------------------------------

bool CImagePannel::InClient(POINT p) const {
    RECT client;
    GetClientRect(&client);
    return p.x >= client.left && p.x < client.right && p.y >= client.top && p.y < client.bottom;
}

bool CImagePannel::OnMouseWheel(UINT, short delta, POINT screenPoint) {
    if (!held_) return false;
    POINT cursor = screenPoint;
    ScreenToClient(&cursor);
    if (!InClient(cursor)) return false;
    anchorX_ = static_cast<float>(scrollX_ + cursor.x) / (static_cast<float>(width_) * zoom_);
    anchorY_ = static_cast<float>(scrollY_ + cursor.y) / (static_cast<float>(height_) * zoom_);
    if (delta > 0)
        zoom_ = std::min(zoom_ + kZoomStep, kMaxZoom);
    else if (delta < 0)
        zoom_ = std::max(zoom_ - kZoomStep, kMinWheelZoom);
    dirty_ = true;
    scrollX_ = static_cast<std::int32_t>(static_cast<float>(ZoomedWidth()) * anchorX_) - cursor.x;
    scrollY_ = static_cast<std::int32_t>(static_cast<float>(ZoomedHeight()) * anchorY_) - cursor.y;
    Invalidate(false);
    return true;
}

void CImagePannel::OnLButtonDown(UINT, POINT point) {
    if (!held_) return;
    bandStart_ = bandEnd_ = point;
    if (InClient(point)) {
        SetFocus();  // the mouse stays with the view until the button is up
        last_ = point;
        dragging_ = true;
    }
    if (IImagePannelTools* tools = Tools()) {
        const int page = tools->ShownPageIndex();
        const std::int32_t mode = ManualSetting::values.erase.mode;
        if ((page == kViewErasePage && (mode == manual_setting::kEraseInside || mode == manual_setting::kEraseOutside)) ||
            page == kViewCropPage)
            band_ = true;
    }
}

void CImagePannel::OnMouseMove(UINT, POINT point) {
    if (IImagePannelTools* tools = Tools()) {
        const int page = tools->ShownPageIndex();
        CWnd* target = page == kViewErasePage ? tools->ErasePage() : page == kViewCropPage ? tools->CropPage() : nullptr;
        // The tool pages choose the cursor over the view; elsewhere it is the
        // arrow again.
        if (!target && Widget()) Widget()->unsetCursor();
        if (target && target->GetSafeHwnd())
            ::PostMessage(target->GetSafeHwnd(), WM_SETCURSOR, static_cast<WPARAM>(GetSafeHwnd().value),
                          MAKELPARAM(HTCLIENT, static_cast<WORD>(WM_MOUSEMOVE)));
    }
    if (!dragging_) return;
    if (band_) {
        bandEnd_ = point;
    } else {
        scrollX_ += last_.x - point.x;
        scrollY_ += last_.y - point.y;
        last_ = point;
    }
    Invalidate(false);
}

void CImagePannel::OnLButtonUp(UINT, POINT point) {
    const bool wasDragging = dragging_;
    dragging_ = false;
    if (!held_ || !wasDragging) {
        band_ = false;
        return;
    }
    // The release point ends the box, and tells a click (colour pick) from a
    // drag that panned the picture.
    bandEnd_ = point;
    if (IImagePannelTools* tools = Tools()) {
        const int page = tools->ShownPageIndex();
        const std::int32_t mode = ManualSetting::values.erase.mode;
        if (page == kViewErasePage && band_) {
            if (mode == manual_setting::kEraseInside)
                AddEraseInsideOperation(bandStart_, bandEnd_);
            else if (mode == manual_setting::kEraseOutside)
                AddEraseOutsideOperation(bandStart_, bandEnd_);
        } else if (page == kViewErasePage && mode == manual_setting::kErasePick) {
            PickColour();
        } else if (page == kViewCropPage) {
            AddCropOperation(bandStart_, bandEnd_);
        }
    }
    band_ = false;
    Invalidate(false);
}

void CImagePannel::PickColour() {
    if (std::abs(bandStart_.x - bandEnd_.x) + std::abs(bandStart_.y - bandEnd_.y) > kPickDistance) return;
    IImagePannelTools* tools = Tools();
    if (!tools) return;
    const float inverse = 1.0f / zoom_;
    const auto px = static_cast<std::int32_t>(static_cast<float>(bandEnd_.x + scrollX_) * inverse);
    const auto py = static_cast<std::int32_t>(static_cast<float>(bandEnd_.y + scrollY_) * inverse);
    std::int32_t w = 0, h = 0;
    const BYTE* bits = tools->CurrentImageBits(&w, &h);
    if (!bits || px < 0 || px >= w || py < 0 || py >= h) return;
    const BYTE* p = bits + static_cast<std::size_t>(h - 1 - py) * Stride24(w) + 3 * static_cast<std::size_t>(px);
    ManualSetting::values.erase.colour = RGB(p[2], p[1], p[0]);
    tools->OnEraseColourPicked();
}

// ---- Tool operations ----------------------------------------------------------

RECT CImagePannel::BandToImageRect(POINT start, POINT end) const {
    RECT band{std::min(start.x, end.x), std::min(start.y, end.y), std::max(start.x, end.x), std::max(start.y, end.y)};
    const RECT picture{-scrollX_, -scrollY_, ZoomedWidth() - scrollX_, ZoomedHeight() - scrollY_};
    RECT cut{std::max(band.left, picture.left), std::max(band.top, picture.top), std::min(band.right, picture.right),
             std::min(band.bottom, picture.bottom)};
    if (cut.right <= cut.left || cut.bottom <= cut.top) cut = RECT{0, 0, 0, 0};
    const float inverse = 1.0f / zoom_;
    auto toX = [&](LONG x) { return static_cast<LONG>(static_cast<float>(x + scrollX_) * inverse); };
    auto toY = [&](LONG y) { return static_cast<LONG>(static_cast<float>(y + scrollY_) * inverse); };
    return RECT{toX(cut.left), toY(cut.top), toX(cut.right), toY(cut.bottom)};
}

void CImagePannel::AddBoxOperation(std::int32_t type, POINT start, POINT end) {
    IImagePannelTools* tools = Tools();
    if (!tools) return;
    const RECT rect = BandToImageRect(start, end);
    if (type == OpCrop) {
        tools->AddOperation(std::make_unique<ManualOperation>(OpCrop, L"裁剪", CropOpParams{rect}));
    } else {
        EraseOpParams params;
        params.fill = ManualSetting::values.erase.colour;
        params.rect = rect;
        tools->AddOperation(
            std::make_unique<ManualOperation>(type, type == OpEraseInside ? L"擦除框内" : L"擦除框外", params));
    }
    Render(true);
}

void CImagePannel::AddEraseInsideOperation(POINT start, POINT end) { AddBoxOperation(OpEraseInside, start, end); }
void CImagePannel::AddEraseOutsideOperation(POINT start, POINT end) { AddBoxOperation(OpEraseOutside, start, end); }
void CImagePannel::AddCropOperation(POINT start, POINT end) { AddBoxOperation(OpCrop, start, end); }
