// Whatever a host hands the DLL through its vtables, the answer is a clean 1
// or 0: no crash, no read past a record, no write outside a store, and a port
// handle closed once at most. Packets without items or with broken nodes,
// kinds and type codes outside the table, sub-indices outside every store,
// register names that fill their field, port names without a terminator,
// over-long numbers and texts, device addresses of 20 digits, and two objects
// sharing one real port (modemsim on a pty as COM32, or the first loop port)
// released in every order.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "com_fixture.h"
#include "modemsim_process.h"

namespace vantor::test {
namespace {

constexpr char kSimPort[] = "COM32";

// ---------------------------------------------------------------- packets ---

// A host packet with its list of items, as a host builds them.
class Packet {
public:
    Packet(std::int16_t kind, bool write) {
        packet_.kind = kind;
        packet_.writeFlag = write ? 1 : 0;
    }
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;

    IoItem& Add(std::uint16_t subIndex, std::uint16_t type, std::uint32_t value = 0) {
        Slot& s = slots_.emplace_back();
        s.item.subIndex = subIndex;
        s.item.dataType = type;
        s.item.value = value;
        s.item.value2 = 0x5EC0DDu;  // the module never touches the second slot
        s.node.item = &s.item;
        Link();
        return s.item;
    }
    // A node that carries no item.
    void AddEmptyNode() {
        slots_.emplace_back();
        Link();
    }
    const IoPacket* Get() const { return &packet_; }

private:
    struct Slot {
        IoItemNode node{};
        IoItem item{};
    };
    void Link() {
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            slots_[i].node.next = i + 1 < slots_.size() ? &slots_[i + 1].node : nullptr;
            slots_[i].node.previous = i > 0 ? &slots_[i - 1].node : nullptr;
        }
        packet_.head = slots_.empty() ? nullptr : &slots_.front().node;
    }

    IoPacket packet_{};
    std::deque<Slot> slots_;  // stable addresses
};

std::uint32_t Atom(const std::string& text) { return GlobalAddAtomA(text.c_str()); }

std::string AtomText(std::uint32_t value) {
    char text[256] = {};
    const UINT n = GlobalGetAtomNameA(static_cast<ATOM>(value & 0xFFFFu), text, sizeof text);
    return std::string(text, n);
}

class BadHostInputTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        device_ = CreateDevice();
        ASSERT_TRUE(device_.driver && device_.sharing);
    }

    std::int32_t Shared(const Packet& p) { return device_.sharing->ProcessSharedPacket(p.Get()); }

    // Writes one value into a register through a write packet.
    std::int32_t Write(std::int16_t kind, std::uint16_t subIndex, std::uint16_t type,
                       std::uint32_t value) {
        Packet p(kind, true);
        p.Add(subIndex, type, value);
        return Shared(p);
    }

    // Reads one text register slot back; "" and false when nothing arrived.
    bool ReadText(std::int16_t kind, std::uint16_t subIndex, std::string* text) {
        Packet p(kind, false);
        IoItem& item = p.Add(subIndex, kTypeText);
        if (Shared(p) != 1 || item.quality != 192) return false;
        *text = AtomText(item.value);
        return true;
    }

    Device device_;
};

// ------------------------------------------------- packets and item lists ---

