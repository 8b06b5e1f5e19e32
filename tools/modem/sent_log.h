// What the modem model accepted with AT+CMGS: every message as it went out,
// and the parts of a concatenated message (TS 23.040 9.2.3.24.1) joined into
// one message once all of them have come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "modem/sms_pdu.h"

namespace modem {

// One message the model was asked to send.
struct SentMessage {
    bool text_mode = false;
    std::string number;            // as addressed; '+' in front of an international one
    int type_of_address = 129;     // 129, 145, ...
    Coding coding = Coding::kGsm7;
    std::string text;              // body as UTF-8 (8-bit data: hex digits)
    std::string pdu;               // PDU mode: the hex digits as received; a message
                                   // joined from parts: their PDUs in order, comma-separated
    int reference = 0;             // the <mr> of the +CMGS answer (of the last part)
    bool report_requested = false; // TP-SRR set (PDU mode), or AT+CSMP <fo> with it (text mode)
    std::uint64_t at_ms = 0;       // when the Ctrl-Z arrived (of the last part)
    int parts = 1;                 // how many parts were joined into this message
    int concat_reference = -1;     // the parts' reference (TS 23.040 9.2.3.24.1), -1 if single
    int sequence = 0;              // Parts() only: the part's place, 1 .. parts
};

class SentLog {
public:
    // How long a part waits for the rest of its message.
    static constexpr std::uint64_t kPartsKeptMs = 24ull * 3600 * 1000;

    // Files an accepted message: a single one (or any text-mode one, `pdu`
    // null) straight into Messages(); a part of a concatenated message into
    // Parts(), and into Messages() joined with the others once the last of
    // its parts has come (parts older than kPartsKeptMs are not joined).
    void Record(SentMessage sent, const Pdu* pdu);

    // Whole messages, in the order they were completed.
    const std::vector<SentMessage>& Messages() const { return messages_; }
    // Every part of a concatenated message, as it came (a part sent twice
    // shows twice).
    const std::vector<SentMessage>& Parts() const { return parts_; }
    // How many messages and parts were accepted so far: grows with every
    // accepted message, whether or not it completes one.
    std::size_t Accepted() const { return messages_.size() + parts_.size(); }

private:
    // A part waiting for the rest of its message, with its decoded PDU.
    struct PendingPart {
        SentMessage sent;
        Pdu pdu;
    };
    std::vector<SentMessage> messages_;
    std::vector<SentMessage> parts_;
    // Parts by (number, reference, total), each by sequence number.
    std::map<std::tuple<std::string, int, int>, std::map<int, PendingPart>> partial_;
};

}  // namespace modem
