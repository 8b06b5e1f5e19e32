// What the benchmarks share: the messages they decode and encode, the
// listing answers they parse, and the heap allocation counter.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace bench {

// --- heap allocations ---
// Every malloc/calloc/realloc/aligned allocation of the process (operator new
// included) is counted; those made inside a call into the virtual OS (its
// recorder of port calls and trace lines, its atom table) are counted apart.
struct AllocCount {
    std::uint64_t total = 0;
    std::uint64_t os = 0;
};
AllocCount Allocations() noexcept;

// Sets "allocs" (made by the code under test outside the OS seam) and
// "os_allocs" (made by the virtual OS on its behalf), per iteration.
class AllocMeter {
public:
    explicit AllocMeter(benchmark::State& state) noexcept : state_(state), start_(Allocations()) {}
    ~AllocMeter();

private:
    benchmark::State& state_;
    AllocCount start_;
};

// --- messages ---
// A 160-character 7-bit text and a 70-character text of Chinese characters,
// the largest bodies of one message in each coding.
std::string Text160();             // ASCII, every character in the GSM default alphabet
std::u16string Text70Ucs2();       // UTF-16
std::string Text70Gbk();           // the same characters in GBK (140 bytes)
std::string Text500();             // ASCII, GSM default alphabet: 4 parts of a concatenated message
std::u16string Text210Ucs2();      // UTF-16: 4 parts in UCS-2
std::string Text210Gbk();          // the same characters in GBK (420 bytes)

inline constexpr char kSender[] = "+8613912345678";
inline constexpr char kDestination[] = "13912345678";

// SMS-DELIVER PDUs as the modem lists them (hexadecimal, SMSC field first)
// carrying the texts above.
std::string DeliverPdu7bit();
std::string DeliverPduUcs2();
// "+CMGL: <index>,<stat>,<alpha>,<length>\r\n<pdu>\r\n"
std::string PduEntry(int index, const std::string& pdu, const std::string& alpha = "");

// A PDU-mode listing answer with 20 entries (7-bit and UCS-2 alternating),
// echo and final OK, padded with name fields to just under 8191 bytes.
std::string PduListing20();
// A text-mode listing answer with 20 entries of 160 characters.
std::string TextListing20();

std::string HexToBytes(const std::string& hex);

}  // namespace bench