TEST_F(BadHostInputTest, NullPacketsAndMissingItemsGiveZeroOrOneAndTouchNothing) {
    EXPECT_EQ(device_.driver->ProcessPacket(nullptr), 0);
    EXPECT_EQ(device_.sharing->ProcessSharedPacket(nullptr), 0);

    enum class Shape { kEmpty, kNodeWithoutItem, kItemThenNodeWithoutItem };
    const struct {
        const char* what;
        std::int16_t kind;
        bool write;
        Shape shape;
        std::int32_t result;  // through IPortSharing; reads through IDeviceDriver
                              // drop their values before looking at the items: 1
    } cases[] = {
        {"read Tele, empty list", kTele, false, Shape::kEmpty, 1},
        {"read MsgNew, empty list", kMsgNew, false, Shape::kEmpty, 1},
        {"read ReSTime, node without item", kReSTime, false, Shape::kNodeWithoutItem, 0},
        {"read MsgNew, node without item", kMsgNew, false, Shape::kNodeWithoutItem, 0},
        {"read MsgOld, item then node without item", kMsgOld, false,
         Shape::kItemThenNodeWithoutItem, 0},
        {"write Tele, empty list", kTele, true, Shape::kEmpty, 0},
        {"write MsgSend, empty list", kMsgSend, true, Shape::kEmpty, 0},
        {"write MsgSend, node without item", kMsgSend, true, Shape::kNodeWithoutItem, 0},
        {"write Tele, node without item", kTele, true, Shape::kNodeWithoutItem, 1},
        // PDU mode builds no listing request without an item list.
        {"write NEW, empty list", kNEW, true, Shape::kEmpty, 0},
        {"write CMGD, empty list", kCMGD, true, Shape::kEmpty, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Packet p(c.kind, c.write);
        IoItem* first = nullptr;
        if (c.shape == Shape::kItemThenNodeWithoutItem) first = &p.Add(0, kTypeText);
        if (c.shape != Shape::kEmpty) p.AddEmptyNode();
        EXPECT_EQ(Shared(p), c.result);
        EXPECT_EQ(device_.driver->ProcessPacket(p.Get()), c.write ? c.result : 1);
        if (first != nullptr) {
            // The item before the broken node got its value; its second slot did not change.
            EXPECT_EQ(first->quality, 192);
            EXPECT_EQ(AtomText(first->value), "^");
            EXPECT_EQ(first->value2, 0x5EC0DDu);
        }
    }
    // Nothing above changed a setting.
    std::string tele;
    ASSERT_TRUE(ReadText(kTele, 0, &tele));
    EXPECT_EQ(tele, "00000000000000");
}

TEST_F(BadHostInputTest, KindsAndTypeCodesOutsideTheTable) {
    for (const std::int16_t kind : {std::int16_t{17}, std::int16_t{-1}, std::int16_t{0x7FFF},
                                    std::int16_t{-32768}}) {
        SCOPED_TRACE(kind);
        for (const bool write : {false, true}) {
            Packet p(kind, write);
            IoItem& item = p.Add(0, kType2, 7);
            EXPECT_EQ(Shared(p), 0);
            EXPECT_EQ(item.value, 7u);
            EXPECT_EQ(item.quality, 0);
        }
    }
    // Type codes that no register admits, on reads of stored values: the read
    // still reaches delivery, and nothing outside the value slot changes.
    for (const std::uint16_t type :
         {std::uint16_t{0}, std::uint16_t{3}, std::uint16_t{512}, std::uint16_t{0xFFFF}}) {
        SCOPED_TRACE(type);
        for (const std::int16_t kind : {kReSTime, kEDelay, kTele, kMsgNew}) {
            Packet p(kind, false);
            IoItem& item = p.Add(0, type, 0);
            EXPECT_EQ(Shared(p), 1);
            EXPECT_EQ(item.value2, 0x5EC0DDu);
        }
        // Writes of a wrong type leave the field as it was.
        EXPECT_EQ(Write(kTele, 0, type, 12345), 1);
        EXPECT_EQ(Write(kMsgSend, 1, type, 12345), 1);
    }
    // A text whose atom does not exist is an empty text, not a crash.
    EXPECT_EQ(Write(kMsgSend, 1, kTypeText, 0xFFFE), 1);
    std::string tele, slot1;
    ASSERT_TRUE(ReadText(kTele, 0, &tele));
    EXPECT_EQ(tele, "00000000000000");
    Packet p(kMsgSend, false);
    IoItem& item = p.Add(1, kTypeText);
    ASSERT_EQ(Shared(p), 1);
    EXPECT_EQ(AtomText(item.value), "");
}

TEST_F(BadHostInputTest, SubIndicesOutsideEveryStoreAreRefused) {
    const std::uint32_t marker = Atom("slot zero");
    ASSERT_EQ(Write(kMsgSend, 0, kTypeText, marker), 1);

    const struct {
        std::int16_t kind;
        std::uint16_t subIndex;
    } reads[] = {{kMsgNew, 10}, {kMsgNec, 10},  {kMsgOld, 20},    {kMsgInf, 20},
                 {kMsgSend, 2}, {kMsgNew, 256}, {kMsgOld, 0xFFFF}, {kMsgSend, 0x8000}};
    for (const auto& r : reads) {
        SCOPED_TRACE(testing::Message() << "kind " << r.kind << " sub-index " << r.subIndex);
        Packet p(r.kind, false);
        IoItem& good = p.Add(0, kTypeText);
        IoItem& bad = p.Add(r.subIndex, kTypeText, 99);
        EXPECT_EQ(Shared(p), 0);
        EXPECT_EQ(good.quality, 192) << "items before the bad one are delivered";
        EXPECT_EQ(bad.value, 99u);
        EXPECT_EQ(bad.quality, 0);
    }
    for (const std::uint16_t subIndex : {std::uint16_t{2}, std::uint16_t{255}, std::uint16_t{0xFFFF}}) {
        SCOPED_TRACE(subIndex);
        EXPECT_EQ(Write(kMsgSend, subIndex, kTypeText, Atom("outside")), 0);
    }
    std::string slot0, slot1, tele;
    ASSERT_TRUE(ReadText(kMsgSend, 0, &slot0));
    ASSERT_TRUE(ReadText(kMsgSend, 1, &slot1));
    ASSERT_TRUE(ReadText(kTele, 0, &tele));
    EXPECT_EQ(slot0, "slot zero");
    EXPECT_EQ(slot1, "");
    EXPECT_EQ(tele, "00000000000000");
    GlobalDeleteAtom(static_cast<ATOM>(marker));
}

// ------------------------------------------------ names, numbers and texts ---

// A record placed so that it ends exactly where an inaccessible page begins:
// reading one byte past it faults.
template <class T>
class AtPageEnd {
public:
    AtPageEnd() {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (base_ != nullptr) VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    }
    AtPageEnd(const AtPageEnd&) = delete;
    AtPageEnd& operator=(const AtPageEnd&) = delete;
    ~AtPageEnd() {
        if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
    }
    bool Ok() const { return base_ != nullptr; }
    // The record, every byte set to `fill`.
    T* Fresh(std::uint8_t fill) {
        T* record = reinterpret_cast<T*>(base_ + page_ - sizeof(T));
        std::memset(record, fill, sizeof(T));
        return record;
    }

private:
    std::uint8_t* base_ = nullptr;
    DWORD page_ = 0;
};

TEST_F(BadHostInputTest, RegisterNamesThatFillTheirFieldOrCarryHighBytes) {
    // The text of code 0, taken from an ordinary bad name.
    RegisterQuery plain{};
    RegisterRef ref{};
    std::strcpy(plain.name, "cmgf");
    plain.dataType = kType2;
    ASSERT_EQ(device_.driver->CheckRegister(&plain, &ref), 1);
    const char* nameErrorText = device_.driver->GetErrorText();
    ASSERT_NE(nameErrorText, nullptr);
    const std::string nameError = nameErrorText;

    AtPageEnd<RegisterQuery> guarded;
    ASSERT_TRUE(guarded.Ok());
    const struct {
        const char* what;
        std::string name;    // bytes of the 128-byte field; a terminator only when shorter
        std::int16_t type;
        int kind;            // -1: invalid with code 0
        int subIndex;
    } cases[] = {
        {"CMGF and 123 blanks, 127 bytes", "CMGF" + std::string(123, ' '), kType2, kCMGF, 0},
        {"MsgNew, 120 zeros and 3", "MsgNew" + std::string(120, '0') + "3", kTypeText, kMsgNew, 3},
        {"CMGF and 124 blanks, unterminated", "CMGF" + std::string(124, ' '), kType2, -1, 0},
        {"MsgNew and 122 zeros, unterminated", "MsgNew" + std::string(122, '0'), kTypeText, -1, 0},
        {"128 letters", std::string(128, 'A'), kType2, -1, 0},
        {"GBK bytes before a name", "\xB2\xE2\xCA\xD4" "CMGF", kType2, -1, 0},
        {"byte 0xA0 after a name", "CMGF\xA0", kType2, -1, 0},
        {"high byte as an index", "MsgNew\xB3", kTypeText, -1, 0},
        {"127 bytes 0xFF", std::string(127, '\xFF'), kType2, -1, 0},
        {"128 bytes 0x80, unterminated", std::string(128, '\x80'), kType2, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_LE(c.name.size(), 128u);
        RegisterQuery* query = guarded.Fresh(0);
        std::memcpy(query->name, c.name.data(), c.name.size());
        // The type code's bytes are digits: a check that read on past the
        // name would see them as part of the index.
        query->dataType = c.type;
        RegisterRef out{};
        const std::int32_t result = device_.driver->CheckRegister(query, &out);
        if (c.kind >= 0) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(out.kind, c.kind);
            EXPECT_EQ(out.subIndex, c.subIndex);
        } else {
            EXPECT_EQ(result, 1);
            const char* text = device_.driver->GetErrorText();
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text), nameError);
        }
    }
    // The query at the very end of the page with its type code 0x3030 ("00").
    RegisterQuery* query = guarded.Fresh('0');
    std::memcpy(query->name, "MsgNew", 6);
    RegisterRef out{};
    EXPECT_EQ(device_.driver->CheckRegister(query, &out), 1);
    const char* text = device_.driver->GetErrorText();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), nameError) << "an unterminated name is a name error";
}

