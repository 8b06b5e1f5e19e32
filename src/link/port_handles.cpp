#include "link/port_handles.h"

#include <cstring>

#include "os/lock_guard.h"

namespace vantor::port_handles {
namespace {

struct Entry {
    os::Handle handle;
    std::uint32_t generation;
    char name[kNameSize];
};

struct Registry {
    os::SrwLock lock;
    Entry entries[kCapacity];
    int count = 0;
    std::uint32_t lastGeneration = 0;
};

Registry& Table() noexcept {
    static Registry registry;
    return registry;
}

int IndexOf(const Registry& r, os::Handle handle) noexcept {
    for (int i = 0; i < r.count; ++i)
        if (r.entries[i].handle == handle) return i;
    return -1;
}

}  // namespace

std::uint32_t Register(os::Handle handle, const char* name) noexcept {
    if (handle == os::kInvalidHandle) return 0;
    Registry& r = Table();
    os::LockGuard guard(r.lock);
    if (++r.lastGeneration == 0) ++r.lastGeneration;  // 0 means "not ours"
    // The system hands a value out again only after it was closed; a value
    // still on the table (left by a closed handle the table never saw go)
    // now stands for the new opening.
    int i = IndexOf(r, handle);
    if (i < 0) {
        if (r.count == kCapacity) return 0;
        i = r.count++;
    }
    r.entries[i] = Entry{handle, r.lastGeneration, {}};
    if (name != nullptr) {
        std::strncpy(r.entries[i].name, name, kNameSize - 1);
        r.entries[i].name[kNameSize - 1] = '\0';
    }
    return r.lastGeneration;
}

bool NameOf(os::Handle handle, char* name) noexcept {
    Registry& r = Table();
    os::LockGuard guard(r.lock);
    const int i = IndexOf(r, handle);
    if (i < 0) return false;
    std::memcpy(name, r.entries[i].name, kNameSize);
    return true;
}

bool FindOpening(const char* name, os::Handle* handle, std::uint32_t* generation) noexcept {
    if (name == nullptr || name[0] == '\0') return false;
    Registry& r = Table();
    os::LockGuard guard(r.lock);
    for (int i = 0; i < r.count; ++i) {
        if (std::strncmp(r.entries[i].name, name, kNameSize) != 0) continue;
        *handle = r.entries[i].handle;
        *generation = r.entries[i].generation;
        return true;
    }
    return false;
}

std::uint32_t GenerationOf(os::Handle handle) noexcept {
    Registry& r = Table();
    os::LockGuard guard(r.lock);
    const int i = IndexOf(r, handle);
    return i < 0 ? 0 : r.entries[i].generation;
}

bool Release(os::Handle handle, std::uint32_t generation) noexcept {
    Registry& r = Table();
    os::LockGuard guard(r.lock);
    const int i = IndexOf(r, handle);
    if (i < 0 || generation == 0 || r.entries[i].generation != generation) return false;
    r.entries[i] = r.entries[--r.count];
    return true;
}

bool IsRegistered(os::Handle handle) noexcept {
    Registry& r = Table();
    os::LockGuard guard(r.lock);
    return IndexOf(r, handle) >= 0;
}

}  // namespace vantor::port_handles
