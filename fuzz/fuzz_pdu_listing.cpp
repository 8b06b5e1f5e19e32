// A whole PDU-mode listing answer through the listing reader the driver runs,
// shown as the driver shows it,
// into 1..20 slots that held earlier texts: every slot stays a terminated
// text of at most 255 bytes, body texts are never cut inside a double-byte
// character, an answer without an entry leaves the pair empty, and nothing is
// written past the last slot. (The control byte's top bit, once a store
// behaviour, is read and ignored so that the seeds keep their layout.)
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "sms/shown_text.h"

using vantor::Slot;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t control = in.Byte();
    const int slots = 1 + (control & 0x7F) % 20;
    // The answer as the line delivers it: one piece of exactly its size.
    const std::string answer = in.Bytes(vantor::kAnswerSize - 1);
    const std::unique_ptr<char[]> buffer = fuzz::ExactCopy(answer);

    // Stores of exactly `slots` slots, holding earlier texts.
    std::unique_ptr<Slot[]> header(new Slot[slots]);
    std::unique_ptr<Slot[]> text(new Slot[slots]);
    for (int i = 0; i < slots; ++i) {
        std::snprintf(header[i], sizeof(Slot), "<%d> earlier header", i + 1);
        std::snprintf(text[i], sizeof(Slot), "earlier text %d", i + 1);
    }

    vantor::sms::ParsePduListing(buffer.get(), answer.size(), header.get(), text.get(), slots, true);

    fuzz::CheckSlots(header.get(), slots, false);
    fuzz::CheckSlots(text.get(), slots, true);
    if (answer.find("+CMGL:") == std::string::npos) {
        for (int i = 0; i < slots; ++i) FUZZ_CHECK(header[i][0] == '\0' && text[i][0] == '\0');
    }
    os::virt::Reset();  // the trace lines of this run go
    return 0;
}
