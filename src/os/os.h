// The seam between the driver core and the operating system.
//
// Everything the core needs from the system goes through these functions. They
// mirror the Win32 calls one to one (same order of arguments, same results), so
// the algorithms that use them live in the core where a native test can watch
// every call. Two implementations exist: os/win32 forwards each call to the
// Windows API; os/virt serves them from a virtual clock, in-memory serial
// ports, an atom table, iconv, a trace recorder, and in-memory files and
// registry values.
//
// The core never includes <windows.h>; it uses the types below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace os {

// A Win32 HANDLE value. 32 bits wide in the product; the value all-ones is
// INVALID_HANDLE_VALUE.
using Handle = std::uintptr_t;
inline constexpr Handle kInvalidHandle = ~Handle{0};

// CreateFileA arguments used by the driver.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;

// SetCommMask / PurgeComm flags.
inline constexpr std::uint32_t kEvRxFlag = 0x0002;
inline constexpr std::uint32_t kEvBreak = 0x0040;
inline constexpr std::uint32_t kPurgeTxAbort = 0x0001;
inline constexpr std::uint32_t kPurgeRxAbort = 0x0002;
inline constexpr std::uint32_t kPurgeTxClear = 0x0004;
inline constexpr std::uint32_t kPurgeRxClear = 0x0008;

inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kTwoStopBits = 2;
inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

// The Win32 DCB, field for field (28 bytes). The bit-field word is kept as one
// 32-bit value: the driver never changes it, so whatever the port had stays.
struct Dcb {
    std::uint32_t DCBlength;
    std::uint32_t BaudRate;
    std::uint32_t Flags;  // fBinary .. fDummy2
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};
static_assert(sizeof(Dcb) == 28);

// The Win32 COMMTIMEOUTS.
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout;
    std::uint32_t ReadTotalTimeoutMultiplier;
    std::uint32_t ReadTotalTimeoutConstant;
    std::uint32_t WriteTotalTimeoutMultiplier;
    std::uint32_t WriteTotalTimeoutConstant;
};

// The part of the Win32 COMSTAT the driver reads.
struct ComStat {
    std::uint32_t Flags;
    std::uint32_t cbInQue;
    std::uint32_t cbOutQue;
};

// A Win32 FILETIME: 100 ns units since 1601-01-01, low half first.
struct FileTime {
    std::uint32_t dwLowDateTime;
    std::uint32_t dwHighDateTime;
};

// --- serial communications (Win32 semantics: nonzero result = success) ---
Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                   std::uint32_t creation, std::uint32_t flags);
int SetupComm(Handle h, std::uint32_t inQueue, std::uint32_t outQueue);
int GetCommState(Handle h, Dcb* dcb);
int SetCommState(Handle h, const Dcb* dcb);
int SetCommMask(Handle h, std::uint32_t mask);
int PurgeComm(Handle h, std::uint32_t flags);
int SetCommTimeouts(Handle h, const CommTimeouts* timeouts);
int ClearCommError(Handle h, std::uint32_t* errors, ComStat* stat);
int ReadFile(Handle h, void* buffer, std::uint32_t toRead, std::uint32_t* read);
int WriteFile(Handle h, const void* buffer, std::uint32_t toWrite, std::uint32_t* written);
int CloseHandle(Handle h);

// --- time ---
void Sleep(std::uint32_t milliseconds);
std::uint32_t GetTickCount();
FileTime CoFileTimeNow();

// --- locks ---
// A Win32 SRW lock, always taken exclusively. All zero bits are an unlocked
// lock (SRWLOCK_INIT), so a static one needs no set-up; taking and leaving it
// cannot fail.
struct SrwLock {
    void* state = nullptr;
};
void AcquireSRWLockExclusive(SrwLock* lock);
void ReleaseSRWLockExclusive(SrwLock* lock);

// --- global atoms ---
std::uint16_t GlobalAddAtomA(const char* text);
std::uint32_t GlobalGetAtomNameA(std::uint16_t atom, char* buffer, int size);

// --- code page conversion with the ANSI code page (CP_ACP; GBK on the shipped machines) ---
// Same contract as MultiByteToWideChar / WideCharToMultiByte with CP_ACP and no
// flags: a size of 0 asks for the required length; the result is the number of
// units written (0 on failure). `usedDefault` may be null.
int MultiByteToWideChar(const char* text, int length, char16_t* wide, int wideSize);
int WideCharToMultiByte(const char16_t* wide, int length, char* text, int textSize,
                        bool* usedDefault);

// --- trace sink (OutputDebugStringA on Windows) ---
void OutputDebugStringA(const char* text);

