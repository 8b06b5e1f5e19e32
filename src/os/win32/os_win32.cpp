// The seam on Windows: every function forwards to the Win32 call of the same
// name. The seam's structs mirror the real ones; the asserts below pin the
// layouts the copies rely on.
#include "os/os.h"

#include <windows.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstddef>
#include <cstring>

namespace os {
namespace {

static_assert(sizeof(Handle) == sizeof(HANDLE));
static_assert(sizeof(Dcb) == sizeof(DCB));
static_assert(offsetof(Dcb, BaudRate) == offsetof(DCB, BaudRate));
static_assert(offsetof(Dcb, wReserved) == offsetof(DCB, wReserved));
static_assert(offsetof(Dcb, XonLim) == offsetof(DCB, XonLim));
static_assert(offsetof(Dcb, ByteSize) == offsetof(DCB, ByteSize));
static_assert(offsetof(Dcb, Parity) == offsetof(DCB, Parity));
static_assert(offsetof(Dcb, StopBits) == offsetof(DCB, StopBits));
static_assert(offsetof(Dcb, EvtChar) == offsetof(DCB, EvtChar));
static_assert(offsetof(Dcb, wReserved1) == offsetof(DCB, wReserved1));
static_assert(sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS));
static_assert(sizeof(ComStat) == sizeof(COMSTAT));
static_assert(sizeof(FileTime) == sizeof(FILETIME));
static_assert(sizeof(char16_t) == sizeof(WCHAR));
static_assert(sizeof(SrwLock) == sizeof(SRWLOCK));
static_assert(sizeof(FindData) == sizeof(WIN32_FIND_DATAA));
static_assert(offsetof(FindData, nFileSizeHigh) == offsetof(WIN32_FIND_DATAA, nFileSizeHigh));
static_assert(offsetof(FindData, cFileName) == offsetof(WIN32_FIND_DATAA, cFileName));
static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME));
static_assert(sizeof(TimeZoneInformation) == sizeof(TIME_ZONE_INFORMATION));
static_assert(offsetof(TimeZoneInformation, StandardBias) ==
              offsetof(TIME_ZONE_INFORMATION, StandardBias));
static_assert(offsetof(TimeZoneInformation, DaylightBias) ==
              offsetof(TIME_ZONE_INFORMATION, DaylightBias));
static_assert(sizeof(HKey) == sizeof(HKEY));

// COMSTAT's bit-field word (fCtsHold .. fReserved) comes first.
constexpr std::size_t kComStatFlagsOffset = 0;

HANDLE ToWin(Handle h) { return reinterpret_cast<HANDLE>(h); }

// os::Dcb mirrors the DCB field for field (the asserts above pin every field
// the driver touches and the total size), so a byte copy carries the port's
// own settings, the bit-field word included, unchanged both ways.
DCB ToWin(const Dcb& from) {
    DCB to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

Dcb FromWin(const DCB& from) {
    Dcb to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

}  // namespace

Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                   std::uint32_t creation, std::uint32_t flags) {
    return reinterpret_cast<Handle>(
        ::CreateFileA(path, access, shareMode, nullptr, creation, flags, nullptr));
}

int SetupComm(Handle h, std::uint32_t inQueue, std::uint32_t outQueue) {
    return ::SetupComm(ToWin(h), inQueue, outQueue);
}

int GetCommState(Handle h, Dcb* dcb) {
    if (dcb == nullptr) return 0;
    DCB real{};
    real.DCBlength = sizeof(DCB);
    const BOOL ok = ::GetCommState(ToWin(h), &real);
    if (ok) *dcb = FromWin(real);
    return ok;
}

int SetCommState(Handle h, const Dcb* dcb) {
    if (dcb == nullptr) return 0;
    DCB real = ToWin(*dcb);
    return ::SetCommState(ToWin(h), &real);
}

int SetCommMask(Handle h, std::uint32_t mask) { return ::SetCommMask(ToWin(h), mask); }

int PurgeComm(Handle h, std::uint32_t flags) { return ::PurgeComm(ToWin(h), flags); }

int SetCommTimeouts(Handle h, const CommTimeouts* timeouts) {
    if (timeouts == nullptr) return 0;
    COMMTIMEOUTS real{};
    real.ReadIntervalTimeout = timeouts->ReadIntervalTimeout;
    real.ReadTotalTimeoutMultiplier = timeouts->ReadTotalTimeoutMultiplier;
    real.ReadTotalTimeoutConstant = timeouts->ReadTotalTimeoutConstant;
    real.WriteTotalTimeoutMultiplier = timeouts->WriteTotalTimeoutMultiplier;
    real.WriteTotalTimeoutConstant = timeouts->WriteTotalTimeoutConstant;
    return ::SetCommTimeouts(ToWin(h), &real);
}

int ClearCommError(Handle h, std::uint32_t* errors, ComStat* stat) {
    DWORD realErrors = 0;
    COMSTAT realStat{};
    const BOOL ok = ::ClearCommError(ToWin(h), &realErrors, &realStat);
    if (errors != nullptr) *errors = realErrors;
    if (stat != nullptr) {
        std::memcpy(&stat->Flags,
                    reinterpret_cast<const unsigned char*>(&realStat) + kComStatFlagsOffset,
                    sizeof(stat->Flags));
        stat->cbInQue = realStat.cbInQue;
        stat->cbOutQue = realStat.cbOutQue;
    }
    return ok;
}

int ReadFile(Handle h, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    DWORD done = 0;
    const BOOL ok = ::ReadFile(ToWin(h), buffer, toRead, &done, nullptr);
    if (read != nullptr) *read = done;
    return ok;
}

