// The serial port of the driver against the virtual serial ports: the exact
// open sequence, line settings, handle ownership, the raw read and write, the
// link test, and the virtual ports themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/gsm_modem.h"
#include "link/port_handles.h"
#include "os/os.h"
#include "os/virt/virt.h"
#include "port_config.h"
#include "scripted_peer.h"

namespace {

using vantor::CGsmModem;
using vantor::PortConfig;
using vantor::test::ScriptedPeer;

// The host's 8N1 configuration, with marks in the bytes the driver only copies.
PortConfig MakeConfig(const char* name, std::int32_t baud = 9600, std::int16_t timeout = 1000) {
    PortConfig c = vantor::test::MakePortConfig(name, baud, timeout);
    for (int i = 0; i < 4; ++i) c.host0[i] = static_cast<std::uint8_t>(0xA0 + i);  // bytes only copied
    c.host48[7] = 0x5A;
    return c;
}

std::vector<os::virt::PortCall> CallsOf(const char* function) {
    std::vector<os::virt::PortCall> out;
    for (const auto& c : os::virt::PortCalls())
        if (c.function == function) out.push_back(c);
    return out;
}

// A port set up the way a plugged-in adapter reports it, with values in the
// fields the driver must not touch that no default would produce.
os::Dcb OddDcb() {
    os::Dcb d{};
    d.DCBlength = sizeof d;
    d.BaudRate = 1200;
    d.Flags = 0x00003215u;  // binary, DTR handshake, RTS toggle, ...
    d.XonLim = 77;
    d.XoffLim = 99;
    d.ByteSize = 7;
    d.Parity = 1;
    d.StopBits = 2;
    d.XonChar = 0x21;
    d.XoffChar = 0x22;
    d.ErrorChar = '?';
    d.EofChar = 0x1A;
    d.EvtChar = '\n';
    return d;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        os::virt::Reset();
        os::virt::SetInitialDcb(OddDcb());
        os::virt::AddPort("COM1", &modem);
        os::virt::AddPort("COM2", &other);
    }
    void TearDown() override {
        device.ClosePort();
        second.ClosePort();
    }

    ScriptedPeer modem;
    ScriptedPeer other;
    CGsmModem device;
    CGsmModem second;
};

TEST_F(SerialPortTest, OpenRunsTheWin32SequenceAndLeavesOtherDcbFieldsAlone) {
    PortConfig c = MakeConfig("COM1", 19200, 2500);
    c.dataBits = 7;
    c.stopBits = 2;
    c.parity = 2;
    ASSERT_EQ(device.OpenPort(&c), 1);

    const auto& calls = os::virt::PortCalls();
    std::vector<std::string> names;
    for (const auto& call : calls) names.push_back(call.function);
    EXPECT_EQ(names, (std::vector<std::string>{"CreateFileA", "SetupComm", "GetCommState",
                                               "SetCommState", "SetCommMask", "PurgeComm",
                                               "SetCommTimeouts"}));
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[0].text, "//./COM1");
    EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{0xC0000000u, 0, 3, 0x80}));
    const auto h = static_cast<std::uint32_t>(device.line.PortHandle);
    EXPECT_EQ(calls[1].args, (std::vector<std::uint32_t>{h, 8192, 512}));
    EXPECT_EQ(calls[4].args, (std::vector<std::uint32_t>{h, 0x42}));
    EXPECT_EQ(calls[5].args, (std::vector<std::uint32_t>{h, 15}));
    EXPECT_EQ(os::virt::PortTimeouts("COM1").ReadIntervalTimeout, 0xFFFFFFFFu);
    const os::CommTimeouts t = os::virt::PortTimeouts("COM1");
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 40u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);

    os::Dcb expected = OddDcb();
    expected.BaudRate = 19200;
    expected.ByteSize = 7;
    expected.Parity = 2;
    expected.StopBits = os::kTwoStopBits;
    const os::Dcb got = os::virt::PortDcb("COM1");
    EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0);

    EXPECT_EQ(device.line.ReplyTimeout, 2500);
    EXPECT_EQ(std::memcmp(&device.line.StoredConfig, &c, sizeof c), 0);
    EXPECT_EQ(os::virt::OpenHandleCount(), 1);
}

