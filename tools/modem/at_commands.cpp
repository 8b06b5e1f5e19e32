// The AT commands the model answers, after the TC35 AT command manual:
// V.25ter basics, identification and status (3GPP TS 27.007), and the SMS
// commands of 3GPP TS 27.005. Each form of a command has one small handler;
// the table near the end of the file maps a command's name and form to its
// handler, and RunCommand looks it up.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "modem/at_syntax.h"
#include "modem/gsm_charset.h"
#include "modem/modem_model.h"
#include "modem/text_mode.h"

namespace modem {
namespace {

const char* const kManufacturer = "SIEMENS";
const char* const kModel = "TC35";
const char* const kRevision = "REVISION 04.00";
const char* const kImei = "351234567890128";
const char* const kImsi = "460001234567890";

// Commands that need the SIM PIN (the manual's summary of PIN-requiring
// commands): while the SIM is not ready they fail in every form, as
// +CME ERROR even for the SMS commands of TS 27.005.
constexpr std::string_view kNeedPin[] = {"+CIMI", "+CMGD", "+CMGL", "+CMGR", "+CMGS", "+CNMA", "+CNMI",
                                         "+CPMS", "+CSCA", "+CSDH", "+CSMP", "+CSMS", "^SMGO"};

bool NeedsPin(const std::string& name) {
    for (std::string_view pin_command : kNeedPin) {
        if (name == pin_command) return true;
    }
    return false;
}

// The +CME ERROR code of a command that needs the SIM PIN while the SIM is
// not ready (10 no SIM, 11 PIN, 12 PUK), else 0.
int SimBlocked(const Radio& radio) {
    switch (radio.sim) {
        case SimState::kReady: return 0;
        case SimState::kPinNeeded: return 11;
        case SimState::kPukNeeded: return 12;
        case SimState::kAbsent: return 10;
    }
    return 0;
}

// The <length> of a PDU-mode listing or read: the octets after the SMSC field.
std::size_t TpduLength(const std::string& pdu_hex) {
    return pdu_hex.size() / 2 - 1 - std::stoul(pdu_hex.substr(0, 2), nullptr, 16);
}

}  // namespace

struct Tc35Model::Commands {
    // The form of a command, by what follows its name (V.25ter extended
    // syntax): the table holds one handler per form a command takes.
    enum class Form {
        kAction,  // "AT+CSQ": nothing follows
        kQuery,   // "AT+CMGF?": the current setting
        kTest,    // "AT+CMGF=?": the values it takes
        kSet,     // "AT+CMGF=1": parameters after '='
        kOther,   // anything else ("ATE1", "ATS3?", "AT+CMGF?1")
        kAny,     // table only: every form without a handler of its own
    };

    static Form FormOf(const std::string& args) {
        if (args.empty()) return Form::kAction;
        if (args == "?") return Form::kQuery;
        if (args == "=?") return Form::kTest;
        if (args[0] == '=') return Form::kSet;
        return Form::kOther;
    }

    // One command of a line as its handler sees it, and what it answers. A
    // handler that records no error ends with OK (or goes on to the next
    // command of the line).
    struct Call {
        Tc35Model& modem;
        const std::string& args;          // what follows the name: "?", "=?", "=1,2", "1" ...
        std::vector<std::string> params;  // set form: the parameters, split at commas
        Reply& reply;

        void Info(const std::vector<std::string>& lines) { reply.info += modem.InfoText(lines); }
        void Error() { reply.error = true; }
        void Cms(int code) {
            reply.error = true;
            reply.cms = code;
        }
        void Cme(int code) {
            reply.error = true;
            reply.cme = code;
        }
    };

    using Handler = void (*)(Tc35Model& m, Call& c);
    struct Row {
        std::string_view name;  // "AT" for the bare AT, "E", "&F", "+CMGF" ...
        Form form;
        Handler handler;
    };
    static const Row kTable[];

    static void Run(Tc35Model& m, const std::string& name, const std::string& args, Reply& reply);

    // --- V.25ter basic commands ---

    static void Ok(Tc35Model&, Call&) {}

