// Talking to the TC35 model in a test, in virtual time: what it sends by a
// given moment, a command line written to it, and a whole PDU-mode send.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "modem/modem_model.h"
#include "os/virt/virt.h"

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

// The model behind a virtual port, with hooks on what the driver writes,
// before and after the model takes it: a test arms a fault when a given
// command goes by.
class WatchedModel : public os::virt::Peer {
public:
    explicit WatchedModel(modem::Tc35Model& modem) : modem_(modem) {}
    void Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) override {
        Before(bytes, length);
        modem_.Receive(bytes, length, now);
        After(bytes, length);
    }
    std::size_t Pending(std::uint64_t now) override { return modem_.Pending(now); }
    std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t now) override {
        return modem_.Take(out, max, now);
    }
    void Purge(std::uint64_t now) override { modem_.Purge(now); }

protected:
    virtual void Before(const std::uint8_t*, std::size_t) {}
    virtual void After(const std::uint8_t*, std::size_t) {}
    modem::Tc35Model& modem_;
};

}  // namespace model_talk
