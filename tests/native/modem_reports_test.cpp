// The TC35 model's status reports on sent messages, as the maker's manual
// describes them (AT+CSMS, AT+CNMI <ds>, +CDS, AT+CNMA, AT^SSCONF): a report
// is routed as +CDS in PDU or text mode, one at a time until AT+CNMA
// acknowledges it; one not acknowledged in time switches routing off; a
// restart puts the factory values back; and a +CDS goes between answers as
// other unsolicited lines do, never into one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model_talk.h"
#include "modem/modem_model.h"

namespace {

using model_talk::Drain;
using model_talk::Send;
using model_talk::Talk;
using modem::ReportFate;
using modem::Tc35Model;

const char kNumber[] = "+8613912345678";
// SMS-SUBMIT "hello" to +8613912345678, relative validity, no SMSC: first
// octet 0x31 asks for a status report (TP-SRR), 0x11 does not.
const char kAskingPdu[] = "0031000D91683119325476F80000A705E8329BFD06";
const char kPlainPdu[] = "0011000D91683119325476F80000A705E8329BFD06";
// Phase 2+, status reports routed to the TE, numeric error codes.
const char kReportsOn[] = "ATE0\rAT+CMEE=1\rAT+CSMS=1\rAT+CNMI=2,1,0,1,1\r";

// An SMS-STATUS-REPORT on a message to +8613912345678 with this TP-MR, as
// TS 23.040 9.2.2.3 lays it out after the service centre's field; the time
// stamps are semi-octet swapped digits with zone +08 ("23").
std::string ReportPdu(const char* mr, const char* scts, const char* dt, const char* st) {
    return std::string("0891683108100005F0")  // +8613800100500
           + "06"                             // TP-MTI 10, TP-MMS, TP-SRQ 0 (on a SUBMIT)
           + mr + "0D91683119325476F8"        // TP-MR, TP-RA (13 digits, international)
           + scts + "23" + dt + "23" + st;    // TP-SCTS, TP-DT, TP-ST
}
// The +CDS of such a report: 26 TPDU octets.
std::string Cds(const std::string& pdu) { return "\r\n+CDS: 26\r\n" + pdu + "\r\n"; }

// 26/01/01 00:00:01 (a send at 1010 ms) and 01:02:03, semi-octets swapped.
const char kSecondOne[] = "621010000010";
const char kOneOTwo[] = "621010102030";

TEST(ModemReports, CommandFormsFollowTheManual) {
    struct Case {
        const char* setup;  // after ATE0 and AT+CMEE=1, answer ignored
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"", "AT+CSMS=?\r", "\r\n+CSMS: (0,1)\r\n\r\nOK\r\n"},
        {"", "AT+CSMS?\r", "\r\n+CSMS: 0,1,1,1\r\n\r\nOK\r\n"},
        {"", "AT+CSMS=1\r", "\r\n+CSMS: 1,1,1\r\n\r\nOK\r\n"},
        {"AT+CSMS=1\r", "AT+CSMS?\r", "\r\n+CSMS: 1,1,1,1\r\n\r\nOK\r\n"},
        // <ds> 1 and <mt> 2, 3 are phase 2+ only; refused, nothing changes.
        {"", "AT+CNMI=2,1,0,1,1\r", "\r\n+CMS ERROR: 303\r\n"},
        {"", "AT+CNMI=2,2\r", "\r\n+CMS ERROR: 303\r\n"},
        {"AT+CNMI=2,1,0,1,1\r", "AT+CNMI?\r", "\r\n+CNMI: 0,0,0,0,1\r\n\r\nOK\r\n"},
        {"AT+CSMS=1\r", "AT+CNMI=2,1,0,1,1;+CNMI?\r", "\r\n+CNMI: 2,1,0,1,1\r\n\r\nOK\r\n"},
        // Back to phase 2 with a phase 2+ AT+CNMI value: "unknown error".
        {"AT+CSMS=1\rAT+CNMI=,,,1\r", "AT+CSMS=0\r", "\r\n+CMS ERROR: 500\r\n"},
        {"AT+CSMS=1\rAT+CNMI=,,,1\rAT+CSMS=0\r", "AT+CSMS?\r", "\r\n+CSMS: 1,1,1,1\r\n\r\nOK\r\n"},
        {"AT+CSMS=1\rAT+CNMI=,,,1\rAT+CNMI=,,,0\r", "AT+CSMS=0\r", "\r\n+CSMS: 1,1,1\r\n\r\nOK\r\n"},
        // Nothing to acknowledge: in phase 2 never, in phase 2+ not yet.
        {"", "AT+CNMA\r", "\r\n+CMS ERROR: 340\r\n"},
        {"AT+CSMS=1\rAT+CNMI=2,1,0,1,1\r", "AT+CNMA\r", "\r\n+CMS ERROR: 340\r\n"},
        {"AT+CSMS=1\rAT+CMEE=2\r", "AT+CNMA=0\r", "\r\n+CMS ERROR: NO +CNMA ACK EXPECTED\r\n"},
        {"AT+CMEE=0\r", "AT+CNMA\r", "\r\nERROR\r\n"},
        // <n> 0 is the only one listed, and only in PDU mode.
        {"", "AT+CNMA=?\r", "\r\n+CNMA: (0)\r\n\r\nOK\r\n"},
        {"AT+CMGF=1\r", "AT+CNMA=?\r", "\r\nOK\r\n"},
        {"AT+CSMS=1\r", "AT+CNMA=1\r", "\r\n+CMS ERROR: 304\r\n"},
        {"AT+CSMS=1\rAT+CMGF=1\r", "AT+CNMA=0\r", "\r\n+CMS ERROR: 305\r\n"},
        {"", "AT^SSCONF=?\r", "\r\n^SSCONF: (0,1)\r\n\r\nOK\r\n"},
        {"AT^SSCONF=1\r", "AT^SSCONF?\r", "\r\n^SSCONF: 1\r\n\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        Tc35Model m;
        Talk(m, std::string("ATE0\rAT+CMEE=1\r") + c.setup);
        EXPECT_EQ(Talk(m, c.input), c.expected) << "setup " << c.setup << " input " << c.input;
    }
}

// python-gammu's reading of a status report PDU, or "" without it.
std::string GammuReads(const std::string& pdu) {
    const std::string command = "/usr/bin/python3 " VANTOR_SOURCE_DIR
                                "/tests/native/oracle/gammu_oracle.py decode-report " + pdu;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return "";
    char line[256] = {};
    if (std::fgets(line, sizeof line, p) == nullptr) line[0] = '\0';
    const int status = pclose(p);
    return status == 0 ? line : "";
}

TEST(ModemReports, PduModeReportIsAStatusReportTpdu) {
    Tc35Model m;
    Talk(m, kReportsOn);
    ASSERT_EQ(Send(m, kAskingPdu, 1000), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    ASSERT_EQ(Send(m, kPlainPdu, 1100), "\r\n+CMGS: 2\r\n\r\nOK\r\n");
    EXPECT_TRUE(m.Sent()[0].report_requested);
    EXPECT_FALSE(m.Sent()[1].report_requested);
    // Only a message that asked for one gets a report.
    EXPECT_FALSE(m.ScheduleReport(2, kNumber, 5000));
    EXPECT_FALSE(m.ScheduleReport(9, kNumber, 5000));
    EXPECT_FALSE(m.ScheduleReport(1, "+8613900000000", 5000));
    // Validity period expired, discharged at 01:02:03.
    ASSERT_TRUE(m.ScheduleReport(1, kNumber, 5000, modem::kReportExpired, 3723000));

    const std::string pdu = ReportPdu("01", kSecondOne, kOneOTwo, "46");
    EXPECT_EQ(Drain(m, 4999), "");
    EXPECT_EQ(Drain(m, 5000), Cds(pdu));
    ASSERT_EQ(m.Reports().size(), 1u);
    EXPECT_EQ(m.Reports()[0].fate, ReportFate::kRouted);
    EXPECT_EQ(m.Reports()[0].routed_ms, 5000u);
    EXPECT_EQ(m.Reports()[0].urc, Cds(pdu));

    EXPECT_EQ(Talk(m, "AT+CNMA\r", 6000), "\r\nOK\r\n");
    EXPECT_EQ(m.Reports()[0].fate, ReportFate::kAcknowledged);
    EXPECT_EQ(m.Reports()[0].settled_ms, 6000u);
    EXPECT_EQ(Talk(m, "AT+CNMA\r", 6100), "\r\n+CMS ERROR: 340\r\n");

    if (std::system("/usr/bin/python3 -c 'import gammu' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-gammu not importable: checked by hand only";
    // Service centre, recipient, TP-MR, TP-ST 0x46 (failed), TP-SCTS, TP-DT.
    EXPECT_EQ(GammuReads(pdu), "+8613800100500\t+8613912345678\t1\t70\tFailed\t260101000001\t260101010203\n");
}

TEST(ModemReports, TextModeReportShowsTheRecipientAfterSsconf) {
    struct Case {
        const char* ssconf;
        const char* cds;
    };
    const Case cases[] = {
        {"AT^SSCONF=0\r", "\r\n+CDS: 6,1,,,\"26/01/01,00:00:01+32\",\"26/01/01,00:00:02+32\",0\r\n"},
        {"AT^SSCONF=1\r",
         "\r\n+CDS: 6,1,\"+8613912345678\",145,\"26/01/01,00:00:01+32\",\"26/01/01,00:00:02+32\",0\r\n"},
    };
    for (const Case& c : cases) {
        Tc35Model m;
        // <fo> 49: an SMS-SUBMIT with relative validity that asks for a report.
        Talk(m, std::string(kReportsOn) + "AT+CMGF=1\rAT+CSMP=49,167,0,0\r" + c.ssconf);
        Talk(m, "AT+CMGS=\"+8613912345678\"\r", 1000);
        ASSERT_EQ(Talk(m, "hi\x1A", 1010), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
        ASSERT_TRUE(m.ScheduleReport(1, kNumber, 2000));
        EXPECT_EQ(Drain(m, 2000), c.cds) << c.ssconf;
        EXPECT_EQ(Talk(m, "AT+CNMA\r", 2100), "\r\nOK\r\n");
        // <fo> 17 asks for none.
        Talk(m, "AT+CSMP=17\rAT+CMGS=\"+8613912345678\"\r", 3000);
        ASSERT_EQ(Talk(m, "hi\x1A", 3010), "\r\n+CMGS: 2\r\n\r\nOK\r\n");
        EXPECT_FALSE(m.ScheduleReport(2, kNumber, 4000));
    }
}

TEST(ModemReports, NoFurtherCdsUntilTheLastIsAcknowledged) {
    Tc35Model m;
    Talk(m, kReportsOn);
    Send(m, kAskingPdu, 1000);
    Send(m, kAskingPdu, 1100);
    ASSERT_TRUE(m.ScheduleReport(1, kNumber, 5000));
    ASSERT_TRUE(m.ScheduleReport(2, kNumber, 5100, modem::kReportTrying));
    EXPECT_EQ(Drain(m, 5000), Cds(ReportPdu("01", kSecondOne, "621010000050", "00")));
    EXPECT_EQ(Drain(m, 19999), "");
    EXPECT_EQ(m.Reports()[1].fate, ReportFate::kHeld);
    // The acknowledgement's OK, then the report that waited (sent at 1110
    // ms, discharged at 5100).
    EXPECT_EQ(Talk(m, "AT+CNMA=0\r", 19999),
              "\r\nOK\r\n" + Cds(ReportPdu("02", kSecondOne, "621010000050", "20")));
    EXPECT_EQ(m.Reports()[1].routed_ms, 19999u);
    EXPECT_EQ(Talk(m, "AT+CNMA\r", 20500), "\r\nOK\r\n");
    EXPECT_EQ(m.Reports()[0].fate, ReportFate::kAcknowledged);
    EXPECT_EQ(m.Reports()[1].fate, ReportFate::kAcknowledged);
    EXPECT_TRUE(m.RoutingSwitchedOff().empty());
}

TEST(ModemReports, AcknowledgementIsDueWithinTheNetworksTime) {
    struct Case {
        std::uint32_t timeout_ms;  // 0: the default
        std::uint64_t ack_at;
        bool in_time;
    };
    // A +CDS given at 5000 ms.
    const Case cases[] = {{0, 19999, true}, {0, 20000, false}, {3000, 7999, true}, {3000, 8000, false}};
    for (const Case& c : cases) {
        Tc35Model m;
        if (c.timeout_ms > 0) m.radio().ack_timeout_ms = c.timeout_ms;
        Talk(m, kReportsOn);
        Send(m, kAskingPdu, 1000);
        ASSERT_TRUE(m.ScheduleReport(1, kNumber, 5000));
        ASSERT_NE(Drain(m, 5000), "");
        const std::string answer = Talk(m, "AT+CNMA\r", c.ack_at);
        EXPECT_EQ(answer, c.in_time ? "\r\nOK\r\n" : "\r\n+CMS ERROR: 340\r\n") << c.timeout_ms << " " << c.ack_at;
        EXPECT_EQ(m.Reports()[0].fate, c.in_time ? ReportFate::kAcknowledged : ReportFate::kUnacknowledged);
        EXPECT_EQ(m.RoutingSwitchedOff().size(), c.in_time ? 0u : 1u);
    }
}

TEST(ModemReports, UnacknowledgedReportSwitchesRoutingOff) {
    Tc35Model m;
    Talk(m, kReportsOn);
    Send(m, kAskingPdu, 1000);
    Send(m, kAskingPdu, 1100);
    Send(m, kAskingPdu, 1200);
    ASSERT_TRUE(m.ScheduleReport(1, kNumber, 5000));
    ASSERT_TRUE(m.ScheduleReport(2, kNumber, 6000));   // waits behind the first
    ASSERT_TRUE(m.ScheduleReport(3, kNumber, 30000));  // comes with routing off
    EXPECT_NE(Drain(m, 5000), "");
    // One call long after: the time-out, then the later report, in order.
    EXPECT_EQ(Drain(m, 40000), "");
    EXPECT_EQ(m.RoutingSwitchedOff(), std::vector<std::uint64_t>{20000});
    EXPECT_EQ(Talk(m, "AT+CNMI?\r", 40000), "\r\n+CNMI: 2,0,0,0,1\r\n\r\nOK\r\n");
    const ReportFate fates[] = {ReportFate::kUnacknowledged, ReportFate::kNotRouted, ReportFate::kNotRouted};
    const std::uint64_t settled[] = {20000, 20000, 30000};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m.Reports()[i].fate, fates[i]) << i;
        EXPECT_EQ(m.Reports()[i].settled_ms, settled[i]) << i;
    }
    EXPECT_TRUE(m.Reports()[2].urc.empty());
    EXPECT_EQ(Talk(m, "AT+CNMA\r", 40100), "\r\n+CMS ERROR: 340\r\n");
}

TEST(ModemReports, RestartAndFactoryProfileSwitchReportsOff) {
    const char kQuery[] = "AT+CSMS?;+CNMI?;^SSCONF?\r";
    const std::string factory =
        "\r\n+CSMS: 0,1,1,1\r\n\r\n+CNMI: 0,0,0,0,1\r\n\r\n^SSCONF: 0\r\n\r\nOK\r\n";
    {
        // Power cut while a +CDS waits for its acknowledgement: it is lost.
        Tc35Model m;
        Talk(m, std::string(kReportsOn) + "AT^SSCONF=1\r");
        Send(m, kAskingPdu, 1000);
        Send(m, kAskingPdu, 1100);
        ASSERT_TRUE(m.ScheduleReport(1, kNumber, 5000));
        ASSERT_TRUE(m.ScheduleReport(2, kNumber, 7000));
        EXPECT_NE(Drain(m, 5000), "");
        m.PowerCycle(6000);
        EXPECT_EQ(Drain(m, 6500), "\r\n^SYSSTART\r\n");
        EXPECT_EQ(m.Reports()[0].fate, ReportFate::kLostInRestart);
        Talk(m, "ATE0\r", 6600);
        EXPECT_EQ(Talk(m, kQuery, 6600), factory);
        EXPECT_EQ(Drain(m, 8000), "");
        EXPECT_EQ(m.Reports()[1].fate, ReportFate::kNotRouted);
        EXPECT_TRUE(m.RoutingSwitchedOff().empty());
    }
    {
        Tc35Model m;
        Talk(m, std::string(kReportsOn) + "AT^SSCONF=1\rAT&F\rATE0\r");
        EXPECT_EQ(Talk(m, kQuery), factory);
    }
}

TEST(ModemReports, CdsGoesBetweenAnswersNeverIntoOne) {
    const std::string first = Cds(ReportPdu("01", kSecondOne, "621010000020", "00"));  // due at 2000
    {
        // A send waits for the network's verdict: the report comes first.
        Tc35Model m;
        Talk(m, kReportsOn);
        Send(m, kAskingPdu, 1000);
        m.faults().send_result_delay_ms = 3000;
        ASSERT_TRUE(m.ScheduleReport(1, kNumber, 2000));
        EXPECT_EQ(Send(m, kPlainPdu, 1500), "");
        EXPECT_EQ(Drain(m, 2000), first);
        EXPECT_EQ(Drain(m, 4510), "\r\n+CMGS: 2\r\n\r\nOK\r\n");
    }
    {
        // A SIM that pauses a second before each entry of a listing (at
        // 2500 and 3500): the report due at 3000 comes between the two.
        Tc35Model m;
        Talk(m, kReportsOn);
        const char kStored[] = "0004039121F300005021801231542305C8329BFD06";
        m.AddMessage(kStored);
        m.AddMessage(kStored);
        Send(m, kAskingPdu, 1000);
        m.faults().listing_entry_gap_ms = 1000;
        ASSERT_TRUE(m.ScheduleReport(1, kNumber, 3000));
        EXPECT_EQ(Talk(m, "AT+CMGL=4\r", 1500), "\r\n");
        EXPECT_EQ(Drain(m, 2500), "+CMGL: 1,0,,20\r\n" + std::string(kStored) + "\r\n");
        EXPECT_EQ(Drain(m, 5000), Cds(ReportPdu("01", kSecondOne, "621010000030", "00")) + "+CMGL: 2,0,,20\r\n" +
                                      kStored + "\r\n\r\nOK\r\n");
    }
    {
        // At the prompt of AT+CMGS the report waits until the send is answered.
        Tc35Model m;
        Talk(m, kReportsOn);
        Send(m, kAskingPdu, 1000);
        ASSERT_TRUE(m.ScheduleReport(1, kNumber, 2000));
        EXPECT_EQ(Talk(m, "AT+CMGS=20\r", 1995), "\r\n> ");
        EXPECT_EQ(Drain(m, 2005), "");
        EXPECT_EQ(Talk(m, std::string(kPlainPdu) + "\x1A", 2010), "\r\n+CMGS: 2\r\n\r\nOK\r\n" + first);
        EXPECT_EQ(m.Reports()[0].routed_ms, 2010u);
    }
    {
        // An answer on a slow line is not broken into: the report follows it.
        Tc35Model m;
        Talk(m, kReportsOn);
        Send(m, kAskingPdu, 1000);
        m.faults().line.trickle_ms = 10;
        ASSERT_TRUE(m.ScheduleReport(1, kNumber, 2000));
        EXPECT_EQ(Talk(m, "AT+CSQ\r", 1900), "\r");  // 23 bytes, 10 ms each
        EXPECT_EQ(Drain(m, 10000), "\n+CSQ: 19,99\r\n\r\nOK\r\n" + first);
    }
}

TEST(ModemReports, NetworkPolicyReportsEveryMessageThatAsks) {
    Tc35Model m;
    Talk(m, kReportsOn);
    m.radio().reports = {true, modem::kReportTrying, 3000};
    m.faults().send_result_delay_ms = 500;
    // Counted from the "+CMGS: 1" at 1510.
    Send(m, kAskingPdu, 1000);
    EXPECT_EQ(Drain(m, 1510), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    Send(m, kPlainPdu, 2000);
    ASSERT_EQ(m.Reports().size(), 1u);
    EXPECT_EQ(m.Reports()[0].due_ms, 4510u);
    EXPECT_EQ(m.Reports()[0].status, modem::kReportTrying);
    Drain(m, 4509);
    EXPECT_EQ(Drain(m, 4510), Cds(ReportPdu("01", kSecondOne, "621010000040", "20")));
}

}  // namespace