    // ATE, ATV, ATQ: 1 switches on, 0 or nothing off.
    static void Switch(Call& c, bool* flag) {
        if (!c.args.empty() && c.args != "0" && c.args != "1") return c.Error();
        *flag = c.args == "1";
    }
    static void SetEcho(Tc35Model& m, Call& c) { Switch(c, &m.settings_.echo); }
    static void SetVerbose(Tc35Model& m, Call& c) { Switch(c, &m.settings_.verbose); }
    static void SetQuiet(Tc35Model& m, Call& c) { Switch(c, &m.settings_.quiet); }

    // ATZ, AT&F: back to the factory profile (ATZ0 and AT&F0 alike).
    static void Reset(Tc35Model& m, Call& c) {
        if (!c.args.empty() && c.args != "0") return c.Error();
        m.FactoryReset();
    }

    // ATI: maker, model and revision; ATI<n> gives no further information,
    // just OK.
    static void Identify(Tc35Model&, Call& c) {
        if (c.args.empty()) c.Info({kManufacturer, kModel, kRevision});
    }

    // ATSn? and ATSn=v: the line editing characters are fixed at their
    // defaults (S3 carriage return, S4 line feed, S5 backspace), the other
    // registers read 0, and a write is accepted and changes nothing.
    static void SRegister(Tc35Model&, Call& c) {
        std::size_t mark = c.args.find_first_of("?=");
        int reg = 0;
        if (mark == std::string::npos || !ParseInt(c.args.substr(0, mark), &reg)) return c.Error();
        if (c.args[mark] != '?') return;
        int value = reg == 3 ? 13 : reg == 4 ? 10 : reg == 5 ? 8 : 0;
        char text[8];
        std::snprintf(text, sizeof text, "%03d", value);
        c.Info({text});
    }

    // --- identification (TS 27.007 clause 5) ---

    static void ShowManufacturer(Tc35Model&, Call& c) { c.Info({kManufacturer}); }
    static void ShowModel(Tc35Model&, Call& c) { c.Info({kModel}); }
    static void ShowRevision(Tc35Model&, Call& c) { c.Info({kRevision}); }
    static void ShowImei(Tc35Model&, Call& c) { c.Info({kImei}); }
    static void ShowImsi(Tc35Model&, Call& c) { c.Info({kImsi}); }

    // --- error reports, character set, SIM, power, signal, network ---

