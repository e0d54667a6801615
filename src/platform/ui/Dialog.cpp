#include "platform/ui/Dialog.h"

#include <QApplication>
#include <QCursor>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include <deque>

#include "platform/ui/UiApp.h"
#include "platform/ui/Widgets.h"

namespace {

QString Q(const wchar_t* s) { return QString::fromWCharArray(s); }

struct ModalHook {
    UINT templateId;
    std::function<void(CDialog&)> handler;
};
std::deque<ModalHook>& ModalHooks() {
    static std::deque<ModalHook> hooks;
    return hooks;
}

void RunModalHook(CDialog& dialog) {
    auto& hooks = ModalHooks();
    for (auto it = hooks.begin(); it != hooks.end(); ++it) {
        if (it->templateId != 0 && it->templateId != dialog.GetTemplateId()) continue;
        auto handler = std::move(it->handler);
        hooks.erase(it);
        handler(dialog);
        return;
    }
}

// A new control object of the kind's class.
std::unique_ptr<CWnd> MakeControlObject(Ctl kind) {
    switch (kind) {
        case Ctl::Static:
        case Ctl::Picture:
        case Ctl::Frame: return std::make_unique<CStatic>();
        case Ctl::GroupBox:
        case Ctl::Button:
        case Ctl::DefButton:
        case Ctl::CheckBox:
        case Ctl::Radio: return std::make_unique<CButton>();
        case Ctl::Edit: return std::make_unique<CEdit>();
        case Ctl::ComboBox: return std::make_unique<CComboBox>();
        case Ctl::Slider: return std::make_unique<CSliderCtrl>();
        case Ctl::Link: return std::make_unique<CLinkCtrl>();
        case Ctl::Tree: return std::make_unique<CTreeCtrl>();
        case Ctl::List: return std::make_unique<CListCtrl>();
    }
    return std::make_unique<CWnd>();
}

// The widget of one table entry, with its host data filled in.
QWidget* MakeWidget(const ControlSpec& spec, QWidget* parent) {
    const QString text = Q(spec.text);
    QWidget* widget = nullptr;
    uiw::HostBase* host = nullptr;
    auto take = [&](auto* w, const wchar_t* className, UINT ctlColor) {
        widget = w;
        host = w;
        host->className = className;
        host->ctlColorKind = ctlColor;
    };
    switch (spec.kind) {
        case Ctl::Static:
        case Ctl::Picture: {
            auto* s = new uiw::StaticWidget(parent);
            const DWORD align = spec.style & 0x3;
            s->setAlignment((align == SS_CENTER ? Qt::AlignHCenter : align == SS_RIGHT ? Qt::AlignRight : Qt::AlignLeft) |
                            Qt::AlignTop);
            s->pathEllipsis = (spec.style & SS_PATHELLIPSIS) != 0;
            s->setWordWrap(!s->pathEllipsis && spec.kind == Ctl::Static);
            s->notify = (spec.style & SS_NOTIFY) != 0;
            if (spec.style & SS_SUNKEN) s->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            if (spec.kind == Ctl::Picture) s->setAlignment(Qt::AlignCenter);
            s->SetFullText(text);
            take(s, L"Static", CTLCOLOR_STATIC);
            break;
        }
        case Ctl::Frame: {
            auto* f = new uiw::FrameWidget(parent);
            if (spec.cy <= 2) f->setFrameStyle(QFrame::HLine | QFrame::Sunken);
            else if (spec.cx <= 2) f->setFrameStyle(QFrame::VLine | QFrame::Sunken);
            else f->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
            f->setAttribute(Qt::WA_TransparentForMouseEvents);
            take(f, L"Static", CTLCOLOR_STATIC);
            break;
        }
        case Ctl::GroupBox: {
            auto* g = new uiw::GroupWidget(text, parent);
            g->setAttribute(Qt::WA_TransparentForMouseEvents);
            take(g, L"Button", CTLCOLOR_STATIC);
            break;
        }
        case Ctl::Button:
        case Ctl::DefButton: {
            take(new uiw::PushWidget(text, parent, spec.kind == Ctl::DefButton), L"Button", CTLCOLOR_BTN);
            break;
        }
        case Ctl::CheckBox: take(new uiw::CheckWidget(text, parent), L"Button", CTLCOLOR_STATIC); break;
        case Ctl::Radio: {
            auto* r = new uiw::RadioWidget(parent);
            r->setText(text);
            take(r, L"Button", CTLCOLOR_STATIC);
            break;
        }
        case Ctl::Edit: {
            auto* e = new uiw::EditWidget(parent);
            e->setText(text);
            e->setReadOnly((spec.style & ES_READONLY) != 0);
            const DWORD align = spec.style & 0x3;
            e->setAlignment(align == ES_CENTER ? Qt::AlignHCenter : align == ES_RIGHT ? Qt::AlignRight : Qt::AlignLeft);
            take(e, L"Edit", (spec.style & ES_READONLY) ? CTLCOLOR_STATIC : CTLCOLOR_EDIT);
            break;
        }
        case Ctl::ComboBox: {
            auto* c = new uiw::ComboWidget(parent);
            c->setEditable(false);
            take(c, L"ComboBox", 0);
            break;
        }
        case Ctl::Slider: take(new uiw::SliderWidget(parent), L"msctls_trackbar32", 0); break;
        case Ctl::Link: {
            auto* l = new uiw::LinkWidget(parent);
            l->SetMarkup(text);
            take(l, L"SysLink", CTLCOLOR_STATIC);
            break;
        }
        case Ctl::Tree: take(new uiw::TreeWidget(parent), L"SysTreeView32", 0); break;
        case Ctl::List: take(new uiw::ListWidget(parent), L"SysListView32", 0); break;
    }
    host->kind = static_cast<int>(spec.kind);
    host->style = spec.style;
    int height = CWnd::DluToPixelsY(spec.cy);
    // A drop-down list's height in a table includes its open list; the
    // closed control is as high as its font needs.
    if (spec.kind == Ctl::ComboBox) height = widget->sizeHint().height();
    widget->setGeometry(CWnd::DluToPixelsX(spec.x), CWnd::DluToPixelsY(spec.y), CWnd::DluToPixelsX(spec.cx), height);
    widget->setEnabled((spec.style & WS_DISABLED) == 0);
    widget->setVisible((spec.style & WS_HIDDEN) == 0);
    return widget;
}

// The screen a top-level window opens on: that of the window it opens over,
// else the one under the cursor, else the primary one.
QScreen* ScreenFor(const QWidget* parent) {
    QScreen* screen = parent ? parent->window()->screen() : nullptr;
    if (!screen) screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen;
}

// What the window system's frame adds around a top-level window: the frame of
// the window it opens over, else of any open window of the program (the
// window system frames them all alike), else a title bar and thin borders.
QMargins FrameMarginsOf(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

QMargins FrameMarginsFor(const QWidget* parent) {
    if (parent && parent->window()->isVisible()) return FrameMarginsOf(parent->window());
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isWindow() && !w->isMinimized()) return FrameMarginsOf(w);
    const int border = QApplication::style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    return QMargins(border, QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight), border, border);
}

}  // namespace

