// PacketBuilder: an IoPacket with its item list, built the way the host hands
// them in, for tests, fuzzers and soak runs.
//
//   vantor::test::PacketBuilder p(vantor::kMsgNew);        // a read
//   p.Text("x", 0).Text("y", 4).Empty();                   // two items, then a node without one
//   modem.ProcessPacket(p.Packet(), 1);
//   EXPECT_EQ(p.TextOf(0), "...");
//
//   vantor::test::PacketBuilder w(vantor::kCMGD, true);    // a write
//   w.Value(vantor::kType2, 5);
//
// Texts are held as global atoms of the seam, as the host holds them. Nodes
// and items keep their addresses for the builder's lifetime.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>

#include "host/records.h"
#include "os/os.h"

namespace vantor::test {

class PacketBuilder {
public:
    explicit PacketBuilder(std::int16_t kind, bool write = false) {
        std::memset(&packet_, 0, sizeof packet_);
        packet_.kind = kind;
        packet_.writeFlag = write ? 1 : 0;
    }
    PacketBuilder(const PacketBuilder&) = delete;
    PacketBuilder& operator=(const PacketBuilder&) = delete;

    // An item of `type` with `value`, at `subIndex`.
    PacketBuilder& Value(std::uint16_t type, std::uint32_t value, std::uint16_t subIndex = 0) {
        IoItem& item = items_.emplace_back();
        std::memset(&item, 0, sizeof item);
        item.dataType = type;
        item.value = value;
        item.subIndex = subIndex;
        Link(&item);
        return *this;
    }

    // A text item (type 256) whose value is a new atom for `text`.
    PacketBuilder& Text(std::string_view text, std::uint16_t subIndex = 0) {
        const std::string s(text);
        return Value(kTypeText, os::GlobalAddAtomA(s.c_str()), subIndex);
    }

    // A node that carries no item.
    PacketBuilder& Empty() {
        Link(nullptr);
        return *this;
    }

    IoPacket* Packet() { return &packet_; }
    IoItem& Item(std::size_t i) { return items_.at(i); }

    // The text of item i's atom ("" for atom 0).
    std::string TextOf(std::size_t i) { return AtomText(Item(i).value); }

    static std::string AtomText(std::uint32_t value) {
        const auto atom = static_cast<std::uint16_t>(value);
        if (atom == 0) return {};
        char text[256] = {};
        os::GlobalGetAtomNameA(atom, text, sizeof text);
        return text;
    }

private:
    void Link(IoItem* item) {
        IoItemNode& node = nodes_.emplace_back();
        node.next = nullptr;
        node.previous = nodes_.size() > 1 ? &nodes_[nodes_.size() - 2] : nullptr;
        node.item = item;
        if (node.previous != nullptr) node.previous->next = &node;
        else packet_.head = &node;
    }

    IoPacket packet_;
    std::deque<IoItem> items_;
    std::deque<IoItemNode> nodes_;
};

}  // namespace vantor::test
