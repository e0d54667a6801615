#include "app/core/OutputRule.h"

#include <unordered_map>
#include <unordered_set>

#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "settings/PathHelpers.h"

std::wstring NormaliseSourceFolder(const std::wstring& folder) {
    std::wstring out = folder;
    while (out.size() > 1 && out.back() == kPathSeparator) out.pop_back();
    return out;
}

bool IsResultsFolder(const std::wstring& folder) {
    return !folder.empty() && files::IsRegularFile(PathJoin(folder, kResultsMarker));
}

namespace {

std::wstring MarkerSource(const std::wstring& folder) {
    std::vector<std::uint8_t> bytes;
    if (!files::ReadAll(PathJoin(folder, kResultsMarker), bytes)) return std::wstring();
    return FromUtf8(std::string(bytes.begin(), bytes.end()));
}

bool IsEmptyFolder(const std::wstring& folder) {
    std::vector<files::DirEntry> entries;
    return files::ListDirectory(folder, entries) && entries.empty();
}

}  // namespace

bool MarkResultsFolder(const std::wstring& folder, const std::wstring& source) {
    if (!CreateFolderPath(folder)) return false;
    if (IsResultsFolder(folder)) return true;
    const std::string text = ToUtf8(source);
    return files::WriteAllAtomic(PathJoin(folder, kResultsMarker), text.data(), text.size());
}

std::wstring OutputRootOf(const RunLayout& layout) {
    return layout.newFolder ? PathJoin(layout.destination, layout.rootName) : layout.rootPath;
}

// ---- Inputs ------------------------------------------------------------------

void RunInputs::Add(const std::wstring& path) {
    files::FileId file, folder;
    const bool haveFile = files::GetFileId(path, file);
    const bool haveFolder = files::GetFileId(PathFolder(path), folder);
    std::lock_guard lock(mutex_);
    if (haveFile) files_.insert(file);
    if (haveFolder) folders_.insert(folder);
}

void RunInputs::Add(const std::vector<std::wstring>& paths) {
    for (const auto& p : paths) Add(p);
}

bool RunInputs::HasFile(const files::FileId& id) const {
    std::lock_guard lock(mutex_);
    return files_.count(id) != 0;
}

bool RunInputs::HasFolder(const files::FileId& id) const {
    std::lock_guard lock(mutex_);
    return folders_.count(id) != 0;
}

bool RunInputs::IsInputFile(const std::wstring& path) const {
    files::FileId id;
    return files::GetFileId(path, id) && HasFile(id);
}

bool RunInputs::IsInputFolder(const std::wstring& path) const {
    files::FileId id;
    return files::GetFileId(path, id) && HasFolder(id);
}

// ---- Checks when a run starts --------------------------------------------------

std::wstring CheckOutputFolders(const RunLayout& layout) {
    if (layout.rootName.empty())
        return FormatW(L"要处理的目录 %s 没有名称，无法确定处理结果的保存位置。请选择其中的子目录。",
                       layout.rootPath.c_str());
    if (!layout.newFolder) return std::wstring();
    const std::wstring root = OutputRootOf(layout);
    const std::wstring source = files::CanonicalPath(layout.rootPath);
    const std::wstring results = files::CanonicalPath(root);
    if (files::IsSameOrBelow(results, source))
        return FormatW(L"处理结果将保存到 %s，它在要处理的目录 %s 之中，会覆盖或混入原图。请选择要处理的目录以外的保存目录。",
                       root.c_str(), layout.rootPath.c_str());
    if (files::IsSameOrBelow(source, results))
        return FormatW(L"要处理的目录 %s 在结果目录 %s 之中，处理结果会覆盖或混入原图。请选择其他保存目录。",
                       layout.rootPath.c_str(), root.c_str());
    if (files::Exists(root)) {
        if (IsResultsFolder(root)) {
            const std::wstring owner = MarkerSource(root);
            if (owner != source)
                return FormatW(L"保存目录 %s 中已有另一个目录 %s 的处理结果，继续会覆盖它们。请选择其他保存目录。",
                               root.c_str(), owner.c_str());
        } else if (!IsEmptyFolder(root)) {
            return FormatW(L"保存目录 %s 已存在，且其中的文件不是目录 %s 的处理结果，继续可能覆盖它们。请选择其他保存目录。",
                           root.c_str(), layout.rootPath.c_str());
        }
    }
    return std::wstring();
}

