// The journal: one line per send, refusal, unknown outcome, received and
// deleted message, lost and recovered link and restart, written into the
// day's UTF-8 file after the host's call, never in the host's way; its
// bounds, its settings and its file format. Virtual time and files against
// the TC35 model.
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "gsm7_hex.h"
#include "journal/day_file.h"
#include "journal/line_format.h"
#include "journal/recorder.h"
#include "modem/modem_model.h"

namespace vantor::test {
namespace {

using os::virt::FolderFault;

constexpr char kFolder[] = "C:\\ProgramData\\Vantor\\journal";
// Virtual time 0 is 2026-01-01 00:00 UTC, 08:00 in the default zone (UTC+8).
constexpr char kToday[] = "C:\\ProgramData\\Vantor\\journal\\journal-2026-01-01.txt";
constexpr char kHeader[] = "time\tport\tevent\tnumber\tparts\treferences\tresult\terror\tmeaning\ttext";
constexpr char kBom[] = "\xEF\xBB\xBF";

enum Column { kTime, kPort, kEvent, kNumber, kParts, kRefs, kResult, kError, kMeaning, kText, kColumns };

// "你好，世界" in GBK and UTF-8.
const std::string kHelloGbk = "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7";
const std::string kHelloUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C";

using Row = std::vector<std::string>;

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size())
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The events of a day file: every line but the header, split into fields,
// each without its text mark as a reader takes it back. The file must start
// with the byte-order mark and the header and end with a line end; every
// line has all its fields.
std::vector<Row> Events(const std::string& path = kToday) {
    const std::string text = os::virt::FileText(path);
    std::vector<Row> events;
    EXPECT_EQ(text.rfind(std::string(kBom) + kHeader + "\r\n", 0), 0u) << path;
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
        ADD_FAILURE() << "no line end at the end of " << path;
        return events;
    }
    std::vector<std::string> lines = Split(text.substr(0, text.size() - 2), "\r\n");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        Row f = Split(lines[i], "\t");
        EXPECT_EQ(f.size(), static_cast<std::size_t>(kColumns)) << lines[i];
        for (std::string& field : f)
            if (!field.empty() && field[0] == journal::kTextMark) field.erase(0, 1);
        f.resize(kColumns);
        events.push_back(f);
    }
    return events;
}

std::vector<Row> EventsOf(const std::string& kind) {
    std::vector<Row> found;
    for (const Row& f : Events())
        if (f[kEvent] == kind) found.push_back(f);
    return found;
}

// An SMS-DELIVER from the international number `sender`, stamped 25/12/08
// 21:14:05 +08, 7-bit or (`body` in hex) UCS-2.
std::string Deliver(const std::string& sender, const std::string& body, bool ucs2 = false) {
    std::string pdu = "0004" + HexOctet(static_cast<unsigned>(sender.size())) + "91";
    const std::string digits = sender + (sender.size() % 2 ? "F" : "");
    for (std::size_t i = 0; i < digits.size(); i += 2) pdu += {digits[i + 1], digits[i]};
    pdu += ucs2 ? "0008" : "0000";
    pdu += "52218012415023";
    if (ucs2) return pdu + HexOctet(static_cast<unsigned>(body.size() / 2)) + body;
    return pdu + HexOctet(static_cast<unsigned>(body.size())) + Pack7Hex(body);
}
// 你好 as UCS-2.
constexpr char kNiHaoUcs2[] = "4F60597D";

class Journal : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        journal::ForgetModuleState();
        OpenWith(tc35, 1000);
    }
    void TearDown() override {
        DeviceTest::TearDown();
        journal::ForgetModuleState();
    }
    int ReadAt() {
        PacketBuilder at(kAT);
        at.Value(kType2, 7);
        return Run(at) == 1 ? static_cast<int>(at.Item(0).value) : -1;
    }
    void Message(const char* tele, const std::string& body, std::uint8_t codeMod = 1) {
        std::strcpy(modem.Tele, tele);
        const std::size_t first = body.size() < 254 ? body.size() : 254;
        std::snprintf(modem.MsgSend[0], sizeof modem.MsgSend[0], "%s", body.substr(0, first).c_str());
        std::snprintf(modem.MsgSend[1], sizeof modem.MsgSend[1], "%s", body.substr(first).c_str());
        modem.CodeMod = codeMod;
    }
    modem::Tc35Model tc35;
};

// --- sends ---

// A confirmed, a refused and an unknown send, through the write cycle: each
// outcome is one line with its number, parts, references, result, code and
// meaning and the text in UTF-8; a refusal tried again says so.
TEST_F(Journal, SendOutcomesAreJournaledOnce) {
    modem.ReSTime = 3;
    Message("13800138000", kHelloGbk);
    ASSERT_EQ(Write(kSEND), 1);

    tc35.FailCommand("CMGS", 42, 1);  // congestion, once
    Message("+8613900000001", "Pump 3 pressure high", 0);
    ASSERT_EQ(Write(kSEND), 1);

    tc35.FailCommand("CMGS", 330, 1);  // no service centre: permanent
    Message("13900000002", "Tank low", 0);
    ASSERT_EQ(Write(kSEND), 0);

    tc35.faults().silent_after_prompt = true;
    Message("13900000003", "Door open", 0);
    ASSERT_EQ(Write(kSEND), 0);
    EXPECT_EQ(modem.SReturn, 2);
    tc35.faults().silent_after_prompt = false;

    const std::vector<Row> events = Events();
    ASSERT_EQ(events.size(), 5u);
    const Row& sent = events[0];
    EXPECT_EQ(sent[kEvent], "sent");
    EXPECT_EQ(sent[kPort], "COM1");
    EXPECT_EQ(sent[kNumber], "13800138000");
    EXPECT_EQ(sent[kParts], "1");
    EXPECT_EQ(sent[kResult], "ok");
    EXPECT_EQ(sent[kText], kHelloUtf8);
    EXPECT_EQ(sent[kTime].substr(0, 11), "2026-01-01 ");
    EXPECT_EQ(sent[kTime].substr(sent[kTime].size() - 7), " +08:00");

    EXPECT_EQ(events[1][kEvent], "refused");
    EXPECT_EQ(events[1][kResult], "refused, tried again");
    EXPECT_EQ(events[1][kError], "+CMS ERROR: 42");
    EXPECT_EQ(events[1][kMeaning], "congestion");
    EXPECT_EQ(events[1][kNumber], "+8613900000001");
    EXPECT_EQ(events[2][kEvent], "sent");
    EXPECT_EQ(events[2][kText], "Pump 3 pressure high");

    EXPECT_EQ(events[3][kEvent], "refused");
    EXPECT_EQ(events[3][kResult], "refused, not tried again");
    EXPECT_EQ(events[3][kError], "+CMS ERROR: 330");
    EXPECT_EQ(events[3][kText], "Tank low");

    EXPECT_EQ(events[4][kEvent], "outcome unknown");
    EXPECT_EQ(events[4][kResult], "outcome unknown, not tried again");
    EXPECT_EQ(events[4][kNumber], "13900000003");

    // The references are the modem's own (+CMGS: <mr>), one per message.
    EXPECT_FALSE(sent[kRefs].empty());
    EXPECT_NE(sent[kRefs], events[2][kRefs]);
}

