// A model of the Siemens TC35 GSM modem on its serial line: bytes in, bytes
// out, with a millisecond clock. It answers the AT commands of the maker's
// manual (V.25ter, 3GPP TS 27.007 and TS 27.005) the way the device does:
// echo, "\r\n<text>\r\n" framing, ERROR / +CMS ERROR / +CME ERROR after
// AT+CMEE, the SIM message store with its unread -> read transition, and
// AT+CMGS with the "\r\n> " prompt in PDU and text mode. Faults (silence,
// errors, split or paced output, garbage, hang-up ...) are settings.
//
// The same object serves two transports: os::virt serial ports in native
// tests (virtual time) and a pseudo-terminal in modemsim (real time).
//
// Use in a native test:
//
//   modem::Tc35Model modem;
//   modem.AddMessage("0004038121F3000050218012315423" "05C8329BFD06");  // unread, index 1
//   modem.faults().line.chunks = {3};             // answers arrive in 3-byte pieces
//   os::virt::AddPort("COM5", &modem);
//   ... run the driver ...
//   EXPECT_EQ(modem.Sent().at(0).text, "hello");
//
// Times passed in are milliseconds of the caller's clock and must not go back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modem/sent_log.h"
#include "modem/sms_pdu.h"
#include "modem/sms_store.h"
#include "modem/timed_output.h"
#include "os/virt/virt.h"

