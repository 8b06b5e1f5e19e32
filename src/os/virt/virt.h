// Test controls of the virtual operating system (os/virt): a clock that only
// Sleep advances and a wall clock that follows it, serial ports wired to
// in-memory peers, a global atom table, CP936 conversion through iconv, a
// trace recorder, and in-memory files and registry values. Native tests and
// the fuzzers link against it instead of Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "os/os.h"

namespace os::virt {

// --- clock ---
// Milliseconds since the reset; Sleep adds to it, nothing really waits.
std::uint64_t Now();
void SetTickBase(std::uint32_t tick);  // GetTickCount() = base + Now() (mod 2^32)

// --- serial ports ---
// What sits at the far end of a virtual serial port: the modem model, or a
// scripted fake. Times are the virtual clock's milliseconds.
class Peer {
public:
    virtual ~Peer() = default;
    // Bytes the driver wrote (WriteFile).
    virtual void Receive(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) = 0;
    // Bytes the peer has made available to the driver by `now`.
    virtual std::size_t Pending(std::uint64_t now) = 0;
    // Hands up to `max` of the pending bytes to the driver.
    virtual std::size_t Take(std::uint8_t* out, std::size_t max, std::uint64_t now) = 0;
    // PurgeComm with PURGE_RXCLEAR: pending bytes are dropped.
    virtual void Purge(std::uint64_t now) = 0;
};

// Makes `name` (as in "//./NAME") openable, served by `peer` (not owned).
void AddPort(const std::string& name, Peer* peer);
void RemovePort(const std::string& name);
// Makes every call on the open handles of `name` fail (a vanished adapter),
// or work again. While broken the port cannot be opened; closing still works.
void SetPortBroken(const std::string& name, bool broken);
// Each WriteFile on `name` writes at most `bytes` bytes and still succeeds,
// as a write that runs into its time-out does (0: no limit).
void SetWriteLimit(const std::string& name, std::uint32_t bytes);

// One call the driver made on a port, for tests that check the sequence.
struct PortCall {
    std::string function;     // "CreateFileA", "SetupComm", ...
    std::vector<std::uint32_t> args;
    std::string text;         // path for CreateFileA, bytes for WriteFile
    std::uint64_t at;         // virtual time of the call
    int result = 0;           // what the call returned (the handle for CreateFileA)
};
// The newest calls (at least the last 10 000; older ones are dropped so that
// long soaks stay bounded).
const std::vector<PortCall>& PortCalls();
void ClearPortCalls();
// Recording on (the default after Reset) or off: the fuzzers, which never look
// at the calls, turn it off to run faster.
void RecordPortCalls(bool on);
// The DCB a port starts with (every field, so tests can see untouched ones).
void SetInitialDcb(const Dcb& dcb);
// State of the last handle opened on `name`.
Dcb PortDcb(const std::string& name);
CommTimeouts PortTimeouts(const std::string& name);
int OpenHandleCount();

// --- atoms ---
// The atoms in the table (each counted once, whatever its reference count).
std::size_t AtomCount();
// What a host's GlobalDeleteAtom does: one reference fewer, and the atom
// leaves the table with its last one.
void ReleaseAtom(std::uint16_t atom);

// --- trace ---
// The newest lines (at least the last 10 000, as with PortCalls).
const std::vector<std::string>& TraceLines();
// How many lines were traced since the reset: TraceLines() holds the last
// TraceLines().size() of them.
std::uint64_t TraceLineCount();

// --- local time ---
// The wall clock reads 2026-01-01 00:00:00 UTC at virtual time 0 and moves
// with it; CoFileTimeNow and GetLocalTime both follow it. The time zone is
// China's (UTC+8, bias -480) unless set.
void SetUtcTime(int year, int month, int day, int hour, int minute, int second);
void SetTimeZoneBias(std::int32_t biasMinutes);

// --- files and folders ---
// What SHGetFolderPathA(CSIDL_COMMON_APPDATA) answers.
inline constexpr char kCommonAppData[] = "C:\\ProgramData";
// A folder that fails from now on, with everything in it: kReadOnly refuses
// to create, write or delete (ERROR_ACCESS_DENIED), kFull takes no byte
// (ERROR_DISK_FULL), kGone is a drive that went away (ERROR_PATH_NOT_FOUND).
enum class FolderFault { kNone, kReadOnly, kFull, kGone };
void SetFolderFault(const std::string& folder, FolderFault fault);
// A file with these bytes, and the folders above it.
void PutFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::string FileText(const std::string& path);  // empty when absent
std::vector<std::string> FilesIn(const std::string& folder);  // names, in order
int OpenFileCount();  // open file and search handles (not those of HoldFile)
// A file another program holds open with `access` (kGenericRead,
// kGenericWrite) sharing only `share` (kFileShareRead, ...), as a
// spreadsheet holds the file it shows: opens and deletions that conflict
// with it fail with ERROR_SHARING_VIOLATION, as on Windows. An absent file
// is made empty. Until ReleaseFile.
Handle HoldFile(const std::string& path, std::uint32_t access, std::uint32_t share);
void ReleaseFile(Handle held);
// Makes `path` a link (a reparse point: a symbolic link or a junction), a
// folder or a file, made empty when absent. Opening it reaches what it holds,
// as a link would lead on.
void MakeLink(const std::string& path, bool folder);
// The SDDL a folder was created with, "" when none was given.
std::string FolderRights(const std::string& path);
// What GetCurrentUserSid answers.
inline constexpr char kUserSid[] = "S-1-5-21-2127521184-1604012920-1887927527-1001";
// The newest calls on files and folders (at least the last 10 000), with the
// number of port calls recorded before each, so a test can see where the
// file system was used between dialogues. Recorded while port calls are.
struct FileCall {
    std::string function;  // "CreateFileA", "WriteFile", "CreateDirectoryA", ...
    std::string path;
    std::uint64_t at;
    std::size_t portCallsBefore;
};
const std::vector<FileCall>& FileCalls();

// --- registry (HKEY_LOCAL_MACHINE only) ---
void SetRegistryString(const std::string& key, const std::string& name, const std::string& value);
void SetRegistryDword(const std::string& key, const std::string& name, std::uint32_t value);
void DeleteRegistryValue(const std::string& key, const std::string& name);

// Back to the start: clock 0, no ports, no calls, empty atoms and trace, no
// files, an empty registry, the default time zone.
void Reset();

}  // namespace os::virt
