// A serial port opened only to ask a modem questions: 8 data bits, no
// parity, one stop bit, no flow control, DTR and RTS on. Used by the
// commissioning check; the module itself is not involved.
#pragma once

#include <windows.h>

#include <string>

#include "modem_status.h"

namespace vhost {

class SerialProbe {
public:
    enum class Open { kOpened, kMissing, kBusy, kFailed };

    SerialProbe() = default;
    SerialProbe(const SerialProbe&) = delete;
    SerialProbe& operator=(const SerialProbe&) = delete;
    ~SerialProbe() { Close(); }

    // Opens COM<number>; `error` is GetLastError() when it fails.
    Open OpenPort(int number, unsigned long& error);
    bool SetBaud(int baud);
    void Close();

    // Sends `command` and CR, then collects the answer until its final
    // result code or `timeoutMs` of waiting in all.
    AtAnswer Ask(const std::string& command, DWORD timeoutMs);

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace vhost
