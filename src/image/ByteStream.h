// Byte streams: one abstract interface through which every codec reads and
// writes, over a C stream (CFileStream) or a growable memory block
// (CMemStream).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class CByteStream {
public:
    virtual ~CByteStream() = default;
    virtual bool Close() = 0;
    // Number of whole items read / written.
    virtual std::size_t Read(void* buffer, std::size_t size, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t size, std::size_t count) = 0;
    // origin: 0 start, 1 current position, 2 end.
    virtual bool Seek(std::int32_t offset, int origin) = 0;
    virtual std::int32_t Tell() = 0;
    virtual std::int32_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual std::int32_t Error() = 0;
    virtual bool PutC(std::uint8_t byte);
    // Byte value, or -1 at the end.
    virtual std::int32_t GetC() = 0;
    virtual char* GetS(char* buffer, std::int32_t length) = 0;
    // Formatted read with one output.
    virtual std::int32_t Scanf(const char* format, void* output) = 0;
};

class CFileStream : public CByteStream {
public:
    // Wraps a stream the caller opened; the caller closes it.
    explicit CFileStream(std::FILE* stream = nullptr) : m_fp(stream), m_closeOnDestroy(false) {}
    // Opens a file by wide name; this object then closes it.
    bool Open(const wchar_t* path, const wchar_t* mode);
    ~CFileStream() override;
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    bool Close() override;
    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t size, std::size_t count) override;
    bool Seek(std::int32_t offset, int origin) override;
    std::int32_t Tell() override;
    std::int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    std::int32_t Error() override;
    bool PutC(std::uint8_t byte) override;
    std::int32_t GetC() override;
    char* GetS(char* buffer, std::int32_t length) override;
    std::int32_t Scanf(const char* format, void* output) override;

    std::FILE* Handle() const { return m_fp; }

private:
    std::FILE* m_fp;
    std::uint8_t m_closeOnDestroy;
};

class CMemStream : public CByteStream {
public:
    // A buffer passed in stays the caller's; with none, the stream owns what
    // it allocates. (null, 0) followed by Open() gives an empty owned stream.
    explicit CMemStream(std::uint8_t* buffer = nullptr, std::uint32_t size = 0);
    ~CMemStream() override;
    CMemStream(const CMemStream&) = delete;
    CMemStream& operator=(const CMemStream&) = delete;

    bool Open();
    bool Close() override;
    // With detach set the caller takes the buffer and frees it with std::free.
    std::uint8_t* GetBuffer(bool detach = true);

    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t size, std::size_t count) override;
    bool Seek(std::int32_t offset, int origin) override;
    std::int32_t Tell() override;
    std::int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    std::int32_t Error() override;
    bool PutC(std::uint8_t byte) override;
    std::int32_t GetC() override;
    char* GetS(char* buffer, std::int32_t length) override;
    std::int32_t Scanf(const char* format, void* output) override;

    std::uint32_t Capacity() const { return m_capacity; }
    bool OwnsBuffer() const { return m_owns != 0; }

protected:
    // Makes room for `needed` bytes: the capacity becomes the next multiple
    // of 64 KB above `needed`. True when a buffer exists afterwards.
    bool Grow(std::uint64_t needed);

private:
    void ZeroGap();

private:
    std::uint8_t* m_buffer;
    std::int32_t m_end;
    std::uint8_t m_owns;
    std::int32_t m_position;
    std::uint32_t m_capacity;
    std::uint8_t m_endReached;
};
