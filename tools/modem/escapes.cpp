#include "modem/escapes.h"

namespace modem {

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        char e = text[++i];
        if (e == 'r') out += '\r';
        else if (e == 'n') out += '\n';
        else if (e == 't') out += '\t';
        else if (e == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else out += e;
    }
    return out;
}

}  // namespace modem
