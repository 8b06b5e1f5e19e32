// ReadWholeFile: a file's bytes through the Win32 file calls, or "" when it
// cannot be opened. Shared by the host emulator, vantorhost's journal and the
// Win32 tests, which read files the module or another process may still hold
// open: the file is opened sharing reading, writing and deletion, so that a
// writer appending to it, or a spreadsheet that holds it open against
// writing, does not keep it from being read.
#pragma once

#include <windows.h>

#include <string>

namespace vantor::com {

// False with the Win32 error when the file cannot be opened or read.
inline bool ReadWholeFile(const std::string& path, std::string& text, DWORD& error) {
    struct Owned {
        HANDLE h;
        ~Owned() {
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    } file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    text.clear();
    if (file.h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    char buffer[16384];
    DWORD got = 0;
    while (true) {
        if (!ReadFile(file.h, buffer, sizeof buffer, &got, nullptr)) {
            error = GetLastError();
            return false;
        }
        if (got == 0) return true;
        text.append(buffer, got);
    }
}

inline std::string ReadWholeFile(const std::string& path) {
    std::string text;
    DWORD error = 0;
    return ReadWholeFile(path, text, error) ? text : std::string();
}

}  // namespace vantor::com
