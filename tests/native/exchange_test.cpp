// Command/answer exchanges in virtual time: completion patterns, the silence
// time-out to the millisecond, the 8192-byte buffer limits of both receive
// loops, and answers cut into every chunk size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <tuple>
#include <string>
#include <vector>

#include "device/gsm_modem.h"
#include "port_config.h"
#include "os/os.h"
#include "os/virt/virt.h"
#include "scripted_peer.h"

namespace {

using vantor::CGsmModem;
using vantor::kAnswerSize;
using vantor::test::ScriptedPeer;

// The result of one receive: what came back and how long it took.
struct Outcome {
    int result;
    std::string answer;  // the answer bytes as counted by the answer length
    std::int32_t length;
    std::uint64_t took;
};

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        os::virt::Reset();
        os::virt::AddPort("COM1", &modem);
        Open(1000);
    }
    void TearDown() override { device.ClosePort(); }

    void Open(std::int16_t replyTimeout) {
        device.ClosePort();
        vantor::PortConfig c = vantor::test::MakePortConfig("COM1", 9600, replyTimeout);
        ASSERT_EQ(device.OpenPort(&c), 1);
        os::virt::ClearPortCalls();
    }

    // Exchange of `request` from a fresh zero-filled buffer; time counted from
    // the call.
    Outcome RunExchange(const std::string& request) {
        buffer.assign(kAnswerSize, 0);
        std::memcpy(buffer.data(), request.data(), request.size());
        std::int32_t length = static_cast<std::int32_t>(request.size());
        const std::uint64_t t0 = os::virt::Now();
        const int result = device.Exchange(buffer.data(), &length, 0);
        return Finish(result, length, t0);
    }

    Outcome RunReceive(std::int32_t mode) {
        buffer.assign(kAnswerSize, 0);
        std::int32_t length = -1;
        const std::uint64_t t0 = os::virt::Now();
        const int result = device.LinklevelReceive(buffer.data(), &length, mode);
        return Finish(result, length, t0);
    }

    Outcome Finish(int result, std::int32_t length, std::uint64_t t0) {
        EXPECT_GE(length, 0);
        EXPECT_LT(length, kAnswerSize);
        if (length >= 0 && length < kAnswerSize) {
            EXPECT_EQ(buffer[length], 0) << "answer not terminated";
        }
        return Outcome{result,
                       std::string(reinterpret_cast<const char*>(buffer.data()),
                                   static_cast<std::size_t>(std::max(length, 0))),
                       length, os::virt::Now() - t0};
    }

    std::vector<std::uint64_t> ReadTimes() const {
        std::vector<std::uint64_t> at;
        for (const auto& c : os::virt::PortCalls())
            if (c.function == "ClearCommError") at.push_back(c.at);
        return at;
    }

    ScriptedPeer modem;
    CGsmModem device;
    std::vector<std::uint8_t> buffer;
};

TEST_F(ExchangeTest, WritesTheRequestAndCollectsTheAnswer) {
    modem.OnWrite("AT+CMGF?\r\n", "AT+CMGF?\r\r\n+CMGF: 0\r\n\r\nOK\r\n", 30);
    const Outcome o = RunExchange("AT+CMGF?\r\n");
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.answer, "AT+CMGF?\r\r\n+CMGF: 0\r\n\r\nOK\r\n");
    EXPECT_EQ(modem.Written(), "AT+CMGF?\r\n");
    // Written at 0, first read at 10, answer there from 30: read at 30, done at 40.
    EXPECT_EQ(o.took, 40u);
    const auto& trace = os::virt::TraceLines();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[0], "**********Send nLen=10,nSend=10\n");
    EXPECT_EQ(trace[1], "TX:AT+CMGF?\r\n\n");
    EXPECT_EQ(trace[2], "Rx: AT+CMGF?\r\r\n+CMGF: 0\r\n\r\nOK\r\n\n");
}

TEST_F(ExchangeTest, SplitOkCompletesWithItsSecondHalf) {
    modem.At(1, "\r\nO");  // after the command: what waits before it is discarded
    modem.At(50, "K\r\n");
    const Outcome o = RunExchange("AT\r");
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.answer, "\r\nOK\r\n");
    EXPECT_EQ(o.took, 60u);
}

