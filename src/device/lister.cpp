// The listing dialogues of both formats.
#include <cstring>

#include "device/lister.h"
#include "link/chat.h"
#include "link/exchange.h"
#include "sms/listing_reader.h"
#include "sms/shown_text.h"

namespace vantor {

namespace {

constexpr char kShowTextLengths[] = "AT+CSDH=1\r\n";
constexpr std::uint32_t kListingQuietMs = 1000;
constexpr char kListUnreadText[] = "AT+CMGL=\"REC UNREAD\"\r";
constexpr char kListReadText[] = "AT+CMGL=\"REC READ\"\r";

}  // namespace

int Lister::List(const Listing& listing) noexcept { return List(listing, false); }

int Lister::List(const Listing& l, bool formatRestored) noexcept {
    const std::uint8_t* request = l.request;
    std::int32_t length = l.length;
    const int slots = l.slots < kOldSlots ? l.slots : kOldSlots;
    std::uint8_t command[sizeof kListUnreadText] = {};
    if (l.textMode) {
        // Each text-mode header then carries its body's length, so a body is
        // taken whole, whatever lines it holds.
        std::uint8_t csdh[kAnswerSize] = {};
        std::memcpy(csdh, kShowTextLengths, sizeof kShowTextLengths - 1);
        std::int32_t csdhLength = sizeof kShowTextLengths - 1;
        if (link::Exchange(line_, csdh, &csdhLength) == 0) return 0;
        const char* text = l.unread ? kListUnreadText : kListReadText;
        length = static_cast<std::int32_t>(std::strlen(text));
        std::memcpy(command, text, static_cast<std::size_t>(length));
        request = command;
    }

    const sms::ListingFormat format = l.textMode ? sms::ListingFormat::kText : sms::ListingFormat::kPdu;
    sms::ListingReader reader(format, listed_, slots);
    // The answer is read as it arrives, so a listing of any length passes
    // through the reader's fixed areas; each chunk is traced as it comes.
    // A SIM may pause between the entries of a listing; the modem has always
    // been given a second of quiet in text mode before its answer was taken
    // as complete, and is given it in PDU mode too: a listing given up
    // between two entries has had every entry marked read by the modem, and
    // the host would never see them as unread.
    const link::Pacing pacing = link::Pacing::Listing(kListingQuietMs);
    if (request == nullptr || length <= 0) return 0;
    const at::Verdict verdict =
        link::Chat(line_, link::Command{request, length}, reader, pacing, nullptr).verdict;
    // Refused, perhaps by a restarted modem back in PDU mode: once text mode
    // is back, listed again, once a host call (a modem that keeps refusing
    // after saying it took text mode is not asked for ever).
    if (verdict == at::Verdict::kRefused && l.textMode && !formatRestored && format_.RestoreTextMode())
        return List(l, true);
    if (verdict != at::Verdict::kDone) return 0;

    // An unread PDU listing with no entry keeps the messages shown so far
    // (the modem has marked them read); every other listing shows the
    // modem's current state.
    if (l.unread && !l.textMode && reader.Entries() == 0) return 1;
    const int listed = reader.Entries() < slots ? reader.Entries() : slots;
    sms::ShowListing(listed_, listed, format, l.header, l.text, slots);
    for (int i = 0; i < listed; ++i) journal_.Listed(listed_[i], l.unread);
    return 1;
}

}  // namespace vantor
