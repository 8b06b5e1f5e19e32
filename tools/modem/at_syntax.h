// Small helpers for the AT command line syntax of V.25ter clause 5.
#pragma once

#include <string>
#include <vector>

namespace modem {

// A command line after its "AT" prefix, with blanks outside quoted strings
// removed and letters outside them upper-cased: the TC35 ignores blanks in
// unquoted parameters, so "AT+CMGD=  5" means "AT+CMGD=5".
std::string NormalizeCommandLine(const std::string& after_prefix);

// One command of a command line: its name ("+CMGL", "E", "&F", "S") and what
// follows it ("=4", "?", "=?", "1", "3=13", "").
struct CommandPart {
    std::string name;
    std::string args;
};
// Splits a normalized line into commands; false on a character that cannot
// start a command.
bool SplitCommands(const std::string& line, std::vector<CommandPart>* parts);

// Parameters of an extended command, split at commas outside quotes.
std::vector<std::string> SplitParams(const std::string& text);
// A quoted string parameter; false when it is not quoted.
bool Unquote(const std::string& param, std::string* inner);
// A decimal parameter of 1 to 9 digits; false otherwise.
bool ParseInt(const std::string& param, int* value);

}  // namespace modem
