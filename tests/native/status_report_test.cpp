// SMS-STATUS-REPORTs as the modem's +CDS lines give them: PDU lines and
// text-mode lines read into their fields, the same report in both forms
// read alike, lines cut before TP-ST, lines that are no report, and what
// each TP-Status value means. Every line is read from an exact-size heap
// copy, so that the address sanitizer sees any read past it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "gammu_oracle.h"
#include "sms/status_report.h"

namespace {

using vantor::sms::Address;
using vantor::sms::Delivery;
using vantor::sms::StatusReport;
using vantor::sms::StatusReportRead;
using vantor::sms::TimeStamp;

StatusReportRead ParseExact(const std::string& line, StatusReport* out) {
    std::vector<char> exact(line.begin(), line.end());
    return vantor::sms::ParseStatusReport(exact.data(), exact.size(), out);
}

bool ReadTextExact(const std::string& line, StatusReport* out) {
    std::vector<char> exact(line.begin(), line.end());
    return vantor::sms::ReadTextStatusReport(exact.data(), exact.data() + exact.size(), out);
}

// The recipient's digits, or the characters of an alphanumeric one (the GSM
// codes of letters and digits are their ASCII codes).
std::string Recipient(const Address& a) {
    if (a.Alphanumeric()) {
        std::uint8_t septets[vantor::sms::kMaxAddressDigits];
        const int n = vantor::sms::AddressSeptets(a, septets);
        return std::string(septets, septets + n);
    }
    char digits[vantor::sms::kMaxAddressDigits + 1];
    vantor::sms::AddressDigits(a, digits);
    return digits;
}

std::string Digits(const TimeStamp& t) { return std::string(t.digits, 2 * static_cast<std::size_t>(t.octets)); }

struct PduCase {
    const char* name;
    const char* line;
    std::size_t statusOctet;  // where TP-ST is, in octets from the line's start
    int reference;
    const char* recipient;
    std::uint8_t type;
    const char* submitted;
    int submittedZone;
    const char* discharged;
    int dischargedZone;
    int status;
};

const PduCase kPdu[] = {
    {"international recipient, delivered",
     "0891683108100005F006110D91683119325476F8423050708090234230507080212300", 34, 17, "8613912345678",
     0x91, "240305070809", 32, "240305070812", 32, 0x00},
    {"national recipient, lower-case hex, validity period expired",
     "00060b0b813108108300f0423050708090234230507081212346", 25, 11, "13800138000", 0x81, "240305070809",
     32, "240305071812", 32, 0x46},
    {"alphanumeric recipient",
     "0891683108100005F0061209D0417658DE06423050708090234230507080122300", 32, 18, "Alarm", 0xD0,
     "240305070809", 32, "240305070821", 32, 0x00},
    {"no service-centre address, TP-SRQ set, zone west of GMT, phone busy",
     "0026FF038121F3423050708090294230507080912921", 21, 255, "123", 0x81, "240305070809", -12,
     "240305070819", -12, 0x21},
    {"TP-PI, TP-PID, TP-DCS and user data after TP-ST, then the line end",
     "0891683108100005F006110D91683119325476F842305070809023423050708021236307000005C8329BFD06\r\n", 34,
     17, "8613912345678", 0x91, "240305070809", 32, "240305070812", 32, 0x63},
    // Reports other projects recorded from modems (tests/data/captures).
    {"recorded without a service-centre address",
     "0006230E9126983575169498610103409544C26101034095448200", 26, 35, "62895357614989", 0x91,
     "161030045944", 32, "161030045944", 28, 0x00},
    {"recorded with a '#' in the recipient", "0297F1061C0F910B487228297020F5317062419272803170624192138000", 29,
     28, "#08427829207025", 0x91, "130726142927", 8, "130726142931", 8, 0x00},
    {"recorded national recipient", "079124602009999006B4098106326906F2212041015554402120410155054000", 31,
     180, "602396602", 0x81, "120214105545", 4, "120214105550", 4, 0x00},
};

void ExpectCase(const PduCase& c, const StatusReport& r) {
    EXPECT_EQ(r.firstOctet & 0x03, 0x02) << c.name;
    EXPECT_EQ(r.reference, c.reference) << c.name;
    EXPECT_EQ(Recipient(r.recipient), c.recipient) << c.name;
    EXPECT_EQ(r.recipient.type, c.type) << c.name;
    EXPECT_EQ(Digits(r.submitted), c.submitted) << c.name;
    EXPECT_TRUE(r.submitted.hasZone) << c.name;
    EXPECT_EQ(r.submitted.zone, c.submittedZone) << c.name;
    EXPECT_EQ(Digits(r.discharged), c.discharged) << c.name;
    EXPECT_TRUE(r.discharged.hasZone) << c.name;
    EXPECT_EQ(r.discharged.zone, c.dischargedZone) << c.name;
    EXPECT_EQ(r.status, c.status) << c.name;
}

TEST(StatusReport, PduLinesReadIntoTheirFields) {
    for (const PduCase& c : kPdu) {
        StatusReport r;
        ASSERT_EQ(ParseExact(c.line, &r), StatusReportRead::kWhole) << c.name;
        ExpectCase(c, r);
    }
}

// Each line cut at every character before TP-ST is whole: kCut, no status,
// and each field either as the whole line has it or not set at all.
TEST(StatusReport, LineCutBeforeTheStatusIsCut) {
    for (const PduCase& c : kPdu) {
        const std::string line = c.line;
        ASSERT_GE(line.size(), 2 * (c.statusOctet + 1)) << c.name;
        const std::size_t sca = std::stoul(line.substr(0, 2), nullptr, 16);
        const std::size_t referenceEnd = 2 * (sca + 3);  // SCA length, SCA, first octet, TP-MR
        for (std::size_t n = 0; n < 2 * (c.statusOctet + 1); ++n) {
            StatusReport r;
            r.status = 7;
            ASSERT_EQ(ParseExact(line.substr(0, n), &r), StatusReportRead::kCut) << c.name << " cut at " << n;
            EXPECT_EQ(r.status, -1) << c.name << " cut at " << n;
            EXPECT_EQ(r.reference, n >= referenceEnd ? c.reference : -1) << c.name << " cut at " << n;
            const std::string recipient = Recipient(r.recipient);
            EXPECT_TRUE(recipient.empty() || recipient == c.recipient) << c.name << " cut at " << n;
            EXPECT_LE(r.submitted.octets, 6) << c.name;
            EXPECT_LE(r.discharged.octets, 6) << c.name;
        }
        for (std::size_t n = 2 * (c.statusOctet + 1); n <= line.size(); ++n) {
            StatusReport r;
            ASSERT_EQ(ParseExact(line.substr(0, n), &r), StatusReportRead::kWhole) << c.name << " cut at " << n;
            EXPECT_EQ(r.status, c.status) << c.name << " cut at " << n;
        }
    }
}

// A stray character ends the PDU where it stands.
TEST(StatusReport, StrayCharacterEndsThePdu) {
    const std::string whole = kPdu[0].line;
    struct {
        std::size_t at;
        StatusReportRead read;
    } const cases[] = {{whole.size() - 1, StatusReportRead::kCut},
                       {whole.size() - 2, StatusReportRead::kCut},
                       {40, StatusReportRead::kCut},
                       {0, StatusReportRead::kCut}};
    for (const auto& c : cases) {
        for (const char stray : {' ', 'G', 'x', '\0', '\r', ','}) {
            std::string line = whole;
            line[c.at] = stray;
            StatusReport r;
            EXPECT_EQ(ParseExact(line, &r), c.read) << "stray at " << c.at;
            EXPECT_EQ(r.status, -1);
        }
    }
}

TEST(StatusReport, OtherMessageTypesAreNotReports) {
    const struct {
        const char* name;
        const char* line;
    } cases[] = {
        {"SMS-DELIVER", "0004038121F300005021801231542305C8329BFD06"},
        {"SMS-DELIVER behind a service-centre address",
         "0891683108100005F0040D91683119325476F8000042305070809023054FE4B3D90C"},
        {"SMS-SUBMIT", "001100038121F30000A70BE8329BFD06DDDF723619"},
        {"TP-MTI 11 (reserved)", "0003110D91683119325476F8423050708090234230507080212300"},
    };
    for (const auto& c : cases) {
        StatusReport r;
        EXPECT_EQ(ParseExact(c.line, &r), StatusReportRead::kNotAReport) << c.name;
        EXPECT_EQ(r.reference, -1) << c.name;
        EXPECT_EQ(r.status, -1) << c.name;
        EXPECT_EQ(r.recipient.length, 0) << c.name;
    }
}

TEST(StatusReport, AddressLongerThanAnyIsNotRead) {
    // TP-RA of 32 semi-octets, then 16 octets of them and the rest of a report.
    const std::string line = "000611" "2091" + std::string(32, '1') + "42305070809023" "42305070802123" "00";
    StatusReport r;
    EXPECT_EQ(ParseExact(line, &r), StatusReportRead::kOverlongAddress);
    EXPECT_EQ(r.reference, 0x11);
    EXPECT_EQ(r.recipient.length, 0);
    EXPECT_EQ(r.status, -1);
    // 31 semi-octets still read.
    const std::string longest = "000611" "1F91" + std::string(30, '1') + "F1" "42305070809023" "42305070802123" "40";
    ASSERT_EQ(ParseExact(longest, &r), StatusReportRead::kWhole);
    EXPECT_EQ(Recipient(r.recipient), std::string(31, '1'));
    EXPECT_EQ(r.status, 0x40);
}

TEST(StatusReport, NothingToReadIsCut) {
    StatusReport r;
    EXPECT_EQ(vantor::sms::ParseStatusReport(nullptr, 0, &r), StatusReportRead::kCut);
    EXPECT_FALSE(vantor::sms::ReadTextStatusReport(nullptr, nullptr, &r));
    EXPECT_EQ(r.status, -1);
}

void ExpectSame(const StatusReport& a, const StatusReport& b, const std::string& name) {
    EXPECT_EQ(a.firstOctet, b.firstOctet) << name;
    EXPECT_EQ(a.reference, b.reference) << name;
    EXPECT_EQ(a.recipient.length, b.recipient.length) << name;
    EXPECT_EQ(a.recipient.type, b.recipient.type) << name;
    EXPECT_EQ(0, std::memcmp(a.recipient.octets, b.recipient.octets, sizeof a.recipient.octets)) << name;
    for (const auto& [x, y] : {std::pair{&a.submitted, &b.submitted}, std::pair{&a.discharged, &b.discharged}}) {
        EXPECT_EQ(Digits(*x), Digits(*y)) << name;
        EXPECT_EQ(x->octets, y->octets) << name;
        EXPECT_EQ(x->hasZone, y->hasZone) << name;
        EXPECT_EQ(x->zone, y->zone) << name;
    }
    EXPECT_EQ(a.status, b.status) << name;
}

// Text-mode lines after "+CDS:", each the same report as a PDU line of the
// table above, so both must read into the same values.
TEST(StatusReport, TextLinesReadAsTheirPduTwins) {
    const struct {
        const char* line;
        const PduCase& twin;
    } cases[] = {
        {R"( 6,17,"+8613912345678",145,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)", kPdu[0]},
        {R"( 6,11,"13800138000",129,"24/03/05,07:08:09+32","24/03/05,07:18:12+32",70)", kPdu[1]},
        {R"( 6,18,"Alarm",208,"24/03/05,07:08:09+32","24/03/05,07:08:21+32",0)", kPdu[2]},
        {" 38,255,\"123\",,\"24/03/05,07:08:09-12\",\"24/03/05,07:08:19-12\",33\r\n", kPdu[3]},
    };
    for (const auto& c : cases) {
        StatusReport text;
        StatusReport pdu;
        ASSERT_TRUE(ReadTextExact(c.line, &text)) << c.line;
        ASSERT_EQ(ParseExact(c.twin.line, &pdu), StatusReportRead::kWhole) << c.twin.name;
        ExpectSame(text, pdu, c.line);
        ExpectCase(c.twin, text);
    }
}

TEST(StatusReport, TextLinesWithoutTheirTwins) {
    const struct {
        const char* line;
        int reference;
        const char* recipient;
        std::uint8_t type;
        int status;
        const char* submitted = "240305070809";
        const char* discharged = "240305070812";
        int zone = 32;
    } cases[] = {
        // As a modem recorded it (tests/data/captures), after the <stat> of AT+CMGR.
        {R"(6,20,"0870000000",129,"13/04/29,19:58:00+04","13/04/29,19:59:00+04",0)", 20, "0870000000", 0x81, 0,
         "130429195800", "130429195900", 4},
        // <ra> and <tora> left out, as the modem writes them unless told otherwise.
        {R"( 6,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)", 17, "", 0x00, 0},
        // No <tora>: a leading '+' makes the number international.
        {R"(6,0,"+4917",,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",32)", 0, "4917", 0x91, 32},
        // No <tora>, and no number: an alphanumeric address.
        {R"(6,1,"Plant 7",,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",64)", 1, "Plant 7", 0xD0, 64},
        // Longer than any address: as much as one holds.
        {R"(6,2,"Alarm Alarm Alarm Alarm",208,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)", 2,
         "Alarm Alarm Alarm", 0xD0, 0},
        {R"(6,3,"+12345678901234567890123456789012345",145,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)",
         3, "1234567890123456789012345678901", 0x91, 0},
        // Semi-octet characters, and one that is none.
        {R"(6,4,"*31#0-1",129,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)", 4, "*31#01", 0x81, 0},
    };
    for (const auto& c : cases) {
        StatusReport r;
        ASSERT_TRUE(ReadTextExact(c.line, &r)) << c.line;
        EXPECT_EQ(r.reference, c.reference) << c.line;
        EXPECT_EQ(Recipient(r.recipient), c.recipient) << c.line;
        EXPECT_EQ(r.recipient.type, c.type) << c.line;
        EXPECT_EQ(r.status, c.status) << c.line;
        EXPECT_EQ(Digits(r.submitted), c.submitted) << c.line;
        EXPECT_EQ(Digits(r.discharged), c.discharged) << c.line;
        EXPECT_EQ(r.submitted.zone, c.zone) << c.line;
        EXPECT_EQ(r.discharged.zone, c.zone) << c.line;
    }
}

TEST(StatusReport, TextLinesThatAreNoReport) {
    const char* const cases[] = {
        "",
        " ",
        R"( 4,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)",    // an SMS-DELIVER's <fo>
        R"( 17,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)",   // an SMS-SUBMIT's
        R"( 6,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32")",      // no <st>
        R"( 6,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",)",     // empty <st>
        R"( 6,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0x)",   // not a number
        R"( 6,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",256)",  // past an octet
        R"( 6,256,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)",
        R"( 262,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)",
        R"( 6,-1,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0)",
        R"( 6,17,,,24/03/05,07:08:09+32,24/03/05,07:08:12+32,0)",        // stamps unquoted
        R"( "SM",3)",                                                    // a +CDSI line
        " 24",                                                           // a PDU-mode <length>
        R"( 6,17,,,"24/03/05,07:08:09+32","24/03/05,07:08:12+32,0)",     // a quote left open
    };
    for (const char* line : cases) {
        StatusReport r;
        r.reference = 9;
        EXPECT_FALSE(ReadTextExact(line, &r)) << line;
        EXPECT_EQ(r.reference, -1) << line;
        EXPECT_EQ(r.status, -1) << line;
    }
}

