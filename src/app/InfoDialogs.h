// The version, customisation and contact dialogs: information about the
// product; they hold no state and change nothing.
#pragma once

#include <string>

#include "platform/ui/Dialog.h"

// Contact values of the project shown in these dialogs and in the main
// window's contact link.
struct ContactInfo {
    static const std::wstring kMessenger;      // the "QQ:" edits
    static const std::wstring kDownloadText;   // link 5131 of the version dialog
    static const std::wstring kDownloadTarget;
    static const std::wstring kConsultTarget;  // main window link 5133
    static const std::wstring kOffer;          // customisation dialog
    static const std::wstring kContactLink;    // main window link 1130
};

class CVersionDlg : public CDialog {
public:
    CVersionDlg();
    bool OnInitDialog() override;

protected:
    bool OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CCustomDlg : public CDialog {
public:
    CCustomDlg();
    bool OnInitDialog() override;
};

class CQQDlg : public CDialog {
public:
    CQQDlg();
    bool OnInitDialog() override;
};
