// Holds an SRW lock for one scope. An SRW lock cannot fail, so no path that
// takes one can throw or end the host's process.
#pragma once

#include "os/os.h"

namespace os {

class LockGuard {
public:
    explicit LockGuard(SrwLock& lock) noexcept : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~LockGuard() { ReleaseSRWLockExclusive(&lock_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    SrwLock& lock_;
};

}  // namespace os
