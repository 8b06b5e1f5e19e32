#include "detect.h"

#include <windows.h>

#include "console_text.h"
#include "detect_report.h"
#include "serial_probe.h"

namespace vhost {
namespace {

// The rates the TC35 recognises by autobauding, the usual ones first; 115200,
// which the driver does not open, last (ParseBaudList keeps it there).
const char kDefaultBauds[] = "9600,19200,38400,57600,4800,2400,1200,115200";
const char kDefaultPorts[] = "COM1-COM32";

// Time for an answer to AT (a modem at the wrong rate, or none, is silent)
// and for the answer to one of the read commands.
constexpr DWORD kProbeMs = 400;
constexpr DWORD kQueryMs = 2000;

ModemFacts Question(SerialProbe& port, const std::string& name, int baud) {
    ModemFacts facts;
    facts.port = name;
    facts.baud = baud;
    facts.manufacturer = FirstLine(port.Ask("AT+CGMI", kQueryMs));
    facts.model = FirstLine(port.Ask("AT+CGMM", kQueryMs));
    facts.sim = ParseCpin(port.Ask("AT+CPIN?", kQueryMs));
    facts.signal = ParseCsq(port.Ask("AT+CSQ", kQueryMs));
    facts.registration = ParseCreg(port.Ask("AT+CREG?", kQueryMs));
    const AtAnswer csca = port.Ask("AT+CSCA?", kQueryMs);
    facts.serviceCentre = ParseCsca(csca);
    facts.serviceCentreError = csca.error;
    facts.messageFormat = ParseCmgf(port.Ask("AT+CMGF?", kQueryMs));
    facts.storage = ParseCpms(port.Ask("AT+CPMS?", kQueryMs));
    return facts;
}

// The first baud rate at which the modem answers AT, in the list's order (the
// rates the driver opens first). Two tries each: after power-up the TC35
// takes its rate from the first AT and may miss it.
int AnsweringBaud(SerialProbe& port, const std::vector<int>& bauds) {
    for (const int baud : bauds) {
        if (!port.SetBaud(baud)) continue;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (port.Ask("AT", kProbeMs).Ok()) return baud;
        }
    }
    return 0;
}

}  // namespace

int RunDetect(const std::vector<std::string>& args) {
    std::string portsText = kDefaultPorts;
    std::string baudsText = kDefaultBauds;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--ports" && hasValue) portsText = args[++i];
        else if (args[i] == "--bauds" && hasValue) baudsText = args[++i];
        else {
            Err("usage: vantorhost detect [--ports COM1-COM32] [--bauds 9600,19200,...]\n");
            return 2;
        }
    }
    const auto ports = ParsePortList(portsText);
    const auto bauds = ParseBaudList(baudsText);
    if (!ports || !bauds) {
        Err("detect: bad " + std::string(!ports ? "--ports " + portsText : "--bauds " + baudsText) +
            " (e.g. --ports COM1-COM8,COM12 --bauds 9600,19200)\n");
        return 2;
    }
    const Language language = ConsoleLanguage();
    OutUtf8(SearchLine(portsText, *bauds, language));

    std::vector<ModemFacts> modems;
    int existing = 0;
    for (const int number : *ports) {
        const std::string name = "COM" + std::to_string(number);
        SerialProbe port;
        unsigned long error = 0;
        switch (port.OpenPort(number, error)) {
            case SerialProbe::Open::kMissing: continue;
            case SerialProbe::Open::kBusy:
                ++existing;
                OutUtf8(PortLine(name, PortOutcome::kBusy, error, language));
                continue;
            case SerialProbe::Open::kFailed:
                ++existing;
                OutUtf8(PortLine(name, PortOutcome::kOpenFailed, error, language));
                continue;
            case SerialProbe::Open::kOpened: ++existing; break;
        }
        const int baud = AnsweringBaud(port, *bauds);
        if (baud == 0) {
            OutUtf8(PortLine(name, PortOutcome::kNoAnswer, 0, language));
            continue;
        }
        modems.push_back(Question(port, name, baud));
        OutUtf8(ModemBlock(modems.back(), language));
    }
    if (existing == 0) OutUtf8(NoPortLine(portsText, language));
    bool usable = false;
    OutUtf8(Conclusion(modems, portsText, *bauds, language, &usable));
    return usable ? 0 : 1;
}

}  // namespace vhost
