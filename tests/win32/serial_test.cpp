// The serial link through the real Win32 serial calls (Wine) against modemsim,
// the modem model on a Linux pseudo-terminal mapped as COM30 of the prefix:
// open with the line settings, the link test, exchanges, the 512-byte read
// limit, reconnection after the line went away, and the time one AT exchange
// takes at 9600 baud.
//
// The runner names the modemsim binary in VANTOR_MODEMSIM; the test starts its
// own modemsim (Wine runs Unix programs through CreateProcess) and stops it by
// its process id.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "device/gsm_modem.h"
#include "modemsim_process.h"
#include "os/os.h"

namespace {

using vantor::CGsmModem;
using vantor::PortConfig;
using vantor::test::ModemSimOptions;
using vantor::test::ModemSimProcess;

constexpr char kPort[] = "COM30";

double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

PortConfig Config(std::int32_t baud, std::uint8_t dataBits, std::int16_t stopBits,
                  std::uint8_t parity, std::int16_t replyTimeout = 1000) {
    PortConfig c{};
    std::strcpy(c.portName, kPort);
    c.baudRate = baud;
    c.dataBits = dataBits;
    c.stopBits = stopBits;
    c.parity = parity;
    c.replyTimeout = replyTimeout;
    return c;
}

class SerialOnPty : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // modemsim on COM30 of the prefix, with a control FIFO.
        sim_ = StartSuiteModemSim(ModemSimOptions{.com = 30,
                                                  .dirName = "vantor-serial-test",
                                                  .control = true});
    }
    static void TearDownTestSuite() { sim_.reset(); }
    void SetUp() override {
        if (sim_ == nullptr) GTEST_SKIP() << "no modemsim (VANTOR_MODEMSIM, WINEPREFIX)";
    }
    void TearDown() override { device.ClosePort(); }

    // Exchange of `request`; the answer as text.
    int Exchange(const char* request, std::string* answer) {
        std::vector<std::uint8_t> buffer(vantor::kAnswerSize, 0);
        std::int32_t length = static_cast<std::int32_t>(std::strlen(request));
        std::memcpy(buffer.data(), request, static_cast<std::size_t>(length));
        const int result = device.Exchange(buffer.data(), &length, 0);
        answer->assign(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(length));
        return result;
    }

    static inline std::unique_ptr<ModemSimProcess> sim_;
    CGsmModem device;
};

TEST_F(SerialOnPty, OpenSetsTheLineAndTheTimeouts) {
    const struct {
        std::int32_t baud;
        std::uint8_t dataBits;
        std::int16_t stopField;
        std::uint8_t parity;
        BYTE stopBits;
    } cases[] = {{9600, 8, 1, NOPARITY, ONESTOPBIT},
                 {19200, 7, 2, EVENPARITY, TWOSTOPBITS},
                 {57600, 8, 3, ODDPARITY, ONESTOPBIT}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.baud);
        const PortConfig c = Config(k.baud, k.dataBits, k.stopField, k.parity);
        ASSERT_EQ(device.OpenPort(&c), 1);
        const HANDLE h = reinterpret_cast<HANDLE>(device.line.PortHandle);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(h, &dcb));
        // A Linux pty keeps the rate and the stop bits but always reports 8
        // data bits and no parity, so those two are only checked natively.
        EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(k.baud));
        EXPECT_EQ(dcb.StopBits, k.stopBits);
        COMMTIMEOUTS t{};
        ASSERT_TRUE(GetCommTimeouts(h, &t));
        EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 40u);
        EXPECT_EQ(device.ClosePort(), 1);
    }
}

TEST_F(SerialOnPty, LinkTestAndExchanges) {
    const PortConfig c = Config(9600, 8, 1, NOPARITY);
    ASSERT_EQ(device.OpenPort(&c), 1);
    EXPECT_EQ(device.LinkTest(1, 0, 0), 1);

    std::string answer;
    EXPECT_EQ(Exchange("AT\r", &answer), 1);
    EXPECT_EQ(answer, "AT\r\r\nOK\r\n");
    EXPECT_EQ(Exchange("AT+CMGF?\r", &answer), 1);
    EXPECT_NE(answer.find("+CMGF: 0\r\n"), std::string::npos) << answer;

    // An answer in pieces of 1..8 bytes, 5 ms apart, still completes.
    ASSERT_TRUE(sim_->Control("chunks 1,2,3,4,5,6,7,8 5"));
    EXPECT_EQ(Exchange("AT+CSCA?\r", &answer), 1);
    EXPECT_NE(answer.find("+CSCA: \"+8613800100500\",145\r\n\r\nOK\r\n"), std::string::npos) << answer;
    ASSERT_TRUE(sim_->Control("chunks off"));

    // A silent modem: the link test fails after its fixed pauses.
    ASSERT_TRUE(sim_->Control("silence on"));
    const double t0 = NowMs();
    EXPECT_EQ(device.LinkTest(1, 0, 0), 0);
    EXPECT_GE(NowMs() - t0, 500.0);
    ASSERT_TRUE(sim_->Control("silence off"));
}

