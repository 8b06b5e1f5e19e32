// An owned handle: closed when its owner goes out of scope, unless it was
// handed on first. The invalid value stands for "nothing owned".
#pragma once

#include "os/os.h"

namespace vantor::link {

class UniqueHandle {
public:
    explicit UniqueHandle(os::Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() {
        if (handle_ != os::kInvalidHandle) os::CloseHandle(handle_);
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    os::Handle Get() const noexcept { return handle_; }
    bool Valid() const noexcept { return handle_ != os::kInvalidHandle; }

    // Hands the handle on; this owner closes nothing any more.
    os::Handle Release() noexcept {
        const os::Handle handle = handle_;
        handle_ = os::kInvalidHandle;
        return handle;
    }

private:
    os::Handle handle_;
};

}  // namespace vantor::link
