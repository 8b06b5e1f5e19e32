#include "field_host.h"

#include <algorithm>
#include <cstdio>

#include "os/virt/virt.h"
#include "port_config.h"
#include "sms_test_util.h"

namespace vantor::test {
namespace {

constexpr std::uint64_t kSecond = 1000;
constexpr std::uint64_t kMinute = 60 * kSecond;
constexpr std::uint64_t kHour = 60 * kMinute;
constexpr std::uint64_t kDay = 24 * kHour;

// The documented bounds of a call (README, "Every call ends"): an exchange
// waits at most 60 s for its answer, and the fifth failed link test reopens
// the port (1.2 s); a listing 60 s, in text mode twice (AT+CSDH=1 first);
// an attempt to send 60 s for the prompt and 60 s for the verdict.
constexpr std::uint64_t kExchangeBound = 61200;
constexpr std::uint64_t kAttemptBound = 120000;
constexpr int kAttempts = 3;  // ReSTime the plant sets
constexpr std::uint64_t kLongestBackOff = 8000;
constexpr std::uint64_t kListingBound = 60000;

const std::int16_t kTimeouts[] = {100, 200, 500, 1000, 1000, 2000, 3000, 5000};
const char* const kNumbers[] = {"+8613912345678", "+8613600000001", "13800138000"};
const char* const kAsciiPhrases[] = {"Pump 3 stopped", "Level high", "Shift report ok",
                                     "Valve V2 closed", "Check cabinet 4", "Power fail at 03:12"};
const char* const kExtensionPhrases[] = {"[P3] ~ {hi}", "A|B", "C:\\plc", "x^2"};
const char* const kChinesePhrases[] = {"报警：泵站压力过高", "液位正常", "请值班人员到现场",
                                       "二号机组已停机", "温度恢复正常", "门禁告警已解除"};

// "<12>..." -> 12, or -1.
int IndexOf(const std::string& header) {
    if (header.size() < 3 || header[0] != '<') return -1;
    int n = 0;
    std::size_t i = 1;
    for (; i < header.size() && header[i] >= '0' && header[i] <= '9' && n < 1000; ++i) n = n * 10 + (header[i] - '0');
    return i > 1 && i < header.size() && header[i] == '>' ? n : -1;
}

std::size_t Ucs2Units(const std::string& utf8) { return Utf8ToUtf16(utf8).size(); }

std::size_t GsmSeptets(const std::string& ascii) {
    std::size_t n = 0;
    for (char c : ascii) n += std::string_view("[]{}~^|\\").find(c) != std::string_view::npos ? 2 : 1;
    return n;
}

}  // namespace

FieldHost::FieldHost(std::uint64_t seed, modem::FieldSchedule& field, FieldLedger& ledger)
    : random_(seed ^ 0x486F737400000000ull), field_(field), ledger_(ledger) {}

FieldHost::~FieldHost() { Stop(); }

void FieldHost::Start() {
    timeout_ = random_.Pick(kTimeouts);
    figures_.timeouts.push_back(timeout_);
    device_ = std::make_unique<CGsmModem>();
    PortConfig config = MakePortConfig("COM1", 9600, timeout_);
    if (device_->OpenPort(&config) != 1) ledger_.Fault(os::virt::Now(), "the port did not open");
    // The runtime writes its settings when it starts.
    WriteValue(kReSTime, kType2, kAttempts, CallKind::kStored, "write stored", 0);
    if (format_ != 0) SetMode(format_);
    lastUnread_.clear();
    const std::uint64_t now = os::virt::Now();
    if (nextRestart_ == 0) {
        nextRestart_ = now + random_.Between(10 * kDay, 40 * kDay);
        nextMode_ = now + random_.Between(5 * kDay, 25 * kDay);
        nextDeletes_ = now + random_.Between(5 * kDay, 40 * kDay);
        nextSend_ = now + random_.Between(0, 6 * kHour);
        nextSettings_ = now + random_.Between(kMinute, 10 * kMinute);
        nextRead_ = now + 10 * kMinute;
    }
}

void FieldHost::Stop() {
    if (!device_) return;
    device_->ClosePort();
    if (os::virt::OpenHandleCount() != 0) ledger_.Fault(os::virt::Now(), "a handle stays open after ClosePort");
    device_.reset();
}

// An HMI restart: a new driver object with the port opened afresh, perhaps
// with another reply time-out after the plant's engineer changed it.
void FieldHost::Restart() {
    ++figures_.restarts;
    Stop();
    Start();
}

std::uint64_t FieldHost::Next(std::uint64_t previous, std::uint64_t period) const {
    std::uint64_t next = previous + period;
    const std::uint64_t now = os::virt::Now();
    if (next <= now) next += (now - next) / period * period + period;
    return next;
}

std::uint64_t FieldHost::ListingBound() const {
    return device_->MsgFormat != 0 ? 2 * kListingBound : kListingBound;
}

int FieldHost::Call(PacketBuilder& packet, CallKind kind, const char* name, std::uint64_t bound) {
    const std::uint64_t before = os::virt::Now();
    const std::uint64_t traced = os::virt::TraceLineCount();
    const int result = device_->ProcessPacket(packet.Packet(), 1);
    const std::uint64_t now = os::virt::Now();
    const std::uint64_t took = now - before;
    ++figures_.calls;

    const auto& lines = os::virt::TraceLines();
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(os::virt::TraceLineCount() - traced, lines.size()));
    trace_.assign(lines.end() - static_cast<std::ptrdiff_t>(n), lines.end());
    for (const std::string& line : trace_) {
        if (line.rfind("^SMGO: 1", 0) == 0 || line.rfind("^SMGO: 2", 0) == 0) ledger_.OverflowTraced(now);
        if (line.rfind("Modem restarted", 0) == 0 && line.find("not restored") == std::string::npos)
            ++figures_.restartsRestoredInTrace;
        if (line.rfind("No echo from the modem", 0) == 0) ++figures_.echoLossesInTrace;
        if (line.rfind("Status report on reference", 0) == 0) ledger_.ReportWithoutMessage();
        // A verdict that came after its send ended with the outcome unknown:
        // the driver keeps one such message, the last.
        if (line.rfind("Send verdict ", 0) == 0 && line.find(": sent") != std::string::npos &&
            unknownJob_ != 0)
            ledger_.Job(unknownJob_).verdictSeen = true;
    }

