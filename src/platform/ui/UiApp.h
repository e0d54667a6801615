// The Qt application and what plugs the dialog layer into it.
#pragma once

#include "platform/ui/Wnd.h"

// Makes sure the Qt application exists (created from the arguments given, or
// default ones) and the layer is plugged in: posted and sent messages are
// delivered by the Qt event loop (and by every modal loop), the dialogs of
// UserDialogs.h are the Qt ones (message boxes raised on a worker are shown
// by the user-interface thread while the worker waits), keyboard messages go
// through PreTranslateMessage, and the default font draws Chinese text. The
// calling thread becomes the user-interface thread. Idempotent.
void EnsureUiApplication(int* argc = nullptr, char** argv = nullptr);

// The application object: construct one, then Run it from main().
class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Starts the program's work; true to go on running the event loop until
    // the last window closes, false to end at once (a program that runs its
    // main dialog modally returns false).
    virtual bool InitInstance() { return false; }
    int Run(int argc, char** argv);
};

CWinApp* AfxGetApp();
