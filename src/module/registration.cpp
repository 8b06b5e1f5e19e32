#include "module/registration.h"

#include <objbase.h>
#include <olectl.h>

#include <cstdio>

namespace vantor::module {
namespace {

constexpr int kKeySize = 300;

// True when the key exists and its default value is not empty. A value too
// long for the probe buffer is a value all the same.
bool HasDefaultValue(const char* key) noexcept {
    char probe[8] = {};
    LONG size = sizeof(probe);
    const LONG status = RegQueryValueA(HKEY_CLASSES_ROOT, key, probe, &size);
    if (status == ERROR_MORE_DATA) return true;
    return status == ERROR_SUCCESS && probe[0] != '\0';
}

LONG SetDefaultValue(const char* key, const char* value) noexcept {
    const DWORD length = static_cast<DWORD>(lstrlenA(value));
    return RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, value, length);
}

// The class identifier as StringFromCLSID writes it: upper-case hex in braces.
bool ClassIdText(const CLSID& clsid, char* text, int size) noexcept {
    LPOLESTR wide = nullptr;
    if (FAILED(StringFromCLSID(clsid, &wide)) || wide == nullptr) return false;
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, -1, text, size, nullptr, nullptr);
    CoTaskMemFree(wide);
    return written > 0;
}

// The module's full path in its 8.3 form, or the long path where the file
// system keeps no short names.
bool ModulePath(HMODULE module, char* path, DWORD size) noexcept {
    char longPath[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, longPath, sizeof(longPath));
    if (length == 0 || length >= sizeof(longPath)) return false;
    const DWORD shortLength = GetShortPathNameA(longPath, path, size);
    if (shortLength == 0 || shortLength >= size) {
        lstrcpynA(path, longPath, static_cast<int>(size));
    }
    return true;
}

}  // namespace

HRESULT RegisterServer(const CLSID& clsid, const char* progId, HMODULE module) noexcept {
    char clsidText[64] = {};
    char path[MAX_PATH] = {};
    if (!ClassIdText(clsid, clsidText, sizeof(clsidText))) return SELFREG_E_CLASS;
    if (!ModulePath(module, path, sizeof(path))) return SELFREG_E_CLASS;

    char classKey[kKeySize];
    char progIdClassKey[kKeySize];
    char classProgIdKey[kKeySize];
    char serverKey[kKeySize];
    std::snprintf(classKey, sizeof(classKey), "CLSID\\%s", clsidText);
    std::snprintf(progIdClassKey, sizeof(progIdClassKey), "%s\\CLSID", progId);
    std::snprintf(classProgIdKey, sizeof(classProgIdKey), "CLSID\\%s\\ProgID", clsidText);
    std::snprintf(serverKey, sizeof(serverKey), "CLSID\\%s\\InProcServer32", clsidText);

    struct Entry {
        const char* key;
        const char* value;
        bool keepExisting;
    };
    const Entry entries[] = {
        {progId, progId, true},
        {classKey, progId, true},
        {progIdClassKey, clsidText, false},
        {classProgIdKey, progId, false},
        {serverKey, path, false},
    };
    for (const Entry& entry : entries) {
        if (entry.keepExisting && HasDefaultValue(entry.key)) continue;
        const LONG status = SetDefaultValue(entry.key, entry.value);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    }
    return S_OK;
}

}  // namespace vantor::module
