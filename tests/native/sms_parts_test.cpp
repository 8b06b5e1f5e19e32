// Concatenated SMS-SUBMIT (3GPP TS 23.040 9.2.3.24.1): where a body is cut,
// what each part carries, and that a body fitting one message is encoded as
// before. The parts are read back here with a decoder of the test's own.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sms/pdu_encode.h"
#include "sms_test_util.h"

namespace {

namespace sms = vantor::sms;
using vantor::test::Gbk;
using vantor::test::SplitIntoTexts;

// Texts whose characters differ from one position to the next, so a part
// shifted by a septet or a unit cannot pass for the right one.
std::string Ascii(int n) {
    static const char kCycle[] = "abcdefghijklmnopqrstuvwxyz0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ.";
    std::string s;
    for (int i = 0; i < n; ++i) s += kCycle[i % (sizeof kCycle - 1)];
    return s;
}
std::string Chinese(int n) {  // UTF-8
    static const char* const kCycle[] = {"中", "文", "短", "信", "报", "警", "温", "度", "压", "力", "泵", "阀", "开"};
    std::string s;
    for (int i = 0; i < n; ++i) s += kCycle[i % 13];
    return s;
}

struct Split {
    int parts = 0;
    sms::SubmitBody body;
};

Split SplitText(const std::string& gbk, int codeMod) {
    Split s;
    const auto texts = SplitIntoTexts(gbk);
    s.parts = sms::SplitBody(texts.part0.c_str(), texts.part1.c_str(), static_cast<std::uint8_t>(codeMod), &s.body);
    return s;
}

std::vector<int> PartLengths(const sms::SubmitBody& b) {
    std::vector<int> lengths;
    for (int k = 0; k < b.parts; ++k) lengths.push_back(b.start[k + 1] - b.start[k]);
    return lengths;
}

std::string EncodePart(const sms::SubmitBody& b, int k, int reference, const char* number = "13800138000") {
    std::vector<char> pdu(sms::kPduTextSize, 'Z');
    std::int32_t count = -1;
    const int r = sms::EncodePart(number, b, k, static_cast<std::uint8_t>(reference), pdu.data(), &count);
    if (r != 1) return "refused";
    EXPECT_EQ(std::string(pdu.data()).size(), static_cast<std::size_t>(count));
    return std::string(pdu.data(), static_cast<std::size_t>(count));
}

// The fields of an SMS-SUBMIT without SMSC address that the parts vary in.
struct Submit {
    int firstOctet = -1;
    int dcs = -1;
    int udl = -1;
    std::vector<int> ud;
};

Submit ReadSubmit(const std::string& pdu) {
    std::vector<int> o;
    for (std::size_t i = 0; i + 1 < pdu.size(); i += 2) o.push_back(std::stoi(pdu.substr(i, 2), nullptr, 16));
    Submit s;
    std::size_t p = 0;
    if (o.at(p++) != 0) return s;  // SMSC length
    s.firstOctet = o.at(p++);
    ++p;  // TP-MR
    const int digits = o.at(p++);
    p += 1 + (digits + 1) / 2;  // type of address, digits
    ++p;                        // TP-PID
    s.dcs = o.at(p++);
    ++p;  // TP-VP (relative)
    s.udl = o.at(p++);
    s.ud.assign(o.begin() + static_cast<std::ptrdiff_t>(p), o.end());
    return s;
}

// Septet i of packed user data: bits 7i..7i+6, least significant first.
int SeptetAt(const std::vector<int>& ud, int i) {
    int v = 0;
    for (int b = 0; b < 7; ++b) {
        const int bit = 7 * i + b;
        v |= ((ud.at(static_cast<std::size_t>(bit / 8)) >> (bit % 8)) & 1) << b;
    }
    return v;
}

TEST(SmsParts, BodyThatFitsOneMessageIsMakecodesPdu) {
    struct Case {
        const char* name;
        std::string utf8;
        int codeMod;
    };
    const Case cases[] = {
        {"empty", "", 0},
        {"hellohello", "hellohello", 0},
        {"160 septets", Ascii(160), 0},
        {"158 septets and an escape pair", Ascii(158) + "{", 0},
        {"70 units", Chinese(70), 1},
        {"70 ASCII units with CodeMod 1", Ascii(70), 1},
        {"GSM body that falls back to UCS-2", Ascii(69) + "中", 0},
    };
    for (const auto& c : cases) {
        const std::string gbk = Gbk(c.utf8);
        const Split s = SplitText(gbk, c.codeMod);
        ASSERT_EQ(s.parts, 1) << c.name;
        std::vector<char> pdu(sms::kPduTextSize);
        std::int32_t count = 0;
        const auto texts = SplitIntoTexts(gbk);
        ASSERT_EQ(sms::Makecode("13800138000", texts.part0.c_str(), texts.part1.c_str(),
                                static_cast<std::uint8_t>(c.codeMod), pdu.data(), &count), 1) << c.name;
        // The reference has no place in a single message.
        EXPECT_EQ(EncodePart(s.body, 0, 0x5A), std::string(pdu.data(), static_cast<std::size_t>(count))) << c.name;
        EXPECT_EQ(EncodePart(s.body, 1, 0x5A), "refused") << c.name;
    }
}

TEST(SmsParts, CutsAtEveryBoundary) {
    struct Case {
        const char* name;
        std::string utf8;
        int codeMod;
        bool gsm;
        std::vector<int> lengths;  // septets or units per part
    };
    const Case cases[] = {
        {"161 septets", Ascii(161), 0, true, {153, 8}},
        {"306 septets", Ascii(306), 0, true, {153, 153}},
        {"307 septets", Ascii(307), 0, true, {153, 153, 1}},
        {"459 septets", Ascii(459), 0, true, {153, 153, 153}},
        {"460 septets", Ascii(460), 0, true, {153, 153, 153, 1}},
        {"510 septets, both texts full", Ascii(510), 0, true, {153, 153, 153, 51}},
        {"71 units", Chinese(71), 1, false, {67, 4}},
        {"134 units", Chinese(134), 1, false, {67, 67}},
        {"135 units", Chinese(135), 1, false, {67, 67, 1}},
        {"201 units", Chinese(201), 1, false, {67, 67, 67}},
        {"202 units", Chinese(202), 1, false, {67, 67, 67, 1}},
        {"254 Chinese characters, both texts full", Chinese(254), 1, false, {67, 67, 67, 53}},
        {"71 units from a GSM body with one Chinese character", Ascii(70) + "中", 0, false, {67, 4}},
        // The worst cases of what two texts can hold.
        {"510 ASCII bytes as UCS-2", Ascii(510), 1, false, {67, 67, 67, 67, 67, 67, 67, 41}},
        {"510 escape pairs", std::string(510, '{'), 0, true, {152, 152, 152, 152, 152, 152, 108}},
        // An escape pair at the cut goes whole into the next part.
        {"escape pair across the cut", Ascii(152) + "{" + Ascii(20), 0, true, {152, 22}},
        {"escape pair just before the cut", Ascii(151) + "{" + Ascii(20), 0, true, {153, 20}},
        {"escape pair just after the cut", Ascii(153) + "{" + Ascii(20), 0, true, {153, 22}},
        {"escape pair across the third cut", Ascii(458) + "[", 0, true, {153, 153, 152, 2}},
    };
    for (const auto& c : cases) {
        const Split s = SplitText(Gbk(c.utf8), c.codeMod);
        EXPECT_EQ(s.parts, static_cast<int>(c.lengths.size())) << c.name;
        EXPECT_EQ(s.body.gsm, c.gsm) << c.name;
        EXPECT_EQ(PartLengths(s.body), c.lengths) << c.name;
    }
}

TEST(SmsParts, SurrogatePairIsNeverSplit) {
    // No GBK text converts to a surrogate pair, so the units are put in place.
    struct Case {
        int before;  // BMP units before the pair
        std::vector<int> lengths;
    };
    for (const Case& c : {Case{66, {66, 16}}, Case{65, {67, 14}}, Case{67, {67, 16}}, Case{133, {67, 66, 16}}}) {
        sms::SubmitBody b;
        b.gsm = false;
        b.length = 0;
        for (int i = 0; i < c.before; ++i) b.units[b.length++] = u'A';
        b.units[b.length++] = 0xD83D;  // U+1F525 FIRE
        b.units[b.length++] = 0xDD25;
        while (b.length < c.before + 16) b.units[b.length++] = u'B';
        ASSERT_EQ(sms::CutParts(&b), static_cast<int>(c.lengths.size())) << c.before;
        EXPECT_EQ(PartLengths(b), c.lengths) << c.before;
        const std::string second = EncodePart(b, 1, 7);
        ASSERT_NE(second, "refused");
        const Submit s = ReadSubmit(second);
        EXPECT_EQ(s.udl, 6 + 2 * c.lengths[1]) << c.before;
    }
}

TEST(SmsParts, EachPartCarriesTheHeaderAndItsText) {
    struct Case {
        const char* name;
        std::string utf8;
        int codeMod;
    };
    const Case cases[] = {
        {"4-part 7-bit", Ascii(300) + "{[]}~|\\^€" + Ascii(150), 0},
        {"4-part UCS-2", Chinese(202), 1},
        {"2-part UCS-2 mixed", Ascii(40) + Chinese(40), 1},
    };
    for (const auto& c : cases) {
        const Split s = SplitText(Gbk(c.utf8), c.codeMod);
        ASSERT_GT(s.parts, 1) << c.name;
        const int reference = 0xC3;
        for (int k = 0; k < s.parts; ++k) {
            const std::string where = std::string(c.name) + " part " + std::to_string(k + 1);
            const Submit p = ReadSubmit(EncodePart(s.body, k, reference));
            EXPECT_EQ(p.firstOctet, 0x51) << where;
            const std::vector<int> header(p.ud.begin(), p.ud.begin() + 6);
            EXPECT_EQ(header, (std::vector<int>{5, 0, 3, reference, s.parts, k + 1})) << where;
            const int from = s.body.start[k], to = s.body.start[k + 1];
            if (s.body.gsm) {
                EXPECT_EQ(p.dcs, 0x00) << where;
                EXPECT_EQ(p.udl, 7 + (to - from)) << where;
                EXPECT_EQ(p.ud.size(), static_cast<std::size_t>((7 * p.udl + 7) / 8)) << where;
                EXPECT_EQ(p.ud[6] & 1, 0) << where << ": fill bit";
                for (int i = from; i < to; ++i)
                    ASSERT_EQ(SeptetAt(p.ud, 7 + i - from), s.body.septets[i]) << where << " septet " << i;
            } else {
                EXPECT_EQ(p.dcs, 0x08) << where;
                EXPECT_EQ(p.udl, 6 + 2 * (to - from)) << where;
                ASSERT_EQ(p.ud.size(), static_cast<std::size_t>(p.udl)) << where;
                for (int i = from; i < to; ++i) {
                    const std::size_t at = 6 + 2 * static_cast<std::size_t>(i - from);
                    ASSERT_EQ(p.ud[at] << 8 | p.ud[at + 1], s.body.units[i]) << where << " unit " << i;
                }
            }
            // A full part is as long as a single message can be.
            if (to - from == (s.body.gsm ? 153 : 67)) EXPECT_EQ(p.ud.size(), 140u) << where;
        }
    }
}

TEST(SmsParts, RefusesWhatIsNotAPart) {
    const Split s = SplitText(Ascii(200), 0);
    ASSERT_EQ(s.parts, 2);
    EXPECT_EQ(EncodePart(s.body, -1, 1), "refused");
    EXPECT_EQ(EncodePart(s.body, 2, 1), "refused");
    EXPECT_EQ(EncodePart(s.body, 0, 1, "12a"), "refused");
    EXPECT_EQ(EncodePart(s.body, 0, 1, ""), "refused");
    std::int32_t count = 5;
    EXPECT_EQ(sms::EncodePart("123", s.body, 0, 1, nullptr, &count), 0);
    sms::SubmitBody b;
    EXPECT_EQ(sms::SplitBody("a", "", 1, nullptr), 0);
    b.gsm = true;
    b.length = 2 * sms::kBodySize + 1;
    EXPECT_EQ(sms::CutParts(&b), 0);
}

}  // namespace