TEST_F(ExchangeTest, ErrorAnswerEndsBySilenceWithTheTextKept) {
    modem.OnWrite("AT+CSCA?", "\r\n+CMS ERROR: 500\r\n", 0);
    const Outcome o = RunExchange("AT+CSCA?\r\n");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.answer, "\r\n+CMS ERROR: 500\r\n");
    // The trace says what the number means.
    const auto& trace = os::virt::TraceLines();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "+CMS ERROR: 500 (unknown error)\n"),
              trace.end());
    // Last chunk read at 10; the deadline (10 + 1000) has passed at the pass
    // of 1020, which still reads and then pauses 10 ms.
    EXPECT_EQ(o.took, 1030u);
}

TEST_F(ExchangeTest, ChunkReadInThePassTheDeadlinePassedStillCounts) {
    Open(100);
    // The first part is read at 10; the pass of 120 is the first to find the
    // deadline (10 + 100) passed. What it reads is still appended and tested,
    // and the wait ends after that pass whatever it brought.
    const struct {
        std::uint64_t secondPartAt;
        const char* secondPart;
        int result;
        const char* answer;
    } cases[] = {
        {120, "K\r\n", 1, "\r\nOK\r\n"},
        {120, "K\r", 0, "\r\nOK\r"},
        {121, "K\r\n", 0, "\r\nO"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.answer);
        const std::uint64_t t0 = os::virt::Now();
        modem.At(t0 + 1, "\r\nO");
        modem.At(t0 + k.secondPartAt, k.secondPart);
        const Outcome o = RunExchange("AT\r");
        EXPECT_EQ(o.result, k.result);
        EXPECT_EQ(o.took, 130u);
        EXPECT_EQ(o.answer, k.answer);
        os::Sleep(50);
        modem.Purge(os::virt::Now());
    }
}

TEST_F(ExchangeTest, ZeroByteHidesTheRestFromTheCompletionTest) {
    modem.At(1, std::string("\r\n\0\r\nOK\r\n", 9));
    const Outcome o = RunExchange("AT\r");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.length, 9);
    EXPECT_EQ(o.took, 1030u);
}

// Bytes that arrive after the command but before its echo (line noise, the
// tail of something late) are not the answer: it starts at the echo, as on a
// clean line, so a parser reading it as text from the start sees all of it.
TEST_F(ExchangeTest, WhatCameBeforeTheEchoIsDroppedFromTheAnswer) {
    const std::string junk("\0\x7F\r\nOK\r\n", 8);
    modem.OnWrite("AT+CMGF?\r\n", junk + "AT+CMGF?\r\r\n+CMGF: 1\r\n\r\nOK\r\n", 30);
    const Outcome o = RunExchange("AT+CMGF?\r\n");
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.answer, "AT+CMGF?\r\r\n+CMGF: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(o.length, 27);
    EXPECT_TRUE(std::all_of(buffer.begin() + o.length, buffer.end(),
                            [](std::uint8_t b) { return b == 0; }));
    const auto& trace = os::virt::TraceLines();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "Discarded 8 bytes before the echo\n"),
              trace.end());
}

// A modem that keeps talking without a final OK: the answer stops short of
// 8192 bytes and the chunk that would reach it ends the wait at once.
TEST_F(ExchangeTest, OverflowEndsAtOnceAndKeepsAtMost8191Bytes) {
    const struct {
        std::size_t answerBytes;  // bytes ending in the final OK line
        int result;
        std::int32_t kept;
    } cases[] = {
        {8191, 1, 8191},
        {8192, 0, 8192 - 512},  // in 512-byte reads the last one does not fit
        {8191 + 4, 0, 8191},    // the final OK comes in the chunk that does not fit
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.answerBytes);
        std::string answer(k.answerBytes - 6, 'a');
        answer += "\r\nOK\r\n";
        const std::uint64_t t0 = os::virt::Now();
        if (k.answerBytes == 8191 + 4) {
            modem.At(t0 + 1, answer.substr(0, 8191));
            modem.At(t0 + 200, answer.substr(8191));
        } else {
            modem.At(t0 + 1, answer);
        }
        const Outcome o = RunExchange("AT+CMGL=4\r\n");
        EXPECT_EQ(o.result, k.result);
        EXPECT_EQ(o.length, k.kept);
        EXPECT_EQ(o.answer, answer.substr(0, static_cast<std::size_t>(k.kept)));
        if (k.result == 0) {
            // Left without the 10 ms pause at the read of the chunk that did not fit.
            const auto reads = ReadTimes();
            EXPECT_EQ(t0 + o.took, reads.back());
        }
        modem.Purge(os::virt::Now() + 1000000);
    }
}

