#pragma once
// A slim reader/writer lock usable with std::lock_guard and std::shared_lock, and constant-initialized
// (unlike std::mutex on this runtime): a global that the crash reporter's start-up uses from a static
// initializer must not be constructed again after it. Not recursive.

#include <windows.h>

namespace base {

class SrwLock
{
public:
    constexpr SrwLock() noexcept = default;
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;

    void lock() noexcept { ::AcquireSRWLockExclusive(&FLock); }
    bool try_lock() noexcept { return ::TryAcquireSRWLockExclusive(&FLock) != 0; }
    void unlock() noexcept { ::ReleaseSRWLockExclusive(&FLock); }
    // For std::shared_lock: readers share it.
    void lock_shared() noexcept { ::AcquireSRWLockShared(&FLock); }
    void unlock_shared() noexcept { ::ReleaseSRWLockShared(&FLock); }

private:
    SRWLOCK FLock = SRWLOCK_INIT;
};

} // namespace base
