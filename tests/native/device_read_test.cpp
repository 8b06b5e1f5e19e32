// The read cycle against a scripted modem: the link test with its back-off
// and reconnect, the two settings queries, and the link-error gate.
#include <string>
#include <vector>

#include "device_fixture.h"

namespace vantor::test {
namespace {

class ReadCycleTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        DeliveryReportsOff();
    }
};

std::vector<std::string> ErrCountTraces() {
    std::vector<std::string> lines;
    for (const std::string& line : os::virt::TraceLines())
        if (line.rfind("ErrCount: ", 0) == 0) lines.push_back(line);
    return lines;
}

// One read of AT, with what it did.
struct LinkRead {
    int result;
    std::uint64_t start;
    std::uint64_t duration;
    std::size_t firstCall;  // index into PortCalls
    std::size_t calls;
};

class LinkTestBackOff : public DeviceTest, public ::testing::WithParamInterface<std::uint32_t> {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        DeliveryReportsOff();
    }
    LinkRead ReadAt(PacketBuilder& at) {
        at.Item(0).value = 0xAAAAAAAAu;
        at.Item(0).quality = 0;
        LinkRead r{};
        r.firstCall = Mark();
        r.start = Now();
        r.result = Run(at);
        r.duration = Now() - r.start;
        r.calls = Mark() - r.firstCall;
        return r;
    }
};

TEST_P(LinkTestBackOff, SilentModemIsTestedFiveTimesThenSkippedUntilTheLimit) {
    modem.EDelay = GetParam();
    const std::uint32_t limit = GetParam() / 30 + 8;
    const std::uint32_t skipped = limit - 4;
    Open();
    PacketBuilder at(kAT);
    at.Value(kType2, 0);

    std::vector<LinkRead> reads;
    for (int i = 1; i <= 5; ++i) {
        const LinkRead r = ReadAt(at);
        reads.push_back(r);
        EXPECT_EQ(r.result, 1) << "read " << i;  // a failed test is a delivered 0
        EXPECT_EQ(at.Item(0).value, 0xAAAAAA00u) << "read " << i;
        EXPECT_EQ(at.Item(0).quality, 192) << "read " << i;
        const auto writes = CallsSince(r.firstCall, "WriteFile");
        ASSERT_EQ(writes.size(), 1u) << "read " << i;
        EXPECT_EQ(writes[0].text, "AT\r\n");
        EXPECT_EQ(modem.ErrCount, i);
    }
    // Reads 1 to 4 only wait for the answer; the fifth adds 200 ms, the
    // reconnect's 300 ms pause and 1000 ms.
    for (int i = 1; i < 4; ++i) EXPECT_EQ(reads[i].duration, reads[0].duration);
    EXPECT_EQ(reads[4].duration, reads[3].duration + 1500);
    EXPECT_EQ(CallsSince(reads[0].firstCall, "CloseHandle").size(), 1u);  // the fifth read's
    const auto closes = CallsSince(reads[4].firstCall, "CloseHandle");
    const auto opens = CallsSince(reads[4].firstCall, "CreateFileA");
    ASSERT_EQ(closes.size(), 1u);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text, "//./COM1");
    EXPECT_EQ(closes[0].at, reads[4].start + reads[3].duration + 200);
    EXPECT_EQ(opens[0].at, closes[0].at + 300);
    EXPECT_EQ(reads[4].start + reads[4].duration, opens[0].at + 1000);
    EXPECT_NE(modem.line.PortHandle, os::kInvalidHandle);

    for (std::uint32_t i = 0; i < skipped; ++i) {
        const LinkRead r = ReadAt(at);
        EXPECT_EQ(r.result, 0) << "skipped read " << i + 1;
        EXPECT_EQ(r.calls, 0u) << "skipped read " << i + 1;
        EXPECT_EQ(r.duration, 0u);
        EXPECT_EQ(at.Item(0).quality, 0);  // nothing delivered
    }
    EXPECT_EQ(modem.ErrCount, 0);

    const LinkRead again = ReadAt(at);
    EXPECT_EQ(again.result, 1);
    EXPECT_EQ(CallsSince(again.firstCall, "WriteFile").size(), 1u);
    EXPECT_EQ(modem.ErrCount, 1);

    // One trace line per failed or skipped test, counting up to the limit + 1.
    const auto traces = ErrCountTraces();
    ASSERT_EQ(traces.size(), limit + 2);
    for (std::uint32_t i = 0; i <= limit; ++i)
        EXPECT_EQ(traces[i], "ErrCount: " + std::to_string(i + 1) + "\n");
    EXPECT_EQ(traces.back(), "ErrCount: 1\n");
}

INSTANTIATE_TEST_SUITE_P(EDelay, LinkTestBackOff, ::testing::Values(60u, 0u, 29u, 90u));

TEST_F(ReadCycleTest, AnsweredLinkTestResetsTheCounter) {
    Open();
    PacketBuilder at(kAT);
    at.Value(kType2, 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Run(at), 1);
    ASSERT_EQ(modem.ErrCount, 3);

    peer.OnWrite("AT\r", "AT\r\r\nOK\r\n", 20);
    ASSERT_EQ(Run(at), 1);
    EXPECT_EQ(at.Item(0).value & 0xFF, 1u);
    EXPECT_EQ(modem.ErrCount, 0);

    // Counting starts again: four more failures do not reopen the port.
    const std::size_t mark = Mark();
    for (int i = 0; i < 4; ++i) ASSERT_EQ(Run(at), 1);
    EXPECT_EQ(modem.ErrCount, 4);
    EXPECT_TRUE(CallsSince(mark, "CloseHandle").empty());
    ASSERT_EQ(Run(at), 1);
    EXPECT_EQ(CallsSince(mark, "CloseHandle").size(), 1u);
}

