// The program's logger for the scan window and the TWAIN application side:
// timestamped, levelled lines on the standard output and, once opened, in
// "log.txt".
//
// Lines read "[<time>] <LEVEL> - <message>" with the time as strftime
// "%X %x" and the level as "FATAL", "ERROR", "WARN ", "INFO " or "DEBUG".
// Lines above INFO are dropped. Error and Warn lines, and the log file, are
// behind the switch g_loggingEnabled, which starts off and which no setting
// turns on: in the program only INFO lines reach the standard output.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

// Gates CLogger::Error, CLogger::Warn and CLogger::Open.
extern std::int32_t g_loggingEnabled;

class CLogger {
public:
    enum Level { kFatal = 0, kError = 1, kWarn = 2, kInfo = 3, kDebug = 4 };

    // The one logger, created on first use; at process exit it writes
    // "LOG FINALISED" into an open log file and closes it.
    static CLogger& Instance();

    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Warn(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Info(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void LogV(int level, const char* format, va_list args);

    // Opens "log.txt" in the current folder for writing (only while
    // g_loggingEnabled is set and no file is open) and logs
    // "LOG INITIALISED".
    void Open();
    bool IsOpen() const;
    const std::string& FileName() const { return m_fileName; }

    // Lines of a level above this are dropped (3, INFO).
    int Threshold() const { return m_threshold; }

    // Where standard-output lines go (tests capture them); null restores
    // stdout.
    void SetConsoleForTesting(std::FILE* stream);

    ~CLogger();

private:
    CLogger() = default;
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    int m_threshold = kInfo;
    std::string m_fileName;
    bool m_open = false;
    std::FILE* m_file = nullptr;
    std::FILE* m_console = nullptr;
    mutable std::mutex m_lock;
};
