// The source selection of MSG_USERSELECT: the texts of its dialog by
// language, and the chooser that shows it.
//
// The manager itself has no user interface: the chooser is installed by the
// program's user-interface layer (or by a test). Without one the selection
// cannot be shown and MSG_USERSELECT fails.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "twain/Twain.h"

struct DsmSelectText {
    TW_INT16 language;   // TWAIN language code; a negative code ends the table
    const char* locale;  // the matching POSIX locale ("zh_CN"); "" none
    const char* title;   // UTF-8 texts; empty in rows without texts
    const char* label;
    const char* ok;
    const char* cancel;
};

// The table, ended by a row with a negative language code.
const DsmSelectText* DsmSelectTexts();
// The row for an application's language: the row of that TWAIN code; for
// TWLG_USERLOCALE the row of the user's locale (LC_ALL, LC_MESSAGES, LANG),
// else the first of its language; the English row (code 2) when no row with
// texts matches.
const DsmSelectText& DsmSelectTextFor(TW_UINT16 language);

struct DsmSelectRequest {
    TW_HANDLE window = nullptr;          // the application's window
    const DsmSelectText* texts = nullptr;
    // The sources in id order: product name and id.
    std::vector<std::pair<std::string, TW_UINT32>> sources;
    int selected = 0;                    // index into `sources` to select first
};

// Shows the selection. Returns 1 when the user confirmed (with the chosen
// source's id in `chosen`, 0 when none was chosen), 2 when the user
// cancelled, and -1 when the selection could not be shown.
using DsmSelectChooser = std::function<int(const DsmSelectRequest& request, TW_UINT32& chosen)>;

// Installs the chooser (an empty function removes it); returns the previous
// one.
DsmSelectChooser DsmSetSelectChooser(DsmSelectChooser chooser);
DsmSelectChooser DsmGetSelectChooser();
