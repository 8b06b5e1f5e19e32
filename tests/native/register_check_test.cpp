// Register names and device addresses as the host's users type them, and the
// error code each failure leaves for GetErrorText.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/register_table.h"
#include "os/virt/virt.h"
#include "register_test_driver.h"

using namespace vantor;

namespace {

constexpr std::uint8_t kSentinel = 0xA5;
constexpr int kUntouched = -99;

class RegisterCheck : public ::testing::Test {
protected:
    void SetUp() override { os::virt::Reset(); }

    static RegisterQuery Query(const std::string& name, std::int16_t type) {
        RegisterQuery q;
        std::memset(&q, 0x5A, sizeof q);
        EXPECT_LT(name.size(), sizeof q.name);
        std::memcpy(q.name, name.c_str(), name.size() + 1);
        q.dataType = type;
        return q;
    }

    static RegisterRef SentinelRef() {
        RegisterRef r;
        std::memset(&r, kSentinel, sizeof r);
        return r;
    }

    std::int16_t Check(const RegisterQuery& q, RegisterRef& ref) {
        return driver.CheckRegister(&q, &ref, kRegisterTable, kRegisterCount);
    }

    register_test::BareDriver driver;
};

struct NameCase {
    std::string name;
    std::int16_t type;
    int result;
    int code;      // LastErrorCode afterwards; -1 = still none
    int kind;      // kUntouched: kind and row not written
    int subIndex;  // kUntouched: not written
    int dataType;  // kUntouched: not written
};

const std::string kBlanks32(32, ' ');

const std::vector<NameCase> kNameCases = {
    // valid names
    {"CMGF", 2, 0, -1, kCMGF, 0, 2},
    {"  CMGF  ", 2, 0, -1, kCMGF, 0, 2},
    {"AT", 2, 0, -1, kAT, 0, 2},
    {"MsgNew3", 256, 0, -1, kMsgNew, 3, 256},
    {"MsgNew03", 256, 0, -1, kMsgNew, 3, 256},
    {"MsgNew0000000000000000000000009", 256, 0, -1, kMsgNew, 9, 256},
    {"MsgNec0", 256, 0, -1, kMsgNec, 0, 256},
    {"MsgOld19", 256, 0, -1, kMsgOld, 19, 256},
    {"MsgInf19", 256, 0, -1, kMsgInf, 19, 256},
    {"MsgSend1", 256, 0, -1, kMsgSend, 1, 256},
    {"EDelay", 8, 0, -1, kEDelay, 0, 8},
    {"SEND", 1, 0, -1, kSEND, 0, 1},
    {"CodeMod", 2, 0, -1, kCodeMod, 0, 2},
    {"CodeMod", 3, 0, -1, kCodeMod, 0, 3},  // one bit in common suffices
    {kBlanks32 + "Tele", 256, 0, -1, kTele, 0, 256},
    // name errors before any row matched: nothing written
    {"", 2, 1, 0, kUntouched, kUntouched, kUntouched},
    {"   ", 2, 1, 0, kUntouched, kUntouched, kUntouched},
    {std::string(40, ' '), 2, 1, 0, kUntouched, kUntouched, kUntouched},
    {" " + kBlanks32 + "CMGF", 2, 1, 0, kUntouched, kUntouched, kUntouched},
    {"cmgf", 2, 1, 0, kUntouched, kUntouched, kUntouched},
    {"\tCMGF", 2, 1, 0, kUntouched, kUntouched, kUntouched},
    {"\xbc\xc4" "CMGF", 2, 1, 0, kUntouched, kUntouched, kUntouched},
    {"Msg", 256, 1, 0, kUntouched, kUntouched, kUntouched},
    // name errors after a row matched: only the sub-index 0 is written
    {"CMGF1", 2, 1, 0, kUntouched, 0, kUntouched},
    {"NEWS", 1, 1, 0, kUntouched, 0, kUntouched},
    {"ATX", 2, 1, 0, kUntouched, 0, kUntouched},
    {"CMGF\xa0", 2, 1, 0, kUntouched, 0, kUntouched},
    {"MsgNew", 256, 1, 0, kUntouched, 0, kUntouched},
    {"  MsgNew  ", 256, 1, 0, kUntouched, 0, kUntouched},
    {"MsgNew 3", 256, 1, 0, kUntouched, 0, kUntouched},
    {"MsgNew-1", 256, 1, 0, kUntouched, 0, kUntouched},
    {"MsgNew+1", 256, 1, 0, kUntouched, 0, kUntouched},
    {"MsgNew3a", 256, 1, 0, kUntouched, 0, kUntouched},
    {"MsgNew\xb3", 256, 1, 0, kUntouched, 0, kUntouched},
    // index out of range
    {"MsgNew10", 256, 1, 3, kUntouched, 0, kUntouched},
    {"MsgOld20", 256, 1, 3, kUntouched, 0, kUntouched},
    {"MsgSend2", 256, 1, 3, kUntouched, 0, kUntouched},
    {"MsgNew65539", 256, 1, 3, kUntouched, 0, kUntouched},        // 3 as 16 bits
    {"MsgNew4294967299", 256, 1, 3, kUntouched, 0, kUntouched},   // 3 as 32 bits
    {"MsgNew99999999999999999999", 256, 1, 3, kUntouched, 0, kUntouched},
    // type errors: kind, sub-index and row written, data type not
    {"Tele", 2, 1, 4, kTele, 0, kUntouched},
    {"MsgInf7", 1, 1, 4, kMsgInf, 7, kUntouched},
    {"AT", 0, 1, 4, kAT, 0, kUntouched},
    {"NEW", 256, 1, 4, kNEW, 0, kUntouched},
};

}  // namespace

