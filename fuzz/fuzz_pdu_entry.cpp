// One "+CMGL:" entry (header line, PDU line) of arbitrary bytes through the
// PDU decoder: the display text stays within 255 bytes, terminated, and is
// never cut inside a double-byte character; the separator it reports is the
// '@' at that offset.
#include <cstring>
#include <memory>

#include "fuzz_common.h"
#include "sms/shown_text.h"

namespace {

// The index the decoder copies as it stands: only plain bytes there keep the
// text's character boundaries where the decoder put them.
bool IndexIsPlain(const char* entry, std::size_t n) {
    const char* marker = static_cast<const char*>(memmem(entry, n, "CMGL:", 5));
    if (marker == nullptr) return true;
    for (const char* p = marker + 5; p < entry + n && *p != ',' && *p != '\n'; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exactly sized copy, so that a read past the entry is caught.
    std::unique_ptr<char[]> entry(new char[size ? size : 1]);
    if (size) std::memcpy(entry.get(), data, size);

    auto out = std::make_unique<char[]>(vantor::sms::kDisplaySize);
    std::memset(out.get(), 0x5A, vantor::sms::kDisplaySize);
    const int separator = vantor::sms::DecodePduEntry(entry.get(), size, out.get());

    const void* nul = std::memchr(out.get(), '\0', vantor::sms::kDisplaySize);
    FUZZ_CHECK(nul != nullptr);
    const auto n = static_cast<std::size_t>(static_cast<const char*>(nul) - out.get());
    FUZZ_CHECK(n <= 255);
    // The separator may lie beyond a zero byte the modem put into the index.
    FUZZ_CHECK(separator >= -1 && separator < vantor::sms::kDisplaySize - 1);
    if (separator >= 0) FUZZ_CHECK(out[separator] == '@');
    if (IndexIsPlain(entry.get(), size)) FUZZ_CHECK(!fuzz::EndsInHalfGbk(out.get(), n));
    return 0;
}
