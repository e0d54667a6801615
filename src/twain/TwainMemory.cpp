#include "twain/TwainMemory.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct Block {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    unsigned locks = 0;
};

struct Table {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, Block> blocks;
    // Handles count up from here in steps of 16 and are never reused, so a
    // stale handle stays unknown.
    std::uintptr_t next = 0x7A000010;
};

Table& table() {
    static Table* t = new Table;  // lives until the process ends: sources may free at exit
    return *t;
}

std::uintptr_t key(TW_HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

TW_HANDLE TwainMemAllocate(TW_UINT32 size) {
    if (size == 0) return nullptr;
    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[size]());
    if (!data) return nullptr;
    Table& t = table();
    std::lock_guard guard(t.lock);
    const std::uintptr_t id = t.next;
    t.next += 16;
    t.blocks.emplace(id, Block{std::move(data), size, 0});
    return reinterpret_cast<TW_HANDLE>(id);
}

bool TwainMemFree(TW_HANDLE handle) {
    if (!handle) return false;
    std::unique_ptr<std::uint8_t[]> data;
    {
        Table& t = table();
        std::lock_guard guard(t.lock);
        auto it = t.blocks.find(key(handle));
        if (it == t.blocks.end()) return false;
        data = std::move(it->second.data);
        t.blocks.erase(it);
    }
    return true;
}

TW_MEMREF TwainMemLock(TW_HANDLE handle) {
    if (!handle) return nullptr;
    Table& t = table();
    std::lock_guard guard(t.lock);
    auto it = t.blocks.find(key(handle));
    if (it == t.blocks.end()) return nullptr;
    ++it->second.locks;
    return it->second.data.get();
}

bool TwainMemUnlock(TW_HANDLE handle) {
    if (!handle) return false;
    Table& t = table();
    std::lock_guard guard(t.lock);
    auto it = t.blocks.find(key(handle));
    if (it == t.blocks.end()) return false;
    if (it->second.locks > 0) --it->second.locks;
    return true;
}

std::size_t TwainMemSize(TW_HANDLE handle) {
    if (!handle) return 0;
    Table& t = table();
    std::lock_guard guard(t.lock);
    auto it = t.blocks.find(key(handle));
    return it == t.blocks.end() ? 0 : it->second.size;
}

bool TwainMemRead(TW_HANDLE handle, std::size_t offset, void* out, std::size_t size) {
    if (!handle || !out) return false;
    Table& t = table();
    std::lock_guard guard(t.lock);
    auto it = t.blocks.find(key(handle));
    if (it == t.blocks.end()) return false;
    const std::size_t have = it->second.size;
    if (offset > have || size > have - offset) return false;
    if (size > 0) std::memcpy(out, it->second.data.get() + offset, size);
    return true;
}

std::size_t TwainMemLiveCount() {
    Table& t = table();
    std::lock_guard guard(t.lock);
    return t.blocks.size();
}
