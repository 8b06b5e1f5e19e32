#include "commands.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "console_text.h"

namespace vhost {
namespace {

// The module keeps at most 14 characters of Tele and 254 bytes per MsgSend slot.
constexpr std::size_t kTeleMax = 14;
constexpr std::size_t kSlotMax = 254;

std::string NextWord(const std::string& line, std::size_t& pos) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ') ++pos;
    return line.substr(start, pos - start);
}

std::string RestOf(const std::string& line, std::size_t pos) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    return line.substr(pos);
}

bool ParseCount(const std::string& text, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < 0 || parsed > 100000000) return false;
    value = static_cast<int>(parsed);
    return true;
}

// Cuts ANSI text at most `limit` bytes in, never inside a double-byte character.
std::size_t CutPoint(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t width = IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
        if (i + width > limit) break;
        i += width;
    }
    return i;
}

// Error texts are two lines; keep the second indented under the first.
std::string Indented(std::string text) {
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        text.replace(at, 1, "\n    ");
    return text;
}

// A stored message text on one output line: CR, LF, the other control bytes
// and the backslash as \r, \n, \xNN and \\, so that a body holding line
// breaks stays one line and reads back exactly. The trail byte of a
// double-byte character (which may be 0x5C) is left alone.
std::string OneLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        const auto c = static_cast<unsigned char>(ch);
        if (IsDBCSLeadByte(c) && i + 1 < text.size()) {
            out += text.substr(i++, 2);
            continue;
        }
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20) out += Format("\\x%02X", c);
        else out += ch;
    }
    return out;
}

std::string Shown(const ItemValue& v) {
    if (v.dataType == vantor::kTypeText) return "\"" + v.text + "\"";
    switch (v.dataType) {
        case 2: return Format("%u", v.value & 0xFFu);
        case 4: return Format("%u", v.value & 0xFFFFu);
        default: return Format("%lu", static_cast<unsigned long>(v.value));
    }
}

}  // namespace

std::string Commands::Took() const {
    return options_.showTimes ? Format("  [%.0f ms]", session_.LastCallMs()) : std::string{};
}

bool Commands::Run(const std::string& line) {
    std::size_t pos = 0;
    const std::string command = NextWord(line, pos);
    if (command.empty() || command[0] == '#') return true;
    if (command == "check") {
        const std::string name = NextWord(line, pos);
        return Check(name, NextWord(line, pos));
    }
    if (command == "read") return Read(NextWord(line, pos));
    if (command == "write") {
        const std::string name = NextWord(line, pos);
        return Write(name, RestOf(line, pos));
    }
    if (command == "send") {
        const std::string number = NextWord(line, pos);
        return Send(number, RestOf(line, pos));
    }
    if (command == "inbox") {
        const std::string which = NextWord(line, pos);
        if (which.empty() || which == "--new") return Inbox(true);
        if (which == "--old") return Inbox(false);
        Err("usage: inbox [--new|--old]\n");
        return false;
    }
    if (command == "delete") return Delete(NextWord(line, pos));
    if (command == "poll") {
        int interval = 1000;
        int count = 0;
        for (std::string word = NextWord(line, pos); !word.empty(); word = NextWord(line, pos)) {
            const std::string value = NextWord(line, pos);
            if ((word == "--interval" && ParseCount(value, interval)) || (word == "--count" && ParseCount(value, count)))
                continue;
            Err("usage: poll [--interval MS] [--count N]\n");
            return false;
        }
        return Poll(interval, count);
    }
    if (command == "linktest") return LinkTest();
    if (command == "sleep") {
        int ms = 0;
        if (!ParseCount(NextWord(line, pos), ms)) {
            Err("usage: sleep MS\n");
            return false;
        }
        Sleep(static_cast<DWORD>(ms));
        return true;
    }
    if (command == "echo") {
        Out(RestOf(line, pos) + "\n");
        return true;
    }
    Err("unknown command '" + command + "'\n");
    return false;
}

