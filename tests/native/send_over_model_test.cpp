// SEND writes against the TC35 model in virtual time: long messages sent as
// concatenated parts, refused parts sent again alone, late and missing send
// results, and how long a send holds the host's thread.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "model_talk.h"
#include "modem/modem_model.h"

namespace vantor::test {
namespace {

class SendOverModel : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        OpenWith(tc35, 1000);
        tc35.faults().line.baud = 9600;
    }
    void Message(const char* tele, const std::string& body, std::uint8_t codeMod) {
        std::strcpy(modem.Tele, tele);
        const std::size_t first = body.size() < 254 ? body.size() : 254;
        std::snprintf(modem.MsgSend[0], sizeof modem.MsgSend[0], "%s", body.substr(0, first).c_str());
        std::snprintf(modem.MsgSend[1], sizeof modem.MsgSend[1], "%s", body.substr(first).c_str());
        modem.CodeMod = codeMod;
    }
    int Send() {
        PacketBuilder p(kSEND, true);
        p.Value(kType1, 0);
        return Run(p);
    }
    int CommandsSent(const char* prefix) const {
        int n = 0;
        for (const std::string& line : tc35.CommandLines()) n += line.rfind(prefix, 0) == 0;
        return n;
    }
    // A new modem on a new virtual OS, for a round of a table: the port is
    // opened again by the caller, behind whatever relay it puts in front.
    void FreshModem() {
        Unplug();
        os::virt::Reset();
        tc35 = modem::Tc35Model();
        tc35.faults().line.baud = 9600;
    }
    modem::Tc35Model tc35;
};

// "中" in GBK and in UTF-8.
const std::string kZhGbk = "\xD6\xD0";
const std::string kZhUtf8 = "\xE4\xB8\xAD";

const std::string kUnknown =
    "Send outcome unknown: no final result within 60 s of the Ctrl-Z; not sent again\n";

bool TracedSince(std::size_t mark, const std::string& line) {
    const auto& lines = os::virt::TraceLines();
    for (std::size_t i = mark; i < lines.size(); ++i)
        if (lines[i] == line) return true;
    return false;
}

std::string Repeat(const std::string& unit, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += unit;
    return out;
}

// Bodies beyond one message arrive at the modem as one message, joined from
// parts that share one reference; the next message gets another reference.
TEST_F(SendOverModel, LongBodiesArriveJoinedOnce) {
    std::string gsm;
    for (int i = 0; gsm.size() < 500; ++i) gsm += "Alarm " + std::to_string(i) + ": pump {3} high; ";
    gsm.resize(500);
    const struct Case {
        std::string body, utf8;
        std::uint8_t codeMod;
        int parts;
    } cases[] = {
        {std::string(161, 'a'), std::string(161, 'a'), 0, 2},
        {gsm, gsm, 0, 4},  // the braces are escape pairs: 504 + 16 septets
        {Repeat(kZhGbk, 71), Repeat(kZhUtf8, 71), 1, 2},
        {Repeat(kZhGbk, 254), Repeat(kZhUtf8, 254), 1, 4},  // both MsgSend texts full
    };
    int lastReference = -1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.size());
        const std::size_t before = tc35.Sent().size();
        const std::size_t partsBefore = tc35.SentParts().size();
        Message("+8613912345678", c.body, c.codeMod);
        EXPECT_EQ(Send(), 1);
        EXPECT_EQ(modem.SReturn, 1);
        ASSERT_EQ(tc35.Sent().size(), before + 1);
        const modem::SentMessage& sent = tc35.Sent().back();
        EXPECT_EQ(sent.text, c.utf8);
        EXPECT_EQ(sent.number, "+8613912345678");
        EXPECT_EQ(sent.parts, c.parts);
        ASSERT_EQ(tc35.SentParts().size(), partsBefore + static_cast<std::size_t>(c.parts));
        for (std::size_t k = partsBefore; k < tc35.SentParts().size(); ++k)
            EXPECT_EQ(tc35.SentParts()[k].concat_reference, sent.concat_reference);
        EXPECT_NE(sent.concat_reference, lastReference);
        lastReference = sent.concat_reference;
        EXPECT_TRUE(Traced("Sending part " + std::to_string(c.parts) + "/" +
                           std::to_string(c.parts) + ": " + sent.pdu.substr(sent.pdu.rfind(',') + 1) +
                           "\n"));
    }
}

