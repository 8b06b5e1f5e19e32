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
constexpr int kMaxTpduOctets = 154;    // the most the modem takes after AT+CMGS=
constexpr int kMaxTextBody = 160;      // bytes of a text-mode body
constexpr std::uint32_t kPromptPauseMs = 200;
constexpr std::uint32_t kResultPauseMs = 500;
constexpr std::uint32_t kTextStepPauseMs = 1000;
constexpr std::uint32_t kTextResultPauseMs = 5000;
constexpr char kSendCommand[] = "AT+CMGS=";

// The Tele field as a terminated text, whatever was stored in it.
void CopyTele(const char (&tele)[kTeleSize], char (&out)[kTeleSize]) noexcept {
    std::memcpy(out, tele, kTeleSize);
    out[kTeleSize - 1] = '\0';
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

int CGsmModem::SendPduMessage() noexcept {
    char pdu[sms::kPduTextSize] = {};
    std::int32_t count = 0;
    if (Makecode(pdu, &count) == 0) return 0;

    // TPDU length in octets, without the leading SMSC length octet.
    const int n = static_cast<int>(count) / 2 - 1;
    if (n > kMaxTpduOctets) return 0;

    char command[32] = {};
    Trace("szSEND nLen=%d\n", static_cast<int>(sizeof kSendCommand - 1));
    const int commandLength = std::snprintf(command, sizeof command, "%s%d", kSendCommand, n);
    Trace("bufCMD nLen = %d\n", commandLength);
    std::memcpy(command + commandLength, "\r\n", 2);
    Trace("! IN LinklevelSend 1 nLen=%d!\n", commandLength + 2);
    // A late answer or an ESC's OK still waiting would be read as this
    // dialogue's prompt or result.
    link::CleanLine(PortHandle);
    if (!LinklevelSend(reinterpret_cast<const std::uint8_t*>(command), commandLength + 2)) return 0;
    os::Sleep(kPromptPauseMs);

    std::uint8_t answer[kAnswerSize] = {};
    std::int32_t answerLength = 0;
    if (!LinklevelReceive(answer, &answerLength, WaitPrompt)) {
        // The modem may still be waiting for the PDU: leave its input mode.
        LinklevelSend(&kEsc, 1);
        return 0;
    }
    Trace("!LinklevelReceive 1 success ! nLen =%d \n", static_cast<int>(answerLength));
    link::NoteEcho(*this, answer, answerLength, reinterpret_cast<const std::uint8_t*>(command),
                   commandLength + 2);

    pdu[count] = static_cast<char>(kCtrlZ);
    if (!LinklevelSend(reinterpret_cast<const std::uint8_t*>(pdu), count + 1)) {
        // Cut short, the PDU lost its Ctrl-Z and the modem still takes input:
        // leave it, or it swallows the commands that follow.
        LinklevelSend(&kEsc, 1);
        return 0;
    }
    Trace("!LinklevelSend 2 Success! nLen=%d \n\n", static_cast<int>(count + 1));
    os::Sleep(kResultPauseMs);

    std::memset(answer, 0, sizeof answer);
    answerLength = 0;
    const int sent = LinklevelReceive(answer, &answerLength, WaitSendResult);
    if (sent) Trace("!LinklevelReceive 2 Success! nLen=%d\n", static_cast<int>(answerLength));
    else Trace("!LinklevelReceive 2 Failure! nLen=%d \n", static_cast<int>(answerLength));
    return sent;
}

int CGsmModem::SendTextMessage() noexcept {
    // Everything that can be refused is checked before the modem hears of it.
    char tele[kTeleSize];
    CopyTele(Tele, tele);
    if (!sms::IsDialableNumber(tele)) return 0;
    char body[sms::kBodySize + 2];
    const int length = sms::JoinBody(MsgSend[0], MsgSend[1], body);
    if (length > kMaxTextBody) return 0;
    // Ctrl-Z or ESC inside would end or abandon the input early.
    if (std::memchr(body, kCtrlZ, static_cast<std::size_t>(length)) != nullptr ||
        std::memchr(body, kEsc, static_cast<std::size_t>(length)) != nullptr)
        return 0;

    char command[64] = {};
    const int commandLength =
        std::snprintf(command, sizeof command, "%s\"%s\"\r", kSendCommand, tele);
    link::CleanLine(PortHandle);
    if (!WritePort(reinterpret_cast<const std::uint8_t*>(command), commandLength)) return 0;
    os::Sleep(kTextStepPauseMs);

    std::uint8_t chunk[kReadChunk + 1] = {};
    std::uint32_t got = 0;
    ReadPort(chunk, &got);
    chunk[got] = 0;
    link::NoteEcho(*this, chunk, static_cast<std::int32_t>(got),
                   reinterpret_cast<const std::uint8_t*>(command), commandLength);
    if (got == 0 || std::memchr(chunk, '>', got) == nullptr) {
        WritePort(&kEsc, 1);
        return 0;
    }
    os::Sleep(kTextStepPauseMs);

    body[length] = static_cast<char>(kCtrlZ);
    body[length + 1] = '\r';
    if (!WritePort(reinterpret_cast<const std::uint8_t*>(body), length + 2)) {
        WritePort(&kEsc, 1);  // the body was cut: leave the message input
        return 0;
    }
    os::Sleep(kTextResultPauseMs);

    std::uint8_t answer[kAnswerSize] = {};
    std::int32_t answerLength = 0;
    return LinklevelReceive(answer, &answerLength, WaitSendResult);
}

}  // namespace vantor
