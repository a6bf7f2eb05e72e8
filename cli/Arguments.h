#pragma once
// The command line of velmar-cli, parsed into one plain record. Parsing never
// touches a file or the programmer; it only says what was asked for.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ProductionArguments.h"

namespace velmar::cli {

enum class Command { Help, Version, Convert, Probe, Firmware, Device, List, Doctor, Job };

// Auto: a bar redrawn in place when stderr is a terminal, else nothing.
enum class ProgressMode { Auto, Lines, None };

enum class Operation { Read, Verify, Blank, Compare, Program, Erase, Lock };

// convert IN OUT, formats as FileType (0 binary .. 3 ASCII hex).
struct ConvertArguments {
    std::optional<int> from; // none: told by IN's contents
    bool fromGiven = false;  // `from` came from --from, not IN's extension
    std::optional<int> to;
    std::optional<std::string> device; // as typed
    int catalogueRow = -1;
    std::optional<std::int32_t> limit, offset, bufferStart, end;
    bool fold = false;
    std::optional<std::uint8_t> fill; // the buffer's value before the load (default 00)
    bool skipBadLines = false;        // write what loaded despite skipped lines
    std::string in, out;              // "-": standard input, standard output
    bool json = false;
};

struct Arguments {
    Command command = Command::Help;
    bool useVirtual = false;
    std::string virtualOptions;           // the text after --virtual=
    std::string tracePath;                // empty: no trace
    ConvertArguments convert;

    std::string firmwarePath;

    std::string deviceName;
    int catalogueRow = -1;
    std::optional<int> fileType; // 0 binary, 1 Intel, 2 Motorola, 3 ASCII hex
    bool formatGiven = false;    // fileType came from --format
    std::optional<std::int32_t> bufferStart;
    std::optional<std::int32_t> hexOffset; // --offset: added to hex record addresses
    bool fold = false;                // load data past the device's end folded
    std::optional<std::uint8_t> fill; // buffer value before the load (default erased)
    Operation operation = Operation::Read;
    int lockBit = 0; // 1..3
    std::string dataPath;

    int verbosity = 0;            // -1 -q, 0, 1 -v, 2 -vv
    std::optional<long> maxDiffs; // difference lines printed; none: by the terminal
    bool hash = false;            // --hash: identity of the buffer range
    ProgressMode progress = ProgressMode::Auto;
    int passes = 1;     // read --passes N
    std::string serial; // --serial SN: the programmer to use
    ProductionArguments production;
};

struct ParseResult {
    Arguments arguments;
    std::string error; // empty when the line was understood
    std::string hint;  // the line printed after the error
};

// -q, -v and -vv may come first, before any command, convert too.
ParseResult ParseArguments(const std::vector<std::string>& args);

// Every address option: one to five hexadecimal digits, optionally after
// "0x": 0 to 0xFFFFF.
std::optional<std::int32_t> ParseAddress(const std::string& text);

} // namespace velmar::cli
