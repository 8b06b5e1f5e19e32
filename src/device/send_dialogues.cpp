// The two send dialogues of AT+CMGS (3GPP TS 27.005 3.5.1 text mode, 4.3 PDU
// mode) and the SMS-SUBMIT they carry.
#include <cstdio>
#include <cstring>

#include "device/gsm_modem.h"
#include "diag/trace.h"
#include "link/exchange.h"
#include "os/os.h"
#include "sms/pdu_encode.h"

namespace vantor {

namespace {

constexpr std::uint8_t kCtrlZ = 0x1A;  // ends the message input
constexpr std::uint8_t kEsc = 0x1B;    // abandons the message input
// The longest SMS-SUBMIT TPDU of TS 23.040 9.2.2.2: first octet, TP-MR,
// 12 octets of TP-DA, TP-PID, TP-DCS, 7 octets of TP-VP, TP-UDL and 140
// octets of user data. A full message to a 13-digit international number
// needs 155.
constexpr int kMaxTpduOctets = 164;
constexpr int kMaxTextBody = 160;      // bytes of a text-mode body
constexpr std::uint32_t kRetryPauseMs = 10;
constexpr char kSendCommand[] = "AT+CMGS=";

// The Tele field as a terminated text, whatever was stored in it.
void CopyTele(const char (&tele)[kTeleSize], char (&out)[kTeleSize]) noexcept {
    std::memcpy(out, tele, kTeleSize);
    out[kTeleSize - 1] = '\0';
}

// A final error result: ERROR, +CMS ERROR: <n> or +CME ERROR: <n>, once its
// line has ended.
bool HoldsFinalError(const char* text) noexcept {
    const char* error = std::strstr(text, "ERROR");
    return error != nullptr && std::strchr(error, '\r') != nullptr;
}

// The "> " prompt of TS 27.005 3.5.1 / 3.5.4, or an error instead of it.
link::Heard HeardPrompt(const char* text, std::int32_t) noexcept {
    if (std::strchr(text, '>') != nullptr) return link::Heard::kAwaited;
    if (HoldsFinalError(text)) return link::Heard::kRefused;
    return link::Heard::kNothingYet;
}

// The final result of a message that went out: "+CMGS: <mr>" and OK, or a
// refusal. What the modem echoed of the message (a text-mode body may hold
// any words) ends with its Ctrl-Z, which the message itself never holds, so
// only what follows the last Ctrl-Z is looked at. A bare OK without +CMGS
// is how some modems of the family refuse a message.
link::Heard HeardSendResult(const char* text, std::int32_t) noexcept {
    const char* ctrlZ = std::strrchr(text, static_cast<char>(kCtrlZ));
    const char* from = ctrlZ != nullptr ? ctrlZ + 1 : text;
    const char* result = std::strstr(from, "+CMGS");
    if (result != nullptr && std::strstr(result, "OK\r\n") != nullptr) return link::Heard::kAwaited;
    if (HoldsFinalError(from)) return link::Heard::kRefused;
    if (result == nullptr && std::strstr(from, "OK\r\n") != nullptr) return link::Heard::kRefused;
    return link::Heard::kNothingYet;
}

void TraceUnknownOutcome(int part, int parts) noexcept {
    char where[32] = "";
    if (parts > 1) std::snprintf(where, sizeof where, " part %d/%d", part, parts);
    Trace("Send outcome unknown%s: no final result within %u s of the Ctrl-Z; not sent again\n",
          where, static_cast<unsigned>(kSendResultLimitMs / 1000));
}

}  // namespace

int CGsmModem::Makecode(char* pdu, std::int32_t* count) noexcept {
    char tele[kTeleSize];
    CopyTele(Tele, tele);
    char body[sms::kBodySize];
    Trace("Message Len=%d\n", sms::JoinBody(MsgSend[0], MsgSend[1], body));
    const int done = sms::Makecode(tele, MsgSend[0], MsgSend[1], CodeMod, pdu, count);
    if (done == 0) return 0;
    Trace("nLen=%d\n", static_cast<int>(*count));
    Trace("Makecode%s", pdu);
    return 1;
}

// One AT+CMGS dialogue for the PDU text `pdu` (`count` characters; one more
// byte of room for the Ctrl-Z). Each answer is taken as soon as it has come.
int CGsmModem::SendPduOnce(char* pdu, std::int32_t count) noexcept {
    // TPDU length in octets, without the leading SMSC length octet.
    const int n = static_cast<int>(count) / 2 - 1;
    if (n > kMaxTpduOctets) return kSendFailed;

    char command[32] = {};
    Trace("szSEND nLen=%d\n", static_cast<int>(sizeof kSendCommand - 1));
    const int commandLength = std::snprintf(command, sizeof command, "%s%d", kSendCommand, n);
    Trace("bufCMD nLen = %d\n", commandLength);
    // CR alone: below 19200 baud a line feed behind it can be taken into the
    // PDU (the TC35 manual's AT+CMGS notes).
    command[commandLength] = '\r';
    Trace("! IN LinklevelSend 1 nLen=%d!\n", commandLength + 1);
    // A late answer or an ESC's OK still waiting would be read as this
    // dialogue's prompt or result.
    link::CleanLine(PortHandle);
    if (!LinklevelSend(reinterpret_cast<const std::uint8_t*>(command), commandLength + 1))
        return kSendFailed;

    std::uint8_t answer[kAnswerSize] = {};
    std::int32_t answerLength = 0;
    if (link::Await(*this, answer, &answerLength, HeardPrompt, link::AwaitBound::kSilence,
                    link::kAnswerLimitMs) != link::Heard::kAwaited) {
        // The modem may still be waiting for the PDU: leave its input mode.
        LinklevelSend(&kEsc, 1);
        return kSendFailed;
    }
    Trace("!LinklevelReceive 1 success ! nLen =%d \n", static_cast<int>(answerLength));
    link::NoteEcho(*this, answer, answerLength, reinterpret_cast<const std::uint8_t*>(command),
                   commandLength + 1);

    pdu[count] = static_cast<char>(kCtrlZ);
    if (!LinklevelSend(reinterpret_cast<const std::uint8_t*>(pdu), count + 1)) {
        // Cut short, the PDU lost its Ctrl-Z and the modem still takes input:
        // leave it, or it swallows the commands that follow.
        LinklevelSend(&kEsc, 1);
        return kSendFailed;
    }
    Trace("!LinklevelSend 2 Success! nLen=%d \n\n", static_cast<int>(count + 1));

    // The message has gone out: only the modem's own verdict ends the wait.
    const link::Heard heard = link::Await(*this, answer, &answerLength, HeardSendResult,
                                          link::AwaitBound::kLimitOnly, kSendResultLimitMs);
    if (heard == link::Heard::kAwaited) {
        Trace("!LinklevelReceive 2 Success! nLen=%d\n", static_cast<int>(answerLength));
        return kSendDone;
    }
    Trace("!LinklevelReceive 2 Failure! nLen=%d \n", static_cast<int>(answerLength));
    return heard == link::Heard::kRefused ? kSendFailed : kSendUnknown;
}

int CGsmModem::SendPduMessage(int attemptsPerPart) noexcept {
    if (attemptsPerPart < 1) attemptsPerPart = 1;
    char pdu[sms::kPduTextSize] = {};
    std::int32_t count = 0;
    sms::SubmitBody body;
    const int parts = sms::SplitBody(MsgSend[0], MsgSend[1], CodeMod, &body);

    if (parts <= 1) {
        // A single message, built afresh for every attempt as it always was.
        for (int attempt = 1;; ++attempt) {
            std::memset(pdu, 0, sizeof pdu);
            count = 0;
            const int result = Makecode(pdu, &count) == 0 ? kSendFailed : SendPduOnce(pdu, count);
            if (result == kSendDone) return kSendDone;
            if (result == kSendUnknown) {
                TraceUnknownOutcome(1, 1);
                return kSendUnknown;
            }
            Trace("<<<<<<<<<<failure time %d", attempt);
            os::Sleep(kRetryPauseMs);
            if (attempt >= attemptsPerPart) return kSendFailed;
        }
    }

    // A concatenated message: every part must be sendable before the first
    // goes out, so that a refusal cannot leave a message half sent.
    char tele[kTeleSize];
    CopyTele(Tele, tele);
    for (int k = 0; k < parts; ++k) {
        if (sms::EncodePart(tele, body, k, 0, pdu, &count) == 0 ||
            static_cast<int>(count) / 2 - 1 > kMaxTpduOctets) {
            Trace("Message of %d parts: part %d cannot be sent\n", parts, k + 1);
            return kSendFailed;
        }
    }
    const std::uint8_t reference = ConcatReference++;
    Trace("Message of %d parts, reference %d\n", parts, static_cast<int>(reference));
    for (int k = 0; k < parts; ++k) {
        for (int attempt = 1;; ++attempt) {
            std::memset(pdu, 0, sizeof pdu);
            count = 0;
            sms::EncodePart(tele, body, k, reference, pdu, &count);
            Trace("Sending part %d/%d: %s\n", k + 1, parts, pdu);
            const int result = SendPduOnce(pdu, count);
            if (result == kSendDone) break;
            if (result == kSendUnknown) {
                TraceUnknownOutcome(k + 1, parts);
                return kSendUnknown;
            }
            Trace("<<<<<<<<<<failure time %d part %d/%d", attempt, k + 1, parts);
            os::Sleep(kRetryPauseMs);
            if (attempt >= attemptsPerPart) return kSendFailed;
        }
    }
    return kSendDone;
}

int CGsmModem::SendTextMessage() noexcept {
    // Everything that can be refused is checked before the modem hears of it.
    // Text mode cannot carry a user data header: one message, 160 bytes.
    char tele[kTeleSize];
    CopyTele(Tele, tele);
    if (!sms::IsDialableNumber(tele)) return kSendFailed;
    char body[sms::kBodySize + 2];
    const int length = sms::JoinBody(MsgSend[0], MsgSend[1], body);
    if (length > kMaxTextBody) return kSendFailed;
    // Ctrl-Z or ESC inside would end or abandon the input early.
    if (std::memchr(body, kCtrlZ, static_cast<std::size_t>(length)) != nullptr ||
        std::memchr(body, kEsc, static_cast<std::size_t>(length)) != nullptr)
        return kSendFailed;

    char command[64] = {};
    const int commandLength =
        std::snprintf(command, sizeof command, "%s\"%s\"\r", kSendCommand, tele);
    link::CleanLine(PortHandle);
    if (!WritePort(reinterpret_cast<const std::uint8_t*>(command), commandLength))
        return kSendFailed;

    std::uint8_t answer[kAnswerSize] = {};
    std::int32_t answerLength = 0;
    const link::Heard prompt = link::Await(*this, answer, &answerLength, HeardPrompt,
                                           link::AwaitBound::kSilence, link::kAnswerLimitMs);
    link::NoteEcho(*this, answer, answerLength, reinterpret_cast<const std::uint8_t*>(command),
                   commandLength);
    if (prompt != link::Heard::kAwaited) {
        WritePort(&kEsc, 1);
        return kSendFailed;
    }

    body[length] = static_cast<char>(kCtrlZ);
    body[length + 1] = '\r';
    if (!WritePort(reinterpret_cast<const std::uint8_t*>(body), length + 2)) {
        WritePort(&kEsc, 1);  // the body was cut: leave the message input
        return kSendFailed;
    }

    const link::Heard heard = link::Await(*this, answer, &answerLength, HeardSendResult,
                                          link::AwaitBound::kLimitOnly, kSendResultLimitMs);
    if (heard == link::Heard::kAwaited) return kSendDone;
    if (heard == link::Heard::kRefused) return kSendFailed;
    TraceUnknownOutcome(1, 1);
    return kSendUnknown;
}

}  // namespace vantor