TEST_F(RegisterCheck, NamesTable) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE("name \"" + c.name + "\" type " + std::to_string(c.type));
        driver.LastErrorCode = -1;
        const RegisterQuery q = Query(c.name, c.type);
        RegisterRef ref = SentinelRef();
        EXPECT_EQ(Check(q, ref), c.result);
        EXPECT_EQ(driver.LastErrorCode, c.code);

        // Every byte not named by the case must still hold the sentinel.
        RegisterRef expected = SentinelRef();
        if (c.kind != kUntouched) {
            expected.kind = static_cast<std::int16_t>(c.kind);
            expected.row = &kRegisterTable[c.kind];
        }
        if (c.subIndex != kUntouched) expected.subIndex = static_cast<std::int16_t>(c.subIndex);
        if (c.dataType != kUntouched) expected.dataType = static_cast<std::int16_t>(c.dataType);
        EXPECT_EQ(ref.kind, expected.kind);
        EXPECT_EQ(ref.subIndex, expected.subIndex);
        EXPECT_EQ(ref.dataType, expected.dataType);
        EXPECT_EQ(ref.row, expected.row);
        EXPECT_EQ(std::memcmp(&ref, &expected, sizeof ref), 0);
    }
}

// The host's name field is 128 bytes: 127 characters still fit with their
// terminator; a field with no terminator is refused without reading on.
TEST_F(RegisterCheck, NameLengthAtTheFieldEnd) {
    RegisterRef ref = SentinelRef();
    RegisterQuery q = Query("MsgNew" + std::string(120, '0') + "3", 256);  // 127 characters
    EXPECT_EQ(Check(q, ref), 0);
    EXPECT_EQ(ref.subIndex, 3);

    // 128 characters, and the data type right after the field begins with a
    // zero byte: a reader that ran on would see a valid "MsgNew000...0".
    std::memset(q.name, '0', sizeof q.name);
    std::memcpy(q.name, "MsgNew", 6);
    q.dataType = 256;
    ref = SentinelRef();
    const RegisterRef untouched = ref;
    EXPECT_EQ(Check(q, ref), 1);
    EXPECT_EQ(driver.LastErrorCode, 0);
    EXPECT_EQ(std::memcmp(&ref, &untouched, sizeof ref), 0);
}

TEST_F(RegisterCheck, ThousandByteNameIsRefused) {
    // A host that wrote a 1000-byte name ran it through its whole record and
    // beyond; the check must look at the 128-byte field only.
    constexpr std::size_t kNameLength = 1000;
    std::vector<std::uint64_t> storage((offsetof(RegisterQuery, name) + kNameLength + 1 + 7) / 8 + 1);
    auto* raw = reinterpret_cast<char*>(storage.data());
    char* name = raw + offsetof(RegisterQuery, name);
    std::memset(name, ' ', kNameLength);
    std::memcpy(name, "CMGF", 4);  // "CMGF" and 996 blanks, which trimming would remove
    name[kNameLength] = '\0';
    RegisterRef ref = SentinelRef();
    const RegisterRef untouched = ref;
    EXPECT_EQ(driver.CheckRegister(reinterpret_cast<const RegisterQuery*>(raw), &ref, kRegisterTable,
                                   kRegisterCount),
              1);
    EXPECT_EQ(driver.LastErrorCode, 0);
    EXPECT_EQ(std::memcmp(&ref, &untouched, sizeof ref), 0);
}

