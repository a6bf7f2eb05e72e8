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
    bool serialOverwrite = false;
    std::vector<int> lockBits; // programmed in this order after a good verify
    JobVerb job = JobVerb::None;
    std::string jobPath;
    std::string jobName;
};

// A production option's value given to `name` (--log, --log-csv,
// --serial-state, --serial-number, --lock-bits): the problem with it, or "".
std::string SetProductionValue(const std::string& name, const std::string& value,
                               ProductionArguments& p);

// What does not go together; "" when all does. `program`: the operation is
// program (or the job's).
std::string CheckProductionArguments(const ProductionArguments& p, bool program);

// True when the run goes part by part through the production loop.
bool IsProductionRun(const ProductionArguments& p);

} // namespace velmar::cli
