#include "tools/SheetFile.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Strings.h"
#include "platform/core/Workbook.h"

namespace {

const std::wstring kWorkbookSeparator = L",;.?";

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && EqualsNoCase(std::wstring_view(text).substr(text.size() - tail.size()), tail);
}

}  // namespace

bool CSheetFile::IsWorkbookName(const std::wstring& name) {
    return EndsWithNoCase(name, L".xlsx") || EndsWithNoCase(name, L".xls");
}

CSheetFile::CSheetFile(const std::wstring& name, const std::wstring& sheetOrSeparator, bool keepBackup)
    : backup(keepBackup ? 1 : 0), fileName(name) {
    if (IsWorkbookName(name)) {
        isExcel = 1;
        sheetName = sheetOrSeparator;
        separator = kWorkbookSeparator;
    } else {
        separator = sheetOrSeparator;
    }
    if (Load() && backup && sheetExists) {
        bool saved;
        if (isExcel) {
            const std::wstring kept = sheetName;
            sheetName = L"CSheetFileBackup";
            saved = Save();
            sheetName = kept;
        } else {
            const std::wstring kept = fileName;
            fileName = FormatW(L"%s.bak", kept.c_str());
            saved = Save();
            fileName = kept;
        }
        if (!saved) backup = 0;
    }
}

CSheetFile::~CSheetFile() = default;

// ---- Row texts -------------------------------------------------------------

std::wstring CSheetFile::JoinRow(const std::vector<std::wstring>& values, const std::wstring& sep) {
    std::wstring text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) text += sep;
        text += L'"';
        text += values[i];
        text += L'"';
    }
    return text;
}

std::vector<std::wstring> CSheetFile::SplitRow(const std::wstring& text, const std::wstring& sep) {
    std::vector<std::wstring> values;
    const std::wstring quoted = L"\"" + sep + L"\"";
    if (!sep.empty() && text.find(quoted) != std::wstring::npos) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t at = text.find(quoted, start);
            if (at == std::wstring::npos) break;
            values.push_back(text.substr(start, at - start));
            start = at + quoted.size();
        }
        values.push_back(text.substr(start));
        if (!values.front().empty() && values.front().front() == L'"') values.front().erase(0, 1);
        if (!values.back().empty() && values.back().back() == L'"') values.back().pop_back();
        return values;
    }
    if (!sep.empty() && text.find(sep) != std::wstring::npos) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t at = text.find(sep, start);
            if (at == std::wstring::npos) break;
            values.push_back(text.substr(start, at - start));
            start = at + sep.size();
        }
        values.push_back(text.substr(start));
        return values;
    }
    std::wstring one = text;
    if (one.size() >= 2 && one.front() == L'"' && one.back() == L'"') one = one.substr(1, one.size() - 2);
    values.push_back(one);
    return values;
}

std::wstring CSheetFile::EmptyRowText() const {
    const std::vector<std::wstring> blanks(static_cast<std::size_t>(std::max<std::int16_t>(totalColumns, 0)),
                                           isExcel ? L" " : L"");
    return JoinRow(blanks, separator);
}

// ---- Rows ------------------------------------------------------------------

bool CSheetFile::AddRow(const std::vector<std::wstring>& values, std::int32_t row) {
    if (row < 0) {
        lastError = L"Invalid row number\n";
        return false;
    }
    const auto count = static_cast<std::int64_t>(values.size());
    if (count > INT16_MAX) {
        lastError = L"Too many columns\n";
        return false;
    }
    if (row == 1) {
        if (isExcel) {
            for (std::size_t i = 0; i < values.size(); ++i) {
                for (std::size_t j = i + 1; j < values.size(); ++j) {
                    if (values[i] == values[j]) {
                        lastError = FormatW(L"Duplicate header row field:%s\n", values[i].c_str());
                        return false;
                    }
                }
            }
            if (count < totalColumns) {
                lastError =
                    L"Number of columns in new header row cannot be less than the number of columns in previous "
                    L"header row";
                return false;
            }
            totalColumns = static_cast<std::int16_t>(count);
        }
        headerFields = values;
    } else if (isExcel) {
        if (totalColumns == 0) {
            lastError = L"No header row. Add header row first\n";
            return false;
        }
        if (count > totalColumns) {
            lastError = L"Number of columns to be added cannot be greater than the number of fields\n";
            return false;
        }
    }
    if (!isExcel) totalColumns = static_cast<std::int16_t>(std::max<std::int64_t>(totalColumns, count));

    const std::wstring text = JoinRow(values, separator);
    if (row == 0) {
        rows.push_back(text);
        ++totalRows;
    } else if (row <= totalRows) {
        rows[static_cast<std::size_t>(row - 1)] = text;
    } else {
        while (totalRows < row - 1) {
            rows.push_back(EmptyRowText());
            ++totalRows;
        }
        rows.push_back(text);
        totalRows = row;
    }
    // A table that cannot be stored is not reported as added.
    if (!inTransaction) return Save();
    return true;
}

