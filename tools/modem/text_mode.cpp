#include "modem/text_mode.h"

#include <cctype>

#include "modem/gsm_charset.h"

namespace modem {
namespace {

// The status names of text mode, by the numeric <stat> of PDU mode.
const char* const kStatNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};

}  // namespace

int StatOfName(const std::string& name) {
    for (int i = 0; i < 5; ++i) {
        if (name == kStatNames[i]) return i;
    }
    return -1;
}

std::string TeString(const Settings& settings, const std::string& text) {
    if (settings.cscs != "UCS2") return text;
    std::u32string wide(text.begin(), text.end());
    return ToUcs2Hex(wide);
}

std::string FromTeString(const Settings& settings, const std::string& text) {
    if (settings.cscs != "UCS2") return text;
    std::vector<std::uint8_t> octets;
    if (!HexToBytes(text, &octets)) return text;
    return ToUtf8(Ucs2ToUnicode(octets));
}

std::string TextHeader(const Settings& settings, const StoredMessage& m, const Pdu& pdu, bool listing) {
    std::string head = listing ? "+CMGL: " + std::to_string(m.index) + "," : "+CMGR: ";
    head += "\"" + std::string(kStatNames[m.read ? 1 : 0]) + "\",\"" + TeString(settings, pdu.address.Display()) +
            "\",,\"" + pdu.timestamp + "\"";
    if (settings.csdh) {
        std::size_t length = pdu.coding == Coding::kGsm7 && !pdu.HasHeader() ? pdu.septets.size()
                                                                             : pdu.user_data.size();
        head += "," + std::to_string(pdu.address.type);
        if (!listing) {
            head += "," + std::to_string(pdu.first_octet) + "," + std::to_string(pdu.pid) + "," +
                    std::to_string(pdu.dcs) + ",\"" + TeString(settings, pdu.smsc.Display()) + "\"," +
                    std::to_string(pdu.smsc.type);
        }
        head += "," + std::to_string(length);
    }
    return head;
}

std::string TextBody(const Settings& settings, const Pdu& pdu) {
    // TS 27.005 3.1 <data>: default-alphabet text is converted into the TE
    // character set; 8-bit, UCS-2 and bodies with a header come as hex.
    if (pdu.coding == Coding::kGsm7 && !pdu.HasHeader()) {
        if (settings.cscs == "UCS2") return ToUcs2Hex(GsmToUnicode(pdu.septets));
        return std::string(pdu.septets.begin(), pdu.septets.end());
    }
    return BytesToHex(pdu.user_data.data(), pdu.user_data.size());
}

std::vector<std::uint8_t> TypedSeptets(const std::string& entered) {
    // Each byte is a default-alphabet code, and the top bit of 8-bit input is
    // dropped. A backslash and two hex digits stand for the code they give
    // (TC35 manual 1.5, Table 4), so that '@' (0) and codes that mean another
    // character in ASCII can be typed.
    std::vector<std::uint8_t> septets;
    for (std::size_t i = 0; i < entered.size(); ++i) {
        int septet = 0;
        if (entered[i] == '\\' && i + 2 < entered.size() &&
            std::isxdigit(static_cast<unsigned char>(entered[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(entered[i + 2]))) {
            septet = std::stoi(entered.substr(i + 1, 2), nullptr, 16);
            i += 2;
        } else {
            septet = static_cast<unsigned char>(entered[i]);
        }
        septets.push_back(static_cast<std::uint8_t>(septet & 0x7F));
    }
    return septets;
}

}  // namespace modem
