#include "platform/ui/Wnd.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <unordered_map>

#include "platform/core/Numbers.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Widgets.h"

namespace {

// Live window objects by handle; touched on the user-interface thread only.
std::unordered_map<std::uint32_t, CWnd*>& Windows() {
    static std::unordered_map<std::uint32_t, CWnd*> windows;
    return windows;
}

std::atomic<CWnd*> g_mainWnd{nullptr};

// Runs `f` on the user-interface thread (directly when already there) and
// returns its result.
template <class F>
auto OnUi(F&& f) -> decltype(f()) {
    using R = decltype(f());
    if (IsUiThread()) return f();
    if constexpr (std::is_void_v<R>) {
        InvokeOnUiThread(f);
    } else {
        R result{};
        InvokeOnUiThread([&] { result = f(); });
        return result;
    }
}

QString Q(const std::wstring& s) { return QString::fromStdWString(s); }

constexpr COLORREF kUnset = 0x01000000;  // not a colour: "the handler left the text colour"

}  // namespace

namespace uiw {

HostBase* HostOf(QWidget* widget) { return dynamic_cast<HostBase*>(widget); }

CWnd* OwnerOf(QWidget* widget) {
    // Within one window only: a Qt dialog (message box, file dialog) opened
    // over one of ours belongs to none of our window objects.
    for (QWidget* w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (HostBase* h = HostOf(w); h && h->owner) return h->owner;
    }
    return nullptr;
}

UINT MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    UINT flags = 0;
    if (buttons & Qt::LeftButton) flags |= MK_LBUTTON;
    if (modifiers & Qt::ShiftModifier) flags |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier) flags |= MK_CONTROL;
    return flags;
}

void ApplyControlColors(QWidget* widget, HostBase& host) {
    if (!host.ctlColorKind || !host.owner) return;
    if (!host.paletteCaptured) {
        host.basePalette = widget->palette();
        host.paletteCaptured = true;
    }
    COLORREF text = 0, background = 0;
    bool hasBackground = false;
    const bool hasText = host.owner->QueryColors(host.ctlColorKind, &text, &background, &hasBackground);
    QPalette palette = host.basePalette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        if (hasText) {
            for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
                palette.setColor(group, role, gdi::ToQColor(text));
        }
        if (hasBackground) {
            for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
                palette.setColor(group, role, gdi::ToQColor(background));
        }
    }
    if (hasBackground) {
        palette.setColor(QPalette::Disabled, QPalette::Window, gdi::ToQColor(background));
    }
    if (widget->autoFillBackground() != hasBackground) widget->setAutoFillBackground(hasBackground);
    if (palette != widget->palette()) widget->setPalette(palette);
}

}  // namespace uiw

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (g_mainWnd.load() == this) SetMainWnd(nullptr);
    if (widget_) {
        if (parent_) parent_->RemoveChild(this);
        DestroyWindowImpl(false);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    auto it = Windows().find(hwnd.value);
    return it == Windows().end() ? nullptr : it->second;
}

void CWnd::AttachWidget(QWidget* widget, QWidget* client, CWnd* parent, int id, bool topLevel) {
    widget_ = widget;
    client_ = client ? client : widget;
    parent_ = parent;
    id_ = id;
    topLevel_ = topLevel;
    if (uiw::HostBase* h = uiw::HostOf(widget_)) h->owner = this;
    if (uiw::HostBase* h = uiw::HostOf(client_)) h->owner = this;
    const HWND hwnd = RegisterWindow(this);
    Windows()[hwnd.value] = this;
    hwnd_.store(hwnd.value);
    if (g_mainWnd.load() == this) SetMainWindowHandle(hwnd);
}

QWidget* CWnd::DetachWidget() {
    for (auto& [id, timer] : timers_) {
        timer->stop();
        delete timer;
    }
    timers_.clear();
    const HWND hwnd = GetSafeHwnd();
    Windows().erase(hwnd.value);
    hwnd_.store(0);
    UnregisterWindow(hwnd);
    if (uiw::HostBase* h = uiw::HostOf(widget_)) h->owner = nullptr;
    if (uiw::HostBase* h = uiw::HostOf(client_)) h->owner = nullptr;
    QWidget* widget = widget_;
    widget_ = nullptr;
    client_ = nullptr;
    return widget;
}

