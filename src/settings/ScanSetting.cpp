#include "settings/ScanSetting.h"

void ScanSetting::ResetToStart() {
    values = Values{};
    g_useDriverUI = 0;
}

const std::array<ScanStepFlags::Switch, ScanStepFlags::kCount>& ScanStepFlags::Switches() {
    static const std::array<Switch, kCount> table = {{
        {&rmbkcolor, L"去底色", 0},
        {&rmblackboard, L"去黑底", 'A'},
        {&rmblackborder, L"去黑边", 'A'},
        {&bindhole, L"去装订孔", 'A'},
        {&rmstains, L"去污点", 'A'},
        {&correct, L"校正", 0},
        {&center, L"居中", 'B'},
        {&cutbybkcolor, L"按彩色背景切边", 'B'},
        {&cutwhite, L"切白边", 'B'},
        {&autocontrast, L"自动对比度", 0},
        {&rmredseal, L"去红章", 'C'},
        {&strenredseal, L"加强红章", 'C'},
        {&rmblankpage, L"去白页", 0},
        {&modifycolor, L"修改背景色", 0},
        {&rotatetextdirect, L"按文字方向旋正", 0},
        {&output, L"固定输出尺寸", 0},
    }};
    return table;
}

bool ScanStepFlags::AnyOn() {
    for (const Switch& s : Switches())
        if (s.flag->load() != 0) return true;
    return false;
}

void ScanStepFlags::Set(std::size_t index, bool on) {
    const auto& table = Switches();
    if (index >= table.size()) return;
    const Switch& chosen = table[index];
    if (on && chosen.group != 0) {
        for (const Switch& s : table)
            if (s.group == chosen.group && s.flag != chosen.flag) *s.flag = 0;
    }
    *chosen.flag = on ? 1 : 0;
}

void ScanStepFlags::ResetToStart() {
    for (const Switch& s : Switches()) *s.flag = 0;
}
