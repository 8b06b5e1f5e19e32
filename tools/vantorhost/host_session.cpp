#include "host_session.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "console_text.h"

namespace vhost {
namespace {

// Times one module call and runs the after-call hook when it returns.
class Stopwatch {
public:
    Stopwatch(double& out, const std::function<void()>& after)
        : out_(out), after_(after), start_(std::chrono::steady_clock::now()) {}
    ~Stopwatch() {
        out_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
        if (after_) after_();
    }

private:
    double& out_;
    const std::function<void()>& after_;
    std::chrono::steady_clock::time_point start_;
};

// Integer range of the low bytes that a data type carries into the module.
bool ParseInteger(const std::string& text, std::uint16_t type, std::uint32_t& value, std::string& error) {
    long long low = 0;
    long long high = 0;
    switch (type) {
        case 2: low = -128; high = 255; break;
        case 4: case 8: case 16: low = -32768; high = 65535; break;
        case 1: case 32: case 64: case 128: low = INT32_MIN; high = UINT32_MAX; break;
        default:
            error = Format("data type %u cannot be written by this host", type);
            return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || end == nullptr || *end != '\0' || errno == ERANGE) {
        error = "'" + text + "' is not a number";
        return false;
    }
    if (parsed < low || parsed > high) {
        error = Format("%lld does not fit data type %u (%lld..%lld)", parsed, type, low, high);
        return false;
    }
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

}  // namespace

HostSession::HostSession(vantor::IDeviceDriver* driver, vantor::IPortSharing* sharing)
    : driver_(driver), sharing_(sharing) {
    if (driver_->GetRegisterTable(0, &table_, &rows_) != 1 || table_ == nullptr) {
        table_ = nullptr;
        rows_ = 0;
    }
}

std::int16_t HostSession::DefaultType(const std::string& name) const {
    const auto start = name.find_first_not_of(' ');
    if (start == std::string::npos) return 0;
    for (std::int32_t i = 0; i < rows_; ++i) {
        const std::size_t n = strnlen(table_[i].name, sizeof table_[i].name);
        if (name.compare(start, n, table_[i].name, n) != 0) continue;
        const std::uint16_t allowed = table_[i].allowedTypes;
        for (std::uint16_t bit = 1; bit != 0 && bit <= 256; bit = static_cast<std::uint16_t>(bit << 1)) {
            if (allowed & bit) return static_cast<std::int16_t>(bit);
        }
    }
    return 0;
}

bool HostSession::Check(const std::string& name, std::int16_t dataType, vantor::RegisterRef& ref,
                        std::string& error) {
    if (name.size() >= sizeof(vantor::RegisterQuery{}.name)) {
        error = "register name too long";
        return false;
    }
    vantor::RegisterQuery query{};
    std::memcpy(query.name, name.data(), name.size());
    query.dataType = dataType;
    ref = vantor::RegisterRef{};
    if (driver_->CheckRegister(&query, &ref) == 0) return true;
    const char* text = driver_->GetErrorText();
    error = text != nullptr ? text : "register check failed (no error text)";
    return false;
}

bool HostSession::Check(const std::string& name, vantor::RegisterRef& ref, std::string& error) {
    std::int16_t type = DefaultType(name);
    // An unknown name still goes to the module so that its own error text is shown.
    return Check(name, type != 0 ? type : 2, ref, error);
}

bool HostSession::OpenPort(const PortSettings& settings) {
    vantor::PortConfig config{};
    std::strncpy(config.portName, settings.name.c_str(), sizeof config.portName - 1);
    config.baudRate = settings.baud;
    config.dataBits = static_cast<std::uint8_t>(settings.dataBits);
    config.stopBits = static_cast<std::int16_t>(settings.stopBits);
    config.parity = static_cast<std::uint8_t>(settings.parity);
    config.replyTimeout = static_cast<std::int16_t>(settings.replyTimeoutMs);
    Stopwatch watch(lastCallMs_, afterCall_);
    return driver_->OpenPort(0, &config) == 1;
}

bool HostSession::ClosePort() {
    Stopwatch watch(lastCallMs_, afterCall_);
    return driver_->ClosePort() == 1;
}

bool HostSession::LinkTest() {
    Stopwatch watch(lastCallMs_, afterCall_);
    return driver_->LinkTest(1, 0, 0) == 1;
}

int HostSession::Read(const std::vector<vantor::RegisterRef>& refs, std::vector<ItemValue>& values) {
    values.assign(refs.size(), ItemValue{});
    if (refs.empty()) return 0;
    std::vector<vantor::IoItem> items(refs.size());
    std::vector<vantor::IoItemNode> nodes(refs.size());
    for (std::size_t i = 0; i < refs.size(); ++i) {
        items[i] = vantor::IoItem{};
        items[i].subIndex = static_cast<std::uint16_t>(refs[i].subIndex);
        items[i].dataType = static_cast<std::uint16_t>(refs[i].dataType);
        nodes[i].item = &items[i];
        nodes[i].next = i + 1 < refs.size() ? &nodes[i + 1] : nullptr;
        nodes[i].previous = i > 0 ? &nodes[i - 1] : nullptr;
    }
    vantor::IoPacket packet{};
    packet.kind = refs[0].kind;
    packet.writeFlag = 0;
    packet.head = nodes.data();

    int result;
    {
        Stopwatch watch(lastCallMs_, afterCall_);
        result = sharing_->ProcessSharedPacket(&packet);
    }
    for (std::size_t i = 0; i < refs.size(); ++i) {
        ItemValue& v = values[i];
        v.dataType = items[i].dataType;
        v.value = items[i].value;
        v.quality = items[i].quality;
        std::memcpy(&v.stamp, &items[i].timeStamp, sizeof v.stamp);
        v.delivered = v.quality != 0 || v.stamp.dwLowDateTime != 0 || v.stamp.dwHighDateTime != 0;
        if (v.dataType == vantor::kTypeText && v.delivered) {
            const ATOM atom = static_cast<ATOM>(v.value & 0xFFFF);
            char text[256] = {};
            if (atom != 0 && GlobalGetAtomNameA(atom, text, sizeof text) > 0) v.text = text;
            // The host owns the delivered value: drop this delivery's reference
            // so that a long poll does not fill the global atom table.
            if (atom != 0) GlobalDeleteAtom(atom);
        }
    }
    return result;
}

bool HostSession::Write(const vantor::RegisterRef& ref, const std::string& value, int& result,
                        std::string& error) {
    vantor::IoItem item{};
    item.subIndex = static_cast<std::uint16_t>(ref.subIndex);
    item.dataType = static_cast<std::uint16_t>(ref.dataType);
    ATOM atom = 0;
    if (item.dataType == vantor::kTypeText) {
        if (value.size() > 255) {
            error = Format("text of %u bytes is longer than a global atom holds (255)", static_cast<unsigned>(value.size()));
            return false;
        }
        if (!value.empty()) {
            atom = GlobalAddAtomA(value.c_str());
            if (atom == 0) {
                error = Format("GlobalAddAtomA failed (error %lu)", GetLastError());
                return false;
            }
            // Atom names are case-insensitive: a text already in the table with
            // other letter case is what the module will read back.
            char stored[256] = {};
            GlobalGetAtomNameA(atom, stored, sizeof stored);
            if (value != stored) {
                Err(Format("warning: the global atom table already holds '%s'; the module receives that text\n",
                           stored));
            }
        }
        item.value = atom;  // atom 0 stands for the empty text
    } else if (!ParseInteger(value, item.dataType, item.value, error)) {
        return false;
    }
    vantor::IoItemNode node{};
    node.item = &item;
    vantor::IoPacket packet{};
    packet.kind = ref.kind;
    packet.writeFlag = 1;
    packet.head = &node;
    {
        Stopwatch watch(lastCallMs_, afterCall_);
        result = sharing_->ProcessSharedPacket(&packet);
    }
    if (atom != 0) GlobalDeleteAtom(atom);
    return true;
}

std::string FormatStamp(const FILETIME& stamp) {
    FILETIME local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&stamp, &local) || !FileTimeToSystemTime(&local, &t)) return "?";
    return Format("%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond, t.wMilliseconds);
}

}  // namespace vhost
