// How the modem model shows and takes messages in text mode (AT+CMGF=1,
// 3GPP TS 27.005 clause 3): status names, strings in the TE character set of
// AT+CSCS, the header and body lines of a listed or read message, and the
// bytes of a message typed at the AT+CMGS prompt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modem/modem_model.h"
#include "modem/sms_pdu.h"
#include "modem/sms_store.h"

namespace modem {

// The <stat> number of a text-mode status name ("REC UNREAD" 0 .. "ALL" 4),
// or -1.
int StatOfName(const std::string& name);

// A string parameter or value in the TE character set of AT+CSCS: as is for
// "GSM", four hex digits a character for "UCS2".
std::string TeString(const Settings& settings, const std::string& text);
// The reverse; a "UCS2" string that is not hex is taken as it is.
std::string FromTeString(const Settings& settings, const std::string& text);

// The header line of a text-mode message: "+CMGL: <index>,<stat>,<oa>,,<scts>"
// in a listing, "+CMGR: <stat>,<oa>,,<scts>" when read, and with AT+CSDH=1
// the fields TS 27.005 3.4.2 and 3.4.3 add (the read shows more of them).
std::string TextHeader(const Settings& settings, const StoredMessage& m, const Pdu& pdu, bool listing);
// The body line of a text-mode message.
std::string TextBody(const Settings& settings, const Pdu& pdu);

// A text-mode message typed with the GSM character set, as default-alphabet
// codes.
std::vector<std::uint8_t> TypedSeptets(const std::string& entered);

}  // namespace modem