    // The first packet that talks to a modem heard restarting first puts the
    // host's format back: one exchange more.
    if (std::any_of(trace_.begin(), trace_.end(),
                    [](const std::string& line) { return line.rfind("Modem restarted", 0) == 0; }))
        bound += kExchangeBound;
    HostFigures::Longest& longest = figures_.longest[name];
    if (took > longest.ms) longest = {took, bound};
    if (kind != CallKind::kStored && took > bound) {
        ledger_.Fault(now, std::string(name) + " took " + std::to_string(took) + " ms, bound " +
                               std::to_string(bound) + " ms");
    }
    if (kind == CallKind::kStored && took > 0) {
        ledger_.Fault(now, std::string(name) + " of a kept value took " + std::to_string(took) +
                               " ms: it is documented to cause no modem traffic");
    }
    if (os::virt::OpenHandleCount() != 1)
        ledger_.Fault(now, std::to_string(os::virt::OpenHandleCount()) + " handles open after " + name);
    return result;
}

// The text of a delivered item; the host lets go of its atom once read, as
// the module never deletes one.
std::string FieldHost::ReadText(std::int16_t kind, std::uint16_t subIndex) {
    PacketBuilder p(kind);
    p.Value(kTypeText, 0, subIndex);
    Call(p, CallKind::kStored, "read stored", 0);
    const auto atom = static_cast<std::uint16_t>(p.Item(0).value);
    std::string text = PacketBuilder::AtomText(atom);
    os::virt::ReleaseAtom(atom);
    return text;
}

std::vector<std::string> FieldHost::ReadStore(std::int16_t kind, int slots) {
    PacketBuilder p(kind);
    for (int i = 0; i < slots; ++i) p.Value(kTypeText, 0, static_cast<std::uint16_t>(i));
    Call(p, CallKind::kStored, "read stored", 0);
    std::vector<std::string> texts;
    for (int i = 0; i < slots; ++i) {
        const auto atom = static_cast<std::uint16_t>(p.Item(static_cast<std::size_t>(i)).value);
        texts.push_back(PacketBuilder::AtomText(atom));
        os::virt::ReleaseAtom(atom);
    }
    return texts;
}

int FieldHost::WriteValue(std::int16_t kind, std::uint16_t type, std::uint32_t value, CallKind callKind,
                          const char* name, std::uint64_t bound) {
    PacketBuilder p(kind, true);
    p.Value(type, value);
    return Call(p, callKind, name, bound);
}