TEST_F(ExchangeTest, EarlyFailuresLeaveBufferAndLengthAlone) {
    std::int32_t length = 3;
    EXPECT_EQ(device.Exchange(nullptr, &length, 0), 0);
    std::uint8_t request[kAnswerSize] = {'A', 'T', '\r'};
    length = kAnswerSize + 1;  // would read past the buffer
    EXPECT_EQ(device.Exchange(request, &length, 0), 0);
    length = 0;
    EXPECT_EQ(device.Exchange(request, &length, 0), 0);
    EXPECT_EQ(modem.Written(), "");

    device.ClosePort();
    length = 3;
    EXPECT_EQ(device.Exchange(request, &length, 0), 0);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::memcmp(request, "AT\r", 3), 0);
    EXPECT_EQ(os::virt::Now(), 0u);
}

// The tick count wraps every 49.7 days; a wait that straddles the wrap lasts
// exactly as long as any other.
TEST_F(ExchangeTest, SilenceTimeoutSurvivesTheTickWrap) {
    for (std::uint32_t base : {0u, 0xFFFFFFFFu - 500u, 0xFFFFFFFFu - 5u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
        SCOPED_TRACE(base);
        os::virt::SetTickBase(base - static_cast<std::uint32_t>(os::virt::Now()));
        EXPECT_EQ(RunExchange("AT\r").took, 1030u);
        const std::uint32_t start = os::GetTickCount();
        buffer.assign(kAnswerSize, 0);
        std::int32_t length = 0;
        device.LinklevelReceive(buffer.data(), &length, vantor::WaitOk);
        EXPECT_EQ(os::GetTickCount() - start, 1500u);
    }
}

// The host's time-out field is signed; below 0 it waits as 0 does, never
// endlessly.
TEST_F(ExchangeTest, NegativeReplyTimeoutWaitsAsZero) {
    for (std::int16_t t : {std::int16_t{0}, std::int16_t{-1}, std::int16_t{-32768}}) {
        SCOPED_TRACE(t);
        Open(t);
        EXPECT_EQ(RunExchange("AT\r").took, 30u);
        EXPECT_EQ(RunReceive(vantor::WaitOk).took, 500u);
    }
}

// --- LinklevelSend / LinklevelReceive ---

TEST_F(ExchangeTest, LinklevelSendWritesOnly) {
    const std::uint8_t pdu[] = "AT+CMGS=18\r";
    EXPECT_EQ(device.LinklevelSend(nullptr, 5), 0);
    EXPECT_EQ(device.LinklevelSend(pdu, 11), 1);
    EXPECT_EQ(modem.Written(), "AT+CMGS=18\r");
    EXPECT_EQ(os::virt::Now(), 0u);
    EXPECT_EQ(os::virt::TraceLines().back(), "Tx: AT+CMGS=18\r\n");
    device.ClosePort();
    EXPECT_EQ(device.LinklevelSend(pdu, 11), 0);
}

TEST_F(ExchangeTest, ShortTimeoutReceiveReadsExactlyOnceAt500Ms) {
    Open(100);
    const struct {
        std::uint64_t answerAt;
        int result;
    } cases[] = {{500, 1}, {501, 0}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.answerAt);
        os::virt::ClearPortCalls();
        const std::uint64_t t0 = os::virt::Now();
        modem.At(t0 + k.answerAt, "\r\n> ");
        const Outcome o = RunReceive(vantor::WaitPrompt);
        EXPECT_EQ(o.result, k.result);
        EXPECT_EQ(o.took, 500u);
        EXPECT_EQ(ReadTimes(), std::vector<std::uint64_t>{t0 + 500});
        os::Sleep(10);
        modem.Purge(os::virt::Now());
    }
}

TEST_F(ExchangeTest, ReceiveChunkAfterTheDeadlineStillCounts) {
    Open(700);
    const struct {
        std::uint64_t secondPartAt;
        int result;
    } cases[] = {{1500, 1}, {1501, 0}};  // the pass of 1500 finds 500 + 700 passed
    for (const auto& k : cases) {
        SCOPED_TRACE(k.secondPartAt);
        const std::uint64_t t0 = os::virt::Now();
        modem.At(t0, "+CMGS: 7\r\n");
        modem.At(t0 + k.secondPartAt, "\r\nOK\r\n");
        const std::size_t linesBefore = os::virt::TraceLines().size();
        const Outcome o = RunReceive(vantor::WaitSendResult);
        EXPECT_EQ(o.result, k.result);
        EXPECT_EQ(o.took, 1500u);
        EXPECT_EQ(o.answer, k.result ? "+CMGS: 7\r\n\r\nOK\r\n" : "+CMGS: 7\r\n");
        const auto& trace = os::virt::TraceLines();
        const std::vector<std::string> lines(trace.begin() + static_cast<std::ptrdiff_t>(linesBefore),
                                             trace.end());
        if (k.result == 1) {
            EXPECT_EQ(lines, (std::vector<std::string>{
                                 "Start Copy,nLen=0,nByteRead=10\n", "Receive length =10\n",
                                 "Start Copy,nLen=10,nByteRead=6\n", "Receive length =16\n",
                                 "Rx: +CMGS: 7\r\n\r\nOK\r\n\n"}));
        }
        os::Sleep(10);
        modem.Purge(os::virt::Now());
    }
}

