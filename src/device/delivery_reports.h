// Status reports: did the message reach the phone? With the setting on
// (journal/settings.h DeliveryReports), every message asks the service
// centre for a report (TP-SRR in PDU mode, AT+CSMP's first octet in text
// mode), the modem is set up to hand reports to the line (AT+CSMS=1,
// AT+CNMI <ds> 1, keeping the other values as the modem has them), each
// report read is acknowledged (AT+CNMA) and journaled against the message
// it is on: delivered, still trying, or not delivered and why.
//
// State: whether the modem is set up (again after a restart, or after it
// switched the routing off for a report acknowledged too late), and the
// parts sent lately with their references, for the reports to come. The
// reports read wait in the modem's reports (device/modem_reports.h).
#pragma once

#include <cstdint>

#include "device/modem_reports.h"
#include "device/outgoing.h"
#include "journal/recorder.h"
#include "journal/send_outcome.h"
#include "link/serial_port.h"

namespace vantor {

class DeliveryReports {
public:
    DeliveryReports(link::Line& line, ModemReports& reports, journal::Recorder& journal) noexcept
        : line_(line), reports_(reports), journal_(journal) {}

    // Messages ask for a report now: the setting is on and the modem took
    // the set-up.
    bool Asked() const noexcept { return state_ == State::kOn; }

    // After a packet that talked to the modem and got its answer: with the
    // setting on, the modem is set up once after the port opened, and again
    // after a restart or a routing it switched off, which is looked for
    // every ten minutes. Not while the link is held for its tests, nor in a
    // send (`sending`): a send goes without a report until a poll has set
    // the modem up.
    void KeepSetUp(bool linkAdmits, bool sending) noexcept;

    // After the packet's dialogues: a report read is acknowledged, and the
    // reports read are journaled against the parts they are on.
    void Settle() noexcept;
    // Between two dialogues of a packet (the attempts of a send): a report
    // read is acknowledged at once, since the network waits for that only
    // some seconds; it is journaled when the packet ends, once the send has
    // remembered its parts. An acknowledgement the modem refuses (it gave up
    // waiting and stopped routing reports) sets it up again at once; a
    // set-up command left unanswered is owed, so its late answer is read as
    // no attempt's.
    void Acknowledge() noexcept;

    // The parts a send confirmed, for the reports to come. A send that
    // resumed a message goes on with the parts remembered of it.
    void Remember(const Outgoing& message, const journal::SendOutcome& outcome) noexcept;
    // Part `part` of `parts` of the message of `text` to `tele`, which an
    // earlier send left with its outcome unknown, confirmed late with
    // reference `reference`.
    void RememberLate(const char* tele, const char* text, int part, int parts, int reference) noexcept;

    // Parts remembered: the last kRemembered, far more than go out between
    // a send and its report.
    static constexpr int kRemembered = 32;

private:
    enum class State { kUnknown, kOn, kRefused, kOff };
    struct Part {
        bool awaited = false;
        bool tryingJournaled = false;
        bool delivered = false;
        unsigned message = 0;  // the send it went out in: the parts of one message share it
        std::uint8_t reference = 0;
        int part = 1;
        int parts = 1;
        char tele[kTeleSize] = {};
        char text[sms::kBodySize] = {};
    };

    enum class Reply { kOk, kRefused, kNone };  // OK, an error, no answer
    // The set-up; kUnknown when the modem did not answer (tried again at
    // the next packet).
    State SetUp() noexcept;
    void CheckRouting() noexcept;
    // The message a part belongs to: with `continues`, the newest one
    // remembered of that number, text and parts, when there is one.
    unsigned MessageOf(const char* tele, const char* text, int parts, bool continues) noexcept;
    void Add(unsigned message, const char* tele, const char* text, int part, int parts, int reference) noexcept;
    Reply Command(const char* command, std::uint8_t (&answer)[kAnswerSize]) noexcept;
    void Journal(const sms::StatusReport& report) noexcept;

    link::Line& line_;
    ModemReports& reports_;
    journal::Recorder& journal_;
    State state_ = State::kUnknown;
    unsigned restartsSeen_ = 0;
    std::uint32_t openingSeen_ = 0;  // the line's HandleGeneration at the last set-up
    std::uint32_t settingReadAt_ = 0;
    std::uint32_t routingReadAt_ = 0;
    int mt_ = -1;  // AT+CNMI <mt> as the modem had it at the first set-up since it (re)started
    Part sent_[kRemembered];
    int next_ = 0;
    unsigned messages_ = 0;
};

}  // namespace vantor