// Two devices the host created in the same clock tick share one modem (the
// second borrows the first's handle), and each sends a long message to the
// same number: the two messages carry different references, so the phone
// keeps them apart, and both arrive whole.
TEST_F(SendOverModel, DevicesCreatedTogetherUseDifferentReferences) {
    CGsmModem second;  // created at the same virtual moment as `modem`
    second.BorrowPort(modem.line.PortHandle);
    const std::string first(200, 'f');
    const std::string other(200, 's');
    for (CGsmModem* device : {&modem, &second}) {
        std::strcpy(device->Tele, "+8613912345678");
        const std::string& body = device == &modem ? first : other;
        std::snprintf(device->MsgSend[0], sizeof device->MsgSend[0], "%s", body.substr(0, 150).c_str());
        std::snprintf(device->MsgSend[1], sizeof device->MsgSend[1], "%s", body.substr(150).c_str());
        device->CodeMod = 0;
        PacketBuilder p(kSEND, true);
        p.Value(kType1, 0);
        EXPECT_EQ(device->ProcessPacket(p.Packet(), 1), 1);
    }
    ASSERT_EQ(tc35.Sent().size(), 2u);
    EXPECT_EQ(tc35.Sent()[0].text, first);
    EXPECT_EQ(tc35.Sent()[1].text, other);
    EXPECT_NE(tc35.Sent()[0].concat_reference, tc35.Sent()[1].concat_reference);
    second.ClosePort();
}

// Passes the driver's bytes to the modem and, once the first Ctrl-Z has gone
// through, makes the modem refuse the next AT+CMGS once.
class RefuseSecondPart : public model_talk::WatchedModel {
public:
    RefuseSecondPart(modem::Tc35Model& modem, bool beforePrompt)
        : WatchedModel(modem), beforePrompt_(beforePrompt) {}
    // The second part goes out but its verdict never comes in time.
    void Silence() { silence_ = true; }

private:
    void After(const std::uint8_t* bytes, std::size_t length) override {
        if (armed_ || std::memchr(bytes, 0x1A, length) == nullptr) return;
        armed_ = true;
        if (silence_)
            modem_.faults().send_result_delay_ms = 70000;  // past the send-result limit
        else
            modem_.FailCommand("CMGS", 500, 1, beforePrompt_);
    }
    bool beforePrompt_;
    bool armed_ = false;
    bool silence_ = false;
};

// The second of three parts is refused on its first attempt (at the prompt, or after its
// PDU): it alone is sent again, with the same header; parts 1 and 3 go once.
// With one attempt a part, the same refusal fails the send after part 2.
TEST_F(SendOverModel, ARefusedPartAloneIsSentAgain) {
    for (bool beforePrompt : {false, true}) {
        for (std::uint8_t reSTime : {3, 1}) {
            SCOPED_TRACE(std::to_string(beforePrompt) + " ReSTime " + std::to_string(reSTime));
            FreshModem();
            RefuseSecondPart relay(tc35, beforePrompt);
            OpenWith(relay, 1000);
            // A body of its own each round: the same one again would resume
            // the message the last round could not finish.
            const std::string body(400, static_cast<char>('a' + 2 * beforePrompt + (reSTime > 1)));
            Message("13800138000", body, 0);
            modem.ReSTime = reSTime;
            const bool resent = reSTime > 1;
            EXPECT_EQ(Send(), resent ? 1 : 0);
            EXPECT_EQ(modem.SReturn, resent ? 1 : 2);
            EXPECT_EQ(CommandsSent("AT+CMGS="), resent ? 4 : 2);
            ASSERT_EQ(tc35.SentParts().size(), resent ? 3u : 1u);
            for (std::size_t k = 0; k < tc35.SentParts().size(); ++k)
                EXPECT_EQ(tc35.SentParts()[k].sequence, static_cast<int>(k) + 1);
            EXPECT_EQ(tc35.Sent().size(), resent ? 1u : 0u);
            if (resent) EXPECT_EQ(tc35.Sent()[0].text, body);
            EXPECT_TRUE(Traced("<<<<<<<<<<failure time 1 part 2/3"));
            EXPECT_FALSE(Traced("<<<<<<<<<<failure time 2 part 2/3"));
            Unplug();
        }
    }
}