TEST_F(ExchangeTest, UnknownModeEndsOnlyBySilence) {
    modem.At(0, "\r\n> +CMGS: 1\r\n\r\nOK\r\n");
    for (std::int32_t mode : {3, -1, 256}) {
        SCOPED_TRACE(mode);
        const Outcome o = RunReceive(mode);
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.answer, mode == 3 ? "\r\n> +CMGS: 1\r\n\r\nOK\r\n" : "");
        // Mode 3 took the answer at 500, so its silence runs from there.
        EXPECT_EQ(o.took, mode == 3 ? 2000u : 1500u);
    }
}

// LinklevelReceive drops a chunk that does not fit and goes on: a smaller one
// that fits later is still appended, and otherwise only silence ends the wait.
TEST_F(ExchangeTest, ReceiveOverflowDropsChunksAndGoesOn) {
    std::string stream;
    for (int i = 0; i < 17 * 512; ++i) stream.push_back(static_cast<char>('A' + i % 26));
    for (bool tail : {true, false}) {
        SCOPED_TRACE(tail);
        const std::uint64_t t0 = os::virt::Now();
        modem.At(t0, stream);  // taken 512 at a time, one read per 500 ms
        if (tail) modem.At(t0 + 9000, "tail\r\nOK\r\n");  // fits after two dropped chunks
        const std::size_t linesBefore = os::virt::TraceLines().size();
        const Outcome o = RunReceive(vantor::WaitOk);
        EXPECT_EQ(o.result, tail ? 1 : 0);
        EXPECT_EQ(o.answer, stream.substr(0, 15 * 512) + (tail ? "tail\r\nOK\r\n" : ""));
        // Reads at 500 .. 8500 take the stream, the one at 9000 the tail;
        // without it, silence from 8500 ends the wait at 10000.
        EXPECT_EQ(o.took, tail ? 9000u : 10000u);
        int atLimit = 0;
        for (std::size_t i = linesBefore; i < os::virt::TraceLines().size(); ++i)
            if (os::virt::TraceLines()[i] == "Receive length =7680\n") ++atLimit;
        EXPECT_EQ(atLimit, 3);  // the 15th chunk's line, then one per dropped chunk
    }
}

// --- IsAnswerComplete ---

TEST(IsAnswerComplete, PatternsOfEachMode) {
    const struct {
        const char* text;
        std::int32_t mode;
        int complete;
    } cases[] = {
        {"\r\nOK\r\n", 0, 1},
        {"AT\r\r\n+CMGF: 1\r\n\r\nOK\r\nRING", 0, 1},
        {"\r\nOK\r", 0, 0},
        {"\r\nok\r\n", 0, 0},
        {"\r\nOK\n", 0, 0},
        {"\r\nERROR\r\n", 0, 0},
        {"", 0, 0},
        {"\r\n> ", 1, 1},
        {">", 1, 1},
        {"\r\nOK\r\n", 1, 0},
        {"\r\n+CMGS: 12\r\n\r\nOK\r\n", 2, 1},
        {"\r\nOK\r\n+CMGS: 12\r\n", 2, 1},  // either order
        {"\r\nOK\r\n", 2, 0},
        {"\r\n+CMGS: 12\r\n", 2, 0},
        {"\r\n+CMS ERROR: 304\r\n", 2, 0},
        {"x", 255, 1},
        {"\r\n> +CMGS: 1\r\nOK\r\n", 3, 0},
        {"\r\n> +CMGS: 1\r\nOK\r\n", -1, 0},
        {"\r\n> +CMGS: 1\r\nOK\r\n", 254, 0},
        {"\r\n> +CMGS: 1\r\nOK\r\n", 256, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.text) + " mode " + std::to_string(k.mode));
        EXPECT_EQ(CGsmModem::IsAnswerComplete(k.text, 0, k.mode), k.complete);
    }
    for (std::int32_t mode : {0, 1, 2, 255}) EXPECT_EQ(CGsmModem::IsAnswerComplete(nullptr, 5, mode), 0);
    const char hidden[] = "\r\n\0\r\nOK\r\n> +CMGS";
    EXPECT_EQ(CGsmModem::IsAnswerComplete(hidden, sizeof hidden - 1, 0), 0);
    EXPECT_EQ(CGsmModem::IsAnswerComplete(hidden, sizeof hidden - 1, 1), 0);
}

