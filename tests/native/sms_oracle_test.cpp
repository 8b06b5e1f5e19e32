// The codec against an independent one (python-gammu) and against PDUs that
// other projects recorded and asserted. Each table carries committed expected
// values, so the tests keep their meaning where gammu is not installed; where
// it is, the oracle runs live as well.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "modem/escapes.h"
#include "sms/pdu_encode.h"
#include "sms_test_util.h"

namespace {

using vantor::test::DecodeEntry;
using vantor::test::Gbk;
using vantor::test::PduEntry;
using vantor::test::Utf8;

const char kOracle[] = VANTOR_SOURCE_DIR "/tests/native/oracle/gammu_oracle.py";
const std::string kNotice = "非文本短消息，请用相应型号的手机查看！";

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[3];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02x", c);
        out += b;
    }
    return out;
}

bool GammuAvailable() {
    return std::system("/usr/bin/python3 -c 'import gammu' >/dev/null 2>&1") == 0;
}

// Runs the oracle and returns its output lines.
std::vector<std::string> RunOracle(const std::string& mode, const std::vector<std::string>& args) {
    std::string command = std::string("/usr/bin/python3 ") + kOracle + " " + mode;
    for (const auto& a : args) command += " '" + a + "'";
    std::vector<std::string> lines;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return lines;
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Split(const std::string& line, char sep = '\t') {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, sep)) fields.push_back(field);
    if (!line.empty() && line.back() == sep) fields.push_back("");
    return fields;
}

std::string StripPlus(const std::string& s) { return !s.empty() && s[0] == '+' ? s.substr(1) : s; }

struct SubmitCase {
    const char* number;
    const char* text;  // UTF-8
    int codeMod;
    bool ucs2;         // the coding the PDU must carry
    const char* pdu;   // committed: this encoder's output, checked by gammu
};

const SubmitCase kSubmit[] = {
    {"123", "hello world", 0, false, "001100038121F30000A70BE8329BFD06DDDF723619"},
    {"123", "hello world", 1, true, "001100038121F30008A71600680065006C006C006F00200077006F0072006C0064"},
    // Tilde last: python-gammu garbles a '~' that has a character after it.
    {"+8613800138000", "@$_{}[]\\|^€~", 0, false,
     "0011000D91683108108300F00000A71500416483DAA436BC8D6FF3DA0037944D79D303"},
    {"+8613800138000", "@$_{}[]\\|^€~", 1, true,
     "0011000D91683108108300F00008A71800400024005F007B007D005B005D005C007C005E20AC007E"},
    {"13800138000", "中文短信", 0, true, "0011000B813108108300F00008A7084E2D658777ED4FE1"},
    {"13800138000", "中文短信", 1, true, "0011000B813108108300F00008A7084E2D658777ED4FE1"},
    {"+44", "Mixed 混合 text", 0, true,
     "0011000291440008A71A004D006900780065006400206DF7540800200074006500780074"},
    {"10086", "ΔΩ é à ü §", 0, false, "00110005810180F60000A70A900AA800FA83FCA02F"},
};

TEST(SmsOracle, SubmitPdusDecodeWithGammu) {
    std::vector<std::string> pdus;
    for (const auto& c : kSubmit) {
        char pdu[vantor::sms::kPduTextSize];
        std::int32_t count = 0;
        const std::string body = Gbk(c.text);
        ASSERT_EQ(vantor::sms::Makecode(c.number, body.c_str(), "", static_cast<std::uint8_t>(c.codeMod), pdu, &count), 1);
        EXPECT_EQ(std::string(pdu), c.pdu) << c.text << " CodeMod " << c.codeMod;
        pdus.push_back(pdu);
    }
    if (!GammuAvailable()) GTEST_SKIP() << "python3-gammu not importable: committed values only";
    const auto lines = RunOracle("decode-submit", pdus);
    ASSERT_EQ(lines.size(), pdus.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto f = Split(lines[i]);
        ASSERT_EQ(f.size(), 3u) << lines[i];
        EXPECT_EQ(f[0], kSubmit[i].number) << "number and type of address";
        EXPECT_EQ(f[1], kSubmit[i].ucs2 ? "Unicode_No_Compression" : "Default_No_Compression") << kSubmit[i].text;
        EXPECT_EQ(f[2], Hex(kSubmit[i].text)) << kSubmit[i].text;
    }
}

TEST(SmsOracle, GammuDeliverPdusDecode) {
    std::ifstream file(VANTOR_SOURCE_DIR "/tests/native/oracle/gammu_deliver.tsv");
    ASSERT_TRUE(file.is_open());
    std::string line;
    std::getline(file, line);  // column names
    std::vector<std::vector<std::string>> rows;
    while (std::getline(file, line))
        if (!line.empty()) rows.push_back(Split(line));
    ASSERT_GE(rows.size(), 6u);
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 3u);
        const auto d = DecodeEntry(PduEntry(r[2]));
        EXPECT_EQ(Utf8(d.Header()), "<1>24年03月05日07:08:09来自:" + StripPlus(r[0]) + "的消息") << r[1];
        EXPECT_EQ(d.Body(), Gbk(r[1])) << r[1];
    }
    if (!GammuAvailable()) GTEST_SKIP() << "python3-gammu not importable: committed values only";
    // The committed PDUs are what gammu makes of the same messages.
    std::vector<std::string> args;
    for (const auto& r : rows) args.push_back(r[0] + ":" + Hex(r[1]));
    const auto lines = RunOracle("encode-deliver", args);
    ASSERT_EQ(lines.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(lines[i], rows[i][2]) << rows[i][1];
}

// The first 255 bytes of a GBK text, never half a character.
std::string CutGbk(const std::string& s) {
    std::size_t k = 0;
    while (k < s.size()) {
        const std::size_t w = static_cast<unsigned char>(s[k]) >= 0x81 ? 2 : 1;
        if (k + w > 255) break;
        k += w;
    }
    return s.substr(0, k);
}

TEST(SmsOracle, RecordedDeliverPdus) {
    std::ifstream file(VANTOR_SHARED_DIR "/modem-captures/pdu-vectors.tsv");
    ASSERT_TRUE(file.is_open());
    std::string line;
    std::getline(file, line);
    int rows = 0;
    while (std::getline(file, line)) {
        const auto f = Split(line);
        if (f.size() < 5) continue;
        ++rows;
        const std::string& pdu = f[0];
        const std::string& ts = f[2];  // 2002-08-26T19:37:41-01:00
        const auto d = DecodeEntry(PduEntry(pdu, 3));
        if (f[4] == "04") {
            EXPECT_EQ(Utf8(d.text), "<3>" + kNotice) << pdu;
            continue;
        }
        const std::string expected = CutGbk(
            Gbk("<3>" + ts.substr(2, 2) + "年" + ts.substr(5, 2) + "月" + ts.substr(8, 2) + "日" +
                ts.substr(11, 8) + "来自:" + StripPlus(f[1]) + "的消息@" + modem::Unescape(f[3])));
        EXPECT_EQ(Utf8(d.text), Utf8(expected)) << pdu;
    }
    EXPECT_EQ(rows, 19);
}

}  // namespace