TEST_F(BadHostInputTest, DeviceAddressesOfTwentyDigitsAndMore) {
    const struct {
        const char* text;
        std::int32_t valid;
        std::int32_t address;
    } cases[] = {
        {"00000000000000000007", 1, 7},
        {"18446744073709551621", 1, 5},    // 2^64 + 5: 5 modulo 65536
        {"12345678901234567890", 0, 0},    // 2770 modulo 65536
        {"99999999999999999999999999999999", 0, 0},
        {"1844674407370955161600000000000000000256", 1, 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::int32_t address = -1;
        EXPECT_EQ(device_.driver->CheckDeviceAddress(c.text, &address), c.valid);
        if (c.valid) {
            EXPECT_EQ(address, c.address);
        } else {
            EXPECT_NE(device_.driver->GetErrorText(), nullptr);
        }
    }
}

// A check refused for a missing record explains itself like any other failed
// check: GetErrorText gives the text of that check, not an empty or an older
// one.
TEST_F(BadHostInputTest, MissingRecordsInTheChecksLeaveTheirErrorText) {
    RegisterQuery bad{};
    RegisterRef ref{};
    std::strcpy(bad.name, "cmgf");
    bad.dataType = kType2;
    ASSERT_EQ(device_.driver->CheckRegister(&bad, &ref), 1);
    const char* text = device_.driver->GetErrorText();
    ASSERT_NE(text, nullptr);
    const std::string nameError = text;
    std::int32_t address = -1;
    ASSERT_EQ(device_.driver->CheckDeviceAddress("x", &address), 0);
    text = device_.driver->GetErrorText();
    ASSERT_NE(text, nullptr);
    const std::string addressError = text;
    ASSERT_NE(nameError, addressError);

    RegisterQuery good{};
    std::strcpy(good.name, "CMGF");
    good.dataType = kType2;
    IDeviceDriver* d = device_.driver.Get();
    const struct {
        const char* what;
        std::int32_t (*call)(IDeviceDriver*, RegisterQuery*, RegisterRef*, std::int32_t*);
        std::int32_t result;
        const std::string* error;
    } cases[] = {
        {"CheckRegister without query",
         [](IDeviceDriver* x, RegisterQuery*, RegisterRef* r, std::int32_t*) {
             return x->CheckRegister(nullptr, r);
         },
         1, &nameError},
        {"CheckRegister without ref",
         [](IDeviceDriver* x, RegisterQuery* q, RegisterRef*, std::int32_t*) {
             return x->CheckRegister(q, nullptr);
         },
         1, &nameError},
        {"CheckDeviceAddress without text",
         [](IDeviceDriver* x, RegisterQuery*, RegisterRef*, std::int32_t* a) {
             return x->CheckDeviceAddress(nullptr, a);
         },
         0, &addressError},
        {"CheckDeviceAddress without address",
         [](IDeviceDriver* x, RegisterQuery*, RegisterRef*, std::int32_t*) {
             return x->CheckDeviceAddress("7", nullptr);
         },
         0, &addressError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A valid check first, so that no earlier failure is still on record.
        ASSERT_EQ(d->CheckRegister(&good, &ref), 0);
        EXPECT_EQ(d->GetErrorText(), nullptr);
        EXPECT_EQ(c.call(d, &good, &ref, &address), c.result);
        text = d->GetErrorText();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text), *c.error);
    }
}

