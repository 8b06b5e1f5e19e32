#include "diag/trace.h"

#include <cstdarg>
#include <cstdio>

#include "os/os.h"

namespace vantor {

namespace {
constexpr std::size_t kLineSize = 1024;
}

void Trace(const char* format, ...) noexcept {
    char line[kLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    os::OutputDebugStringA(line);
}

void TraceBytes(const char* prefix, const std::uint8_t* bytes, std::size_t length) noexcept {
    char line[kLineSize];
    std::size_t n = 0;
    for (const char* p = prefix; *p != '\0' && n < kLineSize - 2; ++p) line[n++] = *p;
    for (std::size_t i = 0; i < length && n < kLineSize - 2; ++i)
        line[n++] = bytes[i] == 0 ? '.' : static_cast<char>(bytes[i]);
    line[n++] = '\n';
    line[n] = '\0';
    os::OutputDebugStringA(line);
}

}  // namespace vantor
