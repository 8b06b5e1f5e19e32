// Virtual serial ports: the Win32 serial calls served from in-memory ports,
// each wired to a Peer (the modem model or a scripted fake). Every call is
// recorded with its arguments and the virtual time so that tests can check
// the exact sequence the driver makes.
#include <algorithm>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

#include "os/virt/virt.h"
#include "os/virt/virt_internal.h"

namespace os {
namespace {

// A DCB as a freshly plugged-in port reports it: 9600 8N1, binary mode, DTR
// and RTS on, XON/XOFF characters set, no flow control.
constexpr Dcb kFactoryDcb{
    sizeof(Dcb), 9600, 0x00001011u, 0, 2048, 512, 8, 0, kOneStopBit, 0x11, 0x13, 0, 0, 0, 0};

// Recorded calls kept: the newest ones, so that a long soak stays bounded.
constexpr std::size_t kKeptCalls = 10000;

// Win32 hands out handle values that are multiples of 4; start away from 0.
constexpr Handle kFirstHandle = 0x100;

struct Port {
    std::string name;
    virt::Peer* peer = nullptr;  // null once the port is removed
    Dcb dcb{};
    CommTimeouts timeouts{};
    bool broken = false;
    std::uint32_t writeLimit = 0;  // 0: every write is whole
    Handle open = kInvalidHandle;  // the one handle that holds the port
};

// An open handle. A handle whose device was removed stays open, and fails,
// until it is closed.
struct OpenHandle {
    Handle handle;
    std::size_t port;  // index into ports
    bool dead = false;
};

struct SerialState {
    std::vector<Port> ports;
    std::vector<OpenHandle> handles;
    std::vector<virt::PortCall> calls;
    Dcb initialDcb = kFactoryDcb;
    Handle nextHandle = kFirstHandle;
    std::vector<Handle> freed;  // closed values, handed out again newest first
    bool recording = true;
};

SerialState& State() {
    static SerialState state;
    return state;
}

Port* FindPort(const std::string& name) {
    for (auto& p : State().ports)
        if (strcasecmp(p.name.c_str(), name.c_str()) == 0) return &p;
    return nullptr;
}

OpenHandle* FindHandle(Handle h) {
    for (auto& e : State().handles)
        if (e.handle == h) return &e;
    return nullptr;
}

// The port a live handle refers to, or null.
Port* PortOf(Handle h) {
    const OpenHandle* e = FindHandle(h);
    if (e == nullptr || e->dead) return nullptr;
    return &State().ports[e->port];
}

// The port behind a handle that can be used right now: open, not broken and
// still wired to a peer.
Port* UsablePort(Handle h) {
    Port* p = PortOf(h);
    if (p == nullptr || p->broken || p->peer == nullptr) return nullptr;
    return p;
}

int Record(const char* function, std::vector<std::uint32_t> args, int result,
           std::string text = {}) {
    if (!State().recording) return result;
    auto& calls = State().calls;
    if (calls.size() >= 2 * kKeptCalls)
        calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(kKeptCalls));
    calls.push_back(virt::PortCall{function, std::move(args), std::move(text), virt::Now(), result});
    return result;
}

std::uint32_t U32(Handle h) { return static_cast<std::uint32_t>(h); }

// Settings a Windows serial driver refuses.
bool DcbIsValid(const Dcb& d) {
    if (d.BaudRate == 0 || d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > 4 || d.StopBits > 2)
        return false;
    if (d.ByteSize == 5 && d.StopBits == 2) return false;  // 5 data bits take 1 or 1.5
    if (d.ByteSize > 5 && d.StopBits == 1) return false;   // 1.5 only with 5 data bits
    return true;
}

// "//./NAME" or "\\.\NAME" names the device NAME.
bool DeviceName(const char* path, std::string* name) {
    if (path == nullptr) return false;
    if (std::strncmp(path, "//./", 4) != 0 && std::strncmp(path, "\\\\.\\", 4) != 0) return false;
    *name = path + 4;
    return !name->empty();
}

}  // namespace

Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode,
                   std::uint32_t creation, std::uint32_t flags) {
    if (path != nullptr && !virt::NamesDevice(path)) return virt::CreateDiskFile(path, access, shareMode, creation);
    std::vector<std::uint32_t> args{access, shareMode, creation, flags};
    std::string text = path ? path : "";
    std::string name;
    Port* p = DeviceName(path, &name) ? FindPort(name) : nullptr;
    // A missing or vanished device, or one that another handle holds
    // exclusively (serial ports cannot be shared), cannot be opened.
    if (p == nullptr || p->peer == nullptr || p->broken || p->open != kInvalidHandle ||
        creation != kOpenExisting) {
        Record("CreateFileA", std::move(args), static_cast<int>(U32(kInvalidHandle)), std::move(text));
        return kInvalidHandle;
    }
    auto& s = State();
    // Like Windows, a value freed by CloseHandle is handed out again.
    if (!s.freed.empty()) {
        p->open = s.freed.back();
        s.freed.pop_back();
    } else {
        p->open = s.nextHandle;
        s.nextHandle += 4;
    }
    s.handles.push_back(OpenHandle{p->open, static_cast<std::size_t>(p - s.ports.data())});
    Record("CreateFileA", std::move(args), static_cast<int>(U32(p->open)), std::move(text));
    return p->open;
}

