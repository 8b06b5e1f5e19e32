// The records the host allocates and passes in. They are a binary contract with
// a separately built program: 32-bit little-endian, pointers 32 bits wide, every
// field at a fixed byte offset. The module touches only the named fields; the
// host's own bytes are kept as opaque padding.
//
// The layouts are checked at compile time for the product (32-bit pointers).
// A 64-bit build (the native tests, the x86_64 twin of the Windows side) keeps
// every field name and every non-pointer offset it can; where a 64-bit pointer
// cannot sit at the 32-bit offset, it is moved to the end of the record
// (RegisterRef::row). That natural 64-bit layout is pinned by its own asserts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/os.h"

namespace vantor {

inline constexpr bool kHostLayout = sizeof(void*) == 4;
inline constexpr bool kWideLayout = sizeof(void*) == 8;

struct RegisterDef;
struct IoItem;

// One host variable bound to a register.
struct IoItem {
    std::uint16_t host0;
    std::uint16_t subIndex;     // 2: slot inside an indexed register
    std::uint16_t dataType;     // 4: HostDataType code
    std::uint16_t host6;
    std::uint32_t value;        // 8
    std::uint32_t value2;       // 12: second value slot
    std::uint16_t quality;      // 16
    std::uint16_t host18;
    os::FileTime timeStamp;     // 20
};
static_assert(offsetof(IoItem, subIndex) == 2);
static_assert(offsetof(IoItem, dataType) == 4);
static_assert(offsetof(IoItem, value) == 8);
static_assert(offsetof(IoItem, value2) == 12);
static_assert(offsetof(IoItem, quality) == 16);
static_assert(offsetof(IoItem, timeStamp) == 20);

// One node of the host's doubly linked item list.
struct IoItemNode {
    IoItemNode* next;           // 0
    IoItemNode* previous;       // 4 (never read)
    IoItem* item;               // 8
};
static_assert(!kHostLayout || offsetof(IoItemNode, previous) == 4);
static_assert(!kHostLayout || offsetof(IoItemNode, item) == 8);
static_assert(!kWideLayout || offsetof(IoItemNode, previous) == 8);
static_assert(!kWideLayout || offsetof(IoItemNode, item) == 16);

// One poll or write for a group of variables of one register kind.
struct IoPacket {
    std::uint8_t host0[16];
    std::int16_t kind;          // 16: RegisterKind
    std::uint8_t host18[14];
    std::int16_t writeFlag;     // 32: 0 read, otherwise write
    std::uint8_t host34[2];
    std::uint32_t listObject;   // 36: start of the host's list object
    IoItemNode* head;           // 40: first node or null
};
static_assert(offsetof(IoPacket, kind) == 16);
static_assert(offsetof(IoPacket, writeFlag) == 32);
static_assert(offsetof(IoPacket, head) == 40);
static_assert(!kHostLayout || sizeof(IoPacket) == 44);
static_assert(!kWideLayout || sizeof(IoPacket) == 48);

// A variable to validate.
struct RegisterQuery {
    std::uint8_t host0[32];
    char name[128];             // 32: as typed, NUL-terminated
    std::int16_t dataType;      // 160
};
static_assert(offsetof(RegisterQuery, name) == 32);
static_assert(offsetof(RegisterQuery, dataType) == 160);

// What a successful register check hands back to the host.
struct RegisterRef {
    std::uint8_t host0[44];
#if UINTPTR_MAX == 0xFFFFFFFFu
    const RegisterDef* row;     // 44
#else
    std::uint32_t rowSlot;      // 44: the row pointer lives at the end natively
#endif
    std::int16_t kind;          // 48
    std::uint8_t host50[6];
    std::int16_t subIndex;      // 56
    std::int16_t dataType;      // 58
#if UINTPTR_MAX != 0xFFFFFFFFu
    std::uint8_t host60[4];
    const RegisterDef* row;
#endif
};
static_assert(!kHostLayout || offsetof(RegisterRef, row) == 44);
static_assert(!kWideLayout || offsetof(RegisterRef, row) == 64);
static_assert(offsetof(RegisterRef, kind) == 48);
static_assert(offsetof(RegisterRef, subIndex) == 56);
static_assert(offsetof(RegisterRef, dataType) == 58);

// Serial settings, 56 bytes, copied whole by OpenPort.
struct PortConfig {
    std::uint8_t host0[4];
    char portName[32];          // 4
    std::int32_t baudRate;      // 36
    std::uint8_t dataBits;      // 40
    std::uint8_t host41;
    std::int16_t stopBits;      // 42
    std::uint8_t parity;        // 44
    std::uint8_t host45;
    std::int16_t replyTimeout;  // 46
    std::uint8_t host48[8];
};
static_assert(offsetof(PortConfig, portName) == 4);
static_assert(offsetof(PortConfig, baudRate) == 36);
static_assert(offsetof(PortConfig, dataBits) == 40);
static_assert(offsetof(PortConfig, stopBits) == 42);
static_assert(offsetof(PortConfig, parity) == 44);
static_assert(offsetof(PortConfig, replyTimeout) == 46);
static_assert(sizeof(PortConfig) == 56);

// One 24-byte row of the register table; the host reads rows directly.
struct RegisterDef {
    char name[8];               // 0
    std::int32_t lowestIndex;   // 8
    std::int32_t highestIndex;  // 12
    std::uint16_t allowedTypes; // 16
    std::uint8_t reserved[6];   // 18
};
static_assert(offsetof(RegisterDef, lowestIndex) == 8);
static_assert(offsetof(RegisterDef, highestIndex) == 12);
static_assert(offsetof(RegisterDef, allowedTypes) == 16);
static_assert(sizeof(RegisterDef) == 24);

// The row number of a register in the table.
enum RegisterKind : std::int16_t {
    kAT = 0, kCMGF = 1, kCSCA = 2, kCMGD = 3, kNEW = 4, kMsgNew = 5, kMsgNec = 6,
    kOLD = 7, kMsgOld = 8, kMsgInf = 9, kSEND = 10, kTele = 11, kMsgSend = 12,
    kReSTime = 13, kEDelay = 14, kSReturn = 15, kCodeMod = 16,
};
inline constexpr int kRegisterCount = 17;
// The Tele register's text: at most 14 characters and its NUL.
inline constexpr int kTeleSize = 15;

// HostDataType codes.
enum HostDataType : std::uint16_t {
    kType1 = 1, kType2 = 2, kType4 = 4, kType8 = 8, kType16 = 16, kType32 = 32,
    kType64 = 64, kType128 = 128, kTypeText = 256,
};

}  // namespace vantor
