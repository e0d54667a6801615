#include "manual/ManualHistory.h"

void ManualHistory::Clear() {
    entries_.clear();
    current_ = -1;
}

void ManualHistory::MakeRoom() {
    while (static_cast<int>(entries_.size()) > current_ + 1 && !entries_.empty()) entries_.pop_back();
    while (entries_.size() > kMaxEntries - 1 && entries_.size() > 1) entries_.erase(entries_.begin() + 1);
}

void ManualHistory::Append(std::unique_ptr<ManualOperation> entry) {
    if (!entry) return;
    entries_.push_back(std::move(entry));
    current_ = static_cast<int>(entries_.size()) - 1;
}

const ManualOperation* ManualHistory::At(int index) const {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return nullptr;
    return entries_[static_cast<std::size_t>(index)].get();
}

std::wstring ManualHistory::Text(int index) const {
    const ManualOperation* entry = At(index);
    if (!entry) return {};
    std::wstring text = std::to_wstring(index + 1) + L". " + entry->name;
    if (index == current_) text += L"(当前项)";
    return text;
}

std::vector<std::wstring> ManualHistory::Texts() const {
    std::vector<std::wstring> texts;
    for (int i = 0; i < static_cast<int>(entries_.size()); ++i) texts.push_back(Text(i));
    return texts;
}

std::size_t ManualHistory::SnapshotBytes() const {
    std::size_t bytes = 0;
    for (const auto& entry : entries_) bytes += entry->snapshot.Bytes();
    return bytes;
}
