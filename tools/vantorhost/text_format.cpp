#include "text_format.h"

#include <cstdarg>
#include <cstdio>

namespace vhost {

std::string Format(const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return {};
    const auto length = static_cast<std::size_t>(n);
    return std::string(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
}

}  // namespace vhost
