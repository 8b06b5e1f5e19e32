// Whole dialogues of the device against the TC35 model: settings, listing in
// both modes with the unread -> read transition, deletion and sending.
#include <cstring>
#include <string>

#include "device_fixture.h"
#include "modem/modem_model.h"

namespace vantor::test {
namespace {

// An unread 7-bit message from +123, body "Hello".
const char kHelloPdu[] = "0004039121F300005021801231542305C8329BFD06";

class DeviceWithModem : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        OpenWith(tc35, 1000);
    }
    modem::Tc35Model tc35;
};

TEST_F(DeviceWithModem, QueriesAndLinkTestGetRealAnswers) {
    PacketBuilder at(kAT);
    at.Value(kType2, 0);
    EXPECT_EQ(Run(at), 1);
    EXPECT_EQ(at.Item(0).value, 1u);

    PacketBuilder centre(kCSCA);
    centre.Value(kTypeText, 0);
    EXPECT_EQ(Run(centre), 1);
    EXPECT_EQ(centre.TextOf(0), "+8613800100500");

    tc35.settings().cmgf = 1;
    modem.MsgFormat = 0;
    PacketBuilder format(kCMGF);
    format.Value(kType2, 0);
    EXPECT_EQ(Run(format), 1);
    EXPECT_EQ(format.Item(0).value, 1u);
    EXPECT_EQ(modem.MsgFormat, 1);
}

TEST_F(DeviceWithModem, PduListingReadsDeletes) {
    ASSERT_EQ(tc35.AddMessage(kHelloPdu), 1);
    ASSERT_EQ(Write(kNEW, 0), 1);
    EXPECT_EQ(std::string(modem.MsgNec[0]), "Hello");
    EXPECT_NE(std::string(modem.MsgNew[0]).find("123"), std::string::npos);
    EXPECT_EQ(modem.MsgNew[1][0], '\0');

    // Listed once, the message is read: the unread listing is now empty and
    // keeps what it showed, the read listing shows the message.
    ASSERT_EQ(Write(kNEW, 0), 1);
    EXPECT_EQ(std::string(modem.MsgNec[0]), "Hello");
    ASSERT_EQ(Write(kOLD, 0), 1);
    EXPECT_EQ(std::string(modem.MsgInf[0]), "Hello");

    ASSERT_EQ(Write(kCMGD, 1), 1);
    EXPECT_FALSE(tc35.Message(1).has_value());
    ASSERT_EQ(Write(kOLD, 0), 1);
    EXPECT_EQ(modem.MsgInf[0][0], '\0');
}

TEST_F(DeviceWithModem, TextModeListingAfterSwitchingFormat) {
    ASSERT_EQ(tc35.AddMessage(kHelloPdu), 1);
    ASSERT_EQ(Write(kCMGF, 1), 1);
    EXPECT_EQ(tc35.settings().cmgf, 1);
    ASSERT_EQ(Write(kNEW, 0), 1);
    EXPECT_EQ(std::string(modem.MsgNec[0]), "Hello");
    EXPECT_EQ(std::string(modem.MsgNew[0]).rfind("<1> ", 0), 0u) << modem.MsgNew[0];
    EXPECT_TRUE(tc35.Message(1)->read);
}

class SendWithModem : public DeviceWithModem, public ::testing::WithParamInterface<std::int32_t> {
protected:
    void SetUp() override {
        DeviceWithModem::SetUp();
        tc35.settings().cmgf = GetParam();
        modem.MsgFormat = GetParam();
        modem.CodeMod = 0;
        std::strcpy(modem.Tele, "13800138000");
        std::strcpy(modem.MsgSend[0], "Hi ");
        std::strcpy(modem.MsgSend[1], "there");
    }
};

TEST_P(SendWithModem, ConfirmedSendSetsTheOutcome) {
    modem.ReSTime = 3;
    EXPECT_EQ(Write(kSEND, 0), 1);
    EXPECT_EQ(modem.SReturn, 1);
    ASSERT_EQ(tc35.Sent().size(), 1u);
    EXPECT_EQ(tc35.Sent()[0].text, "Hi there");
    EXPECT_EQ(tc35.Sent()[0].number, "13800138000");
}

TEST_P(SendWithModem, RefusedAttemptIsRetried) {
    tc35.FailCommand("CMGS", 512, 1);  // a clash with an incoming message, once
    modem.ReSTime = 3;
    EXPECT_EQ(Write(kSEND, 0), 1);
    EXPECT_EQ(modem.SReturn, 1);
    EXPECT_EQ(tc35.Sent().size(), 1u);
    EXPECT_EQ(Count(tc35.Received(), "AT+CMGS="), 2u);
}

TEST_P(SendWithModem, BareOkIsNoConfirmation) {
    tc35.faults().bare_ok_on_send = true;
    modem.ReSTime = 2;
    EXPECT_EQ(Write(kSEND, 0), 0);
    EXPECT_EQ(modem.SReturn, 2);
    EXPECT_EQ(Count(tc35.Received(), "AT+CMGS="), 2u);
}

INSTANTIATE_TEST_SUITE_P(PduAndText, SendWithModem, ::testing::Values(0, 1));

}  // namespace
}  // namespace vantor::test