// A verdict that comes after the send gave up (75 s after the Ctrl-Z) is a
// verdict: read by the next call, it is a "sent" line of its own with the
// modem's reference and how late it came, and the host's retry of the same
// message ends with SReturn 1 without a second copy, also when another alarm
// went out in between. An hour later the same text is a new alarm and goes
// out again. Both formats.
TEST_F(Journal, ALateVerdictIsJournaledAndTheRetryNotSentAgain) {
    for (int format : {0, 1}) {
        const bool otherInBetween = format == 1;
        SCOPED_TRACE(format);
        ASSERT_EQ(Write(kCMGF, format), 1);
        modem.ReSTime = 3;
        const std::string text = "Tank 2 low " + std::to_string(format);
        Message("13800138000", text, 0);
        tc35.faults().send_result_delay_ms = 75000;
        const std::size_t sent = tc35.Sent().size();
        EXPECT_EQ(Write(kSEND), 0);
        EXPECT_EQ(modem.SReturn, 2);
        EXPECT_EQ(tc35.Sent().size(), sent + 1);  // it went out, the verdict is late
        tc35.faults().send_result_delay_ms = 0;
        os::Sleep(20000);
        EXPECT_EQ(ReadAt(), 1);  // the host's link test reads what waits

        std::vector<Row> lines;
        for (const Row& f : Events())
            if (f[kText] == text) lines.push_back(f);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0][kEvent], "outcome unknown");
        EXPECT_EQ(lines[1][kEvent], "sent");
        EXPECT_EQ(lines[1][kResult], "sent, verdict 80 s late");
        EXPECT_EQ(lines[1][kRefs], std::to_string(tc35.Sent().back().reference));
        EXPECT_EQ(lines[1][kNumber], "13800138000");

        if (otherInBetween) {
            Message("13800138000", "Door 4 open", 0);
            EXPECT_EQ(Write(kSEND), 1);
            Message("13800138000", text, 0);
        }
        const std::size_t before = tc35.Sent().size();
        EXPECT_EQ(Write(kSEND), 1);  // the host's retry
        EXPECT_EQ(modem.SReturn, 1);
        EXPECT_EQ(tc35.Sent().size(), before);
        EXPECT_EQ(EventsOf("sent").back()[kResult], "ok, confirmed late before: not sent again");

        os::Sleep(3600 * 1000);
        EXPECT_EQ(Write(kSEND), 1);  // the same alarm an hour later
        EXPECT_EQ(tc35.Sent().size(), before + 1);
        EXPECT_EQ(tc35.Sent().back().text, text);
    }
}

// A long message is one "sent" line with every part's reference; a text
// mode send the modem cannot take is refused before it is tried.
TEST_F(Journal, LongMessagesAndUnsendableTexts) {
    Message("13800138000", std::string(300, 'a'), 0);  // 2 parts of 153 septets
    ASSERT_EQ(Write(kSEND), 1);
    std::vector<Row> sent = EventsOf("sent");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][kParts], "2");
    EXPECT_EQ(Split(sent[0][kRefs], " ").size(), 2u) << sent[0][kRefs];

    ASSERT_EQ(Write(kCMGF, 1), 1);
    Message("13800138000", kHelloGbk);
    ASSERT_EQ(Write(kSEND), 0);
    const std::vector<Row> refused = EventsOf("refused");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0][kMeaning], "the modem cannot take this message");
    EXPECT_EQ(refused[0][kText], kHelloUtf8);
}

// --- status reports ---

// With DeliveryReports on, every message asks for a report and the modem is
// set up to route reports to the line; each report read is acknowledged and
// journaled against its message: delivered with the time, not delivered
// with the status's meaning, in PDU and text mode. A report the host's
// silence left unacknowledged too long has switched the routing off: the
// acknowledgement is refused, and the routing is put back at once, with the
// plant's new-message indications the modem switched off with it, so the
// next send's report comes like the others.
TEST_F(Journal, StatusReportsSayWhetherTheMessageReachedThePhone) {
    tc35.settings().cnmi[1] = 1;  // +CMTI on, as the plant's profile has it
    ASSERT_EQ(ReadAt(), 1);       // the host's poll sets the modem up (reports are on by default)
    const auto send = [&](const char* text) {
        Message("+8613912345678", text, 0);
        EXPECT_EQ(Write(kSEND), 1) << text;
        EXPECT_TRUE(tc35.Sent().back().report_requested) << text;
        return std::stoi(EventsOf("sent").back()[kRefs]);
    };
    const auto lastOf = [&](const char* kind) {
        const std::vector<Row> rows = EventsOf(kind);
        return rows.empty() ? Row(kColumns) : rows.back();
    };

    int mr = send("Pump 7 high");
    ASSERT_TRUE(tc35.ScheduleReport(mr, "+8613912345678", Now() + 3000));
    os::Sleep(5000);
    ASSERT_EQ(ReadAt(), 1);  // the next poll reads the report
    Row delivered = lastOf("delivered");
    EXPECT_EQ(delivered[kText], "Pump 7 high");
    EXPECT_EQ(delivered[kRefs], std::to_string(mr));
    EXPECT_NE(delivered[kResult].find(", 3 s after sending"), std::string::npos) << delivered[kResult];
    EXPECT_EQ(tc35.Reports().back().fate, modem::ReportFate::kAcknowledged);

    mr = send("Tank 4 low");
    ASSERT_TRUE(tc35.ScheduleReport(mr, "+8613912345678", Now() + 1000, modem::kReportExpired));
    os::Sleep(2000);
    ASSERT_EQ(ReadAt(), 1);
    const Row failed = lastOf("not delivered");
    EXPECT_EQ(failed[kText], "Tank 4 low");
    EXPECT_EQ(failed[kMeaning], "validity period expired");

    // The host is silent for 20 s: the modem gives up waiting for AT+CNMA.
    mr = send("Door open");
    ASSERT_TRUE(tc35.ScheduleReport(mr, "+8613912345678", Now() + 1000));
    os::Sleep(20000);
    ASSERT_EQ(ReadAt(), 1);
    EXPECT_EQ(lastOf("delivered")[kText], "Door open");
    ASSERT_EQ(tc35.RoutingSwitchedOff().size(), 1u);
    EXPECT_EQ(tc35.settings().cnmi[1], 1);
    EXPECT_EQ(tc35.settings().cnmi[3], 1);
    ASSERT_EQ(Write(kCMGF, 1), 1);  // text mode from here on
    mr = send("Valve 2 shut");
    ASSERT_TRUE(tc35.ScheduleReport(mr, "+8613912345678", Now() + 1000));
    os::Sleep(2000);
    ASSERT_EQ(ReadAt(), 1);
    EXPECT_EQ(lastOf("delivered")[kText], "Valve 2 shut");
    EXPECT_EQ(tc35.Reports().back().fate, modem::ReportFate::kAcknowledged);
    EXPECT_EQ(EventsOf("delivered").size(), 3u);

    // A long message: each part's report on its line, the last one says the
    // whole message reached the phone.
    ASSERT_EQ(Write(kCMGF, 0), 1);
    const std::string longText(200, 'x');
    Message("+8613912345678", longText, 0);
    ASSERT_EQ(Write(kSEND), 1);
    const std::vector<std::string> refs = Split(EventsOf("sent").back()[kRefs], " ");
    ASSERT_EQ(refs.size(), 2u);
    for (std::size_t k = 0; k < refs.size(); ++k)
        ASSERT_TRUE(tc35.ScheduleReport(std::stoi(refs[k]), "+8613912345678", Now() + 1000 + 1000 * k)) << k;
    for (int poll = 0; poll < 4; ++poll) {
        os::Sleep(1000);
        ASSERT_EQ(ReadAt(), 1);
    }
    const std::vector<Row> parts = EventsOf("delivered");
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(parts[3][kParts], "1/2");
    EXPECT_EQ(parts[3][kResult].find("all"), std::string::npos) << parts[3][kResult];
    EXPECT_EQ(parts[4][kParts], "2/2");
    EXPECT_NE(parts[4][kResult].find("; all 2 parts"), std::string::npos) << parts[4][kResult];

    // The port opened again, on another modem: set up again before its send.
    modem.ClosePort();
    os::virt::RemovePort("COM1");
    modem::Tc35Model other;
    os::virt::AddPort("COM1", &other);
    PortConfig config = MakePortConfig("COM1", 9600, 1000);
    ASSERT_EQ(modem.OpenPort(&config), 1);
    ASSERT_EQ(ReadAt(), 1);
    Message("+8613912345678", "Pump 8 high", 0);
    ASSERT_EQ(Write(kSEND), 1);
    ASSERT_TRUE(other.Sent().back().report_requested);
    ASSERT_TRUE(other.ScheduleReport(std::stoi(EventsOf("sent").back()[kRefs]), "+8613912345678", Now() + 1000));
    os::Sleep(2000);
    ASSERT_EQ(ReadAt(), 1);
    EXPECT_EQ(EventsOf("delivered").back()[kText], "Pump 8 high");
    modem.ClosePort();
    os::virt::RemovePort("COM1");
}

