// The ledger of a field run, kept both ways against the modem model's own
// records. Messages in: every part the network delivered is shown to the
// host exactly once as unread, or, when the modem marked it read without
// the host seeing it (more than the 10 unread slots, a listing cut short),
// once from the read listing, with the reason noted; a part the modem never
// stored was dropped by the service centre while the SIM store was full, and
// the host's trace says so; nothing is shown that the network never sent.
// Messages out: a send the host heard as SReturn 1 is one message at the
// modem, one refused is none, one whose outcome the trace calls unknown is at
// most one; and the modem sent nothing the host did not ask for.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "modem/field_schedule.h"
#include "modem/modem_model.h"

namespace vantor::test {

// One message the host asked to send, and what it heard of each SEND.
struct SendJob {
    int id = 0;
    std::string tele;
    std::string utf8;      // the body as the modem should record it
    bool textMode = false;
    int parts = 1;
    int writes = 0, done = 0, unknown = 0, refused = 0;
    bool verdictSeen = false;          // a late verdict on it reached the driver
    bool writtenAfterVerdict = false;  // the host sent it again after that
};

struct LedgerFigures {
    int partsShownUnread = 0;
    // Text mode shows the user data of a part as hex with no septet count: a
    // 7-bit text ending in '@' that fills its octets reads the same as one
    // whose last septet is the fill bits (TS 23.040 9.2.3.24), and shows
    // without the '@'.
    int textModeTrailingAt = 0;
    int partsShownFromReadListing = 0;
    std::map<std::string, int> whyFromReadListing;
    int partsLostAtServiceCentre = 0;
    int partsStillOnTheirWay = 0;
    int sendJobs = 0, sendWrites = 0, sentDone = 0, sentUnknown = 0, sentRefused = 0;
    int messagesAtModem = 0, unknownThatArrived = 0;
    int atModemTwice = 0;  // messages the host asked for once that reached the modem twice
    int lateVerdictsSeen = 0;  // outcomes unknown whose verdict reached the driver later
    // Status reports: those the network sent (each "still trying" one
    // counts), what became of them at the modem, and the journal's lines.
    int reportsSent = 0, reportsAcknowledged = 0, reportsJournaled = 0;
    int reportsDelivered = 0, reportsTrying = 0, reportsNotDelivered = 0;  // journaled, by event
    // Not acknowledged in time, or never given to the driver: by the
    // modem's reason, and whether the journal has it all the same.
    std::map<std::string, int> reportsLost;
    int reportsOnUnknownSends = 0;  // journaled without their message: sent before the driver object
    int reportsToCome = 0;          // due after the run ended
};

class FieldLedger {
public:
    FieldLedger(const modem::Tc35Model& modem, const modem::FieldSchedule& field)
        : modem_(modem), field_(field) {}

    // --- messages in, as the host sees them (GBK header and body) ---
    void BeforeUnreadListing(std::uint64_t now);
    void ShownUnread(const std::string& header, const std::string& body, std::uint64_t now);
    // Once the listing has been read; `trace` holds the call's trace lines.
    // Every message the modem marked read and the host did not see gets its
    // reason, or is a fault.
    void AfterUnreadListing(int result, int entries, const std::vector<std::string>& trace,
                            std::uint64_t now);
    // True when the host had not seen the message before.
    bool ShownRead(const std::string& header, const std::string& body, std::uint64_t now);
    // The driver traced that the SIM store is full ("^SMGO: 1" or "^SMGO: 2").
    void OverflowTraced(std::uint64_t now) { overflowTraced_.push_back(now); }

    // --- status reports, as the journal has them ---
    // Reads the lines the driver journaled since the last call (the day
    // files in the default folder; old ones are removed as the year goes).
    void ReadJournal();
    // The driver traced a report it found no message for.
    void ReportWithoutMessage() { ++reportsWithoutMessage_; }

    // --- messages out ---
    SendJob& NewJob(const std::string& tele, const std::string& utf8, bool textMode, int parts);
    SendJob& Job(int id) { return jobs_.at(static_cast<std::size_t>(id - 1)); }

    // Anything that breaks the promise, with its virtual time.
    void Fault(std::uint64_t now, const std::string& what);
    const std::vector<std::string>& Faults() const { return faults_; }

    // The closing balance, once the run has ended and the modem's store has
    // been listed empty: adds what does not balance to Faults().
    LedgerFigures Close();

private:
    struct Part {
        int unreadShows = 0;
        int readShows = 0;
        std::string why;  // marked read without an unread show
    };
    using PartKey = std::pair<int, int>;  // arrival id, part (0-based)

    // The part a shown entry is, checked against what the network sent and
    // where the modem stored it; nullptr (and a fault) when it is none.
    Part* Match(const std::string& header, const std::string& body, std::uint64_t now);
    void IndexArrivals();
    void CloseReports(LedgerFigures& f, std::uint64_t end);

    const modem::Tc35Model& modem_;
    const modem::FieldSchedule& field_;
    std::map<PartKey, Part> parts_;
    std::map<std::string, PartKey> byPdu_;
    std::size_t arrivalsIndexed_ = 0;
    std::map<std::string, std::set<int>> storedAt_;  // PDU -> storage indices it had
    std::size_t storedIndexed_ = 0;
    int unreadBefore_ = 0;
    std::size_t storedBefore_ = 0;
    std::uint64_t listingStart_ = 0;
    std::set<PartKey> shownThisListing_;
    int textModeTrailingAt_ = 0;
    std::vector<std::uint64_t> overflowTraced_;
    std::vector<SendJob> jobs_;
    // A report line of the journal: event, number, parts, reference, result,
    // status and text.
    struct JournaledReport {
        std::string event, number, parts, reference, result, status, text;
    };
    std::vector<JournaledReport> journaled_;
    std::map<std::string, std::size_t> journalRead_;  // day file -> bytes read
    int reportsWithoutMessage_ = 0;
    std::vector<std::string> faults_;
    std::map<std::string, int> traceSamples_;  // reason -> samples kept
};

}  // namespace vantor::test
