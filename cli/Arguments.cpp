#include "Arguments.h"

#include <algorithm>
#include <cctype>
#include <tuple>

#include "CommandOptions.h"
#include "OperationTable.h"
#include "OptionTable.h"
#include "UsageText.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "buffer/HexText.h"
#include "buffer/TextCase.h"
#include "devices/DeviceCatalogue.h"

namespace velmar::cli {

namespace {

bool ProgramAlone(const CommandOption& o) {
    return o.takers == kProgram;
}

bool NotProgramAlone(const CommandOption& o) {
    return o.takers != kProgram;
}

} // namespace

bool TakeFormat(bool given, const std::string& name, Arguments& a, std::string& error) {
    if (!given) {
        if (!a.dataPath.empty()) a.fileType = FileTypeFromExtension(a.dataPath);
        return true;
    }
    a.formatGiven = true;
    a.fileType = FileTypeFromName(name);
    if (!a.fileType) error = "unknown format " + name + " (binary, intel, motorola or ascii)";
    return a.fileType.has_value();
}

std::optional<std::int32_t> ParseAddress(const std::string& text) {
    std::string_view digits = text;
    if (StartsWith(Lower(text), "0x")) digits.remove_prefix(2);
    const std::optional<std::uint32_t> value = ParseHex(digits, 5);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

namespace {

// The words after the options; false with `error` set when one is refused.
bool ReadCommandOptions(const std::vector<std::string>& args, TypedOptions& s,
                        std::vector<std::string>& words, ParseResult& result) {
    std::string& error = result.error;
    WordCursor cursor(args);
    while (!cursor.Done()) {
        const std::string& word = cursor.Take();
        if (word == "--help" || word == "-h") {
            s.a.command = Command::Help;
            return false;
        }
        const CommandOption* option = FindCommandOption(word);
        if (option == nullptr) {
            // "-" alone is standard input; any other dash word is an option.
            if (word.size() > 1 && word[0] == '-')
                error = "unknown option " + word;
            else
                words.push_back(word);
        } else {
            std::string value;
            if (!cursor.TakeValue(option->name, option->value, word, value, error)) return false;
            s.given.push_back(option);
            // --virtual alone keeps what an earlier --virtual=... said.
            const bool alone = option->value == OptionValue::Attached && word == option->name;
            if (option->set != nullptr && !alone) error = option->set(s, option->name, value);
        }
        if (!error.empty()) return false;
    }
    return true;
}

// job check and job run: the rest comes from JOB.
void CheckJobLine(const std::vector<std::string>& words, const TypedOptions& s,
                  ParseResult& result) {
    Arguments& a = s.a;
    const std::string& jobVerb = words[1];
    a.production.job = jobVerb == "run" ? JobVerb::Run : JobVerb::Check;
    if (words.size() != 3 || words[2].empty())
        result.error = "job " + jobVerb + " needs exactly one JOB file";
    else if (FirstRefused(s, OptionGroup::Device, kJob) ||
             FirstRefused(s, OptionGroup::Production, kJob))
        result.error = "job " + jobVerb + " takes the device, the file and its options from JOB";
    else
        result.error = CheckProductionArguments(a.production, false);
    a.production.jobPath = words.size() > 2 ? words[2] : "";
}

// probe, firmware, list and doctor: no device, no file to load.
void CheckProgrammerLine(const std::vector<std::string>& words, const TypedOptions& s,
                         ParseResult& result) {
    Arguments& a = s.a;
    std::string& error = result.error;
    const std::string& verb = words[0];
    const Taker taker = TakerNamed(verb).value_or(kFirmware);
    if (FirstRefused(s, OptionGroup::Device, taker)) {
        error = verb + " takes no --device, --format or --buffer-start";
        return;
    }
    if (!(error = CheckProductionArguments(a.production, false)).empty()) return;
    if (taker == kProbe) {
        a.command = Command::Probe;
        if (words.size() != 1) error = "probe takes no file";
    } else if (taker == kDoctor) {
        a.command = Command::Doctor;
        // Its findings are lines for a person, on standard output.
        if (words.size() != 1)
            error = "doctor takes no file";
        else if (FirstRefused(s, OptionGroup::Report, taker))
            error = "doctor takes no --json; its findings are text";
    } else if (taker == kList) {
        a.command = Command::List;
        if (words.size() != 1)
            error = "list takes no file";
        else if (FirstRefused(s, OptionGroup::Programmer, taker))
            error = "list takes no --serial";
    } else {
        a.command = Command::Firmware;
        // An empty name would only be found missing after the search.
        if (words.size() != 2 || words[1].empty())
            error = "firmware needs exactly one FILE";
        else
            a.firmwarePath = words[1];
    }
}

// convert reads its own options after its word: one given before it is
// either no option of convert's or one in the wrong place.
void RefuseOptionsBeforeConvert(const TypedOptions& s, ParseResult& result) {
    result.arguments.command = Command::Convert;
    result.hint = ConvertUsageLine();
    const auto kinds = ConvertOptionKinds();
    const CommandOption* misplaced = nullptr;
    for (const CommandOption* o : s.given) {
        if (IsVerbosity(o->name)) continue;
        const bool taken = std::any_of(kinds.begin(), kinds.end(),
                                       [&](const auto& kind) { return kind.first == o->name; });
        if (!taken) {
            result.error = std::string("convert takes no ") + o->name;
            return;
        }
        if (misplaced == nullptr) misplaced = o;
    }
    result.error = misplaced ? std::string("give ") + misplaced->name +
                                   " after the word convert, where its options go"
                             : "convert takes its options after its own word";
}

bool IsOffset(const CommandOption& o) {
    return std::string(o.name) == "--offset";
}

bool IsNotOffset(const CommandOption& o) {
    return !IsOffset(o);
}

void CheckDisasmLine(const std::vector<std::string>& words, const TypedOptions& s,
                     ParseResult& result) {
    std::string& error = result.error;
    // --offset has its own sentence: it names the commands it goes with.
    if (FirstRefused(s, OptionGroup::Device, kDisasm, IsNotOffset))
        error = "disasm takes no --buffer-start, --fill, --passes, --hash, --max-diffs, "
                "--precheck, --changed-only or --strict";
    else if (const CommandOption* offset = FirstRefused(s, OptionGroup::Device, kDisasm, IsOffset))
        error = GoesWith(*offset);
    else
        ParseDisasm(words, s.format, s.cpu, s.from, s.to, result);
    // The listing is text for a person, on standard output.
    if (error.empty() && FirstRefused(s, OptionGroup::Report, kDisasm))
        error = "disasm takes no --json; its listing is text";
    else if (error.empty())
        error = CheckProductionArguments(s.a.production, false);
}

// read, verify, blank, compare, program, erase and lock N.
void CheckOperationLine(const std::vector<std::string>& words, const OperationRow& op,
                        const TypedOptions& s, ParseResult& result) {
    Arguments& a = s.a;
    std::string& error = result.error;
    const std::string& verb = words[0];
    if (a.command != Command::Job) a.command = Command::Device;
    a.operation = op.operation;
    const Taker taker = TakerNamed(verb).value_or(kRead);
    if (!s.Given("--device")) {
        error = verb + " needs --device NAME";
        return;
    }
    const std::optional<int> row = FindCatalogueRow(a.deviceName);
    if (!row) {
        error = "unknown device " + a.deviceName;
        return;
    }
    a.catalogueRow = *row;
    const FamilyCapabilities& can = DeviceCatalogue()[static_cast<std::size_t>(*row)].Can();

    if (op.operation == Operation::Lock) {
        if (words.size() != 2 || (words[1] != "1" && words[1] != "2" && words[1] != "3")) {
            error = "lock needs the bit number 1, 2 or 3";
            return;
        }
        a.lockBit = words[1][0] - '0';
        if (can.LockBits == 0) {
            error = "the " + a.deviceName + " has no security bits";
            return;
        }
    } else if (op.takesFile) {
        if (words.size() != 2 || words[1].empty()) {
            error = verb + " needs exactly one FILE";
            return;
        }
        a.dataPath = words[1];
    } else if (words.size() != 1) {
        error = verb + " takes no file";
        return;
    }
    if (!a.production.lockBits.empty() && can.LockBits == 0) {
        error = "the " + a.deviceName + " has no security bits";
        return;
    }
    if (op.operation == Operation::Erase && !can.CanErase) {
        error = "the " + a.deviceName + " cannot be erased electrically";
        return;
    }

    if (!TakeFormat(s.Given("--format"), s.format, a, error)) return;
    // A data file whose extension does not decide is judged by its contents
    // when it is loaded; a file to be written cannot be.
    if (!a.fileType && !a.dataPath.empty() && op.operation == Operation::Read) {
        error = "cannot tell the format to write " + a.dataPath + "; give --format";
        return;
    }
    // What program alone takes is refused before the production words,
    // which go with program too, and the rest after them.
    if (const CommandOption* o = FirstRefused(s, OptionGroup::Device, taker, ProgramAlone)) {
        error = GoesWith(*o);
        return;
    }
    if (a.production.json && op.operation == Operation::Read && a.dataPath == "-") {
        error = "--json takes standard output; read FILE cannot be -";
        return;
    }
    if (!(error = CheckProductionArguments(a.production, op.operation == Operation::Program))
             .empty())
        return;
    if (const CommandOption* o = FirstRefused(s, OptionGroup::Device, taker, NotProgramAlone)) {
        error = GoesWith(*o);
        return;
    }
    if (s.Given("--fill")) {
        a.fill = ParseFill(s.fill);
        if (!a.fill) {
            error = FillProblem(s.fill);
            return;
        }
    }
    for (const auto& [name, text, value, highest] :
         {std::tuple{"--buffer-start", &s.bufferStart, &a.bufferStart, kHighestBufferStart},
          std::tuple{"--offset", &s.hexOffset, &a.hexOffset, kHighestHexOffset}}) {
        if (!s.Given(name)) continue;
        *value = ParseAddress(*text);
        if (!*value || **value > highest) {
            error = std::string(name) + " takes a hexadecimal address from 0 to " +
                    HexText(highest, 4) + ", not " + *text;
            return;
        }
    }
}

} // namespace

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

    TypedOptions s{a, {}, {}, {}, {}, {}, {}, {}, {}};
    std::vector<std::string> words;
    if (!ReadCommandOptions(args, s, words, result)) return result;

    if (s.Given("--usb") && s.Given("--virtual")) {
        error = "--usb and --virtual exclude each other";
        return result;
    }
    a.useVirtual = s.Given("--virtual");
    // Before any other judgement of the line: whatever it says, this is why.
    if (!(error = RefusedProductionOption(a.production)).empty()) return result;

    // Elsewhere disasm's options are as unknown as they ever were.
    if (words.empty() || words[0] != "disasm")
        for (const CommandOption* o : s.given)
            if (o->group == OptionGroup::Disasm) {
                error = std::string("unknown option ") + o->name;
                return result;
            }
    // The options of sum and report alone are unknown to the others.
    for (const CommandOption* o : s.given)
        if (o->group == OptionGroup::Own &&
            (words.empty() || !(TakerNamed(words[0]).value_or(kProbe) & o->takers))) {
            error = std::string("unknown option ") + o->name;
            return result;
        }
    if (words.empty()) {
        error = s.Given("--device") ? "no operation given" : "no command given";
        return result;
    }
    if (s.Given("--report") && (words[0] != "job" || words.size() < 2 || words[1] != "run")) {
        error = "--report goes with job run";
        return result;
    }
    if (words[0] == "job") {
        const std::string jobVerb = words.size() > 1 ? words[1] : "";
        a.command = Command::Job;
        if (jobVerb == "check" || jobVerb == "run") {
            CheckJobLine(words, s, result);
            return result;
        }
        if (jobVerb != "new") {
            error = "job takes new, check or run";
            return result;
        }
        a.production.job = JobVerb::New;
        // The rest is read as the program command the job will run.
        words.erase(words.begin());
        words[0] = "program";
        // job new FILE JOB.toml: the job file written, in place of standard output.
        if (words.size() == 3) {
            a.production.jobPath = words.back();
            words.pop_back();
        }
    }
    const std::string& verb = words[0];
    if (verb == "probe" || verb == "firmware" || verb == "list" || verb == "doctor")
        CheckProgrammerLine(words, s, result);
    else if (verb == "disasm")
        CheckDisasmLine(words, s, result);
    else if (verb == "sum")
        CheckSumLine(words, s, result);
    else if (verb == "report")
        CheckReportLine(words, s, result);
    else if (verb == "convert")
        RefuseOptionsBeforeConvert(s, result);
    else if (const OperationRow* op = FindOperationRow(verb))
        CheckOperationLine(words, *op, s, result);
    else
        error = "unknown command " + verb;
    return result;
}

} // namespace velmar::cli
