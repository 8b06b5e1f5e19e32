// CModulePro as the host reaches it: the interface table, the shared identity
// and reference count, the empty dispatch part, and every host method through
// its vtable position.
#include <windows.h>
#include <oaidl.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "com_fixture.h"

namespace vantor::test {
namespace {

using ObjectTest = ComTest;

TEST_F(ObjectTest, InterfaceTableAndIdentityFromEveryPart) {
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver && device.sharing);
    Ref<IDispatch> dispatch;
    ASSERT_EQ(device.driver.As(kDiidModulePro, &dispatch), S_OK);

    IUnknown* const parts[] = {dispatch.Get(), device.driver.Get(), device.sharing.Get()};
    struct Row {
        const IID* iid;
        IUnknown* expected;
    };
    const Row table[] = {
        {&IID_IUnknown, dispatch.Get()},
        {&kDiidModulePro, dispatch.Get()},
        {&kIidDeviceDriver, device.driver.Get()},
        {&kIidPortSharing, device.sharing.Get()},
        {&IID_IDispatch, dispatch.Get()},
    };
    for (IUnknown* part : parts) {
        for (const Row& row : table) {
            void* out = nullptr;
            ASSERT_EQ(part->QueryInterface(*row.iid, &out), S_OK);
            EXPECT_EQ(out, static_cast<void*>(row.expected));
            static_cast<IUnknown*>(out)->Release();
        }
        for (const IID* missing : {&IID_IClassFactory, &IID_IPersist, &IID_IMarshal}) {
            void* out = part;
            EXPECT_EQ(part->QueryInterface(*missing, &out), E_NOINTERFACE);
            EXPECT_EQ(out, nullptr);
        }
    }
    // Three distinct parts.
    EXPECT_NE(static_cast<void*>(device.driver.Get()), static_cast<void*>(dispatch.Get()));
    EXPECT_NE(static_cast<void*>(device.sharing.Get()), static_cast<void*>(dispatch.Get()));
    EXPECT_NE(static_cast<void*>(device.sharing.Get()), static_cast<void*>(device.driver.Get()));
}

TEST_F(ObjectTest, PartsShareOneReferenceCount) {
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver && device.sharing);
    // driver + sharing hold 2; each AddRef through one part shows in the other.
    EXPECT_EQ(device.driver->AddRef(), 3u);
    EXPECT_EQ(device.sharing->AddRef(), 4u);
    EXPECT_EQ(device.driver->Release(), 3u);
    EXPECT_EQ(device.sharing->Release(), 2u);
    device.driver.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE) << "the sharing part still holds the object";
    device.sharing.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_OK);
}

TEST_F(ObjectTest, DispatchPartIsEmpty) {
    Ref<IDispatch> dispatch = CreateViaFactory<IDispatch>(IID_IDispatch);
    ASSERT_TRUE(dispatch);
    UINT count = 99;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, &info), E_INVALIDARG);
    EXPECT_EQ(info, nullptr);
    wchar_t name[] = L"LinkTest";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    DISPPARAMS none{};
    for (DISPID member : {DISPID(0), DISPID(1), DISPID(-1)}) {
        EXPECT_EQ(dispatch->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                                   nullptr),
                  DISP_E_MEMBERNOTFOUND);
    }
}

// Vtable slots after IUnknown's three.
enum DriverSlot {
    kGetRegisterTable = 3, kLinkTest, kCheckRegister, kDriverReserved1, kOpenPort, kClosePort,
    kDriverReserved2, kDriverReserved3, kProcessPacket, kCheckDeviceAddress, kGetErrorText,
};
enum SharingSlot { kProcessSharedPacket = 3, kSetPortHandle, kSharingReserved, kGetPortHandle };

TEST_F(ObjectTest, ReservedMethodsGiveTheirFixedResultsWhateverTheArguments) {
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver && device.sharing);
    struct Case {
        const char* name;
        void* iface;
        int slot;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"DriverReserved1", device.driver.Get(), kDriverReserved1, 1},
        {"DriverReserved2", device.driver.Get(), kDriverReserved2, 1},
        {"DriverReserved3", device.driver.Get(), kDriverReserved3, 0},
        {"SharingReserved", device.sharing.Get(), kSharingReserved, 1},
    };
    const std::int32_t arguments[][3] = {{0, 0, 0}, {1, 2, 3}, {-1, INT_MIN, INT_MAX}};
    for (const Case& c : cases) {
        for (const auto& a : arguments) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ((CallSlot<std::int32_t>(c.iface, c.slot, a[0], a[1], a[2])), c.expected);
        }
    }
}

