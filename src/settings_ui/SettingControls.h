// Small helpers the settings pages share: storing a typed value under the
// limits of its settings-table row, and reading check boxes.
#pragma once

#include <initializer_list>

#include "platform/core/Numbers.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Wnd.h"
#include "settings/SettingsTable.h"

namespace setting_controls {

// Stores `value` into `field`; a value the dialogs clamp (its row's limit is
// kClamped) is clamped first, any other is stored as typed.
template <typename T>
void StoreTyped(RelaxedAtomic<T>& field, double value) {
    const settings::Setting* row = settings::FindField(&field);
    if (!row) {
        field = static_cast<T>(value);
        return;
    }
    row->Set(row->limit == settings::Limit::kClamped ? row->Clamp(value) : value);
}

// The refusal of a typed value outside its row's range, or null when the
// value is accepted.
template <typename T>
const wchar_t* Refusal(const RelaxedAtomic<T>& field, double value) {
    const settings::Setting* row = settings::FindField(&field);
    if (!row || row->limit != settings::Limit::kRefused || row->WithinLimits(value)) return nullptr;
    return row->refusal;
}

inline bool Ticked(const CWnd& w, int id) { return w.IsDlgButtonChecked(id) == BST_CHECKED; }
inline int Flag(const CWnd& w, int id) { return Ticked(w, id) ? 1 : 0; }
inline void Tick(CWnd& w, int id, bool on) { w.CheckDlgButton(id, on ? BST_CHECKED : BST_UNCHECKED); }
inline void Enable(CWnd& w, int id, bool on) {
    if (CWnd* item = w.GetDlgItem(id)) item->EnableWindow(on);
}
inline void Show(CWnd& w, int id, bool on) {
    if (CWnd* item = w.GetDlgItem(id)) item->ShowWindow(on ? SW_SHOW : SW_HIDE);
}

inline CComboBox* List(const CWnd& w, int id) { return dynamic_cast<CComboBox*>(w.GetDlgItem(id)); }
inline CSliderCtrl* Slider(const CWnd& w, int id) { return dynamic_cast<CSliderCtrl*>(w.GetDlgItem(id)); }

// Refills a drop-down list and selects `selection` (-1: nothing).
inline void FillList(CWnd& w, int id, std::initializer_list<const wchar_t*> items, int selection) {
    CComboBox* list = List(w, id);
    if (!list) return;
    list->ResetContent();
    for (const wchar_t* item : items) list->AddString(item);
    list->SetCurSel(selection);
}
inline int ListIndex(const CWnd& w, int id) {
    CComboBox* list = List(w, id);
    return list ? list->GetCurSel() : -1;
}
// Range, position and the value label ("%d") of a slider.
inline void SetSlider(CWnd& w, int id, int lo, int hi, int position, int labelId) {
    if (CSliderCtrl* s = Slider(w, id)) {
        s->SetRange(lo, hi);
        s->SetPos(position);
    }
    w.SetDlgItemText(labelId, FormatW(L"%d", position));
}
inline int SliderPos(const CWnd& w, int id) {
    CSliderCtrl* s = Slider(w, id);
    return s ? s->GetPos() : 0;
}

}  // namespace setting_controls
