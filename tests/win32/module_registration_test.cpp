// Self-registration as a host installer does it: Wine's regsvr32 loads the
// DLL and calls DllRegisterServer; the entries are read back with
// RegQueryValueA.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "com_fixture.h"

namespace vantor::test {
namespace {

void DeleteTree(HKEY root, const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyA(root, key.c_str(), &handle) != ERROR_SUCCESS) return;
    char child[MAX_PATH];
    while (RegEnumKeyA(handle, 0, child, sizeof(child)) == ERROR_SUCCESS) {
        DeleteTree(handle, child);
    }
    RegCloseKey(handle);
    RegDeleteKeyA(root, key.c_str());
}

struct KeyShape {
    DWORD subKeys = 0;
    DWORD values = 0;
};

KeyShape ShapeOf(const std::string& key) {
    KeyShape shape;
    HKEY handle = nullptr;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, key.c_str(), &handle) != ERROR_SUCCESS) return shape;
    RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &shape.subKeys, nullptr, nullptr,
                     &shape.values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(handle);
    return shape;
}

DWORD RunAndWait(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return static_cast<DWORD>(-1);
    }
    WaitForSingleObject(process.hThread, INFINITE);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

void SetValue(const std::string& key, const char* value) {
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value,
                           static_cast<DWORD>(lstrlenA(value))),
              ERROR_SUCCESS);
}

class Registration : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        DeleteTree(HKEY_CLASSES_ROOT, progIdKey_);
        DeleteTree(HKEY_CLASSES_ROOT, classKey_);
    }
    void TearDown() override {
        // Leave a clean registration for the tests that use CoCreateInstance.
        DeleteTree(HKEY_CLASSES_ROOT, progIdKey_);
        DeleteTree(HKEY_CLASSES_ROOT, classKey_);
        dll_.registerServer();
        ComTest::TearDown();
    }

    static std::string ShortDllPath() {
        char shortPath[MAX_PATH] = {};
        const DWORD length = GetShortPathNameA(DllPath().c_str(), shortPath, sizeof(shortPath));
        return length > 0 && length < sizeof(shortPath) ? std::string(shortPath) : DllPath();
    }

    const std::string clsid_ = ClsidText();
    const std::string progIdKey_ = kProgId;
    const std::string classKey_ = "CLSID\\" + clsid_;
};

TEST_F(Registration, RegsvrWritesExactlyTheFiveEntries) {
    ASSERT_EQ(clsid_, "{515F9096-5B37-4924-9429-55E63A6DFFA5}");
    ASSERT_EQ(RunAndWait("regsvr32.exe /s \"" + DllPath() + "\""), 0u);

    EXPECT_EQ(ClassesRootValue(progIdKey_), "Vantor.VantorPro");
    EXPECT_EQ(ClassesRootValue(classKey_), "Vantor.VantorPro");
    EXPECT_EQ(ClassesRootValue(progIdKey_ + "\\CLSID"), clsid_);
    EXPECT_EQ(ClassesRootValue(classKey_ + "\\ProgID"), "Vantor.VantorPro");
    EXPECT_EQ(ClassesRootValue(classKey_ + "\\InProcServer32"), ShortDllPath());

    // Nothing else: one default value per key, no ThreadingModel, no type
    // library, no version-independent ProgID.
    EXPECT_EQ(ShapeOf(progIdKey_).subKeys, 1u);
    EXPECT_EQ(ShapeOf(progIdKey_).values, 1u);
    EXPECT_EQ(ShapeOf(classKey_).subKeys, 2u);
    EXPECT_EQ(ShapeOf(classKey_).values, 1u);
    EXPECT_EQ(ShapeOf(classKey_ + "\\InProcServer32").values, 1u);
    EXPECT_EQ(ShapeOf(classKey_ + "\\InProcServer32").subKeys, 0u);
}

TEST_F(Registration, ExistingProgIdAndClassValuesAreKeptTheRestReplaced) {
    SetValue(progIdKey_, "Kept ProgID value");
    SetValue(classKey_, "Kept class value");
    SetValue(progIdKey_ + "\\CLSID", "{00000000-0000-0000-0000-000000000000}");
    SetValue(classKey_ + "\\ProgID", "Stale.ProgId");
    SetValue(classKey_ + "\\InProcServer32", "C:\\stale\\old.dll");

    ASSERT_EQ(dll_.registerServer(), S_OK);

    EXPECT_EQ(ClassesRootValue(progIdKey_), "Kept ProgID value");
    EXPECT_EQ(ClassesRootValue(classKey_), "Kept class value");
    EXPECT_EQ(ClassesRootValue(progIdKey_ + "\\CLSID"), clsid_);
    EXPECT_EQ(ClassesRootValue(classKey_ + "\\ProgID"), "Vantor.VantorPro");
    EXPECT_EQ(ClassesRootValue(classKey_ + "\\InProcServer32"), ShortDllPath());
}

TEST_F(Registration, ExistingKeysWithoutValueGetOne) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, progIdKey_.c_str(), &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, classKey_.c_str(), &key), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(dll_.registerServer(), S_OK);

    EXPECT_EQ(ClassesRootValue(progIdKey_), "Vantor.VantorPro");
    EXPECT_EQ(ClassesRootValue(classKey_), "Vantor.VantorPro");
}

TEST_F(Registration, RegisteredClassIsCreatableByClsidAndByProgId) {
    ASSERT_EQ(dll_.registerServer(), S_OK);

    Ref<IDeviceDriver> byClsid;
    EXPECT_EQ(CoCreateInstance(kClsidModulePro, nullptr, CLSCTX_INPROC_SERVER, kIidDeviceDriver,
                               byClsid.Out()),
              S_OK);
    EXPECT_TRUE(byClsid);

    CLSID fromProgId{};
    ASSERT_EQ(CLSIDFromProgID(L"Vantor.VantorPro", &fromProgId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(fromProgId, kClsidModulePro));
    Ref<IPortSharing> byProgId;
    EXPECT_EQ(CoCreateInstance(fromProgId, nullptr, CLSCTX_INPROC_SERVER, kIidPortSharing,
                               byProgId.Out()),
              S_OK);
    EXPECT_TRUE(byProgId);

    // Two creations, two distinct objects.
    Ref<IUnknown> first;
    Ref<IUnknown> second;
    ASSERT_EQ(byClsid.As(IID_IUnknown, &first), S_OK);
    ASSERT_EQ(byProgId.As(IID_IUnknown, &second), S_OK);
    EXPECT_NE(first.Get(), second.Get());
}

}  // namespace
}  // namespace vantor::test
