// CGsmModem: the driver behind one host device object. It holds the settings
// and texts the host reaches through registers and the stores of listed short
// messages, and implements the driver slot table of CDriverBase.
#pragma once

#include <cstdint>
#include <cstring>

#include "device/driver_base.h"
#include "device/modem_reports.h"
#include "device/unfinished_send.h"
#include "host/records.h"
#include "at/answer.h"
#include "journal/recorder.h"
#include "link/exchange.h"
#include "sms/listing.h"
#include "sms/pdu_encode.h"
#include "sms/received.h"

namespace vantor {

inline constexpr int kNewSlots = 10;   // MsgNew / MsgNec
inline constexpr int kOldSlots = 20;   // MsgOld / MsgInf
inline constexpr int kSendSlots = 2;   // MsgSend

// What a send came to. kSendUnknown: a message went out (its Ctrl-Z was
// written) and no final result came within the send-result limit; it may
// have been delivered, so it is not sent again.
enum SendResult : int { kSendFailed = 0, kSendDone = 1, kSendUnknown = 2 };

// How long the final result of a message that went out is awaited, whatever
// the reply time-out: networks often take seconds to confirm.
inline constexpr std::uint32_t kSendResultLimitMs = 60000;

// The settings and texts the host reads and writes through registers, named
// after them. The host reaches them only through those registers, never by
// their place in the object.
struct Registers {
    std::int32_t ErrCount = 0;
    std::uint8_t ReSTime = 0;
    std::uint32_t EDelay = 60;          // 16-bit value; the upper half stays 0
    std::uint8_t SReturn = 0;
    std::uint8_t CodeMod = 1;
    std::int32_t MsgFormat = 0;
    char Tele[kTeleSize] = {};
    Slot MsgSend[kSendSlots] = {};
    Slot MsgOld[kOldSlots] = {};
    Slot MsgInf[kOldSlots] = {};
    Slot MsgNew[kNewSlots] = {};
    Slot MsgNec[kNewSlots] = {};

    bool operator==(const Registers&) const = default;
};

class CGsmModem final : public CDriverBase, public Registers {
public:
    CGsmModem() noexcept;
    ~CGsmModem() override;

    // The modem's own lines, which its line watches for, and what they said.
    ModemReports reports;

    // --- driver slot table ---
    int Reserved1(std::int32_t, std::int32_t) noexcept override;
    int Reserved2(std::int32_t, std::int32_t, std::int32_t, std::int32_t) noexcept override;
    int Reserved3(std::int32_t, std::int32_t, std::int32_t, std::int32_t) noexcept override;
    int BuildRequest(const IoPacket* packet, std::uint8_t* request, std::int32_t* length,
                     std::int32_t* second, std::int32_t deliveryFlag) noexcept override;
    int Exchange(std::uint8_t* buffer, std::int32_t* length, std::int32_t unused) noexcept override;
    int Reserved6(std::int32_t, std::int32_t, std::int32_t) noexcept override;
    int DeliverRaw(const IoPacket* packet, const std::uint8_t* value,
                   std::int32_t length) noexcept override;
    int Deliver(const IoPacket* packet, std::uint8_t* value, std::int32_t length,
                std::int32_t deliveryFlag) noexcept override;
    int ProcessPacket(const IoPacket* packet, std::int32_t deliveryFlag) noexcept override;
    int Reserved10(std::int32_t, std::int32_t, std::int32_t) noexcept override;
    int Reserved11(std::int32_t, std::int32_t, std::int32_t) noexcept override;
    int LinkTest(std::int32_t enable, std::int32_t, std::int32_t) noexcept override;

    // 1 for the plain command registers CMGF, CSCA, CMGD, NEW and OLD.
    static int IsCommandRegister(std::int32_t kind) noexcept;
    // True for the registers whose packets reach the modem: the command
    // registers, the link test AT and SEND; the others are kept values.
    static bool TalksToModem(std::int32_t kind) noexcept;

