// printf-style formatting into a std::string, for vantorhost's messages. Plain
// C++, so the parts of vantorhost that the native tests check can use it.
#pragma once

#include <string>

namespace vhost {

// Text longer than 2047 bytes is cut there.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vhost
