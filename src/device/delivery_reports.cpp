#include "device/delivery_reports.h"

#include <cstdio>
#include <cstring>

#include "diag/trace.h"
#include "journal/settings.h"
#include "link/exchange.h"
#include "os/os.h"

namespace vantor {

namespace {

// How often the setting is read again while it is off.
constexpr std::uint32_t kSettingReadMs = 60000;

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

bool DeliveryReports::Command(const char* command, std::uint8_t (&answer)[kAnswerSize]) noexcept {
    std::memset(answer, 0, sizeof answer);
    std::int32_t length = static_cast<std::int32_t>(std::strlen(command));
    std::memcpy(answer, command, static_cast<std::size_t>(length));
    return link::Exchange(line_, answer, &length) == 1;
}

void DeliveryReports::Prepare(bool linkAdmits) noexcept {
    if (!linkAdmits) return;
    if (reports_.restarts != restartsSeen_ || line_.HandleGeneration != openingSeen_) {
        // A restarted modem is back at its factory settings, and a port
        // opened again may lead to another modem: no routing known.
        restartsSeen_ = reports_.restarts;
        openingSeen_ = line_.HandleGeneration;
        if (state_ != State::kOff) state_ = State::kUnknown;
    }
    if (state_ == State::kOn || state_ == State::kRefused) return;
    const std::uint32_t now = os::GetTickCount();
    if (state_ == State::kOff && now - settingReadAt_ < kSettingReadMs) return;
    settingReadAt_ = now;
    if (!journal::DeliveryReportsOn()) {
        state_ = State::kOff;
        return;
    }
    state_ = SetUp() ? State::kOn : State::kRefused;
}

// Phase 2+ (TS 27.005 3.2.1), which reports routed to the line need; the
// recipient shown in text-mode reports (AT^SSCONF=1, TC35 manual); reports
// routed to the line (AT+CNMI <ds> 1) with <mode>, <mt>, <bm> and <bfr> as
// the modem has them; text-mode messages that ask for a report (AT+CSMP's
// first octet with TP-SRR). A modem that refuses the first or the routing
// sends as before, without reports, traced once.
bool DeliveryReports::SetUp() noexcept {
    std::uint8_t answer[kAnswerSize];
    if (!Command("AT+CSMS=1\r\n", answer)) {
        Trace("Delivery reports: the modem refuses AT+CSMS=1; messages go without status reports\n");
        return false;
    }
    Command("AT^SSCONF=1\r\n", answer);
    int cnmi[5] = {};
    if (!Command("AT+CNMI?\r\n", answer) || ReadNumbers(answer, "+CNMI:", cnmi) != 5) {
        Trace("Delivery reports: AT+CNMI? not answered; messages go without status reports\n");
        return false;
    }
    if (cnmi[3] != 1) {
        char command[48];
        std::snprintf(command, sizeof command, "AT+CNMI=%d,%d,%d,1,%d\r\n", cnmi[0], cnmi[1], cnmi[2], cnmi[4]);
        if (!Command(command, answer)) {
            Trace("Delivery reports: the modem refuses %.*s; messages go without status reports\n",
                  static_cast<int>(std::strlen(command) - 2), command);
            return false;
        }
    }
    int csmp[5] = {};
    if (Command("AT+CSMP?\r\n", answer) && ReadNumbers(answer, "+CSMP:", csmp) == 4 && (csmp[0] & 0x20) == 0) {
        char command[48];
        std::snprintf(command, sizeof command, "AT+CSMP=%d,%d,%d,%d\r\n", csmp[0] | 0x20, csmp[1], csmp[2],
                      csmp[3]);
        if (!Command(command, answer)) Trace("Delivery reports: text-mode messages go without them\n");
    }
    Trace("Delivery reports: on\n");
    return true;
}

void DeliveryReports::Settle() noexcept {
    if (reports_.ackOwed) {
        reports_.ackOwed = false;
        std::uint8_t answer[kAnswerSize];
        // Refused: the modem expected no acknowledgement any more. It gave
        // up waiting, and with that switched the routing off (TC35 manual,
        // AT+CNMA): set up again before the next send.
        if (!Command("AT+CNMA\r\n", answer) && state_ == State::kOn) {
            Trace("Delivery reports: acknowledged too late, the modem stopped routing them; set up again\n");
            state_ = State::kUnknown;
        }
    }
    for (int i = 0; i < reports_.waitingCount; ++i) Journal(reports_.waiting[i]);
    reports_.waitingCount = 0;
}

void DeliveryReports::Journal(const sms::StatusReport& report) noexcept {
    Part* found = nullptr;
    // The newest part with the reference: references come round every 256
    // messages.
    for (int k = 1; k <= kRemembered && found == nullptr; ++k) {
        Part& p = sent_[(next_ - k + kRemembered) % kRemembered];
        if (p.awaited && p.reference == report.reference && SameRecipient(report.recipient, p.tele)) found = &p;
    }
    if (found == nullptr) {
        Trace("Status report on reference %d: no message sent lately\n", report.reference);
        return;
    }
    const sms::Delivery delivery = sms::DeliveryOf(report.status);
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
    journal::Recorder::Delivery d;
    d.state = delivery == sms::Delivery::kDelivered ? 0 : delivery == sms::Delivery::kStillTrying ? 1 : 2;
    d.status = report.status;
    d.meaning = sms::StatusMeaning(report.status);
    d.discharged = report.discharged;
    const std::int64_t sent = sms::SecondsOf(report.submitted);
    const std::int64_t done = sms::SecondsOf(report.discharged);
    d.seconds = sent >= 0 && done >= sent ? done - sent : -1;
    d.wholeMessage = found->parts > 1 && found->delivered && delivered == found->parts;
    journal_.Reported(found->tele, found->text, found->part, found->parts, report.reference, d);
}

void DeliveryReports::Remember(const Outgoing& message, const journal::SendOutcome& outcome) noexcept {
    if (!Asked()) return;
    ++messages_;
    for (int i = 0; i < outcome.confirmed; ++i) {
        if (outcome.references[i] < 0) continue;
        Part& p = sent_[next_];
        next_ = (next_ + 1) % kRemembered;
        p = Part{};
        p.awaited = true;
        p.message = messages_;
        p.reference = static_cast<std::uint8_t>(outcome.references[i]);
        p.part = (outcome.firstPart > 0 ? outcome.firstPart : 1) + i;
        p.parts = outcome.parts;
        std::memcpy(p.tele, message.tele, sizeof p.tele);
        std::memcpy(p.text, message.text, sizeof p.text);
    }
}

}  // namespace vantor
