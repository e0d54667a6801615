#include "platform/core/Workbook.h"

#include <xlsxwriter.h>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"

bool WriteWorkbook(const std::wstring& path, const std::wstring& sheetName,
                   const std::vector<std::vector<std::wstring>>& rows, std::wstring& error) {
    error.clear();
    if (path.empty()) {
        error = L"No workbook name\n";
        return false;
    }
    // The library's own limits: a sheet has 1,048,576 rows and 16,384 columns.
    if (rows.size() > LXW_ROW_MAX) {
        error = L"Too many rows for a worksheet\n";
        return false;
    }
    const std::wstring tmp = files::TemporarySibling(path);
    const std::string tmpName = ToUtf8(tmp);
    lxw_workbook* workbook = workbook_new(tmpName.c_str());
    if (!workbook) {
        error = L"Cannot create the workbook\n";
        return false;
    }
    const std::string sheet = ToUtf8(sheetName);
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.c_str());
    lxw_error failure = LXW_NO_ERROR;
    if (!worksheet) {
        error = L"Invalid sheet name:" + sheetName + L"\n";
    } else {
        for (std::size_t r = 0; r < rows.size() && failure == LXW_NO_ERROR; ++r) {
            const auto& cells = rows[r];
            if (cells.size() > LXW_COL_MAX) {
                failure = LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE;
                break;
            }
            for (std::size_t c = 0; c < cells.size(); ++c) {
                if (cells[c].empty()) continue;  // an empty text is an empty cell
                failure = worksheet_write_string(worksheet, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c),
                                                 ToUtf8(cells[c]).c_str(), nullptr);
                if (failure != LXW_NO_ERROR) break;
            }
        }
    }
    // Closing writes the file; it also frees the workbook after a failure.
    const lxw_error closed = workbook_close(workbook);
    if (error.empty() && failure == LXW_NO_ERROR && closed == LXW_NO_ERROR && files::Rename(tmp, path)) return true;
    if (error.empty()) {
        const lxw_error reason = failure != LXW_NO_ERROR ? failure : closed;
        error = reason != LXW_NO_ERROR ? FromUtf8(lxw_strerror(reason)) + L"\n" : L"Error writing file\n";
    }
    files::Remove(tmp);
    return false;
}
