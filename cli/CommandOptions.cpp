#include "CommandOptions.h"

#include <algorithm>

namespace velmar::cli {

namespace {

constexpr CommandTaker kCommandTakers[] = {
    {"program", kProgram},   {"verify", kVerify}, {"compare", kCompare},   {"read", kRead},
    {"blank", kBlank},       {"erase", kErase},   {"lock", kLock},         {"probe", kProbe},
    {"firmware", kFirmware}, {"list", kList},     {"doctor", kDoctor},     {"disasm", kDisasm},
    {"job", kJob},           {"sum", kSum},       {"report", kReportLogs},
};

// The setters' parameters, short so that a row fits its line.
using L = TypedOptions;
using S = const std::string&;

std::string Keep(std::string& target, const std::string& value) {
    target = value;
    return "";
}

std::string SetVerbosity(Arguments& a, const std::string& word) {
    const int level = VerbosityOf(word);
    const bool clash = a.verbosity != 0 && (a.verbosity < 0) != (level < 0);
    a.verbosity = level < 0 ? level : std::max(a.verbosity, level);
    return clash ? "-q and -v exclude each other" : "";
}

std::string SetProgress(ProgressMode& mode, const std::string& value) {
    if (value == "lines")
        mode = ProgressMode::Lines;
    else if (value == "none")
        mode = ProgressMode::None;
    else if (value == "auto")
        mode = ProgressMode::Auto;
    else
        return "--progress takes lines, none or auto, not " + value;
    return "";
}

std::string SetMaxDiffs(Arguments& a, const std::string& value) {
    a.maxDiffs = ParseCount(value, 0, 1000000000L);
    return a.maxDiffs ? "" : "--max-diffs takes a count, not " + value;
}

std::string SetPasses(Arguments& a, const std::string& value) {
    const std::optional<long> n = ParseCount(value, 2, 9);
    a.passes = static_cast<int>(n.value_or(1));
    return n ? "" : "--passes takes 2 to 9, not " + value;
}

std::string SetSerial(Arguments& a, const std::string& value) {
    a.serial = value;
    return value.empty() || value.size() > 49
               ? "--serial takes a serial number of 1 to 49 characters"
               : "";
}

std::string SetRepeat(ProductionArguments& p, const std::string& value) {
    p.repeat = ParseCount(value, 0, 1000000);
    return p.repeat ? "" : "--repeat takes a count of parts, not " + value;
}

std::string SetFlag(bool& flag) {
    flag = true;
    return "";
}

constexpr OptionValue kFlag = OptionValue::None;
constexpr OptionValue kValue = OptionValue::Required;
constexpr OptionValue kNonEmpty = OptionValue::NonEmpty;
constexpr OptionGroup kProgrammer = OptionGroup::Programmer;
constexpr OptionGroup kReport = OptionGroup::Report;
constexpr OptionGroup kDevice = OptionGroup::Device;
constexpr OptionGroup kDisasmOnly = OptionGroup::Disasm;
constexpr OptionGroup kProduction = OptionGroup::Production;
constexpr unsigned kProductionTakers = kProgram | kJob;

// Every option but convert's. The device group's order is the order its
// refusals are checked in.
const CommandOption kCommandOptions[] = {
    {"--usb", kFlag, kProgrammer, kEveryCommand, nullptr},
    {"--virtual", OptionValue::Attached, kProgrammer, kEveryCommand,
     [](L& s, S, S v) { return Keep(s.a.virtualOptions, v); }},
    {"--trace", kValue, kProgrammer, kEveryCommand,
     [](L& s, S, S v) {
         s.a.tracePath = v;
         return v.empty() ? std::string("--trace needs a file name") : std::string();
     }},
    {"--serial", kValue, kProgrammer, kEveryCommand & ~kList,
     [](L& s, S, S v) { return SetSerial(s.a, v); }},
    {"-q", kFlag, kReport, kEveryCommand, [](L& s, S n, S) { return SetVerbosity(s.a, n); }},
    {"-v", kFlag, kReport, kEveryCommand, [](L& s, S n, S) { return SetVerbosity(s.a, n); }},
    {"-vv", kFlag, kReport, kEveryCommand, [](L& s, S n, S) { return SetVerbosity(s.a, n); }},
    {"--json", kFlag, kReport, (kEveryCommand & ~(kDoctor | kDisasm)) | kSum | kReportLogs,
     [](L& s, S, S) { return SetFlag(s.a.production.json); }},
    {"--progress", kValue, kReport, kEveryCommand,
     [](L& s, S, S v) { return SetProgress(s.a.progress, v); }},
    {"--device", kValue, kDevice, kDisasm | kOperationTakers | kSum,
     [](L& s, S, S v) { return Keep(s.a.deviceName, v); }},
    {"--format", kNonEmpty, kDevice, kDisasm | kOperationTakers | kSum,
     [](L& s, S, S v) { return Keep(s.format, v); }},
    {"--buffer-start", kNonEmpty, kDevice, kOperationTakers | kSum,
     [](L& s, S, S v) { return Keep(s.bufferStart, v); }},
    {"--max-diffs", kValue, kDevice, kOperationTakers | kJob,
     [](L& s, S, S v) { return SetMaxDiffs(s.a, v); }},
    {"--precheck", kFlag, kDevice, kProgram, [](L& s, S, S) { return SetFlag(s.a.precheck); }},
    {"--strict", kFlag, kDevice, kProgram, [](L& s, S, S) { return SetFlag(s.a.strict); }},
    {"--changed-only", kFlag, kDevice, kProgram,
     [](L& s, S, S) { return SetFlag(s.a.changedOnly); }},
    {"--passes", kValue, kDevice, kRead, [](L& s, S, S v) { return SetPasses(s.a, v); }},
    {"--hash", kFlag, kDevice, kVerify | kCompare | kRead,
     [](L& s, S, S) { return SetFlag(s.a.hash); }},
    {"--fill", kValue, kDevice, kLoads | kSum, [](L& s, S, S v) { return Keep(s.fill, v); }},
    {"--fold", kFlag, kDevice, kLoads | kDisasm | kSum,
     [](L& s, S, S) { return SetFlag(s.a.fold); }},
    {"--offset", kNonEmpty, kDevice, kLoads | kSum,
     [](L& s, S, S v) { return Keep(s.hexOffset, v); }},
    {"--cpu", kValue, kDisasmOnly, kDisasm, [](L& s, S, S v) { return Keep(s.cpu, v); }},
    {"--from", kValue, kDisasmOnly, kDisasm, [](L& s, S, S v) { return Keep(s.from, v); }},
    {"--to", kValue, kDisasmOnly, kDisasm, [](L& s, S, S v) { return Keep(s.to, v); }},
    {"--read", kFlag, kDisasmOnly, kDisasm, [](L& s, S, S) { return SetFlag(s.a.disasm.read); }},
    {"--repeat", OptionValue::OptionalCount, kProduction, kProductionTakers,
     [](L& s, S, S v) { return SetRepeat(s.a.production, v); }},
    // Taken by no command: kept so that old scripts are told why it is gone.
    {"--repeat-when-changed", kFlag, kProduction, 0,
     [](L& s, S, S) { return SetFlag(s.a.production.repeatWhenChanged); }},
    {"--reuse-failed", kFlag, kProduction, kProductionTakers,
     [](L& s, S, S) { return SetFlag(s.a.production.reuseFailed); }},
    {"--serial-resume", kFlag, kProduction, kProductionTakers,
     [](L& s, S, S) { return SetFlag(s.a.production.serialResume); }},
    {"--serial-overwrite", kFlag, kProduction, kProductionTakers,
     [](L& s, S, S) { return SetFlag(s.a.production.serialOverwrite); }},
    {"--log", kValue, kProduction, kProductionTakers,
     [](L& s, S n, S v) { return SetProductionFile(s.a.production.logPath, n, v); }},
    {"--log-csv", kValue, kProduction, kProductionTakers,
     [](L& s, S n, S v) { return SetProductionFile(s.a.production.logCsvPath, n, v); }},
    {"--serial-state", kValue, kProduction, kProductionTakers,
     [](L& s, S n, S v) { return SetProductionFile(s.a.production.serialState, n, v); }},
    // A job brings its own serial numbers and lock bits.
    {"--serial-number", kValue, kProduction, kProgram,
     [](L& s, S, S v) { return SetSerialNumberRule(s.a.production, v); }},
    {"--lock-bits", kValue, kProduction, kProgram,
     [](L& s, S, S v) { return SetLockBits(s.a.production, v); }},
    {"--exclude", kValue, OptionGroup::Own, kSum,
     [](L& s, S, S v) { return AddExclude(s.a.sum, v); }},
    {"--target", kValue, OptionGroup::Own, kReportLogs,
     [](L& s, S, S v) { return SetTarget(s.a.logReport, v); }},
    {"--handling", kValue, OptionGroup::Own, kReportLogs,
     [](L& s, S, S v) { return SetHandling(s.a.logReport, v); }},
    {"--report", kFlag, kProduction, kJob,
     [](L& s, S, S) { return SetFlag(s.a.logReport.atEndOfRun); }},
};

} // namespace

std::span<const CommandTaker> CommandTakers() {
    return kCommandTakers;
}

std::optional<Taker> TakerNamed(const std::string& verb) {
    for (const CommandTaker& t : kCommandTakers)
        if (verb == t.name) return t.taker;
    return std::nullopt;
}

std::span<const CommandOption> CommandOptionRows() {
    return kCommandOptions;
}

const CommandOption* FindCommandOption(const std::string& word) {
    for (const CommandOption& o : kCommandOptions)
        if (NamesOption(word, o.name, o.value)) return &o;
    return nullptr;
}

const CommandOption* FirstRefused(const TypedOptions& s, OptionGroup group, unsigned taker,
                                  bool (*which)(const CommandOption&)) {
    for (const CommandOption& o : kCommandOptions)
        if (o.group == group && !(o.takers & taker) && (!which || which(o)) && s.Given(o.name))
            return &o;
    return nullptr;
}

std::string GoesWith(const CommandOption& o) {
    std::vector<std::string> names;
    for (const CommandTaker& t : kCommandTakers)
        if (o.takers & t.taker & kOperationTakers) names.push_back(t.name);
    std::string text = std::string(o.name) + " goes with ";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

} // namespace velmar::cli
