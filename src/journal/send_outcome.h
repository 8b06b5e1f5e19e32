// What one send came to, as the device's retry rule returns it: the parts
// confirmed and their message references, each refusal with what the modem
// said and whether it was tried again, whether the send resumed an earlier
// one. The journal writes it whole once the send is over (Recorder::Sent).
#pragma once

#include <cstdint>

#include "at/answer.h"
#include "os/os.h"

namespace vantor::journal {

struct SendOutcome {
    enum class Result { kNotSent, kSent, kUnknown };

    // An attempt that failed before its message went out.
    struct Refusal {
        int part = 1;              // from 1
        at::Refusal code;
        bool unsendable = false;   // refused before the modem heard of it
        bool atPrompt = false;     // the modem refused instead of its prompt
        bool triedAgain = false;   // another attempt followed
        os::SystemTime at{};       // local time of the refusal
    };
    // Refusals kept one by one; later ones are only counted. A send makes at
    // most ReSTime attempts per part within a minute; more than this many
    // refusals come only from a modem that refuses at once, every time.
    static constexpr int kMostRefusals = 16;
    // The most parts a message has.
    static constexpr int kMostParts = 8;

    Result result = Result::kNotSent;
    int parts = 1;
    // The first part this send tried or found confirmed (from 1; 0 when it
    // tried none): above 1 when it resumed an unfinished message.
    int firstPart = 0;
    // The message was confirmed late, after an earlier send of it had ended:
    // nothing was sent.
    bool alreadySent = false;
    // The references (+CMGS: <mr>, -1 when the modem named none) of the parts
    // confirmed in this send, in order.
    int references[kMostParts] = {};
    int confirmed = 0;
    Refusal refusals[kMostRefusals];
    int refusalCount = 0;
    int refusalsNotKept = 0;

    void Confirmed(int part, int reference) noexcept {
        if (firstPart == 0) firstPart = part;
        if (confirmed < kMostParts) references[confirmed++] = reference;
    }
    void Refused(int part, const at::Refusal& code, bool unsendable, bool atPrompt) noexcept {
        if (firstPart == 0) firstPart = part;
        if (refusalCount == kMostRefusals) {
            ++refusalsNotKept;
            return;
        }
        Refusal& r = refusals[refusalCount++];
        r = Refusal{part, code, unsendable, atPrompt, false, {}};
        os::GetLocalTime(&r.at);
    }
    // The last refusal is tried again.
    void TriedAgain() noexcept {
        if (refusalsNotKept == 0 && refusalCount > 0) refusals[refusalCount - 1].triedAgain = true;
    }
};

}  // namespace vantor::journal
