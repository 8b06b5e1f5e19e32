#include "journal/settings.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "os/unique_handle.h"

namespace vantor::journal {
namespace {

// A REG_DWORD value; `fallback` when it is absent, of another type or 0.
std::uint32_t ReadNumber(os::HKey key, const char* name, std::uint32_t fallback) noexcept {
    std::uint32_t value = 0;
    std::uint32_t type = 0;
    std::uint32_t size = sizeof value;
    if (os::RegQueryValueExA(key, name, &type, reinterpret_cast<std::uint8_t*>(&value), &size) !=
            os::kErrorSuccess ||
        type != os::kRegDword || size != sizeof value || value == 0)
        return fallback;
    return value;
}

bool IsOffWord(const char* text) noexcept {
    std::size_t i = 0;
    for (; kOffWord[i] != '\0'; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != kOffWord[i]) return false;
    return text[i] == '\0';
}

// The folder value: 1 when it names a folder into `folder`; 0 when it is
// absent, empty, or cannot be used (too long, not a REG_SZ): the default
// folder then.
int ReadFolder(os::HKey key, char (&folder)[os::kMaxPath]) noexcept {
    char text[os::kMaxPath + 1] = {};
    std::uint32_t type = 0;
    std::uint32_t size = os::kMaxPath;
    const std::int32_t status = os::RegQueryValueExA(
        key, kFolderValue, &type, reinterpret_cast<std::uint8_t*>(text), &size);
    if (status != os::kErrorSuccess || type != os::kRegSz) return 0;
    text[size < os::kMaxPath ? size : os::kMaxPath] = '\0';
    std::size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\\' || text[length - 1] == '/' || text[length - 1] == ' '))
        text[--length] = '\0';
    if (length == 0) return 0;
    std::memcpy(folder, text, length + 1);
    return 1;
}

}  // namespace

Settings ReadSettings() noexcept {
    Settings s;
    os::UniqueKey key;
    int named = 0;
    if (os::RegOpenKeyExA(os::kHkeyLocalMachine, kRegistryKey, 0, os::kKeyQueryValue, key.Put()) ==
        os::kErrorSuccess) {
        named = ReadFolder(key.Get(), s.folder);
        s.days = ReadNumber(key.Get(), kDaysValue, kDefaultDays);
        s.megabytes = ReadNumber(key.Get(), kMegabytesValue, kDefaultMegabytes);
        s.dayMegabytes = ReadNumber(key.Get(), kDayMegabytesValue, kDefaultDayMegabytes);
    }
    if (named == 1 && IsOffWord(s.folder)) {
        s.on = false;
        s.folder[0] = '\0';
        return s;
    }
    if (named == 1) {
        s.chosen = true;
        return s;
    }
    char common[os::kMaxPath] = {};
    const int n = os::SHGetFolderPathA(os::kCsidlCommonAppData, common) == 0
                      ? std::snprintf(s.folder, sizeof s.folder, "%s\\%s", common, kDefaultSubfolder)
                      : -1;
    if (n <= 0 || n >= static_cast<int>(sizeof s.folder)) {
        s.on = false;
        s.folder[0] = '\0';
    }
    return s;
}

bool DeliveryReportsOn() noexcept {
    os::UniqueKey key;
    std::uint32_t value = 1;
    std::uint32_t type = 0;
    std::uint32_t size = sizeof value;
    // Absent, or not a REG_DWORD: the default, on.
    if (os::RegOpenKeyExA(os::kHkeyLocalMachine, kRegistryKey, 0, os::kKeyQueryValue, key.Put()) !=
            os::kErrorSuccess ||
        os::RegQueryValueExA(key.Get(), kDeliveryReportsValue, &type, reinterpret_cast<std::uint8_t*>(&value),
                             &size) != os::kErrorSuccess ||
        type != os::kRegDword || size != sizeof value)
        return true;
    return value != 0;
}

}  // namespace vantor::journal
