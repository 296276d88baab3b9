// The thread's last error and the slim lock.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

#include "platform/posix/win32_base.h"

namespace {
thread_local DWORD t_lastError = 0;

// The lock word is the low 32 bits of SRWLOCK::Ptr: 0 free, 1 held, 2 held with
// waiters (the classic three-state futex mutex).
using LockWord __attribute__((may_alias)) = std::uint32_t;

LockWord* Word(PSRWLOCK lock) {
    return reinterpret_cast<LockWord*>(&lock->Ptr);
}

bool CompareExchange(PSRWLOCK lock, std::uint32_t& expected, std::uint32_t desired) {
    return __atomic_compare_exchange_n(Word(lock), &expected, desired, false, __ATOMIC_ACQUIRE,
                                       __ATOMIC_RELAXED);
}

void FutexWait(PSRWLOCK lock, std::uint32_t expected) {
    syscall(SYS_futex, Word(lock), FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void FutexWakeOne(PSRWLOCK lock) {
    syscall(SYS_futex, Word(lock), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}
}  // namespace

HOSTLENS_WIN32_API DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

HOSTLENS_WIN32_API void WINAPI SetLastError(DWORD error) {
    t_lastError = error;
}

HOSTLENS_WIN32_API void WINAPI InitializeSRWLock(PSRWLOCK lock) {
    lock->Ptr = nullptr;
}

HOSTLENS_WIN32_API BOOLEAN WINAPI TryAcquireSRWLockExclusive(PSRWLOCK lock) {
    std::uint32_t expected = 0;
    return CompareExchange(lock, expected, 1) ? 1 : 0;
}

HOSTLENS_WIN32_API void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock) {
    std::uint32_t c = 0;
    if (CompareExchange(lock, c, 1)) return;
    if (c != 2) c = __atomic_exchange_n(Word(lock), 2u, __ATOMIC_ACQUIRE);
    while (c != 0) {
        FutexWait(lock, 2);
        c = __atomic_exchange_n(Word(lock), 2u, __ATOMIC_ACQUIRE);
    }
}

HOSTLENS_WIN32_API void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock) {
    if (__atomic_fetch_sub(Word(lock), 1u, __ATOMIC_RELEASE) != 1) {
        __atomic_store_n(Word(lock), 0u, __ATOMIC_RELEASE);
        FutexWakeOne(lock);
    }
}
