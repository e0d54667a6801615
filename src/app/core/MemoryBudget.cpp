#include "app/core/MemoryBudget.h"

#include "platform/core/System.h"

std::uint64_t CMemoryBudget::DefaultBytes() { return GetPhysicalMemoryBytes() / 4 * 3; }

void CMemoryBudget::SetTotal(std::uint64_t total) {
    {
        std::lock_guard lock(mutex_);
        total_ = total;
    }
    changed_.notify_all();
}

std::uint64_t CMemoryBudget::Total() const {
    std::lock_guard lock(mutex_);
    return total_;
}

std::uint64_t CMemoryBudget::InUse() const {
    std::lock_guard lock(mutex_);
    return inUse_;
}

std::uint64_t CMemoryBudget::Waiting() const {
    std::lock_guard lock(mutex_);
    return nextTicket_ - serving_;
}

CMemoryBudget::Admission CMemoryBudget::Acquire(std::uint64_t bytes) {
    std::unique_lock lock(mutex_);
    if (cancelled_) return Admission::kCancelled;
    if (bytes > total_) return Admission::kTooBig;
    const std::uint64_t ticket = nextTicket_++;
    changed_.wait(lock, [&] { return cancelled_ || (serving_ == ticket && inUse_ + bytes <= total_); });
    if (cancelled_) return Admission::kCancelled;
    inUse_ += bytes;
    ++serving_;
    lock.unlock();
    changed_.notify_all();  // the next in line may fit too
    return Admission::kAdmitted;
}

void CMemoryBudget::Release(std::uint64_t bytes) {
    {
        std::lock_guard lock(mutex_);
        inUse_ = bytes > inUse_ ? 0 : inUse_ - bytes;
    }
    changed_.notify_all();
}

void CMemoryBudget::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
}

void CMemoryBudget::Reset() {
    std::lock_guard lock(mutex_);
    cancelled_ = false;
    serving_ = nextTicket_;  // requests given up by a cancel leave no gap
}
