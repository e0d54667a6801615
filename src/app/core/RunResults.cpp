#include "app/core/RunResults.h"

#include <string>

#include "platform/core/CodePages.h"
#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"

namespace {

// The progress line holds at most 259 characters.
std::wstring Cut(std::wstring text) {
    if (text.size() > 259) text.resize(259);
    return text;
}

}  // namespace

std::wstring AutoDetectProgressText(int done, int total, int failed) {
    return Cut(FormatW(L"**********自动检测中,处理进度 %d / %d 张, %d张失败************", done, total, failed));
}

std::wstring RunningProgressText(int done, int total, int failed) {
    return Cut(FormatW(L"**********处理中请等待,处理进度 %d / %d 张, 失败%d张************", done, total, failed));
}

std::wstring FinishedProgressText(int done, int failed, unsigned seconds) {
    return Cut(FormatW(L"**********处理完成,总共处理了 %d 张, 其中失败%d张.用了 %d 秒************", done, failed,
                       static_cast<int>(seconds)));
}

std::wstring ProcessingStatusText(const std::wstring& path) { return L"正在处理: " + path; }

std::wstring FailedListFileName(const SYSTEMTIME& t) {
    return FormatW(L"image_failed_%04d-%02d-%02d_%02d%02d.txt", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
}

bool WriteFailedListAt(const std::wstring& path, const std::vector<std::wstring>& paths, UINT codePage) {
    if (paths.empty() || path.empty()) return false;
    std::string bytes;
    for (const std::wstring& p : paths) {
        std::string line;
        WideToCodePage(codePage, p, line);  // unrepresentable characters become '?'
        bytes += line;
        bytes += "\r\n";
    }
    return files::WriteAllAtomic(path, bytes.data(), bytes.size());
}

std::wstring WriteFailedListFile(const std::wstring& folder, const std::vector<std::wstring>& paths,
                                 const SYSTEMTIME& time, UINT codePage) {
    if (paths.empty() || folder.empty()) return {};
    const std::wstring path = PathJoin(folder, FailedListFileName(time));
    if (!WriteFailedListAt(path, paths, codePage)) return {};
    return path;
}
