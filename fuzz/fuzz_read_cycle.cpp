// Polls that ask the modem (the link test, CMGF, CSCA) over fuzzed answers,
// delivered or not: the result is 0 or 1, a delivered text is a whole atom of
// at most 255 bytes, only a CMGF answer changes the message format, and the
// port stays open.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "packet_builder.h"

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t control = in.Byte();
    constexpr std::int16_t kKinds[] = {kAT, kCMGF, kCSCA, kCSCA};
    const std::int16_t kind = kKinds[control & 3];
    const std::int32_t deliveryFlag = (control & 4) ? 0 : 1;
    const std::uint16_t type = (control & 8) ? kType2 : kTypeText;
    const std::int16_t timeout = static_cast<std::int16_t>(in.Byte() * 4);
    const std::string plan = in.Bytes(1 + in.Byte() % 8);

    auto modem = std::make_unique<CGsmModem>();
    modem->MsgFormat = 7;
    fuzz::ChunkPeer peer;
    peer.SetPlan(plan);
    for (std::string& answer : fuzz::SplitAnswers(in.Rest())) peer.AddAnswer(std::move(answer));
    fuzz::OpenOn(*modem, peer, timeout);

    test::PacketBuilder packet(kind);
    packet.Value(type, 0xC0DE);
    const int result = modem->ProcessPacket(packet.Packet(), deliveryFlag);
    FUZZ_CHECK(result == 0 || result == 1);
    if (kind != kCMGF || result == 0) FUZZ_CHECK(modem->MsgFormat == 7);
    const IoItem& item = packet.Item(0);
    if (result == 1 && deliveryFlag == 1) {
        FUZZ_CHECK(item.quality == 192);
        if (type == kTypeText)
            FUZZ_CHECK(test::PacketBuilder::AtomText(item.value).size() <= 255);
    }
    if (deliveryFlag == 0) FUZZ_CHECK(item.value == 0xC0DE && item.quality == 0);
    FUZZ_CHECK(os::virt::OpenHandleCount() == 1);
    fuzz::Close(*modem);
    return 0;
}