std::wstring CheckOutputFiles(const RunLayout& layout, const std::vector<QueuedFile>& queued,
                              const RunInputs& inputs) {
    const std::wstring source = files::CanonicalPath(layout.rootPath);
    std::unordered_map<std::wstring, std::wstring> folderRefusal;  // output folder -> refusal (empty: fine)
    std::unordered_set<std::wstring> outputs;
    for (const QueuedFile& q : queued) {
        const std::wstring folder = OutputFolderOf(q.parentPath, q.parentName, layout);
        const std::wstring output = PathJoin(folder, q.name);
        auto found = folderRefusal.find(folder);
        if (found == folderRefusal.end()) {
            std::wstring refusal;
            if (!layout.newFolder) {
                // A result folder is the program's own; an ordinary folder
                // of the same name that holds sources is not.
                if (files::Exists(folder) && !IsResultsFolder(folder) && inputs.IsInputFolder(folder))
                    refusal = FormatW(L"目录 %s 的处理结果要保存到它的同名子目录 %s，但那是存放原图的普通文件夹，结果会覆盖或混入原图。请选择“保存到新目录”。",
                                      q.parentPath.c_str(), folder.c_str());
            } else if (files::IsSameOrBelow(files::CanonicalPath(folder), source) || inputs.IsInputFolder(folder)) {
                refusal = FormatW(L"处理结果将保存到 %s，它在要处理的目录 %s 之中，会覆盖或混入原图。请选择要处理的目录以外的保存目录。",
                                  folder.c_str(), layout.rootPath.c_str());
            }
            found = folderRefusal.emplace(folder, refusal).first;
        }
        if (!found->second.empty()) return found->second;
        if (inputs.IsInputFile(output))
            return FormatW(L"原图 %s 的处理结果会覆盖原图 %s。请选择其他保存目录。", q.fullPath.c_str(),
                           output.c_str());
        if (!outputs.insert(output).second)
            return FormatW(L"两个原图的处理结果都要保存为 %s，后一个会覆盖前一个。请选择其他保存目录。",
                           output.c_str());
    }
    return std::wstring();
}

std::wstring CheckDetectionCopies(const RunLayout& layout, const std::vector<QueuedFile>& queued) {
    for (const QueuedFile& q : queued) {
        const std::wstring folder = OutputFolderOf(q.parentPath, q.parentName, layout);
        if (files::Exists(PathJoin(folder, q.name)))
            return FormatW(L"检测出的图片要复制到目录 %s，但其中已有同名文件 %s，复制会覆盖它。请选择其他保存目录，或先移走该目录中的文件。",
                           folder.c_str(), q.name.c_str());
    }
    return std::wstring();
}

std::wstring PrepareOutputs(const RunLayout& layout, const std::vector<QueuedFile>& queued) {
    const auto cannotWrite = [](const std::wstring& folder) {
        return FormatW(L"无法在目录 %s 中创建或写入文件，处理结果无法保存。请检查该目录或选择其他保存目录。",
                       folder.c_str());
    };
    if (layout.newFolder) {
        const std::wstring root = OutputRootOf(layout);
        if (!MarkResultsFolder(root, files::CanonicalPath(layout.rootPath))) return cannotWrite(root);
        return std::wstring();
    }
    if (!queued.empty()) {
        const QueuedFile& first = queued.front();
        const std::wstring folder = OutputFolderOf(first.parentPath, first.parentName, layout);
        if (!MarkResultsFolder(folder, first.parentPath)) return cannotWrite(folder);
        return std::wstring();
    }
    // Nothing queued yet (auto-detection): the source folder must take a file.
    const std::wstring probe = files::TemporarySibling(PathJoin(layout.rootPath, L"probe"));
    if (!files::WriteAllAtomic(probe, "", 0)) return cannotWrite(layout.rootPath);
    files::Remove(probe);
    return std::wstring();
}

// ---- Writing -------------------------------------------------------------------

bool CRunOutputGuard::MakeOutputFolder(const std::wstring& folder) const {
    bool made;
    if (!sourceFolderLayout_) {
        made = CreateFolderPath(folder) != 0;
    } else {
        if (files::Exists(folder) && !IsResultsFolder(folder) && inputs_ && inputs_->IsInputFolder(folder)) return false;
        made = MarkResultsFolder(folder, PathFolder(folder));
    }
    if (made && sweep_) sweep_->Sweep(folder);
    return made;
}

bool CRunOutputGuard::MayReplace(const std::wstring& path) const {
    return !inputs_ || !inputs_->IsInputFile(path);
}
