#include "app/core/MainWindowRules.h"

#include <vector>

#include "settings/ProcessSetting.h"

int PreselectedThreadItem(int processors) {
    const int last = static_cast<int>(kThreadCountItems.size()) - 1;
    if (processors < 4) return 1;
    if (processors > 8) return last;
    int chosen = 0;
    for (int i = 0; i <= last; ++i)
        if (kThreadCountItems[static_cast<std::size_t>(i)].data <= processors - 2) chosen = i;
    return chosen;
}

std::wstring OperationSummaryText() {
    using S = ProcessSetting;
    std::vector<const wchar_t*> names;
    if (S::rmblackboard.on) names.push_back(L"去除黑色背景板");
    if (S::rmblackborder.on) names.push_back(L"去黑边");
    if (S::bindhole.on) names.push_back(L"去装订孔");
    if (S::rmstains.on) names.push_back(L"去污点");
    if (S::center.on)
        names.push_back(L"自动居中");
    else if (S::cutbybkcolor.on)
        names.push_back(L"根据背景色切4个边");
    else if (S::cutwhite.on)
        names.push_back(L"白纸黑字切白边");
    if (S::autocontrast.on) names.push_back(L"自动对比度");
    if (S::rmredseal.on)
        names.push_back(L"去红印章");
    else if (S::strenredseal.on)
        names.push_back(L"加强红印章");
    if (S::rmblankpage.on) names.push_back(L"去除空白页");
    if (S::modifycolor.on) names.push_back(L"修改背景色");
    if (S::rotatetextdirect.on) names.push_back(L"文字(90,180,270)度旋正");
    if (S::output.on) names.push_back(L"固定输出尺寸");
    if (S::dpi.on) names.push_back(L"修改DPI");
    if (names.empty()) return L"无";
    std::wstring text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) text += L"  -->  ";
        text += names[i];
    }
    return text;
}
