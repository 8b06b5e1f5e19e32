#include "detect_report.h"

#include "link/serial_port.h"

#include "text_format.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace vhost {
namespace {

const char* T(Language language, const char* english, const char* chinese) {
    return language == Language::kChinese ? chinese : english;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

std::optional<int> Whole(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 7) return std::nullopt;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    const int value = std::atoi(text.c_str());
    if (value < low || value > high) return std::nullopt;
    return value;
}

// "COM12" or "12" -> 12.
std::optional<int> PortNumber(std::string text) {
    if (text.size() > 3 && (text.compare(0, 3, "COM") == 0 || text.compare(0, 3, "com") == 0)) text = text.substr(3);
    return Whole(text, 1, 256);
}

std::string BaudText(const std::vector<int>& bauds) {
    std::string text;
    for (const int b : bauds) text += (text.empty() ? "" : ", ") + std::to_string(b);
    return text;
}

std::string Field(const char* label, const std::string& value) { return std::string("  ") + label + value + "\n"; }

std::string SimText(const SimReport& sim, Language l) {
    switch (sim.status) {
        case SimStatus::kReady: return T(l, "ready", "就绪");
        case SimStatus::kPinNeeded: return T(l, "PIN needed (SIM PIN)", "需要输入 PIN 码 (SIM PIN)");
        case SimStatus::kPukNeeded: return T(l, "PIN blocked, PUK needed (SIM PUK)", "PIN 码已锁，需要 PUK 码 (SIM PUK)");
        case SimStatus::kOtherCode: return T(l, "waiting for a password: ", "等待输入密码：") + sim.code;
        case SimStatus::kAbsent: return T(l, "no SIM card (", "未插入 SIM 卡 (") + sim.code + ")";
        case SimStatus::kFailure: return T(l, "SIM card fault (", "SIM 卡故障 (") + sim.code + ")";
        case SimStatus::kNoSimOrFailure:
            return T(l, "no SIM card, or a SIM the modem cannot use (", "未插入 SIM 卡或 SIM 卡不可用 (") + sim.code +
                   ")";
        case SimStatus::kUnknown: break;
    }
    return sim.code.empty() ? T(l, "no answer", "无应答") : T(l, "unknown answer: ", "无法识别的应答：") + sim.code;
}

std::string SignalText(const std::optional<Signal>& signal, Language l) {
    if (!signal) return T(l, "no answer", "无应答");
    if (!signal->Known()) return T(l, "no signal (unknown, AT+CSQ 99)", "无信号（未知，AT+CSQ 99）");
    std::string level = signal->rssi == 0 ? "<= -113 dBm" : signal->rssi == 31 ? ">= -51 dBm"
                                                                                : Format("%d dBm", signal->Dbm());
    return level + Format(T(l, ", %d of 5 bars (AT+CSQ %d)", "，%d/5 格（AT+CSQ %d）"), signal->Bars(),
                          signal->rssi);
}

std::string RegistrationText(const std::optional<Registration>& r, Language l) {
    if (!r) return T(l, "no answer", "无应答");
    switch (*r) {
        case Registration::kHome: return T(l, "registered, home network", "已注册，本地网络");
        case Registration::kRoaming: return T(l, "registered, roaming", "已注册，漫游");
        case Registration::kSearching: return T(l, "not registered, searching", "未注册，正在搜索网络");
        case Registration::kDenied: return T(l, "registration denied", "注册被拒绝");
        case Registration::kNotSearching: return T(l, "not registered, not searching", "未注册，未搜索网络");
        case Registration::kUnknown: break;
    }
    return T(l, "unknown", "未知");
}

std::string CentreText(const ModemFacts& f, Language l) {
    if (!f.serviceCentre) {
        if (!f.serviceCentreError.empty()) return T(l, "not readable (", "无法读取 (") + f.serviceCentreError + ")";
        return T(l, "no answer", "无应答");
    }
    if (f.serviceCentre->number.empty()) return T(l, "not set", "未设置");
    return f.serviceCentre->number + Format(T(l, " (type %d)", "（类型 %d）"), f.serviceCentre->type);
}

std::string FormatText(const std::optional<int>& cmgf, Language l) {
    if (!cmgf) return T(l, "no answer", "无应答");
    return *cmgf == 0 ? T(l, "0 (PDU mode)", "0（PDU 模式）") : T(l, "1 (text mode)", "1（文本模式）");
}

std::string StorageText(const std::optional<Storage>& storage, Language l) {
    if (!storage) return T(l, "no answer", "无应答");
    return Format(T(l, "%d of %d in use (%s)", "已用 %d 条，共 %d 条（%s）"), storage->used, storage->total,
                  storage->memory.c_str());
}

std::string ProblemText(Problem p, Language l) {
    switch (p) {
        case Problem::kBaudTooHigh:
            // AT+IPR keeps its rate across power cycles (TC35 manual, AT+IPR).
            return Format(T(l, "the driver opens the port at %d baud at most: set the modem to %d or lower "
                               "(AT+IPR=%d, or AT+IPR=0 to autobaud)",
                            "驱动程序最高以 %d 波特打开串口：请把调制解调器设为 %d 或更低"
                            "（AT+IPR=%d，或 AT+IPR=0 自动识别波特率）"),
                          vantor::link::kMaxBaudRate, vantor::link::kMaxBaudRate, vantor::link::kMaxBaudRate);
        case Problem::kNoSim:
            return T(l, "insert a working SIM card (power the modem off first)", "插入可用的 SIM 卡（先关闭调制解调器电源）");
        case Problem::kSimPin:
            return T(l, "switch the SIM's PIN request off in a mobile phone: the driver enters no PIN",
                     "请在手机上关闭 SIM 卡的 PIN 码请求：驱动程序不会输入 PIN 码");
        case Problem::kSimPuk:
            return T(l, "unblock the SIM with its PUK in a mobile phone and switch the PIN request off",
                     "请在手机上用 PUK 码解锁 SIM 卡并关闭 PIN 码请求");
        case Problem::kSimOther:
            return T(l, "the SIM waits for a password: check the SIM in a mobile phone", "SIM 卡在等待密码：请在手机上检查该 SIM 卡");
        case Problem::kNotRegistered:
            return T(l, "the modem is not in the network: check the SIM's subscription and the antenna",
                     "调制解调器未注册到网络：请检查 SIM 卡的服务和天线");
        case Problem::kNoSignal:
            return T(l, "no usable signal: check the antenna and its cable", "没有可用信号：请检查天线及其电缆");
        case Problem::kNoServiceCentre:
            return T(l, "no service centre number: set it with  vantorhost --port ... write CSCA \"+86...\",145",
                     "未设置短信中心号码：请用  vantorhost --port ... write CSCA \"+86...\",145  设置");
    }
    return {};
}

}  // namespace