// TS 23.040 9.2.3.15 at the edges of its classes: reserved values count as
// "service rejected, no more tries"; values specific to a service centre
// count as their class.
TEST(StatusReport, StatusClassesAndMeanings) {
    const struct {
        int status;
        Delivery delivery;
        const char* meaning;
    } cases[] = {
        {0x00, Delivery::kDelivered, "received by the phone"},
        {0x01, Delivery::kDelivered, "forwarded to the phone, delivery not confirmed"},
        {0x02, Delivery::kDelivered, "replaced by the service centre"},
        {0x03, Delivery::kFailed, nullptr},       // reserved
        {0x0F, Delivery::kFailed, nullptr},       // reserved
        {0x10, Delivery::kDelivered, nullptr},    // the service centre's own
        {0x1F, Delivery::kDelivered, nullptr},
        {0x20, Delivery::kStillTrying, "congestion"},
        {0x21, Delivery::kStillTrying, "phone busy"},
        {0x22, Delivery::kStillTrying, "no response from the phone"},
        {0x23, Delivery::kStillTrying, "service rejected"},
        {0x24, Delivery::kStillTrying, "quality of service not available"},
        {0x25, Delivery::kStillTrying, "error in the phone"},
        {0x26, Delivery::kFailed, nullptr},       // reserved
        {0x2F, Delivery::kFailed, nullptr},
        {0x30, Delivery::kStillTrying, nullptr},  // the service centre's own
        {0x3F, Delivery::kStillTrying, nullptr},
        {0x40, Delivery::kFailed, "remote procedure error"},
        {0x41, Delivery::kFailed, "incompatible destination"},
        {0x42, Delivery::kFailed, "connection rejected by the phone"},
        {0x43, Delivery::kFailed, "not obtainable"},
        {0x44, Delivery::kFailed, "quality of service not available"},
        {0x45, Delivery::kFailed, "no interworking available"},
        {0x46, Delivery::kFailed, "validity period expired"},
        {0x47, Delivery::kFailed, "deleted by the sender"},
        {0x48, Delivery::kFailed, "deleted by the service centre's administration"},
        {0x49, Delivery::kFailed, "the message does not exist"},
        {0x4A, Delivery::kFailed, nullptr},
        {0x5F, Delivery::kFailed, nullptr},
        {0x60, Delivery::kFailed, "congestion"},
        {0x61, Delivery::kFailed, "phone busy"},
        {0x63, Delivery::kFailed, "service rejected"},
        {0x65, Delivery::kFailed, "error in the phone"},
        {0x66, Delivery::kFailed, nullptr},
        {0x6F, Delivery::kFailed, nullptr},
        {0x70, Delivery::kFailed, nullptr},
        {0x7F, Delivery::kFailed, nullptr},
        {0x80, Delivery::kFailed, nullptr},       // bit 7 set: reserved
        {0xA0, Delivery::kFailed, nullptr},
        {0xFF, Delivery::kFailed, nullptr},
        {-1, Delivery::kFailed, nullptr},         // no status read
        {0x100, Delivery::kFailed, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vantor::sms::DeliveryOf(c.status), c.delivery) << std::hex << c.status;
        const char* meaning = vantor::sms::StatusMeaning(c.status);
        if (c.meaning == nullptr)
            EXPECT_EQ(meaning, nullptr) << std::hex << c.status;
        else
            EXPECT_STREQ(meaning, c.meaning) << std::hex << c.status;
    }
}