bool CSheetFile::ReadRow(std::vector<std::wstring>& values, std::int32_t row) {
    if (row > totalRows) {
        lastError = L"Desired row is greater than total number of rows in spreadsheet\n";
        return false;
    }
    if (row < 0) return false;
    if (row == 0 && currentRow > totalRows) return false;
    if (row != 0) currentRow = row;
    values.clear();
    if (currentRow < 1) return false;
    values = SplitRow(rows[static_cast<std::size_t>(currentRow - 1)], separator);
    ++currentRow;
    return true;
}

// ---- Storing ---------------------------------------------------------------

bool CSheetFile::Save() {
    const bool ok = isExcel ? SaveWorkbook() : SaveText();
    if (!ok) return false;
    inTransaction = 0;
    return true;
}

bool CSheetFile::SaveWorkbook() {
    if (!EndsWithNoCase(fileName, L".xlsx")) {
        lastError = L"Workbooks are written as .xlsx; a .xls name would not match the content\n";
        return false;
    }
    std::vector<std::vector<std::wstring>> table;
    table.reserve(static_cast<std::size_t>(std::max(totalRows, 1)));
    table.push_back(headerFields);
    const std::int32_t kept = currentRow;
    for (std::int32_t n = 2; n <= totalRows; ++n) {
        std::vector<std::wstring> values;
        if (!ReadRow(values, n)) {
            currentRow = kept;
            return false;
        }
        table.push_back(std::move(values));
    }
    currentRow = kept;
    std::wstring error;
    if (!WriteWorkbook(fileName, sheetName, table, error)) {
        lastError = error;
        return false;
    }
    if (!sheetExists) {
        totalColumns = static_cast<std::int16_t>(std::min<std::size_t>(headerFields.size(), INT16_MAX));
        sheetExists = 1;
    }
    return true;
}

bool CSheetFile::SaveText() {
    std::string bytes;
    for (const auto& text : rows) {
        bytes += ToUtf8(text);
        bytes += "\r\n";
    }
    if (!files::WriteAllAtomic(fileName, bytes.data(), bytes.size())) {
        lastError = L"Error writing file\n";
        return false;
    }
    return true;
}

bool CSheetFile::Load() {
    // Workbooks are never read back: a workbook has no sheet to load yet.
    if (isExcel) return false;
    return LoadText();
}

bool CSheetFile::LoadText() {
    std::vector<std::uint8_t> bytes;
    if (!files::ReadAll(fileName, bytes)) {
        lastError = L"Error in opening file\n";
        return false;
    }
    rows.clear();
    headerFields.clear();
    totalRows = 0;
    totalColumns = 0;
    std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last) end = all.size();
        std::string_view line = all.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        rows.push_back(FromUtf8(line));
        start = last ? all.size() : end + 1;
    }
    totalRows = static_cast<std::int32_t>(rows.size());
    std::size_t widest = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto values = SplitRow(rows[i], separator);
        if (i == 0) headerFields = values;
        widest = std::max(widest, values.size());
    }
    totalColumns = static_cast<std::int16_t>(std::min<std::size_t>(widest, INT16_MAX));
    if (totalColumns > 0 && totalRows > 0) sheetExists = 1;
    currentRow = 1;
    return true;
}
