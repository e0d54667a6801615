#include "platform/ui/TestDriver.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWheelEvent>
#include <QWindow>

#include "platform/ui/Keys.h"
#include "platform/ui/Widgets.h"

namespace {

void ClickWidget(QWidget* w, QPoint at) {
    const QPointF local(at);
    const QPointF global(w->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

}  // namespace

QWidget* DialogDriver::Usable(int id) const {
    CWnd* item = Item(id);
    QWidget* w = item ? item->Widget() : nullptr;
    if (!w || !w->isVisible() || !w->isEnabled()) return nullptr;
    return w;
}

bool DialogDriver::Click(int id) {
    QWidget* w = Usable(id);
    if (!w) return false;
    ClickWidget(w, w->rect().center());
    return true;
}

bool DialogDriver::Type(int id, const std::wstring& text) {
    auto* edit = dynamic_cast<QLineEdit*>(Usable(id));
    if (!edit || edit->isReadOnly()) return false;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    edit->insert(QString::fromStdWString(text));
    if (edit->text() != QString::fromStdWString(text)) edit->setText(QString::fromStdWString(text));
    return true;
}

bool DialogDriver::Choose(int id, int index) {
    auto* combo = dynamic_cast<QComboBox*>(Usable(id));
    if (!combo || index < 0 || index >= combo->count()) return false;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

bool DialogDriver::Choose(int id, const std::wstring& text) {
    auto* combo = dynamic_cast<QComboBox*>(Usable(id));
    return combo && Choose(id, combo->findText(QString::fromStdWString(text), Qt::MatchExactly));
}

bool DialogDriver::Slide(int id, int position) {
    auto* slider = dynamic_cast<QSlider*>(Usable(id));
    if (!slider) return false;
    slider->setValue(position);  // not through CSliderCtrl: a user's move
    return true;
}

bool DialogDriver::ClickLink(int id, int link) {
    auto* w = dynamic_cast<uiw::LinkWidget*>(Usable(id));
    if (!w) return false;
    w->ActivateLink(link);
    return true;
}

bool DialogDriver::ClickListItem(int id, int index) {
    auto* list = dynamic_cast<uiw::ListWidget*>(Usable(id));
    if (!list) return false;
    if (index >= 0 && index < list->count()) {
        ClickWidget(list->viewport(), list->visualItemRect(list->item(index)).center());
    } else {
        list->Click(-1);
    }
    return true;
}

bool DialogDriver::ClickTreeItem(int id, HTREEITEM item) {
    auto* tree = dynamic_cast<uiw::TreeWidget*>(Usable(id));
    if (!tree || !item) return false;
    tree->scrollToItem(item);
    ClickWidget(tree->viewport(), tree->visualItemRect(item).center());
    return true;
}

bool DialogDriver::SendMouse(int id, int type, POINT at, bool buttonHeld) {
    QWidget* w = Usable(id);
    if (!w) return false;
    const QPointF local(QPoint(at.x, at.y));
    const QPointF global(w->mapToGlobal(QPoint(at.x, at.y)));
    const auto eventType = static_cast<QEvent::Type>(type);
    const Qt::MouseButton button = eventType == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = buttonHeld ? Qt::MouseButtons(Qt::LeftButton) : Qt::MouseButtons(Qt::NoButton);
    QMouseEvent event(eventType, local, global, button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
    return true;
}

bool DialogDriver::MouseDown(int id, POINT at) { return SendMouse(id, QEvent::MouseButtonPress, at, true); }
bool DialogDriver::MouseMove(int id, POINT at, bool buttonHeld) {
    return SendMouse(id, QEvent::MouseMove, at, buttonHeld);
}
bool DialogDriver::MouseUp(int id, POINT at) { return SendMouse(id, QEvent::MouseButtonRelease, at, false); }

bool DialogDriver::Drag(int id, POINT from, POINT to) {
    return MouseDown(id, from) && MouseMove(id, to) && MouseUp(id, to);
}

bool DialogDriver::Wheel(int id, POINT at, int delta) {
    QWidget* w = Usable(id);
    if (!w) return false;
    const QPointF local(QPoint(at.x, at.y));
    const QPointF global(w->mapToGlobal(QPoint(at.x, at.y)));
    QWheelEvent event(local, global, QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(w, &event);
    return true;
}

bool DialogDriver::ChooseMenu(UINT commandId) {
    QWidget* top = window_.Widget() ? window_.Widget()->window() : nullptr;
    if (!top) return false;
    for (QAction* action : top->findChildren<QAction*>()) {
        if (action->data().isValid() && action->data().toUInt() == commandId && action->isEnabled()) {
            action->trigger();
            return true;
        }
    }
    return false;
}

bool DialogDriver::SendKey(UINT virtualKey, bool ctrl, int focusId, bool press, bool release) {
    int key = 0;
    bool keypad = false;
    if (!QtKeyFromVirtualKey(virtualKey, &key, &keypad)) return false;
    QWidget* top = window_.Widget() ? window_.Widget()->window() : nullptr;
    if (!top) return false;
    top->activateWindow();
    QApplication::setActiveWindow(top);
    if (focusId) {
        QWidget* w = Usable(focusId);
        if (!w) return false;
        w->setFocus(Qt::OtherFocusReason);
    }
    QWidget* target = QApplication::focusWidget();
    if (!target) target = top->focusWidget() ? top->focusWidget() : top;
    Qt::KeyboardModifiers modifiers = ctrl ? Qt::ControlModifier : Qt::NoModifier;
    if (keypad) modifiers |= Qt::KeypadModifier;
    const QString text = (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde && !ctrl)
                             ? QString(QChar(key)).toLower()
                             : QString();
    if (press) {
        QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(target, &down);
    }
    if (release) {
        QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(target, &up);
    }
    return true;
}

bool DialogDriver::PressKey(UINT virtualKey, bool ctrl, int focusId) {
    return SendKey(virtualKey, ctrl, focusId, true, true);
}

bool DialogDriver::KeyDown(UINT virtualKey, bool ctrl, int focusId) {
    return SendKey(virtualKey, ctrl, focusId, true, false);
}

bool DialogDriver::KeyUp(UINT virtualKey, bool ctrl, int focusId) {
    return SendKey(virtualKey, ctrl, focusId, false, true);
}

bool DialogDriver::TypeKey(UINT virtualKey, CtrlOrder order, int focusId) {
    // A release carries the modifiers held just before it, as X11 reports
    // them: Ctrl's own release still has Ctrl.
    switch (order) {
    case CtrlOrder::kNone:
        return KeyDown(virtualKey, false, focusId) && KeyUp(virtualKey, false);
    case CtrlOrder::kKeyLetGoFirst:
        return KeyDown(VK_CONTROL, true, focusId) && KeyDown(virtualKey, true) && KeyUp(virtualKey, true) &&
               KeyUp(VK_CONTROL, true);
    case CtrlOrder::kCtrlLetGoFirst:
        return KeyDown(VK_CONTROL, true, focusId) && KeyDown(virtualKey, true) && KeyUp(VK_CONTROL, true) &&
               KeyUp(virtualKey, false);
    case CtrlOrder::kCtrlAfterKey:
        return KeyDown(virtualKey, false, focusId) && KeyDown(VK_CONTROL, true) && KeyUp(virtualKey, true) &&
               KeyUp(VK_CONTROL, true);
    }
    return false;
}

void DialogDriver::Close() {
    if (auto* dialog = dynamic_cast<QDialog*>(window_.Widget())) dialog->reject();
}

std::wstring DialogDriver::Text(int id) const {
    CWnd* item = Item(id);
    return item ? item->GetWindowText() : std::wstring();
}

std::wstring DialogDriver::ShownText(int id) const {
    CWnd* item = Item(id);
    if (!item) return {};
    if (auto* label = dynamic_cast<QLabel*>(item->Widget())) return label->text().toStdWString();
    return item->GetWindowText();
}

bool DialogDriver::IsChecked(int id) const { return window_.IsDlgButtonChecked(id) == BST_CHECKED; }

bool DialogDriver::IsVisible(int id) const {
    CWnd* item = Item(id);
    return item && item->IsWindowVisible();
}

bool DialogDriver::IsEnabled(int id) const {
    CWnd* item = Item(id);
    return item && item->IsWindowEnabled();
}

int DialogDriver::CurSel(int id) const {
    auto* combo = dynamic_cast<CComboBox*>(Item(id));
    return combo ? combo->GetCurSel() : -1;
}

std::vector<std::wstring> DialogDriver::Items(int id) const {
    std::vector<std::wstring> out;
    CWnd* item = Item(id);
    if (auto* combo = dynamic_cast<CComboBox*>(item)) {
        for (int i = 0; i < combo->GetCount(); ++i) out.push_back(combo->GetLBText(i));
    } else if (auto* list = dynamic_cast<CListCtrl*>(item)) {
        for (int i = 0; i < list->GetItemCount(); ++i) out.push_back(list->GetItemText(i));
    }
    return out;
}

std::wstring DialogDriver::ToolTip(int id) const {
    CWnd* item = Item(id);
    return item && item->Widget() ? item->Widget()->toolTip().toStdWString() : std::wstring();
}

namespace {

// Every control of `window` and of the pages in it, in creation order.
void CollectControls(const CWnd& window, std::vector<CWnd*>& out) {
    for (CWnd* child : window.GetChildren()) {
        const uiw::HostBase* host = child->Widget() ? uiw::HostOf(child->Widget()) : nullptr;
        if (!host) continue;
        if (host->kind < 0)
            CollectControls(*child, out);  // a page
        else
            out.push_back(child);
    }
}

std::wstring Describe(const CWnd& control, const QRect& box) {
    const auto* dialog = dynamic_cast<const CDialog*>(control.GetParent());
    const QString text = QString::fromStdWString(control.GetWindowText()).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("dialog %1, control %2 \"%3\" at %4,%5 %6x%7")
        .arg(dialog ? dialog->GetTemplateId() : 0)
        .arg(control.GetDlgCtrlID())
        .arg(text)
        .arg(box.x())
        .arg(box.y())
        .arg(box.width())
        .arg(box.height())
        .toStdWString();
}

QString Size(QSize s) { return QStringLiteral("%1x%2").arg(s.width()).arg(s.height()); }

// Why the text of `w` does not fit its box as drawn, or an empty text.
QString TextOverflow(QWidget* w, const uiw::HostBase& host) {
    const Ctl kind = static_cast<Ctl>(host.kind);
    if (auto* label = dynamic_cast<uiw::StaticWidget*>(w)) {
        if (kind != Ctl::Static || label->pathEllipsis || label->FullText().isEmpty()) return {};
        const QRect box = label->contentsRect();
        const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect need = label->fontMetrics().boundingRect(QRect(0, 0, box.width(), 1 << 20), flags, label->FullText());
        if (need.width() <= box.width() && need.height() <= box.height()) return {};
        return QStringLiteral("its text needs %1 in %2").arg(Size(need.size()), Size(box.size()));
    }
    if (auto* link = dynamic_cast<uiw::LinkWidget*>(w)) {
        if (link->text().isEmpty()) return {};
        const QSize need = link->sizeHint();
        if (need.width() <= link->width() && need.height() <= link->height()) return {};
        return QStringLiteral("its text needs %1 in %2").arg(Size(need), Size(link->size()));
    }
    if (auto* button = dynamic_cast<QAbstractButton*>(w)) {
        if (button->text().isEmpty()) return {};
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        const bool check = dynamic_cast<QCheckBox*>(button) != nullptr;
        const bool radio = dynamic_cast<QRadioButton*>(button) != nullptr;
        const QStyle::SubElement element = check   ? QStyle::SE_CheckBoxContents
                                           : radio ? QStyle::SE_RadioButtonContents
                                                   : QStyle::SE_PushButtonContents;
        const QRect box = button->style()->subElementRect(element, &option, button);
        QSize need = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        if (!check && !radio && !button->icon().isNull())
            need.rwidth() += button->iconSize().width() + 4;  // the image and the gap beside it
        if (need.width() <= box.width() && need.height() <= box.height()) return {};
        return QStringLiteral("its text needs %1 in %2").arg(Size(need), Size(box.size()));
    }
    if (auto* group = dynamic_cast<uiw::WrappingGroupBox*>(w)) {
        if (group->title().isEmpty()) return {};
        const QRect caption = group->CaptionRect();
        if (caption.left() < 0 || caption.right() > group->rect().right() || caption.bottom() > group->rect().bottom())
            return QStringLiteral("its caption (%1 at %2,%3) does not fit the box")
                .arg(Size(caption.size()))
                .arg(caption.x())
                .arg(caption.y());
        // Nothing of the dialog may lie on the caption.
        const QRect onParent = caption.translated(group->pos());
        for (QWidget* other : group->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const uiw::HostBase* host = uiw::HostOf(other);
            // Controls hidden while the box shows take turns with it.
            if (other == group || !host || host->kind < 0 || (other->isHidden() && !group->isHidden()) ||
                !other->geometry().intersects(onParent))
                continue;
            const CWnd* owner = host->owner;
            return QStringLiteral("its caption (%1 at %2,%3) lies under control %4")
                .arg(Size(caption.size()))
                .arg(onParent.x())
                .arg(onParent.y())
                .arg(owner ? owner->GetDlgCtrlID() : 0);
        }
    }
    return {};
}

}  // namespace

std::vector<std::wstring> UnreachableControls(CWnd& window) {
    std::vector<std::wstring> problems;
    QWidget* top = window.Widget() ? window.Widget()->window() : nullptr;
    if (!top) return {L"the window is not open"};
    const QRect area = top->screen() ? top->screen()->availableGeometry() : QRect();
    const QRect frame = top->windowHandle() ? top->geometry().marginsAdded(top->windowHandle()->frameMargins())
                                            : top->frameGeometry();
    if (!area.contains(frame)) {
        problems.push_back(QStringLiteral("the window (%1 at %2,%3) reaches beyond the available area (%4 at %5,%6)")
                               .arg(Size(frame.size()))
                               .arg(frame.x())
                               .arg(frame.y())
                               .arg(Size(area.size()))
                               .arg(area.x())
                               .arg(area.y())
                               .toStdWString());
    }
    std::vector<CWnd*> controls;
    CollectControls(window, controls);
    for (CWnd* control : controls) {
        QWidget* w = control->Widget();
        if (!w->isVisible() || w->size().isEmpty()) continue;
        // The control must lie inside each widget it lies in, up to the
        // window or to the contents of an area that scrolls.
        QRect box = w->rect();
        for (QWidget* at = w; !at->isWindow();) {
            if (auto* scroll = qobject_cast<QScrollArea*>(at->parentWidget() ? at->parentWidget()->parentWidget() : nullptr);
                scroll && scroll->widget() == at) {
                at = scroll;  // reachable by scrolling; the area itself must show
                box = scroll->rect();
                continue;
            }
            QWidget* parent = at->parentWidget();
            box.translate(at->pos());
            if (!parent->rect().contains(box)) {
                problems.push_back(Describe(*control, w->rect().translated(w->mapTo(top, QPoint(0, 0)))) +
                                   QStringLiteral(": beyond the %1 area that shows it").arg(Size(parent->size())).toStdWString());
                break;
            }
            at = parent;
        }
    }
    return problems;
}

std::vector<std::wstring> ClippedTexts(CWnd& window) {
    std::vector<std::wstring> problems;
    std::vector<CWnd*> controls;
    CollectControls(window, controls);
    for (CWnd* control : controls) {
        QWidget* w = control->Widget();
        const uiw::HostBase* host = uiw::HostOf(w);
        if (!host) continue;
        const QString why = TextOverflow(w, *host);
        if (!why.isEmpty()) problems.push_back(Describe(*control, w->geometry()) + L": " + why.toStdWString());
    }
    return problems;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return PumpMessagesUntil(done, timeout);
}
