// A driver with nothing but the CDriverBase members, for the register checks.
#pragma once

#include "device/driver_base.h"

namespace register_test {

class BareDriver final : public vantor::CDriverBase {
public:
    int Reserved1(std::int32_t, std::int32_t) noexcept override { return 0; }
    int Reserved2(std::int32_t, std::int32_t, std::int32_t, std::int32_t) noexcept override { return 0; }
    int Reserved3(std::int32_t, std::int32_t, std::int32_t, std::int32_t) noexcept override { return 0; }
    int BuildRequest(const vantor::IoPacket*, std::uint8_t*, std::int32_t*, std::int32_t*,
                     std::int32_t) noexcept override { return 0; }
    int Exchange(std::uint8_t*, std::int32_t*, std::int32_t) noexcept override { return 0; }
    int Reserved6(std::int32_t, std::int32_t, std::int32_t) noexcept override { return 0; }
    int DeliverRaw(const vantor::IoPacket*, const std::uint8_t*, std::int32_t) noexcept override {
        return 0;
    }
    int Deliver(const vantor::IoPacket*, std::uint8_t*, std::int32_t, std::int32_t) noexcept override {
        return 0;
    }
    int ProcessPacket(const vantor::IoPacket*, std::int32_t) noexcept override { return 0; }
    int Reserved10(std::int32_t, std::int32_t, std::int32_t) noexcept override { return 0; }
    int Reserved11(std::int32_t, std::int32_t, std::int32_t) noexcept override { return 0; }
    int LinkTest(std::int32_t, std::int32_t, std::int32_t) noexcept override { return 0; }
};

}  // namespace register_test
