// The line stays in step with the modem: late answers, long listings, bodies
// that look like structure, refused listings, a line that never stops
// talking, and writes cut short. Virtual time against the TC35 model.
#include <algorithm>
#include <cstring>
#include <string>

#include "device_fixture.h"
#include "gsm7_hex.h"
#include "modem/modem_model.h"

namespace vantor::test {
namespace {

class LineInStep : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        OpenWith(tc35, 1000);
    }
    int ReadAt() {
        PacketBuilder at(kAT);
        at.Value(kType2, 7);
        Run(at);
        return static_cast<int>(at.Item(0).value);
    }
    modem::Tc35Model tc35;
};

// A send whose +CMGS result comes 3 s after the Ctrl-Z, past the reply
// time-out: the driver waits for it and reports success, and from then on
// every exchange must still complete on its own answer. Six rounds, each
// with a new unread message at the modem: each one shows in its listing.
TEST_F(LineInStep, LateSendResultPutsNothingBehind) {
    tc35.faults().line.baud = 9600;  // answers trickle in as on a real line
    tc35.faults().send_result_delay_ms = 3000;
    EXPECT_EQ(Write(kSEND), 1);
    EXPECT_EQ(modem.SReturn, 1);
    ASSERT_EQ(tc35.Sent().size(), 1u);
    tc35.faults().send_result_delay_ms = 0;

    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const std::string body = "ROUND " + std::to_string(round);
        tc35.Deliver(Deliver7("8613900000000", body), Now());
        EXPECT_EQ(Write(kNEW), 1);
        EXPECT_EQ(std::string(modem.MsgNec[0]), body);
        EXPECT_EQ(modem.MsgNec[1][0], '\0');
        EXPECT_EQ(ReadAt(), 1);
    }
}

// A sender can spell the modem's own lines: in text mode the GSM character
// U with diaeresis is the byte '^', so a body "\x5ESYSSTART" lists as
// "^SYSSTART", alone or on a line of its own inside a body. Listed again and
// again in both formats, it is text: the driver hears no restart, writes no
// format and journals nothing but the messages; the real "^SYSSTART" is
// still heard between two commands.
TEST_F(LineInStep, ABodyNeverPassesForAModemLine) {
    tc35.AddMessage(Deliver7("8613900000000", "^SYSSTART"), true);
    tc35.AddMessage(Deliver7("8613900000000", "TANK LOW\r\n^SYSSTART\r\n^SMGO: 2"), true);
    ASSERT_EQ(Write(kCMGF, 1), 1);
    for (int format : {1, 0, 1}) {
        SCOPED_TRACE(format);
        ASSERT_EQ(Write(kCMGF, format), 1);
        const std::size_t commands = tc35.CommandLines().size();
        for (int round = 0; round < 3; ++round) {
            EXPECT_EQ(Write(kOLD), 1);
            // GBK has no capital U with diaeresis.
            EXPECT_EQ(std::string(modem.MsgInf[0]), "?SYSSTART");
            EXPECT_FALSE(modem.reports.restartSeen);
        }
        for (std::size_t i = commands; i < tc35.CommandLines().size(); ++i)
            EXPECT_EQ(tc35.CommandLines()[i].rfind("AT+CMGF", 0), std::string::npos)
                << tc35.CommandLines()[i];
    }
    EXPECT_FALSE(Traced("Modem restarted: message format 1 restored\n"));
    tc35.PowerCycle(Now());
    os::Sleep(600);
    EXPECT_EQ(ReadAt(), 1);
    EXPECT_TRUE(modem.reports.restartSeen);
}

// Another program switches the modem's echo off. The driver learns it from
// the first answer that ends in OK without the echo, however the answer is
// cut into pieces on the line: the next link test passes and the next
// listing shows the new message.
TEST_F(LineInStep, EchoSwitchedOffIsLearnedWhateverThePieces) {
    const auto learned = [] {
        const auto& t = os::virt::TraceLines();
        return std::count(t.begin(), t.end(),
                          "No echo from the modem: answers count from the command on\n");
    };
    for (const std::size_t piece : {1u, 2u, 3u, 5u, 64u}) {
        SCOPED_TRACE(piece);
        tc35.settings().echo = true;
        EXPECT_EQ(ReadAt(), 1);  // the echo is seen again
        tc35.settings().echo = false;
        tc35.faults().line.chunks = {piece};
        const auto before = learned();
        ReadAt();  // may fail: its answer is what tells that the echo is gone
        EXPECT_EQ(learned(), before + 1);
        EXPECT_EQ(ReadAt(), 1);
        const std::string body = "PIECES " + std::to_string(piece);
        tc35.Deliver(Deliver7("8613900000000", body), Now());
        EXPECT_EQ(Write(kNEW), 1);
        EXPECT_EQ(std::string(modem.MsgNec[0]), body);
        tc35.faults().line.chunks = {};
    }
}

