// The write cycle: modem settings, deletion, listing and sending, and the
// settings and texts the device keeps for the host.
#include <cstring>

#include "device/gsm_modem.h"
#include "device/values.h"
#include "diag/trace.h"
#include "link/exchange.h"
#include "os/os.h"

namespace vantor {

int CGsmModem::WriteCycle(const IoPacket* packet, std::int32_t deliveryFlag) noexcept {
    if (packet == nullptr) return 0;
    std::uint8_t request[kAnswerSize] = {};
    const std::int16_t kind = packet->kind;

    if (IsCommandRegister(kind) != 0) {
        // Text mode lists with commands of its own and needs no item.
        if (MsgFormat != 0 && (kind == kNEW || kind == kOLD))
            return ListMessages(kind, nullptr, 0);

        std::int32_t length = 0;
        std::int32_t second = 0;
        if (BuildRequest(packet, request, &length, &second, deliveryFlag) == 0) return 0;
        if (kind == kNEW || kind == kOLD) return ListMessages(kind, request, length);
        if (kind == kCMGD) {
            // Message 0 does not exist; there is nothing to delete.
            const int number = MessageToDelete(packet->head->item);
            if (number == 0) return 1;
            const int deleted = Exchange(request, &length, second);
            journal_.Deleted(number, request, static_cast<std::size_t>(length > 0 ? length : 0),
                             deleted != 0);
            if (deleted == 0) {
                Trace("No %d SMS Delete Failure!\n", number);
                return 0;
            }
            return 1;
        }
        if (Exchange(request, &length, second) == 0) return 0;
        // The new message format holds once the modem has taken it.
        if (kind == kCMGF) format_.HostChose(static_cast<std::int32_t>(packet->head->item->value));
        return 1;
    }
    switch (kind) {
        case kSEND:
            return SendWithRetries();
        case kTele: case kMsgSend: case kReSTime: case kEDelay: case kSReturn: case kCodeMod:
            return StoreWrite(packet);
        default:
            return 0;
    }
}

// A listing into the pair of stores of its kind, in the format the modem is
// in. PDU mode lists with the request the packet built.
int CGsmModem::ListMessages(std::int16_t kind, const std::uint8_t* request, std::int32_t length) noexcept {
    const bool unread = kind == kNEW;
    Lister::Listing listing;
    listing.unread = unread;
    listing.textMode = MsgFormat != 0;
    listing.request = request;
    listing.length = length;
    listing.header = unread ? MsgNew : MsgOld;
    listing.text = unread ? MsgNec : MsgInf;
    listing.slots = unread ? kNewSlots : kOldSlots;
    return lister_.List(listing);
}

// Settings and texts kept in the device. The value is converted into a
// text-sized area that starts with the field's current bytes, so a conversion
// that writes fewer bytes leaves the rest of the field as it was, and one that
// writes more can never reach the neighbouring fields.
int CGsmModem::StoreWrite(const IoPacket* packet) noexcept {
    if (packet->head == nullptr) return 0;
    const IoItem* item = packet->head->item;
    std::uint8_t area[kItemTextSize + 1] = {};

    switch (packet->kind) {
        case kTele: {
            if (item == nullptr) return 1;
            std::memcpy(area, Tele, kTeleSize);
            if (ItemToBytes(item, area, 1) == 0) return 1;
            // A cut number would reach a wrong recipient: refuse it whole.
            if (strnlen(reinterpret_cast<const char*>(area), kItemTextSize) > kTeleSize - 1)
                return 0;
            std::memcpy(Tele, area, kTeleSize - 1);
            Tele[kTeleSize - 1] = '\0';
            return 1;
        }
        case kMsgSend: {
            if (item == nullptr || item->subIndex >= kSendSlots) return 0;
            char* slot = MsgSend[item->subIndex];
            std::memcpy(area, slot, kItemTextSize);
            ItemToBytes(item, area, 1);
            std::memcpy(slot, area, kItemTextSize);
            slot[kSlotSize - 1] = '\0';
            return 1;
        }
        case kReSTime: case kSReturn: case kCodeMod: {
            if (item == nullptr) return 1;
            std::uint8_t& field = packet->kind == kReSTime ? ReSTime
                                  : packet->kind == kSReturn ? SReturn : CodeMod;
            area[0] = field;
            ItemToBytes(item, area, 1);
            field = area[0];
            return 1;
        }
        case kEDelay: {
            if (item == nullptr) return 1;
            area[0] = static_cast<std::uint8_t>(EDelay);
            area[1] = static_cast<std::uint8_t>(EDelay >> 8);
            ItemToBytes(item, area, 1);
            EDelay = static_cast<std::uint32_t>(area[0] | (area[1] << 8));  // upper half 0
            return 1;
        }
        default:
            return 0;
    }
}

}  // namespace vantor
