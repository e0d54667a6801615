#include "tools/SealJob.h"

#include "app/core/RunLayout.h"
#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"
#include "processing/processor/ImageProcessor.h"
#include "settings/PathHelpers.h"
#include "tools/ToolPaths.h"

namespace {

constexpr std::int32_t kLargestPageNumber = 99999999;

std::int32_t TextToInt(const std::wstring& text) { return _wtoi(text.c_str()); }

}  // namespace

std::int32_t ParsePageNumber(const std::wstring& name) {
    const std::size_t dot = name.rfind(L'.');
    const std::size_t dash = name.rfind(L'-');
    if (dot == std::wstring::npos || dash == std::wstring::npos) return -1;
    const std::size_t start = dash + 1;
    const std::wstring text = dot > dash ? name.substr(start, dot - start) : name.substr(start);
    if (text.empty()) return -1;
    return TextToInt(text);
}

void ParseArchiveNumber(const std::wstring& name, std::wstring& prefix, std::int32_t& volume, std::int32_t& serial) {
    const std::size_t last = name.rfind(L'-');
    const std::size_t second = (last == std::wstring::npos || last == 0) ? std::wstring::npos : name.rfind(L'-', last - 1);
    prefix = second == std::wstring::npos ? name : name.substr(0, second);
    const std::size_t volumeStart = second == std::wstring::npos ? 0 : second + 1;
    const std::size_t volumeEnd = last == std::wstring::npos ? name.size() : last;
    volume = TextToInt(volumeEnd > volumeStart ? name.substr(volumeStart, volumeEnd - volumeStart) : std::wstring());
    serial = TextToInt(last == std::wstring::npos ? name : name.substr(last + 1));
}

std::wstring MapToOutputPath(const std::wstring& folderPath, const std::wstring& rootPath,
                             const std::wstring& rootName) {
    if (rootPath.empty() || folderPath.empty()) return {};
    std::wstring root = rootPath;
    while (root.size() > 1 && root.back() == L'/') root.pop_back();
    if (folderPath == root || folderPath == rootPath) return rootName;
    const std::wstring start = root == L"/" ? root : root + L"/";
    if (folderPath.size() <= start.size() || folderPath.compare(0, start.size(), start) != 0) return {};
    return PathJoin(rootName, std::wstring_view(folderPath).substr(start.size()));
}

SealJobCheck CheckSealJob(const SealJobSettings& s) {
    if (s.source.empty()) return SealJobCheck::kNoSource;
    if (s.output.empty()) return SealJobCheck::kNoOutput;
    // The mirror goes to output/<source name>: it must not be the source tree
    // or lie in it (stamped pages would replace their originals, copies land
    // on themselves), nor hold it.
    std::wstring rootName;
    GetLastPathComponent(s.source.c_str(), rootName);
    if (TreesOverlap(PathJoin(s.output, rootName), s.source) || IsSameOrInside(s.output, s.source))
        return SealJobCheck::kOutputInSource;
    return SealJobCheck::kOk;
}

std::wstring SealJobCheckMessage(SealJobCheck check) {
    switch (check) {
    case SealJobCheck::kNoSource: return L"请选择要处理的图片所在文件夹.";
    case SealJobCheck::kNoOutput: return L"请选择要保存到的文件夹.";
    case SealJobCheck::kOutputInSource:
        return L"保存到的目录不能位于要处理的目录中,也不能是它的上一级目录(结果会覆盖原图片).";
    case SealJobCheck::kOk: break;
    }
    return {};
}

CSealJob::CSealJob(SealJobSettings settings) : settings_(std::move(settings)) {}

bool CSealJob::Prepare() {
    if (!tree_.Build(RunExtensions(), CFileTree::kFlatWalk | CFileTree::kKeepRootPath, 0, settings_.source))
        return false;
    root_ = tree_.FlatRoot();
    if (!root_) return false;
    GetLastPathComponent(settings_.source.c_str(), rootName_);
    root_->name = rootName_;
    total_ = 0;
    done_ = 0;
    // Every file is counted before the first one is handled, so the progress
    // never reaches the total while folders are still to come.
    for (FileTreeNode* folder : tree_.FolderList()) {
        for (FileTreeNode* child : folder->children) {
            child->itemData = child->IsFolder() ? -1 : ParsePageNumber(child->name);
            if (!child->IsFolder()) ++total_;
        }
        if (!settings_.includeSubfolders) break;
    }
    return true;
}

void CSealJob::RunSealJob(ISealDrawer& drawer, const std::function<void()>& afterFile, const std::atomic<bool>& stop) {
    if (!root_) return;
    for (FileTreeNode* folder : tree_.FolderList()) {
        if (stop) return;
        StampFolder(folder, drawer, afterFile, stop);
        if (!settings_.includeSubfolders) break;
    }
}

void CSealJob::StampFolder(FileTreeNode* folder, ISealDrawer& drawer, const std::function<void()>& afterFile,
                           const std::atomic<bool>& stop) {
    FileTreeNode* chosen = nullptr;
    for (FileTreeNode* child : folder->children) {
        if (child->IsFolder() || child->itemData < 0 || child->itemData > kLargestPageNumber) continue;
        if (!chosen || child->itemData < chosen->itemData) chosen = child;
    }
    const std::wstring destination =
        PathJoin(settings_.output, MapToOutputPath(folder->fullPath, root_->fullPath, rootName_));
    for (FileTreeNode* child : folder->children) {
        if (child->IsFolder()) continue;
        if (stop) return;
        CreateFolderPath(destination);
        bool ok;
        if (child == chosen) {
            std::wstring prefix;
            std::int32_t volume = 0;
            std::int32_t serial = 0;
            ParseArchiveNumber(folder->name, prefix, volume, serial);
            CImageProcessor processor;
            ok = processor.StampArchiveSeal(child->fullPath, destination, child->name, prefix, volume, serial,
                                            settings_.seal, drawer);
            if (ok) {
                std::lock_guard lock(mutex_);
                stamped_.push_back(child->fullPath);
            }
        } else {
            ok = files::CopyReplacing(child->fullPath, PathJoin(destination, child->name));
        }
        if (!ok) {
            std::lock_guard lock(mutex_);
            failed_.push_back(child->fullPath);
        }
        ++done_;
        if (afterFile) afterFile();
    }
}

std::vector<std::wstring> CSealJob::Failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

std::vector<std::wstring> CSealJob::Stamped() const {
    std::lock_guard lock(mutex_);
    return stamped_;
}