bool Commands::Check(const std::string& name, const std::string& type) {
    vantor::RegisterRef ref{};
    std::string error;
    bool ok;
    if (type.empty()) {
        ok = session_.Check(name, ref, error);
    } else {
        int code = 0;
        if (!ParseCount(type, code) || code > 32767) {
            Err("usage: check REGISTER [TYPE]\n");
            return false;
        }
        ok = session_.Check(name, static_cast<std::int16_t>(code), ref, error);
    }
    if (!ok) {
        Out("check " + name + ": invalid: " + Indented(error) + "\n");
        return false;
    }
    Out(Format("check %s: kind %d, sub-index %d, type %d\n", name.c_str(), ref.kind, ref.subIndex, ref.dataType));
    return true;
}

bool Commands::Read(const std::string& name) {
    vantor::RegisterRef ref{};
    std::string error;
    if (!session_.Check(name, ref, error)) {
        Out("read " + name + ": invalid register: " + Indented(error) + "\n");
        return false;
    }
    std::vector<ItemValue> values;
    const int result = session_.Read({ref}, values);
    if (result != 1) {
        Out("read " + name + ": FAILED (result " + std::to_string(result) + ")" + Took() + "\n");
        return false;
    }
    const ItemValue& v = values[0];
    if (!v.delivered) {
        Out("read " + name + ": result 1, nothing delivered" + Took() + "\n");
        return true;
    }
    Out(Format("read %s: %s  (quality %u, %s)", name.c_str(), Shown(v).c_str(), v.quality,
               FormatStamp(v.stamp).c_str()) +
        Took() + "\n");
    return true;
}

bool Commands::WriteOne(const std::string& name, const std::string& value, const std::string& shown) {
    vantor::RegisterRef ref{};
    std::string error;
    if (!session_.Check(name, ref, error)) {
        Out("write " + name + ": invalid register: " + Indented(error) + "\n");
        return false;
    }
    int result = 0;
    if (!session_.Write(ref, value, result, error)) {
        Out("write " + name + ": " + error + "\n");
        return false;
    }
    Out("write " + name + " " + shown + ": " + (result == 1 ? "ok" : "FAILED (result " + std::to_string(result) + ")") +
        Took() + "\n");
    return result == 1;
}

bool Commands::Write(const std::string& name, const std::string& value) {
    // Texts are shown in quotes unless they carry their own (a CSCA value
    // goes to the modem exactly as written, quotes and type of number included).
    const bool quote = session_.DefaultType(name) == vantor::kTypeText && value.find('"') == std::string::npos;
    return WriteOne(name, value, quote ? "\"" + value + "\"" : value);
}

bool Commands::Send(const std::string& number, const std::string& text) {
    if (number.empty()) {
        Err("usage: send NUMBER TEXT\n");
        return false;
    }
    if (number.size() > kTeleMax) {
        Out(Format("send: the number has %u characters; the module keeps %u\n", static_cast<unsigned>(number.size()), static_cast<unsigned>(kTeleMax)));
        return false;
    }
    const std::size_t cut = CutPoint(text, kSlotMax);
    const std::string first = text.substr(0, cut);
    const std::string second = text.substr(cut);
    if (second.size() > kSlotMax) {
        Out(Format("send: the text has %u bytes; two MsgSend slots hold %u\n", static_cast<unsigned>(text.size()), static_cast<unsigned>(2 * kSlotMax)));
        return false;
    }
    // Slot 1 is written even when empty: it would otherwise still hold the
    // tail of an earlier long message, which the module appends to the body.
    if (!WriteOne("Tele", number, "\"" + number + "\"") || !WriteOne("MsgSend0", first, "\"" + first + "\"") ||
        !WriteOne("MsgSend1", second, "\"" + second + "\""))
        return false;
    const bool sent = WriteOne("SEND", "1", "1");
    vantor::RegisterRef ref{};
    std::string error;
    std::vector<ItemValue> values;
    if (!session_.Check("SReturn", ref, error) || session_.Read({ref}, values) != 1 || !values[0].delivered) {
        Out("send: SReturn could not be read\n");
        return false;
    }
    const unsigned outcome = values[0].value & 0xFFu;
    Out(Format("read SReturn: %u  (%s)\n", outcome,
               outcome == 1 ? "sent" : outcome == 2 ? "all attempts failed" : "no send recorded"));
    return sent && outcome == 1;
}

