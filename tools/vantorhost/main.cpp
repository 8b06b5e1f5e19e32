// vantorhost: drives Vantor.dll the way an HMI runtime does, from the command
// line. See usage() for the commands.
#include <windows.h>
#include <psapi.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands.h"
#include "console_text.h"
#include "debug_trace.h"
#include "host_session.h"
#include "detect.h"
#include "journal_command.h"
#include "module_loader.h"
#include "unregister.h"
#include "vantor_version.h"

namespace {

using vhost::Err;
using vhost::Format;
using vhost::Out;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSetup = 3;

// To standard error after a usage error; --help prints it to standard output.
void Usage(void (*print)(std::string_view) = Err) {
    print("usage: vantorhost [options] COMMAND [ARGS...]\n"
        "       vantorhost [options] run \"COMMAND ARGS\" \"COMMAND ARGS\" ...\n"
        "       vantorhost [options] session      (commands from standard input, one per line)\n"
        "       vantorhost detect [--ports COM1-COM32] [--bauds 9600,19200,...]\n"
        "       vantorhost unregister | --version | --help\n"
        "       vantorhost journal [--days N] | --folder PATH | --off | --on | --keep-days N | --keep-mb N\n"
        "                                  | --keep-day-mb N\n"
        "commands:\n"
        "  check REGISTER [TYPE]      register check: kind and sub-index, or the error text\n"
        "  read REGISTER              read packet; value, quality, time stamp\n"
        "  write REGISTER VALUE       write packet (texts become global atoms)\n"
        "  send NUMBER TEXT           Tele, MsgSend0/1, SEND, then SReturn\n"
        "  inbox [--new|--old]        NEW or OLD, then the message stores\n"
        "  delete INDEX               CMGD\n"
        "  poll [--interval MS] [--count N]   AT, NEW and the MsgNew/MsgNec slots each round\n"
        "  linktest                   the module's link test (IDeviceDriver::LinkTest)\n"
        "  sleep MS | echo TEXT       pauses and headings in scripts\n"
        "  stats [LABEL]              (run and session) memory, handle and global-atom counts\n"
        "  detect                     find the modem, check SIM, signal, network; name --port and --baud\n"
        "  unregister                 remove the registration of the Vantor.dll beside this program\n"
        "  journal                    the journal's last day(s) of entries; where it goes (administrator)\n"
        "options:\n"
        "  --port COMn --baud N --data-bits N --stop-bits N --parity none|odd|even|mark|space\n"
        "  --timeout MS (reply time-out)  --trace (module trace lines)  --register (DllRegisterServer)\n"
        "  --time (duration of each module call)  --verbose (how the module was loaded)\n"
        "  --keep-going (run every command even after a failure)  --echo (show each command first)\n"
        "  --version (versions of vantorhost and of the Vantor.dll beside it)  --help (this text)\n");
}

// The FileVersion of a file's version resource, or empty.
std::string FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr)
        return {};
    return Format("%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)));
}

void PrintVersion() {
    Out("vantorhost " VANTOR_VERSION "\n");
    const std::wstring dll = vhost::PathBesideExe(L"Vantor.dll");
    const std::string version = FileVersion(dll);
    Out("Vantor.dll beside it: " + (version.empty() ? std::string("not found") : version) + "\n");
}

// One line of process figures for soak runs: working set and private bytes
// (GetProcessMemoryInfo), open handles, and the string atoms in the global
// atom table (0xC000..0xFFFF). Wine answers GetProcessHandleCount with 0, so
// the handles are also counted by asking about every value up to 0x10000.
void PrintStats(const std::string& label) {
    using MemoryInfoFn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    const auto memoryInfo = reinterpret_cast<MemoryInfoFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (memoryInfo == nullptr || !memoryInfo(GetCurrentProcess(), &counters, sizeof counters)) counters = {};
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    unsigned probed = 0;
    for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++probed;
    }
    unsigned atoms = 0;
    char name[256];
    for (unsigned atom = 0xC000; atom <= 0xFFFF; ++atom) {
        if (GlobalGetAtomNameA(static_cast<ATOM>(atom), name, sizeof name) > 0) ++atoms;
    }
    Out(Format("stats %s: working set %lu KiB, private %lu KiB, handles %u (GetProcessHandleCount %lu), "
               "global atoms %u\n",
               label.c_str(), static_cast<unsigned long>(counters.WorkingSetSize / 1024),
               static_cast<unsigned long>(counters.PagefileUsage / 1024), probed,
               static_cast<unsigned long>(handles), atoms));
}

