#include "link/port_handles.h"

namespace vantor::port_handles {
namespace {

struct Registry {
    os::SrwLock lock;
    os::Handle handles[kCapacity];
    int count = 0;
};

// Holds the table's lock for one scope. An SRW lock cannot fail, so no path
// here can throw or end the host's process.
class Guard {
public:
    explicit Guard(os::SrwLock& lock) noexcept : lock_(lock) { os::AcquireSRWLockExclusive(&lock_); }
    ~Guard() { os::ReleaseSRWLockExclusive(&lock_); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    os::SrwLock& lock_;
};

Registry& Table() noexcept {
    static Registry registry;
    return registry;
}

int IndexOf(const Registry& r, os::Handle handle) noexcept {
    for (int i = 0; i < r.count; ++i)
        if (r.handles[i] == handle) return i;
    return -1;
}

}  // namespace

bool Register(os::Handle handle) noexcept {
    if (handle == os::kInvalidHandle) return false;
    Registry& r = Table();
    Guard guard(r.lock);
    // The system hands a value out again only after it was closed; a value
    // still on the table (left by a closed handle the table never saw go)
    // stands for the new handle.
    if (IndexOf(r, handle) >= 0) return true;
    if (r.count == kCapacity) return false;
    r.handles[r.count++] = handle;
    return true;
}

bool Release(os::Handle handle) noexcept {
    Registry& r = Table();
    Guard guard(r.lock);
    const int i = IndexOf(r, handle);
    if (i < 0) return false;
    r.handles[i] = r.handles[--r.count];
    return true;
}

bool IsRegistered(os::Handle handle) noexcept {
    Registry& r = Table();
    Guard guard(r.lock);
    return IndexOf(r, handle) >= 0;
}

}  // namespace vantor::port_handles
