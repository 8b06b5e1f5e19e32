// vantorhost detect: the parsing of the modem's answers to the read-only
// commands, in the forms the TC35 manual gives and the odd ones a line can
// bring, the verdict on whether the modem can send, and the argument lists.
// The answers of the modem model are used where they exist, so the check and
// the model cannot drift apart.
#include <gtest/gtest.h>

#include <string>

#include "modem/modem_model.h"
#include "vantorhost/detect_report.h"
#include "vantorhost/modem_status.h"

namespace {

using namespace vhost;

// What the model answers to `command`, echo on (as the factory profile).
std::string ModelAnswer(modem::Tc35Model& m, const std::string& command) {
    const std::string line = command + "\r";
    m.Receive(reinterpret_cast<const std::uint8_t*>(line.data()), line.size(), 0);
    std::string out(m.Pending(0), '\0');
    m.Take(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), 0);
    return out;
}

TEST(DetectAnswer, SplitsLinesDropsEchoAndFindsTheEnd) {
    struct Case {
        const char* bytes;
        const char* command;
        AtAnswer::End end;
        std::vector<std::string> lines;
        const char* error;
    };
    const Case cases[] = {
        {"AT+CGMI\r\r\nSIEMENS\r\n\r\nOK\r\n", "AT+CGMI", AtAnswer::End::kOk, {"SIEMENS"}, ""},
        // Echo off, LF-only line ends, echo in other case.
        {"\r\nTC35\r\nOK\r\n", "AT+CGMM", AtAnswer::End::kOk, {"TC35"}, ""},
        {"at+cgmm\n TC35 \nOK\n", "AT+CGMM", AtAnswer::End::kOk, {"TC35"}, ""},
        {"AT+CPIN?\r\r\n+CME ERROR: 10\r\n", "AT+CPIN?", AtAnswer::End::kError, {}, "+CME ERROR: 10"},
        {"AT+CSCA?\r\r\nERROR\r\n", "AT+CSCA?", AtAnswer::End::kError, {}, "ERROR"},
        {"\r\n+CMS ERROR: 500\r\n", "AT+CSCA?", AtAnswer::End::kError, {}, "+CMS ERROR: 500"},
        // An OK whose line has not ended yet, or none at all: not finished.
        {"AT\r\r\nOK", "AT", AtAnswer::End::kNone, {}, ""},
        {"", "AT", AtAnswer::End::kNone, {}, ""},
        // What comes after the final result belongs to nobody.
        {"\r\nOK\r\n\r\n+CMTI: \"SM\",3\r\n", "AT", AtAnswer::End::kOk, {}, ""},
    };
    for (const Case& c : cases) {
        const AtAnswer a = ParseAnswer(c.bytes, c.command);
        EXPECT_EQ(a.end, c.end) << c.bytes;
        EXPECT_EQ(a.lines, c.lines) << c.bytes;
        EXPECT_EQ(a.error, c.error) << c.bytes;
    }
}

TEST(DetectAnswer, SignalInDbmAndBars) {
    struct Case {
        const char* line;
        bool parsed;
        int rssi, dbm, bars;
    };
    const Case cases[] = {
        {"+CSQ: 0,99", true, 0, -113, 0},   // -113 dBm or less: no usable signal
        {"+CSQ: 1,99", true, 1, -111, 1},
        {"+CSQ: 9,0", true, 9, -95, 1},
        {"+CSQ: 10,99", true, 10, -93, 2},
        {"+CSQ: 19,99", true, 19, -75, 3},
        {"+CSQ: 20,7", true, 20, -73, 4},
        {"+CSQ: 31,99", true, 31, -51, 5},
        {"+CSQ:14, 99", true, 14, -85, 2},  // spacing as some firmware has it
        {"+CSQ: 99,99", true, 99, 0, 0},    // not known
        {"+CSQ: 32,99", false, 0, 0, 0},    // outside the TS 27.007 range
        {"+CSQ: 19,8", false, 0, 0, 0},
        {"+CSQ: 19", false, 0, 0, 0},
        {"+CSQ: ,99", false, 0, 0, 0},
        {"+CSQ: -1,99", false, 0, 0, 0},
        {"+CREG: 0,1", false, 0, 0, 0},     // another command's answer
    };
    for (const Case& c : cases) {
        AtAnswer a;
        a.end = AtAnswer::End::kOk;
        a.lines = {c.line};
        const auto s = ParseCsq(a);
        ASSERT_EQ(s.has_value(), c.parsed) << c.line;
        if (!s) continue;
        EXPECT_EQ(s->rssi, c.rssi) << c.line;
        EXPECT_EQ(s->Bars(), c.bars) << c.line;
        if (s->Known()) EXPECT_EQ(s->Dbm(), c.dbm) << c.line;
    }
    // An answer that ended in an error says nothing about the signal.
    EXPECT_FALSE(ParseCsq(ParseAnswer("+CSQ: 19,99\r\nERROR\r\n", "AT+CSQ")));
}

