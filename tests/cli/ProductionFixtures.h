#pragma once
// What the production-line run tests share: the image they program, the
// serial state and the JSON-lines log they read back.

#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliRunner.h"

namespace velmar::clitest {

// The image: 256 bytes at 0000; the serial numbers go to 0FF0, erased.
inline std::string WriteImage(const ScratchDir& dir, const std::string& name = "image.bin") {
    Bytes image(256);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7 + 1);
    WriteBytes(dir.Path(name), image);
    return dir.Path(name);
}

inline nlohmann::json State(const std::string& path) {
    std::ifstream in(path);
    return nlohmann::json::parse(in);
}

inline std::vector<nlohmann::json> JsonLines(const std::string& path) {
    std::vector<nlohmann::json> lines;
    for (const std::string& line : ReadLines(path))
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

} // namespace velmar::clitest