// A long message whose verdicts each come 10 s late: part 1's report
// arrives while part 2 waits for its verdict, and is acknowledged right
// after that attempt, not when the whole send ends 20 s later, past the
// network's 15 s. Every part's report is journaled, none is lost.
TEST_F(Journal, AReportReadDuringALongSendIsAcknowledgedBetweenItsAttempts) {
    ASSERT_EQ(ReadAt(), 1);
    tc35.radio().reports = {true, modem::kReportDelivered, 1000};
    tc35.faults().send_result_delay_ms = 10000;
    Message("+8613912345678", std::string(400, 'p'), 0);
    ASSERT_EQ(Write(kSEND), 1);
    tc35.faults().send_result_delay_ms = 0;
    os::Sleep(2000);
    ASSERT_EQ(ReadAt(), 1);
    os::Sleep(2000);
    ASSERT_EQ(ReadAt(), 1);
    ASSERT_EQ(tc35.Reports().size(), 3u);
    for (const modem::StatusReport& r : tc35.Reports())
        EXPECT_EQ(r.fate, modem::ReportFate::kAcknowledged) << "mr " << r.reference;
    EXPECT_TRUE(tc35.RoutingSwitchedOff().empty());
    EXPECT_EQ(EventsOf("delivered").size(), 3u);
}

// A message whose verdict came after its send had given up (the outcome
// unknown) waits for its report like any other once the late verdict is
// read: the report is journaled against it, not traced as on no message.
TEST_F(Journal, AReportOnAMessageConfirmedLateIsJournaled) {
    ASSERT_EQ(ReadAt(), 1);
    tc35.faults().send_result_delay_ms = 70000;
    Message("+8613912345678", "Pump 5 high", 0);
    EXPECT_EQ(Write(kSEND), 0);
    tc35.faults().send_result_delay_ms = 0;
    os::Sleep(15000);
    ASSERT_EQ(ReadAt(), 1);  // reads the late verdict
    ASSERT_EQ(EventsOf("sent").size(), 1u);
    const int mr = tc35.Sent().back().reference;
    ASSERT_TRUE(tc35.ScheduleReport(mr, "+8613912345678", Now() + 1000));
    os::Sleep(2000);
    ASSERT_EQ(ReadAt(), 1);
    const std::vector<Row> delivered = EventsOf("delivered");
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0][kText], "Pump 5 high");
    EXPECT_EQ(delivered[0][kRefs], std::to_string(mr));
}

// A report the line lost (the driver never read it) went unacknowledged,
// and the modem switched the routing off, with the plant's new-message
// indications, without the driver hearing of it: the host's polls find it
// off within ten minutes and put both back, so the next send's report is
// journaled.
TEST_F(Journal, RoutingSwitchedOffUnheardIsPutBackWithinTenMinutes) {
    tc35.settings().cnmi[1] = 1;
    ASSERT_EQ(ReadAt(), 1);
    tc35.settings().cnmi[1] = 0;  // what the modem does when the network's time runs out
    tc35.settings().cnmi[3] = 0;
    os::Sleep(9 * 60000);
    ASSERT_EQ(ReadAt(), 1);
    EXPECT_EQ(tc35.settings().cnmi[3], 0) << "read before ten minutes";
    os::Sleep(60000);
    ASSERT_EQ(ReadAt(), 1);
    EXPECT_EQ(tc35.settings().cnmi[1], 1);
    EXPECT_EQ(tc35.settings().cnmi[3], 1);
    Message("+8613912345678", "Pump 2 high", 0);
    ASSERT_EQ(Write(kSEND), 1);
    ASSERT_TRUE(tc35.ScheduleReport(tc35.Sent().back().reference, "+8613912345678", Now() + 1000));
    os::Sleep(2000);
    ASSERT_EQ(ReadAt(), 1);
    const std::vector<Row> delivered = EventsOf("delivered");
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0][kText], "Pump 2 high");
}

// A report on a message this driver object never sent (the HMI restarted
// since, with a new object) is journaled all the same, with the number and
// reference the report names, which match the earlier "sent" line.
TEST_F(Journal, AReportOnAMessageSentBeforeARestartKeepsItsNumberAndReference) {
    ASSERT_EQ(ReadAt(), 1);
    Message("+8613912345678", "Pump 6 high", 0);
    ASSERT_EQ(Write(kSEND), 1);
    const int mr = tc35.Sent().back().reference;
    modem.ClosePort();
    CGsmModem restarted;
    PortConfig config = MakePortConfig("COM1", 9600, 1000);
    ASSERT_EQ(restarted.OpenPort(&config), 1);
    ASSERT_TRUE(tc35.ScheduleReport(mr, "+8613912345678", Now() + 1000));
    os::Sleep(2000);
    PacketBuilder at(kAT);
    at.Value(kType2, 0);
    ASSERT_EQ(restarted.ProcessPacket(at.Packet(), 1), 1);
    restarted.ClosePort();
    const std::vector<Row> delivered = EventsOf("delivered");
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0][kNumber], "+8613912345678");
    EXPECT_EQ(delivered[0][kRefs], std::to_string(mr));
    EXPECT_EQ(delivered[0][kParts], "");
    EXPECT_EQ(delivered[0][kText], "");
}

// Switched off (DeliveryReports 0), the driver says nothing of reports to
// the modem and messages ask for none.
TEST_F(Journal, ReportsSwitchedOffAskForNone) {
    os::virt::SetRegistryDword("SOFTWARE\\Vantor", "DeliveryReports", 0);
    ASSERT_EQ(ReadAt(), 1);
    Message("+8613912345678", "Pump 3 high", 0);
    ASSERT_EQ(Write(kSEND), 1);
    EXPECT_FALSE(tc35.Sent().back().report_requested);
    for (const std::string& line : tc35.CommandLines())
        EXPECT_TRUE(line.find("CSMS") == std::string::npos && line.find("CNMI") == std::string::npos) << line;
}

// A modem that refuses phase 2+ (or the routing of reports) sends as
// before: the message asks for no report, the refusal is traced once, and
// nothing is journaled but the send.
TEST_F(Journal, AModemWithoutReportsSendsAsBefore) {
    tc35.FailCommand("CSMS");
    ASSERT_EQ(ReadAt(), 1);
    for (const char* text : {"Pump 1 high", "Pump 2 high"}) {
        Message("+8613912345678", text, 0);
        ASSERT_EQ(Write(kSEND), 1);
        EXPECT_FALSE(tc35.Sent().back().report_requested) << text;
    }
    int traced = 0;
    for (const std::string& l : os::virt::TraceLines()) traced += l.find("refuses AT+CSMS=1") != std::string::npos;
    EXPECT_EQ(traced, 1);
    EXPECT_EQ(EventsOf("sent").size(), 2u);
}

