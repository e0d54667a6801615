// Reader of a JPEG file's segments up to the image data: the frame header
// (size, colour, process), the Exif APP1 segment (orientation, resolution,
// camera values) and the first comment.
#pragma once

#include <cstdint>

#include "image/Raster.h"

class CByteStream;

class CExifReader {
public:
    // Mode bits of Decode.
    static constexpr int kReadExif = 1;       // parse Exif and the comment
    static constexpr int kReadImageData = 2;  // keep the compressed data as a last section
    static constexpr int kMaxSections = 20;

    // Fills `info` (not owned); without one the reader owns a zeroed block.
    explicit CExifReader(ExifInfo* info = nullptr);
    ~CExifReader();
    CExifReader(const CExifReader&) = delete;
    CExifReader& operator=(const CExifReader&) = delete;

    // Reads the segments from the stream position (which must be the start
    // of the file). True when the start of scan (or, with kReadImageData,
    // the end of the file) was reached.
    bool Decode(CByteStream* stream, int mode = kReadExif);
    // Parses the data of an APP1 segment: "Exif", two zero bytes, then the
    // TIFF-structured block. `data` starts after the two length bytes.
    bool ParseExif(const std::uint8_t* data, std::uint32_t length);
    // Takes the text of a COM segment (after its two length bytes).
    void ParseComment(const std::uint8_t* data, std::uint32_t length);

    const ExifInfo& Info() const { return *m_info; }
    const char* GetLastError() const { return m_lastError; }
    int SectionCount() const { return m_sectionCount; }

private:
    struct Section {
        std::uint8_t* data = nullptr;
        int type = 0;
        std::uint32_t size = 0;
    };
    bool ProcessDir(const std::uint8_t* dir, const std::uint8_t* base, std::uint32_t length, int nesting);
    bool Fail(const char* text);
    void FreeSections();

    ExifInfo* m_info;
    char m_lastError[256] = {};
    std::int32_t m_exifImageWidth = 0;
    bool m_bigEndian = false;
    Section m_sections[kMaxSections];
    int m_sectionCount = 0;
    bool m_ownsInfo = false;
    bool m_commentRead = false;  // the first comment segment filled the comments
};
