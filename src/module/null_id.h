// Class and interface ids arrive as REFCLSID/REFIID: C++ references, but
// plain pointers at the binary interface, and a host written by hand (or in C)
// can pass a null one. Comparing through it would fault inside the host's
// process, so every entry point asks IsNullId first.
#pragma once

#include <windows.h>

namespace vantor::module {

inline bool IsNullId(const GUID& id) noexcept {
    const GUID* address = &id;
    // A reference is never null as far as the compiler knows, and it would
    // fold the test away; the empty asm makes the address opaque to it.
    asm("" : "+r"(address));
    return address == nullptr;
}

}  // namespace vantor::module
