// The modem model records a concatenated message once, joined from its parts
// (each sent with its own AT+CMGS), whatever order the parts come in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_talk.h"
#include "modem/modem_model.h"
#include "sms/pdu_encode.h"

namespace {

using modem::Tc35Model;

// Two messages of two parts each, made by python-gammu's multipart encoder:
// 7-bit (reference 0x2A, to +8613912345678, with extension characters) and
// UCS-2 (reference 0x07, to 10086).
const char kGsmText[] =
    "Alarm 17: pump 3 pressure high {limit 8 bar}, valve [V12] closed; check ~now~ at 10:30 \u20ac "
    "Alarm 17: pump 3 pressure high {limit 8 bar}, valve [V12] closed; check ~now~ at 10:30 \u20ac ";
const char* const kGsmParts[] = {
    "018151000D91683119325476F8000000A00500032A020182ECB0BC0D8ADD742078BD0D07CD407079793EAFCBCB2074FA8C066D"
    "50EC743B4D07E140E2B07C936281EC61B6BD0CDAF0AC31D9C6071AB3DFF33279071AA3CBE33568D373BFEF9B1E284C07C560BA"
    "190CB4298382ECB0BC0D8ADD742078BD0D07CD407079793EAFCBCB2074FA8C066D50EC743B4D07E140E2B07C936281EC61B6BD"
    "0CDAF0AC",
    "018151000D91683119325476F80000002E0500032A020262B28D0F3466BFE765F20E344697C76BD0A6E77EDF373D50980E8AC1"
    "74331868530601",
};
const char kUcs2Text[] =
    "泵三压力过高，请检查阀门。泵三压力过高，请检查阀门。泵三压力过高，请检查阀门。泵三压力过高，请检查阀门。"
    "泵三压力过高，请检查阀门。泵三压力过高，请检查阀门。泵三压力过高，请检查阀门。";
const char* const kUcs2Parts[] = {
    "0181510005810180F60008008C0500030702016CF54E09538B529B8FC79AD8FF0C8BF768C067E5960095E830026CF54E0953"
    "8B529B8FC79AD8FF0C8BF768C067E5960095E830026CF54E09538B529B8FC79AD8FF0C8BF768C067E5960095E830026CF54E"
    "09538B529B8FC79AD8FF0C8BF768C067E5960095E830026CF54E09538B529B8FC79AD8FF0C8BF768C067E5960095E830026C"
    "F54E09",
    "0181510005810180F600080036050003070202538B529B8FC79AD8FF0C8BF768C067E5960095E830026CF54E09538B529B8F"
    "C79AD8FF0C8BF768C067E5960095E83002",
};
const char kSinglePdu[] = "001100038121F30000A70AE8329BFD4697D9EC37";  // "hellohello" to 123

using model_talk::Send;
using model_talk::Talk;

TEST(ModemParts, JoinsPartsIntoOneMessageInAnyOrder) {
    Tc35Model m;
    Talk(m, "ATE0\r", 0);
    // Interleaved: UCS-2 part 2, 7-bit part 1, a single message, UCS-2 part 1,
    // 7-bit part 2. Each part gets its own +CMGS answer.
    EXPECT_EQ(Send(m, kUcs2Parts[1], 100), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    Send(m, kGsmParts[0], 200);
    EXPECT_TRUE(m.Sent().empty());
    Send(m, kSinglePdu, 300);
    ASSERT_EQ(m.Sent().size(), 1u);
    EXPECT_EQ(m.Sent()[0].text, "hellohello");
    EXPECT_EQ(m.Sent()[0].parts, 1);
    EXPECT_EQ(m.Sent()[0].concat_reference, -1);
    Send(m, kUcs2Parts[0], 400);
    Send(m, kGsmParts[1], 500);

    ASSERT_EQ(m.Sent().size(), 3u);
    const modem::SentMessage& ucs2 = m.Sent()[1];
    EXPECT_EQ(ucs2.text, kUcs2Text);
    EXPECT_EQ(ucs2.number, "10086");
    EXPECT_EQ(ucs2.coding, modem::Coding::kUcs2);
    EXPECT_EQ(ucs2.parts, 2);
    EXPECT_EQ(ucs2.concat_reference, 0x07);
    EXPECT_EQ(ucs2.pdu, std::string(kUcs2Parts[0]) + "," + kUcs2Parts[1]);  // in sequence
    EXPECT_EQ(ucs2.reference, 4);  // the <mr> of the part that completed it
    EXPECT_EQ(ucs2.at_ms, 410u);
    const modem::SentMessage& gsm = m.Sent()[2];
    EXPECT_EQ(gsm.text, kGsmText);
    EXPECT_EQ(gsm.number, "+8613912345678");
    EXPECT_EQ(gsm.coding, modem::Coding::kGsm7);
    EXPECT_EQ(gsm.parts, 2);
    EXPECT_EQ(gsm.concat_reference, 0x2A);

    ASSERT_EQ(m.SentParts().size(), 4u);
    EXPECT_EQ(m.SentParts()[0].sequence, 2);
    EXPECT_EQ(m.SentParts()[0].concat_reference, 0x07);
    EXPECT_EQ(m.SentParts()[1].sequence, 1);
}

TEST(ModemParts, RefusedPartsRepeatsAndStrangersAreKeptApart) {
    Tc35Model m;
    Talk(m, "ATE0\rAT+CMEE=1\r", 0);
    // The first attempt of part 1 is refused: not recorded. Its resend is.
    m.FailCommand("CMGS", 512, 1);
    EXPECT_EQ(Send(m, kGsmParts[0], 100), "\r\n+CMS ERROR: 512\r\n");
    EXPECT_TRUE(m.SentParts().empty());
    Send(m, kGsmParts[0], 200);
    // Heard twice before the message is complete: one message all the same,
    // and the repeat shows among the parts.
    Send(m, kGsmParts[0], 300);
    EXPECT_TRUE(m.Sent().empty());
    // The same reference and count to another number is another message.
    std::string stranger = kGsmParts[1];
    stranger.replace(stranger.find("683119325476F8"), 14, "683119325476F9");
    Send(m, stranger, 350);
    EXPECT_TRUE(m.Sent().empty());
    Send(m, kGsmParts[1], 400);
    ASSERT_EQ(m.Sent().size(), 1u);
    EXPECT_EQ(m.Sent()[0].text, kGsmText);
    EXPECT_EQ(m.SentParts().size(), 4u);
    // A part of a message that is already complete starts a new one: it is
    // not recorded as a second whole message.
    Send(m, kGsmParts[1], 500);
    EXPECT_EQ(m.Sent().size(), 1u);
    EXPECT_EQ(m.SentParts().size(), 5u);
}

// A part of a message that was never finished is given up after a day, as
// phones give it up: a later message under the same reference (one octet,
// so it comes round again) is not completed with it.
TEST(ModemParts, PartsOfAnUnfinishedMessageAreGivenUpAfterADay) {
    Tc35Model m;
    Talk(m, "ATE0\r", 0);
    Send(m, kGsmParts[1], 100);
    const std::uint64_t later = 100 + modem::SentLog::kPartsKeptMs + 1000;
    Send(m, kGsmParts[0], later);
    EXPECT_TRUE(m.Sent().empty());
    Send(m, kGsmParts[1], later + 100);
    ASSERT_EQ(m.Sent().size(), 1u);
    EXPECT_EQ(m.Sent()[0].text, kGsmText);
    EXPECT_EQ(m.Sent()[0].at_ms, later + 110);
}

// The driver's encoder and the model's decoder are independent: a 4-part
// message from one must come back whole from the other.
TEST(ModemParts, JoinsTheDriversFourPartMessages) {
    struct Case {
        std::string text;  // ASCII here, so the body bytes are the same in every code page
        int codeMod;
        int parts;
    };
    std::string gsm, ucs2;
    for (int i = 0; gsm.size() < 470; ++i) gsm += "Line " + std::to_string(i) + ": {tank} [level] ~ok~ | ";
    gsm.resize(470);
    for (int i = 0; ucs2.size() < 210; ++i) ucs2 += "Tank " + std::to_string(i) + " level high. ";
    ucs2.resize(210);
    for (const Case& c : {Case{gsm, 0, 4}, Case{ucs2, 1, 4}}) {
        vantor::sms::SubmitBody body;
        const std::string part0 = c.text.substr(0, 255);
        const std::string part1 = c.text.size() > 255 ? c.text.substr(255) : "";
        ASSERT_EQ(vantor::sms::SplitBody(part0.c_str(), part1.c_str(), static_cast<std::uint8_t>(c.codeMod), &body),
                  c.parts);
        Tc35Model m;
        Talk(m, "ATE0\r", 0);
        for (int k = 0; k < c.parts; ++k) {
            char pdu[vantor::sms::kPduTextSize];
            std::int32_t count = 0;
            ASSERT_EQ(vantor::sms::EncodePart("13800138000", body, k, 0x99, pdu, &count), 1);
            EXPECT_EQ(Send(m, pdu, 100u * static_cast<unsigned>(k + 1)),
                      "\r\n+CMGS: " + std::to_string(k + 1) + "\r\n\r\nOK\r\n");
        }
        ASSERT_EQ(m.Sent().size(), 1u) << c.codeMod;
        EXPECT_EQ(m.Sent()[0].text, c.text) << c.codeMod;
        EXPECT_EQ(m.Sent()[0].parts, c.parts);
        EXPECT_EQ(m.Sent()[0].concat_reference, 0x99);
        EXPECT_EQ(m.Sent()[0].coding, c.codeMod ? modem::Coding::kUcs2 : modem::Coding::kGsm7);
    }
}

}  // namespace
