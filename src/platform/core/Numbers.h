// Numbers in text, always in the C locale. Qt sets the process locale from
// the environment, and a locale with a decimal comma must not turn "0.1" into
// 0 or write 0.5 as "0,5" in an edit, the configuration file or a CSV file.
#pragma once

#include <string>

// The C library's wide-text-to-integer conversion: leading white space, an
// optional sign, then decimal digits up to the first other character; 0 when
// there are no digits. Values beyond the int range give INT_MAX or INT_MIN.
int _wtoi(const wchar_t* text);
inline int _wtoi(const std::wstring& text) { return _wtoi(text.c_str()); }

// The C library's wide-text-to-double conversion in the C locale: leading
// white space, then the longest prefix that reads as a decimal or hexadecimal
// number, an infinity or a NaN; 0 when there is none.
double _wtof(const wchar_t* text);
inline double _wtof(const std::wstring& text) { return _wtof(text.c_str()); }

// printf-style formatting into a wide string, in the C locale. As with the
// wide printf functions of Windows, %s and %c take wide arguments
// (const wchar_t*, wchar_t) and %S and %C narrow ones.
std::wstring FormatW(const wchar_t* format, ...);
