// CGsmModem: the driver behind one host device object. It holds the settings
// and texts the host reaches through registers and the stores of listed short
// messages, and implements the driver slot table of CDriverBase: a façade
// that turns the host's register reads and writes into calls on the owners
// of the device's state, each given the line and the registers it may use:
//   the format keeper  the host's message format across modem restarts
//   link health        ErrCount and the link test's back-off
//   the lister         the NEW and OLD listings into the message stores
//   the sender         the retry rule and the unfinished message
//   delivery reports   the modem's set-up for status reports, and the
//                      parts sent that await one
// and writes what the dialogues came to into the journal.
#pragma once

#include <cstdint>
#include <cstring>

#include "device/delivery_reports.h"
#include "device/driver_base.h"
#include "device/format_keeper.h"
#include "device/link_health.h"
#include "device/lister.h"
#include "device/modem_reports.h"
#include "device/registers.h"
#include "device/sender.h"
#include "host/records.h"
#include "journal/recorder.h"
#include "link/exchange.h"  // the completion modes of LinklevelReceive

namespace vantor {

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

    // --- sending: the message the registers hold, through the sender ---
    int Makecode(char* pdu, std::int32_t* count) noexcept;
    // The message, split into parts when it does not fit one; each part gets
    // up to `attemptsPerPart` attempts while it is refused. A SendResult.
    int SendPduMessage(int attemptsPerPart = 1) noexcept;
    // The text-mode message, with up to `attempts` attempts while it is
    // refused. A SendResult.
    int SendTextMessage(int attempts = 1) noexcept;

private:
    static int MessageToDelete(const IoItem* item) noexcept;
    int RunLinkTest(const IoPacket* packet, std::int32_t deliveryFlag, std::uint8_t* request,
                    std::uint8_t* value, std::int32_t* valueLength) noexcept;
    int ListMessages(std::int16_t kind, const std::uint8_t* request, std::int32_t length) noexcept;
    int StoreWrite(const IoPacket* packet) noexcept;
    // SEND: the message the registers hold, journaled with what it came to;
    // SReturn 1 when the modem confirmed it (every part), 2 otherwise.
    int SendWithRetries() noexcept;
    // The message the registers hold into outgoing_, asking for a status
    // report when reports are on.
    void TakeOutgoing() noexcept;

    // What the dialogues came to, written after each host call.
    journal::Recorder journal_{line.PortName, line.StoredConfig.portName};
    FormatKeeper format_{line, reports, journal_, MsgFormat};
    LinkHealth health_{line, journal_, ErrCount, EDelay};
    Lister lister_{line, journal_, format_};
    DeliveryReports deliveries_{line, reports, journal_};
    Sender sender_{line, journal_, format_, deliveries_};
    // The message of the SEND being sent.
    Outgoing outgoing_;
};

}  // namespace vantor
