// Status reports on sent messages, as the TC35 manual describes them: with
// AT+CSMS=1 (phase 2+) and AT+CNMI <ds> 1 each SMS-STATUS-REPORT from the
// network is routed to the TE as "+CDS", and the TE acknowledges it with
// AT+CNMA. No further +CDS is given before that; one not acknowledged within
// the network's time makes the modem set AT+CNMI <mt> and <ds> to 0 (TC35
// manual 5.9 and 5.10, TS 27.005 3.4.4).
#include <algorithm>

#include "modem/deliver_pdu.h"
#include "modem/modem_model.h"
#include "modem/text_mode.h"

namespace modem {
namespace {

// "yyMMddhhmmss" of NetworkTime as a text-mode time string
// "yy/MM/dd,hh:mm:ss+zz" (TS 27.005 3.1 <dt>), zone +08 in quarter hours.
std::string TimeString(const std::string& digits) {
    return digits.substr(0, 2) + "/" + digits.substr(2, 2) + "/" + digits.substr(4, 2) + "," + digits.substr(6, 2) +
           ":" + digits.substr(8, 2) + ":" + digits.substr(10, 2) + "+32";
}

// The latest of `messages` with this reference and number, or null; with
// `single`, only a message that went out whole.
const SentMessage* Latest(const std::vector<SentMessage>& messages, int reference, std::string_view number,
                          bool single) {
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        if (it->reference == reference && it->number == number && (!single || it->parts == 1)) return &*it;
    }
    return nullptr;
}

}  // namespace

bool Tc35Model::ScheduleReport(int reference, std::string_view number, std::uint64_t at_ms, int status,
                               std::optional<std::uint64_t> discharge_ms) {
    // A part of a long message went out on its own, with its own reference.
    const SentMessage* sent = Latest(sent_.Messages(), reference, number, true);
    const SentMessage* part = Latest(sent_.Parts(), reference, number, false);
    if (!sent || (part && part->at_ms > sent->at_ms)) sent = part;
    if (!sent || !sent->report_requested) return false;
    StatusReport report;
    report.reference = reference;
    report.number = sent->number;
    report.type_of_address = sent->type_of_address;
    report.status = status;
    report.submitted_ms = sent->at_ms;
    report.due_ms = at_ms;
    report.discharge_ms = discharge_ms.value_or(at_ms);
    reports_due_.emplace(at_ms, reports_.size());
    reports_.push_back(std::move(report));
    return true;
}

void Tc35Model::ReportByPolicy(int reference, const std::string& number, std::uint64_t verdict_ms) {
    const ReportPolicy& policy = radio_.reports;
    if (policy.on) ScheduleReport(reference, number, verdict_ms + policy.after_ms, policy.status);
}

void Tc35Model::RunReports(std::uint64_t now) {
    for (;;) {
        const bool due = !reports_due_.empty() && reports_due_.begin()->first <= now;
        const bool expired = awaiting_ack_ && ack_deadline_ <= now;
        if (expired && (!due || ack_deadline_ <= reports_due_.begin()->first)) {
            // TS 27.005 3.4.4: the ME answers the network with an error and
            // switches routing to the TE off; what waited behind the report
            // now finds it off.
            const std::uint64_t at = ack_deadline_;
            SettleReport(*std::exchange(awaiting_ack_, std::nullopt), ReportFate::kUnacknowledged, at);
            settings_.cnmi[1] = 0;
            settings_.cnmi[3] = 0;
            routing_off_.push_back(at);
            for (std::size_t i : reports_held_) SettleReport(i, ReportFate::kNotRouted, at);
            reports_held_.clear();
            continue;
        }
        if (!due) break;
        const auto first = reports_due_.begin();
        const std::size_t i = first->second;
        // A report scheduled for a time already past comes now.
        const std::uint64_t at = std::max(first->first, reports_clock_);
        reports_due_.erase(first);
        ReportArrives(i, at);
    }
    reports_clock_ = std::max(reports_clock_, now);
    // A held report follows the acknowledgement, or the end of the input at
    // the prompt, behind all that is queued by then.
    while (!awaiting_ack_ && input_ == Input::kCommand && !reports_held_.empty()) {
        const std::size_t i = reports_held_.front();
        reports_held_.pop_front();
        if (settings_.cnmi[3] == 1) RouteReport(i, now, false);
        else SettleReport(i, ReportFate::kNotRouted, now);
    }
}

void Tc35Model::ReportArrives(std::size_t i, std::uint64_t at) {
    if (settings_.cnmi[3] != 1) return SettleReport(i, ReportFate::kNotRouted, at);
    if (awaiting_ack_ || input_ != Input::kCommand || !reports_held_.empty()) {
        reports_[i].fate = ReportFate::kHeld;
        reports_held_.push_back(i);
        return;
    }
    RouteReport(i, at, true);
}

void Tc35Model::RouteReport(std::size_t i, std::uint64_t at, bool interjects) {
    StatusReport& report = reports_[i];
    report.fate = ReportFate::kRouted;
    report.routed_ms = at;
    report.urc = ReportUrc(report);
    report.free_ms = std::max({at, busy_until_, out_.LastArrival()});
    awaiting_ack_ = i;
    ack_deadline_ = at + radio_.ack_timeout_ms;
    if (!interjects) return Answer(report.urc, at);
    // Lost with the line when it is dead, as other output; the modem still
    // waits for the acknowledgement.
    if (faults_.silent || faults_.babble_ms > 0 || HungUp(at)) return;
    out_.Insert(faults_.garbage + report.urc, at + faults_.answer_delay_ms, faults_.line);
}

std::string Tc35Model::ReportUrc(const StatusReport& report) const {
    StatusReportFields f;
    f.smsc = settings_.csca;
    f.reference = static_cast<std::uint8_t>(report.reference);
    f.recipient = report.number;
    f.recipient_type = static_cast<std::uint8_t>(report.type_of_address);
    f.submitted = NetworkTime(report.submitted_ms);
    f.discharged = NetworkTime(report.discharge_ms);
    f.status = static_cast<std::uint8_t>(report.status);
    if (settings_.cmgf == 0) {
        const std::string pdu = StatusReportPdu(f);
        // <length> counts the TPDU's octets, not the SMSC field's.
        const std::size_t smsc_octets = 1 + std::stoul(pdu.substr(0, 2), nullptr, 16);
        return "\r\n+CDS: " + std::to_string(pdu.size() / 2 - smsc_octets) + "\r\n" + pdu + "\r\n";
    }
    // <ra> and <tora> only after AT^SSCONF=1 (TC35 manual 5.10, 6.37).
    const std::string address = settings_.ssconf == 1 ? "\"" + TeString(settings_, report.number) + "\"," +
                                                            std::to_string(report.type_of_address)
                                                      : ",";
    return "\r\n+CDS: " + std::to_string(f.first_octet) + "," + std::to_string(report.reference) + "," + address +
           ",\"" + TimeString(f.submitted) + "\",\"" + TimeString(f.discharged) + "\"," +
           std::to_string(report.status) + "\r\n";
}

void Tc35Model::SettleReport(std::size_t i, ReportFate fate, std::uint64_t at) {
    reports_[i].fate = fate;
    reports_[i].settled_ms = at;
}

bool Tc35Model::AcknowledgeReport(std::uint64_t now) {
    if (!awaiting_ack_) return false;
    SettleReport(*std::exchange(awaiting_ack_, std::nullopt), ReportFate::kAcknowledged, now);
    return true;
}

}  // namespace modem