TEST_F(SerialPortTest, BaudRateBoundsAreInclusive) {
    const struct {
        std::int32_t baud;
        int opened;
    } cases[] = {{299, 0}, {300, 1}, {57600, 1}, {57601, 0}, {0, 0}, {-9600, 0}, {115200, 0}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.baud);
        os::virt::ClearPortCalls();
        CGsmModem d;
        const PortConfig c = MakeConfig("COM1", k.baud, 700);
        EXPECT_EQ(d.OpenPort(&c), k.opened);
        EXPECT_EQ(std::memcmp(&d.line.StoredConfig, &c, sizeof c), 0);  // copied first, always
        EXPECT_EQ(d.line.ReplyTimeout, k.opened ? 700 : 5000);
        EXPECT_EQ(CallsOf("CreateFileA").size(), k.opened ? 1u : 0u);
        EXPECT_EQ(os::virt::OpenHandleCount(), k.opened);
        if (k.opened) {
            EXPECT_EQ(os::virt::PortDcb("COM1").BaudRate, static_cast<std::uint32_t>(k.baud));
        }
        d.ClosePort();
    }
}

TEST_F(SerialPortTest, StopBitsMapAndParityPassesThrough) {
    const struct {
        std::int16_t stopField;
        std::uint8_t parity;
        std::uint8_t stopBits;
    } cases[] = {{0, 0, 0}, {1, 2, 0}, {2, 1, 2}, {3, 4, 0}, {-1, 3, 0}, {256 + 2, 0, 0}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.stopField);
        PortConfig c = MakeConfig("COM1");
        c.stopBits = k.stopField;
        c.parity = k.parity;
        ASSERT_EQ(device.OpenPort(&c), 1);
        EXPECT_EQ(os::virt::PortDcb("COM1").StopBits, k.stopBits);
        EXPECT_EQ(os::virt::PortDcb("COM1").Parity, k.parity);
        EXPECT_EQ(device.ClosePort(), 1);
    }
}

TEST_F(SerialPortTest, FailedOpenKeepsHandleButTakesConfigurationAndTimeout) {
    const PortConfig first = MakeConfig("COM1", 9600, 1000);
    ASSERT_EQ(device.OpenPort(&first), 1);
    const os::Handle open = device.line.PortHandle;

    // A port that does not exist, and the same port again (held exclusively).
    for (const char* name : {"COM9", "COM1"}) {
        SCOPED_TRACE(name);
        const PortConfig c = MakeConfig(name, 4800, 3000);
        EXPECT_EQ(device.OpenPort(&c), 0);
        EXPECT_EQ(device.line.PortHandle, open);
        EXPECT_EQ(device.line.ReplyTimeout, 3000);
        EXPECT_EQ(std::memcmp(&device.line.StoredConfig, &c, sizeof c), 0);
        EXPECT_EQ(os::virt::OpenHandleCount(), 1);
    }
}

TEST_F(SerialPortTest, RefusedSettingsCloseTheNewHandle) {
    PortConfig c = MakeConfig("COM1");
    c.dataBits = 9;  // no serial port takes nine data bits
    EXPECT_EQ(device.OpenPort(&c), 0);
    EXPECT_EQ(device.line.PortHandle, os::kInvalidHandle);
    EXPECT_EQ(os::virt::OpenHandleCount(), 0);
    const auto closes = CallsOf("CloseHandle");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].result, 1);
    EXPECT_TRUE(CallsOf("SetCommMask").empty());
    EXPECT_FALSE(vantor::port_handles::IsRegistered(static_cast<os::Handle>(closes[0].args[0])));
}

