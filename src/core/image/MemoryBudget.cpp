// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/MemoryBudget.h"

#include <algorithm>

unsigned long long MemoryBudget::Acquire(unsigned long long bytes)
{
    bytes = std::min(bytes, total_);
    std::unique_lock lock(lock_);
    freed_.wait(lock, [&] { return inUse_ + bytes <= total_; });
    inUse_ += bytes;
    peak_ = std::max(peak_, inUse_);
    return bytes;
}

std::optional<unsigned long long> MemoryBudget::TryAcquire(unsigned long long bytes)
{
    bytes = std::min(bytes, total_);
    std::lock_guard guard(lock_);
    if (inUse_ + bytes > total_) return std::nullopt;
    inUse_ += bytes;
    peak_ = std::max(peak_, inUse_);
    return bytes;
}

void MemoryBudget::Release(unsigned long long bytes)
{
    {
        std::lock_guard guard(lock_);
        inUse_ -= std::min(inUse_, bytes);
    }
    freed_.notify_all();
}

unsigned long long MemoryBudget::InUse() const
{
    std::lock_guard guard(lock_);
    return inUse_;
}

unsigned long long MemoryBudget::Peak() const
{
    std::lock_guard guard(lock_);
    return peak_;
}
