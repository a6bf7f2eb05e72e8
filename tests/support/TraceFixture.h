#pragma once
// A reference packet trace of tests/fixtures/traces: one line per packet, as
// the virtual programmer's trace writes it.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace velmar::test {

inline std::vector<std::string> TraceFixture(const std::string& name) {
    std::ifstream in(std::string(VELMAR_FIXTURES) + "/traces/" + name);
    EXPECT_TRUE(in.good()) << name;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

} // namespace velmar::test
