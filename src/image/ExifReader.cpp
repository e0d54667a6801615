#include "image/ExifReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/ByteStream.h"

namespace {

constexpr int kBytesPerFormat[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

// Inches per unit for the resolution-unit tags; 0 for an unknown unit.
float InchesPerUnit(int unit) {
    switch (unit) {
        case 1: case 2: return 1.0f;
        case 3: return 0.3937008f;
        case 4: return 0.03937008f;
        case 5: return 0.00003937008f;
        default: return 0.0f;
    }
}

std::int32_t ClampToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

// Offsets and sizes: negative and NaN give 0, values beyond 32 bits saturate.
std::uint32_t ClampToUint32(double v) {
    if (!(v > 0)) return 0;
    if (v >= 4294967295.0) return UINT32_MAX;
    return static_cast<std::uint32_t>(v);
}

void CopyText(char* out, std::size_t capacity, const std::uint8_t* in, std::uint64_t available) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(available, capacity - 1));
    std::memcpy(out, in, n);
    out[n] = 0;
}

}  // namespace

CExifReader::CExifReader(ExifInfo* info) : m_info(info) {
    if (!m_info) {
        m_info = static_cast<ExifInfo*>(std::calloc(1, sizeof(ExifInfo)));
        m_ownsInfo = true;
    }
}

CExifReader::~CExifReader() {
    FreeSections();
    if (m_ownsInfo) std::free(m_info);
}

void CExifReader::FreeSections() {
    for (int i = 0; i < m_sectionCount; ++i) std::free(m_sections[i].data);
    m_sectionCount = 0;
}

bool CExifReader::Fail(const char* text) {
    std::strncpy(m_lastError, text, sizeof(m_lastError) - 1);
    return false;
}

namespace {

// The two segment faults the reader reports on standard output rather than
// in its own error text.
bool Say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
    return false;
}

}  // namespace

bool CExifReader::Decode(CByteStream* stream, int mode) {
    if (!stream || !m_info) return false;
    if (stream->GetC() != 0xFF || stream->GetC() != 0xD8) return false;
    for (;;) {
        if (m_sectionCount >= kMaxSections) return Fail("Too many sections in jpg file");
        int marker = 0;
        for (int a = 0; a <= 7; ++a) {
            marker = stream->GetC();
            if (marker != 0xFF) break;
            if (a >= 6) return Say("too many padding bytes");
        }
        if (marker < 0) return Fail("Premature end of file?");
        const int hi = stream->GetC(), lo = stream->GetC();
        if (hi < 0 || lo < 0) return Fail("Premature end of file?");
        const std::uint32_t length = static_cast<std::uint32_t>((hi << 8) | lo);
        if (length < 2) return Fail("invalid marker");
        std::uint8_t* data = static_cast<std::uint8_t*>(std::malloc(length));
        if (!data) return Fail("Could not allocate memory");
        data[0] = static_cast<std::uint8_t>(hi);
        data[1] = static_cast<std::uint8_t>(lo);
        if (stream->Read(data + 2, 1, length - 2) != length - 2) {
            std::free(data);
            return Fail("Premature end of file?");
        }
        Section& s = m_sections[m_sectionCount++];
        s.data = data;
        s.type = marker;
        s.size = length;
        auto drop = [&] {
            std::free(data);
            s = Section{};
            --m_sectionCount;
        };
        switch (marker) {
            case 0xDA:  // start of scan
                if (mode & kReadImageData) {
                    const std::int32_t pos = stream->Tell(), size = stream->Size();
                    if (pos < 0 || size < pos) return Fail("could not read the rest of the image");
                    const std::uint32_t rest = static_cast<std::uint32_t>(size - pos);
                    std::uint8_t* tail = static_cast<std::uint8_t*>(std::malloc(rest ? rest : 1));
                    if (!tail) return Fail("could not allocate data for entire image");
                    if (stream->Read(tail, 1, rest) != rest) {
                        std::free(tail);
                        return Fail("could not read the rest of the image");
                    }
                    if (m_sectionCount >= kMaxSections) {
                        std::free(tail);
                        return Fail("Too many sections in jpg file");
                    }
                    m_sections[m_sectionCount++] = Section{tail, -1, rest};
                }
                return true;
            case 0xD9:  // end of image before any scan
                return Say("No image in jpeg!");
            case 0xE0:  // JFIF: not kept
                drop();
                break;
            case 0xFE:  // comment: the first one fills the comments, also over a user comment
                if ((mode & kReadExif) && !m_commentRead) {
                    ParseComment(data + 2, length - 2);
                    m_commentRead = true;
                } else {
                    drop();
                }
                break;
            case 0xE1:
                if (length >= 6 && std::memcmp(data + 2, "Exif", 4) == 0) {
                    if (mode & kReadExif) m_info->isExif = ParseExif(data + 2, length - 2);
                } else {
                    drop();
                }
                break;
            default:
                if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC &&
                    length >= 8) {
                    m_info->height = (data[3] << 8) | data[4];
                    m_info->width = (data[5] << 8) | data[6];
                    m_info->isColour = data[7] == 3;
                    m_info->process = marker;
                }
                break;
        }
    }
}

