// An AT+CMGL answer through the listing reader the driver runs, in either
// format, into 1..20 slots, delivered in fuzzer-chosen pieces as the line
// would, and shown as the driver shows it: every slot stays a terminated text of at most 255 bytes, the
// canaries around the records, the stores and the reader are untouched, a verdict
// once given stays, and the entry count never goes down, also when the line
// goes quiet and the reader ends what it held back.
//
// Input: a control byte (bit 7: text mode; the rest: the slot count), a
// length byte and that many piece sizes (0 = 512), then the answer.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "fuzz_common.h"
#include "sms/listing_reader.h"
#include "sms/shown_text.h"

using vantor::Slot;
using vantor::sms::ListingReader;
using vantor::sms::Received;

namespace {

constexpr char kCanary = '\xA5';
constexpr std::size_t kGuard = 64;

// The reader between two guard areas, so that a write past either end of
// the object shows as a changed canary.
struct GuardedReader {
    char before[kGuard];
    alignas(ListingReader) unsigned char storage[sizeof(ListingReader)];
    char after[kGuard];
};

bool Intact(const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (bytes[i] != kCanary) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t control = in.Byte();
    const auto format = (control & 0x80) ? ListingReader::Format::kText : ListingReader::Format::kPdu;
    const int slots = 1 + (control & 0x7F) % 20;
    std::string plan = in.Bytes(in.Byte());
    if (plan.empty()) plan = std::string(1, '\0');
    const std::string answer = in.Rest();

    // One canary record before and after the records, one canary slot
    // before and after each store.
    std::unique_ptr<Received[]> records(new Received[slots + 2]);
    std::memset(static_cast<void*>(records.get()), kCanary, sizeof(Received) * (slots + 2));
    std::unique_ptr<Slot[]> header(new Slot[slots + 2]);
    std::unique_ptr<Slot[]> text(new Slot[slots + 2]);
    std::memset(header.get(), kCanary, sizeof(Slot) * (slots + 2));
    std::memset(text.get(), kCanary, sizeof(Slot) * (slots + 2));

    GuardedReader guarded;
    std::memset(&guarded, kCanary, sizeof guarded);
    auto* reader = new (guarded.storage) ListingReader(format, records.get() + 1, slots);

    vantor::at::Verdict verdict = vantor::at::Verdict::kNotYet;
    int entries = 0;
    for (std::size_t at = 0, k = 0; at < answer.size(); ++k) {
        const auto step = static_cast<std::uint8_t>(plan[k % plan.size()]);
        const std::size_t piece = std::min<std::size_t>(step ? step : 512, answer.size() - at);
        // Each piece in a buffer of exactly its size: a read past it is an
        // overflow the address sanitizer reports.
        const std::unique_ptr<char[]> bytes(new char[piece]);
        std::memcpy(bytes.get(), answer.data() + at, piece);
        const vantor::at::Verdict status = reader->Take(bytes.get(), piece);
        if (verdict != vantor::at::Verdict::kNotYet) FUZZ_CHECK(status == verdict);
        verdict = status;
        FUZZ_CHECK(reader->Entries() >= entries);
        entries = reader->Entries();
        at += piece;
    }
    if (answer.find('\n') == std::string::npos) FUZZ_CHECK(verdict == vantor::at::Verdict::kNotYet);
    // The line goes quiet: what the reader held back is read as the listing's.
    if (verdict == vantor::at::Verdict::kNotYet) {
        reader->End();
        FUZZ_CHECK(reader->Entries() >= entries);
        entries = reader->Entries();
    }
    reader->~ListingReader();
    vantor::sms::ShowListing(records.get() + 1, entries < slots ? entries : slots, format,
                             header.get() + 1, text.get() + 1, slots);

    FUZZ_CHECK(Intact(guarded.before, kGuard));
    FUZZ_CHECK(Intact(guarded.after, kGuard));
    FUZZ_CHECK(Intact(reinterpret_cast<const char*>(&records[0]), sizeof(Received)) &&
               Intact(reinterpret_cast<const char*>(&records[slots + 1]), sizeof(Received)));
    FUZZ_CHECK(Intact(header[0], sizeof(Slot)) && Intact(header[slots + 1], sizeof(Slot)));
    FUZZ_CHECK(Intact(text[0], sizeof(Slot)) && Intact(text[slots + 1], sizeof(Slot)));
    fuzz::CheckSlots(header.get() + 1, slots, false);
    fuzz::CheckSlots(text.get() + 1, slots, false);
    // Slots past the entries read stay empty.
    for (int i = entries; i < slots; ++i)
        FUZZ_CHECK(header[1 + i][0] == '\0' && text[1 + i][0] == '\0');
    os::virt::Reset();  // the trace lines of this run go
    return 0;
}
