#include "app/TessavanApp.h"

#include "app/TessavanDlg.h"

bool CTessavanApp::InitInstance() {
    CTessavanDlg dlg;
    SetMainWnd(&dlg);
    dlg.DoModal();
    SetMainWnd(nullptr);
    return false;
}
