#include "platform/ui/Controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QTreeWidget>

#include "platform/ui/Widgets.h"

namespace {

QString Q(const std::wstring& s) { return QString::fromStdWString(s); }

template <class T>
T* As(QWidget* w) {
    return dynamic_cast<T*>(w);
}

}  // namespace

// --- CStatic -----------------------------------------------------------------

void CStatic::SetBitmap(const QPixmap& bitmap) {
    if (auto* label = As<QLabel>(Widget())) label->setPixmap(bitmap);
}

void CStatic::SetIcon(const QIcon& icon, int size) {
    if (auto* label = As<QLabel>(Widget())) label->setPixmap(icon.pixmap(size, size));
}

// --- CButton -----------------------------------------------------------------

void CButton::SetCheck(UINT check) {
    if (auto* b = As<QAbstractButton>(Widget())) {
        if (b->isCheckable()) b->setChecked(check == BST_CHECKED);
    }
}

UINT CButton::GetCheck() const {
    auto* b = As<QAbstractButton>(Widget());
    return b && b->isCheckable() && b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetBitmap(const QPixmap& bitmap) {
    if (auto* b = As<QAbstractButton>(Widget())) {
        b->setIcon(QIcon(bitmap));
        b->setIconSize(bitmap.size());
    }
}

void CButton::SetIcon(const QIcon& icon, int size) {
    if (auto* b = As<QAbstractButton>(Widget())) {
        b->setIcon(icon);
        b->setIconSize(QSize(size, size));
    }
}

// --- CEdit -------------------------------------------------------------------

void CEdit::SetReadOnly(bool readOnly) {
    if (auto* e = As<QLineEdit>(Widget())) e->setReadOnly(readOnly);
}

bool CEdit::IsReadOnly() const {
    auto* e = As<QLineEdit>(Widget());
    return e && e->isReadOnly();
}

void CEdit::LimitText(int characters) {
    if (auto* e = As<QLineEdit>(Widget())) e->setMaxLength(characters > 0 ? characters : 32767);
}

void CEdit::SetSel(int start, int end) {
    auto* e = As<QLineEdit>(Widget());
    if (!e) return;
    if (start < 0) {
        e->deselect();
        return;
    }
    if (end < 0 || end > e->text().size()) end = static_cast<int>(e->text().size());
    e->setSelection(start, end - start);
}

// --- CComboBox ---------------------------------------------------------------
// Changes made from code never send CBN_SELCHANGE: the dialog hears only
// QComboBox::activated, which Qt emits for the user's choices alone.

int CComboBox::AddString(const std::wstring& text) {
    auto* c = As<QComboBox>(Widget());
    if (!c) return -1;
    const int selected = c->currentIndex();
    c->addItem(Q(text));
    // Adding to an empty list must not select the new item.
    if (selected < 0) c->setCurrentIndex(-1);
    return c->count() - 1;
}

int CComboBox::InsertString(int index, const std::wstring& text) {
    auto* c = As<QComboBox>(Widget());
    if (!c) return -1;
    if (index < 0 || index > c->count()) index = c->count();
    const int selected = c->currentIndex();
    c->insertItem(index, Q(text));
    c->setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
    return index;
}

int CComboBox::DeleteString(int index) {
    auto* c = As<QComboBox>(Widget());
    if (!c || index < 0 || index >= c->count()) return -1;
    const int selected = c->currentIndex();
    c->removeItem(index);
    // As with a list, removing the selected entry leaves nothing selected.
    if (selected == index) c->setCurrentIndex(-1);
    return c->count();
}

void CComboBox::ResetContent() {
    if (auto* c = As<QComboBox>(Widget())) c->clear();
}

int CComboBox::GetCount() const {
    auto* c = As<QComboBox>(Widget());
    return c ? c->count() : 0;
}

int CComboBox::SetCurSel(int index) {
    auto* c = As<QComboBox>(Widget());
    if (!c) return -1;
    if (index < 0 || index >= c->count()) {
        c->setCurrentIndex(-1);
        return -1;
    }
    c->setCurrentIndex(index);
    return index;
}

int CComboBox::GetCurSel() const {
    auto* c = As<QComboBox>(Widget());
    return c ? c->currentIndex() : -1;
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
    auto* c = As<QComboBox>(Widget());
    if (!c || index < 0 || index >= c->count()) return -1;
    c->setItemData(index, QVariant::fromValue<qulonglong>(data));
    return 0;
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    auto* c = As<QComboBox>(Widget());
    if (!c || index < 0 || index >= c->count()) return static_cast<DWORD_PTR>(-1);
    return static_cast<DWORD_PTR>(c->itemData(index).toULongLong());
}

std::wstring CComboBox::GetLBText(int index) const {
    auto* c = As<QComboBox>(Widget());
    if (!c || index < 0 || index >= c->count()) return {};
    return c->itemText(index).toStdWString();
}

int CComboBox::FindStringExact(int startAfter, const std::wstring& text) const {
    auto* c = As<QComboBox>(Widget());
    if (!c) return -1;
    const QString q = Q(text);
    const int n = c->count();
    for (int k = 1; k <= n; ++k) {
        const int i = ((startAfter < 0 ? -1 : startAfter) + k) % n;
        if (c->itemText(i).compare(q, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

// --- CSliderCtrl -----------------------------------------------------------------

void CSliderCtrl::SetRange(int minimum, int maximum, bool) {
    if (auto* s = As<uiw::SliderWidget>(Widget())) s->Programmatic([&] { s->setRange(minimum, maximum); });
}

int CSliderCtrl::GetRangeMin() const {
    auto* s = As<QSlider>(Widget());
    return s ? s->minimum() : 0;
}

int CSliderCtrl::GetRangeMax() const {
    auto* s = As<QSlider>(Widget());
    return s ? s->maximum() : 0;
}

void CSliderCtrl::SetPos(int position) {
    if (auto* s = As<uiw::SliderWidget>(Widget())) s->Programmatic([&] { s->setValue(position); });
}

int CSliderCtrl::GetPos() const {
    auto* s = As<QSlider>(Widget());
    return s ? s->value() : 0;
}

void CSliderCtrl::SetTicFreq(int frequency) {
    if (auto* s = As<QSlider>(Widget())) {
        s->setTickInterval(frequency);
        s->setTickPosition(QSlider::TicksBelow);
    }
}

void CSliderCtrl::SetPageSize(int size) {
    if (auto* s = As<QSlider>(Widget())) s->setPageStep(size);
}

void CSliderCtrl::SetLineSize(int size) {
    if (auto* s = As<QSlider>(Widget())) s->setSingleStep(size);
}

// --- CToolTipCtrl, CImageList ----------------------------------------------------------

bool CToolTipCtrl::AddTool(CWnd* control, const std::wstring& text) {
    if (!control || !control->Widget()) return false;
    control->Widget()->setToolTip(active_ ? Q(text) : QString());
    return true;
}

bool CImageList::Create(int cx, int cy, UINT, int, int) {
    cx_ = cx;
    cy_ = cy;
    icons_.clear();
    return true;
}

int CImageList::Add(const QIcon& icon) {
    icons_.push_back(icon);
    return static_cast<int>(icons_.size()) - 1;
}

const QIcon* CImageList::Icon(int index) const {
    return index >= 0 && index < GetImageCount() ? &icons_[static_cast<std::size_t>(index)] : nullptr;
}

// --- CTreeCtrl -------------------------------------------------------------------

namespace {
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kSelectedImageRole = Qt::UserRole + 2;
}  // namespace

CImageList* CTreeCtrl::SetImageList(CImageList* list, int) {
    CImageList* old = images_;
    images_ = list;
    if (auto* t = As<QTreeWidget>(Widget()); t && list) t->setIconSize(QSize(list->Width(), list->Width()));
    return old;
}

HTREEITEM CTreeCtrl::InsertItem(const std::wstring& text, int image, int selectedImage, HTREEITEM parent,
                                HTREEITEM insertAfter) {
    auto* t = As<uiw::TreeWidget>(Widget());
    if (!t) return nullptr;
    auto* item = new QTreeWidgetItem(QStringList{Q(text)});
    item->setData(0, kImageRole, image);
    item->setData(0, kSelectedImageRole, selectedImage);
    if (images_) {
        if (const QIcon* icon = images_->Icon(image)) item->setIcon(0, *icon);
    }
    const bool atRoot = parent == TVI_ROOT || parent == nullptr;
    auto count = [&] { return atRoot ? t->topLevelItemCount() : parent->childCount(); };
    auto insertAt = [&](int index) {
        if (atRoot) t->insertTopLevelItem(index, item);
        else parent->insertChild(index, item);
    };
    // Inserting never changes the selection (and so notifies nothing).
    t->WithAction(TVC_UNKNOWN, true, [&] {
        if (insertAfter == TVI_FIRST) {
            insertAt(0);
        } else if (insertAfter == TVI_LAST || insertAfter == nullptr) {
            insertAt(count());
        } else {
            const int after = atRoot ? t->indexOfTopLevelItem(insertAfter) : parent->indexOfChild(insertAfter);
            insertAt(after < 0 ? count() : after + 1);
        }
    });
    return item;
}

HTREEITEM CTreeCtrl::InsertItem(const std::wstring& text, HTREEITEM parent, HTREEITEM insertAfter) {
    return InsertItem(text, 0, 0, parent, insertAfter);
}

bool CTreeCtrl::DeleteItem(HTREEITEM item) {
    auto* t = As<uiw::TreeWidget>(Widget());
    if (!t || !item) return false;
    t->WithAction(TVC_UNKNOWN, true, [&] {
        t->Forget(item);
        delete item;
    });
    return true;
}

bool CTreeCtrl::DeleteAllItems() {
    auto* t = As<uiw::TreeWidget>(Widget());
    if (!t) return false;
    t->WithAction(TVC_UNKNOWN, true, [&] {
        t->Forget(nullptr);
        for (int i = 0; i < t->topLevelItemCount(); ++i) t->Forget(t->topLevelItem(i));
        t->clear();
    });
    return true;
}

bool CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
    if (!item) return false;
    item->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(data));
    return true;
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
    return item ? static_cast<DWORD_PTR>(item->data(0, Qt::UserRole).toULongLong()) : 0;
}

std::wstring CTreeCtrl::GetItemText(HTREEITEM item) const {
    return item ? item->text(0).toStdWString() : std::wstring();
}

bool CTreeCtrl::SelectItem(HTREEITEM item) {
    auto* t = As<uiw::TreeWidget>(Widget());
    if (!t) return false;
    t->WithAction(TVC_UNKNOWN, false, [&] {
        if (item) {
            t->setCurrentItem(item);
            item->setSelected(true);
            t->scrollToItem(item);
        } else {
            t->clearSelection();
        }
    });
    return true;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const {
    auto* t = As<QTreeWidget>(Widget());
    if (!t) return nullptr;
    const auto selected = t->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

bool CTreeCtrl::ItemHasChildren(HTREEITEM item) const { return item && item->childCount() > 0; }

bool CTreeCtrl::Expand(HTREEITEM item, UINT code) {
    if (!item) return false;
    switch (code) {
        case TVE_EXPAND: item->setExpanded(true); break;
        case TVE_COLLAPSE: item->setExpanded(false); break;
        case TVE_TOGGLE: item->setExpanded(!item->isExpanded()); break;
        default: return false;
    }
    return true;
}

bool CTreeCtrl::IsExpanded(HTREEITEM item) const { return item && item->isExpanded(); }

HTREEITEM CTreeCtrl::GetRootItem() const {
    auto* t = As<QTreeWidget>(Widget());
    return t && t->topLevelItemCount() > 0 ? t->topLevelItem(0) : nullptr;
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
    if (item == nullptr || item == TVI_ROOT) return GetRootItem();
    return item->childCount() > 0 ? item->child(0) : nullptr;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    auto* t = As<QTreeWidget>(Widget());
    if (!t || !item) return nullptr;
    if (QTreeWidgetItem* parent = item->parent()) {
        const int i = parent->indexOfChild(item);
        return i + 1 < parent->childCount() ? parent->child(i + 1) : nullptr;
    }
    const int i = t->indexOfTopLevelItem(item);
    return i >= 0 && i + 1 < t->topLevelItemCount() ? t->topLevelItem(i + 1) : nullptr;
}

HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM item) const {
    auto* t = As<QTreeWidget>(Widget());
    if (!t || !item) return nullptr;
    if (QTreeWidgetItem* parent = item->parent()) {
        const int i = parent->indexOfChild(item);
        return i > 0 ? parent->child(i - 1) : nullptr;
    }
    const int i = t->indexOfTopLevelItem(item);
    return i > 0 ? t->topLevelItem(i - 1) : nullptr;
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const { return item ? item->parent() : nullptr; }

UINT CTreeCtrl::GetCount() const {
    auto* t = As<QTreeWidget>(Widget());
    if (!t) return 0;
    UINT n = 0;
    std::function<void(QTreeWidgetItem*)> count = [&](QTreeWidgetItem* item) {
        ++n;
        for (int i = 0; i < item->childCount(); ++i) count(item->child(i));
    };
    for (int i = 0; i < t->topLevelItemCount(); ++i) count(t->topLevelItem(i));
    return n;
}

bool CTreeCtrl::EnsureVisible(HTREEITEM item) {
    auto* t = As<QTreeWidget>(Widget());
    if (!t || !item) return false;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent()) p->setExpanded(true);
    t->scrollToItem(item);
    return true;
}

int CTreeCtrl::GetItemImage(HTREEITEM item) const {
    if (!item) return -1;
    const bool selected = item->isSelected();
    return item->data(0, selected ? kSelectedImageRole : kImageRole).toInt();
}

// --- CListCtrl -------------------------------------------------------------------

int CListCtrl::InsertItem(int index, const std::wstring& text) {
    auto* l = As<uiw::ListWidget>(Widget());
    if (!l) return -1;
    if (index < 0 || index > l->count()) index = l->count();
    l->insertItem(index, Q(text));
    return index;
}

bool CListCtrl::DeleteItem(int index) {
    auto* l = As<uiw::ListWidget>(Widget());
    if (!l || index < 0 || index >= l->count()) return false;
    delete l->takeItem(index);
    if (l->selectionMark == index) l->selectionMark = -1;
    else if (l->selectionMark > index) --l->selectionMark;
    return true;
}

bool CListCtrl::DeleteAllItems() {
    auto* l = As<uiw::ListWidget>(Widget());
    if (!l) return false;
    l->clear();
    l->selectionMark = -1;
    return true;
}

int CListCtrl::GetItemCount() const {
    auto* l = As<QListWidget>(Widget());
    return l ? l->count() : 0;
}

std::wstring CListCtrl::GetItemText(int index, int) const {
    auto* l = As<QListWidget>(Widget());
    if (!l || index < 0 || index >= l->count()) return {};
    return l->item(index)->text().toStdWString();
}

bool CListCtrl::SetItemText(int index, int, const std::wstring& text) {
    auto* l = As<QListWidget>(Widget());
    if (!l || index < 0 || index >= l->count()) return false;
    l->item(index)->setText(Q(text));
    return true;
}

int CListCtrl::GetSelectionMark() const {
    auto* l = As<uiw::ListWidget>(Widget());
    return l ? l->selectionMark : -1;
}

int CListCtrl::SetSelectionMark(int index) {
    auto* l = As<uiw::ListWidget>(Widget());
    if (!l) return -1;
    return std::exchange(l->selectionMark, index);
}

void CListCtrl::SetItemTextColor(int index, COLORREF color) {
    auto* l = As<QListWidget>(Widget());
    if (!l || index < 0 || index >= l->count()) return;
    if (color == CLR_DEFAULT) l->item(index)->setData(Qt::ForegroundRole, QVariant());
    else l->item(index)->setForeground(gdi::ToQColor(color));
}

COLORREF CListCtrl::GetItemTextColor(int index) const {
    auto* l = As<QListWidget>(Widget());
    if (!l || index < 0 || index >= l->count()) return CLR_DEFAULT;
    const QVariant v = l->item(index)->data(Qt::ForegroundRole);
    return v.isValid() ? gdi::FromQColor(v.value<QBrush>().color()) : CLR_DEFAULT;
}

bool CListCtrl::EnsureVisible(int index, bool) {
    auto* l = As<QListWidget>(Widget());
    if (!l || index < 0 || index >= l->count()) return false;
    l->scrollToItem(l->item(index));
    return true;
}
