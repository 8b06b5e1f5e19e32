// Shared fixture for Win32 tests that use the built Vantor.dll the way a host
// does. The DLL sits beside win32_tests.exe. Two roads to an object:
//   - CreateViaCom(): CoCreateInstance, after the class is registered;
//   - CreateViaFactory(): LoadLibrary + DllGetClassObject + CreateInstance.
// Both reach the same loaded module, so object counts are shared.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "com/com_ref.h"
#include "module/interfaces.h"
#include "port_config.h"

namespace vantor::test {

using com::Ref;

// Calls the method at `slot` of an interface's vtable the way the host does,
// without going through the C++ declaration.
template <class R, class... A>
R CallSlot(void* iface, int slot, A... args) {
    using Fn = R(STDMETHODCALLTYPE*)(void*, A...);
    Fn fn = reinterpret_cast<Fn>((*static_cast<void***>(iface))[slot]);
    return fn(iface, args...);
}

// Full path of a file beside the running test binary.
inline std::string BesideExe(const char* name) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string dir(path, length);
    const std::size_t slash = dir.find_last_of("\\/");
    return dir.substr(0, slash + 1) + name;
}

inline std::string DllPath() { return BesideExe("Vantor.dll"); }

// The loaded Vantor.dll and its three exports.
class DllModule {
public:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using SimpleFn = HRESULT(STDAPICALLTYPE*)();

    DllModule() : module_(LoadLibraryA(DllPath().c_str())) {
        if (module_ == nullptr) return;
        getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        canUnloadNow = reinterpret_cast<SimpleFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
        registerServer = reinterpret_cast<SimpleFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
    }
    DllModule(const DllModule&) = delete;
    DllModule& operator=(const DllModule&) = delete;
    ~DllModule() {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    HMODULE Handle() const { return module_; }
    bool Loaded() const {
        return module_ != nullptr && getClassObject != nullptr && canUnloadNow != nullptr &&
               registerServer != nullptr;
    }

    GetClassObjectFn getClassObject = nullptr;
    SimpleFn canUnloadNow = nullptr;
    SimpleFn registerServer = nullptr;

private:
    HMODULE module_;
};

// Default value of HKCR\key, or an empty string when there is none.
inline std::string ClassesRootValue(const std::string& key) {
    char value[MAX_PATH * 2] = {};
    LONG size = sizeof(value);
    if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS) return {};
    return value;
}

inline std::string ClsidText() {
    LPOLESTR wide = nullptr;
    StringFromCLSID(kClsidModulePro, &wide);
    char text[64] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
    CoTaskMemFree(wide);
    return text;
}

// Two COM ports whose pseudo-terminals are linked back to back, named by
// VANTOR_LOOP_PORTS=COMa,COMb (scripts/test sets it). Empty names without it.
struct LoopPorts {
    std::string a;
    std::string b;
    bool Available() const { return !a.empty() && !b.empty(); }
};

inline LoopPorts GetLoopPorts() {
    const char* value = std::getenv("VANTOR_LOOP_PORTS");
    if (value == nullptr) return {};
    const std::string list(value);
    const std::size_t comma = list.find(',');
    if (comma == std::string::npos) return {};
    return {list.substr(0, comma), list.substr(comma + 1)};
}

class ComTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        comReady_ = true;
        ASSERT_TRUE(dll_.Loaded()) << "cannot load " << DllPath();
    }
    void TearDown() override {
        if (comReady_) CoUninitialize();
    }

    // Registers the DLL unless the class already points at a server.
    void EnsureRegistered() {
        if (ClassesRootValue("CLSID\\" + ClsidText() + "\\InProcServer32").empty()) {
            ASSERT_EQ(dll_.registerServer(), S_OK);
        }
    }

    template <class T>
    Ref<T> CreateViaCom(REFIID iid) {
        EnsureRegistered();
        Ref<T> object;
        EXPECT_EQ(CoCreateInstance(kClsidModulePro, nullptr, CLSCTX_INPROC_SERVER, iid,
                                   object.Out()),
                  S_OK);
        return object;
    }

    template <class T>
    Ref<T> CreateViaFactory(REFIID iid) {
        Ref<IClassFactory> factory;
        EXPECT_EQ(dll_.getClassObject(kClsidModulePro, IID_IClassFactory, factory.Out()), S_OK);
        Ref<T> object;
        if (factory) EXPECT_EQ(factory->CreateInstance(nullptr, iid, object.Out()), S_OK);
        return object;
    }

    // One device object seen through both host interfaces.
    struct Device {
        Ref<IDeviceDriver> driver;
        Ref<IPortSharing> sharing;
    };
    Device CreateDevice() {
        Device device;
        device.driver = CreateViaFactory<IDeviceDriver>(kIidDeviceDriver);
        if (device.driver) EXPECT_EQ(device.driver.As(kIidPortSharing, &device.sharing), S_OK);
        return device;
    }

    DllModule dll_;

private:
    bool comReady_ = false;
};

}  // namespace vantor::test
