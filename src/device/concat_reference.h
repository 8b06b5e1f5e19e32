// The reference that ties the parts of a concatenated message together
// (3GPP TS 23.040 9.2.3.24.1). A phone joins parts by sender, reference and
// part count, so two messages to one number must not share a reference while
// their parts may be in flight. Every driver object in the module may send
// through the same modem, so the module keeps one counter for all of them.
#pragma once

#include <cstdint>

namespace vantor {

// The next reference: seeded once from the clock, so that it does not start
// at the same value every time the host starts, then advanced atomically.
std::uint8_t NextConcatReference() noexcept;

}  // namespace vantor
