// The write cycle against a scripted modem: settings and deletion commands,
// both listing modes, the send with its attempts, and the stored settings.
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"

namespace vantor::test {
namespace {

class WriteCycleTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        DeliveryReportsOff();
    }
};

void FillPair(Slot* header, Slot* text, int slots, const char* mark) {
    for (int i = 0; i < slots; ++i) {
        std::snprintf(header[i], kSlotSize, "%s header %d", mark, i);
        std::snprintf(text[i], kSlotSize, "%s text %d", mark, i);
    }
}

bool PairEmpty(const Slot* header, const Slot* text, int slots) {
    for (int i = 0; i < slots; ++i)
        if (header[i][0] != '\0' || text[i][0] != '\0') return false;
    return true;
}

// --- commands -------------------------------------------------------------

TEST_F(WriteCycleTest, CommandWritesSucceedWhenTheModemSaysOk) {
    struct Case { std::int16_t kind; std::uint32_t value; const char* text; const char* request; };
    const Case cases[] = {
        {kCMGF, 1, nullptr, "AT+CMGF=1\r\n"},
        {kCMGF, 0, nullptr, "AT+CMGF=0\r\n"},
        {kCSCA, 0, "\"+8613800100500\",145", "AT+CSCA=\"+8613800100500\",145\r\n"},
        {kCMGD, 5, nullptr, "AT+CMGD=  5\r\n"},
    };
    for (const Case& c : cases) {
        ScriptedPeer far;
        far.SetEcho(true);
        far.OnWrite("\r", "\r\nOK\r\n", 20);
        OpenWith(far);
        PacketBuilder p(c.kind, true);
        if (c.text != nullptr) p.Text(c.text);
        else p.Value(kType2, c.value);
        EXPECT_EQ(Run(p), 1) << c.request;
        EXPECT_EQ(far.Written(), c.request);
        EXPECT_EQ(p.Item(0).quality, 0);  // a write delivers nothing
        Unplug();
    }
    EXPECT_EQ(modem.MsgFormat, 0);
}

TEST_F(WriteCycleTest, DeletingMessageZeroSendsNothing) {
    Open();
    PacketBuilder p(kCMGD, true);
    p.Value(kType2, 0);
    EXPECT_EQ(Run(p), 1);
    EXPECT_EQ(peer.Written(), "");
}

TEST_F(WriteCycleTest, FailedDeletionIsTraced) {
    Open();
    peer.OnWrite("AT+CMGD=", "\r\n+CMS ERROR: 321\r\n", 20);
    PacketBuilder p(kCMGD, true);
    p.Value(kType2, 17);
    EXPECT_EQ(Run(p), 0);
    EXPECT_EQ(peer.Written(), "AT+CMGD= 17\r\n");
    EXPECT_TRUE(Traced("No 17 SMS Delete Failure!\n"));
}

TEST_F(WriteCycleTest, CscaTextWithLineControlIsNeverSent) {
    Open();
    for (const char* text :
         {"+8613800100500\r\nAT+CMGD=1", "\x1A", "12\x1B", "+8613800100500\";+CMGD=1;\""}) {
        PacketBuilder p(kCSCA, true);
        p.Text(text);
        EXPECT_EQ(Run(p), 0);
    }
    EXPECT_EQ(peer.Written(), "");
}

TEST_F(WriteCycleTest, FailingLinkBlocksCommandsButNotTextModeListing) {
    Open();
    modem.ErrCount = 1;
    PacketBuilder format(kCMGF, true);
    format.Value(kType2, 1);
    EXPECT_EQ(Run(format), 0);
    EXPECT_EQ(modem.MsgFormat, 0);  // nothing built, nothing changed
    PacketBuilder unread(kNEW, true);
    unread.Value(kType1, 0);
    EXPECT_EQ(Run(unread), 0);  // PDU mode goes through BuildRequest
    EXPECT_EQ(peer.Written(), "");

    // Text mode lists without BuildRequest: it goes to the modem (which is
    // silent here, so the listing fails).
    modem.MsgFormat = 1;
    EXPECT_EQ(Run(unread), 0);
    EXPECT_EQ(peer.Written(), "AT+CSDH=1\r\n");
}

// --- listing --------------------------------------------------------------

TEST_F(WriteCycleTest, FormatChangesOnlyWhenTheModemTakesIt) {
    Open();
    peer.SetEcho(true);
    peer.OnWrite("AT+CMGF=1\r", "\r\nERROR\r\n", 20);
    peer.OnWrite("AT+CMGF=1\r", "\r\nOK\r\n", 20);
    PacketBuilder format(kCMGF, true);
    format.Value(kType2, 1);
    EXPECT_EQ(Run(format), 0);
    EXPECT_EQ(modem.MsgFormat, 0);  // refused: still PDU mode
    EXPECT_EQ(Run(format), 1);
    EXPECT_EQ(modem.MsgFormat, 1);
}

