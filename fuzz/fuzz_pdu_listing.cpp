// A PDU-mode listing answer through ParsePduListing, with both store
// behaviours and 1..20 slots: every slot stays a terminated text of at most
// 255 bytes, body texts are never cut inside a double-byte character, an
// answer without an entry leaves the unread pair as it was, and nothing is
// written past the last slot.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "sms/listing.h"

using vantor::Slot;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t control = in.Byte();
    const bool emptyWhenNone = (control & 0x80) != 0;
    const int slots = 1 + (control & 0x7F) % 20;
    // The answer as the write cycle hands it over: at most 8191 bytes, then a
    // zero, in a buffer of exactly that size.
    std::string answer = in.Bytes(vantor::kAnswerSize - 1);
    const std::unique_ptr<char[]> buffer = fuzz::ExactCopy(answer);

    // Stores of exactly `slots` slots, holding earlier texts.
    std::unique_ptr<Slot[]> header(new Slot[slots]);
    std::unique_ptr<Slot[]> text(new Slot[slots]);
    for (int i = 0; i < slots; ++i) {
        std::memset(header[i], 0, sizeof(Slot));
        std::memset(text[i], 0, sizeof(Slot));
        std::snprintf(header[i], sizeof(Slot), "<%d> earlier header", i + 1);
        std::snprintf(text[i], sizeof(Slot), "earlier text %d", i + 1);
    }
    const std::size_t storeBytes = sizeof(Slot) * static_cast<std::size_t>(slots);
    std::unique_ptr<char[]> before(new char[2 * storeBytes]);
    std::memcpy(before.get(), header.get(), storeBytes);
    std::memcpy(before.get() + storeBytes, text.get(), storeBytes);

    vantor::sms::ParsePduListing(buffer.get(), header.get(), text.get(), slots, emptyWhenNone);

    fuzz::CheckSlots(header.get(), slots, false);
    fuzz::CheckSlots(text.get(), slots, true);
    if (std::strstr(answer.c_str(), "+CMGL:") == nullptr && !emptyWhenNone) {
        FUZZ_CHECK(std::memcmp(before.get(), header.get(), storeBytes) == 0);
        FUZZ_CHECK(std::memcmp(before.get() + storeBytes, text.get(), storeBytes) == 0);
    }
    os::virt::Reset();  // the trace lines of this run go
    return 0;
}
