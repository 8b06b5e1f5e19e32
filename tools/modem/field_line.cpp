#include "modem/field_line.h"

namespace modem {
namespace {

// The model's record of the line is let go of once it holds this many
// command lines: a run of months would otherwise keep every byte.
constexpr std::size_t kLinesKept = 1000;

}  // namespace

void FieldLine::Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) {
    field_.RunUntil(now);
    modem_.Receive(bytes, length, now);
    const auto& lines = modem_.CommandLines();
    for (; lines_seen_ < lines.size(); ++lines_seen_) field_.OnCommand(lines[lines_seen_], now);
    if (lines.size() >= kLinesKept) {
        modem_.ForgetLineRecord();
        lines_seen_ = 0;
    }
}

std::size_t FieldLine::Pending(std::uint64_t now) {
    field_.RunUntil(now);
    return modem_.Pending(now);
}

std::size_t FieldLine::Take(std::uint8_t* out, std::size_t max, std::uint64_t now) {
    field_.RunUntil(now);
    return modem_.Take(out, max, now);
}

void FieldLine::Purge(std::uint64_t now) {
    field_.RunUntil(now);
    modem_.Purge(now);
}

}  // namespace modem
