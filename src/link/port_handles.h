// The serial handles this module opened and has not closed yet.
//
// Several device objects can hold one handle (the host copies it from one to
// the other with GetPortHandle/SetPortHandle), and each object closes its
// handle on ClosePort. The registry makes sure the module closes a handle at
// most once, and never closes a handle the host made up or that another module
// opened. It is a fixed table guarded by an SRW lock: objects may live on
// different host threads.
#pragma once

#include "os/os.h"

namespace vantor::port_handles {

inline constexpr int kCapacity = 256;

// Notes a handle the module has just opened. False when the table is full.
bool Register(os::Handle handle) noexcept;

// Takes a handle off the table. True when it was there, which makes the
// caller the one that must close it.
bool Release(os::Handle handle) noexcept;

// True while the handle is on the table.
bool IsRegistered(os::Handle handle) noexcept;

}  // namespace vantor::port_handles
