#include "platform/core/Numbers.h"

#include <locale.h>

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// Rewrites Windows wide-printf conversions for the C library: %s/%c become
// %ls/%lc, %S/%C become %s/%c. Flags, width, precision and other length
// modifiers are kept.
std::wstring TranslateFormat(const wchar_t* format) {
    std::wstring out;
    for (const wchar_t* p = format; *p; ++p) {
        out.push_back(*p);
        if (*p != L'%') continue;
        ++p;
        if (*p == L'%') {
            out.push_back(*p);
            continue;
        }
        // Flags, width, precision.
        while (*p && std::wcschr(L"-+ #0123456789.*", *p)) out.push_back(*p++);
        bool hasLength = false;
        while (*p && std::wcschr(L"hlLqjzt", *p)) {
            out.push_back(*p++);
            hasLength = true;
        }
        if (!*p) break;
        switch (*p) {
            case L's':
            case L'c':
                if (!hasLength) out.push_back(L'l');
                out.push_back(*p);
                break;
            case L'S': out.push_back(L's'); break;
            case L'C': out.push_back(L'c'); break;
            default: out.push_back(*p);
        }
    }
    return out;
}

}  // namespace

int _wtoi(const wchar_t* text) {
    if (!text) return 0;
    const wchar_t* p = text;
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') negative = (*p++ == L'-');
    long long value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        value = value * 10 + (*p - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

double _wtof(const wchar_t* text) {
    if (!text) return 0.0;
    // Only ASCII can be part of a number; the first other character ends it.
    std::string narrow;
    for (const wchar_t* p = text; *p > 0 && *p < 0x80; ++p) narrow.push_back(static_cast<char>(*p));
    return strtod_l(narrow.c_str(), nullptr, CLocale());
}

std::wstring FormatW(const wchar_t* format, ...) {
    const std::wstring fmt = TranslateFormat(format);
    const locale_t previous = uselocale(CLocale());
    std::vector<wchar_t> buffer(256);
    int n = -1;
    // vswprintf reports a too-small buffer only as failure, so grow until it
    // fits (bounded, so a conversion error cannot loop forever).
    while (buffer.size() <= (std::size_t{1} << 24)) {
        va_list args;
        va_start(args, format);
        n = std::vswprintf(buffer.data(), buffer.size(), fmt.c_str(), args);
        va_end(args);
        if (n >= 0 && static_cast<std::size_t>(n) < buffer.size()) break;
        buffer.resize(buffer.size() * 4);
    }
    uselocale(previous);
    return n < 0 ? std::wstring() : std::wstring(buffer.data(), static_cast<std::size_t>(n));
}