void CWnd::AddChild(CWnd* child, std::unique_ptr<CWnd> owned) {
    children_.push_back(Child{child, std::move(owned)});
}

void CWnd::ReplaceChild(CWnd* from, CWnd* to) {
    for (auto& c : children_)
        if (c.window == from) c.window = to;
}

void CWnd::RemoveChild(CWnd* child) {
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->window == child) {
            children_.erase(it);
            return;
        }
    }
}

void CWnd::DestroyChildren() {
    std::vector<Child> children = std::move(children_);
    children_.clear();
    for (auto& c : children) {
        if (c.window->widget_) {
            c.window->parent_ = nullptr;  // already removed from our list
            c.window->DestroyWindow();
        }
    }
}

bool CWnd::DestroyWindow() { return DestroyWindowImpl(false); }

bool CWnd::DestroyWindowImpl(bool deleteNow) {
    if (!widget_) return false;
    OnDestroy();
    DestroyChildren();
    if (parent_ && !topLevel_) parent_->RemoveChild(this);
    QWidget* widget = DetachWidget();
    if (deleteNow) {
        delete widget;
    } else {
        widget->hide();
        widget->deleteLater();
    }
    return true;
}

CWnd* CWnd::GetDlgItem(int id) const {
    return OnUi([&]() -> CWnd* {
        for (const auto& c : children_)
            if (c.window->id_ == id && c.window->widget_) return c.window;
        return nullptr;
    });
}

std::vector<CWnd*> CWnd::GetChildren() const {
    std::vector<CWnd*> out;
    for (const auto& c : children_)
        if (c.window->widget_) out.push_back(c.window);
    return out;
}

CWnd* CWnd::GetWindow(UINT command) const {
    if (command == GW_CHILD) {
        const auto children = GetChildren();
        return children.empty() ? nullptr : children.front();
    }
    if (!parent_ || topLevel_) return nullptr;
    const auto siblings = parent_->GetChildren();
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] != this) continue;
        if (command == GW_HWNDNEXT) return i + 1 < siblings.size() ? siblings[i + 1] : nullptr;
        if (command == GW_HWNDPREV) return i > 0 ? siblings[i - 1] : nullptr;
    }
    return nullptr;
}

// --- Text and state ---------------------------------------------------------

void CWnd::SetWindowText(const std::wstring& text) {
    OnUi([&] {
        QWidget* w = widget_;
        if (!w) return;
        const QString q = Q(text);
        if (auto* s = dynamic_cast<uiw::StaticWidget*>(w)) {
            s->SetFullText(q);
        } else if (auto* l = dynamic_cast<uiw::LinkWidget*>(w)) {
            l->SetMarkup(q);
        } else if (auto* e = dynamic_cast<QLineEdit*>(w)) {
            // The edit reports every text set, also an unchanged one.
            if (e->text() == q) NotifyCommand(EN_CHANGE);
            else e->setText(q);
        } else if (auto* b = dynamic_cast<QAbstractButton*>(w)) {
            b->setText(q);
        } else if (auto* g = dynamic_cast<QGroupBox*>(w)) {
            g->setTitle(q);
        } else {
            w->setWindowTitle(q);  // a dialog's caption; other windows keep it as their text
        }
    });
}

std::wstring CWnd::GetWindowText() const {
    return OnUi([&]() -> std::wstring {
        QWidget* w = widget_;
        if (!w) return {};
        if (auto* s = dynamic_cast<uiw::StaticWidget*>(w)) return s->FullText().toStdWString();
        if (auto* l = dynamic_cast<uiw::LinkWidget*>(w)) return l->Markup().toStdWString();
        if (auto* e = dynamic_cast<QLineEdit*>(w)) return e->text().toStdWString();
        if (auto* b = dynamic_cast<QAbstractButton*>(w)) return b->text().toStdWString();
        if (auto* g = dynamic_cast<QGroupBox*>(w)) return g->title().toStdWString();
        if (auto* c = dynamic_cast<QComboBox*>(w)) return c->currentText().toStdWString();
        return w->windowTitle().toStdWString();
    });
}

