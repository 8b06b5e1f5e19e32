// Shared between the parts of the virtual OS.
#pragma once

#include <cstdint>

#include "os/os.h"

namespace os::virt {
void ResetPorts();
void ResetFiles();
// Whether calls are recorded (RecordPortCalls): the file calls follow it.
bool RecordingCalls();

// The file system's share of the calls that serve serial ports and files
// alike: CreateFileA of a path that names no device ("//./NAME"), and
// ReadFile, WriteFile and CloseHandle on the handles it gave.
bool NamesDevice(const char* path);
Handle CreateDiskFile(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t creation);
bool IsDiskHandle(Handle h);
int ReadDiskFile(Handle h, void* buffer, std::uint32_t toRead, std::uint32_t* read);
int WriteDiskFile(Handle h, const void* buffer, std::uint32_t toWrite, std::uint32_t* written);
int CloseDiskHandle(Handle h);
}  // namespace os::virt
