// The Win32 seam on the real (Wine) system: the ANSI code page is GBK, atoms,
// time, and the serial calls on a pair of linked pseudo-terminals when the
// test run provides one (VANTOR_LOOP_PORTS=COMa,COMb).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "com_fixture.h"
#include "os/os.h"

namespace {

TEST(OsWin32, AnsiCodePageIsGbkBothWays) {
    ASSERT_EQ(GetACP(), 936u);
    const char gbk[] = "\xD6\xD0\xCE\xC4 SMS";  // 中文 SMS
    char16_t wide[16] = {};
    ASSERT_EQ(os::MultiByteToWideChar(gbk, -1, nullptr, 0), 7);
    ASSERT_EQ(os::MultiByteToWideChar(gbk, -1, wide, 16), 7);
    EXPECT_EQ(wide[0], u'\u4E2D');
    EXPECT_EQ(wide[1], u'\u6587');
    EXPECT_EQ(wide[2], u' ');

    char back[16] = {};
    bool usedDefault = true;
    ASSERT_EQ(os::WideCharToMultiByte(wide, -1, back, sizeof(back), &usedDefault), 9);
    EXPECT_STREQ(back, gbk);
    EXPECT_FALSE(usedDefault);

    const char16_t thai[] = u"\u0E01";  // not in GBK
    EXPECT_GT(os::WideCharToMultiByte(thai, -1, back, sizeof(back), &usedDefault), 0);
    EXPECT_TRUE(usedDefault);
    EXPECT_GT(os::WideCharToMultiByte(thai, -1, back, sizeof(back), nullptr), 0);
}

TEST(OsWin32, AtomsAndTime) {
    const char text[] = "\xC0\xB4\xD7\xD4: 13800138000";  // 来自: ...
    const std::uint16_t atom = os::GlobalAddAtomA(text);
    ASSERT_NE(atom, 0);
    char name[256] = {};
    EXPECT_EQ(os::GlobalGetAtomNameA(atom, name, sizeof(name)), std::strlen(text));
    EXPECT_STREQ(name, text);

    // The tick count moves in steps of up to ~16 ms.
    const std::uint32_t before = os::GetTickCount();
    os::Sleep(100);
    const std::uint32_t slept = os::GetTickCount() - before;
    EXPECT_GE(slept, 60u);
    EXPECT_LT(slept, 5000u);

    FILETIME system{};
    GetSystemTimeAsFileTime(&system);
    const os::FileTime now = os::CoFileTimeNow();
    const auto ticks = [](std::uint32_t high, std::uint32_t low) {
        return (static_cast<std::uint64_t>(high) << 32) | low;
    };
    const std::uint64_t a = ticks(system.dwHighDateTime, system.dwLowDateTime);
    const std::uint64_t b = ticks(now.dwHighDateTime, now.dwLowDateTime);
    EXPECT_LT(b > a ? b - a : a - b, 10'000'000u) << "within a second";
}

TEST(OsWin32, MissingPortDoesNotOpen) {
    const os::Handle h = os::CreateFileA("//./COM199", os::kGenericRead | os::kGenericWrite, 0,
                                         os::kOpenExisting, os::kFileAttributeNormal);
    EXPECT_EQ(h, os::kInvalidHandle);
}

// Two COM ports whose pseudo-terminals are linked back to back.
TEST(OsWin32, SerialCallsOnLinkedPorts) {
    const vantor::test::LoopPorts ports = vantor::test::GetLoopPorts();
    if (!ports.Available()) GTEST_SKIP() << "VANTOR_LOOP_PORTS not set";
    const std::string pathA = "//./" + ports.a;
    const std::string pathB = "//./" + ports.b;
    const std::uint32_t access = os::kGenericRead | os::kGenericWrite;

    const os::Handle a =
        os::CreateFileA(pathA.c_str(), access, 0, os::kOpenExisting, os::kFileAttributeNormal);
    const os::Handle b =
        os::CreateFileA(pathB.c_str(), access, 0, os::kOpenExisting, os::kFileAttributeNormal);
    ASSERT_NE(a, os::kInvalidHandle) << pathA;
    ASSERT_NE(b, os::kInvalidHandle) << pathB;

    for (os::Handle h : {a, b}) {
        EXPECT_TRUE(os::SetupComm(h, 8192, 8192));
        os::Dcb dcb{};
        ASSERT_TRUE(os::GetCommState(h, &dcb));
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.Parity = 0;
        dcb.StopBits = os::kOneStopBit;
        EXPECT_TRUE(os::SetCommState(h, &dcb));
        os::Dcb readBack{};
        ASSERT_TRUE(os::GetCommState(h, &readBack));
        EXPECT_EQ(readBack.BaudRate, 9600u);
        EXPECT_EQ(readBack.ByteSize, 8);
        EXPECT_TRUE(os::SetCommMask(h, os::kEvRxFlag | os::kEvBreak));
        // Reads return at once with what is there.
        const os::CommTimeouts timeouts{os::kMaxDword, 0, 0, 0, 0};
        EXPECT_TRUE(os::SetCommTimeouts(h, &timeouts));
        EXPECT_TRUE(os::PurgeComm(h, os::kPurgeRxClear | os::kPurgeTxClear));
    }

    const char command[] = "AT\r\n";
    std::uint32_t written = 0;
    ASSERT_TRUE(os::WriteFile(a, command, 4, &written));
    EXPECT_EQ(written, 4u);

    std::string received;
    for (int attempt = 0; attempt < 100 && received.size() < 4; ++attempt) {
        std::uint32_t errors = 0;
        os::ComStat stat{};
        ASSERT_TRUE(os::ClearCommError(b, &errors, &stat));
        if (stat.cbInQue > 0) {
            char buffer[64] = {};
            std::uint32_t read = 0;
            ASSERT_TRUE(os::ReadFile(b, buffer, stat.cbInQue, &read));
            received.append(buffer, read);
        } else {
            os::Sleep(10);
        }
    }
    EXPECT_EQ(received, command);

    EXPECT_TRUE(os::CloseHandle(a));
    EXPECT_TRUE(os::CloseHandle(b));
}

}  // namespace
