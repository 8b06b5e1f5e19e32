// The module's memory of the messages already journaled: a message is journaled once, the first
// time a listing shows it, however often it is listed again (an unread
// listing that a failed deletion repeats, the read listing after the unread
// one).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sms/received.h"

namespace vantor::journal {

// What identifies a message: its port, storage index, time stamp, sender,
// place and text, so that the same message listed in PDU or text mode is
// the same message.
std::uint64_t MessageKey(const char* port, const sms::Received& message) noexcept;

// True the first time the module sees `key`. The module remembers the last
// kRemembered keys, far more than a SIM holds.
inline constexpr int kRemembered = 1024;
bool FirstSight(std::uint64_t key) noexcept;
void ForgetSeenMessages() noexcept;

}  // namespace vantor::journal
