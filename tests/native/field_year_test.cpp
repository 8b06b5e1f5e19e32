// A year in the field, in virtual time: the driver against the TC35 model
// with months of faults interleaved (modem/field_schedule.h), driven by a
// host that behaves like an HMI runtime (field_host.h), and the ledger of
// what went in and out kept both ways (field_ledger.h). Memory, handles and
// atoms stay flat; no call runs past its documented bound.
//
//   VANTOR_FIELD_DAYS=30 VANTOR_FIELD_SEEDS=fixed,0x1234 build/native/field_year
//
// ("fixed" is the seed the run takes by default.)
//
// scripts/soak [days] [seed] runs it optimised (default 365 days).
#include <gtest/gtest.h>

#include <malloc.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "field_host.h"
#include "field_ledger.h"
#include "journal/settings.h"
#include "modem/field_line.h"
#include "modem/field_schedule.h"
#include "modem/modem_model.h"
#include "os/virt/virt.h"

// From the ASan runtime when the program has it; mallinfo2 otherwise.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace vantor::test {
namespace {

constexpr std::uint64_t kDay = 24ull * 3600 * 1000;
constexpr std::uint64_t kFixedSeed = 0x5EED0F1E1DULL;

std::size_t AllocatedBytes() {
    if (&__sanitizer_get_current_allocated_bytes != nullptr) return __sanitizer_get_current_allocated_bytes();
    return mallinfo2().uordblks;
}

int Days() {
    const char* v = std::getenv("VANTOR_FIELD_DAYS");
    const int n = v != nullptr ? std::atoi(v) : 0;
    return n > 0 ? n : 30;
}

std::vector<std::uint64_t> Seeds() {
    std::vector<std::uint64_t> seeds;
    const char* v = std::getenv("VANTOR_FIELD_SEEDS");
    std::string list = v != nullptr ? v : "";
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t comma = list.find(',', at);
        const std::string one = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (one == "fixed") seeds.push_back(kFixedSeed);
        else if (!one.empty()) seeds.push_back(std::strtoull(one.c_str(), nullptr, 0));
        at = comma == std::string::npos ? list.size() : comma + 1;
    }
    if (seeds.empty()) seeds.push_back(kFixedSeed);
    return seeds;
}

// What the run's records hold by design and keep for the closing balance:
// every message that arrived (in the field, the model's store history and
// the ledger) and every one sent. Memory beyond them must not grow.
std::size_t Records(const modem::FieldSchedule& field, const modem::Tc35Model& tc35) {
    std::size_t bytes = 0;
    for (const auto& a : field.Arrivals()) {
        bytes += 512;
        for (std::size_t k = 0; k < a.pdus.size(); ++k) bytes += 4 * a.texts[k].size() + 4 * a.pdus[k].size() + 512;
    }
    for (const auto& m : tc35.Sent()) bytes += 2 * m.pdu.size() + m.text.size() + 512;
    bytes += 2 * 1024 * tc35.SentParts().size();
    return bytes;
}

