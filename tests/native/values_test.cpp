// Host values to bytes and back, by HostDataType, and the BCD decoders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/values.h"
#include "os/os.h"
#include "os/virt/virt.h"

using namespace vantor;

namespace {

class Values : public ::testing::Test {
protected:
    void SetUp() override {
        os::virt::Reset();
        os::Sleep(4321);  // a time stamp that is not the clock's start
    }

    static IoItem Item(std::uint16_t type, std::uint32_t value, std::uint32_t value2 = 0x5EC0DD00u) {
        IoItem item;
        std::memset(&item, 0x77, sizeof item);
        item.dataType = type;
        item.value = value;
        item.value2 = value2;
        return item;
    }

    static bool SameTime(const os::FileTime& a, const os::FileTime& b) {
        return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
    }
};

}  // namespace

TEST(Bcd, DecodesEachNibbleAsADecimalDigit) {
    struct {
        std::uint16_t bcd, binary;
    } const cases16[] = {{0x1234, 1234}, {0x0905, 905}, {0x00AB, 111}, {0, 0},
                         {0x9999, 9999}, {0xFFFF, 15 * 1000 + 15 * 100 + 15 * 10 + 15}};
    for (const auto& c : cases16) EXPECT_EQ(BcdToBinary16(c.bcd), c.binary) << std::hex << c.bcd;

    struct {
        std::uint32_t bcd, binary;
    } const cases32[] = {{0x00000905, 905}, {0x000000AB, 111}, {0x00000099, 99},
                         {0x12345678, 12345678}, {0x99999999, 99999999}, {0xFFFFFFFF, 166666665}};
    for (const auto& c : cases32) EXPECT_EQ(BcdToBinary32(c.bcd), c.binary) << std::hex << c.bcd;
}

