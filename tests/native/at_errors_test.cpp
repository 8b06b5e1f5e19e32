// Meanings of +CMS ERROR / +CME ERROR codes and the trace lines they give.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diag/at_errors.h"
#include "os/virt/virt.h"

namespace {

using vantor::AnnotateAnswerLine;

std::string Annotate(const std::string& line, std::size_t size = 160) {
    std::vector<char> out(size, 'Z');
    const std::size_t n = AnnotateAnswerLine(line.data(), line.size(), out.data(), out.size());
    EXPECT_EQ(std::strlen(out.data()), n) << line;
    return std::string(out.data(), n);
}

TEST(AtErrors, AnnotatesNumericErrorLines) {
    struct Case {
        const char* line;
        const char* annotated;
    };
    const Case cases[] = {
        {"+CMS ERROR: 512", "+CMS ERROR: 512 (user abort)"},
        {"+CMS ERROR: 500", "+CMS ERROR: 500 (unknown error)"},
        {"+CMS ERROR: 304", "+CMS ERROR: 304 (invalid PDU mode parameter)"},
        {"+CMS ERROR: 330", "+CMS ERROR: 330 (SMSC address unknown)"},
        {"+CMS ERROR: 42", "+CMS ERROR: 42 (congestion)"},
        {"+CMS ERROR: 1", "+CMS ERROR: 1 (unassigned (unallocated) number)"},
        {"+CMS ERROR: 197", "+CMS ERROR: 197 (SM rejected, duplicate SM)"},
        {"+CMS ERROR:321", "+CMS ERROR:321 (invalid memory index)"},
        {"+CMS ERROR:  322 ", "+CMS ERROR:  322  (memory full)"},
        // The same number means different things in the two tables.
        {"+CME ERROR: 10", "+CME ERROR: 10 (SIM not inserted)"},
        {"+CMS ERROR: 10", "+CMS ERROR: 10 (call barred)"},
        {"+CME ERROR: 0", "+CME ERROR: 0 (phone failure)"},
        {"+CME ERROR: 259", "+CME ERROR: 259 (user abort)"},
        {"+CME ERROR: 262", "+CME ERROR: 262 (SIM blocked)"},
        // Left as they are: codes without a listed meaning, verbose texts
        // (AT+CMEE=2), other answers and malformed numbers.
        {"+CMS ERROR: 513", "+CMS ERROR: 513"},
        {"+CMS ERROR: 0", "+CMS ERROR: 0"},
        {"+CME ERROR: 9", "+CME ERROR: 9"},
        {"+CME ERROR: SIM not inserted", "+CME ERROR: SIM not inserted"},
        {"+CMS ERROR: ", "+CMS ERROR: "},
        {"+CMS ERROR: 5120000512", "+CMS ERROR: 5120000512"},
        {"+CMS ERROR: 512x", "+CMS ERROR: 512x"},
        {"+CMS ERROR: -1", "+CMS ERROR: -1"},
        {"ERROR", "ERROR"},
        {"+CMGS: 12", "+CMGS: 12"},
        {"x+CMS ERROR: 512", "x+CMS ERROR: 512"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Annotate(c.line), c.annotated) << c.line;
}

TEST(AtErrors, OutputThatDoesNotFitIsCutWithoutHalfAnAnnotation) {
    EXPECT_EQ(Annotate("+CMS ERROR: 512", 28), "+CMS ERROR: 512");     // 1 byte short
    EXPECT_EQ(Annotate("+CMS ERROR: 512", 29), "+CMS ERROR: 512 (user abort)");
    EXPECT_EQ(Annotate("+CMS ERROR: 512", 8), "+CMS ER");              // the line itself cut
    EXPECT_EQ(AnnotateAnswerLine("x", 1, nullptr, 4), 0u);
    char out[4] = "abc";
    EXPECT_EQ(AnnotateAnswerLine(nullptr, 5, out, sizeof out), 0u);
    EXPECT_STREQ(out, "");
}

TEST(AtErrors, TracesOneLinePerErrorInAnAnswer) {
    os::virt::Reset();
    const std::string answer =
        "AT+CMGS=23\r\r\n> 0011\x1a\r\n+CMS ERROR: 512\r\n"
        "\r\n+CME ERROR: 11\r\n+CMS ERROR: 999\r\n+CMS ERROR: 500";  // the last line unterminated
    vantor::TraceErrorMeanings(reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size());
    EXPECT_EQ(os::virt::TraceLines(),
              (std::vector<std::string>{"+CMS ERROR: 512 (user abort)\n", "+CME ERROR: 11 (SIM PIN required)\n",
                                        "+CMS ERROR: 500 (unknown error)\n"}));
    os::virt::Reset();
    const std::string plain = "AT\r\r\nOK\r\nERROR\r\n";
    vantor::TraceErrorMeanings(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size());
    EXPECT_TRUE(os::virt::TraceLines().empty());
}

}  // namespace
