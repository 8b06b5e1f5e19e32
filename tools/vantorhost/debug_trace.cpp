#include "debug_trace.h"

#include <cstring>

namespace vhost {
namespace {

// Written by Flush and swallowed by the listener: once it arrives, every
// earlier line of this process has been handed to the sink.
constexpr char kFlushMarker[] = "\x01vantorhost-flush\x01";
constexpr DWORD kSectionSize = 4096;

void CloseIf(HANDLE& handle) {
    if (handle != nullptr) CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

DebugTraceListener::~DebugTraceListener() { Stop(); }

bool DebugTraceListener::Start(Sink sink, std::string& why) {
    sink_ = std::move(sink);
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSectionSize,
                                  "DBWIN_BUFFER");
    if (mapping_ == nullptr) {
        why = "cannot create the DBWIN_BUFFER section";
        return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        why = "another debug-output listener owns DBWIN_BUFFER";
        Stop();
        return false;
    }
    view_ = static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
    bufferReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
    dataReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    flushed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (view_ == nullptr || bufferReady_ == nullptr || dataReady_ == nullptr || stop_ == nullptr ||
        flushed_ == nullptr) {
        why = "cannot map DBWIN_BUFFER or create its events";
        Stop();
        return false;
    }
    thread_ = CreateThread(nullptr, 0, &DebugTraceListener::ThreadMain, this, 0, nullptr);
    if (thread_ == nullptr) {
        why = "cannot start the listener thread";
        Stop();
        return false;
    }
    return true;
}

void DebugTraceListener::Flush() {
    if (thread_ == nullptr) return;
    OutputDebugStringA(kFlushMarker);
    // The writer gives up after 10 s without a listener; do not wait longer.
    WaitForSingleObject(flushed_, 10000);
    Deliver();
}

void DebugTraceListener::Deliver() {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> guard(lock_);
        lines.swap(lines_);
    }
    if (sink_) {
        for (const std::string& line : lines) sink_(line);
    }
}

void DebugTraceListener::Stop() {
    if (thread_ != nullptr) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, 5000);
        CloseIf(thread_);
    }
    if (!pending_.empty()) lines_.push_back(pending_);
    pending_.clear();
    Deliver();
    if (view_ != nullptr) UnmapViewOfFile(view_);
    view_ = nullptr;
    CloseIf(mapping_);
    CloseIf(bufferReady_);
    CloseIf(dataReady_);
    CloseIf(stop_);
    CloseIf(flushed_);
}

DWORD WINAPI DebugTraceListener::ThreadMain(void* self) {
    static_cast<DebugTraceListener*>(self)->Run();
    return 0;
}

void DebugTraceListener::Run() {
    const DWORD self = GetCurrentProcessId();
    const HANDLE waits[2] = {dataReady_, stop_};
    for (;;) {
        SetEvent(bufferReady_);
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return;
        DWORD pid = 0;
        std::memcpy(&pid, view_, sizeof pid);
        if (pid != self) continue;  // another program's output in the same session
        const char* text = view_ + sizeof pid;
        const std::size_t length = strnlen(text, kSectionSize - sizeof pid);
        if (length == sizeof kFlushMarker - 1 && std::memcmp(text, kFlushMarker, length) == 0) {
            std::lock_guard<std::mutex> guard(lock_);
            if (!pending_.empty()) lines_.push_back(pending_);
            pending_.clear();
            SetEvent(flushed_);
            continue;
        }
        // A trace call may carry several lines, or a line without its end.
        pending_.append(text, length);
        std::lock_guard<std::mutex> guard(lock_);
        std::size_t end;
        while ((end = pending_.find('\n')) != std::string::npos) {
            lines_.push_back(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        }
    }
}

}  // namespace vhost
