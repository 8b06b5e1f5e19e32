#include "modem/field_schedule.h"

#include <algorithm>

#include "modem/deliver_pdu.h"

namespace modem {
namespace {

constexpr std::uint64_t kSecond = 1000;
constexpr std::uint64_t kMinute = 60 * kSecond;
constexpr std::uint64_t kHour = 60 * kMinute;
constexpr std::uint64_t kDay = 24 * kHour;

const char* const kSenders[] = {"+8613912345678", "+8613800138000", "+8618612345678", "10086",
                                "95588", "+8615000001234"};
const char32_t* const kGsmPhrases[] = {
    U"Pump 3 pressure high", U"Tank level 87%", U"Door B open", U"Power restored",
    U"Compressor 2 trip", U"Flow low: check valve V12", U"Heartbeat ok", U"Temp 41.5 C, limit 40",
    U"Generator start (test)", U"Alarm cleared @ station 4", U"Feeder_2 current $ 0.9 kA",
};
// Characters of the GSM extension table, each sent as ESC and its code.
const char32_t* const kExtensionPhrases[] = {
    U"Setpoint [45] ~ 47", U"{mode: auto}", U"A|B valve", U"Cost 20\u20ac/h", U"path C:\\log",
    U"level ^2 reached",
};
const char32_t* const kChinesePhrases[] = {
    U"泵站3号压力过高", U"液位报警，请检查", U"温度超限：41度", U"电源已恢复正常", U"门禁告警",
    U"设备运行正常", U"二号压缩机跳闸", U"请立即到现场处理", U"流量偏低，检查阀门",
};
const char* const kUnsolicitedLines[] = {"RING", "+CREG: 1", "+CREG: 5", "+CREG: 2",
                                         "+CMTI: \"SM\",7", "+CREG: 1,\"00C3\",\"291A\""};
// Refusals the network gives with a reason that may pass (congestion,
// resources, a clash with an incoming message) and ones that will not.
const int kTemporaryRefusals[] = {42, 41, 47, 332, 512};
const int kPermanentRefusals[] = {21, 28, 96};

std::u32string Tag(int id, int part, int parts) {
    std::string tag = "M" + std::to_string(id);
    if (parts > 1) tag += "." + std::to_string(part + 1);
    return std::u32string(tag.begin(), tag.end());
}

}  // namespace

FieldSchedule::FieldSchedule(std::uint64_t seed, Tc35Model& modem)
    : random_(seed), reports_random_(seed ^ 0x5265706F72747300ull), modem_(modem) {
    next_[Event::kSingle] = Interval(0, 2 * kHour);
    next_[Event::kBurst] = Interval(4 * kHour, 20 * kHour);
    next_[Event::kPowerCycle] = Interval(1 * kDay, 5 * kDay);
    next_[Event::kEcho] = Interval(3 * kDay, 20 * kDay);
    next_[Event::kUnsolicited] = Interval(5 * kMinute, 3 * kHour);
    next_[Event::kCable] = Interval(2 * kDay, 10 * kDay);
    next_[Event::kSlowSim] = Interval(1 * kDay, 30 * kDay);
    KeepProfile();
}

// What the plant's modem keeps in its stored profile (AT&W at
// commissioning): new-message indications on, and the SIM store's overflow
// presented.
void FieldSchedule::KeepProfile() {
    modem_.settings().cnmi[1] = 1;
    modem_.settings().smgo = 1;
}

void FieldSchedule::RunUntil(std::uint64_t now_ms) {
    ReportOnSent();
    if (now_ms < earliest_ && waiting_.empty()) return;
    for (;;) {
        std::uint64_t at = ~std::uint64_t{0};
        Event event = Event::kSingle;
        for (const auto& [kind, when] : next_) {
            if (when < at) {
                at = when;
                event = kind;
            }
        }
        const bool part = !due_.empty() && due_.begin()->first <= at;
        if (part) at = due_.begin()->first;
        if (at > now_ms) {
            earliest_ = at;
            break;
        }
        if (part) {
            const PartDue due = due_.begin()->second;
            due_.erase(due_.begin());
            Offer(due, now_ms);
        } else {
            Fire(event, now_ms);
        }
    }
    if (!waiting_.empty()) ServiceCentre(now_ms);
}

void FieldSchedule::Fire(Event event, std::uint64_t now_ms) {
    std::uint64_t& next = next_[event];
    switch (event) {
        case Event::kSingle:
            NewArrival(next);
            next += Interval(0, 2 * kHour);
            break;
        case Event::kBurst: {
            ++counts_.bursts;
            std::uint64_t at = next;
            for (int n = static_cast<int>(random_.Between(3, 12)); n > 0; --n) {
                NewArrival(at);
                at += Interval(300, 15 * kSecond);
            }
            next += Interval(4 * kHour, 20 * kHour);
            break;
        }
        case Event::kPowerCycle: {
            ++counts_.power_cycles;
            const auto startup = static_cast<std::uint32_t>(Interval(300, 3000));
            modem_.PowerCycle(now_ms, startup);
            drops_.push_back({now_ms, now_ms + startup});
            KeepProfile();
            next += Interval(1 * kDay, 5 * kDay);
            break;
        }
        case Event::kEcho:
            // Another program on the port (a terminal, a diagnostic tool)
            // sent ATE0 or ATE1.
            ++counts_.echo_switches;
            modem_.settings().echo = !modem_.settings().echo;
            next += Interval(3 * kDay, 20 * kDay);
            break;
        case Event::kUnsolicited: {
            const char* line = random_.Pick(kUnsolicitedLines);
            if (random_.Percent(50)) {
                ++counts_.unsolicited_inside;
                modem_.faults().urc_in_answer = line;
            } else {
                ++counts_.unsolicited;
                modem_.Unsolicited(line, now_ms);
            }
            next += Interval(5 * kMinute, 3 * kHour);
            break;
        }
        case Event::kCable: {
            ++counts_.cable_pulls;
            const std::uint64_t pulled = Interval(1 * kMinute, 15 * kMinute);
            counts_.cable_pulled_ms += pulled;
            modem_.HangUp(now_ms, pulled);
            drops_.push_back({now_ms, now_ms + pulled});
            next += Interval(2 * kDay, 10 * kDay);
            break;
        }
        case Event::kSlowSim:
            modem_.faults().listing_entry_gap_ms =
                random_.Percent(60) ? 0 : static_cast<std::uint32_t>(Interval(20, 600));
            if (modem_.faults().listing_entry_gap_ms > 0) ++counts_.slow_sim_periods;
            next += Interval(5 * kDay, 30 * kDay);
            break;
    }
    if (next <= now_ms) next = now_ms + 1;  // a long call may have passed several
}

void FieldSchedule::NewArrival(std::uint64_t at_ms) {
    FieldArrival a;
    a.id = static_cast<int>(arrivals_.size()) + 1;
    a.sender = random_.Pick(kSenders);
    a.offered_ms = at_ms;
    a.coding = random_.Percent(40) ? Coding::kUcs2 : Coding::kGsm7;
    a.extension = a.coding == Coding::kGsm7 && random_.Percent(25);
    const int parts = random_.Percent(12) ? static_cast<int>(random_.Between(2, 4)) : 1;
    const int reference = next_reference_;
    next_reference_ = next_reference_ % 255 + 1;

    ++counts_.arrivals;
    counts_.parts += parts;
    if (parts > 1) ++counts_.long_messages;
    if (a.coding == Coding::kUcs2) ++counts_.chinese;
    if (a.extension) ++counts_.extension;

    std::uint64_t at = at_ms;
    for (int k = 0; k < parts; ++k) {
        DeliverFields f;
        f.sender = a.sender;
        f.timestamp = NetworkTime(at);
        f.coding = a.coding;
        f.text = PartText(a, k, parts);
        if (parts > 1) f.part = Concatenation{reference, parts, k + 1};
        a.texts.push_back(f.text);
        a.pdus.push_back(DeliverPdu(f));
        due_.emplace(at, PartDue{a.id - 1, k});
        at += Interval(200, 5 * kSecond);
    }
    arrivals_.push_back(std::move(a));
    earliest_ = 0;  // RunUntil looks again
}

// The tag, then phrases until the part is full (a long message's parts but
// the last) or a random length is reached.
std::u32string FieldSchedule::PartText(const FieldArrival& a, int part, int parts) {
    const bool ucs2 = a.coding == Coding::kUcs2;
    const std::size_t room = parts > 1 ? (ucs2 ? kPartUcs2Units : kPartGsmSeptets)
                                       : (ucs2 ? kSingleUcs2Units : kSingleGsmSeptets);
    const bool fill = part + 1 < parts;
    const std::size_t want = fill ? room : random_.Between(12, room);
    std::u32string text = Tag(a.id, part, parts);
    std::size_t used = text.size();  // tags are in the default alphabet: one septet each
    for (;;) {
        std::u32string phrase = ucs2 ? random_.Pick(kChinesePhrases)
                                : a.extension && random_.Percent(50) ? random_.Pick(kExtensionPhrases)
                                                                     : random_.Pick(kGsmPhrases);
        phrase = (ucs2 ? U"，" : U"; ") + phrase;
        bool full = false;
        for (char32_t c : phrase) {
            std::vector<std::uint8_t> septets;
            const std::size_t cost = ucs2 ? 1 : (UnicodeToGsm(std::u32string(1, c), &septets), septets.size());
            if (used + cost > want) {
                full = true;
                break;
            }
            text += c;
            used += cost;
        }
        if (full) break;
    }
    // A text that ends in blanks would read differently once shown.
    while (!text.empty() && text.back() == U' ') text.pop_back();
    return text;
}

// A part reaches the modem, unless the SIM store is full: then it waits at
// the service centre behind any that wait already.
void FieldSchedule::Offer(const PartDue& due, std::uint64_t now_ms) {
    const std::string& pdu = arrivals_[static_cast<std::size_t>(due.arrival)].pdus[static_cast<std::size_t>(due.part)];
    if (waiting_.empty() && modem_.Deliver(pdu, now_ms) > 0) {
        if (modem_.StoreUsed() >= modem_.capacity()) Overflow(1, now_ms);
        return;
    }
    ++counts_.store_full_waits;
    waiting_.push_back({due.arrival, due.part, now_ms});
    Overflow(2, now_ms);
}

// The service centre retries once the modem has room (TS 23.040 10.3: the
// mobile reports memory available), and drops what has waited past its
// validity period.
void FieldSchedule::ServiceCentre(std::uint64_t now_ms) {
    while (!waiting_.empty() && waiting_.front().since + kValidityMs <= now_ms) {
        const Waiting& w = waiting_.front();
        losses_.push_back({arrivals_[static_cast<std::size_t>(w.arrival)].id, w.part,
                           arrivals_[static_cast<std::size_t>(w.arrival)].offered_ms, full_since_, now_ms});
        ++counts_.expired;
        waiting_.erase(waiting_.begin());
    }
    while (!waiting_.empty() && modem_.StoreUsed() < modem_.capacity() && !modem_.HungUp(now_ms)) {
        const Waiting& w = waiting_.front();
        modem_.Deliver(arrivals_[static_cast<std::size_t>(w.arrival)].pdus[static_cast<std::size_t>(w.part)], now_ms);
        ++counts_.delivered_after_wait;
        waiting_.erase(waiting_.begin());
    }
    if (modem_.StoreUsed() < modem_.capacity()) Overflow(waiting_.empty() ? 0 : 2, now_ms);
}

void FieldSchedule::Overflow(int mode, std::uint64_t now_ms) {
    if (modem_.overflow() == 0 && mode != 0) full_since_ = now_ms;
    modem_.SetOverflow(mode, now_ms);
}

bool FieldSchedule::DroppedWithin(std::uint64_t from_ms, std::uint64_t until_ms) const {
    for (auto it = drops_.rbegin(); it != drops_.rend(); ++it) {
        if (it->from_ms <= until_ms && it->until_ms >= from_ms) return true;
        if (it->from_ms + kDay < from_ms) break;  // no drop lasts a day
    }
    return false;
}

void FieldSchedule::OnCommand(const std::string& line, std::uint64_t) {
    if (line.rfind("AT+CMGS=", 0) != 0) return;
    modem_.ClearFailures();
    Faults& f = modem_.faults();
    f.send_result_delay_ms = 0;
    verdict_delay_ms_ = 0;
    if (calm_) return;
    if (random_.Permille(10)) {
        ++counts_.refusals_permanent;
        modem_.FailCommand("CMGS", random_.Pick(kPermanentRefusals), 1);
    } else if (random_.Permille(50)) {
        ++counts_.refusals_temporary;
        modem_.FailCommand("CMGS", random_.Pick(kTemporaryRefusals), 1);
    } else if (random_.Percent(75)) {
        ++counts_.verdicts_quick;
        f.send_result_delay_ms = static_cast<std::uint32_t>(Interval(300, 3000));
    } else if (random_.Percent(85)) {
        ++counts_.verdicts_late;
        f.send_result_delay_ms = static_cast<std::uint32_t>(Interval(3000, 40000));
    } else {
        f.send_result_delay_ms = static_cast<std::uint32_t>(Interval(40000, 75000));
        if (f.send_result_delay_ms > 60000) ++counts_.verdicts_past_limit;
        else ++counts_.verdicts_late;
    }
    verdict_delay_ms_ = f.send_result_delay_ms;
}

void FieldSchedule::ReportOnSent() {
    // A long message's parts each went out on their own; Sent() joins them.
    const auto& sent = modem_.Sent();
    for (; sent_seen_ < sent.size(); ++sent_seen_)
        if (sent[sent_seen_].parts == 1) ReportOn(sent[sent_seen_]);
    const auto& parts = modem_.SentParts();
    for (; parts_seen_ < parts.size(); ++parts_seen_) ReportOn(parts[parts_seen_]);
}

// What a network does with the reports a plant's messages ask for: most
// phones take the message within seconds; some are off or out of coverage
// for hours, and the service centre may say it keeps trying before it
// delivers or gives up when the validity period ends; some numbers cannot
// take it; and some reports never come.
void FieldSchedule::ReportOn(const SentMessage& sent) {
    if (!sent.report_requested) return;
    ++counts_.reports_asked;
    FieldRandom& r = reports_random_;
    const std::uint64_t verdict = sent.at_ms + verdict_delay_ms_;
    const unsigned draw = static_cast<unsigned>(r.Below(1000));
    if (draw < 780) {
        ++counts_.reports_soon;
        Report(sent, verdict + r.Between(2 * kSecond, 30 * kSecond), kReportDelivered);
    } else if (draw < 840) {
        ++counts_.reports_hours;
        Report(sent, verdict + r.Between(1 * kHour, 18 * kHour), kReportDelivered);
    } else if (draw < 890) {
        ++counts_.reports_trying_delivered;
        const std::uint64_t trying = verdict + r.Between(30 * kSecond, 5 * kMinute);
        Report(sent, trying, static_cast<int>(r.Between(0x20, 0x25)));
        Report(sent, trying + r.Between(1 * kHour, 12 * kHour), kReportDelivered);
    } else if (draw < 920) {
        ++counts_.reports_trying_expired;
        Report(sent, verdict + r.Between(30 * kSecond, 5 * kMinute), 0x22);  // no response from the phone
        Report(sent, sent.at_ms + kValidityMs, kReportExpired);
    } else if (draw < 950) {
        ++counts_.reports_failed;
        // Incompatible destination, not obtainable, or no response and the
        // service centre tries no more.
        const int kFailures[] = {0x41, 0x43, 0x62};
        Report(sent, verdict + r.Between(3 * kSecond, kMinute), r.Pick(kFailures));
    } else {
        ++counts_.reports_never;
    }
}

void FieldSchedule::Report(const SentMessage& sent, std::uint64_t at_ms, int status) {
    const std::size_t index = modem_.Reports().size();
    if (!modem_.ScheduleReport(sent.reference, sent.number, at_ms, status)) return;
    reports_.push_back({index, sent.number, sent.text, sent.parts == 1 ? 1 : sent.sequence,
                        sent.parts});
}

void FieldSchedule::Calm(std::uint64_t now_ms) {
    calm_ = true;
    next_.clear();
    Faults& f = modem_.faults();
    f.listing_entry_gap_ms = 0;
    f.urc_in_answer.clear();
    f.send_result_delay_ms = 0;
    modem_.ClearFailures();
    earliest_ = now_ms;
}

}  // namespace modem