int FieldHost::WriteText(std::int16_t kind, const std::string& text, std::uint16_t subIndex) {
    PacketBuilder p(kind, true);
    p.Text(text, subIndex);
    const int result = Call(p, CallKind::kStored, "write stored", 0);
    os::virt::ReleaseAtom(static_cast<std::uint16_t>(p.Item(0).value));
    return result;
}

void FieldHost::LinkTest() {
    PacketBuilder p(kAT);
    p.Value(kType2, 0);
    ++figures_.linkTests;
    if (Call(p, CallKind::kLinkTest, "read AT", kExchangeBound) == 0) {
        ++figures_.linkSkipped;
    } else if ((p.Item(0).value & 0xFF) != 1) {
        ++figures_.linkFailures;
    }
}

void FieldHost::Delete(const std::string& header) {
    const int index = IndexOf(header);
    if (index < 1) return;
    ++figures_.deletes;
    if (WriteValue(kCMGD, kType2, static_cast<std::uint32_t>(index), CallKind::kDelete, "write CMGD",
                   kExchangeBound) != 1)
        ++figures_.deletesFailed;
}

// The unread slots after a listing. What differs from the last listing is
// new: all of it, since a listing replaces every slot (an unread PDU listing
// with no entry keeps the slots as they were, and shows nothing new).
void FieldHost::UnreadListing() {
    ledger_.BeforeUnreadListing(os::virt::Now());
    PacketBuilder w(kNEW, true);
    w.Value(kType1, 0);
    ++figures_.unreadListings;
    const int result = Call(w, CallKind::kListing, "write NEW", ListingBound());
    const std::vector<std::string> trace = trace_;
    if (result != 1) ++figures_.unreadListingsFailed;

    const std::vector<std::string> headers = ReadStore(kMsgNew, kNewSlots);
    const std::vector<std::string> bodies = ReadStore(kMsgNec, kNewSlots);
    std::vector<std::string> shown;
    int entries = 0;
    for (int i = 0; i < kNewSlots; ++i) {
        shown.push_back(headers[static_cast<std::size_t>(i)] + "\n" + bodies[static_cast<std::size_t>(i)]);
        entries += headers[static_cast<std::size_t>(i)] != "^";
    }
    if (result == 1 && shown != lastUnread_) {
        for (int i = 0; i < kNewSlots; ++i) {
            const std::string& header = headers[static_cast<std::size_t>(i)];
            if (header == "^") continue;
            ledger_.ShownUnread(header, bodies[static_cast<std::size_t>(i)], os::virt::Now());
        }
        if (deletes_)
            for (const std::string& header : headers) Delete(header);
    }
    lastUnread_ = shown;
    ledger_.AfterUnreadListing(result, entries, trace, os::virt::Now());
    // Entries beyond the unread slots, and those of a listing that failed
    // after the modem had marked them read, wait in the read listing.
    if (result != 1 || entries >= kNewSlots) readListingDue_ = true;
}

// The read messages: shown when the host has not seen them, and deleted.
void FieldHost::ReadListing() {
    PacketBuilder w(kOLD, true);
    w.Value(kType1, 0);
    ++figures_.readListings;
    if (Call(w, CallKind::kListing, "write OLD", ListingBound()) != 1) {
        ++figures_.readListingsFailed;
        return;  // the slots still hold the last listing: nothing to act on
    }
    const std::vector<std::string> headers = ReadStore(kMsgOld, kOldSlots);
    const std::vector<std::string> bodies = ReadStore(kMsgInf, kOldSlots);
    int entries = 0;
    for (int i = 0; i < kOldSlots; ++i) {
        const std::string& header = headers[static_cast<std::size_t>(i)];
        if (header == "^") continue;
        ++entries;
        ledger_.ShownRead(header, bodies[static_cast<std::size_t>(i)], os::virt::Now());
        if (deletes_) Delete(header);
    }
    readListingDue_ = deletes_ && entries >= kOldSlots;  // more behind them
}

void FieldHost::ReadSettings() {
    ++figures_.settingsReads;
    PacketBuilder f(kCMGF);
    f.Value(kType2, 0);
    const int got = Call(f, CallKind::kSetting, "read CMGF", kExchangeBound);
    PacketBuilder c(kCSCA);
    c.Value(kTypeText, 0);
    if (Call(c, CallKind::kSetting, "read CSCA", kExchangeBound) != 1 || got != 1) ++figures_.settingsReadsFailed;
    os::virt::ReleaseAtom(static_cast<std::uint16_t>(c.Item(0).value));
    // The plant's script puts its message format back when the modem
    // reports another one.
    if (got == 1 && static_cast<int>(f.Item(0).value & 0xFF) != format_) SetMode(format_);
}