TEST_F(ReadCycleTest, LinkTestWithoutDeliveryStillCountsAndReconnects) {
    Open();
    PacketBuilder at(kAT);
    at.Value(kType2, 0x55);
    for (int i = 1; i <= 5; ++i) {
        const std::size_t mark = Mark();
        EXPECT_EQ(Run(at, 0), 1);
        EXPECT_EQ(CallsSince(mark, "WriteFile").size(), 1u);
        EXPECT_EQ(modem.ErrCount, i);
    }
    EXPECT_EQ(CallsSince(0, "CloseHandle").size(), 1u);
    EXPECT_EQ(at.Item(0).value, 0x55u);
    EXPECT_EQ(at.Item(0).quality, 0);
    EXPECT_EQ(Run(at, 0), 0);  // skipped
}

TEST_F(ReadCycleTest, LinkTestWithEmptyListSendsNothing) {
    Open();
    PacketBuilder at(kAT);
    const std::size_t mark = Mark();
    EXPECT_EQ(Run(at), 0);
    EXPECT_TRUE(CallsSince(mark, "WriteFile").empty());
    EXPECT_EQ(modem.ErrCount, 0);
}

TEST_F(ReadCycleTest, FormatQueryParsesTheModemsAnswer) {
    struct Case { const char* answer; int result; std::uint8_t value; std::int32_t format; };
    const Case cases[] = {
        {"\r\n+CMGF: 1\r\n\r\nOK\r\n", 1, 1, 1},
        {"\r\n+CMGF:0\r\n\r\nOK\r\n", 1, 0, 0},
        {"\r\n+CMGF:   1\r\nOK\r\n", 1, 1, 1},
        {"\r\nOK\r\n", 0, 0xAA, 5},             // no marker: nothing delivered
        {"\r\n+CMGF: 1\r\n\r\nERROR\r\n", 0, 0xAA, 5},  // never completes
    };
    for (const Case& c : cases) {
        ScriptedPeer modemPeer;
        modemPeer.SetEcho(true);
        modemPeer.OnWrite("AT+CMGF?\r", c.answer, 30);
        OpenWith(modemPeer);
        modem.MsgFormat = 5;
        PacketBuilder p(kCMGF);
        p.Value(kType2, 0xAA);
        EXPECT_EQ(Run(p), c.result) << c.answer;
        EXPECT_EQ(p.Item(0).value, c.value) << c.answer;
        EXPECT_EQ(modem.MsgFormat, c.format) << c.answer;
        EXPECT_EQ(modemPeer.Written(), "AT+CMGF?\r\n");
        Unplug();
    }
}

TEST_F(ReadCycleTest, ServiceCentreQueryDeliversTheQuotedNumber) {
    struct Case { const char* answer; int result; const char* number; };
    const Case cases[] = {
        {"\r\n+CSCA: \"+8613800100500\",145\r\n\r\nOK\r\n", 1, "+8613800100500"},
        {"\r\n+CSCA: \"13800100500\",129\r\nOK\r\n", 1, "13800100500"},
        {"\r\n+CSCA: \"+32475161616\",145\r\n\r\nOK\r\n", 1, "+32475161616"},  // recorded
        {"\r\n+CSCA: \"\",129\r\n\r\nOK\r\n", 1, ""},
        {"\r\nOK\r\n", 0, "unchanged"},                               // no marker
        {"\r\n+CSCA: \"+8613800100500,145\r\n\r\nOK\r\n", 0, "unchanged"},  // no closing quote
        {"\r\nOK\r\n+CSCA: ", 0, "unchanged"},                        // ends at the marker
    };
    for (const Case& c : cases) {
        ScriptedPeer modemPeer;
        modemPeer.SetEcho(true);
        modemPeer.OnWrite("AT+CSCA?\r", c.answer, 30);
        OpenWith(modemPeer);
        PacketBuilder p(kCSCA);
        p.Text("unchanged");
        EXPECT_EQ(Run(p), c.result) << c.answer;
        EXPECT_EQ(p.TextOf(0), c.number) << c.answer;
        Unplug();
    }
}

TEST_F(ReadCycleTest, FailingLinkBlocksQueriesButNotStoredValues) {
    Open();
    peer.OnWrite("AT+CMGF?", "\r\n+CMGF: 1\r\n\r\nOK\r\n", 10, 0);
    modem.ErrCount = 2;
    modem.ReSTime = 3;
    const std::size_t mark = Mark();
    PacketBuilder query(kCMGF);
    query.Value(kType2, 0xAA);
    EXPECT_EQ(Run(query), 0);
    EXPECT_EQ(query.Item(0).quality, 0);
    EXPECT_EQ(Mark(), mark);  // not a single port call

    PacketBuilder stored(kReSTime);
    stored.Value(kType2, 0);
    EXPECT_EQ(Run(stored), 1);
    EXPECT_EQ(stored.Item(0).value, 3u);
    EXPECT_EQ(modem.ErrCount, 2);
}

TEST_F(ReadCycleTest, RegistersWithoutReadableValueCauseNoTraffic) {
    Open();
    peer.SetEcho(true);
    const std::size_t mark = Mark();
    for (std::int16_t kind : Kinds{kSEND, kNEW, kOLD, kCMGD}) {
        PacketBuilder p(kind);
        p.Value(kType1, 3);
        EXPECT_EQ(Run(p), 0) << kind;
        EXPECT_EQ(p.Item(0).value, 3u);
        EXPECT_EQ(p.Item(0).quality, 0);
    }
    EXPECT_EQ(Mark(), mark);
}

}  // namespace
}  // namespace vantor::test
