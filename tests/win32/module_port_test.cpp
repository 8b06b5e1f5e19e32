// The port through the DLL on real (pseudo-terminal) serial lines: opening,
// lending the handle to a second object, and who closes it at release.
#include <windows.h>

#include <gtest/gtest.h>

#include "com_fixture.h"

namespace vantor::test {
namespace {

bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

class PortTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        ports_ = GetLoopPorts();
        if (!ports_.Available()) GTEST_SKIP() << "VANTOR_LOOP_PORTS not set";
    }

    // Opens the first loop port through a new object; its handle in *handle.
    Device OpenedDevice(HANDLE* handle) {
        Device device = CreateDevice();
        const PortConfig config = MakePortConfig(ports_.a);
        EXPECT_EQ(device.driver->OpenPort(0, &config), 1);
        EXPECT_EQ(device.sharing->GetPortHandle(handle), 1);
        return device;
    }

    LoopPorts ports_;
};

TEST_F(PortTest, OpenCloseAndReopen) {
    HANDLE handle = nullptr;
    Device device = OpenedDevice(&handle);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(IsOpenHandle(handle));

    EXPECT_EQ(device.driver->ClosePort(), 1);
    EXPECT_FALSE(IsOpenHandle(handle));
    EXPECT_EQ(device.driver->ClosePort(), 0) << "nothing left to close";
    HANDLE after = nullptr;
    EXPECT_EQ(device.sharing->GetPortHandle(&after), 1);
    EXPECT_EQ(after, INVALID_HANDLE_VALUE);

    const PortConfig config = MakePortConfig(ports_.a);
    EXPECT_EQ(device.driver->OpenPort(0, &config), 1) << "the line is free again";
}

TEST_F(PortTest, LastReleaseClosesAnOpenPort) {
    HANDLE handle = nullptr;
    Device device = OpenedDevice(&handle);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    device.driver.Reset();
    EXPECT_TRUE(IsOpenHandle(handle)) << "the sharing part still holds the object";
    device.sharing.Reset();
    EXPECT_FALSE(IsOpenHandle(handle));
}

TEST_F(PortTest, LentHandleHandedBackBeforeReleaseStaysOpen) {
    HANDLE handle = nullptr;
    Device owner = OpenedDevice(&handle);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);

    Device borrower = CreateDevice();
    ASSERT_EQ(borrower.sharing->SetPortHandle(&handle), 1);
    HANDLE seen = nullptr;
    ASSERT_EQ(borrower.sharing->GetPortHandle(&seen), 1);
    EXPECT_EQ(seen, handle);

    const HANDLE none = INVALID_HANDLE_VALUE;
    ASSERT_EQ(borrower.sharing->SetPortHandle(&none), 1);
    borrower = Device{};
    EXPECT_TRUE(IsOpenHandle(handle)) << "the owner still uses the line";

    owner = Device{};
    EXPECT_FALSE(IsOpenHandle(handle));
}

TEST_F(PortTest, SharedHandleIsClosedOnceEvenWhenItsNumberIsReused) {
    HANDLE handle = nullptr;
    Device owner = OpenedDevice(&handle);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    Device borrower = CreateDevice();
    ASSERT_EQ(borrower.sharing->SetPortHandle(&handle), 1);

    // Releasing the borrower first closes the line for both.
    borrower = Device{};
    EXPECT_FALSE(IsOpenHandle(handle));

    // The system may hand the same number to the next handle it creates; the
    // owner's release must not close that one.
    HANDLE events[8] = {};
    for (HANDLE& event : events) event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    owner = Device{};
    for (HANDLE event : events) {
        EXPECT_TRUE(IsOpenHandle(event));
        CloseHandle(event);
    }
}

}  // namespace
}  // namespace vantor::test
