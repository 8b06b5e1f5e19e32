// The SIM message store of the modem model (TS 27.005 <mem> "SM"): numbered
// slots holding received messages as raw SMS-DELIVER PDUs, each unread until
// a listing or AT+CMGR shows it, and a record of every message that entered
// the store, kept after the message is deleted.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modem {

// One slot of the SIM message store.
struct StoredMessage {
    int index = 0;                 // 1-based storage index
    bool read = false;             // "REC READ" (1) or "REC UNREAD" (0)
    std::string pdu;               // SMS-DELIVER, SMSC field first, upper-case hex
};

class SmsStore {
public:
    // Slots 1 .. capacity (at least 1; 30 unless set).
    // Messages already in slots past a smaller capacity stay where they are.
    void SetCapacity(int slots);
    int capacity() const { return capacity_; }
    int used() const { return static_cast<int>(slots_.size()); }
    int unread() const;
    bool InRange(int index) const { return index >= 1 && index <= capacity_; }

    // Stores a message in the lowest free slot; returns its index, or 0 when
    // the store is full or the PDU is not an SMS-DELIVER.
    int Add(std::string_view pdu_hex, bool read);
    // Stores a message at `index`, replacing what was there. False when the
    // index is outside the store or the PDU is not an SMS-DELIVER.
    bool Put(int index, std::string_view pdu_hex, bool read);

    std::optional<StoredMessage> Find(int index) const;
    std::vector<StoredMessage> All() const;  // in index order
    // A received message once shown (TS 27.005 3.4.2, 3.4.3): "REC READ".
    void MarkRead(int index);
    // Empties the slot; an empty slot stays empty.
    void Erase(int index) { slots_.erase(index); }

    // Every message that entered the store (initial ones, arrivals), in order.
    const std::vector<StoredMessage>& History() const { return history_; }

private:
    int capacity_ = 30;
    std::map<int, StoredMessage> slots_;
    std::vector<StoredMessage> history_;
};

}  // namespace modem