// A refusal says whether another attempt can help. A permanent one (a
// number or service centre the network does not know, a PDU the modem
// cannot take) ends the send at once; a temporary one (congestion, a busy
// SIM) is tried again after 1 s, 2 s, 4 s; one without a known code after
// the mode's short pause, as always. ReSTime 4, both modes; the model
// refuses twice, then takes the message.
TEST_F(SendOverModel, RefusalsAreTriedAgainOnlyWhenThatCanHelp) {
    const struct {
        int code;
        const char* traced;  // the trace's account of the first refusal
        int attempts;        // AT+CMGS commands
        bool sent;
        std::uint32_t pausesMs;  // the pauses after the two refusals, together
    } cases[] = {
        {42, "Send refused (+CMS ERROR: 42, congestion): temporary, trying again in 1000 ms\n", 3,
         true, 1000 + 2000},
        {314, "Send refused (+CMS ERROR: 314, SIM busy): temporary, trying again in 1000 ms\n", 3,
         true, 1000 + 2000},
        {330, "Send refused (+CMS ERROR: 330, SMSC address unknown): permanent, not tried again\n",
         1, false, 0},
        {1, "Send refused (+CMS ERROR: 1, unassigned (unallocated) number): permanent, not tried "
            "again\n", 1, false, 0},
        {500, nullptr, 3, true, 0},
    };
    for (int format : {0, 1}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(format) + " +CMS ERROR: " + std::to_string(c.code));
            FreshModem();
            OpenWith(tc35, 1000);
            if (format == 1) {
                PacketBuilder cmgf(kCMGF, true);
                cmgf.Value(kType2, 1);
                ASSERT_EQ(Run(cmgf), 1);
            }
            Message("13800138000", "PUMP 3 PRESSURE HIGH", 0);
            modem.ReSTime = 4;
            tc35.FailCommand("CMGS", c.code, 2);
            const std::uint64_t start = Now();
            EXPECT_EQ(Send(), c.sent ? 1 : 0);
            EXPECT_EQ(CommandsSent("AT+CMGS="), c.attempts);
            EXPECT_EQ(tc35.Sent().size(), c.sent ? 1u : 0u);
            if (c.traced != nullptr) EXPECT_TRUE(Traced(c.traced));
            // Three dialogues of well under a second each, and the pauses.
            EXPECT_GE(Now() - start, c.pausesMs);
            EXPECT_LT(Now() - start, c.pausesMs + c.attempts * 1000u);
        }
    }
}

// A long message whose part 2 of 3 was refused (or went out with no verdict)
// after part 1 was confirmed: the host sees SReturn 2, and a SEND of the same
// number and body resumes it under the same reference from the part that
// was not confirmed, so the phone gets one whole message and no part of it
// twice (a part whose verdict never came may come twice: the phone drops the
// copy; one whose verdict came late is not sent again).
// Another send in between forgets it: the message is then sent whole anew.
TEST_F(SendOverModel, AnUnfinishedLongMessageIsResumed) {
    const std::string body(400, 'u');
    for (const bool unknown : {false, true}) {
        for (const bool otherInBetween : {false, true}) {
            SCOPED_TRACE(std::string(unknown ? "no verdict" : "refused") +
                         (otherInBetween ? ", another send in between" : ""));
            FreshModem();
            RefuseSecondPart relay(tc35, false);
            if (unknown) relay.Silence();
            OpenWith(relay, 1000);
            Message("13800138000", body, 0);
            modem.ReSTime = 1;
            EXPECT_EQ(Send(), 0);
            EXPECT_EQ(modem.SReturn, 2);
            ASSERT_EQ(tc35.SentParts().size(), unknown ? 2u : 1u);
            const int reference = tc35.SentParts()[0].concat_reference;
            tc35.faults().send_result_delay_ms = 0;
            // The modem takes no command until its late verdict has come.
            if (unknown) os::Sleep(15000);

            if (otherInBetween) {
                Message("13800138000", "SHORT ONE", 0);
                EXPECT_EQ(Send(), 1);
                Message("13800138000", body, 0);
            }
            const std::size_t mark = os::virt::TraceLines().size();
            EXPECT_EQ(Send(), 1);
            EXPECT_EQ(modem.SReturn, 1);
            const auto& parts = tc35.SentParts();
            // A part whose verdict came late (here while the host waited)
            // is confirmed: the message resumes after it.
            const std::string resumed = "resuming message of 3 parts, reference " +
                                        std::to_string(reference) + ", from part " +
                                        (unknown ? "3" : "2") + "\n";
            EXPECT_EQ(TracedSince(mark, resumed), !otherInBetween);
            if (otherInBetween) {
                // Sent whole anew: parts 1..3 under a new reference.
                ASSERT_EQ(tc35.Sent().size(), 2u);
                EXPECT_EQ(tc35.Sent().back().text, body);
                EXPECT_NE(tc35.Sent().back().concat_reference, reference);
                continue;
            }
            // Parts 1, 2 and 3 under one reference; part 1 once.
            ASSERT_EQ(tc35.Sent().size(), 1u);
            EXPECT_EQ(tc35.Sent()[0].text, body);
            EXPECT_EQ(tc35.Sent()[0].concat_reference, reference);
            int firsts = 0;
            for (const auto& part : parts) {
                EXPECT_EQ(part.concat_reference, reference);
                firsts += part.sequence == 1;
            }
            EXPECT_EQ(firsts, 1);
            EXPECT_EQ(parts.size(), 3u);
        }
    }
}

