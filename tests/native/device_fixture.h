// A fresh CGsmModem in a fresh virtual OS, with a scripted modem that can be
// put behind port COM1.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "device/gsm_modem.h"
#include "os/virt/virt.h"
#include "packet_builder.h"
#include "port_config.h"
#include "scripted_peer.h"

namespace vantor::test {

using Kinds = std::initializer_list<std::int16_t>;

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { os::virt::Reset(); }
    // The contract's exact traffic against the scripted modem, which answers
    // only the dialogues each test names: no set-up for delivery reports
    // (on by default) in between.
    static void DeliveryReportsOff() {
        os::virt::SetRegistryDword("SOFTWARE\\Vantor", "DeliveryReports", 0);
    }
    void TearDown() override {
        modem.ClosePort();
        os::virt::Reset();
    }

    // Opens COM1 with `peer` behind it; short reply time-out keeps the
    // silent cases quick to read.
    void Open(std::int16_t replyTimeoutMs = 100) { OpenWith(peer, replyTimeoutMs); }
    void OpenWith(os::virt::Peer& far, std::int16_t replyTimeoutMs = 100) {
        os::virt::AddPort("COM1", &far);
        PortConfig config = MakePortConfig("COM1", 9600, replyTimeoutMs);
        ASSERT_EQ(modem.OpenPort(&config), 1);
    }
    // Closes the port and takes COM1 away, so that its peer may go.
    void Unplug() {
        modem.ClosePort();
        os::virt::RemovePort("COM1");
    }

    int Run(PacketBuilder& packet, std::int32_t deliveryFlag = 1) {
        return modem.ProcessPacket(packet.Packet(), deliveryFlag);
    }
    // Writes `value` to the register `kind` as a host does: the message
    // commands (NEW, OLD, SEND) are one-byte triggers, the others two bytes.
    int Write(std::int16_t kind, std::uint32_t value = 0) {
        PacketBuilder p(kind, true);
        p.Value(kind == kNEW || kind == kOLD || kind == kSEND ? kType1 : kType2, value);
        return Run(p);
    }

    // Port calls made from index `from` on, by function name.
    static std::vector<os::virt::PortCall> CallsSince(std::size_t from, const char* function) {
        std::vector<os::virt::PortCall> found;
        const auto& calls = os::virt::PortCalls();
        for (std::size_t i = from; i < calls.size(); ++i)
            if (calls[i].function == function) found.push_back(calls[i]);
        return found;
    }
    static std::size_t Mark() { return os::virt::PortCalls().size(); }

    // Every field the device exposes: to show that an operation changed
    // nothing.
    Registers Fields() const { return modem; }

    CGsmModem modem;
    ScriptedPeer peer;
};

inline std::uint64_t Now() { return os::virt::Now(); }

inline bool Traced(const std::string& line) {
    for (const std::string& l : os::virt::TraceLines())
        if (l == line) return true;
    return false;
}

inline std::size_t Count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

}  // namespace vantor::test
