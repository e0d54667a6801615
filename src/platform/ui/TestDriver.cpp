#include "platform/ui/TestDriver.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWheelEvent>

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

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return PumpMessagesUntil(done, timeout);
}
