// Texts and path mappings of the scan window that need no window: the step
// chain, the processing status, the scan state, and the mapping between a
// scanned file and the file the scan-and-process run wrote for it.
#pragma once

#include <string>

// "处理:  " + the chain texts of the switches that are on, joined by " -> ",
// or "无" when none is on.
std::wstring ScanStepChainText();
// The processing status line: n queued, d done, f failed, whether a
// scan-and-process run is going.
std::wstring ScanProcessStatusText(int queued, int done, int failed, bool running);
// The scan state text of g_scanMode 0..3.
std::wstring ScanStateText(int mode);

// The processed counterpart of a file below the scan folder: processed
// folder / the scan folder's last component / the path below the scan
// folder. Empty when the path does not lie below the scan folder.
std::wstring ScanPathToProcessedPath(const std::wstring& path);
// The scanned file of a processed file: scan folder / the path below the
// processed folder without its first component. Empty when the path does not
// lie below the processed folder with a component to drop.
std::wstring ProcessedPathToScanPath(const std::wstring& path);
