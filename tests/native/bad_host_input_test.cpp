// Odd records and values a host can hand in: each ends in a clean result,
// never a crash, a read or write past a record (ASan), or a second close of a
// port handle.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "host/register_table.h"
#include "sms/pdu_encode.h"

namespace vantor::test {
namespace {

class BadHostInput : public DeviceTest {};

// --- packets -------------------------------------------------------------

struct PacketCase {
    const char* name;
    std::int16_t kind;
    bool write;
    std::function<void(PacketBuilder&)> items;
    int expected;
};

std::string PrintCase(const ::testing::TestParamInfo<PacketCase>& info) { return info.param.name; }

class BadPacket : public DeviceTest, public ::testing::WithParamInterface<PacketCase> {};

// The device's fields and the modem's line stay untouched by a packet the
// device refuses or has nothing to do for.
TEST_P(BadPacket, GivesCleanResultAndChangesNothing) {
    const PacketCase& c = GetParam();
    Open();
    std::strcpy(modem.MsgNew[9], "last unread slot");
    std::strcpy(modem.MsgOld[19], "last read slot");
    const Registers before = Fields();
    const std::size_t mark = Mark();

    PacketBuilder p(c.kind, c.write);
    c.items(p);
    EXPECT_EQ(Run(p), c.expected);
    EXPECT_EQ(Fields(), before);
    EXPECT_TRUE(CallsSince(mark, "WriteFile").empty());
}

const PacketCase kPacketCases[] = {
    {"ReadWithEmptyList", kMsgNew, false, [](PacketBuilder&) {}, 1},
    {"WriteWithEmptyList", kTele, true, [](PacketBuilder&) {}, 0},
    {"StoreReadNodeWithoutItem", kMsgNew, false, [](PacketBuilder& p) { p.Empty(); }, 0},
    {"ValueReadNodeWithoutItem", kReSTime, false, [](PacketBuilder& p) { p.Empty(); }, 0},
    {"TeleWriteNodeWithoutItem", kTele, true, [](PacketBuilder& p) { p.Empty(); }, 1},
    {"MsgSendWriteNodeWithoutItem", kMsgSend, true, [](PacketBuilder& p) { p.Empty(); }, 0},
    {"StoreReadTypeZero", kMsgNew, false, [](PacketBuilder& p) { p.Value(0, 0, 9); }, 1},
    {"StoreReadTypeThree", kMsgOld, false, [](PacketBuilder& p) { p.Value(3, 0, 19); }, 1},
    {"TeleWriteTypeZero", kTele, true, [](PacketBuilder& p) { p.Value(0, 0x31313131); }, 1},
    {"ReSTimeWriteTypeFFFF", kReSTime, true, [](PacketBuilder& p) { p.Value(0xFFFF, 7); }, 1},
    {"MsgNewSubIndex10", kMsgNew, false, [](PacketBuilder& p) { p.Text("", 10); }, 0},
    {"MsgNecSubIndexFFFF", kMsgNec, false, [](PacketBuilder& p) { p.Text("", 0xFFFF); }, 0},
    {"MsgOldSubIndex20", kMsgOld, false, [](PacketBuilder& p) { p.Text("", 20); }, 0},
    {"MsgInfSubIndex20AfterGoodOne", kMsgInf, false,
     [](PacketBuilder& p) { p.Text("", 0).Text("", 20); }, 0},
    {"MsgSendReadSubIndex2", kMsgSend, false, [](PacketBuilder& p) { p.Text("", 2); }, 0},
    {"MsgSendWriteSubIndex2", kMsgSend, true, [](PacketBuilder& p) { p.Text("x", 2); }, 0},
    {"MsgSendWriteSubIndexFFFF", kMsgSend, true, [](PacketBuilder& p) { p.Text("x", 0xFFFF); }, 0},
    {"TeleOf15Digits", kTele, true, [](PacketBuilder& p) { p.Text("123456789012345"); }, 0},
    {"TeleOf254Digits", kTele, true, [](PacketBuilder& p) { p.Text(std::string(254, '9')); }, 0},
    {"ReadKindMinus1", -1, false, [](PacketBuilder& p) { p.Value(kType2, 0); }, 0},
    {"ReadKind17", 17, false, [](PacketBuilder& p) { p.Value(kType2, 0); }, 0},
    {"WriteKind17", 17, true, [](PacketBuilder& p) { p.Value(kType2, 0); }, 0},
    {"WriteKind32767", 32767, true, [](PacketBuilder& p) { p.Value(kType2, 0); }, 0},
};
INSTANTIATE_TEST_SUITE_P(Host, BadPacket, ::testing::ValuesIn(kPacketCases), PrintCase);

TEST_F(BadHostInput, NullPacketsAndBuffersAreRefused) {
    Open();
    std::uint8_t buffer[kAnswerSize] = {};
    std::int32_t length = 0, second = 0;
    PacketBuilder p(kAT);
    p.Value(kType2, 0);
    EXPECT_EQ(modem.ProcessPacket(nullptr, 0), 0);
    EXPECT_EQ(modem.ProcessPacket(nullptr, 1), 0);
    EXPECT_EQ(modem.ReadCycle(nullptr, 1), 0);
    EXPECT_EQ(modem.WriteCycle(nullptr, 1), 0);
    EXPECT_EQ(modem.BuildRequest(nullptr, buffer, &length, &second, 1), 0);
    EXPECT_EQ(modem.BuildRequest(p.Packet(), nullptr, &length, &second, 1), 0);
    EXPECT_EQ(modem.BuildRequest(p.Packet(), buffer, nullptr, &second, 1), 0);
    EXPECT_EQ(modem.Exchange(nullptr, &length, 0), 0);
    EXPECT_EQ(modem.Exchange(buffer, nullptr, 0), 0);
    EXPECT_EQ(modem.LinklevelReceive(nullptr, &length, WaitOk), 0);
    EXPECT_EQ(modem.LinklevelSend(nullptr, 5), 0);
    EXPECT_EQ(modem.Makecode(nullptr, &length), 0);
    EXPECT_EQ(modem.OpenPort(nullptr), 0);
    EXPECT_TRUE(peer.Written().empty());
}

// A body with Ctrl-Z would end the modem's message input early. Text mode
// refuses it before the modem hears anything; PDU mode carries it as hex, so
// the only Ctrl-Z on the line is the one that ends the PDU.
TEST_F(BadHostInput, MsgSendHoldingCtrlZ) {
    Open();
    std::strcpy(modem.Tele, "10086");
    std::strcpy(modem.MsgSend[0], "pay\x1A" "AT+CMGD=1\r");
    modem.ReSTime = 1;

    modem.MsgFormat = 1;
    PacketBuilder send(kSEND, true);
    send.Value(kType2, 0);
    EXPECT_EQ(Run(send), 0);
    EXPECT_EQ(modem.SReturn, 2);
    EXPECT_TRUE(peer.Written().empty());

    modem.MsgFormat = 0;
    peer.OnWrite("AT+CMGS=", "\r\n> ");
    peer.OnWrite("\x1A", "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(Run(send), 1);
    EXPECT_EQ(Count(peer.Written(), "\x1A"), 1u);
    EXPECT_EQ(peer.Written().back(), '\x1A');
    EXPECT_EQ(Count(peer.Written(), "AT+CMGD"), 0u);
}

// --- numbers and addresses -------------------------------------------------

TEST(BadNumber, DestinationDigitsUpToTwenty) {
    struct Case {
        const char* number;
        int built;
    } cases[] = {
        {"12345678901234567890", 1}, {"+12345678901234567890", 1},
        {"123456789012345678901", 0}, {"+", 0}, {"", 0}, {"12 34", 0}, {"++1", 0},
    };
    for (const Case& c : cases) {
        char pdu[sms::kPduTextSize];
        std::int32_t count = -1;
        EXPECT_EQ(sms::Makecode(c.number, "hi", "", 0, pdu, &count), c.built) << c.number;
        if (c.built == 0) EXPECT_EQ(pdu[0], '\0') << c.number;
        // 20 digits: length octet 14 (hex), ten octets of digits, no filler.
        if (c.built == 1) EXPECT_EQ(std::string(pdu + 6, 2), "14") << pdu;
    }
}

TEST(BadAddress, DeviceAddressesOfAnyLength) {
    CGsmModem device;
    struct Case {
        std::string text;
        int valid;
    } cases[] = {
        {"12345678901234567890", 0},
        {std::string(1000, '9'), 0},
        {std::string(999, '0') + "7", 1},     // 7
        {"65536", 1},                          // wraps to 0 in 16 bits
        {"256", 1}, {"257", 0}, {"-1", 0}, {"1 ", 0}, {"\xB3\xF6", 0},
    };
    for (const Case& c : cases) {
        // In a block of exactly the text's size: nothing past it is read.
        std::unique_ptr<char[]> text(new char[c.text.size() + 1]);
        std::memcpy(text.get(), c.text.c_str(), c.text.size() + 1);
        std::int32_t address = -5;
        EXPECT_EQ(device.CheckDeviceAddress(text.get(), &address), c.valid) << c.text.size();
        if (c.valid) EXPECT_TRUE(address >= 0 && address <= 256);
        else EXPECT_EQ(address, -5);
        if (!c.valid) EXPECT_NE(device.GetErrorText(), nullptr);
    }
}

// --- register names --------------------------------------------------------

struct NameCase {
    const char* label;
    std::string name;  // bytes of the 128-byte field, without terminator when 128 long
    std::uint16_t type;
    std::int16_t invalid;
    std::int32_t error;  // LastErrorCode when invalid
};

TEST(BadRegisterName, LongUnterminatedAndHighByteNames) {
    const NameCase cases[] = {
        {"127 letters", std::string(127, 'A'), kTypeText, 1, 0},
        {"127 bytes, valid index", "MsgOld" + std::string(120, '0') + "1", kTypeText, 0, -1},
        {"127 bytes, index far out", "MsgOld" + std::string(121, '9'), kTypeText, 1, 3},
        {"128 bytes, no terminator", std::string(128, 'A'), kTypeText, 1, 0},
        // No zero byte in the type either: a reader that ran on would leave
        // the record (ASan).
        {"128 bytes running into the type field", std::string(128, 'A'), 0x4141, 1, 0},
        {"128 bytes, valid name then blanks", "Tele" + std::string(124, ' '), kTypeText, 1, 0},
        {"blanks then name, 127 bytes", std::string(123, ' ') + "Tele", kTypeText, 1, 0},
        {"high byte after name", "MsgNew\xB3", kTypeText, 1, 0},
        {"GBK name", "\xC4\xE3\xBA\xC3", kTypeText, 1, 0},
        {"0x80 inside index", "MsgNew1\x80", kTypeText, 1, 0},
        {"type zero", "Tele", 0, 1, 4},
        {"type 0xFFFF", "MsgNew3", 0xFFFF, 0, -1},
        {"empty", "", kTypeText, 1, 0},
    };
    for (const NameCase& c : cases) {
        CGsmModem device;
        // Exactly one record on the heap: a read past it is caught.
        auto query = std::make_unique<RegisterQuery>();
        std::memset(query.get(), 0, sizeof(RegisterQuery));
        ASSERT_LE(c.name.size(), sizeof query->name);
        std::memcpy(query->name, c.name.data(), c.name.size());
        query->dataType = static_cast<std::int16_t>(c.type);
        auto ref = std::make_unique<RegisterRef>();
        std::memset(ref.get(), 0, sizeof(RegisterRef));
        EXPECT_EQ(device.CheckRegister(query.get(), ref.get(), kRegisterTable, kRegisterCount),
                  c.invalid)
            << c.label;
        if (c.invalid) {
            EXPECT_EQ(device.LastErrorCode, c.error) << c.label;
            EXPECT_NE(device.GetErrorText(), nullptr) << c.label;
        }
    }
    CGsmModem device;
    RegisterRef ref{};
    EXPECT_EQ(device.CheckRegister(nullptr, &ref, kRegisterTable, kRegisterCount), 1);
    RegisterQuery query{};
    std::strcpy(query.name, "AT");
    query.dataType = kType2;
    EXPECT_EQ(device.CheckRegister(&query, nullptr, kRegisterTable, kRegisterCount), 1);
    EXPECT_EQ(device.CheckRegister(&query, &ref, nullptr, kRegisterCount), 1);
    EXPECT_EQ(device.CheckRegister(&query, &ref, kRegisterTable, 0), 1);
}

// --- ports and shared handles ----------------------------------------------

TEST_F(BadHostInput, UnterminatedPortNameOpensNothing) {
    os::virt::AddPort(std::string(32, 'C'), &peer);
    PortConfig config{};
    std::memset(config.portName, 'C', sizeof config.portName);
    config.baudRate = 9600;
    config.dataBits = 8;
    const std::size_t mark = Mark();
    EXPECT_EQ(modem.OpenPort(&config), 0);
    EXPECT_TRUE(CallsSince(mark, "CreateFileA").empty());
    EXPECT_EQ(modem.line.PortHandle, os::kInvalidHandle);
    EXPECT_EQ(modem.ClosePort(), 0);
}

// Two devices on one handle, as the host shares a port: whichever closes
// first closes the handle, the other's close is a no-op, and exactly one
// CloseHandle reaches the system. The borrower's close counts like the
// owner's; afterwards the other device's traffic fails cleanly.
class SharedHandle : public DeviceTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SharedHandle, ClosedInEitherOrderExactlyOnce) {
    const bool ownerFirst = GetParam();
    Open();
    CGsmModem borrower;
    borrower.BorrowPort(modem.line.PortHandle);
    const os::Handle shared = modem.line.PortHandle;
    const std::size_t mark = Mark();

