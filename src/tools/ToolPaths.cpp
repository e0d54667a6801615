#include "tools/ToolPaths.h"

#include "platform/core/Files.h"

std::wstring ResolvedFolder(const std::wstring& path) { return files::CanonicalPath(path); }

bool IsSameOrInside(const std::wstring& inner, const std::wstring& outer) {
    return files::IsSameOrBelow(files::CanonicalPath(inner), files::CanonicalPath(outer));
}

bool TreesOverlap(const std::wstring& a, const std::wstring& b) { return IsSameOrInside(a, b) || IsSameOrInside(b, a); }