TEST_F(BadHostInputTest, LongNumbersAndTextsStayInsideTheirFields) {
    ASSERT_EQ(Write(kMsgSend, 0, kTypeText, Atom("first slot")), 1);
    ASSERT_EQ(Write(kMsgSend, 1, kTypeText, Atom("second slot")), 1);

    // A number longer than the 14 characters the device keeps is refused and
    // the number stays as it was; nothing spills into the MsgSend slots.
    ASSERT_EQ(Write(kTele, 0, kTypeText, Atom("13800138000")), 1);
    for (const std::string number : {std::string("123456789012345"), std::string(20, '9'),
                                     std::string("+8613800138000000000"), std::string(255, '7')}) {
        SCOPED_TRACE(number.size());
        EXPECT_EQ(Write(kTele, 0, kTypeText, Atom(number)), 0);
        std::string tele, slot0, slot1;
        ASSERT_TRUE(ReadText(kTele, 0, &tele));
        EXPECT_EQ(tele, "13800138000");
        ASSERT_TRUE(ReadText(kMsgSend, 0, &slot0));
        ASSERT_TRUE(ReadText(kMsgSend, 1, &slot1));
        EXPECT_EQ(slot0, "first slot");
        EXPECT_EQ(slot1, "second slot");
    }

    ASSERT_EQ(Write(kTele, 0, kTypeText, Atom(std::string(14, '5'))), 1);
    std::string fourteen;
    ASSERT_TRUE(ReadText(kTele, 0, &fourteen));
    EXPECT_EQ(fourteen, std::string(14, '5'));

    // The longest text an atom holds: the slot keeps at most 254 bytes, and
    // the neighbouring slot is untouched.
    const std::string longest(255, 'x');
    ASSERT_EQ(Write(kMsgSend, 0, kTypeText, Atom(longest)), 1);
    std::string slot0, slot1;
    ASSERT_TRUE(ReadText(kMsgSend, 0, &slot0));
    ASSERT_TRUE(ReadText(kMsgSend, 1, &slot1));
    EXPECT_EQ(slot0, longest.substr(0, 254));
    EXPECT_EQ(slot1, "second slot");
}