TEST_F(SerialPortTest, UnterminatedPortNameIsRefusedAfterTheCopy) {
    PortConfig c = MakeConfig("COM1", 9600, 1234);
    std::memset(c.portName, 'C', sizeof c.portName);  // no NUL in 32 bytes
    EXPECT_EQ(device.OpenPort(&c), 0);
    EXPECT_TRUE(CallsOf("CreateFileA").empty());
    EXPECT_EQ(device.line.ReplyTimeout, 1234);
    EXPECT_EQ(std::memcmp(&device.line.StoredConfig, &c, sizeof c), 0);

    // 31 characters and the terminator is the longest name that is tried.
    std::memset(c.portName, 'C', sizeof c.portName - 1);
    c.portName[31] = '\0';
    EXPECT_EQ(device.OpenPort(&c), 0);
    const auto opens = CallsOf("CreateFileA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text, "//./" + std::string(31, 'C'));
}

TEST_F(SerialPortTest, NullConfigurationChangesNothing) {
    EXPECT_EQ(device.OpenPort(nullptr), 0);
    EXPECT_EQ(device.line.ReplyTimeout, 5000);
    const PortConfig zero{};
    EXPECT_EQ(std::memcmp(&device.line.StoredConfig, &zero, sizeof zero), 0);
    EXPECT_TRUE(os::virt::PortCalls().empty());
}

TEST_F(SerialPortTest, ReplyTimeoutIsSignExtended) {
    const PortConfig c = MakeConfig("COM1", 9600, -200);
    ASSERT_EQ(device.OpenPort(&c), 1);
    EXPECT_EQ(device.line.ReplyTimeout, -200);
}

TEST_F(SerialPortTest, CloseTwiceClosesOnce) {
    const PortConfig c = MakeConfig("COM1");
    ASSERT_EQ(device.OpenPort(&c), 1);
    EXPECT_EQ(device.ClosePort(), 1);
    EXPECT_EQ(device.line.PortHandle, os::kInvalidHandle);
    EXPECT_EQ(device.ClosePort(), 0);
    EXPECT_EQ(CallsOf("CloseHandle").size(), 1u);
    EXPECT_EQ(os::virt::OpenHandleCount(), 0);
}

// Two device objects on one line: the host copies the handle from the one
// that opened it. Both close; the handle is closed exactly once.
TEST_F(SerialPortTest, SharedHandleIsClosedOnce) {
    for (bool openerFirst : {true, false}) {
        SCOPED_TRACE(openerFirst);
        os::virt::ClearPortCalls();
        const PortConfig c = MakeConfig("COM1");
        ASSERT_EQ(device.OpenPort(&c), 1);
        second.BorrowPort(device.line.PortHandle);
        CGsmModem& a = openerFirst ? device : second;
        CGsmModem& b = openerFirst ? second : device;
        EXPECT_EQ(a.ClosePort(), 1);
        EXPECT_EQ(b.ClosePort(), 1);
        const auto closes = CallsOf("CloseHandle");
        ASSERT_EQ(closes.size(), 1u);
        EXPECT_EQ(closes[0].result, 1);
        EXPECT_EQ(os::virt::OpenHandleCount(), 0);
        // The port can be opened again by anyone.
        ASSERT_EQ(second.OpenPort(&c), 1);
        EXPECT_EQ(second.ClosePort(), 1);
    }
}

// The system hands a closed handle's value out again. After an outage the
// owner reopens and gets the value the borrower still holds: the borrower's
// close (its link test's reconnect, or the host's ClosePort) must leave the
// owner's new handle open.
TEST_F(SerialPortTest, BorrowerNeverClosesANewerHandleWithItsValue) {
    const PortConfig c = MakeConfig("COM1");
    ASSERT_EQ(device.OpenPort(&c), 1);
    second.BorrowPort(device.line.PortHandle);
    const os::Handle borrowed = second.line.PortHandle;

    EXPECT_EQ(device.ReconnectPort(), 1);
    ASSERT_EQ(device.line.PortHandle, borrowed);  // the same value, a new opening
    os::virt::ClearPortCalls();

    EXPECT_EQ(second.ReconnectPort(), 0);  // COM1 is the owner's: it cannot open it
    EXPECT_EQ(second.ClosePort(), 0);
    EXPECT_TRUE(CallsOf("CloseHandle").empty());
    EXPECT_EQ(os::virt::OpenHandleCount(), 1);
    EXPECT_EQ(device.ClosePort(), 1);
    ASSERT_EQ(CallsOf("CloseHandle").size(), 1u);
    EXPECT_EQ(os::virt::OpenHandleCount(), 0);
}

TEST_F(SerialPortTest, ForeignHandlesAreNeverClosed) {
    // A handle some other code opened on COM2, and a value the host made up.
    const os::Handle foreign = os::CreateFileA("//./COM2", os::kGenericRead | os::kGenericWrite, 0,
                                               os::kOpenExisting, os::kFileAttributeNormal);
    ASSERT_NE(foreign, os::kInvalidHandle);
    for (os::Handle h : {foreign, os::Handle{0x7777}}) {
        device.line.PortHandle = h;
        EXPECT_EQ(device.ClosePort(), 1);
        EXPECT_EQ(device.line.PortHandle, os::kInvalidHandle);
    }
    EXPECT_TRUE(CallsOf("CloseHandle").empty());
    EXPECT_EQ(os::virt::OpenHandleCount(), 1);
    os::CloseHandle(foreign);
}

TEST_F(SerialPortTest, ReconnectClosesWaitsAndReopens) {
    const PortConfig c = MakeConfig("COM1", 4800, 900);
    ASSERT_EQ(device.OpenPort(&c), 1);
    os::virt::ClearPortCalls();
    const std::uint64_t t0 = os::virt::Now();
    EXPECT_EQ(device.ReconnectPort(), 1);
    const auto& calls = os::virt::PortCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "CloseHandle");
    EXPECT_EQ(calls[0].at, t0);
    EXPECT_EQ(calls[1].function, "CreateFileA");
    EXPECT_EQ(calls[1].at, t0 + 300);
    EXPECT_EQ(os::virt::PortDcb("COM1").BaudRate, 4800u);
    EXPECT_EQ(os::virt::OpenHandleCount(), 1);
    EXPECT_EQ(device.line.ReplyTimeout, 900);

    // The adapter is gone: the port stays closed.
    os::virt::RemovePort("COM1");
    EXPECT_EQ(device.ReconnectPort(), 0);
    EXPECT_EQ(device.line.PortHandle, os::kInvalidHandle);
    EXPECT_EQ(os::virt::OpenHandleCount(), 0);
    EXPECT_EQ(os::virt::Now(), t0 + 600);
}

