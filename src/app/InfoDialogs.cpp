#include "app/InfoDialogs.h"

#include <QApplication>
#include <QStyle>

#include "app/Resource.h"
#include "app/core/MainWindowRules.h"

const std::wstring ContactInfo::kMessenger = L"tessavan@example.org";
const std::wstring ContactInfo::kDownloadText = L"<a>example.org/tessavan</a>";
const std::wstring ContactInfo::kDownloadTarget = L"https://example.org/tessavan/download";
const std::wstring ContactInfo::kConsultTarget = L"https://example.org/tessavan/support";
const std::wstring ContactInfo::kOffer = L"需要为您的档案定制处理功能？请与 Tessavan 项目联系。";
const std::wstring ContactInfo::kContactLink = L"<a>联系我们</a>";

namespace {

const DialogTemplate kVersionTemplate = {
    IDD_VERSION_DIALOG,
    L"版本信息",
    230,
    110,
    {
        {IDC_VERSION_LABEL, Ctl::Static, L"版本: ", 10, 10, 40, 10},
        {IDC_VERSION_TEXT, Ctl::Static, L"", 50, 10, 170, 10},
        {IDC_FORMATS, Ctl::Static, L"支持图片:      1位, 8位黑白，24位,32位黑白或彩色JPG，TIF, PNG", 10, 26, 210, 20},
        {IDC_DOWNLOAD_LABEL, Ctl::Static, L"", 10, 50, 40, 10},
        {IDC_DOWNLOAD_LINK, Ctl::Link, L"", 50, 50, 170, 10},
        {IDC_MESSENGER_LABEL, Ctl::Static, L"QQ:", 10, 66, 40, 10},
        {IDC_CONTACT_NUMBER, Ctl::Edit, L"", 50, 64, 120, 12, ES_READONLY},
        {IDC_PHONE_LABEL, Ctl::Static, L"电话:", 10, 82, 40, 10},
        {IDC_PHONE_NUMBER, Ctl::Edit, L"", 50, 80, 120, 12, ES_READONLY},
        {IDC_COMPANY, Ctl::Static, L"", 10, 96, 160, 10},
        {IDC_CONTACT_IMAGE, Ctl::Picture, L"", 180, 64, 40, 40},
        {IDOK, Ctl::DefButton, L"确定", 175, 92, 45, 14},
    },
};

const DialogTemplate kCustomTemplate = {
    IDD_CUSTOM_DIALOG,
    L"用户定制",
    220,
    80,
    {
        {IDC_OFFER_TEXT, Ctl::Static, L"", 10, 10, 200, 30},
        {IDC_CUSTOM_CONTACT_LABEL, Ctl::Static, L"QQ:", 10, 44, 30, 10, WS_HIDDEN},
        {IDC_CONTACT_NUMBER, Ctl::Edit, L"", 40, 42, 120, 12, ES_READONLY | WS_HIDDEN},
        {IDOK, Ctl::DefButton, L"确定", 165, 60, 45, 14},
    },
};

const DialogTemplate kContactTemplate = {
    IDD_CONTACT_DIALOG,
    L"联系我们",
    180,
    70,
    {
        {IDC_MESSENGER_LABEL, Ctl::Static, L"QQ:", 10, 12, 30, 10},
        {IDC_CONTACT_NUMBER, Ctl::Edit, L"", 40, 10, 120, 12, ES_READONLY},
        {IDC_CONTACT_IMAGE, Ctl::Picture, L"", 10, 30, 32, 32},
        {IDOK, Ctl::DefButton, L"确定", 125, 50, 45, 14},
    },
};

QIcon InfoIcon() { return QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation); }

}  // namespace

CVersionDlg::CVersionDlg() : CDialog(kVersionTemplate) {}

bool CVersionDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    for (int id : {IDC_PHONE_LABEL, IDC_PHONE_NUMBER, IDC_CONTACT_IMAGE, IDC_COMPANY})
        if (CWnd* item = GetDlgItem(id)) item->ShowWindow(SW_HIDE);
    SetDlgItemText(IDC_CONTACT_NUMBER, ContactInfo::kMessenger);
    SetDlgItemText(IDC_DOWNLOAD_LABEL, L"网盘下载:");
    SetDlgItemText(IDC_DOWNLOAD_LINK, ContactInfo::kDownloadText);
    SetDlgItemText(IDC_VERSION_TEXT, kVersionText);
    return true;
}

bool CVersionDlg::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header && header->idFrom == IDC_DOWNLOAD_LINK && header->code == NM_CLICK) {
        ShellExecuteW(GetSafeHwnd(), L"open", ContactInfo::kDownloadTarget.c_str(), nullptr, nullptr, SW_SHOW);
        return true;
    }
    return CDialog::OnNotify(wParam, lParam, result);
}

CCustomDlg::CCustomDlg() : CDialog(kCustomTemplate) {}

bool CCustomDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_OFFER_TEXT, ContactInfo::kOffer);
    SetDlgItemText(IDC_CONTACT_NUMBER, ContactInfo::kMessenger);
    return true;
}

CQQDlg::CQQDlg() : CDialog(kContactTemplate) {}

bool CQQDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_CONTACT_NUMBER, ContactInfo::kMessenger);
    if (auto* picture = dynamic_cast<CStatic*>(GetDlgItem(IDC_CONTACT_IMAGE))) picture->SetIcon(InfoIcon(), 32);
    return true;
}
