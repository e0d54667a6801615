// The codec dispatch: decoding and encoding by image type, files and memory.
#include <cstring>
#include <new>

#include "image/ByteStream.h"
#include "image/Raster.h"
#include "image/RasterBMP.h"
#include "image/RasterJPG.h"
#include "image/RasterPNG.h"
#include "image/RasterTIF.h"
#include "platform/core/Files.h"

namespace {

constexpr const char* kUnknownDecode = "Decode: Unknown or wrong format";

}  // namespace

bool CRaster::CheckEncodable(CByteStream* stream) {
    if (!stream) {
        SetLastError("null file handler");
        return true;
    }
    if (!m_dib) {
        SetLastError("null image!!!");
        return true;
    }
    return false;
}

// Decodes with the codec of one format; on success the result replaces this
// image. On failure the codec's text is copied here.
template <typename Codec, typename DecodeFn>
static bool DecodeWith(CRaster& self, DecodeFn decode, bool turnUpright) {
    Codec* codec = new (std::nothrow) Codec();
    if (!codec) return false;
    codec->CopyInfoFrom(self);
    codec->SetRowTarget(self.GetRowTarget());
    const bool ok = decode(*codec);
    if (ok) {
        if (turnUpright) codec->RotateByOrientation(codec->GetExifInfo().orientation);
        self.TakeFrom(*codec, true);
    } else {
        self.SetLastError(codec->GetLastError());
    }
    delete codec;
    return ok;
}

bool CRaster::Decode(CByteStream* stream, DWORD type, bool headerOnly) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    const std::int32_t start = stream->Tell();
    // Formats in the order they are tried for type 0.
    static const DWORD kOrder[] = {RASTER_FORMAT_BMP, RASTER_FORMAT_JPG, RASTER_FORMAT_PNG, RASTER_FORMAT_TIF};
    int first;
    switch (type) {
        case RASTER_FORMAT_UNKNOWN:
        case RASTER_FORMAT_BMP: first = 0; break;
        case RASTER_FORMAT_JPG: first = 1; break;
        case RASTER_FORMAT_PNG: first = 2; break;
        case RASTER_FORMAT_TIF: first = 3; break;
        default:
            SetLastError(kUnknownDecode);
            return false;
    }
    const int last = type == RASTER_FORMAT_UNKNOWN ? 3 : first;
    for (int i = first; i <= last; ++i) {
        bool ok = false;
        switch (kOrder[i]) {
            case RASTER_FORMAT_BMP:
                ok = DecodeWith<CRasterBMP>(*this, [&](CRasterBMP& c) { return c.Decode(stream); }, false);
                break;
            case RASTER_FORMAT_JPG:
                ok = DecodeWith<CRasterJPG>(*this, [&](CRasterJPG& c) { return c.Decode(stream, headerOnly); }, true);
                break;
            case RASTER_FORMAT_PNG:
                ok = DecodeWith<CRasterPNG>(*this, [&](CRasterPNG& c) { return c.Decode(stream); }, false);
                break;
            case RASTER_FORMAT_TIF: {
                // The page count is reported even when the page asked for is missing.
                std::int32_t frames = m_info.frameCount;
                ok = DecodeWith<CRasterTIF>(
                    *this,
                    [&](CRasterTIF& c) {
                        const bool r = c.Decode(stream, headerOnly);
                        frames = c.GetFrameCount();
                        return r;
                    },
                    true);
                if (!ok) m_info.frameCount = frames;
                break;
            }
            default:
                break;
        }
        if (ok) return true;
        stream->Seek(start, 0);
    }
    if (type == RASTER_FORMAT_UNKNOWN) SetLastError(kUnknownDecode);
    return false;
}

bool CRaster::Decode(std::FILE* stream, DWORD type, bool headerOnly) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    CFileStream file(stream);
    return Decode(&file, type, headerOnly);
}

bool CRaster::DecodeFromMemory(const BYTE* buffer, DWORD size, DWORD type) {
    // The stream only reads: the caller's block is never written or freed.
    CMemStream mem(const_cast<BYTE*>(buffer), size);
    return Decode(&mem, type, false);
}

bool CRaster::Load(const wchar_t* path, DWORD type, bool headerOnly) {
    if (type == RASTER_FORMAT_BMP || type == RASTER_FORMAT_JPG || type == RASTER_FORMAT_PNG ||
        type == RASTER_FORMAT_TIF) {
        std::FILE* fp = _wfopen(path, L"rb");
        if (!fp) return false;
        const bool ok = Decode(fp, type, headerOnly);
        if (ok) RotateByOrientation(m_info.exif.orientation);
        std::fclose(fp);
        if (ok) return true;
    }
    char kept[256];
    std::memcpy(kept, m_info.lastError, sizeof(kept));
    std::FILE* fp = _wfopen(path, L"rb");
    if (!fp) return false;
    const bool ok = Decode(fp, RASTER_FORMAT_UNKNOWN, false);
    std::fclose(fp);
    if (!ok && type != RASTER_FORMAT_UNKNOWN) std::memcpy(m_info.lastError, kept, sizeof(kept));
    return ok;
}

template <typename Codec, typename EncodeFn>
static bool EncodeWith(CRaster& self, EncodeFn encode) {
    Codec* codec = new (std::nothrow) Codec();
    if (!codec) return false;
    codec->ShareFrom(&self);
    const bool ok = encode(*codec);
    if (!ok) self.SetLastError(codec->GetLastError());
    delete codec;
    return ok;
}

bool CRaster::Encode(CByteStream* stream, DWORD type) {
    switch (type) {
        case RASTER_FORMAT_BMP:
            return EncodeWith<CRasterBMP>(*this, [&](CRasterBMP& c) { return c.Encode(stream); });
        case RASTER_FORMAT_JPG:
            return EncodeWith<CRasterJPG>(*this, [&](CRasterJPG& c) { return c.Encode(stream); });
        case RASTER_FORMAT_PNG:
            return EncodeWith<CRasterPNG>(*this, [&](CRasterPNG& c) { return c.Encode(stream); });
        case RASTER_FORMAT_TIF:
            return EncodeWith<CRasterTIF>(*this, [&](CRasterTIF& c) { return c.Encode(stream, false); });
        default:
            SetLastError("Encode: Unknown format");
            return false;
    }
}

bool CRaster::Encode(std::FILE* stream, DWORD type) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    CFileStream file(stream);
    return Encode(&file, type);
}

bool CRaster::EncodeToMemory(BYTE*& buffer, std::int32_t& size, DWORD type) {
    if (buffer) {
        SetLastError("the buffer must be empty");
        return false;
    }
    CMemStream mem;
    if (!mem.Open()) return false;
    if (!Encode(&mem, type)) return false;
    size = mem.Size();
    buffer = mem.GetBuffer(true);
    return true;
}

bool CRaster::Save(const wchar_t* path, DWORD type) {
    std::FILE* fp = _wfopen(path, L"wb");
    if (!fp) return false;
    CFileStream file(fp);
    bool ok = Encode(&file, type);
    // A write the C library only reports on flush or close is a failure too.
    if (std::fflush(fp) != 0 || std::ferror(fp)) {
        if (ok) SetLastError("Error writing the file");
        ok = false;
    }
    if (std::fclose(fp) != 0) {
        if (ok) SetLastError("Error writing the file");
        ok = false;
    }
    return ok;
}
