// The host's view of the module: the two custom interfaces of CModulePro and
// the identifiers registered for it. Shared by the module, the Win32 tests and
// the host emulator. Every method uses the COM calling convention (__stdcall);
// arguments are 32-bit values and results 32-bit integers (not HRESULTs).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdint>

#include "host/records.h"

namespace vantor {

// {515F9096-5B37-4924-9429-55E63A6DFFA5}
inline constexpr CLSID kClsidModulePro = {
    0x515F9096, 0x5B37, 0x4924, {0x94, 0x29, 0x55, 0xE6, 0x3A, 0x6D, 0xFF, 0xA5}};
// {2D921821-D190-11D1-BB16-004005625AD7}
inline constexpr IID kIidDeviceDriver = {
    0x2D921821, 0xD190, 0x11D1, {0xBB, 0x16, 0x00, 0x40, 0x05, 0x62, 0x5A, 0xD7}};
// {8CB34601-A8F5-11D4-8BE0-0050BACFBB99}
inline constexpr IID kIidPortSharing = {
    0x8CB34601, 0xA8F5, 0x11D4, {0x8B, 0xE0, 0x00, 0x50, 0xBA, 0xCF, 0xBB, 0x99}};
// {4F86EDE1-FA7F-4626-B999-2DECBCE09270}: the (empty) dispatch interface
inline constexpr IID kDiidModulePro = {
    0x4F86EDE1, 0xFA7F, 0x4626, {0xB9, 0x99, 0x2D, 0xEC, 0xBC, 0xE0, 0x92, 0x70}};
inline constexpr char kProgId[] = "Vantor.VantorPro";

struct IDeviceDriver : IUnknown {
    virtual std::int32_t STDMETHODCALLTYPE GetRegisterTable(std::int32_t reserved,
                                                            const RegisterDef** rows,
                                                            std::int32_t* count) = 0;
    virtual std::int32_t STDMETHODCALLTYPE LinkTest(std::int32_t enable, std::int32_t a,
                                                    std::int32_t b) = 0;
    virtual std::int32_t STDMETHODCALLTYPE CheckRegister(const RegisterQuery* query,
                                                         RegisterRef* ref) = 0;
    virtual std::int32_t STDMETHODCALLTYPE DriverReserved1(std::int32_t, std::int32_t,
                                                           std::int32_t) = 0;
    virtual std::int32_t STDMETHODCALLTYPE OpenPort(std::int32_t reserved,
                                                    const PortConfig* config) = 0;
    virtual std::int32_t STDMETHODCALLTYPE ClosePort() = 0;
    virtual std::int32_t STDMETHODCALLTYPE DriverReserved2(std::int32_t, std::int32_t,
                                                           std::int32_t) = 0;
    virtual std::int32_t STDMETHODCALLTYPE DriverReserved3(std::int32_t a, std::int32_t b,
                                                           std::int32_t c) = 0;
    virtual std::int32_t STDMETHODCALLTYPE ProcessPacket(const IoPacket* packet) = 0;
    virtual std::int32_t STDMETHODCALLTYPE CheckDeviceAddress(const char* text,
                                                              std::int32_t* address) = 0;
    virtual const char* STDMETHODCALLTYPE GetErrorText() = 0;
};

struct IPortSharing : IUnknown {
    virtual std::int32_t STDMETHODCALLTYPE ProcessSharedPacket(const IoPacket* packet) = 0;
    virtual std::int32_t STDMETHODCALLTYPE SetPortHandle(const HANDLE* handle) = 0;
    virtual std::int32_t STDMETHODCALLTYPE SharingReserved(std::int32_t, std::int32_t,
                                                           std::int32_t) = 0;
    virtual std::int32_t STDMETHODCALLTYPE GetPortHandle(HANDLE* handle) = 0;
};

}  // namespace vantor