// --------------------------------------------------------- a real port ---

bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

// A handle of the test's own with the value `wanted` (free since it was
// closed): the system hands a freed value out again, usually at once.
HANDLE OwnHandleWithValue(HANDLE wanted, std::deque<HANDLE>* spare) {
    for (int i = 0; i < 256; ++i) {
        const HANDLE h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (h == wanted) return h;
        spare->push_back(h);
    }
    return nullptr;
}

class SharedRealPort : public BadHostInputTest {
protected:
    static void SetUpTestSuite() {
        // modemsim on COM32 of the prefix with a sent record, started once
        // for the suite when the runner names it (VANTOR_MODEMSIM).
        sim_ = StartSuiteModemSim(
            ModemSimOptions{.com = 32,
                            .dirName = "vantor-bad-input-test",
                            .sent = true,
                            .handshake = ModemSimOptions::Handshake::kPrintedPty});
    }
    static void TearDownTestSuite() { sim_.reset(); }
    void SetUp() override {
        BadHostInputTest::SetUp();
        if (sim_ != nullptr) {
            port_ = kSimPort;
        } else {
            port_ = GetLoopPorts().a;
            if (port_.empty()) GTEST_SKIP() << "no real port (VANTOR_MODEMSIM or VANTOR_LOOP_PORTS)";
        }
    }
    void TearDown() override {
        for (const HANDLE h : spare_) CloseHandle(h);
        BadHostInputTest::TearDown();
    }