// --- files and folders (the journal) ---
// CreateFileA above opens files too. FILE_APPEND_DATA alone: every write goes
// to the end of the file, whoever else appends to it.
inline constexpr std::uint32_t kFileAppendData = 0x0004;
inline constexpr std::uint32_t kFileShareRead = 0x0001;
inline constexpr std::uint32_t kFileShareWrite = 0x0002;
inline constexpr std::uint32_t kFileShareDelete = 0x0004;
inline constexpr std::uint32_t kOpenAlways = 4;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
// A symbolic link or a junction: a name that leads somewhere else.
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
// CreateFileA opens a link itself instead of what it leads to.
inline constexpr std::uint32_t kFileFlagOpenReparsePoint = 0x00200000;
inline constexpr int kMaxPath = 260;

// GetLastError values the journal names.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
// Another program holds the file open without sharing what was asked.
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorStoppedOnSymlink = 681;

// The Win32 WIN32_FIND_DATAA, field for field.
struct FindData {
    std::uint32_t dwFileAttributes;
    FileTime ftCreationTime;
    FileTime ftLastAccessTime;
    FileTime ftLastWriteTime;
    std::uint32_t nFileSizeHigh;
    std::uint32_t nFileSizeLow;
    std::uint32_t dwReserved0;
    std::uint32_t dwReserved1;
    char cFileName[kMaxPath];
    char cAlternateFileName[14];
};

// Win32 semantics: nonzero result = success; GetLastError says why not.
// CreateDirectoryA with the security descriptor that `sddl` describes
// (ConvertStringSecurityDescriptorToSecurityDescriptorA, SDDL_REVISION_1,
// freed with LocalFree after); no security attributes when `sddl` is null.
// A description that cannot be converted creates nothing.
int CreateDirectoryA(const char* path, const char* sddl);
// kInvalidFileAttributes when `path` does not exist (GetLastError says why).
std::uint32_t GetFileAttributesA(const char* path);
// The string SID of the account the process runs as: OpenProcessToken
// (TOKEN_QUERY), GetTokenInformation(TokenUser), ConvertSidToStringSidA into
// `sid` (`size` bytes). Nonzero when it fits.
int GetCurrentUserSid(char* sid, std::size_t size);
int DeleteFileA(const char* path);
int GetFileSizeEx(Handle h, std::int64_t* size);
Handle FindFirstFileA(const char* pattern, FindData* data);  // kInvalidHandle: none
int FindNextFileA(Handle find, FindData* data);
int FindClose(Handle find);
std::uint32_t GetLastError();

// SHGetFolderPathA(NULL, folder, NULL, SHGFP_TYPE_CURRENT, path): an HRESULT,
// 0 (S_OK) when `path` (kMaxPath bytes) holds the folder.
inline constexpr int kCsidlCommonAppData = 0x0023;
std::int32_t SHGetFolderPathA(int folder, char* path);

// --- local time ---
// The Win32 SYSTEMTIME.
struct SystemTime {
    std::uint16_t wYear;
    std::uint16_t wMonth;
    std::uint16_t wDayOfWeek;
    std::uint16_t wDay;
    std::uint16_t wHour;
    std::uint16_t wMinute;
    std::uint16_t wSecond;
    std::uint16_t wMilliseconds;
};

// The Win32 TIME_ZONE_INFORMATION; biases in minutes, UTC = local + bias.
struct TimeZoneInformation {
    std::int32_t Bias;
    char16_t StandardName[32];
    SystemTime StandardDate;
    std::int32_t StandardBias;
    char16_t DaylightName[32];
    SystemTime DaylightDate;
    std::int32_t DaylightBias;
};
inline constexpr std::uint32_t kTimeZoneIdUnknown = 0;
inline constexpr std::uint32_t kTimeZoneIdStandard = 1;
inline constexpr std::uint32_t kTimeZoneIdDaylight = 2;
inline constexpr std::uint32_t kTimeZoneIdInvalid = 0xFFFFFFFFu;

void GetLocalTime(SystemTime* time);
std::uint32_t GetTimeZoneInformation(TimeZoneInformation* zone);

// --- registry (read only) ---
// An HKEY value. HKEY_LOCAL_MACHINE is the 32-bit value 0x80000002 widened
// with its sign, as <windows.h> defines it.
using HKey = std::uintptr_t;
inline constexpr HKey kHkeyLocalMachine =
    static_cast<HKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::int32_t kErrorSuccess = 0;

// Win32 semantics: ERROR_SUCCESS (0) or a system error code.
std::int32_t RegOpenKeyExA(HKey key, const char* subKey, std::uint32_t options,
                           std::uint32_t access, HKey* result);
std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size);
std::int32_t RegCloseKey(HKey key);

}  // namespace os