// --- received and deleted ---

// A message is journaled as it came, whatever the host's code page can show:
// characters GBK lacks (Thai, an emoji beyond the BMP) reach the journal
// exactly from the PDU and from the text-mode listing alike, while the
// host's display shows them as '?'; the sender keeps its '+', the time
// stamp its zone.
TEST_F(Journal, AMessageIsJournaledExactlyBeyondTheCodePage) {
    // "ก 😀 ok": U+0E01, U+1F600 (D83D DE00), in UCS-2 user data.
    const std::string body = "0E010020D83DDE000020006F006B";
    const std::string utf8 = "\xE0\xB8\x81 \xF0\x9F\x98\x80 ok";
    for (const int format : {0, 1}) {
        SCOPED_TRACE(format);
        journal::ForgetModuleState();
        ASSERT_EQ(Write(kCMGF, format), 1);
        const int index = tc35.AddMessage(Deliver("8613912345678", body, true));
        ASSERT_GE(index, 1);
        ASSERT_EQ(Write(kNEW), 1);
        const std::vector<Row> received = EventsOf("received");
        ASSERT_FALSE(received.empty());
        const Row& last = received.back();
        EXPECT_EQ(last[kText], utf8);
        EXPECT_EQ(last[kNumber], "+8613912345678");
        EXPECT_EQ(last[kResult], "unread, stamped 2025-12-08 21:14:05 +08:00");
        EXPECT_EQ(last[kRefs], std::to_string(index));
        const std::string shown = modem.MsgNec[0];
        EXPECT_EQ(shown.substr(shown.size() - 3), " ok");
        EXPECT_NE(shown.find('?'), std::string::npos) << shown;
    }
}

// Each message once, the first time a listing shows it: not again when the
// unread listing shows it once more, nor in the read listing; a new message
// in a storage index freed by a deletion is a new message.
TEST_F(Journal, ReceivedMessagesOnceAndDeletions) {
    ASSERT_EQ(tc35.AddMessage(Deliver("8613912345678", "Pump 7 high")), 1);
    ASSERT_EQ(tc35.AddMessage(Deliver("8613900000000", kNiHaoUcs2, true)), 2);
    ASSERT_EQ(Write(kNEW), 1);
    tc35.PutMessage(2, Deliver("8613900000000", kNiHaoUcs2, true), false);  // unread again
    ASSERT_EQ(Write(kNEW), 1);
    ASSERT_EQ(Write(kOLD), 1);
    ASSERT_EQ(Write(kCMGF, 1), 1);  // the same messages in text mode
    ASSERT_EQ(Write(kOLD), 1);
    ASSERT_EQ(Write(kCMGF, 0), 1);

    std::vector<Row> received = EventsOf("received");
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0][kNumber], "+8613912345678");
    EXPECT_EQ(received[0][kRefs], "1");
    EXPECT_EQ(received[0][kResult], "unread, stamped 2025-12-08 21:14:05 +08:00");
    EXPECT_EQ(received[0][kText], "Pump 7 high");
    EXPECT_EQ(received[1][kText], "\xE4\xBD\xA0\xE5\xA5\xBD");  // 你好
    EXPECT_EQ(received[1][kRefs], "2");

    ASSERT_EQ(Write(kCMGD, 1), 1);
    tc35.FailCommand("CMGD", 321, 1);
    ASSERT_EQ(Write(kCMGD, 2), 0);
    tc35.FailCommand("CMGD", 399, 1);  // a code without a listed meaning
    ASSERT_EQ(Write(kCMGD, 2), 0);
    const std::vector<Row> deleted = EventsOf("deleted");
    ASSERT_EQ(deleted.size(), 3u);
    EXPECT_EQ(deleted[2][kError], "+CMS ERROR: 399");
    EXPECT_EQ(deleted[2][kMeaning], "");
    EXPECT_EQ(deleted[0][kRefs], "1");
    EXPECT_EQ(deleted[0][kResult], "OK");
    EXPECT_EQ(deleted[1][kRefs], "2");
    EXPECT_EQ(deleted[1][kResult], "not deleted");
    EXPECT_EQ(deleted[1][kError], "+CMS ERROR: 321");
    EXPECT_EQ(deleted[1][kMeaning], "invalid memory index");

    tc35.Deliver(Deliver("8613912345678", "Pump 7 normal"), Now());  // into index 1
    ASSERT_EQ(Write(kNEW), 1);
    received = EventsOf("received");
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[2][kRefs], "1");
    EXPECT_EQ(received[2][kText], "Pump 7 normal");
}

// --- the link and the modem ---

TEST_F(Journal, LinkLostAndBackAndARestart) {
    ASSERT_EQ(ReadAt(), 1);
    tc35.HangUp(Now(), 8000);
    int polls = 0;
    while (ReadAt() != 1 && polls < 40) ++polls;
    ASSERT_LT(polls, 40);
    const std::vector<Row> lost = EventsOf("link lost");
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0][kResult], "5 link tests failed; port reopened");
    EXPECT_EQ(lost[0][kPort], "COM1");
    ASSERT_EQ(EventsOf("link back").size(), 1u);
    EXPECT_EQ(Events().back()[kEvent], "link back");

    ASSERT_EQ(Write(kCMGF, 1), 1);
    tc35.PowerCycle(Now());
    os::Sleep(1000);
    ReadAt();      // hears ^SYSSTART
    ReadAt();      // the next packet restores the format
    const std::vector<Row> restarted = EventsOf("modem restarted");
    ASSERT_EQ(restarted.size(), 1u);
    EXPECT_EQ(restarted[0][kResult], "message format 1 restored");
    // Passing link tests after that add nothing.
    const std::size_t lines = Events().size();
    for (int i = 0; i < 5; ++i) ASSERT_EQ(ReadAt(), 1);
    EXPECT_EQ(Events().size(), lines);
}

// --- never in the host's way ---

// Lines are written when the host's call ends, after its last port call;
// polls in which nothing happened touch no file.
TEST_F(Journal, WrittenAfterTheDialogueAndOnlyWhenSomethingHappened) {
    ASSERT_EQ(tc35.AddMessage(Deliver("8613912345678", "Pump 7 high")), 1);
    modem.ReSTime = 2;
    tc35.FailCommand("CMGS", 42, 1);
    Message("13800138000", "Alarm", 0);
    for (std::int16_t kind : {kSEND, kNEW, kCMGD}) {
        SCOPED_TRACE(kind);
        const std::size_t files = os::virt::FileCalls().size();
        Write(kind, 1);
        const auto& calls = os::virt::FileCalls();
        ASSERT_GT(calls.size(), files);
        for (std::size_t i = files; i < calls.size(); ++i)
            EXPECT_EQ(calls[i].portCallsBefore, os::virt::PortCalls().size()) << calls[i].function;
    }
    const std::size_t files = os::virt::FileCalls().size();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(ReadAt(), 1);
        ASSERT_EQ(Write(kNEW), 1);  // nothing unread
        ASSERT_EQ(Write(kOLD), 1);  // nothing new
        PacketBuilder slots(kMsgNew);
        slots.Value(kTypeText, 0);
        ASSERT_EQ(Run(slots), 1);
    }
    EXPECT_EQ(os::virt::FileCalls().size(), files);
}

// What the host sees of one session: results, fields, what the modem heard
// and the trace without the journal's own lines.
struct Seen {
    std::vector<int> results;
    Registers fields;
    std::string heard;
    std::vector<std::string> trace;
    bool operator==(const Seen&) const = default;
};