// The host's retry resumes an unfinished long message only within minutes of
// it: later, the phone may have given its first parts up, and the message is
// sent whole under a new reference.
TEST_F(SendOverModel, AnUnfinishedLongMessageIsResumedOnlyWithinMinutes) {
    const struct {
        std::uint32_t waitMs;
        bool resumed;
    } cases[] = {{5 * 60 * 1000, true}, {11 * 60 * 1000, false}, {24 * 3600 * 1000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.waitMs);
        FreshModem();
        RefuseSecondPart relay(tc35, false);
        OpenWith(relay, 1000);
        const std::string body(400, 'w');
        Message("13800138000", body, 0);
        modem.ReSTime = 1;
        EXPECT_EQ(Send(), 0);
        ASSERT_EQ(tc35.SentParts().size(), 1u);
        const int reference = tc35.SentParts()[0].concat_reference;
        os::Sleep(c.waitMs);
        EXPECT_EQ(Send(), 1);
        ASSERT_EQ(tc35.Sent().size(), 1u);
        EXPECT_EQ(tc35.Sent()[0].text, body);
        EXPECT_EQ(tc35.Sent()[0].concat_reference == reference, c.resumed);
        EXPECT_EQ(tc35.SentParts().size(), c.resumed ? 3u : 4u);
        Unplug();
    }
}

// The host writes the registers again before it repeats the SEND. What makes
// the message the same is the number and the text the modem would send:
// bytes left in a register behind a shorter text, or where the text is
// split between MsgSend0 and MsgSend1, change no part of it, so the message
// is resumed; the same text to another number is another message.
TEST_F(SendOverModel, TheSameNumberAndTextResumeWhateverTheRegistersHeld) {
    std::string body;
    for (int i = 0; body.size() < 400; ++i) body += "Alarm " + std::to_string(i) + ": tank low; ";
    body.resize(400);
    struct Write {
        std::int16_t kind;
        std::string text;
        std::uint16_t sub;
    };
    const std::string first = body.substr(0, 200), second = body.substr(200);
    const struct Case {
        const char* name;
        std::vector<Write> writes;  // after the first SEND, before the second
        bool resumed;
    } cases[] = {
        {"the same texts again",
         {{kTele, "13800138000", 0}, {kMsgSend, first, 0}, {kMsgSend, second, 1}}, true},
        {"a longer text meanwhile",
         {{kMsgSend, std::string(254, 'z'), 0}, {kMsgSend, first, 0}}, true},
        {"a longer number meanwhile", {{kTele, "+8613912345678", 0}, {kTele, "13800138000", 0}},
         true},
        {"split elsewhere", {{kMsgSend, body.substr(0, 150), 0}, {kMsgSend, body.substr(150), 1}},
         true},
        {"another number", {{kTele, "13900139000", 0}}, false},
    };
    const auto write = [this](const Write& w) {
        PacketBuilder p(w.kind, true);
        p.Text(w.text, w.sub);
        EXPECT_EQ(Run(p), 1);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshModem();
        RefuseSecondPart relay(tc35, false);
        OpenWith(relay, 1000);
        modem.CodeMod = 0;
        modem.ReSTime = 1;
        for (const Write& w : {Write{kTele, "13800138000", 0}, Write{kMsgSend, first, 0},
                               Write{kMsgSend, second, 1}})
            write(w);
        EXPECT_EQ(Send(), 0);
        ASSERT_EQ(tc35.SentParts().size(), 1u);
        const int reference = tc35.SentParts()[0].concat_reference;

        for (const Write& w : c.writes) write(w);
        const std::size_t mark = os::virt::TraceLines().size();
        EXPECT_EQ(Send(), 1);
        EXPECT_EQ(TracedSince(mark, "resuming message of 3 parts, reference " +
                                        std::to_string(reference) + ", from part 2\n"),
                  c.resumed);
        ASSERT_EQ(tc35.Sent().size(), 1u);
        EXPECT_EQ(tc35.Sent()[0].text, body);
        EXPECT_EQ(tc35.Sent()[0].concat_reference == reference, c.resumed);
        EXPECT_EQ(tc35.SentParts().size(), c.resumed ? 3u : 4u);
    }
}