// --- every answer in chunks of 1..8 bytes ---

struct ChunkedCase {
    const char* name;
    std::string answer;
    std::int32_t mode;  // for LinklevelReceive; Exchange always waits for OK
    int exchangeResult;
    int receiveResult;
    std::size_t receiveNeeds = 0;  // bytes LinklevelReceive needs to complete, 0: all
};

const ChunkedCase kChunkedCases[] = {
    {"Ok", "AT\r\r\nOK\r\n", 0, 1, 1},
    {"Settings", "AT+CSCA?\r\r\n+CSCA: \"+8613800100500\",145\r\n\r\nOK\r\n", 0, 1, 1},
    {"Error", "AT+CMGD=9\r\r\n+CMS ERROR: 321\r\n", 0, 0, 0},
    {"Prompt", "AT+CMGS=18\r\r\n> ", 1, 0, 1, 14},  // done at '>', before the blank
    {"SendResult", "\x1A\r\n+CMGS: 42\r\n\r\nOK\r\n", 2, 1, 1},
    {"OkWithoutResult", "\x1A\r\nOK\r\n", 2, 1, 0},
};

class ChunkedAnswerTest : public ExchangeTest,
                          public ::testing::WithParamInterface<std::tuple<std::size_t, int>> {};

TEST_P(ChunkedAnswerTest, CompletesExactlyAsWhole) {
    const std::size_t chunk = std::get<0>(GetParam());
    const ChunkedCase& k = kChunkedCases[std::get<1>(GetParam())];
    SCOPED_TRACE(k.name);

    // Exchange: pieces 3 ms apart, several pieces per 10 ms pass or one.
    modem.SetChunking(chunk, 3);
    modem.OnWrite("\r", k.answer, 5);
    Outcome o = RunExchange("AT\r");
    EXPECT_EQ(o.result, k.exchangeResult);
    EXPECT_EQ(o.answer, k.answer);
    // Ends 10 ms after the pass that found the final piece, or by silence
    // 1020 ms after that pass.
    const std::size_t pieces = (k.answer.size() + chunk - 1) / chunk;
    const std::uint64_t lastPiece = 5 + 3 * (pieces - 1);
    const std::uint64_t lastPass = std::max<std::uint64_t>(10, (lastPiece + 9) / 10 * 10);
    EXPECT_EQ(o.took, lastPass + (k.exchangeResult ? 10 : 1020));

    // LinklevelReceive: pieces 300 ms apart, so they straddle its 500 ms reads.
    // It ends at the read that brings the last byte it needs, with every piece
    // released by then, or by silence 1500 ms after the last read.
    modem.SetChunking(chunk, 300);
    const std::uint64_t t0 = os::virt::Now();
    modem.At(t0, k.answer);
    o = RunReceive(k.mode);
    const std::size_t needs = k.receiveNeeds ? k.receiveNeeds : k.answer.size();
    const std::uint64_t needed = 300 * ((needs - 1) / chunk);
    const std::uint64_t lastRead = std::max<std::uint64_t>(500, (needed + 499) / 500 * 500);
    const std::size_t released = std::min(k.answer.size(), (lastRead / 300 + 1) * chunk);
    EXPECT_EQ(o.result, k.receiveResult);
    EXPECT_EQ(o.answer, k.answer.substr(0, released));
    EXPECT_EQ(o.took, lastRead + (k.receiveResult ? 0 : 1500));
}

INSTANTIATE_TEST_SUITE_P(EverySplit, ChunkedAnswerTest,
                         ::testing::Combine(::testing::Range<std::size_t>(1, 9),
                                            ::testing::Range(0, static_cast<int>(std::size(kChunkedCases)))),
                         [](const auto& info) {
                             return std::string(kChunkedCases[std::get<1>(info.param)].name) + "_by" +
                                    std::to_string(std::get<0>(info.param));
                         });

}  // namespace