int SetupComm(Handle h, std::uint32_t inQueue, std::uint32_t outQueue) {
    return Record("SetupComm", {U32(h), inQueue, outQueue}, UsablePort(h) ? 1 : 0);
}

int GetCommState(Handle h, Dcb* dcb) {
    Port* p = UsablePort(h);
    if (p != nullptr && dcb != nullptr) *dcb = p->dcb;
    return Record("GetCommState", {U32(h)}, p != nullptr && dcb != nullptr ? 1 : 0);
}

int SetCommState(Handle h, const Dcb* dcb) {
    Port* p = UsablePort(h);
    std::vector<std::uint32_t> args{U32(h)};
    if (dcb != nullptr) args.insert(args.end(), {dcb->BaudRate, dcb->ByteSize, dcb->Parity, dcb->StopBits});
    const bool ok = p != nullptr && dcb != nullptr && DcbIsValid(*dcb);
    if (ok) p->dcb = *dcb;
    return Record("SetCommState", std::move(args), ok ? 1 : 0);
}

int SetCommMask(Handle h, std::uint32_t mask) {
    return Record("SetCommMask", {U32(h), mask}, UsablePort(h) ? 1 : 0);
}

int PurgeComm(Handle h, std::uint32_t flags) {
    Port* p = UsablePort(h);
    if (p != nullptr && (flags & kPurgeRxClear) != 0) p->peer->Purge(virt::Now());
    return Record("PurgeComm", {U32(h), flags}, p ? 1 : 0);
}

int SetCommTimeouts(Handle h, const CommTimeouts* t) {
    Port* p = UsablePort(h);
    std::vector<std::uint32_t> args{U32(h)};
    if (t != nullptr)
        args.insert(args.end(), {t->ReadIntervalTimeout, t->ReadTotalTimeoutMultiplier,
                                 t->ReadTotalTimeoutConstant, t->WriteTotalTimeoutMultiplier,
                                 t->WriteTotalTimeoutConstant});
    const bool ok = p != nullptr && t != nullptr;
    if (ok) p->timeouts = *t;
    return Record("SetCommTimeouts", std::move(args), ok ? 1 : 0);
}

int ClearCommError(Handle h, std::uint32_t* errors, ComStat* stat) {
    Port* p = UsablePort(h);
    std::uint32_t waiting = 0;
    if (p != nullptr) {
        waiting = static_cast<std::uint32_t>(p->peer->Pending(virt::Now()));
        if (errors != nullptr) *errors = 0;
        if (stat != nullptr) *stat = ComStat{0, waiting, 0};
    }
    return Record("ClearCommError", {U32(h), waiting}, p ? 1 : 0);
}

