// A host that behaves like an HMI runtime on the plant's machine, in virtual
// time: it tests the link every second, lists the unread messages every 10 s
// and shows what is new, deletes what it has shown (except in the stretches
// when nobody looks after it), lists the read messages when the unread
// slots overflowed or a listing failed, reads the settings now and then,
// sends messages at random moments, PDU mode most of the year and text mode
// for weeks of it, and is restarted now and then with another reply
// time-out (100 ms to 5 s). Every call is timed against its documented bound.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/gsm_modem.h"
#include "field_ledger.h"
#include "modem/field_random.h"
#include "modem/field_schedule.h"
#include "packet_builder.h"

namespace vantor::test {

// What the host did over the run.
struct HostFigures {
    std::uint64_t linkTests = 0, linkFailures = 0, linkSkipped = 0;
    std::uint64_t unreadListings = 0, unreadListingsFailed = 0, readListings = 0, readListingsFailed = 0;
    std::uint64_t deletes = 0, deletesFailed = 0, settingsReads = 0, settingsReadsFailed = 0;
    std::uint64_t restarts = 0, modeSwitches = 0, daysTextMode = 0, daysWithoutDeletes = 0;
    std::uint64_t calls = 0;
    std::uint64_t restartsRestoredInTrace = 0, echoLossesInTrace = 0;
    // The longest call of each kind (virtual ms) and its documented bound.
    struct Longest {
        std::uint64_t ms = 0;
        std::uint64_t bound = 0;
    };
    std::map<std::string, Longest> longest;
    std::vector<std::int16_t> timeouts;  // the reply time-outs the plant ran with
};

class FieldHost {
public:
    FieldHost(std::uint64_t seed, modem::FieldSchedule& field, FieldLedger& ledger);
    ~FieldHost();

    // Creates the driver object and opens COM1, as the runtime starts.
    void Start();
    // The host's life until `endMs` of virtual time.
    void RunUntil(std::uint64_t endMs);
    // The closing: deletes on, PDU mode, listings until the modem's store is
    // empty and nothing waits at the service centre.
    // `drained` says when the modem holds nothing more to show.
    void Drain(std::uint64_t limitMs, const std::function<bool()>& drained);
    void Stop();

    const HostFigures& figures() const { return figures_; }

private:
    enum class CallKind { kLinkTest, kSetting, kDelete, kListing, kSend, kStored };

    // Runs one packet, timed against the bound of its kind; the trace lines
    // it wrote are left in trace_.
    int Call(PacketBuilder& packet, CallKind kind, const char* name, std::uint64_t bound);
    std::string ReadText(std::int16_t kind, std::uint16_t subIndex);
    int WriteValue(std::int16_t kind, std::uint16_t type, std::uint32_t value, CallKind callKind,
                   const char* name, std::uint64_t bound);
    int WriteText(std::int16_t kind, const std::string& text, std::uint16_t subIndex);
    // A store of `slots` texts, read as one packet of `slots` items.
    std::vector<std::string> ReadStore(std::int16_t kind, int slots);

    void LinkTest();
    void UnreadListing();
    void ReadListing();
    void ReadSettings();
    void Send();
    void WriteSend(int id);
    void Segments();
    void Restart();
    void SetMode(int format);
    void Delete(const std::string& header);
    std::uint64_t Next(std::uint64_t previous, std::uint64_t period) const;
    std::uint64_t ListingBound() const;

    modem::FieldRandom random_;
    modem::FieldSchedule& field_;
    FieldLedger& ledger_;
    std::unique_ptr<CGsmModem> device_;
    std::int16_t timeout_ = 1000;
    HostFigures figures_;
    std::vector<std::string> trace_;  // the last call's trace lines
    int unknownJob_ = 0;  // the last send job whose SEND ended with the outcome unknown

    int format_ = 0;          // the message format the host wants
    bool modeSet_ = true;     // ... and the modem took it
    std::uint64_t modeRetry_ = 0;
    bool deletes_ = true;     // someone looks after the store
    bool sending_ = true;
    struct HostSend {
        std::string tele, text0, text1;  // GBK
        std::uint8_t codeMod = 1;
        int parts = 1;
    };
    std::vector<HostSend> sends_;
    std::vector<std::string> lastUnread_;  // what the unread slots showed last
    bool readListingDue_ = false;
    struct Retry {
        std::uint64_t at;
        int job;
    };
    std::vector<Retry> retries_;

    std::uint64_t nextLink_ = 0, nextUnread_ = 0, nextRead_ = 0, nextSettings_ = 0, nextSend_ = 0;
    std::uint64_t nextRestart_ = 0, nextMode_ = 0, nextDeletes_ = 0;
    std::uint64_t textSince_ = 0, noDeletesSince_ = 0;
};

}  // namespace vantor::test
