#include "Convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "Arguments.h"
#include "ConsolePanel.h"
#include "DataStreams.h"
#include "Platform.h"
#include "buffer/FileType.h"
#include "buffer/HexText.h"
#include "devices/DeviceCatalogue.h"
#include "devices/FileCommands.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

namespace {

// A conversion never reaches the programmer.
const D2XXBackend kNoBackend{"none",  nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr};

std::optional<int> ParseFormat(std::string_view name) {
    if (name == "binary") return BinaryFileType;
    if (name == "intel") return IntelHexFileType;
    if (name == "motorola") return MotorolaHexFileType;
    if (name == "ascii") return AsciiHexFileType;
    return std::nullopt;
}

// A 20-bit address in hexadecimal, with or without "0x".
std::optional<std::int32_t> ParseHexAddress(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 5) return std::nullopt;
    std::int32_t value = 0;
    for (char c : text) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0) return std::nullopt;
        value = value * 16 + d;
    }
    return value;
}

int Usage(const std::string& problem) {
    Complain(stderr, "convert: " + problem);
    Complain(stderr, "usage: velmar-cli convert [--from FMT] [--to FMT] [--device NAME | --limit "
                     "HEX] [--offset HEX] [--buffer-start HEX] [--end HEX] [--fold] IN OUT");
    return 2;
}

struct ConvertOptions {
    std::optional<int> from, to;
    std::optional<std::string> device;
    std::optional<std::int32_t> limit, offset, bufferStart, end;
    bool fold = false;
    std::vector<std::string> files;
};

} // namespace

std::string ConvertHelpText() {
    return "usage: velmar-cli [-q|-v] convert [--from FMT] [--to FMT]\n"
           "                          [--device NAME | --limit HEX]\n"
           "                          [--offset HEX] [--buffer-start HEX] [--end HEX]\n"
           "                          [--fold] IN OUT\n"
           "\n"
           "Loads IN into a buffer of 65,536 zero bytes and writes OUT, with the same\n"
           "reader and writer as the window's Load Buffer and Save Buffer.\n"
           "\n"
           "  --from, --to FMT    binary, intel, motorola or ascii; by default from the\n"
           "                      file's extension (.bin .hex .ihx .s19 .s28 .s37 .srec\n"
           "                      .mot); an IN that has none of these (or is -) is\n"
           "                      judged by its contents, and -v says what was found\n"
           "  IN, OUT             a file, or - for standard input / standard output\n"
           "  --device NAME       a device caption such as 8741A, 87C51H or 89S8252\n"
           "                      (case-insensitive); sets the fold mask and the end\n"
           "  --limit HEX         fold mask of hex record addresses (DeviceLimit);\n"
           "                      default the device's, 0xFFFFF without a device\n"
           "  --offset HEX        added to Intel and Motorola record addresses (Hex Offset)\n"
           "  --buffer-start HEX  buffer position of the first byte of a binary IN\n"
           "  --end HEX           last buffer position written (DeviceEnd); default the\n"
           "                      device's last address, else the highest address IN\n"
           "                      stored; never beyond 0xFFFF\n"
           "  --fold              with --device: write a binary IN longer than the\n"
           "                      device cut at the device's end instead of refusing it\n"
           "\n"
           "Hex records beyond the device's end are folded onto lower addresses, as the\n"
           "window folds them, and a line on stderr says how many bytes were.\n"
           "HEX values are up to five hexadecimal digits, with or without 0x.\n"
           "Exit status: 0 done; 1 IN is malformed, holds no data, is a binary file\n"
           "longer than the device (without --fold or --end), or has records with a\n"
           "wrong checksum (OUT is still written then); 2 bad arguments or a file\n"
           "that cannot be read or written.\n";
}

