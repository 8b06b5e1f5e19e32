// Listing answers into message store pairs, PDU mode and text mode, through
// the listing reader the driver runs. (Which pair a listing replaces, and
// when, is the device's: see the device tests.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/gsm_modem.h"
#include "sms/listing_reader.h"
#include "sms/shown_text.h"
#include "sms_test_util.h"

namespace {

using vantor::Slot;
using vantor::test::Utf8;
using vantor::test::PduEntry;

const std::string kHello = "0004038121F300005021801231542305C8329BFD06";
const std::string kNotice = "非文本短消息，请用相应型号的手机查看！";

// A DELIVER from 123 whose 7-bit body is the single character `c` (< 0x80).
std::string OneLetter(char c) {
    char ud[3];
    std::snprintf(ud, sizeof ud, "%02X", c);
    return "0004038121F30000502180123154230" "1" + std::string(ud);
}

struct Pair {
    Slot header[vantor::kOldSlots];
    Slot text[vantor::kOldSlots];
    Pair() { Fill("old"); }
    void Fill(const char* what) {
        for (int i = 0; i < vantor::kOldSlots; ++i) {
            std::snprintf(header[i], sizeof header[i], "%s header %d", what, i);
            std::snprintf(text[i], sizeof text[i], "%s text %d", what, i);
        }
    }
};

std::string PduListing(int entries) {
    std::string answer = "AT+CMGL=0\r\r\n";
    for (int i = 0; i < entries; ++i)
        answer += PduEntry(OneLetter(static_cast<char>('A' + i)), i + 1) + "\r\n";
    return answer + "\r\nOK\r\n";
}

// Reads a whole answer into the first `slots` slots of the pair, as the line
// would deliver it, and lets the line go quiet after it.
int Read(vantor::sms::ListingReader::Format format, const std::string& answer, Pair& p, int slots) {
    std::vector<vantor::sms::Received> records(static_cast<std::size_t>(slots));
    vantor::sms::ListingReader reader(format, records.data(), slots);
    if (reader.Take(answer.data(), answer.size()) == vantor::at::Verdict::kNotYet) reader.End();
    vantor::sms::ShowListing(records.data(), std::min(reader.Entries(), slots), format, p.header, p.text, slots);
    return reader.Entries();
}

int ParsePdu(const std::string& answer, Pair& p, int slots) {
    return Read(vantor::sms::ListingReader::Format::kPdu, answer, p, slots);
}

// A recorded answer kept one line per line: lines joined with CR LF, as the
// modem sent them.
std::string CaptureLines(const char* name) {
    std::string answer;
    FILE* f = std::fopen((std::string(VANTOR_CAPTURES_DIR "/") + name).c_str(), "rb");
    if (f == nullptr) return answer;
    char line[1024];
    while (std::fgets(line, sizeof line, f)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        answer += l + "\r\n";
    }
    std::fclose(f);
    return answer;
}

TEST(SmsPduListing, FillsSlotsInOrderUpToTheSlotCount) {
    Pair unread;
    ParsePdu(PduListing(12), unread, vantor::kNewSlots);
    for (int i = 0; i < vantor::kNewSlots; ++i) {
        EXPECT_EQ(Utf8(unread.header[i]),
                  "<" + std::to_string(i + 1) + ">05年12月08日21:13:45来自:123的消息");
        EXPECT_EQ(std::string(unread.text[i]), std::string(1, static_cast<char>('A' + i)));
    }
    // Slots past the count are not touched.
    EXPECT_STREQ(unread.header[10], "old header 10");

    Pair read;
    ParsePdu(PduListing(22), read, vantor::kOldSlots);
    EXPECT_EQ(std::string(read.text[19]), "T");
    EXPECT_EQ(Utf8(read.header[19]).substr(0, 4), "<20>");
}

// A listing with no entry reads as an empty pair; the device decides whether
// it replaces what the host saw (an unread PDU listing does not).
TEST(SmsPduListing, NoEntries) {
    Pair unread;
    EXPECT_EQ(ParsePdu("AT+CMGL=0\r\r\nOK\r\n", unread, vantor::kNewSlots), 0);
    for (int i = 0; i < vantor::kNewSlots; ++i) EXPECT_EQ(unread.header[i][0] | unread.text[i][0], 0);
    EXPECT_STREQ(unread.header[10], "old header 10");  // beyond its slots: untouched

    Pair read;
    EXPECT_EQ(ParsePdu("AT+CMGL=1\r\r\nOK\r\n", read, vantor::kOldSlots), 0);
    for (int i = 0; i < vantor::kOldSlots; ++i) {
        EXPECT_EQ(read.header[i][0], '\0');
        EXPECT_EQ(read.text[i][0], '\0');
    }

    // Fewer entries than before: the rest of the pair is emptied.
    unread.Fill("old");
    ParsePdu(PduListing(2), unread, vantor::kNewSlots);
    EXPECT_STREQ(unread.text[1], "B");
    EXPECT_EQ(unread.header[2][0], '\0');
    EXPECT_EQ(unread.text[9][0], '\0');
}

TEST(SmsPduListing, EntriesOfEveryKind) {
    const std::string answer =
        "+CMGL: 5,0,,22\r\n0004038121F300045021801231542302ABCD\r\n"       // 8-bit data
        "+CMGL: 6,0,,20\r\n" + kHello + "\r\n"
        "+CMGL: 7,0,,17\r\n000407D0618018000000502180123154230" "14F\r\n"    // sender "a@b"
        "+CMGL: 8,0,,20\r\n" "0004038121F3000050218012315423050000000000\r\n"  // body "@@@@@"
        "+CMGL: 9,0,,20\r\n"                                              // cut off: no line end
        "0004038121F300005021801231542305C8329BFD06";
    Pair p;
    ParsePdu(answer, p, vantor::kOldSlots);
    EXPECT_EQ(Utf8(p.header[0]), "<5>" + kNotice);
    EXPECT_EQ(p.text[0][0], '\0');
    EXPECT_EQ(Utf8(p.header[1]), "<6>05年12月08日21:13:45来自:123的消息");
    EXPECT_STREQ(p.text[1], "Hello");
    EXPECT_EQ(Utf8(p.header[2]), "<7>05年12月08日21:13:45来自:a@b的消息");
    EXPECT_STREQ(p.text[2], "O");
    EXPECT_STREQ(p.text[3], "@@@@@");
    EXPECT_EQ(p.header[4][0], '\0');
}

TEST(SmsPduListing, RecordedAnswer) {
    // Two REC READ entries with a service-centre address, as a modem listed them.
    const std::string answer = CaptureLines("python-gsmmodem_cmgl-pdu-rec-read.lines.txt");
    ASSERT_FALSE(answer.empty());
    Pair p;
    ParsePdu(answer, p, vantor::kOldSlots);
    EXPECT_EQ(Utf8(p.header[0]), "<1>13年02月07日01:31:44来自:2784000153099999的消息");
    EXPECT_EQ(std::string(p.text[0]).substr(0, 20), "New and here to stay");
    EXPECT_EQ(Utf8(p.header[1]), "<2>13年02月07日06:24:02来自:27840001463的消息");
    EXPECT_EQ(std::string(p.text[1]).substr(0, 14), "Standard Bank:");
    EXPECT_EQ(p.header[2][0], '\0');
}

int ParseText(const std::string& answer, Pair& p, int slots) {
    return Read(vantor::sms::ListingReader::Format::kText, answer, p, slots);
}

TEST(SmsTextListing, HeaderShapes) {
    struct Case {
        const char* line;
        const char* header;
    } cases[] = {
        {"+CMGL: 3,\"REC UNREAD\",\"+123\",,\"05/12/08,21:13:45+32\"", "<3> 05/12/08,21:13:45 Message From +123"},
        {"+CMGL: 3,\"REC UNREAD\",\"123\",,\"05/12/08,21:13:45+32\"", "<3> 05/12/08,21:13:45 Message From 123"},
        {"+CMGL: 3,\"REC READ\",\"sipgate\",,\"05/12/08,21:13:45-08\"", "<3> 05/12/08,21:13:45 Message From sipgate"},
        {"+CMGL: 3,\"REC READ\",\"+123\",\"Tom, Jr\",\"05/12/08,21:13:45+32\"", "<3> 05/12/08,21:13:45 Message From +123"},
        {"+CMGL: 3,\"REC READ\",\"+123\",,\"05/12/08,21:13:45+32\",145,5", "<3> 05/12/08,21:13:45 Message From +123"},
        {"+CMGL:3, \"REC READ\", \"+123\", , \"05/12/08,21:13:45\"", "<3> 05/12/08,21:13:45 Message From +123"},
        {"+CMGL: 3,\"REC READ\",\"+123\"", "<3>  Message From +123"},
        {"+CMGL: 3,\"REC READ\",\"+1234567890123456789012345678901234\",,\"05/12/08,21:13:45+32\"",
         "<3> 05/12/08,21:13:45 Message From +12345678901234567890123456789"},
    };
    for (const auto& c : cases) {
        Pair p;
        ParseText(std::string(c.line) + "\r\nHello\r\n\r\nOK\r\n", p, vantor::kNewSlots);
        EXPECT_STREQ(p.header[0], c.header) << c.line;
        EXPECT_STREQ(p.text[0], "Hello") << c.line;
        EXPECT_EQ(p.header[1][0], '\0') << c.line;
    }
}

TEST(SmsTextListing, SlotsAndBreaks) {
    std::string five;
    for (int i = 1; i <= 5; ++i)
        five += "+CMGL: " + std::to_string(i) + ",\"REC READ\",\"+123\",,\"05/12/08,21:13:45+32\"\r\nBody " +
                std::to_string(i) + "\r\n";
    Pair p;
    ParseText(five + "\r\nOK\r\n", p, vantor::kOldSlots);
    EXPECT_STREQ(p.text[4], "Body 5");
    // Two entries after five: slots 2 and on are emptied.
    ParseText(five.substr(0, five.find("+CMGL: 3")) + "OK\r\n", p, vantor::kOldSlots);
    EXPECT_STREQ(p.text[1], "Body 2");
    for (int i = 2; i < vantor::kOldSlots; ++i) EXPECT_EQ(p.header[i][0] | p.text[i][0], 0) << i;
    // Twelve entries into ten unread slots.
    Pair unread;
    ParseText(five + five + five, unread, vantor::kNewSlots);
    EXPECT_STREQ(unread.text[9], "Body 5");
    EXPECT_STREQ(unread.header[10], "old header 10");
    // No entry: both stores emptied.
    ParseText("OK\r\n", p, vantor::kOldSlots);
    EXPECT_EQ(p.header[0][0] | p.text[0][0], 0);
    // An entry without a body line ends the listing; its slot stays empty.
    ParseText(five.substr(0, five.find("+CMGL: 2")) + "+CMGL: 2,\"REC READ\",\"+1\",,\"05/12/08,21:13:45+32\"", p, vantor::kOldSlots);
    EXPECT_STREQ(p.text[0], "Body 1");
    EXPECT_EQ(p.header[1][0], '\0');
}

TEST(SmsTextListing, LongBodiesAreCutAt255) {
    const std::string head = "+CMGL: 1,\"REC READ\",\"+123\",,\"05/12/08,21:13:45+32\"\r\n";
    Pair p;
    ParseText(head + std::string(300, 'x') + "\r\n", p, vantor::kNewSlots);
    EXPECT_EQ(std::string(p.text[0]), std::string(255, 'x'));
    // Characters of two GBK bytes only (the GSM code 0x10 is Δ, A6A4 in GBK):
    // byte 255 would be half of one, so 254 remain.
    std::string gbk;
    for (int i = 0; i < 150; ++i) gbk += "\xA6\xA4";
    ParseText(head + std::string(150, '\x10') + "\r\n", p, vantor::kNewSlots);
    EXPECT_EQ(std::string(p.text[0]), gbk.substr(0, 254));
    // One ASCII letter first: the cut falls at exactly 255.
    ParseText(head + "a" + std::string(150, '\x10') + "\r\n", p, vantor::kNewSlots);
    EXPECT_EQ(std::string(p.text[0]), ("a" + gbk).substr(0, 255));
}

TEST(SmsTextListing, RecordedAnswer) {
    const std::string answer = CaptureLines("python-gsmmodem_cmgl-text-rec-read.lines.txt");
    ASSERT_FALSE(answer.empty());
    Pair p;
    ParseText(answer, p, vantor::kOldSlots);
    EXPECT_STREQ(p.header[0], "<1> 13/02/07,01:31:44 Message From +2784000153099999");
    EXPECT_STREQ(p.header[1], "<2> 13/02/07,06:24:02 Message From +27840001463");
    EXPECT_EQ(std::string(p.text[1]).substr(0, 14), "Standard Bank:");
    EXPECT_EQ(p.header[2][0], '\0');
}

// The demo inbox: three single messages and the two parts of a long one, as
// python3-gammu made them. Only the parts' headers carry a place.
TEST(SmsListing, PartsOfALongMessageShowTheirPlace) {
    std::FILE* f = std::fopen(VANTOR_SOURCE_DIR "/tests/e2e/data/demo_inbox.txt", "rb");
    ASSERT_NE(f, nullptr);
    std::string answer = "AT+CMGL=4\r\r\n";
    char line[1024];
    int index = 0;
    while (std::fgets(line, sizeof line, f)) {
        std::string l(line);
        if (l.rfind("unread ", 0) != 0) continue;
        l = l.substr(7);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        answer += PduEntry(l, ++index) + "\r\n";
    }
    std::fclose(f);
    ASSERT_EQ(index, 5);
    Pair p;
    ParsePdu(answer + "\r\nOK\r\n", p, vantor::kNewSlots);
    const char* const headers[] = {
        "<1>26年12月09日08:30:15来自:10086的消息",
        "<2>26年12月09日09:05:42来自:8613912345678的消息",
        "<3>26年12月09日09:12:03来自:447700900123的消息",
        "<4>26年12月09日10:00:00来自:8613700000001的消息(1/2)",
        "<5>26年12月09日10:00:00来自:8613700000001的消息(2/2)",
    };
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Utf8(p.header[i]), headers[i]) << i;
    EXPECT_EQ(std::string(p.text[3]) + p.text[4],
              "This is a long message that does not fit into one SMS, so the network splits it into two "
              "parts with a user data header; the receiving modem keeps them as two entries in its store. End.");
    EXPECT_EQ(p.header[5][0], '\0');
}

}  // namespace

