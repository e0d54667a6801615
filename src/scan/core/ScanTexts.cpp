#include "scan/core/ScanTexts.h"

#include <cstdio>

#include "platform/core/Paths.h"
#include "settings/ScanSetting.h"

namespace {
// The part of `path` below `folder` (without the separator), when `path`
// lies below it.
bool Below(const std::wstring& path, std::wstring folder, std::wstring& rest) {
    while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
    if (folder.empty() || path.size() <= folder.size() + 1) return false;
    if (path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != L'/') return false;
    rest = path.substr(folder.size() + 1);
    return true;
}
}  // namespace

std::wstring ScanStepChainText() {
    std::wstring chain;
    for (const ScanStepFlags::Switch& s : ScanStepFlags::Switches()) {
        if (s.flag->load() == 0) continue;
        if (!chain.empty()) chain += L" -> ";
        chain += s.chainText;
    }
    return L"处理:  " + (chain.empty() ? std::wstring(L"无") : chain);
}

std::wstring ScanProcessStatusText(int queued, int done, int failed, bool running) {
    if (queued == 0) return running ? L"没有需要处理的图片" : L"未开始处理";
    wchar_t text[160];
    std::swprintf(text, 160,
                  running ? L"已扫描 %d 张，已处理 %d 张,失败 %d. 正在处理中." : L"已扫描 %d 张，已处理 %d 张,失败 %d. 已停止处理.",
                  queued, done, failed);
    return text;
}

std::wstring ScanStateText(int mode) {
    switch (mode) {
    case 1: return L"扫描进行中...";
    case 2: return L"插描进行中...";
    case 3: return L"替描进行中...";
    default: return L"扫描未开始";
    }
}

std::wstring ScanPathToProcessedPath(const std::wstring& path) {
    std::wstring scanFolder = ScanSetting::scanFolder.get();
    std::wstring rest;
    if (!Below(path, scanFolder, rest)) return {};
    while (scanFolder.size() > 1 && scanFolder.back() == L'/') scanFolder.pop_back();
    return PathJoin(ScanSetting::processedFolder.get(), PathFileName(scanFolder), rest);
}

std::wstring ProcessedPathToScanPath(const std::wstring& path) {
    std::wstring rest;
    if (!Below(path, ScanSetting::processedFolder.get(), rest)) return {};
    const std::size_t slash = rest.find(L'/');
    if (slash == std::wstring::npos || slash + 1 >= rest.size()) return {};
    return PathJoin(ScanSetting::scanFolder.get(), rest.substr(slash + 1));
}
