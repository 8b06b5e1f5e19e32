// The read cycle: ask the modem (link test, CMGF, CSCA) or take the value from
// the device, then deliver it into the packet's items.
#include <cstring>

#include "device/gsm_modem.h"
#include "device/values.h"

namespace vantor {

namespace {

constexpr std::int32_t kQuality = 192;

// The store behind a store kind and its slot count, or null.
Slot* StoreOf(CGsmModem& modem, std::int16_t kind, int* slots) noexcept {
    switch (kind) {
        case kMsgNew: *slots = kNewSlots; return modem.MsgNew;
        case kMsgNec: *slots = kNewSlots; return modem.MsgNec;
        case kMsgOld: *slots = kOldSlots; return modem.MsgOld;
        case kMsgInf: *slots = kOldSlots; return modem.MsgInf;
        case kMsgSend: *slots = kSendSlots; return modem.MsgSend;
        default: *slots = 0; return nullptr;
    }
}

// "+CSCA: \"<number>\",<type>": the characters up to the last double quote.
// Without a closing quote the number's end is unknown and nothing is taken.
bool ParseServiceCentre(const char* answer, std::uint8_t* value) noexcept {
    const char* marker = std::strstr(answer, "+CSCA: ");
    if (marker == nullptr || marker[7] == '\0') return false;
    const char* start = marker + 8;  // past the marker and the opening quote
    const char* end = std::strrchr(start, '"');
    if (end == nullptr) return false;
    std::memcpy(value, start, static_cast<std::size_t>(end - start));
    value[end - start] = 0;
    return true;
}

}  // namespace

int CGsmModem::ReadCycle(const IoPacket* packet, std::int32_t deliveryFlag) noexcept {
    if (packet == nullptr) return 0;
    std::uint8_t request[kAnswerSize] = {};
    std::uint8_t value[kAnswerSize] = {};
    std::int32_t requestLength = 0;
    std::int32_t second = 0;
    std::int32_t valueLength = 0;
    const std::int16_t kind = packet->kind;

    if (IsCommandRegister(kind) != 0) {
        if (BuildRequest(packet, request, &requestLength, &second, deliveryFlag) == 0) return 0;
        if (Exchange(request, &requestLength, second) == 0) return 0;
        request[kAnswerSize - 1] = 0;
        const char* answer = reinterpret_cast<const char*>(request);
        if (kind == kCMGF) {
            std::int8_t format = 0;
            if (!ParseFormat(answer, &format)) return 0;
            value[0] = static_cast<std::uint8_t>(format);
            MsgFormat = format;
        } else if (kind == kCSCA) {
            if (!ParseServiceCentre(answer, value)) return 0;
        }
        valueLength = 1;
    } else {
        switch (kind) {
            case kAT:
                if (RunLinkTest(packet, deliveryFlag, request, value, &valueLength) == 0) return 0;
                break;
            case kMsgNew: case kMsgNec: case kMsgOld: case kMsgInf: case kMsgSend:
                value[0] = '^';  // Deliver fills in the slots item by item
                valueLength = 1;
                break;
            case kTele: {
                const std::size_t n = strnlen(Tele, kTeleSize - 1);
                std::memcpy(value, Tele, n);
                valueLength = static_cast<std::int32_t>(n);
                break;
            }
            case kReSTime: value[0] = ReSTime; valueLength = 1; break;
            case kSReturn: value[0] = SReturn; valueLength = 1; break;
            case kCodeMod: value[0] = CodeMod; valueLength = 1; break;
            case kEDelay:
                value[0] = static_cast<std::uint8_t>(EDelay);
                value[1] = static_cast<std::uint8_t>(EDelay >> 8);
                valueLength = 2;
                break;
            default:
                return 0;  // SEND and unknown kinds have nothing to read
        }
    }
    return Deliver(packet, value, valueLength, deliveryFlag);
}

// The link test, while link health has it talk to the modem: the value 1
// when the modem answered, 0 when not.
int CGsmModem::RunLinkTest(const IoPacket* packet, std::int32_t deliveryFlag, std::uint8_t* request,
                           std::uint8_t* value, std::int32_t* valueLength) noexcept {
    if (!health_.TestDue()) return 0;
    value[0] = 0;
    std::int32_t requestLength = 0;
    std::int32_t second = 0;
    if (BuildRequest(packet, request, &requestLength, &second, deliveryFlag) == 0) return 0;
    const bool answered = Exchange(request, &requestLength, second) != 0;
    value[0] = answered ? 1 : 0;
    health_.Tested(answered);
    *valueLength = 1;
    return 1;
}

int CGsmModem::DeliverRaw(const IoPacket*, const std::uint8_t*, std::int32_t) noexcept {
    return 1;  // the bytes reach no item
}

int CGsmModem::Deliver(const IoPacket* packet, std::uint8_t* value, std::int32_t length,
                       std::int32_t deliveryFlag) noexcept {
    if (packet == nullptr || value == nullptr) return 0;
    if (deliveryFlag == 0) return DeliverRaw(packet, value, length);
    // Delivery takes exactly the value 1 as a write (the host's own convention
    // for its packets); ProcessPacket sends every nonzero flag to the write cycle.
    if (packet->writeFlag == 1) return 1;
    const std::int16_t kind = packet->kind;
    switch (kind) {
        case kAT: case kCMGF: case kCSCA: case kTele:
        case kReSTime: case kEDelay: case kSReturn: case kCodeMod:
            // A single value goes to the first item only.
            if (packet->head == nullptr) return 1;
            if (packet->head->item == nullptr) return 0;
            BytesToItem(packet->head->item, value, 1, kQuality);
            return 1;
        case kMsgNew: case kMsgNec: case kMsgOld: case kMsgInf: case kMsgSend: {
            int slots = 0;
            Slot* store = StoreOf(*this, kind, &slots);
            for (const IoItemNode* node = packet->head; node != nullptr; node = node->next) {
                IoItem* item = node->item;
                // Items before a bad node keep what they received.
                if (item == nullptr || item->subIndex >= slots) return 0;
                // Copy into a slot-sized area: the caller's value buffer may
                // be shorter than a slot.
                char text[kSlotSize] = {};
                std::memcpy(text, store[item->subIndex], kSlotSize - 1);
                if (text[0] == '\0' && kind != kMsgSend) text[0] = '^';
                BytesToItem(item, reinterpret_cast<const std::uint8_t*>(text), 1, kQuality);
            }
            return 1;
        }
        default:
            return 0;  // CMGD, NEW, OLD, SEND and unknown kinds carry no value
    }
}

}  // namespace vantor
