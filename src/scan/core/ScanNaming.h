// Names of scanned pages: prefix, a zero-padded counter of the chosen width
// and suffix, in the scan folder or a sub-folder of it (ScanSetting). A plain
// scan appends after the highest number present; an insert-scan makes room
// before the file selected in the scan window's tree by renaming the numbered
// files from it upwards (never over an existing file), the pages of one run
// in the order they were scanned; a replace-scan overwrites from the
// selected number upwards. No scanned page is ever written over a file that
// the run was not asked to replace: every number already taken counts,
// however many digits it has, and a counter that outgrows the code length
// simply gets more digits.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "twain/Twain.h"

// One file of the insert list.
struct ScanFileRecord {
    int number = -1;
    std::wstring name;    // as listed, with extension
    std::wstring folder;  // the folder that holds it
};

// Next number of a plain scan (set at the start of each run).
extern int g_nextScanNumber;
// Next number of a replace-scan; -1 none.
extern int g_replaceNumber;
// Number the next page of an insert-scan takes; -1 before the first page of
// a run (InitScanFileNumber resets it).
extern int g_insertNumber;

// A scanned file renamed by an insert-scan.
struct ScanFileMove {
    std::wstring from;
    std::wstring to;
};

// The full path of the file selected in the scan window's tree, empty when
// nothing or a folder is selected. The scan window installs it; none
// installed means no selection.
void SetScanSelectionProvider(std::function<std::wstring()> provider);
std::wstring ScanSelectedPath();

// The sub-folder text with "\" turned into "/" and surrounding white space
// removed.
std::wstring ScanSubFolder();
// Scan folder, plus the sub-folder when one is set.
std::wstring ScanTargetFolder();
// The counter of `number` padded to the code length ("%0*d").
std::wstring ScanCounterText(int number);
// Target folder / prefix + counter + suffix + extension.
std::wstring ScanFileNameFor(int number, const std::wstring& extension);
// ".jpg" for TWFF_JFIF, ".tif" for any other transfer format.
const wchar_t* ScanTransferExtension(TW_UINT16 format);
// ".tif" when the chosen format is Tif, else ".jpg".
const wchar_t* ScanSettingExtension();

// Why the typed sub-folder, prefix or suffix cannot name files inside the
// scan folder (a message for the user), or empty when they can.
std::wstring ScanNameRefusal();

// The number a name carries, or -1.
int ParseScanFileNumber(const std::wstring& name);
// The number a name of the numbering carries whatever the count of its
// digits: prefix, one or more digits, suffix and an extension (or, failing
// that, what ParseScanFileNumber reads); -1 for none.
int ScanNameNumber(const std::wstring& name);
// The next plain-scan name (UTF-8, creating the sub-folder levels first) in
// `buffer` of 256 bytes; increments g_nextScanNumber, past numbers whose
// name is taken. False for a missing buffer, typed names that leave the scan
// folder (ScanNameRefusal) or a name that does not fit into 255 bytes.
bool NextScanFileName(char* buffer, TW_UINT16 format);
// The first number of a run (also stored in g_nextScanNumber).
int InitScanFileNumber();
// The number S of the selected file and the files of the target folder
// numbered S or above; `path` receives the selected file's path. -1 when
// there is no usable selection: nothing selected, a name that does not fit
// the numbering, or a file that does not lie directly in the target folder
// (a processed file stands for its scanned counterpart).
int FindInsertPosition(std::vector<ScanFileRecord>& list, std::wstring& path);
// The files lying directly in the target folder numbered `start` or above.
std::vector<ScanFileRecord> ScanFilesFrom(int start);
// Renames the run of consecutive numbers from `start` one number up, highest
// first, never over an existing file. Returns false when a file of the run
// could not be moved (the number `start` is then still taken). `moved`, when
// given, receives the renames done, in their order.
bool ShiftScanFilesUp(std::vector<ScanFileRecord> list, int start, std::vector<ScanFileMove>* moved = nullptr);
// The number of the selected file, or -1 (the same selection rules as
// FindInsertPosition).
int GetReplaceNumber();
// The example text: processed folder / sub-folder / prefix + counter(start
// code) + suffix + extension.
std::wstring ScanNameExample();
// Stores the scan folder as "SavePath" in the program's registry.
bool WriteSavePathRegistry();
