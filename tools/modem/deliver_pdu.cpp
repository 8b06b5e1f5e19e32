#include "modem/deliver_pdu.h"

#include <cstdio>
#include <map>

#include "modem/gsm_charset.h"

namespace modem {
namespace {

constexpr std::uint8_t kEscape = 0x1B;

// The model's own decoding table read backwards: each code point to its
// septets, the default alphabet first (a code point in both tables keeps
// its single septet).
const std::map<char32_t, std::vector<std::uint8_t>>& GsmCodes() {
    static const std::map<char32_t, std::vector<std::uint8_t>> codes = [] {
        std::map<char32_t, std::vector<std::uint8_t>> out;
        for (std::uint8_t s = 0; s < 0x80; ++s) {
            if (s == kEscape) continue;
            out.emplace(GsmToUnicode({s})[0], std::vector<std::uint8_t>{s});
        }
        for (std::uint8_t s = 0; s < 0x80; ++s) {
            const std::u32string ext = GsmToUnicode({kEscape, s});
            // Undefined extension codes read as the main table's character.
            if (ext.size() == 1 && ext[0] != GsmToUnicode({s})[0])
                out.emplace(ext[0], std::vector<std::uint8_t>{kEscape, s});
        }
        return out;
    }();
    return codes;
}

void PutOctet(std::string& hex, unsigned v) {
    static const char kHex[] = "0123456789ABCDEF";
    hex += kHex[(v >> 4) & 15];
    hex += kHex[v & 15];
}

// Digits as semi-octets, low digit first, 'F' filling an odd count.
void PutSemiOctets(std::string& hex, std::string_view digits) {
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        hex += i + 1 < digits.size() ? digits[i + 1] : 'F';
        hex += digits[i];
    }
}

// Days since 1970-01-01 to the civil date (H. Hinnant's algorithm).
void CivilFromDays(std::int64_t z, int* y, unsigned* m, unsigned* d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int>(yoe + era * 400) + (*m <= 2);
}

// A time stamp in zone +08: 32 quarter hours, semi-octets swapped.
constexpr char kZonePlus8[] = "23";

struct Number {
    std::string digits;
    unsigned type;
};
Number NumberOf(std::string_view text) {
    if (!text.empty() && text[0] == '+') return {std::string(text.substr(1)), 0x91};
    return {std::string(text), 0x81};
}

// The SMSC field (TS 24.011 8.2.5.2): its length counts octets.
void PutServiceCentre(std::string& hex, std::string_view number) {
    const Number smsc = NumberOf(number);
    PutOctet(hex, static_cast<unsigned>(1 + (smsc.digits.size() + 1) / 2));
    PutOctet(hex, smsc.type);
    PutSemiOctets(hex, smsc.digits);
}

}  // namespace

bool UnicodeToGsm(std::u32string_view text, std::vector<std::uint8_t>* septets) {
    const auto& codes = GsmCodes();
    septets->clear();
    for (char32_t c : text) {
        const auto it = codes.find(c);
        if (it == codes.end()) return false;
        septets->insert(septets->end(), it->second.begin(), it->second.end());
    }
    return true;
}

std::string DeliverPdu(const DeliverFields& f) {
    std::string hex;
    PutServiceCentre(hex, f.smsc);

    // TP-MTI 00 (DELIVER), TP-MMS (no more messages waiting), TP-UDHI.
    PutOctet(hex, f.part ? 0x44 : 0x04);
    const Number sender = NumberOf(f.sender);
    PutOctet(hex, static_cast<unsigned>(sender.digits.size()));
    PutOctet(hex, sender.type);
    PutSemiOctets(hex, sender.digits);
    PutOctet(hex, 0x00);                                    // TP-PID
    PutOctet(hex, f.coding == Coding::kUcs2 ? 0x08 : 0x00);  // TP-DCS
    PutSemiOctets(hex, f.timestamp);
    hex += kZonePlus8;

    std::vector<std::uint8_t> header;
    if (f.part) {
        header = {0x05, 0x00, 0x03, static_cast<std::uint8_t>(f.part->reference),
                  static_cast<std::uint8_t>(f.part->total),
                  static_cast<std::uint8_t>(f.part->sequence)};
    }
    if (f.coding == Coding::kUcs2) {
        if (f.text.size() > static_cast<std::size_t>(f.part ? kPartUcs2Units : kSingleUcs2Units))
            return "";
        std::vector<std::uint8_t> body;
        for (char32_t c : f.text) {
            if (c > 0xFFFF) return "";
            body.push_back(static_cast<std::uint8_t>(c >> 8));
            body.push_back(static_cast<std::uint8_t>(c));
        }
        PutOctet(hex, static_cast<unsigned>(header.size() + body.size()));
        for (std::uint8_t b : header) PutOctet(hex, b);
        for (std::uint8_t b : body) PutOctet(hex, b);
        return hex;
    }

    std::vector<std::uint8_t> septets;
    if (!UnicodeToGsm(f.text, &septets) ||
        septets.size() > static_cast<std::size_t>(f.part ? kPartGsmSeptets : kSingleGsmSeptets))
        return "";
    // The text starts on the first septet boundary after the header
    // (TS 23.040 9.2.3.24: fill bits follow the header).
    const std::size_t headerSeptets = (header.size() * 8 + 6) / 7;
    std::vector<std::uint8_t> ud(header);
    ud.resize((( headerSeptets + septets.size()) * 7 + 7) / 8, 0);
    for (std::size_t i = 0; i < septets.size(); ++i) {
        const std::size_t bit = (headerSeptets + i) * 7;
        const unsigned v = septets[i] & 0x7Fu;
        ud[bit / 8] = static_cast<std::uint8_t>(ud[bit / 8] | (v << (bit % 8)));
        if (bit % 8 > 1) ud[bit / 8 + 1] = static_cast<std::uint8_t>(ud[bit / 8 + 1] | (v >> (8 - bit % 8)));
    }
    PutOctet(hex, static_cast<unsigned>(headerSeptets + septets.size()));
    for (std::uint8_t b : ud) PutOctet(hex, b);
    return hex;
}

std::string NetworkTime(std::uint64_t at_ms) {
    constexpr std::int64_t kStartDays = 20454;  // 2026-01-01
    const std::uint64_t seconds = at_ms / 1000;
    int y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(kStartDays + static_cast<std::int64_t>(seconds / 86400), &y, &m, &d);
    const unsigned s = static_cast<unsigned>(seconds % 86400);
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02u%02u%02u%02u%02u", y % 100, m, d, s / 3600, s / 60 % 60, s % 60);
    return text;
}

std::string StatusReportPdu(const StatusReportFields& f) {
    std::string hex;
    PutServiceCentre(hex, f.smsc);
    PutOctet(hex, f.first_octet);
    PutOctet(hex, f.reference);
    const std::string digits = !f.recipient.empty() && f.recipient[0] == '+' ? f.recipient.substr(1) : f.recipient;
    PutOctet(hex, static_cast<unsigned>(digits.size()));  // TP-RA counts semi-octets
    PutOctet(hex, f.recipient_type);
    PutSemiOctets(hex, digits);
    PutSemiOctets(hex, f.submitted);
    hex += kZonePlus8;
    PutSemiOctets(hex, f.discharged);
    hex += kZonePlus8;
    PutOctet(hex, f.status);
    return hex;
}

}  // namespace modem
