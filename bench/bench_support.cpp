#include "bench_support.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gsm7_hex.h"
#include "os/os.h"

// --- the allocation counter ---------------------------------------------
// glibc's allocator under its internal names; the definitions below take the
// public names for the whole process. The benchmarks run on one thread.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {
std::uint64_t g_total = 0;
std::uint64_t g_os = 0;
int g_osDepth = 0;

inline void Count() noexcept {
    ++g_total;
    if (g_osDepth > 0) ++g_os;
}

struct OsScope {
    OsScope() noexcept { ++g_osDepth; }
    ~OsScope() { --g_osDepth; }
};
}  // namespace

extern "C" {
void* malloc(std::size_t n) {
    Count();
    return __libc_malloc(n);
}
void* calloc(std::size_t k, std::size_t n) {
    Count();
    return __libc_calloc(k, n);
}
void* realloc(void* p, std::size_t n) {
    Count();
    return __libc_realloc(p, n);
}
void free(void* p) { __libc_free(p); }
void* aligned_alloc(std::size_t alignment, std::size_t n) {
    Count();
    return __libc_memalign(alignment, n);
}
void* memalign(std::size_t alignment, std::size_t n) {
    Count();
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    Count();
    void* p = __libc_memalign(alignment, n);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}
}

// The seam functions that allocate in the virtual OS, wrapped by the linker
// (see bench/CMakeLists.txt): each call runs the real one inside an OsScope.
#define VANTOR_WRAP(ret, mangled, params, args)              \
    extern "C" ret __real_##mangled params;                  \
    extern "C" ret __wrap_##mangled params {                 \
        OsScope scope;                                       \
        return __real_##mangled args;                        \
    }

using os::Handle;
using std::uint32_t;
VANTOR_WRAP(Handle, _ZN2os11CreateFileAEPKcjjjj, (const char* p, uint32_t a, uint32_t s, uint32_t c, uint32_t f), (p, a, s, c, f))
VANTOR_WRAP(int, _ZN2os9SetupCommEmjj, (Handle h, uint32_t i, uint32_t o), (h, i, o))
VANTOR_WRAP(int, _ZN2os12GetCommStateEmPNS_3DcbE, (Handle h, os::Dcb* d), (h, d))
VANTOR_WRAP(int, _ZN2os12SetCommStateEmPKNS_3DcbE, (Handle h, const os::Dcb* d), (h, d))
VANTOR_WRAP(int, _ZN2os11SetCommMaskEmj, (Handle h, uint32_t m), (h, m))
VANTOR_WRAP(int, _ZN2os9PurgeCommEmj, (Handle h, uint32_t f), (h, f))
VANTOR_WRAP(int, _ZN2os15SetCommTimeoutsEmPKNS_12CommTimeoutsE, (Handle h, const os::CommTimeouts* t), (h, t))
VANTOR_WRAP(int, _ZN2os14ClearCommErrorEmPjPNS_7ComStatE, (Handle h, uint32_t* e, os::ComStat* s), (h, e, s))
VANTOR_WRAP(int, _ZN2os8ReadFileEmPvjPj, (Handle h, void* b, uint32_t n, uint32_t* r), (h, b, n, r))
VANTOR_WRAP(int, _ZN2os9WriteFileEmPKvjPj, (Handle h, const void* b, uint32_t n, uint32_t* w), (h, b, n, w))
VANTOR_WRAP(int, _ZN2os11CloseHandleEm, (Handle h), (h))
VANTOR_WRAP(std::uint16_t, _ZN2os14GlobalAddAtomAEPKc, (const char* t), (t))
VANTOR_WRAP(void, _ZN2os18OutputDebugStringAEPKc, (const char* t), (t))

namespace bench {

AllocCount Allocations() noexcept { return AllocCount{g_total, g_os}; }

AllocMeter::~AllocMeter() {
    const AllocCount end = Allocations();
    const double n = state_.iterations() > 0 ? static_cast<double>(state_.iterations()) : 1.0;
    const auto os = static_cast<double>(end.os - start_.os);
    const auto all = static_cast<double>(end.total - start_.total);
    state_.counters["allocs"] = benchmark::Counter((all - os) / n);
    state_.counters["os_allocs"] = benchmark::Counter(os / n);
}

// --- messages ------------------------------------------------------------

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

std::string HexOf(const std::uint8_t* p, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 0xF];
    }
    return s;
}

std::string Octet(unsigned v) {
    const auto b = static_cast<std::uint8_t>(v);
    return HexOf(&b, 1);
}

