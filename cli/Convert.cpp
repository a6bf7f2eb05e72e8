#include "Convert.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "buffer/FileType.h"
#include "devices/DeviceCatalogue.h"
#include "devices/FileCommands.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

namespace {

// A conversion never reaches the programmer.
const D2XXBackend kNoBackend{"none",  nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr};

// The window's sentences and boxes, one line each on stderr.
class ConvertPanel : public SilentPanel {
  public:
    void SetCaption(Control control, std::string_view text) override {
        if (control == Control::Banner)
            std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    bool ShowMessage(BoxKind kind, std::string_view text, std::optional<ScreenPoint>) override {
        const char* label = kind == BoxKind::Error     ? "error: "
                            : kind == BoxKind::Warning ? "warning: "
                                                       : "";
        std::fprintf(stderr, "%s%.*s\n", label, static_cast<int>(text.size()), text.data());
        return false;
    }
};

std::optional<int> ParseFormat(std::string_view name) {
    if (name == "binary") return BinaryFileType;
    if (name == "intel") return IntelHexFileType;
    if (name == "motorola") return MotorolaHexFileType;
    if (name == "ascii") return AsciiHexFileType;
    return std::nullopt;
}

// A 20-bit address in hexadecimal, with or without "0x".
std::optional<std::int32_t> ParseAddress(std::string_view text) {
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
    std::fprintf(stderr, "velmar-cli convert: %s\n", problem.c_str());
    std::fprintf(
        stderr,
        "usage: velmar-cli convert --from FMT --to FMT [--device NAME | --limit HEX]\n"
        "                          [--offset HEX] [--buffer-start HEX] [--end HEX] IN OUT\n");
    return 2;
}

struct ConvertOptions {
    std::optional<int> from, to;
    std::optional<std::string> device;
    std::optional<std::int32_t> limit, offset, bufferStart, end;
    std::vector<std::string> files;
};

} // namespace

std::string ConvertHelpText() {
    return "usage: velmar-cli convert --from FMT --to FMT [--device NAME | --limit HEX]\n"
           "                          [--offset HEX] [--buffer-start HEX] [--end HEX] IN OUT\n"
           "\n"
           "Loads IN into a buffer of 65,536 zero bytes and writes OUT, with the same\n"
           "reader and writer as the window's Load Buffer and Save Buffer.\n"
           "\n"
           "  --from, --to FMT    binary, intel, motorola or ascii\n"
           "  --device NAME       a device caption such as 8741A, 87C51H or 89S8252\n"
           "                      (case-insensitive); sets the fold mask and the end\n"
           "  --limit HEX         fold mask of hex record addresses (DeviceLimit);\n"
           "                      default the device's, 0xFFFFF without a device\n"
           "  --offset HEX        added to Intel and Motorola record addresses (Hex Offset)\n"
           "  --buffer-start HEX  buffer position of the first byte of a binary IN\n"
           "  --end HEX           last buffer position written (DeviceEnd); default the\n"
           "                      device's last address, else --limit, else 0xFFFF;\n"
           "                      never beyond 0xFFFF\n"
           "\n"
           "HEX values are up to five hexadecimal digits, with or without 0x.\n"
           "Exit status: 0 done; 1 IN is malformed or has records with a wrong\n"
           "checksum (OUT is still written then); 2 bad arguments or a file that\n"
           "cannot be read or written.\n";
}

int RunConvert(const std::vector<std::string>& args) {
    ConvertOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i];
        if (word == "--help" || word == "-h") {
            std::fputs(ConvertHelpText().c_str(), stdout);
            return 0;
        }
        if (word.rfind("--", 0) != 0 || word == "--") {
            o.files.push_back(word);
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
            const auto number = ParseAddress(value);
            if (!number) return Usage("'" + value + "' is not a hexadecimal address for " + word);
            (word == "--limit"          ? o.limit
             : word == "--offset"       ? o.offset
             : word == "--buffer-start" ? o.bufferStart
                                        : o.end) = number;
        } else {
            return Usage("unknown option " + word);
        }
    }
    if (!o.from || !o.to) return Usage("--from and --to are required");
    if (o.device && o.limit) return Usage("--device and --limit exclude each other");
    if (o.files.size() != 2) return Usage("expected IN and OUT");

    ProgramState state(kNoBackend);
    ConvertPanel panel;
    state.Panel.Attach(&panel);

    AddressWindow& w = state.Window;
    if (o.device) {
        const auto row = FindCatalogueRow(*o.device);
        if (!row) return Usage("unknown device '" + *o.device + "'");
        const CatalogueRow& r = DeviceCatalogue()[static_cast<std::size_t>(*row)];
        w.DeviceEnd = r.DeviceEnd;
        w.DeviceLimit = r.Family == 6 ? 0x3FFF : r.DeviceEnd;
    } else {
        w.DeviceLimit = o.limit.value_or(0xFFFFF);
        w.DeviceEnd = std::min(w.DeviceLimit, kBufferSize - 1);
    }
    if (o.end) w.DeviceEnd = *o.end;
    w.DeviceStart = 0;
    w.HexOffset = o.offset.value_or(0);
    w.BufferStart = o.bufferStart.value_or(0);

    state.FileType = *o.from;
    bool fileError = false;
    if (!LoadDataFile(state, o.files[0], &fileError)) return fileError ? 2 : 1;
    const int loadFail = state.FailFlag;

    state.FileType = *o.to;
    if (!SaveDataFile(state, o.files[1])) return 2;
    return loadFail != 0 ? 1 : 0;
}

} // namespace velmar::cli