    // --- cycles (src/device/read_cycle.cpp, src/device/write_cycle.cpp) ---
    int ReadCycle(const IoPacket* packet, std::int32_t deliveryFlag) noexcept;
    int WriteCycle(const IoPacket* packet, std::int32_t deliveryFlag) noexcept;

    // --- exchange (src/link/exchange.cpp) ---
    int LinklevelSend(const std::uint8_t* bytes, std::int32_t length) noexcept;
    int LinklevelReceive(std::uint8_t* buffer, std::int32_t* length, std::int32_t mode) noexcept;
    static int IsAnswerComplete(const char* text, std::int32_t length, std::int32_t mode) noexcept;

    // --- sending (src/device/send_dialogues.cpp) ---
    int Makecode(char* pdu, std::int32_t* count) noexcept;
    // The message, split into parts when it does not fit one; each part gets
    // up to `attemptsPerPart` attempts while it is refused. A SendResult.
    int SendPduMessage(int attemptsPerPart = 1) noexcept;
    // The text-mode message, with up to `attempts` attempts while it is
    // refused. A SendResult.
    int SendTextMessage(int attempts = 1) noexcept;


private:
    static int MessageToDelete(const IoItem* item) noexcept;
    void RestoreAfterRestart() noexcept;
    bool RestoreTextMode() noexcept;
    int SetModemFormat(std::int32_t format) noexcept;
    bool LinkAdmits(std::int16_t kind) const noexcept;
    int RunLinkTest(const IoPacket* packet, std::int32_t deliveryFlag, std::uint8_t* request,
                    std::uint8_t* value, std::int32_t* valueLength) noexcept;
    int ListMessages(std::int16_t kind, const std::uint8_t* request, std::int32_t length,
                     bool formatRestored = false) noexcept;
    int StoreWrite(const IoPacket* packet) noexcept;
    // What one AT+CMGS dialogue puts on the line: the command line with its
    // CR, and the message ended by its Ctrl-Z.
    struct Submission {
        const char* command;
        int commandLength;
        const char* message;
        int messageLength;
        std::uint32_t promptWindowMs;  // the least silence the prompt is awaited
    };
    // What one attempt came to: a SendResult, and for a refusal what the
    // modem said, or that the message could not be put to the modem at all.
    struct Attempt {
        int result = kSendFailed;
        at::Refusal refusal;
        bool unsendable = false;
        bool refusedAtPrompt = false;
        int reference = -1;  // the message reference of +CMGS: <mr>, once sent
    };
    int SendWithRetries() noexcept;
    template <typename MakeAttempt>
    int SendParts(int first, int parts, int attempts, std::uint32_t pauseMs, MakeAttempt attempt,
                  int* confirmed) noexcept;
    // A message of `parts` parts to `tele`, body `text`: the host's retry of
    // the unfinished one goes on from its first part not confirmed, any
    // other starts afresh; what is not finished is remembered.
    // `attempt(k, reference)` makes one attempt of part k.
    template <typename MakeAttempt>
    int SendMessage(const char* tele, const char* text, int parts, int attempts,
                    std::uint32_t pauseMs, MakeAttempt attempt) noexcept;
    Attempt Submit(const Submission& submission) noexcept;
    Attempt SubmitPdu(char* pdu, std::int32_t count) noexcept;
    Attempt SubmitText() noexcept;

    // Applies a late verdict read on the line to the unfinished send it
    // belongs to, and journals it. True when it confirmed a part.
    bool TakeLateVerdict(int* reference = nullptr) noexcept;
    // Leaves a message input the modem may still hold or give after an
    // attempt stopped waiting for it, and awaits the command's end.
    void LeaveInput(std::uint32_t windowMs) noexcept;

    UnfinishedSend unfinished_;

    // The messages of the listing being read, until the modem's OK makes
    // them the host's.
    sms::Received listed_[kOldSlots];

    // The message format the host last set on the modem (-1: none yet). A
    // modem that restarts comes back with its stored format; this one is
    // put back.
    std::int32_t HostFormat = -1;

    // What the dialogues came to, written after each host call.
    journal::Recorder journal_{line.PortName, line.StoredConfig.portName};
};

}  // namespace vantor
