// Escaped byte texts, as the control lines and the recorded captures write them.
#pragma once

#include <string>

namespace modem {

// Turns \r \n \t \\ and \xNN escapes into bytes; any other escaped
// character stands for itself.
std::string Unescape(const std::string& text);

}  // namespace modem