void Print(std::uint64_t seed, int days, double seconds, const modem::FieldCounts& c, const HostFigures& h,
           const LedgerFigures& l, std::size_t bytesDay1, std::size_t bytesHalf, std::size_t bytesEnd,
           std::size_t atomsMax) {
    std::printf("field: seed 0x%" PRIx64 ", %d days in %.0f s real time (replay: scripts/soak %d 0x%" PRIx64 ")\n",
                seed, days, seconds, days, seed);
    std::printf("  in:  %d messages from the network (%d parts: %d long, %d Chinese, %d with extension "
                "characters; %d bursts)\n",
                c.arrivals, c.parts, c.long_messages, c.chinese, c.extension, c.bursts);
    std::printf("       parts shown as unread %d, from the read listing %d, dropped by the service centre "
                "while the SIM was full %d (%d waited there, %d of them delivered later)\n",
                l.partsShownUnread, l.partsShownFromReadListing, l.partsLostAtServiceCentre, c.store_full_waits,
                c.delivered_after_wait);
    for (const auto& [why, n] : l.whyFromReadListing) std::printf("         read listing: %d: %s\n", n, why.c_str());
    if (l.textModeTrailingAt > 0)
        std::printf("       %d parts in text mode shown without their last '@' (no septet count in text mode)\n",
                    l.textModeTrailingAt);
    std::printf("  out: %d messages to send, %d SENDs: SReturn 1 %d, refused %d, outcome unknown %d (%d of "
                "those arrived, %d verdicts read late); %d messages at the modem, %d of them twice\n",
                l.sendJobs, l.sendWrites, l.sentDone, l.sentRefused, l.sentUnknown, l.unknownThatArrived,
                l.lateVerdictsSeen, l.messagesAtModem, l.atModemTwice);
    std::printf("  faults: %d power cycles, %d echo switches, %d cable pulls (%" PRIu64 " min silent), "
                "%d slow-SIM periods, %d unsolicited lines between answers and %d inside them; verdicts "
                "%d quick, %d late, %d past 60 s; refusals %d temporary, %d permanent\n",
                c.power_cycles, c.echo_switches, c.cable_pulls, c.cable_pulled_ms / 60000, c.slow_sim_periods,
                c.unsolicited, c.unsolicited_inside, c.verdicts_quick, c.verdicts_late, c.verdicts_past_limit,
                c.refusals_temporary, c.refusals_permanent);
    std::printf("  host: %" PRIu64 " calls; %" PRIu64 " link tests (%" PRIu64 " failed, %" PRIu64
                " held back); %" PRIu64 " unread listings (%" PRIu64 " failed); %" PRIu64 " read listings (%" PRIu64
                " failed); %" PRIu64 " deletes (%" PRIu64 " failed); %" PRIu64 " restarts, %" PRIu64
                " format switches, %" PRIu64 " days in text mode, %" PRIu64 " days without deletes; trace: %" PRIu64
                " restarts of the modem handled, %" PRIu64 " echo changes learnt\n",
                h.calls, h.linkTests, h.linkFailures, h.linkSkipped, h.unreadListings, h.unreadListingsFailed,
                h.readListings, h.readListingsFailed, h.deletes, h.deletesFailed, h.restarts, h.modeSwitches,
                h.daysTextMode, h.daysWithoutDeletes, h.restartsRestoredInTrace, h.echoLossesInTrace);
    std::printf("  reports: %d parts asked for one; the network meant %d within seconds, %d hours later, %d "
                "still trying then delivered, %d still trying then expired, %d not delivered, %d never; it sent "
                "%d (%d due after the run), the driver acknowledged %d and journaled %d (%d delivered, %d still "
                "trying, %d not delivered), %d of them without their message (sent before the HMI restarted, "
                "or never heard confirmed)\n",
                c.reports_asked, c.reports_soon, c.reports_hours, c.reports_trying_delivered,
                c.reports_trying_expired, c.reports_failed, c.reports_never, l.reportsSent, l.reportsToCome,
                l.reportsAcknowledged, l.reportsJournaled, l.reportsDelivered, l.reportsTrying,
                l.reportsNotDelivered, l.reportsOnUnknownSends);
    for (const auto& [why, n] : l.reportsLost) std::printf("         not acknowledged: %d: %s\n", n, why.c_str());
    std::string timeouts;
    for (std::int16_t t : h.timeouts) timeouts += (timeouts.empty() ? "" : ", ") + std::to_string(t);
    std::printf("  reply time-outs (ms): %s\n  longest calls (virtual ms, bound):", timeouts.c_str());
    for (const auto& [name, longest] : h.longest)
        std::printf(" %s %" PRIu64 " (%" PRIu64 ");", name.c_str(), longest.ms, longest.bound);
    std::printf("\n  memory: %zu KiB after day 1, %zu at half-way, %zu at the end; atoms at most %zu\n",
                bytesDay1 / 1024, bytesHalf / 1024, bytesEnd / 1024, atomsMax);
}

