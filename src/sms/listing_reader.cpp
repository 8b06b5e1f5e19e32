// The AT+CMGL answer read as it arrives. Outside a message body the answer is
// read line by line: "+CMGL:" starts an entry, the final result ends the
// answer, anything else (the echo's line feed, blank lines, indications) is
// passed over. In text mode the header carries the body's length (AT+CSDH=1,
// 3GPP TS 27.005 3.3.3), and the body is taken by that count, whole: line
// breaks, "+CMGL:" or "OK" lines inside it are text, never structure.
#include "sms/listing_reader.h"

#include <cstring>

#include "sms/received_read.h"

namespace vantor::sms {
namespace {

constexpr char kMarker[] = "+CMGL:";
constexpr std::size_t kMarkerLength = sizeof kMarker - 1;
// <length> counts characters; a body shown as hex (8-bit data, or UCS-2
// through AT+CSCS) takes 2 or 4 bytes per unit. The most any body can take.
constexpr std::size_t kMaxBody = 4 * 160;

}  // namespace

ListingReader::ListingReader(Format format, Received* records, int slots) noexcept
    : format_(format), records_(records), slots_(slots) {
    Restart();
}

void ListingReader::Restart() noexcept {
    inMessage_ = false;
    entries_ = 0;
    status_ = at::Verdict::kNotYet;
    replayFrom_ = replayEnd_ = 0;
    Next();
}

at::Verdict ListingReader::Take(const char* bytes, std::size_t length) noexcept {
    for (std::size_t k = 0; k < length && state_ != State::kDone; ++k) {
        inMessage_ = state_ == State::kBody || state_ == State::kPduLine;
        Step(bytes[k]);
        ReadReplay();
    }
    return status_;
}

// Bytes a body took that turned out not to be its own are read again.
void ListingReader::ReadReplay() noexcept {
    while (replayFrom_ < replayEnd_ && state_ != State::kDone) Step(replay_[replayFrom_++]);
}

void ListingReader::Step(char c) noexcept {
    if (state_ == State::kBody) {
        TakeBody(c);
        return;
    }
    if (c == '\n') {
        status_ = EndOfLine();
        return;
    }
    // A line longer than the entry area is cut; what is kept still ends at
    // the line's own line break.
    if (used_ < kEntrySize - 1) entry_[used_++] = c;
}

// A whole line has come (without its '\n'; a '\r' before it is dropped).
at::Verdict ListingReader::EndOfLine() noexcept {
    std::size_t end = used_;
    if (end > bodyStart_ && entry_[end - 1] == '\r') --end;
    const char* line = entry_ + bodyStart_;
    const std::size_t lineLength = end - bodyStart_;

    if (state_ == State::kPduLine) {
        // An entry cut off before its PDU: the next header or the final
        // result follows at once.
        if (at::StartsWith(line, lineLength, kMarker) ||
            at::FinalResult(line, lineLength) != at::Verdict::kNotYet) {
            used_ = bodyStart_ - 2;  // the header alone
            FinishPduEntry();
            std::memmove(entry_, line, lineLength);
            used_ = lineLength;
            bodyStart_ = 0;
            state_ = State::kLine;
            return EndOfLine();
        }
        used_ = end;
        FinishPduEntry();
        Next();
        return at::Verdict::kNotYet;
    }

    const at::Verdict result = at::FinalResult(line, lineLength);
    if (result != at::Verdict::kNotYet) {
        state_ = State::kDone;
        return result;
    }
    // A header that leaves no room for the longest PDU line is no header a
    // modem sends: noise on the line, or a faulty modem. It is dropped, and
    // what follows it is read on.
    if (!at::StartsWith(line, lineLength, kMarker) || lineLength > kMaxHeaderLine) {
        Next();
        return at::Verdict::kNotYet;
    }
    used_ = end;
    if (format_ == Format::kPdu) {
        // The entry is the header line, its line break and the PDU line.
        entry_[used_++] = '\r';
        entry_[used_++] = '\n';
        bodyStart_ = used_;
        state_ = State::kPduLine;
        return at::Verdict::kNotYet;
    }
    StartTextEntry();
    return at::Verdict::kNotYet;
}

void ListingReader::FinishPduEntry() noexcept {
    if (entries_ < slots_) ReadPduEntry(entry_, used_, &records_[entries_]);
    ++entries_;
}

Received& ListingReader::Current() noexcept {
    return entries_ < slots_ ? records_[entries_] : spare_;
}

void ListingReader::StartTextEntry() noexcept {
    int bodyLength = -1;
    switch (ReadTextHeader(entry_ + kMarkerLength, entry_ + used_, &Current(), &bodyLength)) {
        case TextHeader::kNone:
            Next();
            return;
        case TextHeader::kStatusReport:
            // A report has no body line: the next line is the listing's own.
            ++entries_;
            Next();
            return;
        case TextHeader::kMessage:
            break;
    }
    used_ = 0;
    bodyStart_ = 0;
    bodySeen_ = 0;
    firstBreak_ = kNoBreak;
    // Without a usable length (a modem that ignored AT+CSDH=1) the body can
    // only end at its first line break.
    announced_ = bodyLength;
    counted_ = bodyLength >= 0 && static_cast<std::size_t>(bodyLength) <= kMaxBody;
    bodyLength_ = counted_ ? static_cast<std::size_t>(bodyLength) : 0;
    state_ = State::kBody;
}

// The body. When a CR LF stands right after <length> bytes, the body is
// those bytes, whatever line breaks they hold. Otherwise the body ends at its
// first line break: so it does for a body shown as hex (its <length> counts
// octets or characters, two or four digits each, and hex holds no line
// break), and so it must for a count that fits nothing. What was read beyond
// that line while the count was awaited is read again as the listing's own.
void ListingReader::TakeBody(char c) noexcept {
    const char before = bodySeen_ > 0 ? previous_ : '\0';
    previous_ = c;
    if (used_ < kEntrySize - 1) entry_[used_++] = c;
    ++bodySeen_;
    if (c == '\n' && firstBreak_ == kNoBreak) {
        breakEnd_ = bodySeen_;
        firstBreak_ = bodySeen_ - (before == '\r' ? 2 : 1);
    }
    if (counted_) {
        // <length> is at most kMaxBody, well inside the entry area.
        if (bodySeen_ < bodyLength_ + 2) return;
        if (entry_[bodyLength_] == '\r' && entry_[bodyLength_ + 1] == '\n') {
            FinishTextEntry(bodyLength_);
            return;
        }
        counted_ = false;
    }
    if (firstBreak_ != kNoBreak) EndAtFirstBreak();
}

// Ends the body at its first line break and queues what it read beyond that
// line to be read again. A first line longer than the entry area was cut;
// then nothing was read beyond it.
void ListingReader::EndAtFirstBreak() noexcept {
    const std::size_t kept = used_;
    FinishTextEntry(firstBreak_ < kept ? firstBreak_ : kept);
    if (breakEnd_ < kept) Replay(entry_ + breakEnd_, kept - breakEnd_);
}

at::Verdict ListingReader::End() noexcept {
    if (state_ != State::kBody || !counted_ || firstBreak_ == kNoBreak) return status_;
    EndAtFirstBreak();
    ReadReplay();
    return status_;
}

// Queues `length` bytes to be read before the rest of the pending replay.
void ListingReader::Replay(const char* bytes, std::size_t length) noexcept {
    if (length == 0) return;
    const std::size_t rest = replayEnd_ - replayFrom_;
    if (length + rest > sizeof replay_) return;  // cannot happen: see kReplaySize
    std::memmove(replay_ + length, replay_ + replayFrom_, rest);
    std::memmove(replay_, bytes, length);
    replayFrom_ = 0;
    replayEnd_ = length + rest;
}

void ListingReader::FinishTextEntry(std::size_t bodyLength) noexcept {
    if (entries_ < slots_) ReadTextBody(entry_, bodyLength, announced_, &records_[entries_]);
    ++entries_;
    Next();
}

void ListingReader::Next() noexcept {
    used_ = 0;
    bodyStart_ = 0;
    state_ = State::kLine;
}

}  // namespace vantor::sms
