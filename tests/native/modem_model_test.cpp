// The TC35 model: the answers the driver depends on, checked byte for byte
// (against recorded real-modem captures where one exists), its PDU decoder
// against independently asserted vectors, and the fault settings with their
// timing.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model_talk.h"
#include "modem/escapes.h"
#include "modem/modem_model.h"
#include "modem/sms_pdu.h"

namespace {

using modem::Tc35Model;

// An unread 7-bit message from the international number +123, stamped
// 05/12/08 21:13:45 +32 quarter hours, body "Hello": 20 TPDU octets.
const char kHelloPdu[] = "0004039121F300005021801231542305C8329BFD06";
// UCS-2 "你好" from 8613912345678.
const char kUcs2Pdu[] = "0891683108100005F0040D91683119325476F8000850218012315423044F60597D";

using model_talk::Drain;
using model_talk::Talk;

// A capture file in the .esc.txt format: file line breaks are not data, and
// \r \n \\ \xNN are escapes.
std::string LoadCapture(const std::string& name) {
    std::ifstream file(std::string(VANTOR_CAPTURES_DIR "/") + name);
    std::string text, line;
    while (std::getline(file, line)) text += line;
    return modem::Unescape(text);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(ModemModel, FramingMatchesRealModemCaptures) {
    // Echo of the command with its CR, "\r\n" around information text, a blank
    // line before OK: the framing real modems were recorded with.
    Tc35Model m;
    std::string csca = LoadCapture("gammu-issue133_huawei-k4510_csca.esc.txt");
    ASSERT_FALSE(csca.empty());
    EXPECT_EQ(Talk(m, "AT+CSCA?\r"), Replace(csca, "+32475161616", "+8613800100500"));

    // The unread listing; the capture's modem counts from 0, the TC35's SIM from 1.
    std::string cmgl = LoadCapture("gammu-issue126_huawei-e1752_cmgl4.esc.txt");
    std::string pdu = "07913366003051F5040B913366304381F900005180719120348004D4F29C0E";
    m.AddMessage(pdu);
    EXPECT_EQ(Talk(m, "AT+CMGL=4\r"), Replace(cmgl, "+CMGL: 0,", "+CMGL: 1,"));

    std::string prompt = LoadCapture("gammu-issue438_cmgs-pdu-prompt.esc.txt");
    EXPECT_EQ(Talk(m, "AT+CMGS=19\r"), Replace(prompt, "=18", "=19"));
    // Echo of the PDU and Ctrl-Z, then the result, as in the recorded tail.
    std::string tail = LoadCapture("gammu-issue242_cmgs-pdu-echo-and-result_tail.esc.txt");
    std::string submit = "001100038121F30000A70AE8329BFD4697D9EC37";
    std::string answer = Talk(m, submit + "\x1A");
    EXPECT_EQ(answer, submit + "\x1A\r\n+CMGS: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(answer.substr(submit.size() + 1), Replace(tail.substr(tail.find('\x1A') + 1), "73", "1"));
}

TEST(ModemModel, AnswersCommandLinesAsTheTc35) {
    struct Case {
        const char* setup;  // sent first, answer ignored
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"", "AT\r", "AT\r\r\nOK\r\n"},
        {"", "at\r", "at\r\r\nOK\r\n"},
        // The driver ends some lines with CR LF; the LF is echoed with the CR.
        {"", "AT+CMGF?\r\n", "AT+CMGF?\r\n\r\n+CMGF: 0\r\n\r\nOK\r\n"},
        {"", "AT+CMGF=?\r", "AT+CMGF=?\r\r\n+CMGF: (0,1)\r\n\r\nOK\r\n"},
        {"AT+CMGF=1\r\n", "AT+CMGF?\r\n", "AT+CMGF?\r\n\r\n+CMGF: 1\r\n\r\nOK\r\n"},
        {"", "AT+CMGF=2\r", "AT+CMGF=2\r\r\nERROR\r\n"},
        {"ATE0\r", "AT\r", "\r\nOK\r\n"},
        {"ATE0\rATE1\r", "AT\r", "AT\r\r\nOK\r\n"},
        {"ATE0\r", "ATI\r", "\r\nSIEMENS\r\nTC35\r\nREVISION 04.00\r\n\r\nOK\r\n"},
        {"ATE0\r", "AT+CGMI\r", "\r\nSIEMENS\r\n\r\nOK\r\n"},
        {"ATE0\r", "AT+CGMM\r", "\r\nTC35\r\n\r\nOK\r\n"},
        {"ATE0\r", "AT+CPMS?\r", "\r\n+CPMS: \"SM\",0,30,\"SM\",0,30,\"SM\",0,30\r\n\r\nOK\r\n"},
        {"ATE0\r", "AT+CPMS=\"SM\"\r", "\r\n+CPMS: 0,30,0,30,0,30\r\n\r\nOK\r\n"},
        {"ATE0\r", "AT+CNMI?\r", "\r\n+CNMI: 0,0,0,0,1\r\n\r\nOK\r\n"},
        {"ATE0\r", "AT+CSCA=\"+8613912345678\",145\r\n", "\r\nOK\r\n"},
        {"ATE0\rAT+CSCA=\"+8613912345678\"\r", "AT+CSCA?\r", "\r\n+CSCA: \"+8613912345678\",145\r\n\r\nOK\r\n"},
        {"ATE0\rAT+CSCS=\"UCS2\"\r", "AT+CSCA?\r",
         "\r\n+CSCA: \"002B0038003600310033003800300030003100300030003500300030\",145\r\n\r\nOK\r\n"},
        {"ATE0\r", "AT+XYZ\r", "\r\nERROR\r\n"},
        {"ATE0\r", "AT+CMGF=1;+CMGF?\r", "\r\n+CMGF: 1\r\n\r\nOK\r\n"},
        // A line without the AT prefix is no command and gets no answer.
        {"ATE0\r", "\r\n", ""},
        // The driver formats the index of AT+CMGD with "%3d".
        {"ATE0\r", "AT+CMGD=  5\r\n", "\r\nOK\r\n"},
        {"ATE0\r", "AT+CMGD=255\r\n", "\r\nERROR\r\n"},
        {"ATE0\rAT+CMEE=1\r", "AT+CMGD=  0\r\n", "\r\n+CMS ERROR: 321\r\n"},
        {"ATE0\rAT+CMEE=2\r", "AT+CMGD=31\r", "\r\n+CMS ERROR: invalid memory index\r\n"},
        {"ATE0\rAT+CMEE=1\r", "AT+CSCS=\"HEX\"\r", "\r\n+CME ERROR: 4\r\n"},
        {"ATE0\r", "AT+CMGR=7\r", "\r\n+CMGR: 0,,0\r\n\r\nOK\r\n"},
        {"ATE0\rAT+CMEE=1\r", "AT+CMGL=\"ALL\"\r", "\r\n+CMS ERROR: 304\r\n"},
        {"ATE0\rAT+CMGF=1\rAT+CMEE=1\r", "AT+CMGL=4\r", "\r\n+CMS ERROR: 305\r\n"},
        {"ATE0\rAT+CMEE=1\rAT+CMGF=1\rAT&F\r", "AT+CMGF?;+CMEE?\r",
         "AT+CMGF?;+CMEE?\r\r\n+CMGF: 0\r\n\r\n+CMEE: 0\r\n\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        Tc35Model m;
        Talk(m, c.setup);
        EXPECT_EQ(Talk(m, c.input), c.expected) << "setup " << c.setup << " input " << c.input;
    }
}

TEST(ModemModel, SimSignalAndRegistrationAsSetUp) {
    // What a commissioning check reads, in each state a plant can be in; the
    // answers' forms are the manual's (AT+CPIN?, AT+CSQ, AT+CREG?).
    using modem::SimState;
    struct Case {
        SimState sim;
        int rssi, ber, registration;
        const char* setup;
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {SimState::kReady, 19, 99, 1, "", "AT+CPIN?;+CSQ;+CREG?\r",
         "\r\n+CPIN: READY\r\n\r\n+CSQ: 19,99\r\n\r\n+CREG: 0,1\r\n\r\nOK\r\n"},
        {SimState::kPinNeeded, 19, 99, 1, "", "AT+CPIN?\r", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"},
        {SimState::kPukNeeded, 19, 99, 1, "", "AT+CPIN?\r", "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n"},
        // No SIM: an error, plain while AT+CMEE is 0 (the factory profile).
        {SimState::kAbsent, 19, 99, 1, "", "AT+CPIN?\r", "\r\nERROR\r\n"},
        {SimState::kAbsent, 19, 99, 1, "AT+CMEE=1\r", "AT+CPIN?\r", "\r\n+CME ERROR: 10\r\n"},
        // Commands that need the PIN fail with CME codes, even SMS commands;
        // AT+CMGF does not need it.
        {SimState::kPinNeeded, 19, 99, 1, "AT+CMEE=1\r", "AT+CSCA?\r", "\r\n+CME ERROR: 11\r\n"},
        {SimState::kPinNeeded, 19, 99, 1, "AT+CMEE=2\r", "AT+CMGL=4\r", "\r\n+CME ERROR: SIM PIN required\r\n"},
        {SimState::kPinNeeded, 19, 99, 1, "", "AT+CSCA?\r", "\r\nERROR\r\n"},
        {SimState::kPinNeeded, 19, 99, 1, "", "AT+CMGF?\r", "\r\n+CMGF: 0\r\n\r\nOK\r\n"},
        // Not registered while the SIM waits for its PIN, whatever the network.
        {SimState::kPinNeeded, 19, 99, 1, "", "AT+CREG?\r", "\r\n+CREG: 0,0\r\n\r\nOK\r\n"},
        {SimState::kReady, 99, 99, 2, "", "AT+CSQ;+CREG?\r",
         "\r\n+CSQ: 99,99\r\n\r\n+CREG: 0,2\r\n\r\nOK\r\n"},
        {SimState::kReady, 31, 0, 5, "AT+CREG=2\r", "AT+CSQ;+CREG?\r",
         "\r\n+CSQ: 31,0\r\n\r\n+CREG: 2,5,\"00C3\",\"291A\"\r\n\r\nOK\r\n"},
        {SimState::kReady, 10, 99, 3, "AT+CREG=2\r", "AT+CREG?\r", "\r\n+CREG: 2,3\r\n\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        Tc35Model m;
        m.radio() = {c.sim, c.rssi, c.ber, c.registration};
        Talk(m, std::string("ATE0\r") + c.setup);
        EXPECT_EQ(Talk(m, c.input), c.expected) << "setup " << c.setup << " input " << c.input;
    }
    // AT&F resets settings, not the SIM or the network.
    Tc35Model m;
    m.radio().sim = SimState::kPinNeeded;
    m.radio().rssi = 5;
    Talk(m, "ATE0\rAT&F\rATE0\r");
    EXPECT_EQ(Talk(m, "AT+CPIN?;+CSQ\r"), "\r\n+CPIN: SIM PIN\r\n\r\n+CSQ: 5,99\r\n\r\nOK\r\n");
}

TEST(ModemModel, PduListingMarksListedUnreadMessagesRead) {
    Tc35Model m;
    Talk(m, "ATE0\r");
    ASSERT_EQ(m.AddMessage(kHelloPdu), 1);
    ASSERT_EQ(m.AddMessage(kUcs2Pdu, true), 2);
    EXPECT_EQ(m.AddMessage("zz"), 0);

    EXPECT_EQ(Talk(m, "AT+CMGL=0\r\n"),
              std::string("\r\n+CMGL: 1,0,,20\r\n") + kHelloPdu + "\r\n\r\nOK\r\n");
    EXPECT_TRUE(m.Message(1)->read);
    EXPECT_EQ(Talk(m, "AT+CMGL=0\r\n"), "\r\nOK\r\n");
    // The length leaves out the 8 octets of the SMSC field.
    EXPECT_EQ(Talk(m, "AT+CMGL=1\r\n"), std::string("\r\n+CMGL: 1,1,,20\r\n") + kHelloPdu +
                                            "\r\n+CMGL: 2,1,,24\r\n" + kUcs2Pdu + "\r\n\r\nOK\r\n");

    // Reading one message marks it read too; deleting empties its slot.
    m.AddMessage(kHelloPdu);  // index 3, unread
    EXPECT_EQ(Talk(m, "AT+CMGR=3\r"), std::string("\r\n+CMGR: 0,,20\r\n") + kHelloPdu + "\r\n\r\nOK\r\n");
    EXPECT_TRUE(m.Message(3)->read);
    EXPECT_EQ(Talk(m, "AT+CMGD=  3\r\n"), "\r\nOK\r\n");
    EXPECT_FALSE(m.Message(3).has_value());
    EXPECT_EQ(Talk(m, "AT+CPMS?\r"), "\r\n+CPMS: \"SM\",2,30,\"SM\",2,30,\"SM\",2,30\r\n\r\nOK\r\n");
}

TEST(ModemModel, TextListingDecodesTheStoredPdus) {
    Tc35Model m;
    Talk(m, "ATE0\rAT+CMGF=1\r");
    m.AddMessage(kHelloPdu);
    m.AddMessage(kUcs2Pdu);
    EXPECT_EQ(Talk(m, "AT+CMGL=\"REC UNREAD\"\r"),
              "\r\n+CMGL: 1,\"REC UNREAD\",\"+123\",,\"05/12/08,21:13:45+32\"\r\nHello\r\n"
              "+CMGL: 2,\"REC UNREAD\",\"+8613912345678\",,\"05/12/08,21:13:45+32\"\r\n4F60597D\r\n"
              "\r\nOK\r\n");
    EXPECT_EQ(Talk(m, "AT+CMGL=\"REC UNREAD\"\r"), "\r\nOK\r\n");
    EXPECT_EQ(Talk(m, "AT+CMGL=\"REC READ\"\r").substr(0, 22), "\r\n+CMGL: 1,\"REC READ\",");
    EXPECT_EQ(Talk(m, "AT+CMGL=\"STO SENT\"\r"), "\r\nOK\r\n");
    EXPECT_EQ(Talk(m, "AT+CMGR=1\r"),
              "\r\n+CMGR: \"REC READ\",\"+123\",,\"05/12/08,21:13:45+32\"\r\nHello\r\n\r\nOK\r\n");
    // With AT+CSDH=1 the type of address and the length follow.
    Talk(m, "AT+CSDH=1\r");
    EXPECT_EQ(Talk(m, "AT+CMGL=\"ALL\"\r").substr(0, 58),
              "\r\n+CMGL: 1,\"REC READ\",\"+123\",,\"05/12/08,21:13:45+32\",145,5");
}

// Splits a TSV line into its columns.
std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == '\t') out.emplace_back();
        else out.back() += c;
    }
    return out;
}

TEST(ModemModelDecoder, MatchesPublicDeliverVectors) {
    std::ifstream file(VANTOR_CAPTURES_DIR "/pdu-vectors.tsv");
    std::string line;
    std::getline(file, line);  // header
    int rows = 0;
    while (std::getline(file, line)) {
        auto col = Columns(line);
        ASSERT_GE(col.size(), 5u);
        std::string error;
        auto pdu = modem::DecodePdu(col[0], &error);
        ASSERT_TRUE(pdu.has_value()) << col[0] << ": " << error;
        EXPECT_FALSE(pdu->submit);
        EXPECT_EQ(pdu->address.Display(), col[1]) << col[0];
        std::string text = pdu->coding == modem::Coding::kData8 ? "hex:" + pdu->text : pdu->text;
        EXPECT_EQ(text, modem::Unescape(col[3])) << col[0];
        ++rows;
    }
    EXPECT_EQ(rows, 19);
}

TEST(ModemModel, RecordsAndDecodesPduModeSends) {
    struct Case {
        const char* pdu;     // as the client sends it
        int length;          // TPDU octets announced with AT+CMGS
        const char* number;
        int toa;
        modem::Coding coding;
        const char* text;
    };
    const Case cases[] = {
        // Made by the driver's rules: no SMSC, relative validity.
        {"001100038121F30000A70AE8329BFD4697D9EC37", 19, "123", 0x81, modem::Coding::kGsm7, "hellohello"},
        {"001100038121F30008A7044E2D6587", 14, "123", 0x81, modem::Coding::kUcs2, "中文"},
        // Made by python-gammu: SMSC field with a type only, no validity
        // period; the extension table and a surrogate pair.
        {"018111000D91683119325476F8000000101B1E7EE303D53665D006F55E6F52", 29, "+8613912345678", 0x91,
         modem::Coding::kGsm7, "[x] 5€ {ok}"},
        {"018111000D91683119325476F8000000095ABF3C3D4683C03F", 23, "+8613912345678", 0x91,
         modem::Coding::kGsm7, "Zürich ¿?"},
        {"018111000D91683119325476F8000800084F60597DD83DDC4D", 23, "+8613912345678", 0x91,
         modem::Coding::kUcs2, "你好👍"},
    };
    Tc35Model m;
    Talk(m, "ATE0\r");
    int reference = 1;
    std::uint64_t now = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(Talk(m, "AT+CMGS=" + std::to_string(c.length) + "\r\n", now), "\r\n> ") << c.pdu;
        now += 50;
        EXPECT_EQ(Talk(m, std::string(c.pdu) + "\x1A", now),
                  "\r\n+CMGS: " + std::to_string(reference) + "\r\n\r\nOK\r\n");
        ASSERT_EQ(m.Sent().size(), static_cast<std::size_t>(reference));
        const modem::SentMessage& sent = m.Sent().back();
        EXPECT_FALSE(sent.text_mode);
        EXPECT_EQ(sent.number, c.number);
        EXPECT_EQ(sent.type_of_address, c.toa);
        EXPECT_EQ(sent.coding, c.coding);
        EXPECT_EQ(sent.text, c.text);
        EXPECT_EQ(sent.pdu, c.pdu);
        EXPECT_EQ(sent.reference, reference);
        EXPECT_EQ(sent.at_ms, now);
        ++reference;
    }
}

TEST(ModemModel, RefusesOrCancelsPduSends) {
    Tc35Model m;
    Talk(m, "ATE0\rAT+CMEE=1\r");
    // A PDU whose TPDU length is not the one announced.
    Talk(m, "AT+CMGS=18\r\n");
    EXPECT_EQ(Talk(m, "001100038121F30000A70AE8329BFD4697D9EC37\x1A"), "\r\n+CMS ERROR: 304\r\n");
    // Not hexadecimal.
    Talk(m, "AT+CMGS=7\r");
    EXPECT_EQ(Talk(m, "0011000G81000000\x1A"), "\r\n+CMS ERROR: 304\r\n");
    // ESC abandons the message and is acknowledged with OK.
    Talk(m, "AT+CMGS=19\r");
    EXPECT_EQ(Talk(m, "001100038121F3\x1B"), "\r\nOK\r\n");
    // No service centre in the PDU and none stored.
    Talk(m, "AT+CSCA=\r");
    Talk(m, "AT+CMGS=19\r");
    EXPECT_EQ(Talk(m, "001100038121F30000A70AE8329BFD4697D9EC37\x1A"), "\r\n+CMS ERROR: 330\r\n");
    EXPECT_TRUE(m.Sent().empty());
    // Afterwards the modem takes commands again.
    EXPECT_EQ(Talk(m, "AT\r"), "\r\nOK\r\n");
}

TEST(ModemModel, TextModeSendTakesTheBodyUpToCtrlZ) {
    Tc35Model m;
    Talk(m, "AT+CMGF=1\r\n");
    // The driver's text dialogue: number quoted, CR only; body, Ctrl-Z, CR.
    EXPECT_EQ(Talk(m, "AT+CMGS=\"13800138000\"\r"), "AT+CMGS=\"13800138000\"\r\r\n> ");
    EXPECT_EQ(Talk(m, "Hi [all] @home\x1A\r"), "Hi [all] @home\x1A\r\n+CMGS: 1\r\n\r\nOK\r\n\r");
    Talk(m, "ATE0\r");
    Talk(m, "AT+CMGS=\"+8613800138000\"\r");
    Talk(m, "a\rb\x1A");
    ASSERT_EQ(m.Sent().size(), 2u);
    EXPECT_TRUE(m.Sent()[0].text_mode);
    EXPECT_EQ(m.Sent()[0].number, "13800138000");
    EXPECT_EQ(m.Sent()[0].type_of_address, 129);
    // With AT+CSCS="GSM" bytes are default-alphabet codes: '[' is Ä, '@' is ¡.
    EXPECT_EQ(m.Sent()[0].text, "Hi ÄallÑ ¡home");
    EXPECT_EQ(m.Sent()[1].number, "+8613800138000");
    EXPECT_EQ(m.Sent()[1].type_of_address, 145);
    EXPECT_EQ(m.Sent()[1].text, "a\nb");
    // More than 160 characters: "+CMS ERROR: 305", or ERROR with AT+CMEE=0.
    Talk(m, "AT+CMGS=\"123\"\r");
    EXPECT_EQ(Talk(m, std::string(161, 'x') + "\x1A"), "\r\nERROR\r\n");
    EXPECT_EQ(m.Sent().size(), 2u);
}

// --- faults ---

TEST(ModemModelFaults, ShapeWhenAnswerBytesArrive) {
    // "AT\r" echoed and "\r\nOK\r\n": 9 bytes produced at t = 100.
    struct Case {
        const char* name;
        modem::LineShape line;
        std::vector<std::pair<std::uint64_t, std::size_t>> arrived;  // time, bytes so far
    };
    modem::LineShape split;
    split.chunks = {3, 2};
    split.chunk_gap_ms = 20;
    modem::LineShape trickle;
    trickle.trickle_ms = 5;
    modem::LineShape baud;
    baud.baud = 9600;  // 10 bits a byte: 1.0417 ms each
    modem::LineShape slow;
    slow.baud = 300;   // 33.3 ms each
    const Case cases[] = {
        {"none", {}, {{99, 0}, {100, 9}}},
        // Echo "AT\r" is one chunk; the answer comes as "\r\nO" | "K\r" | "\n".
        {"split", split, {{100, 6}, {119, 6}, {120, 8}, {139, 8}, {140, 9}}},
        {"trickle", trickle, {{100, 1}, {104, 1}, {105, 2}, {139, 8}, {140, 9}}},
        {"9600 baud", baud, {{100, 0}, {101, 0}, {102, 1}, {108, 7}, {109, 8}, {110, 9}}},
        {"300 baud", slow, {{133, 0}, {134, 1}, {399, 8}, {400, 9}}},
    };
    for (const Case& c : cases) {
        Tc35Model m;
        m.faults().line = c.line;
        m.Receive(reinterpret_cast<const std::uint8_t*>("AT\r"), 3, 100);
        std::string got;
        for (auto [t, count] : c.arrived) {
            got += Drain(m, t);
            EXPECT_EQ(got.size(), count) << c.name << " at " << t;
        }
        EXPECT_EQ(got, "AT\r\r\nOK\r\n") << c.name;
    }
}

TEST(ModemModelFaults, PurgeDropsOnlyWhatHasArrived) {
    Tc35Model m;
    m.faults().line.trickle_ms = 10;
    Talk(m, "ATE0\r");
    Drain(m, 1000);
    m.Receive(reinterpret_cast<const std::uint8_t*>("AT\r"), 3, 2000);
    m.Purge(2015);  // "\r\n" have arrived
    EXPECT_EQ(Drain(m, 5000), "OK\r\n");
}

TEST(ModemModelFaults, SendDialogueFaults) {
    const std::string command = "AT+CMGS=19\r\n";
    const std::string pdu = "001100038121F30000A70AE8329BFD4697D9EC37\x1A";
    {
        // The result comes late; the echo does not. The command runs until
        // then: a listing typed meanwhile is not heard, so it neither marks
        // a message read nor answers; once the result is out, it is.
        Tc35Model m;
        m.AddMessage(kHelloPdu);
        m.faults().send_result_delay_ms = 3000;
        Talk(m, command, 0);
        EXPECT_EQ(Talk(m, pdu, 100), pdu);
        EXPECT_EQ(Talk(m, "AT+CMGL=0\r", 2000), "");
        EXPECT_FALSE(m.Message(1)->read);
        EXPECT_EQ(Drain(m, 3099), "");
        EXPECT_EQ(Drain(m, 3100), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
        EXPECT_NE(Talk(m, "AT+CMGL=0\r", 3200).find("+CMGL: 1,0,,20"), std::string::npos);
        EXPECT_TRUE(m.Message(1)->read);
    }
    {
        // Prompt, then nothing; the message is not sent; later commands work.
        Tc35Model m;
        m.faults().silent_after_prompt = true;
        EXPECT_EQ(Talk(m, command), command + "\r\n> ");
        EXPECT_EQ(Talk(m, pdu, 10), "");
        EXPECT_EQ(Drain(m, 100000), "");
        EXPECT_TRUE(m.Sent().empty());
        EXPECT_EQ(Talk(m, "AT\r", 20), "AT\r\r\nOK\r\n");
    }
    {
        // The line drops at the first byte of the message: nothing is sent,
        // nothing answered until it is back.
        Tc35Model m;
        m.faults().hangup_in_body_ms = 3000;
        EXPECT_EQ(Talk(m, command), command + "\r\n> ");
        EXPECT_EQ(m.TakeHangUp(), 0u);
        // The rest of the chunk is lost with the line, a command in it too.
        EXPECT_EQ(Talk(m, pdu + "\rAT\r", 10), "");
        EXPECT_EQ(m.CommandLines().size(), 1u);
        EXPECT_EQ(m.TakeHangUp(), 3000u);
        EXPECT_EQ(m.TakeHangUp(), 0u);
        EXPECT_TRUE(m.Sent().empty());
        EXPECT_EQ(Talk(m, "AT\r", 3009), "");
        EXPECT_EQ(Talk(m, "AT\r", 3010), "AT\r\r\nOK\r\n");
        // One-shot: the next send goes through.
        Talk(m, command, 3020);
        EXPECT_EQ(Talk(m, pdu, 3030), pdu + "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    }
    {
        // The line drops once the message went out: sent, the result lost.
        // A refused send does not use the fault up.
        Tc35Model m;
        Talk(m, "ATE0\r");
        m.faults().hangup_after_submit_ms = 2000;
        m.faults().bare_ok_on_send = true;
        Talk(m, command);
        EXPECT_EQ(Talk(m, pdu), "\r\nOK\r\n");
        EXPECT_EQ(m.TakeHangUp(), 0u);
        m.faults().bare_ok_on_send = false;
        Talk(m, command, 10);
        EXPECT_EQ(Talk(m, pdu, 20), "");
        EXPECT_EQ(m.TakeHangUp(), 2000u);
        ASSERT_EQ(m.Sent().size(), 1u);
        EXPECT_EQ(Drain(m, 100000), "");
    }
    {
        // A refusal with a bare OK.
        Tc35Model m;
        Talk(m, "ATE0\r");
        m.faults().bare_ok_on_send = true;
        Talk(m, command);
        EXPECT_EQ(Talk(m, pdu), "\r\nOK\r\n");
        EXPECT_TRUE(m.Sent().empty());
    }
    {
        // A chosen error for the first try only, after the PDU; then one
        // instead of the prompt.
        Tc35Model m;
        Talk(m, "ATE0\r");
        m.FailCommand("CMGS", 500, 1);
        Talk(m, command);
        EXPECT_EQ(Talk(m, pdu), "\r\n+CMS ERROR: 500\r\n");
        EXPECT_EQ(Talk(m, command), "\r\n> ");
        EXPECT_EQ(Talk(m, pdu), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
        m.FailCommand("+CMGS", modem::kPlainError, -1, true);
        EXPECT_EQ(Talk(m, command), "\r\nERROR\r\n");
        EXPECT_EQ(Talk(m, command), "\r\nERROR\r\n");
        m.ClearFailures();
        EXPECT_EQ(Talk(m, command), "\r\n> ");
    }
}

TEST(ModemModelFaults, LineFaults) {
    {
        Tc35Model m;
        m.faults().silent = true;
        EXPECT_EQ(Talk(m, "AT\r"), "");
        EXPECT_EQ(m.Received(), "AT\r");
        ASSERT_EQ(m.CommandLines().size(), 1u);
        m.faults().silent = false;
        EXPECT_EQ(Talk(m, "AT\r"), "AT\r\r\nOK\r\n");
    }
    {
        Tc35Model m;
        m.faults().garbage = std::string("\xFF\x00~", 3);
        EXPECT_EQ(Talk(m, "AT\r"), std::string("AT\r\xFF\x00~\r\nOK\r\n", 12));
    }
    {
        // A flood without a result code, once.
        Tc35Model m;
        m.faults().flood = 10000;
        std::string flood = Talk(m, "AT+CMGL=4\r");
        EXPECT_EQ(flood.size(), 10000u + 10);
        EXPECT_EQ(flood.find("OK\r\n"), std::string::npos);
        EXPECT_EQ(Talk(m, "AT\r"), "AT\r\r\nOK\r\n");
    }
    {
        // Hang-up: queued output is lost, nothing is heard until it ends.
        Tc35Model m;
        m.faults().line.trickle_ms = 10;
        Talk(m, "AT\r", 0);
        m.HangUp(5, 3000);
        EXPECT_EQ(Drain(m, 1000), "");
        EXPECT_EQ(Talk(m, "AT\r", 2999), "");
        EXPECT_EQ(Drain(m, 4000), "");
        m.faults().line.trickle_ms = 0;
        EXPECT_EQ(Talk(m, "AT\r", 3005), "AT\r\r\nOK\r\n");
    }
    {
        // Babble: a junk line every 20 ms, no echo and no answer, whatever
        // the client sends; a long gap between two reads catches up by at most a
        // second; off, the line is quiet and answers again.
        Tc35Model m;
        m.faults().babble_ms = 20;
        std::string junk = Drain(m, 0);
        junk += Talk(m, "AT\r", 50);
        junk += Drain(m, 99);
        EXPECT_EQ(junk.size(), 5u * 64);
        EXPECT_EQ(junk.find("AT"), std::string::npos);
        EXPECT_EQ(junk.find("OK"), std::string::npos);
        EXPECT_EQ(m.NextArrival(99), 100u);
        EXPECT_EQ(Drain(m, 60000).size(), 51u * 64);
        m.faults().babble_ms = 0;
        EXPECT_EQ(Drain(m, 60100), "");
        EXPECT_FALSE(m.NextArrival(60100).has_value());
        EXPECT_EQ(Talk(m, "AT\r", 60100), "AT\r\r\nOK\r\n");
    }
    {
        // Answers (not echo) delayed.
        Tc35Model m;
        m.faults().answer_delay_ms = 50;
        EXPECT_EQ(Talk(m, "AT\r", 0), "AT\r");
        EXPECT_EQ(Drain(m, 50), "\r\nOK\r\n");
    }
}

TEST(ModemModelFaults, MessageArrivingDuringAListing) {
    Tc35Model m;
    Talk(m, "ATE0\rAT+CNMI=2,1,0,0,1\r");
    m.AddMessage(kHelloPdu);
    m.faults().arrive_during_listing = kUcs2Pdu;
    // The new message is not in this listing; its indication follows the OK.
    EXPECT_EQ(Talk(m, "AT+CMGL=0\r\n"), std::string("\r\n+CMGL: 1,0,,20\r\n") + kHelloPdu +
                                            "\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",2\r\n");
    ASSERT_TRUE(m.Message(2).has_value());
    EXPECT_FALSE(m.Message(2)->read);
    EXPECT_EQ(Talk(m, "AT+CMGL=0\r\n").substr(0, 18), "\r\n+CMGL: 2,0,,24\r\n");
    // A delivery outside a command is announced at once; with <mt> 0 silently stored.
    EXPECT_EQ(m.Deliver(kHelloPdu, 0), 3);
    EXPECT_EQ(Drain(m, 0), "\r\n+CMTI: \"SM\",3\r\n");
    Talk(m, "AT+CNMI=0,0\r");
    EXPECT_EQ(m.Deliver(kHelloPdu, 0), 4);
    EXPECT_EQ(Drain(m, 0), "");
    // Every message that entered the store is on record, in order, even
    // once deleted.
    Talk(m, "AT+CMGD=1\r");
    ASSERT_EQ(m.Stored().size(), 4u);
    EXPECT_EQ(m.Stored()[0].index, 1);
    EXPECT_EQ(m.Stored()[0].pdu, kHelloPdu);
    EXPECT_EQ(m.Stored()[1].index, 2);
    EXPECT_EQ(m.Stored()[1].pdu, kUcs2Pdu);
    EXPECT_FALSE(m.Stored()[1].read);
}

}  // namespace
