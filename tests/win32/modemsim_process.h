// modemsim, the modem model, started from inside a Win32 test on a COM port
// of the Wine prefix. The runner names the binary in VANTOR_MODEMSIM and the
// prefix in WINEPREFIX; Wine runs Unix programs through CreateProcess, so the
// test writes small shell scripts into a working directory under the prefix,
// runs them, and stops modemsim by its process id.
//
//   ModemSimProcess sim({.com = 30, .dirName = "vantor-serial-test", .control = true});
//   if (!sim.Start()) GTEST_SKIP() << ...;
//   sim.Control("silence on");
#pragma once

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "com/whole_file.h"

namespace vantor::test {

inline std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A Unix path as the Z: drive shows it.
inline std::string ZPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

inline bool WriteTextFile(const std::string& unixPath, const std::string& text) {
    const HANDLE f = CreateFileA(ZPath(unixPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == text.size();
}

inline std::string ReadTextFile(const std::string& unixPath) {
    return com::ReadWholeFile(ZPath(unixPath));
}

inline bool Exists(const std::string& unixPath) {
    return GetFileAttributesA(ZPath(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts a Unix shell script; with `waitMs`, waits up to that long for it to
// end. Wine may hand back no usable process for a Unix program, so the result
// only says whether it was started; callers watch for its effects.
inline bool LaunchScript(const std::string& scriptPath, DWORD waitMs = 0) {
    std::string command = "/bin/sh " + scriptPath;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return false;
    if (waitMs != 0 && pi.hProcess != nullptr) WaitForSingleObject(pi.hProcess, waitMs);
    if (pi.hProcess != nullptr) CloseHandle(pi.hProcess);
    if (pi.hThread != nullptr) CloseHandle(pi.hThread);
    return true;
}

// Polls `ready` every 50 ms for up to `ms`.
template <class Ready>
bool WaitFor(Ready ready, int ms) {
    for (int waited = 0; waited <= ms; waited += 50) {
        if (ready()) return true;
        Sleep(50);
    }
    return false;
}

struct ModemSimOptions {
    int com = 0;            // the port: COM<com> of the prefix
    std::string dirName;    // working directory, under the prefix
    bool control = false;   // a --control FIFO, for Control()
    bool sent = false;      // a --sent record, for SentCount() and SentText()
    // How Start() knows modemsim is up and how the destructor stops it:
    //  kLinkMarkers: the start script waits for the link (and the FIFO) and
    //    leaves a marker; the stop script kills modemsim, waits for the link
    //    to go and leaves a marker; the test waits for each marker.
    //  kPrintedPty: the start script is waited on where Wine allows; modemsim
    //    printing its pty's path tells it is up; the stop script kills it and
    //    is waited on where Wine allows.
    enum class Handshake { kLinkMarkers, kPrintedPty };
    Handshake handshake = Handshake::kLinkMarkers;
};

// One modemsim on COM<com> of the prefix, stopped when this goes away.
class ModemSimProcess {
public:
    explicit ModemSimProcess(ModemSimOptions options) : options_(std::move(options)) {}
    ModemSimProcess(const ModemSimProcess&) = delete;
    ModemSimProcess& operator=(const ModemSimProcess&) = delete;

    // False without VANTOR_MODEMSIM and WINEPREFIX, or when modemsim did not
    // come up in time.
    bool Start() {
        const std::string binary = Env("VANTOR_MODEMSIM");
        const std::string prefix = Env("WINEPREFIX");
        if (binary.empty() || prefix.empty()) return false;
        dir_ = prefix + "/" + options_.dirName;
        CreateDirectoryA(ZPath(dir_).c_str(), nullptr);
        const std::string link = prefix + "/dosdevices/com" + std::to_string(options_.com);
        control_ = dir_ + "/control";
        sent_ = dir_ + "/sent.jsonl";
        const std::string pidFile = dir_ + "/pid";
        const std::string ready = dir_ + "/ready";
        const std::string stopped = dir_ + "/stopped";
        const bool markers = options_.handshake == ModemSimOptions::Handshake::kLinkMarkers;

        std::string args = " --link '" + link + "'";
        if (options_.control) args += " --control '" + control_ + "'";
        if (options_.sent) args += " --sent '" + sent_ + "'";
        args += " --log '" + dir_ + "/modemsim.log'";
        std::string start, stop = "kill \"$(cat '" + pidFile + "')\"\n";
        if (markers) {
            DeleteFileA(ZPath(ready).c_str());
            // Wine shows neither the pty link nor the FIFO as files, so the
            // scripts wait for them and leave plain marker files. modemsim is
            // detached from the test's pipes so that nothing waits on them
            // later.
            std::string up = "[ -e '" + link + "' ]";
            if (options_.control) up += " && [ -p '" + control_ + "' ]";
            start = "rm -f '" + control_ + "' '" + stopped + "'\n"
                    "setsid '" + binary + "'" + args + " </dev/null >'" + dir_ + "/stdout' 2>&1 &\n"
                    "echo $! >'" + pidFile + "'\n"
                    "for i in $(seq 100); do " + up + " && break; sleep 0.1; done\n"
                    "touch '" + ready + "'\n";
            stop += "for i in $(seq 50); do [ -e '" + link + "' ] || break; sleep 0.1; done\n"
                    "touch '" + stopped + "'\n";
        } else {
            DeleteFileA(ZPath(pidFile).c_str());
            DeleteFileA(ZPath(sent_).c_str());
            DeleteFileA(ZPath(dir_ + "/stdout").c_str());
            start = "'" + binary + "'" + args + " >'" + dir_ + "/stdout' 2>&1 &\n"
                    "echo $! >'" + pidFile + "'\n";
        }
        if (!WriteTextFile(dir_ + "/start.sh", start) || !WriteTextFile(dir_ + "/stop.sh", stop))
            return false;

        if (markers) {
            if (!LaunchScript(dir_ + "/start.sh")) return false;
            started_ = WaitFor([&] { return Exists(ready); }, 15000);
            return started_;
        }
        // The script's exit is not looked at: modemsim prints the pty's path
        // once the link is in place.
        LaunchScript(dir_ + "/start.sh", 10000);
        started_ = true;
        return WaitFor(
            [&] { return ReadTextFile(dir_ + "/stdout").find("/dev/") != std::string::npos; },
            9950);
    }

    // A control line, as `echo LINE > control` would write it.
    bool Control(const std::string& line) {
        const HANDLE f = CreateFileA(ZPath(control_).c_str(), GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return false;
        const std::string text = line + "\n";
        DWORD written = 0;
        const BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(f);
        Sleep(50);  // modemsim polls its FIFO; let it take the line
        return ok && written == text.size();
    }

    // Messages the modem accepted so far (lines of the sent record).
    int SentCount() const {
        Sleep(100);  // modemsim appends the record just after its answer
        const std::string text = ReadTextFile(sent_);
        int lines = 0;
        for (const char c : text) lines += c == '\n';
        return lines;
    }
    std::string SentText() const { return ReadTextFile(sent_); }

    ~ModemSimProcess() {
        if (!started_) return;
        if (options_.handshake == ModemSimOptions::Handshake::kLinkMarkers) {
            if (LaunchScript(dir_ + "/stop.sh"))
                WaitFor([&] { return Exists(dir_ + "/stopped"); }, 8000);
        } else {
            LaunchScript(dir_ + "/stop.sh", 10000);
        }
    }

private:
    ModemSimOptions options_;
    std::string dir_, control_, sent_;
    bool started_ = false;
};

// modemsim for a whole test suite, started in SetUpTestSuite: null when it
// cannot run here (no VANTOR_MODEMSIM or WINEPREFIX, or it did not come up).
inline std::unique_ptr<ModemSimProcess> StartSuiteModemSim(ModemSimOptions options) {
    auto sim = std::make_unique<ModemSimProcess>(std::move(options));
    if (!sim->Start()) sim.reset();
    return sim;
}

}  // namespace vantor::test
