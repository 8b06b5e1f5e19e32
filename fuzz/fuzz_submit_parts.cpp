// The concatenated-message encoder over any two MsgSend texts, CodeMod and
// reference. The cut covers the body with parts of at most 153 septets or 67
// units (a body within 160 / 70 stays one part), never between an escape or
// surrogate pair's halves; every part's PDU carries the header for its place,
// and its user data, unpacked, is exactly its share of the body. A one-part
// body encodes as Makecode does.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "sms/gsm_alphabet.h"
#include "sms/pdu_encode.h"

using namespace vantor;
using fuzz::Hex;
using fuzz::Octet;

namespace {

// Septet i of the user data starting at octet `ud` of the PDU text.
int Septet(const char* pdu, int ud, int i) {
    int v = 0;
    for (int b = 0; b < 7; ++b) {
        const int bit = 7 * i + b;
        v |= ((Octet(pdu, ud + bit / 8) >> (bit % 8)) & 1) << b;
    }
    return v;
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

// A cut at `at` does not separate an escape or surrogate pair.
bool CutBetweenCharacters(const sms::SubmitBody& b, int at) {
    if (at == 0 || at == b.length) return true;
    if (b.gsm) {
        // Walk from the start: ESC begins a pair.
        int i = 0;
        while (i < at) i += (b.septets[i] == sms::kEscape && i + 1 < b.length) ? 2 : 1;
        return i == at;
    }
    return !(IsHigh(b.units[at - 1]) && IsLow(b.units[at]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t codeMod = in.Byte() & 1;
    const std::uint8_t reference = in.Byte();
    const std::string part0 = in.Bytes(in.Byte()).c_str();
    const std::string part1 = in.Rest().substr(0, 255).c_str();
    os::virt::Reset();

    auto body = std::make_unique<sms::SubmitBody>();
    const int parts = sms::SplitBody(fuzz::ExactCopy(part0).get(), fuzz::ExactCopy(part1).get(), codeMod,
                                     body.get());
    if (parts == 0) return 0;  // the body does not convert
    const sms::SubmitBody& b = *body;
    FUZZ_CHECK(parts == b.parts && parts >= 1 && parts <= sms::kMaxParts);
    FUZZ_CHECK(b.start[0] == 0 && b.start[parts] == b.length);
    const int partLimit = b.gsm ? sms::kPartSeptets : sms::kPartUnits;
    if (parts == 1) FUZZ_CHECK(b.length <= (b.gsm ? sms::kSingleSeptets : sms::kSingleUnits));
    else FUZZ_CHECK(b.length > (b.gsm ? sms::kSingleSeptets : sms::kSingleUnits));

    auto pdu = std::make_unique<char[]>(sms::kPduTextSize);
    // 13 digits fill 7 octets: SMSC, first octet, MR, length, type, digits,
    // PID, DCS, VP and UDL put the user data at octet 16.
    const char number[] = "8613912345678";
    constexpr int kUd = 16;
    for (int k = 0; k < parts; ++k) {
        const int from = b.start[k], to = b.start[k + 1];
        FUZZ_CHECK(to > from || b.length == 0);
        if (parts > 1) FUZZ_CHECK(to - from <= partLimit);
        FUZZ_CHECK(CutBetweenCharacters(b, to));
        std::int32_t count = -1;
        FUZZ_CHECK(sms::EncodePart(number, b, k, reference, pdu.get(), &count) == 1);
        FUZZ_CHECK(static_cast<std::int32_t>(std::strlen(pdu.get())) == count && count % 2 == 0);
        for (int i = 0; i < count; ++i) FUZZ_CHECK(Hex(pdu[i]) >= 0);
        const int udl = Octet(pdu.get(), kUd - 1);
        FUZZ_CHECK(Octet(pdu.get(), kUd - 2) == 0xA7);
        FUZZ_CHECK(Octet(pdu.get(), kUd - 3) == (b.gsm ? 0x00 : 0x08));
        int text = 0;  // septets or octets of header in front of the text
        if (parts > 1) {
            FUZZ_CHECK(Octet(pdu.get(), 1) == 0x51);
            const int header[6] = {5, 0, 3, reference, parts, k + 1};
            for (int i = 0; i < 6; ++i) FUZZ_CHECK(Octet(pdu.get(), kUd + i) == header[i]);
            text = b.gsm ? 7 : 6;
        } else {
            FUZZ_CHECK(Octet(pdu.get(), 1) == 0x11);
        }
        if (b.gsm) {
            FUZZ_CHECK(udl == text + (to - from) && udl <= 160);
            FUZZ_CHECK(count / 2 - kUd == (7 * udl + 7) / 8);
            for (int i = from; i < to; ++i) FUZZ_CHECK(Septet(pdu.get(), kUd, text + i - from) == b.septets[i]);
        } else {
            FUZZ_CHECK(udl == text + 2 * (to - from) && udl <= 140);
            FUZZ_CHECK(count / 2 - kUd == udl);
            for (int i = from; i < to; ++i) {
                const int at = kUd + text + 2 * (i - from);
                FUZZ_CHECK((Octet(pdu.get(), at) << 8 | Octet(pdu.get(), at + 1)) == b.units[i]);
            }
        }
    }
    if (parts == 1) {
        auto single = std::make_unique<char[]>(sms::kPduTextSize);
        std::int32_t count = 0;
        FUZZ_CHECK(sms::Makecode(number, part0.c_str(), part1.c_str(), codeMod, single.get(), &count) == 1);
        FUZZ_CHECK(std::strcmp(single.get(), pdu.get()) == 0);
    }
    std::int32_t count = 0;
    FUZZ_CHECK(sms::EncodePart(number, b, parts, reference, pdu.get(), &count) == 0 && pdu[0] == '\0');
    os::virt::Reset();
    return 0;
}
