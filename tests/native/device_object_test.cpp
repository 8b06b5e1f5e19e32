// The device object: initial values as the host reads them, the command
// register test and the slots that do nothing.
#include <string>

#include "device_fixture.h"

namespace vantor::test {
namespace {

using DeviceObject = DeviceTest;

TEST_F(DeviceObject, NewDeviceHoldsItsInitialValues) {
    EXPECT_EQ(modem.ErrCount, 0);
    EXPECT_EQ(modem.MsgFormat, 0);
    EXPECT_EQ(modem.EDelay, 60u);
    EXPECT_EQ(std::string(modem.Tele, sizeof modem.Tele), std::string(14, '0') + '\0');
    EXPECT_EQ(modem.line.PortHandle, os::kInvalidHandle);
}

TEST_F(DeviceObject, NewDeviceDeliversInitialSettingsWithoutTraffic) {
    struct Case { std::int16_t kind; std::uint16_t type; std::uint32_t expected; };
    const Case cases[] = {
        {kEDelay, kType8, 60}, {kCodeMod, kType2, 1}, {kReSTime, kType2, 0}, {kSReturn, kType2, 0},
    };
    for (const Case& c : cases) {
        PacketBuilder p(c.kind);
        p.Value(c.type, 0xAAAAAAAAu);
        ASSERT_EQ(Run(p), 1) << c.kind;
        const std::uint32_t mask = c.type == kType2 ? 0xFFu : 0xFFFFFFFFu;
        EXPECT_EQ(p.Item(0).value & mask, c.expected) << c.kind;
        EXPECT_EQ(p.Item(0).quality, 192) << c.kind;
    }
    PacketBuilder tele(kTele);
    tele.Value(kTypeText, 0);
    ASSERT_EQ(Run(tele), 1);
    EXPECT_EQ(tele.TextOf(0), std::string(14, '0'));
    EXPECT_TRUE(os::virt::PortCalls().empty());
}

TEST_F(DeviceObject, NewDeviceStoresReadAsEmptyMarks) {
    struct Case { std::int16_t kind; std::uint16_t lastSlot; const char* empty; };
    const Case cases[] = {
        {kMsgNew, 9, "^"}, {kMsgNec, 9, "^"}, {kMsgOld, 19, "^"}, {kMsgInf, 19, "^"},
    };
    for (const Case& c : cases) {
        PacketBuilder p(c.kind);
        p.Value(kTypeText, 0, 0).Value(kTypeText, 0, c.lastSlot);
        ASSERT_EQ(Run(p), 1) << c.kind;
        EXPECT_EQ(p.TextOf(0), c.empty) << c.kind;
        EXPECT_EQ(p.TextOf(1), c.empty) << c.kind;
    }
    PacketBuilder send(kMsgSend);
    send.Text("stale", 0).Text("stale", 1);
    ASSERT_EQ(Run(send), 1);
    EXPECT_EQ(send.TextOf(0), "^");
    EXPECT_EQ(send.TextOf(1), "");  // an empty slot, not the mark
    EXPECT_EQ(send.Item(1).quality, 192);
}

TEST(DeviceCommandRegister, OnlyTheFivePlainCommandKinds) {
    for (int kind = -2; kind <= 18; ++kind) {
        const bool command = kind == kCMGF || kind == kCSCA || kind == kCMGD || kind == kNEW ||
                             kind == kOLD;
        EXPECT_EQ(CGsmModem::IsCommandRegister(kind), command ? 1 : 0) << kind;
    }
    EXPECT_EQ(CGsmModem::IsCommandRegister(INT32_MIN), 0);
    EXPECT_EQ(CGsmModem::IsCommandRegister(0x10001), 0);  // kind 1 in the low half only
}

TEST_F(DeviceObject, EmptySlotsReturnFixedResultsAndChangeNothing) {
    const Registers before = Fields();
    CDriverBase& slots = modem;  // reached through the slot table, as the host does
    EXPECT_EQ(slots.Reserved1(1, 2), 1);
    EXPECT_EQ(slots.Reserved2(1, 2, 3, 4), 1);
    EXPECT_EQ(slots.Reserved3(1, 2, 3, 4), 0);
    EXPECT_EQ(slots.Reserved6(1, 2, 3), 0);
    EXPECT_EQ(slots.Reserved10(1, 2, 3), 0);
    EXPECT_EQ(slots.Reserved11(1, 2, 3), 1);
    PacketBuilder p(kTele);
    p.Value(kTypeText, 0);
    std::uint8_t bytes[] = {'1', '2', 0};
    EXPECT_EQ(slots.DeliverRaw(p.Packet(), bytes, 2), 1);
    EXPECT_EQ(p.Item(0).value, 0u);
    EXPECT_EQ(p.Item(0).quality, 0);
    EXPECT_EQ(Fields(), before);
}

TEST_F(DeviceObject, MissingPacketIsRefused) {
    EXPECT_EQ(modem.ProcessPacket(nullptr, 1), 0);
    EXPECT_EQ(modem.ReadCycle(nullptr, 1), 0);
    EXPECT_EQ(modem.WriteCycle(nullptr, 1), 0);
}

}  // namespace
}  // namespace vantor::test