// A status report that a modem routed to its store shows up in a listing
// of received messages (TS 27.005 3.4.2: text mode lists it with no body
// line, PDU mode with its SMS-STATUS-REPORT). It is shown as a report, and
// the message after it is read whole, in both formats with and without
// the text-mode <length>.
TEST(SmsListing, AStoredStatusReportIsNoMessageAndHidesNone) {
    const std::string report = "0006" "0C" "0D91683119325476F8" "62219080035100" "62219080035900" "00";
    const std::string pdu = PduEntry(report, 2) + "\r\n" + PduEntry(OneLetter('B'), 3) + "\r\n\r\nOK\r\n";
    Pair p;
    ASSERT_EQ(ParsePdu(pdu, p, vantor::kNewSlots), 2);
    EXPECT_EQ(Utf8(p.header[0]), "<2>短信状态报告，不是短消息");
    EXPECT_EQ(p.text[0][0], '\0');
    EXPECT_EQ(Utf8(p.header[1]).substr(0, 3), "<3>");
    EXPECT_STREQ(p.text[1], "B");

    for (const char* length : {"", ",145,5"}) {
        SCOPED_TRACE(length);
        const std::string text = std::string("+CMGL: 2,\"REC UNREAD\",6,12,\"+8613912345678\",145,") +
                                 "\"26/12/09,08:30:15+32\",\"26/12/09,08:30:20+32\",0\r\n" +
                                 "+CMGL: 3,\"REC UNREAD\",\"+123\",,\"05/12/08,21:13:45+32\"" + length +
                                 "\r\nHello\r\n\r\nOK\r\n";
        Pair t;
        ASSERT_EQ(ParseText(text, t, vantor::kNewSlots), 2);
        EXPECT_EQ(Utf8(t.header[0]), "<2> 短信状态报告，不是短消息");
        EXPECT_EQ(t.text[0][0], '\0');
        EXPECT_STREQ(t.header[1], "<3> 05/12/08,21:13:45 Message From +123");
        EXPECT_STREQ(t.text[1], "Hello");
    }
}
