// The SMS-SUBMIT encoder over the fields a send uses (Tele, MsgSend, CodeMod),
// filled either the way host writes fill them (text atoms and values through
// the write cycle) or directly with arbitrary bytes within the field sizes.
// A built PDU is upper-case hex whose octets add up: the destination holds
// the Tele digits, and the user data length matches the octets that follow.
// A refusal leaves an empty PDU. The fields stay terminated.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "packet_builder.h"
#include "sms/pdu_encode.h"

using namespace vantor;
using fuzz::Hex;
using fuzz::Octet;

namespace {

void CheckPdu(const char* pdu, std::int32_t count, const char* tele) {
    FUZZ_CHECK(count > 0 && count % 2 == 0 && count < sms::kPduTextSize - 1);
    FUZZ_CHECK(static_cast<std::int32_t>(std::strlen(pdu)) == count);
    for (int i = 0; i < count; ++i) FUZZ_CHECK(Hex(pdu[i]) >= 0);
    const int octets = count / 2;
    FUZZ_CHECK(octets >= 9);
    FUZZ_CHECK(Octet(pdu, 0) == 0x00 && Octet(pdu, 1) == 0x11 && Octet(pdu, 2) == 0x00);
    const bool international = tele[0] == '+';
    const char* digits = tele + (international ? 1 : 0);
    const int d = Octet(pdu, 3);
    FUZZ_CHECK(d == static_cast<int>(std::strlen(digits)) && d >= 1 && d <= 20);
    FUZZ_CHECK(Octet(pdu, 4) == (international ? 0x91 : 0x81));
    const int addressOctets = (d + 1) / 2;
    for (int k = 0; k < d; ++k) {
        // Swapped semi-octets: digit k sits in octet 5 + k/2, low nibble first.
        const int octet = Octet(pdu, 5 + k / 2);
        FUZZ_CHECK(((k % 2 == 0) ? (octet & 0xF) : (octet >> 4)) == digits[k] - '0');
    }
    if (d % 2) FUZZ_CHECK((Octet(pdu, 5 + d / 2) >> 4) == 0xF);
    const int at = 5 + addressOctets;
    FUZZ_CHECK(octets >= at + 4);
    FUZZ_CHECK(Octet(pdu, at) == 0x00);
    const int dcs = Octet(pdu, at + 1);
    FUZZ_CHECK(dcs == 0x00 || dcs == 0x08);
    FUZZ_CHECK(Octet(pdu, at + 2) == 0xA7);
    const int udl = Octet(pdu, at + 3);
    const int userOctets = octets - (at + 4);
    FUZZ_CHECK(userOctets == (dcs == 0x00 ? (udl * 7 + 7) / 8 : udl));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.Byte();
    auto modem = std::make_unique<CGsmModem>();
    os::virt::Reset();

    if (mode & 1) {
        // Straight into the fields, any bytes.
        const std::string tele = in.Bytes(kTeleSize);
        std::memcpy(modem->Tele, tele.data(), tele.size());
        for (auto& slot : modem->MsgSend) {
            const std::string bytes = in.Bytes(kSlotSize);
            std::memcpy(slot, bytes.data(), bytes.size());
        }
        modem->CodeMod = in.Byte();
    } else {
        // Host writes: Tele as a text of up to 20 characters (longer than
        // 14 is refused), each MsgSend slot as a text of up to 254, CodeMod
        // as a value of any type.
        char before[kTeleSize];
        std::memcpy(before, modem->Tele, kTeleSize);
        test::PacketBuilder tele(kTele, true);
        const std::string number = in.Bytes(in.Byte() % 21);
        tele.Text(number);
        const std::string held = number.c_str();  // an atom ends at a zero byte
        if (held.size() > kTeleSize - 1) {
            FUZZ_CHECK(modem->ProcessPacket(tele.Packet(), 0) == 0);
            // A cut number is never kept: the field stays as it was.
            FUZZ_CHECK(std::memcmp(before, modem->Tele, kTeleSize) == 0);
        } else {
            FUZZ_CHECK(modem->ProcessPacket(tele.Packet(), 0) == 1);
            FUZZ_CHECK(held == modem->Tele);
        }
        for (std::uint16_t sub = 0; sub < kSendSlots; ++sub) {
            test::PacketBuilder text(kMsgSend, true);
            const std::size_t n = in.Byte();
            text.Text(in.Bytes(n > 254 ? 254 : n), sub);
            FUZZ_CHECK(modem->ProcessPacket(text.Packet(), 0) == 1);
        }
        test::PacketBuilder code(kCodeMod, true);
        const std::uint16_t type = in.Byte();
        code.Value(type == 0xFF ? kTypeText : type, in.U16());
        modem->ProcessPacket(code.Packet(), 0);
    }
    if ((mode & 1) == 0) {
        // Host writes always leave the fields terminated.
        FUZZ_CHECK(modem->Tele[kTeleSize - 1] == '\0');
        for (auto& slot : modem->MsgSend) FUZZ_CHECK(slot[kSlotSize - 1] == '\0');
    }

    char tele[kTeleSize];
    std::memcpy(tele, modem->Tele, kTeleSize);
    tele[kTeleSize - 1] = '\0';  // the number Makecode can see
    auto pdu = std::make_unique<char[]>(sms::kPduTextSize);
    std::memset(pdu.get(), 'Z', sms::kPduTextSize);
    std::int32_t count = -1;
    const int done = modem->Makecode(pdu.get(), &count);
    FUZZ_CHECK(std::memcmp(tele, modem->Tele, kTeleSize - 1) == 0);
    if (done == 1) {
        FUZZ_CHECK(sms::IsDialableNumber(tele) == 1);
        CheckPdu(pdu.get(), count, tele);
    } else {
        FUZZ_CHECK(done == 0);
        FUZZ_CHECK(pdu[0] == '\0');
    }
    os::virt::Reset();
    return 0;
}