int Commands::ListStores(const char* headerStore, const char* bodyStore, int slots) {
    std::vector<vantor::RegisterRef> headers(static_cast<std::size_t>(slots));
    std::vector<vantor::RegisterRef> bodies(static_cast<std::size_t>(slots));
    std::string error;
    for (int i = 0; i < slots; ++i) {
        if (!session_.Check(Format("%s%d", headerStore, i), headers[static_cast<std::size_t>(i)], error) ||
            !session_.Check(Format("%s%d", bodyStore, i), bodies[static_cast<std::size_t>(i)], error)) {
            Out(std::string("inbox: register check failed: ") + error + "\n");
            return -1;
        }
    }
    std::vector<ItemValue> h;
    std::vector<ItemValue> b;
    if (session_.Read(headers, h) != 1 || session_.Read(bodies, b) != 1) {
        Out(std::string("inbox: read of ") + headerStore + "/" + bodyStore + " FAILED\n");
        return -1;
    }
    int shown = 0;
    for (int i = 0; i < slots; ++i) {
        const ItemValue& header = h[static_cast<std::size_t>(i)];
        const ItemValue& body = b[static_cast<std::size_t>(i)];
        if (!header.delivered || !body.delivered) {
            Out(Format("inbox: slot %d was not delivered\n", i));
            return -1;
        }
        if (header.text == "^" && body.text == "^") continue;
        Out(Format("  %s%d: ", headerStore, i) + OneLine(header.text) + "\n");
        Out(Format("  %s%d: ", bodyStore, i) + OneLine(body.text) + "\n");
        ++shown;
    }
    return shown;
}

bool Commands::Inbox(bool unread) {
    if (!WriteOne(unread ? "NEW" : "OLD", "1", "1")) return false;
    const int shown = unread ? ListStores("MsgNew", "MsgNec", 10) : ListStores("MsgOld", "MsgInf", 20);
    if (shown < 0) return false;
    Out(Format("inbox (%s): %d message(s)\n", unread ? "unread" : "read", shown));
    return true;
}

bool Commands::Delete(const std::string& index) {
    int value = 0;
    if (!ParseCount(index, value) || value > 255) {
        Out("delete: index must be 0..255 (CMGD carries one byte)\n");
        return false;
    }
    return WriteOne("CMGD", index, index);
}

bool Commands::LinkTest() {
    const bool ok = session_.LinkTest();
    Out(std::string("linktest: ") + (ok ? "modem answered" : "no answer") + Took() + "\n");
    return ok;
}

bool Commands::Poll(int intervalMs, int count) {
    vantor::RegisterRef at{};
    std::string error;
    if (!session_.Check("AT", at, error)) {
        Out("poll: " + error + "\n");
        return false;
    }
    bool allOk = true;
    for (int round = 1; count == 0 || round <= count; ++round) {
        std::vector<ItemValue> link;
        const int linkResult = session_.Read({at}, link);
        if (linkResult != 1) {
            Out(Format("poll %d: link test skipped (module backing off)\n", round));
            allOk = false;
        } else {
            Out(Format("poll %d: link %u\n", round, link[0].value & 0xFFu));
            if ((link[0].value & 0xFFu) != 1) allOk = false;
        }
        // Like an HMI, the inbox is polled whatever the link test said.
        if (!Inbox(true)) allOk = false;
        if (count == 0 || round < count) Sleep(static_cast<DWORD>(intervalMs));
    }
    return allOk;
}

}  // namespace vhost