bool ParseInt(const std::string& text, int low, int high, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < low || parsed > high) return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseParity(const std::string& text, int& code) {
    static const char* const kNames[] = {"none", "odd", "even", "mark", "space"};
    for (int i = 0; i < 5; ++i) {
        if (text == kNames[i]) {
            code = i;
            return true;
        }
    }
    return false;
}

// Trace lines carry raw modem bytes: show control characters as escapes so
// that a carriage return does not overwrite the line on a terminal.
std::string Visible(const std::string& line) {
    std::string out;
    for (const char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\r') out += "\\r";
        else if (b == '\n') out += "\\n";
        else if (b < 0x20 || b == 0x7F) out += Format("\\x%02X", b);
        else out += c;
    }
    return out;
}

struct Invocation {
    vhost::PortSettings port;
    bool trace = false;
    bool registerFirst = false;
    bool verbose = false;
    bool keepGoing = false;
    bool echo = false;
    vhost::CommandOptions commandOptions;
    std::vector<std::string> commands;  // command lines to run in order
    bool fromInput = false;
    // Commands that do not load the module.
    enum class Standalone { kNone, kVersion, kHelp, kDetect, kUnregister, kJournal } standalone = Standalone::kNone;
    std::vector<std::string> standaloneArgs;
};

// Returns 0 when the arguments were understood, else the exit code.
int ParseArguments(const std::vector<std::string>& args, Invocation& inv) {
    std::size_t i = 0;
    auto value = [&](std::string& out) {
        if (i + 1 >= args.size()) return false;
        out = args[++i];
        return true;
    };
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        const std::string& option = args[i];
        std::string v;
        if (option == "--version" || option == "--help") {
            inv.standalone = option == "--version" ? Invocation::Standalone::kVersion : Invocation::Standalone::kHelp;
            return 0;
        }
        if (option == "--trace") inv.trace = true;
        else if (option == "--register") inv.registerFirst = true;
        else if (option == "--verbose") inv.verbose = true;
        else if (option == "--time") inv.commandOptions.showTimes = true;
        else if (option == "--keep-going") inv.keepGoing = true;
        else if (option == "--echo") inv.echo = true;
        else if (option == "--port" && value(v) && !v.empty() && v.size() < 32) inv.port.name = v;
        else if (option == "--baud" && value(v) && ParseInt(v, 1, 1000000, inv.port.baud)) {}
        else if (option == "--data-bits" && value(v) && ParseInt(v, 4, 8, inv.port.dataBits)) {}
        else if (option == "--stop-bits" && value(v) && ParseInt(v, 1, 2, inv.port.stopBits)) {}
        else if (option == "--parity" && value(v) && ParseParity(v, inv.port.parity)) {}
        else if (option == "--timeout" && value(v) && ParseInt(v, 0, 32767, inv.port.replyTimeoutMs)) {}
        else {
            Err("bad option or value: " + option + "\n");
            Usage();
            return kExitUsage;
        }
    }
    if (i >= args.size()) {
        Usage();
        return kExitUsage;
    }
    if (args[i] == "detect" || args[i] == "unregister" || args[i] == "help" || args[i] == "journal") {
        inv.standalone = args[i] == "detect"    ? Invocation::Standalone::kDetect
                         : args[i] == "help"    ? Invocation::Standalone::kHelp
                         : args[i] == "journal" ? Invocation::Standalone::kJournal
                                                : Invocation::Standalone::kUnregister;
        inv.standaloneArgs.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
        if (inv.standalone == Invocation::Standalone::kUnregister && !inv.standaloneArgs.empty()) {
            Err("unregister takes no arguments: it removes the registration of the Vantor.dll beside vantorhost.exe\n");
            return kExitUsage;
        }
        return 0;
    }
    if (args[i] == "run") {
        inv.commands.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    } else if (args[i] == "session") {
        inv.fromInput = true;
    } else {
        std::string line;
        for (; i < args.size(); ++i) line += (line.empty() ? "" : " ") + args[i];
        inv.commands.push_back(line);
    }
    return 0;
}

