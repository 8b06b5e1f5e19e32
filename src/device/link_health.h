// The health of the link: the link test with its back-off, and the gate that
// holds other traffic while the link tests fail.
//
// State: ErrCount, the register (the link tests failed in a row, then the
// reads skipped after the port was reopened), changed only here; EDelay, the
// register that sets how many reads are skipped, is only read.
#pragma once

#include <cstdint>

#include "journal/recorder.h"
#include "link/serial_port.h"

namespace vantor {

class LinkHealth {
public:
    LinkHealth(link::Line& line, journal::Recorder& journal, std::int32_t& errCount,
               const std::uint32_t& eDelay) noexcept
        : line_(line), journal_(journal), errCount_(errCount), eDelay_(eDelay) {}

    // While link tests fail only the link test itself may reach the modem.
    bool Admits(std::int16_t kind) const noexcept;

    // Whether the link test talks to the modem now: false while the reads
    // after a reopened port are skipped (each counts on towards the limit).
    bool TestDue() noexcept;

    // What the link test's exchange came to. Failures count up in ErrCount;
    // the fifth in a row reopens the port, and the following reads up to
    // the limit EDelay / 30 + 8 are skipped without traffic, giving the
    // modem time to recover before it is asked again.
    void Tested(bool answered) noexcept;

private:
    link::Line& line_;
    journal::Recorder& journal_;
    std::int32_t& errCount_;
    const std::uint32_t& eDelay_;
};

}  // namespace vantor
