#include "device/concat_reference.h"

#include <atomic>

#include "os/os.h"

namespace vantor {
namespace {

std::uint32_t Seed() noexcept {
    const os::FileTime now = os::CoFileTimeNow();
    return now.dwLowDateTime ^ (now.dwLowDateTime >> 16) ^ os::GetTickCount();
}

}  // namespace

std::uint8_t NextConcatReference() noexcept {
    // Initialised once, by the first caller, whatever the thread.
    static std::atomic<std::uint32_t> next{Seed()};
    return static_cast<std::uint8_t>(next.fetch_add(1, std::memory_order_relaxed));
}

}  // namespace vantor