namespace modem {

// A final answer forced by FailCommand: the plain "ERROR" line...
inline constexpr int kPlainError = -1;
// ... or, for any code >= 0, "+CMS ERROR: <code>" whatever AT+CMEE says.

// The modem's settings that AT commands change. The defaults are the factory
// profile (AT&F): echo on, verbose result codes, plain ERROR, PDU mode.
struct Settings {
    bool echo = true;                       // ATE
    bool verbose = true;                    // ATV
    bool quiet = false;                     // ATQ: no result codes at all
    int cmee = 0;                           // AT+CMEE: 0 ERROR, 1 numeric, 2 verbose
    int cmgf = 0;                           // AT+CMGF: 0 PDU, 1 text
    std::string cscs = "GSM";               // AT+CSCS: "GSM" or "UCS2"
    std::string csca = "+8613800100500";    // AT+CSCA number
    int tosca = 145;                        // its type of address
    int csms = 0;                           // AT+CSMS: 0 phase 2, 1 phase 2+
    int cnmi[5] = {0, 0, 0, 0, 1};          // AT+CNMI: mode, mt, bm, ds, bfr
    bool csdh = false;                      // AT+CSDH
    int csmp[4] = {17, 167, 0, 0};          // AT+CSMP: fo, vp, pid, dcs (text mode sends)
    int creg_n = 0;                         // AT+CREG: 0 no URC, 1 status, 2 with cell
    int smgo = 0;                           // AT^SMGO: 1 presents the SIM store's overflow
    int ssconf = 0;                         // AT^SSCONF: 1 shows <ra>,<tora> in text-mode +CDS
};

// TP-ST values (3GPP TS 23.040 9.2.3.15) of a status report.
inline constexpr int kReportDelivered = 0x00;  // short message received by the SME
inline constexpr int kReportTrying = 0x20;     // congestion: the SC is still trying
inline constexpr int kReportExpired = 0x46;    // validity period expired: the SC gave up

// How the network answers a message that asks for a status report (TP-SRR):
// with `status` this long after the modem's "+CMGS: <mr>" went out.
struct ReportPolicy {
    bool on = false;
    int status = kReportDelivered;
    std::uint32_t after_ms = 3000;
};

// The SIM card as AT+CPIN? reports it.
enum class SimState { kReady, kPinNeeded, kPukNeeded, kAbsent };

// What the SIM and the network are doing: not settings an AT command
// changes (AT&F keeps them), but the state a test or a modemsim control line
// puts the modem into.
struct Radio {
    SimState sim = SimState::kReady;
    int rssi = 19;           // AT+CSQ <rssi>: 0..31, 99 not known
    int ber = 99;            // AT+CSQ <ber>: 0..7, 99 not known
    int registration = 1;    // AT+CREG <stat>: 0 idle, 1 home, 2 searching,
                             // 3 denied, 4 unknown, 5 roaming
    ReportPolicy reports;    // status reports on sent messages (see ScheduleReport)
    // How long the network waits for a +CMT or +CDS routed to the TE to be
    // acknowledged with AT+CNMA: the TC35 manual and TS 27.005 3.4.4 name no
    // value; it is the relay layer's TR2M, 12 to 20 s (3GPP TS 24.011 10).
    std::uint32_t ack_timeout_ms = 15000;
};

// What became of a status report the network sent, for a test's ledger.
enum class ReportFate {
    kScheduled,       // the network has not sent it yet
    kHeld,            // at the modem, behind a +CDS not yet acknowledged or the
                      // input at the AT+CMGS prompt
    kRouted,          // given to the TE as +CDS, not acknowledged yet
    kAcknowledged,    // given as +CDS and acknowledged with AT+CNMA
    kUnacknowledged,  // given as +CDS and not acknowledged in time: the modem
                      // switched routing off (AT+CNMI <mt> and <ds> 0)
    kNotRouted,       // AT+CNMI <ds> was not 1 when it came: lost to the TE
    kLostInRestart,   // given as +CDS; the modem restarted before the acknowledgement
};

// One status report the network sent on a message the modem sent.
struct StatusReport {
    int reference = 0;              // TP-MR: the message's "+CMGS: <mr>"
    std::string number;             // TP-RA, as Sent() shows it
    int type_of_address = 129;
    int status = kReportDelivered;  // TP-ST
    std::uint64_t submitted_ms = 0; // TP-SCTS: when the message was sent
    std::uint64_t due_ms = 0;       // when the network sends the report
    std::uint64_t discharge_ms = 0; // TP-DT
    ReportFate fate = ReportFate::kScheduled;
    std::uint64_t routed_ms = 0;    // when its +CDS was put on the line
    std::uint64_t free_ms = 0;      // when the modem had answered the command it
                                    // was running then: the TE's first chance to
                                    // acknowledge
    std::uint64_t settled_ms = 0;   // when it was acknowledged, lost or not routed
    std::string urc;                // the +CDS as given, framing included
};

// What a modem whose prompt is late does with what is typed before the
// prompt has gone out (its manual says to wait for the prompt).
enum class EarlyInput {
    kTaken,         // its input is open at once: ESC ends it, answered after the prompt
    kEscapeEndsCommand,  // an ESC ends the command at once with OK; no prompt comes
    kLost,          // nothing is heard until the prompt, which then waits for input
};

// Fault settings. Change them at any time; they apply from the next byte the
// model produces.
struct Faults {
    bool silent = false;                // no echo, no answers; input is still recorded
    LineShape line;                     // chunks / trickle / baud pacing of all output
    std::uint32_t answer_delay_ms = 0;  // answers (not echo) leave this much later
    std::string garbage;                // sent in front of every answer
    std::size_t flood = 0;              // the next command line is answered by this many
                                        // junk bytes and no result code (one-shot)
    bool silent_after_prompt = false;   // after "> " nothing more: no echo, no result
    std::uint32_t prompt_delay_ms = 0;  // the "> " of AT+CMGS leaves this much later still
    EarlyInput early_input = EarlyInput::kTaken;  // what is typed before a late prompt
    // "+CMGS: <mr>" ... "OK" this late after Ctrl-Z. The command runs until
    // then: what is typed meanwhile is not heard (no echo, not run).
    std::uint32_t send_result_delay_ms = 0;
    bool bare_ok_on_send = false;       // a submitted message is refused with a bare OK
    std::string arrive_during_listing;  // SMS-DELIVER PDU stored while the next AT+CMGL
                                        // runs: not in that listing, unread (one-shot)
    // The line drops in the middle of the next send for this many ms (one-shot):
    std::uint32_t hangup_in_body_ms = 0;      // at the first byte after "> ": the
                                              // message is never heard, never sent
    std::uint32_t hangup_after_submit_ms = 0; // once the message went out, before
                                              // its "+CMGS: <mr>" result
    // A line that never stops sending (a babbling modem, a floating RX wire):
    // a line of junk every this many ms and nothing else (no echo, no
    // answer; commands are still carried out, as with `silent`). 0: off.
    std::uint32_t babble_ms = 0;
    // The modem set to one rate (AT+IPR=N, kept across power cycles): what the
    // client sends at another rate is noise to it and goes unheard. The model
    // does not see the line's rate; modemsim applies this. 0: autobauding.
    std::uint32_t fixed_baud = 0;
    // A SIM that is slow to read: each entry of a listing leaves this long
    // after the one before it (the final result follows the last at once).
    std::uint32_t listing_entry_gap_ms = 0;
    // An unsolicited line ("+CREG: 1", "RING") the modem puts inside its next
    // answer of information text: between two entries of a listing, else
    // just before the final result (one-shot).
    std::string urc_in_answer;
};

class Tc35Model : public os::virt::Peer {
public:
    Tc35Model();

