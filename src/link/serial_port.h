// The serial line: its state, and opening, closing, reopening, reading and
// writing it. Every call into the seam's serial functions is made in src/link.
#pragma once

#include <cstdint>

#include "host/records.h"
#include "link/owed_answers.h"
#include "link/unsolicited.h"
#include "os/os.h"

namespace vantor {

// Buffer sizes of the line. A request or answer lives in kAnswerSize bytes
// (8191 bytes and the NUL that ends the text); one raw read takes at most
// kReadChunk bytes, the rest stays queued for the next read.
inline constexpr int kAnswerSize = 8192;
inline constexpr int kReadChunk = 512;
inline constexpr int kDefaultReplyTimeoutMs = 5000;

}  // namespace vantor

namespace vantor::link {

// The baud rates OpenPort accepts (the host's range). The TC35 also runs at
// 115200 (AT+IPR): a modem fixed above 57600 must be set lower to be used.
inline constexpr std::int32_t kMinBaudRate = 300;
inline constexpr std::int32_t kMaxBaudRate = 57600;

// What the line needs between calls: the open handle, the reply time-out of the
// last configuration, and that configuration itself for reopening the port.
// The field names are those of the driver object, which holds this state.
struct Line {
    os::Handle PortHandle = os::kInvalidHandle;
    std::int32_t ReplyTimeout = kDefaultReplyTimeoutMs;
    PortConfig StoredConfig{};
    // Which opening of PortHandle this object holds (see port_handles.h): a
    // borrowed value that the system has since handed out again is not ours
    // to close, nor to read or write.
    std::uint32_t HandleGeneration = 0;
    // The port that opening is of, so that a line whose opening was closed
    // can follow the port's next opening.
    char PortName[32] = {};
    // The opening was closed and the port not opened again (traced once).
    bool Lost = false;
    // The modem's own lines the device watches for (unsolicited.h).
    UnsolicitedTable Unsolicited;
    // The modem has been seen echoing commands (V.25ter E1, its factory
    // setting). From then on an answer counts only after the echo of its own
    // command, so a late answer to an earlier one cannot complete it. Learned
    // from the answers: see exchange.cpp.
    bool EchoSeen = false;
    // Final results earlier dialogues gave up on, and the late verdict on a
    // message read while paying them (see owed_answers.h).
    OwedAnswers Owed;
    LateVerdict Late;
};

// Copies `config` into line.StoredConfig (unless it is that copy already) and
// opens the named port with its settings. 1 when the port is open.
int OpenPort(Line& line, const PortConfig* config) noexcept;

// Forgets the handle, closing it when this module opened it and nobody closed
// it yet. 0 when no handle was held.
int ClosePort(Line& line) noexcept;

// Takes a handle that another object holds (IPortSharing's SetPortHandle),
// noting which opening of it this is.
void BorrowPort(Line& line, os::Handle handle) noexcept;

// True when the line may do I/O on its handle: the handle is still the
// opening the line took (or one the module did not open, which it cannot
// check). A line whose opening was closed (and perhaps handed out again, for
// another port) does no I/O on it: it takes the module's current opening of
// the same port when there is one, else its calls fail until the port is
// opened again or the host hands it a handle. Traced when that happens.
bool Holds(Line& line) noexcept;

// Closes, pauses, and opens again with the stored configuration.
int ReconnectPort(Line& line) noexcept;

// One never-waiting read of what is queued, at most kReadChunk bytes. 1 with
// *count >= 1 when bytes came; 0 otherwise.
int ReadPort(os::Handle port, std::uint8_t* destination, std::uint32_t* count) noexcept;

// One write call. 1 only when every byte was written: a write cut short by the
// write time-out has lost its end (a PDU's Ctrl-Z, a command's CR).
int WritePort(os::Handle port, const std::uint8_t* bytes, std::int32_t length) noexcept;

}  // namespace vantor::link
