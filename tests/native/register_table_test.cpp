// The register table as the host reads it, and the GBK error texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/register_table.h"
#include "os/os.h"
#include "os/virt/virt.h"
#include "register_test_driver.h"

using namespace vantor;

namespace {

struct ExpectedRow {
    RegisterKind kind;
    const char* name;
    std::int32_t lowest;
    std::int32_t highest;
    std::uint16_t types;
};

const ExpectedRow kExpected[] = {
    {kAT, "AT", 0, 0, 2},          {kCMGF, "CMGF", 0, 0, 2},
    {kCSCA, "CSCA", 0, 0, 256},    {kCMGD, "CMGD", 0, 0, 2},
    {kNEW, "NEW", 0, 0, 1},        {kMsgNew, "MsgNew", 0, 9, 256},
    {kMsgNec, "MsgNec", 0, 9, 256}, {kOLD, "OLD", 0, 0, 1},
    {kMsgOld, "MsgOld", 0, 19, 256}, {kMsgInf, "MsgInf", 0, 19, 256},
    {kSEND, "SEND", 0, 0, 1},      {kTele, "Tele", 0, 0, 256},
    {kMsgSend, "MsgSend", 0, 1, 256}, {kReSTime, "ReSTime", 0, 0, 2},
    {kEDelay, "EDelay", 0, 0, 8},  {kSReturn, "SReturn", 0, 0, 2},
    {kCodeMod, "CodeMod", 0, 0, 2},
};

}  // namespace

TEST(RegisterTable, RowsAsTheHostReadsThem) {
    os::virt::Reset();
    register_test::BareDriver driver;
    const RegisterDef* rows = nullptr;
    std::int32_t count = 0;
    ASSERT_EQ(driver.GetRegisterTable(0, &rows, &count), 1);
    ASSERT_EQ(rows, kRegisterTable);
    ASSERT_EQ(count, 17);

    const auto* bytes = reinterpret_cast<const std::uint8_t*>(rows);
    for (const ExpectedRow& e : kExpected) {
        SCOPED_TRACE(e.name);
        const std::uint8_t* row = bytes + 24 * e.kind;
        char name[8];
        std::memcpy(name, row, 8);
        EXPECT_EQ(std::string(name, strnlen(name, 8)), e.name);
        EXPECT_EQ(name[std::strlen(e.name)], '\0');
        std::int32_t lowest, highest;
        std::uint16_t types;
        std::memcpy(&lowest, row + 8, 4);
        std::memcpy(&highest, row + 12, 4);
        std::memcpy(&types, row + 16, 2);
        EXPECT_EQ(lowest, e.lowest);
        EXPECT_EQ(highest, e.highest);
        EXPECT_EQ(types, e.types);
        for (int i = 18; i < 24; ++i) EXPECT_EQ(row[i], 0) << "reserved byte " << i;
    }
}

// The name check takes the first row whose name begins the text; that is only
// unambiguous while no name begins another.
TEST(RegisterTable, NoNameBeginsAnother) {
    for (int i = 0; i < kRegisterCount; ++i) {
        for (int j = 0; j < kRegisterCount; ++j) {
            if (i == j) continue;
            const char* shorter = kRegisterTable[i].name;
            EXPECT_NE(std::strncmp(kRegisterTable[j].name, shorter, std::strlen(shorter)), 0)
                << shorter << " begins " << kRegisterTable[j].name;
        }
    }
}

TEST(RegisterTable, NullOutPointersWriteNothing) {
    register_test::BareDriver driver;
    const RegisterDef* rows = nullptr;
    std::int32_t count = -5;
    EXPECT_EQ(driver.GetRegisterTable(0, &rows, nullptr), 0);
    EXPECT_EQ(rows, nullptr);
    EXPECT_EQ(driver.GetRegisterTable(0, nullptr, &count), 0);
    EXPECT_EQ(count, -5);
}

TEST(ErrorTexts, GbkReadsAsTheChineseTexts) {
    os::virt::Reset();
    const std::u16string kSecondLine = u"\n请查阅README文档或帮助文档!";
    const std::u16string expected[] = {
        u"寄存器名字错误!" + kSecondLine,
        u"设备地址错误!" + kSecondLine,
        u"找不到寄存器!" + kSecondLine,
        u"寄存器数据地址错误!" + kSecondLine,
        u"数据类型错误!" + kSecondLine,
    };
    for (int code = 0; code < 5; ++code) {
        SCOPED_TRACE(code);
        const char* text = ErrorText(code);
        ASSERT_NE(text, nullptr);
        char16_t wide[64] = {};
        const int n = os::MultiByteToWideChar(text, static_cast<int>(std::strlen(text)), wide, 64);
        EXPECT_EQ(std::u16string(wide, static_cast<std::size_t>(n)), expected[code]);
    }
    EXPECT_EQ(ErrorText(-1), nullptr);
    EXPECT_EQ(ErrorText(5), nullptr);
}
