// One +CDS line of arbitrary bytes through the status report readers: the
// first byte picks PDU mode (bit 0 clear) or text mode (set), the rest is the
// line, in a buffer of exactly its size. Nothing is read past the line; the
// reference and the status are an octet or -1; the recipient's digits and
// septets stay within an address; a whole report has a status, and a line
// that is no report leaves no field set. A PDU line reads alike with more
// octets after TP-ST.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "sms/status_report.h"

namespace {

using vantor::sms::StatusReport;
using vantor::sms::StatusReportRead;

bool OctetOrNone(int v) { return v >= -1 && v <= 255; }

void CheckStamp(const vantor::sms::TimeStamp& t) {
    FUZZ_CHECK(t.octets >= 0 && t.octets <= 6);
    FUZZ_CHECK(t.zone > -10000 && t.zone < 10000);
    if (!t.hasZone) FUZZ_CHECK(t.zone == 0);
}

void CheckFields(const StatusReport& r) {
    FUZZ_CHECK(OctetOrNone(r.reference));
    FUZZ_CHECK(OctetOrNone(r.status));
    FUZZ_CHECK(r.recipient.length <= vantor::sms::kMaxAddressDigits);
    char digits[vantor::sms::kMaxAddressDigits + 1];
    std::memset(digits, 'Z', sizeof digits);
    const int n = vantor::sms::AddressDigits(r.recipient, digits);
    FUZZ_CHECK(n >= 0 && n <= r.recipient.length && digits[n] == '\0');
    for (int k = 0; k < n; ++k) FUZZ_CHECK(std::strchr("0123456789*#abc", digits[k]) != nullptr);
    std::uint8_t septets[vantor::sms::kMaxAddressDigits];
    const int s = vantor::sms::AddressSeptets(r.recipient, septets);
    FUZZ_CHECK(s >= 0 && s <= r.recipient.length * 4 / 7);
    for (int k = 0; k < s; ++k) FUZZ_CHECK(septets[k] < 0x80);
    CheckStamp(r.submitted);
    CheckStamp(r.discharged);
    // Every status has a class; a meaning, where there is one, is a text.
    const vantor::sms::Delivery d = vantor::sms::DeliveryOf(r.status);
    FUZZ_CHECK(d == vantor::sms::Delivery::kDelivered || d == vantor::sms::Delivery::kStillTrying ||
               d == vantor::sms::Delivery::kFailed);
    if (const char* meaning = vantor::sms::StatusMeaning(r.status)) FUZZ_CHECK(meaning[0] != '\0');
}

void CheckNothingSet(const StatusReport& r) {
    FUZZ_CHECK(r.reference == -1 && r.status == -1);
    FUZZ_CHECK(r.recipient.length == 0 && r.submitted.octets == 0 && r.discharged.octets == 0);
}

// The line in a buffer of exactly its size (no terminator).
std::unique_ptr<char[]> Exact(const std::string& line) {
    std::unique_ptr<char[]> copy(new char[line.size() ? line.size() : 1]);
    if (!line.empty()) std::memcpy(copy.get(), line.data(), line.size());
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool text = (in.Byte() & 1) != 0;
    const std::string line = in.Rest();
    const std::unique_ptr<char[]> exact = Exact(line);

    StatusReport r;
    r.reference = 300;  // a stale value each reader must clear
    r.status = 300;
    if (text) {
        if (vantor::sms::ReadTextStatusReport(exact.get(), exact.get() + line.size(), &r)) {
            FUZZ_CHECK((r.firstOctet & 0x03) == 0x02);
            FUZZ_CHECK(r.reference >= 0 && r.status >= 0);
        } else {
            CheckNothingSet(r);
        }
        CheckFields(r);
        return 0;
    }

    const StatusReportRead read = vantor::sms::ParseStatusReport(exact.get(), line.size(), &r);
    CheckFields(r);
    switch (read) {
        case StatusReportRead::kWhole: {
            FUZZ_CHECK((r.firstOctet & 0x03) == 0x02);
            FUZZ_CHECK(r.reference >= 0 && r.status >= 0);
            FUZZ_CHECK(r.submitted.octets == 6 && r.submitted.hasZone);
            FUZZ_CHECK(r.discharged.octets == 6 && r.discharged.hasZone);
            // What follows TP-ST is not read: more octets change nothing.
            const std::string longer = line + "00";
            const std::unique_ptr<char[]> more = Exact(longer);
            StatusReport again;
            FUZZ_CHECK(vantor::sms::ParseStatusReport(more.get(), longer.size(), &again) == StatusReportRead::kWhole);
            FUZZ_CHECK(again.reference == r.reference && again.status == r.status);
            FUZZ_CHECK(std::memcmp(&again.recipient, &r.recipient, sizeof r.recipient) == 0);
            break;
        }
        case StatusReportRead::kNotAReport:
            FUZZ_CHECK((r.firstOctet & 0x03) != 0x02);
            CheckNothingSet(r);
            break;
        case StatusReportRead::kCut:
            FUZZ_CHECK(r.status == -1);
            break;
        case StatusReportRead::kOverlongAddress:
            FUZZ_CHECK(r.reference >= 0 && r.status == -1 && r.recipient.length == 0);
            break;
        default:
            FUZZ_CHECK(!"a result the reader does not name");
    }
    return 0;
}
