// The application object: runs the main window modally; the program ends
// when it closes.
#pragma once

#include "platform/ui/UiApp.h"

class CTessavanApp : public CWinApp {
public:
    bool InitInstance() override;
};
