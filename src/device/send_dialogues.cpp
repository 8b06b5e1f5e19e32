// Sending a message: the one AT+CMGS dialogue of both modes (3GPP TS 27.005
// 3.5.1 text mode, 4.3 PDU mode), the messages it carries (an SMS-SUBMIT PDU,
// its parts, or a text-mode body), and the one retry rule for all of them.
#include <cstdio>
#include <cstring>

#include "device/concat_reference.h"
#include "device/sender.h"
#include "device/send_refusals.h"
#include "diag/at_errors.h"
#include "diag/trace.h"
#include "link/chat.h"
#include "link/exchange.h"
#include "link/send_answers.h"
#include "os/os.h"
#include "sms/pdu_encode.h"
#include "sms/text_mode.h"

namespace vantor {

namespace {

// The longest SMS-SUBMIT TPDU of TS 23.040 9.2.2.2: first octet, TP-MR,
// 12 octets of TP-DA, TP-PID, TP-DCS, 7 octets of TP-VP, TP-UDL and 140
// octets of user data. A full message to a 13-digit international number
// needs 155.
constexpr int kMaxTpduOctets = 164;
// The pause after an attempt that failed without saying why (silence, or a
// refusal without a known code): PDU mode tries again almost at once, text
// mode gives the modem half a second.
constexpr std::uint32_t kPduRetryPauseMs = 10;
constexpr std::uint32_t kTextRetryPauseMs = 500;
// After a temporary refusal (a congested network, a busy SIM) the pause
// doubles from 1 s up to 8 s. No attempt starts once the send has taken
// kRetryWindowMs: a send call then ends within that window plus one attempt.
constexpr std::uint32_t kFirstBackOffMs = 1000;
constexpr std::uint32_t kLongestBackOffMs = 8000;
constexpr std::uint32_t kRetryWindowMs = 60000;
constexpr char kSendCommand[] = "AT+CMGS=";
// How long a modem may take with the prompt, whatever the host's reply
// time-out. In text mode a second. In PDU mode the modem has always been
// given 200 ms and then polls of 500 ms until one reply time-out has passed:
// the first poll after the time-out still finds the prompt.
constexpr std::uint32_t kTextPromptWindowMs = 1000;
std::uint32_t PduPromptWindowMs(std::int32_t replyTimeout) noexcept {
    const std::uint32_t timeout = replyTimeout < 0 ? 0u : static_cast<std::uint32_t>(replyTimeout);
    return 200 + 500 * (timeout / 500 + 1);
}

// "+CMS ERROR: 42, congestion" and the like, or "no result code".
void RefusalText(const at::Refusal& r, char* out, std::size_t size) noexcept {
    char code[32];
    const char* meaning = nullptr;
    if (!DescribeRefusal(r, code, &meaning)) {
        std::snprintf(out, size, "no result code");
        return;
    }
    std::snprintf(out, size, "%s%s%s", code, meaning != nullptr ? ", " : "", meaning != nullptr ? meaning : "");
}

void TraceUnknownOutcome(int part, int parts) noexcept {
    char where[32] = "";
    if (parts > 1) std::snprintf(where, sizeof where, " part %d/%d", part, parts);
    Trace("Send outcome unknown%s: no final result within %u s of the Ctrl-Z; not sent again\n",
          where, static_cast<unsigned>(kSendResultLimitMs / 1000));
}

}  // namespace

// One AT+CMGS dialogue: the command line, the prompt, the message with its
// Ctrl-Z, the verdict. Each answer is taken as soon as it has come.
Sender::Attempt Sender::Submit(const Submission& s) noexcept {
    std::uint8_t answer[kAnswerSize] = {};
    std::int32_t answerLength = 0;
    const link::Answer kept{answer, &answerLength, link::Overflow::kKeepNewest, 0};
    // The prompt counts only after the command's echo from a modem that
    // echoes (what comes before it is an earlier command's), and after what
    // the line owes earlier dialogues from one that does not. The verdict is
    // looked for in everything after the message: what the modem echoed of
    // the message ends with its Ctrl-Z.
    const link::Pacing pacing = link::Pacing::Prompt(s.promptWindowMs);

    Trace("! IN LinklevelSend 1 nLen=%d!\n", s.commandLength);
    link::Prompt prompt;
    const link::Command command{reinterpret_cast<const std::uint8_t*>(s.command), s.commandLength,
                                "Tx: ", 0};
    const link::Outcome heard = link::Chat(line_, command, prompt, pacing, &kept);
    if (!heard.written) return {};
    if (heard.verdict == at::Verdict::kRefused) {
        link::Send(line_, reinterpret_cast<const std::uint8_t*>(&link::kEsc), 1);
        Attempt refused;
        refused.refusal = prompt.Refused();
        refused.refusedAtPrompt = true;
        return refused;
    }
    if (heard.verdict != at::Verdict::kDone) {
        // The modem may still prompt, late (also one that has not echoed the
        // command yet: its output may be held up behind earlier answers).
        LeaveInput(s.promptWindowMs);
        return {};
    }
    Trace("!LinklevelReceive 1 success ! nLen =%d \n", static_cast<int>(answerLength));

    if (!link::Send(line_, reinterpret_cast<const std::uint8_t*>(s.message), s.messageLength)) {
        // Cut short, the message lost its Ctrl-Z and the modem still takes
        // input: leave it, or it swallows the commands that follow.
        LeaveInput(s.promptWindowMs);
        return {};
    }
    Trace("!LinklevelSend 2 Success! nLen=%d \n\n", s.messageLength);

    // The message has gone out: only the modem's own verdict ends the wait.
    link::SendVerdict verdict;
    const at::Verdict result =
        link::Chat(line_, link::Command{}, verdict, link::Pacing::Verdict(kSendResultLimitMs), &kept).verdict;
    if (result == at::Verdict::kDone) {
        Trace("!LinklevelReceive 2 Success! nLen=%d\n", static_cast<int>(answerLength));
        Attempt sent;
        sent.result = kSendDone;
        sent.reference = verdict.Reference();
        return sent;
    }
    Trace("!LinklevelReceive 2 Failure! nLen=%d \n", static_cast<int>(answerLength));
    if (result == at::Verdict::kRefused) return {kSendFailed, verdict.Refused(), false};
    // The verdict may still come: it is owed, and read whenever it does.
    link::Owe(line_, true);
    return {kSendUnknown, {}, false};
}

// ESC leaves the message input (the TC35 acknowledges it with OK; a command
// that was refused meanwhile has ended with its error). That final result is
// awaited for one more prompt window, so that no later dialogue reads it as
// its own: a prompt that comes instead (the modem did not take the ESC before
// it prompted) gets another ESC. What has not come by then stays owed on the
// line, and the next dialogue reads it first.
void Sender::LeaveInput(std::uint32_t windowMs) noexcept {
    constexpr int kMostEscapes = 4;
    // The prompt's window as the prompt had it: never less than the reply
    // time-out.
    const std::uint32_t timeout = line_.ReplyTimeout < 0 ? 0u : static_cast<std::uint32_t>(line_.ReplyTimeout);
    const std::uint32_t limitMs = windowMs > timeout ? windowMs : timeout;
    const std::uint32_t begun = os::GetTickCount();
    const bool verdictOwed = line_.Owed.verdict;
    link::AbandonedSend end;
    for (int escapes = 0; escapes < kMostEscapes; ++escapes) {
        const std::uint32_t taken = os::GetTickCount() - begun;
        if (taken >= limitMs) break;
        if (!link::Send(line_, reinterpret_cast<const std::uint8_t*>(&link::kEsc), 1)) return;
        const link::Pacing pacing = link::Pacing::Verdict(limitMs - taken);
        const at::Verdict v = link::Chat(line_, link::Command{}, end, pacing, nullptr).verdict;
        if (v == at::Verdict::kDone) return;
        if (v != at::Verdict::kRefused) break;
    }
    // A message's verdict that came meanwhile shows a modem busy with it,
    // which heard nothing of this attempt.
    if (verdictOwed && line_.Late.came) return;
    Trace("The modem did not end the abandoned send within %u ms: its answer is owed\n",
          static_cast<unsigned>(limitMs));
    link::Owe(line_, false);
}

// A verdict read after its send had given up: journaled with the message it
// belongs to, which the host's retry then need not send again.
bool Sender::TakeLateVerdict(int* reference) noexcept {
    link::LateVerdict& late = line_.Late;
    if (!late.came) return false;
    late.came = false;
    if (!unfinished_.unknown) return false;
    unfinished_.unknown = false;
    const std::uint32_t seconds = (late.at - late.since + kSendResultLimitMs) / 1000;
    const int part = unfinished_.confirmed + 1;
    Trace("Send verdict %u s after the Ctrl-Z: %s\n", static_cast<unsigned>(seconds),
          late.sent ? "sent" : "refused");
    journal_.LateVerdict(unfinished_.tele, unfinished_.body, part, unfinished_.parts, late.sent,
                         late.reference, late.refusal, seconds);
    if (!late.sent) return false;
    ++unfinished_.confirmed;
    // The send that resumes this message takes the part into its outcome;
    // otherwise it waits for its status report here.
    if (reference != nullptr) *reference = late.reference;
    else deliveries_.RememberLate(unfinished_.tele, unfinished_.body, part, unfinished_.parts, late.reference);
    return true;
}

// The one retry rule: each part is tried up to `attempts` times while it is
// refused. A refusal that says no attempt can succeed ends the send at once;
// one that says the network or the SIM is busy is tried again after a pause
// that grows; any other failure after `pauseMs`. No attempt starts once the
// send has taken kRetryWindowMs. One whose outcome is unknown (it went out
// and no verdict came) is not tried again: it may have been delivered, and a
// second copy of an alarm is no safer than a failure report.
template <typename MakeAttempt>
int Sender::SendParts(int first, int parts, int attempts, std::uint32_t pauseMs, MakeAttempt attempt,
                      int* confirmed, journal::SendOutcome& outcome) noexcept {
    if (attempts < 1) attempts = 1;
    const std::uint32_t begun = os::GetTickCount();
    std::uint32_t backOff = kFirstBackOffMs;
    for (int k = first; k < parts; *confirmed = ++k) {
        for (int n = 1;; ++n) {
            if (n > 1) outcome.TriedAgain();
            // This part went out in an earlier send and its verdict has come
            // since: it is confirmed, not sent again.
            const bool owedPart = unfinished_.unknown && unfinished_.resumable &&
                                  unfinished_.parts == parts && unfinished_.confirmed == k;
            int lateReference = -1;
            if (TakeLateVerdict(owedPart ? &lateReference : nullptr) && owedPart) {
                outcome.Confirmed(k + 1, lateReference);
                break;
            }
            const Attempt a = attempt(k);
            // A status report read during the attempt is acknowledged now,
            // not when the whole send ends: the modem drops it, and routes
            // no more, once the network's few seconds have passed.
            deliveries_.Acknowledge();
            if (a.result == kSendDone) {
                outcome.Confirmed(k + 1, a.reference);
                break;
            }
            if (a.result == kSendUnknown) {
                TraceUnknownOutcome(k + 1, parts);
                return kSendUnknown;
            }
            outcome.Refused(k + 1, a.refusal, a.unsendable, a.refusedAtPrompt);
            if (parts > 1)
                Trace("<<<<<<<<<<failure time %d part %d/%d", n, k + 1, parts);
            else
                Trace("<<<<<<<<<<failure time %d", n);
            const RefusalClass c = a.unsendable ? RefusalClass::kPermanent : ClassOf(a.refusal);
            char why[96];
            RefusalText(a.refusal, why, sizeof why);
            if (c == RefusalClass::kPermanent) {
                Trace("Send refused (%s): %s, not tried again\n",
                      a.unsendable ? "the modem cannot take this message" : why, NameOf(c));
                return kSendFailed;
            }
            std::uint32_t pause = pauseMs;
            if (c == RefusalClass::kTemporary) {
                if (n >= attempts) return kSendFailed;
                pause = backOff;
                backOff = backOff * 2 > kLongestBackOffMs ? kLongestBackOffMs : backOff * 2;
                Trace("Send refused (%s): %s, trying again in %u ms\n", why, NameOf(c),
                      static_cast<unsigned>(pause));
            }
            const std::uint32_t taken = os::GetTickCount() - begun;
            if (n < attempts && taken + pause >= kRetryWindowMs) {
                Trace("Send not tried again: %u s taken, attempts end after %u s\n",
                      static_cast<unsigned>(taken / 1000),
                      static_cast<unsigned>(kRetryWindowMs / 1000));
                return kSendFailed;
            }
            os::Sleep(pause);
            if (n >= attempts) return kSendFailed;
        }
    }
    return kSendDone;
}

int Sender::EncodePdu(const Outgoing& m, int k, std::uint8_t reference, char* pdu,
                      std::int32_t* count) noexcept {
    std::memset(pdu, 0, sms::kPduTextSize);
    *count = 0;
    if (k < 0 || m.parts <= 1) {
        // The whole body as one message: Makecode's PDU, traced as Makecode
        // traces it.
        Trace("Message Len=%d\n", m.textLength);
        if (sms::EncodeWhole(m.tele, m.body, pdu, count) == 0) return 0;
        Trace("nLen=%d\n", static_cast<int>(*count));
        Trace("Makecode%s", pdu);
        return 1;
    }
    if (sms::EncodePart(m.tele, m.body, k, reference, pdu, count) == 0) return 0;
    Trace("Sending part %d/%d: %s\n", k + 1, m.parts, pdu);
    return 1;
}

// One PDU-mode attempt for the PDU text `pdu` (`count` characters; one more
// byte of room for the Ctrl-Z).
Sender::Attempt Sender::SubmitPdu(char* pdu, std::int32_t count) noexcept {
    // TPDU length in octets, without the leading SMSC length octet.
    const int n = static_cast<int>(count) / 2 - 1;
    if (n > kMaxTpduOctets) return {kSendFailed, {}, true};

    char command[32] = {};
    Trace("szSEND nLen=%d\n", static_cast<int>(sizeof kSendCommand - 1));
    const int commandLength = std::snprintf(command, sizeof command, "%s%d", kSendCommand, n);
    Trace("bufCMD nLen = %d\n", commandLength);
    // CR alone: below 19200 baud a line feed behind it can be taken into the
    // PDU (the TC35 manual's AT+CMGS notes).
    command[commandLength] = '\r';
    pdu[count] = link::kCtrlZ;
    return Submit({command, commandLength + 1, pdu, count + 1, PduPromptWindowMs(line_.ReplyTimeout)});
}

journal::SendOutcome Sender::SendPdu(const Outgoing& m, int attemptsPerPart) noexcept {
    char pdu[sms::kPduTextSize] = {};
    std::int32_t count = 0;
    if (m.parts > 1) {
        // A concatenated message: every part must be sendable before the
        // first goes out, so that a refusal cannot leave a message half sent.
        for (int k = 0; k < m.parts; ++k) {
            if (sms::EncodePart(m.tele, m.body, k, 0, pdu, &count) == 0 ||
                static_cast<int>(count) / 2 - 1 > kMaxTpduOctets) {
                Trace("Message of %d parts: part %d cannot be sent\n", m.parts, k + 1);
                unfinished_.resumable = false;
                journal::SendOutcome unsendable;
                unsendable.parts = m.parts;
                return unsendable;
            }
        }
    }
    return SendMessage(m, m.parts > 1 ? m.parts : 1, attemptsPerPart, kPduRetryPauseMs,
                       [&](int k, std::uint8_t reference) noexcept {
        if (EncodePdu(m, k, reference, pdu, &count) == 0) return Attempt{kSendFailed, {}, true};
        return SubmitPdu(pdu, count);
    });
}

template <typename MakeAttempt>
journal::SendOutcome Sender::SendMessage(const Outgoing& m, int parts, int attempts,
                                         std::uint32_t pauseMs, MakeAttempt attempt) noexcept {
    journal::SendOutcome outcome;
    outcome.parts = parts;
    // What waits on the line may be a late verdict on this very message.
    if (unfinished_.unknown) link::DrainLine(line_, true);
    TakeLateVerdict();
    int confirmed = 0;
    std::uint8_t reference = 0;
    bool verdictOwed = false;  // a copy of the first part to send awaits its verdict
    const bool same = unfinished_.Is(m.tele, m.text, m.codeMod, parts);
    if (same && unfinished_.confirmed >= parts) {
        // Every part was confirmed, the last one late: nothing to send.
        Trace("Sent before: the modem confirmed this message late; not sent again\n");
        unfinished_ = UnfinishedSend{};
        outcome.alreadySent = true;
        outcome.result = journal::SendOutcome::Result::kSent;
        return outcome;
    }
    if (same && unfinished_.resumable) {
        verdictOwed = unfinished_.unknown;
        reference = unfinished_.reference;
        confirmed = unfinished_.confirmed;
        if (parts > 1)
            Trace("resuming message of %d parts, reference %d, from part %d\n", parts,
                  static_cast<int>(reference), confirmed + 1);
    } else {
        unfinished_.resumable = false;  // another message: the unfinished one is not resumed
        if (parts > 1) {
            reference = NextConcatReference();
            Trace("Message of %d parts, reference %d\n", parts, static_cast<int>(reference));
        }
    }
    const int from = confirmed;
    const int result = SendParts(
        confirmed, parts, attempts, pauseMs, [&](int k) noexcept { return attempt(k, reference); },
        &confirmed, outcome);
    // A retry the modem did not hear (it was still busy with the earlier
    // copy) leaves that copy's verdict owed.
    verdictOwed = verdictOwed && confirmed == from && line_.Owed.verdict;
    unfinished_.resumable = false;
    // Not finished: a part was refused, or went out with no verdict (it may
    // have arrived: its verdict is owed and read whenever it comes; if none
    // has come by the retry, it is sent again, since a phone drops a part it
    // already has under the same reference, but a missing part loses the
    // message).
    if (result != kSendDone)
        unfinished_.Remember(m.tele, m.text, m.codeMod, parts, reference, confirmed,
                             result == kSendUnknown || verdictOwed);
    outcome.result = result == kSendDone      ? journal::SendOutcome::Result::kSent
                     : result == kSendUnknown ? journal::SendOutcome::Result::kUnknown
                                              : journal::SendOutcome::Result::kNotSent;
    return outcome;
}

// Text mode cannot carry a user data header: one message of at most 160
// bytes. Everything that can be refused is checked before the modem hears of
// it.
Sender::Attempt Sender::SubmitText(const Outgoing& m) noexcept {
    constexpr Attempt kUnsendable{kSendFailed, {}, true};
    if (!sms::IsDialableNumber(m.tele)) return kUnsendable;
    // The modem reads the body in its own alphabet. A character it has no
    // code for cannot go in text mode; Ctrl-Z and ESC, which would end or
    // abandon the input early, are among them.
    sms::TextModeBody body;
    if (!sms::EncodeTextModeBody(m.text, m.textLength, &body)) {
        if (body.missing != 0) {
            char shown[8] = {};
            const int n = os::WideCharToMultiByte(&body.missing, 1, shown, sizeof shown - 1, nullptr);
            shown[n > 0 ? n : 0] = '\0';
            Trace("Text mode cannot carry U+%04X %s (not in the GSM alphabet): PDU mode (CMGF 0) "
                  "carries it\n", static_cast<unsigned>(body.missing), shown);
        }
        return kUnsendable;
    }

    char command[64] = {};
    const int commandLength =
        std::snprintf(command, sizeof command, "%s\"%s\"\r", kSendCommand, m.tele);
    body.line[body.length] = link::kCtrlZ;
    body.line[body.length + 1] = '\r';
    const Submission submission{command, commandLength, body.line, body.length + 2,
                                kTextPromptWindowMs};
    const Attempt a = Submit(submission);
    // Refused instead of the prompt: perhaps a restarted modem, back in PDU
    // mode. Once text mode is back, the message is tried again at once.
    if (a.result == kSendFailed && a.refusedAtPrompt && format_.RestoreTextMode()) return Submit(submission);
    return a;
}

journal::SendOutcome Sender::SendText(const Outgoing& m, int attempts) noexcept {
    return SendMessage(m, 1, attempts, kTextRetryPauseMs,
                       [&](int, std::uint8_t) noexcept { return SubmitText(m); });
}

}  // namespace vantor
