// Conversions between a host variable (IoItem) and bytes, by HostDataType.
#pragma once

#include <cstdint>

#include "host/records.h"

namespace vantor {

// What ItemToBytes may write for a text.
inline constexpr int kItemTextSize = 255;

// Copies the item's value (selector 1: value field, else second value field)
// into `destination`. Returns 0, touching nothing, for a missing item or a
// code outside the table. For text (256) `destination` must hold
// kItemTextSize bytes.
int ItemToBytes(const IoItem* item, std::uint8_t* destination, std::int32_t selector) noexcept;

// Stores `source` into the item by its type; with selector 1 also stamps the
// time (CoFileTimeNow) and the quality (low 16 bits).
int BytesToItem(IoItem* item, const std::uint8_t* source, std::int32_t selector,
                std::int32_t quality) noexcept;

// "+CMGF: <digit>" anywhere in the NUL-terminated `answer`: the digit's
// value as a signed byte, or false without the marker.
bool ParseFormat(const char* answer, std::int8_t* format) noexcept;

std::uint16_t BcdToBinary16(std::uint16_t bcd) noexcept;
std::uint32_t BcdToBinary32(std::uint32_t bcd) noexcept;

}  // namespace vantor
