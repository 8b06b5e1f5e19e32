// A whole text-mode listing answer through the listing reader the driver
// runs, with 1..20 slots: every slot stays a terminated text of at most 255
// bytes, the slots after the last entry are emptied, and nothing is written
// past the last slot.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "sms/shown_text.h"

using vantor::Slot;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const int slots = 1 + in.Byte() % 20;
    std::string answer = in.Bytes(vantor::kAnswerSize - 1);
    const std::unique_ptr<char[]> buffer = fuzz::ExactCopy(answer);

    std::unique_ptr<Slot[]> header(new Slot[slots]);
    std::unique_ptr<Slot[]> text(new Slot[slots]);
    for (int i = 0; i < slots; ++i) {
        std::memset(header[i], 'h', sizeof(Slot) - 1);
        header[i][sizeof(Slot) - 1] = '\0';
        std::memset(text[i], 't', sizeof(Slot) - 1);
        text[i][sizeof(Slot) - 1] = '\0';
    }

    vantor::sms::ParseTextListing(buffer.get(), answer.size(), header.get(), text.get(), slots);

    fuzz::CheckSlots(header.get(), slots, false);
    fuzz::CheckSlots(text.get(), slots, false);
    // Filled slots come first; once one is empty, all later ones are.
    bool empty = false;
    for (int i = 0; i < slots; ++i) {
        if (header[i][0] == '\0') {
            empty = true;
            FUZZ_CHECK(text[i][0] == '\0');
        } else {
            FUZZ_CHECK(!empty);
            FUZZ_CHECK(header[i][0] == '<');
        }
    }
    if (answer.find("+CMGL:") == std::string::npos) FUZZ_CHECK(header[0][0] == '\0');
    os::virt::Reset();  // the trace lines of this run go
    return 0;
}