    // `device` opens the port; its handle.
    HANDLE Open(Device& device) {
        const PortConfig config = MakePortConfig(port_, 9600, 500);
        EXPECT_EQ(device.driver->OpenPort(0, &config), 1);
        HANDLE h = INVALID_HANDLE_VALUE;
        EXPECT_EQ(device.sharing->GetPortHandle(&h), 1);
        return h;
    }

    // A handle of the test's own with the value of the closed port handle;
    // the module must never close it.
    HANDLE Trap(HANDLE closedPort) {
        EXPECT_FALSE(IsOpenHandle(closedPort)) << "the port handle should be closed by now";
        const HANDLE own = OwnHandleWithValue(closedPort, &spare_);
        if (own != nullptr) spare_.push_back(own);
        return own;
    }

    static inline std::unique_ptr<ModemSimProcess> sim_;
    std::string port_;
    std::deque<HANDLE> spare_;
};

TEST_F(SharedRealPort, SharedHandleIsClosedOnceInEveryReleaseOrder) {
    enum class Order { kOwnerFirst, kBorrowerFirst, kClosedThroughBorrower };
    for (const Order order : {Order::kOwnerFirst, Order::kBorrowerFirst, Order::kClosedThroughBorrower}) {
        SCOPED_TRACE(static_cast<int>(order));
        Device owner = CreateDevice();
        Device borrower = CreateDevice();
        const HANDLE port = Open(owner);
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        HANDLE lent = INVALID_HANDLE_VALUE;
        ASSERT_EQ(owner.sharing->GetPortHandle(&lent), 1);
        ASSERT_EQ(borrower.sharing->SetPortHandle(&lent), 1);

        HANDLE own = nullptr;
        switch (order) {
        case Order::kOwnerFirst:
            owner = Device{};
            own = Trap(port);
            borrower = Device{};
            break;
        case Order::kBorrowerFirst:
            // Releasing either object closes the line for both.
            borrower = Device{};
            own = Trap(port);
            owner = Device{};
            break;
        case Order::kClosedThroughBorrower:
            EXPECT_EQ(borrower.driver->ClosePort(), 1);
            own = Trap(port);
            // The owner still holds the number: its link test fails cleanly.
            EXPECT_EQ(owner.driver->LinkTest(1, 0, 0), 0);
            EXPECT_EQ(owner.driver->ClosePort(), 1);
            EXPECT_EQ(owner.driver->ClosePort(), 0);
            owner = Device{};
            borrower = Device{};
            break;
        }
        ASSERT_NE(own, nullptr) << "the system did not hand the port's handle value out again";
        EXPECT_TRUE(IsOpenHandle(own)) << "the module closed a handle it did not open";
        EXPECT_TRUE(SetEvent(own));
        // The line is free again for a new object.
        Device next = CreateDevice();
        const HANDLE again = Open(next);
        EXPECT_NE(again, INVALID_HANDLE_VALUE);
    }
}

TEST_F(SharedRealPort, HandleOfTheHostsOwnHandedInIsNeverClosed) {
    // A file handle of the test's own, lent to an object that never opened a
    // port, and to one whose own port is open (that one stays open too,
    // since SetPortHandle does not close what the device held).
    char path[MAX_PATH] = {};
    char dir[MAX_PATH] = {};
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "vbh", 0, path);
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    {
        Device idle = CreateDevice();
        ASSERT_EQ(idle.sharing->SetPortHandle(&file), 1);
        EXPECT_EQ(idle.driver->ClosePort(), 1);
    }
    HANDLE port = INVALID_HANDLE_VALUE;
    {
        Device opened = CreateDevice();
        port = Open(opened);
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        ASSERT_EQ(opened.sharing->SetPortHandle(&file), 1);
    }
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "still mine", 10, &written, nullptr));
    EXPECT_EQ(written, 10u);
    // The port the second object opened and then let go of was not closed by
    // it either; it is the host's to close now.
    EXPECT_TRUE(IsOpenHandle(port));
    CloseHandle(port);
    CloseHandle(file);
}

