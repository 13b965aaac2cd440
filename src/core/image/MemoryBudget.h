// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>

// The image memory budget shared by the runs of one process. A run reserves what its headers say
// it will hold before it decodes a pixel, and gives it back when it ends; runs side by side
// therefore never hold more than the budget together. A reservation that does not fit beside
// the others waits for them; one larger than the whole budget waits until nothing else is
// reserved and then holds all of it: it runs alone, as close to the budget as it can come.
class MemoryBudget {
public:
    explicit MemoryBudget(unsigned long long total) : total_(total) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // Blocks until bytes fit beside what is reserved (bytes above the total: until nothing is)
    // and returns what was reserved, at most the total; Release gives exactly that back.
    unsigned long long Acquire(unsigned long long bytes);
    // As Acquire, but without waiting: empty when the bytes do not fit now.
    std::optional<unsigned long long> TryAcquire(unsigned long long bytes);
    void Release(unsigned long long bytes);

    unsigned long long Total() const { return total_; }
    unsigned long long InUse() const;
    // The most ever reserved at once.
    unsigned long long Peak() const;

private:
    const unsigned long long total_;
    mutable std::mutex lock_;
    std::condition_variable freed_;
    unsigned long long inUse_ = 0;
    unsigned long long peak_ = 0;
};
