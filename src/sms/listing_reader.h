// An AT+CMGL answer read as it arrives (3GPP TS 27.005 3.4.2 text mode, 4.1
// PDU mode): entries become records (sms/received.h) while the modem is
// still sending, so a listing of any length passes through fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "at/answer.h"
#include "sms/listing.h"
#include "sms/received.h"

namespace vantor::sms {

class ListingReader final : public at::Matcher {
public:
    using Format = ListingFormat;

    // The first `slots` entries fill `records` in answer order, later ones
    // are counted and dropped.
    ListingReader(Format format, Received* records, int slots) noexcept;

    // Takes the next bytes of the answer. kDone or kRefused once the final
    // result line (at::FinalResult) has come outside a message body; bytes
    // after it are not looked at.
    at::Verdict Take(const char* bytes, std::size_t length) noexcept override;

    // Reads the answer from its start again.
    void Restart() noexcept override;

    // A text body still waiting for the bytes its <length> announced when
    // the answer went quiet ends at its first line break, and what it held
    // back is read as the listing's own (its final result line, perhaps).
    at::Verdict End() noexcept override;

    // The last byte taken was part of a body or a PDU line, or ended one.
    bool InMessage() const noexcept override { return inMessage_; }
    bool ReadsMessages() const noexcept override { return true; }

    int Entries() const noexcept { return entries_; }

    // An entry as it comes: its header line, then its PDU line or its body.
    // A PDU line is at most 2 * 176 hex digits and a body at most 4 * 160
    // characters (UCS-2 shown as hex); longer lines are cut.
    static constexpr std::size_t kEntrySize = 4096;
    // The longest PDU line: a 12-octet SMSC address and a 176-octet TPDU
    // (3GPP TS 23.040 9.2.2.1, 24.011 8.2.5.2), two hex digits each.
    static constexpr std::size_t kMaxPduLine = 2 * (12 + 176);
    // A header line is kept only when its line break and the longest PDU
    // line still fit behind it in the entry area.
    static constexpr std::size_t kMaxHeaderLine = kEntrySize - 1 - 2 - kMaxPduLine;

private:
    enum class State { kLine, kPduLine, kBody, kDone };

    void Step(char c) noexcept;
    at::Verdict EndOfLine() noexcept;
    void StartTextEntry() noexcept;
    void TakeBody(char c) noexcept;
    void FinishPduEntry() noexcept;
    void FinishTextEntry(std::size_t bodyLength) noexcept;
    void EndAtFirstBreak() noexcept;
    void Replay(const char* bytes, std::size_t length) noexcept;
    void ReadReplay() noexcept;
    void Next() noexcept;
    // The record the entry being read goes to.
    Received& Current() noexcept;

    static constexpr std::size_t kNoBreak = static_cast<std::size_t>(-1);
    // A body gives back at most what it read beyond its first line while its
    // count was awaited: fewer than <length> + 2 bytes, <length> being at
    // most 4 * 160. A replayed body gives back only bytes of the replay.
    static constexpr std::size_t kReplaySize = 4 * 160 + 2;

    Format format_;
    Received* records_;
    int slots_;
    int entries_ = 0;
    at::Verdict status_ = at::Verdict::kNotYet;
    State state_ = State::kLine;
    bool inMessage_ = false;
    char entry_[kEntrySize] = {};
    std::size_t used_ = 0;         // bytes in entry_
    std::size_t bodyStart_ = 0;    // where the body or PDU line starts in entry_
    std::size_t bodyLength_ = 0;   // text mode: <length> from the header
    int announced_ = -1;           // <length> from the header, -1 without one
    bool counted_ = false;         // <length> may still be where the body ends
    std::size_t bodySeen_ = 0;     // bytes of the body so far, kept or not
    std::size_t firstBreak_ = kNoBreak;  // where the body's first line ends
    std::size_t breakEnd_ = 0;     // just past that line's LF
    char previous_ = '\0';         // the body's last byte
    char replay_[kReplaySize] = {};
    std::size_t replayFrom_ = 0;
    std::size_t replayEnd_ = 0;
    Received spare_;  // the text-mode entry beyond the records' room
};

}  // namespace vantor::sms