int CWnd::GetWindowTextLength() const { return static_cast<int>(GetWindowText().size()); }

bool CWnd::ShowWindow(int command) {
    return OnUi([&] {
        if (!widget_) return false;
        const bool was = !widget_->isHidden();
        widget_->setVisible(command != SW_HIDE);
        return was;
    });
}

bool CWnd::IsWindowVisible() const {
    return OnUi([&] { return widget_ && widget_->isVisible(); });
}

bool CWnd::EnableWindow(bool enable) {
    return OnUi([&] {
        if (!widget_) return false;
        const bool wasDisabled = widget_->testAttribute(Qt::WA_ForceDisabled);
        widget_->setEnabled(enable);
        return wasDisabled;
    });
}

bool CWnd::IsWindowEnabled() const {
    return OnUi([&] { return widget_ && !widget_->testAttribute(Qt::WA_ForceDisabled); });
}

void CWnd::Invalidate(bool) {
    OnUi([&] {
        if (widget_) widget_->update();
        if (client_ && client_ != widget_) client_->update();
    });
}

void CWnd::UpdateWindow() {
    OnUi([&] {
        if (client_ && client_ != widget_) client_->repaint();
        if (widget_) widget_->repaint();
    });
}

void CWnd::SetRedraw(bool redraw) {
    OnUi([&] {
        if (widget_) widget_->setUpdatesEnabled(redraw);
    });
}

// --- Items by id --------------------------------------------------------------

void CWnd::SetDlgItemText(int id, const std::wstring& text) {
    OnUi([&] {
        if (CWnd* item = GetDlgItem(id)) item->SetWindowText(text);
    });
}

std::wstring CWnd::GetDlgItemText(int id) const {
    return OnUi([&] {
        CWnd* item = GetDlgItem(id);
        return item ? item->GetWindowText() : std::wstring();
    });
}

void CWnd::CheckDlgButton(int id, UINT check) {
    OnUi([&] {
        if (auto* b = dynamic_cast<CButton*>(GetDlgItem(id))) b->SetCheck(check);
    });
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    return OnUi([&]() -> UINT {
        auto* b = dynamic_cast<CButton*>(GetDlgItem(id));
        return b ? b->GetCheck() : BST_UNCHECKED;
    });
}

void CWnd::CheckRadioButton(int first, int last, int check) {
    OnUi([&] {
        for (CWnd* c : GetChildren()) {
            const int id = c->GetDlgCtrlID();
            if (id < first || id > last) continue;
            if (auto* r = dynamic_cast<QRadioButton*>(c->Widget())) r->setChecked(id == check);
        }
    });
}

int CWnd::GetDlgItemInt(int id) const { return _wtoi(GetDlgItemText(id)); }
double CWnd::GetDlgItemFloat(int id) const { return _wtof(GetDlgItemText(id)); }
void CWnd::SetDlgItemInt(int id, int value) { SetDlgItemText(id, FormatW(L"%d", value)); }
void CWnd::SetDlgItemFloat(int id, double value, const wchar_t* format) {
    SetDlgItemText(id, FormatW(format, value));
}

// --- Geometry -------------------------------------------------------------------

void CWnd::GetClientRect(RECT* rect) const {
    *rect = RECT{};
    if (client_) *rect = RECT{0, 0, client_->width(), client_->height()};
}

