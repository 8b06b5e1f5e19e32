// BuildRequest: the AT command that serves one packet, ended by CR LF.
#include <cstdio>
#include <cstring>

#include "device/gsm_modem.h"
#include "device/values.h"

namespace vantor {

namespace {

int Append(std::uint8_t* request, int at, const char* text) noexcept {
    const std::size_t n = std::strlen(text);
    std::memcpy(request + at, text, n);
    return at + static_cast<int>(n);
}

// CR and LF end the command line, ';' chains a second command on it (V.25ter
// 5.2.1), Ctrl-Z and ESC end or cancel a message body. Any of them inside a
// written text would let the host's text carry a second command to the modem.
bool EndsCommandLine(const char* text) noexcept {
    for (; *text != '\0'; ++text) {
        switch (*text) {
            case '\r': case '\n': case ';': case 0x1A: case 0x1B:
                return true;
            default:
                break;
        }
    }
    return false;
}

}  // namespace

// The first byte of the item's value as ItemToBytes gives it (the low byte of
// a number), or -1 when the item has no value to give.
int CGsmModem::MessageToDelete(const IoItem* item) noexcept {
    std::uint8_t value[kItemTextSize] = {};
    if (ItemToBytes(item, value, 1) == 0) return -1;
    return value[0];
}

int CGsmModem::BuildRequest(const IoPacket* packet, std::uint8_t* request, std::int32_t* length,
                            std::int32_t* /*second*/, std::int32_t /*deliveryFlag*/) noexcept {
    if (packet == nullptr || request == nullptr || length == nullptr || packet->head == nullptr)
        return 0;
    *length = 0;
    const std::int16_t kind = packet->kind;
    if (!health_.Admits(kind)) return 0;

    int n = 0;
    if (packet->writeFlag == 0) {
        switch (kind) {
            case kAT: n = Append(request, 0, "AT"); break;
            case kCMGF: n = Append(request, Append(request, 0, "AT+CMGF"), "?"); break;
            case kCSCA: n = Append(request, Append(request, 0, "AT+CSCA"), "?"); break;
            default: break;
        }
    } else {
        const IoItem* item = packet->head->item;
        if (item == nullptr) return 0;
        // ItemToBytes may write a whole text; a local area keeps that away from
        // the request and from the small temporaries.
        std::uint8_t value[kItemTextSize] = {};
        switch (kind) {
            case kCMGF:
                if (ItemToBytes(item, value, 1) == 0) return 0;
                n = Append(request, Append(request, 0, "AT+CMGF"), "=");
                request[n++] = static_cast<std::uint8_t>(value[0] + '0');
                break;
            case kCSCA: {
                if (ItemToBytes(item, value, 1) == 0) return 0;
                value[kItemTextSize - 1] = 0;
                const char* text = reinterpret_cast<const char*>(value);
                if (EndsCommandLine(text)) return 0;
                n = Append(request, Append(request, 0, "AT+CSCA"), "=");
                n = Append(request, n, text);  // sent as the host wrote it
                break;
            }
            case kCMGD: {
                const int message = MessageToDelete(item);
                if (message < 0) return 0;
                n = Append(request, 0, "AT+CMGD=");
                char number[4];
                std::snprintf(number, sizeof number, "%3d", static_cast<std::uint8_t>(message));
                n = Append(request, n, number);
                break;
            }
            case kNEW: n = Append(request, 0, "AT+CMGL=0"); break;  // unread, PDU mode
            case kOLD: n = Append(request, 0, "AT+CMGL=1"); break;  // read, PDU mode
            default: break;
        }
    }
    if (n <= 0) return 0;
    request[n++] = '\r';
    request[n++] = '\n';
    *length = n;
    return 1;
}

}  // namespace vantor
