// Writes one uncompressed image that arrives row by row (a TWAIN memory
// transfer) into a single-strip little-endian TIFF file: a fixed 174-byte
// header (file header, one directory of twelve entries, the two resolutions)
// followed by the rows in the order and layout they are delivered.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

class CTiffWriter {
public:
    static constexpr int kHeaderSize = 174;

    // Prepares the directory; resolutions 100 / 1; no file is opened yet.
    CTiffWriter(const std::string& fileName, std::uint32_t width, std::uint32_t height, int bitsPerPixel,
                std::uint32_t rowLength);
    virtual ~CTiffWriter();
    CTiffWriter(const CTiffWriter&) = delete;
    CTiffWriter& operator=(const CTiffWriter&) = delete;

    // The image's height when it was not known at the start (the entries
    // that depend on it); the header is then written again.
    void setHeight(std::uint32_t height);
    void setXResolution(std::uint32_t numerator, std::uint32_t denominator) { m_xres = {numerator, denominator}; }
    void setYResolution(std::uint32_t numerator, std::uint32_t denominator) { m_yres = {numerator, denominator}; }

    // Creates (or truncates) the file and writes the header at offset 0;
    // always true (a file that cannot be opened leaves the stream failed).
    bool writeImageHeader();
    // Appends one row of row-length bytes at the write offset while the
    // stream is in a good state; false when the row was skipped.
    bool writeRow(const std::uint8_t* row);
    // True while the file is open and nothing failed.
    bool good() const;
    // Closes the file; true when everything written reached it.
    bool close();
    std::uint32_t writeOffset() const { return m_writeOffset; }
    std::uint32_t rowLength() const { return m_rowLength; }
    // The 174 header bytes as they are written.
    std::array<std::uint8_t, kHeaderSize> headerBytes() const;

private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::uint32_t value;
    };

    std::string m_fileName;
    std::uint32_t m_writeOffset = 0;
    std::uint32_t m_rowLength = 0;
    std::array<std::uint32_t, 2> m_xres{100, 1};
    std::array<std::uint32_t, 2> m_yres{100, 1};
    std::array<Entry, 12> m_entries{};
    std::unique_ptr<std::fstream> m_stream;
};