void CWnd::GetWindowRect(RECT* rect) const {
    *rect = RECT{};
    if (!widget_) return;
    const QRect r = topLevel_ ? widget_->frameGeometry() : QRect(widget_->mapToGlobal(QPoint(0, 0)), widget_->size());
    *rect = RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void CWnd::ScreenToClient(POINT* point) const {
    if (!client_) return;
    const QPoint p = client_->mapFromGlobal(QPoint(point->x, point->y));
    *point = POINT{p.x(), p.y()};
}

void CWnd::ScreenToClient(RECT* rect) const {
    POINT a{rect->left, rect->top}, b{rect->right, rect->bottom};
    ScreenToClient(&a);
    ScreenToClient(&b);
    *rect = RECT{a.x, a.y, b.x, b.y};
}

void CWnd::ClientToScreen(POINT* point) const {
    if (!client_) return;
    const QPoint p = client_->mapToGlobal(QPoint(point->x, point->y));
    *point = POINT{p.x(), p.y()};
}

void CWnd::ClientToScreen(RECT* rect) const {
    POINT a{rect->left, rect->top}, b{rect->right, rect->bottom};
    ClientToScreen(&a);
    ClientToScreen(&b);
    *rect = RECT{a.x, a.y, b.x, b.y};
}

void CWnd::MoveWindow(int x, int y, int width, int height, bool) {
    if (!widget_) return;
    if (topLevel_) {
        widget_->move(x, y);
        widget_->resize(width, height);
    } else {
        widget_->setGeometry(x, y, width, height);
    }
}

void CWnd::MoveWindow(const RECT& r, bool repaint) {
    MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
}

bool CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
    if (!widget_) return false;
    if (!(flags & SWP_NOMOVE)) widget_->move(x, y);
    if (!(flags & SWP_NOSIZE)) widget_->resize(cx, cy);
    if (!(flags & SWP_NOZORDER) && !insertAfter) widget_->raise();
    if (flags & SWP_SHOWWINDOW) widget_->show();
    if (flags & SWP_HIDEWINDOW) widget_->hide();
    return true;
}

POINT CWnd::DialogBaseUnits() {
    // Without a graphical application there are no font metrics: the units
    // of a 9-point font of 6 by 12 pixels.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return POINT{6, 12};
    static QFont measured;
    static POINT units{0, 0};
    const QFont font = QApplication::font();
    if (units.x == 0 || !(font == measured)) {
        const QFontMetrics metrics(font);
        // The width of the 52 letters, halved and rounded, per letter.
        const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        units = POINT{std::max(1, (letters / 26 + 1) / 2), std::max(1, metrics.height())};
        measured = font;
    }
    return units;
}

int CWnd::DluToPixelsX(int dlu) {
    return static_cast<int>(std::lround(static_cast<double>(dlu) * DialogBaseUnits().x / 4.0));
}
int CWnd::DluToPixelsY(int dlu) {
    return static_cast<int>(std::lround(static_cast<double>(dlu) * DialogBaseUnits().y / 8.0));
}

void CWnd::MapDialogRect(RECT* rect) {
    *rect = RECT{DluToPixelsX(rect->left), DluToPixelsY(rect->top), DluToPixelsX(rect->right),
                 DluToPixelsY(rect->bottom)};
}

// --- Focus, fonts, menu ---------------------------------------------------------------

CWnd* CWnd::SetFocus() {
    CWnd* previous = GetFocus();
    if (widget_) {
        if (topLevel_) widget_->activateWindow();
        widget_->setFocus(Qt::OtherFocusReason);
    }
    return previous;
}

CWnd* CWnd::GetFocus() {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) {
        if (QWidget* active = QApplication::activeWindow()) focus = active->focusWidget();
    }
    return focus ? uiw::OwnerOf(focus) : nullptr;
}

std::wstring CWnd::GetClassName() const {
    if (!widget_) return {};
    if (uiw::HostBase* h = uiw::HostOf(widget_)) return h->className;
    return {};
}

void CWnd::SetFont(const CFont* font, bool) {
    font_ = font;
    if (widget_ && font && font->IsCreated()) widget_->setFont(font->ToQFont());
}

void CWnd::SetIcon(const QIcon& icon, bool) {
    if (widget_) widget_->window()->setWindowIcon(icon);
}

