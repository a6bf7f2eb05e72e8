#include "Arguments.h"

#include <algorithm>
#include <cctype>
#include <tuple>

#include "UsageText.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "buffer/HexText.h"
#include "buffer/TextCase.h"
#include "devices/DeviceCatalogue.h"

namespace velmar::cli {

namespace {

bool StartsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

struct OperationName {
    const char* name;
    Operation operation;
    bool takesFile;
};

constexpr OperationName kOperations[] = {
    {"read", Operation::Read, true},       {"verify", Operation::Verify, true},
    {"blank", Operation::Blank, false},    {"compare", Operation::Compare, true},
    {"program", Operation::Program, true}, {"erase", Operation::Erase, false},
    {"lock", Operation::Lock, false},
};

const OperationName* FindOperation(const std::string& word) {
    for (const auto& op : kOperations)
        if (word == op.name) return &op;
    return nullptr;
}

// Options that take a value accept both "--opt VALUE" and "--opt=VALUE".
class Cursor {
  public:
    explicit Cursor(const std::vector<std::string>& args, std::size_t first = 0)
        : args_(args), next_(first) {}
    bool Done() const { return next_ >= args_.size(); }
    const std::string& Take() { return args_[next_++]; }
    const std::string& Peek() const { return args_[next_]; }
    bool TakeValue(const std::string& option, const std::string& word, std::string& value,
                   std::string& error) {
        if (word.size() > option.size() && word[option.size()] == '=') {
            value = word.substr(option.size() + 1);
            return true;
        }
        if (Done()) {
            error = option + " needs a value";
            return false;
        }
        value = Take();
        return true;
    }