TEST_F(ObjectTest, NullRecordsAndOutPointersGiveFailureValues) {
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver && device.sharing);
    void* driver = device.driver.Get();
    void* sharing = device.sharing.Get();
    const RegisterDef* rows = nullptr;
    std::int32_t count = -5;

    EXPECT_EQ((CallSlot<std::int32_t>(driver, kGetRegisterTable, 0, nullptr, nullptr)), 0);
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kGetRegisterTable, 0, &rows, nullptr)), 0);
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kGetRegisterTable, 0, nullptr, &count)), 0);
    EXPECT_EQ(count, -5);
    // CheckRegister reports an invalid name as 1.
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kCheckRegister, nullptr, nullptr)), 1);
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kOpenPort, 0, nullptr)), 0);
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kProcessPacket, nullptr)), 0);
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kCheckDeviceAddress, nullptr, nullptr)), 0);
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kCheckDeviceAddress, "1", nullptr)), 0);
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kProcessSharedPacket, nullptr)), 0);
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kSetPortHandle, nullptr)), 0);
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kGetPortHandle, nullptr)), 0);

    // None of that opened or changed the port.
    HANDLE handle = nullptr;
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kGetPortHandle, &handle)), 1);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
}

TEST_F(ObjectTest, PortHandleOfNewObjectAndRoundTrip) {
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver && device.sharing);
    void* sharing = device.sharing.Get();

    HANDLE handle = nullptr;
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kGetPortHandle, &handle)), 1);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ((CallSlot<std::int32_t>(device.driver.Get(), kClosePort)), 0) << "nothing open";

    // Stored without any test, given back unchanged.
    const HANDLE lent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x1234));
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kSetPortHandle, &lent)), 1);
    handle = nullptr;
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kGetPortHandle, &handle)), 1);
    EXPECT_EQ(handle, lent);

    // Handing it back leaves the object with nothing to close at release.
    const HANDLE none = INVALID_HANDLE_VALUE;
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kSetPortHandle, &none)), 1);
    EXPECT_EQ((CallSlot<std::int32_t>(sharing, kGetPortHandle, &handle)), 1);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
}

TEST_F(ObjectTest, HostMethodsReachTheDevice) {
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver && device.sharing);
    void* driver = device.driver.Get();

    const RegisterDef* rows = nullptr;
    std::int32_t count = 0;
    ASSERT_EQ((CallSlot<std::int32_t>(driver, kGetRegisterTable, 0, &rows, &count)), 1);
    ASSERT_EQ(count, 17);
    ASSERT_NE(rows, nullptr);
    EXPECT_STREQ(rows[0].name, "AT");
    EXPECT_STREQ(rows[16].name, "CodeMod");

    // Host records are larger than the fields the module uses.
    std::vector<std::uint8_t> queryBytes(512, 0);
    std::vector<std::uint8_t> refBytes(512, 0);
    auto* query = reinterpret_cast<RegisterQuery*>(queryBytes.data());
    auto* ref = reinterpret_cast<RegisterRef*>(refBytes.data());
    std::strcpy(query->name, "MsgNew3");
    query->dataType = 256;
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kCheckRegister, query, ref)), 0);
    EXPECT_EQ(ref->kind, kMsgNew);
    EXPECT_EQ(ref->subIndex, 3);
    EXPECT_EQ(ref->row, &rows[kMsgNew]);

    std::strcpy(query->name, "NoSuchRegister");
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kCheckRegister, query, ref)), 1);
    EXPECT_NE((CallSlot<const char*>(driver, kGetErrorText)), nullptr);

    // A port that does not exist does not open, and the handle stays invalid.
    PortConfig config = MakePortConfig("COM199", 9600, 100);
    EXPECT_EQ((CallSlot<std::int32_t>(driver, kOpenPort, 0, &config)), 0);
    HANDLE handle = nullptr;
    EXPECT_EQ(device.sharing->GetPortHandle(&handle), 1);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace vantor::test