// TS 23.038 6.1.2.1.1 packing of septets given as ASCII characters that have
// the same code in the GSM default alphabet (letters, digits, blank, , . :).
std::string Pack7(const std::string& text) { return vantor::test::Pack7Hex(text); }

// SMSC +8613800100500, SMS-DELIVER, sender +8613912345678, PID 00, the given
// DCS, time stamp 26-12-09 09:05:42 +08, then TP-UDL and TP-UD.
std::string Deliver(unsigned dcs, unsigned udl, const std::string& ud) {
    return "0891683108100005F0" "04" "0D91683119325476F8" "00" + Octet(dcs) +
           "62219090502423" + Octet(udl) + ud;
}

}  // namespace

std::string Text160() {
    const std::string sentence = "Pump station 7: pressure 4.2 bar, flow 118 m3 per hour, tank level 76 percent. ";
    std::string s;
    while (s.size() < 160) s += sentence;
    return s.substr(0, 160);
}

std::u16string Text70Ucs2() {
    const std::u16string chars = u"你好，世界！今晚七点见。泵站压力正常流量水位";
    std::u16string s;
    while (s.size() < 70) s += chars;
    return s.substr(0, 70);
}

std::string Text70Gbk() {
    const std::u16string u = Text70Ucs2();
    char out[4 * 70 + 1] = {};
    const int n = os::WideCharToMultiByte(u.data(), static_cast<int>(u.size()), out, sizeof out - 1, nullptr);
    return std::string(out, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::string Text500() {
    const std::string sentence = "Pump station 7: pressure 4.2 bar, flow 118 m3 per hour, tank level 76 percent. ";
    std::string s;
    while (s.size() < 500) s += sentence;
    return s.substr(0, 500);
}

std::u16string Text210Ucs2() {
    const std::u16string chars = u"你好，世界！今晚七点见。泵站压力正常流量水位";
    std::u16string s;
    while (s.size() < 210) s += chars;
    return s.substr(0, 210);
}

std::string Text210Gbk() {
    const std::u16string u = Text210Ucs2();
    char out[4 * 210 + 1] = {};
    const int n = os::WideCharToMultiByte(u.data(), static_cast<int>(u.size()), out, sizeof out - 1, nullptr);
    return std::string(out, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::string DeliverPdu7bit() { return Deliver(0x00, 160, Pack7(Text160())); }

std::string DeliverPduUcs2() {
    std::string ud;
    for (char16_t u : Text70Ucs2()) ud += Octet(u >> 8) + Octet(u & 0xFF);
    return Deliver(0x08, 140, ud);
}

std::string PduEntry(int index, const std::string& pdu, const std::string& alpha) {
    const std::size_t smsc = 1 + std::stoul(pdu.substr(0, 2), nullptr, 16);
    const std::size_t tpdu = pdu.size() / 2 - smsc;
    char header[128];
    std::snprintf(header, sizeof header, "+CMGL: %d,1,%s,%zu\r\n", index, alpha.c_str(), tpdu);
    return header + pdu + "\r\n";
}

std::string PduListing20() {
    const std::string pdus[2] = {DeliverPdu7bit(), DeliverPduUcs2()};
    const std::string head = "AT+CMGL=1\r\r\n";
    const std::string tail = "\r\nOK\r\n";
    std::size_t bare = head.size() + tail.size();
    for (int i = 0; i < 20; ++i) bare += PduEntry(i + 1, pdus[i % 2]).size();
    // Name fields ("..." of the phone book) fill the rest up to 8190 bytes.
    const std::size_t pad = (8190 - bare) / 20;
    const std::string name = "Pumping station north, duty engineer on call ....";
    const std::string alpha = pad >= 2 ? "\"" + name.substr(0, pad - 2) + "\"" : "";
    std::string answer = head;
    for (int i = 0; i < 20; ++i) answer += PduEntry(i + 1, pdus[i % 2], alpha);
    return answer + tail;
}

std::string TextListing20() {
    std::string answer = "AT+CMGL=\"REC READ\"\r\r\n";
    for (int i = 1; i <= 20; ++i) {
        char header[128];
        std::snprintf(header, sizeof header,
                      "+CMGL: %d,\"REC READ\",\"%s\",,\"26/12/09,09:05:%02d+32\"\r\n", i, kSender, i);
        answer += header + Text160() + "\r\n";
    }
    return answer + "\r\nOK\r\n";
}

std::string HexToBytes(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
    return out;
}

}  // namespace bench
