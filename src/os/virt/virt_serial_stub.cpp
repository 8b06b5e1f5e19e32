// Placeholder until the virtual serial ports land: every port call fails.
#include "os/virt/virt.h"
#include "os/virt/virt_internal.h"
namespace os {
Handle CreateFileA(const char*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) { return kInvalidHandle; }
int SetupComm(Handle, std::uint32_t, std::uint32_t) { return 0; }
int GetCommState(Handle, Dcb*) { return 0; }
int SetCommState(Handle, const Dcb*) { return 0; }
int SetCommMask(Handle, std::uint32_t) { return 0; }
int PurgeComm(Handle, std::uint32_t) { return 0; }
int SetCommTimeouts(Handle, const CommTimeouts*) { return 0; }
int ClearCommError(Handle, std::uint32_t*, ComStat*) { return 0; }
int ReadFile(Handle, void*, std::uint32_t, std::uint32_t*) { return 0; }
int WriteFile(Handle, const void*, std::uint32_t, std::uint32_t*) { return 0; }
int CloseHandle(Handle) { return 0; }
namespace virt { void ResetPorts() {} }
}  // namespace os
