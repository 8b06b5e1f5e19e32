// The modem's own lines as the link watches for them: every complete line
// read, by the drain before a command, an ordinary exchange and a listing
// alike, is handed to the table the line was given, except a line inside a
// listed message; a line with no table acts on none of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/gsm_modem.h"
#include "link/chat.h"
#include "link/exchange.h"
#include "os/virt/virt.h"
#include "port_config.h"
#include "scripted_peer.h"
#include "sms/listing_reader.h"

namespace {

using vantor::link::Line;
using vantor::link::UnsolicitedRow;

void Record(void* owner, Line&, const char* text, std::size_t length) noexcept {
    static_cast<std::vector<std::string>*>(owner)->emplace_back(text, length);
}

constexpr UnsolicitedRow kRows[] = {
    {"^BOOT", false, Record},  // the whole line only
    {"+PING:", true, Record},  // any line that starts so
};

// A text-mode entry whose header announces its body's length.
std::string Entry(int index, const std::string& body) {
    return "+CMGL: " + std::to_string(index) + ",\"REC READ\",\"+8613912345678\",,\"26/12/09,08:30:15+32\",145," +
           std::to_string(body.size()) + "\r\n" + body + "\r\n";
}

bool Traced(const std::string& line) {
    const auto& t = os::virt::TraceLines();
    return std::find(t.begin(), t.end(), line) != t.end();
}

// However the line cuts the bytes: what waited before a command, an
// ordinary answer, and the lines of a listing outside its messages reach the
// table; a body that spells a watched line (alone, or a line of its own
// inside a longer body) does not; a line that only resembles a row's text
// matches no row.
TEST(UnsolicitedLines, EveryLineButAListedBodyReachesTheTable) {
    for (std::size_t chunk : {0u, 1u, 3u, 7u}) {
        SCOPED_TRACE(chunk);
        os::virt::Reset();
        vantor::test::ScriptedPeer peer;
        os::virt::AddPort("COM1", &peer);
        peer.SetChunking(chunk);
        std::vector<std::string> heard;
        Line line;
        line.Unsolicited = {kRows, sizeof kRows / sizeof kRows[0], &heard};
        const vantor::PortConfig config = vantor::test::MakePortConfig("COM1", 9600, 500);
        ASSERT_EQ(vantor::link::OpenPort(line, &config), 1);

        peer.At(os::virt::Now(), "^BOOT\r\n+PING:\r\n^BOOTED\r\nX^BOOT\r\n x+PING: 1\r\n");
        os::Sleep(200);  // all of it waits on the line
        peer.OnWrite("AT+CMGL", "\r\n^BOOT\r\n" + Entry(1, "^BOOT") + Entry(2, "TANK LOW\r\n+PING: 2\r\n^BOOT") +
                                    "+PING: 3\r\n\r\nOK\r\n", 20);
        const char command[] = "AT+CMGL=\"ALL\"\r";
        std::vector<vantor::sms::Received> records(4);
        vantor::sms::ListingReader reader(vantor::sms::ListingReader::Format::kText, records.data(), 4);
        const vantor::link::Outcome listed = vantor::link::Chat(
            line, vantor::link::Command{reinterpret_cast<const std::uint8_t*>(command), sizeof command - 1},
            reader, vantor::link::Pacing::Listing(1000), nullptr);
        EXPECT_EQ(listed.verdict, vantor::at::Verdict::kDone);
        EXPECT_EQ(reader.Entries(), 2);

        peer.OnWrite("AT\r", "\r\n+PING: 4\r\n\r\nOK\r\n", 20);
        std::uint8_t buffer[vantor::kAnswerSize] = "AT\r";
        std::int32_t length = 3;
        EXPECT_EQ(vantor::link::Exchange(line, buffer, &length), 1);

        EXPECT_EQ(heard, (std::vector<std::string>{"^BOOT", "+PING:", "^BOOT", "+PING: 3", "+PING: 4"}));
        vantor::link::ClosePort(line);
    }
}

// The link acts on no line of its own: with no table a "^SYSSTART" forgives
// nothing owed and a "^SMGO: 2" is not traced; the TC35's table the device
// gives its line does both, and notes the restart.
TEST(UnsolicitedLines, OnlyTheDevicesTableActsOnTheModemsLines) {
    for (const bool device : {false, true}) {
        SCOPED_TRACE(device ? "the device's line" : "a line with no table");
        os::virt::Reset();
        vantor::test::ScriptedPeer peer;
        os::virt::AddPort("COM1", &peer);
        vantor::CGsmModem modem;
        Line bare;
        Line& line = device ? modem.line : bare;
        const vantor::PortConfig config = vantor::test::MakePortConfig("COM1", 9600, 500);
        ASSERT_EQ(vantor::link::OpenPort(line, &config), 1);

        vantor::link::Owe(line, false);
        peer.At(os::virt::Now(), "\r\n^SYSSTART\r\n\r\n^SMGO: 2\r\n");
        os::Sleep(10);
        EXPECT_GT(vantor::link::DrainLine(line, false), 0u);

        EXPECT_EQ(line.Owed.results, device ? 0 : 1);
        EXPECT_EQ(modem.reports.restartSeen, device);
        EXPECT_EQ(Traced("^SMGO: 2: the SIM's message store is full and a new message is waiting at the service "
                         "centre: delete read messages (CMGD)\n"),
                  device);
        vantor::link::ClosePort(line);
    }
}

}  // namespace