    CGsmModem& first = ownerFirst ? modem : borrower;
    CGsmModem& second = ownerFirst ? borrower : modem;
    EXPECT_EQ(first.ClosePort(), 1);
    EXPECT_EQ(os::virt::OpenHandleCount(), 0);

    // The other device still holds the closed value: its link test reports
    // the link down, without touching the handle.
    EXPECT_EQ(second.line.PortHandle, shared);
    PacketBuilder at(kAT);
    at.Value(kType2, 7);
    EXPECT_EQ(second.ProcessPacket(at.Packet(), 1), 1);
    EXPECT_EQ(at.Item(0).value, 0u);
    EXPECT_EQ(second.ErrCount, 1);

    EXPECT_EQ(second.ClosePort(), 1);
    EXPECT_EQ(second.ClosePort(), 0);
    EXPECT_EQ(first.ClosePort(), 0);
    const auto closes = CallsSince(mark, "CloseHandle");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].args.at(0), static_cast<std::uint32_t>(shared));
}
INSTANTIATE_TEST_SUITE_P(Host, SharedHandle, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OwnerFirst" : "BorrowerFirst"; });

// The owner of a shared handle closes it and, before it opens its port again,
// another device opens a second port and gets the freed value. The borrower
// still holding that value must not send or delete through the other modem:
// its calls fail, traced, until the owner's port is open again, and then it
// follows that new opening.
TEST_F(BadHostInput, BorrowerOfAClosedHandleNeverReachesAnotherPort) {
    peer.SetEcho(true);
    peer.OnWrite("AT+CMGD=", "\r\nOK\r\n", 20);
    peer.OnWrite("AT+CMGS=", "\r\n> ", 20);
    peer.OnWrite("\x1A", "\r\n+CMGS: 7\r\n\r\nOK\r\n", 20);
    Open();
    ScriptedPeer other;
    other.SetEcho(true);
    other.OnWrite("AT", "\r\nOK\r\n", 20);
    other.OnWrite("\x1A", "\r\n+CMGS: 9\r\n\r\nOK\r\n", 20);
    os::virt::AddPort("COM2", &other);

    CGsmModem borrower;
    borrower.BorrowPort(modem.line.PortHandle);
    std::strcpy(borrower.Tele, "13800138000");
    const os::Handle shared = modem.line.PortHandle;
    PacketBuilder send(kSEND, true);
    send.Value(kType1, 0);
    PacketBuilder erase(kCMGD, true);
    erase.Value(kType2, 1);

    // The owner's outage: its handle goes, and the next opening (of COM2, by
    // a third device) gets the same value.
    ASSERT_EQ(modem.ClosePort(), 1);
    CGsmModem third;
    PortConfig com2 = MakePortConfig("COM2", 9600, 100);
    ASSERT_EQ(third.OpenPort(&com2), 1);
    ASSERT_EQ(third.line.PortHandle, shared);

    EXPECT_EQ(borrower.ProcessPacket(send.Packet(), 1), 0);
    EXPECT_EQ(borrower.SReturn, 2);
    EXPECT_EQ(borrower.ProcessPacket(erase.Packet(), 1), 0);
    EXPECT_EQ(other.Written(), "");
    EXPECT_TRUE(Traced("Port COM1: its handle was closed by the object that opened it; no I/O "
                       "on it until the port is opened again\n"));

    // The owner's port is back: the borrower follows it.
    PortConfig com1 = MakePortConfig("COM1", 9600, 100);
    ASSERT_EQ(modem.OpenPort(&com1), 1);
    const std::size_t before = peer.Written().size();
    EXPECT_EQ(borrower.ProcessPacket(send.Packet(), 1), 1);
    EXPECT_EQ(borrower.SReturn, 1);
    EXPECT_EQ(borrower.line.PortHandle, modem.line.PortHandle);
    EXPECT_EQ(Count(peer.Written().substr(before), "AT+CMGS="), 1u);
    EXPECT_TRUE(Traced("Port COM1: following its new opening\n"));
    EXPECT_EQ(other.Written(), "");
    third.ClosePort();
}

// A handle the host made up, or one already closed, is never closed by the
// module.
TEST_F(BadHostInput, ForeignHandleIsNotClosed) {
    Open();
    CGsmModem stranger;
    stranger.line.PortHandle = 0x7FFC;
    const std::size_t mark = Mark();
    EXPECT_EQ(stranger.ClosePort(), 1);
    EXPECT_TRUE(CallsSince(mark, "CloseHandle").empty());
    EXPECT_EQ(os::virt::OpenHandleCount(), 1);
}

}  // namespace
}  // namespace vantor::test