void RunField(std::uint64_t seed, int days) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const auto started = std::chrono::steady_clock::now();
    os::virt::Reset();
    os::virt::RecordPortCalls(false);
    // The tick count wraps an hour into the run, and every 49.7 days after.
    os::virt::SetTickBase(0u - 3600u * 1000u);

    modem::Tc35Model tc35;
    modem::FieldSchedule field(seed, tc35);
    modem::FieldLine line(tc35, field);
    os::virt::AddPort("COM1", &line);
    FieldLedger ledger(tc35, field);
    // Status reports on what the plant sends: the default, written as an
    // engineer would who wants them.
    os::virt::SetRegistryDword(journal::kRegistryKey, journal::kDeliveryReportsValue, 1);
    FieldHost host(seed, field, ledger);
    host.Start();

    std::size_t bytesDay1 = 0, bytesHalf = 0, recordsDay1 = 0, recordsHalf = 0, atomsMax = 0;
    for (int day = 1; day <= days; ++day) {
        host.RunUntil(static_cast<std::uint64_t>(day) * kDay);
        ledger.ReadJournal();
        atomsMax = std::max(atomsMax, os::virt::AtomCount());
        if (day == 1) {
            bytesDay1 = AllocatedBytes();
            recordsDay1 = Records(field, tc35);
        }
        if (day == (days + 1) / 2) {
            bytesHalf = AllocatedBytes();
            recordsHalf = Records(field, tc35);
        }
    }
    const std::size_t bytesEnd = AllocatedBytes();
    const std::size_t recordsEnd = Records(field, tc35);

    // The closing: the faults stop, and the host lists and deletes until
    // the modem holds nothing and nothing waits at the service centre.
    field.Calm(os::virt::Now());
    host.Drain(3 * kDay, [&] { return tc35.StoreUsed() == 0 && field.Quiet(); });
    EXPECT_EQ(tc35.StoreUsed(), 0) << "messages left in the modem after the closing listings";
    host.Stop();
    const LedgerFigures figures = ledger.Close();

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    Print(seed, days, seconds, field.counts(), host.figures(), figures, bytesDay1, bytesHalf, bytesEnd, atomsMax);

    const auto& faults = ledger.Faults();
    for (std::size_t i = 0; i < faults.size() && i < 40; ++i) ADD_FAILURE() << faults[i];
    EXPECT_TRUE(faults.empty()) << faults.size() << " entries that do not balance";
    EXPECT_EQ(figures.partsStillOnTheirWay, 0);
    // The host lets go of every atom it is given: none stays in the table.
    EXPECT_EQ(atomsMax, 0u);
    EXPECT_EQ(os::virt::OpenHandleCount(), 0);
    // Beyond the records the run keeps by design, memory stays flat: first
    // day to half-way, and half-way to the end.
    if (days >= 4) {
        EXPECT_LT(bytesHalf, bytesDay1 + (recordsHalf - recordsDay1) + (2u << 20));
        EXPECT_LT(bytesEnd, bytesHalf + (recordsEnd - recordsHalf) + (2u << 20));
    }
    // The run did what it set out to: messages both ways, and faults of
    // every kind once it is long enough.
    EXPECT_GT(figures.partsShownUnread, 0);
    EXPECT_GT(figures.sentDone, 0);
    if (days >= 30) {
        const modem::FieldCounts& c = field.counts();
        EXPECT_GT(c.power_cycles, 0);
        EXPECT_GT(c.cable_pulls, 0);
        EXPECT_GT(c.long_messages, 0);
        EXPECT_GT(c.unsolicited_inside, 0);
    }
    os::virt::RemovePort("COM1");
    os::virt::Reset();
}

TEST(FieldYear, NothingLostNothingSentTwice) {
    const int days = Days();
    for (std::uint64_t seed : Seeds()) RunField(seed, days);
}

}  // namespace
}  // namespace vantor::test
