// The checks the host runs while it is configured, over arbitrary records:
// CheckRegister with any RegisterQuery bytes (names without a terminator in
// their 128 bytes, any data type) and any row count, and CheckDeviceAddress
// with any text. A valid result always names a real row, an index inside that
// row's range and an allowed type; a refusal always leaves an error code
// that has a text.
#include <cstring>
#include <memory>

#include "device/gsm_modem.h"
#include "fuzz_common.h"
#include "host/register_table.h"

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t control = in.Byte();
    const std::int32_t rows = control % (kRegisterCount + 1);
    const bool noTable = control >= 0xF0;

    auto query = std::make_unique<RegisterQuery>();
    std::memset(query.get(), 0, sizeof(RegisterQuery));
    query->dataType = static_cast<std::int16_t>(in.U16());
    const std::string name = in.Bytes(sizeof query->name);
    std::memcpy(query->name, name.data(), name.size());

    auto device = std::make_unique<CGsmModem>();
    auto ref = std::make_unique<RegisterRef>();
    std::memset(ref.get(), 0xA5, sizeof(RegisterRef));
    const RegisterDef* table = noTable ? nullptr : kRegisterTable;
    const std::int16_t invalid = device->CheckRegister(query.get(), ref.get(), table, rows);

    if (invalid == 0) {
        FUZZ_CHECK(table != nullptr);
        FUZZ_CHECK(ref->kind >= 0 && ref->kind < rows);
        const RegisterDef& row = kRegisterTable[ref->kind];
        FUZZ_CHECK(ref->row == &row);
        if (row.lowestIndex < row.highestIndex)
            FUZZ_CHECK(ref->subIndex >= row.lowestIndex && ref->subIndex <= row.highestIndex);
        else
            FUZZ_CHECK(ref->subIndex == 0);
        FUZZ_CHECK(ref->dataType == query->dataType);
        FUZZ_CHECK((static_cast<std::uint16_t>(ref->dataType) & row.allowedTypes) != 0);
        // The name was terminated inside its field and holds the row's name.
        FUZZ_CHECK(std::memchr(query->name, '\0', sizeof query->name) != nullptr);
        FUZZ_CHECK(std::strstr(query->name, std::string(row.name, strnlen(row.name, 8)).c_str()));
    } else {
        FUZZ_CHECK(invalid == 1);
        const std::int32_t code = device->LastErrorCode;
        FUZZ_CHECK(code == 0 || code == 3 || code == 4);
        FUZZ_CHECK(device->GetErrorText() != nullptr);
        FUZZ_CHECK(device->LastErrorCode == -1);
    }

    // The rest of the input as an address text, in a buffer of exactly its size.
    const std::string rest = in.Rest();
    const std::unique_ptr<char[]> text = fuzz::ExactCopy(rest);
    std::int32_t address = -7;
    if (device->CheckDeviceAddress(text.get(), &address) == 1) {
        FUZZ_CHECK(address >= 0 && address <= 256);
        for (const char* p = text.get(); *p; ++p) FUZZ_CHECK(*p >= '0' && *p <= '9');
    } else {
        FUZZ_CHECK(address == -7);
        FUZZ_CHECK(device->LastErrorCode == 1);
        FUZZ_CHECK(device->GetErrorText() != nullptr);
    }
    return 0;
}
