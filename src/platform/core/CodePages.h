// Code pages: the system's 8-bit text encoding ("the ANSI code page") and
// conversions between wide text and a code page, through iconv.
//
// GetACP() is 65001 (UTF-8) unless the process locale's codeset is another
// encoding of the table below (GBK gives 936, BIG5 950, ...). The C/POSIX
// locale counts as UTF-8: its ASCII codeset is not a choice anyone makes for
// file names, and a path that exists on Linux must never be damaged on its way
// into a text file.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/WinTypes.h"

constexpr UINT CP_ACP = 0;  // the process's code page, as given by GetACP()
constexpr UINT CP_UTF8 = 65001;

// The code page of the process locale's codeset (read on every call, so a
// program that sets its locale late is followed).
UINT GetACP();

// The iconv name of a code page ("GBK" for 936), or empty when the code page
// is not one this layer knows. CP_ACP stands for GetACP().
std::string CodePageName(UINT codePage);

// Wide text to the bytes of a code page. Characters the code page cannot
// represent become its replacement character '?', invalid code points too
// (in UTF-8 invalid code points become U+FFFD).
// Returns false when something was replaced (the output is still complete)
// or when the code page is unknown (the output is then empty).
bool WideToCodePage(UINT codePage, std::wstring_view text, std::string& out);

// Bytes of a code page to wide text. Byte sequences that are not valid in the
// code page become U+FFFD. Returns false when something was replaced, or when
// the code page is unknown (the output is then empty).
bool CodePageToWide(UINT codePage, std::string_view bytes, std::wstring& out);
