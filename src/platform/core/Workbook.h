// Spreadsheet workbooks: the one place the program writes an Office Open XML
// workbook (.xlsx), through libxlsxwriter. Windows programs reached Excel
// workbooks through an ODBC driver; none exists here, and the library only
// writes, so a workbook is always written whole from rows of text.
#pragma once

#include <string>
#include <vector>

// Writes `rows` (row 0 first, each a list of cell texts) as text cells into
// the sheet `sheetName` of a new workbook at `path`, replacing a file of that
// name. The file is written under a temporary name beside `path` and renamed
// into place, so a failed write leaves no file. Returns true when the whole
// workbook was written; otherwise false with the reason in `error`.
bool WriteWorkbook(const std::wstring& path, const std::wstring& sheetName,
                   const std::vector<std::vector<std::wstring>>& rows, std::wstring& error);
