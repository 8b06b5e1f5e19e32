// Null pointers at every COM entry point, as a host written by hand can pass
// them: through the export table and the raw vtable slots, with each pointer
// argument null in turn. Each call must fail cleanly (E_POINTER for a missing
// out-pointer, E_INVALIDARG for a missing in-pointer), clear an out-pointer it
// was given, and leave every reference and object count as it was.
#include <windows.h>
#include <oaidl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "com_fixture.h"

namespace vantor::test {
namespace {

using NullArgumentTest = ComTest;

// A non-null stand-in for an out-pointer, to see that a refusal clears it.
void* const kGarbage = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xDEADBEEF));

// IUnknown's, IClassFactory's and IDispatch's slots.
enum Slot { kQueryInterface = 0, kCreateInstance = 3, kGetTypeInfoCount = 3, kGetTypeInfo,
            kGetIDsOfNames, kInvoke };

// The reference count of an interface, read without changing it.
ULONG References(void* iface) {
    CallSlot<ULONG>(iface, 1);          // AddRef
    return CallSlot<ULONG>(iface, 2);   // Release: the count as it was
}

TEST_F(NullArgumentTest, EveryEntryPointRefusesEachNullPointer) {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(const CLSID*, const IID*, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(dll_.Handle(), "DllGetClassObject")));
    ASSERT_NE(getClassObject, nullptr);

    Ref<IClassFactory> factory;
    ASSERT_EQ(dll_.getClassObject(kClsidModulePro, IID_IClassFactory, factory.Out()), S_OK);
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver && device.sharing);
    Ref<IDispatch> dispatch;
    ASSERT_EQ(device.driver.As(IID_IDispatch, &dispatch), S_OK);
    void* const parts[] = {dispatch.Get(), device.driver.Get(), device.sharing.Get()};
    const char* const partNames[] = {"IDispatch", "IDeviceDriver", "IPortSharing"};

    wchar_t name[] = L"LinkTest";
    LPOLESTR names[] = {name};
    DISPPARAMS none{};
    const IID* const noId = nullptr;

    // Each case: the call, the HRESULT it must give, and the out-pointer it
    // was given (null when none), which must come back null.
    struct Case {
        std::string name;
        std::function<HRESULT(void** out)> call;
        HRESULT expected;
        bool givesOut;
    };
    std::vector<Case> cases = {
        {"DllGetClassObject clsid", [&](void** out) { return getClassObject(nullptr, &IID_IClassFactory, out); },
         E_INVALIDARG, true},
        {"DllGetClassObject iid", [&](void** out) { return getClassObject(&kClsidModulePro, nullptr, out); },
         E_INVALIDARG, true},
        {"DllGetClassObject out", [&](void**) { return getClassObject(&kClsidModulePro, &IID_IClassFactory, nullptr); },
         E_POINTER, false},
        {"factory QueryInterface iid",
         [&](void** out) { return CallSlot<HRESULT>(factory.Get(), kQueryInterface, noId, out); },
         E_INVALIDARG, true},
        {"factory QueryInterface out",
         [&](void**) { return CallSlot<HRESULT>(factory.Get(), kQueryInterface, &IID_IUnknown, static_cast<void**>(nullptr)); },
         E_POINTER, false},
        {"factory CreateInstance iid",
         [&](void** out) { return CallSlot<HRESULT>(factory.Get(), kCreateInstance, static_cast<IUnknown*>(nullptr), noId, out); },
         E_INVALIDARG, true},
        {"factory CreateInstance out",
         [&](void**) { return CallSlot<HRESULT>(factory.Get(), kCreateInstance, static_cast<IUnknown*>(nullptr), &kIidDeviceDriver, static_cast<void**>(nullptr)); },
         E_POINTER, false},
        {"GetTypeInfoCount count",
         [&](void**) { return CallSlot<HRESULT>(dispatch.Get(), kGetTypeInfoCount, static_cast<UINT*>(nullptr)); },
         E_POINTER, false},
        {"GetTypeInfo info",
         [&](void**) { return CallSlot<HRESULT>(dispatch.Get(), kGetTypeInfo, UINT{0}, LCID{0}, static_cast<ITypeInfo**>(nullptr)); },
         E_POINTER, false},
        {"GetIDsOfNames iid",
         [&](void**) { DISPID id = 0; return CallSlot<HRESULT>(dispatch.Get(), kGetIDsOfNames, noId, names, UINT{1}, LCID{0}, &id); },
         E_INVALIDARG, false},
        {"GetIDsOfNames names",
         [&](void**) { DISPID id = 0; return CallSlot<HRESULT>(dispatch.Get(), kGetIDsOfNames, &IID_NULL, static_cast<LPOLESTR*>(nullptr), UINT{1}, LCID{0}, &id); },
         E_INVALIDARG, false},
        {"GetIDsOfNames ids",
         [&](void**) { return CallSlot<HRESULT>(dispatch.Get(), kGetIDsOfNames, &IID_NULL, names, UINT{1}, LCID{0}, static_cast<DISPID*>(nullptr)); },
         E_POINTER, false},
        {"Invoke iid",
         [&](void**) { return CallSlot<HRESULT>(dispatch.Get(), kInvoke, DISPID{0}, noId, LCID{0}, WORD{DISPATCH_METHOD}, &none, static_cast<VARIANT*>(nullptr), static_cast<EXCEPINFO*>(nullptr), static_cast<UINT*>(nullptr)); },
         E_INVALIDARG, false},
        {"Invoke params",
         [&](void**) { return CallSlot<HRESULT>(dispatch.Get(), kInvoke, DISPID{0}, &IID_NULL, LCID{0}, WORD{DISPATCH_METHOD}, static_cast<DISPPARAMS*>(nullptr), static_cast<VARIANT*>(nullptr), static_cast<EXCEPINFO*>(nullptr), static_cast<UINT*>(nullptr)); },
         E_INVALIDARG, false},
    };
    for (int i = 0; i < 3; ++i) {
        void* part = parts[i];
        cases.push_back({std::string(partNames[i]) + " QueryInterface iid",
                         [part, noId](void** out) { return CallSlot<HRESULT>(part, kQueryInterface, noId, out); },
                         E_INVALIDARG, true});
        cases.push_back({std::string(partNames[i]) + " QueryInterface out",
                         [part](void**) { return CallSlot<HRESULT>(part, kQueryInterface, &IID_IUnknown, static_cast<void**>(nullptr)); },
                         E_POINTER, false});
    }

    const ULONG factoryReferences = References(factory.Get());
    const ULONG objectReferences = References(device.driver.Get());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = kGarbage;
        EXPECT_EQ(c.call(&out), c.expected);
        if (c.givesOut) EXPECT_EQ(out, nullptr);
        EXPECT_EQ(References(factory.Get()), factoryReferences);
        EXPECT_EQ(References(device.driver.Get()), objectReferences);
    }

    // Refused creations left no object behind: after the ones held here go,
    // the module can unload.
    dispatch.Reset();
    device.driver.Reset();
    device.sharing.Reset();
    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace vantor::test
