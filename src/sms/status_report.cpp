// SMS-STATUS-REPORT fields: the TS 23.040 9.2.2.3 layout after the
// service-centre address, the TS 27.005 3.4.1 text-mode +CDS line, and the
// TP-Status classes of TS 23.040 9.2.3.15.
#include "sms/status_report.h"

#include <iterator>
#include <new>

#include "sms/listing_fields.h"
#include "sms/pdu_octets.h"

namespace vantor::sms {
namespace {

using pdu::OctetReader;

// The most septets an alphanumeric address of kMaxAddressDigits semi-octets
// holds.
constexpr int kMaxAddressSeptets = kMaxAddressDigits * 4 / 7;

// A field that is a number 0..255 with nothing after it but blanks or a line
// end.
bool OctetNumber(const Field& f, int* value) noexcept {
    int v = 0;
    std::size_t k = 0;
    for (; k < f.length && f.text[k] >= '0' && f.text[k] <= '9'; ++k) {
        v = v * 10 + (f.text[k] - '0');
        if (v > 255) return false;
    }
    if (k == 0) return false;
    for (; k < f.length; ++k)
        if (f.text[k] != ' ' && f.text[k] != '\r' && f.text[k] != '\n') return false;
    *value = v;
    return true;
}

// The semi-octet value of an address character (TS 23.040 9.1.2.3), -1 for
// a character that is none.
int SemiOctetOf(char c) noexcept {
    if (c >= 'A' && c <= 'C') c = static_cast<char>(c - 'A' + 'a');
    for (int v = 0; pdu::kSemiOctet[v] != '\0'; ++v)
        if (pdu::kSemiOctet[v] == c) return v;
    return -1;
}

// <ra> in the modem's character set into the address the TPDU carried: the
// characters of an alphanumeric one packed as septets (TS 23.038 6.1.2.1.1),
// the digits of a number as semi-octets; what does not fit is dropped, and
// so is a character of a number that is no semi-octet digit.
void ReadTextRecipient(const Field& ra, const Field& tora, Address& a) noexcept {
    int type = 0;
    const bool typed = OctetNumber(tora, &type);
    if (ra.length == 0 && !typed) return;
    const bool plus = ra.length > 0 && ra.text[0] == '+';
    bool digits = true;
    for (std::size_t k = plus ? 1 : 0; k < ra.length; ++k) digits = digits && SemiOctetOf(ra.text[k]) >= 0;
    // Without <tora> a text that is no number can only be an alphanumeric
    // address; international when a '+' leads, else unknown type (the
    // defaults of TS 27.005 <toda>).
    a.type = static_cast<std::uint8_t>(typed ? type : !digits ? 0xD0 : plus ? 0x91 : 0x81);
    if (a.Alphanumeric()) {
        int n = 0;
        for (std::size_t k = 0; k < ra.length && n < kMaxAddressSeptets; ++k, ++n) {
            const unsigned septet = static_cast<unsigned char>(ra.text[k]) & 0x7Fu;
            const std::size_t bit = 7u * static_cast<std::size_t>(n);
            const unsigned shift = bit % 8;
            a.octets[bit / 8] = static_cast<std::uint8_t>(a.octets[bit / 8] | septet << shift);
            if (shift > 1)
                a.octets[bit / 8 + 1] = static_cast<std::uint8_t>(a.octets[bit / 8 + 1] | septet >> (8 - shift));
        }
        a.length = static_cast<std::uint8_t>((7 * n + 3) / 4);
        return;
    }
    int n = 0;
    for (std::size_t k = plus ? 1 : 0; k < ra.length && n < kMaxAddressDigits; ++k) {
        const int v = SemiOctetOf(ra.text[k]);
        if (v < 0) continue;
        a.octets[n / 2] = static_cast<std::uint8_t>(a.octets[n / 2] | (n % 2 ? v << 4 : v));
        ++n;
    }
    if (n % 2) a.octets[n / 2] = static_cast<std::uint8_t>(a.octets[n / 2] | 0xF0);
    a.length = static_cast<std::uint8_t>(n);
}

// TS 23.040 9.2.3.15: bits 6 and 5 of TP-Status give the class; in each
// class of 32 values the first `defined` have a meaning, the values from
// 0x10 on are specific to each service centre, those between are reserved.
constexpr const char* kCompleted[] = {
    "received by the phone",
    "forwarded to the phone, delivery not confirmed",
    "replaced by the service centre",
};
constexpr const char* kTemporary[] = {
    "congestion",
    "phone busy",
    "no response from the phone",
    "service rejected",
    "quality of service not available",
    "error in the phone",
};
constexpr const char* kPermanent[] = {
    "remote procedure error",
    "incompatible destination",
    "connection rejected by the phone",
    "not obtainable",
    "quality of service not available",
    "no interworking available",
    "validity period expired",
    "deleted by the sender",
    "deleted by the service centre's administration",
    "the message does not exist",
};

struct StatusClass {
    const char* const* meanings;
    int defined;
    Delivery delivery;
};
constexpr StatusClass kClasses[] = {
    {kCompleted, static_cast<int>(std::size(kCompleted)), Delivery::kDelivered},
    {kTemporary, static_cast<int>(std::size(kTemporary)), Delivery::kStillTrying},  // SC still trying
    {kPermanent, static_cast<int>(std::size(kPermanent)), Delivery::kFailed},
    {kTemporary, static_cast<int>(std::size(kTemporary)), Delivery::kFailed},  // no more tries
};
constexpr int kFirstScSpecific = 0x10;

// "The MS shall interpret any reserved values as 'Service Rejected'
// (01100011)": a temporary error the service centre tries no more.
constexpr int kReservedTakenAs = 0x63;

bool Reserved(int status) noexcept {
    if (status < 0 || status > 0x7F) return true;
    const int within = status & 0x1F;
    return within >= kClasses[status >> 5].defined && within < kFirstScSpecific;
}

}  // namespace

StatusReportRead ParseStatusReport(const char* hex, std::size_t length, StatusReport* out) noexcept {
    StatusReport& s = *::new (static_cast<void*>(out)) StatusReport;
    OctetReader r(hex, length);
    std::uint8_t sca = 0;  // the service-centre address, passed over
    if (!r.Read(sca) || !r.Skip(sca) || !r.Read(s.firstOctet)) return StatusReportRead::kCut;
    if ((s.firstOctet & 0x03) != 0x02) return StatusReportRead::kNotAReport;
    std::uint8_t reference = 0;
    if (!r.Read(reference)) return StatusReportRead::kCut;
    s.reference = reference;
    Address recipient;
    if (!r.Read(recipient.length)) return StatusReportRead::kCut;
    if (recipient.length > kMaxAddressDigits) return StatusReportRead::kOverlongAddress;
    if (!pdu::ReadAddress(r, recipient)) return StatusReportRead::kCut;
    s.recipient = recipient;
    if (!pdu::ReadTimeStamp(r, s.submitted) || !pdu::ReadTimeStamp(r, s.discharged))
        return StatusReportRead::kCut;
    std::uint8_t status = 0;
    if (!r.Read(status)) return StatusReportRead::kCut;
    s.status = status;
    return StatusReportRead::kWhole;
}

bool ReadTextStatusReport(const char* fields, const char* end, StatusReport* out) noexcept {
    StatusReport& s = *::new (static_cast<void*>(out)) StatusReport;
    if (fields == nullptr || end <= fields) return false;
    Field f[7];
    if (SplitFields(fields, end, f, 7) != 7) return false;
    int first = 0;
    int reference = 0;
    int status = 0;
    if (!OctetNumber(f[0], &first) || (first & 0x03) != 0x02 || !OctetNumber(f[1], &reference) ||
        !OctetNumber(f[6], &status))
        return false;
    s.firstOctet = static_cast<std::uint8_t>(first);
    s.reference = reference;
    s.status = status;
    ReadTextRecipient(f[2], f[3], s.recipient);
    ReadTextStamp(f[4], s.submitted);
    ReadTextStamp(f[5], s.discharged);
    return true;
}

Delivery DeliveryOf(int status) noexcept {
    if (Reserved(status)) status = kReservedTakenAs;
    return kClasses[status >> 5].delivery;
}

const char* StatusMeaning(int status) noexcept {
    if (status < 0 || status > 0x7F) return nullptr;
    const StatusClass& c = kClasses[status >> 5];
    const int within = status & 0x1F;
    return within < c.defined ? c.meanings[within] : nullptr;
}

}  // namespace vantor::sms
