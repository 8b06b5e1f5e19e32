// Reads answered from the device itself: stored settings and the message
// stores, delivered item by item.
#include <cstring>
#include <string>

#include "device_fixture.h"

namespace vantor::test {
namespace {

class DeliverTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        DeliveryReportsOff();
        std::strcpy(modem.MsgNew[4], "header four");
        std::strcpy(modem.MsgNec[9], "body nine");
        std::strcpy(modem.MsgOld[19], "old nineteen");
        std::strcpy(modem.MsgSend[1], "second half");
    }
};

TEST_F(DeliverTest, StoreReadDeliversEachItemsSlotInListOrder) {
    PacketBuilder p(kMsgNew);
    p.Value(kTypeText, 0, 0).Value(kTypeText, 0, 4).Value(kTypeText, 0, 9).Value(kTypeText, 0, 4);
    ASSERT_EQ(Run(p), 1);
    EXPECT_EQ(p.TextOf(0), "^");
    EXPECT_EQ(p.TextOf(1), "header four");
    EXPECT_EQ(p.TextOf(2), "^");
    EXPECT_EQ(p.TextOf(3), "header four");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p.Item(i).quality, 192);

    PacketBuilder send(kMsgSend);
    send.Value(kTypeText, 0, 1);
    ASSERT_EQ(Run(send), 1);
    EXPECT_EQ(send.TextOf(0), "second half");
}

TEST_F(DeliverTest, FullSlotIsDeliveredWithoutReadingPastIt) {
    std::memset(modem.MsgOld[19], 'x', kSlotSize);  // no terminator inside the slot
    std::memset(modem.MsgInf[0], 'y', kSlotSize);
    PacketBuilder p(kMsgOld);
    p.Value(kTypeText, 0, 19);
    ASSERT_EQ(Run(p), 1);
    EXPECT_EQ(p.TextOf(0), std::string(255, 'x'));
}

TEST_F(DeliverTest, SubIndexOutsideTheStoreEndsDeliveryThere) {
    struct Case { std::int16_t kind; std::uint16_t outside; };
    const Case cases[] = {
        {kMsgNew, 10}, {kMsgNec, 10}, {kMsgOld, 20}, {kMsgInf, 20}, {kMsgSend, 2}, {kMsgSend, 65535},
    };
    for (const Case& c : cases) {
        PacketBuilder p(c.kind);
        p.Value(kTypeText, 0, 0).Value(kTypeText, 0, c.outside).Value(kTypeText, 0, 1);
        EXPECT_EQ(Run(p), 0) << c.kind;
        EXPECT_EQ(p.Item(0).quality, 192) << c.kind;  // delivered before the bad item
        EXPECT_EQ(p.Item(1).quality, 0) << c.kind;
        EXPECT_EQ(p.Item(1).value, 0u) << c.kind;
        EXPECT_EQ(p.Item(2).quality, 0) << c.kind;  // nothing after it either
    }
}

TEST_F(DeliverTest, NodeWithoutItemEndsDelivery) {
    PacketBuilder store(kMsgNec);
    store.Value(kTypeText, 0, 9).Empty().Value(kTypeText, 0, 0);
    EXPECT_EQ(Run(store), 0);
    EXPECT_EQ(store.TextOf(0), "body nine");
    EXPECT_EQ(store.Item(1).quality, 0);

    PacketBuilder single(kEDelay);
    single.Empty().Value(kType8, 0);
    EXPECT_EQ(Run(single), 0);
    EXPECT_EQ(single.Item(0).quality, 0);
}

TEST_F(DeliverTest, SingleValueGoesToTheFirstItemOnly) {
    PacketBuilder p(kEDelay);
    p.Value(kType8, 0).Value(kType8, 0);
    ASSERT_EQ(Run(p), 1);
    EXPECT_EQ(p.Item(0).value, 60u);
    EXPECT_EQ(p.Item(1).value, 0u);
    EXPECT_EQ(p.Item(1).quality, 0);
}

TEST_F(DeliverTest, EmptyListsAreDeliveredTrivially) {
    for (std::int16_t kind : Kinds{kTele, kReSTime, kEDelay, kMsgNew, kMsgSend}) {
        PacketBuilder p(kind);
        EXPECT_EQ(Run(p), 1) << kind;
    }
}

TEST_F(DeliverTest, DeliveryFlagZeroLeavesEveryItemUnchanged) {
    PacketBuilder store(kMsgNew);
    store.Value(kTypeText, 7, 4).Value(kTypeText, 7, 0);
    PacketBuilder tele(kTele);
    tele.Value(kTypeText, 7);
    PacketBuilder delay(kEDelay);
    delay.Value(kType8, 7);
    for (PacketBuilder* p : {&store, &tele, &delay}) {
        EXPECT_EQ(Run(*p, 0), 1);
        EXPECT_EQ(p->Item(0).value, 7u);
        EXPECT_EQ(p->Item(0).quality, 0);
        EXPECT_EQ(p->Item(0).timeStamp.dwLowDateTime, 0u);
        EXPECT_EQ(p->Item(0).timeStamp.dwHighDateTime, 0u);
    }
}

TEST_F(DeliverTest, KindsWithoutReadableValueFail) {
    for (std::int16_t kind : Kinds{kCMGD, kNEW, kOLD, kSEND, 17, -1}) {
        PacketBuilder p(kind);
        p.Value(kType1, 5);
        EXPECT_EQ(Run(p), 0) << kind;
        EXPECT_EQ(p.Item(0).value, 5u) << kind;
        EXPECT_EQ(p.Item(0).quality, 0) << kind;
    }
    EXPECT_TRUE(os::virt::PortCalls().empty());
}

TEST_F(DeliverTest, DeliverRefusesMissingPiecesAndSkipsWritePackets) {
    std::uint8_t value[8] = {1};
    PacketBuilder p(kReSTime);
    p.Value(kType2, 9);
    EXPECT_EQ(modem.Deliver(nullptr, value, 1, 1), 0);
    EXPECT_EQ(modem.Deliver(p.Packet(), nullptr, 1, 1), 0);

    PacketBuilder write(kReSTime, true);
    write.Value(kType2, 9);
    EXPECT_EQ(modem.Deliver(write.Packet(), value, 1, 1), 1);
    EXPECT_EQ(write.Item(0).value, 9u);
    EXPECT_EQ(write.Item(0).quality, 0);

    // Only the value 1 marks a write for delivery.
    PacketBuilder other(kReSTime);
    other.Value(kType2, 9);
    other.Packet()->writeFlag = 2;
    EXPECT_EQ(modem.Deliver(other.Packet(), value, 1, 1), 1);
    EXPECT_EQ(other.Item(0).value, 1u);
    EXPECT_EQ(other.Item(0).quality, 192);
}

}  // namespace
}  // namespace vantor::test