TEST(DetectAnswer, RegistrationStates) {
    struct Case {
        const char* line;
        std::optional<Registration> expected;
    };
    const Case cases[] = {
        {"+CREG: 0,0", Registration::kNotSearching},
        {"+CREG: 0,1", Registration::kHome},
        {"+CREG: 1,2", Registration::kSearching},
        {"+CREG: 0,3", Registration::kDenied},
        {"+CREG: 0,4", Registration::kUnknown},
        {"+CREG: 0,5", Registration::kRoaming},
        {"+CREG: 2,1,\"00C3\",\"291A\"", Registration::kHome},
        {"+CREG: 2,5, \"00C3\" , \"291A\"", Registration::kRoaming},
        {"+CREG: 1", std::nullopt},  // the unsolicited form, not an answer
        {"+CREG: 0,6", std::nullopt},
        {"+CREG: 3,1", std::nullopt},
        {"+CREG: 0,1,\"00C3", std::nullopt},  // unterminated string
    };
    for (const Case& c : cases) {
        AtAnswer a;
        a.end = AtAnswer::End::kOk;
        a.lines = {c.line};
        EXPECT_EQ(ParseCreg(a), c.expected) << c.line;
    }
    // Only home and roaming are registered.
    EXPECT_TRUE(Registered(Registration::kHome));
    EXPECT_TRUE(Registered(Registration::kRoaming));
    EXPECT_FALSE(Registered(Registration::kSearching));
    EXPECT_FALSE(Registered(Registration::kDenied));
}

TEST(DetectAnswer, SimStatesFromTheModel) {
    using modem::SimState;
    struct Case {
        SimState state;
        const char* cmee;  // AT+CMEE setting the modem happens to have
        SimStatus expected;
        const char* code;
    };
    const Case cases[] = {
        {SimState::kReady, "0", SimStatus::kReady, "READY"},
        {SimState::kPinNeeded, "0", SimStatus::kPinNeeded, "SIM PIN"},
        {SimState::kPukNeeded, "0", SimStatus::kPukNeeded, "SIM PUK"},
        // No SIM: the factory profile shows only ERROR; with CMEE the code.
        {SimState::kAbsent, "0", SimStatus::kNoSimOrFailure, "ERROR"},
        {SimState::kAbsent, "1", SimStatus::kAbsent, "+CME ERROR: 10"},
        {SimState::kAbsent, "2", SimStatus::kAbsent, "+CME ERROR: SIM not inserted"},
    };
    for (const Case& c : cases) {
        modem::Tc35Model m;
        m.radio().sim = c.state;
        ModelAnswer(m, std::string("AT+CMEE=") + c.cmee);
        const SimReport r = ParseCpin(ParseAnswer(ModelAnswer(m, "AT+CPIN?"), "AT+CPIN?"));
        EXPECT_EQ(r.status, c.expected) << c.code;
        EXPECT_EQ(r.code, c.code);
    }
    AtAnswer other;
    other.end = AtAnswer::End::kOk;
    other.lines = {"+CPIN: PH-SIM PIN"};
    EXPECT_EQ(ParseCpin(other).status, SimStatus::kOtherCode);
    EXPECT_EQ(ParseCpin(ParseAnswer("", "AT+CPIN?")).status, SimStatus::kUnknown);
}

