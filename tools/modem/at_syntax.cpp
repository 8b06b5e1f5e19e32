#include "modem/at_syntax.h"

#include <cctype>

namespace modem {

std::string NormalizeCommandLine(const std::string& after_prefix) {
    std::string out;
    bool quoted = false;
    for (char c : after_prefix) {
        if (c == '"') quoted = !quoted;
        if (!quoted && c == ' ') continue;
        out.push_back(quoted ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return out;
}

bool SplitCommands(const std::string& line, std::vector<CommandPart>* parts) {
    parts->clear();
    std::size_t i = 0;
    while (i < line.size()) {
        CommandPart part;
        char c = line[i];
        if (c == '+' || c == '^') {
            // Extended command: name up to '=', '?' or ';'; arguments up to an
            // unquoted ';' (V.25ter 5.4.1).
            std::size_t start = i++;
            while (i < line.size() && std::isalnum(static_cast<unsigned char>(line[i]))) ++i;
            part.name = line.substr(start, i - start);
            std::size_t args = i;
            bool quoted = false;
            while (i < line.size() && (quoted || line[i] != ';')) {
                if (line[i] == '"') quoted = !quoted;
                ++i;
            }
            part.args = line.substr(args, i - args);
            if (i < line.size()) ++i;  // the ';'
        } else if (c == '&' || std::isalpha(static_cast<unsigned char>(c))) {
            // Basic command: a letter (after '&' for the ampersand set) and a
            // number; S-registers take "n?" or "n=v".
            std::size_t start = i;
            if (c == '&') ++i;
            if (i >= line.size() || !std::isalpha(static_cast<unsigned char>(line[i]))) return false;
            ++i;
            part.name = line.substr(start, i - start);
            std::size_t args = i;
            while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
            if (part.name == "S" && i < line.size() && (line[i] == '?' || line[i] == '=')) {
                if (line[i] == '?') {
                    ++i;
                } else {
                    ++i;
                    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
                }
            }
            part.args = line.substr(args, i - args);
        } else {
            return false;
        }
        parts->push_back(part);
    }
    return true;
}

std::vector<std::string> SplitParams(const std::string& text) {
    std::vector<std::string> params(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            params.emplace_back();
        } else {
            params.back().push_back(c);
        }
    }
    return params;
}

bool Unquote(const std::string& param, std::string* inner) {
    if (param.size() < 2 || param.front() != '"' || param.back() != '"') return false;
    *inner = param.substr(1, param.size() - 2);
    return true;
}

bool ParseInt(const std::string& param, int* value) {
    if (param.empty() || param.size() > 9) return false;
    int v = 0;
    for (char c : param) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

}  // namespace modem