// A port that keeps reporting queued bytes but never yields one.
class StuckPeer final : public os::virt::Peer {
public:
    void Receive(const std::uint8_t*, std::size_t, std::uint64_t) override {}
    std::size_t Pending(std::uint64_t) override { return 5; }
    std::size_t Take(std::uint8_t*, std::size_t, std::uint64_t) override { return 0; }
    void Purge(std::uint64_t) override {}
};

TEST_F(WriteCycleTest, TextListingGivesUpOnAPortThatYieldsNothing) {
    StuckPeer stuck;
    OpenWith(stuck);
    modem.MsgFormat = 1;
    PacketBuilder unread(kNEW, true);
    const std::uint64_t start = Now();
    EXPECT_EQ(Run(unread), 0);
    EXPECT_LT(Now() - start, 1000u);
    Unplug();
}

// A SIM that pauses between the entries of a listing, with a host reply
// time-out of 250 ms: the listing waits out the modem's pauses (a second of
// quiet, as the modem has always been given in text mode) and lists every
// entry. Given up between two entries, it would leave entries the modem has
// already marked read unseen by the unread listing.
TEST_F(WriteCycleTest, ListingWaitsForASlowSim) {
    const std::string pdu = "0004039121F300005021801231542305C8329BFD06";  // "Hello"
    const struct Case {
        std::int32_t format;
        std::string first, second, body;
    } cases[] = {
        {1, "+CMGL: 1,\"REC UNREAD\",\"+8613900000000\",,\"25/12/08,21:14:00+32\",145,5\r\nALARM\r\n",
         "+CMGL: 2,\"REC UNREAD\",\"+8613900000000\",,\"25/12/08,21:14:00+32\",145,5\r\nPUMPS\r\n", "PUMPS"},
        {0, "+CMGL: 1,0,,20\r\n" + pdu + "\r\n", "+CMGL: 2,0,,20\r\n" + pdu + "\r\n", "Hello"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        ScriptedPeer sim;
        OpenWith(sim, 250);
        modem.MsgFormat = c.format;
        sim.SetEcho(true);
        sim.OnWrite("AT+CSDH=1", "\r\nOK\r\n", 20);
        sim.OnWrite("AT+CMGL=", "\r\n" + c.first, 20);
        PacketBuilder unread(kNEW, true);
        unread.Value(kType1, 0);
        const std::uint64_t start = Now();
        // The second entry 700 ms after the first, the final OK 700 ms later.
        sim.At(start + 760, c.second);
        sim.At(start + 1460, "\r\nOK\r\n");
        EXPECT_EQ(Run(unread), 1);
        EXPECT_EQ(std::string(modem.MsgNec[1]), c.body);
        EXPECT_EQ(std::string(modem.MsgNew[1]).substr(0, 3), "<2>");
        EXPECT_LT(Now() - start, 1500u);  // taken the moment the OK came
        Unplug();
    }
}

TEST_F(WriteCycleTest, TextListingOnClosedPortFailsAndKeepsTheStores) {
    FillPair(modem.MsgNew, modem.MsgNec, kNewSlots, "before");
    modem.MsgFormat = 1;
    const Registers before = Fields();
    PacketBuilder unread(kNEW, true);
    EXPECT_EQ(Run(unread), 0);
    EXPECT_TRUE(Fields() == before);
}

TEST_F(WriteCycleTest, PduListingNeedsAnItemList) {
    Open();
    PacketBuilder unread(kNEW, true);
    EXPECT_EQ(Run(unread), 0);
    EXPECT_EQ(peer.Written(), "");
}

TEST_F(WriteCycleTest, EmptyPduListingKeepsUnreadAndEmptiesRead) {
    Open();
    peer.SetEcho(true);
    peer.OnWrite("AT+CMGL=", "\r\nOK\r\n", 20, 0);
    FillPair(modem.MsgNew, modem.MsgNec, kNewSlots, "unread");
    FillPair(modem.MsgOld, modem.MsgInf, kOldSlots, "read");

    PacketBuilder unread(kNEW, true);
    unread.Value(kType1, 0);
    EXPECT_EQ(Run(unread), 1);
    EXPECT_EQ(std::string(modem.MsgNew[9]), "unread header 9");
    EXPECT_EQ(std::string(modem.MsgNec[0]), "unread text 0");

    PacketBuilder read(kOLD, true);
    read.Value(kType1, 0);
    EXPECT_EQ(Run(read), 1);
    EXPECT_TRUE(PairEmpty(modem.MsgOld, modem.MsgInf, kOldSlots));
    EXPECT_EQ(peer.Written(), "AT+CMGL=0\r\nAT+CMGL=1\r\n");
}

// A modem that refuses a text-mode listing, says it is in PDU mode and takes
// AT+CMGF=1, yet goes on refusing: text mode is put back and the listing
// tried again once in the host's call, which then fails; never a loop.
TEST_F(WriteCycleTest, ARefusedTextListingIsTriedAgainOnce) {
    Open();
    peer.OnWrite("AT+CMGF=1", "\r\nOK\r\n", 10, 0);
    peer.OnWrite("AT+CSDH=1", "\r\nOK\r\n", 10, 0);
    peer.OnWrite("AT+CMGL=", "\r\nERROR\r\n", 10, 0);
    peer.OnWrite("AT+CMGF?", "\r\n+CMGF: 0\r\n\r\nOK\r\n", 10, 0);
    ASSERT_EQ(Write(kCMGF, 1), 1);
    for (std::int16_t kind : Kinds{kNEW, kOLD}) {
        const std::size_t from = peer.Written().size();
        EXPECT_EQ(Write(kind), 0);
        const std::string written = peer.Written().substr(from);
        EXPECT_EQ(Count(written, "AT+CMGL="), 2u) << written;
        EXPECT_EQ(Count(written, "AT+CMGF?"), 1u) << written;
    }
}

TEST_F(WriteCycleTest, FailedPduListingLeavesBothPairs) {
    Open();
    peer.OnWrite("AT+CMGL=", "\r\nERROR\r\n", 20, 0);
    FillPair(modem.MsgNew, modem.MsgNec, kNewSlots, "unread");
    FillPair(modem.MsgOld, modem.MsgInf, kOldSlots, "read");
    for (std::int16_t kind : Kinds{kNEW, kOLD}) {
        PacketBuilder p(kind, true);
        p.Value(kType1, 0);
        EXPECT_EQ(Run(p), 0);
    }
    EXPECT_EQ(std::string(modem.MsgNew[0]), "unread header 0");
    EXPECT_EQ(std::string(modem.MsgInf[19]), "read text 19");
}

// --- send -----------------------------------------------------------------

struct SendCase {
    std::int32_t format;
    std::uint8_t reSTime;
    int attempts;
};

class SendRetries : public DeviceTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendRetries, SilentModemGetsEveryAttemptAndTheSendFails) {
    const SendCase c = GetParam();
    Open();
    std::strcpy(modem.Tele, "13800138000");
    modem.MsgFormat = c.format;
    modem.ReSTime = c.reSTime;
    PacketBuilder send(kSEND, true);
    send.Value(kType1, 0);  // the value is only a trigger
    EXPECT_EQ(Run(send), 0);
    EXPECT_EQ(modem.SReturn, 2);
    EXPECT_EQ(static_cast<int>(Count(peer.Written(), "AT+CMGS=")), c.attempts);

