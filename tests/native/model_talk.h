// Talking to the TC35 model in a test, in virtual time: what it sends by a
// given moment, a command line written to it, and a whole PDU-mode send.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "modem/modem_model.h"

namespace model_talk {

// Everything the model has sent by `now` and not yet taken.
inline std::string Drain(modem::Tc35Model& m, std::uint64_t now) {
    std::string out(m.Pending(now), '\0');
    m.Take(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), now);
    return out;
}

// Writes `input` at `now` and returns everything the model sent by `now`.
inline std::string Talk(modem::Tc35Model& m, const std::string& input, std::uint64_t now = 0) {
    m.Receive(reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), now);
    return Drain(m, now);
}

// One AT+CMGS dialogue (echo off): the prompt at `now`, the PDU (SMSC field
// first) 10 ms later; returns the answer to the PDU.
inline std::string Send(modem::Tc35Model& m, const std::string& pdu, std::uint64_t now) {
    const int smsc = std::stoi(pdu.substr(0, 2), nullptr, 16);
    const int tpdu = static_cast<int>(pdu.size() / 2) - 1 - smsc;
    EXPECT_EQ(Talk(m, "AT+CMGS=" + std::to_string(tpdu) + "\r", now), "\r\n> ");
    return Talk(m, pdu + "\x1A", now + 10);
}

}  // namespace model_talk
