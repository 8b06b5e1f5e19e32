// Diagnostic trace lines: formatted into a local buffer and handed to the
// seam's sink (OutputDebugStringA on Windows, a recorder in tests).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

// printf-style line, cut at 1023 bytes.
[[gnu::format(printf, 1, 2)]] void Trace(const char* format, ...) noexcept;

// `prefix` followed by `length` raw bytes and a line feed, bytes shown as they
// are (a NUL shows as '.'); long data is cut at 1023 bytes of line.
void TraceBytes(const char* prefix, const std::uint8_t* bytes, std::size_t length) noexcept;

}  // namespace vantor