TEST_F(SerialPortTest, ReadTakesAtMost512AndLeavesTheRestQueued) {
    const PortConfig c = MakeConfig("COM1");
    ASSERT_EQ(device.OpenPort(&c), 1);
    std::string sent;
    for (int i = 0; i < 600; ++i) sent.push_back(static_cast<char>('0' + i % 43));
    modem.At(0, sent);

    std::uint8_t buffer[600] = {};
    std::uint32_t count = 99;
    ASSERT_EQ(device.ReadPort(buffer, &count), 1);
    EXPECT_EQ(count, 512u);
    ASSERT_EQ(device.ReadPort(buffer + 512, &count), 1);
    EXPECT_EQ(count, 88u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 600), sent);

    count = 99;
    EXPECT_EQ(device.ReadPort(buffer, &count), 0);  // nothing waiting
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(CallsOf("ReadFile").size(), 2u);

    count = 99;
    EXPECT_EQ(device.ReadPort(nullptr, &count), 0);
    EXPECT_EQ(count, 99u);
}

TEST_F(SerialPortTest, WriteSendsInOneCallAndTraces) {
    const PortConfig c = MakeConfig("COM1");
    ASSERT_EQ(device.OpenPort(&c), 1);
    const std::uint8_t at[] = {'A', 'T', '\r'};
    EXPECT_EQ(device.WritePort(at, 0), 0);
    EXPECT_EQ(device.WritePort(at, -3), 0);
    EXPECT_EQ(device.WritePort(nullptr, 3), 0);
    EXPECT_TRUE(CallsOf("WriteFile").empty());
    EXPECT_TRUE(os::virt::TraceLines().empty());

    EXPECT_EQ(device.WritePort(at, 3), 1);
    EXPECT_EQ(modem.Written(), "AT\r");
    ASSERT_EQ(os::virt::TraceLines().size(), 1u);
    EXPECT_EQ(os::virt::TraceLines()[0], "**********Send nLen=3,nSend=3\n");
}