// The OK the modem gives to an ESC (a send that got no prompt in time) and a
// late listing are dropped before the next command, traced with their size.
TEST_F(LineInStep, WhatWaitsBeforeACommandIsDiscardedAndTraced) {
    tc35.AddMessage(Deliver7("8613900000000", "FIRST"));
    tc35.faults().answer_delay_ms = 1500;  // the listing comes after the time-out
    EXPECT_EQ(Write(kNEW), 0);
    tc35.faults().answer_delay_ms = 0;
    os::Sleep(2000);  // the late listing has arrived and waits
    EXPECT_EQ(ReadAt(), 1);
    bool traced = false;
    for (const std::string& l : os::virt::TraceLines())
        if (l.rfind("Discarded ", 0) == 0 && l.find("+CMGL: 1,0,,") != std::string::npos)
            traced = true;
    EXPECT_TRUE(traced);
}

// 60 long messages make an answer far beyond 8191 bytes. The listing reads it
// to its OK in bounded time, fills the stores with the first entries, and the
// line is in step afterwards. Both formats.
class LongListing : public LineInStep, public ::testing::WithParamInterface<int> {};

TEST_P(LongListing, SixtyLongMessagesInBoundedTime) {
    const int format = GetParam();
    tc35.SetCapacity(60);
    for (int i = 0; i < 60; ++i) {
        std::string body = "MESSAGE " + std::to_string(i + 1) + " ";
        body.resize(160, 'x');
        ASSERT_EQ(tc35.AddMessage(Deliver7("8613900000000", body)), i + 1);
    }
    if (format == 1) ASSERT_EQ(Write(kCMGF, 1), 1);
    const std::uint64_t start = Now();
    EXPECT_EQ(Write(kNEW), 1);
    EXPECT_LT(Now() - start, 5000u);
    for (int i = 0; i < kNewSlots; ++i) {
        const std::string want = "MESSAGE " + std::to_string(i + 1) + " ";
        EXPECT_EQ(std::string(modem.MsgNec[i]).substr(0, want.size()), want);
    }
    for (const auto& m : tc35.Messages()) EXPECT_TRUE(m.read);  // listed: all read now

    EXPECT_EQ(ReadAt(), 1);
    EXPECT_EQ(Write(kOLD), 1);
    EXPECT_EQ(std::string(modem.MsgNec[0]).substr(0, 10), "MESSAGE 1 ");
    EXPECT_EQ(std::string(modem.MsgInf[19]).substr(0, 11), "MESSAGE 20 ");
    EXPECT_EQ(Write(kCMGD, 60), 1);
    EXPECT_FALSE(tc35.Message(60).has_value());
}
INSTANTIATE_TEST_SUITE_P(PduAndText, LongListing, ::testing::Values(0, 1));

// Text mode: a body is taken whole by the length the header gives
// (AT+CSDH=1), so line breaks, "+CMGL:" lines, OK and ERROR lines inside a
// message are text and never create, end or fail an entry.
TEST_F(LineInStep, TextBodiesAreWholeAndForgeNothing) {
    const char* bodies[] = {
        "\r\n+CMGL: 9,\"REC UNREAD\",\"+110\",,\"25/12/08,21:14:00+32\"\r\nALARM CLEARED",
        "LINE ONE\r\nLINE TWO\r\nLINE THREE",
        "PUMP 3\r\nOK\r\nSTILL TEXT",
        "VALVE\r\nERROR\r\n",
        "\r\n",
    };
    for (const char* body : bodies) tc35.AddMessage(Deliver7("8613900000000", body));
    tc35.AddMessage(Deliver7("8613911111111", "LAST"));
    ASSERT_EQ(Write(kCMGF, 1), 1);
    EXPECT_EQ(Write(kNEW), 1);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::string(modem.MsgNec[i]), bodies[i]);
        EXPECT_NE(std::string(modem.MsgNew[i]).find("Message From +8613900000000"),
                  std::string::npos);
    }
    EXPECT_EQ(std::string(modem.MsgNew[5]), "<6> 25/12/08,21:14:05 Message From +8613911111111");
    EXPECT_EQ(std::string(modem.MsgNec[5]), "LAST");
    EXPECT_EQ(modem.MsgNew[6][0], '\0');
}