void CExifReader::ParseComment(const std::uint8_t* data, std::uint32_t length) {
    const std::uint32_t n = std::min<std::uint32_t>(length, 255);
    std::size_t out = 0;
    for (std::uint32_t a = 0; a < n; ++a) {
        const std::uint8_t ch = data[a];
        if (ch == '\r' && a + 1 < length && data[a + 1] == '\n') continue;
        m_info->comments[out++] = (std::isprint(ch) || ch == '\n' || ch == '\t') ? static_cast<char>(ch) : '?';
    }
    m_info->comments[out] = 0;
}

bool CExifReader::ParseExif(const std::uint8_t* data, std::uint32_t length) {
    if (length < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) return Fail("Incorrect Exif header");
    const std::uint8_t* tiff = data + 6;
    const std::uint32_t tiffLength = length - 6;
    if (std::memcmp(tiff, "II", 2) == 0) m_bigEndian = false;
    else if (std::memcmp(tiff, "MM", 2) == 0) m_bigEndian = true;
    else return Fail("Invalid Exif alignment marker.");
    auto get16 = [&](const std::uint8_t* p) {
        return m_bigEndian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
    };
    auto get32 = [&](const std::uint8_t* p) {
        return m_bigEndian ? (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3]
                           : p[0] | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
    };
    if (get16(tiff + 2) != 42) return Fail("Invalid Exif start (1)");
    const std::uint32_t first = get32(tiff + 4);
    m_exifImageWidth = 0;
    if (!ProcessDir(tiff + 8, tiff, tiffLength, 0)) return false;
    if (first > 8 && first < tiffLength && !ProcessDir(tiff + first, tiff, tiffLength, 0)) return false;
    if (m_info->focalPlaneXRes != 0)
        m_info->sensorWidth = static_cast<float>(m_exifImageWidth * m_info->focalPlaneUnit / m_info->focalPlaneXRes);
    return true;
}

