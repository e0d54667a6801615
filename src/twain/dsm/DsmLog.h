// The data source manager's trace: off unless the environment variable
// DSM_LOG names a file. Every call that passes the manager is written with
// its result, and every refusal with its reason.
//
// Lines read "[HHMMSSmmm <module> <line> <errno> <thread>] <indent><text>",
// at most 1023 characters, each ended by "\r\n" and flushed at once. The log
// lives as long as the manager: created when the first application opens the
// manager and closed when the last one has closed it. DSM_LOGMODE gives the
// open mode ("w" by default: a new file each time the manager is created;
// "a" appends).
//
// Lines may come from any thread (the memory functions log too); writing
// takes a lock of the log's own.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>

class CDsmLog {
public:
    // Reads DSM_LOG and DSM_LOGMODE.
    CDsmLog();
    ~CDsmLog();
    CDsmLog(const CDsmLog&) = delete;
    CDsmLog& operator=(const CDsmLog&) = delete;

    // Writes one line. `level` 0 marks information, 1 an error; both are
    // written alike. `module` names the part of the manager ("apps" or
    // "dsm"), `line` the source line. The first line opens the file; when it
    // cannot be opened one line goes to the standard error stream and the
    // log stays off for good. The caller holds the log lock.
    void LogV(int level, const char* module, int line, const char* format, va_list args);

    // Every logged call raises the indentation by one step (two blanks, at
    // most twelve blanks in all); its result lowers it again.
    void Indent(int delta);

    bool Enabled() const;
    const std::string& FileName() const { return m_fileName; }
    const std::string& Mode() const { return m_mode; }

private:
    std::FILE* m_file = nullptr;
    std::unique_ptr<char[]> m_buffer;  // the line buffer, 1024 bytes
    std::string m_fileName;            // empty: logging is off
    std::string m_mode;
    int m_indent = 0;
};

// The manager's log: installed when the manager is created, removed when it
// is destroyed.
void SetDsmLog(CDsmLog* log);
// Writes through the installed log, if any and on.
void DsmWriteLog(int level, const char* module, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
bool DsmLogEnabled();
void DsmLogIndent(int delta);

#define DSM_TRACE(module, ...) DsmWriteLog(0, module, __LINE__, __VA_ARGS__)
#define DSM_ERROR(module, ...) DsmWriteLog(1, module, __LINE__, __VA_ARGS__)
