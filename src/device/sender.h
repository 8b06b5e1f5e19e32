// Sending a message: the AT+CMGS dialogue of both modes, the one retry rule,
// and the memory of the last message a send could not finish.
//
// State: the unfinished message (device/unfinished_send.h), changed only
// here: by a send that ends unfinished, by the host's retry that resumes or
// completes it, and by a late verdict read on the line. The line's owed
// answers are the link's (link/owed_answers.h). A text-mode send may ask the
// format keeper to put text mode back.
#pragma once

#include <cstdint>

#include "at/answer.h"
#include "device/delivery_reports.h"
#include "device/format_keeper.h"
#include "device/outgoing.h"
#include "device/unfinished_send.h"
#include "journal/recorder.h"
#include "journal/send_outcome.h"
#include "link/serial_port.h"

namespace vantor {

// What a send came to. kSendUnknown: a message went out (its Ctrl-Z was
// written) and no final result came within the send-result limit; it may
// have been delivered, so it is not sent again.
enum SendResult : int { kSendFailed = 0, kSendDone = 1, kSendUnknown = 2 };

// How long the final result of a message that went out is awaited, whatever
// the reply time-out: networks often take seconds to confirm.
inline constexpr std::uint32_t kSendResultLimitMs = 60000;

// The SendResult of an outcome.
inline int SendResultOf(const journal::SendOutcome& o) noexcept {
    return o.result == journal::SendOutcome::Result::kSent      ? kSendDone
           : o.result == journal::SendOutcome::Result::kUnknown ? kSendUnknown
                                                                : kSendFailed;
}

class Sender {
public:
    Sender(link::Line& line, journal::Recorder& journal, FormatKeeper& format,
           DeliveryReports& deliveries) noexcept
        : line_(line), journal_(journal), format_(format), deliveries_(deliveries) {}

    // The message in PDU mode, split into parts when it does not fit one;
    // each part gets up to `attemptsPerPart` attempts while it is refused.
    journal::SendOutcome SendPdu(const Outgoing& message, int attemptsPerPart) noexcept;
    // The message in text mode, with up to `attempts` attempts while it is
    // refused.
    journal::SendOutcome SendText(const Outgoing& message, int attempts) noexcept;

    // Applies a late verdict read on the line to the unfinished send it
    // belongs to, and journals it. True when it confirmed a part, whose
    // reference then goes to *reference, or without one to the parts that
    // wait for their status reports.
    bool TakeLateVerdict(int* reference = nullptr) noexcept;

    // The PDU text of part `k` of `message` under `reference` into `pdu`
    // (sms::kPduTextSize bytes); for k < 0 or a message of one part, the
    // whole body as one message, Makecode's PDU with Makecode's trace.
    static int EncodePdu(const Outgoing& message, int k, std::uint8_t reference, char* pdu,
                         std::int32_t* count) noexcept;

private:
    // What one AT+CMGS dialogue puts on the line: the command line with its
    // CR, and the message ended by its Ctrl-Z.
    struct Submission {
        const char* command;
        int commandLength;
        const char* message;
        int messageLength;
        std::uint32_t promptWindowMs;  // the least silence the prompt is awaited
    };
    // What one attempt came to: a SendResult, and for a refusal what the
    // modem said, or that the message could not be put to the modem at all.
    struct Attempt {
        int result = kSendFailed;
        at::Refusal refusal;
        bool unsendable = false;
        bool refusedAtPrompt = false;
        int reference = -1;  // the message reference of +CMGS: <mr>, once sent
    };

    // The one retry rule over parts [first, parts); `attempt(k)` makes one
    // attempt of part k. *confirmed counts the parts before the first that
    // was not.
    template <typename MakeAttempt>
    int SendParts(int first, int parts, int attempts, std::uint32_t pauseMs, MakeAttempt attempt,
                  int* confirmed, journal::SendOutcome& outcome) noexcept;
    // A message of `parts` parts: the host's retry of the unfinished one
    // goes on from its first part not confirmed, any other starts afresh;
    // what is not finished is remembered. `attempt(k, reference)` makes one
    // attempt of part k.
    template <typename MakeAttempt>
    journal::SendOutcome SendMessage(const Outgoing& message, int parts, int attempts,
                                     std::uint32_t pauseMs, MakeAttempt attempt) noexcept;
    Attempt Submit(const Submission& submission) noexcept;
    Attempt SubmitPdu(char* pdu, std::int32_t count) noexcept;
    Attempt SubmitText(const Outgoing& message) noexcept;
    // Leaves a message input the modem may still hold or give after an
    // attempt stopped waiting for it, and awaits the command's end.
    void LeaveInput(std::uint32_t windowMs) noexcept;

    link::Line& line_;
    journal::Recorder& journal_;
    DeliveryReports& deliveries_;
    FormatKeeper& format_;
    UnfinishedSend unfinished_;
};

}  // namespace vantor