bool CExifReader::ProcessDir(const std::uint8_t* dir, const std::uint8_t* base, std::uint32_t length, int nesting) {
    if (nesting >= 5) return Fail("Maximum directory nesting exceeded (corrupt exif header)");
    auto get16 = [&](const std::uint8_t* p) -> std::uint32_t {
        return m_bigEndian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
    };
    auto get32 = [&](const std::uint8_t* p) -> std::uint32_t {
        return m_bigEndian ? (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3]
                           : p[0] | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
    };
    // Every offset is checked against the segment in 64-bit arithmetic.
    const std::uint64_t dirOffset = static_cast<std::uint64_t>(dir - base);
    if (dirOffset + 2 > length) return Fail("Illegally sized directory");
    const std::uint32_t entries = get16(dir);
    if (dirOffset + 2 + 12ull * entries > length) return Fail("Illegally sized directory");

    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = dir + 2 + 12 * i;
        const std::uint32_t tag = get16(entry);
        const std::uint32_t format = get16(entry + 2);
        const std::uint32_t components = get32(entry + 4);
        if (format < 1 || format > 12) return Fail("Illegal format code in EXIF dir");
        const std::uint64_t byteCount = static_cast<std::uint64_t>(components) * kBytesPerFormat[format];
        const std::uint8_t* value;
        std::uint64_t valueOffset;
        if (byteCount > 4) {
            valueOffset = get32(entry + 8);
            if (valueOffset + byteCount > length) return Fail("Illegal pointer offset value in EXIF.");
        } else {
            valueOffset = static_cast<std::uint64_t>(entry + 8 - base);
        }
        value = base + valueOffset;
        // Bytes of the value that lie inside the segment.
        const std::uint64_t available = std::min<std::uint64_t>(byteCount, length - valueOffset);
        auto number = [&]() -> double {
            if (static_cast<std::uint64_t>(kBytesPerFormat[format]) > length - valueOffset) return 0;
            switch (format) {
                case 1: case 7: return value[0];
                case 6: return static_cast<std::int8_t>(value[0]);
                case 3: return get16(value);
                case 8: return static_cast<std::int16_t>(get16(value));
                case 4: return get32(value);
                case 9: return static_cast<std::int32_t>(get32(value));
                case 5: {
                    const std::uint32_t d = get32(value + 4);
                    return d == 0 ? 0.0 : static_cast<double>(get32(value)) / d;
                }
                case 10: {
                    const std::int32_t d = static_cast<std::int32_t>(get32(value + 4));
                    return d == 0 ? 0.0 : static_cast<double>(static_cast<std::int32_t>(get32(value))) / d;
                }
                case 11: {
                    const std::uint32_t bits = get32(value);
                    float f;
                    std::memcpy(&f, &bits, 4);
                    return f;
                }
                case 12: {
                    const std::uint64_t hi = get32(value + (m_bigEndian ? 0 : 4));
                    const std::uint64_t lo = get32(value + (m_bigEndian ? 4 : 0));
                    const std::uint64_t bits = (hi << 32) | lo;
                    double d;
                    std::memcpy(&d, &bits, 8);
                    return d;
                }
                default: return 0;
            }
        };
        ExifInfo& x = *m_info;
        switch (tag) {
            case 271: CopyText(x.cameraMake, sizeof x.cameraMake, value, available); break;
            case 272: CopyText(x.cameraModel, sizeof x.cameraModel, value, available); break;
            case 36867: CopyText(x.dateTime, sizeof x.dateTime, value, available); break;
            case 0x9000: CopyText(x.version, sizeof x.version, value, available); break;
            case 37510:
                // The user comment as stored, its character-code header
                // included, when no comment segment came first.
                if (!m_commentRead && x.comments[0] == 0) CopyText(x.comments, 200, value, available);
                break;
            case 274: {
                const std::int32_t o = ClampToInt(number());
                x.orientation = (o >= 1 && o <= 8) ? o : 0;
                break;
            }
            case 37386: x.focalLength = static_cast<float>(number()); break;
            case 33434: x.exposureTime = static_cast<float>(number()); break;
            case 37377:
                if (x.exposureTime == 0) x.exposureTime = static_cast<float>(1.0 / std::exp(std::log(2.0) * number()));
                break;
            case 33437: x.apertureNumber = static_cast<float>(number()); break;
            case 37378: case 37381:
                if (x.apertureNumber == 0) x.apertureNumber = static_cast<float>(std::exp(std::log(2.0) * number() / 2));
                break;
            case 37382: x.distance = static_cast<float>(number()); break;
            case 37385: x.flashUsed = (ClampToInt(number()) & 7) != 0; break;
            case 37380: x.exposureBias = static_cast<float>(number()); break;
            case 37384: x.whiteBalance = ClampToInt(number()); break;
            case 37383: x.meteringMode = ClampToInt(number()); break;
            case 34850: x.exposureProgram = ClampToInt(number()); break;
            case 34855: {
                std::int32_t iso = ClampToInt(number());
                if (iso < 50) iso = ClampToInt(static_cast<double>(iso) * 200);
                x.isoEquivalent = iso;
                break;
            }
            case 37122: x.compressionLevel = ClampToInt(number()); break;
            case 37379: x.brightness = static_cast<float>(number()); break;
            case 40962: case 40963:
                m_exifImageWidth = std::max(m_exifImageWidth, ClampToInt(number()));
                break;
            case 41486: x.focalPlaneXRes = static_cast<float>(number()); break;
            case 41487: x.focalPlaneYRes = static_cast<float>(number()); break;
            case 41488: {
                const float u = InchesPerUnit(ClampToInt(number()));
                if (u != 0) x.focalPlaneUnit = u;
                break;
            }
            case 282: x.xResolution = static_cast<float>(number()); break;
            case 283: x.yResolution = static_cast<float>(number()); break;
            case 296: {
                const float u = InchesPerUnit(ClampToInt(number()));
                if (u != 0) x.resolutionUnit = u;
                break;
            }
            case 513: x.thumbnailOffset = ClampToUint32(number()); break;
            case 514: x.thumbnailSize = ClampToUint32(number()); break;
            case 34665: case 40965: {
                const std::uint32_t sub = available >= 4 ? get32(value) : 0;
                if (sub >= length) return Fail("Illegal subdirectory link");
                if (sub >= 9 && !ProcessDir(base + sub, base, length, nesting + 1)) return false;
                break;
            }
            default: break;
        }
    }
    // The thumbnail is kept only when it lies inside the segment.
    if (static_cast<std::uint64_t>(m_info->thumbnailOffset) + m_info->thumbnailSize > length) {
        m_info->thumbnailOffset = 0;
        m_info->thumbnailSize = 0;
    }
    const std::uint64_t linkAt = dirOffset + 2 + 12ull * entries;
    if (linkAt + 4 <= length) {
        const std::uint32_t next = get32(dir + 2 + 12 * entries);
        if (next != 0 && next < length && !ProcessDir(base + next, base, length, nesting + 1)) return false;
    }
    return true;
}
