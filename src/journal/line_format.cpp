#include "journal/line_format.h"

#include "journal/settings.h"

#include <cstdio>
#include <cstring>

namespace vantor::journal {

const char kFileStart[] =
    "\xEF\xBB\xBF"
    "time\tport\tevent\tnumber\tparts\treferences\tresult\terror\tmeaning\ttext\r\n";
const std::size_t kFileStartLength = sizeof kFileStart - 1;

namespace {

// Escaped as the header comment says; false when it does not fit.
bool PutEscaped(char c, char* out, std::size_t size, std::size_t* used) noexcept {
    char escaped[5] = {c, '\0'};
    std::size_t n = 1;
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\r' || c == '\n' || c == '\\') {
        escaped[0] = '\\';
        escaped[1] = c == '\t' ? 't' : c == '\r' ? 'r' : c == '\n' ? 'n' : '\\';
        n = 2;
    } else if (byte < 0x20 || byte == 0x7F) {
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        n = 4;
    }
    if (*used + n >= size) return false;
    std::memcpy(out + *used, escaped, n);
    *used += n;
    return true;
}

// One code point as UTF-8 (RFC 3629).
bool PutCodePoint(char32_t c, char* out, std::size_t size, std::size_t* used) noexcept {
    char bytes[4];
    std::size_t n = 0;
    if (c < 0x80) {
        // ASCII as it is; the line escapes what needs it.
    } else if (c < 0x800) {
        bytes[n++] = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        bytes[n++] = static_cast<char>(0xE0 | (c >> 12));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        bytes[n++] = static_cast<char>(0xF0 | (c >> 18));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    bytes[n++] = static_cast<char>(c < 0x80 ? c : 0x80 | (c & 0x3F));
    if (*used + n >= size) return false;
    std::memcpy(out + *used, bytes, n);
    *used += n;
    return true;
}

// Whether a spreadsheet opening the file would take the field for anything
// but the text it is. Excel and LibreOffice read a tab-separated file as RFC
// 4180 does with tabs: a field that starts with a quote opens a quoted field
// that runs over tabs and line ends to the next quote; a field that starts
// with = + - or @ is a formula (which may start programs through DDE, and
// whose text comes from anyone who knows the modem's number); a field of
// digits and number punctuation becomes a number or a date, so that
// +8613912345678 shows as 8.61391E+12, 0755... loses its zero and a part
// "1/2" turns into the 2nd of January. Spaces before the first character do
// not change that. In `counts` (the parts and references columns) digits and
// spaces are the numbers they look like and stay unmarked.
bool NeedsTextMark(const char* text, std::size_t length, bool counts) noexcept {
    std::size_t i = 0;
    while (i < length && text[i] == ' ') ++i;
    if (i == length) return false;
    if (std::strchr("=+-@\"", text[i]) != nullptr || text[0] == kTextMark) return true;
    if (!(text[i] >= '0' && text[i] <= '9') && text[i] != '.') return false;
    bool onlyDigits = true;
    for (; i < length; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') continue;
        if (c == ' ') continue;
        if (std::strchr(".,:/%+-Ee", c) == nullptr || c == '\0') return false;
        onlyDigits = false;
    }
    return !(counts && onlyDigits);
}

// A field of the line: the text mark where a spreadsheet needs it, then the
// text, escaped. The text is UTF-8; its bytes from 0x80 up pass as they are.
bool PutField(const char* text, std::size_t length, bool counts, char* out, std::size_t size,
              std::size_t* used) noexcept {
    if (NeedsTextMark(text, length, counts)) {
        if (*used + 1 >= size) return false;
        out[(*used)++] = kTextMark;
    }
    for (std::size_t i = 0; i < length; ++i)
        if (!PutEscaped(text[i], out, size, used)) return false;
    out[*used] = '\0';
    return true;
}

bool PutTab(char* out, std::size_t size, std::size_t* used) noexcept {
    if (*used + 1 >= size) return false;
    out[(*used)++] = '\t';
    return true;
}

}  // namespace

std::size_t WideToUtf8(const char16_t* units, std::size_t count, char* out, std::size_t size) noexcept {
    std::size_t used = 0;
    if (size == 0) return 0;
    for (std::size_t i = 0; i < count; ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (!PutCodePoint(c, out, size, &used)) break;
    }
    out[used] = '\0';
    return used;
}

std::size_t AnsiToUtf8(const char* text, std::size_t length, char* out, std::size_t size) noexcept {
    if (size == 0) return 0;
    // The ANSI code page to UTF-16 through the system, a piece at a time
    // that ends on a character; what is no text in the code page becomes
    // U+FFFD byte by byte.
    std::size_t used = 0;
    out[0] = '\0';
    for (std::size_t from = 0; from < length;) {
        std::size_t piece = length - from < 256 ? length - from : 256;
        if (from + piece < length) {
            // Not between the two bytes of a double-byte character.
            std::size_t k = from;
            while (k < from + piece) k += static_cast<unsigned char>(text[k]) >= 0x81 ? 2 : 1;
            piece = k > from + piece ? piece - 1 : piece;
        }
        char16_t wide[256];
        const int units = os::MultiByteToWideChar(text + from, static_cast<int>(piece), wide, 256);
        if (units > 0) {
            used += WideToUtf8(wide, static_cast<std::size_t>(units), out + used, size - used);
        } else {
            for (std::size_t k = 0; k < piece; ++k) {
                const char16_t c = static_cast<unsigned char>(text[from + k]) < 0x80
                                       ? static_cast<char16_t>(text[from + k])
                                       : u'\uFFFD';
                used += WideToUtf8(&c, 1, out + used, size - used);
            }
        }
        from += piece;
    }
    return used;
}

std::size_t FormatLine(const Event& e, char* out, std::size_t size) noexcept {
    if (size == 0) return 0;
    const int offset = e.utcOffsetMinutes < 0 ? -e.utcOffsetMinutes : e.utcOffsetMinutes;
    const os::SystemTime& t = e.time;
    int n = std::snprintf(out, size, "%04u-%02u-%02u %02u:%02u:%02u.%03u %c%02d:%02d\t",
                          unsigned{t.wYear}, unsigned{t.wMonth}, unsigned{t.wDay}, unsigned{t.wHour},
                          unsigned{t.wMinute}, unsigned{t.wSecond}, unsigned{t.wMilliseconds},
                          e.utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    if (n <= 0 || static_cast<std::size_t>(n) >= size) return 0;
    std::size_t used = static_cast<std::size_t>(n);
    const struct {
        const char* text;
        bool counts;
    } fields[] = {{e.port, false},       {NameOf(e.kind), false}, {e.number, false},
                  {e.parts, true},       {e.references, true},   {e.result, false},
                  {e.error, false},      {e.meaning, false}};
    for (const auto& field : fields)
        if (!PutField(field.text, std::strlen(field.text), field.counts, out, size, &used) ||
            !PutTab(out, size, &used))
            return 0;
    if (!PutField(e.text, strnlen(e.text, sizeof e.text), false, out, size, &used)) return 0;
    if (used + 2 >= size) return 0;
    out[used++] = '\r';
    out[used++] = '\n';
    out[used] = '\0';
    return used;
}

void DayFileName(const os::SystemTime& time, char (&name)[32]) noexcept {
    std::snprintf(name, sizeof name, "%s%04u-%02u-%02u%s", kFilePrefix, time.wYear % 10000u,
                  time.wMonth % 100u, time.wDay % 100u, kFileSuffix);
}

const char* NameOf(EventKind kind) noexcept {
    switch (kind) {
        case EventKind::kSent: return "sent";
        case EventKind::kRefused: return "refused";
        case EventKind::kUnknown: return "outcome unknown";
        case EventKind::kReceived: return "received";
        case EventKind::kDeleted: return "deleted";
        case EventKind::kLinkLost: return "link lost";
        case EventKind::kLinkBack: return "link back";
        case EventKind::kRestarted: return "modem restarted";
        case EventKind::kDelivered: return "delivered";
        case EventKind::kNotDelivered: return "not delivered";
        case EventKind::kStillTrying: return "still trying";
        case EventKind::kNotJournaled: return "not journaled";
    }
    return "?";
}

void StampNow(Event& event) noexcept {
    os::GetLocalTime(&event.time);
    os::TimeZoneInformation zone{};
    const std::uint32_t id = os::GetTimeZoneInformation(&zone);
    std::int32_t bias = zone.Bias;
    if (id == os::kTimeZoneIdDaylight) bias += zone.DaylightBias;
    else if (id == os::kTimeZoneIdStandard) bias += zone.StandardBias;
    event.utcOffsetMinutes = id == os::kTimeZoneIdInvalid ? 0 : -bias;
}

}  // namespace vantor::journal