std::vector<std::string> JournalTraces() {
    std::vector<std::string> lines;
    for (const std::string& line : os::virt::TraceLines())
        if (line.rfind("Journal: ", 0) == 0) lines.push_back(line);
    return lines;
}

// A session of sends, a listing, a deletion and a link test on a fresh
// device and modem, with `fault` on the journal's folder (on the folder
// above it for a drive that went away).
Seen Session(FolderFault fault) {
    os::virt::Reset();
    journal::ForgetModuleState();
    if (fault == FolderFault::kGone) os::virt::SetFolderFault("C:\\ProgramData", fault);
    if (fault == FolderFault::kReadOnly || fault == FolderFault::kFull) {
        os::virt::PutFile(kToday, std::string(kBom) + kHeader + "\r\n");
        os::virt::SetFolderFault(kFolder, fault);
    }
    modem::Tc35Model tc35;
    CGsmModem modem;
    os::virt::AddPort("COM3", &tc35);
    PortConfig config = MakePortConfig("COM3", 9600, 1000);
    EXPECT_EQ(modem.OpenPort(&config), 1);
    auto write = [&](std::int16_t kind, std::uint32_t value) {
        PacketBuilder p(kind, true);
        p.Value(kind == kNEW || kind == kSEND ? kType1 : kType2, value);
        return modem.ProcessPacket(p.Packet(), 1);
    };
    Seen seen;
    modem.ReSTime = 2;
    tc35.AddMessage(Deliver("8613912345678", "Pump 7 high"));
    std::strcpy(modem.Tele, "13800138000");
    std::strcpy(modem.MsgSend[0], kHelloGbk.c_str());
    seen.results.push_back(write(kSEND, 0));
    tc35.FailCommand("CMGS", 330, 1);
    seen.results.push_back(write(kSEND, 0));
    seen.results.push_back(write(kNEW, 0));
    seen.results.push_back(write(kCMGD, 1));
    PacketBuilder at(kAT);
    at.Value(kType2, 7);
    seen.results.push_back(modem.ProcessPacket(at.Packet(), 1));
    seen.results.push_back(static_cast<int>(at.Item(0).value));
    seen.fields = modem;
    seen.heard = tc35.Received();
    for (const std::string& line : os::virt::TraceLines())
        if (line.rfind("Journal: ", 0) != 0) seen.trace.push_back(line);
    modem.ClosePort();
    os::virt::RemovePort("COM3");
    return seen;
}

class JournalFolderFaults : public ::testing::TestWithParam<FolderFault> {
protected:
    void TearDown() override {
        os::virt::Reset();
        journal::ForgetModuleState();
    }
};

// A folder that cannot be written changes nothing the host sees, and is
// traced once.
TEST_P(JournalFolderFaults, ChangeNothingTheHostSees) {
    const Seen written = Session(FolderFault::kNone);
    EXPECT_EQ(Events().size(), 4u);  // sent, refused, received, deleted
    EXPECT_TRUE(JournalTraces().empty());
    const Seen failing = Session(GetParam());
    EXPECT_EQ(failing, written);
    const std::vector<std::string> traces = JournalTraces();
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_NE(traces[0].find("journal-2026-01-01.txt"), std::string::npos) << traces[0];
    EXPECT_NE(traces[0].find("1 line(s) not journaled"), std::string::npos) << traces[0];
}

INSTANTIATE_TEST_SUITE_P(Faults, JournalFolderFaults,
                         ::testing::Values(FolderFault::kReadOnly, FolderFault::kFull, FolderFault::kGone));

// The failure is said again after an hour, not sooner; once the folder can
// be written the journal goes on and says so.
TEST_F(Journal, AFailingFolderIsTracedOnceAnHour) {
    os::virt::SetFolderFault(kFolder, FolderFault::kReadOnly);
    ASSERT_EQ(Write(kCMGD, 1), 1);
    EXPECT_EQ(JournalTraces().size(), 1u);
    os::Sleep(59 * 60 * 1000);
    ASSERT_EQ(Write(kCMGD, 1), 1);
    EXPECT_EQ(JournalTraces().size(), 1u);
    os::Sleep(61 * 1000);
    ASSERT_EQ(Write(kCMGD, 1), 1);
    ASSERT_EQ(JournalTraces().size(), 2u);
    EXPECT_NE(JournalTraces()[1].find("3 line(s)"), std::string::npos) << JournalTraces()[1];

    os::virt::SetFolderFault(kFolder, FolderFault::kNone);
    ASSERT_EQ(Write(kCMGD, 2), 1);
    ASSERT_EQ(JournalTraces().size(), 3u);
    EXPECT_NE(JournalTraces()[2].find("again; 3 line(s) could not be journaled"), std::string::npos)
        << JournalTraces()[2];
    const std::vector<Row> events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0][kRefs], "2");
}

// Two device objects (two modems) write the same day's file, each line whole.
TEST_F(Journal, TwoDevicesShareTheDayFile) {
    modem::Tc35Model second;
    os::virt::AddPort("COM2", &second);
    CGsmModem other;
    PortConfig config = MakePortConfig("COM2", 9600, 1000);
    ASSERT_EQ(other.OpenPort(&config), 1);
    for (int round = 0; round < 3; ++round) {
        Message("13800138000", "from one", 0);
        ASSERT_EQ(Write(kSEND), 1);
        std::strcpy(other.Tele, "13900139000");
        std::strcpy(other.MsgSend[0], "from two");
        other.CodeMod = 0;
        PacketBuilder send(kSEND, true);
        send.Value(kType1, 0);
        ASSERT_EQ(other.ProcessPacket(send.Packet(), 1), 1);
    }
    other.ClosePort();
    os::virt::RemovePort("COM2");
    const std::vector<Row> events = Events();
    ASSERT_EQ(events.size(), 6u);
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i][kPort], i % 2 == 0 ? "COM1" : "COM2");
        EXPECT_EQ(events[i][kText], i % 2 == 0 ? "from one" : "from two");
    }
}

// --- settings and bounds ---