TEST_F(RegisterCheck, NullRecordsAreInvalid) {
    const RegisterQuery q = Query("CMGF", 2);
    RegisterRef ref = SentinelRef();
    const RegisterRef untouched = ref;
    EXPECT_EQ(driver.CheckRegister(nullptr, &ref, kRegisterTable, kRegisterCount), 1);
    EXPECT_EQ(driver.LastErrorCode, 0);
    EXPECT_EQ(std::memcmp(&ref, &untouched, sizeof ref), 0);
    driver.LastErrorCode = -1;
    EXPECT_EQ(driver.CheckRegister(&q, nullptr, kRegisterTable, kRegisterCount), 1);
    EXPECT_EQ(driver.LastErrorCode, 0);
}

TEST_F(RegisterCheck, DeviceAddressTable) {
    struct AddressCase {
        const char* text;
        int result;
        int address;  // written on success only
    };
    const AddressCase cases[] = {
        {"0", 1, 0},
        {"256", 1, 256},
        {"0256", 1, 256},
        {"", 1, 0},
        {"65536", 1, 0},
        {"65537", 1, 1},
        {"65792", 1, 256},
        {"18446744073709551616", 1, 0},    // 2^64
        {"18446744073709551872", 1, 256},  // 2^64 + 256
        {"257", 0, 0},
        {"65535", 0, 0},
        {"65793", 0, 0},
        {"18446744073709551873", 0, 0},    // 2^64 + 257
        {"99999999999999999999", 0, 0},    // 65535 modulo 65536
        {"12a", 0, 0},
        {"-1", 0, 0},
        {"+1", 0, 0},
        {" 1", 0, 0},
        {"1 ", 0, 0},
        {"\xb1", 0, 0},
    };
    constexpr std::int32_t kUnwritten = 0x5A5A5A5A;
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(std::string("address \"") + c.text + "\"");
        driver.LastErrorCode = -1;
        std::int32_t address = kUnwritten;
        EXPECT_EQ(driver.CheckDeviceAddress(c.text, &address), c.result);
        EXPECT_EQ(address, c.result == 1 ? c.address : kUnwritten);
        EXPECT_EQ(driver.LastErrorCode, c.result == 1 ? -1 : 1);
    }
    std::int32_t address = kUnwritten;
    EXPECT_EQ(driver.CheckDeviceAddress(nullptr, &address), 0);
    EXPECT_EQ(address, kUnwritten);
    EXPECT_EQ(driver.CheckDeviceAddress("1", nullptr), 0);
}

TEST_F(RegisterCheck, ErrorTextLifecycle) {
    EXPECT_EQ(driver.LastErrorCode, -1);
    EXPECT_EQ(driver.GetErrorText(), nullptr);

    RegisterRef ref = SentinelRef();
    EXPECT_EQ(Check(Query("MsgNew10", 256), ref), 1);
    EXPECT_EQ(driver.GetErrorText(), ErrorText(3));
    EXPECT_EQ(driver.GetErrorText(), nullptr);  // read once

    // A later success keeps the code of the earlier failure.
    EXPECT_EQ(Check(Query("Tele", 2), ref), 1);
    EXPECT_EQ(Check(Query("Tele", 256), ref), 0);
    std::int32_t address = 0;
    EXPECT_EQ(driver.CheckDeviceAddress("7", &address), 1);
    EXPECT_EQ(driver.GetErrorText(), ErrorText(4));

    EXPECT_EQ(driver.CheckDeviceAddress("x", &address), 0);
    EXPECT_EQ(driver.GetErrorText(), ErrorText(1));

    // Codes outside 0..4 give no text and are cleared all the same.
    for (std::int32_t code : {2, 5, -2, 1000}) {
        driver.LastErrorCode = code;
        EXPECT_EQ(driver.GetErrorText(), code == 2 ? ErrorText(2) : nullptr);
        EXPECT_EQ(driver.LastErrorCode, -1);
    }
}
