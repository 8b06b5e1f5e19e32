// The PortConfig a host fills for the modem's line: 8 data bits, no parity,
// one stop bit, the name cut to fit its 32-byte field with its terminator.
// Shared by the native and Windows tests, the fuzzers and the benchmarks.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "host/records.h"

namespace vantor::test {

inline PortConfig MakePortConfig(const std::string& port, std::int32_t baud = 9600,
                                 std::int16_t replyTimeoutMs = 500) {
    PortConfig config{};
    std::strncpy(config.portName, port.c_str(), sizeof(config.portName) - 1);
    config.baudRate = baud;
    config.dataBits = 8;
    config.stopBits = 1;
    config.parity = 0;
    config.replyTimeout = replyTimeoutMs;
    return config;
}

}  // namespace vantor::test
