#include "modem_status.h"

#include "link/serial_port.h"

#include <cctype>
#include <cstdlib>

namespace vhost {
namespace {

std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool IsFinalError(const std::string& line) {
    return line == "ERROR" || line.rfind("+CME ERROR:", 0) == 0 || line.rfind("+CMS ERROR:", 0) == 0;
}

// A whole decimal number within [low, high].
std::optional<int> Number(const std::string& text, int low, int high) {
    const std::string t = Trim(text);
    if (t.empty() || t.size() > 6) return std::nullopt;
    for (const char c : t) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    const int value = std::atoi(t.c_str());
    if (value < low || value > high) return std::nullopt;
    return value;
}

// The parameters after "<prefix>:" of the first line that carries the
// prefix, split at commas outside quotes.
std::optional<std::vector<std::string>> Params(const AtAnswer& answer, std::string_view prefix) {
    if (!answer.Ok()) return std::nullopt;
    for (const std::string& line : answer.lines) {
        if (line.size() <= prefix.size() || line.compare(0, prefix.size(), prefix) != 0 ||
            line[prefix.size()] != ':') {
            continue;
        }
        std::vector<std::string> params(1);
        bool quoted = false;
        for (std::size_t i = prefix.size() + 1; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') quoted = !quoted;
            if (c == ',' && !quoted) params.emplace_back();
            else params.back() += c;
        }
        if (quoted) return std::nullopt;  // unterminated string
        for (std::string& p : params) p = Trim(p);
        return params;
    }
    return std::nullopt;
}

std::optional<std::string> Unquote(const std::string& text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::nullopt;
    return text.substr(1, text.size() - 2);
}

// "002B0038..." (AT+CSCS="UCS2") back to "+8..."; only when every character
// is one a phone number holds, so that a number of hex-looking digits stays.
std::string FromUcs2Number(const std::string& text) {
    if (text.empty() || text.size() % 4 != 0) return text;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const std::string unit = text.substr(i, 4);
        char* end = nullptr;
        const long code = std::strtol(unit.c_str(), &end, 16);
        if (end != unit.c_str() + 4) return text;
        const bool phoneChar = (code >= '0' && code <= '9') || code == '+' || code == '*' || code == '#';
        if (!phoneChar) return text;
        out += static_cast<char>(code);
    }
    return out;
}

}  // namespace

AtAnswer ParseAnswer(std::string_view bytes, std::string_view command) {
    AtAnswer answer;
    std::string line;
    auto endLine = [&] {
        const std::string text = Trim(line);
        line.clear();
        if (text.empty() || answer.end != AtAnswer::End::kNone) return;
        if (EqualNoCase(text, command)) return;  // the echo
        if (text == "OK") {
            answer.end = AtAnswer::End::kOk;
        } else if (IsFinalError(text)) {
            answer.end = AtAnswer::End::kError;
            answer.error = text;
        } else {
            answer.lines.push_back(text);
        }
    };
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') endLine();
        else line += c;
    }
    // A last line without its line end is not complete: a final result code
    // counts only once its line has ended.
    return answer;
}

std::optional<std::string> FirstLine(const AtAnswer& answer) {
    if (!answer.Ok() || answer.lines.empty()) return std::nullopt;
    return answer.lines.front();
}

SimReport ParseCpin(const AtAnswer& answer) {
    SimReport report;
    if (answer.end == AtAnswer::End::kError) {
        report.code = answer.error;
        const std::string& e = answer.error;
        if (e == "ERROR") report.status = SimStatus::kNoSimOrFailure;
        else if (e == "+CME ERROR: 10" || e == "+CME ERROR: SIM not inserted") report.status = SimStatus::kAbsent;
        else if (e == "+CME ERROR: 13" || e == "+CME ERROR: 14" || e == "+CME ERROR: 15" ||
                 e == "+CME ERROR: SIM failure" || e == "+CME ERROR: SIM busy" || e == "+CME ERROR: SIM wrong")
            report.status = SimStatus::kFailure;
        return report;
    }
    const auto params = Params(answer, "+CPIN");
    if (!params || params->size() != 1) return report;
    report.code = params->front();
    if (report.code == "READY") report.status = SimStatus::kReady;
    else if (report.code == "SIM PIN") report.status = SimStatus::kPinNeeded;
    else if (report.code == "SIM PUK") report.status = SimStatus::kPukNeeded;
    else if (!report.code.empty()) report.status = SimStatus::kOtherCode;
    return report;
}

