// The journal of one device object. The device reports what its dialogues
// came to, one call per outcome; the lines wait in a fixed buffer and are
// written when the host's call ends (Flush), after the dialogues they record,
// never during one. A call in which nothing happened writes nothing, reads
// no setting and allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "at/answer.h"
#include "journal/event.h"
#include "journal/send_outcome.h"
#include "sms/received.h"

namespace vantor::journal {

class Recorder {
public:
    // The device's port: the name of the port it holds, read whenever a line
    // is made, or when it holds none (its reopening failed) the name it was
    // configured with (32 bytes, perhaps unterminated).
    Recorder(const char* port, const char* configuredPort) noexcept
        : port_(port), configuredPort_(configuredPort) {}
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // --- a send ---
    // A send of `text` to `number` (ANSI code page texts, as the host wrote
    // them) and what it came to: a line for each refusal, then one for the
    // message (sent, outcome unknown, or not sent when no refusal says why).
    void Sent(const char* number, const char* text, const SendOutcome& outcome) noexcept;
    // A verdict that came `seconds` after its part's Ctrl-Z, once its send
    // had ended with the outcome unknown: "+CMGS: <mr>" (`sent`, reference
    // `mr`) or a refusal. One line of its own, whatever send runs now.
    void LateVerdict(const char* number, const char* text, int part, int parts, bool sent, int mr,
                     const at::Refusal& refusal, unsigned seconds) noexcept;

    // --- status reports ---
    // What the service centre reported on part `part` of `parts` of the
    // message of `text` to `number` (ANSI code page texts) that went out
    // with reference `mr`: `state` (0 delivered, 1 still trying, 2 not
    // delivered), TP-Status and its meaning, when it was delivered or last
    // tried (TP-DT), and how many seconds after the service centre took the
    // message (-1 unknown). A report on no message the device knows has
    // `parts` 0 and an empty text: the parts field stays empty.
    struct Delivery {
        int state = 0;
        int status = 0;
        const char* meaning = nullptr;
        sms::TimeStamp discharged;
        std::int64_t seconds = -1;
        bool wholeMessage = false;  // the last part of a long message delivered: all of it is
    };
    void Reported(const char* number, const char* text, int part, int parts, int mr,
                  const Delivery& delivery) noexcept;

    // --- the rest ---
    // A listing showed this message; journaled the first time the module
    // sees it, every character as it came.
    void Listed(const sms::Received& message, bool unread) noexcept;
    // AT+CMGD=<index> and the modem's answer; `deleted` when it said OK.
    void Deleted(int index, const std::uint8_t* answer, std::size_t length, bool deleted) noexcept;
    // The link tests failed `failures` times in a row and the port was
    // reopened (or could not be).
    void LinkLost(int failures, bool reopened) noexcept;
    // A link test passed; journaled only when the link was lost.
    void LinkPassed() noexcept;
    // The modem restarted; `format` is the message format restored, -1 when
    // the host had chosen none.
    void Restarted(int format) noexcept;

    // Writes what waits. Nothing reaches the host: a journal that cannot be
    // written is traced (once an hour) and its lines dropped; lines whose
    // file another program holds open wait in the module (see day_file.h),
    // and a call with nothing new tries them again once a minute.
    void Flush() noexcept;

    // Bytes of lines waiting, for tests.
    std::size_t Waiting() const noexcept { return used_; }

    // A send's line is at most a few hundred bytes (a 508-byte GBK text
    // widens to about 760 in UTF-8), a received message's up to about 2 KB
    // (640 characters); the buffer holds a busy poll's lines, and a fuller
    // one is written between two dialogues.
    static constexpr std::size_t kBufferSize = 16 * 1024;

private:
    Event& Begin(EventKind kind) noexcept;
    void Put(const Event& event) noexcept;

    const char* port_;
    const char* configuredPort_;
    char lines_[kBufferSize] = {};
    std::size_t used_ = 0;
    os::SystemTime day_{};  // the local day of the lines in lines_
    Event event_;           // the line being made

    bool linkLost_ = false;
    std::uint32_t lostAt_ = 0;
};

// Forgets what the module's journal remembers (messages seen, the writer's
// state), as a new process would: for tests.
void ForgetModuleState() noexcept;

}  // namespace vantor::journal