bool CWnd::SetMenu(CMenu* menu) {
    auto* dialog = dynamic_cast<QDialog*>(widget_);
    if (!dialog || !dialog->layout()) return false;
    menu_ = menu;
    QLayout* layout = dialog->layout();
    if (QWidget* old = layout->menuBar()) {
        layout->setMenuBar(nullptr);
        delete old;
    }
    if (!menu) return true;
    auto* bar = new QMenuBar(dialog);
    std::function<void(QWidget*, const std::vector<MenuItemSpec>&)> fill =
        [&](QWidget* into, const std::vector<MenuItemSpec>& items) {
            for (const auto& item : items) {
                if (!item.children.empty()) {
                    QMenu* sub = into == bar ? bar->addMenu(Q(item.text)) : static_cast<QMenu*>(into)->addMenu(Q(item.text));
                    fill(sub, item.children);
                    continue;
                }
                auto* action = new QAction(Q(item.text), into);
                action->setData(item.id);
                if (const QPixmap* bitmap = menu->Bitmap(item.id)) action->setIcon(QIcon(*bitmap));
                const UINT id = item.id;
                QObject::connect(action, &QAction::triggered, action, [this, id] {
                    ::SendMessage(GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
                });
                into->addAction(action);
            }
        };
    fill(bar, menu->Items());
    layout->setMenuBar(bar);
    return true;
}

// --- Timers -------------------------------------------------------------------

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void*) {
    if (!widget_) return 0;
    auto it = timers_.find(id);
    if (it == timers_.end()) {
        auto* timer = new QTimer(widget_);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, timer,
                         [this, id] { ::SendMessage(GetSafeHwnd(), WM_TIMER, id, 0); });
        it = timers_.emplace(id, timer).first;
    }
    it->second->start(static_cast<int>(elapse));  // restarts a running timer
    return id;
}

bool CWnd::KillTimer(UINT_PTR id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    it->second->stop();
    delete it->second;
    timers_.erase(it);
    return true;
}

// --- Messages -------------------------------------------------------------------

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessage(GetSafeHwnd(), message, wParam, lParam);
}

bool CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessage(GetSafeHwnd(), message, wParam, lParam);
}

int CWnd::MessageBox(const std::wstring& text, const std::wstring& caption, UINT type) {
    return MessageBoxW(text, caption, type);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (OnCommand(wParam, lParam)) return 0;
            break;
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (OnNotify(wParam, lParam, &result)) return result;
            break;
        }
        case WM_TIMER: OnTimer(wParam); return 0;
        case WM_HSCROLL:
            OnHScroll(LOWORD(wParam), HIWORD(wParam), FromHandle(HWND(static_cast<std::uint32_t>(lParam))));
            return 0;
        case WM_SIZE: OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return 0;
        case WM_SETCURSOR:
            return OnSetCursor(FromHandle(HWND(static_cast<std::uint32_t>(wParam))), LOWORD(lParam), HIWORD(lParam))
                       ? 1
                       : 0;
        default: break;
    }
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT, WPARAM, LPARAM) { return 0; }

bool CWnd::PreTranslateMessage(MSG*) { return false; }

void CWnd::MapCommand(UINT id, UINT code, std::function<void()> handler) {
    commands_[{id, code}] = std::move(handler);
}

void CWnd::MapNotify(UINT id, UINT code, std::function<void(NMHDR*, LRESULT*)> handler) {
    notifies_[{id, code}] = std::move(handler);
}

bool CWnd::OnCommand(WPARAM wParam, LPARAM) {
    auto it = commands_.find({LOWORD(wParam), HIWORD(wParam)});
    if (it == commands_.end()) return false;
    const auto handler = it->second;  // the handler may change the map
    handler();
    return true;
}

bool CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header) return false;
    auto it = notifies_.find({static_cast<UINT>(header->idFrom), header->code});
    if (it == notifies_.end()) return false;
    const auto handler = it->second;
    handler(header, result);
    return true;
}

void CWnd::OnTimer(UINT_PTR) {}
void CWnd::OnHScroll(UINT, UINT, CWnd*) {}
void CWnd::OnSize(UINT, int, int) {}
bool CWnd::OnSetCursor(CWnd*, UINT, UINT) { return false; }
void CWnd::OnDestroy() {}
void CWnd::OnPaint(CDC&) { Default(); }
HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return nullptr; }
void CWnd::OnLButtonDown(UINT, POINT) { Default(); }
void CWnd::OnLButtonUp(UINT, POINT) { Default(); }
void CWnd::OnMouseMove(UINT, POINT) { Default(); }
bool CWnd::OnMouseWheel(UINT, short, POINT) {
    Default();
    return false;
}

