// The texts a run shows and the failed-file list it writes.
#pragma once

#include <string>
#include <vector>

#include "platform/core/CodePages.h"
#include "platform/core/System.h"

// Progress line texts.
std::wstring AutoDetectProgressText(int done, int total, int failed);
std::wstring RunningProgressText(int done, int total, int failed);
// `seconds` is the elapsed time in whole seconds.
std::wstring FinishedProgressText(int done, int failed, unsigned seconds);
// Status line text while a file is being processed.
std::wstring ProcessingStatusText(const std::wstring& path);

// "image_failed_YYYY-MM-DD_HHMM.txt" for the given local time.
std::wstring FailedListFileName(const SYSTEMTIME& time);

// Writes the failed-file list into `folder` under the name for `time`: one
// line per path, in the system's code page (or `codePage`) (characters it cannot represent
// become '?'), each ending "\r\n"; no header, no byte-order mark. An existing
// file of that name is replaced. Nothing is written for an empty list or an
// empty folder. Returns the path written, or empty when nothing was written
// (also when the folder cannot be written: the list is best effort).
std::wstring WriteFailedListFile(const std::wstring& folder, const std::vector<std::wstring>& paths,
                                 const SYSTEMTIME& time, UINT codePage = CP_ACP);
// Writes the list the same way to the file `path` (replaced when it exists).
// False when it cannot be written.
bool WriteFailedListAt(const std::wstring& path, const std::vector<std::wstring>& paths, UINT codePage = CP_ACP);