int RunConvert(const std::vector<std::string>& args, int verbosity) {
    ConvertOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i];
        if (word == "--help" || word == "-h") {
            std::fputs(ConvertHelpText().c_str(), stdout);
            return 0;
        }
        if (word == "-q" || word == "-v" || word == "-vv") {
            verbosity = word == "-q" ? -1 : static_cast<int>(word.size()) - 1;
            continue;
        }
        if (word.rfind("--", 0) != 0 || word == "--") {
            o.files.push_back(word);
            continue;
        }
        if (word == "--fold") {
            o.fold = true;
            continue;
        }
        std::string value;
        if (const auto eq = word.find('='); eq != std::string::npos) {
            value = word.substr(eq + 1);
            word = word.substr(0, eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Usage(word + " needs a value");
        }
        if (word == "--from" || word == "--to") {
            const auto format = ParseFormat(value);
            if (!format) return Usage("unknown format '" + value + "'");
            (word == "--from" ? o.from : o.to) = format;
        } else if (word == "--device") {
            o.device = value;
        } else if (word == "--limit" || word == "--offset" || word == "--buffer-start" ||
                   word == "--end") {
            const auto number = ParseHexAddress(value);
            if (!number) return Usage("'" + value + "' is not a hexadecimal address for " + word);
            (word == "--limit"          ? o.limit
             : word == "--offset"       ? o.offset
             : word == "--buffer-start" ? o.bufferStart
                                        : o.end) = number;
        } else {
            return Usage("unknown option " + word);
        }
    }
    if (o.device && o.limit) return Usage("--device and --limit exclude each other");
    if (o.files.size() != 2) return Usage("expected IN and OUT");
    // OUT's format from --to or its extension; IN's from --from, its
    // extension or, failing both, its contents.
    if (!o.to && o.files[1] != "-") o.to = FileTypeFromExtension(o.files[1]);
    if (!o.to) return Usage("--to is required when OUT's extension does not tell the format");

    ProgramState state(kNoBackend);
    // Standard output may carry OUT: everything else goes to stderr.
    ConsolePanel panel(stderr, stderr, false);
    panel.SetVerbosity(verbosity);
    state.Panel.Attach(&panel);

    const bool fromStdin = o.files[0] == "-";
    const std::string in = fromStdin ? "standard input" : o.files[0];
    std::string how = "from --from";
    if (!o.from && !fromStdin) {
        o.from = FileTypeFromExtension(in);
        how = "from the extension";
    }
    std::string bytes;
    std::FILE* stream = nullptr;
    if (fromStdin || !o.from) {
        std::FILE* source = fromStdin ? stdin : std::fopen(in.c_str(), "rb");
        std::string error = source ? "" : std::strerror(errno);
        const bool read = source != nullptr && ReadWholeStream(source, bytes, error);
        if (source != nullptr && !fromStdin) std::fclose(source);
        if (!read) {
            Complain(stderr, "cannot read " + in + ": " + error);
            return 2;
        }
        if (!o.from) {
            o.from = DetectFormat(bytes);
            how = "detected from its contents";
        }
        if (bytes.empty()) {
            Complain(stderr, in + " holds no data; nothing written");
            return 1;
        }
        stream = platform::OpenMemoryStream(bytes);
        if (stream == nullptr) {
            Complain(stderr, "cannot read " + in + ": " + std::strerror(errno));
            return 2;
        }
    }
    panel.Detail("IN: " + in + ", " + FormatDescription(*o.from) + " (" + how + ")");
    panel.Detail(std::string("OUT: ") + (o.files[1] == "-" ? "standard output" : o.files[1]) +
                 ", " + FormatDescription(*o.to));

    AddressWindow& w = state.Window;
    if (o.device) {
        const auto row = FindCatalogueRow(*o.device);
        if (!row) return Usage("unknown device '" + *o.device + "'");
        const CatalogueRow& r = DeviceCatalogue()[static_cast<std::size_t>(*row)];
        w.DeviceEnd = r.DeviceEnd;
        w.DeviceLimit = r.DeviceLimit();
    } else {
        // No device: nothing lies beyond an end, and the output ends where
        // the input's data do.
        w.DeviceLimit = o.limit.value_or(0xFFFFF);
        w.DeviceEnd = w.DeviceLimit;
    }
    if (o.end) w.DeviceEnd = *o.end;
    w.DeviceStart = 0;
    w.HexOffset = o.offset.value_or(0);
    w.BufferStart = o.bufferStart.value_or(0);

    state.FileType = *o.from;
    bool fileError = false;
    LoadFacts facts;
    panel.BeginLoad(in);
    const bool loaded = stream ? LoadDataStream(state, in, stream, &fileError, &facts)
                               : LoadDataFile(state, in, &fileError, &facts);
    panel.EndLoad();
    if (stream != nullptr) std::fclose(stream);
    if (!loaded) return fileError ? 2 : 1;
    if (facts.dataBytes == 0) {
        Complain(stderr, in + " holds no data; nothing written");
        return 1;
    }
    // A binary file longer than the device asked for is not cut silently;
    // hex records beyond it were folded as the window folds them, and the
    // loader's warning said so.
    if (facts.beyondBytes > 0 && *o.from == BinaryFileType && o.device && !o.end && !o.fold) {
        Complain(stderr, in + " is " + std::to_string(facts.dataBytes) +
                             " bytes, longer than the " + *o.device + " (" +
                             std::to_string(w.DeviceEnd - w.DeviceStart + 1) +
                             "); nothing written (--fold or --end says where to cut)");
        return 1;
    }
    // Without an end asked for, the output ends at the input's last byte;
    // not even an Intel record runs past it.
    const bool endFromData = !o.device && !o.end;
    if (endFromData) w.DeviceEnd = std::max(facts.highestPosition, 0);

    state.FileType = *o.to;
    if (o.files[1] == "-") {
        if (!WriteImage(stdout, state, endFromData)) {
            Complain(stderr, std::string("cannot write standard output: ") + std::strerror(errno));
            return 2;
        }
    } else if (!SaveDataFile(state, o.files[1], endFromData)) {
        return 2;
    }
    return facts.badChecksumRecords > 0 ? 1 : 0;
}

} // namespace velmar::cli