QRect AvailableScreenArea(const QWidget* parent) {
    const QScreen* screen = ScreenFor(parent);
    return screen ? screen->availableGeometry() : QRect();
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    CDialog* dialog = dx ? dx->Dialog() : nullptr;
    if (!dialog) return;
    CWnd* current = dialog->GetDlgItem(id);
    if (!current || current == &control) return;
    QWidget* widget = current->DetachWidget();
    control.AttachWidget(widget, widget, dialog, id, false);
    dialog->ReplaceChild(current, &control);
    control.PreSubclassWindow();
}

CDialog::CDialog(const DialogTemplate& dialogTemplate, CWnd* parent) : template_(dialogTemplate), owner_(parent) {}

CDialog::~CDialog() { Teardown(!running_); }

void CDialog::Teardown(bool deleteNow) {
    DestroyWindowImpl(deleteNow);
    dialog_ = nullptr;
    scroll_ = nullptr;
}

bool CDialog::Build(QWidget* parentWidget, CWnd* parentWnd, bool modal) {
    const int width = DluToPixelsX(template_.cx);
    const int height = DluToPixelsY(template_.cy);
    if (modal) {
        auto* dialog = new uiw::DialogWidget(parentWidget);
        dialog->className = L"#32770";
        dialog->setWindowTitle(Q(template_.caption));
        auto* layout = new QVBoxLayout(dialog);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* client = new uiw::ClientWidget(dialog);
        client->className = L"#32770";
        client->ctlColorKind = CTLCOLOR_DLG;
        layout->addWidget(client);
        if (template_.style & WS_THICKFRAME) {
            client->setMinimumSize(1, 1);
            dialog->resize(width, height);
        } else {
            client->setFixedSize(width, height);
            layout->setSizeConstraint(QLayout::SetFixedSize);
        }
        dialog_ = dialog;
        AttachWidget(dialog, client, parentWnd, 0, true);
    } else {
        if (!parentWnd || !parentWnd->ClientWidget()) return false;
        auto* page = new uiw::ClientWidget(parentWnd->ClientWidget());
        page->className = L"#32770";
        page->ctlColorKind = CTLCOLOR_DLG;
        page->resize(width, height);
        page->hide();
        AttachWidget(page, page, parentWnd, 0, false);
        parentWnd->AddChild(this);
    }
    CreateControls();
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return true;
}

