#include "twain/dsm/DsmLog.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string_view>

#include <sys/syscall.h>
#include <unistd.h>

#include "platform/core/UserDialogs.h"

namespace {

constexpr std::size_t kLineBytes = 1024;
constexpr int kMaxIndentBlanks = 12;

std::mutex g_logLock;
CDsmLog* g_dsmLog = nullptr;

// An environment value cut to `limit` characters.
std::string EnvValue(const char* name, std::size_t limit) {
    const char* value = std::getenv(name);
    if (!value) return {};
    return std::string(value, strnlen(value, limit));
}

}  // namespace

void SetDsmLog(CDsmLog* log) {
    std::lock_guard guard(g_logLock);
    g_dsmLog = log;
}

void DsmWriteLog(int level, const char* module, int line, const char* format, ...) {
    const int savedError = errno;
    std::lock_guard guard(g_logLock);
    if (!g_dsmLog) return;
    va_list args;
    va_start(args, format);
    errno = savedError;
    g_dsmLog->LogV(level, module, line, format, args);
    va_end(args);
}

bool DsmLogEnabled() {
    std::lock_guard guard(g_logLock);
    return g_dsmLog && g_dsmLog->Enabled();
}

void DsmLogIndent(int delta) {
    std::lock_guard guard(g_logLock);
    if (g_dsmLog) g_dsmLog->Indent(delta);
}

CDsmLog::CDsmLog() {
    m_fileName = EnvValue("DSM_LOG", 259);
    if (m_fileName.empty()) return;
    m_mode = EnvValue("DSM_LOGMODE", 15);
    if (m_mode.empty()) m_mode.push_back('w');  // push_back: assigning a literal trips a false -Wrestrict in g++ 12
    m_buffer.reset(new (std::nothrow) char[kLineBytes]);
    if (!m_buffer) {
        MessageBoxW(L"Unable to allocate a buffer for logging...", L"TWAIN Data Source Manager", MB_OK);
        m_fileName.clear();
    }
}

CDsmLog::~CDsmLog() {
    if (m_file) std::fclose(m_file);
}

bool CDsmLog::Enabled() const { return !m_fileName.empty() && m_buffer; }

void CDsmLog::Indent(int delta) {
    m_indent += delta;
    if (m_indent < 0) m_indent = 0;
}

void CDsmLog::LogV(int /*level*/, const char* module, int line, const char* format, va_list args) {
    // The error of the failing call, before anything here changes it.
    const int savedError = errno;
    if (!Enabled()) return;

    if (!m_file) {
        m_file = std::fopen(m_fileName.c_str(), m_mode.c_str());
        if (!m_file) {
            std::fprintf(stderr,
                         "DSM: Error - logging has been disabled because logfile could not be opened: "
                         "file=<%s>, mode=<%s>, errno=%d\r\n",
                         m_fileName.c_str(), m_mode.c_str(), errno);
            m_fileName.clear();
            return;
        }
    }

    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    const int millis = static_cast<int>(now.tv_nsec / 1000000);
    const auto thread = reinterpret_cast<void*>(static_cast<std::uintptr_t>(syscall(SYS_gettid)));

    static const char kBlanks[] = "            ";  // twelve
    const int indent = m_indent * 2 < kMaxIndentBlanks ? m_indent * 2 : kMaxIndentBlanks;

    char* buffer = m_buffer.get();
    int used = std::snprintf(buffer, kLineBytes, "[%02d%02d%02d%03d %-8s %4d %5u %p] %.*s", local.tm_hour,
                             local.tm_min, local.tm_sec, millis, module, line, static_cast<unsigned>(savedError),
                             thread, indent, kBlanks);
    if (used < 0) return;
    if (static_cast<std::size_t>(used) < kLineBytes - 1) {
        std::vsnprintf(buffer + used, kLineBytes - static_cast<std::size_t>(used), format, args);
    }
    // The whole line holds at most 1023 characters.
    const std::size_t length = strnlen(buffer, kLineBytes - 1);
    std::fwrite(buffer, 1, length, m_file);
    std::fwrite("\r\n", 1, 2, m_file);
    std::fflush(m_file);
}
