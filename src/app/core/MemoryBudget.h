// The memory a batch run may take for the files in progress. Each worker
// asks for its file's estimated peak (processing/processor/PageMemory.h) before the
// file is read; a file is admitted only when its estimate fits into what is
// left, in the order the workers asked (a large file is not overtaken for
// ever by small ones), and a file whose estimate exceeds the whole budget is
// refused at once. What an admitted file holds is given back when its
// processor is gone.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class CMemoryBudget {
public:
    // The default budget: three quarters of the machine's memory (or of the
    // memory limit the process runs under, when that is smaller).
    static std::uint64_t DefaultBytes();

    explicit CMemoryBudget(std::uint64_t total = DefaultBytes()) : total_(total) {}

    void SetTotal(std::uint64_t total);
    std::uint64_t Total() const;
    std::uint64_t InUse() const;
    // Requests in line (admitted ones not counted).
    std::uint64_t Waiting() const;

    enum class Admission { kAdmitted, kTooBig, kCancelled };
    // Waits until `bytes` fit. kTooBig at once when they never can;
    // kCancelled when Cancel is called while waiting (or was called before).
    Admission Acquire(std::uint64_t bytes);
    void Release(std::uint64_t bytes);
    // Waiting and later requests give up (the program closes); Reset allows
    // requests again.
    void Cancel();
    void Reset();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t total_;
    std::uint64_t inUse_ = 0;
    std::uint64_t nextTicket_ = 0;  // requests are served in ticket order
    std::uint64_t serving_ = 0;
    bool cancelled_ = false;
};

// What one admitted file holds; given back when the ticket goes.
class BudgetTicket {
public:
    BudgetTicket() = default;
    BudgetTicket(CMemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) {}
    ~BudgetTicket() { Release(); }
    BudgetTicket(BudgetTicket&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) {
        other.budget_ = nullptr;
    }
    BudgetTicket& operator=(BudgetTicket&& other) noexcept {
        if (this != &other) {
            Release();
            budget_ = other.budget_;
            bytes_ = other.bytes_;
            other.budget_ = nullptr;
        }
        return *this;
    }
    BudgetTicket(const BudgetTicket&) = delete;
    BudgetTicket& operator=(const BudgetTicket&) = delete;
    void Release() {
        if (budget_) budget_->Release(bytes_);
        budget_ = nullptr;
    }

private:
    CMemoryBudget* budget_ = nullptr;
    std::uint64_t bytes_ = 0;
};
