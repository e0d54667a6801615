// Reads a workbook back with a second reader, Python's openpyxl (Debian
// python3-openpyxl, installed by scripts/setup), so a test checks what any
// spreadsheet program would find in the file, cell by cell. When python3 or
// openpyxl is missing the current test fails with a message saying so.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/core/Strings.h"

namespace testdata {

struct WorkbookContent {
    bool ok = false;
    std::vector<std::string> sheets;                   // sheet names in order
    std::vector<std::vector<std::wstring>> rows;       // cells of the first sheet; empty cells ""
};

inline WorkbookContent ReadWorkbook(const std::string& path) {
    WorkbookContent content;
    // Cells are printed one row a line, separated by U+001F, as UTF-8; a
    // missing module prints a marker line.
    const std::string script =
        "import sys\n"
        "try:\n"
        "    import openpyxl\n"
        "except ImportError:\n"
        "    print('NO-OPENPYXL'); sys.exit(3)\n"
        "wb = openpyxl.load_workbook(sys.argv[1])\n"
        "print('SHEETS\\x1f' + '\\x1f'.join(wb.sheetnames))\n"
        "ws = wb[wb.sheetnames[0]]\n"
        "for row in ws.iter_rows(values_only=True):\n"
        "    print('ROW\\x1f' + '\\x1f'.join('' if v is None else str(v) for v in row))\n";
    const std::string scriptPath = path + ".read.py";
    if (std::FILE* f = std::fopen(scriptPath.c_str(), "wb")) {
        std::fwrite(script.data(), 1, script.size(), f);
        std::fclose(f);
    }
    // Debian's own interpreter, where python3-openpyxl lives (a python3 found
    // first on PATH may be another installation without it).
    const std::string interpreter = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string command = interpreter + " '" + scriptPath + "' '" + path + "' 2>&1";
    std::string output;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) output.append(buffer.data(), n);
        const int status = pclose(p);
        std::remove(scriptPath.c_str());
        if (output.find("NO-OPENPYXL") != std::string::npos) {
            ADD_FAILURE() << "python3-openpyxl is missing: install it with scripts/setup";
            return content;
        }
        if (status != 0) {
            ADD_FAILURE() << "openpyxl could not read " << path << ":\n" << output;
            return content;
        }
    } else {
        ADD_FAILURE() << "python3 cannot be started: install it with scripts/setup";
        return content;
    }
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> parts;
        std::size_t s = 0;
        for (;;) {
            const std::size_t at = line.find('\x1f', s);
            parts.push_back(line.substr(s, at == std::string::npos ? std::string::npos : at - s));
            if (at == std::string::npos) break;
            s = at + 1;
        }
        if (parts.empty()) continue;
        if (parts[0] == "SHEETS") content.sheets.assign(parts.begin() + 1, parts.end());
        if (parts[0] == "ROW") {
            std::vector<std::wstring> row;
            for (std::size_t i = 1; i < parts.size(); ++i) row.push_back(FromUtf8(parts[i]));
            content.rows.push_back(std::move(row));
        }
    }
    content.ok = true;
    return content;
}

}  // namespace testdata
