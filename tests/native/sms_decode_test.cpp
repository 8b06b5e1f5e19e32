// SMS-DELIVER entries into display texts: the layout, the data coding groups,
// the GSM alphabet, user data headers, senders, and malformed input; how far
// the parser reads a PDU line that is cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sms/tpdu.h"
#include "sms_test_util.h"

namespace {

using vantor::test::Decoded;
using vantor::test::DecodeEntry;
using vantor::test::Gbk;
using vantor::test::PduEntry;
using vantor::test::Utf8;

// The worked 7-bit example: SMSC 00, first octet 04, sender 123 (type 81),
// PID 00, DCS 00, time stamp 05-12-08 21:13:45, "Hello".
const std::string kHello = "0004038121F300005021801231542305C8329BFD06";
const std::string kHelloHeader = "<1>05年12月08日21:13:45来自:123的消息";
const std::string kNotice = "非文本短消息，请用相应型号的手机查看！";

// A DELIVER PDU from sender 123 with the given first octet, PID, DCS, UDL and
// user data (hex).
std::string Deliver(const std::string& fo, const std::string& pidDcs, const std::string& udl,
                    const std::string& ud) {
    return "00" + fo + "038121F3" + pidDcs + "50218012315423" + udl + ud;
}

TEST(SmsDecode, WorkedExamples) {
    const Decoded hello = DecodeEntry("+CMGL: 1,0,,20\r\n" + kHello);
    EXPECT_EQ(Utf8(hello.text), kHelloHeader + "@Hello");
    EXPECT_EQ(Utf8(hello.Header()), kHelloHeader);
    EXPECT_EQ(hello.Body(), "Hello");

    const Decoded ucs2 = DecodeEntry(PduEntry(Deliver("04", "0008", "04", "4F60597D")));
    EXPECT_EQ(Utf8(ucs2.Body()), "你好");
    // The index exactly as written, lower-case hex, a service-centre address.
    const Decoded lower =
        DecodeEntry("+CMGL: 17,1,\"x\",26\r\n07911326040000F0" + std::string("04038121f300005021801231542305c8329bfd06"));
    EXPECT_EQ(Utf8(lower.text), "<17>05年12月08日21:13:45来自:123的消息@Hello");
}

struct BodyCase {
    const char* name;
    std::string fo, pidDcs, udl, ud;
    std::string body;  // UTF-8; "" with notice = true means the notice
    bool notice = false;
    std::string place;  // after the header: a part's place in its message
};

TEST(SmsDecode, BodiesByCoding) {
    const BodyCase cases[] = {
        {"8 septets in 7 octets", "04", "0000", "08", "E8329BFD4697D9", "hellohel"},
        {"7 septets in 7 octets", "04", "0000", "07", "E8329BFD4697D9", "hellohe"},
        {"PID plays no part", "04", "3900", "05", "C8329BFD06", "Hello"},
        {"class group F1 is 7-bit", "04", "00F1", "05", "C8329BFD06", "Hello"},
        {"message waiting group is 7-bit", "04", "00C0", "05", "C8329BFD06", "Hello"},
        {"UCS-2 group E", "04", "00E0", "02", "4E2D", "中"},
        {"zero UCS-2 units add nothing", "04", "0008", "06", "00410000042D", "AЭ"},
        {"8-bit data", "04", "0004", "02", "4142", "", true},
        {"8-bit class group", "04", "00F5", "02", "4142", "", true},
        {"compressed", "04", "0020", "02", "4142", "", true},
        {"reserved alphabet", "04", "000C", "02", "4142", "", true},
        {"reserved coding group", "04", "0080", "02", "4142", "", true},
        {"TP-RP alone changes nothing", "84", "0000", "05", "C8329BFD06", "Hello"},
        // @ is septet 0: a character, not the end of the text.
        {"at sign", "04", "0000", "03", "000000", "@@@"},
        // GSM specials: { is ESC 28, } ESC 29, e-acute 05; the pound sign
        // (01) has no GBK form and shows as the code page's default '?'.
        {"GSM alphabet to GBK", "04", "0000", "06", "1B5461930A00", "{é}?"},
        {"ESC as the last septet", "04", "0000", "02", "C10D", "A "},
        {"unknown extension code shows the default character", "04", "0000", "02", "9B20", "A"},
        // 7-bit with a UDH: UDHL 05 (concatenation), 48 header bits, one fill
        // bit, text from septet 7: "Hi".
        {"UDH with fill bits", "44", "0000", "09", "050003010201" "9069", "Hi", false, "(1/2)"},
        {"UCS-2 with a UDH", "44", "0008", "0A", "050003010201" "4F60597D", "你好", false, "(1/2)"},
        {"user data shorter than UDL", "04", "0000", "0A", "C8329BFD06", "Hello"},
    };
    for (const auto& c : cases) {
        const Decoded d = DecodeEntry(PduEntry(Deliver(c.fo, c.pidDcs, c.udl, c.ud), 5));
        if (c.notice) {
            EXPECT_EQ(Utf8(d.text), "<5>" + kNotice) << c.name;
            EXPECT_EQ(d.separator, -1) << c.name;
        } else {
            EXPECT_EQ(Utf8(d.Header()), "<5>05年12月08日21:13:45来自:123的消息" + c.place) << c.name;
            EXPECT_EQ(Utf8(d.Body()), c.body) << c.name;
        }
    }
}

TEST(SmsDecode, PartsShowTheirPlace) {
    struct Case {
        const char* name;
        std::string fo, pidDcs, udl, ud;
        std::string place;  // "" when the header shows none
    };
    const Case cases[] = {
        {"8-bit reference, 7-bit", "44", "0000", "09", "050003ED0302" "9069", "(2/3)"},
        {"8-bit reference, UCS-2", "44", "0008", "0A", "050003ED0303" "4F60597D", "(3/3)"},
        {"16-bit reference", "44", "0000", "0A", "0608041234FF0A" "20D30C", "(10/255)"},
        {"after another element", "44", "0008", "0D", "080401FF0003070403" "4F60597D", "(3/4)"},
        {"a message of one part needs no place", "44", "0000", "09", "050003C30101" "9069", ""},
        {"sequence 0 is ignored", "44", "0000", "09", "050003010200" "9069", ""},
        {"sequence past the total is ignored", "44", "0000", "09", "050003010203" "9069", ""},
        {"wrong element length is ignored", "44", "0008", "0A", "0500040102014F60597D", ""},
        {"other elements only", "44", "0008", "08", "0324010C" "4F60597D", ""},
        {"header longer than the user data", "44", "0008", "08", "0A0003010201", ""},
        {"header cut inside the element", "44", "0008", "04", "050003", ""},
        {"no user data at all", "44", "0008", "00", "", ""},
        {"UDHI clear: the same bytes are text", "04", "0008", "0A", "050003010201" "4F60597D", ""},
    };
    for (const auto& c : cases) {
        const Decoded d = DecodeEntry(PduEntry(Deliver(c.fo, c.pidDcs, c.udl, c.ud), 3));
        EXPECT_EQ(Utf8(d.Header()), "<3>05年12月08日21:13:45来自:123的消息" + c.place) << c.name;
    }
}

TEST(SmsDecode, Senders) {
    struct SenderCase {
        const char* address;  // length, type, value
        const char* sender;   // UTF-8
    } cases[] = {
        {"0381" "21F3", "123"},                  // odd: the filler is dropped
        {"0481" "2143", "1234"},
        {"0091", ""},                            // no digits
        {"0B91" "1346610089F6", "31641600986"},  // international: no '+' added
        {"0581" "BAC1F2", "*#1a2"},              // TS 23.040 semi-octet values
        {"0DD0" "F334FC1CA69701", "sipgate"},    // alphanumeric, 7 septets
        {"09D0" "C6A7333904", "FONIC"},          // alphanumeric, odd length
        {"07D0" "61801800", "a@b"},         // '@' inside; a trailing zero septet of padding dropped
    };
    for (const auto& c : cases) {
        const std::string pdu = std::string("0004") + c.address + "0000" + "50218012315423" + "01" + "41";
        const Decoded d = DecodeEntry(PduEntry(pdu));
        EXPECT_EQ(Utf8(d.Header()), std::string("<1>05年12月08日21:13:45来自:") + c.sender + "的消息")
            << c.address;
        EXPECT_EQ(d.Body(), "A") << c.address;
    }
    // 32 or more digits are no address: the notice, still with the index.
    EXPECT_EQ(Utf8(DecodeEntry(PduEntry("000420" + std::string(34, '1') + "0000" + "50218012315423" + "0141", 9)).text),
              "<9>" + kNotice);
}

TEST(SmsDecode, MalformedEntries) {
    EXPECT_EQ(DecodeEntry("").text, "^");
    EXPECT_EQ(DecodeEntry("+CMTI: \"SM\",1\r\n" + kHello).text, "^");
    EXPECT_EQ(DecodeEntry("+CMGL: 4,0,,20").text, "<4>");  // no PDU line

    // Cut at every length: always a prefix of the whole display text, and
    // nothing read past the entry (the sanitizer watches the exact-size copy).
    const std::string entry = "+CMGL: 1,0,,20\r\n" + kHello;
    const std::string whole = DecodeEntry(entry).text;
    for (std::size_t n = 0; n <= entry.size(); ++n) {
        const std::string text = DecodeEntry(entry.substr(0, n)).text;
        if (n < entry.find('\n')) continue;  // the header line itself
        EXPECT_EQ(whole.compare(0, text.size(), text), 0) << n << ": " << Utf8(text);
    }
    EXPECT_EQ(Utf8(DecodeEntry(entry.substr(0, entry.size() - 2)).Body()), "Hell");

    // An invalid hex digit ends the PDU: what stands before it is decoded.
    std::string bad = entry;
    bad[bad.size() - 3] = 'G';
    EXPECT_EQ(Utf8(DecodeEntry(bad).Body()), "Hel");  // octet FD is gone, and the septet it carried
    bad = entry;
    bad[16 + 10] = 'x';  // inside the sender
    EXPECT_EQ(DecodeEntry(bad).text, "<1>");
    // A stray quote after the PDU (seen in recorded answers) is ignored.
    EXPECT_EQ(DecodeEntry(entry + "\"\r").Body(), "Hello");
}

// kHello cut after every octet and inside every octet: before TP-PID and
// TP-DCS are whole nothing is read; inside TP-SCTS its whole octets are;
// after it there is no TP-UDL; from TP-UDL on the user data is what the
// line holds. Half an octet counts for nothing.
TEST(SmsTpdu, CutLinesReadAsFarAsTheyReach) {
    using vantor::sms::DeliverRead;
    // SCA 00 | 04 | 03 81 21F3 | PID 00 DCS 00 | SCTS 7 octets | UDL 05 | 5 octets
    constexpr std::size_t kDcsEnd = 8, kStampEnd = 15;
    for (std::size_t chars = 0; chars <= kHello.size(); ++chars) {
        const std::size_t octets = chars / 2;
        // An exact-size copy: the sanitizer sees a read past the cut.
        const std::vector<char> line(kHello.begin(), kHello.begin() + static_cast<std::ptrdiff_t>(chars));
        vantor::sms::Deliver d;
        const DeliverRead read = vantor::sms::ParseDeliver(line.data(), chars, &d);
        SCOPED_TRACE(std::to_string(chars) + " characters");
        if (octets < kDcsEnd) {
            EXPECT_EQ(read, DeliverRead::kCutBeforeCoding);
        } else if (octets < kStampEnd) {
            EXPECT_EQ(read, DeliverRead::kCutInTimeStamp);
            EXPECT_EQ(d.stamp.octets, static_cast<int>(std::min<std::size_t>(octets - kDcsEnd, 6)));
            EXPECT_EQ(std::string(d.stamp.digits, 2 * d.stamp.octets), std::string("051208211345").substr(0, 2 * d.stamp.octets));
            EXPECT_FALSE(d.stamp.hasZone);
        } else if (octets == kStampEnd) {
            EXPECT_EQ(read, DeliverRead::kNoUserData);
            EXPECT_TRUE(d.stamp.hasZone);
            EXPECT_EQ(d.stamp.zone, 32);  // 23: +8 hours
        } else {
            EXPECT_EQ(read, DeliverRead::kWhole);
            EXPECT_EQ(d.udl, 5);
            EXPECT_EQ(d.userDataOctets, octets - kStampEnd - 1);
        }
    }

    struct Case {
        const char* name;
        std::string pdu;
        DeliverRead read;
    };
    const Case cases[] = {
        {"32 semi-octets are no address", "0004208100", DeliverRead::kOverlongAddress},
        {"31 semi-octets are, cut here", "00041F81" + std::string(30, '1'), DeliverRead::kCutBeforeCoding},
        {"a service-centre address past the line", "0791" "1326040000", DeliverRead::kCutBeforeCoding},
        {"a stray character ends the PDU", kHello.substr(0, 30) + "G5" + kHello.substr(32), DeliverRead::kNoUserData},
        {"lower-case digits", "0004038121f300005021801231542305c8329bfd06", DeliverRead::kWhole},
    };
    for (const auto& c : cases) {
        vantor::sms::Deliver d;
        EXPECT_EQ(vantor::sms::ParseDeliver(c.pdu.data(), c.pdu.size(), &d), c.read) << c.name;
    }
}

TEST(SmsDecode, LongTextsAreCutOnACharacterBoundary) {
    // 127 UCS-2 units of U+4E2D: 254 GBK bytes after the 38-byte header part
    // of index 1. The 255th byte would be half a character, so 254 remain.
    std::string ud;
    for (int i = 0; i < 127; ++i) ud += "4E2D";
    const Decoded zh = DecodeEntry(PduEntry(Deliver("04", "0008", "FE", ud)));
    EXPECT_EQ(zh.text.size(), 254u);
    for (std::size_t i = 0; i < zh.Body().size(); i += 2) ASSERT_EQ(zh.Body().substr(i, 2), "\xD6\xD0");

    // Index 12 makes the header part 39 bytes: the cut falls at exactly 255.
    const Decoded zh12 = DecodeEntry(PduEntry(Deliver("04", "0008", "FE", ud), 12));
    EXPECT_EQ(zh12.text.size(), 255u);
    EXPECT_EQ(zh12.text.substr(253), "\xD6\xD0");

    // 255 septets of '@': cut at exactly 255 bytes.
    const Decoded gsm = DecodeEntry(PduEntry(Deliver("04", "0000", "FF", std::string(448, '0'))));
    EXPECT_EQ(gsm.text.size(), 255u);
    EXPECT_EQ(gsm.Body(), std::string(255 - 38, '@'));
}

}  // namespace