TEST_F(SerialPortTest, ClosedOrVanishedPortFailsReadAndWrite) {
    const std::uint8_t at[] = {'A', 'T', '\r'};
    std::uint8_t buffer[512];
    std::uint32_t count = 7;
    EXPECT_EQ(device.WritePort(at, 3), 0);
    EXPECT_EQ(device.ReadPort(buffer, &count), 0);
    EXPECT_EQ(count, 0u);

    const PortConfig c = MakeConfig("COM1");
    ASSERT_EQ(device.OpenPort(&c), 1);
    modem.At(0, "OK\r\n");
    os::virt::SetPortBroken("COM1", true);  // a USB adapter pulled out
    EXPECT_EQ(device.WritePort(at, 3), 0);
    EXPECT_EQ(device.ReadPort(buffer, &count), 0);
    EXPECT_EQ(modem.Written(), "");
    os::virt::SetPortBroken("COM1", false);
    EXPECT_EQ(device.ReadPort(buffer, &count), 1);
    EXPECT_EQ(count, 4u);
}

// --- LinkTest ---

class LinkTestTest : public SerialPortTest {
protected:
    void SetUp() override {
        SerialPortTest::SetUp();
        const PortConfig c = MakeConfig("COM1");
        ASSERT_EQ(device.OpenPort(&c), 1);
        os::virt::ClearPortCalls();
        modem.At(0, "stale bytes");  // the purge must drop these
    }
};

TEST_F(LinkTestTest, DisabledDoesNothing) {
    EXPECT_EQ(device.LinkTest(0, 1, 1), 0);
    EXPECT_TRUE(os::virt::PortCalls().empty());
    EXPECT_EQ(os::virt::Now(), 0u);
}

TEST_F(LinkTestTest, SilentModemFailsAfter520Ms) {
    EXPECT_EQ(device.LinkTest(1, 0, 0), 0);
    EXPECT_EQ(os::virt::Now(), 520u);
    EXPECT_EQ(modem.Written(), "AT\r");
    EXPECT_EQ(modem.PurgeCount(), 2u);  // OpenPort's and the link test's
    const auto purges = CallsOf("PurgeComm");
    ASSERT_EQ(purges.size(), 1u);
    EXPECT_EQ(purges[0].args[1], 15u);
    EXPECT_EQ(CallsOf("WriteFile").at(0).at, 20u);
    EXPECT_EQ(CallsOf("ClearCommError").back().at, 520u);
}

