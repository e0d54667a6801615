#include "scan/core/ScanNaming.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <map>
#include <mutex>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "scan/core/ScanTexts.h"
#include "settings/PathHelpers.h"
#include "settings/RegistryStore.h"
#include "settings/ScanSetting.h"

int g_nextScanNumber = 1;
int g_replaceNumber = -1;
int g_insertNumber = -1;

namespace {

std::mutex g_providerLock;
std::function<std::wstring()> g_selectionProvider;

std::wstring Trim(const std::wstring& text) {
    std::size_t a = 0, b = text.size();
    while (a < b && std::iswspace(text[a])) ++a;
    while (b > a && std::iswspace(text[b - 1])) --b;
    return text.substr(a, b - a);
}

// atoi on wide text: leading white space, a sign, digits up to the first
// other character; 0 without digits.
int ToNumber(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long v = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        v = v * 10 + (text[i] - L'0');
        if (v > 0x7FFFFFFF) v = 0x7FFFFFFF;
    }
    return static_cast<int>(negative ? -v : v);
}

bool IsImageName(const std::wstring& name) {
    const std::wstring ext = AsciiLower(PathExtension(name));
    return ext == L"jpg" || ext == L"tif" || ext == L"tiff" || ext == L"png";
}

// The image files lying directly in `folder`.
std::vector<std::wstring> DirectImageFiles(const std::wstring& folder) {
    std::vector<files::DirEntry> entries;
    std::vector<std::wstring> names;
    if (!files::ListDirectory(folder, entries)) return names;
    for (const files::DirEntry& e : entries)
        if (!e.isDirectory && IsImageName(e.name)) names.push_back(e.name);
    return names;
}

// True when both paths name the same folder.
bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && !b.empty() && files::CanonicalPath(a) == files::CanonicalPath(b);
}

// The number between prefix and suffix of the selected file, or -1. The
// file must lie directly in the target folder; a processed file stands for
// its scanned counterpart. `selectedPath` receives that file's path.
int SelectedNumber(std::wstring* selectedPath = nullptr) {
    std::wstring path = ScanSelectedPath();
    if (path.empty()) return -1;
    const std::wstring target = ScanTargetFolder();
    if (!SameFolder(PathFolder(path), target)) {
        const std::wstring scanned = ProcessedPathToScanPath(path);
        if (scanned.empty() || !SameFolder(PathFolder(scanned), target)) return -1;
        path = PathJoin(target, PathFileName(scanned));
    } else {
        path = PathJoin(target, PathFileName(path));
    }
    if (selectedPath) *selectedPath = path;
    std::wstring name = PathFileName(path);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    const std::wstring prefix = ScanSetting::prefix.get();
    const std::wstring suffix = ScanSetting::suffix.get();
    if (!prefix.empty() && name.compare(0, prefix.size(), prefix) != 0) return -1;
    std::size_t end = name.size();
    if (!suffix.empty()) {
        const std::size_t at = name.find(suffix, prefix.size());
        if (at == std::wstring::npos || at + suffix.size() != name.size()) return -1;
        end = at;
    }
    if (end < prefix.size()) return -1;
    return ToNumber(name.substr(prefix.size(), end - prefix.size()));
}

bool HasSeparator(const std::wstring& text) { return text.find_first_of(L"/\\") != std::wstring::npos; }

}  // namespace

void SetScanSelectionProvider(std::function<std::wstring()> provider) {
    std::lock_guard guard(g_providerLock);
    g_selectionProvider = std::move(provider);
}

std::wstring ScanSelectedPath() {
    std::function<std::wstring()> provider;
    {
        std::lock_guard guard(g_providerLock);
        provider = g_selectionProvider;
    }
    return provider ? provider() : std::wstring();
}

std::wstring ScanSubFolder() {
    std::wstring sub = Trim(ScanSetting::subFolder.get());
    std::replace(sub.begin(), sub.end(), L'\\', L'/');
    return sub;
}

