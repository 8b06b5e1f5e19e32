// The virtual OS the native tests stand on: clock, atoms, port-call record,
// code page.
#include <gtest/gtest.h>

#include <cstring>

#include "os/os.h"
#include "os/virt/virt.h"

TEST(VirtualClock, SleepAdvancesTicksExactly) {
    os::virt::Reset();
    os::virt::SetTickBase(0xFFFFFFF0u);
    const std::uint32_t t0 = os::GetTickCount();
    os::Sleep(520);
    EXPECT_EQ(os::virt::Now(), 520u);
    EXPECT_EQ(static_cast<std::uint32_t>(os::GetTickCount() - t0), 520u);  // across the wrap
}

TEST(VirtualAtoms, AddAndReadBack) {
    os::virt::Reset();
    const auto atom = os::GlobalAddAtomA("Hello");
    ASSERT_NE(atom, 0);
    char name[255];
    EXPECT_EQ(os::GlobalGetAtomNameA(atom, name, 255), 5u);
    EXPECT_STREQ(name, "Hello");
    EXPECT_EQ(os::GlobalAddAtomA(std::string(256, 'x').c_str()), 0);
    EXPECT_EQ(os::GlobalGetAtomNameA(0x1234, name, 255), 0u);
}

TEST(VirtualPorts, RecordingCanBeTurnedOffUntilTheNextReset) {
    auto probe = [] {
        os::virt::ClearPortCalls();
        os::CloseHandle(os::kInvalidHandle);
        return os::virt::PortCalls().size();
    };
    os::virt::Reset();
    EXPECT_EQ(probe(), 1u);
    os::virt::RecordPortCalls(false);
    EXPECT_EQ(probe(), 0u);
    os::virt::Reset();
    EXPECT_EQ(probe(), 1u);
}

TEST(VirtualCodePage, Gbk) {
    const char gbk[] = "\xD6\xD0\xCE\xC4" "A";  // 中文A
    char16_t wide[8] = {};
    ASSERT_EQ(os::MultiByteToWideChar(gbk, 5, wide, 8), 3);
    EXPECT_EQ(wide[0], u'\u4E2D');
    EXPECT_EQ(wide[1], u'\u6587');
    EXPECT_EQ(wide[2], u'A');
    char back[8] = {};
    bool defaulted = true;
    ASSERT_EQ(os::WideCharToMultiByte(wide, 3, back, 8, &defaulted), 5);
    EXPECT_EQ(std::memcmp(back, gbk, 5), 0);
    EXPECT_FALSE(defaulted);
    const char16_t euro_less[] = {u'\u20AC', u'\u0E01'};  // Thai has no GBK form
    ASSERT_EQ(os::WideCharToMultiByte(euro_less + 1, 1, back, 8, &defaulted), 1);
    EXPECT_EQ(back[0], '?');
    EXPECT_TRUE(defaulted);
}
