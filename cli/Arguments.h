#pragma once
// The command line of velmar-cli, parsed into one plain record. Parsing never
// touches a file or the programmer; it only says what was asked for.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "OptionTable.h"
#include "ProductionArguments.h"
#include "SumReportArguments.h"
#include "buffer/DataFormats.h"

namespace velmar::cli {

enum class Command {
    Help,
    Version,
    Convert,
    Probe,
    Firmware,
    Device,
    List,
    Doctor,
    Disasm,
    Job,
    Sum,
    Report,
};

// Auto: a bar redrawn in place when stderr is a terminal, else nothing.
enum class ProgressMode { Auto, Lines, None };

enum class Operation { Read, Verify, Blank, Compare, Program, Erase, Lock };

// convert IN OUT.
struct ConvertArguments {
    std::optional<FileType> from; // none: told by IN's contents
    bool fromGiven = false;       // `from` came from --from, not IN's extension
    std::optional<FileType> to;
    std::optional<std::string> device; // as typed
    int catalogueRow = -1;
    std::optional<std::int32_t> limit, offset, bufferStart, end;
    bool fold = false;
    std::optional<std::uint8_t> fill; // the buffer's value before the load (default 00)
    bool skipBadLines = false;        // write what loaded despite skipped lines
    std::string in, out;              // "-": standard input, standard output
    bool json = false;
};

// disasm: the instruction set (none: the device's) and the range listed.
struct DisasmArguments {
    bool mcs48 = false;    // --cpu 8048 (or an 874X part)
    bool cpuGiven = false; // --cpu named the set; the file is read as for a part of it
    bool read = false;     // --read: list the part in the socket, not a file
    std::optional<std::int32_t> from, to;
};

struct Arguments {
    Command command = Command::Help;
    bool useVirtual = false;
    std::string virtualOptions;           // the text after --virtual=
    std::string tracePath;                // empty: no trace
    ConvertArguments convert;
    DisasmArguments disasm;

    std::string firmwarePath;

    std::string deviceName;
    int catalogueRow = -1;
    std::optional<FileType> fileType;
    bool formatGiven = false; // fileType came from --format
    std::optional<std::int32_t> bufferStart;
    std::optional<std::int32_t> hexOffset; // --offset: added to hex record addresses
    bool fold = false;                // load data past the device's end folded
    std::optional<std::uint8_t> fill; // buffer value before the load (default erased)
    Operation operation = Operation::Read;
    int lockBit = 0; // 1..3
    std::string dataPath;
    // job run: the image's bytes as read once and pinned; loaded instead of
    // dataPath, so that a file replaced after the check is not programmed.
    std::shared_ptr<const std::string> imageBytes;

    int verbosity = 0;            // -1 -q, 0, 1 -v, 2 -vv
    std::optional<long> maxDiffs; // difference lines printed; none: by the terminal
    bool hash = false;            // --hash: identity of the buffer range
    ProgressMode progress = ProgressMode::Auto;
    bool precheck = false;    // program --precheck: refuse a part that cannot take FILE
    bool changedOnly = false; // program --changed-only: only the blocks that differ
    bool strict = false;      // program --strict: a warning about FILE ends the run
    int passes = 1;     // read --passes N
    std::string serial; // --serial SN: the programmer to use
    ProductionArguments production;
    SumArguments sum;
    LogReportArguments logReport;
};

struct ParseResult {
    Arguments arguments;
    std::string error; // empty when the line was understood
    std::string hint;  // the line printed after the error
};

// -q, -v and -vv may come first, before any command, convert too.
ParseResult ParseArguments(const std::vector<std::string>& args);

// The words after "convert", from `next` on. Here every word that does not
// start with "--" is a file, and a later -q or -v overrides an earlier one.
void ParseConvert(const std::vector<std::string>& args, std::size_t next, ParseResult& result);

// The options convert takes and the kind of value each takes, as
// ParseConvert reads them.
std::vector<std::pair<std::string, OptionValue>> ConvertOptionKinds();

// The rest of a disasm line: its words (the verb first) and the values of
// --format, --cpu, --from and --to; --device, --fold and --read are in
// `result` already.
void ParseDisasm(const std::vector<std::string>& words, const std::string& format,
                 const std::string& cpu, const std::string& from, const std::string& to,
                 ParseResult& result);

// The data file's format: the one --format names when it was given (an
// unknown name is an error, and false returned), else the one FILE's
// extension names, if any.
bool TakeFormat(bool given, const std::string& name, Arguments& a, std::string& error);

// Every address option: one to five hexadecimal digits, optionally after
// "0x": 0 to 0xFFFFF.
std::optional<std::int32_t> ParseAddress(const std::string& text);

// The highest hex offset and buffer start, on the command line and in a job.
// The offset is added to record addresses within 20 bits, as the window's Hex
// Offset is: D0000 brings a file linked at 30000 down to 0. A buffer start
// past the 64 KiB buffer could only drop data.
constexpr std::int32_t kHighestHexOffset = 0xFFFFF;
constexpr std::int32_t kHighestBufferStart = 0xFFFF;

} // namespace velmar::cli
