// The core's hot operations against the virtual OS: codec, listing parsers,
// register check, completion test, one exchange and whole read cycles. Each
// benchmark reports the heap allocations per operation (see bench_support.h).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "device/gsm_modem.h"
#include "sms/listing_reader.h"
#include "host/register_table.h"
#include "os/virt/virt.h"
#include "port_config.h"
#include "packet_builder.h"
#include "sms/listing_reader.h"
#include "sms/shown_text.h"
#include "sms/pdu_encode.h"

using namespace vantor;

namespace {

// Aborts the run: a benchmark of an operation that no longer does its job
// would print a figure for the wrong thing.
void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "benchmark set-up failed: %s\n", what);
        std::exit(1);
    }
}

// --- codec ---------------------------------------------------------------

void DecodeEntry(benchmark::State& state, const std::string& pdu) {
    const std::string entry = bench::PduEntry(1, pdu);
    char out[sms::kDisplaySize];
    Require(sms::DecodePduEntry(entry.data(), entry.size(), out) > 0, "entry decodes with a body");
    bench::AllocMeter meter(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sms::DecodePduEntry(entry.data(), entry.size(), out));
        benchmark::ClobberMemory();
    }
}
void BM_DecodePduEntry_7bit160(benchmark::State& state) { DecodeEntry(state, bench::DeliverPdu7bit()); }
void BM_DecodePduEntry_Ucs2_70(benchmark::State& state) { DecodeEntry(state, bench::DeliverPduUcs2()); }
BENCHMARK(BM_DecodePduEntry_7bit160);
BENCHMARK(BM_DecodePduEntry_Ucs2_70);

void Encode(benchmark::State& state, const std::string& body, std::uint8_t codeMod) {
    char pdu[sms::kPduTextSize];
    std::int32_t count = 0;
    Require(sms::Makecode(bench::kDestination, body.c_str(), "", codeMod, pdu, &count) == 1,
            "Makecode accepts the body");
    bench::AllocMeter meter(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sms::Makecode(bench::kDestination, body.c_str(), "", codeMod, pdu, &count));
        benchmark::ClobberMemory();
    }
}
void BM_Makecode_7bit160(benchmark::State& state) { Encode(state, bench::Text160(), 0); }
void BM_Makecode_Ucs2_70(benchmark::State& state) { Encode(state, bench::Text70Gbk(), 1); }
// A long body as a send takes it: converted and cut once, then each part's
// PDU built in turn into the one PDU area.
void EncodeParts(benchmark::State& state, const std::string& body, std::uint8_t codeMod) {
    const std::string part0 = body.substr(0, 255);
    const std::string part1 = body.size() > 255 ? body.substr(255) : "";
    sms::SubmitBody split;
    Require(sms::SplitBody(part0.c_str(), part1.c_str(), codeMod, &split) == 4, "the body makes 4 parts");
    char pdu[sms::kPduTextSize];
    std::int32_t count = 0;
    bench::AllocMeter meter(state);
    for (auto _ : state) {
        const int parts = sms::SplitBody(part0.c_str(), part1.c_str(), codeMod, &split);
        for (int k = 0; k < parts; ++k)
            benchmark::DoNotOptimize(sms::EncodePart(bench::kDestination, split, k, 0x5A, pdu, &count));
        benchmark::ClobberMemory();
    }
}
void BM_EncodeParts_7bit4(benchmark::State& state) { EncodeParts(state, bench::Text500(), 0); }
void BM_EncodeParts_Ucs2_4(benchmark::State& state) { EncodeParts(state, bench::Text210Gbk(), 1); }
BENCHMARK(BM_EncodeParts_7bit4);
BENCHMARK(BM_EncodeParts_Ucs2_4);
BENCHMARK(BM_Makecode_7bit160);
BENCHMARK(BM_Makecode_Ucs2_70);

// --- listings ------------------------------------------------------------

struct Stores {
    Slot header[kOldSlots];
    Slot text[kOldSlots];
};

