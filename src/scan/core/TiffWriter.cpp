#include "scan/core/TiffWriter.h"

#include <cstring>

namespace {
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kRational = 5;

void Put16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
}  // namespace

CTiffWriter::CTiffWriter(const std::string& fileName, std::uint32_t width, std::uint32_t height, int bitsPerPixel,
                         std::uint32_t rowLength)
    : m_fileName(fileName), m_rowLength(rowLength) {
    const bool colour = bitsPerPixel == 24;
    m_entries = {{
        {256, kLong, 1, width},
        {257, kLong, 1, height},
        {258, kShort, 1, colour ? 8u : static_cast<std::uint32_t>(bitsPerPixel)},
        {259, kShort, 1, 1},
        {262, kShort, 1, colour ? 2u : 1u},
        {273, kShort, 1, static_cast<std::uint32_t>(kHeaderSize)},
        {277, kShort, 1, colour ? 3u : 1u},
        {278, kLong, 1, height},
        {279, kLong, 1, static_cast<std::uint32_t>(static_cast<std::uint64_t>(height) * rowLength)},
        {282, kRational, 1, 158},
        {283, kRational, 1, 166},
        {296, kShort, 1, 2},
    }};
}

void CTiffWriter::setHeight(std::uint32_t height) {
    for (Entry& e : m_entries) {
        if (e.tag == 257 || e.tag == 278) e.value = height;
        if (e.tag == 279) e.value = static_cast<std::uint32_t>(static_cast<std::uint64_t>(height) * m_rowLength);
    }
}

bool CTiffWriter::close() {
    if (!m_stream || !m_stream->is_open()) return false;
    m_stream->flush();
    const bool ok = m_stream->good();
    m_stream->close();
    return ok && !m_stream->fail();
}

CTiffWriter::~CTiffWriter() {
    if (m_stream && m_stream->is_open()) m_stream->close();
}

std::array<std::uint8_t, CTiffWriter::kHeaderSize> CTiffWriter::headerBytes() const {
    std::array<std::uint8_t, kHeaderSize> b{};
    b[0] = 'I';
    b[1] = 'I';
    Put16(&b[2], 42);
    Put32(&b[4], 8);
    Put16(&b[8], static_cast<std::uint16_t>(m_entries.size()));
    std::size_t at = 10;
    for (const Entry& e : m_entries) {
        Put16(&b[at], e.tag);
        Put16(&b[at + 2], e.type);
        Put32(&b[at + 4], e.count);
        if (e.type == kShort) {
            Put16(&b[at + 8], static_cast<std::uint16_t>(e.value));
            Put16(&b[at + 10], 0);
        } else {
            Put32(&b[at + 8], e.value);
        }
        at += 12;
    }
    Put32(&b[at], 0);  // 154: no next directory
    Put32(&b[158], m_xres[0]);
    Put32(&b[162], m_xres[1]);
    Put32(&b[166], m_yres[0]);
    Put32(&b[170], m_yres[1]);
    return b;
}

bool CTiffWriter::writeImageHeader() {
    if (!m_stream) m_stream = std::make_unique<std::fstream>();
    if (m_stream->is_open()) m_stream->seekp(0);
    else m_stream->open(m_fileName, std::ios::out | std::ios::binary | std::ios::trunc);
    const auto header = headerBytes();
    m_writeOffset = kHeaderSize;
    if (m_stream->is_open()) m_stream->write(reinterpret_cast<const char*>(header.data()), header.size());
    return true;
}

bool CTiffWriter::good() const { return m_stream && m_stream->is_open() && m_stream->good(); }

bool CTiffWriter::writeRow(const std::uint8_t* row) {
    if (!good()) return false;
    m_stream->seekp(m_writeOffset);
    m_stream->write(reinterpret_cast<const char*>(row), m_rowLength);
    m_writeOffset += m_rowLength;
    return m_stream->good();
}
