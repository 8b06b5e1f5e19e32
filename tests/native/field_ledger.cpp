#include "field_ledger.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <tuple>

#include "journal/line_format.h"
#include "journal/settings.h"
#include "modem/deliver_pdu.h"
#include "modem/gsm_charset.h"
#include "os/virt/virt.h"
#include "sms_test_util.h"

namespace vantor::test {
namespace {

// How many traces of each reason a message was shown only from the read
// listing the ledger prints.
constexpr int kTraceSamples = 2;
// The one reason the contract gives: entries beyond the unread slots are
// marked read by the listing and wait in the read listing.
// What the driver takes to acknowledge a report once the modem has answered
// the command it was running (reading the end of that answer, AT+CNMA).
constexpr std::uint64_t kAcknowledgeMs = 1000;
// What a restarted modem's set-up for reports waits for: the next packet
// that talks to it (the host tests the link every second) and a few
// exchanges.
constexpr std::uint64_t kSetUpMs = 10000;
// How often the driver reads the modem's routing of reports, at the latest.
constexpr std::uint64_t kRoutingCheckMs = 10 * 60 * 1000 + kSetUpMs;
constexpr char kBeyondSlots[] = "more unread messages than the 10 unread slots";

std::string Clock(std::uint64_t ms) {
    char text[48];
    const std::uint64_t s = ms / 1000;
    std::snprintf(text, sizeof text, "day %llu %02llu:%02llu:%02llu.%03llu",
                  static_cast<unsigned long long>(s / 86400), static_cast<unsigned long long>(s / 3600 % 24),
                  static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

// "M17" or "M17.2" at the start of a body: the arrival and its part.
bool ParseTag(const std::string& body, int* id, int* part) {
    if (body.size() < 2 || body[0] != 'M') return false;
    std::size_t i = 1;
    long n = 0;
    for (; i < body.size() && body[i] >= '0' && body[i] <= '9' && n < 100000000; ++i) n = n * 10 + (body[i] - '0');
    if (i == 1) return false;
    *id = static_cast<int>(n);
    *part = 0;
    if (i < body.size() && body[i] == '.') {
        long k = 0;
        std::size_t j = i + 1;
        for (; j < body.size() && body[j] >= '0' && body[j] <= '9' && k < 100; ++j) k = k * 10 + (body[j] - '0');
        if (j == i + 1) return false;
        *part = static_cast<int>(k) - 1;
    }
    return true;
}

// The storage index at the head of a header, "<12>...".
int IndexOf(const std::string& header) {
    if (header.empty() || header[0] != '<') return -1;
    int n = 0;
    std::size_t i = 1;
    for (; i < header.size() && header[i] >= '0' && header[i] <= '9' && n < 100000; ++i) n = n * 10 + (header[i] - '0');
    return i > 1 && i < header.size() && header[i] == '>' ? n : -1;
}

std::string Digits(const std::string& number) {
    return !number.empty() && number[0] == '+' ? number.substr(1) : number;
}

// A journal line's fields, each without the text mark that keeps a
// spreadsheet from reading it as a number or a formula.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        std::string field = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        if (!field.empty() && field[0] == vantor::journal::kTextMark) field.erase(0, 1);
        fields.push_back(std::move(field));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// The journal's stamp of a time the model's network gave: its clock in
// China's zone, "2026-03-05 12:00:03 +08:00".
std::string JournalStamp(std::uint64_t ms) {
    const std::string d = modem::NetworkTime(ms);  // yyMMddhhmmss
    return "20" + d.substr(0, 2) + "-" + d.substr(2, 2) + "-" + d.substr(4, 2) + " " + d.substr(6, 2) + ":" +
           d.substr(8, 2) + ":" + d.substr(10, 2) + " +08:00";
}

// A text as a journal line holds it: a backslash escaped.
std::string JournalText(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

const char* FateName(modem::ReportFate fate) {
    switch (fate) {
        case modem::ReportFate::kScheduled: return "not sent yet";
        case modem::ReportFate::kHeld: return "held at the modem";
        case modem::ReportFate::kRouted: return "given to the line, not acknowledged yet";
        case modem::ReportFate::kAcknowledged: return "acknowledged";
        case modem::ReportFate::kUnacknowledged: return "not acknowledged in time";
        case modem::ReportFate::kNotRouted: return "not routed to the line";
        case modem::ReportFate::kLostInRestart: return "lost in a restart before its acknowledgement";
    }
    return "?";
}

}  // namespace

void FieldLedger::IndexArrivals() {
    const auto& arrivals = field_.Arrivals();
    for (; arrivalsIndexed_ < arrivals.size(); ++arrivalsIndexed_) {
        const modem::FieldArrival& a = arrivals[arrivalsIndexed_];
        for (std::size_t k = 0; k < a.pdus.size(); ++k) byPdu_[a.pdus[k]] = {a.id, static_cast<int>(k)};
    }
}

void FieldLedger::Fault(std::uint64_t now, const std::string& what) {
    faults_.push_back(Clock(now) + ": " + what);
}

FieldLedger::Part* FieldLedger::Match(const std::string& header, const std::string& body,
                                      std::uint64_t now) {
    const std::string text = Utf8(body);
    const std::string shown = Utf8(header) + "@" + text;
    int id = 0, part = 0;
    const auto& arrivals = field_.Arrivals();
    if (!ParseTag(text, &id, &part) || id < 1 || id > static_cast<int>(arrivals.size())) {
        Fault(now, "shown, never sent by the network: " + shown);
        return nullptr;
    }
    const modem::FieldArrival& a = arrivals[static_cast<std::size_t>(id - 1)];
    if (part < 0 || part >= static_cast<int>(a.texts.size())) {
        Fault(now, "shown, a part the network never sent: " + shown);
        return nullptr;
    }
    const std::string expected = modem::ToUtf8(a.texts[static_cast<std::size_t>(part)]);
    const bool textMode = header.find(" Message From ") != std::string::npos;
    if (textMode && a.coding == modem::Coding::kGsm7 && a.texts.size() > 1 && body + "@" == Gbk(expected)) {
        ++textModeTrailingAt_;
    } else if (body != Gbk(expected)) {
        Fault(now, "shown with another text: " + shown + " (sent: " + expected + ")");
        return nullptr;
    }
    if (Utf8(header).find(Digits(a.sender)) == std::string::npos)
        Fault(now, "shown from another sender: " + shown + " (sent by " + a.sender + ")");
    // The header's storage index is one the modem stored this part at.
    const int index = IndexOf(header);
    const std::string& pdu = a.pdus[static_cast<std::size_t>(part)];
    const auto& history = modem_.Stored();
    for (; storedIndexed_ < history.size(); ++storedIndexed_)
        storedAt_[history[storedIndexed_].pdu].insert(history[storedIndexed_].index);
    const auto at = storedAt_.find(pdu);
    if (at == storedAt_.end() || at->second.count(index) == 0)
        Fault(now, "shown at a storage index the modem never gave it: " + shown);
    return &parts_[{id, part}];
}

void FieldLedger::BeforeUnreadListing(std::uint64_t now) {
    shownThisListing_.clear();
    unreadBefore_ = modem_.StoreUnread();
    storedBefore_ = modem_.Stored().size();
    listingStart_ = now;
}

void FieldLedger::ShownUnread(const std::string& header, const std::string& body, std::uint64_t now) {
    Part* p = Match(header, body, now);
    if (p == nullptr) return;
    if (++p->unreadShows == 2)
        Fault(now, "shown twice as unread: " + Utf8(header) + "@" + Utf8(body));
    int id = 0, part = 0;
    ParseTag(Utf8(body), &id, &part);
    shownThisListing_.insert({id, part});
}

void FieldLedger::AfterUnreadListing(int result, int entries, const std::vector<std::string>& trace,
                                     std::uint64_t now) {
    // Only an unread listing marks a message read. When none was unread
    // before it and none arrived meanwhile, this one marked none.
    if (unreadBefore_ == 0 && modem_.Stored().size() == storedBefore_) return;
    IndexArrivals();
    const bool echoLost = std::any_of(trace.begin(), trace.end(), [](const std::string& line) {
        return line.rfind("No echo from the modem", 0) == 0;
    });
    for (const auto& m : modem_.Messages()) {
        if (!m.read) continue;
        const auto key = byPdu_.find(m.pdu);
        if (key == byPdu_.end() || shownThisListing_.count(key->second) != 0) continue;
        Part& p = parts_[key->second];
        if (p.unreadShows > 0 || p.readShows > 0 || !p.why.empty()) continue;
        // Marked read by this listing, and not shown by it.
        if (result == 1 && entries >= 10) {
            p.why = kBeyondSlots;
        } else if (result != 1 && field_.DroppedWithin(listingStart_, now)) {
            p.why = "the line went dead (cable pulled, power cut) while the modem answered";
        } else if (result != 1 && echoLost) {
            p.why = "another program switched the echo off: the first answer without it is not trusted";
        } else {
            p.why = result != 1 ? "the unread listing failed after the modem had listed it"
                                : "listed by the modem but not shown";
            Fault(now, "M" + std::to_string(key->second.first) + " part " + std::to_string(key->second.second + 1) +
                           " marked read and not shown: " + p.why);
        }
        int& samples = traceSamples_[p.why];
        if (p.why != kBeyondSlots && samples++ < kTraceSamples) {
            std::string lines;
            const std::size_t from = trace.size() > 40 ? trace.size() - 40 : 0;
            for (std::size_t i = from; i < trace.size(); ++i)
                lines += "    | " + trace[i] + (trace[i].empty() || trace[i].back() != '\n' ? "\n" : "");
            std::printf("field: %s: M%d part %d: %s (result %d, %d entries); the call's trace:\n%s",
                        Clock(now).c_str(), key->second.first, key->second.second + 1, p.why.c_str(), result,
                        entries, lines.c_str());
        }
    }
}

bool FieldLedger::ShownRead(const std::string& header, const std::string& body, std::uint64_t now) {
    Part* p = Match(header, body, now);
    if (p == nullptr || p->unreadShows > 0 || p->readShows > 0) return false;
    ++p->readShows;
    return true;
}

SendJob& FieldLedger::NewJob(const std::string& tele, const std::string& utf8, bool textMode, int parts) {
    SendJob job;
    job.id = static_cast<int>(jobs_.size()) + 1;
    job.tele = tele;
    job.utf8 = utf8;
    job.textMode = textMode;
    job.parts = parts;
    jobs_.push_back(job);
    return jobs_.back();
}

void FieldLedger::ReadJournal() {
    const std::string folder = std::string(os::virt::kCommonAppData) + "\\" + journal::kDefaultSubfolder;
    // Lines go to the file of their local day: only the last file read and
    // those after it can have grown.
    const std::string since = journalRead_.empty() ? std::string() : journalRead_.rbegin()->first;
    for (const std::string& name : os::virt::FilesIn(folder)) {
        if (name < since) continue;
        const std::string text = os::virt::FileText(folder + "\\" + name);
        std::size_t& at = journalRead_[name];
        for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
            std::vector<std::string> f = Fields(text.substr(at, end - at));
            if (f.size() != 10 || (f[2] != "delivered" && f[2] != "still trying" && f[2] != "not delivered"))
                continue;
            journaled_.push_back({f[2], f[3], f[4], f[5], f[6], f[7], f[9]});
        }
    }
}

// Every report the network sent either reached the driver, acknowledged,
// and is journaled once against the part it is on, or the modem lost it for
// a reason the field gave (the line dead, a restart, routing the modem
// switched off after one of those); the journal holds no other.
void FieldLedger::CloseReports(LedgerFigures& f, std::uint64_t end) {
    ReadJournal();
    const auto& sent = modem_.Reports();
    const auto& planned = field_.Reports();
    std::map<std::tuple<std::string, int, int>, std::vector<std::size_t>> byKey;  // number, mr, status
    for (std::size_t i = 0; i < planned.size(); ++i) {
        const modem::StatusReport& r = sent[planned[i].report];
        if (r.fate == modem::ReportFate::kScheduled) {
            ++f.reportsToCome;
            continue;
        }
        ++f.reportsSent;
        byKey[{r.number, r.reference, r.status}].push_back(i);
    }
    std::vector<int> journaled(planned.size(), 0);
    for (const JournaledReport& j : journaled_) {
        ++f.reportsJournaled;
        f.reportsDelivered += j.event == "delivered";
        f.reportsTrying += j.event == "still trying";
        f.reportsNotDelivered += j.event == "not delivered";
        const std::string line = j.event + " | " + j.number + " | " + j.parts + " | " + j.reference + " | " +
                                 j.result + " | " + j.status + " | " + j.text;
        const int status = j.status.rfind("status ", 0) == 0 ? std::atoi(j.status.c_str() + 7) : -1;
        const auto candidates = byKey.find({j.number, std::atoi(j.reference.c_str()), status});
        std::size_t found = planned.size();
        if (candidates != byKey.end()) {
            for (std::size_t i : candidates->second) {
                if (j.result.find(JournalStamp(sent[planned[i].report].discharge_ms)) == std::string::npos) continue;
                found = i;
                if (journaled[i] == 0) break;
            }
        }
        if (found == planned.size()) {
            Fault(end, "journaled a report the network never sent: " + line);
            continue;
        }
        if (++journaled[found] == 2) Fault(end, "report journaled twice: " + line);
        const modem::FieldReport& p = planned[found];
        const std::string parts = p.parts == 1 ? "1" : std::to_string(p.part) + "/" + std::to_string(p.parts);
        // On a part the driver object did not know (sent before an HMI
        // restart): the number and reference alone, as the report has them.
        if (j.parts.empty() && j.text.empty()) {
            if (++f.reportsOnUnknownSends > reportsWithoutMessage_)
                Fault(end, "report journaled without its message, and no trace says why: " + line);
            continue;
        }
        if (j.parts != parts || j.text.find(JournalText(p.text)) == std::string::npos)
            Fault(end, "report journaled against another message: " + line + " (on part " + parts + " of \"" +
                           p.text + "\")");
    }
    // A report not acknowledged in time is the modem's to lose when it was
    // still answering a command (a late verdict, a slow listing) when the
    // network's time ran out, or the line was dead; the reports it held
    // behind it are lost with the routing it then switched off.
    std::set<std::uint64_t> explainedSwitchOffs;
    for (std::size_t i = 0; i < planned.size(); ++i) {
        const modem::StatusReport& r = sent[planned[i].report];
        if (r.fate == modem::ReportFate::kUnacknowledged &&
            (r.free_ms + kAcknowledgeMs >= r.settled_ms || field_.DroppedWithin(r.routed_ms, r.settled_ms)))
            explainedSwitchOffs.insert(r.settled_ms);
    }
    for (std::size_t i = 0; i < planned.size(); ++i) {
        const modem::StatusReport& r = sent[planned[i].report];
        const std::string name = "report (status " + std::to_string(r.status) + ") on mr " +
                                 std::to_string(r.reference) + " to " + r.number + ", due " + Clock(r.due_ms) +
                                 ", " + FateName(r.fate) + " " + Clock(r.settled_ms);
        std::string why;
        switch (r.fate) {
            case modem::ReportFate::kScheduled:
                continue;
            case modem::ReportFate::kAcknowledged:
                ++f.reportsAcknowledged;
                if (journaled[i] == 0) Fault(r.settled_ms, name + ": acknowledged and never journaled");
                continue;
            case modem::ReportFate::kHeld:
            case modem::ReportFate::kRouted:
                why = "at the modem when the run ended";
                break;
            case modem::ReportFate::kUnacknowledged:
                if (field_.DroppedWithin(r.routed_ms, r.settled_ms)) why = "the line dead";
                else if (r.free_ms + kAcknowledgeMs >= r.settled_ms)
                    why = "the modem answered its command only " + std::to_string((r.free_ms - r.routed_ms) / 1000) +
                          " s after it, too late to acknowledge it";
                break;
            case modem::ReportFate::kNotRouted:
                if (explainedSwitchOffs.count(r.settled_ms) != 0) {
                    why = "held behind one lost so";
                } else if (const auto off = explainedSwitchOffs.upper_bound(r.settled_ms);
                           off != explainedSwitchOffs.begin() && r.settled_ms - *std::prev(off) <= kRoutingCheckMs) {
                    // The driver never read that one: it finds the routing
                    // off before its next send, or within ten minutes.
                    why = "routing off after one lost so, before the driver found it off";
                }
                else if (field_.DroppedWithin(r.settled_ms - std::min<std::uint64_t>(r.settled_ms, kSetUpMs), r.settled_ms))
                    why = "the modem restarting, before the driver set it up again";
                break;
            case modem::ReportFate::kLostInRestart:
                if (field_.DroppedWithin(r.routed_ms, r.settled_ms)) why = "the modem restarting";
                break;
        }
        // The driver may have read and journaled it, its acknowledgement
        // refused as too late: lost to the network, not to the journal.
        std::string kind = journaled[i] != 0 ? std::string("journaled, ") + FateName(r.fate)
                                             : std::string("lost, ") + FateName(r.fate);
        if (why.empty()) {
            Fault(r.settled_ms, name + ": lost at the modem");
            why = "no reason the field gave";
        }
        // One entry per kind of reason: the seconds a late answer took vary.
        const std::size_t cut = why.find(" only ");
        ++f.reportsLost[kind + ": " + (cut == std::string::npos ? why : "the modem answered its command too late")];
    }
}

LedgerFigures FieldLedger::Close() {
    LedgerFigures f;
    f.textModeTrailingAt = textModeTrailingAt_;
    IndexArrivals();
    const std::uint64_t end = os::virt::Now();

    // --- messages in ---
    std::set<PartKey> lost;
    for (const modem::FieldLoss& loss : field_.Losses()) {
        lost.insert({loss.id, loss.part});
        ++f.partsLostAtServiceCentre;
        // The host was told the store was full while the message waited.
        const bool told = std::any_of(overflowTraced_.begin(), overflowTraced_.end(), [&](std::uint64_t t) {
            return t >= loss.full_since_ms && t <= loss.expired_ms;
        });
        if (!told)
            Fault(loss.expired_ms, "M" + std::to_string(loss.id) + " part " + std::to_string(loss.part + 1) +
                                       " dropped by the service centre, and no ^SMGO in the trace said the "
                                       "store was full");
    }
    std::set<std::string> storedPdus;
    for (const auto& m : modem_.Stored()) storedPdus.insert(m.pdu);
    for (const modem::FieldArrival& a : field_.Arrivals()) {
        for (std::size_t k = 0; k < a.pdus.size(); ++k) {
            const PartKey key{a.id, static_cast<int>(k)};
            const Part p = parts_.count(key) ? parts_[key] : Part{};
            const std::string name = "M" + std::to_string(a.id) + " part " + std::to_string(k + 1);
            if (lost.count(key) != 0) {
                if (p.unreadShows + p.readShows > 0) Fault(end, name + " shown, yet the service centre dropped it");
                continue;
            }
            if (storedPdus.count(a.pdus[k]) == 0) {
                ++f.partsStillOnTheirWay;  // offered after the run's last listing
                continue;
            }
            if (p.unreadShows == 1) {
                ++f.partsShownUnread;
            } else if (p.readShows == 1) {
                ++f.partsShownFromReadListing;
                ++f.whyFromReadListing[p.why];
                if (p.why.empty()) Fault(end, name + " shown from the read listing, read by no unread listing");
            } else if (p.unreadShows == 0) {
                Fault(end, name + " reached the modem and was never shown");
            }
        }
    }

    // --- messages out ---
    std::map<std::pair<std::string, std::string>, int> copies;  // (number, text) -> messages
    for (const modem::SentMessage& m : modem_.Sent()) ++copies[{m.number, m.text}];
    f.messagesAtModem = static_cast<int>(modem_.Sent().size());
    for (const SendJob& job : jobs_) {
        ++f.sendJobs;
        f.sendWrites += job.writes;
        f.sentDone += job.done;
        f.sentUnknown += job.unknown;
        f.sentRefused += job.refused;
        auto it = copies.find({job.tele, job.utf8});
        const int n = it == copies.end() ? 0 : it->second;
        if (it != copies.end()) copies.erase(it);
        const std::string name = "send S" + std::to_string(job.id) + " (" + std::to_string(job.parts) +
                                 " part(s), " + (job.textMode ? "text" : "PDU") + " mode, SReturn 1 " +
                                 std::to_string(job.done) + "x, unknown " + std::to_string(job.unknown) +
                                 "x, refused " + std::to_string(job.refused) + "x)";
        if (job.done > 1) Fault(end, name + ": the host was told twice that it went");
        if (n < job.done) Fault(end, name + ": " + std::to_string(n) + " message(s) at the modem");
        if (n > job.done + job.unknown)
            Fault(end, name + ": " + std::to_string(n) + " message(s) at the modem, more than it was told");
        f.unknownThatArrived += n - job.done > 0 ? n - job.done : 0;
        f.atModemTwice += n > 1;
        f.lateVerdictsSeen += job.verdictSeen;
        if (n > 1 && job.writtenAfterVerdict)
            Fault(end, name + ": at the modem twice, although its verdict had reached the driver");
    }
    for (const auto& [key, n] : copies)
        Fault(end, std::to_string(n) + " message(s) to " + key.first + " that the host never asked for: " +
                       key.second);
    CloseReports(f, end);
    return f;
}

}  // namespace vantor::test
