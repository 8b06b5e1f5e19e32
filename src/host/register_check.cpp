// The checks the host runs while it is configured: the register table, the
// register name of each variable, the device address, and the error text that
// explains the last failed check.
#include "host/register_check.h"

#include <cstring>

#include "host/register_table.h"

namespace vantor::host {

namespace {

constexpr std::size_t kWorkingTextSize = 128;  // the host's name field
constexpr int kMaxLeadingBlanks = 32;

constexpr std::int32_t kNameError = 0;
constexpr std::int32_t kAddressError = 1;
constexpr std::int32_t kIndexRangeError = 3;
constexpr std::int32_t kTypeError = 4;

constexpr bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// A row name fills its 8 bytes at most; it need not be terminated there.
std::size_t NameLength(const RegisterDef& row) noexcept {
    std::size_t n = 0;
    while (n < sizeof(row.name) && row.name[n] != '\0') ++n;
    return n;
}

// The first row (in table order) whose name begins `text`.
int FindRow(const char* text, std::size_t length, const RegisterDef* table,
            std::int32_t rows) noexcept {
    if (table == nullptr) return -1;
    for (std::int32_t i = 0; i < rows; ++i) {
        const std::size_t nameLength = NameLength(table[i]);
        if (nameLength <= length && std::memcmp(text, table[i].name, nameLength) == 0) return i;
    }
    return -1;
}

}  // namespace

int GetRegisterTable(const RegisterDef** rows, std::int32_t* count) noexcept {
    if (rows == nullptr || count == nullptr) return 0;
    *rows = kRegisterTable;
    *count = kRegisterCount;
    return 1;
}

std::int16_t CheckRegister(const RegisterQuery* query, RegisterRef* ref, const RegisterDef* table,
                           std::int32_t rows, std::int32_t* errorCode) noexcept {
    if (query == nullptr || ref == nullptr) {
        *errorCode = kNameError;
        return 1;
    }
    // The host's field is 128 bytes; a name with no terminator inside it is
    // refused rather than read past the field.
    const void* end = std::memchr(query->name, '\0', kWorkingTextSize);
    if (end == nullptr) {
        *errorCode = kNameError;
        return 1;
    }
    char text[kWorkingTextSize];
    std::size_t length = static_cast<std::size_t>(static_cast<const char*>(end) - query->name);
    std::memcpy(text, query->name, length + 1);

    std::size_t start = 0;
    while (start < length && static_cast<int>(start) < kMaxLeadingBlanks && text[start] == ' ')
        ++start;
    if (start == length) {
        *errorCode = kNameError;
        return 1;
    }
    while (length > start && text[length - 1] == ' ') --length;
    const char* name = text + start;
    length -= start;

    const int row = FindRow(name, length, table, rows);
    if (row < 0) {
        *errorCode = kNameError;
        return 1;
    }
    const RegisterDef& def = table[row];
    const std::size_t nameLength = NameLength(def);
    ref->subIndex = 0;

    std::int16_t subIndex = 0;
    if (def.lowestIndex < def.highestIndex) {
        const char* digits = name + nameLength;
        const std::size_t count = length - nameLength;
        if (count == 0) {
            *errorCode = kNameError;
            return 1;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (!IsDigit(digits[i])) {
                *errorCode = kNameError;
                return 1;
            }
        }
        // Saturate above the signed 32-bit range: such a value is above every
        // highest index.
        constexpr std::int64_t kAboveAny = std::int64_t{INT32_MAX} + 1;
        std::int64_t value = 0;
        for (std::size_t i = 0; i < count && value < kAboveAny; ++i)
            value = value * 10 + (digits[i] - '0');
        if (value < def.lowestIndex || value > def.highestIndex) {
            *errorCode = kIndexRangeError;
            return 1;
        }
        subIndex = static_cast<std::int16_t>(value);
    } else if (length > nameLength) {
        *errorCode = kNameError;
        return 1;
    }

    ref->kind = static_cast<std::int16_t>(row);
    ref->subIndex = subIndex;
    ref->row = &def;
    if ((static_cast<std::uint16_t>(query->dataType) & def.allowedTypes) == 0) {
        *errorCode = kTypeError;
        return 1;
    }
    ref->dataType = query->dataType;
    return 0;
}

int CheckDeviceAddress(const char* text, std::int32_t* address, std::int32_t* errorCode) noexcept {
    if (text == nullptr || address == nullptr) {
        *errorCode = kAddressError;
        return 0;
    }
    // The address is an unsigned 16-bit number: reduce as the digits come so
    // that any length of text stays exact.
    std::uint32_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (!IsDigit(*p)) {
            *errorCode = kAddressError;
            return 0;
        }
        value = (value * 10 + static_cast<std::uint32_t>(*p - '0')) & 0xFFFFu;
    }
    if (value > 256) {
        *errorCode = kAddressError;
        return 0;
    }
    *address = static_cast<std::int32_t>(value);
    return 1;
}

const char* TakeErrorText(std::int32_t* errorCode) noexcept {
    const std::int32_t code = *errorCode;
    *errorCode = -1;
    return ErrorText(code);
}

}  // namespace vantor::host
