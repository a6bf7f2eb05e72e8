#pragma once
// The production-line words of velmar-cli: machine-readable results, repeated
// runs, serial numbers, per-part logs and job files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SerialNumber.h"

namespace velmar::cli {

enum class JobVerb { None, New, Check, Run };

struct ProductionArguments {
    bool json = false;          // one JSON object on standard output at the end
    std::string logPath;        // one JSON line per part
    std::string logCsvPath;     // the same columns as CSV
    std::optional<long> repeat; // parts to program; 0: until q or end of input
    bool repeatWhenChanged = false;
    std::optional<SerialRule> serialRule;
    std::string serialState; // empty: beside the job or the image
    bool reuseFailed = false;
    bool serialResume = false; // continue after the highest number the log holds
    bool serialOverwrite = false;
    std::vector<int> lockBits; // programmed in this order after a good verify
    JobVerb job = JobVerb::None;
    std::string jobPath;
    std::string jobName;
};

// The production options' values; each gives the problem with its value, or "".
// --lock-bits 1,2,3
std::string SetLockBits(ProductionArguments& p, const std::string& value);
// --log, --log-csv and --serial-state: a file name.
std::string SetProductionFile(std::string& target, const std::string& name,
                              const std::string& value);
// --serial-number ADDR:FORMAT:START[:STEP]
std::string SetSerialNumberRule(ProductionArguments& p, const std::string& value);

// What does not go together; "" when all does. `program`: the operation is
// program (or the job's).
// The refusal of a production option that is no longer offered, naming why;
// "" when none is given.
std::string RefusedProductionOption(const ProductionArguments& p);
std::string CheckProductionArguments(const ProductionArguments& p, bool program);

// True when the run goes part by part through the production loop.
bool IsProductionRun(const ProductionArguments& p);

} // namespace velmar::cli
