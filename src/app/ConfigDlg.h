// The configuration dialog ("配置"): saves the processing settings, the main
// window's folder choices and its thread count into morvessaconfig.xml in
// the program's folder, and loads them back. It reads and writes the main
// window through the window's own controls; nothing loads the file at
// start-up.
#pragma once

#include <string>

#include "platform/ui/Dialog.h"

class CTessavanDlg;

class CConfigDlg : public CDialog {
public:
    CConfigDlg();

    bool OnInitDialog() override;
    void OnSaveConfig();
    void OnLoadConfig();

    // The file the dialog works on (set at each opening).
    const std::wstring& FilePath() const { return path_; }

private:
    // The application's main window when it is the main dialog, else null.
    static CTessavanDlg* MainDialog();
    // Shows whether the file exists and enables the load button with it.
    void ShowFileState();

    std::wstring path_;
};
