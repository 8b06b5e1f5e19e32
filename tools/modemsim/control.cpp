#include "control.h"

#include "modem/escapes.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace modemsim {
namespace {

bool OnOff(const std::string& word, bool* value) {
    if (word == "on" || word == "1") *value = true;
    else if (word == "off" || word == "0") *value = false;
    else return false;
    return true;
}

bool Number(const std::string& word, long* value) {
    if (word.empty()) return false;
    char* end = nullptr;
    *value = std::strtol(word.c_str(), &end, 10);
    return *end == '\0' && *value >= 0;
}

}  // namespace

ControlResult ApplyControl(modem::Tc35Model& model, const std::string& line, std::uint64_t now_ms) {
    ControlResult result;
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string word; in >> word;) w.push_back(word);
    auto fail = [&](const std::string& why) {
        result.ok = false;
        result.error = why + ": " + line;
        return result;
    };
    if (w.empty() || w[0][0] == '#') return result;
    modem::Faults& f = model.faults();
    modem::Settings& s = model.settings();
    const std::string& cmd = w[0];
    long n = 0;
    bool flag = false;
    auto arg = [&](std::size_t i) { return i < w.size() ? w[i] : std::string(); };

    if (cmd == "silence" && OnOff(arg(1), &flag)) {
        f.silent = flag;
    } else if (cmd == "echo" && OnOff(arg(1), &flag)) {
        s.echo = flag;
    } else if (cmd == "cmgf" && Number(arg(1), &n) && n <= 1) {
        s.cmgf = static_cast<int>(n);
    } else if (cmd == "cmee" && Number(arg(1), &n) && n <= 2) {
        s.cmee = static_cast<int>(n);
    } else if (cmd == "csca" && w.size() == 2) {
        s.csca = w[1];
        s.tosca = w[1][0] == '+' ? 145 : 129;
    } else if (cmd == "sim" && w.size() == 2) {
        modem::Radio& r = model.radio();
        if (w[1] == "ready") r.sim = modem::SimState::kReady;
        else if (w[1] == "pin") r.sim = modem::SimState::kPinNeeded;
        else if (w[1] == "puk") r.sim = modem::SimState::kPukNeeded;
        else if (w[1] == "absent") r.sim = modem::SimState::kAbsent;
        else return fail("sim ready|pin|puk|absent");
    } else if (cmd == "csq" && (w.size() == 2 || w.size() == 3)) {
        long rssi = 0, ber = 99;
        if (!Number(w[1], &rssi) || (rssi > 31 && rssi != 99)) return fail("rssi 0..31 or 99");
        if (w.size() == 3 && (!Number(w[2], &ber) || (ber > 7 && ber != 99))) return fail("ber 0..7 or 99");
        model.radio().rssi = static_cast<int>(rssi);
        model.radio().ber = static_cast<int>(ber);
    } else if (cmd == "creg" && Number(arg(1), &n) && n <= 5) {
        model.radio().registration = static_cast<int>(n);
    } else if (cmd == "error" && w.size() >= 2) {
        long times = -1;
        if (w.size() >= 3 && !Number(w[2], &times)) return fail("bad count");
        model.FailCommand(w[1], modem::kPlainError, static_cast<int>(times));
    } else if (cmd == "cms" && w.size() >= 3 && Number(w[1], &n)) {
        long times = -1;
        if (w.size() >= 4 && !Number(w[3], &times)) return fail("bad count");
        model.FailCommand(w[2], static_cast<int>(n), static_cast<int>(times));
    } else if (cmd == "fail-prompt" && w.size() >= 2) {
        // AT+CMGS refused instead of its prompt: "ERROR" or a CMS code.
        long code = modem::kPlainError, times = -1;
        if (w[1] != "ERROR" && !Number(w[1], &code)) return fail("bad code");
        if (w.size() >= 3 && !Number(w[2], &times)) return fail("bad count");
        model.FailCommand("CMGS", static_cast<int>(code), static_cast<int>(times), true);
    } else if (cmd == "clear-failures") {
        model.ClearFailures();
    } else if (cmd == "chunks") {
        f.line.chunks.clear();
        if (arg(1) != "off") {
            std::stringstream sizes(arg(1));
            for (std::string size; std::getline(sizes, size, ',');) {
                if (!Number(size, &n) || n == 0) return fail("bad chunk size");
                f.line.chunks.push_back(static_cast<std::size_t>(n));
            }
            if (w.size() >= 3) {
                if (!Number(w[2], &n)) return fail("bad gap");
                f.line.chunk_gap_ms = static_cast<std::uint32_t>(n);
            }
        }
    } else if (cmd == "trickle" && Number(arg(1), &n)) {
        f.line.trickle_ms = static_cast<std::uint32_t>(n);
    } else if (cmd == "baud" && Number(arg(1), &n)) {
        f.line.baud = static_cast<std::uint32_t>(n);
    } else if (cmd == "ipr" && Number(arg(1), &n)) {
        f.fixed_baud = static_cast<std::uint32_t>(n);
    } else if (cmd == "answer-delay" && Number(arg(1), &n)) {
        f.answer_delay_ms = static_cast<std::uint32_t>(n);
    } else if (cmd == "garbage" && w.size() >= 2) {
        f.garbage = w[1] == "off" ? "" : modem::Unescape(line.substr(line.find("garbage") + 8));
    } else if (cmd == "flood" && Number(arg(1), &n)) {
        f.flood = static_cast<std::size_t>(n);
    } else if (cmd == "flood-now" && Number(arg(1), &n)) {
        model.Flood(static_cast<std::size_t>(n), now_ms);
    } else if (cmd == "powercycle") {
        model.PowerCycle(now_ms);
    } else if (cmd == "hangup" && Number(arg(1), &n) && n > 0) {
        result.hangup_ms = static_cast<std::uint64_t>(n);
    } else if (cmd == "prompt-silence" && OnOff(arg(1), &flag)) {
        f.silent_after_prompt = flag;
    } else if (cmd == "late-cmgs" && Number(arg(1), &n)) {
        f.send_result_delay_ms = static_cast<std::uint32_t>(n);
    } else if (cmd == "hangup-in-body" && Number(arg(1), &n) && n > 0) {
        f.hangup_in_body_ms = static_cast<std::uint32_t>(n);
    } else if (cmd == "hangup-after-submit" && Number(arg(1), &n) && n > 0) {
        f.hangup_after_submit_ms = static_cast<std::uint32_t>(n);
    } else if (cmd == "babble" && (arg(1) == "off" || (Number(arg(1), &n) && n > 0))) {
        f.babble_ms = arg(1) == "off" ? 0 : static_cast<std::uint32_t>(n);
    } else if (cmd == "bare-ok" && OnOff(arg(1), &flag)) {
        f.bare_ok_on_send = flag;
    } else if (cmd == "deliver" && w.size() == 3 && (w[1] == "unread" || w[1] == "read")) {
        int index = w[1] == "unread" ? model.Deliver(w[2], now_ms) : model.AddMessage(w[2], true);
        if (index == 0) return fail("store full or not a PDU");
    } else if (cmd == "reports" && arg(1) == "off" && w.size() == 2) {
        model.radio().reports.on = false;
    } else if (cmd == "reports" && w.size() == 3) {
        // The TP-ST of every report by name, or as a number (0x.. for hex).
        const std::string& st = w[1];
        char* end = nullptr;
        long status = st == "delivered" ? modem::kReportDelivered
                      : st == "trying"  ? modem::kReportTrying
                      : st == "expired" ? modem::kReportExpired
                                        : std::strtol(st.c_str(), &end, 0);
        if ((end && *end != '\0') || status < 0 || status > 255) return fail("bad status");
        if (!Number(w[2], &n)) return fail("bad delay");
        model.radio().reports = {true, static_cast<int>(status), static_cast<std::uint32_t>(n)};
    } else if (cmd == "ack-timeout" && Number(arg(1), &n) && n > 0) {
        model.radio().ack_timeout_ms = static_cast<std::uint32_t>(n);
    } else if (cmd == "arrive-during-listing" && w.size() == 2) {
        f.arrive_during_listing = w[1];
    } else {
        return fail("unknown control command");
    }
    return result;
}

}  // namespace modemsim