TEST_F(Journal, TheRegistryMovesItOrTurnsItOff) {
    const struct Case {
        const char* value;
        std::string file;  // empty: no journal
    } cases[] = {
        {"", kToday},
        {"D:\\plant\\sms\\", "D:\\plant\\sms\\journal-2026-01-01.txt"},
        {"OFF", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        os::virt::SetRegistryString("SOFTWARE\\Vantor", "Journal", c.value);
        const std::size_t files = os::virt::FileCalls().size();
        ASSERT_EQ(Write(kCMGD, 3), 1);
        if (c.file.empty()) {
            EXPECT_EQ(os::virt::FileCalls().size(), files);
        } else {
            ASSERT_EQ(Events(c.file).size(), 1u);
            EXPECT_EQ(Events(c.file)[0][kEvent], "deleted");
            os::virt::PutFile(c.file, std::string(kBom) + kHeader + "\r\n");
        }
    }
}

// Day files more than JournalDays old go, then the oldest while all exceed
// JournalMB; today's file stays, and so do files that are not day files.
TEST_F(Journal, OldFilesGoAtTheBounds) {
    const std::string mb(1024 * 1024, 'x');
    const struct Case {
        std::uint32_t days, megabytes;  // 0: not set (90, 20)
        std::vector<std::pair<const char*, std::size_t>> files;  // day, size in MB
        std::vector<std::string> kept;
    } cases[] = {
        {0, 0, {{"2025-09-01", 0}, {"2025-10-02", 0}, {"2025-10-03", 0}, {"2025-12-31", 1}},
         {"2025-10-03", "2025-12-31", "2026-01-01"}},
        {0, 0, {{"2025-12-01", 8}, {"2025-12-02", 8}, {"2025-12-03", 8}, {"2025-12-31", 1}},
         {"2025-12-02", "2025-12-03", "2025-12-31", "2026-01-01"}},
        {7, 2, {{"2025-12-20", 0}, {"2025-12-26", 1}, {"2025-12-30", 1}, {"2025-12-31", 1}},
         {"2025-12-31", "2026-01-01"}},
        {0, 1, {{"2026-01-01", 2}}, {"2026-01-01"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kept.size());
        for (const std::string& name : os::virt::FilesIn(kFolder))
            os::DeleteFileA((std::string(kFolder) + "\\" + name).c_str());
        journal::ForgetModuleState();
        os::virt::DeleteRegistryValue("SOFTWARE\\Vantor", "JournalDays");
        os::virt::DeleteRegistryValue("SOFTWARE\\Vantor", "JournalMB");
        if (c.days) os::virt::SetRegistryDword("SOFTWARE\\Vantor", "JournalDays", c.days);
        if (c.megabytes) os::virt::SetRegistryDword("SOFTWARE\\Vantor", "JournalMB", c.megabytes);
        for (const auto& [day, size] : c.files) {
            std::string bytes = std::string(kBom) + kHeader + "\r\n";
            for (std::size_t i = 0; i < size; ++i) bytes += mb;
            os::virt::PutFile(std::string(kFolder) + "\\journal-" + day + ".txt", bytes);
        }
        os::virt::PutFile(std::string(kFolder) + "\\notes.txt", "kept");
        ASSERT_EQ(Write(kCMGD, 3), 1);
        std::vector<std::string> expected;
        for (const std::string& day : c.kept) expected.push_back("journal-" + day + ".txt");
        expected.push_back("notes.txt");
        EXPECT_EQ(os::virt::FilesIn(kFolder), expected);
    }
}

// The day files in the folder, by date.
std::vector<std::string> DayFiles() {
    std::vector<std::string> days;
    for (const std::string& name : os::virt::FilesIn(kFolder))
        if (name.rfind("journal-", 0) == 0) days.push_back(name.substr(8, 10));
    return days;
}

void PutDayFile(const std::string& day, std::size_t bytes) {
    os::virt::PutFile(std::string(kFolder) + "\\journal-" + day + ".txt",
                      std::string(kBom) + kHeader + "\r\n" + std::string(bytes, 'x'));
}

// One reading of a clock ten years ahead, and a clock set back, remove
// nothing the bounds kept: age is not measured from a day far beyond the
// newest file, and files dated after today are neither removed nor counted
// against the bound of the files before them.
TEST_F(Journal, AWrongClockRemovesNothingTheBoundsKept) {
    const std::string kept[] = {"2025-10-03", "2025-11-15", "2025-12-31"};
    for (const std::string& day : kept) PutDayFile(day, 10);
    ASSERT_EQ(Write(kCMGD, 1), 1);  // 2026-01-01: 2025-10-03 is 90 days old and stays
    EXPECT_EQ(DayFiles(), (std::vector<std::string>{"2025-10-03", "2025-11-15", "2025-12-31", "2026-01-01"}));

    os::virt::SetUtcTime(2036, 1, 1, 4, 0, 0);  // ten years ahead, for one line
    ASSERT_EQ(Write(kCMGD, 2), 1);
    os::virt::SetUtcTime(2026, 1, 1, 4, 1, 0);  // put right a minute later
    ASSERT_EQ(Write(kCMGD, 3), 1);
    EXPECT_EQ(DayFiles(), (std::vector<std::string>{"2025-10-03", "2025-11-15", "2025-12-31", "2026-01-01",
                                                    "2036-01-01"}));

    // The next day the bounds go on as before; the file of 2036 stays.
    os::virt::SetUtcTime(2026, 1, 2, 4, 0, 0);
    ASSERT_EQ(Write(kCMGD, 4), 1);
    EXPECT_EQ(DayFiles(), (std::vector<std::string>{"2025-11-15", "2025-12-31", "2026-01-01", "2026-01-02",
                                                    "2036-01-01"}));

    // A clock set back half a year: the files after it stay, and do not make
    // the size bound remove the older ones (2 MB; 1.5 MB before today).
    for (const std::string& day : DayFiles()) os::DeleteFileA((std::string(kFolder) + "\\journal-" + day + ".txt").c_str());
    journal::ForgetModuleState();
    os::virt::SetRegistryDword("SOFTWARE\\Vantor", "JournalMB", 2);
    const std::size_t mb = 1024 * 1024;
    PutDayFile("2025-06-28", mb / 2);
    PutDayFile("2025-06-29", mb / 2);
    PutDayFile("2025-06-30", mb / 2);
    PutDayFile("2026-01-01", 3 * mb);
    PutDayFile("2026-01-02", 3 * mb);
    os::virt::SetUtcTime(2025, 7, 1, 4, 0, 0);
    ASSERT_EQ(Write(kCMGD, 5), 1);
    EXPECT_EQ(DayFiles(), (std::vector<std::string>{"2025-06-28", "2025-06-29", "2025-06-30", "2025-07-01",
                                                    "2026-01-01", "2026-01-02"}));
    // The bound still holds for the days before.
    PutDayFile("2025-06-27", mb);
    os::virt::SetRegistryDword("SOFTWARE\\Vantor", "JournalMB", 2);
    os::virt::SetUtcTime(2025, 7, 2, 4, 0, 0);
    ASSERT_EQ(Write(kCMGD, 6), 1);
    EXPECT_EQ(DayFiles(), (std::vector<std::string>{"2025-06-28", "2025-06-29", "2025-06-30", "2025-07-01",
                                                    "2025-07-02", "2026-01-01", "2026-01-02"}));
}

// A day's file takes lines up to its bound (JournalDayMB); the lines of the
// rest of the day are counted, and the count is one line in that file when
// the day is over. The next day's file starts again.
TEST_F(Journal, ADayFileHasABound) {
    os::virt::SetRegistryDword("SOFTWARE\\Vantor", "JournalDayMB", 1);
    const std::size_t bound = 1024 * 1024;
    const std::string header = std::string(kBom) + kHeader + "\r\n";
    os::virt::PutFile(kToday, header + std::string(bound - header.size() - 400, '#') + "\r\n");
    constexpr int kLines = 30;
    for (int i = 1; i <= kLines; ++i) ASSERT_EQ(Write(kCMGD, static_cast<std::uint32_t>(i)), 1);
    const std::string full = os::virt::FileText(kToday);
    EXPECT_LE(full.size(), bound);
    const std::size_t written = Split(full, "\tdeleted\t").size() - 1;
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, static_cast<std::size_t>(kLines));
    ASSERT_EQ(full.substr(full.size() - 2), "\r\n");

    os::virt::SetUtcTime(2026, 1, 1, 16, 0, 0);  // the next day, local time
    ASSERT_EQ(Write(kCMGD, 9), 1);
    const std::string after = os::virt::FileText(kToday);
    ASSERT_EQ(after.substr(0, full.size()), full);
    const std::vector<std::string> notes = Split(after.substr(full.size()), "\t");
    ASSERT_EQ(notes.size(), static_cast<std::size_t>(kColumns));
    EXPECT_EQ(notes[kEvent], "not journaled");
    EXPECT_EQ(notes[kResult], std::to_string(kLines - written) + " line(s) not journaled");
    EXPECT_EQ(notes[kMeaning], "the day's file reached its bound of 1 MB");
    const auto tomorrow = Events("C:\\ProgramData\\Vantor\\journal\\journal-2026-01-02.txt");
    ASSERT_EQ(tomorrow.size(), 1u);
    EXPECT_EQ(tomorrow[0][kRefs], "9");
    std::size_t traced = 0;
    for (const std::string& line : JournalTraces()) traced += line.find("reached its bound") != std::string::npos;
    EXPECT_EQ(traced, 1u);
}

// A spreadsheet holds today's file open against writing: the lines wait and
// are written in their order once it is closed, with the next line or, when
// none comes, within a minute; polls in between touch no file.
TEST_F(Journal, LinesWaitWhileAnotherProgramHoldsTheFile) {
    Write(kCMGD, 1);
    const os::Handle sheet =
        os::virt::HoldFile(kToday, os::kGenericRead | os::kGenericWrite, os::kFileShareRead);
    ASSERT_EQ(Write(kCMGD, 2), 1);
    ASSERT_EQ(Write(kCMGD, 3), 1);
    EXPECT_EQ(Events().size(), 1u);
    os::virt::ReleaseFile(sheet);
    ASSERT_EQ(Write(kCMGD, 4), 1);
    std::vector<std::string> refs;
    for (const Row& row : Events()) refs.push_back(row[kRefs]);
    EXPECT_EQ(refs, (std::vector<std::string>{"1", "2", "3", "4"}));

    const os::Handle again =
        os::virt::HoldFile(kToday, os::kGenericRead | os::kGenericWrite, os::kFileShareRead);
    ASSERT_EQ(Write(kCMGD, 5), 1);
    os::virt::ReleaseFile(again);
    const std::size_t files = os::virt::FileCalls().size();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(ReadAt(), 1);
    EXPECT_EQ(os::virt::FileCalls().size(), files);
    EXPECT_EQ(Events().size(), 4u);
    os::Sleep(61 * 1000);
    ASSERT_EQ(ReadAt(), 1);
    ASSERT_EQ(Events().size(), 5u);
    EXPECT_EQ(Events()[4][kRefs], "5");
    EXPECT_EQ(os::virt::OpenFileCount(), 0);
}

// The lines that wait are bounded: what finds no room is counted, and the
// count is one line after the lines that waited.
TEST(JournalWriter, WhatOverflowsTheWaitingLinesIsCountedInOneLine) {
    os::virt::Reset();
    journal::ForgetModuleState();
    const os::SystemTime day{2026, 1, 3, 1, 9, 0, 0, 0};
    const std::string file = std::string(kFolder) + "\\journal-2026-01-01.txt";
    const os::Handle sheet = os::virt::HoldFile(file, os::kGenericRead | os::kGenericWrite, os::kFileShareRead);
    std::string chunk;
    for (int i = 0; i < 40; ++i) chunk += "line\t" + std::string(90, 'x') + "\r\n";  // 40 lines, 3.9 KiB
    constexpr int kChunks = 40;  // 156 KiB, beyond the 128 KiB that wait
    for (int i = 0; i < kChunks; ++i) ASSERT_TRUE(journal::AppendLines(day, chunk.data(), chunk.size()));
    EXPECT_EQ(os::virt::FileText(file), "");
    os::virt::ReleaseFile(sheet);
    const std::string last = "last\tline\r\n";
    ASSERT_TRUE(journal::AppendLines(day, last.data(), last.size()));

    const std::string text = os::virt::FileText(file);
    const std::vector<std::string> lines = Split(text.substr(0, text.size() - 2), "\r\n");
    // The header, the lines that waited (whole chunks, as many as the
    // buffer holds), the count, the last.
    ASSERT_GT(lines.size(), 3u);
    const std::size_t waited = lines.size() - 3;
    EXPECT_EQ(waited % 40, 0u);
    EXPECT_LE(waited / 40 * chunk.size(), journal::kWaitingBytes);
    EXPECT_GT((waited / 40 + 1) * chunk.size(), journal::kWaitingBytes - 1024);
    const std::vector<std::string> note = Split(lines[lines.size() - 2], "\t");
    ASSERT_EQ(note.size(), static_cast<std::size_t>(kColumns));
    EXPECT_EQ(note[kEvent], "not journaled");
    EXPECT_EQ(note[kResult], std::to_string(kChunks * 40 - waited) + " line(s) not journaled");
    EXPECT_EQ(lines.back(), "last\tline");
    journal::ForgetModuleState();
}

// The folders are made for SYSTEM, the administrators and the driver's
// account only, nothing inherited from %ProgramData%.
TEST_F(Journal, TheFolderIsForTheDriverAndAdministratorsOnly) {
    ASSERT_EQ(Write(kCMGD, 1), 1);
    const std::string rights = std::string("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") +
                               os::virt::kUserSid + ")";
    EXPECT_EQ(os::virt::FolderRights(kFolder), rights);
    EXPECT_EQ(os::virt::FolderRights("C:\\ProgramData\\Vantor"), rights);
}

// A folder or day file that is a link is not written through (whoever made
// it would choose where the journal goes and what its bounds delete); it is
// traced once.
TEST(JournalLinks, AreNotFollowed) {
    const struct Case {
        const char* link;
        bool folder;
    } cases[] = {
        {"C:\\ProgramData\\Vantor", true},
        {kFolder, true},
        {kToday, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        os::virt::Reset();
        journal::ForgetModuleState();
        os::virt::MakeLink(c.link, c.folder);
        modem::Tc35Model tc35;
        os::virt::AddPort("COM3", &tc35);
        CGsmModem other;
        PortConfig config = MakePortConfig("COM3", 9600, 1000);
        ASSERT_EQ(other.OpenPort(&config), 1);
        for (std::uint32_t index : {1u, 2u}) {
            PacketBuilder p(kCMGD, true);
            p.Value(kType2, index);
            ASSERT_EQ(other.ProcessPacket(p.Packet(), 1), 1);
        }
        for (const os::virt::FileCall& call : os::virt::FileCalls())
            EXPECT_TRUE(call.function != "CreateFileA" && call.function != "CreateDirectoryA")
                << call.function << " " << call.path;
        EXPECT_EQ(os::virt::FileText(kToday), "");
        const std::vector<std::string> traces = JournalTraces();
        ASSERT_EQ(traces.size(), 1u);
        EXPECT_NE(traces[0].find("a link to elsewhere, not followed"), std::string::npos) << traces[0];
        other.ClosePort();
        os::virt::RemovePort("COM3");
    }
    os::virt::Reset();
    journal::ForgetModuleState();
}

// Lines go into the file of their local day, each file with its header.
TEST_F(Journal, OneFilePerLocalDay) {
    os::virt::SetUtcTime(2026, 3, 1, 15, 59, 59);  // 23:59:59 at UTC+8
    ASSERT_EQ(Write(kCMGD, 1), 1);
    os::Sleep(1000);
    ASSERT_EQ(Write(kCMGD, 2), 1);
    const auto before = Events("C:\\ProgramData\\Vantor\\journal\\journal-2026-03-01.txt");
    const auto after = Events("C:\\ProgramData\\Vantor\\journal\\journal-2026-03-02.txt");
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(before[0][kTime].substr(0, 19), "2026-03-01 23:59:59");
    EXPECT_EQ(after[0][kTime].substr(0, 19), "2026-03-02 00:00:00");
    EXPECT_EQ(after[0][kRefs], "2");
}

// --- the line format ---

TEST(JournalFormat, FieldsAreEscapedAndTimesCarryTheirZone) {
    os::virt::Reset();
    const struct Case {
        std::string text, written;
    } cases[] = {
        {"plain", "plain"},
        {"a\tb\r\nc", "a\\tb\\r\\nc"},
        {"C:\\path", "C:\\\\path"},
        {std::string("x\x1Ay\x7F", 4), "x\\x1Ay\\x7F"},
        {kHelloGbk + "\t!", kHelloUtf8 + "\\t!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        journal::Event e;
        journal::AnsiToUtf8(c.text.data(), c.text.size(), e.text, sizeof e.text);
        char line[journal::kMaxLineSize];
        const std::size_t n = journal::FormatLine(e, line, sizeof line);
        const std::string written(line, n);
        ASSERT_GT(n, 2u);
        EXPECT_EQ(written.substr(written.rfind('\t') + 1), c.written + "\r\n");
    }

    journal::Event e;
    e.kind = journal::EventKind::kReceived;
    e.time = os::SystemTime{2026, 12, 3, 9, 3, 12, 5, 7};
    std::strcpy(e.port, "COM5");
    std::strcpy(e.number, "8613912345678");
    std::strcpy(e.text, "line one\nline two");
    const struct Zone {
        int offset;
        const char* shown;
    } zones[] = {{480, "+08:00"}, {-330, "-05:30"}, {0, "+00:00"}};
    for (const Zone& z : zones) {
        e.utcOffsetMinutes = z.offset;
        char line[journal::kMaxLineSize];
        const std::size_t n = journal::FormatLine(e, line, sizeof line);
        EXPECT_EQ(std::string(line, n), std::string("2026-12-09 03:12:05.007 ") + z.shown +
                                            "\tCOM5\treceived\t'8613912345678\t\t\t\t\t\tline one\\nline two\r\n");
    }
    // A line that does not fit is not cut: it is not made.
    char small[40];
    EXPECT_EQ(journal::FormatLine(e, small, sizeof small), 0u);
}

// The rows a tab-separated reader makes of `text`: RFC 4180 with tabs, as
// Python's csv (dialect excel-tab) and the spreadsheets read it. A field that
// starts with a quote runs to the next lone quote, over tabs and line ends.
std::vector<Row> SpreadsheetRows(const std::string& text) {
    enum State { kStartRecord, kStartField, kInField, kInQuoted, kQuoteInQuoted, kEatLineEnd };
    std::vector<Row> rows;
    Row row;
    std::string field;
    State state = kStartRecord;
    auto endField = [&] {
        row.push_back(field);
        field.clear();
    };
    auto endRecord = [&] {
        endField();
        rows.push_back(row);
        row.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool lineEnd = c == '\r' || c == '\n';
        switch (state) {
            case kStartRecord:
            case kEatLineEnd:
                if (lineEnd) break;
                state = kStartField;
                [[fallthrough]];
            case kStartField:
                if (lineEnd) endRecord(), state = kEatLineEnd;
                else if (c == '"') state = kInQuoted;
                else if (c == '\t') endField();
                else field += c, state = kInField;
                break;
            case kInField:
                if (lineEnd) endRecord(), state = kEatLineEnd;
                else if (c == '\t') endField(), state = kStartField;
                else field += c;
                break;
            case kInQuoted:
                if (c == '"') state = kQuoteInQuoted;
                else field += c;
                break;
            case kQuoteInQuoted:
                if (c == '"') field += c, state = kInQuoted;
                else if (c == '\t') endField(), state = kStartField;
                else if (lineEnd) endRecord(), state = kEatLineEnd;
                else field += c, state = kInField;
                break;
        }
    }
    if (state != kStartRecord && state != kEatLineEnd) endRecord();
    return rows;
}

// What a spreadsheet makes of a cell other than text: a formula, or a number
// or date (digits with number punctuation, after any spaces).
bool TakenAsFormulaOrNumber(const std::string& cell) {
    const std::size_t first = cell.find_first_not_of(' ');
    if (first == std::string::npos) return false;
    if (std::strchr("=+-@", cell[first]) != nullptr) return true;
    return cell.find_first_not_of("0123456789 .,:/%+-Ee", first) == std::string::npos &&
           cell.find_first_of("0123456789", first) != std::string::npos;
}

// Every line of a day file is one row of the header's width in a
// spreadsheet; no text, phone number or part is taken as a formula, a
// number or a date; a reader that drops the text mark gets every field back.
TEST(JournalFormat, EveryLineIsOneRowOfTextForASpreadsheet) {
    os::virt::Reset();
    const struct Case {
        const char* number;
        const char* parts;
        const char* references;
        const char* error;
        std::string text;
    } cases[] = {
        {"+8613912345678", "1", "12", "", "\"Pump 3\" pressure high"},
        {"8613912345678", "2", "12 13", "+CMS ERROR: 42", "\"open quote, no end"},
        {"0755123456", "1/2", "7", "", "=HYPERLINK(\"http://x.example\",\"click\")"},
        {"10086", "1", "", "", "+1 555 0100"},
        {"", "", "", "", "-5 degrees"},
        {"", "", "", "", "@SUM(A1:A9)"},
        {"", "", "", "", "'already marked"},
        {"", "", "", "", "  =1+1"},
        {"", "", "", "", "12:30"},
        {"", "", "", "", "3/4"},
        {"", "", "", "", "1.5E3"},
        {"CMCC", "1", "3", "", "ends with a quote\""},
        {"", "", "", "", kHelloGbk},
    };
    std::string file(journal::kFileStart, journal::kFileStartLength);
    for (const Case& c : cases) {
        journal::Event e;
        e.kind = journal::EventKind::kReceived;
        e.time = os::SystemTime{2026, 12, 3, 9, 3, 12, 5, 7};
        e.utcOffsetMinutes = 480;
        std::strcpy(e.port, "COM5");
        std::strcpy(e.number, c.number);
        std::strcpy(e.parts, c.parts);
        std::strcpy(e.references, c.references);
        std::strcpy(e.error, c.error);
        journal::AnsiToUtf8(c.text.data(), c.text.size(), e.text, sizeof e.text);
        char line[journal::kMaxLineSize];
        const std::size_t n = journal::FormatLine(e, line, sizeof line);
        ASSERT_GT(n, 0u) << c.text;
        file.append(line, n);
    }
    std::vector<Row> rows = SpreadsheetRows(file.substr(3));
    ASSERT_EQ(rows.size(), std::size(cases) + 1);
    EXPECT_EQ(rows[0], Split(kHeader, "\t"));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const Row& row = rows[i + 1];
        SCOPED_TRACE(c.text);
        ASSERT_EQ(row.size(), static_cast<std::size_t>(kColumns));
        for (int column = kPort; column < kColumns; ++column)
            if (column != kParts && column != kRefs)
                EXPECT_FALSE(TakenAsFormulaOrNumber(row[column])) << column << ": " << row[column];
        // Counts stay the numbers they are.
        if (std::strchr(c.parts, '/') == nullptr) EXPECT_EQ(row[kParts], c.parts);
        EXPECT_EQ(row[kRefs], c.references);
        Row back = row;
        for (std::string& field : back)
            if (!field.empty() && field[0] == journal::kTextMark) field.erase(0, 1);
        EXPECT_EQ(back[kNumber], c.number);
        EXPECT_EQ(back[kParts], c.parts);
        EXPECT_EQ(back[kError], c.error);
        EXPECT_EQ(back[kText], c.text == kHelloGbk ? kHelloUtf8 : c.text);
    }
}

// The zone's offset comes from GetTimeZoneInformation.
TEST_F(Journal, TheOffsetFollowsTheZone) {
    os::virt::SetTimeZoneBias(300);  // UTC-5: 2025-12-31 19:00 local
    ASSERT_EQ(Write(kCMGD, 1), 1);
    const auto events = Events("C:\\ProgramData\\Vantor\\journal\\journal-2025-12-31.txt");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0][kTime].substr(0, 16), "2025-12-31 19:00");
    EXPECT_EQ(events[0][kTime].substr(events[0][kTime].size() - 6), "-05:00");
}

}  // namespace
}  // namespace vantor::test
