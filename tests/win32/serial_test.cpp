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
#include "os/os.h"

namespace {

using vantor::CGsmModem;
using vantor::PortConfig;

constexpr char kPort[] = "COM30";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A Unix path as the Z: drive shows it.
std::string ZPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool WriteTextFile(const std::string& unixPath, const std::string& text) {
    const HANDLE f = CreateFileA(ZPath(unixPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == text.size();
}

bool Exists(const std::string& unixPath) {
    return GetFileAttributesA(ZPath(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts a Unix shell script. Wine runs Unix programs through CreateProcess
// but hands back no process to wait on, so callers watch for its effects.
bool LaunchScript(const std::string& scriptPath) {
    std::string command = "/bin/sh " + scriptPath;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return false;
    if (pi.hProcess != nullptr) CloseHandle(pi.hProcess);
    if (pi.hThread != nullptr) CloseHandle(pi.hThread);
    return true;
}

// Polls `ready` every 50 ms for up to `ms`.
template <class Ready>
bool WaitFor(Ready ready, int ms) {
    for (int waited = 0; waited <= ms; waited += 50) {
        if (ready()) return true;
        Sleep(50);
    }
    return false;
}

double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// One modemsim on COM30 of the prefix, with a control FIFO.
class ModemSim {
public:
    bool Start() {
        const std::string binary = Env("VANTOR_MODEMSIM");
        const std::string prefix = Env("WINEPREFIX");
        if (binary.empty() || prefix.empty()) return false;
        dir_ = prefix + "/vantor-serial-test";
        CreateDirectoryA(ZPath(dir_).c_str(), nullptr);
        link_ = prefix + "/dosdevices/com30";
        control_ = dir_ + "/control";
        const std::string pidFile = dir_ + "/pid";
        const std::string ready = dir_ + "/ready";
        const std::string stopped = dir_ + "/stopped";
        DeleteFileA(ZPath(ready).c_str());
        // Wine shows neither the pty link nor the FIFO as files, so the
        // scripts wait for them and leave plain marker files. modemsim is
        // detached from the test's pipes so that nothing waits on them later.
        const std::string start =
            "rm -f '" + control_ + "' '" + stopped + "'\n"
            "setsid '" + binary + "' --link '" + link_ + "' --control '" + control_ + "' --log '" +
            dir_ + "/modemsim.log' </dev/null >'" + dir_ + "/stdout' 2>&1 &\n"
            "echo $! >'" + pidFile + "'\n"
            "for i in $(seq 100); do [ -e '" + link_ + "' ] && [ -p '" + control_ +
            "' ] && break; sleep 0.1; done\n"
            "touch '" + ready + "'\n";
        const std::string stop =
            "kill \"$(cat '" + pidFile + "')\"\n"
            "for i in $(seq 50); do [ -e '" + link_ + "' ] || break; sleep 0.1; done\n"
            "touch '" + stopped + "'\n";
        if (!WriteTextFile(dir_ + "/start.sh", start) || !WriteTextFile(dir_ + "/stop.sh", stop))
            return false;
        if (!LaunchScript(dir_ + "/start.sh")) return false;
        started_ = WaitFor([&] { return Exists(ready); }, 15000);
        return started_;
    }

    // A control line, as `echo LINE > control` would write it.
    bool Control(const std::string& line) {
        const HANDLE f = CreateFileA(ZPath(control_).c_str(), GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return false;
        const std::string text = line + "\n";
        DWORD written = 0;
        const BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(f);
        Sleep(50);  // modemsim polls its FIFO; let it take the line
        return ok && written == text.size();
    }

    ~ModemSim() {
        if (started_ && LaunchScript(dir_ + "/stop.sh"))
            WaitFor([&] { return Exists(dir_ + "/stopped"); }, 8000);
    }

private:
    std::string dir_, link_, control_;
    bool started_ = false;
};

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
        sim_ = new ModemSim;
        if (!sim_->Start()) {
            delete sim_;
            sim_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }
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

    static ModemSim* sim_;
    CGsmModem device;
};
ModemSim* SerialOnPty::sim_ = nullptr;

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
        const HANDLE h = reinterpret_cast<HANDLE>(device.PortHandle);
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
        ASSERT_TRUE(ClearCommError(reinterpret_cast<HANDLE>(device.PortHandle), &errors, &status));
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
    EXPECT_EQ(device.PortHandle, os::kInvalidHandle);

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