TEST(DetectAnswer, ServiceCentreAndMessageFormatFromTheModel) {
    modem::Tc35Model m;
    auto csca = [&] { return ParseCsca(ParseAnswer(ModelAnswer(m, "AT+CSCA?"), "AT+CSCA?")); };
    ASSERT_TRUE(csca());
    EXPECT_EQ(csca()->number, "+8613800100500");
    EXPECT_EQ(csca()->type, 145);
    // The character set the driver leaves as it finds it: UCS-2 hex is read back.
    ModelAnswer(m, "AT+CSCS=\"UCS2\"");
    EXPECT_EQ(csca()->number, "+8613800100500");
    ModelAnswer(m, "AT+CSCS=\"GSM\"");
    ModelAnswer(m, "AT+CSCA=");  // deleted
    ASSERT_TRUE(csca());
    EXPECT_EQ(csca()->number, "");

    EXPECT_EQ(ParseCmgf(ParseAnswer(ModelAnswer(m, "AT+CMGF?"), "AT+CMGF?")), 0);
    ModelAnswer(m, "AT+CMGF=1");
    EXPECT_EQ(ParseCmgf(ParseAnswer(ModelAnswer(m, "AT+CMGF?"), "AT+CMGF?")), 1);

    // A number of digits that happen to be valid hex stays as it is.
    AtAnswer digits;
    digits.end = AtAnswer::End::kOk;
    digits.lines = {"+CSCA: \"13800100\",129"};
    EXPECT_EQ(ParseCsca(digits)->number, "13800100");
    digits.lines = {"+CSCA: +8613800100500,145"};  // unquoted: not the TS 27.005 form
    EXPECT_FALSE(ParseCsca(digits));
}

// A modem on COM5 at 9600 baud that can send: SIM ready, signal, home
// network, a service centre, PDU mode.
ModemFacts ReadyModem() {
    ModemFacts ready;
    ready.port = "COM5";
    ready.baud = 9600;
    ready.sim.status = SimStatus::kReady;
    ready.signal = Signal{19, 99};
    ready.registration = Registration::kHome;
    ready.serviceCentre = ServiceCentre{"+8613800100500", 145};
    ready.messageFormat = 0;
    return ready;
}

// The SIM store as AT+CPMS? gives it, from the model as it fills; nearly full
// is advice (a To do line), not a reason the modem cannot send.
TEST(DetectAnswer, StorageFromTheModel) {
    modem::Tc35Model m;
    m.SetCapacity(30);
    const std::string pdu = "0004038121F300005021801231542305C8329BFD06";
    const auto storage = [&] { return ParseCpms(ParseAnswer(ModelAnswer(m, "AT+CPMS?"), "AT+CPMS?")); };
    const struct {
        int fill;
        bool nearlyFull;
    } cases[] = {{0, false}, {26, false}, {27, true}, {30, true}};  // a tenth or less free
    int stored = 0;
    for (const auto& c : cases) {
        while (stored < c.fill) stored += m.AddMessage(pdu) > 0;
        const auto s = storage();
        ASSERT_TRUE(s) << c.fill;
        EXPECT_EQ(s->memory, "SM");
        EXPECT_EQ(s->used, c.fill);
        EXPECT_EQ(s->total, 30);
        EXPECT_EQ(s->NearlyFull(), c.nearlyFull) << c.fill;

        ModemFacts f = ReadyModem();
        f.storage = s;
        EXPECT_TRUE(ProblemsOf(f).empty());
        const std::string block = ModemBlock(f, Language::kEnglish);
        EXPECT_NE(block.find("SIM message store:   " + std::to_string(c.fill) + " of 30 in use (SM)"),
                  std::string::npos) << block;
        EXPECT_EQ(block.find("To do: the SIM's message store is nearly full") != std::string::npos,
                  c.nearlyFull) << block;
    }
}