int Signal::Bars() const {
    if (!Known() || rssi <= 0) return 0;
    if (rssi < 10) return 1;
    if (rssi < 15) return 2;
    if (rssi < 20) return 3;
    if (rssi < 25) return 4;
    return 5;
}

std::optional<Signal> ParseCsq(const AtAnswer& answer) {
    const auto params = Params(answer, "+CSQ");
    if (!params || params->size() != 2) return std::nullopt;
    const auto rssi = Number((*params)[0], 0, 99);
    const auto ber = Number((*params)[1], 0, 99);
    if (!rssi || !ber || (*rssi > 31 && *rssi != 99) || (*ber > 7 && *ber != 99)) return std::nullopt;
    return Signal{*rssi, *ber};
}

std::optional<Registration> ParseCreg(const AtAnswer& answer) {
    // The read command's answer always starts with <n>; the unsolicited form
    // (+CREG: <stat>) does not belong here.
    const auto params = Params(answer, "+CREG");
    if (!params || (params->size() != 2 && params->size() != 4)) return std::nullopt;
    if (!Number((*params)[0], 0, 2)) return std::nullopt;
    const auto stat = Number((*params)[1], 0, 5);
    if (!stat) return std::nullopt;
    return static_cast<Registration>(*stat);
}

std::optional<ServiceCentre> ParseCsca(const AtAnswer& answer) {
    const auto params = Params(answer, "+CSCA");
    if (!params || params->empty() || params->size() > 2) return std::nullopt;
    const auto number = Unquote((*params)[0]);
    if (!number) return std::nullopt;
    ServiceCentre centre;
    centre.number = FromUcs2Number(*number);
    if (params->size() == 2) {
        const auto type = Number((*params)[1], 0, 255);
        if (!type) return std::nullopt;
        centre.type = *type;
    }
    return centre;
}

std::optional<int> ParseCmgf(const AtAnswer& answer) {
    const auto params = Params(answer, "+CMGF");
    if (!params || params->size() != 1) return std::nullopt;
    return Number(params->front(), 0, 1);
}

std::optional<Storage> ParseCpms(const AtAnswer& answer) {
    const auto params = Params(answer, "+CPMS");
    if (!params || params->size() < 3) return std::nullopt;
    const auto used = Number((*params)[1], 0, 1000);
    const auto total = Number((*params)[2], 0, 1000);
    if (!used || !total || *used > *total) return std::nullopt;
    std::string memory = (*params)[0];
    if (memory.size() >= 2 && memory.front() == '"' && memory.back() == '"')
        memory = memory.substr(1, memory.size() - 2);
    return Storage{memory, *used, *total};
}

std::vector<Problem> ProblemsOf(const ModemFacts& facts) {
    std::vector<Problem> problems;
    if (facts.baud > vantor::link::kMaxBaudRate) problems.push_back(Problem::kBaudTooHigh);
    switch (facts.sim.status) {
        case SimStatus::kReady: break;
        case SimStatus::kPinNeeded: problems.push_back(Problem::kSimPin); break;
        case SimStatus::kPukNeeded: problems.push_back(Problem::kSimPuk); break;
        case SimStatus::kAbsent:
        case SimStatus::kFailure:
        case SimStatus::kNoSimOrFailure: problems.push_back(Problem::kNoSim); break;
        case SimStatus::kOtherCode:
        case SimStatus::kUnknown: problems.push_back(Problem::kSimOther); break;
    }
    if (!facts.registration || !Registered(*facts.registration)) problems.push_back(Problem::kNotRegistered);
    if (!facts.signal || facts.signal->Bars() == 0) problems.push_back(Problem::kNoSignal);
    // Only an answer that shows an empty address counts; a refused AT+CSCA?
    // follows from a SIM problem listed above.
    if (facts.serviceCentre && facts.serviceCentre->number.empty()) problems.push_back(Problem::kNoServiceCentre);
    return problems;
}

}  // namespace vhost