// A text-mode listing that the modem refuses, that meets silence, or that
// cannot set the header lengths fails and leaves the stores as they were.
TEST_F(LineInStep, FailedTextListingsKeepTheStores) {
    tc35.AddMessage(Deliver7("8613900000000", "KEEP ME"));
    ASSERT_EQ(Write(kCMGF, 1), 1);
    ASSERT_EQ(Write(kOLD), 1);
    ASSERT_EQ(Write(kNEW), 1);
    ASSERT_EQ(std::string(modem.MsgNec[0]), "KEEP ME");
    const Registers before = Fields();

    tc35.FailCommand("CMGL", modem::kPlainError, 1);
    EXPECT_EQ(Write(kNEW), 0);
    tc35.FailCommand("CMGL", 321, 1);
    EXPECT_EQ(Write(kOLD), 0);
    tc35.FailCommand("CSDH", modem::kPlainError, 1);
    EXPECT_EQ(Write(kNEW), 0);
    tc35.faults().silent = true;
    EXPECT_EQ(Write(kNEW), 0);
    tc35.faults().silent = false;
    EXPECT_TRUE(Fields() == before);
    EXPECT_EQ(ReadAt(), 1);
}

// A line that never falls silent (one byte every 50 ms, far below the reply
// time-out) cannot hold a call longer than the answer limit.
TEST_F(LineInStep, BabblingLineEndsEveryCall) {
    ScriptedPeer babble;
    Unplug();
    OpenWith(babble, 1000);
    babble.Flood(0, 100000, 1, 50);
    struct Call {
        const char* what;
        std::int16_t kind;
        std::int32_t format;
    } calls[] = {{"AT", kAT, 0}, {"NEW pdu", kNEW, 0}, {"NEW text", kNEW, 1},
                 {"SEND pdu", kSEND, 0}, {"SEND text", kSEND, 1}};
    for (const Call& c : calls) {
        SCOPED_TRACE(c.what);
        modem.MsgFormat = c.format;
        modem.ErrCount = 0;
        const std::uint64_t start = Now();
        if (c.kind == kAT) ReadAt(); else Write(c.kind);
        // One answer limit per exchange, plus the fixed pauses of a dialogue.
        EXPECT_LE(Now() - start, 2 * 60000u + 10000u);
    }
    Unplug();
}

// A write cut short by the write time-out is a failure; a PDU cut before its
// Ctrl-Z is followed by ESC, so the modem leaves its message input.
TEST_F(LineInStep, ShortWriteFailsAndLeavesTheMessageInput) {
    ScriptedPeer far;
    Unplug();
    OpenWith(far, 1000);
    far.SetEcho(true);
    far.OnWrite("AT+CMGS=", "\r\n> ", 10);
    os::virt::SetWriteLimit("COM1", 30);  // the command fits, the PDU does not
    std::memcpy(modem.Tele, "13800000000", 12);
    EXPECT_EQ(Write(kSEND), 0);
    EXPECT_EQ(modem.SReturn, 2);
    const auto& writes = far.Writes();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes.back().bytes, "\x1b");
    EXPECT_EQ(far.Written().find('\x1a'), std::string::npos);
    Unplug();
}

}  // namespace
}  // namespace vantor::test