TEST_F(LinkTestTest, AnyAnswerPassesAndIsDrained) {
    const struct {
        const char* answer;
        std::uint32_t delay;
        int result;
    } cases[] = {
        {"AT\r\r\nOK\r\n", 40, 1},
        {"\r\nERROR\r\n", 40, 1},
        {"\xFF", 499, 1},         // noise, just in time (written at 20, read at 520)
        {"\r\nOK\r\n", 501, 0},   // too late
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.answer);
        modem.ClearRules();
        modem.OnWrite("AT\r", k.answer, k.delay);
        const std::uint64_t t0 = os::virt::Now();
        EXPECT_EQ(device.LinkTest(1, 0, 0), k.result);
        EXPECT_EQ(os::virt::Now() - t0, 520u);
        if (k.result == 1) {
            EXPECT_EQ(modem.Queued(), 0u);
        }
    }
}

TEST_F(LinkTestTest, LongNoiseIsDrainedBeyond512Bytes) {
    modem.OnWrite("AT\r", std::string(1500, '~'), 10);
    EXPECT_EQ(device.LinkTest(1, 0, 0), 1);
    EXPECT_EQ(modem.Queued(), 0u);
}

TEST_F(LinkTestTest, ClosedPortFails) {
    device.ClosePort();
    EXPECT_EQ(device.LinkTest(1, 0, 0), 0);
    EXPECT_EQ(modem.Written(), "");
}

// --- the virtual serial ports themselves ---

TEST(VirtualSerial, HandlesAreExclusiveAndCloseOnce) {
    os::virt::Reset();
    ScriptedPeer peer;
    os::virt::AddPort("COM3", &peer);
    const auto open = [](const char* path) {
        return os::CreateFileA(path, os::kGenericRead | os::kGenericWrite, 0, os::kOpenExisting,
                               os::kFileAttributeNormal);
    };
    const os::Handle h = open("//./com3");  // device names ignore case
    ASSERT_NE(h, os::kInvalidHandle);
    EXPECT_EQ(open("//./COM3"), os::kInvalidHandle);
    EXPECT_EQ(open("COM3"), os::kInvalidHandle);
    EXPECT_EQ(os::virt::OpenHandleCount(), 1);
    EXPECT_EQ(os::CloseHandle(h), 1);
    EXPECT_EQ(os::CloseHandle(h), 0);
    EXPECT_EQ(os::CloseHandle(0x4242), 0);
    const auto& calls = os::virt::PortCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back().function, "CloseHandle");
    EXPECT_EQ(calls.back().args, (std::vector<std::uint32_t>{0x4242}));
    EXPECT_EQ(calls.back().result, 0);

    // A vanished adapter: the old handle fails until closed, the name can be
    // opened again once the device is back.
    const os::Handle h2 = open("//./COM3");
    os::virt::RemovePort("COM3");
    os::virt::AddPort("COM3", &peer);
    std::uint32_t written = 0;
    EXPECT_EQ(os::WriteFile(h2, "AT", 2, &written), 0);
    const os::Handle h3 = open("//./COM3");
    ASSERT_NE(h3, os::kInvalidHandle);
    EXPECT_EQ(os::WriteFile(h3, "AT", 2, &written), 1);
    EXPECT_EQ(os::virt::OpenHandleCount(), 2);
    EXPECT_EQ(os::CloseHandle(h2), 1);
    EXPECT_EQ(os::CloseHandle(h3), 1);
}

TEST(VirtualSerial, CallLogStaysBoundedInALongSoak) {
    os::virt::Reset();
    ScriptedPeer peer;
    os::virt::AddPort("COM4", &peer);
    const os::Handle h = os::CreateFileA("//./COM4", os::kGenericRead | os::kGenericWrite, 0,
                                         os::kOpenExisting, os::kFileAttributeNormal);
    os::ComStat status{};
    for (int i = 0; i < 100000; ++i) os::ClearCommError(h, nullptr, &status);
    EXPECT_LE(os::virt::PortCalls().size(), 20000u);
    EXPECT_GE(os::virt::PortCalls().size(), 10000u);
    EXPECT_EQ(os::virt::PortCalls().back().function, "ClearCommError");
    os::CloseHandle(h);
}

}  // namespace
