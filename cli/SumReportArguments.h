#pragma once
// The command lines of sum (the label checksums of an image file) and report
// (a job report from per-part logs): what each takes besides the shared
// options, and the checks of their lines.

#include <optional>
#include <string>
#include <vector>

#include "ImageChecksums.h"

namespace velmar::cli {

struct SumArguments {
    std::vector<AddressSpan> excluded; // --exclude, in the order given
};

struct LogReportArguments {
    std::vector<std::string> logs;
    std::optional<double> targetPerHour;   // --target N/h
    std::optional<double> handlingSeconds; // --handling S
    bool atEndOfRun = false;               // job run --report
};

// --exclude ADDR-ADDR (repeatable), --target N/h (or N/min, N/s) and
// --handling S (8s, 1.5s, 800ms); each gives the problem with its value, or "".
std::string AddExclude(SumArguments& sum, const std::string& value);
std::string SetTarget(LogReportArguments& report, const std::string& value);
std::string SetHandling(LogReportArguments& report, const std::string& value);

struct TypedOptions;
struct ParseResult;

// sum [--device NAME] [--format FMT] [--offset HEX] [--buffer-start HEX]
// [--fill XX] [--fold] [--exclude ADDR-ADDR]... FILE
void CheckSumLine(const std::vector<std::string>& words, const TypedOptions& s,
                  ParseResult& result);
// report [--target N/h --handling S] LOG.jsonl...
void CheckReportLine(const std::vector<std::string>& words, const TypedOptions& s,
                     ParseResult& result);

} // namespace velmar::cli