std::optional<std::vector<int>> ParsePortList(const std::string& text) {
    std::vector<int> ports;
    for (const std::string& item : Split(text, ',')) {
        const auto dash = item.find('-');
        const auto first = PortNumber(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : PortNumber(item.substr(dash + 1));
        if (!first || !last || *last < *first) return std::nullopt;
        for (int n = *first; n <= *last; ++n) {
            if (std::find(ports.begin(), ports.end(), n) == ports.end()) ports.push_back(n);
        }
    }
    if (ports.empty()) return std::nullopt;
    return ports;
}

std::optional<std::vector<int>> ParseBaudList(const std::string& text) {
    std::vector<int> bauds;
    for (const std::string& item : Split(text, ',')) {
        const auto baud = Whole(item, vantor::link::kMinBaudRate, 460800);
        if (!baud) return std::nullopt;
        if (std::find(bauds.begin(), bauds.end(), *baud) == bauds.end()) bauds.push_back(*baud);
    }
    if (bauds.empty()) return std::nullopt;
    std::stable_partition(bauds.begin(), bauds.end(), [](int baud) { return baud <= vantor::link::kMaxBaudRate; });
    return bauds;
}

std::string SearchLine(const std::string& ports, const std::vector<int>& bauds, Language l) {
    return Format(T(l, "Looking for a modem on %s at %s baud (read-only: no setting is changed).\n",
                    "正在查找调制解调器：端口 %s，波特率 %s（只读取，不修改任何设置）。\n"),
                  ports.c_str(), BaudText(bauds).c_str());
}

std::string PortLine(const std::string& port, PortOutcome outcome, unsigned long error, Language l) {
    switch (outcome) {
        case PortOutcome::kNoAnswer:
            return port + T(l, ": no answer to AT at any baud rate\n", "：任何波特率下对 AT 都无应答\n");
        case PortOutcome::kBusy:
            return port + T(l, ": in use by another program (close the HMI runtime first)\n",
                            "：正被其他程序占用（请先关闭 HMI 运行系统）\n");
        case PortOutcome::kOpenFailed: break;
    }
    return port + Format(T(l, ": cannot be opened (error %lu)\n", "：无法打开（错误 %lu）\n"), error);
}

std::string NoPortLine(const std::string& ports, Language l) {
    return Format(T(l, "None of the ports %s exists on this computer.\n", "本机上不存在端口 %s 中的任何一个。\n"),
                  ports.c_str());
}

std::string ModemBlock(const ModemFacts& f, Language l) {
    std::string out = f.port + Format(T(l, ": a modem answers at %d baud\n", "：调制解调器在 %d 波特应答\n"), f.baud);
    std::string identity = f.manufacturer.value_or("?") + " " + f.model.value_or("?");
    if (!f.manufacturer && !f.model) identity = T(l, "no answer", "无应答");
    out += Field(T(l, "Manufacturer, model: ", "厂商、型号：  "), identity);
    out += Field(T(l, "SIM card:            ", "SIM 卡：      "), SimText(f.sim, l));
    out += Field(T(l, "Signal:              ", "信号：        "), SignalText(f.signal, l));
    out += Field(T(l, "Network:             ", "网络注册：    "), RegistrationText(f.registration, l));
    out += Field(T(l, "Service centre:      ", "短信中心：    "), CentreText(f, l));
    out += Field(T(l, "Message format:      ", "短信格式：    "), FormatText(f.messageFormat, l));
    out += Field(T(l, "SIM message store:   ", "短信存储：    "), StorageText(f.storage, l));
    for (const Problem p : ProblemsOf(f)) out += std::string(T(l, "  To do: ", "  需要处理：")) + ProblemText(p, l) + "\n";
    // A full store keeps no message from being sent, but received ones wait
    // at the service centre: advice, not a reason the modem cannot be used.
    if (f.storage && f.storage->NearlyFull())
        out += std::string(T(l, "  To do: ", "  需要处理：")) +
               T(l, "the SIM's message store is nearly full: delete read messages (write CMGD), or new "
                    "messages will wait at the service centre unseen",
                 "SIM 卡短信存储将满：请删除已读短信（写 CMGD），否则新短信会滞留在短信中心而无法收到") +
               "\n";
    return out;
}

std::string Conclusion(const std::vector<ModemFacts>& modems, const std::string& ports,
                       const std::vector<int>& bauds, Language l, bool* usable) {
    *usable = false;
    for (const ModemFacts& f : modems) {
        if (ProblemsOf(f).empty()) {
            *usable = true;
            return Format(T(l, "%s is ready to send messages. Use:  --port %s --baud %d\n",
                            "%s 可以收发短信。请使用参数：  --port %s --baud %d\n"),
                          f.port.c_str(), f.port.c_str(), f.baud);
        }
    }
    if (!modems.empty()) {
        const ModemFacts& f = modems.front();
        const std::vector<Problem> problems = ProblemsOf(f);
        if (problems.front() == Problem::kBaudTooHigh) {
            // No options to recommend: the driver would not open the port so.
            return Format(T(l, "A modem answers on %s at %d baud, which the driver does not use: %s.\n",
                            "%s 上的调制解调器在 %d 波特应答，驱动程序不使用该波特率：%s。\n"),
                          f.port.c_str(), f.baud, ProblemText(problems.front(), l).c_str());
        }
        return Format(T(l, "A modem answers on %s (--port %s --baud %d) but cannot send messages yet: %s.\n",
                        "%s 上的调制解调器有应答（--port %s --baud %d），但还不能收发短信：%s。\n"),
                      f.port.c_str(), f.port.c_str(), f.baud, ProblemText(ProblemsOf(f).front(), l).c_str());
    }
    return Format(T(l, "No modem answered on %s at %s baud. Check the modem's power, the cable and the port.\n",
                    "在 %s（波特率 %s）上没有调制解调器应答。请检查调制解调器电源、电缆和端口。\n"),
                  ports.c_str(), BaudText(bauds).c_str());
}

}  // namespace vhost
