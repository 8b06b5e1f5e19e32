// The cost of one journal line on Windows (under Wine here): the "sent" line
// of a Chinese PDU-mode send, from the device's calls to the line in the day
// file: the hooks, the GBK -> UTF-8 line, reading the settings, opening the
// file for append, one WriteFile and closing it. It writes where the
// journal's settings say (scripts/bench points them at its own folder).
//
//   journal_line_bench [LINES]    prints "journal_line_us <microseconds per line>"
//                                 and "format_line_us <microseconds per line made only>"
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "journal/line_format.h"
#include "journal/recorder.h"

namespace {

// 泵站七号压力过高，请尽快检查阀门 in GBK: the bench session's Chinese send.
constexpr char kText[] =
    "\xB1\xC3\xD5\xBE\xC6\xDF\xBA\xC5\xD1\xB9\xC1\xA6\xB9\xFD\xB8\xDF\xA3\xAC"
    "\xC7\xEB\xBE\xA1\xBF\xEC\xBC\xEC\xB2\xE9\xB7\xA7\xC3\xC5";

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (lines <= 0) return 2;
    static const char kPort[32] = "COM17";
    static vantor::journal::Recorder recorder(kPort, kPort);

    LARGE_INTEGER start{}, end{};
    QueryPerformanceCounter(&start);
    vantor::journal::SendOutcome sent;
    sent.result = vantor::journal::SendOutcome::Result::kSent;
    for (int i = 0; i < lines; ++i) {
        sent.confirmed = 0;
        sent.Confirmed(1, i & 0xFF);
        recorder.Sent("13912345678", kText, sent);
        recorder.Flush();
    }
    QueryPerformanceCounter(&end);
    const double perLine = Seconds(start, end) / lines * 1e6;

    vantor::journal::Event event;
    event.kind = vantor::journal::EventKind::kSent;
    vantor::journal::StampNow(event);
    std::snprintf(event.number, sizeof event.number, "13912345678");
    vantor::journal::AnsiToUtf8(kText, std::strlen(kText), event.text, sizeof event.text);
    char line[vantor::journal::kMaxLineSize];
    std::size_t made = 0;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < lines * 10; ++i) made += vantor::journal::FormatLine(event, line, sizeof line);
    QueryPerformanceCounter(&end);
    const double perFormat = Seconds(start, end) / (lines * 10) * 1e6;

    std::printf("journal_line_us %.1f\nformat_line_us %.2f\nline_bytes %zu\n", perLine, perFormat,
                made / static_cast<std::size_t>(lines * 10));
    return made == 0 ? 1 : 0;
}
