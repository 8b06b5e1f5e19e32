// A whole write cycle of NEW, OLD or SEND, in PDU or text mode, over a modem
// whose answers (one per write the driver makes), piece sizes and pauses come
// from the input. Every store slot stays a terminated text of at most 255
// bytes, PDU-mode bodies are never cut inside a double-byte character, the
// port is left open and usable, and a send reports 1 or 2 in SReturn.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "packet_builder.h"

using namespace vantor;

namespace {

void FillStores(CGsmModem& m) {
    auto fill = [](Slot* slots, int n, const char* what) {
        for (int i = 0; i < n; ++i) std::snprintf(slots[i], kSlotSize, "<%d> earlier %s", i, what);
    };
    fill(m.MsgNew, kNewSlots, "new");
    fill(m.MsgNec, kNewSlots, "new text");
    fill(m.MsgOld, kOldSlots, "old");
    fill(m.MsgInf, kOldSlots, "old text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t control = in.Byte();
    constexpr std::int16_t kKinds[] = {kNEW, kOLD, kSEND, kNEW};
    const std::int16_t kind = kKinds[control & 3];
    const bool textMode = (control & 4) != 0;
    const std::int16_t timeout = static_cast<std::int16_t>(in.Byte() * 8);  // 0..2040 ms
    const std::string plan = in.Bytes(1 + in.Byte() % 8);

    auto modem = std::make_unique<CGsmModem>();
    FillStores(*modem);
    modem->MsgFormat = textMode ? 1 : 0;
    if (kind == kSEND) {
        std::strcpy(modem->Tele, (control & 8) ? "+8613912345678" : "10086");
        std::strcpy(modem->MsgSend[0], (control & 16) ? "hello" : "\xC4\xE3\xBA\xC3");  // 你好
        modem->CodeMod = (control & 32) ? 1 : 0;
        modem->ReSTime = static_cast<std::uint8_t>((control >> 6) & 3);
    }
    fuzz::ChunkPeer peer;
    peer.SetPlan(plan);
    for (std::string& answer : fuzz::SplitAnswers(in.Rest())) peer.AddAnswer(std::move(answer));
    fuzz::OpenOn(*modem, peer, timeout);

    test::PacketBuilder packet(kind, true);
    packet.Value(kType2, 0);
    const int result = modem->ProcessPacket(packet.Packet(), 1);
    FUZZ_CHECK(result == 0 || result == 1);

    fuzz::CheckSlots(modem->MsgNew, kNewSlots, false);
    fuzz::CheckSlots(modem->MsgOld, kOldSlots, false);
    fuzz::CheckSlots(modem->MsgNec, kNewSlots, !textMode);
    fuzz::CheckSlots(modem->MsgInf, kOldSlots, !textMode);
    FUZZ_CHECK(modem->Tele[kTeleSize - 1] == '\0');
    if (kind == kSEND) {
        FUZZ_CHECK(modem->SReturn == (result == 1 ? 1 : 2));
        // The dialogue never sends more than the two parts and the framing.
        FUZZ_CHECK(peer.Written().size() < 4096);
    }
    FUZZ_CHECK(modem->line.PortHandle != os::kInvalidHandle);
    FUZZ_CHECK(os::virt::OpenHandleCount() == 1);
    fuzz::Close(*modem);
    return 0;
}