    // --- SIM message store: indices 1 .. capacity (see SmsStore) ---
    void SetCapacity(int slots) { store_.SetCapacity(slots); }  // default 30
    int capacity() const { return store_.capacity(); }
    int StoreUsed() const { return store_.used(); }
    int StoreUnread() const { return store_.unread(); }
    // Stores a message in the lowest free slot; returns its index, or 0 when
    // the store is full or the PDU is not an SMS-DELIVER.
    int AddMessage(std::string_view pdu_hex, bool read = false) { return store_.Add(pdu_hex, read); }
    // Stores a message at `index`, replacing what was there. False when the
    // index is outside the store or the PDU is not an SMS-DELIVER.
    bool PutMessage(int index, std::string_view pdu_hex, bool read) { return store_.Put(index, pdu_hex, read); }
    std::optional<StoredMessage> Message(int index) const { return store_.Find(index); }
    std::vector<StoredMessage> Messages() const { return store_.All(); }  // in index order
    // A message arriving from the network: stored like AddMessage, and
    // announced with "+CMTI: \"SM\",<index>" when AT+CNMI has <mt> 1.
    int Deliver(std::string_view pdu_hex, std::uint64_t now_ms);

    // --- settings (what AT commands set) ---
    Settings& settings() { return settings_; }
    void FactoryReset();  // AT&F
    Radio& radio() { return radio_; }

    // --- faults ---
    Faults& faults() { return faults_; }
    // Answers every later use of command `name` ("CMGS", "CMGL", "CMGF", "AT"
    // for the bare AT, "E" for ATE ...) with `code` (kPlainError or a CMS code),
    // `times` times (-1: until cleared). AT+CMGS is failed after the message
    // was given at the prompt, as a network refusal shows; with
    // `before_prompt` it is failed instead of the prompt.
    void FailCommand(std::string_view name, int code = kPlainError, int times = -1,
                     bool before_prompt = false);
    void ClearFailures();
    // The line goes dead for `duration_ms`: queued output is lost, nothing is
    // heard or answered until it ends. modemsim also closes its pty.
    void HangUp(std::uint64_t now_ms, std::uint64_t duration_ms);
    bool HungUp(std::uint64_t now_ms) const { return now_ms < hangup_until_; }
    // The length of a hang-up the model started by itself (a send fault) since
    // the last call, or 0; modemsim then closes its pty as for "hangup".
    std::uint64_t TakeHangUp() { return std::exchange(started_hangup_ms_, 0); }
    // Power is cut and comes back (a brown-out, a restart by a watchdog):
    // what was queued or typed is lost, the settings go back to the factory
    // profile as with AT&F (echo on, AT+CMGF 0, AT+CSDH 0, AT+CSMS 0,
    // AT+CNMI 0,0,0,0,1; the service centre stays in the SIM), a +CDS not
    // yet acknowledged is lost, the SIM store keeps its messages, and the
    // modem announces itself with the unsolicited "^SYSSTART" `startup_ms` later.
    void PowerCycle(std::uint64_t now_ms, std::uint32_t startup_ms = 500);
    // Sends `n` junk bytes (no result code) now.
    void Flood(std::size_t n, std::uint64_t now_ms);
    // An unsolicited result code ("RING", "+CREG: 1"), framed by CR LF: now,
    // or once the input at the AT+CMGS prompt has ended.
    void Unsolicited(std::string_view line, std::uint64_t now_ms);
    // The SIM store's overflow status (TC35 manual, AT^SMGO): 0 space
    // available, 1 full, 2 full and a message waiting at the service centre.
    // A change is presented as "^SMGO: <mode>" when AT^SMGO is 1.
    void SetOverflow(int mode, std::uint64_t now_ms);
    int overflow() const { return overflow_; }

