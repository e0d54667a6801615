// Wide strings are std::wstring (UTF-32 on Linux); text that leaves the
// process (paths for the OS, files) is UTF-8 unless a format says otherwise.
#pragma once

#include <string>
#include <string_view>

// Invalid code points (surrogates, values above U+10FFFF) become U+FFFD.
std::string ToUtf8(std::wstring_view text);
// Malformed sequences become U+FFFD, one per bad byte.
std::wstring FromUtf8(std::string_view text);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// ASCII-only case folding, used for file extensions and the like.
std::wstring AsciiLower(std::wstring_view text);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
