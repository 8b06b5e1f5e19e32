// The far end of the plant's serial line: the modem model with the field's
// events applied to it as virtual time passes, so that a message arrives,
// the power fails or the cable is pulled in the middle of a dialogue, not
// only between the host's calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "modem/field_schedule.h"
#include "modem/modem_model.h"
#include "os/virt/virt.h"

namespace modem {

class FieldLine : public os::virt::Peer {
public:
    FieldLine(Tc35Model& modem, FieldSchedule& field) : modem_(modem), field_(field) {}

    void Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) override;
    std::size_t Pending(std::uint64_t now) override;
    std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t now) override;
    void Purge(std::uint64_t now) override;

private:
    Tc35Model& modem_;
    FieldSchedule& field_;
    std::size_t lines_seen_ = 0;  // of modem_.CommandLines()
};

}  // namespace modem
