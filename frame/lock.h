// A plain, non-recursive mutex that can be a static of the DLL (constant-initialised,
// nothing to destroy), and its scoped owner.
#pragma once

#include "platform/win32.h"

namespace hostlens {

class Mutex {
public:
    constexpr Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void Lock() { AcquireSRWLockExclusive(&lock_); }
    void Unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class ScopedLock {
public:
    explicit ScopedLock(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~ScopedLock() { mutex_.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Mutex& mutex_;
};

}  // namespace hostlens
