// The last message a SEND could not finish: the host's retry (the next SEND
// of the same number and text within minutes) goes on with it instead of
// starting again, so that no part the modem confirmed, even late, reaches
// the phone twice. Only a retry before any other send resumes a long
// message; a message whose last part was confirmed late is not sent again
// by a retry after other sends either.
#pragma once

#include <cstdint>
#include <cstring>

#include "host/records.h"
#include "os/os.h"
#include "sms/pdu_encode.h"

namespace vantor {

// How long a message that could not be finished waits for the host's retry.
// Later, the same number and text are a new alarm, and a long message is
// sent whole under a new reference: a phone does not keep the parts of an
// unfinished message for long.
inline constexpr std::uint32_t kHostRetryWindowMs = 10 * 60 * 1000;

// Its number and body as texts (what lies in the registers' bytes after a
// text's end plays no part, nor where the body is split between MsgSend0
// and MsgSend1: the same texts give the same parts), its coding, its
// reference, how many of its parts the modem confirmed, and whether the
// next part went out with its verdict still owed. Another message sent
// since makes it no longer resumable, but a verdict owed on it is still
// read, and once that confirms its last part, the same message is not sent
// again within the window.
struct UnfinishedSend {
    bool resumable = false;
    int parts = 0;
    int confirmed = 0;
    bool unknown = false;      // part `confirmed` went out and no verdict came yet
    std::uint8_t reference = 0;
    std::uint8_t codeMod = 0;
    std::uint32_t since = 0;   // tick count when the send that left it ended
    char tele[kTeleSize] = {};
    char body[sms::kBodySize] = {};

    // The host's retry of this message, resumable or not.
    bool Is(const char* number, const char* text, std::uint8_t coding, int partCount) const noexcept {
        return parts != 0 && parts == partCount && codeMod == coding &&
               static_cast<std::uint32_t>(os::GetTickCount() - since) < kHostRetryWindowMs &&
               std::strncmp(tele, number, sizeof tele) == 0 &&
               std::strncmp(body, text, sizeof body) == 0;
    }
    void Remember(const char* number, const char* text, std::uint8_t coding, int partCount,
                  std::uint8_t ref, int done, bool verdictOwed) noexcept {
        resumable = true;
        parts = partCount;
        confirmed = done;
        unknown = verdictOwed;
        reference = ref;
        codeMod = coding;
        since = os::GetTickCount();
        std::memset(tele, 0, sizeof tele);
        std::memcpy(tele, number, strnlen(number, sizeof tele - 1));
        std::memset(body, 0, sizeof body);
        std::memcpy(body, text, strnlen(text, sizeof body - 1));
    }
};

}  // namespace vantor
