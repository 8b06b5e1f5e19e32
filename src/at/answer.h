// The vocabulary of a modem's answers that every dialogue shares: what an
// answer so far comes to, which lines end an answer, and the interface of
// the readers that decide when an answer is complete.
#pragma once

#include <cstddef>

namespace vantor::at {

// What an answer so far comes to.
enum class Verdict {
    kNotYet,   // more is to come
    kDone,     // what was awaited has come
    kRefused,  // the modem said no
};

// The final result codes that end an answer (ITU-T V.25ter 5.7.1 with
// verbose results, 3GPP TS 27.005 3.2.5, TS 27.007 9.2): "OK" is kDone;
// "ERROR", "+CMS ERROR: <n>" and "+CME ERROR: <n>" are kRefused; any other
// line is kNotYet. `line` is one whole line without its line end.
Verdict FinalResult(const char* line, std::size_t length) noexcept;

// True when the `length` bytes of `line` begin with the text `prefix`.
bool StartsWith(const char* line, std::size_t length, const char* prefix) noexcept;

// The code a refusal carries: "+CMS ERROR: <n>" (TS 27.005 3.2.5), "+CME
// ERROR: <n>" (TS 27.007 9.2), or none (a plain ERROR, or an answer that
// refused without a result code).
struct Refusal {
    enum class Kind { kNone, kCms, kCme };
    Kind kind = Kind::kNone;
    int code = -1;
};

// The refusal a final result line carries (see FinalResult).
Refusal RefusalOf(const char* line, std::size_t length) noexcept;

// Reads an answer as it arrives and says when it is complete. Take gets the
// bytes in order, in pieces of any size; Restart forgets what came so far
// (the answer starts again, e.g. at its command's echo).
class Matcher {
public:
    virtual Verdict Take(const char* bytes, std::size_t length) noexcept = 0;
    virtual void Restart() noexcept = 0;
    // The line has gone quiet with no verdict: a reader that held bytes back
    // (waiting to see what they are) decides with what it has.
    virtual Verdict End() noexcept { return Verdict::kNotYet; }
    // True when the line the last byte taken belongs to (or ended) is a
    // message's own: a listed body or PDU line, whatever it spells. No
    // unsolicited result code stands there, so none is looked for.
    virtual bool InMessage() const noexcept { return false; }
    // True for a reader whose answers hold messages (InMessage may be true):
    // it is handed an answer line by line.
    virtual bool ReadsMessages() const noexcept { return false; }

protected:
    ~Matcher() = default;
};

// Cuts bytes into lines: a line ends at LF, and a CR just before that LF is
// not part of it. Keeps the first kKept bytes of each line, 64 by default,
// which is all a result line needs; a longer line is marked cut.
template <std::size_t Kept>
class BasicLineSplitter {
public:
    static constexpr std::size_t kKept = Kept;

    // Takes one byte; true when it ended a line, which Line() then holds.
    bool Step(char c) noexcept {
        if (c != '\n') {
            if (length_ < kKept) line_[length_] = c;
            ++length_;
            return false;
        }
        std::size_t n = length_ < kKept ? length_ : kKept;
        if (n > 0 && line_[n - 1] == '\r') --n;
        kept_ = n;
        cut_ = length_ > kKept;
        length_ = 0;
        return true;
    }

    // The last line ended; a cut line reads as no result at all.
    Verdict Result() const noexcept { return cut_ ? Verdict::kNotYet : FinalResult(line_, kept_); }
    const char* Text() const noexcept { return line_; }
    std::size_t Length() const noexcept { return kept_; }
    void Clear() noexcept { length_ = 0; }

private:
    char line_[kKept] = {};
    std::size_t length_ = 0;  // bytes of the line so far, kept or not
    std::size_t kept_ = 0;    // of the last line ended
    bool cut_ = false;
};
using LineSplitter = BasicLineSplitter<64>;

}  // namespace vantor::at
