// Both send dialogues against a scripted modem, in virtual time.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device_fixture.h"

namespace {

using vantor::test::DeviceTest;
using vantor::test::Count;
using vantor::test::Now;
using vantor::test::Traced;

const std::string kHelloPdu = "001100038121F30000A70AE8329BFD4697D9EC37";
const std::string kPrompt = "\r\n> ";
const std::string kSent = "\r\n+CMGS: 12\r\n\r\nOK\r\n";

class SmsSend : public DeviceTest {
protected:
    void Message(const char* tele, const std::string& part0, const std::string& part1 = "") {
        std::strcpy(modem.Tele, tele);
        std::snprintf(modem.MsgSend[0], sizeof modem.MsgSend[0], "%s", part0.c_str());
        std::snprintf(modem.MsgSend[1], sizeof modem.MsgSend[1], "%s", part1.c_str());
    }
};

TEST_F(SmsSend, PduWithPrompt) {
    struct Case {
        const char* body;
        int codeMod;
        std::string command, pdu;
    } cases[] = {
        {"hellohello", 0, "AT+CMGS=19\r", kHelloPdu},
        {"\xD6\xD0\xCE\xC4", 1, "AT+CMGS=14\r", "001100038121F30008A7044E2D6587"},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {0, 1, 3}) {
            os::virt::Reset();
            peer = {};
            Open(1000);
            Message("123", c.body);
            modem.CodeMod = static_cast<std::uint8_t>(c.codeMod);
            peer.SetEcho(true);
            peer.SetChunking(chunk, 5);
            peer.OnWrite(c.command, kPrompt, 50);
            peer.OnWrite("\x1A", kSent, 800);
            const auto start = Now();
            EXPECT_EQ(modem.SendPduMessage(), 1) << c.body << " chunk " << chunk;
            EXPECT_EQ(peer.Written(), c.command + c.pdu + "\x1A") << chunk;
            // The prompt comes 50 ms after the command, the result 800 ms
            // after the Ctrl-Z: each is taken as it arrives (10 ms polls,
            // 5 ms between chunks).
            const auto took = Now() - start;
            EXPECT_GE(took, 850u) << chunk;
            EXPECT_LE(took, chunk == 0 ? 880u : 1000u) << chunk;
            modem.ClosePort();
        }
    }
}

TEST_F(SmsSend, PduFailures) {
    struct Case {
        const char* name;
        const char* promptAnswer;  // nullptr: silence
        const char* resultAnswer;
        std::string written;
        int result;  // refused before or after the PDU: 0; outcome unknown: 2
        std::uint64_t took;
    } cases[] = {
        {"error instead of the prompt", "\r\n+CMS ERROR: 304\r\n", nullptr, "AT+CMGS=19\r\x1B", 0, 60},
        // The prompt is awaited as long as the modem has always been given:
        // 200 ms and 500 ms polls past the 1000 ms reply time-out; then,
        // after the ESC, the command's end as long again.
        {"no prompt", nullptr, nullptr, "AT+CMGS=19\r\x1B", 0, 1710 + 1710},
        {"error after the PDU", "\r\n> ", "\r\n+CMS ERROR: 500\r\n", "AT+CMGS=19\r" + kHelloPdu + "\x1A", 0, 360},
        {"bare OK after the PDU", "\r\n> ", "\r\nOK\r\n", "AT+CMGS=19\r" + kHelloPdu + "\x1A", 0, 360},
        {"result line without OK", "\r\n> ", "\r\n+CMGS: 7\r\n", "AT+CMGS=19\r" + kHelloPdu + "\x1A", 2, 60060},
        {"silence after the PDU", "\r\n> ", nullptr, "AT+CMGS=19\r" + kHelloPdu + "\x1A", 2, 60060},
    };
    for (const auto& c : cases) {
        os::virt::Reset();
        peer = {};
        Open(1000);
        Message("123", "hellohello");
        modem.CodeMod = 0;
        if (c.promptAnswer) peer.OnWrite("AT+CMGS=19\r", c.promptAnswer, 50);
        if (c.resultAnswer) peer.OnWrite("\x1A", c.resultAnswer, 300);
        const auto start = Now();
        EXPECT_EQ(modem.SendPduMessage(), c.result) << c.name;
        EXPECT_EQ(peer.Written(), c.written) << c.name;
        // A refusal is taken when it comes; a message that went out is
        // given the whole send-result limit.
        EXPECT_NEAR(static_cast<double>(Now() - start), static_cast<double>(c.took), 20.0) << c.name;
        EXPECT_EQ(Traced("Send outcome unknown: no final result within 60 s of the Ctrl-Z; "
                         "not sent again\n"),
                  c.result == 2)
            << c.name;
        modem.ClosePort();
    }
}

TEST_F(SmsSend, RefusalsWriteNothing) {
    Open(1000);
    peer.OnWrite("AT", kPrompt, 0, 0);
    const std::string a160(160, 'a');
    // (Longer PDU-mode bodies go as concatenated messages:
    // send_over_model_test.cpp.)
    struct Case {
        const char* tele;
        std::string part0, part1;
        int codeMod;
        int format;  // MsgFormat: 0 PDU, 1 text
    } cases[] = {
        {"", "hello", "", 0, 0},
        {"12a4", "hello", "", 1, 0},
        {"+", "hello", "", 0, 0},
        {"", "hello", "", 0, 1},
        {"1 2", "hello", "", 0, 1},
        {"123", a160, "a", 0, 1},        // 161 bytes
        {"123", "ab\x1A" "cd", "", 0, 1},  // Ctrl-Z would end the input early
        {"123", "ab\x1B" "cd", "", 0, 1},  // ESC would abandon it
    };
    for (const auto& c : cases) {
        Message(c.tele, c.part0, c.part1);
        modem.CodeMod = static_cast<std::uint8_t>(c.codeMod);
        const int sent = c.format == 0 ? modem.SendPduMessage() : modem.SendTextMessage();
        EXPECT_EQ(sent, 0) << '"' << c.tele << "\" " << c.part0.size() + c.part1.size();
        EXPECT_EQ(peer.Written(), "") << '"' << c.tele << "\" " << c.part0.size() + c.part1.size();
    }
}

