#include "modem/sms_store.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "modem/gsm_charset.h"

namespace modem {
namespace {

// Hex digits with a whole SMSC field and at least one octet after it.
bool ValidStorePdu(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    return HexToBytes(hex, &bytes) && !bytes.empty() && 1u + bytes[0] < bytes.size();
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

void SmsStore::SetCapacity(int slots) { capacity_ = std::max(slots, 1); }

int SmsStore::unread() const {
    return static_cast<int>(std::count_if(slots_.begin(), slots_.end(),
                                          [](const auto& slot) { return !slot.second.read; }));
}

int SmsStore::Add(std::string_view pdu_hex, bool read) {
    for (int index = 1; index <= capacity_; ++index) {
        if (slots_.count(index) == 0) return Put(index, pdu_hex, read) ? index : 0;
    }
    return 0;
}

bool SmsStore::Put(int index, std::string_view pdu_hex, bool read) {
    if (!InRange(index) || !ValidStorePdu(pdu_hex)) return false;
    slots_[index] = StoredMessage{index, read, Upper(pdu_hex)};
    history_.push_back(slots_[index]);
    return true;
}

std::optional<StoredMessage> SmsStore::Find(int index) const {
    auto it = slots_.find(index);
    if (it == slots_.end()) return std::nullopt;
    return it->second;
}

std::vector<StoredMessage> SmsStore::All() const {
    std::vector<StoredMessage> out;
    for (const auto& [index, message] : slots_) out.push_back(message);
    return out;
}

void SmsStore::MarkRead(int index) {
    auto it = slots_.find(index);
    if (it != slots_.end()) it->second.read = true;
}

}  // namespace modem