void CDialog::FitIntoScreen(bool shown) {
    if (!dialog_ || !ClientWidget()) return;
    const QRect area = shown && dialog_->screen() ? dialog_->screen()->availableGeometry()
                                                  : AvailableScreenArea(dialog_->parentWidget());
    if (area.isEmpty()) return;
    // Once the window is shown its own frame is known (on some window systems
    // only a little later: until then the estimate stands).
    const QMargins own = shown ? FrameMarginsOf(dialog_) : QMargins();
    const QMargins frame = own.isNull() ? FrameMarginsFor(dialog_->parentWidget()) : own;
    QLayout* layout = dialog_->layout();
    const int menu = layout && layout->menuBar() ? layout->menuBar()->sizeHint().height() : 0;
    // The room inside the frame, below the menu.
    const QSize room(std::max(1, area.width() - frame.left() - frame.right()),
                     std::max(1, area.height() - frame.top() - frame.bottom() - menu));
    QWidget* client = ClientWidget();
    if (template_.style & WS_THICKFRAME) {
        // A window the user may size lays its controls out for any size.
        const QSize wanted(DluToPixelsX(template_.cx), DluToPixelsY(template_.cy));
        if (wanted.width() > room.width() || wanted.height() > room.height())
            dialog_->resize(wanted.boundedTo(room) + QSize(0, menu));
        if (shown) KeepInside(area, frame);
        return;
    }
    const QSize content = client->size();
    if (!scroll_ && content.width() <= room.width() && content.height() <= room.height()) {
        if (shown) KeepInside(area, frame);
        return;
    }
    // Too large for the screen: the window takes what there is and scrolls
    // over its controls.
    if (!scroll_) {
        scroll_ = new QScrollArea(dialog_);
        scroll_->setFrameShape(QFrame::NoFrame);
        layout->removeWidget(client);
        layout->setSizeConstraint(QLayout::SetDefaultConstraint);
        scroll_->setWidget(client);  // keeps its fixed size
        layout->addWidget(scroll_);
    }
    const int bar = scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
    bool across = content.width() > room.width();
    const bool down = content.height() + (across ? bar : 0) > room.height();
    across = across || content.width() + (down ? bar : 0) > room.width();
    const QSize whole(content.width() + (down ? bar : 0), content.height() + (across ? bar : 0));
    dialog_->setMinimumSize(0, 0);
    dialog_->setMaximumSize(whole + QSize(0, menu));
    dialog_->resize(whole.boundedTo(room) + QSize(0, menu));
    if (shown) KeepInside(area, frame);
}

void CDialog::KeepInside(const QRect& area, const QMargins& frame) {
    const QRect outer = dialog_->geometry().marginsAdded(frame);
    const int x = std::max(area.left(), std::min(outer.left(), area.right() + 1 - outer.width()));
    const int y = std::max(area.top(), std::min(outer.top(), area.bottom() + 1 - outer.height()));
    if (x != outer.left() || y != outer.top()) dialog_->move(dialog_->pos() + QPoint(x - outer.left(), y - outer.top()));
}

