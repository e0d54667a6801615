// The manual window's operation history: "原图" first, then up to nine
// operations, each holding the picture after it. The history owns its
// records and their pictures; clearing it frees them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "processing/ManualOperation.h"

class ManualHistory {
public:
    static constexpr std::size_t kMaxEntries = 10;

    // Frees every entry; the current index becomes -1.
    void Clear();
    // Makes room for one more entry: drops the entries after the current one
    // (the redo tail), then the oldest entries after the first until one
    // more fits.
    void MakeRoom();
    // Appends `entry`, which becomes the current one.
    void Append(std::unique_ptr<ManualOperation> entry);

    std::size_t Size() const { return entries_.size(); }
    int Current() const { return current_; }
    void SetCurrent(int index) { current_ = index; }
    const ManualOperation* At(int index) const;
    const ManualOperation* CurrentEntry() const { return At(current_); }

    // One line per entry: "%d. %s", the current one "%d. %s(当前项)".
    std::wstring Text(int index) const;
    std::vector<std::wstring> Texts() const;
    // Bytes held by the pictures of every entry.
    std::size_t SnapshotBytes() const;

private:
    std::vector<std::unique_ptr<ManualOperation>> entries_;
    int current_ = -1;
};