    // Each failed attempt ends with the ESC that cancels the input; the
    // command's end is awaited for one more prompt window (a modem without
    // echo may still prompt, late), then the pause follows, the last
    // attempt's included.
    const std::uint64_t pause = c.format != 0 ? 500 : 10;
    const std::uint64_t window = (c.format != 0 ? 1000 : 700) + 10;  // and its last 10 ms poll
    const auto& calls = os::virt::PortCalls();
    int cancels = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].function != "WriteFile" || calls[i].text != "\x1B") continue;
        ++cancels;
        std::uint64_t next = Now();
        for (std::size_t j = i + 1; j < calls.size(); ++j)
            if (calls[j].function == "WriteFile") {
                next = calls[j].at;
                break;
            }
        EXPECT_EQ(next - calls[i].at, window + pause) << "after attempt " << cancels;
    }
    EXPECT_EQ(cancels, c.attempts);
    for (int k = 1; k <= c.attempts; ++k)
        EXPECT_TRUE(Traced("<<<<<<<<<<failure time " + std::to_string(k))) << k;
}

INSTANTIATE_TEST_SUITE_P(Modes, SendRetries,
                         ::testing::Values(SendCase{0, 0, 1}, SendCase{0, 1, 1}, SendCase{0, 3, 3},
                                           SendCase{1, 0, 1}, SendCase{1, 3, 3}));

// --- stored settings ------------------------------------------------------

TEST_F(WriteCycleTest, ByteSettingsKeepTheLowByte) {
    struct Case { std::int16_t kind; std::uint8_t CGsmModem::*field; };
    const Case cases[] = {
        {kReSTime, &CGsmModem::ReSTime}, {kSReturn, &CGsmModem::SReturn},
        {kCodeMod, &CGsmModem::CodeMod},
    };
    for (const Case& c : cases) {
        PacketBuilder p(c.kind, true);
        p.Value(kType2, 0x1234);
        EXPECT_EQ(Run(p), 1) << c.kind;
        EXPECT_EQ(modem.*c.field, 0x34) << c.kind;

        PacketBuilder back(c.kind);
        back.Value(kType2, 0);
        ASSERT_EQ(Run(back), 1);
        EXPECT_EQ(back.Item(0).value, 0x34u);
    }
}