// With the read time-outs the driver sets, ReadFile returns at once with what
// has arrived; the virtual port never waits either.
int ReadFile(Handle h, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    if (virt::IsDiskHandle(h)) return virt::ReadDiskFile(h, buffer, toRead, read);
    Port* p = UsablePort(h);
    std::uint32_t n = 0;
    if (p != nullptr && buffer != nullptr)
        n = static_cast<std::uint32_t>(
            p->peer->Take(static_cast<std::uint8_t*>(buffer), toRead, virt::Now()));
    if (read != nullptr) *read = n;
    std::string text;
    if (n > 0) text.assign(static_cast<const char*>(buffer), n);
    return Record("ReadFile", {U32(h), toRead, n}, p != nullptr && buffer != nullptr ? 1 : 0,
                  std::move(text));
}

int WriteFile(Handle h, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) {
    if (virt::IsDiskHandle(h)) return virt::WriteDiskFile(h, buffer, toWrite, written);
    Port* p = UsablePort(h);
    const bool ok = p != nullptr && (buffer != nullptr || toWrite == 0);
    std::uint32_t n = ok ? toWrite : 0;
    if (ok && p->writeLimit > 0 && n > p->writeLimit) n = p->writeLimit;
    if (n > 0) p->peer->Receive(static_cast<const std::uint8_t*>(buffer), n, virt::Now());
    if (written != nullptr) *written = n;
    std::string text;
    if (n > 0) text.assign(static_cast<const char*>(buffer), n);
    return Record("WriteFile", {U32(h), toWrite, n}, ok ? 1 : 0, std::move(text));
}

// Closing releases the port even when its device has vanished, as on Windows:
// the handle is the system's object, not the adapter's.
int CloseHandle(Handle h) {
    if (virt::IsDiskHandle(h)) return virt::CloseDiskHandle(h);
    auto& s = State();
    const OpenHandle* e = FindHandle(h);
    if (e != nullptr) {
        Port& p = s.ports[e->port];
        if (p.open == h) p.open = kInvalidHandle;
        s.handles.erase(s.handles.begin() + (e - s.handles.data()));
        s.freed.push_back(h);
    }
    return Record("CloseHandle", {U32(h)}, e ? 1 : 0);
}

namespace virt {

bool NamesDevice(const char* path) {
    return path != nullptr &&
           (std::strncmp(path, "//./", 4) == 0 || std::strncmp(path, "\\\\.\\", 4) == 0);
}

void AddPort(const std::string& name, Peer* peer) {
    if (Port* p = FindPort(name)) {
        p->peer = peer;
        p->broken = false;
        return;
    }
    Port port;
    port.name = name;
    port.peer = peer;
    port.dcb = State().initialDcb;
    State().ports.push_back(std::move(port));
}

// The device disappears. A handle still open on it fails until it is closed,
// even when a device of the same name comes back; the name can be opened anew.
void RemovePort(const std::string& name) {
    Port* p = FindPort(name);
    if (p == nullptr) return;
    p->peer = nullptr;
    p->open = kInvalidHandle;
    for (auto& e : State().handles)
        if (&State().ports[e.port] == p) e.dead = true;
}

void SetPortBroken(const std::string& name, bool broken) {
    if (Port* p = FindPort(name)) p->broken = broken;
}

void SetWriteLimit(const std::string& name, std::uint32_t bytes) {
    if (Port* p = FindPort(name)) p->writeLimit = bytes;
}

const std::vector<PortCall>& PortCalls() { return State().calls; }
void ClearPortCalls() { State().calls.clear(); }
void RecordPortCalls(bool on) { State().recording = on; }
bool RecordingCalls() { return State().recording; }

void SetInitialDcb(const Dcb& dcb) {
    State().initialDcb = dcb;
    for (auto& p : State().ports)
        if (p.open == kInvalidHandle) p.dcb = dcb;
}

Dcb PortDcb(const std::string& name) {
    const Port* p = FindPort(name);
    return p ? p->dcb : Dcb{};
}

CommTimeouts PortTimeouts(const std::string& name) {
    const Port* p = FindPort(name);
    return p ? p->timeouts : CommTimeouts{};
}

int OpenHandleCount() { return static_cast<int>(State().handles.size()); }

void ResetPorts() { State() = SerialState{}; }

}  // namespace virt
}  // namespace os
