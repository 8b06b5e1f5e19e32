// The serial side of the model: echo, line assembly, the prompt input of
// AT+CMGS, result framing, faults, and messages arriving from the network.
#include "modem/modem_model.h"

#include <algorithm>
#include <cctype>

#include "modem/at_syntax.h"

namespace modem {
namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kEscape = 0x1B;
constexpr char kBackspace = 0x08;
// V.25ter leaves the command line buffer size to the maker; the TC35 takes 391
// characters and answers ERROR to a longer line.
constexpr std::size_t kMaxCommandLine = 391;

const char* CmsText(int code) {
    switch (code) {
        case 300: return "ME failure";
        case 301: return "SMS service of ME reserved";
        case 302: return "operation not allowed";
        case 303: return "operation not supported";
        case 304: return "invalid PDU mode parameter";
        case 305: return "invalid text mode parameter";
        case 310: return "SIM not inserted";
        case 320: return "memory failure";
        case 321: return "invalid memory index";
        case 322: return "memory full";
        case 330: return "SMSC address unknown";
        case 331: return "no network service";
        case 332: return "network timeout";
        case 340: return "NO +CNMA ACK EXPECTED";
        case 512: return "user abort";
        default: return "unknown error";
    }
}

const char* CmeText(int code) {
    switch (code) {
        case 3: return "operation not allowed";
        case 4: return "operation not supported";
        case 10: return "SIM not inserted";
        case 11: return "SIM PIN required";
        case 12: return "SIM PUK required";
        case 21: return "invalid index";
        case 24: return "text string too long";
        default: return "unknown";
    }
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

Tc35Model::Tc35Model() = default;

// --- arrivals ---

int Tc35Model::Deliver(std::string_view pdu_hex, std::uint64_t now_ms) {
    int index = store_.Add(pdu_hex, false);
    if (index > 0 && settings_.cnmi[1] == 1) {
        pending_urcs_.push_back("\r\n+CMTI: \"SM\"," + std::to_string(index) + "\r\n");
        // Announced at once, unless the AT+CMGS prompt is waiting for the
        // message: then once that input has ended.
        if (input_ == Input::kCommand) {
            for (const std::string& urc : pending_urcs_) Answer(urc, now_ms);
            pending_urcs_.clear();
        }
    }
    return index;
}

void Tc35Model::FactoryReset() {
    // The service centre address lives in non-volatile memory and survives.
    std::string csca = settings_.csca;
    int tosca = settings_.tosca;
    settings_ = Settings{};
    settings_.csca = csca;
    settings_.tosca = tosca;
}

// --- faults ---

void Tc35Model::FailCommand(std::string_view name, int code, int times, bool before_prompt) {
    std::string key = Upper(name);
    if (!key.empty() && (key[0] == '+' || key[0] == '^')) key.erase(0, 1);
    failures_[key] = Failure{code, times, before_prompt};
}

void Tc35Model::ClearFailures() { failures_.clear(); }

bool Tc35Model::TakeFailure(const std::string& name, bool before_prompt, int* code) {
    std::string key = name;
    if (!key.empty() && (key[0] == '+' || key[0] == '^')) key.erase(0, 1);
    auto it = failures_.find(key);
    if (it == failures_.end() || it->second.times == 0) return false;
    if (key == "CMGS" && it->second.before_prompt != before_prompt) return false;
    *code = it->second.code;
    if (it->second.times > 0) --it->second.times;
    return true;
}

void Tc35Model::HangUp(std::uint64_t now_ms, std::uint64_t duration_ms) {
    out_.Clear();
    held_prompt_.clear();
    line_.clear();
    body_.clear();
    input_ = Input::kCommand;
    muted_input_ = false;
    pending_urcs_.clear();
    hangup_until_ = now_ms + duration_ms;
}

void Tc35Model::PowerCycle(std::uint64_t now_ms, std::uint32_t startup_ms) {
    RunReports(now_ms);
    if (awaiting_ack_) SettleReport(*std::exchange(awaiting_ack_, std::nullopt), ReportFate::kLostInRestart, now_ms);
    HangUp(now_ms, startup_ms);
    busy_until_ = 0;
    FactoryReset();
    Answer("\r\n^SYSSTART\r\n", now_ms + startup_ms);
}

void Tc35Model::StartHangUp(std::uint64_t now_ms, std::uint32_t* fault_ms) {
    started_hangup_ms_ = std::exchange(*fault_ms, 0);
    HangUp(now_ms, started_hangup_ms_);
}

namespace {
constexpr char kJunk[] = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCD\r\n";
}  // namespace

void Tc35Model::Flood(std::size_t n, std::uint64_t now_ms) {
    std::string junk;
    for (std::size_t i = 0; i < n; ++i) junk.push_back(kJunk[i % (sizeof kJunk - 1)]);
    Answer(junk, now_ms);
}

void Tc35Model::Unsolicited(std::string_view line, std::uint64_t now_ms) {
    std::string urc = "\r\n" + std::string(line) + "\r\n";
    if (input_ != Input::kCommand) {
        pending_urcs_.push_back(std::move(urc));
        return;
    }
    Answer(urc, now_ms);
}

void Tc35Model::SetOverflow(int mode, std::uint64_t now_ms) {
    if (mode == overflow_) return;
    overflow_ = mode;
    if (settings_.smgo == 1) Unsolicited("^SMGO: " + std::to_string(mode), now_ms);
}

void Tc35Model::Babble(std::uint64_t now) {
    if (faults_.babble_ms == 0 || HungUp(now)) {
        next_babble_ms_ = 0;
        return;
    }
    if (next_babble_ms_ == 0) next_babble_ms_ = now;
    // After a long gap between two calls the line catches up by at most one
    // second of babble.
    const std::uint64_t catch_up = 1000 + faults_.babble_ms;
    if (now > next_babble_ms_ + catch_up) next_babble_ms_ = now - 1000;
    for (; next_babble_ms_ <= now; next_babble_ms_ += faults_.babble_ms)
        out_.Push(std::string_view(kJunk, sizeof kJunk - 1), next_babble_ms_, faults_.line);
}

void Tc35Model::PromptDue(std::uint64_t now) {
    if (held_prompt_.empty() || now < prompt_due_) return;
    out_.Push(held_prompt_, prompt_due_, faults_.line);
    held_prompt_.clear();
}

std::optional<std::uint64_t> Tc35Model::NextArrival(std::uint64_t now_ms) const {
    std::optional<std::uint64_t> next = out_.NextArrival(now_ms);
    if (!held_prompt_.empty() && (!next || prompt_due_ < *next)) next = prompt_due_;
    if (faults_.babble_ms > 0 && !HungUp(now_ms)) {
        const std::uint64_t babble = next_babble_ms_ > now_ms ? next_babble_ms_ : now_ms + 1;
        if (!next || babble < *next) next = babble;
    }
    // A status report that may come as +CDS.
    if (!reports_due_.empty() && settings_.cnmi[3] == 1) {
        const std::uint64_t report = std::max(reports_due_.begin()->first, now_ms + 1);
        if (!next || report < *next) next = report;
    }
    return next;
}

// --- output ---

void Tc35Model::Echo(std::string_view bytes, std::uint64_t now) {
    if (!settings_.echo || faults_.silent || faults_.babble_ms > 0 || HungUp(now)) return;
    if (input_ != Input::kCommand && muted_input_) return;
    out_.Push(bytes, now, faults_.line);
}

void Tc35Model::Answer(std::string_view bytes, std::uint64_t now, std::uint32_t extra_delay) {
    if (faults_.silent || faults_.babble_ms > 0 || HungUp(now) || bytes.empty()) return;
    std::string text = faults_.garbage + std::string(bytes);
    out_.Push(text, now + faults_.answer_delay_ms + extra_delay, faults_.line);
}

void Tc35Model::AnswerEntries(std::string info, std::vector<std::size_t> breaks,
                              const std::string& result, std::uint64_t now) {
    if (!faults_.urc_in_answer.empty() && !info.empty()) {
        // Between two entries of a listing, else before the final result.
        const bool between = breaks.size() > 1;
        const std::size_t at = between ? breaks[breaks.size() / 2] : info.size();
        const std::string urc = "\r\n" + faults_.urc_in_answer + "\r\n";
        info.insert(at, urc);
        if (between)
            for (std::size_t& b : breaks)
                if (b >= at) b += urc.size();
        faults_.urc_in_answer.clear();
    }
    if (faults_.listing_entry_gap_ms == 0 || breaks.empty()) {
        Answer(info + result, now);
        return;
    }
    // The entries leave one by one, each after the SIM's pause.
    std::size_t from = 0;
    std::uint32_t delay = 0;
    for (std::size_t b : breaks) {
        if (b > from) Answer(std::string_view(info).substr(from, b - from), now, delay);
        from = b;
        delay += faults_.listing_entry_gap_ms;
    }
    Answer(info.substr(from) + result, now, delay);
}

std::string Tc35Model::OkText() const {
    if (settings_.quiet) return "";
    return settings_.verbose ? "\r\nOK\r\n" : "0\r";
}

std::string Tc35Model::ErrorText(const Reply& reply) const {
    if (settings_.quiet) return "";
    if (reply.forced) {
        if (reply.cms >= 0) return "\r\n+CMS ERROR: " + std::to_string(reply.cms) + "\r\n";
        return settings_.verbose ? "\r\nERROR\r\n" : "4\r";
    }
    if (reply.cms >= 0 && settings_.cmee == 1) return "\r\n+CMS ERROR: " + std::to_string(reply.cms) + "\r\n";
    if (reply.cms >= 0 && settings_.cmee == 2) return std::string("\r\n+CMS ERROR: ") + CmsText(reply.cms) + "\r\n";
    if (reply.cme >= 0 && settings_.cmee == 1) return "\r\n+CME ERROR: " + std::to_string(reply.cme) + "\r\n";
    if (reply.cme >= 0 && settings_.cmee == 2) return std::string("\r\n+CME ERROR: ") + CmeText(reply.cme) + "\r\n";
    return settings_.verbose ? "\r\nERROR\r\n" : "4\r";
}

std::string Tc35Model::InfoText(const std::vector<std::string>& lines) const {
    // V.25ter 5.7.1: information text is framed by <CR><LF> before and after
    // in verbose mode, and only ended by <CR><LF> in numeric mode.
    std::string out = settings_.verbose ? "\r\n" : "";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        out += "\r\n";
    }
    return out;
}

// --- input ---

void Tc35Model::Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) {
    received_.append(reinterpret_cast<const char*>(bytes), length);
    RunReports(now);
    if (HungUp(now)) return;
    PromptDue(now);
    // A command still runs (a send awaiting the network's verdict): the
    // modem takes no new command before its result.
    if (input_ == Input::kCommand && now < busy_until_) return;
    for (std::size_t i = 0; i < length; ++i) {
        char c = static_cast<char>(bytes[i]);
        if (input_ == Input::kCommand) {
            if (c == '\r') {
                // A line feed right behind the carriage return is echoed with
                // it, before the answer, as it arrives long before the modem
                // has worked out its answer.
                std::string end = "\r";
                if (i + 1 < length && bytes[i + 1] == '\n') {
                    end += '\n';
                    ++i;
                }
                Echo(end, now);
                std::string line;
                line.swap(line_);
                RunLine(line, now);
            } else if (c == kBackspace) {
                if (!line_.empty()) line_.pop_back();
                Echo(std::string_view(&c, 1), now);
            } else {
                Echo(std::string_view(&c, 1), now);
                if (!(line_.empty() && (c == '\n' || c == kEscape || c == kCtrlZ))) line_.push_back(c);
                // A line that never ends keeps only its last characters, so
                // that the memory it takes stays bounded.
                if (line_.size() > 4 * kMaxCommandLine) line_.erase(0, line_.size() - 4 * kMaxCommandLine);
            }
            continue;
        }
        // Text or PDU after the "> " prompt.
        if (!held_prompt_.empty()) {
            // The prompt has not gone out yet.
            if (faults_.early_input == EarlyInput::kEscapeEndsCommand && c == kEscape) {
                held_prompt_.clear();
                input_ = Input::kCommand;
                body_.clear();
                Answer(OkText(), now);
            }
            continue;
        }
        if (faults_.hangup_in_body_ms > 0) {
            StartHangUp(now, &faults_.hangup_in_body_ms);
            return;
        }
        if (c == kCtrlZ || c == kEscape) {
            Echo(std::string_view(&c, 1), now);
            EndInput(c == kCtrlZ, now);
        } else if (input_ == Input::kText && c == '\r') {
            // TS 27.005 3.5.1: a carriage return in the text starts a new line
            // of the message, and the modem prompts again.
            body_.push_back('\n');
            if (!muted_input_) Answer("\r\n> ", now);
        } else if (input_ == Input::kPdu && (c == '\r' || c == '\n' || c == ' ')) {
            Echo(std::string_view(&c, 1), now);
        } else if (!(input_ == Input::kText && c == '\n' && body_.empty())) {
            Echo(std::string_view(&c, 1), now);
            body_.push_back(c);
        }
    }
}

