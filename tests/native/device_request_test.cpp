// BuildRequest: the exact bytes of every command, and every refusal.
#include <cstring>
#include <string>

#include "device_fixture.h"

namespace vantor::test {
namespace {

constexpr std::uint8_t kUntouched = 0xEE;

class BuildRequestTest : public DeviceTest {
protected:
    // Runs BuildRequest over a buffer pre-filled with a marker byte, so that
    // anything written past the request shows.
    struct Built {
        int result;
        std::int32_t length;
        std::string bytes;     // the `length` bytes written
        bool tailUntouched;    // nothing written behind them
        std::int32_t second;
    };
    Built Build(PacketBuilder& p) {
        std::memset(buffer, kUntouched, sizeof buffer);
        Built b{};
        b.length = -7;
        b.second = 4321;
        b.result = modem.BuildRequest(p.Packet(), buffer, &b.length, &b.second, 1);
        const std::int32_t n = b.length > 0 ? b.length : 0;
        b.bytes.assign(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
        b.tailUntouched = true;
        for (std::size_t i = static_cast<std::size_t>(n); i < sizeof buffer; ++i)
            if (buffer[i] != kUntouched) b.tailUntouched = false;
        return b;
    }
    std::uint8_t buffer[kAnswerSize];
};

TEST_F(BuildRequestTest, ReadsBuildTheLinkTestAndTheTwoQueries) {
    struct Case { std::int16_t kind; const char* request; };
    const Case cases[] = {
        {kAT, "AT\r\n"}, {kCMGF, "AT+CMGF?\r\n"}, {kCSCA, "AT+CSCA?\r\n"},
    };
    for (const Case& c : cases) {
        PacketBuilder p(c.kind);
        p.Value(kType2, 0);
        const Built b = Build(p);
        EXPECT_EQ(b.result, 1) << c.kind;
        EXPECT_EQ(b.bytes, c.request) << c.kind;
        EXPECT_TRUE(b.tailUntouched) << c.kind;  // no terminating zero of its own
        EXPECT_EQ(b.second, 4321) << c.kind;
    }
}

TEST_F(BuildRequestTest, ReadsOfEveryOtherKindBuildNothing) {
    for (std::int16_t kind : Kinds{kCMGD, kNEW, kMsgNew, kMsgNec, kOLD, kMsgOld, kMsgInf, kSEND, kTele,
                              kMsgSend, kReSTime, kEDelay, kSReturn, kCodeMod, 17,
                              -1}) {
        PacketBuilder p(kind);
        p.Value(kType2, 1);
        const Built b = Build(p);
        EXPECT_EQ(b.result, 0) << kind;
        EXPECT_EQ(b.length, 0) << kind;
        EXPECT_TRUE(b.tailUntouched) << kind;
    }
}

TEST_F(BuildRequestTest, WritesBuildTheirCommands) {
    struct Case { std::int16_t kind; std::uint16_t type; std::uint32_t value; const char* request; };
    const Case cases[] = {
        {kCMGF, kType2, 0, "AT+CMGF=0\r\n"},
        {kCMGF, kType2, 1, "AT+CMGF=1\r\n"},
        {kCMGD, kType2, 0, "AT+CMGD=  0\r\n"},
        {kCMGD, kType2, 5, "AT+CMGD=  5\r\n"},
        {kCMGD, kType2, 42, "AT+CMGD= 42\r\n"},
        {kCMGD, kType2, 255, "AT+CMGD=255\r\n"},
        {kCMGD, kType2, 0xFFFFFF07u, "AT+CMGD=  7\r\n"},  // the low 8 bits only
        {kNEW, kType1, 0, "AT+CMGL=0\r\n"},
        {kNEW, kType1, 99, "AT+CMGL=0\r\n"},  // a trigger: the value is not looked at
        {kOLD, kType1, 0, "AT+CMGL=1\r\n"},
    };
    for (const Case& c : cases) {
        PacketBuilder p(c.kind, true);
        p.Value(c.type, c.value);
        const Built b = Build(p);
        EXPECT_EQ(b.result, 1) << c.request;
        EXPECT_EQ(b.bytes, c.request);
        EXPECT_EQ(b.length, static_cast<std::int32_t>(std::strlen(c.request)));
        EXPECT_TRUE(b.tailUntouched) << c.request;
    }
}

// Building a request changes nothing: the format is the modem's once it has
// taken the command (the write cycle's business).
TEST_F(BuildRequestTest, CmgfWriteBuildLeavesTheFormat) {
    PacketBuilder one(kCMGF, true);
    one.Value(kType2, 1);
    ASSERT_EQ(Build(one).result, 1);
    EXPECT_EQ(modem.MsgFormat, 0);

    modem.MsgFormat = 1;
    PacketBuilder zero(kCMGF, true);
    zero.Value(kType2, 0);
    ASSERT_EQ(Build(zero).result, 1);
    EXPECT_EQ(modem.MsgFormat, 1);
}

TEST_F(BuildRequestTest, CscaWriteSendsTheTextAsWritten) {
    PacketBuilder p(kCSCA, true);
    p.Text("\"+8613800100500\",145");
    const Built b = Build(p);
    EXPECT_EQ(b.result, 1);
    EXPECT_EQ(b.bytes, "AT+CSCA=\"+8613800100500\",145\r\n");

    const std::string longest(254, '7');
    PacketBuilder full(kCSCA, true);
    full.Text(longest);
    EXPECT_EQ(Build(full).bytes, "AT+CSCA=" + longest + "\r\n");
}

TEST_F(BuildRequestTest, CscaTextThatWouldEndTheCommandLineIsRefused) {
    for (const char* text : {"+861380\rAT+CMGD=1", "+8613800\n", "123\x1A", "\x1B" "123"}) {
        PacketBuilder p(kCSCA, true);
        p.Text(text);
        const Built b = Build(p);
        EXPECT_EQ(b.result, 0);
        EXPECT_EQ(b.length, 0);
        EXPECT_TRUE(b.tailUntouched);
    }
}

TEST_F(BuildRequestTest, WritesWithoutCommandBuildNothing) {
    for (std::int16_t kind : Kinds{kAT, kMsgNew, kMsgNec, kMsgOld, kMsgInf, kSEND, kTele, kMsgSend,
                              kReSTime, kEDelay, kSReturn, kCodeMod, 17,
                              -5}) {
        PacketBuilder p(kind, true);
        p.Value(kType2, 1);
        const Built b = Build(p);
        EXPECT_EQ(b.result, 0) << kind;
        EXPECT_EQ(b.length, 0) << kind;
    }
}

TEST_F(BuildRequestTest, MissingPiecesLeaveTheLengthAlone) {
    std::int32_t length = 77;
    std::int32_t second = 0;
    PacketBuilder p(kAT);
    p.Value(kType2, 0);
    EXPECT_EQ(modem.BuildRequest(nullptr, buffer, &length, &second, 1), 0);
    EXPECT_EQ(modem.BuildRequest(p.Packet(), nullptr, &length, &second, 1), 0);
    PacketBuilder empty(kAT);  // no item list, even for the link test
    EXPECT_EQ(modem.BuildRequest(empty.Packet(), buffer, &length, &second, 1), 0);
    EXPECT_EQ(length, 77);
}

TEST_F(BuildRequestTest, WriteWithoutItemOrReadableValueBuildsNothing) {
    for (std::int16_t kind : Kinds{kCMGF, kCSCA, kCMGD, kNEW}) {
        PacketBuilder p(kind, true);
        p.Empty().Value(kType2, 1);
        EXPECT_EQ(Build(p).result, 0) << kind;
    }
    // A type code outside the table gives no value to put in the command.
    PacketBuilder odd(kCMGF, true);
    odd.Value(3, 1);
    EXPECT_EQ(Build(odd).result, 0);
    EXPECT_EQ(modem.MsgFormat, 0);
}

TEST_F(BuildRequestTest, FailingLinkLetsOnlyTheLinkTestThrough) {
    modem.ErrCount = 3;
    PacketBuilder at(kAT);
    at.Value(kType2, 0);
    EXPECT_EQ(Build(at).bytes, "AT\r\n");

    modem.ErrCount = 1;
    PacketBuilder query(kCMGF);
    query.Value(kType2, 0);
    Built b = Build(query);
    EXPECT_EQ(b.result, 0);
    EXPECT_EQ(b.length, 0);

    PacketBuilder format(kCMGF, true);
    format.Value(kType2, 1);
    EXPECT_EQ(Build(format).result, 0);
    EXPECT_EQ(modem.MsgFormat, 0);  // nothing built, nothing changed
}

}  // namespace
}  // namespace vantor::test
