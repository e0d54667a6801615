#include "twain/Logger.h"

#include <cstdarg>
#include <ctime>

std::int32_t g_loggingEnabled = 0;

namespace {

const char* LevelName(int level) {
    switch (level) {
    case CLogger::kFatal: return "FATAL";
    case CLogger::kError: return "ERROR";
    case CLogger::kWarn: return "WARN ";
    case CLogger::kInfo: return "INFO ";
    case CLogger::kDebug: return "DEBUG";
    default: return "UNKWN";
    }
}

}  // namespace

CLogger& CLogger::Instance() {
    static CLogger logger;
    return logger;
}

CLogger::~CLogger() {
    if (m_open && m_file) {
        Info("LOG FINALISED");
        std::fclose(m_file);
        m_file = nullptr;
        m_open = false;
    }
}

void CLogger::LogV(int level, const char* format, va_list args) {
    char message[512];
    std::vsnprintf(message, sizeof message, format, args);
    if (level > m_threshold) return;

    char when[128] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(when, sizeof when, "%X %x", &local);

    // The line holds at most 511 characters, like the message.
    std::string line = std::string("[") + when + "] " + LevelName(level) + " - " + message;
    if (line.size() > 511) line.resize(511);

    // One writer at a time: the scan layer may log from a source's thread.
    std::lock_guard guard(m_lock);
    std::FILE* console = m_console ? m_console : stdout;
    std::fputs(line.c_str(), console);
    std::fputc('\n', console);
    std::fflush(console);
    if (m_file) {
        std::fputs(line.c_str(), m_file);
        std::fputc('\n', m_file);
        std::fflush(m_file);
    }
}

void CLogger::Log(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(level, format, args);
    va_end(args);
}

void CLogger::Error(const char* format, ...) {
    if (g_loggingEnabled == 0) return;
    va_list args;
    va_start(args, format);
    LogV(kError, format, args);
    va_end(args);
}

void CLogger::Warn(const char* format, ...) {
    if (g_loggingEnabled == 0) return;
    va_list args;
    va_start(args, format);
    LogV(kWarn, format, args);
    va_end(args);
}

void CLogger::Info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(kInfo, format, args);
    va_end(args);
}

void CLogger::Open() {
    if (g_loggingEnabled == 0) return;
    {
        std::lock_guard guard(m_lock);
        if (m_open) return;
        m_fileName = "log.txt";
        m_file = std::fopen(m_fileName.c_str(), "w");
        m_open = true;
    }
    Info("LOG INITIALISED");
}

bool CLogger::IsOpen() const {
    std::lock_guard guard(m_lock);
    return m_open && m_file != nullptr;
}

void CLogger::SetConsoleForTesting(std::FILE* stream) {
    std::lock_guard guard(m_lock);
    m_console = stream;
}