void Tc35Model::RunLine(const std::string& raw, std::uint64_t now) {
    // Everything in front of the "AT" prefix is ignored; a line without one is
    // not a command and gets no answer (V.25ter 5.2.1).
    std::size_t at = std::string::npos;
    for (std::size_t i = 0; i + 1 < raw.size(); ++i) {
        if ((raw[i] == 'A' || raw[i] == 'a') && (raw[i + 1] == 'T' || raw[i + 1] == 't')) {
            at = i;
            break;
        }
    }
    if (at == std::string::npos) return;
    lines_.push_back(raw.substr(at));
    command_ms_ = now;
    if (faults_.flood > 0) {
        std::size_t n = faults_.flood;
        faults_.flood = 0;
        Flood(n, now);
        return;
    }

    std::string line = NormalizeCommandLine(raw.substr(at + 2));
    std::vector<CommandPart> parts;
    std::string answer;
    Reply failed;
    failed.error = true;
    if (raw.size() - at > kMaxCommandLine || !SplitCommands(line, &parts)) {
        Answer(ErrorText(failed), now);
        return;
    }
    if (parts.empty()) parts.push_back({"AT", ""});
    std::vector<std::size_t> breaks;  // where listed entries start in the answer
    for (const CommandPart& part : parts) {
        Reply reply;
        int code = 0;
        if (TakeFailure(part.name == "AT" ? "AT" : part.name, true, &code)) {
            reply.error = reply.forced = true;
            reply.cms = code;
        } else {
            RunCommand(part.name, part.args, reply);
        }
        for (std::size_t start : reply.entry_starts) breaks.push_back(answer.size() + start);
        answer += reply.info;
        if (reply.error) {
            AnswerEntries(answer, breaks, ErrorText(reply), now);
            return;
        }
        if (reply.prompt) {
            // The rest of the line is not looked at: what follows the prompt
            // is the message.
            const std::uint32_t late = faults_.prompt_delay_ms;
            if (late == 0 || faults_.early_input == EarlyInput::kTaken) {
                Answer(answer + "\r\n> ", now, late);
            } else if (!faults_.silent && faults_.babble_ms == 0) {
                held_prompt_ = faults_.garbage + answer + "\r\n> ";
                prompt_due_ = now + faults_.answer_delay_ms + late;
            }
            return;
        }
    }
    AnswerEntries(answer, breaks, OkText(), now);
    for (const std::string& urc : pending_urcs_) Answer(urc, now);
    pending_urcs_.clear();
}