int Main() {
    std::vector<std::string> args;
    for (const std::wstring& wide : vhost::CommandLineArguments()) {
        auto ansi = vhost::WideToAnsi(wide);
        if (!ansi) {
            Err("an argument has characters outside the ANSI code page " + std::to_string(GetACP()) + "\n");
            return kExitUsage;
        }
        args.push_back(*ansi);
    }
    Invocation inv;
    if (const int code = ParseArguments(args, inv); code != 0) return code;
    switch (inv.standalone) {
        case Invocation::Standalone::kNone: break;
        case Invocation::Standalone::kVersion: PrintVersion(); return 0;
        case Invocation::Standalone::kHelp: Usage(Out); return 0;
        case Invocation::Standalone::kDetect: return vhost::RunDetect(inv.standaloneArgs);
        case Invocation::Standalone::kUnregister: return vhost::RunUnregister(vhost::PathBesideExe(L"Vantor.dll"));
        case Invocation::Standalone::kJournal: return vhost::RunJournal(inv.standaloneArgs);
    }

    vhost::DebugTraceListener trace;
    if (inv.trace) {
        std::string why;
        if (!trace.Start([](const std::string& line) { Out("  trace| " + Visible(line) + "\n"); }, why)) {
            Err("--trace: " + why + "; continuing without trace lines\n");
        }
    }

    vhost::ModuleLoader loader;
    std::string report;
    if (inv.registerFirst) {
        const bool registered = loader.Register(report);
        Out("register: " + report + "\n");
        if (!registered) return kExitSetup;
    }
    const bool created = loader.Create(report);
    if (inv.verbose || !created) (created ? Out : Err)("module: " + report + "\n");
    if (!created) return kExitSetup;

    int exitCode = 0;
    {
        vhost::HostSession session(loader.Driver(), loader.Sharing());
        session.SetAfterCall([&trace] { trace.Flush(); });
        vhost::Commands commands(session, inv.commandOptions);
        bool portOpen = false;
        if (!inv.port.name.empty()) {
            portOpen = session.OpenPort(inv.port);
            if (!portOpen) {
                Out(Format("open %s: FAILED (OpenPort result 0)\n", inv.port.name.c_str()));
                return kExitSetup;
            }
            if (inv.verbose) {
                Out(Format("open %s: %d baud, %d data bits, parity %d, %d stop bit(s), reply time-out %d ms\n",
                           inv.port.name.c_str(), inv.port.baud, inv.port.dataBits, inv.port.parity,
                           inv.port.stopBits, inv.port.replyTimeoutMs));
            }
        }
        auto runOne = [&](const std::string& line) {
            if (inv.echo && !line.empty() && line.rfind("echo", 0) != 0) Out("> " + line + "\n");
            if (line == "stats" || line.rfind("stats ", 0) == 0) {
                PrintStats(line.size() > 6 ? line.substr(6) : "now");
                return true;
            }
            const bool ok = commands.Run(line);
            if (!ok) exitCode = kExitFailed;
            return ok || inv.keepGoing;
        };
        if (inv.fromInput) {
            while (auto line = vhost::ReadInputLine()) {
                if (!runOne(*line)) break;
            }
        } else {
            for (const std::string& line : inv.commands) {
                if (!runOne(line)) break;
            }
        }
        if (portOpen) session.ClosePort();
        trace.Flush();
    }
    trace.Stop();
    return exitCode;
}

}  // namespace

int main() { return Main(); }