void CDialog::CreateControls() {
    int group = -1;
    for (const ControlSpec& spec : template_.controls) {
        if (group < 0 || (spec.style & WS_GROUP)) ++group;
        QWidget* widget = MakeWidget(spec, ClientWidget());
        uiw::HostOf(widget)->group = group;
        std::unique_ptr<CWnd> object = MakeControlObject(spec.kind);
        CWnd* raw = object.get();
        raw->AttachWidget(widget, widget, this, spec.id, false);
        AddChild(raw, std::move(object));
        // Clicks: an auto radio button unchecks the others of its group
        // before the dialog hears of it.
        if (auto* button = dynamic_cast<QAbstractButton*>(widget)) {
            const bool radio = spec.kind == Ctl::Radio;
            QObject::connect(button, &QAbstractButton::clicked, button, [button, radio] {
                CWnd* self = uiw::OwnerOf(button);
                if (!self) return;
                if (radio) {
                    const int myGroup = uiw::HostOf(button)->group;
                    for (CWnd* sibling : self->GetParent()->GetChildren()) {
                        auto* other = dynamic_cast<uiw::RadioWidget*>(sibling->Widget());
                        if (other && other != button && static_cast<uiw::HostBase*>(other)->group == myGroup) other->setChecked(false);
                    }
                }
                self->NotifyCommand(BN_CLICKED);
            });
        } else if (auto* edit = dynamic_cast<QLineEdit*>(widget)) {
            QObject::connect(edit, &QLineEdit::textChanged, edit, [edit] {
                if (CWnd* self = uiw::OwnerOf(edit)) self->NotifyCommand(EN_CHANGE);
            });
        } else if (auto* combo = dynamic_cast<QComboBox*>(widget)) {
            QObject::connect(combo, &QComboBox::activated, combo, [combo] {
                if (CWnd* self = uiw::OwnerOf(combo)) self->NotifyCommand(CBN_SELCHANGE);
            });
        }
    }
}

INT_PTR CDialog::DoModal() {
    if (Widget()) return -1;  // already open
    EnsureUiApplication();
    QWidget* parentWidget = nullptr;
    if (owner_ && owner_->Widget()) parentWidget = owner_->Widget()->window();
    else if (QWidget* modal = QApplication::activeModalWidget()) parentWidget = modal;
    else if (CWnd* main = AfxGetMainWnd(); main && main != this && main->Widget()) parentWidget = main->Widget()->window();
    endRequested_ = false;
    result_ = IDCANCEL;
    if (!Build(parentWidget, owner_, true)) return -1;
    OnInitDialog();
    FitIntoScreen(false);
    if (!endRequested_ && dialog_) {
        QTimer::singleShot(0, dialog_, [this] { FitIntoScreen(true); });
        QTimer::singleShot(0, dialog_, [this] { RunModalHook(*this); });
        running_ = true;
        dialog_->exec();
        running_ = false;
    }
    const int result = result_;
    Teardown(true);
    return result;
}

bool CDialog::Create(CWnd* parent) {
    if (Widget()) return false;
    EnsureUiApplication();
    if (!Build(nullptr, parent, false)) return false;
    OnInitDialog();
    return true;
}

void CDialog::EndDialog(int result) {
    result_ = result;
    endRequested_ = true;
    if (running_ && dialog_) dialog_->done(result);
}

bool CDialog::OnInitDialog() { return true; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }
void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::DestroyWindow() {
    if (!Widget()) return false;
    Teardown(!running_);
    return true;
}

bool CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (CWnd::OnCommand(wParam, lParam)) return true;
    if (HIWORD(wParam) != BN_CLICKED) return false;
    if (LOWORD(wParam) == IDOK) {
        OnOK();
        return true;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

void OnNextModal(UINT templateId, std::function<void(CDialog&)> handler) {
    ModalHooks().push_back(ModalHook{templateId, std::move(handler)});
}

std::size_t PendingModalHooks() { return ModalHooks().size(); }
void ClearModalHooks() { ModalHooks().clear(); }

bool CMenu::SetMenuItemBitmaps(UINT id, const QPixmap& bitmap) {
    for (auto& entry : bitmaps_) {
        if (entry.first == id) {
            entry.second = bitmap;
            return true;
        }
    }
    bitmaps_.emplace_back(id, bitmap);
    return true;
}

const QPixmap* CMenu::Bitmap(UINT id) const {
    for (const auto& entry : bitmaps_)
        if (entry.first == id) return &entry.second;
    return nullptr;
}
