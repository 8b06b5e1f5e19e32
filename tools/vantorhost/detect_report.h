// The commissioning check's arguments and the report it prints, in English or
// Chinese. Plain C++ (texts are UTF-8), so the native tests can check them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "modem_status.h"

namespace vhost {

enum class Language { kEnglish, kChinese };

// "COM1-COM32", "COM3,COM5-COM7", "5" ... -> port numbers 1..256 in the order
// given, without repeats. Empty optional on a malformed list.
std::optional<std::vector<int>> ParsePortList(const std::string& text);
// "9600,19200" -> baud rates (300 .. 460800) in the order they are tried:
// those the driver opens first, in the order given, then the faster ones, so
// that an autobauding modem is found at a rate the driver can use.
std::optional<std::vector<int>> ParseBaudList(const std::string& text);

// The first line: what will be searched.
std::string SearchLine(const std::string& ports, const std::vector<int>& bauds, Language language);

// One line for a port that exists but gave no modem.
enum class PortOutcome { kNoAnswer, kBusy, kOpenFailed };
std::string PortLine(const std::string& port, PortOutcome outcome, unsigned long error, Language language);

// When not one of the ports exists on this computer.
std::string NoPortLine(const std::string& ports, Language language);

// The block for a modem that answered: identity, SIM, signal, network,
// service centre, message format, and what to do about each problem.
std::string ModemBlock(const ModemFacts& facts, Language language);

// The closing sentence with the options to use. `usable` is set when a modem
// can send messages as it stands.
std::string Conclusion(const std::vector<ModemFacts>& modems, const std::string& ports,
                       const std::vector<int>& bauds, Language language, bool* usable);

}  // namespace vhost
