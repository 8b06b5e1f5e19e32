// Ref<T>: owns one COM reference and releases it when it goes. Shared by the
// host emulator and the Win32 tests, the two programs that hold the module's
// objects the way a host does.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace vantor::com {

// Owns one COM reference.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* raw) : raw_(raw) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            Reset();
            raw_ = std::exchange(other.raw_, nullptr);
        }
        return *this;
    }
    ~Ref() { Reset(); }

    void Reset() {
        if (raw_ != nullptr) std::exchange(raw_, nullptr)->Release();
    }
    T* Get() const { return raw_; }
    // Gives up ownership without releasing.
    T* Detach() { return std::exchange(raw_, nullptr); }
    T* operator->() const { return raw_; }
    explicit operator bool() const { return raw_ != nullptr; }
    // For out-parameters: drops what is held and hands out the slot.
    void** Out() {
        Reset();
        return reinterpret_cast<void**>(&raw_);
    }

    // QueryInterface into another holder.
    template <class U>
    HRESULT As(REFIID iid, Ref<U>* out) const {
        return raw_->QueryInterface(iid, out->Out());
    }

private:
    T* raw_ = nullptr;
};

}  // namespace vantor::com
