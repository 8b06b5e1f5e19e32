#include "link/port_handles.h"

#include <mutex>

namespace vantor::port_handles {
namespace {

struct Registry {
    std::mutex lock;
    os::Handle handles[kCapacity];
    int count = 0;
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
    std::lock_guard<std::mutex> guard(r.lock);
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
    std::lock_guard<std::mutex> guard(r.lock);
    const int i = IndexOf(r, handle);
    if (i < 0) return false;
    r.handles[i] = r.handles[--r.count];
    return true;
}

bool IsRegistered(os::Handle handle) noexcept {
    Registry& r = Table();
    std::lock_guard<std::mutex> guard(r.lock);
    return IndexOf(r, handle) >= 0;
}

}  // namespace vantor::port_handles