std::wstring ScanTargetFolder() {
    const std::wstring sub = ScanSubFolder();
    const std::wstring folder = ScanSetting::scanFolder.get();
    return sub.empty() ? folder : PathJoin(folder, sub);
}

std::wstring ScanCounterText(int number) {
    char text[64];
    int width = ScanSetting::codeLength.load();
    width = std::clamp(width, 0, 32);
    std::snprintf(text, sizeof text, "%0*d", width, number);
    return FromUtf8(text);
}

std::wstring ScanFileNameFor(int number, const std::wstring& extension) {
    return PathJoin(ScanTargetFolder(),
                    ScanSetting::prefix.get() + ScanCounterText(number) + ScanSetting::suffix.get() + extension);
}

const wchar_t* ScanTransferExtension(TW_UINT16 format) { return format == TWFF_JFIF ? L".jpg" : L".tif"; }
const wchar_t* ScanSettingExtension() { return ScanSetting::fileFormat.load() == 1 ? L".tif" : L".jpg"; }

int ParseScanFileNumber(const std::wstring& fileName) {
    std::wstring name = fileName;
    const std::size_t dot = name.rfind(L'.');
    name = dot == std::wstring::npos ? std::wstring() : name.substr(0, dot);
    const std::wstring prefix = ScanSetting::prefix.get();
    const std::wstring suffix = ScanSetting::suffix.get();
    const int code = ScanSetting::codeLength.load();
    if (code < 0 || name.size() != prefix.size() + static_cast<std::size_t>(code) + suffix.size()) return -1;
    if (!prefix.empty() && name.compare(0, prefix.size(), prefix) != 0) return -1;
    if (!suffix.empty() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return -1;
    return ToNumber(name.substr(prefix.size(), static_cast<std::size_t>(code)));
}

std::wstring ScanNameRefusal() {
    const std::wstring sub = ScanSubFolder();
    if (!sub.empty() && sub.front() == L'/')
        return L"文件夹名不能是绝对路径, 请输入扫描目录下的子目录名.";
    for (std::size_t at = 0; at <= sub.size();) {
        std::size_t end = sub.find(L'/', at);
        if (end == std::wstring::npos) end = sub.size();
        if (sub.compare(at, end - at, L"..") == 0) return L"文件夹名不能包含 \"..\", 请输入扫描目录下的子目录名.";
        at = end + 1;
    }
    if (HasSeparator(ScanSetting::prefix.get())) return L"前缀不能包含 \"/\" 或 \"\\\".";
    if (HasSeparator(ScanSetting::suffix.get())) return L"后缀不能包含 \"/\" 或 \"\\\".";
    return {};
}

int ScanNameNumber(const std::wstring& fileName) {
    const std::size_t dot = fileName.rfind(L'.');
    if (dot != std::wstring::npos) {
        const std::wstring prefix = ScanSetting::prefix.get();
        const std::wstring suffix = ScanSetting::suffix.get();
        const std::wstring base = fileName.substr(0, dot);
        if (base.size() > prefix.size() + suffix.size() && base.compare(0, prefix.size(), prefix) == 0 &&
            base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0) {
            const std::wstring digits = base.substr(prefix.size(), base.size() - prefix.size() - suffix.size());
            if (std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
                return ToNumber(digits);
        }
    }
    return ParseScanFileNumber(fileName);
}

bool NextScanFileName(char* buffer, TW_UINT16 format) {
    if (!buffer) return false;
    std::memset(buffer, 0, 256);
    if (!ScanNameRefusal().empty()) return false;
    if (!ScanSubFolder().empty()) CreateFolderPath(ScanTargetFolder());
    // A name already taken (by a folder, or by a file that appeared since the
    // run counted) is passed over: a page never replaces anything.
    std::wstring name = ScanFileNameFor(g_nextScanNumber, ScanTransferExtension(format));
    while (files::Exists(name) && g_nextScanNumber < INT_MAX)
        name = ScanFileNameFor(++g_nextScanNumber, ScanTransferExtension(format));
    if (files::Exists(name)) return false;
    if (g_nextScanNumber < INT_MAX) ++g_nextScanNumber;
    const std::string bytes = ToUtf8(name);
    if (bytes.size() > 255) return false;
    std::memcpy(buffer, bytes.data(), bytes.size());
    return true;
}

int InitScanFileNumber() {
    g_insertNumber = -1;
    const std::wstring target = ScanTargetFolder();
    int highest = -1;
    // Every number taken counts, also one with more digits than the code
    // length (a counter that outgrew it), so the next page never lands on it.
    if (files::IsDirectory(target))
        for (const std::wstring& name : DirectImageFiles(target)) highest = std::max(highest, ScanNameNumber(name));
    if (highest == INT_MAX) highest = INT_MAX - 1;  // the name for INT_MAX is taken: the run names nothing
    g_nextScanNumber = highest >= 0 ? highest + 1 : ScanSetting::startCode.load();
    return g_nextScanNumber;
}

std::vector<ScanFileRecord> ScanFilesFrom(int start) {
    std::vector<ScanFileRecord> list;
    const std::wstring target = ScanTargetFolder();
    if (!files::IsDirectory(target)) return list;
    for (const std::wstring& name : DirectImageFiles(target)) {
        const int n = ScanNameNumber(name);
        if (n >= 0 && n >= start) list.push_back({n, name, target});
    }
    return list;
}

int FindInsertPosition(std::vector<ScanFileRecord>& list, std::wstring& path) {
    list.clear();
    path.clear();
    if (!files::IsDirectory(ScanTargetFolder())) return -1;
    std::wstring selectedPath;
    const int selected = SelectedNumber(&selectedPath);
    if (selected < 0) return -1;
    list = ScanFilesFrom(selected);
    if (files::IsRegularFile(selectedPath)) {
        path = selectedPath;
    } else {
        for (const ScanFileRecord& r : list)
            if (r.number == selected) {
                path = PathJoin(r.folder, r.name);
                break;
            }
    }
    return selected;
}

bool ShiftScanFilesUp(std::vector<ScanFileRecord> list, int start, std::vector<ScanFileMove>* moved) {
    std::stable_sort(list.begin(), list.end(),
                     [](const ScanFileRecord& a, const ScanFileRecord& b) { return a.number < b.number; });
    // The run start, start + 1, ... (files of one number with different
    // extensions move together).
    std::map<int, std::vector<const ScanFileRecord*>> run;
    int expect = start;
    for (const ScanFileRecord& r : list) {
        if (r.number == expect - 1 && !run.empty()) {
            run[r.number].push_back(&r);
            continue;
        }
        if (r.number != expect) break;
        run[r.number].push_back(&r);
        ++expect;
    }
    bool all = true;
    for (auto it = run.rbegin(); it != run.rend(); ++it)
        for (const ScanFileRecord* r : it->second) {
            const std::wstring from = PathJoin(r->folder, r->name);
            const std::wstring to =
                PathJoin(r->folder, ScanSetting::prefix.get() + ScanCounterText(r->number + 1) +
                                        ScanSetting::suffix.get() + L"." + PathExtension(r->name));
            if (!files::RenameNoReplace(from, to)) all = false;
            else if (moved) moved->push_back({from, to});
        }
    return all;
}

int GetReplaceNumber() {
    if (!files::IsDirectory(ScanTargetFolder())) return -1;
    return SelectedNumber();
}

std::wstring ScanNameExample() {
    std::wstring folder = ScanSetting::processedFolder.get();
    const std::wstring sub = ScanSubFolder();
    if (!sub.empty()) folder = PathJoin(folder, sub);
    return PathJoin(folder, ScanSetting::prefix.get() + ScanCounterText(ScanSetting::startCode.load()) +
                                ScanSetting::suffix.get() + ScanSettingExtension());
}

bool WriteSavePathRegistry() {
    return SetRegistryValue(L"SOFTWARE\\Archive Imaging Group\\Scan2 Sample", L"SavePath",
                            ScanSetting::scanFolder.get());
}