    static void TestCmee(Tc35Model&, Call& c) { c.Info({"+CMEE: (0-2)"}); }
    static void ShowCmee(Tc35Model& m, Call& c) { c.Info({"+CMEE: " + std::to_string(m.settings_.cmee)}); }
    static void SetCmee(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n) || n > 2) return c.Error();
        m.settings_.cmee = n;
    }

    static void TestCscs(Tc35Model&, Call& c) { c.Info({"+CSCS: (\"GSM\",\"UCS2\")"}); }
    static void ShowCscs(Tc35Model& m, Call& c) { c.Info({"+CSCS: \"" + m.settings_.cscs + "\""}); }
    static void SetCscs(Tc35Model& m, Call& c) {
        std::string set;
        if (c.params.size() != 1 || !Unquote(c.params[0], &set)) return c.Error();
        if (set != "GSM" && set != "UCS2") return c.Cme(4);
        m.settings_.cscs = set;
    }

    static void ShowPin(Tc35Model& m, Call& c) {
        switch (m.radio_.sim) {
            case SimState::kReady: return c.Info({"+CPIN: READY"});
            case SimState::kPinNeeded: return c.Info({"+CPIN: SIM PIN"});
            case SimState::kPukNeeded: return c.Info({"+CPIN: SIM PUK"});
            case SimState::kAbsent: return c.Cme(10);
        }
        c.Cme(3);
    }
    // Entering a PIN is not modelled: no request is pending as far as the
    // model knows ("operation not allowed", as the manual says for that).
    static void NoPinPending(Tc35Model&, Call& c) { c.Cme(3); }

    // Power levels are not modelled: the engine stays at full function, and
    // a level the TC35 knows is accepted.
    static void TestCfun(Tc35Model&, Call& c) { c.Info({"+CFUN: (0,1,5-8),(0,1)"}); }
    static void ShowCfun(Tc35Model&, Call& c) { c.Info({"+CFUN: 1"}); }
    static void SetCfun(Tc35Model&, Call& c) {
        int n = 0;
        if (c.params.size() <= 2 && (c.params[0].empty() || ParseInt(c.params[0], &n)) &&
            (n <= 1 || (n >= 5 && n <= 8))) {
            return;
        }
        c.Cme(4);
    }
    static void BadCfun(Tc35Model&, Call& c) { c.Cme(4); }

    static void TestCsq(Tc35Model&, Call& c) { c.Info({"+CSQ: (0-31,99),(0-7,99)"}); }
    static void ShowCsq(Tc35Model& m, Call& c) {
        c.Info({"+CSQ: " + std::to_string(m.radio_.rssi) + "," + std::to_string(m.radio_.ber)});
    }

    static void ShowCreg(Tc35Model& m, Call& c) {
        // Without a ready SIM the modem does not try to register.
        int stat = SimBlocked(m.radio_) != 0 ? 0 : m.radio_.registration;
        std::string line = "+CREG: " + std::to_string(m.settings_.creg_n) + "," + std::to_string(stat);
        // Location and cell only with <n> 2 and when registered.
        if (m.settings_.creg_n == 2 && (stat == 1 || stat == 5)) line += ",\"00C3\",\"291A\"";
        c.Info({line});
    }
    static void TestCreg(Tc35Model&, Call& c) { c.Info({"+CREG: (0-2)"}); }
    static void SetCreg(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1) return c.Error();
        if (!c.params[0].empty() && (!ParseInt(c.params[0], &n) || n > 2)) return c.Cme(4);
        m.settings_.creg_n = n;
    }

    // AT^SMGO: presentation of the SIM store's overflow, and its status.
    // AT^SSCONF: <ra> and <tora> shown in text-mode +CDS (and listings,
    // which hold no status reports here). Not kept by AT&F or a restart.
    static void TestSsconf(Tc35Model&, Call& c) { c.Info({"^SSCONF: (0,1)"}); }
    static void ShowSsconf(Tc35Model& m, Call& c) { c.Info({"^SSCONF: " + std::to_string(m.settings_.ssconf)}); }
    static void SetSsconf(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n) || n > 1) return c.Cme(4);
        m.settings_.ssconf = n;
    }

    static void TestSmgo(Tc35Model&, Call& c) { c.Info({"^SMGO: (0,1)"}); }
    static void ShowSmgo(Tc35Model& m, Call& c) {
        c.Info({"^SMGO: " + std::to_string(m.settings_.smgo) + "," + std::to_string(m.overflow_)});
    }
    static void SetSmgo(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n) || n > 1) return c.Cme(4);
        m.settings_.smgo = n;
    }

    // --- SMS settings (TS 27.005 clause 3) ---

    // AT+CSMS: <service> 0 phase 2 (factory), 1 phase 2+; mobile terminated,
    // mobile originated and broadcast messages are all supported.
    static void TestCsms(Tc35Model&, Call& c) { c.Info({"+CSMS: (0,1)"}); }
    static void ShowCsms(Tc35Model& m, Call& c) { c.Info({"+CSMS: " + std::to_string(m.settings_.csms) + ",1,1,1"}); }
    static void SetCsms(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n) || n > 1) return c.Error();
        // Back to phase 2 while AT+CNMI holds a phase 2+ value: "unknown
        // error" (TC35 manual 5.16).
        if (n == 0 && PhaseTwoPlusRouting(m.settings_.cnmi)) return c.Cms(500);
        m.settings_.csms = n;
        c.Info({"+CSMS: 1,1,1"});
    }

    // Only the SIM store, "SM", for reading, writing and receiving.
    static std::string StoreUse(const Tc35Model& m) {
        return std::to_string(m.store_.used()) + "," + std::to_string(m.store_.capacity());
    }
    static void TestCpms(Tc35Model&, Call& c) { c.Info({"+CPMS: (\"SM\"),(\"SM\"),(\"SM\")"}); }
    static void ShowCpms(Tc35Model& m, Call& c) {
        const std::string used = StoreUse(m);
        c.Info({"+CPMS: \"SM\"," + used + ",\"SM\"," + used + ",\"SM\"," + used});
    }
    static void SetCpms(Tc35Model& m, Call& c) {
        if (c.params.size() > 3) return c.Error();
        for (const std::string& p : c.params) {
            std::string mem;
            if (!Unquote(p, &mem)) return c.Error();
            if (mem != "SM") return c.Cms(302);
        }
        const std::string used = StoreUse(m);
        c.Info({"+CPMS: " + used + "," + used + "," + used});
    }

    static void TestCnmi(Tc35Model&, Call& c) { c.Info({"+CNMI: (0-3),(0-3),(0,2,3),(0-2),(1)"}); }
    static void ShowCnmi(Tc35Model& m, Call& c) {
        const int* n = m.settings_.cnmi;
        char text[48];
        std::snprintf(text, sizeof text, "+CNMI: %d,%d,%d,%d,%d", n[0], n[1], n[2], n[3], n[4]);
        c.Info({text});
    }
    // <mt> 2 and 3 and <ds> 1 route to the TE what it must acknowledge with
    // AT+CNMA: phase 2+ only (TC35 manual 5.10).
    static bool PhaseTwoPlusRouting(const int* cnmi) { return cnmi[1] >= 2 || cnmi[3] == 1; }
    // Parameters left out keep their value; any one out of range refuses all,
    // as does a phase 2+ value under AT+CSMS=0.
    static void SetCnmi(Tc35Model& m, Call& c) {
        static const int kMax[5] = {3, 3, 3, 2, 1};
        if (c.params.size() > 5) return c.Error();
        int values[5];
        std::copy(m.settings_.cnmi, m.settings_.cnmi + 5, values);
        for (std::size_t i = 0; i < c.params.size(); ++i) {
            if (c.params[i].empty()) continue;
            if (!ParseInt(c.params[i], &values[i]) || values[i] > kMax[i]) return c.Cms(303);
        }
        if (m.settings_.csms == 0 && PhaseTwoPlusRouting(values)) return c.Cms(303);
        std::copy(values, values + 5, m.settings_.cnmi);
    }

    // AT+CNMA acknowledges the +CDS given last (TC35 manual 5.9): in PDU mode
    // also as AT+CNMA=0, the only <n> it lists. Without one to acknowledge,
    // phase 2 included, "+CMS ERROR: 340" (no +CNMA acknowledgement expected).
    static void TestCnma(Tc35Model& m, Call& c) {
        if (m.settings_.cmgf == 0) c.Info({"+CNMA: (0)"});
    }
    static void Acknowledge(Tc35Model& m, Call& c) {
        if (m.settings_.csms != 1 || !m.AcknowledgeReport(m.command_ms_)) return c.Cms(340);
    }
    static void AcknowledgeWith(Tc35Model& m, Call& c) {
        int n = 0;
        if (m.settings_.cmgf == 1) return c.Cms(305);
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n) || n != 0) return c.Cms(304);
        Acknowledge(m, c);
    }

    static void TestCmgf(Tc35Model&, Call& c) { c.Info({"+CMGF: (0,1)"}); }
    static void ShowCmgf(Tc35Model& m, Call& c) { c.Info({"+CMGF: " + std::to_string(m.settings_.cmgf)}); }
    static void SetCmgf(Tc35Model& m, Call& c) {
        int n = 0;  // AT+CMGF= alone: PDU mode
        if (c.params.size() != 1) return c.Error();
        if (!c.params[0].empty() && (!ParseInt(c.params[0], &n) || n > 1)) return c.Cms(303);
        m.settings_.cmgf = n;
    }

    static void TestCsdh(Tc35Model&, Call& c) { c.Info({"+CSDH: (0,1)"}); }
    static void ShowCsdh(Tc35Model& m, Call& c) {
        c.Info({std::string("+CSDH: ") + (m.settings_.csdh ? "1" : "0")});
    }
    static void SetCsdh(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n) || n > 1) return c.Error();
        m.settings_.csdh = n == 1;
    }

    static void ShowCsmp(Tc35Model& m, Call& c) {
        const int* p = m.settings_.csmp;
        c.Info({"+CSMP: " + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + "," +
                std::to_string(p[3])});
    }
    // Parameters left out keep their value; any one out of range refuses all.
    static void SetCsmp(Tc35Model& m, Call& c) {
        if (c.params.size() > 4) return c.Error();
        int values[4];
        std::copy(m.settings_.csmp, m.settings_.csmp + 4, values);
        for (std::size_t i = 0; i < c.params.size(); ++i) {
            if (c.params[i].empty()) continue;
            if (!ParseInt(c.params[i], &values[i]) || values[i] > 255) return c.Cms(305);
        }
        std::copy(values, values + 4, m.settings_.csmp);
    }

    static void ShowCsca(Tc35Model& m, Call& c) {
        c.Info({"+CSCA: \"" + TeString(m.settings_, m.settings_.csca) + "\"," + std::to_string(m.settings_.tosca)});
    }
    static void SetCsca(Tc35Model& m, Call& c) {
        if (c.args == "=") {  // no parameter: the address is deleted
            m.settings_.csca.clear();
            m.settings_.tosca = 129;
            return;
        }
        std::string number;
        if (c.params.size() > 2 || !Unquote(c.params[0], &number)) return c.Error();
        number = FromTeString(m.settings_, number);
        if (number.size() > 20) return c.Cms(304);
        int type = !number.empty() && number[0] == '+' ? 145 : 129;
        if (c.params.size() == 2 && (!ParseInt(c.params[1], &type) || type > 255)) return c.Cms(304);
        m.settings_.csca = number;
        m.settings_.tosca = type;
    }

    // --- the message store: list, read, delete ---

    static void TestCmgl(Tc35Model& m, Call& c) {
        if (m.settings_.cmgf == 0) return c.Info({"+CMGL: (0-4)"});
        c.Info({"+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")"});
    }
    // AT+CMGL alone lists the unread messages.
    static void ListUnread(Tc35Model& m, Call& c) { Listing(m, 0, c); }
    // <stat> as a number in PDU mode, by name in text mode.
    static void ListByStatus(Tc35Model& m, Call& c) {
        if (c.params.size() != 1) return c.Error();
        int stat = 0;
        std::string text;
        if (m.settings_.cmgf == 0) {
            if (!ParseInt(c.params[0], &stat) || stat > 4) return c.Cms(304);
        } else if (!Unquote(c.params[0], &text) || (stat = StatOfName(text)) < 0) {
            return c.Cms(305);
        }
        Listing(m, stat, c);
    }

    // The entries of the messages with <stat> (4: all), in index order;
    // nothing at all when none has it. The reply notes where each entry
    // starts, for a SIM that pauses between them.
    static void Listing(Tc35Model& m, int stat, Call& c) {
        std::vector<int> listed;
        std::vector<std::string> lines;
        for (const StoredMessage& message : m.store_.All()) {
            int status = message.read ? 1 : 0;
            if (stat != 4 && stat != status) continue;
            if (m.settings_.cmgf == 0) {
                lines.push_back("+CMGL: " + std::to_string(message.index) + "," + std::to_string(status) + ",," +
                                std::to_string(TpduLength(message.pdu)));
                lines.push_back(message.pdu);
            } else {
                auto pdu = DecodePdu(message.pdu);
                if (!pdu) continue;  // not a message text mode can show
                lines.push_back(TextHeader(m.settings_, message, *pdu, true));
                lines.push_back(TextBody(m.settings_, *pdu));
            }
            listed.push_back(message.index);
        }
        // Listed unread messages are read now (TS 27.005 3.4.2).
        for (int index : listed) m.store_.MarkRead(index);
        if (!m.faults_.arrive_during_listing.empty()) {
            std::string pdu;
            pdu.swap(m.faults_.arrive_during_listing);
            int index = m.store_.Add(pdu, false);
            // The indication waits until the listing has ended.
            if (index > 0 && m.settings_.cnmi[1] == 1) {
                m.pending_urcs_.push_back("\r\n+CMTI: \"SM\"," + std::to_string(index) + "\r\n");
            }
        }
        if (lines.empty()) return;
        const std::size_t base = c.reply.info.size() + (m.settings_.verbose ? 2 : 0);
        std::size_t offset = 0;
        for (std::size_t i = 0; i < lines.size(); i += 2) {
            c.reply.entry_starts.push_back(base + offset);
            offset += lines[i].size() + lines[i + 1].size() + 4;
        }
        c.Info(lines);
    }

    // An index inside the store but without a message reads as an empty
    // entry in PDU mode and as nothing in text mode.
    static void ReadMessage(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n)) return c.Error();
        if (!m.store_.InRange(n)) return c.Cms(321);
        std::optional<StoredMessage> message = m.store_.Find(n);
        if (!message) {
            if (m.settings_.cmgf == 0) c.Info({"+CMGR: 0,,0"});
            return;
        }
        m.store_.MarkRead(n);  // reading marks a received message read, shown as it was
        if (m.settings_.cmgf == 0) {
            return c.Info({"+CMGR: " + std::to_string(message->read ? 1 : 0) + ",," +
                               std::to_string(TpduLength(message->pdu)),
                           message->pdu});
        }
        auto pdu = DecodePdu(message->pdu);
        if (!pdu) return c.Cms(500);
        c.Info({TextHeader(m.settings_, *message, *pdu, false), TextBody(m.settings_, *pdu)});
    }

    static void DeleteMessage(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n)) return c.Error();
        if (!m.store_.InRange(n)) return c.Cms(321);
        m.store_.Erase(n);  // an empty slot is deleted with OK as well
    }

    // --- AT+CMGS: the command, then the message at the "> " prompt ---

    static void StartSend(Tc35Model& m, Call& c) {
        if (m.settings_.cmgf == 0) {
            StartPduSend(m, c);
        } else {
            StartTextSend(m, c);
        }
        if (c.reply.error) return;
        m.body_.clear();
        m.muted_input_ = m.faults_.silent_after_prompt;
        c.reply.prompt = true;
    }
    // AT+CMGS=<length>: the TPDU's octets, from the shortest SUBMIT to one
    // with 140 octets of user data.
    static void StartPduSend(Tc35Model& m, Call& c) {
        int n = 0;
        if (c.params.size() != 1 || !ParseInt(c.params[0], &n)) return c.Error();
        if (n < 7 || n > 164) return c.Cms(304);
        m.cmgs_length_ = n;
        m.input_ = Input::kPdu;
    }
    // AT+CMGS="<da>"[,<toda>]: the type of address follows a leading '+'
    // unless given.
    static void StartTextSend(Tc35Model& m, Call& c) {
        std::string number;
        if (c.params.size() > 2 || !Unquote(c.params[0], &number)) return c.Cms(305);
        number = FromTeString(m.settings_, number);
        int type = !number.empty() && number[0] == '+' ? 145 : 129;
        if (c.params.size() == 2 && (!ParseInt(c.params[1], &type) || type > 255)) return c.Cms(305);
        if (number.empty() || number.size() > 20) return c.Cms(305);
        m.cmgs_number_ = number;
        m.cmgs_toda_ = type;
        m.input_ = Input::kText;
    }

    // A PDU given at the prompt: fills `sent` and `submitted` and returns 0,
    // or returns the +CMS ERROR code that refuses it.
    static int TakePdu(Tc35Model& m, const std::string& body, SentMessage& sent, std::optional<Pdu>& submitted) {
        // The length given with AT+CMGS counts the octets after the SMSC field.
        std::vector<std::uint8_t> octets;
        if (!HexToBytes(body, &octets) || octets.empty() || octets.size() != 1u + octets[0] + m.cmgs_length_) {
            return 304;
        }
        auto pdu = DecodePdu(body);
        if (!pdu || !pdu->submit) return 304;
        // An empty SMSC field sends through the service centre of AT+CSCA.
        if (pdu->smsc_octets == 1 && m.settings_.csca.empty()) return 330;
        sent.number = pdu->address.Display();
        sent.type_of_address = pdu->address.type;
        sent.coding = pdu->coding;
        sent.text = pdu->text;
        sent.pdu = body;
        for (char& ch : sent.pdu) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        sent.report_requested = (pdu->first_octet & 0x20) != 0;  // TP-SRR
        submitted = std::move(pdu);
        return 0;
    }

    // A text given at the prompt, coded as AT+CSMP's <dcs> says: fills `sent`
    // and returns 0, or returns the +CMS ERROR code that refuses it.
    static int TakeText(Tc35Model& m, const std::string& body, SentMessage& sent) {
        sent.number = m.cmgs_number_;
        sent.type_of_address = m.cmgs_toda_;
        sent.report_requested = (m.settings_.csmp[0] & 0x20) != 0;  // <fo> with TP-SRR
        sent.coding = CodingOfDcs(static_cast<std::uint8_t>(m.settings_.csmp[3]));
        if (sent.coding == Coding::kGsm7) {
            std::u32string text;
            if (m.settings_.cscs == "UCS2") {
                std::vector<std::uint8_t> octets;
                if (!HexToBytes(body, &octets)) return 305;
                text = Ucs2ToUnicode(octets);
            } else {
                std::vector<std::uint8_t> septets = TypedSeptets(body);
                text = GsmToUnicode(septets);
                if (septets.size() > 160) return 305;
            }
            if (text.size() > 160) return 305;
            sent.text = ToUtf8(text);
        } else {
            // 8-bit and UCS-2 data are typed as hex digits.
            std::vector<std::uint8_t> octets;
            if (!HexToBytes(body, &octets) || octets.size() > 140) return 305;
            sent.text = sent.coding == Coding::kUcs2 ? ToUtf8(Ucs2ToUnicode(octets))
                                                     : BytesToHex(octets.data(), octets.size());
        }
        if (m.settings_.csca.empty()) return 330;
        return 0;
    }
};

