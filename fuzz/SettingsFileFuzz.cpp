// libFuzzer target for the settings file reader: the input is the file.
// Whatever it holds, at most 19 lines of bounded length come back, and the
// values taken from them survive a write and a second read unchanged.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "ui/SettingsFile.h"

namespace {

std::vector<std::string> Read(const std::string& text) {
    std::istringstream in(text);
    return velmar::ReadSettingsStream(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = Read(file);
    if (lines.size() > static_cast<std::size_t>(velmar::kSettingsLinesRead)) std::abort();
    for (const std::string& line : lines) {
        if (line.size() > velmar::kSettingsLineLimit) std::abort();
        if (line.find_first_of("\r\n") != std::string::npos) std::abort();
        // A number read is the number written.
        if (const auto value = velmar::ParseDecimal(line))
            if (velmar::ParseDecimal(std::to_string(*value)) != value) std::abort();
    }

    const velmar::StoredSettings first = velmar::InterpretSettingsLines(lines);
    const std::string written = velmar::FormatSettings(first);
    const std::vector<std::string> back = Read(written);
    if (back.size() != static_cast<std::size_t>(velmar::kSettingsLinesWritten)) std::abort();
    const velmar::StoredSettings second = velmar::InterpretSettingsLines(back);
    if (velmar::FormatSettings(second) != written) std::abort();
    // The name is kept unless it cannot be written as one line.
    if (second.LastFile != first.LastFile &&
        !(second.LastFile.empty() && (first.LastFile.size() > velmar::kSettingsLineLimit ||
                                      first.LastFile.find_first_of("\r\n") != std::string::npos)))
        std::abort();
    return 0;
}
