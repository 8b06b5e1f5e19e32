// The listing reader the driver runs, fed an answer in pieces as the line
// delivers it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sms/listing_reader.h"
#include "sms/shown_text.h"
#include "sms_test_util.h"

namespace {

using vantor::Slot;
using vantor::sms::ListingReader;
using vantor::test::PduEntry;
using vantor::test::Utf8;

constexpr int kSlots = 20;  // as many as the read messages' store holds
const std::string kHello = "0004038121F300005021801231542305C8329BFD06";

struct Listing {
    Slot header[kSlots];
    Slot text[kSlots];
    vantor::at::Verdict status = vantor::at::Verdict::kNotYet;
    int entries = 0;
};

// Feeds `answer` in pieces of `piece` bytes until the reader has its verdict,
// then lets the line go quiet.
Listing Read(ListingReader::Format format, const std::string& answer, std::size_t piece) {
    Listing out;
    std::vector<vantor::sms::Received> records(kSlots);
    ListingReader reader(format, records.data(), kSlots);
    for (std::size_t at = 0; at < answer.size() && out.status == vantor::at::Verdict::kNotYet; at += piece)
        out.status = reader.Take(answer.data() + at, std::min(piece, answer.size() - at));
    // The line goes quiet after the answer.
    if (out.status == vantor::at::Verdict::kNotYet) out.status = reader.End();
    out.entries = reader.Entries();
    vantor::sms::ShowListing(records.data(), std::min(out.entries, kSlots), format, out.header, out.text, kSlots);
    return out;
}

// A PDU header "+CMGL: 7,0,"<alpha>",<length>" padded through its alpha to
// exactly `length` bytes.
std::string PduHeaderOfLength(std::size_t length) {
    const std::string head = "+CMGL: 7,0,\"";
    const std::string tail = "\"," + std::to_string(kHello.size() / 2);
    return head + std::string(length - head.size() - tail.size(), 'a') + tail;
}

std::string TextHeaderOfLength(std::size_t length, std::size_t bodyLength) {
    const std::string head = "+CMGL: 7,\"REC UNREAD\",\"+8613912345678\",\"";
    const std::string tail = "\",\"26/12/09,08:30:15+32\",145," + std::to_string(bodyLength);
    return head + std::string(length - head.size() - tail.size(), 'a') + tail;
}

// A header line longer than the reader's entry area leaves room for is
// dropped as malformed, whatever its length and however the line cuts it;
// the entry after it is read whole. One byte shorter, it is an entry.
TEST(ListingReader, OverlongHeaderIsDroppedAndTheListingReadOn) {
    const std::size_t longest = ListingReader::kMaxHeaderLine;
    for (const std::size_t length : {longest, longest + 1, std::size_t{4094}, std::size_t{4095},
                                     std::size_t{4096}, std::size_t{4097}, std::size_t{9000}}) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{512}}) {
            SCOPED_TRACE("header of " + std::to_string(length) + " bytes, pieces of " +
                         std::to_string(piece));
            const bool kept = length <= longest;

            const std::string pdu = PduHeaderOfLength(length) + "\r\n" + kHello + "\r\n" +
                                    PduEntry(kHello, 8) + "\r\n\r\nOK\r\n";
            const Listing p = Read(ListingReader::Format::kPdu, pdu, piece);
            EXPECT_EQ(p.status, vantor::at::Verdict::kDone);
            ASSERT_EQ(p.entries, kept ? 2 : 1);
            EXPECT_EQ(Utf8(p.header[p.entries - 1]), "<8>05年12月08日21:13:45来自:123的消息");
            EXPECT_STREQ(p.text[p.entries - 1], "Hello");

            const std::string text = TextHeaderOfLength(length, 5) + "\r\nFirst\r\n" +
                                     TextHeaderOfLength(80, 6) + "\r\nSecond\r\n\r\nOK\r\n";
            const Listing t = Read(ListingReader::Format::kText, text, piece);
            EXPECT_EQ(t.status, vantor::at::Verdict::kDone);
            ASSERT_EQ(t.entries, kept ? 2 : 1);
            EXPECT_STREQ(t.text[t.entries - 1], "Second");
        }
    }
}

}  // namespace

// A text-mode <length> that does not end at a line end is not trusted: that
// body ends at its first line break, and the entries after it are read
// whole, whichever way the count is wrong. A count that fits stays the rule,
// line breaks and all.
TEST(ListingReader, TextLengthThatMissesTheBodyFallsBackToTheLineBreak) {
    const struct {
        const char* name;
        std::size_t announced;
        std::string body;
        std::string shown;
    } cases[] = {
        {"fits", 5, "Hello", "Hello"},
        {"fits, two lines", 12, "Line1\r\nLine2", "Line1\r\nLine2"},
        {"too short", 3, "Hello", "Hello"},
        {"too long", 10, "Hi", "Hi"},
        {"too long by the next header", 40, "Hi", "Hi"},
        {"far too long", 600, "Hi", "Hi"},
        {"hex octets", 4, "62A58B66", "报警"},  // UCS-2 data, shown as text
        {"zero for text", 0, "Hi", "Hi"},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{512}}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            const std::string answer = TextHeaderOfLength(80, c.announced) + "\r\n" + c.body +
                                       "\r\n" + TextHeaderOfLength(80, 6) + "\r\nSecond\r\n" +
                                       TextHeaderOfLength(80, 5) + "\r\nThird\r\n\r\nOK\r\n";
            const Listing t = Read(ListingReader::Format::kText, answer, piece);
            EXPECT_EQ(t.status, vantor::at::Verdict::kDone);
            ASSERT_EQ(t.entries, 3);
            EXPECT_EQ(Utf8(t.text[0]), c.shown);
            EXPECT_STREQ(t.text[1], "Second");
            EXPECT_STREQ(t.text[2], "Third");
        }
    }
}
