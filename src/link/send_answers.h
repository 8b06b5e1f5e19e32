// What a send dialogue awaits (AT+CMGS, 3GPP TS 27.005 3.5.1 text mode, 4.3
// PDU mode): the "> " prompt before the message, and the verdict after it.
#pragma once

#include "at/answer.h"

namespace vantor::link {

inline constexpr char kCtrlZ = 0x1A;  // ends the message input
inline constexpr char kEsc = 0x1B;    // abandons the message input

// The prompt: a '>' anywhere (it comes without a line end), or a final error
// line instead of it.
class Prompt final : public at::Matcher {
public:
    at::Verdict Take(const char* bytes, std::size_t length) noexcept override;
    void Restart() noexcept override { lines_.Clear(); }
    // What the modem refused with, after kRefused.
    const at::Refusal& Refused() const noexcept { return refusal_; }

private:
    at::LineSplitter lines_;
    at::Refusal refusal_;
};

// The end of an AT+CMGS given up before its message was written: its final
// result (the OK to the ESC that left the input, or the refusal the command
// met). kDone once it came; kRefused when the modem prompted and nothing
// final followed in the same bytes: it waits for a message, and must be
// left again.
class AbandonedSend final : public at::Matcher {
public:
    at::Verdict Take(const char* bytes, std::size_t length) noexcept override;
    void Restart() noexcept override {
        lines_.Clear();
        prompt_ = false;
    }

private:
    at::LineSplitter lines_;
    bool prompt_ = false;  // a '>' in the line not yet ended
};

// The verdict on a message that went out: a "+CMGS: <mr>" line and then OK,
// or a refusal. What the modem echoed of the message (a text-mode body may
// hold any words) ends with its Ctrl-Z, which the message itself never
// holds, so only what follows the last Ctrl-Z counts. A bare OK without
// +CMGS is how some modems of the family refuse a message.
class SendVerdict final : public at::Matcher {
public:
    at::Verdict Take(const char* bytes, std::size_t length) noexcept override;
    void Restart() noexcept override;
    // What the modem refused with, after kRefused.
    const at::Refusal& Refused() const noexcept { return refusal_; }
    // The message reference of the +CMGS line (TS 27.005 3.5.1 <mr>), -1
    // when none came or it held no number.
    int Reference() const noexcept { return messageReference_; }
    // ": <mr>[,<scts>]" after "+CMGS": the number, 0 to 255, or -1.
    static int ReferenceOf(const char* text, std::size_t length) noexcept;

private:
    at::LineSplitter lines_;
    bool reference_ = false;  // the +CMGS line came
    int messageReference_ = -1;
    at::Refusal refusal_;
};

}  // namespace vantor::link
