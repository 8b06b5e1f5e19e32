// A received message as a listing gives it (3GPP TS 27.005 3.4.2 text mode,
// 4.1 PDU mode): its storage index and status, its sender, the service
// centre's time stamp, its place in a long message and its text, each a
// plain value. The text is UTF-16 exactly as the TPDU or the text-mode body
// carried it; nothing here is in the ANSI code page. The host's display
// texts are made from it where the stores are filled (sms/shown_text.h),
// and the journal writes it as it came.
#pragma once

#include <cstdint>

#include "sms/tpdu.h"

namespace vantor::sms {

// The storage index as the modem wrote it between "+CMGL:" and the first
// comma; longer indices are cut.
inline constexpr int kMaxIndexChars = 16;
// The sender: at most 31 semi-octet digits, or the 17 characters of an
// alphanumeric address, or a text-mode <oa> field.
inline constexpr int kMaxSenderUnits = 32;
// The most characters a body holds: 255 septets of one PDU, or a text-mode
// body of 4 * 160 bytes.
inline constexpr int kMaxReceivedUnits = 4 * 160;

// What shows instead of a message that is no text for a person (8-bit data,
// compressed or reserved codings, a message for an application port):
// 非文本短消息，请用相应型号的手机查看！ (not a text message; view it on a
// telephone of the matching model).
inline constexpr char16_t kNonTextNotice[] =
    u"\u975E\u6587\u672C\u77ED\u6D88\u606F\uFF0C\u8BF7\u7528\u76F8\u5E94\u578B\u53F7\u7684"
    u"\u624B\u673A\u67E5\u770B\uFF01";
inline constexpr int kNonTextNoticeUnits = sizeof kNonTextNotice / sizeof kNonTextNotice[0] - 1;

// What shows instead of a status report that a listing holds (a report
// routed to the SIM's store instead of the line): 短信状态报告，不是短消息
// (an SMS status report, not a message).
inline constexpr char16_t kStatusReportNotice[] =
    u"\u77ED\u4FE1\u72B6\u6001\u62A5\u544A\uFF0C\u4E0D\u662F\u77ED\u6D88\u606F";
inline constexpr int kStatusReportNoticeUnits =
    sizeof kStatusReportNotice / sizeof kStatusReportNotice[0] - 1;

// <stat> of the listing entry (TS 27.005 3.1).
enum class MessageStatus : std::uint8_t { kUnknown, kUnread, kRead, kUnsent, kSent };

// How far the entry could be read.
enum class ReceivedReach : std::uint8_t {
    kNothing,   // no entry at all
    kIndex,     // the index alone: the PDU ends before its coding is known
    kNonText,   // the index, and a message that is no text for a person
    kStamp,     // the PDU ends inside its time stamp (stamp.octets of it)
    kHeader,    // sender, time stamp and place; the PDU ends before its text
    kWhole,     // the text too (it may be empty, or a notice: see nonText)
    // No message: a status report on a message sent (TS 23.040 9.2.2.3),
    // or in PDU mode another TPDU that is no SMS-DELIVER. Its index alone.
    kStatusReport,
};

struct Received {
    ReceivedReach reach = ReceivedReach::kNothing;
    char index[kMaxIndexChars + 1] = {};
    MessageStatus status = MessageStatus::kUnknown;
    TimeStamp stamp;
    // The sender's digits or characters; `international` when the network
    // gave it as an international number (shown with a leading '+').
    // Only the first senderUnits and textUnits units are set: a record is
    // made for every entry listed, and clearing 1.3 KB of text each time
    // would cost more than reading the message.
    char16_t sender[kMaxSenderUnits];
    int senderUnits = 0;
    bool international = false;
    // Part `part` of `parts` of a long message; parts is 0 for a message
    // shown whole.
    int part = 0;
    int parts = 0;
    // The text; a body that is no text for a person (8-bit data, a
    // message for an application port) is `nonText` and has no units.
    char16_t text[kMaxReceivedUnits];
    int textUnits = 0;
    bool nonText = false;

    // The index as a number; -1 when the modem wrote none that reads as one.
    int IndexNumber() const noexcept {
        int v = 0;
        int k = 0;
        for (; index[k] >= '0' && index[k] <= '9' && v < 100000; ++k) v = v * 10 + (index[k] - '0');
        return k > 0 ? v : -1;
    }
};

}  // namespace vantor::sms
