// Running the independent codec (tests/native/oracle/gammu_oracle.py,
// through python-gammu) from the native tests, and splitting its lines.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace vantor::test {

inline constexpr char kGammuOracle[] = VANTOR_SOURCE_DIR "/tests/native/oracle/gammu_oracle.py";

inline bool GammuAvailable() {
    return std::system("/usr/bin/python3 -c 'import gammu' >/dev/null 2>&1") == 0;
}

// Runs the oracle and returns its output lines.
inline std::vector<std::string> RunOracle(const std::string& mode, const std::vector<std::string>& args) {
    std::string command = std::string("/usr/bin/python3 ") + kGammuOracle + " " + mode;
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

inline std::vector<std::string> Split(const std::string& line, char sep = '\t') {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, sep)) fields.push_back(field);
    if (!line.empty() && line.back() == sep) fields.push_back("");
    return fields;
}

}  // namespace vantor::test