namespace vantor::test {
namespace {

// The modem restarts (power cut) after the host chose text mode: it comes back
// in PDU mode with echo on. Heard through its "^SYSSTART" (read by a link
// test), or only from a text-mode command it refuses, text mode is put back
// once, traced, and the next message is listed and the next send goes out
// once. A host that never chose a format has nothing written for it.
TEST_F(LineInStep, RestartedModemGetsTheHostsFormatBack) {
    std::strcpy(modem.Tele, "13800138000");
    std::strcpy(modem.MsgSend[0], "TANK LOW");
    const std::string restored = "Modem restarted: message format 1 restored\n";
    const auto formatWrites = [&] {
        int n = 0;
        for (const std::string& line : tc35.CommandLines()) n += line == "AT+CMGF=1";
        return n;
    };
    ASSERT_EQ(Write(kCMGF, 1), 1);
    for (const bool heard : {true, false}) {
        SCOPED_TRACE(heard ? "^SYSSTART heard" : "restart unheard");
        const int before = formatWrites();
        const std::size_t sentBefore = tc35.Sent().size();
        const std::size_t mark = os::virt::TraceLines().size();
        tc35.PowerCycle(Now());
        os::Sleep(600);
        if (heard) {
            EXPECT_EQ(ReadAt(), 1);
            EXPECT_TRUE(modem.reports.restartSeen);
        } else {
            tc35.Purge(Now());  // the "^SYSSTART" is lost on the line
        }
        EXPECT_EQ(tc35.settings().cmgf, 0);

        tc35.Deliver(Deliver7("8613900000000", heard ? "AFTER START" : "AFTER SILENT START"), Now());
        EXPECT_EQ(Write(kNEW), 1);
        EXPECT_EQ(std::string(modem.MsgNec[0]), heard ? "AFTER START" : "AFTER SILENT START");
        EXPECT_EQ(tc35.settings().cmgf, 1);
        EXPECT_EQ(formatWrites(), before + 1);
        const auto& trace = os::virt::TraceLines();
        EXPECT_EQ(std::count(trace.begin() + static_cast<std::ptrdiff_t>(mark), trace.end(), restored), 1);

        EXPECT_EQ(Write(kSEND), 1);
        EXPECT_EQ(tc35.Sent().size(), sentBefore + 1);
        EXPECT_EQ(formatWrites(), before + 1);
    }
}

}  // namespace
}  // namespace vantor::test

#include "modem/gsm_charset.h"
#include "sms_test_util.h"

namespace vantor::test {
namespace {

// Every code of the GSM default alphabet and of its extension table, as
// septets: the default codes but ESC, then ESC and each extension code.
std::vector<std::uint8_t> EveryGsmCode() {
    std::vector<std::uint8_t> codes;
    for (std::uint8_t c = 0; c < 0x80; ++c)
        if (c != 0x1B) codes.push_back(c);
    for (std::uint8_t e : {0x0A, 0x14, 0x28, 0x29, 0x2F, 0x3C, 0x3D, 0x3E, 0x40, 0x65}) {
        codes.push_back(0x1B);
        codes.push_back(e);
    }
    return codes;
}

// Text mode speaks the modem's alphabet (AT+CSCS="GSM"): a received body of
// every code shows as the same characters a 7-bit PDU body of them shows
// (GBK; what GBK lacks as '?'); `@`, `$` and `_` no longer cut or change it.
TEST_F(LineInStep, TextModeBodiesAreReadInTheGsmAlphabet) {
    const std::vector<std::uint8_t> codes = EveryGsmCode();
    const std::string septets(codes.begin(), codes.end());
    tc35.AddMessage(Deliver7("8613900000000", septets));
    // "TANK@5$ COST_LOW" in GSM codes: '@' 0x00, '$' 0x02, '_' 0x11.
    tc35.AddMessage(Deliver7("8613900000000", std::string("TANK\x00" "5\x02 COST\x11LOW", 16)));
    const std::string expected = Gbk(modem::ToUtf8(modem::GsmToUnicode(codes)));
    ASSERT_EQ(Write(kCMGF, 1), 1);
    EXPECT_EQ(Write(kNEW), 1);
    EXPECT_EQ(std::string(modem.MsgNec[0]), expected.substr(0, 255));
    EXPECT_EQ(std::string(modem.MsgNec[1]), "TANK@5$ COST_LOW");
    // The same bodies in PDU mode, for comparison.
    for (auto& m : tc35.Messages()) tc35.PutMessage(m.index, m.pdu, false);
    ASSERT_EQ(Write(kCMGF, 0), 1);
    EXPECT_EQ(Write(kNEW), 1);
    EXPECT_EQ(std::string(modem.MsgNec[0]), expected.substr(0, 255));
}

// ... and sent: every GSM character GBK can hold goes out as itself (escape
// form where the code is not the ASCII byte); a character the GSM alphabet
// lacks is refused before anything is written, traced.
TEST_F(LineInStep, TextModeSendsTheGsmAlphabet) {
    ASSERT_EQ(Write(kCMGF, 1), 1);
    std::strcpy(modem.Tele, "13800138000");
    std::string utf8;
    for (const char32_t c : modem::GsmToUnicode(EveryGsmCode())) {
        const std::string one = modem::ToUtf8(std::u32string(1, c));
        if (Gbk(one) != "?" && c != 0x1B && c != '\n' && c != '\r' && c != 0xA0)
            utf8 += one;  // GBK holds it
    }
    for (const std::string& body : {utf8, std::string("TANK@5$ COST_LOW\r\nline two")}) {
        const std::string gbk = Gbk(body);
        const SendTexts texts = SplitIntoTexts(gbk);
        std::strcpy(modem.MsgSend[0], texts.part0.c_str());
        std::strcpy(modem.MsgSend[1], texts.part1.c_str());
        const std::size_t before = tc35.Sent().size();
        EXPECT_EQ(Write(kSEND), 1);
        ASSERT_EQ(tc35.Sent().size(), before + 1);
        EXPECT_EQ(tc35.Sent().back().text, body);
    }

    const std::size_t heard = tc35.Received().size();
    std::strcpy(modem.MsgSend[0], Gbk("报警").c_str());
    modem.MsgSend[1][0] = '\0';
    EXPECT_EQ(Write(kSEND), 0);
    EXPECT_EQ(tc35.Received().size(), heard);  // nothing written
    EXPECT_TRUE(Traced("Text mode cannot carry U+62A5 " + Gbk("报") +
                       " (not in the GSM alphabet): PDU mode (CMGF 0) carries it\n"));
}

}  // namespace
}  // namespace vantor::test