// The +CMGS result comes late: within the send-result limit the send is
// confirmed, once; beyond it the outcome is unknown and nothing is sent
// again, whatever ReSTime allows. Both modes, reply time-out 1000 ms.
TEST_F(SendOverModel, LateResultsAreAwaitedUpToTheLimit) {
    const struct Case {
        std::uint32_t delayMs;
        int sReturn;
    } cases[] = {{3000, 1}, {30000, 1}, {61000, 2}};
    for (int format : {0, 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(format) + " late " + std::to_string(c.delayMs));
            modem.MsgFormat = format;
            tc35.settings().cmgf = format;
            modem.ReSTime = 3;
            // Another alarm each round: the same one again after an unknown
            // outcome would be the host's retry of it.
            Message("13800138000",
                    "Pump 3 pressure high " + std::to_string(format) + "/" + std::to_string(c.delayMs), 0);
            tc35.faults().send_result_delay_ms = c.delayMs;
            const std::size_t before = tc35.Sent().size();
            const int commandsBefore = CommandsSent("AT+CMGS=");
            const std::size_t traces = os::virt::TraceLines().size();
            const auto start = Now();
            EXPECT_EQ(Send(), c.sReturn == 1 ? 1 : 0);
            const auto took = Now() - start;
            EXPECT_EQ(modem.SReturn, c.sReturn);
            EXPECT_EQ(tc35.Sent().size(), before + 1);
            EXPECT_EQ(CommandsSent("AT+CMGS="), commandsBefore + 1);
            EXPECT_LT(took, (c.sReturn == 1 ? c.delayMs : kSendResultLimitMs) + 200u);
            EXPECT_EQ(TracedSince(traces, kUnknown), c.sReturn == 2);
            tc35.faults().send_result_delay_ms = 0;
            os::Sleep(2000);  // the late result arrives and waits on the line
        }
    }
}

// The line drops once the message went out, before its result: the outcome
// is unknown, SReturn 2, and no second attempt. Both modes, ReSTime 3.
TEST_F(SendOverModel, LineDropAfterTheCtrlZIsNotSentAgain) {
    for (int format : {0, 1}) {
        SCOPED_TRACE(format);
        modem.MsgFormat = format;
        tc35.settings().cmgf = format;
        modem.ReSTime = 3;
        Message("13800138000", "Pump 3 pressure high", 0);
        tc35.faults().hangup_after_submit_ms = 3000;
        const std::size_t before = tc35.Sent().size();
        const int commandsBefore = CommandsSent("AT+CMGS=");
        const std::size_t traces = os::virt::TraceLines().size();
        EXPECT_EQ(Send(), 0);
        EXPECT_EQ(modem.SReturn, 2);
        EXPECT_EQ(tc35.Sent().size(), before + 1);
        EXPECT_EQ(CommandsSent("AT+CMGS="), commandsBefore + 1);
        EXPECT_TRUE(TracedSince(traces, kUnknown));
        os::Sleep(4000);  // the line is back
    }
}

// A one-part send in either mode takes the wire time of its bytes and the
// modem's answers, not fixed pauses.
TEST_F(SendOverModel, OnePartSendTakesTheLineTimeOnly) {
    for (int format : {0, 1}) {
        modem.MsgFormat = format;
        tc35.settings().cmgf = format;
        Message("13800138000", "Pump 3 pressure high", 0);
        const auto start = Now();
        EXPECT_EQ(Send(), 1) << format;
        EXPECT_EQ(CommandsSent("AT+CMGS="), format + 1) << format;
        const auto took = Now() - start;
        std::printf("one-part send, %s mode: %llu virtual ms\n", format ? "text" : "PDU",
                    static_cast<unsigned long long>(took));
        EXPECT_EQ(modem.SReturn, 1);
        // About 110 bytes each way at 1.04 ms a byte, and 10 ms polls: no
        // fixed pause (they were 1700 ms and 7500 ms).
        EXPECT_LE(took, 150u) << format;
    }
}

}  // namespace
}  // namespace vantor::test
