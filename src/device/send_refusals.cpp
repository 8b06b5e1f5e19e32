#include "device/send_refusals.h"

namespace vantor {
namespace {

constexpr int kTemporaryCms[] = {
    27,   // destination out of service
    38,   // network out of order
    41,   // temporary failure
    42,   // congestion
    47,   // resources unavailable
    98,   // message not compatible with the protocol state
    192,  // SC busy
    194,  // SC system failure
    212,  // SIM application toolkit busy
    314,  // SIM busy
    331,  // no network service
    332,  // network timeout
    512,  // the TC35's "user abort": a clash with an incoming message
};

constexpr int kPermanentCms[] = {
    1, 8, 10, 21, 28, 29, 30, 50, 69, 81, 95, 96, 97, 99, 111, 127,  // TS 24.011 causes
    128, 129, 130, 143, 144, 145, 159, 160, 161, 175, 176,           // TS 23.040 TP errors
    193, 195, 196, 197, 198, 199,
    301, 303, 304, 305, 310, 311, 312, 313, 315, 316, 317, 318, 330,
};

constexpr int kTemporaryCme[] = {14, 30, 31, 256, 258, 259};
constexpr int kPermanentCme[] = {3, 4, 5, 6, 7, 10, 11, 12, 13, 15, 16, 17, 18,
                                 24, 25, 26, 27, 32, 257, 260, 262};

template <std::size_t N>
bool Holds(const int (&codes)[N], int code) noexcept {
    for (int c : codes)
        if (c == code) return true;
    return false;
}

}  // namespace

RefusalClass ClassOf(const at::Refusal& refusal) noexcept {
    switch (refusal.kind) {
        case at::Refusal::Kind::kCms:
            if (Holds(kTemporaryCms, refusal.code)) return RefusalClass::kTemporary;
            if (Holds(kPermanentCms, refusal.code)) return RefusalClass::kPermanent;
            return RefusalClass::kUnknown;
        case at::Refusal::Kind::kCme:
            if (Holds(kTemporaryCme, refusal.code)) return RefusalClass::kTemporary;
            if (Holds(kPermanentCme, refusal.code)) return RefusalClass::kPermanent;
            return RefusalClass::kUnknown;
        case at::Refusal::Kind::kNone:
            break;
    }
    return RefusalClass::kUnknown;
}

const char* NameOf(RefusalClass c) noexcept {
    switch (c) {
        case RefusalClass::kTemporary: return "temporary";
        case RefusalClass::kPermanent: return "permanent";
        case RefusalClass::kUnknown: break;
    }
    return "unclassified";
}

}  // namespace vantor
