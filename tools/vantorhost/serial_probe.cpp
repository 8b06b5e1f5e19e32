#include "serial_probe.h"

#include <cstdio>

namespace vhost {

SerialProbe::Open SerialProbe::OpenPort(int number, unsigned long& error) {
    Close();
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", number);
    handle_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle_ != INVALID_HANDLE_VALUE) return Open::kOpened;
    error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Open::kMissing;
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return Open::kBusy;
    return Open::kFailed;
}

bool SerialProbe::SetBaud(int baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return false;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!SetCommState(handle_, &dcb)) return false;
    // Reads return what has arrived after at most 50 ms; Ask keeps the
    // overall deadline.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 50;
    timeouts.WriteTotalTimeoutConstant = 1000;
    return SetCommTimeouts(handle_, &timeouts) != FALSE;
}

void SerialProbe::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

AtAnswer SerialProbe::Ask(const std::string& command, DWORD timeoutMs) {
    // Whatever waits (an unsolicited line, the rest of an earlier answer)
    // is not part of this answer.
    PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    const std::string line = command + "\r";
    DWORD written = 0;
    if (!WriteFile(handle_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
        return {};
    }
    std::string received;
    AtAnswer answer;
    const DWORD started = GetTickCount();
    while (GetTickCount() - started < timeoutMs && received.size() < 8192) {
        char buffer[256];
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, sizeof buffer, &got, nullptr)) break;
        if (got == 0) continue;
        received.append(buffer, got);
        answer = ParseAnswer(received, command);
        if (answer.end != AtAnswer::End::kNone) break;
    }
    return ParseAnswer(received, command);
}

}  // namespace vhost