// The format the host wants; written again a minute later while the modem
// does not take it.
void FieldHost::SetMode(int format) {
    format_ = format;
    modeSet_ = WriteValue(kCMGF, kType2, static_cast<std::uint32_t>(format), CallKind::kSetting,
                          "write CMGF", kExchangeBound) == 1;
    if (!modeSet_) modeRetry_ = os::virt::Now() + kMinute;
}

// The stretches of the year: restarts of the runtime, weeks in text mode,
// days in which nobody deletes what has been shown.
void FieldHost::Segments() {
    const std::uint64_t now = os::virt::Now();
    if (now >= nextRestart_) {
        nextRestart_ = now + random_.Between(10 * kDay, 40 * kDay);
        Restart();
    }
    if (now >= nextMode_) {
        ++figures_.modeSwitches;
        if (format_ == 0) {
            textSince_ = now;
            nextMode_ = now + random_.Between(5 * kDay, 20 * kDay);
            SetMode(1);
        } else {
            figures_.daysTextMode += (now - textSince_) / kDay;
            nextMode_ = now + random_.Between(30 * kDay, 90 * kDay);
            SetMode(0);
        }
    } else if (!modeSet_ && now >= modeRetry_) {
        SetMode(format_);
    }
    if (now >= nextDeletes_) {
        deletes_ = !deletes_;
        if (!deletes_) {
            noDeletesSince_ = now;
            nextDeletes_ = now + random_.Between(1 * kDay, 3 * kDay);
        } else {
            figures_.daysWithoutDeletes += (now - noDeletesSince_ + kDay / 2) / kDay;
            nextDeletes_ = now + random_.Between(15 * kDay, 60 * kDay);
            readListingDue_ = true;  // what piled up meanwhile
        }
    }
}

// A message to send: an alarm or a report, in the coding the plant uses.
void FieldHost::Send() {
    const int id = static_cast<int>(sends_.size()) + 1;
    HostSend s;
    std::string utf8 = "S" + std::to_string(id);
    const bool text = format_ == 1;
    const bool chinese = !text && random_.Percent(50);
    const bool extension = !chinese && random_.Percent(30);
    const bool longOne = !text && random_.Percent(10);
    const std::size_t length = longOne ? (chinese ? random_.Between(80, 200) : random_.Between(170, 400))
                                       : random_.Between(10, chinese ? 60 : 140);
    while (true) {
        std::string phrase = chinese && random_.Percent(70) ? random_.Pick(kChinesePhrases)
                             : extension && random_.Percent(50) ? random_.Pick(kExtensionPhrases)
                                                                 : random_.Pick(kAsciiPhrases);
        const std::string next = utf8 + " " + phrase;
        const std::size_t units = chinese ? Ucs2Units(next) : GsmSeptets(next);
        if (units > length) break;
        utf8 = next;
    }
    s.codeMod = chinese ? 1 : static_cast<std::uint8_t>(random_.Percent(50) ? 0 : 1);
    const std::size_t units = s.codeMod == 1 ? Ucs2Units(utf8) : GsmSeptets(utf8);
    const std::size_t single = s.codeMod == 1 ? 70 : 160, part = s.codeMod == 1 ? 67 : 153;
    s.parts = units <= single ? 1 : static_cast<int>((units + part - 1) / part) + 1;
    const std::string gbk = Gbk(utf8);
    // MsgSend0 takes at most 254 bytes, cut between characters.
    std::size_t cut = 0;
    while (cut < gbk.size()) {
        const std::size_t w = static_cast<unsigned char>(gbk[cut]) >= 0x81 ? 2 : 1;
        if (cut + w > 254) break;
        cut += w;
    }
    s.text0 = gbk.substr(0, cut);
    s.text1 = gbk.substr(cut);
    s.tele = random_.Pick(kNumbers);
    sends_.push_back(s);
    ledger_.NewJob(s.tele, utf8, text, s.parts);
    WriteSend(id);
}