namespace vantor::test {
namespace {

// The parts of a long message in text mode: the modem shows their user data
// (header included) as hex; each part reads as its text, as in PDU mode.
TEST_F(LineInStep, TextModeShowsThePartsOfALongMessage) {
    std::FILE* f = std::fopen(VANTOR_SOURCE_DIR "/tests/e2e/data/demo_inbox.txt", "rb");
    ASSERT_NE(f, nullptr);
    char line[1024];
    while (std::fgets(line, sizeof line, f)) {
        std::string l(line);
        if (l.rfind("unread ", 0) != 0) continue;
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        tc35.AddMessage(l.substr(7));
    }
    std::fclose(f);
    ASSERT_EQ(Write(kCMGF, 1), 1);
    ASSERT_EQ(Write(kNEW), 1);
    EXPECT_EQ(std::string(modem.MsgNec[3]) + modem.MsgNec[4],
              "This is a long message that does not fit into one SMS, so the network splits it into two "
              "parts with a user data header; the receiving modem keeps them as two entries in its store. End.");
    EXPECT_EQ(Utf8(modem.MsgNec[1]), "你好，世界！今晚七点见。");
}

// After a restart the host's format waits for the next packet that talks to
// the modem: reads and writes of the kept values before it cause no traffic
// and take no time, however the line is (here it has gone quiet again).
TEST_F(LineInStep, KeptValuesStayQuietAfterARestart) {
    ASSERT_EQ(Write(kCMGF, 1), 1);
    tc35.PowerCycle(Now());
    os::Sleep(600);
    EXPECT_EQ(ReadAt(), 1);
    ASSERT_TRUE(modem.reports.restartSeen);
    tc35.faults().silent = true;

    const std::size_t heard = tc35.Received().size();
    const std::uint64_t start = Now();
    for (std::int16_t kind : Kinds{kMsgNew, kMsgNec, kMsgOld, kMsgInf, kTele, kReSTime, kSReturn, kCodeMod}) {
        PacketBuilder read(kind);
        read.Value(kind == kReSTime || kind == kSReturn || kind == kCodeMod ? kType2 : kTypeText, 0);
        EXPECT_EQ(Run(read), 1) << kind;
    }
    PacketBuilder write(kReSTime, true);
    write.Value(kType2, 3);
    EXPECT_EQ(Run(write), 1);
    EXPECT_EQ(Now(), start);
    EXPECT_EQ(tc35.Received().size(), heard);
    EXPECT_TRUE(modem.reports.restartSeen);

    // The next listing puts text mode back first.
    tc35.faults().silent = false;
    tc35.Deliver(Deliver7("8613900000000", "AFTER START"), Now());
    EXPECT_EQ(Write(kNEW), 1);
    EXPECT_EQ(tc35.settings().cmgf, 1);
    EXPECT_EQ(std::string(modem.MsgNec[0]), "AFTER START");
}

}  // namespace
}  // namespace vantor::test