TEST_F(SharedRealPort, PortNamesWithoutTerminatorAreRefused) {
    AtPageEnd<PortConfig> guarded;
    ASSERT_TRUE(guarded.Ok());
    const std::string names[] = {
        port_ + std::string(32 - port_.size(), 'X'),  // the real name, then no terminator
        std::string(32, '\xFF'),
        std::string(32, ' '),
    };
    for (const std::string& name : names) {
        PortConfig* config = guarded.Fresh(0xA5);
        std::memcpy(config->portName, name.data(), 32);
        config->baudRate = 9600;
        config->dataBits = 8;
        config->stopBits = 1;
        config->parity = 0;
        config->replyTimeout = 500;
        EXPECT_EQ(device_.driver->OpenPort(0, config), 0);
        HANDLE h = nullptr;
        ASSERT_EQ(device_.sharing->GetPortHandle(&h), 1);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    }
    // The host's own bytes around a good name change nothing.
    PortConfig* config = guarded.Fresh(0xA5);
    std::memset(config->portName, 0, sizeof config->portName);
    std::memcpy(config->portName, port_.data(), port_.size());
    config->baudRate = 9600;
    config->dataBits = 8;
    config->stopBits = 1;
    config->parity = 0;
    config->replyTimeout = 500;
    EXPECT_EQ(device_.driver->OpenPort(0, config), 1);
    EXPECT_EQ(device_.driver->ClosePort(), 1);
}

TEST_F(SharedRealPort, MessageTextsHoldingCtrlZ) {
    if (sim_ == nullptr) GTEST_SKIP() << "needs modemsim (VANTOR_MODEMSIM)";
    const PortConfig config = MakePortConfig(port_, 9600, 1000);
    ASSERT_EQ(device_.driver->OpenPort(0, &config), 1);
    const int before = sim_->SentCount();

    ASSERT_EQ(Write(kTele, 0, kTypeText, Atom("10086")), 1);
    ASSERT_EQ(Write(kMsgSend, 0, kTypeText, Atom("stop\x1Ahere")), 1);
    ASSERT_EQ(Write(kMsgSend, 1, kTypeText, Atom("\x1B" "and on")), 1);

    // PDU mode carries the bytes as hexadecimal user data: the message goes
    // out whole, once.
    EXPECT_EQ(Write(kSEND, 0, kType1, 1), 1);
    EXPECT_EQ(sim_->SentCount(), before + 1);
    EXPECT_NE(sim_->SentText().find("stop\\u001ahere\\u001band on"), std::string::npos)
        << sim_->SentText();

    // Text mode would end the input at the Ctrl-Z (and abandon it at the
    // ESC): the send is refused before the modem hears of it.
    ASSERT_EQ(Write(kCMGF, 0, kType2, 1), 1);
    EXPECT_EQ(Write(kSEND, 0, kType1, 1), 0);
    Packet sreturn(kSReturn, false);
    IoItem& outcome = sreturn.Add(0, kType2);
    ASSERT_EQ(Shared(sreturn), 1);
    EXPECT_EQ(outcome.value & 0xFFu, 2u);
    EXPECT_EQ(sim_->SentCount(), before + 1);

    // And the modem is still there.
    Packet at(kAT, false);
    IoItem& link = at.Add(0, kType2);
    ASSERT_EQ(Shared(at), 1);
    EXPECT_EQ(link.value & 0xFFu, 1u);
    ASSERT_EQ(Write(kCMGF, 0, kType2, 0), 1);
}

}  // namespace
}  // namespace vantor::test
