// Folder comparisons of the tools on whole path components: /scan is not a
// part of /scan2. Paths are compared in their resolved form (links followed
// as far as the path exists, "." and ".." taken out, no trailing
// separator), so two spellings of one folder compare equal.
#pragma once

#include <string>

// The resolved form of a folder path (files::CanonicalPath); empty for an
// empty path.
std::wstring ResolvedFolder(const std::wstring& path);
// True when `inner` is `outer` or lies somewhere below it.
bool IsSameOrInside(const std::wstring& inner, const std::wstring& outer);
// True when one of the two trees holds the other (or they are one folder).
bool TreesOverlap(const std::wstring& a, const std::wstring& b);