// Every command the model knows, by name and form. A form a command has no
// row for is answered with the command's kAny row if it has one, else ERROR,
// as is a name not in the table.
const Tc35Model::Commands::Row Tc35Model::Commands::kTable[] = {
    // V.25ter basic commands: the handler reads the digits after the letter.
    {"AT", Form::kAny, Ok},
    {"E", Form::kAny, SetEcho},
    {"V", Form::kAny, SetVerbose},
    {"Q", Form::kAny, SetQuiet},
    {"Z", Form::kAny, Reset},
    {"&F", Form::kAny, Reset},
    {"I", Form::kAny, Identify},
    {"S", Form::kAny, SRegister},
    // Accepted and without effect on the model.
    {"&W", Form::kAny, Ok},
    {"&C", Form::kAny, Ok},
    {"&D", Form::kAny, Ok},
    {"&S", Form::kAny, Ok},
    {"H", Form::kAny, Ok},
    {"L", Form::kAny, Ok},
    {"M", Form::kAny, Ok},
    {"X", Form::kAny, Ok},
    {"P", Form::kAny, Ok},
    {"T", Form::kAny, Ok},

    // Identification, with the V.25ter names beside the TS 27.007 ones.
    {"+CGMI", Form::kAction, ShowManufacturer},
    {"+CGMI", Form::kTest, Ok},
    {"+GMI", Form::kAction, ShowManufacturer},
    {"+GMI", Form::kTest, Ok},
    {"+CGMM", Form::kAction, ShowModel},
    {"+CGMM", Form::kTest, Ok},
    {"+GMM", Form::kAction, ShowModel},
    {"+GMM", Form::kTest, Ok},
    {"+CGMR", Form::kAction, ShowRevision},
    {"+CGMR", Form::kTest, Ok},
    {"+GMR", Form::kAction, ShowRevision},
    {"+GMR", Form::kTest, Ok},
    {"+CGSN", Form::kAction, ShowImei},
    {"+CGSN", Form::kTest, Ok},
    {"+GSN", Form::kAction, ShowImei},
    {"+GSN", Form::kTest, Ok},
    {"+CIMI", Form::kAction, ShowImsi},
    {"+CIMI", Form::kTest, Ok},

    {"+CMEE", Form::kTest, TestCmee},
    {"+CMEE", Form::kQuery, ShowCmee},
    {"+CMEE", Form::kSet, SetCmee},
    {"+CSCS", Form::kTest, TestCscs},
    {"+CSCS", Form::kQuery, ShowCscs},
    {"+CSCS", Form::kSet, SetCscs},
    {"+CPIN", Form::kTest, Ok},
    {"+CPIN", Form::kQuery, ShowPin},
    {"+CPIN", Form::kAny, NoPinPending},
    {"+CFUN", Form::kTest, TestCfun},
    {"+CFUN", Form::kQuery, ShowCfun},
    {"+CFUN", Form::kSet, SetCfun},
    {"+CFUN", Form::kAny, BadCfun},
    {"+CSQ", Form::kTest, TestCsq},
    {"+CSQ", Form::kAction, ShowCsq},
    {"+CREG", Form::kTest, TestCreg},
    {"+CREG", Form::kQuery, ShowCreg},
    {"+CREG", Form::kSet, SetCreg},

    // SMS (TS 27.005).
    {"+CSMS", Form::kTest, TestCsms},
    {"+CSMS", Form::kQuery, ShowCsms},
    {"+CSMS", Form::kSet, SetCsms},
    {"+CPMS", Form::kTest, TestCpms},
    {"+CPMS", Form::kQuery, ShowCpms},
    {"+CPMS", Form::kSet, SetCpms},
    {"+CNMI", Form::kTest, TestCnmi},
    {"+CNMI", Form::kQuery, ShowCnmi},
    {"+CNMI", Form::kSet, SetCnmi},
    {"+CNMA", Form::kTest, TestCnma},
    {"+CNMA", Form::kAction, Acknowledge},
    {"+CNMA", Form::kSet, AcknowledgeWith},
    {"+CMGF", Form::kTest, TestCmgf},
    {"+CMGF", Form::kQuery, ShowCmgf},
    {"+CMGF", Form::kSet, SetCmgf},
    {"+CSDH", Form::kTest, TestCsdh},
    {"+CSDH", Form::kQuery, ShowCsdh},
    {"+CSDH", Form::kSet, SetCsdh},
    {"+CSMP", Form::kTest, Ok},
    {"+CSMP", Form::kQuery, ShowCsmp},
    {"+CSMP", Form::kSet, SetCsmp},
    {"+CSCA", Form::kTest, Ok},
    {"+CSCA", Form::kQuery, ShowCsca},
    {"+CSCA", Form::kSet, SetCsca},
    {"+CMGL", Form::kTest, TestCmgl},
    {"+CMGL", Form::kAction, ListUnread},
    {"+CMGL", Form::kSet, ListByStatus},
    {"+CMGR", Form::kTest, Ok},
    {"+CMGR", Form::kSet, ReadMessage},
    {"+CMGD", Form::kTest, Ok},
    {"+CMGD", Form::kSet, DeleteMessage},
    {"+CMGS", Form::kTest, Ok},
    {"+CMGS", Form::kSet, StartSend},
    {"^SMGO", Form::kTest, TestSmgo},
    {"^SMGO", Form::kQuery, ShowSmgo},
    {"^SMGO", Form::kSet, SetSmgo},
    {"^SSCONF", Form::kTest, TestSsconf},
    {"^SSCONF", Form::kQuery, ShowSsconf},
    {"^SSCONF", Form::kSet, SetSsconf},
};