// python-gammu reads the table's PDU lines alike: recipient, reference,
// status and both time stamps, and the class of each defined status.
TEST(StatusReport, GammuReadsThePduLinesAlike) {
    using vantor::test::GammuAvailable;
    using vantor::test::RunOracle;
    using vantor::test::Split;
    if (!GammuAvailable()) GTEST_SKIP() << "python3-gammu not importable: committed values only";
    std::vector<std::string> pdus;
    for (const PduCase& c : kPdu) {
        std::string hex = c.line;
        hex.erase(hex.find_last_not_of("\r\n") + 1);
        pdus.push_back(hex);
    }
    // gammu shows a report's user data where there is some (the last line's
    // "Hello"), else its reading of the status.
    const char* const userText[] = {nullptr, nullptr, nullptr, nullptr, "Hello", nullptr, nullptr, nullptr};
    static_assert(std::size(userText) == std::size(kPdu));
    const auto lines = RunOracle("decode-report", pdus);
    ASSERT_EQ(lines.size(), pdus.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const PduCase& c = kPdu[i];
        const auto g = Split(lines[i]);
        ASSERT_EQ(g.size(), 7u) << lines[i];
        StatusReport r;
        ASSERT_EQ(ParseExact(c.line, &r), StatusReportRead::kWhole) << c.name;
        const bool international = ((r.recipient.type >> 4) & 0x7) == 0x1;
        // gammu leaves out the semi-octets that are no decimal digit.
        std::string recipient = Recipient(r.recipient);
        if (!r.recipient.Alphanumeric()) std::erase_if(recipient, [](char d) { return d < '0' || d > '9'; });
        EXPECT_EQ(g[1], (international ? "+" : "") + recipient) << c.name;
        EXPECT_EQ(g[2], std::to_string(r.reference)) << c.name;
        EXPECT_EQ(g[3], std::to_string(r.status)) << c.name;
        EXPECT_EQ(g[5], Digits(r.submitted)) << c.name;
        EXPECT_EQ(g[6], Digits(r.discharged)) << c.name;
        ASSERT_NE(vantor::sms::StatusMeaning(r.status), nullptr) << c.name;
        const char* gammuClass = "";
        switch (vantor::sms::DeliveryOf(r.status)) {
            case Delivery::kDelivered: gammuClass = "Delivered"; break;
            case Delivery::kStillTrying: gammuClass = "Pending"; break;
            case Delivery::kFailed: gammuClass = "Failed"; break;
        }
        EXPECT_EQ(g[4], userText[i] ? userText[i] : gammuClass) << c.name;
    }
}

}  // namespace
