// Shows the module's trace lines (written with OutputDebugStringA) while it
// runs in this process.
//
// This is the listener side of the system's debug-output protocol, the one
// DebugView uses: a 4 KiB section "DBWIN_BUFFER" (process id, then the text)
// and two auto-reset events. The listener signals DBWIN_BUFFER_READY, the
// writer fills the section and signals DBWIN_DATA_READY. Only one listener
// can own the section per session (per wineserver under Wine).
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vhost {

class DebugTraceListener {
public:
    using Sink = std::function<void(const std::string& line)>;

    DebugTraceListener() = default;
    DebugTraceListener(const DebugTraceListener&) = delete;
    DebugTraceListener& operator=(const DebugTraceListener&) = delete;
    ~DebugTraceListener();

    // False with a reason when the section or events cannot be had (for
    // example another debug-output listener already owns them).
    bool Start(Sink sink, std::string& why);
    // Hands every line written before the call to the sink, on the caller's
    // thread, so trace lines print before the result of the call that caused
    // them and never in the middle of another line.
    void Flush();
    void Stop();

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();

    Sink sink_;
    HANDLE mapping_ = nullptr;
    const char* view_ = nullptr;
    HANDLE bufferReady_ = nullptr;
    HANDLE dataReady_ = nullptr;
    HANDLE stop_ = nullptr;
    HANDLE flushed_ = nullptr;
    HANDLE thread_ = nullptr;
    void Deliver();

    std::string pending_;  // a line written in several pieces (listener thread)
    std::mutex lock_;
    std::vector<std::string> lines_;  // complete lines not yet handed to the sink
};

}  // namespace vhost