TEST_F(SerialOnPty, ReadTakesAtMost512Bytes) {
    const PortConfig c = Config(57600, 8, 1, NOPARITY);
    ASSERT_EQ(device.OpenPort(&c), 1);
    ASSERT_TRUE(sim_->Control("flood-now 600"));
    // Wait until all 600 bytes have arrived, then read.
    COMSTAT status{};
    for (int i = 0; i < 200; ++i) {
        DWORD errors = 0;
        ASSERT_TRUE(ClearCommError(reinterpret_cast<HANDLE>(device.line.PortHandle), &errors, &status));
        if (status.cbInQue >= 600) break;
        Sleep(10);
    }
    ASSERT_EQ(status.cbInQue, 600u);
    std::uint8_t buffer[600];
    std::uint32_t count = 0;
    ASSERT_EQ(device.ReadPort(buffer, &count), 1);
    EXPECT_EQ(count, 512u);
    ASSERT_EQ(device.ReadPort(buffer + 512, &count), 1);
    EXPECT_EQ(count, 88u);
    EXPECT_EQ(device.ReadPort(buffer, &count), 0);
    EXPECT_EQ(count, 0u);
}

// The adapter goes away (modemsim closes the pty and removes the link) and
// comes back 1.5 s later as a new pty: the old handle fails, a reconnect while
// it is gone fails and leaves the port closed, a later one works.
TEST_F(SerialOnPty, ReconnectAfterTheLineComesBack) {
    const PortConfig c = Config(9600, 8, 1, NOPARITY);
    ASSERT_EQ(device.OpenPort(&c), 1);
    ASSERT_EQ(device.LinkTest(1, 0, 0), 1);

    ASSERT_TRUE(sim_->Control("hangup 1500"));
    EXPECT_EQ(device.LinkTest(1, 0, 0), 0);
    EXPECT_EQ(device.ReconnectPort(), 0);
    EXPECT_EQ(device.line.PortHandle, os::kInvalidHandle);

    int reconnected = 0;
    for (int attempt = 0; attempt < 20 && !reconnected; ++attempt) reconnected = device.ReconnectPort();
    ASSERT_EQ(reconnected, 1);
    EXPECT_EQ(device.LinkTest(1, 0, 0), 1);
    std::string answer;
    EXPECT_EQ(Exchange("AT\r", &answer), 1);
}

// One "AT" exchange at 9600 baud, the modem pacing its bytes at the line rate:
// the figure against the time the bytes need on the wire.
TEST_F(SerialOnPty, ExchangeTimeAt9600Baud) {
    const PortConfig c = Config(9600, 8, 1, NOPARITY);
    ASSERT_EQ(device.OpenPort(&c), 1);
    ASSERT_TRUE(sim_->Control("baud 9600"));
    std::vector<double> took;
    std::string answer;
    for (int i = 0; i < 20; ++i) {
        const double t0 = NowMs();
        ASSERT_EQ(Exchange("AT\r", &answer), 1) << "run " << i << ": " << answer;
        took.push_back(NowMs() - t0);
    }
    ASSERT_TRUE(sim_->Control("baud 0"));
    std::sort(took.begin(), took.end());
    const double wireMs = (3.0 + static_cast<double>(answer.size())) * 10.0 * 1000.0 / 9600.0;
    std::printf("AT exchange at 9600 baud over %zu runs: min %.1f ms, median %.1f ms, max %.1f ms; "
                "wire time of %zu bytes %.1f ms\n",
                took.size(), took.front(), took[took.size() / 2], took.back(), 3 + answer.size(), wireMs);
    RecordProperty("exchange_median_ms", static_cast<int>(took[took.size() / 2] + 0.5));
    RecordProperty("wire_ms", static_cast<int>(wireMs + 0.5));
    // The answer cannot come faster than the line carries it, and the polling
    // (10 ms pauses) adds little on top.
    EXPECT_GE(took.front(), static_cast<double>(answer.size()) * 10.0 * 1000.0 / 9600.0);
    EXPECT_LT(took[took.size() / 2], wireMs + 100.0);
}

}  // namespace
