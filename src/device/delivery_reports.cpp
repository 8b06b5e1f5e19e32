#include "device/delivery_reports.h"

#include <cstdio>
#include <cstring>

#include "diag/trace.h"
#include "journal/settings.h"
#include "link/exchange.h"
#include "link/owed_answers.h"
#include "os/os.h"

namespace vantor {

namespace {

// How often the setting is read again while it is off.
constexpr std::uint32_t kSettingReadMs = 60000;
// How often the modem's routing of reports is read (in the host's polls).
constexpr std::uint32_t kRoutingReadMs = 10 * 60000;

// "+CNMI: 2,1,0,0,1" or "+CSMP: 17,167,0,0": the numbers after `marker`.
int ReadNumbers(const std::uint8_t* answer, const char* marker, int (&out)[5]) noexcept {
    const char* p = std::strstr(reinterpret_cast<const char*>(answer), marker);
    if (p == nullptr) return 0;
    p += std::strlen(marker);
    int n = 0;
    while (n < 5) {
        while (*p == ' ') ++p;
        if (*p < '0' || *p > '9') break;
        int v = 0;
        while (*p >= '0' && *p <= '9' && v < 1000) v = v * 10 + (*p++ - '0');
        out[n++] = v;
        if (*p != ',') break;
        ++p;
    }
    return n;
}

// The recipient as the report gives it against the number a part went to:
// the same digits (a report may leave it out: text mode without AT^SSCONF=1
// shows none, and then the reference alone decides).
bool SameRecipient(const sms::Address& recipient, const char* tele) noexcept {
    if (recipient.length == 0) return true;
    char digits[sms::kMaxAddressDigits + 1];
    sms::AddressDigits(recipient, digits);
    if (tele[0] == '+') ++tele;
    return std::strcmp(digits, tele) == 0;
}

}  // namespace

DeliveryReports::Reply DeliveryReports::Command(const char* command,
                                                std::uint8_t (&answer)[kAnswerSize]) noexcept {
    std::memset(answer, 0, sizeof answer);
    std::int32_t length = static_cast<std::int32_t>(std::strlen(command));
    std::memcpy(answer, command, static_cast<std::size_t>(length));
    if (link::Exchange(line_, answer, &length) == 1) return Reply::kOk;
    // The whole answer buffer is written by the exchange, its end zeroed.
    answer[kAnswerSize - 1] = 0;
    if (std::strstr(reinterpret_cast<const char*>(answer), "ERROR") != nullptr) return Reply::kRefused;
    // No final result within the reply time-out: the modem still owes it,
    // and it must not be read as the answer of what the driver says next (a
    // send's prompt or verdict).
    link::Owe(line_, false);
    return Reply::kNone;
}

void DeliveryReports::KeepSetUp(bool linkAdmits, bool sending) noexcept {
    // Not in a send: a modem slow to answer would leave the set-up's answers
    // owed into the send's own dialogues. The host's polls set it up.
    if (!linkAdmits || sending) return;
    if (reports_.restarts != restartsSeen_ || line_.HandleGeneration != openingSeen_) {
        // A restarted modem is back at its factory settings, and a port
        // opened again may lead to another modem: no routing known.
        restartsSeen_ = reports_.restarts;
        openingSeen_ = line_.HandleGeneration;
        mt_ = -1;
        if (state_ != State::kOff) state_ = State::kUnknown;
    }
    const std::uint32_t now = os::GetTickCount();
    if (state_ == State::kOn && now - routingReadAt_ >= kRoutingReadMs) CheckRouting();
    if (state_ == State::kOn || state_ == State::kRefused) return;
    if (state_ == State::kOff && now - settingReadAt_ < kSettingReadMs) return;
    settingReadAt_ = now;
    if (!journal::DeliveryReportsOn()) {
        state_ = State::kOff;
        return;
    }
    state_ = SetUp();
}

// Phase 2+ (TS 27.005 3.2.1), which reports routed to the line need; the
// recipient shown in text-mode reports (AT^SSCONF=1, TC35 manual); reports
// routed to the line (AT+CNMI <ds> 1) with <mode>, <bm> and <bfr> as the
// modem has them, and <mt> as the modem had it at the first set-up (a modem
// that switched the routing off also cleared <mt>, the plant's new-message
// indications); text-mode messages that ask for a report (AT+CSMP's first
// octet with TP-SRR). A modem that refuses the first or the routing sends as
// before, without reports, traced once; one that does not answer is set up
// at the next packet.
DeliveryReports::State DeliveryReports::SetUp() noexcept {
    routingReadAt_ = os::GetTickCount();
    std::uint8_t answer[kAnswerSize];
    Reply reply = Command("AT+CSMS=1\r\n", answer);
    if (reply != Reply::kOk) {
        if (reply == Reply::kNone) return State::kUnknown;
        Trace("Delivery reports: the modem refuses AT+CSMS=1; messages go without status reports\n");
        return State::kRefused;
    }
    Command("AT^SSCONF=1\r\n", answer);
    int cnmi[5] = {};
    if (Command("AT+CNMI?\r\n", answer) != Reply::kOk || ReadNumbers(answer, "+CNMI:", cnmi) != 5) {
        Trace("Delivery reports: AT+CNMI? not answered; set up at the next packet\n");
        return State::kUnknown;
    }
    if (mt_ < 0) mt_ = cnmi[1];
    if (cnmi[3] != 1 || cnmi[1] != mt_) {
        char command[48];
        std::snprintf(command, sizeof command, "AT+CNMI=%d,%d,%d,1,%d\r\n", cnmi[0], mt_, cnmi[2], cnmi[4]);
        reply = Command(command, answer);
        if (reply != Reply::kOk) {
            if (reply == Reply::kNone) return State::kUnknown;
            Trace("Delivery reports: the modem refuses %.*s; messages go without status reports\n",
                  static_cast<int>(std::strlen(command) - 2), command);
            return State::kRefused;
        }
    }
    int csmp[5] = {};
    if (Command("AT+CSMP?\r\n", answer) == Reply::kOk && ReadNumbers(answer, "+CSMP:", csmp) == 4 &&
        (csmp[0] & 0x20) == 0) {
        char command[48];
        std::snprintf(command, sizeof command, "AT+CSMP=%d,%d,%d,%d\r\n", csmp[0] | 0x20, csmp[1], csmp[2],
                      csmp[3]);
        if (Command(command, answer) != Reply::kOk) Trace("Delivery reports: text-mode messages go without them\n");
    }
    Trace("Delivery reports: on\n");
    return State::kOn;
}

// A report the modem routed while the line lost it (a purge, a dead line)
// was never acknowledged, and the modem then switched the routing off
// without the driver hearing of it: the routing is read every
// kRoutingReadMs, and put back when it is off.
void DeliveryReports::CheckRouting() noexcept {
    routingReadAt_ = os::GetTickCount();
    std::uint8_t answer[kAnswerSize];
    int cnmi[5] = {};
    if (Command("AT+CNMI?\r\n", answer) != Reply::kOk || ReadNumbers(answer, "+CNMI:", cnmi) != 5 || cnmi[3] == 1)
        return;
    Trace("Delivery reports: the modem had stopped routing them; set up again\n");
    state_ = SetUp();
}

void DeliveryReports::Settle() noexcept {
    Acknowledge();
    for (int i = 0; i < reports_.waitingCount; ++i) Journal(reports_.waiting[i]);
    reports_.waitingCount = 0;
}

void DeliveryReports::Acknowledge() noexcept {
    // The acknowledgement's own answer may bring the report the modem held
    // behind the last one: acknowledged in turn, so none waits for the next
    // host call (the modem gives no other before it).
    for (int n = 0; reports_.ackOwed && n < ModemReports::kMostWaiting; ++n) {
        reports_.ackOwed = false;
        std::uint8_t answer[kAnswerSize];
        // Refused: the modem expected no acknowledgement any more. It gave
        // up waiting (the network's time ran out while it was still busy
        // with a command), and with that switched the routing off (TC35
        // manual, AT+CNMA): set up again at once, so that the reports to
        // come are not lost as well.
        if (Command("AT+CNMA\r\n", answer) == Reply::kRefused && state_ == State::kOn) {
            Trace("Delivery reports: acknowledged too late, the modem stopped routing them; set up again\n");
            state_ = SetUp();
        }
    }
}

void DeliveryReports::Journal(const sms::StatusReport& report) noexcept {
    Part* found = nullptr;
    // The newest part with the reference: references come round every 256
    // messages.
    for (int k = 1; k <= kRemembered && found == nullptr; ++k) {
        Part& p = sent_[(next_ - k + kRemembered) % kRemembered];
        if (p.awaited && p.reference == report.reference && SameRecipient(report.recipient, p.tele)) found = &p;
    }
    const sms::Delivery delivery = sms::DeliveryOf(report.status);
    journal::Recorder::Delivery d;
    d.state = delivery == sms::Delivery::kDelivered ? 0 : delivery == sms::Delivery::kStillTrying ? 1 : 2;
    d.status = report.status;
    d.meaning = sms::StatusMeaning(report.status);
    d.discharged = report.discharged;
    const std::int64_t sent = sms::SecondsOf(report.submitted);
    const std::int64_t done = sms::SecondsOf(report.discharged);
    d.seconds = sent >= 0 && done >= sent ? done - sent : -1;
    if (found == nullptr) {
        // Sent before this driver object knew of it (the HMI restarted since)
        // or by another program: journaled with the recipient and reference
        // the report names, which the journal's earlier "sent" line has too.
        Trace("Status report on reference %d: no message sent lately\n", report.reference);
        char number[sms::kMaxAddressDigits + 2] = {};
        if (report.recipient.length > 0) {
            const bool international = ((report.recipient.type >> 4) & 0x7) == 0x1;
            if (international) number[0] = '+';
            sms::AddressDigits(report.recipient, number + (international ? 1 : 0));
        }
        journal_.Reported(number, "", 0, 0, report.reference, d);
        return;
    }
    if (delivery == sms::Delivery::kStillTrying) {
        if (found->tryingJournaled) return;  // once, and the final report later
        found->tryingJournaled = true;
    } else {
        found->awaited = false;
        found->delivered = delivery == sms::Delivery::kDelivered;
    }
    // A long message has reached the phone when its last part has.
    int delivered = 0;
    for (const Part& p : sent_)
        if (p.message == found->message && p.delivered && p.parts == found->parts) ++delivered;
    d.wholeMessage = found->parts > 1 && found->delivered && delivered == found->parts;
    journal_.Reported(found->tele, found->text, found->part, found->parts, report.reference, d);
}

void DeliveryReports::Remember(const Outgoing& message, const journal::SendOutcome& outcome) noexcept {
    if (!Asked() || outcome.confirmed == 0) return;
    const int first = outcome.firstPart > 0 ? outcome.firstPart : 1;
    const unsigned id = MessageOf(message.tele, message.text, outcome.parts, first > 1);
    for (int i = 0; i < outcome.confirmed; ++i)
        Add(id, message.tele, message.text, first + i, outcome.parts, outcome.references[i]);
}

void DeliveryReports::RememberLate(const char* tele, const char* text, int part, int parts,
                                   int reference) noexcept {
    if (!Asked()) return;
    Add(MessageOf(tele, text, parts, true), tele, text, part, parts, reference);
}

unsigned DeliveryReports::MessageOf(const char* tele, const char* text, int parts, bool continues) noexcept {
    for (int k = 1; k <= kRemembered && continues; ++k) {
        const Part& p = sent_[(next_ - k + kRemembered) % kRemembered];
        if (p.message != 0 && p.parts == parts && std::strncmp(p.tele, tele, sizeof p.tele) == 0 &&
            std::strncmp(p.text, text, sizeof p.text) == 0)
            return p.message;
    }
    return ++messages_;
}

void DeliveryReports::Add(unsigned message, const char* tele, const char* text, int part, int parts,
                          int reference) noexcept {
    if (reference < 0) return;  // no reference named: no report can be matched to it
    Part& p = sent_[next_];
    next_ = (next_ + 1) % kRemembered;
    p = Part{};
    p.awaited = true;
    p.message = message;
    p.reference = static_cast<std::uint8_t>(reference);
    p.part = part;
    p.parts = parts;
    std::memcpy(p.tele, tele, strnlen(tele, sizeof p.tele - 1));
    std::memcpy(p.text, text, strnlen(text, sizeof p.text - 1));
}

}  // namespace vantor
