// The Qt widgets behind the window objects (internal to the dialog layer).
// Every widget the layer creates carries a HostBase: the window object that
// currently owns it, its kind and its radio group. Event handlers ask the
// owner first (painting, mouse, colours) and fall back to the widget's own
// handling.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSlider>
#include <QTreeWidget>
#include <QWheelEvent>

#include <string>

#include "platform/ui/Controls.h"
#include "platform/ui/Wnd.h"

namespace uiw {

struct HostBase {
    virtual ~HostBase() = default;
    CWnd* owner = nullptr;
    int kind = -1;          // the Ctl of the table entry; -1 for windows
    int group = 0;          // radio group within the dialog
    DWORD style = 0;
    const wchar_t* className = L"";
    UINT ctlColorKind = 0;  // what the widget asks its dialog for; 0: nothing
    QPalette basePalette;   // the palette before any control colours
    bool paletteCaptured = false;
};

HostBase* HostOf(QWidget* widget);
// The window object of `widget` or of the nearest widget it lies in.
CWnd* OwnerOf(QWidget* widget);
// Applies the colours the owner's dialog chooses (before painting).
void ApplyControlColors(QWidget* widget, HostBase& host);
UINT MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

template <class W>
class Host : public W, public HostBase {
public:
    template <class... A>
    explicit Host(A&&... args) : W(std::forward<A>(args)...) {}

protected:
    void paintEvent(QPaintEvent* e) override {
        if (owner) {
            ApplyControlColors(this, *this);
            if (owner->HandlePaint(this)) return;
        }
        W::paintEvent(e);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (!Mouse(WM_LBUTTONDOWN, e)) W::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (!Mouse(WM_LBUTTONUP, e)) W::mouseReleaseEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!Mouse(WM_MOUSEMOVE, e)) W::mouseMoveEvent(e);
    }
    void wheelEvent(QWheelEvent* e) override {
        if (owner) {
            const QPoint global = e->globalPosition().toPoint();
            const short delta = static_cast<short>(e->angleDelta().y());
            if (owner->HandleWheel(MouseFlags(e->buttons(), e->modifiers()), delta, POINT{global.x(), global.y()})) {
                e->accept();
                return;
            }
        }
        W::wheelEvent(e);
    }
    void resizeEvent(QResizeEvent* e) override {
        W::resizeEvent(e);
        if (owner) owner->HandleResize(e->size().width(), e->size().height());
    }

    // Offers a button event to the owner; true when the owner took it.
    bool Mouse(UINT message, QMouseEvent* e) {
        if (!owner || (message != WM_MOUSEMOVE && e->button() != Qt::LeftButton)) return false;
        const QPoint p = e->position().toPoint();
        if (owner->HandleMouse(message, MouseFlags(e->buttons(), e->modifiers()), POINT{p.x(), p.y()})) {
            e->accept();
            return true;
        }
        return false;
    }
};

// The top-level window of a modal dialog: Esc and the close box go to the
// dialog's OnCancel, which may refuse to close.
class DialogWidget : public QDialog, public HostBase {
public:
    explicit DialogWidget(QWidget* parent) : QDialog(parent) {}
    void reject() override;
};

// Static text: keeps its whole text; with path ellipsis it shows a shortened
// path when the text does not fit.
class StaticWidget : public Host<QLabel> {
public:
    explicit StaticWidget(QWidget* parent) : Host<QLabel>(parent) { setTextFormat(Qt::PlainText); }
    void SetFullText(const QString& text) {
        full_ = text;
        Refresh();
    }
    const QString& FullText() const { return full_; }
    bool pathEllipsis = false;
    bool notify = false;

protected:
    void resizeEvent(QResizeEvent* e) override {
        Host<QLabel>::resizeEvent(e);
        Refresh();
    }
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void Refresh();
    QString full_;
};

// Link text: `<a>` markup shown as links; a click notifies NM_CLICK.
class LinkWidget : public Host<QLabel> {
public:
    explicit LinkWidget(QWidget* parent);
    void SetMarkup(const QString& markup);
    const QString& Markup() const { return markup_; }
    // What a click on link `index` does.
    void ActivateLink(int index);

private:
    QString markup_;
};

// An auto radio button: a click checks it (never unchecks it); the group is
// handled by the dialog, not by Qt's exclusivity.
class RadioWidget : public Host<QRadioButton> {
public:
    explicit RadioWidget(QWidget* parent) : Host<QRadioButton>(parent) { setAutoExclusive(false); }

protected:
    void nextCheckState() override { setChecked(true); }
};

// Slider: tells user moves from moves made by code.
class SliderWidget : public Host<QSlider> {
public:
    explicit SliderWidget(QWidget* parent);
    // Runs `change` as a move made by code (no notification).
    template <class F>
    void Programmatic(F change) {
        const bool old = programmatic_;
        programmatic_ = true;
        change();
        programmatic_ = old;
    }

private:
    bool programmatic_ = false;
    UINT pendingCode_ = TB_THUMBPOSITION;
};

class TreeWidget : public Host<QTreeWidget> {
public:
    explicit TreeWidget(QWidget* parent);
    // Runs `change` with the given selection-change action (or silenced).
    template <class F>
    void WithAction(UINT action, bool silent, F change) {
        const UINT oldAction = action_;
        const bool oldSilent = silent_;
        action_ = action;
        silent_ = silent;
        change();
        action_ = oldAction;
        silent_ = oldSilent;
    }
    void Forget(QTreeWidgetItem* item);  // an item (and its children) is going

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void SelectionChanged();
    QTreeWidgetItem* last_ = nullptr;
    UINT action_ = TVC_UNKNOWN;
    bool silent_ = false;
};

class ListWidget : public Host<QListWidget> {
public:
    explicit ListWidget(QWidget* parent);
    int selectionMark = -1;
    // What a click at row `row` (-1: no item) does.
    void Click(int row);

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// A group box whose caption, when it is wider than the box, is drawn on as
// many lines as it needs (wrapped like a static text) over the frame's top.
class WrappingGroupBox : public QGroupBox {
public:
    explicit WrappingGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}
    // Where the caption is drawn.
    QRect CaptionRect() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QRect SingleLineCaption() const;
};

using ClientWidget = Host<QWidget>;
using EditWidget = Host<QLineEdit>;
using ComboWidget = Host<QComboBox>;
// A push button. Enter clicks the button that has the focus, and from
// anywhere else in its window only the window's default button (a
// DefButton): Qt would otherwise make the first button of a window without
// one its default, so that Enter after typing a value clicked a button
// nobody chose.
class PushWidget final : public Host<QPushButton> {
public:
    PushWidget(const QString& text, QWidget* parent, bool isDefault) : Host<QPushButton>(text, parent) {
        setAutoDefault(isDefault);
        setDefault(isDefault);
    }

protected:
    void keyPressEvent(QKeyEvent* e) override {
        const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        if (enter && !autoDefault() && !e->isAutoRepeat()) {
            click();
            e->accept();
            return;
        }
        Host<QPushButton>::keyPressEvent(e);
    }
};
using CheckWidget = Host<QCheckBox>;
using GroupWidget = Host<WrappingGroupBox>;
using FrameWidget = Host<QFrame>;

}  // namespace uiw