// One SEND of a message, and what the host hears of it: SReturn, and in the
// trace whether a refusal or an unknown outcome was behind a 2.
void FieldHost::WriteSend(int id) {
    const HostSend& s = sends_.at(static_cast<std::size_t>(id - 1));
    SendJob& job = ledger_.Job(id);
    WriteText(kTele, s.tele, 0);
    WriteText(kMsgSend, s.text0, 0);
    WriteText(kMsgSend, s.text1, 1);
    WriteValue(kCodeMod, kType2, s.codeMod, CallKind::kStored, "write stored", 0);

    if (job.verdictSeen) job.writtenAfterVerdict = true;
    PacketBuilder p(kSEND, true);
    p.Value(kType1, 0);
    const std::uint64_t bound =
        static_cast<std::uint64_t>(kAttempts * s.parts) * (kAttemptBound + kLongestBackOff);
    const int result = Call(p, CallKind::kSend, "write SEND", bound);
    const bool unknown = std::any_of(trace_.begin(), trace_.end(), [](const std::string& line) {
        return line.rfind("Send outcome unknown", 0) == 0;
    });
    PacketBuilder r(kSReturn);
    r.Value(kType2, 0);
    Call(r, CallKind::kStored, "read stored", 0);
    const int sreturn = static_cast<int>(r.Item(0).value & 0xFF);

    ++job.writes;
    if (sreturn == 1) ++job.done;
    else if (unknown) ++job.unknown;
    else ++job.refused;
    if (sreturn != 1 && unknown) unknownJob_ = id;
    if ((result == 1) != (sreturn == 1))
        ledger_.Fault(os::virt::Now(), "SEND returned " + std::to_string(result) + " with SReturn " +
                                           std::to_string(sreturn));
    // A plant sends an alarm again a few minutes after it failed, twice.
    if (sreturn != 1 && job.writes < 3) retries_.push_back({os::virt::Now() + random_.Between(2 * kMinute, 10 * kMinute), id});
}

void FieldHost::RunUntil(std::uint64_t endMs) {
    while (os::virt::Now() < endMs) {
        field_.RunUntil(os::virt::Now());
        Segments();
        std::uint64_t now = os::virt::Now();
        if (now >= nextLink_) {
            LinkTest();
            nextLink_ = Next(nextLink_, kSecond);
        }
        now = os::virt::Now();
        if (now >= nextUnread_) {
            UnreadListing();
            nextUnread_ = Next(nextUnread_, 10 * kSecond);
        }
        now = os::virt::Now();
        if (now >= nextRead_ || readListingDue_) {
            readListingDue_ = false;
            ReadListing();
            nextRead_ = Next(nextRead_, 10 * kMinute);
        }
        now = os::virt::Now();
        if (now >= nextSettings_) {
            ReadSettings();
            nextSettings_ = now + random_.Between(kMinute, 10 * kMinute);
        }
        now = os::virt::Now();
        if (sending_ && now >= nextSend_) {
            Send();
            nextSend_ = os::virt::Now() + random_.Between(0, 6 * kHour);
        }
        for (std::size_t i = 0; i < retries_.size();) {
            if (os::virt::Now() < retries_[i].at) {
                ++i;
                continue;
            }
            const int job = retries_[i].job;
            retries_.erase(retries_.begin() + static_cast<std::ptrdiff_t>(i));
            WriteSend(job);
        }
        std::uint64_t wake = std::min({nextLink_, nextUnread_, nextRead_, nextSettings_, endMs});
        if (sending_) wake = std::min(wake, nextSend_);
        for (const Retry& retry : retries_) wake = std::min(wake, retry.at);
        now = os::virt::Now();
        if (wake > now) os::Sleep(static_cast<std::uint32_t>(wake - now));
    }
}

void FieldHost::Drain(std::uint64_t limitMs, const std::function<bool()>& drained) {
    sending_ = false;
    retries_.clear();
    if (!deletes_) {
        deletes_ = true;
        figures_.daysWithoutDeletes += (os::virt::Now() - noDeletesSince_ + kDay / 2) / kDay;
    }
    nextDeletes_ = nextRestart_ = nextMode_ = ~std::uint64_t{0};
    if (format_ != 0) figures_.daysTextMode += (os::virt::Now() - textSince_) / kDay;
    const std::uint64_t end = os::virt::Now() + limitMs;
    while (os::virt::Now() < end) {
        readListingDue_ = true;
        RunUntil(os::virt::Now() + kMinute);
        if (drained()) break;
    }
}

}  // namespace vantor::test
