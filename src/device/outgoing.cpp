#include "device/outgoing.h"

#include <cstring>

#include "device/gsm_modem.h"

namespace vantor {

void MakeOutgoing(const Registers& r, Outgoing* out) noexcept {
    std::memcpy(out->tele, r.Tele, kTeleSize);
    out->tele[kTeleSize - 1] = '\0';
    out->textLength = sms::JoinBody(r.MsgSend[0], r.MsgSend[1], out->text);
    out->codeMod = r.CodeMod;
    out->parts = sms::SplitText(out->text, out->textLength, r.CodeMod, &out->body);
}

}  // namespace vantor
