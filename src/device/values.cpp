// Conversions between a host variable's value and bytes, by HostDataType.
// Buffers are little-endian, low byte first. Only the bytes a type owns are
// written into the item; the rest of its value field keeps what it held.
#include "device/values.h"

#include <cstring>

#include "os/os.h"

namespace vantor {

namespace {

constexpr int kTextSize = 255;  // a text held as a global atom

bool InTable(std::uint16_t code) noexcept {
    switch (code) {
        case kType1: case kType2: case kType4: case kType8: case kType16:
        case kType32: case kType64: case kType128: case kTypeText:
            return true;
        default:
            return false;
    }
}

std::uint32_t Load(const std::uint8_t* bytes, int count) noexcept {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

void Store(std::uint32_t value, std::uint8_t* bytes, int count) noexcept {
    for (int i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t WithLow8(std::uint32_t field, std::uint32_t low) noexcept {
    return (field & 0xFFFFFF00u) | (low & 0xFFu);
}

std::uint32_t WithLow16(std::uint32_t field, std::uint32_t low) noexcept {
    return (field & 0xFFFF0000u) | (low & 0xFFFFu);
}

}  // namespace

bool ParseFormat(const char* answer, std::int8_t* format) noexcept {
    const char* p = std::strstr(answer, "+CMGF:");
    if (p == nullptr) return false;
    p += 6;
    while (*p == ' ') ++p;
    *format = static_cast<std::int8_t>(*p - '0');
    return true;
}

std::uint16_t BcdToBinary16(std::uint16_t bcd) noexcept {
    std::uint32_t result = 0;
    for (int shift = 12; shift >= 0; shift -= 4) result = result * 10 + ((bcd >> shift) & 0xFu);
    return static_cast<std::uint16_t>(result);  // at most 16665
}

std::uint32_t BcdToBinary32(std::uint32_t bcd) noexcept {
    std::uint32_t result = 0;
    for (int shift = 28; shift >= 0; shift -= 4) result = result * 10 + ((bcd >> shift) & 0xFu);
    return result;  // at most 166666665
}

int ItemToBytes(const IoItem* item, std::uint8_t* destination, std::int32_t selector) noexcept {
    if (item == nullptr || destination == nullptr || !InTable(item->dataType)) return 0;
    const std::uint32_t value = selector == 1 ? item->value : item->value2;
    switch (item->dataType) {
        case kType2:
            Store(value, destination, 1);
            break;
        case kType4:
        case kType8:
        case kType16:  // BCD is handed on as it is held
            Store(value, destination, 2);
            break;
        case kTypeText: {
            const auto atom = static_cast<std::uint16_t>(value);
            if (atom == 0) {
                std::memset(destination, 0, kTextSize);
                break;
            }
            // An atom the table no longer knows reads as an empty text.
            destination[0] = 0;
            os::GlobalGetAtomNameA(atom, reinterpret_cast<char*>(destination), kTextSize);
            break;
        }
        default:  // 1, 32, 64, 128: the whole field
            Store(value, destination, 4);
            break;
    }
    return 1;
}

int BytesToItem(IoItem* item, const std::uint8_t* source, std::int32_t selector,
                std::int32_t quality) noexcept {
    if (item == nullptr || source == nullptr || !InTable(item->dataType)) return 0;
    std::uint32_t& field = selector == 1 ? item->value : item->value2;
    switch (item->dataType) {
        case kType2:
            field = WithLow8(field, source[0]);
            break;
        case kType4:
            field = WithLow16(field, Load(source, 2));
            break;
        case kType8:
            field = Load(source, 2);
            break;
        case kType16:
            field = WithLow16(field, BcdToBinary16(static_cast<std::uint16_t>(Load(source, 2))));
            break;
        case kType64:
            field = BcdToBinary32(Load(source, 4));
            break;
        case kTypeText:
            // A text the atom table refuses (empty, or longer than 255) is
            // stored as atom 0, the empty text, and still delivered.
            field = WithLow16(field, os::GlobalAddAtomA(reinterpret_cast<const char*>(source)));
            break;
        default:  // 1, 32, 128
            field = Load(source, 4);
            break;
    }
    if (selector == 1) {
        item->timeStamp = os::CoFileTimeNow();
        item->quality = static_cast<std::uint16_t>(quality);
    }
    return 1;
}

}  // namespace vantor
