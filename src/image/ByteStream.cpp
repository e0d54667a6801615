#include "image/ByteStream.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/core/Files.h"

bool CByteStream::PutC(std::uint8_t byte) { return Write(&byte, 1, 1) == 1; }

// ---- CFileStream -----------------------------------------------------------

bool CFileStream::Open(const wchar_t* path, const wchar_t* mode) {
    Close();
    if (m_fp) return false;
    m_fp = _wfopen(path, mode);
    m_closeOnDestroy = m_fp != nullptr;
    return m_fp != nullptr;
}

CFileStream::~CFileStream() {
    if (m_closeOnDestroy) Close();
}

bool CFileStream::Close() {
    if (!m_fp || !m_closeOnDestroy) return true;
    const int r = std::fclose(m_fp);
    m_fp = nullptr;
    m_closeOnDestroy = false;
    return r == 0;
}

std::size_t CFileStream::Read(void* buffer, std::size_t size, std::size_t count) {
    return m_fp ? std::fread(buffer, size, count, m_fp) : 0;
}

std::size_t CFileStream::Write(const void* buffer, std::size_t size, std::size_t count) {
    return m_fp ? std::fwrite(buffer, size, count, m_fp) : 0;
}

bool CFileStream::Seek(std::int32_t offset, int origin) {
    if (!m_fp) return false;
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) return false;
    return std::fseek(m_fp, offset, kWhence[origin]) == 0;
}

std::int32_t CFileStream::Tell() {
    if (!m_fp) return 0;
    const long p = std::ftell(m_fp);
    // The interface counts in 32 bits; a position beyond that is an error.
    return (p < 0 || p > INT32_MAX) ? -1 : static_cast<std::int32_t>(p);
}

std::int32_t CFileStream::Size() {
    if (!m_fp) return -1;
    const long pos = std::ftell(m_fp);
    if (pos < 0) return -1;
    std::fseek(m_fp, 0, SEEK_END);
    const long end = std::ftell(m_fp);
    std::fseek(m_fp, pos, SEEK_SET);
    return (end < 0 || end > INT32_MAX) ? -1 : static_cast<std::int32_t>(end);
}

bool CFileStream::Flush() { return m_fp && std::fflush(m_fp) == 0; }
bool CFileStream::Eof() { return !m_fp || std::feof(m_fp) != 0; }
std::int32_t CFileStream::Error() { return m_fp ? std::ferror(m_fp) : -1; }
bool CFileStream::PutC(std::uint8_t byte) { return m_fp && std::fputc(byte, m_fp) == byte; }
std::int32_t CFileStream::GetC() { return m_fp ? std::fgetc(m_fp) : -1; }

char* CFileStream::GetS(char* buffer, std::int32_t length) {
    return m_fp ? std::fgets(buffer, length, m_fp) : nullptr;
}

std::int32_t CFileStream::Scanf(const char* format, void* output) {
    if (!m_fp) return -1;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return std::fscanf(m_fp, format, output);
#pragma GCC diagnostic pop
}

// ---- CMemStream ------------------------------------------------------------

CMemStream::CMemStream(std::uint8_t* buffer, std::uint32_t size)
    : m_buffer(buffer),
      m_end(static_cast<std::int32_t>(size > INT32_MAX ? INT32_MAX : size)),
      m_owns(buffer == nullptr),
      m_position(0),
      m_capacity(size),
      m_endReached(0) {}

CMemStream::~CMemStream() { Close(); }

bool CMemStream::Open() {
    if (m_buffer) return false;
    m_capacity = 0;
    m_end = 0;
    m_position = 0;
    m_buffer = static_cast<std::uint8_t*>(std::malloc(1));
    m_owns = 1;
    return m_buffer != nullptr;
}

bool CMemStream::Close() {
    if (m_buffer && m_owns) {
        std::free(m_buffer);
        m_buffer = nullptr;
        m_capacity = 0;
        m_end = 0;
    }
    return true;
}

std::uint8_t* CMemStream::GetBuffer(bool detach) {
    if (detach) m_owns = 0;
    return m_buffer;
}

