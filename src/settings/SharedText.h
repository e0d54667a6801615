// A text setting that one thread writes and others may read: every read
// takes a copy under a lock. Texts longer than the capacity are cut, as an
// edit control with that limit would cut them.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

template <std::size_t Capacity>
class SharedText {
public:
    SharedText() = default;
    SharedText(const SharedText& other) : text_(other.get()) {}
    SharedText& operator=(const SharedText& other) {
        if (this != &other) set(other.get());
        return *this;
    }
    SharedText& operator=(const std::wstring& text) {
        set(text);
        return *this;
    }

    std::wstring get() const {
        std::lock_guard lock(mutex_);
        return text_;
    }
    void set(std::wstring text) {
        if (text.size() > Capacity) text.resize(Capacity);
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
    }
    operator std::wstring() const { return get(); }  // NOLINT: implicit on purpose
    bool empty() const {
        std::lock_guard lock(mutex_);
        return text_.empty();
    }

    static constexpr std::size_t capacity() { return Capacity; }

private:
    mutable std::mutex mutex_;
    std::wstring text_;
};
