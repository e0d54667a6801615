#include "platform/core/Strings.h"

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one sequence at text[i]; returns its length, or 0 when malformed.
std::size_t DecodeOne(std::string_view text, std::size_t i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::size_t len;
    char32_t c;
    char32_t min;
    if (b0 < 0x80) {
        out = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2; c = b0 & 0x1F; min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3; c = b0 & 0x0F; min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4; c = b0 & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    out = c;
    return len;
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) AppendUtf8(out, static_cast<char32_t>(w));
    return out;
}

std::wstring FromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t c;
        std::size_t n = DecodeOne(text, i, c);
        if (n == 0) {
            out.push_back(L'\uFFFD');
            ++i;
        } else {
            out.push_back(static_cast<wchar_t>(c));
            i += n;
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t c;
        std::size_t n = DecodeOne(text, i, c);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::wstring AsciiLower(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}
