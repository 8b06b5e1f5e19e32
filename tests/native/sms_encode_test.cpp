// SMS-SUBMIT encoding: layout, destination, GSM alphabet with automatic UCS-2,
// septet packing at every alignment and the length boundaries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sms/gsm_alphabet.h"
#include "sms/pdu_encode.h"
#include "sms_test_util.h"

namespace {

using vantor::sms::Makecode;

struct Encoded {
    int result;
    std::string pdu;
};

Encoded Encode(const std::string& number, const std::string& part0, int codeMod,
               const std::string& part1 = "") {
    std::vector<char> pdu(vantor::sms::kPduTextSize, 'Z');
    std::int32_t count = -1;
    const int r = Makecode(number.c_str(), part0.c_str(), part1.c_str(),
                           static_cast<std::uint8_t>(codeMod), pdu.data(), &count);
    EXPECT_EQ(std::string(pdu.data()).size(), static_cast<std::size_t>(count));
    return {r, std::string(pdu.data(), static_cast<std::size_t>(count))};
}

// TPDU octets as AT+CMGS counts them: the PDU without its SMSC length octet.
int TpduOctets(const std::string& pdu) { return static_cast<int>(pdu.size()) / 2 - 1; }

struct PduCase {
    const char* name;
    const char* number;
    const char* part0;
    const char* part1;
    int codeMod;
    const char* pdu;
};

TEST(SmsEncode, BuildsSubmitPdus) {
    const PduCase cases[] = {
        {"hellohello 7-bit", "123", "hellohello", "", 0,
         "001100038121F30000A70AE8329BFD4697D9EC37"},
        {"body split over both texts", "123", "hello", "hello", 0,
         "001100038121F30000A70AE8329BFD4697D9EC37"},
        {"zhongwen UCS-2", "123", "\xD6\xD0\xCE\xC4", "", 1, "001100038121F30008A7044E2D6587"},
        {"one letter UCS-2", "123", "A", "", 1, "001100038121F30008A7020041"},
        {"mixed ASCII and GBK", "123", "A\xD6\xD0", "", 1, "001100038121F30008A70400414E2D"},
        {"empty body UCS-2", "12", "", "", 1, "0011000281210008A700"},
        {"empty body 7-bit", "12", "", "", 0, "0011000281210000A700"},
        {"international number", "+8613800138000", "Hi", "", 0,
         "0011000D91683108108300F00000A702C834"},
        {"even number, no filler", "1234", "Hi", "", 0, "001100048121430000A702C834"},
        // Euro (GBK 80) is ESC 65 in the extension table: two septets.
        {"extension character", "123", "\x80", "", 0, "001100038121F30000A7029B32"},
        // Greek capital delta (GBK A6A4) is default-alphabet septet 10.
        {"GSM Greek capital", "123", "\xA6\xA4", "", 0, "001100038121F30000A70110"},
        // '@' is septet 00, not 40.
        {"at sign", "123", "@", "", 0, "001100038121F30000A70100"},
        // No GSM form for a Chinese character: the whole body goes as UCS-2.
        {"automatic UCS-2", "123", "A\xD6\xD0", "", 0, "001100038121F30008A70400414E2D"},
        // The initial MsgSend text: caret is ESC 14.
        {"caret", "123", "^", "", 0, "001100038121F30000A7021B0A"},
    };
    for (const auto& c : cases) {
        const Encoded e = Encode(c.number, c.part0, c.codeMod, c.part1);
        EXPECT_EQ(e.result, 1) << c.name;
        EXPECT_EQ(e.pdu, c.pdu) << c.name;
    }
}

TEST(SmsEncode, RefusesUndialableNumbers) {
    for (const char* number : {"", "+", "12a3", "1 2", "++1", "1+2", "123456789012345678901"}) {
        const Encoded e = Encode(number, "hello", 0);
        EXPECT_EQ(e.result, 0) << '"' << number << '"';
        EXPECT_EQ(e.pdu, "") << number;
    }
    EXPECT_EQ(Encode("12345678901234567890", "x", 0).result, 1);
}

// Reference packing, bit by bit: septet i lands at bits 7i..7i+6.
std::string PackByBits(const std::vector<int>& septets) {
    std::vector<int> bits;
    for (int s : septets)
        for (int b = 0; b < 7; ++b) bits.push_back((s >> b) & 1);
    std::string hex;
    for (std::size_t o = 0; o * 8 < bits.size(); ++o) {
        int v = 0;
        for (int b = 0; b < 8 && o * 8 + b < bits.size(); ++b) v |= bits[o * 8 + b] << b;
        char buf[3];
        std::snprintf(buf, sizeof buf, "%02X", v);
        hex += buf;
    }
    return hex;
}

TEST(SmsEncode, PacksAtEverySeptetAlignment) {
    // Characters that use all seven bits, so a lost or shifted bit shows.
    const std::string alphabet = "zyxwvutsrqponmlk";
    for (int n = 1; n <= 16; ++n) {
        // n plain septets, then the same ending in an escape pair (euro sign)
        // so the ESC and its code fall at every alignment too.
        for (const bool euro : {false, true}) {
            std::string body = alphabet.substr(0, static_cast<std::size_t>(euro ? n - 1 : n));
            std::vector<int> septets(body.begin(), body.end());
            if (euro) {
                body += '\x80';
                septets.push_back(0x1B);
                septets.push_back(0x65);
            }
            const Encoded e = Encode("1", body, 0);
            ASSERT_EQ(e.result, 1);
            char udl[3];
            std::snprintf(udl, sizeof udl, "%02X", static_cast<int>(septets.size()));
            EXPECT_EQ(e.pdu, "0011000181F10000A7" + std::string(udl) + PackByBits(septets))
                << n << (euro ? " with euro" : "");
        }
    }
}

TEST(SmsEncode, LengthBoundaries) {
    const std::string number = "13800138000";  // 11 digits
    // 7-bit: 160 septets fill 140 octets, 154 TPDU octets with the header.
    EXPECT_EQ(TpduOctets(Encode(number, std::string(160, 'a'), 0).pdu), 154);
    EXPECT_EQ(TpduOctets(Encode(number, std::string(161, 'a'), 0).pdu), 155);
    // An extension character as the last septet counts twice.
    EXPECT_EQ(TpduOctets(Encode(number, std::string(158, 'a') + "\x80", 0).pdu), 154);
    EXPECT_EQ(TpduOctets(Encode(number, std::string(159, 'a') + "\x80", 0).pdu), 155);
    // UCS-2: 70 characters are 140 octets; 71 are 142.
    std::string zh70;
    for (int i = 0; i < 70; ++i) zh70 += "\xD6\xD0";
    EXPECT_EQ(TpduOctets(Encode(number, zh70, 1).pdu), 154);
    EXPECT_EQ(TpduOctets(Encode(number, zh70 + "\xD6\xD0", 1).pdu), 156);
    // TP-UDL is one octet: 255 septets still encode, 256 cannot.
    EXPECT_EQ(Encode(number, std::string(255, 'a'), 0).result, 1);
    EXPECT_EQ(Encode(number, std::string(255, 'a'), 0, "a").result, 0);
    EXPECT_EQ(Encode(number, std::string(127, 'a'), 1).result, 1);
    EXPECT_EQ(Encode(number, std::string(128, 'a'), 1).result, 0);
}

TEST(SmsEncode, GsmAlphabetRoundTrip) {
    for (int s = 0; s < 128; ++s) {
        if (s == vantor::sms::kEscape) continue;
        std::uint8_t out[2] = {};
        ASSERT_EQ(vantor::sms::UnicodeToGsm(vantor::sms::GsmToUnicode(static_cast<std::uint8_t>(s)), out), 1) << s;
        EXPECT_EQ(out[0], s);
    }
    for (char16_t c : {u'{', u'}', u'[', u']', u'~', u'\\', u'|', u'^', u'\u20AC', u'\f'}) {
        std::uint8_t out[2] = {};
        ASSERT_EQ(vantor::sms::UnicodeToGsm(c, out), 2) << static_cast<int>(c);
        EXPECT_EQ(out[0], vantor::sms::kEscape);
        EXPECT_EQ(vantor::sms::GsmExtensionToUnicode(out[1]), c);
    }
    std::uint8_t out[2];
    EXPECT_EQ(vantor::sms::UnicodeToGsm(u'`', out), 0);
    EXPECT_EQ(vantor::sms::UnicodeToGsm(u'\u4E2D', out), 0);
}

}  // namespace
