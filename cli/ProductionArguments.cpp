#include "ProductionArguments.h"

namespace velmar::cli {

std::string SetLockBits(ProductionArguments& p, const std::string& value) {
    // "1,2,3": programmed in this order after a good verify.
    p.lockBits.clear();
    for (std::size_t i = 0; i < value.size(); i += 2) {
        if (value[i] < '1' || value[i] > '3' || (i + 1 < value.size() && value[i + 1] != ','))
            return "--lock-bits takes bit numbers 1, 2 or 3 separated by commas, not " + value;
        p.lockBits.push_back(value[i] - '0');
    }
    return p.lockBits.empty() ? "--lock-bits needs the bit numbers" : "";
}

std::string SetProductionFile(std::string& target, const std::string& name,
                              const std::string& value) {
    if (value.empty()) return name + " needs a file name";
    target = value;
    return "";
}

std::string SetSerialNumberRule(ProductionArguments& p, const std::string& value) {
    if (value.empty()) return "--serial-number needs a file name";
    std::string error;
    p.serialRule = ParseSerialRule(value, error);
    return error;
}

std::string RefusedProductionOption(const ProductionArguments& p) {
    // Kept as a refusal so that old scripts learn why. No command senses a
    // part without powering the socket, and datasheets forbid changing a
    // part under Vpp.
    if (p.repeatWhenChanged)
        return "--repeat-when-changed is refused: it found each new part by blank-checking the "
               "socket every half second, which keeps programming voltage on the socket while "
               "parts are taken out and put in and can latch them up or destroy them; press "
               "Enter at each part's prompt instead";
    return "";
}

std::string CheckProductionArguments(const ProductionArguments& p, bool program) {
    const bool jobRun = p.job == JobVerb::Run;
    if (std::string refused = RefusedProductionOption(p); !refused.empty()) return refused;
    if (!program && !jobRun && IsProductionRun(p))
        return "--repeat, --serial-number, --lock-bits, --log and --log-csv go with program";
    if (!program && !jobRun && (p.reuseFailed || p.serialOverwrite || !p.serialState.empty()))
        return "--reuse-failed, --serial-overwrite and --serial-state go with program";
    if (!program && !jobRun && p.serialResume) return "--serial-resume goes with program";
    if (!p.serialRule && !jobRun && (p.reuseFailed || p.serialOverwrite || !p.serialState.empty()))
        return "--reuse-failed, --serial-overwrite and --serial-state need --serial-number";
    if (!p.serialRule && !jobRun && p.serialResume) return "--serial-resume needs --serial-number";
    return "";
}

bool IsProductionRun(const ProductionArguments& p) {
    return p.repeat || p.serialRule || !p.logPath.empty() || !p.logCsvPath.empty() ||
           !p.lockBits.empty() || p.job == JobVerb::Run;
}

} // namespace velmar::cli
