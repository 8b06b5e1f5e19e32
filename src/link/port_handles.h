// The serial handles this module opened and has not closed yet.
//
// Several device objects can hold one handle (the host copies it from one to
// the other with GetPortHandle/SetPortHandle), and each object closes its
// handle on ClosePort. The registry makes sure the module closes a handle at
// most once, and never closes a handle the host made up or that another module
// opened. It is a fixed table guarded by an SRW lock: objects may live on
// different host threads.
//
// Windows hands a closed handle's value straight out again, so a value alone
// does not say which opening it stands for: each opening gets a generation
// number, and a holder closes only the opening it holds. A borrower that
// still holds the value of a handle the owner has closed and opened anew
// (the same value, a newer generation) never closes the owner's new handle.
#pragma once

#include <cstdint>

#include "os/os.h"

namespace vantor::port_handles {

inline constexpr int kCapacity = 256;

// The longest port name an opening is noted with ("COM12", the host's field
// of 32 bytes without its terminator).
inline constexpr int kNameSize = 32;

// Notes a handle the module has just opened for the port `name` and returns
// the generation of this opening; 0 when the table is full.
std::uint32_t Register(os::Handle handle, const char* name) noexcept;

// The name the opening of a registered value was noted with, copied into
// `name` (kNameSize bytes); false for a value the module did not open.
bool NameOf(os::Handle handle, char* name) noexcept;

// The current opening of the port `name`: its handle and generation, or false
// when the module holds no opening of that port.
bool FindOpening(const char* name, os::Handle* handle, std::uint32_t* generation) noexcept;

// The generation of the opening a registered value stands for now, or 0 for a
// value the module did not open (or has closed).
std::uint32_t GenerationOf(os::Handle handle) noexcept;

// Takes a handle off the table when it is there with `generation`. True then,
// which makes the caller the one that must close it.
bool Release(os::Handle handle, std::uint32_t generation) noexcept;

// True while the handle is on the table.
bool IsRegistered(os::Handle handle) noexcept;

}  // namespace vantor::port_handles
