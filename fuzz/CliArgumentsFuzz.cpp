// libFuzzer target for the velmar-cli command line: the input is the list of
// words, separated by NUL bytes. A line that parses must describe something
// runnable (a catalogue row, a lock bit, a format, an address in range), and
// the --virtual text goes through the virtual programmer's option parser.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "cli/Arguments.h"
#include "devices/DeviceCatalogue.h"
#include "virtual/VirtualOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back().push_back(static_cast<char>(data[i]));
    }
    if (size == 0) words.clear();

    using velmar::cli::Command;
    using velmar::cli::Operation;
    const velmar::cli::ParseResult r = velmar::cli::ParseArguments(words);
    if (r.error.empty()) {
        const velmar::cli::Arguments& a = r.arguments;
        if (a.command == Command::Device) {
            if (a.catalogueRow < 0 ||
                a.catalogueRow >= static_cast<int>(velmar::DeviceCatalogue().size()))
                std::abort();
            if (a.operation == Operation::Lock && (a.lockBit < 1 || a.lockBit > 3)) std::abort();
            if (a.fileType && (*a.fileType < 0 || *a.fileType > 3)) std::abort();
            if (a.bufferStart && (*a.bufferStart < 0 || *a.bufferStart > 0xFFFFF)) std::abort();
            const bool needsFile =
                a.operation == Operation::Read || a.operation == Operation::Verify ||
                a.operation == Operation::Compare || a.operation == Operation::Program;
            if (needsFile && a.dataPath.empty()) std::abort();
        }
        if (a.command == Command::Firmware && a.firmwarePath.empty()) std::abort();
        if (a.command == Command::Convert) {
            const velmar::cli::ConvertArguments& c = a.convert;
            if (!c.to || *c.to < 0 || *c.to > 3) std::abort();
            if (c.from && (*c.from < 0 || *c.from > 3)) std::abort();
            if (c.device && (c.catalogueRow < 0 ||
                             c.catalogueRow >= static_cast<int>(velmar::DeviceCatalogue().size())))
                std::abort();
            if (c.device && c.limit) std::abort();
        }
        if (a.useVirtual) {
            velmar::VirtualOptions options;
            std::string error;
            if (!velmar::ParseVirtualOptions(a.virtualOptions, options, error) && error.empty())
                std::abort();
        }
    }
    for (const std::string& word : words) {
        velmar::FileTypeFromExtension(word);
        if (const auto address = velmar::cli::ParseAddress(word))
            if (*address < 0 || *address > 0xFFFFF) std::abort();
    }
    return 0;
}