// Full single messages: 160 septets or 70 UCS-2 characters, to an 11-digit
// number (154 TPDU octets) and to a 13-digit international one (155).
TEST_F(SmsSend, FullSingleMessagesAreSent) {
    std::string zh70;
    for (int i = 0; i < 70; ++i) zh70 += "\xD6\xD0";
    struct Case {
        const char* tele;
        std::string body;
        int codeMod;
        const char* command;
    } cases[] = {
        {"13800138000", std::string(160, 'a'), 0, "AT+CMGS=154\r"},
        {"13800138000", zh70, 1, "AT+CMGS=154\r"},
        {"+8613912345678", std::string(160, 'a'), 0, "AT+CMGS=155\r"},
        {"+8613912345678", zh70, 1, "AT+CMGS=155\r"},
    };
    Open(1000);
    for (const auto& c : cases) {
        peer = {};
        Message(c.tele, c.body);
        modem.CodeMod = static_cast<std::uint8_t>(c.codeMod);
        peer.OnWrite(c.command, kPrompt, 50);
        peer.OnWrite("\x1A", kSent, 300);
        EXPECT_EQ(modem.SendPduMessage(), 1) << c.tele << ' ' << c.codeMod;
        EXPECT_EQ(Count(peer.Written(), "AT+CMGS="), 1u) << c.tele << ' ' << c.codeMod;
    }
}

TEST_F(SmsSend, TextWithPromptAndResult) {
    Open(1000);
    const std::string body160(160, 'b');
    for (const std::string& body : {std::string("Hello"), body160}) {
        peer = {};
        const std::size_t half = body.size() / 2;  // the body is both MsgSend texts
        Message("+8613800138000", body.substr(0, half), body.substr(half));
        peer.SetEcho(true);
        peer.OnWrite("AT+CMGS=\"+8613800138000\"\r", kPrompt, 100);
        peer.OnWrite("\x1A\r", kSent, 2000);
        const auto start = Now();
        EXPECT_EQ(modem.SendTextMessage(), 1) << body.size();
        EXPECT_EQ(peer.Written(), "AT+CMGS=\"+8613800138000\"\r" + body + "\x1A\r");
        // Prompt 100 ms after the command, result 2000 ms after the body.
        EXPECT_GE(Now() - start, 2100u);
        EXPECT_LE(Now() - start, 2130u);
    }
}

TEST_F(SmsSend, TextFailures) {
    struct Case {
        const char* name;
        const char* promptAnswer;  // nullptr: silence
        const char* resultAnswer;  // nullptr: silence (the echo may still come)
        bool bodyWritten;
        int result;                // refused: 0; went out, outcome unknown: 2
    } cases[] = {
        {"error answer to the body", "\r\n> ", "\r\n+CMS ERROR: 500\r\n", true, 0},
        {"echo only after the body", "\r\n> ", nullptr, true, 2},
        {"bare OK after the body", "\r\n> ", "\r\nOK\r\n", true, 0},
        {"no prompt, echo only", nullptr, nullptr, false, 0},
        {"error instead of the prompt", "\r\nERROR\r\n", nullptr, false, 0},
    };
    for (const auto& c : cases) {
        os::virt::Reset();
        peer = {};
        Open(1000);
        Message("123", "Hello");
        peer.SetEcho(true);
        if (c.promptAnswer) peer.OnWrite("AT+CMGS=\"123\"\r", c.promptAnswer, 100);
        if (c.resultAnswer) peer.OnWrite("\x1A\r", c.resultAnswer, 2000);
        EXPECT_EQ(modem.SendTextMessage(), c.result) << c.name;
        EXPECT_EQ(peer.Written(), c.bodyWritten ? "AT+CMGS=\"123\"\rHello\x1A\r"
                                                : "AT+CMGS=\"123\"\r\x1B")
            << c.name;
        modem.ClosePort();
    }
}

// A host with a short reply time-out: the prompt is still awaited as long as
// the modem may take with it (PDU mode: 200 ms and 500 ms polls up to the
// first poll after the time-out; text mode: a second), and taken the moment
// it comes.
TEST_F(SmsSend, SlowPromptWithAShortReplyTimeout) {
    const struct {
        int format;
        std::int16_t timeout;
        std::uint32_t promptAfter;
        int result;
    } cases[] = {
        {0, 100, 250, 1}, {0, 100, 690, 1}, {0, 100, 800, 0}, {0, 250, 650, 1},
        {1, 100, 760, 1}, {1, 250, 990, 1}, {1, 100, 1100, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.format) + " " + std::to_string(c.timeout) + " " +
                     std::to_string(c.promptAfter));
        os::virt::Reset();
        peer = {};
        Open(c.timeout);
        Message("123", "hellohello");
        modem.CodeMod = 0;
        peer.OnWrite(c.format == 0 ? "AT+CMGS=19\r" : "AT+CMGS=\"123\"\r", "\r\n> ", c.promptAfter);
        peer.OnWrite("\x1A", kSent, 50);
        const auto start = Now();
        EXPECT_EQ(c.format == 0 ? modem.SendPduMessage() : modem.SendTextMessage(), c.result);
        if (c.result == 1) {
            EXPECT_NEAR(static_cast<double>(Now() - start), c.promptAfter + 50.0, 30.0);
        }
        modem.ClosePort();
    }
}

}  // namespace
