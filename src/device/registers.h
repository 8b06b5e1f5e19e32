// The settings and texts of one device object that the host reads and
// writes through registers.
#pragma once

#include <cstdint>

#include "host/records.h"
#include "sms/listing.h"

namespace vantor {

inline constexpr int kNewSlots = 10;   // MsgNew / MsgNec
inline constexpr int kOldSlots = 20;   // MsgOld / MsgInf
inline constexpr int kSendSlots = 2;   // MsgSend

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

}  // namespace vantor
