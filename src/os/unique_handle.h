// Owned handles: closed when their owner goes out of scope, unless handed on
// first. The invalid value (0 for a registry key) stands for "nothing
// owned". One template for every
// kind of handle the seam hands out, each with the call that closes it.
#pragma once

#include "os/os.h"

namespace os {

template <auto Close, Handle kNothing = kInvalidHandle>
class Owned {
public:
    explicit Owned(Handle handle = kNothing) noexcept : handle_(handle) {}
    ~Owned() { Reset(kNothing); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const noexcept { return handle_; }
    bool Valid() const noexcept { return handle_ != kNothing; }
    // Where a call that opens one puts it.
    Handle* Put() noexcept {
        Reset(kNothing);
        return &handle_;
    }

    // Closes what is owned and owns `handle` instead.
    void Reset(Handle handle) noexcept {
        if (handle_ != kNothing) Close(handle_);
        handle_ = handle;
    }
    // Hands the handle on; this owner closes nothing any more.
    Handle Release() noexcept {
        const Handle handle = handle_;
        handle_ = kNothing;
        return handle;
    }

private:
    Handle handle_;
};

using UniqueHandle = Owned<CloseHandle>;  // files, ports
using UniqueFind = Owned<FindClose>;      // FindFirstFileA searches
using UniqueKey = Owned<RegCloseKey, 0>;  // registry keys

}  // namespace os
