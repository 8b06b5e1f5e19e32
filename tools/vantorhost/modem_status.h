// What a commissioning check reads from a modem, parsed from the answers of
// the read-only commands (3GPP TS 27.007 / 27.005, in the forms of the TC35
// AT command manual), and whether the modem can send messages as it stands.
// Plain C++ without Windows, so the native tests check every parser.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vhost {

// One command's answer: the information lines (echo and blank lines left
// out) and how it ended.
struct AtAnswer {
    enum class End { kNone, kOk, kError };
    End end = End::kNone;        // kNone: no final result code arrived
    std::string error;           // the final error line ("ERROR", "+CME ERROR: 11" ...)
    std::vector<std::string> lines;

    bool Ok() const { return end == End::kOk; }
};

// Splits raw bytes into lines at CR and LF; drops blank lines and the echo
// of `command` (the modem echoes while ATE1, which a check must not change).
AtAnswer ParseAnswer(std::string_view bytes, std::string_view command);

// The first information line, for AT+CGMI / AT+CGMM.
std::optional<std::string> FirstLine(const AtAnswer& answer);

// AT+CPIN?
enum class SimStatus {
    kReady,       // +CPIN: READY
    kPinNeeded,   // SIM PIN
    kPukNeeded,   // SIM PUK (PIN blocked)
    kOtherCode,   // another password (PIN2, phone locks ...): see `code`
    kAbsent,      // +CME ERROR: 10 (SIM not inserted)
    kFailure,     // +CME ERROR: 13 .. 15 (SIM failure, busy, wrong)
    kNoSimOrFailure,  // plain ERROR (AT+CMEE 0): no SIM, or a SIM the modem cannot use
    kUnknown,     // no answer, or one this check does not know
};
struct SimReport {
    SimStatus status = SimStatus::kUnknown;
    std::string code;  // the <code> or error line as the modem gave it
};
SimReport ParseCpin(const AtAnswer& answer);

// AT+CSQ: <rssi>,<ber>. rssi 0 is -113 dBm or less, 2..30 are -109..-53 dBm
// in steps of 2, 31 is -51 dBm or more; 99 means not known.
struct Signal {
    int rssi = 99;
    int ber = 99;
    bool Known() const { return rssi != 99; }
    int Dbm() const { return -113 + 2 * rssi; }
    // 0..5 bars: 0 for rssi 0 (no usable signal); 1..9 marginal; 10..14,
    // 15..19, 20..24 and 25..31 one more bar each. Unknown signal: 0.
    int Bars() const;
};
std::optional<Signal> ParseCsq(const AtAnswer& answer);

// AT+CREG?: +CREG: <n>,<stat>[,<lac>,<ci>]; the <stat> values of TS 27.007.
enum class Registration { kNotSearching = 0, kHome = 1, kSearching = 2, kDenied = 3, kUnknown = 4, kRoaming = 5 };
std::optional<Registration> ParseCreg(const AtAnswer& answer);
inline bool Registered(Registration r) { return r == Registration::kHome || r == Registration::kRoaming; }

// AT+CSCA?: +CSCA: "<sca>",<tosca>. A number the modem gives in UCS-2 hex
// (AT+CSCS="UCS2") is shown as its characters.
struct ServiceCentre {
    std::string number;  // empty: none stored
    int type = 129;
};
std::optional<ServiceCentre> ParseCsca(const AtAnswer& answer);

// AT+CMGF?: 0 PDU mode, 1 text mode.
std::optional<int> ParseCmgf(const AtAnswer& answer);

// AT+CPMS? (TC35 manual 5.11): +CPMS: <mem1>,<used1>,<total1>,...; the store
// that listings read and that received messages fill first.
struct Storage {
    std::string memory;  // "SM"
    int used = 0;
    int total = 0;
    // So full that the next few messages will find no room: they then wait at
    // the service centre and the plant hears nothing of them.
    bool NearlyFull() const { return total > 0 && total - used <= (total >= 20 ? total / 10 : 2); }
};
std::optional<Storage> ParseCpms(const AtAnswer& answer);

// Everything the check learnt from one modem.
struct ModemFacts {
    std::string port;   // "COM5"
    int baud = 0;
    std::optional<std::string> manufacturer;
    std::optional<std::string> model;
    SimReport sim;
    std::optional<Signal> signal;
    std::optional<Registration> registration;
    std::optional<ServiceCentre> serviceCentre;
    std::string serviceCentreError;  // the error line when AT+CSCA? failed
    std::optional<int> messageFormat;
    std::optional<Storage> storage;
};

// What stands between the modem and a sent message, most basic first.
enum class Problem {
    kBaudTooHigh,  // the modem answers only at a rate the driver does not open
    kNoSim, kSimPin, kSimPuk, kSimOther, kNotRegistered, kNoSignal, kNoServiceCentre
};
std::vector<Problem> ProblemsOf(const ModemFacts& facts);

}  // namespace vhost