TEST(DetectVerdict, ProblemsBetweenTheModemAndASentMessage) {
    const ModemFacts ready = ReadyModem();

    struct Case {
        const char* what;
        void (*change)(ModemFacts&);
        std::vector<Problem> expected;
    };
    const Case cases[] = {
        {"ready", [](ModemFacts&) {}, {}},
        {"roaming", [](ModemFacts& f) { f.registration = Registration::kRoaming; }, {}},
        {"weak but there", [](ModemFacts& f) { f.signal = Signal{1, 99}; }, {}},
        {"PIN", [](ModemFacts& f) {
             f.sim.status = SimStatus::kPinNeeded;
             f.registration = Registration::kNotSearching;
             f.serviceCentre.reset();
         }, {Problem::kSimPin, Problem::kNotRegistered}},
        {"no SIM", [](ModemFacts& f) { f.sim.status = SimStatus::kNoSimOrFailure; }, {Problem::kNoSim}},
        {"PUK", [](ModemFacts& f) { f.sim.status = SimStatus::kPukNeeded; }, {Problem::kSimPuk}},
        {"no signal", [](ModemFacts& f) { f.signal = Signal{99, 99}; }, {Problem::kNoSignal}},
        {"rssi 0", [](ModemFacts& f) { f.signal = Signal{0, 99}; }, {Problem::kNoSignal}},
        {"searching", [](ModemFacts& f) { f.registration = Registration::kSearching; }, {Problem::kNotRegistered}},
        {"denied", [](ModemFacts& f) { f.registration = Registration::kDenied; }, {Problem::kNotRegistered}},
        {"no CREG answer", [](ModemFacts& f) { f.registration.reset(); }, {Problem::kNotRegistered}},
        {"no service centre", [](ModemFacts& f) { f.serviceCentre->number.clear(); }, {Problem::kNoServiceCentre}},
        {"57600 baud", [](ModemFacts& f) { f.baud = 57600; }, {}},
        {"115200 baud only", [](ModemFacts& f) { f.baud = 115200; }, {Problem::kBaudTooHigh}},
    };
    for (const Case& c : cases) {
        ModemFacts f = ready;
        c.change(f);
        EXPECT_EQ(ProblemsOf(f), c.expected) << c.what;
        bool usable = true;
        const std::string last = Conclusion({f}, "COM1-COM32", {9600}, Language::kEnglish, &usable);
        EXPECT_EQ(usable, c.expected.empty()) << c.what;
        // Found but not ready still names the options, so the cause can be fixed
        // and the HMI configured without searching again; a rate the driver does
        // not open is never recommended.
        const bool named = last.find("--baud " + std::to_string(f.baud)) != std::string::npos;
        EXPECT_EQ(named, f.baud <= 57600) << last;
    }
    bool usable = true;
    const std::string none = Conclusion({}, "COM1-COM32", {9600, 19200}, Language::kEnglish, &usable);
    EXPECT_FALSE(usable);
    EXPECT_EQ(none, "No modem answered on COM1-COM32 at 9600, 19200 baud. Check the modem's power, the cable and "
                    "the port.\n");
}

TEST(DetectArguments, PortAndBaudLists) {
    EXPECT_EQ(ParsePortList("COM1-COM4"), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(ParsePortList("COM7,COM3-COM4,3"), (std::vector<int>{7, 3, 4}));
    EXPECT_EQ(ParsePortList("com12"), (std::vector<int>{12}));
    for (const char* bad : {"", "COM0", "COM257", "COM4-COM2", "COM1-", "COMX", "COM1,,COM2", "LPT1"}) {
        EXPECT_FALSE(ParsePortList(bad)) << bad;
    }
    EXPECT_EQ(ParseBaudList("9600,19200,9600"), (std::vector<int>{9600, 19200}));
    // The rates the driver opens are tried before faster ones, in the order given.
    EXPECT_EQ(ParseBaudList("115200,19200,230400,300,57600"), (std::vector<int>{19200, 300, 57600, 115200, 230400}));
    for (const char* bad : {"", "9600,", "96OO", "299", "1000000", "-9600"}) {
        EXPECT_FALSE(ParseBaudList(bad)) << bad;
    }
}

}  // namespace
