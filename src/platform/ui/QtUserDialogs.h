// The dialogs of UserDialogs.h on Qt: message boxes, folder browser, file
// dialogs, colour picker (Qt's own, never native ones, so every nested loop
// keeps handling messages) and the desktop's "open". Each call runs on the
// user-interface thread; from a worker it waits there for the answer.
#pragma once

#include <QString>

#include <string>

#include "platform/core/UserDialogs.h"

IUserDialogs& QtUserDialogs();

// A filter "text|pattern;pattern|text|pattern||" as Qt name filters
// ("text (pattern pattern);;text (pattern)").
QString QtFileFilter(const std::wstring& filter);