std::size_t CMemStream::Read(void* buffer, std::size_t size, std::size_t count) {
    if (!buffer || !m_buffer) return 0;
    if (m_position >= m_end) {
        m_endReached = 1;
        return 0;
    }
    std::size_t n;
    if (__builtin_mul_overflow(size, count, &n) || n == 0) return 0;
    const std::size_t left = static_cast<std::size_t>(m_end - m_position);
    if (n > left) {
        n = left;
        m_endReached = 1;
    }
    std::memcpy(buffer, m_buffer + m_position, n);
    m_position += static_cast<std::int32_t>(n);
    return n / size;
}

std::size_t CMemStream::Write(const void* buffer, std::size_t size, std::size_t count) {
    m_endReached = 0;
    if (!buffer || !m_buffer) return 0;
    std::size_t n;
    if (__builtin_mul_overflow(size, count, &n) || n == 0) return 0;
    const std::uint64_t needed = static_cast<std::uint64_t>(m_position) + n;
    if (needed > m_capacity && !Grow(needed)) return 0;
    ZeroGap();
    std::memcpy(m_buffer + m_position, buffer, n);
    m_position = static_cast<std::int32_t>(needed);
    if (m_position > m_end) m_end = m_position;
    return count;
}

bool CMemStream::Seek(std::int32_t offset, int origin) {
    m_endReached = 0;
    if (!m_buffer) return false;
    std::int64_t base;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = m_position; break;
        case 2: base = m_end; break;
        default: return false;
    }
    std::int64_t pos = base + offset;
    if (pos < 0) pos = 0;
    if (pos > INT32_MAX) pos = INT32_MAX;
    m_position = static_cast<std::int32_t>(pos);
    return true;
}

std::int32_t CMemStream::Tell() { return m_buffer ? m_position : -1; }
std::int32_t CMemStream::Size() { return m_buffer ? m_end : -1; }
bool CMemStream::Flush() { return m_buffer != nullptr; }
bool CMemStream::Eof() { return !m_buffer || m_endReached; }

std::int32_t CMemStream::Error() {
    if (!m_buffer) return -1;
    return m_position > m_end ? 1 : 0;
}

bool CMemStream::PutC(std::uint8_t byte) {
    m_endReached = 0;
    if (!m_buffer) return false;
    if (static_cast<std::uint32_t>(m_position) >= m_capacity &&
        !Grow(static_cast<std::uint64_t>(m_position) + 1))
        return false;
    ZeroGap();
    m_buffer[m_position++] = byte;
    if (m_position > m_end) m_end = m_position;
    return true;
}

std::int32_t CMemStream::GetC() {
    if (m_buffer && m_position < m_end) return m_buffer[m_position++];
    m_endReached = 1;
    return -1;
}

char* CMemStream::GetS(char* buffer, std::int32_t length) {
    if (!buffer || length <= 0) return nullptr;
    std::int32_t n = 0;
    while (n < length - 1) {
        const std::int32_t c = GetC();
        if (c == -1) return nullptr;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return buffer;
}

std::int32_t CMemStream::Scanf(const char*, void*) { return 0; }

void CMemStream::ZeroGap() {
    // Bytes between the old end and a position seeked past it read as 0.
    if (m_position > m_end) std::memset(m_buffer + m_end, 0, static_cast<std::size_t>(m_position - m_end));
}

bool CMemStream::Grow(std::uint64_t needed) {
    if (needed <= m_capacity) return m_buffer != nullptr;
    // A stream counts in 32-bit signed positions: refuse anything beyond.
    const std::uint64_t capacity = (needed & ~std::uint64_t{0xFFFF}) + 65536;
    if (capacity > static_cast<std::uint64_t>(INT32_MAX) + 1) return false;
    std::uint8_t* grown;
    if (m_owns) {
        grown = static_cast<std::uint8_t*>(std::realloc(m_buffer, capacity));
    } else {
        // A caller's block is never reallocated: copy it into one of our own.
        grown = static_cast<std::uint8_t*>(std::malloc(capacity));
        if (grown && m_buffer && m_end > 0) std::memcpy(grown, m_buffer, static_cast<std::size_t>(m_end));
    }
    // On failure the old block and the bytes written so far stay in place.
    if (!grown) return false;
    m_buffer = grown;
    m_owns = 1;
    m_capacity = static_cast<std::uint32_t>(capacity);
    return true;
}
