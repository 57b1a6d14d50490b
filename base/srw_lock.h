#pragma once
// A slim reader/writer lock usable with std::lock_guard, and constant-initialized (unlike
// std::mutex on this runtime): a global that the crash reporter's start-up uses from a
// static initializer must not be constructed again after it. Not recursive.

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

private:
    SRWLOCK FLock = SRWLOCK_INIT;
};

} // namespace base
