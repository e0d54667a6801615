#include "tools/ToolPaths.h"

#include <filesystem>

#include "platform/core/Strings.h"

namespace fs = std::filesystem;

std::wstring ResolvedFolder(const std::wstring& path) {
    if (path.empty()) return {};
    fs::path p(ToUtf8(path));
    std::error_code ec;
    if (p.is_relative()) p = fs::absolute(p, ec);
    fs::path resolved = fs::weakly_canonical(p, ec);
    if (ec) resolved = p.lexically_normal();
    std::wstring text = FromUtf8(resolved.string());
    while (text.size() > 1 && text.back() == L'/') text.pop_back();
    return text;
}

bool IsSameOrInside(const std::wstring& inner, const std::wstring& outer) {
    const std::wstring in = ResolvedFolder(inner);
    const std::wstring out = ResolvedFolder(outer);
    if (in.empty() || out.empty()) return false;
    if (in == out) return true;
    if (out == L"/") return in.front() == L'/';
    return in.size() > out.size() && in.compare(0, out.size(), out) == 0 && in[out.size()] == L'/';
}

bool TreesOverlap(const std::wstring& a, const std::wstring& b) { return IsSameOrInside(a, b) || IsSameOrInside(b, a); }
