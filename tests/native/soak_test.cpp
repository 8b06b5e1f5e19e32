// A long run of host polls against the TC35 model in virtual time: link
// tests, reads of the kept values and stores, unread and read listings of a
// handful of messages arriving and being deleted, sends, and now and then a
// dead line that makes the link test reopen the port. Under ASan/LSan it
// shows that nothing leaks: the port handle count stays at one, the atom
// table holds no more than the distinct texts delivered (identical texts share
// one atom; atoms are never deleted, so the table grows only with new texts:
// here one per message and storage index), and no allocation outlives the run.
//
// 100 000 polls take about two seconds under ASan. VANTOR_SOAK_POLLS sets
// another number:
//   VANTOR_SOAK_POLLS=1000000 build/native/native_tests --gtest_filter='Soak*'
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "device_fixture.h"
#include "link/port_handles.h"
#include "modem/modem_model.h"

// From the ASan/LSan runtime the native tests are linked with (g++ ships no
// header for them).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
extern "C" int __lsan_do_recoverable_leak_check();

namespace vantor::test {
namespace {

// Five SMS-DELIVER PDUs that arrive again and again: 7-bit, UCS-2 Chinese,
// alphanumeric sender, a long 7-bit text and a short one.
const char* const kArrivals[] = {
    "0004039121F300005021801231542305C8329BFD06",
    "07914306073011F0040B914316709807F2000880604290224080084E2D5174901A8BAF",
    "0791447758100650040DD0F334FC1CA6970100008080312170224008D4F29CDE0EA7D9",
    "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07",
    "0004039121F300005021801231542303C8340B",
};

int PollCount() {
    const char* v = std::getenv("VANTOR_SOAK_POLLS");
    const int n = v != nullptr ? std::atoi(v) : 0;
    return n > 0 ? n : 100000;
}

class Soak : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        OpenWith(tc35, 1000);
        std::strcpy(modem.Tele, "+8613912345678");
        std::strcpy(modem.MsgSend[0], "soak ");
        std::strcpy(modem.MsgSend[1], "\xC4\xE3\xBA\xC3");  // 你好
        modem.ReSTime = 1;
    }

    // One host variable per register and slot, reused poll after poll as
    // the host does.
    int Read(std::int16_t kind, std::uint16_t subIndex, std::uint16_t type) {
        PacketBuilder p(kind);
        p.Value(type, 0, subIndex);
        ++polls;
        const int result = Run(p);
        if (result == 1 && type == kTypeText) ++textDeliveries;
        return result;
    }
    int Write(std::int16_t kind, std::uint32_t value) {
        PacketBuilder p(kind, true);
        p.Value(kType2, value);
        ++polls;
        return Run(p);
    }

    modem::Tc35Model tc35;
    int polls = 0;
    int textDeliveries = 0;
};

