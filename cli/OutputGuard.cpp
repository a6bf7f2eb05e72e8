#include "OutputGuard.h"

#include <filesystem>
#include <vector>

#include "OperationTable.h"
#include "Platform.h"
#include "virtual/VirtualOptions.h"

namespace velmar::cli {

namespace {

struct Named {
    std::string role; // "log", "trace", ...
    std::string path;
};

// The same file: one regular file by identity, or, for names that reach no
// file yet, one name once resolved. Devices such as /dev/null are no one's.
bool SameFile(const std::string& a, const std::string& b) {
    const std::string ia = platform::RegularFileIdentity(a);
    const std::string ib = platform::RegularFileIdentity(b);
    if (!ia.empty() || !ib.empty()) return ia == ib;
    std::error_code ea, eb;
    if (std::filesystem::exists(a, ea) || std::filesystem::exists(b, eb)) return false;
    const std::filesystem::path ca = std::filesystem::weakly_canonical(a, ea);
    const std::filesystem::path cb = std::filesystem::weakly_canonical(b, eb);
    return !ea && !eb && ca == cb;
}

void Add(std::vector<Named>& files, const char* role, const std::string& path) {
    if (!path.empty() && path != "-") files.push_back({role, path});
}

} // namespace

std::string OutputOverInput(const Arguments& a) {
    std::vector<Named> inputs, outputs;
    const ProductionArguments& p = a.production;
    const bool jobNew = p.job == JobVerb::New;
    if (a.command == Command::Firmware) Add(inputs, "firmware", a.firmwarePath);
    if (a.command == Command::Disasm && !a.disasm.read) Add(inputs, "image", a.dataPath);
    if (a.command == Command::Device || jobNew) {
        if (a.operation == Operation::Read)
            Add(outputs, "output", a.dataPath);
        else if (LoadsFile(RowOf(a.operation)))
            Add(inputs, "image", a.dataPath);
    }
    if (p.job == JobVerb::Check || p.job == JobVerb::Run) Add(inputs, "job", p.jobPath);
    if (jobNew) Add(outputs, "job", p.jobPath);
    Add(outputs, "trace", a.tracePath);
    if (a.useVirtual) {
        // The virtual programmer's own files: its trace and the chip it saves.
        VirtualOptions options;
        std::string ignored;
        if (ParseVirtualOptions(a.virtualOptions, options, ignored)) {
            if (a.tracePath.empty()) Add(outputs, "trace", options.TraceFile);
            Add(outputs, "saved chip", options.SaveChipFile);
        }
    }
    Add(outputs, "log", p.logPath);
    Add(outputs, "CSV log", p.logCsvPath);
    Add(outputs, "serial-number state", p.serialState);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Named& out = outputs[i];
        for (const Named& in : inputs)
            if (SameFile(out.path, in.path))
                return "the " + out.role + " " + out.path + " is the " + in.role + " " + in.path +
                       " this command reads; nothing done";
        for (std::size_t j = 0; j < i; ++j)
            if (SameFile(out.path, outputs[j].path))
                return "the " + outputs[j].role + " " + outputs[j].path + " and the " + out.role +
                       " " + out.path + " are one file; nothing done";
    }
    return "";
}

} // namespace velmar::cli
