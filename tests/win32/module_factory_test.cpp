// The exports and the class factory: DllGetClassObject, CreateInstance,
// LockServer and the module lifetime that DllCanUnloadNow reports.
#include <windows.h>

#include <gtest/gtest.h>

#include "com_fixture.h"

namespace vantor::test {
namespace {

// A non-null stand-in for an out pointer, to see that failures clear it.
void* const kGarbage = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xDEADBEEF));

// {00000000-0000-0000-C000-000000000046} is IUnknown; this one is nobody's.
constexpr CLSID kOtherClsid = {
    0x515F9096, 0x5B37, 0x4924, {0x94, 0x29, 0x55, 0xE6, 0x3A, 0x6D, 0xFF, 0xA6}};

using FactoryTest = ComTest;

TEST_F(FactoryTest, GetClassObjectAnswersOnlyOurClassAndFactoryInterfaces) {
    struct Case {
        const char* name;
        const CLSID* clsid;
        const IID* iid;
        HRESULT expected;
    };
    const Case cases[] = {
        {"factory", &kClsidModulePro, &IID_IClassFactory, S_OK},
        {"unknown", &kClsidModulePro, &IID_IUnknown, S_OK},
        {"other interface", &kClsidModulePro, &IID_IDispatch, E_NOINTERFACE},
        {"other class", &kOtherClsid, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"device iid as class", &kIidDeviceDriver, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = kGarbage;
        EXPECT_EQ(dll_.getClassObject(*c.clsid, *c.iid, &out), c.expected);
        if (c.expected == S_OK) {
            ASSERT_NE(out, nullptr);
            static_cast<IUnknown*>(out)->Release();
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    EXPECT_EQ(dll_.canUnloadNow(), S_OK);
}

TEST_F(FactoryTest, CanUnloadNowFollowsObjectsLocksAndFactoryReferences) {
    ASSERT_EQ(dll_.canUnloadNow(), S_OK);

    Ref<IClassFactory> factory;
    ASSERT_EQ(dll_.getClassObject(kClsidModulePro, IID_IClassFactory, factory.Out()), S_OK);
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE) << "host holds the factory";

    Ref<IDeviceDriver> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, kIidDeviceDriver, object.Out()), S_OK);
    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE) << "one object alive";
    object.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_OK);

    ASSERT_EQ(dll_.getClassObject(kClsidModulePro, IID_IClassFactory, factory.Out()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE) << "two server locks";
    ASSERT_EQ(dll_.getClassObject(kClsidModulePro, IID_IClassFactory, factory.Out()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_OK);
}

TEST_F(FactoryTest, FailedCreationsLeaveNoObjectBehind) {
    Ref<IClassFactory> factory;
    ASSERT_EQ(dll_.getClassObject(kClsidModulePro, IID_IClassFactory, factory.Out()), S_OK);

    Ref<IDeviceDriver> outer = CreateViaFactory<IDeviceDriver>(kIidDeviceDriver);
    ASSERT_TRUE(outer);
    void* out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    outer.Reset();

    out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    factory.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_OK) << "object count went back to 0";
}

TEST_F(FactoryTest, CreatedObjectHoldsTheOnlyReference) {
    Ref<IDeviceDriver> object = CreateViaFactory<IDeviceDriver>(kIidDeviceDriver);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    // The last Release destroys the object and gives 0.
    EXPECT_EQ(object.Detach()->Release(), 0u);
    EXPECT_EQ(dll_.canUnloadNow(), S_OK);
}

TEST_F(FactoryTest, CoCreateInstanceReachesTheSameModule) {
    Ref<IPortSharing> object = CreateViaCom<IPortSharing>(kIidPortSharing);
    ASSERT_TRUE(object);
    EXPECT_EQ(dll_.canUnloadNow(), S_FALSE);
    object.Reset();
    EXPECT_EQ(dll_.canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace vantor::test