TEST_F(WriteCycleTest, EDelayTakesSixteenBitsAndTheLimitFollows) {
    PacketBuilder p(kEDelay, true);
    p.Value(kType8, 0xFFFF005Au);
    EXPECT_EQ(Run(p), 1);
    EXPECT_EQ(modem.EDelay, 90u);
    PacketBuilder back(kEDelay);
    back.Value(kType8, 0xFFFFFFFFu);
    ASSERT_EQ(Run(back), 1);
    EXPECT_EQ(back.Item(0).value, 90u);
}

TEST_F(WriteCycleTest, StoreWritesThatChangeNothing) {
    const Registers before = Fields();
    PacketBuilder noList(kReSTime, true);
    EXPECT_EQ(Run(noList), 0);
    for (std::int16_t kind : Kinds{kTele, kReSTime, kEDelay, kSReturn, kCodeMod}) {
        PacketBuilder noItem(kind, true);
        noItem.Empty();
        EXPECT_EQ(Run(noItem), 1) << kind;
        PacketBuilder oddType(kind, true);  // a type the conversion refuses
        oddType.Value(3, 0x31);
        EXPECT_EQ(Run(oddType), 1) << kind;
    }
    PacketBuilder sendNoItem(kMsgSend, true);
    sendNoItem.Empty();
    EXPECT_EQ(Run(sendNoItem), 0);
    EXPECT_EQ(Fields(), before);
}

TEST_F(WriteCycleTest, TeleTakesAtMostFourteenCharacters) {
    std::strcpy(modem.MsgSend[1], "tail");
    struct Case { const char* text; int result; const char* tele; };
    const Case cases[] = {
        {"13800138000", 1, "13800138000"},
        {"+8613800138000", 1, "+8613800138000"},   // 14: fits
        {"+86138001380001", 0, "+8613800138000"},  // 15: refused, number kept
        {"", 1, ""},
    };
    for (const Case& c : cases) {
        PacketBuilder p(kTele, true);
        p.Text(c.text);
        EXPECT_EQ(Run(p), c.result) << c.text;
        EXPECT_EQ(std::string(modem.Tele), c.tele) << c.text;
        EXPECT_EQ(modem.Tele[kTeleSize - 1], '\0');
    }
    EXPECT_EQ(std::string(modem.MsgSend[0]), "^");
    EXPECT_EQ(std::string(modem.MsgSend[1]), "tail");
}

TEST_F(WriteCycleTest, MsgSendWritesOnlyTheItemsSlot) {
    PacketBuilder second(kMsgSend, true);
    second.Text("second part", 1);
    EXPECT_EQ(Run(second), 1);
    EXPECT_EQ(std::string(modem.MsgSend[0]), "^");
    EXPECT_EQ(std::string(modem.MsgSend[1]), "second part");

    const std::string longest(255, 'm');  // the longest atom text
    PacketBuilder first(kMsgSend, true);
    first.Text(longest, 0);
    EXPECT_EQ(Run(first), 1);
    EXPECT_EQ(std::string(modem.MsgSend[0]), longest.substr(0, 254));
    EXPECT_EQ(std::string(modem.MsgSend[1]), "second part");

    PacketBuilder empty(kMsgSend, true);
    empty.Value(kTypeText, 0, 0);
    EXPECT_EQ(Run(empty), 1);
    EXPECT_EQ(std::string(modem.MsgSend[0]), "");

    const Registers before = Fields();
    for (std::uint16_t sub : {2, 3, 255, 65535}) {
        PacketBuilder outside(kMsgSend, true);
        outside.Text("spill", sub);
        EXPECT_EQ(Run(outside), 0) << sub;
    }
    EXPECT_EQ(Fields(), before);
}

TEST_F(WriteCycleTest, KindsWithoutWriteBehaviourChangeNothing) {
    Open();
    peer.SetEcho(true);
    const Registers before = Fields();
    for (std::int16_t kind : Kinds{kAT, kMsgNew, kMsgNec, kMsgOld, kMsgInf, 17,
                              -1, 0x7FFF}) {
        PacketBuilder p(kind, true);
        p.Text("x");
        EXPECT_EQ(Run(p), 0) << kind;
    }
    EXPECT_EQ(Fields(), before);
    EXPECT_EQ(peer.Written(), "");
}

}  // namespace
}  // namespace vantor::test
