// The SMS-STATUS-REPORT (3GPP TS 23.040 9.2.2.3) as the modem hands it over
// unsolicited (TS 27.005 3.4.1 +CDS): in PDU mode a "+CDS: <length>" line,
// then the PDU line, service-centre address first; in text mode the line
// "+CDS: <fo>,<mr>,[<ra>],[<tora>],<scts>,<dt>,<st>". Read into plain
// values, and what TP-Status (TS 23.040 9.2.3.15) says of the message.
// Remote input: every reader reads only the bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sms/tpdu.h"

namespace vantor::sms {

struct StatusReport {
    std::uint8_t firstOctet = 0;  // TP-MTI (binary 10), TP-MMS, TP-SRQ, TP-UDHI
    int reference = -1;           // TP-MR of the message reported on, 0..255
    Address recipient;            // TP-RA: whom the message was for
    TimeStamp submitted;          // TP-SCTS: when the service centre took the message
    TimeStamp discharged;         // TP-DT: when it was delivered, or the last try
    int status = -1;              // TP-ST, 0..255
};

// How far a PDU line could be read. The fields of each stage are set only
// when the line reaches it; a time stamp the line cuts has `octets` of it.
enum class StatusReportRead {
    kWhole,             // through TP-ST; what may follow it (TP-PI, user data) is not read
    kNotAReport,        // TP-MTI is not binary 10: firstOctet alone is set
    kCut,               // the line ends before TP-ST
    kOverlongAddress,   // TP-RA claims more than kMaxAddressDigits semi-octets: reference is set
};

// Reads the PDU line [hex, hex + length): the run of hexadecimal digits it
// starts with, two per octet (upper or lower case), as ParseDeliver does.
// Never reads beyond hex[length - 1].
StatusReportRead ParseStatusReport(const char* hex, std::size_t length, StatusReport* out) noexcept;

// Reads the text-mode line [fields, end) after its "+CDS:" marker. <ra>
// comes in the modem's character set: a number (a leading '+' makes it
// international when <tora> is not given), or with <tora> of type 101 the
// characters of an alphanumeric address, packed into recipient as the PDU
// would carry them. The modem leaves <ra> and <tora> empty unless told to
// show them. False, with `out` holding no report, when the line is not one:
// fewer than seven fields, or <fo>, <mr> or <st> not a number 0..255, or an
// <fo> whose TP-MTI is not binary 10.
bool ReadTextStatusReport(const char* fields, const char* end, StatusReport* out) noexcept;

// What TP-Status says of the message, for a plant engineer.
enum class Delivery {
    kDelivered,    // the transaction completed: the message reached the phone
    kStillTrying,  // a temporary error; the service centre keeps trying
    kFailed,       // a permanent error, or a temporary one with no more tries
};

// TS 23.040 9.2.3.15: 0x00-0x1F delivered, 0x20-0x3F still trying,
// 0x40-0x7F failed, values specific to a service centre by the range they
// lie in. Reserved values (and values outside 0..255) are taken for
// "service rejected, no more tries" (0x63), as the standard asks: failed.
Delivery DeliveryOf(int status) noexcept;

// A short English text for each value TS 23.040 9.2.3.15 defines ("received
// by the phone", "phone busy", "validity period expired", ...); nullptr for
// a reserved value, one specific to a service centre, or one outside 0..255.
const char* StatusMeaning(int status) noexcept;

}  // namespace vantor::sms