void Tc35Model::EndInput(bool submit, std::uint64_t now) {
    Input mode = input_;
    input_ = Input::kCommand;
    std::string body;
    body.swap(body_);
    if (muted_input_) {
        muted_input_ = false;
    } else if (!submit) {
        Answer(OkText(), now);  // ESC: not sent, but acknowledged with OK
    } else {
        input_ = mode;  // Submit reads the mode
        const std::size_t accepted = sent_.Accepted();  // a part counts as gone out
        Submit(body, now);
        input_ = Input::kCommand;
        if (sent_.Accepted() > accepted && faults_.hangup_after_submit_ms > 0) {
            StartHangUp(now, &faults_.hangup_after_submit_ms);
            return;
        }
    }
    for (const std::string& urc : pending_urcs_) Answer(urc, now);
    pending_urcs_.clear();
}

// --- Peer ---

std::size_t Tc35Model::Pending(std::uint64_t now) {
    Babble(now);
    PromptDue(now);
    RunReports(now);
    return out_.Available(now);
}

std::size_t Tc35Model::Take(std::uint8_t* out, std::size_t max, std::uint64_t now) {
    Babble(now);
    PromptDue(now);
    RunReports(now);
    return out_.Take(out, max, now);
}

void Tc35Model::Purge(std::uint64_t now) {
    RunReports(now);
    out_.DropArrived(now);
}

}  // namespace modem