void Tc35Model::Commands::Run(Tc35Model& m, const std::string& name, const std::string& args, Reply& reply) {
    const Form form = FormOf(args);
    Call call{m, args, form == Form::kSet ? SplitParams(args.substr(1)) : std::vector<std::string>{}, reply};
    if (NeedsPin(name) && SimBlocked(m.radio_) != 0) return call.Cme(SimBlocked(m.radio_));
    const Row* fallback = nullptr;
    for (const Row& row : kTable) {
        if (row.name != name) continue;
        if (row.form == form) return row.handler(m, call);
        if (row.form == Form::kAny) fallback = &row;
    }
    if (fallback == nullptr) return call.Error();
    fallback->handler(m, call);
}

void Tc35Model::RunCommand(const std::string& name, const std::string& args, Reply& reply) {
    Commands::Run(*this, name, args, reply);
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
    const int refused = sent.text_mode ? Commands::TakeText(*this, body, sent)
                                       : Commands::TakePdu(*this, body, sent, submitted);
    if (refused != 0) {
        reply.error = true;
        reply.cms = refused;
        Answer(ErrorText(reply), now);
        return;
    }
    if (faults_.bare_ok_on_send) {
        // Some firmware refuses a message with a bare OK and no +CMGS line.
        Answer(OkText(), now, faults_.send_result_delay_ms);
        busy_until_ = now + faults_.send_result_delay_ms;
        return;
    }
    sent.reference = next_reference_;
    next_reference_ = (next_reference_ + 1) % 256;
    const int reference = sent.reference;
    const bool report = sent.report_requested;
    const std::string number = sent.number;
    sent_.Record(std::move(sent), submitted ? &*submitted : nullptr);
    if (report) ReportByPolicy(reference, number, now + faults_.send_result_delay_ms);
    Answer(InfoText({"+CMGS: " + std::to_string(reference)}) + OkText(), now, faults_.send_result_delay_ms);
    busy_until_ = now + faults_.send_result_delay_ms;
}

}  // namespace modem