// --- Notifications and event hooks --------------------------------------------------

void CWnd::NotifyCommand(UINT code) {
    if (!parent_ || topLevel_) return;
    ::SendMessage(parent_->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id_), static_cast<WORD>(code)),
                  static_cast<LPARAM>(GetSafeHwnd().value));
}

LRESULT CWnd::NotifyParent(NMHDR* header) {
    if (!parent_ || topLevel_) return 0;
    header->hwndFrom = GetSafeHwnd();
    header->idFrom = static_cast<UINT_PTR>(id_);
    return ::SendMessage(parent_->GetSafeHwnd(), WM_NOTIFY, static_cast<WPARAM>(id_),
                         reinterpret_cast<LPARAM>(header));
}

void CWnd::RaiseHScroll(UINT code) {
    if (!parent_ || topLevel_) return;
    int position = 0;
    if (auto* s = dynamic_cast<QSlider*>(widget_)) position = s->value();
    ::SendMessage(parent_->GetSafeHwnd(), WM_HSCROLL, MAKEWPARAM(static_cast<WORD>(code), static_cast<WORD>(position)),
                  static_cast<LPARAM>(GetSafeHwnd().value));
}

bool CWnd::HandlePaint(QWidget* device) {
    defaultRequested_ = false;
    {
        CDC dc(device);
        OnPaint(dc);
    }
    return !defaultRequested_;
}

bool CWnd::HandleMouse(UINT message, UINT flags, POINT point) {
    defaultRequested_ = false;
    switch (message) {
        case WM_LBUTTONDOWN: OnLButtonDown(flags, point); break;
        case WM_LBUTTONUP: OnLButtonUp(flags, point); break;
        case WM_MOUSEMOVE: OnMouseMove(flags, point); break;
        default: return false;
    }
    return !defaultRequested_;
}

bool CWnd::HandleWheel(UINT flags, short delta, POINT screenPoint) {
    defaultRequested_ = false;
    const bool used = OnMouseWheel(flags, delta, screenPoint);
    return used && !defaultRequested_;
}

void CWnd::HandleResize(int width, int height) {
    if (!GetSafeHwnd()) return;
    ::SendMessage(GetSafeHwnd(), WM_SIZE, SIZE_RESTORED,
                  MAKELPARAM(static_cast<WORD>(width), static_cast<WORD>(height)));
}

bool CWnd::QueryColors(UINT ctlColor, COLORREF* text, COLORREF* background, bool* hasBackground) {
    CWnd* target = ctlColor == CTLCOLOR_DLG ? this : parent_;
    *hasBackground = false;
    if (!target || (ctlColor != CTLCOLOR_DLG && topLevel_)) return false;
    CDC dc;
    dc.SetTextColor(kUnset);
    const HBRUSH brush = target->OnCtlColor(&dc, this, ctlColor);
    if (brush && !brush->IsHollow()) {
        *background = brush->Color();
        *hasBackground = true;
    }
    *text = dc.GetTextColor();
    return *text != kUnset;
}

// --- Application-wide -----------------------------------------------------------------------

void SetMainWnd(CWnd* window) {
    g_mainWnd.store(window);
    SetMainWindowHandle(window ? window->GetSafeHwnd() : HWND());
}

CWnd* AfxGetMainWnd() { return g_mainWnd.load(); }

HCURSOR LoadCursor(int id) {
    static const QCursor arrow(Qt::ArrowCursor);
    static const QCursor cross(Qt::CrossCursor);
    return id == IDC_CROSS ? &cross : &arrow;
}

HCURSOR SetCursor(HCURSOR cursor) {
    if (!cursor) return nullptr;
    if (QWidget* under = QApplication::widgetAt(QCursor::pos())) under->setCursor(*cursor);
    return nullptr;
}
