// A message as a listing shows it (the header and body texts of its store
// slots), read back into the journal's fields, and the module's memory of
// the messages already journaled: a message is journaled once, the first
// time a listing shows it, however often it is listed again (an unread
// listing that a failed deletion repeats, the read listing after the unread
// one).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor::journal {

// The fields of a listing header. PDU mode:
//   <3>26年12月09日09:05:42来自:8613912345678的消息(1/2)
// text mode:
//   <3> 26/12/09,09:05:42 Message From +8613912345678
// A header without a sender (a non-text message shows a notice after its
// index) gives the notice as `notice`.
struct ListedHeader {
    int index = -1;
    const char* sender = nullptr;
    std::size_t senderLength = 0;
    char stamp[20] = {};  // "2026-12-09 09:05:42" from the service centre's time stamp
    char part[12] = {};   // "1/2" for a part of a long message
    const char* notice = nullptr;
};

// False when `header` is no listing header (no "<index>").
bool ParseListedHeader(const char* header, ListedHeader* out) noexcept;

// What identifies a message: its port, storage index, time stamp, sender,
// part and text. The digits of the header stand for the first four, so the
// same message listed in PDU or text mode is the same message.
std::uint64_t MessageKey(const char* port, const char* header, const char* body) noexcept;

// True the first time the module sees `key`. The module remembers the last
// kRemembered keys, far more than a SIM holds.
inline constexpr int kRemembered = 1024;
bool FirstSight(std::uint64_t key) noexcept;
void ForgetSeenMessages() noexcept;

}  // namespace vantor::journal
