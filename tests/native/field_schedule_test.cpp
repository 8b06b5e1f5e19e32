// The field's pieces: the SMS-DELIVER PDUs it builds read back the same
// through the model's decoder and the driver's; one seed gives one field;
// and the modem faults it uses (a SIM that pauses between the entries of a
// listing, an unsolicited line inside an answer, the SIM store's overflow
// report) put their bytes where and when they say.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "modem/deliver_pdu.h"
#include "modem/field_schedule.h"
#include "modem/gsm_charset.h"
#include "modem/modem_model.h"
#include "modem/sms_pdu.h"
#include "sms/shown_text.h"
#include "sms_test_util.h"

namespace vantor::test {
namespace {

using modem::Coding;

std::string Talk(modem::Tc35Model& m, const std::string& input, std::uint64_t now) {
    m.Receive(reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), now);
    std::string out(m.Pending(now), '\0');
    m.Take(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), now);
    return out;
}

TEST(FieldPdus, ReadBackThroughBothDecoders) {
    std::u32string full7(151, U'x');
    full7 += U'€';  // an escape pair as the part's last two septets
    const struct Case {
        const char* name;
        Coding coding;
        std::u32string text;
        std::optional<modem::Concatenation> part;
        const char* display;  // the driver's header ending
    } cases[] = {
        {"gsm", Coding::kGsm7, U"Pump 3 pressure high @ $ _", std::nullopt, "的消息"},
        {"extension", Coding::kGsm7, U"[45] ~ {auto} | 20€ \\ ^", std::nullopt, "的消息"},
        {"ucs2", Coding::kUcs2, U"泵站3号压力过高，请检查", std::nullopt, "的消息"},
        {"gsm part", Coding::kGsm7, full7, modem::Concatenation{200, 3, 2}, "的消息(2/3)"},
        {"ucs2 part", Coding::kUcs2, std::u32string(67, U'报'), modem::Concatenation{7, 2, 1}, "的消息(1/2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        modem::DeliverFields f;
        f.sender = "+8613912345678";
        f.timestamp = "260315083015";
        f.coding = c.coding;
        f.text = c.text;
        f.part = c.part;
        const std::string pdu = modem::DeliverPdu(f);
        ASSERT_FALSE(pdu.empty());

        const auto decoded = modem::DecodePdu(pdu);
        ASSERT_TRUE(decoded);
        EXPECT_FALSE(decoded->submit);
        EXPECT_EQ(decoded->address.Display(), "+8613912345678");
        EXPECT_EQ(decoded->timestamp, "26/03/15,08:30:15+32");
        EXPECT_EQ(decoded->text, modem::ToUtf8(c.text));
        const auto concat = modem::FindConcatenation(*decoded);
        EXPECT_EQ(concat.has_value(), c.part.has_value());
        if (concat) EXPECT_EQ(concat->sequence, c.part->sequence);

        const Decoded shown = DecodeEntry(PduEntry(pdu));
        EXPECT_EQ(shown.Body(), Gbk(modem::ToUtf8(c.text)));
        EXPECT_NE(Utf8(shown.Header()).find(std::string("来自:8613912345678") + c.display), std::string::npos)
            << Utf8(shown.Header());
    }
    // A body longer than one PDU, or a character the coding lacks, is refused.
    modem::DeliverFields f;
    f.sender = "10086";
    f.timestamp = "260101000000";
    f.text = std::u32string(161, U'a');
    EXPECT_EQ(modem::DeliverPdu(f), "");
    f.text = U"报警";
    EXPECT_EQ(modem::DeliverPdu(f), "");
}

// One seed, one field: the same messages, at the same moments.
TEST(FieldSchedule, OneSeedGivesOneField) {
    const auto arrivals = [](std::uint64_t seed) {
        modem::Tc35Model modem;
        modem.SetCapacity(255);
        modem::FieldSchedule field(seed, modem);
        for (std::uint64_t t = 0; t <= 3ull * 24 * 3600 * 1000; t += 1000) field.RunUntil(t);
        std::vector<std::string> pdus;
        for (const auto& a : field.Arrivals()) pdus.insert(pdus.end(), a.pdus.begin(), a.pdus.end());
        return pdus;
    };
    const std::vector<std::string> first = arrivals(42);
    EXPECT_GT(first.size(), 50u);
    EXPECT_EQ(arrivals(42), first);
    EXPECT_NE(arrivals(43), first);
}

TEST(FieldFaults, SlowSimUnsolicitedLineAndOverflowReport) {
    modem::Tc35Model m;
    Talk(m, "ATE0\r", 0);
    m.AddMessage("0004039121F300005021801231542305C8329BFD06");
    m.AddMessage("0004039121F300005021801231542305C8329BFD06");
    m.faults().listing_entry_gap_ms = 300;
    m.faults().urc_in_answer = "RING";
    // The second entry leaves 300 ms after the first, the RING between them.
    EXPECT_EQ(Talk(m, "AT+CMGL=4\r", 1000), "\r\n");
    const std::string first = Talk(m, "", 1300);
    EXPECT_EQ(first.rfind("+CMGL: 1,", 0), 0u) << first;
    EXPECT_NE(first.find("\r\nRING\r\n"), std::string::npos);
    const std::string second = Talk(m, "", 1600);
    EXPECT_EQ(second.rfind("+CMGL: 2,", 0), 0u) << second;
    EXPECT_NE(second.find("\r\nOK\r\n"), std::string::npos);

    // ^SMGO: presented only once AT^SMGO=1 asks for it, and only on a change.
    m.SetOverflow(1, 2000);
    EXPECT_EQ(Talk(m, "", 2000), "");
    EXPECT_EQ(Talk(m, "AT^SMGO=1\r", 2100), "\r\nOK\r\n");
    m.SetOverflow(2, 2200);
    m.SetOverflow(2, 2300);
    EXPECT_EQ(Talk(m, "", 2300), "\r\n^SMGO: 2\r\n");
    EXPECT_EQ(Talk(m, "AT^SMGO?\r", 2400), "\r\n^SMGO: 1,2\r\n\r\nOK\r\n");
}

}  // namespace
}  // namespace vantor::test
