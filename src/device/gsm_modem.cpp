// CGsmModem: construction, the slots this device leaves empty, the entry for
// every packet the host hands in, and its line operations as calls into the
// link with the object's own line state.
#include "device/gsm_modem.h"

#include <cstring>

#include "link/exchange.h"

namespace vantor {

CGsmModem::CGsmModem() noexcept {
    line.Unsolicited = reports.Table();
    ErrCount = 0;
    ReSTime = 0;
    EDelay = 60;
    SReturn = 0;
    CodeMod = 1;
    MsgFormat = 0;
    std::memset(MsgSend, 0, sizeof MsgSend);
    std::memset(MsgOld, 0, sizeof MsgOld);
    std::memset(MsgInf, 0, sizeof MsgInf);
    std::memset(MsgNew, 0, sizeof MsgNew);
    std::memset(MsgNec, 0, sizeof MsgNec);
    MsgSend[0][0] = '^';
    std::memset(Tele, '0', kTeleSize - 1);
    Tele[kTeleSize - 1] = '\0';
}

// The port belongs to the owner, which closes it before deleting the device.
CGsmModem::~CGsmModem() = default;

// Slots with no work in this device: fixed results, no state touched.
int CGsmModem::Reserved1(std::int32_t, std::int32_t) noexcept { return 1; }
int CGsmModem::Reserved2(std::int32_t, std::int32_t, std::int32_t, std::int32_t) noexcept { return 1; }
int CGsmModem::Reserved3(std::int32_t, std::int32_t, std::int32_t, std::int32_t) noexcept { return 0; }
int CGsmModem::Reserved6(std::int32_t, std::int32_t, std::int32_t) noexcept { return 0; }
int CGsmModem::Reserved10(std::int32_t, std::int32_t, std::int32_t) noexcept { return 0; }
int CGsmModem::Reserved11(std::int32_t, std::int32_t, std::int32_t) noexcept { return 1; }

int CGsmModem::IsCommandRegister(std::int32_t kind) noexcept {
    switch (kind) {
        case kCMGF: case kCSCA: case kCMGD: case kNEW: case kOLD:
            return 1;
        default:
            return 0;  // AT runs through the link-test rules, the rest have no command
    }
}

int CGsmModem::ProcessPacket(const IoPacket* packet, std::int32_t deliveryFlag) noexcept {
    if (packet == nullptr) return 0;
    // A kept value is read and written without modem traffic, also after a
    // restart: the format waits for the next packet that talks to the modem.
    const bool talks = TalksToModem(packet->kind);
    if (talks) format_.RestoreAfterRestart(health_.Admits(kCMGF));
    const int result = packet->writeFlag != 0 ? (WriteCycle(packet, deliveryFlag) != 0 ? 1 : 0)
                                              : ReadCycle(packet, deliveryFlag);
    // The dialogues of this call are over: what they came to is journaled,
    // with a late send verdict one of them read. A call the modem answered
    // then sets it up for delivery reports where needed: after its own
    // dialogues, so that the call's bound stays its own.
    sender_.TakeLateVerdict();
    if (talks && result == 1)
        deliveries_.KeepSetUp(health_.Admits(kCMGF), packet->kind == kSEND && packet->writeFlag != 0);
    deliveries_.Settle();
    journal_.Flush();
    return result;
}

bool CGsmModem::TalksToModem(std::int32_t kind) noexcept {
    return IsCommandRegister(kind) != 0 || kind == kAT || kind == kSEND;
}

int CGsmModem::Exchange(std::uint8_t* buffer, std::int32_t* length, std::int32_t) noexcept {
    return link::Exchange(line, buffer, length);
}

int CGsmModem::LinkTest(std::int32_t enable, std::int32_t, std::int32_t) noexcept {
    if (enable == 0 || !link::Holds(line)) return 0;
    return link::ProbeLine(line);
}

int CGsmModem::LinklevelSend(const std::uint8_t* bytes, std::int32_t length) noexcept {
    return link::Send(line, bytes, length);
}

int CGsmModem::LinklevelReceive(std::uint8_t* buffer, std::int32_t* length,
                                std::int32_t mode) noexcept {
    return link::Receive(line, buffer, length, mode);
}

int CGsmModem::IsAnswerComplete(const char* text, std::int32_t length, std::int32_t mode) noexcept {
    return link::IsAnswerComplete(text, length, mode);
}

// The contract's send operations on the message the registers hold now.
int CGsmModem::Makecode(char* pdu, std::int32_t* count) noexcept {
    if (pdu == nullptr || count == nullptr) return 0;
    MakeOutgoing(*this, &outgoing_);
    return Sender::EncodePdu(outgoing_, -1, 0, pdu, count);
}

void CGsmModem::TakeOutgoing() noexcept {
    MakeOutgoing(*this, &outgoing_);
    outgoing_.body.statusReport = deliveries_.Asked();
}

int CGsmModem::SendPduMessage(int attemptsPerPart) noexcept {
    TakeOutgoing();
    return SendResultOf(sender_.SendPdu(outgoing_, attemptsPerPart));
}

int CGsmModem::SendTextMessage(int attempts) noexcept {
    TakeOutgoing();
    return SendResultOf(sender_.SendText(outgoing_, attempts));
}

int CGsmModem::SendWithRetries() noexcept {
    TakeOutgoing();
    const journal::SendOutcome outcome =
        MsgFormat != 0 ? sender_.SendText(outgoing_, ReSTime) : sender_.SendPdu(outgoing_, ReSTime);
    journal_.Sent(outgoing_.tele, outgoing_.text, outcome);
    deliveries_.Remember(outgoing_, outcome);
    const bool sent = outcome.result == journal::SendOutcome::Result::kSent;
    SReturn = sent ? 1 : 2;
    return sent ? 1 : 0;
}

}  // namespace vantor
