#include "unregister.h"

#include <windows.h>
#include <objbase.h>

#include <optional>

#include "console_text.h"
#include "module/interfaces.h"

namespace vhost {
namespace {

std::optional<std::wstring> DefaultValue(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::wstring();
    return std::wstring(value);
}

bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

// The file a path names, in one form for comparing: registration stores the
// 8.3 short path, so both sides go through their long form.
std::wstring Canonical(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    std::wstring out = n > 0 && n < MAX_PATH ? std::wstring(full, n) : path;
    wchar_t longPath[MAX_PATH] = {};
    n = GetLongPathNameW(out.c_str(), longPath, MAX_PATH);
    if (n > 0 && n < MAX_PATH) out.assign(longPath, n);
    CharUpperBuffW(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

enum class Removal { kRemoved, kAbsent, kKept, kFailed };

// Deletes the key's default value when it equals `expected` (ignoring case),
// then the key itself when it is left without values and subkeys.
Removal RemoveEntry(const std::wstring& key, const std::wstring& expected) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &handle) != ERROR_SUCCESS)
        return KeyExists(key) ? Removal::kFailed : Removal::kAbsent;
    const auto value = DefaultValue(key);
    Removal result = Removal::kKept;
    if (value && lstrcmpiW(value->c_str(), expected.c_str()) == 0) {
        const LONG status = RegDeleteValueW(handle, nullptr);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = Removal::kFailed;
    }
    DWORD subkeys = 0, values = 0;
    const LONG info = RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                       nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(handle);
    if (result == Removal::kFailed || info != ERROR_SUCCESS) return Removal::kFailed;
    if (subkeys != 0 || values != 0) return Removal::kKept;
    return RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str()) == ERROR_SUCCESS ? Removal::kRemoved : Removal::kFailed;
}

}  // namespace

int RunUnregister(const std::wstring& dllPath) {
    wchar_t clsid[64] = {};
    StringFromGUID2(vantor::kClsidModulePro, clsid, 64);
    const std::wstring progId = AnsiToWide(vantor::kProgId);
    const std::wstring classKey = std::wstring(L"CLSID\\") + clsid;
    const std::wstring serverKey = classKey + L"\\InProcServer32";

    const auto server = DefaultValue(serverKey);
    if (!server) {
        if (KeyExists(progId) || KeyExists(classKey)) {
            Out("unregister: the class has no InProcServer32 entry; it was not registered by this Vantor.dll, "
                "nothing removed\n");
            return 1;
        }
        Out("unregister: Vantor is not registered; nothing to remove\n");
        return 0;
    }
    if (Canonical(*server) != Canonical(dllPath)) {
        Out("unregister: the class is registered for " + WideToAnsi(*server).value_or("?") + ", not for " +
            WideToAnsi(dllPath).value_or("?") + "; nothing removed\n");
        return 1;
    }
    // Leaves first, so that each parent can go once it is empty.
    struct Entry {
        std::wstring key;
        std::wstring value;
    };
    const Entry entries[] = {
        {serverKey, *server},
        {classKey + L"\\ProgID", progId},
        {classKey, progId},
        {progId + L"\\CLSID", clsid},
        {progId, progId},
    };
    int failed = 0;
    for (const Entry& entry : entries) {
        const Removal removal = RemoveEntry(entry.key, entry.value);
        const char* what = removal == Removal::kRemoved ? "removed"
                           : removal == Removal::kAbsent ? "not there"
                           : removal == Removal::kKept   ? "kept: it holds entries registration did not write"
                                                         : "FAILED";
        Out("  HKCR\\" + WideToAnsi(entry.key).value_or("?") + ": " + what + "\n");
        if (removal == Removal::kFailed) ++failed;
    }
    if (failed != 0) {
        Out("unregister: some entries could not be removed (run as administrator)\n");
        return 1;
    }
    Out("unregister: done\n");
    return 0;
}

}  // namespace vhost
