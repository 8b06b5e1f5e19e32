// PDUs built from their fields for what arrives at the modem model from the
// network: SMS-DELIVER (3GPP TS 23.040 9.2.2.1) with GSM 7-bit text and the
// extension table (TS 23.038 6.2.1) or UCS-2, alone or as one part of a
// concatenated message (TS 23.040 9.2.3.24.1); and SMS-STATUS-REPORT
// (TS 23.040 9.2.2.3) on a message the modem sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem/sms_pdu.h"

namespace modem {

// Septets of the GSM default alphabet for `text`, an extension character as
// the escape and its code; false when a character has no code.
bool UnicodeToGsm(std::u32string_view text, std::vector<std::uint8_t>* septets);

// What one part of a concatenated message carries, or one message of its own.
inline constexpr int kSingleGsmSeptets = 160;
inline constexpr int kPartGsmSeptets = 153;   // behind a 6-octet header
inline constexpr int kSingleUcs2Units = 70;
inline constexpr int kPartUcs2Units = 67;

struct DeliverFields {
    std::string smsc = "+8613800100500";  // the service centre that delivered it
    std::string sender;                   // digits; a leading '+' makes it international
    std::string timestamp;                // TP-SCTS as "yyMMddhhmmss" in zone +08
    Coding coding = Coding::kGsm7;        // kGsm7 or kUcs2
    std::u32string text;                  // this PDU's body
    std::optional<Concatenation> part;    // its place in a long message, 8-bit reference
};

// The PDU as upper-case hex digits, SMSC field first; "" when the body has a
// character its coding cannot carry or does not fit one PDU.
std::string DeliverPdu(const DeliverFields& fields);

// The network's clock as TP-SCTS digits "yyMMddhhmmss" (zone +08): the
// model's time 0 is 2026-01-01 at midnight.
std::string NetworkTime(std::uint64_t at_ms);

struct StatusReportFields {
    std::string smsc = "+8613800100500";  // the service centre that sends it
    std::uint8_t first_octet = 0x06;      // TP-MTI 10, no more messages, TP-SRQ 0 (on a SUBMIT)
    std::uint8_t reference = 0;           // TP-MR of the message reported on
    std::string recipient;                // TP-RA digits, '+' in front allowed
    std::uint8_t recipient_type = 0x81;   // its type of address
    std::string submitted;                // TP-SCTS "yyMMddhhmmss" in zone +08
    std::string discharged;               // TP-DT, the same way
    std::uint8_t status = 0;              // TP-ST (TS 23.040 9.2.3.15)
};

// The PDU as upper-case hex digits, SMSC field first, without the optional
// parameters (TP-PI and what it announces).
std::string StatusReportPdu(const StatusReportFields& fields);

}  // namespace modem
