// ReadWholeFile: a file's bytes through the Win32 file calls, or "" when it
// cannot be opened. Shared by the host emulator and the Win32 tests, which
// read files the module or another process may still hold open for append.
#pragma once

#include <windows.h>

#include <string>

namespace vantor::com {

inline std::string ReadWholeFile(const std::string& path) {
    const HANDLE f = CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[16384];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(f);
    return text;
}

}  // namespace vantor::com
