// A value shared between the user-interface thread, which writes it, and the
// worker threads, which read it while they process. Every load and store is a
// single relaxed atomic access: a reader sees the latest value written
// without a data race, and no ordering with other values is implied (none is
// needed: each setting is read on its own, when the step that uses it runs).
#pragma once

#include <atomic>

template <typename T>
class RelaxedAtomic {
public:
    static_assert(std::atomic<T>::is_always_lock_free, "settings must be lock-free words");

    constexpr RelaxedAtomic() noexcept : value_(T{}) {}
    constexpr RelaxedAtomic(T v) noexcept : value_(v) {}  // NOLINT: implicit on purpose
    RelaxedAtomic(const RelaxedAtomic& other) noexcept : value_(other.load()) {}
    RelaxedAtomic& operator=(const RelaxedAtomic& other) noexcept {
        store(other.load());
        return *this;
    }
    RelaxedAtomic& operator=(T v) noexcept {
        store(v);
        return *this;
    }

    T load() const noexcept { return value_.load(std::memory_order_relaxed); }
    void store(T v) noexcept { value_.store(v, std::memory_order_relaxed); }
    operator T() const noexcept { return load(); }  // NOLINT: implicit on purpose

private:
    std::atomic<T> value_;
};