TEST_F(Values, BytesToItemForEveryCode) {
    struct Case {
        std::uint16_t type;
        std::vector<std::uint8_t> source;
        std::uint32_t before;
        std::uint32_t after;
    };
    const Case cases[] = {
        {1, {0x78, 0x56, 0x34, 0x12}, 0xFFFFFFFF, 0x12345678},
        {2, {0x07}, 0x0F0F0F0F, 0x0F0F0F07},                 // low 8 bits only
        {4, {0x34, 0x12}, 0xAAAAAAAA, 0xAAAA1234},           // low 16 bits only
        {8, {0x3C, 0x00}, 0xFFFFFFFF, 60},                   // zero-extended
        {8, {0xFF, 0xFF}, 0x12345678, 0x0000FFFF},
        {16, {0x34, 0x12}, 0xAAAAAAAA, 0xAAAA0000 | 1234},   // BCD into the low 16 bits
        {32, {0x01, 0x00, 0x00, 0x80}, 0, 0x80000001},
        {64, {0x05, 0x09, 0x00, 0x00}, 0xFFFFFFFF, 905},     // BCD, whole field
        {64, {0x78, 0x56, 0x34, 0x12}, 0, 12345678},
        {128, {0xEF, 0xBE, 0xAD, 0xDE}, 0, 0xDEADBEEF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        IoItem item = Item(c.type, c.before);
        ASSERT_EQ(BytesToItem(&item, c.source.data(), 1, 0x123400C0), 1);
        EXPECT_EQ(item.value, c.after);
        EXPECT_EQ(item.value2, 0x5EC0DD00u);
        EXPECT_EQ(item.quality, 0x00C0);  // the low 16 bits of the argument
        EXPECT_TRUE(SameTime(item.timeStamp, os::CoFileTimeNow()));

        // Any other selector: the second value, no time stamp, no quality.
        IoItem second = Item(c.type, 0x11111111, c.before);
        const IoItem before = second;
        ASSERT_EQ(BytesToItem(&second, c.source.data(), 2, 192), 1);
        EXPECT_EQ(second.value2, c.after);
        second.value2 = before.value2;
        EXPECT_EQ(std::memcmp(&second, &before, sizeof second), 0);
    }
}

TEST_F(Values, ItemToBytesForEveryCode) {
    struct Case {
        std::uint16_t type;
        std::vector<std::uint8_t> bytes;  // what lands in the destination
    };
    // The value 0x12345678 throughout; BCD codes hand their bytes on unchanged.
    const Case cases[] = {
        {1, {0x78, 0x56, 0x34, 0x12}}, {2, {0x78}},       {4, {0x78, 0x56}},
        {8, {0x78, 0x56}},             {16, {0x78, 0x56}}, {32, {0x78, 0x56, 0x34, 0x12}},
        {64, {0x78, 0x56, 0x34, 0x12}}, {128, {0x78, 0x56, 0x34, 0x12}},
    };
    for (const Case& c : cases) {
        for (std::int32_t selector : {1, 0}) {
            SCOPED_TRACE("type " + std::to_string(c.type) + " selector " + std::to_string(selector));
            // The other value field holds something else, to show which is read.
            IoItem item = selector == 1 ? Item(c.type, 0x12345678, 0x99999999)
                                        : Item(c.type, 0x99999999, 0x12345678);
            const IoItem before = item;
            std::uint8_t out[8];
            std::memset(out, 0xEE, sizeof out);
            ASSERT_EQ(ItemToBytes(&item, out, selector), 1);
            std::vector<std::uint8_t> expected = c.bytes;
            expected.resize(sizeof out, 0xEE);
            EXPECT_EQ(std::vector<std::uint8_t>(out, out + sizeof out), expected);
            EXPECT_EQ(std::memcmp(&item, &before, sizeof item), 0);
        }
    }
}

TEST_F(Values, CodesOutsideTheTableAreRefused) {
    const std::uint8_t source[300] = {'a', 'b', 0};
    for (int code : {0, 3, 5, 6, 12, 257, 512, 0xFFFF}) {
        const auto type = static_cast<std::uint16_t>(code);
        SCOPED_TRACE(type);
        IoItem item = Item(type, 0xCAFEF00D);
        const IoItem before = item;
        EXPECT_EQ(BytesToItem(&item, source, 1, 192), 0);
        EXPECT_EQ(std::memcmp(&item, &before, sizeof item), 0);
        std::uint8_t out[300];
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(ItemToBytes(&item, out, 1), 0);
        for (std::uint8_t b : out) ASSERT_EQ(b, 0xEE);
    }
    EXPECT_EQ(os::virt::AtomCount(), 0u);
}

TEST_F(Values, MissingItemOrBufferIsRefused) {
    std::uint8_t bytes[4] = {1, 2, 3, 4};
    IoItem item = Item(1, 0xCAFEF00D);
    const IoItem before = item;
    EXPECT_EQ(BytesToItem(nullptr, bytes, 1, 192), 0);
    EXPECT_EQ(BytesToItem(&item, nullptr, 1, 192), 0);
    EXPECT_EQ(ItemToBytes(nullptr, bytes, 1), 0);
    EXPECT_EQ(ItemToBytes(&item, nullptr, 1), 0);
    EXPECT_EQ(std::memcmp(&item, &before, sizeof item), 0);
    EXPECT_EQ(bytes[0], 1);
}

// Text values travel as global atoms in the low 16 bits of the value.
TEST_F(Values, TextRoundTripThroughAnAtom) {
    IoItem item = Item(kTypeText, 0xABCD0000u);
    const char text[] = "\xd6\xd0\xce\xc4 +8613800138000";  // 中文 and a number
    ASSERT_EQ(BytesToItem(&item, reinterpret_cast<const std::uint8_t*>(text), 1, 192), 1);
    const auto atom = static_cast<std::uint16_t>(item.value);
    EXPECT_NE(atom, 0);
    EXPECT_EQ(item.value >> 16, 0xABCDu);
    EXPECT_EQ(item.quality, 192);
    EXPECT_TRUE(SameTime(item.timeStamp, os::CoFileTimeNow()));

    char name[255] = {};
    EXPECT_EQ(os::GlobalGetAtomNameA(atom, name, 255), std::strlen(text));
    EXPECT_STREQ(name, text);

    std::uint8_t out[300];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(ItemToBytes(&item, out, 1), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(out), text);
}

TEST_F(Values, TextEdges) {
    std::uint8_t out[300];

    // Atom 0 is the empty text: 255 zero bytes and not one more.
    IoItem empty = Item(kTypeText, 0xFFFF0000u);
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(ItemToBytes(&empty, out, 1), 1);
    for (int i = 0; i < 255; ++i) ASSERT_EQ(out[i], 0) << i;
    EXPECT_EQ(out[255], 0xEE);

    // An atom the table does not know reads as an empty text.
    IoItem unknown = Item(kTypeText, 0x1234);
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(ItemToBytes(&unknown, out, 1), 1);
    EXPECT_EQ(out[0], 0);

    // A 255-character text fits an atom but comes back cut to 254 characters.
    const std::string longest(255, 'L');
    IoItem full = Item(kTypeText, 0);
    ASSERT_EQ(BytesToItem(&full, reinterpret_cast<const std::uint8_t*>(longest.c_str()), 1, 192), 1);
    ASSERT_NE(full.value, 0u);
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(ItemToBytes(&full, out, 1), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out)), std::string(254, 'L'));
    EXPECT_EQ(out[255], 0xEE);

    // Texts the atom table refuses are delivered as atom 0, still stamped.
    for (const std::string& refused : {std::string(256, 'x'), std::string()}) {
        IoItem item = Item(kTypeText, 0xABCD1234u);
        ASSERT_EQ(BytesToItem(&item, reinterpret_cast<const std::uint8_t*>(refused.c_str()), 1, 192), 1);
        EXPECT_EQ(item.value, 0xABCD0000u);
        EXPECT_EQ(item.quality, 192);
        EXPECT_TRUE(SameTime(item.timeStamp, os::CoFileTimeNow()));
    }
}
