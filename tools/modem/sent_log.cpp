#include "modem/sent_log.h"

#include <optional>
#include <utility>

#include "modem/gsm_charset.h"

namespace modem {

void SentLog::Record(SentMessage sent, const Pdu* pdu) {
    const std::optional<Concatenation> concat = pdu ? FindConcatenation(*pdu) : std::nullopt;
    if (!concat || concat->total < 2) {
        messages_.push_back(std::move(sent));
        return;
    }
    sent.parts = concat->total;
    sent.concat_reference = concat->reference;
    sent.sequence = concat->sequence;
    parts_.push_back(sent);
    const auto key = std::make_tuple(sent.number, concat->reference, concat->total);
    auto& parts = partial_[key];
    // Parts of a message that was never finished are given up after a day,
    // as phones give them up: the reference comes round again (it is one
    // octet), and a later message must not be joined with them.
    for (auto it = parts.begin(); it != parts.end();) {
        if (it->second.sent.at_ms + kPartsKeptMs < sent.at_ms) it = parts.erase(it);
        else ++it;
    }
    // A part heard again before its message is complete replaces the first.
    parts[concat->sequence] = PendingPart{std::move(sent), *pdu};
    if (static_cast<int>(parts.size()) < concat->total) return;

    // All parts are in: one message, its text joined before decoding, so an
    // escape pair or a surrogate pair split by a careless sender still reads.
    SentMessage whole = parts.rbegin()->second.sent;
    whole.sequence = 0;
    whole.pdu.clear();
    std::vector<std::uint8_t> septets, octets;
    for (const auto& [sequence, part] : parts) {
        whole.pdu += (whole.pdu.empty() ? "" : ",") + part.sent.pdu;
        septets.insert(septets.end(), part.pdu.septets.begin(), part.pdu.septets.end());
        const std::vector<std::uint8_t> body = BodyOctets(part.pdu);
        octets.insert(octets.end(), body.begin(), body.end());
        // The part that came last gives the message its time and reference.
        if (part.sent.at_ms > whole.at_ms) {
            whole.at_ms = part.sent.at_ms;
            whole.reference = part.sent.reference;
        }
    }
    // The coding of the first part stands for the message.
    whole.coding = parts.begin()->second.sent.coding;
    if (whole.coding == Coding::kGsm7) whole.text = ToUtf8(GsmToUnicode(septets));
    else if (whole.coding == Coding::kUcs2) whole.text = ToUtf8(Ucs2ToUnicode(octets));
    else whole.text = BytesToHex(octets.data(), octets.size());
    partial_.erase(key);
    messages_.push_back(std::move(whole));
}

}  // namespace modem
