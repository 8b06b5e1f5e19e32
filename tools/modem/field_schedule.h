// The field: what months of service do to a TC35, drawn from one seed and
// applied to the modem model as virtual time passes. Messages arrive at a
// plant's rate (bursts, long ones in parts, Chinese and GSM texts, some with
// characters of the extension table); the network's verdict on a send comes
// late, or is a temporary or, rarely, a permanent refusal; the power fails
// every few days (^SYSSTART, settings forgotten); another program switches
// the echo now and then; unsolicited lines come between answers and inside
// them; the SIM pauses between the entries of a listing for weeks at a time;
// the cable is pulled for minutes. A full SIM store leaves new messages
// waiting at the service centre, which delivers them once there is room
// again or drops them when their validity period ends.
//
//   modem::Tc35Model tc35;
//   modem::FieldSchedule field(seed, tc35);
//   modem::FieldLine line(tc35, field);      // the port's peer: applies the
//   os::virt::AddPort("COM1", &line);         // field's events as time passes
//   ... the host runs ...
//   field.RunUntil(os::virt::Now());          // also between the host's calls
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "modem/field_random.h"
#include "modem/modem_model.h"
#include "modem/sms_pdu.h"

namespace modem {

// One message from the network, in one or more parts. Each part's text
// starts with its tag ("M17" alone, "M17.2" for part 2), so that whatever
// shows it can be traced back to it.
struct FieldArrival {
    int id = 0;
    std::string sender;             // '+' in front of an international number
    Coding coding = Coding::kGsm7;
    bool extension = false;         // GSM text with characters of the extension table
    std::uint64_t offered_ms = 0;   // when the network first offered it
    std::vector<std::u32string> texts;  // per part
    std::vector<std::string> pdus;      // per part
};

// A part the modem never stored: the SIM store was full until the service
// centre gave up on it.
struct FieldLoss {
    int id = 0;
    int part = 0;                   // 0-based
    std::uint64_t offered_ms = 0;
    std::uint64_t full_since_ms = 0;  // when the store's overflow began
    std::uint64_t expired_ms = 0;
};

// A status report the network sent on a part the modem sent, with what it
// was sent on: the message's number, the part's text, its place.
struct FieldReport {
    std::size_t report = 0;         // into Tc35Model::Reports()
    std::string number;
    std::string text;               // the part's text as the modem sent it (UTF-8)
    int part = 1;                   // 1 .. parts
    int parts = 1;
};

// A stretch in which the line was dead: a cable pulled, or a modem starting
// up after a power cut.
struct FieldDrop {
    std::uint64_t from_ms = 0;
    std::uint64_t until_ms = 0;
};

// How often each kind of fault came.
struct FieldCounts {
    int arrivals = 0, parts = 0, bursts = 0, long_messages = 0, chinese = 0, extension = 0;
    int power_cycles = 0, echo_switches = 0, unsolicited = 0, unsolicited_inside = 0;
    int cable_pulls = 0;
    std::uint64_t cable_pulled_ms = 0;
    int slow_sim_periods = 0;
    int verdicts_quick = 0, verdicts_late = 0, verdicts_past_limit = 0;  // > 60 s
    int refusals_temporary = 0, refusals_permanent = 0;
    int store_full_waits = 0, delivered_after_wait = 0, expired = 0;
    // Status reports: the parts sent that asked for one, and what the
    // network did: delivered within seconds, delivered hours later, "still
    // trying" first and delivered or given up later, not delivered, none.
    int reports_asked = 0, reports_soon = 0, reports_hours = 0, reports_trying_delivered = 0,
        reports_trying_expired = 0, reports_failed = 0, reports_never = 0;
};

class FieldSchedule {
public:
    // The service centre keeps a message it cannot deliver this long.
    static constexpr std::uint64_t kValidityMs = 24ull * 3600 * 1000;

    FieldSchedule(std::uint64_t seed, Tc35Model& modem);

    // Applies every event that has fallen due by `now_ms` (at `now_ms`: the
    // model's clock never goes back).
    void RunUntil(std::uint64_t now_ms);
    // A command line the modem has just taken: an AT+CMGS gets the
    // network's verdict for the message that follows it.
    void OnCommand(const std::string& line, std::uint64_t now_ms);

    const std::vector<FieldArrival>& Arrivals() const { return arrivals_; }
    const std::vector<FieldLoss>& Losses() const { return losses_; }
    const std::vector<FieldDrop>& Drops() const { return drops_; }
    // Every status report the network was to send, in the order scheduled.
    const std::vector<FieldReport>& Reports() const { return reports_; }
    // True when the line was dead at some moment of [from_ms, until_ms].
    bool DroppedWithin(std::uint64_t from_ms, std::uint64_t until_ms) const;
    const FieldCounts& counts() const { return counts_; }
    // No part on its way and none waiting at the service centre.
    bool Quiet() const { return due_.empty() && waiting_.empty(); }
    // The faults stop; messages still on their way and waiting at the
    // service centre keep coming (for the closing balance of a run).
    void Calm(std::uint64_t now_ms);

private:
    enum class Event { kSingle, kBurst, kPowerCycle, kEcho, kUnsolicited, kCable, kSlowSim };
    struct PartDue {
        int arrival;  // index into arrivals_
        int part;
    };
    struct Waiting {
        int arrival;
        int part;
        std::uint64_t since;
    };

    void Fire(Event event, std::uint64_t now_ms);
    void NewArrival(std::uint64_t at_ms);
    std::u32string PartText(const FieldArrival& a, int part, int parts);
    void Offer(const PartDue& due, std::uint64_t now_ms);
    void ServiceCentre(std::uint64_t now_ms);
    void KeepProfile();
    void Overflow(int mode, std::uint64_t now_ms);
    // The network's status reports on what the modem sent since the last
    // look: each part that asked for one gets its fate.
    void ReportOnSent();
    void ReportOn(const SentMessage& sent);
    void Report(const SentMessage& sent, std::uint64_t at_ms, int status);
    std::uint64_t Interval(std::uint64_t low_ms, std::uint64_t high_ms) {
        return random_.Between(low_ms, high_ms);
    }

    FieldRandom random_;
    FieldRandom reports_random_;  // apart, so that reports leave the rest of the run as it was
    Tc35Model& modem_;
    bool calm_ = false;
    std::map<Event, std::uint64_t> next_;            // when each kind comes next
    std::multimap<std::uint64_t, PartDue> due_;      // parts on their way
    std::vector<Waiting> waiting_;                   // at the service centre, oldest first
    std::vector<FieldArrival> arrivals_;
    std::vector<FieldLoss> losses_;
    std::vector<FieldDrop> drops_;
    std::vector<FieldReport> reports_;
    std::size_t sent_seen_ = 0, parts_seen_ = 0;  // of the modem's Sent() and SentParts()
    std::uint32_t verdict_delay_ms_ = 0;          // of the send under way
    std::uint64_t full_since_ = 0;
    FieldCounts counts_;
    int next_reference_ = 1;
    std::uint64_t earliest_ = 0;                     // the soonest of next_ and due_
};

}  // namespace modem