TEST_F(Soak, PollsLeaveNoHandleAtomOrAllocationBehind) {
    const int total = PollCount();
    const std::size_t atomsBefore = os::virt::AtomCount();
    const int handlesBefore = os::virt::OpenHandleCount();
    const std::size_t bytesBefore = __sanitizer_get_current_allocated_bytes();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(handlesBefore, 1);

    int backedOffLinkTests = 0, listings = 0, sends = 0, deliveries = 0, hangUps = 0;
    std::size_t atomsHalfway = 0;
    std::size_t bytesHalfway = 0;
    int arrival = 0;
    for (int i = 0; polls < total; ++i) {
        if (i == total / 2) {
            atomsHalfway = os::virt::AtomCount();
            bytesHalfway = __sanitizer_get_current_allocated_bytes();
        }
        if (i % 97 == 0) {
            // A message arrives; the oldest goes once five are stored.
            tc35.Deliver(kArrivals[arrival++ % 5], Now());
            ++deliveries;
        }
        if (i % 5000 == 4999) {
            // The line goes dead long enough for five failed link tests and
            // a reopened port.
            tc35.HangUp(Now(), 12000);
            ++hangUps;
        }
        switch (i % 8) {
            case 0:
                if (Read(kAT, 0, kType2) == 0) ++backedOffLinkTests;
                break;
            case 1:
                Read(kMsgNew, static_cast<std::uint16_t>(i / 8 % kNewSlots), kTypeText);
                Read(kMsgNec, static_cast<std::uint16_t>(i / 8 % kNewSlots), kTypeText);
                break;
            case 2:
                Read(kMsgOld, static_cast<std::uint16_t>(i / 8 % kOldSlots), kTypeText);
                Read(kMsgInf, static_cast<std::uint16_t>(i / 8 % kOldSlots), kTypeText);
                break;
            case 3:
                Read(kTele, 0, kTypeText);
                Read(kReSTime, 0, kType2);
                Read(kEDelay, 0, kType8);
                Read(kSReturn, 0, kType2);
                break;
            case 4:
                if (i % 48 == 4) {
                    Write(kNEW, 0);
                    ++listings;
                }
                break;
            case 5:
                if (i % 96 == 5) {
                    Write(kOLD, 0);
                    ++listings;
                    const auto stored = tc35.Messages();
                    if (stored.size() > 4) Write(kCMGD, static_cast<std::uint32_t>(stored.front().index));
                }
                break;
            case 6:
                if (i % 1000 == 6) {
                    Write(kSEND, 0);
                    ++sends;
                }
                break;
            default:
                Read(kCodeMod, 0, kType2);
                break;
        }
        ASSERT_EQ(os::virt::OpenHandleCount(), 1) << "poll " << polls;
    }

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::size_t atomsAfter = os::virt::AtomCount();
    const std::size_t bytesAfter = __sanitizer_get_current_allocated_bytes();
    std::printf(
        "soak: %d polls in %.1f s wall, %.0f s virtual; %d listings, %d sends (%zu sent), "
        "%d arrivals, %d hang-ups, %d link tests held back after a dead line; %d text deliveries; "
        "atoms %zu -> %zu (%zu at half-way); "
        "open handles %d -> %d; allocated bytes %zu -> %zu -> %zu (the model's own record of the "
        "line: %zu bytes heard, %zu command lines)\n",
        polls, seconds, static_cast<double>(Now()) / 1000.0, listings, sends,
        tc35.Sent().size(), deliveries, hangUps, backedOffLinkTests, textDeliveries, atomsBefore, atomsAfter,
        atomsHalfway, handlesBefore, os::virt::OpenHandleCount(), bytesBefore, bytesHalfway, bytesAfter,
        tc35.Received().size(), tc35.CommandLines().size());
    RecordProperty("polls", polls);
    RecordProperty("atoms_after", static_cast<int>(atomsAfter));

    // The run did what it set out to do.
    EXPECT_GT(listings, total / 60);
    EXPECT_GT(static_cast<int>(tc35.Sent().size()), sends / 2);
    EXPECT_GT(backedOffLinkTests, 0);
    // Identical texts share one atom: the table holds at most one atom per
    // distinct text, and the distinct texts are bounded by the five bodies,
    // one header per message and storage index, and the few kept values,
    // however many deliveries there were.
    const std::size_t distinctBound = 5 + 5 * static_cast<std::size_t>(tc35.capacity()) + 8;
    EXPECT_LE(atomsAfter, distinctBound);
    EXPECT_LE(atomsHalfway, atomsAfter);
    EXPECT_GT(textDeliveries, 100 * static_cast<int>(atomsAfter));

    // The virtual OS keeps a bounded record of calls and trace lines, and the
    // model its own record of the line; beyond those the second half of the
    // run holds on to nothing.
    const std::size_t modelRecord = tc35.Received().size() + 64 * tc35.CommandLines().size();
    EXPECT_LT(bytesAfter, bytesHalfway + modelRecord + (1u << 20));

    // One handle through every reconnect; none once the port is closed, and
    // the module's handle table lets go of it.
    const os::Handle last = modem.line.PortHandle;
    EXPECT_TRUE(port_handles::IsRegistered(last));
    EXPECT_EQ(modem.ClosePort(), 1);
    EXPECT_EQ(os::virt::OpenHandleCount(), 0);
    EXPECT_FALSE(port_handles::IsRegistered(last));
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
}

}  // namespace
}  // namespace vantor::test
