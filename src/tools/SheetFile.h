// CSheetFile: a table of text rows kept in memory and stored either as a
// sheet of a workbook or as a delimited text file. The name decides: a name
// ending in ".xlsx" or ".xls" (any case) is a workbook, anything else a text
// file.
//
// Every row is kept as one text in which each value stands in double quotes
// and the values are joined by the separator ("a","b" for the separator
// ","). In workbook mode the separator is ",;.?"; in text mode it is the
// constructor's second argument.
//
// Workbooks are written as Office Open XML (.xlsx) and are never read back:
// loading a workbook finds no sheet, as loading a new one does, so the first
// save creates the sheet. A workbook whose name ends in ".xls" is refused by
// Save (its content would not be what the name promises).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CSheetFile {
public:
    // fileName: the workbook or text file. sheetOrSeparator: the sheet name
    // in workbook mode, the separator in text mode. backup: keep what the
    // file held before the first save (text: "<name>.bak"; workbook: the
    // sheet "CSheetFileBackup").
    CSheetFile(const std::wstring& fileName, const std::wstring& sheetOrSeparator, bool backup);
    ~CSheetFile();
    CSheetFile(const CSheetFile&) = delete;
    CSheetFile& operator=(const CSheetFile&) = delete;

    // Row 1 is the header row; row 0 appends after the last row; any other
    // number replaces that row or extends the table up to it with empty rows.
    // Unless inTransaction is set the table is saved at once. False, with
    // the reason in lastError, when the row is refused or the save fails.
    bool AddRow(const std::vector<std::wstring>& values, std::int32_t row);
    // Splits one row into its values; row 0 reads the row at currentRow
    // (which then moves on by one).
    bool ReadRow(std::vector<std::wstring>& values, std::int32_t row);
    // Writes every row; clears inTransaction.
    bool Save();
    // Reads the sheet or file into the rows.
    bool Load();

    // The texts of the row model.
    static std::wstring JoinRow(const std::vector<std::wstring>& values, const std::wstring& separator);
    static std::vector<std::wstring> SplitRow(const std::wstring& text, const std::wstring& separator);
    // True when a name selects the workbook mode.
    static bool IsWorkbookName(const std::wstring& fileName);

    // ---- Members, in this order ----
    std::uint8_t backup = 0;
    std::uint8_t sheetExists = 0;   // the sheet or file already held a header row
    std::uint8_t isExcel = 0;       // workbook mode
    std::uint8_t inTransaction = 0; // while set, AddRow does not save
    std::int32_t currentRow = 1;    // 1-based
    std::int32_t totalRows = 0;     // header row included
    std::int16_t totalColumns = 0;
    std::wstring sheetName;
    std::wstring fileName;
    std::wstring separator;
    std::wstring lastError;
    std::vector<std::wstring> headerFields;
    std::vector<std::wstring> rows;  // one text per row, row 1 first

private:
    bool SaveWorkbook();
    bool SaveText();
    bool LoadText();
    std::wstring EmptyRowText() const;
};