  private:
    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
};

// An empty value would otherwise read as the option not given at all.
bool TakeNonEmpty(Cursor& cursor, const std::string& option, const std::string& word,
                  std::optional<std::string>& value, std::string& error) {
    std::string text;
    if (!cursor.TakeValue(option, word, text, error)) return false;
    if (text.empty()) {
        error = option + " needs a value";
        return false;
    }
    value = text;
    return true;
}

bool IsOption(const std::string& word, const std::string& option) {
    return word == option || StartsWith(word, option + "=");
}

// A decimal count within [low, high].
std::optional<long> ParseCount(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

bool IsVerbosity(const std::string& word) {
    return word == "-q" || word == "-v" || word == "-vv";
}

int VerbosityOf(const std::string& word) {
    return word == "-q" ? -1 : static_cast<int>(word.size()) - 1;
}

// --fill's value: one or two hexadecimal digits.
std::optional<std::uint8_t> ParseFill(const std::string& text) {
    if (text.size() > 2 || StartsWith(Lower(text), "0x")) return std::nullopt;
    const std::optional<std::int32_t> value = ParseAddress(text);
    if (!value) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::string FillProblem(const std::string& text) {
    return "--fill takes one or two hexadecimal digits, not " + text;
}

// The words after "convert", from `next` on. Here every word that does not
// start with "--" is a file, and a later -q or -v overrides an earlier one.
void ParseConvert(const std::vector<std::string>& args, std::size_t next, ParseResult& result) {
    Arguments& a = result.arguments;
    ConvertArguments& c = a.convert;
    a.command = Command::Convert;
    result.hint = ConvertUsageLine();
    const auto fail = [&](const std::string& problem) { result.error = "convert: " + problem; };
    std::vector<std::string> files;
    Cursor cursor(args, next);
    while (!cursor.Done()) {
        const std::string& word = cursor.Take();
        if (word == "--help" || word == "-h") {
            a.command = Command::Help;
            return;
        }
        if (IsVerbosity(word)) {
            a.verbosity = VerbosityOf(word);
            continue;
        }
        if (!StartsWith(word, "--") || word == "--") {
            files.push_back(word);
            continue;
        }
        if (word == "--fold" || word == "--json") {
            (word == "--json" ? c.json : c.fold) = true;
            continue;
        }
        if (word == "--skip-bad-lines") {
            c.skipBadLines = true;
            continue;
        }
        // Every other option takes a value, whether or not it is known.
        const std::string name = word.substr(0, word.find('='));
        std::string value, error;
        if (!cursor.TakeValue(name, word, value, error)) return fail(error);
        if (name == "--from" || name == "--to") {
            const std::optional<int> format = FileTypeFromName(value);
            if (!format) return fail("unknown format '" + value + "'");
            (name == "--from" ? c.from : c.to) = format;
            c.fromGiven = c.fromGiven || name == "--from";
        } else if (name == "--device") {
            c.device = value;
        } else if (name == "--fill") {
            c.fill = ParseFill(value);
            if (!c.fill) return fail(FillProblem(value));
        } else if (name == "--limit" || name == "--offset" || name == "--buffer-start" ||
                   name == "--end") {
            const std::optional<std::int32_t> number = ParseAddress(value);
            if (!number) return fail("'" + value + "' is not a hexadecimal address for " + name);
            // Past the buffer, every byte would be dropped and the output empty.
            if ((name == "--offset" || name == "--buffer-start") && *number >= kBufferSize)
                return fail(name + " takes a hexadecimal address from 0 to FFFF, not " + value);
            (name == "--limit"          ? c.limit
             : name == "--offset"       ? c.offset
             : name == "--buffer-start" ? c.bufferStart
                                        : c.end) = number;
        } else {
            return fail("unknown option " + name);
        }
    }
    if (c.device && c.limit) return fail("--device and --limit exclude each other");
    if (c.json && files.size() == 2 && files[1] == "-")
        return fail("--json takes standard output; OUT cannot be -");
    if (files.size() != 2) return fail("expected IN and OUT");
    c.in = files[0];
    c.out = files[1];
    // OUT's format from --to or its extension; IN's from --from, its
    // extension or, when it is loaded, its contents.
    if (!c.to && c.out != "-") c.to = FileTypeFromExtension(c.out);
    if (!c.to) return fail("--to is required when OUT's extension does not tell the format");
    if (!c.from && c.in != "-") c.from = FileTypeFromExtension(c.in);
    if (c.device) {
        const std::optional<int> row = FindCatalogueRow(*c.device);
        if (!row) return fail("unknown device '" + *c.device + "'");
        c.catalogueRow = *row;
    }
}

} // namespace

std::optional<std::int32_t> ParseAddress(const std::string& text) {
    std::string_view digits = text;
    if (StartsWith(Lower(text), "0x")) digits.remove_prefix(2);
    const std::optional<std::uint32_t> value = ParseHex(digits, 5);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult result;
    Arguments& a = result.arguments;
    std::string& error = result.error;
    result.hint = TryHelpLine();

    std::size_t first = 0;
    while (first < args.size() && IsVerbosity(args[first]))
        a.verbosity = VerbosityOf(args[first++]);
    if (first < args.size() && args[first] == "convert") {
        ParseConvert(args, first + 1, result);
        return result;
    }
    a.verbosity = 0;

    if (args.empty()) {
        error = "no command given";
        return result;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        a.command = Command::Help;
        return result;
    }
    if (args[0] == "--version") {
        a.command = Command::Version;
        return result;
    }

    bool sawUsb = false;
    bool sawVirtual = false;
    bool sawDevice = false;
    std::optional<std::string> format;
    std::optional<std::string> bufferStart;
    std::optional<std::string> hexOffset;
    std::string fill;
    bool sawFill = false;
    bool sawPasses = false;
    std::string cpu, from, to;
    std::string disasmOption; // the first option only disasm takes
    std::vector<std::string> words;

    Cursor cursor(args);
    while (!cursor.Done()) {
        const std::string& word = cursor.Take();
        if (word == "--help" || word == "-h") {
            a.command = Command::Help;
            return result;
        }
        if (word == "--usb") {
            sawUsb = true;
        } else if (IsOption(word, "--virtual")) {
            sawVirtual = true;
            if (word.size() > 9) a.virtualOptions = word.substr(10);
        } else if (IsOption(word, "--trace")) {
            if (!cursor.TakeValue("--trace", word, a.tracePath, error)) return result;
            if (a.tracePath.empty()) error = "--trace needs a file name";
        } else if (IsOption(word, "--device")) {
            if (!cursor.TakeValue("--device", word, a.deviceName, error)) return result;
            sawDevice = true;
        } else if (IsOption(word, "--format")) {
            if (!TakeNonEmpty(cursor, "--format", word, format, error)) return result;
        } else if (IsOption(word, "--buffer-start")) {
            if (!TakeNonEmpty(cursor, "--buffer-start", word, bufferStart, error)) return result;
        } else if (IsOption(word, "--offset")) {
            if (!TakeNonEmpty(cursor, "--offset", word, hexOffset, error)) return result;
        } else if (word == "--fold") {
            a.fold = true;
        } else if (IsVerbosity(word)) {
            const int level = VerbosityOf(word);
            if (a.verbosity != 0 && (a.verbosity < 0) != (level < 0))
                error = "-q and -v exclude each other";
            a.verbosity = level < 0 ? level : std::max(a.verbosity, level);
        } else if (word == "--hash") {
            a.hash = true;
        } else if (word == "--precheck" || word == "--changed-only" || word == "--strict") {
            (word == "--precheck" ? a.precheck
             : word == "--strict" ? a.strict
                                  : a.changedOnly) = true;
        } else if (IsOption(word, "--max-diffs")) {
            std::string value;
            if (!cursor.TakeValue("--max-diffs", word, value, error)) return result;
            const std::optional<long> n = ParseCount(value, 0, 1000000000L);
            if (!n) error = "--max-diffs takes a count, not " + value;
            a.maxDiffs = n;
        } else if (IsOption(word, "--progress")) {
            std::string value;
            if (!cursor.TakeValue("--progress", word, value, error)) return result;
            if (value == "lines")
                a.progress = ProgressMode::Lines;
            else if (value == "none")
                a.progress = ProgressMode::None;
            else if (value == "auto")
                a.progress = ProgressMode::Auto;
            else
                error = "--progress takes lines, none or auto, not " + value;
        } else if (IsOption(word, "--passes")) {
            std::string value;
            if (!cursor.TakeValue("--passes", word, value, error)) return result;
            const std::optional<long> n = ParseCount(value, 2, 9);
            if (!n) error = "--passes takes 2 to 9, not " + value;
            sawPasses = true;
            a.passes = static_cast<int>(n.value_or(1));
        } else if (IsOption(word, "--serial")) {
            if (!cursor.TakeValue("--serial", word, a.serial, error)) return result;
            if (a.serial.empty() || a.serial.size() > 49)
                error = "--serial takes a serial number of 1 to 49 characters";
        } else if (IsOption(word, "--cpu") || IsOption(word, "--from") || IsOption(word, "--to")) {
            const std::string option = word.substr(0, word.find('='));
            std::string& value = option == "--cpu" ? cpu : option == "--from" ? from : to;
            if (!cursor.TakeValue(option, word, value, error)) return result;
            if (disasmOption.empty()) disasmOption = option;
        } else if (word == "--read") {
            a.disasm.read = true;
            if (disasmOption.empty()) disasmOption = word;
        } else if (IsOption(word, "--fill")) {
            if (!cursor.TakeValue("--fill", word, fill, error)) return result;
            sawFill = true;
        } else if (IsProductionFlag(word)) {
            SetProductionFlag(word, a.production);
        } else if (IsProductionValueOption(word.substr(0, word.find('=')))) {
            const std::string name = word.substr(0, word.find('='));
            std::string value;
            if (!cursor.TakeValue(name, word, value, error)) return result;
            error = SetProductionValue(name, value, a.production);
        } else if (IsOption(word, "--repeat")) {
            // --repeat alone: until q or the end of input.
            std::string value = "0";
            if (word.size() > 8)
                value = word.substr(9);
            else if (!cursor.Done() && ParseCount(cursor.Peek(), 1, 1000000))
                value = cursor.Take();
            const std::optional<long> n = ParseCount(value, 0, 1000000);
            if (!n) error = "--repeat takes a count of parts, not " + value;
            a.production.repeat = n;
        } else if (word.size() > 1 && word[0] == '-') {
            // "-" alone is standard input; any other dash word is an option.
            error = "unknown option " + word;
        } else {
            words.push_back(word);
        }
        if (!error.empty()) return result;
    }

    if (sawUsb && sawVirtual) {
        error = "--usb and --virtual exclude each other";
        return result;
    }
    a.useVirtual = sawVirtual;

    // Elsewhere disasm's options are as unknown as they ever were.
    if (!disasmOption.empty() && (words.empty() || words[0] != "disasm")) {
        error = "unknown option " + disasmOption;
        return result;
    }
    if (words.empty()) {
        error = sawDevice ? "no operation given" : "no command given";
        return result;
    }
    if (words[0] == "job") {
        const std::string jobVerb = words.size() > 1 ? words[1] : "";
        a.command = Command::Job;
        if (jobVerb == "new") {
            a.production.job = JobVerb::New;
            // The rest is read as the program command the job will run.
            words.erase(words.begin());
            words[0] = "program";
        } else if (jobVerb == "check" || jobVerb == "run") {
            a.production.job = jobVerb == "run" ? JobVerb::Run : JobVerb::Check;
            if (words.size() != 3 || words[2].empty())
                error = "job " + jobVerb + " needs exactly one JOB file";
            else if (sawDevice || format || bufferStart || hexOffset || sawFill || a.fold ||
                     sawPasses || a.hash || a.precheck || a.changedOnly || a.strict ||
                     a.production.serialRule || !a.production.lockBits.empty())
                error = "job " + jobVerb + " takes the device, the file and its options from JOB";
            else
                error = CheckProductionArguments(a.production, false);
            a.production.jobPath = words.size() > 2 ? words[2] : "";
            return result;
        } else {
            error = "job takes new, check or run";
            return result;
        }
    }
    const std::string& verb = words[0];

    if (verb == "probe" || verb == "firmware" || verb == "list" || verb == "doctor") {
        if (sawDevice || format || bufferStart || hexOffset || sawFill || a.fold || sawPasses ||
            a.hash || a.maxDiffs || a.precheck || a.changedOnly || a.strict) {
            error = verb + " takes no --device, --format or --buffer-start";
            return result;
        }
        if (!(error = CheckProductionArguments(a.production, false)).empty()) return result;
        if (verb == "probe") {
            a.command = Command::Probe;
            if (words.size() != 1) error = "probe takes no file";
        } else if (verb == "doctor") {
            a.command = Command::Doctor;
            // Its findings are lines for a person, on standard output.
            if (words.size() != 1)
                error = "doctor takes no file";
            else if (a.production.json)
                error = "doctor takes no --json; its findings are text";
        } else if (verb == "list") {
            a.command = Command::List;
            if (words.size() != 1)
                error = "list takes no file";
            else if (!a.serial.empty())
                error = "list takes no --serial";
        } else {
            a.command = Command::Firmware;
            // An empty name would only be found missing after the search.
            if (words.size() != 2 || words[1].empty())
                error = "firmware needs exactly one FILE";
            else
                a.firmwarePath = words[1];
        }
        return result;
    }
    if (verb == "disasm") {
        if (bufferStart || sawFill || sawPasses || a.hash || a.maxDiffs || a.precheck ||
            a.changedOnly || a.strict)
            error = "disasm takes no --buffer-start, --fill, --passes, --hash, --max-diffs, "
                    "--precheck, --changed-only or --strict";
        else if (hexOffset)
            error = "--offset goes with program, verify or compare";
        else
            ParseDisasm(words, format.value_or(""), cpu, from, to, result);
        // The listing is text for a person, on standard output.
        if (error.empty() && a.production.json)
            error = "disasm takes no --json; its listing is text";
        else if (error.empty())
            error = CheckProductionArguments(a.production, false);
        return result;
    }
    if (verb == "convert") {
        error = "convert takes no --usb, --virtual or --trace; give it first";
        return result;
    }

    const OperationName* op = FindOperation(verb);
    if (op == nullptr) {
        error = "unknown command " + verb;
        return result;
    }
    if (a.command != Command::Job) a.command = Command::Device;
    a.operation = op->operation;
    if (!sawDevice) {
        error = verb + " needs --device NAME";
        return result;
    }
    const std::optional<int> row = FindCatalogueRow(a.deviceName);
    if (!row) {
        error = "unknown device " + a.deviceName;
        return result;
    }
    a.catalogueRow = *row;
    const FamilyCapabilities& can = DeviceCatalogue()[static_cast<std::size_t>(*row)].Can();

    if (op->operation == Operation::Lock) {
        if (words.size() != 2 || (words[1] != "1" && words[1] != "2" && words[1] != "3")) {
            error = "lock needs the bit number 1, 2 or 3";
            return result;
        }
        a.lockBit = words[1][0] - '0';
        if (can.LockBits == 0) {
            error = "the " + a.deviceName + " has no security bits";
            return result;
        }
    } else if (op->takesFile) {
        if (words.size() != 2 || words[1].empty()) {
            error = verb + " needs exactly one FILE";
            return result;
        }
        a.dataPath = words[1];
    } else if (words.size() != 1) {
        error = verb + " takes no file";
        return result;
    }
    if (!a.production.lockBits.empty() && can.LockBits == 0) {
        error = "the " + a.deviceName + " has no security bits";
        return result;
    }
    if (op->operation == Operation::Erase && !can.CanErase) {
        error = "the " + a.deviceName + " cannot be erased electrically";
        return result;
    }

    if (format) {
        a.formatGiven = true;
        a.fileType = FileTypeFromName(*format);
        if (!a.fileType) {
            error = "unknown format " + *format + " (binary, intel, motorola or ascii)";
            return result;
        }
    } else if (!a.dataPath.empty()) {
        // A data file whose extension does not decide is judged by its
        // contents when it is loaded; a file to be written cannot be.
        a.fileType = FileTypeFromExtension(a.dataPath);
        if (!a.fileType && op->operation == Operation::Read) {
            error = "cannot tell the format to write " + a.dataPath + "; give --format";
            return result;
        }
    }
    if ((a.precheck || a.changedOnly || a.strict) && op->operation != Operation::Program) {
        error = std::string(a.precheck ? "--precheck"
                            : a.strict ? "--strict"
                                       : "--changed-only") +
                " goes with program";
        return result;
    }
    if (a.production.json && op->operation == Operation::Read && a.dataPath == "-") {
        error = "--json takes standard output; read FILE cannot be -";
        return result;
    }
    if (!(error = CheckProductionArguments(a.production, op->operation == Operation::Program))
             .empty())
        return result;
    if (sawPasses && op->operation != Operation::Read) {
        error = "--passes goes with read";
        return result;
    }
    if (a.hash && op->operation != Operation::Verify && op->operation != Operation::Compare &&
        op->operation != Operation::Read) {
        error = "--hash goes with verify, compare or read";
        return result;
    }
    const bool loads = op->operation == Operation::Verify || op->operation == Operation::Compare ||
                       op->operation == Operation::Program;
    if ((sawFill || a.fold || hexOffset) && !loads) {
        error = std::string(sawFill  ? "--fill"
                            : a.fold ? "--fold"
                                     : "--offset") +
                " goes with program, verify or compare";
        return result;
    }
    if (sawFill) {
        a.fill = ParseFill(fill);
        if (!a.fill) {
            error = FillProblem(fill);
            return result;
        }
    }
    // The buffer holds 64 KiB: a start or offset past it could only drop data.
    for (const auto& [name, text, value] :
         {std::tuple{"--buffer-start", &bufferStart, &a.bufferStart},
          std::tuple{"--offset", &hexOffset, &a.hexOffset}}) {
        if (!*text) continue;
        *value = ParseAddress(**text);
        if (!*value || **value >= kBufferSize) {
            error =
                std::string(name) + " takes a hexadecimal address from 0 to FFFF, not " + **text;
            return result;
        }
    }
    return result;
}

} // namespace velmar::cli
