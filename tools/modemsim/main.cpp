// modemsim: serves the TC35 model on a pseudo-terminal in real time, for the
// Wine tests, the end-to-end tests and the demo. Usage: see README.md.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "control.h"
#include "modem/gsm_charset.h"
#include "modem/modem_model.h"
#include "modem/sms_pdu.h"
#include "pty_link.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

std::uint64_t NowMs() {
    static const auto start = std::chrono::steady_clock::now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

std::string Escape(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

class Log {
public:
    bool Open(const std::string& path) {
        file_.open(path, std::ios::app);
        return file_.good();
    }
    void Line(const char* what, const std::string& text) {
        if (!file_.is_open()) return;
        std::uint64_t now = NowMs();
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "[%7llu.%03llu] ", static_cast<unsigned long long>(now / 1000),
                      static_cast<unsigned long long>(now % 1000));
        file_ << stamp << what << ' ' << text << '\n';
        file_.flush();
    }

private:
    std::ofstream file_;
};

void Usage() {
    std::cerr << "usage: modemsim [--link PATH] [--inbox FILE] [--sent FILE] [--received FILE] [--log FILE]\n"
                 "                [--control FIFO] [--set 'CONTROL LINE']...\n"
                 "                [--baud N] [--trickle MS] [--chunks A,B[,..]] [--silent]\n"
                 "                [--echo on|off] [--cmgf 0|1] [--capacity N]\n"
                 "see tools/modemsim/README.md\n";
}

bool LoadInbox(modem::Tc35Model& model, const std::string& path) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::size_t space = line.find_first_of(" \t");
        std::string status = line.substr(0, space);
        std::string pdu = space == std::string::npos ? "" : line.substr(line.find_first_not_of(" \t", space));
        if ((status != "unread" && status != "read") || model.AddMessage(pdu, status == "read") == 0) {
            std::cerr << "modemsim: " << path << ":" << number << ": not 'unread|read <hex PDU>' or store full\n";
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string link, inbox, sent_path, received_path, log_path, control_path;
    std::vector<std::string> settings;
    int capacity = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--link") link = value();
        else if (a == "--inbox") inbox = value();
        else if (a == "--sent") sent_path = value();
        else if (a == "--received") received_path = value();
        else if (a == "--log") log_path = value();
        else if (a == "--control") control_path = value();
        else if (a == "--set") settings.push_back(value());
        else if (a == "--baud") settings.push_back("baud " + value());
        else if (a == "--trickle") settings.push_back("trickle " + value());
        else if (a == "--chunks") settings.push_back("chunks " + value());
        else if (a == "--silent") settings.push_back("silence on");
        else if (a == "--echo") settings.push_back("echo " + value());
        else if (a == "--cmgf") settings.push_back("cmgf " + value());
        else if (a == "--capacity") capacity = std::atoi(value().c_str());
        else {
            Usage();
            return 2;
        }
    }

    modem::Tc35Model model;
    if (capacity > 0) model.SetCapacity(capacity);
    if (!inbox.empty() && !LoadInbox(model, inbox)) {
        std::cerr << "modemsim: cannot load inbox " << inbox << "\n";
        return 1;
    }
    for (const std::string& s : settings) {
        modemsim::ControlResult r = modemsim::ApplyControl(model, s, 0);
        if (!r.ok) {
            std::cerr << "modemsim: " << r.error << "\n";
            return 2;
        }
    }
    Log log;
    if (!log_path.empty() && !log.Open(log_path)) {
        std::cerr << "modemsim: cannot open log " << log_path << "\n";
        return 1;
    }

    // The control FIFO is opened read-write so that it never reports end of
    // file between two writers.
    int control = -1;
    if (!control_path.empty()) {
        struct stat st;
        if (stat(control_path.c_str(), &st) != 0 && mkfifo(control_path.c_str(), 0600) != 0) {
            std::cerr << "modemsim: mkfifo " << control_path << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        control = open(control_path.c_str(), O_RDWR | O_NONBLOCK);
        if (control < 0) {
            std::cerr << "modemsim: open " << control_path << ": " << std::strerror(errno) << "\n";
            return 1;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    modemsim::PtyLink pty(link);
    std::string error;
    if (!pty.Open(&error)) {
        std::cerr << "modemsim: " << error << "\n";
        return 1;
    }
    std::cout << pty.slave_path() << std::endl;
    log.Line("--", "serving " + pty.slave_path() + (link.empty() ? "" : " as " + link));

    std::string to_client;  // taken from the model, not yet written to the pty
    std::string control_buffer;
    std::size_t sent_recorded = 0;
    std::size_t received_recorded = 0;
    std::uint64_t reopen_at = 0;
    NowMs();

    // The line goes dead: the pty closes (the client's handle fails) and a new
    // one opens `ms` later.
    auto hang_up = [&](std::uint64_t now, std::uint64_t ms) {
        to_client.clear();
        pty.Close();
        reopen_at = now + ms;
        log.Line("--", "hang-up for " + std::to_string(ms) + " ms");
    };

    while (!g_stop) {
        std::uint64_t now = NowMs();
        if (!pty.is_open() && now >= reopen_at) {
            if (!pty.Open(&error)) {
                std::cerr << "modemsim: " << error << "\n";
                return 1;
            }
            log.Line("--", "line back on " + pty.slave_path());
        }

        int timeout = 1000;
        // Bytes that fell due since the last pass are sent at once: NextArrival
        // only looks at those still to come.
        if (model.Pending(now) > 0) timeout = 0;
        else if (auto next = model.NextArrival(now)) timeout = static_cast<int>(std::min<std::uint64_t>(*next - now, 1000));
        if (!pty.is_open()) timeout = static_cast<int>(std::min<std::uint64_t>(reopen_at - now, 1000));
        pollfd fds[2];
        int nfds = 0;
        int pty_slot = -1, control_slot = -1;
        if (pty.is_open()) {
            pty_slot = nfds;
            fds[nfds++] = {pty.master(), static_cast<short>(POLLIN | (to_client.empty() ? 0 : POLLOUT)), 0};
        }
        if (control >= 0) {
            control_slot = nfds;
            fds[nfds++] = {control, POLLIN, 0};
        }
        if (poll(fds, static_cast<nfds_t>(nfds), std::max(timeout, 0)) < 0 && errno != EINTR) break;
        now = NowMs();

        if (pty_slot >= 0 && (fds[pty_slot].revents & POLLIN)) {
            std::uint8_t buffer[4096];
            ssize_t n = read(pty.master(), buffer, sizeof buffer);
            if (n > 0) {
                const std::string bytes(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(n));
                const std::uint32_t fixed = model.faults().fixed_baud;
                const unsigned line_baud = fixed != 0 ? pty.Baud() : 0;
                if (fixed != 0 && line_baud != fixed) {
                    // Sent at another rate than the modem is set to: noise, not heard.
                    log.Line("<<", Escape(bytes) + "  (at " + std::to_string(line_baud) + " baud: not heard)");
                } else {
                    model.Receive(buffer, static_cast<std::size_t>(n), now);
                    log.Line("<<", Escape(bytes));
                    if (std::uint64_t ms = model.TakeHangUp()) hang_up(now, ms);
                }
            }
        }
        if (control_slot >= 0 && (fds[control_slot].revents & POLLIN)) {
            char buffer[4096];
            ssize_t n = read(control, buffer, sizeof buffer);
            if (n > 0) control_buffer.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = control_buffer.find('\n')) != std::string::npos;) {
                std::string line = control_buffer.substr(0, end);
                control_buffer.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                modemsim::ControlResult r = modemsim::ApplyControl(model, line, now);
                log.Line("##", line + (r.ok ? "" : "  (" + r.error + ")"));
                if (!r.ok) std::cerr << "modemsim: " << r.error << "\n";
                if (r.hangup_ms > 0) {
                    model.HangUp(now, r.hangup_ms);
                    hang_up(now, r.hangup_ms);
                }
            }
        }

        // What the model has made available by now goes to the client.
        if (std::size_t n = model.Pending(now); n > 0) {
            std::string bytes(n, '\0');
            model.Take(reinterpret_cast<std::uint8_t*>(bytes.data()), n, now);
            if (pty.is_open()) {
                to_client += bytes;
                log.Line(">>", Escape(bytes));
            }
        }
        if (pty.is_open() && !to_client.empty()) {
            ssize_t n = write(pty.master(), to_client.data(), to_client.size());
            if (n > 0) to_client.erase(0, static_cast<std::size_t>(n));
        }

        if (!sent_path.empty() && model.Sent().size() > sent_recorded) {
            std::ofstream out(sent_path, std::ios::app);
            for (; sent_recorded < model.Sent().size(); ++sent_recorded) {
                const modem::SentMessage& m = model.Sent()[sent_recorded];
                out << "{\"mode\":" << (m.text_mode ? "\"text\"" : "\"pdu\"") << ",\"number\":" << JsonString(m.number)
                    << ",\"toa\":" << m.type_of_address << ",\"coding\":\"" << modem::CodingName(m.coding)
                    << "\",\"text\":" << JsonString(m.text) << ",\"mr\":" << m.reference
                    << ",\"pdu\":" << JsonString(m.pdu);
                if (m.parts > 1) out << ",\"parts\":" << m.parts << ",\"ref\":" << m.concat_reference;
                out << "}\n";
            }
        }
        if (!received_path.empty() && model.Stored().size() > received_recorded) {
            std::ofstream out(received_path, std::ios::app);
            for (; received_recorded < model.Stored().size(); ++received_recorded) {
                const modem::StoredMessage& m = model.Stored()[received_recorded];
                std::optional<modem::Pdu> pdu = modem::DecodePdu(m.pdu);
                out << "{\"index\":" << m.index << ",\"status\":" << (m.read ? "\"read\"" : "\"unread\"")
                    << ",\"number\":" << JsonString(pdu ? pdu->address.Display() : "")
                    << ",\"coding\":\"" << (pdu ? modem::CodingName(pdu->coding) : "") << "\""
                    << ",\"text\":" << JsonString(pdu ? pdu->text : "")
                    << ",\"ud\":\"" << (pdu ? modem::BytesToHex(pdu->user_data.data(), pdu->user_data.size()) : "")
                    << "\",\"pdu\":" << JsonString(m.pdu)
                    << "}\n";
            }
        }
    }
    log.Line("--", "stopped");
    pty.Close();
    if (control >= 0) close(control);
    return 0;
}