    // --- status reports (AT+CSMS=1, AT+CNMI <ds> 1, +CDS, AT+CNMA) ---
    // The network's status report on a message the modem sent with TP-SRR
    // set: the latest with TP-MR `reference` to `number` (as Sent() and
    // SentParts() show it). It reaches the modem at `at_ms` with TP-ST
    // `status`, discharge time `discharge_ms` (default `at_ms`). False, and
    // nothing scheduled, when no such message asked for a report.
    bool ScheduleReport(int reference, std::string_view number, std::uint64_t at_ms, int status = kReportDelivered,
                        std::optional<std::uint64_t> discharge_ms = std::nullopt);
    // Every report scheduled, in the order it was, with what became of it.
    const std::vector<StatusReport>& Reports() const { return reports_; }
    // When the modem switched routing off because a +CDS was not
    // acknowledged in time.
    const std::vector<std::uint64_t>& RoutingSwitchedOff() const { return routing_off_; }

    // --- what happened ---
    // Whole messages: a single message when the modem accepted it, a
    // concatenated one once all its parts have arrived (recorded once; the
    // parts are joined by number, reference and part count, in sequence).
    const std::vector<SentMessage>& Sent() const { return sent_.Messages(); }
    // Every part of a concatenated message the modem accepted, as it came (a
    // part sent twice shows twice).
    const std::vector<SentMessage>& SentParts() const { return sent_.Parts(); }
    // Every message that entered the store (initial ones, arrivals), in order;
    // a message deleted later stays on record.
    const std::vector<StoredMessage>& Stored() const { return store_.History(); }
    const std::string& Received() const { return received_; }  // every byte heard
    const std::vector<std::string>& CommandLines() const { return lines_; }  // as typed, no CR
    // Forgets the record of the line (Received(), CommandLines()), so that a
    // run of months keeps its memory bounded; what was sent and stored stays.
    void ForgetLineRecord() {
        received_.clear();
        lines_.clear();
    }

    // When the next queued byte that has not yet arrived will arrive (for a
    // real-time loop's sleep).
    std::optional<std::uint64_t> NextArrival(std::uint64_t now_ms) const;

    // --- os::virt::Peer ---
    void Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) override;
    std::size_t Pending(std::uint64_t now) override;
    std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t now) override;
    void Purge(std::uint64_t now) override;

