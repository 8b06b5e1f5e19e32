// The AT commands the model answers, after the TC35 AT command manual:
// V.25ter basics, identification, and the TS 27.005 SMS commands.
#include <cctype>
#include <cstdio>

#include "modem/at_syntax.h"
#include "modem/gsm_charset.h"
#include "modem/modem_model.h"

namespace modem {
namespace {

const char* const kManufacturer = "SIEMENS";
const char* const kModel = "TC35";
const char* const kRevision = "REVISION 04.00";
const char* const kImei = "351234567890128";
const char* const kImsi = "460001234567890";

bool IsQuery(const std::string& args) { return args == "?"; }
bool IsTest(const std::string& args) { return args == "=?"; }
bool IsSet(const std::string& args) { return !args.empty() && args[0] == '=' && args != "=?"; }

// The status names of text mode, by the numeric <stat> of PDU mode.
const char* const kStatNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};

int StatOfName(const std::string& name) {
    for (int i = 0; i < 5; ++i) {
        if (name == kStatNames[i]) return i;
    }
    return -1;
}

std::string Lines(const std::vector<std::string>& lines, bool verbose) {
    std::string out = verbose ? "\r\n" : "";
    for (const std::string& line : lines) out += line + "\r\n";
    return out;
}

}  // namespace

int Tc35Model::SimBlocked() const {
    switch (radio_.sim) {
        case SimState::kReady: return 0;
        case SimState::kPinNeeded: return 11;
        case SimState::kPukNeeded: return 12;
        case SimState::kAbsent: return 10;
    }
    return 0;
}

std::string Tc35Model::TeString(const std::string& text) const {
    if (settings_.cscs != "UCS2") return text;
    std::u32string wide(text.begin(), text.end());
    return ToUcs2Hex(wide);
}

std::string Tc35Model::FromTeString(const std::string& text) const {
    if (settings_.cscs != "UCS2") return text;
    std::vector<std::uint8_t> octets;
    if (!HexToBytes(text, &octets)) return text;
    return ToUtf8(Ucs2ToUnicode(octets));
}

