// A message to send, as the registers hold it when the host writes SEND,
// built once per send: the number, the body as the host wrote it, the
// coding asked for, and the body as the modem will carry it in PDU mode
// (converted once and cut into its parts).
#pragma once

#include <cstdint>

#include "host/records.h"
#include "sms/pdu_encode.h"

namespace vantor {

struct Registers;

struct Outgoing {
    char tele[kTeleSize] = {};       // terminated, whatever the register held
    char text[sms::kBodySize] = {};  // MsgSend0 + MsgSend1 (ANSI code page)
    int textLength = 0;
    std::uint8_t codeMod = 0;
    // PDU mode: the body in septets or UTF-16 units and its parts; parts is
    // 0 when the body does not convert.
    sms::SubmitBody body;
    int parts = 0;
};

// The message the registers hold.
void MakeOutgoing(const Registers& registers, Outgoing* out) noexcept;

}  // namespace vantor