// A whole answer through the listing reader the driver runs, as one piece,
// and shown as the driver shows it.
int ReadListing(sms::ListingReader::Format format, const std::string& answer, Stores& stores) {
    static sms::Received records[kOldSlots];
    sms::ListingReader reader(format, records, kOldSlots);
    reader.Take(answer.data(), answer.size());
    sms::ShowListing(records, reader.Entries(), format, stores.header, stores.text, kOldSlots);
    return reader.Entries();
}

void BM_ReadPduListing_20(benchmark::State& state) {
    const std::string answer = bench::PduListing20();
    Require(answer.size() > 8000 && answer.size() <= 8191, "listing is near 8191 bytes");
    static Stores stores;
    Require(ReadListing(sms::ListingReader::Format::kPdu, answer, stores) == 20 &&
                stores.text[19][0] != '\0',
            "all 20 entries listed");
    bench::AllocMeter meter(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadListing(sms::ListingReader::Format::kPdu, answer, stores));
        benchmark::ClobberMemory();
    }
    state.counters["entries"] = 20;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_ReadPduListing_20);

void BM_ReadTextListing_20(benchmark::State& state) {
    const std::string answer = bench::TextListing20();
    static Stores stores;
    Require(ReadListing(sms::ListingReader::Format::kText, answer, stores) == 20 &&
                stores.text[19][0] != '\0',
            "all 20 entries listed");
    bench::AllocMeter meter(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadListing(sms::ListingReader::Format::kText, answer, stores));
        benchmark::ClobberMemory();
    }
    state.counters["entries"] = 20;
}
BENCHMARK(BM_ReadTextListing_20);

// --- register check ------------------------------------------------------

void BM_CheckRegister(benchmark::State& state) {
    // Names as users type them: indexed, plain, with blanks, and a wrong one.
    const char* const names[] = {"MsgNew3", "CSCA", " EDelay ", "MsgOld19", "Foo"};
    constexpr int kNames = sizeof names / sizeof names[0];
    std::vector<RegisterQuery> queries(kNames);
    for (int i = 0; i < kNames; ++i) {
        std::memset(&queries[i], 0, sizeof queries[i]);
        std::strcpy(queries[i].name, names[i]);
        queries[i].dataType = kTypeText;
    }
    queries[2].dataType = kType8;
    CGsmModem modem;
    RegisterRef ref{};
    Require(modem.CheckRegister(&queries[0], &ref, kRegisterTable, kRegisterCount) == 0, "MsgNew3 is valid");
    Require(modem.CheckRegister(&queries[4], &ref, kRegisterTable, kRegisterCount) == 1, "Foo is refused");
    bench::AllocMeter meter(state);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(modem.CheckRegister(&queries[i], &ref, kRegisterTable, kRegisterCount));
        i = i + 1 == kNames ? 0 : i + 1;
    }
}
BENCHMARK(BM_CheckRegister);

// --- completion test over a full answer buffer ----------------------------

void BM_IsAnswerComplete_8KiB(benchmark::State& state) {
    // The listing answer, padded with lines to 8191 bytes, "OK\r\n" last: the
    // search runs over the whole text, as after the final chunk of a listing.
    std::string text = bench::PduListing20();
    const std::string ok = "\r\nOK\r\n";
    text.resize(text.size() - ok.size());
    while (text.size() + ok.size() < 8191) text += '\n';
    text += ok;
    Require(text.size() == 8191 && CGsmModem::IsAnswerComplete(text.c_str(), 8191, WaitOk) == 1,
            "8191-byte answer completes");
    bench::AllocMeter meter(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(CGsmModem::IsAnswerComplete(text.c_str(), 8191, WaitOk));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 8191));
}
BENCHMARK(BM_IsAnswerComplete_8KiB);

// --- device operations on a virtual port -----------------------------------

