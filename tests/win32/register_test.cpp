// The register checks and host value conversions as the host meets them in
// the built Vantor.dll: the table read as raw 32-bit rows, RegisterRef fields
// at their byte offsets, GBK texts through the real ANSI code page, and text
// values as process-wide global atoms.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "com_fixture.h"
#include "device/values.h"

namespace vantor::test {
namespace {

using RegisterTest = ComTest;

// Host records are larger than the fields the module uses; the checks must
// write exactly their fields and nothing around them.
constexpr std::uint8_t kSentinel = 0xA5;
constexpr std::size_t kRecordSize = 256;
// The row pointer sits at 44 in the host's 32-bit record; the x86_64 twin
// keeps every other offset and moves the wider pointer behind the fields.
constexpr std::size_t kRefRow = sizeof(void*) == 4 ? 44 : 64;
constexpr std::size_t kRefKind = 48, kRefSubIndex = 56, kRefDataType = 58;

std::int16_t I16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::int16_t v;
    std::memcpy(&v, bytes.data() + offset, 2);
    return v;
}

std::uint32_t U32(const std::uint8_t* bytes) {
    std::uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
}

std::wstring FromAnsi(const char* text) {
    wchar_t wide[128] = {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 128);
    return n > 0 ? std::wstring(wide, static_cast<std::size_t>(n - 1)) : std::wstring();
}

TEST_F(RegisterTest, TableRowsAsRawBytesInsideTheModule) {
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver);
    const RegisterDef* rows = nullptr;
    std::int32_t count = 0;
    ASSERT_EQ(device.driver->GetRegisterTable(0, &rows, &count), 1);
    ASSERT_EQ(count, 17);

    // The table is the module's own constant data, alive as long as the module.
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_NE(VirtualQuery(rows, &info, sizeof info), 0u);
    EXPECT_EQ(info.AllocationBase, static_cast<void*>(dll_.Handle()));

    struct Expected {
        const char* name;
        std::int32_t lowest, highest;
        std::uint16_t types;
    };
    const Expected expected[17] = {
        {"AT", 0, 0, 2},       {"CMGF", 0, 0, 2},      {"CSCA", 0, 0, 256},   {"CMGD", 0, 0, 2},
        {"NEW", 0, 0, 1},      {"MsgNew", 0, 9, 256},  {"MsgNec", 0, 9, 256}, {"OLD", 0, 0, 1},
        {"MsgOld", 0, 19, 256}, {"MsgInf", 0, 19, 256}, {"SEND", 0, 0, 1},     {"Tele", 0, 0, 256},
        {"MsgSend", 0, 1, 256}, {"ReSTime", 0, 0, 2},   {"EDelay", 0, 0, 8},   {"SReturn", 0, 0, 2},
        {"CodeMod", 0, 0, 2},
    };
    const auto* base = reinterpret_cast<const std::uint8_t*>(rows);
    for (int i = 0; i < 17; ++i) {
        SCOPED_TRACE(expected[i].name);
        const std::uint8_t* row = base + 24 * i;
        char name[9] = {};
        std::memcpy(name, row, 8);
        EXPECT_STREQ(name, expected[i].name);
        EXPECT_EQ(static_cast<std::int32_t>(U32(row + 8)), expected[i].lowest);
        EXPECT_EQ(static_cast<std::int32_t>(U32(row + 12)), expected[i].highest);
        EXPECT_EQ(row[16] | (row[17] << 8), expected[i].types);
        for (int b = 18; b < 24; ++b) EXPECT_EQ(row[b], 0) << "reserved byte " << b;
    }
}

TEST_F(RegisterTest, CheckRegisterWritesTheHostFieldsAtTheirOffsets) {
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver);
    const RegisterDef* rows = nullptr;
    std::int32_t count = 0;
    ASSERT_EQ(device.driver->GetRegisterTable(0, &rows, &count), 1);

    struct Case {
        const char* name;
        std::int16_t type;
        std::int32_t result;
        int kind;      // -1: kind and row untouched
        int subIndex;  // -1: untouched
        int dataType;  // -1: untouched
    };
    const Case cases[] = {
        {"  CMGF  ", 2, 0, kCMGF, 0, 2},
        {"MsgOld019", 256, 0, kMsgOld, 19, 256},
        {"CodeMod", 2, 0, kCodeMod, 0, 2},
        {"Tele", 2, 1, kTele, 0, -1},      // type error: data type left alone
        {"MsgNew10", 256, 1, -1, 0, -1},   // out of range: only the sub-index 0
        {"cmgf", 2, 1, -1, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> query(kRecordSize, 0x5A);
        std::memcpy(query.data() + 32, c.name, std::strlen(c.name) + 1);
        std::memcpy(query.data() + 160, &c.type, 2);
        std::vector<std::uint8_t> ref(kRecordSize, kSentinel);
        EXPECT_EQ(device.driver->CheckRegister(reinterpret_cast<const RegisterQuery*>(query.data()),
                                               reinterpret_cast<RegisterRef*>(ref.data())),
                  c.result);

        std::vector<std::uint8_t> expected(kRecordSize, kSentinel);
        if (c.kind >= 0) {
            const RegisterDef* row = rows + c.kind;
            std::memcpy(expected.data() + kRefRow, &row, sizeof row);
            const auto kind = static_cast<std::int16_t>(c.kind);
            std::memcpy(expected.data() + kRefKind, &kind, 2);
        }
        if (c.subIndex >= 0) {
            const auto sub = static_cast<std::int16_t>(c.subIndex);
            std::memcpy(expected.data() + kRefSubIndex, &sub, 2);
        }
        if (c.dataType >= 0) {
            const auto type = static_cast<std::int16_t>(c.dataType);
            std::memcpy(expected.data() + kRefDataType, &type, 2);
        }
        EXPECT_EQ(I16(ref, kRefKind), I16(expected, kRefKind));
        EXPECT_EQ(I16(ref, kRefSubIndex), I16(expected, kRefSubIndex));
        EXPECT_EQ(ref, expected);
    }
}