bool Tc35Model::RunCommand(const std::string& name, const std::string& args, Reply& reply) {
    auto info = [&](const std::vector<std::string>& lines) {
        reply.info += Lines(lines, settings_.verbose);
        return true;
    };
    auto error = [&]() {
        reply.error = true;
        return false;
    };
    auto cms = [&](int code) {
        reply.error = true;
        reply.cms = code;
        return false;
    };
    auto cme = [&](int code) {
        reply.error = true;
        reply.cme = code;
        return false;
    };
    std::vector<std::string> params = IsSet(args) ? SplitParams(args.substr(1)) : std::vector<std::string>{};
    int n = 0;

    // --- V.25ter basic commands ---
    if (name == "AT") return true;
    if (name == "E" || name == "V" || name == "Q") {
        if (args.empty() || args == "0" || args == "1") {
            bool on = args == "1";
            if (name == "E") settings_.echo = on;
            if (name == "V") settings_.verbose = on;
            if (name == "Q") settings_.quiet = on;
            return true;
        }
        return error();
    }
    if (name == "Z" || name == "&F") {
        if (!args.empty() && args != "0") return error();
        FactoryReset();
        return true;
    }
    if (name == "I") {
        if (args.empty()) return info({kManufacturer, kModel, kRevision});
        return true;  // ATI<n>: no further information, just OK
    }
    if (name == "&W" || name == "&C" || name == "&D" || name == "&S" || name == "H" || name == "L" ||
        name == "M" || name == "X" || name == "P" || name == "T") {
        return true;
    }
    if (name == "S") {
        // S-registers: the line editing characters are fixed at their defaults.
        std::size_t mark = args.find_first_of("?=");
        int reg = 0;
        if (mark == std::string::npos || !ParseInt(args.substr(0, mark), &reg)) return error();
        if (args[mark] == '?') {
            int value = reg == 3 ? 13 : reg == 4 ? 10 : reg == 5 ? 8 : 0;
            char text[8];
            std::snprintf(text, sizeof text, "%03d", value);
            return info({text});
        }
        return true;
    }

    // Commands that need the SIM PIN (the manual's summary of PIN-requiring
    // commands) fail while the SIM is not ready, as +CME ERROR even for the
    // SMS commands of TS 27.005.
    static const char* const kNeedPin[] = {"+CIMI", "+CMGD", "+CMGL", "+CMGR", "+CMGS", "+CNMI",
                                           "+CPMS", "+CSCA", "+CSDH", "+CSMP", "+CSMS"};
    for (const char* pin_command : kNeedPin) {
        if (name == pin_command && SimBlocked() != 0) return cme(SimBlocked());
    }

    // --- identification (TS 27.007 clause 5) ---
    if (name == "+CGMI" || name == "+GMI" || name == "+CGMM" || name == "+GMM" || name == "+CGMR" ||
        name == "+GMR" || name == "+CGSN" || name == "+GSN" || name == "+CIMI") {
        if (IsTest(args)) return true;
        if (!args.empty()) return error();
        if (name == "+CGMI" || name == "+GMI") return info({kManufacturer});
        if (name == "+CGMM" || name == "+GMM") return info({kModel});
        if (name == "+CGMR" || name == "+GMR") return info({kRevision});
        if (name == "+CIMI") return info({kImsi});
        return info({kImei});
    }
    if (name == "+CMEE") {
        if (IsTest(args)) return info({"+CMEE: (0-2)"});
        if (IsQuery(args)) return info({"+CMEE: " + std::to_string(settings_.cmee)});
        if (IsSet(args) && params.size() == 1 && ParseInt(params[0], &n) && n <= 2) {
            settings_.cmee = n;
            return true;
        }
        return error();
    }
    if (name == "+CSCS") {
        if (IsTest(args)) return info({"+CSCS: (\"GSM\",\"UCS2\")"});
        if (IsQuery(args)) return info({"+CSCS: \"" + settings_.cscs + "\""});
        std::string set;
        if (IsSet(args) && params.size() == 1 && Unquote(params[0], &set)) {
            if (set != "GSM" && set != "UCS2") return cme(4);
            settings_.cscs = set;
            return true;
        }
        return error();
    }
    if (name == "+CPIN") {
        if (IsTest(args)) return true;
        if (IsQuery(args)) {
            switch (radio_.sim) {
                case SimState::kReady: return info({"+CPIN: READY"});
                case SimState::kPinNeeded: return info({"+CPIN: SIM PIN"});
                case SimState::kPukNeeded: return info({"+CPIN: SIM PUK"});
                case SimState::kAbsent: return cme(10);
            }
        }
        // Entering a PIN is not modelled: no request is pending as far as the
        // model knows ("operation not allowed", as the manual says for that).
        return cme(3);
    }
    if (name == "+CFUN") {
        // Power levels are not modelled: the engine stays at full function.
        if (IsTest(args)) return info({"+CFUN: (0,1,5-8),(0,1)"});
        if (IsQuery(args)) return info({"+CFUN: 1"});
        if (IsSet(args) && params.size() <= 2 && (params[0].empty() || ParseInt(params[0], &n)) &&
            (n <= 1 || (n >= 5 && n <= 8))) {
            return true;
        }
        return cme(4);
    }
    if (name == "+CSQ") {
        if (IsTest(args)) return info({"+CSQ: (0-31,99),(0-7,99)"});
        if (args.empty()) return info({"+CSQ: " + std::to_string(radio_.rssi) + "," + std::to_string(radio_.ber)});
        return error();
    }
    if (name == "+CREG") {
        if (IsQuery(args)) {
            // Without a ready SIM the modem does not try to register.
            int stat = SimBlocked() != 0 ? 0 : radio_.registration;
            std::string line = "+CREG: " + std::to_string(settings_.creg_n) + "," + std::to_string(stat);
            // Location and cell only with <n> 2 and when registered.
            if (settings_.creg_n == 2 && (stat == 1 || stat == 5)) line += ",\"00C3\",\"291A\"";
            return info({line});
        }
        if (IsTest(args)) return info({"+CREG: (0-2)"});
        if (IsSet(args) && params.size() == 1) {
            if (params[0].empty()) n = 0;
            else if (!ParseInt(params[0], &n) || n > 2) return cme(4);
            settings_.creg_n = n;
            return true;
        }
        return error();
    }

    // --- SMS (TS 27.005 clause 3) ---
    if (name == "+CSMS") {
        if (IsTest(args)) return info({"+CSMS: (0,1)"});
        if (IsQuery(args)) return info({"+CSMS: 0,1,1,1"});
        if (IsSet(args) && params.size() == 1 && ParseInt(params[0], &n) && n <= 1) return info({"+CSMS: 1,1,1"});
        return error();
    }
    if (name == "+CPMS") {
        std::string used = std::to_string(store_.size()) + "," + std::to_string(capacity_);
        if (IsTest(args)) return info({"+CPMS: (\"SM\"),(\"SM\"),(\"SM\")"});
        if (IsQuery(args)) {
            return info({"+CPMS: \"SM\"," + used + ",\"SM\"," + used + ",\"SM\"," + used});
        }
        if (IsSet(args) && params.size() <= 3) {
            for (const std::string& p : params) {
                std::string mem;
                if (!Unquote(p, &mem)) return error();
                if (mem != "SM") return cms(302);
            }
            return info({"+CPMS: " + used + "," + used + "," + used});
        }
        return error();
    }
    if (name == "+CNMI") {
        if (IsTest(args)) return info({"+CNMI: (0-3),(0-3),(0,2,3),(0-2),(1)"});
        if (IsQuery(args)) {
            const int* c = settings_.cnmi;
            char text[48];
            std::snprintf(text, sizeof text, "+CNMI: %d,%d,%d,%d,%d", c[0], c[1], c[2], c[3], c[4]);
            return info({text});
        }
        if (IsSet(args) && params.size() <= 5) {
            static const int kMax[5] = {3, 3, 3, 2, 1};
            int values[5];
            std::copy(settings_.cnmi, settings_.cnmi + 5, values);
            for (std::size_t i = 0; i < params.size(); ++i) {
                if (params[i].empty()) continue;
                if (!ParseInt(params[i], &values[i]) || values[i] > kMax[i]) return cms(303);
            }
            std::copy(values, values + 5, settings_.cnmi);
            return true;
        }
        return error();
    }
    if (name == "+CMGF") {
        if (IsTest(args)) return info({"+CMGF: (0,1)"});
        if (IsQuery(args)) return info({"+CMGF: " + std::to_string(settings_.cmgf)});
        if (IsSet(args) && params.size() == 1) {
            if (params[0].empty()) n = 0;
            else if (!ParseInt(params[0], &n) || n > 1) return cms(303);
            settings_.cmgf = n;
            return true;
        }
        return error();
    }
    if (name == "+CSDH") {
        if (IsTest(args)) return info({"+CSDH: (0,1)"});
        if (IsQuery(args)) return info({std::string("+CSDH: ") + (settings_.csdh ? "1" : "0")});
        if (IsSet(args) && params.size() == 1 && ParseInt(params[0], &n) && n <= 1) {
            settings_.csdh = n == 1;
            return true;
        }
        return error();
    }
    if (name == "+CSMP") {
        if (IsQuery(args)) {
            const int* c = settings_.csmp;
            return info({"+CSMP: " + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," +
                         std::to_string(c[2]) + "," + std::to_string(c[3])});
        }
        if (IsTest(args)) return true;
        if (IsSet(args) && params.size() <= 4) {
            int values[4];
            std::copy(settings_.csmp, settings_.csmp + 4, values);
            for (std::size_t i = 0; i < params.size(); ++i) {
                if (params[i].empty()) continue;
                if (!ParseInt(params[i], &values[i]) || values[i] > 255) return cms(305);
            }
            std::copy(values, values + 4, settings_.csmp);
            return true;
        }
        return error();
    }
    if (name == "+CSCA") {
        if (IsTest(args)) return true;
        if (IsQuery(args)) {
            return info({"+CSCA: \"" + TeString(settings_.csca) + "\"," + std::to_string(settings_.tosca)});
        }
        if (args == "=") {  // no parameter: the address is deleted
            settings_.csca.clear();
            settings_.tosca = 129;
            return true;
        }
        std::string number;
        if (IsSet(args) && params.size() <= 2 && Unquote(params[0], &number)) {
            number = FromTeString(number);
            if (number.size() > 20) return cms(304);
            int type = !number.empty() && number[0] == '+' ? 145 : 129;
            if (params.size() == 2 && (!ParseInt(params[1], &type) || type > 255)) return cms(304);
            settings_.csca = number;
            settings_.tosca = type;
            return true;
        }
        return error();
    }
    if (name == "+CMGL") {
        if (IsTest(args)) {
            if (settings_.cmgf == 0) return info({"+CMGL: (0-4)"});
            return info({"+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")"});
        }
        if (!args.empty() && !IsSet(args)) return error();
        int stat = 0;  // without a parameter: the unread messages
        if (IsSet(args)) {
            if (params.size() != 1) return error();
            std::string text;
            if (settings_.cmgf == 0) {
                if (!ParseInt(params[0], &stat) || stat > 4) return cms(304);
            } else if (!Unquote(params[0], &text) || (stat = StatOfName(text)) < 0) {
                return cms(305);
            }
        }
        reply.info += Listing(stat);
        return true;
    }
    if (name == "+CMGR") {
        if (IsTest(args)) return true;
        if (!IsSet(args) || params.size() != 1 || !ParseInt(params[0], &n)) return error();
        if (n < 1 || n > capacity_) return cms(321);
        auto it = store_.find(n);
        if (it == store_.end()) {
            if (settings_.cmgf == 0) return info({"+CMGR: 0,,0"});
            return true;
        }
        StoredMessage& m = it->second;
        int stat = m.read ? 1 : 0;
        m.read = true;  // reading marks a received message read
        if (settings_.cmgf == 0) {
            std::size_t length = m.pdu.size() / 2 - 1 - std::stoul(m.pdu.substr(0, 2), nullptr, 16);
            return info({"+CMGR: " + std::to_string(stat) + ",," + std::to_string(length), m.pdu});
        }
        auto pdu = DecodePdu(m.pdu);
        if (!pdu) return cms(500);
        StoredMessage shown = m;
        shown.read = stat == 1;
        return info({TextHeader(shown, *pdu, false), TextBody(*pdu)});
    }
    if (name == "+CMGD") {
        if (IsTest(args)) return true;
        if (!IsSet(args) || params.size() != 1 || !ParseInt(params[0], &n)) return error();
        if (n < 1 || n > capacity_) return cms(321);
        store_.erase(n);  // an empty slot is deleted with OK as well
        return true;
    }
    if (name == "+CMGS") {
        if (IsTest(args)) return true;
        if (!IsSet(args)) return error();
        if (settings_.cmgf == 0) {
            if (params.size() != 1 || !ParseInt(params[0], &n)) return error();
            if (n < 7 || n > 164) return cms(304);  // shortest SUBMIT .. 140 octets of user data
            cmgs_length_ = n;
            input_ = Input::kPdu;
        } else {
            std::string number;
            if (params.size() > 2 || !Unquote(params[0], &number)) return cms(305);
            number = FromTeString(number);
            int type = !number.empty() && number[0] == '+' ? 145 : 129;
            if (params.size() == 2 && (!ParseInt(params[1], &type) || type > 255)) return cms(305);
            if (number.empty() || number.size() > 20) return cms(305);
            cmgs_number_ = number;
            cmgs_toda_ = type;
            input_ = Input::kText;
        }
        body_.clear();
        muted_input_ = faults_.silent_after_prompt;
        reply.prompt = true;
        return true;
    }
    return error();
}

std::string Tc35Model::TextHeader(const StoredMessage& m, const Pdu& pdu, bool listing) const {
    std::string head = listing ? "+CMGL: " + std::to_string(m.index) + "," : "+CMGR: ";
    head += "\"" + std::string(kStatNames[m.read ? 1 : 0]) + "\",\"" + TeString(pdu.address.Display()) +
            "\",,\"" + pdu.timestamp + "\"";
    if (settings_.csdh) {
        std::size_t length = pdu.coding == Coding::kGsm7 && !pdu.HasHeader() ? pdu.septets.size()
                                                                             : pdu.user_data.size();
        head += "," + std::to_string(pdu.address.type);
        if (!listing) {
            head += "," + std::to_string(pdu.first_octet) + "," + std::to_string(pdu.pid) + "," +
                    std::to_string(pdu.dcs) + ",\"" + TeString(pdu.smsc.Display()) + "\"," +
                    std::to_string(pdu.smsc.type);
        }
        head += "," + std::to_string(length);
    }
    return head;
}

std::string Tc35Model::TextBody(const Pdu& pdu) const {
    // TS 27.005 3.1 <data>: default-alphabet text is converted into the TE
    // character set; 8-bit, UCS-2 and bodies with a header come as hex.
    if (pdu.coding == Coding::kGsm7 && !pdu.HasHeader()) {
        if (settings_.cscs == "UCS2") return ToUcs2Hex(GsmToUnicode(pdu.septets));
        return std::string(pdu.septets.begin(), pdu.septets.end());
    }
    return BytesToHex(pdu.user_data.data(), pdu.user_data.size());
}

std::string Tc35Model::Listing(int stat) {
    std::vector<int> listed;
    std::vector<std::string> lines;
    for (auto& [index, m] : store_) {
        int status = m.read ? 1 : 0;
        if (stat != 4 && stat != status) continue;
        if (settings_.cmgf == 0) {
            std::size_t smsc = std::stoul(m.pdu.substr(0, 2), nullptr, 16);
            std::size_t length = m.pdu.size() / 2 - 1 - smsc;
            lines.push_back("+CMGL: " + std::to_string(index) + "," + std::to_string(status) + ",," +
                            std::to_string(length));
            lines.push_back(m.pdu);
        } else {
            auto pdu = DecodePdu(m.pdu);
            if (!pdu) continue;  // not a message text mode can show
            lines.push_back(TextHeader(m, *pdu, true));
            lines.push_back(TextBody(*pdu));
        }
        listed.push_back(index);
    }
    // Listed unread messages are read now (TS 27.005 3.4.2).
    for (int index : listed) store_[index].read = true;
    if (!faults_.arrive_during_listing.empty()) {
        std::string pdu;
        pdu.swap(faults_.arrive_during_listing);
        int index = AddMessage(pdu, false);
        // The indication waits until the listing has ended.
        if (index > 0 && settings_.cnmi[1] == 1) {
            pending_urcs_.push_back("\r\n+CMTI: \"SM\"," + std::to_string(index) + "\r\n");
        }
    }
    if (lines.empty()) return "";
    return Lines(lines, settings_.verbose);
}

void Tc35Model::Submit(const std::string& body, std::uint64_t now) {
    Reply reply;
    int code = 0;
    if (TakeFailure("CMGS", false, &code)) {
        reply.error = reply.forced = true;
        reply.cms = code;
        Answer(ErrorText(reply), now);
        return;
    }
    SentMessage sent;
    std::optional<Pdu> submitted;
    sent.at_ms = now;
    sent.text_mode = input_ == Input::kText;
    reply.error = true;
    if (!sent.text_mode) {
        reply.cms = 304;
        std::vector<std::uint8_t> octets;
        if (!HexToBytes(body, &octets) || octets.empty() || octets.size() != 1u + octets[0] + cmgs_length_) {
            Answer(ErrorText(reply), now);  // the length given with AT+CMGS does not fit
            return;
        }
        auto pdu = DecodePdu(body);
        if (!pdu || !pdu->submit) {
            Answer(ErrorText(reply), now);
            return;
        }
        if (pdu->smsc_octets == 1 && settings_.csca.empty()) {
            reply.cms = 330;
            Answer(ErrorText(reply), now);
            return;
        }
        sent.number = pdu->address.Display();
        sent.type_of_address = pdu->address.type;
        sent.coding = pdu->coding;
        sent.text = pdu->text;
        sent.pdu = body;
        for (char& c : sent.pdu) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        submitted = std::move(pdu);
    } else {
        reply.cms = 305;
        sent.number = cmgs_number_;
        sent.type_of_address = cmgs_toda_;
        sent.coding = CodingOfDcs(static_cast<std::uint8_t>(settings_.csmp[3]));
        std::string entered = body;
        if (sent.coding == Coding::kGsm7) {
            std::u32string text;
            if (settings_.cscs == "UCS2") {
                std::vector<std::uint8_t> octets;
                if (!HexToBytes(entered, &octets)) return Answer(ErrorText(reply), now);
                text = Ucs2ToUnicode(octets);
            } else {
                // With the GSM character set each byte is a default-alphabet
                // code; the top bit of 8-bit input is dropped. A backslash and
                // two hex digits stand for the code they give (TC35 manual
                // 1.5, Table 4), so that '@' (0) and codes that mean another
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
                text = GsmToUnicode(septets);
                if (septets.size() > 160) return Answer(ErrorText(reply), now);
            }
            if (text.size() > 160) return Answer(ErrorText(reply), now);
            sent.text = ToUtf8(text);
        } else {
            std::vector<std::uint8_t> octets;
            if (!HexToBytes(entered, &octets) || octets.size() > 140) return Answer(ErrorText(reply), now);
            sent.text = sent.coding == Coding::kUcs2 ? ToUtf8(Ucs2ToUnicode(octets))
                                                     : BytesToHex(octets.data(), octets.size());
        }
        if (settings_.csca.empty()) {
            reply.cms = 330;
            return Answer(ErrorText(reply), now);
        }
    }
    if (faults_.bare_ok_on_send) {
        // Some firmware refuses a message with a bare OK and no +CMGS line.
        Answer(OkText(), now, faults_.send_result_delay_ms);
        return;
    }
    sent.reference = next_reference_;
    next_reference_ = (next_reference_ + 1) % 256;
    const int reference = sent.reference;
    RecordSent(std::move(sent), submitted ? &*submitted : nullptr);
    Answer(InfoText({"+CMGS: " + std::to_string(reference)}) + OkText(), now,
           faults_.send_result_delay_ms);
}

void Tc35Model::RecordSent(SentMessage sent, const Pdu* pdu) {
    const std::optional<Concatenation> concat = pdu ? FindConcatenation(*pdu) : std::nullopt;
    if (!concat || concat->total < 2) {
        sent_.push_back(std::move(sent));
        return;
    }
    sent.parts = concat->total;
    sent.concat_reference = concat->reference;
    sent.sequence = concat->sequence;
    sent_parts_.push_back(sent);
    const auto key = std::make_tuple(sent.number, concat->reference, concat->total);
    auto& parts = partial_[key];
    // A part heard again before its message is complete replaces the first.
    parts[concat->sequence] = PendingPart{std::move(sent), *pdu};
    if (static_cast<int>(parts.size()) < concat->total) return;

    // All parts are in: one message, its text joined before decoding, so an
    // escape pair or a surrogate pair split by a careless sender still reads.
    SentMessage whole = parts.rbegin()->second.sent;
    whole.sequence = 0;
    whole.pdu.clear();
    std::vector<std::uint8_t> septets, octets;
    for (const auto& [sequence, part] : parts) {
        whole.pdu += (whole.pdu.empty() ? "" : ",") + part.sent.pdu;
        septets.insert(septets.end(), part.pdu.septets.begin(), part.pdu.septets.end());
        const std::vector<std::uint8_t> body = BodyOctets(part.pdu);
        octets.insert(octets.end(), body.begin(), body.end());
        if (part.sent.at_ms > whole.at_ms) {
            whole.at_ms = part.sent.at_ms;
            whole.reference = part.sent.reference;
        }
    }
    // The coding of the first part stands for the message.
    whole.coding = parts.begin()->second.sent.coding;
    if (whole.coding == Coding::kGsm7) whole.text = ToUtf8(GsmToUnicode(septets));
    else if (whole.coding == Coding::kUcs2) whole.text = ToUtf8(Ucs2ToUnicode(octets));
    else whole.text = BytesToHex(octets.data(), octets.size());
    partial_.erase(key);
    sent_.push_back(std::move(whole));
}

}  // namespace modem