private:
    enum class Input { kCommand, kPdu, kText };
    // What one command of a line produced.
    struct Reply {
        std::string info;            // information text, framed
        bool error = false;          // ends the line with an error result
        int cms = -1;                // ... as +CMS ERROR: n (with AT+CMEE 1/2)
        int cme = -1;                // ... as +CME ERROR: n
        bool forced = false;         // error chosen by FailCommand: shown as is
        bool prompt = false;         // the command now waits for text or a PDU
        std::vector<std::size_t> entry_starts;  // where each listed entry starts in info
    };
    struct Failure {
        int code;
        int times;
        bool before_prompt;
    };

    // The AT command handlers and their table (at_commands.cpp).
    struct Commands;

    void Echo(std::string_view bytes, std::uint64_t now);
    void Answer(std::string_view bytes, std::uint64_t now, std::uint32_t extra_delay = 0);
    // An answer of information text and its final result, with the faults
    // that act inside it: a pause before each entry of a listing (`breaks`:
    // where the entries start) and an unsolicited line inside it.
    void AnswerEntries(std::string info, std::vector<std::size_t> breaks, const std::string& result,
                       std::uint64_t now);
    void RunLine(const std::string& line, std::uint64_t now);
    // Runs one command of a line (at_commands.cpp).
    void RunCommand(const std::string& name, const std::string& args, Reply& reply);
    bool TakeFailure(const std::string& name, bool before_prompt, int* code);
    void EndInput(bool submit, std::uint64_t now);
    // A send fault's hang-up: the line drops for *fault_ms, which is cleared.
    void StartHangUp(std::uint64_t now_ms, std::uint32_t* fault_ms);
    // The text or PDU given at the AT+CMGS prompt, ended with Ctrl-Z
    // (at_commands.cpp).
    void Submit(const std::string& body, std::uint64_t now);
    std::string ErrorText(const Reply& reply) const;
    std::string OkText() const;
    std::string InfoText(const std::vector<std::string>& lines) const;

    // Queues the babble that has fallen due by `now`.
    void Babble(std::uint64_t now);
    // Queues a late prompt that has fallen due by `now` (see EarlyInput).
    void PromptDue(std::uint64_t now);

    // Status reports (status_reports.cpp). Handles, in time order, the
    // reports that reached the modem and the acknowledgement that ran out by
    // `now`, then gives a held report to the TE when the line is free of
    // an unacknowledged one.
    void RunReports(std::uint64_t now);
    // Report `i` reaches the modem at `at`.
    void ReportArrives(std::size_t i, std::uint64_t at);
    // Gives report `i` to the TE as +CDS at `at`: into the answers queued as
    // produced later when it `interjects`, else after all that is queued.
    void RouteReport(std::size_t i, std::uint64_t at, bool interjects);
    // The +CDS of report `i` in the current message format.
    std::string ReportUrc(const StatusReport& report) const;
    void SettleReport(std::size_t i, ReportFate fate, std::uint64_t at);
    // AT+CNMA: false when no +CDS waits for it.
    bool AcknowledgeReport(std::uint64_t now);
    // A sent message that asked for a report gets one by the network's
    // policy, counted from the send's "+CMGS: <mr>" at `verdict_ms`.
    void ReportByPolicy(int reference, const std::string& number, std::uint64_t verdict_ms);

    Settings settings_;
    Radio radio_;
    Faults faults_;
    SmsStore store_;
    SentLog sent_;
    std::map<std::string, Failure> failures_;
    std::string received_;
    std::vector<std::string> lines_;
    TimedOutput out_;

    Input input_ = Input::kCommand;
    std::string line_;                 // command line being typed
    std::string body_;                 // text or PDU after the prompt
    int cmgs_length_ = 0;              // PDU mode: the TPDU length announced
    std::string cmgs_number_;          // text mode: the destination
    int cmgs_toda_ = 129;
    bool muted_input_ = false;         // silent_after_prompt applies to this input
    int next_reference_ = 1;
    std::uint64_t hangup_until_ = 0;
    std::uint64_t busy_until_ = 0;     // AT+CMGS runs until its late result
    std::string held_prompt_;          // a late prompt not yet given (EarlyInput other
    std::uint64_t prompt_due_ = 0;     // than kTaken), and when it goes out
    std::uint64_t started_hangup_ms_ = 0;  // see TakeHangUp
    std::uint64_t next_babble_ms_ = 0;     // 0: babble not started
    std::vector<std::string> pending_urcs_;  // held back while a command runs
    int overflow_ = 0;                       // see SetOverflow
    std::uint64_t command_ms_ = 0;           // when the command line being run came

    std::vector<StatusReport> reports_;
    std::multimap<std::uint64_t, std::size_t> reports_due_;  // scheduled, by due time
    std::deque<std::size_t> reports_held_;   // at the modem, waiting for the line
    std::optional<std::size_t> awaiting_ack_;  // the +CDS AT+CNMA is due for
    std::uint64_t ack_deadline_ = 0;
    std::uint64_t reports_clock_ = 0;        // the latest time RunReports saw
    std::vector<std::uint64_t> routing_off_;
};

}  // namespace modem