TEST_F(RegisterTest, DeviceAddressesAndErrorTextsInGbk) {
    ASSERT_EQ(GetACP(), 936u) << "run with LC_ALL=zh_CN.UTF-8";
    Device device = CreateDevice();
    ASSERT_TRUE(device.driver);
    IDeviceDriver* driver = device.driver.Get();

    std::int32_t address = -7;
    EXPECT_EQ(driver->CheckDeviceAddress("256", &address), 1);
    EXPECT_EQ(address, 256);
    EXPECT_EQ(driver->CheckDeviceAddress("", &address), 1);
    EXPECT_EQ(address, 0);
    EXPECT_EQ(driver->CheckDeviceAddress("18446744073709551617", &address), 1);  // 2^64 + 1
    EXPECT_EQ(address, 1);
    EXPECT_EQ(driver->GetErrorText(), nullptr);

    address = -7;
    EXPECT_EQ(driver->CheckDeviceAddress("257", &address), 0);
    EXPECT_EQ(address, -7);
    const char* text = driver->GetErrorText();
    ASSERT_NE(text, nullptr);
    // 设备地址错误!\n请查阅README文档或帮助文档!
    EXPECT_STREQ(text, "\xc9\xe8\xb1\xb8\xb5\xd8\xd6\xb7\xb4\xed\xce\xf3!\n"
                       "\xc7\xeb\xb2\xe9\xd4\xc4" "README" "\xce\xc4\xb5\xb5\xbb\xf2\xb0\xef\xd6\xfa\xce\xc4\xb5\xb5!");
    EXPECT_EQ(FromAnsi(text), L"设备地址错误!\n请查阅README文档或帮助文档!");
    EXPECT_EQ(driver->GetErrorText(), nullptr);

    struct Case {
        const char* name;
        std::int16_t type;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"NEWS", 1, L"寄存器名字错误!\n请查阅README文档或帮助文档!"},
        {"MsgSend2", 256, L"寄存器数据地址错误!\n请查阅README文档或帮助文档!"},
        {"EDelay", 2, L"数据类型错误!\n请查阅README文档或帮助文档!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> query(kRecordSize, 0);
        std::vector<std::uint8_t> ref(kRecordSize, 0);
        std::memcpy(query.data() + 32, c.name, std::strlen(c.name) + 1);
        std::memcpy(query.data() + 160, &c.type, 2);
        EXPECT_EQ(driver->CheckRegister(reinterpret_cast<const RegisterQuery*>(query.data()),
                                        reinterpret_cast<RegisterRef*>(ref.data())),
                  1);
        const char* error = driver->GetErrorText();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(FromAnsi(error), c.text);
    }
}

// Text values are global atoms: what a delivery adds, any code in the process
// (the host) reads back with GlobalGetAtomNameA.
TEST(RegisterValues, TextValuesAreProcessGlobalAtoms) {
    const char text[] = "\xd6\xd0\xce\xc4 13800138000";  // 中文 13800138000
    IoItem item{};
    item.dataType = kTypeText;
    item.value = 0xABCD0000u;
    ASSERT_EQ(BytesToItem(&item, reinterpret_cast<const std::uint8_t*>(text), 1, 192), 1);
    const auto atom = static_cast<ATOM>(item.value & 0xFFFFu);
    ASSERT_NE(atom, 0);
    EXPECT_EQ(item.value >> 16, 0xABCDu);
    EXPECT_EQ(item.quality, 192);
    EXPECT_NE(item.timeStamp.dwHighDateTime, 0u);

    char name[256] = {};
    EXPECT_EQ(GlobalGetAtomNameA(atom, name, 255), std::strlen(text));
    EXPECT_STREQ(name, text);

    std::uint8_t out[300];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(ItemToBytes(&item, out, 1), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(out), text);

    // A text the atom table refuses is delivered as atom 0, the empty text.
    const std::string tooLong(256, 'x');
    IoItem refused{};
    refused.dataType = kTypeText;
    refused.value = 0x1234;
    ASSERT_EQ(BytesToItem(&refused, reinterpret_cast<const std::uint8_t*>(tooLong.c_str()), 1, 192), 1);
    EXPECT_EQ(refused.value, 0u);
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(ItemToBytes(&refused, out, 1), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[254], 0);
    EXPECT_EQ(out[255], 0xEE);
}

}  // namespace
}  // namespace vantor::test
