// The code tables follow the TC35 AT command manual's summaries (7.1.1 CME,
// 7.1.2 CMS errors), which take the network and transfer-layer causes of
// 3GPP TS 24.011 and TS 23.040 9.2.3.22 into TS 27.005 3.2.5, and the phone
// errors of TS 27.007 9.2.
#include "diag/at_errors.h"

#include <cstdio>
#include <cstring>

#include "diag/trace.h"

namespace vantor {

namespace {

struct Meaning {
    std::int16_t code;
    const char* text;
};

constexpr Meaning kCms[] = {
    {1, "unassigned (unallocated) number"},
    {8, "operator determined barring"},
    {10, "call barred"},
    {21, "short message transfer rejected"},
    {27, "destination out of service"},
    {28, "unidentified subscriber"},
    {29, "facility rejected"},
    {30, "unknown subscriber"},
    {38, "network out of order"},
    {41, "temporary failure"},
    {42, "congestion"},
    {47, "resources unavailable, unspecified"},
    {50, "requested facility not subscribed"},
    {69, "requested facility not implemented"},
    {81, "invalid short message transfer reference value"},
    {95, "invalid message, unspecified"},
    {96, "invalid mandatory information"},
    {97, "message type non-existent or not implemented"},
    {98, "message not compatible with short message protocol state"},
    {99, "information element non-existent or not implemented"},
    {111, "protocol error, unspecified"},
    {127, "interworking, unspecified"},
    {128, "telematic interworking not supported"},
    {129, "short message type 0 not supported"},
    {130, "cannot replace short message"},
    {143, "unspecified TP-PID error"},
    {144, "data coding scheme (alphabet) not supported"},
    {145, "message class not supported"},
    {159, "unspecified TP-DCS error"},
    {160, "command cannot be actioned"},
    {161, "command unsupported"},
    {175, "unspecified TP-Command error"},
    {176, "TPDU not supported"},
    {192, "SC busy"},
    {193, "no SC subscription"},
    {194, "SC system failure"},
    {195, "invalid SME address"},
    {196, "destination SME barred"},
    {197, "SM rejected, duplicate SM"},
    {198, "TP-VPF not supported"},
    {199, "TP-VP not supported"},
    {208, "SIM SMS storage full"},
    {209, "no SMS storage capability in SIM"},
    {210, "error in MS"},
    {211, "memory capacity exceeded"},
    {212, "SIM application toolkit busy"},
    {213, "SIM data download error"},
    {255, "unspecified error cause"},
    {300, "ME failure"},
    {301, "SMS service of ME reserved"},
    {302, "operation not allowed"},
    {303, "operation not supported"},
    {304, "invalid PDU mode parameter"},
    {305, "invalid text mode parameter"},
    {310, "SIM not inserted"},
    {311, "SIM PIN required"},
    {312, "PH-SIM PIN required"},
    {313, "SIM failure"},
    {314, "SIM busy"},
    {315, "SIM wrong"},
    {316, "SIM PUK required"},
    {317, "SIM PIN2 required"},
    {318, "SIM PUK2 required"},
    {320, "memory failure"},
    {321, "invalid memory index"},
    {322, "memory full"},
    {330, "SMSC address unknown"},
    {331, "no network service"},
    {332, "network timeout"},
    {340, "no +CNMA acknowledgement expected"},
    {500, "unknown error"},
    {512, "user abort"},
};

constexpr Meaning kCme[] = {
    {0, "phone failure"},
    {1, "no connection to phone"},
    {2, "phone-adapter link reserved"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {6, "PH-FSIM PIN required"},
    {7, "PH-FSIM PUK required"},
    {10, "SIM not inserted"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "incorrect password"},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed, emergency calls only"},
    {40, "network personalization PIN required"},
    {41, "network personalization PUK required"},
    {42, "network subset personalization PIN required"},
    {43, "network subset personalization PUK required"},
    {44, "service provider personalization PIN required"},
    {45, "service provider personalization PUK required"},
    {46, "corporate personalization PIN required"},
    {47, "corporate personalization PUK required"},
    {48, "PH-SIM PUK required"},
    {100, "unknown"},
    {256, "operation temporarily not allowed"},
    {257, "call barred"},
    {258, "phone is busy"},
    {259, "user abort"},
    {260, "invalid dial string"},
    {261, "ss not executed"},
    {262, "SIM blocked"},
};

template <std::size_t N>
const char* Find(const Meaning (&table)[N], int n) noexcept {
    for (const Meaning& m : table)
        if (m.code == n) return m.text;
    return nullptr;
}

constexpr char kCmsPrefix[] = "+CMS ERROR:";
constexpr char kCmePrefix[] = "+CME ERROR:";
constexpr std::size_t kPrefixLength = sizeof kCmsPrefix - 1;
constexpr std::size_t kLineSize = 160;  // a trace line: the answer line and its meaning

// The meaning of a whole answer line "+CMS ERROR: n" / "+CME ERROR: n"
// (blanks allowed around n, nothing else after it), or nullptr.
const char* LineMeaning(const char* line, std::size_t length) noexcept {
    if (length <= kPrefixLength) return nullptr;
    AtErrorKind kind;
    if (std::memcmp(line, kCmsPrefix, kPrefixLength) == 0) kind = AtErrorKind::kCms;
    else if (std::memcmp(line, kCmePrefix, kPrefixLength) == 0) kind = AtErrorKind::kCme;
    else return nullptr;
    std::size_t i = kPrefixLength;
    while (i < length && line[i] == ' ') ++i;
    int n = 0, digits = 0;
    for (; i < length && line[i] >= '0' && line[i] <= '9'; ++i) {
        if (++digits > 5) return nullptr;
        n = n * 10 + (line[i] - '0');
    }
    while (i < length && line[i] == ' ') ++i;
    if (digits == 0 || i != length) return nullptr;  // verbose text (AT+CMEE=2) or junk
    return AtErrorMeaning(kind, n);
}

}  // namespace

const char* AtErrorMeaning(AtErrorKind kind, int n) noexcept {
    return kind == AtErrorKind::kCms ? Find(kCms, n) : Find(kCme, n);
}

std::size_t AnnotateAnswerLine(const char* line, std::size_t length, char* out, std::size_t size) noexcept {
    if (out == nullptr || size == 0) return 0;
    if (line == nullptr) length = 0;
    std::size_t n = length < size - 1 ? length : size - 1;
    if (n > 0) std::memcpy(out, line, n);
    const char* meaning = n == length ? LineMeaning(line, length) : nullptr;
    if (meaning != nullptr) {
        const std::size_t m = std::strlen(meaning);
        if (n + m + 3 <= size - 1) {
            out[n++] = ' ';
            out[n++] = '(';
            std::memcpy(out + n, meaning, m);
            n += m;
            out[n++] = ')';
        }
    }
    out[n] = '\0';
    return n;
}

void TraceErrorMeanings(const std::uint8_t* answer, std::size_t length) noexcept {
    if (answer == nullptr) return;
    const char* text = reinterpret_cast<const char*>(answer);
    std::size_t start = 0;
    while (start < length) {
        std::size_t end = start;
        while (end < length && text[end] != '\r' && text[end] != '\n') ++end;
        if (LineMeaning(text + start, end - start) != nullptr) {
            char line[kLineSize];
            const std::size_t n = AnnotateAnswerLine(text + start, end - start, line, sizeof line);
            Trace("%.*s\n", static_cast<int>(n), line);
        }
        start = end + 1;
    }
}

bool DescribeRefusal(const at::Refusal& r, char (&code)[32], const char** meaning) noexcept {
    code[0] = '\0';
    *meaning = nullptr;
    if (r.kind == at::Refusal::Kind::kNone || r.code < 0) return false;
    const bool cms = r.kind == at::Refusal::Kind::kCms;
    std::snprintf(code, sizeof code, "+%s ERROR: %d", cms ? "CMS" : "CME", r.code);
    *meaning = AtErrorMeaning(cms ? AtErrorKind::kCms : AtErrorKind::kCme, r.code);
    return true;
}

}  // namespace vantor