int WriteFile(Handle h, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) {
    DWORD done = 0;
    const BOOL ok = ::WriteFile(ToWin(h), buffer, toWrite, &done, nullptr);
    if (written != nullptr) *written = done;
    return ok;
}

int CloseHandle(Handle h) { return ::CloseHandle(ToWin(h)); }

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::uint32_t GetTickCount() { return ::GetTickCount(); }

FileTime CoFileTimeNow() {
    FILETIME now{};
    ::CoFileTimeNow(&now);
    return FileTime{now.dwLowDateTime, now.dwHighDateTime};
}

void AcquireSRWLockExclusive(SrwLock* lock) {
    ::AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(lock));
}
void ReleaseSRWLockExclusive(SrwLock* lock) {
    ::ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(lock));
}

std::uint16_t GlobalAddAtomA(const char* text) { return ::GlobalAddAtomA(text); }

std::uint32_t GlobalGetAtomNameA(std::uint16_t atom, char* buffer, int size) {
    return ::GlobalGetAtomNameA(atom, buffer, size);
}

int MultiByteToWideChar(const char* text, int length, char16_t* wide, int wideSize) {
    return ::MultiByteToWideChar(CP_ACP, 0, text, length, reinterpret_cast<LPWSTR>(wide),
                                 wideSize);
}

int WideCharToMultiByte(const char16_t* wide, int length, char* text, int textSize,
                        bool* usedDefault) {
    BOOL defaulted = FALSE;
    const int result =
        ::WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(wide), length, text, textSize,
                              nullptr, usedDefault != nullptr ? &defaulted : nullptr);
    if (usedDefault != nullptr) *usedDefault = defaulted != FALSE;
    return result;
}

void OutputDebugStringA(const char* text) { ::OutputDebugStringA(text); }

int CreateDirectoryA(const char* path, const char* sddl) {
    if (sddl == nullptr) return ::CreateDirectoryA(path, nullptr);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return 0;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const BOOL ok = ::CreateDirectoryA(path, &attributes);
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return ok;
}

std::uint32_t GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }

int GetCurrentUserSid(char* sid, std::size_t size) {
    struct Token {
        HANDLE h = nullptr;
        ~Token() {
            if (h != nullptr) ::CloseHandle(h);
        }
    } token;
    if (sid == nullptr || size == 0 || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token.h))
        return 0;
    // TOKEN_USER and the SID after it; a SID is at most 68 bytes.
    alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD needed = 0;
    if (!::GetTokenInformation(token.h, TokenUser, buffer, sizeof buffer, &needed)) return 0;
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return 0;
    const std::size_t length = std::strlen(text);
    const bool fits = length < size;
    if (fits) std::memcpy(sid, text, length + 1);
    ::LocalFree(text);
    return fits ? 1 : 0;
}

int DeleteFileA(const char* path) { return ::DeleteFileA(path); }

int GetFileSizeEx(Handle h, std::int64_t* size) {
    LARGE_INTEGER real{};
    const BOOL ok = ::GetFileSizeEx(ToWin(h), &real);
    if (ok && size != nullptr) *size = real.QuadPart;
    return ok;
}

// FindData mirrors WIN32_FIND_DATAA (the asserts above): a byte copy.
Handle FindFirstFileA(const char* pattern, FindData* data) {
    WIN32_FIND_DATAA real{};
    const HANDLE find = ::FindFirstFileA(pattern, &real);
    if (find != INVALID_HANDLE_VALUE && data != nullptr) std::memcpy(data, &real, sizeof *data);
    return reinterpret_cast<Handle>(find);
}

int FindNextFileA(Handle find, FindData* data) {
    WIN32_FIND_DATAA real{};
    const BOOL ok = ::FindNextFileA(ToWin(find), &real);
    if (ok && data != nullptr) std::memcpy(data, &real, sizeof *data);
    return ok;
}

int FindClose(Handle find) { return ::FindClose(ToWin(find)); }

std::uint32_t GetLastError() { return ::GetLastError(); }

std::int32_t SHGetFolderPathA(int folder, char* path) {
    return ::SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
}

void GetLocalTime(SystemTime* time) {
    SYSTEMTIME real{};
    ::GetLocalTime(&real);
    if (time != nullptr) std::memcpy(time, &real, sizeof *time);
}

std::uint32_t GetTimeZoneInformation(TimeZoneInformation* zone) {
    TIME_ZONE_INFORMATION real{};
    const DWORD id = ::GetTimeZoneInformation(&real);
    if (zone != nullptr) std::memcpy(zone, &real, sizeof *zone);
    return id;
}

std::int32_t RegOpenKeyExA(HKey key, const char* subKey, std::uint32_t options,
                           std::uint32_t access, HKey* result) {
    HKEY opened = nullptr;
    const LONG status =
        ::RegOpenKeyExA(reinterpret_cast<HKEY>(key), subKey, options, access, &opened);
    if (result != nullptr) *result = reinterpret_cast<HKey>(opened);
    return status;
}

std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) {
    DWORD realType = 0;
    DWORD realSize = size != nullptr ? *size : 0;
    const LONG status = ::RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, &realType,
                                           data, size != nullptr ? &realSize : nullptr);
    if (type != nullptr) *type = realType;
    if (size != nullptr) *size = realSize;
    return status;
}

std::int32_t RegCloseKey(HKey key) { return ::RegCloseKey(reinterpret_cast<HKEY>(key)); }

}  // namespace os