// A modem that echoes each request and answers it at once: no allocation, so
// that what the counter sees is the driver's and the virtual OS's.
class AnsweringPeer final : public os::virt::Peer {
public:
    void Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t) override {
        n_ = 0;
        Append(bytes, length);
        static constexpr char kAnswer[] = "\r\n+CMGF: 0\r\n\r\nOK\r\n";
        Append(reinterpret_cast<const std::uint8_t*>(kAnswer), sizeof kAnswer - 1);
        taken_ = 0;
    }
    std::size_t Pending(std::uint64_t) override { return n_ - taken_; }
    std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t) override {
        const std::size_t k = std::min(max, n_ - taken_);
        std::memcpy(out, buffer_ + taken_, k);
        taken_ += k;
        return k;
    }
    void Purge(std::uint64_t) override { taken_ = n_; }

private:
    void Append(const std::uint8_t* p, std::size_t n) {
        n = std::min(n, sizeof buffer_ - n_);
        std::memcpy(buffer_ + n_, p, n);
        n_ += n;
    }
    std::uint8_t buffer_[256] = {};
    std::size_t n_ = 0;
    std::size_t taken_ = 0;
};

struct OpenModem {
    OpenModem() {
        os::virt::Reset();
        os::virt::AddPort("COM1", &peer);
        PortConfig config = test::MakePortConfig("COM1", 9600, 1000);
        Require(modem.OpenPort(&config) == 1, "virtual port opens");
    }
    ~OpenModem() {
        modem.ClosePort();
        os::virt::Reset();
    }
    AnsweringPeer peer;
    CGsmModem modem;
};

void BM_Exchange_CMGF(benchmark::State& state) {
    OpenModem m;
    static constexpr char kRequest[] = "AT+CMGF?\r\n";
    std::uint8_t buffer[kAnswerSize] = {};
    auto once = [&] {
        std::memcpy(buffer, kRequest, sizeof kRequest - 1);
        std::int32_t length = sizeof kRequest - 1;
        const int r = m.modem.Exchange(buffer, &length, 0);
        std::memset(buffer, 0, static_cast<std::size_t>(length));
        return r;
    };
    Require(once() == 1, "exchange completes");
    bench::AllocMeter meter(state);
    for (auto _ : state) benchmark::DoNotOptimize(once());
}
BENCHMARK(BM_Exchange_CMGF);

// A read of MsgNew with ten items (sub-indices 0..9) after a listing filled
// the store: no modem traffic, ten texts delivered as atoms.
void BM_ReadCycle_MsgNew10(benchmark::State& state) {
    OpenModem m;
    const std::string answer = bench::PduListing20();
    sms::ParsePduListing(answer.data(), answer.size(), m.modem.MsgNew, m.modem.MsgNec, kNewSlots, true);
    vantor::test::PacketBuilder packet(kMsgNew);
    for (std::uint16_t i = 0; i < kNewSlots; ++i) packet.Value(kTypeText, 0, i);
    Require(m.modem.ProcessPacket(packet.Packet(), 1) == 1, "read delivers");
    Require(packet.Item(9).value != 0, "slot 9 delivered as an atom");
    bench::AllocMeter meter(state);
    for (auto _ : state) benchmark::DoNotOptimize(m.modem.ProcessPacket(packet.Packet(), 1));
}
BENCHMARK(BM_ReadCycle_MsgNew10);

// A read of a stored setting (EDelay, one 16-bit item).
void BM_ReadCycle_EDelay(benchmark::State& state) {
    OpenModem m;
    vantor::test::PacketBuilder packet(kEDelay);
    packet.Value(kType8, 0);
    Require(m.modem.ProcessPacket(packet.Packet(), 1) == 1 && packet.Item(0).value == 60, "EDelay reads 60");
    bench::AllocMeter meter(state);
    for (auto _ : state) benchmark::DoNotOptimize(m.modem.ProcessPacket(packet.Packet(), 1));
}
BENCHMARK(BM_ReadCycle_EDelay);

}  // namespace

BENCHMARK_MAIN();
